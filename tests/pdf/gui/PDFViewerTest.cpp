// The page viewer: layout and zoom, the part cache with its compressed
// entries, the pages it shows against the renderer run by pxtool, links,
// actions and destinations, the mouse protocol and damaged pages.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "PdfGuiTestSupport.h"
#include "SmallPdf.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFViewer.h"
#include "platform/core/Debug.h"
#include "platform/gui/Forms.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::SmallPdf;

std::unique_ptr<TPDFReader> readerOf(const std::string& bytes) {
  TPDFBuffer data(bytes.begin(), bytes.end());
  return std::make_unique<TPDFReader>(std::move(data));
}

std::string numberedPages(int count, double width = 595.276, double height = 841.89) {
  SmallPdf pdf;
  for (int i = 1; i <= count; ++i) pdf.Pages.push_back(SmallPdf::NumberedPage(i, width, height));
  return pdf.Build();
}

struct ViewerFixture {
  std::unique_ptr<TPDFReader> reader;
  TObjectPtr<TForm> form = MakeObject<TForm>(nullptr);
  TPDFViewer* viewer;
  ViewerFixture(const std::string& pdf, int32_t w = 500, int32_t h = 400) {
    form->SetBounds(0, 0, w + 20, h + 20);
    viewer = CreateComponent<TPDFViewer>(form.get());
    viewer->SetParent(form.get());
    viewer->SetBounds(0, 0, w, h);
    reader = readerOf(pdf);
    viewer->SetDocument(reader.get(), false);
  }
  // Paints the control as the screen would.
  TBitmap& grab() {
    PaintControlTo(*viewer, shot);
    return shot;
  }
  TBitmap shot;
  // The client point of a PDF point on page n (from 1).
  TPoint clientOf(int n, double x, double y) const {
    const TPDFPagePart& p = viewer->PageInfos()[size_t(n - 1)].Parts[0];
    const int32_t dx = p.Rect.Left + int32_t(std::lround((x - p.Left) / (p.Right - p.Left) * p.Rect.Width()));
    const int32_t dy = p.Rect.Bottom - int32_t(std::lround((y - p.Bottom) / (p.Top - p.Bottom) * p.Rect.Height()));
    return {dx - viewer->ScrollX() + viewer->Margins().Left, dy - viewer->ScrollY() + viewer->Margins().Top};
  }
};

int bitmapsIn(TMemDataSet& cache) {
  int n = 0;
  for (TMemRecord* r = cache.First(); r; r = r->GetNext()) n += static_cast<TPDFPagePartCacheItem*>(r)->Bitmap != nullptr;
  return n;
}

int64_t compressedBytesIn(TMemDataSet& cache) {
  int64_t n = 0;
  for (TMemRecord* r = cache.First(); r; r = r->GetNext())
    n += static_cast<int64_t>(static_cast<TPDFPagePartCacheItem*>(r)->Compressed.size());
  return n;
}

