// The clipboard formats the tree classes render.
#include <gtest/gtest.h>

#include "NodeTreesTestSupport.h"
#include "platform/gui/ClipboardFormats.h"
#include "ui/tree/NodeTreesClipboard.h"

namespace px::test {
namespace {

class StringishTree : public TBaseNodeTree {
 public:
  using TBaseNodeTree::TBaseNodeTree;
  const TNodeTreeClass* TreeClass() const override { return &StringNodeTreeClass; }
};

std::vector<int32_t> priorities(const std::vector<TFormatEtc>& formats) {
  std::vector<int32_t> out;
  for (const TFormatEtc& f : formats) out.push_back(ClipboardFormatList().FindFormat(f.cfFormat)->Priority);
  return out;
}

TEST(TreeClipboardFormats, OrderPerTreeClassAndLookupIgnoringCase) {
  TClipboardFormatList& list = ClipboardFormatList();
  EXPECT_EQ(priorities(list.EnumerateFormats(&StringNodeTreeClass)),
            (std::vector<int32_t>{50, 80, 84, 85, 90, 95, 100}));
  const auto base = list.EnumerateFormats(&BaseNodeTreeClass);
  ASSERT_EQ(base.size(), 1u);
  EXPECT_EQ(base[0].cfFormat, CF_NODETREEDATA());
  EXPECT_GE(CF_NODETREEDATA(), FirstRegisteredClipboardFormat);
  // The reference format is registered but not rendered by any class.
  EXPECT_EQ(GetClipboardFormatName(CF_NODETREEREFERENCE()), "Node Tree Reference");
  EXPECT_EQ(list.FindFormat(CF_NODETREEREFERENCE()), nullptr);

  const TClipboardFormatEntry* csv = list.FindFormat("csv");
  ASSERT_NE(csv, nullptr);
  EXPECT_EQ(csv->Description, "CSV");
  EXPECT_EQ(csv->TreeClass, &StringNodeTreeClass);
  ASSERT_NE(list.FindFormat("UNICODE TEXT"), nullptr);
  EXPECT_EQ(list.FindFormat("UNICODE TEXT")->FormatEtc.cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(list.FindFormat("no such format"), nullptr);

  // A tree offers only names its class renders; sorted, each once.
  HostedTree plain;
  TClipboardFormats& offered = plain.tree->ClipboardFormats();
  EXPECT_EQ(offered.Add("CSV"), -1);
  EXPECT_GE(offered.Add("node tree data"), 0);
  StringishTree text(nullptr);
  TClipboardFormats& textFormats = text.ClipboardFormats();
  textFormats.Add("Plain text");
  textFormats.Add("CSV");
  textFormats.Add("csv");
  textFormats.Add("Bogus");
  ASSERT_EQ(textFormats.Count(), 2);
  EXPECT_EQ(textFormats.Get(0), "CSV");
  EXPECT_EQ(textFormats.Get(1), "Plain text");
  // Allowed names limit the enumeration.
  EXPECT_EQ(priorities(list.EnumerateFormats(&StringNodeTreeClass, &textFormats)), (std::vector<int32_t>{90, 100}));
  text.BeforeDestruction();
}

}  // namespace
}  // namespace px::test
