#pragma once
// The weight dialog of the settings screen: a denomination's own weight
// (empty: the official one), whether it is shown, its display name and its
// package (kind, pieces, weight).
#include <optional>
#include <string>

#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/UnitQVREdit.h"

namespace px {

// A denomination as the dialog shows and edits it; weights in 1/10000 g,
// the value in hundredths.
struct TDenominationWeight {
  Integer Value = 0;
  std::string Name;
  Integer Version = 0;
  Integer Weight = 0;  // 0: the official weight
  Integer Status = 0;  // 0 always, 1 on screen only, 2 never
  std::string DisplayName;
  Integer GroupType = 0;  // 0 none, 1 roll, 2 bag, 3 clip
  std::optional<Integer> GroupCount;  // none without a package
  Integer PackageWeight = 0;
};

class TfrmGetweight : public TForm {
 public:
  explicit TfrmGetweight(TComponent* owner);
  // A new dialog owned by owner, its texts translated, centred on the
  // owner's form.
  static TfrmGetweight* Create(TComponent* owner);

  // Fills the controls from a denomination, and reads them back after OK.
  void Put(const TDenominationWeight& d);
  void Take(TDenominationWeight& d) const;

  TLabel* lblTitle;
  TQVREdit* edWeight;
  TButton* btnclear;
  TQVRComboBox* cbUseDenom;
  TQVREdit* edDisplayName;
  TQVRComboBox* cbGroupType;
  TQVREdit* edGroupCount;
  TQVREdit* edPackageWeight;
  TButton* btnOK;
  TButton* btnCancel;

  void FormCreate();
  void cbGroupTypeChange();
  void edWeightChange();
  void btnclearClick();
};

}  // namespace px
