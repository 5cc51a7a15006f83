// The position cache: entries for every 2000th displayed node plus the
// closing entry, built in slices from the window's timer, and lookups that
// agree with a linear walk whether the cache is whole, partial or absent.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "NodeTreesTestSupport.h"

namespace px::test {
namespace {

// The node at y by a plain walk over the displayed nodes.
PNTNode linearNodeAt(TBaseNodeTree& tree, int64_t y, int32_t& top) {
  int64_t pos = 0;
  for (PNTNode n = tree.GetFirstVisibleNoInit(); n; n = tree.GetNextVisibleNoInit(n)) {
    if (y < pos + n->NodeHeight) {
      top = static_cast<int32_t>(pos);
      return n;
    }
    pos += n->NodeHeight;
  }
  return nullptr;
}

void expectLookupsMatch(TBaseNodeTree& tree, std::mt19937& rng, int samples) {
  int64_t total = tree.RootNode()->SubtreeHeight - tree.RootNode()->NodeHeight;
  for (int i = 0; i < samples; ++i) {
    int64_t y = total > 0 ? static_cast<int64_t>(rng() % static_cast<uint64_t>(total + 20)) : 0;
    int32_t expectedTop = 0, top = 0;
    PNTNode expected = linearNodeAt(tree, y, expectedTop);
    ASSERT_EQ(tree.GetNodeAt(0, static_cast<int32_t>(y), false, top), expected) << "y " << y;
    if (expected) EXPECT_EQ(top, expectedTop);
  }
}

TEST(PositionCache, EntriesForEveryCountAroundTheThreshold) {
  for (Cardinal count : {0u, 1u, 1999u, 2000u, 2001u, 4001u}) {
    HostedTree t;
    TBaseNodeTree& tree = *t.tree;
    tree.SetRootNodeCount(count);
    int32_t top = 0;
    tree.GetNodeAt(0, 0, false, top);
    bool cached = tree.TreeStates().Contains(stCacheValid);
    EXPECT_EQ(cached, count > 2000) << count;
    EXPECT_EQ(tree.CacheValidCount(), count > 2000 ? (count + 1999) / 2000 : 0u) << count;
    ExpectConsistent(tree);
    std::mt19937 rng(count);
    expectLookupsMatch(tree, rng, 50);
  }
}

TEST(PositionCache, SlicesFromTheTimerWithChangesBetweenThem) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  TNTAutoOptions a = tree.Options().AutoOptions();
  a.Exclude(auSort);
  tree.Options().SetAutoOptions(a);
  tree.CacheSliceNodes = 4000;
  tree.BeginUpdate();
  tree.SetRootNodeCount(3000);
  for (PNTNode n = tree.GetFirstChildNoInit(nullptr); n; n = n->NextSibling)
    if (n->Index % 3 == 0) tree.SetChildCount(n, 4);
  tree.EndUpdate();
  std::mt19937 rng(7);

  auto runSlices = [&] {
    int slices = 0;
    while (t.host.TimerRunning(ValidateTimer) && slices < 100) {
      expectLookupsMatch(tree, rng, 10);  // lookups over a partial cache
      tree.TimerFired(ValidateTimer);
      ++slices;
    }
    return slices;
  };
  // 3000 displayed: one slice is enough.
  EXPECT_TRUE(tree.TreeStates().Contains(stCacheValid));
  // Expanding everything gives 7000 displayed nodes: built in slices.
  tree.FullExpand();
  EXPECT_TRUE(tree.TreeStates().Contains(stValidating));
  EXPECT_GT(runSlices(), 0);
  EXPECT_TRUE(tree.TreeStates().Contains(stCacheValid));
  ExpectConsistent(tree);

  // Changes between slices restart the build from scratch.
  std::vector<std::function<void()>> changes = {
      [&] { tree.ToggleNode(tree.GetFirstChildNoInit(nullptr)); },
      [&] { tree.SetNodeHeight(tree.GetFirstChildNoInit(nullptr)->NextSibling, 40); },
      [&] { tree.DeleteNode(tree.GetFirstChildNoInit(nullptr)->NextSibling->NextSibling); },
      [&] { tree.ToggleNode(tree.GetFirstChildNoInit(nullptr)); },
  };
  for (auto& change : changes) {
    // A fresh build; the toggled node lies near the top, so that the lookups
    // the toggle makes do not build the cache on to its end.
    tree.ToggleNode(tree.GetFirstChildNoInit(nullptr)->NextSibling->NextSibling->NextSibling);
    ASSERT_TRUE(tree.TreeStates().Contains(stValidating));
    tree.TimerFired(ValidateTimer);  // one slice in
    change();
    expectLookupsMatch(tree, rng, 20);
    runSlices();
    EXPECT_FALSE(tree.TreeStates().Contains(stValidating));
    ExpectConsistent(tree);
  }
}

// A lookup past the part built so far builds on up to its target rather
// than walking from the last entry each time; reaching the end finishes the
// build, except with variable heights, whose scroll bars the timer updates.
TEST(PositionCache, ALookupPastTheBuiltPartBuildsOnToIt) {
  for (bool variable : {false, true}) {
    SCOPED_TRACE(variable ? "variable heights" : "fixed heights");
    HostedTree t;
    TBaseNodeTree& tree = *t.tree;
    if (variable) tree.Options().SetMiscOptions(tree.Options().MiscOptions() + TNTMiscOptions{moVariableNodeHeight});
    tree.CacheSliceNodes = 4000;
    tree.SetRootNodeCount(100000);
    ASSERT_TRUE(tree.TreeStates().Contains(stValidating));
    const Cardinal first = tree.CacheValidCount();
    EXPECT_LT(first, 10u);

    int32_t top = 0;
    PNTNode n = tree.GetNodeAt(0, 50000 * 18 + 3, false, top);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->Index, 50000u);
    EXPECT_EQ(top, 50000 * 18);
    EXPECT_GT(tree.CacheValidCount(), 25u);  // entries up to the target
    EXPECT_LT(tree.CacheValidCount(), 40u);  // not the whole tree
    EXPECT_TRUE(tree.TreeStates().Contains(stValidating));
    const TCache& cache = tree.PositionCache();
    for (Cardinal i = 0; i < tree.CacheValidCount(); ++i) {
      EXPECT_EQ(cache[i].Node->Index, i * 2000) << i;
      EXPECT_EQ(cache[i].AbsoluteTop, i * 2000 * 18) << i;
    }

    PNTNode late = tree.GetLastChildNoInit(nullptr)->PrevSibling;
    EXPECT_EQ(tree.GetNodeTop(late), 99998u * 18);
    EXPECT_EQ(tree.GetNodeAt(0, 99999 * 18 + 1, false, top), tree.GetLastChildNoInit(nullptr));
    EXPECT_EQ(tree.CacheValidCount(), 50u);
    EXPECT_EQ(tree.TreeStates().Contains(stCacheValid), !variable);
    EXPECT_EQ(t.host.TimerRunning(ValidateTimer), variable);
    while (t.host.TimerRunning(ValidateTimer)) tree.TimerFired(ValidateTimer);
    EXPECT_TRUE(tree.TreeStates().Contains(stCacheValid));
    ExpectConsistent(tree);
    std::mt19937 rng(5);
    expectLookupsMatch(tree, rng, 20);
  }
}

