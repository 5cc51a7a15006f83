// The count screen in the real main window, offscreen: sheets from results
// of the simulated scale and from receipts, the edits and totals, finishing
// a counting into the embedded database, its report and CSV.
#include <QImage>
#include <QWidget>

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FakeHidSysfs.h"
#include "ScaleSimulator.h"
#include "app/Startup.h"
#include "app/UnitCountFrame.h"
#include "app/UnitData.h"
#include "app/UnitDatasets.h"
#include "app/UnitMain.h"
#include "app/UnitMainFormActions.h"
#include "app/UnitSettings.h"
#include "dbclient/EngineLock.h"
#include "dbclient/IsqlPeer.h"
#include "device/UnitHID.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "ui/framework/UnitTranslation.h"

namespace px::test {
namespace {

namespace fs = std::filesystem;

const std::string shipped = std::string(PX_APP_DATA_DIR) + "/";

// One slot of the scale's table: value in hundredths, slot type, pieces per
// package, version, pieces counted.
struct SlotSpec {
  Integer Value;
  Byte Type;
  Word Group = 0;
  Byte Series = 0;
  Integer Count = 0;
};

// A record of the denominations table: code, type, value, status, display
// name, group type, pieces per group.
struct DenomSpec {
  std::string Code;
  Integer Type;
  Integer Value;
  Integer Status = 0;
  std::string Name;
  Integer GroupType = 0;
  Integer GroupCount = 0;
};

// The program started in-process on a fresh home with a private device tree
// in which the simulated scale can be plugged; message boxes are recorded
// and answered with Answer, file dialogs by FileAnswer.
class Program {
 public:
  explicit Program(const std::string& receiptPort = "") : tree_(home_.Dir().Path() / "devices") {
    langFile_ = home_.Dir().File("Pondarix7350.lang");
    fs::copy_file(shipped + "Pondarix7350.lang", langFile_);
    oldDlg_ = SetMessageDlgHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      boxes.push_back(text);
      return Answer;
    });
    oldFile_ = SetFileDialogHook([this](TFileDialogRequest& r) { return FileAnswer ? FileAnswer(r) : false; });
    oldTone_ = SetToneSink([this](Cardinal f, Cardinal d) { tones.emplace_back(f, d); });
    TProgramSetup setup;
    setup.ShippedFolder = shipped;
    setup.TranslationFile = langFile_;
    setup.SysfsRoot = tree_.SysfsRoot();
    setup.DevRoot = tree_.DevRoot();
    setup.Opener = scale.Opener();
    setup.WatchHotPlug = false;
    setup.ReceiptPort = receiptPort;
    fs::create_directories(home_.Dir().Path() / "devices" / "sys" / "class" / "hidraw");
    fs::create_directories(home_.Dir().Path() / "devices" / "dev");
    InitializeProgram(setup);
    SetBeepHandler([this] { ++beeps; });
    form = dynamic_cast<TfrmMain*>(CreateMainBlock(true));
    Application->ProcessMessages();
  }
  ~Program() {
    Application->DestroyComponents();
    FinalizeProgram();
    SetToneSink(oldTone_);
    SetFileDialogHook(oldFile_);
    SetMessageDlgHook(oldDlg_);
  }

  // The scale's currencies: table 1 holds the slotList; the result is table 1's.
  void SetScale(const std::string& code, const std::vector<SlotSpec>& slotList) {
    TScaleSimulator::Table t;
    t.Code = code;
    for (size_t i = 0; i < slotList.size(); ++i) {
      auto& s = t.Slots[i + 1];
      s.Value = slotList[i].Value;
      s.SlotType = slotList[i].Type;
      s.Weight = 10000;
      s.GroupCount = slotList[i].Group;
      s.Series = slotList[i].Series;
      scale.SetCount(static_cast<Integer>(i + 1), slotList[i].Count);
    }
    scale.SetTable(1, t);
    TScaleSimulator::Table other;
    other.Code = code == "USD" ? "CHF" : "USD";
    scale.SetTable(2, other);
    other.Code = code == "JPY" ? "CHF" : "JPY";
    scale.SetTable(3, other);
    scale.SetCurrentCode(code);
  }
  // The scale arrives (again), as a real one that leaves after its read-out
  // and comes back with the next result.
  void Plug() {
    if (plugged_) tree_.Remove(device_.Node);
    ++device_.Instance;
    tree_.Add(device_);
    plugged_ = true;
    HIDDevices->Refresh();
  }
  void Unplug() {
    if (plugged_) tree_.Remove(device_.Node);
    plugged_ = false;
    HIDDevices->Refresh();
  }

