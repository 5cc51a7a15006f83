// Opening the history screen over stored countings beside isql-fb reading
// the same countings, in the same run. Both attach afresh each time; the
// rounds alternate and the best of each side is compared.
//
// everything: 50,000 countings with tiny details over five weeks; ours opens
//   the screen and chooses "Everything" (the list is read at the opening and
//   again at the change of the period), the peer reads every column once.
// local100k, server100k: 100,000 countings with realistic details (320
//   bytes of enciphered-looking bytes each), all of today, so that the
//   screen shows them all as it opens; the peer selects the columns the list
//   shows. On a local file, and on a Firebird server of the benchmark's own
//   (the installed server program on a free port of 127.0.0.1) when one can
//   be started.
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchTiming.h"
#include "app/Startup.h"
#include "app/UnitData.h"
#include "app/UnitHistoryFrame.h"
#include "platform/gui/Forms.h"
#include "support/FirebirdServer.h"
#include "ui/framework/UnitQVRSystem.h"
#include "platform/core/NumberConversion.h"

namespace {

namespace fs = std::filesystem;
using namespace px;

int runIsql(const std::string& script, const std::string& db) {
  const std::string command = "isql-fb -q -i '" + script + "' '" + db + "' > /dev/null 2>&1";
  return std::system(command.c_str());
}

void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

// EXECUTE BLOCK inserting Count countings; When and Values are expressions of I.
std::string fillScript(int count, const std::string& when, const std::string& values) {
  return "SET TERM ^ ;\nEXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN\n"
         "  WHILE (I < " + std::to_string(count) + ") DO BEGIN\n"
         "    INSERT INTO COUNTINGS (USERID, \"WHEN\", \"VALUES\", VALUTA, CASHDRAWER, COMPANYNAME, TOTALVALUE)\n"
         "    VALUES (IIF(MOD(:I, 4) = 0, -1, MOD(:I, 4)), " + when + ", " + values + ", 'EUR', 'D' || MOD(:I, 7),\n"
         "            'Company', :I * 100);\n"
         "    I = I + 1;\n  END\nEND^\nSET TERM ; ^\nCOMMIT;\n";
}

// 320 random bytes: enciphered details look like that to the engine, which
// cannot compress them.
std::string randomDetails() {
  std::string e;
  for (int i = 0; i < 20; ++i) e += std::string(i ? " || " : "") + "CAST(GEN_UUID() AS VARCHAR(16))";
  return e;
}

struct Case {
  const char* name;
  std::string db;          // as the program names it
  int countings;
  bool chooseEverything;   // else all are of today and show as the screen opens
  std::string peerSelect;  // what isql-fb reads
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char pattern[] = "/tmp/pxbench-history-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path dir = pattern;
  // A home of its own: settings, data folder and database start empty.
  setenv("HOME", pattern, 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  QApplication app(argc, argv);

  TProgramSetup setup;
  setup.ShippedFolder = std::string(PX_APP_DATA_DIR) + "/";
  setup.TranslationFile = setup.ShippedFolder + "Pondarix7350.lang";
  setup.SysfsRoot = (dir / "sys").string();
  setup.DevRoot = (dir / "dev").string();
  setup.WatchHotPlug = false;
  fs::create_directories(dir / "sys" / "class" / "hidraw");
  fs::create_directories(dir / "dev");
  InitializeProgram(setup);
  CreateMainBlock(true);
  Application->ProcessMessages();
  const std::string localFile = dmDatabase->DB->DatabaseName();

  std::unique_ptr<test::FirebirdServer> server;
  try {
    server = std::make_unique<test::FirebirdServer>();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "history_load: no server of our own (%s); its case is left out\n", e.what());
  }
  if (server) {
    // The administrator of the private server, for creating and filling;
    // the program logs in as the environment says when no user is set.
    setenv("ISC_USER", test::FirebirdServer::AdminUser, 1);
    setenv("ISC_PASSWORD", test::FirebirdServer::AdminPassword, 1);
  }

