#include "pdf/gui/UnitPDFViewer.h"

#include <cxxabi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "pdf/UnitFastCompressor.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFPrinting.h"
#include "platform/core/Debug.h"
#include "platform/core/CodePages.h"
#include "platform/gui/Forms.h"

namespace px {

namespace {

// A page part is never larger than an A4 page at 400 %: the zoom is held
// below the value at which the largest page would pass that.
constexpr double kA4Area = 595.276 * 841.89;
constexpr double kMaxZoomOnA4 = 400;
// Destinations that lead on to further destinations are followed this far.
constexpr int kMaxDestinationHops = 32;

// The class name of an exception as the red error text of a part shows it.
std::string exceptionClassName(const std::exception& e) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
  std::string text = status == 0 && name ? name : typeid(e).name();
  std::free(name);
  if (text.starts_with("px::")) text.erase(0, 4);
  return text;
}

bool pageBox(TPDFCollection& document, int32_t pageNumber, TPDFBox& box) {
  auto usable = [](const TPDFBox& b) { return b.Left != b.Right && b.Bottom != b.Top; };
  if (document.GetCropBox(pageNumber, box) && usable(box)) return true;
  return document.GetMediaBox(pageNumber, box) && usable(box);
}

}  // namespace

TPDFPagePartCacheItem::~TPDFPagePartCacheItem() { delete Bitmap; }

TPDFViewer::TPDFViewer(TComponent* owner)
    : TBaseViewer(owner), renderer_(std::make_unique<TPDFRenderer>()), cache_(CreateMemDataSet()) {
  cache_->SetRecordClass(MemRecordClass<TPDFPagePartCacheItem>());
  cache_->AddField(mftInteger, "Key", 0);
  cacheIndex_ = cache_->AddFieldIndex(0, mitUnorderedUnique);
  TabStop = true;
}

TPDFViewer::~TPDFViewer() {
  cache_->Clear();
  freeDocument();
}

void TPDFViewer::freeDocument() {
  hovered_ = pressed_ = nullptr;
  renderer_->SetCollection(nullptr);
  if (owned_) delete document_;
  document_ = nullptr;
  owned_ = false;
}

void TPDFViewer::LoadFromStream(TStream& stream) {
  auto reader = std::make_unique<TPDFReader>(stream, -1);
  SetDocument(reader.release(), true);
}

void TPDFViewer::SetDocument(TPDFCollection* collection, bool owned) {
  cache_->Clear();
  cacheBytes_ = 0;
  if (collection != document_) freeDocument();
  hovered_ = pressed_ = nullptr;
  document_ = collection;
  owned_ = owned && collection;
  buildLayout();
  ScrollTo(0, 0);
  Invalidate();
  if (OnCollectionChange) OnCollectionChange(this);
}

void TPDFViewer::Clear() {
  cache_->Clear();
  cacheBytes_ = 0;
  freeDocument();
  buildLayout();
  ScrollTo(0, 0);
  if (OnCollectionChange) OnCollectionChange(this);
}

float TPDFViewer::zoomLimit() const {
  if (!document_) return kMaxZoomOnA4;
  double largest = 0;
  const int32_t count = document_->GetPageCount();
  for (int32_t n = 1; n <= count; ++n) {
    TPDFBox box;
    if (pageBox(*document_, n, box))
      largest = std::max(largest, std::fabs(double(box.Right) - box.Left) * std::fabs(double(box.Top) - box.Bottom));
  }
  if (largest <= 0) return kMaxZoomOnA4;
  return static_cast<float>(kMaxZoomOnA4 * std::sqrt(kA4Area / largest));
}

