#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/Exceptions.h"

using namespace px;

TEST(FormatDateTime, Table) {
  const TDateTime afternoon = EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);  // a Tuesday
  const TDateTime midnight = EncodeDate(2024, 1, 1);
  const TDateTime noon = EncodeDateTime(2024, 1, 1, 12, 0, 0, 0);
  const TDateTime old = EncodeDateTime(1850, 7, 4, 6, 30, 0, 0);  // a Thursday, before day 0
  struct Case {
    const char* pattern;
    TDateTime value;
    const char* expected;
  } cases[] = {
      {"yyyy-mm-dd hh:nn:ss.zzz", afternoon, "2024-03-05 14:07:09.045"},
      {"d/m/yy", afternoon, "5/3/24"},
      {"ddd dddd mmm mmmm", afternoon, "Tue Tuesday Mar March"},
      {"ddddd", afternoon, "3/5/2024"},
      {"dddddd", afternoon, "Tuesday, March 5, 2024"},
      {"c", afternoon, "3/5/2024 2:07:09 PM"},
      {"", afternoon, "3/5/2024 2:07:09 PM"},
      {"t|tt", afternoon, "2:07 PM|2:07:09 PM"},
      {"h:mm am/pm", afternoon, "2:07 pm"},
      {"hh:mm AM/PM", afternoon, "02:07 PM"},
      {"h:mm Am/Pm", afternoon, "2:07 Pm"},
      {"h a/p", afternoon, "2 p"},
      {"h:nn ampm", afternoon, "2:07 PM"},
      {"hh:mm", afternoon, "14:07"},          // m after an hour is the minute
      {"hh 'h' mm", afternoon, "14 h 07"},    // also across a quoted text
      {"mm hh", afternoon, "03 14"},
      {"h 'am/pm'", afternoon, "14 am/pm"},   // quoted: 24-hour clock
      {"\"mm\" z", afternoon, "mm 45"},
      {"ADD", afternoon, "A05"},
      {"c", midnight, "1/1/2024"},
      {"h:nn AM/PM", midnight, "12:00 AM"},
      {"h AM/PM", noon, "12 PM"},
      {"yyyy-mm-dd hh:nn dddd", old, "1850-07-04 06:30 Thursday"},
      {"yyyy-mm-dd hh:nn", -1.25, "1899-12-29 06:00"},
      {"yyyy-mm-dd hh:nn", 0.0, "1899-12-30 00:00"},
      {"yyyy yy", EncodeDate(5, 6, 7), "0005 05"},
      {"c", EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), "12/31/9999 11:59:59 PM"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.pattern, c.value), c.expected) << c.pattern;
}

TEST(FormatDateTime, SettingsAndBadValues) {
  TFormatSettings s = DefaultFormatSettings();
  s.DateSeparator = ".";
  s.TimeSeparator = "-";
  s.ShortDateFormat = "dd/MM/yyyy";
  s.LongTimeFormat = "hh:nn:ss";
  EXPECT_EQ(FormatDateTime("c", EncodeDateTime(2024, 3, 5, 14, 7, 9, 0), s), "05.03.2024 14-07-09");
  // A format that names itself stops instead of recursing.
  s.ShortDateFormat = "ddddd";
  EXPECT_NO_THROW(FormatDateTime("ddddd", 0.0, s));
  EXPECT_THROW(FormatDateTime("c", 1e10), EConvertError);
  EXPECT_THROW(FormatDateTime("c", -1e10), EConvertError);
  EXPECT_THROW(FormatDateTime("c", std::nan("")), EConvertError);
  // The first day of the calendar: its times count backwards from day -693593.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -693593.75), "0001-01-01 18:00");
  EXPECT_THROW(FormatDateTime("c", -693594.0), EConvertError);
  EXPECT_THROW(FormatDateTime("c", std::numeric_limits<double>::infinity()), EConvertError);
}

TEST(DateTimeToStr, DefaultFormats) {
  const TDateTime v = EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
  EXPECT_EQ(DateToStr(v), "3/5/2024");
  EXPECT_EQ(TimeToStr(v), "2:07:09 PM");
  EXPECT_EQ(DateTimeToStr(v), "3/5/2024 2:07:09 PM");
  std::string s;
  DateTimeToString(s, "", EncodeDate(2024, 3, 5));
  EXPECT_EQ(s, "3/5/2024");
}

