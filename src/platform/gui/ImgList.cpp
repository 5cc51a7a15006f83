#include "platform/gui/ImgList.h"

#include <algorithm>

namespace px {

namespace {

constexpr int32_t kMaxImageSide = 4096;

[[noreturn]] void indexError() { throw EInvalidOperation("Invalid ImageList Index"); }

inline Byte mix(Byte a, Byte b, int percent) { return static_cast<Byte>(a + (b - a) * percent / 100); }

}  // namespace

TChangeLink::~TChangeLink() {
  if (Sender) Sender->UnRegisterChanges(this);
}

void TChangeLink::Change() {
  if (OnChange) OnChange(Sender);
}

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) { std::fill(std::begin(overlays_), std::end(overlays_), -1); }

TCustomImageList::TCustomImageList(TComponent* owner, int32_t width, int32_t height) : TCustomImageList(owner) {
  SetSize(width, height);
}

TCustomImageList::~TCustomImageList() {
  for (TChangeLink* l : links_) l->Sender = nullptr;
  links_.clear();
}

void TCustomImageList::SetSize(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
    throw EInvalidOperation("Invalid image size");
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  images_.clear();
  std::fill(std::begin(overlays_), std::end(overlays_), -1);
  Change();
}

std::unique_ptr<TBitmap> TCustomImageList::makeImage(const TBitmap& strip, int32_t left, const TBitmap* mask,
                                                     bool useColorKey, TColor key) const {
  auto img = std::make_unique<TBitmap>(width_, height_, pf32bit);
  img->SetAlphaFormat(afDefined);
  const bool ownAlpha = strip.PixelFormat() == pf32bit && strip.AlphaFormat() == afDefined;
  for (int32_t y = 0; y < height_; ++y) {
    Byte* row = img->ScanLine(y);
    for (int32_t x = 0; x < width_; ++x) {
      Byte* p = row + x * 4;
      const int32_t sx = left + x;
      if (sx >= strip.Width() || y >= strip.Height()) {
        p[0] = p[1] = p[2] = p[3] = 0;
        continue;
      }
      TColor c = strip.GetPixel(sx, y);
      Byte a = ownAlpha ? strip.GetAlpha(sx, y) : 255;
      if (Masked) {
        if (mask && sx < mask->Width() && y < mask->Height() && (mask->GetPixel(sx, y) & 0xFFFFFF) == 0xFFFFFF) a = 0;
        if (useColorKey && (c & 0xFFFFFF) == (key & 0xFFFFFF)) a = 0;
      }
      p[0] = static_cast<Byte>((c >> 16) & 0xFF);
      p[1] = static_cast<Byte>((c >> 8) & 0xFF);
      p[2] = static_cast<Byte>(c & 0xFF);
      p[3] = a;
    }
  }
  return img;
}

