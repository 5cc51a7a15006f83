#include "pdf/gui/UnitPDFColorSpaces.h"

#include <algorithm>
#include <cmath>

#include "pdf/UnitPDFUtilities.h"
#include "platform/core/Debug.h"

namespace px {

namespace {

// Spaces built inside spaces (Indexed bases, alternates) deeper than this are
// taken as unknown, so that a space naming itself ends.
constexpr int MaxColorSpaceNesting = 8;

// A component 0..1 to 0..255: rounded to the nearest integer, halves to even.
uint8_t toByte(double value) {
  if (!(value == value)) return 0;
  const double scaled = std::nearbyint(value * 255.0);
  return static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
}

uint32_t gdiColor(uint8_t r, uint8_t g, uint8_t b) {
  return r | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16) | PDFColorFlag;
}

// The operands as numbers, or the space's exception texts.
std::vector<double> numbers(TPDFObject* const* operands, int32_t count, int32_t expected, const char* countText,
                            const char* numericText) {
  if (count != expected) throw EColorSpaceException(countText);
  std::vector<double> values(count);
  for (int32_t k = 0; k < count; ++k) {
    auto* number = dynamic_cast<TPDFNumeric*>(operands[k]);
    if (!number) throw EColorSpaceException(numericText);
    values[k] = static_cast<double>(number->AsFloat());
  }
  return values;
}

void checkSource(int64_t sourceLength, int32_t count, int32_t components) {
  Assert(count >= 0 && sourceLength >= static_cast<int64_t>(count) * components, "ConvertToRGB: source too short");
}

// Decoded image data, with its size checked against the image's size.
const TPDFBuffer& imageData(TPDFCollection* collection, TPDFDictionary* image) {
  if (image->StreamState() != 0) image->SetStreamState(2, collection);
  return image->StreamData();
}

void checkImageSize(int32_t width, int32_t height) {
  Assert(width > 0 && height > 0 && static_cast<int64_t>(width) * height <= MaxPDFImagePixels,
         "Image size out of range");
}

// The Decode array of an image as numbers; empty when absent.
std::vector<double> decodeArray(TPDFCollection* collection, TPDFDictionary* image) {
  std::vector<double> values;
  auto* array = dynamic_cast<TPDFArray*>(image->GetObject(collection, "Decode"));
  if (!array) return values;
  for (int32_t k = 0; k < array->Count(); ++k) {
    auto* number = dynamic_cast<TPDFNumeric*>(array->GetObject(collection, k));
    Assert(number != nullptr, "Decode array holds a value that is not a number");
    values.push_back(static_cast<double>(number->AsFloat()));
  }
  return values;
}

// Lookup tables of the Decode pairs of 8-bit components.
std::vector<std::array<uint8_t, 256>> decodeTables(const std::vector<double>& decode) {
  std::vector<std::array<uint8_t, 256>> tables(decode.size() / 2);
  for (size_t k = 0; k < tables.size(); ++k) {
    const double low = decode[2 * k], high = decode[2 * k + 1];
    for (int i = 0; i < 256; ++i) {
      const double value = std::clamp(i * (high - low) + 255 * low, 0.0, 255.0);
      tables[k][i] = static_cast<uint8_t>(std::nearbyint(value));
    }
  }
  return tables;
}

// Samples of 1, 2, 4 or 16 bits, rows starting on a byte, as 8-bit values
// (the full range of the depth spread over 0..255; 16-bit samples keep their
// high byte). Other depths raise the message.
std::vector<uint8_t> unpackSamples(const TPDFBuffer& data, int32_t bits, int64_t samplesPerRow, int32_t rows,
                                   const char* unsupported) {
  if (bits != 1 && bits != 2 && bits != 4 && bits != 16) throw Exception(unsupported);
  const int64_t rowBytes = (samplesPerRow * bits + 7) / 8;
  Assert(static_cast<int64_t>(data.size()) >= rowBytes * rows, "Image data too short");
  std::vector<uint8_t> out(static_cast<size_t>(samplesPerRow * rows));
  const int32_t top = bits == 16 ? 0 : (1 << bits) - 1;
  uint8_t* o = out.data();
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* row = data.data() + y * rowBytes;
    if (bits == 16) {
      for (int64_t k = 0; k < samplesPerRow; ++k) *o++ = row[2 * k];
      continue;
    }
    const int32_t perByte = 8 / bits;
    for (int64_t k = 0; k < samplesPerRow; ++k) {
      const int32_t shift = 8 - bits * static_cast<int32_t>(k % perByte + 1);
      *o++ = static_cast<uint8_t>(((row[k / perByte] >> shift) & top) * 255 / top);
    }
  }
  return out;
}

