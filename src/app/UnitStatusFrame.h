#pragma once
// The status frame under the category bar: whether the scale is connected,
// an animation while it talks to the program, tones when it comes and goes,
// and a button that asks it to disconnect.
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

// The panel that shows the connection text; while the scale is active its
// paint also draws the current animation image at the right.
class TActivityPanel : public TPanel {
 public:
  using TPanel::TPanel;
  // -1: no image.
  Integer ImageIndex = -1;

 protected:
  void Paint() override;
};

class TfraStatus : public TQVRFrame, public IDeviceListener {
 public:
  static constexpr Integer FrameNumber = 1;
  explicit TfraStatus(TComponent* owner);

  void DeviceStatusChanged(bool connected, bool audible) override;
  void DeviceActivity() override;
  void AfterConstruction() override;
  void btnDisconnectClick(TObject* sender);

  Integer AnimationStep() const { return step_; }

  TActivityPanel* pnlDate;
  TButton* btnDisconnect;

 private:
  Integer step_ = 0;
};

void InitializeStatusFrame();
void FinalizeStatusFrame();

}  // namespace px
