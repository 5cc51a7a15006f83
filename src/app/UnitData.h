#pragma once
// The database module: the one road from the program to its embedded
// database. It holds the connection, one transaction and the prepared
// queries, creates a missing local database file with its whole schema,
// copies query results into record-store tables for the screens, offers the
// few writes the screens need, and builds the report of a stored counting.
//
// Texts go in and come out as the program's 8-bit text (Windows-1252, the
// record store's AnsiString): the connection passes bytes untranslated, so
// the ISO8859_1 columns hold exactly those bytes and their declared lengths
// count characters.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/UnitDataReport.h"
#include "data/UnitDataSet.h"
#include "dbclient/dbc.h"
#include "platform/core/Classes.h"
#include "platform/core/Currency.h"
#include "platform/core/StringList.h"
#include "platform/core/Streams.h"
#include "platform/core/Types.h"

namespace px {

// File name of the database when no location is configured.
inline constexpr const char* DefaultDatabaseFileName = "pxdata.fdb";

// The database could not be reached, stopped answering or lost its
// connection; what the failed operation was to store was not stored.
PX_DECLARE_EXCEPTION(EDatabaseUnavailable, Exception);
// The connection broke while a write was being committed: it may or may
// not have been stored. Never retried on our own, so nothing is stored twice.
PX_DECLARE_EXCEPTION(EDatabaseStoreUncertain, EDatabaseUnavailable);
// The employee a counting names was deleted meanwhile (on another desk);
// the counting was not stored.
PX_DECLARE_EXCEPTION(EEmployeeDeleted, Exception);

class TDBCWatchdog;

class TdmDatabase : public TComponent {
 public:
  explicit TdmDatabase(TComponent* AOwner);
  ~TdmDatabase() override;

  // The client library the module's database binds.
  static constexpr const char* ClientLibraryName = "fbembed.dll";

  // Components, owned by the module.
  TDBCDataBase* DB;
  TDBCTransaction* Tr;
  TDBCQuery* QUsers;
  TDBCQuery* QUserAdd;
  TDBCQuery* QCountings;
  TDBCQuery* QCountingAdd;
  TDBCQuery* QGetCounting;
  TDBCQuery* QUserDelete;
  TDBCQuery* QuserEdit;

  // Makes sure the database exists, is connected and has the anonymous user.
  // A local file is opened by the embedded engine with the built-in login
  // (it checks none); a server is logged in to with the DatabaseUser and
  // DatabasePassword settings when they are set, else with the client
  // library's environment.
  //
  // Every operation of the module ends within the DatabaseTimeout setting:
  // connecting uses it as the connect time-out, and a call that runs longer
  // is aborted (EDatabaseUnavailable). An operation that finds the
  // connection lost (the server was restarted) attaches afresh and runs
  // once more, unless the loss came while a write was being committed
  // (EDatabaseStoreUncertain).
  void OpenDatabase();
  // Creates the database file named by DB with its whole schema. Each schema
  // statement is committed on its own; when any step fails the new file is
  // removed again before the error goes on, so a later start creates it
  // afresh instead of taking a half-built file for a database.
  void CreateDatabase();

  // The users without the anonymous one; the same table becomes the users
  // cache that the counting report looks names up in.
  void GetUsers(IMemDataSet& Users);
  void GetCountings(IMemDataSet& Countings);
  Integer AddUser(const std::string& Name);
  void EditUser(Integer ID, const std::string& Name, Integer Status);
  void DeleteUser(Integer ID);
  // Values is the enciphered details stream, a byte string that may hold
  // NULs. The total is stored in hundredths, rounded halves to even. An
  // employee deleted meanwhile raises EEmployeeDeleted.
  Integer AddCounting(Integer UserID, TDateTime When, const std::string& Values, const std::string& Valuta,
                      const std::string& CashDrawer, const std::string& CompanyName, Currency Total);

  // The PDF report of counting ID, positioned at 0; the caller owns it.
  // When CSV is given, the report's header and table are appended to it as
  // semicolon-separated UTF-8 lines. The logo is the file named by the
  // "LogoFile" setting; one that is missing or unreadable is left out.
  std::unique_ptr<TMemoryStream> CreateCountingReport(Integer ID, TStringList* CSV);

  // The cells and CSV lines of the report of counting ID, read through
  // QGetCounting; the employee is named from the users cache, which is
  // loaded first when it is still empty.
  TCountingReportContent LoadCountingReportContent(Integer ID);

  // Copies the rows of the query into a new table: one field per column,
  // the "ID" column indexed.
  void LoadQueryIntoDataSet(TDBCQuery* Query, IMemDataSet& Table);

  // The users cache (empty until the first GetUsers).
  const IMemDataSet& UsersCache() const { return users_; }

  // Names the database: the "Database" setting, else the default file in the
  // per-user data folder (made when missing). Without settings the name
  // stays as it is.
  void DataModuleCreate(TObject* Sender);

  // Called with each schema statement (0-based step) before it runs; it may
  // change the text. Lets tests make a chosen step fail in the engine.
  std::function<void(int Step, std::string& SQL)> OnSchemaStatement;

  // Called inside every bounded operation once it is connected, before its
  // work. Lets tests stop the server at that point.
  std::function<void()> OnConnectedCall;
  // Called before a write is committed. Lets tests stop the server there.
  std::function<void()> OnBeforeCommit;

 private:
  std::string logoFile() const;
  Integer timeoutSeconds() const;
  // Puts the login and connect time-out that suit the database name into
  // the connection's parameters.
  void applyConnectionParams();
  void openDatabase();
  void createDatabase();
  TCountingReportContent loadCountingReportContent(Integer ID);
  // AddCounting's work; PendingId is the number the database gave the
  // counting, set before it is committed.
  Integer addCounting(Integer UserID, TDateTime When, const std::string& Values, const std::string& Valuta,
                      const std::string& CashDrawer, const std::string& CompanyName, Int64 Hundredths,
                      Integer& PendingId);
  // Lets go of a connection that is broken or was aborted, without asking
  // the server anything that could wait.
  void dropConnection() noexcept;
  // The server, database and user for messages.
  std::string whereText() const;
  // Runs one operation of the module within the time bound (see OpenDatabase).
  // StoreNote is added to the message when it fails for the connection.
  template <class F>
  // FailureText names what failed when no connection came about.
  auto bounded(const char* StoreNote, F&& Operation, const char* FailureText = nullptr) -> decltype(Operation());
  // Runs a write and commits it; a commit that breaks with the connection
  // is reported as EDatabaseStoreUncertain.
  template <class Fill, class Run>
  auto runWrite(TDBCQuery* Query, Fill&& fill, Run&& run) -> decltype(run());

  std::unique_ptr<TDBCWatchdog> watchdog_;
  int callDepth_ = 0;
  bool committing_ = false;

  IMemDataSet users_;
};

// The statements that build the schema of a new database, in order.
const std::vector<std::string>& SchemaStatements();

// The module of the running program (set while it exists), made by the
// start-up after the settings; it connects at its first operation.
extern TdmDatabase* dmDatabase;
void InitializeDatabaseModule();
void FinalizeDatabaseModule();

}  // namespace px
