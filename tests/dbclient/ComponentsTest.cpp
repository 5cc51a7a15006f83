// The connection, transaction and statement components against the real
// embedded engine, with isql-fb as the peer that writes and reads the same
// files (only while we are detached: one process per file).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DbTestSupport.h"
#include "IsqlPeer.h"
#include "dbclient/dbc.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::ListLines;
using test::RunIsql;

class Components : public test::DatabaseTest {
 protected:
  void SetUp() override {
    CreateDatabase("test.fdb");
    ASSERT_TRUE(db->Connected());
  }
  // Commits and lets go of the file so that isql can open it.
  void detach() {
    tr->Commit();
    db->SetConnected(false);
  }
  Integer count(const std::string& table) {
    TObjectPtr<TDBCQuery> c = MakeObject<TDBCQuery>(nullptr);
    c->SetTransaction(tr.get());
    c->SetSQLText("SELECT COUNT(*) FROM " + table);
    c->Open();
    return c->Fields().GetAsInteger(0);
  }
};

TEST(DataBase, ParametersAsLines) {
  TObjectPtr<TDBCDataBase> d = MakeObject<TDBCDataBase>(nullptr);
  EXPECT_EQ(2, d->Params().Count());
  EXPECT_EQ("sql_dialect=3", d->Params().Get(0));
  EXPECT_EQ(std::string("lc_ctype=") + CharacterSetName(DefaultCharacterSet()), d->Params().Get(1));
  EXPECT_FALSE(d->Connected());
  d->SetUserName("a");
  d->SetUserName("b");
  EXPECT_EQ(3, d->Params().Count());
  EXPECT_EQ("b", d->UserName());
  d->Params().SetText("lc_ctype=WIN1252\nsql_dialect=1\n");
  EXPECT_EQ(csWIN1252, d->CharacterSet());
  EXPECT_EQ(1, d->SQLDialect());
  d->Params().Add("shutdown=x");
  EXPECT_TRUE(d->Shutdown().Empty());
  EXPECT_EQ("0", d->ReadParam("shutdown", ""));
  int events = 0;
  d->BeforeDisconnect = [&](TObject*) { ++events; };
  d->SetConnected(false);
  EXPECT_EQ(0, events);
  // Apostrophes are doubled; a user name cannot leave its literal.
  d->SetDatabaseName("/home/d'angelo/x.fdb");
  d->SetUserName("x' PASSWORD 'y");
  d->SetCharacterSet(csISO8859_1);
  EXPECT_EQ(
      "CREATE DATABASE '/home/d''angelo/x.fdb' USER 'x'' PASSWORD ''y' PASSWORD '' SET NAMES 'ISO8859_1' "
      "PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1",
      d->CreateDatabaseStatement(csISO8859_1, 4096));
  // Without a user the statement names none: the client library then takes
  // the login of its environment instead of an empty one.
  d->SetUserName("");
  EXPECT_EQ("CREATE DATABASE '/home/d''angelo/x.fdb' SET NAMES 'ISO8859_1' PAGE_SIZE 4096 DEFAULT CHARACTER SET "
            "ISO8859_1",
            d->CreateDatabaseStatement(csISO8859_1, 4096));
  struct {
    const char* name;
    bool local;
  } names[] = {{"/var/db/x.fdb", true},
               {"x.fdb", true},
               {"C:/data/x.fdb", false},
               {"host:/db/x.fdb", false},
               {"./a:b/x.fdb", true},
               {"", true},
               // A port or service after the host names a server too.
               {"localhost/3050:/db/new.fdb", false},
               {"db.shop.example/gds_db:/db/x.fdb", false},
               {"[::1]/3051:/db/x.fdb", false},
               {"[::1]:/db/x.fdb", false},
               {"inet://host:3051//db/x.fdb", false},
               {"../a/b:c.fdb", true},
               {"data/a b:c.fdb", true},
               {"/3050:/db/x.fdb", true}};
  for (const auto& n : names) EXPECT_EQ(n.local, TDBCDataBase::IsLocalDatabaseName(n.name)) << n.name;
  struct {
    const char *name, *server, *path;
  } parts[] = {{"/var/db/x.fdb", "", "/var/db/x.fdb"},
               {"host:/db/x.fdb", "host", "/db/x.fdb"},
               {"localhost/3050:/db/x.fdb", "localhost/3050", "/db/x.fdb"},
               {"[::1]/3051:/db/x.fdb", "[::1]/3051", "/db/x.fdb"},
               {"inet://host:3051//db/x.fdb", "host:3051", "/db/x.fdb"}};
  for (const auto& p : parts) {
    std::string server, path;
    TDBCDataBase::SplitDatabaseName(p.name, server, path);
    EXPECT_EQ(p.server, server) << p.name;
    EXPECT_EQ(p.path, path) << p.name;
  }
}

