#include "device/UnitVantorel7350.h"

#include <cstring>

#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

TVantorel7350* Vantorel7350 = nullptr;

namespace {

// Commands.
constexpr Byte cmdProtocolVersion = 0xE9;
constexpr Byte cmdDisconnect = 0xF6;
constexpr Byte cmdHeaderValue = 0xF8;
constexpr Byte cmdHeaderWords = 0xF7;
constexpr Byte cmdCurrencyLetter = 0xFC;
constexpr Byte cmdSlotValue = 0xFB;
constexpr Byte cmdSlotWeight = 0xFA;
constexpr Byte cmdCounter = 0xF9;
constexpr Byte cmdSlotGroupCount = 0xE6;
constexpr Byte cmdWriteLetter[2] = {0xFF, 0xEF};
constexpr Byte cmdWriteSlotValue[2] = {0xFE, 0xEE};
constexpr Byte cmdWriteSlotWeight[2] = {0xFD, 0xED};
constexpr Byte cmdWriteGroupCount[2] = {0xE8, 0xE7};
constexpr Byte cmdWriteLegacyWeight = 0xFE;

constexpr Integer kMaxWeight = 0x7FFFFF;

struct LetterPair {
  Byte first, second;
};
constexpr LetterPair kLetters[26] = {
    {0x15, 0xA2}, {0x15, 0x8B}, {0x15, 0x08}, {0x04, 0xAA}, {0x15, 0x0A}, {0x15, 0x02}, {0x15, 0x48},
    {0x05, 0xA2}, {0x05, 0x00}, {0x40, 0xA8}, {0x05, 0x43}, {0x05, 0x08}, {0x07, 0xA1}, {0x07, 0xE0},
    {0x15, 0xA8}, {0x15, 0x22}, {0x15, 0xE8}, {0x15, 0x62}, {0x11, 0x8A}, {0x30, 0x04}, {0x05, 0xA8},
    {0x02, 0xE0}, {0x65, 0xE0}, {0x42, 0x41}, {0x02, 0x05}, {0x50, 0x09}};

constexpr std::array<Word, 256> makeCrcTable() {
  std::array<Word, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int b = 0; b < 8; ++b) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
    t[i] = static_cast<Word>(c);
  }
  return t;
}
constexpr std::array<Word, 256> kCrcTable = makeCrcTable();

bool validSelector(Integer position, Integer slot) { return position >= 0 && position <= 3 && slot >= 1 && slot <= 63; }
Byte selector(Integer position, Integer slot) { return static_cast<Byte>((position << 6) | slot); }

Integer bigEndian(const TVantorelReport& r, int from, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) v = (v << 8) | r[from + i];
  return static_cast<Integer>(v);
}

