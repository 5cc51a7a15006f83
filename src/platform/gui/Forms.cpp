#include "platform/gui/Forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

#include "platform/core/Debug.h"
#include "platform/core/Threads.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/GuiInternal.h"
#include "platform/gui/Menus.h"
#include "platform/gui/Printers.h"
#include "platform/gui/StdCtrls.h"

namespace px {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {
Cardinal loopPasses = 0;

// One pass of a message loop: sleeps until an event, a timer or a call
// handed over from another thread needs the thread, then handles what came.
// (The overload of processEvents with a time limit never sleeps: a loop
// built on it keeps a core busy while the program waits for its user.)
void loopPass() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  ++loopPasses;
}
}  // namespace

Cardinal MessageLoopPasses() { return loopPasses; }

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  Widget()->setWindowFlag(Qt::Window, true);
  SetVisible(false);
  Widget()->hide();
  SetBounds(0, 0, 640, 480);
  if (Application && !Application->Title().empty()) SetCaption(Application->Title());
}

TForm::~TForm() {
  if (menu_) SetMenu(nullptr);
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      OutputDebugString(std::string("TForm.OnDestroy: ") + e.what());
    }
  }
}

QMenuBar* TForm::MenuBar() {
  if (!menuBar_) {
    menuBar_ = new QMenuBar(Widget());
    menuBar_->setGeometry(0, 0, Width(), menuBar_->sizeHint().height());
    menuBar_->show();
    for (Integer i = 0; i < ControlCount(); ++i)
      if (auto* w = dynamic_cast<TWinControl*>(Controls(i)))
        w->Widget()->move(w->Left(), w->Top() + clientOffsetForChildren().Y);
    Realign();
  }
  return menuBar_;
}

void TForm::SetMenu(TMainMenu* menu) {
  if (menu == menu_) return;
  if (menu_) {
    TMainMenu* old = menu_;
    menu_ = nullptr;
    old->form_ = nullptr;
    old->RemoveFreeNotification(this);
    if (menuBar_) menuBar_->clear();
  }
  if (menu) {
    if (menu->form_ && menu->form_ != this) menu->form_->SetMenu(nullptr);
    menu_ = menu;
    menu->FreeNotification(this);
    menu->attach(this);
  }
}

void TForm::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == menu_) {
    menu_ = nullptr;
    if (menuBar_) menuBar_->clear();
  }
}

bool TForm::IsShortCut(Word key, TShiftState shift) {
  TShortCut sc = ShortCut(key, shift);
  if (sc == scNone) return false;
  if (menu_ && menu_->IsShortCut(sc)) return true;
  for (Integer i = 0; i < ComponentCount(); ++i)
    if (auto* list = dynamic_cast<TCustomActionList*>(Components(i)))
      if (list->IsShortCut(sc)) return true;
  return false;
}

namespace {

TWinControl* controlOfWidget(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (void* p = w->property("pxControl").value<void*>()) return static_cast<TWinControl*>(p);
  return nullptr;
}

void tabOrderList(TWinControl* parent, std::vector<TWinControl*>& list) {
  for (Integer i = 0; i < parent->ControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(parent->Controls(i))) {
      list.push_back(w);
      tabOrderList(w, list);
    }
}

}  // namespace

TWinControl* TForm::ActiveControl() const {
  TWinControl* c = controlOfWidget(QApplication::focusWidget());
  return c && c != this && ContainsControl(c) ? c : nullptr;
}

TWinControl* TForm::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const {
  std::vector<TWinControl*> list;
  tabOrderList(const_cast<TForm*>(this), list);
  if (list.empty()) return nullptr;
  const auto n = static_cast<std::ptrdiff_t>(list.size());
  std::ptrdiff_t start = std::find(list.begin(), list.end(), current) - list.begin();
  if (start == n) start = goForward ? n - 1 : 0;
  for (std::ptrdiff_t step = 1; step <= n; ++step) {
    std::ptrdiff_t i = goForward ? (start + step) % n : (start - step + n * 2) % n;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == current) continue;
    if ((!checkTabStop || c->TabStop) && c->CanFocus()) return c;
  }
  return nullptr;
}

