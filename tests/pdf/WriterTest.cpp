#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "PdfTestSupport.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFStreams.h"
#include "platform/core/DateTime.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::Parse;
using test::RunTool;

const std::string Id1("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 16);
const std::string Id2(16, '\xAA');

// A one-page document with text, an Info dictionary and a fixed ID.
std::unique_ptr<TPDFWriter> MakeDocument(int extraObjects = 0) {
  auto writer = std::make_unique<TPDFWriter>();
  auto catalog = Parse("<</Type/Catalog/Pages 2 0 R>>");
  writer->AddObject(std::move(catalog));
  writer->AddObject(Parse("<</Type/Pages/Kids[3 0 R]/Count 1>>"));
  writer->AddObject(Parse(
      "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 100]/Resources<</Font<</F1 5 0 R>>>>/Contents 4 0 R>>"));
  auto content = TPDFDictionary::FromStreamData("BT /F1 12 Tf 20 50 Td (Hello PDF) Tj ET");
  content->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
  writer->AddObject(std::move(content));
  writer->AddObject(Parse("<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>"));
  for (int i = 0; i < extraObjects; ++i) writer->AddObject(TPDFArray::Of(i, 0.5, "s"));
  auto info = std::make_unique<TPDFDictionary>();
  info->Add("Producer", std::make_unique<TPDFString>(std::u16string_view(u"Pondarix & <Co> \u20AC")));
  info->Add("Title", std::make_unique<TPDFString>(std::string("Report")));
  info->Add("CreationDate", std::make_unique<TPDFDateTime>(EncodeDateTime(2024, 3, 9, 14, 30, 5, 0), -60));
  int32_t infoNumber = writer->AddObject(std::move(info));
  writer->GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  writer->GetTrailer()->Add("Info", std::make_unique<TPDFReference>(infoNumber, 0));
  writer->SetDocumentID(Id1, Id2);
  return writer;
}

std::string Save(TPDFWriter& writer, uint8_t format) {
  writer.OutputFormat = format;
  TStringStream stream;
  writer.SaveToStream(stream);
  return stream.DataString();
}

TEST(PdfWriter, WriteObjectForms) {
  TPDFWriter writer;
  TStringStream out;
  TPDFInteger answer(42);
  writer.WriteObject(7, 0, out, nullptr, answer);
  EXPECT_EQ(out.DataString(), "7 0 obj\n42 endobj\n");
  TStringStream bare;
  writer.WriteObject(-1, -1, bare, nullptr, answer);
  EXPECT_EQ(bare.DataString(), "42 ");
}

TEST(PdfWriter, ClassicGoldenBytes) {
  TPDFWriter writer;
  writer.AddObject(Parse("<</Type/Catalog/Pages 2 0 R>>"));
  writer.AddObject(Parse("<</Type/Pages/Kids[]/Count 0>>"));
  writer.AddObject(std::make_unique<TPDFInteger>(42));
  writer.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  writer.SetDocumentID(std::string(16, '\x11'), std::string(16, '\x22'));
  std::string expected =
      "%PDF-1.3\n%\xE2\xE3\xCF\xD3\n"
      "1 0 obj\n<<\n/Type/Catalog\n/Pages 2 0 R\n>>\nendobj\n"
      "2 0 obj\n<<\n/Type/Pages\n/Kids [  ]\n/Count 0\n>>\nendobj\n"
      "3 0 obj\n42 endobj\n"
      "xref\n0 4\n0000000000 65535 f \n0000000015 00000 n \n0000000063 00000 n \n0000000116 00000 n \n"
      "trailer\n<<\n/Root 1 0 R\n/ID [ <11111111111111111111111111111111> <22222222222222222222222222222222> ]\n"
      "/Size 4\n>>\nstartxref\n134\n%%EOF\n";
  EXPECT_EQ(Save(writer, 0), expected);
}

TEST(PdfWriter, CompressedGoldenBytes) {
  TPDFWriter writer;
  writer.AddObject(Parse("<</Type/Catalog/Pages 2 0 R>>"));
  writer.AddObject(Parse("<</Type/Pages/Kids[]/Count 0>>"));
  writer.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  writer.SetDocumentID(std::string(16, '\x11'), std::string(16, '\x22'));
  std::string saved = Save(writer, 1);
  // The catalog is written directly, the page tree goes into object stream 3,
  // the cross-reference stream is object 4.
  std::string head =
      "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n"
      "1 0 obj\n<<\n/Type/Catalog\n/Pages 2 0 R\n>>\nendobj\n"
      "3 0 obj\n<<\n/Type/ObjStm\n/N 1\n/First 4\n/Filter/FlateDecode\n/Length ";
  ASSERT_EQ(saved.substr(0, head.size()), head);
  auto* xref = writer.GetTrailer();
  EXPECT_EQ(AsPDFText(*xref->Find("W")), "[ 1 1 1 ] ");
  EXPECT_EQ(xref->GetInteger(&writer, "Size", 0), 5);
  xref->SetStreamState(2, &writer);
  const auto& entries = xref->StreamData();
  int64_t xrefOffset = static_cast<int64_t>(saved.rfind("4 0 obj"));
  std::vector<uint8_t> expected = {0, 0, 0xFF, 1, 15, 0, 2, 3, 0, 1, static_cast<uint8_t>(saved.find("3 0 obj")), 0,
                                   1, static_cast<uint8_t>(xrefOffset), 0};
  EXPECT_EQ(entries, expected);
  EXPECT_NE(saved.find("startxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n"), std::string::npos);
}

TEST(PdfWriter, DocumentID) {
  TPDFWriter writer;
  std::string id = writer.GetDocumentID();
  EXPECT_EQ(id.size(), 16u);
  EXPECT_EQ(writer.GetDocumentID(), id);
  TPDFWriter bad;
  bad.GetTrailer()->Add("ID", TPDFArray::Of("one"));
  try {
    bad.GetDocumentID();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFCollection: Document ID is not correct.");
  }
  try {
    bad.SetDocumentID(Id1, Id2);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFCollection: document ID is not correct.");
  }
  EXPECT_THROW(writer.GetIndirectObj(1, 0), Exception);
  EXPECT_EQ(writer.GetPageCount(), 0);
  EXPECT_EQ(MakeDocument()->GetPageCount(), 1);
}

// Both formats pass qpdf's check, their offsets agree with qpdf's view of the
// cross references, and they describe the same object graph.
TEST(PdfWriter, BothFormatsAreValidAndEquivalent) {
  test::TempDir dir;
  std::map<int, std::string> files;
  for (int format : {0, 1}) {
    auto writer = MakeDocument(300);
    writer->AddMetadata(1);
    std::string bytes = Save(*writer, static_cast<uint8_t>(format));
    std::string path = dir.File("doc" + std::to_string(format) + ".pdf");
    test::WriteFileBytes(path, bytes);
    files[format] = path;
    std::string check = RunTool("qpdf --check " + path);
    EXPECT_NE(check.find("No syntax or stream encoding errors found"), std::string::npos) << check;
    EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
    // Every uncompressed object starts at the offset qpdf reports.
    std::string xref = RunTool("qpdf --show-xref " + path);
    std::regex line(R"((\d+)/0: uncompressed; offset = (\d+))");
    int seen = 0;
    for (std::sregex_iterator it(xref.begin(), xref.end(), line), end; it != end; ++it, ++seen) {
      std::string number = (*it)[1];
      size_t offset = std::stoul((*it)[2]);
      EXPECT_EQ(bytes.compare(offset, number.size() + 6, number + " 0 obj"), 0) << number;
    }
    EXPECT_GT(seen, 0);
    if (format == 1) {
      // 304 storable objects fill one object stream of 255 and one of 49.
      EXPECT_NE(xref.find("compressed; stream = 308, index = 254"), std::string::npos) << xref;
      EXPECT_NE(xref.find("compressed; stream = 309, index = 48"), std::string::npos) << xref;
    }
    std::string text = RunTool("pdftotext " + path + " -");
    EXPECT_NE(text.find("Hello PDF"), std::string::npos);
    std::string info = RunTool("pdfinfo " + path);
    EXPECT_NE(info.find("Pondarix & <Co>"), std::string::npos) << info;
    RunTool("mutool info " + path);
  }
  // The same graph: qpdf's JSON of the objects reachable from the trailer,
  // with object numbers normalised by following references from the root.
  std::string script = R"(
import json, subprocess, sys
def graph(path):
    data = json.loads(subprocess.check_output(['qpdf', '--json=1', '--json-key=objects', path]))
    objs = data['objects']
    trailer = objs['trailer']
    seen = {}
    def walk(v):
        if isinstance(v, str) and v.endswith(' R'):
            if v not in seen:
                seen[v] = None
                seen[v] = walk(objs[v])
            return ['ref', v]
        if isinstance(v, dict):
            return {k: walk(x) for k, x in v.items() if k not in ('/Length', '/Filter', '/ID', '/DecodeParms')}
        if isinstance(v, list):
            return [walk(x) for x in v]
        return v
    root = walk(trailer.get('/Root'))
    info = walk(trailer.get('/Info'))
    return json.dumps([root, info, seen], sort_keys=True)
a, b = graph(sys.argv[1]), graph(sys.argv[2])
print('same' if a == b else 'different')
)";
  test::WriteFileBytes(dir.File("graph.py"), script);
  std::string result = RunTool("/usr/bin/python3 " + dir.File("graph.py") + " " + files[0] + " " + files[1]);
  EXPECT_EQ(result, "same\n");
}

