// Selection against a plain set, the selection rules, the always-select
// rule, the incremental search and in-place editing through a recording link.
#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "NodeTreesTestSupport.h"
#include "platform/core/Debug.h"

namespace px::test {
namespace {

void setSelection(TBaseNodeTree& tree, std::initializer_list<TTreeSelectionOption> on) {
  TNTSelectionOptions o = tree.Options().SelectionOptions();
  for (auto option : on) o.Include(option);
  tree.Options().SetSelectionOptions(o);
}

void setMisc(TBaseNodeTree& tree, TTreeMiscOption option, bool on) {
  TNTMiscOptions o = tree.Options().MiscOptions();
  if (on)
    o.Include(option);
  else
    o.Exclude(option);
  tree.Options().SetMiscOptions(o);
}

std::vector<PNTNode> visibleNodes(TBaseNodeTree& tree) {
  std::vector<PNTNode> nodes;
  for (PNTNode n = tree.GetFirstVisible(); n; n = tree.GetNextVisible(n)) nodes.push_back(n);
  return nodes;
}

std::vector<PNTNode> allNodes(TBaseNodeTree& tree) {
  std::vector<PNTNode> nodes;
  for (PNTNode n = tree.GetFirst(); n; n = tree.GetNext(n)) nodes.push_back(n);
  return nodes;
}

// The array sorted by address without repeats or marked entries, every entry
// selected, and exactly the nodes of the model selected.
void expectSelection(TBaseNodeTree& tree, const std::set<PNTNode>& model) {
  const TNodeArray& array = tree.Selection();
  ASSERT_EQ(array.size(), model.size());
  ASSERT_EQ(tree.SelectedCount(), model.size());
  for (size_t i = 0; i < array.size(); ++i) {
    ASSERT_EQ(reinterpret_cast<uintptr_t>(array[i]) & 1, 0u);
    ASSERT_TRUE(array[i]->Has(nsSelected));
    if (i > 0) {
      ASSERT_TRUE(std::less<PNTNode>()(array[i - 1], array[i]));
    }
    int32_t index = -1;
    ASSERT_TRUE(tree.FindInSelection(array[i], index));
    ASSERT_EQ(index, static_cast<int32_t>(i));
  }
  for (PNTNode n : allNodes(tree)) ASSERT_EQ(n->Has(nsSelected), model.count(n) == 1);
}

TEST(TreeSelection, AgreesWithASetOverRandomOperations) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setSelection(tree, {slMultiSelect});
  std::mt19937 rng(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  tree.SetRootNodeCount(40);
  for (PNTNode n = tree.GetFirstChild(nullptr); n; n = n->NextSibling)
    if (pick(2) == 0) {
      tree.SetChildCount(n, 1 + static_cast<Cardinal>(pick(6)));
      if (pick(2) == 0) tree.SetExpanded(n, true);
    }
  std::set<PNTNode> model;
  for (int step = 0; step < 1500; ++step) {
    std::vector<PNTNode> nodes = allNodes(tree);
    std::vector<PNTNode> shown = visibleNodes(tree);
    if (nodes.size() < 10) {
      tree.AddChild(nullptr);
      tree.AddChild(nullptr);
      continue;
    }
    PNTNode a = nodes[pick(nodes.size())];
    switch (pick(8)) {
      case 0:
        tree.AddToSelection(a);
        model.insert(a);
        break;
      case 1:
        tree.RemoveFromSelection(a);
        model.erase(a);
        break;
      case 2: {  // a batch with repeats, added in one merge
        std::vector<PNTNode> batch;
        for (int i = 0; i < 30; ++i) batch.push_back(nodes[pick(nodes.size())]);
        tree.AddNodesToSelection(batch.data(), static_cast<int32_t>(batch.size()), false);
        model.insert(batch.begin(), batch.end());
        break;
      }
      case 3: {
        size_t i = pick(shown.size()), j = pick(shown.size());
        bool addOnly = pick(2) == 0;
        tree.SelectNodeRange(shown[i], shown[j], addOnly);
        if (!addOnly) model.clear();
        for (size_t k = std::min(i, j); k <= std::max(i, j); ++k) model.insert(shown[k]);
        break;
      }
      case 4: {
        // Only the nodes of the range and the anchor may change.
        size_t i = pick(shown.size()), j = pick(shown.size());
        std::set<PNTNode> allowed(shown.begin() + static_cast<std::ptrdiff_t>(std::min(i, j)),
                                  shown.begin() + static_cast<std::ptrdiff_t>(std::max(i, j)) + 1);
        if (tree.RangeAnchor()) allowed.insert(tree.RangeAnchor());
        tree.ToggleSelectionRange(shown[i], shown[j]);
        std::set<PNTNode> now;
        for (PNTNode n : allNodes(tree))
          if (n->Has(nsSelected)) now.insert(n);
        for (PNTNode n : nodes) {
          if (model.count(n) != now.count(n)) {
            ASSERT_TRUE(allowed.count(n)) << "step " << step;
          }
        }
        model = now;
        break;
      }
      case 5:
        if (pick(4) == 0) {
          tree.ClearSelection();
          model.clear();
        } else {
          size_t i = pick(shown.size()), j = pick(shown.size());
          tree.UnselectNodeRange(shown[i], shown[j]);
          for (size_t k = std::min(i, j); k <= std::max(i, j); ++k) model.erase(shown[k]);
        }
        break;
      case 6: {
        std::vector<PNTNode> gone{a};
        for (PNTNode n = tree.GetFirstChildNoInit(a); n; n = tree.GetNextNoInit(n)) {
          if (!tree.HasAsParent(n, a)) break;
          gone.push_back(n);
        }
        bool bracket = pick(2) == 0;
        if (bracket) tree.BeginUpdate();
        tree.DeleteNode(a);
        if (bracket) tree.EndUpdate();
        for (PNTNode n : gone) model.erase(n);
        break;
      }
      default:
        if (pick(2) == 0)
          tree.SetChildCount(a, tree.ChildCount(a) + 2);
        else
          tree.SetExpanded(a, !tree.Expanded(a));
        break;
    }
    expectSelection(tree, model);
    if (HasFailure()) FAIL() << "step " << step;
  }
}

TEST(TreeSelection, LevelAndSiblingConstraintsRefuseOtherNodes) {
  struct Case {
    TTreeSelectionOption option;
    bool cousinAccepted;  // same level, other parent
  } cases[] = {{slLevelSelectConstraint, true}, {slSiblingSelectConstraint, false}};
  for (const Case& c : cases) {
    HostedTree t;
    TBaseNodeTree& tree = *t.tree;
    setSelection(tree, {slMultiSelect, c.option});
    tree.SetRootNodeCount(2);
    PNTNode a = tree.GetFirstChild(nullptr), b = a->NextSibling;
    tree.SetChildCount(a, 2);
    tree.SetChildCount(b, 2);
    PNTNode a0 = tree.GetFirstChild(a), a1 = a0->NextSibling, b0 = tree.GetFirstChild(b);
    tree.AddToSelection(a0);
    tree.AddToSelection(a1);
    tree.AddToSelection(b0);
    PNTNode child = tree.AddChild(a1);
    tree.AddToSelection(child);  // one level down
    EXPECT_TRUE(tree.Selected(a1));
    EXPECT_FALSE(tree.Selected(child));
    EXPECT_EQ(tree.Selected(b0), c.cousinAccepted);
    EXPECT_EQ(tree.SelectedCount(), c.cousinAccepted ? 3u : 2u);
    // Forced additions pass the rules.
    tree.InternalAddNodeToSelection(child, true);
    EXPECT_TRUE(tree.Selected(child));
  }
}

TEST(TreeSelection, RangeToggleKeepsTheAnchorSelected) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setSelection(tree, {slMultiSelect});
  tree.SetRootNodeCount(6);
  std::vector<PNTNode> n = visibleNodes(tree);
  tree.HandleClickSelection(nullptr, n[1], {}, false);
  EXPECT_EQ(tree.RangeAnchor(), n[1]);
  tree.HandleClickSelection(n[1], n[4], {ssShift}, false);
  EXPECT_EQ(tree.SelectedCount(), 4u);
  tree.ToggleSelectionRange(n[1], n[5]);
  EXPECT_TRUE(tree.Selected(n[1]));
  for (int i : {2, 3, 4}) EXPECT_FALSE(tree.Selected(n[i])) << i;
  EXPECT_TRUE(tree.Selected(n[5]));
  // Ctrl toggles, deferred to the release when the caller asks.
  tree.HandleClickSelection(n[5], n[0], {ssCtrl}, false);
  EXPECT_TRUE(tree.Selected(n[0]));
  tree.HandleClickSelection(n[0], n[0], {ssCtrl}, true);
  EXPECT_TRUE(tree.Selected(n[0]));
  EXPECT_TRUE(tree.TreeStates().Contains(stToggleOnRelease));
}

TEST(TreeSelection, AlwaysSelectMovesToSiblingThenParent) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  setSelection(tree, {slAlwaysSelectNode});
  tree.SetRootNodeCount(1);
  PNTNode top = tree.GetFirstChild(nullptr);
  tree.SetChildCount(top, 3);
  PNTNode c0 = tree.GetFirstChild(top), c1 = c0->NextSibling, c2 = c1->NextSibling;
  tree.SetSelected(c1, true);
  tree.DeleteNode(c1);  // next sibling
  EXPECT_TRUE(tree.Selected(c2));
  tree.DeleteNode(c2);  // no next one: the previous
  EXPECT_TRUE(tree.Selected(c0));
  tree.DeleteNode(c0);  // no sibling: the parent
  EXPECT_TRUE(tree.Selected(top));
  EXPECT_EQ(tree.SelectedCount(), 1u);
  // A collapse that hides the selection hands it to the visible ancestor.
  PNTNode child = tree.AddChild(top);
  tree.SetExpanded(top, true);
  tree.ClearSelection();
  tree.SetSelected(child, true);
  tree.SetExpanded(top, false);
  EXPECT_TRUE(tree.Selected(top));
  EXPECT_FALSE(tree.Selected(child));
}

