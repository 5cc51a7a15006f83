// The recording canvas: what drawing calls and hand-made records turn into as
// page content.
#include <gtest/gtest.h>

#include <functional>

#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/gui/UnitPDFCanvas.h"
#include "pdf/gui/UnitPDFFont.h"
#include "pdf/gui/UnitPDFImage.h"
#include "platform/core/Debug.h"
#include "support/Numbers.h"

namespace px {
namespace {

constexpr int32_t kPage = 72000;  // ten inches

// A canvas with the collections a producer would give it.
struct Page {
  TPDFWriter writer;
  TPDFFontCollection fonts{&writer};
  TPDFImageCollection images{&writer};
  TPDFDictionary resources;
  TPDFCanvas canvas;
  int32_t layers = 0;
  std::vector<int32_t> layerHooks;

  explicit Page(bool printer = true, int32_t w = kPage, int32_t h = kPage) {
    canvas.UsePrinterReference = printer;
    canvas.StartPage(w, h);
    canvas.FontCollection = &fonts;
    canvas.ImageCollection = &images;
    canvas.PageResources = &resources;
    canvas.OnLayerCount = [this] { return layers; };
    canvas.OnAddLayerToResource = [this](int32_t n) { layerHooks.push_back(n); };
  }
  std::string Content() {
    canvas.FinishRecording();
    TPDFBuffer out;
    TPDFBufferStream s(out);
    canvas.WriteContent(s);
    return std::string(out.begin(), out.end());
  }
};

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct ContentCase {
  const char* name;
  bool printer;
  std::function<void(TCanvas&)> draw;
  std::string expected;
};

TEST(PDFCanvas, ContentOfShapes) {
  const std::vector<ContentCase> cases = {
      {"fill colour cached, alternate fill", true,
       [](TCanvas& c) {
         c.Pen().SetStyle(psClear);
         c.Brush().SetColor(clRed);
         c.Rectangle(0, 0, 600, 600);
         c.Rectangle(600, 600, 1200, 1200);
       },
       "1 0 0 rg\n0 648 72 72 re f*\n72 576 72 72 re f*\n"},
      {"grey as one component", true,
       [](TCanvas& c) {
         c.Pen().SetStyle(psClear);
         c.Brush().SetColor(RGB(128, 128, 128));
         c.FillRect(Rect(0, 0, 6, 6));
         c.Brush().SetColor(clWhite);
         c.FillRect(Rect(0, 0, 6, 6));
       },
       "0.502 g\n0 719.28 0.72 0.72 re f*\n1 g\n0 719.28 0.72 0.72 re f*\n"},
      {"zero-width pen written once", true,
       [](TCanvas& c) {
         c.Pen().SetWidth(0);
         c.MoveTo(0, 0);
         c.LineTo(600, 0);
         c.LineTo(600, 600);
       },
       "0 G\n0 w\n0 720 m\n72 720 l S\n72 720 m\n72 648 l S\n"},
      {"polygon b*, polyline S", true,
       [](TCanvas& c) {
         c.Brush().SetColor(clBlue);
         c.Polygon({{0, 0}, {600, 0}, {0, 600}});
         c.Polyline({{0, 0}, {600, 0}, {0, 600}});
       },
       "0 G\n0.12 w\n0 0 1 rg\n0 720 m\n72 720 l\n0 648 l\nb*\n0 720 m\n72 720 l\n0 648 l\nS\n"},
      {"winding fill", true,
       [](TCanvas& c) {
         c.Pen().SetStyle(psClear);
         c.SetPolyFillMode(WINDING);
         c.Polygon({{0, 0}, {600, 0}, {0, 600}});
       },
       "1 g\n0 720 m\n72 720 l\n0 648 l\nf\n"},
      {"path bracket", true,
       [](TCanvas& c) {
         c.Brush().SetColor(clLime);
         c.BeginPath();
         c.Rectangle(0, 0, 600, 600);
         c.MoveTo(0, 0);
         c.LineTo(600, 600);
         c.CloseFigure();
         c.EndPath();
         c.FillPath();
       },
       // The colour goes before the path: no state changes inside a path.
       "0 1 0 rg\n0 648 72 72 re\n0 720 m\n72 648 l\nh\nf*\n"},
      {"odd ellipse centre truncated", false,
       [](TCanvas& c) {
         c.Brush().SetStyle(bsClear);
         c.Ellipse(0, 0, 1, 2);
       },
       // Box 0..75 by 72000..71850 page units: centre (37, 71925), radii 38 and 75.
       "0 G\n0.75 w\n0.37 720 m\n0.16 720 -0.01 719.66 -0.01 719.25 c\n-0.01 718.84 0.16 718.5 0.37 718.5 c\n"
       "0.58 718.5 0.75 718.84 0.75 719.25 c\n0.75 719.66 0.58 720 0.37 720 c s\n"},
      {"quarter arc", true,
       [](TCanvas& c) { c.Arc(Rect(0, 0, 1200, 1200), TPoint{1200, 600}, TPoint{600, 0}); },
       "0 G\n0.12 w\n144 648 m\n144 687.76 111.76 720 72 720 c\nS\n"},
      {"pie closes through the centre", true,
       [](TCanvas& c) {
         c.Brush().SetStyle(bsClear);
         c.Pie(Rect(0, 0, 1200, 1200), TPoint{1200, 600}, TPoint{600, 0});
       },
       "0 G\n0.12 w\n72 648 m\n144 648 l\n144 687.76 111.76 720 72 720 c\ns\n"},
  };
  for (const auto& tc : cases) {
    Page p(tc.printer);
    p.canvas.Font().SetName("Liberation Sans");
    tc.draw(p.canvas);
    EXPECT_EQ(p.Content(), tc.expected) << tc.name;
  }
}

TEST(PDFCanvas, TextObjects) {
  struct TextCase {
    const char* name;
    std::function<void(TCanvas&)> draw;
    std::vector<std::string> contains;
  };
  const std::vector<TextCase> cases = {
      {"12 pt at 600 dpi", [](TCanvas& c) { c.TextOut(0, 0, std::string("Hello")); }, {"/F2 12 Tf\n", "(Hello)Tj\n"}},
      {"two texts in one BT, Tf and TJ",
       [](TCanvas& c) {
         c.TextOut(0, 0, std::string("ab"));
         c.TextOut(600, 0, std::string("cd"));
       },
       {"BT\n", "/F2 12 Tf\n", "[(ab)-"}},
      {"escapement 900",
       [](TCanvas& c) {
         c.Font().SetOrientation(900);
         c.TextOut(0, 0, std::string("up"));
       },
       {"q\n0 1 -1 0 0 0 cm\n", "(up)Tj\nET\nQ\n"}},
      {"opaque background first",
       [](TCanvas& c) {
         c.Brush().SetStyle(bsSolid);
         c.Brush().SetColor(clYellow);
         TRect r = Rect(0, 0, 100, 100);
         c.ExtTextOut(0, 0, ETO_OPAQUE, &r, u"x");
       },
       {"1 1 0 rg\n0 ", "re f\n0 g\nBT\n"}},
      {"euro sign needs the composite font",
       [](TCanvas& c) { c.TextOut(0, 0, UnicodeString(u"\u20AC 1")); },
       {"/F2 12 Tf\n", ">Tj\n"}},
  };
  for (const auto& tc : cases) {
    Page p;
    p.canvas.Font().SetName("Liberation Sans");
    p.canvas.Font().SetSize(12);
    p.canvas.Brush().SetStyle(bsClear);
    tc.draw(p.canvas);
    std::string content = p.Content();
    for (const auto& part : tc.contains) EXPECT_NE(content.find(part), std::string::npos) << tc.name << "\n" << content;
    EXPECT_EQ(count(content, "BT\n"), 1u) << tc.name << "\n" << content;
    EXPECT_EQ(count(content, "Tf\n"), 1u) << tc.name << "\n" << content;
  }
}

// A face name with a subset tag comes from a PDF document: the base-font
// name after the tag goes through the font mapper.
TEST(PDFCanvas, TaggedFaceNamesGoThroughTheFontMapper) {
  struct TaggedCase {
    const char* face;
    const char* family;
    const char* style;
  };
  for (const TaggedCase& c : {TaggedCase{"ABCDEF+Helvetica-Bold", "Liberation Sans", "Bold"},
                              TaggedCase{"ABCDEF+Times-Roman", "Liberation Serif", "Regular"},
                              TaggedCase{"QWERTY+Courier-Oblique", "Liberation Mono", "Italic"}}) {
    Page p;
    p.canvas.Font().SetName(c.face);
    p.canvas.Font().SetSize(12);
    p.canvas.TextOut(0, 0, std::string("x"));
    p.Content();
    ASSERT_EQ(p.fonts.Count(), 1) << c.face;
    const TFontFacePtr& face = p.fonts.Font(0)->Information().Face();
    ASSERT_TRUE(face) << c.face;
    EXPECT_EQ(face->Family, c.family) << c.face;
    EXPECT_EQ(face->Style, c.style) << c.face;
    // Texts are measured in the face they are written in.
    TLogFontW tagged, written = LogFontForFace(*face);
    SetLogFontFaceName(tagged, c.face);
    tagged.lfHeight = written.lfHeight = -100;
    EXPECT_EQ(PDFTextAdvances(tagged, u"Times", false), PDFTextAdvances(written, u"Times", false)) << c.face;
  }
}

// Colours and rotations are fractions; the user's locale must not turn their
// points into commas, which no reader takes.
TEST(PDFCanvas, FractionsKeepTheirPointUnderACommaLocale) {
  test::CommaLocale comma;
  Page p;
  p.canvas.Font().SetName("Liberation Sans");
  p.canvas.Pen().SetStyle(psClear);
  p.canvas.Brush().SetColor(RGB(128, 128, 128));
  p.canvas.FillRect(Rect(0, 0, 6, 6));
  p.canvas.Brush().SetStyle(bsClear);
  p.canvas.Font().SetColor(RGB(0, 0, 128));
  p.canvas.Font().SetOrientation(450);
  p.canvas.TextOut(600, 600, std::string("tilted"));
  const std::string content = p.Content();
  for (const char* part : {"0.502 g\n", "0 0 0.502 rg\n", "0.7071 0.7071 -0.7071 0.7071 0 0 cm\n"})
    EXPECT_NE(content.find(part), std::string::npos) << part << " in\n" << content;
  EXPECT_EQ(content.find(','), std::string::npos) << content;
}

TEST(PDFCanvas, RawContentAndLayersEndTheTextObject) {
  Page p;
  p.layers = 2;
  p.canvas.Brush().SetStyle(bsClear);
  p.canvas.TextOut(0, 0, std::string("a"));
  p.canvas.InsertRawContent("% raw\n");
  p.canvas.TextOut(0, 0, std::string("b"));
  p.canvas.SetLayer(1);
  p.canvas.TextOut(0, 0, std::string("c"));
  std::string content = p.Content();
  const size_t a = content.find("(a)Tj\nET\n% raw\nBT\n");
  const size_t b = content.find("(b)Tj\nET\n/OC /O1 BDC\nBT\n");
  const size_t c = content.find("(c)Tj\nET\nEMC\n");
  EXPECT_NE(a, std::string::npos) << content;
  EXPECT_NE(b, std::string::npos) << content;
  EXPECT_NE(c, std::string::npos) << content;
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_EQ(p.layerHooks, std::vector<int32_t>{1});
}

TEST(PDFCanvas, Misuse) {
  Page p;
  p.layers = 1;
  try {
    p.canvas.SetLayer(1);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid Layer value.");
  }
  EXPECT_THROW(p.canvas.SetLayer(-2), Exception);
  TPDFBuffer out;
  TPDFBufferStream s(out);
  try {
    p.canvas.WriteContent(s);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot collect metadata when not finalized.");
  }
  p.canvas.FinishRecording();
  try {
    p.canvas.SetLayer(0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot set layer when finalizing PDF page recording.");
  }
  // A page without size records nothing.
  Page empty(true, 0, kPage);
  empty.canvas.Rectangle(0, 0, 10, 10);
  EXPECT_TRUE(empty.canvas.Records().empty());
  EXPECT_EQ(empty.Content(), "");
}

TPDFRecord rec(int32_t type, std::vector<int32_t> values = {}, std::vector<TPoint> points = {}, uint32_t handle = 0) {
  TPDFRecord r;
  r.Type = type;
  r.Values = std::move(values);
  r.Points = std::move(points);
  r.Handle = handle;
  return r;
}

TEST(PDFCanvas, HandMadeRecords) {
  using namespace pdfrec;
  struct RecordCase {
    const char* name;
    std::vector<TPDFRecord> records;
    std::string expected;
  };
  std::vector<RecordCase> cases = {
      {"low English: 0.01 inch, y up",
       {rec(SetMapMode, {4}), rec(SelectObject, {}, {}, StockFlag | 4), rec(SelectObject, {}, {}, StockFlag | 8),
        rec(Rectangle, {}, {{0, 0}, {100, -100}})},
       "0 g\n0 648 72 72 re f*\n"},
      {"twips and a stock white pen",
       {rec(SetMapMode, {6}), rec(SelectObject, {}, {}, StockFlag | 6), rec(MoveTo, {}, {{0, 0}}),
        rec(LineTo, {}, {{1440, 0}})},
       "1 G\n0.05 w\n0 720 m\n72 720 l S\n"},
      {"a deleted pen strokes nothing",
       {rec(Header, {3}), rec(CreatePen, {0, 1, 1, 0xFF}, {}, 1), rec(SelectObject, {}, {}, 1),
        rec(DeleteObject, {}, {}, 1), rec(MoveTo, {}, {{0, 0}}), rec(LineTo, {}, {{600, 0}})},
       ""},
      {"save and restore bring the pen back",
       {rec(Header, {3}), rec(CreatePen, {0, 2, 2, 0xFF}, {}, 1), rec(SelectObject, {}, {}, 1), rec(SaveState),
        rec(SelectObject, {}, {}, StockFlag | 8), rec(RestoreState, {-1}), rec(LineTo, {}, {{600, 0}})},
       "1 0 0 RG\n0.24 w\n0 720 m\n72 720 l S\n"},
      {"unsupported records are skipped", {rec(GradientFill), rec(PolyDraw), rec(99)}, ""},
  };
  TPDFRecord shift = rec(SetWorldTransform);
  shift.Transform = {1, 0, 0, 1, 600, 0};
  cases.push_back({"world transform moves points",
                   {shift, rec(SelectObject, {}, {}, StockFlag | 7), rec(MoveTo, {}, {{0, 0}}),
                    rec(LineTo, {}, {{600, 0}})},
                   "0 G\n0.12 w\n72 720 m\n144 720 l S\n"});
  for (auto& tc : cases) {
    Page p;
    p.canvas.EnsureRecording();
    for (auto& r : tc.records) p.canvas.Records().push_back(r);
    TDebugCapture debug;
    EXPECT_EQ(p.Content(), tc.expected) << tc.name;
  }
  Page bad;
  bad.canvas.EnsureRecording();
  bad.canvas.Records().push_back(rec(SetMapMode, {7}));
  bad.canvas.Records().push_back(rec(MoveTo, {}, {{0, 0}}));
  try {
    bad.Content();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Mapmode not supported!");
  }
  Page stock;
  stock.canvas.EnsureRecording();
  stock.canvas.Records().push_back(rec(SelectObject, {}, {}, StockFlag | 20));
  EXPECT_THROW(stock.Content(), EAssertionFailed);
}

}  // namespace
}  // namespace px
