// A 50-page text-heavy document (60 lines a page in Latin and Cyrillic, a
// rule under every fifth line, a logo on every page) produced into memory by
// the PDF producer, beside QPdfWriter drawing the same with QPainter into a
// QBuffer in the same run.
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "PdfBenchTiming.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "platform/core/CodePages.h"
#include "platform/core/NumberConversion.h"

namespace {

constexpr int kPages = 50;
constexpr int kLines = 60;

std::u16string lineText(int page, int line) {
  std::string n = std::to_string(page * kLines + line);
  std::u16string num(n.begin(), n.end());
  if (line % 2)
    return u"\u0421\u0442\u0440\u043E\u043A\u0430 " + num + u": \u043F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440 \u2014 1.234,56";
  return u"Line " + num + u": The quick brown fox jumps over the lazy dog 1.234,56";
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  px::TBitmap logo(200, 100, px::pf24bit);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) logo.SetPixelColor(x, y, px::RGB(x, y * 2, 128));
  QImage qlogo = logo.ToQImage();
  std::vector<std::u16string> texts;
  for (int p = 0; p < kPages; ++p)
    for (int l = 0; l < kLines; ++l) texts.push_back(lineText(p, l));

  size_t ourBytes = 0, peerBytes = 0;
  auto ours = [&] {
    px::TPDFPrinter printer;
    printer.SetOptions(7);
    printer.BeginDoc();
    for (int p = 0; p < kPages; ++p) {
      if (p) printer.NewPage();
      px::TPDFCanvas& c = printer.Canvas();
      c.Font().SetName("DejaVu Sans");
      c.Font().SetSize(9);
      c.Brush().SetStyle(px::bsClear);
      c.StretchDraw(px::Rect(3900, 300, 4500, 600), logo);
      for (int l = 0; l < kLines; ++l) {
        const int y = 700 + l * 100;
        c.TextOut(600, y, texts[static_cast<size_t>(p * kLines + l)]);
        if (l % 5 == 4) {
          c.MoveTo(600, y + 95);
          c.LineTo(4300, y + 95);
        }
      }
    }
    printer.EndDoc();
    ourBytes = static_cast<size_t>(printer.Document()->Size());
  };
  auto peer = [&] {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(600);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font("DejaVu Sans");
    font.setPixelSize(75);
    for (int p = 0; p < kPages; ++p) {
      if (p) writer.newPage();
      painter.setFont(font);
      painter.drawImage(QRect(3900, 300, 600, 300), qlogo);
      for (int l = 0; l < kLines; ++l) {
        const int y = 700 + l * 100;
        const auto& t = texts[static_cast<size_t>(p * kLines + l)];
        painter.drawText(600, y + 70, QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size())));
        if (l % 5 == 4) painter.drawLine(600, y + 95, 4300, y + 95);
      }
    }
    painter.end();
    peerBytes = static_cast<size_t>(buffer.size());
  };
  const auto [o, q] = pxbench::CompareMedians(ours, peer);
  std::printf("pdf_canvas/50pages: ours %zu bytes, peer %zu bytes\n", ourBytes, peerBytes);
  std::printf("RESULT pdf_canvas/50pages ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(o, 6).c_str(),
              px::InvariantFloatToStr(q, 6).c_str(), px::InvariantFloatToStr(o / q, 3).c_str());
  return 0;
}