TEST(DataBase, CreatesAFileWhosePathHasAnApostrophe) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "d'angelo");
  TObjectPtr<TDBCDataBase> d = MakeObject<TDBCDataBase>(nullptr);
  d->SetDatabaseName(dir.File("d'angelo/x.fdb"));
  d->SetUserName("SYSDBA");
  int connectEvents = 0;
  d->AfterConnect = [&](TObject*) { ++connectEvents; };
  d->CreateDatabase(csISO8859_1, 4096);
  EXPECT_TRUE(d->Connected());
  EXPECT_EQ(0, connectEvents);
  d->SetConnected(false);
  d->SetConnected(true);
  EXPECT_EQ(1, connectEvents);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "d'angelo" / "x.fdb"));
}

TEST_F(Components, TypeMatrixWrittenByIsqlReadByUs) {
  detach();
  std::string out = RunIsql(path, R"(
CREATE TABLE M (ID INTEGER NOT NULL, S SMALLINT, I INTEGER, BI BIGINT, F FLOAT, D DOUBLE PRECISION,
  N9 NUMERIC(9,2), N18 NUMERIC(18,4), DT DATE, TM TIME, TS TIMESTAMP, C CHAR(5), V VARCHAR(10),
  BT BLOB SUB_TYPE 1, BB BLOB SUB_TYPE 0);
COMMIT;
INSERT INTO M VALUES (1, -32768, 2147483647, -9223372036854775808, 1.5, -2.25e100, -1234567.89,
  12345678901234.5678, '2023-03-15', '13:45:30.1234', '1899-12-29 06:00:00', 'ab', 'xyz',
  '', x'');
INSERT INTO M VALUES (2, 7, -1, 5000000000, 0, 0.1, 0.01, -0.0001, '0001-01-01', '00:00:00', '9999-12-31 23:59:59.9999',
  'abcde', '', 'q', x'FF');
INSERT INTO M (ID, BT, BB) VALUES (3, CAST(LPAD('', 30000, 'abc') AS BLOB SUB_TYPE 1) || LPAD('', 30000, 'abc') || LPAD('', 30000, 'abc'),
  CAST(LPAD('', 30000, x'00FF7F') AS BLOB SUB_TYPE 0) || LPAD('', 30000, x'00FF7F') || LPAD('', 30000, x'00FF7F'));
COMMIT;
)",
                            "ISO8859_1");
  ASSERT_EQ("", out);
  q->FetchBlobs = true;
  q->SetSQLText("SELECT * FROM M ORDER BY ID");
  q->Open();
  TSQLResult& r = q->Fields();
  ASSERT_FALSE(q->Eof());
  EXPECT_EQ(1, r.ByNameAsInteger("ID"));
  EXPECT_EQ(-32768, r.GetAsSmallint(1));
  EXPECT_EQ(2147483647, r.GetAsInteger(2));
  EXPECT_EQ(INT64_MIN, r.GetAsInt64(3));
  EXPECT_EQ(1.5f, r.GetAsSingle(4));
  EXPECT_EQ(-2.25e100, r.GetAsDouble(5));
  EXPECT_EQ("-1234567.89", r.GetAsString(6));
  EXPECT_EQ("12345678901234.5678", r.GetAsString(7));
  EXPECT_EQ(45000, r.GetAsDate(8));
  EXPECT_EQ(Cardinal((13 * 3600 + 45 * 60 + 30) * 10000 + 1234), r.GetAsTime(9));
  EXPECT_DOUBLE_EQ(-1.25, r.GetAsDateTime(10));
  EXPECT_EQ("ab   ", r.GetAsString(11));
  EXPECT_EQ("xyz", r.GetAsString(12));
  EXPECT_FALSE(r.GetIsNull(13));
  EXPECT_EQ(0, r.GetBlobSize(13));
  EXPECT_EQ(0, r.GetBlobSize(14));
  q->Next();
  EXPECT_EQ(7, r.GetAsInteger(1));
  EXPECT_EQ(5000000000LL, r.GetAsInt64(3));
  EXPECT_EQ(0.0f, r.GetAsSingle(4));
  EXPECT_EQ(0.1, r.GetAsDouble(5));
  EXPECT_EQ(Currency::FromRaw(100), r.GetAsCurrency(6));
  EXPECT_EQ("-0.0001", r.GetAsString(7));
  EXPECT_EQ(Cardinal(0), r.GetAsTime(9));
  EXPECT_EQ("abcde", r.GetAsString(11));
  EXPECT_EQ("", r.GetAsString(12));
  EXPECT_FALSE(r.GetIsNull(12));
  EXPECT_EQ("q", r.GetAsString(13));
  EXPECT_EQ(std::string("\xFF", 1), r.GetAsString(14));
  q->Next();
  for (Word i = 1; i <= 12; ++i) EXPECT_TRUE(r.GetIsNull(i)) << i;
  std::string text, binary;
  for (int i = 0; i < 30000; ++i) text += "abc"[i % 3];
  for (int i = 0; i < 30000; ++i) binary += "\x00\xFF\x7F"[i % 3];
  EXPECT_EQ(text + text + text, r.GetAsString(13));
  EXPECT_EQ(binary + binary + binary, r.GetAsString(14));
  EXPECT_EQ(90000, r.GetBlobSize(14));
  q->Next();
  EXPECT_TRUE(q->Eof());
  // The cache still holds every row.
  q->FetchPrior();
  EXPECT_EQ(1, r.GetCurrentRecord());
  EXPECT_EQ("q", r.GetAsString(13));
}

