// The history screen in the real main window: its periods checked against
// Python's datetime, its filter and texts over countings written by isql-fb,
// the 350 ms refresh, and the reports of selected countings checked with
// qpdf, pdftotext and pxtool.
#include <gtest/gtest.h>

#include <sstream>

#include "CountingFixtures.h"
#include "ScreensFixture.h"
#include "app/UnitHistoryFrame.h"
#include "platform/core/CodePages.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"

namespace px::test {
namespace {

std::string dateText(TDateTime t) {
  Word y = 0, m = 0, d = 0;
  DecodeDate(t, y, m, d);
  return Format("%.4d-%.2d-%.2d", y, m, d);
}

// Every period from a few days, as "today start end" lines, against the
// same rules written with Python's datetime: a Sunday finds the Monday six
// days before, a Monday itself; 15 January's last month is December.
TEST(HistoryPeriods, MatchPythonsCalendar) {
  const std::vector<std::string> days = {"2026-05-03", "2026-05-04", "2026-01-15", "2024-02-29",
                                         "2024-12-31", "2027-01-01", "1900-01-01"};
  std::string ours;
  for (const std::string& day : days) {
    const TDateTime today = EncodeDate(static_cast<Word>(std::stoi(day.substr(0, 4))),
                                       static_cast<Word>(std::stoi(day.substr(5, 2))),
                                       static_cast<Word>(std::stoi(day.substr(8, 2))));
    for (Integer p = 0; p < HistoryPeriodCount; ++p) {
      TDateTime start = -1, end = -1;
      HistoryPeriodSpan(p, today, start, end);
      ours += day + " " + HistoryPeriodKeys[p] + " " + dateText(start) + " " + dateText(end) + "\n";
    }
  }
  TempDir dir;
  std::string script = R"(from datetime import date, timedelta
def month(d, n):
    i = d.year * 12 + d.month - 1 + n
    return date(i // 12, i % 12 + 1, 1)
for text in ")";
  for (const std::string& day : days) script += day + " ";
  script += R"(".split():
    t = date.fromisoformat(text)
    mon = t - timedelta(days=t.weekday())
    lastmon = (t - timedelta(days=7)) - timedelta(days=(t - timedelta(days=7)).weekday())
    spans = [("PeriodToday", t, t + timedelta(1)), ("PeriodYesterday", t - timedelta(1), t),
             ("PeriodThisWeek", mon, mon + timedelta(7)), ("PeriodLastWeek", lastmon, lastmon + timedelta(7)),
             ("PeriodThisMonth", month(t, 0), month(t, 1)), ("PeriodLastMonth", month(t, -1), month(t, 0)),
             ("PeriodThisYear", date(t.year, 1, 1), date(t.year + 1, 1, 1)),
             ("PeriodLastYear", date(t.year - 1, 1, 1), date(t.year, 1, 1)),
             ("PeriodEverything", date(1899, 12, 30), date(1899, 12, 30) + timedelta(999999))]
    for key, s, e in spans:
        print(text, key, s.isoformat(), e.isoformat())
)";
  WriteFileBytes(dir.File("periods.py"), script);
  std::string python;
  ASSERT_EQ(RunCommand("/usr/bin/python3 '" + dir.File("periods.py") + "'", &python), 0) << python;
  EXPECT_EQ(ours, python);
  EXPECT_NE(ours.find("2026-05-03 PeriodThisWeek 2026-04-27 2026-05-04"), std::string::npos);
  EXPECT_NE(ours.find("2026-05-04 PeriodThisWeek 2026-05-04 2026-05-11"), std::string::npos);
  EXPECT_NE(ours.find("2026-01-15 PeriodLastMonth 2025-12-01 2026-01-01"), std::string::npos);
}

// A program on Sunday 3 May 2026, 10:00, with Jan and countings that isql-fb
// stored: anonymous at today's 00:00, Jan's today, one at tomorrow's 00:00,
// one of an employee no longer in the database yesterday, Jan's last month.
class HistoryScreen : public testing::Test {
 protected:
  void SetUp() override {
    oldClock = SetClockHook([] { return EncodeDateTime(2026, 5, 3, 10, 0, 0, 0); });
    p = std::make_unique<ScreensProgram>();
    jan = dmDatabase->AddUser("Jan");
    const std::string out = p->Isql(R"(
ALTER TABLE COUNTINGS DROP CONSTRAINT FK_COUNTINGS_1;
COMMIT;
SELECT ID FROM ADDCOUNTING(-1, '2026-05-03 00:00:00', 'x', 'EUR', 'D1', 'Firm', 123456);
SELECT ID FROM ADDCOUNTING(1, '2026-05-03 09:30:00', 'x', 'EUR', 'D2', 'Firm', 500);
SELECT ID FROM ADDCOUNTING(1, '2026-05-04 00:00:00', 'x', 'EUR', 'D3', 'Firm', 1);
SELECT ID FROM ADDCOUNTING(99, '2026-05-02 12:00:00', 'x', 'USD', 'D4', 'Firm', 2);
SELECT ID FROM ADDCOUNTING(1, '2026-04-15 08:00:00', 'x', 'EUR', 'D5', 'Firm', 3);
COMMIT;
)");
    ASSERT_EQ(ListLines(out), (std::vector<std::string>{"ID 1", "ID 2", "ID 3", "ID 4", "ID 5"})) << out;
  }
  void TearDown() override {
    p.reset();
    SetClockHook(oldClock);
  }
  TfraHistory* show() {
    TfraHistory* h = p->Show<TfraHistory>(6);
    refreshes = 0;
    TNotifyEvent timer = h->tmrRefresh->OnTimer;
    h->tmrRefresh->OnTimer = [this, timer](TObject* s) {
      ++refreshes;
      timer(s);
    };
    settle(h);
    return h;
  }
  // Waits for the pending refresh by processing events.
  void settle(TfraHistory* h) {
    ASSERT_TRUE(ScreensProgram::PumpUntil([h] { return !h->tmrRefresh->Enabled(); }));
  }
  static std::vector<std::string> rows(TfraHistory* h) {
    std::vector<std::string> out;
    TDataSetList& g = *h->lstHistory;
    for (PNTNode n = g.GetFirst(); n; n = g.GetNextSibling(n)) {
      std::string row;
      for (TColumnIndex c : {0, 1, 4, 6}) row += (c ? "|" : "") + UnicodeToUtf8(g.Text(n, c));
      out.push_back(row);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  TClockHook oldClock;
  std::unique_ptr<ScreensProgram> p;
  Integer jan = 0;
  int refreshes = 0;
};

TEST_F(HistoryScreen, FiltersByEmployeeAndPeriodWithTheirTexts) {
  TfraHistory* h = show();
  EXPECT_EQ(h->edUser->Items().Get(0), "Everybody");
  EXPECT_EQ(h->edUser->ItemIndex(), -1);
  EXPECT_EQ(h->cbFixedPeriod->Items().Count(), 9);
  EXPECT_EQ(UnicodeToUtf8(h->lstHistory->Header().Columns().Items(2)->Text()), "Date and time");
  EXPECT_EQ(h->View()->GetColumn(2)->Flags, 64u);
  EXPECT_EQ(h->View()->GetColumn(5)->Flags, 1u);
  // Today takes the counting at its 00:00 and leaves tomorrow's 00:00 out.
  EXPECT_EQ(rows(h), (std::vector<std::string>{"1|Anonymous|D1|1234.56", "2|0001 Jan|D2|5.00"}));

  struct Case {
    Integer user;  // item of edUser
    Integer period;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {1, hpToday, {"2|0001 Jan|D2|5.00"}},  // no employee entry selects the anonymous ones
      {0, hpYesterday, {"4|Unknown employee|D4|0.02"}},
      {0, hpThisMonth,
       {"1|Anonymous|D1|1234.56", "2|0001 Jan|D2|5.00", "3|0001 Jan|D3|0.01", "4|Unknown employee|D4|0.02"}},
      {1, hpLastMonth, {"5|0001 Jan|D5|0.03"}},
      {0, hpThisWeek, {"1|Anonymous|D1|1234.56", "2|0001 Jan|D2|5.00", "4|Unknown employee|D4|0.02"}},
      {0, hpEverything,
       {"1|Anonymous|D1|1234.56", "2|0001 Jan|D2|5.00", "3|0001 Jan|D3|0.01", "4|Unknown employee|D4|0.02",
        "5|0001 Jan|D5|0.03"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(HistoryPeriodKeys[c.period]);
    h->edUser->SetItemIndex(c.user);
    h->cbFixedPeriod->SetItemIndex(c.period);
    settle(h);
    EXPECT_EQ(rows(h), c.expected);
  }

  // The pickers' days at 00:00: 3 to 3 May is empty, 3 to 4 May that day.
  h->edUser->SetItemIndex(0);
  h->rbDateTimeSpan->SetChecked(true);
  EXPECT_FALSE(h->cbFixedPeriod->Enabled());
  EXPECT_TRUE(h->dtpFrom->Enabled());
  h->dtpFrom->SetDateTime(EncodeDateTime(2026, 5, 3, 15, 0, 0, 0));
  h->dtPTo->SetDateTime(EncodeDateTime(2026, 5, 3, 23, 0, 0, 0));
  settle(h);
  EXPECT_EQ(rows(h), std::vector<std::string>{});
  h->dtPTo->SetDate(EncodeDate(2026, 5, 4));
  settle(h);
  EXPECT_EQ(rows(h), (std::vector<std::string>{"1|Anonymous|D1|1234.56", "2|0001 Jan|D2|5.00"}));
}

// The employee list opens as wide as its longest entry and up to sixteen
// rows high: no sideways scroll bar, no row hidden behind one.
TEST_F(HistoryScreen, TheEmployeeListShowsWholeNames) {
  for (int i = 0; i < 11; ++i) dmDatabase->AddUser("Maximiliane Theodora von Hohenberg-Schillingsfuerst " + std::to_string(i));
  TfraHistory* h = show();
  ASSERT_EQ(h->edUser->Items().Count(), 13);  // everybody, Jan and the eleven
  h->edUser->DropDown(true);
  ASSERT_TRUE(h->edUser->DroppedDown());
  TCustomListBox* list = h->edUser->List();
  ASSERT_NE(list, nullptr);
  TBitmap scratch(1, 1);
  scratch.Canvas().Font().Assign(h->edUser->Font());
  const int32_t widest = scratch.Canvas().TextWidth(h->edUser->Items().Get(12));
  EXPECT_GT(widest, h->edUser->Width());
  EXPECT_GE(list->ClientWidth(), widest + 16);
  EXPECT_GE(list->ClientHeight(), 13 * h->edUser->ClientHeight());
  h->edUser->CloseUp(false);
}

// Five quick changes postpone one refresh; a counting stored after the screen
// was made (by another desk on the same database) shows at the next change of
// a filter, named by an employee added meanwhile too.
TEST_F(HistoryScreen, RefreshesOnceAfterTheLastChangeAndReadsTheCountingsAnew) {
  TfraHistory* h = show();
  EXPECT_EQ(refreshes, 1);
  for (Integer period : {hpEverything, hpYesterday, hpThisYear, hpLastWeek, hpToday}) h->cbFixedPeriod->SetItemIndex(period);
  EXPECT_TRUE(h->tmrRefresh->Enabled());
  EXPECT_EQ(refreshes, 1);
  settle(h);
  EXPECT_EQ(refreshes, 2);
  // Nothing else is pending: events for well over another interval bring no refresh.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
  ScreensProgram::PumpUntil([&] { return std::chrono::steady_clock::now() > until; });
  EXPECT_EQ(refreshes, 2);

  const Integer els = dmDatabase->AddUser("Els");
  dmDatabase->AddCounting(els, EncodeDateTime(2026, 5, 3, 9, 45, 0, 0), "x", "EUR", "D6", "Firm", Currency());
  EXPECT_EQ(rows(h).size(), 2u);  // nothing changed on the screen yet
  h->cbFixedPeriod->SetItemIndex(hpYesterday);
  h->cbFixedPeriod->SetItemIndex(hpToday);
  settle(h);
  EXPECT_EQ(refreshes, 3);
  EXPECT_EQ(rows(h), (std::vector<std::string>{"1|Anonymous|D1|1234.56", "2|0001 Jan|D2|5.00", "6|0002 Els|D6|0.00"}));
  // The employee filter reads anew as well.
  dmDatabase->AddCounting(jan, EncodeDateTime(2026, 5, 3, 9, 50, 0, 0), "x", "EUR", "D7", "Firm", Currency());
  h->edUser->SetItemIndex(1);
  settle(h);
  EXPECT_EQ(rows(h), (std::vector<std::string>{"2|0001 Jan|D2|5.00", "7|0001 Jan|D7|0.00"}));
}

// A counting whose details cannot be read shows the reader's error through
// the application and leaves the list as it was: the next row still works.
TEST_F(HistoryScreen, ADamagedCountingShowsItsErrorAndTheListStaysUsable) {
  const Integer good = dmDatabase->AddCounting(
      jan, EncodeDateTime(2026, 5, 3, 8, 0, 0, 0), CountingDetails({{0, "2 Euro", 3, "6"}}), "EUR", "D7", "Firm",
      StrToCurr("6", DefaultFormatSettings()));
  TfraHistory* h = show();
  h->lstHistory->FocusRecordByKey(good);
  ASSERT_TRUE(ScreensProgram::PumpUntil([&] { return h->Viewer()->ShownStream() != nullptr; }));
  // Selecting runs the report at once; what it raises goes on to whoever
  // selected (a click's handler hands it to the application).
  EXPECT_THROW(
      {
        h->lstHistory->FocusRecordByKey(2);
        ScreensProgram::PumpUntil([&] { return h->Viewer()->ShownStream() == nullptr; });
      },
      Exception);
  EXPECT_EQ(h->Viewer()->ShownStream(), nullptr);
  EXPECT_EQ(h->CSV().Count(), 0);
  EXPECT_EQ(rows(h).size(), 3u);
  h->lstHistory->FocusRecordByKey(good);
  ASSERT_TRUE(ScreensProgram::PumpUntil([&] { return h->Viewer()->ShownStream() != nullptr; }));
  EXPECT_GT(h->CSV().Count(), 0);
}

// Each selected counting's report goes into the viewer under the name of its
// number and row; saved through the viewer it passes qpdf and names its
// batch; the saved CSV is pxtool's for that counting. A "/" in a name does
// not make the file name a path. Fast switching frees every report.
TEST_F(HistoryScreen, ShowsAndSavesTheReportOfTheSelectedCounting) {
  const Integer slash = dmDatabase->AddUser("A/B");
  const std::string details = CountingDetails({{0, "2 Euro", 3, "6"}, {1, "5 Euro", 2, "10"}});
  const Integer first = dmDatabase->AddCounting(jan, EncodeDateTime(2026, 5, 3, 8, 0, 0, 0), details, "EUR", "D7",
                                                "Firm", StrToCurr("16", DefaultFormatSettings()));
  const Integer second = dmDatabase->AddCounting(slash, EncodeDateTime(2026, 5, 3, 8, 30, 0, 0), details, "EUR",
                                                 "D8", "Firm", StrToCurr("16", DefaultFormatSettings()));
  TfraHistory* h = show();
  h->lstHistory->SetClickDelay(0);
  for (int round = 0; round < 6; ++round) {
    h->lstHistory->FocusRecordByKey(round % 2 ? first : second);
    Application->ProcessMessages();
  }
  h->lstHistory->FocusRecordByKey(second);
  ASSERT_TRUE(ScreensProgram::PumpUntil([&] { return h->Viewer()->DefaultFileName() == Format("%.4d %.4d A_B.pdf", second, slash); }))
      << h->Viewer()->DefaultFileName();
  h->lstHistory->FocusRecordByKey(first);
  const std::string name = Format("%.4d %.4d Jan.pdf", first, jan);
  ASSERT_TRUE(ScreensProgram::PumpUntil([&] { return h->Viewer()->DefaultFileName() == name; }));
  EXPECT_TRUE(p->boxes.empty());
  ScreensProgram::PumpUntil([] { return false; });  // let the viewer paint (gives up after its bound)
  p->Shot("history-report");

  TempDir out;
  std::string proposed;
  TFileDialogHook old = SetFileDialogHook([&](TFileDialogRequest& r) {
    proposed = r.FileName;
    r.FileName = out.File(r.FileName.find(".pdf") != std::string::npos ? "report.pdf" : "list.csv");
    return true;
  });
  h->Viewer()->acSaveReport->Execute();
  EXPECT_EQ(proposed, name);
  h->acSaveCSV->Execute();
  SetFileDialogHook(old);

  std::string text;
  EXPECT_EQ(RunCommand("qpdf --check '" + out.File("report.pdf") + "' 2>&1", &text), 0) << text;
  ASSERT_EQ(RunCommand("pdftotext -layout '" + out.File("report.pdf") + "' - 2>&1", &text), 0) << text;
  EXPECT_NE(text.find(IntToStr(first)), std::string::npos) << text;
  EXPECT_NE(text.find("2 Euro"), std::string::npos) << text;

  dmDatabase->DB->SetConnected(false);
  std::string tool;
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " counting report --lang '" PX_APP_DATA_DIR "/Pondarix7350.lang' '" + p->DatabaseFile() + "' " +
                           IntToStr(first) + " '" + out.File("tool.pdf") + "' '" + out.File("tool.csv") + "' 2>&1",
                       &tool),
            0)
      << tool;
  EXPECT_EQ(ReadFileBytes(out.File("list.csv")), ReadFileBytes(out.File("tool.csv")));
}


// pxtool app tree --frame 6 prints the list after the screen's first
// refresh: today's counting (by the real clock) and not last month's.
TEST(HistoryScreenTool, AppTreeShowsTheFilteredList) {
  ScreensProgram p;
  const std::string out = p.Isql(R"(
SELECT ID FROM ADDCOUNTING(-1, CURRENT_TIMESTAMP, 'x', 'EUR', 'DTODAY', 'Firm', 1);
SELECT ID FROM ADDCOUNTING(-1, CURRENT_TIMESTAMP - 40, 'x', 'EUR', 'DOLD', 'Firm', 1);
COMMIT;
)");
  ASSERT_EQ(ListLines(out), (std::vector<std::string>{"ID 1", "ID 2"})) << out;
  std::string tree;
  ASSERT_EQ(RunCommand(std::string(PX_PXTOOL_PATH) + " app tree --frame 6 2>&1", &tree), 0) << tree;
  EXPECT_NE(tree.find("DTODAY"), std::string::npos) << tree;
  EXPECT_EQ(tree.find("DOLD"), std::string::npos) << tree;
}

}  // namespace
}  // namespace px::test
