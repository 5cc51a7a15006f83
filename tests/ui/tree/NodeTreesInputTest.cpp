// Keys and mouse buttons handed to the tree's handlers: hit positions,
// clicks, check boxes, the rubber band, automatic scrolling, node heights,
// hot tracking, navigation, numeric-pad commands, Space, Esc, F1 and F2, and
// nodes freed while a press or key waits for its release.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QRegion>
#include <QWidget>
#include <cstdlib>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "NodeTreesTestSupport.h"
#include "platform/gui/Forms.h"

namespace px::test {
namespace {

// A tree whose labels are 50 pixels wide (the string tree answers this).
class LabelTree : public TBaseNodeTree {
 public:
  using TBaseNodeTree::TBaseNodeTree;
  bool RightToLeft = false;
  int32_t NodeWidth(PNTNode, TColumnIndex, TCanvas*) override { return 50; }
  bool UseRightToLeftAlignment() const override { return RightToLeft; }
};

struct InputTree {
  TRecordingNodeTreeHost host{200, 100};
  std::unique_ptr<LabelTree> tree = std::make_unique<LabelTree>(nullptr);
  explicit InputTree(Cardinal roots = 10) {
    tree->SetHost(&host);
    tree->SetRootNodeCount(roots);
  }
  ~InputTree() {
    tree->BeforeDestruction();
    tree.reset();
  }
  TBaseNodeTree& t() { return *tree; }
  PNTNode row(size_t i) {
    PNTNode n = tree->GetFirstVisible();
    while (n && i-- > 0) n = tree->GetNextVisible(n);
    return n;
  }
  int rowOf(PNTNode node) {
    int i = 0;
    for (PNTNode n = tree->GetFirstVisible(); n; n = tree->GetNextVisible(n), ++i)
      if (n == node) return i;
    return -1;
  }
  std::set<int> selectedRows() {
    std::set<int> rows;
    for (PNTNode n : tree->GetSortedSelection(true)) rows.insert(rowOf(n));
    return rows;
  }
  void options(std::initializer_list<TTreeSelectionOption> sel, std::initializer_list<TTreeMiscOption> misc = {}) {
    TNTSelectionOptions s = tree->Options().SelectionOptions();
    for (auto o : sel) s.Include(o);
    tree->Options().SetSelectionOptions(s);
    TNTMiscOptions m = tree->Options().MiscOptions();
    for (auto o : misc) m.Include(o);
    tree->Options().SetMiscOptions(m);
  }
  static WPARAM flags(TShiftState shift) {
    WPARAM w = 0;
    if (shift.Contains(ssShift)) w |= MK_SHIFT;
    if (shift.Contains(ssCtrl)) w |= MK_CONTROL;
    if (shift.Contains(ssAlt)) w |= MK_ALT;
    return w;
  }
  void key(Word vk, TShiftState shift = {}) {
    TMessage m{WM_KEYDOWN, vk, static_cast<LPARAM>(flags(shift)), 0};
    tree->WMKeyDown(m);
  }
  void keyUp(Word vk, TShiftState shift = {}) {
    TMessage m{WM_KEYUP, vk, static_cast<LPARAM>(flags(shift)), 0};
    tree->WMKeyUp(m);
  }
  void chr(char16_t c) {
    TMessage m{WM_CHAR, c, 0, 0};
    tree->WMChar(m);
  }
  TMessage mouse(Cardinal msg, int x, int y, TShiftState shift) {
    return TMessage{msg, flags(shift) | (msg == WM_LBUTTONUP ? 0 : MK_LBUTTON), MakeLParam(x, y), 0};
  }
  void press(int x, int y, TShiftState shift = {}) {
    TMessage m = mouse(WM_LBUTTONDOWN, x, y, shift);
    tree->WMLButtonDown(m);
  }
  void release(int x, int y, TShiftState shift = {}) {
    TMessage m = mouse(WM_LBUTTONUP, x, y, shift);
    tree->WMLButtonUp(m);
  }
  void click(int x, int y, TShiftState shift = {}) {
    press(x, y, shift);
    release(x, y, shift);
  }
  void dblClick(int x, int y) {
    TMessage m = mouse(WM_LBUTTONDBLCLK, x, y, {});
    tree->WMLButtonDblClk(m);
    release(x, y);
  }
  void move(int x, int y, TShiftState shift = {}) {
    host.HasMouse = true;
    host.Mouse = {x, y};
    TMessage m = mouse(WM_MOUSEMOVE, x, y, shift);
    tree->WMMouseMove(m);
  }
  // The middle of row i's label (the label starts at 22 for top-level nodes).
  static int labelY(int row) { return row * 18 + 9; }
};

// ---------------------------------------------------------------------------
// Hit positions

TEST(TreeHit, ZonesOfARowLeftToRightAndRightToLeft) {
  InputTree t(3);
  TBaseNodeTree& tree = t.t();
  t.options({}, {moCheckSupport});
  tree.SetChildCount(t.row(0), 2);
  tree.SetCheckType(t.row(0), ctCheckBox);
  struct Case {
    int x;
    THitPosition zone;
    bool exact;  // on the button glyph as well
  } cases[] = {
      {2, hiOnItemButton, false},   {5, hiOnItemButton, true},    {13, hiOnItemButton, true},
      {14, hiOnItemButton, false},  {21, hiOnItemButton, false},
      {22, hiOnItemCheckbox, false}, {39, hiOnItemCheckbox, false}, {40, hiOnItemLabel, false},
      {89, hiOnItemLabel, false},   {90, hiOnItemRight, false},    {199, hiOnItemRight, false},
  };
  for (bool rtl : {false, true}) {
    t.tree->RightToLeft = rtl;
    for (const Case& c : cases) {
      int x = rtl ? 199 - c.x : c.x;
      THitInfo hit;
      tree.GetHitTestInfoAt(x, 5, true, hit);
      THitPosition zone = c.zone;
      if (rtl && zone == hiOnItemRight) zone = hiOnItemLeft;
      EXPECT_EQ(hit.HitNode, t.row(0)) << x;
      EXPECT_TRUE(hit.HitPositions.Contains(hiOnItem)) << x;
      EXPECT_TRUE(hit.HitPositions.Contains(zone)) << "x " << x << (rtl ? " rtl" : "");
      EXPECT_EQ(hit.HitPositions.Contains(hiOnItemButtonExact), c.exact) << x;
    }
  }
  // Without children the indent is no button; below the rows nothing.
  t.tree->RightToLeft = false;
  THitInfo hit;
  tree.GetHitTestInfoAt(12, 18 + 5, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnItemIndent));
  tree.GetHitTestInfoAt(50, 95, true, hit);
  EXPECT_EQ(hit.HitNode, nullptr);
  EXPECT_TRUE(hit.HitPositions.Contains(hiNowhere));
  // Centred and right-aligned labels leave room on their left.
  struct Aligned {
    TAlignment alignment;
    int x;
    THitPosition zone;
  } aligned[] = {{taRightJustify, 149, hiOnItemLeft}, {taRightJustify, 150, hiOnItemLabel},
                 {taCenter, 85, hiOnItemLeft},       {taCenter, 86, hiOnItemLabel},
                 {taCenter, 135, hiOnItemLabel},     {taCenter, 136, hiOnItemRight}};
  for (const Aligned& a : aligned) {
    THitInfo h;
    h.HitNode = t.row(1);
    tree.LocateHitInNodeLTR(h, a.x, 200, a.alignment);
    EXPECT_TRUE(h.HitPositions.Contains(a.zone)) << a.x;
  }
  // State and normal images follow the check box, each 2 pixels apart.
  TImageList states(nullptr), normal(nullptr);
  states.SetSize(10, 10);
  normal.SetSize(12, 12);
  tree.SetStateImages(&states);
  tree.SetImages(&normal);
  tree.OnImageIndexQuery = [](TBaseNodeTree*, PNTNode, TNTImageKind, TColumnIndex, bool&, int32_t& index) {
    index = 0;
  };
  struct Imaged {
    int x;
    THitPosition zone;
  } imaged[] = {{39, hiOnItemCheckbox}, {40, hiOnStateIcon},  {51, hiOnStateIcon},
                {52, hiOnNormalIcon},   {65, hiOnNormalIcon}, {66, hiOnItemLabel}};
  for (const Imaged& c : imaged) {
    THitInfo h;
    tree.GetHitTestInfoAt(c.x, 5, true, h);
    EXPECT_TRUE(h.HitPositions.Contains(c.zone)) << c.x;
  }
}

// ---------------------------------------------------------------------------
// Buttons, check boxes, clicks

TEST(TreeMouse, ButtonTogglesAndCheckAppliesOnlyOnRelease) {
  InputTree t(3);
  TBaseNodeTree& tree = t.t();
  t.options({}, {moCheckSupport});
  PNTNode parent = t.row(0);
  tree.SetChildCount(parent, 2);
  t.click(12, 5);
  EXPECT_TRUE(tree.Expanded(parent));
  t.click(12, 5);
  EXPECT_FALSE(tree.Expanded(parent));
  tree.SetExpanded(parent, true);
  // Tri-state parent over two check boxes.
  tree.SetCheckType(parent, ctTriStateCheckBox);
  PNTNode a = t.row(1), b = t.row(2);
  tree.SetCheckType(a, ctCheckBox);
  tree.SetCheckType(b, ctCheckBox);
  const int boxA = 18 + 18 + 4 + 5;  // one level in: the box starts at 40
  t.press(boxA, InputTree::labelY(1));
  EXPECT_EQ(tree.CheckState(a), csUncheckedPressed);
  EXPECT_TRUE(tree.TreeStates().Contains(stMouseCheckPending));
  t.release(boxA, InputTree::labelY(1));
  EXPECT_EQ(tree.CheckState(a), csCheckedNormal);
  EXPECT_EQ(tree.CheckState(parent), csMixedNormal);
  // Released over another node: restored, not applied.
  t.press(boxA, InputTree::labelY(2));
  EXPECT_EQ(tree.CheckState(b), csUncheckedPressed);
  t.release(boxA, InputTree::labelY(3));
  EXPECT_EQ(tree.CheckState(b), csUncheckedNormal);
  t.click(boxA, InputTree::labelY(2));
  EXPECT_EQ(tree.CheckState(parent), csCheckedNormal);
  // The pressed node freed before the release.
  t.press(boxA, InputTree::labelY(2));
  tree.DeleteNode(b);
  EXPECT_EQ(tree.CheckNode(), nullptr);
  t.release(boxA, InputTree::labelY(2));
  EXPECT_FALSE(tree.TreeStates().Contains(stMouseCheckPending));
}

TEST(TreeMouse, CtrlAndShiftClicksWithConstraints) {
  InputTree t(8);
  TBaseNodeTree& tree = t.t();
  t.options({slMultiSelect});
  t.click(50, InputTree::labelY(1));
  EXPECT_EQ(tree.FocusedNode(), t.row(1));
  EXPECT_EQ(t.selectedRows(), (std::set<int>{1}));
  t.click(50, InputTree::labelY(3), {ssCtrl});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{1, 3}));
  t.click(50, InputTree::labelY(4), {ssShift});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{3, 4}));
  t.click(50, InputTree::labelY(1), {ssCtrl, ssShift});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{1, 2, 3, 4}));
  t.click(50, InputTree::labelY(2), {ssCtrl});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{1, 3, 4}));
  t.click(50, InputTree::labelY(0));
  EXPECT_EQ(t.selectedRows(), (std::set<int>{0}));
  EXPECT_EQ(tree.OffsetY(), 0);
  // Level constraint: a child of another level is refused.
  t.options({slLevelSelectConstraint});
  tree.SetChildCount(t.row(0), 1);
  tree.SetExpanded(t.row(0), true);  // row 1 is now the child
  t.click(50, InputTree::labelY(2));
  t.click(68, InputTree::labelY(1), {ssCtrl});
  EXPECT_FALSE(tree.Selected(t.row(1)));
  // Alt on a label selects it alone without focusing it.
  PNTNode focused = tree.FocusedNode();
  t.click(50, InputTree::labelY(4), {ssAlt});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{4}));
  EXPECT_EQ(tree.FocusedNode(), focused);
}