// Triplets (red first) into the bitmap's rows in its blue, green, red order.
void storeRGBRows(TBitmap& bitmap, const uint8_t* rgb, int32_t width, int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    Byte* row = bitmap.ScanLine(y);
    const uint8_t* source = rgb + static_cast<int64_t>(y) * width * 3;
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = source[3 * x + 2];
      row[3 * x + 1] = source[3 * x + 1];
      row[3 * x + 2] = source[3 * x];
    }
  }
}

std::vector<TColor> paletteColors(const std::vector<uint8_t>& rgb, size_t size) {
  std::vector<TColor> colors(size, 0);
  for (size_t k = 0; k < size && 3 * k + 2 < rgb.size(); ++k) colors[k] = RGB(rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]);
  return colors;
}

// A bitmap of 1, 2, 4 or 8-bit samples with a palette of up to 256 red,
// green, blue entries; 2-bit samples become 4-bit pixels.
std::unique_ptr<TBitmap> paletteBitmap(const std::vector<uint8_t>& palette, TPDFCollection* collection,
                                       TPDFDictionary* image, int32_t bits, int32_t height, int32_t width) {
  checkImageSize(width, height);
  const TPDFBuffer& data = imageData(collection, image);
  const int64_t size = static_cast<int64_t>(data.size());
  auto bitmap = std::make_unique<TBitmap>();
  int64_t rowBytes = 0;  // the bitmap bytes that hold the samples of a row
  switch (bits) {
    case 1: {
      rowBytes = (static_cast<int64_t>(width) + 7) / 8;
      Assert(size >= height * rowBytes, "Image data too short (1bit)");
      bitmap->SetPixelFormat(pf1bit);
      bitmap->SetSize(width, height);
      bitmap->SetPalette(paletteColors(palette, 2));
      for (int32_t y = 0; y < height; ++y) std::copy_n(data.data() + y * rowBytes, rowBytes, bitmap->ScanLine(y));
      break;
    }
    case 2: {
      const int64_t sourceBytes = (static_cast<int64_t>(width) + 3) / 4;
      rowBytes = (static_cast<int64_t>(width) + 1) / 2;
      Assert(size >= height * sourceBytes, "Image data too short (2bit)");
      bitmap->SetPixelFormat(pf4bit);
      bitmap->SetSize(width, height);
      bitmap->SetPalette(paletteColors(palette, 16));
      for (int32_t y = 0; y < height; ++y) {
        Byte* row = bitmap->ScanLine(y);
        const uint8_t* source = data.data() + y * sourceBytes;
        for (int64_t k = 0; k < rowBytes; ++k) {
          const uint8_t b = source[k / 2];
          const uint8_t half = k % 2 == 0 ? b >> 4 : b & 0x0F;
          row[k] = static_cast<uint8_t>(((half >> 2) << 4) | (half & 3));
        }
      }
      break;
    }
    case 4: {
      rowBytes = (static_cast<int64_t>(width) + 1) / 2;
      bitmap->SetPixelFormat(pf4bit);
      bitmap->SetSize(width, height);
      bitmap->SetPalette(paletteColors(palette, 16));
      if (size < height * rowBytes) {
        OutputDebugString("Bitmap parse failure (4bit)");
        return bitmap;
      }
      for (int32_t y = 0; y < height; ++y) std::copy_n(data.data() + y * rowBytes, rowBytes, bitmap->ScanLine(y));
      break;
    }
    case 8: {
      rowBytes = width;
      bitmap->SetPixelFormat(pf8bit);
      bitmap->SetSize(width, height);
      bitmap->SetPalette(paletteColors(palette, 256));
      if (size < height * rowBytes) {
        OutputDebugString("Bitmap parse failure (8bit)");
        return bitmap;
      }
      for (int32_t y = 0; y < height; ++y) std::copy_n(data.data() + y * rowBytes, rowBytes, bitmap->ScanLine(y));
      break;
    }
    default: throw Exception("Bitmap BPC value not supported.");
  }
  const std::vector<double> decode = decodeArray(collection, image);
  if (decode.size() == 2) {
    const double top = std::ldexp(1.0, bits) - 1;
    if ((decode[0] == 0 && (decode[1] == 1 || decode[1] == top))) {
    } else if ((decode[0] == 1 || decode[0] == top) && decode[1] == 0) {
      const uint8_t mask = bits == 2 ? 0x33 : 0xFF;
      for (int32_t y = 0; y < height; ++y) {
        Byte* row = bitmap->ScanLine(y);
        for (int64_t k = 0; k < rowBytes; ++k) row[k] ^= mask;
      }
    } else {
      OutputDebugString("Not supported Decode; image might be distorted.");
    }
  }
  return bitmap;
}

