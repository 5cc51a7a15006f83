#include "data/UnitSHA.h"

#include <cstring>
#include <string.h>

#include "platform/core/Exceptions.h"

namespace px {
namespace {

inline Cardinal rol(Cardinal x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

TSHA::~TSHA() {
  // The message may be a password.
  explicit_bzero(block_, sizeof block_);
  explicit_bzero(H_, sizeof H_);
}

void TSHA::Init() {
  H_[0] = 0x67452301;
  H_[1] = 0xEFCDAB89;
  H_[2] = 0x98BADCFE;
  H_[3] = 0x10325476;
  H_[4] = 0xC3D2E1F0;
  std::memset(block_, 0, sizeof block_);
  bitCountLow_ = 0;
  bitCountHigh_ = 0;
  pending_ = 0;
  finished_ = false;
}

void TSHA::compress(const Byte* p) {
  Cardinal w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = (Cardinal(p[4 * i]) << 24) | (Cardinal(p[4 * i + 1]) << 16) | (Cardinal(p[4 * i + 2]) << 8) | p[4 * i + 3];
  for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  Cardinal a = H_[0], b = H_[1], c = H_[2], d = H_[3], e = H_[4];
  for (int i = 0; i < 80; ++i) {
    Cardinal f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const Cardinal t = rol(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rol(b, 30);
    b = a;
    a = t;
  }
  H_[0] += a;
  H_[1] += b;
  H_[2] += c;
  H_[3] += d;
  H_[4] += e;
  explicit_bzero(w, sizeof w);
}

void TSHA::UpdateString(std::string_view s) {
  const char* p = s.data();
  size_t left = s.size();
  while (left > 0) {
    const size_t n = left > 0x40000000u ? 0x40000000u : left;
    Update(p, static_cast<Integer>(n));
    p += n;
    left -= n;
  }
}

void TSHA::Update(const void* buffer, Integer length) {
  if (length <= 0) return;
  const Byte* p = static_cast<const Byte*>(buffer);
  const uint64_t bits = ((uint64_t(bitCountHigh_) << 32) | bitCountLow_) + uint64_t(length) * 8;
  bitCountLow_ = static_cast<Cardinal>(bits);
  bitCountHigh_ = static_cast<Cardinal>(bits >> 32);
  while (length > 0) {
    const Integer n = std::min(length, 64 - pending_);
    std::memcpy(block_ + pending_, p, static_cast<size_t>(n));
    pending_ += n;
    p += n;
    length -= n;
    if (pending_ == 64) {
      compress(block_);
      pending_ = 0;
    }
  }
}

void TSHA::Finish() {
  block_[pending_++] = 0x80;
  if (pending_ > 56) {
    std::memset(block_ + pending_, 0, static_cast<size_t>(64 - pending_));
    compress(block_);
    pending_ = 0;
  }
  std::memset(block_ + pending_, 0, static_cast<size_t>(56 - pending_));
  for (int i = 0; i < 4; ++i) {
    block_[56 + i] = static_cast<Byte>(bitCountHigh_ >> (24 - 8 * i));
    block_[60 + i] = static_cast<Byte>(bitCountLow_ >> (24 - 8 * i));
  }
  compress(block_);
  pending_ = 0;
  finished_ = true;
}

void TSHA::GetDigest(TSHADigest& digest) const {
  if (!finished_) throw Exception("SHA: Request for Digest without Finish");
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) digest[static_cast<size_t>(4 * i + j)] = static_cast<Byte>(H_[i] >> (24 - 8 * j));
}

void SHA1OfString(std::string_view s, TSHADigest& digest) {
  TSHA sha;
  sha.Init();
  sha.UpdateString(s);
  sha.Finish();
  sha.GetDigest(digest);
}

void SHA1DigestToHex(const TSHADigest& digest, AnsiString& text) {
  static const char hex[] = "0123456789ABCDEF";
  text.clear();
  text.reserve(40);
  for (Byte b : digest) {
    text.push_back(hex[b >> 4]);
    text.push_back(hex[b & 15]);
  }
}

}  // namespace px
