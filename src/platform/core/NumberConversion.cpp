#include "platform/core/NumberConversion.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"

namespace px {

namespace {

constexpr int kMaxFloatPrecision = 18;
constexpr int kCurrPrecision = 19;
// "No limit" for the decimals of FloatToDecimal; small enough that
// exponent + decimals cannot overflow.
constexpr int kAnyDecimals = 1 << 20;

// How the digits dropped at position n compare with half a unit of the last
// kept digit: < 0 below, 0 exactly half (as far as `digits` goes), > 0 above.
int compareTailWithHalf(std::string_view digits, size_t n) {
  if (n >= digits.size()) return -1;
  if (digits[n] != '5') return digits[n] > '5' ? 1 : -1;
  for (size_t i = n + 1; i < digits.size(); ++i)
    if (digits[i] != '0') return 1;
  return 0;
}

// Keeps the first n digits of `digits` (0.digits × 10^exponent), rounded up
// by one unit when `up`, and stores the result without trailing zeros.
void storeRounded(TFloatRec& rec, std::string_view digits, int exponent, long n, bool up) {
  std::string kept(digits.substr(0, static_cast<size_t>(std::max(0L, n))));
  if (up) {
    size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0) {
      kept.insert(kept.begin(), '1');
      ++exponent;
    } else {
      ++kept[i - 1];
    }
  }
  while (!kept.empty() && kept.back() == '0') kept.pop_back();
  rec.Digits = std::move(kept);
  rec.Exponent = rec.Digits.empty() ? 0 : exponent;
  if (rec.Digits.empty()) rec.Negative = false;
}

// Scientific digits of a positive double: fills `digits` with the significant
// digits and returns the exponent of the 0.ddd form.
int scientificDigits(double value, int precision, std::string& digits) {
  char buf[800];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision);
  std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  size_t e = text.find('e');
  digits.clear();
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];
  int exp10 = 0;
  const char* expStart = text.data() + e + 1;
  if (*expStart == '+') ++expStart;
  std::from_chars(expStart, text.data() + text.size(), exp10);
  return exp10 + 1;
}

bool isBlank(char c) { return c == ' '; }

std::string zeros(long n) { return std::string(static_cast<size_t>(std::max(0L, n)), '0'); }

std::string groupThousands(const std::string& intDigits, const std::string& separator) {
  if (separator.empty() || intDigits.size() <= 3) return intDigits;
  std::string out;
  for (size_t i = 0; i < intDigits.size(); ++i) {
    out += intDigits[i];
    size_t left = intDigits.size() - 1 - i;
    if (left > 0 && left % 3 == 0) out += separator;
  }
  return out;
}

std::string exponentText(int exponent, bool plusSign, int minDigits) {
  std::string out = "E";
  if (exponent < 0)
    out += '-';
  else if (plusSign)
    out += '+';
  std::string num = std::to_string(std::abs(exponent));
  if (static_cast<int>(num.size()) < minDigits) num.insert(0, static_cast<size_t>(minDigits) - num.size(), '0');
  return out + num;
}

std::string formatGeneral(const TFloatRec& rec, int precision, int expDigits, const TFormatSettings& s) {
  if (rec.Digits.empty()) return "0";
  const std::string& d = rec.Digits;
  const long size = static_cast<long>(d.size());
  std::string out = rec.Negative ? "-" : "";
  if (rec.Exponent > precision || rec.Exponent < -3) {
    out += d[0];
    if (size > 1) out += s.DecimalSeparator + d.substr(1);
    out += exponentText(rec.Exponent - 1, false, expDigits);
  } else if (rec.Exponent <= 0) {
    out += "0" + s.DecimalSeparator + zeros(-rec.Exponent) + d;
  } else if (size <= rec.Exponent) {
    out += d + zeros(rec.Exponent - size);
  } else {
    out += d.substr(0, static_cast<size_t>(rec.Exponent)) + s.DecimalSeparator +
           d.substr(static_cast<size_t>(rec.Exponent));
  }
  return out;
}

std::string formatExponent(const TFloatRec& rec, int precision, int expDigits, const TFormatSettings& s) {
  std::string d = rec.Digits;
  d.resize(static_cast<size_t>(precision), '0');
  std::string out = rec.Negative ? "-" : "";
  out += d[0];
  if (precision > 1) out += s.DecimalSeparator + d.substr(1);
  out += exponentText(rec.Digits.empty() ? 0 : rec.Exponent - 1, true, expDigits);
  return out;
}

