#include "device/scalesim/SimulatedScale.h"

#include <algorithm>
#include <cstdio>

#include "device/scalesim/ScaleFile.h"
#include "platform/core/Exceptions.h"

namespace px {

namespace {
constexpr Byte countRequest = 0xF9;
}

TSimulatedScale::TSimulatedScale(std::string fileName, std::filesystem::path root)
    : fileName_(std::move(fileName)), root_(std::move(root)), tree_(root_) {
  const TScaleFile file = ReadScaleFile(fileName_);
  scale_ = std::make_unique<TScaleSimulator>(file.Variant, file.Protocol);
  ApplyScaleFile(file, *scale_);
  stamp_ = stamp();
  device_.ProductId = static_cast<Word>(file.Variant);
  tree_.Add(device_);
  scale_->SetOnDisconnectRequest([this] { onDisconnectRequest(); });
}

TSimulatedScale::~TSimulatedScale() {
  scale_.reset();  // its thread calls back into this object
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void TSimulatedScale::onDisconnectRequest() {
  // A read-out asks for the counts; any other conversation does not. The
  // log is emptied here, so it holds one conversation at a time.
  const auto requests = scale_->Requests();
  scale_->ClearRequests();
  const bool readOut = std::any_of(requests.begin(), requests.end(),
                                   [](const TScaleSimulator::Report& r) { return r[1] == countRequest; });
  std::lock_guard g(lock_);
  leaveRequested_ = true;
  resultReadOut_ = resultReadOut_ || readOut;
}

bool TSimulatedScale::Poll(Clock::time_point now) {
  bool leave = false, readOut = false;
  {
    std::lock_guard g(lock_);
    std::swap(leave, leaveRequested_);
    std::swap(readOut, resultReadOut_);
  }
  const bool changed = stamp() != stamp_;
  if (present_ && (leave || changed)) {
    tree_.Remove(device_.Node);
    present_ = false;
    waitForResult_ = readOut && !changed;
    returnAt_ = changed ? now : now + std::chrono::seconds(1);
    return true;
  }
  if (!present_ && (changed || (!waitForResult_ && now >= returnAt_))) {
    reload();
    ++device_.Instance;
    tree_.Add(device_);
    present_ = true;
    return true;
  }
  return false;
}

std::filesystem::file_time_type TSimulatedScale::stamp() const {
  std::error_code ec;
  return std::filesystem::last_write_time(fileName_, ec);
}

void TSimulatedScale::reload() {
  stamp_ = stamp();
  try {
    ApplyScaleFile(ReadScaleFile(fileName_), *scale_);
  } catch (const Exception& e) {
    // The scale comes back with what it held; the program runs on.
    std::fprintf(stderr, "%s\n", e.what());
  }
}

}  // namespace px
