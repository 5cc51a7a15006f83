#include "pdf/gui/UnitViewer.h"

#include <algorithm>
#include <cstring>

namespace px {

namespace {

constexpr int32_t kWheelDelta = 120;
constexpr int32_t kWheelStep = 30;
constexpr int32_t kArrowStep = 10;

int32_t clampScroll(int32_t value, int32_t extent, int32_t view) {
  return std::clamp(value, 0, std::max(0, extent - view));
}

}  // namespace

TBaseViewer::TBaseViewer(TComponent* owner) : TCustomControl(owner) {
  SetColor(clGray);
  hbar_ = CreateComponent<TScrollBar>(this);
  hbar_->SetKind(sbHorizontal);
  hbar_->SetParent(this);
  vbar_ = CreateComponent<TScrollBar>(this);
  vbar_->SetKind(sbVertical);
  vbar_->SetParent(this);
  hbarHeight_ = hbar_->Height();
  vbarWidth_ = vbar_->Width();
  // Arrow clicks move as far as the arrow keys do.
  hbar_->SetSmallChange(kArrowStep);
  vbar_->SetSmallChange(kArrowStep);
  hbar_->OnScroll = [this](TObject*, TScrollCode, Integer& pos) {
    ScrollTo(pos, KeepPosition);
    pos = scrollX_;
  };
  vbar_->OnScroll = [this](TObject*, TScrollCode, Integer& pos) {
    ScrollTo(KeepPosition, pos);
    pos = scrollY_;
  };
  SetBounds(Left(), Top(), 100, 75);
  SetExtent(100, 75);
}

TBaseViewer::~TBaseViewer() = default;

void TBaseViewer::SetExtent(int32_t width, int32_t height) {
  extentWidth_ = std::max(0, width);
  extentHeight_ = std::max(0, height);
  Resize();
  buffer_.reset();
  bufferRect_ = TRect{};
  Invalidate();
}

// One axis of the layout: with its bar the view is the client size; without,
// the document is centred and the extra pixel of an odd difference goes
// after it.
void TBaseViewer::layoutAxis(TScrollBar& bar, bool needed, const TRect& bounds, int32_t size, int32_t extent,
                             int32_t scroll, int32_t& before, int32_t& after, int32_t& view) {
  if (needed) {
    bar.SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
    if (extent > 0) {
      // Page size first to 0, so that the old page cannot clamp the position.
      bar.SetPageSize(0);
      bar.SetParams(scroll, 0, extent - 1);
      bar.SetPageSize(size);
      bar.SetLargeChange(size);
    }
    before = after = 0;
    view = size;
  } else {
    before = (size - extent) / 2;
    after = size - extent - before;
    view = extent;
  }
  bar.SetVisible(needed);
}

void TBaseViewer::Resize() {
  TCustomControl::Resize();
  if (!hbar_ || !vbar_) return;
  int32_t w = Width(), h = Height();
  bool needV = h < extentHeight_;
  if (needV) w -= vbarWidth_;
  const bool needH = w < extentWidth_;
  if (needH) {
    h -= hbarHeight_;
    if (!needV && h < extentHeight_) {
      needV = true;
      w -= vbarWidth_;
    }
  }
  w = std::max(w, 1);
  h = std::max(h, 1);
  scrollX_ = clampScroll(scrollX_, extentWidth_, w);
  scrollY_ = clampScroll(scrollY_, extentHeight_, h);

  layoutAxis(*vbar_, needV, Bounds(w, 0, vbarWidth_, h), h, extentHeight_, scrollY_, marginTop_, marginBottom_,
             viewHeight_);
  layoutAxis(*hbar_, needH, Bounds(0, h, w, hbarHeight_), w, extentWidth_, scrollX_, marginLeft_, marginRight_,
             viewWidth_);
  Invalidate();
}

void TBaseViewer::ScrollTo(int32_t x, int32_t y) {
  if (x == KeepPosition) x = scrollX_;
  if (y == KeepPosition) y = scrollY_;
  scrollX_ = clampScroll(x, extentWidth_, viewWidth_);
  scrollY_ = clampScroll(y, extentHeight_, viewHeight_);
  if (hbar_->Visible() && hbar_->Position() != scrollX_) hbar_->SetPosition(scrollX_);
  if (vbar_->Visible() && vbar_->Position() != scrollY_) vbar_->SetPosition(scrollY_);
  DoScroll();
  // The buffer follows at once, so that only the strips that came into view
  // are painted; the screen shows it at the next paint. A control that is
  // not on the screen paints nothing now and all of the view when it shows.
  if (Showing()) {
    updateBuffer();
  } else {
    buffer_.reset();
    bufferRect_ = TRect{};
  }
  Invalidate();
}

void TBaseViewer::ScrollBy(int32_t dx, int32_t dy) {
  int32_t x = KeepPosition, y = KeepPosition;
  if (hbar_->Visible() && dx != 0) x = scrollX_ + dx;
  if (vbar_->Visible() && dy != 0) y = scrollY_ + dy;
  ScrollTo(x, y);
}

void TBaseViewer::DoScroll() {
  if (OnScroll) OnScroll(this);
}

TPoint TBaseViewer::ClientToDocument(TPoint p) const {
  return {p.X + scrollX_ - marginLeft_, p.Y + scrollY_ - marginTop_};
}

TCanvas* TBaseViewer::BufferCanvas() { return buffer_ ? &buffer_->Canvas() : nullptr; }

void TBaseViewer::PaintBackground(const TRect& rect) {
  if (!buffer_) return;
  TCanvas& c = buffer_->Canvas();
  c.Pen().SetStyle(psClear);
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(Color());
  c.FillRect(rect);
}

void TBaseViewer::SetMode(TViewerMode value) {
  mode_ = value;
  endDrag();
}

void TBaseViewer::endDrag() { dragStart_ = {KeepPosition, KeepPosition}; }

// Copies a block of rows of 24-bit pixels; within one bitmap the rows are
// taken in the order that never overwrites a row before it is read.
void TBaseViewer::moveRows(TBitmap& from, TBitmap& to, TPoint fromTopLeft, TPoint toTopLeft, int32_t width,
                           int32_t height) {
  const size_t bytes = static_cast<size_t>(width) * 3;
  const bool upward = &from != &to || toTopLeft.Y <= fromTopLeft.Y;
  for (int32_t i = 0; i < height; ++i) {
    const int32_t row = upward ? i : height - 1 - i;
    const Byte* src = from.ScanLine(fromTopLeft.Y + row) + static_cast<size_t>(fromTopLeft.X) * 3;
    Byte* dst = to.ScanLine(toTopLeft.Y + row) + static_cast<size_t>(toTopLeft.X) * 3;
    std::memmove(dst, src, bytes);
  }
}

void TBaseViewer::updateBuffer() {
  const TRect fresh = Rect(scrollX_, scrollY_, scrollX_ + viewWidth_, scrollY_ + viewHeight_);
  if (!buffer_) {
    buffer_ = std::make_unique<TBitmap>(viewWidth_, viewHeight_, pf24bit);
    bufferRect_ = fresh;
    PaintBackground(Rect(0, 0, viewWidth_, viewHeight_));
    return;
  }
  const TRect old = bufferRect_;
  bufferRect_ = fresh;
  TRect overlap;
  const bool overlaps = IntersectRect(overlap, old, fresh);
  if (buffer_->Width() != viewWidth_ || buffer_->Height() != viewHeight_) {
    auto replacement = std::make_unique<TBitmap>(viewWidth_, viewHeight_, pf24bit);
    if (overlaps)
      moveRows(*buffer_, *replacement, overlap.TopLeft() - old.TopLeft(), overlap.TopLeft() - fresh.TopLeft(),
               overlap.Width(), overlap.Height());
    buffer_ = std::move(replacement);
  } else if (overlaps && old != fresh) {
    moveRows(*buffer_, *buffer_, overlap.TopLeft() - old.TopLeft(), overlap.TopLeft() - fresh.TopLeft(),
             overlap.Width(), overlap.Height());
  }
  if (!overlaps) {
    PaintBackground(Rect(0, 0, viewWidth_, viewHeight_));
    return;
  }
  const int32_t t = overlap.Top - fresh.Top, l = overlap.Left - fresh.Left;
  const int32_t r = fresh.Right - overlap.Right, b = fresh.Bottom - overlap.Bottom;
  if (t > 0) PaintBackground(Rect(0, 0, viewWidth_, t));
  if (l > 0) PaintBackground(Rect(0, t, l, viewHeight_ - b));
  if (b > 0) PaintBackground(Rect(0, viewHeight_ - b, viewWidth_, viewHeight_));
  if (r > 0) PaintBackground(Rect(viewWidth_ - r, t, viewWidth_, viewHeight_ - b));
}

void TBaseViewer::Paint() {
  updateBuffer();
  TCanvas& c = Canvas();
  c.Draw(marginLeft_, marginTop_, *buffer_);
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(bsSolid);
  const int32_t w = Width() - (vbar_->Visible() ? vbarWidth_ : 0);
  const int32_t h = Height() - (hbar_->Visible() ? hbarHeight_ : 0);
  if (marginTop_ > 0) c.FillRect(Rect(0, 0, w, marginTop_));
  if (marginBottom_ > 0) c.FillRect(Rect(0, h - marginBottom_, w, h));
  if (marginLeft_ > 0) c.FillRect(Rect(0, marginTop_, marginLeft_, h - marginBottom_));
  if (marginRight_ > 0) c.FillRect(Rect(w - marginRight_, marginTop_, w, h - marginBottom_));
  if (hbar_->Visible() && vbar_->Visible())
    c.FillRect(Bounds(hbar_->Left() + hbar_->Width(), vbar_->Top() + vbar_->Height(), vbarWidth_, hbarHeight_));
  if (OnPaint) OnPaint(this);
}

void TBaseViewer::KeyDown(Word& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  switch (key) {
    case VK_SPACE:
      if (mode_ == vmHandDrag) ScrollBy(0, viewHeight_);
      break;
    case VK_NEXT: ScrollBy(0, viewHeight_); break;
    case VK_PRIOR: ScrollBy(0, -viewHeight_); break;
    case VK_END: ScrollBy(0, extentHeight_); break;
    case VK_HOME: ScrollBy(0, -extentHeight_); break;
    case VK_LEFT: ScrollBy(-kArrowStep, 0); break;
    case VK_UP: ScrollBy(0, -kArrowStep); break;
    case VK_RIGHT: ScrollBy(kArrowStep, 0); break;
    case VK_DOWN: ScrollBy(0, kArrowStep); break;
    default: break;
  }
}

bool TBaseViewer::DoMouseWheelDown(TShiftState, TPoint) {
  ScrollBy(0, kWheelStep);
  return true;
}

bool TBaseViewer::DoMouseWheelUp(TShiftState, TPoint) {
  ScrollBy(0, -kWheelStep);
  return true;
}

void TBaseViewer::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ERASEBKGND: m.Result = 1; return;
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS; return;
    case WM_MOUSEWHEEL: {
      // Fine-grained wheels send parts of a notch: each whole notch scrolls
      // one step.
      const int16_t delta = static_cast<int16_t>((m.WParam >> 16) & 0xFFFF);
      const TShiftState shift;
      const TPoint at{LoWordSigned(m.LParam), HiWordSigned(m.LParam)};
      wheelAccumulator_ += delta;
      bool handled = false;
      while (wheelAccumulator_ >= kWheelDelta || wheelAccumulator_ <= -kWheelDelta) {
        if (wheelAccumulator_ < 0) {
          wheelAccumulator_ += kWheelDelta;
          handled = DoMouseWheelDown(shift, at);
        } else {
          wheelAccumulator_ -= kWheelDelta;
          handled = DoMouseWheelUp(shift, at);
        }
      }
      m.Result = handled || delta != 0 ? 1 : 0;
      return;
    }
    default: TCustomControl::WndProc(m);
  }
}

void TBaseViewer::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const std::weak_ptr<char> alive = LifeToken();
  TCustomControl::MouseDown(button, shift, x, y);
  if (alive.expired()) return;
  if (!Focused() && CanFocus()) SetFocus();
  if (mode_ == vmHandDrag && button == mbLeft) {
    dragStart_ = {x, y};
    dragScroll_ = {scrollX_, scrollY_};
  }
}

void TBaseViewer::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  const std::weak_ptr<char> alive = LifeToken();
  TCustomControl::MouseMove(shift, x, y);
  if (alive.expired()) return;
  if (Dragging()) ScrollTo(dragStart_.X + dragScroll_.X - x, dragStart_.Y + dragScroll_.Y - y);
}

void TBaseViewer::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const std::weak_ptr<char> alive = LifeToken();
  TCustomControl::MouseUp(button, shift, x, y);
  if (alive.expired()) return;
  if (Dragging()) ScrollTo(dragStart_.X + dragScroll_.X - x, dragStart_.Y + dragScroll_.Y - y);
  endDrag();
}

}  // namespace px
