// Pages of PDF files made by other programs drawn into our documents, checked
// by qpdf, poppler and mupdf: the copy must read, render and extract like its
// source.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PdfGuiTestSupport.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "pdf/gui/UnitPDFReport.h"
#include "platform/core/CodePages.h"

namespace px {
namespace {

using test::RunChecked;
using test::TempDir;

std::string BuildFile(const std::string& path) {
  const char* dir = std::getenv("PX_BUILD_DIR");
  return std::string(dir ? dir : "build/debug") + "/" + path;
}

// A source with standard and embedded TrueType fonts, an image and two pages.
const char* const ReportlabScript = R"py(
from reportlab.pdfgen import canvas
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.lib.utils import ImageReader
from PIL import Image
import sys
pdfmetrics.registerFont(TTFont('DejaVu', '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'))
c = canvas.Canvas(sys.argv[1], pagesize=(400, 300), pageCompression=1)
c.setFont('Helvetica', 14); c.drawString(20, 260, "Letterhead (with a slash / here)")
c.setFont('DejaVu', 12); c.drawString(20, 230, "Embedded DejaVu text")
c.setFillColorRGB(0.2, 0.4, 0.8); c.rect(20, 20, 120, 80, fill=1)
img = Image.new('RGB', (16, 8))
img.putdata([(x * 16, y * 32, 128) for y in range(8) for x in range(16)])
c.drawImage(ImageReader(img), 200, 40, 160, 80)
c.showPage()
c.setFont('Times-Roman', 20); c.drawString(30, 150, "Second page")
c.showPage()
c.save()
)py";

const char* const PostScript =
    "%!PS\n/Helvetica findfont 24 scalefont setfont\n72 700 moveto (Hello from PostScript) show\n"
    "0.8 0.2 0.2 setrgbcolor 72 500 200 100 rectfill\nshowpage\n";

// Every page of source drawn on a page of its MediaBox.
void ImportAll(const std::string& source, const std::string& target) {
  TPDFReader reader(source);
  TPDFPrinter printer;
  printer.SetOptions(7);
  for (int32_t page = 1; page <= reader.GetPageCount(); ++page) {
    TPDFBox box;
    ASSERT_TRUE(reader.GetMediaBox(page, box));
    printer.PageWidth = static_cast<int32_t>(std::lround((box.Right - box.Left) * 100));
    printer.PageHeight = static_cast<int32_t>(std::lround((box.Top - box.Bottom) * 100));
    if (page == 1) printer.BeginDoc();
    else printer.NewPage();
    printer.DrawLinkedPage(&reader, page - 1);
  }
  printer.EndDoc();
  TMemoryStream* document = printer.Document();
  test::WriteFileBytes(target, std::string(reinterpret_cast<const char*>(document->Memory()), document->Size()));
}

struct Image {
  int width = 0, height = 0;
  std::string pixels;
};

// The pages of a file at 72 dpi, as PPM images.
std::vector<Image> Render(const TempDir& dir, const std::string& file, const std::string& stem) {
  RunChecked("pdftoppm -r 72 " + file + " " + dir.File(stem));
  std::vector<Image> pages;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    if (entry.path().filename().string().rfind(stem + "-", 0) == 0) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::istringstream in(test::ReadFileBytes(path));
    std::string magic;
    Image image;
    int maxValue = 0;
    in >> magic >> image.width >> image.height >> maxValue;
    in.get();
    image.pixels.assign(std::istreambuf_iterator<char>(in), {});
    pages.push_back(std::move(image));
  }
  return pages;
}