// ---------------------------------------------------------------------------
// Incremental search over nodes named by a table

struct NamedTree : HostedTree {
  std::vector<std::u16string> names;
  int beeps = 0;
  explicit NamedTree(std::vector<std::u16string> n) : names(std::move(n)) {
    // The default search walks without initialising: names go by index.
    tree->OnSearchCompare = [this](TBaseNodeTree*, PNTNode node, const UnicodeString& text, int& result) {
      const std::u16string& name = names[node->Index];
      result = name.compare(0, text.size(), text) == 0 ? 0 : 1;
    };
    tree->SetRootNodeCount(static_cast<Cardinal>(names.size()));
    SetBeepHandler([this] { ++beeps; });
  }
  ~NamedTree() {
    SetBeepHandler([] { QApplication::beep(); });
  }
  PNTNode node(size_t i) { return visibleNodes(*tree)[i]; }
  int focusedIndex() { return tree->FocusedNode() ? static_cast<int>(tree->FocusedNode()->Index) : -1; }
  void type(const std::u16string& text) {
    for (char16_t c : text) tree->IncrementalSearch(c);
  }
};

TEST(TreeSearch, TypingFindsRepeatingStepsBackspaceShortens) {
  NamedTree t({u"apple", u"banana", u"avocado", u"blueberry", u"apricot"});
  TBaseNodeTree& tree = *t.tree;
  t.type(u"b");
  EXPECT_EQ(t.focusedIndex(), 1);
  EXPECT_TRUE(tree.Selected(tree.FocusedNode()));
  EXPECT_TRUE(tree.TreeStates().Contains(stIncrementalSearching));
  EXPECT_TRUE(t.host.TimerRunning(SearchTimer));
  t.type(u"l");
  EXPECT_EQ(t.focusedIndex(), 3);
  EXPECT_EQ(tree.SearchBuffer(), u"bl");
  tree.IncrementalSearch(8);
  EXPECT_EQ(tree.SearchBuffer(), u"b");
  EXPECT_EQ(t.focusedIndex(), 1);  // backward from "blueberry"
  tree.StopIncrementalSearch();
  EXPECT_EQ(tree.SearchBuffer(), u"");
  // The same letter again steps through the matches and round.
  std::vector<int> seen;
  for (int i = 0; i < 4; ++i) {
    t.type(u"a");
    seen.push_back(t.focusedIndex());
  }
  EXPECT_EQ(seen, (std::vector<int>{2, 4, 0, 2}));
  EXPECT_EQ(tree.SelectedCount(), 1u);
  EXPECT_EQ(t.beeps, 0);
}

