// 5,000 calls of a selectable procedure, each followed by a commit, through
// the query component, beside isql-fb running the same script against the
// same database file in the same run.
//
// With forced writes every transaction ends in a synchronous disk write, so
// one pass mostly measures the disk's flush latency at that moment. That
// latency drifts with whatever else the machine does, and a single pass of
// ours followed by a single pass of isql-fb turned such drift into ratios
// anywhere between 0.3 and 4.8. Hence several rounds in alternating order and
// the median of each side.
//
// Like is compared with like: our timing covers the calls only (the library
// is loaded and the database attached beforehand), so isql-fb's fixed cost of
// starting, loading the engine, attaching and exiting is measured with an
// empty script in the same round and taken off its time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dbclient/dbc.h"
#include "platform/core/NumberConversion.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Calls = 5000;
constexpr int Rounds = 3;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void createDatabase(const std::string& file) {
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
  db->SetConnected(false);
}

// The calls through our components; attaching and detaching are not timed.
double runOurs(const std::string& file, long& rows) {
  px::TObjectPtr<px::TDBCDataBase> db = px::MakeObject<px::TDBCDataBase>(nullptr);
  db->SetDatabaseName(file);
  db->SetUserName("SYSDBA");
  db->SetCharacterSet(px::csISO8859_1);
  db->SetConnected(true);
  px::TObjectPtr<px::TDBCTransaction> tr = px::MakeObject<px::TDBCTransaction>(nullptr);
  tr->SetDataBase(db.get());
  px::TObjectPtr<px::TDBCQuery> q = px::MakeObject<px::TDBCQuery>(nullptr);
  q->SetTransaction(tr.get());
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
  double t = secs(t0, Clock::now());
  db->SetConnected(false);
  return t;
}

// Seconds of one isql-fb run, or a negative value when it failed.
double runIsql(const std::string& script, const std::string& file) {
  std::string command = "isql-fb -q -i '" + script + "' '" + file + "' > /dev/null 2>&1";
  auto t0 = Clock::now();
  int status = std::system(command.c_str());
  double t = secs(t0, Clock::now());
  return status == 0 ? t : -1;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/pxbench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  fs::path dir = pattern;
  std::string file = (dir / "bench.fdb").string();
  std::string script = (dir / "calls.sql").string();
  std::string empty = (dir / "empty.sql").string();
  {
    std::ofstream s(script);
    s << "SET HEADING OFF;\n";
    for (int i = 0; i < Calls; ++i) s << "SELECT Y, S FROM P(" << i << ");\nCOMMIT;\n";
    std::ofstream e(empty);
    e << "SET HEADING OFF;\n";
  }
  px::EnsurePrivateLockFolder();
  std::vector<double> ours, peer;
  long rows = 0;
  bool peerFailed = false;
  try {
    createDatabase(file);
    for (int r = 0; r < Rounds && !peerFailed; ++r) {
      double o = 0, full = 0, base = 0;
      // The engine runs in Super mode: only one process may have the file
      // open, so each side detaches before the other starts.
      auto runPeer = [&] {
        base = runIsql(empty, file);
        full = runIsql(script, file);
        peerFailed = base < 0 || full < 0;
      };
      if (r % 2 == 0) {
        o = runOurs(file, rows);
        runPeer();
      } else {
        runPeer();
        o = runOurs(file, rows);
      }
      if (peerFailed) break;
      ours.push_back(o);
      peer.push_back(full - base);
      std::printf("round %d: ours=%s isql-fb=%s (run %s, start-up %s)\n", r + 1, px::InvariantFloatToStr(o, 4).c_str(),
                  px::InvariantFloatToStr(full - base, 4).c_str(), px::InvariantFloatToStr(full, 4).c_str(),
                  px::InvariantFloatToStr(base, 4).c_str());
    }
  } catch (const px::Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    fs::remove_all(dir);
    return 1;
  }
  fs::remove_all(dir);
  if (peerFailed) {
    std::fprintf(stderr, "isql-fb failed\n");
    return 1;
  }
  std::printf("rows read: %ld\n", rows);
  double o = median(ours), p = median(peer);
  std::printf("RESULT dbclient/procedure_calls ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(o, 4).c_str(),
              px::InvariantFloatToStr(p, 4).c_str(), px::InvariantFloatToStr(o / p, 3).c_str());
  return 0;
}
