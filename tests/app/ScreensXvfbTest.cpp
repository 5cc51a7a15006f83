// The real program on an X server (Xvfb, xcb platform) over a database
// holding countings of today and of last month: Users opened, "Jan" added
// through the Add title button and the input box (typed, Enter), History
// opened and its first row clicked; SIGTERM ends it and isql-fb finds Jan.
#include <QImage>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "CountingFixtures.h"
#include "app/UnitData.h"
#include "app/UnitSettings.h"
#include "dbclient/IsqlPeer.h"
#include "support/XServer.h"
#include "platform/core/DateTime.h"
#include "platform/core/NumberConversion.h"

namespace px::test {
namespace {

TEST(ScreensUnderXvfb, AddsJanAndShowsTodaysCountingsAndAReport) {
  FreshHome home;
  TempDir work;
  const std::string db = UserDataFolder() + DefaultDatabaseFileName;
  {
    std::filesystem::create_directories(UserDataFolder());
    TObjectPtr<TdmDatabase> dm = MakeObject<TdmDatabase>(nullptr);
    dm->DB->SetDatabaseName(db);
    const std::string details = CountingDetails({{0, "2 Euro", 3, "6"}, {1, "5 Euro", 2, "10"}});
    const Currency total = StrToCurr("16", DefaultFormatSettings());
    dm->AddCounting(-1, Now() - 40, details, "EUR", "DOLD", "Firm", total);
    dm->AddCounting(-1, Now(), details, "EUR", "DTODAY", "Firm", total);
  }
  std::string users, history;
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree --frame 4 2>/dev/null", &users), 0);
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree --frame 6 2>/dev/null", &history), 0);
  EXPECT_NE(history.find("DTODAY"), std::string::npos);
  EXPECT_EQ(history.find("DOLD"), std::string::npos);
  const TreeEntry form = AppTreeEntry(users, "frmMain");
  const TreeEntry usersButton = AppTreeEntry(users, "acUsers"), historyButton = AppTreeEntry(users, "acHistory");
  const TreeEntry panel = AppTreeEntry(users, "pnlMain"), grid = AppTreeEntry(history, "lstHistory"),
                  viewer = AppTreeEntry(history, "fraPDFViewer");
  // The Add button is the first of the three 20-pixel title buttons at the
  // right end of the 28-pixel title bar inside the panel's 2-pixel border.
  const int addX = panel.x + panel.width - 2 - 3 * 20 + 10, addY = panel.y + 2 + 14;
  auto at = [](const TreeEntry& e, int dx, int dy) {
    return "$((X + " + std::to_string(e.x + dx) + ")) $((Y + " + std::to_string(e.y + dy) + "))";
  };
  const std::string script =
      "set -e\n"
      "export QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0\n"
      "'" PX_PROGRAM_PATH "' & P=$!\n" +
      std::string(SettleShell) +
      "W=$(xdotool search --sync --onlyvisible --name 'Pondarix 7350 - Cash counting' | head -1)\n"
      "settle 2\n"
      // The width pxtool laid the window out with, so that the places it
      // printed hold; the height as the screen allows.
      "xdotool windowsize --sync $W " + std::to_string(form.width) + " 700 || true\n"
      "settle 1\n"
      "eval $(xdotool getwindowgeometry --shell $W)\n"
      "xdotool mousemove " + at(usersButton, 44, 30) + " click 1\n"
      "settle 2\n"
      "xdotool mousemove $((X + " + std::to_string(addX) + ")) $((Y + " + std::to_string(addY) + ")) click 1\n"
      "settle 2\n"
      "import -window root '" + work.File("input.png") + "'\n"
      "xdotool type --delay 50 Jan\n"
      "xdotool key Return\n"
      "settle 2\n"
      "import -window root '" + work.File("users.png") + "'\n"
      "xdotool mousemove " + at(historyButton, 44, 30) + " click 1\n"
      "settle 3\n"
      "import -window root '" + work.File("history.png") + "'\n"
      "xdotool mousemove " + at(grid, 30, 27) + " click 1\n"
      "settle 4\n"
      "import -window root '" + work.File("report.png") + "'\n"
      "echo \"$X $Y $HEIGHT\" > '" + work.File("origin") + "'\n"
      "kill -TERM $P\n"
      "wait $P\n";
  WriteFileBytes(work.Path() / "run.sh", script);
  std::string out;
  XServer x;
  ASSERT_EQ(RunCommand(x.Env() + "bash '" + work.File("run.sh") + "' 2>&1", &out), 0)
      << out;
  if (const char* dir = std::getenv("PX_SHOT_DIR"))
    for (const char* name : {"input.png", "users.png", "history.png", "report.png"})
      std::filesystem::copy_file(work.File(name), std::string(dir) + "/xvfb-" + name,
                                 std::filesystem::copy_options::overwrite_existing);

  // The report page: dark text in the viewer after the click, none before.
  int x0 = 0, y0 = 0, height = 0;
  std::istringstream(ReadFileBytes(work.File("origin"))) >> x0 >> y0 >> height;
  QImage before, after;
  ASSERT_TRUE(before.load(QString::fromStdString(work.File("history.png"))));
  ASSERT_TRUE(after.load(QString::fromStdString(work.File("report.png"))));
  auto darkInViewer = [&](const QImage& shot) {
    int dark = 0;
    for (int y = viewer.y + 40; y < std::min(viewer.y + viewer.height, height) - 30; y += 2)
      for (int x = viewer.x + 10; x < viewer.x + viewer.width - 20 && x0 + x < shot.width(); x += 2)
        dark += qGray(shot.pixel(x0 + x, y0 + y)) < 80;
    return dark;
  };
  EXPECT_LT(darkInViewer(before), 5);
  EXPECT_GT(darkInViewer(after), 50);

  EXPECT_EQ(ListLines(RunIsql(db, "SET LIST ON;\nSELECT NAME, STATUS FROM USERS WHERE ID > 0;")),
            (std::vector<std::string>{"NAME Jan", "STATUS 1"}));
}

}  // namespace
}  // namespace px::test
