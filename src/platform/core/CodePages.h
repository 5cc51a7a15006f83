#pragma once
// Text conversions between Windows-1252 (AnsiString), UTF-16 (UnicodeString)
// and UTF-8 (std::string used for paths, messages and the Qt boundary). All
// conversions of the project live here.
#include <string>
#include <string_view>

#include "platform/core/Types.h"

namespace px {

// Windows-1252. The five bytes without a character (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control characters of the same value and back, as the
// system conversion does, so every byte survives a round trip.
UnicodeString AnsiToUnicode(std::string_view ansi);
// Characters without a Windows-1252 byte become '?'.
AnsiString UnicodeToAnsi(std::u16string_view text);
char16_t AnsiCharToUnicode(unsigned char c);

// Invalid UTF-8 sequences and unpaired surrogates become U+FFFD.
UnicodeString Utf8ToUnicode(std::string_view utf8);
std::string UnicodeToUtf8(std::u16string_view text);

std::string AnsiToUtf8(std::string_view ansi);
AnsiString Utf8ToAnsi(std::string_view utf8);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Conversion between any two character sets that iconv knows (names such as
// "ISO-8859-1", "WINDOWS-1251", "UTF-8", "UTF-16LE"). Unconvertible
// characters become '?' in the target; raises EEncodingError for an unknown
// character set name.
std::string ConvertCharset(std::string_view bytes, const char* fromCharset, const char* toCharset);

// Case mapping as the class library's ANSI and Unicode functions do it
// (locale-independent, whole Unicode range through ICU).
UnicodeString UnicodeUpperCase(std::u16string_view text);
UnicodeString UnicodeLowerCase(std::u16string_view text);
AnsiString AnsiUpperCase(std::string_view ansi);
AnsiString AnsiLowerCase(std::string_view ansi);
// ASCII-only case mapping (UpperCase/LowerCase/SameText/CompareText).
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

}  // namespace px

namespace px {

// Locale-aware comparisons of the class library (the system collation, here
// ICU's root collation, one collator reused): < 0, 0 or > 0.
int AnsiCompareStr(std::string_view a, std::string_view b);   // Windows-1252 text
int AnsiCompareText(std::string_view a, std::string_view b);  // ignoring case
bool AnsiSameText(std::string_view a, std::string_view b);
int UnicodeCompareStr(std::u16string_view a, std::u16string_view b);
int UnicodeCompareText(std::u16string_view a, std::u16string_view b);

// Appends to out a key of the text whose plain byte order (shorter first on a
// common prefix) is UnicodeCompareStr's order of the texts: many texts are
// then sorted without a collation per comparison.
void AppendUnicodeCompareStrKey(std::u16string_view text, std::string& out);

}  // namespace px
