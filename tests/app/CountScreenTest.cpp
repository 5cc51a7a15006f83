// The count screen in the real main window, offscreen: sheets from results
// of the simulated scale and from receipts, the edits and totals, finishing
// a counting into the embedded database, its report and CSV.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/Startup.h"
#include "app/UnitCountFrame.h"
#include "app/UnitData.h"
#include "app/UnitDatasets.h"
#include "app/UnitMain.h"
#include "app/UnitMainFormActions.h"
#include "app/UnitSettings.h"
#include "app/UnitSettingsFrame.h"
#include "dbclient/EngineLock.h"
#include "dbclient/IsqlPeer.h"
#include "device/DeviceTestSupport.h"
#include "device/UnitHID.h"
#include "device/scalesim/FakeHidSysfs.h"
#include "device/scalesim/ScaleSimulator.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/StringUtils.h"
#include "platform/serial/SerialTestSupport.h"
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
  // variant: the scale's product id (1 gives no results).
  explicit Program(const std::string& receiptPort = "", Integer variant = 2)
      : scale(variant, 4), tree_(home_.Dir().Path() / "devices") {
    device_.ProductId = static_cast<Word>(variant);
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
  const std::string& LangFile() const { return langFile_; }

  TScaleSimulator scale;
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

// The counting's row of COUNTINGS as isql-fb lists it.
const char* countingQuery =
    "SELECT ID, USERID, \"WHEN\" AS W, VALUTA, CASHDRAWER, COMPANYNAME, TOTALVALUE, "
    "CAST(\"VALUES\" AS VARCHAR(2048) CHARACTER SET OCTETS) AS V FROM COUNTINGS ORDER BY ID;";

// The value of the "NAME value" line of isql's list output.
std::string Field(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& l : lines)
    if (l.rfind(name + " ", 0) == 0) return l.substr(name.size() + 1);
  return "<missing>";
}

// The details stored in hexadecimal, deciphered with RC4 by Python and
// listed by pxtool dataset dump.
std::string DumpDetails(const std::string& hex) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "hex", hex);
  const std::string script =
      "import sys\n"
      "data = bytes.fromhex(open(sys.argv[1]).read().strip())\n"
      "key = b'qjv'\n"
      "S = list(range(256)); j = 0\n"
      "for i in range(256):\n"
      "    j = (j + S[i] + key[i % len(key)]) % 256; S[i], S[j] = S[j], S[i]\n"
      "i = j = 0; out = bytearray()\n"
      "for b in data:\n"
      "    i = (i + 1) % 256; j = (j + S[i]) % 256; S[i], S[j] = S[j], S[i]\n"
      "    out.append(b ^ S[(S[i] + S[j]) % 256])\n"
      "open(sys.argv[2], 'wb').write(bytes(out))\n";
  WriteFileBytes(dir.Path() / "rc4.py", script);
  EXPECT_EQ(RunCommand("/usr/bin/python3 '" + dir.File("rc4.py") + "' '" + dir.File("hex") + "' '" +
                       dir.File("plain") + "'"),
            0);
  std::string out;
  EXPECT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " dataset dump '" + dir.File("plain") + "'", &out), 0);
  return out;
}

// "yyyy-mm-dd hh:nn:ss" as isql-fb shows a timestamp, to the second.
std::string Stamp(TDateTime t) { return FormatDateTime("yyyy-mm-dd hh:nn:ss", t); }