void TForm::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
  TWinControl* next = FindNextControl(current, goForward, checkTabStop);
  if (!next) return;
  QWidget* w = next->Widget();
  if (!w) return;
  if (w->focusPolicy() == Qt::NoFocus || w->focusPolicy() == Qt::ClickFocus) w->setFocusPolicy(Qt::StrongFocus);
  // Moved by the keyboard: the control shows that it has the focus (a push
  // button draws its focus frame only for focus that came by the keyboard).
  w->setFocus(goForward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

TForm* GetParentForm(TControl* control) {
  while (control && control->Parent()) control = control->Parent();
  return dynamic_cast<TForm*>(control);
}

TPoint TForm::clientOffsetForChildren() const {
  return {0, menuBar_ ? menuBar_->sizeHint().height() : 0};
}

TRect TForm::ClientRect() const {
  int32_t off = clientOffsetForChildren().Y;
  return Rect(0, 0, Width(), std::max(0, Height() - off));
}

void TForm::Show() {
  SetVisible(true);
  Widget()->show();
  Widget()->raise();
  // A menu bar made before the window was first shown may have measured
  // itself unstyled; the controls below it are placed again with its real
  // height.
  if (menuBar_) {
    menuBar_->setGeometry(0, 0, Width(), menuBar_->sizeHint().height());
    Realign();
  }
  if (OnShow) OnShow(this);
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (!CloseQuery()) return;
  const bool isMain = Application && Application->MainForm() == this;
  TCloseAction action = isMain ? caFree : caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (modalDepth_ > 0) {
    // The modal loop ends on the result; a release waits for it to unwind.
    if (ModalResult == mrNone) ModalResult = mrCancel;
    if (action == caFree) Release();
    return;
  }
  if (isMain) {
    SetVisible(false);
    Widget()->hide();
    Application->Terminate();
    return;
  }
  switch (action) {
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree:
      SetVisible(false);
      Widget()->hide();
      Release();
      break;
    default:
      SetVisible(false);
      Widget()->hide();
      break;
  }
}

void TForm::Release() {
  if (modalDepth_ > 0) {
    releaseAfterModal_ = true;
    return;
  }
  PostMessage(Handle(), CM_RELEASE, 0, 0);
}

void TForm::WndProc(TMessage& message) {
  if (message.Msg == CM_DIALOGKEY) {
    // A key the focused control did not want: Tab moves the focus, Return
    // and Escape press the default and cancel buttons. Result 1: used.
    const auto key = static_cast<Word>(message.WParam);
    const auto flags = static_cast<WPARAM>(message.LParam);
    if (flags & (MK_CONTROL | MK_ALT)) return;
    if (key == VK_TAB) {
      SelectNext(ActiveControl(), (flags & MK_SHIFT) == 0, true);
      message.Result = 1;
      return;
    }
    if ((key == VK_RETURN || key == VK_ESCAPE) && (flags & MK_SHIFT) == 0) {
      std::function<TButton*(TWinControl*)> find = [&](TWinControl* w) -> TButton* {
        for (Integer i = 0; i < w->ControlCount(); ++i) {
          TControl* c = w->Controls(i);
          if (!c->Visible() || !c->Enabled()) continue;
          if (auto* b = dynamic_cast<TButton*>(c); b && (key == VK_RETURN ? b->Default() : b->Cancel)) return b;
          if (auto* cw = dynamic_cast<TWinControl*>(c))
            if (TButton* b = find(cw)) return b;
        }
        return nullptr;
      };
      if (TButton* b = find(this)) {
        b->Click();
        message.Result = 1;
      } else if (key == VK_ESCAPE && modalDepth_ > 0) {
        // A dialog without a Cancel button (About) is left with Escape too.
        ModalResult = mrCancel;
        message.Result = 1;
      }
    }
    return;
  }
  if (message.Msg == CM_RELEASE) {
    if (modalDepth_ > 0) {
      releaseAfterModal_ = true;
      return;
    }
    // The message arrives from the loop, outside every handler of this form:
    // nothing up the stack uses the form after this.
    if (Owner()) Owner()->RemoveComponent(this);
    FreeObject(this);
    return;
  }
  TWinControl::WndProc(message);
}

namespace {
TShowModalHook& modalHook() {
  static TShowModalHook h;
  return h;
}
}  // namespace

TShowModalHook SetShowModalHook(TShowModalHook hook) {
  TShowModalHook old = std::move(modalHook());
  modalHook() = std::move(hook);
  return old;
}

namespace {
// A modal form is a dialog of the main window: the window manager keeps it
// above that window and gives it no minimize or maximize button, and it
// keeps the size its layout was made for.
void makeDialogWindow(TForm* form) {
  TForm* main = Application ? Application->MainForm() : nullptr;
  if (!main || main == form || !main->Widget()) return;
  QWidget* w = form->Widget();
  w->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  w->setFixedSize(w->size());
  w->winId();
  main->Widget()->winId();
  if (QWindow* window = w->windowHandle()) window->setTransientParent(main->Widget()->windowHandle());
}
}  // namespace

TModalResult TForm::ShowModal() {
  ModalResult = mrNone;
  if (modalHook()) {
    // Copied, so a hook that replaces itself stays alive while it runs.
    TShowModalHook hook = modalHook();
    ModalResult = hook(*this);
    return ModalResult;
  }
  makeDialogWindow(this);
  Widget()->setWindowModality(Qt::ApplicationModal);
  ++modalDepth_;
  Show();
  // Sleeps until an event comes (see loopPass): what ends the loop happens
  // in one.
  while (ModalResult == mrNone && Visible() && !(Application && Application->Terminated())) loopPass();
  --modalDepth_;
  SetVisible(false);
  Widget()->hide();
  Widget()->setWindowModality(Qt::NonModal);
  TModalResult result = ModalResult;
  if (modalDepth_ == 0 && releaseAfterModal_) {
    releaseAfterModal_ = false;
    Release();
  }
  return result;
}


TWindowState TForm::WindowState() const {
  if (Widget()->isMinimized()) return wsMinimized;
  if (Widget()->isMaximized()) return wsMaximized;
  return wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
  Qt::WindowStates s = Qt::WindowNoState;
  if (state == wsMinimized) s = Qt::WindowMinimized;
  if (state == wsMaximized) s = Qt::WindowMaximized;
  Widget()->setWindowState(s);
}

void TForm::BringToFront() {
  Widget()->raise();
  Widget()->activateWindow();
}

bool TForm::bridgeOtherEvent(QEvent* event) {
  if (event->type() == QEvent::Close) {
    // The window system asks to close: run the form's own close logic.
    event->ignore();
    Close();
    return true;
  }
  if (event->type() == QEvent::Resize && menuBar_) menuBar_->setGeometry(0, 0, Width(), menuBar_->sizeHint().height());
  return false;
}

TFrame::TFrame(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 320, 240); }

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

