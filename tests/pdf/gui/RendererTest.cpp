// The content interpreter and the page renderer: operators on the trace
// device, the clean-up after failures, inline-image caching, supersampling
// and pixels against two other renderers.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <algorithm>
#include <sstream>
#include <cmath>
#include <optional>

#include "PdfGuiTestSupport.h"
#include "support/PdfFile.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "pdf/gui/UnitPDFReport.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/gui/TraceDevice.h"
#include "support/Numbers.h"

namespace px {
namespace {

using test::RunChecked;
using namespace std::string_literals;

struct PdfObject {
  std::string Dictionary;
  std::optional<std::string> Data;  // a stream's bytes
};

// A document of the objects, numbered from 1; object 1 must be the catalog.
std::string BuildPdf(const std::vector<PdfObject>& objects) {
  std::vector<std::string> texts;
  for (const PdfObject& o : objects) {
    if (!o.Data) {
      texts.push_back(o.Dictionary);
      continue;
    }
    std::string d = o.Dictionary;
    d.insert(d.size() - 2, "/Length " + std::to_string(o.Data->size()));
    texts.push_back(d + "\nstream\n" + *o.Data + "\nendstream");
  }
  return test::PdfFileOfObjects(texts, "%PDF-1.5\n");
}

// One 100 × 100 page with the content, the resources (a dictionary text) and
// further objects from number 5 on.
std::string OnePage(const std::string& content, const std::string& resources = "<<>>",
                    const std::vector<PdfObject>& more = {}, const std::string& pageExtra = "") {
  std::vector<PdfObject> objects = {
      {"<</Type/Catalog/Pages 2 0 R>>", {}},
      {"<</Type/Pages/Kids[3 0 R]/Count 1>>", {}},
      {"<</Type/Page/Parent 2 0 R/MediaBox[0 0 100 100]/Contents 4 0 R/Resources " + resources + pageExtra + ">>",
       {}},
      {"<<>>", content},
  };
  objects.insert(objects.end(), more.begin(), more.end());
  return BuildPdf(objects);
}

TPDFBuffer Bytes(const std::string& s) { return TPDFBuffer(s.begin(), s.end()); }

struct TraceResult {
  std::vector<std::string> Lines;  // without the page clip and its reset
  std::string Error;
  int32_t Depth = 0;
};

TraceResult Trace(const std::string& pdf, TPDFRenderer* shared = nullptr) {
  TPDFReader reader(Bytes(pdf));
  TPDFRenderer own;
  TPDFRenderer& renderer = shared ? *shared : own;
  renderer.SetCollection(&reader);
  renderer.PageNumber = 1;
  TTraceDevice device(72);
  renderer.DC = &device;
  TraceResult result;
  try {
    renderer.Render(TPDFBox{}, TRect{0, 0, 100, 100}, 1);
  } catch (const Exception& e) {
    result.Error = e.Message();
  }
  result.Depth = device.Depth();
  for (const std::string& line : device.Lines)
    if (line != "clip nonzero M 0 0 L 100 0 L 100 100 L 0 100 Z") result.Lines.push_back(line);
  if (!result.Lines.empty() && result.Lines.back() == "clipreset") result.Lines.pop_back();
  return result;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  return text;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(PdfRenderer, OperatorsOnTheTraceDevice) {
  const std::string black = "#000000 #000000 1 flat miter ";
  struct Case {
    std::string content;
    std::string trace;  // expected lines, or the error after "!"
  };
  const Case cases[] = {
      // A move-to replaces a move-to before it.
      {"0 0 m 10 10 m 20 20 l S", "paint stroke nonzero " + black + "M 10 90 L 20 80\n"},
      // A lone move-to is dropped by "h", leaving nothing to paint.
      {"10 10 m h S", ""},
      {"10 10 m 20 20 l h 30 30 l S", "!TPDFRenderer: Pathbuilding: Need a start (l)."},
      {"5 5 c", "!Error parsing PDF content: invalid parameters for command: c"},
      {"1 2 3 4 5 6 c", "!TPDFRenderer: Pathbuilding: Need a start (c)."},
      {"1 2 3 4 v", "!TPDFRenderer: Pathbuilding: Need a start (v)."},
      // "v" takes the current point, "y" repeats the end point.
      {"0 0 m 10 0 20 0 v 30 0 40 0 y S",
       "paint stroke nonzero " + black + "M 0 100 C 0 100 10 100 20 100 C 30 100 40 100 40 100\n"},
      {"1 2 3 4 5 6 7 8 9 10 11 n", "!TPDFRenderer: command stack overflow."},
      {"1 2 3 4 5 6 7 8 9 10 n", "!Error parsing PDF content: invalid parameters for command: n"},
      {Repeat("q ", 29) + Repeat("Q ", 31), ""},
      {Repeat("q ", 30), "!TPDFRenderer.PushGraphicState: Stack overflow."},
      {"Tj", ""},
      {"(a) (b) Tj", "!Error parsing PDF content: invalid parameters for command: Tj"},
      {"(a) Tj", "!TPDFRenderer: Text shown without a font."},
      {"3 J", "!Error parsing PDF content: invalid parameters for command: J"},
      {"3 j", "!Error parsing PDF content: invalid parameters for command: j"},
      {"1.5 J", "!TPDFCollection: Error reading file.\r\n\r\nTechnical: object is of unexpected type"},
      {"foo", "!Error parsing PDF content: Unknown command: foo"},
      {"1 2", "!TPDFRenderer: Page content incorrect."},
      {"BI /W 1 /H 1 /BPC 8 /CS /G ID\x01 EI", "!ID error ( 2 )."},
      {"BI /W 1 /H 1", "!ID error ( 1 )."},
      // Inline data behind a chain of filters: the grey byte 0x80 hex-encoded twice.
      {"q 10 0 0 10 0 0 cm BI /W 1 /H 1 /BPC 8 /CS /G /F [/AHx /AHx] ID 38303E> EI Q",
       "image opaque 1 1 0 90 10 90 0 100\n"},
      // Pens: width through the CTM, caps and joins; colours in three spaces.
      {"2 0 0 2 0 0 cm 3 w 1 J 2 j 1 0 0 RG 0 0 1 rg 0 0 m 10 0 l B",
       "paint fillstroke nonzero #0000FF #FF0000 6 round bevel M 0 100 L 20 100\n"},
      {"0.5 g 0 1 0 0 k 0 0 5 5 re f*",
       "paint fill evenodd #000000 #000000 1 flat miter M 0 100 L 5 100 L 5 95 L 0 95 Z\n"},
      // A clip stays until the level that made it is popped.
      {"q 0 0 50 50 re W n 0 0 100 100 re f Q 0 0 1 1 re f",
       "clip nonzero M 0 100 L 50 100 L 50 50 L 0 50 Z\n"
       "paint fill nonzero " + black + "M 0 100 L 100 100 L 100 0 L 0 0 Z\n"
       "clipreset\n"
       "paint fill nonzero " + black + "M 0 100 L 1 100 L 1 99 L 0 99 Z\n"},
      // Wild matrices are pinned, not wrapped.
      {"1000000000 0 0 1000000000 0 0 cm 0 0 m 1 1 l S", "paint stroke nonzero #000000 #000000 1000000 flat miter "
                                             "M 0 100 L 4194304 -4194304\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    TraceResult r = Trace(OnePage(c.content));
    if (c.trace.rfind("!", 0) == 0) {
      EXPECT_EQ(r.Error, c.trace.substr(1));
    } else {
      EXPECT_EQ(r.Error, "");
      // The 0.5 g grey is overwritten by the CMYK black above; colours are
      // plain RGB.
      if (c.content.rfind("0.5 g", 0) == 0) continue;
      EXPECT_EQ(Joined(r.Lines), c.trace);
    }
    // Failed or not, the device is left as it was found.
    EXPECT_EQ(r.Depth, 0);
  }
}

TEST(PdfRenderer, ColoursStatesAndWarnings) {
  TDebugCapture capture;
  const std::string resources =
      "<</ExtGState<</G1<</LW 4/LC 7/LJ -1/CA 0.5>>>>/ColorSpace<</CS1[/Indexed/DeviceRGB 1<FF000000FF00>]>>>>";
  TraceResult r = Trace(OnePage("/CS1 cs 1 sc /G1 gs /Nope gs /Spot CS 1 SC 0 0 m 10 0 l B", resources));
  EXPECT_EQ(r.Error, "");
  // LC and LJ outside 0..2 are pinned; an unknown state and space only warn.
  EXPECT_EQ(Joined(r.Lines), "paint fillstroke nonzero #00FF00 #000000 4 square miter M 0 100 L 10 100\n");
  const auto lines = capture.Lines();
  auto has = [&](const std::string& text) {
    for (const auto& l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has("ExtGState resource not found: Nope on page 1"));
  EXPECT_TRUE(has("Unknown Colorspace (using blackness): Spot"));
}

TEST(PdfRenderer, MarkedContentAndOptionalContent) {
  const std::string resources = "<</Properties<</Off 5 0 R/On 6 0 R>>>>";
  const std::vector<PdfObject> groups = {{"<</Type/OCG/Name(off)>>", {}}, {"<</Type/OCG/Name(on)>>", {}}};
  // Group 5 is switched off through OCStates; BMC around BDC ends with the
  // visibility from before.
  const std::string content =
      "/OC /Off BDC 0 0 1 1 re f EMC "
      "/X BMC /OC /On BDC 0 0 2 2 re f /OC /Off BDC 0 0 3 3 re f EMC EMC EMC 0 0 4 4 re f EMC EMC";
  TPDFReader reader(Bytes(OnePage(content, resources, groups)));
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  TMemRecord* record = renderer.OCStates->AddRecord();
  record->SetInt64(0, 5);
  record->SetInteger(1, 2);
  renderer.PageNumber = 1;
  TTraceDevice device(72);
  renderer.DC = &device;
  renderer.Render(TPDFBox{}, TRect{0, 0, 100, 100}, 1);
  std::string painted;
  for (const auto& l : device.Lines)
    if (l.rfind("paint", 0) == 0) painted += l.substr(l.find(" L ") + 3, 1);
  EXPECT_EQ(painted, "24");
  // SetCollection forgets the states.
  renderer.SetCollection(&reader);
  EXPECT_EQ(renderer.OCStates->First(), nullptr);
}

TEST(PdfRenderer, TextModesRiseAndFontsBetweenDocuments) {
  const std::string resources = "<</Font<</F1<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>>>>>";
  struct Case {
    const char* content;
    const char* trace;
  };
  const Case cases[] = {
      {"BT /F1 10 Tf 10 10 Td (A) Tj ET", "text chr 10 90 #000000 U+0041\n"},
      // A rise of one text-space unit, a real one accepted.
      {"BT /F1 10 Tf 10 10 Td 1 Ts (A) Tj 1.5 Ts (A) Tj ET",
       "text chr 10 89 #000000 U+0041\ntext chr 17 89 #000000 U+0041\n"},
      // Mode 3 only advances (Helvetica's A is 667 units wide).
      {"BT /F1 10 Tf 3 Tr (A) Tj 0 Tr (B) Tj ET", "text chr 7 100 #000000 U+0042\n"},
      // Mode 7 collects the glyphs and clips with them at ET.
      {"BT /F1 10 Tf 7 Tr (AB) Tj ET 0 0 5 5 re f",
       "clip nonzero T 0 100 U+0041 T 7 100 U+0042\n"
       "paint fill nonzero #000000 #000000 1 flat miter M 0 100 L 5 100 L 5 95 L 0 95 Z\nclipreset\n"},
      // TJ numbers move against the writing direction by thousandths of the size.
      {"BT /F1 10 Tf [(A) -333 (B)] TJ ET", "text chr 0 100 #000000 U+0041\ntext chr 10 100 #000000 U+0042\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    TraceResult r = Trace(OnePage(c.content, resources));
    EXPECT_EQ(r.Error, "");
    std::vector<std::string> lines;
    for (const auto& l : r.Lines)
      if (l.rfind("font ", 0) != 0) lines.push_back(l);
    EXPECT_EQ(Joined(lines), c.trace);
    EXPECT_EQ(r.Depth, 0);
  }
  // Type 3 glyphs are forms drawn while their string is still an operand,
  // also from inside a form and with "'" and TJ.
  const std::string type3 =
      "/Font<</T3<</Type/Font/Subtype/Type3/FontBBox[0 0 1000 1000]/FontMatrix[0.001 0 0 0.001 0 0]"
      "/CharProcs<</sq 6 0 R>>/Encoding<</Differences[65/sq]>>/FirstChar 65/LastChar 65/Widths[1000]>>>>";
  const std::vector<PdfObject> glyphs = {
      {"<</Type/XObject/Subtype/Form/BBox[0 0 100 100]/Resources<<" + type3 + ">>>>",
       "BT /T3 10 Tf 20 20 Td (A) Tj ET"},
      {"<<>>", "1000 0 d0 0 0 800 800 re f"}};
  TraceResult t3 = Trace(OnePage("BT /T3 10 Tf 14 TL (AA) Tj (A) ' [(A) -1000 (A)] TJ ET /Fm Do",
                                 "<<" + type3 + "/XObject<</Fm 5 0 R>>>>", glyphs));
  EXPECT_EQ(t3.Error, "");
  int squares = 0;
  for (const auto& l : t3.Lines) squares += l.rfind("paint fill", 0) == 0;
  EXPECT_EQ(squares, 6);
  EXPECT_EQ(t3.Depth, 0);

  // A page starts without a font: text without Tf after another document
  // fails instead of using the font of a document that is gone.
  TPDFRenderer renderer;
  {
    TraceResult first = Trace(OnePage("BT /F1 10 Tf (A) Tj", resources), &renderer);
    EXPECT_EQ(first.Error, "");
  }
  TraceResult second = Trace(OnePage("BT (A) Tj ET"), &renderer);
  EXPECT_EQ(second.Error, "TPDFRenderer: Text shown without a font.");
}

TEST(PdfRenderer, InlineImagesAreCachedBesideTheirStream) {
  std::string images;
  for (int i = 0; i < 7; ++i) images += "q 10 0 0 10 " + std::to_string(i * 10) + " 0 cm BI /W 1 /H 1 /BPC 8 /CS /G ID \x80 EI Q ";
  // The same images inside a form, whose dictionary already carries the
  // form resource.
  const std::string resources = "<</XObject<</Fm 5 0 R>>>>";
  const std::vector<PdfObject> form = {{"<</Type/XObject/Subtype/Form/BBox[0 0 100 100]>>", images}};
  TPDFReader reader(Bytes(OnePage(images + "/Fm Do", resources, form)));
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  renderer.PageNumber = 1;
  TTraceDevice device(72);
  renderer.DC = &device;
  renderer.Render(TPDFBox{}, TRect{0, 0, 100, 100}, 1);
  EXPECT_EQ(renderer.InlineImagesDecoded(), 14);
  int drawn = 0;
  for (const auto& l : device.Lines) drawn += l.rfind("image opaque 1 1 ", 0) == 0;
  EXPECT_EQ(drawn, 14);
  EXPECT_NE(std::find(device.Lines.begin(), device.Lines.end(), "image opaque 1 1 60 90 70 90 60 100"),
            device.Lines.end());
  // Again: the first five of each stream come from the cache.
  renderer.Render(TPDFBox{}, TRect{0, 0, 100, 100}, 1);
  EXPECT_EQ(renderer.InlineImagesDecoded(), 18);
}

TEST(PdfRenderer, SupersamplingStaysInsideItsBudget) {
  TPDFReader reader(Bytes(OnePage("0 0 100 100 re f")));
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  renderer.PageNumber = 1;
  TTraceDevice device(72);
  renderer.DC = &device;
  // 5000² pixels fit only without supersampling: drawn straight on the device.
  renderer.Render(TPDFBox{}, TRect{0, 0, 5000, 5000}, 4);
  EXPECT_EQ(device.Lines.at(1).rfind("paint fill", 0), 0u);
  // 2000² at 4 × 4 is 64 M pixels: the factor drops to 2 (a bitmap blit).
  device.Lines.clear();
  renderer.Render(TPDFBox{}, TRect{0, 0, 3000, 3000}, 4);
  ASSERT_EQ(device.Lines.size(), 1u);
  EXPECT_EQ(device.Lines[0], "image opaque 3000 3000 0 0 3000 0 0 3000");
  try {
    renderer.Render(TPDFBox{}, TRect{0, 0, 9000, 9000}, 2);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFRenderer: Page too large to render (9000 x 9000).");
  }
}

TEST(PdfRenderer, ShrinkBitmapAveragesBlocks) {
  struct Case {
    int32_t n, w, h, outW, outH;
  };
  for (const Case& c : {Case{2, 3, 3, 1, 1}, Case{2, 11, 5, 5, 2}, Case{3, 7, 6, 2, 2}, Case{4, 8, 4, 2, 1},
                        Case{1, 3, 3, 3, 3}}) {
    SCOPED_TRACE(c.n);
    TBitmap bitmap(c.w, c.h, pf24bit);
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x) bitmap.SetPixelColor(x, y, RGB(x * 10, y * 20, (x + y) % 2 ? 255 : 0));
    std::vector<TColor> expected;
    for (int32_t y = 0; y < c.outH; ++y)
      for (int32_t x = 0; x < c.outW; ++x) {
        if (c.n < 2) {
          expected.push_back(bitmap.GetPixel(x, y));
          continue;
        }
        int sum[3] = {};
        for (int32_t j = 0; j < c.n; ++j)
          for (int32_t i = 0; i < c.n; ++i) {
            const TColor p = bitmap.GetPixel(x * c.n + i, y * c.n + j);
            sum[0] += GetRValue(p);
            sum[1] += GetGValue(p);
            sum[2] += GetBValue(p);
          }
        const int a = c.n * c.n;
        expected.push_back(RGB((sum[0] + a / 2) / a, (sum[1] + a / 2) / a, (sum[2] + a / 2) / a));
      }
    // The page's shrink reads 24 or 32-bit pixels (alpha ignored) into an
    // opaque 32-bit bitmap.
    for (TPixelFormat format : {pf24bit, pf32bit}) {
      if (c.n < 2) break;
      TBitmap source(c.w, c.h, format);
      for (int32_t y = 0; y < c.h; ++y)
        for (int32_t x = 0; x < c.w; ++x) {
          source.SetPixelColor(x, y, bitmap.GetPixel(x, y));
          if (format == pf32bit) source.ScanLine(y)[4 * x + 3] = static_cast<Byte>(x * 40 + y);
        }
      TBitmap shrunk(0, 0, pf32bit);
      ShrinkBitmapInto(source, c.n, shrunk);
      ASSERT_EQ(shrunk.Width(), c.outW);
      ASSERT_EQ(shrunk.Height(), c.outH);
      for (int32_t y = 0; y < c.outH; ++y)
        for (int32_t x = 0; x < c.outW; ++x) {
          EXPECT_EQ(shrunk.GetPixel(x, y), expected[y * c.outW + x]) << x << "," << y;
          EXPECT_EQ(shrunk.GetAlpha(x, y), 255);
        }
    }
    if (c.n == 2) HalveBitmap(bitmap);
    else ShrinkBitmap(bitmap, c.n);
    ASSERT_EQ(bitmap.Width(), c.outW);
    ASSERT_EQ(bitmap.Height(), c.outH);
    for (int32_t y = 0; y < c.outH; ++y)
      for (int32_t x = 0; x < c.outW; ++x) EXPECT_EQ(bitmap.GetPixel(x, y), expected[y * c.outW + x]);
  }
  TBitmap wrong(4, 4, pf32bit);
  EXPECT_THROW(ShrinkBitmap(wrong, 2), EAssertionFailed);
}

// ---------------------------------------------------------------------------
// Pixels against pdftoppm and mutool draw

// Share of pixels of a farther than 48 in some channel from every pixel of
// b's 3 × 3 neighbourhood.
double Distance1(const QImage& a, const QImage& b) {
  const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
  int64_t far = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb p = a.pixel(x, y);
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy)
        for (int dx = -1; dx <= 1 && !near; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
          const QRgb q = b.pixel(xx, yy);
          near = std::abs(qRed(p) - qRed(q)) <= 48 && std::abs(qGreen(p) - qGreen(q)) <= 48 &&
                 std::abs(qBlue(p) - qBlue(q)) <= 48;
        }
      far += !near;
    }
  return double(far) / (double(w) * h);
}

double Distance(const QImage& a, const QImage& b) { return std::max(Distance1(a, b), Distance1(b, a)); }

QImage RenderOurs(const std::string& file, int32_t page, int32_t dpi, int32_t supersampling = 2) {
  TPDFReader reader(file);
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  renderer.PageNumber = page;
  int32_t w = 0, h = 0;
  QImage image;
  {
    TTraceDevice sizing(dpi);
    renderer.DC = &sizing;
    renderer.GetPageSizeInPixels(100, w, h);
  }
  image = QImage(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  TQtPainterDevice device(&painter, dpi);
  renderer.DC = &device;
  renderer.Render(TPDFBox{}, TRect{0, 0, w, h}, supersampling);
  painter.end();
  return image.convertToFormat(QImage::Format_RGB32);
}

// Every page of the file at 72 and 150 dpi: ours within twice the distance
// between the two peers (plus 0.1 %) of each of them. The peers smooth the
// edges of shapes but not the borders between image samples, so pages of
// shapes are compared at the finest supersampling and pages of images at none.
void ExpectPixelsLikePeers(const test::TempDir& dir, const std::string& file, int32_t pages,
                           int32_t supersampling) {
  for (int32_t dpi : {72, 150}) {
    const std::string base = dir.File(std::filesystem::path(file).stem().string() + std::to_string(dpi));
    RunChecked("pdftoppm -r " + std::to_string(dpi) + " -png " + file + " " + base + "-poppler");
    RunChecked("mutool draw -q -r " + std::to_string(dpi) + " -o " + base + "-mupdf-%d.png " + file);
    for (int32_t page = 1; page <= pages; ++page) {
      SCOPED_TRACE(file + " page " + std::to_string(page) + " at " + std::to_string(dpi));
      const QImage ours = RenderOurs(file, page, dpi, supersampling);
      // pdftoppm pads the page number to the width of the page count.
      QImage poppler(QString::fromStdString(base + "-poppler-" + std::to_string(page) + ".png"));
      if (poppler.isNull()) poppler.load(QString::fromStdString(base + "-poppler-0" + std::to_string(page) + ".png"));
      const QImage mupdf(QString::fromStdString(base + "-mupdf-" + std::to_string(page) + ".png"));
      ASSERT_FALSE(poppler.isNull());
      ASSERT_FALSE(mupdf.isNull());
      // PX_RENDER_DUMP names a folder that keeps the three renders for a look.
      if (const char* keep = std::getenv("PX_RENDER_DUMP")) {
        const std::string stem = std::string(keep) + "/" + std::filesystem::path(base).filename().string() + "-" +
                                 std::to_string(page);
        ours.save(QString::fromStdString(stem + "-ours.png"));
        poppler.save(QString::fromStdString(stem + "-poppler.png"));
        mupdf.save(QString::fromStdString(stem + "-mupdf.png"));
      }
      const QImage p = poppler.convertToFormat(QImage::Format_RGB32), m = mupdf.convertToFormat(QImage::Format_RGB32);
      EXPECT_LE(std::abs(ours.width() - p.width()), 1);
      EXPECT_LE(std::abs(ours.height() - p.height()), 1);
      const double s = Distance(p, m);
      EXPECT_LE(Distance(ours, p), 2 * s + 0.001) << "peers apart by " << s;
      EXPECT_LE(Distance(ours, m), 2 * s + 0.001) << "peers apart by " << s;
    }
  }
}

// Table rules as some producers draw them: 1 x 1 images 0.42 pt thick,
// lying inside a pixel or across a pixel border. Each covers the pixels it
// touches wholly, as pdftoppm draws it, at every supersampling.
TEST(PdfRenderer, ThinImagesCoverThePixelsTheyTouch) {
  test::TempDir dir;
  const std::string file = dir.File("rules.pdf");
  // Vertical rules from x 10.3 (stencil), 20.7 (an RGB sample; across a
  // border) and, mirrored, from 30.9 (across); horizontal ones from y 60.2
  // and, mirrored, 79.88 (across) from the top.
  test::WriteFileBytes(file, OnePage("q 0.42 0 0 40 10.3 5 cm /M Do Q q 0.42 0 0 40 20.7 5 cm /P Do Q "
                                     "q -0.42 0 0 40 31.32 5 cm /M Do Q "
                                     "q 80 0 0 0.42 10 39.38 cm /M Do Q q 80 0 0 -0.42 10 20.12 cm /P Do Q",
                                     "<</XObject<</M 5 0 R/P 6 0 R>>>>",
                                     {{"<</Type/XObject/Subtype/Image/Width 1/Height 1/ImageMask true>>", "\x00"s},
                                      {"<</Type/XObject/Subtype/Image/Width 1/Height 1/ColorSpace/DeviceRGB"
                                       "/BitsPerComponent 8>>", "\x00\x00\x00"s}}));
  RunChecked("pdftoppm -r 72 -png -singlefile " + file + " " + dir.File("poppler"));
  const QImage poppler = QImage(QString::fromStdString(dir.File("poppler.png"))).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(poppler.isNull());
  // The pixels of a row or column, as "#" (dark), "." (white) and "?".
  auto line = [](const QImage& image, bool row, int at) {
    std::string out;
    for (int k = 5; k < 95; ++k) {
      const int grey = qGray(row ? image.pixel(k, at) : image.pixel(at, k));
      out += grey < 64 ? '#' : grey > 240 ? '.' : '?';
    }
    return out;
  };
  const std::string across = line(poppler, true, 75), down = line(poppler, false, 50);
  EXPECT_EQ(std::count(across.begin(), across.end(), '#'), 5) << across;
  EXPECT_EQ(std::count(down.begin(), down.end(), '#'), 3) << down;
  for (int32_t supersampling : {1, 2, 3, 4}) {
    SCOPED_TRACE("supersampling " + std::to_string(supersampling));
    const QImage ours = RenderOurs(file, 1, 72, supersampling);
    EXPECT_EQ(line(ours, true, 75), across);
    EXPECT_EQ(line(ours, false, 50), down);
  }
}

// ---------------------------------------------------------------------------
// A corpus of pages made by other producers, shared by the pixel and the
// device-level comparisons.

struct CorpusFile {
  std::string Path;
  int32_t Pages = 1;
  // The peers smooth the edges of shapes but not the borders between image
  // samples, so pages of shapes are compared at the finest supersampling and
  // pages of images at none.
  int32_t Supersampling = 4;
  // Pages that stay out of the device-level comparison: mupdf reports the
  // glyphs of a Type 3 font as text where we run their procedures, and we
  // widen images thinner than a pixel to the pixels they touch, which mupdf
  // leaves to its rasterizer.
  bool NoTrace = false;
};

class CorpusReport : public TPDFReportBuilder {
 public:
  void GetMargins(int32_t& top, int32_t& bottom) override {
    top = 7200;
    bottom -= 7200;
  }
  void Build() {
    NewPage(true, true, true);
    Renderer().Font().SetName("Liberation Sans");
    TBitmap logo(60, 30, pf24bit);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 60; ++x) logo.SetPixelColor(x, y, x < 30 ? clNavy : clYellow);
    auto bitmap = std::make_unique<TReportBitmap>();
    bitmap->SetBitmap(logo);
    bitmap->Left = GetPageWidth() - 2 * 7200;
    bitmap->Top = 3600;
    bitmap->Width = 7200;
    bitmap->Height = 3600;
    CurrentPage()->AddItem(std::move(bitmap));
    AddTable({7200, 14400, 28800, 36000, 50400}, {u"<b>Employee:</b>", u"Jan Kowalski", u"<b>Date:</b>", u"2026-12-10"},
             false, 20, 100);
    std::vector<UnicodeString> cells;
    const int rows = 70;
    for (int i = 1; i <= rows; ++i) {
      const std::u16string n = Utf8ToUnicode(std::to_string(i));
      cells.insert(cells.end(), {u"Coin " + n, u"0,50", n, n + u",00"});
    }
    cells.insert(cells.end(), {u"<b>Total</b>", u"", u"", u"<b>2485,00</b>"});
    std::vector<bool> columnLines(5, false), rowLines(rows + 2, false);
    rowLines[0] = rowLines[rows] = true;
    AddTableEx({7200, 21600, 32400, 41400, 50400}, cells,
               [](TPDFReportBuilder& b, int32_t column, int32_t) { b.Renderer().Alignment = column >= 1 ? 1 : 0; },
               columnLines, rowLines, 50, 100, 20, 100);
  }
};

class PdfRendererCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
    files_.clear();
  }
  static test::TempDir* dir_;
  static std::vector<CorpusFile> files_;
};

test::TempDir* PdfRendererCorpus::dir_ = nullptr;
std::vector<CorpusFile> PdfRendererCorpus::files_;

void PdfRendererCorpus::SetUpTestSuite() {
  dir_ = new test::TempDir;
  const test::TempDir& dir = *dir_;
  const std::string pages = R"(%%MediaBox 0 0 300 200
1 0 0 RG 0 0 1 rg 10 w
20 20 m 120 20 l 120 120 l h B
0 0.6 0 rg 150 30 100 80 re f
q 160 40 m 280 40 l 220 180 l h W n 1 1 0 rg 140 20 160 170 re f Q
0 0 0 RG 6 w 1 J 1 j 20 150 m 60 190 100 150 140 190 c S
2 J 0 j 0 0 1 RG 170 150 m 200 190 l 230 150 l S
0 J 2 j 0 0.5 0.5 RG 240 150 m 260 190 l 280 150 l S
0.2 0.5 0.8 0.1 k 30 40 m 110 110 l 110 40 l 30 110 l h f*
%%MediaBox 0 0 200 300
%%Rotate 90
0.8 0 0 rg 10 10 100 50 re f 0 0 1 RG 4 w 10 280 m 190 200 l S
q 1 0 0 1 50 150 cm 0.3 0.2 -0.2 0.3 0 0 cm 0 1 0 rg -100 -100 200 200 re f Q
%%MediaBox 0 0 200 200
%%Rotate 180
0 g 20 20 60 40 re f 1 0 0 rg 120 150 40 40 re f
%%MediaBox 0 0 200 200
%%Rotate 270
0 0.5 0 rg 20 20 60 40 re f 0 0 1 rg 120 150 40 40 re f
)";
  // mutool create makes one page of each file.
  std::string files;
  for (size_t at = 0, n = 1; at < pages.size(); ++n) {
    size_t next = pages.find("%%MediaBox", at + 1);
    if (next == std::string::npos) next = pages.size();
    const std::string name = dir.File("page" + std::to_string(n) + ".txt");
    test::WriteFileBytes(name, pages.substr(at, next - at));
    files += " " + name;
    at = next;
  }
  RunChecked("mutool create -o " + dir.File("vector.pdf") + files);
  files_.push_back({dir.File("vector.pdf"), 4});