  // Replaces the shared denominations table's records.
  static void SetDenominations(const std::vector<DenomSpec>& specs) {
    IMemDataSet table;
    QVRSystem->GetService<IVantorelDataSets>()->GetDataSet(0, table);
    while (TMemRecord* r = table->First()) r->Free();
    for (const DenomSpec& d : specs) {
      TMemRecord* r = table->AddRecord();
      r->SetAnsiString(0, d.Code);
      r->SetInteger(1, d.Type);
      r->SetInteger(2, d.Value);
      r->SetInteger(3, 0);
      r->SetInteger(4, d.Status);
      r->SetAnsiString(5, "0\t" + Utf8ToAnsi(d.Name));
      r->SetInteger(6, d.GroupType);
      r->SetInteger(7, d.GroupCount);
    }
  }

  TfraCount* ShowCount() {
    QVRSystem->GetService<IMainFormFiller>()->ShowFrame(TfraCount::FrameNumber);
    return Count();
  }
  TfraCount* Count() const {
    return form->ContentLink() ? dynamic_cast<TfraCount*>(form->ContentLink()->GetComponent()) : nullptr;
  }
  std::string DatabaseFile() const { return dmDatabase->DB->DatabaseName(); }
  // isql-fb's list output of the script, the module disconnected first.
  std::vector<std::string> Isql(const std::string& script) {
    dmDatabase->DB->SetConnected(false);
    return ListLines(RunIsql(DatabaseFile(), "SET LIST ON;\n" + script, "ISO8859_1"));
  }
  const FreshHome& Home() const { return home_; }

  TScaleSimulator scale{2, 4};
  TfrmMain* form = nullptr;
  std::vector<std::string> boxes;
  std::vector<std::pair<Cardinal, Cardinal>> tones;
  int beeps = 0;
  TModalResult Answer = mrOk;
  std::function<bool(TFileDialogRequest&)> FileAnswer;

 private:
  FreshHome home_;
  FakeHidSysfs tree_;
  FakeHidDevice device_;
  bool plugged_ = false;
  std::string langFile_;
  TMessageDlgHook oldDlg_;
  TFileDialogHook oldFile_;
  TToneSink oldTone_;
};

// A result record as the scale hands it over.
TVantorelResult Result(const std::string& code, const std::vector<SlotSpec>& slotList) {
  TVantorelResult r;
  r.CurrencyCode = code;
  for (size_t i = 0; i < slotList.size(); ++i) {
    r.Value[i + 1] = slotList[i].Value;
    r.SlotType[i + 1] = slotList[i].Type;
    r.GroupCount[i + 1] = slotList[i].Group;
    r.SeriesNumber[i + 1] = slotList[i].Series;
    r.Count[i + 1] = slotList[i].Count;
  }
  return r;
}

// "group|name|count|total" per row, the total as the amount edit shows it.
std::vector<std::string> RowTexts(const TfraCount* f) {
  std::vector<std::string> out;
  for (const TCountRow& r : f->Rows())
    out.push_back(std::to_string(r.Group) + "|" + r.Name + "|" + (r.CountEdit ? r.CountEdit->Text() : "-") + "|" +
                  (r.AmountEdit ? r.AmountEdit->Text() : "-"));
  return out;
}

std::string SubtotalText(const TfraCount* f, Integer g) {
  return f->SubtotalEdit(g) ? f->SubtotalEdit(g)->Text() : "absent";
}

// The controls of the sheet at a place: "Class@left,top,width,height".
std::vector<std::string> Boxes(TfraCount* f) {
  std::vector<std::string> out;
  for (Integer i = 0; i < f->pnlCount->ControlCount(); ++i) {
    TControl* c = f->pnlCount->Controls(i);
    if (c->ClassName() != "TGroupBox") continue;
    out.push_back(std::to_string(c->Left()) + "," + std::to_string(c->Top()) + "," + std::to_string(c->Width()) +
                  "," + std::to_string(c->Height()));
  }
  return out;
}