TEST(CountScreen, FinalizeStoresTheCountingShowsItsReportAndExportsIt) {
  Program p;
  const Integer jansen = dmDatabase->AddUser("Jansen");
  dmDatabase->AddUser("Retired");
  dmDatabase->EditUser(dmDatabase->AddUser("Gone"), "Gone", 0);
  Settings->Company = "Bos BV";
  p.SetScale("EUR", euroSlots);
  p.Plug();
  const std::string before = Stamp(Now());
  TfraCount* f = p.ShowCount();
  ASSERT_TRUE(f->Counting());
  EXPECT_EQ(f->edCompany->Text(), "Bos BV");
  // Users of status 1 only, as "%.4d  name".
  ASSERT_EQ(f->edUser->Items().Count(), 2);
  EXPECT_EQ(f->edUser->Items().Get(0), Format("%.4d  Jansen", jansen));
  f->edCashDrawer->SetText("K7");
  f->edUser->SetItemIndex(0);
  EXPECT_EQ(f->UserID(), jansen);
  const std::vector<std::string> sheet = RowTexts(f);

  // The scale back during the counting changes nothing.
  p.scale.SetCount(3, 99);
  p.Plug();
  EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("AlreadyCounting")});
  EXPECT_EQ(RowTexts(f), sheet);
  EXPECT_EQ(f->edCashDrawer->Text(), "K7");
  EXPECT_EQ(f->UserID(), jansen);
  // It holds its result until it is read; a real one leaves after the
  // read-out only. Here it leaves before the finalize, which would start
  // the next counting with a result still waiting.
  p.Unplug();

  ASSERT_TRUE(f->btnFinalize->Enabled());
  f->btnFinalize->Click();
  const std::string after = Stamp(Now());
  EXPECT_FALSE(f->Counting());
  EXPECT_FALSE(f->btnFinalize->Enabled());
  EXPECT_FALSE(f->btnCancel->Enabled());
  EXPECT_TRUE(f->edUser->Locked());
  EXPECT_TRUE(f->edCashDrawer->Locked());
  EXPECT_EQ(f->edID->Text(), "1");
  for (const TCountRow& r : f->Rows()) EXPECT_TRUE(r.CountEdit == nullptr && r.AmountEdit == nullptr);
  TfraPDFViewer* viewer = f->ReportViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->DefaultFileName(), Format("000001 %.4d  Jansen.pdf", jansen));
  EXPECT_EQ(viewer->acSaveReport->Caption(), Translate("PDFSave"));
  EXPECT_EQ(viewer->acSaveReport->Hint(), Translate("PDFSaveHint"));
  EXPECT_EQ(viewer->acPrintReport->Caption(), Translate("PDFPrint"));
  EXPECT_EQ(viewer->acPrintReport->Hint(), Translate("PDFPrintHint"));
  Shot(p.form, "count-report");

  TempDir out;
  p.FileAnswer = [&](TFileDialogRequest& r) {
    r.FileName = out.File(r.FileName.find(".pdf") != std::string::npos ? "report.pdf" : "counting.csv");
    return true;
  };
  viewer->acSaveReport->Execute();
  std::string check;
  EXPECT_EQ(RunCommand("qpdf --check '" + out.File("report.pdf") + "' 2>&1", &check), 0) << check;
  std::string text;
  ASSERT_EQ(RunCommand("pdftotext -layout '" + out.File("report.pdf") + "' - 2>&1", &text), 0);
  for (const char* want : {"K7", "Jansen", "Bos BV", "2.00 (1)", "Roll 40 x 50 cent", "279.85", "24.00"})
    EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;

  std::string csvTitle;
  auto pdfAnswer = p.FileAnswer;
  p.FileAnswer = [&](TFileDialogRequest& r) {
    csvTitle = r.Title;
    return pdfAnswer(r);
  };
  f->acSaveCSV->Execute();
  // The save dialog's title is translated like every text of the screen.
  EXPECT_EQ(csvTitle, "Save as CSV...");
  const std::string csv = ReadFileBytes(out.File("counting.csv"));
  std::vector<std::string> lines;
  for (size_t at = 0; at < csv.size();) {
    const size_t end = csv.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
    lines.push_back(csv.substr(at, end - at));
    at = end + 2;
  }
  EXPECT_EQ(csv.find('\n', 0), csv.find("\r\n") + 1);
  ASSERT_GT(lines.size(), 8u);
  EXPECT_EQ(lines[0], Translate("Drawer") + ";K7");
  EXPECT_EQ(lines[1], Translate("BatchID") + ";1");
  EXPECT_EQ(lines[4], Translate("Company") + ";Bos BV");
  EXPECT_EQ(lines[6], Translate("Currency") + ";EUR");
  EXPECT_EQ(lines[7], ";" + Translate("Description") + ";" + Translate("Count") + ";" + Translate("ValueCredit") +
                          ";" + Translate("ValueDebit"));
  EXPECT_EQ(lines.back(), ";" + Translate("Total") + ";;279.85;");

  const auto rows = p.Isql(countingQuery);
  EXPECT_EQ(Field(rows, "ID"), "1");
  EXPECT_EQ(Field(rows, "USERID"), std::to_string(jansen));
  const std::string when = Field(rows, "W").substr(0, 19);
  EXPECT_LE(before, when);
  EXPECT_LE(when, after);
  EXPECT_EQ(Field(rows, "VALUTA"), "EUR");
  EXPECT_EQ(Field(rows, "CASHDRAWER"), "K7");
  EXPECT_EQ(Field(rows, "COMPANYNAME"), "Bos BV");
  EXPECT_EQ(Field(rows, "TOTALVALUE"), "27985");
  const std::string dump = DumpDetails(Field(rows, "V"));
  for (const char* want : {"0\t5 cent\t7\t0.35", "0\t2.00 (1)\t12\t24", "4\tSubtotal\t0\t29.85", "1\t50 euro\t3\t150",
                           "4\tSubtotal\t0\t190", "2\tRoll 40 x 50 cent\t3\t60", "4\tSubtotal\t0\t60",
                           "5\tTotal\t0\t279.85"})
    EXPECT_NE(dump.find(want), std::string::npos) << want << "\n" << dump;

  // Back after the finalize, the scale's result waits while the report is
  // shown; Next counting starts it, stored only at its own finalize.
  p.boxes.clear();
  p.Plug();
  EXPECT_TRUE(p.boxes.empty());
  EXPECT_FALSE(f->Counting());
  ASSERT_TRUE(f->acNextCounting->Enabled());
  f->acNextCounting->Execute();
  ASSERT_TRUE(f->Counting());
  EXPECT_FALSE(f->acNextCounting->Enabled());
  EXPECT_EQ(f->ReportViewer(), nullptr);
  EXPECT_EQ(f->edID->Text(), "");
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 1"});
  f->edCashDrawer->SetText("K8");
  f->btnFinalize->Click();
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 2"});
  // No employee chosen: stored as -1, the report names the anonymous one;
  // the CSV holds this counting only.
  EXPECT_EQ(Field(p.Isql("SELECT USERID FROM COUNTINGS WHERE ID = 2;"), "USERID"), "-1");
  EXPECT_EQ(f->CSVLines()[0], Translate("Drawer") + ";K8");
  EXPECT_EQ(f->CSVLines()[5], Translate("Employee") + ";" + Translate("Anonymous"));
  EXPECT_EQ(f->CSVLines().Count(), static_cast<Integer>(lines.size()));
}

