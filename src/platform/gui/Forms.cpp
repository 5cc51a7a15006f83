#include "platform/gui/Forms.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

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
  // Dialog keys: Return clicks the default button (unless a multi-line edit
  // wants it), Escape the cancel button.
  if (shift.Empty() && (key == VK_RETURN || key == VK_ESCAPE)) {
    if (key == VK_RETURN)
      if (QWidget* f = QApplication::focusWidget(); f && f->inherits("QPlainTextEdit")) return false;
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
      return true;
    }
  }
  return false;
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

TModalResult TForm::ShowModal() {
  ModalResult = mrNone;
  Widget()->setWindowModality(Qt::ApplicationModal);
  ++modalDepth_;
  Show();
  while (ModalResult == mrNone && Visible() && !(Application && Application->Terminated()))
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
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
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 100);
    if (mainForm_ && !mainForm_->Visible()) terminated_ = true;
  }
  idleTimer_->stop();
}

void TApplication::Terminate() { terminated_ = true; }

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
}

namespace {

// Keys reach the form's shortcuts before the focused control sees them.
class TShortCutFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (!window) return false;
    auto* form = dynamic_cast<TForm*>(static_cast<TWinControl*>(window->property("pxControl").value<void*>()));
    if (!form) return false;
    Word vk = VirtualKeyOf(ke->key());
    if (!vk) return false;
    TShiftState shift;
    if (ke->modifiers() & Qt::ShiftModifier) shift.Include(ssShift);
    if (ke->modifiers() & Qt::ControlModifier) shift.Include(ssCtrl);
    if (ke->modifiers() & Qt::AltModifier) shift.Include(ssAlt);
    // Plain keys stay with the controls; a shortcut needs a modifier or is
    // a function or editing key.
    bool special = (vk >= VK_F1 && vk <= VK_F1 + 23) || vk == VK_DELETE || vk == VK_INSERT || vk == VK_ESCAPE ||
                   vk == VK_RETURN;
    if (!shift.Contains(ssCtrl) && !shift.Contains(ssAlt) && !special) return false;
    try {
      return form->IsShortCut(vk, shift);
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

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  if (dlgHook()) return dlgHook()(text, type, buttons);
  QMessageBox box;
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
