// The users screen in the real main window over a fresh embedded database,
// with isql-fb as the peer that sees what was stored.
#include <gtest/gtest.h>

#include <optional>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "ScreensFixture.h"
#include "app/UnitCountFrame.h"
#include "app/UnitHistoryFrame.h"
#include "app/UnitSetUser.h"
#include "app/UnitUsersFrame.h"
#include "platform/core/CodePages.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
#include "ui/framework/UnitTranslation.h"

namespace px::test {
namespace {

std::vector<std::string> rows(TDataSetList& grid) {
  std::vector<std::string> out;
  for (PNTNode n = grid.GetFirst(); n; n = grid.GetNextSibling(n)) {
    std::string row;
    for (TColumnIndex c = 0; c < grid.Header().Columns().Count(); ++c)
      row += (c ? "|" : "") + UnicodeToUtf8(grid.Text(n, c));
    out.push_back(row);
  }
  return out;
}

TEST(UsersScreen, AddsSelectsAndStoresAUserAndRefusesAnEmptyName) {
  ScreensProgram p;
  TfraUsers* users = p.Show<TfraUsers>(4);
  ASSERT_TRUE(users);
  EXPECT_TRUE(users->Visible());
  EXPECT_EQ(rows(*users->lstUsers), std::vector<std::string>{});  // the anonymous user is never listed
  EXPECT_FALSE(users->acDelete->Enabled());
  EXPECT_FALSE(users->acEdit->Enabled());
  EXPECT_EQ(UnicodeToUtf8(users->lstUsers->Header().Columns().Items(0)->Text()), "ID");

  p.input = "";
  users->acAdd->Execute();
  EXPECT_EQ(p.beeps, 1);
  p.input.reset();  // Cancel
  users->acAdd->Execute();
  EXPECT_EQ(p.asked, (std::vector<std::string>{"Enter a name.|Name", "Enter a name.|Name"}));
  EXPECT_EQ(users->Users()->GetRecordCount(), 0);

  p.input = "Jan";
  users->acAdd->Execute();
  EXPECT_EQ(p.beeps, 1);
  TMemRecord* jan = users->lstUsers->GetFocusedRecord();
  ASSERT_TRUE(jan);
  EXPECT_EQ(jan->GetAnsiString(1), "Jan");
  EXPECT_EQ(jan->GetInteger(2), 1);
  EXPECT_EQ(rows(*users->lstUsers), std::vector<std::string>{"1|Jan|Active"});
  ASSERT_TRUE(ScreensProgram::PumpUntil([&] { return users->acEdit->Enabled(); }));
  p.Shot("users");
  EXPECT_TRUE(users->acDelete->Enabled());
  // The box takes no more than the database column holds.
  p.input = std::string(70, 'n');
  users->acAdd->Execute();
  EXPECT_TRUE(p.boxes.empty());
  EXPECT_EQ(p.IsqlLines("SELECT ID, NAME, STATUS FROM USERS WHERE ID > 0 ORDER BY ID;"),
            (std::vector<std::string>{"ID 1", "NAME Jan", "STATUS 1", "ID 2", "NAME " + std::string(64, 'n'),
                                      "STATUS 1"}));
}

// Names are stored as single-byte text: one with characters it cannot hold
// is refused with those characters named, on add and on edit, and nothing
// is stored; Western European letters are kept as typed.
TEST(UsersScreen, ANameWithCharactersThatCannotBeStoredIsRefused) {
  ScreensProgram p;
  TfraUsers* users = p.Show<TfraUsers>(4);
  p.input = "Zofia \u017b\u00f3\u0142\u0107 \u738b \U0001F600 \u017b";
  users->acAdd->Execute();
  EXPECT_EQ(p.boxes, std::vector<std::string>{"These characters cannot be stored: \u017b \u0142 \u0107 \u738b \U0001F600"});
  EXPECT_EQ(users->Users()->GetRecordCount(), 0);

  p.boxes.clear();
  p.input = "J\u00fcrgen \u00d8rsted";
  users->acAdd->Execute();
  EXPECT_TRUE(p.boxes.empty());
  TMemRecord* rec = users->lstUsers->GetFocusedRecord();
  ASSERT_TRUE(rec);
  EXPECT_EQ(AnsiToUtf8(rec->GetAnsiString(1)), "J\u00fcrgen \u00d8rsted");

  p.modal = [&](TForm& form) {
    dynamic_cast<TfrmSetUser&>(form).edUserName->SetText("\u0141ukasz");
    return mrOk;
  };
  users->acEdit->Execute();
  EXPECT_EQ(p.boxes, std::vector<std::string>{"These characters cannot be stored: \u0141"});
  EXPECT_EQ(AnsiToUtf8(rec->GetAnsiString(1)), "J\u00fcrgen \u00d8rsted");
  EXPECT_EQ(p.IsqlLines("SELECT COUNT(*) AS N FROM USERS WHERE ID > 0 AND NAME = 'J' || ASCII_CHAR(252) || 'rgen ' || "
                        "ASCII_CHAR(216) || 'rsted';"),
            std::vector<std::string>{"N 1"});
}

// A user with countings cannot go (the database refuses) and stays in list
// and database; one without goes from both; No keeps everything.
TEST(UsersScreen, DeletesOnlyUsersWithoutCountings) {
  ScreensProgram p;
  const Integer busy = dmDatabase->AddUser("Busy");
  const Integer idle = dmDatabase->AddUser("Idle");
  dmDatabase->AddCounting(busy, EncodeDate(2026, 5, 3), "x", "EUR", "1", "Firm", Currency());
  TfraUsers* users = p.Show<TfraUsers>(4);
  ASSERT_EQ(users->Users()->GetRecordCount(), 2);

  users->lstUsers->FocusRecordByKey(busy);
  users->acDelete->Execute();
  EXPECT_EQ(p.boxes, (std::vector<std::string>{"Delete this user?", "This user has countings and cannot be deleted."}));
  EXPECT_EQ(users->Users()->GetRecordCount(), 2);

  p.boxes.clear();
  p.answer = mrNo;
  users->lstUsers->FocusRecordByKey(idle);
  users->acDelete->Execute();
  EXPECT_EQ(users->Users()->GetRecordCount(), 2);
  p.answer = mrYes;
  users->acDelete->Execute();
  EXPECT_EQ(rows(*users->lstUsers), std::vector<std::string>{IntToStr(busy) + "|Busy|Active"});
  EXPECT_EQ(p.IsqlLines("SELECT NAME FROM USERS WHERE ID > 0 ORDER BY ID;"), std::vector<std::string>{"NAME Busy"});
}

// The dialog edits name and status; its name box takes no more than the
// database's 64-character column holds. An inactive user stays in the
// history screen's employee list and leaves the count screen's.
TEST(UsersScreen, EditsThroughTheDialogAndKeepsARefusedNameOut) {
  ScreensProgram p;
  const Integer id = dmDatabase->AddUser("Jan");
  TfraUsers* users = p.Show<TfraUsers>(4);
  users->lstUsers->FocusRecordByKey(id);
  std::string name;
  Integer status = 0;
  std::vector<bool> okEnabled;
  std::string shown = "Jan";
  Integer shownStatus = 1;
  p.modal = [&](TForm& form) {
    auto& d = dynamic_cast<TfrmSetUser&>(form);
    EXPECT_EQ(d.edID->Text(), IntToStr(id));
    EXPECT_TRUE(d.edID->Locked());
    EXPECT_EQ(d.edUserName->Text(), shown);
    EXPECT_EQ(d.cbStatus->ItemIndex(), shownStatus);
    EXPECT_EQ(d.cbStatus->Items().Count(), 2);
    d.edUserName->SetText("");
    okEnabled.push_back(d.btnOK->Enabled());
    d.edUserName->SetText(name);
    okEnabled.push_back(d.btnOK->Enabled());
    d.cbStatus->SetItemIndex(status);
    return mrOk;
  };
  // The name edit takes no more than the database column holds.
  name = std::string(70, 'n');
  users->acEdit->Execute();
  EXPECT_EQ(okEnabled, (std::vector<bool>{false, true}));
  EXPECT_EQ(rows(*users->lstUsers), std::vector<std::string>{IntToStr(id) + "|" + std::string(64, 'n') + "|Inactive"});
  shown = std::string(64, 'n');
  shownStatus = 0;

  name = "Jan Smit";
  status = 0;
  users->acEdit->Execute();
  EXPECT_EQ(rows(*users->lstUsers), std::vector<std::string>{IntToStr(id) + "|Jan Smit|Inactive"});
  EXPECT_EQ(p.IsqlLines("SELECT NAME, STATUS FROM USERS WHERE ID > 0;"),
            (std::vector<std::string>{"NAME Jan Smit", "STATUS 0"}));

  TfraHistory* history = p.Show<TfraHistory>(6);
  EXPECT_EQ(history->edUser->Items().Count(), 2);
  EXPECT_EQ(history->edUser->Items().Get(1), Format("%.4d  Jan Smit", id));

  // A count screen made after the change offers active employees only.
  const Integer piet = dmDatabase->AddUser("Piet");
  TfraCount* count = p.Show<TfraCount>(5);
  ASSERT_EQ(count->edUser->Items().Count(), 1);
  EXPECT_EQ(count->edUser->Items().Get(0), Format("%.4d  Piet", piet));
}

// In the user dialog's Status box (its text comes from its list) Enter
// accepts and Escape cancels the dialog; a letter typed there changes
// nothing, and the box keeps its status.
TEST(UsersScreen, EnterAndEscapeWorkInTheStatusBox) {
  ScreensProgram p;
  const Integer id = dmDatabase->AddUser("Jan");
  TfraUsers* users = p.Show<TfraUsers>(4);
  users->lstUsers->FocusRecordByKey(id);
  std::vector<TModalResult> results;
  std::vector<std::string> texts;
  for (const auto& [key, text] : {std::pair<int, const char*>{Qt::Key_Return, "\r"}, {Qt::Key_Escape, "\x1b"}}) {
    p.modal = [&, key = key, text = text](TForm& form) {
      auto& d = dynamic_cast<TfrmSetUser&>(form);
      // The real dialog and its own loop.
      TShowModalHook hook = SetShowModalHook(nullptr);
      // Timers of this dialog's time only (they go with it).
      QTimer keys, guard;
      keys.setSingleShot(true);
      guard.setSingleShot(true);
      QObject::connect(&keys, &QTimer::timeout, [&d, key, text] {
        QWidget* box = d.cbStatus->LineEdit();
        QKeyEvent letter(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
        QApplication::sendEvent(box, &letter);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(box, &press);
      });
      // Should the key be lost, the dialog ends anyway.
      QObject::connect(&guard, &QTimer::timeout, [&d] { d.ModalResult = mrAbort; });
      keys.start(50);
      guard.start(3000);
      const TModalResult r = form.ShowModal();
      SetShowModalHook(hook);
      texts.push_back(d.cbStatus->Text());
      results.push_back(r);
      return r;
    };
    users->acEdit->Execute();
  }
  EXPECT_EQ(results, (std::vector<TModalResult>{mrOk, mrCancel}));
  EXPECT_EQ(texts, (std::vector<std::string>{"Active", "Active"}));
  EXPECT_EQ(rows(*users->lstUsers), std::vector<std::string>{IntToStr(id) + "|Jan|Active"});
}

// With a password set the screens ask once per run: a wrong one beeps at
// 1000 Hz for 100 ms and hides the screen, and the next screen asks again;
// the right one is not asked for again. Without a password nobody asks.
TEST(UsersScreen, PasswordGuardsUsersAndHistory) {
  ScreensProgram p;
  TfraUsers* open = p.Show<TfraUsers>(4);
  EXPECT_EQ(p.passwordPrompts, 0);
  EXPECT_TRUE(open->Visible());

  Settings->Password = PasswordDigest("secret");
  Settings->PasswordGiven = false;
  p.password = "wrong";
  struct Step {
    Integer frame;
    const char* password;
    bool visible;
    int prompts;
  };
  const Step steps[] = {{4, "wrong", false, 1}, {6, "wrong", false, 2}, {6, "secret", true, 3}, {4, "x", true, 3}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.frame);
    p.password = s.password;
    p.tones.clear();
    p.boxes.clear();
    IQVRLink* link = QVRSystem->GetService<IMainFormFiller>()->ShowFrame(s.frame);
    auto* control = dynamic_cast<TControl*>(link->GetComponent());
    EXPECT_EQ(control->Visible(), s.visible);
    EXPECT_EQ(p.passwordPrompts, s.prompts);
    using Tones = std::vector<std::pair<Cardinal, Cardinal>>;
    EXPECT_EQ(p.tones, (s.visible ? Tones{} : Tones{{1000, 100}}));
    // A wrong password is told.
    EXPECT_EQ(p.boxes, (s.visible ? std::vector<std::string>{} : std::vector<std::string>{Translate("WrongPassword")}));
  }
}

// The grids' column layouts go to the settings file as list values 41 and 61
// when the screens close, and come back on the next ones.
TEST(UsersScreen, ColumnLayoutsRoundTripThroughTheSettingsFile) {
  ScreensProgram p;
  for (Integer frame : {4, 6}) {
    SCOPED_TRACE(frame);
    IQVRLink* link = QVRSystem->GetService<IMainFormFiller>()->ShowFrame(frame);
    auto* grid = dynamic_cast<TDataSetList*>(link->GetComponent()->FindComponent(frame == 4 ? "lstUsers" : "lstHistory"));
    ASSERT_TRUE(grid);
    grid->Header().Columns().Items(1)->SetWidth(123);
    const std::string layout = grid->GetColumnLayout();
    QVRSystem->GetService<IMainFormFiller>()->ShowFrame(2);
    const Integer list = frame == 4 ? TfraUsers::LayoutList : TfraHistory::LayoutList;
    EXPECT_EQ(Settings->ReadList(list), layout);
    EXPECT_NE(ReadFileBytes(p.Home().SettingsFile()).find(layout), std::string::npos);
    link = QVRSystem->GetService<IMainFormFiller>()->ShowFrame(frame);
    grid = dynamic_cast<TDataSetList*>(link->GetComponent()->FindComponent(frame == 4 ? "lstUsers" : "lstHistory"));
    EXPECT_EQ(grid->Header().Columns().Items(1)->Width(), 123);
  }
}

}  // namespace
}  // namespace px::test
