#pragma once
// The embedded engine keeps its lock files in FIREBIRD_LOCK: a folder private
// to this test run, so that runs side by side never share them. A test
// program that includes this header registers the environment once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "support/TempDir.h"

namespace px::test {

class EngineLockEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    lock_ = std::make_unique<TempDir>();
    setenv("FIREBIRD_LOCK", lock_->Path().c_str(), 1);
  }
  void TearDown() override { lock_.reset(); }

 private:
  std::unique_ptr<TempDir> lock_;
};

[[maybe_unused]] inline testing::Environment* const engineLockEnvironment =
    testing::AddGlobalTestEnvironment(new EngineLockEnvironment);

}  // namespace px::test