TEST(PdfWriter, XmpPacketParsesAndEscapes) {
  test::TempDir dir;
  auto writer = MakeDocument();
  auto* info = writer->GetTrailer()->GetObject<TPDFDictionary>(writer.get(), "Info");
  info->Add("Author", std::make_unique<TPDFString>(std::u16string_view(u"A\u00E9 \"<b>\"")));
  writer->AddMetadata(1);
  auto* catalog = writer->GetCatalog();
  auto* metadata = catalog->GetDictionary(writer.get(), "Metadata");
  ASSERT_NE(metadata, nullptr);
  EXPECT_EQ(metadata->GetName(writer.get(), "Type"), "Metadata");
  EXPECT_EQ(metadata->GetName(writer.get(), "Subtype"), "XML");
  test::WriteFileBytes(dir.File("packet.xml"), test::Str(metadata->StreamData()));
  std::string script = R"(
import sys, xml.etree.ElementTree as ET
text = open(sys.argv[1], 'rb').read().decode('utf-8')
start = text.index('<x:xmpmeta'); end = text.index('</x:xmpmeta>') + len('</x:xmpmeta>')
root = ET.fromstring(text[start:end])
ns = {'pdf': 'http://ns.adobe.com/pdf/1.3/', 'xap': 'http://ns.adobe.com/xap/1.0/',
      'dc': 'http://purl.org/dc/elements/1.1/', 'mm': 'http://ns.adobe.com/xap/1.0/mm/',
      'rdf': 'http://www.w3.org/1999/02/22-rdf-syntax-ns#'}
print(root.find('.//pdf:Producer', ns).text)
print(root.find('.//xap:CreateDate', ns).text)
print(root.find('.//dc:title/rdf:Alt/rdf:li', ns).text)
print(root.find('.//dc:creator/rdf:Bag/rdf:li', ns).text)
print(root.find('.//mm:DocumentID', ns).text)
print(root.find('.//mm:InstanceID', ns).text)
print(root.find('.//dc:format', ns).text)
)";
  test::WriteFileBytes(dir.File("xmp.py"), script);
  std::string out = RunTool("/usr/bin/python3 " + dir.File("xmp.py") + " " + dir.File("packet.xml"));
  EXPECT_EQ(out,
            "Pondarix & <Co> \u20AC\n2024-03-09T14:30:05+01:00\nReport\nA\u00E9 \"<b>\"\n"
            "uuid:04030201-0605-0807-090a-0b0c0d0e0f10\nuuid:aaaaaaaa-aaaa-aaaa-aaaa-aaaaaaaaaaaa\n"
            "application/pdf\n");
  // Only a Title: the Dublin Core description holds dc:format and dc:title.
  TPDFWriter only;
  only.AddObject(Parse("<</Type/Catalog>>"));
  only.AddObject(Parse("<</Title (T)>>"));
  only.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  only.GetTrailer()->Add("Info", std::make_unique<TPDFReference>(2, 0));
  only.AddMetadata(1);
  std::string packet = test::Str(only.GetCatalog()->GetDictionary(&only, "Metadata")->StreamData());
  EXPECT_NE(packet.find("<dc:format>application/pdf</dc:format><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">T"
                        "</rdf:li></rdf:Alt></dc:title></rdf:Description>"),
            std::string::npos);
  EXPECT_EQ(packet.find("pdf:Producer"), std::string::npos);
  EXPECT_EQ(packet.find("xapMM"), std::string::npos);
  // PDF/A claims are not offered.
  EXPECT_THROW(only.AddMetadata(2), EPDFException);
  EXPECT_THROW(only.AddMetadata(3), EPDFException);
}

