// Reading PDF files beside libqpdf doing the same work in the same process:
//  - read: open a document, walk every object and decode every stream;
//  - content: split every page's decoded content stream into tokens, ours
//    with the content interpreter's lexer, qpdf with parseContentStream.
//  - open_large: open a 2,000-page document of about 120,000 objects and
//    reach its last page's resources (every form of its XObject dictionary),
//    as a viewer does before it draws anything.
// The corpus is made here: a 1,000-page document and its object-stream and
// AES forms from qpdf, and the large document written directly.
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

// Writes the large document: 2,000 pages, each with a content stream and a
// resource dictionary of 58 small forms, all indirect, behind a classic
// cross-reference table of about 120,000 entries.
const char* const LargeScript = R"(import sys
pages, forms = 2000, 58
out = bytearray(b"%PDF-1.4\n")
offsets = {}
def add(number, text):
    offsets[number] = len(out)
    out.extend(b"%d 0 obj\n" % number + text + b"\nendobj\n")
per_page = forms + 3
first = 3
kids = b" ".join(b"%d 0 R" % (first + k * per_page) for k in range(pages))
add(1, b"<</Type/Catalog/Pages 2 0 R>>")
add(2, b"<</Type/Pages/Count %d/Kids[%s]>>" % (pages, kids))
for k in range(pages):
    page = first + k * per_page
    names = b"".join(b"/X%d %d 0 R" % (j, page + 3 + j) for j in range(forms))
    add(page, b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Contents %d 0 R/Resources %d 0 R>>" % (page + 1, page + 2))
    content = b"".join(b"q 1 0 0 1 %d %d cm /X%d Do Q\n" % (j * 9, j * 13, j) for j in range(forms))
    add(page + 1, b"<</Length %d>>\nstream\n" % len(content) + content + b"\nendstream")
    add(page + 2, b"<</ProcSet[/PDF]/XObject<<" + names + b">>>>")
    for j in range(forms):
        body = b"0 0 %d %d re f" % (j + 1, k % 50 + 1)
        add(page + 3 + j, b"<</Type/XObject/Subtype/Form/BBox[0 0 100 100]/Length %d>>\nstream\n" % len(body) +
            body + b"\nendstream")
size = max(offsets) + 1
xref = len(out)
out.extend(b"xref\n0 %d\n0000000000 65535 f \n" % size)
for n in range(1, size):
    out.extend(b"%010d 00000 n \n" % offsets[n])
out.extend(b"trailer\n<</Size %d/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (size, xref))
open(sys.argv[1], "wb").write(out)
)";

// Opens the document and reaches the last page's forms; answers their count.
size_t openLarge(const std::string& file) {
  px::TPDFReader reader(file);
  px::TPDFDictionary* page = reader.GetPage(reader.GetPageCount());
  auto* resources = page->GetDictionary(&reader, "Resources");
  auto* forms = resources ? resources->GetDictionary(&reader, "XObject") : nullptr;
  size_t found = 0;
  for (int32_t k = 0; forms && k < forms->Count(); ++k)
    if (dynamic_cast<px::TPDFDictionary*>(forms->GetObject(&reader, forms->GetKey(k)))) ++found;
  return found;
}

size_t qpdfOpenLarge(const std::string& file) {
  QPDF pdf;
  pdf.processFile(file.c_str(), "");
  QPDFObjectHandle page = pdf.getAllPages().back();
  QPDFObjectHandle forms = page.getKey("/Resources").getKey("/XObject");
  size_t found = 0;
  for (const std::string& key : forms.getKeys())
    if (forms.getKey(key).isStream()) ++found;
  return found;
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

  const std::string large = (dir / "large.pdf").string(), largeScript = (dir / "large.py").string();
  {
    FILE* f = std::fopen(largeScript.c_str(), "w");
    std::fputs(LargeScript, f);
    std::fclose(f);
  }
  if (run("/usr/bin/python3 " + largeScript + " " + large) != 0) {
    std::fprintf(stderr, "cannot make the large document\n");
    return 1;
  }
  if (openLarge(large) != 58 || qpdfOpenLarge(large) != 58) std::fprintf(stderr, "large: forms not reached\n");
  {
    const double ours = bestSeconds(5, [&] { benchmark::DoNotOptimize(openLarge(large)); });
    const double peer = bestSeconds(5, [&] { benchmark::DoNotOptimize(qpdfOpenLarge(large)); });
    std::printf("RESULT pdf_read/open_large ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
                px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 2).c_str());
  }
  fs::remove_all(dir);
  return 0;
}