std::vector<uint8_t> greyPalette(int32_t bits) {
  Assert(bits >= 1 && bits <= 8, "Grey image bit depth out of range");
  const int32_t top = (1 << bits) - 1;
  std::vector<uint8_t> palette;
  for (int32_t i = 0; i <= top; ++i) {
    const auto grey = static_cast<uint8_t>(i * 255 / top);
    palette.insert(palette.end(), {grey, grey, grey});
  }
  return palette;
}

// The colour of a tint transform's outputs in the alternate space.
uint32_t alternateColor(const TPDFColorSpace& alternate, const TPDFFunction& function, std::vector<float> values) {
  function.Evaluate(values);
  std::vector<std::unique_ptr<TPDFObject>> owned;
  std::vector<TPDFObject*> operands;
  for (float value : values) {
    owned.push_back(std::make_unique<TPDFReal>(value));
    operands.push_back(owned.back().get());
  }
  return alternate.GetColor(operands);
}

// The alternate and tint transform of a Separation or DeviceN array.
void readTint(TPDFCollection* collection, TPDFArray* array, int depth, int32_t inputs, TPDFColorSpace*& alternate,
              TPDFFunction*& function) {
  alternate = PDFColorSpaceFactory(collection, array->GetObject(collection, 2), depth + 1);
  Assert(alternate != nullptr, "Tint transform alternate colour space unknown");
  auto* dictionary = array->GetObject<TPDFDictionary>(collection, 3);
  Assert(dictionary != nullptr, "Tint transform missing");
  function = PDFFunctionFactory(collection, dictionary);
  Assert(function->InputCount() == inputs, "Tint transform has the wrong input count");
  Assert(function->OutputCount() == alternate->GetComponentCount(), "Tint transform has the wrong output count");
}

std::unique_ptr<TBitmap> rgbBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t height,
                                   int32_t width, const std::vector<uint8_t>& rgb) {
  auto bitmap = std::make_unique<TBitmap>(width, height, pf24bit);
  storeRGBRows(*bitmap, rgb.data(), width, height);
  (void)collection;
  (void)image;
  return bitmap;
}

struct DeviceSpaces {
  TPDFDeviceRGBColorSpace rgb;
  TPDFDeviceGrayColorSpace gray;
  TPDFDeviceCMYKColorSpace cmyk;
  TPDFPattern pattern;
};

DeviceSpaces* deviceSpaces = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// Device spaces

void InitPDFColorSpaces() {
  if (!deviceSpaces) deviceSpaces = new DeviceSpaces();
}

void DonePDFColorSpaces() {
  delete deviceSpaces;
  deviceSpaces = nullptr;
}

TPDFColorSpace* PDFDeviceColorSpace(std::string_view name) {
  InitPDFColorSpaces();
  if (name == "DeviceRGB" || name == "CalRGB" || name == "RGB") return &deviceSpaces->rgb;
  if (name == "DeviceGray" || name == "CalGray" || name == "G") return &deviceSpaces->gray;
  if (name == "DeviceCMYK" || name == "CalCMYK" || name == "CMYK") return &deviceSpaces->cmyk;
  return nullptr;
}

TPDFColorSpace* PDFPatternColorSpace() {
  InitPDFColorSpaces();
  return &deviceSpaces->pattern;
}

uint32_t TPDFDeviceRGBColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  auto v = numbers(operands, count, 3, "Device RGB colorspace expects 3 color components.",
                   "Device RGB colorspace expects numeric color components.");
  return gdiColor(toByte(v[0]), toByte(v[1]), toByte(v[2]));
}

void TPDFDeviceRGBColorSpace::ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength,
                                           int32_t count) const {
  checkSource(sourceLength, count, 3);
  std::copy_n(source, static_cast<int64_t>(count) * 3, destination);
}

