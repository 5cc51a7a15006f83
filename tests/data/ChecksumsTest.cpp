// CRC-32, SHA-1, AES and RC4 against independent implementations: Python's
// zlib and hashlib, the FIPS-197 vectors and openssl's RC4.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "data/UnitCrc.h"
#include "data/UnitCrypto.h"
#include "data/UnitRijndael.h"
#include "data/UnitSHA.h"
#include "platform/core/Exceptions.h"
#include "support/TempDir.h"

namespace px {
namespace {

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  return s;
}

std::string hexOf(const void* data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    const auto b = static_cast<const unsigned char*>(data)[i];
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string unhex(std::string_view h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16));
  return out;
}

// One line per length 0..200: "<crc32 decimal> <sha1 hex>" from Python.
std::vector<std::pair<Cardinal, std::string>> pythonDigests() {
  std::string out;
  const int rc = test::RunCommand(
      "/usr/bin/python3 -c 'import zlib,hashlib\n"
      "for n in range(201):\n"
      "  b=bytes(((i*131+7)&255) for i in range(n))\n"
      "  print(zlib.crc32(b), hashlib.sha1(b).hexdigest())'",
      &out);
  EXPECT_EQ(rc, 0);
  std::vector<std::pair<Cardinal, std::string>> result;
  std::istringstream in(out);
  unsigned long crc;
  std::string sha;
  while (in >> crc >> sha) result.emplace_back(static_cast<Cardinal>(crc), sha);
  return result;
}

TEST(Checksums, CrcAndShaAgreeWithPythonOverAllLengthsToTwoHundred) {
  const auto expected = pythonDigests();
  ASSERT_EQ(expected.size(), 201u);
  for (size_t n = 0; n <= 200; ++n) {
    SCOPED_TRACE(n);
    const std::string data = pattern(n);
    EXPECT_EQ(CRC32OfString(data), expected[n].first);
    EXPECT_EQ(CRC32OfBuffer(data.data(), static_cast<Integer>(n)), expected[n].first);
    // Split at every third byte: the update joins.
    const Integer half = static_cast<Integer>(n / 3);
    EXPECT_EQ(CRC32Update(data.data() + half, static_cast<Integer>(n) - half, CRC32Update(data.data(), half, 0)),
              expected[n].first);
    TSHADigest d;
    SHA1OfString(data, d);
    EXPECT_EQ(hexOf(d.data(), d.size()), expected[n].second);
    // Fed in pieces of 7 bytes the digest is the same.
    TSHA sha;
    for (size_t i = 0; i < n; i += 7) sha.Update(data.data() + i, static_cast<Integer>(std::min<size_t>(7, n - i)));
    sha.Finish();
    TSHADigest pieces;
    sha.GetDigest(pieces);
    EXPECT_EQ(pieces, d);
  }
}

TEST(Checksums, CrcKnownValuesAndNonPositiveLengths) {
  EXPECT_EQ(CRC32OfString("123456789"), 0xCBF43926u);
  EXPECT_EQ(CRC32OfString(""), 0u);
  EXPECT_EQ(CRC32OfBuffer("abc", 0), 0u);
  EXPECT_EQ(CRC32Update("abc", -1, 0x1234u), 0x1234u);
}

TEST(Checksums, ShaHexAndDigestBeforeFinish) {
  TSHADigest d;
  SHA1OfString("abc", d);
  AnsiString hex;
  SHA1DigestToHex(d, hex);
  EXPECT_EQ(hex, "A9993E364706816ABA3E25717850C26C9CD0D89D");
  TSHADigest zeros{};
  SHA1DigestToHex(zeros, hex);
  EXPECT_EQ(hex, std::string(40, '0'));
  SHA1OfString("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", d);
  SHA1DigestToHex(d, hex);
  EXPECT_EQ(hex, "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");

  TSHA sha;
  sha.UpdateString("abc");
  try {
    sha.GetDigest(d);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "SHA: Request for Digest without Finish");
  }
}

