#include "app/UnitCountFrame.h"

#include <algorithm>
#include <climits>

#include "app/UnitData.h"
#include "app/UnitDatasets.h"
#include "app/UnitDialogSupport.h"
#include "app/UnitScreenSupport.h"
#include "app/UnitSettings.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/NumberConversion.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitTranslation.h"
#include "ui/framework/UnitUtilities.h"

namespace px {

const char* const CountTestReceipt =
    "Deno        Pcs    Value \r\n"
    "-------------------------\r\n"
    "GBP 5        4       20  \r\n"
    "GBP 10       5       50  \r\n"
    "GBP 20       5      100  \r\n"
    "GBP 50       5      250  \r\n"
    "-------------------------\r\n"
    "            19      420  \r\n";

namespace {

constexpr TColor InvalidColor = static_cast<TColor>(8421631);
const char* const GroupCaptions[CountGroupCount] = {"Coins", "BankNotes", "Packaged", "Others"};

// The CSV action's image: a sheet ruled as a table.
void drawCSVImage(TImageList& list) {
  TBitmap image(16, 16, pf24bit);
  TCanvas& c = image.Canvas();
  c.Pen().SetStyle(psClear);
  auto box = [&](int32_t l, int32_t t, int32_t r, int32_t b, TColor color) {
    c.Brush().SetColor(color);
    c.FillRect(Rect(l, t, r, b));
  };
  box(0, 0, 16, 16, clFuchsia);
  box(2, 1, 14, 15, clGreen);
  box(3, 2, 13, 14, clWhite);
  box(3, 5, 13, 6, clGreen);
  for (int32_t y = 8; y < 14; y += 3) box(3, y, 13, y + 1, clSilver);
  box(7, 2, 8, 14, clSilver);
  list.AddMasked(image, clFuchsia);
}

// The next-counting action's image: an arrow pointing right.
void drawNextImage(TImageList& list) {
  TBitmap image(16, 16, pf24bit);
  TCanvas& c = image.Canvas();
  c.Pen().SetStyle(psClear);
  c.Brush().SetColor(clFuchsia);
  c.FillRect(Rect(0, 0, 16, 16));
  c.Brush().SetColor(clGreen);
  c.FillRect(Rect(2, 6, 9, 10));
  c.Polygon({TPoint{8, 2}, TPoint{14, 8}, TPoint{8, 14}});
  list.AddMasked(image, clFuchsia);
}

// Fields of the denominations table, by position.
enum { dfCode = 0, dfType = 1, dfValue = 2, dfStatus = 4, dfGroupType = 6, dfGroupCount = 7 };

Currency fromHundredths(int64_t hundredths) { return Currency::FromRaw(hundredths * (Currency::Scale / 100)); }

// Money as the sheet shows it: thousands separators, two decimals.
std::string moneyText(Currency value) { return CurrToStrF(value, ffNumber, 2); }

// The version of a denomination: its 1-based place within a run of records
// of the same code, type and value; 0 when it stands alone.
Integer denominationVersion(const std::vector<TMemRecord*>& records, size_t i) {
  auto same = [&](size_t a, size_t b) {
    return records[a]->GetAnsiString(dfCode) == records[b]->GetAnsiString(dfCode) &&
           records[a]->GetInteger(dfType) == records[b]->GetInteger(dfType) &&
           records[a]->GetInteger(dfValue) == records[b]->GetInteger(dfValue);
  };
  const bool prev = i > 0 && same(i - 1, i);
  const bool next = i + 1 < records.size() && same(i + 1, i);
  if (!prev && !next) return 0;
  Integer place = 1;
  for (size_t k = i; k > 0 && same(k - 1, i); --k) ++place;
  return place;
}

// Whether row a belongs before row b.
bool rowBefore(const TCountRow& a, const TCountRow& b) {
  if (a.Group != b.Group) return a.Group < b.Group;
  const bool pa = a.PieceValue != Currency(), pb = b.PieceValue != Currency();
  if (pa && pb) {
    if (a.PackageKind != b.PackageKind) return a.PackageKind < b.PackageKind;
    if (a.PieceValue != b.PieceValue) return a.PieceValue < b.PieceValue;
  } else if (a.Value != b.Value) {
    return a.Value < b.Value;
  }
  if (a.Variant != b.Variant) return a.Variant < b.Variant;
  return a.Name < b.Name;
}

// The receipt name without its trailing blanks, commas, full stops, digits
// and underscores: "GBP 5" gives "GBP".
std::string receiptCurrency(const std::string& name) {
  size_t end = name.size();
  while (end > 0) {
    const char c = name[end - 1];
    if (c == ' ' || c == ',' || c == '.' || c == '_' || (c >= '0' && c <= '9')) --end;
    else break;
  }
  return UpperCase(name.substr(0, std::min<size_t>(end, 3)));
}

// The slot type of a receipt line: the receipt does not tell coins from
// banknotes, so a value that the currency has as a coin and not as a
// banknote goes on its coin row; anything else on a banknote row.
Byte receiptSlotType(const std::string& code, int64_t hundredths) {
  IMemDataSet table;
  if (QVRSystem)
    if (auto sets = QVRSystem->GetService<IVantorelDataSets>()) sets->GetDataSet(0, table);
  if (!table) return 1;
  bool coin = false, banknote = false;
  for (TMemRecord* r = table->First(); r; r = r->GetNext()) {
    if (r->GetAnsiString(dfCode) != code || r->GetInteger(dfValue) != hundredths) continue;
    const Integer kind = r->GetInteger(dfType) & 7;
    coin = coin || kind == 0;
    banknote = banknote || kind == 1;
  }
  return coin && !banknote ? 0 : 1;
}

}  // namespace

TfraCount::TfraCount(TComponent* owner) : TQVRFrame(owner) {
  SetName("fraCount");
  Font().SetName("Arial");
  Font().SetSize(8);
  SetBounds(0, 0, 800, 600);

  pnlMain = CreateComponent<TQVRPanel>(this);
  pnlMain->SetName("pnlMain");
  pnlMain->SetParent(this);
  pnlMain->SetAlign(alClient);
  pnlMain->SetBorderWidth(6);
  pnlMain->SetCaption("[Cash sheet]");
  pnlMain->SetTitleHeight(24);
  pnlMain->OnDblClick = [this](TObject* s) { pnlMainDblClick(s); };

  pnlTop = CreateComponent<TPanel>(this);
  pnlTop->SetName("pnlTop");
  pnlTop->SetParent(pnlMain);
  pnlTop->SetAlign(alTop);
  pnlTop->SetHeight(93);
  pnlTop->SetBevelOuter(bvNone);
  pnlTop->SetCaption("");

  auto edit = [this](auto* e, const char* name, const char* label, int left, int top, int width) {
    e->SetName(name);
    e->SetParent(pnlTop);
    e->SetBounds(left, top, width, 21);
    e->SetLabelPosition(UnitQVREdit::lpAbove);
    e->SetLabelCaption(label);
    e->SetText("");
    e->SetLocked(true);
    return e;
  };
  edDate = edit(CreateComponent<TQVREdit>(this), "edDate", "[Date]", 16, 16, 89);
  edTime = edit(CreateComponent<TQVREdit>(this), "edTime", "[Time]", 111, 16, 89);
  edCashDrawer = edit(CreateComponent<TQVREdit>(this), "edCashDrawer", "[Till]", 231, 16, 74);
  edCashDrawer->SetMaxLength(9);
  edCashDrawer->SetUnlockColorInvalid(InvalidColor);
  edID = edit(CreateComponent<TQVREdit>(this), "edID", "[ID]", 311, 16, 51);
  edCurrency = edit(CreateComponent<TQVREdit>(this), "edCurrency", "[Currency]", 368, 16, 47);
  edCompany = edit(CreateComponent<TQVREdit>(this), "edCompany", "[Company]", 16, 56, 184);
  edUser = edit(CreateComponent<TQVRComboBox>(this), "edUser", "[Employee]", 231, 56, 184);
  edUser->SetValidationAllowEmpty(false);
  FitDropDownToItems(edUser, 16);
  edUser->SetUnlockColorInvalid(InvalidColor);
  edCashDrawer->OnChange = [this](TObject* s) { edChange(s); };
  edUser->OnChange = [this](TObject* s) { edChange(s); };

  auto button = [this](const char* name, const char* caption, int top) {
    auto* b = CreateComponent<TButton>(this);
    b->SetName(name);
    b->SetParent(pnlTop);
    b->SetBounds(447, top, 75, 25);
    b->SetCaption(caption);
    b->SetEnabled(false);
    return b;
  };
  btnCancel = button("btnCancel", "[Cancel]", 13);
  btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };
  btnFinalize = button("btnFinalize", "[Finalize]", 53);
  btnFinalize->OnClick = [this](TObject* s) { btnFinalizeClick(s); };