TApplication::~TApplication() {
  delete hintTimer_;
  delete hintHideTimer_;
  if (hintControl_) hintControl_->RemoveFreeNotification(this);
  hintControl_ = nullptr;
  DestroyComponents();
  delete idleTimer_;
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  QCoreApplication::setApplicationName(QString::fromStdString(title));
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == mainForm_) mainForm_ = nullptr;
  if (operation == opRemove && component == hintControl_) {
    hintControl_ = nullptr;
    if (hintTimer_) hintTimer_->stop();
    hideHintWindow();
    hintActive_ = false;
  }
  if (operation == opRemove && component == hintWindow_) hintWindow_ = nullptr;
}

void TApplication::Run() {
  terminated_ = false;
  if (mainForm_) mainForm_->Show();
  if (!idleTimer_) {
    // OnIdle runs whenever the loop has nothing else to do.
    idleTimer_ = new QTimer;
    idleTimer_->setInterval(0);
    QObject::connect(idleTimer_, &QTimer::timeout, [this] {
      bool done = true;
      try {
        if (OnIdle) OnIdle(this, done);
        // With nothing else to do, the actions bring their clients up to date.
        if (done) UpdateActionLists();
      } catch (const std::exception& e) {
        HandleException(e);
      }
      idleTimer_->setInterval(done ? 100 : 0);
    });
  }
  idleTimer_->start();
  while (!terminated_) {
    loopPass();
    if (mainForm_ && !mainForm_->Visible()) terminated_ = true;
  }
  idleTimer_->stop();
}

void TApplication::Terminate() {
  terminated_ = true;
  // A loop asleep in its wait looks at the flag again (also when a signal
  // handler's thread or another thread asks).
  if (QCoreApplication* app = QCoreApplication::instance())
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(app->thread())) d->wakeUp();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::HandleException(const std::exception& e) {
  if (OnException) {
    OnException(this, e);
    return;
  }
  const auto* ex = dynamic_cast<const Exception*>(&e);
  MessageDlg(ex ? ex->Message() : std::string(e.what()), mtError, {mbOK});
}

