// Node streams: save and load of trees and subtrees, byte fixtures written
// by Python (good, old versions, corrupt, truncated, very deep), the
// clipboard block and moving nodes into another tree.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "TransferTestSupport.h"
#include "platform/core/CodePages.h"
#include "platform/core/Streams.h"
#include "support/TempDir.h"

namespace px::test {
namespace {

std::string saved(TBaseNodeTree& tree, PNTNode node = nullptr) {
  TStringStream s;
  tree.SaveToStream(s, node);
  return s.DataString();
}

void load(TBaseNodeTree& tree, const std::string& bytes) {
  TStringStream s(bytes);
  tree.LoadFromStream(s);
}

// a(a1, a2(a21)), b
void fill(CellTree& t) {
  PNTNode a = t.Add(nullptr, {u"a"});
  t.Add(a, {u"a1"});
  PNTNode a2 = t.Add(a, {u"a2"});
  t.Add(a2, {u"a21"});
  t.Add(nullptr, {u"b"});
  t->FullExpand();
}

TEST(NodeStream, SaveLoadSaveIsByteIdentical) {
  CellTree t;
  fill(t);
  t->SetCheckType(t->GetFirst(), ctCheckBox);
  t->SetCheckState(t->GetFirst(), csCheckedNormal);
  t->SetNodeHeight(t->GetLast(), 31);
  const std::string first = saved(*t.tree);
  CellTree u;
  load(*u.tree, first);
  EXPECT_EQ(u.Captions(), "a|a1|a2|a21|b");
  EXPECT_EQ(saved(*u.tree), first);
  ExpectCountsMatchWalk(*u.tree);
  PNTNode a = u->GetFirst();
  EXPECT_EQ(u->CheckState(a), csCheckedNormal);
  EXPECT_EQ(u->CheckType(a), ctCheckBox);
  EXPECT_EQ(u->NodeHeight(u->GetLast()), 31u);
}

TEST(NodeStream, LayoutOfALeafAndAnEmptyTree) {
  CellTree t;
  EXPECT_EQ(saved(*t.tree), std::string("\x45\x20\x4E\x00\x54\x00\x02\x00\x20\x00\x46\x20\0\0\0\0", 16));
  t->StringTreeOptions().SetStringOptions({});  // no caption chunk
  PNTNode leaf = t.Add(nullptr, {u"x"});
  const std::string bytes = saved(*t.tree, leaf);
  // Count 1, then an anchor of 25 bytes: the base chunk alone, no user data.
  ASSERT_EQ(bytes.size(), 16u + 8 + 25);
  int32_t count, type, size;
  std::memcpy(&count, bytes.data() + 12, 4);
  std::memcpy(&type, bytes.data() + 16, 4);
  std::memcpy(&size, bytes.data() + 20, 4);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(size, 25);
}

TEST(NodeStream, UserDataTravelsInItsChunkAndAShortReaderIsRepositioned) {
  CellTree t;
  fill(t);
  t->OnSaveNodeData = [](TBaseNodeTree*, PNTNode, TStream& s) { s.WriteValue<uint32_t>(0xABCD1234); };
  const std::string bytes = saved(*t.tree);
  CellTree u;
  std::vector<uint16_t> read;
  // Reads two of the four bytes: the reader still finds the next chunk.
  u->OnLoadNodeData = [&](TBaseNodeTree*, PNTNode, TStream& s) { read.push_back(s.ReadValue<uint16_t>()); };
  load(*u.tree, bytes);
  EXPECT_EQ(u.Captions(), "a|a1|a2|a21|b");
  EXPECT_EQ(read, std::vector<uint16_t>(5, 0x1234));
}

TEST(NodeStream, SelectionIsTakenOverOnlyInAMultiSelectTree) {
  CellTree t;
  t->Options().SetSelectionOptions({slMultiSelect});
  fill(t);
  t->SelectAll(false);
  const std::string bytes = saved(*t.tree);
  CellTree single;
  load(*single.tree, bytes);
  EXPECT_EQ(single->SelectedCount(), 0u);
  for (PNTNode n = single->GetFirst(); n; n = single->GetNext(n)) EXPECT_FALSE(n->Has(nsSelected));
  CellTree multi;
  multi->Options().SetSelectionOptions({slMultiSelect});
  load(*multi.tree, bytes);
  EXPECT_EQ(multi->SelectedCount(), 5u);
  EXPECT_EQ(multi->GetSortedSelection(false).size(), 5u);
}

TEST(NodeStream, ReadOnlyTreeLoadsNothing) {
  CellTree t;
  fill(t);
  const std::string bytes = saved(*t.tree);
  CellTree u;
  u.Add(nullptr, {u"kept"});
  u->Options().SetMiscOptions(u->Options().MiscOptions() + TNTMiscOptions{moReadOnly});
  load(*u.tree, bytes);
  EXPECT_EQ(u.Captions(), "kept");
}

TEST(NodeStream, PythonFixtures) {
  TempDir dir;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + (FixturesDir() / "tree" / "node_streams.py").string() + " " +
                       dir.Path().string()),
            0);
  std::ifstream cases(dir.File("cases.txt"));
  std::string line;
  int seen = 0;
  while (std::getline(cases, line)) {
    std::istringstream fields(line);
    std::string name, captions;
    int code = 0, count = 0;
    fields >> name >> code >> count;
    std::getline(fields, captions);
    if (!captions.empty() && captions[0] == ' ') captions.erase(0, 1);
    SCOPED_TRACE(name);
    ++seen;
    CellTree t;
    t.Add(nullptr, {u"before"});
    int raised = 0;
    try {
      t->LoadFromFile(dir.File(name + ".bin"));
    } catch (const ENodeTreeError& e) {
      raised = e.HelpContext;
    }
    EXPECT_EQ(raised, code);
    ExpectCountsMatchWalk(*t.tree);
    if (count < 0) {
      EXPECT_EQ(t.Captions(), "before");
    } else {
      EXPECT_EQ(t->TotalCount(), static_cast<Cardinal>(count));
      if (count > 0 && count < 100) EXPECT_EQ(t.Captions(), captions);
    }
    if (name == "transient") {
      PNTNode n = t->GetFirst();
      EXPECT_EQ(n->States & (0x2216 | 0x4800), 0x0200);  // data set again by the caption
      EXPECT_EQ(n->CheckState, csUncheckedNormal);
      EXPECT_EQ(n->CheckType, ctNone);
    }
    if (name == "version1") {
      PNTNode x1 = t->GetFirst()->FirstChild;
      // The byte 0x81 with bit 0x80 reads as selected, which a tree without
      // multi-select drops again.
      EXPECT_EQ(x1->States & 0x01FF, 0x0081);
    }
  }
  EXPECT_GT(seen, 15);
}