TEST(TreeMouse, PressOnASelectedNodeKeepsTheSelectionUntilRelease) {
  InputTree t(6);
  TBaseNodeTree& tree = t.t();
  t.options({slMultiSelect});
  tree.OnDragQuery = [](TBaseNodeTree*, PNTNode, TColumnIndex, bool& allowed) { allowed = true; };
  t.click(50, InputTree::labelY(1));
  t.click(50, InputTree::labelY(3), {ssShift});
  ASSERT_EQ(t.selectedRows(), (std::set<int>{1, 2, 3}));
  t.press(50, InputTree::labelY(2));
  EXPECT_EQ(t.selectedRows(), (std::set<int>{1, 2, 3}));
  EXPECT_TRUE(tree.TreeStates().Contains(stClearPending));
  t.release(50, InputTree::labelY(2));
  EXPECT_EQ(t.selectedRows(), (std::set<int>{2}));
  // Moving far enough (a drag) keeps the whole selection.
  t.click(50, InputTree::labelY(4), {ssShift});
  t.press(50, InputTree::labelY(3));
  t.move(60, InputTree::labelY(3) + 8);
  t.release(60, InputTree::labelY(3) + 8);
  EXPECT_EQ(t.selectedRows(), (std::set<int>{2, 3, 4}));
}

