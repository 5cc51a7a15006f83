#pragma once
// CCITT fax decoding: one-dimensional and two-dimensional T.4 coding and T.6
// coding, into rows of (Columns + 7) div 8 bytes, most significant bit first.
#include <cstdint>

#include "pdf/UnitPDFParser.h"

namespace px {

// Decodes with the parameters K, Columns, Rows, EncodedByteAlign and BlackIs1
// of decodeParms (nil: the defaults). endPos is the index behind the last byte
// read.
bool PDFCCITTDecode(const TPDFBuffer& data, int32_t start, int32_t length, int32_t& endPos, TPDFBuffer& output,
                    TPDFDictionary* decodeParms, TPDFCollection* collection);

}  // namespace px