void TPDFViewer::buildLayout() {
  cache_->Clear();
  cacheBytes_ = 0;
  renderer_->SetCollection(document_);
  pages_.clear();
  int32_t y = 0, widest = 0;
  if (document_) {
    zoom_ = std::min(zoom_, zoomLimit());
    const int32_t count = document_->GetPageCount();
    const auto percent = static_cast<int32_t>(std::lround(zoom_));
    pages_.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      TPDFBox box;
      Assert(pageBox(*document_, i + 1, box), "TPDFViewer: page without a page box");
      renderer_->PageNumber = i + 1;
      int32_t w = 0, h = 0;
      renderer_->GetPageSizeInPixels(percent, w, h);
      TPDFPageInfo info;
      TPDFPagePart part;
      part.Key = i;
      part.Left = box.Left;
      part.Bottom = box.Bottom;
      part.Right = box.Right;
      part.Top = box.Top;
      part.Rect = Rect(5, y + 5, w + 5, y + h + 5);
      info.Frame = part.Rect;
      info.Frame.Inflate(1, 1);
      info.Parts.push_back(part);
      pages_.push_back(std::move(info));
      y += h + 10;
      widest = std::max(widest, w);
    }
  }
  SetExtent(widest + 10, y);
}

void TPDFViewer::SetZoom(float value) {
  if (!(value > 0)) return;
  if (document_) value = std::min(value, zoomLimit());
  const double ratio = zoom_ > 0 ? double(value) / zoom_ : 1.0;
  const auto x = static_cast<int32_t>(std::lround(ratio * ScrollX()));
  const auto y = static_cast<int32_t>(std::lround(ratio * ScrollY()));
  zoom_ = value;
  buildLayout();
  ScrollTo(x, y);
}

void TPDFViewer::SetZoomMode(TPDFZoomMode value) {
  zoomMode_ = value;
  // The fit modes are kept for callers but apply no zoom of their own.
  if (value != zmPercentage) Resize();
}

void TPDFViewer::SetCacheSize(int32_t value) {
  cacheSize_ = value;
  trimCache(nullptr);
}

void TPDFViewer::trimCache(const TMemRecord* keep) {
  while (cacheBytes_ > cacheSize_) {
    auto* last = static_cast<TPDFPagePartCacheItem*>(cache_->Last());
    if (!last || last == keep || last->Bitmap) break;
    cacheBytes_ -= static_cast<int64_t>(last->Compressed.size());
    delete last;
  }
}

void TPDFViewer::ShowPage(int32_t n) {
  if (!document_ || n < 1 || n > static_cast<int32_t>(pages_.size())) return;
  ScrollTo(0, pages_[static_cast<size_t>(n - 1)].Frame.Top);
}

bool TPDFViewer::PageAtPos(int32_t x, int32_t y, int32_t& page, double& pdfX, double& pdfY) {
  const TPoint d = ClientToDocument({x, y});
  for (size_t i = 0; i < pages_.size(); ++i) {
    const TPDFPagePart& p = pages_[i].Parts.front();
    if (!p.Rect.Contains(d)) continue;
    page = static_cast<int32_t>(i) + 1;
    pdfX = p.Left + (double(p.Right) - p.Left) * (d.X - p.Rect.Left) / p.Rect.Width();
    pdfY = p.Bottom + (double(p.Top) - p.Bottom) * (p.Rect.Bottom - d.Y) / p.Rect.Height();
    return true;
  }
  return false;
}

TPDFDictionary* TPDFViewer::AnnotationAtPos(int32_t x, int32_t y) {
  int32_t page = 0;
  double px = 0, py = 0;
  if (!document_ || !PageAtPos(x, y, page, px, py)) return nullptr;
  TPDFArray* annots = nullptr;
  try {
    annots = document_->GetPage(page)->GetObject<TPDFArray>(document_, "Annots");
  } catch (const Exception& e) {
    OutputDebugString("TPDFViewer: Annots unreadable: " + e.Message());
    return nullptr;
  }
  if (!annots) return nullptr;
  for (int32_t i = 0; i < annots->Count(); ++i) {
    // A damaged annotation under the mouse must not stop the others, nor
    // leave the mouse handler with an exception.
    try {
      auto* annot = annots->GetObject<TPDFDictionary>(document_, i);
      if (!annot) continue;
      auto* rect = annot->GetObject<TPDFArray>(document_, "Rect");
      if (!rect || rect->Count() != 4) {
        OutputDebugString("TPDFViewer: annotation without a Rect of four numbers skipped");
        continue;
      }
      double v[4];
      for (int32_t k = 0; k < 4; ++k) v[k] = static_cast<double>(rect->GetRequiredObject<TPDFNumeric>(document_, k)->AsFloat());
      if (px >= std::min(v[0], v[2]) && px <= std::max(v[0], v[2]) && py >= std::min(v[1], v[3]) &&
          py <= std::max(v[1], v[3]))
        return annot;
    } catch (const Exception& e) {
      OutputDebugString("TPDFViewer: annotation skipped: " + e.Message());
    }
  }
  return nullptr;
}

