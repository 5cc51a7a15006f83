// Whole documents from the producer, checked with outside readers.
#include <gtest/gtest.h>

#include <QImage>

#include "pdf/gui/UnitPDFFont.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "platform/core/Debug.h"
#include "platform/core/Fonts.h"
#include "PdfGuiTestSupport.h"

namespace px {
namespace {

using test::RunCommand;
using test::TempDir;

std::string run(const std::string& command) { return test::RunChecked(command); }

std::string save(TPDFPrinter& p, const TempDir& dir, const std::string& name) {
  TMemoryStream* doc = p.Document();
  EXPECT_NE(doc, nullptr);
  const std::string path = dir.File(name);
  doc->SaveToFile(path);
  return path;
}

TEST(PDFPrinter, EmptyPageObjectOrder) {
  TempDir dir;
  TPDFPrinter p;
  p.BeginDoc();
  p.EndDoc();
  const std::string path = save(p, dir, "empty.pdf");
  EXPECT_EQ(run("qpdf --check " + path).find("WARNING"), std::string::npos);
  // Objects in the order of adding: catalog, page tree, page, its content
  // (empty, so without a filter), the information dictionary.
  const std::string json = run("qpdf --json=1 --json-key=objects " + path);
  for (const char* want : {"\"1 0 R\": {\n      \"/Pages\": \"2 0 R\",\n      \"/Type\": \"/Catalog\"",
                           "\"2 0 R\": {\n      \"/Count\": 1", "\"3 0 R\": {\n      \"/Contents\": \"4 0 R\"",
                           "\"4 0 R\": {\n      \"/Length\": 0\n    }", "\"5 0 R\": {\n      \"/CreationDate\"",
                           "\"/Size\": 6"})
    EXPECT_NE(json.find(want), std::string::npos) << want << "\n" << json;
}

TEST(PDFPrinter, StateErrors) {
  TPDFPrinter p;
  auto message = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const EPDFPrinterException& e) {
      return e.Message();
    }
    return std::string("no exception");
  };
  EXPECT_EQ(message([&] { p.NewPage(); }), "TPDFPrinter: Printing.");
  EXPECT_EQ(message([&] { p.Canvas(); }), "TPDFPrinter: Printing.");
  p.BeginDoc();
  EXPECT_EQ(message([&] { p.SetOptions(7); }), "TPDFPrinter: Not Printing.");
  EXPECT_EQ(message([&] { p.BeginDoc(); }), "TPDFPrinter: Not Printing.");
  EXPECT_EQ(p.AddLayer("hidden", false), 0);
  p.Abort();
  EXPECT_EQ(p.Document(), nullptr);
  // A document that cannot be written leaves no result behind.
  p.OutputFormat = 0;
  p.MetadataMode = 2;
  p.BeginDoc();
  EXPECT_THROW(p.EndDoc(), Exception);
  EXPECT_FALSE(p.Printing());
  EXPECT_EQ(p.Document(), nullptr);
}

// A page of every kind of content, with fonts embedded and subset.
void drawMixedPage(TPDFPrinter& p) {
  TPDFCanvas& c = p.Canvas();
  c.Pen().SetColor(clBlue);
  c.Pen().SetWidth(12);
  c.Brush().SetColor(clRed);
  c.Rectangle(600, 600, 1800, 1800);
  c.Brush().SetColor(clLime);
  c.Ellipse(2400, 600, 3600, 1800);
  c.Brush().SetStyle(bsClear);
  c.Font().SetName("Liberation Sans");
  c.Font().SetSize(14);
  c.Font().SetColor(clBlack);
  c.TextOut(600, 2400, std::string("ASCII text"));
  c.TextOut(600, 2700, UnicodeString(u"\u20AC 1.234,56"));
  c.Font().SetName("DejaVu Sans");
  c.TextOut(600, 3000, UnicodeString(u"Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144"));
  c.TextOut(600, 3300, UnicodeString(u"\u041F\u0440\u0438\u0432\u0435\u0442 \u03B1\u03B2\u03B3"));
  TBitmap logo(20, 10, pf24bit);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) logo.SetPixelColor(x, y, x < 10 ? clNavy : clYellow);
  c.StretchDraw(Rect(3000, 2400, 4200, 3000), logo);
}

