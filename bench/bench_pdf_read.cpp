// Reading PDF files beside libqpdf doing the same work in the same process:
//  - read: open a document, walk every object and decode every stream;
//  - content: split every page's decoded content stream into tokens, ours
//    with the content interpreter's lexer, qpdf with parseContentStream.
// The corpus is made here: a 1,000-page document and its object-stream and
// AES forms from qpdf.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

// libqpdf's headers ask which pointer type its API hands out; 4 is the
// std::shared_ptr of qpdf 11 without the old PointerHolder.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitPDFParserReader.h"
#include "pdf/UnitPDFUtilities.h"
#include "platform/core/NumberConversion.h"

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

size_t qpdfReadAll(const std::string& file) {
  QPDF pdf;
  pdf.processFile(file.c_str(), "");
  size_t bytes = 0;
  for (QPDFObjectHandle& object : pdf.getAllObjects()) {
    // Asking for the type resolves the object.
    if (object.getTypeCode() == ::ot_stream) bytes += object.getStreamData(qpdf_dl_all)->getSize();
  }
  return bytes;
}

// The decoded content of every page (single streams; the corpus has no
// arrays).
std::vector<px::TPDFBuffer> pageContents(const std::string& file) {
  px::TPDFReader reader(file);
  std::vector<px::TPDFBuffer> contents;
  for (int32_t page = 1; page <= reader.GetPageCount(); ++page) {
    auto* stream = reader.GetPage(page)->GetObject<px::TPDFDictionary>(&reader, "Contents");
    if (!stream || !stream->StreamState()) continue;
    stream->SetStreamState(2, &reader);
    contents.push_back(stream->StreamData());
  }
  return contents;
}

// The interpreter's loop without the operators: every token made and freed.
size_t lexAll(const std::vector<px::TPDFBuffer>& contents) {
  size_t tokens = 0;
  for (const px::TPDFBuffer& data : contents) {
    int32_t pos = 0;
    const auto size = static_cast<int64_t>(data.size());
    px::SkipWhiteSpaceAndComments(data, pos);
    while (pos < size) {
      std::unique_ptr<px::TPDFObject> token = px::ParseContentToken(data, pos, true);
      benchmark::DoNotOptimize(token.get());
      ++tokens;
      px::SkipWhiteSpaceAndComments(data, pos);
    }
  }
  return tokens;
}

class CountTokens : public QPDFObjectHandle::ParserCallbacks {
 public:
  size_t Tokens = 0;
  void handleObject(QPDFObjectHandle object) override {
    benchmark::DoNotOptimize(object);
    ++Tokens;
  }
  void handleEOF() override {}
};

// The same decoded bytes as unfiltered streams of a qpdf document.
size_t qpdfLexAll(const std::vector<QPDFObjectHandle>& streams) {
  CountTokens counter;
  for (const QPDFObjectHandle& stream : streams) QPDFObjectHandle::parseContentStream(stream, &counter);
  return counter.Tokens;
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
    // Both must have decoded the same bytes for the figures to compare.
    if (readAll(file) != qpdfReadAll(file)) std::fprintf(stderr, "%s: decoded sizes differ\n", name);
    const double ours = bestSeconds([&] { benchmark::DoNotOptimize(readAll(file)); });
    const double peer = bestSeconds([&] { benchmark::DoNotOptimize(qpdfReadAll(file)); });
    std::printf("RESULT pdf_read/%s ours=%s peer=%s ratio=%s\n", name, px::InvariantFloatToStr(ours, 6).c_str(),
                px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 2).c_str());
  }

  const std::vector<px::TPDFBuffer> contents = pageContents(base);
  QPDF holder;
  holder.emptyPDF();
  std::vector<QPDFObjectHandle> streams;
  for (const px::TPDFBuffer& data : contents)
    streams.push_back(holder.newStream(std::string(data.begin(), data.end())));
  if (lexAll(contents) != qpdfLexAll(streams)) std::fprintf(stderr, "token counts differ\n");
  const double ours = bestSeconds(5, [&] { benchmark::DoNotOptimize(lexAll(contents)); });
  const double peer = bestSeconds(5, [&] { benchmark::DoNotOptimize(qpdfLexAll(streams)); });
  std::printf("RESULT pdf_read/content ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 2).c_str());
  fs::remove_all(dir);
  return 0;
}
