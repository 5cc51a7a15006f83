#pragma once
// A static information page.
#include "platform/gui/StdCtrls.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

class TfraInformation : public TQVRFrame {
 public:
  static constexpr Integer FrameNumber = 2;
  explicit TfraInformation(TComponent* owner);
  void AfterConstruction() override;

  TQVRPanel* pnlMain;
  TMemo* mmTest;
};

void InitializeInformationFrame();
void FinalizeInformationFrame();

}  // namespace px
