// libFuzzer target: the PNG reader over any bytes, then every conversion mode.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/core/Streams.h"
#include "ui/png/UnitPNG.h"

namespace {

// Headers that ask for large images are legal up to the reader's cap, but
// allocating and clearing them for every input would slow the run to a crawl.
bool asksForLargeImage(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 12 <= size; ++i) {
    if (std::memcmp(data + i, "IHDR", 4) != 0) continue;
    const uint8_t* p = data + i + 4;
    uint64_t w = (uint64_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    uint64_t h = (uint64_t(p[4]) << 24) | (p[5] << 16) | (p[6] << 8) | p[7];
    if (w * h > (uint64_t(1) << 20)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (asksForLargeImage(data, size)) return 0;
  px::TBytesStream stream(px::TBytes(data, data + size));
  px::TPNGFile file;
  try {
    file.LoadFromStream(stream);
  } catch (const px::Exception&) {
    // The rows stored before the failure can still be converted.
  }
  file.GammaCorrection = size % 2 == 1;
  for (int mode = 0; mode <= 6; ++mode) {
    px::TPNGMemoryBitmap bitmap;
    try {
      file.ToBitmap(&bitmap, static_cast<px::TPNGBitmapMode>(mode));
    } catch (const px::Exception&) {
    }
  }
  return 0;
}
