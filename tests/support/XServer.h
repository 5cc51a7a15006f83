#pragma once
// An X server of a test's own: Xvfb started on a display number no other
// server holds (Xvfb picks it and reports it through -displayfd, so tests
// running side by side never race for one) and ended by its process id when
// the object goes. No authority file is made: local clients connect freely.
//
// In a test:
//   px::test::XServer x;                          // Xvfb on ":N", 1024x768x24
//   RunCommand(x.Env() + "bash script.sh", &out); // "DISPLAY=:N PX_XVFB_PID=... bash ..."
// From CTest or a shell, the program px_with_xserver wraps one command:
//   px_with_xserver [-s WxHxD] PROGRAM [ARGS...]
// (px_test's X11 programs run that way).
//
// Needs no other library than the C++ runtime, so that the wrapper program
// and every test program can use it.
#include <string>
#include <sys/types.h>

namespace px::test {

class XServer {
 public:
  // Starts Xvfb with one screen of that geometry and waits until it accepts
  // clients; throws std::runtime_error (with Xvfb's own output) when it does
  // not come up within a minute.
  explicit XServer(const std::string& screen = "1024x768x24");
  // Ends the server (SIGTERM, then SIGKILL after five seconds) and reaps it.
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // The display name, ":N".
  const std::string& Display() const { return display_; }
  // "DISPLAY=:N PX_XVFB_PID=PID ", to put in front of a shell command (a
  // script that waits for the server to be idle looks at its threads).
  std::string Env() const { return "DISPLAY=" + display_ + " PX_XVFB_PID=" + std::to_string(pid_) + " "; }
  // Sets DISPLAY in this process's environment (for Qt's xcb platform or a
  // child started without a shell).
  void Export() const;
  pid_t Pid() const { return pid_; }

 private:
  void stop();
  pid_t pid_ = -1;
  std::string display_;
  std::string log_;  // the file Xvfb's output goes to
};

}  // namespace px::test
