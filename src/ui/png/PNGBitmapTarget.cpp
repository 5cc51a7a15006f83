#include "ui/png/PNGBitmapTarget.h"

#include "platform/core/Exceptions.h"

namespace px {
namespace {

int bitsOf(TPNGPixelFormat format) {
  switch (format) {
    case TPNGPixelFormat::pf1bit: return 1;
    case TPNGPixelFormat::pf4bit: return 4;
    case TPNGPixelFormat::pf8bit: return 8;
    case TPNGPixelFormat::pf24bit: return 24;
    case TPNGPixelFormat::pf32bit: return 32;
    case TPNGPixelFormat::pfNone: break;
  }
  return 0;
}

}  // namespace

void TPNGMemoryBitmap::Clear() {
  width_ = height_ = 0;
  format_ = TPNGPixelFormat::pfNone;
  stride_ = 0;
  pixels_.clear();
  palette_.clear();
}

void TPNGMemoryBitmap::SetUp(Integer Width, Integer Height, TPNGPixelFormat Format) {
  Clear();
  if (Width <= 0 || Height <= 0 || Format == TPNGPixelFormat::pfNone) return;
  width_ = Width;
  height_ = Height;
  format_ = Format;
  stride_ = ((Int64(Width) * bitsOf(Format) + 31) / 32) * 4;
  pixels_.assign(static_cast<size_t>(stride_ * Height), 0);
  if (Format == TPNGPixelFormat::pf1bit) palette_ = {{0, 0, 0, 0}, {255, 255, 255, 0}};
}

void TPNGMemoryBitmap::SetPalette(const std::vector<TPNGPaletteColor>& Palette) { palette_ = Palette; }

Byte* TPNGMemoryBitmap::ScanLine(Integer Row) {
  Assert(Row >= 0 && Row < height_, "Scan line index out of range");
  return pixels_.data() + stride_ * Row;
}

const Byte* TPNGMemoryBitmap::ScanLine(Integer Row) const {
  Assert(Row >= 0 && Row < height_, "Scan line index out of range");
  return pixels_.data() + stride_ * Row;
}

Cardinal TPNGMemoryBitmap::Pixel(Integer X, Integer Y) const {
  Assert(X >= 0 && X < width_, "Pixel index out of range");
  const Byte* row = ScanLine(Y);
  switch (format_) {
    case TPNGPixelFormat::pf1bit: return (row[X >> 3] >> (7 - (X & 7))) & 1;
    case TPNGPixelFormat::pf4bit: return (X & 1) ? row[X >> 1] & 0x0F : row[X >> 1] >> 4;
    case TPNGPixelFormat::pf8bit: return row[X];
    case TPNGPixelFormat::pf24bit: {
      const Byte* p = row + X * 3;
      return 0xFF000000u | (Cardinal(p[2]) << 16) | (Cardinal(p[1]) << 8) | p[0];
    }
    case TPNGPixelFormat::pf32bit: {
      const Byte* p = row + X * 4;
      return (Cardinal(p[3]) << 24) | (Cardinal(p[2]) << 16) | (Cardinal(p[1]) << 8) | p[0];
    }
    case TPNGPixelFormat::pfNone: break;
  }
  return 0;
}

void TPNGMemoryBitmap::RGBA(Integer X, Integer Y, Byte Out[4]) const {
  Cardinal value = Pixel(X, Y);
  if (format_ == TPNGPixelFormat::pf24bit || format_ == TPNGPixelFormat::pf32bit) {
    Out[0] = static_cast<Byte>(value >> 16);
    Out[1] = static_cast<Byte>(value >> 8);
    Out[2] = static_cast<Byte>(value);
    Out[3] = static_cast<Byte>(value >> 24);
    return;
  }
  TPNGPaletteColor colour;
  if (value < palette_.size()) colour = palette_[value];
  Out[0] = colour.Red;
  Out[1] = colour.Green;
  Out[2] = colour.Blue;
  Out[3] = 255;
}

}  // namespace px
