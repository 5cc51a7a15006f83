// Documents made by other tools, plain and encrypted, read by our reader and
// compared with what poppler and qpdf find in them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include "PdfTestSupport.h"
#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/UnitPDFParserWriter.h"
#include "support/TempDir.h"
#include "support/Numbers.h"

namespace px {
namespace {

using test::Hex;
using test::RunCommand;
using test::RunTool;

const char* const BaseScript = R"(
from reportlab.pdfgen import canvas
import sys
c = canvas.Canvas(sys.argv[1], pageCompression=1)
c.setTitle("Corpus title"); c.setAuthor("Tester"); c.setSubject("Encrypted strings")
c.drawString(100, 700, "Hello page one")
c.bookmarkPage("first")
c.showPage()
c.setPageSize((300, 400)); c.setPageRotation(90); c.setCropBox((10, 20, 290, 280))
c.drawString(50, 50, "Page two")
c.showPage()
c.setPageRotation(180); c.setCropBox((0, 0, 150, 150))
c.rect(10, 10, 100, 100, fill=1)
c.drawString(10, 200, "Page three")
c.showPage()
c.save()
)";

// Per stream that qpdf can decode: number, generation, length and MD5 of the
// decoded data.
const char* const StreamScript = R"(
import base64, hashlib, json, subprocess, sys
out = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf", "--json-stream-data=inline",
                      "--decode-level=generalized", sys.argv[1]], capture_output=True).stdout
objects = json.loads(out)["qpdf"][1]
general = {"/FlateDecode", "/LZWDecode", "/ASCII85Decode", "/ASCIIHexDecode", "/RunLengthDecode"}
for key, value in objects.items():
    if not key.startswith("obj:") or "stream" not in value:
        continue
    filters = value["stream"]["dict"].get("/Filter", [])
    if isinstance(filters, str):
        filters = [filters]
    if any(f not in general for f in filters):
        continue
    data = base64.b64decode(value["stream"].get("data", ""))
    number, generation = key[4:].split()[:2]
    print(number, generation, len(data), hashlib.md5(data).hexdigest())
)";

// Writes the /P of a classic-table file's Encrypt dictionary as the unsigned
// number with the same 32 bits (-3388 -> 4294963908), as some writers do, and
// moves the cross-reference offsets behind it by the change in length.
const char* const UnsignedPScript = R"py(
import re, sys
data = open(sys.argv[1], "rb").read()
start = data.rindex(b"<<", 0, data.index(b"/Filter /Standard"))
m = re.compile(rb"/P (-\d+)").search(data, start)
at, new = m.start(1), str(int(m.group(1)) & 0xFFFFFFFF).encode()
delta = len(new) - len(m.group(1))
data = data[:at] + new + data[m.end(1):]
shift = lambda offset: offset + delta if offset > at else offset
xref = data.rindex(b"\nxref") + 1
table = re.sub(rb"(\d{10})( \d{5} n)", lambda e: b"%010d" % shift(int(e.group(1))) + e.group(2), data[xref:])
table = re.sub(rb"startxref\s+(\d+)", lambda e: b"startxref\n%d" % shift(int(e.group(1))), table)
open(sys.argv[2], "wb").write(data[:xref] + table)
)py";

// A one-page document with an XMP metadata stream, written by our writer.
void WriteMetadataDocument(const std::string& fileName) {
  TPDFWriter writer;
  writer.AddObject(test::Parse("<</Type/Catalog/Pages 2 0 R>>"));
  writer.AddObject(test::Parse("<</Type/Pages/Kids[3 0 R]/Count 1>>"));
  writer.AddObject(test::Parse("<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 100]/Contents 4 0 R>>"));
  auto content = TPDFDictionary::FromStreamData("0 0 m 100 100 l S");
  content->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
  writer.AddObject(std::move(content));
  auto info = std::make_unique<TPDFDictionary>();
  info->Add("Title", std::make_unique<TPDFString>(std::string("Corpus title")));
  const int32_t infoNumber = writer.AddObject(std::move(info));
  writer.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  writer.GetTrailer()->Add("Info", std::make_unique<TPDFReference>(infoNumber, 0));
  writer.AddMetadata(1);
  TStringStream stream;
  writer.SaveToStream(stream);
  test::WriteFileBytes(fileName, stream.DataString());
}