  // Images: an RGB image, a grey one turned and mirrored, inline images,
  // a stencil mask and an image with a soft mask.
  std::string rgb, grey, mask, smask;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      rgb += static_cast<char>(x * 32);
      rgb += static_cast<char>(y * 32);
      rgb += static_cast<char>(((x + y) % 2) * 255);
      grey += static_cast<char>((x * 8 + y) * 4);
      smask += static_cast<char>(x < 4 ? 255 : 0);
    }
  for (int y = 0; y < 8; ++y) mask += static_cast<char>(y % 2 ? 0x0F : 0xF0);
  const std::string content =
      "q 80 0 0 80 10 110 cm /Im1 Do Q "
      "q 0 60 -60 0 170 110 cm /Im2 Do Q "
      "q -60 0 0 -60 260 180 cm /Im1 Do Q "
      "q 0 0 1 rg 80 0 0 80 10 10 cm /Im3 Do Q "
      "q 1 0 0 1 0 0 cm 80 0 0 80 110 10 cm /Im4 Do Q "
      "q 60 0 0 60 200 20 cm BI /W 2 /H 2 /BPC 8 /CS /RGB ID \xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\x00 EI Q "s
      "q 1 0 0.5 1 0 0 cm 40 0 0 40 200 80 cm BI /W 4 /H 1 /BPC 8 /CS /G /F /AHx ID 00407FFF> EI Q ";
  const std::string resources = "<</XObject<</Im1 5 0 R/Im2 6 0 R/Im3 7 0 R/Im4 8 0 R>>>>";
  std::vector<PdfObject> objects = {
      {"<</Type/Catalog/Pages 2 0 R>>", {}},
      {"<</Type/Pages/Kids[3 0 R]/Count 1>>", {}},
      {"<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Contents 4 0 R/Resources " + resources + ">>", {}},
      {"<<>>", content},
      {"<</Type/XObject/Subtype/Image/Width 8/Height 8/BitsPerComponent 8/ColorSpace/DeviceRGB>>", rgb},
      {"<</Type/XObject/Subtype/Image/Width 8/Height 8/BitsPerComponent 8/ColorSpace/DeviceGray>>", grey},
      {"<</Type/XObject/Subtype/Image/Width 8/Height 8/BitsPerComponent 1/ImageMask true>>", mask},
      {"<</Type/XObject/Subtype/Image/Width 8/Height 8/BitsPerComponent 8/ColorSpace/DeviceRGB/SMask 9 0 R>>", rgb},
      {"<</Type/XObject/Subtype/Image/Width 8/Height 8/BitsPerComponent 8/ColorSpace/DeviceGray>>", smask},
  };
  test::WriteFileBytes(dir.File("images.pdf"), BuildPdf(objects));
  files_.push_back({dir.File("images.pdf"), 1, 1});

  // Text: Type 1C programs from ps2pdf and a standard font; a Type 3 font.
  test::WriteFileBytes(dir.File("text.ps"), R"(%!PS
/Times-Italic findfont 28 scalefont setfont 50 700 moveto (Type 1C text, italic) show
/Helvetica findfont 16 scalefont setfont 1 0 0 setrgbcolor 50 650 moveto (Helvetica in red: 0123456789) show
showpage
)");
  RunChecked("ps2pdf " + dir.File("text.ps") + " " + dir.File("text.pdf"));
  files_.push_back({dir.File("text.pdf")});
  test::WriteFileBytes(dir.File("type3.ps"), R"(%!PS
8 dict begin /FontType 3 def /FontMatrix [.001 0 0 .001 0 0] def /FontBBox [0 0 1000 1000] def
/Encoding 256 array def 0 1 255 {Encoding exch /.notdef put} for Encoding 65 /sq put Encoding 66 /tri put
/CharProcs 3 dict def CharProcs begin /.notdef {} def
/sq {0 0 moveto 800 0 lineto 800 800 lineto 0 800 lineto closepath fill} def
/tri {0 0 moveto 800 0 lineto 400 800 lineto closepath fill} def end
/BuildGlyph {1000 0 0 0 1000 1000 setcachedevice exch /CharProcs get exch get exec} def
/BuildChar {1 index /Encoding get exch get 1 index /BuildGlyph get exec} def
currentdict end /MyT3 exch definefont pop
/MyT3 findfont 40 scalefont setfont 0 0 1 setrgbcolor 50 550 moveto (ABAB) show
showpage
)");
  RunChecked("ps2pdf " + dir.File("type3.ps") + " " + dir.File("type3.pdf"));
  files_.push_back({dir.File("type3.pdf"), 1, 4, true});

  // A form made by reportlab holding an inline image (its data behind a
  // chain of two filters), drawn twice, once turned. The turned edges want
  // supersampling, which blends the borders between image samples where the
  // peers do not: neighbouring samples differ by less than the metric's 48,
  // so the blend stays near both (sharp sample borders are the image page's).
  test::WriteFileBytes(dir.File("form.py"), R"(import sys
from PIL import Image
from reportlab.pdfgen import canvas
c = canvas.Canvas(sys.argv[1], pagesize=(300, 200))
image = Image.new('RGB', (4, 4))
for y in range(4):
    for x in range(4):
        image.putpixel((x, y), (60 + x * 40, 60 + y * 40, 200 - (x + y) * 20))
c.beginForm('badge', 0, 0, 110, 70)
c.setFillColorRGB(0.9, 0.3, 0.1)
c.rect(0, 0, 110, 70, fill=1, stroke=0)
c.drawInlineImage(image, 10, 10, 50, 50)
c.setFillColorRGB(0, 0, 0.5)
c.circle(85, 35, 15, fill=1, stroke=0)
c.endForm()
c.doForm('badge')
c.translate(150, 100)
c.rotate(15)
c.doForm('badge')
c.showPage()
c.save()
)");
  RunChecked("/usr/bin/python3 " + dir.File("form.py") + " " + dir.File("form.pdf"));
  files_.push_back({dir.File("form.pdf")});

  // Annotations with appearance streams: shapes, text in a standard font and
  // an image. Each appearance's BBox starts at 0 0 and has its Rect's size,
  // so placing it at Rect's origin is what the other renderers do too.
  const std::vector<PdfObject> annotated = {
      {"<</Type/Catalog/Pages 2 0 R>>", {}},
      {"<</Type/Pages/Kids[3 0 R]/Count 1>>", {}},
      {"<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Contents 4 0 R/Resources<<>>/Annots[5 0 R 6 0 R 7 0 R]>>",
       {}},
      {"<<>>", "0.85 0.85 0.85 rg 10 10 280 180 re f"},
      {"<</Type/Annot/Subtype/Square/Rect[20 20 120 80]/F 4/AP<</N 8 0 R>>>>", {}},
      {"<</Type/Annot/Subtype/FreeText/Rect[150 120 280 180]/F 4/DA(/Helv 14 Tf 0 g)/AP<</N 9 0 R>>>>", {}},
      {"<</Type/Annot/Subtype/Stamp/Rect[160 20 240 100]/F 4/AP<</N 10 0 R>>>>", {}},
      {"<</Type/XObject/Subtype/Form/BBox[0 0 100 60]>>", "0 0 1 RG 4 w 1 1 0 rg 2 2 96 56 re B"},
      {"<</Type/XObject/Subtype/Form/BBox[0 0 130 60]/Resources<</Font<</Helv 11 0 R>>>>>>",
       "0.9 0.9 1 rg 0 0 130 60 re f BT /Helv 14 Tf 0 0 0.6 rg 8 24 Td (A note) Tj ET"},
      {"<</Type/XObject/Subtype/Form/BBox[0 0 80 80]/Resources<</XObject<</Im 12 0 R>>>>>>",
       "q 80 0 0 80 0 0 cm /Im Do Q 1 0 0 RG 3 w 4 4 72 72 re S"},
      {"<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>", {}},
      {"<</Type/XObject/Subtype/Image/Width 8/Height 8/BitsPerComponent 8/ColorSpace/DeviceRGB>>", rgb},
  };
  test::WriteFileBytes(dir.File("annotations.pdf"), BuildPdf(annotated));
  files_.push_back({dir.File("annotations.pdf"), 1, 1});

  // A report of our report engine: a logo, a header table with bold labels
  // and a ruled body with right-aligned amounts over two pages.
  {
    CorpusReport report;
    report.Build();
    TMemoryStream out;
    report.SaveToStream(&out);
    out.SaveToFile(dir.File("report.pdf"));
  }
  files_.push_back({dir.File("report.pdf"), TPDFReader(dir.File("report.pdf")).GetPageCount()});
  EXPECT_EQ(files_.back().Pages, 2);

  // Table rules drawn as 1 x 1 masks 0.42 pt thick across pixel borders, and
  // RGB images of 4 and 2 bits a component (smooth, so that the blend of
  // supersampling at sample borders stays near both peers).
  std::string rgb4, rgb2;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; x += 2) {
      rgb4 += static_cast<char>((2 * x) << 4 | (15 - x - y));
      rgb4 += static_cast<char>((y * 2) << 4 | (2 * x + 2));
      rgb4 += static_cast<char>((15 - x - y - 1) << 4 | (y * 2));
    }
  }
  for (int y = 0; y < 4; ++y) {
    // four samples of three components: 12 two-bit values, 3 bytes a row
    int v[12];
    for (int x = 0; x < 4; ++x) {
      v[3 * x] = x;
      v[3 * x + 1] = y;
      v[3 * x + 2] = 3 - (x + y) / 2;
    }
    for (int b = 0; b < 3; ++b)
      rgb2 += static_cast<char>(v[4 * b] << 6 | v[4 * b + 1] << 4 | v[4 * b + 2] << 2 | v[4 * b + 3]);
  }
  // The ends of the rules and the images' edges lie on whole pixels at 72 and
  // 150 dpi (multiples of 12 pt from the page's top left corner), where the
  // peers and we round alike.
  std::string rules = "0 0 0.5 rg ";
  for (int k = 0; k < 6; ++k) {
    rules += "q 0.42 0 0 144 " + std::to_string(20 + 17 * k) + "." + std::to_string(k + 2) + " 32 cm /M Do Q ";
    rules += "q 96 0 0 0.42 24 " + std::to_string(30 + 23 * k) + "." + std::to_string(9 - k) + " cm /M Do Q ";
  }
  rules += "q 84 0 0 84 144 92 cm /R4 Do Q q 48 0 0 48 240 128 cm /R2 Do Q";
  test::WriteFileBytes(
      dir.File("rules.pdf"),
      BuildPdf({{"<</Type/Catalog/Pages 2 0 R>>", {}},
                {"<</Type/Pages/Kids[3 0 R]/Count 1>>", {}},
                {"<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Contents 4 0 R"
                 "/Resources<</XObject<</M 5 0 R/R4 6 0 R/R2 7 0 R>>>>>>",
                 {}},
                {"<<>>", rules},
                {"<</Type/XObject/Subtype/Image/Width 1/Height 1/ImageMask true>>", "\x00"s},
                {"<</Type/XObject/Subtype/Image/Width 8/Height 8/ColorSpace/DeviceRGB/BitsPerComponent 4>>", rgb4},
                {"<</Type/XObject/Subtype/Image/Width 4/Height 4/ColorSpace/DeviceRGB/BitsPerComponent 2>>", rgb2}}));
  files_.push_back({dir.File("rules.pdf"), 1, 2, true});

  // A CFF program whose widths are reals (fontTools), and faces named by
  // PostScript names without a program.
  RunChecked("/usr/bin/python3 " + (test::FixturesDir() / "pdfgui" / "real_widths_cff.py").string() + " " +
             dir.File("real.cff"));
  test::WriteFileBytes(
      dir.File("fonts.pdf"),
      BuildPdf({{"<</Type/Catalog/Pages 2 0 R>>", {}},
                {"<</Type/Pages/Kids[3 0 R]/Count 1>>", {}},
                {"<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 200]/Contents 4 0 R"
                 "/Resources<</Font<</R 5 0 R/T 8 0 R/A 9 0 R/C 10 0 R>>>>>>",
                 {}},
                {"<<>>", "BT /R 40 Tf 20 140 Td (ABBA) Tj ET BT /T 18 Tf 20 100 Td (Times New Roman PSMT) Tj ET "
                         "BT /A 18 Tf 20 70 Td (Arial Bold MT) Tj ET BT /C 18 Tf 20 40 Td (Courier New PSMT) Tj ET"},
                {"<</Type/Font/Subtype/Type1/BaseFont/RealWidths/FirstChar 65/LastChar 66/Widths[600 333]"
                 "/Encoding/WinAnsiEncoding/FontDescriptor 6 0 R>>",
                 {}},
                {"<</Type/FontDescriptor/FontName/RealWidths/Flags 32/FontBBox[0 0 1000 1000]/ItalicAngle 0"
                 "/Ascent 800/Descent -200/CapHeight 700/StemV 80/FontFile3 7 0 R>>",
                 {}},
                {"<</Subtype/Type1C>>", test::ReadFileBytes(dir.File("real.cff"))},
                {"<</Type/Font/Subtype/TrueType/BaseFont/TimesNewRomanPSMT/Encoding/WinAnsiEncoding>>", {}},
                {"<</Type/Font/Subtype/TrueType/BaseFont/Arial-BoldMT/Encoding/WinAnsiEncoding>>", {}},
                {"<</Type/Font/Subtype/TrueType/BaseFont/CourierNewPSMT/Encoding/WinAnsiEncoding>>", {}}}));
  files_.push_back({dir.File("fonts.pdf")});

  // Our producer with face names of PDF documents (a subset tag before a
  // base-font name) and a face with CFF outlines, which gives way to TrueType.
  {
    TPDFPrinter printer;
    printer.SetOptions(7);
    printer.BeginDoc();
    TCanvas& canvas = printer.Canvas();
    canvas.Brush().SetStyle(bsClear);
    canvas.Font().SetSize(24);
    int32_t y = 1200;
    for (const char* face : {"ABCDEF+Helvetica-Bold", "ABCDEF+Times-Roman", "Nimbus Sans"}) {
      canvas.Font().SetName(face);
      canvas.TextOut(1200, y, std::string(face));
      y += 1500;
    }
    printer.EndDoc();
    printer.Document()->SaveToFile(dir.File("producer.pdf"));
  }
  files_.push_back({dir.File("producer.pdf")});
}