// Unsigned "ddd.ddd" with exactly `decimals` decimals, grouped with `thousands`.
std::string formatFixedBody(const TFloatRec& rec, int decimals, const std::string& thousands,
                            const TFormatSettings& s) {
  const std::string& d = rec.Digits;
  const long size = static_cast<long>(d.size());
  const long e = rec.Exponent;
  std::string intPart, frac;
  if (d.empty() || e <= 0) {
    intPart = "0";
    if (!d.empty()) frac = zeros(-e) + d;
  } else if (size <= e) {
    intPart = d + zeros(e - size);
  } else {
    intPart = d.substr(0, static_cast<size_t>(e));
    frac = d.substr(static_cast<size_t>(e));
  }
  frac.resize(static_cast<size_t>(decimals), '0');
  std::string out = groupThousands(intPart, thousands);
  if (decimals > 0) out += s.DecimalSeparator + frac;
  return out;
}

// Places the currency string around the unsigned amount.
std::string applyCurrency(const std::string& amount, bool negative, const TFormatSettings& s) {
  const std::string& c = s.CurrencyString;
  if (!negative) {
    switch (s.CurrencyFormat) {
      case 1: return amount + c;
      case 2: return c + " " + amount;
      case 3: return amount + " " + c;
      default: return c + amount;
    }
  }
  switch (s.NegCurrFormat) {
    case 1: return "-" + c + amount;
    case 2: return c + "-" + amount;
    case 3: return c + amount + "-";
    case 4: return "(" + amount + c + ")";
    case 5: return "-" + amount + c;
    case 6: return amount + "-" + c;
    case 7: return amount + c + "-";
    case 8: return "-" + amount + " " + c;
    case 9: return "-" + c + " " + amount;
    case 10: return amount + " " + c + "-";
    case 11: return c + " " + amount + "-";
    case 12: return c + " -" + amount;
    case 13: return amount + "- " + c;
    case 14: return "(" + c + " " + amount + ")";
    case 15: return "(" + amount + " " + c + ")";
    default: return "(" + c + amount + ")";
  }
}

// A number to be formatted: produces its decimal form for a precision and a
// number of decimals, and its plain text for the fall-back cases.
struct NumberSource {
  std::function<TFloatRec(int precision, int decimals)> decimal;
  std::function<std::string()> general;
  int sign = 0;  // -1, 0, 1
  int precision = kMaxFloatPrecision;
};

std::string floatRecToText(const NumberSource& src, TFloatFormat format, int precision, int digits,
                           const TFormatSettings& s) {
  switch (format) {
    case ffGeneral:
      return formatGeneral(src.decimal(precision, kAnyDecimals), precision, std::clamp(digits, 0, 4), s);
    case ffExponent:
      return formatExponent(src.decimal(precision, kAnyDecimals), precision, std::clamp(digits, 0, 4), s);
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      const int decimals = std::clamp(digits, 0, kMaxFloatPrecision);
      TFloatRec rec = src.decimal(precision, decimals);
      // Too many integer digits for the precision: the fixed form would
      // invent digits, so the general form is used.
      if (rec.Exponent > precision) return formatGeneral(src.decimal(precision, kAnyDecimals), precision, 0, s);
      const std::string& thousands = format == ffFixed ? std::string() : s.ThousandSeparator;
      std::string body = formatFixedBody(rec, decimals, thousands, s);
      if (format == ffCurrency) return applyCurrency(body, rec.Negative, s);
      return rec.Negative ? "-" + body : body;
    }
  }
  return src.general();
}

NumberSource doubleSource(double value, const TFormatSettings& s) {
  NumberSource src;
  src.decimal = [value](int p, int d) { return FloatToDecimal(value, p, d); };
  src.general = [value, &s] { return FloatToStrF(value, ffGeneral, 15, 0, s); };
  src.sign = value > 0 ? 1 : value < 0 ? -1 : 0;
  return src;
}

NumberSource currSource(Currency value, const TFormatSettings& s) {
  NumberSource src;
  src.decimal = [value](int p, int d) { return CurrToDecimal(value, p, d); };
  src.general = [value, &s] { return CurrToStr(value, s); };
  src.sign = value.Raw() > 0 ? 1 : value.Raw() < 0 ? -1 : 0;
  src.precision = kCurrPrecision;
  return src;
}

