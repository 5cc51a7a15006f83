#pragma once
// LZW decoding (codes of 9 to 12 bits, most significant bit first, widening
// one code early).
#include <cstdint>

#include "pdf/UnitPDFParser.h"

namespace px {

// Decodes length bytes from start; on success output holds the bytes produced
// and endPos the index behind the last byte read.
bool PDFLZWDecode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFBuffer& output);

}  // namespace px
