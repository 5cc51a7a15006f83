// Several desks on one database server: a private Firebird server started and
// ended by this program, the database created through pxtool, the shop's own
// login made as the README says, and the database module as the desks use it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "app/CountingFixtures.h"
#include "app/UnitData.h"
#include "app/UnitSettings.h"
#include "dbclient/EngineLock.h"
#include "dbclient/IsqlPeer.h"
#include "platform/core/DateTime.h"
#include "support/FirebirdServer.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::FirebirdServer;
using test::ListLines;

constexpr const char* DeskUser = "PXDESK";
constexpr const char* DeskPassword = "desk'pw 1";

// The SQL block of the README's "Several desks" that makes the shop's login,
// with the test's password in place of the placeholder.
std::string readmeShopUserScript() {
  std::ifstream in(std::string(PX_SOURCE_DIR) + "/README.md");
  std::stringstream text;
  text << in.rdbuf();
  const std::string readme = text.str();
  const size_t section = readme.find("## Several desks");
  const size_t start = readme.find("```sql\n", section);
  const size_t end = readme.find("```", start + 7);
  if (section == std::string::npos || start == std::string::npos || end == std::string::npos) return {};
  std::string script;
  std::istringstream lines(readme.substr(start + 7, end - start - 7));
  for (std::string line; std::getline(lines, line);)
    if (line.find_first_not_of(' ') != std::string::npos) script += line.substr(line.find_first_not_of(' ')) + "\n";
  const std::string placeholder = "'choose-a-password'";
  const size_t at = script.find(placeholder);
  if (at == std::string::npos) return {};
  return script.replace(at, placeholder.size(), "'desk''pw 1'");
}

std::string run(const std::string& command) {
  std::string out;
  const int rc = test::RunCommand(command + " 2>&1", &out);
  return std::to_string(rc) + ": " + out;
}

class Server : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new FirebirdServer();
    // The database through pxtool, as the administrator of the environment.
    const std::string created = run(adminEnv() + " '" PX_PXTOOL_PATH "' counting init --create '" +
                                    server->Name("shop.fdb") + "'");
    ASSERT_EQ("0: ", created);
    const std::string script = readmeShopUserScript();
    ASSERT_FALSE(script.empty());
    const std::string made = server->Isql(script, "'" + server->Name("shop.fdb") + "'");
    ASSERT_EQ("", made);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  static std::string adminEnv() {
    return std::string("ISC_USER=") + FirebirdServer::AdminUser + " ISC_PASSWORD=" + FirebirdServer::AdminPassword;
  }

  void SetUp() override {
    ASSERT_NE(nullptr, server);
    server->Start();  // a test that failed half-way may have left it stopped
    settings = MakeObject<TSettings>();
    settings->Database = server->Name("shop.fdb");
    settings->DatabaseUser = DeskUser;
    settings->DatabasePassword = DeskPassword;
    settings->DatabaseTimeout = 3;
    Settings = settings.get();
  }
  void TearDown() override {
    server->Resume();
    Settings = nullptr;
  }

  // A desk's module, named by the settings.
  static TObjectPtr<TdmDatabase> desk() { return MakeObject<TdmDatabase>(nullptr); }

  static Integer store(TdmDatabase& dm, const std::string& drawer, Integer user = -1) {
    return dm.AddCounting(user, EncodeDate(2026, 12, 11), test::CountingDetails({{5, "Total", 0, "10"}}), "EUR",
                          drawer, "Shop", Currency(10));
  }

  // The rows of COUNTINGS with that drawer, as the administrator reads them.
  static int countWithDrawer(const std::string& drawer) {
    const std::string out = server->Isql("SET LIST ON;\nSELECT COUNT(*) AS N FROM COUNTINGS WHERE CASHDRAWER = '" +
                                             drawer + "';\n",
                                         "'" + server->Name("shop.fdb") + "'");
    for (const std::string& line : ListLines(out))
      if (line.rfind("N ", 0) == 0) return std::stoi(line.substr(2));
    ADD_FAILURE() << out;
    return -1;
  }

  static FirebirdServer* server;
  TObjectPtr<TSettings> settings;
};

FirebirdServer* Server::server = nullptr;

TEST_F(Server, PxtoolCreatesOnlyWithCreateAndNeverTwice) {
  // A name with a port is a server name: without --create it is only
  // connected to, and nothing appears on the server.
  const std::string missing = server->Name("missing.fdb");
  EXPECT_NE('0', run(adminEnv() + " '" PX_PXTOOL_PATH "' counting init '" + missing + "'")[0]);
  EXPECT_FALSE(std::filesystem::exists(server->Path("missing.fdb")));
  // An existing database is refused by --create and left as it was.
  const std::string again =
      run(adminEnv() + " '" PX_PXTOOL_PATH "' counting init --create '" + server->Name("shop.fdb") + "'");
  EXPECT_NE('0', again[0]) << again;
  EXPECT_NE(std::string::npos, again.find("Could not create the database")) << again;
  EXPECT_EQ("0: ", run(adminEnv() + " '" PX_PXTOOL_PATH "' counting init '" + server->Name("shop.fdb") + "'"));
}

