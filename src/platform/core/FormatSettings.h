#pragma once
// Locale settings that steer number, currency and date/time texts. Every
// conversion function has an overload taking explicit settings; the ones
// without use the global FormatSettings.
#include <array>
#include <string>

#include "platform/core/Types.h"

namespace px {

struct TFormatSettings {
  // Separators are strings so that any character of a locale fits (UTF-8);
  // an empty ThousandSeparator means no grouping.
  std::string DecimalSeparator;
  std::string ThousandSeparator;
  std::string CurrencyString;
  // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  Byte CurrencyFormat = 0;
  // 0 "($1)" ... 15 "(1 $)", in the order of the class library.
  Byte NegCurrFormat = 0;
  Byte CurrencyDecimals = 2;
  std::string DateSeparator;
  std::string TimeSeparator;
  std::string ListSeparator;
  std::string ShortDateFormat;
  std::string LongDateFormat;
  std::string ShortTimeFormat;
  std::string LongTimeFormat;
  std::string TimeAMString;
  std::string TimePMString;
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  // Sunday first.
  std::array<std::string, 7> ShortDayNames;
  std::array<std::string, 7> LongDayNames;
  // Two-digit years fall into the window of this many years before now.
  Word TwoDigitYearCenturyWindow = 50;
};

// The settings of locale 1033 (English, United States).
TFormatSettings DefaultFormatSettings();

// The settings used by the overloads without a settings argument. Change it
// only while no other thread formats text.
extern TFormatSettings FormatSettings;

}  // namespace px
