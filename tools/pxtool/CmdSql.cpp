// pxtool sql [--create] DBFILE STATEMENT...: runs each statement through the
// query component in one transaction, prints every result set tab-separated
// and commits.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "PxTool.h"
#include "dbclient/dbc.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"

namespace px::pxtool {
namespace {

// Day number of the client (from 1858-11-17) as YYYY-MM-DD.
std::string dateText(Integer clientDay) {
  Word y = 0, m = 0, d = 0;
  DecodeDate(static_cast<TDateTime>(clientDay - DateOffset), y, m, d);
  char b[32];
  std::snprintf(b, sizeof b, "%04u-%02u-%02u", unsigned(y), unsigned(m), unsigned(d));
  return b;
}

// Units of 1/10000 s as hh:mm:ss.zzzz.
std::string timeText(Cardinal units) {
  unsigned frac = units % 10000, secs = units / 10000;
  char b[48];
  std::snprintf(b, sizeof b, "%02u:%02u:%02u.%04u", secs / 3600, secs / 60 % 60, secs % 60, frac);
  return b;
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string cellText(TSQLResult& r, Word i) {
  if (r.GetIsNull(i)) return {};
  const XSQLVAR& v = r.Var(i);
  switch (v.sqltype & ~1) {
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP ts;
      std::memcpy(&ts, v.sqldata, sizeof ts);
      return dateText(ts.timestamp_date) + " " + timeText(ts.timestamp_time);
    }
    case SQL_TYPE_DATE: {
      ISC_DATE d;
      std::memcpy(&d, v.sqldata, sizeof d);
      return dateText(d);
    }
    case SQL_TYPE_TIME: return timeText(r.GetAsTime(i));
    case SQL_TEXT:
    case SQL_VARYING:
      if (v.sqlscale >= 0) return UnicodeToUtf8(r.GetAsWideString(i));
      break;
    case SQL_BLOB:
      if (r.GetIsBlobText(i)) return UnicodeToUtf8(r.GetAsWideString(i));
      return hex(r.GetAsString(i));
    default: break;
  }
  // Scaled integers turn into text exactly.
  return r.GetAsString(i);
}

std::string trimmedMessage(const std::string& message) {
  std::string out;
  for (char c : message)
    if (c != '\r') out += c;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

int runSql(const Args& args, std::ostream& out, std::ostream& err) {
  size_t at = 0;
  bool create = false;
  if (at < args.size() && args[at] == "--create") {
    create = true;
    ++at;
  }
  if (args.size() < at + 2) return usageError(err);
  const std::string& file = args[at++];
  try {
    TObjectPtr<TDBCDataBase> db = MakeObject<TDBCDataBase>(nullptr);
    db->SetDatabaseName(file);
    db->SetUserName("SYSDBA");
    db->SetCharacterSet(csUTF8);
    // Only a local file can be seen to be missing; a name on a server is
    // always connected to, never created.
    if (create && TDBCDataBase::IsLocalDatabaseName(file) && !std::filesystem::exists(file))
      db->CreateDatabase(csISO8859_1, 4096);
    else db->SetConnected(true);
    TObjectPtr<TDBCTransaction> tr = MakeObject<TDBCTransaction>(nullptr);
    tr->SetDataBase(db.get());
    TObjectPtr<TDBCQuery> q = MakeObject<TDBCQuery>(nullptr);
    q->SetTransaction(tr.get());
    q->FetchBlobs = true;
    q->CachedFetch = false;
    q->SetParseParams(false);
    for (; at < args.size(); ++at) {
      q->SetSQLText(args[at]);
      q->Open();
      TSQLResult& r = q->Fields();
      if (r.GetFieldCount() == 0) continue;
      for (Word i = 0; i < r.GetFieldCount(); ++i) out << (i ? "\t" : "") << r.GetAliasName(i);
      out << "\n";
      while (!q->Eof()) {
        for (Word i = 0; i < r.GetFieldCount(); ++i) out << (i ? "\t" : "") << cellText(r, i);
        out << "\n";
        q->Next();
      }
    }
    tr->Commit();
    db->SetConnected(false);
    return 0;
  } catch (const Exception& e) {
    err << trimmedMessage(e.Message()) << "\n";
    return 1;
  }
}

const PxCommand sqlCommand("sql", "sql [--create] DBFILE STATEMENT...", runSql);

}  // namespace
}  // namespace px::pxtool