std::unique_ptr<TBitmap> TPDFDeviceRGBColorSpace::BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                                              int32_t bitsPerComponent, int32_t height,
                                                              int32_t width) const {
  checkImageSize(width, height);
  const TPDFBuffer& data = imageData(collection, image);
  const int64_t bytes = static_cast<int64_t>(width) * height * 3;
  std::vector<uint8_t> rgb;
  if (bitsPerComponent == 8) {
    Assert(static_cast<int64_t>(data.size()) >= bytes, "Image data too short (RGB)");
    rgb.assign(data.begin(), data.begin() + bytes);
  } else {
    rgb = unpackSamples(data, bitsPerComponent, width * 3, height, "Unsupported bit depth in RGB decode");
  }
  const std::vector<double> decode = decodeArray(collection, image);
  if (decode.empty()) return rgbBitmap(collection, image, height, width, rgb);
  Assert(decode.size() == 6, "RGB Decode array needs 6 numbers");
  const auto tables = decodeTables(decode);
  for (int64_t k = 0; k < bytes; ++k) rgb[k] = tables[k % 3][rgb[k]];
  return rgbBitmap(collection, image, height, width, rgb);
}

uint32_t TPDFDeviceGrayColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  auto v = numbers(operands, count, 1, "Device Gray colorspace expects 1 color component.",
                   "Device Gray colorspace expects numeric color components.");
  return toByte(v[0]) * 65793u + PDFColorFlag;
}

void TPDFDeviceGrayColorSpace::ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength,
                                            int32_t count) const {
  checkSource(sourceLength, count, 1);
  for (int32_t k = 0; k < count; ++k) destination[3 * k] = destination[3 * k + 1] = destination[3 * k + 2] = source[k];
}

std::unique_ptr<TBitmap> TPDFDeviceGrayColorSpace::BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                                               int32_t bitsPerComponent, int32_t height,
                                                               int32_t width) const {
  Assert(bitsPerComponent >= 1 && bitsPerComponent <= 8, "Grey image bit depth out of range");
  return paletteBitmap(greyPalette(bitsPerComponent), collection, image, bitsPerComponent, height, width);
}

uint32_t TPDFDeviceCMYKColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  auto v = numbers(operands, count, 4, "Device CMYK colorspace expects 4 color components.",
                   "Device CMYK colorspace expects numeric color components.");
  return CMYKToRGB(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]),
                   static_cast<float>(v[3])) |
         PDFColorFlag;
}

void TPDFDeviceCMYKColorSpace::ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength,
                                            int32_t count) const {
  checkSource(sourceLength, count, 4);
  for (int32_t k = 0; k < count; ++k) {
    const uint8_t* s = source + 4 * static_cast<int64_t>(k);
    const uint32_t rgb = CMYKToRGB(s[0] / 255.0f, s[1] / 255.0f, s[2] / 255.0f, s[3] / 255.0f);
    destination[3 * k] = rgb & 0xFF;
    destination[3 * k + 1] = (rgb >> 8) & 0xFF;
    destination[3 * k + 2] = (rgb >> 16) & 0xFF;
  }
}

std::unique_ptr<TBitmap> TPDFDeviceCMYKColorSpace::BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                                               int32_t bitsPerComponent, int32_t height,
                                                               int32_t width) const {
  checkImageSize(width, height);
  const TPDFBuffer& data = imageData(collection, image);
  Assert(bitsPerComponent == 8, "Unsupported bit depth in CMYK decode");
  const int64_t pixels = static_cast<int64_t>(width) * height;
  const int64_t size = static_cast<int64_t>(data.size());
  if (size < pixels * 4) {
    // Some writers store such images as RGB triplets.
    Assert(size >= pixels * 3, "Image data too short (CMYK)");
    return rgbBitmap(collection, image, height, width, std::vector<uint8_t>(data.begin(), data.begin() + pixels * 3));
  }
  std::vector<uint8_t> cmyk(data.begin(), data.begin() + pixels * 4);
  const std::vector<double> decode = decodeArray(collection, image);
  if (!decode.empty()) {
    Assert(decode.size() == 8, "CMYK Decode array needs 8 numbers");
    const auto tables = decodeTables(decode);
    for (int64_t k = 0; k < pixels * 4; ++k) cmyk[k] = tables[k % 4][cmyk[k]];
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(pixels * 3));
  for (int32_t y = 0; y < height; ++y)
    ConvertToRGB(cmyk.data() + static_cast<int64_t>(y) * width * 4, rgb.data() + static_cast<int64_t>(y) * width * 3,
                 static_cast<int64_t>(width) * 4, width);
  return rgbBitmap(collection, image, height, width, rgb);
}

