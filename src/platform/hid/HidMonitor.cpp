#include "platform/hid/HidMonitor.h"

#include <cerrno>
#include <cstring>
#include <libudev.h>

namespace px {

THidMonitor::THidMonitor() {
  udev_ = udev_new();
  if (!udev_) {
    error_ = "udev_new failed";
    return;
  }
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (!monitor_) {
    error_ = std::string("udev monitor: ") + std::strerror(errno);
    return;
  }
  int rc = udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr);
  if (rc >= 0) rc = udev_monitor_enable_receiving(monitor_);
  if (rc < 0) {
    error_ = std::string("udev monitor: ") + std::strerror(-rc);
    return;
  }
  fd_ = udev_monitor_get_fd(monitor_);
}

THidMonitor::~THidMonitor() {
  if (monitor_) udev_monitor_unref(monitor_);
  if (udev_) udev_unref(udev_);
}

bool THidMonitor::Drain() {
  if (!monitor_ || fd_ < 0) return false;
  bool any = false;
  // The socket is non-blocking: receive returns null once nothing waits. The
  // bound keeps a storm of events from holding the GUI thread.
  for (int i = 0; i < 1024; ++i) {
    udev_device* dev = udev_monitor_receive_device(monitor_);
    if (!dev) break;
    any = true;
    udev_device_unref(dev);
  }
  return any;
}

}  // namespace px
