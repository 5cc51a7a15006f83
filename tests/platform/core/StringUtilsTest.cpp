#include <gtest/gtest.h>

#include <string>

#include "platform/core/StringUtils.h"

using namespace px;

TEST(StringUtils, TrimRemovesControlsAndSpacesOnly) {
  EXPECT_EQ(Trim(" \t\r\nab c\x01 "), "ab c");
  EXPECT_EQ(TrimLeft("  ab  "), "ab  ");
  EXPECT_EQ(TrimRight("  ab  "), "  ab");
  EXPECT_EQ(Trim(" \t "), "");
  // Bytes above 0x7F (UTF-8 sequences, Windows-1252 letters) stay.
  EXPECT_EQ(Trim("\xC3\xA9 "), "\xC3\xA9");
  EXPECT_EQ(Trim(" \xA0"), "\xA0");
}

TEST(StringUtils, StringReplaceFlags) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    TReplaceFlags flags;
    const char* expected;
  } cases[] = {
      {"a-b-c", "-", "+", 0, "a+b-c"},
      {"a-b-c", "-", "+", rfReplaceAll, "a+b+c"},
      {"Abc abc", "ABC", "x", rfReplaceAll, "Abc abc"},
      {"Abc abc", "ABC", "x", rfIgnoreCase, "x abc"},
      {"Abc abc", "ABC", "x", rfReplaceAll | rfIgnoreCase, "x x"},
      {"aaa", "aa", "a", rfReplaceAll, "aa"},  // no rescanning of the replacement
      {"abc", "", "x", rfReplaceAll, "abc"},
      {"abc", "abcd", "x", rfReplaceAll, "abc"},
      {"abc", "b", "", rfReplaceAll, "ac"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(StringReplace(c.text, c.from, c.to, c.flags), c.expected) << c.text << " " << c.from;
}

TEST(StringUtils, Quoting) {
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(AnsiQuotedStr("say \"hi\"", '"'), "\"say \"\"hi\"\"\"");

  std::string_view source = "'it''s' rest";
  EXPECT_EQ(AnsiExtractQuotedStr(source, '\''), "it's");
  EXPECT_EQ(source, " rest");
  source = "no quote";
  EXPECT_EQ(AnsiExtractQuotedStr(source, '\''), "");
  EXPECT_EQ(source, "no quote");
  source = "'open";
  EXPECT_EQ(AnsiExtractQuotedStr(source, '\''), "open");
  EXPECT_EQ(source, "");

  EXPECT_EQ(AnsiDequotedStr("'a''b'", '\''), "a'b");
  EXPECT_EQ(AnsiDequotedStr("'a'b", '\''), "'a'b");
  EXPECT_EQ(AnsiDequotedStr("'a''", '\''), "'a''");  // not closed
  EXPECT_EQ(AnsiDequotedStr("plain", '\''), "plain");
}
