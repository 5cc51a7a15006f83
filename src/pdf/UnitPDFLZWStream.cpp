#include "pdf/UnitPDFLZWStream.h"

#include <vector>

#include "pdf/UnitPDFStreams.h"

namespace px {

bool PDFLZWDecode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFBuffer& output) {
  constexpr int TableSize = 4096;
  constexpr int ClearCode = 256, EndCode = 257;
  if (start < 0 || length < 0 || static_cast<int64_t>(start) + length > static_cast<int64_t>(data.size()))
    return false;
  // Each entry is its prefix code and last byte; strings are rebuilt
  // backwards into a scratch buffer.
  std::vector<int16_t> prefix(TableSize, -1);
  std::vector<uint8_t> suffix(TableSize, 0), first(TableSize, 0);
  std::vector<uint16_t> lengths(TableSize, 1);
  for (int i = 0; i < 256; ++i) {
    suffix[i] = static_cast<uint8_t>(i);
    first[i] = static_cast<uint8_t>(i);
  }
  int nextCode = 258, width = 9, threshold = 512, previous = -1;
  uint32_t bitBuffer = 0;
  int bitCount = 0;
  int32_t pos = start;
  const int32_t end = start + length;
  std::vector<uint8_t> scratch(TableSize + 1);
  output.clear();
  output.reserve(256);

  auto reset = [&] {
    nextCode = 258;
    width = 9;
    threshold = 512;
    previous = -1;
  };
  auto writeString = [&](int code) {
    int n = lengths[code];
    for (int c = code, i = n - 1; i >= 0; c = prefix[c], --i) scratch[i] = suffix[c];
    output.insert(output.end(), scratch.begin(), scratch.begin() + n);
  };

  for (;;) {
    while (bitCount < width) {
      if (pos >= end) return false;
      bitBuffer = (bitBuffer << 8) | data[pos++];
      bitCount += 8;
    }
    int code = static_cast<int>((bitBuffer >> (bitCount - width)) & ((1u << width) - 1));
    bitCount -= width;
    if (code == EndCode) break;
    if (code == ClearCode) {
      reset();
      continue;
    }
    uint8_t firstByte;
    if (code < 256) {
      output.push_back(static_cast<uint8_t>(code));
      firstByte = static_cast<uint8_t>(code);
    } else if (code < nextCode && code >= 258) {
      writeString(code);
      firstByte = first[code];
    } else if (code == nextCode && previous >= 0) {
      writeString(previous);
      firstByte = first[previous];
      output.push_back(firstByte);
    } else {
      return false;
    }
    if (static_cast<int64_t>(output.size()) > MaxDecodedStreamSize) return false;
    // The table stops growing when it is full; later codes are read at 12
    // bits until a clear code starts over.
    if (previous >= 0 && nextCode < TableSize) {
      prefix[nextCode] = static_cast<int16_t>(previous);
      suffix[nextCode] = firstByte;
      first[nextCode] = first[previous];
      lengths[nextCode] = static_cast<uint16_t>(lengths[previous] + 1);
      ++nextCode;
      if (nextCode + 1 >= threshold && width < 12) {
        ++width;
        threshold *= 2;
      }
    }
    previous = code;
  }
  endPos = pos;
  output.shrink_to_fit();
  return true;
}

}  // namespace px
