#pragma once
// The scale behind the program's --simulated-scale FILE option: the simulator
// in a private device tree, filled from FILE (see ScaleFile.h), that comes and
// goes as the real scale does.
//
// - Asked to disconnect (the status screen, the settings screen after writing
//   currencies), it leaves and comes back a second later.
// - Once the program has read its counting result (the read-out ends with a
//   disconnect request), it leaves and comes back only with the next result:
//   when FILE changes.
// - When FILE changes while it is present, it leaves and comes back at once
//   with the new result.
// The owner calls Poll regularly on the GUI thread and tells the device list
// to look again whenever Poll answers true.
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "device/scalesim/FakeHidSysfs.h"
#include "device/scalesim/ScaleSimulator.h"

namespace px {

class TSimulatedScale {
 public:
  using Clock = std::chrono::steady_clock;

  // Reads FILE (its errors leave) and lays the scale out under root, which it
  // removes again when it goes.
  TSimulatedScale(std::string fileName, std::filesystem::path root);
  ~TSimulatedScale();
  TSimulatedScale(const TSimulatedScale&) = delete;
  TSimulatedScale& operator=(const TSimulatedScale&) = delete;

  std::string SysfsRoot() const { return tree_.SysfsRoot(); }
  std::string DevRoot() const { return tree_.DevRoot(); }
  THidDeviceOpener Opener() { return scale_->Opener(); }
  TScaleSimulator& Simulator() { return *scale_; }

  // Plugs or unplugs the scale when it is due; true when it did.
  bool Poll(Clock::time_point now = Clock::now());
  bool Present() const { return present_; }

 private:
  void onDisconnectRequest();
  std::filesystem::file_time_type stamp() const;
  void reload();

  std::string fileName_;
  std::filesystem::path root_;
  FakeHidSysfs tree_;
  FakeHidDevice device_;
  std::unique_ptr<TScaleSimulator> scale_;
  std::filesystem::file_time_type stamp_;
  Clock::time_point returnAt_;
  bool present_ = true;
  bool waitForResult_ = false;
  // Set on the simulator's thread, taken on the GUI thread.
  std::mutex lock_;
  bool leaveRequested_ = false;
  bool resultReadOut_ = false;
};

}  // namespace px
