#include "pdf/UnitFastCompressor.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace px {

namespace {

constexpr uint32_t kMaxLiterals = 286;  // 31 + 255
constexpr uint32_t kMaxMatch = 274;     // 19 + 255
constexpr uint32_t kWindow = 4096;

inline uint32_t read32(const Byte* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint32_t hashOf(uint32_t v) { return (v ^ (v >> 21)) & 1023; }

// Writes literal groups without matches: full runs, then the rest.
Byte* putPlainLiterals(Byte* op, const Byte* lit, uint32_t count) {
  while (count > kMaxLiterals) {
    *op++ = 31;
    *op++ = 255;
    std::memcpy(op, lit, kMaxLiterals);
    op += kMaxLiterals;
    lit += kMaxLiterals;
    count -= kMaxLiterals;
  }
  if (count == 0) return op;
  if (count <= 30) {
    *op++ = static_cast<Byte>(count);
  } else {
    *op++ = 31;
    *op++ = static_cast<Byte>(count - 31);
  }
  std::memcpy(op, lit, count);
  return op + count;
}

}  // namespace

std::unique_ptr<TFastHashTable> AllocFastHashTable() { return std::make_unique<TFastHashTable>(); }

int32_t FastCompress(const Byte* sourceStart, const Byte* sourceEnd, Byte* dest, int64_t destSize,
                     TFastHashTable& table) {
  if (sourceEnd < sourceStart) return FASTLZ_BAD_RANGE;
  const int64_t size = sourceEnd - sourceStart;
  if (FastCompressBound(size) > std::numeric_limits<int32_t>::max() || destSize < FastCompressBound(size))
    return FASTLZ_BAD_RANGE;
  const auto n = static_cast<uint32_t>(size);
  if (n == 0) return 0;
  if (n <= 4) {
    dest[0] = static_cast<Byte>(n);
    std::memcpy(dest + 1, sourceStart, n);
    return static_cast<int32_t>(n + 1);
  }

  // Every candidate is checked against the input before it is used, so the
  // cleared entries (position 0) are as harmless as stale ones would be.
  uint32_t* hash = table.Entries;
  std::fill(hash, hash + 1024, 0u);
  const Byte* src = sourceStart;
  const uint32_t limit = n - 4;
  Byte* op = dest;
  Byte* control = nullptr;
  uint32_t anchor = 0;
  hash[hashOf(read32(src))] = 0;
  uint32_t q = 1;
  for (;;) {
    const uint32_t v = read32(src + q);
    const uint32_t h = hashOf(v);
    const uint32_t candidate = hash[h];
    hash[h] = q;
    // Unsigned: a candidate at or beyond q wraps round and fails.
    if (q - candidate - 1 >= kWindow || read32(src + candidate) != v) {
      if (++q >= limit) break;
      continue;
    }

    uint32_t pending = q - anchor;
    if (pending > 0) {
      const Byte* lit = src + anchor;
      while (pending > kMaxLiterals) {
        *op++ = 31;
        *op++ = 255;
        std::memcpy(op, lit, kMaxLiterals);
        op += kMaxLiterals;
        lit += kMaxLiterals;
        pending -= kMaxLiterals;
      }
      control = op;
      if (pending <= 30) {
        *op++ = static_cast<Byte>(32 + pending);
      } else {
        *op++ = 63;
        *op++ = static_cast<Byte>(pending - 31);
      }
      std::memcpy(op, lit, pending);
      op += pending;
    } else if ((*control >> 5) < 7) {
      *control = static_cast<Byte>(*control + 32);
    } else {
      control = op;
      *op++ = 32;
    }

    const Byte* a = src + q;
    const Byte* b = src + candidate;
    uint32_t length = 4;
    bool ended = false;
    if (q + length < limit) {
      hash[hashOf(read32(a + 1))] = q + 1;
      hash[hashOf(read32(a + 2))] = q + 2;
      hash[hashOf(read32(a + 3))] = q + 3;
      // Two bytes a step while four more stay readable behind them.
      while (q + length < limit && length < kMaxMatch) {
        if (a[length] == b[length] && a[length + 1] == b[length + 1]) {
          hash[hashOf(read32(a + length))] = q + length;
          hash[hashOf(read32(a + length + 1))] = q + length + 1;
          length += 2;
        } else {
          if (a[length] == b[length]) {
            hash[hashOf(read32(a + length))] = q + length;
            ++length;
          }
          ended = true;
          break;
        }
      }
    }
    if (!ended)
      while (length < kMaxMatch && q + length < n && a[length] == b[length]) ++length;

    const uint32_t distance = q - candidate - 1;
    if (length >= 19) {
      const uint32_t word = 61440 + distance;
      *op++ = static_cast<Byte>(word);
      *op++ = static_cast<Byte>(word >> 8);
      *op++ = static_cast<Byte>(length - 19);
    } else {
      const uint32_t word = (length - 4) * 4096 + distance;
      *op++ = static_cast<Byte>(word);
      *op++ = static_cast<Byte>(word >> 8);
    }

    q += length;
    anchor = q;
    if (q > limit) break;
  }
  op = putPlainLiterals(op, src + anchor, n - anchor);
  return static_cast<int32_t>(op - dest);
}

int32_t FastDecompress(const Byte* sourceStart, const Byte* sourceEnd, Byte* destStart, Byte* destEnd) {
  if (sourceEnd < sourceStart || destEnd < destStart) return FASTLZ_INPUT_END;
  // The result is a 32-bit count: more room than that is never used.
  if (destEnd - destStart > std::numeric_limits<int32_t>::max())
    destEnd = destStart + std::numeric_limits<int32_t>::max();
  const Byte* ip = sourceStart;
  Byte* op = destStart;
  while (ip < sourceEnd) {
    const uint32_t control = *ip++;
    size_t literals = control & 31;
    if (literals == 31) {
      if (ip >= sourceEnd) return FASTLZ_INPUT_END;
      literals += *ip++;
    }
    if (static_cast<size_t>(sourceEnd - ip) < literals) return FASTLZ_INPUT_END;
    if (static_cast<size_t>(destEnd - op) < literals) return FASTLZ_OUTPUT_END;
    if (literals > 0) std::memcpy(op, ip, literals);
    ip += literals;
    op += literals;
    for (uint32_t matches = control >> 5; matches > 0; --matches) {
      if (sourceEnd - ip < 2) return FASTLZ_INPUT_END;
      const uint32_t word = uint32_t(ip[0]) | uint32_t(ip[1]) << 8;
      ip += 2;
      const size_t distance = (word & 4095) + 1;
      size_t length = word >> 12;
      if (length == 15) {
        if (ip >= sourceEnd) return FASTLZ_INPUT_END;
        length = size_t(*ip++) + 19;
      } else {
        length += 4;
      }
      if (static_cast<size_t>(op - destStart) < distance) return FASTLZ_BEFORE_START;
      if (static_cast<size_t>(destEnd - op) < length) return FASTLZ_OUTPUT_END;
      const Byte* from = op - distance;
      if (distance >= length) {
        std::memcpy(op, from, length);
        op += length;
      } else if (distance == 1) {
        std::memset(op, *from, length);
        op += length;
      } else if (distance >= 4) {
        // Each four-byte step reads bytes at least four behind: already written.
        Byte* end = op + length;
        while (end - op >= 4) {
          std::memcpy(op, from, 4);
          op += 4;
          from += 4;
        }
        while (op < end) *op++ = *from++;
      } else {
        for (size_t i = 0; i < length; ++i) *op++ = *from++;
      }
    }
  }
  return static_cast<int32_t>(op - destStart);
}

}  // namespace px
