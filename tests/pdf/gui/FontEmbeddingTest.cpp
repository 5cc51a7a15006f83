// Embedded TrueType programs: rebuilt, installed privately and removed, for
// programs written by other tools and for damaged ones.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QRawFont>
#include <algorithm>
#include <functional>
#include <memory>
#include <sstream>

#include "support/Numbers.h"
#include "support/TempDir.h"
#include "pdf/UnitFontInformation.h"
#include "pdf/gui/UnitFontEmbedding.h"
#include "platform/core/Debug.h"
#include "platform/core/Fonts.h"

namespace px {
namespace {

struct Program {
  std::string path, kind, baseFont;
  TBytes bytes;
};

// Documents made once for the suite by mutool, pdftocairo and reportlab; the
// font programs come out of them through qpdf.
class EmbeddedPrograms : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    std::string out;
    std::string script = (test::FixturesDir() / "pdfgui" / "fontfixtures.py").string();
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + script + " make " + dir_->Path().string(), &out), 0);
    std::istringstream lines(out);
    Program p;
    while (lines >> p.path >> p.kind >> p.baseFont) {
      std::string b = test::ReadFileBytes(p.path);
      p.bytes.assign(b.begin(), b.end());
      programs_.push_back(p);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static const Program& Find(std::string_view stem) {
    for (const Program& p : programs_)
      if (p.path.find(stem) != std::string::npos) return p;
    ADD_FAILURE() << "no program " << stem;
    return programs_.front();
  }
  static inline test::TempDir* dir_ = nullptr;
  static inline std::vector<Program> programs_;
};

std::unique_ptr<TEmbeddedFont> Load(const Program& p, const TBytes& bytes, std::string_view base) {
  if (p.kind == "FontFile3") return std::make_unique<TEmbeddedCFFFont>(bytes, false, base);
  return std::make_unique<TEmbeddedTTFont>(bytes, true, base);
}

std::string FamilyOf(const TBytes& bytes) {
  QRawFont raw(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())), 12);
  return raw.isValid() ? raw.familyName().toStdString() : std::string("<refused>");
}

bool ResolvesTo(const std::string& face) {
  TFontFacePtr f = ResolveFontFace(face, 400, false);
  return f && f->Family == face;
}

TEST_F(EmbeddedPrograms, RebuiltProgramsOfOtherToolsDecompileAndKeepTheirOutlines) {
  ASSERT_EQ(programs_.size(), 7u);
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    auto loaded = Load(p, p.bytes, p.baseFont);
    TEmbeddedFont& font = *loaded;
    ASSERT_TRUE(font.IsInstalled());
    std::string family = p.baseFont.substr(p.baseFont.find('+') + 1);
    if (p.kind == "FontFile3") family = family.substr(0, family.find('-'));
    EXPECT_EQ(font.FaceName().substr(6), "+" + family);
    std::string rebuilt = p.path + ".rebuilt.ttf";
    test::WriteFileBytes(rebuilt, std::string(font.FontData().begin(), font.FontData().end()));
    std::string out;
    std::string script = (test::FixturesDir() / "pdfgui" / "fontfixtures.py").string();
    EXPECT_EQ(test::RunCommand("/usr/bin/python3 " + script + " check " + rebuilt + " " + p.path, &out), 0) << out;
    EXPECT_EQ(out, "family=" + font.FaceName() + "\n");
    EXPECT_EQ(FamilyOf(font.FontData()), font.FaceName());
    EXPECT_TRUE(ResolvesTo(font.FaceName()));

    TLogFontA lf;
    lf.lfWeight = 123;
    ASSERT_TRUE(font.FillLogFont(lf));
    EXPECT_EQ(std::string(lf.lfFaceName), font.FaceName());
    EXPECT_EQ(lf.lfWeight, font.Weight() ? font.Weight() : 123);
  }
}

TEST_F(EmbeddedPrograms, CairoSubsetsGetGeneratedTablesAndKeepTheirUnicodeCMap) {
  TEmbeddedTTFont font(Find("dejavu").bytes, false, Find("dejavu").baseFont);
  ASSERT_TRUE(font.IsInstalled());
  EXPECT_EQ(font.CMapKind(), TEmbeddedCMapKind::Unicode);
  EXPECT_FALSE(font.Symbolic());
  EXPECT_EQ(font.ItalicState(), 1);  // no post table: generated upright
  EXPECT_LE(font.FirstCode(), uint16_t('H'));
  EXPECT_GE(font.LastCode(), uint16_t('r'));

  TTFontTables tables = ParseTableDirectory(font.FontData());
  for (const char* tag : {"OS/2", "post", "name"}) EXPECT_GE(FindTable(tables, tag), 0) << tag;
  const TTFontTable& os2 = tables[size_t(FindTable(tables, "OS/2"))];
  ASSERT_EQ(os2.Length, 78u);  // version 0
  TTOS2Table rec{};
  UnpackRecord({os2.Data, os2.Length}, 0, 78, &rec, tplOS2);
  EXPECT_EQ(rec.usWidthClass, 5);
  EXPECT_EQ(rec.usWinAscent, 2048);  // unitsPerEm
  EXPECT_EQ(rec.usFirstCharIndex, font.FirstCode());

  QRawFont raw(QByteArray(reinterpret_cast<const char*>(font.FontData().data()), qsizetype(font.FontData().size())),
               12);
  EXPECT_NE(raw.glyphIndexesForString("H").value(0), 0u);
}

