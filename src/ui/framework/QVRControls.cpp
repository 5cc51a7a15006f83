#include "ui/framework/QVRControls.h"

#include <QCursor>
#include <algorithm>
#include <cmath>

#include "platform/gui/Forms.h"

namespace px {

// ---------------------------------------------------------------------------
// Colours and faces

TColor ScaleColor(TColor color, double exponent) {
  const TColor rgb = ColorToRGB(color);
  auto channel = [exponent](uint32_t c) -> uint32_t {
    if (c == 0) return 0;
    // nearbyint rounds halves to even under the default rounding mode.
    double v = std::nearbyint(255.0 * std::pow(static_cast<double>(c) / 255.0, exponent));
    return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0));
  };
  const uint32_t r = channel(rgb & 0xFF), g = channel((rgb >> 8) & 0xFF), b = channel((rgb >> 16) & 0xFF);
  return static_cast<TColor>(r | (g << 8) | (b << 16) | 0x02000000u);
}

namespace {

// A one-pixel frame just inside r: top and left in tl, bottom and right in br.
void frame3D(TCanvas& c, const TRect& r, TColor tl, TColor br) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(tl);
  c.FillRect(Rect(r.Left, r.Top, r.Right - 1, r.Top + 1));
  c.FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom - 1));
  c.Brush().SetColor(br);
  c.FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
  c.FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
}

TRect inflate(const TRect& r, int32_t d) { return Rect(r.Left - d, r.Top - d, r.Right + d, r.Bottom + d); }

int32_t floorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Watches components through free notification: a handler may free what it
// was called for.
class TFreeWatch : public TComponent {
 public:
  TFreeWatch() : TComponent(nullptr) {}
  ~TFreeWatch() override {
    for (TComponent* c : watched_)
      if (c) c->RemoveFreeNotification(this);
  }
  void Watch(TComponent* c) {
    if (!c) return;
    c->FreeNotification(this);
    watched_.push_back(c);
  }
  bool Alive(const TComponent* c) const { return c && std::find(watched_.begin(), watched_.end(), c) != watched_.end(); }
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove) std::replace(watched_.begin(), watched_.end(), component, static_cast<TComponent*>(nullptr));
  }

 private:
  std::vector<TComponent*> watched_;
};

}  // namespace

void DrawButtonFace(TCanvas& canvas, const TRect& r, TColor color, bool downBorder, bool hiliteBorder,
                    TCustomImageList* hiliteImages, TCustomImageList* disabledImages, TCustomImageList* images,
                    Integer imageIndex, Byte state) {
  if (!images) {
    canvas.DrawFocusRect(r);
    return;
  }
  const int32_t x = r.Left + (r.Width() - images->Width()) / 2;
  const int32_t y = r.Top + (r.Height() - images->Height()) / 2;
  switch (state) {
    case bsDisabled:
      if (disabledImages) disabledImages->Draw(canvas, x, y, imageIndex);
      else images->Draw(canvas, x, y, imageIndex, false);
      break;
    case bsHot:
    case bsDown: (hiliteImages ? hiliteImages : images)->Draw(canvas, x, y, imageIndex); break;
    default: images->Draw(canvas, x, y, imageIndex); break;
  }
  if (state == bsDown && downBorder) frame3D(canvas, r, ScaleColor(color, 2), ScaleColor(color, 0.5));
  else if (state == bsHot && hiliteBorder) frame3D(canvas, r, ScaleColor(color, 0.5), ScaleColor(color, 2));
  else if (state == bsDesigning) canvas.DrawFocusRect(r);
}

