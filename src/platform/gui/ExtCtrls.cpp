#include "platform/gui/ExtCtrls.h"

#include <QGroupBox>
#include <QPainter>
#include <QProxyStyle>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

#include "platform/gui/GuiInternal.h"

namespace px {

// ---------------------------------------------------------------------------
// TCustomPanel

void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int32_t width) {
  TPenData saved = canvas.Pen().Data();
  canvas.Pen().SetWidth(1);
  canvas.Pen().SetStyle(psSolid);
  for (int32_t i = 0; i < width && rect.Width() > 0 && rect.Height() > 0; ++i) {
    // Right and bottom edges are exclusive: the last pixel row and column
    // are Right - 1 and Bottom - 1.
    canvas.Pen().SetColor(topColor);
    canvas.MoveTo(rect.Left, rect.Bottom - 1);
    canvas.LineTo(rect.Left, rect.Top);
    canvas.LineTo(rect.Right - 1, rect.Top);
    canvas.Pen().SetColor(bottomColor);
    canvas.LineTo(rect.Right - 1, rect.Bottom - 1);
    canvas.LineTo(rect.Left - 1, rect.Bottom - 1);
    rect.Left += 1;
    rect.Top += 1;
    rect.Right -= 1;
    rect.Bottom -= 1;
  }
  canvas.Pen().SetColor(saved.Color);
  canvas.Pen().SetWidth(saved.Width);
  canvas.Pen().SetStyle(saved.Style);
}

namespace {

// Paints one one-pixel ring on the asked sides and moves those sides inwards.
void drawEdgeRing(TCanvas& canvas, TRect& r, uint32_t flags, TColor topLeft, TColor bottomRight) {
  if (r.IsEmpty()) return;
  TBrush& brush = canvas.Brush();
  // Top and left first; the bottom and right lines then own the two corners
  // where a light and a dark side meet.
  if (flags & BF_TOP) {
    brush.SetColor(topLeft);
    canvas.FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1});
  }
  if (flags & BF_LEFT) {
    brush.SetColor(topLeft);
    canvas.FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom});
  }
  if (flags & BF_BOTTOM) {
    brush.SetColor(bottomRight);
    canvas.FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom});
  }
  if (flags & BF_RIGHT) {
    brush.SetColor(bottomRight);
    canvas.FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom});
  }
  if (flags & BF_LEFT) ++r.Left;
  if (flags & BF_TOP) ++r.Top;
  if (flags & BF_RIGHT) --r.Right;
  if (flags & BF_BOTTOM) --r.Bottom;
}

}  // namespace

bool DrawEdge(TCanvas& canvas, TRect& rect, uint32_t edge, uint32_t flags) {
  const uint32_t outer = edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER);
  const uint32_t inner = edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
  if (!outer && !inner && !(flags & BF_MIDDLE)) return false;
  TBrushData saved = canvas.Brush().Data();
  canvas.Brush().SetStyle(bsSolid);
  TRect r = rect;
  const bool soft = flags & BF_SOFT;
  TColor face = clBtnFace;
  if (flags & (BF_FLAT | BF_MONO)) {
    // Flat and mono edges are one plain frame: the outer ring in one colour,
    // the inner ring in the fill colour.
    TColor frame = (flags & BF_MONO) ? clWindowFrame : clBtnShadow;
    face = (flags & BF_MONO) ? clWindow : clBtnFace;
    if (outer) drawEdgeRing(canvas, r, flags, frame, frame);
    if (inner) drawEdgeRing(canvas, r, flags, face, face);
  } else {
    if (outer == BDR_RAISEDOUTER)
      drawEdgeRing(canvas, r, flags, soft ? clBtnHighlight : cl3DLight, cl3DDkShadow);
    else if (outer == BDR_SUNKENOUTER)
      drawEdgeRing(canvas, r, flags, soft ? cl3DDkShadow : clBtnShadow, clBtnHighlight);
    else if (outer)  // both bits: the sides cancel out into a flat ring
      drawEdgeRing(canvas, r, flags, clBtnFace, clBtnFace);
    if (inner == BDR_RAISEDINNER)
      drawEdgeRing(canvas, r, flags, soft ? cl3DLight : clBtnHighlight, clBtnShadow);
    else if (inner == BDR_SUNKENINNER)
      drawEdgeRing(canvas, r, flags, soft ? clBtnShadow : cl3DDkShadow, cl3DLight);
    else if (inner)
      drawEdgeRing(canvas, r, flags, clBtnFace, clBtnFace);
  }
  if ((flags & BF_MIDDLE) && !r.IsEmpty()) {
    canvas.Brush().SetColor(face);
    canvas.FillRect(r);
  }
  if (flags & BF_ADJUST) rect = r;
  canvas.Brush().SetColor(saved.Color);
  canvas.Brush().SetStyle(saved.Style);
  return true;
}

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 185, 41); }

