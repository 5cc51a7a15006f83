// Drawing every page of three documents made here (a text report, a vector
// drawing and an image-heavy file) to PPM files at 150 dpi, beside mutool draw
// in the same run: ours without supersampling against mutool at 150 dpi, and
// ours with twofold supersampling against mutool at 300 dpi, which is the
// same pixel work.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "PdfBenchTiming.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "platform/core/NumberConversion.h"

namespace {

namespace fs = std::filesystem;

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// The page as a binary PPM file, written in one piece as mutool writes its
// own (the image writer of the toolkit converts and writes line by line,
// which would weigh more than the drawing).
void writePPM(const QImage& image, const fs::path& path) {
  const std::string header = "P6\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n255\n";
  std::string bytes(header);
  bytes.resize(header.size() + static_cast<size_t>(image.width()) * image.height() * 3);
  char* out = bytes.data() + header.size();
  const int width = image.width(), height = image.height();
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      *out++ = static_cast<char>(qRed(row[x]));
      *out++ = static_cast<char>(qGreen(row[x]));
      *out++ = static_cast<char>(qBlue(row[x]));
    }
  }
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void renderAll(const std::string& file, const fs::path& out, int32_t supersampling) {
  px::TPDFReader reader(file);
  px::TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  for (int32_t page = 1; page <= reader.GetPageCount(); ++page) {
    renderer.PageNumber = page;
    QImage image(1, 1, QImage::Format_RGB32);
    int32_t w = 0, h = 0;
    {
      QPainter probe(&image);
      px::TQtPainterDevice sizing(&probe, 150);
      renderer.DC = &sizing;
      renderer.GetPageSizeInPixels(100, w, h);
    }
    image = QImage(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      px::TQtPainterDevice device(&painter, 150);
      renderer.DC = &device;
      renderer.Render(px::TPDFBox{}, px::TRect{0, 0, w, h}, supersampling);
    }
    writePPM(image, out / ("ours" + std::to_string(page) + ".ppm"));
  }
}

const char* const MakeScript = R"(import sys, random
from reportlab.pdfgen import canvas
from reportlab.lib.utils import ImageReader
from PIL import Image
kind, path = sys.argv[1], sys.argv[2]
c = canvas.Canvas(path)
random.seed(7)
if kind == 'text':
    for n in range(12):
        c.setFont('Helvetica-Bold', 14)
        c.drawString(72, 780, 'Counting report %d' % n)
        c.setFont('Helvetica', 9)
        for k in range(60):
            y = 750 - 11 * k
            c.drawString(72, y, 'Drawer %d  batch %05d' % (k % 4, n * 100 + k))
            c.drawRightString(520, y, '%d.%02d' % (random.randint(0, 9999), random.randint(0, 99)))
            c.line(72, y - 2, 520, y - 2)
        c.showPage()
elif kind == 'vector':
    for n in range(6):
        for k in range(150):
            c.setStrokeColorRGB(random.random(), random.random(), random.random())
            c.setFillColorRGB(random.random(), random.random(), random.random())
            c.setLineWidth(random.random() * 4)
            p = c.beginPath()
            p.moveTo(random.uniform(0, 595), random.uniform(0, 842))
            for j in range(3):
                p.curveTo(*[random.uniform(0, 595) if i % 2 == 0 else random.uniform(0, 842) for i in range(6)])
            p.close()
            c.drawPath(p, stroke=1, fill=k % 2)
        c.showPage()
