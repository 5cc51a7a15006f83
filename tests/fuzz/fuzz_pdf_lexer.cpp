// Parses arbitrary bytes as PDF objects and as content-stream tokens.
#include <cstddef>
#include <cstdint>

#include "pdf/UnitPDFUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  TPDFBuffer buffer(data, data + size);
  for (bool content : {false, true}) {
    int32_t pos = 0;
    for (int tokens = 0; tokens < 10000 && pos < static_cast<int32_t>(buffer.size()); ++tokens) {
      int32_t before = pos;
      try {
        auto object = content ? ParseContentToken(buffer, pos, true) : ParseObject(buffer, pos, true);
        (void)AsPDFText(*object);
        (void)object->AsHTML();
        if (auto* dictionary = dynamic_cast<TPDFDictionary*>(object.get())) {
          int32_t inlinePos = pos;
          dictionary->LoadInlineStream(buffer, inlinePos);
        }
      } catch (const Exception&) {
        pos = before + 1;
      }
      if (pos <= before) pos = before + 1;
    }
  }
  return 0;
}
