#pragma once
// CRC-32 as zlib and PNG compute it (reflected polynomial 0xEDB88320, initial
// value and final XOR 0xFFFFFFFF). The hashed name list and the PNG reader
// use it.
#include <string_view>

#include "platform/core/Types.h"

namespace px {

// CRC-32 of the string's bytes; 0 for the empty string.
Cardinal CRC32OfString(std::string_view s);
// CRC-32 of length bytes; a length of 0 or less gives 0.
Cardinal CRC32OfBuffer(const void* buffer, Integer length);
// Continues a finished CRC over more bytes: starting from 0, updating with A
// and then with B gives the CRC of A and B joined. A length of 0 or less
// leaves the value unchanged.
Cardinal CRC32Update(const void* buffer, Integer length, Cardinal crc);

}  // namespace px
