#include "platform/core/DateTimeFormat.h"

#include <cmath>

#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/Exceptions.h"
#include "platform/core/NumberConversion.h"

namespace px {

namespace {

// Bounds of the calendar, both outside it: the day before 0001-01-01 (whose
// times, counted backwards from day -693593, reach down towards -693594) and
// the day after 9999-12-31.
constexpr double kMinDateTimeExclusive = -693594.0;
constexpr double kMaxDateTimeExclusive = 2958466.0;

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool startsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
  return pos + word.size() <= text.size() && SameText(text.substr(pos, word.size()), word);
}

std::string padded(int value, size_t width) {
  std::string s = std::to_string(value);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

class DateTimeWriter {
 public:
  DateTimeWriter(TDateTime value, const TFormatSettings& settings) : settings_(settings) {
    // Outside the calendar the decoded fields would be meaningless.
    if (!(value > kMinDateTimeExclusive && value < kMaxDateTimeExclusive))
      throw EConvertError("'" + FloatToStr(value, settings) + "' is not a valid date and time");
    DecodeDateTime(value, year_, month_, day_, hour_, minute_, second_, milliSecond_);
    dayOfWeek_ = DayOfWeek(value);
  }

  // Nested formats (ddddd, t, c, ...) are followed two levels deep, so that
  // a format that names itself cannot recurse without end.
  void Append(std::string_view pattern, int level = 0) {
    if (level > 2) return;
    char lastToken = 0;
    size_t i = 0;
    while (i < pattern.size()) {
      const char starter = pattern[i];
      char token = upperAscii(starter);
      if (isLetter(starter)) {
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      size_t count = 1;
      while (i + count < pattern.size() && pattern[i + count] == starter) ++count;
      switch (token) {
        case 'Y':
          out_ += count <= 2 ? padded(year_ % 100, 2) : padded(year_, 4);
          break;
        case 'M':
          if (count <= 2)
            out_ += padded(month_, count);
          else
            out_ += count == 3 ? settings_.ShortMonthNames[month_ - 1] : settings_.LongMonthNames[month_ - 1];
          break;
        case 'D':
          switch (count) {
            case 1:
            case 2: out_ += padded(day_, count); break;
            case 3: out_ += settings_.ShortDayNames[static_cast<size_t>(dayOfWeek_ - 1)]; break;
            case 4: out_ += settings_.LongDayNames[static_cast<size_t>(dayOfWeek_ - 1)]; break;
            case 5: Append(settings_.ShortDateFormat, level + 1); break;
            default: Append(settings_.LongDateFormat, level + 1); break;
          }
          break;
        case 'H': {
          int hour = hour_;
          if (TwelveHourClockAfter(pattern, i + count)) {
            hour %= 12;
            if (hour == 0) hour = 12;
          }
          out_ += padded(hour, count >= 2 ? 2 : 1);
          break;
        }
        case 'N': out_ += padded(minute_, count >= 2 ? 2 : 1); break;
        case 'S': out_ += padded(second_, count >= 2 ? 2 : 1); break;
        case 'Z': out_ += padded(milliSecond_, count >= 2 ? 3 : 1); break;
        case 'T': Append(count == 1 ? settings_.ShortTimeFormat : settings_.LongTimeFormat, level + 1); break;
        case 'C':
          Append(settings_.ShortDateFormat, level + 1);
          if (hour_ != 0 || minute_ != 0 || second_ != 0 || milliSecond_ != 0) {
            out_ += ' ';
            Append(settings_.LongTimeFormat, level + 1);
          }
          break;
        case 'A':
          count = 1;
          if (startsWithNoCase(pattern, i, "AM/PM")) {
            out_.append(pattern.substr(hour_ >= 12 ? i + 3 : i, 2));
            count = 5;
          } else if (startsWithNoCase(pattern, i, "A/P")) {
            out_ += pattern[hour_ >= 12 ? i + 2 : i];
            count = 3;
          } else if (startsWithNoCase(pattern, i, "AMPM")) {
            out_ += hour_ >= 12 ? settings_.TimePMString : settings_.TimeAMString;
            count = 4;
          } else {
            out_ += starter;
          }
          break;
        case '/': out_ += settings_.DateSeparator; count = 1; break;
        case ':': out_ += settings_.TimeSeparator; count = 1; break;
        case '"':
        case '\'': {
          size_t close = pattern.find(starter, i + 1);
          if (close == std::string_view::npos) close = pattern.size();
          out_.append(pattern.substr(i + 1, close - i - 1));
          count = close + 1 - i;
          if (i + count > pattern.size()) count = pattern.size() - i;
          break;
        }
        default:
          out_ += starter;
          count = 1;
          break;
      }
      i += count;
    }
  }

  std::string Result() { return std::move(out_); }

 private:
  // An hour token uses the 12-hour clock when the next "a" outside quotes,
  // before any further hour token, starts an am/pm token.
  static bool TwelveHourClockAfter(std::string_view pattern, size_t pos) {
    bool quoted = false;
    for (size_t i = pos; i < pattern.size(); ++i) {
      char c = pattern[i];
      if (c == 'h' || c == 'H') return false;
      if (c == '"' || c == '\'') {
        quoted = !quoted;
      } else if ((c == 'a' || c == 'A') && !quoted) {
        return startsWithNoCase(pattern, i, "AM/PM") || startsWithNoCase(pattern, i, "A/P") ||
               startsWithNoCase(pattern, i, "AMPM");
      }
    }
    return false;
  }

  const TFormatSettings& settings_;
  Word year_ = 0, month_ = 0, day_ = 0, hour_ = 0, minute_ = 0, second_ = 0, milliSecond_ = 0;
  int dayOfWeek_ = 1;
  std::string out_;
};

// ---- parsing ----

enum class DateOrder { MDY, DMY, YMD };

DateOrder dateOrderOf(std::string_view shortDateFormat) {
  for (size_t i = 0; i < shortDateFormat.size(); ++i) {
    char c = upperAscii(shortDateFormat[i]);
    if (c == '"' || c == '\'') {
      size_t close = shortDateFormat.find(shortDateFormat[i], i + 1);
      if (close == std::string_view::npos) break;
      i = close;
    } else if (c == 'D') {
      return DateOrder::DMY;
    } else if (c == 'M') {
      return DateOrder::MDY;
    } else if (c == 'Y') {
      return DateOrder::YMD;
    }
  }
  return DateOrder::MDY;
}

class Scanner {
 public:
  Scanner(std::string_view text, const TFormatSettings& settings) : text_(text), settings_(settings) {}

  void Blanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool AtEnd() {
    Blanks();
    return pos_ >= text_.size();
  }
  // Up to four digits (anything longer is no date or time part).
  bool Number(int& value, int& digits) {
    Blanks();
    value = 0;
    digits = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (++digits > 4) return false;
      value = value * 10 + (text_[pos_++] - '0');
    }
    return digits > 0;
  }
  // The word (ignoring case) after optional blanks.
  bool Text(std::string_view word) {
    Blanks();
    if (word.empty() || !startsWithNoCase(text_, pos_, word)) return false;
    pos_ += word.size();
    return true;
  }

  bool ScanDate(TDateTime& value) {
    int n1, n2, n3, l1, l2, l3;
    if (!Number(n1, l1) || !Text(settings_.DateSeparator) || !Number(n2, l2)) return false;
    const DateOrder order = dateOrderOf(settings_.ShortDateFormat);
    int year, month, day, yearDigits;
    if (Text(settings_.DateSeparator)) {
      if (!Number(n3, l3)) return false;
      switch (order) {
        case DateOrder::MDY: month = n1, day = n2, year = n3, yearDigits = l3; break;
        case DateOrder::DMY: day = n1, month = n2, year = n3, yearDigits = l3; break;
        default: year = n1, yearDigits = l1, month = n2, day = n3; break;
      }
    } else {
      px::Word y, m, d;
      DecodeDate(px::Date(), y, m, d);
      year = y;
      yearDigits = 4;
      if (order == DateOrder::DMY)
        day = n1, month = n2;
      else
        month = n1, day = n2;
    }
    if (yearDigits <= 2) {
      px::Word currentYear, m, d;
      DecodeDate(px::Date(), currentYear, m, d);
      const int centuryBase = currentYear - settings_.TwoDigitYearCenturyWindow;
      year += centuryBase / 100 * 100;
      if (settings_.TwoDigitYearCenturyWindow > 0 && year < centuryBase) year += 100;
    }
    return TryEncodeDate(static_cast<px::Word>(year), static_cast<px::Word>(month), static_cast<px::Word>(day),
                         value);
  }

  // Returns 0 for AM, 12 for PM, -1 for neither.
  int AmPm() {
    if (Text(settings_.TimeAMString) || Text("AM")) return 0;
    if (Text(settings_.TimePMString) || Text("PM")) return 12;
    return -1;
  }

  bool ScanTime(TDateTime& value) {
    int baseHour = AmPm();
    int hour, minute = 0, second = 0, milliSecond = 0, digits;
    if (!Number(hour, digits)) return false;
    if (Text(settings_.TimeSeparator)) {
      if (!Number(minute, digits)) return false;
      if (Text(settings_.TimeSeparator)) {
        if (!Number(second, digits)) return false;
        if (Text(settings_.DecimalSeparator) && !Number(milliSecond, digits)) return false;
      }
    }
    if (baseHour < 0) baseHour = AmPm();
    if (baseHour >= 0) {
      if (hour == 0 || hour > 12) return false;
      hour = hour % 12 + baseHour;
    }
    return TryEncodeTime(static_cast<px::Word>(hour), static_cast<px::Word>(minute), static_cast<px::Word>(second),
                         static_cast<px::Word>(milliSecond), value);
  }

  size_t Position() const { return pos_; }
  void SetPosition(size_t pos) { pos_ = pos; }

 private:
  std::string_view text_;
  const TFormatSettings& settings_;
  size_t pos_ = 0;
};

[[noreturn]] void raiseInvalid(std::string_view text, const char* what) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings) {
  DateTimeWriter writer(value, settings);
  writer.Append(pattern.empty() ? std::string_view("c") : pattern);
  return writer.Result();
}
std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  return FormatDateTime(pattern, value, FormatSettings);
}

