// Font resources: the class a font dictionary gets, its code table, ToUnicode,
// CID metrics, embedded programs, and where DrawText places every glyph.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QRawFont>
#include <filesystem>

#include <cmath>
#include <regex>
#include <sstream>

#include "../PdfTestSupport.h"
#include "PdfGuiTestSupport.h"
#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFFontMapper.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/gui/UnitFontEmbedding.h"
#include "pdf/gui/UnitPDFResources.h"
#include "platform/core/Debug.h"
#include "support/TempDir.h"
#include "support/Numbers.h"

namespace px {
namespace {

using test::Parse;

TPDFDictionary* Object(TPDFCollection& doc, int32_t number) {
  return dynamic_cast<TPDFDictionary*>(doc.GetIndirectObj(number, 0));
}

template <class T = TPDFResFont>
T* Font(TPDFWriter& doc, std::string_view dictionary) {
  const int32_t number = doc.AddObject(Parse(dictionary));
  return dynamic_cast<T*>(AttachedResource("Font", &doc, 0, Object(doc, number)));
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

std::string Units(const TEncodingPoint& point) { return std::string(point.Unicode.begin(), point.Unicode.end()); }

// What DrawText handed to the renderer.
struct Recorder {
  struct Glyph {
    std::vector<uint16_t> units;
    bool glyphIndex;
    float x, y;
  };
  std::vector<Glyph> glyphs;
  std::vector<TLogFontA> fonts;
  std::vector<uint32_t> colors;
  std::vector<std::pair<TPDFDictionary*, TPDFMatrix>> forms;

  TPDFTextCallbacks Callbacks() {
    TPDFTextCallbacks c;
    c.Glyph = [](void* data, const uint16_t* units, int32_t count, bool glyphIndex, float x, float y) {
      static_cast<Recorder*>(data)->glyphs.push_back({std::vector<uint16_t>(units, units + count), glyphIndex, x, y});
    };
    c.GlyphData = this;
    c.Select = [](void* data, const TLogFontA& font, uint32_t color) {
      static_cast<Recorder*>(data)->fonts.push_back(font);
      static_cast<Recorder*>(data)->colors.push_back(color);
    };
    c.SelectData = this;
    c.Form = [](void* data, TPDFDictionary* stream, TPDFDictionary*, const TPDFMatrix& matrix) {
      static_cast<Recorder*>(data)->forms.push_back({stream, matrix});
    };
    c.FormData = this;
    return c;
  }
};

TEST(PdfFontResources, FactoryChoosesTheClassOrFails) {
  TPDFWriter doc;
  TDebugCapture capture;
  struct Kind {
    const char* dictionary;
    const char* kind;  // "1", "TT", "0", "3"
    bool guessed;
  };
  const Kind kinds[] = {
      {"<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>", "1", false},
      {"<</Subtype/MMType1/BaseFont/Foo>>", "1", false},
      {"<</Subtype/TrueType/BaseFont/Arial>>", "TT", false},
      {"<</Subtype/Type3/CharProcs<<>>>>", "3", false},
      {"<</Subtype/Type0/Encoding/Identity-H/DescendantFonts[<</Subtype/CIDFontType2>>]>>", "0", false},
      {"<</CharProcs<<>>>>", "3", true},
      {"<</DescendantFonts[<<>>]/Encoding/Identity-H>>", "0", true},
      {"<</FontDescriptor<</ItalicAngle 0/FontFile2<<>>>>>>", "TT", true},
      {"<</BaseFont/Courier>>", "1", true},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.dictionary);
    const size_t before = capture.Lines().size();
    TPDFResFont* font = Font(doc, k.dictionary);
    const std::string kind = dynamic_cast<TPDFResFontType1*>(font)    ? "1"
                             : dynamic_cast<TPDFResFontTypeTT*>(font) ? "TT"
                             : dynamic_cast<TPDFResFontType0*>(font)  ? "0"
                             : dynamic_cast<TPDFResFontType3*>(font)  ? "3"
                                                                      : "?";
    EXPECT_EQ(kind, k.kind);
    const auto lines = capture.Lines();
    EXPECT_EQ(Contains({lines.begin() + long(before), lines.end()}, "No fonttype specified. Going to guess..."),
              k.guessed);
  }

  // The same dictionary under two names is one resource.
  const int32_t shared = doc.AddObject(Parse("<</Subtype/Type1/BaseFont/Helvetica>>"));
  TPDFReference reference(shared, 0);
  EXPECT_EQ(AttachedResource("Font", &doc, 0, &reference), AttachedResource("Font", &doc, 0, Object(doc, shared)));
  EXPECT_EQ(static_cast<TPDFResFont*>(Object(doc, shared)->AttachedObject.get())->BaseFont, "Helvetica");
  EXPECT_EQ(Font(doc, "<</Subtype/Type1>>")->BaseFont, "Anonymous");

  struct Failure {
    const char* dictionary;
    const char* error;
  };
  const Failure failures[] = {
      {"<</Type/XObject/Subtype/Type1>>", "TPDFResFont: Not a font dictionary."},
      {"<</Subtype/Type2>>", "Fonttype not supported: Type2"},
      {"<</Subtype/Type1/Encoding<</Differences[32 /a 1.5]>>>>",
       "TPDFRenderer: Font encoding differences array invalid (1)."},
      {"<</Subtype/Type1/Encoding<</Differences[/a]>>>>", "TPDFRenderer: Font encoding differences array invalid (2)."},
      {"<</Subtype/Type1/Encoding<</Differences[255 /a /b]>>>>",
       "TPDFRenderer: Font encoding differences array invalid (2)."},
      {"<</Subtype/Type1/Encoding<</Differences[-1 /a]>>>>", "TPDFRenderer: Font encoding differences array invalid (2)."},
      {"<</Subtype/Type1/FirstChar 250/Widths[1 2 3 4 5 6 7]>>", "Font widths array incorrect."},
      // A negative FirstChar would write before the table.
      {"<</Subtype/TrueType/FirstChar -2/Widths[1 2 3]>>", "Font widths array incorrect."},
      {"<</Subtype/TrueType/BaseFont/Foo/FontDescriptor<</Flags 32>>>>", "Object does not exist ItalicAngle"},
      {"<</Subtype/Type0/DescendantFonts[<<>> <<>>]>>", "Type 0 font needs exactly one descendant font."},
      {"<</Subtype/Type0>>", "Type 0 font needs exactly one descendant font."},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.dictionary);
    const int32_t number = doc.AddObject(Parse(f.dictionary));
    try {
      AttachedResource("Font", &doc, 0, Object(doc, number));
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(test::Technical(e), f.error);
    }
    EXPECT_EQ(Object(doc, number)->AttachedObject, nullptr);
  }
}

TEST(PdfFontResources, CodeTableFromEncodingWidthsAndNames) {
  TPDFWriter doc;
  // Differences: an integer sets the code, each name takes the next one.
  auto* font = Font(doc,
                    "<</Subtype/Type1/BaseFont/Helvetica/Encoding<</BaseEncoding/WinAnsiEncoding"
                    "/Differences[32 /space /A 65 /B 200 /uni20AC /f_i]>>>>");
  EXPECT_EQ(Units(font->Codes[32]), " ");
  EXPECT_EQ(Units(font->Codes[33]), "A");
  EXPECT_EQ(Units(font->Codes[65]), "B");
  EXPECT_EQ(Units(font->Codes[66]), "B");  // WinAnsi keeps the rest
  EXPECT_EQ(font->Codes[200].Unicode, std::vector<uint16_t>{0x20AC});
  EXPECT_EQ(Units(font->Codes[201]), "fi");
  // Standard widths by glyph name: Helvetica's A is 667, whatever its code.
  EXPECT_EQ(font->Codes[33].Width, 667);
  EXPECT_TRUE(font->HasWidths);
  // The standard font's face stands in for it.
  TBuildInFontInfo helvetica;
  ASSERT_TRUE(FindStandardFont("Helvetica", helvetica));
  EXPECT_EQ(std::string(font->LogFont.lfFaceName), helvetica.WindowsFace);

  // MissingWidth for every code the Widths array leaves out.
  std::string widths;
  for (int c = 32; c <= 126; ++c) widths += " " + std::to_string(c);
  auto* missing = Font(doc,
                       "<</Subtype/TrueType/BaseFont/Foo/FontDescriptor<</ItalicAngle -12/FontWeight 700/Flags 32"
                       "/MissingWidth 500>>/FirstChar 32/Widths[" +
                           widths + "]>>");
  EXPECT_EQ(missing->Codes[31].Width, 500);
  EXPECT_EQ(missing->Codes[65].Width, 65);
  EXPECT_EQ(missing->Codes[127].Width, 500);
  EXPECT_EQ(missing->LogFont.lfWeight, 700);
  EXPECT_EQ(missing->LogFont.lfItalic, 1);
  EXPECT_EQ(missing->LogFont.lfCharSet, 1);
  EXPECT_EQ(missing->LogFont.lfOutPrecision, 8);

  // A symbolic TrueType font shows code c as character c.
  auto* symbolic = Font(doc, "<</Subtype/TrueType/BaseFont/Wingdings/FontDescriptor<</ItalicAngle 0/Flags 4>>>>");
  EXPECT_EQ(symbolic->Codes[0x41].Unicode, std::vector<uint16_t>{0x41});
  EXPECT_EQ(symbolic->Codes[0xE9].Unicode, std::vector<uint16_t>{0xE9});

  // An Encoding neither name nor dictionary keeps the default encoding.
  auto* odd = Font(doc, "<</Subtype/TrueType/BaseFont/Foo/Encoding 12>>");
  EXPECT_EQ(Units(odd->Codes[0x41]), "A");

  // A subset tag of six letters and "+" is not part of the face; a shorter
  // prefix is.
  struct Name {
    const char* baseFont;
    const char* mapped;
  };
  for (const Name& n : {Name{"ABCDEF+Georgia-Bold", "Georgia-Bold"}, Name{"ABC+Georgia-Bold", "ABC+Georgia-Bold"}}) {
    SCOPED_TRACE(n.baseFont);
    auto* mapped = Font(doc, std::string("<</Subtype/TrueType/BaseFont/") + n.baseFont + ">>");
    EXPECT_STREQ(mapped->LogFont.lfFaceName, PDFFontMapper().Lookup(n.mapped).lfFaceName);
    EXPECT_EQ(mapped->LogFont.lfWeight, PDFFontMapper().Lookup(n.mapped).lfWeight);
  }

  // Without Widths a font is measured in its face: the mapped face's own
  // advances, scaled to 1000 units.
  auto* measured = Font(doc, "<</Subtype/TrueType/BaseFont/Foo>>");
  TFontInformation info(measured->LogFont, fiWidths);
  EXPECT_FALSE(measured->HasWidths);
  EXPECT_GT(measured->Codes['W'].Width, 0);
  EXPECT_EQ(measured->Codes['W'].Width, info.CharWidth('W', 1000));
}

TEST(PdfFontResources, ToUnicodeOnlyForFontsWhoseProgramIsUnusable) {
  struct Case {
    const char* cmap;
    std::vector<std::pair<int, std::string>> expected;  // code, text (UTF-16 units as bytes)
  };
  const Case cases[] = {
      // A range gives successive characters; an array one string per code.
      {"/CMapName /Foo def 1 begincodespacerange <00> <FF> endcodespacerange\n"
       "2 beginbfrange <20> <22> <0041> <30> <31> [<0061> (\\000b)] endbfrange",
       {{32, "A"}, {33, "B"}, {34, "C"}, {48, "a"}, {49, "b"}, {35, "#"}}},
      {"/CIDSystemInfo << /Registry (X) >> def beginbfchar <41> <00660069> <42> <0042> endbfchar",
       {{0x41, "fi"}, {0x42, "B"}}},
      // A two-byte source does not fit a single-byte font: the rest of the
      // block is passed over, the next block counts again.
      {"beginbfchar <0041> <0058> <42> <0059> endbfchar beginbfchar <43> <005A> endbfchar",
       {{0x41, "A"}, {0x42, "B"}, {0x43, "Z"}}},
      // An array of the wrong length, then a damaged token: nothing breaks.
      {"beginbfrange <41> <43> [<0058>] endbfrange beginbfchar <44> <0057> endbfchar ) beginbfchar <45> <0056> endbfchar",
       {{0x41, "A"}, {0x44, "W"}, {0x45, "V"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cmap);
    TPDFWriter doc;
    const int32_t cmap = doc.AddObject(test::Stream("<<>>", c.cmap));
    const int32_t program = doc.AddObject(test::Stream("<<>>", "%!PS-AdobeFont-1.0: Foo"));
    const std::string ref = " " + std::to_string(cmap) + " 0 R";
    auto* unusable = Font(doc, "<</Subtype/Type1/BaseFont/Foo/ToUnicode" + ref +
                                   "/FontDescriptor<</ItalicAngle 0/FontFile " + std::to_string(program) + " 0 R>>>>");
    ASSERT_TRUE(unusable->HasProgram);
    ASSERT_FALSE(unusable->ProgramUsable);
    for (const auto& [code, text] : c.expected) {
      SCOPED_TRACE(code);
      std::string bytes;
      for (uint16_t u : unusable->Codes[size_t(code)].Unicode) bytes += char(u);
      EXPECT_EQ(bytes, text);
    }
    // A font without a program keeps its encoding.
    auto* plain = Font(doc, "<</Subtype/Type1/BaseFont/Foo/ToUnicode" + ref + ">>");
    EXPECT_EQ(Units(plain->Codes[0x20]), " ");
    EXPECT_EQ(Units(plain->Codes[0x41]), "A");
  }
}

TEST(PdfFontResources, CIDMetricsFromWAndW2) {
  TPDFWriter doc;
  TDebugCapture capture;
  // A range over four billion CIDs and negative CIDs cost no more than the table.
  auto* font = Font<TPDFResFontType0>(
      doc,
      "<</Subtype/Type0/Encoding/Identity-V/DescendantFonts[<</DW 600/DW2[800 -900]"
      "/W[-5 0 50 1 [100 200] 10 12 300 60000 2000000000 70 20]"
      "/W2[-3 0 -1 0 0 1 [-500 40 700] 10 12 -600 50 750]>>]>>");
  EXPECT_TRUE(font->IsVertical);
  struct Case {
    uint16_t cid;
    float w0, w1, vx, vy;
  };
  const Case cases[] = {
      {0, 50, -1, 0, 0},           // ranges that start below 0
      {1, 100, -500, 40, 700},      // W and W2 arrays
      {2, 200, -900, 100, 800},     // defaults: w1 and v from DW2, vx = w0 / 2
      {11, 300, -600, 50, 750},     // ranges
      {13, 600, -900, 300, 800},    // DW
      {65535, 70, -900, 35, 800},   // the range is cut at 65535
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cid);
    TCIDRecord r = font->Metrics(c.cid);
    EXPECT_EQ(r.w0, c.w0);
    EXPECT_EQ(r.w1, c.w1);
    EXPECT_EQ(r.Vx, c.vx);
    EXPECT_EQ(r.Vy, c.vy);
  }
  EXPECT_LE(font->GIDSet.size(), 65536u);

  struct Warning {
    const char* descendant;
    const char* encoding;
    const char* message;
  };
  const Warning warnings[] = {
      {"<</DW2[1 2 3]>>", "/Identity-H", "Type 0 font contains invalid DW2 array."},
      {"<</W2[1 2 3 4]>>", "/Identity-H", "Invalid W2 array in font. (2)"},
      {"<</W2[1 /a 3 4]>>", "/Identity-H", "Invalid W2 array in font. (1)"},
      {"<<>>", "/UniJIS-UCS2-H", "Unsupported Type 0 Encoding: /UniJIS-UCS2-H"},
      {"<<>>", "<</CMapName/Foo>>", "Unsupported Type 0 Encoding: <<"},
      {"<<>>", nullptr, "No Type 0 Encoding specified."},
  };
  for (const Warning& w : warnings) {
    SCOPED_TRACE(w.message);
    auto* f = Font<TPDFResFontType0>(doc, std::string("<</Subtype/Type0/DescendantFonts[") + w.descendant + "]" +
                                              (w.encoding ? std::string("/Encoding") + w.encoding : "") + ">>");
    EXPECT_FALSE(f->IsVertical);
    EXPECT_TRUE(Contains(capture.Lines(), w.message));
  }

  // CIDToGIDMap: non-zero entries only.
  const int32_t map = doc.AddObject(test::Stream("<<>>", std::string("\0\0\0\7\0\0\1\2", 8)));
  auto* mapped = Font<TPDFResFontType0>(doc, "<</Subtype/Type0/Encoding/Identity-H/DescendantFonts[<</CIDToGIDMap " +
                                                 std::to_string(map) + " 0 R>>]>>");
  EXPECT_EQ(mapped->GlyphOf(1), 7);
  EXPECT_EQ(mapped->GlyphOf(2), 2);
  EXPECT_EQ(mapped->GlyphOf(3), 0x102);
  EXPECT_EQ(mapped->CIDToGID.size(), 2u);
}

TEST(PdfFontResources, DrawTextPlacesEveryGlyphAndAdvances) {
  TPDFWriter doc;
  const TPDFMatrix device{2, 0, 0, -2, 0, 200};  // 2 pixels per point, y down
  // Byte font: widths 500 for A, 250 for space.
  auto* bytes = Font(doc, "<</Subtype/TrueType/BaseFont/Arial/FirstChar 32/Widths[250 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "
                          "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 500]>>");
  {
    Recorder r;
    TPDFTextState text;
    text.Size = 10, text.Tc = 1, text.Tw = 3, text.Tz = 50, text.Ts = 2;
    text.Tm = {1, 0, 0, 1, 10, 20};
    bytes->DrawText("A A", r.Callbacks(), 0xFF, text, device);
    ASSERT_EQ(r.glyphs.size(), 3u);
    // A: 5 + Tc 1 = 6, scaled by Tz 50% = 3; space: 2.5 + 1 + Tw 3 = 6.5 → 3.25.
    const float xs[] = {10, 13, 16.25f};
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_FLOAT_EQ(r.glyphs[k].x, 2 * xs[k]);
      EXPECT_FLOAT_EQ(r.glyphs[k].y, 200 - 2 * 22);  // rise 2 above the baseline
      EXPECT_FALSE(r.glyphs[k].glyphIndex);
    }
    EXPECT_EQ(r.glyphs[0].units, std::vector<uint16_t>{'A'});
    EXPECT_FLOAT_EQ(text.Tm[4], 19.25f);
    ASSERT_EQ(r.fonts.size(), 1u);
    EXPECT_EQ(r.fonts[0].lfHeight, -20);  // 10 pt at 2 pixels per point; Tz leaves the shape alone
    EXPECT_EQ(r.fonts[0].lfEscapement, 0);
    EXPECT_EQ(r.colors[0], 0xFFu);
  }
  {
    // Rotated a quarter turn counter-clockwise on the page; invisible text
    // selects the font and advances, but shows nothing.
    Recorder r;
    TPDFTextState text;
    text.Size = 12;
    text.Tm = {0, 1, -1, 0, 50, 50};
    bytes->DrawText("AA", r.Callbacks(), PDFInvisibleTextColor, text, device);
    EXPECT_TRUE(r.glyphs.empty());
    ASSERT_EQ(r.fonts.size(), 1u);
    EXPECT_EQ(r.fonts[0].lfEscapement, 900);
    EXPECT_EQ(r.fonts[0].lfOrientation, 900);
    EXPECT_EQ(r.fonts[0].lfHeight, -24);
    EXPECT_FLOAT_EQ(text.Tm[5], 62);
  }
  {
    // Vertical Type 0: each glyph is placed by (-Vx, -Vy) around the pen and
    // the pen moves down by w1 (one em by default); word spacing never applies.
    auto* cid = Font(doc, "<</Subtype/Type0/Encoding/Identity-V/DescendantFonts[<</W[1 [800]]>>]>>");
    Recorder r;
    TPDFTextState text;
    text.Size = 10, text.Tw = 5;
    text.Tm = {1, 0, 0, 1, 100, 100};
    cid->DrawText(std::string("\0\1\0\x20\7", 5), r.Callbacks(), 0, text, PDFIdentityMatrix);
    ASSERT_EQ(r.glyphs.size(), 2u);
    EXPECT_TRUE(r.glyphs[0].glyphIndex);
    EXPECT_EQ(r.glyphs[0].units, std::vector<uint16_t>{1});
    EXPECT_FLOAT_EQ(r.glyphs[0].x, 100 - 4);    // Vx = 800 / 2
    EXPECT_FLOAT_EQ(r.glyphs[0].y, 100 - 8.8f);  // Vy = 880
    EXPECT_FLOAT_EQ(r.glyphs[1].x, 100 - 5);    // DW 1000 / 2
    EXPECT_FLOAT_EQ(r.glyphs[1].y, 90 - 8.8f);
    EXPECT_FLOAT_EQ(text.Tm[4], 100);
    EXPECT_FLOAT_EQ(text.Tm[5], 80);  // the odd last byte is ignored
  }
  {
    // Type 3: the CharProc is drawn with FontMatrix × [size·Tz 0 0 size 0 Ts] × Tm
    // (the rise is a text-space distance), and not at all for invisible text (Tr 3).
    const int32_t proc = doc.AddObject(test::Stream("<<>>", "0 0 m 1 1 l S"));
    auto* t3 = Font<TPDFResFontType3>(doc, "<</Subtype/Type3/FontMatrix[0.01 0 0 0.01 0 0]/FirstChar 65/Widths[50]"
                                           "/Encoding<</Differences[65 /box]>>/CharProcs<</box " +
                                               std::to_string(proc) + " 0 R>>>>");
    ASSERT_EQ(t3->CharProcs[65], Object(doc, proc));
    Recorder r;
    TPDFTextState text;
    text.Size = 10, text.Tz = 200, text.Ts = 1, text.Tc = 0.5f;
    text.Tm = {1, 0, 0, 1, 30, 40};
    t3->DrawText("AB", r.Callbacks(), 0, text, device);
    ASSERT_EQ(r.forms.size(), 1u);
    const TPDFMatrix expected{0.2f, 0, 0, 0.1f, 30, 41};
    for (size_t k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(r.forms[0].second[k], expected[k]) << k;
    EXPECT_TRUE(r.fonts.empty());
    // A advances 0.01 × 1000 × 50 / 1000 × 10 = 5 plus Tc, B (width 0) Tc only; Tz doubles.
    EXPECT_FLOAT_EQ(text.Tm[4], 30 + 2 * (5 + 0.5f + 0.5f));
    Recorder hidden;
    t3->DrawText("A", hidden.Callbacks(), PDFInvisibleTextColor, text, device);
    EXPECT_TRUE(hidden.forms.empty());
  }
}

// A line of Helvetica lands where another renderer puts it.
TEST(PdfFontResources, HelveticaGlyphPositionsMatchMutoolTrace) {
  test::TempDir dir;
  const std::string page = (dir.Path() / "h.txt").string(), pdf = (dir.Path() / "h.pdf").string();
  test::WriteFileBytes(page,
                       "%%MediaBox 0 0 300 100\n%%Font F1 Helvetica\n"
                       "BT /F1 12 Tf 2 Tc 5 Tw 90 Tz 10 50 Td (Hello World, AVAW fi!) Tj ET\n");
  test::RunTool("mutool create -o " + pdf + " " + page);
  const std::string trace = test::RunTool("mutool trace " + pdf);
  std::vector<float> expected;
  const std::regex glyph("<g unicode=\"[^\"]*\" glyph=\"[^\"]*\" x=\"([0-9.]+)\" y=\"50\"");
  for (auto it = std::sregex_iterator(trace.begin(), trace.end(), glyph); it != std::sregex_iterator(); ++it)
    expected.push_back(static_cast<float>(test::PeerNumber((*it)[1].str())));
  ASSERT_EQ(expected.size(), 21u) << trace;

  TPDFReader reader(pdf);
  TPDFDictionary* resources = reader.GetPage(1)->GetDictionary(&reader, "Resources");
  TPDFDictionary* fonts = resources->GetDictionary(&reader, "Font");
  auto* font = dynamic_cast<TPDFResFont*>(AttachedResource("Font", &reader, 0, fonts->Find("F1")));
  ASSERT_NE(font, nullptr);
  Recorder r;
  TPDFTextState text;
  text.Size = 12, text.Tc = 2, text.Tw = 5, text.Tz = 90;
  text.Tm = {1, 0, 0, 1, 10, 50};
  font->DrawText("Hello World, AVAW fi!", r.Callbacks(), 0, text, PDFIdentityMatrix);
  ASSERT_EQ(r.glyphs.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    EXPECT_NEAR(r.glyphs[k].x, expected[k], 0.01) << k;
    EXPECT_FLOAT_EQ(r.glyphs[k].y, 50);
  }
}

TEST(PdfFontResources, EmbeddedProgramsAreInstalledOnceAndShared) {
  TPDFWriter doc;
  TDebugCapture capture;
  const std::string dejavu = test::ReadFileBytes("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  const int32_t file = doc.AddObject(test::Stream("<<>>", dejavu));
  const std::string descriptor = "/FontDescriptor<</ItalicAngle 0/Flags 32/FontFile2 " + std::to_string(file) + " 0 R>>";
  auto* first = Font(doc, "<</Subtype/TrueType/BaseFont/ABCDEF+DejaVuSans/Encoding/WinAnsiEncoding" + descriptor + ">>");
  auto* second = Font(doc, "<</Subtype/TrueType/BaseFont/DejaVuSans" + descriptor + ">>");
  ASSERT_TRUE(first->ProgramUsable);
  ASSERT_NE(first->Program, nullptr);
  EXPECT_EQ(second->Program, first->Program);
  EXPECT_STREQ(first->LogFont.lfFaceName, first->Program->FaceName().c_str());
  EXPECT_EQ(first->Program->FaceName().substr(6), "+DejaVuSans");
  // Measured in the installed program: DejaVu Sans' own advances.
  TFontInformation original("DejaVu Sans", 400, false, fiWidths);
  EXPECT_EQ(first->Codes['W'].Width, original.CharWidth('W', 1000));
  EXPECT_EQ(first->Codes[0x80].Unicode, std::vector<uint16_t>{0x20AC});

  // Programs that cannot be used: each with its warning; the font goes on.
  struct Bad {
    const char* key;
    const char* data;
    const char* filter;
    const char* warning;
  };
  const Bad bad[] = {
      {"FontFile2", "not a font", "", "Unable to use embedded TrueType fontfile: Bad"},
      {"FontFile3", "not a font", "/Subtype/Type1C", "Unable to use embedded CFF fontfile: Bad"},
      {"FontFile", "%!PS-AdobeFont-1.0", "", "Unable to use embedded type1 fontfile: Bad"},
      {"FontFile2", "xx", "/Filter/FlateDecode", "Unable to use embedded TrueType fontfile (corrupt font stream): Bad"},
      {"FontFile3", "xx", "/Filter/FlateDecode", "Unable to use embedded CFF fontfile (corrupt font stream): Bad"},
      {"FontFile", "xx", "/Filter/FlateDecode", "Unable to use embedded T1 fontfile (corrupt font stream): Bad"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.warning);
    auto stream = test::Stream(std::string("<<") + b.filter + ">>", b.data);
    stream->SetStreamData(1, TPDFBuffer(b.data, b.data + std::strlen(b.data)));
    const int32_t number = doc.AddObject(std::move(stream));
    auto* font = Font(doc, std::string("<</Subtype/TrueType/BaseFont/Bad/FontDescriptor<</ItalicAngle 0/") + b.key +
                               " " + std::to_string(number) + " 0 R>>>>");
    EXPECT_TRUE(font->HasProgram);
    EXPECT_FALSE(font->ProgramUsable);
    EXPECT_TRUE(Contains(capture.Lines(), b.warning));
  }
}


// Documents of other tools, made once for these tests: the font fixtures'
// documents, the listing documents and one written by Qt.
class FontDocuments : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    const std::string script = (test::FixturesDir() / "pdfgui" / "fontfixtures.py").string();
    std::string out;
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + script + " make " + dir_->Path().string(), &out), 0) << out;
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + script + " docs " + dir_->Path().string(), &out), 0) << out;
    ASSERT_EQ(test::RunCommand("QT_QPA_PLATFORM=offscreen " + test::BuildFile("tests/pdf/qpdfwriter/pdf_qpdfwriter_fixture") +
                                   " " + Path("qt.pdf") + " 2>&1",
                               &out),
              0)
        << out;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Path(const std::string& name) { return (dir_->Path() / name).string(); }
  static inline test::TempDir* dir_ = nullptr;
};

