#include "app/UnitStatusFrame.h"

#include "device/UnitVantorel7350.h"
#include "platform/core/Debug.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

void TActivityPanel::Paint() {
  TPanel::Paint();
  // The top edge is the panel's only bevel.
  Canvas().Pen().SetColor(clBtnShadow);
  Canvas().MoveTo(0, 0);
  Canvas().LineTo(Width(), 0);
  Canvas().Pen().SetColor(clBtnHighlight);
  Canvas().MoveTo(0, 1);
  Canvas().LineTo(Width(), 1);
  if (ImageIndex < 0 || !QVRSystem) return;
  if (auto images = QVRSystem->GetService<IImageLists>())
    images->Draw(&Canvas(), Width() - 40, (Height() - 32) / 2, ImageIndex, "PROGRESS");
}

TfraStatus::TfraStatus(TComponent* owner) : TQVRFrame(owner) {
  SetName("fraStatus");
  Font().SetName("Arial");
  SetBounds(0, 0, 451, 78);
  SetAlign(alBottom);

  btnDisconnect = CreateComponent<TButton>(this);
  btnDisconnect->SetName("btnDisconnect");
  btnDisconnect->SetParent(this);
  btnDisconnect->SetBounds(0, 49, 451, 29);
  btnDisconnect->SetAlign(alBottom);
  btnDisconnect->SetCaption("[Disconnect]");
  btnDisconnect->SetEnabled(false);
  btnDisconnect->OnClick = [this](TObject* s) { btnDisconnectClick(s); };

  pnlDate = CreateComponent<TActivityPanel>(this);
  pnlDate->SetName("pnlDate");
  pnlDate->SetParent(this);
  pnlDate->SetAlign(alClient);
  pnlDate->SetAlignment(taLeftJustify);
  pnlDate->SetBevelOuter(bvNone);
  pnlDate->Font().SetName("Arial");
  pnlDate->Font().SetHeight(-15);
  pnlDate->SetCaption("");
}

void TfraStatus::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  DeviceStatusChanged(Vantorel7350 && Vantorel7350->Connected, false);
}

void TfraStatus::DeviceStatusChanged(bool connected, bool audible) {
  pnlDate->SetCaption(connected ? "Active" : "");
  pnlDate->ImageIndex = -1;
  pnlDate->Invalidate();
  btnDisconnect->SetEnabled(connected && Vantorel7350 && Vantorel7350->ProductVariant > 1);
  if (!audible) return;
  if (connected) {
    Beep(1000, 100);
    Beep(1100, 100);
    step_ = 0;
    DeviceActivity();
  } else {
    Beep(1100, 100);
    Beep(1000, 100);
  }
}

void TfraStatus::DeviceActivity() {
  // Qt paints only in paint events: the step is kept and the panel repainted
  // at once; its paint draws the image of the step.
  pnlDate->SetCaption(" " + Translate("Active"));
  step_ = (step_ + 1) % 6;
  pnlDate->ImageIndex = step_;
  pnlDate->Repaint();
}

void TfraStatus::btnDisconnectClick(TObject*) {
  if (Vantorel7350) Vantorel7350->RequestDisconnect();
}

void InitializeStatusFrame() { QVRSystem->RegisterControl<TfraStatus>(TfraStatus::FrameNumber); }
void FinalizeStatusFrame() {
  if (QVRSystem) QVRSystem->UnregisterControl(TfraStatus::FrameNumber);
}

}  // namespace px
