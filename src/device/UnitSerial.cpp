#include "device/UnitSerial.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"
#include "platform/serial/SerialPortList.h"

namespace px {

namespace {
constexpr uint32_t kRingMask = TSerialThread::RingSize - 1;
static_assert((TSerialThread::RingSize & (TSerialThread::RingSize - 1)) == 0);
}  // namespace

// ---------------------------------------------------------------------------
// TSerialThread

TSerialThread::TSerialThread(TSerial* owner)
    : TThread(false), owner_(owner), ring_(new Byte[RingSize]) {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) RaiseLastOSError("eventfd");
}

TSerialThread::~TSerialThread() {
  if (stopFd_ >= 0) ::close(stopFd_);
}

void TSerialThread::TerminatedSet() {
  uint64_t one = 1;
  // The counter cannot overflow from a handful of stops; nothing to do on failure.
  [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
}

Integer TSerialThread::Available() const {
  uint32_t w = writePos_.load(std::memory_order_acquire);
  uint32_t r = readPos_.load(std::memory_order_relaxed);
  return static_cast<Integer>((w - r) & kRingMask);
}

Byte TSerialThread::at(Integer offset) const {
  return ring_[(readPos_.load(std::memory_order_relaxed) + static_cast<uint32_t>(offset)) & kRingMask];
}

Integer TSerialThread::findTerminator(const std::string& terminator) {
  const Integer n = static_cast<Integer>(terminator.size());
  Assert(n >= 1, "Terminator must not be empty");
  const Integer avail = Available();
  Integer start = searchResume_ < 0 ? 0 : searchResume_;
  for (Integer k = start; k + n <= avail; ++k) {
    if (at(k) != static_cast<Byte>(terminator[0])) continue;
    Integer i = 1;
    while (i < n && at(k + i) == static_cast<Byte>(terminator[static_cast<size_t>(i)])) ++i;
    if (i == n) {
      searchResume_ = k;
      return k;
    }
  }
  // Every start offset up to here was looked at; a later search goes on from
  // the first one that could still complete.
  searchResume_ = std::max(start, avail - n + 1);
  return -1;
}

std::string TSerialThread::take(Integer count) {
  // A count below zero would move the read position back over bytes the
  // reader thread may already be overwriting.
  count = std::clamp(count, 0, Available());
  std::string data(static_cast<size_t>(count), '\0');
  uint32_t r = readPos_.load(std::memory_order_relaxed);
  for (Integer i = 0; i < count; ++i) data[static_cast<size_t>(i)] = static_cast<char>(ring_[(r + i) & kRingMask]);
  readPos_.store((r + static_cast<uint32_t>(count)) & kRingMask, std::memory_order_release);
  searchResume_ = -1;
  return data;
}

bool TSerialThread::readData() {
  ISerialPort& port = *owner_->port_;
  bool arrived = false;
  bool alive = true;
  // One round takes at most a ring's worth, so that a line that never stops
  // sending still lets the owner hear of what came.
  Integer budget = RingSize;
  while (budget > 0) {
    uint32_t w = writePos_.load(std::memory_order_relaxed);
    uint32_t r = readPos_.load(std::memory_order_acquire);
    Integer avail = static_cast<Integer>((w - r) & kRingMask);
    Integer space = RingSize - 1 - avail;  // the last free byte stays free: full and empty must differ
    ptrdiff_t n;
    if (space <= 0) {
      // Nobody takes the bytes out (text without the terminator, garbage from
      // a wrong baud rate): drop what comes rather than stop reading, so
      // that the line is still served once the owner makes room.
      Byte scratch[4096];
      n = port.Read(scratch, sizeof scratch);
      if (n > 0) {
        if (dropped_ == 0) OutputDebugString("TSerial: Out of Rx bufferspace, dropping received bytes");
        dropped_ += n;
      }
    } else {
      if (dropped_ > 0) {
        OutputDebugString("TSerial: " + std::to_string(dropped_) + " received bytes dropped");
        dropped_ = 0;
      }
      Integer chunk = std::min<Integer>(space, RingSize - static_cast<Integer>(w));
      n = port.Read(&ring_[w], static_cast<size_t>(chunk));
      if (n > 0) {
        writePos_.store((w + static_cast<uint32_t>(n)) & kRingMask, std::memory_order_release);
        arrived = true;
      }
    }
    if (n < 0) {
      alive = false;
      break;
    }
    if (n == 0) break;
    budget -= static_cast<Integer>(n);
  }
  if (arrived) owner_->dataArrived(this);
  return alive;
}

void TSerialThread::Execute() {
  Assert(owner_ != nullptr && owner_->port_ != nullptr, "Serial thread without an open port");
  owner_->startup_.SetEvent();
  try {
    const int fd = owner_->port_->Descriptor();
    while (!Terminated()) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
      int r = ::poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        RaiseLastOSError("poll");
      }
      if (fds[1].revents != 0) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(stopFd_, &count, sizeof count);
        continue;  // the loop looks at Terminated
      }
      if (fds[0].revents & POLLIN) {
        if (!readData()) break;
      } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        break;
      }
    }
  } catch (const std::exception& e) {
    // The owner hears of it only in that no more data comes.
    OutputDebugString(std::string("TSerial: reader stopped: ") + e.what());
  }
  if (!Terminated()) OutputDebugString("TSerial: line hung up, reader stopped");
  Terminate();
  // A Receive waiting for a terminator learns that none can come now.
  std::lock_guard lock(owner_->waitLock_);
  owner_->waitChanged_.notify_all();
}

