#include "data/UnitCrc.h"

#include <zlib.h>

namespace px {

Cardinal CRC32Update(const void* buffer, Integer length, Cardinal crc) {
  if (length <= 0 || buffer == nullptr) return crc;
  return static_cast<Cardinal>(
      crc32(crc, static_cast<const Bytef*>(buffer), static_cast<uInt>(length)));
}

Cardinal CRC32OfBuffer(const void* buffer, Integer length) { return CRC32Update(buffer, length, 0); }

Cardinal CRC32OfString(std::string_view s) {
  // zlib takes a 32-bit length; feed longer views in pieces.
  Cardinal crc = 0;
  const char* p = s.data();
  size_t left = s.size();
  while (left > 0) {
    const size_t n = left > 0x40000000u ? 0x40000000u : left;
    crc = CRC32Update(p, static_cast<Integer>(n), crc);
    p += n;
    left -= n;
  }
  return crc;
}

}  // namespace px