// After a finalize the report stays: results that arrive meanwhile wait (the
// latest one), a second press of Finalize stores nothing, and only Next
// counting or the Count button starts the waiting result's sheet.
TEST(CountScreen, AResultWaitsWhileTheReportIsShown) {
  Program p;
  auto filler = dynamic_cast<TdmMainFormFiller*>(QVRSystem->GetService<IMainFormFiller>().get());
  p.SetScale("EUR", euroSlots);
  p.Plug();
  TfraCount* f = p.ShowCount();
  ASSERT_TRUE(f->Counting());
  p.Unplug();
  // A double click on Finalize: the first press stores, the second finds
  // the report.
  f->btnFinalize->Click();
  f->btnFinalize->Click();
  ASSERT_NE(f->ReportViewer(), nullptr);
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 1"});
  // The viewer offers Next counting beside its own buttons, disabled while
  // nothing waits.
  bool offered = false;
  for (Integer i = 0; i < f->ReportViewer()->ComponentCount(); ++i)
    if (auto* b = dynamic_cast<TQVRActionButton*>(f->ReportViewer()->Components(i)))
      offered = offered || b->Action() == f->acNextCounting;
  EXPECT_TRUE(offered);
  EXPECT_EQ(f->acNextCounting->Caption(), "Next counting");
  EXPECT_FALSE(f->acNextCounting->Enabled());

  // Two results within a moment: the report stays, the latest waits.
  p.tones.clear();
  p.scale.SetCount(1, 1);
  p.Plug();
  p.Unplug();
  p.scale.SetCount(1, 2);
  p.Plug();
  p.Unplug();
  EXPECT_TRUE(p.boxes.empty());
  // No counting's tone (the status screen greets the scale with its own).
  EXPECT_EQ(std::count(p.tones.begin(), p.tones.end(), std::pair<Cardinal, Cardinal>(1200, 100)), 0);
  EXPECT_FALSE(f->Counting());
  ASSERT_NE(f->ReportViewer(), nullptr);
  EXPECT_TRUE(f->acNextCounting->Enabled());
  EXPECT_TRUE(TfraCount::ResultWaiting());
  f->btnFinalize->Click();
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 1"});

  // The Count button starts it, on a fresh screen.
  filler->acCount->Execute();
  f = p.Count();
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(f->Counting());
  EXPECT_FALSE(TfraCount::ResultWaiting());
  EXPECT_EQ(p.tones.back(), (std::pair<Cardinal, Cardinal>(1200, 100)));
  EXPECT_EQ(f->Rows()[2].Name, "5 cent");
  EXPECT_EQ(f->Rows()[2].Count, 2);
  const std::string total = f->TotalEdit()->Text();
  f->btnFinalize->Click();
  f->btnFinalize->Click();
  const auto rows = p.Isql("SELECT ID, TOTALVALUE FROM COUNTINGS ORDER BY ID;");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3], "TOTALVALUE " + StringReplace(total, ".", "", rfReplaceAll));

  // A receipt waits too, until Next counting.
  f->pnlMainDblClick(nullptr);
  EXPECT_FALSE(f->Counting());
  ASSERT_TRUE(f->acNextCounting->Enabled());
  f->acNextCounting->Execute();
  ASSERT_TRUE(f->Counting());
  EXPECT_EQ(f->edCurrency->Text(), "GBP");
  EXPECT_EQ(f->ReportViewer(), nullptr);
}