// ---------------------------------------------------------------------------
// TSerial

TSerial::TSerial(TComponent* owner) : TComponent(owner) {}

TSerial::~TSerial() {
  // No event fires during destruction: the debug event too may reach into
  // an owner that is going away.
  OnDataTransmitted = nullptr;
  OnDataRecieved = nullptr;
  OnDebugInfo = nullptr;
  try {
    SetActive(false);
  } catch (const std::exception& e) {
    OutputDebugString(std::string("TSerial: close failed: ") + e.what());
  }
}

void TSerial::refuse(const char* what, bool active) const {
  throw Exception(std::string("TSerial: Cannot change ") + what + " while " + (active ? "active" : "inactive") + ".");
}

void TSerial::SetCOMPort(const std::string& value) {
  if (GetActive()) refuse("COMPort property", true);
  comPort_ = value;
}

void TSerial::SetActive(bool value) {
  if (value == GetActive()) return;
  if (value)
    Open();
  else
    Close();
}

void TSerial::applyOrUndo(const std::function<void()>& undo) {
  if (!port_) return;
  try {
    port_->Configure(lineSettings());
  } catch (...) {
    undo();
    try {
      port_->Configure(lineSettings());
    } catch (...) {
    }
    throw;
  }
}

void TSerial::SetBaudRate(Integer value) {
  if (value < 300) throw Exception("TSerial: Baudrate value invalid");
  Integer old = baudRate_;
  baudRate_ = value;
  applyOrUndo([&] { baudRate_ = old; });
}

void TSerial::SetByteSize(Integer value) {
  if (value < 5 || value > 8) throw Exception("TSerial: ByteSize value invalid");
  Integer old = byteSize_;
  byteSize_ = value;
  applyOrUndo([&] { byteSize_ = old; });
}

void TSerial::SetParity(TSerialParity value) {
  TSerialParity old = parity_;
  parity_ = value;
  applyOrUndo([&] { parity_ = old; });
}

void TSerial::SetStopBits(TSerialStopBits value) {
  TSerialStopBits old = stopBits_;
  stopBits_ = value;
  applyOrUndo([&] { stopBits_ = old; });
}

void TSerial::SetRxBufferSize(Integer value) {
  if (GetActive()) refuse("RxBufferSize property", true);
  if (value <= 0) throw Exception("TSerial: RxBufferSize value invalid");
  rxBufferSize_ = value;
  xOffLimit_ = value / 2;
  xOnLimit_ = (value / 4) * 3;
}

void TSerial::SetTxBufferSize(Integer value) {
  if (GetActive()) refuse("TxBufferSize property", true);
  if (value <= 0) throw Exception("TSerial: TxBufferSize value invalid");
  txBufferSize_ = value;
}

void TSerial::SetXOnLimit(Integer value) { xOnLimit_ = value; }
void TSerial::SetXOffLimit(Integer value) { xOffLimit_ = value; }

void TSerial::setFlag(int bit, bool value) {
  Cardinal old = flags_;
  flags_ = value ? (flags_ | (1u << bit)) : (flags_ & ~(1u << bit));
  applyOrUndo([&] { flags_ = old; });
}

TSerialLineSettings TSerial::lineSettings() const {
  TSerialLineSettings s;
  s.BaudRate = baudRate_;
  s.DataBits = byteSize_;
  switch (parity_) {
    case spEven: s.Parity = TSerialParityMode::Even; break;
    case spMark: s.Parity = TSerialParityMode::Mark; break;
    case spNone: s.Parity = TSerialParityMode::None; break;
    case spOdd: s.Parity = TSerialParityMode::Odd; break;
  }
  switch (stopBits_) {
    case ssOne: s.StopBits = TSerialStopMode::One; break;
    case ssOneAndHalf: s.StopBits = TSerialStopMode::OneAndHalf; break;
    case ssTwo: s.StopBits = TSerialStopMode::Two; break;
  }
  s.CheckParity = GetParityChecking();
  s.HardwareFlow = GetOutxCtsFlow() || rts_ == sRTSHandshake;
  s.XonXoffOut = GetOutX();
  s.XonXoffIn = GetInX();
  return s;
}

void TSerial::debugInfo(TDebugEventType type, const void* buffer, Integer size) {
  if (OnDebugInfo) OnDebugInfo(this, type, buffer, size, size);
}

