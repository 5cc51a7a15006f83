#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/core/Format.h"

using namespace px;

namespace {

std::string errorOf(auto&& call) {
  try {
    call();
  } catch (const EConvertError& e) {
    return e.Message();
  }
  return "<no EConvertError>";
}

}  // namespace

TEST(Format, IntegerSpecifiers) {
  EXPECT_EQ(Format("%d", 42), "42");
  EXPECT_EQ(Format("[%5d]", 42), "[   42]");
  EXPECT_EQ(Format("[%-5d]", -42), "[-42  ]");
  EXPECT_EQ(Format("%.5d", -42), "-00042");
  EXPECT_EQ(Format("%3.2d", 7), " 07");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("%d", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(Format("%u", -1), "4294967295");
  EXPECT_EQ(Format("%u", int64_t{-1}), "18446744073709551615");
  EXPECT_EQ(Format("%x", 255), "FF");
  EXPECT_EQ(Format("%.4x", 255), "00FF");
  EXPECT_EQ(Format("%x", -1), "FFFFFFFF");
  EXPECT_EQ(Format("%x", int64_t{-2}), "FFFFFFFFFFFFFFFE");
  EXPECT_EQ(Format("%D|%X", 5, 10), "5|A");
  EXPECT_EQ(Format("%d", uint8_t{200}), "200");
  EXPECT_EQ(Format("%p", reinterpret_cast<void*>(0x1234)), "0000000000001234");
  EXPECT_EQ(Format("%p", nullptr), "0000000000000000");  // a pointer, not a text
}

TEST(Format, StringSpecifiers) {
  EXPECT_EQ(Format("%s|%s|%s", "abc", std::string("de"), std::string_view("f")), "abc|de|f");
  EXPECT_EQ(Format("[%.2s]", "abc"), "[ab]");
  EXPECT_EQ(Format("[%5s][%-5s]", "ab", "cd"), "[   ab][cd   ]");
  EXPECT_EQ(Format("%s%s", 'x', static_cast<const char*>(nullptr)), "x");
  // UTF-16 arguments arrive as UTF-8; widths and precisions count characters.
  EXPECT_EQ(Format("[%7s]", std::u16string(u"Grüße")), "[  Grüße]");
  EXPECT_EQ(Format("[%.3s]", "äöüx"), "[äöü]");
  EXPECT_EQ(Format("font-family: '%s'; ", u"Liberation Sans"), "font-family: 'Liberation Sans'; ");
  EXPECT_EQ(Format("100%% %s", "sure"), "100% sure");
}

TEST(Format, FloatSpecifiers) {
  struct Case {
    const char* format;
    double value;
    const char* expected;
  } cases[] = {
      {"%f", 1234.5, "1234.50"},
      {"%.0f", 2.5, "3"},  // ties round away from zero
      {"%.0f", -2.5, "-3"},
      {"%.2f", 0.125, "0.13"},
      {"%.2f", 1.005, "1.00"},  // the double is below 1.005
      {"%.2f", 999.995, "1000.00"},
      {"%.2f", -0.001, "0.00"},  // no "-0.00"
      {"%.4f", 12.5, "12.5000"},
      {"%.30f", 0.5, "0.500000000000000000"},  // at most 18 decimals
      {"%f", 1e20, "1E20"},                    // more integer digits than 18
      {"%n", 1234567.891, "1,234,567.89"},
      {"%.0n", -1234.5, "-1,235"},
      {"%n", 999.999, "1,000.00"},
      {"%m", 1234.5, "$1,234.50"},
      {"%m", -1234.5, "($1,234.50)"},
      {"%.0m", 0.4, "$0"},
      {"%e", 1234.5, "1.23450000000000E+003"},
      {"%.3e", -0.000123456, "-1.23E-004"},
      {"%e", 0.0, "0.00000000000000E+000"},
      {"%.2e", 1e300, "1.0E+300"},
      {"%g", 1234.5, "1234.5"},
      {"%g", 1.0 / 3, "0.333333333333333"},
      {"%g", 1e20, "1E20"},
      {"%g", 0.0001, "0.0001"},
      {"%g", 0.00001, "1E-5"},
      {"%.3g", 1234.5, "1.23E3"},
      {"[%10.2f]", -3.14159, "[     -3.14]"},
      {"[%-8.1f]", 3.14159, "[3.1     ]"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.format, c.value), c.expected) << c.format << " " << c.value;
  EXPECT_EQ(Format("%g", 1.5f), "1.5");
}

TEST(Format, CurrencyArguments) {
  EXPECT_EQ(Format("%m", Currency::FromRaw(-12345678)), "($1,234.57)");
  EXPECT_EQ(Format("%.3m", Currency::FromRaw(5)), "$0.001");
  EXPECT_EQ(Format("%.4f", Currency::FromRaw(-15)), "-0.0015");
  EXPECT_EQ(Format("%n", Currency::FromRaw(INT64_MAX)), "922,337,203,685,477.58");
  EXPECT_EQ(Format("%g", Currency::FromRaw(12345)), "1.2345");
}

TEST(Format, CurrencyPlacementFollowsSettings) {
  TFormatSettings s = DefaultFormatSettings();
  s.CurrencyString = "EUR";
  s.DecimalSeparator = ",";
  s.ThousandSeparator = ".";
  const char* positive[] = {"EUR1.234,50", "1.234,50EUR", "EUR 1.234,50", "1.234,50 EUR"};
  for (int f = 0; f < 4; ++f) {
    s.CurrencyFormat = static_cast<Byte>(f);
    EXPECT_EQ(Format(s, "%m", 1234.5), positive[f]) << f;
  }
  const char* negative[] = {"(EUR1,5)",  "-EUR1,5",  "EUR-1,5",  "EUR1,5-",  "(1,5EUR)",  "-1,5EUR",
                            "1,5-EUR",   "1,5EUR-",  "-1,5 EUR", "-EUR 1,5", "1,5 EUR-", "EUR 1,5-",
                            "EUR -1,5", "1,5- EUR", "(EUR 1,5)", "(1,5 EUR)"};
  for (int f = 0; f < 16; ++f) {
    s.NegCurrFormat = static_cast<Byte>(f);
    EXPECT_EQ(Format(s, "%.1m", -1.5), negative[f]) << f;
  }
}

TEST(Format, IndexAndStar) {
  EXPECT_EQ(Format("%1:s %0:s", "a", "b"), "b a");
  EXPECT_EQ(Format("%d %0:d %d", 1, 2), "1 1 2");
  EXPECT_EQ(Format("padding-left:%dpx;padding-right:%0:dpx;", 4), "padding-left:4px;padding-right:4px;");
  EXPECT_EQ(Format("[%*d]", 5, 42), "[   42]");
  EXPECT_EQ(Format("[%-*.*f]", 8, 1, 3.14159), "[3.1     ]");
  EXPECT_EQ(Format("[%*d]", -4, 7), "[7   ]");
  EXPECT_EQ(Format("[%.*s]", 2, "abc"), "[ab]");
  EXPECT_EQ(Format("%*:s", 1, "x"), "x");
  EXPECT_EQ(Format("\\u%d\\'3f", 233), "\\u233\\'3f");
}

TEST(Format, ErrorsRaiseConvertError) {
  const std::string invalid = " invalid or incompatible with argument";
  EXPECT_EQ(errorOf([] { Format("%d", "x"); }), "Format '%d'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%f", 1); }), "Format '%f'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%s", 1); }), "Format '%s'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%d", true); }), "Format '%d'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%x", 1.5); }), "Format '%x'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%p", 1); }), "Format '%p'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%y", 1); }), "Format '%y'" + invalid);
  EXPECT_EQ(errorOf([] { Format("abc%"); }), "Format 'abc%'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%5", 1); }), "Format '%5'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%*d", "x", 1); }), "Format '%*d'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%2000000d", 1); }), "Format '%2000000d'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%*d", 5000000, 1); }), "Format '%*d'" + invalid);
  EXPECT_EQ(errorOf([] { Format("%d %d", 1); }), "No argument for format '%d %d'");
  EXPECT_EQ(errorOf([] { Format("%2:d", 1); }), "No argument for format '%2:d'");
  EXPECT_EQ(errorOf([] { Format("%*:d", -1, 1); }), "No argument for format '%*:d'");
  EXPECT_EQ(errorOf([] { Format("%s"); }), "No argument for format '%s'");
  // Long formats are quoted up to 31 bytes, never cutting a character.
  EXPECT_EQ(errorOf([] { Format("%d 0123456789012345678901234567ü and more", "x"); }),
            "Format '%d 0123456789012345678901234567'" + invalid);
}