TEST(TreeMouse, RubberBandSelectsInvertsWithCtrlAndAutoScrolls) {
  InputTree t(20);
  TBaseNodeTree& tree = t.t();
  t.options({slMultiSelect});
  t.press(120, 5);  // right of the label: free space
  EXPECT_TRUE(tree.TreeStates().Contains(stDrawSelPending));
  t.move(30, 60);
  EXPECT_TRUE(tree.TreeStates().Contains(stDrawSelecting));
  EXPECT_EQ(t.selectedRows(), (std::set<int>{0, 1, 2, 3}));
  t.move(30, 30);  // shrinking gives rows back
  EXPECT_EQ(t.selectedRows(), (std::set<int>{0, 1}));
  t.release(30, 30);
  EXPECT_FALSE(tree.IsMouseSelecting());
  t.press(120, 5, {ssCtrl});
  t.move(30, 45, {ssCtrl});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{2}));
  t.release(30, 45, {ssCtrl});
  // Esc ends a band.
  t.press(120, 5);
  t.key(VK_ESCAPE);
  EXPECT_FALSE(tree.IsMouseSelecting());
  t.release(120, 5);

  // At the upper edge of a scrolled tree: nothing before the delay, then the
  // timer steps.
  TNTAutoOptions a = tree.Options().AutoOptions();
  a.Include(auScroll);
  tree.Options().SetAutoOptions(a);
  tree.SetOffsetY(-100);
  tree.AutoScrollDelay = 100000;
  t.press(120, 50);
  t.move(120, 10);  // the band starts
  t.move(120, 5);
  EXPECT_FALSE(t.host.TimerRunning(ScrollTimer));
  t.release(120, 5);
  tree.AutoScrollDelay = 0;
  t.press(120, 50);
  t.move(120, 10);
  t.move(120, 5);
  EXPECT_TRUE(t.host.TimerRunning(ScrollTimer));
  EXPECT_TRUE(tree.TreeStates().Contains(stScrollPending));
  tree.TimerFired(ScrollTimer);
  EXPECT_TRUE(tree.TreeStates().Contains(stScrolling));
  EXPECT_EQ(tree.OffsetY(), -80);
  t.release(120, 5);
  EXPECT_FALSE(t.host.TimerRunning(ScrollTimer));
}

