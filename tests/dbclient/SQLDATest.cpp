#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "dbclient/dbclibSQLDA.h"
#include "platform/core/NumberConversion.h"

namespace px {
namespace {

// A one-column area whose buffer and indicator live in the fixture.
class Column {
 public:
  Column(int type, int len, int scale = 0, TCharacterSet cs = csWIN1252, int subtype = 0) : da(cs) {
    da.SetAllocatedFields(1);
    XSQLVAR& v = da.Var(0);
    std::memset(&v, 0, sizeof v);
    v.sqltype = static_cast<ISC_SHORT>(type | 1);
    v.sqllen = static_cast<ISC_SHORT>(len);
    v.sqlscale = static_cast<ISC_SHORT>(scale);
    v.sqlsubtype = static_cast<ISC_SHORT>(subtype);
    // Text setters replace the buffer, so it is malloc'ed as the area expects.
    v.sqldata = static_cast<char*>(std::calloc(1, static_cast<size_t>(len) + 2));
    v.sqlind = &indicator;
  }
  ~Column() { std::free(da.Var(0).sqldata); }
  template <class T>
  void put(T value) {
    std::memcpy(da.Var(0).sqldata, &value, sizeof value);
    indicator = 0;
  }
  template <class T>
  T stored() const {
    T value;
    std::memcpy(&value, da.Var(0).sqldata, sizeof value);
    return value;
  }
  TSQLDA da;
  ISC_SHORT indicator = -1;
};

TEST(TypedValues, ScaledNumericReads) {
  struct Case {
    int type, len, scale;
    int64_t stored;
    double asDouble;
    int64_t asInt64;
    int64_t currencyRaw;
    const char* asString;
  } cases[] = {
      {SQL_LONG, 4, -2, 12345, 123.45, 123, 1234500, "123.45"},
      {SQL_LONG, 4, -2, 12300, 123.0, 123, 1230000, "123.0"},
      {SQL_LONG, 4, -2, -5, -0.05, 0, -500, "-0.05"},
      {SQL_LONG, 4, -2, -199, -1.99, -1, -19900, "-1.99"},
      {SQL_LONG, 4, -1, 2000000000, 200000000.0, 200000000, 2000000000000LL, "200000000.0"},
      {SQL_SHORT, 2, -3, -32768, -32.768, -32, -327680, "-32.768"},
      {SQL_INT64, 8, -4, 123456789012345678LL, 12345678901234.5678, 12345678901234, 123456789012345678LL,
       "12345678901234.5678"},
      {SQL_INT64, 8, -6, 1234567, 1.234567, 1, 12345, "1.234567"},
      {SQL_INT64, 8, -15, 1, 1e-15, 0, 0, "0.000000000000001"},
  };
  for (const Case& c : cases) {
    Column col(c.type, c.len, c.scale);
    if (c.type == SQL_SHORT) col.put(static_cast<int16_t>(c.stored));
    else if (c.type == SQL_LONG) col.put(static_cast<int32_t>(c.stored));
    else col.put(c.stored);
    EXPECT_EQ(uftNumeric, col.da.GetFieldType(0));
    EXPECT_DOUBLE_EQ(c.asDouble, col.da.GetAsDouble(0)) << c.stored;
    EXPECT_EQ(c.asInt64, col.da.GetAsInt64(0)) << c.stored;
    EXPECT_EQ(c.currencyRaw, col.da.GetAsCurrency(0).Raw()) << c.stored;
    EXPECT_EQ(c.asString, col.da.GetAsString(0)) << c.stored;
    EXPECT_EQ(c.asInt64 != 0, col.da.GetAsBoolean(0));
  }
}

TEST(TypedValues, ScaledNumericWrites) {
  Column n92(SQL_LONG, 4, -2);
  n92.da.SetAsDouble(0, 1.375);
  EXPECT_EQ(138, n92.stored<int32_t>());  // 137.5 rounds to even
  n92.da.SetAsString(0, "1.375");
  EXPECT_EQ(137, n92.stored<int32_t>());  // extra digits are cut
  n92.da.SetAsString(0, "1.15");
  EXPECT_EQ(115, n92.stored<int32_t>());  // exact, not 114.999...
  n92.da.SetAsString(0, "-0.019");
  EXPECT_EQ(-1, n92.stored<int32_t>());
  n92.da.SetAsString(0, " 2.5E1 ");
  EXPECT_EQ(2500, n92.stored<int32_t>());
  EXPECT_THROW(n92.da.SetAsString(0, "1.2.3"), EConvertError);
  n92.da.SetAsInteger(0, 7);
  EXPECT_EQ(700, n92.stored<int32_t>());
  n92.da.SetAsCurrency(0, Currency::FromRaw(12345));  // 1.2345
  EXPECT_EQ(123, n92.stored<int32_t>());
  EXPECT_THROW(n92.da.SetAsInteger(0, 30000000), EDBCConvertError);  // would wrap at 32 bits
  EXPECT_EQ(0, n92.indicator);

  Column n184(SQL_INT64, 8, -4);
  n184.da.SetAsCurrency(0, Currency::FromRaw(922337203685477LL));
  EXPECT_EQ(922337203685477LL, n184.stored<int64_t>());
  n184.da.SetAsString(0, "12345678901234.56789");
  EXPECT_EQ(123456789012345678LL, n184.stored<int64_t>());
  EXPECT_EQ("12345678901234.5678", n184.da.GetAsString(0));
  EXPECT_THROW(n184.da.SetAsString(0, "99999999999999999"), EDBCConvertError);

  Column n182(SQL_INT64, 8, -2);
  n182.da.SetAsCurrency(0, Currency::FromRaw(-12399));  // -1.2399: truncated
  EXPECT_EQ(-123, n182.stored<int64_t>());
  Column n186(SQL_INT64, 8, -6);
  n186.da.SetAsCurrency(0, Currency::FromRaw(12345));
  EXPECT_EQ(1234500, n186.stored<int64_t>());

  Column scaledDouble(SQL_DOUBLE, 8, -2);
  scaledDouble.da.SetAsString(0, "1.5");
  EXPECT_DOUBLE_EQ(1.5, scaledDouble.stored<double>());
  EXPECT_EQ("1.5", scaledDouble.da.GetAsString(0));
  EXPECT_EQ(uftDoublePrecision, scaledDouble.da.GetFieldType(0));

  Column scaledText(SQL_TEXT, 4, -2);
  scaledText.indicator = 0;
  try {
    scaledText.da.GetAsInteger(0);
    FAIL();
  } catch (const EDBCConvertError& e) {
    EXPECT_EQ("Unexpected error.", e.Message());
  }
}

TEST(TypedValues, DatesAndTimes) {
  Column ts(SQL_TIMESTAMP, 8);
  ts.put(ISC_TIMESTAMP{15018, 432000000});
  EXPECT_DOUBLE_EQ(0.5, ts.da.GetAsDateTime(0));
  EXPECT_EQ(0, ts.da.GetAsInteger(0));
  EXPECT_EQ(432000000u, ts.da.GetAsTime(0));
  EXPECT_EQ(5000, ts.da.GetAsCurrency(0).Raw());
  EXPECT_THROW(ts.da.GetAsBoolean(0), EDBCConvertError);
  // Before 1899-12-30 the fraction still counts forwards from midnight.
  ts.da.SetAsDateTime(0, -1.25);
  EXPECT_EQ(15017, ts.stored<ISC_TIMESTAMP>().timestamp_date);
  EXPECT_EQ(216000000u, ts.stored<ISC_TIMESTAMP>().timestamp_time);
  EXPECT_DOUBLE_EQ(-1.25, ts.da.GetAsDateTime(0));
  // A time that rounds up to 24:00 belongs to the next day.
  ts.da.SetAsDateTime(0, 45000.99999999999);
  EXPECT_EQ(45001 + DateOffset, ts.stored<ISC_TIMESTAMP>().timestamp_date);
  EXPECT_EQ(0u, ts.stored<ISC_TIMESTAMP>().timestamp_time);
  ts.da.SetAsDate(0, 3);
  EXPECT_EQ(DateOffset + 3, ts.stored<ISC_TIMESTAMP>().timestamp_date);
  EXPECT_EQ(0u, ts.stored<ISC_TIMESTAMP>().timestamp_time);
  ts.da.SetAsTime(0, 5);
  EXPECT_EQ(DateOffset, ts.stored<ISC_TIMESTAMP>().timestamp_date);
  EXPECT_EQ(5u, ts.stored<ISC_TIMESTAMP>().timestamp_time);
  EXPECT_THROW(ts.da.SetAsBoolean(0, true), EDBCConvertError);

  Column date(SQL_TYPE_DATE, 4);
  date.da.SetAsInteger(0, 7);
  EXPECT_EQ(15025, date.stored<int32_t>());
  EXPECT_EQ(7, date.da.GetAsDate(0));
  EXPECT_DOUBLE_EQ(7.0, date.da.GetAsDateTime(0));
  EXPECT_EQ(0u, date.da.GetAsTime(0));
  date.da.SetAsDateTime(0, 7.75);
  EXPECT_EQ(15025, date.stored<int32_t>());

  // Texts follow the format settings (the default ones here).
  ts.da.SetAsDateTime(0, 45000.5);
  EXPECT_EQ("3/15/2023 12:00:00 PM", ts.da.GetAsString(0));
  ts.da.SetAsString(0, "3/15/2023 6:00:00 AM");
  EXPECT_DOUBLE_EQ(45000.25, ts.da.GetAsDateTime(0));
  date.da.SetAsDate(0, 45000);
  EXPECT_EQ("3/15/2023", date.da.GetAsString(0));
  date.da.SetAsString(0, "3/16/2023");
  EXPECT_EQ(45001, date.da.GetAsDate(0));

  Column time(SQL_TYPE_TIME, 4);
  time.da.SetAsInteger(0, 7);
  EXPECT_EQ(0u, time.stored<uint32_t>());
  time.put(static_cast<uint32_t>(216000000));
  EXPECT_EQ(0, time.da.GetAsInteger(0));
  EXPECT_DOUBLE_EQ(0.25, time.da.GetAsDouble(0));
  time.da.SetAsDateTime(0, 0.99999999999);
  EXPECT_EQ(0u, time.stored<uint32_t>());  // midnight, never 24:00
  time.da.SetAsDouble(0, -3.5);
  EXPECT_EQ(432000000u, time.stored<uint32_t>());
  EXPECT_EQ("12:00:00 PM", time.da.GetAsString(0));
  time.da.SetAsString(0, "6:00:00 AM");
  EXPECT_EQ(216000000u, time.stored<uint32_t>());
}

// Day numbers are 32-bit: values whose day number would not fit, and
// values that are no number at all, are refused instead of wrapping.
TEST(TypedValues, DatesBeyondTheDayRangeAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Column ts(SQL_TIMESTAMP, 8);
  EXPECT_THROW(ts.da.SetAsInteger(0, 2147483647), EDBCConvertError);
  EXPECT_THROW(ts.da.SetAsDate(0, 2147483647 - DateOffset + 1), EDBCConvertError);
  EXPECT_THROW(ts.da.SetAsDateTime(0, 1e15), EDBCConvertError);
  EXPECT_THROW(ts.da.SetAsDateTime(0, -1e15), EDBCConvertError);
  EXPECT_THROW(ts.da.SetAsDateTime(0, 2147483648.0 - DateOffset + 0.5), EDBCConvertError);
  EXPECT_THROW(ts.da.SetAsDouble(0, nan), EDBCConvertError);
  EXPECT_THROW(ts.da.SetAsDouble(0, inf), EDBCConvertError);
  ts.da.SetAsDate(0, 2147483647 - DateOffset);
  EXPECT_EQ(2147483647, ts.stored<ISC_TIMESTAMP>().timestamp_date);
  ts.da.SetAsDateTime(0, -2147483648.0 - DateOffset - 0.5);
  EXPECT_EQ(-2147483647 - 1, ts.stored<ISC_TIMESTAMP>().timestamp_date);

  Column date(SQL_TYPE_DATE, 4);
  EXPECT_THROW(date.da.SetAsInt64(0, std::numeric_limits<int64_t>::max()), EDBCConvertError);
  EXPECT_THROW(date.da.SetAsInteger(0, 2147483647), EDBCConvertError);
  EXPECT_THROW(date.da.SetAsDouble(0, nan), EDBCConvertError);

  Column time(SQL_TYPE_TIME, 4);
  EXPECT_THROW(time.da.SetAsDouble(0, nan), EDBCConvertError);
  EXPECT_THROW(time.da.SetAsDouble(0, inf), EDBCConvertError);
  time.da.SetAsDouble(0, 1e15 + 0.5);  // a huge day still has its time of day
  EXPECT_EQ(432000000u, time.stored<uint32_t>());
}

TEST(TypedValues, IntegersFloatsAndNarrowing) {
  Column big(SQL_INT64, 8);
  big.put(static_cast<int64_t>(5000000000LL));
  EXPECT_EQ(5000000000LL, big.da.GetAsInt64(0));
  EXPECT_EQ("5000000000", big.da.GetAsString(0));
  try {
    big.da.GetAsInteger(0);
    FAIL() << "narrowed silently";
  } catch (const EDBCConvertError&) {
  }
  EXPECT_THROW(big.da.GetAsSmallint(0), EDBCConvertError);
  EXPECT_EQ(uftInt64, big.da.GetFieldType(0));
  ISC_QUAD q = big.da.GetAsQuad(0);
  EXPECT_EQ(0, std::memcmp(&q, big.da.Var(0).sqldata, 8));

  Column shortCol(SQL_SHORT, 2);
  EXPECT_THROW(shortCol.da.SetAsInteger(0, 40000), EDBCConvertError);
  shortCol.da.SetAsDouble(0, -2.9);
  EXPECT_EQ(-2, shortCol.stored<int16_t>());
  shortCol.da.SetAsBoolean(0, true);
  EXPECT_EQ(1, shortCol.stored<int16_t>());
  shortCol.da.SetAsString(0, "123");
  EXPECT_EQ(123, shortCol.da.GetAsSmallint(0));
  EXPECT_EQ(1230000, shortCol.da.GetAsCurrency(0).Raw());
  EXPECT_THROW(shortCol.da.GetAsQuad(0), EDBCConvertError);

  Column dbl(SQL_DOUBLE, 8);
  dbl.da.SetAsString(0, "2.5");
  EXPECT_EQ(2, dbl.da.GetAsInteger(0));
  EXPECT_EQ(25000, dbl.da.GetAsCurrency(0).Raw());
  EXPECT_EQ("2.5", dbl.da.GetAsString(0));
  dbl.da.SetAsDouble(0, 1e30);
  EXPECT_THROW(dbl.da.GetAsInt64(0), EDBCConvertError);

  Column text(SQL_VARYING, 10);
  text.da.SetAsInteger(0, 42);
  EXPECT_EQ("42", text.da.GetAsString(0));
  EXPECT_EQ(42, text.da.GetAsInteger(0));
  EXPECT_TRUE(text.da.GetAsBoolean(0));
  text.da.SetAsString(0, "abc");
  EXPECT_THROW(text.da.GetAsInteger(0), EConvertError);

  Column blob(SQL_BLOB, 8);
  blob.indicator = 0;
  try {
    blob.da.GetAsInteger(0);
    FAIL();
  } catch (const EDBCConvertError& e) {
    EXPECT_EQ("Cast error.", e.Message());
  }
  EXPECT_THROW(blob.da.SetAsInteger(0, 1), EDBCConvertError);
  blob.da.SetAsQuad(0, ISC_QUAD{0, 0});
  EXPECT_TRUE(blob.da.GetIsNull(0));
  blob.da.SetAsQuad(0, ISC_QUAD{1, 2});
  EXPECT_FALSE(blob.da.GetIsNull(0));
}

TEST(TypedValues, Variants) {
  Column n92(SQL_LONG, 4, -2);
  n92.da.SetAsVariant(0, TVariant::FromInteger(3));
  EXPECT_EQ(300, n92.stored<int32_t>());
  EXPECT_EQ(varDouble, n92.da.GetAsVariant(0).VarType());
  EXPECT_DOUBLE_EQ(3.0, n92.da.GetAsVariant(0).AsDouble());
  int32_t before = n92.stored<int32_t>();
  n92.da.SetAsVariant(0, TVariant::Null());
  EXPECT_EQ(-1, n92.indicator);
  EXPECT_EQ(before, n92.stored<int32_t>());  // the data stays as it was
  EXPECT_TRUE(n92.da.GetAsVariant(0).IsNull());
  EXPECT_THROW(n92.da.SetAsVariant(0, TVariant::FromBoolean(true)), EDBCConvertError);

  Column s(SQL_SHORT, 2);
  s.da.SetAsVariant(0, TVariant::FromString("12"));
  EXPECT_EQ(varSmallint, s.da.GetAsVariant(0).VarType());
  EXPECT_EQ(12, s.da.GetAsVariant(0).AsInt64());
  Column ts(SQL_TIMESTAMP, 8);
  ts.da.SetAsVariant(0, TVariant::FromDate(1.5));
  EXPECT_EQ(varDate, ts.da.GetAsVariant(0).VarType());
  EXPECT_DOUBLE_EQ(1.5, ts.da.GetAsVariant(0).AsDouble());
  Column text(SQL_VARYING, 8, 0, csWIN1251);
  text.da.SetAsVariant(0, TVariant::FromUString(u"\u0416"));
  EXPECT_EQ("\xc6", text.da.GetAsVariant(0).AsString());
}

TEST(TypedValues, NullsRangesAndNames) {
  Column col(SQL_LONG, 4);
  col.put(static_cast<int32_t>(99));
  col.da.SetIsNull(0, true);
  EXPECT_TRUE(col.da.GetIsNull(0));
  EXPECT_EQ(0, col.da.GetAsInteger(0));
  EXPECT_EQ("", col.da.GetAsString(0));
  EXPECT_EQ(99, col.stored<int32_t>());  // the data stays as it was
  col.da.SetAsInteger(0, 5);
  EXPECT_FALSE(col.da.GetIsNull(0));
  try {
    col.da.GetAsInteger(1);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ("Field num: 1 not found.", e.Message());
  }
  EXPECT_THROW(col.da.SetAsInteger(3, 1), Exception);
  std::strcpy(col.da.Var(0).aliasname, "AMOUNT");
  col.da.Var(0).aliasname_length = 6;
  EXPECT_EQ(0, col.da.GetFieldIndex("amount"));
  EXPECT_EQ(5, col.da.ByNameAsInteger("Amount"));
  try {
    col.da.GetFieldIndex("AMOUNTS");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ("Field \"AMOUNTS\" not found.", e.Message());
  }
}

class InPlaceArea : public TSQLDA {
 public:
  using TSQLDA::TSQLDA;
  bool KeepsBuffersInPlace() const override { return true; }
};

TEST(TypedValues, TextIntoAreasThatKeepTheirBuffers) {
  InPlaceArea da(csNONE);
  da.SetAllocatedFields(2);
  char row[16] = {};
  da.Var(0).sqltype = SQL_VARYING;
  da.Var(0).sqllen = 4;
  da.Var(0).sqldata = row;
  da.Var(1).sqltype = SQL_TEXT;
  da.Var(1).sqllen = 4;
  da.Var(1).sqldata = row + 6;
  da.SetAsString(0, "ab");
  da.SetAsString(1, "cd");
  EXPECT_EQ(row, da.Var(0).sqldata);
  EXPECT_EQ("ab", da.GetAsString(0));
  EXPECT_EQ("cd  ", da.GetAsString(1));
  EXPECT_THROW(da.SetAsString(0, "abcde"), EDBCConvertError);
  EXPECT_EQ(0, row[10]);
}

TEST(TypedValues, WideTextOfMultiByteCharacterSets) {
  // CHAR(10) of a two-byte character set: 20 bytes, 10 characters.
  Column col(SQL_TEXT, 20, 0, csBIG_5, 56);
  std::memset(col.da.Var(0).sqldata, 'a', 20);
  col.indicator = 0;
  EXPECT_EQ(UnicodeString(10, u'a'), col.da.GetAsWideString(0));
  Column utf8(SQL_VARYING, 12, 0, csUTF8, 4);
  utf8.da.SetAsWideString(0, u"\u00e9\u20ac");
  EXPECT_EQ("\xc3\xa9\xe2\x82\xac", utf8.da.GetAsString(0));
  EXPECT_EQ(u"\u00e9\u20ac", utf8.da.GetAsWideString(0));
}

}  // namespace
}  // namespace px
