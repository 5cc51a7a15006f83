#include "ui/framework/UnitUtilities.h"

#include <QWidget>

#include "platform/gui/Forms.h"

namespace px {

namespace {
// Only one window is locked at a time, as the platform allows.
TWinControl* lockedWindow = nullptr;
}  // namespace

TLockWindowSaver::TLockWindowSaver(TWinControl* window, TCursor cursor) {
  restoreCursor_ = cursor != crDefault;
  if (Screen) {
    savedCursor_ = Screen->Cursor();
    if (restoreCursor_) Screen->SetCursor(cursor);
  }
  if (!window && Application) window = Application->MainForm();
  window_ = window;
  if (window_ && !lockedWindow && window_->Widget()) {
    window_->Widget()->setUpdatesEnabled(false);
    lockedWindow = window_;
    handle_ = window_->Handle();
    locked_ = true;
  }
}

TLockWindowSaver::~TLockWindowSaver() {
  if (locked_) {
    // The window may have gone while locked; its handle tells.
    if (IsWindow(handle_) && window_->Widget()) window_->Widget()->setUpdatesEnabled(true);
    lockedWindow = nullptr;
  }
  if (restoreCursor_ && Screen) Screen->SetCursor(savedCursor_);
}

std::unique_ptr<TLockWindowSaver> LockWindowUpdates(TWinControl* window, TCursor cursor) {
  return std::make_unique<TLockWindowSaver>(window, cursor);
}

}  // namespace px