  pnlCount = CreateComponent<TScrollBox>(this);
  pnlCount->SetName("pnlCount");
  pnlCount->SetParent(pnlMain);
  pnlCount->SetAlign(alClient);
  pnlCount->BorderStyle = bsNone;

  alActions = CreateComponent<TActionList>(this);
  alActions->SetName("alActions");
  ilImages = CreateComponent<TImageList>(this);
  ilImages->SetName("ilImages");
  drawCSVImage(*ilImages);
  drawNextImage(*ilImages);
  alActions->SetImages(ilImages);
  acSaveCSV = CreateComponent<TAction>(this);
  acSaveCSV->SetName("acSaveCSV");
  acSaveCSV->SetActionList(alActions);
  acSaveCSV->SetCaption("[SaveCSV]");
  acSaveCSV->SetHint("[SaveCSV]");
  acSaveCSV->SetImageIndex(0);
  acSaveCSV->OnExecute = [this](TObject* s) { acSaveCSVExecute(s); };
  acNextCounting = CreateComponent<TAction>(this);
  acNextCounting->SetName("acNextCounting");
  acNextCounting->SetActionList(alActions);
  acNextCounting->SetCaption("[NextCounting]");
  acNextCounting->SetHint("[NextCounting]");
  acNextCounting->SetImageIndex(1);
  acNextCounting->SetEnabled(false);
  acNextCounting->OnExecute = [this](TObject* s) { acNextCountingExecute(s); };
  // The viewer enables its action buttons with every document it shows; this
  // one stays disabled unless a result waits.
  acNextCounting->OnUpdate = [this](TObject*) { acNextCounting->SetEnabled(!counting_ && ResultWaiting()); };