void TCustomImageList::insertImages(const TBitmap& image, const TBitmap* mask, bool useColorKey, TColor key,
                                    Integer at) {
  if (image.Empty()) throw EInvalidOperation("Failed to read ImageList data from stream");
  const int32_t n = std::max(1, image.Width() / width_);
  std::vector<std::unique_ptr<TBitmap>> made;
  for (int32_t i = 0; i < n; ++i) made.push_back(makeImage(image, i * width_, mask, useColorKey, key));
  images_.insert(images_.begin() + at, std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
}

Integer TCustomImageList::Add(const TBitmap& image, const TBitmap* mask) {
  Integer first = Count();
  insertImages(image, mask, false, clNone, first);
  Change();
  return first;
}

Integer TCustomImageList::AddMasked(const TBitmap& image, TColor maskColor) {
  if (image.Empty()) throw EInvalidOperation("Failed to read ImageList data from stream");
  TColor key = maskColor == clDefault ? image.GetPixel(0, image.Height() - 1) : ColorToRGB(maskColor);
  Integer first = Count();
  insertImages(image, nullptr, true, key, first);
  Change();
  return first;
}

void TCustomImageList::checkIndex(Integer index) const {
  if (index < 0 || index >= Count()) indexError();
}

void TCustomImageList::Replace(Integer index, const TBitmap& image, const TBitmap* mask) {
  checkIndex(index);
  images_[static_cast<size_t>(index)] = makeImage(image, 0, mask, false, clNone);
  Change();
}

void TCustomImageList::Delete(Integer index) {
  checkIndex(index);
  images_.erase(images_.begin() + index);
  for (Integer& o : overlays_) {
    if (o == index) o = -1;
    else if (o > index) --o;
  }
  Change();
}

void TCustomImageList::Clear() {
  if (images_.empty()) return;
  images_.clear();
  std::fill(std::begin(overlays_), std::end(overlays_), -1);
  Change();
}

void TCustomImageList::GetBitmap(Integer index, TBitmap& image) const {
  checkIndex(index);
  image.Assign(*images_[static_cast<size_t>(index)]);
}

bool TCustomImageList::Overlay(Integer imageIndex, Integer overlay) {
  if (overlay < 0 || overlay > 14 || imageIndex < 0 || imageIndex >= Count()) return false;
  overlays_[overlay] = imageIndex;
  return true;
}

void TCustomImageList::Draw(TCanvas& canvas, int32_t x, int32_t y, Integer index, bool enabled) const {
  Draw(canvas, x, y, index, DrawingStyle, itImage, enabled);
}

void TCustomImageList::Draw(TCanvas& canvas, int32_t x, int32_t y, Integer index, TDrawingStyle style,
                            TImageType type, bool enabled) const {
  if (index < 0 || index >= Count()) return;
  const TBitmap& src = *images_[static_cast<size_t>(index)];
  if (style == dsNormal && BkColor != clNone && enabled) {
    TBrushData saved = canvas.Brush().Data();
    canvas.Brush().SetColor(BkColor);
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(Bounds(x, y, width_, height_));
    canvas.Brush().SetColor(saved.Color);
    canvas.Brush().SetStyle(saved.Style);
  }
  TBitmap out(width_, height_, pf32bit);
  out.SetAlphaFormat(afDefined);
  if (!enabled) {
    // The image's shape, embossed: a light copy one pixel down and right
    // under a shadow copy, as disabled buttons show their glyphs.
    const TColor light = ColorToRGB(clBtnHighlight), dark = ColorToRGB(clBtnShadow);
    auto put = [&](int32_t px, int32_t py, TColor c) {
      if (px >= width_ || py >= height_) return;
      Byte* p = out.ScanLine(py) + px * 4;
      p[0] = static_cast<Byte>((c >> 16) & 0xFF);
      p[1] = static_cast<Byte>((c >> 8) & 0xFF);
      p[2] = static_cast<Byte>(c & 0xFF);
      p[3] = 255;
    };
    for (int32_t py = 0; py < height_; ++py)
      for (int32_t px = 0; px < width_; ++px)
        if (src.GetAlpha(px, py) >= 128) put(px + 1, py + 1, light);
    for (int32_t py = 0; py < height_; ++py)
      for (int32_t px = 0; px < width_; ++px)
        if (src.GetAlpha(px, py) >= 128) put(px, py, dark);
  } else if (type == itMask) {
    // The mask: black where the image is, white elsewhere.
    for (int32_t py = 0; py < height_; ++py) {
      Byte* p = out.ScanLine(py);
      for (int32_t px = 0; px < width_; ++px, p += 4) {
        Byte v = src.GetAlpha(px, py) >= 128 ? 0 : 255;
        p[0] = p[1] = p[2] = v;
        p[3] = 255;
      }
    }
  } else {
    int percent = style == dsFocus ? 25 : style == dsSelected ? 50 : 0;
    TColor blend = ColorToRGB(BlendColor == clDefault || BlendColor == clNone ? clHighlight : BlendColor);
    for (int32_t py = 0; py < height_; ++py) {
      const Byte* s = src.ScanLine(py);
      Byte* p = out.ScanLine(py);
      for (int32_t px = 0; px < width_; ++px, s += 4, p += 4) {
        p[0] = mix(s[0], static_cast<Byte>((blend >> 16) & 0xFF), percent);
        p[1] = mix(s[1], static_cast<Byte>((blend >> 8) & 0xFF), percent);
        p[2] = mix(s[2], static_cast<Byte>(blend & 0xFF), percent);
        p[3] = s[3];
      }
    }
  }
  canvas.Draw(x, y, out);
}

void TCustomImageList::DrawOverlay(TCanvas& canvas, int32_t x, int32_t y, Integer index, Integer overlay,
                                   bool enabled) const {
  Draw(canvas, x, y, index, enabled);
  if (overlay >= 0 && overlay <= 14 && overlays_[overlay] >= 0) Draw(canvas, x, y, overlays_[overlay], enabled);
}

void TCustomImageList::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && changedInUpdate_) {
    changedInUpdate_ = false;
    Change();
  }
}

void TCustomImageList::RegisterChanges(TChangeLink* link) {
  if (!link || std::find(links_.begin(), links_.end(), link) != links_.end()) return;
  if (link->Sender && link->Sender != this) link->Sender->UnRegisterChanges(link);
  link->Sender = this;
  links_.push_back(link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* link) {
  auto it = std::find(links_.begin(), links_.end(), link);
  if (it == links_.end()) return;
  links_.erase(it);
  link->Sender = nullptr;
}

void TCustomImageList::Change() {
  if (updateCount_ > 0) {
    changedInUpdate_ = true;
    return;
  }
  if (OnChange) OnChange(this);
  // A link may unregister while it hears the change.
  std::vector<TChangeLink*> copy = links_;
  for (TChangeLink* l : copy)
    if (std::find(links_.begin(), links_.end(), l) != links_.end()) l->Change();
}

}  // namespace px