void TCustomPanel::relayout() {
  Realign();
  Invalidate();
}
void TCustomPanel::SetBevelInner(TBevelCut v) {
  bevelInner_ = v;
  relayout();
}
void TCustomPanel::SetBevelOuter(TBevelCut v) {
  bevelOuter_ = v;
  relayout();
}
void TCustomPanel::SetBevelWidth(int32_t v) {
  bevelWidth_ = std::max(1, v);
  relayout();
}
void TCustomPanel::SetBorderWidth(int32_t v) {
  borderWidth_ = std::max(0, v);
  relayout();
}
void TCustomPanel::SetAlignment(TAlignment v) {
  alignment_ = v;
  Invalidate();
}

void TCustomPanel::AdjustClientRect(TRect& rect) const {
  int32_t inset = borderWidth_;
  if (bevelOuter_ != bvNone) inset += bevelWidth_;
  if (bevelInner_ != bvNone) inset += bevelWidth_;
  rect.Left += inset;
  rect.Top += inset;
  rect.Right -= inset;
  rect.Bottom -= inset;
}

void TCustomPanel::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(bsSolid);
  c.FillRect(r);
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    if (cut == bvSpace) {
      r.Left += bevelWidth_, r.Top += bevelWidth_, r.Right -= bevelWidth_, r.Bottom -= bevelWidth_;
      return;
    }
    TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    Frame3D(c, r, top, bottom, bevelWidth_);
  };
  bevel(bevelOuter_);
  r.Left += borderWidth_, r.Top += borderWidth_, r.Right -= borderWidth_, r.Bottom -= borderWidth_;
  bevel(bevelInner_);
  if (!ShowCaption || Caption().empty()) return;
  c.Brush().SetStyle(bsClear);
  if (!Enabled()) c.Font().SetColor(clGrayText);
  uint32_t flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
  if (alignment_ == taCenter) flags |= DT_CENTER;
  if (alignment_ == taRightJustify) flags |= DT_RIGHT;
  c.DrawText(Caption(), r, flags);
}

// ---------------------------------------------------------------------------
// TCustomRadioGroup

TCustomRadioGroup::TCustomRadioGroup(TComponent* owner)
    : TCustomGroupBox(owner), items_(std::make_unique<TStringList>()) {
  items_->OnChange = [this](TObject*) { Guarded([this] { rebuild(); }); };
}

TCustomRadioGroup::~TCustomRadioGroup() {
  items_->OnChange = nullptr;
  for (QRadioButton* b : buttons_) delete b;
  buttons_.clear();
}

QRadioButton* TCustomRadioGroup::Button(Integer index) const {
  if (index < 0 || index >= ButtonCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return buttons_[static_cast<size_t>(index)];
}

void TCustomRadioGroup::rebuild() {
  syncing_ = true;
  for (QRadioButton* b : buttons_) delete b;
  buttons_.clear();
  for (Integer i = 0; i < items_->Count(); ++i) {
    auto* b = new QRadioButton(QString::fromStdString(items_->Get(i)), Widget());
    b->setEnabled(Enabled());
    QObject::connect(b, &QRadioButton::toggled, [this, i](bool on) {
      if (syncing_ || !on) return;
      Guarded([this, i] {
        itemIndex_ = i;
        Click();
      });
    });
    b->show();
    buttons_.push_back(b);
  }
  if (itemIndex_ >= ButtonCount()) itemIndex_ = -1;
  if (itemIndex_ >= 0) buttons_[static_cast<size_t>(itemIndex_)]->setChecked(true);
  syncing_ = false;
  arrange();
}

void TCustomRadioGroup::SetItemIndex(Integer value) {
  value = std::clamp<Integer>(value, -1, ButtonCount() - 1);
  if (value == itemIndex_) return;
  syncing_ = true;
  if (itemIndex_ >= 0) {
    QRadioButton* old = buttons_[static_cast<size_t>(itemIndex_)];
    old->setAutoExclusive(false);
    old->setChecked(false);
    old->setAutoExclusive(true);
  }
  itemIndex_ = value;
  if (value >= 0) buttons_[static_cast<size_t>(value)]->setChecked(true);
  syncing_ = false;
  if (value >= 0) Click();
}

void TCustomRadioGroup::SetColumns(Integer value) {
  columns_ = std::clamp<Integer>(value, 1, 16);
  arrange();
}

void TCustomRadioGroup::AlignControls(TRect rect) {
  TCustomGroupBox::AlignControls(rect);
  arrange();
}

void TCustomRadioGroup::Changed(Cardinal cm) {
  TCustomGroupBox::Changed(cm);
  if (cm == CM_ENABLEDCHANGED)
    for (QRadioButton* b : buttons_) b->setEnabled(Enabled());
}

void TCustomRadioGroup::arrange() {
  if (buttons_.empty()) return;
  TRect r = ClientRect();
  AdjustClientRect(r);
  const Integer n = ButtonCount();
  const Integer perColumn = (n + columns_ - 1) / columns_;
  const int32_t w = std::max(0, r.Width() - 8) / columns_;
  const int32_t h = std::max(0, r.Height()) / std::max<Integer>(1, perColumn);
  // Filled column by column, each button the height of one row.
  for (Integer i = 0; i < n; ++i) {
    int32_t col = i / perColumn, row = i % perColumn;
    buttons_[static_cast<size_t>(i)]->setGeometry(r.Left + 6 + col * w, r.Top + row * h, w, h);
  }
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 105, 105); }

