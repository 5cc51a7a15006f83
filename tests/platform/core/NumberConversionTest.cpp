#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/core/NumberConversion.h"
#include "support/Numbers.h"

using namespace px;

namespace {

TFormatSettings germanStyle() {
  TFormatSettings s = DefaultFormatSettings();
  s.DecimalSeparator = ",";
  s.ThousandSeparator = ".";
  return s;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(FloatToStrF, Table) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    TFloatFormat format;
    int precision, digits;
    const char* expected;
  } cases[] = {
      {0.0, ffGeneral, 15, 0, "0"},
      {-0.0, ffGeneral, 15, 0, "0"},
      {1.0 / 3, ffGeneral, 15, 0, "0.333333333333333"},
      {2.0 / 3, ffGeneral, 15, 0, "0.666666666666667"},
      {0.1, ffGeneral, 18, 0, "0.100000000000000006"},
      {123456789012345.0, ffGeneral, 15, 0, "123456789012345"},
      {999999999999999.9, ffGeneral, 15, 0, "1E15"},
      {1234567890123456.0, ffGeneral, 15, 0, "1.23456789012346E15"},
      {-1e15, ffGeneral, 15, 0, "-1E15"},
      {0.0001, ffGeneral, 15, 0, "0.0001"},
      {0.00001, ffGeneral, 15, 0, "1E-5"},
      {1.5e-7, ffGeneral, 15, 2, "1.5E-07"},
      {1.7976931348623157e308, ffGeneral, 15, 0, "1.79769313486232E308"},
      {5e-324, ffGeneral, 15, 0, "4.94065645841247E-324"},
      {-1.5, ffExponent, 4, 2, "-1.500E+00"},
      {0.0, ffExponent, 3, 0, "0.00E+0"},
      {9.9999, ffExponent, 3, 1, "1.00E+1"},
      {1e-300, ffExponent, 2, 4, "1.0E-0300"},
      {2.5, ffExponent, 1, 0, "3E+0"},
      {2.5, ffFixed, 15, 0, "3"},
      {-2.5, ffFixed, 15, 0, "-3"},
      {0.5, ffFixed, 15, 0, "1"},
      {0.49999999999999994, ffFixed, 15, 0, "0"},
      {0.125, ffFixed, 15, 2, "0.13"},
      {0.375, ffFixed, 15, 2, "0.38"},
      {1.005, ffFixed, 15, 2, "1.00"},
      {0.285, ffFixed, 15, 2, "0.28"},
      {999.995, ffFixed, 15, 2, "1000.00"},
      {-0.001, ffFixed, 15, 2, "0.00"},
      {0.05, ffFixed, 15, 1, "0.1"},
      {123.0, ffFixed, 15, 3, "123.000"},
      {123.456, ffFixed, 2, 2, "1.2E2"},
      {1e20, ffFixed, 15, 2, "1E20"},
      {1e-20, ffFixed, 15, 4, "0.0000"},
      {1234567.891, ffNumber, 15, 2, "1,234,567.89"},
      {-999.5, ffNumber, 15, 0, "-1,000"},
      {123.0, ffNumber, 15, 2, "123.00"},
      {1e17, ffNumber, 18, 0, "100,000,000,000,000,000"},
      {1234.5, ffCurrency, 15, 2, "$1,234.50"},
      {-1234.5, ffCurrency, 15, 2, "($1,234.50)"},
      {-0.004, ffCurrency, 15, 2, "$0.00"},
      {std::nan(""), ffFixed, 15, 2, "NAN"},
      {inf, ffGeneral, 15, 0, "INF"},
      {-inf, ffNumber, 15, 2, "-INF"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FloatToStrF(c.value, c.format, c.precision, c.digits), c.expected)
        << c.value << " format " << c.format << " precision " << c.precision << " digits " << c.digits;
}

TEST(FloatToStrF, UsesSettingsSeparators) {
  const TFormatSettings s = germanStyle();
  EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2, s), "1.234.567,89");
  EXPECT_EQ(FloatToStr(-0.5, s), "-0,5");
  EXPECT_EQ(FloatToStrF(1.5, ffExponent, 3, 0, s), "1,50E+0");
  TFormatSettings noGrouping = DefaultFormatSettings();
  noGrouping.ThousandSeparator.clear();
  EXPECT_EQ(FloatToStrF(1234567.0, ffNumber, 15, 0, noGrouping), "1234567");
}

TEST(FloatToStr, ShortestFifteenDigits) {
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(2.675), "2.675");
  EXPECT_EQ(FloatToStr(100.0), "100");
  EXPECT_EQ(FloatToStr(-1e100), "-1E100");
}

