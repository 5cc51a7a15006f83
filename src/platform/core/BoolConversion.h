#pragma once
// Text to Boolean and back, as the class library converts them: a number is
// true when it is not zero, otherwise "True" and "False" in any case.
#include <string>
#include <string_view>

namespace px {

bool TryStrToBool(std::string_view text, bool& value);
bool StrToBoolDef(std::string_view text, bool defaultValue);
// "True"/"False" with useBoolStrs, else "-1"/"0".
std::string BoolToStr(bool value, bool useBoolStrs = false);

}  // namespace px
