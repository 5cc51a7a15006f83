#pragma once
// The RC4 stream cipher. The old dataset stream format enciphers whole
// streams with it. Plain RC4: no keystream bytes are dropped.
#include "platform/core/Types.h"

namespace px {

class TRC4 {
 public:
  // Keys of 1 to 256 bytes; another length raises EArgumentOutOfRangeException
  // "RC4: key length must be 1 to 256 bytes" (only keyLength bytes are read).
  TRC4(const void* key, Integer keyLength);
  // Wipes the state.
  ~TRC4();
  TRC4(const TRC4&) = delete;
  TRC4& operator=(const TRC4&) = delete;

  // XORs the keystream over count bytes; source and dest may be the same
  // buffer. The state carries over, so two calls equal one over the joined data.
  void Crypt(const void* source, void* dest, Integer count);

 private:
  Byte i_ = 0;
  Byte j_ = 0;
  Byte S_[256];
};

}  // namespace px
