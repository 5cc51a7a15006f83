#pragma once
// The standard security handler of encrypted PDF documents: decrypts the
// strings and streams of documents the reader opens (RC4 and AES-128 in CBC
// mode) and encrypts those of documents the writer protects (RC4). Only the
// empty user password is tried.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/UnitPDFParser.h"

namespace px {

// The security handler interface through which objects encrypt and decrypt
// their strings and stream data in place.
class TPDFCrypto {
 public:
  virtual ~TPDFCrypto() = default;
  virtual void DecryptString(int32_t number, int32_t generation, std::string& data) = 0;
  virtual void EncryptString(int32_t number, int32_t generation, std::string& data) = 0;
  virtual void DecryptStream(int32_t number, int32_t generation, TPDFBuffer& data) = 0;
  virtual void EncryptStream(int32_t number, int32_t generation, TPDFBuffer& data) = 0;
  virtual std::unique_ptr<TPDFDictionary> CreateEncryptDictionary() = 0;
};

// The MD5 message digest (RFC 1321).
class TMD5 {
 public:
  TMD5() { Init(); }
  ~TMD5() { Init(); }
  TMD5(const TMD5&) = delete;
  TMD5& operator=(const TMD5&) = delete;

  void Init();
  void Update(const void* data, size_t count);
  // Pads, stores the digest and starts a new message.
  void Finalize();
  const std::array<uint8_t, 16>& Digest() const { return digest_; }

  // The digest of one message.
  static std::array<uint8_t, 16> Of(const void* data, size_t count);

 private:
  void transform(const uint8_t* block);
  uint32_t state_[4];
  uint64_t count_ = 0;
  uint8_t buffer_[64];
  std::array<uint8_t, 16> digest_{};
};

// This unit's own RC4, qualified by the unit's name to keep it apart from the
// data layer's cipher of the same name.
namespace UnitPDFCrypto {
class TRC4 {
 public:
  // Keys of 1 to 256 bytes, used cyclically.
  TRC4(const void* key, int32_t keyLength);
  ~TRC4();
  TRC4(const TRC4&) = delete;
  TRC4& operator=(const TRC4&) = delete;
  // Keystream XOR; source may equal dest.
  void Crypt(const void* source, void* dest, size_t count);

 private:
  uint8_t S_[256];
  uint8_t i_ = 0, j_ = 0;
};
}  // namespace UnitPDFCrypto

// Decrypts AES-128-CBC data in place: the first 16 bytes are the
// initialisation vector, the plaintext is moved to the start of the buffer and
// its length (without vector and padding) is returned. Data whose length is not
// a multiple of 16, or whose padding count lies outside 1..16, is refused.
size_t AESCBCDecrypt(const uint8_t key[16], uint8_t* buffer, size_t length);

// String and stream methods.
enum class TPDFCryptMethod : uint8_t { None = 0, RC4 = 1, AESV2 = 2 };

class TPDFStandardCrypto : public TPDFCrypto {
 public:
  void DecryptString(int32_t number, int32_t generation, std::string& data) override;
  void EncryptString(int32_t number, int32_t generation, std::string& data) override;
  void DecryptStream(int32_t number, int32_t generation, TPDFBuffer& data) override;
  void EncryptStream(int32_t number, int32_t generation, TPDFBuffer& data) override;
  std::unique_ptr<TPDFDictionary> CreateEncryptDictionary() override;

  // Algorithm 2: the file key from the user password.
  void ComputeFileKey();
  // Algorithms 4 and 5.
  std::string ComputeU() const;
  // Algorithm 3.
  std::string ComputeO() const;
  // Algorithm 6 for the stored user password.
  bool CheckUserPassword();

  int32_t KeyLength = 5;  // n, bytes
  int32_t R = 2;
  int32_t V = 1;
  std::string U, O;
  int32_t P = 0;
  std::string UserPassword, OwnerPassword, DocumentID;
  std::array<uint8_t, 16> FileKey{};
  TPDFCryptMethod StringMethod = TPDFCryptMethod::RC4;
  TPDFCryptMethod StreamMethod = TPDFCryptMethod::RC4;
  bool EncryptMetadata = true;

 private:
  std::array<uint8_t, 16> objectKey(int32_t number, int32_t generation, bool aes) const;
  void crypt(TPDFCryptMethod method, int32_t number, int32_t generation, uint8_t* data, size_t& length,
             bool decrypt);
};

// The handler of an encrypted document: none when the trailer has no
// "Encrypt" entry. Unknown methods and a non-empty user password are refused.
std::unique_ptr<TPDFCrypto> CreatePDFSecurityHandler(TPDFCollection* collection);

// The handler for writing a protected document: strength 1 is the 40-bit and
// 2 the 128-bit RC4 handler; any other strength gives none.
std::unique_ptr<TPDFCrypto> CreateWriteHandler(const std::string& ownerPassword, const std::string& userPassword,
                                               const std::string& documentID, int32_t permissions, int strength);

// The name of a method as written in a crypt filter ("None", "V2", "AESV2").
const char* PDFCryptMethodName(TPDFCryptMethod method);

}  // namespace px