// pdffonts' lines without the object numbers, sorted.
std::string Fonts(const std::string& file) {
  std::istringstream in(RunChecked("pdffonts " + file));
  std::vector<std::string> lines;
  std::string header;
  while (std::getline(in, header) && header.find("object ID") == std::string::npos) {
  }
  const size_t id = header.find("object ID");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("---", 0) != 0) lines.push_back(line.substr(0, std::min(id, line.size())));
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// The copy reads without a warning, extracts the same text and fonts and
// renders the same pixels as its source.
void ExpectLikeSource(const TempDir& dir, const std::string& source, const std::string& copy) {
  const std::string check = RunChecked("qpdf --check " + copy);
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
  EXPECT_EQ(RunChecked("pdftotext " + copy + " -"), RunChecked("pdftotext " + source + " -")) << source;
  EXPECT_EQ(Fonts(copy), Fonts(source)) << source;
  const std::vector<Image> want = Render(dir, source, "want"), got = Render(dir, copy, "got");
  ASSERT_EQ(got.size(), want.size()) << source;
  for (size_t page = 0; page < want.size(); ++page) {
    ASSERT_EQ(got[page].width, want[page].width) << source << " page " << page + 1;
    ASSERT_EQ(got[page].height, want[page].height) << source << " page " << page + 1;
    ASSERT_EQ(got[page].pixels.size(), want[page].pixels.size());
    size_t off = 0;
    for (size_t k = 0; k < want[page].pixels.size(); ++k)
      off += std::abs(static_cast<uint8_t>(got[page].pixels[k]) - static_cast<uint8_t>(want[page].pixels[k])) > 40;
    EXPECT_LE(off, want[page].pixels.size() / 2000) << source << " page " << page + 1;
  }
}

TEST(LinkedPage, SourcesOfOtherWritersDrawLikeThemselves) {
  TempDir dir;
  const std::string base = dir.File("base.pdf");
  test::WriteFileBytes(dir.File("make.py"), ReportlabScript);
  RunChecked("/usr/bin/python3 " + dir.File("make.py") + " " + base);
  test::WriteFileBytes(dir.File("in.ps"), PostScript);
  struct Source {
    const char* name;
    std::string command;
  } sources[] = {
      {"reportlab", "cp " + base + " OUT"},
      {"objstm", "qpdf --object-streams=generate " + base + " OUT"},
      {"rc4", "qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n -- " + base + " OUT"},
      // QDF keeps every stream length in an object of its own.
      {"aes-indirect-length", "qpdf --qdf --encrypt '' owner 128 --use-aes=y -- " + base + " OUT"},
      {"cairo", "pdftocairo -pdf " + base + " OUT"},
      {"ps2pdf", "ps2pdf " + dir.File("in.ps") + " OUT"},
      {"qt", BuildFile("tests/pdf/qpdfwriter/pdf_qpdfwriter_fixture") + " OUT"},
  };
  for (const Source& s : sources) {
    SCOPED_TRACE(s.name);
    const std::string source = dir.File(std::string(s.name) + ".pdf");
    std::string command = s.command;
    command.replace(command.find("OUT"), 3, source);
    RunChecked(command);
    const std::string copy = dir.File(std::string(s.name) + "-copy.pdf");
    ImportAll(source, copy);
    ExpectLikeSource(dir, source, copy);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path().extension() == ".ppm") std::filesystem::remove(entry.path());
  }
}