int hexDigit(Byte c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

const std::array<Integer, 20> VantorelLegacySlots = {1,    2,    5,     10,    20,    25,    50,
                                                     100,  200,  500,   -100,  -200,  -500,  -1000,
                                                     -2000, -5000, -10000, -20000, -50000, -100000};

Word CRC16XModem(const Byte* data, size_t size) {
  Word crc = 0;
  for (size_t i = 0; i < size; ++i) crc = static_cast<Word>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
  return crc;
}

TVantorelReport BuildReport(Byte command, Byte p1, Byte p2, Byte p3, Byte p4, Byte p5) {
  TVantorelReport r{0, command, p1, p2, p3, p4, p5, 0, 0};
  Word crc = CRC16XModem(r.data() + 1, 6);
  r[7] = static_cast<Byte>(crc >> 8);
  r[8] = static_cast<Byte>(crc);
  return r;
}

bool ReportCRCValid(const TVantorelReport& report) {
  Word crc = CRC16XModem(report.data() + 1, 6);
  return report[7] == static_cast<Byte>(crc >> 8) && report[8] == static_cast<Byte>(crc);
}

bool LetterToPair(char letter, Byte& first, Byte& second) {
  if (letter < 'A' || letter > 'Z') return false;
  first = kLetters[letter - 'A'].first;
  second = kLetters[letter - 'A'].second;
  return true;
}

char PairToLetter(Byte first, Byte second) {
  for (int i = 0; i < 26; ++i)
    if (kLetters[i].first == first && kLetters[i].second == second) return static_cast<char>('A' + i);
  return '?';
}

Integer DenominationToSlot(Integer value, Byte slotType) {
  // Negating the lowest integer would overflow; no table entry is near it.
  if (slotType == 1) value = value == INT32_MIN ? 0 : -value;
  for (size_t i = 0; i < VantorelLegacySlots.size(); ++i)
    if (VantorelLegacySlots[i] == value) return static_cast<Integer>(i);
  return -1;
}

// ---------------------------------------------------------------------------

TVantorel7350::TVantorel7350(THIDDevices* devices, THidDeviceOpener opener)
    : devices_(devices), opener_(std::move(opener)) {
  if (devices_) {
    devices_->Subscribe(THIDDeviceEvent::Of<&TVantorel7350::DeviceChanged>(this));
    devices_->NotifyPresent();
  }
}

TVantorel7350::~TVantorel7350() {
  if (Connected && ProductVariant == 2) RequestDisconnect();
  Disconnect(false);
  if (devices_) devices_->Unsubscribe(THIDDeviceEvent::Of<&TVantorel7350::DeviceChanged>(this));
}

void TVantorel7350::DeviceChanged(THIDDevices*, THIDDevice* device) {
  if (device->VendorID != VantorelVendorID || (device->ProductID != 1 && device->ProductID != 2)) return;
  if (Connected) {
    // While a scale is open, another scale's comings and goings must not
    // take over its path nor close it; and a repeated report of the open
    // one changes nothing (it would undo the variant probe).
    if (device->Path() != DevicePath || device->State != hdsGone) return;
  }
  DevicePath = device->Path();
  DeviceNode = device->DevNode;
  switch (device->State) {
    case hdsGone:
      ProductVariant = 0;
      Disconnect(true);
      break;
    case hdsPresent:
      ProductVariant = device->ProductID;
      Connect(false);
      break;
    case hdsNew:
      ProductVariant = device->ProductID;
      Connect(true);
      break;
  }
}

void TVantorel7350::Connect(bool audible) {
  if (Connected) return;
  try {
    device_ = opener_(DeviceNode);
  } catch (const EOSError& e) {
    OutputDebugString("TVantorel7350.Connect: " + e.Message() + " (errno " + std::to_string(e.ErrorCode) + ")");
    device_.reset();
  } catch (const std::exception& e) {
    OutputDebugString(std::string("TVantorel7350.Connect: ") + e.what());
    device_.reset();
  }
  if (!device_) return;
  Connected = true;
  int64_t probe = 0;
  if (ProductVariant == 1 && ReadHeaderValue(probe)) ProductVariant = 2;
  ProtocolVersion = static_cast<Cardinal>(ProductVariant);
  if (ProductVariant == 2) {
    Cardinal version = 0;
    if (ReadProtocolVersion(version)) ProtocolVersion = version;
  }
  notifyStatus(true, audible);
}

void TVantorel7350::Disconnect(bool audible) {
  if (!Connected) return;
  Connected = false;
  device_.reset();
  notifyStatus(false, audible);
}

void TVantorel7350::RequestDisconnect() {
  if (!Connected) return;
  TVantorelReport r = BuildReport(cmdDisconnect, 0x00, 0x55, 0xAA, 0x55, 0xAA);
  Exchange(r, 0);
}

void TVantorel7350::notifyStatus(bool connected, bool audible) {
  if (!QVRSystem) return;
  QVRSystem->ForEachLink<IDeviceListener>([&](IDeviceListener* l) { l->DeviceStatusChanged(connected, audible); });
}

void TVantorel7350::notifyActivity() {
  if (!QVRSystem) return;
  QVRSystem->ForEachLink<IDeviceListener>([](IDeviceListener* l) { l->DeviceActivity(); });
}

bool TVantorel7350::slotAllowed(Integer slot) const { return ProtocolVersion >= 4 || slot < 32; }

bool TVantorel7350::Exchange(TVantorelReport& report, Integer echoCount) {
  if (!Connected || !device_) return false;
  ++ExchangeCount;
  const TVantorelReport request = report;
  // A reply that came after its exchange had given up would otherwise be
  // taken for the reply to this request, and every later one would be off
  // by one.
  HidDrainInput(*device_);
  if (HidWriteReport(*device_, request.data(), request.size(), VantorelTimeoutMs) != THidIoResult::Done) return false;
  // The device hands input reports without the report id; it goes back in
  // front so that the reply lines up with the request.
  Byte reply[8] = {};
  size_t received = 0;
  if (HidReadReport(*device_, reply, sizeof reply, received, VantorelTimeoutMs) != THidIoResult::Done) return false;
  report.fill(0);
  std::memcpy(report.data() + 1, reply, received);
  notifyActivity();
  if (received != sizeof reply) return false;
  if (!ReportCRCValid(report)) return false;
  echoCount = std::min<Integer>(std::max<Integer>(echoCount, 0), 6);
  return std::memcmp(report.data(), request.data(), static_cast<size_t>(echoCount) + 2) == 0;
}

bool TVantorel7350::ReadProtocolVersion(Cardinal& version) {
  if (ProductVariant != 2) return false;
  TVantorelReport r = BuildReport(cmdProtocolVersion, 0xAA, 0x55, 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 0)) return false;
  Cardinal v = 0;
  for (int i = 2; i <= 5; ++i) {
    int d = hexDigit(r[i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<Cardinal>(d);
  }
  version = v;
  return true;
}

bool TVantorel7350::ReadHeaderValue(int64_t& value) {
  TVantorelReport r = BuildReport(cmdHeaderValue, 0x00, 0x55, 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 0)) return false;
  int64_t v = 0;
  for (int i = 2; i <= 6; ++i) v = (v << 8) | r[i];
  value = v;
  return true;
}

bool TVantorel7350::ReadHeaderWords(Integer& word1, Integer& word2) {
  TVantorelReport r = BuildReport(cmdHeaderWords, 0x00, 0x55, 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 1)) return false;
  word1 = bigEndian(r, 3, 2);
  word2 = bigEndian(r, 5, 2);
  return true;
}