  dlgSaveAs = CreateComponent<TSaveDialog>(this);
  dlgSaveAs->SetName("dlgSaveAs");
  dlgSaveAs->Title = "[SaveCSV]";
  dlgSaveAs->DefaultExt = "csv";
  dlgSaveAs->Filter = "CSV bestanden (*.csv)|*.csv|Alle bestanden (*.*)|*.*";
  dlgSaveAs->Options = TOpenOptions{ofOverwritePrompt, ofHideReadOnly, ofEnableSizing};
}

TfraCount::~TfraCount() {
  // The viewer reads the report stream to its end: it goes first.
  clearSheet();
  report_.reset();
}

void TfraCount::AfterConstruction() {
  TQVRFrame::AfterConstruction();
  TranslateEditCaptions(this);
  if (auto adjust = QVRSystem->GetService<IPanelAdjust>()) adjust->Adjust(pnlMain);
  edCompany->SetText("?");
  loadEmployees();
  if (Settings) {
    edCompany->SetText(Settings->Company);
    // A long name shows its start, as it is read.
    edCompany->SetSelStart(0);
    edCashDrawer->SetValidationAllowEmpty(!Settings->MustDrawer);
    edUser->SetValidationAllowEmpty(!Settings->MustEmployee);
  }
  csv_ = std::make_unique<TStringList>();
  capture_ = MakeObject<TVantorel9183PrinterCapture>();
  capture_->OnResult = [this](TObject*) { captureResult(); };
  capture_->OnError = [this](TObject*) { captureError(); };
  // Last, with all of the above in place: a result that waited while the
  // screen was left starts its counting (the user asked for this screen);
  // else one waiting on the scale does.
  if (waitingResult()) acNextCountingExecute(nullptr);
  else DeviceStatusChanged(Vantorel7350 && Vantorel7350->Connected, false);
}

std::optional<TVantorelResult>& TfraCount::waitingResult() {
  static std::optional<TVantorelResult> result;
  return result;
}

void TfraCount::takeResult(const TVantorelResult& result) {
  if (viewer_) {
    waitingResult() = result;
    acNextCounting->SetEnabled(true);
    return;
  }
  StartCounting(result);
}

void TfraCount::acNextCountingExecute(TObject*) {
  if (counting_ || !waitingResult()) return;
  const TVantorelResult result = *waitingResult();
  waitingResult().reset();
  acNextCounting->SetEnabled(false);
  StartCounting(result);
}