// A stream object's text with its Length.
std::string StreamObject(const std::string& entries, const std::string& data) {
  return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A file of the objects 1, 2, ... (1 the catalog, 2 the page tree, 3 the
// page); qpdf writes it with a correct cross-reference table.
void WriteFixture(const TempDir& dir, const std::string& file, const std::vector<std::string>& objects) {
  std::string text = "%PDF-1.4\n";
  for (size_t k = 0; k < objects.size(); ++k) text += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
  text += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\n%%EOF\n";
  test::WriteFileBytes(dir.File("raw.pdf"), text);
  // qpdf rebuilds the missing cross-reference table and says so (exit 3).
  std::string out;
  const int status = test::RunCommand("qpdf " + dir.File("raw.pdf") + " " + file + " 2>&1", &out);
  EXPECT_TRUE(status == 0 || status == 3) << out;
  RunChecked("qpdf --check " + file);
}

TEST(LinkedPage, FixturesOfTheRewriteDrawLikeThemselves) {
  const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>";
  const std::string pages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  const std::string helvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  auto page = [](const std::string& entries) {
    return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] " + entries + " >>";
  };
  // Inline image data (4 RGB pixels) holding "EI", "/" and white space.
  const std::string inlineImage = "q 200 0 0 40 20 20 cm BI /W 4 /H 1 /CS /RGB /BPC 8 ID AEI/ \t\r\n/CEI EI Q ";
  struct Fixture {
    const char* name;
    std::vector<std::string> objects;
  } fixtures[] = {
      {"comment holding a parenthesis",
       {catalog, pages, page("/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R"), helvetica,
        StreamObject("", "BT /F1 24 Tf 20 100 Td%(not a string\n(Hello) Tj ET")}},
      {"inline image holding EI and a slash",
       {catalog, pages, page("/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R"), helvetica,
        StreamObject("", inlineImage + "BT /F1 24 Tf 20 100 Td (After the image) Tj ET")}},
      {"escaped names",
       {catalog, pages, page("/Resources << /Font << /A#20B 4 0 R >> >> /Contents 5 0 R"), helvetica,
        StreamObject("", "/Tag#20X BMC BT /A#20B 24 Tf 20 100 Td (Escaped) Tj ET EMC")}},
      {"direct colour space and graphics state",
       {catalog, pages,
        page("/Resources << /ColorSpace << /CS0 [/CalRGB << /WhitePoint [0.9505 1 1.089] >>] >> "
             "/ExtGState << /a0 << /ca 0.5 >> >> >> /Contents 4 0 R"),
        StreamObject("", "/CS0 cs 1 0 0 sc /a0 gs 20 20 150 150 re f 0 0 1 sc 80 80 150 100 re f")}},
      {"inherited resources",
       {catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /Font << /F1 4 0 R >> >> >>",
        page("/Contents 5 0 R"), helvetica, StreamObject("", "BT /F1 24 Tf 20 100 Td (Inherited) Tj ET")}},
      {"one name in two categories",
       {catalog, pages,
        page("/Resources << /Font << /R7 4 0 R >> /ExtGState << /R7 << /ca 0.3 >> >> >> /Contents 5 0 R"), helvetica,
        StreamObject("", "/R7 gs 0 0 1 rg 10 10 100 100 re f BT /R7 30 Tf 20 100 Td (Twice) Tj ET")}},
      {"form whose resources name itself",
       {catalog, pages, page("/Resources << /XObject << /Fm 4 0 R >> >> /Contents 5 0 R"),
        "<< /Type /XObject /Subtype /Form /BBox [0 0 300 200] /Resources << /XObject << /Fm 4 0 R >> >> /Length 6 0 R "
        ">>\nstream\n0 0.5 0 rg 30 30 120 60 re f\nendstream",
        StreamObject("", "/Fm Do"), "30"}},
  };
  TempDir dir;
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.name);
    const std::string source = dir.File("fixture.pdf"), copy = dir.File("copy.pdf");
    WriteFixture(dir, source, f.objects);
    ImportAll(source, copy);
    ExpectLikeSource(dir, source, copy);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path().extension() == ".ppm") std::filesystem::remove(entry.path());
  }
}

TEST(LinkedPage, OnePageOnTwoPagesIsCopiedOnce) {
  TempDir dir;
  const std::string base = dir.File("src.pdf");
  test::WriteFileBytes(dir.File("make.py"), ReportlabScript);
  RunChecked("/usr/bin/python3 " + dir.File("make.py") + " " + base);
  const std::string out = dir.File("out.pdf");
  const std::string printed =
      RunChecked(BuildFile("tools/pxtool/pxtool") + " pdf import " + out + " " + base + ":1 " + base + ":1");
  // Two fonts (one embedded, with its descriptor and program), the image
  // and the rest of the shared resources; the second page copies nothing.
  EXPECT_EQ(printed, "page 1 " + base + ":1 objects 7 names X1-X4\npage 2 " + base + ":1 objects 0 names X1-X4\n");
  // Each font and image object once in the whole file.
  const std::string count = RunChecked(
      "qpdf --json=1 --json-key=objects " + out +
      " | /usr/bin/python3 -c \"import json,sys; o=json.load(sys.stdin)['objects']; "
      "print(sum(1 for v in o.values() if isinstance(v, dict) and (v.get('/Type') == '/Font' or "
      "v.get('/Subtype') == '/Image')))\"");
  EXPECT_EQ(count, "4\n");
}