TEST(CurrencyText, ExactDigits) {
  EXPECT_EQ(CurrToStr(Currency::FromRaw(12345)), "1.2345");
  EXPECT_EQ(CurrToStr(Currency(100)), "100");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(INT64_MIN)), "-922337203685477.5808");
  EXPECT_EQ(CurrToStr(Currency::FromRaw(1)), "0.0001");
  EXPECT_EQ(CurrToStrF(Currency::FromRaw(5), ffFixed, 3), "0.001");
  EXPECT_EQ(CurrToStrF(Currency::FromRaw(-15), ffFixed, 3), "-0.002");
  EXPECT_EQ(CurrToStrF(Currency::FromRaw(-12345678), ffCurrency, 2), "($1,234.57)");
  EXPECT_EQ(CurrToStrF(Currency::FromRaw(INT64_MAX), ffNumber, 4), "922,337,203,685,477.5807");
  EXPECT_EQ(FormatCurr("#,##0.0000", Currency::FromRaw(-12345678)), "-1,234.5678");
  EXPECT_EQ(FormatCurr("0.00", Currency::FromRaw(125)), "0.01");
}

TEST(FormatFloat, Patterns) {
  struct Case {
    const char* pattern;
    double value;
    const char* expected;
  } cases[] = {
      {"0.00", 1234.567, "1234.57"},
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"#,##0.00", -1234.5, "-1,234.50"},
      {"#,##0.00", 0.5, "0.50"},
      {"#,##0", 999.5, "1,000"},
      {",0", 1234567.0, "1,234,567"},
      {"#.##", 0.5, ".5"},
      {"#.##", 1.0, "1"},
      {"0.##", 1.5, "1.5"},
      {"0.0#", 1.0, "1.0"},
      {"000", 7.0, "007"},
      {"000", 12345.0, "12345"},
      {"#", 0.0, ""},
      {"0", 2.5, "3"},
      {"0", -2.5, "-3"},
      {"0.00;(0.00)", -1.5, "(1.50)"},
      {"0.00;(0.00)", 1.5, "1.50"},
      {"0.00;;\"nil\"", 0.0, "nil"},
      {"0.00;;\"nil\"", -1.5, "-1.50"},
      {"0.00;-0.00;\"nil\"", -0.001, "nil"},  // rounds to zero
      {"0.00", -0.001, "0.00"},
      {"0.00E+00", 1234.5, "1.23E+03"},
      {"0.00E-00", 1234.5, "1.23E03"},
      {"0.00e-0", 0.000123, "1.23e-4"},
      {"00.0E+0", 12345.0, "12.3E+3"},
      {".00E+0", 12345.0, ".12E+5"},
      {"0.00E+00", 0.0, "0.00E+00"},
      {"\"$\"#,##0.00", 1234.5, "$1,234.50"},
      {"0.00 'kg'", 2.5, "2.50 kg"},
      {"'#'0", 5.0, "#5"},
      {"", 1.5, "1.5"},
      {"0.00", 1e25, "1E25"},
      {"0.00", std::nan(""), "NAN"},
      {"0.00", -std::numeric_limits<double>::infinity(), "-INF"},
      {"0.000000000000000000000", 0.1, "0.100000000000000006000"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.pattern, c.value), c.expected) << c.pattern << " " << c.value;
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, germanStyle()), "1.234,50");
}

