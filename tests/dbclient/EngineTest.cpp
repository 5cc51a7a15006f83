// Client calls against the real embedded engine: a fresh database file per
// test in a temporary folder, lock files in a folder private to this run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <iterator>
#include <typeinfo>
#include <vector>

#include "EngineLock.h"
#include "IsqlPeer.h"
#include "dbclient/dbclib.h"
#include "dbclient/dbclibParams.h"
#include "dbclient/dbclibSQLDA.h"
#include "support/TempDir.h"

namespace px {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

using test::ListLines;
using test::RunIsql;

// A database made fresh for one test, attached, with one transaction.
class Engine : public testing::Test {
 protected:
  void SetUp() override {
    path = dir.File("test.fdb");
    ASSERT_TRUE(lib.BindClientLibrary("fbembed.dll"));
    isc_db_handle created = 0;
    isc_tr_handle none = 0;
    lib.RunImmediate(created, none,
                     "CREATE DATABASE '" + path + "' USER 'SYSDBA' PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1",
                     3, nullptr);
    ASSERT_NE(0u, created);
    lib.DetachHandle(created);
    lib.AttachWithParams(path, db, '\r', "user_name=SYSDBA\rlc_ctype=ISO8859_1\rsql_dialect=3");
    ASSERT_NE(0u, db);
    lib.StartOneTransaction(tr, db, BuildTransactionParams(TransParamSet(tpConcurrency, tpWait, tpWrite), "", ""));
  }
  void TearDown() override {
    lib.RaiseErrors = false;
    lib.StatusVector[1] = 0;
    if (stmt) lib.FreeStatementHandle(stmt, DSQL_drop);
    if (tr) lib.RollbackHandle(tr);
    if (db) lib.DetachHandle(db);
  }
  void exec(const std::string& sql) { lib.RunImmediate(db, tr, sql, 3, nullptr); }
  void commit() {
    lib.CommitHandle(tr);
    lib.StartOneTransaction(tr, db, "");
  }