TEST(TreeMouse, NodeHeightDragAndDoubleClickReset) {
  InputTree t(4);
  TBaseNodeTree& tree = t.t();
  t.options({}, {moNodeHeightResize, moNodeHeightDblClickReset});
  tree.OnNodeEdgeResizeQuery = [](TBaseNodeTree*, TPoint, PNTNode, TColumnIndex, bool& allowed) { allowed = true; };
  t.press(50, 16);  // lower edge of row 0
  EXPECT_TRUE(tree.TreeStates().Contains(stNodeHeightTrackPending));
  t.move(50, 30);
  EXPECT_TRUE(tree.TreeStates().Contains(stNodeHeightTracking));
  EXPECT_EQ(tree.NodeHeight(t.row(0)), 30u);
  t.release(50, 30);
  EXPECT_FALSE(tree.TreeStates().Contains(stNodeHeightTracking));
  t.dblClick(50, 28);
  EXPECT_EQ(tree.NodeHeight(t.row(0)), 18u);
  // The tracked node freed during the drag.
  t.press(50, 16);
  t.move(50, 25);
  tree.DeleteNode(t.row(0));
  EXPECT_EQ(tree.HeightTrackNode(), nullptr);
  t.move(50, 40);
  t.release(50, 40);
}

TEST(TreeMouse, WheelPanningDirectionsCursorsAndTimer) {
  InputTree t(30);
  TBaseNodeTree& tree = t.t();
  t.options({}, {moWheelPanning});
  tree.AutoScrollDelay = 0;
  TMessage middle{WM_MBUTTONDOWN, MK_MBUTTON, MakeLParam(100, 50), 0};
  tree.WMMButtonDown(middle);
  EXPECT_TRUE(tree.TreeStates().Contains(stWheelPanning));
  EXPECT_EQ(t.host.Timers[ScrollTimer], 20u);
  EXPECT_EQ(tree.PanningCursor(), crNTMoveNS);  // only the vertical range exceeds the client
  // The window at the centre takes the shape of its picture and no focus.
  QWidget* window = tree.PanningWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
  const QRegion mask = window->mask();
  EXPECT_FALSE(mask.isEmpty());
  EXPECT_TRUE(mask.contains(QPoint(16, 16)));
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));  // outside the disc
  if (const char* dir = std::getenv("PX_TREE_PNG_DIR")) window->grab().save(QString(dir) + "/panning.png");
  EXPECT_TRUE(HasCursorImage(crNTMoveNS));
  EXPECT_TRUE(HasCursorImage(crNTMoveSW));
  TMessage middleUp{WM_MBUTTONUP, 0, MakeLParam(100, 50), 0};
  tree.WMMButtonUp(middleUp);  // panning goes on until the next click
  EXPECT_TRUE(tree.TreeStates().Contains(stWheelScrolling));
  t.move(104, 56);  // inside the dead zone
  EXPECT_EQ(tree.PanningCursor(), crNTMoveNS);
  t.move(100, 80);
  EXPECT_EQ(tree.PanningCursor(), crNTMoveS);
  tree.TimerFired(ScrollTimer);
  EXPECT_EQ(tree.OffsetY(), -22);  // the distance beyond the dead zone
  t.move(100, 20);
  EXPECT_EQ(tree.PanningCursor(), crNTMoveN);
  tree.TimerFired(ScrollTimer);
  EXPECT_EQ(tree.OffsetY(), 0);
  t.press(50, 9);  // any click ends it
  EXPECT_FALSE(tree.TreeStates().Contains(stWheelScrolling));
  EXPECT_FALSE(t.host.TimerRunning(ScrollTimer));
  EXPECT_EQ(tree.PanningWindow(), nullptr);
  EXPECT_EQ(tree.FocusedNode(), nullptr);  // the click only ended the panning
}