TEST_F(EmbeddedPrograms, MacintoshByteMapBecomesASymbolCMapReachedAtF000) {
  const Program& p = Find("reportlab");
  TEmbeddedTTFont font(p.bytes, false, p.baseFont);
  ASSERT_TRUE(font.IsInstalled());
  EXPECT_TRUE(font.Symbolic());
  EXPECT_EQ(font.CMapKind(), TEmbeddedCMapKind::Symbol);
  TLogFontA lf;
  font.FillLogFont(lf);
  EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);

  // reportlab numbers the subset's characters from code 32 on; the code reaches
  // the same glyph through U+F000 + code, as text drawn in a symbol font does.
  QRawFont raw(QByteArray(reinterpret_cast<const char*>(font.FontData().data()), qsizetype(font.FontData().size())),
               12);
  ASSERT_TRUE(raw.isValid());
  for (char16_t code : {u' ', u'!', u'%'}) {
    QString s(QChar(char16_t(0xF000 + code)));
    EXPECT_NE(raw.glyphIndexesForString(s).value(0), 0u) << int(code);
  }
}

TEST_F(EmbeddedPrograms, FaceNamesCountUpAndAFreedFontLeavesTheFaceList) {
  const Program& p = Find("liberation");
  uint32_t before = EmbeddedFontCounter();
  auto letter = [](uint32_t c) { return std::string(1, char('A' + c % 26)) + char('A' + c / 26 % 26) + "AAAA"; };
  std::string second;
  {
    TEmbeddedTTFont a(p.bytes, true, "ABCDEF+Arial");
    TEmbeddedTTFont b(p.bytes, true, "ABCDEF+Arial");
    EXPECT_EQ(a.FaceName(), letter(before + 1) + "+Arial");
    EXPECT_EQ(b.FaceName(), letter(before + 2) + "+Arial");
    EXPECT_TRUE(ResolvesTo(b.FaceName()));
    second = b.FaceName();
  }
  EXPECT_FALSE(ResolvesTo(second));

  struct Case {
    std::string base, face;
  };
  for (const Case& c : std::vector<Case>{{"", "Unknown"},
                                         {"X+", "Unknown"},
                                         {std::string("Bad\x01\x1f") + "Name,Bold", "BadName"},
                                         {"A-very-long-family-name-that-goes-on-and-on", "A-very-long-family-name-"}}) {
    TEmbeddedTTFont f(p.bytes, true, c.base);
    EXPECT_EQ(f.FaceName().substr(7), c.face) << c.base;
  }
}

// The cmap entry of the directory pointing outside the program: the table
// counts as missing.
TBytes WithoutCMap(TBytes bytes) {
  uint16_t n = uint16_t(bytes[4] << 8 | bytes[5]);
  for (uint16_t i = 0; i < n; ++i) {
    uint8_t* e = bytes.data() + 12 + 16 * i;
    if (std::string(reinterpret_cast<char*>(e), 4) == "cmap") e[8] = 0x7F;
  }
  return bytes;
}

TEST_F(EmbeddedPrograms, MissingCMapNeedsSymbolicUse) {
  TBytes bytes = WithoutCMap(Find("dejavu").bytes);
  {
    TDebugCapture debug;
    TEmbeddedTTFont font(bytes, false, "Dv");
    EXPECT_FALSE(font.IsInstalled());
    TLogFontA lf;
    EXPECT_FALSE(font.FillLogFont(lf));
    EXPECT_FALSE(debug.Lines().empty());
  }
  TEmbeddedTTFont font(bytes, true, "Dv");
  ASSERT_TRUE(font.IsInstalled());
  EXPECT_EQ(font.CMapKind(), TEmbeddedCMapKind::Symbol);
  EXPECT_EQ(font.FirstCode(), 0xF001);
}