TEST(PDFViewer, LayoutAndZoom) {
  SmallPdf pdf;
  pdf.Pages = {SmallPdf::NumberedPage(1), SmallPdf::NumberedPage(2, 841.89, 595.276), SmallPdf::NumberedPage(3)};
  ViewerFixture f(pdf.Build());
  TPDFViewer& v = *f.viewer;
  EXPECT_EQ(v.Zoom(), 100);
  EXPECT_EQ(v.CacheSize(), 4000000);
  EXPECT_TRUE(v.TabStop);
  ASSERT_EQ(v.PageInfos().size(), 3u);
  // At 96 pixels an inch an A4 page is 794 x 1123.
  const TRect expected[] = {Rect(5, 5, 799, 1128), Rect(5, 1138, 1128, 1932), Rect(5, 1942, 799, 3065)};
  for (int i = 0; i < 3; ++i) {
    const TPDFPageInfo& info = v.PageInfos()[size_t(i)];
    EXPECT_EQ(info.Parts.size(), 1u);
    EXPECT_EQ(info.Parts[0].Key, i);
    EXPECT_EQ(info.Parts[0].Rect, expected[i]) << i;
    TRect frame = expected[i];
    frame.Inflate(1, 1);
    EXPECT_EQ(info.Frame, frame);
  }
  EXPECT_EQ(v.ExtentWidth(), 1123 + 10);
  EXPECT_EQ(v.ExtentHeight(), 3065 + 5);

  // Zoom 200 from (100, 1000) goes to (200, 2000) on the new layout.
  v.ScrollTo(100, 1000);
  ASSERT_EQ(TPoint(v.ScrollX(), v.ScrollY()), TPoint(100, 1000));
  v.SetZoom(200);
  EXPECT_EQ(v.PageInfos()[0].Parts[0].Rect, Rect(5, 5, 5 + 1587, 5 + 2245));
  EXPECT_EQ(TPoint(v.ScrollX(), v.ScrollY()), TPoint(200, 2000));
  // Back to 100 the position halves and is clamped to the smaller extent.
  v.ScrollTo(v.ExtentWidth(), v.ExtentHeight());
  v.SetZoom(100);
  EXPECT_EQ(v.ScrollX(), v.ExtentWidth() - v.ViewWidth());
  EXPECT_EQ(v.ScrollY(), v.ExtentHeight() - v.ViewHeight());

  struct Case {
    float typed, zoom;
  };
  // Values of 0 or less are ignored; larger ones stop at 400 % of A4.
  for (const Case& c : {Case{0, 100}, Case{-5, 100}, Case{150, 150}, Case{1000, 400}, Case{401, 400}, Case{33, 33}}) {
    v.SetZoom(c.typed);
    EXPECT_FLOAT_EQ(v.Zoom(), c.zoom) << c.typed;
  }
  // A page four times A4 in area is held at 200 %.
  ViewerFixture big(SmallPdf{{SmallPdf::NumberedPage(1, 2 * 595.276, 2 * 841.89)}}.Build());
  big.viewer->SetZoom(400);
  EXPECT_NEAR(big.viewer->Zoom(), 200, 0.01);

  // ShowPage scrolls the page's frame to the top; numbers out of range do nothing.
  v.SetZoom(100);
  v.ShowPage(2);
  EXPECT_EQ(v.ScrollY(), 1137);
  v.ShowPage(4);
  v.ShowPage(0);
  EXPECT_EQ(v.ScrollY(), 1137);
  int32_t page = 0;
  double x = 0, y = 0;
  const TPoint at = f.clientOf(2, 100, 200);
  ASSERT_TRUE(v.PageAtPos(at.X, at.Y, page, x, y));
  EXPECT_EQ(page, 2);
  EXPECT_NEAR(x, 100, 1.1);
  EXPECT_NEAR(y, 200, 1.1);
  EXPECT_FALSE(v.PageAtPos(1, 1, page, x, y)) << "the gap above a page";

  v.Clear();
  EXPECT_EQ(v.Document(), nullptr);
  EXPECT_TRUE(v.PageInfos().empty());
}

TEST(PDFViewer, CacheKeepsFourBitmapsAndCompressesTheRest) {
  ViewerFixture f(numberedPages(10, 300, 400), 500, 300);
  TPDFViewer& v = *f.viewer;
  TMemDataSet& cache = *v.Cache();
  for (int n = 1; n <= 10; ++n) {
    v.ShowPage(n);
    f.grab();
  }
  EXPECT_EQ(cache.GetRecordCount(), 10);
  EXPECT_EQ(bitmapsIn(cache), 4);
  EXPECT_EQ(v.CacheBytes(), compressedBytesIn(cache));
  EXPECT_GT(v.CacheBytes(), 0);
  // The most recent first: pages 10, 9, 8, 7 hold bitmaps.
  int key = 9;
  for (TMemRecord* r = cache.First(); r; r = r->GetNext(), --key) {
    auto* item = static_cast<TPDFPagePartCacheItem*>(r);
    EXPECT_EQ(r->GetInteger(0), key);
    EXPECT_EQ(item->Bitmap != nullptr, key >= 6) << key;
    EXPECT_EQ(item->Compressed.empty(), key >= 6) << key;
  }
  // Going back decompresses page 1 and compresses the fifth most recent.
  v.ShowPage(1);
  TBitmap& shot = f.grab();
  EXPECT_EQ(bitmapsIn(cache), 4);
  EXPECT_EQ(cache.First()->GetInteger(0), 0);
  EXPECT_EQ(v.CacheBytes(), compressedBytesIn(cache));
  // What a decompressed page shows is what it showed when rendered.
  ViewerFixture fresh(numberedPages(10, 300, 400), 500, 300);
  fresh.viewer->ShowPage(1);
  TBitmap& first = fresh.grab();
  int differ = 0;
  for (int32_t y = 0; y < shot.Height(); ++y)
    for (int32_t x = 0; x < shot.Width(); ++x) differ += shot.GetPixel(x, y) != first.GetPixel(x, y);
  EXPECT_EQ(differ, 0);

  // A bound below the compressed bytes frees the least recently used.
  const int64_t oneImage = static_cast<int64_t>(static_cast<TPDFPagePartCacheItem*>(cache.Last())->Compressed.size());
  v.SetCacheSize(static_cast<int32_t>(v.CacheBytes() - oneImage));
  EXPECT_EQ(cache.GetRecordCount(), 9);
  EXPECT_LE(v.CacheBytes(), v.CacheSize());
  // CacheSize 0 frees every compressed entry and keeps the four bitmaps.
  v.SetCacheSize(0);
  EXPECT_EQ(cache.GetRecordCount(), 4);
  EXPECT_EQ(bitmapsIn(cache), 4);
  EXPECT_EQ(v.CacheBytes(), 0);
  for (int n = 2; n <= 10; ++n) {
    v.ShowPage(n);
    f.grab();
    EXPECT_LE(cache.GetRecordCount(), 4);
  }
  // A new zoom empties the cache; what it holds then is drawn at that zoom.
  v.SetZoom(50);
  EXPECT_LE(cache.GetRecordCount(), 2);
  EXPECT_EQ(v.CacheBytes(), 0);
  for (TMemRecord* r = cache.First(); r; r = r->GetNext())
    EXPECT_EQ(static_cast<TPDFPagePartCacheItem*>(r)->Bitmap->Width(), v.PageInfos()[0].Parts[0].Rect.Width());
}