  test::TempDir dir;
  std::string path;
  TDBCLibrary lib;
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  isc_stmt_handle stmt = 0;
};

TEST_F(Engine, ErrorOfUnknownTableMatchesIsql) {
  lib.AllocateStatementHandle(db, stmt);
  std::string message;
  try {
    lib.PrepareStatementType(tr, stmt, "SELECT * FROM NOSUCH", 3, nullptr);
    FAIL() << "prepared a select from a missing table";
  } catch (const EDBCError& e) {
    EXPECT_EQ(typeid(EDBCError), typeid(e));  // facility 0
    EXPECT_EQ(335544569, e.GDSCode);
    EXPECT_EQ(335544569 & 0xFFFF, e.ErrorCode);
    EXPECT_EQ(-204, e.SQLCode);
    message = e.Message();
  }
  std::string sqlCodeText = lib.SQLCodeMessage(-204);
  EXPECT_FALSE(sqlCodeText.empty());
  // The engine keeps the file to one process at a time: let go before isql opens it.
  TearDown();
  std::vector<std::string> ours = splitLines(message);
  // isql shows the same client lines, the later ones behind a "-".
  std::string isqlOut = RunIsql(path, "SELECT * FROM NOSUCH;\n");
  std::vector<std::string> theirs;
  for (const std::string& line : splitLines(isqlOut)) {
    // isql's own lines: the SQLSTATE header and where in the script it was.
    if (line.empty() || line.rfind("Statement failed", 0) == 0 || line.find(" in file ") != std::string::npos)
      continue;
    theirs.push_back(line[0] == '-' ? line.substr(1) : line);
  }
  ASSERT_EQ(5u, theirs.size()) << isqlOut;
  EXPECT_EQ("SQL error code = -204", theirs[1]);
  ASSERT_EQ(theirs.size() + 4, ours.size()) << message;
  for (size_t i = 0; i < theirs.size(); ++i) EXPECT_EQ(theirs[i], ours[i]);
  // Then the SQL code text, an empty line and the codes.
  EXPECT_EQ(sqlCodeText, ours[theirs.size()]);
  EXPECT_EQ("", ours[theirs.size() + 1]);
  EXPECT_EQ("GDS Code: 335544569", ours[theirs.size() + 2]);
  EXPECT_EQ("Error Code: 249", ours[theirs.size() + 3]);
}

TEST_F(Engine, StatusChecksByClassFacilityAndHooks) {
  auto raised = [&](Integer code) -> std::string {
    std::memset(lib.StatusVector, 0, sizeof lib.StatusVector);
    lib.StatusVector[0] = 1;
    lib.StatusVector[1] = code;
    try {
      lib.CheckClientStatus(code);
    } catch (const EDBCError& e) {
      EXPECT_EQ(code, e.GDSCode);
      return typeid(e).name();
    }
    return "";
  };
  auto code = [](int facility, int number) { return 0x14000000 | (facility << 16) | number; };
  EXPECT_EQ(typeid(EDBCError).name(), raised(code(0, 1)));
  EXPECT_EQ(typeid(EDBCGFixError).name(), raised(code(3, 1)));
  EXPECT_EQ(typeid(EDBCDSQLError).name(), raised(code(7, 1)));
  EXPECT_EQ(typeid(EDBCDynError).name(), raised(code(8, 1)));
  EXPECT_EQ(typeid(EDBCGBakError).name(), raised(code(12, 1)));
  EXPECT_EQ(typeid(EDBCGSecError).name(), raised(code(18, 1)));
  EXPECT_EQ(typeid(EDBCLicenseError).name(), raised(code(19, 1)));
  EXPECT_EQ(typeid(EDBCGStatError).name(), raised(code(21, 1)));
  EXPECT_EQ(typeid(EDBCError).name(), raised(code(13, 1)));
  // Warnings and information never raise.
  EXPECT_EQ("", raised(static_cast<Integer>(0x54000000u | 5)));
  EXPECT_EQ("", raised(static_cast<Integer>(0x94000000u | 5)));

  // A user-defined exception carries its number; the hook may choose the class.
  std::memset(lib.StatusVector, 0, sizeof lib.StatusVector);
  lib.StatusVector[0] = 1;
  lib.StatusVector[1] = dbcUserException;
  lib.StatusVector[2] = isc_arg_number;
  lib.StatusVector[3] = 42;
  try {
    lib.CheckClientStatus(dbcUserException);
    FAIL();
  } catch (const EDBCException& e) {
    EXPECT_EQ(42, e.Number);
  }
  Integer asked = 0;
  lib.OnChooseExceptionClass = [&](Integer number, const TDBCErrorClass*& cls) {
    asked = number;
    cls = DBCErrorClass<EDBCDynError>();
  };
  EXPECT_THROW(lib.CheckClientStatus(dbcUserException), EDBCDynError);
  EXPECT_EQ(42, asked);

  // Connection loss tells the owner first.
  int told = 0;
  lib.OnConnectionLost = [&](TDBCLibrary* sender) {
    EXPECT_EQ(&lib, sender);
    ++told;
  };
  for (Integer lost : {dbcConnectionLost, dbcNetworkError, dbcDatabaseShutdown, 335544726, 335544727, 335544856}) {
    lib.StatusVector[1] = lost;
    EXPECT_THROW(lib.CheckClientStatus(lost), EDBCError);
  }
  EXPECT_EQ(6, told);
  // A broken connection behind a general first code counts too (a write to
  // a server that was restarted: "Error writing data to the connection"
  // after the request's own code); an ordinary failure does not.
  const ISC_STATUS behind[] = {isc_arg_gds, 335544569, isc_arg_cstring, 3, reinterpret_cast<ISC_STATUS>("abc"),
                               isc_arg_gds, 335544727, isc_arg_end};
  std::memset(lib.StatusVector, 0, sizeof lib.StatusVector);
  std::copy(std::begin(behind), std::end(behind), lib.StatusVector);
  EXPECT_THROW(lib.CheckClientStatus(335544569), EDBCError);
  EXPECT_EQ(7, told);
  lib.StatusVector[6] = 335544569;
  EXPECT_THROW(lib.CheckClientStatus(335544569), EDBCError);
  EXPECT_EQ(7, told);
}

TEST_F(Engine, SilentFailureLeavesCodesInStatusVector) {
  lib.RaiseErrors = false;
  lib.AllocateStatementHandle(db, stmt);
  lib.PrepareStatementType(tr, stmt, "SELECT * FROM NOSUCH", 3, nullptr);
  EXPECT_EQ(335544569, lib.StatusVector[1]);
  EXPECT_EQ(-204, lib.StatusSQLCode());
  // A transaction handle is still cleared after a silent failure.
  isc_tr_handle bogus = 12345;
  lib.CommitHandle(bogus);
  EXPECT_EQ(0u, bogus);
  EXPECT_NE(0, lib.StatusVector[1]);
}

TEST_F(Engine, ParametersAreDescribedAndValuesReachTheDatabase) {
  exec("CREATE TABLE T (ID INTEGER NOT NULL, N NUMERIC(9,2), B NUMERIC(18,4), D DATE, TM TIME, TS TIMESTAMP, "
       "V VARCHAR(5), F DOUBLE PRECISION)");
  commit();
  TSQLParams params(csISO8859_1);
  std::string parsed;
  params.Parse("INSERT INTO T VALUES (:ID, :N, :B, :D, :TM, :TS, :V, :F)", parsed);
  EXPECT_EQ("INSERT INTO T VALUES (?, ?, ?, ?, ?, ?, ?, ?)", parsed);
  lib.AllocateStatementHandle(db, stmt);
  EXPECT_EQ(isc_info_sql_stmt_insert - 1, lib.PrepareStatementType(tr, stmt, parsed, 3, nullptr));
  lib.DescribeParameters(stmt, 3, &params);
  EXPECT_FALSE(params.GetIsNullable(params.GetFieldIndex("ID")));
  EXPECT_TRUE(params.GetIsNullable(params.GetFieldIndex("N")));
  EXPECT_EQ(uftNumeric, params.GetFieldType(params.GetFieldIndex("N")));
  EXPECT_EQ(5, params.GetMaxSqlLen(params.GetFieldIndex("V")));

  params.SetAsInteger(params.GetFieldIndex("ID"), 1);
  params.SetAsString(params.GetFieldIndex("N"), "1.15");
  params.SetAsCurrency(params.GetFieldIndex("B"), Currency::FromRaw(12345678901234567LL));
  params.SetAsDate(params.GetFieldIndex("D"), 45000);  // 2023-03-15
  params.SetAsString(params.GetFieldIndex("TM"), "13:45:30");
  params.SetAsDateTime(params.GetFieldIndex("TS"), -1.25);  // 1899-12-29 06:00
  params.SetAsString(params.GetFieldIndex("V"), "abc");
  params.SetAsDouble(params.GetFieldIndex("F"), 0.5);
  EXPECT_THROW(params.SetAsString(params.GetFieldIndex("V"), "abcdef"), EDBCConvertError);
  lib.ExecuteStatement(tr, stmt, 3, &params);

  params.SetAsInteger(params.GetFieldIndex("ID"), 2);
  for (Word i = 1; i < params.GetFieldCount(); ++i) params.SetIsNull(i, true);
  lib.ExecuteStatement(tr, stmt, 3, &params);
  lib.FreeStatementHandle(stmt, DSQL_drop);
  EXPECT_EQ(0u, stmt);
  commit();
  lib.CommitHandle(tr);
  lib.DetachHandle(db);

  std::string out = RunIsql(path,
                            "SET LIST ON;\nSELECT ID, N, B, D, TM, CAST(TS AS VARCHAR(30)) AS TS, V, F FROM T ORDER BY "
                            "ID;\n");
  std::vector<std::string> got = ListLines(out);
  std::vector<std::string> want = {"ID 1",
                                   "N 1.15",
                                   "B 1234567890123.4567",
                                   "D 2023-03-15",
                                   "TM 13:45:30.0000",
                                   "TS 1899-12-29 06:00:00.0000",
                                   "V abc",
                                   "F 0.5000000000000000",
                                   "ID 2",
                                   "N <null>",
                                   "B <null>",
                                   "D <null>",
                                   "TM <null>",
                                   "TS <null>",
                                   "V <null>",
                                   "F <null>"};
  EXPECT_EQ(want, got) << out;
}

TEST_F(Engine, FetchedValuesReadThroughTheDescriptor) {
  exec("CREATE TABLE T (N NUMERIC(9,2), B BIGINT, TS TIMESTAMP, C CHAR(4), V VARCHAR(10))");
  commit();
  exec("INSERT INTO T VALUES (-0.05, 5000000000, '1899-12-29 06:00:00', 'ab', 'xyz')");
  commit();
  TSQLDA out(csISO8859_1);
  out.SetAllocatedFields(5);
  lib.AllocateStatementHandle(db, stmt);
  EXPECT_EQ(0, lib.PrepareStatementType(tr, stmt, "SELECT N, B, TS, C, V AS ALIAS_V FROM T", 3, out.Data()));
  ASSERT_EQ(5, out.Data()->sqld);
  std::vector<std::vector<char>> buffers(5);
  std::vector<ISC_SHORT> indicators(5);
  for (Word i = 0; i < 5; ++i) {
    XSQLVAR& v = out.Var(i);
    buffers[i].resize(static_cast<size_t>(v.sqllen) + 2);
    v.sqldata = buffers[i].data();
    v.sqlind = &indicators[i];
  }
  lib.ExecuteStatement(tr, stmt, 3, nullptr);
  ASSERT_TRUE(lib.FetchRawRow(stmt, 3, out.Data()));
  EXPECT_EQ("-0.05", out.GetAsString(0));
  EXPECT_EQ(Currency::FromRaw(-500), out.GetAsCurrency(0));
  EXPECT_EQ(5000000000LL, out.GetAsInt64(1));
  EXPECT_THROW(out.GetAsInteger(1), EDBCConvertError);
  EXPECT_DOUBLE_EQ(-1.25, out.GetAsDateTime(2));
  EXPECT_EQ("ab  ", out.GetAsString(3));
  EXPECT_EQ(u"ab  ", out.GetAsWideString(3));
  EXPECT_EQ("xyz", out.ByNameAsString("alias_v"));
  EXPECT_EQ("T", out.GetRelName(4));
  EXPECT_EQ("V", out.GetSqlName(4));
  EXPECT_EQ(uftVarchar, out.GetFieldType(4));
  EXPECT_FALSE(lib.FetchRawRow(stmt, 3, out.Data()));
  for (Word i = 0; i < 5; ++i) out.Var(i).sqldata = nullptr;
}

}  // namespace
}  // namespace px
