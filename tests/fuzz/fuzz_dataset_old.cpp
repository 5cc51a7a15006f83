// libFuzzer target: the old dataset stream reader, plain and enciphered. The
// first byte picks the form; the rest is the stream.
#include <cstddef>
#include <cstdint>

#include "data/UnitDataSetIOOld.h"
#include "platform/core/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const passwords[] = {"", "tovek", "qjv"};
  const char* password = passwords[data[0] % 3];
  px::TBytesStream stream(px::TBytes(data + 1, data + size));
  px::IMemDataSet table;
  try {
    px::LoadDataSetFromStream(stream, password, table);
  } catch (const px::Exception&) {
  }
  // Whatever was read must write back.
  if (table) {
    px::TBytesStream out;
    try {
      px::SaveDataSetToStream(out, table, password);
    } catch (const px::Exception&) {
    }
  }
  return 0;
}