// ---- FormatFloat patterns ----

std::vector<std::string_view> splitSections(std::string_view pattern) {
  std::vector<std::string_view> sections;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.push_back(pattern.substr(start, i - start));
      start = i + 1;
      if (sections.size() == 3) return sections;
    }
  }
  sections.push_back(pattern.substr(start));
  return sections;
}

bool isExponentAt(std::string_view section, size_t i) {
  return (section[i] == 'E' || section[i] == 'e') && i + 1 < section.size() &&
         (section[i + 1] == '+' || section[i + 1] == '-');
}

struct SectionLayout {
  int intPlaceholders = 0;
  int firstIntZero = -1;
  int fracPlaceholders = 0;
  int lastFracZero = -1;
  bool thousands = false;
  bool scientific = false;
  int expDigits = 0;
  int MinInt() const { return firstIntZero < 0 ? 0 : intPlaceholders - firstIntZero; }
  int MinFrac() const { return lastFracZero + 1; }
  bool HasPlaceholders() const { return intPlaceholders + fracPlaceholders > 0; }
};

// Index past a quoted run that starts at i (or past the end when unclosed).
size_t skipQuoted(std::string_view section, size_t i) {
  size_t close = section.find(section[i], i + 1);
  return close == std::string_view::npos ? section.size() : close + 1;
}

SectionLayout analyzeSection(std::string_view section) {
  SectionLayout layout;
  bool point = false;
  for (size_t i = 0; i < section.size();) {
    char c = section[i];
    if (c == '"' || c == '\'') {
      i = skipQuoted(section, i);
      continue;
    }
    if (layout.scientific) {
      ++i;
      continue;
    }
    if (c == '0' || c == '#') {
      if (!point) {
        if (c == '0' && layout.firstIntZero < 0) layout.firstIntZero = layout.intPlaceholders;
        ++layout.intPlaceholders;
      } else {
        if (c == '0') layout.lastFracZero = layout.fracPlaceholders;
        ++layout.fracPlaceholders;
      }
    } else if (c == '.') {
      point = true;
    } else if (c == ',') {
      layout.thousands = true;
    } else if (isExponentAt(section, i)) {
      layout.scientific = true;
      i += 2;
      while (i < section.size() && section[i] == '0' && layout.expDigits < 4) {
        ++layout.expDigits;
        ++i;
      }
      continue;
    }
    ++i;
  }
  return layout;
}