else:
    for n in range(4):
        for k in range(6):
            img = Image.new('RGB', (400, 300))
            img.putdata([((x * 7 + k * 40) % 256, (y * 5 + n * 60) % 256, (x ^ y) % 256)
                         for y in range(300) for x in range(400)])
            c.drawImage(ImageReader(img), 40 + (k % 2) * 270, 60 + (k // 2) * 250, 250, 190)
        c.showPage()
c.save()
)";

// A page with nothing on it, written directly.
void writeBlankPage(const std::string& file) {
  const std::string objects[] = {
      "<</Type/Catalog/Pages 2 0 R>>",
      "<</Type/Pages/Kids[3 0 R]/Count 1>>",
      "<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Resources<<>>/Contents 4 0 R>>",
      "<</Length 0>>stream\n\nendstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::string xref = "xref\n0 5\n0000000000 65535 f\r\n";
  for (size_t k = 0; k < std::size(objects); ++k) {
    const std::string offset = std::to_string(pdf.size());
    xref += std::string(10 - offset.size(), '0') + offset + " 00000 n\r\n";
    pdf += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
  }
  pdf += xref + "trailer\n<</Size 5/Root 1 0 R>>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
  FILE* f = std::fopen(file.c_str(), "wb");
  std::fwrite(pdf.data(), 1, pdf.size(), f);
  std::fclose(f);
}

// What one page costs as a program of its own: `pxtool pdf render` of a
// blank page beside `mutool draw` of it, at the resolution of the RESULT
// lines and at 10 dpi, where almost no pixel work is left; `pxtool version`
// is what every pxtool command pays for loading its libraries. A note, not
// a comparison of the renderers.
void printOnePageCost(const fs::path& dir) {
#ifdef PX_PXTOOL_PATH
  const std::string blank = (dir / "blank.pdf").string();
  writeBlankPage(blank);
  auto text = [](double seconds) { return px::InvariantFloatToStr(seconds, 4); };
  std::string line = "NOTE pdf_render/pxtool-one-page blank page as one process:";
  for (int32_t dpi : {150, 10}) {
    const std::string res = std::to_string(dpi);
    const auto [ours, peer] = pxbench::CompareMedians(
        [&] { run(std::string(PX_PXTOOL_PATH) + " pdf render " + blank + " 1 " + res + " " + (dir / "one.ppm").string()); },
        [&] { run("mutool draw -q -r " + res + " -o " + (dir / "peer-one.ppm").string() + " " + blank); });
    line += " " + res + " dpi pxtool=" + text(ours) + " mutool=" + text(peer) + ";";
  }
  const auto [floor, unused] = pxbench::CompareMedians([&] { run(PX_PXTOOL_PATH " version"); }, [] {});
  std::printf("%s pxtool version=%s (seconds, medians)\n", line.c_str(), text(floor).c_str());
#else
  (void)dir;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication application(argc, argv);
  const fs::path dir = fs::temp_directory_path() / ("bench_pdf_render_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string script = (dir / "make.py").string();
  {
    FILE* f = std::fopen(script.c_str(), "w");
    std::fputs(MakeScript, f);
    std::fclose(f);
  }
  int status = 0;
  std::vector<std::string> kinds = {"text", "vector", "images"};
  // Names on the command line choose among them.
  if (argc > 1) kinds.assign(argv + 1, argv + argc);
  for (const std::string& kindName : kinds) {
    const char* kind = kindName.c_str();
    const std::string file = (dir / (std::string(kind) + ".pdf")).string();
    if (run("/usr/bin/python3 " + script + " " + kind + " " + file) != 0) {
      std::fprintf(stderr, "cannot make %s\n", file.c_str());
      status = 1;
      continue;
    }
    for (int32_t ss : {1, 2}) {
      const auto [ours, peer] = pxbench::CompareMedians(
          [&] { renderAll(file, dir, ss); },
          [&] {
            run("mutool draw -q -r " + std::to_string(150 * ss) + " -o " + (dir / "peer%d.ppm").string() + " " + file);
          });
      std::printf("RESULT pdf_render/%s-ss%d ours=%s peer=%s ratio=%s\n", kind, ss,
                  px::InvariantFloatToStr(ours, 6).c_str(), px::InvariantFloatToStr(peer, 6).c_str(),
                  px::InvariantFloatToStr(ours / peer, 2).c_str());
    }
  }
  printOnePageCost(dir);
  fs::remove_all(dir);
  return status;
}
