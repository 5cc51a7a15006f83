#include "device/scalesim/ScaleSimulator.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/core/Exceptions.h"

namespace px {

namespace {

constexpr const char* kPairs[26] = {"\x15\xA2", "\x15\x8B", "\x15\x08", "\x04\xAA", "\x15\x0A", "\x15\x02", "\x15\x48",
                                    "\x05\xA2", "\x05\x00", "\x40\xA8", "\x05\x43", "\x05\x08", "\x07\xA1", "\x07\xE0",
                                    "\x15\xA8", "\x15\x22", "\x15\xE8", "\x15\x62", "\x11\x8A", "\x30\x04", "\x05\xA8",
                                    "\x02\xE0", "\x65\xE0", "\x42\x41", "\x02\x05", "\x50\x09"};

char letterOfPair(Byte first, Byte second) {
  for (int i = 0; i < 26; ++i)
    if (static_cast<Byte>(kPairs[i][0]) == first && static_cast<Byte>(kPairs[i][1]) == second)
      return static_cast<char>('A' + i);
  return '?';
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

Word ScaleSimCRC(const Byte* data, size_t size) {
  unsigned crc = 0;
  for (size_t i = 0; i < size; ++i) {
    crc ^= unsigned(data[i]) << 8;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
  }
  return static_cast<Word>(crc);
}

bool ScaleSimLetterPair(char letter, Byte& first, Byte& second) {
  if (letter < 'A' || letter > 'Z') return false;
  // Indexing reads the pair's bytes even where the second is zero ("I").
  first = static_cast<Byte>(kPairs[letter - 'A'][0]);
  second = static_cast<Byte>(kPairs[letter - 'A'][1]);
  return true;
}

TScaleSimulator::TScaleSimulator(Integer productVariant, Cardinal protocolVersion)
    : variant_(productVariant), version_(protocolVersion) {}

TScaleSimulator::~TScaleSimulator() { stopServing(); }

void TScaleSimulator::stopServing() {
  if (thread_.joinable()) {
    Byte b = 1;
    [[maybe_unused]] ssize_t n = write(stopPipe_[1], &b, 1);
    thread_.join();
  }
  closeFd(stopPipe_[0]);
  closeFd(stopPipe_[1]);
  closeFd(serveFd_);
}

std::unique_ptr<IHidDevice> TScaleSimulator::Open() {
  {
    std::lock_guard g(lock_);
    if (!openable_) RaiseOSError(EACCES, "Opening the simulated scale");
  }
  stopServing();
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) RaiseLastOSError("socketpair");
  if (pipe2(stopPipe_, O_CLOEXEC) != 0) {
    close(sv[0]);
    close(sv[1]);
    RaiseLastOSError("pipe2");
  }
  fcntl(sv[0], F_SETFL, fcntl(sv[0], F_GETFL) | O_NONBLOCK);
  serveFd_ = sv[1];
  thread_ = std::thread([this, fd = sv[1], stop = stopPipe_[0]] { serve(fd, stop); });
  return std::make_unique<TDescriptorHidDevice>(sv[0]);
}

THidDeviceOpener TScaleSimulator::Opener() {
  return [this](const std::string&) { return Open(); };
}

void TScaleSimulator::serve(int fd, int stopFd) {
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    Byte buffer[64];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the program closed the device
    // hidraw takes the report id and the eight report bytes; anything else
    // is not a report of this device.
    if (n != 9 || buffer[0] != 0) continue;
    Report request;
    std::copy(buffer, buffer + 9, request.begin());
    std::vector<Byte> reply;
    Integer delayMs = 0;
    bool answered;
    std::function<void()> onDisconnect;
    {
      std::lock_guard g(lock_);
      requests_.push_back(request);
      answered = answer(request, reply, delayMs);
      // Counted before the reply goes out: once the program has its answer,
      // a test may already ask how many disconnects were requested.
      if (answered && request[1] == 0xF6) {
        ++disconnects_;
        onDisconnect = onDisconnect_;
      }
    }
    if (!answered) continue;
    // Before the reply: once the program has its answer, whoever watches the
    // requests already knows of this one.
    if (onDisconnect) onDisconnect();
    if (delayMs > 0) {
      pollfd s{stopFd, POLLIN, 0};
      if (poll(&s, 1, delayMs) > 0) return;
    }
    send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    {
      std::lock_guard g(lock_);
      ++replies_;
    }
  }
}

namespace {

bool isWriteCommand(Byte cmd) {
  switch (cmd) {
    case 0xFF: case 0xEF: case 0xFE: case 0xEE: case 0xFD: case 0xED: case 0xE8: case 0xE7:
      return true;
    default:
      return false;
  }
}

// The table position a request addresses; 0 for none.
Integer requestPosition(const TScaleSimulator::Report& r, Integer variant) {
  switch (r[1]) {
    case 0xFC: case 0xFF: case 0xEF: case 0xFA: case 0xFD: case 0xED:
      return r[2];
    case 0xFE:
      return variant == 1 ? r[2] : r[2] >> 6;
    case 0xFB: case 0xE6: case 0xEE: case 0xE8: case 0xE7:
      return r[2] >> 6;
    default:
      return 0;
  }
}

}  // namespace

void TScaleSimulator::SetFailingPosition(Integer position, bool readsToo) {
  std::lock_guard g(lock_);
  failingPosition_ = position;
  failingReads_ = readsToo;
}

bool TScaleSimulator::answer(const Report& r, std::vector<Byte>& out, Integer& delayMs) {
  if (silent_) return false;
  bool hasFault = !faults_.empty();
  Fault fault = hasFault ? faults_.front() : Fault::Silence;
  if (hasFault) faults_.pop_front();
  delayMs = latencyMs_;
  if (hasFault && fault == Fault::Silence) return false;
  if (hasFault && fault == Fault::LateReply) delayMs += lateReplyMs_;
  const bool failed = failingPosition_ != 0 && requestPosition(r, variant_) == failingPosition_ &&
                      (failingReads_ || isWriteCommand(r[1]));
  auto is = [&](Fault f) { return (hasFault && fault == f) || (failed && f == Fault::BadCRC); };

  Report rep = r;
  const Byte cmd = r[1];
  const bool v4 = version_ >= 4;
  auto sel = [&](Integer& pos, Integer& slot) {
    pos = r[2] >> 6;
    slot = r[2] & 63;
    return slot >= 1;
  };
  auto put = [&](int from, uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i, value >>= 8) rep[from + i] = static_cast<Byte>(value);
  };
  Integer pos = 0, slot = 0;
  switch (cmd) {
    case 0xE9: {
      if (variant_ != 2) return false;
      char text[8];
      snprintf(text, sizeof text, "%04X", version_ & 0xFFFF);
      if (is(Fault::NonHexVersion)) text[1] = 'G';
      for (int i = 0; i < 4; ++i) rep[2 + i] = static_cast<Byte>(text[i]);
      rep[6] = 0xAA;
      break;
    }
    case 0xF6: break;
    case 0xF8:
      if (variant_ != 2) return false;
      put(2, static_cast<uint64_t>(headerValue_), 5);
      break;
    case 0xF7:
      put(3, headerWord1_, 2);
      put(5, headerWord2_, 2);
      break;
    case 0xFC: {
      Integer p = r[2], idx = r[3];
      if (p > 3 || idx < 1 || idx > 3) return false;
      const std::string& code = p == 0 ? currentCode_ : tables_[p][0].Code;
      char letter = idx - 1 < static_cast<Integer>(code.size()) ? code[idx - 1] : '?';
      Byte a = 0, b = 0;
      ScaleSimLetterPair(letter, a, b);
      if (is(Fault::UnknownLetterPair)) a = b = 0xFF;
      rep[4] = a;
      rep[5] = b;
      rep[6] = 0xAA;
      break;
    }
    case 0xFB: {
      if (!sel(pos, slot)) return false;
      const Slot& s = tables_[pos][0].Slots[slot];
      uint32_t v = static_cast<uint32_t>(s.Value);
      if (v4) {
        rep[3] = static_cast<Byte>(((v >> 24) & 7) | ((s.SlotType & 2) ? 0x08 : 0) | (s.Series << 4));
        put(4, v & 0xFFFFFF, 3);
      } else {
        put(3, v, 4);
      }
      break;
    }
    case 0xFA: {
      pos = r[2];
      slot = r[3];
      if (pos > 3 || slot < 1 || slot > 63) return false;
      const Slot& s = tables_[pos][0].Slots[slot];
      put(4, (static_cast<uint32_t>(s.Weight) & 0x7FFFFF) | ((s.SlotType & 1) ? 0x800000u : 0u), 3);
      break;
    }
    case 0xF9:
      slot = r[2] & 63;
      put(3, static_cast<uint32_t>(counts_[slot]), 4);
      break;
    case 0xE6: {
      if (!v4 || !sel(pos, slot)) return false;
      put(3, tables_[pos][0].Slots[slot].GroupCount, 2);
      rep[5] = 0x55;
      rep[6] = 0xAA;
      break;
    }
    case 0xFF:
    case 0xEF: {
      Integer p = r[2], idx = r[3];
      if (p < 1 || p > 3 || idx < 1 || idx > 3) return false;
      std::string& code = tables_[p][cmd == 0xEF].Code;
      code.resize(3, ' ');
      code[idx - 1] = letterOfPair(r[4], r[5]);
      break;
    }
    case 0xFE:
    case 0xEE: {
      if (variant_ == 1 && cmd == 0xFE) {
        Integer p = r[2], index = r[3];
        if (p < 1 || p > 3 || index > 19) return false;
        tables_[p][0].LegacyWeights[index] = static_cast<Integer>((uint32_t(r[4]) << 16) | (uint32_t(r[5]) << 8) | r[6]);
        break;
      }
      if (!sel(pos, slot)) return false;
      Slot& s = tables_[pos][cmd == 0xEE].Slots[slot];
      if (v4) {
        s.Value = static_cast<Integer>((uint32_t(r[3] & 7) << 24) | (uint32_t(r[4]) << 16) | (uint32_t(r[5]) << 8) | r[6]);
        s.SlotType = static_cast<Byte>((s.SlotType & 1) | ((r[3] & 0x08) ? 2 : 0));
        s.Series = static_cast<Byte>(r[3] >> 4);
      } else {
        s.Value = static_cast<Integer>((uint32_t(r[3]) << 24) | (uint32_t(r[4]) << 16) | (uint32_t(r[5]) << 8) | r[6]);
        s.SlotType &= 1;
      }
      break;
    }
    case 0xFD:
    case 0xED: {
      pos = r[2];
      slot = r[3];
      if (pos < 1 || pos > 3 || slot < 1 || slot > 63) return false;
      Slot& s = tables_[pos][cmd == 0xED].Slots[slot];
      uint32_t w = (uint32_t(r[4]) << 16) | (uint32_t(r[5]) << 8) | r[6];
      s.Weight = static_cast<Integer>(w & 0x7FFFFF);
      s.SlotType = static_cast<Byte>((s.SlotType & 2) | ((w & 0x800000) ? 1 : 0));
      break;
    }
    case 0xE8:
    case 0xE7:
      if (!v4 || !sel(pos, slot)) return false;
      tables_[pos][cmd == 0xE7].Slots[slot].GroupCount = static_cast<Word>((r[3] << 8) | r[4]);
      break;
    default:
      return false;  // an unknown command gets no answer
  }
  if (is(Fault::WrongEcho)) rep[1] ^= 0x01;
  Word crc = ScaleSimCRC(rep.data() + 1, 6);
  rep[7] = static_cast<Byte>(crc >> 8);
  rep[8] = static_cast<Byte>(crc);
  if (is(Fault::BadCRC)) rep[8] ^= 0x5A;
  out.assign(rep.begin() + 1, rep.end());
  if (is(Fault::ShortReply)) out.resize(5);
  return true;
}