struct Listed {
  int page;
  std::string name, baseFont, subtype, program, usable, face;
};

std::vector<Listed> ParseListing(const std::string& text) {
  std::vector<Listed> fonts;
  const std::regex line(R"re((\d+) (\S+) (\S+) (\S+) program=(\S+) usable=(\S+) face="([^"]*)")re");
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);) {
    std::smatch m;
    if (std::regex_match(l, m, line))
      fonts.push_back({std::stoi(m[1]), m[2], m[3], m[4], m[5], m[6], m[7]});
    else
      ADD_FAILURE() << "unexpected line: " << l;
  }
  return fonts;
}

// Each font's advances in its installed program equal the widths the
// document gives for the glyphs DrawText emits: the glyphs are the right ones.
void ExpectGlyphsMatchWidths(TPDFResFontType0& font, const std::string& cids) {
  ASSERT_TRUE(font.ProgramUsable) << font.BaseFont;
  Recorder r;
  TPDFTextState text;
  text.Size = 1;
  font.DrawText(cids, r.Callbacks(), 0, text, PDFIdentityMatrix);
  ASSERT_EQ(r.glyphs.size(), cids.size() / 2);
  const TBytes& data = font.Program->FontData();
  QRawFont raw(QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size())), 1000);
  ASSERT_TRUE(raw.isValid());
  QList<quint32> glyphs;
  for (const auto& g : r.glyphs) {
    EXPECT_TRUE(g.glyphIndex);
    glyphs.push_back(g.units.at(0));
  }
  const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
  for (size_t k = 0; k < r.glyphs.size(); ++k) {
    const uint16_t cid = uint16_t(uint8_t(cids[2 * k]) << 8 | uint8_t(cids[2 * k + 1]));
    EXPECT_NEAR(advances[qsizetype(k)].x(), font.Metrics(cid).w0, 1.0) << "CID " << cid << " glyph " << glyphs[qsizetype(k)];
  }
}

