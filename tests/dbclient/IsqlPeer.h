#pragma once
// isql-fb as the peer that writes and reads the same database files.
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace px::test {

// Runs the script through isql-fb against the database and answers what it
// printed, errors included; a charset sets the attachment's character set.
inline std::string RunIsql(const std::string& db, const std::string& script, const std::string& charset = "") {
  TempDir dir;
  std::string file = dir.File("script.sql");
  WriteFileBytes(file, script);
  std::string options = charset.empty() ? "-q" : "-q -ch " + charset;
  std::string out;
  RunCommand("isql-fb " + options + " -i '" + file + "' '" + db + "' 2>&1", &out);
  return out;
}

// The "NAME value" lines of isql's list output (SET LIST ON), blanks
// collapsed, empty lines dropped.
inline std::vector<std::string> ListLines(const std::string& out) {
  std::vector<std::string> got;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::string compact;
    bool blank = false;
    for (char c : line) {
      if (c == ' ' || c == '\r') {
        blank = true;
        continue;
      }
      if (blank && !compact.empty()) compact += ' ';
      blank = false;
      compact += c;
    }
    if (!compact.empty()) got.push_back(compact);
  }
  return got;
}

}  // namespace px::test