void TScaleSimulator::SetOpenable(bool openable) {
  std::lock_guard g(lock_);
  openable_ = openable;
}

void TScaleSimulator::SetTable(Integer position, const Table& table, bool defaultSet) {
  std::lock_guard g(lock_);
  tables_.at(static_cast<size_t>(position))[defaultSet] = table;
}

TScaleSimulator::Table TScaleSimulator::GetTable(Integer position, bool defaultSet) const {
  std::lock_guard g(lock_);
  return tables_.at(static_cast<size_t>(position))[defaultSet];
}

void TScaleSimulator::SetCurrentCode(const std::string& code) {
  std::lock_guard g(lock_);
  currentCode_ = code;
}

void TScaleSimulator::SetCount(Integer slot, Integer count) {
  std::lock_guard g(lock_);
  counts_.at(static_cast<size_t>(slot)) = count;
}

void TScaleSimulator::SetHeader(int64_t value, Word word1, Word word2) {
  std::lock_guard g(lock_);
  headerValue_ = value;
  headerWord1_ = word1;
  headerWord2_ = word2;
}

void TScaleSimulator::InjectFault(Fault fault) {
  std::lock_guard g(lock_);
  faults_.push_back(fault);
}

void TScaleSimulator::SetLatencyMs(Integer ms) {
  std::lock_guard g(lock_);
  latencyMs_ = ms;
}

void TScaleSimulator::SetLateReplyMs(Integer ms) {
  std::lock_guard g(lock_);
  lateReplyMs_ = ms;
}

void TScaleSimulator::SetSilent(bool silent) {
  std::lock_guard g(lock_);
  silent_ = silent;
}

void TScaleSimulator::SetOnDisconnectRequest(std::function<void()> callback) {
  std::lock_guard g(lock_);
  onDisconnect_ = std::move(callback);
}

std::vector<TScaleSimulator::Report> TScaleSimulator::Requests() const {
  std::lock_guard g(lock_);
  return requests_;
}

void TScaleSimulator::ClearRequests() {
  std::lock_guard g(lock_);
  requests_.clear();
}

Integer TScaleSimulator::RepliesSent() const {
  std::lock_guard g(lock_);
  return replies_;
}

Integer TScaleSimulator::DisconnectRequests() const {
  std::lock_guard g(lock_);
  return disconnects_;
}

}  // namespace px
