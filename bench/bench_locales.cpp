// Building the locale list against the bare ICU walk it stands on (every
// available locale, its country and its Windows identifier). The first build
// in the process is the one the program pays at start-up: it is printed on
// its own, the goal being well under 30 ms.
#include <benchmark/benchmark.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "data/UnitLocales.h"
#include "platform/core/NumberConversion.h"

namespace {

using Clock = std::chrono::steady_clock;

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double buildOurs() {
  auto t0 = Clock::now();
  px::TLocales locales("en");
  benchmark::DoNotOptimize(locales.DataSet->GetRecordCount());
  return secs(t0, Clock::now());
}

double walkIcu() {
  auto t0 = Clock::now();
  size_t kept = 0;
  for (int32_t i = 0; i < uloc_countAvailable(); ++i) {
    const char* id = uloc_getAvailable(i);
    char country[ULOC_COUNTRY_CAPACITY];
    UErrorCode err = U_ZERO_ERROR;
    uloc_getCountry(id, country, sizeof country, &err);
    if (country[0] && uloc_getLCID(id) != 0) ++kept;
  }
  benchmark::DoNotOptimize(kept);
  return secs(t0, Clock::now());
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_Locales(benchmark::State& state) {
  for (auto _ : state) buildOurs();
}
void BM_IcuWalk(benchmark::State& state) {
  for (auto _ : state) walkIcu();
}
BENCHMARK(BM_Locales)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IcuWalk)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const double cold = buildOurs();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::vector<double> ours, peer;
  for (int i = 0; i < 21; ++i) {
    ours.push_back(buildOurs());
    peer.push_back(walkIcu());
  }
  std::printf("COLD locales/first_build seconds=%s goal=0.030\n", px::InvariantFloatToStr(cold, 6).c_str());
  const double o = median(ours), p = median(peer);
  std::printf("RESULT locales/build ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(o, 6).c_str(),
              px::InvariantFloatToStr(p, 6).c_str(), px::InvariantFloatToStr(o / p, 3).c_str());
  return 0;
}
