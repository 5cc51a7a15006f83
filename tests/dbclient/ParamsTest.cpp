#include <gtest/gtest.h>

#include <cstring>

#include "dbclient/dbclibParams.h"

namespace px {
namespace {

struct ParseCase {
  const char* sql;
  const char* parsed;
  std::vector<std::string> names;  // one per occurrence
  std::vector<int> ids;
};

TEST(SQLParams, Parse) {
  const ParseCase cases[] = {
      {"SELECT * FROM T WHERE A = :X OR B = :x", "SELECT * FROM T WHERE A = ? OR B = ?", {"X", "X"}, {1, 1}},
      {"SELECT :\"My Name\", :A1_b$+1 FROM T", "SELECT ?, ?+1 FROM T", {"My Name", "A1_b$"}, {1, 2}},
      {"SELECT ':no', \":no\", [:no] FROM T", "SELECT ':no', \":no\", [:no] FROM T", {}, {}},
      {"SELECT 1 -- :c\nFROM T /* :d */ WHERE :e = ?", "SELECT 1 \nFROM T  WHERE ? = ?", {"e", ""}, {1, 2}},
      {"A -- comment\r\nB", "A \r\nB", {}, {}},
      {"SELECT 1 /* open", "SELECT 1 ", {}, {}},
      {"SELECT 'open", "SELECT 'open", {}, {}},
      {"X = :", "X = ?", {""}, {1}},
      {"EXECUTE BLOCK AS BEGIN :v = :w; END", "EXECUTE BLOCK AS BEGIN :v = :w; END", {}, {}},
      {"EXECUTE BLOCK (P INT = :P) AS declare variable v int; begin v = :P; end",
       "EXECUTE BLOCK (P INT = ?) AS declare variable v int; begin v = :P; end",
       {"P"},
       {1}},
      {"SELECT BEGINNING, :a, DECLARED, :b FROM T", "SELECT BEGINNING, ?, DECLARED, ? FROM T", {"a", "b"}, {1, 2}},
      {"SELECT XBEGIN, :a FROM T", "SELECT XBEGIN, ? FROM T", {"a"}, {1}},
      {"begin :a end", "begin :a end", {}, {}},
      {":a:b", "??", {"a", "b"}, {1, 2}},
  };
  for (const ParseCase& c : cases) {
    TSQLParams params(csNONE);
    std::string parsed;
    params.Parse(c.sql, parsed);
    EXPECT_EQ(c.parsed, parsed) << c.sql;
    ASSERT_EQ(static_cast<Integer>(c.names.size()), params.GetFieldCount()) << c.sql;
    for (Word i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(c.names[i], params.GetFieldName(i)) << c.sql;
      EXPECT_EQ(c.ids[i], params.GetParamId(i)) << c.sql;
    }
  }
}

TEST(SQLParams, ReparseStartsAfresh) {
  TSQLParams params(csNONE);
  std::string parsed;
  params.Parse("SELECT :A, :B", parsed);
  params.SetAsInteger(0, 1);
  params.Parse("SELECT :C", parsed);
  ASSERT_EQ(1, params.GetFieldCount());
  EXPECT_EQ(1, params.GetParamId(0));
  EXPECT_TRUE(params.GetIsNull(0));
  EXPECT_EQ(uftUnknown, params.GetFieldType(0));
}

TEST(SQLParams, OccurrencesOfOneNameShareTheirValue) {
  TSQLParams params(csWIN1252);
  std::string parsed;
  params.Parse("SELECT * FROM T WHERE A = :X OR B = :X OR C = :Y", parsed);
  ASSERT_EQ(3, params.GetFieldCount());
  EXPECT_EQ(0, params.GetFieldIndex("x"));
  params.SetAsInteger(params.GetFieldIndex("X"), 7);
  EXPECT_EQ(params.Var(0).sqldata, params.Var(1).sqldata);
  EXPECT_EQ(7, params.GetAsInteger(1));
  EXPECT_EQ(uftInteger, params.GetFieldType(1));
  EXPECT_TRUE(params.GetIsNull(2));
  // Text replaces the buffer; both occurrences follow it.
  params.SetAsString(params.GetFieldIndex("Y"), "ab");
  params.SetIsNull(0, true);
  EXPECT_TRUE(params.GetIsNull(1));
  try {
    params.GetFieldIndex("Z");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ("Parameter \"Z\" not found.", e.Message());
  }
}

TEST(SQLParams, FirstValueFixesTheType) {
  TSQLParams params(csWIN1252);
  Word a = params.AddField("A");
  EXPECT_EQ(uftUnknown, params.GetFieldType(a));
  params.SetAsInteger(a, 7);
  EXPECT_EQ(SQL_LONG, params.GetSqlType(a));
  params.SetAsString(a, "12");
  EXPECT_EQ(SQL_LONG, params.GetSqlType(a));
  EXPECT_EQ(12, params.GetAsInteger(a));

  Word s = params.AddField("S");
  params.SetAsString(s, "hello");
  EXPECT_EQ(SQL_TEXT, params.GetSqlType(s));
  EXPECT_EQ(5, params.GetSqlLen(s));
  EXPECT_EQ("hello", params.GetAsString(s));

  Word w = params.AddField("W");
  params.SetAsWideString(w, u"\u00e9t\u00e9");
  EXPECT_EQ(SQL_TEXT, params.GetSqlType(w));
  EXPECT_EQ("\xe9t\xe9", params.GetAsString(w));
  EXPECT_EQ(u"\u00e9t\u00e9", params.GetAsWideString(w));

  Word c = params.AddField("C");
  params.SetAsCurrency(c, Currency::FromRaw(12345));
  EXPECT_EQ(SQL_INT64, params.GetSqlType(c));
  EXPECT_EQ(-4, params.GetSqlScale(c));
  EXPECT_EQ("1.2345", params.GetAsString(c));

  EXPECT_THROW(params.AddField(std::string(126, 'n')), Exception);
  EXPECT_NO_THROW(params.AddField(std::string(125, 'n')));
}

TEST(SQLParams, AddFieldTypeByKind) {
  struct Case {
    TSQLFieldKind kind;
    Word precision;
    Integer scale;
    Integer type, len, sqlScale;
  } cases[] = {
      {uftNumeric, 4, 2, SQL_SHORT, 2, -2},   {uftNumeric, 5, 2, SQL_LONG, 4, -2},
      {uftNumeric, 9, 3, SQL_INT64, 8, -3},   {uftVarchar, 0, 0, SQL_TEXT, 0, 0},
      {uftTimestamp, 0, 0, SQL_TIMESTAMP, 8, 0}, {uftBlob, 0, 0, SQL_BLOB, 8, 0},
      {uftDate, 0, 0, SQL_TYPE_DATE, 4, 0},   {uftTime, 0, 0, SQL_TYPE_TIME, 4, 0},
  };
  for (const Case& c : cases) {
    TSQLParams params(csNONE);
    params.AddFieldType("P", c.kind, c.precision, c.scale);
    ASSERT_EQ(1, params.GetFieldCount());
    EXPECT_EQ(c.type, params.GetSqlType(0)) << c.kind;
    EXPECT_EQ(c.len, params.GetSqlLen(0)) << c.kind;
    EXPECT_EQ(c.sqlScale, params.GetSqlScale(0)) << c.kind;
    EXPECT_TRUE(params.GetTypeFixed(0));
  }
  TSQLParams params(csNONE);
  params.AddFieldType("P", uftUnknown, 0, 0);
  EXPECT_EQ(0, params.GetFieldCount());
}

TEST(SQLParams, DescribedLengthRefusesLongerText) {
  TSQLParams params(csNONE);
  std::string parsed;
  params.Parse("INSERT INTO T VALUES (:V, :C, :V)", parsed);
  // What the server describes for VARCHAR(4) and CHAR(3).
  XSQLDA* described = static_cast<XSQLDA*>(calloc(1, XSQLDA_LENGTH(3)));
  described->version = SQLDA_VERSION1;
  described->sqln = described->sqld = 3;
  described->sqlvar[0].sqltype = SQL_VARYING | 1;
  described->sqlvar[0].sqllen = 4;
  described->sqlvar[1].sqltype = SQL_TEXT;
  described->sqlvar[1].sqllen = 3;
  described->sqlvar[2] = described->sqlvar[0];
  params.ApplyDescription(*described);
  free(described);
  EXPECT_TRUE(params.GetIsNull(0));
  EXPECT_FALSE(params.GetIsNullable(1));
  EXPECT_EQ(4, params.GetMaxSqlLen(0));
  params.SetAsString(0, "abcd");
  EXPECT_EQ("abcd", params.GetAsString(2));
  try {
    params.SetAsString(0, "abcde");
    FAIL() << "text cut silently";
  } catch (const EDBCConvertError& e) {
    EXPECT_EQ("String right truncation.", e.Message());
  }
  EXPECT_EQ("abcd", params.GetAsString(0));
  params.SetAsString(1, "xy   ");  // surplus blanks go, as the server drops them
  EXPECT_EQ("xy ", params.GetAsString(1));
  EXPECT_THROW(params.SetAsString(1, "wxyz"), EDBCConvertError);
  params.SetAsString(0, "");
  EXPECT_EQ("", params.GetAsString(2));
  EXPECT_FALSE(params.GetIsNull(2));
}

}  // namespace
}  // namespace px
