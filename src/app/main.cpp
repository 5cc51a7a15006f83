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

#include "FakeHidSysfs.h"
#include "ScaleFile.h"
#include "ScaleSimulator.h"
#include "app/Startup.h"
#include "device/UnitHID.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onStopSignal(int) { stopRequested = 1; }

// The simulated scale in a private device tree. It leaves when asked to
// disconnect and comes back a second later, or as soon as its file changes
// (a new counting result).
class SimulatedScale {
 public:
  SimulatedScale(std::string fileName, std::filesystem::path root)
      : fileName_(std::move(fileName)), root_(std::move(root)), tree_(root_) {
    const px::TScaleFile file = px::ReadScaleFile(fileName_);
    scale_ = std::make_unique<px::TScaleSimulator>(file.Variant, file.Protocol);
    px::ApplyScaleFile(file, *scale_);
    stamp_ = stamp();
    device_.ProductId = static_cast<px::Word>(file.Variant);
    tree_.Add(device_);
    scale_->SetOnDisconnectRequest([this] { leaveRequested_ = 1; });
  }
  ~SimulatedScale() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  void Setup(px::TProgramSetup& setup) {
    setup.SysfsRoot = tree_.SysfsRoot();
    setup.DevRoot = tree_.DevRoot();
    setup.WatchHotPlug = false;
    setup.Opener = scale_->Opener();
  }
  // Runs on the GUI thread every few hundred milliseconds.
  void Poll() {
    const auto now = std::filesystem::file_time_type::clock::now();
    const bool changed = stamp() != stamp_;
    if (present_ && (leaveRequested_ || changed)) {
      leaveRequested_ = 0;
      tree_.Remove(device_.Node);
      present_ = false;
      returnAt_ = now + std::chrono::seconds(1);
      refresh();
    } else if (!present_ && (now >= returnAt_ || changed)) {
      reload();
      ++device_.Instance;
      tree_.Add(device_);
      present_ = true;
      refresh();
    }
  }

 private:
  std::filesystem::file_time_type stamp() const {
    std::error_code ec;
    return std::filesystem::last_write_time(fileName_, ec);
  }
  void reload() {
    stamp_ = stamp();
    try {
      px::ApplyScaleFile(px::ReadScaleFile(fileName_), *scale_);
    } catch (const px::Exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
  }
  static void refresh() {
    if (px::HIDDevices) px::HIDDevices->Refresh();
  }
  std::string fileName_;
  std::filesystem::path root_;
  px::FakeHidSysfs tree_;
  px::FakeHidDevice device_;
  std::unique_ptr<px::TScaleSimulator> scale_;
  std::filesystem::file_time_type stamp_;
  std::filesystem::file_time_type returnAt_;
  volatile std::sig_atomic_t leaveRequested_ = 0;
  bool present_ = true;
};

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
  std::unique_ptr<SimulatedScale> simulated;
  QTimer poll;
  try {
    if (!scaleFile.empty()) {
      const auto root = std::filesystem::temp_directory_path() / ("pondarix-scale-" + std::to_string(::getpid()));
      simulated = std::make_unique<SimulatedScale>(scaleFile, root);
      simulated->Setup(setup);
    }
    px::InitializeProgram(setup);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (stopRequested && px::Application) px::Application->Terminate();
      if (simulated) simulated->Poll();
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
