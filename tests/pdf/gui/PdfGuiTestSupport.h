#pragma once
// Helpers shared by the tests of the PDF producer and the report engine.
#include <gtest/gtest.h>

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

}  // namespace px::test
