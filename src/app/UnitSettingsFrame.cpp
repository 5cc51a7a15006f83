#include "app/UnitSettingsFrame.h"

namespace px {

TfraSettings::TfraSettings(TComponent* owner) : TQVRFrame(owner) {
  SetName("fraSettings");
  SetBounds(0, 0, 800, 600);
  pnlMain = CreateComponent<TQVRPanel>(this);
  pnlMain->SetName("pnlMain");
  pnlMain->SetParent(this);
  pnlMain->SetAlign(alClient);
  pnlMain->SetCaption("[Settings]");
}

void TfraSettings::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  if (auto adjust = QVRSystem->GetService<IPanelAdjust>()) adjust->Adjust(pnlMain);
}

void InitializeSettingsFrame() { QVRSystem->RegisterControl<TfraSettings>(TfraSettings::FrameNumber); }
void FinalizeSettingsFrame() {
  if (QVRSystem) QVRSystem->UnregisterControl(TfraSettings::FrameNumber);
}

}  // namespace px
