#pragma once
// Page resources: each named resource that the renderer uses gets an object
// that wraps its dictionary together with what was computed from it once
// (decoded bitmaps, box and matrix of forms, visibility of optional content).
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "pdf/UnitPDFFunctions.h"
#include "pdf/UnitPDFParser.h"
#include "pdf/gui/UnitPDFColorSpaces.h"
#include "platform/gui/Graphics.h"

namespace px {

class TPDFResource : public TPDFAttachedObject {
 public:
  TPDFResource(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  // For inline images, which belong to no document.
  explicit TPDFResource(TPDFDictionary* dictionary);

  TPDFDictionary* Dictionary = nullptr;  // not owned
  TPDFCollection* Document = nullptr;    // not owned; nil for inline images
  // Bit 0: fonts ignore embedded font programs.
  uint8_t Flags = 0;
};

class TPDFResXObject : public TPDFResource {
 public:
  using TPDFResource::TPDFResource;
};

class TPDFResImage : public TPDFResXObject {
 public:
  TPDFResImage(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  // An inline image: its entries are taken as they stand; colorSpace may be nil.
  TPDFResImage(TPDFDictionary* dictionary, TPDFColorSpace* colorSpace);

  TBitmap* Bitmap() const { return bitmap_.get(); }
  // Replaces the bitmap (the old one is freed).
  void SetBitmap(std::unique_ptr<TBitmap> bitmap) { bitmap_ = std::move(bitmap); }

  TPDFObject* MaskEntry = nullptr;  // SMask or Mask; not owned
  std::unique_ptr<TPDFResImage> MaskImage;
  int32_t Width = 0, Height = 0;
  int32_t BitsPerComponent = 0;  // 1 for stencil masks
  bool ImageMask = false;
  bool Interpolate = false;
  uint32_t LastStencilColor = 0x1FFFFFFF;  // none yet

 private:
  // A mask is decoded as an image of its own, but without masks of its own.
  TPDFResImage(TPDFCollection* collection, TPDFDictionary* dictionary, bool withMask);
  void build(TPDFColorSpace* colorSpace, bool withMask);
  void applyMask();

  std::unique_ptr<TBitmap> bitmap_;
};

class TPDFResForm : public TPDFResXObject {
 public:
  TPDFResForm(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  std::array<float, 4> BBox{};
  std::array<float, 6> Matrix{};
  TPDFDictionary* Resources = nullptr;  // not owned
};

// Lets the renderer override a group's visibility from its own table.
using TPDFVisibilityCallback = void (*)(void* data, TPDFDictionary* dictionary, bool& visible);

class TPDFResProperties : public TPDFResource {
 public:
  using TPDFResource::TPDFResource;
  virtual bool IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data);
};

class TPDFResOptionalContentGroup : public TPDFResProperties {
 public:
  using TPDFResProperties::TPDFResProperties;
  bool IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data) override;
  bool State = true;
};

class TPDFResOptionalContentMembership : public TPDFResProperties {
 public:
  using TPDFResProperties::TPDFResProperties;
  bool IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data) override;
};

class TPDFResPattern : public TPDFResource {
 public:
  using TPDFResource::TPDFResource;
};

class TPDFResShading : public TPDFResource {
 public:
  TPDFResShading(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  int32_t ShadingType = 0;  // 0 also marks a shading that failed validation
  bool HasBBox = false;
  std::array<float, 4> BBox{};
  TPDFColorSpace* ColorSpace = nullptr;  // not owned
  TPDFFunction* Function = nullptr;      // owned by its dictionary
  std::array<float, 4> Domain{};
  std::array<float, 4> Coords{};
  float T0 = 0, T1 = 1;
  std::vector<uint32_t> ColorTable;

 private:
  void validate(TPDFCollection* collection, TPDFDictionary* dictionary);
};

// A new resource of the category ("Font", "XObject", "Properties", "Pattern",
// "Shading") for the object.
std::unique_ptr<TPDFResource> CreateResource(std::string_view category, TPDFCollection* collection, uint8_t flags,
                                             TPDFObject* object);
std::unique_ptr<TPDFResImage> CreateInlineImage(TPDFDictionary* dictionary, TPDFColorSpace* colorSpace);
std::unique_ptr<TPDFResource> CreateXObject(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
std::unique_ptr<TPDFResProperties> CreateProperties(TPDFCollection* collection, uint8_t flags,
                                                    TPDFDictionary* dictionary);
std::unique_ptr<TPDFResource> CreateFont(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);

// The resource attached to the object's dictionary, or a new one that is
// attached to it (and owned by it from then on). Nothing is attached when the
// creation fails.
TPDFResource* AttachedResource(std::string_view category, TPDFCollection* collection, uint8_t flags,
                               TPDFObject* object);

}  // namespace px
