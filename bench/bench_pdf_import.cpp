// Drawing one letterhead page under each of 1,000 produced pages, beside qpdf
// putting the same page under each page of a 1,000-page file in the same
// run. qpdf refers to one form on every page; we copy the letterhead's
// objects once and its rewritten content into every page.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "platform/core/Streams.h"
#include "platform/core/NumberConversion.h"

namespace {

namespace fs = std::filesystem;

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

void writeScript(const std::string& file, const char* text) {
  FILE* f = std::fopen(file.c_str(), "w");
  std::fputs(text, f);
  std::fclose(f);
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("bench_pdf_import_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string letterhead = (dir / "letterhead.pdf").string(), blank = (dir / "blank.pdf").string();
  const std::string script = (dir / "make.py").string();
  writeScript(script,
              "import sys\nfrom reportlab.pdfgen import canvas\n"
              "from reportlab.pdfbase import pdfmetrics\nfrom reportlab.pdfbase.ttfonts import TTFont\n"
              "pdfmetrics.registerFont(TTFont('DejaVu', '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'))\n"
              "c = canvas.Canvas(sys.argv[1])\nc.setFont('DejaVu', 18)\nc.drawString(72, 780, 'Company letterhead')\n"
              "c.setFont('Helvetica', 9)\n"
              "for k in range(8):\n    c.drawString(72, 760 - 11 * k, 'Street %d, Town, Phone 555-01%02d' % (k, k))\n"
              "    c.line(72, 60 + 4 * k, 520, 60 + 4 * k)\n"
              "c.setFillColorRGB(0.1, 0.3, 0.6)\nc.rect(450, 770, 80, 30, fill=1)\nc.showPage()\nc.save()\n"
              "c = canvas.Canvas(sys.argv[2])\nfor n in range(1000):\n    c.showPage()\nc.save()\n");
  if (run("/usr/bin/python3 " + script + " " + letterhead + " " + blank) != 0) {
    std::fprintf(stderr, "cannot make the documents\n");
    return 1;
  }
  const std::string ourFile = (dir / "ours.pdf").string(), peerFile = (dir / "peer.pdf").string();
  const double ours = bestSeconds([&] {
    px::TPDFReader reader(letterhead);
    px::TPDFPrinter printer;
    printer.PageWidth = 61200;
    printer.PageHeight = 79200;
    printer.BeginDoc();
    for (int page = 0; page < 1000; ++page) {
      if (page > 0) printer.NewPage();
      printer.DrawLinkedPage(&reader, 0);
    }
    printer.EndDoc();
    px::TMemoryStream* document = printer.Document();
    FILE* f = std::fopen(ourFile.c_str(), "wb");
    std::fwrite(document->Memory(), 1, static_cast<size_t>(document->Size()), f);
    std::fclose(f);
  });
  const double peer =
      bestSeconds([&] { run("qpdf " + blank + " --underlay " + letterhead + " --repeat=1 -- " + peerFile); });
  std::printf("RESULT pdf_import/underlay1000 ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 2).c_str());
  fs::remove_all(dir);
  return 0;
}
