#include "app/UnitSetPassword.h"

#include "app/UnitDialogSupport.h"

namespace px {

TfrmSetPassword::TfrmSetPassword(TComponent* owner) : TForm(owner) {
  SetName("frmSetPassword");
  SetCaption("[SetPassword]");
  SetClientSize(284, 150);
  Font().SetName("Tahoma");
  Font().SetHeight(-11);

  lblPassword = CreateComponent<TLabel>(this);
  lblPassword->SetName("lblPassword");
  lblPassword->SetParent(this);
  lblPassword->SetBounds(12, 12, 260, 13);
  lblPassword->SetCaption("[NewPassword]");

  auto entry = [this](const char* border, const char* name, int top, TQVRBorder*& box) {
    box = CreateComponent<TQVRBorder>(this);
    box->SetName(border);
    box->SetParent(this);
    box->SetBounds(12, top, 260, 25);
    auto* e = CreateComponent<TEdit>(this);
    e->SetName(name);
    e->SetParent(box);
    e->SetAlign(alClient);
    e->SetPasswordChar('*');
    e->SetText("");
    e->OnChange = [this](TObject*) { Validate(); };
    e->OnClick = [this](TObject*) { Validate(); };
    return e;
  };
  edPassword = entry("cbBorder", "edPassword", 32, cbBorder);
  edNewPassword2 = entry("cbValidate", "edNewPassword2", 66, cbValidate);

  btnOK = CreateComponent<TButton>(this);
  btnOK->SetName("btnOK");
  btnOK->SetParent(this);
  btnOK->SetBounds(116, 112, 75, 25);
  btnOK->SetCaption("[OK]");
  btnOK->SetDefault(true);
  btnOK->ModalResult = mrOk;

  btnCancel = CreateComponent<TButton>(this);
  btnCancel->SetName("btnCancel");
  btnCancel->SetParent(this);
  btnCancel->SetBounds(197, 112, 75, 25);
  btnCancel->SetCaption("[Cancel]");
  btnCancel->Cancel = true;
  btnCancel->ModalResult = mrCancel;

  OnShow = [this](TObject*) { edPassword->SetFocus(); };
  Validate();
}

TfrmSetPassword* TfrmSetPassword::Create(TComponent* owner) {
  auto* dialog = CreateComponent<TfrmSetPassword>(owner);
  TranslateDialogTexts(dialog);
  CentreDialogOn(dialog, Application ? Application->MainForm() : nullptr);
  return dialog;
}

void TfrmSetPassword::Validate() { btnOK->SetEnabled(edPassword->Text() == edNewPassword2->Text()); }

}  // namespace px
