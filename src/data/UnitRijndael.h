#pragma once
// The AES block cipher (FIPS 197) on single 16-byte blocks. Callers chain the
// blocks themselves (the PDF reader applies CBC); there is no mode and no
// padding here.
#include <memory>

#include "platform/core/Types.h"

namespace px {

// A key schedule: the number of rounds (10, 12 or 14) and rounds + 1 round
// keys of four 32-bit words. A decryption schedule has the same layout.
struct TAESKey {
  Integer Rounds;
  Cardinal RoundKeys[4 * 15];
};

// Wipes the schedule, then frees it. Accepts nullptr.
void AESFreeKey(TAESKey* schedule);

struct TAESKeyDeleter {
  void operator()(TAESKey* schedule) const { AESFreeKey(schedule); }
};
using TAESKeyPtr = std::unique_ptr<TAESKey, TAESKeyDeleter>;

// A new encryption schedule for a 16-, 24- or 32-byte key; nullptr (and
// nothing allocated) for any other length.
TAESKeyPtr AESExpandKey(const void* key, Integer keyLength);
// A new, separate decryption schedule (the equivalent inverse cipher).
TAESKeyPtr AESInvertKey(const TAESKey& schedule);
void AESEncryptBlock(Byte* block, const TAESKey& schedule);
// Takes a schedule made by AESInvertKey.
void AESDecryptBlock(Byte* block, const TAESKey& schedule);

}  // namespace px
