#include "platform/core/Fonts.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>

#include "support/TempDir.h"

namespace px {
namespace {

const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* kLiberationMono = "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf";

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFlagsFailures) {
  struct Case {
    int32_t a, b, c, expected;
  } cases[] = {
      {10, 3, 2, 15},       {5, 1, 2, 3},          {-5, 1, 2, -3},       {5, -1, 2, -3},      {-5, -1, -2, -3},
      {2, 1, 3, 1},         {1, 1, 3, 0},          {-2, 1, 3, -1},       {7, 1, 0, -1},       {INT32_MAX, 2, 1, -1},
      {INT32_MIN, 1, 1, INT32_MIN},                {INT32_MIN, -1, 1, -1},
      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},  // the product needs 64 bits
      {1901, 20, 2048, 19},
  };
  for (const Case& k : cases) EXPECT_EQ(MulDiv(k.a, k.b, k.c), k.expected) << k.a << " * " << k.b << " / " << k.c;
}

TEST(LogFont, FaceNamesAreCutTo31CharactersAndConvert) {
  TLogFontW w;
  SetLogFontFaceName(w, std::string(40, 'x'));
  EXPECT_EQ(LogFontFaceName(w), std::string(31, 'x'));
  TLogFontA a;
  SetLogFontFaceName(a, "Caf\xC3\xA9");
  EXPECT_EQ(a.lfFaceName[3], '\xE9');  // Windows-1252
  EXPECT_EQ(LogFontFaceName(LogFontAToW(a)), "Caf\xC3\xA9");
  a.lfWeight = 700;
  EXPECT_EQ(LogFontWToA(LogFontAToW(a)).lfWeight, 700);
}

// The resolver and fc-match agree on face and file for every aliased name
// (the test runs under tests/fonts.conf through FONTCONFIG_FILE).
TEST(FontResolver, AgreesWithFcMatch) {
  struct Case {
    const char* face;
    int32_t weight;
    bool italic;
    const char* expectedFamily;
  } cases[] = {
      {"Arial", 400, false, "Liberation Sans"},          {"Arial", 700, true, "Liberation Sans"},
      {"Helvetica", 700, false, "Liberation Sans"},      {"Times New Roman", 400, true, "Liberation Serif"},
      {"Times", 400, false, "Liberation Serif"},         {"Courier New", 700, false, "Liberation Mono"},
      {"Courier", 400, false, "Liberation Mono"},        {"Tahoma", 400, false, "DejaVu Sans"},
      {"Arial Unicode MS", 400, false, "DejaVu Sans"},   {"sans-serif", 400, false, "DejaVu Sans"},
      {"serif", 700, false, "DejaVu Serif"},             {"monospace", 400, false, "DejaVu Sans Mono"},
      {"ZapfDingbats", 400, false, "D050000L"},          {"Nimbus Sans", 400, true, "Nimbus Sans"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.face);
    TFontFacePtr face = ResolveFontFace(k.face, k.weight, k.italic);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->Family, k.expectedFamily);
    std::string pattern;
    for (const char* p = k.face; *p; ++p) {
      if (*p == '-') pattern += '\\';
      pattern += *p;
    }
    pattern += std::string(":weight=") + (k.weight > 400 ? "bold" : "regular") + (k.italic ? ":slant=italic" : "");
    std::string out;
    ASSERT_EQ(test::RunCommand("fc-match -f '%{file}' '" + pattern + "'", &out), 0);
    EXPECT_EQ(face->File, out);
    EXPECT_TRUE(face->Format == "TrueType" || face->Format == "CFF");
  }
}

