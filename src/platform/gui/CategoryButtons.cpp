#include "platform/gui/CategoryButtons.h"

#include <QScrollBar>

#include <algorithm>

#include "platform/core/Format.h"
#include "platform/gui/ImgList.h"

namespace px {

namespace {

[[noreturn]] void indexError(Integer index) { throw EListError(Format("List index out of bounds (%d)", index)); }

// Header geometry: the caption's line plus a margin above and below.
constexpr int32_t kHeaderMargin = 3;
constexpr int32_t kPlusMinusSize = 9;

}  // namespace

// ---------------------------------------------------------------------------
// TButtonItem

TButtonItem::TButtonItem(TButtonCategory* category)
    : category_(category), link_(std::make_unique<TActionLink>(this)) {
  link_->OnChange = [this](TObject*) { category_->CategoryButtons()->Invalidate(); };
}

TButtonItem::~TButtonItem() { link_.reset(); }

Integer TButtonItem::Index() const {
  const auto& v = category_->items_;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i].get() == this) return static_cast<Integer>(i);
  return -1;
}

namespace {
const TCustomAction* customAction(const TButtonItem* item) { return dynamic_cast<const TCustomAction*>(item->Action()); }
}  // namespace

std::string TButtonItem::Caption() const {
  if (const TCustomAction* a = customAction(this)) return a->Caption();
  return caption_;
}
void TButtonItem::SetCaption(const std::string& value) {
  caption_ = value;
  category_->CategoryButtons()->Invalidate();
}
std::string TButtonItem::Hint() const {
  if (const TCustomAction* a = customAction(this)) return a->Hint();
  return hint_;
}
void TButtonItem::SetHint(const std::string& value) { hint_ = value; }
Integer TButtonItem::ImageIndex() const {
  if (const TCustomAction* a = customAction(this)) return a->ImageIndex();
  return imageIndex_;
}
void TButtonItem::SetImageIndex(Integer value) {
  imageIndex_ = value;
  category_->CategoryButtons()->Invalidate();
}
bool TButtonItem::Enabled() const {
  if (const TCustomAction* a = customAction(this)) return a->Enabled();
  return true;
}
void TButtonItem::SetAction(TBasicAction* action) {
  link_->SetAction(action);
  category_->CategoryButtons()->Invalidate();
}

// ---------------------------------------------------------------------------
// TButtonCategory

Integer TButtonCategory::Index() const {
  for (Integer i = 0; i < owner_->CategoryCount(); ++i)
    if (owner_->Categories(i) == this) return i;
  return -1;
}
void TButtonCategory::SetCaption(const std::string& value) {
  caption_ = value;
  owner_->Invalidate();
}
void TButtonCategory::SetColor(TColor value) {
  color_ = value;
  owner_->Invalidate();
}
void TButtonCategory::SetCollapsed(bool value) {
  collapsed_ = value;
  owner_->layoutChanged();
}
TButtonItem* TButtonCategory::Items(Integer index) const {
  if (index < 0 || index >= Count()) indexError(index);
  return items_[static_cast<size_t>(index)].get();
}
TButtonItem* TButtonCategory::Add() {
  items_.push_back(std::make_unique<TButtonItem>(this));
  owner_->layoutChanged();
  return items_.back().get();
}
void TButtonCategory::Delete(Integer index) {
  if (index < 0 || index >= Count()) indexError(index);
  owner_->itemRemoved(items_[static_cast<size_t>(index)].get());
  items_.erase(items_.begin() + index);
  owner_->layoutChanged();
}

// ---------------------------------------------------------------------------
// TCategoryButtons

TCategoryButtons::TCategoryButtons(TComponent* owner) : TCustomControl(owner) {
  vbar_ = new QScrollBar(Qt::Vertical, Widget());
  vbar_->hide();
  QObject::connect(vbar_, &QScrollBar::valueChanged, [this](int v) {
    if (!updatingBar_) SetScrollPosition(v);
  });
  SetColor(clWindow);
  SetBounds(Left(), Top(), 100, 200);
}

TCategoryButtons::~TCategoryButtons() {
  selected_ = down_ = hot_ = nullptr;
  categories_.clear();
}