struct SheetCase {
  const char* Title;
  Integer InitialCash;
  std::vector<DenomSpec> Denominations;
  std::string Code;
  std::vector<SlotSpec> Slots;
  std::vector<std::string> Rows;
  std::vector<std::string> Subtotals;  // coins, banknotes, packaged, others
  std::string Total;
  std::vector<std::string> GroupBoxes;
};

TEST(CountSheet, RowsSubtotalsTotalAndBoxes) {
  const std::vector<SheetCase> cases = {
      {"two issues of one coin without records are numbered",
       0,
       {},
       "XTS",
       {{200, 0, 0, 0, 3}, {200, 0, 0, 0, 1}, {500, 1, 0, 0, 2}},
       {"0|2.00 (1)|3|6.00", "0|2.00 (2)|1|2.00", "1|5.00|2|10.00"},
       {"8.00", "10.00", "absent", "absent"},
       "18.00",
       {"15,25,260,120", "15,145,260,90"}},
      {"the scale's version bytes name the issues",
       0,
       {},
       "XTS",
       {{100, 0, 0, 2, 1}, {100, 0, 0, 1, 4}},
       {"0|1.00 (1)|4|4.00", "0|1.00 (2)|1|1.00"},
       {"5.00", "absent", "absent", "absent"},
       "5.00",
       {"15,25,260,120"}},
      {"cents are exact: 7 x 0.05 is 0.35 in row, subtotal and total",
       0,
       {{"EUR", 0, 5, 0, "5 cent"}},
       "EUR",
       {{5, 0, 0, 0, 7}},
       {"0|5 cent|7|0.35"},
       {"0.35", "absent", "absent", "absent"},
       "0.35",
       {"15,25,260,90"}},
      {"initial cash stands in the debit column of the others and lowers the total",
       100,
       {},
       "XTS",
       {{1000, 1, 0, 0, 3}},
       {"1|10.00|3|30.00", "3|Initial cash|-|100.00"},
       {"absent", "30.00", "absent", "-100.00"},
       "-70.00",
       {"15,85,260,90", "285,25,325,90"}},
      {"a roll of 50 x 0.50 with 100 pieces on its slot is two rolls",
       0,
       {{"EUR", 0, 50, 0, "50 cent", 1, 50}},
       "EUR",
       {{50, 0, 0, 0, 4}, {50, 2, 50, 0, 100}},
       {"0|50 cent|4|2.00", "2|Roll 50 x 50 cent|2|50.00"},
       {"2.00", "absent", "50.00", "absent"},
       "52.00",
       {"15,25,260,90", "285,25,260,150"}},
      {"hidden and foreign records stay out; shown ones complete the sheet in order",
       0,
       {{"EUR", 1, 2000, 0, ""},
        {"EUR", 0, 10, 1, "10 cent"},
        {"EUR", 0, 20, 2, "20 cent"},
        {"USD", 0, 20, 0, "quarter"},
        {"EUR", 0, 1, 0, "1 cent"},
        {"EUR", 1, 500, 0, "5 euro"},
        {"EUR", 3, 0, 0, "Cheques"},
        {"EUR", 12, 250, 0, "Expenses"},
        {"EUR", 2, 1500, 0, "Voucher"}},
       "EUR",
       {{500, 1, 0, 0, 1}},
       {"0|1 cent||0.00", "0|10 cent||0.00", "1|5 euro|1|5.00", "1|20.00||0.00", "3|Cheques|-|0.00",
        "3|Expenses|-|2.50", "3|Voucher||0.00"},
       {"0.00", "5.00", "absent", "-2.50"},
       "2.50",
       {"15,25,260,120", "15,145,260,120", "285,25,325,150"}},
      {"packages of issues the scale does not tell apart land under the others",
       0,
       {{"EUR", 0, 200, 0, "2 euro A", 1, 25}, {"EUR", 0, 200, 0, "2 euro B", 1, 25}, {"EUR", 1, 1000, 0, "10 euro"}},
       "EUR",
       {{200, 0, 0, 0, 5}, {1000, 1, 0, 0, 1}},
       {"0|2.00|5|10.00", "1|10 euro|1|10.00", "3|Roll 25 x 2 euro A||0.00", "3|Roll 25 x 2 euro B||0.00"},
       {"10.00", "10.00", "absent", "0.00"},
       "20.00",
       {"15,25,260,90", "15,115,260,90", "285,25,325,120"}},
      {"only banknotes: one subtotal and the total",
       0,
       {},
       "XTS",
       {{2000, 1, 0, 0, 2}, {5000, 1, 0, 0, 1}},
       {"1|20.00|2|40.00", "1|50.00|1|50.00"},
       {"absent", "90.00", "absent", "absent"},
       "90.00",
       {"15,85,260,120"}},
  };
  Program p;
  TfraCount* f = p.ShowCount();
  ASSERT_NE(f, nullptr);
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.Title);
    Settings->InitialDrawer = c.InitialCash;
    Program::SetDenominations(c.Denominations);
    if (f->Counting()) {
      p.Answer = mrYes;
      f->btnCancel->Click();
    }
    f->StartCounting(Result(c.Code, c.Slots));
    EXPECT_EQ(RowTexts(f), c.Rows);
    for (Integer g = 0; g < 4; ++g) EXPECT_EQ(SubtotalText(f, g), c.Subtotals[g]) << "group " << g;
    EXPECT_EQ(f->TotalEdit() ? f->TotalEdit()->Text() : "", c.Total);
    if (!c.GroupBoxes.empty()) EXPECT_EQ(Boxes(f), c.GroupBoxes);
  }
}