TEST_F(EmbeddedPrograms, DamagedProgramsAreRefusedWithAMessageNeverACrash) {
  for (const Program& p : programs_) {
    SCOPED_TRACE(p.path);
    size_t n = p.bytes.size();
    for (size_t cut : {size_t(0), size_t(11), size_t(100), n / 4, n / 2, n - 1}) {
      TDebugCapture debug;
      TBytes b(p.bytes.begin(), p.bytes.begin() + long(cut));
      auto font = Load(p, b, "Cut");
      EXPECT_TRUE(font->IsInstalled() || !debug.Lines().empty()) << cut;
    }
    // Bytes flipped across the directory and the tables.
    for (size_t step = 0; step < 400; ++step) {
      TBytes b = p.bytes;
      size_t at = step < 200 ? step : (step * 7919) % n;
      b[at] ^= 0xFF;
      TDebugCapture debug;
      auto font = Load(p, b, "Flip");
      EXPECT_TRUE(font->IsInstalled() || !debug.Lines().empty()) << at;
    }
  }
}

TEST_F(EmbeddedPrograms, CFFProgramsKeepTheirEncodingAndNameUnknownGlyphsPrivately) {
  const Program& p = Find("gs-12");
  TEmbeddedCFFFont font(p.bytes, false, p.baseFont);
  ASSERT_TRUE(font.IsInstalled());
  EXPECT_EQ(font.ItalicState(), 1);
  EXPECT_EQ(font.UnitsPerEm(), 1000);
  std::vector<std::string> names = font.GetGlyphNames();
  ASSERT_EQ(names.size(), 256u);
  EXPECT_EQ(names['H'], "H");
  EXPECT_EQ(names['0'], "zero");
  EXPECT_EQ(names['~'], "");

  TEmbeddedCFFFont italic(Find("gs-13").bytes, false, Find("gs-13").baseFont);
  ASSERT_TRUE(italic.IsInstalled());
  // The subset writer drops ItalicAngle, the only italic figure a CFF program has.
  EXPECT_EQ(italic.ItalicState(), 1);
  TLogFontA lf;
  italic.FillLogFont(lf);
  EXPECT_EQ(lf.lfWeight, 400);
}

// A damaged header or INDEX: the program is unusable with a message and the
// caller draws with a substitute.
TEST_F(EmbeddedPrograms, CFFErrorsMakeTheProgramUnusable) {
  struct Case {
    std::string name;
    std::function<void(TBytes&)> damage;
    std::string message;
  };
  std::vector<Case> cases = {
      {"offset size", [](TBytes& b) { b[b[2] + 2] = 5; }, "Unable to use embedded CFF fontfile: Unsupported offset size: 5."},
      {"version", [](TBytes& b) { b[0] = 2; }, "Unable to use embedded CFF fontfile."},
      {"name count", [](TBytes& b) { b[b[2] + 1] = 2; }, "Unable to use embedded CFF fontfile"},
  };
  for (const Case& c : cases) {
    TBytes bytes = Find("urw").bytes;
    c.damage(bytes);
    TDebugCapture debug;
    TEmbeddedCFFFont font(bytes, false, "X");
    EXPECT_FALSE(font.IsInstalled()) << c.name;
    std::vector<std::string> lines = debug.Lines();
    ASSERT_FALSE(lines.empty()) << c.name;
    EXPECT_EQ(lines.back().substr(0, c.message.size()), c.message) << c.name;
  }
}


// A five-glyph CFF program written by a font builder: ".notdef", "A" (100 50
// hmoveto), "foo.one" (a name without a character), "bar.two" (the bar with
// a suffix), "H";
// defaultWidthX 500, nominalWidthX 200.
const TBytes kTinyCFF = {
    0x01, 0x00, 0x04, 0x01, 0x00, 0x01, 0x01, 0x01, 0x05, 0x54, 0x69, 0x6E, 0x79, 0x00, 0x01, 0x01, 0x01, 0x10,
    0xF8, 0x1D, 0x02, 0x8B, 0x8B, 0xBD, 0x9F, 0x05, 0xC7, 0x0F, 0x91, 0xE8, 0x12, 0xD0, 0x11, 0x00, 0x03, 0x01,
    0x01, 0x08, 0x0F, 0x13, 0x66, 0x6F, 0x6F, 0x2E, 0x6F, 0x6E, 0x65, 0x62, 0x61, 0x72, 0x2E, 0x74, 0x77, 0x6F,
    0x54, 0x69, 0x6E, 0x79, 0x00, 0x00, 0x00, 0x00, 0x22, 0x01, 0x87, 0x01, 0x88, 0x00, 0x29, 0x00, 0x05, 0x01,
    0x01, 0x02, 0x06, 0x0A, 0x0F, 0x10, 0x0E, 0xEF, 0xBD, 0x16, 0x0E, 0x8B, 0x8B, 0x15, 0x0E, 0xA9, 0x95, 0x9F,
    0x15, 0x0E, 0x0E, 0xF8, 0x88, 0x14, 0xF7, 0x5C, 0x15};
constexpr size_t kTinyCharsetOperand = 0x1A;  // "60 charset" in the Top DICT