// The sheet's vertical scroll bar in a window too low for the sheet: its
// thumb stands at the top while the top is shown, and moving it down scrolls
// the sheet down; a new sheet starts at the top again.
TEST(CountScreen, TheSheetScrollBarFollowsTheSheet) {
  Program p;
  p.form->SetWindowState(wsNormal, 0, 0, 1024, 768);
  TfraCount* f = p.ShowCount();
  QScrollBar* bar = nullptr;
  for (QScrollBar* b : f->pnlCount->Widget()->findChildren<QScrollBar*>())
    if (b->orientation() == Qt::Vertical) bar = b;
  ASSERT_NE(bar, nullptr);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    p.SetScale("EUR", euroSlots);
    p.Plug();
    p.Unplug();
    ASSERT_TRUE(f->Counting());
    Application->ProcessMessages();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(f->pnlCount->VertPosition(), 0);
    EXPECT_EQ(bar->value(), 0);
    // The thumb, at the top, is drawn darker than the rest of the groove
    // below it, so that it reads as the thumb.
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = option.sliderValue = bar->value();
    option.pageStep = bar->pageStep();
    option.singleStep = bar->singleStep();
    option.subControls = QStyle::SC_All;
    const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    const QRect groove = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, bar);
    ASSERT_LT(thumb.bottom() + 4, groove.bottom());
    EXPECT_LT(thumb.top(), groove.top() + 2);
    const QImage image = bar->grab().toImage();
    EXPECT_LT(qGray(image.pixel(thumb.center())), qGray(image.pixel(groove.center().x(), groove.bottom() - 2)) - 20);
    const int top = f->SubtotalEdit(cgCoins)->Top();
    bar->setValue(bar->maximum());
    EXPECT_EQ(f->pnlCount->VertPosition(), bar->maximum());
    EXPECT_EQ(f->SubtotalEdit(cgCoins)->Top(), top - bar->maximum());
    // The next sheet, built while this one is scrolled down.
    p.Answer = mrYes;
    f->btnCancel->Click();
  }
}

// The GBP sheet of the test receipt: every shown GBP denomination, the four
// banknote lines counted.
const std::vector<std::string> gbpSheet = {
    "0|1 penny||0.00",   "0|2 pence||0.00",     "0|5 pence||0.00",      "0|10 pence||0.00",
    "0|20 pence||0.00",  "0|50 pence||0.00",    "0|1 pound||0.00",      "0|2 pounds||0.00",
    "1|5 pounds|4|20.00", "1|10 pounds|5|50.00", "1|20 pounds|5|100.00", "1|50 pounds|5|250.00"};

TEST(CountScreen, ReceiptsThroughAPseudoTerminal) {
  PseudoTerminal pty;
  Program p(pty.SlavePath());
  TfraCount* f = p.ShowCount();
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(f->Counting());
  ASSERT_TRUE(PumpUntil([&] { return f->Capture().Serial().GetActive(); }));
  std::mt19937 rng(33);
  const std::string receipt = CountTestReceipt;
  for (size_t at = 0; at < receipt.size();) {
    const size_t n = std::min<size_t>(1 + rng() % 9, receipt.size() - at);
    pty.Write(receipt.substr(at, n));
    at += n;
    if (rng() % 3 == 0) PumpFor(1);
  }
  ASSERT_TRUE(PumpUntil([&] { return f->Counting(); }));
  EXPECT_TRUE(p.boxes.empty());
  EXPECT_EQ(f->edCurrency->Text(), "GBP");
  EXPECT_EQ(RowTexts(f), gbpSheet);
  EXPECT_EQ(f->TotalEdit()->Text(), "420.00");

  // Another receipt while counting: refused, the sheet stays.
  pty.Write(receipt);
  ASSERT_TRUE(PumpUntil([&] { return !p.boxes.empty(); }));
  EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("AlreadyCounting")});
  EXPECT_EQ(RowTexts(f), gbpSheet);

  // Cancel asks; No keeps the counting, Yes ends it without storing.
  p.boxes.clear();
  p.Answer = mrNo;
  f->btnCancel->Click();
  EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("CancelCountingAYS")});
  EXPECT_TRUE(f->Counting());
  // The box's scroll range covers the sheet; once the sheet is gone nothing
  // is left to scroll (no bars over an empty box in a small window).
  EXPECT_GT(f->pnlCount->VertRange(), 0);
  p.Answer = mrYes;
  f->btnCancel->Click();
  EXPECT_FALSE(f->Counting());
  EXPECT_EQ(f->pnlCount->ControlCount(), 0);
  EXPECT_EQ(f->pnlCount->VertRange(), 0);
  EXPECT_EQ(f->pnlCount->HorzRange(), 0);
  EXPECT_FALSE(f->btnFinalize->Enabled());
  // Nothing of the cancelled counting is left in the top fields.
  for (TQVREdit* e : {f->edDate, f->edTime, f->edCurrency, f->edCashDrawer}) EXPECT_EQ(e->Text(), "") << e->Name();

  // The title's double click feeds the same receipt.
  f->pnlMainDblClick(nullptr);
  EXPECT_TRUE(f->Counting());
  EXPECT_EQ(RowTexts(f), gbpSheet);
  f->btnCancel->Click();
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 0"});

  struct {
    const char* title;
    std::string text;
    std::string message;
  } const bad[] = {
      {"two currencies", "DENO\r\n----\r\nGBP 5 1 5\r\nEUR 10 1 10\r\n----\r\n2 15\r\n",
       Translate("MixedCurrenciesNotSupported")},
      {"a line whose value is not count x value per piece", "DENO\r\n----\r\nGBP 5 4 21\r\n----\r\n4 21\r\n",
       Translate("ErrorRecievingResult")},
      {"totals that do not add up", "DENO\r\n----\r\nGBP 5 4 20\r\n----\r\n5 20\r\n",
       Translate("ErrorRecievingResult")},
      {"a name without a currency", "DENO\r\n----\r\nP1 5 4 20\r\n----\r\n4 20\r\n", Translate("ErrorRecievingResult")},
      {"a value per piece of 0", "DENO\r\n----\r\nGBP 0 4 0\r\n----\r\n4 0\r\n", Translate("ErrorRecievingResult")},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.title);
    p.boxes.clear();
    pty.Write(b.text);
    ASSERT_TRUE(PumpUntil([&] { return !p.boxes.empty(); }));
    PumpFor(50);
    // One message per bad receipt.
    EXPECT_EQ(p.boxes, std::vector<std::string>{b.message});
    EXPECT_FALSE(f->Counting());
    EXPECT_EQ(f->pnlCount->ControlCount(), 0);
  }
}

