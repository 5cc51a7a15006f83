#pragma once
// A byte-oriented LZ77 compressor built for speed rather than ratio: the page
// viewer keeps rendered page bitmaps in it while they are out of view. The
// compressed data never leaves the process.
//
// Format: a sequence of groups. A group starts with a control byte C whose
// bits 0-4 give the literal count (31: one more byte E follows and the count
// is 31 + E) and whose bits 5-7 give the number of match tokens (0 to 7)
// after the literals. A token is a 16-bit word W, low byte first: distance
// (W and 4095) + 1, length code W div 4096; codes 0-14 mean lengths 4-18,
// code 15 means one more byte X follows and the length is X + 19. A match
// copies byte by byte, so a distance shorter than the length repeats.
#include <cstdint>
#include <memory>

#include "platform/core/Types.h"

namespace px {

// The hash table of one compression call: 1024 positions, held as offsets
// from the start of the input. The compressor clears it itself.
struct TFastHashTable {
  uint32_t Entries[1024];
};
static_assert(sizeof(TFastHashTable) == 4096);

std::unique_ptr<TFastHashTable> AllocFastHashTable();

// Decompression results below zero.
constexpr int32_t FASTLZ_INPUT_END = -1;     // the input ends inside a group
constexpr int32_t FASTLZ_BEFORE_START = -2;  // a match reaches before the output start
constexpr int32_t FASTLZ_OUTPUT_END = -3;    // the output would run past its end
// Compression refused: the end lies before the start, the destination is
// smaller than FastCompressBound, or the input is too large for the result.
constexpr int32_t FASTLZ_BAD_RANGE = -4;

// The largest output for n input bytes: n + n div 64 + 16.
constexpr int64_t FastCompressBound(int64_t n) { return n + n / 64 + 16; }

// Compresses [sourceStart, sourceEnd) into dest, which holds destSize
// bytes (at least FastCompressBound of the input size). Answers the number
// of bytes written or FASTLZ_BAD_RANGE.
int32_t FastCompress(const Byte* sourceStart, const Byte* sourceEnd, Byte* dest, int64_t destSize,
                     TFastHashTable& table);

// Decompresses [sourceStart, sourceEnd) into [destStart, destEnd). Answers
// the number of bytes written or one of the error codes above; every read
// and write is checked against both buffers.
int32_t FastDecompress(const Byte* sourceStart, const Byte* sourceEnd, Byte* destStart, Byte* destEnd);

}  // namespace px
