#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "PdfTestSupport.h"
#include "data/UnitRijndael.h"
#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFParserWriter.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::Hex;

std::string Md5Hex(std::string_view text) {
  auto digest = TMD5::Of(text.data(), text.size());
  return Hex(digest.data(), 16);
}

std::string Unhex(std::string_view hex) {
  std::string bytes;
  for (size_t k = 0; k + 1 < hex.size(); k += 2) bytes += static_cast<char>(std::stoi(std::string(hex.substr(k, 2)), nullptr, 16));
  return bytes;
}

TEST(PdfSecurity, MD5MatchesRfc1321) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (auto [text, digest] : cases) EXPECT_EQ(Md5Hex(text), digest) << text;
  // A million bytes in pieces that straddle the 64-byte blocks.
  TMD5 md5;
  const std::string piece(997, 'a');
  size_t left = 1000000;
  for (; left >= piece.size(); left -= piece.size()) md5.Update(piece.data(), piece.size());
  md5.Update(piece.data(), left);
  md5.Finalize();
  EXPECT_EQ(Hex(md5.Digest().data(), 16), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(PdfSecurity, RC4KnownVectors) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (auto [key, text, cipher] : cases) {
    std::string data(text);
    UnitPDFCrypto::TRC4(key, static_cast<int32_t>(std::strlen(key))).Crypt(data.data(), data.data(), data.size());
    EXPECT_EQ(Hex(reinterpret_cast<const uint8_t*>(data.data()), data.size()), cipher);
  }
}

TEST(PdfSecurity, AESCBCDecryptAgainstOpenssl) {
  const std::string key = Unhex("000102030405060708090a0b0c0d0e0f");
  std::string data = Unhex("101112131415161718191a1b1c1d1e1f") +
                     Unhex("89dfe5787415fadfaf52d397e681c173a639d8b64f283fb08111931a34931f15c3d2b96b4257f818c73dbdaaa3330487");
  size_t length = AESCBCDecrypt(reinterpret_cast<const uint8_t*>(key.data()), reinterpret_cast<uint8_t*>(data.data()),
                                data.size());
  EXPECT_EQ(data.substr(0, length), "hello AES world, more than one block!");

  std::string vectorOnly(16, 'v');
  EXPECT_EQ(AESCBCDecrypt(reinterpret_cast<const uint8_t*>(key.data()),
                          reinterpret_cast<uint8_t*>(vectorOnly.data()), 16),
            0u);
  std::string ragged(33, 'x');
  EXPECT_THROW(AESCBCDecrypt(reinterpret_cast<const uint8_t*>(key.data()), reinterpret_cast<uint8_t*>(ragged.data()),
                             ragged.size()),
               EPDFException);
  // Random blocks decrypt to a padding count outside 1..16 (here: zero).
  std::string badPadding = Unhex("101112131415161718191a1b1c1d1e1f");
  std::string block(16, '\0');
  {
    // Encrypting the plaintext block of zeros XOR vector gives a block whose
    // padding byte decrypts to 0.
    auto schedule = AESExpandKey(key.data(), 16);
    for (int k = 0; k < 16; ++k) block[k] = badPadding[k];
    AESEncryptBlock(reinterpret_cast<Byte*>(block.data()), *schedule);
  }
  badPadding += block;
  EXPECT_THROW(AESCBCDecrypt(reinterpret_cast<const uint8_t*>(key.data()),
                             reinterpret_cast<uint8_t*>(badPadding.data()), badPadding.size()),
               EPDFException);
}

