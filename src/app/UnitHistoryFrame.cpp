#include "app/UnitHistoryFrame.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "app/UnitData.h"
#include "app/UnitDialogSupport.h"
#include "app/UnitScreenSupport.h"
#include "app/UnitSettings.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"
#include "platform/core/Threads.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

const char* const HistoryPeriodKeys[HistoryPeriodCount] = {
    "PeriodToday",     "PeriodYesterday", "PeriodThisWeek", "PeriodLastWeek",  "PeriodThisMonth",
    "PeriodLastMonth", "PeriodThisYear",  "PeriodLastYear", "PeriodEverything"};

namespace {

// The Monday of the week of day: day numbers count from a Saturday
// (1899-12-30), so day 2 is a Monday. The remainder is taken towards minus
// infinity, so that days before 1899 find their Monday too.
TDateTime mondayOf(TDateTime day) {
  const int64_t d = static_cast<int64_t>(day);
  return day - static_cast<double>(((d - 2) % 7 + 7) % 7);
}

// The first day of the month months away from (year, month).
TDateTime firstOfMonth(Word year, Word month, int months) {
  const int index = year * 12 + (month - 1) + months;
  return EncodeDate(static_cast<Word>(index / 12), static_cast<Word>(index % 12 + 1), 1);
}

}  // namespace

void HistoryPeriodSpan(Integer Period, TDateTime Today, TDateTime& Start, TDateTime& End) {
  Word y = 0, m = 0, d = 0;
  DecodeDate(Today, y, m, d);
  switch (Period) {
    case hpToday: Start = Today, End = Today + 1; break;
    case hpYesterday: Start = Today - 1, End = Today; break;
    case hpThisWeek: Start = mondayOf(Today), End = Start + 7; break;
    case hpLastWeek: Start = mondayOf(Today - 7), End = Start + 7; break;
    case hpThisMonth: Start = firstOfMonth(y, m, 0), End = firstOfMonth(y, m, 1); break;
    case hpLastMonth: Start = firstOfMonth(y, m, -1), End = firstOfMonth(y, m, 0); break;
    case hpThisYear: Start = EncodeDate(y, 1, 1), End = EncodeDate(static_cast<Word>(y + 1), 1, 1); break;
    case hpLastYear: Start = EncodeDate(static_cast<Word>(y - 1), 1, 1), End = EncodeDate(y, 1, 1); break;
    default: Start = 0.0, End = 999999.0; break;
  }
}

