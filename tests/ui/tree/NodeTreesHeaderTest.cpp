// The header: clamped main and sort columns, the height and its limits, the
// fixed-area constraints, width distribution, and reading its stream block
// (older versions through the command line, broken blocks here).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "NodeTreesHeaderTestSupport.h"
#include "platform/core/Streams.h"
#include "support/TempDir.h"

namespace px::test {
namespace {

using HeaderTree = ColumnsTree;

void makeFixed(TNodeTreeColumn* c) { c->SetOptions(c->Options() + TNTColumnOptions{coFixed}); }

TEST(TreeHeader, MainAndSortColumnsAreClamped) {
  HeaderTree none(0, 200, 100);
  none.header.SetMainColumn(3);
  EXPECT_EQ(none.header.MainColumn(), NoColumn);
  HeaderTree t(3, 200, 100);
  t.header.SetMainColumn(5);
  EXPECT_EQ(t.header.MainColumn(), 2);
  t.header.SetSortColumn(-5);
  EXPECT_EQ(t.header.SortColumn(), NoColumn);
  t.header.SetSortColumn(9);
  EXPECT_EQ(t.header.SortColumn(), 2);
}

TEST(TreeHeader, DefaultHeightMovesOnlyAnUntouchedHeight) {
  HeaderTree t(1, 200, 100);
  t.header.SetDefaultHeight(24);
  EXPECT_EQ(t.header.Height(), 24);
  t.header.SetHeight(30);
  t.header.SetDefaultHeight(26);
  EXPECT_EQ(t.header.Height(), 30);
  t.header.SetDefaultHeight(20000);  // clamped to MaxHeight
  EXPECT_EQ(t.header.DefaultHeight(), 10000);
}

TEST(TreeHeader, HeightLimitsAndPercentages) {
  // The tree is client 281 + header 19 = 300 pixels high.
  struct Case {
    const char* what;
    int maxPct, minPct, minHeight, maxHeight, request, expect;
  };
  const Case cases[] = {
      {"plain limits", 0, 0, 10, 10000, 5, 10},
      {"max height", 0, 0, 10, 40, 200, 40},
      {"50 % of 300", 50, 0, 10, 10000, 200, 150},
      {"max percent below min height", 5, 0, 20, 10000, 30, 15},
      {"min percent", 0, 20, 10, 10000, 19, 60},
      {"min percent above max height", 0, 20, 10, 40, 19, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HeaderTree t(1, 200, 281);
    // The limits go in while there is no window, so that the one height
    // asked for meets them with the tree at 300 pixels (the recording host
    // keeps its client height when the header grows).
    t.host.Handle = false;
    t.header.SetMinHeight(c.minHeight);
    t.header.SetMaxHeight(c.maxHeight);
    t.header.FixedAreaConstraints().SetMaxHeightPercent(static_cast<Byte>(c.maxPct));
    t.header.FixedAreaConstraints().SetMinHeightPercent(static_cast<Byte>(c.minPct));
    t.host.Handle = true;
    t.header.SetHeight(c.request);
    EXPECT_EQ(t.header.Height(), c.expect);
  }
  // Without a window the value is kept until the header is rescaled.
  HeaderTree w(1, 200, 281);
  w.host.Handle = false;
  w.header.SetHeight(3);
  EXPECT_EQ(w.header.Height(), 3);
  EXPECT_TRUE(w.header.States().Contains(hsNeedsRecalc));
  w.host.Handle = true;
  w.header.RescaleHeader();
  EXPECT_EQ(w.header.Height(), 10);
  EXPECT_FALSE(w.header.States().Contains(hsNeedsRecalc));
}

TEST(TreeHeader, ConstraintPercentagesPullEachOther) {
  HeaderTree t(0, 200, 100);
  TNTFixedAreaConstraints& k = t.header.FixedAreaConstraints();
  int changes = 0;
  k.OnChange = [&](TObject*) { ++changes; };
  k.SetMinWidthPercent(30);
  k.SetMaxWidthPercent(20);  // pulls the minimum down
  EXPECT_EQ(k.MinWidthPercent(), 20);
  k.SetMinWidthPercent(25);  // pushes the maximum up
  EXPECT_EQ(k.MaxWidthPercent(), 25);
  EXPECT_EQ(changes, 3);
}

TEST(TreeHeader, FixedAreaPercentages) {
  // Two fixed columns on a 300 pixel wide client, at most 50 %: 150 pixels.
  HeaderTree t(3, 300, 200);
  makeFixed(t.columns.Items(0));
  makeFixed(t.columns.Items(1));
  t.header.FixedAreaConstraints().SetMaxWidthPercent(50);
  t.columns.Items(0)->SetWidth(400);
  EXPECT_EQ(t.columns.Items(0)->Width(), 100);
  EXPECT_EQ(t.columns.FixedShownWidth(), 150);

  // Rescaling squeezes the fixed area only while a height percentage is set.
  HeaderTree r(3, 300, 200);
  makeFixed(r.columns.Items(0));
  makeFixed(r.columns.Items(1));
  r.columns.Items(0)->SetWidth(120);
  r.columns.Items(1)->SetWidth(130);
  r.header.FixedAreaConstraints().SetMaxWidthPercent(50);
  r.header.RescaleHeader();
  EXPECT_EQ(r.columns.FixedShownWidth(), 250);
  r.header.FixedAreaConstraints().SetMaxHeightPercent(90);
  EXPECT_EQ(r.columns.FixedShownWidth(), 150);
  EXPECT_EQ(r.columns.Items(0)->Width() + r.columns.Items(1)->Width(), 150);
  EXPECT_EQ(r.columns.Items(2)->AbsoluteLeft(), 150);
}

TEST(TreeHeader, ShrinkBeyondTheRoomStopsAtTheLimits) {
  // Fixed columns of 20 pixels with a minimum of 10 cannot reach 3 % of 300;
  // the recalculation takes the room there is and returns.
  HeaderTree t(2, 300, 200);
  for (TColumnIndex i = 0; i < 2; ++i) {
    makeFixed(t.columns.Items(i));
    t.columns.Items(i)->SetWidth(20);
  }
  t.header.FixedAreaConstraints().SetMaxWidthPercent(3);
  t.header.FixedAreaConstraints().SetMaxHeightPercent(90);
  EXPECT_EQ(t.columns.Items(0)->Width(), 10);
  EXPECT_EQ(t.columns.Items(1)->Width(), 10);
  EXPECT_FALSE(t.header.States().Contains(hsRecalculating));
}

TEST(TreeHeader, ResizeColumnsSpreadsTheRestEvenly) {
  HeaderTree t(3, 600, 200);
  const TNTColumnOptions visible{coVisible};
  EXPECT_EQ(t.header.ResizeColumns(10, 0, 2, visible), -10);
  EXPECT_EQ(t.columns.Items(0)->Width() + t.columns.Items(1)->Width() + t.columns.Items(2)->Width(), 160);
  // Repeated growth hands the odd pixels to different columns.
  t.header.ResizeColumns(10, 0, 2, visible);
  t.header.ResizeColumns(10, 0, 2, visible);
  std::vector<int32_t> w;
  for (TColumnIndex i = 0; i < 3; ++i) w.push_back(t.columns.Items(i)->Width());
  EXPECT_EQ(w, (std::vector<int32_t>{60, 60, 60}));
  // Shrinking stops at the minimum widths.
  EXPECT_EQ(t.header.ResizeColumns(-1000, 0, 2, visible), 150);
  for (TColumnIndex i = 0; i < 3; ++i) EXPECT_EQ(t.columns.Items(i)->Width(), 10);
  EXPECT_EQ(t.header.ResizeColumns(0, 0, 2, visible), 0);
}

TEST(TreeHeader, SpringColumnsShareWidthChanges) {
  HeaderTree t(3, 600, 200);
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoAutoSpring});
  for (TColumnIndex i : {0, 2}) t.columns.Items(i)->SetOptions(t.columns.Items(i)->Options() + TNTColumnOptions{coAutoSpring});
  t.header.SpringResize(600);  // the first call only remembers the width
  t.header.SpringResize(611);
  EXPECT_EQ(t.columns.Items(0)->Width(), 55);
  EXPECT_EQ(t.columns.Items(1)->Width(), 50);
  EXPECT_EQ(t.columns.Items(2)->Width(), 55);
  t.header.SpringResize(612);  // the half pixels carried add up
  EXPECT_EQ(t.columns.Items(0)->Width() + t.columns.Items(2)->Width(), 112);
}

// --- stream block ----------------------------------------------------------

TBytes savedBlock(HeaderTree& t) {
  TBytesStream s;
  t.header.SaveToStream(s);
  return s.Bytes();
}

HeaderTree& populate(HeaderTree& t) {
  t.columns.Items(0)->SetText(u"First");
  t.columns.Items(1)->SetHint(u"Second column");
  t.columns.Items(2)->SetPosition(0);
  t.header.SetSortColumn(1);
  t.header.FixedAreaConstraints().SetMaxWidthPercent(40);
  return t;
}

TEST(TreeHeaderStream, EveryTruncationRaisesTheReadErrorAndRefreshes) {
  HeaderTree source(3, 300, 200);
  const TBytes block = savedBlock(populate(source));
  for (size_t n = 0; n < block.size(); ++n) {
    HeaderTree t(0, 300, 200);
    std::vector<TColumnIndex> resized;
    t.tree->OnColumnResized = [&](TNTHeader*, TColumnIndex c) { resized.push_back(c); };
    TBytesStream s(TBytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n)));
    try {
      t.header.LoadFromStream(s);
      ADD_FAILURE() << "no error at " << n << " bytes";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), "Stream read error");
    }
    EXPECT_FALSE(t.header.States().Contains(hsLoading)) << n;
    ASSERT_FALSE(resized.empty()) << n;
    EXPECT_EQ(resized.back(), NoColumn);
    // What was read is usable: the map matches the columns.
    EXPECT_EQ(t.columns.PositionMap().size(), static_cast<size_t>(t.columns.Count()));
  }
}

