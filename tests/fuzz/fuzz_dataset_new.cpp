// libFuzzer target: the new dataset stream reader; the first byte gives the
// load flags.
#include <cstddef>
#include <cstdint>

#include "data/UnitDataSetIO.h"
#include "platform/core/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const px::Byte flags = static_cast<px::Byte>(data[0] & 0x0F);
  px::TBytesStream stream(px::TBytes(data + 1, data + size));
  px::IMemDataSet table;
  try {
    px::LoadMemDataSetFromStream(&stream, flags, nullptr, table);
  } catch (const px::Exception&) {
  }
  return 0;
}