void DrawEditButton(TCanvas& canvas, const TRect& r, TColor color, Byte glyph, Byte state) {
  if (color == clDefault) color = clBtnFace;
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(color);
  canvas.FillRect(r);
  if (state == bsHot) frame3D(canvas, r, ScaleColor(color, 0.5), ScaleColor(color, 2));
  else if (state == bsDown) frame3D(canvas, r, ScaleColor(color, 2), ScaleColor(color, 0.5));
  canvas.Brush().SetColor(clBtnText);
  canvas.Pen().SetColor(clBtnText);
  canvas.Pen().SetStyle(psSolid);
  const int32_t cx = floorDiv(r.Left + r.Right, 2), cy = floorDiv(r.Top + r.Bottom, 2);
  if (glyph == egArrow) {
    canvas.Polygon({{cx - 3, cy - 1}, {cx + 3, cy - 1}, {cx, cy + 2}});
  } else if (glyph == egEllipsis) {
    const int32_t y = floorDiv(r.Top + 3 * r.Bottom, 4);
    for (int32_t x : {floorDiv(3 * r.Left + r.Right, 4), cx, floorDiv(r.Left + 3 * r.Right, 4)})
      canvas.FillRect(Rect(x - 1, y - 1, x + 1, y + 1));
  }
}

// ---------------------------------------------------------------------------
// TQVRActionLink

void TQVRActionLink::Change() {
  if (auto* a = dynamic_cast<TCustomAction*>(Action())) {
    visible_ = a->Visible();
    enabled_ = a->Enabled();
    checked_ = a->Checked();
    imageIndex_ = a->ImageIndex();
  } else {
    visible_ = enabled_ = checked_ = false;
    imageIndex_ = -1;
  }
  TActionLink::Change();
  if (OnClientChange) OnClientChange();
}

// ---------------------------------------------------------------------------
// TQVRButtonItem

TQVRButtonItem::TQVRButtonItem(TCollection* collection)
    : TCollectionItem(collection), link_(std::make_unique<TQVRActionLink>(this)) {
  link_->OnClientChange = [this] { changed(); };
}

TQVRButtonItem::~TQVRButtonItem() { link_.reset(); }

TCustomAction* TQVRButtonItem::Action() const { return dynamic_cast<TCustomAction*>(link_->Action()); }

void TQVRButtonItem::SetAction(TCustomAction* action) { link_->SetAction(action); }

void TQVRButtonItem::changed() {
  // The item joins its list only after construction.
  if (Collection() && Index() >= 0) Changed(false);
}

void TQVRButtonItem::SetIsSeparator(bool value) {
  if (value == isSeparator_) return;
  isSeparator_ = value;
  changed();
}

void TQVRButtonItem::SetTag(Integer value) {
  if (value == tag_) return;
  tag_ = value;
  changed();
}

void TQVRButtonItem::SetWidth(Integer value) {
  if (value == width_) return;
  width_ = value;
  changed();
}

bool TQVRButtonItem::Visible() {
  bool v = link_->Visible();
  if (OnGetVisible) OnGetVisible(this, v);
  return v;
}

bool TQVRButtonItem::Enabled() {
  bool v = link_->Enabled();
  if (OnGetEnabled) OnGetEnabled(this, v);
  return v;
}

bool TQVRButtonItem::Checked() {
  bool v = link_->Checked();
  if (OnGetChecked) OnGetChecked(this, v);
  return v;
}

std::string TQVRButtonItem::Hint() {
  std::string hint;
  if (TCustomAction* a = Action()) {
    hint = a->Hint();
    if (!a->DoHint(hint)) hint.clear();
  }
  if (OnGetHint) OnGetHint(this, hint);
  return hint;
}

TCustomImageList* TQVRButtonItem::ActionImages(TCustomImageList* fallback) const {
  if (TCustomAction* a = Action())
    if (a->ActionList() && a->ActionList()->Images()) return a->ActionList()->Images();
  return fallback;
}

std::string TQVRButtonItem::DisplayName() const {
  if (TCustomAction* a = Action()) return a->Caption().empty() ? a->Name() : a->Name() + ": " + a->Caption();
  if (isSeparator_) return "- separator -";
  return TCollectionItem::DisplayName();
}

void TQVRButtonItem::Assign(const TPersistent* source) {
  if (auto* other = dynamic_cast<const TQVRButtonItem*>(source)) {
    SetAction(other->Action());
    SetIsSeparator(other->isSeparator_);
    return;
  }
  TCollectionItem::Assign(source);
}

