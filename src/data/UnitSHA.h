#pragma once
// SHA-1 (FIPS 180). The application keeps the SHA-1 of the settings password
// as 40 upper-case hexadecimal digits.
#include <array>
#include <string_view>

#include "platform/core/Types.h"

namespace px {

using TSHADigest = std::array<Byte, 20>;

class TSHA {
 public:
  TSHA() { Init(); }
  ~TSHA();
  TSHA(const TSHA&) = delete;
  TSHA& operator=(const TSHA&) = delete;

  // Starts a new message.
  void Init();
  void UpdateString(std::string_view s);
  // Appends length bytes; nothing for a length of 0 or less.
  void Update(const void* buffer, Integer length);
  // Pads, compresses the last block and marks the digest as ready.
  void Finish();
  // Raises Exception "SHA: Request for Digest without Finish" before Finish.
  void GetDigest(TSHADigest& digest) const;

 private:
  void compress(const Byte* block);

  Cardinal H_[5];
  Byte block_[64];
  Cardinal bitCountLow_;
  Cardinal bitCountHigh_;
  Integer pending_;
  bool finished_;
};

void SHA1OfString(std::string_view s, TSHADigest& digest);
// 40 upper-case hexadecimal digits, leading zeros kept.
void SHA1DigestToHex(const TSHADigest& digest, AnsiString& text);

}  // namespace px
