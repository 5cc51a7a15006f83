#pragma once
// Helpers shared by the PDF tests.
#include <string>
#include <string_view>

#include "pdf/UnitPDFParser.h"
#include "pdf/UnitPDFUtilities.h"

namespace px::test {

inline TPDFBuffer Buf(std::string_view text) { return TPDFBuffer(text.begin(), text.end()); }
inline std::string Str(const TPDFBuffer& data) { return std::string(data.begin(), data.end()); }

inline std::unique_ptr<TPDFObject> Parse(std::string_view text, int32_t* endPos = nullptr) {
  TPDFBuffer data = Buf(text);
  int32_t pos = 0;
  auto object = ParseObject(data, pos, true);
  if (endPos) *endPos = pos;
  return object;
}

// The technical part of a read error's message.
inline std::string Technical(const Exception& e) {
  const std::string& m = e.Message();
  auto at = m.find("Technical: ");
  return at == std::string::npos ? m : m.substr(at + 11);
}

}  // namespace px::test
