// Conversion of a decoded PNG image into a bitmap in one of the six modes.
#include <algorithm>
#include <array>
#include <cstring>

#include "ui/png/UnitPNG.h"

namespace px {
namespace {

const char* const cannotConvert = "PNGFile: Cannot convert";

// Byte of two 4-bit indices for each pair of 1-bit samples, and for each
// pair of 2-bit samples.
constexpr Byte widen1[4] = {0x00, 0x01, 0x10, 0x11};
constexpr Byte widen2[16] = {0x00, 0x01, 0x02, 0x03, 0x10, 0x11, 0x12, 0x13,
                             0x20, 0x21, 0x22, 0x23, 0x30, 0x31, 0x32, 0x33};
// The bits of real pixels in the last byte of a 1-bit row, by (width - 1) mod 8.
constexpr Byte lastByteMask[8] = {0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

const Byte* premultiplyTable() {
  static const std::vector<Byte> table = [] {
    std::vector<Byte> t(65536);
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c) t[a * 256 + c] = static_cast<Byte>((a * c + 127) / 255);
    return t;
  }();
  return table.data();
}

Byte greyLevel(int depth, int sample) {
  // 255 / (2^d - 1) is 255, 85, 17 or 1: the products are exact.
  return static_cast<Byte>(sample * (255 / ((1 << depth) - 1)));
}

inline Byte subSample(const Byte* row, Integer x, int depth) {
  switch (depth) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 2: return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8: return row[x];
    default: return row[2 * x];  // 16 bits: the most significant byte
  }
}

inline Word fullSample(const Byte* row, Integer x, int depth) {
  if (depth == 16) return static_cast<Word>((row[2 * x] << 8) | row[2 * x + 1]);
  return subSample(row, x, depth);
}

class Converter {
 public:
  Converter(const TPNGFile& file, IPNGBitmapTarget& bitmap)
      : file_(file), image_(*file.Image), bitmap_(bitmap), gamma_(file.GammaTable()) {
    // Indices the PLTE chunk did not define read opaque black instead of
    // memory beyond the palette.
    for (size_t i = 0; i < file.Palette.size() && i < 256; ++i)
      palette_[i] = {file.Palette[i].Red, file.Palette[i].Green, file.Palette[i].Blue, 0};
  }

  void Native();
  void RGB();
  void RGBA();
  void Mask();
  void Premultiply();

 private:
  Integer width() const { return image_.Width; }
  Integer height() const { return image_.Height; }
  int depth() const { return image_.BitDepth; }
  Byte g(Byte value) const { return gamma_.empty() ? value : gamma_[value]; }

  void setUp(TPNGPixelFormat format) { bitmap_.SetUp(width(), height(), format); }
  void greyPalette(int depth);
  void pngPalette(size_t entries);
  void copyRows();
  void widenRows(int depth);
  // One byte a pixel: the first of every pixelBytes, which is the high byte
  // of a 16-bit grey and the grey of grey with alpha.
  void firstBytes(int pixelBytes);
  void allOnesMask();
  void checkPaletteAlpha() const;
  // Alpha of every palette index: the tRNS entries, opaque past them.
  std::array<Byte, 256> paletteAlpha() const;
  // 24-bit or 32-bit colour of the image's samples; alpha: write it (32-bit).
  void colourRows(bool withAlpha, bool useGamma);