TEST(Checksums, AesFips197Vectors) {
  const std::string plain = unhex("00112233445566778899aabbccddeeff");
  struct Case {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const std::string key = unhex(c.key);
    TAESKeyPtr enc = AESExpandKey(key.data(), static_cast<Integer>(key.size()));
    ASSERT_TRUE(enc);
    EXPECT_EQ(enc->Rounds, static_cast<Integer>(key.size() / 4 + 6));
    Byte block[16];
    std::memcpy(block, plain.data(), 16);
    AESEncryptBlock(block, *enc);
    EXPECT_EQ(hexOf(block, 16), c.cipher);
    TAESKeyPtr dec = AESInvertKey(*enc);
    AESDecryptBlock(block, *dec);
    EXPECT_EQ(hexOf(block, 16), hexOf(plain.data(), 16));
  }
  // FIPS-197 appendix B.
  const std::string key = unhex("2b7e151628aed2a6abf7158809cf4f3c");
  TAESKeyPtr enc = AESExpandKey(key.data(), 16);
  EXPECT_EQ(enc->RoundKeys[43], 0xb6630ca6u);
  std::string b = unhex("3243f6a8885a308d313198a2e0370734");
  AESEncryptBlock(reinterpret_cast<Byte*>(b.data()), *enc);
  EXPECT_EQ(hexOf(b.data(), 16), "3925841d02dc09fbdc118597196a0b32");

  for (Integer bad : {0, 15, 20, 33}) EXPECT_EQ(AESExpandKey(key.data(), bad), nullptr);
}

TEST(Checksums, Rc4AgreesWithOpensslOverAllLengthsAndSplitCalls) {
  const std::string key = unhex("0123456789abcdeffedcba9876543210");
  const std::string data = pattern(200);
  test::TempDir dir;
  test::WriteFileBytes(dir.File("in"), data);
  const int rc = test::RunCommand("openssl enc -rc4 -provider legacy -provider default -nosalt -K "
                                  "0123456789abcdeffedcba9876543210 -in " + dir.File("in") + " -out " + dir.File("out"));
  ASSERT_EQ(rc, 0) << "openssl with the legacy provider is needed";
  const std::string expected = test::ReadFileBytes(dir.File("out"));
  ASSERT_EQ(expected.size(), 200u);
  for (size_t n = 0; n <= 200; ++n) {
    SCOPED_TRACE(n);
    std::string buf = data.substr(0, n);
    TRC4 rc4(key.data(), 16);
    rc4.Crypt(buf.data(), buf.data(), static_cast<Integer>(n));  // in place
    EXPECT_EQ(buf, expected.substr(0, n));
    // Split into two calls at every point of a few lengths.
    if (n == 16 || n == 64 || n == 200) {
      for (size_t cut = 0; cut <= n; ++cut) {
        std::string out(n, '\0');
        TRC4 split(key.data(), 16);
        split.Crypt(data.data(), out.data(), static_cast<Integer>(cut));
        split.Crypt(data.data() + cut, out.data() + cut, static_cast<Integer>(n - cut));
        ASSERT_EQ(out, expected.substr(0, n)) << "cut " << cut;
      }
    }
  }
}

TEST(Checksums, Rc4KeysOfEveryLengthAndBadLengths) {
  // Classic vectors: Key/Plaintext, Wiki/pedia, Secret/Attack at dawn.
  struct Case {
    const char* key;
    const char* text;
    const char* cipher;
  } cases[] = {{"Key", "Plaintext", "bbf316e8d940af0ad3"},
               {"Wiki", "pedia", "1021bf0420"},
               {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"}};
  for (const Case& c : cases) {
    std::string buf = c.text;
    TRC4 rc4(c.key, static_cast<Integer>(std::strlen(c.key)));
    rc4.Crypt(buf.data(), buf.data(), static_cast<Integer>(buf.size()));
    EXPECT_EQ(hexOf(buf.data(), buf.size()), c.cipher);
    TRC4 back(c.key, static_cast<Integer>(std::strlen(c.key)));
    back.Crypt(buf.data(), buf.data(), static_cast<Integer>(buf.size()));
    EXPECT_EQ(buf, c.text);
  }
  const std::string longKey(257, 'k');
  TRC4 max(longKey.data(), 256);
  EXPECT_THROW({ TRC4 bad(longKey.data(), 257); }, EArgumentOutOfRangeException);
  EXPECT_THROW({ TRC4 bad(longKey.data(), 0); }, EArgumentOutOfRangeException);
}

}  // namespace
}  // namespace px