TEST_F(Server, TwoDesksStoreConcurrentlyAsTheShopsUser) {
  constexpr int perDesk = 15;
  std::vector<Integer> ids[2];
  std::string failures[2];
  {
    TObjectPtr<TdmDatabase> desks[2] = {desk(), desk()};
    // Connected before the race, so that both store at once.
    for (auto& d : desks) d->OpenDatabase();
    EXPECT_EQ(DeskUser, desks[0]->DB->UserName());
    std::atomic<int> ready{0};
    auto work = [&](int i) {
      ++ready;
      while (ready < 2) std::this_thread::yield();
      try {
        for (int n = 0; n < perDesk; ++n) ids[i].push_back(store(*desks[i], "RACE"));
      } catch (const Exception& e) {
        failures[i] = e.Message();
      }
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
  }
  EXPECT_EQ("", failures[0]);
  EXPECT_EQ("", failures[1]);
  std::set<Integer> distinct(ids[0].begin(), ids[0].end());
  distinct.insert(ids[1].begin(), ids[1].end());
  EXPECT_EQ(2u * perDesk, distinct.size());
  EXPECT_EQ(2 * perDesk, countWithDrawer("RACE"));
}

TEST_F(Server, TheShopsUserCannotTouchOtherDatabasesNorLogins) {
  // Another database on the same server, the administrator's.
  const std::string other = server->Name("other.fdb");
  server->Isql("CREATE DATABASE '" + other +
               "';\nCREATE TABLE T (V INTEGER);\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
  const std::string login = std::string(" -user ") + DeskUser + " -password \"desk'pw 1\" ";
  const std::string changed =
      server->Isql("UPDATE T SET V = 2;\nINSERT INTO T VALUES (3);\nDROP TABLE T;\nCOMMIT;\n", login + "'" + other + "'");
  EXPECT_NE(std::string::npos, changed.find("no permission")) << changed;
  const std::string logins = server->Isql(
      "CREATE USER INTRUDER PASSWORD 'x';\nALTER USER SYSDBA PASSWORD 'taken';\nDROP USER PXDESK;\nCOMMIT;\n",
      login + "'" + server->Name("shop.fdb") + "'");
  EXPECT_NE(std::string::npos, logins.find("no permission")) << logins;
  // Nothing changed: the rows, the administrator's password, the logins.
  const std::string rows = server->Isql("SET LIST ON;\nSELECT SUM(V) AS S, COUNT(*) AS N FROM T;\n"
                                        "SELECT COUNT(*) AS U FROM SEC$USERS;\n",
                                        "'" + other + "'");
  EXPECT_EQ((std::vector<std::string>{"S 1", "N 1", "U 2"}), ListLines(rows)) << rows;
}

TEST_F(Server, ADeskReconnectsAfterTheServerRestarted) {
  TObjectPtr<TdmDatabase> dm = desk();
  store(*dm, "RESTART");
  ASSERT_TRUE(dm->DB->Connected());
  // The desk is idle while the server goes and comes back.
  server->Stop();
  server->Start();
  // The next Finalize stores the counting on the sheet: once.
  EXPECT_NO_THROW(store(*dm, "RESTART"));
  EXPECT_EQ(2, countWithDrawer("RESTART"));
  // While the server is away, the desk says so in plain words and stores
  // nothing; once it is back, the counting goes in.
  server->Stop();
  try {
    store(*dm, "RESTART");
    ADD_FAILURE() << "stored without a server";
  } catch (const EDatabaseUnavailable& e) {
    EXPECT_NE(std::string::npos, e.Message().find("The counting was not stored")) << e.Message();
  }
  server->Start();
  EXPECT_NO_THROW(store(*dm, "RESTART"));
  EXPECT_EQ(3, countWithDrawer("RESTART"));
}

TEST_F(Server, AHungServerEndsTheCallWithinTheBound) {
  TObjectPtr<TdmDatabase> dm = desk();
  dm->OpenDatabase();
  bool stopOnce = true;
  dm->OnConnectedCall = [&] {
    if (!std::exchange(stopOnce, false)) return;
    server->Pause();
  };
  const auto start = std::chrono::steady_clock::now();
  std::string message;
  try {
    store(*dm, "HUNG");
    ADD_FAILURE() << "stored on a stopped server";
  } catch (const EDatabaseUnavailable& e) {
    message = e.Message();
  }
  const auto took = std::chrono::steady_clock::now() - start;
  // The bound is 3 s; anything near the operating system's own time-outs
  // (a minute and more) means the call was not ended.
  EXPECT_LT(took, std::chrono::seconds(15));
  EXPECT_NE(std::string::npos, message.find("did not answer within 3 seconds")) << message;
  EXPECT_NE(std::string::npos, message.find("The counting was not stored")) << message;
  EXPECT_FALSE(dm->DB->Connected());
  // Connecting to the stopped server ends within the bound too.
  TObjectPtr<TdmDatabase> late = desk();
  const auto connecting = std::chrono::steady_clock::now();
  EXPECT_THROW(late->OpenDatabase(), EDatabaseUnavailable);
  EXPECT_LT(std::chrono::steady_clock::now() - connecting, std::chrono::seconds(15));
  // And so does letting go of a connection, as the program ends.
  server->Resume();
  TObjectPtr<TdmDatabase> leaving = desk();
  leaving->OpenDatabase();
  server->Pause();
  const auto ending = std::chrono::steady_clock::now();
  leaving.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - ending, std::chrono::seconds(15));
  server->Resume();
  // Nothing claimed stored that was not: the next try stores it once.
  EXPECT_EQ(0, countWithDrawer("HUNG"));
  EXPECT_NO_THROW(store(*dm, "HUNG"));
  EXPECT_EQ(1, countWithDrawer("HUNG"));
}

// A connection that breaks while the counting is being committed leaves the
// desk unable to know whether it was stored: it says so, names the counting
// to look for, and never stores it a second time on its own.
TEST_F(Server, ABreakWhileCommittingIsReportedAndNeverRetried) {
  struct Case {
    const char* drawer;
    void (FirebirdServer::*stop)();
    void (FirebirdServer::*restart)();
  } cases[] = {{"KILLED", &FirebirdServer::Stop, &FirebirdServer::Start},
               {"FROZEN", &FirebirdServer::Pause, &FirebirdServer::Resume}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drawer);
    TObjectPtr<TdmDatabase> dm = desk();
    dm->OpenDatabase();
    bool once = true;
    dm->OnBeforeCommit = [&] {
      if (std::exchange(once, false)) (server->*c.stop)();
    };
    std::string message;
    try {
      store(*dm, c.drawer);
      ADD_FAILURE() << "no break seen";
    } catch (const EDatabaseStoreUncertain& e) {
      message = e.Message();
    }
    (server->*c.restart)();
    EXPECT_NE(std::string::npos, message.find("may or may not have been stored")) << message;
    EXPECT_NE(std::string::npos, message.find("in the history")) << message;
    // Whatever the server made of the half-sent commit, the counting is
    // there once at most.
    const int stored = countWithDrawer(c.drawer);
    EXPECT_LE(stored, 1);
    EXPECT_NE(std::string::npos, message.find("Counting ")) << message;
    // The desk works on.
    EXPECT_NO_THROW(store(*dm, c.drawer));
    EXPECT_EQ(stored + 1, countWithDrawer(c.drawer));
  }
}