void TfraCount::loadEmployees() {
  if (!dmDatabase) return;
  IMemDataSet users;
  dmDatabase->GetUsers(users);
  edUser->Items().Clear();
  userIds_.clear();
  const Integer id = users->FieldIndexByName("ID"), name = users->FieldIndexByName("NAME"),
                status = users->FieldIndexByName("STATUS");
  for (TMemRecord* r = users->First(); r; r = r->GetNext()) {
    if (r->GetInteger(status) != 1) continue;
    edUser->Items().Add(Format("%.4d  %s", r->GetInteger(id), AnsiToUtf8(r->GetAnsiString(name))));
    userIds_.push_back(r->GetInteger(id));
  }
}

void TfraCount::DeviceStatusChanged(bool connected, bool) { ResultFromScale(connected); }

void TfraCount::showMessage(const std::string& key) {
  // A screen may be in the middle of a locked update (the main window locks
  // while it creates this frame); the box must be seen and usable.
  ReleaseWindowUpdateLock();
  ShowMessage(Translate(key));
}

void TfraCount::ResultFromScale(bool connected) {
  if (!connected || !Vantorel7350 || !Vantorel7350->Connected) return;
  if (Vantorel7350->ProductVariant == 1) return showMessage("NoCounting");
  if (counting_) return showMessage("AlreadyCounting");
  TVantorelResult result;
  if (!Vantorel7350->ReadResult(result)) return showMessage("CommunicationFailed");
  takeResult(result);
}

void TfraCount::captureResult() { ResultFromReceipt(capture_->Receipt()); }

void TfraCount::captureError() { showMessage("ErrorRecievingResult"); }

void TfraCount::ResultFromReceipt(const IMemDataSet& receipt) {
  if (counting_) return showMessage("AlreadyCounting");
  if (!receipt) return;
  TVantorelResult result;
  Integer slot = 0;
  for (TMemRecord* r = receipt->First(); r; r = r->GetNext()) {
    const std::string name = r->GetAnsiString(0);
    if (name == "<SUM>") continue;
    const std::string code = receiptCurrency(name);
    const Integer perPiece = r->GetInteger(1), count = r->GetInteger(2);
    // A line the sheet cannot hold is no receipt of this scale: no currency
    // code, a value that ends the slot table or leaves its range, more lines
    // than slots, a negative count.
    if (code.size() < 3 || perPiece <= 0 || perPiece > INT32_MAX / 100 || count < 0 ||
        slot >= VantorelSlotCount)
      return showMessage("ErrorRecievingResult");
    if (slot == 0) result.CurrencyCode = code;
    else if (code != result.CurrencyCode) return showMessage("MixedCurrenciesNotSupported");
    ++slot;
    result.Value[slot] = perPiece * 100;
    result.SlotType[slot] = receiptSlotType(result.CurrencyCode, int64_t(perPiece) * 100);
    result.Count[slot] = count;
  }
  if (slot == 0) return;
  takeResult(result);
}

void TfraCount::StartCounting(const TVantorelResult& result) {
  edUser->SetLocked(false);
  edUser->SetItemIndex(-1);
  edCashDrawer->SetLocked(false);
  currency_ = result.CurrencyCode;
  edCurrency->SetText(AnsiToUtf8(currency_));
  // The number of the previous counting does not belong to this one.
  edID->SetText("");
  time_ = Now();
  edDate->SetText(FormatDateTime(FormatSettings.ShortDateFormat, time_));
  edTime->SetText(FormatDateTime(FormatSettings.LongTimeFormat, time_));
  counting_ = true;
  edCashDrawer->SetText("");
  btnCancel->SetEnabled(true);
  Beep(1200, 100);
  BuildCountRows(result);
  {
    auto lock = LockWindowUpdates(pnlCount, crHourGlass);
    BuildSheet();
  }
  UpdateTotals();
}

