// Feeds arbitrary input reports to the scale connection as the scale's
// replies, through every read operation, and checks that what it accepts
// stays inside the result record's ranges.
//
// Byte 0: bit 0 picks product id 1 or 2; bit 1 makes replies well-formed
// (command and CRC right, the echo taken from a control byte) so that the
// interpretation of reply contents is reached; without it every reply is
// raw input. An exhausted input fails the device at once.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "device/UnitVantorel7350.h"

namespace {

using namespace px;

class FuzzDevice : public IHidDevice {
 public:
  FuzzDevice(const uint8_t* data, size_t size, bool wellFormed) : data_(data), size_(size), wellFormed_(wellFormed) {}
  int Descriptor() const override { return -1; }
  ptrdiff_t Write(const void* data, size_t size) override {
    if (size != 9) return -1;
    std::memcpy(request_, data, 9);
    pending_ = true;
    return 9;
  }
  ptrdiff_t Read(void* buffer, size_t size) override {
    if (!pending_) return 0;  // nothing waits before a request
    pending_ = false;
    Byte reply[9] = {};
    size_t n;
    if (wellFormed_) {
      if (size_ < 6) return -1;
      const Byte control = data_[0];
      reply[1] = request_[1];
      std::memcpy(reply + 2, data_ + 1, 5);
      const size_t echo = control & 7;
      for (size_t i = 0; i < echo && i < 5; ++i) reply[2 + i] = request_[2 + i];
      Word crc = CRC16XModem(reply + 1, 6);
      reply[7] = static_cast<Byte>(crc >> 8);
      reply[8] = static_cast<Byte>(crc ^ ((control & 8) ? 1 : 0));
      data_ += 6;
      size_ -= 6;
      n = 8;
    } else {
      if (size_ < 1) return -1;
      n = data_[0] % 10;
      if (size_ < 1 + n) return -1;
      std::memcpy(reply + 1, data_ + 1, n > 8 ? 8 : n);
      data_ += 1 + n;
      size_ -= 1 + n;
      if (n > 8) n = 8;
    }
    if (n > size) n = size;
    if (n == 0) return -1;
    std::memcpy(buffer, reply + 1, n);
    return static_cast<ptrdiff_t>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool wellFormed_;
  Byte request_[9] = {};
  bool pending_ = false;
};

void check(const TVantorelResult& r) {
  if (r.CurrencyCode.size() != 3) __builtin_trap();
  for (char c : r.CurrencyCode)
    if (!((c >= 'A' && c <= 'Z') || c == '?' || c == ' ')) __builtin_trap();
  for (int i = 1; i <= VantorelSlotCount; ++i) {
    if (r.SlotType[i] > 3 || r.SeriesNumber[i] > 15) __builtin_trap();
    if (r.Weight[i] < 0 || r.Weight[i] > 0x7FFFFF) __builtin_trap();
  }
  if (r.HeaderValue < 0 || r.HeaderValue > 0xFFFFFFFFFFLL) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  auto device = std::make_shared<std::unique_ptr<IHidDevice>>(std::make_unique<FuzzDevice>(data + 1, size - 1, mode & 2));
  TVantorel7350 scale(nullptr, [device](const std::string&) { return std::move(*device); });
  scale.ProductVariant = (mode & 1) ? 2 : 1;
  scale.Connect(false);
  if (!scale.Connected) __builtin_trap();
  TVantorelResult r;
  r.CurrencyCode = "   ";
  if (scale.ReadResult(r)) check(r);
  for (Byte p = 1; p <= 3; ++p) {
    TVantorelResult c;
    if (scale.ReadCurrency(p, c)) check(c);
  }
  AnsiString code;
  scale.ReadCurrencyCode(0, code);
  if (code.size() != 3) __builtin_trap();
  return 0;
}
