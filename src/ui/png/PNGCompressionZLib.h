#pragma once
// Compression method 0 of the PNG header: a zlib stream, inflated into
// blocks of at most 32768 bytes.
#include "ui/png/PNGGlobal.h"

namespace px {

constexpr Integer PNGZLibBufferSize = 32768;

class TPNGZLibHandler : public IPNGCompressionHandler {
 public:
  std::shared_ptr<IPNGCompressor> CreateDecompressor(TPNGDataEvent OnData) override;
};

}  // namespace px