TEST_F(Server, RefusedLoginsAndUnknownHostsNameServerDatabaseAndUser) {
  struct Case {
    std::string database, user, password, says;
  } cases[] = {
      {server->Name("shop.fdb"), DeskUser, "wrong", "refused the login"},
      {"no-such-host.invalid:/srv/shop.fdb", DeskUser, DeskPassword, "Could not connect"},
  };
  for (const Case& c : cases) {
    settings->Database = c.database;
    settings->DatabaseUser = c.user;
    settings->DatabasePassword = c.password;
    TObjectPtr<TdmDatabase> dm = desk();
    std::string server_, path;
    TDBCDataBase::SplitDatabaseName(c.database, server_, path);
    try {
      dm->OpenDatabase();
      ADD_FAILURE() << c.database;
    } catch (const EDatabaseUnavailable& e) {
      const std::string& m = e.Message();
      EXPECT_NE(std::string::npos, m.find(c.says)) << m;
      EXPECT_NE(std::string::npos, m.find("Server: " + server_ + "\r\n")) << m;
      EXPECT_NE(std::string::npos, m.find("Database: " + path + "\r\n")) << m;
      EXPECT_NE(std::string::npos, m.find("User: PXDESK")) << m;
      EXPECT_EQ(std::string::npos, m.find(c.password)) << m;
    }
  }
}

TEST_F(Server, ADeskWithoutALoginSendsNoneOfItsOwn) {
  // Without DatabaseUser the client library's environment decides; the
  // built-in login of the embedded engine never goes to a server.
  settings->DatabaseUser.clear();
  settings->DatabasePassword.clear();
  unsetenv("ISC_USER");
  unsetenv("ISC_PASSWORD");
  TObjectPtr<TdmDatabase> dm = desk();
  EXPECT_THROW(dm->OpenDatabase(), EDatabaseUnavailable);
  EXPECT_EQ("", dm->DB->UserName());
  EXPECT_EQ("", dm->DB->PassWord());
  setenv("ISC_USER", DeskUser, 1);
  setenv("ISC_PASSWORD", DeskPassword, 1);
  EXPECT_NO_THROW(dm->OpenDatabase());
  unsetenv("ISC_USER");
  unsetenv("ISC_PASSWORD");
}

TEST_F(Server, AnEmployeeDeletedOnAnotherDeskIsReportedAtFinalize) {
  TObjectPtr<TdmDatabase> a = desk(), b = desk();
  const Integer employee = a->AddUser("Mara");
  IMemDataSet users;
  b->GetUsers(users);
  a->DeleteUser(employee);
  EXPECT_THROW(store(*b, "GONE", employee), EEmployeeDeleted);
  EXPECT_EQ(0, countWithDrawer("GONE"));
  // The desk goes on working.
  EXPECT_NO_THROW(store(*b, "GONE"));
}

}  // namespace
}  // namespace px
