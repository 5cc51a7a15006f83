// A one-page and a twenty-page report shaped as the counting report (header
// table with bold labels, body rows with right-aligned amounts, subtotals,
// rules, a logo), built and produced into memory, beside QPdfWriter drawing
// the same items (texts, positions, faces, rules, logo) with QPainter into a
// QBuffer in the same run. The peer's positions come from one build of the
// report, made outside the timing.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "PdfBenchTiming.h"
#include "pdf/gui/UnitPDFReport.h"
#include "platform/core/CodePages.h"
#include "platform/core/NumberConversion.h"

namespace {

using namespace px;

class Counting : public TPDFReportBuilder {
 public:
  explicit Counting(const TBitmap& logo) : logo_(logo) {}
  void GetMargins(int32_t& top, int32_t& bottom) override {
    top = 7200;
    bottom -= 7200;
  }
  void Build(int groups) {
    NewPage(true, true, true);
    auto bitmap = std::make_unique<TReportBitmap>();
    bitmap->SetBitmap(logo_);
    bitmap->Left = GetPageWidth() - 14400;
    bitmap->Top = 3600;
    bitmap->Width = 7200;
    bitmap->Height = 3600;
    CurrentPage()->AddItem(std::move(bitmap));
    AddTable({7200, 14400, 28800, 36000, 50400},
             {u"<b>Employee:</b>", u"Jan Kowalski", u"<b>Date:</b>", u"10.12.2026", u"<b>Drawer:</b>", u"Kasa 1",
              u"<b>Currency:</b>", u"PLN"},
             false, 20, 100);
    for (int g = 0; g < groups; ++g) {
      std::vector<UnicodeString> cells;
      for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(g * 12 + i + 1);
        const UnicodeString u = Utf8ToUnicode(n);
        cells.insert(cells.end(), {u"Banknote " + u, u"\u0421\u0447\u0451\u0442 " + u, u"10,00", u, u + u"0,00"});
      }
      cells.insert(cells.end(), {u"<b>Subtotal</b>", u"", u"", u"", u"<b>780,00</b>"});
      std::vector<bool> columnLines(6, false), rowLines(14, false);
      rowLines[0] = rowLines[12] = true;
      AddTableEx({7200, 18000, 28800, 36000, 43200, 50400}, cells,
                 [](TPDFReportBuilder& b, int32_t column, int32_t) { b.Renderer().Alignment = column >= 3 ? 1 : 0; },
                 columnLines, rowLines, 50, 100, 20, 100);
    }
  }

 private:
  const TBitmap& logo_;
};

struct PeerItem {
  int kind;  // 0 text, 1 line, 2 bitmap
  QString text;
  QFont font;
  QColor colour;
  int x1, y1, x2, y2, width;
};

void collect(TReportItem& item, std::vector<PeerItem>& out) {
  if (auto* g = dynamic_cast<TReportGroup*>(&item)) {
    for (auto& sub : g->Items()) collect(*sub, out);
  } else if (auto* t = dynamic_cast<TReportText*>(&item)) {
    QFont f(QString::fromStdString(t->Font().Name()));
    f.setPixelSize(MulDiv(t->Font().Size(), ReportSizePercent(t->VerticalMode()), 100) * 600 / 72);
    f.setBold(t->Font().Style().Contains(fsBold));
    const UnicodeString& s = t->Text();
    out.push_back({0, QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())), f, ToQColor(t->Font().Color()),
                   MulDiv(t->Left, 600, 7200), MulDiv(t->Top + t->Ascent(), 600, 7200), 0, 0, 0});
  } else if (auto* l = dynamic_cast<TReportLine*>(&item)) {
    out.push_back({1, {}, {}, ToQColor(l->Pen.Color()), MulDiv(l->P1.X, 600, 7200), MulDiv(l->P1.Y, 600, 7200),
                   MulDiv(l->P2.X, 600, 7200), MulDiv(l->P2.Y, 600, 7200), MulDiv(l->Pen.Width(), 600, 7200)});
  } else if (auto* b = dynamic_cast<TReportBitmap*>(&item)) {
    out.push_back({2, {}, {}, {}, MulDiv(b->Left, 600, 7200), MulDiv(b->Top, 600, 7200),
                   MulDiv(b->Left + b->Width, 600, 7200), MulDiv(b->Top + b->Height, 600, 7200), 0});
  }
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  TBitmap logo(200, 100, pf24bit);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) logo.SetPixelColor(x, y, RGB(x, y * 2, 128));
  const QImage qlogo = logo.ToQImage();
  struct Case {
    const char* name;
    int groups;
  };
  for (const Case c : {Case{"1page", 2}, Case{"20pages", 68}}) {
    std::vector<std::vector<PeerItem>> pages;
    {
      Counting once(logo);
      once.Build(c.groups);
      once.Produce();
      for (auto& page : once.Report().Pages()) {
        pages.emplace_back();
        collect(*page->Group, pages.back());
      }
    }
    auto ours = [&] {
      Counting b(logo);
      b.Build(c.groups);
      b.Produce();
    };
    auto peer = [&] {
      QBuffer buffer;
      buffer.open(QIODevice::WriteOnly);
      QPdfWriter writer(&buffer);
      writer.setResolution(600);
      writer.setPageSize(QPageSize(QPageSize::A4));
      writer.setPageMargins(QMarginsF(0, 0, 0, 0));
      QPainter painter(&writer);
      bool first = true;
      for (const auto& items : pages) {
        if (!first) writer.newPage();
        first = false;
        for (const PeerItem& i : items) {
          if (i.kind == 0) {
            painter.setFont(i.font);
            painter.setPen(i.colour);
            painter.drawText(i.x1, i.y1, i.text);
          } else if (i.kind == 1) {
            painter.setPen(QPen(i.colour, i.width));
            painter.drawLine(i.x1, i.y1, i.x2, i.y2);
          } else {
            painter.drawImage(QRect(QPoint(i.x1, i.y1), QPoint(i.x2, i.y2)), qlogo);
          }
        }
      }
      painter.end();
    };
    const auto [o, q] = pxbench::CompareMedians(ours, peer);
    std::printf("report/%s: %zu pages\n", c.name, pages.size());
    std::printf("RESULT report/%s ours=%s peer=%s ratio=%s\n", c.name, px::InvariantFloatToStr(o, 6).c_str(),
                px::InvariantFloatToStr(q, 6).c_str(), px::InvariantFloatToStr(o / q, 3).c_str());
  }
  return 0;
}
