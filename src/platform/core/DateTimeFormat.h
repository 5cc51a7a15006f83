#pragma once
// Date and time texts: FormatDateTime patterns and the short-format parsers.
//
// Pattern tokens (letters in any case): c (short date, then the long time
// unless midnight), d dd (day), ddd dddd (short/long day name), ddddd dddddd
// (short/long date format), m mm (month, or minute right after an hour
// token), mmm mmmm (short/long month name), yy yyyy (year), h hh (hour; 12-hour
// clock when an am/pm token follows), n nn (minute), s ss (second), z zzz
// (millisecond), t tt (short/long time format), am/pm a/p (in the case
// written), ampm (TimeAMString/TimePMString), / (DateSeparator), :
// (TimeSeparator), "text" and 'text' literally; any other character is copied.
#include <string>
#include <string_view>

#include "platform/core/FormatSettings.h"
#include "platform/core/Types.h"

namespace px {

std::string FormatDateTime(std::string_view pattern, TDateTime value);
std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings);
// An empty pattern means "c".
void DateTimeToString(std::string& result, std::string_view pattern, TDateTime value);
void DateTimeToString(std::string& result, std::string_view pattern, TDateTime value,
                      const TFormatSettings& settings);

std::string DateToStr(TDateTime value);
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);
std::string DateTimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);

// Dates are read as two or three numbers separated by DateSeparator, in the
// order of ShortDateFormat (two numbers: day and month of the current year);
// years of one or two digits fall into TwoDigitYearCenturyWindow. Times are
// hours[:minutes[:seconds[.milliseconds]]] with an optional AM/PM before or
// after. Failures raise EConvertError "'<text>' is not a valid date", "...
// valid time" or "... valid date and time".
TDateTime StrToDate(std::string_view text);
TDateTime StrToDate(std::string_view text, const TFormatSettings& settings);
bool TryStrToDate(std::string_view text, TDateTime& value);
bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDateDef(std::string_view text, TDateTime defaultValue);
TDateTime StrToTime(std::string_view text);
TDateTime StrToTime(std::string_view text, const TFormatSettings& settings);
bool TryStrToTime(std::string_view text, TDateTime& value);
bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);
// A date, optionally followed by a time; or a time alone (on day 0).
TDateTime StrToDateTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings);
bool TryStrToDateTime(std::string_view text, TDateTime& value);
bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);

}  // namespace px
