#include "ui/framework/UnitImage.h"

#include "platform/core/CodePages.h"
#include "ui/framework/QVRControls.h"
#include "ui/png/PNGBitmapAdapter.h"
#include "ui/png/UnitPNG.h"

namespace px {

TImageLists::TImageLists() = default;
TImageLists::~TImageLists() = default;

const TBitmap& TImageLists::Strip(const std::string& imageName) {
  const std::string key = UpperCase(imageName);
  auto it = strips_.find(key);
  if (it != strips_.end()) return *it->second;
  auto bitmap = std::make_unique<TBitmap>();
  {
    TPNGFile png;
    png.LoadFromResource(imageName, "PNG");
    PNGFileToBitmap(png, bitmap.get(), pbmRGBA);
  }
  // The reader ends quietly where a file stops short; one that stopped
  // before its header holds no image, and a strip without images has no
  // size to draw or count by.
  if (bitmap->Width() <= 0 || bitmap->Height() <= 0) throw EPNGException("Invalid PNG: File corrupted");
  ++loads_;
  return *strips_.emplace(key, std::move(bitmap)).first->second;
}

void TImageLists::Draw(TCanvas* canvas, Integer x, Integer y, Integer index, const std::string& imageName) {
  if (index < 0) return;
  Assert(canvas != nullptr, "Canvas must be assigned");
  const TBitmap& strip = Strip(imageName);
  const int32_t w = strip.Width();
  // Only whole squares: a strip whose height is no multiple of its width
  // has a partial last square, which is not an image.
  if (w <= 0 || index >= strip.Height() / w) return;
  canvas->AlphaBlend(Rect(x, y, x + w, y + w), strip, Rect(0, index * w, w, index * w + w), 255, true);
}

TSize TImageLists::GetImageSize(const std::string& imageName) {
  const int32_t w = Strip(imageName).Width();
  return {w, w};
}

void TQVRPanelAdjust::Adjust(TObject* panel) {
  auto* p = dynamic_cast<TQVRPanel*>(panel);
  if (!p) throw EInvalidCast("Invalid class typecast");
  p->SetBorderWidth(6);
  TFont& f = p->TitleFont();
  f.SetColor(clWindowText);
  f.SetHeight(-13);
  f.SetName("Tahoma");
  f.SetStyle({});
  p->SetTitleColor(clInactiveCaption);
  p->SetTitleHeight(24);
}

void InitializeImages() {
  Assert(QVRSystem != nullptr, "The framework registry must exist");
  QVRSystem->RegisterService(IImageLists::IID, "", std::make_shared<TImageLists>());
  QVRSystem->RegisterService(IPanelAdjust::IID, "", std::make_shared<TQVRPanelAdjust>());
}

void FinalizeImages() {
  if (!QVRSystem) return;
  QVRSystem->UnregisterService(IPanelAdjust::IID, "");
  QVRSystem->UnregisterService(IImageLists::IID, "");
}

}  // namespace px
