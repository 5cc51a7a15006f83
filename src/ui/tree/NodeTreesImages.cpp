// The shared pictures of the trees: check box strips, button and utility
// glyphs and the splitter cursors, our own artwork compiled in as PNG
// resources and cut into image lists on first use.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <map>
#include <memory>
#include <mutex>

#include "platform/core/Resources.h"
#include "ui/tree/NodeTrees.h"
#include "ui/tree/NodeTreesImages.h"

namespace px {

// Generated at build time from resources/tree.
void RegisterTreeArtwork();

namespace {

void ensureArtwork() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterTreeArtwork(); });
}

void loadPicture(const std::string& name, TBitmap& picture) {
  ensureArtwork();
  std::shared_ptr<const TBytes> bytes = FindResource(name, "PNG");
  if (bytes) {
    TBitmapGraphic graphic;
    try {
      graphic.LoadFromBytes(*bytes);
      picture.Assign(graphic.bitmap);
    } catch (const Exception&) {
      picture.SetSize(0, 0);
    }
  }
  Assert(picture.Height() >= 1, "Internal image \"" + name + "\" is missing or corrupt.");
}

std::mutex& imageLoadLock() {
  static std::mutex m;
  return m;
}

}  // namespace

void LoadInternalImages(TCustomImageList& list, const std::string& resourceName) {
  std::lock_guard<std::mutex> guard(imageLoadLock());
  TBitmap strip;
  loadPicture(resourceName, strip);
  if (strip.PixelFormat() != TPixelFormat::pf32bit) strip.SetPixelFormat(TPixelFormat::pf32bit);
  const int32_t side = strip.Height();
  list.Clear();
  list.SetSize(side, side);
  const TColor key = strip.GetPixel(0, 0);
  for (int32_t i = 0; i < strip.Width() / side; ++i) {
    TBitmap piece(side, side, TPixelFormat::pf32bit);
    piece.Canvas().CopyRect(TRect(0, 0, side, side), strip, TRect(i * side, 0, (i + 1) * side, side));
    list.AddMasked(piece, key);
  }
}

TCustomImageList* SharedTreeImages(const std::string& resourceName) {
  static std::map<std::string, std::unique_ptr<TCustomImageList>> lists;
  auto& slot = lists[resourceName];
  if (!slot) {
    slot = std::make_unique<TCustomImageList>(nullptr, 16, 16);
    LoadInternalImages(*slot, resourceName);
  }
  return slot.get();
}

void LoadTreeCursors() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (auto [id, name] : {std::pair<TCursor, const char*>{crNTHeaderSplit, "NT_HEADERSPLIT"},
                            std::pair<TCursor, const char*>{crNTVertSplit, "NT_VERTSPLIT"}}) {
      TBitmap picture;
      loadPicture(name, picture);
      picture.SetPixelFormat(TPixelFormat::pf32bit);
      // The key colour at (0, 0) becomes transparent.
      const TColor key = picture.GetPixel(0, 0);
      TBitmap cursor(picture.Width(), picture.Height(), TPixelFormat::pf32bit);
      for (int32_t y = 0; y < picture.Height(); ++y)
        for (int32_t x = 0; x < picture.Width(); ++x) {
          const TColor c = picture.GetPixel(x, y);
          if (c != key) cursor.SetPixelColor(x, y, c);
        }
      cursor.SetAlphaFormat(afDefined);
      SetCursorSlot(id, cursor, {picture.Width() / 2, picture.Height() / 2});
    }
  });
}

}  // namespace px

// ---------------------------------------------------------------------------
// Check images the style draws

namespace px {

namespace {

// Images 1-20 drawn by the style (radio buttons, check boxes, tri-state
// boxes; normal, hot, pressed, disabled), 21-24 the push buttons of the
// artwork.
std::unique_ptr<TCustomImageList> makeSystemCheckImages(bool flat) {
  constexpr int side = 16;
  auto list = std::make_unique<TCustomImageList>(nullptr, side, side);
  const QColor key(0xFF, 0x00, 0xFF);
  auto add = [&](const QImage& image) {
    TBitmap b;
    b.FromQImage(image, TPixelFormat::pf32bit);
    list->AddMasked(b, clFuchsia);
  };
  QImage empty(side, side, QImage::Format_RGB32);
  empty.fill(key);
  add(empty);
  QStyle* style = QApplication::style();
  for (int i = 0; i < 20; ++i) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(key);
    if (style) {
      QPainter painter(&image);
      QStyleOptionButton option;
      option.rect = QRect(1, 1, side - 2, side - 2);
      option.state = QStyle::State_Enabled;
      switch (i % 4) {
        case 1: option.state |= QStyle::State_MouseOver; break;
        case 2: option.state |= QStyle::State_Sunken; break;
        case 3: option.state &= ~QStyle::State_Enabled; break;
        default: break;
      }
      const bool checked = (i >= 4 && i <= 7) || (i >= 12 && i <= 15);
      if (i >= 16)
        option.state |= QStyle::State_NoChange;
      else
        option.state |= checked ? QStyle::State_On : QStyle::State_Off;
      if (flat) option.features |= QStyleOptionButton::Flat;
      style->drawPrimitive(i < 8 ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox, &option,
                           &painter);
    }
    add(image);
  }
  TCustomImageList* source = SharedTreeImages(flat ? "NT_FLAT" : "NT_CHECK_DARK");
  for (int i = 21; i <= 24; ++i) {
    TBitmap b(side, side, TPixelFormat::pf32bit);
    b.Canvas().Brush().SetColor(clFuchsia);
    b.Canvas().FillRect(TRect(0, 0, side, side));
    source->Draw(b.Canvas(), (side - source->Width()) / 2, (side - source->Height()) / 2, i, true);
    list->AddMasked(b, clFuchsia);
  }
  return list;
}

}  // namespace

TCustomImageList* CheckImageListOfKind(int kind) {
  static const char* const names[] = {"NT_CHECK_LIGHT", "NT_CHECK_DARK", "NT_TICK_LIGHT",
                                      "NT_TICK_DARK",   "NT_FLAT",       "NT_XP"};
  if (kind >= 0 && kind <= 5) return SharedTreeImages(names[kind]);
  if (kind == 7 || kind == 8) {
    static std::unique_ptr<TCustomImageList> lists[2];
    auto& slot = lists[kind == 8 ? 1 : 0];
    if (!slot) slot = makeSystemCheckImages(kind == 7);
    return slot.get();
  }
  return nullptr;
}

}  // namespace px