// A collection whose trailer holds an Encrypt dictionary made for the empty
// user password.
struct EncryptedDocument {
  TPDFWriter writer;
  TPDFDictionary* encrypt;
  explicit EncryptedDocument(const std::string& entries, bool encryptMetadata = true) {
    TPDFStandardCrypto maker;
    maker.R = 4;
    maker.KeyLength = 16;
    maker.O = std::string(32, 'O');
    maker.P = -4;
    maker.DocumentID = "0123456789abcdef";
    maker.EncryptMetadata = encryptMetadata;
    maker.ComputeFileKey();
    std::string u = maker.ComputeU();
    auto dictionary = std::make_unique<TPDFDictionary>();
    dictionary->Add("Filter", std::make_unique<TPDFName>("Standard"));
    dictionary->Add("V", std::make_unique<TPDFInteger>(4));
    dictionary->Add("R", std::make_unique<TPDFInteger>(4));
    dictionary->Add("P", std::make_unique<TPDFInteger>(-4));
    dictionary->Add("O", std::make_unique<TPDFHexString>(maker.O));
    dictionary->Add("U", std::make_unique<TPDFHexString>(u));
    if (!encryptMetadata) dictionary->Add("EncryptMetadata", std::make_unique<TPDFBoolean>(false));
    auto extra = test::Parse("<<" + entries + ">>");
    auto* more = static_cast<TPDFDictionary*>(extra.get());
    for (int32_t k = 0; k < more->Count(); ++k) dictionary->Add(more->GetKey(k), test::Parse(AsPDFText(*more->GetValue(k))));
    encrypt = dictionary.get();
    writer.GetTrailer()->Add("Encrypt", std::move(dictionary));
    writer.GetTrailer()->Add("ID", TPDFArray::Of(std::make_unique<TPDFHexString>(maker.DocumentID),
                                                 std::make_unique<TPDFHexString>(maker.DocumentID)));
  }
};

TEST(PdfSecurity, CryptFiltersChooseTheMethods) {
  EncryptedDocument doc("/CF<</StdCF<</CFM/AESV2/Length 16>>>>/StmF/StdCF/StrF/Identity");
  auto handler = CreatePDFSecurityHandler(&doc.writer);
  auto* standard = dynamic_cast<TPDFStandardCrypto*>(handler.get());
  ASSERT_NE(standard, nullptr);
  EXPECT_EQ(standard->StreamMethod, TPDFCryptMethod::AESV2);
  EXPECT_EQ(standard->StringMethod, TPDFCryptMethod::None);
  EXPECT_EQ(standard->KeyLength, 16);
  std::string text = "left alone";
  handler->DecryptString(3, 0, text);
  EXPECT_EQ(text, "left alone");
  try {
    TPDFBuffer data(16);
    handler->EncryptStream(3, 0, data);
    ADD_FAILURE() << "AES encryption accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "AESV2 encrypt Not implemented");
  }
}

TEST(PdfSecurity, MetadataFlagEntersTheFileKey) {
  auto keyOf = [](bool encryptMetadata) {
    EncryptedDocument doc("/CF<</StdCF<</CFM/V2>>>>/StmF/StdCF/StrF/StdCF/Length 128", encryptMetadata);
    auto handler = CreatePDFSecurityHandler(&doc.writer);
    auto* standard = dynamic_cast<TPDFStandardCrypto*>(handler.get());
    EXPECT_EQ(standard->EncryptMetadata, encryptMetadata);
    return standard->FileKey;
  };
  EXPECT_NE(keyOf(true), keyOf(false));
}

TEST(PdfSecurity, NoEncryptNoHandler) {
  TPDFWriter writer;
  EXPECT_EQ(CreatePDFSecurityHandler(&writer), nullptr);
  EXPECT_EQ(CreateWriteHandler("o", "", "id", -4, 3), nullptr);
}

TEST(PdfSecurity, EncryptDictionaryOfTheWriteHandlers) {
  auto weak = CreateWriteHandler("owner", "", std::string(16, 'i'), -4, 1);
  EXPECT_EQ(AsPDFText(*weak->CreateEncryptDictionary()).substr(0, 32), "<<\n/Filter/Standard\n/V 1\n/R 2\n/P");
  EXPECT_EQ(AsPDFText(*weak->CreateEncryptDictionary()).find("/Length"), std::string::npos);
  auto strong = CreateWriteHandler("owner", "", std::string(16, 'i'), -4, 2);
  EXPECT_NE(AsPDFText(*strong->CreateEncryptDictionary()).find("/Length 128"), std::string::npos);
  // RC4 round trip through a string.
  std::string text = "round trip";
  strong->EncryptString(5, 0, text);
  EXPECT_NE(text, "round trip");
  strong->DecryptString(5, 0, text);
  EXPECT_EQ(text, "round trip");
}

}  // namespace
}  // namespace px
