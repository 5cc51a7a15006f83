#pragma once
// A scoped guard that suspends painting of one of our windows and shows a busy
// cursor while a long update runs. Releasing the guard (also by an exception
// leaving the scope) repaints the window and brings back the cursor that was
// current when the guard was made.
#include <memory>

#include "platform/gui/Controls.h"

namespace px {

class TLockWindowSaver {
 public:
  // window: one of our windowed controls; nullptr means the main form. Only
  // our own window is ever locked, never the desktop.
  TLockWindowSaver(TWinControl* window, TCursor cursor);
  ~TLockWindowSaver();
  TLockWindowSaver(const TLockWindowSaver&) = delete;
  TLockWindowSaver& operator=(const TLockWindowSaver&) = delete;
  bool Locked() const { return locked_; }
  TWinControl* Window() const { return window_; }

 private:
  friend void ReleaseWindowUpdateLock();
  void release();
  bool locked_ = false;
  bool restoreCursor_ = false;
  TCursor savedCursor_ = crDefault;
  TWinControl* window_ = nullptr;
  HWND handle_ = 0;
};

// The guard as a value the caller keeps for the length of the update.
std::unique_ptr<TLockWindowSaver> LockWindowUpdates(TWinControl* window, TCursor cursor);

// Gives up every lock and busy cursor that guards hold now, for code that
// must show a dialog in the middle of a locked update made elsewhere; those
// guards then do nothing when they end.
void ReleaseWindowUpdateLock();

}  // namespace px
