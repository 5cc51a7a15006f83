// libFuzzer target: bytes taken as an embedded TrueType program and as a CFF
// program, rebuilt and (when accepted) installed and removed again.
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "pdf/gui/UnitFontEmbedding.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The rebuilt bytes are checked by the text engine, which needs an
  // application object; no display is needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QGuiApplication application(*argc, *argv);
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
