#include <gtest/gtest.h>

#include "dbclient/dbclibCharset.h"
#include "platform/core/Exceptions.h"

namespace px {
namespace {

TEST(CharacterSets, FindByName) {
  for (const char* name : {"win1252", "Win1252", "WIN1252"}) EXPECT_EQ(csWIN1252, FindCharacterSet(name));
  EXPECT_EQ(csNONE, FindCharacterSet(""));
  EXPECT_EQ(csUNICODE_FSS, FindCharacterSet("unicode_fss"));
  try {
    FindCharacterSet("WIN125");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ("CharacterSet WIN125 not found.", e.Message());
  }
  EXPECT_STREQ("WIN1254", CharacterSetName(csWIN1254));
  EXPECT_EQ(65001, CharacterSetCodePage(csUTF8));
  EXPECT_EQ(3, CharacterSetBytesPerChar(csUTF8));
  EXPECT_EQ(2, CharacterSetBytesPerChar(csSJIS_0208));
}

TEST(CharacterSets, DefaultFollowsTheLegacyCodePage) {
  EXPECT_EQ(1252, GetLegacyCodePage());
  EXPECT_EQ(csWIN1252, DefaultCharacterSet());
  SetLegacyCodePage(874);
  EXPECT_EQ(csNONE, DefaultCharacterSet());
  SetLegacyCodePage(1251);
  EXPECT_EQ(csWIN1251, CharacterSetOfACP());
  // Code page 0 converts with the legacy code page.
  EXPECT_EQ(u"\u0416", CodePageToWide("\xc6", 0));
  SetLegacyCodePage(1252);
  EXPECT_EQ(u"\u00c6", CodePageToWide("\xc6", CharacterSetCodePage(csOCTETS)));
  EXPECT_EQ(csISO8859_2, CharacterSetOfCodePage(28592));
}

TEST(CharacterSets, Conversions) {
  struct Case {
    Word codePage;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {65001, "\xc3\xa9", u"\u00e9"},
      {1252, "\x80\x81", u"\u20ac\u0081"},
      {28591, "\x80\xe9", u"\u0080\u00e9"},
      {28592, "\xb1", u"\u0105"},
      {1251, "\xc6", u"\u0416"},
      {437, "\x82", u"\u00e9"},
      {932, "\x82\xa0", u"\u3042"},
      {20127, "abc", u"abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, CodePageToWide(c.bytes, c.codePage)) << c.codePage;
    EXPECT_EQ(c.bytes, WideToCodePage(c.text, c.codePage)) << c.codePage;
  }
  // Invalid input never raises.
  EXPECT_EQ(u"a\uFFFDb", CodePageToWide("a\xff" "b", 65001));
  EXPECT_EQ(u"a\uFFFD", CodePageToWide("a\x80", 20127));
  EXPECT_EQ(u"\uFFFD", CodePageToWide("\x82", 932));
  EXPECT_EQ("a?", WideToCodePage(u"a\u20ac", 28591));
  EXPECT_EQ("?", WideToCodePage(u"\u3042", 1252));
  EXPECT_EQ("", WideToCodePage(u"", 1251));
}

}  // namespace
}  // namespace px
