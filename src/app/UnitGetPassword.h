#pragma once
// The modal prompt for the password that guards the users and history
// screens.
#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"

namespace px {

class TfrmGetPassword : public TForm {
 public:
  explicit TfrmGetPassword(TComponent* owner);
  // A new dialog without owner, its texts translated, centred on the main
  // window (on the screen when there is none).
  static TfrmGetPassword* Create();

  TLabel* lblEnterPassword;
  TWinControl* bdPassword;  // the framed border around the edit
  TEdit* edPassword;
  TButton* btnOK;
  TButton* btnCancel;
};

}  // namespace px