// ---------------------------------------------------------------------------
// Lab

TPDFCIELabColorSpace::TPDFCIELabColorSpace(TPDFCollection*, TPDFArray*) {}

uint32_t TPDFCIELabColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  auto v = numbers(operands, count, 3, "CIE Lab colorspace expects 3 color components.",
                   "CIE Lab colorspace expects numeric color components.");
  auto f = [](double u) { return u >= 6.0 / 29 ? u * u * u : (u - 4.0 / 29) * 108.0 / 841; };
  const double t = (v[0] + 16) / 116;
  const double x = WhiteX * f(t + v[1] / 500), y = WhiteY * f(t), z = WhiteZ * f(t - v[2] / 200);
  const double linear[3] = {3.24071 * x - 1.53726 * y - 0.498571 * z, -0.969258 * x + 1.87599 * y + 0.0415557 * z,
                            0.0556352 * x - 0.203996 * y + 1.05707 * z};
  uint8_t c[3];
  for (int k = 0; k < 3; ++k) {
    const double l = linear[k];
    c[k] = toByte(l < 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055);
  }
  return gdiColor(c[0], c[1], c[2]);
}

void TPDFCIELabColorSpace::ConvertToRGB(const uint8_t*, uint8_t* destination, int64_t sourceLength,
                                        int32_t count) const {
  checkSource(sourceLength, count, 3);
  std::fill_n(destination, static_cast<int64_t>(count) * 3, 0);
}

std::unique_ptr<TBitmap> TPDFCIELabColorSpace::BuildBitmap(TPDFCollection*, TPDFDictionary*, int32_t, int32_t,
                                                           int32_t) const {
  Assert(false, "Not implemented yet: TPDFCIELabColorSpace.BuildBitmap");
  return nullptr;
}

// ---------------------------------------------------------------------------
// Indexed

TPDFIndexedColorSpace::TPDFIndexedColorSpace(TPDFCollection* collection, TPDFArray* array, int depth) {
  TPDFObject* lookup = array->GetObject(collection, 3);
  TPDFBuffer bytes;
  if (auto* string = dynamic_cast<TPDFString*>(lookup)) {
    bytes.assign(string->Data.begin(), string->Data.end());
  } else if (auto* stream = dynamic_cast<TPDFDictionary*>(lookup); stream && stream->StreamState() != 0) {
    stream->SetStreamState(2, collection);
    bytes = stream->StreamData();
  } else {
    throw Exception("TPDFIndexedColorSpace: Unsupported colorspace (no string or stream).");
  }
  auto* hivalObject = dynamic_cast<TPDFNumeric*>(array->GetObject(collection, 2));
  Assert(hivalObject != nullptr, "Indexed colour space without hival");
  // A palette has at most 256 entries, whatever hival says.
  const int32_t hival = std::min(hivalObject->AsInteger(), 255);
  if (hival < 0) return;
  if (bytes.empty()) throw Exception("TPDFIndexedColorSpace: Unsupported colorspace (empty palette data).");
  TPDFColorSpace* base = PDFColorSpaceFactory(collection, array->GetObject(collection, 1), depth + 1);
  if (!base) throw Exception("TPDFIndexedColorSpace: Unsupported colorspace (Palette color space unknown).");
  Palette.resize(static_cast<size_t>(hival + 1) * 3);
  base->ConvertToRGB(bytes.data(), Palette.data(), static_cast<int64_t>(bytes.size()), hival + 1);
}

uint32_t TPDFIndexedColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  auto* number = count >= 1 ? dynamic_cast<TPDFNumeric*>(operands[0]) : nullptr;
  if (!number) return 0;
  const int64_t index = number->AsInteger();
  if (index < 0 || 3 * index + 2 >= static_cast<int64_t>(Palette.size())) return 0;
  return gdiColor(Palette[3 * index], Palette[3 * index + 1], Palette[3 * index + 2]);
}

void TPDFIndexedColorSpace::ConvertToRGB(const uint8_t*, uint8_t*, int64_t, int32_t) const {
  Assert(false, "TPDFIndexedColorSpace.ConvertToRGB not supported");
}

