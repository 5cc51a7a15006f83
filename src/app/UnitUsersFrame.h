#pragma once
// The users screen: the employees who count, listed from the database (the
// anonymous user never), added by name, renamed, set active or inactive in
// the user dialog, and deleted while they have no countings. Protected by
// the settings password.
#include "data/UnitDataView.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/ImgList.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {

class TfraUsers : public TQVRFrame {
 public:
  static constexpr Integer FrameNumber = 4;
  // The settings list value that keeps the grid's column layout.
  static constexpr Integer LayoutList = 41;

  explicit TfraUsers(TComponent* owner);
  void AfterConstruction() override;
  void BeforeDestruction() override;

  TQVRPanel* pnlMain;
  TQVRPanel* pnlLeft;
  TDataSetList* lstUsers;
  TImageList* ilImages;
  TActionList* alActions;
  TAction* acAdd;
  TAction* acDelete;
  TAction* acEdit;

  // The listed table (ID, NAME, STATUS) and its view.
  const IMemDataSet& Users() const { return users_; }
  const IMemDataView& View() const { return view_; }

  void acAddExecute(TObject* sender);
  void acDeleteExecute(TObject* sender);
  void acEditExecute(TObject* sender);
  // The selected record changed: delete and edit need one.
  void lstUsersChange(TDataSetList* sender, TMemRecord* rec);

 private:
  void editUser(TMemRecord* rec);

  IMemDataSet users_;
  IMemDataView view_;
  bool layoutRestored_ = false;
};

void InitializeUsersFrame();
void FinalizeUsersFrame();

}  // namespace px
