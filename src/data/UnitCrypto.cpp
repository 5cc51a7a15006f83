#include "data/UnitCrypto.h"

#include <string.h>

#include <utility>

#include "platform/core/Exceptions.h"

namespace px {

TRC4::TRC4(const void* key, Integer keyLength) {
  // A longer key would be read past its end; refuse it as an error the
  // caller can report rather than a failed internal check.
  if (keyLength < 1 || keyLength > 256)
    throw EArgumentOutOfRangeException("RC4: key length must be 1 to 256 bytes");
  const Byte* k = static_cast<const Byte*>(key);
  for (int n = 0; n < 256; ++n) S_[n] = static_cast<Byte>(n);
  Byte j = 0;
  for (int n = 0; n < 256; ++n) {
    j = static_cast<Byte>(j + S_[n] + k[n % keyLength]);
    std::swap(S_[n], S_[j]);
  }
}

TRC4::~TRC4() {
  explicit_bzero(S_, sizeof S_);
  explicit_bzero(&i_, sizeof i_);
  explicit_bzero(&j_, sizeof j_);
}

void TRC4::Crypt(const void* source, void* dest, Integer count) {
  const Byte* src = static_cast<const Byte*>(source);
  Byte* dst = static_cast<Byte*>(dest);
  Byte i = i_, j = j_;
  for (Integer n = 0; n < count; ++n) {
    i = static_cast<Byte>(i + 1);
    const Byte si = S_[i];
    j = static_cast<Byte>(j + si);
    S_[i] = S_[j];
    S_[j] = si;
    dst[n] = static_cast<Byte>(src[n] ^ S_[static_cast<Byte>(si + S_[i])]);
  }
  i_ = i;
  j_ = j;
}

}  // namespace px