TEST(LinkedPage, PxtoolImportLinesAndErrors) {
  TempDir dir;
  const std::string base = dir.File("src.pdf");
  test::WriteFileBytes(dir.File("make.py"), ReportlabScript);
  RunChecked("/usr/bin/python3 " + dir.File("make.py") + " " + base);
  const std::string pxtool = BuildFile("tools/pxtool/pxtool");
  const std::string out = dir.File("out.pdf");
  const std::string printed = RunChecked(pxtool + " pdf import --format 1 --text 'Producer text' " + out + " " + base +
                                         ":2+" + base + ":1 " + base + ":2");
  EXPECT_EQ(printed, "page 1 " + base + ":2 objects 6 names X1-X3\npage 1 " + base +
                         ":1 objects 1 names X4-X7\npage 2 " + base + ":2 objects 0 names X1-X3\n");
  RunChecked("qpdf --check " + out);
  const std::string text = RunChecked("pdftotext " + out + " -");
  EXPECT_NE(text.find("Producer text"), std::string::npos) << text;
  EXPECT_NE(text.find("Second page", text.find("Second page") + 1), std::string::npos) << text;

  struct Bad {
    std::string args, message;
  } bad[] = {
      {out + " " + base + ":3", "Page index out of range."},
      {out + " " + base + ":1+" + base + ":9", "Page index out of range."},
      {out + " " + dir.File("missing.pdf") + ":1", "missing.pdf"},
  };
  for (const Bad& b : bad) {
    std::string output;
    EXPECT_NE(test::RunCommand(pxtool + " pdf import " + b.args + " 2>&1", &output), 0) << b.args;
    EXPECT_NE(output.find(b.message), std::string::npos) << output;
  }
  std::string output;
  EXPECT_EQ(test::RunCommand(pxtool + " pdf import " + out + " " + base + " 2>&1", &output), 2) << output;
}

// A one-page report of the source's size: a page of the file as underlay,
// a text item, the source's second page (an open document) as overlay.
std::unique_ptr<TPDFReport> LetterheadReport(const std::string& file, TPDFReader& overlay, int32_t underlayPage) {
  auto report = std::make_unique<TPDFReport>();
  report->PageWidth = 40000;
  report->PageHeight = 30000;
  TReportPage* page = report->AddPage();
  page->Underlay.FileName = file;
  page->Underlay.PageIndex = underlayPage;
  page->Overlay.Document = &overlay;
  page->Overlay.PageIndex = 1;
  auto text = std::make_unique<TReportText>();
  TFont font;
  font.SetName("Liberation Sans");
  font.SetSize(12);
  text->SetFont(font);
  text->SetText(u"Producer text between");
  text->Left = 2000;
  text->Top = 10000;
  page->AddItem(std::move(text));
  return report;
}

TEST(LinkedPage, ReportUnderlayTextAndOverlay) {
  TempDir dir;
  const std::string base = dir.File("src.pdf");
  test::WriteFileBytes(dir.File("make.py"), ReportlabScript);
  RunChecked("/usr/bin/python3 " + dir.File("make.py") + " " + base);
  TPDFReader overlay(base);
  auto build = [&](int32_t underlayPage) { return LetterheadReport(base, overlay, underlayPage); };
  auto report = build(0);
  report->Draw();
  TMemoryStream* document = report->Printer().Document();
  ASSERT_NE(document, nullptr);
  const std::string file = dir.File("report.pdf");
  test::WriteFileBytes(file, std::string(reinterpret_cast<const char*>(document->Memory()), document->Size()));
  RunChecked("qpdf --check " + file);
  const std::string text = RunChecked("pdftotext " + file + " -");
  const size_t under = text.find("Letterhead"), mine = text.find("Producer text between"),
               over = text.find("Second page");
  EXPECT_NE(under, std::string::npos) << text;
  EXPECT_NE(mine, std::string::npos) << text;
  EXPECT_NE(over, std::string::npos) << text;
  // This mutool says once that it was built without colour management.
  std::string warnings = RunChecked("mutool draw -q -o " + dir.File("page.png") + " " + file);
  if (warnings.rfind("warning: ICC support is not available\n", 0) == 0) warnings.erase(0, 38);
  EXPECT_EQ(warnings, "");
  RunChecked("pdftoppm -r 50 -png " + file + " " + dir.File("report"));

  // A page that is not there, a file that is not there, a damaged file:
  // the drawing fails and leaves no document.
  test::WriteFileBytes(dir.File("damaged.pdf"), "%PDF-1.4\nnothing else\n");
  for (const std::string& name : {base, dir.File("nothing.pdf"), dir.File("damaged.pdf")}) {
    auto failing = build(name == base ? 7 : 0);
    failing->Pages()[0]->Underlay.FileName = name;
    EXPECT_THROW(failing->Draw(), Exception) << name;
    EXPECT_FALSE(failing->Printer().Printing()) << name;
    EXPECT_EQ(failing->Printer().Document(), nullptr) << name;
  }
}

