// Header input on the recording host: messages carry tree client
// coordinates with the header strip above y 0.
#include <gtest/gtest.h>

#include "NodeTreesHeaderTestSupport.h"
#include "platform/gui/Forms.h"

namespace px::test {
namespace {

// Four visible columns of 50 pixels: dividers at 50, 100, 150 and 200.
struct MessageTree : ColumnsTree {
  MessageTree() : ColumnsTree(4, 400, 200) { header.SetOptions(header.Options() + THeaderOptions{hoVisible}); }
  bool send(Cardinal msg, int32_t x, int32_t y, WPARAM wParam = 0) {
    TMessage m{msg, wParam, MakeLParam(x, y), 0};
    return header.HandleHeaderMessage(m);
  }
  // Presses on a column and moves far enough for the drag to start.
  void startDrag(int32_t x) {
    send(WM_NCLBUTTONDOWN, x, -5);
    ASSERT_TRUE(header.States().Contains(hsDragPending));
    send(WM_MOUSEMOVE, x + 10, -5);
    ASSERT_TRUE(header.States().Contains(hsDragging));
  }
};

TEST(TreeHeaderMessages, DividerZone) {
  struct Case {
    int32_t x, y;
    bool fixedFirst;
    bool divider;
  };
  const Case cases[] = {
      {47, -5, false, false}, {48, -5, false, true}, {54, -5, false, true}, {55, -5, false, false},
      {100, -18, false, true},
      // Below the header only the divider after the fixed area reaches down.
      {50, 5, false, false}, {50, 5, true, true}, {100, 5, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << (c.fixedFirst ? " fixed" : ""));
    MessageTree t;
    t.tree->SetRootNodeCount(20);
    if (c.fixedFirst) t.columns.Items(0)->SetOptions(t.columns.Items(0)->Options() + TNTColumnOptions{coFixed});
    t.host.HasMouse = true;
    t.host.Mouse = Point(c.x, c.y);
    t.host.Cursor = crDefault;
    t.send(WM_SETCURSOR, 0, 0);
    EXPECT_EQ(t.host.Cursor, c.divider ? crNTHeaderSplit : crDefault);
  }
}

// Right to left a column is sized at its left edge; a fixed column stays
// where it is, and what scrolled under it has no divider.
TEST(TreeHeaderMessages, RightToLeftDividersOfScrolledAndFixedColumns) {
  MessageTree t;
  for (TColumnIndex i = 0; i < 4; ++i) t.columns.Items(i)->SetWidth(150);
  t.columns.Items(0)->SetOptions(t.columns.Items(0)->Options() + TNTColumnOptions{coFixed});
  t.tree->SetBiDiMode(bdRightToLeft);
  ASSERT_EQ(t.tree->EffectiveOffsetX(), 200);
  // Client x: the fixed column over 0..150, then the third column from 100
  // (under the fixed one) and the fourth from 250.
  struct Case {
    int32_t x;
    TColumnIndex sized;
  };
  for (Case c : {Case{250, 3}, Case{100, NoColumn}, Case{2, 0}}) {
    EXPECT_EQ(t.header.DetermineSplitterIndex(Point(c.x, -5)), c.sized != NoColumn) << c.x;
    EXPECT_EQ(t.columns.SizingIndex, c.sized) << c.x;
  }
}

TEST(TreeHeaderMessages, WidthTrackingBesideTheAutoSizeColumn) {
  MessageTree t;
  t.header.SetAutoSizeIndex(1);
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoAutoResize});
  ASSERT_EQ(t.widths(), (std::vector<int32_t>{50, 250, 50, 50}));
  std::vector<TColumnIndex> tracked;
  t.header.OnAfterColumnWidthTracking = [&](TNTHeader*, TColumnIndex c) { tracked.push_back(c); };
  EXPECT_TRUE(t.send(WM_NCLBUTTONDOWN, 300, -5));
  EXPECT_TRUE(t.host.Captured);
  EXPECT_TRUE(t.send(WM_MOUSEMOVE, 280, -5));
  // The auto-size column's edge moves its width into the next column.
  EXPECT_EQ(t.widths(), (std::vector<int32_t>{50, 230, 70, 50}));
  EXPECT_TRUE(t.send(WM_NCLBUTTONUP, 280, -5));
  EXPECT_FALSE(t.host.Captured);
  EXPECT_EQ(tracked, (std::vector<TColumnIndex>{1}));
  // A plain column follows the mouse.
  t.send(WM_NCLBUTTONDOWN, 50, -5);
  t.send(WM_MOUSEMOVE, 80, -5);
  t.send(WM_NCLBUTTONUP, 80, -5);
  EXPECT_EQ(t.widths(), (std::vector<int32_t>{80, 200, 70, 50}));
  EXPECT_TRUE(t.header.States().Empty());
}

