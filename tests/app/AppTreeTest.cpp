// The window tree of `pxtool app tree` for a grid: a line per header column
// (caption, width, visible) and a line per row with the shown columns' texts.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/AppTree.h"
#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "platform/gui/Forms.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {
namespace {

std::vector<std::vector<std::string>> rows(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(line.substr(start, tab - start));
    f.push_back(line.substr(start));
    out.push_back(f);
  }
  return out;
}

TEST(AppTree, AGridListsItsColumnsAndRows) {
  IMemDataSet table = CreateMemDataSetFromSpec("T", "Id:int*Name:astr;Note:astr");
  for (auto [id, name, note] : {std::tuple{1, "coin", "a\tb"}, std::tuple{2, "note", "x\\y"}}) {
    TMemRecord* r = table->AddRecord();
    r->SetInteger(0, id);
    r->SetAnsiString(1, name);
    r->SetAnsiString(2, note);
  }
  IMemDataView view = CreateMemDataView(table);
  const char* captions[] = {"Id", "Name", "Note"};
  for (Integer f = 0; f < 3; ++f) {
    TMemViewColumn* c = view->AddColumn();
    c->SetFieldIndex(f);
    c->Caption = captions[f];
  }
  view->GetColumn(0)->Flags = mvfHidden;

  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto* grid = CreateComponent<TDataSetList>(&form);
  grid->SetName("lstItems");
  grid->SetParent(&form);
  grid->SetBounds(10, 20, 300, 200);
  grid->SetView(view);
  form.Show();
  grid->Header().Columns().Items(1)->SetWidth(120);

  std::ostringstream out;
  PrintWindowTree(out, &form);
  const auto lines = rows(out.str());
  size_t at = 0;
  while (at < lines.size() && lines[at][0] != "  lstItems") ++at;
  ASSERT_LT(at + 5, lines.size()) << out.str();
  const std::vector<std::string>& g = lines[at];
  int gx = 0, gy = 0;
  std::sscanf(g[3].c_str(), "%d,%d", &gx, &gy);
  const int headerHeight = grid->HeaderStripHeight();
  ASSERT_GT(headerHeight, 0);
  // The grid's sunken frame: two pixels on every side.
  const int frame = 2;
  ASSERT_EQ(grid->FrameWidths(), TRect(frame, frame, frame, frame));

  struct Column {
    const char* caption;
    bool visible;
  } columns[] = {{"Id", false}, {"Name", true}, {"Note", true}};
  int left = 0;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(columns[i].caption);
    const auto& l = lines[at + 1 + i];
    EXPECT_EQ(l[0], "    ");
    EXPECT_EQ(l[1], "TNodeTreeColumn");
    TNodeTreeColumn* c = grid->Header().Columns().Items(i);
    EXPECT_EQ(l[2], std::to_string(frame + c->Left()) + "," + std::to_string(frame) + "," +
                        std::to_string(c->Width()) + "," + std::to_string(headerHeight));
    EXPECT_EQ(l[3], std::to_string(gx + frame + c->Left()) + "," + std::to_string(gy + frame));
    EXPECT_EQ(l[4], columns[i].visible ? "1" : "0");
    EXPECT_EQ(l[6], columns[i].caption);
    if (columns[i].visible) {
      EXPECT_EQ(c->Left(), left);
      left += c->Width();
    }
  }
  EXPECT_NE(lines[at + 2][2].find(",120,"), std::string::npos);
  EXPECT_EQ(gy, 20);
  // Rows: the shown columns' texts, the tab and backslash escaped.
  const auto& r1 = lines[at + 4];
  const auto& r2 = lines[at + 5];
  EXPECT_EQ(r1[1], "TNTNode");
  EXPECT_EQ(r1[6], "coin\\ta\\tb");
  EXPECT_EQ(r2[6], "note\\tx\\\\y");
  const int rowHeight = static_cast<int>(grid->DefaultNodeHeight());
  // The rows start under the header strip.
  EXPECT_EQ(r1[2], std::to_string(frame) + "," + std::to_string(frame + headerHeight) + "," +
                       std::to_string(300 - 2 * frame) + "," + std::to_string(rowHeight));
  EXPECT_EQ(r2[3], std::to_string(gx + frame) + "," + std::to_string(gy + frame + headerHeight + rowHeight));
  EXPECT_EQ(r1[4], "1");
}

}  // namespace
}  // namespace px
