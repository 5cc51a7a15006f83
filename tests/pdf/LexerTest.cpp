#include <gtest/gtest.h>

#include "PdfTestSupport.h"
#include "pdf/UnitPDFUtilities.h"

namespace px {
namespace {

using test::Buf;
using test::Parse;
using test::Technical;

TEST(PdfLexer, ReadErrorMessageFormat) {
  try {
    RaisePDFReadError(57, "");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFCollection: Error reading file.\r\n\r\nTechnical: at position 57.");
  }
  try {
    RaisePDFReadError(0, "");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFCollection: Error reading file.");
  }
  try {
    RaisePDFReadError(3, "Unknown token");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TPDFCollection: Error reading file.\r\n\r\nTechnical: Unknown token at position 3.");
  }
}

// Each input parsed with ParseObject and written back with WriteTo.
TEST(PdfLexer, ObjectsParseAndWriteBack) {
  struct Case {
    const char* input;
    const char* className;
    const char* written;
  } cases[] = {
      {"12 0 R", "TPDFReference", "12 0 R "},
      {"12 0 RG", "TPDFInteger", "12 "},
      {"12 0", "TPDFInteger", "12 "},
      {"12 % comment\n 3 R", "TPDFReference", "12 3 R "},
      // White space and comments before an object.
      {"\n\r\t (a)", "TPDFString", "(a) "},
      {"%% comment\n%\r\n<</A 1>>", "TPDFDictionary", "<<\n/A 1\n>>\n"},
      {"/A#20B", "TPDFName", "/A#20B "},
      {"(a\\(b)", "TPDFString", "(a\\(b) "},
      {"(a(b)c)", "TPDFString", "(a\\(b\\)c) "},
      {"(\\101)", "TPDFString", "(A) "},
      {"(x\\\r\ny)", "TPDFString", "(xy) "},
      {"(x\\\ny)", "TPDFString", "(xy) "},
      {"(\\q)", "TPDFString", "(q) "},
      {"<4 1 4>", "TPDFHexString", "<4140> "},
      {"<>", "TPDFHexString", "<> "},
      {"<abc>", "TPDFHexString", "<ABC0> "},
      {".5", "TPDFReal", "0.5 "},
      {"-.5", "TPDFReal", "-0.5 "},
      {"5.", "TPDFReal", "5 "},
      {"+17", "TPDFInteger", "17 "},
      {"-17", "TPDFInteger", "-17 "},
      {"3.25", "TPDFReal", "3.25 "},
      {"true", "TPDFBoolean", "true "},
      {"false", "TPDFBoolean", "false "},
      {"null", "TPDFNull", "null "},
      {"[1 [2] /N (s)]", "TPDFArray", "[ 1 [ 2 ] /N (s) ] "},
      {"[]", "TPDFArray", "[  ] "},
      {"<</Type/Catalog/Kids[3 0 R]/Count 3>>", "TPDFDictionary", "<<\n/Type/Catalog\n/Kids [ 3 0 R ]\n/Count 3\n>>\n"},
      {"<</A 1 /A 2>>", "TPDFDictionary", "<<\n/A 1\n/A 2\n>>\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    auto object = Parse(c.input);
    EXPECT_STREQ(object->ClassName(), c.className);
    EXPECT_EQ(AsPDFText(*object), c.written);
  }
}

TEST(PdfLexer, OctalEscapeTakesAtMostThreeDigits) {
  auto s = Parse("(\\0053)");
  EXPECT_EQ(static_cast<TPDFString&>(*s).Data, std::string("\x05" "3", 2));
  EXPECT_EQ(static_cast<TPDFString&>(*Parse("(\\777)")).Data, "\xFF");
}

TEST(PdfLexer, ReferencePositionAndSkipping) {
  TPDFBuffer data = Buf("12 0 R /X");
  int32_t pos = 0;
  ParseObject(data, pos, false);
  EXPECT_EQ(pos, 6);
  data = Buf("12 0 RG");
  pos = 0;
  ParseObject(data, pos, false);
  EXPECT_EQ(pos, 2);
  pos = 0;
  ParseObject(data, pos, true);
  EXPECT_EQ(pos, 3);
}

TEST(PdfLexer, Errors) {
  struct Case {
    const char* input;
    const char* technical;
  } cases[] = {
      {"", "End of file reached"},
      {" % only a comment", "End of file reached at position 17."},
      {"/A#2", "Expecting name hex digit (1) at position 2."},
      {"/A#G0", "Expecting name hex digit (2) at position 2."},
      {"/A#0G", "Expecting name hex digit (3) at position 2."},
      {"<4G>", "Not a hex digit 2 at position 2."},
      {"<G>", "Not a hex digit 1 at position 1."},
      {"<41", "Unterminated hex string (1) at position 3."},
      {"<4", "Unterminated hex string (2) at position 2."},
      {"-x", "Expecting integer at position 1."},
      {".", "Unknown token \".\""},
      {"x", "Unknown token"},
      {"(abc", "Unexpected end of string found (1) at position 4."},
      {"(abc\\", "Unexpected end of string found (2) at position 5."},
      {"<</A 1 /B>>", "Unknown token at position 9."},
      {"<</A 1 x>>", "Expecting literal (2) at position 7."},
      {"[1 2", "at position 4."},
      {"fals", "Expecting literal (1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    try {
      Parse(c.input);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(Technical(e), c.technical);
    }
  }
  EXPECT_THROW(Parse("2147483648"), EIntOverflow);
  EXPECT_EQ(static_cast<TPDFInteger&>(*Parse("2147483647")).Value, 2147483647);
  // Reals are not integers: their whole part may lie beyond the integer range,
  // as the writer prints huge values ("3000000000.0").
  EXPECT_FLOAT_EQ(static_cast<TPDFReal&>(*Parse("3000000000.0")).Value, 3e9f);
  EXPECT_FLOAT_EQ(static_cast<TPDFReal&>(*Parse("-30000000000.5")).Value, -3e10f);
  EXPECT_FLOAT_EQ(static_cast<TPDFReal&>(*static_cast<TPDFArray&>(*Parse("[4000000000.25]")).GetItem(0)).Value, 4e9f);
}

// Permission bits written unsigned read as their 32-bit pattern; only a plain
// integer value of /P is read so, every other overflow still fails.
TEST(PdfLexer, UnsignedPermissionBits) {
  const struct {
    const char* input;
    int32_t p;
  } read[] = {
      {"<</P 4294967292>>", -4},
      {"<</P 4294963908/R 3>>", -3388},
      {"<</P 2147483648 >>", INT32_MIN},
      {"<</P 4294967295\n>>", -1},
      {"<</P 2147483647>>", INT32_MAX},
      {"<</P -3388>>", -3388},
  };
  for (const auto& c : read) {
    SCOPED_TRACE(c.input);
    auto object = Parse(c.input);
    auto& dictionary = static_cast<TPDFDictionary&>(*object);
    auto* p = dynamic_cast<TPDFInteger*>(dictionary.Find("P"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Value, c.p);
  }
  EXPECT_NE(static_cast<TPDFDictionary&>(*Parse("<</P 4294963908/R 3>>")).Find("R"), nullptr);
  for (const char* overflow : {"<</P 4294967296>>", "<</P 42949672920>>", "<</Q 4294967292>>", "<</P 4294967292 0 R>>",
                               "<</P +4294967292>>", "<</P [4294967292]>>", "[4294967292]"}) {
    SCOPED_TRACE(overflow);
    EXPECT_THROW(Parse(overflow), EIntOverflow);
  }
  // A real is no integer overflow, whatever its size; /P stays a real then.
  auto real = Parse("<</P 4294967292.5>>");
  EXPECT_NE(dynamic_cast<TPDFReal*>(static_cast<TPDFDictionary&>(*real).Find("P")), nullptr);
}

TEST(PdfLexer, NestingDepthIsCapped) {
  std::string deep(100000, '[');
  EXPECT_THROW(Parse(deep), Exception);
  std::string dicts;
  for (int i = 0; i < 10000; ++i) dicts += "<</A ";
  EXPECT_THROW(Parse(dicts), Exception);
  std::string ok = std::string(100, '[') + std::string(100, ']');
  EXPECT_NO_THROW(Parse(ok));
}

TEST(PdfLexer, ContentTokens) {
  TPDFBuffer data = Buf("% comment\nBT /F1 12 Tf T* (x)' \"d0 true null q");
  int32_t pos = 0;
  std::vector<std::string> tokens;
  while (pos < static_cast<int32_t>(data.size())) {
    auto token = ParseContentToken(data, pos, true);
    tokens.push_back(std::string(token->ClassName()) + ":" + AsPDFText(*token));
  }
  std::vector<std::string> expected = {
      "TPDFCommand:BT ", "TPDFName:/F1 ",   "TPDFInteger:12 ",  "TPDFCommand:Tf ",   "TPDFCommand:T* ",
      "TPDFString:(x) ", "TPDFCommand:' ",  "TPDFCommand:\" ",  "TPDFCommand:d0 ",   "TPDFBoolean:true ",
      "TPDFNull:null ",  "TPDFCommand:q "};
  EXPECT_EQ(tokens, expected);
  data = Buf("1");
  pos = 0;
  EXPECT_THROW(ParseCommand(data, pos, true), Exception);
}

TEST(PdfLexer, LiteralsAndIntegers) {
  TPDFBuffer data = Buf("obj  123 x");
  int32_t pos = 0;
  EXPECT_FALSE(TryEatLiteral(data, pos, "obX", true));
  EXPECT_EQ(pos, 0);
  EXPECT_TRUE(TryEatLiteral(data, pos, "obj", true));
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(EatInteger(data, pos, true), 123);
  EXPECT_EQ(pos, 9);
  EXPECT_THROW(EatInteger(data, pos, true), Exception);
  EXPECT_THROW(ExpectLiteral(data, -1, "o"), Exception);
  EXPECT_THROW(EatChar(data, pos, 'y'), Exception);
}

// Every byte value survives writing and reading back, in names and strings.
TEST(PdfLexer, AllByteValuesRoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (const auto& object : {std::unique_ptr<TPDFObject>(std::make_unique<TPDFString>(all)),
                             std::unique_ptr<TPDFObject>(std::make_unique<TPDFHexString>(all))}) {
    auto back = Parse(AsPDFText(*object));
    EXPECT_EQ(static_cast<TPDFString&>(*back).Data, all);
  }
  // Names cannot hold NUL; every other byte, "/" and "%" included.
  std::string name = all.substr(1);
  auto back = Parse(AsPDFText(TPDFName(name)));
  EXPECT_EQ(static_cast<TPDFName&>(*back).Name, name);
  EXPECT_EQ(EscapeName("a/b%c d#"), "/a#2Fb#25c#20d#23");
  EXPECT_EQ(EscapeName("\x80"), "/#80");
}

TEST(PdfLexer, InlineImageData) {
  // Unfiltered: 2x2 grey 8-bit takes 4 bytes, then "EI" is searched from there.
  TPDFBuffer data = Buf("EIxy EI Q");
  auto image = std::make_unique<TPDFDictionary>();
  image->Add("Width", std::make_unique<TPDFInteger>(2));
  image->Add("Height", std::make_unique<TPDFInteger>(2));
  image->Add("BitsPerComponent", std::make_unique<TPDFInteger>(8));
  int32_t pos = 0;
  EXPECT_TRUE(image->LoadInlineStream(data, pos));
  EXPECT_EQ(test::Str(image->StreamData()), "EIxy E");
  EXPECT_EQ(pos, 8);
  // No "EI": false, stream unchanged.
  auto other = std::make_unique<TPDFDictionary>();
  data = Buf("abcdef");
  pos = 0;
  EXPECT_FALSE(other->LoadInlineStream(data, pos));
  EXPECT_EQ(other->StreamState(), 0);
  // Filtered: the filter finds the end of its data.
  auto hex = std::make_unique<TPDFDictionary>();
  hex->Add("Filter", std::make_unique<TPDFName>("AHx"));
  data = Buf("4142> EI Q");
  pos = 0;
  EXPECT_TRUE(hex->LoadInlineStream(data, pos));
  EXPECT_EQ(test::Str(hex->StreamData()), "AB");
  EXPECT_EQ(pos, 9);
  // Huge sizes do not wrap around.
  auto huge = std::make_unique<TPDFDictionary>();
  huge->Add("Width", std::make_unique<TPDFInteger>(2147483647));
  huge->Add("Height", std::make_unique<TPDFInteger>(2147483647));
  huge->Add("BitsPerComponent", std::make_unique<TPDFInteger>(16));
  huge->Add("ColorSpace", std::make_unique<TPDFName>("DeviceCMYK"));
  data = Buf("xx EI");
  pos = 0;
  EXPECT_THROW(huge->LoadInlineStream(data, pos), Exception);
  // A size just below 2^63 (1717986920 x 2147483646 bits, 20 rows) passes the
  // size check; skipping it from the position must not wrap round to the start.
  auto nearLimit = std::make_unique<TPDFDictionary>();
  nearLimit->Add("Width", std::make_unique<TPDFInteger>(1717986920));
  nearLimit->Add("Height", std::make_unique<TPDFInteger>(20));
  nearLimit->Add("BitsPerComponent", std::make_unique<TPDFInteger>(2147483646));
  EXPECT_EQ(ImageDataSize(*nearLimit), INT64_MAX - 7);
  data = Buf("EI xxxxxxxxxxxxx EI");
  pos = 10;
  EXPECT_FALSE(nearLimit->LoadInlineStream(data, pos));
  EXPECT_EQ(nearLimit->StreamState(), 0);
}

TEST(PdfUtilities, Routines) {
  EXPECT_EQ(PDFStrToInt("0000000017"), 17);
  EXPECT_EQ(PDFStrToInt("-5x"), -5);
  EXPECT_THROW(PDFStrToInt("x5"), EConvertError);
  try {
    PDFStrToInt("");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot convert to integer: ");
  }
  EXPECT_EQ(PDFStrToIntDef("q", 7), 7);
  EXPECT_EQ(PDFIntToStr(-42), "-42");
  EXPECT_EQ(PDFIntToStr(0), "0");
  EXPECT_EQ(PDFLowerCase("AbC\xC4"), "abc\xC4");
  EXPECT_EQ(AnsiToUTF8("\xE4"), "\xC3\xA4");
  TPDFDictionary image;
  image.Add("Width", std::make_unique<TPDFInteger>(10));
  image.Add("Height", std::make_unique<TPDFInteger>(3));
  EXPECT_EQ(ImageDataSize(image), 6);
  TPDFDictionary rgb;
  rgb.Add("ColorSpace", std::make_unique<TPDFName>("DeviceRGB"));
  rgb.Add("Width", std::make_unique<TPDFInteger>(5));
  rgb.Add("BitsPerComponent", std::make_unique<TPDFInteger>(8));
  EXPECT_EQ(ImageDataSize(rgb), 15);
  // Row bits of several factors near 2^31 overflow 64 bits: a read error.
  TPDFDictionary wide;
  wide.Add("ColorSpace", std::make_unique<TPDFName>("DeviceCMYK"));
  wide.Add("Width", std::make_unique<TPDFInteger>(2147483647));
  wide.Add("BitsPerComponent", std::make_unique<TPDFInteger>(2147483647));
  EXPECT_THROW(ImageDataSize(wide), Exception);
  TPDFDictionary negative;
  negative.Add("Width", std::make_unique<TPDFInteger>(-5));
  EXPECT_THROW(ImageDataSize(negative), Exception);
  EXPECT_EQ(CMYKToRGB(0, 0, 0, 0), 0xFFFFFFu & 0xFFFFFF);
  uint32_t black = CMYKToRGB(0, 0, 0, 1);
  EXPECT_LT(black & 0xFF, 64u);
  EXPECT_LT((black >> 8) & 0xFF, 64u);
  EXPECT_LT((black >> 16) & 0xFF, 64u);
  EXPECT_EQ(IntegerDigits(0), INT32_MIN);
  EXPECT_EQ(IntegerDigits(12.5f), 2);
  EXPECT_EQ(IntegerDigits(0.05f), 0);
}

}  // namespace
}  // namespace px