bool TPDFViewer::Print(int32_t fromPage, int32_t toPage, int32_t copies, bool collate) {
  auto printing = std::make_unique<TPDFPrinting>();
  printing->SetDocument(document_);
  if (OnPrint) OnPrint(this, printing.get());
  return printing->Print("", fromPage, toPage, copies, collate);
}

// ---------------------------------------------------------------------------
// Painting and the part cache

void TPDFViewer::PaintBackground(const TRect& rect) {
  TBaseViewer::PaintBackground(rect);
  TBitmap* buffer = BackBuffer();
  if (!buffer) return;
  TCanvas& canvas = buffer->Canvas();
  const TPoint origin = BufferRect().TopLeft();
  for (const TPDFPageInfo& page : pages_) {
    TRect frame = page.Frame;
    frame.Offset(-origin.X, -origin.Y);
    TRect hit;
    if (!IntersectRect(hit, frame, rect)) continue;
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetColor(clBlack);
    canvas.Pen().SetWidth(1);
    canvas.Brush().SetStyle(bsClear);
    canvas.Rectangle(frame);
    for (const TPDFPagePart& part : page.Parts) {
      TRect at = part.Rect;
      at.Offset(-origin.X, -origin.Y);
      TRect visible;
      if (!IntersectRect(visible, at, rect) || !IntersectRect(visible, visible, Rect(0, 0, buffer->Width(), buffer->Height())))
        continue;
      renderer_->PageNumber = part.Key + 1;
      TBitmap* bitmap = partBitmap(part);
      if (!bitmap) continue;
      // Both are 24-bit bitmaps: the rows of the strip are copied across.
      const size_t bytes = static_cast<size_t>(visible.Width()) * 3;
      for (int32_t y = visible.Top; y < visible.Bottom; ++y) {
        const Byte* from = bitmap->ScanLine(y - at.Top) + static_cast<size_t>(visible.Left - at.Left) * 3;
        std::memcpy(buffer->ScanLine(y) + static_cast<size_t>(visible.Left) * 3, from, bytes);
      }
    }
  }
}

TBitmap* TPDFViewer::partBitmap(const TPDFPagePart& part) {
  const int32_t w = part.Rect.Width(), h = part.Rect.Height();
  if (w <= 0 || h <= 0) return nullptr;
  auto* item = static_cast<TPDFPagePartCacheItem*>(cache_->FindInteger(cacheIndex_, part.Key));
  if (item && item->Bitmap) return item->Bitmap;
  if (item) {
    cacheBytes_ -= static_cast<int64_t>(item->Compressed.size());
    decompressItem(*item);
  } else {
    item = static_cast<TPDFPagePartCacheItem*>(cache_->AddRecord());
    item->SetInteger(0, part.Key);
    auto bitmap = std::make_unique<TBitmap>(w, h, pf24bit);
    renderPart(part, *bitmap);
    item->Width = w;
    item->Height = h;
    item->Bitmap = bitmap.release();
  }
  item->MoveToFront();
  // At most four parts stay uncompressed: when the next three hold their
  // bitmaps, the fifth most recent is compressed.
  TMemRecord* next = item->GetNext();
  int held = 0;
  while (held < 3 && next && static_cast<TPDFPagePartCacheItem*>(next)->Bitmap) {
    next = next->GetNext();
    ++held;
  }
  if (held == 3 && next && static_cast<TPDFPagePartCacheItem*>(next)->Bitmap) {
    auto* fifth = static_cast<TPDFPagePartCacheItem*>(next);
    compressItem(*fifth);
    cacheBytes_ += static_cast<int64_t>(fifth->Compressed.size());
  }
  trimCache(item);
  return item->Bitmap;
}