void TQVRButtonItem::Draw(TCanvas& canvas, const TRect& r, TColor color, Byte state, bool downBorder,
                          bool hiliteBorder, TCustomImageList* hiliteImages, TCustomImageList* disabledImages,
                          TCustomImageList* images) {
  bool handled = false;
  if (OnDrawButton) {
    paintCanvas_ = &canvas;
    paintRect_ = r;
    paintColor_ = color;
    paintState_ = state;
    try {
      OnDrawButton(this, handled);
    } catch (...) {
      paintCanvas_ = nullptr;
      throw;
    }
    paintCanvas_ = nullptr;
  }
  if (!handled)
    DrawButtonFace(canvas, r, color, downBorder, hiliteBorder, hiliteImages, disabledImages, ActionImages(images),
                   ImageIndex(), state);
}

// ---------------------------------------------------------------------------
// TQVRButtonList

TQVRButtonList::~TQVRButtonList() {
  OnChange = nullptr;
  Clear();
}

void TQVRButtonList::Update(TCollectionItem* item) {
  TCollectionOf<TQVRButtonItem>::Update(item);
  if (OnChange) OnChange();
}

void TQVRButtonList::Notify(TCollectionItem* item, TCollectionNotification action) {
  TCollectionOf<TQVRButtonItem>::Notify(item, action);
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------------------
// TCustomQVRPanel

TCustomQVRPanel::TCustomQVRPanel(TComponent* owner)
    : TCustomControl(owner), imagesLink_(std::make_unique<TChangeLink>()), buttons_(std::make_unique<TQVRButtonList>(this)) {
  SetBounds(Left(), Top(), 185, 41);
  titleFont_.SetName("Tahoma");
  titleFont_.SetSize(10);
  titleFont_.OnChange = [this](TGraphicsObject*) { titleChanged(); };
  imagesLink_->OnChange = [this](TObject*) { titleChanged(); };
  buttons_->OnChange = [this] {
    updateButtonStates();
    titleChanged();
  };
}

TCustomQVRPanel::~TCustomQVRPanel() {
  buttons_->OnChange = nullptr;
  if (images_) images_->UnRegisterChanges(imagesLink_.get());
}

void TCustomQVRPanel::titleChanged() {
  titleBitmap_.reset();
  Invalidate();
}

void TCustomQVRPanel::layoutChanged() {
  titleBitmap_.reset();
  Realign();
  Invalidate();
}

void TCustomQVRPanel::SetBorderWidth(Integer v) {
  if (v == borderWidth_) return;
  borderWidth_ = v;
  layoutChanged();
}

void TCustomQVRPanel::SetBorderHeight(Integer v) {
  if (v == borderHeight_) return;
  borderHeight_ = v;
  layoutChanged();
}

void TCustomQVRPanel::SetTitleHeight(Integer v) {
  if (v == titleHeight_) return;
  titleHeight_ = v;
  if (titleVisible_) layoutChanged();
}

void TCustomQVRPanel::SetTitleVisible(bool v) {
  if (v == titleVisible_) return;
  titleVisible_ = v;
  layoutChanged();
}

void TCustomQVRPanel::SetTitleColor(TColor v) {
  if (v == titleColor_) return;
  titleColor_ = v;
  titleChanged();
}

void TCustomQVRPanel::SetTitleIdent(Integer v) {
  if (v == titleIdent_) return;
  titleIdent_ = v;
  titleChanged();
}

void TCustomQVRPanel::SetImages(TCustomImageList* v) {
  if (v == images_) return;
  if (images_) {
    images_->UnRegisterChanges(imagesLink_.get());
    images_->RemoveFreeNotification(this);
  }
  images_ = v;
  if (v) {
    v->RegisterChanges(imagesLink_.get());
    v->FreeNotification(this);
  }
  titleChanged();
}

void TCustomQVRPanel::SetDisabledImages(TCustomImageList* v) {
  if (v == disabledImages_) return;
  if (disabledImages_) disabledImages_->RemoveFreeNotification(this);
  disabledImages_ = v;
  if (v) v->FreeNotification(this);
  titleChanged();
}

void TCustomQVRPanel::SetHiliteImages(TCustomImageList* v) {
  if (v == hiliteImages_) return;
  if (hiliteImages_) hiliteImages_->RemoveFreeNotification(this);
  hiliteImages_ = v;
  if (v) v->FreeNotification(this);
  titleChanged();
}

void TCustomQVRPanel::SetImageIndex(Integer v) {
  if (v == imageIndex_) return;
  imageIndex_ = v;
  titleChanged();
}

void TCustomQVRPanel::SetHiliteBorder(bool v) {
  hiliteBorder_ = v;
  titleChanged();
}

void TCustomQVRPanel::SetDownBorder(bool v) {
  downBorder_ = v;
  titleChanged();
}

void TCustomQVRPanel::SetSplitter(bool v) {
  if (v == splitter_) return;
  splitter_ = v;
  layoutChanged();
}

void TCustomQVRPanel::SetSplitterSize(Integer v) {
  if (v == splitterSize_) return;
  splitterSize_ = std::max(0, v);
  layoutChanged();
}

void TCustomQVRPanel::SetCursor(TCursor v) {
  cursor_ = v;
  updateSplitterCursor(splitterHot_);
}

void TCustomQVRPanel::updateSplitterCursor(bool overStrip) {
  TControl::SetCursor(overStrip ? (vertical() ? VSplitCursor : HSplitCursor) : cursor_);
}

void TCustomQVRPanel::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == images_) {
    images_ = nullptr;
    titleChanged();
  }
  if (component == disabledImages_) {
    disabledImages_ = nullptr;
    titleChanged();
  }
  if (component == hiliteImages_) {
    hiliteImages_ = nullptr;
    titleChanged();
  }
}

