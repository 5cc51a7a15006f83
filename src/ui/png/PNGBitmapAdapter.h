#pragma once
// Puts the GUI layer's TBitmap behind the PNG conversion's pixel target.
// Header-only so that the reader library itself stays free of the GUI layer:
// only callers that already link px_gui include this.
#include <string>

#include "platform/gui/Graphics.h"
#include "ui/png/UnitPNG.h"

namespace px {

class TPNGBitmapAdapter : public IPNGBitmapTarget {
 public:
  explicit TPNGBitmapAdapter(TBitmap& bitmap) : bitmap_(bitmap) {}

  void Clear() override {
    bitmap_.SetSize(0, 0);
    bitmap_.SetPixelFormat(pf32bit);
  }

  void SetUp(Integer Width, Integer Height, TPNGPixelFormat Format) override {
    Clear();
    switch (Format) {
      case TPNGPixelFormat::pf1bit: bitmap_.SetPixelFormat(pf1bit); break;
      case TPNGPixelFormat::pf4bit: bitmap_.SetPixelFormat(pf4bit); break;
      case TPNGPixelFormat::pf8bit: bitmap_.SetPixelFormat(pf8bit); break;
      case TPNGPixelFormat::pf24bit: bitmap_.SetPixelFormat(pf24bit); break;
      case TPNGPixelFormat::pf32bit: bitmap_.SetPixelFormat(pf32bit); break;
      case TPNGPixelFormat::pfNone: return;
    }
    bitmap_.SetSize(Width, Height);
  }

  void SetPalette(const std::vector<TPNGPaletteColor>& Palette) override {
    std::vector<TColor> colors;
    colors.reserve(Palette.size());
    for (const auto& c : Palette) colors.push_back(TColor(c.Red) | (TColor(c.Green) << 8) | (TColor(c.Blue) << 16));
    bitmap_.SetPalette(colors);
  }

  Byte* ScanLine(Integer Row) override { return bitmap_.ScanLine(Row); }

 private:
  TBitmap& bitmap_;
};

inline void PNGFileToBitmap(const TPNGFile& File, TBitmap* Bitmap, TPNGBitmapMode Mode) {
  if (!Bitmap) throw Exception("PNGFileToBitmap: No bitmap!");
  TPNGBitmapAdapter adapter(*Bitmap);
  File.ToBitmap(&adapter, Mode);
}

inline void LoadBitmapFromPNGFile(TBitmap* Bitmap, const std::string& FileName) {
  Assert(Bitmap != nullptr, "Assertion failure");
  TPNGBitmapAdapter adapter(*Bitmap);
  LoadBitmapFromPNGFile(&adapter, FileName);
}

}  // namespace px