void TImage::PictureChanged() {
  if (AutoSize && picture_.Graphic() && !picture_.Graphic()->Empty())
    SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
  Invalidate();
}

void TImage::Paint() {
  TGraphic* g = picture_.Graphic();
  if (!g || g->Empty()) return;
  int32_t w = g->Width(), h = g->Height();
  if (Stretch) {
    if (Proportional) {
      // Scaled to fit, aspect kept.
      double s = std::min(static_cast<double>(Width()) / w, static_cast<double>(Height()) / h);
      w = std::max(1, static_cast<int32_t>(w * s));
      h = std::max(1, static_cast<int32_t>(h * s));
    } else {
      w = Width();
      h = Height();
    }
  }
  int32_t x = 0, y = 0;
  if (Center) {
    x = (Width() - w) / 2;
    y = (Height() - h) / 2;
  }
  g->Draw(Canvas(), Bounds(x, y, w, h));
}

// ---------------------------------------------------------------------------
// TScrollBox

namespace {

// The scroll box's bars draw their thumb darker than the groove. The
// desktop style draws a light thumb on a darker groove; when the content is
// only a little larger than the box the thumb fills most of the groove, and
// the groove's short dark rest at the far end reads as the thumb: the bar
// looked inverted.
class TScrollBoxBarStyle : public QProxyStyle {
 public:
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar) {
      QProxyStyle::drawComplexControl(control, option, painter, widget);
      return;
    }
    QStyleOptionSlider rest = *bar;
    rest.subControls &= ~SC_ScrollBarSlider;
    QProxyStyle::drawComplexControl(control, &rest, painter, widget);
    if (!(bar->subControls & SC_ScrollBarSlider)) return;
    const QRect thumb = subControlRect(control, option, SC_ScrollBarSlider, widget);
    if (thumb.isEmpty()) return;
    const bool active = bar->activeSubControls & SC_ScrollBarSlider;
    QColor face = option->palette.color(QPalette::Dark);
    if (active && (option->state & State_Sunken)) face = face.darker(120);
    else if (active && (option->state & State_MouseOver)) face = face.darker(110);
    painter->save();
    painter->setPen(face.darker(130));
    painter->setBrush(face);
    painter->drawRect(thumb.adjusted(1, 1, -2, -2));
    painter->restore();
  }
};

}  // namespace

TScrollBox::TScrollBox(TComponent* owner) : TWinControl(owner) {
  hbar_ = new QScrollBar(Qt::Horizontal, Widget());
  vbar_ = new QScrollBar(Qt::Vertical, Widget());
  hbar_->hide();
  vbar_->hide();
  for (QScrollBar* bar : {hbar_, vbar_}) {
    auto* style = new TScrollBoxBarStyle;
    style->setParent(bar);
    bar->setStyle(style);
  }
  QObject::connect(hbar_, &QScrollBar::valueChanged, [this](int v) {
    if (!updating_) scrollTo(v, posY_);
  });
  QObject::connect(vbar_, &QScrollBar::valueChanged, [this](int v) {
    if (!updating_) scrollTo(posX_, v);
  });
  SetColor(clBtnFace);
  SetBounds(0, 0, 185, 41);
}

