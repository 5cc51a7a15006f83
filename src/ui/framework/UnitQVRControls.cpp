#include "ui/framework/UnitQVRControls.h"

namespace px {

TCustomQVRControl::TCustomQVRControl(TComponent* owner) : TCustomControl(owner) {
  SetBounds(Left(), Top(), 30, 30);
  TabStop = true;
}

TCustomQVRControl::~TCustomQVRControl() {
  destroying_ = true;
  if (captionLabel_) {
    TLabel* l = captionLabel_;
    captionLabel_ = nullptr;
    l->RemoveFreeNotification(this);
    FreeObject(l);
  }
}

void TCustomQVRControl::SetHotColor(TColor v) {
  hotColor_ = v;
  PaintBorder();
}
void TCustomQVRControl::SetCoolColor(TColor v) {
  coolColor_ = v;
  PaintBorder();
}
void TCustomQVRControl::SetFocusColor(TColor v) {
  focusColor_ = v;
  PaintBorder();
}
void TCustomQVRControl::SetLabelPosition(TLabelPosition v) {
  labelPosition_ = v;
  UpdateLabel();
}
void TCustomQVRControl::SetLabelDistance(Integer v) {
  labelDistance_ = v;
  UpdateLabel();
}
void TCustomQVRControl::SetLabelCaption(const std::string& v) {
  labelCaption_ = v;
  UpdateLabel();
}

void TCustomQVRControl::SetParent(TWinControl* parent) {
  TCustomControl::SetParent(parent);
  UpdateLabel();
}

void TCustomQVRControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  const bool changed = left != Left() || top != Top() || width != Width() || height != Height();
  TCustomControl::SetBounds(left, top, width, height);
  if (changed) PositionChanged();
}

void TCustomQVRControl::AdjustClientRect(TRect& rect) const {
  rect = Rect(rect.Left + 2, rect.Top + 2, rect.Right - 2, rect.Bottom - 2);
}

void TCustomQVRControl::Resize() {
  TCustomControl::Resize();
  TRect r;
  GetContentRect(r);
  contentRect_ = r;
}

void TCustomQVRControl::GetContentRect(TRect& rect) { rect = ClientRect(); }

bool TCustomQVRControl::IsHot() { return hot_ && Enabled(); }

void TCustomQVRControl::Paint() {
  TCustomControl::Paint();
  PaintBorder();
}

void TCustomQVRControl::PaintBorder() {
  TCanvas& c = Canvas();
  if (!c.Device()) {
    Invalidate();
    return;
  }
  c.Pen().SetColor(focused_ ? focusColor_ : IsHot() ? hotColor_ : coolColor_);
  c.Pen().SetStyle(psSolid);
  c.Pen().SetWidth(1);
  c.Brush().SetStyle(bsClear);
  c.Rectangle(contentRect_);
}

void TCustomQVRControl::DoMouseEnter() {
  hot_ = true;
  PaintBorder();
}

void TCustomQVRControl::DoMouseLeave() {
  hot_ = false;
  PaintBorder();
}

void TCustomQVRControl::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (CanFocus()) SetFocus();
}

void TCustomQVRControl::DoEnter() {
  TCustomControl::DoEnter();
  if (WantsCaret()) ShowFocusCaret();
  SetFocused(true);
}

void TCustomQVRControl::DoExit() {
  TCustomControl::DoExit();
  HideFocusCaret();
  SetFocused(false);
}

void TCustomQVRControl::SetFocused(bool value) {
  focused_ = value;
  PaintBorder();
  if (OnFocusChanged) OnFocusChanged(this, value);
}

void TCustomQVRControl::EnabledChanged() { UpdateLabel(); }
void TCustomQVRControl::VisibleChanged() { UpdateLabel(); }
void TCustomQVRControl::PositionChanged() { UpdateLabel(); }

void TCustomQVRControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER:
      TCustomControl::WndProc(m);
      DoMouseEnter();
      return;
    case CM_MOUSELEAVE:
      TCustomControl::WndProc(m);
      DoMouseLeave();
      return;
    case CM_ENABLEDCHANGED:
      TCustomControl::WndProc(m);
      EnabledChanged();
      return;
    case CM_VISIBLECHANGED:
      TCustomControl::WndProc(m);
      VisibleChanged();
      return;
    default: TCustomControl::WndProc(m);
  }
}

void TCustomQVRControl::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && component == captionLabel_) captionLabel_ = nullptr;
}

void TCustomQVRControl::UpdateLabel() {
  if (destroying_) return;
  PlaceCaptionLabel(this, captionLabel_, labelPosition_ != UnitQVRControls::lpNone, labelCaption_,
                    labelPosition_ == UnitQVRControls::lpAbove, labelDistance_);
}

TLabel* PlaceCaptionLabel(TWinControl* control, TLabel*& label, bool shown, const std::string& caption, bool above,
                          int32_t distance) {
  if (!shown || !control->Parent() || !control->Visible()) {
    if (label) {
      TLabel* l = label;
      label = nullptr;
      l->RemoveFreeNotification(control);
      control->RemoveComponent(l);
      FreeObject(l);
    }
    return nullptr;
  }
  if (!label) {
    label = CreateComponent<TLabel>(control);
    label->FreeNotification(control);
    label->FocusControl = control;
  }
  TLabel* l = label;
  l->SetParent(control->Parent());
  l->SetCaption(caption);
  l->SetEnabled(control->Enabled());
  // A label taller than the control stands centred on it.
  if (above) l->SetBounds(control->Left(), control->Top() - distance, l->Width(), l->Height());
  else
    l->SetBounds(control->Left() - distance, control->Top() + (control->Height() - l->Height()) / 2, l->Width(),
                 l->Height());
  return l;
}

TQVRBorder::TQVRBorder(TComponent* owner) : TCustomQVRControl(owner) { TabStop = false; }

}  // namespace px
