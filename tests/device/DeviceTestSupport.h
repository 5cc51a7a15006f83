#pragma once
#include <chrono>
#include <functional>

namespace px::test {
// Runs posted window messages and calls handed to the GUI thread until the
// condition holds or the time is up; answers the condition.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
// Runs posted messages and handed calls for the given time.
void PumpFor(int milliseconds);
}  // namespace px::test