TRect TScrollBox::ClientRect() const {
  int32_t w = Width(), h = Height();
  if (vbar_ && vbar_->isVisibleTo(Widget())) w -= vbar_->sizeHint().width();
  if (hbar_ && hbar_->isVisibleTo(Widget())) h -= hbar_->sizeHint().height();
  return Rect(0, 0, std::max(0, w), std::max(0, h));
}

int32_t TScrollBox::HorzPosition() const { return posX_; }
int32_t TScrollBox::VertPosition() const { return posY_; }
void TScrollBox::SetHorzPosition(int32_t v) { scrollTo(v, posY_); }
void TScrollBox::SetVertPosition(int32_t v) { scrollTo(posX_, v); }

void TScrollBox::AlignControls(TRect rect) {
  TWinControl::AlignControls(rect);
  if (!updating_) updateScrollBars();
}

void TScrollBox::ControlBoundsChanged(TControl*) {
  if (!updating_) updateScrollBars();
}

void TScrollBox::updateScrollBars() {
  updating_ = true;
  // The content's extent in unscrolled coordinates.
  rangeX_ = rangeY_ = 0;
  for (Integer i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible() || c->Align() == alClient) continue;
    rangeX_ = std::max(rangeX_, c->Left() + c->Width() + posX_);
    rangeY_ = std::max(rangeY_, c->Top() + c->Height() + posY_);
  }
  const int32_t bw = vbar_->sizeHint().width(), bh = hbar_->sizeHint().height();
  bool hv = false, vv = false;
  if (AutoScroll) {
    // A bar takes room from the other direction; two rounds settle it.
    for (int round = 0; round < 2; ++round) {
      hv = rangeX_ > Width() - (vv ? bw : 0);
      vv = rangeY_ > Height() - (hv ? bh : 0);
    }
  }
  const bool changed = hv != hbar_->isVisibleTo(Widget()) || vv != vbar_->isVisibleTo(Widget());
  hbar_->setVisible(hv);
  vbar_->setVisible(vv);
  const int32_t cw = ClientRect().Width(), ch = ClientRect().Height();
  hbar_->setGeometry(0, Height() - bh, cw, bh);
  vbar_->setGeometry(Width() - bw, 0, bw, ch);
  hbar_->setRange(0, std::max(0, rangeX_ - cw));
  vbar_->setRange(0, std::max(0, rangeY_ - ch));
  hbar_->setPageStep(std::max(1, cw));
  vbar_->setPageStep(std::max(1, ch));
  hbar_->setSingleStep(8);
  vbar_->setSingleStep(8);
  hbar_->raise();
  vbar_->raise();
  updating_ = false;
  scrollTo(std::min(posX_, hbar_->maximum()), std::min(posY_, vbar_->maximum()));
  if (changed) Realign();
}

void TScrollBox::scrollTo(int32_t x, int32_t y) {
  x = std::clamp(x, 0, std::max(0, rangeX_ - ClientRect().Width()));
  y = std::clamp(y, 0, std::max(0, rangeY_ - ClientRect().Height()));
  const int32_t dx = x - posX_, dy = y - posY_;
  if (dx == 0 && dy == 0) return;
  posX_ = x;
  posY_ = y;
  updating_ = true;
  DisableAlign();
  for (Integer i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (c->Align() != alNone) continue;
    c->SetBounds(c->Left() - dx, c->Top() - dy, c->Width(), c->Height());
  }
  hbar_->setValue(posX_);
  vbar_->setValue(posY_);
  updating_ = false;
  EnableAlign();
  Invalidate();
}

void TScrollBox::ScrollInView(TControl* control) {
  if (!control || control->Parent() != this) return;
  TRect r = control->BoundsRect();
  TRect c = ClientRect();
  int32_t x = posX_, y = posY_;
  if (r.Left < 0) x += r.Left;
  else if (r.Right > c.Right) x += std::min(r.Right - c.Right, r.Left);
  if (r.Top < 0) y += r.Top;
  else if (r.Bottom > c.Bottom) y += std::min(r.Bottom - c.Bottom, r.Top);
  scrollTo(x, y);
}

void TScrollBox::WndProc(TMessage& m) {
  if (m.Msg == WM_MOUSEWHEEL && vbar_->isVisibleTo(Widget())) {
    int16_t delta = static_cast<int16_t>((m.WParam >> 16) & 0xFFFF);
    scrollTo(posX_, posY_ - delta / 120 * 3 * vbar_->singleStep());
    m.Result = 1;
    return;
  }
  TWinControl::WndProc(m);
}

}  // namespace px