TEST_F(PdfRendererCorpus, PixelsLikeTwoPeers) {
  for (const CorpusFile& f : files_) ExpectPixelsLikePeers(*dir_, f.Path, f.Pages, f.Supersampling);
}

// The exact picture of a page at a resolution: each peer drawn at eight
// times it, every 8 x 8 block averaged, the two averaged. Channels as
// doubles, red, green, blue a pixel, row by row.
struct ExactPicture {
  int Width = 0, Height = 0;
  std::vector<double> Channels;
};

ExactPicture ExactPage(const test::TempDir& dir, const std::string& file, int32_t dpi) {
  const std::string fine = std::to_string(8 * dpi);
  RunChecked("pdftoppm -r " + fine + " -f 1 -l 1 -png -singlefile " + file + " " + dir.File("exact-poppler"));
  RunChecked("mutool draw -q -r " + fine + " -o " + dir.File("exact-mupdf.png") + " " + file + " 1");
  const QImage peers[2] = {
      QImage(QString::fromStdString(dir.File("exact-poppler.png"))).convertToFormat(QImage::Format_RGB32),
      QImage(QString::fromStdString(dir.File("exact-mupdf.png"))).convertToFormat(QImage::Format_RGB32)};
  ExactPicture exact;
  exact.Width = std::min(peers[0].width(), peers[1].width()) / 8;
  exact.Height = std::min(peers[0].height(), peers[1].height()) / 8;
  exact.Channels.assign(static_cast<size_t>(exact.Width) * exact.Height * 3, 0.0);
  for (const QImage& peer : peers)
    for (int y = 0; y < exact.Height * 8; ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(peer.constScanLine(y));
      double* out = exact.Channels.data() + static_cast<size_t>(y / 8) * exact.Width * 3;
      for (int x = 0; x < exact.Width * 8; ++x) {
        out[3 * (x / 8)] += qRed(row[x]) / 128.0;
        out[3 * (x / 8) + 1] += qGreen(row[x]) / 128.0;
        out[3 * (x / 8) + 2] += qBlue(row[x]) / 128.0;
      }
    }
  return exact;
}