void TPDFViewer::renderPart(const TPDFPagePart& part, TBitmap& bitmap) {
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(clWhite);
  canvas.FillRect(Rect(0, 0, bitmap.Width(), bitmap.Height()));
  std::string kind, message;
  try {
    renderer_->DC = canvas.Device();
    TPDFBox box;
    box.Left = part.Left;
    box.Bottom = part.Bottom;
    box.Right = part.Right;
    box.Top = part.Top;
    renderer_->Render(box, Rect(0, 0, bitmap.Width(), bitmap.Height()), 2);
  } catch (const std::exception& e) {
    kind = exceptionClassName(e);
    const auto* own = dynamic_cast<const Exception*>(&e);
    message = own ? own->Message() : e.what();
  } catch (...) {
    kind = "Exception";
    message = "Unknown failure";
  }
  renderer_->DC = nullptr;
  if (kind.empty()) return;
  // A page that cannot be drawn shows why, and is kept like any picture.
  OutputDebugString("TPDFViewer: page " + std::to_string(part.Key + 1) + ": " + kind + ": " + message);
  canvas.Font().Assign(Font());
  canvas.Font().SetColor(RGB(255, 0, 0));
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOut(0, 0, kind);
  canvas.TextOut(0, canvas.TextHeight(" "), message);
}

void TPDFViewer::compressItem(TPDFPagePartCacheItem& item) {
  Assert(item.Bitmap && item.Bitmap->PixelFormat() == pf24bit, "TPDFViewer: no 24-bit bitmap to compress");
  TBitmap& bitmap = *item.Bitmap;
  item.Width = bitmap.Width();
  item.Height = bitmap.Height();
  const int64_t size = int64_t(bitmap.Height()) * bitmap.BytesPerLine();
  const Byte* pixels = bitmap.ScanLine(0);
  item.Compressed.resize(static_cast<size_t>(FastCompressBound(size)));
  auto table = AllocFastHashTable();
  const int32_t n = FastCompress(pixels, pixels + size, item.Compressed.data(),
                                 static_cast<int64_t>(item.Compressed.size()), *table);
  Assert(n >= 0, "TPDFViewer: compression failed");
  item.Compressed.resize(static_cast<size_t>(n));
  item.Compressed.shrink_to_fit();
  delete item.Bitmap;
  item.Bitmap = nullptr;
}

void TPDFViewer::decompressItem(TPDFPagePartCacheItem& item) {
  Assert(!item.Bitmap, "TPDFViewer: part already holds a bitmap");
  auto bitmap = std::make_unique<TBitmap>(item.Width, item.Height, pf24bit);
  const int64_t size = int64_t(bitmap->Height()) * bitmap->BytesPerLine();
  Byte* pixels = bitmap->ScanLine(0);
  const int32_t n = FastDecompress(item.Compressed.data(), item.Compressed.data() + item.Compressed.size(), pixels,
                                   pixels + size);
  Assert(n == size, "TPDFViewer: decompressed part has the wrong size");
  item.Compressed = TBytes();
  item.Bitmap = bitmap.release();
}

// ---------------------------------------------------------------------------
// Mouse, annotations, links

void TPDFViewer::hover(int32_t x, int32_t y) {
  TPDFDictionary* under = interactive_ ? AnnotationAtPos(x, y) : nullptr;
  if (under == hovered_) return;
  bool handled = true;
  if (hovered_ && OnAnnotation) OnAnnotation(this, hovered_, akMouseLeave, handled);
  hovered_ = under;
  handled = true;
  if (hovered_ && OnAnnotation) OnAnnotation(this, hovered_, akMouseEnter, handled);
  if (handled) SetCursor(hovered_ ? crHandPoint : crDefault);
}

// A damaged annotation or link must not let an exception out of a mouse
// handler: it is reported on the debug output instead.
void TPDFViewer::guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& e) {
    const auto* own = dynamic_cast<const Exception*>(&e);
    OutputDebugString("TPDFViewer: " + (own ? own->Message() : std::string(e.what())));
  }
}

void TPDFViewer::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const std::weak_ptr<char> alive = LifeToken();
  TBaseViewer::MouseDown(button, shift, x, y);
  if (alive.expired()) return;
  guarded([&] {
    hover(x, y);
    bool handled = true;
    if (hovered_ && OnAnnotation) OnAnnotation(this, hovered_, akMouseDown, handled);
    if (alive.expired() || !handled) return;
    pressed_ = hovered_;
    if (pressed_) SetMode(vmUserDefined);
  });
}