std::unique_ptr<TBitmap> TPDFIndexedColorSpace::BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                                            int32_t bitsPerComponent, int32_t height,
                                                            int32_t width) const {
  Assert(!Palette.empty() && Palette.size() <= 256 * 3, "Indexed palette size out of range");
  Assert(bitsPerComponent >= 1 && bitsPerComponent <= 8, "Indexed image bit depth out of range");
  return paletteBitmap(Palette, collection, image, bitsPerComponent, height, width);
}

// ---------------------------------------------------------------------------
// Separation and DeviceN

TPDFSeparationColorSpace::TPDFSeparationColorSpace(TPDFCollection* collection, TPDFArray* array, int depth) {
  Assert(array->Count() == 4, "Separation colour space needs 4 elements");
  if (auto* name = dynamic_cast<TPDFName*>(array->GetObject(collection, 1))) ColorantName = name->Name;
  readTint(collection, array, depth, 1, Alternate, TintTransform);
}

uint32_t TPDFSeparationColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  Assert(count == 1, "Separation colour needs one operand");
  auto* number = dynamic_cast<TPDFNumeric*>(operands[0]);
  if (!number) throw EColorSpaceException("Separation colorspace expects numeric color components.");
  return alternateColor(*Alternate, *TintTransform, {static_cast<float>(number->AsFloat())});
}

void TPDFSeparationColorSpace::ConvertToRGB(const uint8_t*, uint8_t*, int64_t, int32_t) const {
  Assert(false, "TPDFSeparationColorSpace.ConvertToRGB not supported");
}

std::unique_ptr<TBitmap> TPDFSeparationColorSpace::BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                                               int32_t bitsPerComponent, int32_t height,
                                                               int32_t width) const {
  Assert(bitsPerComponent >= 1 && bitsPerComponent <= 8, "Separation image bit depth out of range");
  const int32_t top = (1 << bitsPerComponent) - 1;
  std::vector<uint8_t> palette;
  for (int32_t i = 0; i <= top; ++i) {
    const uint32_t color = alternateColor(*Alternate, *TintTransform, {static_cast<float>(i) / top});
    palette.insert(palette.end(), {static_cast<uint8_t>(color & 0xFF), static_cast<uint8_t>((color >> 8) & 0xFF),
                                   static_cast<uint8_t>((color >> 16) & 0xFF)});
  }
  return paletteBitmap(palette, collection, image, bitsPerComponent, height, width);
}

TPDFDeviceNColorSpace::TPDFDeviceNColorSpace(TPDFCollection* collection, TPDFArray* array, int depth) {
  Assert(array->Count() == 4 || array->Count() == 5, "DeviceN colour space needs 4 or 5 elements");
  auto* names = array->GetRequiredObject<TPDFArray>(collection, 1);
  Assert(names->Count() >= 1 && names->Count() <= MaxFunctionValues, "DeviceN colourant count out of range");
  for (int32_t k = 0; k < names->Count(); ++k) {
    auto* name = dynamic_cast<TPDFName*>(names->GetObject(collection, k));
    ColorantNames.push_back(name ? name->Name : std::string());
  }
  readTint(collection, array, depth, GetComponentCount(), Alternate, TintTransform);
}

uint32_t TPDFDeviceNColorSpace::GetColor(TPDFObject* const* operands, int32_t count) const {
  Assert(count == GetComponentCount(), "DeviceN colour needs one operand a colourant");
  std::vector<float> values;
  for (int32_t k = 0; k < count; ++k) {
    auto* number = dynamic_cast<TPDFNumeric*>(operands[k]);
    if (!number) throw EColorSpaceException("DeviceN colorspace expects numeric color components.");
    values.push_back(static_cast<float>(number->AsFloat()));
  }
  return alternateColor(*Alternate, *TintTransform, std::move(values));
}

void TPDFDeviceNColorSpace::ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength,
                                         int32_t count) const {
  const int32_t components = GetComponentCount();
  checkSource(sourceLength, count, components);
  std::vector<std::unique_ptr<TPDFObject>> owned(components);
  std::vector<TPDFObject*> operands(components);
  for (int32_t k = 0; k < count; ++k) {
    for (int32_t c = 0; c < components; ++c) {
      owned[c] = std::make_unique<TPDFReal>(source[static_cast<int64_t>(k) * components + c] / 255.0f);
      operands[c] = owned[c].get();
    }
    const uint32_t color = GetColor(operands);
    destination[3 * k] = color & 0xFF;
    destination[3 * k + 1] = (color >> 8) & 0xFF;
    destination[3 * k + 2] = (color >> 16) & 0xFF;
  }
}

