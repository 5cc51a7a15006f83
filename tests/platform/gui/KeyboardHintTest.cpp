// Keyboard focus and dialog keys, keypad keys and the key state, size
// constraints, and the hint cycle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QElapsedTimer>

#include "platform/gui/Controls.h"
#include "platform/gui/Forms.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/StdCtrls.h"

namespace px {
namespace {

// A self-painting control that records its keys and answers WM_GETDLGCODE
// with `dlgCode`.
class KeyPad : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  LRESULT dlgCode = 0;
  std::vector<TMessage> got;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_GETDLGCODE) {
      m.Result = dlgCode;
      return;
    }
    if (m.Msg == WM_KEYDOWN || m.Msg == WM_CHAR) got.push_back(m);
    TCustomControl::WndProc(m);
  }
};

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods, text);
  QApplication::sendEvent(w, &release);
}

void wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

QWidget* focused() { return QApplication::focusWidget(); }

struct DialogForm {
  TForm form{nullptr};
  KeyPad* a = CreateComponent<KeyPad>(&form);
  KeyPad* skipped = CreateComponent<KeyPad>(&form);
  TPanel* panel = CreateComponent<TPanel>(&form);
  KeyPad* inner = CreateComponent<KeyPad>(&form);
  TEdit* edit = CreateComponent<TEdit>(&form);
  TButton* ok = CreateComponent<TButton>(&form);
  int clicks = 0;
  DialogForm() {
    a->SetParent(&form);
    a->TabStop = true;
    skipped->SetParent(&form);  // TabStop false
    panel->SetParent(&form);
    inner->SetParent(panel);
    inner->TabStop = true;
    edit->SetParent(&form);
    ok->SetParent(&form);
    ok->SetDefault(true);
    ok->TabStop = false;
    ok->OnClick = [this](TObject*) { ++clicks; };
    int y = 0;
    for (TControl* c : {static_cast<TControl*>(a), static_cast<TControl*>(skipped), static_cast<TControl*>(panel),
                        static_cast<TControl*>(edit), static_cast<TControl*>(ok)}) {
      c->SetBounds(10, y, 100, 30);
      y += 40;
    }
    inner->SetBounds(2, 2, 50, 20);
    form.Show();
    QApplication::setActiveWindow(form.Widget());
    a->SetFocus();
  }
};

