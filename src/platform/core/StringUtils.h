#pragma once
// Small text helpers of the class library. They work on bytes, so they suit
// both UTF-8 and Windows-1252 text; case-insensitive matching folds ASCII
// letters only.
#include <string>
#include <string_view>

namespace px {

// Remove characters <= ' ' (control characters and spaces).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

using TReplaceFlags = unsigned;
enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };

// Replaces the first occurrence of `oldPattern` (every one with rfReplaceAll);
// an empty pattern leaves the text unchanged.
std::string StringReplace(std::string_view text, std::string_view oldPattern, std::string_view newPattern,
                          TReplaceFlags flags = 0);

// 'text' with embedded quotes doubled.
std::string QuotedStr(std::string_view text);
std::string AnsiQuotedStr(std::string_view text, char quote);
// Reads a quoted string at the start of `source`, undoubling embedded quotes,
// and advances `source` past the closing quote (to the end when there is
// none). Returns an empty string and leaves `source` alone when it does not
// start with the quote.
std::string AnsiExtractQuotedStr(std::string_view& source, char quote);
// The unquoted text when `text` is one complete quoted string, else `text`.
std::string AnsiDequotedStr(std::string_view text, char quote);

}  // namespace px
