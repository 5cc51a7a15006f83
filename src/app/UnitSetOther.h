#pragma once
// The dialog of an "other" item of the settings screen: a fixed value, a
// credit or a debit, its display name, and whether its value may be edited
// while counting.
#include <string>

#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/UnitQVREdit.h"

namespace px {

// Type 2 fixed value, 3 credit, 4 debit, plus 8 when editable; the value in
// hundredths.
struct TOtherItem {
  Integer Type = 0;
  Integer Value = 0;
  std::string DisplayName;
};

class TfrmSetOther : public TForm {
 public:
  explicit TfrmSetOther(TComponent* owner);
  static TfrmSetOther* Create(TComponent* owner);

  // Pre-selects the kind, the editable mark and, for a fixed value, the
  // value of an item being edited; Take reads the dialog after OK.
  void Put(const TOtherItem& item);
  void Take(TOtherItem& item) const;

  TLabel* lblOtherType;
  TRadioButton* rbFixedValue;
  TRadioButton* rbCredit;
  TRadioButton* rbDebit;
  TQVREdit* edDisplayName;
  TCheckBox* cbEditbale;
  TQVREdit* edValue;
  TButton* btnOK;
  TButton* btnCancel;

  void DoValidate();
};

}  // namespace px
