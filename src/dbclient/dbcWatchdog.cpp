#include "dbclient/dbcWatchdog.h"

#include "dbclient/dbclib.h"

namespace px {

TDBCWatchdog::TDBCWatchdog(TDBCLibrary& Library) : library_(Library) {}

TDBCWatchdog::~TDBCWatchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TDBCWatchdog::Arm(std::chrono::milliseconds Bound) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = true;
    expired_ = aborted_ = false;
    deadline_ = std::chrono::steady_clock::now() + Bound;
    // The thread is started at the first use: most modules never need it.
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  }
  wake_.notify_all();
}

void TDBCWatchdog::Watch(isc_db_handle Handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  handle_ = Handle;
}

bool TDBCWatchdog::Disarm() {
  std::lock_guard<std::mutex> lock(mutex_);
  armed_ = false;
  return aborted_;
}

bool TDBCWatchdog::Expired() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return expired_;
}

void TDBCWatchdog::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (!armed_ || expired_) {
      wake_.wait(lock);
      continue;
    }
    if (wake_.wait_until(lock, deadline_) != std::cv_status::timeout) continue;
    if (!armed_ || stop_ || std::chrono::steady_clock::now() < deadline_) continue;
    expired_ = true;
    if (!handle_ || !library_.fb_cancel_operation) continue;
    // An abort, not a raised cancel: a stopped server never answers the
    // request to cancel, while an abort ends the call at once on this side.
    // Held under the lock, so that the owner cannot disarm, detach and
    // reuse the handle meanwhile.
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = handle_;
    library_.fb_cancel_operation(status, &handle, fb_cancel_abort);
    aborted_ = status[1] == 0;
  }
}

}  // namespace px