TEST_F(FontDocuments, PxtoolListsTheFontsPdffontsLists) {
  int documents = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_->Path())) {
    if (entry.path().extension() != ".pdf") continue;
    ++documents;
    const std::string pdf = entry.path().string();
    SCOPED_TRACE(pdf);
    test::TempDir out;
    std::string ours;
    ASSERT_EQ(test::RunCommand(test::BuildFile("tools/pxtool/pxtool") + " pdf fonts " + pdf + " 2>" + out.File("err"), &ours),
              0);
    const std::string warnings = test::ReadFileBytes(out.File("err"));
    const std::vector<Listed> fonts = ParseListing(ours);
    std::istringstream theirs(test::RunTool("pdffonts " + pdf));
    std::string header;
    std::getline(theirs, header);
    std::getline(theirs, header);
    size_t k = 0;
    for (std::string l; std::getline(theirs, l); ++k) {
      ASSERT_LT(k, fonts.size()) << l;
      const Listed& f = fonts[k];
      std::string name = l.substr(0, 36), type = l.substr(37, 17), emb = l.substr(72, 3);
      name.erase(name.find_last_not_of(' ') + 1);
      EXPECT_EQ(f.baseFont, name == "[none]" ? "Anonymous" : name) << l;
      // Type 3 glyphs are content streams, not a font program.
      if (type.starts_with("Type 3"))
        EXPECT_EQ(f.program, "none");
      else
        EXPECT_EQ(f.program != "none", emb == "yes") << l;
      if (type.find("(OT)") != std::string::npos) {
        // OpenType programs (FontFile3/OpenType) stay unused.
        EXPECT_EQ(f.usable, "no") << l;
        EXPECT_NE(warnings.find("Unable to use embedded CFF fontfile: " + f.baseFont), std::string::npos);
      } else if (f.program == "TrueType" || f.program == "CFF") {
        EXPECT_EQ(f.usable, "yes") << l;
        EXPECT_EQ(f.face.substr(6, 1), "+") << l;
      }
      if (f.program == "Type1") {
        EXPECT_EQ(f.usable, "no");
        EXPECT_NE(warnings.find("Unable to use embedded type1 fontfile: " + f.baseFont), std::string::npos);
      }
    }
    EXPECT_EQ(k, fonts.size());
  }
  EXPECT_GE(documents, 9);

  // Inherited resources first, then forms (nested ones too) and annotation
  // appearances; a font of an earlier page is not listed again.
  std::string tree;
  ASSERT_EQ(test::RunCommand(test::BuildFile("tools/pxtool/pxtool") + " pdf fonts " + Path("tree.pdf"), &tree), 0);
  std::string order;
  for (const Listed& f : ParseListing(tree)) order += std::to_string(f.page) + f.name + " ";
  EXPECT_EQ(order, "1F1 1F2 1F3 1F4 1F5 2T3 2TT ");
}

