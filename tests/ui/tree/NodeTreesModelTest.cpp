// The node model's behaviours: lazy initialisation during walks, both walk
// orders, notifications and their coalescing, check states, errors,
// assertion texts, scrolling, and handlers that act while nodes come and go.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "NodeTreesTestSupport.h"

namespace px::test {
namespace {

void setAuto(TBaseNodeTree& tree, TTreeAutoOption option, bool on) {
  TNTAutoOptions o = tree.Options().AutoOptions();
  if (on)
    o.Include(option);
  else
    o.Exclude(option);
  tree.Options().SetAutoOptions(o);
}

void setPaint(TBaseNodeTree& tree, TTreePaintOption option, bool on) {
  TNTPaintOptions o = tree.Options().PaintOptions();
  if (on)
    o.Include(option);
  else
    o.Exclude(option);
  tree.Options().SetPaintOptions(o);
}

// A lazily built tree: every node has three children down to level 2; the
// init handler counts its calls per node and may answer filtered/expanded.
struct LazyTree : HostedTree {
  std::map<PNTNode, int> inits;
  std::function<void(PNTNode, TNTNodeInitStates&)> extra;
  LazyTree() {
    setAuto(*tree, auSort, false);
    tree->OnNodeInit = [this](TBaseNodeTree* sender, PNTNode, PNTNode node, TNTNodeInitStates& states) {
      ++inits[node];
      if (sender->GetNodeLevel(node) < 2) states.Include(isHasChildren);
      if (extra) extra(node, states);
    };
    tree->OnChildrenInit = [](TBaseNodeTree*, PNTNode, Cardinal& count) { count = 3; };
    tree->SetRootNodeCount(3);
  }
};

TEST(NodeTreeWalks, InitialisingWalksInitialiseEachNodeOnceAndNoInitWalksNone) {
  LazyTree t;
  TBaseNodeTree& tree = *t.tree;
  // NoInit walks see only the three top-level nodes and initialise nothing.
  int seen = 0;
  for (PNTNode n = tree.GetFirstNoInit(); n; n = tree.GetNextNoInit(n)) ++seen;
  EXPECT_EQ(seen, 3);
  for (PNTNode n = tree.GetFirstVisibleNoInit(); n; n = tree.GetNextVisibleNoInit(n)) ++seen;
  EXPECT_EQ(seen, 6);
  EXPECT_TRUE(t.inits.empty());

  // The initialising walk creates children on demand: 3 + 9 + 27 nodes.
  int walked = 0;
  for (PNTNode n = tree.GetFirst(); n; n = tree.GetNext(n)) ++walked;
  EXPECT_EQ(walked, 39);
  EXPECT_EQ(t.inits.size(), 39u);
  for (auto& [node, count] : t.inits) EXPECT_EQ(count, 1);
  // A second walk initialises nothing again; backwards neither.
  for (PNTNode n = tree.GetLast(); n; n = tree.GetPrevious(n)) --walked;
  EXPECT_EQ(walked, 0);
  for (auto& [node, count] : t.inits) EXPECT_EQ(count, 1);
  ExpectConsistent(tree);
}

TEST(NodeTreeWalks, ChildrenAboveOrders) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  PNTNode a = tree.AddChild(nullptr);
  PNTNode a1 = tree.AddChild(a);
  PNTNode a2 = tree.AddChild(a);
  PNTNode b = tree.AddChild(nullptr);
  tree.ToggleNode(a);
  setPaint(tree, poChildrenAbove, true);

  struct Case {
    const char* name;
    std::function<PNTNode(PNTNode)> step;
    PNTNode first;
    std::vector<PNTNode> expected;
  };
  std::vector<Case> cases = {
      {"tree order", [&](PNTNode n) { return tree.GetNext(n, true); }, tree.GetFirst(true), {a1, a2, a, b}},
      {"normal order", [&](PNTNode n) { return tree.GetNext(n, false); }, tree.GetFirst(false), {a, a1, a2, b}},
      {"displayed", [&](PNTNode n) { return tree.GetNextVisible(n, true); }, tree.GetFirstVisible(nullptr, true),
       {a1, a2, a, b}},
      {"backwards", [&](PNTNode n) { return tree.GetPrevious(n, true); }, tree.GetLast(nullptr, true), {b, a, a2, a1}},
      {"displayed backwards", [&](PNTNode n) { return tree.GetPreviousVisible(n, true); },
       tree.GetLastVisible(nullptr, true), {b, a, a2, a1}},
  };
  for (const Case& c : cases) {
    std::vector<PNTNode> got;
    for (PNTNode n = c.first; n; n = c.step(n)) got.push_back(n);
    EXPECT_EQ(got, c.expected) << c.name;
  }
  EXPECT_EQ(tree.CompareNodePositions(a1, a, true), -1);
  EXPECT_EQ(tree.CompareNodePositions(a1, a, false), 1);
  // Row tops follow the display order: the parent below its children.
  EXPECT_EQ(tree.GetDisplayRect(a, NoColumn, false).Top, 36);
  EXPECT_EQ(tree.GetDisplayRect(a1, NoColumn, false).Top, 0);
  ExpectConsistent(tree);
}

TEST(NodeTreeWalks, FilteredNodesAreSkippedUnlessShown) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  PNTNode a = tree.AddChild(nullptr);
  PNTNode a1 = tree.AddChild(a);
  PNTNode b = tree.AddChild(nullptr);
  tree.ToggleNode(a);
  tree.SetFiltered(a, true);
  // A filtered parent is not displayed; its children still are.
  EXPECT_EQ(tree.GetFirstVisible(), a1);
  EXPECT_EQ(tree.GetNextVisible(a1), b);
  EXPECT_EQ(tree.VisibleCount(), 2u);
  EXPECT_EQ(tree.GetFirstVisible(nullptr, true, true), a);
  ExpectConsistent(tree);
  setPaint(tree, poShowFilteredNodes, true);
  EXPECT_EQ(tree.GetFirstVisible(), a);
  EXPECT_EQ(tree.VisibleCount(), 3u);
  ExpectConsistent(tree);
  setPaint(tree, poShowFilteredNodes, false);
  EXPECT_EQ(tree.VisibleCount(), 2u);
  ExpectConsistent(tree);
}