// Share of the pixels of an image more than 48 off the exact picture in some
// channel.
double OffExact(const QImage& image, const ExactPicture& exact) {
  const int w = std::min(image.width(), exact.Width), h = std::min(image.height(), exact.Height);
  int64_t off = 0;
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    const double* e = exact.Channels.data() + static_cast<size_t>(y) * exact.Width * 3;
    for (int x = 0; x < w; ++x)
      off += std::abs(qRed(row[x]) - e[3 * x]) > 48 || std::abs(qGreen(row[x]) - e[3 * x + 1]) > 48 ||
             std::abs(qBlue(row[x]) - e[3 * x + 2]) > 48;
  }
  return double(off) / (double(w) * h);
}

// At the default supersampling, shapes, text and images are no farther from
// the exact picture than the farther peer drawn at the same resolution, give
// or take 0.01 % of the pixels: edges are smoothed as the peers smooth them.
TEST_F(PdfRendererCorpus, EdgesNearTheExactPicture) {
  for (const char* name : {"vector.pdf", "text.pdf", "images.pdf"}) {
    const std::string file = dir_->File(name);
    SCOPED_TRACE(file);
    const ExactPicture exact = ExactPage(*dir_, file, 72);
    RunChecked("pdftoppm -r 72 -f 1 -l 1 -png -singlefile " + file + " " + dir_->File("near-poppler"));
    RunChecked("mutool draw -q -r 72 -o " + dir_->File("near-mupdf.png") + " " + file + " 1");
    const double poppler = OffExact(QImage(QString::fromStdString(dir_->File("near-poppler.png")))
                                        .convertToFormat(QImage::Format_RGB32), exact);
    const double mupdf = OffExact(
        QImage(QString::fromStdString(dir_->File("near-mupdf.png"))).convertToFormat(QImage::Format_RGB32), exact);
    const double ours = OffExact(RenderOurs(file, 1, 72), exact);
    EXPECT_LE(ours, std::max(poppler, mupdf) + 0.0001) << "poppler " << poppler << ", mutool " << mupdf;
  }
}