// Byte offsets in a block of one column written by SaveToStream.
constexpr size_t ColumnCountAt = 8, TextLengthAt = 12;

TEST(TreeHeaderStream, BrokenValuesAreRefused) {
  HeaderTree source(1, 300, 200);
  const TBytes good = savedBlock(source);
  auto loads = [](TBytes bytes) {
    HeaderTree t(0, 300, 200);
    TBytesStream s(std::move(bytes));
    t.header.LoadFromStream(s);
  };
  auto patched = [&](size_t at, int32_t value) {
    TBytes b = good;
    std::memcpy(b.data() + at, &value, 4);
    return b;
  };
  // Text length far beyond the data, negative lengths and counts: refused
  // before anything is allocated.
  EXPECT_THROW(loads(patched(TextLengthAt, 0x7FFFFFFF)), EReadError);
  EXPECT_THROW(loads(patched(TextLengthAt, -2)), EReadError);
  EXPECT_THROW(loads(patched(ColumnCountAt, 50000000)), EReadError);
  EXPECT_THROW(loads(patched(ColumnCountAt, -1)), EReadError);
  // Enumerations outside their types (style, layout, bidi mode, alignment).
  const size_t styleAt = TextLengthAt + 4 + 4 + 3 * 4;
  for (size_t at : {styleAt, styleAt + 8, styleAt + 20, styleAt + 32})
    EXPECT_THROW(loads(patched(at, 9)), EReadError) << at;
  EXPECT_NO_THROW(loads(good));
}

