#include "pdf/UnitFontInformation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <sstream>

#include "platform/core/CodePages.h"
#include "support/TempDir.h"

namespace px {
namespace {

const char* kPinned[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf",  // short loca, several kern subtables
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",        // 4 horizontal metrics for 3377 glyphs
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-BoldItalic.ttf",
};
const char* kLiberationSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

std::string fixture(const std::string& name) { return (test::FixturesDir() / "fonts" / name).string(); }

// A font file registered as a private face for the life of the object.
class PrivateFont {
 public:
  explicit PrivateFont(const std::string& path) {
    std::string bytes = test::ReadFileBytes(path);
    handle_ = AddFontMemResource(bytes.data(), bytes.size());
    auto faces = ParseFontFaces(std::make_shared<TBytes>(bytes.begin(), bytes.end()));
    if (handle_ == 0 || faces.empty()) throw Exception("not a font: " + path);
    LogFont = LogFontForFace(*faces[0]);
  }
  ~PrivateFont() { RemoveFontMemResource(handle_); }
  TLogFontW LogFont;

 private:
  uint32_t handle_ = 0;
};

std::string dumpOutline(const TFontInformation& info, uint32_t glyph) {
  std::ostringstream s;
  TEvaluatedGlyph g = info.GlyphOutline(glyph);
  s << "outline " << glyph << ' ' << g.XMin << ' ' << g.YMin << ' ' << g.XMax << ' ' << g.YMax << ": ";
  for (size_t c = 0; c < g.Contours.size(); ++c) {
    if (c) s << " |";
    for (size_t p = 0; p < g.Contours[c].size(); ++p)
      s << (p ? " " : "") << g.Contours[c][p].X << ',' << g.Contours[c][p].Y << ',' << int(g.Contours[c][p].OnCurve);
  }
  return s.str();
}

// The same text as fontinfo_dump.py prints, from our reading.
std::string dump(const TFontInformation& f) {
  std::ostringstream s;
  s << "upem " << f.UnitsPerEm << " glyphs " << f.NumGlyphs << " hmetrics " << f.NumberOfHMetrics << " loca "
    << f.IndexToLocFormat << '\n';
  s << "head " << f.Head.xMin << ' ' << f.Head.yMin << ' ' << f.Head.xMax << ' ' << f.Head.yMax << ' ' << f.Head.macStyle
    << '\n';
  s << "os2 " << f.OS2.version << ' ' << f.OS2.usWinAscent << ' ' << f.OS2.usWinDescent << ' ' << f.OS2.fsType << ' '
    << f.OS2.usFirstCharIndex << ' ' << f.OS2.usLastCharIndex;
  for (uint8_t b : f.OS2.panose) s << ' ' << int(b);
  s << '\n';
  s << "post " << f.Post.italicAngle << ' ' << f.Post.underlinePosition << ' ' << f.Post.underlineThickness << ' '
    << f.Post.isFixedPitch << '\n';
  s << "hhea " << f.Hhea.ascender << ' ' << f.Hhea.descender << ' ' << f.Hhea.lineGap << '\n';
  for (int i = 0; i < 7; ++i) {
    std::string name = UnicodeToUtf8(f.Names[size_t(i)]);
    for (size_t at = 0; (at = name.find('\n', at)) != std::string::npos; at += 2) name.replace(at, 1, "\\n");
    s << "name " << i << ' ' << name << '\n';
  }
  char buf[32];
  for (uint32_t code = 0; code <= 0xFFFF; ++code)
    if (uint16_t g = f.GlyphIndex(uint16_t(code))) {
      snprintf(buf, sizeof buf, "cmap %04X %u\n", code, g);
      s << buf;
    }
  for (uint32_t g = 0; g < f.NumGlyphs; ++g) s << "adv " << g << ' ' << f.GlyphWidth(g, f.UnitsPerEm) << '\n';
  for (const TKerningPair& k : f.KerningPairs) s << "kern " << k.Left << ' ' << k.Right << ' ' << k.Value << '\n';
  for (uint32_t g = 0; g < f.NumGlyphs; ++g) s << dumpOutline(f, g) << '\n';
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> r;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) r.push_back(l);
  return r;
}

TEST(FontInformation, PinnedFacesAgreeWithFontTools) {
  for (const char* path : kPinned) {
    SCOPED_TRACE(path);
    std::string expected;
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + fixture("fontinfo_dump.py") + " " + path, &expected), 0);
    PrivateFont font(path);
    TFontInformation info(font.LogFont, fiAll);
    EXPECT_TRUE(info.Face()->File.empty());  // the private copy, not an installed look-alike
    auto want = lines(expected), got = lines(dump(info));
    int reported = 0;
    for (size_t i = 0; i < std::max(want.size(), got.size()) && reported < 5; ++i) {
      std::string w = i < want.size() ? want[i] : "<none>", g = i < got.size() ? got[i] : "<none>";
      if (w != g) {
        ADD_FAILURE() << "line " << i + 1 << "\n  fontTools: " << w.substr(0, 300) << "\n  ours:      " << g.substr(0, 300);
        ++reported;
      }
    }
    // The measured heights are the tops of "E" and "x".
    EXPECT_EQ(info.CapHeight, info.GlyphOutline(info.GlyphIndex(u'E')).YMax);
    EXPECT_EQ(info.XHeight, info.GlyphOutline(info.GlyphIndex(u'x')).YMax);
  }
}

