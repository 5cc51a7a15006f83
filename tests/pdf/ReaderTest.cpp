#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "PdfTestSupport.h"
#include "pdf/UnitPDFParserReader.h"
#include "platform/core/Debug.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::Technical;

// Assembles a PDF file by hand: objects at recorded offsets and classic
// cross-reference sections listing the objects added since the previous one.
class RawPdf {
 public:
  explicit RawPdf(std::string header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") : bytes(std::move(header)) {}

  void Obj(int number, const std::string& body, int generation = 0) {
    pending_[number] = {static_cast<long>(bytes.size()), generation, true};
    bytes += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
  }
  void Free(int number) { pending_[number] = {0, 1, false}; }
  // Leaves an object out of the next table.
  void Forget(int number) { pending_.erase(number); }
  // Writes a table, the trailer and the end; returns the table's offset.
  long Xref(const std::string& trailer) {
    const long at = static_cast<long>(bytes.size());
    bytes += "xref\n";
    if (first_) bytes += "0 1\n0000000000 65535 f \n";
    first_ = false;
    for (auto& [number, entry] : pending_) {
      char line[21];
      std::snprintf(line, sizeof line, "%010ld %05d %c \n", entry.offset, entry.generation, entry.used ? 'n' : 'f');
      bytes += std::to_string(number) + " 1\n" + line;
    }
    pending_.clear();
    bytes += "trailer\n<<" + trailer + ">>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
    return at;
  }
  long Offset() const { return static_cast<long>(bytes.size()); }
  std::string bytes;

 private:
  struct Entry {
    long offset;
    int generation;
    bool used;
  };
  std::map<int, Entry> pending_;
  bool first_ = true;
};

std::unique_ptr<TPDFReader> Read(const std::string& bytes) {
  return std::make_unique<TPDFReader>(TPDFBuffer(bytes.begin(), bytes.end()));
}

std::string ReadError(const std::string& bytes) {
  try {
    Read(bytes);
  } catch (const Exception& e) {
    return Technical(e);
  }
  return "no error";
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

// Catalog 1, Pages 2, one page 3.
RawPdf OnePage(const std::string& pageExtra = "") {
  RawPdf pdf;
  pdf.Obj(1, "<</Type/Catalog/Pages 2 0 R>>");
  pdf.Obj(2, "<</Type/Pages/Kids[3 0 R]/Count 1/MediaBox[0 0 300 400]/Rotate 90>>");
  pdf.Obj(3, "<</Type/Page/Parent 2 0 R" + pageExtra + ">>");
  return pdf;
}

std::string OnePageFile(const std::string& pageExtra = "") {
  RawPdf pdf = OnePage(pageExtra);
  pdf.Xref("/Size 4/Root 1 0 R");
  return pdf.bytes;
}

std::string StringOf(TPDFObject* object) {
  auto* string = dynamic_cast<TPDFString*>(object);
  return string ? string->Data : "<not a string>";
}

TEST(PdfReader, UpdateChainNewestWinsAndFreeFallsBack) {
  RawPdf pdf = OnePage();
  pdf.Obj(4, "(old)");
  pdf.Obj(5, "(five)");
  long first = pdf.Xref("/Size 6/Root 1 0 R");
  pdf.Obj(4, "(new)");
  pdf.Free(5);
  pdf.Xref("/Size 6/Root 1 0 R/Prev " + std::to_string(first));
  auto reader = Read(pdf.bytes);
  EXPECT_EQ(StringOf(reader->GetIndirectObj(4, 0)), "new");
  EXPECT_EQ(StringOf(reader->GetIndirectObj(5, 0)), "five");
  EXPECT_EQ(reader->GetIndirectObj(4, 1), nullptr);
  EXPECT_EQ(reader->GetIndirectObj(99, 0), nullptr);
  EXPECT_EQ(reader->GetObjectCount(), 6 + 2);
  int32_t number = 0, generation = 0;
  reader->FindObjectNumber(reader->GetIndirectObj(4, 0), number, generation);
  EXPECT_EQ(number, 4);
  EXPECT_EQ(generation, 0);
  reader->GetObjectNumberByIndex(7, number, generation);
  EXPECT_EQ(number, 5);
  EXPECT_EQ(generation, 0);
  EXPECT_THROW(reader->GetObjectNumberByIndex(8, number, generation), ERangeError);
  EXPECT_THROW(reader->GetIndirectObj(-1, 0), Exception);
}

// An update whose subsections are single objects in no order, over a
// section with one wide subsection: lookups and the walk by index see the
// groups in the order they were read, whatever their number ranges.
TEST(PdfReader, SubsectionsOfAnyRangeAndOrder) {
  std::string bytes = "%PDF-1.4\n";
  std::map<std::string, long> at;
  auto obj = [&](int number, int generation, const std::string& body) {
    at[std::to_string(number) + " " + std::to_string(generation)] = static_cast<long>(bytes.size());
    bytes += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
  };
  auto entry = [](long offset, int generation, char kind) {
    char line[21];
    std::snprintf(line, sizeof line, "%010ld %05d %c \n", offset, generation, kind);
    return std::string(line);
  };
  obj(1, 0, "<</Type/Catalog/Pages 2 0 R>>");
  obj(2, 0, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
  obj(3, 0, "<</Type/Page/Parent 2 0 R>>");
  obj(4, 0, "(old)");
  obj(5, 0, "(five)");
  obj(6, 0, "(six)");
  const long first = static_cast<long>(bytes.size());
  bytes += "xref\n0 7\n" + entry(0, 65535, 'f');
  for (int n = 1; n <= 6; ++n) bytes += entry(at[std::to_string(n) + " 0"], 0, 'n');
  bytes += "trailer\n<</Size 7/Root 1 0 R>>\nstartxref\n" + std::to_string(first) + "\n%%EOF\n";
  obj(4, 0, "(new)");
  obj(6, 1, "(six again)");
  obj(9, 0, "(nine)");
  const long second = static_cast<long>(bytes.size());
  bytes += "xref\n6 1\n" + entry(at["6 1"], 1, 'n') + "5 1\n" + entry(0, 1, 'f') + "4 1\n" + entry(at["4 0"], 0, 'n') +
           "9 1\n" + entry(at["9 0"], 0, 'n') + "trailer\n<</Size 10/Root 1 0 R/Prev " + std::to_string(first) +
           ">>\nstartxref\n" + std::to_string(second) + "\n%%EOF\n";
  auto reader = Read(bytes);

  const struct {
    int32_t number, generation;
    const char* text;  // nil: no object
  } lookups[] = {
      {4, 0, "new"}, {5, 0, "five"}, {6, 0, "six"}, {6, 1, "six again"}, {9, 0, "nine"},
      {3, 1, nullptr}, {7, 0, nullptr}, {8, 0, nullptr}, {100, 0, nullptr},
  };
  for (const auto& l : lookups) {
    SCOPED_TRACE(std::to_string(l.number) + " " + std::to_string(l.generation));
    TPDFObject* object = reader->GetIndirectObj(l.number, l.generation);
    if (l.text) EXPECT_EQ(StringOf(object), l.text);
    else EXPECT_EQ(object, nullptr);
  }

  // The newest section's subsections first, each in the order written.
  const std::pair<int32_t, int32_t> walk[] = {{6, 1}, {5, 1}, {4, 0}, {9, 0}, {0, 65535}, {1, 0},
                                              {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}};
  ASSERT_EQ(reader->GetObjectCount(), static_cast<int32_t>(std::size(walk)));
  for (int32_t index = 0; index < reader->GetObjectCount(); ++index) {
    int32_t number = -1, generation = -1;
    reader->GetObjectNumberByIndex(index, number, generation);
    EXPECT_EQ(std::make_pair(number, generation), walk[index]) << "index " << index;
  }
}

TEST(PdfReader, HybridFileAddsStreamSubsections) {
  RawPdf pdf = OnePage();
  const std::string inner = "6 0 (in object stream)";
  pdf.Obj(7, "<</Type/ObjStm/N 1/First 4/Length " + std::to_string(inner.size()) + ">>stream\n" + inner +
                 "\nendstream");
  // The cross-reference stream: object 6 is entry 0 of object stream 7.
  const long xrefStm = pdf.Offset();
  const std::string entries("\x02\x00\x07\x00", 4);
  pdf.bytes += "8 0 obj\n<</Type/XRef/W[1 2 1]/Index[6 1]/Size 9/Length 4>>stream\n" + entries +
               "\nendstream\nendobj\n";
  pdf.Xref("/Size 9/Root 1 0 R/XRefStm " + std::to_string(xrefStm));
  auto reader = Read(pdf.bytes);
  EXPECT_EQ(StringOf(reader->GetIndirectObj(6, 0)), "in object stream");
  EXPECT_EQ(reader->XRefGroups().back().First, 6);
}

TEST(PdfReader, InheritedBoxesAndRotation) {
  auto reader = Read(OnePageFile("/Rotate 45/CropBox[10 20 30]"));
  ASSERT_EQ(reader->GetPageCount(), 1);
  TPDFBox box;
  ASSERT_TRUE(reader->GetMediaBox(1, box));
  EXPECT_EQ(box.Left, 0);
  EXPECT_EQ(box.Bottom, 0);
  EXPECT_EQ(box.Right, 300);
  EXPECT_EQ(box.Top, 400);
  ASSERT_TRUE(reader->GetCropBox(1, box));  // an invalid CropBox falls back to the MediaBox
  EXPECT_EQ(box.Top, 400);
  int32_t rotate = -1;
  EXPECT_TRUE(reader->GetRotate(1, rotate));
  EXPECT_EQ(rotate, 90);
  EXPECT_EQ(reader->IndexOfPage(reader->GetPage(1)), 1);
  EXPECT_THROW(reader->GetPage(2), ERangeError);
}

TEST(PdfReader, PageWithoutTypeIsKnownByItsContents) {
  RawPdf pdf;
  pdf.Obj(1, "<</Type/Catalog/Pages 2 0 R>>");
  pdf.Obj(2, "<</Kids[3 0 R 4 0 R]/Count 1>>");
  pdf.Obj(3, "<</Parent 2 0 R/Contents 5 0 R>>");
  pdf.Obj(4, "<</Parent 2 0 R/Other 1>>");
  pdf.Obj(5, "<</Length 0>>stream\n\nendstream");
  pdf.Xref("/Size 6/Root 1 0 R");
  TDebugCapture capture;
  auto reader = Read(pdf.bytes);
  EXPECT_EQ(reader->GetPageCount(), 1);
  EXPECT_TRUE(Contains(capture.Lines(), "Invalid dictionary type in page tree"));
}

TEST(PdfReader, PageTreeFailures) {
  struct Case {
    std::string pages, extra, error;
  };
  const Case cases[] = {
      {"<</Type/Pages/Kids[3 0 R 3 0 R]/Count 2>>", "", "Page tree node is used more than once"},
      {"<</Type/Pages/Kids[3 0 R 4 0 R 5 0 R]/Count 2>>", "", "Too many pages"},
      {"<</Type/Pages/Kids[3 0 R]/Count 2>>", "", "Page count is invalid"},
      // An untrusted Count allocates nothing.
      {"<</Type/Pages/Kids[3 0 R]/Count 2147483647>>", "", "Page count is invalid"},
      {"<</Type/Pages/Kids[6 0 R]/Count 1>>", "", "Page tree contains a cycle"},
  };
  for (const Case& c : cases) {
    RawPdf pdf;
    pdf.Obj(1, "<</Type/Catalog/Pages 2 0 R>>");
    pdf.Obj(2, c.pages);
    for (int n = 3; n <= 5; ++n) pdf.Obj(n, "<</Type/Page/Parent 2 0 R>>");
    pdf.Obj(6, "<</Type/Pages/Kids[7 0 R]/Count 1>>");
    pdf.Obj(7, "<</Type/Pages/Kids[6 0 R]/Count 1>>");
    pdf.Xref("/Size 8/Root 1 0 R");
    EXPECT_EQ(ReadError(pdf.bytes), c.error) << c.pages;
  }
}

TEST(PdfReader, NameTreesWithKidsAndCycles) {
  RawPdf pdf;
  pdf.Obj(1, "<</Type/Catalog/Pages 2 0 R/Names<</Dests 4 0 R/Loop 7 0 R>>>>");
  pdf.Obj(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
  pdf.Obj(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 1 1]>>");
  pdf.Obj(4, "<</Kids[5 0 R 6 0 R]>>");
  pdf.Obj(5, "<</Names[(a) 1 (b) 2]/Limits[(a)(b)]>>");
  pdf.Obj(6, "<</Names[<63> 9 0 R (d) 4]>>");
  pdf.Obj(7, "<</Kids[8 0 R]>>");
  pdf.Obj(8, "<</Kids[7 0 R]>>");
  pdf.Obj(9, "(nine)");
  pdf.Xref("/Size 10/Root 1 0 R");
  auto reader = Read(pdf.bytes);
  auto* b = dynamic_cast<TPDFInteger*>(reader->FindInNameTree("Dests", "b"));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Value, 2);
  EXPECT_EQ(StringOf(reader->FindInNameTree("Dests", "c")), "nine");
  EXPECT_EQ(reader->FindInNameTree("Dests", "x"), nullptr);
  EXPECT_EQ(reader->FindInNameTree("Nothing", "a"), nullptr);
  try {
    reader->FindInNameTree("Loop", "a");
    ADD_FAILURE() << "cycle not detected";
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Name tree contains a cycle");
  }
}

TEST(PdfReader, EndOfFileForms) {
  const std::string plain = OnePageFile();
  {
    // Line end and zero bytes after %%EOF are white space.
    TDebugCapture capture;
    Read(plain + std::string("\n\0\0\0", 4));
    EXPECT_TRUE(capture.Lines().empty());
  }
  {
    RawPdf pdf = OnePage();
    pdf.Xref("/Size 4/Root 1 0 R");
    TDebugCapture capture;
    EXPECT_EQ(Read(pdf.bytes + "garbage")->GetPageCount(), 1);
    EXPECT_TRUE(Contains(capture.Lines(), "Ignored unknown content after %%EOF"));
    // Without %%EOF the reader searches startxref.
    std::string cut = pdf.bytes.substr(0, pdf.bytes.size() - 6) + std::string(1100, ' ');
    EXPECT_EQ(Read(cut)->GetPageCount(), 1);
    EXPECT_TRUE(Contains(capture.Lines(), "Recovery mode: no %%EOF found. Scanning for start of xref."));
    // Data before the header is refused.
    TDebugCapture before;
    EXPECT_EQ(ReadError("junk" + pdf.bytes), "Expecting literal (2) at position 4.");
    EXPECT_TRUE(Contains(before.Lines(), "PDF header has unknown data before it."));
    EXPECT_EQ(ReadError("%PDF-1.4\n"), "File too short");
  }
}

TEST(PdfReader, StreamForms) {
  RawPdf pdf = OnePage();
  pdf.Obj(4, "<</Length 3>>stream\rabc\nendstream");
  pdf.Obj(5, "<</Length 5 0 R>>stream\nabc\nendstream");  // its Length is itself
  pdf.Obj(6, "<</Length 3>>stream\nabc   nothing");
  pdf.Obj(7, "(no end)");
  pdf.bytes.resize(pdf.bytes.size() - 7);  // drop the last endobj
  pdf.bytes += "\n";
  pdf.Xref("/Size 8/Root 1 0 R");
  TDebugCapture capture;
  auto reader = Read(pdf.bytes);
  auto* cr = dynamic_cast<TPDFDictionary*>(reader->GetIndirectObj(4, 0));
  ASSERT_NE(cr, nullptr);
  EXPECT_EQ(test::Str(cr->StreamData()), "abc");
  EXPECT_EQ(reader->GetIndirectObj(5, 0), nullptr);
  ASSERT_NE(reader->GetIndirectObj(6, 0), nullptr);
  EXPECT_TRUE(Contains(capture.Lines(), "No endstream found."));
  EXPECT_EQ(reader->GetIndirectObj(7, 0), nullptr);
}

TEST(PdfReader, ObjectStreamInsideItselfFails) {
  RawPdf pdf = OnePage();
  const std::string inner = "7 0 (x)";
  pdf.Obj(7, "<</Type/ObjStm/N 1/First 4/Length " + std::to_string(inner.size()) + ">>stream\n" + inner +
                 "\nendstream");
  pdf.Forget(7);
  // Only the cross-reference stream knows object 7: in object stream 7.
  const long xrefStm = pdf.Offset();
  pdf.bytes += "8 0 obj\n<</Type/XRef/W[1 2 1]/Index[7 1]/Size 9/Length 4>>stream\n" +
               std::string("\x02\x00\x07\x00", 4) + "\nendstream\nendobj\n";
  pdf.Xref("/Size 9/Root 1 0 R/XRefStm " + std::to_string(xrefStm));
  auto reader = Read(pdf.bytes);
  try {
    reader->GetIndirectObj(7, 0);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Object 7 0 R is needed to read itself. In object 7 0 of object stream 7.");
  }
}

// A document whose objects 6 and 7 are in object stream 8 (inner: its
// decoded data, First 8); object 9 is an ordinary object.
std::string WithObjectStream(const std::string& inner, const std::string& nine = "(nine)",
                             const std::string& streamDictionary = "<</Type/ObjStm/N 2/First 8") {
  RawPdf pdf = OnePage();
  pdf.Obj(8, streamDictionary + "/Length " + std::to_string(inner.size()) + ">>stream\n" + inner + "\nendstream");
  pdf.Obj(9, nine);
  const long xrefStm = pdf.Offset();
  pdf.bytes += "10 0 obj\n<</Type/XRef/W[1 2 1]/Index[6 2]/Size 11/Length 8>>stream\n" +
               std::string("\x02\x00\x08\x00\x02\x00\x08\x01", 8) + "\nendstream\nendobj\n";
  pdf.Xref("/Size 11/Root 1 0 R/XRefStm " + std::to_string(xrefStm));
  return pdf.bytes;
}

TEST(PdfReader, ObjectStreamOffsetsMayPointBeforeTheObject) {
  // Offsets at the line break and at comment lines before the objects.
  auto reader = Read(WithObjectStream("6 0 7 14\n%% six\r\n(six)\n %seven\n(seven)"));
  EXPECT_EQ(StringOf(reader->GetIndirectObj(6, 0)), "six");
  EXPECT_EQ(StringOf(reader->GetIndirectObj(7, 0)), "seven");
}

TEST(PdfReader, ReadErrorsNameTheObject) {
  struct Case {
    const char* name;
    std::string bytes;
    int32_t number;  // the object asked for
    std::string error;
  };
  const std::string nine = "<</A )>>";
  const std::string garbledNine = WithObjectStream("6 0 7 6 (six) (seven)", nine);
  const std::string nineAt = std::to_string(garbledNine.find("9 0 obj"));
  const std::string brokenStream = WithObjectStream("6 0 7 6 (six) (seven)", "(nine)", "<</Type/ObjStm/N 2/First )");
  const std::string streamAt = std::to_string(brokenStream.find("8 0 obj"));
  const Case cases[] = {
      // Object 7 is garbled; asking for 6 reads the whole stream.
      {"garbled", WithObjectStream("6 0 7 6 (six) )seven"), 6,
       "Unknown token at position 14. In object 7 0 of object stream 8 at offset 14 of the decoded stream."},
      {"truncated", WithObjectStream("6 0 7 6 (six) [(sev"), 7,
       "Unexpected end of string found (1) at position 19. In object 7 0 of object stream 8 at offset 14 of the "
       "decoded stream."},
      {"header", WithObjectStream("6 0 7 99 (six) (seven)"), 6,
       "Object stream invalid (4) at position 9. In object stream 8, entry 1 of its header."},
      {"ordinary", garbledNine, 9, "Unknown token at position " + std::to_string(std::stoi(nineAt) + 13) +
                                       ". In object 9 0 at offset " + nineAt + " of the file."},
      // The innermost object is named: the stream, not the object in it.
      {"stream", brokenStream, 6,
       "Unknown token at position " + std::to_string(std::stoi(streamAt) + 33) + ". In object 8 0 at offset " +
           streamAt + " of the file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto reader = Read(c.bytes);
    try {
      reader->GetIndirectObj(c.number, 0);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(Technical(e), c.error);
    }
  }
}

std::string PdfFixture(const std::string& name) { return (test::FixturesDir() / "pdf" / name).string(); }

// Offset 0 is the header: an object "in use" there reads as null, with a
// warning, and object 0 is never an object.
TEST(PdfReader, InUseAtOffsetZeroReadsAsNull) {
  TDebugCapture capture;
  TPDFReader reader(PdfFixture("offset-zero.pdf"));
  EXPECT_EQ(reader.GetPageCount(), 1);
  EXPECT_EQ(reader.GetIndirectObj(0, 0), nullptr);
  EXPECT_EQ(reader.GetIndirectObj(6, 0), nullptr);
  EXPECT_TRUE(Contains(capture.Lines(), "Object 6 0 is in use at offset 0; it is read as null."));
  EXPECT_EQ(reader.XRefGroups().front().Entries[0].Kind, 0);
}

TEST(PdfReader, CatalogVersionRaisesTheHeaderVersion) {
  EXPECT_EQ(TPDFReader(PdfFixture("catalog-version.pdf")).MinorVersion(), 4);
  // An earlier catalog version, or one that is no version, leaves the header's.
  for (const char* version : {"/1.2", "/2.0", "/x", "(1.7)"}) {
    SCOPED_TRACE(version);
    RawPdf pdf;
    pdf.Obj(1, std::string("<</Type/Catalog/Version") + version + "/Pages 2 0 R>>");
    pdf.Obj(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    pdf.Obj(3, "<</Type/Page/Parent 2 0 R>>");
    pdf.Xref("/Size 4/Root 1 0 R");
    EXPECT_EQ(Read(pdf.bytes)->MinorVersion(), 4);
  }
}

TEST(PdfReader, CrossReferenceDamage) {
  const std::string good = [] {
    RawPdf pdf = OnePage();
    pdf.Xref("/Size 4/Root 1 0 R");
    return pdf.bytes;
  }();
  const size_t xref = good.find("xref\n");
  struct Case {
    std::string name, bytes, error;
  };
  std::string hugeCount = good;
  hugeCount.replace(xref + 5, 3, "0 2147483647");
  const size_t firstEntry = good.find("00000 n") - 11;
  std::string badOffset = good;
  badOffset.replace(firstEntry, 10, "0999999999");
  std::string badType = good;
  badType.replace(firstEntry + 17, 1, "x");
  const Case cases[] = {
      {"count", hugeCount, "XREF corrupt: invalid size"},
      {"offset", badOffset, "xref table reference corrupt 1"},
      {"type", badType, "XREF corrupt: invalid entry type"},
      {"truncated", good.substr(0, good.size() / 2), "EOF and startxref not found"},
      {"startxref", good.substr(0, good.size() - 6) + "x\n%%EOF\n", "Trailer corrupt 1"},
  };
  for (const Case& c : cases) {
    std::string error = ReadError(c.bytes);
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.name << ": " << error;
  }
}

TEST(PdfReader, SelfPointingPrevEndsTheChain) {
  RawPdf pdf = OnePage();
  const long at = pdf.Offset();
  pdf.Xref("/Size 4/Root 1 0 R/Prev " + std::to_string(at));
  TDebugCapture capture;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(pdf.bytes)->GetPageCount(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(Contains(capture.Lines(), "leads back to offset"));
}

}  // namespace
}  // namespace px

namespace px {
namespace {

// A chain whose sections alternate between tables and streams is as long as
// the file allows; reading it must not use stack in proportion to its length.
TEST(PdfReader, LongAlternatingCrossReferenceChain) {
  RawPdf pdf = OnePage();
  long previous = pdf.Xref("/Size 4/Root 1 0 R");
  const int sections = 100000;
  for (int k = 0; k < sections; ++k) {
    const long at = pdf.Offset();
    const std::string prev = "/Prev " + std::to_string(previous);
    if (k % 2 == 0)
      pdf.bytes += "9 0 obj\n<</Type/XRef/W[1 1 0]/Index[]/Length 0" + prev + ">>stream\n\nendstream\nendobj\n";
    else
      pdf.bytes += "xref\ntrailer\n<</Size 4/Root 1 0 R" + prev + ">>\n";
    previous = at;
  }
  pdf.bytes += "startxref\n" + std::to_string(previous) + "\n%%EOF\n";
  EXPECT_EQ(Read(pdf.bytes)->GetPageCount(), 1);
}

TEST(PdfReader, CrossReferenceStreamWithAbsurdWidthsFails) {
  const char* const dictionaries[] = {
      "/W[1 2147483647 1]/Index[0 1]", "/W[1 2 1]/Index[0 2147483647 5 2147483647]", "/W[1 2]/Size 1", "/W[0 2 1]/Size 1",
  };
  for (const char* entries : dictionaries) {
    RawPdf pdf = OnePage();
    const long at = pdf.Offset();
    pdf.bytes += "9 0 obj\n<</Type/XRef/Root 1 0 R" + std::string(entries) + "/Length 4>>stream\n" +
                 std::string("\x01\x00\x0F\x00", 4) + "\nendstream\nendobj\nstartxref\n" + std::to_string(at) +
                 "\n%%EOF\n";
    const std::string error = ReadError(pdf.bytes);
    EXPECT_EQ(error.rfind("EatXRefStream:", 0), 0u) << entries << ": " << error;
  }
}

}  // namespace
}  // namespace px
