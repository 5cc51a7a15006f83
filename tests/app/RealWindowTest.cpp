// The real program on an X server (xvfb-run, xcb platform) in a fresh home:
// found by its title, its category icons painted from the IMAGES80 strip, a
// click on Information, and SIGTERM ending it as File > Exit does.
#include <QImage>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace px::test {
namespace {

// The window-relative top-left of each category button, from pxtool app tree.
std::vector<std::pair<std::string, std::pair<int, int>>> buttonOrigins(const std::string& tree) {
  std::vector<std::pair<std::string, std::pair<int, int>>> out;
  std::istringstream lines(tree);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("\tTButtonItem\t") == std::string::npos) continue;
    std::vector<std::string> f;
    std::istringstream cols(line);
    std::string c;
    while (std::getline(cols, c, '\t')) f.push_back(c);
    int x = 0, y = 0;
    std::sscanf(f[3].c_str(), "%d,%d", &x, &y);
    out.push_back({f[0].substr(f[0].find_first_not_of(' ')), {x, y}});
  }
  return out;
}

TEST(RealWindow, UnderXvfb) {
  FreshHome home;
  TempDir work;
  std::string tree;
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree 2>/dev/null", &tree), 0);
  const auto buttons = buttonOrigins(tree);
  ASSERT_EQ(buttons.size(), 5u);
  const std::string settings = home.SettingsFile();
  const std::string before = ReadFileBytes(settings);

  // Offsets of the Information button's centre for the click.
  int infoX = 0, infoY = 0;
  for (const auto& [name, at] : buttons)
    if (name == "acInformation") infoX = at.first + 44, infoY = at.second + 30;
  const std::string steps =
      "import -window root '" + work.File("before.png") + "'\n"
      "xdotool mousemove $((X + " + std::to_string(infoX) + ")) $((Y + " + std::to_string(infoY) + ")) click 1\n"
      "sleep 2\n"
      "import -window root '" + work.File("after.png") + "'\n"
      // The status screen's Disconnect: the simulated scale leaves and comes
      // back a second later, which the status screen greets with its
      // animation.
      "xdotool mousemove $((X + 46)) $((Y + HEIGHT - 36)) click 1\n"
      "sleep 3\n"
      "import -window root '" + work.File("back.png") + "'\n";
  std::string out;
  ASSERT_EQ(RunProgramUnderX(work, steps, out), 0) << out;

  // Settings file untouched by the exit.
  EXPECT_EQ(ReadFileBytes(settings), before);

  const int x0 = GeometryValue(work.File("geometry"), "X"), y0 = GeometryValue(work.File("geometry"), "Y");
  const int height = GeometryValue(work.File("geometry"), "HEIGHT");
  QImage shot, after, back, strip, progress;
  ASSERT_TRUE(shot.load(QString::fromStdString(work.File("before.png"))));
  ASSERT_TRUE(after.load(QString::fromStdString(work.File("after.png"))));
  ASSERT_TRUE(back.load(QString::fromStdString(work.File("back.png"))));
  ASSERT_TRUE(strip.load(QString::fromStdString(std::string(PX_APP_DATA_DIR) + "/images/IMAGES80.png")));
  // Each icon is drawn centred in its 88 x 80 button; its opaque pixels show
  // on the screen as they are in the strip.
  const int images[] = {1, 2, 4, 0, 3};  // Count, Settings, Information, Users, History
  for (size_t i = 0; i < buttons.size(); ++i) {
    SCOPED_TRACE(buttons[i].first);
    const int left = x0 + buttons[i].second.first + (88 - 80) / 2;
    const int top = y0 + buttons[i].second.second;
    if (top + 80 > shot.height() || top + 80 > y0 + 504) continue;  // below the window's bottom
    int same = 0, opaque = 0;
    for (int y = 0; y < 62; y += 2)
      for (int x = 0; x < 80; x += 2) {
        const QColor want = strip.pixelColor(x, images[i] * 80 + y);
        if (want.alpha() != 255) continue;
        ++opaque;
        const QColor got = shot.pixelColor(left + x, top + y);
        same += std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                    std::abs(got.blue() - want.blue()) < 30;
      }
    ASSERT_GT(opaque, 50);
    // Edges are antialiased against the button colour.
    EXPECT_GT(same * 10, opaque * 8);
  }
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
      "sleep 2\n"
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
