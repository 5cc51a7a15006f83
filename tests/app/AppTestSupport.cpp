#include "AppTestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/XServer.h"

namespace px::test {

FreshHome::FreshHome() {
  const std::pair<const char*, std::string> vars[] = {
      {"HOME", dir_.Path().string()},
      {"XDG_CONFIG_HOME", dir_.File(".config")},
      {"XDG_DATA_HOME", dir_.File(".local/share")},
      // The program takes its user's number and date formats from the
      // locale the environment names; the texts these tests compare are the
      // en-US ones whatever the machine's locale. The C library's locale,
      // set when the test program started, stays the user's, so a number
      // that still goes through it shows up.
      {"LC_ALL", "C.UTF-8"},
  };
  for (const auto& [name, value] : vars) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
  }
}

FreshHome::~FreshHome() {
  for (const auto& [name, value] : saved_) {
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
  }
}

// A thread running or runnable shows R in its stat, one in uninterruptible
// sleep (the database engine writing) D; the state follows the command
// name's closing parenthesis. The trace of set -x, where a script has it, is
// off while it polls.
const char* const SettleShell =
    "settle() {\n"
    "  local tracing=${-//[^x]/}\n"
    "  { set +x; } 2>/dev/null\n"
    "  sleep \"${1:-0}\"\n"
    "  local want=${2:-10} quiet=0 polls=0\n"
    "  while [ $quiet -lt $want ]; do\n"
    "    local files=() pid\n"
    "    for pid in $P $PX_XVFB_PID ${SETTLE_ALSO:-}; do files+=(/proc/$pid/task/*/stat); done\n"
    "    if sed 's/.*) //' \"${files[@]}\" 2>/dev/null | cut -c1 | grep -q '[RD]'; then\n"
    "      quiet=0\n"
    "    else\n"
    "      quiet=$((quiet + 1))\n"
    "    fi\n"
    "    polls=$((polls + 1))\n"
    "    if [ $polls -ge 1800 ]; then echo 'settle: still busy after three minutes' >&2; break; fi\n"
    "    sleep 0.1\n"
    "  done\n"
    "  if [ -n \"$tracing\" ]; then set -x; fi\n"
    "}\n";

int RunProgramUnderX(const TempDir& work, const std::string& steps, std::string& out) {
  const std::string geometry = work.File("geometry");
  // No leak check at the program's exit (see CountRealWindowTest.cpp): the
  // in-process tests check leaks.
  const std::string script =
      "set -e\n"
      "export QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0:strict_string_checks=0\n"
      "'" PX_PROGRAM_PATH "' --simulated-scale '" PX_SOURCE_DIR "/resources/scale-sample.txt' & P=$!\n" +
      std::string(SettleShell) +
      "W=$(xdotool search --sync --onlyvisible --name 'Pondarix 7350 - Cash counting' | head -1)\n"
      "settle 2\n"
      "xdotool getwindowgeometry --shell $W > '" + geometry + "'\n"
      ". '" + geometry + "'\n" + steps +
      "kill -TERM $P\n"
      "wait $P\n";
  WriteFileBytes(work.Path() / "run.sh", script);
  XServer x;
  return RunCommand(x.Env() + "bash '" + work.File("run.sh") + "' 2>&1", &out);
}

int GeometryValue(const std::string& geometryFile, const std::string& name) {
  std::ifstream g(geometryFile);
  std::string l;
  while (std::getline(g, l))
    if (l.rfind(name + "=", 0) == 0) return std::stoi(l.substr(name.size() + 1));
  return 0;
}

std::string PythonSha1Upper(const std::string& text) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "in", text);
  std::string out;
  const int rc = RunCommand("/usr/bin/python3 -c \"import hashlib,sys; "
                            "print(hashlib.sha1(open(sys.argv[1],'rb').read()).hexdigest().upper(), end='')\" '" +
                                dir.File("in") + "'",
                            &out);
  EXPECT_EQ(rc, 0);
  return out;
}

// The window-relative place and size of the named component in pxtool app
// tree's output.
TreeEntry AppTreeEntry(const std::string& tree, const std::string& name) {
  std::istringstream lines(tree);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    std::istringstream cols(line);
    std::string c;
    while (std::getline(cols, c, '\t')) f.push_back(c);
    const size_t start = f.empty() ? std::string::npos : f[0].find_first_not_of(' ');
    if (f.size() < 4 || start == std::string::npos || f[0].substr(start) != name) continue;
    TreeEntry e;
    int l = 0, t = 0;
    std::sscanf(f[2].c_str(), "%d,%d,%d,%d", &l, &t, &e.width, &e.height);
    std::sscanf(f[3].c_str(), "%d,%d", &e.x, &e.y);
    return e;
  }
  ADD_FAILURE() << name << " not in the tree";
  return {};
}

}  // namespace px::test