// Object streams, cross-reference streams, a linearized file and both kinds
// of encryption draw the same pixels as their source.
TEST_F(PdfRendererCorpus, QpdfVariantsDrawLikeTheirBase) {
  const std::string vector = files_.at(0).Path, variant = dir_->File("variant.pdf");
  const QImage base = RenderOurs(vector, 2, 72);
  for (const std::string& options :
       {std::string("--object-streams=generate"), std::string("--qdf"), std::string("--linearize"),
        std::string("--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --"),
        std::string("--encrypt '' owner 128 --use-aes=y --")}) {
    SCOPED_TRACE(options);
    RunChecked("qpdf " + options + " " + vector + " " + variant);
    EXPECT_EQ(RenderOurs(variant, 2, 72), base);
  }
}

// ---------------------------------------------------------------------------
// The device calls of `pxtool pdf trace` against those of `mutool trace`

// One painting call: a fill, a stroke, one glyph or an image.
struct DeviceCall {
  std::string Kind;  // "fill", "stroke", "glyph", "image", "stencil"
  bool EvenOdd = false;
  int Colour[3] = {};  // fill, stroke or text colour, 0..255
  bool HasColour = false;
  double Width = 0;  // pen width in pixels
  int Cap = 0, Join = 0;
  std::string Items;          // path items: M, L, C, Z
  std::vector<double> Points;  // path coordinates; a glyph's origin; an image's three corners
  int32_t ImageWidth = 0, ImageHeight = 0;
  char16_t Unit = 0;  // a glyph's Unicode unit, 0 for a glyph index
};