TButtonCategory* TCategoryButtons::Categories(Integer index) const {
  if (index < 0 || index >= CategoryCount()) indexError(index);
  return categories_[static_cast<size_t>(index)].get();
}

TButtonCategory* TCategoryButtons::AddCategory() {
  categories_.push_back(std::make_unique<TButtonCategory>(this));
  layoutChanged();
  return categories_.back().get();
}

void TCategoryButtons::DeleteCategory(Integer index) {
  TButtonCategory* c = Categories(index);
  for (Integer i = 0; i < c->Count(); ++i) itemRemoved(c->Items(i));
  categories_.erase(categories_.begin() + index);
  layoutChanged();
}

TButtonCategory* TCategoryButtons::FindCategory(const std::string& caption) const {
  for (const auto& c : categories_)
    if (c->Caption() == caption) return c.get();
  return nullptr;
}

void TCategoryButtons::itemRemoved(const TButtonItem* item) {
  if (selected_ == item) selected_ = nullptr;
  if (down_ == item) down_ = nullptr;
  if (hot_ == item) hot_ = nullptr;
}

void TCategoryButtons::SetButtonWidth(int32_t value) {
  buttonWidth_ = std::max(1, value);
  layoutChanged();
}
void TCategoryButtons::SetButtonHeight(int32_t value) {
  buttonHeight_ = std::max(1, value);
  layoutChanged();
}
void TCategoryButtons::SetButtonOptions(TCatButtonOptions value) {
  options_ = value;
  layoutChanged();
}
void TCategoryButtons::SetRegularButtonColor(TColor value) {
  regularColor_ = value;
  Invalidate();
}
void TCategoryButtons::SetSelectedButtonColor(TColor value) {
  selectedColor_ = value;
  Invalidate();
}
void TCategoryButtons::SetBorderStyle(TBorderStyle value) {
  borderStyle_ = value;
  layoutChanged();
}
void TCategoryButtons::SetImages(TCustomImageList* value) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = value;
  if (images_) images_->FreeNotification(this);
  Invalidate();
}
void TCategoryButtons::SetSelectedItem(TButtonItem* value) {
  selected_ = value;
  Invalidate();
}

void TCategoryButtons::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && images_ && component == images_) images_ = nullptr;
}

int32_t TCategoryButtons::CategoryHeaderHeight() const {
  TBitmap scratch(1, 1);
  scratch.Canvas().Font().Assign(const_cast<TCategoryButtons*>(this)->Font());
  return scratch.Canvas().TextHeight("Ag") + 2 * kHeaderMargin;
}

TRect TCategoryButtons::ClientRect() const {
  int32_t w = Width();
  if (vbar_ && vbar_->isVisibleTo(Widget())) w -= vbar_->sizeHint().width();
  return Rect(0, 0, std::max(0, w), Height());
}

std::vector<TCategoryButtons::Placed> TCategoryButtons::layout() const {
  std::vector<Placed> placed;
  const int32_t border = borderStyle_ == bsSingle ? 1 : 0;
  // The scroll bar stands inside the border, so the buttons end at its left.
  const int32_t bar = Width() - ClientWidth();
  const int32_t left = border, right = Width() - (bar > 0 ? border + bar : border);
  const int32_t header = CategoryHeaderHeight();
  int32_t y = border - scroll_;
  for (const auto& c : categories_) {
    placed.push_back({c.get(), nullptr, Rect(left, y, right, y + header)});
    y += header;
    if (c->Collapsed()) continue;
    int32_t x = left;
    for (const auto& item : c->items_) {
      if (options_.Contains(boFullSize)) {
        placed.push_back({c.get(), item.get(), Rect(left, y, right, y + buttonHeight_)});
        y += buttonHeight_;
        continue;
      }
      // Fixed-size buttons fill a row, then wrap.
      if (x > left && x + buttonWidth_ > right) {
        x = left;
        y += buttonHeight_;
      }
      placed.push_back({c.get(), item.get(), Rect(x, y, x + buttonWidth_, y + buttonHeight_)});
      x += buttonWidth_;
    }
    if (!options_.Contains(boFullSize) && !c->items_.empty()) y += buttonHeight_;
  }
  return placed;
}

