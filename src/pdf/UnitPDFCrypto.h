#pragma once
// The security handler interface through which objects encrypt and decrypt
// their strings and stream data in place.
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/UnitPDFParser.h"

namespace px {

class TPDFCrypto {
 public:
  virtual ~TPDFCrypto() = default;
  virtual void DecryptString(int32_t number, int32_t generation, std::string& data) = 0;
  virtual void EncryptString(int32_t number, int32_t generation, std::string& data) = 0;
  virtual void DecryptStream(int32_t number, int32_t generation, TPDFBuffer& data) = 0;
  virtual void EncryptStream(int32_t number, int32_t generation, TPDFBuffer& data) = 0;
  virtual std::unique_ptr<TPDFDictionary> CreateEncryptDictionary() = 0;
};

// The handler for writing a protected document: strength 1 is the 40-bit and
// 2 the 128-bit RC4 handler; any other strength gives none.
std::unique_ptr<TPDFCrypto> CreateWriteHandler(const std::string& ownerPassword, const std::string& userPassword,
                                               const std::string& documentID, int32_t permissions, int strength);

}  // namespace px