TfraHistory::TfraHistory(TComponent* owner) : TQVRFrame(owner), csv_(std::make_unique<TStringList>()) {
  SetName("fraHistory");
  SetBounds(0, 0, 900, 600);

  ilImages = CreateComponent<TImageList>(this);
  ilImages->SetName("ilImages");
  DrawScreenImages(*ilImages);
  alActions = CreateComponent<TActionList>(this);
  alActions->SetName("alActions");
  alActions->SetImages(ilImages);
  acSaveCSV = CreateComponent<TAction>(this);
  acSaveCSV->SetName("acSaveCSV");
  acSaveCSV->SetActionList(alActions);
  acSaveCSV->SetCaption("[SaveCSV]");
  acSaveCSV->SetHint("[SaveCSV]");
  acSaveCSV->SetImageIndex(imgSaveCSV);
  acSaveCSV->OnExecute = [this](TObject* s) { acSaveCSVExecute(s); };

  dlgSaveAs = CreateComponent<TSaveDialog>(this);
  dlgSaveAs->SetName("dlgSaveAs");
  dlgSaveAs->Title = "[SaveCSV]";
  dlgSaveAs->DefaultExt = "csv";
  dlgSaveAs->Filter = "CSV bestanden (*.csv)|*.csv|Alle bestanden (*.*)|*.*";
  dlgSaveAs->Options = TOpenOptions{ofOverwritePrompt, ofHideReadOnly, ofEnableSizing};

  tmrRefresh = CreateComponent<TTimer>(this);
  tmrRefresh->SetName("tmrRefresh");
  tmrRefresh->SetInterval(350);
  tmrRefresh->OnTimer = [this](TObject* s) { tmrRefreshTimer(s); };

  pnlMain = CreateComponent<TQVRPanel>(this);
  pnlMain->SetName("pnlMain");
  pnlMain->SetParent(this);
  pnlMain->SetAlign(alClient);
  pnlMain->SetCaption("[History]");
  pnlMain->SetTitleHeight(28);

  pnlLeft = CreateComponent<TQVRPanel>(this);
  pnlLeft->SetName("pnlLeft");
  pnlLeft->SetParent(pnlMain);
  pnlLeft->SetAlign(alLeft);
  pnlLeft->SetWidth(479);
  pnlLeft->SetSplitter(true);
  pnlLeft->SetTitleVisible(false);

  pnlLeftTop = CreateComponent<TPanel>(this);
  pnlLeftTop->SetName("pnlLeftTop");
  pnlLeftTop->SetParent(pnlLeft);
  pnlLeftTop->SetAlign(alTop);
  pnlLeftTop->SetHeight(119);
  pnlLeftTop->SetBevelOuter(bvNone);

  auto combo = [this](const char* name, int top) {
    auto* c = CreateComponent<TQVRComboBox>(this);
    c->SetName(name);
    c->SetParent(pnlLeftTop);
    c->SetBounds(151, top, 138, 21);
    return c;
  };
  edUser = combo("edUser", 16);
  edUser->SetLabelDistance(143);
  edUser->SetLabelPosition(UnitQVREdit::lpLeft);
  edUser->SetLabelCaption("[Employee]");
  FitDropDownToItems(edUser, 16);
  cbFixedPeriod = combo("cbFixedPeriod", 49);

  auto radio = [this](const char* name, const char* text, int top) {
    auto* r = CreateComponent<TRadioButton>(this);
    r->SetName(name);
    r->SetParent(pnlLeftTop);
    r->SetBounds(8, top, 137, 17);
    r->SetText(text);
    return r;
  };
  rbPeriod = radio("rbPeriod", "[Period]", 51);
  rbPeriod->SetChecked(true);
  rbDateTimeSpan = radio("rbDateTimeSpan", "[DateTimeSpan]", 84);

  auto picker = [this](const char* name, int left) {
    auto* p = CreateComponent<TDateTimePicker>(this);
    p->SetName(name);
    p->SetParent(pnlLeftTop);
    p->SetBounds(left, 82, 138, 21);
    return p;
  };
  dtpFrom = picker("dtpFrom", 151);
  dtPTo = picker("dtPTo", 319);
  lblTo = CreateComponent<TLabel>(this);
  lblTo->SetName("lblTo");
  lblTo->SetParent(pnlLeftTop);
  lblTo->SetBounds(295, 86, 20, 13);
  lblTo->SetCaption("[To]");

  lstHistory = CreateComponent<TDataSetList>(this);
  lstHistory->SetName("lstHistory");
  lstHistory->SetParent(pnlLeft);
  lstHistory->SetAlign(alClient);
  lstHistory->OnChange = [this](TDataSetList* s, TMemRecord* rec) { lstHistoryChange(s, rec); };

  viewer_ = CreateComponent<TfraPDFViewer>(this);
  viewer_->SetName("fraPDFViewer");
  viewer_->SetParent(pnlMain);
  viewer_->SetAlign(alClient);
  viewer_->AddActionButton(acSaveCSV);

  for (TControl* c : std::initializer_list<TControl*>{rbPeriod, rbDateTimeSpan})
    c->OnClick = [this](TObject* s) { rbPeriodClick(s); };
  cbFixedPeriod->OnChange = [this](TObject* s) { rbPeriodClick(s); };
  dtpFrom->OnChange = [this](TObject* s) { rbPeriodClick(s); };
  dtPTo->OnChange = [this](TObject* s) { rbPeriodClick(s); };
}

