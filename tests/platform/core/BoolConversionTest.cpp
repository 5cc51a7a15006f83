#include <gtest/gtest.h>

#include "platform/core/BoolConversion.h"

namespace px {
namespace {

TEST(BoolConversion, TextAndNumbers) {
  struct Case {
    const char* text;
    bool ok;
    bool value;
  } cases[] = {{"True", true, true}, {"tRUE", true, true}, {"false", true, false}, {"0", true, false},
               {"-1", true, true},   {"0.5", true, true},  {"", false, false},     {"yes", false, false},
               {" True", false, false}};
  for (const auto& c : cases) {
    bool v = !c.value;
    EXPECT_EQ(TryStrToBool(c.text, v), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(v, c.value) << c.text;
    EXPECT_EQ(StrToBoolDef(c.text, true), c.ok ? c.value : true) << c.text;
  }
  EXPECT_EQ(BoolToStr(true), "-1");
  EXPECT_EQ(BoolToStr(false, true), "False");
}

}  // namespace
}  // namespace px
