#pragma once
// Shared pieces of the application tests: a fresh home folder per test, so
// that the settings file and the data folder start empty.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace px::test {

// Points HOME, XDG_CONFIG_HOME and XDG_DATA_HOME into a new temporary folder
// and restores them when it goes.
class FreshHome {
 public:
  FreshHome();
  ~FreshHome();
  FreshHome(const FreshHome&) = delete;
  FreshHome& operator=(const FreshHome&) = delete;
  const TempDir& Dir() const { return dir_; }
  std::string SettingsFile() const { return dir_.File(".config/Pondarix/registry.ini"); }

 private:
  TempDir dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The SHA-1 of text in upper-case hexadecimal, computed by Python's hashlib.
std::string PythonSha1Upper(const std::string& text);

}  // namespace px::test