TEST(EmbeddedCFF, WidthsFromTheFirstClearingOperatorAndPrivateCodePointsForUnknownNames) {
  TEmbeddedCFFFont font(kTinyCFF, false, "Tiny");
  ASSERT_TRUE(font.IsInstalled());
  // hmoveto with two operands, rmoveto with two (none is a width), rmoveto with three
  EXPECT_EQ(font.Widths(), (std::vector<uint16_t>{500, 300, 500, 230, 500}));
  EXPECT_EQ(font.GlyphNameToUnicode("foo.one", true), std::vector<uint16_t>{0xE000});
  EXPECT_EQ(font.GlyphNameToUnicode("foo.two", true), std::vector<uint16_t>{});
  EXPECT_EQ(font.GlyphNameToUnicode("bar.two", true), std::vector<uint16_t>{u'|'});
  EXPECT_EQ(font.GlyphNameToUnicode("A", true), std::vector<uint16_t>{0x41});
  QRawFont raw(QByteArray(reinterpret_cast<const char*>(font.FontData().data()), qsizetype(font.FontData().size())),
               12);
  ASSERT_TRUE(raw.isValid());
  EXPECT_EQ(raw.glyphIndexesForString(QString(QChar(0xE000)) + u'|' + u'H'),
            (QList<quint32>{2, 3, 4}));

  TBytes expertSubset = kTinyCFF;
  ASSERT_EQ(expertSubset[kTinyCharsetOperand], 0xC7);
  expertSubset[kTinyCharsetOperand] = 139 + 2;
  TDebugCapture debug;
  TEmbeddedCFFFont refused(expertSubset, false, "Tiny");
  EXPECT_FALSE(refused.IsInstalled());
  std::vector<std::string> lines = debug.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Implement ExpertSubset charset in CFF font."), lines.end());
}

// A CFF program written by a font builder whose Private DICT gives
// defaultWidthX and nominalWidthX as reals (333.333, as TeX fonts do).
TEST(EmbeddedCFF, RealWidthsWhereOneNumberIsExpectedAreRounded) {
  test::TempDir dir;
  const std::string script = (test::FixturesDir() / "pdfgui" / "real_widths_cff.py").string();
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + script + " " + dir.File("real.cff"), &out), 0) << out;
  const std::string bytes = test::ReadFileBytes(dir.File("real.cff"));
  TEmbeddedCFFFont font(TBytes(bytes.begin(), bytes.end()), false, "RealWidths");
  ASSERT_TRUE(font.IsInstalled());
  EXPECT_EQ(font.Widths(), (std::vector<uint16_t>{333, 600, 333}));
}

// A two-glyph CFF program of 2048 units per em, as a font builder writes it:
// its FontMatrix holds the real ".00048828125", its ItalicAngle "-12.5".
const TBytes kCFF2048 = {
    0x01, 0x00, 0x04, 0x01, 0x00, 0x01, 0x01, 0x01, 0x06, 0x43, 0x6F, 0x6D, 0x6D, 0x61, 0x00, 0x01, 0x01, 0x01,
    0x32, 0xF8, 0x1B, 0x02, 0x1E, 0xE1, 0x2A, 0x5F, 0x0C, 0x02, 0x1E, 0xA0, 0x00, 0x48, 0x82, 0x81, 0x25, 0xFF,
    0x8B, 0x8B, 0x1E, 0xA0, 0x00, 0x48, 0x82, 0x81, 0x25, 0xFF, 0x8B, 0x8B, 0x0C, 0x07, 0xEF, 0x8B, 0xFA, 0x18,
    0x1D, 0x00, 0x00, 0x05, 0x78, 0x05, 0xDB, 0x0F, 0x8B, 0xF7, 0x09, 0x12, 0xDE, 0x11, 0x00, 0x01, 0x01, 0x01,
    0x06, 0x43, 0x6F, 0x6D, 0x6D, 0x61, 0x00, 0x00, 0x00, 0x00, 0x22, 0x00, 0x02, 0x01, 0x01, 0x0F, 0x1D, 0xFA,
    0x7C, 0xEF, 0x16, 0x1C, 0x05, 0x78, 0xF9, 0xB4, 0x1C, 0xFA, 0x88, 0x07, 0x0E, 0xFA, 0xE0, 0xEF, 0x16, 0x1C,
    0x05, 0x78, 0xF9, 0xB4, 0x1C, 0xFA, 0x88, 0x07, 0x0E};

TEST(EmbeddedCFF, RealsKeepTheirPointUnderACommaLocale) {
  test::CommaLocale comma;
  TEmbeddedCFFFont font(kCFF2048, false, "Comma");
  ASSERT_TRUE(font.IsInstalled());
  EXPECT_EQ(font.UnitsPerEm(), 2048);
  EXPECT_EQ(font.Widths(), (std::vector<uint16_t>{1000, 1100}));
}

}  // namespace
}  // namespace px
