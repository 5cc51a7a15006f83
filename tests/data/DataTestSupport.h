#pragma once
// Helpers shared by the data tests.
#include <functional>
#include <string>

#include "platform/core/Exceptions.h"

namespace px::test {

// The message of the Exception the call raises, or "(no error)" when it
// raises none.
inline std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

}  // namespace px::test