void TfraCount::BuildCountRows(const TVantorelResult& result) {
  rows_.clear();
  // The scale's slots: coins and banknotes; packages wait for their records.
  for (Integer q = 1; q <= VantorelSlotCount && result.Value[q] != 0; ++q) {
    const Byte type = result.SlotType[q];
    if (type == 2 || type == 3) continue;
    Assert(type <= 1, "Unknown slot type");
    TCountRow row;
    row.Group = type;
    row.Value = fromHundredths(result.Value[q]);
    row.Variant = result.SeriesNumber[q];
    if (row.Variant == 0) {
      auto sameAs = [&](Integer other) {
        return other >= 1 && other <= VantorelSlotCount && result.Value[other] == result.Value[q] &&
               result.SlotType[other] == type;
      };
      if (sameAs(q - 1) && !rows_.empty()) row.Variant = rows_.back().Variant + 1;
      else if (sameAs(q + 1)) row.Variant = 1;
    }
    row.Name = Format("%.2f", row.Value);
    if (row.Variant > 0) row.Name += Format(" (%d)", row.Variant);
    row.Flags = crfCountLocked;
    row.Count = result.Count[q];
    rows_.push_back(row);
  }

  if (Settings && Settings->InitialDrawer > 0) {
    TCountRow row;
    row.Group = cgOthers;
    row.Name = Translate("InitialCash");
    row.Flags = crfDebit | crfFreeAmount;
    row.Value = Currency(Settings->InitialDrawer);
    row.Total = -row.Value;
    rows_.push_back(row);
  }

  IMemDataSet table;
  if (QVRSystem)
    if (auto sets = QVRSystem->GetService<IVantorelDataSets>()) sets->GetDataSet(0, table);
  if (!table) return;
  std::vector<TMemRecord*> records;
  for (TMemRecord* r = table->First(); r; r = r->GetNext()) records.push_back(r);
  std::vector<TCountRow> packages;
  for (size_t i = 0; i < records.size(); ++i) {
    TMemRecord* rec = records[i];
    if (rec->GetAnsiString(dfCode) != result.CurrencyCode || rec->GetInteger(dfStatus) >= 2) continue;
    const Integer type = rec->GetInteger(dfType), kind = type & 7;
    const Currency value = fromHundredths(rec->GetInteger(dfValue));
    const Integer variant = denominationVersion(records, i);
    const std::string display = AnsiToUtf8(DisplayNameText(rec));
    const std::string valueText = Format("%.2f", value);
    bool matched = false;
    if (kind <= 1)
      for (TCountRow& row : rows_) {
        if (row.Group != kind || row.Value != value) continue;
        if (row.Variant == 0 && variant > 0) {
          matched = true;
        } else if (row.Variant == variant) {
          matched = true;
          if (!display.empty()) row.Name = display;
        }
        if (matched) break;
      }
    if (!matched) {
      TCountRow row;
      row.Name = display.empty() ? valueText : display;
      row.Group = static_cast<Byte>(kind <= 1 ? kind : Integer(cgOthers));
      row.Flags = static_cast<Byte>(kind == 3 ? crfFreeAmount : kind == 4 ? crfDebit | crfFreeAmount : 0);
      if (type & 8) row.Flags |= crfNameEditable;
      row.Value = value;
      row.Variant = variant;
      rows_.push_back(row);
    }
    // Packages of coins and banknotes; other items come loose.
    const Integer groupType = rec->GetInteger(dfGroupType), pieces = rec->GetInteger(dfGroupCount);
    if (kind > 1 || groupType < 1 || groupType > 3 || pieces <= 0) continue;
    static const char* const groupKeys[] = {"GroupRoll", "GroupBag", "GroupClip"};
    TCountRow row;
    row.Group = cgPackaged;
    row.Name = Translate(groupKeys[groupType - 1]) + Format(" %d x %s", pieces, display.empty() ? valueText : display);
    if (variant > 0 && display.empty()) row.Name += Format(" (%d)", variant);
    row.PieceValue = value;
    row.Value = value * pieces;
    row.PackageKind = static_cast<Byte>(kind);
    row.Variant = variant;
    for (Integer q = 1; q <= VantorelSlotCount && result.Value[q] != 0; ++q)
      if (result.Value[q] == rec->GetInteger(dfValue) && result.SlotType[q] == kind + 2 &&
          result.SeriesNumber[q] == variant) {
        row.Count = result.Count[q] / pieces;
        break;
      }
    rows_.push_back(row);
  }

  for (size_t i = 0; i < rows_.size(); ++i)
    for (size_t j = i + 1; j < rows_.size(); ++j)
      if (rowBefore(rows_[j], rows_[i])) std::swap(rows_[i], rows_[j]);
}