void TPDFViewer::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  const std::weak_ptr<char> alive = LifeToken();
  TBaseViewer::MouseMove(shift, x, y);
  if (!alive.expired()) guarded([&] { hover(x, y); });
}

void TPDFViewer::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const std::weak_ptr<char> alive = LifeToken();
  TBaseViewer::MouseUp(button, shift, x, y);
  if (alive.expired()) return;
  guarded([&] {
    hover(x, y);
    bool handled = true;
    if (hovered_ && OnAnnotation) OnAnnotation(this, hovered_, akMouseUp, handled);
    if (alive.expired() || !handled || !pressed_ || pressed_ != hovered_) return;
    if (OnAnnotation) OnAnnotation(this, pressed_, akMouseClick, handled);
    if (!alive.expired() && handled) activate(pressed_);
  });
  if (alive.expired()) return;
  pressed_ = nullptr;
  SetMode(vmHandDrag);
}

void TPDFViewer::activate(TPDFDictionary* annotation) {
  const std::string subtype = annotation->GetName(document_, "Subtype");
  if (subtype.empty()) return;
  if (subtype != "Link") {
    OutputDebugString("Unknown Annotation: " + AsPDFText(*annotation));
    return;
  }
  if (auto* action = annotation->GetObject<TPDFDictionary>(document_, "A")) PerformAction(action);
  else FollowDestination(annotation->GetObject(document_, "Dest"));
}

void TPDFViewer::PerformAction(TPDFDictionary* action) {
  if (!action) return;
  bool handled = false;
  if (OnAction) OnAction(this, action, handled);
  if (handled) return;
  const std::string kind = action->GetName(document_, "S");
  if (kind == "GoTo") {
    FollowDestination(action->GetObject(document_, "D"));
  } else if (kind == "URI") {
    if (auto* uri = action->GetObject<TPDFString>(document_, "URI")) openURI(uri->Data);
  } else {
    OutputDebugString("Unknown action: " + AsPDFText(*action));
  }
}

void TPDFViewer::openURI(const std::string& uri) {
  // Only web and mail addresses go to the shell: a document must not start
  // programs or open local files.
  const std::string lower = LowerCase(uri);
  if (lower.starts_with("http://") || lower.starts_with("https://") || lower.starts_with("mailto:"))
    ShellOpen(uri);
  else
    OutputDebugString("TPDFViewer: URI not opened: " + uri);
}

void TPDFViewer::FollowDestination(TPDFObject* destination) {
  for (int hop = 0; destination; ++hop) {
    if (!document_) return;
    if (hop == kMaxDestinationHops) {
      OutputDebugString("TPDFViewer: destination leads on too far: " + AsPDFText(*destination));
      return;
    }
    if (auto* ref = dynamic_cast<TPDFReference*>(destination)) {
      destination = document_->ResolveReference(*ref);
      continue;
    }
    if (auto* array = dynamic_cast<TPDFArray*>(destination)) {
      if (array->Count() > 1) {
        TPDFObject* first = array->GetObject(document_, 0);
        int32_t page = -1;
        if (auto* number = dynamic_cast<TPDFNumeric*>(first)) page = number->AsInteger() + 1;
        else if (auto* dict = dynamic_cast<TPDFDictionary*>(first)) page = document_->IndexOfPage(dict);
        if (page >= 0) ShowPage(page);
        return;
      }
    } else if (auto* dict = dynamic_cast<TPDFDictionary*>(destination)) {
      destination = dict->GetObject(document_, "D");
      continue;
    } else if (dynamic_cast<TPDFName*>(destination) || dynamic_cast<TPDFString*>(destination)) {
      auto* reader = dynamic_cast<TPDFReader*>(document_);
      const std::string key = dynamic_cast<TPDFName*>(destination) ? static_cast<TPDFName*>(destination)->Name
                                                                     : static_cast<TPDFString*>(destination)->Data;
      destination = reader ? reader->FindInNameTree("Dests", key) : nullptr;
      continue;
    }
    OutputDebugString("Unknown destination: " + AsPDFText(*destination));
    return;
  }
}

}  // namespace px