TEST_F(Components, TypeMatrixWrittenByUsReadByIsql) {
  exec("CREATE TABLE M (ID INTEGER NOT NULL, S SMALLINT, BI BIGINT, F FLOAT, D DOUBLE PRECISION, "
       "N9 NUMERIC(9,2), N18 NUMERIC(18,4), DT DATE, TM TIME, TS TIMESTAMP, C CHAR(5), V VARCHAR(10), "
       "BT BLOB SUB_TYPE 1, BB BLOB SUB_TYPE 0)");
  tr->Commit();
  q->SetSQLText("INSERT INTO M VALUES (:ID, :S, :BI, :F, :D, :N9, :N18, :DT, :TM, :TS, :C, :V, "
                "CAST(:T AS BLOB SUB_TYPE 1) || :T || :T, CAST(:B AS BLOB SUB_TYPE 0))");
  TSQLParams& p = q->Params();
  std::string third(30000, 'z');
  p.SetAsInteger(p.GetFieldIndex("ID"), 1);
  p.SetAsSmallint(p.GetFieldIndex("S"), -32768);
  p.SetAsInt64(p.GetFieldIndex("BI"), INT64_MAX);
  p.SetAsSingle(p.GetFieldIndex("F"), 1.5f);
  p.SetAsDouble(p.GetFieldIndex("D"), -0.125);
  p.SetAsString(p.GetFieldIndex("N9"), "-1234567.89");
  p.SetAsString(p.GetFieldIndex("N18"), "12345678901234.5678");
  p.SetAsDate(p.GetFieldIndex("DT"), 45000);
  p.SetAsString(p.GetFieldIndex("TM"), "13:45:30");
  p.SetAsDateTime(p.GetFieldIndex("TS"), -1.25);
  p.SetAsString(p.GetFieldIndex("C"), "ab");
  p.SetAsString(p.GetFieldIndex("V"), "xyz");
  p.SetAsString(p.GetFieldIndex("T"), third);
  p.SetAsString(p.GetFieldIndex("B"), std::string("\x01", 1));
  q->Execute();
  for (Word i = 1; i < p.GetFieldCount(); ++i) p.SetIsNull(i, true);
  p.SetAsInteger(p.GetFieldIndex("ID"), 2);
  p.SetAsString(p.GetFieldIndex("B"), "");
  q->Execute();
  detach();
  std::string out = RunIsql(path,
                            "SET LIST ON;\nSELECT ID, S, BI, F, D, N9, N18, DT, TM, CAST(TS AS VARCHAR(30)) AS TS, "
                            "'[' || C || ']' AS C, V, OCTET_LENGTH(BT) AS BTL, IIF(REPLACE(BT, 'z', '') = '', 1, 0) "
                            "AS BTZ, OCTET_LENGTH(BB) AS BBL, CAST(BB AS VARCHAR(5) CHARACTER SET OCTETS) AS BB "
                            "FROM M ORDER BY ID;\n",
                            "ISO8859_1");
  std::vector<std::string> want = {"ID 1",
                                   "S -32768",
                                   "BI 9223372036854775807",
                                   "F 1.5",
                                   "D -0.1250000000000000",
                                   "N9 -1234567.89",
                                   "N18 12345678901234.5678",
                                   "DT 2023-03-15",
                                   "TM 13:45:30.0000",
                                   "TS 1899-12-29 06:00:00.0000",
                                   "C [ab ]",
                                   "V xyz",
                                   "BTL 90000",
                                   "BTZ 1",
                                   "BBL 1",
                                   "BB 01",
                                   "ID 2"};
  std::vector<std::string> got = ListLines(out);
  ASSERT_GE(got.size(), want.size()) << out;
  EXPECT_EQ(want, std::vector<std::string>(got.begin(), got.begin() + static_cast<long>(want.size()))) << out;
  std::vector<std::string> nulls(got.begin() + static_cast<long>(want.size()), got.end());
  EXPECT_EQ((std::vector<std::string>{"S <null>", "BI <null>", "F <null>", "D <null>", "N9 <null>", "N18 <null>",
                                      "DT <null>", "TM <null>", "TS <null>", "C <null>", "V <null>", "BTL <null>",
                                      "BTZ 0", "BBL 0", "BB"}),
            nulls)
      << out;
}

