// The drag picture of a tree: built once per drag from the tree's rendering
// of the dragged nodes; Qt moves it with the pointer.
#include <QImage>
#include <algorithm>
#include <cmath>

#include "ui/tree/NodeTreesSupport.h"
#include "ui/tree/NodeTreesTransfer.h"

namespace px {

TNTDragImage::TNTDragImage(TBaseNodeTree* owner) : owner_(owner) {}

TNTDragImage::~TNTDragImage() { EndDrag(); }

void TNTDragImage::PrepareDrag(const TBitmap& image, TPoint imagePosition, TPoint hotSpot, const IDataObjectRef&) {
  // The picture goes to the platform's drag with the drag itself, so no
  // system image is ever involved: the own image is always built.
  states_ = 0;
  const int32_t w = image.Width(), h = image.Height();
  if (w <= 0 || h <= 0) return;
  lastPosition_ = hotSpot;
  hotSpot_ = hotSpot;
  dragImage_ = std::make_unique<TBitmap>(w, h, pf32bit);
  TBitmap source;
  source.Assign(image);
  source.SetPixelFormat(pf32bit);
  if (PreBlendBias != 0) {
    BlendDIBPixels(&source, *dragImage_, Rect(0, 0, w, h), {0, 0}, 0, 255, PreBlendBias);
  } else {
    for (int32_t y = 0; y < h; ++y) std::copy_n(source.ScanLine(y), w * 4, dragImage_->ScanLine(y));
  }
  // Alpha: a radial fade from the centre, transparent where the colour key
  // shows.
  const double size = std::max(w, h);
  const uint32_t key = ColorKey == clNone ? 0 : static_cast<uint32_t>(ColorToRGB(ColorKey)) & 0xFFFFFF;
  for (int32_t y = 0; y < h; ++y) {
    const Byte* s = source.ScanLine(y);
    Byte* d = dragImage_->ScanLine(y);
    for (int32_t x = 0; x < w; ++x, s += 4, d += 4) {
      const uint32_t rgb = static_cast<uint32_t>(s[2]) | (static_cast<uint32_t>(s[1]) << 8) |
                           (static_cast<uint32_t>(s[0]) << 16);
      if (ColorKey != clNone && rgb == key) {
        d[3] = 0;
        continue;
      }
      const double dx = x - w / 2, dy = y - h / 2;
      const double r = std::sqrt(dx * dx + dy * dy) / size;
      d[3] = static_cast<Byte>(std::lround(255.0 * std::exp(-8.0 * r)));
    }
  }
  dragImage_->SetAlphaFormat(afDefined);
  imagePosition_ = imagePosition;
  states_ = disHidden | disPrepared | disInUse;
}

QImage TNTDragImage::ComposedImage() const {
  if (!dragImage_) return {};
  const int32_t w = dragImage_->Width(), h = dragImage_->Height();
  QImage out(w, h, QImage::Format_ARGB32);
  const bool perPixel = Fade || ColorKey != clNone;
  for (int32_t y = 0; y < h; ++y) {
    const Byte* s = dragImage_->ScanLine(y);
    auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int32_t x = 0; x < w; ++x, s += 4) {
      const int a = perPixel ? (Transparency * s[3]) >> 8 : Transparency;
      const int clampB = std::clamp(s[0] + PostBlendBias, 0, 255);
      const int clampG = std::clamp(s[1] + PostBlendBias, 0, 255);
      const int clampR = std::clamp(s[2] + PostBlendBias, 0, 255);
      d[x] = qRgba(clampR, clampG, clampB, a);
    }
  }
  return out;
}

void TNTDragImage::ShowDragImage() {
  if ((states_ & 0xF) == (disHidden | disPrepared | disInUse)) states_ &= ~disHidden;
}

void TNTDragImage::HideDragImage() {
  if (Visible()) states_ |= disHidden;
}

void TNTDragImage::EndDrag() {
  HideDragImage();
  states_ &= ~(disPrepared | disInUse);
  dragImage_.reset();
}

TPoint TNTDragImage::movement(TPoint p) const {
  TPoint delta{lastPosition_.X - p.X, lastPosition_.Y - p.Y};
  if (Restriction == dmrVerticalOnly) delta.X = 0;
  if (Restriction == dmrHorizontalOnly) delta.Y = 0;
  return delta;
}

bool TNTDragImage::WillMove(TPoint p) const {
  const TPoint delta = movement(p);
  return delta.X != 0 || delta.Y != 0;
}

bool TNTDragImage::DragTo(TPoint p, bool forceRepaint) {
  const TPoint delta = movement(p);
  if (delta.X == 0 && delta.Y == 0 && !forceRepaint) return false;
  imagePosition_ = {imagePosition_.X - delta.X, imagePosition_.Y - delta.Y};
  lastPosition_ = p;
  return true;
}

TRect TNTDragImage::GetDragImageRect() const {
  if (!dragImage_) return Rect(imagePosition_.X, imagePosition_.Y, imagePosition_.X, imagePosition_.Y);
  return Rect(imagePosition_.X, imagePosition_.Y, imagePosition_.X + dragImage_->Width(),
              imagePosition_.Y + dragImage_->Height());
}

}  // namespace px
