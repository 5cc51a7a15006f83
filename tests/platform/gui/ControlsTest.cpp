#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <atomic>

#include "platform/core/Threads.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Forms.h"

namespace px {
namespace {

class GuiEnv : public ::testing::Environment {
 public:
  void SetUp() override { InitializeApplication(); }
  void TearDown() override { FinalizeApplication(); }
};
[[maybe_unused]] const auto* env = ::testing::AddGlobalTestEnvironment(new GuiEnv);

// A windowed control that fills itself with its colour.
class Block : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  void Paint() override {
    Canvas().Brush().SetColor(Color());
    Canvas().FillRect(ClientRect());
  }
};

// A control without window that fills itself with its colour.
class Spot : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  void Paint() override {
    Canvas().Brush().SetColor(Color());
    Canvas().FillRect(Rect(0, 0, Width(), Height()));
  }
};

void pump(int ms = 20) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents();
}

TEST(Layout, AlignTable) {
  // Children placed in a 200x100 client area, in creation order.
  struct Case {
    const char* name;
    std::vector<std::pair<TAlign, int>> kids;  // alignment, size along its axis
    std::vector<TRect> expected;
  };
  const std::vector<Case> cases = {
      {"top+bottom+client", {{alTop, 10}, {alBottom, 20}, {alClient, 0}},
       {Rect(0, 0, 200, 10), Rect(0, 80, 200, 100), Rect(0, 10, 200, 80)}},
      {"left+right+client", {{alLeft, 30}, {alRight, 40}, {alClient, 0}},
       {Rect(0, 0, 30, 100), Rect(160, 0, 200, 100), Rect(30, 0, 160, 100)}},
      {"tops stack by position", {{alTop, 10}, {alTop, 15}}, {Rect(0, 0, 200, 10), Rect(0, 10, 200, 25)}},
      {"tops and bottoms before sides", {{alLeft, 50}, {alTop, 10}, {alBottom, 5}},
       {Rect(0, 10, 50, 95), Rect(0, 0, 200, 10), Rect(0, 95, 200, 100)}},
      {"none stays", {{alNone, 7}}, {Rect(0, 0, 7, 7)}},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 100);
    std::vector<TControl*> kids;
    int order = 0;
    for (auto [align, size] : cs.kids) {
      auto* k = CreateComponent<Block>(&form);
      k->SetBounds(order, order, size, size);
      ++order;
      k->SetAlign(align);
      k->SetParent(&form);
      kids.push_back(k);
    }
    for (size_t i = 0; i < kids.size(); ++i) EXPECT_EQ(kids[i]->BoundsRect(), cs.expected[i]) << i;
    // Hiding the top control gives its room to the others.
    if (cs.kids[0].first == alTop && cs.kids.size() > 1) {
      kids[0]->SetVisible(false);
      EXPECT_EQ(kids[1]->Top(), cs.kids[1].first == alTop ? 0 : kids[1]->Top());
    }
  }
}

TEST(Layout, NestedAlignAndAnchorsFollowResize) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto* left = CreateComponent<Block>(&form);
  left->SetWidth(100);
  left->SetAlign(alLeft);
  left->SetParent(&form);
  auto* inner = CreateComponent<Block>(&form);
  inner->SetHeight(30);
  inner->SetAlign(alBottom);
  inner->SetParent(left);
  auto* client = CreateComponent<Block>(&form);
  client->SetAlign(alClient);
  client->SetParent(&form);
  // Anchored children of the client block, which is 200x200.
  auto* right = CreateComponent<Spot>(&form);
  right->SetBounds(150, 10, 20, 20);
  right->SetAnchors({akTop, akRight});
  right->SetParent(client);
  auto* stretch = CreateComponent<Spot>(&form);
  stretch->SetBounds(10, 100, 180, 50);
  stretch->SetAnchors({akLeft, akRight, akTop, akBottom});
  stretch->SetParent(client);
  auto* floating = CreateComponent<Spot>(&form);
  floating->SetBounds(90, 90, 20, 20);
  floating->SetAnchors({});
  floating->SetParent(client);

  EXPECT_EQ(inner->BoundsRect(), Rect(0, 170, 100, 200));
  EXPECT_EQ(client->BoundsRect(), Rect(100, 0, 300, 200));

  form.SetBounds(0, 0, 400, 260);  // client grows by 100 x 60
  EXPECT_EQ(left->BoundsRect(), Rect(0, 0, 100, 260));
  EXPECT_EQ(inner->BoundsRect(), Rect(0, 230, 100, 260));
  EXPECT_EQ(client->BoundsRect(), Rect(100, 0, 400, 260));
  EXPECT_EQ(right->BoundsRect(), Rect(250, 10, 270, 30));
  EXPECT_EQ(stretch->BoundsRect(), Rect(10, 100, 290, 210));
  EXPECT_EQ(floating->BoundsRect(), Rect(140, 120, 160, 140));
}

