#pragma once
// Shared pieces of the application tests: a fresh home folder per test, so
// that the settings file and the data folder start empty.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace px::test {

// Points HOME, XDG_CONFIG_HOME and XDG_DATA_HOME into a new temporary folder,
// names the C locale for the program's user formats, and restores them when
// it goes.
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

// Shell lines that define settle, for the scripts that drive the program on
// an X server: "settle [SECONDS [QUIET]]" sleeps SECONDS (for the program's
// own timers), then waits until no thread of the program ($P) or of the X
// server ($PX_XVFB_PID, which XServer::Env sets) or of the processes in
// $SETTLE_ALSO has run or waited to run for QUIET tenths of a second in a
// row (10 unless given, longer than the program's click and refresh
// timers): what a click or a key started has been drawn and the X server
// has it, however slow the machine. It gives up, with a line on stderr,
// after three minutes.
extern const char* const SettleShell;

// Runs the program with the sample simulated scale on an X server
// (an XServer of its own, 1024 x 768): a script waits for its window, writes the window's
// geometry to work's file "geometry" and reads it into X, Y, WIDTH and
// HEIGHT, runs steps (shell lines, which may call settle), then ends the program with SIGTERM.
// Answers the exit code; out gets the output.
int RunProgramUnderX(const TempDir& work, const std::string& steps, std::string& out);
// One value (X, Y, WIDTH, HEIGHT) of that geometry file; 0 when absent.
int GeometryValue(const std::string& geometryFile, const std::string& name);

// The SHA-1 of text in upper-case hexadecimal, computed by Python's hashlib.
std::string PythonSha1Upper(const std::string& text);

// The window-relative place (x, y) and size of the named component in
// pxtool app tree's output; a test failure when it is not there.
struct TreeEntry {
  int x = 0, y = 0, width = 0, height = 0;
};
TreeEntry AppTreeEntry(const std::string& tree, const std::string& name);

}  // namespace px::test
