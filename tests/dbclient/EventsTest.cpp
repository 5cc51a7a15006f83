// Database events between two attachments of one process, delivered on the
// main thread through the queued hand-over.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbclient/dbc.h"
#include "dbclient/dbcEvents.h"
#include "platform/core/Debug.h"
#include "support/TempDir.h"

namespace px {
namespace {

class Events : public testing::Test {
 protected:
  void SetUp() override {
    path = dir.File("events.fdb");
    listener = MakeObject<TDBCDataBase>(nullptr);
    listener->SetDatabaseName(path);
    listener->SetUserName("SYSDBA");
    listener->CreateDatabase(csISO8859_1, 4096);
    poster = MakeObject<TDBCDataBase>(nullptr);
    poster->SetDatabaseName(path);
    poster->SetUserName("SYSDBA");
    poster->SetConnected(true);
    tr = MakeObject<TDBCTransaction>(nullptr);
    tr->SetDataBase(poster.get());
    q = MakeObject<TDBCQuery>(nullptr);
    q->SetTransaction(tr.get());
    alerter = MakeObject<TDBCEventAlerter>(nullptr);
  }
  void TearDown() override {
    alerter.reset();
    q.reset();
    tr.reset();
    poster.reset();
    listener.reset();
  }
  void post(const std::vector<std::string>& names) {
    std::string sql = "EXECUTE BLOCK AS BEGIN ";
    for (const std::string& n : names) sql += "POST_EVENT '" + n + "'; ";
    q->SetSQLText(sql + "END");
    q->ExecSQL();
    tr->Commit();
  }
  // Runs the calls handed to the main thread until the condition holds.
  template <class F>
  bool pumpUntil(F done, int ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      CheckSynchronize(20);
    }
    return true;
  }
  void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
  }
  // The first notification of a thread only primes its counts, and a post
  // that comes before it is taken into them unreported. Posts the name until
  // its report shows that the thread has primed: a busy machine can take
  // longer than any fixed pause to get there.
  template <class F>
  bool primeWith(const std::string& name, F reported) {
    for (int tries = 0; tries < 60; ++tries) {
      post({name});
      if (pumpUntil(reported, 1000)) return true;
    }
    return false;
  }

  test::TempDir dir;
  std::string path;
  TObjectPtr<TDBCDataBase> listener, poster;
  TObjectPtr<TDBCTransaction> tr;
  TObjectPtr<TDBCQuery> q;
  TObjectPtr<TDBCEventAlerter> alerter;
};

TEST_F(Events, TwoPostsInOneTransactionArriveOnceWithCountTwo) {
  std::vector<std::pair<std::string, Integer>> got;
  bool ready = false;
  alerter->OnEvent = [&](TObject*, const std::string& name, Integer count, bool&) {
    EXPECT_TRUE(IsMainThread());
    if (name == "PX_READY") ready = true;
    else got.emplace_back(name, count);
  };
  alerter->EventNames().SetText("PX_A\nPX_B\nPX_READY\n");
  alerter->SetDatabase(listener.get());
  alerter->SetRegistered(true);
  ASSERT_EQ(1u, alerter->Threads().size());
  ASSERT_TRUE(primeWith("PX_READY", [&] { return ready; }));
  EXPECT_TRUE(got.empty());  // the priming notification reported nothing
  post({"PX_A", "PX_A"});
  ASSERT_TRUE(pumpUntil([&] { return !got.empty(); }));
  pumpFor(300);
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("PX_A", got[0].first);
  EXPECT_EQ(2, got[0].second);
  post({"PX_B"});
  ASSERT_TRUE(pumpUntil([&] { return got.size() == 2; }));
  EXPECT_EQ("PX_B", got[1].first);
  EXPECT_EQ(1, got[1].second);
  // Disconnecting unregisters; connecting again registers once more.
  listener->SetConnected(false);
  EXPECT_FALSE(alerter->Registered());
  EXPECT_TRUE(alerter->Threads().empty());
}

TEST_F(Events, OneThreadPerBlockOfFifteenNames) {
  alerter->SetDatabase(listener.get());
  alerter->SetRegistered(true);
  EXPECT_TRUE(alerter->Threads().empty());  // no names, no thread
  alerter->SetRegistered(false);
  for (int n : {15, 16}) {
    alerter->EventNames().Clear();
    for (int i = 0; i < n; ++i) alerter->EventNames().Add("E" + std::to_string(i));
    alerter->SetRegistered(true);
    EXPECT_EQ(n == 15 ? 1u : 2u, alerter->Threads().size());
    alerter->SetRegistered(false);
    EXPECT_TRUE(alerter->Threads().empty());
  }
}

TEST_F(Events, DestroyingWhileAThreadWaitsForTheMainThreadDoesNotHang) {
  int calls = 0;
  alerter->OnEvent = [&](TObject*, const std::string&, Integer, bool&) { ++calls; };
  alerter->EventNames().SetText("PX_C\n");
  alerter->SetDatabase(listener.get());
  alerter->SetRegistered(true);
  pumpFor(500);
  post({"PX_C"});
  // The thread now blocks in its hand-over to this thread, which does not pump.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  auto start = std::chrono::steady_clock::now();
  alerter.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(0, calls);  // a thread being destroyed no longer reports
}