TfraHistory::~TfraHistory() = default;

void TfraHistory::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  TranslateEditCaptions(this);
  if (auto adjust = QVRSystem->GetService<IPanelAdjust>()) adjust->Adjust(pnlMain);
  viewer_->SetCaptions(Translate("PDFSave"), Translate("PDFSaveHint"), Translate("PDFPrint"),
                       Translate("PDFPrintHint"));

  dmDatabase->GetCountings(countings_);
  dmDatabase->GetUsers(users_);
  userIdField_ = countings_->FieldIndexByName("USERID");
  whenField_ = countings_->FieldIndexByName("WHEN");
  view_ = CreateMemDataView(countings_);
  view_->SetOnFilter([this](TMemRecord* rec, bool& accept) { accept = accepts(rec); });
  auto column = [this](const char* key, const char* field, Integer width) {
    TMemViewColumn* c = view_->AddColumn();
    c->SetFieldIndex(std::string(field));
    c->Caption = Utf8ToAnsi(Translate(key));
    c->Width = width;
    return c;
  };
  column("BatchID", "ID", 50);
  TMemViewColumn* name = column("Name", "USERID", 150);
  const Integer userIndex = users_->FindIndexOnFieldName("ID");
  const Integer userName = users_->FieldIndexByName("NAME");
  const Integer userIdField = userIdField_;
  // The employees as last read: a reload brings the ones other desks added.
  name->OnGetText = [this, userIndex, userName, userIdField](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    if (!rec) return;
    const Integer id = rec->GetInteger(userIdField);
    std::string t;
    if (id == -1) t = Translate("Anonymous");
    else if (TMemRecord* u = users_->FindInteger(userIndex, id))
      t = Format("%4.4d %s", id, AnsiToUtf8(u->GetAnsiString(userName)));
    else t = Translate("UnknownUser");
    text = Utf8ToUnicode(t);
  };
  column("When", "WHEN", 115)->Flags = mvfDateTime;
  column("Currency", "VALUTA", 50);
  column("Drawer", "CASHDRAWER", 75);
  column("Company", "COMPANYNAME", 100)->Flags = 1;
  TMemViewColumn* total = column("Total", "TOTALVALUE", 70);
  total->Alignment = taRightJustify;
  const Integer totalField = countings_->FieldIndexByName("TOTALVALUE");
  total->OnGetText = [totalField](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    if (!rec || rec->IsNull(totalField)) return;
    text = Utf8ToUnicode(Format("%.2f", static_cast<double>(rec->GetInt64(totalField)) / 100));
  };
  periodStart_ = periodEnd_ = 0;
  lstHistory->SetView(view_);

  edUser->Items().Add(Translate("Everybody"));
  userIds_.push_back(Everybody);
  const Integer statusField = users_->FieldIndexByName("STATUS");
  for (TMemRecord* u = users_->First(); u; u = u->GetNext()) {
    const Integer status = u->GetInteger(statusField);
    if (status != 0 && status != 1) continue;
    const Integer id = u->GetInteger(users_->FieldIndexByName("ID"));
    edUser->Items().Add(Format("%.4d  %s", id, AnsiToUtf8(u->GetAnsiString(userName))));
    userIds_.push_back(id);
  }
  edUser->OnChange = [this](TObject* s) { edUserChange(s); };

  for (const char* key : HistoryPeriodKeys) cbFixedPeriod->Items().Add(Translate(key));
  cbFixedPeriod->SetItemIndex(0);
  rbPeriodClick(this);
  edUserChange(this);

  layoutRestored_ = true;
  OpenGuardedScreen(this, lstHistory, LayoutList);
}

void TfraHistory::BeforeDestruction() {
  if (layoutRestored_) KeepGridLayout(lstHistory, LayoutList);
  // The viewer reads the report while it shows it: it goes before the report.
  FreeObject(viewer_);
  viewer_ = nullptr;
  report_.reset();
  TQVRFrame::BeforeDestruction();
}

