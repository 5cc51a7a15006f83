#include "platform/gui/Controls.h"

#include <QCoreApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <map>
#include <mutex>

#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/GuiInternal.h"
#include "platform/gui/Menus.h"

namespace px {

// ---------------------------------------------------------------------------
// Message receivers

namespace {

struct HandleTable {
  std::mutex lock;
  std::map<HWND, std::shared_ptr<TWndMethod>> receivers;
  HWND next = 0x1000;
};

HandleTable& handles() {
  static HandleTable* table = new HandleTable;  // lives to the end of the process
  return *table;
}

std::shared_ptr<TWndMethod> findReceiver(HWND h) {
  std::lock_guard lock(handles().lock);
  auto it = handles().receivers.find(h);
  return it == handles().receivers.end() ? nullptr : it->second;
}

}  // namespace

HWND AllocateHWnd(TWndMethod method) {
  std::lock_guard lock(handles().lock);
  HWND h = handles().next++;
  handles().receivers[h] = std::make_shared<TWndMethod>(std::move(method));
  return h;
}

void DeallocateHWnd(HWND handle) {
  std::shared_ptr<TWndMethod> dying;
  std::lock_guard lock(handles().lock);
  auto it = handles().receivers.find(handle);
  if (it != handles().receivers.end()) {
    dying = std::move(it->second);
    handles().receivers.erase(it);
  }
}

bool IsWindow(HWND handle) { return handle != 0 && findReceiver(handle) != nullptr; }

bool PostMessage(HWND handle, Cardinal msg, WPARAM wParam, LPARAM lParam) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !IsWindow(handle)) return false;
  QMetaObject::invokeMethod(
      app,
      [handle, msg, wParam, lParam] {
        // Looked up at delivery: a receiver released meanwhile gets nothing.
        if (auto r = findReceiver(handle)) {
          TMessage m{msg, wParam, lParam, 0};
          Guarded([&] { (*r)(m); });
        }
      },
      Qt::QueuedConnection);
  return true;
}

LRESULT SendMessage(HWND handle, Cardinal msg, WPARAM wParam, LPARAM lParam) {
  auto r = findReceiver(handle);
  if (!r) return 0;
  TMessage m{msg, wParam, lParam, 0};
  (*r)(m);
  return m.Result;
}

namespace {
std::function<void(const std::exception&)>& exceptionHandler() {
  static std::function<void(const std::exception&)> h;
  return h;
}
}  // namespace

void SetGuiExceptionHandler(std::function<void(const std::exception&)> handler) {
  exceptionHandler() = std::move(handler);
}

int& GuiHandlerDepth() {
  static int depth = 0;
  return depth;
}

void HandleGuiException(const std::exception& e) {
  if (exceptionHandler()) exceptionHandler()(e);
  else OutputDebugString(std::string("Unhandled exception: ") + e.what());
}

// ---------------------------------------------------------------------------
// Event bridge: Qt events of a control's widget become messages.

class TWidgetBridge : public QObject {
 public:
  explicit TWidgetBridge(TWinControl* control) : control_(control) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Nothing of this object is touched after the call: the handler may free
    // the control, and the control owns this bridge.
    TGuiHandlerScope scope;
    try {
      return control_->bridgeEvent(static_cast<QWidget*>(watched), event);
    } catch (const std::exception& e) {
      HandleGuiException(e);
      return true;
    }
  }

 private:
  TWinControl* control_;
};

namespace {

WPARAM keyFlags(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  WPARAM w = 0;
  if (buttons & Qt::LeftButton) w |= MK_LBUTTON;
  if (buttons & Qt::RightButton) w |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) w |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) w |= MK_SHIFT;
  if (mods & Qt::ControlModifier) w |= MK_CONTROL;
  if (mods & Qt::AltModifier) w |= MK_ALT;
  return w;
}

}  // namespace

TShiftState ShiftStateOfFlags(WPARAM w) {
  TShiftState s;
  if (w & MK_SHIFT) s.Include(ssShift);
  if (w & MK_CONTROL) s.Include(ssCtrl);
  if (w & MK_ALT) s.Include(ssAlt);
  if (w & MK_LBUTTON) s.Include(ssLeft);
  if (w & MK_RBUTTON) s.Include(ssRight);
  if (w & MK_MBUTTON) s.Include(ssMiddle);
  return s;
}

// The keys and buttons held, as the input events last reported them.
struct TInputState {
  Qt::KeyboardModifiers modifiers;
  Qt::MouseButtons buttons;
};
TInputState& inputState() {
  static TInputState state;
  return state;
}

void NoteInputEvent(const QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* ke = static_cast<const QKeyEvent*>(event);
      // A modifier key's own event reports the modifiers before it changed.
      Qt::KeyboardModifiers m = ke->modifiers();
      Qt::KeyboardModifier own = ke->key() == Qt::Key_Shift     ? Qt::ShiftModifier
                                 : ke->key() == Qt::Key_Control ? Qt::ControlModifier
                                 : ke->key() == Qt::Key_Alt     ? Qt::AltModifier
                                                                : Qt::NoModifier;
      if (own != Qt::NoModifier) m.setFlag(own, event->type() == QEvent::KeyPress);
      inputState().modifiers = m;
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* me = static_cast<const QMouseEvent*>(event);
      inputState().buttons = me->buttons();
      inputState().modifiers = me->modifiers();
      break;
    }
    default: break;
  }
}

