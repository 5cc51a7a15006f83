// The report engine: markup on the items, layout against poppler, tables and
// page breaks, and a counting-report-shaped document.
#include <gtest/gtest.h>

#include <QImage>
#include <regex>
#include <sstream>

#include "pdf/gui/UnitPDFReport.h"
#include "platform/core/CodePages.h"
#include "ui/png/PNGBitmapAdapter.h"
#include "PdfGuiTestSupport.h"
#include "support/Numbers.h"

namespace px {
namespace {

using test::RunCommand;
using test::TempDir;

std::string run(const std::string& command) { return test::RunChecked(command); }

std::vector<TReportText*> texts(TReportGroup& g) {
  std::vector<TReportText*> out;
  for (auto& item : g.Items()) {
    if (auto* t = dynamic_cast<TReportText*>(item.get())) out.push_back(t);
    if (auto* sub = dynamic_cast<TReportGroup*>(item.get())) {
      auto more = texts(*sub);
      out.insert(out.end(), more.begin(), more.end());
    }
  }
  return out;
}

std::string describe(TReportGroup& g) {
  std::string s;
  for (TReportText* t : texts(g)) {
    s += "[" + UnicodeToUtf8(t->Text());
    if (t->Font().Style().Contains(fsBold)) s += " b";
    if (t->VerticalMode() == vmSuperscript) s += " sup";
    if (t->VerticalMode() == vmSubscript) s += " sub";
    if (ColorToRGB(t->Font().Color()) == clRed) s += " red";
    s += "]";
  }
  return s;
}

TEST(ReportRenderer, MarkupOnTheItems) {
  struct Case {
    const char* language;
    std::u16string markup;
    std::string items;
  };
  const std::vector<Case> cases = {
      {"", u"a<b>b</b>c", "[a][b b][c]"},
      {"", u"a < b", "[a ][<][ b]"},  // the "<" and the rest stay text
      {"en", u"<langnl>x</langnl>y", "[y]"},
      {"", u"<langnl>x</langnl>y", "[x][y]"},
      {"", u"<colorFF0000>red", "[red red]"},
      {"", u"<color>x", "[<color][>x]"},
      {"", u"&#65;&#x42;", "[AB]"},
      {"", u"&#x1F600;", "[\U0001F600]"},
      {"", u"&#0;&#xD800;&#x110000;", "[&#0;&#xD800;&#x110000;]"},
      {"", u"x&#65y", "[x&#65y]"},
      {"", u"H<sub>2</sub>O m<super>2</super>", "[H][2 sub][O m][2 sup]"},
      {"", u"\u0416\u00F3\u0142w", "[\u0416\u00F3\u0142w]"},
  };
  for (const auto& c : cases) {
    TReportRenderer r;
    r.ReportLanguage = c.language;
    r.Font().SetName("DejaVu Sans");
    r.Font().SetSize(10);
    r.SetBox(0, 0, 100000);
    TReportGroup g;
    r.RenderMarkup(g, c.markup);
    EXPECT_EQ(describe(g), c.items) << UnicodeToUtf8(c.markup);
  }
  // A line break on an empty line still moves down one line.
  TReportRenderer r;
  r.SetBox(0, 0, 1000);
  TReportGroup g;
  r.RenderMarkup(g, u"<br>");
  EXPECT_EQ(r.TextHeight(), 1200);
}

TEST(ReportRenderer, SuperscriptMeasuresAndBreaksLines) {
  TReportText normal, super;
  TFont f;
  f.SetName("DejaVu Sans");
  f.SetSize(10);
  normal.SetFont(f);
  super.SetFont(f);
  normal.SetText(u"x");
  super.SetText(u"x");
  super.SetVerticalMode(vmSuperscript);
  EXPECT_EQ(super.Ascent(), MulDiv(normal.Ascent(), 110, 100));
  EXPECT_EQ(super.Advances()[0], MulDiv(normal.Advances()[0], 60, 100));

  // A word longer than the box is cut after the characters that fit; a
  // single character wider than the box stays on its line.
  TReportRenderer r;
  r.Font().SetName("DejaVu Sans Mono");
  r.Font().SetSize(10);  // 602 units a character
  r.SetBox(0, 0, 3000);
  TReportGroup g;
  r.RenderText(g, u"abcdefgh ij");
  EXPECT_EQ(describe(g), "[abcd][efgh][ij]");
  TReportRenderer narrow;
  narrow.Font().SetName("DejaVu Sans Mono");
  narrow.Font().SetSize(10);
  narrow.SetBox(0, 0, 100);
  TReportGroup g2;
  narrow.RenderText(g2, u"W");
  EXPECT_EQ(describe(g2), "[W]");
  EXPECT_EQ(narrow.TextHeight(), 0);

  TFont rotated;
  rotated.SetOrientation(900);
  TReportText up;
  up.SetFont(rotated);
  up.SetText(u"abc");
  up.Left = 1000;
  up.Top = 5000;
  TRect b;
  ASSERT_TRUE(up.GetBounds(b));
  EXPECT_EQ(b.Left, 1000);
  EXPECT_LT(b.Top, 5000);
  EXPECT_EQ(b.Bottom, 5000);
  TReportGroup empty;
  EXPECT_FALSE(empty.GetBounds(b));
}

// Word boxes of pdftotext -bbox in 1/100 pt: (xMin, xMax, word).
struct Word {
  double xMin, xMax;
  std::string text;
};
std::vector<Word> words(const std::string& pdf) {
  std::string html = run("pdftotext -bbox " + pdf + " -");
  std::vector<Word> out;
  std::regex re("<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">([^<]*)</word>");
  for (std::sregex_iterator it(html.begin(), html.end(), re), end; it != end; ++it)
    out.push_back({test::PeerNumber((*it)[1].str()) * 100, test::PeerNumber((*it)[2].str()) * 100, (*it)[3]});
  return out;
}

class LayoutBuilder : public TPDFReportBuilder {
 public:
  void GetMargins(int32_t& top, int32_t& bottom) override {
    top = 7200;
    bottom -= 7200;
  }
};

TEST(ReportLayout, WordBoxesAgreeWithTheItems) {
  TempDir dir;
  LayoutBuilder b;
  b.NewPage(true, true, true);
  TReportRenderer& r = b.Renderer();
  r.Font().SetName("Liberation Sans");
  r.Font().SetSize(12);
  struct Box {
    int32_t alignment;
    std::u16string text;
  };
  for (const Box& box : {Box{0, u"left aligned"}, Box{1, u"right aligned"}, Box{2, u"centred text"},
                         Box{0, u"x<super>2</super> <o>over</o>"},
                         Box{0, u"Supercalifragilisticexpialidocious"}}) {
    r.Alignment = box.alignment;
    r.SetBox(7200, 0, 7200 + 14400);
    r.RenderMarkup(b.Group(), box.text + u"<br>");
    b.NewGroup(0, false);
  }
  std::vector<TReportText*> items = texts(*b.CurrentPage()->Group);
  TMemoryStream* doc = b.Produce();
  ASSERT_NE(doc, nullptr);
  const std::string path = dir.File("layout.pdf");
  doc->SaveToFile(path);
  const std::vector<Word> found = words(path);
  // Items and words come in reading order; a superscript joins the word
  // before it.
  size_t cursor = 0;
  int checked = 0;
  for (TReportText* t : items) {
    std::string text = UnicodeToUtf8(t->Text());
    while (!text.empty() && text[0] == ' ') text.erase(0, 1);
    if (text.empty()) continue;
    int32_t w = 0;
    for (int32_t a : t->Advances()) w += a;
    const std::string first = text.substr(0, text.find(' '));
    const std::string last = text.substr(text.rfind(' ') + 1);
    if (t->VerticalMode() == vmSuperscript && cursor > 0 && !(cursor < found.size() && found[cursor].text == text)) {
      // Joined to the word before it.
      const Word& joined = found[cursor - 1];
      EXPECT_TRUE(joined.text.ends_with(text)) << joined.text;
      EXPECT_NEAR(joined.xMax, t->Left + w, 50) << text;
      ++checked;
      continue;
    }
    while (cursor < found.size() && !found[cursor].text.starts_with(first)) ++cursor;
    ASSERT_LT(cursor, found.size()) << first;
    EXPECT_NEAR(found[cursor].xMin, t->Left, 50) << text;
    while (cursor < found.size() && found[cursor].text != last && !found[cursor].text.starts_with(last)) ++cursor;
    ASSERT_LT(cursor, found.size()) << last;
    if (found[cursor].text == last) EXPECT_NEAR(found[cursor].xMax, t->Left + w, 50) << text;
    ++cursor;
    ++checked;
  }
  EXPECT_GE(checked, 8);
  // The long word was cut after what fits into the box.
  bool cut = false;
  for (TReportText* t : items) cut = cut || (t->Text().size() > 2 && t->Text().size() < 34 && t->Text().starts_with(u"Supercal"));
  EXPECT_TRUE(cut);
  // The overline runs above the word.
  bool overline = false;
  for (auto& item : b.Report().Pages()[0]->Group->Items())
    if (auto* g = dynamic_cast<TReportGroup*>(item.get()))
      for (auto& sub : g->Items())
        if (auto* l = dynamic_cast<TReportLine*>(sub.get())) overline = l->P1.Y == l->P2.Y;
  EXPECT_TRUE(overline);
  // Right-aligned lines end at the box edge.
  for (TReportText* t : items)
    if (t->Text() == u"right aligned") {
      int32_t w = 0;
      for (int32_t a : t->Advances()) w += a;
      EXPECT_EQ(t->Left + w, 7200 + 14400);
    }
}

TEST(ReportBuilder, TablesBreakPagesAndRepeatTheRule) {
  LayoutBuilder b;
  b.NewPage(true, true, true);
  // A short last row.
  b.AddTable({0, 3000, 6000, 9000}, {u"a", u"b", u"c", u"d"}, true, 20, 100);
  size_t lines = 0;
  for (auto& item : b.CurrentPage()->Group->Items()) lines += dynamic_cast<TReportLine*>(item.get()) != nullptr;
  EXPECT_EQ(lines, 4u);  // the column lines
  // Rows until the page is nearly full, then a table whose second row does
  // not fit.
  while (b.RemainingHeight() > 3000) b.AddTable({0, 3000}, {u"row"}, true, 20, 0);
  const size_t pages = b.Report().Pages().size();
  b.AddTable({0, 3000}, {u"short", u"one<br>two<br>three"}, true, 20, 0);
  EXPECT_EQ(b.Report().Pages().size(), pages + 1);
  TReportPage* next = b.CurrentPage();
  int rules = 0;
  for (auto& item : next->Group->Items())
    if (auto* g = dynamic_cast<TReportGroup*>(item.get()))
      for (auto& sub : g->Items())
        if (auto* l = dynamic_cast<TReportLine*>(sub.get()); l && l->P1.Y == l->P2.Y) ++rules;
  EXPECT_EQ(rules, 2);  // the rule above repeated, and its own below
  // Text after the last group is dropped; SetLineSpacing(-1) is one line.
  const int32_t y = b.Y();
  b.SetLineSpacing(-1);
  EXPECT_EQ(b.Y(), y + 1200);
  b.Renderer().RenderMarkup(b.Group(), u"lost");
  b.Produce();
  for (auto& page : b.Report().Pages())
    for (TReportText* t : texts(*page->Group)) EXPECT_NE(t->Text(), u"lost");
  EXPECT_THROW(b.AddTable({0}, {}, true, 0, 0), EAssertionFailed);
  EXPECT_THROW(b.AddTable({10, 5}, {u"x"}, true, 0, 0), EAssertionFailed);
  EXPECT_THROW(b.SaveToStream(nullptr), EAssertionFailed);
}

// A table that runs over several pages keeps the face, size, colour,
// alignment and line height it was started with on every page, in the items
// and in the fonts each page of the document uses.
TEST(ReportBuilder, TableKeepsItsStyleAcrossPageBreaks) {
  TempDir dir;
  LayoutBuilder b;
  b.NewPage(true, true, true);
  TReportRenderer& r = b.Renderer();
  r.Font().SetName("Liberation Sans");
  r.Font().SetSize(11);
  r.Font().SetColor(clNavy);
  r.Font().SetStyle({fsItalic});
  r.LineHeight = 1000;
  r.Alignment = 2;
  r.CharSpacing = 20;
  std::vector<UnicodeString> cells;
  for (int i = 1; i <= 120; ++i) cells.push_back(u"Row " + Utf8ToUnicode(std::to_string(i)));
  b.AddTable({7200, 50400}, cells, true, 20, 100);
  // A second table after the break goes on in the same style.
  b.AddTable({7200, 50400}, {u"After", u"the break"}, true, 20, 0);
  TMemoryStream* doc = b.Produce();
  ASSERT_NE(doc, nullptr);
  const std::string path = dir.File("pages.pdf");
  doc->SaveToFile(path);
  const auto& pages = b.Report().Pages();
  ASSERT_GE(pages.size(), 3u);
  const int32_t centre = (7200 + 300 + 50400 - 300) / 2;
  std::vector<int32_t> pitch;
  for (const auto& page : pages) {
    const std::vector<TReportText*> items = texts(*page->Group);
    ASSERT_GE(items.size(), 2u) << page->PageNumber;
    for (TReportText* t : items) {
      const std::string where = "page " + std::to_string(page->PageNumber) + " " + UnicodeToUtf8(t->Text());
      EXPECT_EQ(t->Font().Name(), "Liberation Sans") << where;
      EXPECT_EQ(t->Font().Size(), 11) << where;
      EXPECT_EQ(ColorToRGB(t->Font().Color()), clNavy) << where;
      EXPECT_TRUE(t->Font().Style().Contains(fsItalic)) << where;
      EXPECT_EQ(t->CharSpacing(), 20) << where;
      int32_t w = -t->CharSpacing();
      for (int32_t a : t->Advances()) w += a;
      EXPECT_LE(std::abs(t->Left + w / 2 - centre), 1) << where;
    }
    pitch.push_back(items[1]->Top - items[0]->Top);
    const std::string n = std::to_string(page->PageNumber);
    const std::string fonts = run("pdffonts -f " + n + " -l " + n + " " + path);
    EXPECT_NE(fonts.find("LiberationSans"), std::string::npos) << n << "\n" << fonts;
    EXPECT_EQ(fonts.find("DejaVuSans"), std::string::npos) << n << "\n" << fonts;
  }
  for (int32_t p : pitch) EXPECT_EQ(p, pitch.front());
  const std::string last = run("pdftotext -f " + std::to_string(pages.size()) + " " + path + " -");
  EXPECT_NE(last.find("the break"), std::string::npos) << last;
}

TEST(ReportBuilder, NoPagesNoDocument) {
  TPDFReportBuilder b;
  TMemoryStream target;
  b.SaveToStream(&target);
  EXPECT_EQ(target.Size(), 0);
}

// The counting report's shape: one-inch margins, a header table with bold
// labels, a body through AddTableEx with right-aligned amounts, subtotals,
// rules and a logo.
class CountingShape : public TPDFReportBuilder {
 public:
  void GetMargins(int32_t& top, int32_t& bottom) override {
    top = 7200;
    bottom -= 7200;
  }
  // logoFile: a 200 × 100 PNG, fitted into one inch.
  void Build(int rowsPerGroup, int groups, const std::u16string& label, const std::string& logoFile) {
    NewPage(true, true, true);
    Renderer().Font().SetName("Liberation Sans");
    TBitmap logo;
    LoadBitmapFromPNGFile(&logo, logoFile);
    auto bitmap = std::make_unique<TReportBitmap>();
    bitmap->SetBitmap(logo);
    bitmap->Left = GetPageWidth() - 7200 - 7200;
    bitmap->Top = 3600;
    bitmap->Width = 7200;
    bitmap->Height = 3600;
    CurrentPage()->AddItem(std::move(bitmap));
    AddTable({7200, 14400, 28800, 36000, 50400},
             {u"<b>" + label + u":</b>", u"Jan Kowalski", u"<b>Date:</b>", u"2026-12-10"}, false, 20, 100);
    for (int g = 0; g < groups; ++g) {
      std::vector<UnicodeString> cells;
      for (int i = 0; i < rowsPerGroup; ++i) {
        const std::u16string n = Utf8ToUnicode(std::to_string(g * rowsPerGroup + i + 1));
        cells.insert(cells.end(), {u"Row " + n, u"\u2713 ok", u"1,00", n, n + u",00"});
      }
      cells.insert(cells.end(), {u"<b>Subtotal</b>", u"", u"", u"", u"<b>99,00</b>"});
      std::vector<bool> columnLines(6, false), rowLines(rowsPerGroup + 2, false);
      rowLines[0] = rowLines[rowsPerGroup] = true;
      AddTableEx({7200, 18000, 28800, 36000, 43200, 50400}, cells,
                 [](TPDFReportBuilder& b, int32_t column, int32_t) { b.Renderer().Alignment = column >= 3 ? 1 : 0; },
                 columnLines, rowLines, 50, 100, 20, 100);
    }
  }
};

TEST(ReportBuilder, CountingShapedDocument) {
  TempDir dir;
  const std::string logoFile = dir.File("logo.png");
  {
    // The logo as another program saves it: Qt's PNG writer.
    QImage logo(200, 100, QImage::Format_RGB888);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x) logo.setPixelColor(x, y, x < 100 ? QColor(0, 0, 128) : QColor(255, 255, 0));
    ASSERT_TRUE(logo.save(QString::fromStdString(logoFile), "PNG"));
  }
  {
    CountingShape b;
    b.Build(5, 2, u"\u0421\u043E\u0442\u0440\u0443\u0434\u043D\u0438\u043A \u0141\u00F3d\u017A", logoFile);
    TMemoryStream out;
    b.SaveToStream(&out);
    out.SaveToFile(dir.File("one.pdf"));
  }
  const std::string path = dir.File("one.pdf");
  const std::string check = run("qpdf --check " + path);
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
  const std::string text = run("pdftotext -layout " + path + " -");
  EXPECT_NE(text.find("\u0421\u043E\u0442\u0440\u0443\u0434\u043D\u0438\u043A"), std::string::npos) << text;
  EXPECT_NE(text.find("\u0141\u00F3d\u017A:"), std::string::npos) << text;
  size_t last = 0;
  for (int i = 1; i <= 10; ++i) {
    const size_t at = text.find("Row " + std::to_string(i) + " ");
    ASSERT_NE(at, std::string::npos) << i << "\n" << text;
    EXPECT_GT(at, last);
    last = at;
  }
  // The check mark is missing from Liberation Sans: drawn in the fallback.
  const std::string fonts = run("pdffonts " + path);
  EXPECT_NE(fonts.find("DejaVuSans"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("LiberationSans"), std::string::npos) << fonts;
  EXPECT_NE(text.find("\u2713 ok"), std::string::npos) << text;
  // The PNG logo, 200 × 100 pixels, one inch wide: 200 pixels per inch.
  const std::string images = run("pdfimages -list " + path);
  EXPECT_TRUE(std::regex_search(images, std::regex(R"(\n +1 +0 image +200 +100 +rgb .* 200 +200 )"))) << images;

  CountingShape many;
  many.Build(20, 20, u"Employee", logoFile);
  TMemoryStream out;
  many.SaveToStream(&out);
  out.SaveToFile(dir.File("many.pdf"));
  const std::string pages = run("pdfinfo " + dir.File("many.pdf"));
  EXPECT_NE(pages.find("Pages:"), std::string::npos);
  EXPECT_EQ(pages.find("Pages:           1\n"), std::string::npos) << pages;
  // Every row shows once, in order, pages breaking between rows.
  const std::string all = run("pdftotext -layout " + dir.File("many.pdf") + " -");
  last = 0;
  for (int i = 1; i <= 400; ++i) {
    const size_t at = all.find("Row " + std::to_string(i) + " ");
    ASSERT_NE(at, std::string::npos) << i;
    EXPECT_GT(at, last);
    last = at;
  }
}

}  // namespace
}  // namespace px
