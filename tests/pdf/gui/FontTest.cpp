// Fonts for writing: widths of the two kinds, showing operators, tags.
#include <gtest/gtest.h>

#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/gui/UnitPDFFont.h"

namespace px {
namespace {

TLogFontW face(const char* name) {
  TLogFontW f;
  f.lfWeight = FW_NORMAL;
  SetLogFontFaceName(f, name);
  return f;
}

std::string entry(TPDFWriter& w, int32_t number, const char* key) {
  auto* d = dynamic_cast<TPDFDictionary*>(w.GetIndirectObj(number, 0));
  TPDFObject* v = d ? d->Find(key) : nullptr;
  return v ? AsPDFText(*v) : std::string("absent");
}

TEST(PDFFonts, WidthsOfBothKindsAndShowingOperators) {
  TPDFWriter w;
  TPDFFontCollection fonts(&w);
  // The same face with single-byte and with Cyrillic text: two fonts.
  TFontRef* simple = fonts.FontFromLogFontW(face("Liberation Sans"), false);
  TFontRef* mono = fonts.FontFromLogFontW(face("DejaVu Sans Mono"), true);
  TFontRef* composite = fonts.FontFromLogFontW(face("Liberation Sans"), true);
  EXPECT_NE(simple, composite);
  EXPECT_EQ(simple->ResourceName(), "F2");
  EXPECT_EQ(composite->ResourceName(), "F4");
  EXPECT_EQ(fonts.FontFromLogFontW(face("Liberation Sans"), false), simple);

  // A difference of exactly the tolerance is not adjusted; a larger one is.
  EXPECT_EQ(simple->ShowString(u"A", {NoTextPosition}, 10), "(A)Tj\n");
  const int32_t a = simple->Information().GlyphWidth(simple->Information().GlyphIndex(u'A'), 1000);
  EXPECT_EQ(simple->ShowString(u"AA", {0, a + 10}, 10), "(AA)Tj\n");
  EXPECT_EQ(simple->ShowString(u"AA", {0, a + 11}, 10), "[(A)-11(A)]TJ\n");
  EXPECT_EQ(simple->ShowString(u"(\r)", {0, NoTextPosition, NoTextPosition}, 10), "(\\(\\r\\))Tj\n");
  const UnicodeString glyphs = mono->CharsToGlyphs(u"\u0416\u0416x");
  EXPECT_EQ(mono->ShowString(glyphs, {0, NoTextPosition, NoTextPosition}, 10).substr(0, 1), "<");
  fonts.FinishFonts();

  // Used codes only, within the font's own range (from the space): "(" to "A".
  EXPECT_EQ(entry(w, simple->FontObjectNumber(), "FirstChar"), "40 ");
  EXPECT_EQ(entry(w, simple->FontObjectNumber(), "LastChar"), "65 ");
  // A monospaced composite font: all glyphs take DW, W stays empty.
  const int32_t descendant = mono->FontObjectNumber() + 1;
  EXPECT_EQ(entry(w, descendant, "DW"), "602 ");
  EXPECT_EQ(entry(w, descendant, "W"), "[  ] ");
  EXPECT_NE(entry(w, mono->FontObjectNumber(), "ToUnicode"), "absent");
  EXPECT_EQ(PDFSubsetTag(7), "AAAAAH");
  EXPECT_EQ(PDFSubsetTag(26 * 26 + 1), "AAABAB");
}

}  // namespace
}  // namespace px