// A receipt does not tell coins from banknotes: a value the currency has as
// a coin only goes on its coin row, the others on banknote rows.
TEST(CountScreen, ReceiptCoinsGoOnCoinRows) {
  Program p;
  TfraCount* f = p.ShowCount();
  f->Capture().FeedText("DENO\r\n----\r\nEURO 1 3 3\r\nEURO 2 4 8\r\nEURO 5 2 10\r\n----\r\n9 21\r\n");
  ASSERT_TRUE(f->Counting()) << (p.boxes.empty() ? "" : p.boxes[0]);
  const std::vector<std::string> rows = RowTexts(f);
  for (const char* want : {"0|1 euro|3|3.00", "0|2 euro|4|8.00", "1|5 euro|2|10.00"})
    EXPECT_NE(std::find(rows.begin(), rows.end(), want), rows.end()) << want;
  // No banknote row for the coins' values.
  for (const std::string& r : rows) EXPECT_TRUE(r.rfind("1|1.00", 0) != 0 && r.rfind("1|2.00", 0) != 0) << r;
  EXPECT_EQ(SubtotalText(f, cgCoins), "11.00");
  EXPECT_EQ(SubtotalText(f, cgBanknotes), "10.00");
  EXPECT_EQ(f->TotalEdit()->Text(), "21.00");
}

// Tab passes the boxes that cannot be typed in by: from the drawer to the
// employee, Cancel and Finalize, then the counts that can be typed; never a
// locked top field, a locked count of the scale or an amount that follows.
TEST(CountScreen, TabSkipsLockedAndReadOnlyBoxes) {
  Program p;
  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);  // banknote counts locked, coin counts open
  ASSERT_TRUE(f->Counting());
  std::vector<TWinControl*> visited;
  TWinControl* c = f->edCashDrawer;
  for (int i = 0; i < 40; ++i) {
    c = p.form->FindNextControl(c, true, true);
    ASSERT_NE(c, nullptr);
    visited.push_back(c);
  }
  ASSERT_GE(visited.size(), 4u);
  EXPECT_EQ(visited[0], f->edUser);
  EXPECT_EQ(visited[1], f->btnCancel);
  EXPECT_EQ(visited[2], f->btnFinalize);
  EXPECT_EQ(visited[3], f->Rows()[0].CountEdit);
  for (TWinControl* v : visited)
    if (auto* e = dynamic_cast<TCustomQVREdit*>(v)) EXPECT_FALSE(e->ReadOnly()) << e->Name() << " " << e->Text();
}