TEST(TreeSearch, EmptyBackspaceNoMatchAndNoStartNode) {
  NamedTree t({u"apple", u"banana"});
  TBaseNodeTree& tree = *t.tree;
  // Backspace on an empty text only restarts the time-out.
  tree.IncrementalSearch(8);
  EXPECT_TRUE(t.host.TimerRunning(SearchTimer));
  EXPECT_EQ(tree.FocusedNode(), nullptr);
  EXPECT_EQ(t.beeps, 0);
  // No match: a beep, nothing focused.
  t.type(u"z");
  EXPECT_EQ(t.beeps, 1);
  EXPECT_EQ(tree.FocusedNode(), nullptr);
  // No start node and no match: the walk ends after one round.
  tree.IncrementalSearchStart = 0;
  tree.StopIncrementalSearch();
  t.type(u"q");
  EXPECT_EQ(t.beeps, 2);
  // Nothing to walk at all.
  tree.Clear();
  t.type(u"a");
  EXPECT_EQ(t.beeps, 3);
  // Search off: nothing happens.
  tree.IncrementalSearchMode = 1;
  t.host.Timers.clear();
  t.type(u"a");
  EXPECT_FALSE(t.host.TimerRunning(SearchTimer));
}

TEST(TreeSearch, NodeFreedDuringTheTimeOutIsForgotten) {
  NamedTree t({u"banana", u"avocado", u"apple"});
  TBaseNodeTree& tree = *t.tree;
  tree.IncrementalSearchStart = 1;  // from the last match
  t.type(u"ap");
  ASSERT_EQ(t.focusedIndex(), 2);
  tree.DeleteNode(tree.LastSearchNode());
  EXPECT_EQ(tree.LastSearchNode(), nullptr);
  tree.IncrementalSearch(8);  // must not start from the freed node
  EXPECT_EQ(t.focusedIndex(), 1);
}