TRect TCustomQVRPanel::SplitterRect() const {
  if (!splitter_) return {};
  const int32_t w = Width(), h = Height(), s = splitterSize_;
  switch (Align()) {
    case alTop: return Rect(0, h - s, w, h);
    case alBottom: return Rect(0, 0, w, s);
    case alLeft: return Rect(w - s, 0, w, h);
    case alRight: return Rect(0, 0, s, h);
    default: return {};
  }
}

namespace {
// The control without its splitter strip.
TRect withoutStrip(const TRect& whole, const TRect& strip, TAlign align) {
  TRect r = whole;
  if (strip.Width() <= 0 || strip.Height() <= 0) return r;
  switch (align) {
    case alTop: r.Bottom = strip.Top; break;
    case alBottom: r.Top = strip.Bottom; break;
    case alLeft: r.Right = strip.Left; break;
    case alRight: r.Left = strip.Right; break;
    default: break;
  }
  return r;
}
}  // namespace

TRect TCustomQVRPanel::TitleRect() const {
  TRect r = withoutStrip(Rect(0, 0, Width(), Height()), SplitterRect(), Align());
  const int32_t top = r.Top + borderHeight_;
  return Rect(r.Left + borderWidth_, top, r.Right - borderWidth_, top + (titleVisible_ ? titleHeight_ : 0));
}

void TCustomQVRPanel::AdjustClientRect(TRect& rect) const {
  TRect r = withoutStrip(rect, SplitterRect(), Align());
  TRect title = TitleRect();
  const int32_t top = titleVisible_ ? title.Bottom + borderHeight_ : title.Top;
  rect = Rect(r.Left + borderWidth_, top, r.Right - borderWidth_, std::max(top, r.Bottom - borderHeight_));
  if (rect.Right < rect.Left) rect.Right = rect.Left;
}

void TCustomQVRPanel::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  const bool sized = width != Width() || height != Height();
  // Realigning the children inside the base call can repaint the window at
  // once (a child's synchronous update flushes every dirty region), which
  // would draw the old bar into the new size and use up the resize's update:
  // drop the bar before, and ask for a paint with the new one after.
  if (sized) titleBitmap_.reset();
  TCustomControl::SetBounds(left, top, width, height);
  if (sized) titleChanged();
}

void TCustomQVRPanel::SetEnabled(bool value) {
  TCustomControl::SetEnabled(value);
  updateButtonStates();
  titleChanged();
}