TEST(NodeTreeHandlers, InitAnsweringFilteredOrExpandedAndEmptyChildren) {
  LazyTree t;
  TBaseNodeTree& tree = *t.tree;
  // Middle nodes are filtered, first nodes expand themselves, and the
  // children of every third node turn out to be none.
  t.extra = [&](PNTNode node, TNTNodeInitStates& states) {
    if (node->Index == 1) states.Include(isFilteredOut);
    if (node->Index == 0) states.Include(isExpanded);
  };
  tree.OnChildrenInit = [](TBaseNodeTree* sender, PNTNode node, Cardinal& count) {
    count = node->Index == 2 && sender->GetNodeLevel(node) == 0 ? 0 : 3;
  };
  int displayed = 0;
  for (PNTNode n = tree.GetFirstVisible(); n; n = tree.GetNextVisible(n)) ++displayed;
  for (PNTNode n = tree.GetFirst(); n; n = tree.GetNext(n)) {
  }
  ExpectConsistent(tree);
  PNTNode third = tree.GetFirstChildNoInit(nullptr)->NextSibling->NextSibling;
  EXPECT_EQ(third->ChildCount, 0u);
  EXPECT_FALSE(third->Has(nsHasChildren));
  EXPECT_GT(displayed, 0);
  for (auto& [node, count] : t.inits) EXPECT_EQ(count, 1);
  tree.Clear();
  ExpectConsistent(tree);
  EXPECT_EQ(tree.VisibleCount(), 0u);
}

TEST(NodeTreeHandlers, FreeHandlerReadsObjectsKeptInNodeData) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  tree.SetNodeDataSize(sizeof(std::string));
  std::vector<std::string> freed;
  tree.OnNodeInit = [](TBaseNodeTree* sender, PNTNode, PNTNode node, TNTNodeInitStates&) {
    new (sender->GetNodeData(node)) std::string("node number " + std::to_string(node->Index) + " with a long text");
  };
  tree.OnNodeFree = [&](TBaseNodeTree* sender, PNTNode node) {
    auto* text = sender->GetNodeData<std::string>(node);
    freed.push_back(*text);
    text->~basic_string();
  };
  tree.SetRootNodeCount(5);
  for (PNTNode n = tree.GetFirst(); n; n = tree.GetNextSibling(n)) tree.SetChildCount(n, n->Index);
  for (PNTNode n = tree.GetFirst(); n; n = tree.GetNext(n)) {
  }
  PNTNode second = tree.GetFirstChildNoInit(nullptr)->NextSibling;
  tree.DeleteNode(second);
  EXPECT_EQ(freed.size(), 2u);  // the node and its one child
  EXPECT_EQ(freed.back(), "node number 1 with a long text");
  ExpectConsistent(tree);
  tree.Clear();
  EXPECT_EQ(freed.size(), 15u);
  ExpectConsistent(tree);
}

// A flat list is freed in one step only when nothing asks for its rows one
// by one: with a free handler every row still reaches it.
TEST(NodeTreeHandlers, FreeHandlerSeesEveryRowOfAClearedFlatList) {
  for (bool handler : {false, true}) {
    HostedTree t;
    TBaseNodeTree& tree = *t.tree;
    size_t freed = 0;
    if (handler) tree.OnNodeFree = [&](TBaseNodeTree*, PNTNode) { ++freed; };
    tree.SetRootNodeCount(3000);
    tree.GetFirstChild(nullptr);  // initialised rows and uninitialised ones
    tree.Clear();
    EXPECT_EQ(freed, handler ? 1u : 0u);  // the handler hears of initialised rows only
    tree.SetRootNodeCount(2500);
    for (PNTNode n = tree.GetFirst(); n; n = tree.GetNextSibling(n)) {
    }
    tree.Clear();
    EXPECT_EQ(freed, handler ? 2501u : 0u);
    ExpectConsistent(tree);
    tree.SetRootNodeCount(4000);
    ExpectConsistent(tree);
  }
}

TEST(NodeTreeNotifications, NestedBracketsGiveOneStructureChange) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  std::vector<std::pair<PNTNode, TChangeReason>> changes;
  std::vector<TNTUpdateState> updates;
  tree.OnStructureChanged = [&](TBaseNodeTree*, PNTNode node, TChangeReason reason) {
    changes.emplace_back(node, reason);
  };
  tree.OnUpdateStateChanged = [&](TBaseNodeTree*, TNTUpdateState s) { updates.push_back(s); };
  tree.BeginUpdate();
  tree.BeginUpdate();
  PNTNode a = tree.AddChild(nullptr);
  tree.AddChild(a);
  tree.EndUpdate();
  EXPECT_TRUE(changes.empty());
  tree.EndUpdate();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].second, crChildAdded);
  EXPECT_EQ(updates, (std::vector<TNTUpdateState>{usBegin, usUpdate, usUpdate, usEnd}));
  // Redraw went off once and on once.
  EXPECT_EQ(t.host.Count(TRecordingNodeTreeHost::hcSetRedraw), 2u);
  EXPECT_TRUE(t.host.Redraw);
}