  const TPNGFile& file_;
  const TPNGImageBuffer& image_;
  IPNGBitmapTarget& bitmap_;
  std::vector<Byte> gamma_;
  TPNGPaletteColor palette_[256] = {};
};

void Converter::greyPalette(int depth) {
  std::vector<TPNGPaletteColor> entries(size_t(1) << depth);
  for (size_t i = 0; i < entries.size(); ++i) {
    Byte level = g(greyLevel(depth, static_cast<int>(i)));
    entries[i] = {level, level, level, 0};
  }
  bitmap_.SetPalette(entries);
}

void Converter::pngPalette(size_t count) {
  std::vector<TPNGPaletteColor> entries(palette_, palette_ + count);
  for (auto& e : entries) e = {g(e.Red), g(e.Green), g(e.Blue), 0};
  bitmap_.SetPalette(entries);
}

void Converter::copyRows() {
  for (Integer y = 0; y < height(); ++y)
    std::memcpy(bitmap_.ScanLine(y), image_.GetRow(y), static_cast<size_t>(image_.RowBytes));
}

void Converter::widenRows(int depth) {
  const Integer outBytes = (width() + 1) / 2;
  for (Integer y = 0; y < height(); ++y) {
    const Byte* in = image_.GetRow(y);
    Byte* out = bitmap_.ScanLine(y);
    Integer o = 0;
    for (Integer i = 0; o < outBytes; ++i) {
      Byte b = in[i];
      if (depth == 1) {
        for (int shift = 6; shift >= 0 && o < outBytes; shift -= 2) out[o++] = widen1[(b >> shift) & 3];
      } else {
        out[o++] = widen2[b >> 4];
        if (o < outBytes) out[o++] = widen2[b & 0x0F];
      }
    }
  }
}

void Converter::firstBytes(int pixelBytes) {
  for (Integer y = 0; y < height(); ++y) {
    const Byte* in = image_.GetRow(y);
    Byte* out = bitmap_.ScanLine(y);
    for (Integer x = 0; x < width(); ++x) out[x] = in[x * pixelBytes];
  }
}

void Converter::allOnesMask() {
  setUp(TPNGPixelFormat::pf1bit);
  const Integer bytes = (width() + 7) / 8;
  for (Integer y = 0; y < height(); ++y) {
    Byte* out = bitmap_.ScanLine(y);
    std::memset(out, 0xFF, static_cast<size_t>(bytes - 1));
    out[bytes - 1] = lastByteMask[(width() - 1) % 8];
  }
}

void Converter::checkPaletteAlpha() const {
  if (file_.PaletteAlpha.size() > 256 || (depth() < 8 && file_.PaletteAlpha.size() > 16))
    throw EPNGException(cannotConvert);
}

std::array<Byte, 256> Converter::paletteAlpha() const {
  std::array<Byte, 256> alpha;
  alpha.fill(255);
  const size_t count = std::min(file_.PaletteAlpha.size(), alpha.size());
  std::copy(file_.PaletteAlpha.begin(), file_.PaletteAlpha.begin() + count, alpha.begin());
  return alpha;
}

void Converter::colourRows(bool withAlpha, bool useGamma) {
  const int channels = image_.Channels;
  const int step = depth() == 16 ? 2 : 1;  // 16-bit samples give their high byte
  const int pixelBytes = channels * step;
  const Byte* gt = (useGamma && !gamma_.empty()) ? gamma_.data() : nullptr;
  for (Integer y = 0; y < height(); ++y) {
    const Byte* in = image_.GetRow(y);
    Byte* out = bitmap_.ScanLine(y);
    if (channels >= 3) {
      const bool hasAlpha = channels == 4;
      for (Integer x = 0; x < width(); ++x, in += pixelBytes) {
        Byte r = in[0], gr = in[step], b = in[2 * step];
        if (gt) r = gt[r], gr = gt[gr], b = gt[b];
        out[0] = b;
        out[1] = gr;
        out[2] = r;
        if (withAlpha) {
          out[3] = hasAlpha ? in[3 * step] : 255;
          out += 4;
        } else {
          out += 3;
        }
      }
    } else {  // grey with alpha (8 or 16 bits)
      for (Integer x = 0; x < width(); ++x, in += pixelBytes) {
        Byte v = gt ? gt[in[0]] : in[0];
        out[0] = out[1] = out[2] = v;
        if (withAlpha) {
          out[3] = in[step];
          out += 4;
        } else {
          out += 3;
        }
      }
    }
  }
}

void Converter::Native() {
  switch (file_.ColorType) {
    case 0:
      if (depth() == 1) {
        setUp(TPNGPixelFormat::pf1bit);
        copyRows();
      } else if (depth() == 2) {
        setUp(TPNGPixelFormat::pf4bit);
        greyPalette(2);
        widenRows(2);
      } else if (depth() == 4) {
        setUp(TPNGPixelFormat::pf4bit);
        greyPalette(4);
        copyRows();
      } else {
        setUp(TPNGPixelFormat::pf8bit);
        greyPalette(8);
        if (depth() == 8)
          copyRows();
        else
          firstBytes(2);
      }
      break;
    case 2:
    case 6:
      setUp(TPNGPixelFormat::pf24bit);
      colourRows(false, true);
      break;
    case 3:
      if (depth() == 8) {
        setUp(TPNGPixelFormat::pf8bit);
        pngPalette(256);
        copyRows();
      } else {
        setUp(TPNGPixelFormat::pf4bit);
        pngPalette(16);
        if (depth() == 4)
          copyRows();
        else
          widenRows(depth());
      }
      break;
    case 4:
      setUp(TPNGPixelFormat::pf8bit);
      greyPalette(8);
      firstBytes(depth() == 16 ? 4 : 2);
      break;
  }
}

void Converter::RGB() {
  setUp(TPNGPixelFormat::pf24bit);
  switch (file_.ColorType) {
    case 0:
    case 3:
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y);
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x, out += 3) {
          Byte s = subSample(in, x, depth());
          if (file_.ColorType == 0) {
            out[0] = out[1] = out[2] = greyLevel(depth() == 16 ? 8 : depth(), s);
          } else {
            out[0] = palette_[s].Blue;
            out[1] = palette_[s].Green;
            out[2] = palette_[s].Red;
          }
        }
      }
      break;
    case 2:
    case 6: colourRows(false, true); break;
    case 4: colourRows(false, false); break;
  }
}

