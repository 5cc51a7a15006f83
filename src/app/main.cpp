// Program entry. Until the application's own start-up lands this shows an
// empty main window with the program's title.
#include <QApplication>
#include <QMainWindow>

#include "platform/core/Version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(px::ProgramName);
  QMainWindow window;
  window.setWindowTitle(px::ProgramName);
  window.resize(1024, 720);
  window.show();
  return QApplication::exec();
}