TEST(FontInformation, MeasuredStemsOfASimpleFace) {
  // Liberation Sans "l" is a plain bar: its stem is its width.
  TFontInformation info("Liberation Sans", 400, false, fiMetrics);
  TEvaluatedGlyph l = info.GlyphOutline(info.GlyphIndex(u'l'));
  EXPECT_EQ(info.StemV, l.XMax - l.XMin);
  EXPECT_EQ(info.StemV, 180);
  EXPECT_EQ(info.CapHeight, 1409);
  EXPECT_EQ(info.XHeight, 1082);
  EXPECT_GT(info.StemH, 100);
  EXPECT_LT(info.StemH, 250);
}

TEST(FontInformation, TextAdvancesKernOnlyTheFirstOfAPairAndNeverAccumulateRounding) {
  TFontInformation info("Arial", 400, false, fiWidths | fiKerning);
  ASSERT_EQ(info.Face()->Family, "Liberation Sans");
  // A and V: advances 1366, kerning -152 at 2048 units per em.
  auto av = info.TextAdvances(u"AV", 2048, 0);
  EXPECT_EQ(av, (std::vector<int32_t>{1366 - 152, 1366}));
  std::u16string text = u"AVAVA Wo, To. 1234567890 AVAVAVAVAVA";
  struct Case {
    int32_t units, extra;
  } cases[] = {{1000, 0}, {7, 3}, {12345, -2}, {100, 0}};
  for (const Case& c : cases) {
    auto adv = info.TextAdvances(text, c.units, c.extra);
    ASSERT_EQ(adv.size(), text.size());
    int64_t total = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      total += info.AdvanceWidths[std::min<size_t>(info.GlyphIndex(text[i]), info.AdvanceWidths.size() - 1)];
      if (i + 1 < text.size()) total += info.Kerning(info.GlyphIndex(text[i]), info.GlyphIndex(text[i + 1]));
    }
    int64_t sum = std::accumulate(adv.begin(), adv.end(), int64_t(0));
    EXPECT_EQ(sum, MulDiv(int32_t(total), c.units, 2048) + int64_t(c.extra) * int64_t(text.size())) << c.units;
  }
  EXPECT_TRUE(info.TextAdvances(u"", 1000, 5).empty());
}

TEST(FontInformation, WidthsBeyondTheMetricsAndWithoutThem) {
  TFontInformation mono("DejaVu Sans Mono", 400, false, fiWidths);
  ASSERT_EQ(mono.NumberOfHMetrics, 4);
  EXPECT_EQ(mono.GlyphWidth(3000, 2048), mono.AdvanceWidths.back());
  EXPECT_EQ(mono.CharWidth(u'W', 1000), MulDiv(1233, 1000, 2048));
  TFontInformation names("DejaVu Sans Mono", 400, false, fiNames);
  EXPECT_EQ(names.GlyphWidth(3, 1000), 0);
  EXPECT_EQ(names.GlyphIndex(u'A'), 0);  // no map loaded
  EXPECT_EQ(UnicodeToUtf8(names.PostScriptName()), "DejaVuSansMono");
}

