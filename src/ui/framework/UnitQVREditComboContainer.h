#pragma once
// The drop-down container of the framework edit: a borderless top-most tool
// window beside the edit that holds whatever the owner puts in it, closes
// itself on a click elsewhere or when the application goes inactive, and may
// carry a size grip in one corner.
#include <functional>
#include <memory>

#include "platform/gui/Forms.h"

class QObject;

namespace px {

class TComboContainer : public TForm {
 public:
  explicit TComboContainer(TComponent* owner);
  ~TComboContainer() override;

  // Told of every change of visibility (true: shown).
  std::function<void(bool visible)> OnVisibleChanged;

  // 0 none, 1 top-left, 2 top-right, 3 bottom-left, 4 bottom-right. The
  // grip lies in an 11-pixel strip above (1, 2) or below (3, 4) the client
  // area.
  Byte Grip() const { return grip_; }
  void SetGrip(Byte value);
  // Track limits of the window's size.
  int32_t MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
  void ApplyTrackLimits();

  void ShowContainer();
  void HideContainer();
  // True while the container's application-wide filter is installed.
  bool HookInstalled() const { return hookInstalled_; }

  // What a window point (from the window's top-left) hits: HTCLIENT, or a
  // sizing edge or corner of the grip strip.
  int32_t HitTest(TPoint windowPoint) const;

  TRect ClientRect() const override;
  void WndProc(TMessage& message) override;

  // The grip picture for a grip value (1..4), 10 x 10 pixels.
  static const TBitmap& GripBitmap(Byte grip);

 protected:
  TPoint clientOffsetForChildren() const override;
  bool bridgeOtherEvent(QEvent* event) override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

 private:
  friend class TContainerHook;
  void updateMessageHook();
  void paintGrip(QEvent* event);
  Byte grip_ = 0;
  bool hookInstalled_ = false;
  bool destroying_ = false;
  std::unique_ptr<QObject> hook_;
  int32_t sizing_ = 0;  // hit code of a running resize
  TPoint sizeStart_;
  TRect boundsStart_;
};

// Hit codes of HitTest.
constexpr int32_t HTCLIENT = 1, HTTOP = 12, HTTOPLEFT = 13, HTTOPRIGHT = 14, HTBOTTOM = 15, HTBOTTOMLEFT = 16,
                  HTBOTTOMRIGHT = 17;

}  // namespace px