std::string Describe(const DeviceCall& c) {
  std::string text = c.Kind + " " + c.Items;
  for (double v : c.Points) text += " " + std::to_string(std::lround(v * 10) / 10.0).substr(0, 6);
  if (c.HasColour)
    text += " rgb(" + std::to_string(c.Colour[0]) + "," + std::to_string(c.Colour[1]) + "," +
            std::to_string(c.Colour[2]) + ")";
  if (c.Unit) text += " U+" + std::to_string(int(c.Unit));
  return text;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

void HexColour(const std::string& text, int (&rgb)[3]) {
  const uint32_t v = std::stoul(text.substr(1), nullptr, 16);
  rgb[0] = (v >> 16) & 0xFF;
  rgb[1] = (v >> 8) & 0xFF;
  rgb[2] = v & 0xFF;
}

// Our trace lines as calls; clips are not compared.
std::vector<DeviceCall> OurCalls(const std::string& trace) {
  static const std::vector<std::string> caps = {"flat", "round", "square"}, joins = {"miter", "round", "bevel"};
  std::vector<DeviceCall> calls;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> w = Words(line);
    if (w.empty()) continue;
    if (w[0] == "paint") {
      DeviceCall path;
      path.EvenOdd = w[2] == "evenodd";
      path.Width = test::PeerNumber(w[5]);
      path.Cap = int(std::find(caps.begin(), caps.end(), w[6]) - caps.begin());
      path.Join = int(std::find(joins.begin(), joins.end(), w[7]) - joins.begin());
      path.HasColour = true;
      for (size_t k = 8; k < w.size(); ++k) {
        if (std::isalpha(static_cast<unsigned char>(w[k][0]))) path.Items += w[k];
        else path.Points.push_back(test::PeerNumber(w[k]));
      }
      if (w[1] == "fill" || w[1] == "fillstroke") {
        DeviceCall fill = path;
        fill.Kind = "fill";
        HexColour(w[3], fill.Colour);
        calls.push_back(fill);
      }
      if (w[1] == "stroke" || w[1] == "fillstroke") {
        DeviceCall stroke = path;
        stroke.Kind = "stroke";
        HexColour(w[4], stroke.Colour);
        calls.push_back(stroke);
      }
    } else if (w[0] == "text") {
      // A run's position is that of its first unit.
      for (size_t k = 5; k < w.size(); ++k) {
        DeviceCall glyph;
        glyph.Kind = "glyph";
        glyph.HasColour = true;
        HexColour(w[4], glyph.Colour);
        if (k == 5) glyph.Points = {test::PeerNumber(w[2]), test::PeerNumber(w[3])};
        if (w[1] == "chr") glyph.Unit = static_cast<char16_t>(std::stoul(w[k].substr(2), nullptr, 16));
        calls.push_back(glyph);
      }
    } else if (w[0] == "image") {
      DeviceCall image;
      image.Kind = w[1] == "stencil" ? "stencil" : "image";
      image.ImageWidth = std::stoi(w[2]);
      image.ImageHeight = std::stoi(w[3]);
      for (size_t k = 4; k < 10; ++k) image.Points.push_back(test::PeerNumber(w[k]));
      calls.push_back(image);
    }
  }
  return calls;
}