TEST(FontInformation, CffOutlinesTakeTheStatedHeights) {
  TFontInformation info("Nimbus Sans", 400, false, fiAll);
  EXPECT_EQ(UnicodeToUtf8(info.PostScriptName()), "NimbusSans-Regular");
  EXPECT_EQ(info.CapHeight, 718);
  EXPECT_EQ(info.XHeight, 516);
  EXPECT_EQ(info.StemV, 0);
  EXPECT_EQ(info.StemH, 0);
  EXPECT_NE(info.GlyphIndex(u'A'), 0);
  EXPECT_GT(info.CharWidth(u'A', 1000), 0);
}

// Broken fonts made with fontTools from Liberation Sans, each under its own family.
class BadFonts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    std::string out;
    ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + fixture("make_bad_fonts.py") + " " + kLiberationSans + " " +
                                   dir_->Path().string(),
                               &out),
              0)
        << out;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string file(const std::string& name) { return dir_->File(name); }
  static test::TempDir* dir_;
};
test::TempDir* BadFonts::dir_ = nullptr;

TEST_F(BadFonts, FailWithTheirMessages) {
  struct Case {
    const char* file;
    uint32_t flags;
    const char* message;
  } cases[] = {
      {"maccmap.ttf", fiCMap, "TFontInformation: Error while reading truetype cmap information"},
      {"kern0.ttf", fiKerning, "TFontInformation: Error while reading truetype kerning information"},
      {"kernpairs.ttf", fiKerning, "TFontInformation: Error while reading truetype kerning information"},
      {"selfref.ttf", fiMetrics, "GlyphOutline: Truetype composite glyph nested too deeply or cyclic."},
      {"cycle.ttf", fiMetrics, "GlyphOutline: Truetype composite glyph nested too deeply or cyclic."},
      {"shortglyf.ttf", fiMetrics, "GetGlyph: Truetype loca table corrupt."},
      {"locaback.ttf", fiMetrics, "GetGlyph: Truetype loca table corrupt."},
      {"upem0.ttf", fiBasic, "TFontInformation: Error while reading truetype basic information"},
      {"locaformat.ttf", fiMetrics, "GetGlyph: Truetype head table corrupt."},
      {"nameoffset.ttf", fiNames, "TFontInformation: Error while reading truetype name information"},
      {"namecount.ttf", fiNames, "TFontInformation: Error while reading truetype name information"},
      {"endpts.ttf", fiMetrics, "GlyphOutline: Truetype glyph data corrupt."},
      {"nopost.otf", fiBasic, "TFontInformation: Font is not a TrueType font"},
      {"zigzag.ttf", fiMetrics, "GlyphEvaluator: Glyph outline too complex."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    PrivateFont font(file(c.file));
    try {
      TFontInformation info(font.LogFont, c.flags);
      ADD_FAILURE() << "no error";
    } catch (const ENoTrueTypeFont& e) {
      EXPECT_EQ(e.Message(), c.message);
    } catch (const EFontInformationException& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST_F(BadFonts, ExtentBeyondFourEmsMeasuresZero) {
  PrivateFont font(file("wide_l.ttf"));
  TFontInformation info(font.LogFont, fiMetrics);
  EXPECT_EQ(info.StemV, 0);
  EXPECT_GT(info.CapHeight, 0);  // the other glyphs are measured as usual
}

TEST(GlyphParsing, DeltasBoundsAndComponents) {
  // One contour of three points: x deltas as words (0x8000 = -32768), y as bytes.
  const uint8_t simple[] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0,  // header
                            0, 2,                          // endPts
                            0, 0,                          // no instructions
                            0x05, 0x25, 0x04,              // flags: y short +, y short +, y short -
                            0x80, 0x00, 0x00, 0x10, 0x7F, 0xFF,  // x: -32768, +16, +32767
                            5, 6, 7};
  TGlyphInformation g = ParseGlyph(simple);
  EXPECT_EQ(g.X, (std::vector<int32_t>{-32768, -32752, 15}));
  EXPECT_EQ(g.Y, (std::vector<int32_t>{-5, 1, -6}));
  EXPECT_EQ(g.ContourStarts, (std::vector<int32_t>{0, 3}));
  // Cut anywhere, the same data is refused.
  for (size_t n = 1; n < sizeof simple; ++n)
    EXPECT_THROW(ParseGlyph(std::span<const uint8_t>(simple, n)), EFontInformationException) << n;
  // Repeated flags, and a composite with word arguments, a scale and instructions.
  const uint8_t repeat[] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0x39, 3};  // x and y repeated: no coordinate bytes
  EXPECT_EQ(ParseGlyph(repeat).Flags, TBytes(4, 0x39));
  const uint8_t composite[] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x2B, 0, 7, 0xFF, 0xFE, 0, 3, 0x20, 0,
                               0x01, 0x02, 0, 9, 0xFB, 4, 0, 1, 0xAA};
  g = ParseGlyph(composite);
  ASSERT_EQ(g.Components.size(), 2u);
  EXPECT_EQ(g.Components[0].GlyphIndex, 7);
  EXPECT_EQ(g.Components[0].Argument1, -2);
  EXPECT_EQ(g.Components[0].Argument2, 3);
  EXPECT_EQ(g.Components[0].Scale[0], 0x2000);
  EXPECT_EQ(g.Components[0].Scale[3], 0x2000);
  EXPECT_EQ(g.Components[1].Argument1, -5);
  EXPECT_EQ(g.Instructions, TBytes{0xAA});
}

TEST(GlyphEvaluator, StemsAndBounds) {
  auto on = [](int32_t x, int32_t y) { return TEvaluatedPoint{x, y, 1}; };
  TEvaluatedGlyph rect;
  rect.Contours.push_back({on(0, 0), on(100, 0), on(100, 700), on(0, 700), on(0, 0)});
  TGlyphEvaluator r(rect, geHorizontal | geVertical);
  EXPECT_EQ(r.HorizontalStem, 100);
  EXPECT_EQ(r.VerticalStem, 700);
  EXPECT_EQ(std::vector<int32_t>({r.MinX, r.MinY, r.MaxX, r.MaxY}), std::vector<int32_t>({0, 0, 100, 700}));
  TGlyphEvaluator limited(rect, geHorizontal | geVertical, 600);  // taller than allowed: not scanned
  EXPECT_EQ(limited.HorizontalStem, 0);
  EXPECT_EQ(limited.MaxY, 700);

  // One control point: 8 line ends, the highest at t = 1/2, the last at the end point.
  TEvaluatedGlyph curve;
  curve.Contours.push_back({on(0, 0), {50, 100, 0}, on(100, 0), on(0, 0)});
  TGlyphEvaluator c(curve, 0);
  EXPECT_EQ(c.MaxY, 50);
  EXPECT_EQ(c.MaxX, 100);

  // Work is counted before scanning: a tall zig-zag is refused, the same
  // outline is still bounded when no stem is asked for, and a flat one (few
  // rows, many columns) only refuses the pass that would be too long.
  TEvaluatedGlyph zigzag, flat;
  zigzag.Contours.emplace_back();
  flat.Contours.emplace_back();
  for (int32_t i = 0; i <= 200; ++i) {
    zigzag.Contours[0].push_back(on(8 * i, i % 2 ? 20000 : 0));
    flat.Contours[0].push_back(on(i % 2 ? 20000 : 0, 8 * i));
  }
  zigzag.Contours[0].push_back(on(0, 0));
  flat.Contours[0].push_back(on(0, 0));
  EXPECT_THROW(TGlyphEvaluator(zigzag, geHorizontal), EFontInformationException);
  EXPECT_EQ(TGlyphEvaluator(zigzag, 0).MaxY, 20000);
  EXPECT_GT(TGlyphEvaluator(zigzag, geVertical).VerticalStem, 0);
  EXPECT_THROW(TGlyphEvaluator(flat, geVertical), EFontInformationException);
  EXPECT_GT(TGlyphEvaluator(flat, geHorizontal).HorizontalStem, 0);

  TGlyphEvaluator empty(TEvaluatedGlyph{}, geHorizontal | geVertical);
  EXPECT_EQ(std::vector<int32_t>({empty.HorizontalStem, empty.VerticalStem, empty.MaxY}), std::vector<int32_t>({0, 0, 0}));
}

// ---------------------------------------------------------------------------
// The toolkit

TEST(FontToolkit, RecordsPackAndUnpackBigEndian) {
  const uint8_t bytes[] = {0, 1, 0, 0, 0, 0x10, 0, 0x20, 0, 0x30, 0, 0x40};
  TTTableDirectory dir;
  UnpackRecord(bytes, 0, 12, &dir, tplTableDirectory);
  EXPECT_EQ(dir.sfntVersion, 0x00010000u);
  EXPECT_EQ(dir.numTables, 0x10);
  EXPECT_EQ(dir.rangeShift, 0x40);
  uint8_t back[12];
  EXPECT_EQ(PackRecord(&dir, back, tplTableDirectory), 12u);
  EXPECT_EQ(std::memcmp(back, bytes, 12), 0);
  TTTableDirEntry e{{'g', 'l', 'y', 'f'}, 0x01020304, 0, 0};
  SwapRecord(&e, tplTableDirEntry);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(e.tag), 4), "glyf");  // 1-byte fields stay
  EXPECT_EQ(e.checkSum, 0x04030201u);
  EXPECT_THROW(UnpackRecord(bytes, 4, 12, &dir, tplTableDirectory), EAssertionFailed);
}