TEST(NodeTreeNotifications, ChangeDelayCoalescesThroughTheTimers) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  tree.SetRootNodeCount(3);
  std::vector<PNTNode> changed;
  std::vector<TChangeReason> reasons;
  tree.OnChangeNotify = [&](TBaseNodeTree*, PNTNode node) { changed.push_back(node); };
  tree.OnStructureChanged = [&](TBaseNodeTree*, PNTNode, TChangeReason reason) { reasons.push_back(reason); };
  tree.ChangeDelay = 100;
  t.host.ClearCalls();

  PNTNode first = tree.GetFirst();
  PNTNode second = tree.GetNext(first);
  tree.AddToSelection(first);
  tree.AddToSelection(second);
  EXPECT_TRUE(changed.empty());
  ASSERT_TRUE(t.host.TimerRunning(ChangeTimer));
  EXPECT_EQ(t.host.Timers[ChangeTimer], 100u);
  // The second change restarted the timer: stop then start again.
  EXPECT_EQ(t.host.CallsOf(TRecordingNodeTreeHost::hcStartTimer).size(), 2u);
  EXPECT_GE(t.host.CallsOf(TRecordingNodeTreeHost::hcStopTimer).size(), 1u);
  tree.TimerFired(ChangeTimer);
  EXPECT_EQ(changed, std::vector<PNTNode>{second});
  EXPECT_FALSE(t.host.TimerRunning(ChangeTimer));
  EXPECT_FALSE(tree.TreeStates().Contains(stChangePending));

  // Two structure changes with different reasons merge into one.
  tree.AddChild(nullptr);
  tree.DeleteNode(tree.GetLastChildNoInit(nullptr));
  EXPECT_TRUE(reasons.empty());
  ASSERT_TRUE(t.host.TimerRunning(StructureChangeTimer));
  tree.TimerFired(StructureChangeTimer);
  EXPECT_EQ(reasons, std::vector<TChangeReason>{crAccumulated});

  // Immediate changes bypass the timer.
  tree.ChangeTreeState({stChangeImmediate}, {});
  tree.RemoveFromSelection(first);
  EXPECT_EQ(changed.back(), first);
}

TEST(NodeTreeNotifications, StateChangeEventOnlyForRealChanges) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  int events = 0;
  tree.OnTreeStateChange = [&](TBaseNodeTree*, TNTTreeStates, TNTTreeStates) { ++events; };
  tree.ChangeTreeState({stScrolling}, {});
  EXPECT_EQ(events, 1);
  tree.ChangeTreeState({stScrolling}, {stPainting});  // nothing new, nothing to leave
  EXPECT_EQ(events, 1);
  EXPECT_TRUE(tree.TreeStates().Contains(stScrolling));
  tree.ChangeTreeState({}, {stScrolling});
  EXPECT_EQ(events, 2);
  EXPECT_FALSE(tree.TreeStates().Contains(stScrolling));
}

TEST(NodeTreeChecks, TriStateTrackingAndRadioGroups) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  PNTNode parent = tree.AddChild(nullptr);
  std::vector<PNTNode> kids;
  for (int i = 0; i < 3; ++i) kids.push_back(tree.AddChild(parent));
  tree.SetCheckType(parent, ctTriStateCheckBox);
  for (PNTNode k : kids) tree.SetCheckType(k, ctCheckBox);
  std::vector<PNTNode> checkedEvents;
  tree.OnNodeChecked = [&](TBaseNodeTree*, PNTNode n) { checkedEvents.push_back(n); };

  struct Step {
    PNTNode node;
    TCheckState value;
    std::vector<TCheckState> kids;
    TCheckState parent;
  };
  const TCheckState U = csUncheckedNormal, C = csCheckedNormal, M = csMixedNormal;
  std::vector<Step> steps = {
      {kids[0], C, {C, U, U}, M},
      {kids[1], C, {C, C, U}, M},
      {kids[2], C, {C, C, C}, C},
      {parent, U, {U, U, U}, U},
      {parent, C, {C, C, C}, C},
      {kids[1], U, {C, U, C}, M},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    tree.DoCheckClick(steps[i].node, steps[i].value);
    for (size_t k = 0; k < kids.size(); ++k) EXPECT_EQ(tree.CheckState(kids[k]), steps[i].kids[k]) << "step " << i;
    EXPECT_EQ(tree.CheckState(parent), steps[i].parent) << "step " << i;
  }
  EXPECT_FALSE(tree.TreeStates().Contains(stCheckPropagation));
  EXPECT_FALSE(checkedEvents.empty());

  // Radio buttons: checking one unchecks its radio siblings.
  PNTNode group = tree.AddChild(nullptr);
  std::vector<PNTNode> radios;
  for (int i = 0; i < 3; ++i) {
    radios.push_back(tree.AddChild(group));
    tree.SetCheckType(radios.back(), ctRadioButton);
  }
  tree.SetCheckState(radios[0], C);
  tree.SetCheckState(radios[2], C);
  EXPECT_EQ(tree.CheckState(radios[0]), U);
  EXPECT_EQ(tree.CheckState(radios[1]), U);
  EXPECT_EQ(tree.CheckState(radios[2]), C);
}