void TCustomQVRPanel::SetText(const std::string& value) {
  TCustomControl::SetText(value);
  titleChanged();
}

TPoint TCustomQVRPanel::toBar(TPoint p) const {
  TRect t = TitleRect();
  return {p.X - t.Left, p.Y - t.Top};
}

TQVRButtonItem* TCustomQVRPanel::ButtonAt(TPoint p) const {
  if (!titleVisible_) return nullptr;
  TPoint b = toBar(p);
  for (Integer i = 0; i < buttons_->Count(); ++i) {
    TQVRButtonItem* item = buttons_->Items(i);
    const TRect& r = item->ButtonRect;
    if (r.Width() > 0 && r.Height() > 0 && r.Contains(b)) return item;
  }
  return nullptr;
}

void TCustomQVRPanel::buildTitle() {
  Assert(!titleBitmap_, "The title bar is built while one exists");
  TRect tr = TitleRect();
  auto bar = std::make_unique<TBitmap>(std::max(0, tr.Width()), std::max(0, tr.Height()), pf32bit);
  if (bar->Empty()) {
    titleBitmap_ = std::move(bar);
    return;
  }
  TCanvas& c = bar->Canvas();
  const int32_t barW = bar->Width(), barH = bar->Height();
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(titleColor_);
  c.FillRect(Rect(0, 0, barW, barH));
  if (!titleBackground_.Empty()) c.StretchDraw(Rect(0, 0, barW, barH), titleBackground_);

  c.Font().Assign(titleFont_);
  const std::string& caption = Caption();
  const int32_t textH = c.TextHeight(caption.empty() ? std::string("Wg") : caption);
  const int32_t m = (titleHeight_ - textH) / 2;
  int32_t captionStart = 0;
  if (images_ && imageIndex_ >= 0 && imageIndex_ < images_->Count()) {
    images_->Draw(c, m, (barH - images_->Height()) / 2, imageIndex_, Enabled());
    captionStart = m + images_->Width();
  }
  const int32_t captionX = captionStart + m + titleIdent_;
  const int32_t captionRight = captionX + (caption.empty() ? 0 : c.TextWidth(caption));

  for (Integer i = 0; i < buttons_->Count(); ++i) buttons_->Items(i)->ButtonRect = TRect{};
  if (titleHeight_ > 2) {
    int32_t right = barW - 1;
    bool separatorWanted = false, placed = false, full = false;
    const TColor light = ScaleColor(titleColor_, 0.5), dark = ScaleColor(titleColor_, 2);
    for (Integer i = buttons_->Count() - 1; i >= 0; --i) {
      TQVRButtonItem* item = buttons_->Items(i);
      if (item->IsSeparator()) {
        separatorWanted = true;
        continue;
      }
      if (full || !item->Visible()) continue;
      int32_t r = right;
      if (separatorWanted && placed) r -= 4;
      const int32_t left = r - titleHeight_ + 2;
      if (left < captionRight) {
        full = true;  // no room right of the caption: this and every button left of it stay out
        continue;
      }
      if (separatorWanted && placed) {
        c.Brush().SetColor(dark);
        c.FillRect(Rect(right - 3, 2, right - 2, barH - 2));
        c.Brush().SetColor(light);
        c.FillRect(Rect(right - 2, 2, right - 1, barH - 2));
      }
      separatorWanted = false;
      item->ButtonRect = Rect(left, 1, r, barH - 1);
      item->Draw(c, item->ButtonRect, titleColor_, item->State, downBorder_, hiliteBorder_, hiliteImages_,
                 disabledImages_, images_);
      placed = true;
      right = left;
    }
  }
  c.Brush().SetStyle(bsClear);
  c.TextOut(captionX, m, caption);
  titleBitmap_ = std::move(bar);
}