void Converter::RGBA() {
  switch (file_.ColorType) {
    case 0: {
      if (depth() < 8 && file_.TransparentGray > 15) throw EPNGException("PNGFile: Cannor read PNGFile");
      if (depth() == 8 && file_.TransparentGray > 255) throw EPNGException(cannotConvert);
      setUp(TPNGPixelFormat::pf32bit);
      // Without a tRNS chunk nothing is transparent: the key would be 0 and
      // would make every black pixel vanish.
      const bool keyed = file_.HasTransparency;
      const int levelDepth = depth() == 16 ? 8 : depth();
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y);
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x, out += 4) {
          out[0] = out[1] = out[2] = greyLevel(levelDepth, subSample(in, x, depth()));
          out[3] = keyed && fullSample(in, x, depth()) == file_.TransparentGray ? 0 : 255;
        }
      }
      break;
    }
    case 2: {
      if (depth() == 8 && (file_.TransparentRed > 255 || file_.TransparentGreen > 255 || file_.TransparentBlue > 255))
        throw EPNGException(cannotConvert);
      setUp(TPNGPixelFormat::pf32bit);
      colourRows(true, false);
      if (!file_.HasTransparency) break;
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y);
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x, out += 4) {
          if (fullSample(in, 3 * x, depth()) == file_.TransparentRed &&
              fullSample(in, 3 * x + 1, depth()) == file_.TransparentGreen &&
              fullSample(in, 3 * x + 2, depth()) == file_.TransparentBlue)
            out[3] = 0;
        }
      }
      break;
    }
    case 3: {
      checkPaletteAlpha();
      setUp(TPNGPixelFormat::pf32bit);
      const std::array<Byte, 256> alpha = paletteAlpha();
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y);
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x, out += 4) {
          Byte s = subSample(in, x, depth());
          out[0] = palette_[s].Blue;
          out[1] = palette_[s].Green;
          out[2] = palette_[s].Red;
          out[3] = alpha[s];
        }
      }
      break;
    }
    case 4:
    case 6:
      setUp(TPNGPixelFormat::pf32bit);
      colourRows(true, true);
      break;
  }
}

void Converter::Mask() {
  switch (file_.ColorType) {
    case 0:
    case 2: {
      if (!file_.HasTransparency) {
        allOnesMask();
        break;
      }
      setUp(TPNGPixelFormat::pf1bit);
      // Whole sample values are compared, so a key beyond the bit depth
      // matches no pixel.
      const bool grey = file_.ColorType == 0;
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y);
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x) {
          bool differs = grey ? fullSample(in, x, depth()) != file_.TransparentGray
                              : (fullSample(in, 3 * x, depth()) != file_.TransparentRed ||
                                 fullSample(in, 3 * x + 1, depth()) != file_.TransparentGreen ||
                                 fullSample(in, 3 * x + 2, depth()) != file_.TransparentBlue);
          if (differs) out[x >> 3] |= static_cast<Byte>(0x80 >> (x & 7));
        }
      }
      break;
    }
    case 3: {
      if (!file_.HasTransparency) {
        allOnesMask();
        break;
      }
      checkPaletteAlpha();
      setUp(TPNGPixelFormat::pf8bit);
      greyPalette(8);
      const std::array<Byte, 256> alpha = paletteAlpha();
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y);
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x) out[x] = alpha[subSample(in, x, depth())];
      }
      break;
    }
    case 4:
    case 6: {
      setUp(TPNGPixelFormat::pf8bit);
      greyPalette(8);
      const int step = depth() == 16 ? 2 : 1;
      const int pixelBytes = image_.Channels * step;
      const int alphaOffset = (image_.Channels - 1) * step;
      for (Integer y = 0; y < height(); ++y) {
        const Byte* in = image_.GetRow(y) + alphaOffset;
        Byte* out = bitmap_.ScanLine(y);
        for (Integer x = 0; x < width(); ++x, in += pixelBytes) out[x] = *in;
      }
      break;
    }
  }
}

void Converter::Premultiply() {
  const Byte* table = premultiplyTable();
  for (Integer y = 0; y < height(); ++y) {
    Byte* p = bitmap_.ScanLine(y);
    for (Integer x = 0; x < width(); ++x, p += 4) {
      const Byte* row = table + p[3] * 256;
      p[0] = row[p[0]];
      p[1] = row[p[1]];
      p[2] = row[p[2]];
    }
  }
}

}  // namespace

void TPNGFile::ToBitmap(IPNGBitmapTarget* Bitmap, TPNGBitmapMode Mode) const {
  if (!Bitmap) throw Exception("PNGFileToBitmap: No bitmap!");
  Bitmap->Clear();
  if (!Image || Image->Width <= 0 || Image->Height <= 0 || Image->Channels == 0) return;
  Converter converter(*this, *Bitmap);
  if (Mode == pbmAuto) {
    bool indexedOrPlain = ColorType == 0 || ColorType == 2 || ColorType == 3;
    Mode = (indexedOrPlain && !HasTransparency) ? pbmNative : pbmRGBA;
  }
  switch (Mode) {
    case pbmNative: converter.Native(); break;
    case pbmRGB: converter.RGB(); break;
    case pbmRGBA: converter.RGBA(); break;
    case pbmMask: converter.Mask(); break;
    case pbmPremultiplied:
      converter.RGBA();
      converter.Premultiply();
      break;
    default: break;
  }
}

}  // namespace px
