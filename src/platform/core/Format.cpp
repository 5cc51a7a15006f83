#include "platform/core/Format.h"

#include <algorithm>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumberConversion.h"

namespace px {

namespace {

using Kind = TFormatArg::Kind;

// Widths and precisions beyond this are refused rather than allocated.
constexpr long kMaxWidth = 1000000;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t countCharacters(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

// The first `count` characters of UTF-8 text.
std::string_view leadingCharacters(std::string_view text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!isContinuationByte(text[i])) {
      if (seen == count) return text.substr(0, i);
      ++seen;
    }
  }
  return text;
}

// Error messages quote at most the first 31 bytes of the format, cut at a
// character boundary.
std::string quotedFormat(std::string_view format) {
  if (format.size() <= 31) return std::string(format);
  size_t n = 31;
  while (n > 0 && isContinuationByte(format[n])) --n;
  return std::string(format.substr(0, n));
}

class Formatter {
 public:
  Formatter(std::string_view format, std::span<const TFormatArg> args, const TFormatSettings& settings)
      : format_(format), args_(args), settings_(settings) {}

  std::string Run() {
    while (pos_ < format_.size()) {
      size_t next = format_.find('%', pos_);
      if (next == std::string_view::npos) next = format_.size();
      out_.append(format_.substr(pos_, next - pos_));
      pos_ = next;
      if (pos_ < format_.size()) Specifier();
    }
    return std::move(out_);
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EConvertError("Format '" + quotedFormat(format_) + "' invalid or incompatible with argument");
  }
  [[noreturn]] void Missing() const { throw EConvertError("No argument for format '" + quotedFormat(format_) + "'"); }

  const TFormatArg& NextArg() {
    if (argIndex_ < 0 || static_cast<size_t>(argIndex_) >= args_.size()) Missing();
    return args_[static_cast<size_t>(argIndex_++)];
  }

  bool IsDigit(size_t i) const { return i < format_.size() && format_[i] >= '0' && format_[i] <= '9'; }

  // A number or "*" at the current position; false when there is neither.
  bool Number(long& value) {
    if (pos_ < format_.size() && format_[pos_] == '*') {
      ++pos_;
      const TFormatArg& arg = NextArg();
      if (arg.kind == Kind::Integer || arg.kind == Kind::Int64)
        value = static_cast<long>(std::clamp<int64_t>(arg.integer, -kMaxWidth - 1, kMaxWidth + 1));
      else if (arg.kind == Kind::Cardinal || arg.kind == Kind::UInt64)
        value = static_cast<long>(std::min<uint64_t>(arg.unsignedInteger, kMaxWidth + 1));
      else
        Invalid();
      return true;
    }
    if (!IsDigit(pos_)) return false;
    value = 0;
    while (IsDigit(pos_)) {
      value = std::min(value * 10 + (format_[pos_] - '0'), kMaxWidth + 1);
      ++pos_;
    }
    return true;
  }

  void Specifier() {
    ++pos_;  // '%'
    if (pos_ >= format_.size()) Invalid();
    if (format_[pos_] == '%') {
      out_ += '%';
      ++pos_;
      return;
    }
    // An index is a number or "*" followed by ':'.
    size_t look = pos_;
    if (look < format_.size() && format_[look] == '*')
      ++look;
    else
      while (IsDigit(look)) ++look;
    if (look > pos_ && look < format_.size() && format_[look] == ':') {
      long index = 0;
      Number(index);
      ++pos_;
      argIndex_ = index;
    }
    bool left = false;
    if (pos_ < format_.size() && format_[pos_] == '-') {
      left = true;
      ++pos_;
    }
    long width = 0;
    if (Number(width) && width < 0) {
      left = true;
      width = -width;
    }
    long precision = -1;
    if (pos_ < format_.size() && format_[pos_] == '.') {
      ++pos_;
      if (!Number(precision)) precision = 0;
      if (precision < -1) precision = -1;
    }
    if (width > kMaxWidth || precision > kMaxWidth) Invalid();
    if (pos_ >= format_.size()) Invalid();
    char type = static_cast<char>(format_[pos_] | 0x20);
    ++pos_;
    if (std::string_view("duxsfnmegp").find(type) == std::string_view::npos) Invalid();
    std::string text = Convert(type, NextArg(), precision);
    size_t chars = countCharacters(text);
    if (static_cast<size_t>(width) > chars) {
      std::string pad(static_cast<size_t>(width) - chars, ' ');
      text = left ? text + pad : pad + text;
    }
    out_ += text;
  }

