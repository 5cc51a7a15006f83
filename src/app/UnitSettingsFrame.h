#pragma once
// The settings screen, opened at start. For now a titled page; its
// currencies, denominations and general settings come with their own work.
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

class TfraSettings : public TQVRFrame {
 public:
  static constexpr Integer FrameNumber = 3;
  explicit TfraSettings(TComponent* owner);
  void AfterConstruction() override;

  TQVRPanel* pnlMain;
};

void InitializeSettingsFrame();
void FinalizeSettingsFrame();

}  // namespace px
