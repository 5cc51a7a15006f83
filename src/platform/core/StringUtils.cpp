#include "platform/core/StringUtils.h"

namespace px {

namespace {

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

char foldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

size_t findFrom(std::string_view text, std::string_view pattern, size_t from, bool ignoreCase) {
  if (!ignoreCase) return text.find(pattern, from);
  if (pattern.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + pattern.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < pattern.size() && foldAscii(text[i + k]) == foldAscii(pattern[k])) ++k;
    if (k == pattern.size()) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string TrimLeft(std::string_view text) {
  size_t b = 0;
  while (b < text.size() && isTrimmed(text[b])) ++b;
  return std::string(text.substr(b));
}

std::string TrimRight(std::string_view text) {
  size_t e = text.size();
  while (e > 0 && isTrimmed(text[e - 1])) --e;
  return std::string(text.substr(0, e));
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && isTrimmed(text[b])) ++b;
  while (e > b && isTrimmed(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string StringReplace(std::string_view text, std::string_view oldPattern, std::string_view newPattern,
                          TReplaceFlags flags) {
  if (oldPattern.empty()) return std::string(text);
  const bool ignoreCase = (flags & rfIgnoreCase) != 0;
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = findFrom(text, oldPattern, pos, ignoreCase);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(newPattern);
    pos = hit + oldPattern.size();
    if ((flags & rfReplaceAll) == 0) break;
  }
  out.append(text.substr(pos));
  return out;
}

std::string AnsiQuotedStr(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}

std::string QuotedStr(std::string_view text) { return AnsiQuotedStr(text, '\''); }

namespace {

std::string extractQuoted(std::string_view& source, char quote, bool& closed) {
  closed = false;
  if (source.empty() || source[0] != quote) return {};
  std::string out;
  size_t i = 1;
  while (i < source.size()) {
    if (source[i] == quote) {
      if (i + 1 < source.size() && source[i + 1] == quote) {
        out += quote;
        i += 2;
        continue;
      }
      ++i;
      closed = true;
      break;
    }
    out += source[i++];
  }
  source.remove_prefix(i);
  return out;
}

}  // namespace

std::string AnsiExtractQuotedStr(std::string_view& source, char quote) {
  bool closed;
  return extractQuoted(source, quote, closed);
}

std::string AnsiDequotedStr(std::string_view text, char quote) {
  std::string_view rest = text;
  bool closed;
  std::string out = extractQuoted(rest, quote, closed);
  return closed && rest.empty() ? out : std::string(text);
}

}  // namespace px
