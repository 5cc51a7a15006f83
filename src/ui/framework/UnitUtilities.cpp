#include "ui/framework/UnitUtilities.h"

#include <algorithm>
#include <vector>

#include <QWidget>

#include "platform/gui/Forms.h"

namespace px {

namespace {
// Only one window is locked at a time, as the platform allows.
TWinControl* lockedWindow = nullptr;
// Every guard alive, innermost last, so that a lock held elsewhere can be
// given up early.
std::vector<TLockWindowSaver*> liveSavers;
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
  liveSavers.push_back(this);
}

TLockWindowSaver::~TLockWindowSaver() {
  liveSavers.erase(std::remove(liveSavers.begin(), liveSavers.end(), this), liveSavers.end());
  release();
}

void TLockWindowSaver::release() {
  if (locked_) {
    // The window may have gone while locked; its handle tells.
    if (IsWindow(handle_) && window_->Widget()) window_->Widget()->setUpdatesEnabled(true);
    lockedWindow = nullptr;
    locked_ = false;
  }
  if (restoreCursor_ && Screen) Screen->SetCursor(savedCursor_);
  restoreCursor_ = false;
}

void ReleaseWindowUpdateLock() {
  // Innermost first, so the cursor ends as it was before the outermost guard.
  while (!liveSavers.empty()) {
    TLockWindowSaver* saver = liveSavers.back();
    liveSavers.pop_back();
    saver->release();
  }
}

std::unique_ptr<TLockWindowSaver> LockWindowUpdates(TWinControl* window, TCursor cursor) {
  return std::make_unique<TLockWindowSaver>(window, cursor);
}

}  // namespace px
