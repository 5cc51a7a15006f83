#include <gtest/gtest.h>

#include "PdfTestSupport.h"
#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFStreams.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"

namespace px {
namespace {

using test::Buf;
using test::Parse;
using test::Str;
using test::Technical;

TEST(PdfObjects, WriteToForms) {
  EXPECT_EQ(AsPDFText(TPDFArray()), "[  ] ");
  EXPECT_EQ(AsPDFText(*TPDFArray::Of(5)), "[ 5 ] ");
  EXPECT_EQ(AsPDFText(*TPDFArray::Of(1, 2, 3)), "[ 1 2 3 ] ");
  EXPECT_EQ(AsPDFText(*TPDFArray::Of(true, 0.5, "ab\0cd", std::make_unique<TPDFName>("N"))),
            "[ true 0.5 (ab) /N ] ");
  EXPECT_EQ(AsPDFText(TPDFInteger(-7)), "-7 ");
  EXPECT_EQ(AsPDFText(TPDFReference(12, 0)), "12 0 R ");
  EXPECT_EQ(AsPDFText(TPDFNull()), "null ");
  EXPECT_EQ(AsPDFText(TPDFCommand("T*")), "T* ");
  static const char raw[] = "(a)\\<>\b\t\n\f\r\x80\0z";
  static const char written[] = "(\\(a\\)\\\\\\<\\>\\b\\t\\n\\f\\r\x80\0z) ";
  EXPECT_EQ(AsPDFText(TPDFString(std::string(raw, sizeof raw - 1))), std::string(written, sizeof written - 1));
  EXPECT_EQ(AsPDFText(TPDFHexString("\x01\xAB")), "<01AB> ");
  TPDFDictionary d("XObject");
  d.Add("Subtype", std::make_unique<TPDFName>("Image"));
  d.Add("Width", std::make_unique<TPDFInteger>(3));
  d.Add("Decode", TPDFArray::Of(0, 1));
  auto inner = std::make_unique<TPDFDictionary>();
  inner->Add("K", std::make_unique<TPDFInteger>(-1));
  d.Add("DecodeParms", std::move(inner));
  EXPECT_EQ(AsPDFText(d),
            "<<\n/Type/XObject\n/Subtype/Image\n/Width 3\n/Decode [ 0 1 ]\n/DecodeParms <<\n/K -1\n>>\n>>\n");
}

TEST(PdfObjects, RealNumberText) {
  struct Case {
    float value;
    const char* text;
  } cases[] = {{1.5f, "1.5"},     {12.25f, "12.25"}, {0.05f, "0.05"},  {0.f, "0"},      {0.1f, "0.1"},
               {100000.f, "100000"}, {123456.7f, "123457"}, {-2.5f, "-2.5"}, {0.001f, "0.00100000004749745"},
               // No exponent ever: the general form's digits in plain notation
               // (a rotation by 90 degrees leaves cosines like the third).
               {1e-5f, "0.00000999999974737875"}, {-1e-7f, "-0.00000010000000116861"},
               {-4.37113883e-08f, "-0.0000000437113882867379"}, {1e19f, "9999999980506447870.0"},
               {1e30f, "1000000015047466220000000000000.0"}, {-3e9f, "-3000000000.0"},
               {2147483520.f, "2147483520"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(AsPDFText(TPDFReal(c.value)), std::string(c.text) + " ");
  }
  // Small values read back as the same float.
  for (float small : {1e-5f, -4.37113883e-08f, 1e-20f}) {
    auto parsed = Parse(AsPDFText(TPDFReal(small)));
    auto* real = dynamic_cast<TPDFReal*>(parsed.get());
    ASSERT_NE(real, nullptr);
    EXPECT_FLOAT_EQ(real->Value, small);
  }
  EXPECT_EQ(TPDFReal(2.5f).AsInteger(), 2);
  EXPECT_EQ(TPDFReal(3.5f).AsInteger(), 4);
}

TEST(PdfObjects, WideStrings) {
  std::u16string wide = u"A\u20ACz";
  TPDFString s(wide);
  EXPECT_EQ(s.Data, std::string("\xFE\xFF\x00" "A\x20\xAC\x00z", 8));
  EXPECT_EQ(s.AsUnicode(), wide);
  TPDFString narrow(std::u16string_view(u"\u00E4b"));
  EXPECT_EQ(narrow.Data, "\xE4" "b");
  // PDFDocEncoding: 24-31 accents, 128-160 punctuation, 0-23/127/159/173 dropped.
  TPDFString doc(std::string("\x18\x80\x92\xA0\x09\x7F\x9F\xAD" "a", 9));
  EXPECT_EQ(doc.AsUnicode(), u"\u02D8\u2022\u2122\u20ACa");
}

TEST(PdfObjects, DatesCarryTheZoneOffset) {
  TDateTime when = EncodeDateTime(2024, 1, 15, 9, 5, 7, 0);
  EXPECT_EQ(TPDFDateTime(when, -60).Data, "D:20240115090507+01'00'");
  EXPECT_EQ(TPDFDateTime(when, 330).Data, "D:20240115090507-05'30'");
  EXPECT_EQ(TPDFDateTime(when, 0).Data, "D:20240115090507+00'00'");
  TPDFDateTime local(when);
  EXPECT_EQ(local.Bias, -LocalUTCOffsetMinutes(LocalToUTC(when)));
  EXPECT_EQ(local.Year, 2024);
  EXPECT_EQ(local.Second, 7);
}

TEST(PdfObjects, HtmlForms) {
  EXPECT_EQ(TPDFBoolean(true).AsHTML(), "<span class=\"PDFKeyword\">true</span>");
  EXPECT_EQ(TPDFNull().AsHTML(), "<span class=\"PDFKeyword\">null</span>");
  EXPECT_EQ(TPDFInteger(5).AsHTML(), "<span class=\"PDFNumeric\">5</span>");
  EXPECT_EQ(TPDFReal(0.5f).AsHTML(), "<span class=\"PDFNumeric\">0.5</span>");
  EXPECT_EQ(TPDFName("A B").AsHTML(), "<span class=\"PDFName\">/A#20B</span>");
  EXPECT_EQ(TPDFReference(3, 1).AsHTML(), "<span class=\"PDFReference\"><a href=\"#3.1\">3 1 R</a></span>");
  EXPECT_EQ(TPDFCommand("BT").AsHTML(), "<span class=\"PDFcommand\">BT</span>");
  EXPECT_EQ(TPDFArray::Of(1, 2)->AsHTML(),
            "<span class=\"PDFArray\">[ <span class=\"PDFNumeric\">1</span> <span class=\"PDFNumeric\">2</span> "
            "]</span>");
  EXPECT_EQ(TPDFString(std::string("a\x01\x02<b\xFF", 6)).AsHTML(),
            "<span class=\"PDFString\">(a&lt;0102&gt;&#60;b&lt;ff&gt;)</span>");
  EXPECT_EQ(TPDFString(std::u16string_view(u"\u20AC<")).AsHTML(), "<span class=\"PDFUString\">(\u20AC&#60;)</span>");
  EXPECT_EQ(TPDFHexString(std::string(100, '\x01')).AsHTML(),
            "<span class=\"PDFHexString\">&lt;" + std::string(200, '0').replace(0, 200, [] {
              std::string s;
              for (int i = 0; i < 100; ++i) s += "01";
              return s;
            }()) + "&gt;</span>");
  EXPECT_EQ(TPDFHexString(std::string(101, '\x01')).AsHTML(),
            "<span class=\"PDFHexString\">&lt;BINARY BLOB&gt;</span>");
  EXPECT_EQ(TPDFDictionary().AsHTML(), "&lt;&lt;&nbsp;&gt;&gt;");
  TPDFDictionary d;
  d.Add("b", std::make_unique<TPDFInteger>(2));
  d.Add("A", std::make_unique<TPDFInteger>(1));
  EXPECT_EQ(d.AsHTML(),
            "<table class=\"PDFDictionary\"><tbody><tr><td>&lt;&lt;</td><td><table style=\"border: 1px solid "
            "gray;\"><tbody><tr><td><span class=\"PDFName\">/A</span></td><td><span "
            "class=\"PDFNumeric\">1</span></td></tr><tr><td><span class=\"PDFName\">/b</span></td><td><span "
            "class=\"PDFNumeric\">2</span></td></tr></tbody></table><td style=\"vertical-align: "
            "bottom;\">&gt;&gt;</td></tbody></table>");
}

class OffsetLinker : public TPDFLinker {
 public:
  int32_t MapReference(const TPDFReference& reference) override { return reference.Number + 100; }
};

TEST(PdfObjects, CloneIsDeepAndRenumbers) {
  auto original = Parse("<</R 4 2 R /A [1 <41> (s)] /D (D:2024)>>");
  auto& dictionary = static_cast<TPDFDictionary&>(*original);
  dictionary.SetStreamData(1, Buf("data"));
  OffsetLinker linker;
  auto copy = original->Clone(linker);
  EXPECT_EQ(AsPDFText(*copy), "<<\n/R 104 0 R\n/A [ 1 <41> (s) ]\n/D (D:2024)\n>>\nstream\ndata\nendstream\n");
  dictionary.SetStreamData(1, Buf("changed"));
  EXPECT_EQ(Str(static_cast<TPDFDictionary&>(*copy).StreamData()), "data");
  TPDFDateTime date(EncodeDate(2020, 2, 3), 0);
  auto dateCopy = date.Clone(linker);
  EXPECT_STREQ(dateCopy->ClassName(), "TPDFString");
}

TEST(PdfObjects, LookupsAndTheirErrors) {
  TPDFWriter doc;
  int32_t target = doc.AddObject(Parse("<</Type/Page>>"));
  doc.AddObject(std::make_unique<TPDFInteger>(9));
  auto dictionary = Parse("<</P 1 0 R /I 2 0 R /N /Name /Direct 5 /Arr [1 0 R 2 0 R] /Missing 7 0 R>>");
  auto& d = static_cast<TPDFDictionary&>(*dictionary);
  EXPECT_EQ(d.GetObject(&doc, "P"), doc.GetIndirectObj(target, 0));
  EXPECT_EQ(d.GetInteger(&doc, "I", 0), 9);
  EXPECT_EQ(d.GetInteger(&doc, "None", 42), 42);
  EXPECT_EQ(d.GetName(&doc, "N"), "Name");
  EXPECT_EQ(d.GetName(&doc, "None", "dflt"), "dflt");
  EXPECT_NE(d.GetDictionary(&doc, "P", "Page"), nullptr);
  EXPECT_EQ(d.IndexOf("Direct"), 3);
  try {
    d.GetDictionary(&doc, "P", "Pages");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Expecting object of type Pages");
  }
  try {
    d.GetObject<TPDFName>(&doc, "Direct");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "object is of unexpected type TPDFInteger. Expected: TPDFName");
  }
  try {
    d.GetObject<TPDFName>(&doc, "I");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Object of wrong type 2 0 R ");
  }
  try {
    d.GetRequiredObject(&doc, "Nothing");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Object does not exist Nothing");
  }
  try {
    d.GetRequiredDictionary(&doc, "Nothing");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Dictionary does not exist Nothing");
  }
  EXPECT_THROW(d.GetKey(99), ERangeError);
  auto* array = d.GetObject<TPDFArray>(&doc, "Arr");
  EXPECT_THROW(array->GetItem(2), ERangeError);
  EXPECT_NE(array->GetRequiredDictionary(&doc, 0), nullptr);
  try {
    array->GetDictionary(&doc, 1);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(Technical(e), "Object of wrong type 2 0 R ");
  }
  TPDFIntArray values;
  TPDFArray::Of(1, 2, 3)->GetIntArray(nullptr, values);
  EXPECT_EQ(values, (TPDFIntArray{1, 2, 3}));
  try {
    TPDFArray::Of(1, "x")->GetIntArray(nullptr, values);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFArray.GetIntArray: No integer array");
  }
  EXPECT_NE(TPDFArray::Of(std::make_unique<TPDFName>("X"))->FindName("X"), nullptr);
  EXPECT_THROW(d.GetObject(nullptr, "P"), EAssertionFailed);
}

// A document whose object is a reference to itself, and a longer cycle.
TEST(PdfObjects, ReferenceCyclesAreBounded) {
  TPDFWriter doc;
  doc.AddObject(std::make_unique<TPDFReference>(1, 0));
  doc.AddObject(std::make_unique<TPDFReference>(3, 0));
  doc.AddObject(std::make_unique<TPDFReference>(2, 0));
  auto d = Parse("<</Self 1 0 R /Cycle 2 0 R>>");
  EXPECT_THROW(static_cast<TPDFDictionary&>(*d).GetObject(&doc, "Self"), Exception);
  EXPECT_THROW(static_cast<TPDFDictionary&>(*d).GetObject(&doc, "Cycle"), Exception);
}

TEST(PdfObjects, StreamStates) {
  TPDFWriter doc;
  auto stream = TPDFDictionary::FromStreamData("hello hello hello");
  EXPECT_EQ(stream->StreamState(), 2);
  EXPECT_FALSE(stream->CanStoreInObjectStream());
  try {
    AsPDFText(*stream);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Stream not encoded before serializing");
  }
  // Two filters: encoding applies them in reverse order; decoding in order.
  stream->Add("Filter", TPDFArray::Of(std::make_unique<TPDFName>("FlateDecode"),
                                      std::make_unique<TPDFName>("FlateDecode")));
  stream->Add("Length", std::make_unique<TPDFInteger>(0));
  stream->SetStreamState(1, &doc);
  EXPECT_EQ(stream->GetInteger(&doc, "Length", -1), static_cast<int32_t>(stream->StreamData().size()));
  EXPECT_EQ(stream->IndexOf("Length"), 1);
  TPDFBuffer once, twice;
  int32_t end = 0;
  FindStreamFilter("FlateDecode").Decode(stream->StreamData(), 0, static_cast<int32_t>(stream->StreamData().size()),
                                         end, nullptr, nullptr, nullptr, once);
  FindStreamFilter("FlateDecode").Decode(once, 0, static_cast<int32_t>(once.size()), end, nullptr, nullptr, nullptr,
                                         twice);
  EXPECT_EQ(Str(twice), "hello hello hello");
  stream->SetStreamState(2, &doc);
  EXPECT_EQ(Str(stream->StreamData()), "hello hello hello");
  TPDFDictionary plain;
  try {
    plain.SetStreamState(2, &doc);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "No stream present.");
  }
  auto unfiltered = TPDFDictionary::FromStreamData("abc");
  unfiltered->SetStreamState(1, &doc);
  EXPECT_EQ(AsPDFText(*unfiltered), "<<\n/Length 3\n>>\nstream\nabc\nendstream\n");
  auto badParms = Parse("<</Filter/FlateDecode/DecodeParms[]>>");
  auto& bad = static_cast<TPDFDictionary&>(*badParms);
  bad.SetStreamData(1, Buf("x"));
  try {
    bad.SetStreamState(2, &doc);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFDictionary.DecodeStream: DecodeParms have wrong object type (1).");
  }
  auto badFilter = Parse("<</Filter 5>>");
  static_cast<TPDFDictionary&>(*badFilter).SetStreamData(1, Buf("x"));
  try {
    static_cast<TPDFDictionary&>(*badFilter).SetStreamState(2, &doc);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFDictionary.DecodeStream: Unknown way of passing decode info (1).");
  }
}

// A reversible stand-in handler that marks what it touched.
class XorCrypto : public TPDFCrypto {
 public:
  void DecryptString(int32_t n, int32_t, std::string& data) override { apply(n, data); }
  void EncryptString(int32_t n, int32_t, std::string& data) override { apply(n, data); }
  void DecryptStream(int32_t n, int32_t, TPDFBuffer& data) override {
    for (auto& b : data) b ^= static_cast<uint8_t>(n);
  }
  void EncryptStream(int32_t n, int32_t g, TPDFBuffer& data) override { DecryptStream(n, g, data); }
  std::unique_ptr<TPDFDictionary> CreateEncryptDictionary() override { return std::make_unique<TPDFDictionary>(); }

