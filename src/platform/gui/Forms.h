#pragma once
// Forms, frames, the application object and its message loop, the screen
// (cursor), timers and message boxes.
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/Controls.h"

class QTimer;
class QMenuBar;

namespace px {

class TMainMenu;

enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

// Results of modal forms and message boxes.
using TModalResult = Integer;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
                       mrNo = 7, mrClose = 8;

// A top-level window. Its client area lies below the menu bar, if any.
class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  void Show();
  // Asks OnCloseQuery, then OnClose for what to do: caHide hides, caMinimize
  // minimizes, caFree hides and releases, caNone keeps the form as it is.
  // Closing the main form (whatever the action but caNone) ends the
  // application; its owner frees it at teardown.
  void Close();
  // Frees the form once the loop delivers a posted message, so a handler of
  // the form itself (a button's OnClick, OnClose) may call it and return
  // safely. During ShowModal the release waits until the modal loop is left.
  void Release();
  // Runs a nested loop until ModalResult is set or the form is closed.
  TModalResult ShowModal();
  TModalResult ModalResult = mrNone;
  TWindowState WindowState() const;
  void SetWindowState(TWindowState state);
  void BringToFront();
  TRect ClientRect() const override;

  // The bar a TMainMenu fills; made on first use.
  QMenuBar* MenuBar();
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);
  // A key pressed anywhere in the form: the menu's items, then the action
  // lists the form owns, get the first chance; true when one ran.
  virtual bool IsShortCut(Word key, TShiftState shift);
  // The control of the form that holds the keyboard focus, nullptr when none.
  TWinControl* ActiveControl() const;
  // The next (or previous) control after current in tab order (the order of
  // the children, depth first) that can take the focus; with checkTabStop
  // only TabStop controls count. nullptr when there is none.
  TWinControl* FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const;
  // Focuses FindNextControl(current, ...).
  void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);
  void Notification(TComponent* component, TOperation operation) override;
  void WndProc(TMessage& message) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  TPoint clientOffsetForChildren() const override;
  bool bridgeOtherEvent(QEvent* event) override;
  virtual bool CloseQuery();

 private:
  QMenuBar* menuBar_ = nullptr;
  TMainMenu* menu_ = nullptr;
  int modalDepth_ = 0;
  bool releaseAfterModal_ = false;
};

// The form a control sits on, nullptr when none.
TForm* GetParentForm(TControl* control);

// A container of controls that is placed on forms.
class TFrame : public TCustomControl {
 public:
  explicit TFrame(TComponent* owner);
};

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner = nullptr);
  ~TApplication() override;

  std::string Title() const { return title_; }
  void SetTitle(const std::string& title);
  TForm* MainForm() const { return mainForm_; }
  // The first form created through CreateForm becomes the main form; closing
  // it ends Run.
  template <typename T>
  T* CreateForm() {
    T* form = CreateComponent<T>(this);
    if (!mainForm_) mainForm_ = form;
    return form;
  }
  void SetMainForm(TForm* form) { mainForm_ = form; }
  // Shows the main form and runs the message loop until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  void ProcessMessages();
  // An exception that escaped an event handler: OnException, else a message box.
  void HandleException(const std::exception& e);
  void ShowHint(const std::string& text, TPoint screenPos);
  // Opens the help for a context through HelpHook; nothing without one.
  void ContextHelp(int32_t context) {
    if (HelpHook && context != 0) HelpHook(context);
  }
  std::function<void(int32_t context)> HelpHook;
  // Hides a shown hint and forgets the control under the pointer; the next
  // pointer move starts the hint pause again.
  void CancelHint();
  // The hint cycle: after HintPause over a control with ShowHint (shorter,
  // HintShortPause, while a hint is up) the control gets CM_HINTSHOWPAUSE
  // (LParam: the pause in ms, changeable) and CM_HINTSHOW with a THintInfo;
  // unless it answers 1, the hint window shows HintStr. The hint goes when
  // the pointer leaves CursorRect, a key or button is pressed, HideTimeout
  // passes or CancelHint runs.
  void HintMouseMessage(TControl* control, TPoint clientPos);
  int32_t HintPause = 500;
  int32_t HintShortPause = 50;
  int32_t HintHidePause = 2500;
  // The hint window while a hint is shown, else nullptr.
  THintWindow* HintWindow() const { return hintWindow_; }
  TControl* HintControl() const { return hintControl_; }

  std::function<void(TObject* sender, bool& done)> OnIdle;
  std::function<void(TObject* sender, const std::exception& e)> OnException;
  TNotifyEvent OnHint;
  std::string HintText;

  void Notification(TComponent* component, TOperation operation) override;

 private:
  void startHintTimer(int32_t ms);
  void activateHint();
  void hideHintWindow();
  TControl* hintControl_ = nullptr;
  TRect hintCursorRect_;  // screen coordinates
  bool hintActive_ = false;
  THintWindow* hintWindow_ = nullptr;
  std::string hintWindowType_;
  TPoint hintMousePos_;
  QTimer* hintTimer_ = nullptr;
  QTimer* hintHideTimer_ = nullptr;
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  QTimer* idleTimer_ = nullptr;
};

