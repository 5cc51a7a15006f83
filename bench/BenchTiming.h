#pragma once
// The fastest of several runs of a piece of work, in seconds: the figure the
// RESULT lines compare, least disturbed by the rest of the machine.
#include <algorithm>
#include <chrono>

template <class F>
double bestSeconds(int rounds, F&& work) {
  double best = 1e9;
  for (int run = 0; run < rounds; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

template <class F>
double bestSeconds(F&& work) {
  return bestSeconds(3, work);
}
