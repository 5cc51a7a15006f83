// The database module against the real embedded engine: a fresh database
// file per test in a temporary folder, isql-fb as the peer that reads and
// writes the same files (only while the module is disconnected: the engine
// runs in one process at a time).
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <filesystem>
#include <regex>
#include <sstream>

#include "AppTestSupport.h"
#include "CountingFixtures.h"
#include "app/UnitData.h"
#include "app/UnitSettings.h"
#include "dbclient/EngineLock.h"
#include "dbclient/IsqlPeer.h"
#include "dbclient/dbclib.h"
#include "pdf/gui/PdfGuiTestSupport.h"
#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/FormatSettings.h"
#include "support/TempDir.h"
#include "support/Numbers.h"

namespace px {
namespace {

namespace fs = std::filesystem;
using test::ListLines;

class DatabaseModule : public testing::Test {
 protected:
  void SetUp() override {
    path = dir.File("pxdata.fdb");
    dm = MakeObject<TdmDatabase>(nullptr);
    dm->DB->SetDatabaseName(path);
  }
  // Lets go of the file and runs the script through isql-fb.
  std::string isql(const std::string& script) {
    dm->DB->SetConnected(false);
    return test::RunIsql(path, "SET LIST ON;\n" + script, "ISO8859_1");
  }
  std::vector<std::string> isqlLines(const std::string& script) { return ListLines(isql(script)); }