void DateTimeToString(std::string& result, std::string_view pattern, TDateTime value,
                      const TFormatSettings& settings) {
  result = FormatDateTime(pattern, value, settings);
}
void DateTimeToString(std::string& result, std::string_view pattern, TDateTime value) {
  result = FormatDateTime(pattern, value, FormatSettings);
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime(settings.ShortDateFormat, value, settings);
}
std::string DateToStr(TDateTime value) { return DateToStr(value, FormatSettings); }
std::string TimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime(settings.LongTimeFormat, value, settings);
}
std::string TimeToStr(TDateTime value) { return TimeToStr(value, FormatSettings); }
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("c", value, settings);
}
std::string DateTimeToStr(TDateTime value) { return DateTimeToStr(value, FormatSettings); }

namespace {

// The value of a scan over the whole text; `scanAll` reads a value and
// reports whether the text held nothing else.
template <class ScanFn>
bool scanWhole(std::string_view text, TDateTime& value, const TFormatSettings& settings, ScanFn scanAll) {
  Scanner scan(text, settings);
  TDateTime result = 0;
  if (!scanAll(scan, result)) return false;
  value = result;
  return true;
}

template <class TryFn>
TDateTime valueOrRaise(std::string_view text, const TFormatSettings& settings, TryFn tryConvert, const char* what) {
  TDateTime value = 0;
  if (!tryConvert(text, value, settings)) raiseInvalid(text, what);
  return value;
}

}  // namespace

bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return scanWhole(text, value, settings, [](Scanner& scan, TDateTime& v) { return scan.ScanDate(v) && scan.AtEnd(); });
}
bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return scanWhole(text, value, settings, [](Scanner& scan, TDateTime& v) { return scan.ScanTime(v) && scan.AtEnd(); });
}
bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  const bool both = scanWhole(text, value, settings, [](Scanner& scan, TDateTime& v) {
    TDateTime date, time = 0;
    if (!scan.ScanDate(date) || !(scan.AtEnd() || (scan.ScanTime(time) && scan.AtEnd()))) return false;
    // Before 1899-12-30 the fraction still counts forwards from midnight.
    v = date >= 0 ? date + time : date - time;
    return true;
  });
  return both || TryStrToTime(text, value, settings);
}
bool TryStrToDate(std::string_view text, TDateTime& value) { return TryStrToDate(text, value, FormatSettings); }
bool TryStrToTime(std::string_view text, TDateTime& value) { return TryStrToTime(text, value, FormatSettings); }
bool TryStrToDateTime(std::string_view text, TDateTime& value) {
  return TryStrToDateTime(text, value, FormatSettings);
}

TDateTime StrToDate(std::string_view text, const TFormatSettings& settings) {
  return valueOrRaise(text, settings, [](auto t, TDateTime& v, auto& s) { return TryStrToDate(t, v, s); }, "date");
}
TDateTime StrToTime(std::string_view text, const TFormatSettings& settings) {
  return valueOrRaise(text, settings, [](auto t, TDateTime& v, auto& s) { return TryStrToTime(t, v, s); }, "time");
}
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings) {
  return valueOrRaise(text, settings, [](auto t, TDateTime& v, auto& s) { return TryStrToDateTime(t, v, s); },
                      "date and time");
}
TDateTime StrToDate(std::string_view text) { return StrToDate(text, FormatSettings); }
TDateTime StrToTime(std::string_view text) { return StrToTime(text, FormatSettings); }
TDateTime StrToDateTime(std::string_view text) { return StrToDateTime(text, FormatSettings); }

TDateTime StrToDateDef(std::string_view text, TDateTime defaultValue) {
  TDateTime value;
  return TryStrToDate(text, value) ? value : defaultValue;
}

}  // namespace px
