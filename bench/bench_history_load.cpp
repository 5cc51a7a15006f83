// Opening the history screen over 50,000 stored countings (the countings
// loaded from the database, the view made, the grid filled and refreshed
// with "Everything" chosen) beside isql-fb reading every counting of the same
// database file with SELECT * into /dev/null, in the same run. Both attach
// to the file afresh each time; the rounds alternate and the best of each
// side is compared.
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchTiming.h"
#include "app/Startup.h"
#include "app/UnitData.h"
#include "app/UnitHistoryFrame.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVRSystem.h"

namespace {

constexpr int Countings = 50000;

int runIsql(const std::string& script, const std::string& db) {
  const std::string command = "isql-fb -q -i '" + script + "' '" + db + "' > /dev/null 2>&1";
  return std::system(command.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  using namespace px;
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
  dmDatabase->OpenDatabase();
  for (const char* name : {"Jan", "Piet", "Marie"}) dmDatabase->AddUser(name);
  const std::string db = dmDatabase->DB->DatabaseName();
  dmDatabase->DB->SetConnected(false);

  const std::string fill = (dir / "fill.sql").string(), select = (dir / "select.sql").string();
  {
    std::ofstream f(fill);
    f << "SET TERM ^ ;\nEXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN\n"
         "  WHILE (I < " << Countings << ") DO BEGIN\n"
         "    INSERT INTO COUNTINGS (USERID, \"WHEN\", \"VALUES\", VALUTA, CASHDRAWER, COMPANYNAME, TOTALVALUE)\n"
         "    VALUES (IIF(MOD(:I, 4) = 0, -1, MOD(:I, 4)), DATEADD(-:I MINUTE TO CURRENT_TIMESTAMP), 'x', 'EUR', 'D' || MOD(:I, 7),\n"
         "            'Company', :I * 100);\n"
         "    I = I + 1;\n  END\nEND^\nSET TERM ; ^\nCOMMIT;\n";
    std::ofstream s(select);
    s << "SELECT * FROM COUNTINGS;\n";
  }
  if (runIsql(fill, db) != 0) {
    std::fprintf(stderr, "isql-fb could not fill the database\n");
    return 1;
  }

  auto filler = QVRSystem->GetService<IMainFormFiller>();
  std::size_t shown = 0;
  auto ours = [&] {
    IQVRLink* link = filler->ShowFrame(TfraHistory::FrameNumber);
    auto* history = dynamic_cast<TfraHistory*>(link->GetComponent());
    history->cbFixedPeriod->SetItemIndex(hpEverything);
    history->tmrRefreshTimer(nullptr);
    shown = history->lstHistory->RootNodeCount();
    filler->ShowFrame(2);
    dmDatabase->DB->SetConnected(false);
  };
  bool peerFailed = false;
  auto peer = [&] { peerFailed |= runIsql(select, db) != 0; };
  double o = 1e9, p = 1e9;
  for (int round = 0; round < 3; ++round) {
    o = std::min(o, bestSeconds(2, ours));
    p = std::min(p, bestSeconds(2, peer));
  }
  Application->DestroyComponents();
  FinalizeProgram();
  fs::remove_all(dir);
  if (peerFailed || shown != static_cast<std::size_t>(Countings)) {
    std::fprintf(stderr, "history_load: %zu rows shown, isql-fb %s\n", shown, peerFailed ? "failed" : "ran");
    return 1;
  }
  std::printf("RESULT history_load/everything ours=%.4f peer=%.4f ratio=%.3f\n", o, p, o / p);
  return 0;
}