TEST(TreeMouse, HotTrackingFollowsTheLabel) {
  InputTree t(3);
  TBaseNodeTree& tree = t.t();
  std::vector<std::pair<PNTNode, PNTNode>> changes;
  tree.OnHotNodeChanged = [&](TBaseNodeTree*, PNTNode from, PNTNode to) { changes.push_back({from, to}); };
  t.move(50, InputTree::labelY(1));
  EXPECT_EQ(tree.HotNode(), t.row(1));
  t.move(150, InputTree::labelY(1));  // right of the label
  EXPECT_EQ(tree.HotNode(), nullptr);
  t.move(60, InputTree::labelY(2));
  EXPECT_EQ(tree.HotNode(), t.row(2));
  EXPECT_EQ(changes.size(), 3u);
}

// ---------------------------------------------------------------------------
// Keys

TEST(TreeKeys, NavigationTable) {
  struct Case {
    const char* name;
    int from;
    Word key;
    TShiftState shift;
    int focus;
    std::set<int> selected;
    int offsetY = 1;  // 1: not checked
  } cases[] = {
      {"down", 0, VK_DOWN, {}, 1, {1}},
      {"up", 3, VK_UP, {}, 2, {2}},
      {"home", 5, VK_HOME, {}, 0, {0}},
      {"end", 2, VK_END, {}, 9, {9}},
      {"page down", 0, VK_NEXT, {}, 5, {5}},
      {"page up", 9, VK_PRIOR, {}, 4, {4}},
      {"shift down", 2, VK_DOWN, {ssShift}, 3, {2, 3}},
      {"shift end", 7, VK_END, {ssShift}, 9, {7, 8, 9}},
      {"shift page up", 6, VK_PRIOR, {ssShift}, 1, {1, 2, 3, 4, 5, 6}},
      {"ctrl down scrolls", 2, VK_DOWN, {ssCtrl}, 2, {2}, -18},
      {"ctrl page down scrolls", 1, VK_NEXT, {ssCtrl}, 1, {1}, -80},
      {"ctrl end only scrolls", 1, VK_END, {ssCtrl}, 1, {1}, -80},
      {"ctrl up scrolls back", 0, VK_UP, {ssCtrl}, 0, {0}, 0},
      {"up at the top", 0, VK_UP, {}, 0, {0}},
  };
  for (const Case& c : cases) {
    InputTree t(10);
    TBaseNodeTree& tree = t.t();
    t.options({slMultiSelect});
    t.key(VK_HOME);
    for (int i = 0; i < c.from; ++i) t.key(VK_DOWN);
    ASSERT_EQ(t.rowOf(tree.FocusedNode()), c.from) << c.name;
    t.key(c.key, c.shift);
    EXPECT_EQ(t.rowOf(tree.FocusedNode()), c.focus) << c.name;
    EXPECT_EQ(t.selectedRows(), c.selected) << c.name;
    if (c.offsetY != 1) {
      EXPECT_EQ(tree.OffsetY(), c.offsetY) << c.name;
    }
  }
}

