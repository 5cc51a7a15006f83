// The executable: reads the program's options, puts the simulated scale in
// place of the device tree when asked, ends on SIGTERM and SIGINT as File >
// Exit does, and runs the start-up sequence of px_app.
//   Pondarix7350 [--simulated-scale FILE] [--receipt-port PATH]
#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "SimulatedScale.h"
#include "app/Startup.h"
#include "device/UnitHID.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onStopSignal(int) { stopRequested = 1; }

int usage() {
  std::fprintf(stderr, "usage: Pondarix7350 [--simulated-scale FILE] [--receipt-port PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  px::TProgramSetup setup;
  std::string scaleFile;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--simulated-scale" && i + 1 < argc) scaleFile = argv[++i];
    else if (a == "--receipt-port" && i + 1 < argc) setup.ReceiptPort = argv[++i];
    else return usage();
  }
  std::signal(SIGTERM, onStopSignal);
  std::signal(SIGINT, onStopSignal);
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
      if (stopRequested && px::Application) px::Application->Terminate();
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
  simulated.reset();
  return rc;
}