TEST(NodeTreeChecks, NestedChangeOfANodeBeingCheckedIsRefused) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  PNTNode parent = tree.AddChild(nullptr);
  PNTNode kid = tree.AddChild(parent);
  tree.SetCheckType(parent, ctTriStateCheckBox);
  tree.SetCheckType(kid, ctCheckBox);
  // While the parent's change propagates to its child, the child's checking
  // handler tries to change the parent again.
  int nestedCalls = 0;
  bool nestedResult = true;
  tree.OnNodeChecking = [&](TBaseNodeTree* sender, PNTNode n, TCheckState&, bool&) {
    if (n == kid) {
      ++nestedCalls;
      nestedResult = sender->DoSetCheckState(parent, csMixedNormal);
    }
  };
  EXPECT_TRUE(tree.DoCheckClick(parent, csCheckedNormal));
  EXPECT_EQ(nestedCalls, 1);
  EXPECT_FALSE(nestedResult);
  EXPECT_EQ(tree.CheckState(parent), csCheckedNormal);
  EXPECT_EQ(tree.CheckState(kid), csCheckedNormal);
  // A refusing handler leaves the node alone; read-only refuses without asking.
  tree.OnNodeChecking = [](TBaseNodeTree*, PNTNode, TCheckState&, bool& allowed) { allowed = false; };
  EXPECT_FALSE(tree.DoCheckClick(kid, csUncheckedNormal));
  EXPECT_EQ(tree.CheckState(kid), csCheckedNormal);
  tree.OnNodeChecking = nullptr;
  TNTMiscOptions m = tree.Options().MiscOptions();
  m.Include(moReadOnly);
  tree.Options().SetMiscOptions(m);
  EXPECT_FALSE(tree.DoCheckClick(kid, csUncheckedNormal));
  EXPECT_EQ(tree.CheckState(kid), csCheckedNormal);
}

TEST(NodeTreeErrors, MoveIntoOwnSubtreeAndUserDataTooSmall) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  PNTNode a = tree.AddChild(nullptr);
  PNTNode a1 = tree.AddChild(a);
  PNTNode a11 = tree.AddChild(a1);
  try {
    tree.MoveTo(a, a11, amAddChildLast, false);
    FAIL() << "no error";
  } catch (const ENodeTreeError& e) {
    EXPECT_EQ(e.HelpContext, 2001);
    EXPECT_STREQ(e.what(), "Target node cannot be a child node of the node to be moved.");
  }
  EXPECT_EQ(a1->Parent, a);
  EXPECT_EQ(a11->Parent, a1);
  ExpectConsistent(tree);

  tree.SetNodeDataSize(4);
  int value = 7;
  try {
    tree.AddChild(nullptr, &value);
    FAIL() << "no error";
  } catch (const ENodeTreeError& e) {
    EXPECT_EQ(e.HelpContext, 2008);
    EXPECT_STREQ(e.what(), "Cannot set initial user data because there is not enough user data space allocated.");
  }
  tree.SetNodeDataSize(8);
  PNTNode withData = tree.AddChild(nullptr, &value);
  EXPECT_EQ(*tree.GetNodeData<int*>(withData), &value);
  EXPECT_TRUE(withData->Has(nsDataSet));
}

TEST(NodeTreeErrors, AssertionTexts) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  PNTNode a = tree.AddChild(nullptr);
  HostedTree other;
  PNTNode foreign = other.tree->AddChild(nullptr);
  PNTNode root = tree.RootNode();
  struct Case {
    std::function<void()> call;
    const char* message;
  };
  std::vector<Case> cases = {
      {[&] { tree.GetNext(root); }, "Node must not be the hidden root node."},
      {[&] { tree.GetDisplayRect(nullptr, NoColumn, false); }, "Node must not be nil."},
      {[&] { tree.ToggleNode(nullptr); }, "Node must not be nil."},
      {[&] { tree.CompareNodePositions(nullptr, a); }, "Nodes must never be nil."},
      {[&] { tree.FullyVisible(nullptr); }, "Invalid parameter."},
      {[&] { tree.GetNextSibling(root); }, "Invalid parameter."},
      {[&] { tree.UnlinkNode(root, false, false); }, "Node must neither be nil nor the root node."},
      {[&] { tree.LevelDifference(nullptr, a); }, "Both nodes must be Assigned."},
      {[&] { tree.EndOperation(okSortNode); }, "EndOperation must not be called when no operation in progress."},
      {[&] { tree.AllocateInternalDataArea(4); }, "Internal data allocation must be done before any node is created."},
      {[&] { tree.EditNode(a, 3); }, "Column must be a valid column index (-1 if no header is shown)."},
      {[&] { tree.MoveTo(foreign, a, amAddChildLast, false); }, "The source tree must contain the source node."},
      {[&] {
         tree.ChangeTreeState({stIterating}, {});
         tree.DeleteNode(a);
       },
       "Deleting nodes during tree iteration leads to invalid pointers."},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no assertion: " << c.message;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.AssertMessage(), c.message);
    }
  }
  tree.ChangeTreeState({}, {stIterating});
  EXPECT_EQ(foreign->Parent, other.tree->RootNode());
}