  test::TempDir dir;
  std::string path;
  TObjectPtr<TdmDatabase> dm;
};

// The part of a schema statement that the engine keeps as source: from the
// line that starts with `from` on.
std::string sourceFrom(const std::string& statement, const std::string& from) {
  size_t at = statement.find("\r\n" + from + "\r\n");
  return at == std::string::npos ? "" : statement.substr(at + 2);
}

TEST_F(DatabaseModule, NewDatabaseHasTheWholeSchema) {
  dm->OpenDatabase();
  EXPECT_TRUE(dm->DB->Connected());
  std::vector<std::string> got = isqlLines(R"(
SELECT TRIM(RF.RDB$RELATION_NAME) || '.' || TRIM(RF.RDB$FIELD_NAME) AS COL, F.RDB$FIELD_TYPE AS T,
  F.RDB$FIELD_LENGTH AS L, COALESCE(RF.RDB$NULL_FLAG, 0) AS NN, CAST(RF.RDB$DEFAULT_SOURCE AS VARCHAR(40)) AS DEF
FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE
WHERE RF.RDB$RELATION_NAME IN ('USERS', 'COUNTINGS') ORDER BY RF.RDB$RELATION_NAME, RF.RDB$FIELD_POSITION;
SELECT TRIM(C.RDB$CONSTRAINT_NAME) || ' ' || TRIM(C.RDB$CONSTRAINT_TYPE) || ' ' || TRIM(C.RDB$RELATION_NAME) || '(' ||
  TRIM(S.RDB$FIELD_NAME) || ') ' || COALESCE(TRIM(R.RDB$CONST_NAME_UQ), '-') AS CONS
FROM RDB$RELATION_CONSTRAINTS C JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = C.RDB$INDEX_NAME
LEFT JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = C.RDB$CONSTRAINT_NAME
WHERE C.RDB$CONSTRAINT_TYPE IN ('PRIMARY KEY', 'FOREIGN KEY') ORDER BY C.RDB$CONSTRAINT_NAME;
SELECT TRIM(RDB$GENERATOR_NAME) AS GEN FROM RDB$GENERATORS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1;
SELECT TRIM(P.RDB$PROCEDURE_NAME) || '.' || TRIM(P.RDB$PARAMETER_NAME) || ' ' || P.RDB$PARAMETER_TYPE || ' ' ||
  F.RDB$FIELD_TYPE || ' ' || F.RDB$FIELD_LENGTH AS PARAM
FROM RDB$PROCEDURE_PARAMETERS P JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE
ORDER BY P.RDB$PROCEDURE_NAME, P.RDB$PARAMETER_TYPE, P.RDB$PARAMETER_NUMBER;
SELECT MON$PAGE_SIZE AS PAGE, MON$SQL_DIALECT AS DIALECT FROM MON$DATABASE;
SELECT TRIM(RDB$CHARACTER_SET_NAME) AS CS FROM RDB$DATABASE;
SELECT ID, NAME, STATUS FROM USERS;
)");
  std::vector<std::string> want = {
      "COL COUNTINGS.ID", "T 8", "L 4", "NN 1", "DEF <null>",
      "COL COUNTINGS.USERID", "T 8", "L 4", "NN 1", "DEF <null>",
      "COL COUNTINGS.WHEN", "T 35", "L 8", "NN 1", "DEF <null>",
      "COL COUNTINGS.VALUES", "T 37", "L 2048", "NN 1", "DEF <null>",
      "COL COUNTINGS.VALUTA", "T 37", "L 10", "NN 1", "DEF <null>",
      "COL COUNTINGS.CASHDRAWER", "T 37", "L 10", "NN 1", "DEF <null>",
      "COL COUNTINGS.COMPANYNAME", "T 37", "L 80", "NN 1", "DEF <null>",
      "COL COUNTINGS.TOTALVALUE", "T 16", "L 8", "NN 0", "DEF <null>",
      "COL USERS.ID", "T 8", "L 4", "NN 1", "DEF <null>",
      "COL USERS.NAME", "T 37", "L 64", "NN 1", "DEF <null>",
      "COL USERS.STATUS", "T 8", "L 4", "NN 1", "DEF DEFAULT 1",
      "CONS FK_COUNTINGS_1 FOREIGN KEY COUNTINGS(USERID) PK_USERS",
      "CONS PK_COUNTINGS PRIMARY KEY COUNTINGS(ID) -",
      "CONS PK_USERS PRIMARY KEY USERS(ID) -",
      "GEN COUNTINGIDS", "GEN USERIDS",
      "PARAM ADDCOUNTING.USERID 0 8 4", "PARAM ADDCOUNTING.WHEN 0 35 8", "PARAM ADDCOUNTING.VALUES 0 37 2048",
      "PARAM ADDCOUNTING.VALUTA 0 37 10", "PARAM ADDCOUNTING.CASHDRAWER 0 37 10",
      "PARAM ADDCOUNTING.COMPANYNAME 0 37 80", "PARAM ADDCOUNTING.TOTALVALUE 0 16 8", "PARAM ADDCOUNTING.ID 1 8 4",
      "PARAM ADDUSER.NAME 0 37 80", "PARAM ADDUSER.ID 1 8 4",
      "PAGE 4096", "DIALECT 3", "CS ISO8859_1",
      "ID -1", "NAME Anonymous", "STATUS -1"};
  EXPECT_EQ(want, got);

  // The engine keeps the bodies exactly as they were sent, CR LF included.
  got = isqlLines(R"(
SELECT TRIM(RDB$TRIGGER_NAME) AS NAME, TRIM(RDB$RELATION_NAME) AS REL, RDB$TRIGGER_TYPE AS T,
  RDB$TRIGGER_SEQUENCE AS SEQ, RDB$TRIGGER_INACTIVE AS OFF,
  CAST(RDB$TRIGGER_SOURCE AS VARCHAR(2000) CHARACTER SET OCTETS) AS SRC
FROM RDB$TRIGGERS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY RDB$TRIGGER_NAME;
SELECT TRIM(RDB$PROCEDURE_NAME) AS NAME, CAST(RDB$PROCEDURE_SOURCE AS VARCHAR(2000) CHARACTER SET OCTETS) AS SRC
FROM RDB$PROCEDURES ORDER BY RDB$PROCEDURE_NAME;
)");
  const auto& schema = SchemaStatements();
  want = {"NAME COUNTINGS_BI", "REL COUNTINGS", "T 1", "SEQ 0", "OFF 0", "SRC " + test::HexText(sourceFrom(schema[7], "AS")),
          "NAME USERS_BI", "REL USERS", "T 1", "SEQ 0", "OFF 0", "SRC " + test::HexText(sourceFrom(schema[8], "as")),
          "NAME ADDCOUNTING", "SRC " + test::HexText(sourceFrom(schema[9], "begin")),
          "NAME ADDUSER", "SRC " + test::HexText(sourceFrom(schema[10], "begin"))};
  EXPECT_EQ(want, got);
}

TEST_F(DatabaseModule, FailedCreationLeavesNoFileAndTheNextOpenBuildsItAll) {
  for (int failing = 0; failing < 12; ++failing) {
    SCOPED_TRACE(failing);
    dm->OnSchemaStatement = [&](int step, std::string& sql) {
      if (step == failing) sql += " nonsense";
    };
    EXPECT_THROW(dm->OpenDatabase(), EDBCError);
    EXPECT_FALSE(dm->DB->Connected());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(dm->Tr->InTransaction());
  }
  dm->OnSchemaStatement = nullptr;
  dm->OpenDatabase();
  EXPECT_EQ(1, dm->AddUser("Jan"));
  EXPECT_EQ(std::vector<std::string>({"N 2", "P 2", "G 1"}),
            isqlLines("SELECT COUNT(*) AS N FROM USERS; SELECT COUNT(*) AS P FROM RDB$PROCEDURES;"
                      "SELECT GEN_ID(USERIDS, 0) AS G FROM RDB$DATABASE;"));
}

TEST_F(DatabaseModule, ADatabaseWithoutTheAnonymousUserGainsIt) {
  std::string out = test::RunIsql("", "CREATE DATABASE '" + path + "' DEFAULT CHARACTER SET ISO8859_1;\n"
                                  "CREATE TABLE USERS (ID INTEGER NOT NULL, NAME VARCHAR(64) NOT NULL, "
                                  "STATUS INTEGER DEFAULT 1 NOT NULL);\n"
                                  "INSERT INTO USERS VALUES (5, 'Piet', 0);\nCOMMIT;\n");
  ASSERT_EQ("", out);
  dm->OpenDatabase();
  IMemDataSet users;
  dm->GetUsers(users);
  ASSERT_EQ(1, users->GetRecordCount());
  EXPECT_EQ("Piet", users->First()->GetAnsiStringByName("NAME"));
  EXPECT_EQ(std::vector<std::string>({"ID -1", "NAME Anonymous", "STATUS -1", "ID 5", "NAME Piet", "STATUS 0"}),
            isqlLines("SELECT ID, NAME, STATUS FROM USERS ORDER BY ID;"));
}

TEST_F(DatabaseModule, ARemoteNameIsNeverCreatedHere) {
  // No server listens here: the module says so, naming where it went.
  for (const std::string& name : {"localhost:" + path, "localhost/1:" + path}) {
    dm->DB->SetDatabaseName(name);
    try {
      dm->OpenDatabase();
      ADD_FAILURE() << name;
    } catch (const EDatabaseUnavailable& e) {
      EXPECT_NE(std::string::npos, e.Message().find("Could not connect to the database server.")) << e.Message();
      EXPECT_NE(std::string::npos, e.Message().find("Database: " + path + "\r\n")) << e.Message();
    }
    EXPECT_FALSE(fs::exists(path)) << name;
    EXPECT_FALSE(dm->DB->Connected());
    // The embedded engine's built-in login is never offered to a server.
    EXPECT_EQ("", dm->DB->UserName());
  }
}

TEST_F(DatabaseModule, UsersWithoutTheAnonymousOne) {
  IMemDataSet users;
  dm->GetUsers(users);
  EXPECT_EQ(0, users->GetRecordCount());
  EXPECT_EQ(users, dm->UsersCache());

  EXPECT_EQ(1, dm->AddUser("Jan"));
  EXPECT_EQ(2, dm->AddUser("Els"));
  dm->EditUser(1, "Jan de Vries", 0);
  dm->GetUsers(users);
  ASSERT_EQ(2, users->GetRecordCount());
  Integer byId = users->FindIndexOnFieldName("ID");
  ASSERT_GE(byId, 0);
  EXPECT_EQ(mitUnorderedUnique, users->GetIndexType(byId));
  TMemRecord* jan = users->FindInteger(byId, 1);
  ASSERT_NE(nullptr, jan);
  EXPECT_EQ("Jan de Vries", jan->GetAnsiStringByName("NAME"));
  EXPECT_EQ(0, jan->GetIntegerByName("STATUS"));
  EXPECT_EQ(nullptr, users->FindInteger(byId, -1));
  dm->DeleteUser(2);
  EXPECT_EQ(std::vector<std::string>({"ID -1", "NAME Anonymous", "STATUS -1", "ID 1", "NAME Jan de Vries", "STATUS 0"}),
            isqlLines("SELECT ID, NAME, STATUS FROM USERS ORDER BY ID;"));
}

TEST_F(DatabaseModule, CountingsKeepTheirBytesAndTotalsInHundredths) {
  const Integer user = dm->AddUser("Jan");
  // Enciphered details hold any byte, NULs included.
  std::string details("\x00\x01\xFF\x00qjv\x80\x9F\x00", 10);
  for (int i = 0; i < 256; ++i) details += static_cast<char>(i);
  const TDateTime when = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 7, 0);
  struct {
    const char* total;
    Int64 stored;
  } totals[] = {{"12.345", 1234}, {"12.355", 1236}, {"-12.345", -1234}, {"21474836.48", 2147483648LL}, {"0", 0}};
  std::string want;
  Integer expectedId = 1;
  for (const auto& t : totals) {
    Integer id = dm->AddCounting(user, when, details, "EUR", "K1", "Bos BV", Currency::FromDouble(test::PeerNumber(t.total)));
    EXPECT_EQ(expectedId++, id) << t.total;
    want += "TOTALVALUE " + std::to_string(t.stored) + "\n";
  }
  std::string out = isql("SELECT TOTALVALUE FROM COUNTINGS ORDER BY ID;");
  std::string totalLines;
  for (const auto& line : ListLines(out)) totalLines += line + "\n";
  EXPECT_EQ(want, totalLines);
  EXPECT_EQ(std::vector<std::string>({"V " + test::HexText(details), "USERID 1", "W 2024-02-29 13:45:07.0000", "VALUTA EUR",
                                      "CASHDRAWER K1", "COMPANYNAME Bos BV"}),
            isqlLines("SELECT CAST(\"VALUES\" AS VARCHAR(2048) CHARACTER SET OCTETS) AS V, USERID, \"WHEN\" AS W, "
                      "VALUTA, CASHDRAWER, COMPANYNAME FROM COUNTINGS WHERE ID = 1;"));

