#pragma once
// The database client library: run-time binding of its entry points, the
// typed client calls the client components use, the error family raised for
// failed calls, and the builders of the byte-coded parameter blocks.
#include <ibase.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "platform/core/Exceptions.h"
#include "platform/core/Types.h"

namespace px {

class TSQLDA;
class TSQLParams;
class TSQLResult;

// ---------------------------------------------------------------------------
// Errors

// Raised for a failed client call; the message holds the client's text lines
// and the code lines.
class EDBCError : public Exception {
 public:
  using Exception::Exception;
  Integer GDSCode = 0;    // the full status code
  Integer ErrorCode = 0;  // its low 16 bits
  Integer SQLCode = 0;    // the SQL code of the status vector
};

// A user-defined database exception.
class EDBCException : public EDBCError {
 public:
  using EDBCError::EDBCError;
  Integer Number = 0;
};

PX_DECLARE_EXCEPTION(EDBCGFixError, EDBCError);
PX_DECLARE_EXCEPTION(EDBCDSQLError, EDBCError);
PX_DECLARE_EXCEPTION(EDBCDynError, EDBCError);
PX_DECLARE_EXCEPTION(EDBCGBakError, EDBCError);
PX_DECLARE_EXCEPTION(EDBCGSecError, EDBCError);
PX_DECLARE_EXCEPTION(EDBCLicenseError, EDBCError);
PX_DECLARE_EXCEPTION(EDBCGStatError, EDBCError);
// A value that cannot be converted between a column's storage and the type asked for.
PX_DECLARE_EXCEPTION(EDBCConvertError, Exception);

// A reference to one class of the EDBCError family, so that a hook can choose
// which class a user-defined database exception is raised as.
struct TDBCErrorClass {
  const char* ClassName;
  // Throws an exception of the class carrying the given fields.
  void (*Raise)(const std::string& message, Integer gdsCode, Integer errorCode, Integer sqlCode,
                             Integer number);
};

template <class E>
const TDBCErrorClass* DBCErrorClass() {
  static_assert(std::is_base_of_v<EDBCError, E>, "only classes of the EDBCError family can be raised for a status");
  static const TDBCErrorClass cls{
      typeid(E).name(),
      [](const std::string& message, Integer gdsCode, Integer errorCode, Integer sqlCode, Integer number) {
        E e(message);
        e.GDSCode = gdsCode;
        e.ErrorCode = errorCode;
        e.SQLCode = sqlCode;
        // Only the plain class takes the number; a registered descendant is
        // expected to know its own.
        if constexpr (std::is_same_v<E, EDBCException>) e.Number = number;
        (void)number;
        throw e;
      }};
  return &cls;
}

// Parts of a status code.
inline Integer StatusClass(Integer status) { return static_cast<Integer>((static_cast<uint32_t>(status) >> 30) & 3); }
inline Integer StatusFacility(Integer status) {
  return static_cast<Integer>((static_cast<uint32_t>(status) >> 16) & 0xFF);
}
inline Integer StatusCode(Integer status) { return static_cast<Integer>(static_cast<uint32_t>(status) & 0xFFFF); }

// Status codes the error handling looks at.
constexpr Integer dbcUserException = 335544517;      // user-defined database exception
constexpr Integer dbcConnectionLost = 335544741;
constexpr Integer dbcNetworkError = 335544721;
constexpr Integer dbcDatabaseShutdown = 335544528;
constexpr Integer dbcLogin = 335544472;              // user name or password refused
constexpr Integer dbcForeignKey = 335544466;         // a foreign key constraint refused the row
constexpr Integer dbcCancelled = 335544794;          // the operation was cancelled

// True for the codes after which the attachment is gone: a lost or broken
// network connection (the server stopped, restarted or was cut off), a shut
// down database or attachment, an operation aborted from outside.
bool IsConnectionLostCode(Integer Code);
constexpr Integer dbcSegment = 335544366;            // segment longer than the buffer
constexpr Integer dbcSegstrEof = 335544367;          // end of blob

// ---------------------------------------------------------------------------
// Binding

// Name the components use when none is set.
inline constexpr const char* DefaultLibraryName = "gds32.dll";

// Sets FIREBIRD_LOCK to a folder private to the user when it is unset, so
// that the embedded engine's lock files never land in a folder another user
// already owns. Called before the library is loaded.
void EnsurePrivateLockFolder();

// Owns the loaded client library and one slot per entry point.
class TDBCBaseLibrary {
 public:
  TDBCBaseLibrary();
  virtual ~TDBCBaseLibrary();
  TDBCBaseLibrary(const TDBCBaseLibrary&) = delete;
  TDBCBaseLibrary& operator=(const TDBCBaseLibrary&) = delete;