// ---------------------------------------------------------------------------
// Editing through a recording link

struct RecordingLink : INTEditLink {
  std::vector<std::string>& calls;
  TBaseNodeTree* tree = nullptr;
  bool stopped = false;
  bool prepareAnswer = true;
  // Tells the tree from inside CancelEditing, as an editor does.
  bool tellsTreeOnCancel = true;
  explicit RecordingLink(std::vector<std::string>& c) : calls(c) {}
  ~RecordingLink() override { calls.push_back("released"); }
  bool ShowEditor() override {
    calls.push_back("show");
    return !stopped;
  }
  bool CancelEditing() override {
    calls.push_back("cancel");
    if (stopped) return false;
    stopped = true;
    if (tellsTreeOnCancel) tree->CancelEditNode();
    calls.push_back("cancel done");  // still running after the tree reacted
    return true;
  }
  bool AcceptEditing() override {
    calls.push_back("accept");
    if (stopped) return false;
    stopped = true;
    return true;
  }
  bool PrepareForCell(TBaseNodeTree* t, PNTNode, TColumnIndex) override {
    tree = t;
    calls.push_back("prepare");
    return prepareAnswer;
  }
  TRect GetEditorBounds() override {
    calls.push_back("bounds?");
    return Rect(0, 0, 50, 30);
  }
  void RelayMessage(TMessage&) override { calls.push_back("relay"); }
  void SetEditorBounds(TRect r) override {
    calls.push_back("bounds " + std::to_string(r.Height()));
    placed.push_back(r);
  }
  std::vector<TRect> placed;
};

// Labels 50 pixels wide, so that clicks can land on them.
class WideTree : public TBaseNodeTree {
 public:
  using TBaseNodeTree::TBaseNodeTree;
  int32_t NodeWidth(PNTNode, TColumnIndex, TCanvas*) override { return 50; }
};

