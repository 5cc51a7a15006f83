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

class TdmDatabase : public TComponent {
 public:
  explicit TdmDatabase(TComponent* AOwner);
  ~TdmDatabase() override;

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
  // NULs. The total is stored in hundredths, rounded halves to even.
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

 private:
  std::string logoFile() const;

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
