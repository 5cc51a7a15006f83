// libFuzzer target: the simulated scale's description file (the program's
// --simulated-scale option). What reads is put into a simulator, and the
// scale connection reads its result and currency tables back over the
// 9-byte reports, as the program would; what it accepts stays inside the
// result record's ranges.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/UnitVantorel7350.h"
#include "device/scalesim/ScaleFile.h"
#include "device/scalesim/ScaleSimulator.h"

namespace {

using namespace px;

std::string& fileName() {
  static std::string name = "/tmp/fuzz_scale_file." + std::to_string(getpid()) + ".txt";
  return name;
}

void check(const TVantorelResult& r) {
  if (r.CurrencyCode.size() != 3) __builtin_trap();
  for (int i = 1; i <= VantorelSlotCount; ++i) {
    if (r.SlotType[i] > 3 || r.SeriesNumber[i] > 15) __builtin_trap();
    if (r.Weight[i] < 0 || r.Weight[i] > 0x7FFFFF) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FILE* f = std::fopen(fileName().c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  TScaleFile file;
  try {
    file = ReadScaleFile(fileName());
  } catch (const Exception&) {
    std::remove(fileName().c_str());
    return 0;
  }
  // Gone at once: libFuzzer may end the process without running exit handlers.
  std::remove(fileName().c_str());
  TScaleSimulator simulator(file.Variant, file.Protocol);
  ApplyScaleFile(file, simulator);
  TVantorel7350 scale(nullptr, simulator.Opener());
  scale.ProductVariant = file.Variant;
  scale.Connect(false);
  if (!scale.Connected) return 0;
  TVantorelResult result;
  result.CurrencyCode = "   ";
  if (scale.ReadResult(result)) check(result);
  for (Byte position = 1; position <= 3; ++position) {
    TVantorelResult table;
    if (scale.ReadCurrency(position, table)) check(table);
  }
  return 0;
}
