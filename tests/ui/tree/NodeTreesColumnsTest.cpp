// The column set: numbering by index and position, widths and their limits,
// the auto-size column, removal rules, the click rules, and a randomized walk
// over the column operations with stream round trips.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "NodeTreesHeaderTestSupport.h"
#include "platform/core/Streams.h"

namespace px::test {
namespace {

struct ColumnTree : ColumnsTree {
  explicit ColumnTree(int n = 0, int32_t clientWidth = 300) : ColumnsTree(n, clientWidth, 200) {}
};

void setFixed(TNodeTreeColumn* c, bool fixed) {
  TNTColumnOptions o = c->Options();
  if (fixed)
    o.Include(coFixed);
  else
    o.Exclude(coFixed);
  c->SetOptions(o);
}

TEST(TreeColumns, NewColumnsGoLastWithTheSetsWidth) {
  ColumnTree t(1);
  TNodeTreeColumn* first = t.columns.Items(0);
  EXPECT_EQ(first->Index(), 0);
  EXPECT_EQ(first->Position(), 0u);
  EXPECT_EQ(first->Width(), 50);
  EXPECT_EQ(first->Options().Mask(), 0x88FFu);
  t.columns.NewColumnWidth = 70;
  TNodeTreeColumn* second = t.columns.AddColumn();
  EXPECT_EQ(second->Position(), 1u);
  EXPECT_EQ(second->Width(), 70);
  EXPECT_EQ(second->AbsoluteLeft(), 50);
  EXPECT_EQ(t.header.MainColumn(), 0);
}

TEST(TreeColumns, PositionIsLimitedAndFixedColumnsStayTogether) {
  ColumnTree t(3);
  t.columns.Items(0)->SetPosition(1000);
  EXPECT_EQ(t.columns.Items(0)->Position(), 2u);
  EXPECT_EQ(t.columns.PositionMap(), (std::vector<int32_t>{1, 2, 0}));

  // Fixed neighbours: a column moved between two fixed ones becomes fixed,
  // a fixed one moved right of a free one becomes free.
  ColumnTree f(4);
  setFixed(f.columns.Items(0), true);
  setFixed(f.columns.Items(1), true);
  f.columns.Items(3)->SetPosition(1);
  EXPECT_TRUE(f.columns.Items(3)->Options().Contains(coFixed));
  f.columns.Items(0)->SetPosition(3);
  EXPECT_FALSE(f.columns.Items(0)->Options().Contains(coFixed));
  EXPECT_EQ(f.columns.PositionMap(), (std::vector<int32_t>{3, 1, 2, 0}));
}

TEST(TreeColumns, WidthLimits) {
  struct Case {
    const char* what;
    int32_t minWidth, maxWidth;  // applied in this order; INT32_MIN = leave alone
    int32_t expectMin, expectMax, expectWidth;
  };
  const Case cases[] = {
      {"min raises the width", 200, INT32_MIN, 200, 10000, 200},
      {"max below min stores min", INT32_MIN, 5, 10, 10, 10},
      {"min 200 with max 100", INT32_MIN, 100, 10, 100, 50},
      {"negative min is 0", -5, INT32_MIN, 0, 10000, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ColumnTree t(1);
    TNodeTreeColumn* col = t.columns.Items(0);
    if (c.maxWidth != INT32_MIN) col->SetMaxWidth(c.maxWidth);
    if (c.minWidth != INT32_MIN) col->SetMinWidth(c.minWidth);
    EXPECT_EQ(col->MinWidth(), c.expectMin);
    EXPECT_EQ(col->MaxWidth(), c.expectMax);
    EXPECT_EQ(col->Width(), c.expectWidth);
  }
  ColumnTree t(1);
  TNodeTreeColumn* col = t.columns.Items(0);
  col->SetMaxWidth(100);
  col->SetMinWidth(200);  // clamped to the maximum, and the width with it
  EXPECT_EQ(col->MinWidth(), 100);
  EXPECT_EQ(col->Width(), 100);
  col->SetWidth(5000);
  EXPECT_EQ(col->Width(), 100);
  EXPECT_EQ(col->PreviousWidth(), 50);  // before the minimum pushed it up
  col->SetMargin(-1);
  EXPECT_EQ(col->Margin(), 4);
}

TEST(TreeColumns, AutoResizeFillsTheClientWidth) {
  ColumnTree t(3, 300);
  t.header.SetAutoSizeIndex(1);
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoAutoResize});
  EXPECT_EQ(t.widths(), (std::vector<int32_t>{50, 200, 50}));
  t.columns.Items(1)->SetWidth(20);  // the auto-size column ignores its setter
  EXPECT_EQ(t.columns.Items(1)->Width(), 200);
  t.columns.Items(0)->SetWidth(120);
  EXPECT_EQ(t.widths(), (std::vector<int32_t>{120, 130, 50}));
  t.columns.Items(1)->SetMinWidth(100);
  t.columns.Items(2)->SetWidth(150);  // the auto-size column stops at its minimum
  EXPECT_EQ(t.widths(), (std::vector<int32_t>{120, 100, 150}));
  EXPECT_EQ(t.columns.Items(2)->AbsoluteLeft(), 220);
}

TEST(TreeColumns, DeletingMovesIndexesDown) {
  ColumnTree t(4);
  t.header.SetMainColumn(0);
  t.header.SetSortColumn(2);
  t.header.SetAutoSizeIndex(3);
  t.columns.HotIndex = 3;
  t.columns.Delete(0);
  EXPECT_EQ(t.header.MainColumn(), 0);  // the former index 1
  EXPECT_EQ(t.header.SortColumn(), 1);
  EXPECT_EQ(t.header.AutoSizeIndex(), 2);
  EXPECT_EQ(t.columns.HotIndex, 2);
  t.columns.Delete(1);  // the sort column
  EXPECT_EQ(t.header.SortColumn(), NoColumn);
  t.header.SetMainColumn(1);
  t.columns.Delete(0);
  EXPECT_EQ(t.header.MainColumn(), 0);  // followed its column
  EXPECT_EQ(t.columns.PositionMap(), (std::vector<int32_t>{0}));
  t.columns.Delete(0);
  EXPECT_EQ(t.header.MainColumn(), NoColumn);
}

TEST(TreeColumns, HeaderClickSortCycle) {
  ColumnTree t(3);
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoHeaderClickAutoSort});
  t.columns.Items(2)->DefaultSortDirection = sdDescending;
  std::vector<TColumnHitInfo> clicks;
  t.tree->OnHeaderClicked = [&](TNTHeader*, const TColumnHitInfo& info) { clicks.push_back(info); };
  auto click = [&](TColumnIndex column) {
    const TNodeTreeColumn* c = t.columns.Items(column);
    t.columns.ProcessHeaderClick(Point(c->AbsoluteLeft() + 5, 5), mbLeft, false, true);
  };
  struct Step {
    TColumnIndex click;
    TColumnIndex sortColumn;
    TSortDirection direction;
  };
  const Step steps[] = {
      {1, 1, sdAscending}, {1, 1, sdDescending}, {1, 1, sdAscending},
      {2, 2, sdDescending},  // a new column takes its own default direction
      {2, 2, sdAscending}, {0, 0, sdAscending},
  };
  for (const Step& s : steps) {
    click(s.click);
    EXPECT_EQ(t.header.SortColumn(), s.sortColumn);
    EXPECT_EQ(t.header.SortDirection(), s.direction);
  }
  ASSERT_EQ(clicks.size(), std::size(steps));
  EXPECT_EQ(clicks[0].Column, 1);
  EXPECT_EQ(clicks[0].HitParts, TColumnHitParts{chpOnColumn});
  // A click without a pressed column and without force hits nothing.
  t.columns.ProcessHeaderClick(Point(5, 5), mbLeft, false, false);
  EXPECT_EQ(clicks.back().Column, NoColumn);
  EXPECT_EQ(clicks.back().HitParts, TColumnHitParts{chpNowhere});
  EXPECT_EQ(t.header.SortColumn(), 0);
}