void TCustomQVRPanel::Paint() {
  TCanvas& c = Canvas();
  const TRect title = TitleRect();
  if (titleVisible_ && !titleBitmap_) {
    try {
      buildTitle();
    } catch (...) {
      titleBitmap_.reset();
      throw;
    }
  }
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(Color());
  const TRect whole = Rect(0, 0, Width(), Height());
  if (titleVisible_ && titleBitmap_ && !titleBitmap_->Empty()) {
    // Everything but the bar in Color.
    c.FillRect(Rect(0, 0, whole.Right, title.Top));
    c.FillRect(Rect(0, title.Bottom, whole.Right, whole.Bottom));
    c.FillRect(Rect(0, title.Top, title.Left, title.Bottom));
    c.FillRect(Rect(title.Right, title.Top, whole.Right, title.Bottom));
    c.Draw(title.Left, title.Top, *titleBitmap_);
  } else {
    c.FillRect(whole);
  }
  if (OnCustomPaint) OnCustomPaint(this, c);
  const TRect strip = SplitterRect();
  if (strip.Width() > 0 && strip.Height() > 0) {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    c.FillRect(strip);
    const TColor light = ScaleColor(Color(), 0.5), dark = ScaleColor(Color(), 2);
    TRect outer = inflate(strip, -1), inner = inflate(outer, -1);
    if (splitterHot_) {
      frame3D(c, outer, dark, light);
      frame3D(c, inner, light, dark);
      c.Brush().SetColor(ScaleColor(Color(), 0.25));
      c.FillRect(inflate(inner, -1));
    } else {
      frame3D(c, outer, light, dark);
      frame3D(c, inner, dark, light);
    }
  }
}

void TCustomQVRPanel::updateButtonStates() {
  bool changed = false;
  Integer hot = -1;
  TQVRButtonItem* under = mouseIn_ ? ButtonAt(mousePos_) : nullptr;
  for (Integer i = 0; i < buttons_->Count(); ++i) {
    TQVRButtonItem* item = buttons_->Items(i);
    Byte s;
    if (!item->Enabled() || !Enabled()) s = bsDisabled;
    else if (item == under) s = item->ID() == downItemId_ ? bsDown : bsHot;
    else if (item->Checked()) s = bsDown;
    else s = bsNormal;
    if (item == under) hot = item->ID();
    if (s != item->State) {
      item->State = s;
      changed = true;
    }
  }
  if (hot != hotItemId_) {
    hotItemId_ = hot;
    if (Application) Application->CancelHint();
  }
  if (changed) titleChanged();
}

void TCustomQVRPanel::setSize(int32_t size) {
  if (vertical()) SetHeight(size);
  else SetWidth(size);
}

void TCustomQVRPanel::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  mousePos_ = {x, y};
  if (SplitterRect().Contains({x, y})) {
    if (shift.Contains(ssDouble)) return;
    // The drag: between the constraint's (or the strip's) size and what the
    // siblings that take the rest can give up.
    dragging_ = true;
    dragStart_ = ClientToScreen({x, y});
    dragStartSize_ = currentSize();
    const bool v = vertical();
    dragMin_ = std::max<int32_t>(v ? Constraints().MinHeight() : Constraints().MinWidth(), splitterSize_);
    int32_t slack = -1;
    if (TWinControl* p = Parent()) {
      for (Integer i = 0; i < p->ControlCount(); ++i) {
        TControl* s = p->Controls(i);
        if (s == this || !s->Visible()) continue;
        const bool takesRest = v ? (s->Align() == alLeft || s->Align() == alRight || s->Align() == alClient)
                                 : s->Align() == alClient;
        if (!takesRest) continue;
        const int32_t size = v ? s->Height() : s->Width();
        const int32_t min = v ? s->Constraints().MinHeight() : s->Constraints().MinWidth();
        const int32_t sl = std::max(0, size - min);
        slack = slack < 0 ? sl : std::min(slack, sl);
      }
      if (slack < 0) dragMax_ = v ? p->ClientHeight() : p->ClientWidth();
      else dragMax_ = dragStartSize_ + slack;
    } else {
      dragMax_ = dragStartSize_;
    }
    dragMax_ = std::max(dragMax_, dragMin_);
    return;
  }
  TQVRButtonItem* item = ButtonAt({x, y});
  downItemId_ = item ? item->ID() : -1;
  updateButtonStates();
}

