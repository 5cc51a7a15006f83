#include "NodeTreesTestSupport.h"

#include <vector>

namespace px::test {

namespace {

struct Recount {
  Cardinal count = 0;
  Cardinal height = 0;
};

Recount recount(TBaseNodeTree& tree, PNTNode node, bool isRoot) {
  Recount r;
  r.count = 1;
  r.height = (isRoot || !tree.IsHiddenByFilter(node)) ? node->NodeHeight : 0;
  Cardinal index = 0;
  Cardinal children = 0;
  PNTNode previous = nullptr;
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) {
    EXPECT_EQ(child->Parent, node);
    EXPECT_EQ(child->PrevSibling, previous);
    EXPECT_EQ(child->Index, index);
    Recount c = recount(tree, child, false);
    EXPECT_EQ(child->SubtreeCount, c.count);
    EXPECT_EQ(child->SubtreeHeight, c.height);
    r.count += c.count;
    if (node->Has(nsExpanded) && child->Has(nsVisible)) r.height += c.height;
    previous = child;
    ++index;
    ++children;
  }
  EXPECT_EQ(node->LastChild, previous);
  EXPECT_EQ(node->ChildCount, children);
  return r;
}

void displayed(TBaseNodeTree& tree, PNTNode node, bool childrenAbove, std::vector<PNTNode>& out) {
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) {
    if (!child->Has(nsVisible)) continue;
    bool shown = !tree.IsHiddenByFilter(child);
    if (!childrenAbove && shown) out.push_back(child);
    if (child->Has(nsExpanded)) displayed(tree, child, childrenAbove, out);
    if (childrenAbove && shown) out.push_back(child);
  }
}

}  // namespace

void ExpectConsistent(TBaseNodeTree& tree) {
  PNTNode root = tree.RootNode();
  Recount r = recount(tree, root, true);
  EXPECT_EQ(root->SubtreeCount, r.count);
  EXPECT_EQ(root->SubtreeHeight, r.height);

  bool ca = tree.Options().PaintOptions().Contains(poChildrenAbove);
  std::vector<PNTNode> shown;
  displayed(tree, root, ca, shown);
  ASSERT_EQ(tree.VisibleCount(), shown.size());

  // The displayed walk, forwards and backwards.
  std::vector<PNTNode> walked;
  for (PNTNode n = tree.GetFirstVisibleNoInit(nullptr, true); n; n = tree.GetNextVisibleNoInit(n, true))
    walked.push_back(n);
  ASSERT_EQ(walked, shown);
  std::vector<PNTNode> back;
  for (PNTNode n = tree.GetLastVisibleNoInit(nullptr, true); n; n = tree.GetPreviousVisibleNoInit(n, true))
    back.insert(back.begin(), n);
  ASSERT_EQ(back, shown);

  // Cache entries: every 2000th displayed node with its top, then the closing
  // entry. A lookup rebuilds a cache that was invalidated since.
  int32_t firstTop = 0;
  tree.GetNodeAt(0, 0, false, firstTop);
  std::vector<Cardinal> tops;
  Cardinal top = 0;
  for (PNTNode n : shown) {
    tops.push_back(top);
    top += n->NodeHeight;
  }
  if (tree.TreeStates().Contains(stCacheValid)) {
    const TCache& cache = tree.PositionCache();
    Cardinal regular = shown.size() < 2 ? 0 : static_cast<Cardinal>((shown.size() + 1999) / 2000);
    ASSERT_EQ(tree.CacheValidCount(), regular);
    ASSERT_GE(cache.size(), regular + 1);
    for (Cardinal i = 0; i < regular; ++i) {
      EXPECT_EQ(cache[i].Node, shown[i * 2000]);
      EXPECT_EQ(cache[i].AbsoluteTop, tops[i * 2000]);
    }
    if (!shown.empty()) {
      EXPECT_EQ(cache[regular].Node, shown.back());
      EXPECT_EQ(cache[regular].AbsoluteTop, top);
    }
  } else if (shown.size() > 2000 && tree.UpdateCount() == 0) {
    ADD_FAILURE() << "no valid cache for " << shown.size() << " displayed nodes";
  }

  // GetNodeAt and GetDisplayRect at a sample of positions.
  size_t stride = shown.size() > 16 ? shown.size() / 9 : 1;
  for (size_t i = 0; i < shown.size(); i += stride) {
    PNTNode n = shown[i];
    int32_t nodeTop = -1;
    if (n->NodeHeight > 0) {
      EXPECT_EQ(tree.GetNodeAt(0, static_cast<int32_t>(tops[i] + n->NodeHeight - 1), false, nodeTop), n);
      EXPECT_EQ(nodeTop, static_cast<int32_t>(tops[i]));
    }
    TRect rect = tree.GetDisplayRect(n, NoColumn, false);
    EXPECT_EQ(rect.Top, static_cast<int32_t>(tops[i]) + tree.OffsetY());
    EXPECT_EQ(rect.Height(), n->NodeHeight);
  }
  int32_t nodeTop = 0;
  EXPECT_EQ(tree.GetNodeAt(0, static_cast<int32_t>(top), false, nodeTop), nullptr);
}

}  // namespace px::test