TEST(NodeTreeScrolling, OffsetsClampAndHostScrolls) {
  HostedTree t;  // client 200 x 100
  TBaseNodeTree& tree = *t.tree;
  tree.SetRootNodeCount(100);  // 1800 pixels
  EXPECT_EQ(tree.RangeY(), 1800);
  TNTScrollInfo bar = t.host.GetScrollInfo(sbVertical);
  EXPECT_TRUE(bar.Visible);
  EXPECT_EQ(bar.Max, 1800);
  EXPECT_EQ(bar.Page, 101u);
  t.host.ClearCalls();

  struct Step {
    int32_t request;
    int32_t offset;
    int32_t scrolled;  // dy given to the host, 0: no scroll
  };
  std::vector<Step> steps = {{-50, -50, -50}, {-5000, -1700, -1650}, {-1700, -1700, 0}, {10, 0, 1700}};
  for (const Step& s : steps) {
    t.host.ClearCalls();
    bool changed = tree.SetScrollOffset({0, s.request});
    EXPECT_EQ(changed, s.scrolled != 0) << s.request;
    EXPECT_EQ(tree.OffsetY(), s.offset) << s.request;
    auto scrolls = t.host.CallsOf(TRecordingNodeTreeHost::hcScroll);
    if (s.scrolled == 0) {
      EXPECT_TRUE(scrolls.empty());
    } else {
      ASSERT_EQ(scrolls.size(), 1u);
      EXPECT_EQ(scrolls[0].B, s.scrolled);
      EXPECT_EQ(t.host.GetScrollInfo(sbVertical).Pos, -s.offset);
    }
  }
  // Shrinking the content pulls the offset back into range.
  tree.SetOffsetY(-1700);
  tree.SetRootNodeCount(10);  // 180 pixels: at most 80 to scroll
  EXPECT_EQ(tree.OffsetY(), -80);
  tree.SetRootNodeCount(3);
  EXPECT_EQ(tree.OffsetY(), 0);
  EXPECT_FALSE(t.host.GetScrollInfo(sbVertical).Visible);
  // Without a window nothing reaches the host.
  t.host.Handle = false;
  t.host.ClearCalls();
  tree.SetRootNodeCount(200);
  tree.SetOffsetY(-100);
  EXPECT_TRUE(t.host.Calls.empty());
}

TEST(NodeTreeScrolling, ScrollIntoViewExpandsAndScrolls) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  setAuto(tree, auScrollOnExpand, false);
  tree.SetRootNodeCount(20);
  PNTNode last = tree.GetLastChild(nullptr);
  PNTNode child = tree.AddChild(last);
  EXPECT_TRUE(tree.ScrollIntoView(child, false));
  EXPECT_TRUE(tree.Expanded(last));
  TRect r = tree.GetDisplayRect(child, NoColumn, false);
  EXPECT_EQ(r.Bottom, 100);
  EXPECT_EQ(tree.GetNodeAt(5, 95), child);
  EXPECT_FALSE(tree.ScrollIntoView(child, false));
}

// Scroll on expand: the last child comes into view below the node; with the
// children above, the view moves by their height so the node stays put.
TEST(NodeTreeScrolling, ScrollOnExpandBelowAndAbove) {
  for (bool above : {false, true}) {
    SCOPED_TRACE(above);
    HostedTree t;
    TBaseNodeTree& tree = *t.tree;
    setAuto(tree, auSort, false);
    setAuto(tree, auScrollOnExpand, true);
    setPaint(tree, poChildrenAbove, above);
    tree.SetRootNodeCount(20);
    PNTNode node = tree.GetFirstChild(nullptr);
    for (int i = 0; i < 2; ++i) node = tree.GetNextSibling(node);  // the third row: 36 to 54
    tree.SetChildCount(node, 3);
    const int32_t topBefore = tree.GetDisplayRect(node, NoColumn, false).Top;
    tree.SetExpanded(node, true);
    if (above) {
      EXPECT_EQ(tree.OffsetY(), -54);
      EXPECT_EQ(tree.GetDisplayRect(node, NoColumn, false).Top, topBefore);
    } else {
      EXPECT_EQ(tree.OffsetY(), -(36 + 4 * 18 - 100));  // the last child's bottom at the client's
    }
  }
}

