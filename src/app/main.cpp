// The executable: reads the program's options, puts the simulated scale in
// place of the device tree when asked, ends on SIGTERM and SIGINT as File >
// Exit does, and runs the start-up sequence of px_app.
//
// SIGTERM and SIGINT are blocked in every thread and taken by the GUI
// thread's poll: the database client library otherwise catches them itself
// and shuts its engine down on a thread of its own while the program is
// still ending, which crashes the exit.
//   Pondarix7350 [--simulated-scale FILE] [--receipt-port PATH]
#include <QApplication>
#include <QTimer>

#include <pthread.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Startup.h"
#include "app/UnitData.h"
#include "dbclient/dbclib.h"
#include "device/UnitHID.h"
#include "device/scalesim/SimulatedScale.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"

namespace {

// Whether a stop signal waits, taking it.
bool stopSignalTaken(const sigset_t& stops) {
  timespec now{0, 0};
  return sigtimedwait(&stops, nullptr, &now) > 0;
}

int usage() {
  std::fprintf(stderr, "usage: Pondarix7350 [--simulated-scale FILE] [--receipt-port PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts, so that every thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  QApplication app(argc, argv);
  // QApplication has set the C library's locale from the environment. Every
  // number in a file or format goes through the locale-independent
  // conversions and the user's formats come from FormatSettings, so nothing
  // should depend on LC_NUMERIC; putting it back to "C" keeps a conversion
  // missed there (or one inside a library we call) from writing "0,5" into
  // a PDF or an SQL statement.
  std::setlocale(LC_NUMERIC, "C");
  px::TProgramSetup setup;
  std::string scaleFile;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--simulated-scale" && i + 1 < argc) scaleFile = argv[++i];
    else if (a == "--receipt-port" && i + 1 < argc) setup.ReceiptPort = argv[++i];
    else return usage();
  }
  int rc = 0;
  std::unique_ptr<px::TSimulatedScale> simulated;
  QTimer poll;
  try {
    if (!scaleFile.empty()) {
      const auto root = std::filesystem::temp_directory_path() / ("pondarix-scale-" + std::to_string(::getpid()));
      simulated = std::make_unique<px::TSimulatedScale>(scaleFile, root);
      setup.SysfsRoot = simulated->SysfsRoot();
      setup.DevRoot = simulated->DevRoot();
      setup.WatchHotPlug = false;
      setup.Opener = simulated->Opener();
    }
    px::InitializeProgram(setup);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (stopSignalTaken(stopSignals) && px::Application) px::Application->Terminate();
      if (simulated && simulated->Poll() && px::HIDDevices) px::HIDDevices->Refresh();
    });
    poll.start(200);
    rc = px::RunMainBlock();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    rc = 1;
  }
  poll.stop();
  px::FinalizeProgram();
  // The databases are closed by now: the engine stops its threads and
  // flushes while the process is still whole, not from the client library's
  // exit handlers.
  px::ShutdownClientEngine(px::TdmDatabase::ClientLibraryName);
  simulated.reset();
  return rc;
}
