#pragma once
#include <chrono>
#include <functional>

namespace px::test {
// Runs posted window messages and calls handed to the GUI thread until the
// condition holds or the time is up; answers the condition.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 30000);
// Runs posted messages and handed calls for the given time.
void PumpFor(int milliseconds);

// A non-blocking pipe in udev's place: each byte written is one device
// event; Drain takes all that waits, as the udev monitor's drain does.
class EventPipe {
 public:
  EventPipe();
  ~EventPipe();
  EventPipe(const EventPipe&) = delete;
  EventPipe& operator=(const EventPipe&) = delete;
  int ReadEnd() const { return fds_[0]; }
  void Events(int count = 1);
  bool Drain();

 private:
  int fds_[2] = {-1, -1};
};
}  // namespace px::test