bool TVantorel7350::ReadCurrencyLetter(Integer position, Integer index, char& letter) {
  if (position < 0 || position > 3 || index < 1 || index > 3) return false;
  TVantorelReport r = BuildReport(cmdCurrencyLetter, static_cast<Byte>(position), static_cast<Byte>(index), 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 2)) return false;
  letter = PairToLetter(r[4], r[5]);
  return true;
}

bool TVantorel7350::ReadSlotValue(Integer position, Integer slot, Integer& value, bool& package, Byte& series) {
  if (!validSelector(position, slot) || !slotAllowed(slot)) return false;
  TVantorelReport r = BuildReport(cmdSlotValue, selector(position, slot), 0x55, 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 1)) return false;
  if (ProtocolVersion >= 4) {
    value = static_cast<Integer>((static_cast<uint32_t>(r[3] & 7) << 24) | (uint32_t(r[4]) << 16) | (uint32_t(r[5]) << 8) | r[6]);
    package = (r[3] & 0x08) != 0;
    series = static_cast<Byte>(r[3] >> 4);
  } else {
    value = bigEndian(r, 3, 4);
    package = false;
    series = 0;
  }
  return true;
}

bool TVantorel7350::ReadSlotWeight(Integer position, Integer slot, Integer& weight, bool& banknote) {
  if (!validSelector(position, slot) || !slotAllowed(slot)) return false;
  TVantorelReport r = BuildReport(cmdSlotWeight, static_cast<Byte>(position), static_cast<Byte>(slot), 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 2)) return false;
  Integer raw = bigEndian(r, 4, 3);
  banknote = (raw & 0x800000) != 0;
  weight = raw & kMaxWeight;
  return true;
}

bool TVantorel7350::ReadCounter(Byte sel, Integer& count) {
  if ((sel & 0x3F) == 0 || !slotAllowed(sel & 0x3F)) return false;
  TVantorelReport r = BuildReport(cmdCounter, sel, 0x55, 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 1)) return false;
  count = bigEndian(r, 3, 4);
  return true;
}

bool TVantorel7350::ReadSlotCount(Integer slot, Integer& count) {
  if (slot < 1 || slot > 63) return false;
  return ReadCounter(static_cast<Byte>(0x40 | slot), count);
}