void TSerial::Open() {
  Assert(!GetActive(), "Serial port is already open");
  std::unique_ptr<ISerialPort> port;
  try {
    port = PortFactory(comPort_);
  } catch (const EOSError& e) {
    throw EOSError("(Low level): CreateFile failed with code " + std::to_string(e.ErrorCode), e.ErrorCode);
  }
  // A failure here leaves through `port`, which closes the line.
  port->Configure(lineSettings());
  port->SetModemLines(dtr_ != sDTRDisable, rts_ != sRTSDisable);
  flags_ = (flags_ & ~0x3030u) | (static_cast<Cardinal>(dtr_) << 4) | (static_cast<Cardinal>(rts_) << 12);

  port_ = std::move(port);
  try {
    startup_.ResetEvent();
    closing_ = false;
    notifyPending_ = false;
    thread_ = MakeObject<TSerialThread>(this);
    if (startup_.WaitFor(1000) != wrSignaled) throw Exception("TSerial: Thread sync timeout.");
  } catch (...) {
    Close();
    throw;
  }
  debugInfo(deConnect, nullptr, 0);
}

void TSerial::Close() {
  Assert(GetActive(), "Serial port is not open");
  if (thread_) {
    closing_ = true;
    TThread::RemoveQueuedEvents(thread_.get());
    thread_->Terminate();
    try {
      thread_->WaitFor();
    } catch (const std::exception& e) {
      OutputDebugString(std::string("TSerial: ") + e.what());
    }
    // What the thread handed to the GUI thread before it ended must not run
    // against a closed (or freed) port.
    TThread::RemoveQueuedEvents(thread_.get());
    thread_.reset();
    {
      std::lock_guard lock(waitLock_);
      waitChanged_.notify_all();
    }
    startup_.ResetEvent();
  }
  port_.reset();
  debugInfo(deDisconnect, nullptr, 0);
}

void TSerial::dataArrived(TSerialThread* thread) {
  {
    std::lock_guard lock(waitLock_);
    waitChanged_.notify_all();
  }
  if (notifyPending_.exchange(true)) return;
  TThread::Queue(thread, [this] {
    // An exchange, not a store: it reads the reader thread's own exchange, so
    // every byte written before that one is visible to the handler.
    notifyPending_.exchange(false);
    if (closing_) return;
    DoDataRecieved();
  });
}

void TSerial::DoDataRecieved() {
  if (OnDataRecieved) OnDataRecieved(this);
}

void TSerial::DoDataTransmitted() {
  if (OnDataTransmitted) OnDataTransmitted(this);
}

bool TSerial::ReaderRunning() const { return thread_ && !thread_->Finished(); }

Integer TSerial::Available() const { return thread_ ? thread_->Available() : 0; }

std::string TSerial::Take(Integer Count) {
  if (!GetActive()) refuse("Recieve method", false);
  Assert(thread_ != nullptr, "Serial port without reader thread");
  std::string data = thread_->take(Count);
  if (!data.empty()) debugInfo(deRecv, data.data(), static_cast<Integer>(data.size()));
  return data;
}

bool TSerial::Receive(const std::string& Terminator, Cardinal Timeout, std::string& Data) {
  if (!GetActive()) refuse("Recieve method", false);
  Assert(thread_ != nullptr, "Serial port without reader thread");
  TSerialThread& t = *thread_;
  Integer k = t.findTerminator(Terminator);
  if (k < 0 && Timeout > 0) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(Timeout);
    std::unique_lock lock(waitLock_);
    // Searched again under the lock the reader thread takes before it wakes
    // us: bytes that came after the first search are seen here, or their
    // wake-up comes after we sleep.
    while ((k = t.findTerminator(Terminator)) < 0) {
      // The reader has ended (hung-up line, or closing): nothing more comes,
      // and it wakes us under this lock after it marks itself so.
      if (t.Terminated()) break;
      if (Timeout == INFINITE) {
        waitChanged_.wait(lock);
      } else if (waitChanged_.wait_until(lock, deadline) == std::cv_status::timeout) {
        k = t.findTerminator(Terminator);
        break;
      }
    }
  }
  t.searchResume_ = -1;
  if (k < 0) {
    Data.clear();
    return false;
  }
  Data = t.take(k);
  if (k > 0) debugInfo(deRecv, Data.data(), k);
  t.take(static_cast<Integer>(Terminator.size()));
  debugInfo(dePurge, Terminator.data(), static_cast<Integer>(Terminator.size()));
  return true;
}

// ---------------------------------------------------------------------------

bool EnumerateComPorts(TStrings& List, const std::string& Manufacturer, const std::string& Driver,
                       const std::string& SysfsRoot, const std::string& DevRoot) {
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::path(SysfsRoot) / "class" / "tty", ec)) return false;
  for (const TSerialPortInfo& port : ListSerialPorts(SysfsRoot, DevRoot)) {
    if (!Manufacturer.empty()) {
      bool keep;
      if (!Driver.empty() && port.Driver == Driver)
        keep = true;
      else if (port.HasManufacturer)
        keep = port.Manufacturer.find(Manufacturer) != std::string::npos;
      else if (!port.Driver.empty())
        keep = port.Driver.find(Manufacturer) != std::string::npos;
      else
        keep = true;  // nothing to tell it by
      if (!keep) continue;
    }
    std::string friendly = port.HasProduct && !port.Product.empty() ? port.Product + " (" + port.Name + ")" : port.Name;
    List.Add(port.DevNode + "=" + friendly);
  }
  return true;
}

}  // namespace px
