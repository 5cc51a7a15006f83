#include "pdf/UnitFontConstants.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "platform/core/Debug.h"
#include "support/TempDir.h"

namespace px {
namespace {

const char* kEncodings[] = {"StandardEncoding",  "MacRomanEncoding", "WinAnsiEncoding",
                            "MacExpertEncoding", "SymbolEncoding",   "ZapfDingbatsEncoding"};

TEST(FontConstants, EncodingsAgreeWithReportlabExceptWhereNamed) {
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + (test::FixturesDir() / "fonts" / "encodings_dump.py").string(), &out), 0);
  std::map<std::string, std::map<int, std::string>> theirs;
  std::istringstream in(out);
  std::string enc, name;
  int code;
  while (in >> enc >> code >> name) theirs[enc][code] = name;
  // Where we differ on purpose: the Mac OS Roman characters that the standard's
  // MacRomanEncoding leaves out, and the codes that stay empty here.
  std::map<std::string, std::map<int, std::string>> ours = theirs;
  for (auto [c, n] : std::map<int, std::string>{{173, "notequal"}, {176, "infinity"}, {178, "lessequal"},
                                                {179, "greaterequal"}, {182, "partialdiff"}, {183, "summation"},
                                                {184, "product"}, {185, "pi"}, {186, "integral"}, {189, "Omega"},
                                                {195, "radical"}, {197, "approxequal"}, {198, "Delta"},
                                                {215, "lozenge"}, {240, "apple"}})
    ours["MacRomanEncoding"][c] = n;
  ours["SymbolEncoding"].erase(160);  // Euro
  for (int c = 128; c <= 141; ++c) ours["ZapfDingbatsEncoding"].erase(c);
  for (const char* e : kEncodings) {
    SCOPED_TRACE(e);
    TFontMapping m = GetEncoding(e);
    for (int c = 0; c < 256; ++c) {
      auto it = ours[e].find(c);
      EXPECT_EQ(m[size_t(c)].Name, it == ours[e].end() ? "" : it->second) << c;
      if (!m[size_t(c)].Name.empty()) EXPECT_FALSE(m[size_t(c)].Unicode.empty()) << c;
    }
  }
  // WinAnsi's extra codes; "apple" in the private use area.
  TFontMapping win = GetEncoding("WinAnsiEncoding");
  EXPECT_EQ(win[128].Unicode, std::vector<uint16_t>{0x20AC});
  EXPECT_EQ(win[157].Unicode, std::vector<uint16_t>{0x2022});
  EXPECT_EQ(GetEncoding("MacRomanEncoding")[240].Unicode, std::vector<uint16_t>{0xF8FF});
  EXPECT_EQ(GetEncoding("ZapfDingbatsEncoding")[33].Unicode, std::vector<uint16_t>{0x2701});
}

TEST(FontConstants, IdentityAndUnknownEncodings) {
  TFontMapping id = GetEncoding("Identity-V");
  EXPECT_EQ(id[65].Unicode, std::vector<uint16_t>{0x41});
  EXPECT_EQ(id[65].Name, "");
  EXPECT_EQ(GetEncoding("1on1")[0].Unicode, std::vector<uint16_t>{0});
  TFontMapping unknown = GetEncoding("NoSuchEncoding"), standard = GetEncoding("StandardEncoding");
  for (size_t c = 0; c < 256; ++c) EXPECT_EQ(unknown[c].Name, standard[c].Name);
}

// Every name of the Adobe glyph lists gives its code points.
TEST(FontConstants, EveryGlyphListNameResolves) {
  size_t count = 0;
  for (const char* path : {"/usr/share/aglfn/glyphlist.txt", "/usr/share/aglfn/zapfdingbats.txt"}) {
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::string name = line.substr(0, line.find(';'));
      std::istringstream hex(line.substr(line.find(';') + 1));
      std::vector<uint16_t> want;
      for (std::string h; hex >> h;) want.push_back(uint16_t(std::stoul(h, nullptr, 16)));
      // "_" would split the name into a ligature; no listed name has one.
      EXPECT_EQ(GlyphNameToUnicode(name, true), want) << name;
      ++count;
    }
  }
  EXPECT_GT(count, 4400u);
  EXPECT_EQ(size_t(GlyphListDataSet()->GetRecordCount()), count);
}

TEST(FontConstants, GlyphNameForms) {
  struct Case {
    const char* name;
    std::vector<uint16_t> unicode;
    const char* debug;  // expected debug line, or nullptr
  } cases[] = {
      {"f_f_i", {0x66, 0x66, 0x69}, nullptr},
      {"f_xyz", {}, "Character not recognized: \"xyz\""},
      {"A.sc", {0x41}, nullptr},
      {"uni00410042", {0x41, 0x42}, nullptr},
      {"uni004", {}, "Character not supported yet: \"uni004\""},
      {"uni00ZZ", {0}, nullptr},
      {"x41", {0x41}, nullptr},
      {"x141", {}, "Character not recognized: \"x141\""},
      {".notdef", {}, nullptr},
      {"", {}, nullptr},
      {"space.alt.2", {0x20}, nullptr},
  };
  for (const Case& c : cases) {
    TDebugCapture capture;
    std::string stored;
    EXPECT_EQ(GlyphNameToUnicode(c.name, false, &stored), c.unicode) << c.name;
    EXPECT_EQ(stored, c.name);
    auto lines = capture.Lines();
    if (c.debug) EXPECT_EQ(lines, std::vector<std::string>{c.debug}) << c.name;
    else EXPECT_TRUE(lines.empty()) << c.name;
    TDebugCapture quiet;
    GlyphNameToUnicode(c.name, true);
    EXPECT_TRUE(quiet.Lines().empty());
  }
}

