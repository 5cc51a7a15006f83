#pragma once
// The dialog that takes a new password twice; two empty entries remove the
// password.
#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/UnitQVRControls.h"

namespace px {

class TfrmSetPassword : public TForm {
 public:
  explicit TfrmSetPassword(TComponent* owner);
  // A new dialog owned by owner, its texts translated, centred on the main
  // window.
  static TfrmSetPassword* Create(TComponent* owner);

  TLabel* lblPassword;
  TQVRBorder* cbBorder;
  TEdit* edPassword;
  TQVRBorder* cbValidate;
  TEdit* edNewPassword2;
  TButton* btnOK;
  TButton* btnCancel;

  void Validate();
};

}  // namespace px
