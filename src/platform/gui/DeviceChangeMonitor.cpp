#include "platform/gui/DeviceChangeMonitor.h"

#include <cerrno>
#include <cstring>
#include <libudev.h>

#include "platform/core/Debug.h"
#include "platform/gui/DescriptorNotifier.h"

namespace px {

namespace {

// A libudev monitor filtered to one subsystem. Its descriptor becomes
// readable when a node of that subsystem came or went.
class TUdevMonitor {
 public:
  explicit TUdevMonitor(const std::string& subsystem) {
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
    int rc = udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem.c_str(), nullptr);
    if (rc >= 0) rc = udev_monitor_enable_receiving(monitor_);
    if (rc < 0) {
      error_ = std::string("udev monitor: ") + std::strerror(-rc);
      return;
    }
    fd_ = udev_monitor_get_fd(monitor_);
  }
  ~TUdevMonitor() {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
  }
  TUdevMonitor(const TUdevMonitor&) = delete;
  TUdevMonitor& operator=(const TUdevMonitor&) = delete;

  int Descriptor() const { return fd_; }
  const std::string& ErrorText() const { return error_; }

  // Takes every waiting event off the monitor; true when any came.
  bool Drain() {
    if (!monitor_ || fd_ < 0) return false;
    bool any = false;
    // The socket is non-blocking: receive returns null once nothing waits.
    // The bound keeps a storm of events from holding the GUI thread; what is
    // left makes the descriptor readable again.
    for (int i = 0; i < 1024; ++i) {
      udev_device* dev = udev_monitor_receive_device(monitor_);
      if (!dev) break;
      any = true;
      udev_device_unref(dev);
    }
    return any;
  }

 private:
  ::udev* udev_ = nullptr;
  ::udev_monitor* monitor_ = nullptr;
  int fd_ = -1;
  std::string error_;
};

}  // namespace

struct TDeviceChangeMonitor::Impl {
  HWND window = 0;
  std::unique_ptr<TUdevMonitor> udev;
  std::function<bool()> drain;
  std::unique_ptr<TDescriptorNotifier> notifier;
  std::string error;

  void watch(int fd) {
    notifier = std::make_unique<TDescriptorNotifier>(fd, [this] {
      if (drain()) PostMessage(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    });
  }
};

TDeviceChangeMonitor::TDeviceChangeMonitor(HWND window, const std::string& subsystem)
    : impl_(std::make_unique<Impl>()) {
  impl_->window = window;
  impl_->udev = std::make_unique<TUdevMonitor>(subsystem);
  if (impl_->udev->Descriptor() < 0) {
    impl_->error = impl_->udev->ErrorText();
    return;
  }
  TUdevMonitor* udev = impl_->udev.get();
  impl_->drain = [udev] { return udev->Drain(); };
  impl_->watch(udev->Descriptor());
}

TDeviceChangeMonitor::TDeviceChangeMonitor(HWND window, int fd, std::function<bool()> drain)
    : impl_(std::make_unique<Impl>()) {
  impl_->window = window;
  impl_->drain = std::move(drain);
  impl_->watch(fd);
}

// The notifier goes first: no call may reach a monitor being taken down.
TDeviceChangeMonitor::~TDeviceChangeMonitor() { impl_->notifier.reset(); }

bool TDeviceChangeMonitor::Active() const { return impl_->notifier != nullptr; }

const std::string& TDeviceChangeMonitor::ErrorText() const { return impl_->error; }

TDeviceChangeWindow::TDeviceChangeWindow(std::function<void()> onChange, const std::string& subsystem,
                                         const std::string& label) {
  handle_ = AllocateHWnd([onChange = std::move(onChange)](TMessage& m) {
    if (m.Msg == WM_DEVICECHANGE && m.WParam == DBT_DEVNODES_CHANGED) onChange();
    m.Result = 0;
  });
  if (!subsystem.empty()) {
    monitor_ = std::make_unique<TDeviceChangeMonitor>(handle_, subsystem);
    if (!monitor_->Active()) OutputDebugString(label + " hot-plug is not watched: " + monitor_->ErrorText());
  }
  PostMessage(handle_, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

TDeviceChangeWindow::~TDeviceChangeWindow() {
  monitor_.reset();
  DeallocateHWnd(handle_);
}

}  // namespace px