TEST(KeyboardFocus, TabWalksTheTabStopControlsAndSkipsTheRest) {
  DialogForm d;
  ASSERT_EQ(focused(), d.a->Widget());
  EXPECT_EQ(d.form.ActiveControl(), d.a);
  // a -> inner (inside the panel, which has no TabStop) -> edit -> a.
  key(focused(), Qt::Key_Tab);
  EXPECT_EQ(focused(), d.inner->Widget());
  key(focused(), Qt::Key_Tab);
  EXPECT_EQ(focused(), d.edit->Widget());
  key(focused(), Qt::Key_Tab);
  EXPECT_EQ(focused(), d.a->Widget());
  key(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(focused(), d.edit->Widget());
  // The control never saw the Tab that moved the focus away from it.
  EXPECT_TRUE(d.a->got.empty());
  // CM_DIALOGKEY with VK_TAB does the same.
  EXPECT_EQ(d.form.Perform(CM_DIALOGKEY, VK_TAB, 0), 1);
  EXPECT_EQ(focused(), d.a->Widget());
  // A disabled control is passed over.
  d.inner->SetEnabled(false);
  key(focused(), Qt::Key_Tab);
  EXPECT_EQ(focused(), d.edit->Widget());
}

TEST(KeyboardFocus, ControlsThatWantTabOrReturnKeepThem) {
  DialogForm d;
  d.a->dlgCode = DLGC_WANTTAB;
  key(focused(), Qt::Key_Tab, Qt::NoModifier, "\t");
  EXPECT_EQ(focused(), d.a->Widget());
  ASSERT_EQ(d.a->got.size(), 2u);  // WM_KEYDOWN and WM_CHAR
  EXPECT_EQ(d.a->got[0].WParam, VK_TAB);

  // Return: clicks the default button unless the control wants all keys.
  d.a->got.clear();
  key(focused(), Qt::Key_Return, Qt::NoModifier, "\r");
  EXPECT_EQ(d.clicks, 1);
  EXPECT_TRUE(d.a->got.empty());
  d.a->dlgCode = DLGC_WANTALLKEYS;
  key(focused(), Qt::Key_Return, Qt::NoModifier, "\r");
  EXPECT_EQ(d.clicks, 1);
  ASSERT_FALSE(d.a->got.empty());
  EXPECT_EQ(d.a->got[0].WParam, VK_RETURN);
  // Escape without a cancel button does nothing.
  EXPECT_EQ(d.form.Perform(CM_DIALOGKEY, VK_ESCAPE, 0), 0);
  EXPECT_EQ(d.form.Perform(CM_DIALOGKEY, VK_RETURN, 0), 1);
  EXPECT_EQ(d.clicks, 2);
}

TEST(Keys, KeypadDigitsAndDecimalAltAndKeyState) {
  TForm form(nullptr);
  auto* pad = CreateComponent<KeyPad>(&form);
  pad->SetParent(&form);
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    QString text;
    Word vk;
    bool keypad;
  } cases[] = {
      {Qt::Key_5, Qt::KeypadModifier, "5", VK_NUMPAD5, true},
      {Qt::Key_0, Qt::KeypadModifier, "0", VK_NUMPAD0, true},
      {Qt::Key_Period, Qt::KeypadModifier, ".", VK_DECIMAL, true},
      {Qt::Key_Comma, Qt::KeypadModifier, ",", VK_DECIMAL, true},
      {Qt::Key_5, Qt::NoModifier, "5", '5', false},
  };
  for (const Case& c : cases) {
    pad->got.clear();
    key(pad->Widget(), c.key, c.mods, c.text);
    ASSERT_EQ(pad->got.size(), 2u) << c.text.toStdString();
    EXPECT_EQ(pad->got[0].WParam, c.vk) << c.text.toStdString();
    EXPECT_EQ(pad->got[1].WParam, static_cast<WPARAM>(c.text[0].unicode()));
    EXPECT_EQ((pad->got[1].LParam & KF_KEYPAD) != 0, c.keypad) << c.text.toStdString();
  }

  // Alt reaches the key and mouse handlers; GetKeyState follows the input.
  TShiftState keyShift, mouseShift;
  pad->OnKeyDown = [&](TObject*, Word&, TShiftState s) { keyShift = s; };
  pad->OnMouseDown = [&](TObject*, TMouseButton, TShiftState s, int32_t, int32_t) { mouseShift = s; };
  QKeyEvent altX(QEvent::KeyPress, Qt::Key_X, Qt::AltModifier | Qt::ShiftModifier, "X");
  QApplication::sendEvent(pad->Widget(), &altX);
  EXPECT_TRUE(keyShift.Contains(ssAlt));
  EXPECT_TRUE(keyShift.Contains(ssShift));
  EXPECT_FALSE(keyShift.Contains(ssCtrl));
  EXPECT_LT(GetKeyState(VK_MENU), 0);
  EXPECT_LT(GetKeyState(VK_SHIFT), 0);
  EXPECT_EQ(GetKeyState(VK_CONTROL), 0);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                    Qt::AltModifier | Qt::ControlModifier);
  QApplication::sendEvent(pad->Widget(), &press);
  EXPECT_TRUE(mouseShift.Contains(ssAlt));
  EXPECT_TRUE(mouseShift.Contains(ssCtrl));
  EXPECT_LT(GetKeyState(VK_LBUTTON), 0);
  EXPECT_LT(GetKeyState(VK_CONTROL), 0);
  EXPECT_EQ(GetKeyState(VK_RBUTTON), 0);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(pad->Widget(), &release);
  EXPECT_EQ(GetKeyState(VK_LBUTTON), 0);
  EXPECT_EQ(GetKeyState(VK_MENU), 0);
}