int32_t TCategoryButtons::contentHeight() const {
  const int32_t border = borderStyle_ == bsSingle ? 1 : 0;
  int32_t bottom = border;
  for (const Placed& p : layout()) bottom = std::max(bottom, p.rect.Bottom + scroll_);
  return bottom + border;
}

void TCategoryButtons::updateScrollBar() {
  if (updatingBar_) return;
  updatingBar_ = true;
  const int32_t border = borderStyle_ == bsSingle ? 1 : 0;
  // Showing the bar narrows the buttons, which may wrap fixed-size ones
  // into more rows: the height is measured again with the bar in place.
  bool show = false;
  for (int round = 0; round < 2; ++round) {
    vbar_->setVisible(show);
    show = contentHeight() > Height();
  }
  vbar_->setVisible(show);
  const int32_t bw = vbar_->sizeHint().width();
  vbar_->setGeometry(Width() - border - bw, border, bw, std::max(0, Height() - 2 * border));
  const int32_t range = show ? contentHeight() - Height() : 0;
  vbar_->setRange(0, range);
  vbar_->setPageStep(std::max(1, Height()));
  // One full-size button (or one row) per step of the wheel or the arrows.
  vbar_->setSingleStep(std::max(1, buttonHeight_));
  updatingBar_ = false;
  SetScrollPosition(scroll_);
  vbar_->setValue(scroll_);
}

void TCategoryButtons::SetScrollPosition(int32_t value) {
  value = std::clamp(value, 0, vbar_->isVisibleTo(Widget()) ? vbar_->maximum() : 0);
  if (value == scroll_) return;
  scroll_ = value;
  if (!updatingBar_) {
    updatingBar_ = true;
    vbar_->setValue(scroll_);
    updatingBar_ = false;
  }
  // The button under a resting pointer is no longer the one it was over.
  hot_ = nullptr;
  Invalidate();
}

void TCategoryButtons::layoutChanged() {
  updateScrollBar();
  Invalidate();
}

void TCategoryButtons::Resize() {
  TCustomControl::Resize();
  layoutChanged();
}

void TCategoryButtons::Changed(Cardinal cm) {
  TCustomControl::Changed(cm);
  // The category headers follow the font's height.
  if (cm == CM_FONTCHANGED) layoutChanged();
}

void TCategoryButtons::WndProc(TMessage& m) {
  if (m.Msg == WM_MOUSEWHEEL && vbar_->isVisibleTo(Widget())) {
    const int16_t delta = static_cast<int16_t>((m.WParam >> 16) & 0xFFFF);
    SetScrollPosition(scroll_ - delta * vbar_->singleStep() / 120);
    m.Result = 1;
    return;
  }
  TCustomControl::WndProc(m);
}

TRect TCategoryButtons::CategoryRect(const TButtonCategory* category) const {
  for (const Placed& p : layout())
    if (p.category == category && !p.item) return p.rect;
  return TRect{};
}

TRect TCategoryButtons::ButtonRect(const TButtonItem* button) const {
  for (const Placed& p : layout())
    if (p.item == button) return p.rect;
  return TRect{};
}

TButtonItem* TCategoryButtons::GetButtonAt(int32_t x, int32_t y) const {
  for (const Placed& p : layout())
    if (p.item && p.rect.Contains(Point(x, y))) return const_cast<TButtonItem*>(p.item);
  return nullptr;
}

TButtonCategory* TCategoryButtons::GetCategoryAt(int32_t x, int32_t y) const {
  for (const Placed& p : layout())
    if (p.rect.Contains(Point(x, y))) return const_cast<TButtonCategory*>(p.category);
  return nullptr;
}

