// The real program on an X server (Xvfb, xcb platform) in a fresh home:
// a counting from a receipt written into the other end of a socat pty pair,
// finalized by clicks, then one from the simulated scale.
#include <QImage>

#include <sstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ShotSupport.h"
#include "dbclient/IsqlPeer.h"
#include "support/XServer.h"

namespace px::test {
namespace {

// Window-relative top-left of the named component, from pxtool app tree.
std::pair<int, int> Origin(const std::string& tree, const std::string& name) {
  const TreeEntry e = AppTreeEntry(tree, name);
  return {e.x, e.y};
}

// Copies the screenshots to PX_SHOT_DIR when it names a folder (for looking).
void KeepShots(const TempDir& work) {
  if (const char* dir = std::getenv("PX_SHOT_DIR"))
    RunCommand(std::string("cp '") + work.File("") + "'*.png '" + dir + "/' 2>/dev/null");
}

const char* const windowName = "Pondarix 7350 - Cash counting";

// Runs the script on an X server of its own (the program on the xcb platform) in the
// current home, keeps its screenshots when asked, and
// answers the stored countings as isql-fb lists the query.
std::vector<std::string> RunUnderX(const TempDir& work, const std::string& name, const std::string& body,
                                   const std::string& query) {
  // No leak check at the program's exit: the X and D-Bus client libraries
  // keep memory for the whole process, and the checker's own tracer has
  // crashed there while the database client's threads were ending. Leaks are
  // checked by the in-process tests.
  const std::string script = "set -ex\n"
                             "export QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0:strict_string_checks=0\n" +
                             std::string(SettleShell) + body;
  WriteFileBytes(work.Path() / name, script);
  std::string out;
  XServer x;
  EXPECT_EQ(RunCommand(x.Env() + "timeout 600 bash '" + work.File(name) + "' 2>&1", &out), 0)
      << out;
  KeepShots(work);
  const char* data = std::getenv("XDG_DATA_HOME");
  return ListLines(RunIsql(std::string(data ? data : "") + "/Pondarix/pxdata.fdb", "SET LIST ON;\n" + query + "\n"));
}

TEST(CountRealWindow, FromAReceiptAndFromTheSimulatedScale) {
  TempDir work;
  std::string sheetTree;
  std::pair<int, int> count;
  {
    FreshHome home;
    count = Origin(Tree(""), "acCount");
    WriteFileBytes(work.Path() / "receipt.txt",
                   "Deno        Pcs    Value \r\n-------------------------\r\nGBP 5        4       20  \r\n"
                   "GBP 10       5       50  \r\nGBP 20       5      100  \r\nGBP 50       5      250  \r\n"
                   "-------------------------\r\n            19      420  \r\n");
    // The places of the drawer edit and Finalize, on a sheet.
    sheetTree = Tree("--frame 5 --feed-receipt '" + work.File("receipt.txt") + "'");
  }
  const auto drawer = Origin(sheetTree, "edCashDrawer");
  const auto finalize = Origin(sheetTree, "btnFinalize");
  const std::string run = std::string("W=$(timeout 120 xdotool search --sync --onlyvisible --name '") + windowName + "' | head -1)\n"
                          "settle 2\n"
                          "eval $(xdotool getwindowgeometry --shell $W)\n"
                          "click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; settle 1; }\n";
  auto clickAt = [](std::pair<int, int> at, int dx, int dy) {
    return "click " + std::to_string(at.first + dx) + " " + std::to_string(at.second + dy) + "\n";
  };

  {
    // socat's output goes elsewhere so that it holds no pipe of the test's;
    // it goes with the script, however that ends.
    FreshHome home;
    const auto rows = RunUnderX(
        work, "receipt.sh",
        "socat pty,raw,echo=0,link='" + work.File("port") + "' pty,raw,echo=0,link='" + work.File("printer") +
            "' >/dev/null 2>&1 & S=$! SETTLE_ALSO=$S\n"
            "trap 'kill $S 2>/dev/null' EXIT\n"
            "for i in $(seq 600); do [ -e '" + work.File("printer") + "' ] && break; sleep 0.1; done\n"
            "'" PX_PROGRAM_PATH "' --receipt-port '" + work.File("port") + "' & P=$!\n" + run +
            clickAt(count, 44, 30) +
            "settle 1\n"
            "cat '" + work.File("receipt.txt") + "' > '" + work.File("printer") + "'\n"
            "settle 2\n"
            "import -window root '" + work.File("sheet.png") + "'\n" +
            clickAt(drawer, 20, 10) +
            "xdotool type K9\n"
            "settle 1\n" +
            clickAt(finalize, 30, 12) +
            "settle 3\n"
            "import -window root '" + work.File("report.png") + "'\n"
            "kill -TERM $P\n"
            "wait $P\n",
        "SELECT USERID, VALUTA, CASHDRAWER, TOTALVALUE FROM COUNTINGS;");
    EXPECT_EQ(rows, (std::vector<std::string>{"USERID -1", "VALUTA GBP", "CASHDRAWER K9", "TOTALVALUE 42000"}));
    QImage sheet, report;
    ASSERT_TRUE(sheet.load(QString::fromStdString(work.File("sheet.png"))));
    ASSERT_TRUE(report.load(QString::fromStdString(work.File("report.png"))));
    // The report replaced the sheet: the area below the top panel changed.
    EXPECT_GT(Changed(sheet, report, 300, 250, 400, 300), 1000);
  }

  {
    // The sample scale's result: 12 two-euro coins and 3 fifty-euro notes.
    FreshHome home;
    const auto rows = RunUnderX(
        work, "scale.sh",
        "'" PX_PROGRAM_PATH "' --simulated-scale '" PX_SOURCE_DIR "/resources/scale-sample.txt' & P=$!\n" + run +
            clickAt(count, 44, 30) +
            "settle 2\n"
            "import -window root '" + work.File("scale.png") + "'\n" +
            clickAt(finalize, 30, 12) +
            "settle 3\n"
            "kill -TERM $P\n"
            "wait $P\n",
        "SELECT USERID, VALUTA, TOTALVALUE FROM COUNTINGS;");
    EXPECT_EQ(rows, (std::vector<std::string>{"USERID -1", "VALUTA EUR", "TOTALVALUE 17400"}));
  }
}

}  // namespace
}  // namespace px::test