// A program of the build: PX_BUILD_DIR is set by CTest; run by hand, the
// default build folder.
std::string BuildFile(const std::string& path) {
  const char* dir = std::getenv("PX_BUILD_DIR");
  return std::string(dir ? dir : "build/debug") + "/" + path;
}

struct Variant {
  const char* name;
  // "base" (reportlab), "meta" (our writer), "qt" and "qta" (Qt's writer:
  // PDF 1.4, and PDF/A-1b with XMP metadata and an output intent)
  const char* base;
  const char* command;  // IN and OUT are replaced
};

const Variant Variants[] = {
    {"reportlab", "base", "cp IN OUT"},
    {"objstm", "base", "qpdf --object-streams=generate IN OUT"},
    {"nostm", "base", "qpdf --object-streams=generate IN OUT.tmp && qpdf --object-streams=disable OUT.tmp OUT"},
    {"qdf", "base", "qpdf --qdf IN OUT"},
    // Object streams kept: uncompressed, and in QDF form with a comment line
    // before each object inside them.
    {"objstm_plain", "base",
     "qpdf --object-streams=generate IN OUT.tmp && qpdf --object-streams=preserve --stream-data=uncompress OUT.tmp OUT"},
    {"objstm_qdf", "base", "qpdf --object-streams=generate IN OUT.tmp && qpdf --qdf --object-streams=preserve OUT.tmp OUT"},
    // Hand-made documents of tests/fixtures/pdf (see make_fixtures.py there).
    {"fixture_objstm_space", "base", "cp FIXTURES/objstm-space.pdf OUT"},
    {"fixture_objstm_qdf", "base", "cp FIXTURES/objstm-qdf.pdf OUT"},
    {"fixture_offset_zero", "base", "cp FIXTURES/offset-zero.pdf OUT"},
    {"fixture_catalog_version", "base", "cp FIXTURES/catalog-version.pdf OUT"},
    {"linearized", "base", "qpdf --linearize IN OUT"},
    {"uncompressed", "base", "qpdf --compress-streams=n IN OUT"},
    {"mutool", "base", "mutool clean -gg IN OUT"},
    {"mutoolz", "base", "mutool clean -z IN OUT"},
    {"cairo", "base", "pdftocairo -pdf IN OUT"},
    {"ourwriter", "meta", "cp IN OUT"},
    {"rc4-40", "base", "qpdf --allow-weak-crypto --encrypt '' owner 40 -- IN OUT"},
    {"rc4-128", "base", "qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n -- IN OUT"},
    {"rc4-128-v4", "base", "qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n --force-V4 -- IN OUT"},
    {"aes-128", "base", "qpdf --encrypt '' owner 128 --use-aes=y -- IN OUT"},
    {"aes-128-objstm", "base", "qpdf --object-streams=generate --encrypt '' owner 128 --use-aes=y -- IN OUT"},
    {"aes-128-meta", "meta", "qpdf --encrypt '' owner 128 --use-aes=y -- IN OUT"},
    {"aes-128-cleartext", "meta", "qpdf --encrypt '' owner 128 --use-aes=y --cleartext-metadata -- IN OUT"},
    {"rc4-128-v4-cleartext", "meta",
     "qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n --force-V4 --cleartext-metadata -- IN OUT"},
    // Restricted permissions (P -3388), then P written unsigned.
    {"rc4-128-unsigned-p", "base",
     "qpdf --allow-weak-crypto --object-streams=disable --encrypt '' owner 128 --use-aes=n --print=low --modify=none "
     "--extract=n -- IN OUT.tmp && /usr/bin/python3 PSCRIPT OUT.tmp OUT"},
    {"aes-128-unsigned-p", "base",
     "qpdf --object-streams=disable --encrypt '' owner 128 --use-aes=y --print=low --modify=none --extract=n -- "
     "IN OUT.tmp && /usr/bin/python3 PSCRIPT OUT.tmp OUT"},
    {"qpdfwriter", "qt", "cp IN OUT"},
    {"qpdfwriter-a1b", "qta", "cp IN OUT"},
    {"qt-rc4-40", "qt", "qpdf --allow-weak-crypto --encrypt '' owner 40 -- IN OUT"},
    {"qt-rc4-128", "qt", "qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n -- IN OUT"},
    {"qt-rc4-128-v4", "qta", "qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n --force-V4 -- IN OUT"},
    {"qt-aes-128", "qta", "qpdf --encrypt '' owner 128 --use-aes=y -- IN OUT"},
    {"qt-aes-128-cleartext", "qta", "qpdf --encrypt '' owner 128 --use-aes=y --cleartext-metadata -- IN OUT"},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class PdfCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    test::WriteFileBytes(dir_->File("base.py"), BaseScript);
    test::WriteFileBytes(dir_->File("streams.py"), StreamScript);
    test::WriteFileBytes(dir_->File("unsigned_p.py"), UnsignedPScript);
    RunTool("/usr/bin/python3 " + dir_->File("base.py") + " " + dir_->File("base.pdf"));
    WriteMetadataDocument(dir_->File("meta.pdf"));
    const std::string qt = BuildFile("tests/pdf/qpdfwriter/pdf_qpdfwriter_fixture");
    RunTool(qt + " " + dir_->File("qt.pdf"));
    RunTool(qt + " " + dir_->File("qta.pdf") + " a1b");
    for (const Variant& v : Variants) {
      std::string command = Replace(v.command, "IN", dir_->File(std::string(v.base) + ".pdf"));
      command = Replace(Replace(command, "OUT", File(v)), "PSCRIPT", dir_->File("unsigned_p.py"));
      RunTool(Replace(command, "FIXTURES", (test::FixturesDir() / "pdf").string()));
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string File(const Variant& v) { return dir_->File(std::string(v.name) + ".pdf"); }
  static std::string File(const std::string& name) { return dir_->File(name); }

  static test::TempDir* dir_;
};
test::TempDir* PdfCorpus::dir_ = nullptr;

struct PopplerPage {
  double media[4] = {0, 0, 0, 0}, crop[4] = {0, 0, 0, 0};
  int rotate = 0;
};

std::map<int, PopplerPage> PopplerPages(const std::string& file, int count) {
  std::map<int, PopplerPage> pages;
  std::istringstream lines(RunTool("pdfinfo -box -f 1 -l " + std::to_string(count) + " " + file));
  std::string line;
  while (std::getline(lines, line)) {
    // "Page    1 MediaBox:     0.00     0.00   612.00   792.00", "Page    1 rot:  90"
    std::istringstream words(line);
    std::string head, kind;
    int page = 0;
    if (!(words >> head >> page >> kind) || head != "Page") continue;
    if (kind != "MediaBox:" && kind != "CropBox:" && kind != "rot:") continue;
    std::vector<double> values;
    for (std::string word; words >> word;) values.push_back(test::PeerNumber(word));
    if (kind == "MediaBox:" && values.size() == 4) std::copy(values.begin(), values.end(), pages[page].media);
    if (kind == "CropBox:" && values.size() == 4) std::copy(values.begin(), values.end(), pages[page].crop);
    if (kind == "rot:" && values.size() == 1) pages[page].rotate = static_cast<int>(values[0]);
  }
  return pages;
}

TEST_F(PdfCorpus, PagesAndBoxesMatchPoppler) {
  for (const Variant& v : Variants) {
    SCOPED_TRACE(v.name);
    TPDFReader reader(File(v));
    const std::string pageCount = RunTool("qpdf --show-npages " + File(v));
    ASSERT_EQ(reader.GetPageCount(), std::stoi(pageCount));
    auto poppler = PopplerPages(File(v), reader.GetPageCount());
    for (int32_t page = 1; page <= reader.GetPageCount(); ++page) {
      SCOPED_TRACE(page);
      TPDFBox media, crop;
      int32_t rotate = 0;
      ASSERT_TRUE(reader.GetMediaBox(page, media));
      ASSERT_TRUE(reader.GetCropBox(page, crop));
      reader.GetRotate(page, rotate);
      const PopplerPage& p = poppler[page];
      EXPECT_NEAR(media.Left, p.media[0], 0.01);
      EXPECT_NEAR(media.Bottom, p.media[1], 0.01);
      EXPECT_NEAR(media.Right, p.media[2], 0.01);
      EXPECT_NEAR(media.Top, p.media[3], 0.01);
      EXPECT_NEAR(crop.Left, p.crop[0], 0.01);
      EXPECT_NEAR(crop.Bottom, p.crop[1], 0.01);
      EXPECT_NEAR(crop.Right, p.crop[2], 0.01);
      EXPECT_NEAR(crop.Top, p.crop[3], 0.01);
      EXPECT_EQ(rotate, p.rotate);
    }
  }
}

TEST_F(PdfCorpus, DecodedStreamsMatchQpdf) {
  for (const Variant& v : Variants) {
    SCOPED_TRACE(v.name);
    TPDFReader reader(File(v));
    std::istringstream lines(RunTool("/usr/bin/python3 " + File("streams.py") + " " + File(v)));
    int number, generation;
    size_t length;
    std::string md5;
    int compared = 0;
    while (lines >> number >> generation >> length >> md5) {
      SCOPED_TRACE(number);
      auto* stream = dynamic_cast<TPDFDictionary*>(reader.GetIndirectObj(number, generation));
      ASSERT_NE(stream, nullptr);
      stream->SetStreamState(2, &reader);
      EXPECT_EQ(stream->StreamData().size(), length);
      EXPECT_EQ(Hex(TMD5::Of(stream->StreamData().data(), stream->StreamData().size())), md5);
      ++compared;
    }
    EXPECT_GT(compared, 0);
    // Strings are decrypted with their object.
    if (std::string(v.name).find("-") == std::string::npos) continue;
    auto* info = reader.GetTrailer()->GetDictionary(&reader, "Info");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetRequiredObject<TPDFString>(&reader, "Title")->AsUnicode(), u"Corpus title");
  }
}

