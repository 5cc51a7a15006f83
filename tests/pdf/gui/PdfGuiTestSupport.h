#pragma once
// Helpers shared by the tests of the PDF producer and the report engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace px::test {

// Runs an outside tool (stderr with stdout), expects success and returns what
// it printed.
inline std::string RunChecked(const std::string& command) {
  std::string out;
  const int status = RunCommand(command + " 2>&1", &out);
  EXPECT_EQ(status, 0) << command << "\n" << out;
  return out;
}

// A file of the build tree (PX_BUILD_DIR, else the Debug build).
inline std::string BuildFile(const std::string& path) {
  const char* dir = std::getenv("PX_BUILD_DIR");
  return std::string(dir ? dir : "build/debug") + "/" + path;
}

}  // namespace px::test
