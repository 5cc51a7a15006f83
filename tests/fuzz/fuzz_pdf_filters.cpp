// Decodes arbitrary bytes through every stream filter. The first byte picks
// the filter and its decode parameters.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/UnitPDFStreams.h"
#include "pdf/UnitPDFUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  if (size < 1) return 0;
  static const char* const filters[] = {"AHx", "A85", "Fl", "LZW", "CCF", "RL", "DCT"};
  static const char* const parms[] = {
      "",
      "<</Predictor 2 /Colors 3 /Columns 5>>",
      "<</Predictor 15 /Colors 1 /Columns 7 /BitsPerComponent 8>>",
      "<</Predictor 12 /Colors 2 /Columns 3 /BitsPerComponent 16>>",
      "<</K -1 /Columns 64 /BlackIs1 true>>",
      "<</K 0 /Columns 17 /Rows 9>>",
      "<</K 3 /Columns 100 /EncodedByteAlign true>>",
      "<</K -1 /Columns 1728 /Rows 50>>",
  };
  const uint8_t selector = data[0];
  const char* filter = filters[selector % 7];
  const char* parmsText = parms[(selector / 7) % 8];
  std::unique_ptr<TPDFDictionary> dictionary;
  if (*parmsText) {
    TPDFBuffer text(parmsText, parmsText + std::char_traits<char>::length(parmsText));
    int32_t pos = 0;
    dictionary = ParseDictionary(text, pos, true);
  }
  TPDFBuffer input(data + 1, data + size);
  TPDFBuffer output;
  int32_t endPos = 0;
  try {
    FindStreamFilter(filter).Decode(input, 0, static_cast<int32_t>(input.size()), endPos, nullptr, nullptr,
                                    dictionary.get(), output);
  } catch (const Exception&) {
  }
  return 0;
}