TEST(PDFPrinter, DocumentsPassReadersInEveryFormat) {
  TempDir dir;
  struct Variant {
    uint8_t format;
    uint8_t encryption;
  };
  for (const Variant v : {Variant{0, 0}, Variant{1, 0}, Variant{0, 1}, Variant{1, 2}}) {
    TPDFPrinter p;
    p.SetOptions(7);
    p.OutputFormat = v.format;
    p.EncryptionKind = v.encryption;
    p.OwnerPassword = "owner";
    p.MetadataMode = 1;
    p.Title = "Test";
    p.BeginDoc();
    p.AddLayer("shown", true);
    drawMixedPage(p);
    p.Canvas().SetLayer(0);
    p.Canvas().Rectangle(0, 0, 100, 100);
    p.NewPage();
    p.Canvas().TextOut(600, 600, std::string("page two"));
    p.EndDoc();
    const std::string path = save(p, dir, "doc.pdf");
    const std::string check = run("qpdf --check " + path);
    EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
    EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
    const std::string text = run("pdftotext -layout " + path + " -");
    for (const char* want : {"ASCII text", "\u20AC 1.234,56", "Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144",
                             "\u041F\u0440\u0438\u0432\u0435\u0442 \u03B1\u03B2\u03B3", "page two"})
      EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
  }
}

TEST(PDFPrinter, FontsAreEmbeddedSubsetAndExtractable) {
  TempDir dir;
  TPDFPrinter p;
  p.SetOptions(7);
  p.BeginDoc();
  drawMixedPage(p);
  p.EndDoc();
  const std::string path = save(p, dir, "fonts.pdf");
  const std::string fonts = run("pdffonts " + path);
  // name, type, encoding, emb, sub, uni
  int lines = 0;
  for (size_t at = fonts.find('\n', fonts.find("-----")); at != std::string::npos && at + 1 < fonts.size();
       at = fonts.find('\n', at + 1)) {
    std::string line = fonts.substr(at + 1, fonts.find('\n', at + 1) - at - 1);
    if (line.empty()) continue;
    ++lines;
    EXPECT_EQ(line[6], '+') << line;
    EXPECT_NE(line.find("yes yes"), std::string::npos) << line;  // embedded and subset
    if (line.find("CID TrueType") != std::string::npos) EXPECT_NE(line.find("yes yes yes"), std::string::npos) << line;
  }
  EXPECT_EQ(lines, 3) << fonts;  // Liberation Sans simple and composite, DejaVu Sans composite
  // Each subset program loads with valid checksums; its used glyphs keep the
  // installed font's outlines and advances, and the widths match hmtx.
  const std::string script = (test::FixturesDir() / "pdfgui" / "check_subsets.py").string();
  const std::string out = run("/usr/bin/python3 " + script + " " + path + " " + dir.Path().string());
  EXPECT_NE(out.find("checked 3 fonts"), std::string::npos) << out;
}

// A face that resolves to CFF outlines (the URW fonts are OpenType CFF) is
// replaced by the nearest TrueType face, which is embedded; the warning says
// which face was taken.
TEST(PDFPrinter, FacesWithCFFOutlinesGiveWayToTrueType) {
  ASSERT_EQ(ResolveFontFace("Nimbus Sans", FW_BOLD, false)->Format, "CFF");
  TempDir dir;
  TDebugCapture debug;
  TPDFPrinter p;
  p.SetOptions(7);
  p.BeginDoc();
  p.Canvas().Font().SetName("Nimbus Sans");
  p.Canvas().Font().SetStyle(TFontStyles{TFontStyle::fsBold});
  p.Canvas().TextOut(600, 600, std::string("Nimbus in TrueType"));
  p.EndDoc();
  const std::string path = save(p, dir, "cff.pdf");
  const std::string fonts = run("pdffonts " + path);
  EXPECT_NE(fonts.find("DejaVuSans-Bold"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("TrueType"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("yes yes"), std::string::npos) << fonts;  // embedded and subset
  EXPECT_NE(run("pdftotext " + path + " -").find("Nimbus in TrueType"), std::string::npos);
  const std::vector<std::string> lines = debug.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Font Nimbus SansBi resolves to Nimbus Sans Bold with CFF outlines, which cannot be embedded; "
                      "embedded the TrueType face DejaVu Sans Bold in its place"),
            lines.end())
      << (lines.empty() ? std::string() : lines.front());
}