  // The list holds what the history shows, without the details.
  IMemDataSet countings;
  dm->GetCountings(countings);
  ASSERT_EQ(5, countings->GetRecordCount());
  std::vector<std::string> fields;
  for (Integer f = 0; f < countings->GetFieldCount(); ++f) fields.push_back(countings->GetFieldName(f));
  EXPECT_EQ(std::vector<std::string>({"ID", "USERID", "WHEN", "VALUTA", "CASHDRAWER", "COMPANYNAME", "TOTALVALUE"}),
            fields);
  TMemRecord* first = countings->FindInteger(countings->FindIndexOnFieldName("ID"), 1);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(when, first->GetDoubleByName("WHEN"));
  // Read back through the report's query the details are whole.
  dm->QGetCounting->Prepare(true);
  dm->QGetCounting->Params().SetAsInteger(0, 1);
  dm->QGetCounting->Open();
  TSQLResult& r = dm->QGetCounting->Fields();
  EXPECT_EQ(details, r.GetAsString(r.GetFieldIndex("VALUES")));
  dm->QGetCounting->Close(etmCommit);
  EXPECT_EQ(2147483648LL, countings->FindInteger(countings->FindIndexOnFieldName("ID"), 4)->GetInt64ByName("TOTALVALUE"));
}

TEST_F(DatabaseModule, RefusedWritesChangeNothing) {
  const Integer jan = dm->AddUser("Jan");
  const TDateTime when = EncodeDate(2024, 1, 2);
  // Details beyond the column are refused by the client before anything is sent.
  try {
    dm->AddCounting(jan, when, std::string(2049, 'x'), "EUR", "", "", Currency(1));
    ADD_FAILURE() << "no error";
  } catch (const EDBCConvertError& e) {
    EXPECT_EQ("String right truncation.", e.Message());
  }
  dm->AddCounting(jan, when, std::string(2048, 'x'), "EUR", "", "", Currency(1));

  // A user with countings cannot go.
  try {
    dm->DeleteUser(jan);
    ADD_FAILURE() << "no error";
  } catch (const EDBCError& e) {
    EXPECT_NE(std::string::npos, e.Message().find("FK_COUNTINGS_1")) << e.Message();
  }

  // Names: the procedure takes 80 characters, the column 64.
  EXPECT_THROW(dm->AddUser(std::string(65, 'n')), EDBCError);
  EXPECT_THROW(dm->AddUser(std::string(80, 'n')), EDBCError);
  EXPECT_THROW(dm->AddUser(std::string(81, 'n')), EDBCConvertError);
  EXPECT_THROW(dm->EditUser(jan, std::string(65, 'n'), 1), EDBCConvertError);
  // The two the engine refused took a number each; the client refused the third.
  EXPECT_EQ(4, dm->AddUser(std::string(64, 'n')));
  dm->EditUser(jan, std::string(64, 'm'), 1);
  EXPECT_FALSE(dm->Tr->InTransaction());

  EXPECT_EQ(std::vector<std::string>({"N 1", "L 2048", "ID -1", "ID 1", "NAME " + std::string(64, 'm'), "ID 4"}),
            isqlLines("SELECT COUNT(*) AS N FROM COUNTINGS; SELECT CHAR_LENGTH(\"VALUES\") AS L FROM COUNTINGS;"
                      "SELECT ID FROM USERS WHERE ID < 1; SELECT ID, NAME FROM USERS WHERE ID = 1;"
                      "SELECT ID FROM USERS WHERE ID > 1;"));
}

TEST_F(DatabaseModule, LoadsEveryColumnTypeWithItsNulls) {
  dm->OpenDatabase();
  ASSERT_EQ("", isql(R"(
CREATE TABLE M (ID INTEGER NOT NULL, S SMALLINT, I INTEGER, BI BIGINT, F FLOAT, D DOUBLE PRECISION,
  DT DATE, TM TIME, TS TIMESTAMP, C CHAR(5), V VARCHAR(10) NOT NULL, N9 NUMERIC(9,2), B BLOB SUB_TYPE 1);
COMMIT;
INSERT INTO M VALUES (7, -32768, 2147483647, -9223372036854775808, 1.5, -2.25e100,
  '2023-03-15', '06:00:00', '1899-12-29 18:00:00', 'ab', 'xyz', 1.25, 'b');
INSERT INTO M (ID, V) VALUES (-3, '');
COMMIT;
)"));
  TObjectPtr<TDBCQuery> q = MakeObject<TDBCQuery>(nullptr);
  q->SetDataBase(dm->DB);
  q->SetTransaction(dm->Tr);
  q->SetSQLText("SELECT ID, S, I, BI, F, D, DT, TM, TS, C, V FROM M ORDER BY ID DESC");
  IMemDataSet table;
  dm->LoadQueryIntoDataSet(q.get(), table);
  EXPECT_FALSE(dm->Tr->InTransaction());
  struct {
    const char* name;
    TMemFieldType type;
    Byte flags;
  } fields[] = {{"ID", mftInteger, 4},  {"S", mftInteger, 1}, {"I", mftInteger, 1}, {"BI", mftInt64, 1},
                {"F", mftSingle, 1},    {"D", mftDouble, 1},  {"DT", mftDouble, 1}, {"TM", mftDouble, 1},
                {"TS", mftDouble, 1},   {"C", mftAnsiString, 1}, {"V", mftAnsiString, 0}};
  ASSERT_EQ(11, table->GetFieldCount());
  for (Integer i = 0; i < 11; ++i) {
    SCOPED_TRACE(fields[i].name);
    EXPECT_EQ(fields[i].name, table->GetFieldName(i));
    EXPECT_EQ(fields[i].type, table->GetFieldType(i));
    EXPECT_EQ(fields[i].flags, table->GetFieldFlags(i));
  }
  ASSERT_EQ(2, table->GetRecordCount());
  const Integer byId = table->FindIndexOnField(0);
  TMemRecord* full = table->FindInteger(byId, 7);
  ASSERT_EQ(table->First(), full);
  EXPECT_EQ(-32768, full->GetInteger(1));
  EXPECT_EQ(2147483647, full->GetInteger(2));
  EXPECT_EQ(INT64_MIN, full->GetInt64(3));
  EXPECT_EQ(1.5f, full->GetSingle(4));
  EXPECT_EQ(-2.25e100, full->GetDouble(5));
  EXPECT_EQ(EncodeDate(2023, 3, 15), full->GetDouble(6));
  EXPECT_EQ(0.25, full->GetDouble(7));
  EXPECT_EQ(-1.75, full->GetDouble(8));
  EXPECT_EQ("ab   ", full->GetAnsiString(9));
  EXPECT_EQ("xyz", full->GetAnsiString(10));
  TMemRecord* empty = table->FindInteger(byId, -3);
  ASSERT_NE(nullptr, empty);
  for (Integer i = 1; i < 10; ++i) EXPECT_TRUE(empty->IsNull(i)) << i;
  EXPECT_FALSE(empty->IsNull(10));
  EXPECT_EQ("", empty->GetAnsiString(10));

  // Scaled numbers and blobs have no field type; the query is closed anyway.
  for (const char* column : {"N9", "B"}) {
    q->SetSQLText(std::string("SELECT ID, ") + column + " FROM M");
    try {
      dm->LoadQueryIntoDataSet(q.get(), table);
      ADD_FAILURE() << column;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ("Field type not supported", e.AssertMessage()) << column;
    }
    EXPECT_FALSE(dm->Tr->InTransaction()) << column;
  }
}

TEST_F(DatabaseModule, ReportContentOfAStoredCounting) {
  const Integer piet = dm->AddUser("Piet");
  IMemDataSet users;
  dm->GetUsers(users);
  const Integer late = dm->AddUser("Late");  // not in the cache
  const TDateTime when = EncodeDate(2024, 3, 1) + EncodeTime(9, 5, 0, 0);
  const std::string details = test::CountingDetails({{1, "50 euro", 2, "100"}, {5, "Total", 0, "100"}});
  const Integer anonymous = dm->AddCounting(-1, when, details, "EUR", "K1", "Bos BV", Currency(100));
  const Integer named = dm->AddCounting(piet, when, details, "EUR", "K1", "Bos BV", Currency(100));
  const Integer unknown = dm->AddCounting(late, when, details, "EUR", "K1", "Bos BV", Currency(100));
  const Integer damaged =
      dm->AddCounting(piet, when, test::CountingDetails({}, "abc"), "EUR", "K1", "Bos BV", Currency(0));

  TCountingReportContent c = dm->LoadCountingReportContent(anonymous);
  EXPECT_EQ(std::vector<std::string>({"Drawer;K1", "BatchID;" + std::to_string(anonymous), "Date;" + DateToStr(when),
                                      "Time;" + TimeToStr(when), "Company;Bos BV", "Employee;Anonymous",
                                      "Currency;EUR", ";Description;Count;ValueCredit;ValueDebit",
                                      "BankNotes;50 euro;2;100.00;", ";Total;;100.00;"}),
            c.CSVLines);
  EXPECT_EQ("Employee;1 Piet", dm->LoadCountingReportContent(named).CSVLines[5]);
  EXPECT_EQ("Employee;2", dm->LoadCountingReportContent(unknown).CSVLines[5]);
  EXPECT_FALSE(dm->Tr->InTransaction());

  // Damaged details and a missing counting raise, and leave no transaction open.
  EXPECT_THROW(dm->LoadCountingReportContent(damaged), Exception);
  EXPECT_FALSE(dm->Tr->InTransaction());
  EXPECT_THROW(dm->LoadCountingReportContent(99), EAssertionFailed);
  EXPECT_FALSE(dm->Tr->InTransaction());
}

TEST(DatabaseModuleLocation, TheSettingElseTheUsersDataFolder) {
  test::FreshHome home;
  TObjectPtr<TSettings> settings = MakeObject<TSettings>();
  Settings = settings.get();
  {
    TObjectPtr<TdmDatabase> dm = MakeObject<TdmDatabase>(nullptr);
    EXPECT_EQ(UserDataFolder() + "pxdata.fdb", dm->DB->DatabaseName());
    EXPECT_TRUE(fs::is_directory(UserDataFolder()));
    EXPECT_FALSE(dm->DB->Connected());  // it connects at its first operation
  }
  settings->Database = home.Dir().File("elsewhere.fdb");
  EXPECT_EQ(home.Dir().File("elsewhere.fdb"), MakeObject<TdmDatabase>(nullptr)->DB->DatabaseName());
  Settings = nullptr;
}

// The report through the module: a real PDF checked by qpdf, poppler and
// mupdf, with the logo named by the settings.
class CountingReport : public DatabaseModule {
 protected:
  void SetUp() override {
    DatabaseModule::SetUp();
    saved = FormatSettings;
    FormatSettings = DefaultFormatSettings();
    settings = MakeObject<TSettings>();
    Settings = settings.get();
    when = EncodeDate(2024, 3, 1) + EncodeTime(9, 5, 0, 0);
    id = dm->AddCounting(-1, when,
                         test::CountingDetails({{0, "2 euro", 617, "1234"}, {0, "1 euro", 0, "0"},
                                                {4, "Subtotal", 0, "1234"}, {3, "Initial cash", 0, "-12.5"},
                                                {5, "Total", 0, "1221.5"}}),
                         "EUR", "K1", "Bos BV", Currency(1221));
  }
  void TearDown() override {
    Settings = nullptr;
    FormatSettings = saved;
    DatabaseModule::TearDown();
  }
  // Builds the report into a file and answers its path.
  std::string report(TStringList* csv = nullptr) {
    std::unique_ptr<TMemoryStream> pdf = dm->CreateCountingReport(id, csv);
    EXPECT_EQ(0, pdf->Position());
    const std::string file = dir.File("report.pdf");
    pdf->SaveToFile(file);
    return file;
  }
  // The placement of every image mupdf draws: width, height, left and top
  // in points from the top-left corner of the page.
  std::vector<std::vector<double>> images(const std::string& file) {
    std::string out = test::RunChecked("mutool trace '" + file + "'");
    std::vector<std::vector<double>> found;
    std::regex image("<fill_image [^>]*transform=\"([^ ]+) 0 -?0 ([^ ]+) ([^ ]+) ([^ \"]+)\"");
    for (std::sregex_iterator it(out.begin(), out.end(), image), end; it != end; ++it)
      found.push_back({test::PeerNumber((*it)[1].str()), test::PeerNumber((*it)[2].str()),
                       test::PeerNumber((*it)[3].str()), test::PeerNumber((*it)[4].str())});
    return found;
  }
  // Where the logo of that size must stand: one and a third inch left of the
  // right edge, a third of an inch from the top; within one device unit of
  // the producer (600 dpi), to which items are rounded.
  void expectLogo(const std::string& file, double width, double height) {
    const double left = (TMyReportBuilder().GetPageWidth() - 9600) / 100.0;
    std::vector<std::vector<double>> found = images(file);
    ASSERT_EQ(1u, found.size());
    const double unit = 72.0 / 600;
    EXPECT_NEAR(width, found[0][0], unit);
    EXPECT_NEAR(height, found[0][1], unit);
    EXPECT_NEAR(left, found[0][2], unit);
    EXPECT_NEAR(24, found[0][3], unit);
  }

  TFormatSettings saved;
  TObjectPtr<TSettings> settings;
  TDateTime when = 0;
  Integer id = 0;
};

TEST_F(CountingReport, HeaderRowsAndLogoInTheirPlaces) {
  QImage square(64, 64, QImage::Format_RGB32);
  square.fill(QColor(200, 0, 0));
  settings->LogoFile = dir.File("logo.png");
  ASSERT_TRUE(square.save(QString::fromStdString(settings->LogoFile)));
  TObjectPtr<TStringList> csv = MakeObject<TStringList>();
  csv->Add("kept");
  const std::string file = report(csv.get());

  EXPECT_EQ(14, csv->Count());  // what was there, 7 header lines and 6 table lines
  EXPECT_EQ("kept", csv->Get(0));
  EXPECT_EQ("Others;Initial cash;;;12.50", csv->Get(12));
  test::RunChecked("qpdf --check '" + file + "'");
  const std::string fonts = test::RunChecked("pdffonts '" + file + "'");
  std::istringstream fontLines(fonts);
  std::string line;
  int fontCount = 0;
  for (int n = 0; std::getline(fontLines, line); ++n)
    if (n >= 2) {
      ++fontCount;
      EXPECT_NE(std::string::npos, line.find(" yes yes ")) << line;  // embedded subsets
    }
  EXPECT_GE(fontCount, 2);

  // The layout as text: the header pairs, the column titles, then the rows in
  // their order; the debit stands in its own column, a zero count is empty.
  const std::string text = test::RunChecked("pdftotext -layout '" + file + "' -");
  std::vector<std::string> lines;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    std::string compact;
    std::istringstream words(line);
    for (std::string w; words >> w;) compact += (compact.empty() ? "" : " ") + w;
    if (!compact.empty()) lines.push_back(compact);
  }
  EXPECT_EQ(std::vector<std::string>({"Drawer K1 BatchID " + std::to_string(id),
                                      "Date " + DateToStr(when) + " Time " + TimeToStr(when),
                                      "Company Bos BV Employee Anonymous", "Currency EUR",
                                      "Description Count ValueCredit ValueDebit", "Coins 2 euro 617 1,234.00",
                                      "1 euro 0.00", "Subtotal 1,234.00", "Others Initial cash 12.50",
                                      "Total 1,221.50"}),
            lines);
  const size_t debit = text.find("12.50"), creditColumn = text.find("ValueCredit"), debitColumn = text.find("ValueDebit");
  const size_t lineStart = text.rfind('\n', debit) + 1, headStart = text.rfind('\n', creditColumn) + 1;
  EXPECT_GT(debit - lineStart, debitColumn - headStart);  // right of where the credit column ends

  expectLogo(file, 72, 72);
}

TEST_F(CountingReport, LogoFittedOrLeftOut) {
  QImage wide(200, 100, QImage::Format_RGB32);
  wide.fill(QColor(0, 0, 255));
  for (const char* name : {"wide.png", "wide.jpg", "wide.JPEG", "wide.bmp"}) {
    SCOPED_TRACE(name);
    settings->LogoFile = dir.File(name);
    ASSERT_TRUE(wide.save(QString::fromStdString(settings->LogoFile)));
    expectLogo(report(), 72, 36);
  }
  // Missing, empty or corrupt: the report without a logo, and no error.
  test::WriteFileBytes(dir.File("empty.png"), "");
  test::WriteFileBytes(dir.File("corrupt.jpg"), "\xFF\xD8\xFF\xE0 not a picture");
  test::WriteFileBytes(dir.File("corrupt.bmp"), "BM not a picture");
  for (const std::string& name : {dir.File("missing.png"), dir.File("empty.png"), dir.File("corrupt.jpg"),
                                  dir.File("corrupt.bmp"), std::string()}) {
    SCOPED_TRACE(name);
    settings->LogoFile = name;
    const std::string file = report();
    EXPECT_TRUE(images(file).empty());
    test::RunChecked("qpdf --check '" + file + "'");
  }
}

}  // namespace
}  // namespace px
