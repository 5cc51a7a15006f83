#pragma once
// Timing of the PDF benchmarks: one run in seconds, the median of several.
#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace pxbench {

inline double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs both once to warm up, then alternately five times each; answers the
// medians of ours and of the peer.
inline std::pair<double, double> CompareMedians(const std::function<void()>& ours,
                                                const std::function<void()>& peer) {
  ours();
  peer();
  std::vector<double> a, b;
  for (int round = 0; round < 5; ++round) {
    a.push_back(Seconds(ours));
    b.push_back(Seconds(peer));
  }
  return {Median(a), Median(b)};
}

}  // namespace pxbench
