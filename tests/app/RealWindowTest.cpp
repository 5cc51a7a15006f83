// The real program on an X server (Xvfb, xcb platform) in a fresh home:
// found by its title, its category icons painted from the IMAGES80 strip, a
// click on Information, one on History, and SIGTERM ending it as File > Exit
// does.
#include <QImage>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace px::test {
namespace {

struct ButtonPlace {
  std::string name;
  int x, y;  // window-relative top-left
  int width;
};

// Each category button's place, from pxtool app tree.
std::vector<ButtonPlace> buttonPlaces(const std::string& tree) {
  std::vector<ButtonPlace> out;
  std::istringstream lines(tree);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("\tTButtonItem\t") == std::string::npos) continue;
    std::vector<std::string> f;
    std::istringstream cols(line);
    std::string c;
    while (std::getline(cols, c, '\t')) f.push_back(c);
    int l = 0, t = 0, w = 0, h = 0, x = 0, y = 0;
    std::sscanf(f[2].c_str(), "%d,%d,%d,%d", &l, &t, &w, &h);
    std::sscanf(f[3].c_str(), "%d,%d", &x, &y);
    out.push_back({f[0].substr(f[0].find_first_not_of(' ')), x, y, w});
  }
  return out;
}

TEST(RealWindow, UnderXvfb) {
  FreshHome home;
  TempDir work;
  // Without a window manager the window keeps its restored size, raised to
  // the window's minimum (900 x 640), where all five buttons stand above the
  // status panel.
  std::string tree;
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree --size 784x504 2>/dev/null", &tree), 0);
  const auto buttons = buttonPlaces(tree);
  ASSERT_EQ(buttons.size(), 5u);
  const TreeEntry bar = AppTreeEntry(tree, "cbMain");
  const std::string settings = home.SettingsFile();
  const std::string before = ReadFileBytes(settings);

  // Offsets of the Information button's centre for the click.
  int infoX = 0, infoY = 0;
  for (const ButtonPlace& b : buttons)
    if (b.name == "acInformation") infoX = b.x + 44, infoY = b.y + 30;
  const ButtonPlace& history = buttons.back();
  ASSERT_LE(history.y + 80, bar.y + bar.height);
  const std::string steps =
      "import -window root '" + work.File("before.png") + "'\n"
      "xdotool mousemove $((X + " + std::to_string(infoX) + ")) $((Y + " + std::to_string(infoY) + ")) click 1\n"
      "settle 2\n"
      "import -window root '" + work.File("after.png") + "'\n"
      // The status screen's Disconnect: the simulated scale leaves and comes
      // back a second later, which the status screen greets with its
      // animation.
      "xdotool mousemove $((X + 46)) $((Y + HEIGHT - 36)) click 1\n"
      // Quiet for a second and a half: the scale's return is due a second
      // after it left.
      "settle 3 15\n"
      "import -window root '" + work.File("back.png") + "'\n"
      "xdotool mousemove $((X + " + std::to_string(history.x + 20) + ")) $((Y + " + std::to_string(history.y + 70) +
      ")) click 1\n"
      "settle 2\n"
      "import -window root '" + work.File("history.png") + "'\n";
  std::string out;
  ASSERT_EQ(RunProgramUnderX(work, steps, out), 0) << out;

  // Settings file untouched by the exit: it only gained the history list's
  // column layout, which the history screen stores when it closes.
  std::string kept = ReadFileBytes(settings);
  const size_t layout = kept.find("\n61List=");
  ASSERT_NE(layout, std::string::npos);
  kept.erase(layout, kept.find('\n', layout + 1) - layout);
  EXPECT_EQ(kept, before);

  const int x0 = GeometryValue(work.File("geometry"), "X"), y0 = GeometryValue(work.File("geometry"), "Y");
  const int height = GeometryValue(work.File("geometry"), "HEIGHT");
  ASSERT_EQ(GeometryValue(work.File("geometry"), "WIDTH"), 900);
  ASSERT_EQ(height, 640);
  QImage shot, after, back, historyShot, strip, progress;
  ASSERT_TRUE(shot.load(QString::fromStdString(work.File("before.png"))));
  ASSERT_TRUE(after.load(QString::fromStdString(work.File("after.png"))));
  ASSERT_TRUE(back.load(QString::fromStdString(work.File("back.png"))));
  ASSERT_TRUE(historyShot.load(QString::fromStdString(work.File("history.png"))));
  ASSERT_TRUE(strip.load(QString::fromStdString(std::string(PX_APP_DATA_DIR) + "/images/IMAGES80.png")));
  // Each icon is drawn centred in its button; its opaque pixels inside the
  // button show on the screen as they are in the strip.
  const int images[] = {1, 2, 4, 0, 3};  // Count, Settings, Information, Users, History
  auto iconShown = [&](const QImage& screen, const ButtonPlace& b, int image) {
    const int dx = (b.width - 80) / 2;
    int same = 0, opaque = 0;
    for (int y = 0; y < 62; y += 2)
      for (int x = std::max(0, -dx); x < 80 && dx + x < b.width; x += 2) {
        const QColor want = strip.pixelColor(x, image * 80 + y);
        if (want.alpha() != 255) continue;
        ++opaque;
        const QColor got = screen.pixelColor(x0 + b.x + dx + x, y0 + b.y + y);
        same += std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                    std::abs(got.blue() - want.blue()) < 30;
      }
    EXPECT_GT(opaque, 50);
    // Edges are antialiased against the button colour.
    return same * 10 > opaque * 8;
  };
  for (size_t i = 0; i < buttons.size(); ++i) {
    SCOPED_TRACE(buttons[i].name);
    EXPECT_TRUE(iconShown(shot, buttons[i], images[i]));
  }
  // A click on History selected it (the selected face is 0xE6E6E6, the
  // others white).
  const int faceX = x0 + history.x + 1, faceY = y0 + history.y + 2;
  EXPECT_EQ(after.pixelColor(faceX, faceY), QColor(Qt::white));
  EXPECT_EQ(historyShot.pixelColor(faceX, faceY), QColor(0xE6, 0xE6, 0xE6));
  // The status panel sits at the bottom of the menu panel, 99 pixels above
  // the window's bottom. The scale present at start: "Active" at its left
  // (dark text on the grey panel; without a scale the panel is empty), and
  // already an image of the animation: the settings screen read the scale's
  // currencies when it connected.
  const int panelX = x0 + 2, panelY = y0 + height - 99;
  int dark = 0;
  for (int y = 4; y < 45; ++y)
    for (int x = 0; x < 44; ++x) dark += qGray(shot.pixel(panelX + x, panelY + y)) < 100;
  EXPECT_GT(dark, 20);
  // Back after the disconnect: one image of the PROGRESS strip at
  // (w - 40, (h - 32) div 2) of the 88 x 49 panel.
  ASSERT_TRUE(progress.load(QString::fromStdString(std::string(PX_APP_DATA_DIR) + "/images/PROGRESS.png")));
  auto litPixels = [&](const QImage& screen) {
    int best = 0;
    for (int step = 0; step < 6; ++step) {
      int lit = 0;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          const QColor want = progress.pixelColor(x, step * 32 + y);
          if (want.alpha() == 255 && want.green() > 120 && want.red() < 90)
            lit += screen.pixelColor(panelX + 48 + x, panelY + 8 + y) == want.rgb();
        }
      best = std::max(best, lit);
    }
    return best;
  };
  EXPECT_GT(litPixels(shot), 20);
  EXPECT_GT(litPixels(back), 20);

  // Information shows frame 2: its memo is white where the settings page is grey.
  const int mx = x0 + 92 + 60, my = y0 + 19 + 60;
  EXPECT_NE(shot.pixelColor(mx, my), QColor(Qt::white));
  EXPECT_EQ(after.pixelColor(mx, my), QColor(Qt::white));
}