TEST(FontToolkit, TableListsKeepTagOrder) {
  TTFontTables list;
  const uint8_t a = 1, b = 2;
  EXPECT_EQ(AddTable(list, "name", 1, &a), 0);
  EXPECT_EQ(AddTable(list, "OS/2", 1, &a), 0);  // "O" sorts before "n"
  EXPECT_EQ(AddTable(list, "cmap", 1, &a), 1);
  EXPECT_EQ(AddTable(list, "name", 1, &b), 2);  // replaced in place
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2].Data, &b);
  EXPECT_EQ(FindTable(list, "cmap"), 1);
  EXPECT_EQ(FindTable(list, "kern"), -1);
  AddTable(list, "kern", 1, &a);
  AddTable(list, "glyf", 1, &a);
  KeepEmbeddingTables(list, false);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Tag, TTTag("OS/2"));
  EXPECT_EQ(list[1].Tag, TTTag("glyf"));

  const uint8_t collection[] = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t cff[] = {'O', 'T', 'T', 'O', 0, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t shortDir[] = {0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 'h', 'e', 'a', 'd'};
  EXPECT_TRUE(ParseTableDirectory(collection).empty());
  EXPECT_TRUE(ParseTableDirectory(cff).empty());
  EXPECT_TRUE(ParseTableDirectory(shortDir).empty());
}

