#include <gtest/gtest.h>

#include "platform/core/Exceptions.h"
#include "platform/core/Variant.h"

namespace px {
namespace {

TEST(Variant, TypesAndPayloads) {
  EXPECT_TRUE(TVariant().IsEmpty());
  EXPECT_TRUE(TVariant::Null().IsNull());
  EXPECT_EQ(varSmallint, TVariant::FromSmallint(-3).VarType());
  EXPECT_EQ(-3, TVariant::FromSmallint(-3).AsInt64());
  EXPECT_EQ(varLongWord, TVariant::FromLongWord(4000000000u).VarType());
  EXPECT_EQ(4000000000LL, TVariant::FromLongWord(4000000000u).AsInt64());
  EXPECT_EQ(-1, TVariant::FromBoolean(true).AsInt64());
  EXPECT_DOUBLE_EQ(0.5, TVariant::FromDate(0.5).AsDouble());
  EXPECT_EQ(Currency::FromRaw(12345), TVariant::FromCurrency(Currency::FromRaw(12345)).AsCurrency());
  EXPECT_EQ("ab", TVariant::FromString("ab").AsString());
  EXPECT_EQ(u"ab", TVariant::FromUString(u"ab").AsUString());
  TVariant bytes = TVariant::FromBytes({1, 2, 3});
  EXPECT_EQ(varByteArray, bytes.VarType());
  EXPECT_EQ(3u, bytes.AsBytes().size());
  EXPECT_THROW(bytes.AsInt64(), EVariantTypeCastError);
  EXPECT_THROW(TVariant::Null().AsString(), EVariantTypeCastError);
}

}  // namespace
}  // namespace px