TEST(TreeColumns, HitTestingHonoursScrollAndFixedArea) {
  ColumnTree t(3);
  setFixed(t.columns.Items(0), true);
  t.columns.Items(1)->SetWidth(100);
  // Columns 0..50 (fixed), 50..150, 150..200.
  struct Case {
    int32_t x;
    bool relative;
    TColumnIndex expect;
  };
  const Case cases[] = {{-1, true, InvalidColumn}, {0, true, 0},    {49, true, 0},  {50, false, 1},
                        {149, false, 1},           {150, false, 2}, {199, false, 2}, {200, false, InvalidColumn}};
  for (const Case& c : cases) EXPECT_EQ(t.columns.ColumnAt(Point(c.x, 3), c.relative), c.expect) << c.x;
  int32_t left = 0, right = 0;
  EXPECT_EQ(t.columns.ColumnAndEdgesAt(Point(160, 0), left, right, false), 2);
  EXPECT_EQ(left, 150);
  EXPECT_EQ(right, 200);
  t.columns.ColumnEdges(NoColumn, left, right);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 300);
  EXPECT_EQ(t.columns.FixedShownWidth(), 50);
  EXPECT_EQ(t.columns.ShownExtent(), 200);
  EXPECT_EQ(t.columns.AverageFreeWidth(), 75);
}