std::string formatPattern(std::string_view pattern, const NumberSource& src, bool nonFinite,
                          const TFormatSettings& s) {
  if (pattern.empty() || nonFinite) return src.general();
  std::vector<std::string_view> sections = splitSections(pattern);
  auto sectionFor = [&](int sign) -> size_t {
    if (sign < 0 && sections.size() > 1 && !sections[1].empty()) return 1;
    if (sign == 0 && sections.size() > 2 && !sections[2].empty()) return 2;
    return 0;
  };
  size_t index = sectionFor(src.sign);
  bool minus = src.sign < 0 && index == 0;
  SectionLayout layout = analyzeSection(sections[index]);

  TFloatRec rec;
  if (layout.HasPlaceholders()) {
    if (layout.scientific) {
      rec = src.decimal(std::clamp(layout.intPlaceholders + layout.fracPlaceholders, 1, src.precision),
                        kAnyDecimals);
    } else {
      rec = src.decimal(src.precision, std::min(layout.fracPlaceholders, kMaxFloatPrecision));
      if (rec.Exponent > kMaxFloatPrecision) return src.general();
    }
    // A value that rounds to zero is shown as zero.
    if (rec.Digits.empty() && src.sign != 0) {
      size_t zeroIndex = sectionFor(0);
      minus = false;
      if (zeroIndex != index) {
        index = zeroIndex;
        layout = analyzeSection(sections[index]);
      }
    }
  }

  // Digits of the integer part (most significant first) and of the fraction.
  std::string intDigits, fracDigits;
  int exponent = 0;
  const std::string& d = rec.Digits;
  if (layout.scientific) {
    if (d.empty()) {
      intDigits = zeros(layout.MinInt());
      if (intDigits.empty() && layout.intPlaceholders > 0) intDigits = "0";
    } else {
      std::string all = d;
      size_t intCount = static_cast<size_t>(layout.intPlaceholders);
      if (all.size() < intCount) all.resize(intCount, '0');
      intDigits = all.substr(0, intCount);
      fracDigits = all.substr(intCount);
      exponent = rec.Exponent - layout.intPlaceholders;
    }
  } else if (!d.empty()) {
    const long e = rec.Exponent;
    const long size = static_cast<long>(d.size());
    if (e <= 0) {
      fracDigits = zeros(-e) + d;
    } else if (size <= e) {
      intDigits = d + zeros(e - size);
    } else {
      intDigits = d.substr(0, static_cast<size_t>(e));
      fracDigits = d.substr(static_cast<size_t>(e));
    }
  }
  while (!fracDigits.empty() && fracDigits.back() == '0') fracDigits.pop_back();
  if (static_cast<int>(intDigits.size()) < layout.MinInt())
    intDigits.insert(0, static_cast<size_t>(layout.MinInt()) - intDigits.size(), '0');
  if (static_cast<int>(fracDigits.size()) < layout.MinFrac())
    fracDigits.resize(static_cast<size_t>(layout.MinFrac()), '0');

  const std::string_view section = sections[index];
  std::string out = minus ? "-" : "";
  const long intCount = static_cast<long>(intDigits.size());
  // Emits the integer digits at positions from..to-1 counted from the units
  // (position 0) leftwards, highest first.
  auto emitInt = [&](long fromPos, long toPos) {
    for (long q = toPos - 1; q >= fromPos; --q) {
      if (q >= intCount) continue;
      out += intDigits[static_cast<size_t>(intCount - 1 - q)];
      if (layout.thousands && q > 0 && q % 3 == 0) out += s.ThousandSeparator;
    }
  };
  int intSeen = 0;
  size_t fracSeen = 0;
  bool point = false;
  bool pastExponent = false;
  for (size_t i = 0; i < section.size();) {
    char c = section[i];
    if (c == '"' || c == '\'') {
      size_t close = section.find(c, i + 1);
      if (close == std::string_view::npos) close = section.size();
      out.append(section.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    if (!pastExponent && (c == '0' || c == '#')) {
      if (!point) {
        long pos = layout.intPlaceholders - 1 - intSeen;
        emitInt(pos, intSeen == 0 ? std::max(intCount, pos + 1) : pos + 1);
        ++intSeen;
      } else {
        if (fracSeen < fracDigits.size()) out += fracDigits[fracSeen];
        ++fracSeen;
      }
    } else if (!pastExponent && c == '.' && !point) {
      point = true;
      if (layout.intPlaceholders == 0) emitInt(0, intCount);
      if (!fracDigits.empty()) out += s.DecimalSeparator;
    } else if (!pastExponent && c == ',') {
      // Only switches grouping on.
    } else if (!pastExponent && layout.scientific && isExponentAt(section, i)) {
      pastExponent = true;
      if (!point && layout.intPlaceholders == 0) emitInt(0, intCount);
      out += c;
      if (exponent < 0)
        out += '-';
      else if (section[i + 1] == '+')
        out += '+';
      std::string num = std::to_string(std::abs(exponent));
      if (static_cast<int>(num.size()) < layout.expDigits)
        num.insert(0, static_cast<size_t>(layout.expDigits) - num.size(), '0');
      out += num;
      i += 2;
      while (i < section.size() && section[i] == '0') ++i;
      continue;
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

// ---- parsing ----

// Parses an integer the way the class library's Val does: leading spaces,
// sign, decimal or "$"/"0x" hexadecimal, nothing after the digits.
// Hexadecimal may fill the unsigned range of `bits` and wraps into the sign.
bool parseInteger(std::string_view text, int bits, int64_t& result) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  const uint64_t unsignedMax = bits == 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1;
  const uint64_t limit = hex ? unsignedMax : (negative ? (unsignedMax >> 1) + 1 : unsignedMax >> 1);
  const uint64_t base = hex ? 16 : 10;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    uint64_t digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint64_t>(c - '0');
    else if (hex && c >= 'a' && c <= 'f')
      digit = static_cast<uint64_t>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F')
      digit = static_cast<uint64_t>(c - 'A' + 10);
    else
      return false;
    if (magnitude > (limit - digit) / base) return false;
    magnitude = magnitude * base + digit;
  }
  uint64_t bitsValue = negative ? ~magnitude + 1 : magnitude;
  if (bits == 32) {
    result = static_cast<int32_t>(static_cast<uint32_t>(bitsValue));
  } else {
    result = static_cast<int64_t>(bitsValue);
  }
  return true;
}

// The parts of a decimal number in the float syntax.
struct DecimalText {
  bool negative = false;
  std::string digits;  // integer and fraction digits together, as written
  int fracCount = 0;   // how many of them follow the separator
  long exponent = 0;   // saturated
  enum { Number, Infinity, NotANumber } kind = Number;
};

bool parseDecimal(std::string_view text, const TFormatSettings& s, DecimalText& out) {
  size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  text = text.substr(b, e - b);
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.negative = text[i++] == '-';
  std::string_view rest = text.substr(i);
  if (rest.size() == 3 && SameText(rest, "INF")) {
    out.kind = DecimalText::Infinity;
    return true;
  }
  if (rest.size() == 3 && SameText(rest, "NAN") && i == 0) {
    out.kind = DecimalText::NotANumber;
    return true;
  }
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') out.digits += text[i++];
  const std::string& sep = s.DecimalSeparator;
  if (!sep.empty() && text.substr(i, sep.size()) == sep) {
    i += sep.size();
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      out.digits += text[i++];
      ++out.fracCount;
    }
  }
  if (out.digits.empty()) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negExp = text[i++] == '-';
    if (i >= text.size()) return false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      out.exponent = std::min(out.exponent * 10 + (text[i] - '0'), 1000000L);
    if (negExp) out.exponent = -out.exponent;
  }
  return i == text.size();
}

bool decimalToDouble(const DecimalText& dec, double& value) {
  if (dec.kind == DecimalText::Infinity) {
    value = dec.negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  if (dec.kind == DecimalText::NotANumber) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  size_t firstNonZero = dec.digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) {
    value = dec.negative ? -0.0 : 0.0;
    return true;
  }
  std::string digits = dec.digits.substr(firstNonZero);
  // value = 0.digits × 10^magnitude
  long magnitude = static_cast<long>(dec.digits.size() - firstNonZero) - dec.fracCount + dec.exponent;
  std::string text = (dec.negative ? "-0." : "0.") + digits + "e" + std::to_string(magnitude);
  double parsed = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return false;
    parsed = dec.negative ? -0.0 : 0.0;
  } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    return false;
  }
  value = parsed;
  return true;
}