TEST_F(PdfCorpus, EncryptionParameters) {
  struct Case {
    const char* variant;
    int32_t v, r, bits;
    TPDFCryptMethod strings, streams;
    bool metadata;
  };
  const Case cases[] = {
      {"rc4-40", 1, 2, 40, TPDFCryptMethod::RC4, TPDFCryptMethod::RC4, true},
      {"rc4-128", 2, 3, 128, TPDFCryptMethod::RC4, TPDFCryptMethod::RC4, true},
      {"rc4-128-v4", 4, 4, 128, TPDFCryptMethod::RC4, TPDFCryptMethod::RC4, true},
      {"aes-128", 4, 4, 128, TPDFCryptMethod::AESV2, TPDFCryptMethod::AESV2, true},
      {"aes-128-cleartext", 4, 4, 128, TPDFCryptMethod::AESV2, TPDFCryptMethod::AESV2, false},
      {"qt-rc4-40", 1, 2, 40, TPDFCryptMethod::RC4, TPDFCryptMethod::RC4, true},
      {"qt-aes-128-cleartext", 4, 4, 128, TPDFCryptMethod::AESV2, TPDFCryptMethod::AESV2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    TPDFReader reader(File(std::string(c.variant) + ".pdf"));
    auto* handler = dynamic_cast<TPDFStandardCrypto*>(reader.SecurityHandler());
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->V, c.v);
    EXPECT_EQ(handler->R, c.r);
    EXPECT_EQ(handler->KeyLength * 8, c.bits);
    EXPECT_EQ(handler->StringMethod, c.strings);
    EXPECT_EQ(handler->StreamMethod, c.streams);
    EXPECT_EQ(handler->EncryptMetadata, c.metadata);
  }
  // The unsigned /P reads as the bits qpdf wrote (and the key made from them
  // opens the document: its strings and streams are compared above).
  for (const char* variant : {"rc4-128-unsigned-p", "aes-128-unsigned-p"}) {
    SCOPED_TRACE(variant);
    const std::string file = File(std::string(variant) + ".pdf");
    ASSERT_NE(test::ReadFileBytes(file).find("/P 4294963908"), std::string::npos);
    TPDFReader reader(file);
    auto* handler = dynamic_cast<TPDFStandardCrypto*>(reader.SecurityHandler());
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->P, -3388);
    EXPECT_NE(RunTool("qpdf --show-encryption " + file).find("P = -3388"), std::string::npos);
  }
  EXPECT_EQ(TPDFReader(File("reportlab.pdf")).SecurityHandler(), nullptr);
}

