#pragma once
// The history screen: the stored countings, filtered by employee and by a
// period, and the report of the counting the user selects, which can also
// be saved as CSV. The list holds the countings that existed when the screen
// was made; a filter change only re-filters it, 350 ms after the last change.
// Protected by the settings password.
#include <memory>
#include <vector>

#include "data/UnitDataView.h"
#include "pdf/gui/UnitPDFFrame.h"
#include "platform/core/StringList.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/DateTimePicker.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {

// The fixed periods of the period list, in its order.
enum THistoryPeriod {
  hpToday,
  hpYesterday,
  hpThisWeek,
  hpLastWeek,
  hpThisMonth,
  hpLastMonth,
  hpThisYear,
  hpLastYear,
  hpEverything
};
constexpr Integer HistoryPeriodCount = hpEverything + 1;
// The translation keys of the periods, in the list's order.
extern const char* const HistoryPeriodKeys[HistoryPeriodCount];

// The span [Start, End) of a fixed period seen from Today (a date at 00:00).
// Weeks start on Monday; months and years are calendar months and years.
void HistoryPeriodSpan(Integer Period, TDateTime Today, TDateTime& Start, TDateTime& End);

class TfraHistory : public TQVRFrame {
 public:
  static constexpr Integer FrameNumber = 6;
  // The settings list value that keeps the grid's column layout.
  static constexpr Integer LayoutList = 61;
  // The employee filter that lets every counting through.
  static constexpr Integer Everybody = -2;

  explicit TfraHistory(TComponent* owner);
  ~TfraHistory() override;
  void AfterConstruction() override;
  void BeforeDestruction() override;

  TQVRPanel* pnlMain;
  TQVRPanel* pnlLeft;
  TPanel* pnlLeftTop;
  TQVRComboBox* edUser;
  TRadioButton* rbPeriod;
  TQVRComboBox* cbFixedPeriod;
  TRadioButton* rbDateTimeSpan;
  TDateTimePicker* dtpFrom;
  TDateTimePicker* dtPTo;
  TLabel* lblTo;
  TDataSetList* lstHistory;
  TTimer* tmrRefresh;
  TActionList* alActions;
  TAction* acSaveCSV;
  TSaveDialog* dlgSaveAs;
  TImageList* ilImages;

  TfraPDFViewer* Viewer() const { return viewer_; }
  const IMemDataSet& Countings() const { return countings_; }
  const IMemDataView& View() const { return view_; }
  Integer UserFilter() const { return userFilter_; }
  TDateTime PeriodStart() const { return periodStart_; }
  TDateTime PeriodEnd() const { return periodEnd_; }
  // The user id of each item of edUser.
  const std::vector<Integer>& UserIds() const { return userIds_; }
  // The CSV lines of the counting last shown.
  TStringList& CSV() { return *csv_; }
  // The list was filtered at least once since the screen was made.
  bool Refreshed() const { return refreshed_; }
  // Processes events until the pending refresh has run (at most a few
  // seconds), for tools that look at the filtered list from outside.
  void WaitForRefresh();

  void rbPeriodClick(TObject* sender);
  void edUserChange(TObject* sender);
  void tmrRefreshTimer(TObject* sender);
  void acSaveCSVExecute(TObject* sender);
  // The selected counting changed: its report goes into the viewer.
  void lstHistoryChange(TDataSetList* sender, TMemRecord* rec);

 private:
  bool accepts(TMemRecord* rec) const;
  void showReport(TMemRecord* rec);
  // Reads the countings and employees anew (other desks store into the same
  // database); the view, its columns, order and selection stay.
  void reloadCountings();

  TfraPDFViewer* viewer_ = nullptr;
  IMemDataSet countings_;
  IMemDataView view_;
  IMemDataSet users_;
  std::vector<Integer> userIds_;
  Integer userFilter_ = Everybody;
  TDateTime periodStart_ = 0, periodEnd_ = 0;
  std::unique_ptr<TStringList> csv_;
  // The report the viewer shows; it reads from it while it shows it.
  std::unique_ptr<TMemoryStream> report_;
  bool layoutRestored_ = false;
  bool refreshed_ = false;
  // A filter changed since the list was first shown: the next refresh reads
  // anew.
  bool reloadPending_ = false;
  Integer userIdField_ = -1, whenField_ = -1;
};

void InitializeHistoryFrame();
void FinalizeHistoryFrame();

}  // namespace px
