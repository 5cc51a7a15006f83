// Node streams in a tree without captions and of one subtree.
#include <gtest/gtest.h>

#include "TransferTestSupport.h"
#include "platform/core/Streams.h"

namespace px::test {
namespace {

TEST(NodeStreamMore, SubtreeLoadsAsOneTopLevelNodeAndCaptionsAreSkippedByTheBaseTree) {
  CellTree t;
  PNTNode a = t.Add(nullptr, {u"a"});
  PNTNode a1 = t.Add(a, {u"a1"});
  t.Add(a1, {u"a11"});
  t.Add(nullptr, {u"b"});
  t->FullExpand();
  TStringStream s;
  t->SaveToStream(s, a1);
  int copied = 0;
  int loaded = 0;
  CellTree u;
  u->OnNodeCopied = [&](TBaseNodeTree*, PNTNode node) { copied += node == nullptr ? 1 : 100; };
  u->OnLoadTree = [&](TBaseNodeTree*, TStream&) { ++loaded; };
  s.SetPosition(0);
  u->LoadFromStream(s);
  EXPECT_EQ(u.Captions(), "a1|a11");
  EXPECT_EQ(u->RootNodeCount(), 1u);
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(loaded, 1);
  ExpectCountsMatchWalk(*u.tree);

  // A tree without captions skips the caption chunks and reads the rest.
  TObjectPtr<TBaseNodeTree> base = MakeObject<TBaseNodeTree>(nullptr);
  s.SetPosition(0);
  base->LoadFromStream(s);
  EXPECT_EQ(base->TotalCount(), 2u);
  ExpectCountsMatchWalk(*base);
}

}  // namespace
}  // namespace px::test
