// 5,000 calls of a selectable procedure, each followed by a commit, through
// the query component, beside isql-fb running the same script against the
// same database file in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dbclient/dbc.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Calls = 5000;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main() {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/pxbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  fs::path dir = pattern;
  std::string file = (dir / "bench.fdb").string();
  px::EnsurePrivateLockFolder();
  double ours = 0, peer = 0;
  long rows = 0;
  try {
    px::TObjectPtr<px::TDBCDataBase> db = px::MakeObject<px::TDBCDataBase>(nullptr);
    db->SetDatabaseName(file);
    db->SetUserName("SYSDBA");
    db->SetCharacterSet(px::csISO8859_1);
    db->CreateDatabase(px::csISO8859_1, 4096);
    px::TObjectPtr<px::TDBCTransaction> tr = px::MakeObject<px::TDBCTransaction>(nullptr);
    tr->SetDataBase(db.get());
    px::TObjectPtr<px::TDBCQuery> q = px::MakeObject<px::TDBCQuery>(nullptr);
    q->SetTransaction(tr.get());
    q->SetSQLText(
        "CREATE PROCEDURE P (X INTEGER) RETURNS (Y INTEGER, S VARCHAR(20)) AS DECLARE I INTEGER = 0; BEGIN "
        "WHILE (I < 3) DO BEGIN Y = X + I; S = 'row ' || I; I = I + 1; SUSPEND; END END");
    q->ExecSQL();
    tr->Commit();

    q->SetSQLText("SELECT Y, S FROM P(:X)");
    auto t0 = Clock::now();
    for (int i = 0; i < Calls; ++i) {
      q->Params().SetAsInteger(0, i);
      q->Open();
      while (!q->Eof()) {
        rows += q->Fields().GetAsInteger(0) >= 0;
        q->Next();
      }
      tr->Commit();
    }
    ours = secs(t0, Clock::now());
    db->SetConnected(false);
  } catch (const px::Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    fs::remove_all(dir);
    return 1;
  }

  std::string script = (dir / "calls.sql").string();
  {
    std::ofstream s(script);
    s << "SET HEADING OFF;\n";
    for (int i = 0; i < Calls; ++i) s << "SELECT Y, S FROM P(" << i << ");\nCOMMIT;\n";
  }
  std::string command = "isql-fb -q -i '" + script + "' '" + file + "' > /dev/null 2>&1";
  auto t1 = Clock::now();
  int status = std::system(command.c_str());
  peer = secs(t1, Clock::now());
  fs::remove_all(dir);
  if (status != 0) {
    std::fprintf(stderr, "isql-fb failed\n");
    return 1;
  }
  std::printf("rows read: %ld\n", rows);
  std::printf("RESULT dbclient/procedure_calls ours=%.4f peer=%.4f ratio=%.3f\n", ours, peer, ours / peer);
  return 0;
}