int16_t GetKeyState(int32_t vk) {
  const TInputState& s = inputState();
  bool down = false;
  switch (vk) {
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: down = s.modifiers & Qt::ShiftModifier; break;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: down = s.modifiers & Qt::ControlModifier; break;
    case VK_MENU: down = s.modifiers & Qt::AltModifier; break;
    case VK_LBUTTON: down = s.buttons & Qt::LeftButton; break;
    case VK_RBUTTON: down = s.buttons & Qt::RightButton; break;
    case VK_MBUTTON: down = s.buttons & Qt::MiddleButton; break;
    default: break;
  }
  return down ? static_cast<int16_t>(0x8000) : 0;
}

Word VirtualKeyOf(int qtKey, bool keypad) {
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<Word>(VK_NUMPAD0 + (qtKey - Qt::Key_0));
    if (qtKey == Qt::Key_Period || qtKey == Qt::Key_Comma) return VK_DECIMAL;
  }
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<Word>('A' + (qtKey - Qt::Key_A));
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<Word>('0' + (qtKey - Qt::Key_0));
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return static_cast<Word>(VK_F1 + (qtKey - Qt::Key_F1));
  switch (qtKey) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Asterisk: return VK_MULTIPLY;
    case Qt::Key_Plus: return VK_ADD;
    case Qt::Key_Minus: return VK_SUBTRACT;
    case Qt::Key_Slash: return VK_DIVIDE;
    case Qt::Key_Menu: return VK_APPS;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this](TGraphicsObject*) { Changed(CM_FONTCHANGED); };
}

TControl::~TControl() {
  actionLink_.reset();
  if (parent_) {
    parent_->removeControl(this);
    // A control without a window is part of its parent's picture: the
    // parent paints the place again, or the freed control stays on screen.
    parent_->Invalidate();
  }
  parent_ = nullptr;
}

void TControl::SetPopupMenu(TPopupMenu* value) {
  if (value == popupMenu_) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = value;
  if (value) value->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == popupMenu_) popupMenu_ = nullptr;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  Assert(parent != static_cast<TControl*>(this), "A control cannot be its own parent");
  if (parent_) {
    TWinControl* old = parent_;
    old->removeControl(this);
    parent_ = nullptr;
    old->Realign();
    old->Invalidate();
  }
  if (parent) {
    parent_ = parent;
    parent->insertControl(this);
    rememberAnchors();
    parent->Realign();
    parent->Invalidate();
  }
}

void TControl::rememberAnchors() {
  if (!parent_) return;
  anchorBounds_ = BoundsRect();
  TRect pc = parent_->ClientRect();
  anchorParent_ = {pc.Width(), pc.Height()};
  anchorsValid_ = true;
}

void TSizeConstraints::SetMinWidth(int32_t v) {
  minWidth_ = std::max(0, v);
  changed();
}
void TSizeConstraints::SetMinHeight(int32_t v) {
  minHeight_ = std::max(0, v);
  changed();
}
void TSizeConstraints::SetMaxWidth(int32_t v) {
  maxWidth_ = std::max(0, v);
  changed();
}
void TSizeConstraints::SetMaxHeight(int32_t v) {
  maxHeight_ = std::max(0, v);
  changed();
}

void TSizeConstraints::Apply(int32_t& width, int32_t& height) const {
  if (maxWidth_ > 0) width = std::min(width, maxWidth_);
  if (minWidth_ > 0) width = std::max(width, minWidth_);
  if (maxHeight_ > 0) height = std::min(height, maxHeight_);
  if (minHeight_ > 0) height = std::max(height, minHeight_);
}

void TSizeConstraints::changed() {
  if (!control_) return;
  // A window is resized by the window manager, which learns the lower limit
  // only from the widget.
  if (auto* win = dynamic_cast<TWinControl*>(control_))
    if (QWidget* w = win->Widget(); w && w->isWindow()) w->setMinimumSize(minWidth_, minHeight_);
  control_->SetBounds(control_->Left(), control_->Top(), control_->Width(), control_->Height());
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  constraints_.Apply(width, height);
  width = std::max(0, width);
  height = std::max(0, height);
  bool moved = left != left_ || top != top_;
  bool sized = width != width_ || height != height_;
  if (!moved && !sized) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (parent_ && !parent_->aligning_) {
    rememberAnchors();
    if (align_ != alNone) parent_->Realign();
    else parent_->ControlBoundsChanged(this);
  }
  if (parent_) {
    // A control without a window lives in its parent's paint.
    if (!dynamic_cast<TWinControl*>(this)) {
      parent_->Invalidate();
    }
  }
  if (sized && !dynamic_cast<TWinControl*>(this)) Resize();
}

void TControl::SetClientSize(int32_t w, int32_t h) {
  TRect c = ClientRect();
  SetBounds(left_, top_, width_ + (w - c.Width()), height_ + (h - c.Height()));
}

