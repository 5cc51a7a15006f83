#pragma once
// The client components a data module holds: the database connection, the
// transaction that may span several connections, and the statement whose
// every operation climbs or descends a ladder of states.
#include <ibase.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbclient/dbcconst.h"
#include "dbclient/dbclib.h"
#include "dbclient/dbclibCharset.h"
#include "dbclient/dbclibParams.h"
#include "dbclient/dbclibResult.h"
#include "platform/core/Classes.h"
#include "platform/core/Sets.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/StringList.h"

namespace px {

class TDBCTransaction;
class TDBCStatement;
class TDBCEventAlerter;

enum TEndTransMode { etmDefault, etmStayIn, etmCommit, etmCommitRetaining, etmRollback, etmRollbackRetaining };

enum TShutdownOption { sdCache, sdAttachment, sdTransaction, sdForce };
using TShutdownOptions = TSet<TShutdownOption>;

using TOnEndTransaction = std::function<void(TObject* Sender, TEndTransMode& Mode)>;
using TOnInfoTableOpCount = std::function<void(TObject* Sender, const std::string& TableName, Integer Count)>;
using TOnInfoIntegerCount = std::function<void(TObject* Sender, Integer Count)>;
using TOnInfoStringCount = std::function<void(TObject* Sender, const std::string& Value)>;

class TDBCComponent : public TComponent {
 public:
  using TComponent::TComponent;
};

class TDBCDataBase : public TDBCComponent {
 public:
  explicit TDBCDataBase(TComponent* AOwner);
  ~TDBCDataBase() override;

  TDBCLibrary& Library() { return *library_; }
  isc_db_handle DbHandle = 0;

  TStrings& Params() { return *params_; }
  void SetParams(const TStrings& Value) { params_->Assign(&Value); }
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const std::string& Value);
  Integer SQLDialect() const { return sqlDialect_; }
  void SetSQLDialect(Integer Value) { WriteParam("sql_dialect", IntToStr(Value)); }
  TCharacterSet CharacterSet() const { return characterSet_; }
  void SetCharacterSet(TCharacterSet Value) { WriteParam("lc_ctype", CharacterSetName(Value)); }
  std::string UserName() const { return ReadParam("user_name", ""); }
  void SetUserName(const std::string& Value) { WriteParam("user_name", Value); }
  std::string PassWord() const { return ReadParam("password", ""); }
  void SetPassWord(const std::string& Value) { WriteParam("password", Value); }
  std::string Role() const { return ReadParam("sql_role_name", ""); }
  void SetRole(const std::string& Value) { WriteParam("sql_role_name", Value); }
  const std::string& LibraryName() const { return libraryName_; }
  void SetLibraryName(const std::string& Value);
  bool StoreInDFM = true;
  Word SegmentSize() const { return library_->GetSegmentSize(); }
  void SetSegmentSize(Word Value) { library_->SetSegmentSize(Value); }
  TShutdownOptions Shutdown();
  void SetShutdown(TShutdownOptions Value);
  bool Connected() const { return DbHandle != 0; }
  void SetConnected(bool Value);
  TMetaDataOptions& MetaDataOptions() { return *metaDataOptions_; }

  TNotifyEvent AfterConnect, BeforeConnect, AfterDisconnect, BeforeDisconnect, OnConnectionLost;
  // Kept for stored settings; nothing calls them.
  TOnInfoTableOpCount OnInfoReadSeqCount, OnInfoReadIdxCount, OnInfoUpdateCount, OnInfoInsertCount,
      OnInfoDeleteCount, OnInfoBackoutCount, OnInfoPurgeCount, OnInfoExpungeCount;
  TOnInfoIntegerCount OnInfoActiveTransactions, OnInfoLimbo;
  TOnInfoStringCount OnInfoUserNames;

  virtual bool CanConnect() { return true; }
  virtual void DoConnectionLost(TDBCLibrary* Library);
  virtual void FindValueByType(Integer Number, const TDBCErrorClass*& ExceptionClass);