TEST(PDFViewer, VisiblePagesEqualTheRendererThroughPxtool) {
  test::TempDir dir;
  SmallPdf pdf;
  pdf.Pages = {SmallPdf::NumberedPage(1), SmallPdf::NumberedPage(2, 400, 300)};
  const std::string bytes = pdf.Build();
  test::WriteFileBytes(dir.File("doc.pdf"), bytes);
  ViewerFixture f(bytes, 900, 1600);
  TBitmap& shot = f.grab();
  const std::string pxtool = std::string(std::getenv("PX_BUILD_DIR")) + "/tools/pxtool/pxtool";
  for (int n = 1; n <= 2; ++n) {
    SCOPED_TRACE("page " + std::to_string(n));
    const std::string png = dir.File("page" + std::to_string(n) + ".png");
    test::RunChecked(pxtool + " pdf render " + dir.File("doc.pdf") + " " + std::to_string(n) + " 96 " + png);
    QImage rendered(QString::fromStdString(png));
    ASSERT_FALSE(rendered.isNull());
    const TPDFPagePart& part = f.viewer->PageInfos()[size_t(n - 1)].Parts[0];
    ASSERT_EQ(rendered.width(), part.Rect.Width());
    ASSERT_EQ(rendered.height(), part.Rect.Height());
    const TPoint origin{part.Rect.Left + f.viewer->Margins().Left, part.Rect.Top + f.viewer->Margins().Top};
    int differ = 0;
    for (int32_t y = 0; y < rendered.height(); ++y)
      for (int32_t x = 0; x < rendered.width(); ++x) {
        const QRgb p = rendered.pixel(x, y);
        differ += (shot.GetPixel(origin.X + x, origin.Y + y) & 0xFFFFFF) != RGB(qRed(p), qGreen(p), qBlue(p));
      }
    EXPECT_EQ(differ, 0);
    // The one-pixel black frame around the page.
    EXPECT_EQ(shot.GetPixel(origin.X - 1, origin.Y + 10) & 0xFFFFFF, clBlack);
    EXPECT_EQ(shot.GetPixel(origin.X + 10, origin.Y - 1) & 0xFFFFFF, clBlack);
    EXPECT_EQ(shot.GetPixel(origin.X - 3, origin.Y + 10) & 0xFFFFFF, clGray);
  }
}