TPoint TControl::ClientOrigin() const {
  TPoint p{0, 0};
  const TControl* c = this;
  while (c && !dynamic_cast<const TWinControl*>(c)) {
    p = p + TPoint{c->left_, c->top_};
    c = c->parent_;
    if (c) p = p + static_cast<const TWinControl*>(c)->clientOffsetForChildren();
  }
  return p;
}

TPoint TControl::ClientToScreen(TPoint p) const {
  const TControl* c = this;
  TPoint off{0, 0};
  while (c && !dynamic_cast<const TWinControl*>(c)) {
    off = off + TPoint{c->left_, c->top_};
    c = c->parent_;
    if (c) off = off + static_cast<const TWinControl*>(c)->clientOffsetForChildren();
  }
  if (!c) return p + off;
  auto* w = static_cast<const TWinControl*>(c);
  QPoint g = w->Widget()->mapToGlobal(QPoint(p.X + off.X, p.Y + off.Y));
  return {g.x(), g.y()};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint origin = ClientToScreen({0, 0});
  return p - origin;
}

void TControl::SetAlign(TAlign value) {
  if (align_ == value) return;
  align_ = value;
  if (parent_) parent_->Realign();
}

void TControl::SetAnchors(TAnchors value) {
  anchors_ = value;
  rememberAnchors();
}

void TControl::SetVisible(bool value) {
  if (visible_ == value) return;
  visible_ = value;
  Changed(CM_VISIBLECHANGED);
  Perform(CM_VISIBLECHANGED, value ? 1 : 0, 0);
  if (parent_) {
    parent_->Realign();
    parent_->Invalidate();
  }
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void TControl::SetEnabled(bool value) {
  if (enabled_ == value) return;
  enabled_ = value;
  Changed(CM_ENABLEDCHANGED);
  Perform(CM_ENABLEDCHANGED);
  Invalidate();
}

void TControl::SetColor(TColor value) {
  if (color_ == value) return;
  color_ = value;
  Changed(CM_COLORCHANGED);
  Perform(CM_COLORCHANGED);
  Invalidate();
}

void TControl::SetText(const std::string& value) {
  if (text_ == value) return;
  text_ = value;
  Changed(CM_TEXTCHANGED);
  Perform(CM_TEXTCHANGED);
  Invalidate();
}

void TControl::SetCursor(TCursor value) {
  if (cursor_ == value) return;
  cursor_ = value;
  Changed(CM_CURSORCHANGED);
}

void ChangeBiDiModeAlignment(TAlignment& alignment) {
  if (alignment == taLeftJustify)
    alignment = taRightJustify;
  else if (alignment == taRightJustify)
    alignment = taLeftJustify;
}

void TControl::SetBiDiMode(TBiDiMode value) {
  if (bidiMode_ == value) return;
  bidiMode_ = value;
  Changed(CM_BIDIMODECHANGED);
  Perform(CM_BIDIMODECHANGED);
  Invalidate();
}

void TControl::Changed(Cardinal cm) {
  if (cm == CM_FONTCHANGED) Invalidate();
}

LRESULT TControl::Perform(Cardinal msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  const int32_t x = LoWordSigned(m.LParam), y = HiWordSigned(m.LParam);
  TShiftState shift = ShiftStateOfFlags(m.WParam);
  switch (m.Msg) {
    case WM_LBUTTONDOWN:
      mouseCaptured_ = true;
      MouseDown(mbLeft, shift, x, y);
      break;
    case WM_RBUTTONDOWN: MouseDown(mbRight, shift, x, y); break;
    case WM_MBUTTONDOWN: MouseDown(mbMiddle, shift, x, y); break;
    case WM_LBUTTONDBLCLK: {
      mouseCaptured_ = true;
      std::weak_ptr<char> alive = life_;
      DblClick();
      if (alive.expired()) return;
      MouseDown(mbLeft, shift + TShiftState{ssDouble}, x, y);
      break;
    }
    case WM_RBUTTONDBLCLK: MouseDown(mbRight, shift + TShiftState{ssDouble}, x, y); break;
    case WM_MBUTTONDBLCLK: MouseDown(mbMiddle, shift + TShiftState{ssDouble}, x, y); break;
    case WM_LBUTTONUP: {
      bool clicked = mouseCaptured_ && ClientRect().Contains({x, y});
      mouseCaptured_ = false;
      std::weak_ptr<char> alive = life_;
      MouseUp(mbLeft, shift, x, y);
      if (alive.expired()) return;
      if (clicked && enabled_) Click();
      break;
    }
    case WM_RBUTTONUP: MouseUp(mbRight, shift, x, y); break;
    case WM_MBUTTONUP: MouseUp(mbMiddle, shift, x, y); break;
    case WM_MOUSEMOVE: MouseMove(shift, x, y); break;
    default: break;
  }
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int32_t x, int32_t y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int32_t x, int32_t y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int32_t x, int32_t y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::Click() {
  if (OnClick) OnClick(this);
  else if (actionLink_) actionLink_->Execute(this);
}

TBasicAction* TControl::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TControl::SetAction(TBasicAction* action) {
  if (!action) {
    actionLink_.reset();
    return;
  }
  if (!actionLink_) actionLink_ = std::make_unique<TControlActionLink>(this);
  actionLink_->SetAction(action);
}

void TControl::ActionChange(TBasicAction* sender) {
  auto* a = dynamic_cast<TCustomAction*>(sender);
  if (!a) return;
  SetCaption(a->Caption());
  Hint = a->Hint();
  SetEnabled(a->Enabled());
  SetVisible(a->Visible());
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}
void TControl::PaintOnParent(TCanvas&) {}

void TControl::Invalidate() {
  if (parent_) parent_->Invalidate();
}
void TControl::Update() {
  if (parent_) parent_->Update();
}

void TControl::BringToFront() {
  if (!parent_) return;
  auto& v = parent_->controls_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.push_back(this);
  if (auto* w = dynamic_cast<TWinControl*>(this)) w->Widget()->raise();
  parent_->Realign();
  parent_->Invalidate();
}

void TControl::SendToBack() {
  if (!parent_) return;
  auto& v = parent_->controls_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.insert(v.begin(), this);
  if (auto* w = dynamic_cast<TWinControl*>(this)) w->Widget()->lower();
  parent_->Realign();
  parent_->Invalidate();
}

// ---------------------------------------------------------------------------
// TWinControl

namespace {

// Widgets whose deletion waits for the loop. Those still waiting when the
// application object goes are deleted then, so none is left behind.
void flushDeferredWidgets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void scheduleWidgetDeletion(QWidget* widget) {
  static bool routineAdded = false;
  if (!routineAdded) {
    qAddPostRoutine(flushDeferredWidgets);
    routineAdded = true;
  }
  widget->deleteLater();
}

}  // namespace

TWinControl::TWinControl(TComponent* owner) : TWinControl(owner, new QWidget) {
  ownPaint_ = true;
  widget_->setAttribute(Qt::WA_OpaquePaintEvent, true);
  widget_->setMouseTracking(true);
}

TWinControl::TWinControl(TComponent* owner, QWidget* widget) : TControl(owner), widget_(widget) {
  bridge_ = std::make_unique<TWidgetBridge>(this);
  widget_->installEventFilter(bridge_.get());
  widget_->setProperty("pxControl", QVariant::fromValue<void*>(this));
  handle_ = AllocateHWnd([this](TMessage& m) { WndProc(m); });
}

TWinControl::~TWinControl() {
  DeallocateHWnd(handle_);
  handle_ = 0;
  // Children go first, while this control is still whole; each one takes
  // itself out of the list.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    c->SetParent(nullptr);
    if (c->Owner() == nullptr || c->Owner() == this) continue;  // freed by its owner
    FreeObject(c);
  }
  if (widget_) {
    widget_->removeEventFilter(bridge_.get());
    widget_->setProperty("pxControl", QVariant());
    if (GuiHandlerDepth() > 0) {
      // Freed from a handler, perhaps one of this widget's own events or
      // signals: Qt still uses the widget when the handler returns.
      widget_->hide();
      widget_->setParent(nullptr);
      scheduleWidgetDeletion(widget_);
    } else {
      delete widget_;
    }
    widget_ = nullptr;
  }
}

TControl* TWinControl::Controls(Integer index) const {
  if (index < 0 || index >= ControlCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return controls_[static_cast<size_t>(index)];
}

bool TWinControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

void TWinControl::insertControl(TControl* control) {
  controls_.push_back(control);
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    w->widget_->setParent(widget_);
    TPoint off = clientOffsetForChildren();
    w->widget_->setGeometry(w->Left() + off.X, w->Top() + off.Y, w->Width(), w->Height());
    w->widget_->setVisible(w->Visible());
  }
}

void TWinControl::removeControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (mouseOver_ == control) mouseOver_ = nullptr;
  if (captured_ == control) captured_ = nullptr;
  if (auto* w = dynamic_cast<TWinControl*>(control)) {
    if (w->widget_) {
      w->widget_->hide();
      w->widget_->setParent(nullptr);
    }
  }
}