bool decimalToCurrency(const DecimalText& dec, Currency& value) {
  if (dec.kind != DecimalText::Number) return false;
  size_t firstNonZero = dec.digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) {
    value = Currency();
    return true;
  }
  std::string digits = dec.digits.substr(firstNonZero);
  // raw = digits × 10^scale
  const long scale = 4 - dec.fracCount + dec.exponent;
  const long size = static_cast<long>(digits.size());
  if (size + scale > 19) return false;
  const long keep = size + scale;
  uint64_t raw = 0;
  for (long k = 0; k < std::max(keep, 0L); ++k) {
    uint64_t digit = k < size ? static_cast<uint64_t>(digits[static_cast<size_t>(k)] - '0') : 0;
    if (raw > (UINT64_MAX - digit) / 10) return false;
    raw = raw * 10 + digit;
  }
  if (keep >= 0 && keep < size) {
    int tail = compareTailWithHalf(digits, static_cast<size_t>(keep));
    if (tail > 0 || (tail == 0 && (raw & 1) != 0)) ++raw;
  }
  const uint64_t limit = dec.negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (raw > limit) return false;
  value = Currency::FromRaw(dec.negative ? static_cast<int64_t>(~raw + 1) : static_cast<int64_t>(raw));
  return true;
}

[[noreturn]] void raiseInvalidInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

[[noreturn]] void raiseInvalidFloat(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

// The result of a TryStrTo... function, else its conversion error.
template <class T, class TryFn>
T valueOrRaise(std::string_view text, TryFn tryConvert, void (*raise)(std::string_view)) {
  T value{};
  if (!tryConvert(text, value)) raise(text);
  return value;
}

template <class T, class TryFn>
T valueOr(std::string_view text, T defaultValue, TryFn tryConvert) {
  T value{};
  return tryConvert(text, value) ? value : defaultValue;
}

template <class T>
auto withSettings(bool (*tryConvert)(std::string_view, T&, const TFormatSettings&), const TFormatSettings& s) {
  return [tryConvert, &s](std::string_view text, T& value) { return tryConvert(text, value, s); };
}

std::string hexDigits(uint64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kHex[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, static_cast<size_t>(digits) - out.size(), '0');
  return out;
}

}  // namespace

