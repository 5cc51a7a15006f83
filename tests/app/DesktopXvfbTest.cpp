// The real program on a desktop: an X server (xvfb-run) with the openbox
// window manager, in a fresh home, driven by xdotool like a user: the
// simulated scale's results while a report is shown, double clicks on
// Finalize, closing the window during a counting; every step is grabbed and
// the database read with isql-fb afterwards.
#include <QImage>

#include <cstdio>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "ShotSupport.h"
#include "support/XServer.h"
#include "dbclient/IsqlPeer.h"
#include "platform/core/Format.h"

namespace px::test {
namespace {

QImage Shot(const TempDir& work, const std::string& name) {
  QImage image;
  EXPECT_TRUE(image.load(QString::fromStdString(work.File(name + ".png")))) << name;
  return image;
}

// Runs body on an X server of its own (1024 x 768) with openbox, in the current home.
// The body starts the program with `start ARGS`, which sets W (the main
// window), X and Y (its client area on the screen) and WIDTH; `click DX DY`
// and `dbl DX DY` click window-relative places, `shot NAME` grabs the screen
// into NAME.png, `note TEXT` appends a line to the file "notes", `boxes`
// answers how many message boxes (windows titled "Pondarix 7350") show.
// Answers the script's output; the exit code must be 0.
std::string OnDesktop(const TempDir& work, const std::string& body) {
  const std::string script =
      "set -ex\n" + std::string(SettleShell) +
      // No leak check at the program's exit (see CountRealWindowTest.cpp).
      "export QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0:strict_string_checks=0\n"
      "WORK='" + work.File("") + "'\n"
      "openbox >/dev/null 2>&1 &\n"
      "for i in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window && break; sleep 0.1; done\n"
      "start() {\n"
      "  '" PX_PROGRAM_PATH "' \"$@\" & P=$!\n"
      "  W=$(timeout 120 xdotool search --sync --onlyvisible --name 'Pondarix 7350 - Cash counting' | head -1)\n"
      "  settle 2\n"
      "  eval $(xwininfo -id $W | awk '/Absolute upper-left X/{print \"X=\"$4} /Absolute upper-left Y/{print \"Y=\"$4} "
      "/^  Width/{print \"WIDTH=\"$2}')\n"
      "  printf 'X=%s\\nY=%s\\nWIDTH=%s\\n' $X $Y $WIDTH > \"$WORK/geometry\"\n"
      "}\n"
      "click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; settle 1; }\n"
      "dbl() { xdotool mousemove $((X + $1)) $((Y + $2)) click --repeat 2 --delay 80 1; settle 1.5; }\n"
      "shot() { import -window root \"$WORK/$1.png\"; }\n"
      "note() { echo \"$*\" >> \"$WORK/notes\"; }\n"
      "boxes() { xdotool search --onlyvisible --name '^Pondarix 7350$' | wc -l; }\n" +
      body;
  WriteFileBytes(work.Path() / "desktop.sh", script);
  std::string out;
  XServer x;
  EXPECT_EQ(RunCommand(x.Env() + "timeout 900 bash '" + work.File("desktop.sh") + "' 2>&1",
                       &out),
            0)
      << out;
  if (const char* dir = std::getenv("PX_SHOT_DIR"))
    RunCommand(std::string("cp '") + work.File("") + "'*.png '" + dir + "/' 2>/dev/null");
  return out;
}

std::vector<std::string> StoredTotals() {
  const char* data = std::getenv("XDG_DATA_HOME");
  return ListLines(RunIsql(std::string(data ? data : "") + "/Pondarix/pxdata.fdb",
                           "SET LIST ON;\nSELECT TOTALVALUE FROM COUNTINGS ORDER BY ID;\n"));
}

// The sample scale's result is 12 two-euro coins and 3 fifty-euro notes
// (174.00); each save of its file with another count of two-euro coins hands
// over the next result.
TEST(Desktop, ResultsWaitWhileTheReportIsShownAndOnePressStoresOneCounting) {
  TempDir work;
  FreshHome home;
  const TreeEntry count = AppTreeEntry(Tree(""), "acCount");
  WriteFileBytes(work.Path() / "receipt.txt", "DENO\r\n----\r\nGBP 5 4 20\r\n----\r\n4 20\r\n");
  const TreeEntry finalize =
      AppTreeEntry(Tree("--frame 5 --feed-receipt '" + work.File("receipt.txt") + "'"), "btnFinalize");
  WriteFileBytes(work.Path() / "scale.txt", ReadFileBytes(PX_SOURCE_DIR "/resources/scale-sample.txt"));
  auto at = [](const TreeEntry& e, int dx, int dy) {
    return std::to_string(e.x + dx) + " " + std::to_string(e.y + dy);
  };
  const std::string countButton = at(count, 44, 30), finalizeButton = at(finalize, 37, 12);
  // The viewer's Next counting button: the right-most pixels of its green
  // arrow in the tool bar below the top panel.
  const std::string nextButton =
      "next() {\n"
      "  shot find\n"
      "  set -- $(convert \"$WORK/find.png\" -crop 400x60+$((X + 92))+$((Y + " + std::to_string(finalize.y + 40) +
      "))"
      " +repage txt:- | awk -F'[,: ]+' '/#008000/ { if ($1 > m) { m = $1; y = $2 } } END { print m, y }')\n"
      "  xdotool mousemove $((X + 92 + $1 - 5)) $((Y + " + std::to_string(finalize.y + 40) +
      " + $2)) click 1; settle 1.5\n"
      "}\n";
  const std::string count2 = "sed -i 's/^count 8 .*/count 8 %d/' \"$WORK/scale.txt\"\n";
  OnDesktop(work, nextButton + "start --simulated-scale \"$WORK/scale.txt\"\n"
                  "click " + countButton + "\n"
                  "settle 1\n"
                  "shot sheet1\n"
                  "dbl " + finalizeButton + "\n"
                  "shot report1\n"
                  // Two results while the report is shown.
                  + Format(count2, 13) + "sleep 0.6\n" + Format(count2, 14) +
                  "settle 2\n"
                  "shot waiting\n"
                  "dbl " + finalizeButton + "\n"
                  "shot pressed\n"
                  "next\n"
                  "shot sheet3\n"
                  // The window's close button and File > Exit during the counting.
                  "xdotool mousemove $((X + WIDTH - 11)) $((Y - 10)) click 1; settle 1.5\n"
                  "note close $(boxes)\n"
                  "shot close\n"
                  "xdotool key Return; settle 1\n"
                  "click 20 8\n"
                  "xdotool key Down Return; settle 1.5\n"
                  "note exit $(boxes)\n"
                  "xdotool key Return; settle 1\n"
                  "kill -0 $P && note alive\n"
                  "dbl " + finalizeButton + "\n"
                  "shot report3\n"
                  // One more result waits; the Count button starts it.
                  + Format(count2, 15) + "settle 2\n"
                  "click " + countButton + "\n"
                  "shot sheet4\n"
                  // The stop signal ends the program with its counting open.
                  "kill -TERM $P\n"
                  "wait $P\n");
  EXPECT_EQ(ReadFileBytes(work.File("notes")), "close 1\nexit 1\nalive\n");
  // Exactly the countings whose sheets were shown and finalized: 12 and 14
  // two-euro coins; neither the result that was replaced while waiting nor
  // the open one.
  EXPECT_EQ(StoredTotals(), (std::vector<std::string>{"TOTALVALUE 17400", "TOTALVALUE 17800"}));

  // The sheet area below the top panel, in screen pixels (the window is
  // maximized below openbox's title bar).
  const QImage sheet1 = Shot(work, "sheet1"), report1 = Shot(work, "report1"), waiting = Shot(work, "waiting"),
               pressed = Shot(work, "pressed"), sheet3 = Shot(work, "sheet3"), close = Shot(work, "close"),
               report3 = Shot(work, "report3"), sheet4 = Shot(work, "sheet4");
  const int x0 = 250, y0 = 250, w = 500, h = 400;
  // Each finalize showed its report in place of the sheet.
  EXPECT_GT(Changed(sheet1, report1, x0, y0, w, h), 1000);
  EXPECT_GT(Changed(sheet3, report3, x0, y0, w, h), 1000);
  // The results that came meanwhile left the report shown, and so did the
  // press on Finalize; Next counting brought the sheet.
  EXPECT_LT(Changed(report1, waiting, x0, y0, w, h), 50);
  EXPECT_LT(Changed(waiting, pressed, x0, y0, w, h), 50);
  EXPECT_GT(Changed(pressed, sheet3, x0, y0, w, h), 1000);
  EXPECT_LT(Changed(sheet1, sheet3, x0, y0, w, h), 300);
  // The refused close left the sheet behind its message box.
  EXPECT_LT(Changed(sheet3, close, 100, 600, 800, 100), 50);
  EXPECT_GT(Changed(report3, sheet4, x0, y0, w, h), 1000);
}

// The receipt port on a socat pair: socat ended (the program's line hangs
// up and its link goes) and started again; the receipt sent then is counted
// once, without leaving and entering the count screen, and none is doubled.
TEST(Desktop, ReceiptPortThatComesBackIsReadAgain) {
  TempDir work;
  FreshHome home;
  const TreeEntry count = AppTreeEntry(Tree(""), "acCount");
  WriteFileBytes(work.Path() / "small.txt", "DENO\r\n----\r\nGBP 5 4 20\r\n----\r\n4 20\r\n");
  WriteFileBytes(work.Path() / "large.txt", "DENO\r\n----\r\nGBP 50 3 150\r\n----\r\n3 150\r\n");
  const TreeEntry finalize =
      AppTreeEntry(Tree("--frame 5 --feed-receipt '" + work.File("small.txt") + "'"), "btnFinalize");
  const std::string countButton = std::to_string(count.x + 44) + " " + std::to_string(count.y + 30);
  const std::string finalizeButton = std::to_string(finalize.x + 37) + " " + std::to_string(finalize.y + 12);
  OnDesktop(work, "socat_up() {\n"
                  "  socat pty,raw,echo=0,link=\"$WORK/port\" pty,raw,echo=0,link=\"$WORK/printer\" >/dev/null 2>&1 &\n"
                  "  S=$!\n"
                  "  for i in $(seq 50); do [ -e \"$WORK/printer\" ] && break; sleep 0.1; done\n"
                  "}\n"
                  "socat_up\n"
                  "trap 'kill $S 2>/dev/null' EXIT\n"
                  "start --receipt-port \"$WORK/port\"\n"
                  "click " + countButton + "\n"
                  "shot empty\n"
                  "cat \"$WORK/small.txt\" > \"$WORK/printer\"; settle 2\n"
                  "dbl " + finalizeButton + "\n"
                  // The printer's line goes away and comes back.
                  "kill $S; wait $S || true\n"
                  "settle 1.5\n"
                  "socat_up\n"
                  "cat \"$WORK/large.txt\" > \"$WORK/printer\"; settle 2\n"
                  // It waits behind the report; the Count button starts it.
                  "click " + countButton + "\n"
                  "shot second\n"
                  "dbl " + finalizeButton + "\n"
                  "settle 2\n"
                  // Nothing else waits: Count shows an empty screen.
                  "click " + countButton + "\n"
                  "shot after\n"
                  "kill -TERM $P\n"
                  "wait $P\n");
  EXPECT_EQ(StoredTotals(), (std::vector<std::string>{"TOTALVALUE 2000", "TOTALVALUE 15000"}));
  const QImage empty = Shot(work, "empty"), second = Shot(work, "second"), after = Shot(work, "after");
  EXPECT_GT(Changed(empty, second, 250, 250, 500, 400), 1000);
  EXPECT_LT(Changed(empty, after, 250, 250, 500, 400), 50);
}

// What xprop says of a window, and the main window's id, as the script
// wrote them: the dialog rules.
void ExpectDialogOfTheMainWindow(const std::string& props, const std::string& what) {
  SCOPED_TRACE(what + ":\n" + props);
  EXPECT_NE(props.find("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DIALOG"), std::string::npos);
  const size_t main = props.find("main 0x");
  ASSERT_NE(main, std::string::npos);
  const std::string id = props.substr(main + 5, props.find('\n', main) - main - 5);
  EXPECT_NE(props.find("WM_TRANSIENT_FOR(WINDOW): window id # " + id), std::string::npos);
  EXPECT_EQ(props.find("_NET_WM_ACTION_MAXIMIZE"), std::string::npos);
  // The window asks for neither a minimize nor a maximize function (bits 8
  // and 16 of the Motif functions); openbox by its own rule still offers to
  // iconify a dialog from its window menu.
  const size_t motif = props.find("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = ");
  ASSERT_NE(motif, std::string::npos);
  unsigned flags = 0, functions = 0;
  ASSERT_EQ(std::sscanf(props.c_str() + motif + 35, "%x, %x", &flags, &functions), 2);
  EXPECT_TRUE(flags & 1);
  EXPECT_EQ(functions & 0x18u, 0u);
}

// Keyboard and dialogs on the desktop: Tab to Cancel shows the focus on the
// button; the About box and a message box are dialogs of the main window
// (dialog type, transient for it, neither minimizable nor maximizable, the
// About box of fixed size), and Escape closes them.
TEST(Desktop, FocusIsShownAndDialogsBelongToTheMainWindow) {
  TempDir work;
  FreshHome home;
  const TreeEntry count = AppTreeEntry(Tree(""), "acCount");
  WriteFileBytes(work.Path() / "receipt.txt", "DENO\r\n----\r\nGBP 5 4 20\r\n----\r\n4 20\r\n");
  const std::string sheetTree = Tree("--frame 5 --feed-receipt '" + work.File("receipt.txt") + "'");
  const TreeEntry drawer = AppTreeEntry(sheetTree, "edCashDrawer"), cancel = AppTreeEntry(sheetTree, "btnCancel");
  const std::string props = "_NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR _NET_WM_ALLOWED_ACTIONS WM_NORMAL_HINTS _MOTIF_WM_HINTS";
  OnDesktop(work, "start --simulated-scale '" PX_SOURCE_DIR "/resources/scale-sample.txt'\n"
                  "click " + std::to_string(count.x + 44) + " " + std::to_string(count.y + 30) + "\n"
                  "settle 1\n"
                  "click " + std::to_string(drawer.x + 20) + " " + std::to_string(drawer.y + 10) + "\n"
                  "shot focus0\n"
                  "xdotool key Tab; sleep 0.5\n"
                  "xdotool key Tab; sleep 0.8\n"
                  "shot focus1\n"
                  // Help > About, the last item of the Help menu.
                  "click 58 8\n"
                  "xdotool key Up Return; settle 1.5\n"
                  "A=$(xdotool search --onlyvisible --name '^About' | head -1)\n"
                  "xprop -id $A " + props + " > \"$WORK/about\"\n"
                  "printf 'main 0x%x\\n' $W >> \"$WORK/about\"\n"
                  "xdotool key Escape; settle 1\n"
                  "note about $(xdotool search --onlyvisible --name '^About' | wc -l)\n"
                  // A message box: the refused close during the counting.
                  "xdotool mousemove $((X + WIDTH - 11)) $((Y - 10)) click 1; settle 1.5\n"
                  "B=$(xdotool search --onlyvisible --name '^Pondarix 7350$' | head -1)\n"
                  "xprop -id $B " + props + " > \"$WORK/box\"\n"
                  "printf 'main 0x%x\\n' $W >> \"$WORK/box\"\n"
                  "xdotool key Escape; settle 1\n"
                  "note box $(boxes)\n"
                  "kill -TERM $P\n"
                  "wait $P\n");
  // Escape closed both.
  EXPECT_EQ(ReadFileBytes(work.File("notes")), "about 0\nbox 0\n");
  const std::string about = ReadFileBytes(work.File("about")), box = ReadFileBytes(work.File("box"));
  ExpectDialogOfTheMainWindow(about, "About");
  ExpectDialogOfTheMainWindow(box, "message box");
  // The About box keeps its size: its smallest and largest sizes are one.
  const size_t min = about.find("minimum size: "), max = about.find("maximum size: ");
  ASSERT_NE(min, std::string::npos) << about;
  ASSERT_NE(max, std::string::npos) << about;
  EXPECT_EQ(about.substr(min + 14, about.find('\n', min) - min - 14),
            about.substr(max + 14, about.find('\n', max) - max - 14));

  // The focus on Cancel is seen: the button's pixels changed when Tab
  // brought the focus to it (from the drawer, past the employee).
  const QImage before = Shot(work, "focus0"), after = Shot(work, "focus1");
  const int x0 = GeometryValue(work.File("geometry"), "X"), y0 = GeometryValue(work.File("geometry"), "Y");
  EXPECT_GT(Changed(before, after, x0 + cancel.x, y0 + cancel.y, cancel.width, cancel.height), 10);
}

}  // namespace
}  // namespace px::test