// Assign copies the control's and the tree's settings.
TEST(NodeTreeOperations, AssignCopiesTheSettings) {
  HostedTree from, to;
  TBaseNodeTree& a = *from.tree;
  TImageList images(nullptr, 16, 16);
  a.SetBorderStyle(bsNone);
  a.SetBorderWidth(3);
  a.SetBevelKind(bkFlat);
  a.SetColor(clYellow);
  a.Font().SetName("DejaVu Serif");
  a.Hint = "tip";
  a.ShowHint = true;
  a.EditDelay = 77;
  a.AutoExpandDelay = 55;
  a.Colors().Set(TNTColors::GridLineColor, clRed);
  a.DefaultPasteMode = amInsertBefore;
  a.HintMode = 3;
  a.HintAnimation = 2;
  a.IncrementalSearchTimeout = 500;
  a.SetImages(&images);
  a.SetLineStyle(2);
  a.SelectionCurveRadius = 4;
  a.DrawSelectionMode = smBlendedRectangle;
  a.EmptyListMessage = u"nothing";
  a.ScrollBarOptions().SetVerticalIncrement(9);
  a.SetRootNodeCount(5);
  TBaseNodeTree& b = *to.tree;
  b.Assign(&a);
  EXPECT_EQ(b.BorderStyle(), bsNone);
  EXPECT_EQ(b.BorderWidth(), 3);
  EXPECT_EQ(b.BevelKind(), bkFlat);
  EXPECT_EQ(b.Color(), clYellow);
  EXPECT_EQ(b.Font().Name(), "DejaVu Serif");
  EXPECT_EQ(b.Hint, "tip");
  EXPECT_TRUE(b.ShowHint);
  EXPECT_EQ(b.EditDelay, 77u);
  EXPECT_EQ(b.AutoExpandDelay, 55u);
  EXPECT_EQ(b.Colors().Get(TNTColors::GridLineColor), clRed);
  EXPECT_EQ(b.DefaultPasteMode, amInsertBefore);
  EXPECT_EQ(b.HintMode, 3);
  EXPECT_EQ(b.HintAnimation, 2);
  EXPECT_EQ(b.IncrementalSearchTimeout, 500u);
  EXPECT_EQ(b.Images(), &images);
  EXPECT_EQ(b.LineStyle(), 2);
  EXPECT_EQ(b.SelectionCurveRadius, 4);
  EXPECT_EQ(b.DrawSelectionMode, smBlendedRectangle);
  EXPECT_EQ(b.EmptyListMessage, u"nothing");
  EXPECT_EQ(b.VerticalIncrement, 9);
  EXPECT_EQ(b.RootNodeCount(), 5u);
  a.SetImages(nullptr);
  b.SetImages(nullptr);
}

// Mended faults of the bookkeeping.
// Collapsing the node expanded last takes its displayed count from the
// expansion unless the display changed since: each change here (between
// expanding and collapsing, or from the expanded handler) changes that count.
TEST(NodeTreeWalks, CollapsingAfterChangesInsideTheExpandedBranchKeepsTheVisibleCount) {
  auto child = [](TBaseNodeTree& t, Cardinal index) {
    PNTNode n = t.GetFirstChildNoInit(t.GetFirstChildNoInit(nullptr)->NextSibling);
    while (n && n->Index != index) n = n->NextSibling;
    return n;
  };
  const std::vector<std::pair<const char*, std::function<void(TBaseNodeTree&)>>> changes = {
      {"none", [](TBaseNodeTree&) {}},
      {"deleted", [&](TBaseNodeTree& t) { t.DeleteNode(child(t, 7)); }},
      {"hidden", [&](TBaseNodeTree& t) { t.SetVisible(child(t, 7), false); }},
      {"filtered", [&](TBaseNodeTree& t) { t.SetFiltered(child(t, 7), true); }},
      {"grandchildren", [&](TBaseNodeTree& t) {
         t.SetChildCount(child(t, 7), 4);
         t.SetExpanded(child(t, 7), true);
       }},
      {"added", [&](TBaseNodeTree& t) { t.AddChild(child(t, 7)->Parent); }},
      {"moved out", [&](TBaseNodeTree& t) { t.MoveTo(child(t, 7), t.GetFirstChildNoInit(nullptr), amInsertBefore, false); }},
  };
  for (bool fromHandler : {false, true}) {
    for (const auto& [name, change] : changes) {
      SCOPED_TRACE(std::string(name) + (fromHandler ? " in the expanded handler" : " after expanding"));
      HostedTree t;
      TBaseNodeTree& tree = *t.tree;
      setAuto(tree, auSort, false);
      tree.SetRootNodeCount(3);
      PNTNode branch = tree.GetFirstChildNoInit(nullptr)->NextSibling;
      tree.SetChildCount(branch, 3000);
      if (fromHandler) tree.OnNodeExpanded = [&, change = change](TBaseNodeTree* t, PNTNode) { change(*t); };
      tree.SetExpanded(branch, true);
      tree.OnNodeExpanded = nullptr;
      if (!fromHandler) change(tree);
      ExpectConsistent(tree);
      tree.SetExpanded(branch, false);
      ExpectConsistent(tree);
      EXPECT_EQ(tree.VisibleCount(), name == std::string("moved out") ? 4u : 3u);
      tree.SetExpanded(branch, true);
      tree.SetExpanded(branch, false);
      ExpectConsistent(tree);
    }
  }
}

TEST(NodeTreeFaults, LinkingInsideCollapsedBranchBalancesHeights) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  PNTNode a = tree.AddChild(nullptr);
  PNTNode b = tree.AddChild(a);
  tree.AddChild(b);
  tree.ToggleNode(a);
  tree.ToggleNode(b);
  tree.ToggleNode(a);  // b stays expanded inside the collapsed a
  PNTNode c = tree.InsertNode(b, amAddChildLast);
  ExpectConsistent(tree);
  tree.DeleteNode(c);
  ExpectConsistent(tree);
  EXPECT_EQ(b->SubtreeHeight, 36u);
  tree.ToggleNode(a);
  EXPECT_EQ(tree.VisibleCount(), 3u);
  ExpectConsistent(tree);
}

