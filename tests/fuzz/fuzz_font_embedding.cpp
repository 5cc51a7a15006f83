// libFuzzer target: bytes taken as an embedded TrueType program and as a CFF
// program, rebuilt and (when accepted) installed and removed again.
#include <cstddef>
#include <cstdint>

#include "FuzzGuiApplication.h"
#include "pdf/gui/UnitFontEmbedding.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  StartFuzzGuiApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  const TBytes bytes(data, data + size);
  {
    TEmbeddedTTFont font(bytes, (size & 1) != 0, "ABCDEF+Fuzz");
    if (font.IsInstalled()) {
      TLogFontA logFont;
      font.FillLogFont(logFont);
    }
  }
  {
    TEmbeddedCFFFont font(bytes, false, "Fuzz");
    for (const std::string& name : font.GetGlyphNames())
      if (!name.empty()) font.GlyphNameToUnicode(name, true);
  }
  return 0;
}