 private:
  static void apply(int32_t n, std::string& data) {
    for (auto& c : data) c = static_cast<char>(c ^ n);
  }
};

TEST(PdfObjects, EncryptionIsUndoneAfterWriting) {
  TPDFWriter doc;
  auto object = Parse("<</S (AB) /A [(C)] /I 5>>");
  static_cast<TPDFDictionary&>(*object).SetStreamData(1, Buf("DE"));
  XorCrypto crypto;
  TStringStream out;
  doc.WriteObject(1, 0, out, &crypto, *object);
  EXPECT_EQ(out.DataString(), "1 0 obj\n<<\n/S (@C)\n/A [ (B) ]\n/I 5\n>>\nstream\nED\nendstream\nendobj\n");
  EXPECT_EQ(AsPDFText(*object), "<<\n/S (AB)\n/A [ (C) ]\n/I 5\n>>\nstream\nDE\nendstream\n");
  // Encrypting decoded data is an internal error.
  auto decoded = TPDFDictionary::FromStreamData("x");
  EXPECT_THROW(decoded->Encrypt(1, 0, &crypto), EAssertionFailed);
}

TEST(PdfObjects, BufferStream) {
  TPDFBuffer buffer;
  TPDFBufferStream stream(buffer);
  stream.WriteBuffer("hello");
  EXPECT_EQ(Str(buffer), "hello");
  EXPECT_EQ(stream.Seek(2, soEnd), 3);
  stream.WriteBuffer("LOWORLD");
  EXPECT_EQ(Str(buffer), "helLOWORLD");
  EXPECT_EQ(stream.Seek(-50, soCurrent), 0);
  EXPECT_EQ(stream.Seek(50, soBeginning), 10);
  stream.SetSize(4);
  EXPECT_EQ(stream.Position(), 4);
  char read[8] = {};
  stream.SetPosition(1);
  EXPECT_EQ(stream.Read(read, 8), 3);
  EXPECT_STREQ(read, "elL");
}

}  // namespace
}  // namespace px