TEST(NodeTreeFaults, NodeHeightIsClampedToSixteenBits) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  PNTNode a = tree.AddChild(nullptr);
  PNTNode a1 = tree.AddChild(a);
  tree.ToggleNode(a);
  tree.SetNodeHeight(a1, 70000);
  EXPECT_EQ(a1->NodeHeight, 65535);
  EXPECT_EQ(a->SubtreeHeight, 18u + 65535u);
  tree.SetNodeHeight(a1, -5);
  EXPECT_EQ(a1->NodeHeight, 0);
  EXPECT_EQ(a->SubtreeHeight, 18u);
  ExpectConsistent(tree);
}

TEST(NodeTreeOperations, DeletingSelectedNodesKeepsIndexesDense) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setAuto(tree, auSort, false);
  TNTSelectionOptions s = tree.Options().SelectionOptions();
  s.Include(slMultiSelect);
  tree.Options().SetSelectionOptions(s);
  tree.SetRootNodeCount(8);
  PNTNode n = tree.GetFirst();
  PNTNode parentOfSelected = n;
  tree.AddChild(parentOfSelected);
  tree.SetSelected(tree.GetFirstChild(parentOfSelected), true);
  for (int i = 0; n; n = tree.GetNextSibling(n), ++i)
    if (i % 3 == 0) tree.SetSelected(n, true);
  EXPECT_EQ(tree.GetSortedSelection(true).size(), 3u);   // the selected child is inside a selected parent
  EXPECT_EQ(tree.GetSortedSelection(false).size(), 4u);
  tree.DeleteSelectedNodes();
  EXPECT_EQ(tree.SelectedCount(), 0u);
  EXPECT_EQ(tree.RootNodeCount(), 5u);
  ExpectConsistent(tree);
  Cardinal index = 0;
  for (PNTNode run = tree.GetFirstChild(nullptr); run; run = run->NextSibling) EXPECT_EQ(run->Index, index++);
}

// The parent's all-children-hidden flag after a child goes: set while the
// children left are all hidden, cleared when the last child went.
TEST(NodeTreeOperations, DeletingChildrenUpdatesAllChildrenHidden) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  tree.SetRootNodeCount(1);
  PNTNode parent = tree.GetFirst();
  tree.SetChildCount(parent, 2);
  PNTNode hidden = tree.GetFirstChild(parent);
  tree.SetVisible(hidden, false);
  EXPECT_FALSE(parent->Has(nsAllChildrenHidden));
  tree.DeleteNode(tree.GetLastChild(parent));
  EXPECT_TRUE(parent->Has(nsAllChildrenHidden));
  tree.DeleteNode(hidden);
  EXPECT_EQ(parent->ChildCount, 0u);
  EXPECT_FALSE(parent->Has(nsHasChildren));
  EXPECT_FALSE(parent->Has(nsAllChildrenHidden));
  // An only child that is visible.
  tree.AddChild(parent);
  tree.DeleteNode(tree.GetFirstChild(parent));
  EXPECT_FALSE(parent->Has(nsAllChildrenHidden));
  ExpectConsistent(tree);
}

TEST(NodeTreeOperations, MovingChildrenKeepsTheirOrderInEveryMode) {
  for (TNTNodeAttachMode mode : {amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast}) {
    HostedTree t;
    TBaseNodeTree& tree = *t.tree;
    setAuto(tree, auSort, false);
    PNTNode source = tree.AddChild(nullptr);
    PNTNode target = tree.AddChild(nullptr);
    tree.AddChild(target);
    std::vector<PNTNode> kids;
    for (int i = 0; i < 4; ++i) kids.push_back(tree.AddChild(source));
    tree.MoveTo(source, target, mode, true);
    std::vector<PNTNode> moved;
    PNTNode parent = (mode == amInsertBefore || mode == amInsertAfter) ? tree.RootNode() : target;
    for (PNTNode run = parent->FirstChild; run; run = run->NextSibling)
      if (std::find(kids.begin(), kids.end(), run) != kids.end()) moved.push_back(run);
    EXPECT_EQ(moved, kids) << "mode " << mode;
    EXPECT_EQ(source->ChildCount, 0u);
    ExpectConsistent(tree);
  }
}

}  // namespace
}  // namespace px::test

