#include "platform/gui/ComCtrls.h"

#include "platform/gui/ExtCtrls.h"

namespace px {

TStatusPanel& TStatusPanels::Add() {
  panels_.emplace_back();
  bar_->Invalidate();
  return panels_.back();
}

void TStatusPanels::Clear() {
  panels_.clear();
  bar_->Invalidate();
}

void TStatusPanels::Delete(Integer index) {
  Items(index);
  panels_.erase(panels_.begin() + index);
  bar_->Invalidate();
}

TStatusPanel& TStatusPanels::Items(Integer index) {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return panels_[static_cast<size_t>(index)];
}

const TStatusPanel& TStatusPanels::Items(Integer index) const {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return panels_[static_cast<size_t>(index)];
}

void TStatusPanels::SetText(Integer index, const std::string& text) {
  Items(index).Text = text;
  bar_->Invalidate();
}

TStatusBar::TStatusBar(TComponent* owner) : TCustomControl(owner), panels_(this) {
  SetBounds(0, 0, 200, 19);
  SetAlign(alBottom);
}

void TStatusBar::SetSimplePanel(bool value) {
  simplePanel_ = value;
  Invalidate();
}

void TStatusBar::SetSimpleText(const std::string& value) {
  simpleText_ = value;
  Invalidate();
}

TRect TStatusBar::PanelRect(Integer index) const {
  panels_.Items(index);
  int32_t left = 0;
  for (Integer i = 0; i < index; ++i) left += panels_.Items(i).Width;
  int32_t right = index == panels_.Count() - 1 ? Width() : left + panels_.Items(index).Width;
  return Rect(left, 0, std::max(left, right), Height());
}

void TStatusBar::Paint() {
  TCanvas& c = Canvas();
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(bsSolid);
  c.FillRect(ClientRect());
  auto panel = [&](TRect r, const std::string& text, TAlignment alignment) {
    // Each panel is a sunken field with a one-pixel gap to the next.
    r.Top += 2;
    r.Right -= 2;
    if (r.Width() <= 0 || r.Height() <= 0) return;
    Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    r.Left += 2;
    r.Right -= 2;
    c.Brush().SetStyle(bsClear);
    uint32_t flags = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS;
    if (alignment == taCenter) flags |= DT_CENTER;
    if (alignment == taRightJustify) flags |= DT_RIGHT;
    c.DrawText(text, r, flags);
    c.Brush().SetStyle(bsSolid);
  };
  if (simplePanel_) {
    panel(ClientRect(), simpleText_, taLeftJustify);
    return;
  }
  for (Integer i = 0; i < panels_.Count(); ++i) panel(PanelRect(i), panels_.Items(i).Text, panels_.Items(i).Alignment);
}

}  // namespace px
