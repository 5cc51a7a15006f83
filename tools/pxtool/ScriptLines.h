#pragma once
// Scripts of the drawing and report commands: one command a line, words
// separated by blanks, the last word a command takes running to the line end.
#include <climits>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"

namespace px::pxtool {

// The lines of a script file, without line-end characters.
inline std::vector<std::string> ReadScriptLines(const std::string& fileName) {
  std::vector<std::string> lines;
  const std::string text = ReadFileToString(fileName);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// The command word and then n - 1 more; raises EConvertError when the line
// has fewer.
inline std::vector<std::string> ScriptWords(const std::string& line, size_t n) {
  std::vector<std::string> w;
  size_t pos = 0;
  while (w.size() < n) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos >= line.size()) break;
    if (w.size() + 1 == n) {
      w.push_back(line.substr(pos));
      break;
    }
    size_t end = line.find(' ', pos);
    if (end == std::string::npos) end = line.size();
    w.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  if (w.size() != n) throw EConvertError("wrong number of arguments");
  return w;
}

inline int32_t ScriptNumber(const std::string& s) {
  size_t used = 0;
  long v = 0;
  try {
    v = std::stol(s, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != s.size() || v < INT32_MIN || v > INT32_MAX) throw EConvertError("bad number " + s);
  return static_cast<int32_t>(v);
}

// Prints a failure of a script ("line N: " and the message; without a line
// number for failures after the last line) and answers the exit code 1.
inline int ScriptFailure(std::ostream& err, int lineNo, const std::string& message) {
  if (lineNo > 0) err << "line " << lineNo << ": ";
  err << message << "\n";
  return 1;
}

}  // namespace px::pxtool