void TWinControl::SetParent(TWinControl* parent) {
  Assert(!ContainsControl(parent) || parent == nullptr, "A control cannot be placed inside itself");
  TControl::SetParent(parent);
}

void TWinControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  bool sized = std::max(0, width) != Width() || std::max(0, height) != Height();
  TControl::SetBounds(left, top, width, height);
  TPoint off = Parent() ? Parent()->clientOffsetForChildren() : TPoint{Left(), Top()};
  if (Parent()) widget_->setGeometry(Left() + off.X, Top() + off.Y, Width(), Height());
  else if (widget_->isWindow()) widget_->setGeometry(Left(), Top(), Width(), Height());
  if (sized) {
    Realign();
    Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(ClientWidth(), ClientHeight()));
  }
}

void TWinControl::SetEnabled(bool value) {
  TControl::SetEnabled(value);
  widget_->setEnabled(value);
}

void TWinControl::SetText(const std::string& value) {
  TControl::SetText(value);
  if (widget_->isWindow()) widget_->setWindowTitle(QString::fromStdString(value));
}

void TWinControl::Changed(Cardinal cm) {
  TControl::Changed(cm);
  if (cm == CM_VISIBLECHANGED && Parent()) widget_->setVisible(Visible());
  if (cm == CM_CURSORCHANGED) {
    if (Cursor() == crDefault) widget_->unsetCursor();
    else widget_->setCursor(QtCursorOf(Cursor()));
  }
}

