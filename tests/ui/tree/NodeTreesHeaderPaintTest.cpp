// Header painting rendered offscreen into bitmaps and probed pixel by pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QStyleFactory>
#include <cstdlib>

#include "NodeTreesHeaderTestSupport.h"
#include "ui/tree/NodeTreesHeaderTheme.h"

namespace px::test {
namespace {

struct PaintTree : ColumnsTree {
  explicit PaintTree(int n = 3, int32_t width = 120) : ColumnsTree(0, 3 * width + 40, 100) {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    header.SetOptions(header.Options() + THeaderOptions{hoVisible});
    header.Font().SetName("DejaVu Sans");
    header.Font().SetHeight(-12);
    header.Font().SetColor(clBlack);
    for (int i = 0; i < n; ++i) {
      TNodeTreeColumn* c = columns.AddColumn();
      c->SetWidth(width);
      c->SetText(u"Name");
    }
  }
  // The header painted on white; PX_HEADER_PNG_DIR keeps a picture of it.
  TBitmap& render() {
    bitmap = std::make_unique<TBitmap>(host.ClientSize().cx, header.Height(), pf32bit);
    TBitmap& b = *bitmap;
    b.Canvas().Brush().SetColor(clWhite);
    b.Canvas().FillRect(TRect(0, 0, b.Width(), b.Height()));
    columns.PaintInto(b.Canvas(), TRect(0, 0, b.Width(), b.Height()), 0);
    if (const char* dir = std::getenv("PX_HEADER_PNG_DIR"))
      b.ToQImage().save(QString::fromStdString(std::string(dir) + "/" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                               ".png"));
    return b;
  }
  std::unique_ptr<TBitmap> bitmap;
};

bool dark(TColor c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 110; }

// Bounding box of dark (text) pixels inside r.
TRect inkBox(const TBitmap& b, const TRect& r) {
  TRect box(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    for (int32_t x = r.Left; x < r.Right; ++x)
      if (dark(b.GetPixel(x, y))) {
        box.Left = std::min(box.Left, x);
        box.Top = std::min(box.Top, y);
        box.Right = std::max(box.Right, x + 1);
        box.Bottom = std::max(box.Bottom, y + 1);
      }
  return box;
}

int countColor(const TBitmap& b, const TRect& r, TColor color) {
  int n = 0;
  const TColor rgb = ColorToRGB(color);
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    for (int32_t x = r.Left; x < r.Right; ++x) n += b.GetPixel(x, y) == rgb;
  return n;
}

TEST(TreeHeaderPaint, SortGlyphOnlyOnTheSortColumn) {
  PaintTree t;
  t.header.SetSortColumn(1);
  TBitmap up;
  up.Assign(t.render());
  // Right of the caption ("Name" ends before x 45 of its cell) only the sort
  // column shows anything but the face colour.
  auto glyphArea = [&](int32_t cell) { return TRect(cell * 120 + 45, 3, cell * 120 + 116, t.header.Height() - 3); };
  auto ink = [&](const TBitmap& b, const TRect& r) {
    return r.Width() * r.Height() - countColor(b, r, clBtnFace);
  };
  EXPECT_GT(ink(up, glyphArea(1)), 10);
  EXPECT_EQ(ink(up, glyphArea(0)), 0);
  EXPECT_EQ(ink(up, glyphArea(2)), 0);
  t.header.SetSortDirection(sdDescending);
  TBitmap& down = t.render();
  int differing = 0;
  const TRect r = glyphArea(1);
  for (int32_t x = r.Left; x < r.Right; ++x)
    for (int32_t y = r.Top; y < r.Bottom; ++y) differing += down.GetPixel(x, y) != up.GetPixel(x, y);
  EXPECT_GT(differing, 4);
}

TEST(TreeHeaderPaint, PressedCaptionMovesOneDownRight) {
  PaintTree t;
  const TRect inner(4, 4, 116, t.header.Height() - 3);
  TRect normal = inkBox(t.render(), inner);
  ASSERT_LT(normal.Left, normal.Right);
  t.columns.PressedIndex = 0;
  TRect pressed = inkBox(t.render(), inner);
  EXPECT_EQ(pressed.Left, normal.Left + 1);
  EXPECT_EQ(pressed.Top, normal.Top + 1);
  EXPECT_EQ(pressed.Width(), normal.Width());
}

TEST(TreeHeaderPaint, ShortenedCaptions) {
  TBitmap scratch(1, 1, pf32bit);
  TCanvas& c = scratch.Canvas();
  c.Font().SetName("DejaVu Sans");
  c.Font().SetHeight(-12);
  const UnicodeString text = u"A rather long caption";
  const int32_t dots = c.TextExtent(UnicodeString(u"...")).cx;
  for (int32_t width : {dots + 1, dots + 15, 60, 100}) {
    UnicodeString s = ShortenCaption(c, text, width);
    ASSERT_GE(s.size(), 3u) << width;
    EXPECT_EQ(s.substr(s.size() - 3), u"...");
    EXPECT_LE(c.TextExtent(s.substr(0, s.size() - 3)).cx + dots, width);
    // The longest prefix: one more character would not fit.
    EXPECT_GT(c.TextExtent(text.substr(0, s.size() - 2)).cx + dots, width);
  }
  EXPECT_EQ(ShortenCaption(c, text, dots), u"");
  EXPECT_EQ(ShortenCaption(c, u"", 100), u"");
  EXPECT_EQ(ShortenCaption(c, text, 0), u"");

  // In a cell too narrow even for "...", nothing is drawn.
  PaintTree narrow(1, 14);
  narrow.columns.Items(0)->SetMinWidth(0);
  narrow.columns.Items(0)->SetWidth(12);
  TBitmap& b = narrow.render();
  TRect box = inkBox(b, TRect(2, 3, 9, narrow.header.Height() - 3));
  EXPECT_GE(box.Left, box.Right);
  PaintTree wide(1, 60);
  TRect ink = inkBox(wide.render(), TRect(2, 3, 56, wide.header.Height() - 3));
  EXPECT_LT(ink.Left, ink.Right);
}

TEST(TreeHeaderPaint, DisabledCaptionIsDrawnTwice) {
  PaintTree t;
  t.header.Font().SetColor(clWindowText);
  TNodeTreeColumn* c = t.columns.Items(0);
  c->SetOptions(c->Options() - TNTColumnOptions{coEnabled});
  TBitmap& b = t.render();
  const TRect inner(4, 3, 116, t.header.Height() - 2);
  EXPECT_GT(countColor(b, inner, clBtnHighlight), 5);  // the raised copy
  EXPECT_GT(countColor(b, inner, clBtnShadow), 5);     // the caption itself
  EXPECT_EQ(countColor(b, TRect(124, 3, 236, t.header.Height() - 2), clBtnHighlight), 0);
}

TEST(TreeHeaderPaint, EdgeStyles) {
  struct Case {
    TNTHeaderStyle style;
    TColor topLeft, bottom;
    bool rightEdge;
  };
  const Case cases[] = {
      {hsThickButtons, clBtnHighlight, cl3DDkShadow, true},
      {hsFlatButtons, clBtnHighlight, clBtnShadow, true},
      {hsPlates, cl3DLight, clBtnShadow, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    PaintTree t;
    t.header.SetStyle(c.style);
    TBitmap& b = t.render();
    const int32_t h = t.header.Height();
    EXPECT_EQ(b.GetPixel(60, 0), ColorToRGB(c.topLeft));
    EXPECT_EQ(b.GetPixel(0, 8), ColorToRGB(c.topLeft));
    EXPECT_EQ(b.GetPixel(60, h - 1), ColorToRGB(c.bottom));
    EXPECT_NE(b.GetPixel(119, 8), ColorToRGB(clBtnFace));
    EXPECT_EQ(b.GetPixel(60, h / 2 - 6), ColorToRGB(clBtnFace));
  }
}

TEST(TreeHeaderPaint, ThemedStatesAreDistinct) {
  PaintTree t;
  t.tree->ChangeTreeState({stThemed}, {});
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoHotTrack});
  auto cell = [&](TColumnIndex hot, TColumnIndex pressed) {
    t.columns.HotIndex = hot;
    t.columns.PressedIndex = pressed;
    TBitmap& b = t.render();
    std::vector<TColor> pixels;
    for (int32_t y = 0; y < t.header.Height(); ++y)
      for (int32_t x = 0; x < 120; ++x) pixels.push_back(b.GetPixel(x, y));
    return pixels;
  };
  auto normal = cell(NoColumn, NoColumn);
  auto hot = cell(0, NoColumn);
  auto pressed = cell(0, 0);
  EXPECT_NE(normal, hot);
  EXPECT_NE(normal, pressed);
  EXPECT_NE(hot, pressed);
}

TEST(TreeHeaderPaint, CheckBoxClickTogglesWithoutSorting) {
  PaintTree t;
  t.header.SetOptions(t.header.Options() + THeaderOptions{hoShowImages, hoHeaderClickAutoSort});
  TNodeTreeColumn* c = t.columns.Items(1);
  c->SetCheckBox(true);
  t.render();
  ASSERT_TRUE(c->GlyphShown());
  const TRect g = c->GlyphRect();
  EXPECT_GE(g.Left, 120);
  std::vector<TColumnHitInfo> clicks;
  t.tree->OnHeaderClicked = [&](TNTHeader*, const TColumnHitInfo& info) { clicks.push_back(info); };
  const TPoint onBox((g.Left + g.Right) / 2, (g.Top + g.Bottom) / 2);
  TMessage down{WM_NCLBUTTONDOWN, 0, MakeLParam(onBox.X, onBox.Y - t.header.Height()), 0};
  TMessage up{WM_NCLBUTTONUP, 0, down.LParam, 0};
  t.header.HandleHeaderMessage(down);
  EXPECT_TRUE(t.columns.PressedOnCheckBox);
  t.header.HandleHeaderMessage(up);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].Column, 1);
  EXPECT_EQ(clicks[0].HitParts, (TColumnHitParts{chpOnColumn, chpOnGlyph, chpOnCheckBox}));
  EXPECT_EQ(c->CheckState(), csCheckedNormal);
  EXPECT_EQ(t.header.SortColumn(), NoColumn);
  // Beside the box the click sorts.
  t.columns.ProcessHeaderClick(Point(g.Right + 30, onBox.Y), mbLeft, false, true);
  EXPECT_EQ(t.header.SortColumn(), 1);
  EXPECT_EQ(c->CheckState(), csCheckedNormal);
}

}  // namespace
}  // namespace px::test
