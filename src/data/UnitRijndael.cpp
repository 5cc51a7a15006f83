#include "data/UnitRijndael.h"

#include <array>
#include <cstring>
#include <string.h>

namespace px {
namespace {

using Table = std::array<Cardinal, 256>;

constexpr Byte xtime(Byte x) { return static_cast<Byte>((x << 1) ^ ((x & 0x80) ? 0x1B : 0)); }

constexpr Byte gmul(Byte a, Byte b) {
  Byte r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = xtime(a);
    b >>= 1;
  }
  return r;
}

constexpr std::array<Byte, 256> makeSBox() {
  // Inverses through the powers of the generator 3: inv(3^k) = 3^(255-k).
  std::array<Byte, 256> exp{}, log{};
  Byte x = 1;
  for (int k = 0; k < 255; ++k) {
    exp[static_cast<size_t>(k)] = x;
    log[x] = static_cast<Byte>(k);
    x = static_cast<Byte>(x ^ xtime(x));
  }
  std::array<Byte, 256> s{};
  for (int v = 0; v < 256; ++v) {
    const Byte inv = v == 0 ? 0 : exp[static_cast<size_t>((255 - log[static_cast<size_t>(v)]) % 255)];
    Byte r = inv;
    for (int i = 1; i <= 4; ++i) r ^= static_cast<Byte>((inv << i) | (inv >> (8 - i)));
    s[static_cast<size_t>(v)] = static_cast<Byte>(r ^ 0x63);
  }
  return s;
}

constexpr std::array<Byte, 256> makeInverse(const std::array<Byte, 256>& s) {
  std::array<Byte, 256> inv{};
  for (int x = 0; x < 256; ++x) inv[s[static_cast<size_t>(x)]] = static_cast<Byte>(x);
  return inv;
}

constexpr Cardinal ror8(Cardinal x, int n) { return (x >> (8 * n)) | (x << (32 - 8 * n)); }

constexpr std::array<Table, 4> makeEncTables(const std::array<Byte, 256>& s) {
  std::array<Table, 4> t{};
  for (int x = 0; x < 256; ++x) {
    const Byte v = s[static_cast<size_t>(x)];
    const Cardinal w = (Cardinal(gmul(v, 2)) << 24) | (Cardinal(v) << 16) | (Cardinal(v) << 8) | gmul(v, 3);
    for (int k = 0; k < 4; ++k) t[static_cast<size_t>(k)][static_cast<size_t>(x)] = k ? ror8(w, k) : w;
  }
  return t;
}

constexpr std::array<Table, 4> makeDecTables(const std::array<Byte, 256>& si) {
  std::array<Table, 4> t{};
  for (int x = 0; x < 256; ++x) {
    const Byte v = si[static_cast<size_t>(x)];
    const Cardinal w =
        (Cardinal(gmul(v, 14)) << 24) | (Cardinal(gmul(v, 9)) << 16) | (Cardinal(gmul(v, 13)) << 8) | gmul(v, 11);
    for (int k = 0; k < 4; ++k) t[static_cast<size_t>(k)][static_cast<size_t>(x)] = k ? ror8(w, k) : w;
  }
  return t;
}

constexpr std::array<Byte, 256> SBox = makeSBox();
constexpr std::array<Byte, 256> InvSBox = makeInverse(SBox);
constexpr std::array<Table, 4> Te = makeEncTables(SBox);
constexpr std::array<Table, 4> Td = makeDecTables(InvSBox);
constexpr Cardinal Rcon[10] = {0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000,
                               0x20000000, 0x40000000, 0x80000000, 0x1B000000, 0x36000000};

static_assert(SBox[0] == 0x63 && SBox[1] == 0x7C && SBox[0x53] == 0xED);
static_assert(InvSBox[0x63] == 0);

inline Cardinal load32(const Byte* p) {
  return (Cardinal(p[0]) << 24) | (Cardinal(p[1]) << 16) | (Cardinal(p[2]) << 8) | p[3];
}
inline void store32(Byte* p, Cardinal v) {
  p[0] = static_cast<Byte>(v >> 24);
  p[1] = static_cast<Byte>(v >> 16);
  p[2] = static_cast<Byte>(v >> 8);
  p[3] = static_cast<Byte>(v);
}
inline Cardinal subWord(Cardinal w) {
  return (Cardinal(SBox[w >> 24]) << 24) | (Cardinal(SBox[(w >> 16) & 0xFF]) << 16) |
         (Cardinal(SBox[(w >> 8) & 0xFF]) << 8) | SBox[w & 0xFF];
}
inline Byte b0(Cardinal w) { return static_cast<Byte>(w >> 24); }
inline Byte b1(Cardinal w) { return static_cast<Byte>(w >> 16); }
inline Byte b2(Cardinal w) { return static_cast<Byte>(w >> 8); }
inline Byte b3(Cardinal w) { return static_cast<Byte>(w); }

}  // namespace

void AESFreeKey(TAESKey* schedule) {
  if (!schedule) return;
  explicit_bzero(schedule, sizeof *schedule);
  delete schedule;
}

