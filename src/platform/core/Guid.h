#pragma once
// TGUID: 16 bytes laid out as the Windows GUID record (D1, D2, D3 in the
// machine's little-endian order, then eight bytes). The text form is the
// 38-character braced upper-case form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace px {

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  std::array<uint8_t, 8> D4{};

  auto operator<=>(const TGUID&) const = default;
  bool IsEmpty() const { return *this == TGUID{}; }

  // Raises EConvertError "'<text>' is not a valid GUID value" for bad text.
  static TGUID FromString(std::string_view text);
  static bool TryFromString(std::string_view text, TGUID& result);
  std::string ToString() const;
  // A random (version 4) GUID from the system's random source.
  static TGUID Create();

  // The 16 stored bytes, in memory order.
  std::array<uint8_t, 16> ToBytes() const;
  static TGUID FromBytes(const uint8_t* bytes);
};
static_assert(sizeof(TGUID) == 16);

inline TGUID StringToGUID(std::string_view text) { return TGUID::FromString(text); }
inline std::string GUIDToString(const TGUID& guid) { return guid.ToString(); }

struct TGUIDHash {
  size_t operator()(const TGUID& g) const noexcept;
};

}  // namespace px
