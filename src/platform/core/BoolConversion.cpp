#include "platform/core/BoolConversion.h"

#include "platform/core/CodePages.h"
#include "platform/core/NumberConversion.h"

namespace px {

bool TryStrToBool(std::string_view text, bool& value) {
  double number;
  if (TryStrToFloat(text, number)) {
    value = number != 0;
    return true;
  }
  if (AnsiSameText(text, "True")) {
    value = true;
    return true;
  }
  if (AnsiSameText(text, "False")) {
    value = false;
    return true;
  }
  return false;
}

bool StrToBoolDef(std::string_view text, bool defaultValue) {
  bool value;
  return TryStrToBool(text, value) ? value : defaultValue;
}

std::string BoolToStr(bool value, bool useBoolStrs) {
  if (useBoolStrs) return value ? "True" : "False";
  return value ? "-1" : "0";
}

}  // namespace px
