#include "app/UnitSetUser.h"

#include "app/UnitDialogSupport.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

TfrmSetUser::TfrmSetUser(TComponent* owner) : TForm(owner) {
  SetUpDialog(this, "frmSetUser", "[SetUser]", 322, 127);

  auto place = [this](TCustomQVREdit* e, const char* name, const char* label, int top, int width) {
    e->SetName(name);
    e->SetParent(this);
    e->SetBounds(110, top, width, 21);
    e->SetLabelDistance(98);
    e->SetLabelPosition(UnitQVREdit::lpLeft);
    e->SetLabelCaption(label);
  };
  edID = CreateComponent<TQVREdit>(this);
  place(edID, "edID", "[UserID]", 12, 80);
  edID->SetText("");
  edID->SetValidationType(vtIntegerPositive);
  edID->SetValidationAllowEmpty(false);

  edUserName = CreateComponent<TQVREdit>(this);
  place(edUserName, "edUserName", "[UserName]", 40, 200);
  edUserName->SetText("");
  edUserName->SetMaxLength(MaxNameLength);
  edUserName->SetValidationAllowEmpty(false);

  cbStatus = CreateComponent<TQVRComboBox>(this);
  place(cbStatus, "cbStatus", "[Status]", 68, 120);

  AddOkCancel(this, 154, 96, btnOK, btnCancel);

  for (TCustomQVREdit* e : {static_cast<TCustomQVREdit*>(edID), static_cast<TCustomQVREdit*>(edUserName),
                            static_cast<TCustomQVREdit*>(cbStatus)})
    e->OnChange = [this](TObject*) { Validate(); };
  FormCreate();
}

TfrmSetUser* TfrmSetUser::Create(TComponent* owner) {
  auto* dialog = CreateComponent<TfrmSetUser>(owner);
  PrepareOwnedDialog(dialog, owner);
  return dialog;
}

void TfrmSetUser::FormCreate() {
  // Item index = status: 0 inactive, 1 active.
  cbStatus->Items().Add(Translate("StatusInactive"));
  cbStatus->Items().Add(Translate("StatusActive"));
  Validate();
}

void TfrmSetUser::Validate() {
  btnOK->SetEnabled(edID->IsValid() && edUserName->IsValid() && cbStatus->ItemIndex() >= 0);
}

}  // namespace px