// ---- decimal forms ----

TFloatRec FloatToDecimal(double value, int precision, int decimals) {
  TFloatRec rec;
  if (std::isnan(value)) {
    rec.Nan = true;
    return rec;
  }
  rec.Negative = std::signbit(value);
  if (std::isinf(value)) {
    rec.Infinite = true;
    return rec;
  }
  if (value == 0) {
    rec.Negative = false;
    return rec;
  }
  precision = std::clamp(precision, 1, kMaxFloatPrecision);
  decimals = std::clamp(decimals, -kAnyDecimals, kAnyDecimals);
  const double magnitude = std::fabs(value);
  // Thirty digits settle the rounding unless the dropped part reads as an
  // exact half; then the full expansion of the binary value decides.
  std::string digits;
  int exponent = scientificDigits(magnitude, 29, digits);
  const long keep = std::min<long>(precision, static_cast<long>(exponent) + decimals);
  if (keep < 0) {
    storeRounded(rec, "", 0, 0, false);
    return rec;
  }
  int tail = compareTailWithHalf(digits, static_cast<size_t>(keep));
  if (tail == 0) {
    exponent = scientificDigits(magnitude, 780, digits);
    tail = compareTailWithHalf(digits, static_cast<size_t>(keep));
  }
  storeRounded(rec, digits, exponent, keep, tail >= 0);
  return rec;
}

TFloatRec CurrToDecimal(Currency value, int precision, int decimals) {
  TFloatRec rec;
  const int64_t raw = value.Raw();
  if (raw == 0) return rec;
  rec.Negative = raw < 0;
  const uint64_t magnitude = raw < 0 ? ~static_cast<uint64_t>(raw) + 1 : static_cast<uint64_t>(raw);
  std::string digits = std::to_string(magnitude);
  const int exponent = static_cast<int>(digits.size()) - 4;
  precision = std::clamp(precision, 1, kCurrPrecision);
  decimals = std::clamp(decimals, -kAnyDecimals, kAnyDecimals);
  const long keep = std::min<long>(precision, static_cast<long>(exponent) + decimals);
  if (keep < 0) {
    storeRounded(rec, "", 0, 0, false);
    return rec;
  }
  storeRounded(rec, digits, exponent, keep, compareTailWithHalf(digits, static_cast<size_t>(keep)) >= 0);
  return rec;
}

// ---- integers ----

std::string IntToStr(int32_t value) { return std::to_string(value); }
std::string IntToStr(int64_t value) { return std::to_string(value); }
std::string UIntToStr(uint32_t value) { return std::to_string(value); }
std::string UIntToStr(uint64_t value) { return std::to_string(value); }

std::string IntToHex(int32_t value, int digits) { return hexDigits(static_cast<uint32_t>(value), digits); }
std::string IntToHex(int64_t value, int digits) { return hexDigits(static_cast<uint64_t>(value), digits); }
std::string IntToHex(uint32_t value, int digits) { return hexDigits(value, digits); }
std::string IntToHex(uint64_t value, int digits) { return hexDigits(value, digits); }

bool TryStrToInt(std::string_view text, int32_t& value) {
  int64_t v;
  if (!parseInteger(text, 32, v)) return false;
  value = static_cast<int32_t>(v);
  return true;
}

bool TryStrToInt64(std::string_view text, int64_t& value) { return parseInteger(text, 64, value); }

int32_t StrToInt(std::string_view text) { return valueOrRaise<int32_t>(text, TryStrToInt, raiseInvalidInteger); }
int64_t StrToInt64(std::string_view text) { return valueOrRaise<int64_t>(text, TryStrToInt64, raiseInvalidInteger); }
int32_t StrToIntDef(std::string_view text, int32_t defaultValue) { return valueOr(text, defaultValue, TryStrToInt); }
int64_t StrToInt64Def(std::string_view text, int64_t defaultValue) {
  return valueOr(text, defaultValue, TryStrToInt64);
}

