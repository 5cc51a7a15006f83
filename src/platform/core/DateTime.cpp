#include "platform/core/DateTime.h"

#include <cmath>
#include <ctime>

#include "platform/core/Exceptions.h"

namespace px {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

constexpr int64_t UnixDays = 25569;  // TDateTime day of 1970-01-01

// Splits a TDateTime into its calendar day (days since 1899-12-30) and the
// milliseconds of the day, rounded; a time that rounds up to midnight
// belongs to the next day.
void split(TDateTime value, int64_t& day, int64_t& msec) {
  if (!std::isfinite(value) || std::fabs(value) > 3e6) throw EConvertError("Invalid argument to date encode");
  double whole = std::trunc(value);
  day = static_cast<int64_t>(whole);
  msec = std::llround(std::fabs(value - whole) * static_cast<double>(MSecsPerDay));
  if (msec >= MSecsPerDay) {
    msec -= MSecsPerDay;
    day += 1;
  }
}

TDateTime fromParts(int64_t day, int64_t msec) {
  double time = static_cast<double>(msec) / static_cast<double>(MSecsPerDay);
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

// Unix seconds (with fraction) -> broken-down time and milliseconds.
TDateTime fromTm(const std::tm& tm, int64_t msec) {
  int64_t day = daysFromCivil(tm.tm_year + 1900LL, static_cast<unsigned>(tm.tm_mon + 1),
                              static_cast<unsigned>(tm.tm_mday)) + UnixDays;
  return fromParts(day, (tm.tm_hour * 3600LL + tm.tm_min * 60LL + tm.tm_sec) * 1000 + msec);
}

double toUnixSeconds(TDateTime utc) {
  int64_t day, msec;
  split(utc, day, msec);
  return static_cast<double>(day - UnixDays) * SecsPerDay + static_cast<double>(msec) / 1000.0;
}

}  // namespace

bool IsLeapYear(Word year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

Word DaysInMonth(Word year, Word month) {
  static constexpr Word days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return static_cast<Word>(days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0));
}

bool TryEncodeDate(Word year, Word month, Word day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  result = static_cast<double>(daysFromCivil(year, month, day) + UnixDays);
  return true;
}

bool TryEncodeTime(Word hour, Word minute, Word second, Word milliSecond, TDateTime& result) {
  if (hour >= 24 || minute >= 60 || second >= 60 || milliSecond >= 1000) return false;
  result = static_cast<double>((hour * 3600LL + minute * 60LL + second) * 1000 + milliSecond) /
           static_cast<double>(MSecsPerDay);
  return true;
}

TDateTime EncodeDate(Word year, Word month, Word day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(Word hour, Word minute, Word second, Word milliSecond) {
  TDateTime r;
  if (!TryEncodeTime(hour, minute, second, milliSecond, r)) throw EConvertError("Invalid argument to time encode");
  return r;
}

TDateTime EncodeDateTime(Word year, Word month, Word day, Word hour, Word minute, Word second, Word milliSecond) {
  TDateTime date = EncodeDate(year, month, day);
  TDateTime time = EncodeTime(hour, minute, second, milliSecond);
  return date >= 0 ? date + time : date - time;
}

void DecodeDateTime(TDateTime value, Word& year, Word& month, Word& day, Word& hour, Word& minute, Word& second,
                    Word& milliSecond) {
  int64_t d, msec;
  split(value, d, msec);
  int64_t y;
  unsigned m, dd;
  civilFromDays(d - UnixDays, y, m, dd);
  year = static_cast<Word>(y);
  month = static_cast<Word>(m);
  day = static_cast<Word>(dd);
  hour = static_cast<Word>(msec / 3600000);
  minute = static_cast<Word>(msec / 60000 % 60);
  second = static_cast<Word>(msec / 1000 % 60);
  milliSecond = static_cast<Word>(msec % 1000);
}

void DecodeDate(TDateTime value, Word& year, Word& month, Word& day) {
  Word h, n, s, z;
  DecodeDateTime(value, year, month, day, h, n, s, z);
}

void DecodeTime(TDateTime value, Word& hour, Word& minute, Word& second, Word& milliSecond) {
  Word y, m, d;
  DecodeDateTime(value, y, m, d, hour, minute, second, milliSecond);
}

int DayOfWeek(TDateTime value) {
  int64_t d, msec;
  split(value, d, msec);
  // 1899-12-30 was a Saturday (7).
  int64_t r = (d + 6) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

TDateTime DateOf(TDateTime value) {
  int64_t d, msec;
  split(value, d, msec);
  return static_cast<double>(d);
}

TDateTime TimeOf(TDateTime value) {
  int64_t d, msec;
  split(value, d, msec);
  return static_cast<double>(msec) / static_cast<double>(MSecsPerDay);
}

// The system clock broken down by localtime_r or gmtime_r.
TDateTime clockNow(std::tm* (*breakDown)(const time_t*, std::tm*)) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm;
  breakDown(&ts.tv_sec, &tm);
  return fromTm(tm, ts.tv_nsec / 1000000);
}

TClockHook& clockHook() {
  static TClockHook hook;
  return hook;
}

TClockHook SetClockHook(TClockHook hook) {
  TClockHook old = std::move(clockHook());
  clockHook() = std::move(hook);
  return old;
}

TDateTime Now() { return clockHook() ? clockHook()() : clockNow(localtime_r); }

TDateTime Date() { return DateOf(Now()); }
TDateTime Time() { return TimeOf(Now()); }

TDateTime NowUTC() { return clockHook() ? LocalToUTC(clockHook()()) : clockNow(gmtime_r); }

int64_t DateTimeToUnix(TDateTime value) { return static_cast<int64_t>(std::floor(toUnixSeconds(value) + 0.0005)); }

TDateTime UnixToDateTime(int64_t seconds) {
  // Floor division that cannot overflow at the ends of the range.
  int64_t day = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    --day;
    rest += 86400;
  }
  return fromParts(day + UnixDays, rest * 1000);
}

int LocalUTCOffsetMinutes(TDateTime utc) {
  time_t t = static_cast<time_t>(std::floor(toUnixSeconds(utc)));
  std::tm tm;
  localtime_r(&t, &tm);
  return static_cast<int>(tm.tm_gmtoff / 60);
}

TDateTime UTCToLocal(TDateTime utc) {
  double secs = toUnixSeconds(utc);
  time_t whole = static_cast<time_t>(std::floor(secs));
  int64_t msec = std::llround((secs - static_cast<double>(whole)) * 1000);
  std::tm tm;
  localtime_r(&whole, &tm);
  return fromTm(tm, msec);
}

namespace {

// The local zone at a Unix time: offset from UTC in seconds (east positive)
// and whether it is daylight saving time.
struct ZoneAt {
  long offset;
  bool dst;
};

ZoneAt zoneAt(time_t t) {
  std::tm tm;
  if (!localtime_r(&t, &tm)) return {0, false};
  return {tm.tm_gmtoff, tm.tm_isdst > 0};
}

}  // namespace

// Worked out from the zone's offsets rather than with mktime, whose answer
// for a wall time shown twice depends on the times it converted before.
TDateTime LocalToUTC(TDateTime local) {
  int64_t day, msec;
  split(local, day, msec);
  // The wall time read as if it were UTC; an instant shows it when the
  // offset in force at that instant is the one subtracted.
  const int64_t wallMs = (day - UnixDays) * MSecsPerDay + msec;
  const time_t wallSecs = static_cast<time_t>(wallMs >= 0 ? wallMs / 1000 : -((-wallMs + 999) / 1000));
  // Zones change their offset far less often than daily: the offsets a day
  // before and after include every one that can apply.
  const long candidates[3] = {zoneAt(wallSecs - 86400).offset, zoneAt(wallSecs).offset,
                              zoneAt(wallSecs + 86400).offset};
  bool found = false;
  long chosen = candidates[0];  // in the skipped hour: the offset before the gap
  bool chosenDst = false;
  for (long offset : candidates) {
    const ZoneAt zone = zoneAt(wallSecs - offset);
    if (zone.offset != offset) continue;
    // Shown twice: standard time wins, else the earlier instant.
    if (!found || (chosenDst && !zone.dst) || (chosenDst == zone.dst && offset > chosen)) {
      found = true;
      chosen = offset;
      chosenDst = zone.dst;
    }
  }
  const int64_t utcMs = wallMs - static_cast<int64_t>(chosen) * 1000;
  int64_t utcDay = utcMs / MSecsPerDay;
  if (utcMs % MSecsPerDay < 0) --utcDay;
  return fromParts(utcDay + UnixDays, utcMs - utcDay * MSecsPerDay);
}

}  // namespace px
