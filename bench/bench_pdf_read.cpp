// Opening a document, walking every object and decoding every stream, beside
// qpdf --check over the same files in the same run. The corpus is made here:
// a 1,000-page document and its object-stream and AES forms from qpdf.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pdf/UnitPDFParserReader.h"

namespace {

namespace fs = std::filesystem;

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

size_t readAll(const std::string& file) {
  px::TPDFReader reader(file);
  size_t bytes = 0;
  for (int32_t index = 0; index < reader.GetObjectCount(); ++index) {
    int32_t number = 0, generation = 0;
    reader.GetObjectNumberByIndex(index, number, generation);
    auto* object = reader.GetIndirectObj(number, generation);
    if (auto* dictionary = dynamic_cast<px::TPDFDictionary*>(object); dictionary && dictionary->StreamState()) {
      dictionary->SetStreamState(2, &reader);
      bytes += dictionary->StreamData().size();
    }
  }
  return bytes;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("bench_pdf_read_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string base = (dir / "pages.pdf").string();
  const std::string script = (dir / "make.py").string();
  {
    FILE* f = std::fopen(script.c_str(), "w");
    std::fputs(
        "import sys\nfrom reportlab.pdfgen import canvas\nc = canvas.Canvas(sys.argv[1])\n"
        "for n in range(1000):\n    c.drawString(72, 720, 'Page %d' % n)\n"
        "    for k in range(20):\n        c.line(72, 700 - 20 * k, 500, 700 - 20 * k - n % 7)\n"
        "    c.showPage()\nc.save()\n",
        f);
    std::fclose(f);
  }
  if (run("/usr/bin/python3 " + script + " " + base) != 0) {
    std::fprintf(stderr, "cannot make the corpus\n");
    return 1;
  }
  const std::pair<const char*, std::string> cases[] = {
      {"classic", ""},
      {"objstm", "--object-streams=generate"},
      {"aes", "--object-streams=generate --encrypt '' owner 128 --use-aes=y --"},
  };
  for (const auto& [name, options] : cases) {
    const std::string file = (dir / (std::string(name) + ".pdf")).string();
    run("qpdf " + options + " " + base + " " + file);
    const double ours = bestSeconds([&] { benchmark::DoNotOptimize(readAll(file)); });
    const double peer = bestSeconds([&] { run("qpdf --check " + file); });
    std::printf("RESULT pdf_read/%s ours=%.6f peer=%.6f ratio=%.2f\n", name, ours, peer, ours / peer);
  }
  fs::remove_all(dir);
  return 0;
}