// Rows made under an empty root give their cache entries as they are made;
// a change in the same update before the cache is built must not leave
// those entries in use. Each change moves row 10, so every entry after the
// first would be wrong. With and without a window (slices from the timer).
TEST(PositionCache, AListMadeFromNothingThenChangedInTheSameUpdate) {
  auto row = [](TBaseNodeTree& t, Cardinal index) {
    PNTNode n = t.GetFirstChildNoInit(nullptr);
    while (n && n->Index != index) n = n->NextSibling;
    return n;
  };
  const std::vector<std::pair<const char*, std::function<void(TBaseNodeTree&)>>> changes = {
      {"none", [](TBaseNodeTree&) {}},
      {"height", [&](TBaseNodeTree& t) { t.SetNodeHeight(row(t, 10), 40); }},
      {"hidden", [&](TBaseNodeTree& t) { t.SetVisible(row(t, 10), false); }},
      {"filtered", [&](TBaseNodeTree& t) { t.SetFiltered(row(t, 10), true); }},
      {"deleted", [&](TBaseNodeTree& t) { t.DeleteNode(row(t, 10)); }},
      {"moved", [&](TBaseNodeTree& t) { t.MoveTo(row(t, 10), row(t, 4500), amInsertAfter, false); }},
      {"expanded child", [&](TBaseNodeTree& t) {
         t.SetChildCount(row(t, 10), 3);
         t.SetExpanded(row(t, 10), true);
       }},
      {"more rows", [](TBaseNodeTree& t) { t.SetRootNodeCount(t.RootNodeCount() + 2500); }},
      {"sorted", [](TBaseNodeTree& t) {
         t.OnNodeCompare = [](TBaseNodeTree*, PNTNode a, PNTNode b, TColumnIndex, int& result) {
           result = a->Index == 10 ? 1 : b->Index == 10 ? -1 : 0;  // row 10 last
         };
         t.Sort(nullptr, 0, sdAscending, false);
       }},
  };
  for (bool window : {false, true}) {
    for (const auto& [name, change] : changes) {
      for (Cardinal count : {2001u, 4000u, 9001u}) {
        SCOPED_TRACE(std::string(window ? "window, " : "no window, ") + name + ", " + std::to_string(count));
        HostedTree t;
        TBaseNodeTree& tree = *t.tree;
        if (!window) tree.SetHost(nullptr);
        tree.CacheSliceNodes = 4000;
        tree.BeginUpdate();
        tree.SetRootNodeCount(count);
        change(tree);
        tree.EndUpdate();
        while (t.host.TimerRunning(ValidateTimer)) tree.TimerFired(ValidateTimer);
        EXPECT_EQ(tree.TreeStates().Contains(stCacheValid), tree.VisibleCount() > 2000);
        ExpectConsistent(tree);
        std::mt19937 rng(count);
        expectLookupsMatch(tree, rng, 20);
      }
    }
  }
}

TEST(PositionCache, AMillionDisplayedNodes) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  tree.SetRootNodeCount(1000000);
  while (t.host.TimerRunning(ValidateTimer)) tree.TimerFired(ValidateTimer);
  EXPECT_EQ(tree.CacheValidCount(), 500u);
  const TCache& cache = tree.PositionCache();
  EXPECT_EQ(cache[499].AbsoluteTop, 499u * 2000u * 18u);
  EXPECT_EQ(cache[500].AbsoluteTop, 1000000u * 18u);
  std::mt19937 rng(11);
  for (int i = 0; i < 20; ++i) {
    Cardinal index = rng() % 1000000;
    int32_t top = 0;
    PNTNode n = tree.GetNodeAt(0, static_cast<int32_t>(index * 18 + 5), false, top);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->Index, index);
    EXPECT_EQ(top, static_cast<int32_t>(index * 18));
    EXPECT_EQ(tree.GetDisplayRect(n, NoColumn, false).Top, static_cast<int32_t>(index * 18));
  }
}

}  // namespace
}  // namespace px::test