TEST(Layout, RenderedPixelsShowTheLayout) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 60, 40);
  form.SetColor(clWhite);
  auto* top = CreateComponent<Block>(&form);
  top->SetHeight(10);
  top->SetAlign(alTop);
  top->SetColor(clRed);
  top->SetParent(&form);
  auto* left = CreateComponent<Spot>(&form);
  left->SetWidth(15);
  left->SetAlign(alLeft);
  left->SetColor(clBlue);
  left->SetParent(&form);
  form.Show();
  pump();
  TBitmap shot;
  PaintControlTo(form, shot);
  ASSERT_EQ(shot.Width(), 60);
  EXPECT_EQ(shot.GetPixel(59, 9), clRed);
  EXPECT_EQ(shot.GetPixel(0, 10), clBlue);
  EXPECT_EQ(shot.GetPixel(14, 39), clBlue);
  EXPECT_EQ(shot.GetPixel(15, 39), clWhite);
  form.Close();
}

// A freed control without a window leaves its place to be painted again by
// its parent; otherwise its picture stays on the screen.
TEST(Layout, FreedGraphicControlIsPaintedOver) {
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      paints += e->type() == QEvent::Paint;
      return false;
    }
  } counter;
  TForm form(nullptr);
  form.SetBounds(0, 0, 80, 60);
  auto* box = CreateComponent<Block>(&form);
  box->SetBounds(0, 0, 80, 60);
  box->SetParent(&form);
  auto* spot = CreateComponent<Spot>(&form);
  spot->SetBounds(10, 10, 20, 10);
  spot->SetColor(clBlue);
  spot->SetParent(box);
  form.Show();
  pump();
  box->Widget()->installEventFilter(&counter);
  FreeObject(spot);
  pump();
  EXPECT_GE(counter.paints, 1);
  box->Widget()->removeEventFilter(&counter);
  form.Close();
}

TEST(Messages, PerformPostAndMouseRouting) {
  struct Probe : public Block {
    using Block::Block;
    std::vector<Cardinal> seen;
    void WndProc(TMessage& m) override {
      if (m.Msg >= WM_USER) {
        seen.push_back(m.Msg);
        m.Result = 42;
        return;
      }
      Block::WndProc(m);
    }
  };
  TForm form(nullptr);
  auto* p = CreateComponent<Probe>(&form);
  p->SetParent(&form);
  EXPECT_EQ(p->Perform(WM_USER + 1), 42);
  EXPECT_TRUE(PostMessage(p->Handle(), WM_APP + 2, 0, 0));
  EXPECT_EQ(p->seen.size(), 1u);  // not delivered before the loop runs
  pump();
  EXPECT_EQ(p->seen, (std::vector<Cardinal>{WM_USER + 1, WM_APP + 2}));
  // A message to a receiver freed before delivery is dropped.
  HWND h = p->Handle();
  EXPECT_TRUE(PostMessage(h, WM_APP + 3, 0, 0));
  FreeObject(p);
  pump();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessage(h, WM_APP + 3, 0, 0));

  // Mouse messages: a click is a left press and release inside the control.
  auto* spot = CreateComponent<Spot>(&form);
  spot->SetBounds(5, 5, 10, 10);
  spot->SetParent(&form);
  int clicks = 0;
  spot->OnClick = [&](TObject*) { ++clicks; };
  spot->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(2, 2));
  spot->Perform(WM_LBUTTONUP, 0, MakeLParam(3, 3));
  spot->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(2, 2));
  spot->Perform(WM_LBUTTONUP, 0, MakeLParam(30, 3));  // released outside
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(form.ControlAtPos({6, 6}), spot);
  EXPECT_EQ(form.ControlAtPos({16, 6}), nullptr);
}

TEST(Threads, SynchronizeAndQueueRunInsideTheQtLoop) {
  std::atomic<bool> queued{false};
  bool syncRanOnMain = false;
  class Worker : public TThread {
   public:
    Worker(std::atomic<bool>& q, bool& s) : TThread(true), q_(q), s_(s) {}
    void Execute() override {
      Synchronize([this] { s_ = IsMainThread(); });
      Queue([this] { q_ = true; });
    }
    std::atomic<bool>& q_;
    bool& s_;
  };
  Worker w(queued, syncRanOnMain);
  w.Start();
  QElapsedTimer t;
  t.start();
  while (!queued && t.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  w.WaitFor();
  EXPECT_TRUE(syncRanOnMain);
  EXPECT_TRUE(queued);
}

TEST(Timer, FiresInTheLoopAndStopsWhenDisabled) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 2) timer.SetEnabled(false);
  };
  pump(150);
  EXPECT_EQ(ticks, 2);
}

TEST(ScreenCursor, OverrideAndRestore) {
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

}  // namespace
}  // namespace px