TEST(FontConstants, StandardFontNamesAndLists) {
  struct Case {
    const char* name;
    const char* found;  // nullptr: not found
  } cases[] = {
      {"Helvetica,BoldItalic", "Helvetica-BoldOblique"}, {"Helvetica,Bold", "Helvetica-Bold"},
      {"Times-Italic", "Times-Oblique"},                 {"Times-ItalicBold", "Times-BoldOblique"},
      {"Courier", "Courier"},                            {"Arial", nullptr},
      {"helvetica", nullptr},
  };
  for (const Case& c : cases) {
    TBuildInFontInfo info;
    EXPECT_EQ(FindStandardFont(c.name, info), c.found != nullptr) << c.name;
    if (c.found) EXPECT_EQ(info.PDFName, c.found);
  }
  TBuildInFontInfo info;
  ASSERT_TRUE(FindStandardFont("Helvetica,BoldItalic", info));
  EXPECT_EQ(info.WidthsColumn, 3);
  EXPECT_EQ(info.Weight, 700);
  EXPECT_EQ(info.Italic, 1);
  EXPECT_EQ(StandardStringA(0), ".notdef");
  EXPECT_EQ(StandardStringA(390), "Semibold");
  EXPECT_EQ(StandardStringB(0), "Euro");
  EXPECT_EQ(StandardStringB(15), "apple");
  EXPECT_THROW(StandardStringA(391), EAssertionFailed);
  EXPECT_THROW(StandardStringB(146), EAssertionFailed);
}

// Widths of each AFM glyph (fonts-urw-base35) by name.
std::map<std::string, int> afmWidths(const std::string& face) {
  std::map<std::string, int> widths;
  std::ifstream in("/usr/share/fonts/type1/urw-base35/" + face + ".afm");
  std::regex line(R"(C (-?\d+) ; WX (\d+) ; N (\S+))");
  std::smatch m;
  for (std::string l; std::getline(in, l);)
    if (std::regex_search(l, m, line)) widths[m[3]] = std::stoi(m[2]);
  return widths;
}

TEST(FontConstants, StandardWidthsAgreeWithTheUrwMetrics) {
  struct Case {
    const char* font;
    const char* afm;
    const char* encoding;
  } cases[] = {
      {"Helvetica", "NimbusSans-Regular", "WinAnsiEncoding"},
      {"Helvetica-Bold", "NimbusSans-Bold", "StandardEncoding"},
      {"Helvetica-Oblique", "NimbusSans-Italic", "WinAnsiEncoding"},
      {"Helvetica-BoldOblique", "NimbusSans-BoldItalic", "StandardEncoding"},
      {"Times-Roman", "NimbusRoman-Regular", "WinAnsiEncoding"},
      {"Times-Bold", "NimbusRoman-Bold", "StandardEncoding"},
      {"Times-Italic", "NimbusRoman-Italic", "WinAnsiEncoding"},
      {"Times-BoldItalic", "NimbusRoman-BoldItalic", "StandardEncoding"},
      {"Symbol", "StandardSymbolsPS", "SymbolEncoding"},
      {"ZapfDingbats", "D050000L", "ZapfDingbatsEncoding"},
      {"Courier-Bold", "NimbusMonoPS-Bold", "WinAnsiEncoding"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font);
    auto afm = afmWidths(c.afm);
    ASSERT_FALSE(afm.empty());
    TFontMapping m = GetEncoding(c.encoding);
    ApplyStandardWidths(c.font, m);
    std::set<std::string> differing;
    for (const TEncodingPoint& p : m)
      if (!p.Name.empty() && afm.count(p.Name) && afm[p.Name] != int(p.Width)) differing.insert(p.Name);
    // The fraction slash of the widths table is narrower than URW's.
    std::set<std::string> expected;
    if (std::string(c.font).starts_with("Helvetica") && std::string(c.encoding) == "StandardEncoding")
      expected = {"fraction"};
    EXPECT_EQ(differing, expected);
  }
  // Courier: every code is 600 wide, named or not.
  TFontMapping courier = GetEncoding("StandardEncoding");
  ApplyStandardWidths("Courier", courier);
  for (const TEncodingPoint& p : courier) EXPECT_EQ(p.Width, 600.0f);
  TFontMapping arial = GetEncoding("StandardEncoding");
  ApplyStandardWidths("Arial", arial);
  EXPECT_EQ(arial[65].Width, 0.0f);
}

TEST(FontConstants, GlyphListResourceFormat) {
  auto bytes = [](std::initializer_list<int> v) {
    TBytes b;
    for (int x : v) b.push_back(uint8_t(x));
    return b;
  };
  // "AB" -> U+0041 U+0042, then "AC" sharing one character, -> U+0043.
  IMemDataSet set = ParseGlyphList(bytes({1, 2 * 4 + 1, 'A', 'B', 0x41, 0, 0x42, 0, 2 * 4, 1, 'C', 0x43, 0, 0}));
  ASSERT_EQ(set->GetRecordCount(), 2);
  TMemRecord* ac = set->FindAnsiString(0, "AC");
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->GetWord(1), 0x43);
  EXPECT_TRUE(ac->IsNull(2));
  for (const TBytes& bad : {bytes({2, 4, 'A'}), bytes({1, 4}), bytes({1, 2 * 4, 'A'}), bytes({1, 2 * 4, 3, 'A', 0x41, 0}),
                            bytes({1, 4, 'A', 0x41}), bytes({1, 3, 'A', 0, 0})})
    EXPECT_THROW(
        try { ParseGlyphList(bad); } catch (const Exception& e) {
          EXPECT_EQ(e.Message(), "Invalid file format for resource pdfdata/glyphs");
          throw;
        },
        Exception);
}

}  // namespace
}  // namespace px
