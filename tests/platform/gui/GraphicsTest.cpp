#include <gtest/gtest.h>

#include "platform/core/Exceptions.h"
#include "platform/gui/Graphics.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

namespace px {
namespace {

TEST(Colors, SystemAndPlainColoursResolve) {
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
  EXPECT_EQ(ColorToRGB(0x02123456), 0x123456);  // palette-relative flag dropped
  EXPECT_EQ(ColorToRGB(clBtnFace) & ~0xFFFFFF, 0);
  EXPECT_NE(ColorToRGB(clWindow), ColorToRGB(clWindowText));
  EXPECT_EQ(GetRValue(RGB(1, 2, 3)), 1);
  EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}

class CanvasOnBitmap : public ::testing::Test {
 protected:
  TBitmap bmp{20, 20, pf24bit};
  void SetUp() override {
    bmp.Canvas().Brush().SetColor(clWhite);
    bmp.Canvas().FillRect(Rect(0, 0, 20, 20));
  }
};

TEST_F(CanvasOnBitmap, FillRectExcludesRightAndBottom) {
  bmp.Canvas().Brush().SetColor(clRed);
  bmp.Canvas().FillRect(Rect(2, 3, 6, 8));
  EXPECT_EQ(bmp.GetPixel(2, 3), clRed);
  EXPECT_EQ(bmp.GetPixel(5, 7), clRed);
  EXPECT_EQ(bmp.GetPixel(6, 7), clWhite);
  EXPECT_EQ(bmp.GetPixel(5, 8), clWhite);
  EXPECT_EQ(bmp.GetPixel(1, 3), clWhite);
}

TEST_F(CanvasOnBitmap, RectangleOutlineOnLastInsidePixels) {
  TCanvas& c = bmp.Canvas();
  c.Pen().SetColor(clBlue);
  c.Brush().SetColor(clLime);
  c.Rectangle(2, 2, 10, 8);
  EXPECT_EQ(bmp.GetPixel(2, 2), clBlue);
  EXPECT_EQ(bmp.GetPixel(9, 7), clBlue);
  EXPECT_EQ(bmp.GetPixel(10, 7), clWhite);
  EXPECT_EQ(bmp.GetPixel(9, 8), clWhite);
  EXPECT_EQ(bmp.GetPixel(5, 5), clLime);
  c.Brush().SetStyle(bsClear);
  c.Rectangle(12, 12, 16, 16);
  EXPECT_EQ(bmp.GetPixel(13, 13), clWhite);
  EXPECT_EQ(bmp.GetPixel(15, 15), clBlue);
}

TEST_F(CanvasOnBitmap, LineLeavesOutItsEndPointAndMovesThePen) {
  TCanvas& c = bmp.Canvas();
  c.Pen().SetColor(clBlack);
  c.MoveTo(1, 5);
  c.LineTo(8, 5);
  EXPECT_EQ(bmp.GetPixel(1, 5), clBlack);
  EXPECT_EQ(bmp.GetPixel(7, 5), clBlack);
  EXPECT_EQ(bmp.GetPixel(8, 5), clWhite);
  EXPECT_EQ(c.PenPos(), Point(8, 5));
}

TEST_F(CanvasOnBitmap, OriginClipAndSaveRestore) {
  TCanvas& c = bmp.Canvas();
  c.Save();
  c.SetOrigin({10, 10});
  c.IntersectClipRect(Rect(0, 0, 3, 3));
  c.Brush().SetColor(clRed);
  c.FillRect(Rect(-5, -5, 8, 8));
  c.Restore();
  EXPECT_EQ(bmp.GetPixel(10, 10), clRed);
  EXPECT_EQ(bmp.GetPixel(12, 12), clRed);
  EXPECT_EQ(bmp.GetPixel(13, 12), clWhite);
  EXPECT_EQ(bmp.GetPixel(9, 10), clWhite);
  EXPECT_EQ(c.Origin(), Point(0, 0));
  EXPECT_EQ(c.Brush().Color(), clWhite);
  c.Brush().SetColor(clBlue);
  c.FillRect(Rect(0, 0, 20, 1));  // clipping is gone after Restore
  EXPECT_EQ(bmp.GetPixel(19, 0), clBlue);
}

TEST_F(CanvasOnBitmap, EllipseAndPolygonFill) {
  TCanvas& c = bmp.Canvas();
  c.Pen().SetStyle(psClear);
  c.Brush().SetColor(clRed);
  c.Ellipse(0, 0, 20, 20);
  EXPECT_EQ(bmp.GetPixel(10, 10), clRed);
  EXPECT_EQ(bmp.GetPixel(0, 0), clWhite);
  c.Brush().SetColor(clBlue);
  c.Polygon({{0, 0}, {6, 0}, {0, 6}});
  EXPECT_EQ(bmp.GetPixel(1, 1), clBlue);
  EXPECT_EQ(bmp.GetPixel(5, 5), clRed);  // the ellipse below, not the triangle
}

// Measurements are kept by font and text: a second measurement gives the
// same, and a change of size, weight, face or text is measured anew.
TEST_F(CanvasOnBitmap, TextMeasuresFollowTheFont) {
  TCanvas& c = bmp.Canvas();
  c.Font().SetName("DejaVu Sans");
  c.Font().SetHeight(-12);
  const TSize small = c.TextExtent(std::string("Wide text"));
  const int32_t smallHeight = c.TextMetrics().Height;
  EXPECT_EQ(c.TextExtent(std::string("Wide text")), small);
  c.Font().SetHeight(-24);
  EXPECT_GT(c.TextExtent(std::string("Wide text")).cx, small.cx * 3 / 2);
  EXPECT_GT(c.TextMetrics().Height, smallHeight * 3 / 2);
  c.Font().SetHeight(-12);
  c.Font().SetStyle(TFontStyles{fsBold});
  EXPECT_GT(c.TextExtent(std::string("Wide text")).cx, small.cx);
  c.Font().SetStyle({});
  c.Font().SetName("DejaVu Sans Mono");
  EXPECT_NE(c.TextExtent(std::string("Wide text")).cx, small.cx);
  c.Font().SetName("DejaVu Sans");
  EXPECT_EQ(c.TextExtent(std::string("Wide text")), small);
  EXPECT_LT(c.TextExtent(std::string("Wide tex")).cx, small.cx);
}

TEST_F(CanvasOnBitmap, TextDrawsInFontColourAndMeasures) {
  TCanvas& c = bmp.Canvas();
  c.Font().SetColor(clBlack);
  c.Font().SetHeight(-14);
  c.Brush().SetStyle(bsClear);
  TSize s = c.TextExtent(std::string("W"));
  EXPECT_GT(s.cx, 4);
  EXPECT_GE(s.cy, 14);
  c.TextOut(2, 2, std::string("WW"));
  bool dark = false;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      if (GetRValue(bmp.GetPixel(x, y)) < 100) dark = true;
  EXPECT_TRUE(dark);
}

TEST_F(CanvasOnBitmap, DrawTextLayoutAndCalcRect) {
  TCanvas& c = bmp.Canvas();
  c.Font().SetHeight(-12);
  TRect r = Rect(0, 0, 1000, 0);
  int32_t h = c.DrawText(std::string("one\ntwo"), r, DT_CALCRECT);
  int32_t line = c.TextMetrics().Height;
  EXPECT_EQ(h, 2 * line);
  EXPECT_EQ(r.Bottom, 2 * line);
  EXPECT_EQ(r.Right, std::max(c.TextWidth("one"), c.TextWidth("two")));
  // A prefix ampersand vanishes, a doubled one stays single.
  TRect a = Rect(0, 0, 1000, 0), b = Rect(0, 0, 1000, 0);
  c.DrawText(std::string("&a&&b"), a, DT_CALCRECT | DT_SINGLELINE);
  c.DrawText(std::string("a&b"), b, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(a, b);
  // Word breaking wraps words that do not fit.
  TRect narrow = Rect(0, 0, c.TextWidth("alpha") + 2, 0);
  EXPECT_EQ(c.DrawText(std::string("alpha beta"), narrow, DT_CALCRECT | DT_WORDBREAK), 2 * line);
}

TEST(Bitmap, PixelFormatsKeepColoursAndScanLineLayout) {
  struct Case {
    TPixelFormat format;
    int bits;
    int stride;  // for width 5
  };
  for (Case cs : {Case{pf1bit, 1, 4}, Case{pf4bit, 4, 4}, Case{pf8bit, 8, 8}, Case{pf24bit, 24, 16},
                  Case{pf32bit, 32, 20}}) {
    SCOPED_TRACE(cs.bits);
    TBitmap b(5, 3, cs.format);
    EXPECT_EQ(b.BitsPerPixel(), cs.bits);
    EXPECT_EQ(b.BytesPerLine(), cs.stride);
    b.Canvas().Brush().SetColor(clWhite);
    b.Canvas().FillRect(Rect(0, 0, 5, 3));
    b.Canvas().Pen().SetColor(clBlack);
    b.Canvas().MoveTo(0, 1);
    b.Canvas().LineTo(5, 1);
    EXPECT_EQ(b.GetPixel(4, 0), clWhite);
    EXPECT_EQ(b.GetPixel(4, 1), clBlack);
    EXPECT_EQ(b.GetPixel(0, 2), clWhite);
    // The white row 0 is all set bits / palette index of white.
    const Byte* row0 = b.ScanLine(0);
    const Byte* row1 = b.ScanLine(1);
    if (cs.format == pf1bit) {
      EXPECT_EQ(row0[0] & 0xF8, 0xF8);
      EXPECT_EQ(row1[0] & 0xF8, 0x00);
    } else if (cs.format == pf24bit) {
      EXPECT_EQ(row0[0], 255);
      EXPECT_EQ(row1[3], 0);
    } else if (cs.format == pf32bit) {
      EXPECT_EQ(row0[4 * 4 + 2], 255);
    }
  }
}

TEST(Bitmap, DirectScanLineWritesAreSeenByTheCanvas) {
  TBitmap b(4, 2, pf32bit);
  Byte* row = b.ScanLine(1);
  row[0] = 0x30;  // B
  row[1] = 0x20;  // G
  row[2] = 0x10;  // R
  row[3] = 0xFF;
  EXPECT_EQ(b.Canvas().Pixel(0, 1), RGB(0x10, 0x20, 0x30));
  EXPECT_THROW(b.ScanLine(2), ERangeError);
  EXPECT_THROW(b.ScanLine(-1), ERangeError);
}

TEST(Bitmap, ResizeKeepsTopLeftAndConversionKeepsColours) {
  TBitmap b(3, 3, pf24bit);
  b.SetPixelColor(1, 1, clRed);
  b.SetSize(6, 2);
  EXPECT_EQ(b.GetPixel(1, 1), clRed);
  EXPECT_EQ(b.GetPixel(5, 1), clBlack);
  b.SetPixelFormat(pf8bit);
  EXPECT_EQ(b.GetPixel(1, 1), clRed);  // pure red is in the default palette
  b.SetPixelFormat(pf4bit);
  EXPECT_EQ(b.GetPixel(1, 1), clRed);
  EXPECT_THROW(TBitmap(100000, 100000, pf32bit), EOutOfMemory);
}

TEST(Bitmap, AlphaBlendUsesSourceAlpha) {
  TBitmap src(2, 1, pf32bit);
  Byte* p = src.ScanLine(0);
  // Pixel 0: opaque red; pixel 1: transparent red.
  p[0] = 0; p[1] = 0; p[2] = 255; p[3] = 255;
  p[4] = 0; p[5] = 0; p[6] = 255; p[7] = 0;
  TBitmap dst(2, 1, pf24bit);
  dst.Canvas().Brush().SetColor(clBlue);
  dst.Canvas().FillRect(Rect(0, 0, 2, 1));
  dst.Canvas().AlphaBlend(Rect(0, 0, 2, 1), src, Rect(0, 0, 2, 1), 255, true);
  EXPECT_EQ(dst.GetPixel(0, 0), clRed);
  EXPECT_EQ(dst.GetPixel(1, 0), clBlue);
  // Without source alpha both pixels cover the target.
  dst.Canvas().AlphaBlend(Rect(0, 0, 2, 1), src, Rect(0, 0, 2, 1), 255, false);
  EXPECT_EQ(dst.GetPixel(1, 0), clRed);
}

// A device that records calls: drawing code does not depend on its target.
class RecordingDevice : public TCanvasDevice {
 public:
  std::vector<std::string> calls;
  void FillRect(const TDeviceState&, const TRect& r) override { log("FillRect", r); }
  void Rectangle(const TDeviceState&, const TRect& r) override { log("Rectangle", r); }
  void RoundRect(const TDeviceState&, const TRect& r, int32_t, int32_t) override { log("RoundRect", r); }
  void Ellipse(const TDeviceState&, const TRect& r) override { log("Ellipse", r); }
  void Arc(const TDeviceState&, TArcKind, const TRect& r, TPoint, TPoint) override { log("Arc", r); }
  void Polyline(const TDeviceState& s, const std::vector<TPoint>& p) override {
    calls.push_back("Polyline " + std::to_string(p.front().X) + "," + std::to_string(p.front().Y) + "-" +
                    std::to_string(p.back().X) + "," + std::to_string(p.back().Y) + " pen " +
                    std::to_string(s.Pen.Color));
  }
  void Polygon(const TDeviceState& s, const std::vector<TPoint>&) override {
    calls.push_back(s.PolyFillMode == WINDING ? "Polygon winding" : "Polygon");
  }
  void PolyBezier(const TDeviceState&, const std::vector<TPoint>&) override { calls.push_back("PolyBezier"); }
  void MoveTo(const TDeviceState&, TPoint p) override {
    calls.push_back("MoveTo " + std::to_string(p.X) + "," + std::to_string(p.Y));
  }
  void LineTo(const TDeviceState& s, TPoint p) override {
    calls.push_back("LineTo " + std::to_string(p.X) + "," + std::to_string(p.Y) + " pen " +
                    std::to_string(s.Pen.Color));
  }
  void BeginPath() override { calls.push_back("BeginPath"); }
  void EndPath() override { calls.push_back("EndPath"); }
  void CloseFigure() override {}
  void FillPath(const TDeviceState&) override { calls.push_back("FillPath"); }
  void StrokePath(const TDeviceState&) override {}
  void StrokeAndFillPath(const TDeviceState&) override {}
  void TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect*, const UnicodeString& t,
               const int32_t* advances) override {
    std::string line = "TextOut " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(t.size());
    if (options & ETO_GLYPH_INDEX) line += " glyphs";
    if (s.TextAlign != TA_TOP) line += " align " + std::to_string(s.TextAlign);
    if (advances)
      for (size_t i = 0; i < t.size(); ++i) line += " " + std::to_string(advances[i]);
    calls.push_back(line);
  }
  TSize TextExtent(const TFontData&, const UnicodeString& t) override { return {static_cast<int32_t>(t.size()) * 5, 10}; }
  TTextMetrics TextMetrics(const TFontData&) override { return {8, 2, 10, 0, 0, 5}; }
  void DrawBitmap(const TDeviceState& s, const TRect& d, const TBitmap&, const TRect&, const TBlendMode&) override {
    log("DrawBitmap", d);
    if (s.StretchMode == HALFTONE) calls.back() += " halftone";
  }
  TColor GetPixel(int32_t, int32_t) override { return clNone; }
  void SetPixel(int32_t, int32_t, TColor) override {}
  void SetClipRect(const TRect*) override {}
  void IntersectClipRect(const TRect&) override {}
  void SaveState() override {}
  void RestoreState() override {}
  int32_t PixelsPerInch() const override { return 96; }

 private:
  void log(const char* what, const TRect& r) {
    calls.push_back(std::string(what) + " " + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," +
                    std::to_string(r.Right) + "," + std::to_string(r.Bottom));
  }
};

TEST(Canvas, DrawsThroughAnyDeviceWithOriginApplied) {
  RecordingDevice dev;
  TCanvas c(&dev);
  c.SetOrigin({100, 200});
  c.Pen().SetColor(clRed);
  c.MoveTo(1, 2);
  c.LineTo(3, 4);
  c.Rectangle(0, 0, 10, 10);
  TRect r = Rect(0, 0, 50, 30);
  c.DrawText(std::string("ab"), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ASSERT_EQ(dev.calls.size(), 4u);
  EXPECT_EQ(dev.calls[0], "MoveTo 101,202");
  EXPECT_EQ(dev.calls[1], "LineTo 103,204 pen 255");
  EXPECT_EQ(dev.calls[2], "Rectangle 100,200,110,210");
  EXPECT_EQ(dev.calls[3], "TextOut 120,210 2");  // (50-10)/2, (30-10)/2
}

// A canvas that counts its change hook, as a derived canvas re-bases its
// objects there.
class HookedCanvas : public TCanvas {
 public:
  using TCanvas::TCanvas;
  int changes = 0;

 protected:
  void Changing() override { ++changes; }
};

TEST(Canvas, SettingsPenPositionAndChangeHookReachTheDevice) {
  RecordingDevice dev;
  HookedCanvas c(&dev);
  c.LineTo(5, 5);  // the device learns the pen position first
  c.Polyline({{0, 0}, {7, 8}});
  c.LineTo(9, 9);  // the polyline moved the pen without the device
  c.LineTo(10, 10);
  c.SetPolyFillMode(WINDING);
  c.Polygon({{0, 0}, {1, 0}, {1, 1}});
  c.SetTextAlign(TA_BASELINE);
  const int32_t adv[3] = {4, 5, 6};
  c.ExtTextOut(1, 2, ETO_GLYPH_INDEX, nullptr, u"abc", adv);
  c.SetStretchBltMode(HALFTONE);
  TBitmap b(2, 2);
  c.StretchDraw(Rect(0, 0, 4, 4), b);
  c.TextExtent(std::string("x"));
  std::vector<std::string> want = {"MoveTo 0,0",       "LineTo 5,5 pen 0",  "Polyline 0,0-7,8 pen 0",
                                   "MoveTo 7,8",       "LineTo 9,9 pen 0",  "LineTo 10,10 pen 0",
                                   "Polygon winding",  "TextOut 1,2 3 glyphs align 24 4 5 6",
                                   "DrawBitmap 0,0,4,4 halftone"};
  EXPECT_EQ(dev.calls, want);
  EXPECT_EQ(c.changes, 8);  // every call above but the pen moves the canvas made itself
}

// TextOut leaves the pen behind the text, measured in the font the text was
// drawn in, whenever the position is read or a line starts from it.
TEST(Canvas, TextOutLeavesThePenBehindTheText) {
  RecordingDevice dev;
  TCanvas c(&dev);
  c.TextOut(3, 4, UnicodeString(u"abcd"));
  c.LineTo(50, 4);
  EXPECT_EQ(dev.calls, (std::vector<std::string>{"TextOut 3,4 4", "MoveTo 23,4", "LineTo 50,4 pen 0"}));
  c.TextOut(1, 1, UnicodeString(u"ab"));
  c.MoveTo(7, 7);  // a move replaces the position the text left
  EXPECT_EQ(c.PenPos(), Point(7, 7));

  TBitmap bmp(200, 40, pf32bit);
  TCanvas& b = bmp.Canvas();
  b.Font().SetHeight(-14);
  const int32_t wide = b.TextExtent(std::string("WWW")).cx;
  b.TextOut(5, 2, std::string("WWW"));
  b.Font().SetHeight(-30);  // after the text: does not change where it ended
  EXPECT_EQ(b.PenPos(), Point(5 + wide, 2));
  EXPECT_GT(wide, 20);
}

TEST(Canvas, QtDeviceHonoursAdvancesAlignmentAndFillMode) {
  QImage img(60, 40, QImage::Format_ARGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    TQtPainterDevice dev(&p);
    TCanvas c(&dev);
    c.Brush().SetStyle(bsClear);
    c.Font().SetColor(clBlack);
    c.Font().SetHeight(-12);
    // "II" with a 40-pixel gap between the two letters.
    const int32_t adv[2] = {40, 5};
    c.ExtTextOut(2, 2, 0, nullptr, u"II", adv);
    // A star drawn with the winding rule has a filled centre.
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clRed);
    c.Pen().SetStyle(psClear);
    c.SetPolyFillMode(WINDING);
    c.Polygon({{10, 39}, {20, 20}, {30, 39}, {5, 26}, {35, 26}});
  }
  auto dark = [&](int x0, int x1) {
    for (int x = x0; x < x1; ++x)
      for (int y = 0; y < 18; ++y)
        if (qGray(img.pixel(x, y)) < 128) return true;
    return false;
  };
  EXPECT_TRUE(dark(0, 10));
  EXPECT_FALSE(dark(12, 40));
  EXPECT_TRUE(dark(40, 52));
  EXPECT_EQ(QColor(img.pixel(20, 29)), QColor(Qt::red));
}

TEST(Picture, UnknownExtensionAndBadContent) {
  TPicture p;
  try {
    p.LoadFromBytes("xyz", {1, 2, 3});
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_THROW(p.LoadFromBytes("bmp", {1, 2, 3}), EInvalidGraphic);
  int made = 0;
  TPicture::RegisterFileFormat("XYZ", "test", [&made] {
    ++made;
    return std::make_unique<TBitmapGraphic>();
  });
  EXPECT_THROW(p.LoadFromBytes(".xyz", {1}), EInvalidGraphic);
  EXPECT_EQ(made, 1);
  TPicture::UnregisterFileFormat("xyz");
}

// A BMP loads only with every pixel row in the file: Qt would show the
// rows a cut-short file lacks as black.
TEST(Picture, BmpRowsMustBeWhole) {
  struct Case {
    const char* name;
    QImage image;
  } cases[] = {{"24 bit", QImage(7, 5, QImage::Format_RGB32)},
               {"8 bit", QImage(7, 5, QImage::Format_Indexed8)},
               {"1 bit", QImage(9, 5, QImage::Format_Mono)}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.image.format() == QImage::Format_RGB32) {
      c.image.fill(Qt::white);
    } else {
      c.image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
      c.image.fill(1);
    }
    QByteArray bytes;
    {
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      ASSERT_TRUE(c.image.save(&buffer, "BMP"));
    }
    const TBytes whole(bytes.begin(), bytes.end());
    TBitmapGraphic g;
    g.LoadFromBytes(whole);
    EXPECT_EQ(g.bitmap.Height(), 5);
    EXPECT_EQ(g.bitmap.GetPixel(0, 4), clWhite);
    for (size_t cut : {size_t{1}, size_t{4}, whole.size() / 3}) {
      TBitmapGraphic shortOne;
      EXPECT_THROW(shortOne.LoadFromBytes(TBytes(whole.begin(), whole.end() - static_cast<ptrdiff_t>(cut))),
                   EInvalidGraphic)
          << cut;
    }
  }
}

}  // namespace
}  // namespace px
