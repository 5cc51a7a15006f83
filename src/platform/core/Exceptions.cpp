#include "platform/core/Exceptions.h"

#include <cerrno>
#include <cstring>

namespace px {

EAssertionFailed::EAssertionFailed(std::string message, std::string file, int line)
    : Exception(message + " (" + file + ", line " + std::to_string(line) + ")"),
      assertMessage_(std::move(message)),
      file_(std::move(file)),
      line_(line) {}

void RaiseOSError(int errorCode, std::string_view what) {
  char buffer[256];
  const char* text = strerror_r(errorCode, buffer, sizeof buffer);
  std::string message = "System Error.  Code: " + std::to_string(errorCode) + ".\n" + text;
  if (!what.empty()) message = std::string(what) + ": " + message;
  throw EOSError(std::move(message), errorCode);
}

void RaiseLastOSError(std::string_view what) { RaiseOSError(errno, what); }

}  // namespace px
