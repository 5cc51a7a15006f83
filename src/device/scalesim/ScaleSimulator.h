#pragma once
// A simulated 7350 scale for tests and for trying the program without the
// hardware. It sits behind the HID device interface: Open hands out one end
// of a socket pair that carries 9-byte output reports and 8-byte input
// reports, as a hidraw node does, and a thread answers on the other end with
// real reports and CRC-16/XMODEM. It keeps the currencies, denominations and
// weights written to it, holds a counting result, and can be told to
// misbehave (bad CRC, wrong echo, silence, late reply, unknown letter pair,
// non-hexadecimal version, short reply).
//
// It is written apart from the program's own protocol code on purpose (its
// own CRC and letter table), so that a fault in one is not mirrored by the
// other.
#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Types.h"
#include "platform/hid/HidDevice.h"

namespace px {

class TScaleSimulator {
 public:
  struct Slot {
    Integer Value = 0;   // hundredths; 0 ends the table
    Byte SlotType = 0;   // bit 0 banknote, bit 1 package
    Integer Weight = 0;  // 23 bits
    Word GroupCount = 0;
    Byte Series = 0;
  };
  struct Table {
    std::string Code = "EUR";
    std::array<Slot, 64> Slots{};                 // 1 to 63
    std::array<Integer, 20> LegacyWeights{};       // variant-1 entries
  };
  enum class Fault { BadCRC, WrongEcho, Silence, LateReply, UnknownLetterPair, NonHexVersion, ShortReply };
  using Report = std::array<Byte, 9>;

  // productVariant 1 answers neither the probe nor the version query;
  // productVariant 2 answers both.
  explicit TScaleSimulator(Integer productVariant = 2, Cardinal protocolVersion = 4);
  ~TScaleSimulator();
  TScaleSimulator(const TScaleSimulator&) = delete;
  TScaleSimulator& operator=(const TScaleSimulator&) = delete;

  // A new connection; the previous one stops being served. Raises EOSError
  // (EACCES) while Openable is false.
  std::unique_ptr<IHidDevice> Open();
  THidDeviceOpener Opener();

  // Everything below is safe to call while a connection is being served.
  void SetOpenable(bool openable);
  void SetTable(Integer position, const Table& table, bool defaultSet = false);
  Table GetTable(Integer position, bool defaultSet = false) const;
  // The counting result: the current currency's code (position 0) and the
  // pieces counted per slot.
  void SetCurrentCode(const std::string& code);
  void SetCount(Integer slot, Integer count);
  void SetHeader(int64_t value, Word word1, Word word2);
  // The next request answered gets the fault (queued, one request each).
  void InjectFault(Fault fault);
  // Every request addressed to the table of position 1 to 3 that writes
  // (and with readsToo every one that reads) is answered with a bad CRC,
  // until position 0 ends it.
  void SetFailingPosition(Integer position, bool readsToo = false);
  // Delay of every reply (a slow scale); a late reply waits lateReplyMs.
  void SetLatencyMs(Integer ms);
  void SetLateReplyMs(Integer ms);
  // A scale that answers nothing at all.
  void SetSilent(bool silent);
  // Called (on the simulator's thread) for each disconnect request answered,
  // before its reply goes out; it may call Requests and ClearRequests.
  void SetOnDisconnectRequest(std::function<void()> callback);

  std::vector<Report> Requests() const;
  void ClearRequests();
  Integer DisconnectRequests() const;
  // Replies sent so far (a late one counts once it has gone out).
  Integer RepliesSent() const;

 private:
  void serve(int fd, int stopFd);
  bool answer(const Report& request, std::vector<Byte>& reply, Integer& delayMs);
  void stopServing();

  mutable std::mutex lock_;
  Integer variant_;
  Cardinal version_;
  bool openable_ = true;
  bool silent_ = false;
  Integer latencyMs_ = 0;
  Integer lateReplyMs_ = 1300;
  std::array<std::array<Table, 2>, 4> tables_{};  // [position][working, default]
  std::string currentCode_ = "EUR";
  std::array<Integer, 64> counts_{};
  int64_t headerValue_ = 0;
  Word headerWord1_ = 0, headerWord2_ = 0;
  std::deque<Fault> faults_;
  Integer failingPosition_ = 0;
  bool failingReads_ = false;
  std::vector<Report> requests_;
  Integer disconnects_ = 0;
  Integer replies_ = 0;
  std::function<void()> onDisconnect_;

  std::thread thread_;
  int stopPipe_[2] = {-1, -1};
  int serveFd_ = -1;
};

// CRC-16/XMODEM computed bit by bit.
Word ScaleSimCRC(const Byte* data, size_t size);
// The byte pair of a letter; false outside "A" to "Z".
bool ScaleSimLetterPair(char letter, Byte& first, Byte& second);

}  // namespace px