  const std::string listColumns = "SELECT ID, USERID, \"WHEN\", VALUTA, CASHDRAWER, COMPANYNAME, TOTALVALUE FROM COUNTINGS;\n";
  std::vector<Case> cases = {
      {"everything", (dir / "everything.fdb").string(), 50000, true, "SELECT * FROM COUNTINGS;\n"},
      {"local100k", (dir / "local100k.fdb").string(), 100000, false, listColumns},
  };
  if (server) cases.push_back({"server100k", server->Name("server100k.fdb"), 100000, false, listColumns});

  auto filler = QVRSystem->GetService<IMainFormFiller>();
  int status = 0;
  std::string results;
  for (const Case& c : cases) {
    dmDatabase->DB->SetConnected(false);
    dmDatabase->DB->SetDatabaseName(c.db);
    if (TDBCDataBase::IsLocalDatabaseName(c.db)) dmDatabase->OpenDatabase();
    else dmDatabase->CreateDatabase();
    for (const char* name : {"Jan", "Piet", "Marie"}) dmDatabase->AddUser(name);
    dmDatabase->DB->SetConnected(false);

    const fs::path fill = dir / (std::string(c.name) + "-fill.sql"), select = dir / (std::string(c.name) + "-select.sql");
    // Today's countings lie between midnight and now, a second apart at most.
    const std::string when = c.chooseEverything
                                 ? "DATEADD(-:I MINUTE TO CURRENT_TIMESTAMP)"
                                 : "DATEADD(-MOD(:I, MAXVALUE(1, DATEDIFF(SECOND FROM CAST(CURRENT_DATE AS TIMESTAMP) "
                                   "TO CURRENT_TIMESTAMP))) SECOND TO CURRENT_TIMESTAMP)";
    writeFile(fill, fillScript(c.countings, when, c.chooseEverything ? "'x'" : randomDetails()));
    writeFile(select, c.peerSelect);
    if (runIsql(fill.string(), c.db) != 0) {
      std::fprintf(stderr, "history_load/%s: isql-fb could not fill the database\n", c.name);
      status = 1;
      continue;
    }

    std::size_t shown = 0;
    auto ours = [&] {
      IQVRLink* link = filler->ShowFrame(TfraHistory::FrameNumber);
      auto* history = dynamic_cast<TfraHistory*>(link->GetComponent());
      if (c.chooseEverything) history->cbFixedPeriod->SetItemIndex(hpEverything);
      history->tmrRefreshTimer(nullptr);
      shown = history->lstHistory->RootNodeCount();
      filler->ShowFrame(2);
      dmDatabase->DB->SetConnected(false);
    };
    bool peerFailed = false;
    auto peer = [&] { peerFailed |= runIsql(select.string(), c.db) != 0; };
    double o = 1e9, p = 1e9;
    for (int round = 0; round < 3; ++round) {
      o = std::min(o, bestSeconds(2, ours));
      p = std::min(p, bestSeconds(2, peer));
    }
    if (peerFailed || shown != static_cast<std::size_t>(c.countings)) {
      std::fprintf(stderr, "history_load/%s: %zu rows shown, isql-fb %s\n", c.name, shown,
                   peerFailed ? "failed" : "ran");
      status = 1;
      continue;
    }
    char line[200];
    std::snprintf(line, sizeof line, "RESULT history_load/%s ours=%s peer=%s ratio=%s\n", c.name,
                  px::InvariantFloatToStr(o, 4).c_str(), px::InvariantFloatToStr(p, 4).c_str(),
                  px::InvariantFloatToStr(o / p, 3).c_str());
    results += line;
  }
  dmDatabase->DB->SetConnected(false);
  dmDatabase->DB->SetDatabaseName(localFile);
  Application->DestroyComponents();
  FinalizeProgram();
  server.reset();
  fs::remove_all(dir);
  std::fputs(results.c_str(), stdout);
  return status;
}
