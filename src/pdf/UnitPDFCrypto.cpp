#include "pdf/UnitPDFCrypto.h"

#include <algorithm>
#include <cstring>

#include "data/UnitRijndael.h"
#include "pdf/UnitPDFUtilities.h"
#include "platform/core/Format.h"

namespace px {

// ---------------------------------------------------------------------------
// TMD5

namespace {

constexpr uint32_t rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

constexpr uint32_t md5K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int md5S[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                          14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                          4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

}  // namespace

void TMD5::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  count_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void TMD5::transform(const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 | uint32_t(block[4 * i + 2]) << 16 |
           uint32_t(block[4 * i + 3]) << 24;
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t next = b + rotl(a + f + md5K[i] + m[g], md5S[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void TMD5::Update(const void* data, size_t count) {
  auto* bytes = static_cast<const uint8_t*>(data);
  size_t used = count_ % 64;
  count_ += count;
  if (used) {
    size_t take = std::min(count, 64 - used);
    std::memcpy(buffer_ + used, bytes, take);
    bytes += take;
    count -= take;
    if (used + take < 64) return;
    transform(buffer_);
  }
  for (; count >= 64; bytes += 64, count -= 64) transform(bytes);
  if (count) std::memcpy(buffer_, bytes, count);
}

void TMD5::Finalize() {
  const uint64_t bits = count_ * 8;
  static const uint8_t pad[64] = {0x80};
  size_t used = count_ % 64;
  Update(pad, used < 56 ? 56 - used : 120 - used);
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(length, 8);
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) digest_[4 * i + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
  Init();
}

std::array<uint8_t, 16> TMD5::Of(const void* data, size_t count) {
  TMD5 md5;
  md5.Update(data, count);
  md5.Finalize();
  return md5.Digest();
}

// ---------------------------------------------------------------------------
// RC4

namespace UnitPDFCrypto {

TRC4::TRC4(const void* key, int32_t keyLength) {
  Assert(keyLength >= 1 && keyLength <= 256, "TRC4.Create: key length must be 1 to 256");
  auto* k = static_cast<const uint8_t*>(key);
  for (int n = 0; n < 256; ++n) S_[n] = static_cast<uint8_t>(n);
  uint8_t j = 0;
  for (int n = 0; n < 256; ++n) {
    j = static_cast<uint8_t>(j + S_[n] + k[n % keyLength]);
    std::swap(S_[n], S_[j]);
  }
}

TRC4::~TRC4() {
  volatile uint8_t* s = S_;
  for (int n = 0; n < 256; ++n) s[n] = 0;
  i_ = j_ = 0;
}

void TRC4::Crypt(const void* source, void* dest, size_t count) {
  auto* in = static_cast<const uint8_t*>(source);
  auto* out = static_cast<uint8_t*>(dest);
  for (size_t n = 0; n < count; ++n) {
    i_ = static_cast<uint8_t>(i_ + 1);
    j_ = static_cast<uint8_t>(j_ + S_[i_]);
    std::swap(S_[i_], S_[j_]);
    out[n] = in[n] ^ S_[static_cast<uint8_t>(S_[i_] + S_[j_])];
  }
}

}  // namespace UnitPDFCrypto

using UnitPDFCrypto::TRC4;

// ---------------------------------------------------------------------------
// AES-CBC

namespace {
[[noreturn]] void raiseCorruptAES() { throw EPDFException("AESV2 decrypt: data corrupt"); }
}  // namespace

size_t AESCBCDecrypt(const uint8_t key[16], uint8_t* buffer, size_t length) {
  if (length % 16 != 0 || length < 16) raiseCorruptAES();
  if (length == 16) return 0;
  TAESKeyPtr schedule = AESExpandKey(key, 16);
  TAESKeyPtr inverse = AESInvertKey(*schedule);
  schedule.reset();
  uint8_t previous[16], current[16];
  std::memcpy(previous, buffer, 16);
  for (size_t block = 16; block < length; block += 16) {
    std::memcpy(current, buffer + block, 16);
    AESDecryptBlock(buffer + block, *inverse);
    for (int k = 0; k < 16; ++k) buffer[block - 16 + k] = buffer[block + k] ^ previous[k];
    std::memcpy(previous, current, 16);
  }
  const size_t plain = length - 16;
  const uint8_t padding = buffer[plain - 1];
  if (padding < 1 || padding > 16 || padding > plain) raiseCorruptAES();
  return plain - padding;
}

// ---------------------------------------------------------------------------
// TPDFStandardCrypto

namespace {

const uint8_t passwordPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                     0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                     0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

// The password cut to or completed to 32 bytes with the padding string.
std::string padPassword(const std::string& password) {
  std::string padded = password.substr(0, 32);
  padded.append(reinterpret_cast<const char*>(passwordPadding), 32 - padded.size());
  return padded;
}

void rc4Passes(const uint8_t* key, int32_t keyLength, uint8_t* data, size_t length, int passes) {
  for (int i = 0; i < passes; ++i) {
    uint8_t passKey[16];
    for (int k = 0; k < keyLength; ++k) passKey[k] = static_cast<uint8_t>(key[k] ^ i);
    TRC4(passKey, keyLength).Crypt(data, data, length);
  }
}

std::string unknownMethod(const std::string& detail) {
  return "TPDFCollection: Unknown encryption method: " + detail;
}

}  // namespace

const char* PDFCryptMethodName(TPDFCryptMethod method) {
  switch (method) {
    case TPDFCryptMethod::None: return "None";
    case TPDFCryptMethod::RC4: return "V2";
    case TPDFCryptMethod::AESV2: return "AESV2";
  }
  return "None";
}

void TPDFStandardCrypto::ComputeFileKey() {
  TMD5 md5;
  std::string password = padPassword(UserPassword);
  md5.Update(password.data(), 32);
  md5.Update(O.data(), O.size());
  uint8_t p[4];
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(static_cast<uint32_t>(P) >> (8 * k));
  md5.Update(p, 4);
  md5.Update(DocumentID.data(), DocumentID.size());
  if (R >= 4 && !EncryptMetadata) {
    const uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    md5.Update(ff, 4);
  }
  md5.Finalize();
  std::array<uint8_t, 16> digest = md5.Digest();
  if (R >= 3)
    for (int round = 0; round < 50; ++round) digest = TMD5::Of(digest.data(), KeyLength);
  FileKey = {};
  std::copy_n(digest.begin(), KeyLength, FileKey.begin());
}

std::string TPDFStandardCrypto::ComputeU() const {
  if (R == 2) {
    std::string u(reinterpret_cast<const char*>(passwordPadding), 32);
    TRC4(FileKey.data(), KeyLength).Crypt(u.data(), u.data(), u.size());
    return u;
  }
  TMD5 md5;
  md5.Update(passwordPadding, 32);
  md5.Update(DocumentID.data(), DocumentID.size());
  md5.Finalize();
  std::array<uint8_t, 16> digest = md5.Digest();
  rc4Passes(FileKey.data(), KeyLength, digest.data(), 16, 20);
  std::string u(reinterpret_cast<const char*>(digest.data()), 16);
  u.append(16, '\0');
  return u;
}

std::string TPDFStandardCrypto::ComputeO() const {
  std::string source = padPassword(OwnerPassword.empty() ? UserPassword : OwnerPassword);
  std::array<uint8_t, 16> digest = TMD5::Of(source.data(), 32);
  if (R >= 3)
    for (int round = 0; round < 50; ++round) digest = TMD5::Of(digest.data(), 16);
  std::string o = padPassword(UserPassword);
  rc4Passes(digest.data(), KeyLength, reinterpret_cast<uint8_t*>(o.data()), 32, R == 2 ? 1 : 20);
  return o;
}

bool TPDFStandardCrypto::CheckUserPassword() {
  ComputeFileKey();
  if (R == 2) return ComputeU() == U;
  if (R == 3 || R == 4) return U.size() >= 16 && ComputeU().compare(0, 16, U, 0, 16) == 0;
  return false;
}

std::array<uint8_t, 16> TPDFStandardCrypto::objectKey(int32_t number, int32_t generation, bool aes) const {
  TMD5 md5;
  md5.Update(FileKey.data(), KeyLength);
  const uint8_t tail[5] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(generation),
                           static_cast<uint8_t>(generation >> 8)};
  md5.Update(tail, 5);
  if (aes) md5.Update("sAlT", 4);
  md5.Finalize();
  return md5.Digest();
}

void TPDFStandardCrypto::crypt(TPDFCryptMethod method, int32_t number, int32_t generation, uint8_t* data,
                               size_t& length, bool decrypt) {
  if (length == 0 || method == TPDFCryptMethod::None) return;
  if (method == TPDFCryptMethod::AESV2) {
    if (!decrypt) throw EPDFException("AESV2 encrypt Not implemented");
    std::array<uint8_t, 16> key = objectKey(number, generation, true);
    length = AESCBCDecrypt(key.data(), data, length);
    key.fill(0);
    return;
  }
  std::array<uint8_t, 16> key = objectKey(number, generation, false);
  TRC4(key.data(), std::min(KeyLength + 5, 16)).Crypt(data, data, length);
  key.fill(0);
}

void TPDFStandardCrypto::DecryptString(int32_t number, int32_t generation, std::string& data) {
  size_t length = data.size();
  crypt(StringMethod, number, generation, reinterpret_cast<uint8_t*>(data.data()), length, true);
  data.resize(length);
}

void TPDFStandardCrypto::EncryptString(int32_t number, int32_t generation, std::string& data) {
  size_t length = data.size();
  crypt(StringMethod, number, generation, reinterpret_cast<uint8_t*>(data.data()), length, false);
}

void TPDFStandardCrypto::DecryptStream(int32_t number, int32_t generation, TPDFBuffer& data) {
  size_t length = data.size();
  crypt(StreamMethod, number, generation, data.data(), length, true);
  data.resize(length);
}

void TPDFStandardCrypto::EncryptStream(int32_t number, int32_t generation, TPDFBuffer& data) {
  size_t length = data.size();
  crypt(StreamMethod, number, generation, data.data(), length, false);
}

std::unique_ptr<TPDFDictionary> TPDFStandardCrypto::CreateEncryptDictionary() {
  auto dictionary = std::make_unique<TPDFDictionary>();
  dictionary->Add("Filter", std::make_unique<TPDFName>("Standard"));
  dictionary->Add("V", std::make_unique<TPDFInteger>(V));
  dictionary->Add("R", std::make_unique<TPDFInteger>(R));
  dictionary->Add("P", std::make_unique<TPDFInteger>(P));
  if (V != 1) dictionary->Add("Length", std::make_unique<TPDFInteger>(KeyLength * 8));
  dictionary->Add("U", std::make_unique<TPDFHexString>(U));
  dictionary->Add("O", std::make_unique<TPDFHexString>(O));
  return dictionary;
}

// ---------------------------------------------------------------------------
// Factories

namespace {

// Key length in bytes from a "Length" in bits: a multiple of 8 from 40 to 128.
int32_t keyLengthOf(int32_t bits) {
  if (bits % 8 != 0 || bits < 40 || bits > 128) throw Exception(unknownMethod("Length invalid."));
  return bits / 8;
}

struct CryptFilter {
  TPDFCryptMethod method = TPDFCryptMethod::None;
  int32_t lengthBits = 0;  // 0 when the filter gives none
};

CryptFilter cryptFilter(TPDFCollection* collection, TPDFDictionary* filters, const std::string& name) {
  CryptFilter result;
  if (name == "Identity") return result;
  TPDFDictionary* filter = filters ? filters->GetDictionary(collection, name) : nullptr;
  // A filter name that the document does not define leaves no way to decrypt.
  if (!filter) throw Exception(unknownMethod("Crypt filter not defined: " + name + "."));
  const std::string method = filter->GetName(collection, "CFM", "None");
  if (method == "None")
    result.method = TPDFCryptMethod::None;
  else if (method == "V2")
    result.method = TPDFCryptMethod::RC4;
  else if (method == "AESV2")
    result.method = TPDFCryptMethod::AESV2;
  else
    throw EPDFException("Unknown encryption method: " + method);
  // Writers give a crypt filter's key length in bytes or in bits.
  if (auto* length = filter->GetObject<TPDFInteger>(collection, "Length"))
    result.lengthBits = length->Value <= 16 ? length->Value * 8 : length->Value;
  return result;
}

}  // namespace

std::unique_ptr<TPDFCrypto> CreatePDFSecurityHandler(TPDFCollection* collection) {
  TPDFDictionary* trailer = collection->GetTrailer();
  if (!trailer || !trailer->Find("Encrypt")) return nullptr;
  TPDFDictionary* encrypt = trailer->GetRequiredDictionary(collection, "Encrypt");

  auto* filter = dynamic_cast<TPDFName*>(encrypt->GetObject(collection, "Filter"));
  if (!filter) throw Exception(unknownMethod("Filter not specified."));
  if (filter->Name != "Standard") throw Exception(unknownMethod(Format("Filter unknown: %s.", filter->Name)));
  auto* v = dynamic_cast<TPDFInteger*>(encrypt->GetObject(collection, "V"));
  if (!v) throw Exception(unknownMethod("Algorithm (V) not defined."));
  if (v->Value != 1 && v->Value != 2 && v->Value != 4)
    throw Exception(unknownMethod(Format("Algorithm (V) not supported: %d.", v->Value)));

  auto handler = std::make_unique<TPDFStandardCrypto>();
  handler->V = v->Value;
  if (auto* metadata = encrypt->GetObject<TPDFBoolean>(collection, "EncryptMetadata"))
    handler->EncryptMetadata = metadata->Value;
  handler->R = encrypt->GetRequiredObject<TPDFInteger>(collection, "R")->Value;
  handler->U = encrypt->GetRequiredObject<TPDFString>(collection, "U")->Data;
  handler->O = encrypt->GetRequiredObject<TPDFString>(collection, "O")->Data;
  handler->P = encrypt->GetRequiredObject<TPDFInteger>(collection, "P")->Value;
  if (auto* id = trailer->GetObject<TPDFArray>(collection, "ID"); id && id->Count() > 0)
    handler->DocumentID = id->GetRequiredObject<TPDFString>(collection, 0)->Data;

  auto* length = encrypt->GetObject<TPDFInteger>(collection, "Length");
  if (handler->V == 2) handler->KeyLength = keyLengthOf(length ? length->Value : 40);
  if (handler->V == 4) {
    auto* filters = encrypt->GetDictionary(collection, "CF");
    CryptFilter stream = cryptFilter(collection, filters, encrypt->GetName(collection, "StmF", "Identity"));
    CryptFilter string = cryptFilter(collection, filters, encrypt->GetName(collection, "StrF", "Identity"));
    handler->StreamMethod = stream.method;
    handler->StringMethod = string.method;
    // Without a document-wide Length the crypt filters' length counts; AES-128
    // needs the whole 128-bit key.
    int32_t bits = 128;
    if (length)
      bits = length->Value;
    else if (stream.lengthBits)
      bits = stream.lengthBits;
    else if (string.lengthBits)
      bits = string.lengthBits;
    handler->KeyLength = keyLengthOf(bits);
  }
  if (!handler->CheckUserPassword()) throw Exception("TPDFCollection: Invalid password.");
  return handler;
}

std::unique_ptr<TPDFCrypto> CreateWriteHandler(const std::string& ownerPassword, const std::string& userPassword,
                                               const std::string& documentID, int32_t permissions, int strength) {
  if (strength != 1 && strength != 2) return nullptr;
  auto handler = std::make_unique<TPDFStandardCrypto>();
  handler->KeyLength = strength == 1 ? 5 : 16;
  handler->R = strength == 1 ? 2 : 3;
  handler->V = strength == 1 ? 1 : 2;
  handler->OwnerPassword = ownerPassword;
  handler->UserPassword = userPassword;
  handler->DocumentID = documentID;
  handler->P = permissions;
  handler->O = handler->ComputeO();
  handler->ComputeFileKey();
  handler->U = handler->ComputeU();
  return handler;
}

}  // namespace px