TAESKeyPtr AESExpandKey(const void* key, Integer keyLength) {
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) return nullptr;
  // The key goes through a zeroed work area that is wiped after expansion.
  Byte work[32] = {};
  std::memcpy(work, key, static_cast<size_t>(keyLength));
  TAESKeyPtr s(new TAESKey{});
  const int nk = keyLength / 4;
  s->Rounds = nk + 6;
  Cardinal* w = s->RoundKeys;
  for (int i = 0; i < nk; ++i) w[i] = load32(work + 4 * i);
  const int total = 4 * (s->Rounds + 1);
  for (int i = nk; i < total; ++i) {
    Cardinal t = w[i - 1];
    if (i % nk == 0)
      t = subWord((t << 8) | (t >> 24)) ^ Rcon[i / nk - 1];
    else if (nk > 6 && i % nk == 4)
      t = subWord(t);
    w[i] = w[i - nk] ^ t;
  }
  explicit_bzero(work, sizeof work);
  return s;
}

TAESKeyPtr AESInvertKey(const TAESKey& schedule) {
  TAESKeyPtr d(new TAESKey{});
  const int nr = schedule.Rounds;
  d->Rounds = nr;
  // Round keys in reverse order; the inner ones pass through InvMixColumns
  // so that decryption can use the same table structure as encryption.
  for (int r = 0; r <= nr; ++r)
    for (int c = 0; c < 4; ++c) {
      Cardinal k = schedule.RoundKeys[4 * (nr - r) + c];
      if (r > 0 && r < nr)
        k = Td[0][SBox[b0(k)]] ^ Td[1][SBox[b1(k)]] ^ Td[2][SBox[b2(k)]] ^ Td[3][SBox[b3(k)]];
      d->RoundKeys[4 * r + c] = k;
    }
  return d;
}

void AESEncryptBlock(Byte* block, const TAESKey& schedule) {
  const Cardinal* rk = schedule.RoundKeys;
  Cardinal s0 = load32(block) ^ rk[0], s1 = load32(block + 4) ^ rk[1];
  Cardinal s2 = load32(block + 8) ^ rk[2], s3 = load32(block + 12) ^ rk[3];
  for (int r = 1; r < schedule.Rounds; ++r) {
    rk += 4;
    const Cardinal t0 = Te[0][b0(s0)] ^ Te[1][b1(s1)] ^ Te[2][b2(s2)] ^ Te[3][b3(s3)] ^ rk[0];
    const Cardinal t1 = Te[0][b0(s1)] ^ Te[1][b1(s2)] ^ Te[2][b2(s3)] ^ Te[3][b3(s0)] ^ rk[1];
    const Cardinal t2 = Te[0][b0(s2)] ^ Te[1][b1(s3)] ^ Te[2][b2(s0)] ^ Te[3][b3(s1)] ^ rk[2];
    const Cardinal t3 = Te[0][b0(s3)] ^ Te[1][b1(s0)] ^ Te[2][b2(s1)] ^ Te[3][b3(s2)] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](Cardinal a, Cardinal b, Cardinal c, Cardinal d) {
    return (Cardinal(SBox[b0(a)]) << 24) | (Cardinal(SBox[b1(b)]) << 16) | (Cardinal(SBox[b2(c)]) << 8) |
           SBox[b3(d)];
  };
  store32(block, last(s0, s1, s2, s3) ^ rk[0]);
  store32(block + 4, last(s1, s2, s3, s0) ^ rk[1]);
  store32(block + 8, last(s2, s3, s0, s1) ^ rk[2]);
  store32(block + 12, last(s3, s0, s1, s2) ^ rk[3]);
}

void AESDecryptBlock(Byte* block, const TAESKey& schedule) {
  const Cardinal* rk = schedule.RoundKeys;
  Cardinal s0 = load32(block) ^ rk[0], s1 = load32(block + 4) ^ rk[1];
  Cardinal s2 = load32(block + 8) ^ rk[2], s3 = load32(block + 12) ^ rk[3];
  for (int r = 1; r < schedule.Rounds; ++r) {
    rk += 4;
    const Cardinal t0 = Td[0][b0(s0)] ^ Td[1][b1(s3)] ^ Td[2][b2(s2)] ^ Td[3][b3(s1)] ^ rk[0];
    const Cardinal t1 = Td[0][b0(s1)] ^ Td[1][b1(s0)] ^ Td[2][b2(s3)] ^ Td[3][b3(s2)] ^ rk[1];
    const Cardinal t2 = Td[0][b0(s2)] ^ Td[1][b1(s1)] ^ Td[2][b2(s0)] ^ Td[3][b3(s3)] ^ rk[2];
    const Cardinal t3 = Td[0][b0(s3)] ^ Td[1][b1(s2)] ^ Td[2][b2(s1)] ^ Td[3][b3(s0)] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  auto last = [](Cardinal a, Cardinal b, Cardinal c, Cardinal d) {
    return (Cardinal(InvSBox[b0(a)]) << 24) | (Cardinal(InvSBox[b1(b)]) << 16) | (Cardinal(InvSBox[b2(c)]) << 8) |
           InvSBox[b3(d)];
  };
  store32(block, last(s0, s3, s2, s1) ^ rk[0]);
  store32(block + 4, last(s1, s0, s3, s2) ^ rk[1]);
  store32(block + 8, last(s2, s1, s0, s3) ^ rk[2]);
  store32(block + 12, last(s3, s2, s1, s0) ^ rk[3]);
}

}  // namespace px
