#pragma once
// Hot-plug of HID interfaces: a libudev monitor of the hidraw subsystem. Its
// descriptor becomes readable when a node came or went; the owner then calls
// Drain and re-enumerates.
#include <string>

struct udev;
struct udev_monitor;

namespace px {

class THidMonitor {
 public:
  // Opens the monitor. When udev is not reachable (no netlink socket in a
  // sandbox) the monitor stays without a descriptor and says why in
  // ErrorText; the program then sees devices present at start only.
  THidMonitor();
  ~THidMonitor();
  THidMonitor(const THidMonitor&) = delete;
  THidMonitor& operator=(const THidMonitor&) = delete;

  bool Active() const { return fd_ >= 0; }
  // The descriptor to watch for input; -1 when not active.
  int Descriptor() const { return fd_; }
  const std::string& ErrorText() const { return error_; }
  // Takes every waiting event off the monitor; true when any came.
  bool Drain();

 private:
  ::udev* udev_ = nullptr;
  ::udev_monitor* monitor_ = nullptr;
  int fd_ = -1;
  std::string error_;
};

}  // namespace px