// A document with links of every kind on page 1.
struct LinkDocument {
  SmallPdf pdf;
  LinkDocument() {
    for (int i = 1; i <= 6; ++i) pdf.Pages.push_back(SmallPdf::NumberedPage(i));
    const int first = pdf.FirstExtraObject();
    auto page = [](int i) { return std::to_string(SmallPdf::PageObject(i)) + " 0 R"; };
    auto link = [](int y, const std::string& target) {
      return "<< /Type /Annot /Subtype /Link /Rect [100 " + std::to_string(y + 20) + " 200 " + std::to_string(y) +
             "] " + target + " >>";
    };
    pdf.Pages[0].Annots = "[" +
                          link(700, "/A << /S /GoTo /D [" + page(3) + " /XYZ 0 0 0] >>") + " " +  // y 700: page 4
                          link(650, "/Dest [2 /Fit]") + " " +                                     // page 3
                          link(600, "/Dest (chapter)") + " " +                                    // page 5 by name
                          link(550, "/Dest /loop") + " " +                                        // leads to itself
                          link(500, "/A << /S /URI /URI (http://example.org/a) >>") + " " +
                          link(450, "/A << /S /URI /URI (HTTPS://example.org/b) >>") + " " +
                          link(400, "/A << /S /URI /URI (mailto:someone@example.org) >>") + " " +
                          link(350, "/A << /S /URI /URI (file:///bin/sh) >>") + " " +
                          link(300, "/A << /S /URI /URI (/usr/bin/xterm) >>") + " " +
                          link(250, "/A << /S /Launch /F (x) >>") + " " +
                          "<< /Subtype /Text /Rect [100 220 200 200] >> " +
                          "<< /Subtype /Link /Rect [100 170 200] /Dest [1 /Fit] >> " +  // malformed, skipped
                          "<< /Subtype /Link /Rect [200 170 100 150] /Dest [5 /Fit] >> " +  // corners swapped
                          std::to_string(first) + " 0 R]";
    pdf.ExtraObjects.push_back(link(100, "/Dest [3 /Fit]"));  // an indirect annotation: page 4
    pdf.ExtraObjects.push_back("<< /D (loop) >>");
    pdf.CatalogExtra = "/Names << /Dests << /Names [(chapter) [" + page(4) + " /Fit] (loop) " +
                       std::to_string(first + 1) + " 0 R] >> >>";
  }
};

TEST(PDFViewer, DestinationsByReferenceNumberAndName) {
  ViewerFixture f(LinkDocument().pdf.Build());
  TPDFViewer& v = *f.viewer;
  auto pageShown = [&] {
    for (size_t i = 0; i < v.PageInfos().size(); ++i)
      if (v.PageInfos()[i].Frame.Top == v.ScrollY()) return int(i) + 1;
    return 0;
  };
  std::vector<std::string> opened;
  const auto old = SetShellOpenHook([&](const std::string& target) { opened.push_back(target); });
  TDebugCapture debug;
  struct Case {
    int y;  // PDF y inside the link
    int page;
  };
  const Case cases[] = {{710, 4}, {660, 3}, {610, 5}, {110, 4}, {160, 6}};
  for (const Case& c : cases) {
    v.ShowPage(1);
    TPDFDictionary* annot = v.AnnotationAtPos(f.clientOf(1, 150, c.y).X, f.clientOf(1, 150, c.y).Y);
    ASSERT_NE(annot, nullptr) << c.y;
    v.SetInteractive(true);
    const TPoint at = f.clientOf(1, 150, c.y);
    v.Perform(WM_MOUSEMOVE, 0, MakeLParam(at.X, at.Y));
    v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(at.X, at.Y));
    v.Perform(WM_LBUTTONUP, 0, MakeLParam(at.X, at.Y));
    EXPECT_EQ(pageShown(), c.page) << c.y;
  }
  // The destination that names itself stops after a bounded number of hops.
  v.ShowPage(1);
  const TPoint loop = f.clientOf(1, 150, 560);
  v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(loop.X, loop.Y));
  v.Perform(WM_LBUTTONUP, 0, MakeLParam(loop.X, loop.Y));
  EXPECT_EQ(pageShown(), 1);
  // URIs open through the shell for web and mail addresses only; other
  // actions and annotation kinds only reach the debug output.
  for (int y : {510, 460, 410, 360, 310, 260, 210, 160 + 20}) {
    const TPoint at = f.clientOf(1, 150, y);
    v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(at.X, at.Y));
    v.Perform(WM_LBUTTONUP, 0, MakeLParam(at.X, at.Y));
  }
  SetShellOpenHook(old);
  EXPECT_EQ(opened, (std::vector<std::string>{"http://example.org/a", "HTTPS://example.org/b", "mailto:someone@example.org"}));
  std::string lines;
  for (const std::string& l : debug.Lines()) lines += l + "\n";
  for (const char* expected : {"destination leads on too far", "URI not opened: file:///bin/sh",
                               "URI not opened: /usr/bin/xterm", "Unknown action: ", "Unknown Annotation: ",
                               "without a Rect of four numbers"})
    EXPECT_NE(lines.find(expected), std::string::npos) << expected << "\n" << lines;

  // Followed directly: a number first, a dictionary through D, unknown kinds.
  v.FollowDestination(nullptr);
  TPDFInteger unknown(5);
  v.FollowDestination(&unknown);
  EXPECT_NE(debug.Lines().back().find("Unknown destination: 5"), std::string::npos);
}