// Extreme reals stay numbers another reader takes: no exponent, and a value
// beyond the integer range keeps its decimal point (qpdf drops an object with
// an integer it cannot hold).
TEST(PdfWriter, ExtremeRealsReadByQpdf) {
  test::TempDir dir;
  TPDFWriter writer;
  writer.AddObject(Parse("<</Type/Catalog/Pages 2 0 R>>"));
  writer.AddObject(Parse("<</Type/Pages/Kids[]/Count 0>>"));
  writer.AddObject(TPDFArray::Of(1e30f, -3e9f, 1e-7f, -4.37113883e-08f));
  writer.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  test::WriteFileBytes(dir.File("r.pdf"), Save(writer, 0));
  std::string check = RunTool("qpdf --check " + dir.File("r.pdf"));
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
  std::string script =
      "import json, subprocess, sys\n"
      "o = json.loads(subprocess.check_output(['qpdf', '--json=2', '--json-key=qpdf', sys.argv[1]]))\n"
      "print(' '.join('%.6g' % float(x) for x in o['qpdf'][1]['obj:3 0 R']['value']))\n";
  test::WriteFileBytes(dir.File("reals.py"), script);
  EXPECT_EQ(RunTool("/usr/bin/python3 " + dir.File("reals.py") + " " + dir.File("r.pdf")),
            "1e+30 -3e+09 1e-07 -4.37114e-08\n");
}