void TWinControl::Invalidate() {
  if (widget_) widget_->update();
}

void TWinControl::Update() {
  if (widget_ && widget_->isVisible()) widget_->repaint();
}

void TWinControl::InvalidateRect(const TRect* rect) {
  if (!widget_) return;
  if (!rect) {
    widget_->update();
    return;
  }
  TPoint off = clientOffsetForChildren();
  widget_->update(QRect(rect->Left + off.X, rect->Top + off.Y, rect->Width(), rect->Height()));
}

TRect TWinControl::PaintRect() const { return inPaint_ ? paintRect_ : ClientRect(); }

void TWinControl::ScrollWindow(int32_t dx, int32_t dy, const TRect* clip) {
  if (!widget_ || (dx == 0 && dy == 0)) return;
  TPoint off = clientOffsetForChildren();
  TRect r = clip ? *clip : ClientRect();
  widget_->scroll(dx, dy, QRect(r.Left + off.X, r.Top + off.Y, r.Width(), r.Height()));
}

void TWinControl::SetRedraw(bool on) {
  if (widget_) widget_->setUpdatesEnabled(on);
}

bool TWinControl::RedrawOn() const { return widget_ && widget_->updatesEnabled(); }

void TWinControl::SetTimer(uintptr_t id, Cardinal ms) {
  if (!widget_) return;
  KillTimer(id);
  int qtId = widget_->startTimer(static_cast<int>(std::min<Cardinal>(ms, INT32_MAX)));
  if (qtId != 0) timers_[id] = qtId;
}

void TWinControl::KillTimer(uintptr_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (widget_) widget_->killTimer(it->second);
  timers_.erase(it);
}

void TWinControl::SetCapture() {
  captureSet_ = true;
  mouseCaptured_ = true;
  if (widget_ && widget_->isVisible()) widget_->grabMouse();
}

void TWinControl::ReleaseCapture() {
  if (!captureSet_) return;
  captureSet_ = false;
  mouseCaptured_ = false;
  if (widget_ && QWidget::mouseGrabber() == widget_) widget_->releaseMouse();
}

TPoint TWinControl::CursorClientPos() const {
  if (!widget_) return {};
  QPoint p = widget_->mapFromGlobal(QCursor::pos());
  TPoint off = clientOffsetForChildren();
  return {p.x() - off.X, p.y() - off.Y};
}

void TWinControl::EnableAlign() {
  if (alignDisabled_ > 0 && --alignDisabled_ == 0) Realign();
}

void TWinControl::Realign() {
  if (alignDisabled_ > 0 || aligning_) return;
  TRect r = ClientRect();
  AdjustClientRect(r);
  aligning_ = true;
  try {
    AlignControls(r);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::AlignControls(TRect rect) {
  auto group = [&](TAlign a) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->Visible() && c->Align() == a) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->Top() < y->Top();
        case alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case alLeft: return x->Left() < y->Left();
        case alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    return list;
  };
  for (TControl* c : group(alTop)) {
    int32_t h = c->Height();
    c->SetBounds(rect.Left, rect.Top, rect.Width(), h);
    rect.Top += h;
  }
  for (TControl* c : group(alBottom)) {
    int32_t h = c->Height();
    c->SetBounds(rect.Left, rect.Bottom - h, rect.Width(), h);
    rect.Bottom -= h;
  }
  for (TControl* c : group(alLeft)) {
    int32_t w = c->Width();
    c->SetBounds(rect.Left, rect.Top, w, std::max(0, rect.Height()));
    rect.Left += w;
  }
  for (TControl* c : group(alRight)) {
    int32_t w = c->Width();
    c->SetBounds(rect.Right - w, rect.Top, w, std::max(0, rect.Height()));
    rect.Right -= w;
  }
  for (TControl* c : group(alClient))
    c->SetBounds(rect.Left, rect.Top, std::max(0, rect.Width()), std::max(0, rect.Height()));
  // Anchored children keep their distances to the edges they are anchored to;
  // without an anchor on either side of an axis they keep their relative place.
  TRect client = ClientRect();
  for (TControl* c : controls_) {
    if (c->Align() != alNone || !c->anchorsValid_) continue;
    const TRect& ab = c->anchorBounds_;
    int32_t dw = client.Width() - c->anchorParent_.cx;
    int32_t dh = client.Height() - c->anchorParent_.cy;
    TAnchors an = c->Anchors();
    int32_t l = ab.Left, w = ab.Width(), t = ab.Top, h = ab.Height();
    if (an.Contains(akLeft) && an.Contains(akRight)) w += dw;
    else if (an.Contains(akRight)) l += dw;
    else if (!an.Contains(akLeft)) l += dw / 2;
    if (an.Contains(akTop) && an.Contains(akBottom)) h += dh;
    else if (an.Contains(akBottom)) t += dh;
    else if (!an.Contains(akTop)) t += dh / 2;
    c->SetBounds(l, t, std::max(0, w), std::max(0, h));
  }
}

bool TWinControl::Focused() const { return widget_ && widget_->hasFocus(); }

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (widget_) {
    if (widget_->focusPolicy() == Qt::NoFocus) widget_->setFocusPolicy(Qt::StrongFocus);
    widget_->setFocus(Qt::OtherFocusReason);
  }
}

