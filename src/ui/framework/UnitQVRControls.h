#pragma once
// The framework's base for a windowed control that draws the three-colour
// frame of the framework edits (cool, hot under the mouse, focus) and carries
// an attached caption label, and the border container built on it.
#include <functional>
#include <string>

#include "platform/gui/Controls.h"
#include "platform/gui/StdCtrls.h"

namespace px {

namespace UnitQVRControls {
enum TLabelPosition { lpNone, lpAbove, lpLeft };
}

using TFocusEvent = std::function<void(TObject* sender, bool focussed)>;

class TCustomQVRControl : public TCustomControl {
 public:
  using TLabelPosition = UnitQVRControls::TLabelPosition;

  explicit TCustomQVRControl(TComponent* owner);
  ~TCustomQVRControl() override;

  TColor HotColor() const { return hotColor_; }
  void SetHotColor(TColor v);
  TColor CoolColor() const { return coolColor_; }
  void SetCoolColor(TColor v);
  TColor FocusColor() const { return focusColor_; }
  void SetFocusColor(TColor v);
  TLabelPosition LabelPosition() const { return labelPosition_; }
  void SetLabelPosition(TLabelPosition v);
  Integer LabelDistance() const { return labelDistance_; }
  void SetLabelDistance(Integer v);
  const std::string& LabelCaption() const { return labelCaption_; }
  void SetLabelCaption(const std::string& v);
  TFocusEvent OnFocusChanged;

  bool Hot() const { return hot_; }
  bool IsFocused() const { return focused_; }
  TRect ContentRect() const { return contentRect_; }
  // The caption label, nullptr while none is shown.
  TLabel* CaptionLabel() const { return captionLabel_; }

  void SetParent(TWinControl* parent) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void AdjustClientRect(TRect& rect) const override;
  void WndProc(TMessage& message) override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void Paint() override;
  // Draws the frame while painting; otherwise asks for a repaint.
  virtual void PaintBorder();
  virtual void GetContentRect(TRect& rect);
  virtual bool IsHot();
  virtual void SetFocused(bool value);
  virtual void UpdateLabel();
  virtual void DoMouseEnter();
  virtual void DoMouseLeave();
  virtual void EnabledChanged();
  virtual void VisibleChanged();
  virtual void PositionChanged();
  // No control of this system wants a caret in the frame.
  virtual bool WantsCaret() { return false; }
  virtual void ShowFocusCaret() {}
  virtual void HideFocusCaret() {}
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void Resize() override;
  void DoEnter() override;
  void DoExit() override;

 private:
  bool hot_ = false;
  TRect contentRect_;
  bool focused_ = false;
  TColor hotColor_ = clHighlight, focusColor_ = clBtnText, coolColor_ = clGrayText;
  TLabelPosition labelPosition_ = UnitQVRControls::lpNone;
  Integer labelDistance_ = 15;
  std::string labelCaption_;
  TLabel* captionLabel_ = nullptr;
  bool destroying_ = false;
};

// A container that frames the controls placed inside it like a framework
// edit (the password entry is a plain edit in one).
class TQVRBorder : public TCustomQVRControl {
 public:
  explicit TQVRBorder(TComponent* owner);
};

// Keeps the caption label of a framework control beside it, on the control's
// parent: made on first need, freed when not shown. Returns the label, or
// nullptr when it is not shown.
TLabel* PlaceCaptionLabel(TWinControl* control, TLabel*& label, bool shown, const std::string& caption, bool above,
                          int32_t distance);

}  // namespace px
