// Test main of the programs that need widgets: one QApplication for the whole
// run, on the offscreen platform unless the caller chose another, with the
// project's fonts unless the caller chose others.
#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Pictures are compared pixel by pixel: run by hand as under CTest, the
  // tests see only the project's fonts, drawn with its settings.
  if (!std::getenv("FONTCONFIG_FILE"))
    setenv("FONTCONFIG_FILE", (std::filesystem::path(PX_TESTS_DIR) / "fonts.conf").c_str(), 1);
  // The user's locale, as QApplication sets it in the program too; unlike
  // the program, the tests keep it, so that a number written or read through
  // the C library's locale shows up here.
  std::setlocale(LC_ALL, "");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