  static std::string ZeroPadded(std::string digits, long precision) {
    if (precision > static_cast<long>(digits.size()))
      digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
    return digits;
  }

  std::string Convert(char type, const TFormatArg& arg, long precision) {
    const bool isSigned = arg.kind == Kind::Integer || arg.kind == Kind::Int64;
    const bool isUnsigned = arg.kind == Kind::Cardinal || arg.kind == Kind::UInt64;
    // The argument's bits as an unsigned number at the argument's width.
    auto asUnsigned = [&]() -> uint64_t {
      if (isUnsigned) return arg.unsignedInteger;
      if (arg.kind == Kind::Integer) return static_cast<uint32_t>(static_cast<int32_t>(arg.integer));
      return static_cast<uint64_t>(arg.integer);
    };
    switch (type) {
      case 'd': {
        if (isSigned) {
          uint64_t magnitude =
              arg.integer < 0 ? ~static_cast<uint64_t>(arg.integer) + 1 : static_cast<uint64_t>(arg.integer);
          return (arg.integer < 0 ? "-" : "") + ZeroPadded(std::to_string(magnitude), precision);
        }
        if (isUnsigned) return ZeroPadded(std::to_string(arg.unsignedInteger), precision);
        Invalid();
      }
      case 'u':
        if (!isSigned && !isUnsigned) Invalid();
        return ZeroPadded(std::to_string(asUnsigned()), precision);
      case 'x':
        if (!isSigned && !isUnsigned) Invalid();
        return IntToHex(asUnsigned(), static_cast<int>(std::max(precision, 0L)));
      case 'p':
        if (arg.kind != Kind::Pointer) Invalid();
        return IntToHex(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(arg.pointer)),
                        static_cast<int>(sizeof(void*) * 2));
      case 's': {
        std::string text;
        switch (arg.kind) {
          case Kind::String: text = arg.text; break;
          case Kind::UnicodeString: text = UnicodeToUtf8(arg.unicodeText); break;
          case Kind::Char: text = std::string(1, arg.character); break;
          case Kind::WideChar: text = UnicodeToUtf8(std::u16string_view(&arg.wideCharacter, 1)); break;
          default: Invalid();
        }
        if (precision >= 0) text = std::string(leadingCharacters(text, static_cast<size_t>(precision)));
        return text;
      }
      default:
        return ConvertFloat(type, arg, precision);
    }
  }

  std::string ConvertFloat(char type, const TFormatArg& arg, long precision) {
    if (arg.kind != Kind::Float && arg.kind != Kind::Currency) Invalid();
    const bool isCurrency = arg.kind == Kind::Currency;
    const double value = isCurrency ? arg.currency.ToDouble() : arg.floating;
    if (type == 'e' || type == 'g') {
      const int digits = precision < 0 ? 15 : static_cast<int>(std::clamp(precision, 1L, 18L));
      return type == 'e' ? FloatToStrF(value, ffExponent, digits, 3, settings_)
                         : FloatToStrF(value, ffGeneral, digits, 0, settings_);
    }
    const TFloatFormat format = type == 'f' ? ffFixed : type == 'n' ? ffNumber : ffCurrency;
    const int defaultDecimals = type == 'm' ? settings_.CurrencyDecimals : 2;
    const int decimals = precision < 0 ? defaultDecimals : static_cast<int>(std::min(precision, 18L));
    return isCurrency ? CurrToStrF(arg.currency, format, decimals, settings_)
                      : FloatToStrF(value, format, 18, decimals, settings_);
  }

  std::string_view format_;
  std::span<const TFormatArg> args_;
  const TFormatSettings& settings_;
  std::string out_;
  size_t pos_ = 0;
  long argIndex_ = 0;
};

}  // namespace

std::string FormatV(std::string_view format, std::span<const TFormatArg> args, const TFormatSettings& settings) {
  return Formatter(format, args, settings).Run();
}

std::string FormatV(std::string_view format, std::span<const TFormatArg> args) {
  return FormatV(format, args, FormatSettings);
}

}  // namespace px