  // Creates the database file named DatabaseName and stays attached to it.
  void CreateDatabase(TCharacterSet DefaultCharacterSet, Integer PageSize);
  // The statement CreateDatabase runs, with every value quoted.
  std::string CreateDatabaseStatement(TCharacterSet DefaultCharacterSet, Integer PageSize) const;

  // A name without a "host:" or "host/port:" prefix (or starting with "/")
  // is a file opened by the engine in this process. Only such a name can be
  // checked for a missing file before it is created; connecting does not
  // depend on it.
  static bool IsLocalDatabaseName(const std::string& Name);
  // The server part and the path of a server name ("host/3050" and "/db/x.fdb"
  // of "host/3050:/db/x.fdb", "host:3050" and "/db/x.fdb" of
  // "inet://host:3050//db/x.fdb"); a local name has no server part.
  static void SplitDatabaseName(const std::string& Name, std::string& Server, std::string& Path);

  std::string ReadParam(const std::string& Name, const std::string& Default) const;
  Integer ReadParam(const std::string& Name, Integer Default) const;
  void WriteParam(const std::string& Name, const std::string& Value);

  void AddTransaction(TDBCTransaction* Transaction);
  void RemoveTransaction(TDBCTransaction* Transaction);
  void AddStatement(TDBCStatement* Statement);
  void RemoveStatement(TDBCStatement* Statement);
  void AddEventAlerter(TDBCEventAlerter* Alerter);
  void RemoveEventAlerter(TDBCEventAlerter* Alerter);
  const std::vector<TDBCTransaction*>& Transactions() const { return transactions_; }
  const std::vector<TDBCStatement*>& Statements() const { return statements_; }
  const std::vector<TDBCEventAlerter*>& EventAlerters() const { return eventAlerters_; }

 private:
  void paramsChanged();

  std::unique_ptr<TDBCLibrary> library_;
  std::string libraryName_;
  TObjectPtr<TStringList> params_;
  std::string databaseName_;
  std::vector<TDBCTransaction*> transactions_;
  std::vector<TDBCStatement*> statements_;
  std::vector<TDBCEventAlerter*> eventAlerters_;
  TCharacterSet characterSet_ = csNONE;
  Integer sqlDialect_ = 3;
  TObjectPtr<TMetaDataOptions> metaDataOptions_;
};

class TDBCTransaction : public TDBCComponent {
 public:
  explicit TDBCTransaction(TComponent* AOwner);
  ~TDBCTransaction() override;

  TDBCDataBase* DataBase() const { return dataBase_; }
  virtual void SetDataBase(TDBCDataBase* Value);
  void AddDataBase(TDBCDataBase* Db);
  void RemoveDataBase(TDBCDataBase* Db);
  Integer DataBaseCount() const { return static_cast<Integer>(dataBases_.size()); }
  TDBCDataBase* DataBases(Integer Index) const { return dataBases_.at(static_cast<size_t>(Index)); }
  void Notification(TComponent* Component, TOperation Operation) override;

  isc_tr_handle TrHandle = 0;
  TTransParams Options = TransParamSet(tpConcurrency, tpWait, tpWrite);
  std::string LockRead, LockWrite;
  TNotifyEvent OnStartTransaction;
  TOnEndTransaction OnEndTransaction;
  bool AutoStart = true;
  bool AutoStop = true;
  TEndTransMode DefaultAction() const { return defaultAction_; }
  void SetDefaultAction(TEndTransMode Value);
  bool InTransaction() const { return TrHandle != 0; }

  void StartTransaction(bool Auto = false);
  // True when the transaction handle was released.
  bool EndTransaction(TEndTransMode Mode, TDBCStatement* Statement, bool Auto);
  bool Commit() { return EndTransaction(etmCommit, nullptr, false); }
  bool Rollback() { return EndTransaction(etmRollback, nullptr, false); }
  void Close(TEndTransMode Mode, bool Auto);

  void AddStatement(TDBCStatement* Statement);
  void RemoveStatement(TDBCStatement* Statement);
  const std::vector<TDBCStatement*>& Statements() const { return statements_; }

 private:
  TDBCLibrary& library();