TEST_F(FontDocuments, PxtoolFontFileWritesTheInstallableProgram) {
  const std::string pxtool = test::BuildFile("tools/pxtool/pxtool");
  test::TempDir out;
  std::string face;
  ASSERT_EQ(test::RunCommand(pxtool + " pdf fontfile " + Path("dejavu.pdf") + " 7 " + out.File("f.ttf") + " 2>/dev/null", &face),
            0);
  ASSERT_EQ(face.substr(6), "+DejaVuSans\n");
  const std::string bytes = test::ReadFileBytes(out.File("f.ttf"));
  QRawFont raw(QByteArray(bytes.data(), qsizetype(bytes.size())), 12);
  EXPECT_EQ(raw.familyName().toStdString() + "\n", face);

  // A Type 1 program cannot be installed: the reason, and failure.
  std::string refused;
  EXPECT_NE(test::RunCommand(pxtool + " pdf fontfile " + Path("t1.pdf") + " 4 " + out.File("t1") + " 2>&1", &refused), 0);
  EXPECT_NE(refused.find("Unable to use embedded type1 fontfile: Nimbus Sans Regular"), std::string::npos) << refused;
  EXPECT_FALSE(std::filesystem::exists(out.File("t1")));
  EXPECT_NE(test::RunCommand(pxtool + " pdf fontfile " + Path("t1.pdf") + " 1 " + out.File("t1") + " 2>&1", &refused), 0);
}