TEST(CountScreen, LeavingIsRefusedOnlyWhileCounting) {
  Program p;
  TfraCount* f = p.ShowCount();
  auto filler = QVRSystem->GetService<IMainFormFiller>();
  f->pnlMainDblClick(nullptr);
  ASSERT_TRUE(f->Counting());
  p.beeps = 0;
  EXPECT_EQ(filler->ShowFrame(2), nullptr);
  EXPECT_EQ(p.Count(), f);
  EXPECT_EQ(p.beeps, 1);
  EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("StillCounting")});
  // Nor does the window close, by its close button or File > Exit.
  auto filler2 = dynamic_cast<TdmMainFormFiller*>(filler.get());
  for (const auto& close : std::vector<std::function<void()>>{[&] { p.form->Close(); },
                                                               [&] { filler2->acExit->Execute(); }}) {
    p.boxes.clear();
    close();
    EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("StillCounting")});
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(p.form->Visible());
    EXPECT_EQ(p.Count(), f);
    EXPECT_TRUE(f->Counting());
  }
  EXPECT_EQ(p.beeps, 3);
  // After a cancel it may go; after a finalize as well.
  p.Answer = mrYes;
  f->btnCancel->Click();
  EXPECT_NE(filler->ShowFrame(2), nullptr);
  f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  f->btnFinalize->Click();
  EXPECT_NE(filler->ShowFrame(2), nullptr);
  EXPECT_EQ(p.Count(), nullptr);
}

TEST(CountScreen, EditsUpdateSubtotalsAndTotal) {
  Program p;
  Settings->InitialDrawer = 100;
  Program::SetDenominations({{"GBP", 0, 50, 0, "50 pence"}, {"GBP", 11, 0, 0, "Cheques"}});
  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  auto row = [&](const std::string& name) -> const TCountRow& {
    for (const TCountRow& r : f->Rows())
      if (r.Name == name) return r;
    throw Exception("no row " + name);
  };
  EXPECT_EQ(f->TotalEdit()->Text(), "320.00");
  // Counts: a number, then text that is none (0).
  struct {
    std::string text, amount, coins, total;
  } const counts[] = {{"7", "3.50", "3.50", "323.50"}, {"x1", "0.00", "0.00", "320.00"}, {"", "0.00", "0.00", "320.00"},
                      {"3000", "1,500.00", "1,500.00", "1,820.00"}};
  for (const auto& c : counts) {
    SCOPED_TRACE(c.text);
    row("50 pence").CountEdit->SetText(c.text);
    EXPECT_EQ(row("50 pence").AmountEdit->Text(), c.amount);
    EXPECT_EQ(f->SubtotalEdit(cgCoins)->Text(), c.coins);
    EXPECT_EQ(f->TotalEdit()->Text(), c.total);
  }
  row("50 pence").CountEdit->SetText("");
  // Free amounts: credit adds, the initial cash (debit) subtracts.
  row("Cheques").AmountEdit->SetText("12.34");
  EXPECT_EQ(f->SubtotalEdit(cgOthers)->Text(), "-87.66");
  EXPECT_EQ(f->TotalEdit()->Text(), "332.34");
  row(Translate("InitialCash")).AmountEdit->SetText("50");
  EXPECT_EQ(f->TotalEdit()->Text(), "382.34");
  row(Translate("InitialCash")).AmountEdit->SetText("fifty");
  EXPECT_EQ(f->TotalEdit()->Text(), "432.34");
  EXPECT_EQ(f->GrandTotal(), StrToCurr("432.34", DefaultFormatSettings()));
}

TEST(CountScreen, AFailedStoreKeepsTheSheet) {
  Program p;
  Settings->Company = std::string(81, 'c');  // longer than its column
  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  const auto sheet = RowTexts(f);
  EXPECT_THROW(f->btnFinalize->Click(), Exception);
  EXPECT_TRUE(f->Counting());
  EXPECT_TRUE(f->btnFinalize->Enabled());
  EXPECT_EQ(RowTexts(f), sheet);
  EXPECT_EQ(f->ReportViewer(), nullptr);
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 0"});
}

// Another desk deletes the employee this sheet has chosen: Finalize says so,
// the list is read anew without her, and the counting stays on the sheet
// until it is finalized for someone else.
TEST(CountScreen, AnEmployeeDeletedMeanwhileIsReadAnewAndTheSheetStays) {
  Program p;
  const Integer mara = dmDatabase->AddUser("Mara");
  dmDatabase->AddUser("Joost");
  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  ASSERT_EQ(2, f->edUser->Items().Count());
  f->edUser->SetItemIndex(0);
  f->edChange(nullptr);
  const auto sheet = RowTexts(f);
  dmDatabase->DeleteUser(mara);  // as another desk would
  p.boxes.clear();
  f->btnFinalize->Click();
  ASSERT_EQ(1u, p.boxes.size());
  EXPECT_NE(std::string::npos, p.boxes[0].find("no longer exists")) << p.boxes[0];
  EXPECT_TRUE(f->Counting());
  EXPECT_EQ(RowTexts(f), sheet);
  ASSERT_EQ(1, f->edUser->Items().Count());
  EXPECT_EQ("0002  Joost", f->edUser->Items().Get(0));
  EXPECT_EQ(-1, f->edUser->ItemIndex());
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 0"});
  f->edUser->SetItemIndex(0);
  f->edChange(nullptr);
  f->btnFinalize->Click();
  EXPECT_FALSE(f->Counting());
  EXPECT_EQ(p.Isql("SELECT USERID FROM COUNTINGS;"), std::vector<std::string>{"USERID 2"});
}

