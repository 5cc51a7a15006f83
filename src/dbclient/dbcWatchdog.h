#pragma once
// A bound on how long the client calls of one attachment may run. A call to
// a server that stops answering (stopped, hung, cut off without a reset)
// otherwise blocks its thread for as long as the operating system keeps the
// connection open; the watchdog's own thread aborts the attachment's running
// operation once the bound has passed, after which the call returns with an
// error and the attachment is gone.
#include <ibase.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/core/Types.h"

namespace px {

class TDBCLibrary;

class TDBCWatchdog {
 public:
  // The library whose calls are watched; it must outlive the watchdog.
  explicit TDBCWatchdog(TDBCLibrary& Library);
  ~TDBCWatchdog();
  TDBCWatchdog(const TDBCWatchdog&) = delete;
  TDBCWatchdog& operator=(const TDBCWatchdog&) = delete;

  // Starts the clock: once Bound has passed without a Disarm, the
  // operation running on the watched attachment is aborted.
  void Arm(std::chrono::milliseconds Bound);
  // The attachment to abort (0: none yet, as while attaching). May be set
  // while armed; the deadline stays.
  void Watch(isc_db_handle Handle);
  // Stops the clock; true when the bound passed and the attachment was
  // aborted since the last Arm.
  bool Disarm();
  // True when the bound passed since the last Arm (aborted or not).
  bool Expired() const;

 private:
  void run();

  TDBCLibrary& library_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool stop_ = false;
  bool armed_ = false;
  bool expired_ = false;
  bool aborted_ = false;
  isc_db_handle handle_ = 0;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace px
