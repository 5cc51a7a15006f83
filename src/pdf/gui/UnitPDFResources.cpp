#include "pdf/gui/UnitPDFResources.h"

#include <cmath>
#include <string>

#include "pdf/UnitPDFUtilities.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"

namespace px {

namespace {

// Membership dictionaries may lead to other membership dictionaries (or to
// themselves); deeper than this a membership counts as visible.
constexpr int MaxMembershipNesting = 16;
int membershipDepth = 0;

std::string objectText(const TPDFObject* object) {
  if (!object) return "null";
  std::string text = AsPDFText(*object);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The numbers of an array, references resolved; false when the object is not
// an array of numbers.
bool readNumbers(TPDFCollection* collection, TPDFObject* object, std::vector<float>& values) {
  auto* array = dynamic_cast<TPDFArray*>(object);
  if (!array) return false;
  values.clear();
  for (int32_t k = 0; k < array->Count(); ++k) {
    auto* number = dynamic_cast<TPDFNumeric*>(collection ? array->GetObject(collection, k) : array->GetItem(k));
    if (!number) return false;
    values.push_back(static_cast<float>(number->AsFloat()));
  }
  return true;
}

TPDFObject* entry(TPDFCollection* collection, TPDFDictionary* dictionary, std::string_view key) {
  return collection ? dictionary->GetObject(collection, key) : dictionary->Find(key);
}

void warn(TPDFCollection* collection, const std::string& text) {
  if (collection)
    collection->Warning(text);
  else
    OutputDebugString(text);
}

}  // namespace

// ---------------------------------------------------------------------------
// Base and factory

TPDFResource::TPDFResource(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : Dictionary(dictionary), Document(collection), Flags(flags) {
  Assert(collection != nullptr && dictionary != nullptr, "TPDFResource needs a collection and a dictionary");
}

TPDFResource::TPDFResource(TPDFDictionary* dictionary) : Dictionary(dictionary) {
  Assert(dictionary != nullptr, "TPDFResource needs a dictionary");
}

std::unique_ptr<TPDFResource> CreateResource(std::string_view category, TPDFCollection* collection, uint8_t flags,
                                             TPDFObject* object) {
  Assert(collection != nullptr && object != nullptr, "CreateResource needs a collection and an object");
  if (auto* reference = dynamic_cast<TPDFReference*>(object)) object = collection->ResolveReference(*reference);
  auto* dictionary = dynamic_cast<TPDFDictionary*>(object);
  const bool known = category == "Font" || category == "XObject" || category == "Properties" ||
                     category == "Pattern" || category == "Shading";
  if (!known)
    throw EPDFException("Resource not found: Key \"" + std::string(category) + "\" does not exist.");
  Assert(dictionary != nullptr, "A resource must be a dictionary");
  if (category == "Font") return CreateFont(collection, flags, dictionary);
  if (category == "XObject") return CreateXObject(collection, flags, dictionary);
  if (category == "Properties") return CreateProperties(collection, flags, dictionary);
  if (category == "Pattern") return std::make_unique<TPDFResPattern>(collection, flags, dictionary);
  return std::make_unique<TPDFResShading>(collection, flags, dictionary);
}

TPDFResource* AttachedResource(std::string_view category, TPDFCollection* collection, uint8_t flags,
                               TPDFObject* object) {
  Assert(collection != nullptr && object != nullptr, "AttachedResource needs a collection and an object");
  if (auto* reference = dynamic_cast<TPDFReference*>(object)) object = collection->ResolveReference(*reference);
  auto* dictionary = dynamic_cast<TPDFDictionary*>(object);
  Assert(dictionary != nullptr, "A resource must be a dictionary");
  if (auto* attached = dynamic_cast<TPDFResource*>(dictionary->AttachedObject.get())) return attached;
  std::unique_ptr<TPDFResource> resource = CreateResource(category, collection, flags, dictionary);
  TPDFResource* result = resource.get();
  dictionary->AttachedObject = std::move(resource);
  return result;
}

std::unique_ptr<TPDFResImage> CreateInlineImage(TPDFDictionary* dictionary, TPDFColorSpace* colorSpace) {
  return std::make_unique<TPDFResImage>(dictionary, colorSpace);
}

std::unique_ptr<TPDFResource> CreateXObject(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary) {
  if (auto* type = dynamic_cast<TPDFName*>(dictionary->GetObject(collection, "Type")); type && type->Name != "XObject")
    throw EPDFException("TPDFResXObject: Not an xobject dictionary.");
  if (dictionary->Find("Type") && !dynamic_cast<TPDFName*>(dictionary->GetObject(collection, "Type")))
    throw EPDFException("TPDFResXObject: Not an xobject dictionary.");
  auto* subtype = dynamic_cast<TPDFName*>(dictionary->GetObject(collection, "Subtype"));
  if ((subtype && subtype->Name == "Image") || (dictionary->Find("Width") && dictionary->Find("Height")))
    return std::make_unique<TPDFResImage>(collection, flags, dictionary);
  if ((subtype && subtype->Name == "Form") || dictionary->Find("BBox"))
    return std::make_unique<TPDFResForm>(collection, flags, dictionary);
  throw EPDFException("XObject type not supported: " + (subtype ? subtype->Name : std::string("unknown")));
}

std::unique_ptr<TPDFResProperties> CreateProperties(TPDFCollection* collection, uint8_t flags,
                                                    TPDFDictionary* dictionary) {
  auto* type = dynamic_cast<TPDFName*>(dictionary->GetObject(collection, "Type"));
  if (type && type->Name == "OCG") return std::make_unique<TPDFResOptionalContentGroup>(collection, flags, dictionary);
  if (type && type->Name == "OCMD")
    return std::make_unique<TPDFResOptionalContentMembership>(collection, flags, dictionary);
  return std::make_unique<TPDFResProperties>(collection, flags, dictionary);
}

// ---------------------------------------------------------------------------
// Images

TPDFResImage::TPDFResImage(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResXObject(collection, flags, dictionary) {
  build(nullptr, true);
}

TPDFResImage::TPDFResImage(TPDFCollection* collection, TPDFDictionary* dictionary, bool withMask)
    : TPDFResXObject(collection, 0, dictionary) {
  build(nullptr, withMask);
}

TPDFResImage::TPDFResImage(TPDFDictionary* dictionary, TPDFColorSpace* colorSpace) : TPDFResXObject(dictionary) {
  build(colorSpace, true);
}

void TPDFResImage::build(TPDFColorSpace* colorSpace, bool withMask) {
  TPDFCollection* doc = Document;
  auto integer = [&](std::string_view key) {
    auto* value = dynamic_cast<TPDFInteger*>(entry(doc, Dictionary, key));
    if (!value) RaisePDFReadError(0, "Object does not exist " + std::string(key));
    return value->Value;
  };
  auto boolean = [&](std::string_view key) {
    auto* value = dynamic_cast<TPDFBoolean*>(entry(doc, Dictionary, key));
    return value && value->Value;
  };
  Width = integer("Width");
  Height = integer("Height");
  ImageMask = boolean("ImageMask");
  Interpolate = boolean("Interpolate");
  Assert(Width > 0 && Height > 0 && static_cast<int64_t>(Width) * Height <= MaxPDFImagePixels,
         "Image size out of range");
  if (!ImageMask && withMask) {
    MaskEntry = entry(doc, Dictionary, "SMask");
    if (!MaskEntry) MaskEntry = entry(doc, Dictionary, "Mask");
  }
  // Samples that cannot be decoded (a damaged stream, a bit depth or layout
  // the colour space does not take) cost this image, not the page: it is
  // drawn as the red image of an unknown colour space, or left out when it
  // is a stencil mask.
  auto decodeFailed = [&](const Exception& e) {
    bitmap_.reset();
    warn(doc, "Unable to decode image: " + e.Message());
  };
  if (ImageMask) {
    BitsPerComponent = 1;
    LastStencilColor = 0x1FFFFFFF;
    try {
      if (Dictionary->StreamState() != 0) Dictionary->SetStreamState(2, doc);
      bitmap_ = PDFStencilMaskBitmap(doc, Dictionary, Height, Width);
    } catch (const Exception& e) {
      decodeFailed(e);
      bitmap_ = std::make_unique<TBitmap>();
    }
  } else {
    BitsPerComponent = integer("BitsPerComponent");
    TPDFObject* spaceObject = entry(doc, Dictionary, "ColorSpace");
    if (!colorSpace) {
      if (!spaceObject) RaisePDFReadError(0, "Object does not exist ColorSpace");
      colorSpace = doc ? PDFColorSpaceFactory(doc, spaceObject) : nullptr;
      if (!doc)
        if (auto* name = dynamic_cast<TPDFName*>(spaceObject)) colorSpace = PDFDeviceColorSpace(name->Name);
    }
    bool failed = false;
    if (colorSpace) {
      try {
        if (Dictionary->StreamState() != 0) Dictionary->SetStreamState(2, doc);
        bitmap_ = colorSpace->BuildBitmap(doc, Dictionary, BitsPerComponent, Height, Width);
      } catch (const Exception& e) {
        decodeFailed(e);
        failed = true;
      }
    }
    if (!bitmap_ || bitmap_->Empty()) {
      bitmap_ = std::make_unique<TBitmap>(Width, Height, pf24bit);
      for (int32_t y = 0; y < Height; ++y) {
        Byte* row = bitmap_->ScanLine(y);
        for (int32_t x = 0; x < Width; ++x) row[3 * x + 2] = 255;  // blue, green, red
      }
      if (!failed) warn(doc, "Unknown, unsupported or invalid colorspace to create image: " + objectText(spaceObject));
    }
  }
  if (!MaskEntry) return;
  auto* maskStream = dynamic_cast<TPDFDictionary*>(MaskEntry);
  if (maskStream && maskStream->StreamState() != 0 && doc) {
    MaskImage.reset(new TPDFResImage(doc, maskStream, false));
    applyMask();
  } else if (dynamic_cast<TPDFArray*>(MaskEntry)) {
    warn(doc, "Color key masking not supported.");
  } else {
    warn(doc, "Unknown masking method.");
  }
}

namespace {

// The bitmap drawn at the size onto a new 32-bit bitmap.
std::unique_ptr<TBitmap> stretched(const TBitmap& source, int32_t width, int32_t height) {
  auto result = std::make_unique<TBitmap>(width, height, pf32bit);
  result->Canvas().StretchDraw(Rect(0, 0, width, height), source);
  return result;
}

}  // namespace

// Premultiplies the image by its mask: every pixel's colour times the mask's
// value, and the value as alpha.
void TPDFResImage::applyMask() {
  const TBitmap& mask = *MaskImage->Bitmap();
  const int32_t width = std::max(Width, mask.Width()), height = std::max(Height, mask.Height());
  Assert(static_cast<int64_t>(width) * height <= MaxPDFImagePixels, "Image size out of range");
  if (width != Width || height != Height) {
    bitmap_ = stretched(*bitmap_, width, height);
    Width = width;
    Height = height;
  } else {
    bitmap_->SetPixelFormat(pf32bit);
  }
  std::unique_ptr<TBitmap> maskCopy;
  const TBitmap* values = &mask;
  if (mask.Width() != width || mask.Height() != height) {
    maskCopy = stretched(mask, width, height);
    values = maskCopy.get();
  }
  for (int32_t y = 0; y < height; ++y) {
    Byte* row = bitmap_->ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      const TColor c = values->GetPixel(x, y);
      const int32_t m = c & 0xFF;  // masks are grey: red stands for all
      for (int k = 0; k < 3; ++k) row[4 * x + k] = static_cast<Byte>((row[4 * x + k] * m + 127) / 255);
      row[4 * x + 3] = static_cast<Byte>(m);
    }
  }
  bitmap_->SetAlphaFormat(afDefined);
}

// ---------------------------------------------------------------------------
// Forms

TPDFResForm::TPDFResForm(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResXObject(collection, flags, dictionary) {
  auto* formType = dynamic_cast<TPDFInteger*>(dictionary->GetObject(collection, "FormType"));
  if (formType && formType->Value != 1) return;
  std::vector<float> values;
  if (!readNumbers(collection, dictionary->GetRequiredObject(collection, "BBox"), values) || values.size() != 4)
    throw EPDFException("XObject Form: invalid BBox.");
  std::copy(values.begin(), values.end(), BBox.begin());
  Matrix = {1, 0, 0, 1, 0, 0};
  if (TPDFObject* matrix = dictionary->GetObject(collection, "Matrix")) {
    if (!readNumbers(collection, matrix, values) || values.size() != 6)
      throw EPDFException("XObject Form: invalid Matrix.");
    std::copy(values.begin(), values.end(), Matrix.begin());
  }
  Resources = dynamic_cast<TPDFDictionary*>(dictionary->GetObject(collection, "Resources"));
}

// ---------------------------------------------------------------------------
// Optional content

bool TPDFResProperties::IsVisible(uint8_t, TPDFVisibilityCallback callback, void* data) {
  bool visible = true;
  if (callback) callback(data, Dictionary, visible);
  return visible;
}

bool TPDFResOptionalContentGroup::IsVisible(uint8_t, TPDFVisibilityCallback callback, void* data) {
  bool visible = State;
  if (callback) callback(data, Dictionary, visible);
  return visible;
}

bool TPDFResOptionalContentMembership::IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data) {
  TPDFObject* ocgs = Dictionary->GetObject(Document, "OCGs");
  if (!ocgs || dynamic_cast<TPDFNull*>(ocgs)) return true;
  std::vector<TPDFDictionary*> groups;
  if (auto* group = dynamic_cast<TPDFDictionary*>(ocgs)) {
    groups.push_back(group);
  } else if (auto* array = dynamic_cast<TPDFArray*>(ocgs)) {
    for (int32_t k = 0; k < array->Count(); ++k)
      if (auto* item = dynamic_cast<TPDFDictionary*>(array->GetObject(Document, k))) groups.push_back(item);
  } else {
    throw EPDFException("OCGs reference is of unknown type.");
  }
  auto* policyName = dynamic_cast<TPDFName*>(Dictionary->GetObject(Document, "P"));
  const std::string policy = policyName && (policyName->Name == "AllOn" || policyName->Name == "AnyOff" ||
                                            policyName->Name == "AllOff")
                                 ? policyName->Name
                                 : "AnyOn";
  if (membershipDepth >= MaxMembershipNesting) return true;
  ++membershipDepth;
  struct Leave {
    ~Leave() { --membershipDepth; }
  } leave;
  // AllOn and AnyOff decide at the first group that is off, AnyOn and AllOff
  // at the first that is on.
  const bool decidesOnOff = policy == "AllOn" || policy == "AnyOff";
  for (TPDFDictionary* group : groups) {
    const bool on = CreateProperties(Document, flags, group)->IsVisible(flags, callback, data);
    if (decidesOnOff && !on) return policy == "AnyOff";
    if (!decidesOnOff && on) return policy == "AnyOn";
  }
  return policy == "AllOn" || policy == "AllOff";
}

// ---------------------------------------------------------------------------
// Shadings

TPDFResShading::TPDFResShading(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResource(collection, flags, dictionary) {
  validate(collection, dictionary);
}

void TPDFResShading::validate(TPDFCollection* collection, TPDFDictionary* dictionary) {
  ShadingType = 0;
  TPDFObject* space = dictionary->GetObject(collection, "ColorSpace");
  ColorSpace = space ? PDFColorSpaceFactory(collection, space) : nullptr;
  if (!ColorSpace) {
    collection->Warning("No or invalid Colorspace in Shading");
    return;
  }
  std::vector<float> values;
  if (TPDFObject* box = dictionary->GetObject(collection, "BBox")) {
    if (readNumbers(collection, box, values) && values.size() == 4) {
      if (values[0] == values[2] || values[1] == values[3]) {
        collection->Warning("Shading has incorrect Coords (singular).");
      } else {
        std::copy(values.begin(), values.end(), BBox.begin());
        HasBBox = true;
      }
    } else {
      collection->Warning("Shading has incorrect Coords.");
    }
  }
  const int32_t type = dictionary->GetInteger(collection, "ShadingType", 0);
  auto fail = [&](const std::string& text) {
    collection->Warning(text);
    return;
  };
  // A shading whose function cannot be built is kept (shadings are never
  // painted), as type 0.
  auto buildFunction = [&]() -> bool {
    try {
      auto* function = dictionary->GetObject<TPDFDictionary>(collection, "Function");
      if (!function) RaisePDFReadError(0, "Object does not exist Function");
      Function = PDFFunctionFactory(collection, function);
      return true;
    } catch (const EAssertionFailed& e) {
      collection->Warning("Function in Shading cannot be used: " + e.AssertMessage());
    } catch (const Exception& e) {
      collection->Warning("Function in Shading cannot be used: " + e.Message());
    }
    return false;
  };
  switch (type) {
    case 1: {
      if (!readNumbers(collection, dictionary->GetObject(collection, "Domain"), values) || values.size() != 4)
        return fail("Type 1 Shading has incorrect Domain.");
      if (values[0] == values[1] || values[2] == values[3])
        return fail("Type 1 Shading has incorrect Domain (singular).");
      std::copy(values.begin(), values.end(), Domain.begin());
      if (!buildFunction()) return;
      ShadingType = 1;
      return;
    }
    case 2: {
      if (!readNumbers(collection, dictionary->GetObject(collection, "Coords"), values) || values.size() != 4)
        return fail("Type 2 Shading has incorrect Coords.");
      if (std::fabs(values[0] - values[2]) + std::fabs(values[1] - values[3]) <= 0)
        return fail("Type 2 Shading has incorrect Coords (singular).");
      std::copy(values.begin(), values.end(), Coords.begin());
      if (TPDFObject* domain = dictionary->GetObject(collection, "Domain")) {
        if (!readNumbers(collection, domain, values) || values.size() != 2)
          return fail("Type 2 Shading has incorrect Domain.");
        if (values[0] == values[1]) return fail("Type 2 Shading has incorrect Domain (singular).");
        T0 = values[0];
        T1 = values[1];
      }
      if (!buildFunction()) return;
      if (Function->InputCount() != 1 || Function->OutputCount() != ColorSpace->GetComponentCount())
        return fail("Function in Type 2 Shading has wrong input count.");
      ShadingType = 2;
      ColorTable.assign(256, 0);
      return;
    }
    case 3: case 4: case 5: case 6: case 7:
      return fail(Format("Shading Type is unsupported (yet): %d", type));
    default: return fail("Shading Type is incorrect type.");
  }
}

}  // namespace px