TEST(TreeKeys, LeftRightCollapseExpandAndParent) {
  InputTree t(3);
  TBaseNodeTree& tree = t.t();
  PNTNode parent = t.row(1);
  tree.SetChildCount(parent, 2);
  tree.SetFocusedNode(parent);
  t.key(VK_RIGHT);
  EXPECT_TRUE(tree.Expanded(parent));
  EXPECT_EQ(tree.FocusedNode(), parent);
  t.key(VK_RIGHT);
  EXPECT_EQ(tree.FocusedNode(), tree.GetFirstChild(parent));
  t.key(VK_LEFT);
  EXPECT_EQ(tree.FocusedNode(), parent);
  t.key(VK_LEFT);
  EXPECT_FALSE(tree.Expanded(parent));
  t.key(VK_LEFT);  // top level: no parent to go to
  EXPECT_EQ(tree.FocusedNode(), parent);
  // Right to left swaps them.
  t.tree->RightToLeft = true;
  t.key(VK_LEFT);
  EXPECT_TRUE(tree.Expanded(parent));
  // Backspace goes to the parent.
  tree.SetFocusedNode(tree.GetFirstChild(parent));
  t.key(VK_BACK);
  EXPECT_EQ(tree.FocusedNode(), parent);
}

// Sideways keys scroll the same way on screen in both reading orders; Home
// goes to the edge the reading starts at, End to the far one.
TEST(TreeKeys, SidewaysScrollingInBothReadingOrders) {
  for (bool rtl : {false, true}) {
    SCOPED_TRACE(rtl ? "right to left" : "left to right");
    InputTree t(3);
    TBaseNodeTree& tree = t.t();
    t.tree->RightToLeft = rtl;
    for (int i = 0; i < 3; ++i) tree.Header().Columns().AddColumn()->SetWidth(150);
    tree.Header().SetOptions(tree.Header().Options() + THeaderOptions{hoVisible});
    ASSERT_EQ(tree.RangeX(), 450);
    const int32_t end = tree.ClientWidth() - 450;  // the far end's offset
    const int32_t start = rtl ? -end : 0;           // the bar's position at the start
    tree.SetFocusedNode(t.row(0));
    t.key(VK_END, {ssCtrl});
    EXPECT_EQ(tree.OffsetX(), end);
    EXPECT_EQ(tree.EffectiveOffsetX(), -end - start);
    t.key(VK_HOME, {ssCtrl});
    EXPECT_EQ(tree.OffsetX(), 0);
    EXPECT_EQ(tree.EffectiveOffsetX(), start);
    // Shift+Ctrl+PageDown shows more of the right, Shift+Ctrl+PageUp and
    // Ctrl+Left more of the left.
    tree.SetOffsetX(rtl ? end : 0);
    ASSERT_EQ(tree.EffectiveOffsetX(), 0);
    t.key(VK_NEXT, {ssCtrl, ssShift});
    EXPECT_EQ(tree.EffectiveOffsetX(), tree.ClientWidth());
    t.key(VK_PRIOR, {ssCtrl, ssShift});
    EXPECT_EQ(tree.EffectiveOffsetX(), 0);
    tree.SetOffsetX(rtl ? 0 : end);
    t.key(VK_LEFT, {ssCtrl});
    EXPECT_EQ(tree.EffectiveOffsetX(), -end - 150);
  }
}