// The EUR result of the end-to-end tests: two issues of the 2-euro coin,
// 5 cents, banknotes and a roll of 50-cent coins.
const std::vector<SlotSpec> euroSlots = {
    {5, 0, 0, 0, 7}, {50, 0, 0, 0, 3}, {200, 0, 0, 0, 12}, {200, 0, 0, 0, 2},
    {1000, 1, 0, 0, 4}, {5000, 1, 0, 0, 3}, {50, 2, 40, 0, 120}};

// Saves a grab of the widget when PX_SHOT_DIR names a folder (for looking).
void Shot(TWinControl* c, const std::string& name) {
  if (const char* dir = std::getenv("PX_SHOT_DIR"))
    c->Widget()->grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

TEST(CountScreen, CountButtonShowsTheSheetOfTheScale) {
  Program p;
  p.SetScale("EUR", euroSlots);
  p.Plug();
  ASSERT_TRUE(Vantorel7350->Connected);
  p.tones.clear();
  dynamic_cast<TdmMainFormFiller*>(QVRSystem->GetService<IMainFormFiller>().get())->acCount->Execute();
  TfraCount* f = p.Count();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(p.boxes.empty()) << p.boxes[0];
  EXPECT_TRUE(f->Counting());
  EXPECT_EQ(p.tones, (std::vector<std::pair<Cardinal, Cardinal>>{{1200, 100}}));
  EXPECT_EQ(f->edCurrency->Text(), "EUR");
  EXPECT_FALSE(f->edDate->Text().empty());
  EXPECT_FALSE(f->edCashDrawer->Locked());
  EXPECT_FALSE(f->edUser->Locked());
  const std::vector<std::string> want = {
      "0|1 cent||0.00",  "0|2 cent||0.00",    "0|5 cent|7|0.35",       "0|10 cent||0.00", "0|20 cent||0.00",
      "0|50 cent|3|1.50", "0|1 euro||0.00",   "0|2 euro||0.00", "0|2.00 (1)|12|24.00",   "0|2.00 (2)|2|4.00",
      "1|5 euro||0.00",  "1|10 euro|4|40.00", "1|20 euro||0.00",       "1|50 euro|3|150.00", "1|100 euro||0.00",
      "1|200 euro||0.00", "1|500 euro||0.00", "2|Roll 50 x 1 cent||0.00", "2|Roll 50 x 2 cent||0.00",
      "2|Roll 50 x 5 cent||0.00", "2|Roll 40 x 10 cent||0.00", "2|Roll 40 x 20 cent||0.00",
      "2|Roll 40 x 50 cent|3|60.00", "2|Roll 25 x 1 euro||0.00", "2|Roll 25 x 2 euro||0.00"};
  EXPECT_EQ(RowTexts(f), want);
  EXPECT_EQ(SubtotalText(f, cgCoins), "29.85");
  EXPECT_EQ(SubtotalText(f, cgBanknotes), "190.00");
  EXPECT_EQ(SubtotalText(f, cgPackaged), "60.00");
  EXPECT_EQ(f->TotalEdit()->Text(), "279.85");
  Shot(p.form, "count-sheet");
}

}  // namespace
}  // namespace px::test
