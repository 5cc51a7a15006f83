#pragma once
// TDateTime: days since 1899-12-30 as a double; the fraction is the time of
// day. For dates before 1899-12-30 the integral part counts days backwards and
// the fraction still counts the time forwards from midnight (-1.25 is
// 1899-12-29 06:00).
#include <cstdint>
#include <functional>

#include "platform/core/Types.h"

namespace px {

constexpr double HoursPerDay = 24;
constexpr double MinsPerDay = 24 * 60;
constexpr double SecsPerDay = 24 * 60 * 60;
constexpr int64_t MSecsPerDay = 24LL * 60 * 60 * 1000;
// Days between 0001-01-01 and 1899-12-30, plus one.
constexpr int DateDelta = 693594;
// TDateTime of 1970-01-01 00:00.
constexpr double UnixDateDelta = 25569;

struct TDateParts {
  Word Year = 0, Month = 0, Day = 0;
};
struct TTimeParts {
  Word Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

bool IsLeapYear(Word year);
Word DaysInMonth(Word year, Word month);

// Raise EConvertError for an invalid date or time.
TDateTime EncodeDate(Word year, Word month, Word day);
TDateTime EncodeTime(Word hour, Word minute, Word second, Word milliSecond);
TDateTime EncodeDateTime(Word year, Word month, Word day, Word hour, Word minute, Word second, Word milliSecond);
bool TryEncodeDate(Word year, Word month, Word day, TDateTime& result);
bool TryEncodeTime(Word hour, Word minute, Word second, Word milliSecond, TDateTime& result);

// Decoding rounds to the millisecond; a time that rounds to midnight moves to
// the next day.
void DecodeDate(TDateTime value, Word& year, Word& month, Word& day);
void DecodeTime(TDateTime value, Word& hour, Word& minute, Word& second, Word& milliSecond);
void DecodeDateTime(TDateTime value, Word& year, Word& month, Word& day, Word& hour, Word& minute, Word& second,
                    Word& milliSecond);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

// Date part only (midnight), time part only.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// Local time now, from the system clock and time zone, or from the clock
// hook while one is set.
TDateTime Now();
TDateTime Date();
TDateTime Time();
// Coordinated universal time now (the hook's local time taken to UTC while
// a hook is set).
TDateTime NowUTC();

// Answers Now in place of the system clock, so that what depends on "today"
// can be checked on a chosen day; nullptr gives the system clock back.
// Returns the hook it replaces.
using TClockHook = std::function<TDateTime()>;
TClockHook SetClockHook(TClockHook hook);

// Unix seconds (UTC) <-> TDateTime in UTC.
int64_t DateTimeToUnix(TDateTime value);
TDateTime UnixToDateTime(int64_t seconds);

// Conversions between UTC and the system's local time zone (TZ).
TDateTime UTCToLocal(TDateTime utc);
TDateTime LocalToUTC(TDateTime local);
// Offset of local time from UTC at the given UTC time, in minutes (east positive).
int LocalUTCOffsetMinutes(TDateTime utc);

}  // namespace px
