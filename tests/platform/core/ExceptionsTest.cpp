#include <gtest/gtest.h>

#include "platform/core/Exceptions.h"

using namespace px;

TEST(Assert, RaisesWithMessageFileAndLine) {
  try {
    Assert(1 + 1 == 3, "arithmetic broke");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), "arithmetic broke");
    EXPECT_NE(e.File().find("ExceptionsTest.cpp"), std::string::npos);
    EXPECT_EQ(e.Line(), __LINE__ - 5);
    EXPECT_EQ(e.Message(), "arithmetic broke (" + e.File() + ", line " + std::to_string(e.Line()) + ")");
  }
  EXPECT_NO_THROW(Assert(true, "fine"));
}

TEST(Exceptions, HierarchyCatchesByBase) {
  EXPECT_THROW(throw EFOpenError("x"), EStreamError);
  EXPECT_THROW(throw EZeroDivide("x"), EMathError);
  try {
    RaiseOSError(2, "open");
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 2);
    EXPECT_NE(e.Message().find("open: "), std::string::npos);
  }
}