TEST(TreeKeys, TabWalksFocusableColumnsAndRows) {
  InputTree t(2);
  TBaseNodeTree& tree = t.t();
  t.options({slExtendedFocus});
  for (int i = 0; i < 3; ++i) tree.Header().Columns().AddColumn();
  tree.Header().SetOptions(tree.Header().Options() + THeaderOptions{hoVisible});
  TNTColumnOptions o = tree.Header().Columns().Items(1)->Options();
  o.Exclude(coAllowFocus);
  tree.Header().Columns().Items(1)->SetOptions(o);
  tree.SetFocusedNode(t.row(0));
  tree.SetFocusedColumn(0);
  std::vector<std::pair<int, TColumnIndex>> seen;
  for (int i = 0; i < 3; ++i) {
    t.key(VK_TAB);
    seen.push_back({t.rowOf(tree.FocusedNode()), tree.FocusedColumn()});
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, TColumnIndex>>{{0, 2}, {1, 0}, {1, 2}}));
  t.key(VK_TAB, {ssShift});
  EXPECT_EQ(tree.FocusedColumn(), 0);
}

TEST(TreeKeys, NumericPadCommandsAndSearchCharacters) {
  InputTree t(2);
  TBaseNodeTree& tree = t.t();
  PNTNode a = t.row(0);
  tree.SetChildCount(a, 2);
  tree.SetChildCount(tree.GetFirstChild(a), 2);
  tree.SetFocusedNode(a);
  t.key(VK_ADD);
  EXPECT_TRUE(tree.Expanded(a));
  EXPECT_FALSE(tree.Expanded(tree.GetFirstChild(a)));
  t.key(VK_SUBTRACT);
  EXPECT_FALSE(tree.Expanded(a));
  t.key(VK_MULTIPLY);
  EXPECT_TRUE(tree.Expanded(tree.GetFirstChild(a)));
  t.key(VK_DIVIDE);
  EXPECT_FALSE(tree.Expanded(a));
  EXPECT_FALSE(tree.Expanded(tree.GetFirstChild(a)));
  // Ctrl+Shift+"+" expands every node unless the keys work on columns.
  t.key(VK_ADD, {ssCtrl, ssShift});
  EXPECT_TRUE(tree.Expanded(tree.GetFirstChild(a)));
  t.key(VK_SUBTRACT, {ssCtrl, ssShift});
  EXPECT_FALSE(tree.Expanded(a));
  t.options({}, {moCtrlShiftKeysOnColumns});
  t.key(VK_ADD, {ssCtrl, ssShift});
  EXPECT_FALSE(tree.Expanded(a));
  // While searching they are characters.
  std::vector<UnicodeString> searched;
  tree.OnSearchCompare = [&](TBaseNodeTree*, PNTNode, const UnicodeString& text, int& result) {
    searched.push_back(text);
    result = 0;
  };
  t.key('X');
  t.chr(u'x');
  EXPECT_TRUE(tree.TreeStates().Contains(stIncrementalSearching));
  const bool expanded = tree.Expanded(tree.FocusedNode());
  t.key(VK_ADD);
  EXPECT_TRUE(tree.TreeStates().Contains(stIncrementalSearchPending));
  EXPECT_EQ(tree.Expanded(tree.FocusedNode()), expanded);
  t.chr(u'+');
  ASSERT_FALSE(searched.empty());
  EXPECT_EQ(searched.back(), u"x+");
  // Ctrl with a letter is no search character.
  t.key('B', {ssCtrl});
  EXPECT_FALSE(tree.TreeStates().Contains(stIncrementalSearchPending));
}

