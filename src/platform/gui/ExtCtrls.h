#pragma once
// Panels, radio groups, images and scroll boxes.
#include <memory>
#include <vector>

#include "platform/gui/StdCtrls.h"

class QRadioButton;
class QScrollBar;

namespace px {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// A painted container with an optional two-part bevel and a centred caption.
// Children align inside the border and the bevels.
class TCustomPanel : public TCustomControl {
 public:
  explicit TCustomPanel(TComponent* owner);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut v);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut v);
  int32_t BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int32_t v);
  int32_t BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int32_t v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  bool ShowCaption = true;
  void AdjustClientRect(TRect& rect) const override;

 protected:
  void Paint() override;

 private:
  void relayout();
  TBevelCut bevelInner_ = bvNone;
  TBevelCut bevelOuter_ = bvRaised;
  int32_t bevelWidth_ = 1;
  int32_t borderWidth_ = 0;
  TAlignment alignment_ = taCenter;
};

class TPanel : public TCustomPanel {
 public:
  explicit TPanel(TComponent* owner) : TCustomPanel(owner) {}
};

// Draws a raised or sunken frame of the given width and shrinks the rectangle
// by it.
void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int32_t width);

// Edge kinds of DrawEdge: an outer and an inner one-pixel ring, each raised
// or sunken.
constexpr uint32_t BDR_RAISEDOUTER = 0x0001;
constexpr uint32_t BDR_SUNKENOUTER = 0x0002;
constexpr uint32_t BDR_RAISEDINNER = 0x0004;
constexpr uint32_t BDR_SUNKENINNER = 0x0008;
constexpr uint32_t EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr uint32_t EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
// Sides and manner of DrawEdge.
constexpr uint32_t BF_LEFT = 0x0001;
constexpr uint32_t BF_TOP = 0x0002;
constexpr uint32_t BF_RIGHT = 0x0004;
constexpr uint32_t BF_BOTTOM = 0x0008;
constexpr uint32_t BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr uint32_t BF_MIDDLE = 0x0800;  // fill the inside with the face colour
constexpr uint32_t BF_SOFT = 0x1000;    // lighter outer, softer inner highlight
constexpr uint32_t BF_ADJUST = 0x2000;  // shrink rect by the rings drawn
constexpr uint32_t BF_FLAT = 0x4000;    // one shadow-coloured outer ring, flat inner
constexpr uint32_t BF_MONO = 0x8000;    // window-frame outer ring, window-coloured inner

// Draws the rings that edge asks for on the sides that flags name, with the
// button colours, through the canvas (so every device gets it). Answers
// false when edge names no ring and flags no fill.
bool DrawEdge(TCanvas& canvas, TRect& rect, uint32_t edge, uint32_t flags);

// A group box of radio buttons made from Items, in Columns columns.
// OnClick runs when ItemIndex changes, by the user or in code.
class TCustomRadioGroup : public TCustomGroupBox {
 public:
  explicit TCustomRadioGroup(TComponent* owner);
  ~TCustomRadioGroup() override;
  TStrings& Items() { return *items_; }
  Integer ItemIndex() const { return itemIndex_; }
  // -1 checks no button; a larger index than the last checks the last.
  void SetItemIndex(Integer value);
  Integer Columns() const { return columns_; }
  void SetColumns(Integer value);
  Integer ButtonCount() const { return static_cast<Integer>(buttons_.size()); }
  // The Qt button of item Index (tests click it).
  QRadioButton* Button(Integer index) const;

 protected:
  void AlignControls(TRect rect) override;
  void Changed(Cardinal cm) override;

 private:
  void rebuild();
  void arrange();
  std::unique_ptr<TStringList> items_;
  std::vector<QRadioButton*> buttons_;
  Integer itemIndex_ = -1;
  Integer columns_ = 1;
  bool syncing_ = false;
};

class TRadioGroup : public TCustomRadioGroup {
 public:
  explicit TRadioGroup(TComponent* owner) : TCustomRadioGroup(owner) {}
};

// Shows a picture, at its own size (top-left or centred) or stretched.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* owner);
  TPicture& Picture() { return picture_; }
  // Call after changing the picture's graphic.
  void PictureChanged();
  bool Stretch = false;
  // With Stretch: keep the aspect ratio.
  bool Proportional = false;
  bool Center = false;
  bool AutoSize = false;

 protected:
  void Paint() override;

 private:
  TPicture picture_;
};

enum TBorderStyle { bsNone, bsSingle };

// A container that scrolls its children: with AutoScroll the scroll ranges
// cover every child; scrolling moves the children.
class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* owner);
  TRect ClientRect() const override;
  bool AutoScroll = true;
  TBorderStyle BorderStyle = bsSingle;
  // Current scroll positions (pixels the content is moved up / left).
  int32_t HorzPosition() const;
  int32_t VertPosition() const;
  void SetHorzPosition(int32_t value);
  void SetVertPosition(int32_t value);
  int32_t HorzRange() const { return rangeX_; }
  int32_t VertRange() const { return rangeY_; }
  // Scrolls so that the control is wholly visible (as far as it fits).
  void ScrollInView(TControl* control);

 protected:
  void AlignControls(TRect rect) override;
  // The scroll range covers a child placed after it was inserted (a sheet
  // built control by control places each one after giving it its parent).
  void ControlBoundsChanged(TControl* control) override;
  void WndProc(TMessage& message) override;

 private:
  void updateScrollBars();
  void scrollTo(int32_t x, int32_t y);
  QScrollBar* hbar_;
  QScrollBar* vbar_;
  int32_t posX_ = 0, posY_ = 0;
  int32_t rangeX_ = 0, rangeY_ = 0;
  bool updating_ = false;
};

}  // namespace px
