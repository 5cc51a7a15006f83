#include "dbclient/dbc.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "dbclient/dbcEvents.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/StringUtils.h"

namespace px {

namespace {

template <class T>
void removeFrom(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

template <class T>
void addTo(std::vector<T*>& list, T* item) {
  if (item && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// Doubles every apostrophe so that a value stays one quoted literal.
std::string quoted(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 2);
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

void reportInDestructor(const char* where) noexcept {
  try {
    throw;
  } catch (const Exception& e) {
    OutputDebugString(std::string(where) + ": " + e.Message());
  } catch (...) {
    OutputDebugString(std::string(where) + ": unknown failure");
  }
}

// Lets a destructor go of every entry of a list, last first: release should
// take the entry off the list, and removeFrom makes sure it does. A failure
// is reported and the rest of the list forgotten.
template <class T, class F>
void releaseAll(std::vector<T*>& list, F release, const char* where) noexcept {
  try {
    while (!list.empty()) {
      T* item = list.back();
      release(item);
      removeFrom(list, item);
    }
  } catch (...) {
    reportInDestructor(where);
    list.clear();
  }
}

// Runs the leave step after a failed enter step. The failure the caller must
// see is the one that made the step fail; a second one while ending the
// transaction (say, a rollback on a lost connection) must not replace it.
template <class F>
void leaveAfterFailure(F leave) noexcept {
  try {
    leave();
  } catch (const Exception& e) {
    OutputDebugString("Leaving a failed statement state: " + e.Message());
  } catch (...) {
    OutputDebugString("Leaving a failed statement state: unknown failure");
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// TDBCDataBase

TDBCDataBase::TDBCDataBase(TComponent* AOwner)
    : TDBCComponent(AOwner),
      library_(std::make_unique<TDBCLibrary>()),
      libraryName_(DefaultLibraryName),
      params_(MakeObject<TStringList>()),
      metaDataOptions_(MakeObject<TMetaDataOptions>()) {
  library_->OnConnectionLost = [this](TDBCLibrary* lib) { DoConnectionLost(lib); };
  library_->OnChooseExceptionClass = [this](Integer Number, const TDBCErrorClass*& cls) {
    FindValueByType(Number, cls);
  };
  params_->OnChange = [this](TObject*) { paramsChanged(); };
  SetSQLDialect(3);
  SetCharacterSet(DefaultCharacterSet());
}

TDBCDataBase::~TDBCDataBase() {
  try {
    SetConnected(false);
  } catch (...) {
    reportInDestructor("TDBCDataBase");
    DbHandle = 0;
  }
  try {
    while (!statements_.empty()) statements_.back()->SetDataBase(nullptr);
  } catch (...) {
    reportInDestructor("TDBCDataBase");
    statements_.clear();
  }
  releaseAll(transactions_, [this](TDBCTransaction* tr) { tr->RemoveDataBase(this); }, "TDBCDataBase");
  releaseAll(eventAlerters_, [](TDBCEventAlerter* a) { a->SetDatabase(nullptr); }, "TDBCDataBase");
  params_->OnChange = nullptr;
}

void TDBCDataBase::paramsChanged() {
  characterSet_ = FindCharacterSet(ReadParam("lc_ctype", "NONE"));
  sqlDialect_ = ReadParam("sql_dialect", 3);
}

std::string TDBCDataBase::ReadParam(const std::string& Name, const std::string& Default) const {
  Integer i = params_->IndexOfName(Name);
  if (i < 0) return Default;
  std::string line = params_->Get(i);
  return line.substr(line.find('=') + 1);
}

Integer TDBCDataBase::ReadParam(const std::string& Name, Integer Default) const {
  return StrToInt(ReadParam(Name, IntToStr(Default)));
}

void TDBCDataBase::WriteParam(const std::string& Name, const std::string& Value) {
  Integer i = params_->IndexOfName(Name);
  std::string line = Name + "=" + Value;
  if (i >= 0) params_->Put(i, line);
  else params_->Add(line);
}

void TDBCDataBase::SetDatabaseName(const std::string& Value) {
  if (ComponentState().Contains(csDesigning)) SetConnected(false);
  databaseName_ = Value;
}

void TDBCDataBase::SetLibraryName(const std::string& Value) {
  SetConnected(false);
  library_->ReleaseClientLibrary();
  libraryName_ = Value;
}

TShutdownOptions TDBCDataBase::Shutdown() {
  Integer value = 0;
  if (!TryStrToInt(ReadParam("shutdown", "0"), value)) {
    WriteParam("shutdown", "0");
    return {};
  }
  return TShutdownOptions::FromMask(static_cast<uint64_t>(value) & 0xFF);
}

void TDBCDataBase::SetShutdown(TShutdownOptions Value) {
  WriteParam("shutdown", IntToStr(static_cast<Integer>(Value.Mask())));
}

bool TDBCDataBase::IsLocalDatabaseName(const std::string& Name) {
  if (Name.empty() || Name[0] == '/') return true;
  // "[ipv6]:path" or "[ipv6]/port:path".
  size_t from = 0;
  if (Name[0] == '[') {
    size_t close = Name.find(']');
    if (close == std::string::npos) return true;
    from = close + 1;
  }
  // "host:path" (the remote form); a colon after a slash belongs to the path.
  size_t colon = Name.find(':', from);
  if (colon == std::string::npos) return true;
  size_t slash = Name.find('/', from);
  if (slash == std::string::npos || slash > colon) return false;
  // "host/port:path" and "host/service:path" name a server too: one slash
  // before the colon, with a host before it and a port number or service
  // name (letters, digits, "-" and "_") between it and the colon.
  if (slash == 0 && from == 0) return true;
  if (slash + 1 == colon) return true;
  for (size_t i = slash + 1; i < colon; ++i) {
    const char c = Name[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return true;
  }
  for (size_t i = from; i < slash; ++i)
    if (Name[i] == '.' && (i == from || Name[i - 1] == '.')) return true;  // "./x", "../x": a relative path
  return false;
}

void TDBCDataBase::SplitDatabaseName(const std::string& Name, std::string& Server, std::string& Path) {
  Server.clear();
  Path = Name;
  if (IsLocalDatabaseName(Name)) return;
  const size_t scheme = Name.find("://");
  if (scheme != std::string::npos && scheme == Name.find(':')) {
    // "inet://host[:port]/path": the path is what follows the first slash.
    const size_t start = scheme + 3;
    const size_t slash = Name.find('/', start);
    Server = Name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    Path = slash == std::string::npos ? std::string() : Name.substr(slash + 1);
    return;
  }
  size_t from = Name[0] == '[' ? Name.find(']') + 1 : 0;
  const size_t colon = Name.find(':', from);
  Server = Name.substr(0, colon);
  Path = Name.substr(colon + 1);
}

void TDBCDataBase::SetConnected(bool Value) {
  if (Value == Connected()) return;
  if (!Value) {
    if (BeforeDisconnect) BeforeDisconnect(this);
    for (size_t i = statements_.size(); i-- > 0;)
      if (i < statements_.size()) statements_[i]->LeaveCurrentState(etmStayIn, false);
    for (size_t i = transactions_.size(); i-- > 0;)
      if (i < transactions_.size()) transactions_[i]->Close(etmDefault, false);
    for (TDBCEventAlerter* a : std::vector<TDBCEventAlerter*>(eventAlerters_)) a->SetRegistered(false);
    library_->DetachHandle(DbHandle);
    DbHandle = 0;
    if (AfterDisconnect) AfterDisconnect(this);
    return;
  }
  if (!CanConnect()) return;
  if (BeforeConnect) BeforeConnect(this);
  library_->BindClientLibrary(libraryName_);
  library_->AttachWithParams(databaseName_, DbHandle, '\r', params_->Text());
  for (TDBCEventAlerter* a : std::vector<TDBCEventAlerter*>(eventAlerters_))
    if (a->AutoRegister) a->SetRegistered(true);
  if (AfterConnect) AfterConnect(this);
}

std::string TDBCDataBase::CreateDatabaseStatement(TCharacterSet DefaultCharacterSet, Integer PageSize) const {
  // Without a user in the parameters the statement names none, so that the
  // client library takes the one of its environment (ISC_USER and
  // ISC_PASSWORD) instead of an empty name.
  std::string credentials;
  if (!UserName().empty())
    credentials = Format(" USER '%s' PASSWORD '%s'", quoted(UserName()), quoted(PassWord()));
  return Format("CREATE DATABASE '%s'%s SET NAMES '%s' PAGE_SIZE %d DEFAULT CHARACTER SET %s",
                quoted(databaseName_), credentials, CharacterSetName(characterSet_), PageSize,
                CharacterSetName(DefaultCharacterSet));
}

void TDBCDataBase::CreateDatabase(TCharacterSet DefaultCharacterSet, Integer PageSize) {
  SetConnected(false);
  library_->BindClientLibrary(libraryName_);
  isc_tr_handle none = 0;
  library_->RunImmediate(DbHandle, none, CreateDatabaseStatement(DefaultCharacterSet, PageSize),
                         static_cast<Word>(sqlDialect_), nullptr);
}

void TDBCDataBase::DoConnectionLost(TDBCLibrary* Library) {
  Library->RaiseErrors = false;
  try {
    SetConnected(false);
  } catch (...) {
    Library->RaiseErrors = true;
    DbHandle = 0;
    throw;
  }
  Library->RaiseErrors = true;
  DbHandle = 0;
  if (OnConnectionLost) OnConnectionLost(this);
}

void TDBCDataBase::FindValueByType(Integer, const TDBCErrorClass*& ExceptionClass) {
  // No classes are registered for user-defined database exceptions.
  ExceptionClass = DBCErrorClass<EDBCException>();
}

void TDBCDataBase::AddTransaction(TDBCTransaction* Transaction) { addTo(transactions_, Transaction); }
void TDBCDataBase::RemoveTransaction(TDBCTransaction* Transaction) { removeFrom(transactions_, Transaction); }
void TDBCDataBase::AddStatement(TDBCStatement* Statement) { addTo(statements_, Statement); }
void TDBCDataBase::RemoveStatement(TDBCStatement* Statement) { removeFrom(statements_, Statement); }
void TDBCDataBase::AddEventAlerter(TDBCEventAlerter* Alerter) { addTo(eventAlerters_, Alerter); }
void TDBCDataBase::RemoveEventAlerter(TDBCEventAlerter* Alerter) { removeFrom(eventAlerters_, Alerter); }

// ---------------------------------------------------------------------------
// TDBCTransaction

TDBCTransaction::TDBCTransaction(TComponent* AOwner) : TDBCComponent(AOwner) {}

TDBCTransaction::~TDBCTransaction() {
  releaseAll(statements_, [](TDBCStatement* st) { st->SetTransaction(nullptr); }, "TDBCTransaction");
  try {
    Close(etmDefault, false);
  } catch (...) {
    reportInDestructor("TDBCTransaction");
  }
  try {
    while (!dataBases_.empty()) RemoveDataBase(dataBases_.back());
  } catch (...) {
    reportInDestructor("TDBCTransaction");
    for (TDBCDataBase* db : dataBases_) db->RemoveTransaction(this);
    dataBases_.clear();
  }
}

TDBCLibrary& TDBCTransaction::library() {
  TDBCDataBase* db = dataBase_ ? dataBase_ : (dataBases_.empty() ? nullptr : dataBases_.front());
  if (!db) throw Exception("Database not assigned.");
  return db->Library();
}

void TDBCTransaction::SetDataBase(TDBCDataBase* Value) {
  if (Value == dataBase_) return;
  RemoveDataBase(dataBase_);
  AddDataBase(Value);
  dataBase_ = Value;
  if (Value)
    for (TDBCStatement* st : statements_) st->SQLParams().SetCharacterSet(Value->CharacterSet());
}

void TDBCTransaction::AddDataBase(TDBCDataBase* Db) {
  if (!Db || std::find(dataBases_.begin(), dataBases_.end(), Db) != dataBases_.end()) return;
  Close(etmDefault, false);
  dataBases_.push_back(Db);
  Db->AddTransaction(this);
}

void TDBCTransaction::RemoveDataBase(TDBCDataBase* Db) {
  if (!Db) return;
  if (std::find(dataBases_.begin(), dataBases_.end(), Db) != dataBases_.end()) {
    Close(etmDefault, false);
    Db->RemoveTransaction(this);
    removeFrom(dataBases_, Db);
  }
  if (Db == dataBase_) dataBase_ = nullptr;
}

void TDBCTransaction::Notification(TComponent* Component, TOperation Operation) {
  TDBCComponent::Notification(Component, Operation);
  if (Operation == opRemove)
    if (auto* db = dynamic_cast<TDBCDataBase*>(Component)) RemoveDataBase(db);
}

void TDBCTransaction::SetDefaultAction(TEndTransMode Value) {
  Assert(Value == etmCommit || Value == etmRollback, "Commit or Rollback only.");
  defaultAction_ = Value;
}

void TDBCTransaction::StartTransaction(bool Auto) {
  if (!dataBase_) throw Exception("Database not assigned.");
  for (TDBCDataBase* db : dataBases_) db->SetConnected(true);
  if (TrHandle) return;
  if (Auto && !AutoStart) throw EDBCException("Transaction must be started explicitly.");
  std::string tpb = BuildTransactionParams(Options, LockRead, LockWrite);
  if (dataBases_.size() == 1) {
    library().StartOneTransaction(TrHandle, dataBases_.front()->DbHandle, tpb);
  } else {
    std::vector<TDBCTransEntry> entries;
    for (TDBCDataBase* db : dataBases_)
      entries.push_back({&db->DbHandle, static_cast<int>(tpb.size()), tpb.empty() ? nullptr : tpb.data()});
    library().StartTransactions(TrHandle, static_cast<short>(entries.size()), entries.data());
  }
  if (OnStartTransaction) OnStartTransaction(this);
}

bool TDBCTransaction::EndTransaction(TEndTransMode Mode, TDBCStatement* Statement, bool Auto) {
  if (Mode == etmStayIn) return false;
  if (Mode == etmDefault) Mode = defaultAction_;
  if (!TrHandle) return false;
  try {
    if (OnEndTransaction) OnEndTransaction(this, Mode);
    if (Mode == etmCommit || Mode == etmRollback)
      for (size_t i = statements_.size(); i-- > 0;)
        if (i < statements_.size() && statements_[i] != Statement) statements_[i]->CloseStatement(etmStayIn, Auto);
    Assert(AutoStop || !Auto, "Transaction must be closed explicitly.");
    switch (Mode) {
      case etmCommit: library().CommitHandle(TrHandle); return true;
      case etmCommitRetaining: library().CommitKeepHandle(TrHandle); return false;
      case etmRollback: library().RollbackHandle(TrHandle); return true;
      case etmRollbackRetaining: library().RollbackKeepHandle(TrHandle); return false;
      default: return false;
    }
  } catch (...) {
    // Undo the work, but the failure worth reporting is the first one: a
    // rollback that fails as well (say, on a lost connection) must not hide it.
    std::exception_ptr original = std::current_exception();
    if (TrHandle) {
      try {
        if (Mode == etmCommitRetaining || Mode == etmRollbackRetaining) library().RollbackKeepHandle(TrHandle);
        else library().RollbackHandle(TrHandle);
      } catch (...) {
      }
    }
    std::rethrow_exception(original);
  }
}

void TDBCTransaction::Close(TEndTransMode Mode, bool Auto) {
  for (size_t i = statements_.size(); i-- > 0;)
    if (i < statements_.size()) statements_[i]->CloseStatement(etmStayIn, Auto);
  EndTransaction(Mode, nullptr, Auto);
}

void TDBCTransaction::AddStatement(TDBCStatement* Statement) { addTo(statements_, Statement); }
void TDBCTransaction::RemoveStatement(TDBCStatement* Statement) { removeFrom(statements_, Statement); }

// ---------------------------------------------------------------------------
// TDBCStatement

TDBCStatement::TDBCStatement(TComponent* AOwner)
    : TDBCComponent(AOwner), sql_(MakeObject<TStringList>()) {
  sqlParams_ = SQLParamsClass(DefaultCharacterSet());
  sql_->OnChange = [this](TObject*) { sqlChanged(); };
  if (auto* tr = dynamic_cast<TDBCTransaction*>(AOwner)) SetTransaction(tr);
}

TDBCStatement::~TDBCStatement() {
  sql_->OnChange = nullptr;
  try {
    LeaveCurrentState(etmStayIn, false);
  } catch (...) {
    reportInDestructor("TDBCStatement");
  }
  try {
    SetDataBase(nullptr);
  } catch (...) {
    reportInDestructor("TDBCStatement");
    if (dataBase_) dataBase_->RemoveStatement(this);
  }
  try {
    SetTransaction(nullptr);
  } catch (...) {
    reportInDestructor("TDBCStatement");
    if (transaction_) transaction_->RemoveStatement(this);
  }
}

std::unique_ptr<TSQLParams> TDBCStatement::SQLParamsClass(TCharacterSet CharacterSet) {
  return std::make_unique<TSQLParams>(CharacterSet);
}

std::unique_ptr<TSQLResult> TDBCStatement::SQLResultClass(TCharacterSet CharacterSet) {
  return std::make_unique<TSQLResult>(CharacterSet, 0, CachedFetch, FetchBlobs,
                                      static_cast<Integer>(std::min<Cardinal>(BufferChunks, 0x7FFFFFFF)));
}

void TDBCStatement::Notification(TComponent* Component, TOperation Operation) {
  TDBCComponent::Notification(Component, Operation);
  if (Operation != opRemove) return;
  if (Component == transaction_) SetTransaction(nullptr);
  if (Component == dataBase_) SetDataBase(nullptr);
}

void TDBCStatement::SetTransaction(TDBCTransaction* Value) {
  if (Value == transaction_) return;
  if (transaction_) {
    CloseStatement(etmStayIn, true);
    transaction_->RemoveStatement(this);
  }
  transaction_ = Value;
  if (!Value) return;
  Value->AddStatement(this);
  if (TDBCDataBase* db = Value->DataBase()) {
    sqlParams_->SetCharacterSet(db->CharacterSet());
    if (Value->DataBaseCount() <= 1) SetDataBase(db);
  }
}

void TDBCStatement::SetDataBase(TDBCDataBase* Value) {
  if (Value == dataBase_) return;
  LeaveCurrentState(etmStayIn, true);
  if (dataBase_) dataBase_->RemoveStatement(this);
  dataBase_ = Value;
  if (Value) {
    Value->AddStatement(this);
    sqlParams_->SetCharacterSet(Value->CharacterSet());
  }
}

void TDBCStatement::SetParseParams(bool Value) {
  if (Value == parseParams_) return;
  parseParams_ = Value;
  sqlChanged();
}

void TDBCStatement::sqlChanged() {
  LeaveCurrentState(etmStayIn, true);
  if (!(QuickScript && !parseParams_)) sqlParams_->Parse(sql_->Text(), parsedSQL_);
}

TDBCDataBase* TDBCStatement::FindDataBase() const {
  if (dataBase_) return dataBase_;
  if (transaction_ && transaction_->DataBase()) return transaction_->DataBase();
  throw Exception("Database not assigned.");
}

TDBCLibrary& TDBCStatement::library() const { return FindDataBase()->Library(); }
Word TDBCStatement::dialect() const { return static_cast<Word>(FindDataBase()->SQLDialect()); }

// --- public operations

void TDBCStatement::Open(bool FetchFirst) {
  if (state_ == 5) CloseCursor();
  if (FetchFirst) FetchNext();
  else EnterExecutedState();
}

void TDBCStatement::Next() {
  if (state_ != 5) throw Exception("The query must be opened first.");
  FetchNext();
}

void TDBCStatement::Execute() { EnterExecutedState(); }

void TDBCStatement::ExecSQL() {
  if (state_ < 3) ExecuteImmediate();
  else EnterExecutedState();
}

void TDBCStatement::Prepare(bool DescribeParams) {
  if (state_ < 4) EnterPreparedState(DescribeParams);
}

void TDBCStatement::Close(TEndTransMode Mode) { CloseStatement(Mode, false); }

TSQLResult& TDBCStatement::GetFields() {
  if (!sqlResult_) throw Exception("Query not open.");
  return *sqlResult_;
}

bool TDBCStatement::GetEof() const { return !sqlResult_ || sqlResult_->GetEof(); }

// --- entering states

void TDBCStatement::StartTransaction() {
  if (!transaction_) throw Exception("Transaction not assigned.");
  transaction_->StartTransaction(true);
}

void TDBCStatement::EnterTransactionState() {
  StartTransaction();
  state_ = 1;
}

void TDBCStatement::EnterStatementState() {
  EnterTransactionState();
  try {
    StHandle = 0;
    TDBCDataBase* db = FindDataBase();
    db->Library().AllocateStatementHandle(db->DbHandle, StHandle);
    state_ = 3;
  } catch (...) {
    leaveAfterFailure([&] { LeaveTransactionState(OnError, false); });
    throw;
  }
}

void TDBCStatement::EnterPreparedState(bool DescribeParams) {
  if (StHandle) EnterTransactionState();
  else EnterStatementState();
  try {
    TDBCDataBase* db = FindDataBase();
    sqlResult_ = SQLResultClass(db->CharacterSet());
    const std::string text = (QuickScript || !parseParams_) ? sql_->Text() : parsedSQL_;
    procedureRow_ = 0;
    StatementType = db->Library().PrepareStatementText(db->DbHandle, transaction_->TrHandle, StHandle, text,
                                                       dialect(), sqlResult_.get());
    cursorName_ = "C" + UIntToStr(StHandle);
    if (UseCursor && (StatementType == 0 || StatementType == 11)) db->Library().NameCursor(StHandle, cursorName_);
    if (DescribeParams && sqlParams_->GetFieldCount() > 0)
      db->Library().DescribeParameters(StHandle, dialect(), sqlParams_.get());
    state_ = 4;
  } catch (...) {
    sqlResult_.reset();
    leaveAfterFailure([&] { LeaveStatementState(OnError, false); });
    throw;
  }
}

void TDBCStatement::EnterExecutedState() {
  if (!sqlResult_) EnterPreparedState(false);
  try {
    transaction_->StartTransaction(true);
    TSQLParams* params = sqlParams_->GetFieldCount() > 0 ? sqlParams_.get() : nullptr;
    TDBCLibrary& lib = library();
    if (StatementType == isc_info_sql_stmt_exec_procedure - 1) {
      bool hasRow = sqlResult_->GetFieldCount() > 0;
      lib.ExecuteStatementInOut(transaction_->TrHandle, StHandle, dialect(), params,
                                hasRow ? sqlResult_.get() : nullptr);
      if (hasRow) {
        TDBCDataBase* db = FindDataBase();
        lib.CompleteRow(db->DbHandle, transaction_->TrHandle, sqlResult_.get(), FetchBlobs);
      }
      // The procedure's output is a single row with no cursor behind it.
      procedureRow_ = hasRow ? 1 : 0;
    } else {
      lib.ExecuteStatement(transaction_->TrHandle, StHandle, dialect(), params);
    }
    state_ = 5;
  } catch (...) {
    if (OnError != etmStayIn) leaveAfterFailure([&] { LeavePreparedState(OnError, false); });
    throw;
  }
}

void TDBCStatement::ExecuteImmediate() {
  EnterTransactionState();
  TDBCDataBase* db = FindDataBase();
  auto run = [&](const std::string& text, TSQLParams* params) {
    try {
      db->Library().RunImmediate(db->DbHandle, transaction_->TrHandle, text, dialect(), params);
    } catch (...) {
      if (OnError != etmStayIn) leaveAfterFailure([&] { LeaveExecImmediate(OnError, false); });
      throw;
    }
  };
  if (QuickScript) {
    for (Integer i = 0; i < sql_->Count(); ++i) {
      std::string line = sql_->Get(i);
      if (Trim(line).empty()) continue;
      run(line, nullptr);
    }
  } else {
    run(parseParams_ ? parsedSQL_ : sql_->Text(), sqlParams_->GetFieldCount() > 0 ? sqlParams_.get() : nullptr);
  }
  state_ = 2;
}

// --- leaving states

void TDBCStatement::LeaveTransactionState(TEndTransMode Mode, bool Auto) {
  if (!transaction_) throw Exception("Transaction not assigned.");
  if (transaction_->EndTransaction(Mode, this, Auto)) state_ = 0;
}

void TDBCStatement::LeaveStatementState(TEndTransMode Mode, bool Auto) {
  if (StHandle) {
    try {
      library().FreeStatementHandle(StHandle, DSQL_drop);
    } catch (...) {
      // The handle is gone for this statement either way.
      StHandle = 0;
      state_ = 1;
      throw;
    }
  }
  StHandle = 0;
  state_ = 1;
  if (Mode != etmStayIn) LeaveTransactionState(Mode, Auto);
  if (OnClose) OnClose(this);
}

void TDBCStatement::LeavePreparedState(TEndTransMode Mode, bool Auto) {
  sqlResult_.reset();
  procedureRow_ = 0;
  state_ = 3;
  LeaveStatementState(Mode, Auto);
}

void TDBCStatement::LeaveExecutedState(TEndTransMode Mode, bool Auto) {
  state_ = 4;
  LeavePreparedState(Mode, Auto);
}

void TDBCStatement::LeaveExecImmediate(TEndTransMode Mode, bool Auto) {
  state_ = 1;
  if (Mode != etmStayIn) LeaveTransactionState(Mode, Auto);
}

void TDBCStatement::LeaveCurrentState(TEndTransMode Mode, bool Auto) {
  switch (state_) {
    case 2: LeaveExecImmediate(Mode, Auto); break;
    case 3: LeaveStatementState(Mode, Auto); break;
    case 4: LeavePreparedState(Mode, Auto); break;
    case 5: LeaveExecutedState(Mode, Auto); break;
    default: break;
  }
}

void TDBCStatement::CloseCursor() {
  if (state_ != 5) return;
  try {
    sqlResult_->ClearRecords();
    procedureRow_ = 0;
    if (StatementType == 0 || StatementType == 11) library().FreeStatementHandle(StHandle, DSQL_close);
    state_ = 4;
  } catch (...) {
    leaveAfterFailure([&] { LeaveCurrentState(OnError, false); });
    throw;
  }
}

void TDBCStatement::CloseStatement(TEndTransMode Mode, bool Auto) {
  if (dataBase_) {
    CloseCursor();
    if (transaction_) transaction_->EndTransaction(Mode, this, Auto);
  } else {
    LeaveCurrentState(Mode, Auto);
  }
}

void TDBCStatement::FetchNext() {
  if (state_ < 5) EnterExecutedState();
  TSQLResult* result = sqlResult_.get();
  if (!result || result->GetFieldCount() == 0) return;
  if (procedureRow_ == 1) {
    // The row execute returned is the first and only one.
    procedureRow_ = 2;
    if (CachedFetch) result->AddCurrentRecord();
    result->SetEndOfRows(CachedFetch);
    result->SetEndOfScroll(false);
    return;
  }
  if (procedureRow_ == 2 && !CachedFetch) {
    result->SetEndOfRows(true);
    result->SetEndOfScroll(true);
    return;
  }
  if (result->EndOfRows() || procedureRow_ == 2) {
    result->Next();
    return;
  }
  // Rows walked back with FetchPrior are walked forward again in the cache
  // before the server is asked for new ones.
  if (CachedFetch && result->GetCurrentRecord() >= 0 && result->GetCurrentRecord() < result->GetRecordCount() - 1) {
    result->SetCurrentRecord(result->GetCurrentRecord() + 1);
    return;
  }
  try {
    TDBCDataBase* db = FindDataBase();
    if (FetchBlobs) db->Library().FetchRowAndBlobs(db->DbHandle, transaction_->TrHandle, StHandle, dialect(), result);
    else db->Library().FetchRow(db->DbHandle, transaction_->TrHandle, StHandle, dialect(), result);
  } catch (...) {
    if (OnError != etmStayIn) leaveAfterFailure([&] { LeaveExecutedState(OnError, false); });
    throw;
  }
}

void TDBCStatement::FetchPrior() {
  if (!CachedFetch) throw Exception("CachedFetch property not set to True.");
  if (sqlResult_ && sqlResult_->GetCurrentRecord() > 0) sqlResult_->SetCurrentRecord(sqlResult_->GetCurrentRecord() - 1);
}

}  // namespace px
