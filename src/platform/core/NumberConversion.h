#pragma once
// Conversions between numbers and text with the class library's rules:
// integers (decimal and "$"/"0x" hexadecimal), floating-point values and
// Currency, in the fixed formats of TFloatFormat and in FormatFloat patterns.
// Floating-point values are converted from their exact binary value; ties on
// the last kept digit round away from zero.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/Currency.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/Types.h"

namespace px {

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// Decimal form of a number: the value is 0.Digits × 10^Exponent. Digits holds
// no trailing zeros; it is empty for zero (Exponent 0).
struct TFloatRec {
  int Exponent = 0;
  bool Negative = false;
  bool Nan = false;
  bool Infinite = false;
  std::string Digits;
};

// Rounds to at most `precision` significant digits and at most `decimals`
// digits after the decimal point. A value that rounds to zero is not negative.
TFloatRec FloatToDecimal(double value, int precision, int decimals);
TFloatRec CurrToDecimal(Currency value, int precision, int decimals);

std::string IntToStr(int32_t value);
std::string IntToStr(int64_t value);
std::string UIntToStr(uint32_t value);
std::string UIntToStr(uint64_t value);
// Upper-case hexadecimal with at least `digits` digits; negative values show
// their two's complement at the width of the argument.
std::string IntToHex(int32_t value, int digits);
std::string IntToHex(int64_t value, int digits);
std::string IntToHex(uint32_t value, int digits);
std::string IntToHex(uint64_t value, int digits);

// Leading blanks, a sign, and "$", "0x" or "0X" for hexadecimal are accepted.
// Hexadecimal text may use the full width of the type (StrToInt("$FFFFFFFF")
// is -1). Raise EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);
int32_t StrToIntDef(std::string_view text, int32_t defaultValue);
int64_t StrToInt64Def(std::string_view text, int64_t defaultValue);
bool TryStrToInt(std::string_view text, int32_t& value);
bool TryStrToInt64(std::string_view text, int64_t& value);

// An optional sign, digits with the settings' decimal separator, an optional
// exponent; leading and trailing blanks are ignored; "INF", "-INF" and "NAN"
// are read back. Values beyond the range of a double are errors, values too
// small become zero. Raise EConvertError "'<text>' is not a valid floating
// point value".
double StrToFloat(std::string_view text);
double StrToFloat(std::string_view text, const TFormatSettings& settings);
double StrToFloatDef(std::string_view text, double defaultValue);
double StrToFloatDef(std::string_view text, double defaultValue, const TFormatSettings& settings);
bool TryStrToFloat(std::string_view text, double& value);
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings);

// Same syntax as StrToFloat; the decimal text is converted exactly and
// rounded to four decimals, halves to even.
Currency StrToCurr(std::string_view text);
Currency StrToCurr(std::string_view text, const TFormatSettings& settings);
Currency StrToCurrDef(std::string_view text, Currency defaultValue);
Currency StrToCurrDef(std::string_view text, Currency defaultValue, const TFormatSettings& settings);
bool TryStrToCurr(std::string_view text, Currency& value);
bool TryStrToCurr(std::string_view text, Currency& value, const TFormatSettings& settings);

// ffGeneral with 15 digits.
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& settings);
// precision: significant digits (1..18). digits: for ffGeneral and ffExponent
// the minimum number of exponent digits (0..4), for the other formats the
// number of decimals (0..18). NaN and infinities give "NAN", "INF", "-INF".
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);

std::string CurrToStr(Currency value);
std::string CurrToStr(Currency value, const TFormatSettings& settings);
std::string CurrToStrF(Currency value, TFloatFormat format, int digits);
std::string CurrToStrF(Currency value, TFloatFormat format, int digits, const TFormatSettings& settings);

// Pattern of up to three sections "positive;negative;zero" made of "0"
// (digit), "#" (optional digit), "." (decimal separator), "," (thousands
// grouping), "E+", "E-", "e+", "e-" (exponent) and quoted or plain text.
std::string FormatFloat(std::string_view pattern, double value);
std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& settings);
std::string FormatCurr(std::string_view pattern, Currency value);
std::string FormatCurr(std::string_view pattern, Currency value, const TFormatSettings& settings);

// Numbers in files, formats, protocols and outputs that programs read: "." as
// the decimal point and no grouping, whatever the user's locale. The C
// library's conversions (printf's %f/%g/%e, strtod, stod, atof, sscanf) follow
// LC_NUMERIC, which the program's toolkit sets from the environment, so under
// a locale with decimal commas they write and read "0,5"; the settings-based
// conversions above follow the user's formats. Use these two instead.
//
// Without `decimals` (or with a negative value): the shortest text that reads
// back as the same double ("0.1", "1e+20"). With `decimals` >= 0: exactly
// what printf's "%.<decimals>f" writes in the C locale ("0.502", "-0.000").
// NaN and infinities give "nan", "inf" and "-inf".
std::string InvariantFloatToStr(double value, int decimals = -1);
// The whole text must be an optional sign, digits with an optional "." and an
// optional exponent ("-.5", "+1E3", "7."); blanks, hexadecimal, "inf" and
// "nan" are refused. Values beyond the range of a double are refused, values
// too small become zero. On failure `value` is left as it was.
bool TryInvariantStrToFloat(std::string_view text, double& value);

}  // namespace px
