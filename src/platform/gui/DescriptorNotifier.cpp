#include "platform/gui/DescriptorNotifier.h"

#include <QSocketNotifier>
#include <exception>

#include "platform/gui/GuiInternal.h"

namespace px {

struct TDescriptorNotifier::Impl {
  std::unique_ptr<QSocketNotifier> notifier;
  std::function<void()> onReadable;
};

TDescriptorNotifier::TDescriptorNotifier(int fd, std::function<void()> onReadable) : impl_(std::make_unique<Impl>()) {
  impl_->onReadable = std::move(onReadable);
  impl_->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  Impl* impl = impl_.get();
  QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [impl] {
    Guarded([impl] {
      if (impl->onReadable) impl->onReadable();
    });
  });
}

TDescriptorNotifier::~TDescriptorNotifier() = default;

}  // namespace px
