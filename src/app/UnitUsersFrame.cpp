#include "app/UnitUsersFrame.h"

#include "app/UnitData.h"
#include "app/UnitScreenSupport.h"
#include "app/UnitSetUser.h"
#include "app/UnitSettings.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/core/NumberConversion.h"
#include "platform/gui/Dialogs.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

TfraUsers::TfraUsers(TComponent* owner) : TQVRFrame(owner) {
  SetName("fraUsers");
  SetBounds(0, 0, 640, 480);

  ilImages = CreateComponent<TImageList>(this);
  ilImages->SetName("ilImages");
  DrawScreenImages(*ilImages);

  alActions = CreateComponent<TActionList>(this);
  alActions->SetName("alActions");
  alActions->SetImages(ilImages);
  auto makeAction = [&](const char* name, const char* text, Integer image, bool enabled,
                        void (TfraUsers::*handler)(TObject*)) {
    auto* a = CreateComponent<TAction>(this);
    a->SetName(name);
    a->SetActionList(alActions);
    a->SetCaption(text);
    a->SetHint(text);
    a->SetImageIndex(image);
    a->SetEnabled(enabled);
    a->OnExecute = [this, handler](TObject* sender) { (this->*handler)(sender); };
    return a;
  };
  acAdd = makeAction("acAdd", "[AddUser]", imgAdd, true, &TfraUsers::acAddExecute);
  acDelete = makeAction("acDelete", "[DeleteUser]", imgDelete, false, &TfraUsers::acDeleteExecute);
  acEdit = makeAction("acEdit", "[EditUser]", imgEdit, false, &TfraUsers::acEditExecute);

  pnlMain = CreateComponent<TQVRPanel>(this);
  pnlMain->SetName("pnlMain");
  pnlMain->SetParent(this);
  pnlMain->SetAlign(alClient);
  pnlMain->SetCaption("[Users]");
  pnlMain->SetTitleHeight(28);
  pnlMain->ShowHint = true;
  // The actions live in the title bar, where the screen's other commands are.
  for (TAction* a : {acAdd, acEdit, acDelete}) pnlMain->Buttons().Add()->SetAction(a);

  pnlLeft = CreateComponent<TQVRPanel>(this);
  pnlLeft->SetName("pnlLeft");
  pnlLeft->SetParent(pnlMain);
  pnlLeft->SetAlign(alClient);
  pnlLeft->SetSplitter(true);
  pnlLeft->SetTitleVisible(false);

  lstUsers = CreateComponent<TDataSetList>(this);
  lstUsers->SetName("lstUsers");
  lstUsers->SetParent(pnlLeft);
  lstUsers->SetAlign(alClient);
}

void TfraUsers::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  if (auto adjust = QVRSystem->GetService<IPanelAdjust>()) adjust->Adjust(pnlMain);
  dmDatabase->GetUsers(users_);
  view_ = CreateMemDataView(users_);
  TMemViewColumn* id = view_->AddColumn();
  id->SetFieldIndex(std::string("ID"));
  id->Caption = "ID";
  id->Width = 50;
  TMemViewColumn* name = view_->AddColumn();
  name->SetFieldIndex(std::string("NAME"));
  name->Caption = Utf8ToAnsi(Translate("Name"));
  name->Width = 200;
  TMemViewColumn* status = view_->AddColumn();
  status->SetFieldIndex(std::string("STATUS"));
  status->Caption = Utf8ToAnsi(Translate("Status"));
  status->Width = 60;
  // The state in words: a bare 0 or 1 tells a person nothing.
  const Integer statusField = users_->FieldIndexByName("STATUS");
  status->OnGetText = [statusField](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    if (!rec || rec->IsNull(statusField)) return;
    const Integer s = rec->GetInteger(statusField);
    if (s == 0 || s == 1) text = Utf8ToUnicode(Translate(s == 1 ? "StatusActive" : "StatusInactive"));
  };
  lstUsers->SetView(view_);
  lstUsers->OnChange = [this](TDataSetList* sender, TMemRecord* rec) { lstUsersChange(sender, rec); };
  lstUsers->OnDblClick = [this](TDataSetList*, TMemRecord* rec) {
    if (rec) editUser(rec);
  };
  lstUsers->SetImages(ilImages);
  layoutRestored_ = true;
  OpenGuardedScreen(this, lstUsers, LayoutList);
}