TControl* TWinControl::ControlAtPos(TPoint p) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (dynamic_cast<TWinControl*>(c) || !c->Visible()) continue;
    if (c->BoundsRect().Contains(p)) return c;
  }
  return nullptr;
}

TControl* TWinControl::mouseTarget(TPoint p) const {
  if (captured_) return captured_;
  TControl* c = ControlAtPos(p);
  return c && c->Enabled() ? c : const_cast<TWinControl*>(this);
}

void TWinControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN: {
      Word key = static_cast<Word>(m.WParam);
      KeyDown(key, ShiftStateOfFlags(static_cast<WPARAM>(m.LParam)));
      m.WParam = key;
      m.Result = key == 0 ? 1 : 0;
      return;
    }
    case WM_KEYUP: {
      Word key = static_cast<Word>(m.WParam);
      KeyUp(key, ShiftStateOfFlags(static_cast<WPARAM>(m.LParam)));
      m.WParam = key;
      return;
    }
    case WM_CHAR: {
      char16_t ch = static_cast<char16_t>(m.WParam);
      KeyPress(ch);
      m.WParam = ch;
      m.Result = ch == 0 ? 1 : 0;
      return;
    }
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
    case WM_GETDLGCODE:
      // Qt's own editors keep characters and arrows, multi-line ones Return
      // and Escape too; a control that paints itself wants none unless it
      // says so.
      if (ownPaint_) m.Result = 0;
      else if (widget_->inherits("QPlainTextEdit") || widget_->inherits("QTextEdit"))
        m.Result = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_WANTALLKEYS;
      else m.Result = DLGC_WANTCHARS | DLGC_WANTARROWS;
      return;
    case WM_SIZE: Resize(); return;
    case WM_PAINT:
      if (paintCanvas_) PaintWindow(*paintCanvas_);
      return;
    default: TControl::WndProc(m);
  }
}

