#pragma once
// Device hot-plug as a window message: a libudev monitor of one subsystem
// ("hidraw", "tty", ...) whose descriptor is watched on the GUI thread. Each
// burst of add/remove events becomes one WM_DEVICECHANGE with
// DBT_DEVNODES_CHANGED posted to a window, which then looks at the device
// tree again, so the code above sees the same message for every kind of
// device.
#include <functional>
#include <memory>
#include <string>

#include "platform/gui/Controls.h"

namespace px {

class TDeviceChangeMonitor {
 public:
  // Watches udev for devices of the subsystem. When udev is not reachable
  // (no netlink socket in a sandbox) the monitor stays inactive and says why
  // in ErrorText; the window then sees only the devices present at start.
  TDeviceChangeMonitor(HWND window, const std::string& subsystem);
  // The same over any descriptor: drain takes every waiting event off it and
  // answers whether any came. This is how a test stands a pipe in for udev.
  TDeviceChangeMonitor(HWND window, int fd, std::function<bool()> drain);
  ~TDeviceChangeMonitor();
  TDeviceChangeMonitor(const TDeviceChangeMonitor&) = delete;
  TDeviceChangeMonitor& operator=(const TDeviceChangeMonitor&) = delete;

  bool Active() const;
  const std::string& ErrorText() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace px
