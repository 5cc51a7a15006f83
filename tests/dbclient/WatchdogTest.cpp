// The watchdog against the embedded engine: a query that would run for
// minutes is aborted once its bound has passed, the attachment is let go,
// and a call that ends in time is left alone.
#include <gtest/gtest.h>

#include <chrono>

#include "DbTestSupport.h"
#include "EngineLock.h"
#include "dbclient/dbcWatchdog.h"

namespace px {
namespace {

using namespace std::chrono_literals;

class Watchdog : public test::DatabaseTest {};

TEST_F(Watchdog, AbortsACallPastItsBoundAndSparesOneInTime) {
  CreateDatabase("w.fdb");
  TDBCWatchdog watchdog(db->Library());
  // In time: nothing happens, the attachment stays.
  watchdog.Arm(30s);
  watchdog.Watch(db->DbHandle);
  q->SetSQLText("SELECT COUNT(*) FROM RDB$RELATIONS");
  q->Open();
  q->Close(etmCommit);
  EXPECT_FALSE(watchdog.Disarm());
  EXPECT_FALSE(watchdog.Expired());
  EXPECT_TRUE(db->Connected());

  // Hundreds of millions of rows: minutes of work, ended after a fifth of a second.
  watchdog.Arm(200ms);
  watchdog.Watch(db->DbHandle);
  q->SetSQLText("SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, RDB$FIELDS D");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(q->Open(), EDBCError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  EXPECT_TRUE(watchdog.Disarm());
  EXPECT_TRUE(watchdog.Expired());
  // The aborted attachment is gone: the client layer let go of it.
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(tr->InTransaction());
  // A fresh attachment works.
  q->SetSQLText("SELECT COUNT(*) FROM RDB$RELATIONS");
  q->Open();
  EXPECT_GT(q->Fields().GetAsInteger(0), 0);
  q->Close(etmCommit);
}

}  // namespace
}  // namespace px
