// The canvas constructor. It reads only the canvas's font data, which the
// graphics header keeps inline, so this library stays free of the GUI layer.
#include "pdf/UnitFontInformation.h"
#include "platform/gui/Graphics.h"

namespace px {

TFontInformation::TFontInformation(TCanvas* canvas, uint32_t flags) {
  Assert(canvas != nullptr, "TFontInformation needs a canvas");
  const TFontData& font = canvas->Font().Data();
  TLogFontW lf;
  lf.lfHeight = font.Height;
  lf.lfWeight = font.Style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.Style.Contains(fsItalic) ? 1 : 0;
  lf.lfUnderline = font.Style.Contains(fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = font.Style.Contains(fsStrikeOut) ? 1 : 0;
  lf.lfEscapement = lf.lfOrientation = font.Orientation;
  lf.lfCharSet = DEFAULT_CHARSET;
  SetLogFontFaceName(lf, font.Name);
  dc_ = std::make_shared<TFontContext>(lf);
  load(flags);
}

}  // namespace px