TEST(Constraints, SetBoundsKeepsTheLimits) {
  TForm form(nullptr);
  auto* c = CreateComponent<KeyPad>(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 100, 100);
  c->Constraints().SetMinWidth(50);
  c->Constraints().SetMaxHeight(60);
  EXPECT_EQ(c->Height(), 60);  // applied at once
  c->SetBounds(0, 0, 10, 10);
  EXPECT_EQ(c->Width(), 50);
  EXPECT_EQ(c->Height(), 10);
  c->SetBounds(0, 0, 500, 500);
  EXPECT_EQ(c->Width(), 500);
  EXPECT_EQ(c->Height(), 60);
}

// Hints: a control whose hint belongs to its left half only.
class HalfHint : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  int pauses = 0;
  void WndProc(TMessage& m) override {
    if (m.Msg == CM_HINTSHOWPAUSE) ++pauses;
    if (m.Msg == CM_HINTSHOW) {
      auto* info = reinterpret_cast<THintInfo*>(m.LParam);
      EXPECT_EQ(info->HintControl, this);
      if (info->CursorPos.X >= Width() / 2) {
        info->CursorRect = Rect(Width() / 2, 0, Width(), Height());
        m.Result = 1;
      } else {
        info->CursorRect = Rect(0, 0, Width() / 2, Height());
        info->HintStr = "left " + info->HintStr;
      }
      if (customClass) info->HintWindowClass = customClass;
      return;
    }
    TCustomControl::WndProc(m);
  }
  THintWindowClass customClass;
};

class MarkedHintWindow : public THintWindow {
 public:
  using THintWindow::THintWindow;
  static inline int made = 0;
  explicit MarkedHintWindow(TComponent* owner) : THintWindow(owner) { ++made; }
};

void moveTo(TWinControl* c, int x, int y) {
  QMouseEvent move(QEvent::MouseMove, QPointF(x, y), c->Widget()->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(c->Widget(), &move);
}

bool hintShown() { return Application->HintWindow() && Application->HintWindow()->Widget()->isVisible(); }

// Waits until the hint shows: timers may run late on a busy machine.
bool hintShownSoon() {
  QElapsedTimer t;
  t.start();
  while (!hintShown() && t.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return hintShown();
}

TEST(Hints, ShownAfterThePauseGoneOutsideTheCursorRectAndOnAKey) {
  Application->HintPause = 20;
  Application->HintShortPause = 5;
  TForm form(nullptr);
  auto* c = CreateComponent<HalfHint>(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 200, 40);
  c->Hint = "tip";
  c->ShowHint = true;
  form.Show();

  moveTo(c, 10, 10);
  EXPECT_FALSE(hintShown());  // not before the pause
  ASSERT_TRUE(hintShownSoon());
  EXPECT_EQ(Application->HintText, "left tip");
  EXPECT_EQ(Application->HintWindow()->Caption(), "left tip");
  EXPECT_GE(c->pauses, 1);
  moveTo(c, 30, 10);  // still inside CursorRect
  EXPECT_TRUE(hintShown());
  moveTo(c, 150, 10);  // outside: gone, and the control refuses there
  EXPECT_FALSE(hintShown());
  wait(50);
  EXPECT_FALSE(hintShown());

  // Back on the left; a key press ends the hint.
  moveTo(c, 10, 10);
  ASSERT_TRUE(hintShownSoon());
  key(c->Widget(), Qt::Key_A, Qt::NoModifier, "a");
  EXPECT_FALSE(hintShown());

  // A control naming its own window class gets a window of that class.
  c->customClass = [](TComponent* owner) -> THintWindow* { return new MarkedHintWindow(owner); };
  Application->CancelHint();
  moveTo(c, 12, 10);
  ASSERT_TRUE(hintShownSoon());
  EXPECT_NE(dynamic_cast<MarkedHintWindow*>(Application->HintWindow()), nullptr);
  EXPECT_EQ(MarkedHintWindow::made, 1);

  // No hint without ShowHint.
  Application->CancelHint();
  c->ShowHint = false;
  moveTo(c, 14, 10);
  wait(60);
  EXPECT_FALSE(hintShown());
  Application->HintPause = 500;
  Application->HintShortPause = 50;
}

}  // namespace
}  // namespace px
