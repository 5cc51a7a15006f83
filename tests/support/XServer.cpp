#include "XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace px::test {

namespace {

constexpr int readyFd = 3;  // the descriptor Xvfb reports its display on

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits up to timeout for pid to end; True when it was reaped.
bool reaped(pid_t pid, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

XServer::XServer(const std::string& screen) {
  const char* tmp = std::getenv("TMPDIR");
  std::string logTemplate = std::string(tmp && *tmp ? tmp : "/tmp") + "/px-xvfb-XXXXXX";
  const int logFd = mkstemp(logTemplate.data());
  if (logFd < 0) throw std::runtime_error("XServer: cannot make a log file: " + std::string(std::strerror(errno)));
  close(logFd);
  log_ = logTemplate;

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("XServer: pipe: " + std::string(std::strerror(errno)));
  int writeEnd = pipeFds[1];
  if (writeEnd == readyFd) {
    // dup2 onto itself would keep close-on-exec set: move it out of the way.
    writeEnd = fcntl(pipeFds[1], F_DUPFD_CLOEXEC, readyFd + 1);
    close(pipeFds[1]);
  }

  // Xvfb's output goes to the log (it must not hold the caller's pipes
  // open), the ready pipe becomes its descriptor 3, and nothing else of this
  // process reaches it.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_APPEND, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_adddup2(&actions, writeEnd, readyFd);
  posix_spawn_file_actions_addclosefrom_np(&actions, readyFd + 1);
  // A process group of its own: a terminal's or a runner's signal to the
  // caller's group does not end the server under a test still running.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);

  const std::string fd = std::to_string(readyFd);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(writeEnd);
  if (spawned != 0) {
    close(pipeFds[0]);
    pid_ = -1;
    unlink(log_.c_str());
    throw std::runtime_error("XServer: cannot start Xvfb: " + std::string(std::strerror(spawned)));
  }

  // Xvfb writes the display number once it listens; end of file before the
  // line means it gave up.
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool complete = false;
  while (!complete) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{pipeFds[0], POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    char buffer[32];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    number.append(buffer, static_cast<size_t>(n));
    complete = number.find('\n') != std::string::npos;
  }
  close(pipeFds[0]);
  if (!complete) {
    const std::string output = fileText(log_);
    stop();
    throw std::runtime_error("XServer: Xvfb did not report a display. Its output:\n" + output);
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() { stop(); }

void XServer::Export() const { setenv("DISPLAY", display_.c_str(), 1); }

void XServer::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!reaped(pid_, std::chrono::seconds(5))) {
      kill(pid_, SIGKILL);
      while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }
  if (!log_.empty()) unlink(log_.c_str());
  log_.clear();
}

}  // namespace px::test
