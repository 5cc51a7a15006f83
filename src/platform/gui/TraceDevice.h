#pragma once
// A drawing device that draws nothing and writes one line of text per call
// instead, so that what a renderer asks of a device can be read and compared:
//   paint <fill|stroke|fillstroke> <nonzero|evenodd> #RRGGBB #RRGGBB <width> <cap> <join> <path>
//   clip <nonzero|evenodd> <path>
//   clipreset
//   font "<face>" <weight> <italic> <height> <escapement>
//   text <chr|gid> <x> <y> #RRGGBB <units>
//   image <opaque|alpha|stencil> <w> <h> <x0> <y0> <x1> <y1> <x2> <y2>
// A path is a list of "M x y", "L x y", "C x1 y1 x2 y2 x3 y3", "T x y <units>"
// and "Z" items; units are U+XXXX for characters and decimal glyph numbers.
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"

namespace px {

class TTraceDevice : public TCanvasDevice {
 public:
  explicit TTraceDevice(int32_t pixelsPerInch = 96) : ppi_(pixelsPerInch) {}
  std::vector<std::string> Lines;

  void FillRect(const TDeviceState& s, const TRect& r) override;
  void Rectangle(const TDeviceState& s, const TRect& r) override;
  void RoundRect(const TDeviceState&, const TRect&, int32_t, int32_t) override {}
  void Ellipse(const TDeviceState&, const TRect&) override {}
  void Arc(const TDeviceState&, TArcKind, const TRect&, TPoint, TPoint) override {}
  void Polyline(const TDeviceState& s, const std::vector<TPoint>& points) override;
  void Polygon(const TDeviceState& s, const std::vector<TPoint>& points) override;
  void PolyBezier(const TDeviceState& s, const std::vector<TPoint>& points) override;
  void MoveTo(const TDeviceState& s, TPoint p) override;
  void LineTo(const TDeviceState& s, TPoint p) override;
  void BeginPath() override;
  void EndPath() override { open_ = false; }
  void CloseFigure() override;
  void FillPath(const TDeviceState& s) override { paint("fill", s); }
  void StrokePath(const TDeviceState& s) override { paint("stroke", s); }
  void StrokeAndFillPath(const TDeviceState& s) override { paint("fillstroke", s); }
  void BezierTo(const TDeviceState& s, TPoint c1, TPoint c2, TPoint p) override;
  void ClipPath(const TDeviceState& s) override;
  void TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect* rect,
               const UnicodeString& text, const int32_t* advances = nullptr) override;
  TSize TextExtent(const TFontData&, const UnicodeString&) override { return {}; }
  TTextMetrics TextMetrics(const TFontData&) override { return {}; }
  void DrawBitmap(const TDeviceState& s, const TRect& dest, const TBitmap& source, const TRect& sourceRect,
                  const TBlendMode& blend) override;
  void DrawBitmapPlg(const TDeviceState& s, const TPoint (&p)[3], const TBitmap& source,
                     const TBlendMode& blend) override;
  TColor GetPixel(int32_t, int32_t) override { return clNone; }
  void SetPixel(int32_t, int32_t, TColor) override {}
  void SetClipRect(const TRect* r) override;
  void IntersectClipRect(const TRect& r) override;
  void SaveState() override { ++depth_; }
  void RestoreState() override;
  int32_t PixelsPerInch() const override { return ppi_; }
  // Saves not yet restored.
  int32_t Depth() const { return depth_; }

 private:
  void paint(const char* kind, const TDeviceState& s);
  void fontLine(const TFontData& font);
  static std::string units(bool glyphs, const UnicodeString& text);
  int32_t ppi_;
  bool open_ = false;
  std::string path_;
  TPoint pos_;
  int32_t depth_ = 0;
  bool haveFont_ = false;
  TFontData font_;
};

}  // namespace px