// ---- floating point ----

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
  DecimalText dec;
  return parseDecimal(text, settings, dec) && decimalToDouble(dec, value);
}
bool TryStrToCurr(std::string_view text, Currency& value, const TFormatSettings& settings) {
  DecimalText dec;
  return parseDecimal(text, settings, dec) && decimalToCurrency(dec, value);
}
bool TryStrToFloat(std::string_view text, double& value) { return TryStrToFloat(text, value, FormatSettings); }
bool TryStrToCurr(std::string_view text, Currency& value) { return TryStrToCurr(text, value, FormatSettings); }

double StrToFloat(std::string_view text, const TFormatSettings& settings) {
  return valueOrRaise<double>(text, withSettings<double>(TryStrToFloat, settings), raiseInvalidFloat);
}
Currency StrToCurr(std::string_view text, const TFormatSettings& settings) {
  return valueOrRaise<Currency>(text, withSettings<Currency>(TryStrToCurr, settings), raiseInvalidFloat);
}
double StrToFloatDef(std::string_view text, double defaultValue, const TFormatSettings& settings) {
  return valueOr(text, defaultValue, withSettings<double>(TryStrToFloat, settings));
}
Currency StrToCurrDef(std::string_view text, Currency defaultValue, const TFormatSettings& settings) {
  return valueOr(text, defaultValue, withSettings<Currency>(TryStrToCurr, settings));
}
double StrToFloat(std::string_view text) { return StrToFloat(text, FormatSettings); }
Currency StrToCurr(std::string_view text) { return StrToCurr(text, FormatSettings); }
double StrToFloatDef(std::string_view text, double defaultValue) {
  return StrToFloatDef(text, defaultValue, FormatSettings);
}
Currency StrToCurrDef(std::string_view text, Currency defaultValue) {
  return StrToCurrDef(text, defaultValue, FormatSettings);
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return floatRecToText(doubleSource(value, settings), format, std::clamp(precision, 1, kMaxFloatPrecision), digits,
                        settings);
}
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings);
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
  return FloatToStrF(value, ffGeneral, 15, 0, settings);
}
std::string FloatToStr(double value) { return FloatToStr(value, FormatSettings); }

std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& settings) {
  return floatRecToText(currSource(value, settings), format, format == ffExponent ? 15 : kCurrPrecision, digits,
                        settings);
}
std::string CurrToStrF(Currency value, TFloatFormat format, int digits) {
  return CurrToStrF(value, format, digits, FormatSettings);
}

std::string CurrToStr(Currency value, const TFormatSettings& settings) {
  return formatGeneral(CurrToDecimal(value, kCurrPrecision, kAnyDecimals), kCurrPrecision, 0, settings);
}
std::string CurrToStr(Currency value) { return CurrToStr(value, FormatSettings); }

std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& settings) {
  return formatPattern(pattern, doubleSource(value, settings), !std::isfinite(value), settings);
}
std::string FormatFloat(std::string_view pattern, double value) { return FormatFloat(pattern, value, FormatSettings); }

std::string FormatCurr(std::string_view pattern, Currency value, const TFormatSettings& settings) {
  return formatPattern(pattern, currSource(value, settings), false, settings);
}
std::string FormatCurr(std::string_view pattern, Currency value) { return FormatCurr(pattern, value, FormatSettings); }

std::string InvariantFloatToStr(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // A double's exact decimal expansion ends within 1074 decimals; longer
  // requests only add zeros, which a shorter one pads below.
  const int shown = std::min(decimals, 1074);
  std::string out(shown < 0 ? 32 : 312 + static_cast<size_t>(shown), '\0');
  char* const first = out.data();
  auto res = shown < 0 ? std::to_chars(first, first + out.size(), value)
                       : std::to_chars(first, first + out.size(), value, std::chars_format::fixed, shown);
  out.resize(static_cast<size_t>(res.ptr - first));
  if (decimals > shown) out.append(static_cast<size_t>(decimals - shown), '0');
  return out;
}

bool TryInvariantStrToFloat(std::string_view text, double& value) {
  static const TFormatSettings pointSettings = [] {
    TFormatSettings s;
    s.DecimalSeparator = ".";
    return s;
  }();
  if (text.empty() || isBlank(text.front()) || isBlank(text.back())) return false;
  DecimalText dec;
  if (!parseDecimal(text, pointSettings, dec) || dec.kind != DecimalText::Number) return false;
  return decimalToDouble(dec, value);
}

}  // namespace px