struct EditTree : HostedTree {
  std::vector<std::string> calls;
  std::weak_ptr<RecordingLink> last;
  bool prepareAnswer = true;
  EditTree() {
    tree->BeforeDestruction();
    tree = std::make_unique<WideTree>(nullptr);
    tree->SetHost(&host);
    setMisc(*tree, moEditable, true);
    tree->SetRootNodeCount(3);
    tree->OnEditorCreate = [this](TBaseNodeTree*, PNTNode, TColumnIndex, TNTEditLinkRef& link) {
      calls.push_back("create");
      auto l = std::make_shared<RecordingLink>(calls);
      l->prepareAnswer = prepareAnswer;
      last = l;
      link = l;
    };
    tree->OnEdited = [this](TBaseNodeTree*, PNTNode, TColumnIndex) { calls.push_back("edited"); };
    tree->OnEditCancelled = [this](TBaseNodeTree*, TColumnIndex) { calls.push_back("cancelled"); };
    tree->SetFocusedNode(tree->GetFirst());
  }
  // The link records into calls: end an edit while they still exist.
  ~EditTree() { tree->CancelEditNode(); }
};

using Calls = std::vector<std::string>;

TEST(TreeEdit, StartEndAndCancelCallTheLinkInOrder) {
  EditTree t;
  TBaseNodeTree& tree = *t.tree;
  ASSERT_TRUE(tree.EditNode(tree.FocusedNode(), NoColumn));
  EXPECT_EQ(t.calls, (Calls{"create", "prepare", "bounds?", "bounds 30", "show"}));
  EXPECT_TRUE(tree.IsEditing());
  // Moving the focus commits.
  t.calls.clear();
  tree.SetFocusedNode(tree.GetNext(tree.FocusedNode()));
  EXPECT_EQ(t.calls, (Calls{"accept", "edited", "released"}));
  EXPECT_FALSE(tree.IsEditing());
  EXPECT_EQ(tree.EditLink(), nullptr);
  // A cancel from the tree: the link tells the tree back, which does
  // nothing twice; the link outlives its own method.
  ASSERT_TRUE(tree.EditNode(tree.FocusedNode(), NoColumn));
  t.calls.clear();
  EXPECT_TRUE(tree.CancelEditNode());
  EXPECT_EQ(t.calls, (Calls{"cancel", "cancel done", "cancelled", "released"}));
  EXPECT_FALSE(tree.IsEditing());
}

TEST(TreeEdit, CancelStartedInsideTheLinkEndsTheEdit) {
  EditTree t;
  TBaseNodeTree& tree = *t.tree;
  ASSERT_TRUE(tree.EditNode(tree.FocusedNode(), NoColumn));
  std::shared_ptr<RecordingLink> link = t.last.lock();
  t.calls.clear();
  EXPECT_TRUE(link->CancelEditing());  // Esc in the editor
  EXPECT_EQ(t.calls, (Calls{"cancel", "cancel", "cancelled", "cancel done"}));
  EXPECT_FALSE(tree.IsEditing());
  EXPECT_EQ(tree.EditLink(), nullptr);
  link.reset();
  EXPECT_TRUE(t.last.expired());
}

TEST(TreeEdit, RefusedCellTimerStartAndDeletedNode) {
  EditTree t;
  TBaseNodeTree& tree = *t.tree;
  t.prepareAnswer = false;
  EXPECT_FALSE(tree.EditNode(tree.FocusedNode(), NoColumn));
  EXPECT_FALSE(tree.IsEditing());
  EXPECT_EQ(tree.EditLink(), nullptr);
  EXPECT_TRUE(t.last.expired());
  EXPECT_EQ(t.calls, (Calls{"create", "prepare", "released"}));
  // Not editable, not focused, read-only: no link asked for.
  t.prepareAnswer = true;
  t.calls.clear();
  EXPECT_FALSE(tree.EditNode(tree.GetLast(), NoColumn));
  setMisc(tree, moEditable, false);
  EXPECT_FALSE(tree.EditNode(tree.FocusedNode(), NoColumn));
  setMisc(tree, moEditable, true);
  EXPECT_TRUE(t.calls.empty());
  // The edit timer starts the edit of the edit column.
  tree.TimerFired(EditTimer);
  EXPECT_TRUE(tree.IsEditing());
  // The edited node goes: the edit is cancelled before the node is freed.
  t.calls.clear();
  tree.DeleteNode(tree.FocusedNode());
  EXPECT_FALSE(tree.IsEditing());
  EXPECT_EQ(t.calls, (Calls{"cancel", "cancel done", "cancelled", "released"}));
}