  virtual bool IsLoaded() const;
  // Forgets the library and every slot; True when the library could be closed.
  virtual bool ReleaseClientLibrary();
  // Loads the library and resolves every entry point. The names of the
  // Windows client libraries and the empty name mean the system's client
  // library; any other name is loaded as it is. A bound object stays bound
  // to its library whatever name is asked for next.
  virtual bool BindClientLibrary(const std::string& LibraryName);

  // The file name actually loaded for a library name.
  static std::string ResolveLibraryName(const std::string& LibraryName);

  // Number of entry points a library must offer.
  static constexpr int EntryPointCount = 139;
  // Name of the entry point in slot i.
  static const char* EntryPointName(int i);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define PX_DBC_ENTRY(name) decltype(&::name) name = nullptr;
#include "dbclient/dbclibEntryPoints.inc"
#undef PX_DBC_ENTRY
#define PX_DBC_OPTIONAL_ENTRY(name) decltype(&::name) name = nullptr;
#include "dbclient/dbclibOptionalEntryPoints.inc"
#undef PX_DBC_OPTIONAL_ENTRY
#pragma GCC diagnostic pop
  // Not one of the required entry points: the bounded form of the message
  // formatter, used when the library offers it.
  decltype(&::fb_interpret) fb_interpret = nullptr;

 protected:
  void* Handle = nullptr;

 private:
  void clearSlots();
};

// Shuts the engine of the client library by that name down in order, when
// this process has loaded it; nothing happens otherwise. Called once the
// program's databases are closed, before it ends.
void ShutdownClientEngine(const std::string& LibraryName);

// ---------------------------------------------------------------------------
// Parameter blocks

// Transaction options in their declared order; the block code is the position + 1.
enum TTransParam {
  tpConsistency,
  tpConcurrency,
  tpShared,
  tpProtected,
  tpExclusive,
  tpWait,
  tpNowait,
  tpRead,
  tpWrite,
  tpLockRead,
  tpLockWrite,
  tpVerbTime,
  tpCommitTime,
  tpIgnoreLimbo,
  tpReadCommitted,
  tpAutoCommit,
  tpRecVersion,
  tpNoRecVersion,
  tpRestartRequests,
  tpNoAutoUndo
};
using TTransParams = uint32_t;  // a set of TTransParam, bit n = member n
constexpr TTransParams TransParamBit(TTransParam p) { return TTransParams(1) << p; }
template <class... P>
constexpr TTransParams TransParamSet(P... p) {
  return (TTransParams(0) | ... | TransParamBit(p));
}

// Database parameter block from items "name=value" separated by Separator.
std::string BuildDatabaseParams(std::string_view Text, char Separator);
// Transaction parameter block; LockRead and LockWrite are ";"-separated table lists.
std::string BuildTransactionParams(TTransParams Options, std::string_view LockRead, std::string_view LockWrite);
// Blob parameter block from items "name=value" separated by ";".
std::string BuildBlobParams(std::string_view Text);

// ---------------------------------------------------------------------------
// Client calls

// One database of a transaction start, laid out as the client expects it.
struct TDBCTransEntry {
  isc_db_handle* Database;
  int Length;
  const char* Params;
};

class TDBCLibrary : public TDBCBaseLibrary {
 public:
  TDBCLibrary();

  ISC_STATUS_ARRAY StatusVector{};
  std::function<void(TDBCLibrary* Sender)> OnConnectionLost;
  std::function<void(Integer Number, const TDBCErrorClass*& ExceptionClass)> OnChooseExceptionClass;
  bool RaiseErrors = true;

  Word GetSegmentSize() const { return SegmentSize; }
  void SetSegmentSize(Word value);

  // Raises the matching exception for a failed status (see the class family).
  void CheckClientStatus(ISC_STATUS Status);
  [[noreturn]] void RaiseClientError(const TDBCErrorClass* Class, ISC_STATUS Status);
  // True when any code of the status vector says the attachment is gone.
  bool StatusSaysConnectionLost() const;

