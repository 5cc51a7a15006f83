#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "platform/core/CodePages.h"
#include "platform/core/Currency.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Guid.h"

using namespace px;

TEST(Currency, ConversionsAndProductsRoundHalvesToEven) {
  struct Case {
    double value;
    int64_t raw;
  } cases[] = {
      {1.00005, 10001},  // the binary value lies just above the half
      {0.03125, 312},    {0.09375, 938}, {-0.03125, -312}, {-0.09375, -938},  // exact halves
      {2.5, 25000},      {1234.5678, 12345678},
  };
  for (const auto& c : cases) EXPECT_EQ(Currency::FromDouble(c.value).Raw(), c.raw) << c.value;

  // 0.0005 * 0.5 = 0.00025 exactly, raw 2.5: halves to even at the fourth decimal.
  EXPECT_EQ((Currency::FromRaw(5) * Currency::FromRaw(5000)).Raw(), 2);
  EXPECT_EQ((Currency::FromRaw(15) * Currency::FromRaw(5000)).Raw(), 8);
  EXPECT_EQ((Currency::FromRaw(-15) * Currency::FromRaw(5000)).Raw(), -8);
  EXPECT_EQ(Currency::FromRaw(25000).Round(), 2);
  EXPECT_EQ(Currency::FromRaw(35000).Round(), 4);
  EXPECT_EQ(Currency::FromRaw(-25000).Round(), -2);
  EXPECT_EQ((Currency(1) / Currency(3)).Raw(), 3333);
  EXPECT_EQ((Currency(2) / Currency(3)).Raw(), 6667);
  EXPECT_EQ((Currency(10) + Currency::FromDouble(0.25)).ToDouble(), 10.25);
}

TEST(Currency, OverflowAndDivisionByZeroRaise) {
  Currency big = Currency::FromRaw(INT64_MAX);
  EXPECT_THROW(big + Currency::FromRaw(1), EOverflow);
  EXPECT_THROW(big * Currency(2), EOverflow);
  EXPECT_THROW(Currency(1) / Currency(0), EZeroDivide);
  EXPECT_THROW(Currency::FromDouble(1e300), EOverflow);
  EXPECT_THROW(Currency::FromDouble(NAN), EInvalidOp);
}

TEST(DateTime, EncodeDecodeRoundTripsAroundTheEpochAndMidnight) {
  struct Case {
    Word y, m, d, h, n, s, z;
    double value;
  } cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 0.0},
      {1899, 12, 29, 6, 0, 0, 0, -1.25},
      {1899, 12, 29, 18, 0, 0, 0, -1.75},
      {1800, 1, 1, 12, 0, 0, 0, -36522.5},
      {1900, 3, 1, 0, 0, 0, 0, 61.0},
      {2000, 2, 29, 23, 59, 59, 999, 36585.0 + 86399999.0 / 86400000.0},
      {1, 1, 1, 0, 0, 0, 0, -693593.0},
      {9999, 12, 31, 0, 0, 0, 0, 2958465.0},
  };
  for (const auto& c : cases) {
    TDateTime v = EncodeDateTime(c.y, c.m, c.d, c.h, c.n, c.s, c.z);
    EXPECT_NEAR(v, c.value, 1e-9) << c.y << "-" << c.m << "-" << c.d;
    Word y, m, d, h, n, s, z;
    DecodeDateTime(v, y, m, d, h, n, s, z);
    EXPECT_EQ((std::array<Word, 7>{y, m, d, h, n, s, z}), (std::array<Word, 7>{c.y, c.m, c.d, c.h, c.n, c.s, c.z}));
  }
  // A time that rounds up to midnight belongs to the next day, also before 1899-12-30.
  Word y, m, d, h, n, s, z;
  DecodeDateTime(36585.99999999999, y, m, d, h, n, s, z);
  EXPECT_EQ((std::array<Word, 4>{m, d, h, n}), (std::array<Word, 4>{3, 1, 0, 0}));
  DecodeDateTime(-1.999999999999, y, m, d, h, n, s, z);
  EXPECT_EQ((std::array<Word, 4>{m, d, h, n}), (std::array<Word, 4>{12, 30, 0, 0}));
  EXPECT_EQ(DayOfWeek(0), 7);
  EXPECT_EQ(DayOfWeek(-1), 6);
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 10)), 5);  // a Thursday
}

TEST(DateTime, InvalidPartsRaise) {
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(DateOf(NAN), EConvertError);
}