TEST(FontResolver, MemoryFaceWinsUntilRemoved) {
  std::string bytes = test::ReadFileBytes(kLiberationMono);
  EXPECT_EQ(AddFontMemResource(bytes.data(), 40), 0u);  // no face in a cut file
  EXPECT_EQ(AddFontMemResource("not a font at all", 17), 0u);
  uint32_t count = 0;
  uint32_t handle = AddFontMemResource(bytes.data(), bytes.size(), &count);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(count, 1u);
  TFontFacePtr face = ResolveFontFace("liberation MONO", 400, false);
  ASSERT_NE(face, nullptr);
  EXPECT_TRUE(face->File.empty());
  EXPECT_EQ(face->Data->size(), bytes.size());
  // The bold request takes the nearest registered face rather than an installed one.
  EXPECT_TRUE(ResolveFontFace("Liberation Mono", 700, false)->File.empty());
  bool listed = false;
  EnumFontFamilies([&](const TLogFontA& lf, const TTextMetric&, uint32_t) {
    listed = std::string(lf.lfFaceName) == "Liberation Mono";
    return false;  // the registered family comes first
  });
  EXPECT_TRUE(listed);
  EXPECT_TRUE(RemoveFontMemResource(handle));
  EXPECT_FALSE(RemoveFontMemResource(handle));
  EXPECT_EQ(ResolveFontFace("Liberation Mono", 400, false)->File, kLiberationMono);
}

TEST(FontData, TablesWholeFileAndErrors) {
  TLogFontW lf;
  SetLogFontFaceName(lf, "DejaVu Sans");
  TFontContext dc(lf);
  ASSERT_TRUE(dc.Valid());
  std::string file = test::ReadFileBytes(kDejaVu);
  EXPECT_EQ(GetFontData(dc, 0, 0, nullptr, 0), file.size());
  std::string head(54, '\0');
  ASSERT_EQ(GetFontData(dc, FontTableTag('h', 'e', 'a', 'd'), 0, head.data(), 54), 54u);
  EXPECT_EQ(head.substr(12, 4), "\x5F\x0F\x3C\xF5");  // magicNumber
  EXPECT_EQ(GetFontData(dc, FontTableTag('h', 'e', 'a', 'd'), 0, nullptr, 0), 54u);
  std::string tail(8, '\0');
  EXPECT_EQ(GetFontData(dc, FontTableTag('h', 'e', 'a', 'd'), 50, tail.data(), 8), 4u);  // cut at the table's end
  EXPECT_EQ(GetFontData(dc, FontTableTag('h', 'e', 'a', 'd'), 55, tail.data(), 8), GDI_ERROR);
  EXPECT_EQ(GetFontData(dc, FontTableTag('z', 'z', 'z', 'z'), 0, nullptr, 0), GDI_ERROR);
  std::string whole(16, '\0');
  ASSERT_EQ(GetFontData(dc, 0, 0, whole.data(), 16), 16u);
  EXPECT_EQ(whole, file.substr(0, 16));
}

TEST(FontData, FaceOfACollectionReadsAsAStandaloneFile) {
  test::TempDir dir;
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c \"\n"
                             "from fontTools.ttLib import TTFont, TTCollection\n"
                             "c = TTCollection(); c.fonts = [TTFont('" + std::string(kDejaVu) + "'), TTFont('" +
                                 kLiberationMono + "')]\n"
                             "c.save('" + dir.File("two.ttc") + "')\"",
                             &out),
            0);
  std::string ttc = test::ReadFileBytes(dir.File("two.ttc"));
  uint32_t count = 0;
  uint32_t handle = AddFontMemResource(ttc.data(), ttc.size(), &count);
  ASSERT_EQ(count, 2u);
  TLogFontW lf;
  SetLogFontFaceName(lf, "Liberation Mono");
  TFontContext dc(lf);
  ASSERT_TRUE(dc.Valid());
  EXPECT_EQ(dc.Face()->Index, 1u);
  uint32_t size = GetFontData(dc, 0, 0, nullptr, 0);
  ASSERT_NE(size, GDI_ERROR);
  std::string face(size, '\0');
  ASSERT_EQ(GetFontData(dc, 0, 0, face.data(), size), size);
  test::WriteFileBytes(dir.File("face.ttf"), face);
  // fontTools loads the extracted face with checksums verified, and its tables
  // equal the original file's.
  out.clear();
  EXPECT_EQ(test::RunCommand("/usr/bin/python3 -c \"\n"
                             "from fontTools.ttLib import TTFont\n"
                             "a = TTFont('" + dir.File("face.ttf") + "', checkChecksums=2)\n"
                             "b = TTFont('" + std::string(kLiberationMono) + "')\n"
                             "assert sorted(a.keys()) == sorted(b.keys())\n"
                             "for t in a.keys():\n"
                             "  if t != 'GlyphOrder' and t != 'head': assert a.getTableData(t) == b.getTableData(t), t\n"
                             "print('ok')\"",
                             &out),
            0);
  EXPECT_EQ(out, "ok\n");
  RemoveFontMemResource(handle);
}