TEST_F(FontDocuments, CompositeFontsDrawTheGlyphsOfTheirCIDs) {
  // CID TrueType written by Qt and a CID-keyed CFF subset written by cairo.
  for (const char* name : {"qt.pdf", "cid.pdf"}) {
    SCOPED_TRACE(name);
    TPDFReader reader(Path(name));
    TPDFDictionary* fonts =
        reader.GetPage(1)->GetDictionary(&reader, "Resources")->GetDictionary(&reader, "Font");
    auto* font = dynamic_cast<TPDFResFontType0*>(AttachedResource("Font", &reader, 0, fonts->GetValue(0)));
    ASSERT_NE(font, nullptr);
    ExpectGlyphsMatchWidths(*font, std::string("\0\1\0\2\0\3\0\4", 8));
  }

  // A CID-keyed program whose CIDs are not its glyph indexes: glyph g has
  // CID g + 100, and the program's charset decides, not the CID.
  const std::string script = (test::FixturesDir() / "pdfgui" / "fontfixtures.py").string();
  test::RunTool("/usr/bin/python3 " + script + " cidshift " + Path("cid-7-FontFile3.bin") + " " + Path("shift.cff") + " 100");
  TPDFWriter doc;
  const int32_t program = doc.AddObject(test::Stream("<</Subtype/CIDFontType0C>>", test::ReadFileBytes(Path("shift.cff"))));
  auto* shifted = Font<TPDFResFontType0>(
      doc, "<</Subtype/Type0/BaseFont/Shifted/Encoding/Identity-H/DescendantFonts[<</Subtype/CIDFontType0"
           "/W[100 [278 667 656 667 278]]/FontDescriptor<</ItalicAngle 0/Flags 4/FontFile3 " +
               std::to_string(program) + " 0 R>>>>]>>");
  ASSERT_TRUE(shifted->ProgramUsable);
  EXPECT_EQ(shifted->GlyphOf(101), 1);
  EXPECT_EQ(shifted->GlyphOf(104), 4);
  ExpectGlyphsMatchWidths(*shifted, std::string("\0\x65\0\x66\0\x67\0\x68", 8));
}


// A Type 1C program without an Encoding entry: the program's own encoding
// names the glyph of each code.
TEST_F(FontDocuments, CFFProgramNamesTheCodesOfAFontWithoutEncoding) {
  TPDFWriter doc;
  const int32_t program =
      doc.AddObject(test::Stream("<</Subtype/Type1C>>", test::ReadFileBytes(Path("gs-12-FontFile3.bin"))));
  auto* font = Font(doc, "<</Subtype/Type1/BaseFont/IEOLML+NimbusSans-Regular/FontDescriptor<</ItalicAngle 0/Flags 32"
                         "/FontFile3 " + std::to_string(program) + " 0 R>>>>");
  ASSERT_TRUE(font->ProgramUsable);
  for (char c : std::string("Hello World, fi 0123")) {
    SCOPED_TRACE(c);
    EXPECT_EQ(Units(font->Codes[uint8_t(c)]), std::string(1, c));
  }
  // Measured in the installed program (Nimbus Sans' H is 722 units wide).
  EXPECT_EQ(font->Codes['H'].Width, 722);
}

}  // namespace
}  // namespace px
