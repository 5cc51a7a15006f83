// libFuzzer target: the PNG reader over any bytes, then every conversion mode.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <zlib.h>

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

// Every chunk carries a CRC, so nearly every mutation would stop at the
// first chunk it touches. For half of the inputs (by bit 1 of the size) the
// CRCs of all whole chunks are set right, so that the fuzzer reaches the
// chunk contents; the other half keeps the bytes as they are.
std::vector<uint8_t> withChunkCrcs(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out(data, data + size);
  if ((size & 2) == 0) return out;
  size_t pos = 8;
  while (pos + 12 <= size) {
    const uint8_t* p = out.data() + pos;
    uint64_t length = (uint64_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    if (length > size - pos - 12) break;
    uLong crc = crc32(0L, p + 4, static_cast<uInt>(4 + length));
    uint8_t* c = out.data() + pos + 8 + length;
    c[0] = static_cast<uint8_t>(crc >> 24);
    c[1] = static_cast<uint8_t>(crc >> 16);
    c[2] = static_cast<uint8_t>(crc >> 8);
    c[3] = static_cast<uint8_t>(crc);
    pos += 12 + length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (asksForLargeImage(data, size)) return 0;
  std::vector<uint8_t> bytes = withChunkCrcs(data, size);
  px::TBytesStream stream(px::TBytes(bytes.begin(), bytes.end()));
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
