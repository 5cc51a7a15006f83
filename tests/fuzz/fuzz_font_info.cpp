// libFuzzer target: font bytes registered as private faces, each face read
// with every load flag, a few outlines, the glyph-list resource parser, and the
// table toolkit rebuilding the file.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "pdf/UnitFontConstants.h"
#include "pdf/UnitFontInformation.h"
#include "platform/core/Fonts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  uint32_t count = 0;
  uint32_t handle = AddFontMemResource(data, size, &count);
  if (handle) {
    for (const TFontFacePtr& face : ParseFontFaces(std::make_shared<TBytes>(data, data + size))) {
      try {
        TFontInformation info(LogFontForFace(*face), fiAll);
        info.TextAdvances(u"AVx\u00E9 Wo", 1000, 1);
        for (uint32_t g = 0; g < info.NumGlyphs && g < 8; ++g) TGlyphEvaluator(info.GlyphOutline(g), geHorizontal | geVertical);
        TFontContext dc(LogFontForFace(*face));
        TTextMetric tm;
        GetTextMetrics(dc, tm);
        uint32_t whole = GetFontData(dc, 0, 0, nullptr, 0);
        if (whole != GDI_ERROR && whole < (1u << 24)) {
          TBytes bytes(whole);
          GetFontData(dc, 0, 0, bytes.data(), whole);
        }
      } catch (const Exception&) {
      }
    }
    RemoveFontMemResource(handle);
  }
  TBytes bytes(data, data + size);
  try {
    TTFontTables tables = ParseTableDirectory(bytes);
    KeepEmbeddingTables(tables, (size & 1) != 0);
    BuildTTFontData(tables, false);
  } catch (const Exception&) {
  }
  try {
    ParseGlyphList(bytes);
  } catch (const Exception&) {
  }
  return 0;
}
