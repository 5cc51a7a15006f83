#pragma once
// Calls a function on the GUI thread whenever a descriptor has input, through
// the Qt event loop (a socket notifier). Used for hot-plug monitors.
#include <functional>
#include <memory>

namespace px {

class TDescriptorNotifier {
 public:
  // Starts watching at once; needs a running Qt application to deliver.
  TDescriptorNotifier(int fd, std::function<void()> onReadable);
  ~TDescriptorNotifier();
  TDescriptorNotifier(const TDescriptorNotifier&) = delete;
  TDescriptorNotifier& operator=(const TDescriptorNotifier&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace px