// The company typed in the settings and the drawer typed on the sheet go
// with every counting: the settings take no longer company name than a
// counting can store, and neither takes characters that single-byte text
// cannot hold (they are named, and nothing is stored).
TEST(CountScreen, TheCompanyAndDrawerTypedAreStoredWithTheCounting) {
  Program p;
  IQVRLink* link = QVRSystem->GetService<IMainFormFiller>()->ShowFrame(3);
  ASSERT_NE(link, nullptr);
  auto* settings = dynamic_cast<TfraSettings*>(link->GetComponent());
  ASSERT_NE(settings, nullptr);
  settings->edCompanyName->SetText("Caf\u00e9 \u0391\u03b8\u03ae\u03bd\u03b1");
  settings->btnSaveSettingsClick(nullptr);
  EXPECT_EQ(p.boxes, std::vector<std::string>{"These characters cannot be stored: \u0391 \u03b8 \u03ae \u03bd \u03b1"});
  EXPECT_EQ(Settings->Company, "");
  settings->edCompanyName->SetText(std::string(100, 'c'));
  settings->btnSaveSettingsClick(nullptr);
  EXPECT_EQ(Settings->Company, std::string(80, 'c'));

  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  p.boxes.clear();
  f->edCashDrawer->SetText("\u041a\u0430\u0441\u0441\u0430 1");
  f->btnFinalize->Click();
  EXPECT_EQ(p.boxes, std::vector<std::string>{"These characters cannot be stored: \u041a \u0430 \u0441"});
  EXPECT_TRUE(f->Counting());
  f->edCashDrawer->SetText("Kasse \u00c4");
  f->btnFinalize->Click();
  EXPECT_FALSE(f->Counting());
  EXPECT_EQ(p.Isql("SELECT CHAR_LENGTH(COMPANYNAME) AS N, CASHDRAWER FROM COUNTINGS;"),
            (std::vector<std::string>{"N 80", "CASHDRAWER Kasse \xC4"}));  // isql gives the stored bytes
}

// The category bar highlights the button of the screen shown: at the start,
// after a click, and after a refused switch, when the sheet stays.
TEST(CountScreen, TheCategoryBarHighlightsTheScreenShown) {
  Program p;
  TCategoryButtons* bar = p.form->cbMain;
  auto* actions = dynamic_cast<TdmMainFormFiller*>(QVRSystem->GetService<IMainFormFiller>().get());
  ASSERT_NE(actions, nullptr);
  auto highlighted = [&]() -> const TBasicAction* {
    return bar->SelectedItem() ? bar->SelectedItem()->Action() : nullptr;
  };
  auto click = [&](TAction* action) {
    const TRect r = bar->ButtonRect(p.form->CategoryButtonOf(action));
    const QPoint at((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, at, bar->Widget()->mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(bar->Widget(), &e);
    }
  };
  EXPECT_EQ(highlighted(), actions->acSettings);
  click(actions->acCount);
  TfraCount* f = p.Count();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(highlighted(), actions->acCount);
  f->pnlMainDblClick(nullptr);
  ASSERT_TRUE(f->Counting());
  click(actions->acInformation);
  EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("StillCounting")});
  EXPECT_EQ(p.Count(), f);
  EXPECT_EQ(highlighted(), actions->acCount);
  p.Answer = mrYes;
  f->btnCancel->Click();
  click(actions->acInformation);
  EXPECT_EQ(p.Count(), nullptr);
  EXPECT_EQ(highlighted(), actions->acInformation);
}

// A company name longer than its field shows its start, as it is read.
TEST(CountScreen, TheCompanyFieldShowsTheStartOfALongName) {
  Program p;
  Settings->Company = "Corner Shop of the Old Market Square and the Harbour Front, Branch 12";
  TfraCount* f = p.ShowCount();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->edCompany->Text(), Settings->Company);
  EXPECT_EQ(f->edCompany->SelStart(), 0);
}

