#pragma once
// Controls and their message layer.
//
// A TWinControl hosts one QWidget; a TGraphicControl has none and is painted
// and fed mouse input by its parent. Qt events reach a control as message
// records (TMessage) through WndProc, so descendants handle window messages
// by overriding WndProc and passing what they do not handle to the base.
// Perform delivers a message at once; PostMessage queues it on the GUI thread
// (from any thread) and drops it when the receiver is gone by then.
//
// Layout follows the class library: on every resize of a parent its children
// aligned alTop, alBottom, alLeft, alRight and alClient are placed in that
// order inside the parent's client rectangle (AdjustClientRect), each group
// in the order of its current position; children with alNone follow their
// Anchors.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gui/Graphics.h"

class QWidget;
class QEvent;
class QPainter;

namespace px {

// ---------------------------------------------------------------------------
// Messages
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
// A window handle: an opaque number naming a message receiver; 0 is none.
using HWND = uintptr_t;

struct TMessage {
  Cardinal Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

constexpr Cardinal WM_NULL = 0x0000;
constexpr Cardinal WM_DESTROY = 0x0002;
constexpr Cardinal WM_SIZE = 0x0005;
constexpr Cardinal WM_SETFOCUS = 0x0007;
constexpr Cardinal WM_KILLFOCUS = 0x0008;
constexpr Cardinal WM_ENABLE = 0x000A;
constexpr Cardinal WM_SETREDRAW = 0x000B;
constexpr Cardinal WM_PAINT = 0x000F;
constexpr Cardinal WM_CLOSE = 0x0010;
constexpr Cardinal WM_ERASEBKGND = 0x0014;
constexpr Cardinal WM_SYSCOLORCHANGE = 0x0015;
constexpr Cardinal WM_SHOWWINDOW = 0x0018;
constexpr Cardinal WM_ACTIVATEAPP = 0x001C;
constexpr Cardinal WM_CANCELMODE = 0x001F;
constexpr Cardinal WM_SETCURSOR = 0x0020;
constexpr Cardinal WM_GETMINMAXINFO = 0x0024;
constexpr Cardinal WM_SETFONT = 0x0030;
constexpr Cardinal WM_GETOBJECT = 0x003D;
constexpr Cardinal WM_WINDOWPOSCHANGED = 0x0047;
constexpr Cardinal WM_CONTEXTMENU = 0x007B;
constexpr Cardinal WM_NCDESTROY = 0x0082;
constexpr Cardinal WM_NCCALCSIZE = 0x0083;
constexpr Cardinal WM_NCHITTEST = 0x0084;
constexpr Cardinal WM_NCPAINT = 0x0085;
constexpr Cardinal WM_GETDLGCODE = 0x0087;
constexpr Cardinal WM_NCMOUSEMOVE = 0x00A0;
constexpr Cardinal WM_NCLBUTTONDOWN = 0x00A1;
constexpr Cardinal WM_NCLBUTTONUP = 0x00A2;
constexpr Cardinal WM_NCLBUTTONDBLCLK = 0x00A3;
constexpr Cardinal WM_NCRBUTTONDOWN = 0x00A4;
constexpr Cardinal WM_NCRBUTTONUP = 0x00A5;
constexpr Cardinal WM_NCRBUTTONDBLCLK = 0x00A6;
constexpr Cardinal WM_NCMBUTTONDOWN = 0x00A7;
constexpr Cardinal WM_NCMBUTTONUP = 0x00A8;
constexpr Cardinal WM_NCMBUTTONDBLCLK = 0x00A9;
constexpr Cardinal WM_KEYDOWN = 0x0100;
constexpr Cardinal WM_KEYUP = 0x0101;
constexpr Cardinal WM_CHAR = 0x0102;
constexpr Cardinal WM_TIMER = 0x0113;
constexpr Cardinal WM_HSCROLL = 0x0114;
constexpr Cardinal WM_VSCROLL = 0x0115;
constexpr Cardinal WM_MOUSEMOVE = 0x0200;
constexpr Cardinal WM_LBUTTONDOWN = 0x0201;
constexpr Cardinal WM_LBUTTONUP = 0x0202;
constexpr Cardinal WM_LBUTTONDBLCLK = 0x0203;
constexpr Cardinal WM_RBUTTONDOWN = 0x0204;
constexpr Cardinal WM_RBUTTONUP = 0x0205;
constexpr Cardinal WM_RBUTTONDBLCLK = 0x0206;
constexpr Cardinal WM_MBUTTONDOWN = 0x0207;
constexpr Cardinal WM_MBUTTONUP = 0x0208;
constexpr Cardinal WM_MBUTTONDBLCLK = 0x0209;
constexpr Cardinal WM_MOUSEWHEEL = 0x020A;
constexpr Cardinal WM_DEVICECHANGE = 0x0219;
// WM_DEVICECHANGE wParam: a device was added to or removed from the system.
constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;
constexpr Cardinal WM_CUT = 0x0300;
constexpr Cardinal WM_COPY = 0x0301;
constexpr Cardinal WM_PASTE = 0x0302;
constexpr Cardinal WM_PRINT = 0x0317;
constexpr Cardinal WM_PRINTCLIENT = 0x0318;
constexpr Cardinal WM_THEMECHANGED = 0x031A;
constexpr Cardinal WM_USER = 0x0400;
constexpr Cardinal WM_APP = 0x8000;

// Notifications between controls of this layer.
constexpr Cardinal CM_BASE = 0xB000;
constexpr Cardinal CM_ENABLEDCHANGED = CM_BASE + 3;
constexpr Cardinal CM_COLORCHANGED = CM_BASE + 4;
constexpr Cardinal CM_FONTCHANGED = CM_BASE + 5;
constexpr Cardinal CM_CURSORCHANGED = CM_BASE + 6;
constexpr Cardinal CM_TEXTCHANGED = CM_BASE + 18;
constexpr Cardinal CM_MOUSEENTER = CM_BASE + 19;
constexpr Cardinal CM_MOUSELEAVE = CM_BASE + 20;
constexpr Cardinal CM_VISIBLECHANGED = CM_BASE + 22;
constexpr Cardinal CM_ENTER = CM_BASE + 23;
constexpr Cardinal CM_EXIT = CM_BASE + 24;
constexpr Cardinal CM_DIALOGKEY = CM_BASE + 25;
constexpr Cardinal CM_SYSCOLORCHANGE = CM_BASE + 31;
constexpr Cardinal CM_RELEASE = CM_BASE + 33;
constexpr Cardinal CM_HINTSHOW = CM_BASE + 48;
constexpr Cardinal CM_BIDIMODECHANGED = CM_BASE + 60;
constexpr Cardinal CM_MOUSEWHEEL = CM_BASE + 67;
constexpr Cardinal CM_HINTSHOWPAUSE = CM_BASE + 69;
constexpr Cardinal CM_DRAG = CM_BASE + 70;

constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM MK_LBUTTON = 0x1;
constexpr WPARAM MK_RBUTTON = 0x2;
constexpr WPARAM MK_SHIFT = 0x4;
constexpr WPARAM MK_CONTROL = 0x8;
constexpr WPARAM MK_MBUTTON = 0x10;
// Alt held: carried in the same flags as Shift and Control (mouse messages'
// WParam, key messages' LParam).
constexpr WPARAM MK_ALT = 0x100;
// WM_KEYDOWN, WM_KEYUP and WM_CHAR LParam: the key lies on the numeric keypad.
constexpr LPARAM KF_KEYPAD = 0x01000000;

// WM_GETDLGCODE answers: the keys a control keeps from the form's dialog
// handling (Tab moving the focus, Return and Escape pressing the default and
// cancel buttons).
constexpr LRESULT DLGC_WANTARROWS = 0x1;
constexpr LRESULT DLGC_WANTTAB = 0x2;
constexpr LRESULT DLGC_WANTALLKEYS = 0x4;
constexpr LRESULT DLGC_WANTCHARS = 0x80;

constexpr LPARAM MakeLParam(int32_t lo, int32_t hi) {
  return static_cast<LPARAM>(static_cast<uint32_t>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}
constexpr int16_t LoWordSigned(LPARAM v) { return static_cast<int16_t>(v & 0xFFFF); }
constexpr int16_t HiWordSigned(LPARAM v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

// Virtual key codes.
constexpr Word VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_BACK = 0x08, VK_TAB = 0x09,
               VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_ESCAPE = 0x1B,
               VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
               VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
               VK_NUMPAD0 = 0x60, VK_NUMPAD1 = 0x61, VK_NUMPAD2 = 0x62, VK_NUMPAD3 = 0x63, VK_NUMPAD4 = 0x64,
               VK_NUMPAD5 = 0x65, VK_NUMPAD6 = 0x66, VK_NUMPAD7 = 0x67, VK_NUMPAD8 = 0x68, VK_NUMPAD9 = 0x69,
               VK_DECIMAL = 0x6E, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_DIVIDE = 0x6F, VK_F1 = 0x70,
               VK_F2 = 0x71, VK_F5 = 0x74, VK_F10 = 0x79, VK_F12 = 0x7B, VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1,
               VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3, VK_APPS = 0x5D;

// The state of a key or mouse button (VK_SHIFT, VK_CONTROL, VK_MENU,
// VK_LBUTTON, VK_RBUTTON, VK_MBUTTON) as of the last input event the
// application received: negative (high bit set) while it is down, else 0.
int16_t GetKeyState(int32_t virtualKey);

// Receivers of posted and sent messages that are not controls (hidden
// message windows). Each gets a handle; a message to a released handle is
// dropped.
using TWndMethod = std::function<void(TMessage&)>;
HWND AllocateHWnd(TWndMethod method);
void DeallocateHWnd(HWND handle);
// Queues a message on the GUI thread; callable from any thread. Answers false
// when the handle names no receiver.
bool PostMessage(HWND handle, Cardinal msg, WPARAM wParam, LPARAM lParam);
// Delivers at once on the calling (GUI) thread; 0 when there is no receiver.
LRESULT SendMessage(HWND handle, Cardinal msg, WPARAM wParam, LPARAM lParam);
bool IsWindow(HWND handle);

// ---------------------------------------------------------------------------
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
// Reading order of a control's text; the tree's columns and the framework
// edits both use it.
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
// Left and right swapped (what reads right to left); centre stays.
void ChangeBiDiModeAlignment(TAlignment& alignment);
using TAnchors = TSet<TAnchorKind>;
enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateFlag>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
using TCursor = int16_t;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12,
                  crNoDrop = -13, crHSplit = -14, crVSplit = -15, crNo = -18, crAppStart = -19, crHelp = -20,
                  crHandPoint = -21, crSizeAll = -22;

// Cursor slots: the program's own cursors by id, each an image (pixels of
// clFuchsia are transparent) with its hot spot. Controls showing such an id
// show the image.
void SetCursorImage(TCursor cursor, const TBitmap& image, TPoint hotSpot);
bool HasCursorImage(TCursor cursor);

// The keys and buttons of MK_ flags (mouse messages' WParam, key
// messages' LParam).
TShiftState ShiftStateOfFlags(WPARAM flags);

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int32_t x, int32_t y)>;
using TKeyEvent = std::function<void(TObject* sender, Word& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char16_t& key)>;

class TWinControl;
class TControl;
class TPopupMenu;

// Size limits of a control, applied by SetBounds; 0 is no limit.
class TSizeConstraints {
 public:
  explicit TSizeConstraints(TControl* control) : control_(control) {}
  int32_t MinWidth() const { return minWidth_; }
  int32_t MinHeight() const { return minHeight_; }
  int32_t MaxWidth() const { return maxWidth_; }
  int32_t MaxHeight() const { return maxHeight_; }
  void SetMinWidth(int32_t v);
  void SetMinHeight(int32_t v);
  void SetMaxWidth(int32_t v);
  void SetMaxHeight(int32_t v);
  // The width and height within the limits.
  void Apply(int32_t& width, int32_t& height) const;

 private:
  void changed();
  TControl* control_;
  int32_t minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
};

class THintWindow;
class TCustomControl;
// Makes the window that shows a hint.
using THintWindowClass = std::function<THintWindow*(TComponent* owner)>;

// What CM_HINTSHOW hands to the control under the pointer (LParam points to
// it); the control may change any field and answers 1 to show no hint.
struct THintInfo {
  TControl* HintControl = nullptr;
  THintWindowClass HintWindowClass;
  TPoint HintPos;           // screen position of the hint window
  int32_t HintMaxWidth = 0;
  TColor HintColor = clInfoBk;
  TRect CursorRect;         // client rectangle of HintControl the hint belongs to
  TPoint CursorPos;         // pointer in HintControl's client coordinates
  int32_t ReshowTimeout = 0;  // ms; 0: none
  int32_t HideTimeout = 0;    // ms; 0: the application's hide pause
  std::string HintStr;
  void* HintData = nullptr;
};
class TBasicAction;
class TControlActionLink;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetLeft(int32_t v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int32_t v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int32_t v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int32_t v) { SetBounds(left_, top_, width_, v); }
  // Bounds in the parent's client coordinates; also fixes the anchor
  // distances that later parent resizes keep.
  virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual TRect ClientRect() const { return Rect(0, 0, width_, height_); }
  int32_t ClientWidth() const { return ClientRect().Width(); }
  int32_t ClientHeight() const { return ClientRect().Height(); }
  void SetClientSize(int32_t w, int32_t h);
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  // The point in the coordinates of the nearest windowed control (this one
  // for a windowed control).
  TPoint ClientOrigin() const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign value);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors value);

  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent up to a form visible.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TFont& Font() { return font_; }
  // Reading order of the control's text. bdRightToLeft also mirrors the
  // control's alignment; the other right-to-left modes only read right to
  // left. A change reaches the control as CM_BIDIMODECHANGED.
  TBiDiMode BiDiMode() const { return bidiMode_; }
  void SetBiDiMode(TBiDiMode value);
  bool UseRightToLeftReading() const { return bidiMode_ != bdLeftToRight; }
  virtual bool UseRightToLeftAlignment() const { return bidiMode_ == bdRightToLeft; }
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& value) { SetText(value); }
  const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& value);
  std::string Hint;
  bool ShowHint = false;
  // The menu a right click shows. The control asks for free notification,
  // so a menu freed first is forgotten instead of left dangling.
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* value);
  void Notification(TComponent* component, TOperation operation) override;
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor value);
  // The context of the help for the control (0: none).
  int32_t HelpContext = 0;
  TSizeConstraints& Constraints() { return constraints_; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

  // Delivers a message now through WndProc and answers its Result.
  LRESULT Perform(Cardinal msg, WPARAM wParam = 0, LPARAM lParam = 0);
  virtual void WndProc(TMessage& message);

  virtual void Invalidate();
  // Paints pending invalid areas at once.
  virtual void Update();
  void Repaint() {
    Invalidate();
    Update();
  }
  void BringToFront();
  void SendToBack();
  virtual void Click();

  // The linked action: the control follows its caption, hint, enabled and
  // visible state, and a click without OnClick executes it.
  TBasicAction* Action() const;
  void SetAction(TBasicAction* action);

 protected:
  friend class TWinControl;
  friend class TControlActionLink;
  // The linked action changed (nullptr: it went away).
  virtual void ActionChange(TBasicAction* sender);
  TControlActionLink* ActionLink() const { return actionLink_.get(); }
  virtual void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseMove(TShiftState shift, int32_t x, int32_t y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void DblClick();
  virtual void Resize();
  virtual void Changed(Cardinal cm);
  // Paints a control without its own window onto the parent's canvas, whose
  // origin is already moved to this control's top-left corner.
  virtual void PaintOnParent(TCanvas& canvas);
  void requestParentLayout();
  void rememberAnchors();
  // Expires when the control is freed: for code that must not touch the
  // control after a handler that may free it.
  std::weak_ptr<char> LifeToken() const { return life_; }
  bool mouseCaptured_ = false;

 private:
  TWinControl* parent_ = nullptr;
  int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  // Distances kept by the anchors: the bounds and the parent's client size
  // when the bounds were last set from outside the layout.
  TRect anchorBounds_;
  TSize anchorParent_;
  bool anchorsValid_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clBtnFace;
  TBiDiMode bidiMode_ = bdLeftToRight;
  TFont font_;
  std::string text_;
  TCursor cursor_ = crDefault;
  TSizeConstraints constraints_{this};
  TPopupMenu* popupMenu_ = nullptr;
  std::unique_ptr<TControlActionLink> actionLink_;
  // Expires when the control is freed: code that calls a handler checks it
  // before touching the control again (a handler may free its own control).
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  QWidget* Widget() const { return widget_; }
  // The window handle: a message receiver for PostMessage/SendMessage.
  HWND Handle() const { return handle_; }
  bool HandleAllocated() const { return handle_ != 0; }

  Integer ControlCount() const { return static_cast<Integer>(controls_.size()); }
  TControl* Controls(Integer index) const;
  bool ContainsControl(const TControl* control) const;

  void SetParent(TWinControl* parent) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void SetEnabled(bool value) override;
  void SetText(const std::string& value) override;
  void Invalidate() override;
  void Update() override;

  // Invalidates part of the client area (nullptr: all of it).
  void InvalidateRect(const TRect* rect);
  // During WM_PAINT the part of the client area to repaint; the whole
  // client area otherwise.
  TRect PaintRect() const;
  // Scrolls the contents by dx, dy within clip (client coordinates;
  // nullptr: the client area); the uncovered part is repainted.
  void ScrollWindow(int32_t dx, int32_t dy, const TRect* clip = nullptr);
  // WM_SETREDRAW: with false the window is not painted until it is switched
  // on again, which repaints it.
  void SetRedraw(bool on);
  bool RedrawOn() const;
  // Window timers by id: every expiry delivers WM_TIMER with the id in
  // WParam until KillTimer. Setting a running id restarts it.
  void SetTimer(uintptr_t id, Cardinal ms);
  void KillTimer(uintptr_t id);
  bool TimerRunning(uintptr_t id) const { return timers_.count(id) != 0; }
  // Mouse capture that outlasts a held button: mouse messages come here
  // until ReleaseCapture.
  void SetCapture();
  void ReleaseCapture();
  bool HasCapture() const { return captureSet_; }
  // The mouse position in client coordinates.
  TPoint CursorClientPos() const;

  // Places the aligned and anchored children again.
  void Realign();
  void DisableAlign() { ++alignDisabled_; }
  void EnableAlign();
  // The part of the client area where children align.
  virtual void AdjustClientRect(TRect& rect) const { (void)rect; }

  bool Focused() const;
  bool CanFocus() const;
  virtual void SetFocus();
  bool TabStop = false;

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  void WndProc(TMessage& message) override;
  // The topmost visible child without a window at the client point.
  TControl* ControlAtPos(TPoint p) const;

  // Used by the event bridge (not part of the control's interface).
  bool bridgeEvent(QWidget* watched, QEvent* event);

 protected:
  // Makes the widget; descendants that wrap a Qt control make theirs.
  explicit TWinControl(TComponent* owner, QWidget* widget);
  virtual void KeyDown(Word& key, TShiftState shift);
  virtual void KeyPress(char16_t& key);
  virtual void KeyUp(Word& key, TShiftState shift);
  virtual void DoEnter();
  virtual void DoExit();
  // Paints the control's own face (windowed controls that paint themselves).
  virtual void PaintWindow(TCanvas& canvas);
  virtual void AlignControls(TRect rect);
  // A child without alignment was moved or resized (outside an alignment
  // pass); a parent whose extent follows its children looks again.
  virtual void ControlBoundsChanged(TControl*) {}
  void Changed(Cardinal cm) override;
  // Where client coordinates start inside the widget (below a menu bar).
  virtual TPoint clientOffsetForChildren() const { return {0, 0}; }
  // Qt events the base does not turn into messages; true when consumed.
  virtual bool bridgeOtherEvent(QEvent* event);
  // Paints the control's face and its children without windows.
  void paintInto(QPainter& painter);
  // From a handler of a mouse message: the Qt control this control wraps
  // does not get the event (a click on a button drawn over an edit must not
  // move its caret).
  void KeepFromWidget() { keepFromWidget_ = true; }
  // False for wrapped Qt controls, which paint themselves. Those get
  // WM_PAINT after Qt painted them, with a canvas over the widget, to draw
  // over it.
  bool ownPaint_ = false;
  bool keepFromWidget_ = false;
  TCanvas* paintCanvas_ = nullptr;
  TRect paintRect_;
  bool inPaint_ = false;
  std::map<uintptr_t, int> timers_;  // our id -> Qt timer id
  bool captureSet_ = false;

 private:
  friend class TControl;
  void insertControl(TControl* control);
  void removeControl(TControl* control);
  void paintChildren(TCanvas& canvas);
  TControl* mouseTarget(TPoint p) const;
  QWidget* widget_;
  HWND handle_ = 0;
  std::unique_ptr<class TWidgetBridge> bridge_;
  std::vector<TControl*> controls_;
  int alignDisabled_ = 0;
  bool aligning_ = false;
  TControl* mouseOver_ = nullptr;
  TControl* captured_ = nullptr;
};

// A windowed control that paints itself on its Canvas in Paint.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  // The canvas while painting (a canvas without device otherwise).
  TCanvas& Canvas() { return canvas_; }
  TNotifyEvent OnPaint;

 protected:
  virtual void Paint();
  void PaintWindow(TCanvas& canvas) override;

 private:
  TCanvas canvas_;
};

// A control without a window, painted by its parent.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  TCanvas& Canvas() { return *canvas_; }
  TNotifyEvent OnPaint;

 protected:
  virtual void Paint();
  void PaintOnParent(TCanvas& canvas) override;

 private:
  TCanvas* canvas_;
  TCanvas idle_;
};

// Cursor slots: pictures with a hot spot under cursor ids of their own
// (positive ids); controls and the screen show them like the standard ones.
void SetCursorSlot(TCursor cursor, const TBitmap& image, TPoint hotSpot);
void ClearCursorSlot(TCursor cursor);
bool CursorSlotFilled(TCursor cursor);

// Renders a windowed control (and its children) into a 32-bit bitmap, for
// printing and for tests that probe pixels.
void PaintControlTo(TWinControl& control, TBitmap& bitmap);

}  // namespace px
