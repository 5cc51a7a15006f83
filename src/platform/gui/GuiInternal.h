#pragma once
// Helpers shared by the files of the GUI layer; not for callers outside it.
#include <QCursor>
#include <QEvent>
#include <exception>
#include <functional>

#include "platform/gui/Controls.h"

namespace px {

// Exceptions that escape an event handler end here instead of unwinding
// through Qt: the application shows them, tests may catch them.
void SetGuiExceptionHandler(std::function<void(const std::exception&)> handler);
void HandleGuiException(const std::exception& e);

// How many of our handlers run on the GUI thread right now. A control freed
// while one runs may be freed from inside its own Qt event or signal, so its
// widget is deleted later by the loop instead of under Qt's feet.
int& GuiHandlerDepth();
struct TGuiHandlerScope {
  TGuiHandlerScope() { ++GuiHandlerDepth(); }
  ~TGuiHandlerScope() { --GuiHandlerDepth(); }
  TGuiHandlerScope(const TGuiHandlerScope&) = delete;
  TGuiHandlerScope& operator=(const TGuiHandlerScope&) = delete;
};

// Runs a handler called from a Qt signal: what it throws goes to
// HandleGuiException.
template <typename F>
void Guarded(F&& f) {
  TGuiHandlerScope scope;
  try {
    f();
  } catch (const std::exception& e) {
    HandleGuiException(e);
  }
}

// The virtual key of a Qt key; keypad digits and the keypad's decimal key
// become VK_NUMPAD0..9 and VK_DECIMAL when keypad is set.
Word VirtualKeyOf(int qtKey, bool keypad = false);
// Keeps the state GetKeyState answers from a key or mouse event.
void NoteInputEvent(const QEvent* event);
QCursor QtCursorOf(TCursor cursor);

void SetPopupMenuHook(std::function<void(TControl*, TPoint)> hook);
void ShowPopupMenuHook(TControl* control, TPoint screen);
// The pointer moved over a control (client coordinates), or left the
// application's windows (nullptr); drives the hint cycle.
void SetHintMouseHook(std::function<void(TControl*, TPoint)> hook);
void HintMouseHook(TControl* control, TPoint local);

}  // namespace px
