#include "DeviceTestSupport.h"

#include <QCoreApplication>

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

}  // namespace px::test