bool TfraHistory::accepts(TMemRecord* rec) const {
  if (userFilter_ >= -1 && rec->GetInteger(userIdField_) != userFilter_) return false;
  const TDateTime when = rec->GetDouble(whenField_);
  return when >= periodStart_ && when < periodEnd_;
}

void TfraHistory::rbPeriodClick(TObject*) {
  cbFixedPeriod->SetEnabled(rbPeriod->Checked());
  dtpFrom->SetEnabled(rbDateTimeSpan->Checked());
  dtPTo->SetEnabled(rbDateTimeSpan->Checked());
  if (rbDateTimeSpan->Checked()) {
    periodStart_ = dtpFrom->Date();
    periodEnd_ = dtPTo->Date();
  } else {
    HistoryPeriodSpan(cbFixedPeriod->ItemIndex(), Date(), periodStart_, periodEnd_);
  }
  // Until the list was first shown, what the screen read as it opened is
  // still fresh.
  if (refreshed_) reloadPending_ = true;
  tmrRefresh->SetEnabled(false);
  tmrRefresh->SetEnabled(true);
}

void TfraHistory::edUserChange(TObject*) {
  const Integer i = edUser->ItemIndex();
  userFilter_ = i >= 0 && i < static_cast<Integer>(userIds_.size()) ? userIds_[i] : Everybody;
  if (refreshed_) reloadPending_ = true;
  tmrRefresh->SetEnabled(false);
  tmrRefresh->SetEnabled(true);
}

void TfraHistory::reloadCountings() {
  IMemDataSet countings, users;
  dmDatabase->GetCountings(countings);
  dmDatabase->GetUsers(users);
  // Same columns, so the view takes the new table; the grid keeps its rows
  // by key and finds the focused counting again in it.
  if (!view_->MatchesDataSet(countings)) return;
  countings_ = countings;
  users_ = users;
}

void TfraHistory::tmrRefreshTimer(TObject*) {
  tmrRefresh->SetEnabled(false);
  refreshed_ = true;
  if (std::exchange(reloadPending_, false)) reloadCountings();
  lstHistory->Refresh();
}

void TfraHistory::WaitForRefresh() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (tmrRefresh->Enabled() && std::chrono::steady_clock::now() < until) {
    Application->ProcessMessages();
    if (tmrRefresh->Enabled()) TThread::Sleep(10);
  }
}

void TfraHistory::lstHistoryChange(TDataSetList*, TMemRecord* rec) {
  if (!rec) return;
  showReport(rec);
}

void TfraHistory::showReport(TMemRecord* rec) {
  csv_->Clear();
  const Integer id = rec->GetInteger(countings_->FieldIndexByName("ID"));
  const std::string fileName =
      FileNameSafe(Format("%4.4d ", id) + UnicodeToUtf8(view_->GetText(rec, 1)) + ".pdf");
  std::unique_ptr<TMemoryStream> report;
  try {
    report = dmDatabase->CreateCountingReport(id, csv_.get());
    viewer_->LoadReport(Translate("Counting"), report.get(), fileName, true);
  } catch (...) {
    // Nothing of a counting that cannot be shown stays on screen or in the
    // CSV lines, so that neither shows another counting than the failed one.
    csv_->Clear();
    viewer_->LoadReport(Translate("Counting"), nullptr, "", false);
    report_.reset();
    throw;
  }
  report_ = std::move(report);
}

void TfraHistory::acSaveCSVExecute(TObject*) {
  if (!dlgSaveAs->Execute()) return;
  csv_->SaveToFile(dlgSaveAs->FileName);
}

void InitializeHistoryFrame() { QVRSystem->RegisterControl<TfraHistory>(TfraHistory::FrameNumber); }
void FinalizeHistoryFrame() {
  if (QVRSystem) QVRSystem->UnregisterControl(TfraHistory::FrameNumber);
}

}  // namespace px
