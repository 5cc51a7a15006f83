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

// The start of a shell script for xvfb-run: the program with the sample
// simulated scale in the background (its process id in $P), waiting for its
// window, whose geometry it writes to geometryFile and reads into X, Y,
// WIDTH and HEIGHT.
std::string ProgramUnderXScript(const std::string& geometryFile);
// One value (X, Y, WIDTH, HEIGHT) of that geometry file; 0 when absent.
int GeometryValue(const std::string& geometryFile, const std::string& name);

// The SHA-1 of text in upper-case hexadecimal, computed by Python's hashlib.
std::string PythonSha1Upper(const std::string& text);

}  // namespace px::test
