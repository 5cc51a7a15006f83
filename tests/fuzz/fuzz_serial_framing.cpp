// libFuzzer target: the serial framing under the receipt capture. The input
// arrives on a stand-in line in chunks; after each chunk the reader's step
// moves it into the ring (on this thread, through the test hook), which hands
// it to the capture: its line splitting takes lines out with Receive and
// makes room with Take. A bare port then takes the same chunks with a
// terminator from the input: what Receive and Take hand out, terminators
// put back, is exactly what arrived.
//
// Byte 0: terminator length (1 + bit 0..1) for the bare port, whose bytes
// follow. Then chunks: a length byte and that many bytes; the length 255
// repeats the next chunk 16 times, so that lines run long and the ring fills.
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/UnitSerial.h"
#include "device/UnitVantorel9183.h"

namespace px {

struct TSerialTestHook {
  static void ReadStep(TSerial& serial) { serial.thread_->readData(); }
};

}  // namespace px

namespace {

using namespace px;

// Never signalled: the real reader thread of an open port waits on it for
// good, while this thread does the reading.
int idleDescriptor = -1;

class FuzzPort : public ISerialPort {
 public:
  explicit FuzzPort(std::deque<char>* pending) : pending_(pending) {}
  void Configure(const TSerialLineSettings&) override {}
  void SetModemLines(bool, bool) override {}
  int Descriptor() const override { return idleDescriptor; }
  ptrdiff_t Read(void* buffer, size_t size) override {
    size_t n = std::min(size, pending_->size());
    auto* out = static_cast<char*>(buffer);
    for (size_t i = 0; i < n; ++i) {
      out[i] = pending_->front();
      pending_->pop_front();
    }
    return static_cast<ptrdiff_t>(n);
  }
  Integer QueuedBytes() override { return static_cast<Integer>(pending_->size()); }

 private:
  std::deque<char>* pending_;
};

std::vector<std::string> chunksOf(const uint8_t* data, size_t size) {
  std::vector<std::string> chunks;
  size_t at = 0;
  while (at < size) {
    size_t length = data[at++];
    int repeat = 1;
    if (length == 255 && at < size) {
      repeat = 16;
      length = data[at++];
    }
    const std::string chunk(reinterpret_cast<const char*>(data) + at, std::min(length, size - at));
    at += chunk.size();
    for (int i = 0; i < repeat; ++i) chunks.push_back(chunk);
  }
  return chunks;
}

std::string& portPath() {
  static std::string path;
  return path;
}

void drain() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void throughCapture(const std::vector<std::string>& chunks) {
  std::deque<char> pending;
  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  capture->OnResult = [&](TObject*) {
    TMemRecord* last = capture->Receipt()->Last();
    if (!last || last->GetAnsiString(0) != "<SUM>") __builtin_trap();
  };
  capture->OnError = [](TObject*) {};
  capture->DevicePath = portPath();
  capture->Serial().PortFactory = [&](const std::string&) { return std::make_unique<FuzzPort>(&pending); };
  drain();  // the capture's first device change: it opens the port
  if (!capture->Serial().GetActive()) __builtin_trap();
  for (const std::string& chunk : chunks) {
    pending.insert(pending.end(), chunk.begin(), chunk.end());
    TSerialTestHook::ReadStep(capture->Serial());
  }
  if (capture->State() < 0 || capture->State() > 3) __builtin_trap();
  capture.reset();
  drain();
}

void throughBarePort(const std::string& terminator, const std::vector<std::string>& chunks) {
  std::deque<char> pending;
  auto serial = MakeObject<TSerial>(nullptr);
  serial->PortFactory = [&](const std::string&) { return std::make_unique<FuzzPort>(&pending); };
  serial->Open();
  std::string arrived, handedOut, piece;
  bool lost = false;
  for (const std::string& chunk : chunks) {
    // Text beyond the ring's room is dropped by design; then nothing is compared.
    if (serial->Available() + static_cast<Integer>(chunk.size()) > TSerialThread::RingSize - 1) lost = true;
    arrived += chunk;
    pending.insert(pending.end(), chunk.begin(), chunk.end());
    TSerialTestHook::ReadStep(*serial);
    while (serial->Receive(terminator, 0, piece)) handedOut += piece + terminator;
    if (!piece.empty()) __builtin_trap();  // no terminator: nothing handed out
  }
  const Integer left = serial->Available();
  handedOut += serial->Take(left);
  if (serial->Available() != 0) __builtin_trap();
  if (!lost && handedOut != arrived) __builtin_trap();
  serial->Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(*argc, *argv);
  (void)app;
  idleDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // The capture opens the port it is given when that path exists.
  portPath() = std::filesystem::temp_directory_path() / ("fuzz_serial_framing." + std::to_string(getpid()));
  std::ofstream(portPath()).put('\n');
  std::atexit([] { std::filesystem::remove(portPath()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t terminatorLength = 1 + (data[0] & 3);
  if (size < 1 + terminatorLength) return 0;
  const std::string terminator(reinterpret_cast<const char*>(data) + 1, terminatorLength);
  const std::vector<std::string> chunks = chunksOf(data + 1 + terminatorLength, size - 1 - terminatorLength);
  throughCapture(chunks);
  throughBarePort(terminator, chunks);
  return 0;
}
