#pragma once
// Format: text formatting with the class library's specifiers, not printf's.
//
//   "%" [index ":"] ["-"] [width] ["." precision] type
//
// type: d (signed decimal; precision = minimum digits), u (unsigned decimal),
// x (upper-case hexadecimal), s (text; precision truncates), f (fixed), n
// (fixed with thousands separators), m (currency), e (scientific, default 15
// digits, exponent of at least 3 digits), g (general, default 15 digits), p
// (pointer). f, n default to 2 decimals, m to CurrencyDecimals. Index, width
// and precision may be "*", taken from the next argument. "%%" is a percent
// sign. A bad format, a missing argument or an argument of the wrong type
// raises EConvertError; the text is UTF-8 and widths count characters.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/core/Currency.h"
#include "platform/core/FormatSettings.h"

namespace px {

// One argument of Format, the counterpart of the class library's TVarRec.
// Text arguments are held as views: the text must outlive the FormatV call
// (Format's own arguments always do). std::string arguments pass through as
// bytes; long double is narrowed to double.
class TFormatArg {
 public:
  enum class Kind { Integer, Int64, Cardinal, UInt64, Float, Currency, String, UnicodeString, Char, WideChar,
                    Pointer, Boolean };

  template <class T>
  TFormatArg(const T& value) {  // NOLINT: implicit on purpose, built from Format's arguments
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>) {
      kind = Kind::Boolean;
      boolean = value;
    } else if constexpr (std::is_same_v<U, char>) {
      kind = Kind::Char;
      character = value;
    } else if constexpr (std::is_same_v<U, char16_t>) {
      kind = Kind::WideChar;
      wideCharacter = value;
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
      kind = sizeof(U) > 4 ? Kind::Int64 : Kind::Integer;
      integer = value;
    } else if constexpr (std::is_integral_v<U>) {
      kind = sizeof(U) > 4 ? Kind::UInt64 : Kind::Cardinal;
      unsignedInteger = value;
    } else if constexpr (std::is_floating_point_v<U>) {
      kind = Kind::Float;
      floating = static_cast<double>(value);
    } else if constexpr (std::is_same_v<U, px::Currency>) {
      kind = Kind::Currency;
      currency = value;
    } else if constexpr (std::is_null_pointer_v<U>) {
      // Before the text kinds: nullptr converts to a string_view, which would read it.
      kind = Kind::Pointer;
    } else if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
      kind = Kind::String;
      if (value) text = value;
    } else if constexpr (std::is_same_v<U, const char16_t*> || std::is_same_v<U, char16_t*>) {
      kind = Kind::UnicodeString;
      if (value) unicodeText = value;
    } else if constexpr (std::is_convertible_v<const U&, std::string_view>) {
      kind = Kind::String;
      text = value;
    } else if constexpr (std::is_convertible_v<const U&, std::u16string_view>) {
      kind = Kind::UnicodeString;
      unicodeText = value;
    } else if constexpr (std::is_pointer_v<U>) {
      kind = Kind::Pointer;
      pointer = value;
    } else {
      static_assert(!sizeof(U), "type not supported by Format");
    }
  }

  Kind kind = Kind::Integer;
  int64_t integer = 0;
  uint64_t unsignedInteger = 0;
  double floating = 0;
  px::Currency currency;
  std::string_view text;
  std::u16string_view unicodeText;
  char character = 0;
  char16_t wideCharacter = 0;
  const void* pointer = nullptr;
  bool boolean = false;
};

std::string FormatV(std::string_view format, std::span<const TFormatArg> args, const TFormatSettings& settings);
std::string FormatV(std::string_view format, std::span<const TFormatArg> args);

template <class... Args>
std::string Format(std::string_view format, const Args&... args) {
  const std::array<TFormatArg, sizeof...(Args)> list{TFormatArg(args)...};
  return FormatV(format, list, FormatSettings);
}

template <class... Args>
std::string Format(const TFormatSettings& settings, std::string_view format, const Args&... args) {
  const std::array<TFormatArg, sizeof...(Args)> list{TFormatArg(args)...};
  return FormatV(format, list, settings);
}

}  // namespace px