void TApplication::ShowHint(const std::string& text, TPoint screenPos) {
  HintText = text;
  if (OnHint) OnHint(this);
  if (text.empty()) QToolTip::hideText();
  else QToolTip::showText(QPoint(screenPos.X, screenPos.Y), QString::fromStdString(text));
}

void TApplication::CancelHint() {
  HintText.clear();
  QToolTip::hideText();
  if (hintTimer_) hintTimer_->stop();
  if (hintHideTimer_) hintHideTimer_->stop();
  hideHintWindow();
  if (hintControl_) hintControl_->RemoveFreeNotification(this);
  hintControl_ = nullptr;
  hintActive_ = false;
}

void TApplication::hideHintWindow() {
  if (hintWindow_) hintWindow_->ReleaseHandle();
}

void TApplication::startHintTimer(int32_t ms) {
  if (!hintTimer_) {
    hintTimer_ = new QTimer;
    hintTimer_->setSingleShot(true);
    QObject::connect(hintTimer_, &QTimer::timeout, [this] { Guarded([this] { activateHint(); }); });
  }
  hintTimer_->start(std::max(0, ms));
}

void TApplication::HintMouseMessage(TControl* control, TPoint clientPos) {
  // The control whose hint applies: the nearest one up the parents that
  // shows hints.
  TControl* hc = control;
  while (hc && !hc->ShowHint) hc = hc->Parent();
  if (!hc) {
    CancelHint();
    return;
  }
  TPoint screen = control->ClientToScreen(clientPos);
  hintMousePos_ = screen;
  if (hc == hintControl_ && hintCursorRect_.Contains(screen)) return;
  // A new control, or the pointer left the rectangle the hint belonged to.
  const bool wasActive = hintActive_ && hintWindow_ && hintWindow_->Visible();
  hideHintWindow();
  if (hintHideTimer_) hintHideTimer_->stop();
  if (hc != hintControl_) {
    if (hintControl_) hintControl_->RemoveFreeNotification(this);
    hintControl_ = hc;
    hc->FreeNotification(this);
  }
  // Until the hint shows, the whole control counts as its rectangle.
  hintCursorRect_ = Rect(0, 0, 0, 0);
  int32_t pause = wasActive ? HintShortPause : HintPause;
  hc->Perform(CM_HINTSHOWPAUSE, wasActive ? 1 : 0, reinterpret_cast<LPARAM>(&pause));
  hintActive_ = wasActive;
  if (hintControl_) startHintTimer(pause);
}

void TApplication::activateHint() {
  TControl* hc = hintControl_;
  if (!hc || !hc->Showing()) {
    CancelHint();
    return;
  }
  // Where the pointer rests (synthetic input does not move the system cursor).
  TPoint screen = hintMousePos_;
  THintInfo info;
  info.HintControl = hc;
  info.HintWindowClass = HintWindowClass;
  info.HintPos = screen + TPoint{0, 20};
  info.HintMaxWidth = Screen ? std::max(1, Screen->Width()) : 1024;
  info.HintColor = clInfoBk;
  info.CursorRect = hc->ClientRect();
  info.CursorPos = hc->ScreenToClient(screen);
  info.HideTimeout = HintHidePause;
  info.HintStr = hc->Hint;
  // A "short|long" hint shows its short part.
  if (auto bar = info.HintStr.find('|'); bar != std::string::npos) info.HintStr.resize(bar);
  bool canShow = hc->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)) == 0;
  if (hintControl_ != hc) return;  // the control went away meanwhile
  // No new attempt while the pointer stays in the rectangle, shown or not.
  TPoint o = hc->ClientToScreen({0, 0});
  hintCursorRect_ = Rect(o.X + info.CursorRect.Left, o.Y + info.CursorRect.Top, o.X + info.CursorRect.Right,
                         o.Y + info.CursorRect.Bottom);
  if (!canShow || info.HintStr.empty()) {
    hideHintWindow();
    hintActive_ = false;
    return;
  }
  THintWindowClass cls = info.HintWindowClass ? info.HintWindowClass : HintWindowClass;
  if (hintWindow_ && hintWindowType_ != cls.target_type().name()) {
    THintWindow* old = hintWindow_;
    hintWindow_ = nullptr;
    RemoveComponent(old);
    FreeObject(old);
  }
  if (!hintWindow_) {
    hintWindow_ = cls(nullptr);
    InsertComponent(hintWindow_);
    hintWindowType_ = cls.target_type().name();
  }
  hintWindow_->SetColor(info.HintColor);
  TRect r = hintWindow_->CalcHintRect(info.HintMaxWidth, info.HintStr, info.HintData);
  r = Rect(info.HintPos.X, info.HintPos.Y, info.HintPos.X + r.Width(), info.HintPos.Y + r.Height());
  HintText = info.HintStr;
  hintWindow_->ActivateHintData(r, info.HintStr, info.HintData);
  hintActive_ = true;
  if (info.HideTimeout > 0) {
    if (!hintHideTimer_) {
      hintHideTimer_ = new QTimer;
      hintHideTimer_->setSingleShot(true);
      QObject::connect(hintHideTimer_, &QTimer::timeout, [this] { Guarded([this] { hideHintWindow(); }); });
    }
    hintHideTimer_->start(info.HideTimeout);
  }
  if (info.ReshowTimeout > 0) startHintTimer(info.ReshowTimeout);
}