std::unique_ptr<TBitmap> TPDFDeviceNColorSpace::BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                                            int32_t bitsPerComponent, int32_t height,
                                                            int32_t width) const {
  auto bitmap = paletteBitmap(greyPalette(bitsPerComponent), collection, image, bitsPerComponent, height, width);
  if (collection) collection->Warning("TPDFDeviceNColorSpace.BuildBitmap not yet implemented.");
  return bitmap;
}

// ---------------------------------------------------------------------------
// Pattern

uint32_t TPDFPattern::GetColor(TPDFObject* const*, int32_t) const { return 0; }

void TPDFPattern::ConvertToRGB(const uint8_t*, uint8_t*, int64_t, int32_t) const {
  Assert(false, "TPDFPattern.ConvertToRGB not supported");
}

std::unique_ptr<TBitmap> TPDFPattern::BuildBitmap(TPDFCollection*, TPDFDictionary*, int32_t, int32_t,
                                                  int32_t) const {
  return std::make_unique<TBitmap>();
}

// ---------------------------------------------------------------------------
// Factory

namespace {

TPDFColorSpace* iccBased(TPDFCollection* collection, TPDFArray* array, int depth) {
  auto* stream = array->GetObject<TPDFDictionary>(collection, 1);
  if (!stream) return nullptr;
  if (TPDFObject* alternate = stream->GetObject(collection, "Alternate"))
    return PDFColorSpaceFactory(collection, alternate, depth + 1);
  if (auto* n = dynamic_cast<TPDFInteger*>(stream->GetObject(collection, "N"))) {
    switch (n->Value) {
      case 1: return PDFDeviceColorSpace("DeviceGray");
      case 3: return PDFDeviceColorSpace("DeviceRGB");
      case 4: return PDFDeviceColorSpace("DeviceCMYK");
      default: return nullptr;
    }
  }
  auto* length = dynamic_cast<TPDFInteger*>(stream->GetObject(collection, "Length"));
  if (!length) return nullptr;
  if (length->Value < 1536) return PDFDeviceColorSpace("DeviceGray");
  if (length->Value <= 65536) return PDFDeviceColorSpace("DeviceRGB");
  return PDFDeviceColorSpace("DeviceCMYK");
}

}  // namespace

TPDFColorSpace* PDFColorSpaceFactory(TPDFCollection* collection, TPDFObject* object, int depth) {
  if (depth > MaxColorSpaceNesting) return nullptr;
  if (auto* reference = dynamic_cast<TPDFReference*>(object)) object = collection->ResolveReference(*reference);
  if (auto* name = dynamic_cast<TPDFName*>(object)) return PDFDeviceColorSpace(name->Name);
  auto* array = dynamic_cast<TPDFArray*>(object);
  if (!array || array->Count() == 0) return nullptr;
  auto* first = dynamic_cast<TPDFName*>(array->GetObject(collection, 0));
  if (!first) return nullptr;
  if (TPDFColorSpace* device = PDFDeviceColorSpace(first->Name)) return device;
  if (auto* attached = dynamic_cast<TPDFColorSpace*>(array->AttachedObject.get())) return attached;
  const std::string& kind = first->Name;
  const int32_t count = array->Count();
  std::unique_ptr<TPDFColorSpace> space;
  if ((kind == "Indexed" || kind == "I") && count == 4)
    space = std::make_unique<TPDFIndexedColorSpace>(collection, array, depth);
  else if (kind == "Separation" && count == 4)
    space = std::make_unique<TPDFSeparationColorSpace>(collection, array, depth);
  else if (kind == "DeviceN" && (count == 4 || count == 5))
    space = std::make_unique<TPDFDeviceNColorSpace>(collection, array, depth);
  else if (kind == "Lab" && count == 2)
    space = std::make_unique<TPDFCIELabColorSpace>(collection, array);
  else if (kind == "ICCBased" && count == 2)
    return iccBased(collection, array, depth);
  if (!space) return nullptr;
  TPDFColorSpace* result = space.get();
  array->AttachedObject = std::move(space);
  return result;
}

std::unique_ptr<TBitmap> PDFStencilMaskBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t height,
                                              int32_t width) {
  return paletteBitmap({0, 0, 0, 255, 255, 255}, collection, image, 1, height, width);
}

}  // namespace px
