#include "pdf/UnitPDFFontMapper.h"

#include <gtest/gtest.h>

#include "platform/core/CodePages.h"
#include "support/TempDir.h"

namespace px {
namespace {

struct Expect {
  const char* name;
  const char* face;
  int32_t weight;
  bool italic;
};

void expectLookups(const TPDFFontMapper& mapper, std::initializer_list<Expect> cases) {
  for (const Expect& c : cases) {
    TLogFontA lf = mapper.Lookup(c.name);
    EXPECT_EQ(LogFontFaceName(lf), c.face) << c.name;
    EXPECT_EQ(lf.lfWeight, c.weight) << c.name;
    EXPECT_EQ(lf.lfItalic != 0, c.italic) << c.name;
  }
}

TEST(FontMapper, NamesToFaceWeightAndItalic) {
  TPDFFontMapper mapper;
  expectLookups(mapper, {
      // the standard names
      {"Helvetica", "Arial", 400, false},
      {"Helvetica,Bold", "Arial", 700, false},
      {"Courier-BoldOblique", "Courier New", 700, true},
      {"Times-Roman", "Times New Roman", 400, false},
      {"Symbol", "Arial Unicode MS", 400, false},
      {"ZapfDingbats", "ZapfDingbats", 400, false},
      // installed families by PostScript name and by style aliases
      {"DejaVuSans", "DejaVu Sans", 400, false},
      {"DejaVuSans-Bold", "DejaVu Sans", 700, false},
      {"DejaVuSans-BoldOblique", "DejaVu Sans", 700, true},
      {"DejaVuSans,Italic", "DejaVu Sans", 400, true},
      {"DejaVuSans-Regular", "DejaVu Sans", 400, false},
      {"DejaVuSans,Regular", "DejaVu Sans", 400, false},
      {"LiberationSerif-BoldItalic", "Liberation Serif", 700, true},
      {"LiberationSerif,ObliqueBold", "Liberation Serif", 700, true},
      {"LiberationMono-Italic", "Liberation Mono", 400, true},
      {"NimbusSans-Regular", "Nimbus Sans", 400, false},
      {"NimbusSans-Bold", "Nimbus Sans", 700, false},
      // made up
      {"Unknown-BoldOblique", "Arial", 700, true},
      {"Nothing", "Arial", 400, false},
      // split into family and style, which the font configuration knows
      {"Times-Italic", "Times", 400, true},
      {"TimesNewRomanPS-BoldItalicMT", "Times New Roman", 700, true},
  });
  TLogFontA lf = mapper.Lookup("Helvetica");
  EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
  EXPECT_EQ(lf.lfOutPrecision, OUT_TT_ONLY_PRECIS);
  EXPECT_EQ(lf.lfHeight, 0);
  EXPECT_EQ(UnicodeToUtf8(TPDFFontMapper::PostScriptName(mapper.Lookup("Helvetica-Bold"))), "LiberationSans-Bold");
}

// PostScript names of common faces reach the faces the system aliases them
// to (tests/fonts.conf here); a family it does not know gets Arial.
TEST(FontMapper, PostScriptNamesReachTheSystemsAliases) {
  TPDFFontMapper mapper;
  struct Case {
    const char* name;
    const char* family;  // of the face the mapping selects
    const char* style;
  };
  for (const Case& c : {Case{"TimesNewRomanPSMT", "Liberation Serif", "Regular"},
                        Case{"TimesNewRomanPS-BoldMT", "Liberation Serif", "Bold"},
                        Case{"Arial-BoldMT", "Liberation Sans", "Bold"},
                        Case{"ArialMT", "Liberation Sans", "Regular"},
                        Case{"Arial,BoldItalic", "Liberation Sans", "Bold Italic"},
                        Case{"CourierNewPSMT", "Liberation Mono", "Regular"},
                        Case{"CourierNewPS-ItalicMT", "Liberation Mono", "Italic"},
                        Case{"Tahoma-Bold", "DejaVu Sans", "Bold"},
                        Case{"CenturyGothic-Bold", "Liberation Sans", "Bold"},
                        Case{"Verdana", "Liberation Sans", "Regular"}}) {
    const TFontFacePtr face = ResolveFontFace(mapper.Lookup(c.name));
    ASSERT_TRUE(face) << c.name;
    EXPECT_EQ(face->Family, c.family) << c.name;
    EXPECT_EQ(face->Style, c.style) << c.name;
  }
  struct Split {
    const char* name;
    const char* family;
    bool bold, italic;
  };
  for (const Split& c : {Split{"TimesNewRomanPSMT", "Times New Roman", false, false},
                         Split{"Arial-BoldMT", "Arial", true, false},
                         Split{"CenturyGothic,BoldItalic", "Century Gothic", true, true},
                         Split{"ITCAvantGarde-Oblique", "ITC Avant Garde", false, true},
                         Split{"Tahoma", "Tahoma", false, false}}) {
    const TPostScriptNameParts parts = SplitPostScriptName(c.name);
    EXPECT_EQ(parts.Family, c.family) << c.name;
    EXPECT_EQ(parts.Bold, c.bold) << c.name;
    EXPECT_EQ(parts.Italic, c.italic) << c.name;
  }
}

TEST(FontMapper, AliasesAndFirstRegistrationWins) {
  TPDFFontMapper mapper;
  TLogFontA face;
  SetLogFontFaceName(face, "Foo Regular");
  face.lfWeight = 400;
  mapper.RegisterWithStyles(face, u"FooPS");
  EXPECT_TRUE(mapper.Table()->FindAnsiString(0, "FooRegular"));
  EXPECT_FALSE(mapper.Table()->FindAnsiString(0, "FooRegular-Regular"));
  TLogFontA other = face;
  other.lfWeight = 900;
  mapper.Register("FooPS", other);
  EXPECT_EQ(mapper.Lookup("FooPS").lfWeight, 400);
  face.lfWeight = 600;
  face.lfItalic = 1;
  mapper.RegisterWithStyles(face, u"FooPS-BI");
  for (const char* alias : {"FooRegular-BoldItalic", "FooRegular,ItalicBold", "FooRegular-ObliqueBold"})
    EXPECT_EQ(mapper.Lookup(alias).lfWeight, 600) << alias;
  EXPECT_EQ(TPDFFontMapper::PostScriptName(TLogFontA{}).empty(), false);  // an empty face still selects a font
}

TEST(FontMapper, AnInstalledHelveticaKeepsItsMapping) {
  test::TempDir dir;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + (test::FixturesDir() / "fonts" / "rename_font.py").string() +
                             " /usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf " +
                             dir.File("h.ttf") + " Helvetica Helvetica"),
            0);
  std::string bytes = test::ReadFileBytes(dir.File("h.ttf"));
  uint32_t handle = AddFontMemResource(bytes.data(), bytes.size());
  ASSERT_NE(handle, 0u);
  TPDFFontMapper mapper;
  RemoveFontMemResource(handle);
  // Its bold variant selects the same face (made bold), so the style aliases
  // of the family name take the standard rows' places too.
  expectLookups(mapper, {{"Helvetica", "Helvetica", 400, false},
                         {"Helvetica-Bold", "Helvetica", 700, false},
                         {"Times-Roman", "Times New Roman", 400, false}});
}

}  // namespace
}  // namespace px