// On a canvas that is not a PDF canvas (a bitmap at 72 dpi) the linked pages
// are rendered into the page rectangle: the underlay under the items, the
// overlay over them.
TEST(LinkedPage, ReportUnderlayAndOverlayOnABitmap) {
  TempDir dir;
  const std::string base = dir.File("src.pdf");
  test::WriteFileBytes(dir.File("make.py"), ReportlabScript);
  RunChecked("/usr/bin/python3 " + dir.File("make.py") + " " + base);
  TPDFReader overlay(base);
  auto owned = LetterheadReport(base, overlay, 0);
  TPDFReport& report = *owned;
  report.Resolution = 72;
  TReportPage* page = report.Pages()[0].get();
  // A black bar over the letterhead's blue rectangle: an item drawn after
  // the underlay covers it.
  auto bar = std::make_unique<TReportLine>();
  bar->Pen.SetColor(clBlack);
  bar->Pen.SetWidth(1000);
  bar->P1 = TPoint{2000, 24000};
  bar->P2 = TPoint{14000, 24000};
  page->AddItem(std::move(bar));

  TBitmap bitmap(400, 300, pf24bit);
  bitmap.Canvas().Brush().SetColor(clWhite);
  bitmap.Canvas().FillRect(TRect{0, 0, 400, 300});
  report.DrawPage(page, &bitmap.Canvas());
  bitmap.ToQImage().save(QString::fromStdString(dir.File("bitmap.png")));
  if (const char* keep = std::getenv("PX_KEEP_PNG")) bitmap.ToQImage().save(QString::fromStdString(keep));

  auto dark = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const TColor c = bitmap.GetPixel(x, y);
        n += GetRValue(c) < 100 && GetGValue(c) < 100 && GetBValue(c) < 100;
      }
    return n;
  };
  // The letterhead's blue rectangle (PDF 20,20 120×80: device 20..140, 200..280).
  for (const TPoint p : {TPoint{30, 210}, TPoint{130, 270}, TPoint{80, 220}}) {
    const TColor c = bitmap.GetPixel(p.X, p.Y);
    EXPECT_NEAR(GetRValue(c), 51, 3) << p.X << "," << p.Y;
    EXPECT_NEAR(GetGValue(c), 102, 3) << p.X << "," << p.Y;
    EXPECT_NEAR(GetBValue(c), 204, 3) << p.X << "," << p.Y;
  }
  // The item's bar lies on the blue rectangle: drawn after the underlay.
  const TColor barPixel = bitmap.GetPixel(80, 240);
  EXPECT_LT(GetRValue(barPixel) + GetGValue(barPixel) + GetBValue(barPixel), 60);
  EXPECT_EQ(bitmap.GetPixel(10, 240), clWhite);
  // The letterhead's text, the producer's text and the overlay's text.
  EXPECT_GT(dark(20, 26, 240, 42), 100);   // "Letterhead …", Helvetica 14 at y 40
  EXPECT_GT(dark(20, 86, 200, 118), 100);  // the item, 12 points about y 100
  EXPECT_GT(dark(30, 134, 140, 152), 100); // "Second page", Times 20 at y 150
  EXPECT_EQ(dark(250, 140, 400, 190), 0);  // nothing where no page draws

  // A page index outside the document fails before anything is drawn.
  page->Overlay.PageIndex = 2;
  try {
    report.DrawPage(page, &bitmap.Canvas());
    ADD_FAILURE() << "no error";
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Page index out of range.");
  }
}

}  // namespace
}  // namespace px