TEST(PDFViewer, MouseProtocolAndHandled) {
  ViewerFixture f(LinkDocument().pdf.Build());
  TPDFViewer& v = *f.viewer;
  std::vector<std::string> events;
  bool answer = true;
  v.OnAnnotation = [&](TObject*, TPDFDictionary* a, TPDFAnnotationKind kind, bool& handled) {
    EXPECT_TRUE(handled);
    EXPECT_NE(a, nullptr);
    static const char* names[] = {"enter", "leave", "down", "up", "click"};
    events.push_back(names[kind]);
    if (kind == akMouseClick) handled = answer;
  };
  int actions = 0;
  v.OnAction = [&](TObject*, TPDFDictionary*, bool& handled) {
    EXPECT_FALSE(handled);
    ++actions;
  };
  const TPoint link = f.clientOf(1, 150, 710), off = f.clientOf(1, 300, 300);
  auto press = [&](TPoint p) {
    v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(p.X, p.Y));
    v.Perform(WM_LBUTTONUP, 0, MakeLParam(p.X, p.Y));
  };
  // Not interactive: no event, no cursor change, no action.
  v.Perform(WM_MOUSEMOVE, 0, MakeLParam(link.X, link.Y));
  press(link);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(v.Cursor(), crDefault);
  EXPECT_EQ(actions, 0);
  EXPECT_EQ(v.ScrollY(), 0);
  EXPECT_EQ(v.Mode(), vmHandDrag) << "after the first release";

  v.SetInteractive(true);
  v.Perform(WM_MOUSEMOVE, 0, MakeLParam(link.X, link.Y));
  EXPECT_EQ(v.Cursor(), crHandPoint);
  v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(link.X, link.Y));
  EXPECT_EQ(v.Mode(), vmUserDefined) << "a press on a link starts no drag";
  EXPECT_FALSE(v.Dragging());
  v.Perform(WM_LBUTTONUP, 0, MakeLParam(link.X, link.Y));
  EXPECT_EQ(v.Mode(), vmHandDrag);
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "down", "up", "click"}));
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(v.ScrollY(), v.PageInfos()[3].Frame.Top);

  // A click handler that answers False keeps the viewer from acting.
  v.ShowPage(1);
  events.clear();
  answer = false;
  const int32_t top = v.PageInfos()[0].Frame.Top;
  v.Perform(WM_MOUSEMOVE, 0, MakeLParam(off.X, off.Y));
  press(link);
  EXPECT_EQ(events, (std::vector<std::string>{"leave", "enter", "down", "up", "click"}));
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(v.ScrollY(), top);
  // An action handler that answers True replaces the viewer's own.
  answer = true;
  v.OnAction = [&](TObject*, TPDFDictionary*, bool& handled) { handled = true; };
  press(link);
  EXPECT_EQ(v.ScrollY(), top);
  // A handler that refuses the entry keeps the cursor as it is.
  v.Perform(WM_MOUSEMOVE, 0, MakeLParam(off.X, off.Y));
  EXPECT_EQ(v.Cursor(), crDefault);
  v.OnAnnotation = [&](TObject*, TPDFDictionary*, TPDFAnnotationKind, bool& handled) { handled = false; };
  v.Perform(WM_MOUSEMOVE, 0, MakeLParam(link.X, link.Y));
  EXPECT_EQ(v.HoveredAnnotation() != nullptr, true);
  EXPECT_EQ(v.Cursor(), crDefault);
}

TEST(PDFViewer, DamagedPageShowsItsErrorInRed) {
  SmallPdf pdf;
  pdf.Pages = {SmallPdf::NumberedPage(1)};
  pdf.Pages[0].Content = "0 0 1 rg 1 2 3";  // operands left over
  TDebugCapture debug;
  ViewerFixture f(pdf.Build());
  TBitmap& shot = f.grab();
  const TPDFPagePart& part = f.viewer->PageInfos()[0].Parts[0];
  int red = 0;
  for (int32_t y = part.Rect.Top; y < part.Rect.Top + 40; ++y)
    for (int32_t x = part.Rect.Left; x < part.Rect.Left + 300; ++x)
      red += (shot.GetPixel(x + f.viewer->Margins().Left, y) & 0xFFFFFF) == clRed;
  EXPECT_GT(red, 20);
  EXPECT_EQ(f.viewer->Cache()->GetRecordCount(), 1) << "cached like a picture";
  ASSERT_FALSE(debug.Lines().empty());
  EXPECT_NE(debug.Lines().back().find("Page content incorrect"), std::string::npos) << debug.Lines().back();
}

TEST(PDFViewer, PrintWithoutDocument) {
  auto v = MakeObject<TPDFViewer>(nullptr);
  try {
    v->Print(0, 0, 1, true);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFPrinting: No PDF document assigned.");
  }
}

}  // namespace
}  // namespace px