TEST(StrToDate, ShortDateOrder) {
  struct Case {
    const char* text;
    bool ok;
    TDateTime value;
  } cases[] = {
      {"3/5/2024", true, EncodeDate(2024, 3, 5)},
      {" 3 / 5 / 2024 ", true, EncodeDate(2024, 3, 5)},
      {"03/05/0099", true, EncodeDate(99, 3, 5)},  // four digits: no century window
      {"3/5/10", true, EncodeDate(2010, 3, 5)},
      {"3/5/99", true, EncodeDate(1999, 3, 5)},
      {"2/29/2024", true, EncodeDate(2024, 2, 29)},
      {"2/29/2023", false, 0},
      {"13/5/2024", false, 0},
      {"0/5/2024", false, 0},
      {"3/5/2024x", false, 0},
      {"3-5-2024", false, 0},
      {"3/5/20245", false, 0},
      {"3/", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    TDateTime v = -777;
    EXPECT_EQ(TryStrToDate(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  Word year, month, day;
  DecodeDate(Date(), year, month, day);
  EXPECT_EQ(StrToDate("3/5"), EncodeDate(year, 3, 5));

  TFormatSettings dmy = DefaultFormatSettings();
  dmy.ShortDateFormat = "dd.MM.yyyy";
  dmy.DateSeparator = ".";
  EXPECT_EQ(StrToDate("05.03.2024", dmy), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDate("5.3", dmy), EncodeDate(year, 3, 5));
  TFormatSettings ymd = DefaultFormatSettings();
  ymd.ShortDateFormat = "yyyy-MM-dd";
  ymd.DateSeparator = "-";
  EXPECT_EQ(StrToDate("2024-03-05", ymd), EncodeDate(2024, 3, 5));

  try {
    StrToDate("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'x' is not a valid date");
  }
}

TEST(StrToTime, HoursMinutesSecondsAndAmPm) {
  struct Case {
    const char* text;
    bool ok;
    TDateTime value;
  } cases[] = {
      {"14:07:09", true, EncodeTime(14, 7, 9, 0)},
      {"14:07:09.5", true, EncodeTime(14, 7, 9, 5)},
      {"14", true, EncodeTime(14, 0, 0, 0)},
      {"2:07 PM", true, EncodeTime(14, 7, 0, 0)},
      {"2:07 pm", true, EncodeTime(14, 7, 0, 0)},
      {"PM 2:07", true, EncodeTime(14, 7, 0, 0)},
      {"12:00 AM", true, 0},
      {"12:30 PM", true, EncodeTime(12, 30, 0, 0)},
      {"13:00 PM", false, 0},
      {"0:10 AM", false, 0},
      {"24:00", false, 0},
      {"10:60", false, 0},
      {"10:", false, 0},
      {"10:00 XM", false, 0},
  };
  for (const Case& c : cases) {
    TDateTime v = -777;
    EXPECT_EQ(TryStrToTime(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_THROW(StrToTime("x"), EConvertError);
}

TEST(StrToDateTime, DateTimeAndTimeAlone) {
  EXPECT_EQ(StrToDateTime("3/5/2024 2:07:09 PM"), EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));
  EXPECT_EQ(StrToDateTime("3/5/2024"), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDateTime("14:00"), EncodeTime(14, 0, 0, 0));
  // Before day 0 the time still counts forwards from midnight.
  const TDateTime old = StrToDateTime("7/4/1850 6:30 AM");
  EXPECT_EQ(old, EncodeDateTime(1850, 7, 4, 6, 30, 0, 0));
  EXPECT_EQ(DateTimeToStr(old), "7/4/1850 6:30:00 AM");
  for (TDateTime v : {EncodeDateTime(2024, 12, 31, 23, 59, 59, 0), EncodeDateTime(1899, 12, 29, 0, 0, 1, 0)})
    EXPECT_EQ(StrToDateTime(DateTimeToStr(v)), v);
  try {
    StrToDateTime("3/5/2024 nonsense");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'3/5/2024 nonsense' is not a valid date and time");
  }
}