TEST(TreeKeys, SpaceChecksOnReleaseOnlyWhenTheFocusStayed) {
  InputTree t(3);
  TBaseNodeTree& tree = t.t();
  t.options({}, {moCheckSupport});
  for (int i = 0; i < 3; ++i) tree.SetCheckType(t.row(i), ctCheckBox);
  tree.SetFocusedNode(t.row(0));
  t.key(VK_SPACE);
  EXPECT_EQ(tree.CheckState(t.row(0)), csUncheckedPressed);
  t.keyUp(VK_SPACE);
  EXPECT_EQ(tree.CheckState(t.row(0)), csCheckedNormal);
  // Space down, the focus moves, Space up: nothing changes.
  t.key(VK_SPACE);
  t.key(VK_DOWN);
  t.keyUp(VK_SPACE);
  EXPECT_EQ(tree.CheckState(t.row(0)), csCheckedNormal);
  EXPECT_EQ(tree.CheckState(t.row(1)), csUncheckedNormal);
  // The node freed between down and up.
  t.key(VK_SPACE);
  tree.DeleteNode(t.row(1));
  EXPECT_EQ(tree.KeyCheckNode(), nullptr);
  t.keyUp(VK_SPACE);
  // Without check support Space is a search character.
  TNTMiscOptions m = tree.Options().MiscOptions();
  m.Exclude(moCheckSupport);
  tree.Options().SetMiscOptions(m);
  t.key(VK_SPACE);
  EXPECT_TRUE(tree.TreeStates().Contains(stIncrementalSearchPending));
}

TEST(TreeKeys, CtrlASelectsAllAndF1AsksForHelp) {
  InputTree t(4);
  TBaseNodeTree& tree = t.t();
  t.options({slMultiSelect});
  t.key('A', {ssCtrl});
  EXPECT_EQ(t.selectedRows(), (std::set<int>{0, 1, 2, 3}));

  TApplication app;
  ASSERT_EQ(Application, nullptr);
  Application = &app;
  std::vector<int32_t> helped;
  Application->HelpHook = [&](int32_t context) { helped.push_back(context); };
  tree.SetFocusedNode(t.row(2));
  t.key(VK_F1);  // no context anywhere: nothing
  tree.HelpContext = 7;
  t.key(VK_F1);
  tree.OnHelpContextQuery = [&](TBaseNodeTree*, PNTNode node, TColumnIndex, int32_t& context) {
    if (node == t.row(2)) context = 42;
  };
  t.key(VK_F1);
  EXPECT_EQ(helped, (std::vector<int32_t>{7, 42}));
  Application = nullptr;
}

}  // namespace
}  // namespace px::test