// A map longer than the set is cut and its entries renumbered by rank; taking
// one off every entry that is too large would show a column twice.
struct MapAccess : TNodeTreeColumns {
  static constexpr std::vector<int32_t> TNodeTreeColumns::*Map = &MapAccess::positionMap_;
  static void Fit(TNodeTreeColumns& c) { (c.*&MapAccess::fitPositionMap)(); }
};

TEST(TreeColumns, FittingALongPositionMapKeepsAPermutation) {
  ColumnTree t(3);
  t.columns.*MapAccess::Map = {4, 0, 3, 1, 2};
  MapAccess::Fit(t.columns);
  EXPECT_EQ(t.columns.PositionMap(), (std::vector<int32_t>{2, 0, 1}));
}

// --- randomized walk -------------------------------------------------------

void expectWellFormed(ColumnTree& t, bool autoResize) {
  TNodeTreeColumns& cols = t.columns;
  const auto& map = cols.PositionMap();
  ASSERT_EQ(map.size(), static_cast<size_t>(cols.Count()));
  std::vector<int32_t> sorted = map;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], static_cast<int32_t>(i)) << "not a permutation";
  int32_t left = 0;
  for (size_t p = 0; p < map.size(); ++p) {
    const TNodeTreeColumn* c = cols.Items(map[p]);
    EXPECT_EQ(c->Position(), p);
    EXPECT_EQ(c->AbsoluteLeft(), left);
    if (c->Options().Contains(coVisible)) left += c->Width();
  }
  if (autoResize && cols.Count() > 0) {
    TColumnIndex target = cols.IndexInRange(t.header.AutoSizeIndex()) ? t.header.AutoSizeIndex() : cols.Count() - 1;
    const TNodeTreeColumn* c = cols.Items(target);
    int32_t others = 0;
    for (TColumnIndex i = 0; i < cols.Count(); ++i)
      if (i != target && cols.Items(i)->Options().Contains(coVisible)) others += cols.Items(i)->Width();
    EXPECT_EQ(c->Width(), std::clamp(t.host.ClientSize().cx - others, c->MinWidth(), c->MaxWidth()));
  }
}

TEST(TreeColumns, RandomizedOperationsKeepTheColumnsConsistent) {
  for (bool autoResize : {false, true}) {
    SCOPED_TRACE(autoResize ? "auto-resize" : "plain");
    std::mt19937 rng(autoResize ? 1234 : 99);
    ColumnTree t(0, 640);
    if (autoResize) t.header.SetOptions(t.header.Options() + THeaderOptions{hoAutoResize});
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 600; ++step) {
      const int count = t.columns.Count();
      const int op = pick(10);
      if (op <= 1 || count == 0) {
        t.columns.AddColumn()->SetWidth(pick(200));
      } else if (op == 2) {
        t.columns.Delete(pick(count));
      } else if (op == 3) {
        t.columns.Items(pick(count))->SetPosition(static_cast<TColumnPosition>(pick(count + 2)));
      } else if (op == 4) {
        TNodeTreeColumn* c = t.columns.Items(pick(count));
        TNTColumnOptions o = c->Options();
        if (o.Contains(coVisible))
          o.Exclude(coVisible);
        else
          o.Include(coVisible);
        c->SetOptions(o);
      } else if (op == 5) {
        t.columns.Items(pick(count))->SetWidth(pick(400) - 20);
      } else if (op == 6) {
        TNodeTreeColumn* c = t.columns.Items(pick(count));
        setFixed(c, !c->Options().Contains(coFixed));
      } else if (op == 7) {
        t.header.SetAutoSizeIndex(pick(count + 1) - 1);
      } else if (op == 8 && pick(8) == 0) {
        t.columns.Clear();
      } else {
        // Round trip through the stream block into a second tree.
        TBytesStream stream;
        t.header.SaveToStream(stream);
        ColumnTree copy(0, 640);
        stream.SetPosition(0);
        copy.header.LoadFromStream(stream);
        EXPECT_EQ(stream.Position(), stream.Size());
        EXPECT_TRUE(copy.columns.SameColumnsAs(t.columns));
        EXPECT_EQ(copy.header.Options(), t.header.Options());
        expectWellFormed(copy, autoResize);
      }
      expectWellFormed(t, autoResize);
      if (::testing::Test::HasFailure()) FAIL() << "after step " << step << " (operation " << op << ")";
    }
  }
}

}  // namespace
}  // namespace px::test