void TfraCount::clearSheet() {
  // The rows keep no pointer to an edit that is gone.
  for (TCountRow& row : rows_) row.CountEdit = row.AmountEdit = nullptr;
  std::fill(std::begin(subtotals_), std::end(subtotals_), nullptr);
  totalEdit_ = nullptr;
  viewer_ = nullptr;
  while (pnlCount->ControlCount() > 0) FreeObject(pnlCount->Controls(pnlCount->ControlCount() - 1));
  // Freeing a control does not realign its parent: without this the scroll
  // bars of the freed sheet stay over the empty box after a cancel.
  pnlCount->Realign();
}

void TfraCount::BuildSheet() {
  clearSheet();
  // A package whose coin or banknote row is missing stands with the other
  // items, and is counted with them; its partner is settled before the boxes
  // are sized so that every box holds its rows.
  std::vector<int> partner(rows_.size(), -1);
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].Group != cgPackaged) continue;
    for (size_t k = 0; k < rows_.size(); ++k)
      if (rows_[k].Group == rows_[i].PackageKind && rows_[k].Value == rows_[i].PieceValue &&
          rows_[k].Variant == rows_[i].Variant) {
        partner[i] = static_cast<int>(k);
        break;
      }
    if (partner[i] < 0) rows_[i].Group = cgOthers;
  }
  Integer counts[CountGroupCount] = {};
  for (const TCountRow& row : rows_) ++counts[row.Group];
  const bool present[CountGroupCount] = {counts[0] > 0, counts[1] > 0, counts[2] > 0, counts[3] > 0};

  const Integer lefts[CountGroupCount] = {30, 30, 300, present[cgPackaged] ? 570 : 300};
  Integer tops[CountGroupCount] = {30, (counts[cgCoins] + 3) * RowHeight, 30, 30};

  auto label = [this](const std::string& text, Integer left, Integer top, bool bold) {
    auto* l = CreateComponent<TLabel>(this);
    l->SetParent(pnlCount);
    l->SetLeft(left);
    l->SetTop(top + LabelOffset);
    if (bold) l->Font().SetStyle({fsBold});
    l->SetCaption(text);
    return l;
  };
  auto amountEdit = [this](Integer left, Integer top) {
    auto* e = CreateComponent<TQVREdit>(this);
    e->SetParent(pnlCount);
    e->SetBounds(left, top, EditWidth, 21);
    e->SetAlignment(taRightJustify);
    return e;
  };
  auto readOnlyEdit = [&](Integer left, Integer top, const std::string& text) {
    auto* e = amountEdit(left, top);
    e->SetText(text);
    e->SetReadOnly(true);
    e->TabStop = false;
    return e;
  };

  for (Integer g = 0; g < CountGroupCount; ++g) {
    if (!present[g]) continue;
    auto* box = CreateComponent<TGroupBox>(this);
    box->SetParent(pnlCount);
    Integer height = (counts[g] + 2) * RowHeight;
    if (g == cgPackaged) height = std::max(height, (counts[cgCoins] + counts[cgBanknotes]) * RowHeight + 120);
    box->SetBounds(lefts[g] - 15, tops[g] - 5, g == cgOthers ? 325 : 260, height);
    box->SetText("");
  }
  for (Integer g = 0; g < CountGroupCount; ++g) {
    if (!present[g]) continue;
    label(Translate(GroupCaptions[g]), lefts[g] + NameColumn, tops[g], true);
    label(Translate("Quantity"), lefts[g] + CountColumn, tops[g], true);
    label(Translate("Total"), lefts[g] + CreditColumn, tops[g], true);
    label("", lefts[g] + DebitColumn, tops[g], true);
    tops[g] += RowHeight;
  }

  for (size_t i = 0; i < rows_.size(); ++i) {
    TCountRow& row = rows_[i];
    const Integer g = row.Group;
    row.Top = g == cgPackaged ? rows_[partner[i]].Top : tops[g];
    tops[g] += RowHeight;
    const Integer left = lefts[g];
    if (row.Flags & crfNameEditable) {
      auto* e = CreateComponent<TQVREdit>(this);
      e->SetParent(pnlCount);
      e->SetBounds(left + NameColumn, row.Top, 101, 21);
      e->SetText(row.Name);
      e->OnChange = [this, i, e](TObject*) { nameEditChange(i, e); };
    } else {
      label(row.Name, left + NameColumn, row.Top, false);
    }
    if (!(row.Flags & crfFreeAmount)) {
      row.Total = row.Value * row.Count;
      row.CountEdit = amountEdit(left + CountColumn, row.Top);
      row.CountEdit->SetValidationType(vtIntegerPositive);
      row.CountEdit->SetLocked(row.Flags & crfCountLocked);
      if (row.Count != 0) row.CountEdit->SetText(IntToStr(row.Count));
      row.CountEdit->OnChange = [this, i](TObject*) { countEditChange(i); };
    }
    const Integer column = left + (row.Flags & crfDebit ? DebitColumn : CreditColumn);
    if (row.Flags & crfFreeAmount) {
      row.Total = row.Flags & crfDebit ? -row.Value : row.Value;
      row.AmountEdit = amountEdit(column, row.Top);
      row.AmountEdit->SetValidationType(vtFloatPositive);
      row.AmountEdit->SetText(Format("%.2f", row.Value));
      row.AmountEdit->OnChange = [this, i](TObject*) { amountEditChange(i); };
    } else {
      row.AmountEdit = readOnlyEdit(column, row.Top, moneyText(row.Total));
    }
  }

  tops[cgPackaged] = std::max(tops[cgPackaged], tops[cgBanknotes]);
  for (Integer g = 0; g < CountGroupCount; ++g) {
    if (!present[g]) continue;
    label(Translate("Subtotal"), lefts[g] + NameColumn, tops[g], true);
    subtotals_[g] = readOnlyEdit(lefts[g] + CreditColumn, tops[g], "");
    tops[g] += RowHeight;
  }

  const Integer last = present[cgOthers] ? cgOthers : present[cgPackaged] ? cgPackaged : cgBanknotes;
  if (tops[cgBanknotes] >= tops[last]) tops[last] = tops[cgBanknotes] - RowHeight;
  tops[last] += RowHeight;
  label(Translate("Total"), lefts[last] + CountColumn, tops[last], true);
  totalEdit_ = readOnlyEdit(lefts[last] + CreditColumn, tops[last], "");
}

