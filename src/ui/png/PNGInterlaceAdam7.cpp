#include "ui/png/PNGInterlaceAdam7.h"

#include <algorithm>
#include <cstring>

#include "ui/png/UnitPNG.h"

namespace px {
namespace {

struct PassShape {
  int xStart, yStart, xStep, yStep;
  int blockWidth, blockHeight;  // what one pixel stands for once its pass is in
};

// Index 0 is pass 1.
constexpr PassShape passes[7] = {
    {0, 0, 8, 8, 8, 8}, {4, 0, 8, 8, 4, 8}, {0, 4, 4, 8, 4, 4}, {2, 0, 4, 4, 2, 4},
    {0, 2, 2, 4, 2, 2}, {1, 0, 2, 2, 1, 2}, {0, 1, 1, 2, 1, 1},
};

Integer passExtent(Integer size, int start, int step) { return size > start ? (size - start + step - 1) / step : 0; }

// The buffer of the first non-empty pass numbered from `from` on (1-based).
std::unique_ptr<TPNGInterlaceBuffer> passFrom(TPNGFile& file, int from) {
  for (int number = from; number <= 7; ++number) {
    const PassShape& shape = passes[number - 1];
    Integer width = passExtent(file.Width, shape.xStart, shape.xStep);
    Integer height = passExtent(file.Height, shape.yStart, shape.yStep);
    if (width == 0 || height == 0) continue;
    return std::make_unique<TPNGInterlaceBuffer>(height, static_cast<Integer>(GetRowBytes(file, width)), number);
  }
  return nullptr;
}

Byte getSubBytePixel(const Byte* row, Integer x, int bits) {
  int perByte = 8 / bits;
  int shift = 8 - bits * (x % perByte + 1);
  return static_cast<Byte>((row[x / perByte] >> shift) & ((1 << bits) - 1));
}

void setSubBytePixel(Byte* row, Integer x, int bits, Byte value) {
  int perByte = 8 / bits;
  int shift = 8 - bits * (x % perByte + 1);
  Byte mask = static_cast<Byte>(((1 << bits) - 1) << shift);
  Byte& target = row[x / perByte];
  target = static_cast<Byte>((target & ~mask) | ((value << shift) & mask));
}

}  // namespace

std::unique_ptr<TPNGInterlaceBuffer> TPNGInterlaceAdam7::FirstPass(TPNGFile& File) { return passFrom(File, 1); }

std::unique_ptr<TPNGInterlaceBuffer> TPNGInterlaceAdam7::NextPass(TPNGFile& File,
                                                                  std::unique_ptr<TPNGInterlaceBuffer> Current) {
  int next = Current ? Current->PassNumber + 1 : 1;
  Current.reset();
  return passFrom(File, next);
}

void TPNGInterlaceAdam7::StoreRow(TPNGFile&, TPNGImageBuffer& Image, TPNGInterlaceBuffer& Buffer) {
  if (Buffer.PassNumber < 1 || Buffer.PassNumber > 7) return;
  const PassShape& shape = passes[Buffer.PassNumber - 1];
  const Integer y = shape.yStart + Buffer.Row * shape.yStep;
  if (y >= Image.Height) return;
  const Integer count = passExtent(Image.Width, shape.xStart, shape.xStep);
  const int bitsPerPixel = Image.Channels * Image.BitDepth;
  Byte* target = Image.GetRow(y);
  const Byte* source = Buffer.Current.data();

  if (bitsPerPixel < 8) {
    for (Integer i = 0; i < count; ++i) {
      Byte value = getSubBytePixel(source, i, bitsPerPixel);
      Integer x = shape.xStart + i * shape.xStep;
      Integer end = std::min<Integer>(x + shape.blockWidth, Image.Width);
      for (; x < end; ++x) setSubBytePixel(target, x, bitsPerPixel, value);
    }
  } else {
    const Integer bpp = Image.BytesPerPixel;
    for (Integer i = 0; i < count; ++i) {
      const Byte* pixel = source + Int64(i) * bpp;
      Integer x = shape.xStart + i * shape.xStep;
      Integer end = std::min<Integer>(x + shape.blockWidth, Image.Width);
      for (; x < end; ++x) std::memcpy(target + Int64(x) * bpp, pixel, static_cast<size_t>(bpp));
    }
  }

  // The rows below, up to the block's height, look like this one until
  // their own pass arrives.
  const Integer last = std::min<Integer>(y + shape.blockHeight, Image.Height);
  for (Integer row = y + 1; row < last; ++row)
    std::memcpy(Image.GetRow(row), target, static_cast<size_t>(Image.RowBytes));
}

}  // namespace px