TEST_F(PdfCorpus, RefusedEncryption) {
  struct Case {
    const char* command;
    const char* message;
  };
  const Case cases[] = {
      {"qpdf --encrypt '' owner 256 -- IN OUT",
       "TPDFCollection: Unknown encryption method: Algorithm (V) not supported: 5."},
      {"qpdf --encrypt user owner 128 --use-aes=y -- IN OUT", "TPDFCollection: Invalid password."},
      {"qpdf --allow-weak-crypto --encrypt user owner 40 -- IN OUT", "TPDFCollection: Invalid password."},
  };
  for (const Case& c : cases) {
    const std::string out = File("refused.pdf");
    RunTool(Replace(Replace(c.command, "IN", File("base.pdf")), "OUT", out));
    try {
      TPDFReader reader(out);
      ADD_FAILURE() << c.command;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

// Rewrites qpdf's Encrypt dictionary in place (same length, so that every
// offset stays right) and reads the result.
std::string ReadPatched(const std::string& file, const std::string& from, const std::string& to) {
  EXPECT_EQ(from.size(), to.size());
  std::string bytes = test::ReadFileBytes(file);
  const size_t at = bytes.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at == std::string::npos) return "not found";
  bytes.replace(at, from.size(), to);
  try {
    TPDFReader reader(TPDFBuffer(bytes.begin(), bytes.end()));
    auto* handler = dynamic_cast<TPDFStandardCrypto*>(reader.SecurityHandler());
    return "bits " + std::to_string(handler ? handler->KeyLength * 8 : 0);
  } catch (const Exception& e) {
    return e.Message();
  }
}

TEST_F(PdfCorpus, EncryptDictionaryVariations) {
  const std::string aes = File("aes-128.pdf"), rc4 = File("rc4-128.pdf");
  // Without Length an AES document takes its crypt filter's length.
  EXPECT_EQ(ReadPatched(aes, "/Length 128", "           "), "bits 128");
  EXPECT_EQ(ReadPatched(aes, "/V 4", "/V 3"), "TPDFCollection: Unknown encryption method: Algorithm (V) not supported: 3.");
  EXPECT_EQ(ReadPatched(aes, "/StmF /StdCF", "/StmF /XxxCF"),
            "TPDFCollection: Unknown encryption method: Crypt filter not defined: XxxCF.");
  EXPECT_EQ(ReadPatched(aes, "/CFM /AESV2", "/CFM /AESV3"), "Unknown encryption method: AESV3");
  EXPECT_EQ(ReadPatched(aes, "/Filter /Standard", "/Filter /Standarx"),
            "TPDFCollection: Unknown encryption method: Filter unknown: Standarx.");
  EXPECT_EQ(ReadPatched(rc4, "/Length 128", "/Length 136"), "TPDFCollection: Unknown encryption method: Length invalid.");
  EXPECT_EQ(ReadPatched(rc4, "/Length 128", "/Length 041"), "TPDFCollection: Unknown encryption method: Length invalid.");
  // V 2 without Length is a 40-bit key, which does not match this document.
  EXPECT_EQ(ReadPatched(rc4, "/Length 128", "           "), "TPDFCollection: Invalid password.");
}

TEST_F(PdfCorpus, WrittenWithRC4) {
  for (uint8_t format : {0, 1})
    for (const char* strength : {"40", "128"}) {
      SCOPED_TRACE(std::string(strength) + " format " + std::to_string(format));
      const std::string out = File("rewritten.pdf");
      // The encrypted AES document is decrypted on reading and written again.
      TPDFReader source(File("aes-128-objstm.pdf"));
      TPDFWriter writer;
      std::map<std::pair<int32_t, int32_t>, int32_t> numbers;
      struct Linker : TPDFLinker {
        int32_t MapReference(const TPDFReference& reference) override { return reference.Number; }
      } linker;
      // Object numbers of the source are kept: the writer gets the objects in
      // number order with nulls in the gaps.
      int32_t highest = 0;
      for (const auto& group : source.XRefGroups()) highest = std::max(highest, group.Last);
      for (int32_t n = 1; n <= highest; ++n) {
        TPDFObject* object = source.GetIndirectObj(n, 0);
        auto* dictionary = dynamic_cast<TPDFDictionary*>(object);
        auto* type = dictionary ? dynamic_cast<TPDFName*>(dictionary->Find("Type")) : nullptr;
        const bool structural = object == source.GetTrailer()->GetDictionary(&source, "Encrypt") ||
                                (type && (type->Name == "ObjStm" || type->Name == "XRef"));
        if (!object || structural) {
          writer.AddObject(std::make_unique<TPDFNull>());
          continue;
        }
        if (dictionary && dictionary->StreamState()) dictionary->SetStreamState(2, &source);
        writer.AddObject(object->Clone(linker));
      }
      writer.GetTrailer()->Add("Root", source.GetTrailer()->Find("Root")->Clone(linker));
      writer.GetTrailer()->Add("Info", source.GetTrailer()->Find("Info")->Clone(linker));
      writer.OutputFormat = format;
      writer.SetEncryption("Owner pw", "", -4, std::string(strength) == "40" ? 1 : 2);
      TStringStream stream;
      writer.SaveToStream(stream);
      test::WriteFileBytes(out, stream.DataString());

      const std::string check = RunTool("qpdf --check " + out);
      EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
      EXPECT_NE(RunTool("qpdf --show-encryption --password='Owner pw' " + out).find("Supplied password is owner password"),
                std::string::npos);
      EXPECT_NE(RunTool("pdftotext " + out + " -").find("Page three"), std::string::npos);
      TPDFReader back(out);
      EXPECT_EQ(back.GetPageCount(), 3);
      EXPECT_EQ(back.GetTrailer()->GetDictionary(&back, "Info")->GetRequiredObject<TPDFString>(&back, "Title")->Data,
                "Corpus title");
    }
}

// Every object read and written again: the copy passes qpdf's check when the
// original does, and shows the same text.
TEST_F(PdfCorpus, RewriteOfObjectStreamForms) {
  const std::string pxtool = BuildFile("tools/pxtool/pxtool");
  for (const char* name : {"objstm", "objstm_plain", "objstm_qdf", "fixture_objstm_space", "fixture_objstm_qdf",
                           "fixture_offset_zero", "fixture_catalog_version"}) {
    const std::string in = File(std::string(name) + ".pdf");
    std::string output;
    const bool originalPasses = RunCommand("qpdf --check " + in + " 2>&1", &output) == 0;
    const std::string text = RunTool("pdftotext " + in + " -");
    for (const char* format : {"0", "1"}) {
      SCOPED_TRACE(std::string(name) + " format " + format);
      const std::string out = File("rewritten.pdf");
      RunTool(pxtool + " pdf rewrite --format " + format + " " + in + " " + out);
      if (originalPasses) {
        const std::string check = RunTool("qpdf --check " + out);
        EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
      }
      EXPECT_EQ(RunTool("pdftotext " + out + " -"), text);
    }
  }
}

TEST_F(PdfCorpus, PxtoolInfoDumpAndRewrite) {
  const std::string pxtool = BuildFile("tools/pxtool/pxtool");
  const std::string info = RunTool(pxtool + " pdf info " + File("aes-128.pdf"));
  EXPECT_NE(info.find("Encryption: V 4, R 4, 128 bits, strings AESV2, streams AESV2"), std::string::npos) << info;
  EXPECT_NE(info.find("Page 2: MediaBox 0 0 400 300, CropBox 10 20 290 280, Rotate 90"), std::string::npos) << info;
  const std::string dump = RunTool(pxtool + " pdf dump " + File("aes-128-objstm.pdf"));
  EXPECT_NE(dump.find("/Title (Corpus title)"), std::string::npos);
  EXPECT_NE(dump.find("stream length "), std::string::npos);
  for (const char* options : {"", "--format 1 ", "--rc4 128 secret ", "--format 1 --rc4 40 secret "}) {
    SCOPED_TRACE(options);
    RunTool(pxtool + " pdf rewrite " + options + File("aes-128-objstm.pdf") + " " + File("tool.pdf"));
    const std::string check = RunTool("qpdf --check " + File("tool.pdf"));
    EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
    EXPECT_NE(RunTool("pdftotext " + File("tool.pdf") + " -").find("Hello page one"), std::string::npos);
  }
  std::string output;
  EXPECT_NE(RunCommand(pxtool + " pdf info " + File("streams.py") + " 2>&1", &output), 0);
  EXPECT_NE(output.find("TPDFCollection: Error reading file."), std::string::npos) << output;
}

}  // namespace
}  // namespace px
