#pragma once
// Helpers shared by the PDF tests.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/UnitPDFParser.h"
#include "pdf/UnitPDFUtilities.h"
#include "support/TempDir.h"

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

// A stream with decoded data whose dictionary has the entries of the given
// dictionary text.
inline std::unique_ptr<TPDFDictionary> Stream(std::string_view dictionary, std::string_view data) {
  auto parsed = Parse(dictionary);
  auto* source = dynamic_cast<TPDFDictionary*>(parsed.get());
  auto stream = TPDFDictionary::FromStreamData(data);
  for (int32_t k = 0; source && k < source->Count(); ++k)
    stream->Add(source->GetKey(k), Parse(AsPDFText(*source->GetValue(k))));
  return stream;
}

// The technical part of a read error's message.
inline std::string Technical(const Exception& e) {
  const std::string& m = e.Message();
  auto at = m.find("Technical: ");
  return at == std::string::npos ? m : m.substr(at + 11);
}

// Runs an outside tool (stderr with stdout), expects success and returns what
// it printed.
inline std::string RunTool(const std::string& command) {
  std::string output;
  int status = RunCommand(command + " 2>&1", &output);
  EXPECT_EQ(status, 0) << command << "\n" << output;
  return output;
}

// Lower-case hexadecimal digits of bytes.
inline std::string Hex(const uint8_t* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t k = 0; k < size; ++k) {
    text += digits[data[k] >> 4];
    text += digits[data[k] & 15];
  }
  return text;
}
template <size_t N>
std::string Hex(const std::array<uint8_t, N>& bytes) {
  return Hex(bytes.data(), N);
}

}  // namespace px::test
