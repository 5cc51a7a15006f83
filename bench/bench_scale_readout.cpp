// A full result read-out from the simulated scale with a fixed delay per
// reply, as over a slow USB link. Prints the number of exchanges (which must
// be 12 letter queries + 2 headers + 3 per filled slot + the closing slot +
// the disconnect request) and the time, against the time the exchanges alone
// must take at that delay.
#include <chrono>
#include <cstdio>

#include "device/scalesim/ScaleSimulator.h"
#include "device/UnitVantorel7350.h"
#include "platform/core/NumberConversion.h"

namespace {

using namespace px;

struct Case {
  const char* name;
  Cardinal version;
  Integer slots;
};

double readOut(const Case& c, Integer latencyMs, Cardinal& exchanges, bool& ok) {
  TScaleSimulator sim(2, c.version);
  TScaleSimulator::Table t;
  t.Code = "EUR";
  for (Integer i = 1; i <= c.slots; ++i) t.Slots[i] = {i * 10, static_cast<Byte>(i % 4), 1000 + i, 0, 0};
  TScaleSimulator::Table other;
  other.Code = "USD";
  sim.SetTable(1, t);
  sim.SetTable(2, other);
  sim.SetTable(3, other);
  sim.SetCurrentCode("EUR");
  TVantorel7350 scale(nullptr, sim.Opener());
  scale.ProductVariant = 2;
  scale.Connect(false);
  sim.SetLatencyMs(latencyMs);
  TVantorelResult r;
  Cardinal before = scale.ExchangeCount;
  auto t0 = std::chrono::steady_clock::now();
  ok = scale.ReadResult(r);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  exchanges = scale.ExchangeCount - before;
  return s;
}

}  // namespace

int main() {
  const Integer latencyMs = 2;
  const Case cases[] = {{"v4_63_slots", 4, 63}, {"v4_10_slots", 4, 10}, {"v2_31_slots", 2, 31}};
  char results[3][160];
  int n = 0;
  for (const Case& c : cases) {
    Cardinal exchanges = 0;
    bool ok = false;
    double ours = readOut(c, latencyMs, exchanges, ok);
    Integer filled = c.version >= 4 ? c.slots : std::min<Integer>(c.slots, 31);
    Cardinal expected = 12 + 2 + 3 * static_cast<Cardinal>(filled) + (filled < (c.version >= 4 ? 63 : 31) ? 1 : 0) + 1;
    double peer = expected * latencyMs / 1000.0;
    std::printf("scale_readout/%s: %s, exchanges=%u expected=%u\n", c.name, ok ? "read" : "FAILED", exchanges, expected);
    std::snprintf(results[n++], sizeof results[0], "RESULT scale_readout/%s ours=%s peer=%s ratio=%s", c.name,
                  px::InvariantFloatToStr(ours, 6).c_str(), px::InvariantFloatToStr(peer, 6).c_str(),
                  px::InvariantFloatToStr(ours / peer, 3).c_str());
  }
  for (int i = 0; i < n; ++i) std::printf("%s\n", results[i]);
  return 0;
}