  void AttachWithParams(const std::string& DatabaseName, isc_db_handle& DbHandle, char Separator,
                        std::string_view Params);
  void DetachHandle(isc_db_handle& DbHandle);
  void StartOneTransaction(isc_tr_handle& TrHandle, isc_db_handle& DbHandle, const std::string& Params);
  void StartTransactions(isc_tr_handle& TrHandle, short Count, TDBCTransEntry* Entries);
  void CommitHandle(isc_tr_handle& TrHandle);
  void RollbackHandle(isc_tr_handle& TrHandle);
  void CommitKeepHandle(isc_tr_handle& TrHandle);
  void RollbackKeepHandle(isc_tr_handle& TrHandle);
  void RunImmediate(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, const std::string& SQL, Word Dialect,
                    TSQLParams* Params);
  void AllocateStatementHandle(isc_db_handle& DbHandle, isc_stmt_handle& StmtHandle);
  // The prepare call and the statement-type query: returns the statement type
  // (0 select, 1 insert, 2 update, 3 delete, 4 DDL, ...). Out is the output
  // descriptor given to the client or nil.
  Integer PrepareStatementType(isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, const std::string& SQL,
                               Word Dialect, XSQLDA* Out);
  // Prepare plus statement type; with a result area, its cached rows are
  // cleared and its columns described and laid out.
  Integer PrepareStatementText(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle,
                               const std::string& SQL, Word Dialect, TSQLResult* Result);
  void DescribeColumns(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect,
                       TSQLResult* Result);
  // The next row into the result area (and its cache): False at the end.
  bool FetchRow(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect,
                TSQLResult* Result);
  // As FetchRow, and reads every blob column whole.
  bool FetchRowAndBlobs(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect,
                        TSQLResult* Result);
  // After a row arrived in the result's buffer: reads its arrays and, with
  // Blobs, every blob column whole (without caching the row).
  void CompleteRow(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, TSQLResult* Result, bool Blobs);
  void ExecuteStatement(isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect, TSQLParams* Params);
  void ExecuteStatementInOut(isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect, TSQLParams* Params,
                             TSQLDA* Result);
  void FreeStatementHandle(isc_stmt_handle& StmtHandle, Word Option);
  // One fetch into the descriptor: False at the end of the rows.
  bool FetchRawRow(isc_stmt_handle& StmtHandle, Word Dialect, XSQLDA* Out);
  void DescribeParameters(isc_stmt_handle& StmtHandle, Word Dialect, TSQLParams* Params);
  void NameCursor(isc_stmt_handle& StmtHandle, const std::string& Name);
  void ReadArrayDescriptor(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, const std::string& RelationName,
                           const std::string& FieldName, ISC_ARRAY_DESC& Desc);
  void ReadArraySlice(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, ISC_QUAD ArrayId, ISC_ARRAY_DESC& Desc,
                      void* Buffer, ISC_LONG& Size);
  Integer StatusSQLCode();
  std::string StatusMessageText();
  std::string SQLCodeMessage(Integer Code);
  void OpenBlobHandle(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_blob_handle& BlobHandle,
                      ISC_QUAD BlobId, const std::string& BPB);
  bool ReadBlobSegment(isc_blob_handle& BlobHandle, unsigned short& Read, Word Wanted, char* Buffer);
  void CloseBlobHandle(isc_blob_handle& BlobHandle);
  // Reads the whole blob into Data (malloc'ed memory, reused when Reuse is set).
  void ReadWholeBlob(isc_blob_handle& BlobHandle, Integer& Size, bool Reuse, void*& Data);
  Word BuildEventBlock(ISC_UCHAR*& EventBuffer, ISC_UCHAR*& ResultBuffer, Word Count, const char* const* Names);
  void QueueEventWait(isc_db_handle& DbHandle, ISC_LONG& EventId, Word Length, ISC_UCHAR* EventBuffer,
                      ISC_EVENT_CALLBACK Callback, void* Argument);
  void CountEvents(ISC_ULONG* Counts, Word Length, ISC_UCHAR* EventBuffer, ISC_UCHAR* ResultBuffer);
  void CancelEventWait(isc_db_handle& DbHandle, ISC_LONG& EventId);
  void FreeClientMemory(void* Pointer);

 private:
  bool fetchInto(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect,
                 TSQLResult* Result, bool Blobs);
  ISC_LONG legacyInterprete(char* buffer, const ISC_STATUS** vector);
  Word SegmentSize = 16384;
};

}  // namespace px
