#include <gtest/gtest.h>

#include <QScrollBar>

#include "platform/gui/Forms.h"
#include "platform/gui/ScrollBars.h"

namespace px {
namespace {

TEST(ScrollBars, RangePageAndPositionFollowTheClassLibrary) {
  TForm form(nullptr);
  auto* bar = CreateComponent<TScrollBar>(&form);
  bar->SetParent(&form);
  int changes = 0;
  bar->OnChange = [&](TObject*) { ++changes; };

  bar->SetParams(0, 0, 999);
  bar->SetPageSize(200);
  // The thumb's last position is Max - PageSize + 1.
  EXPECT_EQ(bar->QtScrollBar()->maximum(), 800);
  EXPECT_EQ(bar->QtScrollBar()->pageStep(), 200);
  struct Case {
    Integer set, expected;
  };
  for (const Case& c : {Case{500, 500}, Case{900, 800}, Case{-5, 0}}) {
    bar->SetPosition(c.set);
    EXPECT_EQ(bar->Position(), c.expected) << c.set;
    EXPECT_EQ(bar->QtScrollBar()->value(), c.expected);
  }
  EXPECT_EQ(changes, 3);
  bar->SetPosition(0);
  EXPECT_EQ(changes, 3);  // not moved, not changed

  EXPECT_THROW(bar->SetParams(0, 10, 5), EInvalidOperation);
  EXPECT_THROW(bar->SetPageSize(2000), EInvalidOperation);

  bar->SetKind(sbVertical);
  EXPECT_EQ(bar->QtScrollBar()->orientation(), Qt::Vertical);
  EXPECT_GT(bar->Height(), bar->Width());
}

TEST(ScrollBars, UserMovesPassThroughOnScroll) {
  TForm form(nullptr);
  auto* bar = CreateComponent<TScrollBar>(&form);
  bar->SetParent(&form);
  bar->SetParams(0, 0, 100);
  bar->SetSmallChange(10);
  std::vector<std::pair<TScrollCode, Integer>> seen;
  Integer limit = 1000;
  bar->OnScroll = [&](TObject*, TScrollCode code, Integer& pos) {
    seen.emplace_back(code, pos);
    pos = std::min(pos, limit);  // a viewer that cannot scroll further
  };
  int changes = 0;
  bar->OnChange = [&](TObject*) { ++changes; };

  bar->QtScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, scLineDown);
  EXPECT_EQ(seen[0].second, 10);
  EXPECT_EQ(bar->Position(), 10);
  EXPECT_EQ(changes, 1);

  limit = 15;
  bar->QtScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(seen.back().first, scBottom);
  EXPECT_EQ(seen.back().second, 100);
  EXPECT_EQ(bar->Position(), 15);
  EXPECT_EQ(bar->QtScrollBar()->value(), 15);
}

}  // namespace
}  // namespace px