void TCustomQVRPanel::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseMove(shift, x, y);
  mouseIn_ = true;
  mousePos_ = {x, y};
  if (dragging_) {
    TPoint now = ClientToScreen({x, y});
    const int32_t dx = now.X - dragStart_.X, dy = now.Y - dragStart_.Y;
    int32_t size = dragStartSize_;
    switch (Align()) {
      case alTop: size += dy; break;
      case alBottom: size -= dy; break;
      case alLeft: size += dx; break;
      case alRight: size -= dx; break;
      default: break;
    }
    size = std::clamp(size, dragMin_, dragMax_);
    if (size != currentSize()) {
      setSize(size);
      if (TWinControl* p = Parent())
        for (Integer i = 0; i < p->ControlCount(); ++i)
          if (p->Controls(i)->Align() == alClient) p->Controls(i)->Repaint();
      Repaint();
    }
    return;
  }
  const bool overStrip = SplitterRect().Contains({x, y});
  if (overStrip != splitterHot_) {
    splitterHot_ = overStrip;
    updateSplitterCursor(overStrip);
    Invalidate();
  }
  updateButtonStates();
}

void TCustomQVRPanel::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (button != mbLeft) return;
  mousePos_ = {x, y};
  if (dragging_) {
    dragging_ = false;
    if (OnSplitterMoved) OnSplitterMoved(this);
    return;
  }
  const Integer downId = downItemId_;
  downItemId_ = -1;
  TQVRButtonItem* item = ButtonAt({x, y});
  if (item && item->ID() == downId && item->Enabled() && item->Visible() && Enabled()) {
    executeButton(item);
    return;  // the panel may be gone
  }
  updateButtonStates();
}

void TCustomQVRPanel::executeButton(TQVRButtonItem* item) {
  // Either step may free the panel and its items: the action is watched
  // before OnExecute runs, and nothing of the panel is touched afterwards
  // unless it still lives.
  TFreeWatch watch;
  watch.Watch(this);
  TCustomAction* action = item->Action();
  watch.Watch(action);
  bool handled = false;
  if (item->OnExecute) {
    auto onExecute = item->OnExecute;
    onExecute(item, handled);
  }
  if (!handled && watch.Alive(action)) action->Execute();
  if (watch.Alive(this)) updateButtonStates();
}

void TCustomQVRPanel::DblClick() {
  TCustomControl::DblClick();
  if (!SplitterRect().Contains(mousePos_)) return;
  const int32_t before = currentSize();
  if (restoreSize_ > splitterSize_ && before <= splitterSize_) {
    setSize(restoreSize_);
    restoreSize_ = 0;
  } else {
    restoreSize_ = before;
    setSize(splitterSize_);
  }
  // The pointer follows the strip.
  const int32_t d = currentSize() - before;
  QPoint p = QCursor::pos();
  switch (Align()) {
    case alTop: p.ry() += d; break;
    case alBottom: p.ry() -= d; break;
    case alLeft: p.rx() += d; break;
    case alRight: p.rx() -= d; break;
    default: break;
  }
  QCursor::setPos(p);
}