uint32_t wordSum(const TBytes& b) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 3 < b.size(); i += 4) sum += uint32_t(b[i]) << 24 | uint32_t(b[i + 1]) << 16 | b[i + 2] << 8 | b[i + 3];
  return sum;
}

TEST(FontToolkit, BuildTTFontDataOfAHeadAlone) {
  TTFontTables list;
  EXPECT_THROW(
      try { BuildTTFontData(list, false); } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "BuildTTFontData: Missing or malformed head table.");
        throw;
      },
      Exception);
  TBytes head(54, 0x11);
  AddTable(list, "head", 54, head.data());
  TBytes file = BuildTTFontData(list, false);
  EXPECT_EQ(file.size(), 12u + 16 + 56);
  EXPECT_EQ(wordSum(file), 0xB1B0AFBAu);
  TBytes shortHead(50, 0);
  list[0] = {TTTag("head"), 50, shortHead.data()};
  EXPECT_THROW(BuildTTFontData(list, false), Exception);
}

TEST(FontToolkit, RebuiltPinnedFilesLoadInFontTools) {
  test::TempDir dir;
  for (const char* path : kPinned) {
    SCOPED_TRACE(path);
    std::string bytes = test::ReadFileBytes(path);
    std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    for (bool embedding : {false, true}) {
      TTFontTables tables = ParseTableDirectory(data);
      ASSERT_FALSE(tables.empty());
      if (embedding) KeepEmbeddingTables(tables, true);
      TBytes built = BuildTTFontData(tables, false);
      test::WriteFileBytes(dir.File("built.ttf"), std::string(built.begin(), built.end()));
      std::string out;
      EXPECT_EQ(test::RunCommand("/usr/bin/python3 " + fixture("compare_tables.py") + " " + path + " " +
                                     dir.File("built.ttf") + (embedding ? " embedding" : ""),
                                 &out),
                0)
          << out;
    }
  }
}

