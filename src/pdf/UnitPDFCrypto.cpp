#include "pdf/UnitPDFCrypto.h"

namespace px {

std::unique_ptr<TPDFCrypto> CreateWriteHandler(const std::string&, const std::string&, const std::string&, int32_t,
                                               int strength) {
  if (strength != 1 && strength != 2) return nullptr;
  // The standard security handler has not been built yet: refuse rather than
  // write a document unprotected that the caller asked to protect.
  throw EPDFException("TPDFWriter: encryption is not available.");
}

}  // namespace px
