#pragma once
// The dialog of the users screen in which an employee's name and status are
// changed; the number is shown but not edited.
#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/UnitQVREdit.h"

namespace px {

class TfrmSetUser : public TForm {
 public:
  // The longest name the dialog takes: what the database column holds (a
  // longer one would only end in the engine's truncation error).
  static constexpr Integer MaxNameLength = 64;

  explicit TfrmSetUser(TComponent* owner);
  // A new dialog owned by owner, its texts translated, centred on the
  // owner's form.
  static TfrmSetUser* Create(TComponent* owner);

  TQVREdit* edID;
  TQVREdit* edUserName;
  TQVRComboBox* cbStatus;
  TButton* btnOK;
  TButton* btnCancel;

  // Fills the status list with the translated names of the two states.
  void FormCreate();
  // OK is possible while the number and the name are valid and a status is
  // chosen.
  void Validate();
};

}  // namespace px