TEST(TreeHeaderMessages, DropPositions) {
  struct Case {
    const char* what;
    int32_t from, to;
    std::vector<int32_t> map;
  };
  const Case cases[] = {
      {"from the left, before", 25, 110, {1, 0, 2, 3}},
      {"from the left, after", 25, 140, {1, 2, 0, 3}},
      {"from the right, before", 175, 60, {0, 3, 1, 2}},
      {"from the right, after", 175, 90, {0, 1, 3, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageTree t;
    std::vector<std::pair<TColumnIndex, int32_t>> moved;
    t.tree->OnHeaderColumnMoved = [&](TNTHeader*, TColumnIndex col, int32_t old) { moved.emplace_back(col, old); };
    t.startDrag(c.from);
    t.send(WM_MOUSEMOVE, c.to, -5);
    EXPECT_EQ(t.columns.DropTargetIndex, c.to / 50);
    EXPECT_TRUE(t.send(WM_NCLBUTTONUP, c.to, -5));
    EXPECT_EQ(t.columns.PositionMap(), c.map);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].first, c.from / 50);
    EXPECT_EQ(moved[0].second, c.from / 50);
    EXPECT_FALSE(t.header.DragImage().Visible());
  }
}

TEST(TreeHeaderMessages, DragOutsideAndEscapeLeavePositions) {
  const std::vector<int32_t> identity{0, 1, 2, 3};
  {
    MessageTree t;
    std::vector<TColumnIndex> out;
    t.tree->OnHeaderColumnDroppedOutside = [&](TNTHeader*, TColumnIndex c, TPoint) { out.push_back(c); };
    bool movedAny = false;
    t.tree->OnHeaderColumnMoved = [&](TNTHeader*, TColumnIndex, int32_t) { movedAny = true; };
    t.startDrag(75);
    EXPECT_TRUE(t.header.DragImage().Visible());
    t.send(WM_MOUSEMOVE, 500, -5);
    t.send(WM_NCLBUTTONUP, 500, -5);
    EXPECT_EQ(out, (std::vector<TColumnIndex>{1}));
    EXPECT_FALSE(movedAny);
    EXPECT_EQ(t.columns.PositionMap(), identity);
  }
  {
    MessageTree t;
    t.startDrag(75);
    t.send(WM_MOUSEMOVE, 160, -5);
    EXPECT_TRUE(t.send(WM_KEYDOWN, 0, 0, VK_ESCAPE));
    EXPECT_FALSE(t.header.States().Contains(hsDragging));
    EXPECT_FALSE(t.header.DragImage().Visible());
    EXPECT_FALSE(t.host.Captured);
    EXPECT_EQ(t.columns.DropTargetIndex, NoColumn);
    t.send(WM_NCLBUTTONUP, 160, -5);
    EXPECT_EQ(t.columns.PositionMap(), identity);
  }
}