TEST(CountScreen, AReportFailureAfterStoringClosesTheCounting) {
  Program p;
  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  dmDatabase->QGetCounting->SetSQLText("SELECT * FROM NO_SUCH_TABLE WHERE ID = ?");
  EXPECT_THROW(f->btnFinalize->Click(), Exception);
  EXPECT_FALSE(f->Counting());
  EXPECT_FALSE(f->btnFinalize->Enabled());
  EXPECT_FALSE(f->btnCancel->Enabled());
  for (const TCountRow& r : f->Rows()) EXPECT_TRUE(r.CountEdit == nullptr && r.AmountEdit == nullptr);
  f->btnFinalizeClick(nullptr);
  EXPECT_EQ(p.Isql("SELECT COUNT(*) AS N FROM COUNTINGS;"), std::vector<std::string>{"N 1"});
}

TEST(CountScreen, AppTreeShowsTheSheetOfAFedReceipt) {
  FreshHome home;
  TempDir dir;
  WriteFileBytes(dir.Path() / "receipt.txt", CountTestReceipt);
  std::string tree;
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree --frame 5 --feed-receipt '" + dir.File("receipt.txt") +
                           "' 2>&1",
                       &tree),
            0)
      << tree;
  for (const char* want : {"edCurrency\tTQVREdit\t368,16,47,21\t", "\t1\t1\tGBP\n", "\t50 pounds\n", "\t250.00\n",
                           "\t420.00\n", "btnFinalize\tTButton\t447,53,75,25\t"})
    EXPECT_NE(tree.find(want), std::string::npos) << want;
  std::string out;
  EXPECT_NE(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree --frame 2 --feed-receipt '" + dir.File("receipt.txt") +
                           "' 2>&1",
                       &out),
            0);
  EXPECT_NE(out.find("--feed-receipt needs the count screen"), std::string::npos) << out;
}

// Every state of the screen looks up only keys the translation file has:
// in record mode a missing key would be added to the file.
TEST(CountScreen, RecordModeAddsNoKey) {
  setenv("PX_TRANSLATION_RECORD", "1", 1);
  {
    Program p;
    ASSERT_TRUE(Translations->RecordMode());
    const std::string before = ReadFileBytes(p.LangFile());
    Settings->InitialDrawer = 10;
    Program::SetDenominations({{"GBP", 0, 100, 0, "1 pound", 1, 20},
                               {"GBP", 0, 200, 0, "", 2, 10},
                               {"GBP", 1, 500, 0, "5 pounds", 3, 50},
                               {"GBP", 1, 500, 0, "5 pounds (new)", 3, 50},
                               {"GBP", 4, 0, 0, "Costs"}});
    TfraCount* f = p.ShowCount();
    f->pnlMainDblClick(nullptr);                             // the sheet
    f->pnlMainDblClick(nullptr);                             // already counting
    QVRSystem->GetService<IMainFormFiller>()->ShowFrame(2);  // still counting
    p.Answer = mrYes;
    f->btnCancel->Click();
    f->Capture().FeedText("DENO\r\n----\r\nGBP 5 1 5\r\nEUR 10 1 10\r\n----\r\n2 15\r\n");
    f->Capture().FeedText("DENO\r\n----\r\nGBP 5 1 6\r\n----\r\n1 6\r\n");
    f->pnlMainDblClick(nullptr);
    f->btnFinalize->Click();  // the report
    // A scale whose current currency stands in none of its tables cannot
    // hand over a result.
    p.SetScale("EUR", {{100, 0, 0, 0, 1}});
    p.scale.SetCurrentCode("GBP");
    p.Plug();
    EXPECT_EQ(p.boxes.back(), Translate("CommunicationFailed"));
    for (const char* key : {"AlreadyCounting", "StillCounting", "CancelCountingAYS", "MixedCurrenciesNotSupported",
                            "ErrorRecievingResult"})
      EXPECT_NE(std::find(p.boxes.begin(), p.boxes.end(), Translate(key)), p.boxes.end()) << key;
    EXPECT_EQ(ReadFileBytes(p.LangFile()), before);
  }
  {
    // A scale of the first variant gives no results.
    Program p("", 1);
    const std::string before = ReadFileBytes(p.LangFile());
    p.Plug();
    p.ShowCount();
    EXPECT_EQ(p.boxes, std::vector<std::string>{Translate("NoCounting")});
    EXPECT_EQ(ReadFileBytes(p.LangFile()), before);
  }
  unsetenv("PX_TRANSLATION_RECORD");
}

// The employee's text names the report file; a slash in it would make the
// name a path.
TEST(CountScreen, TheReportFileNameHoldsNoPathSeparator) {
  Program p;
  const Integer id = dmDatabase->AddUser("Bos/Jansen");
  TfraCount* f = p.ShowCount();
  f->pnlMainDblClick(nullptr);
  f->edUser->SetItemIndex(0);
  f->btnFinalize->Click();
  ASSERT_NE(f->ReportViewer(), nullptr);
  EXPECT_EQ(f->ReportViewer()->DefaultFileName(), Format("000001 %.4d  Bos_Jansen.pdf", id));
}

}  // namespace
}  // namespace px::test
