#pragma once
// The connection to the 7350 counting scale and the record in which its
// counting result and its per-currency denomination tables travel.
//
// The scale is a HID device (vendor 0x0FFF, product 1 or 2). The connection
// follows the HID device list: it opens the scale when it arrives, closes it
// when it leaves, settles the protocol variant and version, and tells every
// framework form or frame that implements IDeviceListener. Every exchange is
// one 9-byte output report and one 9-byte input report (report id, command,
// five parameter bytes, CRC-16/XMODEM high and low byte). Operations never
// raise: they answer false, and the screens show their own message.
#include <array>
#include <memory>
#include <string>

#include "device/UnitHID.h"
#include "platform/core/Types.h"
#include "platform/hid/HidDevice.h"

namespace px {

constexpr Word VantorelVendorID = 0x0FFF;
// How long one direction of an exchange may take.
constexpr Integer VantorelTimeoutMs = 1000;
constexpr Integer VantorelSlotCount = 63;

// The scale's result or one of its currency tables. Slot arrays are indexed
// 1 to 63; element 0 is never used.
struct TVantorelResult {
  AnsiString CurrencyCode;  // three letters; "?" for a letter the scale reports outside the table
  int64_t HeaderValue = 0;  // 40 bits
  Integer HeaderWord1 = 0;
  Integer HeaderWord2 = 0;
  std::array<Integer, VantorelSlotCount + 1> Value{};  // hundredths of the currency unit; 0 ends the table
  std::array<Byte, VantorelSlotCount + 1> SlotType{};  // bit 0 banknote, bit 1 package
  std::array<Integer, VantorelSlotCount + 1> Weight{};  // 1/10000 g, 23 bits
  std::array<Integer, VantorelSlotCount + 1> Count{};
  std::array<Word, VantorelSlotCount + 1> GroupCount{};  // pieces per package
  std::array<Byte, VantorelSlotCount + 1> SeriesNumber{};  // 0 to 15

  void Clear() { *this = TVantorelResult(); }
};

using TVantorelReport = std::array<Byte, 9>;

// CRC-16/XMODEM (polynomial 0x1021, initial value 0, no reflection, no final
// XOR), table-driven.
Word CRC16XModem(const Byte* data, size_t size);
// A report with the command, the five parameter bytes and the CRC of bytes 1
// to 6 in bytes 7 (high) and 8 (low).
TVantorelReport BuildReport(Byte command, Byte p1, Byte p2, Byte p3, Byte p4, Byte p5);
// Whether bytes 7 and 8 hold the CRC of bytes 1 to 6.
bool ReportCRCValid(const TVantorelReport& report);
// The byte pair that stands for a letter "A" to "Z"; false for any other.
bool LetterToPair(char letter, Byte& first, Byte& second);
// The letter of a pair; '?' when the pair is not in the table.
char PairToLetter(Byte first, Byte second);
// The index 0 to 19 of a value in the variant-1 denomination table (banknote
// values, slot type 1, are looked up negated); -1 when absent.
Integer DenominationToSlot(Integer value, Byte slotType);
// The variant-1 denomination table.
extern const std::array<Integer, 20> VantorelLegacySlots;

class TVantorel7350 {
 public:
  // Subscribes to the device list and replays the devices it already knows.
  // The opener opens a device node (hidraw by default; tests pass the
  // simulated scale).
  explicit TVantorel7350(THIDDevices* devices, THidDeviceOpener opener = OpenHidrawDevice);
  // A variant-2 scale is asked to disconnect; then closed without sound.
  ~TVantorel7350();
  TVantorel7350(const TVantorel7350&) = delete;
  TVantorel7350& operator=(const TVantorel7350&) = delete;

  std::string DevicePath;  // interface path of the scale last reported (or the open one)
  std::string DeviceNode;  // the node that is opened
  bool Connected = false;
  Integer ProductVariant = 0;
  Cardinal ProtocolVersion = 0;
  // Exchanges attempted since creation (every report written or tried).
  Cardinal ExchangeCount = 0;

  bool HandleOpen() const { return device_ != nullptr; }

  void DeviceChanged(THIDDevices* sender, THIDDevice* device);
  void Connect(bool audible);
  void Disconnect(bool audible);
  void RequestDisconnect();

  bool ReadResult(TVantorelResult& result);
  bool ReadCurrency(Byte position, TVantorelResult& result);
  bool ReadCurrencyCode(Integer position, AnsiString& code);
  bool WriteCurrency(Byte position, const TVantorelResult& result, bool Default);

  // The building blocks, one per command.
  bool Exchange(TVantorelReport& report, Integer echoCount);
  bool ReadProtocolVersion(Cardinal& version);
  bool ReadHeaderValue(int64_t& value);
  bool ReadHeaderWords(Integer& word1, Integer& word2);
  bool ReadCurrencyLetter(Integer position, Integer index, char& letter);
  bool ReadSlotValue(Integer position, Integer slot, Integer& value, bool& package, Byte& series);
  bool ReadSlotWeight(Integer position, Integer slot, Integer& weight, bool& banknote);
  bool ReadCounter(Byte selector, Integer& count);
  bool ReadSlotCount(Integer slot, Integer& count);
  bool ReadSlotGroupCount(Integer position, Integer slot, Word& count);
  bool WriteCurrencyLetter(Integer position, Integer index, char letter, bool Default);
  bool WriteCurrencyCode(Integer position, const AnsiString& code, bool Default);
  bool WriteSlotValue(Integer position, Integer slot, Integer value, bool package, Byte series, bool Default);
  bool WriteSlotWeight(Integer position, Integer slot, Integer weight, Byte slotType, bool Default);
  bool WriteSlotGroupCount(Integer position, Integer slot, Word count, bool Default);
  bool WriteLegacyWeight(Integer position, Integer index, Integer weight);

 private:
  bool slotAllowed(Integer slot) const;
  void notifyStatus(bool connected, bool audible);
  void notifyActivity();

  THIDDevices* devices_;
  THidDeviceOpener opener_;
  std::unique_ptr<IHidDevice> device_;
};

// The one scale connection, made and freed by the start-up sequence after
// the HID device list.
extern TVantorel7350* Vantorel7350;
void InitializeVantorel7350(THidDeviceOpener opener = OpenHidrawDevice);
void FinalizeVantorel7350();

}  // namespace px