TEST(DateTime, UnixAndLocalTimeConversions) {
  EXPECT_EQ(DateTimeToUnix(EncodeDateTime(1970, 1, 1, 0, 0, 1, 0)), 1);
  EXPECT_EQ(DateTimeToUnix(EncodeDateTime(1969, 12, 31, 23, 59, 59, 0)), -1);
  EXPECT_NEAR(UnixToDateTime(-1), EncodeDateTime(1969, 12, 31, 23, 59, 59, 0), 1e-9);
  EXPECT_NEAR(UnixToDateTime(1700000000), EncodeDateTime(2023, 11, 14, 22, 13, 20, 0), 1e-9);
  EXPECT_NEAR(UnixToDateTime(-86400 - 1), EncodeDateTime(1969, 12, 30, 23, 59, 59, 0), 1e-9);
  // The ends of the range convert without overflow (far outside the calendar).
  EXPECT_LT(UnixToDateTime(INT64_MIN), -1e14);
  EXPECT_GT(UnixToDateTime(INT64_MAX), 1e14);

  const char* old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Europe/Prague", 1);
  tzset();
  TDateTime winter = EncodeDateTime(2024, 1, 15, 12, 0, 0, 0);
  TDateTime summer = EncodeDateTime(2024, 7, 15, 12, 0, 0, 0);
  EXPECT_NEAR(UTCToLocal(winter), winter + 1.0 / 24, 1e-9);
  EXPECT_NEAR(UTCToLocal(summer), summer + 2.0 / 24, 1e-9);
  EXPECT_NEAR(LocalToUTC(UTCToLocal(summer)), summer, 1e-9);
  EXPECT_EQ(LocalUTCOffsetMinutes(summer), 120);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

// The wall-clock hour shown twice when the clocks go back reads as standard
// time whatever was converted before (mktime guesses from its last call);
// the hour skipped when they go forward reads with the offset before the gap.
TEST(DateTime, LocalToUTCAcrossDaylightSavingChanges) {
  const char* old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const TDateTime fold = EncodeDateTime(2024, 10, 27, 2, 30, 0, 250);
  const TDateTime foldUtc = EncodeDateTime(2024, 10, 27, 1, 30, 0, 250);  // 02:30 CET
  for (TDateTime before : {EncodeDateTime(2024, 7, 1, 12, 0, 0, 0), EncodeDateTime(2024, 12, 1, 12, 0, 0, 0)}) {
    LocalToUTC(before);
    EXPECT_NEAR(LocalToUTC(fold), foldUtc, 1e-9);
  }
  EXPECT_NEAR(LocalToUTC(EncodeDateTime(2024, 3, 31, 2, 30, 0, 0)), EncodeDateTime(2024, 3, 31, 1, 30, 0, 0), 1e-9);
  EXPECT_NEAR(LocalToUTC(EncodeDateTime(2024, 3, 31, 3, 30, 0, 0)), EncodeDateTime(2024, 3, 31, 1, 30, 0, 0), 1e-9);
  EXPECT_NEAR(LocalToUTC(EncodeDateTime(2024, 10, 27, 3, 0, 0, 0)), EncodeDateTime(2024, 10, 27, 2, 0, 0, 0), 1e-9);
  // Before 1899-12-30 (negative TDateTime) and across UTC midnight.
  const TDateTime old1899 = EncodeDateTime(1899, 12, 29, 0, 30, 0, 0);
  EXPECT_NEAR(UTCToLocal(LocalToUTC(old1899)), old1899, 1e-9);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

// A hook answers Now, Date, Time and NowUTC until it is taken away; then
// the system clock answers again.
TEST(DateTime, ClockHookAnswersNowUntilRemoved) {
  const char* old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Europe/Prague", 1);
  tzset();
  const TDateTime fixed = EncodeDateTime(2024, 1, 15, 0, 30, 0, 0);
  TClockHook previous = SetClockHook([&] { return fixed; });
  EXPECT_EQ(Now(), fixed);
  EXPECT_EQ(Date(), EncodeDate(2024, 1, 15));
  EXPECT_NEAR(Time(), EncodeTime(0, 30, 0, 0), 1e-9);
  // 00:30 in Prague in winter is 23:30 of the day before in UTC.
  EXPECT_NEAR(NowUTC(), EncodeDateTime(2024, 1, 14, 23, 30, 0, 0), 1e-9);
  EXPECT_FALSE(previous);
  EXPECT_TRUE(SetClockHook(nullptr));
  const double system = DateTimeToUnix(LocalToUTC(Now()));
  EXPECT_NEAR(system, static_cast<double>(time(nullptr)), 2);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

TEST(Guid, ParsesPrintsAndRejects) {
  const std::string text = "{8A8C02D6-F2D8-45DC-985E-5BF62149318B}";
  TGUID g = StringToGUID(text);
  EXPECT_EQ(g.D1, 0x8A8C02D6u);
  EXPECT_EQ(g.D4[7], 0x8B);
  EXPECT_EQ(g.ToString(), text);
  EXPECT_EQ(StringToGUID("{8a8c02d6-f2d8-45dc-985e-5bf62149318b}"), g);
  auto bytes = g.ToBytes();
  EXPECT_EQ(bytes[0], 0xD6);  // D1 little-endian in memory
  EXPECT_EQ(TGUID::FromBytes(bytes.data()), g);
  for (const char* bad : {"", "8A8C02D6-F2D8-45DC-985E-5BF62149318B", "{8A8C02D6-F2D8-45DC-985E-5BF62149318G}",
                          "{8A8C02D6F-2D8-45DC-985E-5BF62149318B}"}) {
    EXPECT_THROW(StringToGUID(bad), EConvertError) << bad;
  }
  TGUID r1 = TGUID::Create(), r2 = TGUID::Create();
  EXPECT_NE(r1, r2);
  EXPECT_EQ(r1.D3 >> 12, 4);
}

TEST(CodePages, AllWindows1252BytesRoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  UnicodeString u = AnsiToUnicode(all);
  ASSERT_EQ(u.size(), 256u);
  EXPECT_EQ(u[0x80], 0x20AC);
  EXPECT_EQ(u[0x9F], 0x0178);
  for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(u[undefined], undefined);
  EXPECT_EQ(UnicodeToAnsi(u), all);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf8ToUnicode(UnicodeToUtf8(u)), u);
  EXPECT_EQ(UnicodeToAnsi(u"\u0416x\U0001F600"), "?x?");
}

TEST(CodePages, Utf8DecodingIsSafeOnBadInput) {
  EXPECT_EQ(Utf8ToUnicode("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUnicode("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(Utf8ToUnicode("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(UnicodeToUtf8(u"\xD800z"), "\xEF\xBF\xBDz");
  EXPECT_TRUE(IsValidUtf8("K\xC4\x8D \xEF\xBF\xBD"));
  EXPECT_FALSE(IsValidUtf8("K\x8D"));
}

// A bad unit inside a shifted run of a stateful character set neither drops
// the shift (decoding) nor lands a plain '?' inside it (encoding).
TEST(CodePages, ConvertCharsetKeepsTheShiftStateAcrossBadUnits) {
  const std::string hiragana = "\xE3\x81\x82";  // U+3042, two bytes in the JIS X 0208 shift
  // ESC $ B shifts into JIS X 0208, ESC ( B back to ASCII.
  const std::string jisRun = "\x1B$B$\"\xFF$\"\x1B(BA";
  EXPECT_EQ(ConvertCharset(jisRun, "ISO-2022-JP", "UTF-8"), hiragana + "\xEF\xBF\xBD" + hiragana + "A");
  // e-acute has no ISO-2022-JP form; its '?' must be written in ASCII.
  const std::string encoded = ConvertCharset(hiragana + "\xC3\xA9" + hiragana + "A", "UTF-8", "ISO-2022-JP");
  EXPECT_EQ(ConvertCharset(encoded, "ISO-2022-JP", "UTF-8"), hiragana + "?" + hiragana + "A");
  EXPECT_TRUE(encoded.ends_with("A"));
  const std::string utf7 = ConvertCharset("\xC3\xA9\xF0\x9F\x98\x80\xFFz", "UTF-8", "UTF-7");
  EXPECT_EQ(ConvertCharset(utf7, "UTF-7", "UTF-8"), "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz");
  // One byte-order mark, at the start; no mark in UCS-2, whose '?' stands for the emoji.
  EXPECT_EQ(ConvertCharset("a\xFF", "UTF-8", "UTF-16").size(), 6u);
  EXPECT_EQ(ConvertCharset("a\xF0\x9F\x98\x80", "UTF-8", "UCS-2LE"), std::string("a\0?\0", 4));
}

TEST(CodePages, CharsetsCaseAndCollation) {
  EXPECT_EQ(ConvertCharset("\xE8", "WINDOWS-1250", "UTF-8"), "\xC4\x8D");
  EXPECT_EQ(ConvertCharset("\xC4\x8Dx", "UTF-8", "ISO-8859-1"), "?x");
  EXPECT_EQ(ConvertCharset("a\xFF", "UTF-8", "UTF-16LE"), std::string("a\0\xFD\xFF", 4));
  EXPECT_THROW(ConvertCharset("x", "NO-SUCH-CHARSET", "UTF-8"), EEncodingError);
  EXPECT_EQ(AnsiUpperCase("\xE9t\xE9 \xDF"), "\xC9T\xC9 \xDF");
  EXPECT_EQ(UpperCase("\xE9t\xE9"), "\xE9T\xE9");
  EXPECT_EQ(CompareText("abc", "ABD") < 0, true);
  EXPECT_TRUE(AnsiSameText("\xC9t\xE9", "\xE9T\xC9"));
  EXPECT_LT(AnsiCompareStr("\xE9", "f"), 0);  // accented e sorts with e, before f
  EXPECT_LT(AnsiCompareText("apple", "Banana"), 0);
  EXPECT_NE(AnsiCompareText("a", "\xE1"), 0);
}
