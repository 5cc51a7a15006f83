#include <gtest/gtest.h>

#include "NodeTreesTestSupport.h"

namespace px::test {
namespace {

TEST(NodeTreeBasics, AddDeleteAndWalk) {
  HostedTree t;
  TBaseNodeTree& tree = *t.tree;
  PNTNode a = tree.AddChild(nullptr);
  PNTNode b = tree.AddChild(nullptr);
  PNTNode a1 = tree.AddChild(a);
  PNTNode a2 = tree.AddChild(a);
  EXPECT_EQ(tree.RootNodeCount(), 2u);
  EXPECT_EQ(tree.TotalCount(), 4u);
  EXPECT_EQ(tree.GetFirst(), a);
  EXPECT_EQ(tree.GetNext(a), a1);
  EXPECT_EQ(tree.GetNext(a1), a2);
  EXPECT_EQ(tree.GetNext(a2), b);
  EXPECT_EQ(tree.GetNext(b), nullptr);
  EXPECT_EQ(tree.VisibleCount(), 2u);
  tree.ToggleNode(a);
  EXPECT_EQ(tree.VisibleCount(), 4u);
  ExpectConsistent(tree);
  tree.DeleteNode(a1);
  EXPECT_EQ(a2->Index, 0u);
  ExpectConsistent(tree);
  tree.Clear();
  EXPECT_EQ(tree.TotalCount(), 0u);
  ExpectConsistent(tree);
}

}  // namespace
}  // namespace px::test
