#pragma once
// Image lists: a strip of images of one size, drawn by index. Images are
// kept as 32-bit bitmaps with straight alpha; a masked image has alpha 0
// where its mask (or its mask colour) says transparent.
#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gui/Graphics.h"

namespace px {

class TCustomImageList;

// Tells its owner of changes of an image list it registered with.
class TChangeLink : public TObject {
 public:
  TChangeLink() = default;
  ~TChangeLink() override;
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;
  // The list registered with; nullptr once the list is gone.
  TCustomImageList* Sender = nullptr;
  TNotifyEvent OnChange;
  virtual void Change();
};

enum class TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
using enum TDrawingStyle;
enum class TImageType { itImage, itMask };
using enum TImageType;

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* owner);
  TCustomImageList(TComponent* owner, int32_t width, int32_t height);
  ~TCustomImageList() override;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Changing the size clears the list.
  void SetSize(int32_t width, int32_t height);
  void SetWidth(int32_t w) { SetSize(w, height_); }
  void SetHeight(int32_t h) { SetSize(width_, h); }
  Integer Count() const { return static_cast<Integer>(images_.size()); }

  // Adds the images of a strip: the bitmap is cut from the left into
  // Width() wide pieces (at least one). Mask: 1-bit or any bitmap whose
  // white pixels mark transparency; nullptr keeps the image's own alpha
  // (32-bit afDefined) or makes it opaque. Answers the first new index.
  Integer Add(const TBitmap& image, const TBitmap* mask = nullptr);
  // Pixels of maskColor become transparent (clDefault: the bottom-left pixel).
  Integer AddMasked(const TBitmap& image, TColor maskColor);
  void Replace(Integer index, const TBitmap& image, const TBitmap* mask = nullptr);
  void Delete(Integer index);
  void Clear();
  // Copies image Index into the bitmap (32-bit, alpha defined).
  void GetBitmap(Integer index, TBitmap& image) const;

  // Draws image Index with its top-left corner at (x, y); disabled images are
  // drawn embossed in clBtnHighlight and clBtnShadow. An index outside the
  // list draws nothing.
  void Draw(TCanvas& canvas, int32_t x, int32_t y, Integer index, bool enabled = true) const;
  void Draw(TCanvas& canvas, int32_t x, int32_t y, Integer index, TDrawingStyle style, TImageType type,
            bool enabled = true) const;
  // Draws the image with overlay image number overlay (0..14, set by Overlay).
  void DrawOverlay(TCanvas& canvas, int32_t x, int32_t y, Integer index, Integer overlay, bool enabled = true) const;
  // Makes image imageIndex the overlay number overlay (0..14); false outside.
  bool Overlay(Integer imageIndex, Integer overlay);

  // Background filled under dsNormal images (clNone: none).
  TColor BkColor = clNone;
  // Colour mixed in for dsFocus (25 %) and dsSelected (50 %); clDefault is
  // clHighlight.
  TColor BlendColor = clDefault;
  TDrawingStyle DrawingStyle = dsNormal;
  bool Masked = true;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  void RegisterChanges(TChangeLink* link);
  void UnRegisterChanges(TChangeLink* link);
  TNotifyEvent OnChange;

 protected:
  // Tells OnChange and every change link (once per outermost update).
  virtual void Change();

 private:
  std::unique_ptr<TBitmap> makeImage(const TBitmap& strip, int32_t left, const TBitmap* mask, bool useColorKey,
                                     TColor key) const;
  void insertImages(const TBitmap& image, const TBitmap* mask, bool useColorKey, TColor key, Integer at);
  void checkIndex(Integer index) const;
  int32_t width_ = 16;
  int32_t height_ = 16;
  std::vector<std::unique_ptr<TBitmap>> images_;
  Integer overlays_[15];
  std::vector<TChangeLink*> links_;
  int updateCount_ = 0;
  bool changedInUpdate_ = false;
};

class TImageList : public TCustomImageList {
 public:
  using TCustomImageList::TCustomImageList;
};

}  // namespace px
