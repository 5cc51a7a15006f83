// The executable: reads the program's options, prepares the simulated scale
// when asked, and runs the start-up sequence of px_app.
#include <QApplication>

#include <cstdio>
#include <exception>

#include "app/Startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int rc = 0;
  try {
    px::InitializeProgram();
    rc = px::RunMainBlock();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    rc = 1;
  }
  px::FinalizeProgram();
  return rc;
}