TEST(TreeEdit, F2ClickThenDelayAndDoubleClickStartTheEditor) {
  EditTree t;
  TBaseNodeTree& tree = *t.tree;
  const Calls started{"create", "prepare", "bounds?", "bounds 30", "show"};
  TMessage f2{WM_KEYDOWN, VK_F2, 0, 0};
  tree.WMKeyDown(f2);
  EXPECT_EQ(t.calls, started);
  t.calls.clear();
  TMessage esc{WM_KEYDOWN, VK_ESCAPE, 0, 0};
  tree.WMKeyDown(esc);
  EXPECT_EQ(t.calls, (Calls{"cancel", "cancel done", "cancelled", "released"}));
  EXPECT_FALSE(tree.IsEditing());

  // A click on the label of the focused, selected node: the edit starts when
  // the delay runs out.
  tree.SetSelected(tree.FocusedNode(), true);
  t.calls.clear();
  TMessage down{WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(50, 9), 0};
  TMessage up{WM_LBUTTONUP, 0, MakeLParam(50, 9), 0};
  tree.WMLButtonDown(down);
  tree.WMLButtonUp(up);
  EXPECT_TRUE(tree.TreeStates().Contains(stEditPending));
  EXPECT_EQ(t.host.Timers[EditTimer], tree.EditDelay);
  EXPECT_TRUE(t.calls.empty());
  tree.TimerFired(EditTimer);
  EXPECT_EQ(t.calls, started);
  EXPECT_FALSE(t.host.TimerRunning(EditTimer));
  // Another press ends the edit.
  t.calls.clear();
  tree.WMLButtonDown(down);
  EXPECT_EQ(t.calls, (Calls{"accept", "edited", "released"}));
  tree.WMLButtonUp(up);
  tree.TimerFired(EditTimer);  // the click started the delay again
  EXPECT_TRUE(tree.IsEditing());
  tree.CancelEditNode();

  // A double click with edit-on-double-click (and no toggling).
  setMisc(tree, moEditOnDblClick, true);
  setMisc(tree, moToggleOnDblClick, false);
  t.calls.clear();
  TMessage dbl{WM_LBUTTONDBLCLK, MK_LBUTTON, MakeLParam(50, 9), 0};
  tree.WMLButtonDblClk(dbl);
  EXPECT_TRUE(tree.TreeStates().Contains(stEditPending));
  tree.TimerFired(EditTimer);
  EXPECT_EQ(t.calls, started);
}

// The editor follows its cell when the rows scroll and when a column to its
// left changes its width; while the header resizes columns the rows are
// painted at once.
TEST(TreeEdit, TheEditorFollowsItsCell) {
  EditTree t;
  TBaseNodeTree& tree = *t.tree;
  TNTHeader& h = tree.Header();
  h.Columns().AddColumn()->SetWidth(80);
  h.Columns().AddColumn()->SetWidth(80);
  h.SetOptions(h.Options() + THeaderOptions{hoVisible});
  tree.SetRootNodeCount(30);
  tree.SetFocusedNode(tree.GetFirst());
  tree.SetFocusedColumn(1);
  ASSERT_TRUE(tree.EditNode(tree.FocusedNode(), 1));
  std::shared_ptr<RecordingLink> link = t.last.lock();
  ASSERT_EQ(link->placed.size(), 1u);
  const TRect first = link->placed.back();
  tree.SetOffsetY(tree.OffsetY() - 18);
  ASSERT_EQ(link->placed.size(), 2u);
  EXPECT_EQ(link->placed.back().Top, first.Top - 18);
  EXPECT_EQ(link->placed.back().Left, first.Left);
  h.Columns().Items(0)->SetWidth(100);
  ASSERT_EQ(link->placed.size(), 3u);
  EXPECT_EQ(link->placed.back().Left, first.Left + 20);
  EXPECT_EQ(link->placed.back().Top, first.Top - 18);
  // The header distributing a width change: the rows are drawn at once.
  t.host.ClearCalls();
  h.ResizeColumns(-10, 0, 0, {});
  EXPECT_EQ(h.Columns().Items(0)->Width(), 90);
  EXPECT_FALSE(t.host.CallsOf(TRecordingNodeTreeHost::hcUpdateWindow).empty());
  EXPECT_EQ(link->placed.back().Left, first.Left + 10);
}

}  // namespace
}  // namespace px::test
