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

// The hidden window of a component that follows the device tree: it runs
// onChange for every WM_DEVICECHANGE with DBT_DEVNODES_CHANGED (other
// device-change notices are ignored), watches a udev subsystem so that its
// comings and goings arrive as that message, and posts itself one such
// message at once, so the first look at the devices runs when the message
// loop starts, after the owner's subscribers are in place.
class TDeviceChangeWindow {
 public:
  // An empty subsystem watches nothing (the window still takes posted
  // messages). When the monitor cannot run, a debug line starting with
  // "<label> hot-plug is not watched: " says why.
  TDeviceChangeWindow(std::function<void()> onChange, const std::string& subsystem, const std::string& label);
  // Stops the monitor, then frees the window; messages still queued for it
  // are dropped.
  ~TDeviceChangeWindow();
  TDeviceChangeWindow(const TDeviceChangeWindow&) = delete;
  TDeviceChangeWindow& operator=(const TDeviceChangeWindow&) = delete;

  HWND Handle() const { return handle_; }
  bool WatchingHotPlug() const { return monitor_ && monitor_->Active(); }

 private:
  HWND handle_ = 0;
  std::unique_ptr<TDeviceChangeMonitor> monitor_;
};

}  // namespace px
