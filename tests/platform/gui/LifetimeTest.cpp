// Objects freed from inside their own handlers: a click that closes the
// screen it sits on, a timer that stops for good, an action whose handler
// frees the frame that owns it. Run under AddressSanitizer, each of these
// shows a use after free when the layer touches the object afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "platform/gui/ActnList.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/Forms.h"
#include "platform/gui/Menus.h"
#include "platform/gui/StdCtrls.h"

namespace px {
namespace {

void sendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton b, QPoint p = {5, 5}) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(b);
  QMouseEvent e(type, p, w->mapToGlobal(p), b, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void sendClick(QWidget* w, Qt::MouseButton b = Qt::LeftButton, QPoint p = {5, 5}) {
  sendMouse(w, QEvent::MouseButtonPress, b, p);
  sendMouse(w, QEvent::MouseButtonRelease, b, p);
}

void processEventsFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Processes events until the condition holds, however busy the machine
// (thirty seconds at most).
template <class F>
bool processEventsUntil(F done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

struct Host {
  TForm form{nullptr};
  Host() {
    form.SetBounds(0, 0, 200, 150);
    form.Show();
  }
};

TEST(Lifetime, WindowedControlFreedByItsOwnClick) {
  Host h;
  auto* panel = CreateComponent<TPanel>(&h.form);
  panel->SetParent(&h.form);
  panel->SetBounds(10, 10, 80, 40);
  QPointer<QWidget> widget = panel->Widget();
  int clicks = 0;
  panel->OnClick = [&](TObject* sender) {
    ++clicks;
    FreeObject(sender);
  };
  sendClick(panel->Widget());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(h.form.ControlCount(), 0);
  // The widget outlives the event it was handling, then goes with the loop.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(widget.isNull());
}

TEST(Lifetime, WrappedButtonFreedByItsOwnClick) {
  Host h;
  auto* button = CreateComponent<TButton>(&h.form);
  button->SetParent(&h.form);
  button->SetBounds(10, 10, 80, 30);
  QPointer<QWidget> widget = button->Widget();
  int clicks = 0;
  button->OnClick = [&](TObject* sender) {
    ++clicks;
    FreeObject(sender);
  };
  sendClick(button->Widget());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(h.form.ControlCount(), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(widget.isNull());
}

TEST(Lifetime, ParentFreedByTheClickOfAChild) {
  // A close button on a frame: its click frees the whole frame.
  Host h;
  auto* frame = CreateComponent<TFrame>(&h.form);
  frame->SetParent(&h.form);
  frame->SetBounds(0, 0, 150, 100);
  auto* button = CreateComponent<TButton>(frame);
  button->SetParent(frame);
  button->SetBounds(5, 5, 60, 25);
  auto* label = CreateComponent<TLabel>(frame);
  label->SetParent(frame);
  label->SetBounds(5, 50, 60, 20);
  label->SetCaption("x");
  int clicks = 0;
  auto freeFrame = [&](TObject*) {
    ++clicks;
    FreeObject(frame);
  };
  button->OnClick = freeFrame;
  sendClick(button->Widget());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(h.form.ControlCount(), 0);

  // The same through a control without a window, which the frame's own
  // widget feeds with mouse input.
  frame = CreateComponent<TFrame>(&h.form);
  frame->SetParent(&h.form);
  frame->SetBounds(0, 0, 150, 100);
  label = CreateComponent<TLabel>(frame);
  label->SetParent(frame);
  label->SetBounds(5, 50, 60, 20);
  label->OnClick = freeFrame;
  sendClick(frame->Widget(), Qt::LeftButton, {10, 55});
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(h.form.ControlCount(), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(Lifetime, GraphicControlFreedByItsOwnMouseHandlers) {
  Host h;
  auto* menu = CreateComponent<TPopupMenu>(&h.form);
  struct Case {
    const char* what;
    Qt::MouseButton button;
    bool doubleClick;
  };
  for (const Case& c : {Case{"left up", Qt::LeftButton, false}, Case{"right up", Qt::RightButton, false},
                        Case{"double click", Qt::LeftButton, true}}) {
    SCOPED_TRACE(c.what);
    auto* label = CreateComponent<TLabel>(&h.form);
    label->SetParent(&h.form);
    label->SetBounds(10, 10, 60, 20);
    label->SetPopupMenu(menu);
    int calls = 0;
    if (c.doubleClick) {
      label->OnDblClick = [&](TObject* sender) {
        ++calls;
        FreeObject(sender);
      };
      sendMouse(h.form.Widget(), QEvent::MouseButtonDblClick, c.button, {20, 15});
    } else {
      label->OnMouseUp = [&](TObject* sender, TMouseButton, TShiftState, int32_t, int32_t) {
        ++calls;
        FreeObject(sender);
      };
      label->OnClick = [&](TObject*) { ADD_FAILURE() << "click on a freed control"; };
      sendClick(h.form.Widget(), c.button, {20, 15});
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(h.form.ControlCount(), 0);
    // The form goes on routing mouse input.
    sendClick(h.form.Widget(), Qt::LeftButton, {20, 15});
  }
}

TEST(Lifetime, ActionFreedByItsOwnHandler) {
  // The action lives on a frame; its handler frees the frame and with it the
  // action list and the action, while the linked button on the form stays.
  Host h;
  auto* frame = CreateComponent<TFrame>(&h.form);
  auto* list = CreateComponent<TActionList>(frame);
  auto* action = CreateComponent<TAction>(frame);
  action->SetActionList(list);
  action->SetCaption("Close");
  int runs = 0;
  action->OnExecute = [&](TObject*) {
    ++runs;
    FreeObject(frame);
  };
  auto* button = CreateComponent<TButton>(&h.form);
  button->SetParent(&h.form);
  button->SetAction(action);
  button->Click();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(button->Action(), nullptr);
  EXPECT_EQ(button->Caption(), "Close");

  // The same through a menu item.
  frame = CreateComponent<TFrame>(&h.form);
  action = CreateComponent<TAction>(frame);
  action->OnExecute = [&](TObject*) {
    ++runs;
    FreeObject(frame);
  };
  auto* item = CreateComponent<TMenuItem>(&h.form);
  item->SetAction(action);
  item->Click();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(item->Action(), nullptr);
}

TEST(Lifetime, TimerFreedByItsOwnHandler) {
  TForm form(nullptr);
  auto* timer = CreateComponent<TTimer>(&form);
  timer->SetInterval(5);
  int ticks = 0;
  timer->OnTimer = [&](TObject* sender) {
    ++ticks;
    FreeObject(sender);
  };
  EXPECT_TRUE(processEventsUntil([&] { return ticks > 0; }));
  processEventsFor(60);  // time for ticks the freed timer must not give
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(Lifetime, PostedMessagesToAFreedControlAreDropped) {
  Host h;
  auto* panel = CreateComponent<TPanel>(&h.form);
  HWND handle = panel->Handle();
  ASSERT_TRUE(PostMessage(handle, WM_USER + 1, 0, 0));
  FreeObject(panel);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(PostMessage(handle, WM_USER + 1, 0, 0));
  QCoreApplication::processEvents();
}

// Hears of the freeing of the components it watches.
struct FreeWatcher : public TComponent {
  using TComponent::TComponent;
  std::vector<TComponent*> freed;
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove) freed.push_back(component);
  }
};

TEST(Lifetime, FormClosedWithCaFreeIsReleasedByTheLoop) {
  // Closed from outside, and from the click of a button on the form itself;
  // the form must outlive the call and go when the loop delivers the release.
  for (bool fromOwnButton : {false, true}) {
    SCOPED_TRACE(fromOwnButton ? "button click" : "direct");
    TComponent owner(nullptr);
    FreeWatcher watcher(nullptr);
    auto* form = CreateComponent<TForm>(&owner);
    form->FreeNotification(&watcher);
    form->SetBounds(0, 0, 200, 150);
    form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
    auto* button = CreateComponent<TButton>(form);
    button->SetParent(form);
    button->SetBounds(10, 10, 80, 30);
    int clicks = 0;
    button->OnClick = [&](TObject*) {
      form->Close();
      ++clicks;
      EXPECT_EQ(button->Caption(), "");  // still whole after Close returns
    };
    form->Show();
    QPointer<QWidget> widget = form->Widget();
    HWND handle = form->Handle();
    if (fromOwnButton) sendClick(button->Widget());
    else form->Close();
    EXPECT_EQ(clicks, fromOwnButton ? 1 : 0);
    EXPECT_TRUE(watcher.freed.empty());
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_FALSE(widget->isVisible());
    processEventsFor(30);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(watcher.freed.size(), 1u);
    EXPECT_EQ(watcher.freed[0], form);
    EXPECT_EQ(owner.ComponentCount(), 0);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_TRUE(widget.isNull());
  }
}

TEST(Lifetime, FormCloseActionsOtherThanFree) {
  TComponent owner(nullptr);
  auto* form = CreateComponent<TForm>(&owner);
  TCloseAction next = caNone;
  form->OnClose = [&](TObject*, TCloseAction& action) {
    EXPECT_EQ(action, caHide);  // the default for a form that is not the main form
    action = next;
  };
  form->Show();
  form->Close();  // caNone: nothing happens
  EXPECT_TRUE(form->Visible());
  next = caMinimize;
  form->Close();
  EXPECT_EQ(form->WindowState(), wsMinimized);
  form->SetWindowState(wsNormal);
  next = caHide;
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(form->Widget()->isVisible());
  processEventsFor(20);
  EXPECT_EQ(owner.ComponentCount(), 1);  // hidden, not freed
}

TEST(Lifetime, ModalFormClosedWithCaFreeGoesAfterShowModalReturns) {
  TComponent owner(nullptr);
  FreeWatcher watcher(nullptr);
  auto* form = CreateComponent<TForm>(&owner);
  form->FreeNotification(&watcher);
  form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  QTimer::singleShot(10, [form] { form->Close(); });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_TRUE(watcher.freed.empty());  // ShowModal's frame used the form to the end
  processEventsUntil([&] { return !watcher.freed.empty(); });
  processEventsFor(20);
  ASSERT_EQ(watcher.freed.size(), 1u);
  EXPECT_EQ(owner.ComponentCount(), 0);
}

}  // namespace
}  // namespace px