// The middle field is wide enough for object-stream numbers above 255 even
// when every offset is small.
TEST(PdfWriter, CrossReferenceWidthCoversObjectNumbers) {
  TPDFWriter writer;
  writer.AddObject(Parse("<</Type/Catalog/Pages 2 0 R>>"));
  writer.AddObject(Parse("<</Type/Pages/Kids[]/Count 0>>"));
  for (int i = 0; i < 600; ++i) writer.AddObject(std::make_unique<TPDFNull>());
  writer.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  std::string bytes = Save(writer, 1);
  ASSERT_LT(bytes.size(), 65536u);
  EXPECT_EQ(AsPDFText(*writer.GetTrailer()->Find("W")), "[ 1 2 1 ] ");
  test::TempDir dir;
  test::WriteFileBytes(dir.File("w.pdf"), bytes);
  std::string check = RunTool("qpdf --check " + dir.File("w.pdf"));
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
}

TEST(PdfWriter, UnknownOutputFormatWritesNothing) {
  auto other = MakeDocument();
  other->OutputFormat = 7;
  TStringStream nothing;
  other->SaveToStream(nothing);
  EXPECT_EQ(nothing.Size(), 0);
}


// Characters that XML 1.0 cannot carry (controls other than tab, line feed and
// carriage return; U+FFFE and U+FFFF) are left out of the packet, which must
// stay well-formed whatever the Info strings hold.
TEST(PdfWriter, XmpPacketDropsCharactersXmlCannotHold) {
  test::TempDir dir;
  TPDFWriter writer;
  writer.AddObject(Parse("<</Type/Catalog>>"));
  auto info = std::make_unique<TPDFDictionary>();
  info->Add("Title", std::make_unique<TPDFString>(std::u16string_view(u"a\u0001b\u001Fc\uFFFEd\uFFFF\u20AC\te")));
  info->Add("Author", std::make_unique<TPDFString>(std::string("x\x1by", 3)));
  writer.AddObject(std::move(info));
  writer.GetTrailer()->Add("Root", std::make_unique<TPDFReference>(1, 0));
  writer.GetTrailer()->Add("Info", std::make_unique<TPDFReference>(2, 0));
  writer.AddMetadata(1);
  test::WriteFileBytes(dir.File("packet.xml"),
                       test::Str(writer.GetCatalog()->GetDictionary(&writer, "Metadata")->StreamData()));
  std::string script = R"(
import sys, xml.etree.ElementTree as ET
text = open(sys.argv[1], 'rb').read().decode('utf-8')
start = text.index('<x:xmpmeta'); end = text.index('</x:xmpmeta>') + len('</x:xmpmeta>')
root = ET.fromstring(text[start:end])
ns = {'dc': 'http://purl.org/dc/elements/1.1/', 'rdf': 'http://www.w3.org/1999/02/22-rdf-syntax-ns#'}
print(ascii(root.find('.//dc:title/rdf:Alt/rdf:li', ns).text))
print(ascii(root.find('.//dc:creator/rdf:Bag/rdf:li', ns).text))
)";
  test::WriteFileBytes(dir.File("xmp.py"), script);
  EXPECT_EQ(RunTool("/usr/bin/python3 " + dir.File("xmp.py") + " " + dir.File("packet.xml")),
            "'abcd\\u20ac\\te'\n'x\\u02d9y'\n");
}