TEST_F(Events, OversizedNotificationIsCutToTheBuffer) {
  int calls = 0;
  alerter->OnEvent = [&](TObject*, const std::string&, Integer, bool&) { ++calls; };
  alerter->EventNames().SetText("PX_D\n");
  alerter->SetDatabase(listener.get());
  alerter->SetRegistered(true);
  ASSERT_EQ(1u, alerter->Threads().size());
  // Wait until the thread has seen a real notification, so that the forged
  // one below meets it waiting on a queued request and not still priming
  // (a busy machine can take longer than any fixed pause).
  for (int tries = 0; calls == 0 && tries < 20; ++tries) {
    post({"PX_D"});
    pumpUntil([&] { return calls > 0; }, 1000);
  }
  ASSERT_GT(calls, 0);
  // A well-formed block for the one name, padded far past the buffer: only
  // the buffer's length may be copied, and what the thread queues next must
  // still be a valid block.
  std::vector<ISC_UCHAR> flood(60000, 0);
  const ISC_UCHAR block[] = {1, 4, 'P', 'X', '_', 'D', 1, 0, 0, 0};
  std::copy(std::begin(block), std::end(block), flood.begin());
  TDBCEventThread::EventCallback(alerter->Threads()[0], static_cast<ISC_USHORT>(flood.size()), flood.data());
  pumpFor(300);
  alerter->SetRegistered(false);
}

TEST_F(Events, WithoutSyncMainThreadTheEventThreadReportsByItself) {
  std::mutex lock;
  std::vector<std::pair<std::string, Integer>> got;
  bool onMain = false, ready = false;
  alerter->SyncMainThread = false;
  alerter->OnEvent = [&](TObject*, const std::string& name, Integer count, bool&) {
    std::lock_guard<std::mutex> g(lock);
    onMain = onMain || IsMainThread();
    if (name == "PX_READY") ready = true;
    else got.emplace_back(name, count);
  };
  alerter->EventNames().SetText("PX_E\nPX_F\nPX_READY\n");
  alerter->SetDatabase(listener.get());
  alerter->SetRegistered(true);
  // The main thread runs no handed-over calls here: queueing, counting and
  // reporting all happen on the event thread.
  auto waitFor = [&](size_t n) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> g(lock);
        if (got.size() >= n) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  };
  ASSERT_TRUE(primeWith("PX_READY", [&] {
    std::lock_guard<std::mutex> g(lock);
    return ready;
  }));
  post({"PX_F", "PX_E", "PX_F"});
  ASSERT_TRUE(waitFor(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  {
    std::lock_guard<std::mutex> g(lock);
    EXPECT_FALSE(onMain);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ((std::pair<std::string, Integer>("PX_E", 1)), got[0]);
    EXPECT_EQ((std::pair<std::string, Integer>("PX_F", 2)), got[1]);
  }
  post({"PX_E"});
  ASSERT_TRUE(waitFor(3));
  auto start = std::chrono::steady_clock::now();
  alerter->SetRegistered(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(alerter->Threads().empty());
}

// A thread whose queue call fails reports once per alerter, even with two
// threads failing, and the alerter unregisters itself.
TEST_F(Events, FailingThreadsReportOnceAndUnregisterTheAlerter) {
  for (bool sync : {true, false}) {
    TDebugCapture capture;
    alerter->SyncMainThread = sync;
    alerter->EventNames().Clear();
    for (int i = 0; i < 16; ++i) alerter->EventNames().Add("PX_G" + std::to_string(i));
    alerter->SetDatabase(listener.get());
    // The threads take the handle as it is when they start; this one is no
    // attachment, so the client refuses to queue on it.
    isc_db_handle real = listener->DbHandle;
    listener->DbHandle = 0x7ffff00d;
    alerter->SetRegistered(true);
    listener->DbHandle = real;
    ASSERT_EQ(2u, alerter->Threads().size());
    ASSERT_TRUE(pumpUntil([&] { return !alerter->Registered(); })) << "sync " << sync;
    EXPECT_TRUE(alerter->Threads().empty());
    EXPECT_FALSE(alerter->ErrorReported);
    Integer reports = 0;
    for (const std::string& line : capture.Lines())
      if (line.rfind("Database event thread: ", 0) == 0) ++reports;
    EXPECT_EQ(1, reports) << "sync " << sync;
  }
  // A working registration afterwards still delivers.
  Integer count = 0;
  bool ready = false;
  alerter->SyncMainThread = true;
  alerter->OnEvent = [&](TObject*, const std::string& name, Integer n, bool&) {
    if (name == "PX_G0") ready = true;
    else count += n;
  };
  alerter->SetRegistered(true);
  ASSERT_TRUE(primeWith("PX_G0", [&] { return ready; }));
  post({"PX_G3"});
  EXPECT_TRUE(pumpUntil([&] { return count == 1; }));
}

// With OnException assigned the queue failure goes there and the thread
// keeps waiting; ending it later reports the failing cancel the same way.
TEST_F(Events, OnExceptionTakesClientFailuresOfQueueAndCancel) {
  std::vector<std::string> errors;
  alerter->OnException = [&](const Exception& e) {
    EXPECT_TRUE(IsMainThread());
    errors.push_back(e.Message());
  };
  alerter->EventNames().SetText("PX_H\n");
  alerter->SetDatabase(listener.get());
  isc_db_handle real = listener->DbHandle;
  listener->DbHandle = 0x7ffff00d;
  alerter->SetRegistered(true);
  listener->DbHandle = real;
  ASSERT_TRUE(pumpUntil([&] { return errors.size() == 1; }));
  pumpFor(200);
  EXPECT_TRUE(alerter->Registered());
  EXPECT_EQ(1u, alerter->Threads().size());
  alerter->SetRegistered(false);
  EXPECT_EQ(2u, errors.size());
  EXPECT_FALSE(alerter->ErrorReported);
}

}  // namespace
}  // namespace px