bool TVantorel7350::ReadSlotGroupCount(Integer position, Integer slot, Word& count) {
  if (!validSelector(position, slot) || ProtocolVersion < 4) return false;
  TVantorelReport r = BuildReport(cmdSlotGroupCount, selector(position, slot), 0x55, 0xAA, 0x55, 0xAA);
  if (!Exchange(r, 1)) return false;
  count = static_cast<Word>(bigEndian(r, 3, 2));
  return true;
}

bool TVantorel7350::WriteCurrencyLetter(Integer position, Integer index, char letter, bool Default) {
  Byte first, second;
  if (position < 1 || position > 3 || index < 1 || index > 3 || !LetterToPair(letter, first, second)) return false;
  TVantorelReport r = BuildReport(cmdWriteLetter[Default], static_cast<Byte>(position), static_cast<Byte>(index), first, second, 0xAA);
  return Exchange(r, 2);
}

bool TVantorel7350::WriteCurrencyCode(Integer position, const AnsiString& code, bool Default) {
  if (code.size() != 3) return false;
  for (char c : code)
    if (c < 'A' || c > 'Z') return false;
  for (Integer i = 1; i <= 3; ++i)
    if (!WriteCurrencyLetter(position, i, code[static_cast<size_t>(i - 1)], Default)) return false;
  return true;
}

bool TVantorel7350::WriteSlotValue(Integer position, Integer slot, Integer value, bool package, Byte series, bool Default) {
  if (!validSelector(position, slot) || !slotAllowed(slot)) return false;
  const uint32_t v = static_cast<uint32_t>(value);
  Byte b1;
  if (ProtocolVersion >= 4) {
    // 27 bits travel; a value that does not fit would reach the scale as
    // another denomination.
    if (value < 0 || value > 0x7FFFFFF || series > 15) return false;
    b1 = static_cast<Byte>(((v >> 24) & 7) | (package ? 0x08 : 0) | (series << 4));
  } else {
    b1 = static_cast<Byte>(v >> 24);
  }
  TVantorelReport r = BuildReport(cmdWriteSlotValue[Default], selector(position, slot), b1, static_cast<Byte>(v >> 16),
                                  static_cast<Byte>(v >> 8), static_cast<Byte>(v));
  return Exchange(r, 1);
}

bool TVantorel7350::WriteSlotWeight(Integer position, Integer slot, Integer weight, Byte slotType, bool Default) {
  if (position == 0 || !validSelector(position, slot) || !slotAllowed(slot)) return false;
  if (weight < 0 || weight > kMaxWeight) return false;
  uint32_t w = static_cast<uint32_t>(weight) | ((slotType == 1 || slotType == 3) ? 0x800000u : 0u);
  TVantorelReport r = BuildReport(cmdWriteSlotWeight[Default], static_cast<Byte>(position), static_cast<Byte>(slot),
                                  static_cast<Byte>(w >> 16), static_cast<Byte>(w >> 8), static_cast<Byte>(w));
  return Exchange(r, 2);
}

bool TVantorel7350::WriteSlotGroupCount(Integer position, Integer slot, Word count, bool Default) {
  if (!validSelector(position, slot) || ProtocolVersion < 4) return false;
  TVantorelReport r = BuildReport(cmdWriteGroupCount[Default], selector(position, slot), static_cast<Byte>(count >> 8),
                                  static_cast<Byte>(count), 0x55, 0xAA);
  return Exchange(r, 3);
}

bool TVantorel7350::WriteLegacyWeight(Integer position, Integer index, Integer weight) {
  if (position < 1 || position > 3 || index < 0 || index > 19 || weight < 0 || weight > kMaxWeight) return false;
  const uint32_t w = static_cast<uint32_t>(weight);
  TVantorelReport r = BuildReport(cmdWriteLegacyWeight, static_cast<Byte>(position), static_cast<Byte>(index),
                                  static_cast<Byte>(w >> 16), static_cast<Byte>(w >> 8), static_cast<Byte>(w));
  return Exchange(r, 2);
}

// ---------------------------------------------------------------------------

bool TVantorel7350::ReadCurrencyCode(Integer position, AnsiString& code) {
  code = "   ";
  if (!Connected || position < 0 || position > 3) return false;
  for (Integer i = 1; i <= 3; ++i) {
    char letter;
    if (!ReadCurrencyLetter(position, i, letter)) return false;
    code[static_cast<size_t>(i - 1)] = letter;
  }
  return true;
}