// Large streams are encoded together before the objects are written: the file
// is the one that encoding them one by one gives, in both formats, and an
// encoding that fails fails the save.
TEST(PdfWriter, LargeStreamsEncodedTogetherWriteTheSameFile) {
  auto withStreams = [](const char* filter) {
    auto writer = MakeDocument();
    for (int s = 0; s < 5; ++s) {
      std::string data;
      for (int k = 0; k < 20000 + 3000 * s; ++k) data += char((k * k + s * 7919) % 251);
      auto stream = TPDFDictionary::FromStreamData(data);
      stream->Add("Filter", std::make_unique<TPDFName>(s == 3 ? filter : "FlateDecode"));
      writer->AddObject(std::move(stream));
    }
    return writer;
  };
  for (uint8_t format : {uint8_t(0), uint8_t(1)}) {
    SCOPED_TRACE(int(format));
    auto together = withStreams("FlateDecode");
    auto oneByOne = withStreams("FlateDecode");
    for (int32_t n = 1; n <= oneByOne->GetObjectCount(); ++n)
      if (auto* d = dynamic_cast<TPDFDictionary*>(oneByOne->GetIndirectObj(n, 0)); d && d->StreamState() == 2)
        d->SetStreamState(1, oneByOne.get());
    EXPECT_EQ(Save(*together, format), Save(*oneByOne, format));
  }
  auto failing = withStreams("NoSuchFilter");
  TStringStream stream;
  try {
    failing->SaveToStream(stream);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Stream enfilter/defilter not found: NoSuchFilter");
  }
  EXPECT_EQ(stream.DataString(), "");
}

}  // namespace
}  // namespace px