// ---------------------------------------------------------------------------
// THintWindow

THintWindowClass HintWindowClass = [](TComponent* owner) -> THintWindow* { return new THintWindow(owner); };

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
  Widget()->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
  Widget()->setAttribute(Qt::WA_ShowWithoutActivating, true);
  SetVisible(false);
  Widget()->hide();
  SetColor(clInfoBk);
  Font().SetColor(clInfoText);
}

TRect THintWindow::CalcHintRect(int32_t maxWidth, const std::string& hint, void*) {
  TBitmap scratch(1, 1);
  scratch.Canvas().Font().Assign(Font());
  TRect r = Rect(0, 0, maxWidth, 0);
  scratch.Canvas().DrawText(hint, r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  return Rect(0, 0, r.Right + 6, r.Bottom + 2);
}

void THintWindow::ActivateHint(const TRect& rect, const std::string& hint) { ActivateHintData(rect, hint, nullptr); }

void THintWindow::ActivateHintData(const TRect& rect, const std::string& hint, void*) {
  SetCaption(hint);
  TRect r = rect;
  // Kept on the screen.
  if (Screen) {
    if (r.Right > Screen->Width()) r = Rect(Screen->Width() - r.Width(), r.Top, Screen->Width(), r.Bottom);
    if (r.Bottom > Screen->Height()) r = Rect(r.Left, Screen->Height() - r.Height(), r.Right, Screen->Height());
    if (r.Left < 0) r = Rect(0, r.Top, r.Width(), r.Bottom);
    if (r.Top < 0) r = Rect(r.Left, 0, r.Right, r.Height());
  }
  SetBoundsRect(r);
  Widget()->setGeometry(r.Left, r.Top, r.Width(), r.Height());
  SetVisible(true);
  Widget()->show();
  Widget()->raise();
  Invalidate();
}

void THintWindow::ReleaseHandle() {
  SetVisible(false);
  if (Widget()) Widget()->hide();
}

void THintWindow::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(bsSolid);
  c.FillRect(r);
  c.Pen().SetColor(clInfoText);
  c.Brush().SetStyle(bsClear);
  c.Rectangle(r);
  TRect t = Rect(r.Left + 2, r.Top + 1, r.Right - 2, r.Bottom - 1);
  c.Font().SetColor(Font().Color());
  c.DrawText(Caption(), t, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
}

namespace {

// Every input event passes here first: it keeps the state GetKeyState
// answers, ends a shown hint on a key or button press, and gives a form's
// shortcuts and dialog keys their turn before the focused control sees the
// key.
class TShortCutFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove: NoteInputEvent(event); break;
      default: return false;
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      if (Application) Guarded([] { Application->CancelHint(); });
      return false;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    if (Application) Guarded([] { Application->CancelHint(); });
    auto* ke = static_cast<QKeyEvent*>(event);
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (!window) return false;
    auto* form = dynamic_cast<TForm*>(static_cast<TWinControl*>(window->property("pxControl").value<void*>()));
    if (!form) return false;
    Word vk = VirtualKeyOf(ke->key(), ke->modifiers() & Qt::KeypadModifier);
    if (!vk) return false;
    TShiftState shift;
    if (ke->modifiers() & Qt::ShiftModifier) shift.Include(ssShift);
    if (ke->modifiers() & Qt::ControlModifier) shift.Include(ssCtrl);
    if (ke->modifiers() & Qt::AltModifier) shift.Include(ssAlt);
    // Plain keys stay with the controls; a shortcut needs a modifier or is
    // a function or editing key.
    bool special = (vk >= VK_F1 && vk <= VK_F1 + 23) || vk == VK_DELETE || vk == VK_INSERT || vk == VK_ESCAPE ||
                   vk == VK_RETURN;
    TGuiHandlerScope scope;
    try {
      if ((shift.Contains(ssCtrl) || shift.Contains(ssAlt) || special) && form->IsShortCut(vk, shift)) return true;
      if (vk != VK_TAB && vk != VK_RETURN && vk != VK_ESCAPE) return false;
      // Dialog keys: unless the focused control wants the key, the form
      // moves the focus (Tab) or presses its default or cancel button.
      LRESULT code = 0;
      if (TWinControl* receiver = controlOfWidget(static_cast<QWidget*>(watched)); receiver && receiver != form)
        code = receiver->Perform(WM_GETDLGCODE);
      LRESULT mask = vk == VK_TAB ? DLGC_WANTTAB : DLGC_WANTALLKEYS;
      if (code & mask) return false;
      WPARAM flags = (shift.Contains(ssShift) ? MK_SHIFT : 0) | (shift.Contains(ssCtrl) ? MK_CONTROL : 0) |
                     (shift.Contains(ssAlt) ? MK_ALT : 0);
      return form->Perform(CM_DIALOGKEY, vk, static_cast<LPARAM>(flags)) != 0;
    } catch (const std::exception& e) {
      HandleGuiException(e);
      return true;
    }
  }
};

