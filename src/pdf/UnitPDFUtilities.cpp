#include "pdf/UnitPDFUtilities.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "platform/core/CodePages.h"

namespace px {
namespace {

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool isLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int hexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int32_t size32(const TPDFBuffer& data) {
  return data.size() > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(data.size());
}

bool atEnd(const TPDFBuffer& data, int32_t pos) { return pos < 0 || pos >= size32(data); }

void skipIf(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  if (skipAfter) SkipWhiteSpace(data, pos);
}

std::unique_ptr<TPDFObject> parseObject(const TPDFBuffer& data, int32_t& pos, bool skipAfter, int depth,
                                        bool content);

// The fraction after the ".", the first digit worth 0.1 and each further one
// a tenth of the previous.
double eatFraction(const TPDFBuffer& data, int32_t& pos) {
  double value = 0, place = 0.1;
  while (!atEnd(data, pos) && isDigit(data[pos])) {
    value += (data[pos] - '0') * place;
    place /= 10;
    ++pos;
  }
  return value;
}

std::unique_ptr<TPDFArray> parseArray(const TPDFBuffer& data, int32_t& pos, bool skipAfter, int depth) {
  if (depth >= MaxPDFNestingDepth) RaisePDFReadError(pos, "Objects nested too deeply");
  EatChar(data, pos, '[');
  SkipWhiteSpace(data, pos);
  auto array = std::make_unique<TPDFArray>();
  while (!atEnd(data, pos) && data[pos] != ']') array->Add(parseObject(data, pos, true, depth + 1, false));
  EatChar(data, pos, ']');
  skipIf(data, pos, skipAfter);
  return array;
}

// The permission bits of an Encrypt dictionary (/P) are a 32-bit pattern
// that some writers give as an unsigned number (4294967292 for -4). Such a
// value, a plain integer in 2^31..2^32-1 that does not start a reference,
// reads as the signed integer with the same bits; the key derivation uses
// exactly these bits. Anything else is left to the ordinary lexer, so every
// other out-of-range integer still fails.
std::unique_ptr<TPDFInteger> tryEatUnsignedBits(const TPDFBuffer& data, int32_t& pos) {
  int32_t p = pos;
  uint64_t value = 0;
  while (!atEnd(data, p) && isDigit(data[p]) && value <= UINT32_MAX) value = value * 10 + (data[p++] - '0');
  if (value <= static_cast<uint64_t>(INT32_MAX) || value > UINT32_MAX) return nullptr;
  if (!atEnd(data, p) && !IsPDFDelimiter(data[p])) return nullptr;
  int32_t next = p;
  SkipWhiteSpace(data, next);
  if (!atEnd(data, next) && isDigit(data[next])) return nullptr;
  pos = next;
  return std::make_unique<TPDFInteger>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

std::unique_ptr<TPDFDictionary> parseDictionary(const TPDFBuffer& data, int32_t& pos, bool skipAfter, int depth) {
  if (depth >= MaxPDFNestingDepth) RaisePDFReadError(pos, "Objects nested too deeply");
  EatLiteral(data, pos, "<<", true);
  auto dictionary = std::make_unique<TPDFDictionary>();
  while (!atEnd(data, pos) && data[pos] == '/') {
    std::string key = EatName(data, pos, true);
    std::unique_ptr<TPDFObject> value;
    if (key == "P") value = tryEatUnsignedBits(data, pos);
    if (!value) value = parseObject(data, pos, true, depth + 1, false);
    dictionary->Add(std::move(key), std::move(value));
  }
  EatLiteral(data, pos, ">>", skipAfter);
  return dictionary;
}

std::unique_ptr<TPDFObject> parseObject(const TPDFBuffer& data, int32_t& pos, bool skipAfter, int depth,
                                        bool content) {
  for (;;) {
    if (atEnd(data, pos)) RaisePDFReadError(pos, "End of file reached");
    uint8_t c = data[pos];
    // White space and comments may stand before any object: offsets in
    // object streams, for one, often point at the line break or the comment
    // line before their object.
    if (IsPDFWhiteSpace(c) || c == '%') {
      SkipWhiteSpace(data, pos);
      continue;
    }
    if (content && (c == '"' || c == '\'' || isLetter(c))) return ParseCommand(data, pos, skipAfter);
    switch (c) {
      case '(': return ParseLiteralString(data, pos, skipAfter);
      case '+':
      case '-': return ParseSignedNumber(data, pos, skipAfter);
      case '.':
        if (pos + 1 < size32(data) && isDigit(data[pos + 1])) return ParseFraction(data, pos, skipAfter);
        RaisePDFReadError(pos, "Unknown token \".\"");
      case '/': return ParseName(data, pos, skipAfter);
      case '<':
        if (pos + 1 < size32(data) && data[pos + 1] == '<') return parseDictionary(data, pos, skipAfter, depth);
        return ParseHexString(data, pos, skipAfter);
      case '[': return parseArray(data, pos, skipAfter, depth);
      case 'f':
        EatLiteral(data, pos, "false", skipAfter);
        return std::make_unique<TPDFBoolean>(false);
      case 'n':
        EatLiteral(data, pos, "null", skipAfter);
        return std::make_unique<TPDFNull>();
      case 't':
        EatLiteral(data, pos, "true", skipAfter);
        return std::make_unique<TPDFBoolean>(true);
      default:
        if (isDigit(c)) return ParseNumberOrReference(data, pos, skipAfter);
        RaisePDFReadError(pos, "Unknown token");
    }
  }
}

}  // namespace

void RaisePDFReadError(int32_t position, std::string_view technical) {
  std::string detail(technical);
  if (position != 0) {
    detail += " at position " + std::to_string(position) + ".";
    size_t first = detail.find_first_not_of(' ');
    size_t last = detail.find_last_not_of(' ');
    detail = first == std::string::npos ? std::string() : detail.substr(first, last - first + 1);
  }
  std::string message = "TPDFCollection: Error reading file.";
  if (!detail.empty()) message += "\r\n\r\nTechnical: " + detail;
  throw Exception(message);
}

bool IsPDFWhiteSpace(uint8_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

bool IsPDFDelimiter(uint8_t c) {
  switch (c) {
    case '%': case '(': case ')': case '/': case '<': case '>': case '[': case ']': case '{': case '}': return true;
    default: return IsPDFWhiteSpace(c);
  }
}

void SkipWhiteSpace(const TPDFBuffer& data, int32_t& pos) {
  if (pos < 0) return;
  const int32_t size = size32(data);
  while (pos < size) {
    uint8_t c = data[pos];
    if (IsPDFWhiteSpace(c)) {
      ++pos;
    } else if (c == '%') {
      while (pos < size && data[pos] != 10 && data[pos] != 13) ++pos;
    } else {
      break;
    }
  }
}

void SkipWhiteSpaceAndComments(const TPDFBuffer& data, int32_t& pos) { SkipWhiteSpace(data, pos); }

void ExpectLiteral(const TPDFBuffer& data, int32_t pos, std::string_view literal) {
  if (pos < 0 || static_cast<int64_t>(pos) + static_cast<int64_t>(literal.size()) > size32(data))
    RaisePDFReadError(pos, "Expecting literal (1)");
  for (size_t i = 0; i < literal.size(); ++i)
    if (data[pos + i] != static_cast<uint8_t>(literal[i])) RaisePDFReadError(pos, "Expecting literal (2)");
}

void EatLiteral(const TPDFBuffer& data, int32_t& pos, std::string_view literal, bool skipAfter) {
  ExpectLiteral(data, pos, literal);
  pos += static_cast<int32_t>(literal.size());
  skipIf(data, pos, skipAfter);
}

bool TryEatLiteral(const TPDFBuffer& data, int32_t& pos, std::string_view literal, bool skipAfter) {
  if (pos < 0 || static_cast<int64_t>(pos) + static_cast<int64_t>(literal.size()) > size32(data)) return false;
  for (size_t i = 0; i < literal.size(); ++i)
    if (data[pos + i] != static_cast<uint8_t>(literal[i])) return false;
  pos += static_cast<int32_t>(literal.size());
  skipIf(data, pos, skipAfter);
  return true;
}

void EatChar(const TPDFBuffer& data, int32_t& pos, char c) {
  if (atEnd(data, pos) || data[pos] != static_cast<uint8_t>(c)) RaisePDFReadError(pos);
  ++pos;
}

namespace {

// True when the digits at pos (possibly none) are the whole part of a real.
bool realFollows(const TPDFBuffer& data, int32_t pos) {
  while (!atEnd(data, pos) && isDigit(data[pos])) ++pos;
  return !atEnd(data, pos) && data[pos] == '.';
}

// Reads "digits.digits" at pos. The whole part is read as a double, not
// through EatInteger, because a real may lie far beyond the integer range
// (the writer prints such values with ".0").
double eatReal(const TPDFBuffer& data, int32_t& pos) {
  double whole = 0;
  while (!atEnd(data, pos) && isDigit(data[pos])) whole = whole * 10 + (data[pos++] - '0');
  ++pos;  // the '.'
  return whole + eatFraction(data, pos);
}

}  // namespace

int32_t EatInteger(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  if (atEnd(data, pos) || !isDigit(data[pos])) RaisePDFReadError(pos, "Expecting integer");
  int64_t value = 0;
  while (!atEnd(data, pos) && isDigit(data[pos])) {
    value = value * 10 + (data[pos] - '0');
    if (value > INT32_MAX) throw EIntOverflow("Integer overflow");
    ++pos;
  }
  skipIf(data, pos, skipAfter);
  return static_cast<int32_t>(value);
}

std::unique_ptr<TPDFObject> ParseObject(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  return parseObject(data, pos, skipAfter, 0, false);
}

std::unique_ptr<TPDFObject> ParseContentToken(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  return parseObject(data, pos, skipAfter, 0, true);
}

std::unique_ptr<TPDFDictionary> ParseDictionary(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  return parseDictionary(data, pos, skipAfter, 0);
}

std::unique_ptr<TPDFArray> ParseArray(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  return parseArray(data, pos, skipAfter, 0);
}

std::unique_ptr<TPDFName> ParseName(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  return std::make_unique<TPDFName>(EatName(data, pos, skipAfter));
}

std::unique_ptr<TPDFString> ParseLiteralString(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  return std::make_unique<TPDFString>(EatLiteralString(data, pos, skipAfter));
}

std::unique_ptr<TPDFHexString> ParseHexString(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  EatChar(data, pos, '<');
  std::string bytes;
  for (;;) {
    while (!atEnd(data, pos) && IsPDFWhiteSpace(data[pos])) ++pos;
    if (atEnd(data, pos)) RaisePDFReadError(pos, "Unterminated hex string (1)");
    if (data[pos] == '>') {
      ++pos;
      break;
    }
    int high = hexValue(data[pos]);
    if (high < 0) RaisePDFReadError(pos, "Not a hex digit 1");
    ++pos;
    while (!atEnd(data, pos) && IsPDFWhiteSpace(data[pos])) ++pos;
    if (atEnd(data, pos)) RaisePDFReadError(pos, "Unterminated hex string (2)");
    if (data[pos] == '>') {
      bytes += static_cast<char>(high * 16);
      ++pos;
      break;
    }
    int low = hexValue(data[pos]);
    if (low < 0) RaisePDFReadError(pos, "Not a hex digit 2");
    ++pos;
    bytes += static_cast<char>(high * 16 + low);
  }
  skipIf(data, pos, skipAfter);
  return std::make_unique<TPDFHexString>(std::move(bytes));
}

std::unique_ptr<TPDFObject> ParseSignedNumber(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  bool negative = false;
  if (!atEnd(data, pos) && (data[pos] == '+' || data[pos] == '-')) {
    negative = data[pos] == '-';
    ++pos;
  }
  if (realFollows(data, pos)) {
    double value = eatReal(data, pos);
    skipIf(data, pos, skipAfter);
    return std::make_unique<TPDFReal>(static_cast<float>(negative ? -value : value));
  }
  int32_t whole = EatInteger(data, pos, false);
  skipIf(data, pos, skipAfter);
  return std::make_unique<TPDFInteger>(negative ? -whole : whole);
}

std::unique_ptr<TPDFObject> ParseNumberOrReference(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  if (realFollows(data, pos)) {
    double value = eatReal(data, pos);
    skipIf(data, pos, skipAfter);
    return std::make_unique<TPDFReal>(static_cast<float>(value));
  }
  int32_t number = EatInteger(data, pos, false);
  const int32_t afterNumber = pos;
  int32_t p = pos;
  SkipWhiteSpace(data, p);
  if (!atEnd(data, p) && isDigit(data[p])) {
    int32_t generation = EatInteger(data, p, true);
    if (!atEnd(data, p) && data[p] == 'R' &&
        (p + 1 >= size32(data) || !(isDigit(data[p + 1]) || isLetter(data[p + 1])))) {
      pos = p + 1;
      skipIf(data, pos, skipAfter);
      return std::make_unique<TPDFReference>(number, generation);
    }
  }
  pos = afterNumber;
  skipIf(data, pos, skipAfter);
  return std::make_unique<TPDFInteger>(number);
}

std::unique_ptr<TPDFReal> ParseFraction(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  EatChar(data, pos, '.');
  if (atEnd(data, pos) || !isDigit(data[pos])) RaisePDFReadError(pos, "Fractional number cannor be only dot");
  double value = eatFraction(data, pos);
  skipIf(data, pos, skipAfter);
  return std::make_unique<TPDFReal>(static_cast<float>(value));
}

std::unique_ptr<TPDFObject> ParseCommand(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  if (atEnd(data, pos)) RaisePDFReadError(pos, "No command found");
  uint8_t c = data[pos];
  std::string text;
  if (c == '"' || c == '\'') {
    text = static_cast<char>(c);
    ++pos;
  } else if (isLetter(c)) {
    while (!atEnd(data, pos) && (data[pos] == '*' || isDigit(data[pos]) || isLetter(data[pos])))
      text += static_cast<char>(data[pos++]);
  } else {
    RaisePDFReadError(pos, "No command found");
  }
  skipIf(data, pos, skipAfter);
  if (text == "true") return std::make_unique<TPDFBoolean>(true);
  if (text == "false") return std::make_unique<TPDFBoolean>(false);
  if (text == "null") return std::make_unique<TPDFNull>();
  return std::make_unique<TPDFCommand>(std::move(text));
}

std::string EatName(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  EatChar(data, pos, '/');
  std::string name;
  const int32_t size = size32(data);
  while (pos < size && !IsPDFDelimiter(data[pos])) {
    if (data[pos] == '#') {
      if (pos + 2 >= size) RaisePDFReadError(pos, "Expecting name hex digit (1)");
      int high = hexValue(data[pos + 1]);
      if (high < 0) RaisePDFReadError(pos, "Expecting name hex digit (2)");
      int low = hexValue(data[pos + 2]);
      if (low < 0) RaisePDFReadError(pos, "Expecting name hex digit (3)");
      name += static_cast<char>(high * 16 + low);
      pos += 3;
    } else {
      name += static_cast<char>(data[pos++]);
    }
  }
  skipIf(data, pos, skipAfter);
  return name;
}

std::string EatLiteralString(const TPDFBuffer& data, int32_t& pos, bool skipAfter) {
  EatChar(data, pos, '(');
  std::string bytes;
  int depth = 1;
  const int32_t size = size32(data);
  for (;;) {
    if (pos >= size) RaisePDFReadError(pos, "Unexpected end of string found (1)");
    uint8_t c = data[pos++];
    if (c == '(') {
      ++depth;
      bytes += '(';
    } else if (c == ')') {
      if (--depth == 0) break;
      bytes += ')';
    } else if (c == '\\') {
      if (pos >= size) RaisePDFReadError(pos, "Unexpected end of string found (2)");
      uint8_t e = data[pos++];
      if (e == 10 || e == 13) {
        if (pos < size && (data[pos] == 10 || data[pos] == 13) && data[pos] != e) ++pos;
      } else if (e >= '0' && e <= '7') {
        int value = e - '0';
        for (int n = 1; n < 3 && pos < size && data[pos] >= '0' && data[pos] <= '7'; ++n)
          value = value * 8 + (data[pos++] - '0');
        bytes += static_cast<char>(value & 0xFF);
      } else {
        switch (e) {
          case 'b': bytes += '\b'; break;
          case 'f': bytes += '\f'; break;
          case 'n': bytes += '\n'; break;
          case 'r': bytes += '\r'; break;
          case 't': bytes += '\t'; break;
          default: bytes += static_cast<char>(e);
        }
      }
    } else {
      bytes += static_cast<char>(c);
    }
  }
  skipIf(data, pos, skipAfter);
  return bytes;
}

std::string EscapeName(std::string_view name) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "/";
  out.reserve(name.size() + 1);
  for (unsigned char c : name) {
    if (c < 0x21 || c > 0x7E || c == '#' || IsPDFDelimiter(c)) {
      out += '#';
      out += digits[c >> 4];
      out += digits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Small routines

namespace {
bool tryPDFStrToInt(std::string_view text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i >= text.size() || !isDigit(text[i])) return false;
  uint32_t accumulator = 0;
  while (i < text.size() && isDigit(text[i])) accumulator = accumulator * 10 + (text[i++] - '0');
  value = static_cast<int32_t>(negative ? 0u - accumulator : accumulator);
  return true;
}
}  // namespace

int32_t PDFStrToInt(std::string_view text) {
  int32_t value;
  if (!tryPDFStrToInt(text, value)) throw EConvertError("Cannot convert to integer: " + std::string(text));
  return value;
}

int32_t PDFStrToIntDef(std::string_view text, int32_t defaultValue) {
  int32_t value;
  return tryPDFStrToInt(text, value) ? value : defaultValue;
}

std::string PDFIntToStr(int32_t value) { return std::to_string(value); }

std::string PDFLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string AnsiToUTF8(std::string_view text) { return AnsiToUtf8(text); }

int64_t ImageDataSize(const TPDFDictionary& image) {
  int64_t components = 1;
  if (auto* space = dynamic_cast<TPDFName*>(image.Find("ColorSpace"))) {
    if (space->Name == "DeviceRGB") components = 3;
    else if (space->Name == "DeviceCMYK") components = 4;
  }
  int64_t width = image.GetInteger(nullptr, "Width", 1);
  int64_t bits = image.GetInteger(nullptr, "BitsPerComponent", 1);
  int64_t height = image.GetInteger(nullptr, "Height", 1);
  if (width < 0 || bits < 0 || height < 0) RaisePDFReadError(0, "Invalid image size");
  // Each factor is below 2^31, but their product need not fit: every step is checked.
  int64_t rowBits, result;
  if (__builtin_mul_overflow(components * width, bits, &rowBits) || rowBits > INT64_MAX - 7 ||
      __builtin_mul_overflow((rowBits + 7) / 8, height, &result))
    RaisePDFReadError(0, "Invalid image size");
  return result;
}

uint32_t CMYKToRGB(float cf, float mf, float yf, float kf) {
  const long double c = cf, m = mf, y = yf, k = kf;
  long double r = c * (-4.387332384609988L * c + 54.48615194189176L * m + 18.82290502165302L * y +
                       212.25662451639585L * k - 285.2331026137004L) +
                  m * (1.7149763477362134L * m - 5.6096736904047315L * y - 17.873870861415444L * k -
                       5.497006427196366L) +
                  y * (-2.5217340131683033L * y - 21.248923337353073L * k + 17.5119270841813L) +
                  k * (-21.86122147463605L * k - 189.48180835922747L) + 255;
  long double g = c * (8.841041422036149L * c + 60.118027045597366L * m + 6.871425592049007L * y +
                       31.159100130055922L * k - 79.2970844816548L) +
                  m * (-15.310361306967817L * m + 17.575251261109482L * y + 131.35250912493976L * k -
                       190.9453302588951L) +
                  y * (4.444339102852739L * y + 9.8632861493405L * k - 24.86741582555878L) +
                  k * (-20.737325471181034L * k - 187.80453709719578L) + 255;
  long double b = c * (0.8842522430003296L * c + 8.078677503112928L * m + 30.89978309703729L * y -
                       0.23883238689178934L * k - 14.183576799673286L) +
                  m * (10.49593273432072L * m + 63.02378494754052L * y + 50.606957656360734L * k -
                       112.23884253719248L) +
                  y * (0.03296041114873217L * y + 115.60384449646641L * k - 193.58209356861505L) +
                  k * (-22.33816807309886L * k - 180.12613974708367L) + 255;
  auto channel = [](long double v) -> uint32_t {
    if (!(v > 0)) return 0;  // also NaN
    long double rounded = std::nearbyint(v);
    return rounded >= 255 ? 255u : static_cast<uint32_t>(rounded);
  };
  return channel(r) + 256 * channel(g) + 65536 * channel(b);
}

int32_t IntegerDigits(float x) {
  if (x == 0) return INT32_MIN;
  double digits = std::trunc(std::log10(std::fabs(static_cast<double>(x)))) + 1;
  return static_cast<int32_t>(digits);
}

namespace {

template <class LogFont>
bool sameLogFont(const LogFont& a, const LogFont& b) {
  return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement &&
         a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic && a.lfUnderline == b.lfUnderline &&
         a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet &&
         std::memcmp(a.lfFaceName, b.lfFaceName, sizeof a.lfFaceName) == 0;
}

}  // namespace

bool SameLogFont(const TLogFontA& a, const TLogFontA& b) { return sameLogFont(a, b); }
bool SameLogFont(const TLogFontW& a, const TLogFontW& b) { return sameLogFont(a, b); }

}  // namespace px
