#pragma once
// Colour spaces: PDF colour operands to GDI colours (0x02BBGGRR, red in the
// low byte) and image samples to bitmaps. Device spaces are shared objects made
// by InitPDFColorSpaces (or on first use); spaces built from arrays are
// attached to their array and live as long as it does.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitPDFFunctions.h"
#include "pdf/UnitPDFParser.h"
#include "platform/gui/Graphics.h"

namespace px {

PX_DECLARE_EXCEPTION(EColorSpaceException, EPDFException);

// The high byte that marks a palette-relative GDI colour.
constexpr uint32_t PDFColorFlag = 0x02000000;
// Images with more pixels than this are refused before anything is allocated.
constexpr int64_t MaxPDFImagePixels = int64_t(1) << 26;

class TPDFColorSpace : public TPDFAttachedObject {
 public:
  virtual uint32_t GetColor(TPDFObject* const* operands, int32_t count) const = 0;
  uint32_t GetColor(const std::vector<TPDFObject*>& operands) const {
    return GetColor(operands.data(), static_cast<int32_t>(operands.size()));
  }
  // count samples of 8-bit components (source holds sourceLength bytes) to
  // count red, green, blue triplets.
  virtual void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength,
                            int32_t count) const = 0;
  virtual int32_t GetComponentCount() const = 0;
  // A new bitmap of the image stream's decoded samples.
  virtual std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image,
                                               int32_t bitsPerComponent, int32_t height, int32_t width) const = 0;
};

class TPDFDeviceRGBColorSpace : public TPDFColorSpace {
 public:
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 3; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
};

class TPDFDeviceGrayColorSpace : public TPDFColorSpace {
 public:
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 1; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
};

class TPDFDeviceCMYKColorSpace : public TPDFColorSpace {
 public:
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 4; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
};

class TPDFCIELabColorSpace : public TPDFColorSpace {
 public:
  TPDFCIELabColorSpace(TPDFCollection* collection, TPDFArray* array);
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 3; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
  float WhiteX = 0.9505f, WhiteY = 1.0f, WhiteZ = 1.089f;
};

class TPDFIndexedColorSpace : public TPDFColorSpace {
 public:
  // depth: how many spaces are being built around this one.
  TPDFIndexedColorSpace(TPDFCollection* collection, TPDFArray* array, int depth = 0);
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 1; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
  // Red, green, blue an entry.
  std::vector<uint8_t> Palette;
};

class TPDFSeparationColorSpace : public TPDFColorSpace {
 public:
  TPDFSeparationColorSpace(TPDFCollection* collection, TPDFArray* array, int depth = 0);
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 1; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
  std::string ColorantName;
  TPDFColorSpace* Alternate = nullptr;  // not owned
  TPDFFunction* TintTransform = nullptr;  // owned by its dictionary
};

class TPDFDeviceNColorSpace : public TPDFColorSpace {
 public:
  TPDFDeviceNColorSpace(TPDFCollection* collection, TPDFArray* array, int depth = 0);
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return static_cast<int32_t>(ColorantNames.size()); }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
  std::vector<std::string> ColorantNames;
  TPDFColorSpace* Alternate = nullptr;
  TPDFFunction* TintTransform = nullptr;
};

class TPDFPattern : public TPDFColorSpace {
 public:
  uint32_t GetColor(TPDFObject* const* operands, int32_t count) const override;
  using TPDFColorSpace::GetColor;
  void ConvertToRGB(const uint8_t* source, uint8_t* destination, int64_t sourceLength, int32_t count) const override;
  int32_t GetComponentCount() const override { return 0; }
  std::unique_ptr<TBitmap> BuildBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t bitsPerComponent,
                                       int32_t height, int32_t width) const override;
};

// Makes and frees the shared device spaces; a lookup before InitPDFColorSpaces
// makes them.
void InitPDFColorSpaces();
void DonePDFColorSpaces();

// "DeviceRGB", "CalRGB", "RGB"; "DeviceGray", "CalGray", "G"; "DeviceCMYK",
// "CalCMYK", "CMYK"; nil for any other name.
TPDFColorSpace* PDFDeviceColorSpace(std::string_view name);
TPDFColorSpace* PDFPatternColorSpace();

// The space of a name or a colour-space array (references resolved); nil
// when none fits. A space built from an array is attached to it.
TPDFColorSpace* PDFColorSpaceFactory(TPDFCollection* collection, TPDFObject* object, int depth = 0);

// The bitmap of a stencil mask: 1 bit a pixel, black (0) and white (1).
std::unique_ptr<TBitmap> PDFStencilMaskBitmap(TPDFCollection* collection, TPDFDictionary* image, int32_t height,
                                              int32_t width);

}  // namespace px
