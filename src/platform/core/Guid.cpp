#include "platform/core/Guid.h"

#include <cstdio>
#include <cstring>
#include <sys/random.h>

#include "platform/core/Exceptions.h"

namespace px {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool parseHex(std::string_view text, size_t pos, size_t digits, uint64_t& value) {
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    int v = hexValue(text[pos + i]);
    if (v < 0) return false;
    value = (value << 4) | static_cast<uint64_t>(v);
  }
  return true;
}

}  // namespace

bool TGUID::TryFromString(std::string_view text, TGUID& result) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-')
    return false;
  uint64_t v;
  TGUID g;
  if (!parseHex(text, 1, 8, v)) return false;
  g.D1 = static_cast<uint32_t>(v);
  if (!parseHex(text, 10, 4, v)) return false;
  g.D2 = static_cast<uint16_t>(v);
  if (!parseHex(text, 15, 4, v)) return false;
  g.D3 = static_cast<uint16_t>(v);
  static constexpr size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!parseHex(text, bytePos[i], 2, v)) return false;
    g.D4[i] = static_cast<uint8_t>(v);
  }
  result = g;
  return true;
}

TGUID TGUID::FromString(std::string_view text) {
  TGUID g;
  if (!TryFromString(text, g)) throw EConvertError("'" + std::string(text) + "' is not a valid GUID value");
  return g;
}

std::string TGUID::ToString() const {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1, D2, D3, D4[0], D4[1],
                D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
  return buffer;
}

TGUID TGUID::Create() {
  uint8_t bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) RaiseLastOSError("getrandom");
    got += static_cast<size_t>(n);
  }
  TGUID g = FromBytes(bytes);
  g.D3 = static_cast<uint16_t>((g.D3 & 0x0FFF) | 0x4000);  // version 4
  g.D4[0] = static_cast<uint8_t>((g.D4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

std::array<uint8_t, 16> TGUID::ToBytes() const {
  std::array<uint8_t, 16> b{};
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(D1 >> (8 * i));
  for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<uint8_t>(D2 >> (8 * i));
  for (int i = 0; i < 2; ++i) b[6 + i] = static_cast<uint8_t>(D3 >> (8 * i));
  std::memcpy(b.data() + 8, D4.data(), 8);
  return b;
}

TGUID TGUID::FromBytes(const uint8_t* b) {
  TGUID g;
  g.D1 = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
  g.D2 = static_cast<uint16_t>(b[4] | b[5] << 8);
  g.D3 = static_cast<uint16_t>(b[6] | b[7] << 8);
  std::memcpy(g.D4.data(), b + 8, 8);
  return g;
}

size_t TGUIDHash::operator()(const TGUID& g) const noexcept {
  auto b = g.ToBytes();
  uint64_t a, c;
  std::memcpy(&a, b.data(), 8);
  std::memcpy(&c, b.data() + 8, 8);
  return static_cast<size_t>(a * 0x9E3779B97F4A7C15ULL ^ c);
}

}  // namespace px
