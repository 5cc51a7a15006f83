#pragma once
// The count screen: the cash sheet of one counting. A result of the scale or
// a parsed receipt of its printer output becomes rows grouped into coins,
// banknotes, packaged cash and other items, completed by every further shown
// denomination of the currency and the initial cash; the user fills in counts
// and amounts, chooses employee and drawer, and finalizes (stored in the
// database, shown as a report) or cancels.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "device/UnitVantorel7350.h"
#include "device/UnitVantorel9183.h"
#include "pdf/gui/UnitPDFFrame.h"
#include "platform/core/Currency.h"
#include "platform/core/StringList.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px {

// Sheet groups; the stored details add 4 for a subtotal and 5 for the total.
enum : Byte { cgCoins = 0, cgBanknotes = 1, cgPackaged = 2, cgOthers = 3 };
constexpr Integer CountGroupCount = 4;

// Row flags.
enum : Byte {
  crfNameEditable = 1,
  crfDebit = 2,       // the amount stands in the debit column
  crfFreeAmount = 4,  // no count: the user types the amount
  crfCountLocked = 8,
};

// One line of the sheet.
struct TCountRow {
  Byte Group = cgCoins;
  std::string Name;  // UTF-8, as shown
  Integer Variant = 0;
  Byte Flags = 0;
  Currency Value;  // of one piece, one package, or the free amount
  Integer Count = 0;
  Currency Total;  // negative for debits
  TQVREdit* CountEdit = nullptr;  // nil without a count or while no sheet is shown
  TQVREdit* AmountEdit = nullptr;
  Currency PieceValue;  // packaged rows: one piece inside the package
  Byte PackageKind = 0;  // packaged rows: 0 coins, 1 banknotes
  Integer Top = 0;
};

class TfraCount : public TQVRFrame, public IDeviceListener, public IFrameCloseQuery {
 public:
  static constexpr Integer FrameNumber = 5;
  // Sheet layout in pixels.
  static constexpr Integer RowHeight = 30, NameColumn = 0, CountColumn = 100, CreditColumn = 170,
                           DebitColumn = 240, LabelOffset = 2, GroupBoxWidth = 270, EditWidth = 65;

  explicit TfraCount(TComponent* owner);
  ~TfraCount() override;
  // Fills the employees, takes the settings and reads a result that waits on
  // a connected scale.
  void AfterConstruction() override;

  // IDeviceListener
  void DeviceStatusChanged(bool connected, bool audible) override;
  void DeviceActivity() override {}
  // IFrameCloseQuery: refused while a counting is open.
  void CloseQuery(bool& canClose) override;

  void ResultFromScale(bool connected);
  // The capture's table: "Denomination", "Value/piece", "Count", "Value",
  // then "<SUM>".
  void ResultFromReceipt(const IMemDataSet& receipt);
  void StartCounting(const TVantorelResult& result);
  void BuildCountRows(const TVantorelResult& result);
  void BuildSheet();
  void UpdateTotals();
  void edChange(TObject* sender);
  void pnlMainDblClick(TObject* sender);
  void btnFinalizeClick(TObject* sender);
  void btnCancelClick(TObject* sender);
  void acSaveCSVExecute(TObject* sender);
  // Starts the sheet of the result that waits while a report is shown.
  void acNextCountingExecute(TObject* sender);

  // Between a result and its finalize or cancel.
  bool Counting() const { return counting_; }
  const std::vector<TCountRow>& Rows() const { return rows_; }
  Currency GrandTotal() const { return grandTotal_; }
  // nil when the group is absent from the sheet.
  TQVREdit* SubtotalEdit(Integer group) const { return subtotals_[group]; }
  TQVREdit* TotalEdit() const { return totalEdit_; }
  // The report of the last finalized counting; nil while a sheet is shown.
  TfraPDFViewer* ReportViewer() const { return viewer_; }
  TStringList& CSVLines() { return *csv_; }
  TVantorel9183PrinterCapture& Capture() { return *capture_; }
  Integer UserID() const { return userId_; }
  // A result that arrived while the report of the last counting was shown:
  // it waits for the user (Next counting, or the Count button) so that no
  // sheet replaces a report unasked and no click meant for one counting
  // lands on the next. Only the latest waits; it outlives the screen.
  static bool ResultWaiting() { return waitingResult().has_value(); }
  static void DropWaitingResult() { waitingResult().reset(); }
  TDateTime CountingTime() const { return time_; }

  TQVRPanel* pnlMain;
  TPanel* pnlTop;
  TQVREdit* edDate;
  TQVREdit* edTime;
  TQVREdit* edCashDrawer;
  TQVREdit* edID;
  TQVREdit* edCurrency;
  TQVREdit* edCompany;
  TQVRComboBox* edUser;
  TButton* btnCancel;
  TButton* btnFinalize;
  TScrollBox* pnlCount;
  TActionList* alActions;
  TAction* acSaveCSV;
  TAction* acNextCounting;
  TSaveDialog* dlgSaveAs;
  TImageList* ilImages;

 private:
  void clearSheet();
  void leaveCounting();
  // Fills edUser with the active employees of the database.
  void loadEmployees();
  void showMessage(const std::string& key);
  void countEditChange(size_t row);
  void amountEditChange(size_t row);
  void nameEditChange(size_t row, TQVREdit* edit);
  void captureResult();
  void captureError();
  // A result of the scale or a receipt: starts its sheet, or waits while a
  // report is shown.
  void takeResult(const TVantorelResult& result);
  static std::optional<TVantorelResult>& waitingResult();

  std::vector<TCountRow> rows_;
  TQVREdit* subtotals_[CountGroupCount] = {};
  TQVREdit* totalEdit_ = nullptr;
  TfraPDFViewer* viewer_ = nullptr;
  // The document the viewer shows; replaced only once the viewer holds the
  // next one or is gone.
  std::unique_ptr<TMemoryStream> report_;
  Currency grandTotal_;
  TDateTime time_ = 0;
  Integer userId_ = -1;
  std::vector<Integer> userIds_;  // per edUser item
  std::string currency_;
  bool counting_ = false;
  std::unique_ptr<TStringList> csv_;
  TObjectPtr<TVantorel9183PrinterCapture> capture_;
};

// The test receipt that a double click on the sheet's title feeds to the
// capture: four GBP banknote lines, 420 in all.
extern const char* const CountTestReceipt;

void InitializeCountFrame();
void FinalizeCountFrame();

}  // namespace px
