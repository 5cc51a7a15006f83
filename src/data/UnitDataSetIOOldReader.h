#pragma once
// Bounded reading of the dataset stream formats: bytes, little-endian
// values and varints, read ahead from the stream in blocks (or straight out
// of a memory stream's buffer). Every count or length taken from the data is
// checked against Remaining() before anything is allocated for it.
#include <cstring>
#include <vector>

#include "platform/core/Streams.h"
#include "platform/core/Types.h"

namespace px::dsio {

class TDataSetByteReader {
 public:
  // formatError raises the format's own error for malformed data; a stream
  // that ends early raises EReadError "Stream read error".
  TDataSetByteReader(TStream& stream, void (*formatError)());
  TDataSetByteReader(const TDataSetByteReader&) = delete;
  TDataSetByteReader& operator=(const TDataSetByteReader&) = delete;

  // Bytes left between the read position and the end of the stream.
  Int64 Remaining() const { return static_cast<Int64>(end_ - cur_) + streamLeft_; }

  Byte ReadByte() {
    if (cur_ == end_) refill();
    return *cur_++;
  }
  void Read(void* dest, size_t count);
  void Skip(Int64 count);
  template <class T>
  T ReadValue() {
    T v;
    Read(&v, sizeof v);
    return v;
  }
  // An unsigned varint of at most maxBytes bytes (5 or 10), 7 bits a byte,
  // low group first. Longer ones, and 10-byte ones past 64 bits, are format
  // errors.
  uint64_t ReadVarUInt(int maxBytes);

  // A count or length of n items of at least itemSize bytes each: a format
  // error when the stream cannot hold them.
  void CheckFits(uint64_t n, uint64_t itemSize);

  // Leaves the stream positioned right after the last byte consumed.
  void Finish();

  [[noreturn]] void FormatError() const;

 private:
  void refill();

  TStream& stream_;
  void (*formatError_)();
  std::vector<Byte> buffer_;
  const Byte* cur_ = nullptr;
  const Byte* end_ = nullptr;
  Int64 streamLeft_ = 0;   // bytes in the stream after the buffered ones
  Int64 startPos_ = 0;     // stream position of the first byte read
  Int64 consumedBefore_ = 0;  // bytes consumed in earlier buffers
  const Byte* bufStart_ = nullptr;
};

}  // namespace px::dsio