void TCategoryButtons::drawButton(const TButtonItem* item, TRect r) {
  TCanvas& c = Canvas();
  TButtonDrawState state;
  if (item == selected_) state.Include(bdsSelected);
  if (item == hot_) state.Include(bdsHot);
  if (item == down_) state.Include(bdsDown);
  TColor face = item == selected_ && selectedColor_ != clNone ? selectedColor_
                : regularColor_ != clNone                     ? regularColor_
                                                              : clBtnFace;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(face);
  c.FillRect(r);
  if (item == hot_ || item == down_ || item == selected_) {
    c.Brush().SetColor(clBtnShadow);
    c.FrameRect(r);
  }
  if (OnDrawIcon) {
    OnDrawIcon(this, item, c, r, state);
  } else if (images_ && item->ImageIndex() >= 0) {
    images_->Draw(c, (r.Left + r.Right - images_->Width()) / 2, r.Top + 4, item->ImageIndex(), item->Enabled());
  }
  if (!options_.Contains(boShowCaptions)) return;
  c.Brush().SetStyle(bsClear);
  c.Font().Assign(Font());
  if (!item->Enabled()) c.Font().SetColor(clGrayText);
  if (OnDrawText) {
    OnDrawText(this, item, c, r, state);
  } else {
    TRect t = r;
    t.Bottom -= 2;
    c.DrawText(item->Caption(), t, DT_CENTER | DT_BOTTOM | DT_SINGLELINE | DT_END_ELLIPSIS);
  }
}

void TCategoryButtons::Paint() {
  TCanvas& c = Canvas();
  const TRect all = Rect(0, 0, Width(), Height());
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(Color());
  c.FillRect(all);
  for (const Placed& p : layout()) {
    if (p.item) {
      drawButton(p.item, p.rect);
      continue;
    }
    const TButtonCategory* cat = p.category;
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(cat->Color() != clNone ? cat->Color() : clBtnFace);
    c.FillRect(p.rect);
    TRect text = p.rect;
    text.Left += 4;
    if (options_.Contains(boUsePlusMinus)) {
      const int32_t top = (p.rect.Top + p.rect.Bottom - kPlusMinusSize) / 2;
      const TRect box = Bounds(text.Left, top, kPlusMinusSize, kPlusMinusSize);
      c.Brush().SetColor(clBtnShadow);
      c.FrameRect(box);
      c.Pen().SetColor(clBtnText);
      const int32_t mid = top + kPlusMinusSize / 2;
      c.MoveTo(box.Left + 2, mid);
      c.LineTo(box.Right - 2, mid);
      if (cat->Collapsed()) {
        c.MoveTo(box.Left + kPlusMinusSize / 2, box.Top + 2);
        c.LineTo(box.Left + kPlusMinusSize / 2, box.Bottom - 2);
      }
      text.Left = box.Right + 4;
    }
    c.Brush().SetStyle(bsClear);
    c.Font().Assign(Font());
    if (options_.Contains(boBoldCaptions)) {
      TFontStyles style = c.Font().Style();
      style.Include(TFontStyle::fsBold);
      c.Font().SetStyle(style);
    }
    c.DrawText(cat->Caption(), text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
  if (borderStyle_ == bsSingle) {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clBtnShadow);
    c.FrameRect(all);
  }
}

void TCategoryButtons::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  if (TButtonItem* item = GetButtonAt(x, y)) {
    if (!item->Enabled()) return;
    down_ = item;
    Invalidate();
    return;
  }
  if (TButtonCategory* cat = GetCategoryAt(x, y)) {
    const bool collapsing = !cat->Collapsed();
    cat->SetCollapsed(collapsing);
    if (collapsing && OnCategoryCollapase) OnCategoryCollapase(this, cat);
  }
}

void TCategoryButtons::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseMove(shift, x, y);
  TButtonItem* item = GetButtonAt(x, y);
  if (item == hot_) return;
  hot_ = item;
  Hint = item ? item->Hint() : std::string();
  Invalidate();
}

void TCategoryButtons::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseUp(button, shift, x, y);
  TButtonItem* item = down_;
  down_ = nullptr;
  if (!item) return;
  Invalidate();
  // Only a release over the pressed button clicks it.
  if (button != mbLeft || GetButtonAt(x, y) != item || !item->Enabled()) return;
  selected_ = item;
  if (item->OnClick) item->OnClick(item);
  else if (TBasicAction* action = item->Action()) action->Execute();
  if (OnButtonClicked) OnButtonClicked(this);
}

}  // namespace px
