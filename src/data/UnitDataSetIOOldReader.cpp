#include "data/UnitDataSetIOOldReader.h"

#include <algorithm>

#include "platform/core/Exceptions.h"

namespace px::dsio {
namespace {
constexpr Int64 BlockSize = 64 * 1024;
}

TDataSetByteReader::TDataSetByteReader(TStream& stream, void (*formatError)())
    : stream_(stream), formatError_(formatError) {
  startPos_ = stream.Position();
  const Int64 size = stream.Size();
  const Int64 left = std::max<Int64>(0, size - startPos_);
  if (auto* mem = dynamic_cast<TMemoryStream*>(&stream)) {
    // The data is in memory already: read it in place.
    bufStart_ = cur_ = mem->Memory() + std::min(startPos_, size);
    end_ = cur_ + left;
    streamLeft_ = 0;
  } else {
    streamLeft_ = left;
  }
}

void TDataSetByteReader::refill() {
  if (streamLeft_ <= 0) throw EReadError("Stream read error");
  consumedBefore_ += end_ - bufStart_;
  const Int64 n = std::min(streamLeft_, BlockSize);
  buffer_.resize(static_cast<size_t>(n));
  stream_.ReadBuffer(buffer_.data(), n);
  streamLeft_ -= n;
  bufStart_ = cur_ = buffer_.data();
  end_ = cur_ + n;
}

void TDataSetByteReader::Read(void* dest, size_t count) {
  Byte* d = static_cast<Byte*>(dest);
  while (count > 0) {
    if (cur_ == end_) refill();
    const size_t n = std::min(count, static_cast<size_t>(end_ - cur_));
    std::memcpy(d, cur_, n);
    cur_ += n;
    d += n;
    count -= n;
  }
}

void TDataSetByteReader::Skip(Int64 count) {
  while (count > 0) {
    if (cur_ == end_) refill();
    const Int64 n = std::min<Int64>(count, end_ - cur_);
    cur_ += n;
    count -= n;
  }
}

uint64_t TDataSetByteReader::ReadVarUInt(int maxBytes) {
  uint64_t value = 0;
  for (int n = 0;; ++n) {
    if (n == maxBytes) FormatError();
    const Byte b = ReadByte();
    if (n == 9 && (b & 0x7E)) FormatError();  // past 64 bits
    value |= uint64_t(b & 0x7F) << (7 * n);
    if (!(b & 0x80)) return value;
  }
}

void TDataSetByteReader::CheckFits(uint64_t n, uint64_t itemSize) {
  const uint64_t left = static_cast<uint64_t>(Remaining());
  if (itemSize != 0 && n > left / itemSize) FormatError();
}

void TDataSetByteReader::Finish() {
  const Int64 consumed = consumedBefore_ + (cur_ - bufStart_);
  stream_.SetPosition(startPos_ + consumed);
}

void TDataSetByteReader::FormatError() const {
  formatError_();
  throw EReadError("Stream read error");  // formatError always raises
}

}  // namespace px::dsio