TEST(FontMetrics, EmAndCellHeightsFromTheWinMetrics) {
  // DejaVu Sans: unitsPerEm 2048, usWinAscent 1901, usWinDescent 483.
  struct Case {
    int32_t height, ascent, descent, internalLeading;
  } cases[] = {
      {-20, 19, 5, 4},     // em height 20
      {24, 19, 5, 3},      // cell height 24: an em of 21
      {-2048, 1901, 483, 336},
      {0, 15, 4, 3},       // the default em of 16
  };
  for (const Case& k : cases) {
    TLogFontW lf;
    SetLogFontFaceName(lf, "DejaVu Sans");
    lf.lfHeight = k.height;
    TTextMetric tm;
    ASSERT_TRUE(GetTextMetrics(TFontContext(lf), tm));
    EXPECT_EQ(tm.tmAscent, k.ascent) << k.height;
    EXPECT_EQ(tm.tmDescent, k.descent) << k.height;
    EXPECT_EQ(tm.tmHeight, k.ascent + k.descent) << k.height;
    EXPECT_EQ(tm.tmInternalLeading, k.internalLeading) << k.height;
    EXPECT_EQ(tm.tmPitchAndFamily, TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE);
    EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
  }
  TLogFontW mono;
  SetLogFontFaceName(mono, "Courier New");
  TTextMetric tm;
  ASSERT_TRUE(GetTextMetrics(TFontContext(mono), tm));
  EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
  TLogFontW cff;
  SetLogFontFaceName(cff, "Nimbus Sans");
  ASSERT_TRUE(GetTextMetrics(TFontContext(cff), tm));
  EXPECT_EQ(tm.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE), TMPF_VECTOR);  // CFF outlines
}

TEST(FontFamilies, OnePerNameIdOneWithCharsetAndType) {
  std::map<std::string, std::pair<TLogFontA, uint32_t>> seen;
  EnumFontFamilies([&](const TLogFontA& lf, const TTextMetric&, uint32_t type) {
    EXPECT_TRUE(seen.emplace(lf.lfFaceName, std::make_pair(lf, type)).second) << lf.lfFaceName;
    return true;
  });
  ASSERT_TRUE(seen.count("DejaVu Sans"));
  EXPECT_EQ(seen["DejaVu Sans"].first.lfCharSet, ANSI_CHARSET);
  EXPECT_EQ(seen["DejaVu Sans"].first.lfWeight, 400);  // the regular face, not ExtraLight or Bold
  EXPECT_EQ(seen["DejaVu Sans"].second, TRUETYPE_FONTTYPE);
  EXPECT_TRUE(seen.count("DejaVu Sans Condensed"));
  EXPECT_TRUE(seen.count("Liberation Serif"));
  ASSERT_TRUE(seen.count("Nimbus Sans"));
  EXPECT_EQ(seen["Nimbus Sans"].second, DEVICE_FONTTYPE);
  ASSERT_TRUE(seen.count("Standard Symbols PS"));
  EXPECT_EQ(seen["Standard Symbols PS"].first.lfCharSet, DEFAULT_CHARSET);  // no Latin letters, no (3,0) cmap
}

}  // namespace
}  // namespace px

namespace px {
namespace {

TEST(FontResolver, ALongFamilyIsFoundByWhatALogicalFontHolds) {
  test::TempDir dir;
  std::string family(40, 'Q');
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + (test::FixturesDir() / "fonts" / "rename_font.py").string() + " " +
                             kLiberationMono + " " + dir.File("long.ttf") + " " + family + " LongPS"),
            0);
  std::string bytes = test::ReadFileBytes(dir.File("long.ttf"));
  uint32_t handle = AddFontMemResource(bytes.data(), bytes.size());
  ASSERT_NE(handle, 0u);
  TFontFacePtr face = ResolveFontFace(LogFontForFace(*ParseFontFaces(std::make_shared<TBytes>(bytes.begin(), bytes.end()))[0]));
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->Family, family);
  EXPECT_TRUE(face->File.empty());
  RemoveFontMemResource(handle);
}

}  // namespace
}  // namespace px
