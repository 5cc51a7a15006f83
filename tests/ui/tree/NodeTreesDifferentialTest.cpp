// Random structure changes against a brute-force recount: after every step
// the links, indexes, counts, subtree heights, the visible count, the cache
// entries and the node/position lookups must match a walk from scratch.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "NodeTreesTestSupport.h"

namespace px::test {
namespace {

struct DiffCase {
  const char* name;
  Cardinal targetVisible;
  bool measured;       // heights from OnNodeMeasure
  bool childrenAbove;  // poChildrenAbove
  unsigned seed;
};

std::vector<PNTNode> allNodes(TBaseNodeTree& tree) {
  std::vector<PNTNode> nodes;
  for (PNTNode n = tree.GetFirstNoInit(); n; n = tree.GetNextNoInit(n)) nodes.push_back(n);
  return nodes;
}

class Differential : public ::testing::TestWithParam<DiffCase> {};

TEST_P(Differential, MatchesRecount) {
  const DiffCase& c = GetParam();
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  std::mt19937 rng(c.seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };

  TNTAutoOptions autoOptions = tree.Options().AutoOptions();
  autoOptions.Exclude(auSort);
  tree.Options().SetAutoOptions(autoOptions);
  if (c.childrenAbove) {
    TNTPaintOptions p = tree.Options().PaintOptions();
    p.Include(poChildrenAbove);
    tree.Options().SetPaintOptions(p);
  }
  if (c.measured) {
    TNTMiscOptions m = tree.Options().MiscOptions();
    m.Include(moVariableNodeHeight);
    tree.Options().SetMiscOptions(m);
    tree.OnNodeMeasure = [](TBaseNodeTree*, TCanvas&, PNTNode node, int32_t& height) {
      height = 8 + static_cast<int32_t>((reinterpret_cast<uintptr_t>(node) >> 4) % 23);
    };
  }

  // A forest of roughly the target size: top-level nodes with expanded children.
  tree.BeginUpdate();
  tree.SetRootNodeCount(c.targetVisible / 5);
  for (PNTNode n = tree.GetFirstChildNoInit(nullptr); n; n = n->NextSibling) {
    if (pick(3) == 0) continue;
    tree.SetChildCount(n, 1 + static_cast<Cardinal>(pick(7)));
    tree.ToggleNode(n);
  }
  tree.EndUpdate();
  ExpectConsistent(tree);

  int updateDepth = 0;
  const int steps = c.targetVisible > 2000 ? 90 : 200;
  for (int step = 0; step < steps && !HasFailure(); ++step) {
    std::vector<PNTNode> nodes = allNodes(tree);
    ASSERT_FALSE(nodes.empty());
    PNTNode a = nodes[pick(nodes.size())];
    PNTNode b = nodes[pick(nodes.size())];
    int op = static_cast<int>(pick(12));
    std::string what;
    switch (op) {
      case 0:
        what = "add child";
        tree.AddChild(pick(4) == 0 ? nullptr : a);
        break;
      case 1: {
        what = "insert";
        tree.InsertNode(a, static_cast<TNTNodeAttachMode>(1 + pick(4)));
        break;
      }
      case 2:
        what = "delete";
        if (a->SubtreeCount < 50) tree.DeleteNode(a);
        break;
      case 3: {
        what = "move";
        auto mode = static_cast<TNTNodeAttachMode>(1 + pick(4));
        bool childrenOnly = pick(3) == 0;
        try {
          tree.MoveTo(a, b, mode, childrenOnly);
        } catch (const ENodeTreeError& e) {
          EXPECT_EQ(e.HelpContext, 2001);
          EXPECT_TRUE(tree.HasAsParent(b, a));
        }
        break;
      }
      case 4:
      case 5:
        what = "toggle";
        tree.ToggleNode(a);
        break;
      case 6:
        what = "height";
        tree.SetNodeHeight(a, static_cast<int64_t>(pick(60)) - 5);
        break;
      case 7:
        what = "filter";
        tree.SetFiltered(a, !a->Has(nsFilteredOut));
        break;
      case 8: {
        what = "show filtered";
        TNTPaintOptions p = tree.Options().PaintOptions();
        if (p.Contains(poShowFilteredNodes))
          p.Exclude(poShowFilteredNodes);
        else
          p.Include(poShowFilteredNodes);
        tree.Options().SetPaintOptions(p);
        break;
      }
      case 9:
        what = "visible";
        tree.SetVisible(a, !a->Has(nsVisible));
        break;
      case 10:
        what = "child count";
        if (a->SubtreeCount < 50) tree.SetChildCount(a, static_cast<Cardinal>(pick(5)));
        break;
      case 11:
        if (updateDepth < 2 && pick(2) == 0) {
          what = "begin update";
          tree.BeginUpdate();
          ++updateDepth;
        } else if (updateDepth > 0) {
          what = "end update";
          tree.EndUpdate();
          --updateDepth;
        }
        break;
    }
    SCOPED_TRACE("step " + std::to_string(step) + ": " + what);
    ExpectConsistent(tree);
  }
  while (updateDepth-- > 0) tree.EndUpdate();
  ExpectConsistent(tree);
  EXPECT_GE(tree.VisibleCount(), c.targetVisible / 2);
}

INSTANTIATE_TEST_SUITE_P(Trees, Differential,
                         ::testing::Values(DiffCase{"Plain2000", 2000, false, false, 1},
                                           DiffCase{"Plain10000", 10000, false, false, 2},
                                           DiffCase{"Measured10000", 10000, true, false, 3},
                                           DiffCase{"ChildrenAbove10000", 10000, false, true, 4},
                                           DiffCase{"MeasuredChildrenAbove2000", 2000, true, true, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace px::test
