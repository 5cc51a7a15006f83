#include "dbclient/dbclib.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dbclient/dbclibParams.h"
#include "dbclient/dbclibSQLDA.h"
#include "platform/core/CodePages.h"
#include "platform/core/NumberConversion.h"

#if defined(__SANITIZE_ADDRESS__)
// Under the leak checker of our sanitizer runtime, the bounds of each
// thread's dynamic TLS block are guessed from a header that an older C
// library put in front of it. The C library now takes such blocks from
// malloc, the sanitizer's allocator often places a small one at offset 16 of
// a page, and the guess then reads the allocator's own chunk header as
// bounds: the check at exit walks a nonsense range and its tracer crashes.
// The engine's plugins, loaded by the client library, carry such TLS, and
// every thread that calls into the engine gets a block. Without the
// interception the blocks are ordinary heap chunks reached through the
// thread's TLS vector, so the leak check still sees everything they hold.
extern "C" const char* __lsan_default_options() { return "intercept_tls_get_addr=0"; }
#endif

namespace px {

// ---------------------------------------------------------------------------
// Binding

namespace {

const char* const entryPointNames[] = {
#define PX_DBC_ENTRY(name) #name,
#include "dbclient/dbclibEntryPoints.inc"
#undef PX_DBC_ENTRY
};
static_assert(sizeof(entryPointNames) / sizeof(entryPointNames[0]) == TDBCBaseLibrary::EntryPointCount);

// A folder we own and nobody else can write to, or "" when it is not so.
bool isPrivateFolder(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

}  // namespace

void EnsurePrivateLockFolder() {
  const char* current = std::getenv("FIREBIRD_LOCK");
  if (current && *current) return;
  // The engine's default (/tmp/firebird) is made by whoever runs first and
  // then refuses every other user; a per-user folder keeps the processes of
  // one user coordinated on shared database files.
  std::string folder;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && isPrivateFolder(runtime)) {
    folder = std::string(runtime) + "/firebird";
  } else {
    folder = "/tmp/firebird-" + std::to_string(geteuid());
  }
  mkdir(folder.c_str(), 0700);
  if (!isPrivateFolder(folder)) {
    // Someone else made it (or it is a link): take a fresh one instead.
    std::string pattern = folder + "-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    folder = pattern;
  }
  setenv("FIREBIRD_LOCK", folder.c_str(), 0);
}

TDBCBaseLibrary::TDBCBaseLibrary() = default;

TDBCBaseLibrary::~TDBCBaseLibrary() { ReleaseClientLibrary(); }

bool TDBCBaseLibrary::IsLoaded() const { return Handle != nullptr; }

const char* TDBCBaseLibrary::EntryPointName(int i) {
  return i >= 0 && i < EntryPointCount ? entryPointNames[i] : nullptr;
}

std::string TDBCBaseLibrary::ResolveLibraryName(const std::string& LibraryName) {
  for (const char* windowsName : {"gds32.dll", "fbembed.dll", "fbclient.dll"})
    if (SameText(LibraryName, windowsName)) return "libfbclient.so.2";
  if (LibraryName.empty()) return "libfbclient.so.2";
  return LibraryName;
}

void TDBCBaseLibrary::clearSlots() {
#define PX_DBC_ENTRY(name) name = nullptr;
#include "dbclient/dbclibEntryPoints.inc"
#undef PX_DBC_ENTRY
#define PX_DBC_OPTIONAL_ENTRY(name) name = nullptr;
#include "dbclient/dbclibOptionalEntryPoints.inc"
#undef PX_DBC_OPTIONAL_ENTRY
  fb_interpret = nullptr;
}

bool TDBCBaseLibrary::ReleaseClientLibrary() {
  if (!IsLoaded()) return true;
  // Loaded with RTLD_NODELETE: the engine may still run threads inside the
  // library, so closing only drops our reference and never unmaps it.
  bool result = dlclose(Handle) == 0;
  Handle = nullptr;
  clearSlots();
  return result;
}

bool TDBCBaseLibrary::BindClientLibrary(const std::string& LibraryName) {
  if (IsLoaded()) return true;
  EnsurePrivateLockFolder();
  std::string file = ResolveLibraryName(LibraryName);
  Handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!IsLoaded()) throw Exception("Can't load library: " + LibraryName + ".");
  bool complete = true;
#define PX_DBC_ENTRY(name)                                                  \
  name = reinterpret_cast<decltype(name)>(dlsym(Handle, #name));            \
  if (!name) complete = false;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include "dbclient/dbclibEntryPoints.inc"
#pragma GCC diagnostic pop
#undef PX_DBC_ENTRY
  if (!complete) {
    ReleaseClientLibrary();
    throw Exception("Incorrect Database Server version, check compiler options.");
  }
  fb_interpret = reinterpret_cast<decltype(fb_interpret)>(dlsym(Handle, "fb_interpret"));
#define PX_DBC_OPTIONAL_ENTRY(name) name = reinterpret_cast<decltype(name)>(dlsym(Handle, #name));
#include "dbclient/dbclibOptionalEntryPoints.inc"
#undef PX_DBC_OPTIONAL_ENTRY
  return true;
}

void ShutdownClientEngine(const std::string& LibraryName) {
  const std::string file = TDBCBaseLibrary::ResolveLibraryName(LibraryName);
  // Never load the library only to stop it: a process that never opened a
  // database has no engine to stop.
  void* present = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (!present) return;
  dlclose(present);
  TDBCBaseLibrary lib;
  try {
    lib.BindClientLibrary(LibraryName);
  } catch (const Exception&) {
    return;
  }
  // Waits up to ten seconds for the engine's threads; an older library
  // without the call ends its engine from its own exit handlers.
  if (lib.fb_shutdown) lib.fb_shutdown(10000, fb_shutrsn_app_stopped);
}

// ---------------------------------------------------------------------------
// Parameter blocks

namespace {

enum class ParamKind { None, Integer, String, Ignored };

struct DatabaseParamName {
  const char* Name;
  ParamKind Kind;
};

constexpr auto N = ParamKind::None;
constexpr auto I = ParamKind::Integer;
constexpr auto S = ParamKind::String;
constexpr auto X = ParamKind::Ignored;

// Position + 1 is the block code.
const DatabaseParamName databaseParamNames[] = {
    {"cdd_pathname", X},      {"allocation", X},        {"journal", X},           {"page_size", I},
    {"num_buffers", I},       {"buffer_length", X},     {"debug", I},             {"garbage_collect", X},
    {"verify", I},            {"sweep", I},             {"enable_journal", S},    {"disable_journal", N},
    {"dbkey_scope", I},       {"number_of_users", X},   {"trace", N},             {"no_garbage_collect", N},
    {"damaged", N},           {"license", S},           {"sys_user_name", S},     {"encrypt_key", S},
    {"activate_shadow", N},   {"sweep_interval", I},    {"delete_shadow", N},     {"force_write", I},
    {"begin_log", S},         {"quit_log", N},          {"no_reserve", I},        {"user_name", S},
    {"password", S},          {"password_enc", S},      {"sys_user_name_enc", N}, {"interp", I},
    {"online_dump", I},       {"old_file_size", I},     {"old_num_files", I},     {"old_file", S},
    {"old_start_page", I},    {"old_start_seqno", I},   {"old_start_file", I},    {"drop_walfile", I},
    {"old_dump_id", I},       {"wal_backup_dir", S},    {"wal_chkptlen", I},      {"wal_numbufs", I},
    {"wal_bufsize", I},       {"wal_grp_cmt_wait", I},  {"lc_messages", S},       {"lc_ctype", S},
    {"cache_manager", X},     {"shutdown", I},          {"online", N},            {"shutdown_delay", I},
    {"reserved", S},          {"overwrite", I},         {"sec_attach", I},        {"disable_wal", N},
    {"connect_timeout", I},   {"dummy_packet_interval", I}, {"gbak_attach", S},   {"sql_role_name", S},
    {"set_page_buffers", I},  {"working_directory", S}, {"sql_dialect", I},       {"set_db_readonly", I},
    {"set_db_sql_dialect", I}, {"gfix_attach", N},      {"gstat_attach", N},
};
static_assert(sizeof(databaseParamNames) / sizeof(databaseParamNames[0]) == 67);

std::string_view trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// Calls f(name, value) for every non-empty item of Text split at Separator;
// the name is lower-cased, both are trimmed.
template <class F>
void forEachItem(std::string_view text, char separator, F f) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(separator, pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = text.substr(pos, end - pos);
    pos = end + 1;
    if (item.empty()) continue;
    size_t eq = item.find('=');
    std::string_view name = eq == std::string_view::npos ? item : item.substr(0, eq);
    std::string_view value = eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
    f(LowerCase(trim(name)), trim(value));
  }
}

void putLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string BuildDatabaseParams(std::string_view Text, char Separator) {
  std::string out(1, static_cast<char>(isc_dpb_version1));
  forEachItem(Text, Separator, [&](const std::string& name, std::string_view value) {
    for (size_t i = 0; i < std::size(databaseParamNames); ++i) {
      if (name != databaseParamNames[i].Name) continue;
      char code = static_cast<char>(i + 1);
      switch (databaseParamNames[i].Kind) {
        case ParamKind::None:
          out.push_back(code);
          out.push_back(0);
          break;
        case ParamKind::Integer: {
          int32_t v = 0;
          if (!TryStrToInt(value, v) || v <= 0) break;
          out.push_back(code);
          int width = v < 256 ? 1 : v <= 65535 ? 2 : 4;
          out.push_back(static_cast<char>(width));
          putLittleEndian(out, static_cast<uint32_t>(v), width);
          break;
        }
        case ParamKind::String: {
          if (value.empty()) break;
          size_t len = std::min<size_t>(value.size(), 255);
          out.push_back(code);
          out.push_back(static_cast<char>(len));
          out.append(value.substr(0, len));
          break;
        }
        case ParamKind::Ignored:
          break;
      }
      break;
    }
  });
  return out;
}

std::string BuildTransactionParams(TTransParams Options, std::string_view LockRead, std::string_view LockWrite) {
  if (Options == TransParamSet(tpConcurrency, tpWait, tpWrite)) return {};
  std::string out(1, static_cast<char>(isc_tpb_version3));
  for (int p = tpConsistency; p <= tpNoAutoUndo; ++p) {
    if (!(Options & TransParamBit(static_cast<TTransParam>(p)))) continue;
    char code = static_cast<char>(p + 1);
    if (p == tpLockRead || p == tpLockWrite) {
      std::string_view list = p == tpLockRead ? LockRead : LockWrite;
      size_t pos = 0;
      while (pos <= list.size()) {
        size_t end = list.find(';', pos);
        if (end == std::string_view::npos) end = list.size();
        std::string_view table = list.substr(pos, end - pos);
        pos = end + 1;
        if (table.empty()) continue;
        // A table name longer than a length byte can say is cut rather
        // than written with a wrong length.
        table = table.substr(0, 255);
        out.push_back(code);
        out.push_back(static_cast<char>(table.size()));
        out.append(table);
      }
    } else {
      out.push_back(code);
    }
  }
  return out;
}

std::string BuildBlobParams(std::string_view Text) {
  if (Text.empty()) return {};
  static const char* const names[] = {"source_type", "target_type", "type", "source_interp", "target_interp"};
  std::string out(1, static_cast<char>(isc_bpb_version1));
  forEachItem(Text, ';', [&](const std::string& name, std::string_view value) {
    for (size_t i = 0; i < std::size(names); ++i) {
      if (name != names[i]) continue;
      int32_t v = 0;
      if (!TryStrToInt(value, v) || v < -128 || v > 127) break;
      out.push_back(static_cast<char>(i + 1));
      out.push_back(2);
      out.push_back(static_cast<char>(v & 0xFF));
      out.push_back(static_cast<char>(v < 0 ? 255 : 0));
      break;
    }
  });
  return out;
}

// ---------------------------------------------------------------------------
// Client calls

TDBCLibrary::TDBCLibrary() = default;

void TDBCLibrary::SetSegmentSize(Word value) {
  Assert(value != 0);
  SegmentSize = value;
}

void TDBCLibrary::CheckClientStatus(ISC_STATUS Status) {
  Integer status = static_cast<Integer>(Status);
  if (status == 0 || !RaiseErrors || StatusClass(status) != 0) return;
  const TDBCErrorClass* cls = DBCErrorClass<EDBCError>();
  switch (StatusFacility(status)) {
    case 0:
      if (status == dbcUserException) {
        cls = DBCErrorClass<EDBCException>();
        if (OnChooseExceptionClass) OnChooseExceptionClass(static_cast<Integer>(StatusVector[3]), cls);
        if (!cls) cls = DBCErrorClass<EDBCException>();
      }
      break;
    case 3: cls = DBCErrorClass<EDBCGFixError>(); break;
    case 7: cls = DBCErrorClass<EDBCDSQLError>(); break;
    case 8: cls = DBCErrorClass<EDBCDynError>(); break;
    case 12: cls = DBCErrorClass<EDBCGBakError>(); break;
    case 18: cls = DBCErrorClass<EDBCGSecError>(); break;
    case 19: cls = DBCErrorClass<EDBCLicenseError>(); break;
    case 21: cls = DBCErrorClass<EDBCGStatError>(); break;
    default: break;
  }
  RaiseClientError(cls, Status);
}

bool IsConnectionLostCode(Integer Code) {
  switch (Code) {
    case dbcConnectionLost:     // connection lost to database
    case dbcNetworkError:       // unable to complete network request to host
    case dbcDatabaseShutdown:   // database shutdown
    case 335544648:             // connection lost to pipe server
    case 335544726:             // error reading data from the connection
    case 335544727:             // error writing data to the connection
    case 335544856:             // connection shutdown (also after an aborting cancel)
    case 335544971:             // the server is shutting down
      return true;
    default:
      return false;
  }
}

bool TDBCLibrary::StatusSaysConnectionLost() const {
  // A broken network connection often comes as the second code behind a
  // general one, so every code of the vector counts.
  for (size_t i = 0; i + 1 < std::size(StatusVector) && StatusVector[i] != isc_arg_end;) {
    const ISC_STATUS arg = StatusVector[i];
    if (arg == isc_arg_gds && IsConnectionLostCode(static_cast<Integer>(StatusVector[i + 1]))) return true;
    // Every argument but a counted string takes one value.
    i += arg == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

void TDBCLibrary::RaiseClientError(const TDBCErrorClass* Class, ISC_STATUS Status) {
  std::string message = StatusMessageText();
  Integer number = static_cast<Integer>(StatusVector[3]);
  Integer sqlCode = StatusSQLCode();
  if (sqlCode != 0) message += SQLCodeMessage(sqlCode) + "\r\n";
  Integer gdsCode = static_cast<Integer>(Status);
  Integer errorCode = gdsCode & 0xFFFF;
  // Each code on a line of its own: run together, the two numbers read as one.
  message += "\r\nGDS Code: " + IntToStr(gdsCode) + "\r\nError Code: " + IntToStr(errorCode);
  if ((IsConnectionLostCode(gdsCode) || StatusSaysConnectionLost()) && OnConnectionLost) OnConnectionLost(this);
  Class->Raise(message, gdsCode, errorCode, sqlCode, number);
  throw EDBCError(message);  // not reached: Raise always throws
}

void TDBCLibrary::AttachWithParams(const std::string& DatabaseName, isc_db_handle& DbHandle, char Separator,
                                   std::string_view Params) {
  std::string dpb = BuildDatabaseParams(Params, Separator);
  CheckClientStatus(isc_attach_database(StatusVector, static_cast<short>(DatabaseName.size()),
                                        DatabaseName.c_str(), &DbHandle, static_cast<short>(dpb.size()),
                                        dpb.data()));
}

void TDBCLibrary::DetachHandle(isc_db_handle& DbHandle) {
  CheckClientStatus(isc_detach_database(StatusVector, &DbHandle));
  DbHandle = 0;
}

void TDBCLibrary::StartOneTransaction(isc_tr_handle& TrHandle, isc_db_handle& DbHandle, const std::string& Params) {
  TDBCTransEntry entry{&DbHandle, static_cast<int>(Params.size()), Params.empty() ? nullptr : Params.data()};
  StartTransactions(TrHandle, 1, &entry);
}

void TDBCLibrary::StartTransactions(isc_tr_handle& TrHandle, short Count, TDBCTransEntry* Entries) {
  CheckClientStatus(isc_start_multiple(StatusVector, &TrHandle, Count, Entries));
}

void TDBCLibrary::CommitHandle(isc_tr_handle& TrHandle) {
  CheckClientStatus(isc_commit_transaction(StatusVector, &TrHandle));
  TrHandle = 0;
}

void TDBCLibrary::RollbackHandle(isc_tr_handle& TrHandle) {
  CheckClientStatus(isc_rollback_transaction(StatusVector, &TrHandle));
  TrHandle = 0;
}

void TDBCLibrary::CommitKeepHandle(isc_tr_handle& TrHandle) {
  CheckClientStatus(isc_commit_retaining(StatusVector, &TrHandle));
}

void TDBCLibrary::RollbackKeepHandle(isc_tr_handle& TrHandle) {
  CheckClientStatus(isc_rollback_retaining(StatusVector, &TrHandle));
}

void TDBCLibrary::RunImmediate(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, const std::string& SQL,
                               Word Dialect, TSQLParams* Params) {
  // Length 0: the client reads up to the terminating zero, whatever the length.
  CheckClientStatus(isc_dsql_execute_immediate(StatusVector, &DbHandle, &TrHandle, 0, SQL.c_str(), Dialect,
                                               Params ? Params->Data() : nullptr));
}

void TDBCLibrary::AllocateStatementHandle(isc_db_handle& DbHandle, isc_stmt_handle& StmtHandle) {
  CheckClientStatus(isc_dsql_allocate_statement(StatusVector, &DbHandle, &StmtHandle));
}

Integer TDBCLibrary::PrepareStatementType(isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle,
                                          const std::string& SQL, Word Dialect, XSQLDA* Out) {
  // A length of 0 makes the client read up to the terminating zero, so long
  // texts are not cut at 65535 bytes.
  ISC_STATUS status = isc_dsql_prepare(StatusVector, &TrHandle, &StmtHandle, 0, SQL.c_str(), Dialect, Out);
  CheckClientStatus(status);
  // Without raising, the failure's codes stay in the status vector for the
  // caller; the statement-type query would overwrite them.
  if (status != 0) return -1;
  const ISC_SCHAR item = isc_info_sql_stmt_type;
  char buffer[8] = {};
  isc_dsql_sql_info(StatusVector, &StmtHandle, 1, &item, sizeof buffer, buffer);
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(buffer[3 + i])) << (8 * i);
  return static_cast<Integer>(value) - 1;
}

void TDBCLibrary::ExecuteStatement(isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect,
                                   TSQLParams* Params) {
  CheckClientStatus(isc_dsql_execute(StatusVector, &TrHandle, &StmtHandle, Dialect, Params ? Params->Data() : nullptr));
}

void TDBCLibrary::ExecuteStatementInOut(isc_tr_handle& TrHandle, isc_stmt_handle& StmtHandle, Word Dialect,
                                        TSQLParams* Params, TSQLDA* Result) {
  CheckClientStatus(isc_dsql_execute2(StatusVector, &TrHandle, &StmtHandle, Dialect, Params ? Params->Data() : nullptr,
                                      Result ? Result->Data() : nullptr));
}

void TDBCLibrary::FreeStatementHandle(isc_stmt_handle& StmtHandle, Word Option) {
  CheckClientStatus(isc_dsql_free_statement(StatusVector, &StmtHandle, Option));
  if (Option == DSQL_drop) StmtHandle = 0;
}

bool TDBCLibrary::FetchRawRow(isc_stmt_handle& StmtHandle, Word Dialect, XSQLDA* Out) {
  ISC_STATUS result = isc_dsql_fetch(StatusVector, &StmtHandle, Dialect, Out);
  if (result == 100) return false;
  CheckClientStatus(result);
  return result == 0;
}

void TDBCLibrary::DescribeParameters(isc_stmt_handle& StmtHandle, Word Dialect, TSQLParams* Params) {
  Integer count = Params->GetFieldCount();
  // A zeroed scratch area of the same size: the client fills in the types
  // without touching the parameters' own buffers and pointers.
  TSQLDA scratch(Params->GetCharacterSet());
  scratch.SetAllocatedFields(count);
  XSQLDA* area = scratch.Data();
  std::memset(area->sqlvar, 0, sizeof(XSQLVAR) * static_cast<size_t>(std::max(count, 1)));
  area->sqln = area->sqld = static_cast<ISC_SHORT>(count);
  CheckClientStatus(isc_dsql_describe_bind(StatusVector, &StmtHandle, Dialect, area));
  Params->ApplyDescription(*area);
}

void TDBCLibrary::NameCursor(isc_stmt_handle& StmtHandle, const std::string& Name) {
  CheckClientStatus(isc_dsql_set_cursor_name(StatusVector, &StmtHandle, Name.c_str(), 0));
}

void TDBCLibrary::ReadArrayDescriptor(isc_db_handle& DbHandle, isc_tr_handle& TrHandle,
                                      const std::string& RelationName, const std::string& FieldName,
                                      ISC_ARRAY_DESC& Desc) {
  CheckClientStatus(
      isc_array_lookup_bounds(StatusVector, &DbHandle, &TrHandle, RelationName.c_str(), FieldName.c_str(), &Desc));
}

void TDBCLibrary::ReadArraySlice(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, ISC_QUAD ArrayId,
                                 ISC_ARRAY_DESC& Desc, void* Buffer, ISC_LONG& Size) {
  CheckClientStatus(isc_array_get_slice(StatusVector, &DbHandle, &TrHandle, &ArrayId, &Desc, Buffer, &Size));
}

ISC_LONG TDBCLibrary::legacyInterprete(char* buffer, const ISC_STATUS** vector) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return isc_interprete(buffer, const_cast<ISC_STATUS**>(vector));
#pragma GCC diagnostic pop
}

Integer TDBCLibrary::StatusSQLCode() { return static_cast<Integer>(isc_sqlcode(StatusVector)); }

std::string TDBCLibrary::StatusMessageText() {
  std::string result;
  const ISC_STATUS* vector = StatusVector;
  // The bounded formatter is told the buffer's size; the older one may write
  // up to 1024 bytes, so it gets a buffer well above that.
  char buffer[2048];
  for (;;) {
    buffer[0] = 0;
    ISC_LONG n = fb_interpret ? fb_interpret(buffer, sizeof buffer, &vector) : legacyInterprete(buffer, &vector);
    if (n <= 0) break;
    buffer[sizeof buffer - 1] = 0;
    result += buffer;
    result += "\r\n";
  }
  return result;
}

std::string TDBCLibrary::SQLCodeMessage(Integer Code) {
  char buffer[256] = {};
  isc_sql_interprete(static_cast<short>(Code), buffer, 255);
  buffer[255] = 0;
  return std::string(buffer, strnlen(buffer, 255));
}

void TDBCLibrary::OpenBlobHandle(isc_db_handle& DbHandle, isc_tr_handle& TrHandle, isc_blob_handle& BlobHandle,
                                 ISC_QUAD BlobId, const std::string& BPB) {
  std::string bpb = BuildBlobParams(BPB);
  CheckClientStatus(isc_open_blob2(StatusVector, &DbHandle, &TrHandle, &BlobHandle, &BlobId,
                                   static_cast<ISC_USHORT>(bpb.size()),
                                   reinterpret_cast<const ISC_UCHAR*>(bpb.empty() ? nullptr : bpb.data())));
}

bool TDBCLibrary::ReadBlobSegment(isc_blob_handle& BlobHandle, unsigned short& Read, Word Wanted, char* Buffer) {
  Read = 0;
  ISC_STATUS result = isc_get_segment(StatusVector, &BlobHandle, &Read, Wanted, Buffer);
  if (result == 0 || StatusVector[1] == dbcSegment) return true;
  if (StatusVector[1] == dbcSegstrEof) return false;
  CheckClientStatus(result);
  return false;
}

void TDBCLibrary::CloseBlobHandle(isc_blob_handle& BlobHandle) {
  CheckClientStatus(isc_close_blob(StatusVector, &BlobHandle));
}

void TDBCLibrary::ReadWholeBlob(isc_blob_handle& BlobHandle, Integer& Size, bool Reuse, void*& Data) {
  const ISC_SCHAR items[] = {isc_info_blob_max_segment, isc_info_blob_total_length};
  char reply[32] = {};
  CheckClientStatus(isc_blob_info(StatusVector, &BlobHandle, sizeof items, items, sizeof reply, reply));
  // Walk the reply item by item: each is a code, a 16-bit length and the value.
  Integer total = 0;
  for (size_t pos = 0; pos + 3 <= sizeof reply;) {
    unsigned char code = static_cast<unsigned char>(reply[pos]);
    if (code == isc_info_end || code == isc_info_truncated || code == isc_info_error) break;
    size_t len = static_cast<unsigned char>(reply[pos + 1]) | (static_cast<unsigned char>(reply[pos + 2]) << 8);
    if (pos + 3 + len > sizeof reply) break;
    if (code == isc_info_blob_total_length)
      total = static_cast<Integer>(isc_vax_integer(reply + pos + 3, static_cast<short>(len)));
    pos += 3 + len;
  }
  if (total < 0) total = 0;
  if (Reuse && Data) {
    if (Size != total) {
      void* grown = std::realloc(Data, static_cast<size_t>(std::max(total, 1)));
      if (!grown) throw EOutOfMemory("Out of memory");
      Data = grown;
    }
    Size = total;
  } else {
    Size = total;
    Data = std::malloc(static_cast<size_t>(std::max(total, 1)));
    if (!Data) throw EOutOfMemory("Out of memory");
  }
  Integer done = 0;
  while (done < Size) {
    unsigned short read = 0;
    Word wanted = static_cast<Word>(std::min<Integer>(Size - done, 65535));
    if (!ReadBlobSegment(BlobHandle, read, wanted, static_cast<char*>(Data) + done)) break;
    done += read;
    if (read == 0) break;
  }
  // A blob that delivers less than its reported length ends where its data
  // ends: the rest of the buffer was never written.
  Size = done;
}

Word TDBCLibrary::BuildEventBlock(ISC_UCHAR*& EventBuffer, ISC_UCHAR*& ResultBuffer, Word Count,
                                  const char* const* Names) {
  const char* n[15] = {};
  for (Word i = 0; i < Count && i < 15; ++i) n[i] = Names[i];
  return static_cast<Word>(isc_event_block(&EventBuffer, &ResultBuffer, std::min<Word>(Count, 15), n[0], n[1], n[2],
                                           n[3], n[4], n[5], n[6], n[7], n[8], n[9], n[10], n[11], n[12], n[13],
                                           n[14]));
}

void TDBCLibrary::QueueEventWait(isc_db_handle& DbHandle, ISC_LONG& EventId, Word Length, ISC_UCHAR* EventBuffer,
                                 ISC_EVENT_CALLBACK Callback, void* Argument) {
  CheckClientStatus(isc_que_events(StatusVector, &DbHandle, &EventId, Length, EventBuffer, Callback, Argument));
}

void TDBCLibrary::CountEvents(ISC_ULONG* Counts, Word Length, ISC_UCHAR* EventBuffer, ISC_UCHAR* ResultBuffer) {
  isc_event_counts(Counts, static_cast<short>(Length), EventBuffer, ResultBuffer);
}

void TDBCLibrary::CancelEventWait(isc_db_handle& DbHandle, ISC_LONG& EventId) {
  CheckClientStatus(isc_cancel_events(StatusVector, &DbHandle, &EventId));
}

void TDBCLibrary::FreeClientMemory(void* Pointer) { isc_free(static_cast<ISC_SCHAR*>(Pointer)); }

}  // namespace px