void TWinControl::KeyDown(Word& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TWinControl::KeyPress(char16_t& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TWinControl::KeyUp(Word& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}
void TWinControl::PaintWindow(TCanvas&) {}

void TWinControl::paintChildren(TCanvas& canvas) {
  TPoint off = clientOffsetForChildren();
  for (TControl* c : controls_) {
    if (dynamic_cast<TWinControl*>(c) || !c->Visible() || c->Width() <= 0 || c->Height() <= 0) continue;
    canvas.Save();
    TPoint o = canvas.Origin();
    canvas.SetOrigin(o + TPoint{c->Left() + off.X, c->Top() + off.Y});
    canvas.IntersectClipRect(Rect(0, 0, c->Width(), c->Height()));
    c->PaintOnParent(canvas);
    canvas.Restore();
  }
}

void TWinControl::paintInto(QPainter& painter) {
  TQtPainterDevice device(&painter);
  TCanvas canvas(&device);
  if (ownPaint_) painter.fillRect(QRect(0, 0, Width(), Height()), ToQColor(Color()));
  paintCanvas_ = &canvas;
  inPaint_ = true;
  try {
    Perform(WM_PAINT);
    paintChildren(canvas);
  } catch (...) {
    paintCanvas_ = nullptr;
    inPaint_ = false;
    throw;
  }
  paintCanvas_ = nullptr;
  inPaint_ = false;
}

bool TWinControl::bridgeEvent(QWidget* watched, QEvent* event) {
  if (watched != widget_) return false;
  NoteInputEvent(event);
  switch (event->type()) {
    case QEvent::Timer: {
      int qtId = static_cast<QTimerEvent*>(event)->timerId();
      for (const auto& [id, running] : timers_)
        if (running == qtId) {
          Perform(WM_TIMER, id);
          return true;
        }
      return false;
    }
    case QEvent::Paint: {
      {
        QRect r = static_cast<QPaintEvent*>(event)->rect();
        TPoint off = clientOffsetForChildren();
        paintRect_ = Rect(r.left() - off.X, r.top() - off.Y, r.left() - off.X + r.width(), r.top() - off.Y + r.height());
      }
      if (!ownPaint_) {
        // A wrapped Qt control paints itself; children without a window
        // are drawn over it afterwards.
        widget_->removeEventFilter(bridge_.get());
        QCoreApplication::sendEvent(widget_, event);
        widget_->installEventFilter(bridge_.get());
        QPainter painter(widget_);
        TQtPainterDevice device(&painter);
        TCanvas canvas(&device);
        paintCanvas_ = &canvas;
        try {
          Perform(WM_PAINT);
        } catch (...) {
          paintCanvas_ = nullptr;
          throw;
        }
        paintCanvas_ = nullptr;
        paintChildren(canvas);
        return true;
      }
      QPainter painter(widget_);
      paintInto(painter);
      return true;
    }
    case QEvent::Resize: {
      QSize s = widget_->size();
      if (s.width() != Width() || s.height() != Height()) {
        // Resized from outside (the user or the window system).
        if (Parent()) TControl::SetBounds(Left(), Top(), s.width(), s.height());
        else SetBounds(Left(), Top(), s.width(), s.height());
        Realign();
        Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(ClientWidth(), ClientHeight()));
      }
      // Subclasses keep their own parts (a form's menu bar) sized too.
      return bridgeOtherEvent(event);
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* me = static_cast<QMouseEvent*>(event);
      TPoint off = clientOffsetForChildren();
      TPoint p{static_cast<int32_t>(me->position().x()) - off.X, static_cast<int32_t>(me->position().y()) - off.Y};
      TControl* target = mouseTarget(p);
      std::weak_ptr<char> alive = life_;
      if (event->type() == QEvent::MouseMove && target != mouseOver_) {
        if (mouseOver_ && mouseOver_ != this) mouseOver_->Perform(CM_MOUSELEAVE);
        if (alive.expired()) return true;
        mouseOver_ = target;
        if (mouseOver_ && mouseOver_ != this) mouseOver_->Perform(CM_MOUSEENTER);
        if (alive.expired()) return true;
        // A handler may have freed the control under the mouse.
        target = mouseTarget(p);
      }
      TPoint local = target == this ? p : p - TPoint{target->Left(), target->Top()};
      if (event->type() == QEvent::MouseMove) {
        HintMouseHook(target, local);
        if (alive.expired()) return true;
      }
      Qt::MouseButtons buttons = me->buttons();
      WPARAM flags = keyFlags(me->modifiers(), buttons);
      Cardinal msg = WM_MOUSEMOVE;
      int b = me->button() == Qt::RightButton ? 1 : me->button() == Qt::MiddleButton ? 2 : 0;
      if (event->type() == QEvent::MouseButtonPress) {
        msg = b == 0 ? WM_LBUTTONDOWN : b == 1 ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
        if (target != this && b == 0) captured_ = target;
      } else if (event->type() == QEvent::MouseButtonDblClick) {
        msg = b == 0 ? WM_LBUTTONDBLCLK : b == 1 ? WM_RBUTTONDBLCLK : WM_MBUTTONDBLCLK;
      } else if (event->type() == QEvent::MouseButtonRelease) {
        msg = b == 0 ? WM_LBUTTONUP : b == 1 ? WM_RBUTTONUP : WM_MBUTTONUP;
        if (b == 0) captured_ = nullptr;
      }
      std::weak_ptr<char> targetAlive = target->life_;
      keepFromWidget_ = false;
      target->Perform(msg, flags, MakeLParam(local.X, local.Y));
      // The handler may have freed the target or this control (a click that
      // closes the screen it sits on): then the event ends here.
      if (alive.expired()) return true;
      if (msg == WM_RBUTTONUP && !targetAlive.expired() && target->PopupMenu())
        ShowPopupMenuHook(target, ClientToScreen(p));
      if (keepFromWidget_) {
        keepFromWidget_ = false;
        return true;
      }
      return ownPaint_;
    }
    case QEvent::Enter: Perform(CM_MOUSEENTER); return false;
    case QEvent::Leave: {
      HintMouseHook(nullptr, {});
      std::weak_ptr<char> alive = life_;
      if (mouseOver_ && mouseOver_ != this) mouseOver_->Perform(CM_MOUSELEAVE);
      if (alive.expired()) return true;
      mouseOver_ = nullptr;
      Perform(CM_MOUSELEAVE);
      return alive.expired();
    }
    case QEvent::KeyPress: {
      auto* ke = static_cast<QKeyEvent*>(event);
      const bool keypad = ke->modifiers() & Qt::KeypadModifier;
      const LPARAM keyData = static_cast<LPARAM>(keyFlags(ke->modifiers(), Qt::NoButton)) | (keypad ? KF_KEYPAD : 0);
      Word vk = VirtualKeyOf(ke->key(), keypad);
      bool handled = false;
      // A key handler may free this control (Return that opens another screen).
      std::weak_ptr<char> alive = life_;
      if (vk) handled = Perform(WM_KEYDOWN, vk, keyData) != 0;
      if (alive.expired()) return true;
      if (!handled) {
        std::u16string chars(reinterpret_cast<const char16_t*>(ke->text().utf16()), static_cast<size_t>(ke->text().size()));
        for (char16_t ch : chars) {
          if (Perform(WM_CHAR, ch, keypad ? KF_KEYPAD : 0) != 0) handled = true;
          if (alive.expired()) return true;
        }
      }
      // Tab reaches a control only when it wants it (the form moves the
      // focus otherwise); Qt must not move the focus behind its back.
      if (vk == VK_TAB) return true;
      return handled || ownPaint_;
    }
    case QEvent::KeyRelease: {
      auto* ke = static_cast<QKeyEvent*>(event);
      std::weak_ptr<char> alive = life_;
      const bool keypad = ke->modifiers() & Qt::KeypadModifier;
      if (Word vk = VirtualKeyOf(ke->key(), keypad))
        Perform(WM_KEYUP, vk, static_cast<LPARAM>(keyFlags(ke->modifiers(), Qt::NoButton)) | (keypad ? KF_KEYPAD : 0));
      return alive.expired();
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
      std::weak_ptr<char> alive = life_;
      bool in = event->type() == QEvent::FocusIn;
      Perform(in ? WM_SETFOCUS : WM_KILLFOCUS);
      if (alive.expired()) return true;
      Perform(in ? CM_ENTER : CM_EXIT);
      return alive.expired();
    }
    case QEvent::Wheel: {
      auto* we = static_cast<QWheelEvent*>(event);
      int delta = we->angleDelta().y();
      WPARAM flags = keyFlags(we->modifiers(), we->buttons()) | (static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16);
      QPointF g = we->globalPosition();
      std::weak_ptr<char> alive = life_;
      Perform(WM_MOUSEWHEEL, flags, MakeLParam(static_cast<int32_t>(g.x()), static_cast<int32_t>(g.y())));
      return alive.expired();
    }
    default: return bridgeOtherEvent(event);
  }
}

bool TWinControl::bridgeOtherEvent(QEvent* event) {
  if (event->type() == QEvent::ContextMenu && !ownPaint_) {
    // A wrapped control may show a menu of its own: a non-zero result keeps
    // the widget's standard menu away.
    auto* ce = static_cast<QContextMenuEvent*>(event);
    std::weak_ptr<char> alive = life_;
    LRESULT r = Perform(WM_CONTEXTMENU, static_cast<WPARAM>(Handle()), MakeLParam(ce->globalPos().x(), ce->globalPos().y()));
    return alive.expired() || r != 0;
  }
  return false;
}

// ---------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}
TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(TCanvas& canvas) {
  canvas_.SetDevice(canvas.Device());
  canvas_.SetOrigin(canvas.Origin());
  canvas_.Font().Assign(Font());
  try {
    Paint();
  } catch (...) {
    canvas_.SetDevice(nullptr);
    throw;
  }
  canvas_.SetDevice(nullptr);
}

void TCustomControl::Paint() {
  if (OnPaint) OnPaint(this);
}

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), canvas_(&idle_) {}

