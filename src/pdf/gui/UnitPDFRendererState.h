#pragma once
// The state that the content interpreter keeps for each graphics level, and
// the callbacks through which font resources hand glyphs back to it. Kept apart
// from the renderer so that the resources can use it without the renderer.
#include <cstdint>

#include "pdf/UnitPDFParser.h"
#include "platform/core/Fonts.h"

namespace px {

class TPDFColorSpace;
class TPDFResource;

// An affine map x' = a·x + c·y + e, y' = b·x + d·y + f. Computed in double
// so that the large or tiny factors of untrusted files do not lose the page.
struct TPDFMatrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  // This map followed by m (the product this × m of row-vector matrices).
  TPDFMatrix operator*(const TPDFMatrix& m) const {
    return {a * m.a + b * m.c,       a * m.b + b * m.d,       c * m.a + d * m.c,
            c * m.b + d * m.d,       e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
  }
  bool operator==(const TPDFMatrix&) const = default;
};

// Bits of the internal text mode.
constexpr uint8_t PDFTextStroke = 1;
constexpr uint8_t PDFTextFill = 2;
constexpr uint8_t PDFTextClip = 4;

// The colour handed to a font when glyphs are placed but not drawn.
constexpr uint32_t PDFInvisibleColor = 0x1FFFFFFF;

struct TPDFTextState {
  TPDFResource* Font = nullptr;  // not owned
  float FontSize = 0;
  uint8_t Mode = PDFTextFill;
  float CharSpacing = 0;
  float WordSpacing = 0;
  float HorizontalScaling = 100;  // percent
  float Leading = 0;
  float Rise = 0;
  TPDFMatrix Tm;
  TPDFMatrix Tlm;
  int32_t BTCount = 0;
};

struct TPDFGraphicState {
  TPDFMatrix CTM;  // user space to device pixels
  // This level narrowed the clip; the device holds the wider clip of the
  // level below in its saved state.
  bool OwnClip = false;
  TPDFColorSpace* StrokeColorSpace = nullptr;  // not owned
  uint32_t StrokeColor = 0;
  TPDFColorSpace* FillColorSpace = nullptr;  // not owned
  uint32_t FillColor = 0;
  float LineWidth = 1;
  int32_t LineCap = 0;
  int32_t LineJoin = 0;
  float MiterLimit = 10;
  float StrokeAlpha = 1;
  float FillAlpha = 1;
  TPDFTextState Text;
};

// A glyph run at (x, y) in device pixels: count (1..) UTF-16 units, or glyph
// indices of the selected font when glyphIndex is set.
using TPDFGlyphOutputCallback = void (*)(void* data, const char16_t* units, int32_t count, bool glyphIndex, double x,
                                         double y);
// Selects the logical font (its height and escapement already for the device)
// and the colour for the glyphs that follow.
using TPDFFontSelectCallback = void (*)(void* data, const TLogFontA& font, uint32_t color);
// Draws a content stream (a Type 3 glyph) with its resources; matrix maps its
// space to the current user space.
using TPDFFormDrawCallback = void (*)(void* data, TPDFDictionary* stream, TPDFDictionary* resources,
                                      const TPDFMatrix& matrix);

}  // namespace px
