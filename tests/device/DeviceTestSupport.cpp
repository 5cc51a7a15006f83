#include "DeviceTestSupport.h"

#include <QCoreApplication>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/core/Threads.h"

namespace px::test {

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents();
    CheckSynchronize(5);
  }
  return true;
}

void PumpFor(int milliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    CheckSynchronize(5);
  }
}

EventPipe::EventPipe() { EXPECT_EQ(pipe2(fds_, O_NONBLOCK | O_CLOEXEC), 0); }

EventPipe::~EventPipe() {
  close(fds_[0]);
  close(fds_[1]);
}

void EventPipe::Events(int count) {
  for (int i = 0; i < count; ++i) EXPECT_EQ(write(fds_[1], "e", 1), 1);
}

bool EventPipe::Drain() {
  char buf[64];
  bool any = false;
  while (read(fds_[0], buf, sizeof buf) > 0) any = true;
  return any;
}

}  // namespace px::test