void TfraUsers::BeforeDestruction() {
  // Only a layout that was put in place is worth keeping.
  if (layoutRestored_) KeepGridLayout(lstUsers, LayoutList);
  TQVRFrame::BeforeDestruction();
}

void TfraUsers::lstUsersChange(TDataSetList*, TMemRecord* rec) {
  acDelete->SetEnabled(rec != nullptr);
  acEdit->SetEnabled(rec != nullptr);
}

void TfraUsers::acAddExecute(TObject*) {
  std::string name;
  if (!InputQuery(Translate("GiveUsername"), Translate("Username"), name, TfrmSetUser::MaxNameLength)) return;
  if (name.empty()) {
    Beep();
    return;
  }
  if (RefuseCharactersNotStored(name)) return;
  const AnsiString stored = Utf8ToAnsi(name);
  const Integer id = dmDatabase->AddUser(stored);
  TMemRecord* rec = users_->AddRecord();
  rec->SetInteger(users_->FieldIndexByName("ID"), id);
  rec->SetAnsiString(users_->FieldIndexByName("NAME"), stored);
  rec->SetInteger(users_->FieldIndexByName("STATUS"), 1);
  lstUsers->Refresh(rec);
}

void TfraUsers::acDeleteExecute(TObject*) {
  TMemRecord* rec = lstUsers->GetFocusedRecord();
  if (!rec) return;
  if (MessageDlg(Translate("UserDeleteAYS"), mtConfirmation, {mbYes, mbNo}) != mrYes) return;
  try {
    dmDatabase->DeleteUser(rec->GetInteger(users_->FieldIndexByName("ID")));
  } catch (const std::exception&) {
    // Whatever the database says (mostly: the user has countings), the user
    // stays, in the list as in the database.
    MessageDlg(Translate("CannotDeleteUser"), mtError, {mbOK});
    return;
  }
  rec->Free();
  lstUsers->Refresh();
}

void TfraUsers::acEditExecute(TObject*) {
  if (TMemRecord* rec = lstUsers->GetFocusedRecord()) editUser(rec);
}

void TfraUsers::editUser(TMemRecord* rec) {
  const Integer idField = users_->FieldIndexByName("ID"), nameField = users_->FieldIndexByName("NAME"),
                statusField = users_->FieldIndexByName("STATUS");
  TObjectPtr<TfrmSetUser> dialog(TfrmSetUser::Create(this));
  dialog->edUserName->SetText(AnsiToUtf8(rec->GetAnsiString(nameField)));
  dialog->cbStatus->SetItemIndex(rec->GetInteger(statusField));
  dialog->edID->SetText(IntToStr(rec->GetInteger(idField)));
  dialog->edID->SetLocked(true);
  dialog->Validate();
  if (dialog->ShowModal() != mrOk) return;
  if (RefuseCharactersNotStored(dialog->edUserName->Text())) return;
  const AnsiString name = Utf8ToAnsi(dialog->edUserName->Text());
  const Integer status = dialog->cbStatus->ItemIndex();
  int32_t id = 0;
  if (!TryStrToInt(dialog->edID->Text(), id)) id = 0;
  // The database first: a name it refuses (longer than its column) must not
  // show in the list as if it had been stored.
  dmDatabase->EditUser(id, name, status);
  rec->SetAnsiString(nameField, name);
  rec->SetInteger(statusField, status);
  rec->SetInteger(idField, id);
  lstUsers->Refresh(rec);
}

void InitializeUsersFrame() { QVRSystem->RegisterControl<TfraUsers>(TfraUsers::FrameNumber); }
void FinalizeUsersFrame() {
  if (QVRSystem) QVRSystem->UnregisterControl(TfraUsers::FrameNumber);
}

}  // namespace px