TEST_F(Components, EveryByteRoundTripsThroughOneByteText) {
  exec("CREATE TABLE B (V VARCHAR(2048) CHARACTER SET ISO8859_1)");
  tr->Commit();
  db->SetConnected(false);
  db->SetCharacterSet(csNONE);
  std::string all;
  for (int i = 0; i < 2048; ++i) all += static_cast<char>(i % 256);
  q->SetSQLText("INSERT INTO B VALUES (:V)");
  q->Params().SetAsString(0, all);
  q->Execute();
  q->Params().SetAsString(0, all + "x");
  try {
    q->Execute();
    FAIL() << "2049 bytes went into 2048";
  } catch (const EDBCError& e) {
    EXPECT_NE(std::string::npos, e.Message().find("string right truncation")) << e.Message();
  }
  // The failure rolled the transaction back: the first row is gone too.
  EXPECT_EQ(0u, tr->TrHandle);
  q->Params().SetAsString(0, all);
  q->Execute();
  tr->Commit();
  q->SetSQLText("SELECT V FROM B");
  q->Open();
  EXPECT_EQ(all, q->Fields().GetAsString(0));
  q->Next();
  EXPECT_TRUE(q->Eof());
}

TEST_F(Components, TransactionEndsAndStatementStates) {
  exec("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY)");
  exec("CREATE TABLE C (ID INTEGER NOT NULL, P INTEGER, CONSTRAINT FK_C_P FOREIGN KEY (P) REFERENCES P (ID))");
  EXPECT_EQ(2, q->State());
  tr->Commit();
  exec("INSERT INTO P VALUES (1)");
  exec("INSERT INTO P VALUES (2)");
  tr->Commit();

  // Commit closes the cursor; the statement stays prepared and runs again.
  q->SetSQLText("SELECT ID FROM P ORDER BY ID");
  q->Open();
  EXPECT_EQ(5, q->State());
  EXPECT_FALSE(q->Eof());
  EXPECT_TRUE(tr->Commit());
  EXPECT_EQ(4, q->State());
  EXPECT_FALSE(tr->Commit());
  q->Open();
  EXPECT_EQ(1, q->Fields().GetAsInteger(0));
  q->Open();  // again from the first row
  q->Next();
  EXPECT_EQ(2, q->Fields().GetAsInteger(0));
  q->SetSQLText("SELECT ID FROM P");  // closes without ending the transaction
  EXPECT_EQ(1, q->State());
  EXPECT_NE(0u, tr->TrHandle);
  EXPECT_THROW(q->Next(), Exception);
  tr->Commit();

  // A foreign-key violation names its constraint, rolls back and leaves the
  // statement closed.
  exec("INSERT INTO C VALUES (1, 1)");
  q->SetSQLText("INSERT INTO C VALUES (2, 99)");
  q->Prepare();
  EXPECT_EQ(4, q->State());
  try {
    q->Execute();
    FAIL();
  } catch (const EDBCError& e) {
    EXPECT_NE(std::string::npos, e.Message().find("FK_C_P")) << e.Message();
  }
  EXPECT_EQ(0, q->State());
  EXPECT_EQ(0u, tr->TrHandle);
  EXPECT_EQ(0, count("C"));

  // A handler that turns the commit into a rollback leaves nothing behind.
  exec("INSERT INTO C VALUES (3, 1)");
  int ends = 0;
  tr->OnEndTransaction = [&](TObject*, TEndTransMode& mode) {
    ++ends;
    if (mode == etmCommit) mode = etmRollback;
  };
  EXPECT_TRUE(tr->Commit());
  tr->OnEndTransaction = nullptr;
  EXPECT_EQ(1, ends);
  EXPECT_EQ(0, count("C"));
  tr->Commit();

  // QuickScript runs each non-empty line on its own.
  q->QuickScript = true;
  q->SetSQLText("INSERT INTO P VALUES (10)\n\n  \nINSERT INTO P VALUES (11)\nINSERT INTO P VALUES (12)\n");
  q->ExecSQL();
  q->QuickScript = false;
  EXPECT_EQ(5, count("P"));

  tr->AutoStart = false;
  tr->Commit();
  q->SetSQLText("SELECT 1 FROM RDB$DATABASE");
  EXPECT_THROW(q->Open(), EDBCException);
  tr->AutoStart = true;
  q->CachedFetch = false;
  q->Open();
  EXPECT_THROW(q->FetchPrior(), Exception);
  EXPECT_THROW(tr->SetDefaultAction(etmCommitRetaining), EAssertionFailed);
}

