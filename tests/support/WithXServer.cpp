// px_with_xserver [-s WxHxD] PROGRAM [ARGS...]
// Runs PROGRAM on an X server of its own (see XServer.h) and answers its
// exit status (128 + the signal's number when a signal ended it). The server
// is ended by its process id once PROGRAM has ended; a SIGTERM, SIGINT or
// SIGHUP to this program is passed on to PROGRAM.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "XServer.h"

extern char** environ;

namespace {

volatile sig_atomic_t child = 0;

void passOn(int signal) {
  if (child > 0) kill(child, signal);
}

int usage() {
  std::fprintf(stderr, "usage: px_with_xserver [-s WxHxD] PROGRAM [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string screen = "1024x768x24";
  int first = 1;
  if (first < argc && std::strcmp(argv[first], "-s") == 0) {
    if (first + 1 >= argc) return usage();
    screen = argv[first + 1];
    first += 2;
  }
  if (first >= argc) return usage();
  try {
    px::test::XServer server(screen);
    server.Export();
    struct sigaction action {};
    action.sa_handler = passOn;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[first], nullptr, nullptr, argv + first, environ);
    if (spawned != 0) {
      std::fprintf(stderr, "px_with_xserver: cannot start %s: %s\n", argv[first], std::strerror(spawned));
      return 127;
    }
    child = pid;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        std::perror("px_with_xserver: waitpid");
        return 1;
      }
    }
    child = 0;
    if (WIFSIGNALED(status)) {
      std::fprintf(stderr, "px_with_xserver: %s ended by signal %d\n", argv[first], WTERMSIG(status));
      return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "px_with_xserver: %s\n", e.what());
    return 1;
  }
}
