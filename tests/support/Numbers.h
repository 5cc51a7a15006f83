#pragma once
// Numbers in the output of peers and of our tools, and the locale that shows
// which code still reads or writes them through the C library.
//
// The C library's numeric conversions under a locale that writes decimal
// commas, as the program's users have it: the toolkit sets the locale from the
// environment, so code that formats or parses numbers through the C library
// changes with it. A test that must show such a fault puts this guard around
// the code it runs; the locale in effect before comes back at its end.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <string_view>

#include "platform/core/NumberConversion.h"

namespace px::test {

class CommaLocale {
 public:
  // LC_NUMERIC of de_DE.UTF-8 (or nl_NL.UTF-8); the setup script makes both
  // available. A machine without them fails the test rather than passing it
  // with a point.
  CommaLocale() {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    previous_ = current ? current : "C";
    for (const char* name : {"de_DE.UTF-8", "nl_NL.UTF-8"})
      if (std::setlocale(LC_NUMERIC, name)) break;
    const lconv* conv = std::localeconv();
    active_ = conv && std::string(conv->decimal_point) == ",";
    EXPECT_TRUE(active_) << "no locale with a decimal comma is installed (scripts/setup makes de_DE.UTF-8)";
  }
  ~CommaLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  bool Active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};

// A number that a peer or one of our tools printed ("12.5", "-3e-05"): with
// a point whatever the locale. Anything else fails the test and gives 0.
inline double PeerNumber(std::string_view text) {
  double value = 0;
  EXPECT_TRUE(TryInvariantStrToFloat(text, value)) << "not a number: \"" << text << '"';
  return value;
}

}  // namespace px::test