TEST(TreeHeaderMessages, DoubleClickOnADividerFitsTheColumn) {
  for (bool animated : {true, false}) {
    SCOPED_TRACE(animated ? "animated" : "direct");
    MessageTree t;
    t.header.SetOptions(t.header.Options() + THeaderOptions{hoDblClickResize});
    if (!animated) t.header.SetOptions(t.header.Options() + THeaderOptions{hoDisableAnimatedResize});
    std::vector<std::pair<TColumnIndex, bool>> measured;
    t.tree->OnColumnWidthMeasuring = [&](TNTHeader*, TColumnIndex c, bool& smart) { measured.emplace_back(c, smart); };
    t.tree->OnColumnWidthMeasured = [](TNTHeader*, TColumnIndex, int32_t& w) { w = 123; };
    EXPECT_TRUE(t.send(WM_NCLBUTTONDBLCLK, 101, -5));
    ASSERT_EQ(measured.size(), 1u);
    EXPECT_EQ(measured[0].first, 1);
    EXPECT_FALSE(measured[0].second);  // smart type 2 follows coSmartResize
    if (animated) {
      // The slide runs on the slide timer: 32 steps of the window contents.
      EXPECT_EQ(t.columns.Items(1)->Width(), 50);
      ASSERT_TRUE(t.host.TimerRunning(HeaderSlideTimer));
      t.host.ClearCalls();
      for (int i = 0; i < 32; ++i) EXPECT_TRUE(t.send(WM_TIMER, 0, 0, HeaderSlideTimer));
      const auto scrolls = t.host.CallsOf(TRecordingNodeTreeHost::hcScroll);
      ASSERT_EQ(scrolls.size(), 64u);
      EXPECT_EQ(scrolls[0].A, 2);  // (123 - 50) div 32
      EXPECT_EQ(scrolls[0].Rect.Left, 100);
      EXPECT_EQ(scrolls[62].Rect.Left, 100 + 31 * 2);
      EXPECT_FALSE(t.host.TimerRunning(HeaderSlideTimer));
    }
    EXPECT_EQ(t.columns.Items(1)->Width(), 123);
  }
}

// With header hints, hovering a column hands the tree to the application's
// hint cycle; a press on the header cancels the hint.
TEST(TreeHeaderMessages, HeaderHintsGoThroughTheApplication) {
  TApplication app;
  ASSERT_EQ(Application, nullptr);
  Application = &app;
  {
    MessageTree t;
    t.tree->ShowHint = true;
    t.header.SetOptions(t.header.Options() + THeaderOptions{hoShowHint});
    t.host.HasMouse = true;
    t.host.Mouse = Point(75, -5);
    t.send(WM_NCMOUSEMOVE, 75, -5);
    EXPECT_EQ(app.HintControl(), t.tree.get());
    t.send(WM_NCLBUTTONDOWN, 75, -5);
    EXPECT_EQ(app.HintControl(), nullptr);
    t.send(WM_LBUTTONUP, 75, -5);
  }
  Application = nullptr;
}

TEST(TreeHeaderMessages, HoverEndsOnTheTimerOnceTheMouseLeaves) {
  MessageTree t;
  t.host.HasMouse = true;
  t.host.Mouse = Point(75, -5);
  t.send(WM_NCMOUSEMOVE, 75, -5);
  EXPECT_EQ(t.columns.HotIndex, 1);
  ASSERT_TRUE(t.host.TimerRunning(HeaderHoverTimer));
  EXPECT_EQ(t.host.Timers[HeaderHoverTimer], 50u);
  EXPECT_FALSE(t.send(WM_TIMER, 0, 0, HeaderHoverTimer));  // still over the header
  EXPECT_EQ(t.columns.HotIndex, 1);
  t.host.Mouse = Point(75, 40);
  EXPECT_TRUE(t.send(WM_TIMER, 0, 0, HeaderHoverTimer));
  EXPECT_EQ(t.columns.HotIndex, NoColumn);
  EXPECT_FALSE(t.host.TimerRunning(HeaderHoverTimer));
}

TEST(TreeHeaderMessages, HeightTrackingAndDoubleClickReset) {
  MessageTree t;
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoHeightResize, hoHeightDblClickResize});
  t.host.HasMouse = true;
  t.host.Mouse = Point(300, 1);
  t.send(WM_SETCURSOR, 0, 0);
  EXPECT_EQ(t.host.Cursor, crNTVertSplit);
  EXPECT_TRUE(t.send(WM_NCLBUTTONDOWN, 300, 1));
  t.send(WM_MOUSEMOVE, 300, 12);
  EXPECT_EQ(t.header.Height(), 31);
  t.send(WM_NCLBUTTONUP, 300, 0);
  EXPECT_TRUE(t.send(WM_NCLBUTTONDBLCLK, 300, 0));
  EXPECT_EQ(t.header.Height(), t.header.MinHeight());
}

}  // namespace
}  // namespace px::test
