// Record store against std::unordered_map + std::multimap doing the same
// work: N records with an Int32 hash index and an AnsiString ordered index;
// insert, find, ordered walk, key update, free.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/UnitDataSet.h"
#include "platform/core/NumberConversion.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Times {
  double insert = 0, find = 0, walk = 0, update = 0, free = 0;
};

std::vector<std::string> makeNames(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> v(n);
  for (auto& s : v) s = "name" + std::to_string(rng() % (n * 4));
  return v;
}

double secs(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The five phases from the six time stamps taken between them.
Times phases(Clock::time_point t0, Clock::time_point t1, Clock::time_point t2, Clock::time_point t3,
             Clock::time_point t4, Clock::time_point t5) {
  Times t;
  t.insert = secs(t0, t1);
  t.find = secs(t1, t2);
  t.walk = secs(t2, t3);
  t.update = secs(t3, t4);
  t.free = secs(t4, t5);
  return t;
}

Times runOurs(const std::vector<std::string>& names, const std::vector<std::string>& newNames) {
  const size_t n = names.size();
  px::IMemDataSet ds = px::CreateMemDataSet();
  ds->AddField(px::mftInteger, "id", 0);
  ds->AddField(px::mftAnsiString, "name", 0);
  ds->AddFieldIndex(0, px::mitUnorderedUnique);
  ds->AddFieldIndex(1, px::mitOrderedNonUnique);
  auto t0 = Clock::now();
  for (size_t i = 0; i < n; ++i) {
    px::TMemRecord* r = ds->AddRecord();
    r->SetInteger(0, static_cast<int>(i * 2654435761u));
    r->SetAnsiString(1, names[i]);
  }
  auto t1 = Clock::now();
  size_t hits = 0;
  for (size_t i = 0; i < n; ++i) {
    hits += ds->FindInteger(0, static_cast<int>(i * 2654435761u)) != nullptr;
    hits += ds->FindAnsiString(1, names[(i * 7) % n]) != nullptr;
  }
  auto t2 = Clock::now();
  size_t len = 0;
  for (px::TMemRecord* r = ds->FirstInIndex(1); r; r = r->NextInIndex(1)) len += static_cast<size_t>(r->GetInteger(0) & 1);
  auto t3 = Clock::now();
  for (size_t i = 0; i < n; ++i) ds->FindInteger(0, static_cast<int>(i * 2654435761u))->SetAnsiString(1, newNames[i]);
  auto t4 = Clock::now();
  for (size_t i = 0; i < n; ++i) delete ds->FindInteger(0, static_cast<int>(i * 2654435761u));
  auto t5 = Clock::now();
  benchmark::DoNotOptimize(hits);
  benchmark::DoNotOptimize(len);
  return phases(t0, t1, t2, t3, t4, t5);
}

struct PeerRec {
  int id;
  std::string name;
  std::multimap<std::string, PeerRec*>::iterator pos;
};

Times runPeer(const std::vector<std::string>& names, const std::vector<std::string>& newNames) {
  const size_t n = names.size();
  std::unordered_map<int, PeerRec*> byId;
  std::multimap<std::string, PeerRec*> byName;
  auto t0 = Clock::now();
  for (size_t i = 0; i < n; ++i) {
    auto* r = new PeerRec{static_cast<int>(i * 2654435761u), names[i], {}};
    byId.emplace(r->id, r);
    r->pos = byName.emplace(r->name, r);
  }
  auto t1 = Clock::now();
  size_t hits = 0;
  for (size_t i = 0; i < n; ++i) {
    hits += byId.find(static_cast<int>(i * 2654435761u)) != byId.end();
    hits += byName.find(names[(i * 7) % n]) != byName.end();
  }
  auto t2 = Clock::now();
  size_t len = 0;
  for (auto& [k, r] : byName) len += static_cast<size_t>(r->id & 1);
  auto t3 = Clock::now();
  for (size_t i = 0; i < n; ++i) {
    PeerRec* r = byId.find(static_cast<int>(i * 2654435761u))->second;
    byName.erase(r->pos);
    r->name = newNames[i];
    r->pos = byName.emplace(r->name, r);
  }
  auto t4 = Clock::now();
  for (size_t i = 0; i < n; ++i) {
    auto it = byId.find(static_cast<int>(i * 2654435761u));
    PeerRec* r = it->second;
    byName.erase(r->pos);
    byId.erase(it);
    delete r;
  }
  auto t5 = Clock::now();
  benchmark::DoNotOptimize(hits);
  benchmark::DoNotOptimize(len);
  return phases(t0, t1, t2, t3, t4, t5);
}

Times best(Times (*f)(const std::vector<std::string>&, const std::vector<std::string>&), const std::vector<std::string>& a,
           const std::vector<std::string>& b, int rounds) {
  Times m;
  for (int i = 0; i < rounds; ++i) {
    Times t = f(a, b);
    if (i == 0 || t.insert < m.insert) m.insert = t.insert;
    if (i == 0 || t.find < m.find) m.find = t.find;
    if (i == 0 || t.walk < m.walk) m.walk = t.walk;
    if (i == 0 || t.update < m.update) m.update = t.update;
    if (i == 0 || t.free < m.free) m.free = t.free;
  }
  return m;
}

void BM_RecordStore(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto names = makeNames(n, 1), newNames = makeNames(n, 2);
  for (auto _ : state) benchmark::DoNotOptimize(runOurs(names, newNames));
}
BENCHMARK(BM_RecordStore)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StdMaps(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto names = makeNames(n, 1), newNames = makeNames(n, 2);
  for (auto _ : state) benchmark::DoNotOptimize(runPeer(names, newNames));
}
BENCHMARK(BM_StdMaps)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (size_t n : {size_t(100000), size_t(1000000)}) {
    const auto names = makeNames(n, 1), newNames = makeNames(n, 2);
    const int rounds = n > 100000 ? 2 : 5;
    const Times ours = best(runOurs, names, newNames, rounds);
    const Times peer = best(runPeer, names, newNames, rounds);
    const std::string tag = std::to_string(n);
    auto line = [&](const char* what, double o, double p) {
      std::printf("RESULT record_store/%s_%s ours=%s peer=%s ratio=%s\n", what, tag.c_str(),
                  px::InvariantFloatToStr(o, 6).c_str(), px::InvariantFloatToStr(p, 6).c_str(),
                  px::InvariantFloatToStr(o / p, 3).c_str());
    };
    line("insert", ours.insert, peer.insert);
    line("find", ours.find, peer.find);
    line("walk", ours.walk, peer.walk);
    line("update", ours.update, peer.update);
    line("free", ours.free, peer.free);
  }
  return 0;
}
