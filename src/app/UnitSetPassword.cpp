#include "app/UnitSetPassword.h"

#include "app/UnitDialogSupport.h"

namespace px {

TfrmSetPassword::TfrmSetPassword(TComponent* owner) : TForm(owner) {
  SetUpDialog(this, "frmSetPassword", "[SetPassword]", 284, 150);

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

  AddOkCancel(this, 116, 112, btnOK, btnCancel);

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
