#include "app/UnitGetPassword.h"

#include "platform/gui/ExtCtrls.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

TfrmGetPassword::TfrmGetPassword(TComponent* owner) : TForm(owner) {
  SetName("frmGetPassword");
  SetCaption("[GetPassword]");
  SetClientSize(284, 118);
  Font().SetName("Tahoma");
  Font().SetHeight(-11);

  lblEnterPassword = CreateComponent<TLabel>(this);
  lblEnterPassword->SetName("lblEnterPassword");
  lblEnterPassword->SetParent(this);
  lblEnterPassword->SetBounds(12, 12, 260, 13);
  lblEnterPassword->SetCaption("[EnterPassword]");

  auto* border = CreateComponent<TPanel>(this);
  border->SetName("bdPassword");
  border->SetParent(this);
  border->SetBounds(12, 32, 260, 30);
  border->SetCaption("");
  bdPassword = border;

  edPassword = CreateComponent<TEdit>(this);
  edPassword->SetName("edPassword");
  edPassword->SetParent(border);
  edPassword->SetAlign(alClient);
  edPassword->SetPasswordChar('*');

  btnOK = CreateComponent<TButton>(this);
  btnOK->SetName("btnOK");
  btnOK->SetParent(this);
  btnOK->SetBounds(116, 80, 75, 25);
  btnOK->SetCaption("[OK]");
  btnOK->SetDefault(true);
  btnOK->ModalResult = mrOk;

  btnCancel = CreateComponent<TButton>(this);
  btnCancel->SetName("btnCancel");
  btnCancel->SetParent(this);
  btnCancel->SetBounds(197, 80, 75, 25);
  btnCancel->SetCaption("[Cancel]");
  btnCancel->Cancel = true;
  btnCancel->ModalResult = mrCancel;

  OnShow = [this](TObject*) { edPassword->SetFocus(); };
}

TfrmGetPassword* TfrmGetPassword::Create() {
  TObjectPtr<TfrmGetPassword> dialog = MakeObject<TfrmGetPassword>(nullptr);
  TranslateFormTexts(dialog.get());
  TForm* main = Application ? Application->MainForm() : nullptr;
  TRect area = main && main->Visible() ? Bounds(main->Left(), main->Top(), main->Width(), main->Height())
                                       : Rect(0, 0, Screen ? Screen->Width() : 800, Screen ? Screen->Height() : 600);
  dialog->SetLeft(area.Left + (area.Width() - dialog->Width()) / 2);
  dialog->SetTop(area.Top + (area.Height() - dialog->Height()) / 2);
  return dialog.release();
}

}  // namespace px