TShortCutFilter* shortCutFilter = nullptr;

}  // namespace

void InitializeApplication() {
  if (!shortCutFilter && QCoreApplication::instance()) {
    shortCutFilter = new TShortCutFilter;
    QCoreApplication::instance()->installEventFilter(shortCutFilter);
  }
  SetHintMouseHook([](TControl* control, TPoint local) {
    if (Application) Application->HintMouseMessage(control, local);
  });
  SetPopupMenuHook([](TControl* control, TPoint screen) {
    TPopupMenu* menu = control->PopupMenu();
    if (!menu || !menu->AutoPopup) return;
    menu->SetPopupComponent(control);
    menu->Popup(screen.X, screen.Y);
  });
  if (!Screen) Screen = new TScreen;
  if (!Application) Application = new TApplication(nullptr);
  SetMainThread();
  // A call handed to the main thread wakes the Qt loop, which then runs it.
  SetWakeMainThread([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [] { CheckSynchronize(0); }, Qt::QueuedConnection);
  });
  SetGuiExceptionHandler([](const std::exception& e) {
    if (Application) Application->HandleException(e);
    else OutputDebugString(std::string("Unhandled exception: ") + e.what());
  });
  SetBeepHandler([] { QApplication::beep(); });
}

void FinalizeApplication() {
  delete SetPrinter(nullptr);
  SetPopupMenuHook(nullptr);
  SetHintMouseHook(nullptr);
  if (shortCutFilter) {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(shortCutFilter);
    delete shortCutFilter;
    shortCutFilter = nullptr;
  }
  SetWakeMainThread(nullptr);
  SetGuiExceptionHandler(nullptr);
  SetBeepHandler(nullptr);
  FreeObject(Application);
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
}

// ---------------------------------------------------------------------------
// TScreen

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  if (cursor_ != crDefault) QGuiApplication::restoreOverrideCursor();
  cursor_ = cursor;
  if (cursor_ != crDefault) QGuiApplication::setOverrideCursor(QtCursorOf(cursor_));
}

int32_t TScreen::Width() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 0;
}
int32_t TScreen::Height() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 0;
}

// ---------------------------------------------------------------------------
// TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  timer_ = new QTimer;
  QObject::connect(timer_, &QTimer::timeout, [this] {
    if (OnTimer) Guarded([this] { OnTimer(this); });
  });
  update();
}

