// Printing read documents onto a printer that writes a PDF file, checked by
// poppler: sheet count and size, the order of pages for ranges, copies and
// collation, the quarter turn of a landscape page, and failures.
#include <gtest/gtest.h>

#include <QImage>
#include <QTransform>
#include <filesystem>

#include "PdfGuiTestSupport.h"
#include "SmallPdf.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFPrinting.h"
#include "pdf/gui/UnitPDFRenderer.h"

namespace px {
namespace {

using test::SmallPdf;

std::unique_ptr<TPDFReader> readerOf(const std::string& bytes) {
  return std::make_unique<TPDFReader>(TPDFBuffer(bytes.begin(), bytes.end()));
}

// Puts a printer that writes an A4 PDF file in place for one test.
struct FilePrinter {
  test::TempDir dir;
  std::string file = dir.File("printed.pdf");
  TPrinter printer;
  TPrinter* old;
  FilePrinter() {
    printer.SetOutputFileName(file);
    printer.SetPageSizeMM(210, 297);
    old = SetPrinter(&printer);
  }
  ~FilePrinter() { SetPrinter(old); }
  int sheets() const {
    const std::string info = test::RunChecked("pdfinfo " + file);
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
  }
  // Sheet n (from 1) as pdftoppm draws it at the resolution.
  QImage sheet(int n, int dpi) const {
    const std::string base = dir.File("sheet" + std::to_string(n));
    test::RunChecked("pdftoppm -r " + std::to_string(dpi) + " -f " + std::to_string(n) + " -l " + std::to_string(n) +
                     " -singlefile -png " + file + " " + base);
    return QImage(QString::fromStdString(base + ".png"));
  }
};

// The page number whose colour fills the middle of the sheet, or 0.
int pageOnSheet(const QImage& image) {
  const QRgb p = image.pixel(image.width() / 2, image.height() / 3);
  for (int n = 1; n <= 9; ++n)
    if (std::abs(qRed(p) - SmallPdf::PageRed(n)) <= 3 && std::abs(qGreen(p) - SmallPdf::PageGreen(n)) <= 3) return n;
  return 0;
}

std::string fivePages() {
  SmallPdf pdf;
  for (int i = 1; i <= 5; ++i) pdf.Pages.push_back(SmallPdf::NumberedPage(i, 300, 420));
  return pdf.Build();
}

TEST(PDFPrinting, RangesCopiesAndCollation) {
  auto reader = readerOf(fivePages());
  struct Case {
    int32_t from, to, copies;
    bool collate;
    std::vector<int> pages;
  };
  const Case cases[] = {
      {2, 3, 2, true, {2, 3, 2, 3}},
      {2, 3, 2, false, {2, 2, 3, 3}},
      {0, 0, 1, true, {1, 2, 3, 4, 5}},
      {4, 0, 1, false, {4, 5}},
      {0, 9, 1, true, {1, 2, 3, 4, 5}},  // nothing beyond the page count
      {5, 5, 3, true, {5, 5, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to) + " x" + std::to_string(c.copies) +
                 (c.collate ? " collated" : ""));
    FilePrinter out;
    TPDFPrinting printing;
    printing.SetDocument(reader.get());
    EXPECT_TRUE(printing.Print("Report", c.from, c.to, c.copies, c.collate));
    EXPECT_EQ(printing.Sheets(), static_cast<int32_t>(c.pages.size()));
    ASSERT_EQ(out.sheets(), static_cast<int>(c.pages.size()));
    const std::string info = test::RunChecked("pdfinfo " + out.file);
    EXPECT_NE(info.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           Report"), std::string::npos) << info;
    std::vector<int> printed;
    for (int n = 1; n <= out.sheets(); ++n) printed.push_back(pageOnSheet(out.sheet(n, 10)));
    EXPECT_EQ(printed, c.pages);
  }
}

TEST(PDFPrinting, NothingToPrintStartsNoDocument) {
  auto reader = readerOf(fivePages());
  FilePrinter out;
  TPDFPrinting printing;
  printing.SetDocument(reader.get());
  EXPECT_FALSE(printing.Print("", 6, 0, 1, true));
  EXPECT_FALSE(printing.Print("", 0, 0, 0, true));
  EXPECT_FALSE(std::filesystem::exists(out.file));
  EXPECT_FALSE(out.printer.Printing());

  TPDFPrinting none;
  try {
    none.Print("", 0, 0, 1, true);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFPrinting: No PDF document assigned.");
  }
}

// Share of pixels whose channels all lie within the tolerance.
double matching(const QImage& a, const QImage& b, int tolerance) {
  if (a.size() != b.size()) return 0;
  int64_t same = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      same += std::abs(qRed(p) - qRed(q)) <= tolerance && std::abs(qGreen(p) - qGreen(q)) <= tolerance &&
              std::abs(qBlue(p) - qBlue(q)) <= tolerance;
    }
  return double(same) / (int64_t(a.width()) * a.height());
}

TEST(PDFPrinting, LandscapePageTurnsAQuarterOnAPortraitSheet) {
  SmallPdf pdf;
  pdf.Pages = {SmallPdf::NumberedPage(1, 841.89, 595.276), SmallPdf::NumberedPage(2)};
  test::TempDir dir;
  const std::string source = dir.File("source.pdf");
  test::WriteFileBytes(source, pdf.Build());
  auto reader = std::make_unique<TPDFReader>(source);
  FilePrinter out;
  TPDFPrinting printing;
  printing.SetDocument(reader.get());
  ASSERT_TRUE(printing.Print("", 0, 0, 1, true));
  EXPECT_GT(printing.Device().ResolutionX, 0);
  EXPECT_EQ(printing.Device().PhysicalWidth * 72 / printing.Device().ResolutionX, 595);

  for (int n = 1; n <= 2; ++n) {
    SCOPED_TRACE("page " + std::to_string(n));
    const std::string base = dir.File("page" + std::to_string(n));
    test::RunChecked("pdftoppm -r 20 -f " + std::to_string(n) + " -l " + std::to_string(n) + " -singlefile -png " +
                     source + " " + base);
    QImage page(QString::fromStdString(base + ".png"));
    // The landscape page, turned a quarter clockwise, fills the sheet.
    if (n == 1) page = page.transformed(QTransform().rotate(90));
    const QImage sheet = out.sheet(n, 20);
    ASSERT_EQ(sheet.size(), page.size());
    EXPECT_GT(matching(sheet.convertToFormat(QImage::Format_RGB32), page.convertToFormat(QImage::Format_RGB32), 24),
              0.97);
  }
  // The turn is clockwise: the page's blue top-left corner is at the
  // sheet's top right.
  const QImage first = out.sheet(1, 20);
  const QRgb corner = first.pixel(first.width() - 1 - 15, 15);
  EXPECT_LT(qRed(corner), 40);
  EXPECT_GT(qBlue(corner), 120);
}

TEST(PDFPrinting, AFailingPageAbortsTheJobAndPassesTheMessageOn) {
  SmallPdf pdf;
  pdf.Pages = {SmallPdf::NumberedPage(1), SmallPdf::NumberedPage(2)};
  pdf.Pages[1].Content = "1 2 3";
  auto reader = readerOf(pdf.Build());
  FilePrinter out;
  TPDFPrinting printing;
  printing.SetDocument(reader.get());
  try {
    printing.Print("", 0, 0, 1, true);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFRenderer: Page content incorrect.");
  }
  EXPECT_FALSE(out.printer.Printing());
  EXPECT_TRUE(out.printer.Aborted());
  EXPECT_FALSE(std::filesystem::exists(out.file)) << "no partial document";
  EXPECT_EQ(printing.Renderer().DC, nullptr);
}

}  // namespace
}  // namespace px
