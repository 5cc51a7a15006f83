#include "app/UnitInformationFrame.h"

namespace px {

TfraInformation::TfraInformation(TComponent* owner) : TQVRFrame(owner) {
  SetName("fraInformation");
  SetBounds(0, 0, 451, 304);

  pnlMain = CreateComponent<TQVRPanel>(this);
  pnlMain->SetName("pnlMain");
  pnlMain->SetParent(this);
  pnlMain->SetAlign(alClient);
  pnlMain->SetCaption("[Information]");
  pnlMain->SetBorderWidth(6);
  pnlMain->TitleFont().SetName("Arial");
  pnlMain->TitleFont().SetHeight(-13);
  pnlMain->SetTitleColor(clInactiveCaption);
  pnlMain->SetTitleHeight(24);

  mmTest = CreateComponent<TMemo>(this);
  mmTest->SetName("mmTest");
  mmTest->SetParent(pnlMain);
  mmTest->SetBounds(8, 32, 435, 264);
  mmTest->SetAnchors({akLeft, akTop, akRight, akBottom});
  mmTest->Lines().Add("links to help / documentation / ...");
  mmTest->Lines().Add("");
  mmTest->Lines().Add("Version number");
  mmTest->Lines().Add("");
  mmTest->Lines().Add("Link to vantorel website.");
}

void TfraInformation::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  if (auto adjust = QVRSystem->GetService<IPanelAdjust>()) adjust->Adjust(pnlMain);
}

void InitializeInformationFrame() { QVRSystem->RegisterControl<TfraInformation>(TfraInformation::FrameNumber); }
void FinalizeInformationFrame() {
  if (QVRSystem) QVRSystem->UnregisterControl(TfraInformation::FrameNumber);
}

}  // namespace px