void TCustomQVRPanel::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER:
      mouseIn_ = true;
      break;
    case CM_MOUSELEAVE:
      mouseIn_ = false;
      if (splitterHot_) {
        splitterHot_ = false;
        updateSplitterCursor(false);
        Invalidate();
      }
      updateButtonStates();
      break;
    case CM_HINTSHOW: {
      auto* info = reinterpret_cast<THintInfo*>(m.LParam);
      if (!info) break;
      if (TQVRButtonItem* item = ButtonAt(info->CursorPos)) {
        const TRect t = TitleRect();
        info->CursorRect = Rect(item->ButtonRect.Left + t.Left, item->ButtonRect.Top + t.Top,
                                item->ButtonRect.Right + t.Left, item->ButtonRect.Bottom + t.Top);
        std::string hint = item->Enabled() ? item->Hint() : std::string();
        if (hint.empty()) m.Result = 1;
        else info->HintStr = hint;
        return;
      }
      // Away from the buttons the panel's own hint, for the band of the
      // panel that holds no button.
      TRect r = ClientRect();
      const TRect t = TitleRect();
      const TPoint p = info->CursorPos;
      if (titleVisible_ && p.Y >= t.Top + 1 && p.Y < t.Bottom - 1) {
        r.Top = t.Top + 1;
        r.Bottom = t.Bottom - 1;
        for (Integer i = 0; i < buttons_->Count(); ++i) {
          TRect b = buttons_->Items(i)->ButtonRect;
          if (b.Width() <= 0) continue;
          b = Rect(b.Left + t.Left, b.Top + t.Top, b.Right + t.Left, b.Bottom + t.Top);
          if (b.Right <= p.X) r.Left = std::max(r.Left, b.Right);
          if (b.Left > p.X) r.Right = std::min(r.Right, b.Left);
        }
      } else if (titleVisible_ && p.Y < t.Top + 1) {
        r.Bottom = t.Top + 1;
      } else if (titleVisible_) {
        r.Top = t.Bottom - 1;
      }
      info->CursorRect = r;
      return;
    }
    default: break;
  }
  TCustomControl::WndProc(m);
}

// ---------------------------------------------------------------------------
// TCustomQVRActionButton

TCustomQVRActionButton::TCustomQVRActionButton(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 22, 22);
  SetEnabled(false);
}

Byte TCustomQVRActionButton::State() const {
  if (!Enabled()) return bsDisabled;
  if (mouseIn_ && down_) return bsDown;
  if (mouseIn_) return bsHot;
  return bsNormal;
}

void TCustomQVRActionButton::ActionChange(TBasicAction* sender) {
  if (auto* a = dynamic_cast<TCustomAction*>(sender)) {
    SetEnabled(a->Enabled());
    SetVisible(a->Visible());
    Hint = a->Hint();
  } else {
    SetEnabled(false);
    Hint.clear();
  }
  Invalidate();
}

void TCustomQVRActionButton::WndProc(TMessage& m) {
  if (m.Msg == CM_MOUSEENTER || m.Msg == CM_MOUSELEAVE) {
    mouseIn_ = m.Msg == CM_MOUSEENTER;
    Invalidate();
  }
  TGraphicControl::WndProc(m);
}

void TCustomQVRActionButton::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  down_ = true;
  Invalidate();
  TGraphicControl::MouseDown(button, shift, x, y);
}

void TCustomQVRActionButton::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  down_ = false;
  Invalidate();
  TGraphicControl::MouseUp(button, shift, x, y);
}

void TCustomQVRActionButton::Paint() {
  TCustomImageList* images = nullptr;
  Integer index = -1;
  if (auto* a = dynamic_cast<TCustomAction*>(Action())) {
    if (a->ActionList()) images = a->ActionList()->Images();
    index = a->ImageIndex();
  }
  DrawButtonFace(Canvas(), ClientRect(), Color(), true, true, nullptr, nullptr, images, index, State());
}

// ---------------------------------------------------------------------------
// TQVRBackgroundImage

TQVRBackgroundImage::TQVRBackgroundImage(TComponent* owner) : TGraphicControl(owner) {}

void TQVRBackgroundImage::SetImageList(TCustomImageList* list) {
  if (list == imageList_) return;
  if (imageList_) imageList_->RemoveFreeNotification(this);
  imageList_ = list;
  if (list) {
    list->FreeNotification(this);
    SetBounds(Left(), Top(), list->Width(), list->Height());
  }
  Invalidate();
}

void TQVRBackgroundImage::SetImageIndex(Integer index) {
  if (index == imageIndex_) return;
  imageIndex_ = index;
  Invalidate();
}

void TQVRBackgroundImage::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == imageList_) {
    imageList_ = nullptr;
    Invalidate();
  }
}

void TQVRBackgroundImage::Paint() {
  if (imageList_ && imageIndex_ >= 0 && imageIndex_ < imageList_->Count()) imageList_->Draw(Canvas(), 0, 0, imageIndex_);
}

}  // namespace px