void TGraphicControl::PaintOnParent(TCanvas& canvas) {
  canvas.Font().Assign(Font());
  canvas_ = &canvas;
  try {
    Paint();
  } catch (...) {
    canvas_ = &idle_;
    throw;
  }
  canvas_ = &idle_;
}

void TGraphicControl::Paint() {
  if (OnPaint) OnPaint(this);
}

void PaintControlTo(TWinControl& control, TBitmap& bitmap) {
  if (control.Width() <= 0 || control.Height() <= 0) {
    bitmap.SetSize(0, 0);
    return;
  }
  QImage image = control.Widget()->grab().toImage();
  bitmap.FromQImage(image, pf32bit);
}

// ---------------------------------------------------------------------------
// Hooks filled by the menu layer and the screen.

namespace {
std::function<void(TControl*, TPoint)>& popupHook() {
  static std::function<void(TControl*, TPoint)> h;
  return h;
}
}  // namespace

void SetPopupMenuHook(std::function<void(TControl*, TPoint)> hook) { popupHook() = std::move(hook); }

namespace {
std::function<void(TControl*, TPoint)>& hintHook() {
  static std::function<void(TControl*, TPoint)> h;
  return h;
}
}  // namespace

void SetHintMouseHook(std::function<void(TControl*, TPoint)> hook) { hintHook() = std::move(hook); }
void HintMouseHook(TControl* control, TPoint local) {
  if (hintHook()) hintHook()(control, local);
}
void ShowPopupMenuHook(TControl* control, TPoint screen) {
  if (popupHook()) popupHook()(control, screen);
}

namespace {
std::map<TCursor, QCursor>& cursorSlots() {
  static std::map<TCursor, QCursor> table;
  return table;
}
}  // namespace

void SetCursorImage(TCursor cursor, const TBitmap& image, TPoint hotSpot) {
  QImage picture = image.ToQImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if ((picture.pixel(x, y) & 0xFFFFFF) == 0xFF00FF) picture.setPixel(x, y, 0);
  cursorSlots()[cursor] = QCursor(QPixmap::fromImage(picture), hotSpot.X, hotSpot.Y);
}

bool HasCursorImage(TCursor cursor) { return cursorSlots().count(cursor) != 0; }

void SetCursorSlot(TCursor cursor, const TBitmap& image, TPoint hotSpot) { SetCursorImage(cursor, image, hotSpot); }

void ClearCursorSlot(TCursor cursor) { cursorSlots().erase(cursor); }

bool CursorSlotFilled(TCursor cursor) { return HasCursorImage(cursor); }

QCursor QtCursorOf(TCursor c) {
  if (auto it = cursorSlots().find(c); it != cursorSlots().end()) return it->second;
  switch (c) {
    case crNone: return QCursor(Qt::BlankCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS: case crVSplit: return QCursor(c == crVSplit ? Qt::SplitVCursor : Qt::SizeVerCursor);
    case crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE: case crHSplit: return QCursor(c == crHSplit ? Qt::SplitHCursor : Qt::SizeHorCursor);
    case crUpArrow: return QCursor(Qt::UpArrowCursor);
    case crHourGlass: return QCursor(Qt::WaitCursor);
    case crDrag: return QCursor(Qt::DragMoveCursor);
    case crNoDrop: case crNo: return QCursor(Qt::ForbiddenCursor);
    case crAppStart: return QCursor(Qt::BusyCursor);
    case crHelp: return QCursor(Qt::WhatsThisCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: return QCursor(Qt::ArrowCursor);
  }
}

}  // namespace px