// A window made larger after the settings screen was drawn (the user, or a
// window manager maximizing it): the screen's title bar is drawn again over
// the whole new width, not left at the width it had.
TEST(RealWindow, GrownWindowRedrawsTheTitleBarOverItsNewWidth) {
  FreshHome home;
  TempDir work;
  const std::string steps =
      "xdotool windowsize --sync $W 1000 740 || true\n"
      "settle 2\n"
      "eval $(xdotool getwindowgeometry --shell $W)\n"
      "echo \"$X $Y $WIDTH\" > '" + work.File("grown") + "'\n"
      "import -window root '" + work.File("grown.png") + "'\n";
  std::string out;
  ASSERT_EQ(RunProgramUnderX(work, steps, out), 0) << out;
  int x0 = 0, y0 = 0, width = 0;
  std::istringstream(ReadFileBytes(work.File("grown"))) >> x0 >> y0 >> width;
  ASSERT_EQ(width, 1000);
  QImage shot;
  ASSERT_TRUE(shot.load(QString::fromStdString(work.File("grown.png"))));
  // The settings screen's title bar runs from the menu panel (92) to the
  // right edge; its middle line lies 14 pixels below the menu bar (19).
  const int y = y0 + 19 + 14;
  const QColor bar = shot.pixelColor(x0 + 92 + 300, y);
  EXPECT_NE(bar, shot.pixelColor(x0 + 92 + 300, y0 + 19 + 60));  // the bar, not the page below it
  for (int x : {700, 850, 980}) EXPECT_EQ(shot.pixelColor(x0 + x, y), bar) << "x " << x;
}

}  // namespace
}  // namespace px::test
