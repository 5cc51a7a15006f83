#include "platform/core/CodePages.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/core/Exceptions.h"

namespace px {
namespace {

// Windows-1252 bytes 0x80..0x9F; the undefined ones keep their own value.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int unicodeToAnsiByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return 0x80 + i;
  return -1;
}

// Decodes one UTF-8 sequence at s[i]; returns U+FFFD for a malformed one and
// advances i past what was consumed.
char32_t decodeUtf8(std::string_view s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int len;
  char32_t cp;
  if ((b & 0xE0) == 0xC0) {
    len = 2;
    cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3;
    cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4;
    cp = b & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<size_t>(len) > s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((c & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<size_t>(len);
  return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void appendUtf16(UnicodeString& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Walks UTF-16 text code point by code point; unpaired surrogates give U+FFFD.
template <class F>
void forEachCodePoint(std::u16string_view s, F f) {
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    f(c);
  }
}

icu::UnicodeString toIcu(std::u16string_view s) {
  return icu::UnicodeString(false, s.data(), static_cast<int32_t>(s.size()));
}

UnicodeString fromIcu(const icu::UnicodeString& s) {
  return UnicodeString(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<size_t>(s.length()));
}

// One collator for the whole program; ICU allows concurrent compare calls on
// a collator that is not modified.
const icu::Collator* collator(bool ignoreCase) {
  static std::once_flag once;
  static std::unique_ptr<icu::Collator> caseSensitive, caseInsensitive;
  std::call_once(once, [] {
    UErrorCode status = U_ZERO_ERROR;
    caseSensitive.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    status = U_ZERO_ERROR;
    caseInsensitive.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (caseInsensitive) caseInsensitive->setStrength(icu::Collator::SECONDARY);
    if (caseSensitive) caseSensitive->setStrength(icu::Collator::TERTIARY);
  });
  return ignoreCase ? caseInsensitive.get() : caseSensitive.get();
}

int collate(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  const icu::Collator* c = collator(ignoreCase);
  int r;
  if (c) {
    UErrorCode status = U_ZERO_ERROR;
    r = c->compare(toIcu(a), toIcu(b), status);
    if (U_SUCCESS(status) && r != 0) return r;
  }
  // Text that collates equal but differs (the collator ignores some
  // characters) is still ordered, so that sorting is deterministic.
  if (ignoreCase) {
    UnicodeString la = UnicodeLowerCase(a), lb = UnicodeLowerCase(b);
    r = la.compare(lb);
  } else {
    r = a.compare(b);
  }
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

char16_t AnsiCharToUnicode(unsigned char c) { return (c >= 0x80 && c < 0xA0) ? kHigh[c - 0x80] : c; }

UnicodeString AnsiToUnicode(std::string_view ansi) {
  UnicodeString out;
  out.reserve(ansi.size());
  for (char c : ansi) out += AnsiCharToUnicode(static_cast<unsigned char>(c));
  return out;
}

AnsiString UnicodeToAnsi(std::u16string_view text) {
  AnsiString out;
  out.reserve(text.size());
  forEachCodePoint(text, [&](char32_t c) {
    int b = unicodeToAnsiByte(c);
    out += static_cast<char>(b < 0 ? '?' : b);
  });
  return out;
}

UnicodeString Utf8ToUnicode(std::string_view utf8) {
  UnicodeString out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) appendUtf16(out, decodeUtf8(utf8, i));
  return out;
}

std::string UnicodeToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  forEachCodePoint(text, [&](char32_t c) { appendUtf8(out, c); });
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) appendUtf8(out, AnsiCharToUnicode(static_cast<unsigned char>(c)));
  return out;
}

AnsiString Utf8ToAnsi(std::string_view utf8) {
  AnsiString out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    int b = unicodeToAnsiByte(decodeUtf8(utf8, i));
    out += static_cast<char>(b < 0 ? '?' : b);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    size_t start = i;
    char32_t c = decodeUtf8(bytes, i);
    if (c == 0xFFFD && !(i - start == 3 && bytes.substr(start, 3) == "\xEF\xBF\xBD")) return false;
  }
  return true;
}

namespace {

struct IconvHandle {
  iconv_t cd;
  IconvHandle(const char* to, const char* from) : cd(iconv_open(to, from)) {
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw EEncodingError(std::string("No mapping for the character set ") + from + " to " + to);
  }
  ~IconvHandle() { iconv_close(cd); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
};

// Converts what iconv takes of the input, growing the output as needed.
// Answers false when it stopped at input it cannot take (`in` points at it).
// A null `in` writes what ends the output (the shift back to the initial
// state of a stateful character set).
bool convertChunk(IconvHandle& h, char** in, size_t* inLeft, std::string& out) {
  char buffer[4096];
  for (;;) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t r = iconv(h.cd, in, inLeft, &o, &oLeft);
    out.append(buffer, static_cast<size_t>(o - buffer));
    if (r != static_cast<size_t>(-1)) return true;
    if (errno != E2BIG) return false;
  }
}

// Runs iconv over the input; an input unit it cannot take (unitSize bytes)
// is skipped and the conversion goes on after it. The handle keeps its state
// throughout: in a stateful character set (ISO-2022-JP, UTF-7) a shift stays
// in force across a bad unit. In its place the output gets `rawReplacement`
// as it is (for an output without states) and `replacementInput` converted
// by the handle, so that it is written in the shift the output is in.
std::string runIconv(IconvHandle& h, std::string_view input, size_t unitSize, std::string_view rawReplacement,
                     std::string_view replacementInput) {
  std::string out;
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  while (inLeft > 0 && !convertChunk(h, &in, &inLeft, out)) {
    size_t skip = std::min(unitSize, inLeft);
    in += skip;
    inLeft -= skip;
    out += rawReplacement;
    if (!replacementInput.empty()) {
      char* r = const_cast<char*>(replacementInput.data());
      size_t rLeft = replacementInput.size();
      convertChunk(h, &r, &rLeft, out);  // a target without '?' gets nothing
    }
  }
  convertChunk(h, nullptr, nullptr, out);
  return out;
}

}  // namespace

std::string ConvertCharset(std::string_view bytes, const char* fromCharset, const char* toCharset) {
  // Through UTF-32 so that an unconvertible character is skipped whole.
  IconvHandle decode("UTF-32LE", fromCharset);
  IconvHandle encode(toCharset, "UTF-32LE");
  std::string wide = runIconv(decode, bytes, 1, std::string_view("\xFD\xFF\0\0", 4), {});
  return runIconv(encode, wide, 4, {}, std::string_view("?\0\0\0", 4));
}

UnicodeString UnicodeUpperCase(std::u16string_view text) {
  icu::UnicodeString s(toIcu(text));
  s.toUpper(icu::Locale::getRoot());
  return fromIcu(s);
}

UnicodeString UnicodeLowerCase(std::u16string_view text) {
  icu::UnicodeString s(toIcu(text));
  s.toLower(icu::Locale::getRoot());
  return fromIcu(s);
}

namespace {

// Byte by byte, so that the length and characters without a case partner
// (ß, ÿ's upper case outside the code page) stay as they are.
AnsiString mapAnsiCase(std::string_view ansi, UChar32 (*mapChar)(UChar32)) {
  AnsiString out(ansi);
  for (char& c : out) {
    auto u = static_cast<char32_t>(mapChar(static_cast<UChar32>(AnsiCharToUnicode(static_cast<unsigned char>(c)))));
    int b = unicodeToAnsiByte(u);
    if (b >= 0) c = static_cast<char>(b);
  }
  return out;
}

}  // namespace

AnsiString AnsiUpperCase(std::string_view ansi) { return mapAnsiCase(ansi, u_toupper); }
AnsiString AnsiLowerCase(std::string_view ansi) { return mapAnsiCase(ansi, u_tolower); }

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
    if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
    if (ca != cb) return ca - cb;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int AnsiCompareStr(std::string_view a, std::string_view b) { return collate(AnsiToUnicode(a), AnsiToUnicode(b), false); }
int AnsiCompareText(std::string_view a, std::string_view b) { return collate(AnsiToUnicode(a), AnsiToUnicode(b), true); }
bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }
int UnicodeCompareStr(std::u16string_view a, std::u16string_view b) { return collate(a, b, false); }
int UnicodeCompareText(std::u16string_view a, std::u16string_view b) { return collate(a, b, true); }

void AppendUnicodeCompareStrKey(std::u16string_view text, std::string& out) {
  // The collator's sort key orders as its compare does and ends with its one
  // zero byte, so a difference there decides; texts that collate equal go on
  // to their code units, high byte first, as collate breaks the tie.
  if (const icu::Collator* c = collator(false)) {
    const size_t start = out.size();
    out.resize(start + 64);
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t need = c->getSortKey(units, length, reinterpret_cast<uint8_t*>(&out[start]), 64);
    if (need > 64) {
      out.resize(start + static_cast<size_t>(need));
      need = c->getSortKey(units, length, reinterpret_cast<uint8_t*>(&out[start]), need);
    }
    out.resize(start + static_cast<size_t>(need));
  }
  for (char16_t u : text) {
    out += static_cast<char>(u >> 8);
    out += static_cast<char>(u & 0xFF);
  }
}

}  // namespace px