namespace px::test {
namespace {

// Keys kept in the node data; the compare handler orders by key.
struct SortedTree : HostedTree {
  int comparisons = 0;
  SortedTree(std::vector<int> keys) {
    setAuto(*tree, auSort, false);
    tree->SetNodeDataSize(sizeof(int));
    tree->OnNodeCompare = [this](TBaseNodeTree* sender, PNTNode a, PNTNode b, TColumnIndex, int& result) {
      ++comparisons;
      result = *sender->GetNodeData<int>(a) - *sender->GetNodeData<int>(b);
    };
    for (int k : keys) *tree->GetNodeData<int>(tree->AddChild(nullptr)) = k;
  }
  std::vector<int> order() {
    std::vector<int> out;
    for (PNTNode n = tree->GetFirstChildNoInit(nullptr); n; n = n->NextSibling) out.push_back(*tree->GetNodeData<int>(n));
    return out;
  }
};

TEST(NodeTreeSort, TiesKeepTheirOrderInBothDirections) {
  // Key = value / 10; the last digit tells the original position.
  SortedTree t({20, 11, 22, 13, 24, 15});
  t.tree->OnNodeCompare = [](TBaseNodeTree* sender, PNTNode a, PNTNode b, TColumnIndex, int& result) {
    result = *sender->GetNodeData<int>(a) / 10 - *sender->GetNodeData<int>(b) / 10;
  };
  t.tree->Sort(nullptr, 0, sdAscending);
  EXPECT_EQ(t.order(), (std::vector<int>{11, 13, 15, 20, 22, 24}));
  t.tree->Sort(nullptr, 0, sdDescending);
  EXPECT_EQ(t.order(), (std::vector<int>{20, 22, 24, 11, 13, 15}));
  Cardinal index = 0;
  for (PNTNode n = t.tree->GetFirstChildNoInit(nullptr); n; n = n->NextSibling) EXPECT_EQ(n->Index, index++);
  ExpectConsistent(*t.tree);
}

TEST(NodeTreeSort, ARaisingCompareLeavesTheTreeIntact) {
  SortedTree t({5, 3, 9, 1, 7, 2, 8});
  std::vector<int> before = t.order();
  int calls = 0;
  t.tree->OnNodeCompare = [&](TBaseNodeTree*, PNTNode, PNTNode, TColumnIndex, int& result) {
    if (++calls == 4) throw Exception("compare failed");
    result = -1;
  };
  EXPECT_THROW(t.tree->Sort(nullptr, 0, sdAscending), Exception);
  EXPECT_EQ(t.order(), before);
  EXPECT_FALSE(t.tree->OperationCanceled());
  ExpectConsistent(*t.tree);
}

// Branches long enough to be sorted in runs that are merged: the order is
// that of a stable sort, both ways, and a compare raising while runs are
// merged still leaves the branch as it was.
TEST(NodeTreeSort, LongBranchesSortStablyAndSurviveARaisingCompare) {
  for (int n : {17, 33, 1000, 4097}) {
    SCOPED_TRACE(n);
    std::mt19937 rng(static_cast<unsigned>(n));
    std::vector<int> keys;
    // Key = value / 10000 (few distinct keys, many ties); the rest is the
    // original position.
    for (int i = 0; i < n; ++i) keys.push_back(static_cast<int>(rng() % 40) * 10000 + i);
    SortedTree t(keys);
    t.tree->OnNodeCompare = [](TBaseNodeTree* sender, PNTNode a, PNTNode b, TColumnIndex, int& result) {
      result = *sender->GetNodeData<int>(a) / 10000 - *sender->GetNodeData<int>(b) / 10000;
    };
    for (TSortDirection direction : {sdAscending, sdDescending}) {
      std::vector<int> expected = t.order();
      std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        return direction == sdAscending ? a / 10000 < b / 10000 : a / 10000 > b / 10000;
      });
      t.tree->Sort(nullptr, 0, direction);
      EXPECT_EQ(t.order(), expected);
    }
    ExpectConsistent(*t.tree);

    // Raises on the first compare of two nodes from different blocks of 16
    // siblings, which only merging makes.
    const std::vector<int> before = t.order();
    t.tree->OnNodeCompare = [](TBaseNodeTree*, PNTNode a, PNTNode b, TColumnIndex, int& result) {
      if (a->Index / 16 != b->Index / 16) throw Exception("compare failed");
      result = 1;
    };
    EXPECT_THROW(t.tree->Sort(nullptr, 0, sdAscending), Exception);
    EXPECT_EQ(t.order(), before);
    ExpectConsistent(*t.tree);  // with its position cache built again
  }
}

TEST(NodeTreeSort, OneChildNeedsNoComparisonAndCollapsedBranchesWaitUnderAutoSort) {
  SortedTree t({1});
  t.tree->Sort(nullptr, 0, sdAscending);
  EXPECT_EQ(t.comparisons, 0);

  SortedTree u({2, 1});
  PNTNode first = u.tree->GetFirstChildNoInit(nullptr);
  for (int k : {9, 8, 7}) *u.tree->GetNodeData<int>(u.tree->AddChild(first)) = k;
  setAuto(*u.tree, auSort, true);
  u.tree->SortTree(0, sdAscending);
  EXPECT_EQ(u.order(), (std::vector<int>{1, 2}));
  EXPECT_EQ(*u.tree->GetNodeData<int>(first->FirstChild), 9);  // collapsed: not sorted yet
  u.tree->ToggleNode(first);                                     // expanding sorts it
  EXPECT_EQ(*u.tree->GetNodeData<int>(first->FirstChild), 7);
  ExpectConsistent(*u.tree);
}

}  // namespace
}  // namespace px::test

namespace px::test {
namespace {

TEST(NodeTreeWindowHost, ChangeDelayRunsOnTheWindowTimer) {
  TBaseNodeTree tree(nullptr);
  tree.UseWindowHost();
  tree.SetBounds(0, 0, 150, 120);
  EXPECT_EQ(tree.ClientHeight(), 120 - 2 * 2);  // inside the sunken frame
  tree.Show();
  tree.SetRootNodeCount(3);
  std::vector<PNTNode> changed;
  tree.OnChangeNotify = [&](TBaseNodeTree*, PNTNode node) { changed.push_back(node); };
  tree.ChangeDelay = 5;
  tree.AddToSelection(tree.GetFirst());
  EXPECT_TRUE(changed.empty());
  EXPECT_TRUE(tree.TimerRunning(ChangeTimer));
  QElapsedTimer clock;
  clock.start();
  while (changed.empty() && clock.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(changed, std::vector<PNTNode>{tree.GetFirst()});
  EXPECT_FALSE(tree.TimerRunning(ChangeTimer));
  tree.BeforeDestruction();
}

}  // namespace
}  // namespace px::test