TEST(FontToolkit, BuiltNameAndCMapTablesReadBack) {
  test::TempDir dir;
  auto write = [&](const std::string& name, const TBytes& b) {
    test::WriteFileBytes(dir.File(name), std::string(b.begin(), b.end()));
  };
  write("name1", WordsToBytes(BuildNameTable("Px Face", "Bold", "(c) us", 0x00018000, false)));
  write("name2", WordsToBytes(BuildNameTable("Px Face", "Regular", "", 0x00020000, true)));
  TBuiltCMap symbol = BuildSymbolCMap(300);
  EXPECT_EQ(symbol.Words.size(), 26u);
  EXPECT_EQ(symbol.FirstCode, 0xF001);
  EXPECT_EQ(symbol.LastCode, 0xF0FF);  // cut to 255 glyphs
  write("cmap1", WordsToBytes(symbol.Words));
  std::array<uint8_t, 256> map{};
  map[32] = 3;
  map[65] = 7;
  map[200] = 9;
  TBuiltCMap bytes = BuildByteCMap(map);
  EXPECT_EQ(bytes.LastCode, 0xF000 + 200);
  write("cmap2", WordsToBytes(bytes.Words));
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + fixture("read_tables.py") + " " + dir.Path().string(), &out), 0)
      << out;
  EXPECT_EQ(out,
            "name1 1 0 0 0 (c) us|1 Px Face|2 Bold|3 Px FaceBold|4 Px Face Bold|5 Version 1.500|6 Px Face-Bold\n"
            "name1 3 1 1033 0 (c) us|1 Px Face|2 Bold|3 Px FaceBold|4 Px Face Bold|5 Version 1.500|6 Px Face-Bold\n"
            "name2 1 0 0 1 Px Face|2 Regular|3 Px FaceRegular|4 Px Face|5 Version 2.000|6 Px Face-Regular\n"
            "name2 3 0 1033 1 Px Face|2 Regular|3 Px FaceRegular|4 Px Face|5 Version 2.000|6 Px Face-Regular\n"
            "cmap1 1 0 F001:1 F002:2 F0FF:255\n"
            "cmap1 3 0 F001:1 F002:2 F0FF:255\n"
            "cmap2 1 0 20:3 41:7 C8:9\n"
            "cmap2 3 0 F020:3 F041:7 F0C8:9\n");
}

}  // namespace
}  // namespace px

#include "pdf/UnitPDFUtilities.h"

namespace px {
namespace {

TEST(SameLogFont, ComparesTheDrawingFieldsAndTheWholeFaceArray) {
  TLogFontA a;
  a.lfHeight = -12;
  a.lfWeight = 700;
  SetLogFontFaceName(a, "Arial");
  TLogFontA b = a;
  b.lfOrientation = 900;
  b.lfOutPrecision = 7;
  b.lfQuality = 5;
  b.lfPitchAndFamily = 2;
  EXPECT_TRUE(SameLogFont(a, b));
  b = a;
  b.lfFaceName[20] = 'x';  // after the NUL, still a difference
  EXPECT_FALSE(SameLogFont(a, b));
  b = a;
  SetLogFontFaceName(b, "arial");
  EXPECT_FALSE(SameLogFont(a, b));
  for (auto change : {+[](TLogFontA& f) { f.lfWidth = 1; }, +[](TLogFontA& f) { f.lfEscapement = 1; },
                      +[](TLogFontA& f) { f.lfItalic = 1; }, +[](TLogFontA& f) { f.lfUnderline = 1; },
                      +[](TLogFontA& f) { f.lfStrikeOut = 1; }, +[](TLogFontA& f) { f.lfCharSet = 2; }}) {
    b = a;
    change(b);
    EXPECT_FALSE(SameLogFont(a, b));
  }
  EXPECT_TRUE(SameLogFont(LogFontAToW(a), LogFontAToW(a)));
}

}  // namespace
}  // namespace px