TEST(NodeStream, ClipboardBlockHoldsTheSelectionWithoutDescendantsTwice) {
  CellTree t;
  t->Options().SetSelectionOptions({slMultiSelect});
  fill(t);
  EXPECT_EQ(t->RenderTreeDataBlock(false), "");
  PNTNode a = t->GetFirst();
  t->AddToSelection(a);
  t->AddToSelection(a->FirstChild);  // inside a: written once, with a
  t->AddToSelection(t->GetLast());
  const std::string block = t->RenderTreeDataBlock(false);
  ASSERT_GE(block.size(), 4u);
  uint32_t size;
  std::memcpy(&size, block.data(), 4);
  EXPECT_EQ(size, block.size() - 4);
  // The block's nodes paste as top-level nodes of another tree.
  CellTree u;
  TStringStream s(block.substr(4));
  while (s.Position() < s.Size()) u->LoadNodeFromStream(s, nullptr, amAddChildLast);
  EXPECT_EQ(u.Captions(), "a|a1|a2|a21|b");
  ExpectCountsMatchWalk(*u.tree);
}

TEST(NodeStream, MoveToAnotherTreeKeepsTheSubtree) {
  struct Case {
    TNTNodeAttachMode mode;
    bool childrenOnly;
    const char* source;
    const char* target;
  };
  const Case cases[] = {
      {amAddChildLast, false, "b", "t|t1|a|a1|a2|a21"},
      {amAddChildFirst, false, "b", "t|a|a1|a2|a21|t1"},
      {amInsertBefore, false, "b", "t|a|a1|a2|a21|t1"},
      {amInsertAfter, true, "a|b", "t|t1|a1|a2|a21"},
      {amAddChildFirst, true, "a|b", "t|a1|a2|a21|t1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.mode) * 10 + c.childrenOnly);
    CellTree from;
    fill(from);
    CellTree to;
    PNTNode t = to.Add(nullptr, {u"t"});
    PNTNode t1 = to.Add(t, {u"t1"});
    to->FullExpand();
    PNTNode target = c.mode == amInsertBefore || c.mode == amInsertAfter ? t1 : t;
    from->MoveTo(from->GetFirst(), target, c.mode, c.childrenOnly);
    EXPECT_EQ(from.Captions(), c.source);
    EXPECT_EQ(to.Captions(), c.target);
    ExpectCountsMatchWalk(*from.tree);
    ExpectCountsMatchWalk(*to.tree);
  }
  // The tree form puts the node at the other tree's top level.
  CellTree from;
  fill(from);
  CellTree to;
  from->MoveTo(from->GetFirst(), *to.tree, amAddChildLast, false);
  EXPECT_EQ(to.Captions(), "a|a1|a2|a21");
  // A read-only target takes nothing, and the source keeps its node.
  CellTree locked;
  locked->Options().SetMiscOptions(locked->Options().MiscOptions() + TNTMiscOptions{moReadOnly});
  from->MoveTo(from->GetFirst(), *locked.tree, amAddChildLast, false);
  EXPECT_EQ(from.Captions(), "b");
  EXPECT_EQ(locked->TotalCount(), 0u);
}

}  // namespace
}  // namespace px::test