  TDBCDataBase* dataBase_ = nullptr;
  std::vector<TDBCDataBase*> dataBases_;
  std::vector<TDBCStatement*> statements_;
  TEndTransMode defaultAction_ = etmCommit;
};

class TDBCStatement : public TDBCComponent {
 public:
  explicit TDBCStatement(TComponent* AOwner);
  ~TDBCStatement() override;

  // 0 closed, 1 transaction, 2 executed immediately, 3 statement allocated,
  // 4 prepared, 5 executed.
  Byte State() const { return state_; }
  TDBCTransaction* Transaction() const { return transaction_; }
  virtual void SetTransaction(TDBCTransaction* Value);
  TDBCDataBase* DataBase() const { return dataBase_; }
  void SetDataBase(TDBCDataBase* Value);
  isc_stmt_handle StHandle = 0;
  TEndTransMode OnError = etmRollback;
  const std::string& CursorName() const { return cursorName_; }
  TSQLResult* SQLResult() const { return sqlResult_.get(); }
  bool CachedFetch = true;
  bool FetchBlobs = false;
  Cardinal BufferChunks = 1000;
  TStrings& SQL() { return *sql_; }
  void SetSQL(const TStrings& Value) { sql_->Assign(&Value); }
  void SetSQLText(const std::string& Text) { sql_->SetText(Text); }
  const std::string& ParsedSQL() const { return parsedSQL_; }
  TSQLParams& Params() { return *sqlParams_; }
  TSQLParams& SQLParams() { return *sqlParams_; }
  bool ParseParams() const { return parseParams_; }
  void SetParseParams(bool Value);
  TNotifyEvent OnClose;
  Integer StatementType = 0;
  bool UseCursor = true;
  // The SQL is a script of one statement per line (published by TDBCQuery).
  bool QuickScript = false;

  void Open(bool FetchFirst = true);
  void Next();
  void Execute();
  void ExecSQL();
  void Prepare(bool DescribeParams = false);
  virtual void Close(TEndTransMode Mode);
  TSQLResult& GetFields();
  TSQLResult& Fields() { return GetFields(); }
  bool GetEof() const;
  bool Eof() const { return GetEof(); }
  TDBCDataBase* FindDataBase() const;
  void Notification(TComponent* Component, TOperation Operation) override;

  virtual void StartTransaction();
  virtual void EnterTransactionState();
  virtual void EnterStatementState();
  virtual void EnterPreparedState(bool DescribeParams);
  virtual void EnterExecutedState();
  virtual void ExecuteImmediate();
  virtual void LeaveTransactionState(TEndTransMode Mode, bool Auto);
  virtual void LeaveStatementState(TEndTransMode Mode, bool Auto);
  virtual void LeavePreparedState(TEndTransMode Mode, bool Auto);
  virtual void LeaveExecutedState(TEndTransMode Mode, bool Auto);
  virtual void LeaveExecImmediate(TEndTransMode Mode, bool Auto);
  virtual void FetchNext();
  virtual void FetchPrior();
  virtual void CloseStatement(TEndTransMode Mode, bool Auto);
  virtual void LeaveCurrentState(TEndTransMode Mode, bool Auto);
  void CloseCursor();

 protected:
  virtual std::unique_ptr<TSQLParams> SQLParamsClass(TCharacterSet CharacterSet);
  virtual std::unique_ptr<TSQLResult> SQLResultClass(TCharacterSet CharacterSet);

 private:
  void sqlChanged();
  TDBCLibrary& library() const;
  Word dialect() const;

  Byte state_ = 0;
  TDBCTransaction* transaction_ = nullptr;
  TDBCDataBase* dataBase_ = nullptr;
  std::string cursorName_;
  std::unique_ptr<TSQLResult> sqlResult_;
  TObjectPtr<TStringList> sql_;
  std::string parsedSQL_;
  std::unique_ptr<TSQLParams> sqlParams_;
  bool parseParams_ = true;
  // The output row of an executed procedure: 1 not yet handed out by a
  // fetch, 2 handed out; 0 for every other statement.
  Byte procedureRow_ = 0;
};

class TDBCQuery : public TDBCStatement {
 public:
  using TDBCStatement::TDBCStatement;
};

}  // namespace px