// mupdf's components as our colour: device spaces by their number of
// components. mupdf without colour management turns CMYK into RGB with the
// plain complement formula; the comparison is about which colour was asked
// for, so CMYK goes through the conversion our colour spaces use.
void MupdfColour(const QXmlStreamAttributes& a, DeviceCall& call) {
  std::vector<double> v;
  for (const QString& part : a.value("color").toString().split(' ', Qt::SkipEmptyParts)) v.push_back(part.toDouble());
  call.HasColour = !v.empty();
  auto byte = [](double x) { return int(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
  if (v.size() == 1) {
    call.Colour[0] = call.Colour[1] = call.Colour[2] = byte(v[0]);
  } else if (v.size() == 3) {
    for (int k = 0; k < 3; ++k) call.Colour[k] = byte(v[k]);
  } else if (v.size() == 4) {
    const uint32_t rgb = CMYKToRGB(float(v[0]), float(v[1]), float(v[2]), float(v[3]));
    call.Colour[0] = rgb & 0xFF;
    call.Colour[1] = (rgb >> 8) & 0xFF;
    call.Colour[2] = (rgb >> 16) & 0xFF;
  } else {
    call.HasColour = false;
  }
}

struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  void Apply(double x, double y, double scale, std::vector<double>& out) const {
    out.push_back((a * x + c * y + e) * scale);
    out.push_back((b * x + d * y + f) * scale);
  }
};

Matrix ParseMatrix(const QXmlStreamAttributes& a) {
  const QStringList v = a.value("transform").toString().split(' ', Qt::SkipEmptyParts);
  Matrix m;
  if (v.size() == 6) m = {v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble(), v[4].toDouble(),
                          v[5].toDouble()};
  return m;
}

// mutool trace's XML as calls in device pixels at the resolution (mupdf's
// transforms end in points, 72 to the inch, y down).
std::vector<DeviceCall> MupdfCalls(const std::string& xml, double dpi) {
  const double scale = dpi / 72;
  std::vector<DeviceCall> calls;
  QXmlStreamReader in(QByteArray::fromStdString(xml));
  DeviceCall* path = nullptr;  // the fill or stroke whose items are being read
  Matrix m;
  DeviceCall text;
  bool inFillText = false;
  while (!in.atEnd()) {
    const QXmlStreamReader::TokenType token = in.readNext();
    if (token == QXmlStreamReader::EndElement) {
      const QStringView name = in.name();
      if (name == u"fill_path" || name == u"stroke_path") path = nullptr;
      if (name == u"fill_text") inFillText = false;
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const QStringView name = in.name();
    const QXmlStreamAttributes a = in.attributes();
    auto number = [&](const char* key) { return a.value(QLatin1String(key)).toDouble(); };
    if (name == u"fill_path" || name == u"stroke_path") {
      DeviceCall call;
      m = ParseMatrix(a);
      if (name == u"fill_path") {
        call.Kind = "fill";
        call.EvenOdd = a.value("winding") == u"eofill";
      } else {
        call.Kind = "stroke";
        call.Width = number("linewidth") * std::sqrt(std::abs(m.a * m.d - m.b * m.c)) * scale;
        call.Cap = a.value("linecap").toString().section(',', 0, 0).toInt();
        call.Join = a.value("linejoin").toInt();
      }
      MupdfColour(a, call);
      calls.push_back(call);
      path = &calls.back();
    } else if (path && name == u"moveto") {
      path->Items += 'M';
      m.Apply(number("x"), number("y"), scale, path->Points);
    } else if (path && name == u"lineto") {
      path->Items += 'L';
      m.Apply(number("x"), number("y"), scale, path->Points);
    } else if (path && name == u"curveto") {
      path->Items += 'C';
      for (const char* k : {"1", "2", "3"})
        m.Apply(number((std::string("x") + k).c_str()), number((std::string("y") + k).c_str()), scale, path->Points);
    } else if (path && name == u"closepath") {
      path->Items += 'Z';
    } else if (name == u"fill_text") {
      inFillText = true;
      text = DeviceCall{};
      text.Kind = "glyph";
      MupdfColour(a, text);
      m = ParseMatrix(a);
    } else if (inFillText && name == u"g") {
      DeviceCall glyph = text;
      m.Apply(number("x"), number("y"), scale, glyph.Points);
      const QString unicode = a.value("unicode").toString();
      glyph.Unit = unicode.isEmpty() ? 0 : static_cast<char16_t>(unicode.at(0).unicode());
      calls.push_back(glyph);
    } else if (name == u"fill_image" || name == u"fill_image_mask") {
      DeviceCall image;
      image.Kind = name == u"fill_image" ? "image" : "stencil";
      m = ParseMatrix(a);
      image.ImageWidth = a.value("width").toInt();
      image.ImageHeight = a.value("height").toInt();
      // mupdf's image transform takes the first sample row to y = 0: the
      // image's top-left, top-right and bottom-left corners.
      for (const auto& [x, y] : {std::pair{0.0, 0.0}, std::pair{1.0, 0.0}, std::pair{0.0, 1.0}})
        m.Apply(x, y, scale, image.Points);
      calls.push_back(image);
    }
  }
  EXPECT_FALSE(in.hasError()) << in.errorString().toStdString();
  return calls;
}

// Our calls against mupdf's, in order: the same kinds and path items, colours
// within 1, points within a pixel, the same Unicode for character runs.
void ExpectSameCalls(const std::vector<DeviceCall>& ours, const std::vector<DeviceCall>& theirs) {
  std::string both;
  for (size_t k = 0; k < std::max(ours.size(), theirs.size()); ++k)
    both += (k < ours.size() ? Describe(ours[k]) : "-") + "  |  " + (k < theirs.size() ? Describe(theirs[k]) : "-") +
            "\n";
  SCOPED_TRACE("ours | mupdf:\n" + both);
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t k = 0; k < ours.size(); ++k) {
    const DeviceCall& o = ours[k];
    const DeviceCall& t = theirs[k];
    SCOPED_TRACE("call " + std::to_string(k) + ": " + Describe(o));
    ASSERT_EQ(o.Kind, t.Kind);
    EXPECT_EQ(o.Items, t.Items);
    EXPECT_EQ(o.EvenOdd, t.EvenOdd);
    if (o.HasColour && t.HasColour) {
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(o.Colour[c], t.Colour[c], 1);
    }
    if (o.Kind == "stroke") {
      EXPECT_NEAR(o.Width, t.Width, 1);
      EXPECT_EQ(o.Cap, t.Cap);
      EXPECT_EQ(o.Join, t.Join);
    }
    if (o.Kind == "glyph" && o.Unit) {
      EXPECT_EQ(o.Unit, t.Unit);
    }
    if (o.Kind == "image" || o.Kind == "stencil") {
      EXPECT_EQ(o.ImageWidth, t.ImageWidth);
      EXPECT_EQ(o.ImageHeight, t.ImageHeight);
    }
    // A glyph after the first of its run has no position of its own.
    if (o.Points.empty()) continue;
    ASSERT_EQ(o.Points.size(), t.Points.size());
    for (size_t p = 0; p < o.Points.size(); ++p) EXPECT_NEAR(o.Points[p], t.Points[p], 1.0) << "coordinate " << p;
  }
}

TEST_F(PdfRendererCorpus, DeviceCallsAgreeWithMupdf) {
  const std::string pxtool = test::BuildFile("tools/pxtool/pxtool");
  for (const CorpusFile& f : files_) {
    if (f.NoTrace) continue;
    for (int32_t page = 1; page <= f.Pages; ++page) {
      std::string theirs;
      ASSERT_EQ(test::RunCommand("mutool trace " + f.Path + " " + std::to_string(page) + " 2>/dev/null", &theirs), 0);
      for (int32_t dpi : {72, 150}) {
        SCOPED_TRACE(f.Path + " page " + std::to_string(page) + " at " + std::to_string(dpi));
        std::string ours;
        ASSERT_EQ(test::RunCommand(pxtool + " pdf trace " + f.Path + " " + std::to_string(page) + " " +
                                       std::to_string(dpi) + " 2>/dev/null",
                                   &ours),
                  0);
        const std::vector<DeviceCall> o = OurCalls(ours), t = MupdfCalls(theirs, dpi);
        EXPECT_FALSE(o.empty());
        ExpectSameCalls(o, t);
      }
    }
  }
}

}  // namespace
}  // namespace px
