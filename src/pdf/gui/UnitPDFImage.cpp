#include "pdf/gui/UnitPDFImage.h"

namespace px {

namespace {

std::string hexOf(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

void addProcSet(TPDFDictionary* resources, const char* name) {
  auto* procSet = resources->GetObject<TPDFArray>(nullptr, "ProcSet");
  if (!procSet) {
    resources->Add("ProcSet", TPDFArray::Of(std::make_unique<TPDFName>("PDF")));
    procSet = resources->GetObject<TPDFArray>(nullptr, "ProcSet");
  }
  if (!procSet->FindName(name)) procSet->Add(std::make_unique<TPDFName>(name));
}

}  // namespace

void TPDFImageInfo::AddToResources(TPDFDictionary* resources) const {
  if (!resources) return;
  addProcSet(resources, ColourKind == 0 ? "ImageB" : ColourKind == 1 ? "ImageC" : "ImageI");
  auto* xobjects = resources->GetObject<TPDFDictionary>(nullptr, "XObject");
  if (!xobjects) {
    resources->Add("XObject", std::make_unique<TPDFDictionary>());
    xobjects = resources->GetObject<TPDFDictionary>(nullptr, "XObject");
  }
  if (!xobjects->Find(Name)) xobjects->Add(Name, std::make_unique<TPDFReference>(ObjectNumber, 0));
}

TPDFImageCollection::TPDFImageCollection(TPDFWriter* writer) : writer_(writer) {
  Assert(writer != nullptr, "TPDFImageCollection: nil writer");
}

TPDFImageCollection::~TPDFImageCollection() = default;

TPDFImageInfo* TPDFImageCollection::AddImage(const TBitmap& bitmap, bool interpolate) {
  auto img = std::make_unique<TPDFImageInfo>();
  const int32_t w = bitmap.Width(), h = bitmap.Height(), b = bitmap.BitsPerPixel();
  img->Width = w;
  img->Height = h;
  img->BitsPerPixel = b;
  img->Interpolate = interpolate;
  auto dict = std::make_unique<TPDFDictionary>("XObject");
  dict->Add("Subtype", std::make_unique<TPDFName>("Image"));
  dict->Add("Width", std::make_unique<TPDFInteger>(w));
  dict->Add("Height", std::make_unique<TPDFInteger>(h));
  TPDFBuffer& px = img->pixels_;
  if (b == 1 || b == 4 || b == 8) {
    // The bitmap's palette always holds 2^bits entries, so the lookup of an
    // indexed image covers every value a sample can take.
    const std::vector<TColor>& pal = bitmap.Palette();
    bool ramp = true;
    for (size_t i = 0; i < pal.size(); ++i) {
      const TColor c = pal[i];
      img->Palette += static_cast<char>(GetRValue(c));
      img->Palette += static_cast<char>(GetGValue(c));
      img->Palette += static_cast<char>(GetBValue(c));
      if (GetRValue(c) != GetGValue(c) || GetGValue(c) != GetBValue(c) ||
          static_cast<size_t>(GetRValue(c) >> (8 - b)) != i)
        ramp = false;
    }
    if (ramp) {
      dict->Add("ColorSpace", std::make_unique<TPDFName>("DeviceGray"));
      img->ColourKind = 0;
    } else {
      auto cs = TPDFArray::Of(std::make_unique<TPDFName>("Indexed"), std::make_unique<TPDFName>("DeviceRGB"),
                              (1 << b) - 1);
      if (img->Palette.size() <= 100) {
        cs->Add(std::make_unique<TPDFHexString>(img->Palette));
      } else {
        img->paletteStream_ = std::make_unique<TPDFDictionary>(TPDFBuffer(img->Palette.begin(), img->Palette.end()));
        img->paletteStream_->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
      }
      dict->Add("ColorSpace", std::move(cs));
      img->ColourKind = 2;
    }
    dict->Add("BitsPerComponent", std::make_unique<TPDFInteger>(b));
    const size_t row = (static_cast<size_t>(w) * b + 7) / 8;
    px.reserve(row * h);
    // Rows are stored top-down.
    for (int32_t y = 0; y < h; ++y) {
      const Byte* line = bitmap.ScanLine(y);
      px.insert(px.end(), line, line + row);
    }
  } else if (b == 24 || b == 32) {
    dict->Add("ColorSpace", std::make_unique<TPDFName>("DeviceRGB"));
    dict->Add("BitsPerComponent", std::make_unique<TPDFInteger>(8));
    img->ColourKind = 1;
    const int32_t n = b / 8;
    px.resize(static_cast<size_t>(w) * 3 * h);
    uint8_t* o = px.data();
    for (int32_t y = 0; y < h; ++y) {
      const Byte* line = bitmap.ScanLine(y);
      for (int32_t x = 0; x < w; ++x, o += 3) {
        o[0] = line[x * n + 2];
        o[1] = line[x * n + 1];
        o[2] = line[x * n];
      }
    }
  } else {
    throw Exception("Unknown bitmap type encountered!");
  }
  if (interpolate) dict->Add("Interpolate", std::make_unique<TPDFBoolean>(true));
  dict->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));

  for (const auto& old : images_) {
    if (old->Width == img->Width && old->Height == img->Height && old->BitsPerPixel == img->BitsPerPixel &&
        old->ColourKind == img->ColourKind && old->Palette == img->Palette && old->Interpolate == img->Interpolate &&
        old->pixels_.size() == img->pixels_.size() && old->pixels_ == img->pixels_)
      return old.get();
  }
  ++counter_;
  img->Name = "I" + std::to_string(counter_);
  if (img->paletteStream_) {
    img->PaletteObjectNumber = writer_->AddObject(std::move(img->paletteStream_));
    auto* cs = dict->GetObject<TPDFArray>(nullptr, "ColorSpace");
    cs->Add(std::make_unique<TPDFReference>(img->PaletteObjectNumber, 0));
  }
  dict->SetStreamData(2, img->pixels_);
  img->ObjectNumber = writer_->AddObject(std::move(dict));
  images_.push_back(std::move(img));
  return images_.back().get();
}

}  // namespace px