TEST_F(Components, FailedRollbackDoesNotHideTheFirstError) {
  exec("CREATE TABLE P (ID INTEGER)");
  tr->Commit();
  exec("INSERT INTO P VALUES (1)");
  isc_tr_handle real = tr->TrHandle;
  tr->OnEndTransaction = [&](TObject*, TEndTransMode&) {
    tr->TrHandle = 0x7FFF0000;  // the rollback that follows fails on this
    throw EConvertError("first failure");
  };
  try {
    tr->Commit();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ("first failure", e.Message());
  }
  tr->OnEndTransaction = nullptr;
  tr->TrHandle = real;
  tr->Rollback();
  EXPECT_EQ(0, count("P"));
}

// The statement's own failure is what its caller must see, even when ending
// the transaction after it fails as well.
TEST_F(Components, FailedRollbackAfterAFailingStatementKeepsTheStatementsError) {
  exec("CREATE TABLE P (ID INTEGER NOT NULL PRIMARY KEY)");
  tr->Commit();
  exec("INSERT INTO P VALUES (1)");
  isc_tr_handle real = tr->TrHandle;
  tr->OnEndTransaction = [&](TObject*, TEndTransMode&) {
    tr->TrHandle = 0x7FFF0000;  // the rollback fails on this
  };
  for (bool prepared : {false, true}) {
    q->SetSQLText("INSERT INTO P VALUES (1)");
    try {
      if (prepared) q->Open();
      else q->ExecSQL();
      FAIL();
    } catch (const EDBCError& e) {
      EXPECT_NE(std::string::npos, e.Message().find("PRIMARY")) << e.Message();
    }
    tr->TrHandle = real;
  }
  tr->OnEndTransaction = nullptr;
  tr->Rollback();
  EXPECT_EQ(0, count("P"));
}

TEST_F(Components, ExecuteProcedureHandsOutItsRowOnce) {
  exec("CREATE TABLE L (ID INTEGER)");
  exec("CREATE PROCEDURE ADDONE (X INTEGER) RETURNS (Y INTEGER) AS BEGIN INSERT INTO L VALUES (:X); Y = X + 1; END");
  tr->Commit();
  for (bool cached : {true, false}) {
    q->CachedFetch = cached;
    q->SetSQLText("EXECUTE PROCEDURE ADDONE(:X)");
    q->Params().SetAsInteger(0, 41);
    q->Open();
    EXPECT_FALSE(q->Eof());
    EXPECT_EQ(42, q->Fields().GetAsInteger(0));
    q->Next();
    EXPECT_TRUE(q->Eof());
    tr->Commit();
  }
  EXPECT_EQ(2, count("L"));
}

TEST_F(Components, DestroyingTheDatabaseLeavesComponentsWithout) {
  q->SetSQLText("SELECT 1 FROM RDB$DATABASE");
  q->Open();
  db.reset();
  EXPECT_EQ(nullptr, tr->DataBase());
  EXPECT_EQ(nullptr, q->DataBase());
  EXPECT_EQ(0, tr->DataBaseCount());
  EXPECT_EQ(0u, tr->TrHandle);
}

}  // namespace
}  // namespace px
