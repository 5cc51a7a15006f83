// The end of a process that used the embedded engine, each case in a process
// of its own (a death test): the leak check at exit completes while threads
// that called into the engine still run, and the engine shuts down in order
// when asked, without being loaded only for that.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "EngineLock.h"
#include "dbclient/dbc.h"
#include "dbclient/dbclib.h"
#include "support/TempDir.h"

namespace px {
namespace {

TObjectPtr<TDBCDataBase> makeDatabase(const std::string& path) {
  TObjectPtr<TDBCDataBase> db = MakeObject<TDBCDataBase>(nullptr);
  db->SetDatabaseName(path);
  db->SetUserName("SYSDBA");
  db->SetCharacterSet(csISO8859_1);
  return db;
}

// Each thread attaches, detaches and then stays until the process ends, so
// that the check at exit walks the TLS its engine calls gave it. The threads
// call the client directly with what the caller prepared: the engine's TLS
// blocks are then the first small allocations of a fresh thread, which is
// where the checker's guess at their bounds used to go wrong.
void attachOnThreadsThatStay(const std::string& path, int count) {
  static TDBCLibrary lib;
  lib.BindClientLibrary("fbembed.dll");
  static const std::string dpb = BuildDatabaseParams("user_name=SYSDBA;lc_ctype=ISO8859_1", ';');
  std::mutex m;
  std::condition_variable cv;
  int done = 0;
  for (int i = 0; i < count; ++i) {
    std::thread([&] {
      ISC_STATUS_ARRAY status{};
      isc_db_handle handle = 0;
      if (lib.isc_attach_database(status, static_cast<short>(path.size()), path.c_str(), &handle,
                                  static_cast<short>(dpb.size()), dpb.data()) != 0)
        std::_Exit(4);
      lib.isc_detach_database(status, &handle);
      {
        // Notified under the lock: the caller's mutex and condition go once
        // it has seen the count, and nothing here touches them after that.
        std::lock_guard<std::mutex> lock(m);
        ++done;
        cv.notify_all();
      }
      for (;;) pause();
    }).detach();
  }
  std::unique_lock<std::mutex> lock(m);
  cv.wait(lock, [&] { return done == count; });
}

TEST(EngineExit, LeakCheckAtExitCompletesWithEngineThreadsAlive) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempDir dir;
  const std::string path = dir.File("exit.fdb");
  EXPECT_EXIT(
      {
        {
          TObjectPtr<TDBCDataBase> db = makeDatabase(path);
          db->CreateDatabase(csISO8859_1, 4096);
          db->SetConnected(false);
        }
        attachOnThreadsThatStay(path, 4);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(EngineExit, ShutdownStopsTheEngineAndNeverLoadsIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempDir dir;
  const std::string path = dir.File("shutdown.fdb");
  EXPECT_EXIT(
      {
        ShutdownClientEngine("fbembed.dll");
        if (dlopen(TDBCBaseLibrary::ResolveLibraryName("").c_str(), RTLD_NOW | RTLD_NOLOAD)) {
          std::fprintf(stderr, "the client library was loaded to be shut down\n");
          std::_Exit(2);
        }
        {
          TObjectPtr<TDBCDataBase> db = makeDatabase(path);
          db->CreateDatabase(csISO8859_1, 4096);
          db->SetConnected(false);
        }
        ShutdownClientEngine("fbembed.dll");
        // A stopped engine takes no new attachment.
        try {
          TObjectPtr<TDBCDataBase> db = makeDatabase(path);
          db->SetConnected(true);
          std::fprintf(stderr, "attached after the shutdown\n");
          std::_Exit(3);
        } catch (const EDBCError& e) {
          std::fprintf(stderr, "refused: %s\n", e.Message().c_str());
        }
        std::exit(0);
      },
      testing::ExitedWithCode(0), "refused: ");
}

}  // namespace
}  // namespace px
