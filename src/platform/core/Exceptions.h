#pragma once
// Exception hierarchy. Every exception carries a message text; the named
// classes mirror the class library's so that callers can catch what the
// library would raise.
#include <stdexcept>
#include <string>
#include <string_view>

namespace px {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

#define PX_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  }

PX_DECLARE_EXCEPTION(EAbort, Exception);
PX_DECLARE_EXCEPTION(EConvertError, Exception);
PX_DECLARE_EXCEPTION(EArgumentException, Exception);
PX_DECLARE_EXCEPTION(EArgumentOutOfRangeException, EArgumentException);
PX_DECLARE_EXCEPTION(ENotSupportedException, Exception);
PX_DECLARE_EXCEPTION(ENotImplemented, Exception);
PX_DECLARE_EXCEPTION(EInvalidOperation, Exception);
PX_DECLARE_EXCEPTION(EInvalidPointer, Exception);
PX_DECLARE_EXCEPTION(EInvalidCast, Exception);
PX_DECLARE_EXCEPTION(EOutOfMemory, Exception);
PX_DECLARE_EXCEPTION(EExternal, Exception);
PX_DECLARE_EXCEPTION(EAccessViolation, EExternal);
PX_DECLARE_EXCEPTION(EIntError, EExternal);
PX_DECLARE_EXCEPTION(EDivByZero, EIntError);
PX_DECLARE_EXCEPTION(ERangeError, EIntError);
PX_DECLARE_EXCEPTION(EIntOverflow, EIntError);
PX_DECLARE_EXCEPTION(EMathError, EExternal);
PX_DECLARE_EXCEPTION(EInvalidOp, EMathError);
PX_DECLARE_EXCEPTION(EZeroDivide, EMathError);
PX_DECLARE_EXCEPTION(EOverflow, EMathError);
PX_DECLARE_EXCEPTION(EUnderflow, EMathError);
PX_DECLARE_EXCEPTION(EStreamError, Exception);
PX_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
PX_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);
PX_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);
PX_DECLARE_EXCEPTION(EFilerError, EStreamError);
PX_DECLARE_EXCEPTION(EReadError, EFilerError);
PX_DECLARE_EXCEPTION(EWriteError, EFilerError);
PX_DECLARE_EXCEPTION(EListError, Exception);
PX_DECLARE_EXCEPTION(EStringListError, Exception);
PX_DECLARE_EXCEPTION(EComponentError, Exception);
PX_DECLARE_EXCEPTION(EThread, Exception);
PX_DECLARE_EXCEPTION(EIniFileException, Exception);
PX_DECLARE_EXCEPTION(ERegistryException, Exception);
PX_DECLARE_EXCEPTION(EEncodingError, Exception);
PX_DECLARE_EXCEPTION(EVariantError, Exception);
PX_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError);
PX_DECLARE_EXCEPTION(EPNGException, Exception);

// Raised by a failed operating-system call; ErrorCode is the errno value.
class EOSError : public Exception {
 public:
  EOSError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Raises EOSError for errno (or the given code) with the text of strerror,
// prefixed with what was being done when it is not empty.
[[noreturn]] void RaiseLastOSError(std::string_view what = {});
[[noreturn]] void RaiseOSError(int errorCode, std::string_view what = {});

// Raised by Assert. The message reads "<message> (<file>, line <n>)".
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(std::string message, std::string file, int line);
  const std::string& AssertMessage() const noexcept { return assertMessage_; }
  const std::string& File() const noexcept { return file_; }
  int Line() const noexcept { return line_; }

 private:
  std::string assertMessage_;
  std::string file_;
  int line_;
};

// Internal consistency check: raises EAssertionFailed with the message, the
// source file and the line of the caller when the condition is false. The
// caller's place comes from the compiler builtins rather than
// std::source_location, which the clang of the fuzz build cannot compile.
inline void Assert(bool condition, std::string_view message = "Assertion failure",
                   const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (!condition) throw EAssertionFailed(std::string(message), file, line);
}

}  // namespace px
