#pragma once
// What the PNG conversion needs of a bitmap: be emptied, take a size and a
// pixel format, take a palette, and hand out its scan lines. The reader does
// not depend on the GUI layer; an adapter puts a real bitmap behind this.
//
// Scan-line layouts: 1-bit rows pack 8 pixels a byte, first pixel in the most
// significant bit; 4-bit rows two pixels a byte, first pixel in the high
// nibble; 8-bit rows one palette index a byte; 24-bit pixels are blue, green,
// red; 32-bit pixels blue, green, red, alpha (straight alpha unless the
// premultiplied mode was asked for).
#include <vector>

#include "platform/core/Types.h"

namespace px {

enum class TPNGPixelFormat : Byte { pfNone, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };

// One palette entry as an indexed bitmap takes it (flags always 0).
struct TPNGPaletteColor {
  Byte Red = 0;
  Byte Green = 0;
  Byte Blue = 0;
  Byte Flags = 0;
  bool operator==(const TPNGPaletteColor&) const = default;
};

class IPNGBitmapTarget {
 public:
  virtual ~IPNGBitmapTarget() = default;
  // Empties the bitmap (no size, no pixels, no palette).
  virtual void Clear() = 0;
  // Gives the bitmap a size and a pixel format; the pixels are then zero and
  // an indexed bitmap has its own default palette (black, white for 1 bit).
  virtual void SetUp(Integer Width, Integer Height, TPNGPixelFormat Format) = 0;
  virtual void SetPalette(const std::vector<TPNGPaletteColor>& Palette) = 0;
  // The first byte of row Row (0 = top).
  virtual Byte* ScanLine(Integer Row) = 0;
};

// A bitmap in memory, for callers without the GUI layer (pxtool, tests, the
// fuzz target). Rows are padded to 4 bytes like device-independent bitmaps.
class TPNGMemoryBitmap : public IPNGBitmapTarget {
 public:
  void Clear() override;
  void SetUp(Integer Width, Integer Height, TPNGPixelFormat Format) override;
  void SetPalette(const std::vector<TPNGPaletteColor>& Palette) override;
  Byte* ScanLine(Integer Row) override;

  Integer Width() const { return width_; }
  Integer Height() const { return height_; }
  TPNGPixelFormat Format() const { return format_; }
  const std::vector<TPNGPaletteColor>& Palette() const { return palette_; }
  Int64 Stride() const { return stride_; }
  const Byte* ScanLine(Integer Row) const;
  bool Empty() const { return format_ == TPNGPixelFormat::pfNone; }

  // The pixel at (X, Y) as an index (indexed formats) or as 0xAARRGGBB
  // (24-bit: alpha 255; 32-bit: as stored).
  Cardinal Pixel(Integer X, Integer Y) const;
  // The colour the bitmap shows at (X, Y) as red, green, blue, alpha: indexed
  // formats through the palette (an index beyond it shows opaque black).
  void RGBA(Integer X, Integer Y, Byte Out[4]) const;

 private:
  Integer width_ = 0;
  Integer height_ = 0;
  TPNGPixelFormat format_ = TPNGPixelFormat::pfNone;
  Int64 stride_ = 0;
  std::vector<Byte> pixels_;
  std::vector<TPNGPaletteColor> palette_;
};

}  // namespace px