// A window without frame that shows a hint above every other window. Its
// text is its Caption.
class THintWindow : public TCustomControl {
 public:
  explicit THintWindow(TComponent* owner);
  // The size the hint needs, at most maxWidth wide (left-top at 0, 0).
  virtual TRect CalcHintRect(int32_t maxWidth, const std::string& hint, void* data);
  // Shows the window at rect (screen coordinates) with the text.
  virtual void ActivateHint(const TRect& rect, const std::string& hint);
  virtual void ActivateHintData(const TRect& rect, const std::string& hint, void* data);
  void ReleaseHandle();

 protected:
  void Paint() override;
};
// The class the application makes hint windows of, unless CM_HINTSHOW names
// another.
extern THintWindowClass HintWindowClass;

// The global application object; made by InitializeApplication.
extern TApplication* Application;
// Creates the application object after the QApplication exists and connects
// the thread hook, so that TThread::Synchronize and Queue run inside the Qt
// loop. FinalizeApplication undoes both.
void InitializeApplication();
void FinalizeApplication();

class TScreen {
 public:
  // The application-wide cursor; crDefault lets each control show its own.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  int32_t PixelsPerInch() const { return 96; }
  int32_t Width() const;
  int32_t Height() const;

 private:
  TCursor cursor_ = crDefault;
};
extern TScreen* Screen;

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  Cardinal Interval() const { return interval_; }
  void SetInterval(Cardinal ms);
  TNotifyEvent OnTimer;

 private:
  void update();
  bool enabled_ = true;
  Cardinal interval_ = 1000;
  QTimer* timer_ = nullptr;
};

// Message boxes: buttons and icons as in the class library.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp, mbClose };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
// Shows the box and answers the result of the pressed button (mrYes...).
// Tests replace the box with SetMessageDlgHook, which answers instead.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
void ShowMessage(const std::string& text);
using TMessageDlgHook = std::function<TModalResult(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)>;
TMessageDlgHook SetMessageDlgHook(TMessageDlgHook hook);

// Passes made so far by the message loops (Run, ShowModal). Each pass
// sleeps until there is work, so over an idle second the count grows by the
// few timer ticks of that second, not by thousands.
Cardinal MessageLoopPasses();

// Answers TForm::ShowModal in place of the user: the hook receives the form,
// may fill its controls, and returns the modal result; the form is not shown.
using TShowModalHook = std::function<TModalResult(TForm& form)>;
TShowModalHook SetShowModalHook(TShowModalHook hook);

// Opens a file, folder or URL with the desktop's program for it (a path
// without a scheme is a local file). The result is not reported: what cannot
// be opened simply does not open. Tests replace the opener with
// SetShellOpenHook, which receives the target instead.
void ShellOpen(const std::string& target);
using TShellOpenHook = std::function<void(const std::string& target)>;
TShellOpenHook SetShellOpenHook(TShellOpenHook hook);

// Clipboard text (UTF-8).
std::string ClipboardText();
void SetClipboardText(const std::string& text);

}  // namespace px