void TfraCount::countEditChange(size_t i) {
  TCountRow& row = rows_[i];
  if (!row.CountEdit) return;
  Integer count = 0;
  if (!TryStrToInt(row.CountEdit->Text(), count) || count < 0) count = 0;
  row.Count = count;
  row.Total = row.Value * count;
  if (row.AmountEdit) row.AmountEdit->SetText(moneyText(row.Total));
  UpdateTotals();
}

void TfraCount::amountEditChange(size_t i) {
  TCountRow& row = rows_[i];
  if (!row.AmountEdit) return;
  Currency amount;
  if (!TryStrToCurr(row.AmountEdit->Text(), amount) || amount < Currency()) amount = Currency();
  if (row.Flags & crfDebit) amount = -amount;
  row.Value = row.Total = amount;
  UpdateTotals();
}

void TfraCount::nameEditChange(size_t i, TQVREdit* edit) { rows_[i].Name = edit->Text(); }

void TfraCount::UpdateTotals() {
  Currency sums[CountGroupCount];
  for (const TCountRow& row : rows_) sums[row.Group] += row.Total;
  grandTotal_ = Currency();
  for (Integer g = 0; g < CountGroupCount; ++g) {
    if (!subtotals_[g]) continue;
    grandTotal_ += sums[g];
    subtotals_[g]->SetText(moneyText(sums[g]));
  }
  if (totalEdit_) totalEdit_->SetText(moneyText(grandTotal_));
  edChange(nullptr);
}

void TfraCount::edChange(TObject*) {
  const Integer item = edUser->ItemIndex();
  userId_ = item >= 0 && item < static_cast<Integer>(userIds_.size()) ? userIds_[item] : -1;
  // Idle, nothing is open to finalize or cancel.
  if (!counting_) return;
  btnFinalize->SetEnabled(edCashDrawer->IsValid() && edUser->IsValid());
  btnCancel->SetEnabled(true);
}

void TfraCount::leaveCounting() {
  counting_ = false;
  btnFinalize->SetEnabled(false);
  btnCancel->SetEnabled(false);
  edUser->SetLocked(true);
  edCashDrawer->SetLocked(true);
}

