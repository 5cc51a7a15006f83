#pragma once
// Helpers shared by the files of the GUI layer; not for callers outside it.
#include <QCursor>
#include <exception>
#include <functional>

#include "platform/gui/Controls.h"

namespace px {

// Exceptions that escape an event handler end here instead of unwinding
// through Qt: the application shows them, tests may catch them.
void SetGuiExceptionHandler(std::function<void(const std::exception&)> handler);
void HandleGuiException(const std::exception& e);

// Runs a handler called from a Qt signal: what it throws goes to
// HandleGuiException.
template <typename F>
void Guarded(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    HandleGuiException(e);
  }
}

Word VirtualKeyOf(int qtKey);
QCursor QtCursorOf(TCursor cursor);

void SetPopupMenuHook(std::function<void(TControl*, TPoint)> hook);
void ShowPopupMenuHook(TControl* control, TPoint screen);

}  // namespace px