bool TVantorel7350::ReadResult(TVantorelResult& result) {
  result.Clear();
  if (!Connected) return false;
  AnsiString codes[4];
  for (Integer p = 0; p <= 3; ++p)
    if (!ReadCurrencyCode(p, codes[p])) return false;
  result.CurrencyCode = codes[0];
  // The current currency must stand among the three exactly once.
  Integer j = 0;
  for (Integer p = 1; p <= 3; ++p) {
    if (codes[p] != codes[0]) continue;
    if (j != 0) return false;
    j = p;
  }
  if (j == 0) return false;
  if (!ReadHeaderValue(result.HeaderValue)) return false;
  if (!ReadHeaderWords(result.HeaderWord1, result.HeaderWord2)) return false;
  for (Integer i = 1; i <= VantorelSlotCount; ++i) {
    if (i == 32 && ProtocolVersion < 4) break;
    bool package = false, banknote = false;
    if (!ReadSlotValue(j, i, result.Value[i], package, result.SeriesNumber[i])) return false;
    if (result.Value[i] == 0) break;
    if (!ReadSlotWeight(j, i, result.Weight[i], banknote)) return false;
    result.SlotType[i] = banknote ? 1 : 0;
    if (!ReadSlotCount(i, result.Count[i])) return false;
    if (package) result.SlotType[i] += 2;
  }
  RequestDisconnect();
  return true;
}

bool TVantorel7350::ReadCurrency(Byte position, TVantorelResult& result) {
  result.Clear();
  if (!Connected || position == 0 || position > 3) return false;
  if (!ReadCurrencyCode(position, result.CurrencyCode)) return false;
  for (Integer i = 1; i <= VantorelSlotCount; ++i) {
    if (i == 32 && ProtocolVersion < 4) return true;
    bool package = false, banknote = false;
    if (!ReadSlotValue(position, i, result.Value[i], package, result.SeriesNumber[i])) return false;
    if (result.Value[i] == 0) return true;
    if (!ReadSlotWeight(position, i, result.Weight[i], banknote)) return false;
    result.SlotType[i] = static_cast<Byte>((banknote ? 1 : 0) + (package ? 2 : 0));
    if (ProtocolVersion >= 4 && !ReadSlotGroupCount(position, i, result.GroupCount[i])) return false;
  }
  return true;
}

bool TVantorel7350::WriteCurrency(Byte position, const TVantorelResult& result, bool Default) {
  if (!Connected || position == 0) return false;
  if (!WriteCurrencyCode(position, result.CurrencyCode, Default)) return false;
  if (ProductVariant == 1) {
    // All twenty entries are cleared even when one clearing write fails.
    bool cleared = true;
    for (Integer index = 0; index < 20; ++index)
      if (!WriteLegacyWeight(position, index, 0)) cleared = false;
    if (!cleared) return false;
    for (Integer i = 1; i <= VantorelSlotCount; ++i) {
      if (result.Value[i] == 0) continue;
      Integer index = DenominationToSlot(result.Value[i], result.SlotType[i]);
      if (index < 0 || !WriteLegacyWeight(position, index, result.Weight[i])) return false;
    }
    return true;
  }
  if (ProductVariant == 2) {
    for (Integer i = 1; i <= VantorelSlotCount; ++i) {
      // Below version 4 the scale holds 31 slots; a full table is complete.
      if (i == 32 && ProtocolVersion < 4) return true;
      const bool package = result.SlotType[i] == 2 || result.SlotType[i] == 3;
      if (!WriteSlotValue(position, i, result.Value[i], package, result.SeriesNumber[i], Default)) return false;
      if (result.Value[i] == 0) return true;
      if (!WriteSlotWeight(position, i, result.Weight[i], result.SlotType[i], Default)) return false;
      if (ProtocolVersion >= 4 && !WriteSlotGroupCount(position, i, result.GroupCount[i], Default)) return false;
    }
    return true;
  }
  return false;
}

void InitializeVantorel7350(THidDeviceOpener opener) {
  if (!Vantorel7350) Vantorel7350 = new TVantorel7350(HIDDevices, std::move(opener));
}

void FinalizeVantorel7350() {
  delete Vantorel7350;
  Vantorel7350 = nullptr;
}

}  // namespace px