void TfraCount::btnFinalizeClick(TObject*) {
  if (!counting_) return;
  // The drawer is stored as single-byte text; the sheet stays for the user
  // to change it.
  if (RefuseCharactersNotStored(edCashDrawer->Text())) return;
  IMemDataSet details = CreateMemDataSet();
  details->AddField(mftInteger, "Type", 0);
  details->AddField(mftAnsiString, "Name", 0);
  details->AddField(mftInteger, "Count", 0);
  details->AddField(mftCurrency, "Total", 0);
  auto add = [&](Integer type, const std::string& name, Integer count, Currency total) {
    TMemRecord* r = details->AddRecord();
    r->SetInteger(0, type);
    r->SetAnsiString(1, Utf8ToAnsi(name));
    r->SetInteger(2, count);
    r->SetCurrency(3, total);
  };
  for (Integer g = 0; g < CountGroupCount; ++g) {
    Currency sum;
    bool any = false;
    for (const TCountRow& row : rows_) {
      if (row.Group != g) continue;
      add(g, row.Name, row.Count, row.Total);
      sum += row.Total;
      any = true;
    }
    if (any) add(4, Translate("Subtotal"), 0, sum);
  }
  add(5, Translate("Total"), 0, grandTotal_);
  TStringStream values;
  SaveDataSetToStream(values, details, CountingDataPassword);

  Integer id = 0;
  try {
    id = dmDatabase->AddCounting(userId_, time_, values.DataString(), currency_, Utf8ToAnsi(edCashDrawer->Text()),
                                 Utf8ToAnsi(edCompany->Text()), grandTotal_);
  } catch (const EEmployeeDeleted& e) {
    // Another desk deleted the employee after this sheet read the list: the
    // list is read anew and the counting stays for her replacement.
    loadEmployees();
    edUser->SetItemIndex(-1);
    edChange(nullptr);
    ReleaseWindowUpdateLock();
    ShowMessage(e.Message());
    return;
  }
  edID->SetText(IntToStr(id));
  // Stored: whatever happens to the report, this counting is closed and a
  // second click cannot store it again.
  leaveCounting();

  clearSheet();
  viewer_ = CreateComponent<TfraPDFViewer>(this);
  viewer_->SetParent(pnlCount);
  viewer_->SetAlign(alClient);
  viewer_->AddActionButton(acSaveCSV);
  viewer_->AddActionButton(acNextCounting);
  viewer_->SetCaptions(Translate("PDFSave"), Translate("PDFSaveHint"), Translate("PDFPrint"),
                       Translate("PDFPrintHint"));

  csv_->Clear();
  std::unique_ptr<TMemoryStream> report = dmDatabase->CreateCountingReport(id, csv_.get());
  viewer_->LoadReport(Translate("Counting"), report.get(),
                      FileNameSafe(Format("%6.6d %s.pdf", id, edUser->Text())), true);
  report_ = std::move(report);
  acNextCounting->SetEnabled(ResultWaiting());

  DeviceStatusChanged(Vantorel7350 && Vantorel7350->Connected, false);
}

void TfraCount::btnCancelClick(TObject*) {
  if (!counting_) return;
  ReleaseWindowUpdateLock();
  if (MessageDlg(Translate("CancelCountingAYS"), mtConfirmation, TMsgDlgButtons{mbYes, mbNo}) != mrYes) return;
  clearSheet();
  leaveCounting();
  // Nothing of the cancelled counting stays on the screen.
  for (TQVREdit* e : {edDate, edTime, edCurrency, edID, edCashDrawer}) e->SetText("");
  edUser->SetItemIndex(-1);
  DeviceStatusChanged(Vantorel7350 && Vantorel7350->Connected, false);
}

void TfraCount::acSaveCSVExecute(TObject*) {
  if (!dlgSaveAs->Execute()) return;
  csv_->SaveToFile(dlgSaveAs->FileName);
}

void TfraCount::CloseQuery(bool& canClose) {
  canClose = !counting_;
  if (!canClose) showMessage("StillCounting");
}

void TfraCount::pnlMainDblClick(TObject*) { capture_->FeedText(CountTestReceipt); }

void InitializeCountFrame() { QVRSystem->RegisterControl<TfraCount>(TfraCount::FrameNumber); }
void FinalizeCountFrame() {
  TfraCount::DropWaitingResult();
  if (QVRSystem) QVRSystem->UnregisterControl(TfraCount::FrameNumber);
}

}  // namespace px