TEST(TreeHeaderStream, APositionMapThatIsNoPermutationBecomesTheIdentity) {
  HeaderTree source(3, 300, 200);
  source.columns.Items(0)->SetPosition(2);
  TBytes block = savedBlock(source);
  // The map follows the three column records, before NewColumnWidth and the
  // header fields; find it from the end of the column block.
  TBytesStream probe;
  source.columns.WriteToStream(probe);
  const size_t mapAt = 8 + probe.Bytes().size() - 4 - 12;
  int32_t map[3];
  std::memcpy(map, block.data() + mapAt, 12);
  ASSERT_EQ(std::vector<int32_t>(map, map + 3), (std::vector<int32_t>{1, 2, 0}));
  for (std::vector<int32_t> bad : {std::vector<int32_t>{1, 1, 0}, {0, 1, 7}, {-1, 0, 1}}) {
    std::memcpy(block.data() + mapAt, bad.data(), 12);
    HeaderTree t(0, 300, 200);
    TBytesStream s(block);
    t.header.LoadFromStream(s);
    EXPECT_EQ(t.columns.PositionMap(), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(t.columns.Items(2)->AbsoluteLeft(), 100);
  }
}

TEST(TreeHeaderStream, RoundTripKeepsEverything) {
  HeaderTree source(3, 300, 200);
  populate(source);
  source.header.SetStyle(hsPlates);
  source.header.SetBackground(0x123456);
  source.columns.Items(1)->SetCaptionAlignment(taRightJustify);
  source.columns.Items(1)->SetTag(-42);
  const TBytes block = savedBlock(source);
  HeaderTree t(0, 300, 200);
  TBytesStream s(block);
  t.header.LoadFromStream(s);
  EXPECT_EQ(t.header.StreamVersion(), 6);
  EXPECT_TRUE(t.columns.SameColumnsAs(source.columns));
  EXPECT_EQ(t.columns.Items(1)->CaptionAlignment(), taRightJustify);
  EXPECT_EQ(t.header.SortColumn(), 1);
  EXPECT_EQ(t.header.Style(), hsPlates);
  EXPECT_EQ(t.header.FixedAreaConstraints().MaxWidthPercent(), 40);
  EXPECT_EQ(savedBlock(t), block);
}

// Blocks of every version written by a Python script, read by pxtool.
std::string run(const std::string& command) {
  std::string out;
  EXPECT_EQ(RunCommand(command, &out), 0) << command;
  return out;
}

TEST(TreeHeaderStream, BlocksOfEveryVersionReadThroughPxtool) {
  const char* build = std::getenv("PX_BUILD_DIR");
  const std::string pxtool = build ? std::string(build) + "/tools/pxtool/pxtool" : std::string(PX_PXTOOL_PATH);
  ASSERT_TRUE(std::filesystem::exists(pxtool)) << "pxtool is not built: " << pxtool;
  TempDir dir;
  HeaderTree fresh(1, 300, 200);
  const uint32_t defaultColor = static_cast<uint32_t>(fresh.columns.Items(0)->Color());
  run("/usr/bin/python3 " + (FixturesDir() / "tree" / "header_blocks.py").string() + " " + dir.Path().string() + " " +
      std::to_string(defaultColor));
  for (int version : {-1, 0, 1, 2, 5, 6}) {
    SCOPED_TRACE(version);
    const std::string block = dir.File("v" + std::to_string(version) + ".bin");
    EXPECT_EQ(run(pxtool + " tree header " + block + " 2>/dev/null"),
              ReadFileBytes(dir.File("v" + std::to_string(version) + ".expected")));
  }
  // Rewritten as version 6, an old block reads back to the same values.
  const std::string rewritten = dir.File("r1.bin");
  run(pxtool + " tree header --rewrite " + dir.File("v1.bin") + " " + rewritten + " 2>/dev/null");
  const std::string expected = ReadFileBytes(dir.File("v1.expected"));
  const std::string again = run(pxtool + " tree header " + rewritten + " 2>/dev/null");
  EXPECT_EQ(again.substr(again.find('\n')), expected.substr(expected.find('\n')));
  EXPECT_EQ(again.substr(0, 10), "version 6\n");
}

}  // namespace
}  // namespace px::test