TTimer::~TTimer() { delete timer_; }

void TTimer::SetEnabled(bool value) {
  enabled_ = value;
  update();
}

void TTimer::SetInterval(Cardinal ms) {
  interval_ = ms;
  update();
}

void TTimer::update() {
  // Like the class library, a timer with interval 0 or without handler does
  // not run; re-enabling restarts the interval.
  timer_->stop();
  if (enabled_ && interval_ > 0) {
    timer_->setInterval(static_cast<int>(std::min<Cardinal>(interval_, INT32_MAX)));
    timer_->start();
  }
}

// ---------------------------------------------------------------------------
// Message boxes and clipboard

namespace {
TMessageDlgHook& dlgHook() {
  static TMessageDlgHook h;
  return h;
}
}  // namespace

TMessageDlgHook SetMessageDlgHook(TMessageDlgHook hook) {
  TMessageDlgHook old = std::move(dlgHook());
  dlgHook() = std::move(hook);
  return old;
}

namespace {
TShellOpenHook& shellHook() {
  static TShellOpenHook h;
  return h;
}
}  // namespace

TShellOpenHook SetShellOpenHook(TShellOpenHook hook) {
  TShellOpenHook old = std::move(shellHook());
  shellHook() = std::move(hook);
  return old;
}

void ShellOpen(const std::string& target) {
  if (shellHook()) {
    shellHook()(target);
    return;
  }
  if (target.empty()) return;
  const QString text = QString::fromStdString(target);
  QUrl url(text);
  // "C:" style drives do not exist here; anything without a scheme of two or
  // more letters is a path.
  if (url.scheme().size() < 2) url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
  QDesktopServices::openUrl(url);
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  if (dlgHook()) return dlgHook()(text, type, buttons);
  // A dialog of the window in front (the main window, or a dialog over it).
  QWidget* parent = QApplication::activeModalWidget();
  if (!parent) parent = QApplication::activeWindow();
  if (!parent && Application && Application->MainForm()) parent = Application->MainForm()->Widget();
  QMessageBox box(parent);
  box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  box.setText(QString::fromStdString(text));
  box.setWindowTitle(QString::fromStdString(Application ? Application->Title() : std::string()));
  switch (type) {
    case mtWarning: box.setIcon(QMessageBox::Warning); break;
    case mtError: box.setIcon(QMessageBox::Critical); break;
    case mtInformation: box.setIcon(QMessageBox::Information); break;
    case mtConfirmation: box.setIcon(QMessageBox::Question); break;
    default: break;
  }
  struct Map {
    TMsgDlgBtn btn;
    QMessageBox::StandardButton qt;
    TModalResult result;
  };
  static const Map map[] = {{mbYes, QMessageBox::Yes, mrYes},         {mbNo, QMessageBox::No, mrNo},
                            {mbOK, QMessageBox::Ok, mrOk},            {mbCancel, QMessageBox::Cancel, mrCancel},
                            {mbAbort, QMessageBox::Abort, mrAbort},   {mbRetry, QMessageBox::Retry, mrRetry},
                            {mbIgnore, QMessageBox::Ignore, mrIgnore}, {mbAll, QMessageBox::YesToAll, mrYes},
                            {mbNoToAll, QMessageBox::NoToAll, mrNo},  {mbYesToAll, QMessageBox::YesToAll, mrYes},
                            {mbHelp, QMessageBox::Help, mrNone},      {mbClose, QMessageBox::Close, mrClose}};
  QMessageBox::StandardButtons qb;
  for (const auto& m : map)
    if (buttons.Contains(m.btn)) qb |= m.qt;
  if (!qb) qb = QMessageBox::Ok;
  box.setStandardButtons(qb);
  int r = box.exec();
  for (const auto& m : map)
    if (m.qt == r) return m.result;
  return mrCancel;
}

void ShowMessage(const std::string& text) { MessageDlg(text, mtCustom, {mbOK}); }

std::string ClipboardText() {
  QClipboard* c = QGuiApplication::clipboard();
  return c ? c->text().toStdString() : std::string();
}

void SetClipboardText(const std::string& text) {
  if (QClipboard* c = QGuiApplication::clipboard()) c->setText(QString::fromStdString(text));
}

}  // namespace px
