#include "app/UnitData.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <type_traits>

#include "app/UnitSettings.h"
#include "dbclient/dbcWatchdog.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Format.h"

namespace px {

TdmDatabase* dmDatabase = nullptr;

namespace {

// The embedded engine checks no password; this login is used for local files
// only and never sent to a server.
constexpr const char* AdministratorPassword = "plumorbit";
constexpr const char* AnonymousUserInsert = "INSERT INTO USERS ( ID, NAME, STATUS ) VALUES ( -1, 'Anonymous', -1 )";

std::string joinLines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

TDBCQuery* makeQuery(TdmDatabase* owner, const char* name, const char* sql) {
  auto* q = CreateComponent<TDBCQuery>(owner);
  q->SetName(name);
  q->SetDataBase(owner->DB);
  q->SetTransaction(owner->Tr);
  q->CachedFetch = false;
  q->SetSQLText(sql);
  return q;
}

// Ends the query's work after a failure; a second failure here must not hide
// the first one.
void closeAfterFailure(TDBCQuery* q, TEndTransMode mode) noexcept {
  try {
    q->Close(mode);
  } catch (...) {
  }
}

TMemFieldType fieldTypeOf(TSQLFieldKind kind) {
  switch (kind) {
    case uftChar:
    case uftVarchar: return mftAnsiString;
    case uftSmallint:
    case uftInteger: return mftInteger;
    case uftInt64: return mftInt64;
    case uftFloat: return mftSingle;
    case uftDoublePrecision: return mftDouble;
    case uftTimestamp:
    case uftDate:
    case uftTime: return mftDouble;
    default: Assert(false, "Field type not supported"); return mftNone;
  }
}

// Field flag of a column that identifies the row.
constexpr Byte IdFieldFlag = 4;

}  // namespace

const std::vector<std::string>& SchemaStatements() {
  static const std::vector<std::string> statements = {
      "CREATE GENERATOR COUNTINGIDS",
      "CREATE GENERATOR USERIDS",
      joinLines({"CREATE TABLE COUNTINGS (",
                 "    ID           INTEGER NOT NULL,",
                 "    USERID       INTEGER NOT NULL,",
                 "    \"WHEN\"       TIMESTAMP NOT NULL,",
                 "    \"VALUES\"     VARCHAR(2048) NOT NULL,",
                 "    VALUTA       VARCHAR(10) NOT NULL,",
                 "    CASHDRAWER   VARCHAR(10) NOT NULL,",
                 "    COMPANYNAME  VARCHAR(80) NOT NULL,",
                 "    TOTALVALUE   BIGINT",
                 ")"}),
      joinLines({"CREATE TABLE USERS (",
                 "    ID      INTEGER NOT NULL,",
                 "    NAME    VARCHAR(64) NOT NULL,",
                 "    STATUS  INTEGER DEFAULT 1 NOT NULL",
                 ")"}),
      "ALTER TABLE COUNTINGS ADD CONSTRAINT PK_COUNTINGS PRIMARY KEY (ID)",
      "ALTER TABLE USERS ADD CONSTRAINT PK_USERS PRIMARY KEY (ID)",
      "ALTER TABLE COUNTINGS ADD CONSTRAINT FK_COUNTINGS_1 FOREIGN KEY (USERID) REFERENCES USERS (ID)",
      joinLines({"CREATE TRIGGER COUNTINGS_BI FOR COUNTINGS",
                 "ACTIVE BEFORE INSERT POSITION 0",
                 "AS",
                 "begin",
                 "  if (new.id is null) then",
                 "    new.id = gen_id(countingids,1);",
                 "end"}),
      joinLines({"CREATE TRIGGER USERS_BI FOR USERS",
                 "ACTIVE BEFORE INSERT POSITION 0",
                 "as",
                 "begin",
                 "  if (new.id is null) then",
                 "    new.id = gen_id(userids,1);",
                 "end"}),
      joinLines({"CREATE PROCEDURE ADDCOUNTING (",
                 "    USERID INTEGER,",
                 "    \"WHEN\" TIMESTAMP,",
                 "    \"VALUES\" VARCHAR(2048),",
                 "    VALUTA VARCHAR(10),",
                 "    CASHDRAWER VARCHAR(10),",
                 "    COMPANYNAME VARCHAR(80),",
                 "    TOTALVALUE BIGINT)",
                 "RETURNS (",
                 "    ID INTEGER)",
                 "AS",
                 "begin",
                 "    ID = gen_id( countingids, 1 );",
                 "    INSERT INTO countings ( ID, USERID, \"WHEN\", \"VALUES\", VALUTA, CASHDRAWER, COMPANYNAME, "
                 "TOTALVALUE )",
                 "    VALUES ( :ID, :USERID, :\"WHEN\", :\"VALUES\", :VALUTA, :CASHDRAWER, :COMPANYNAME, :TOTALVALUE );",
                 "    suspend;",
                 "end"}),
      joinLines({"CREATE PROCEDURE ADDUSER (",
                 "    NAME VARCHAR(80))",
                 "RETURNS (",
                 "    ID INTEGER)",
                 "AS",
                 "begin",
                 "    ID = gen_id( USERIDS, 1 );",
                 "    INSERT INTO USERS ( ID, NAME, STATUS ) VALUES ( :ID, :NAME, 1 );",
                 "    suspend;",
                 "end"}),
      AnonymousUserInsert,
  };
  return statements;
}

TdmDatabase::TdmDatabase(TComponent* AOwner) : TComponent(AOwner) {
  SetName("dmDatabase");
  DB = CreateComponent<TDBCDataBase>(this);
  DB->SetName("DB");
  // The login is put in at connecting, when the kind of name is known.
  DB->Params().SetText("sql_dialect=3\nlc_ctype=NONE");
  DB->SetLibraryName(ClientLibraryName);
  DB->SetDatabaseName(DefaultDatabaseFileName);
  Tr = CreateComponent<TDBCTransaction>(this);
  Tr->SetName("Tr");
  Tr->SetDataBase(DB);
  QUsers = makeQuery(this, "QUsers", "SELECT * FROM USERS");
  QUserAdd = makeQuery(this, "QUserAdd", "select ID from ADDUSER( ? )");
  // The list shows no details: they are read when a counting's report is
  // built, so that opening the history moves only what the list shows.
  QCountings = makeQuery(this, "QCountings",
                         "SELECT ID, USERID, \"WHEN\", VALUTA, CASHDRAWER, COMPANYNAME, TOTALVALUE FROM COUNTINGS");
  QCountingAdd = makeQuery(this, "QCountingAdd", "select ID from ADDCOUNTING( ?, ?, ?, ?, ?, ?, ? )");
  QGetCounting = makeQuery(this, "QGetCounting", "SELECT * FROM COUNTINGS WHERE ID = ?");
  QUserDelete = makeQuery(this, "QUserDelete", "delete from USERS where ID =  ? ");
  QuserEdit = makeQuery(this, "QuserEdit", "update USERS set NAME = ?, STATUS = ?  where ID =  ? ");
  watchdog_ = std::make_unique<TDBCWatchdog>(DB->Library());
  DataModuleCreate(this);
}

void TdmDatabase::DataModuleCreate(TObject*) {
  if (!Settings) return;
  if (!Settings->Database.empty()) {
    DB->SetDatabaseName(Settings->Database);
    return;
  }
  const std::string folder = UserDataFolder();
  std::error_code ec;
  if (std::filesystem::create_directories(folder, ec))
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
  DB->SetDatabaseName(folder + DefaultDatabaseFileName);
}

std::string TdmDatabase::logoFile() const { return Settings ? Settings->LogoFile : std::string(); }

void InitializeDatabaseModule() { dmDatabase = MakeObject<TdmDatabase>(nullptr).release(); }

void FinalizeDatabaseModule() {
  TdmDatabase* dm = dmDatabase;
  dmDatabase = nullptr;
  FreeObject(dm);
}

TdmDatabase::~TdmDatabase() {
  if (dmDatabase == this) dmDatabase = nullptr;
  // Letting go of the connection is bounded like every other call: a server
  // that stopped answering must not hold up the program's end.
  if (DB->Connected()) {
    watchdog_->Arm(std::chrono::seconds(timeoutSeconds()));
    watchdog_->Watch(DB->DbHandle);
    try {
      DB->SetConnected(false);
    } catch (...) {
      dropConnection();
    }
    watchdog_->Disarm();
  }
  // The watchdog calls into the connection's library: it goes first.
  watchdog_.reset();
  // The queries and the transaction go before the connection they use.
  DestroyComponents();
}

Integer TdmDatabase::timeoutSeconds() const {
  return Settings ? Settings->DatabaseTimeoutSeconds() : TSettings::DefaultDatabaseTimeout;
}

void TdmDatabase::applyConnectionParams() {
  TStrings& params = DB->Params();
  auto remove = [&](const char* name) {
    const Integer i = params.IndexOfName(name);
    if (i >= 0) params.Delete(i);
  };
  remove("user_name");
  remove("password");
  remove("connect_timeout");
  if (TDBCDataBase::IsLocalDatabaseName(DB->DatabaseName())) {
    DB->SetUserName("sysdba");
    DB->SetPassWord(AdministratorPassword);
    return;
  }
  // A server checks the login: the shop's own, or none at all so that the
  // client library takes ISC_USER and ISC_PASSWORD from the environment.
  const std::string user = Settings ? Settings->DatabaseUser : std::string();
  const std::string password = Settings ? Settings->DatabasePassword : std::string();
  // The connection's parameters are lines of trimmed values: a line break
  // would start another parameter and a blank at either end would be lost.
  for (const std::string* value : {&user, &password}) {
    for (char c : *value)
      if (static_cast<unsigned char>(c) < ' ')
        throw EDatabaseUnavailable(
            "The settings DatabaseUser and DatabasePassword must not hold control characters.");
    if (!value->empty() && (value->front() == ' ' || value->back() == ' '))
      throw EDatabaseUnavailable(
          "The settings DatabaseUser and DatabasePassword must not begin or end with a blank.");
  }
  if (!user.empty()) DB->SetUserName(user);
  if (!password.empty()) DB->SetPassWord(password);
  DB->WriteParam("connect_timeout", IntToStr(timeoutSeconds()));
}

std::string TdmDatabase::whereText() const {
  std::string server, path;
  TDBCDataBase::SplitDatabaseName(DB->DatabaseName(), server, path);
  std::string user = DB->UserName();
  if (user.empty())
    if (const char* env = std::getenv("ISC_USER")) user = env;
  if (user.empty()) user = "(none)";
  return Format("Server: %s\r\nDatabase: %s\r\nUser: %s", server.empty() ? "(this computer)" : server, path, user);
}

void TdmDatabase::dropConnection() noexcept {
  TDBCLibrary& lib = DB->Library();
  const bool raise = lib.RaiseErrors;
  lib.RaiseErrors = false;
  try {
    DB->SetConnected(false);
  } catch (...) {
  }
  lib.RaiseErrors = raise;
  DB->DbHandle = 0;
  Tr->TrHandle = 0;
}

template <class F>
auto TdmDatabase::bounded(const char* StoreNote, F&& Operation, const char* FailureText)
    -> decltype(Operation()) {
  // Operations call one another (the report reads the users): only the
  // outermost one is bounded and retried.
  if (callDepth_ > 0) return Operation();
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(callDepth_);
  const Integer seconds = timeoutSeconds();
  for (int attempt = 0;; ++attempt) {
    const bool wasConnected = DB->Connected();
    committing_ = false;
    watchdog_->Arm(std::chrono::seconds(seconds));
    watchdog_->Watch(DB->DbHandle);
    try {
      if constexpr (std::is_void_v<decltype(Operation())>) {
        Operation();
        watchdog_->Disarm();
        return;
      } else {
        auto result = Operation();
        watchdog_->Disarm();
        return result;
      }
    } catch (const Exception& e) {
      const bool aborted = watchdog_->Disarm();
      const bool expired = aborted || watchdog_->Expired();
      const bool lost = wasConnected && !DB->Connected();
      const bool wasCommitting = committing_;
      committing_ = false;
      const std::string note = StoreNote ? std::string(" ") + StoreNote : std::string();
      if (expired) {
        // An aborted attachment is gone; a late answer may have left one
        // behind that nobody trusts any more either.
        dropConnection();
        if (wasCommitting)
          throw EDatabaseStoreUncertain(Format(
              "The database server did not answer within %d seconds while the data was being stored: it may or "
              "may not have been stored. Look it up before you store it again.\r\n\r\n%s",
              seconds, whereText()));
        throw EDatabaseUnavailable(Format("The database server did not answer within %d seconds.%s\r\n\r\n%s",
                                          seconds, note, whereText()));
      }
      if (dynamic_cast<const EEmployeeDeleted*>(&e) || dynamic_cast<const EDatabaseUnavailable*>(&e)) throw;
      if (lost || (wasCommitting && !DB->Connected())) {
        dropConnection();
        if (wasCommitting)
          throw EDatabaseStoreUncertain(
              "The connection to the database server broke while the data was being stored: it may or may not "
              "have been stored. Look it up before you store it again.\r\n\r\n" +
              whereText() + "\r\n\r\n" + e.Message());
        // The server went away since the last operation (restarted, say):
        // the next try attaches afresh. Nothing was committed, so running
        // the operation once more cannot store anything twice.
        if (attempt == 0) continue;
        throw EDatabaseUnavailable("The connection to the database server was lost." + note + "\r\n\r\n" +
                                   whereText() + "\r\n\r\n" + e.Message());
      }
      if (!wasConnected && !DB->Connected() && !TDBCDataBase::IsLocalDatabaseName(DB->DatabaseName())) {
        const auto* client = dynamic_cast<const EDBCError*>(&e);
        const bool refused = client && client->GDSCode == dbcLogin;
        throw EDatabaseUnavailable(
            std::string(refused       ? "The database server refused the login."
                        : FailureText ? FailureText
                                      : "Could not connect to the database server.") +
            note + "\r\n\r\n" + whereText() + "\r\n\r\n" + e.Message());
      }
      throw;
    } catch (...) {
      // Never left armed: it would abort the next, innocent call.
      watchdog_->Disarm();
      committing_ = false;
      throw;
    }
  }
}

template <class Fill, class Run>
auto TdmDatabase::runWrite(TDBCQuery* q, Fill&& fill, Run&& run) -> decltype(run()) {
  // Prepared with the parameters described, so that a value too long for
  // its parameter is refused before it is sent; then filled, run and
  // committed. Any failure rolls the work back and leaves no transaction
  // open.
  try {
    q->Prepare(true);
    fill(q->Params());
    auto result = run();
    committing_ = true;
    if (OnBeforeCommit) OnBeforeCommit();
    q->Close(etmCommit);
    committing_ = false;
    return result;
  } catch (...) {
    closeAfterFailure(q, etmRollback);
    throw;
  }
}

void TdmDatabase::OpenDatabase() {
  bounded(nullptr, [&] { openDatabase(); });
}

void TdmDatabase::openDatabase() {
  if (DB->Connected()) {
    if (OnConnectedCall) OnConnectedCall();
    return;
  }
  applyConnectionParams();
  const std::string& name = DB->DatabaseName();
  if (TDBCDataBase::IsLocalDatabaseName(name)) {
    std::error_code ec;
    if (!std::filesystem::exists(name, ec)) createDatabase();
  }
  if (!DB->Connected()) DB->SetConnected(true);
  watchdog_->Watch(DB->DbHandle);
  if (OnConnectedCall) OnConnectedCall();
  TObjectPtr<TDBCQuery> q = MakeObject<TDBCQuery>(nullptr);
  q->SetDataBase(DB);
  q->SetTransaction(Tr);
  q->SetSQLText("SELECT COUNT(*) FROM USERS WHERE ID = -1");
  q->Open();
  Integer count = q->Fields().GetAsInteger(0);
  q->Close(etmStayIn);
  if (count <= 0) {
    q->SetSQLText(AnonymousUserInsert);
    try {
      q->ExecSQL();
    } catch (const Exception&) {
      // Another start may have added it meanwhile; the user is there either
      // way. A lost connection is not that, though.
      if (!DB->Connected()) throw;
    }
  }
  Tr->Commit();
}

void TdmDatabase::CreateDatabase() {
  bounded(
      nullptr,
      [&] {
        applyConnectionParams();
        createDatabase();
      },
      "Could not create the database on the server (a database that exists already is never created anew).");
}

void TdmDatabase::createDatabase() {
  DB->SetConnected(false);
  const std::string name = DB->DatabaseName();
  bool created = false;
  try {
    DB->CreateDatabase(csISO8859_1, 4096);
    created = true;
    DB->SetConnected(true);
    watchdog_->Watch(DB->DbHandle);
    TDBCLibrary& lib = DB->Library();
    const auto& statements = SchemaStatements();
    for (size_t i = 0; i < statements.size(); ++i) {
      std::string sql = statements[i];
      if (OnSchemaStatement) OnSchemaStatement(static_cast<int>(i), sql);
      // A table can be used only once the transaction that made it has
      // committed: each statement gets its own. The text goes to the engine
      // as it stands, so that the stored sources keep their line breaks.
      Tr->StartTransaction();
      lib.RunImmediate(DB->DbHandle, Tr->TrHandle, sql, static_cast<Word>(DB->SQLDialect()), nullptr);
      Tr->Commit();
    }
  } catch (...) {
    try {
      Tr->Rollback();
    } catch (...) {
    }
    try {
      DB->SetConnected(false);
    } catch (...) {
      DB->DbHandle = 0;
    }
    if (created && TDBCDataBase::IsLocalDatabaseName(name)) {
      std::error_code ec;
      std::filesystem::remove(name, ec);
    }
    throw;
  }
}

void TdmDatabase::LoadQueryIntoDataSet(TDBCQuery* Query, IMemDataSet& Table) {
  IMemDataSet table = CreateMemDataSet();
  try {
    Query->Open();
    TSQLResult& r = Query->Fields();
    const Integer columns = r.GetFieldCount();
    std::vector<TMemFieldType> types;
    for (Integer i = 0; i < columns; ++i) {
      const Word c = static_cast<Word>(i);
      TMemFieldType type = fieldTypeOf(r.GetFieldType(c));
      std::string name = r.GetAliasName(c);
      Byte flags = 0;
      if (r.GetIsNullable(c)) flags |= mffOptional;
      if (name == "ID") flags |= IdFieldFlag;
      Integer field = table->AddField(type, name, flags);
      // The grids' views key on the row's ID.
      if (flags & IdFieldFlag) table->AddFieldIndex(field, mitUnorderedUnique);
      types.push_back(type);
    }
    while (!Query->Eof()) {
      TMemRecord* rec = table->AddRecord();
      try {
        for (Integer i = 0; i < columns; ++i) {
          const Word c = static_cast<Word>(i);
          if (r.GetIsNull(c)) continue;
          switch (types[static_cast<size_t>(i)]) {
            case mftAnsiString: rec->SetAnsiString(i, r.GetAsString(c)); break;
            case mftInteger: rec->SetInteger(i, r.GetAsInteger(c)); break;
            case mftInt64: rec->SetInt64(i, r.GetAsInt64(c)); break;
            case mftSingle: rec->SetSingle(i, r.GetAsSingle(c)); break;
            default: {
              TSQLFieldKind kind = r.GetFieldType(c);
              rec->SetDouble(i, kind == uftDoublePrecision ? r.GetAsDouble(c) : r.GetAsDateTime(c));
              break;
            }
          }
        }
      } catch (...) {
        rec->Free();
        throw;
      }
      Query->Next();
    }
  } catch (...) {
    closeAfterFailure(Query, etmCommit);
    throw;
  }
  Query->Close(etmCommit);
  Table = table;
}

void TdmDatabase::GetUsers(IMemDataSet& Users) {
  bounded(nullptr, [&] {
    openDatabase();
    IMemDataSet table;
    LoadQueryIntoDataSet(QUsers, table);
    users_ = table;
    Integer index = table->FindIndexOnFieldName("ID");
    if (TMemRecord* anonymous = table->FindInteger(index, -1)) anonymous->Free();
    Users = table;
  });
}

void TdmDatabase::GetCountings(IMemDataSet& Countings) {
  bounded(nullptr, [&] {
    openDatabase();
    LoadQueryIntoDataSet(QCountings, Countings);
  });
}

Integer TdmDatabase::AddUser(const std::string& Name) {
  return bounded(nullptr, [&] {
    openDatabase();
    return runWrite(
        QUserAdd, [&](TSQLParams& p) { p.SetAsString(0, Name); },
        [&] {
          QUserAdd->Open();
          Assert(!QUserAdd->Eof());
          return QUserAdd->Fields().GetAsInteger(0);
        });
  });
}

void TdmDatabase::EditUser(Integer ID, const std::string& Name, Integer Status) {
  bounded(nullptr, [&] {
    openDatabase();
    runWrite(
        QuserEdit,
        [&](TSQLParams& p) {
          p.SetAsString(0, Name);
          p.SetAsInteger(1, Status);
          p.SetAsInteger(2, ID);
        },
        [&] {
          QuserEdit->ExecSQL();
          return 0;
        });
  });
}

void TdmDatabase::DeleteUser(Integer ID) {
  bounded(nullptr, [&] {
    openDatabase();
    runWrite(
        QUserDelete, [&](TSQLParams& p) { p.SetAsInteger(0, ID); },
        [&] {
          QUserDelete->ExecSQL();
          return 0;
        });
  });
}

Integer TdmDatabase::AddCounting(Integer UserID, TDateTime When, const std::string& Values, const std::string& Valuta,
                                 const std::string& CashDrawer, const std::string& CompanyName, Currency Total) {
  const Int64 hundredths = (Total * 100).Round();
  Integer pendingId = 0;
  try {
    return addCounting(UserID, When, Values, Valuta, CashDrawer, CompanyName, hundredths, pendingId);
  } catch (const EDatabaseStoreUncertain& e) {
    // The number the database gave it is the one to look for.
    if (pendingId == 0) throw;
    throw EDatabaseStoreUncertain(
        Format("Counting %d may or may not have been stored: the connection to the database server broke while "
               "it was being stored. Look for counting %d in the history before you finalize this counting again."
               "\r\n\r\n",
               pendingId, pendingId) +
        e.Message());
  }
}

Integer TdmDatabase::addCounting(Integer UserID, TDateTime When, const std::string& Values,
                                 const std::string& Valuta, const std::string& CashDrawer,
                                 const std::string& CompanyName, Int64 hundredths, Integer& pendingId) {
  return bounded("The counting was not stored; it stays on the sheet: finalize it again once the server answers.",
                 [&] {
    openDatabase();
    try {
      return runWrite(
          QCountingAdd,
          [&](TSQLParams& p) {
            p.SetAsInteger(0, UserID);
            p.SetAsDateTime(1, When);
            p.SetAsString(2, Values);
            p.SetAsString(3, Valuta);
            p.SetAsString(4, CashDrawer);
            p.SetAsString(5, CompanyName);
            p.SetAsInt64(6, hundredths);
          },
          [&] {
            QCountingAdd->Open();
            Assert(!QCountingAdd->Eof());
            pendingId = QCountingAdd->Fields().GetAsInteger(0);
            return pendingId;
          });
    } catch (const EDBCError& e) {
      // The employee went (deleted on another desk) after this desk read
      // its list.
      if (e.GDSCode != dbcForeignKey || !DB->Connected()) throw;
      throw EEmployeeDeleted(
          "The employee chosen for this counting no longer exists: she was deleted meanwhile, on another desk. "
          "The counting was not stored; it stays on the sheet. Choose the employee again and finalize it.");
    }
  });
}

std::unique_ptr<TMemoryStream> TdmDatabase::CreateCountingReport(Integer ID, TStringList* CSV) {
  TCountingReportContent content = LoadCountingReportContent(ID);
  std::unique_ptr<TBitmap> logo = LoadLogoBitmap(logoFile());
  std::unique_ptr<TMemoryStream> stream = ProduceCountingReport(content, logo.get());
  if (CSV)
    for (const std::string& line : content.CSVLines) CSV->Add(line);
  return stream;
}

TCountingReportContent TdmDatabase::LoadCountingReportContent(Integer ID) {
  return bounded(nullptr, [&] { return loadCountingReportContent(ID); });
}

TCountingReportContent TdmDatabase::loadCountingReportContent(Integer ID) {
  openDatabase();
  if (!users_) {
    IMemDataSet users;
    GetUsers(users);
  }
  Assert(users_ != nullptr);
  TCountingRow row;
  try {
    QGetCounting->Prepare(true);
    QGetCounting->Params().SetAsInteger(0, ID);
    QGetCounting->Open();
    Assert(!QGetCounting->Eof());
    TSQLResult& r = QGetCounting->Fields();
    row.ID = r.ByNameAsInteger("ID");
    row.UserID = r.ByNameAsInteger("USERID");
    row.When = r.ByNameAsDateTime("WHEN");
    // Enciphered bytes: NULs and all, never through a C string.
    row.Values = r.GetAsString(r.GetFieldIndex("VALUES"));
    row.Valuta = r.ByNameAsString("VALUTA");
    row.CashDrawer = r.ByNameAsString("CASHDRAWER");
    row.CompanyName = r.ByNameAsString("COMPANYNAME");
  } catch (...) {
    closeAfterFailure(QGetCounting, etmCommit);
    throw;
  }
  QGetCounting->Close(etmCommit);
  return BuildCountingReportContent(row, CountingEmployeeText(row.UserID, users_));
}

}  // namespace px