TEST(PDFPrinter, ImagesComeBackAndALogoIsStoredOnce) {
  TempDir dir;
  TPDFPrinter p;
  p.BeginDoc();
  struct Source {
    TPixelFormat format;
    int32_t width;
  };
  std::vector<std::unique_ptr<TBitmap>> bitmaps;
  for (const Source s : {Source{pf1bit, 7}, Source{pf4bit, 5}, Source{pf8bit, 9}, Source{pf24bit, 3}, Source{pf32bit, 6}}) {
    auto b = std::make_unique<TBitmap>(s.width, 4, s.format);
    if (s.format == pf4bit) b->SetPalette({clRed, clLime, clBlue, clYellow, clWhite});
    if (s.format == pf8bit) {
      std::vector<TColor> ramp;
      for (int i = 0; i < 256; ++i) ramp.push_back(RGB(i, i, i));
      b->SetPalette(ramp);
    }
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < s.width; ++x) {
        TColor c = s.format == pf1bit   ? ((x + y) % 2 ? clWhite : clBlack)
                   : s.format == pf4bit ? std::vector<TColor>{clRed, clLime, clBlue, clYellow, clWhite}[(x + y) % 5]
                   : s.format == pf8bit ? RGB(x * 28, x * 28, x * 28)
                                        : RGB(x * 40, y * 60, 200);
        b->SetPixelColor(x, y, c);
      }
    bitmaps.push_back(std::move(b));
  }
  for (size_t i = 0; i < bitmaps.size(); ++i)
    p.Canvas().StretchDraw(Bounds(600, 600 + static_cast<int32_t>(i) * 600, 500, 400), *bitmaps[i]);
  p.NewPage();
  p.Canvas().Draw(0, 0, *bitmaps[3]);
  p.NewPage();
  p.Canvas().Draw(0, 0, *bitmaps[3]);
  p.EndDoc();
  const std::string path = save(p, dir, "images.pdf");
  const std::string list = run("pdfimages -list " + path);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2 + 5 + 2) << list;
  run("pdfimages -png " + path + " " + dir.File("img"));
  for (size_t i = 0; i < bitmaps.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "img-%03zu.png", i);
    QImage img(QString::fromStdString(dir.File(name)));
    ASSERT_FALSE(img.isNull()) << name;
    ASSERT_EQ(img.width(), bitmaps[i]->Width());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < img.width(); ++x)
        EXPECT_EQ(FromQColor(img.pixelColor(x, y)), bitmaps[i]->GetPixel(x, y)) << name << " " << x << "," << y;
  }
  // The same logo on two pages is one object.
  const std::string objects = run("pdfimages -list " + path + " | awk 'NR>2 {print $11}' | sort -u | wc -l");
  EXPECT_EQ(std::stoi(objects), 5) << list;
}

TEST(PDFPrinter, RenderersDrawTheMixedPageAndHideOffLayers) {
  TempDir dir;
  TPDFPrinter p;
  p.SetOptions(7);
  p.PageWidth = p.PageHeight = 7200;  // one inch
  p.BeginDoc();
  p.AddLayer("off", false);
  TPDFCanvas& c = p.Canvas();
  c.Pen().SetStyle(psClear);
  c.Brush().SetColor(clRed);
  c.Rectangle(0, 0, 300, 300);
  c.SetLayer(0);
  c.Brush().SetColor(clBlue);
  c.Rectangle(300, 300, 600, 600);
  c.SetLayer(-1);
  c.Font().SetName("DejaVu Sans");
  c.Font().SetSize(20);
  c.Brush().SetStyle(bsClear);
  c.TextOut(0, 350, std::string("W"));
  p.EndDoc();
  const std::string path = save(p, dir, "render.pdf");
  const std::string out = run("pdftoppm -r 60 -png " + path + " " + dir.File("pop"));
  EXPECT_EQ(out, "");
  std::string mu = run("mutool draw -r 60 -o " + dir.File("mu.png") + " " + path);
  // This build of the tool says so on every run; it is not about the file.
  const std::string icc = "warning: ICC support is not available\n";
  if (mu.rfind(icc, 0) == 0) mu.erase(0, icc.size());
  EXPECT_EQ(mu.find("warning"), std::string::npos) << mu;
  EXPECT_EQ(mu.find("error"), std::string::npos) << mu;
  for (const std::string file : {dir.File("pop-1.png"), dir.File("mu.png")}) {
    QImage img(QString::fromStdString(file));
    ASSERT_FALSE(img.isNull()) << file;
    EXPECT_EQ(img.pixelColor(15, 15), QColor(Qt::red)) << file;
    EXPECT_EQ(img.pixelColor(45, 45), QColor(Qt::white)) << file;  // the OFF layer's square is absent
    int dark = 0;
    for (int y = 35; y < 60; ++y)
      for (int x = 0; x < 25; ++x) dark += qGray(img.pixel(x, y)) < 100;
    EXPECT_GT(dark, 10) << file;  // the letter
  }
}

}  // namespace
}  // namespace px