TEST(IntText, ToStringAndHex) {
  EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
  EXPECT_EQ(IntToStr(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(UIntToStr(UINT32_MAX), "4294967295");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToHex(int64_t{-1}, 2), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(IntToHex(uint64_t{0xABCDEF}, 8), "00ABCDEF");
}

TEST(StrToInt, Table) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"123", true, 123},          {" 123", true, 123},        {"+5", true, 5},
      {"-5", true, -5},            {"$FF", true, 255},         {"0x1f", true, 31},
      {"0X1F", true, 31},          {"-$10", true, -16},        {"$FFFFFFFF", true, -1},
      {"$80000000", true, INT32_MIN}, {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
      {"007", true, 7},            {"123 ", false, 0},         {"2147483648", false, 0},
      {"-2147483649", false, 0},   {"$100000000", false, 0},   {"", false, 0},
      {"-", false, 0},             {"$", false, 0},            {"0x", false, 0},
      {"12a", false, 0},           {"1 2", false, 0},          {"1.0", false, 0},
      {"99999999999999999999", false, 0}, {"\t1", false, 0},
  };
  for (const Case& c : cases) {
    int32_t v = -777;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  try {
    StrToInt("12a");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
  }
  EXPECT_EQ(StrToIntDef("x", 7), 7);
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_EQ(StrToInt64("4294967296"), int64_t{4294967296});
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
  EXPECT_EQ(StrToInt64Def("", -3), -3);
}

TEST(StrToFloat, Table) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"1.5", true, 1.5},
      {"  -1.5e3  ", true, -1500},
      {"+.5", true, 0.5},
      {"5.", true, 5},
      {"1E+2", true, 100},
      {"0.1", true, 0.1},
      {"1.7976931348623157e308", true, 1.7976931348623157e308},
      {"4.9406564584124654e-324", true, 5e-324},
      {"0.1000000000000000055511151231257827021181583404541015625", true, 0.1},
      {"000000000000000000000000000012.5", true, 12.5},
      {"1e-400", true, 0},
      {"-1e-400", true, -0.0},
      {"INF", true, inf},
      {"-inf", true, -inf},
      {"1e400", false, 0},
      {"1e", false, 0},
      {"1e+", false, 0},
      {"e5", false, 0},
      {".", false, 0},
      {"", false, 0},
      {"1,5", false, 0},
      {"1.5x", false, 0},
      {"1 000", false, 0},
      {"$10", false, 0},
  };
  for (const Case& c : cases) {
    double v = -777;
    EXPECT_EQ(TryStrToFloat(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_TRUE(sameBits(v, c.value)) << c.text << " gave " << v;
    }
  }
  double nan = 0;
  EXPECT_TRUE(TryStrToFloat("NaN", nan) && std::isnan(nan));
  EXPECT_EQ(StrToFloat("1,5", germanStyle()), 1.5);
  EXPECT_THROW(StrToFloat("1.5", germanStyle()), EConvertError);
  EXPECT_EQ(StrToFloatDef("x", 2.5), 2.5);
  try {
    StrToFloat("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }
  // The text of every value reads back to the same value.
  for (double v : {0.1, 1.0 / 3, 123456.789, -2.5e-300, 1.7976931348623157e308})
    EXPECT_EQ(StrToFloat(FloatToStrF(v, ffGeneral, 17, 0)), v);
}

// Numbers in files keep their point under a locale with decimal commas, and
// read back exactly.
TEST(InvariantFloat, PointWhateverTheLocale) {
  test::CommaLocale comma;
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5") << "the C library follows the comma locale";
  struct Out {
    double value;
    int decimals;
    const char* text;
  } outs[] = {
      {0.5, -1, "0.5"},
      {0.1, -1, "0.1"},
      {-2.5e-300, -1, "-2.5e-300"},
      {1e20, -1, "1e+20"},
      {128.0 / 255, 3, "0.502"},
      {0.70710678, 4, "0.7071"},
      {0.5, 3, "0.500"},
      {2.5, 0, "2"},  // the double's exact value, ties to even as printf
      {1.005, 2, "1.00"},
      {-0.0001, 3, "-0.000"},
      {1234567.125, 6, "1234567.125000"},
      {0.1, 60, "0.100000000000000005551115123125782702118158340454101562500000"},
      {std::numeric_limits<double>::infinity(), 2, "inf"},
      {-std::numeric_limits<double>::infinity(), -1, "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), 3, "nan"},
  };
  for (const Out& o : outs) EXPECT_EQ(InvariantFloatToStr(o.value, o.decimals), o.text) << o.value;
  // Every value's shortest text reads back to the same value.
  for (double v : {0.1, 1.0 / 3, 123456.789, -2.5e-300, 1.7976931348623157e308, 5e-324, -0.0}) {
    double back = 7;
    EXPECT_TRUE(TryInvariantStrToFloat(InvariantFloatToStr(v), back)) << v;
    EXPECT_TRUE(sameBits(back, v)) << v;
  }
  EXPECT_EQ(InvariantFloatToStr(1e308, 2).size(), 309u + 3u);
  EXPECT_EQ(InvariantFloatToStr(0.5, 2000).size(), 2002u);

  struct In {
    const char* text;
    bool ok;
    double value;
  } ins[] = {
      {"0.001", true, 0.001},
      {"-.5", true, -0.5},
      {"+1E3", true, 1000},
      {"7.", true, 7},
      {"2.5e-1", true, 0.25},
      {"1e-400", true, 0},
      {"-1e-400", true, -0.0},
      {"0,5", false, 0},
      {"1e400", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
      {"inf", false, 0},
      {"nan", false, 0},
      {"0x10", false, 0},
      {".", false, 0},
      {"-", false, 0},
      {"", false, 0},
      {"1e", false, 0},
  };
  for (const In& c : ins) {
    double v = -777;
    EXPECT_EQ(TryInvariantStrToFloat(c.text, v), c.ok) << '"' << c.text << '"';
    EXPECT_TRUE(sameBits(v, c.ok ? c.value : -777)) << c.text << " gave " << v;
  }
}

TEST(StrToCurr, ExactDecimalHalvesToEven) {
  struct Case {
    const char* text;
    bool ok;
    int64_t raw;
  } cases[] = {
      {"1.2345", true, 12345},
      {"1.23455", true, 12346},
      {"1.23465", true, 12346},
      {"1.234651", true, 12347},
      {"0.00005", true, 0},
      {"0.00015", true, 2},
      {"-0.00015", true, -2},
      {"1e3", true, 10000000},
      {"12.5e-2", true, 1250},
      {" 7 ", true, 70000},
      {"-922337203685477.5808", true, INT64_MIN},
      {"922337203685477.5807", true, INT64_MAX},
      {"922337203685477.5808", false, 0},
      {"1e100000", false, 0},
      {"INF", false, 0},
      {"1,5", false, 0},
  };
  for (const Case& c : cases) {
    Currency v = Currency::FromRaw(-777);
    EXPECT_EQ(TryStrToCurr(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v.Raw(), c.raw) << c.text;
    }
  }
  EXPECT_THROW(StrToCurr("x"), EConvertError);
  EXPECT_EQ(StrToCurr("1,5", germanStyle()).Raw(), 15000);
}
