#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <vector>
#include <QWidget>
#include <string>

#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "data/UnitLocales.h"
#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"
#include "platform/gui/StdCtrls.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {
namespace {

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods, text);
  QApplication::sendEvent(w, &release);
}

// An editable grid on a form: Id, Name (editable), Amount (currency,
// editable), Kind (a lookup, editable), Short (10 pixels, right-aligned).
struct EditGrid {
  TLocales locales{"en"};
  IMemDataSet kinds = CreateMemDataSetFromSpec("Kinds", "KindId:int*KindName:astr");
  IMemDataSet table = CreateMemDataSetFromSpec("T", "Id:int*Name:astr;Amount:curr;Kind:int");
  IMemDataView view = CreateMemDataView(table);
  TForm form{nullptr};
  TDataSetList* grid = CreateComponent<TDataSetList>(&form);
  int edited = 0;

  EditGrid() {
    for (auto [id, name] : {std::pair{1, "coin"}, std::pair{2, "note"}}) {
      TMemRecord* k = kinds->AddRecord();
      k->SetInteger(0, id);
      k->SetAnsiString(1, name);
    }
    for (int i = 1; i <= 3; ++i) {
      TMemRecord* r = table->AddRecord();
      r->SetInteger(0, i);
      r->SetAnsiString(1, "name " + std::to_string(i));
      r->SetCurrency(2, Currency::FromInt64(i * 10000));
      r->SetInteger(3, 1);
    }
    const char* captions[] = {"Id", "Name", "Amount", "Kind"};
    for (Integer f = 0; f < 4; ++f) {
      TMemViewColumn* c = view->AddColumn();
      c->SetFieldIndex(f);
      c->Caption = captions[f];
      c->Locale = locales.LocaleEnUS;
      c->Width = 90;
      if (f > 0) c->Flags |= mvfEditable;
    }
    view->GetColumn(3)->LookupDataSet = kinds;
    view->GetColumn(3)->LookupIndex = 0;
    view->GetColumn(3)->LookupField = 1;
    TMemViewColumn* narrow = view->AddColumn();
    narrow->SetFieldIndex(0);
    narrow->Caption = "Short";
    narrow->Width = 10;
    narrow->Alignment = taRightJustify;
    narrow->Flags |= mvfEditable;
    view->SetOnEdited([this](TMemRecord*, Integer) { ++edited; });

    form.SetBounds(50, 50, 500, 250);
    grid->SetParent(&form);
    grid->SetBounds(0, 0, 480, 200);
    grid->SetEditable(true);
    grid->SetClickDelay(0);
    grid->SetView(view);
    grid->SetFocusedNode(grid->GetFirst());
  }
  TMemRecord* first() { return grid->GetNodeRecord(grid->GetFirst()); }
  // Starts editing a column of the first row; the editor control.
  TWinControl* edit(TColumnIndex column) {
    grid->SetFocusedColumn(column);
    EXPECT_TRUE(grid->EditNode(grid->GetFirst(), column));
    return grid->activeEditor_;
  }
};

TEST(DataSetListEdit, TypingAKeyStartsTheEditWithThatCharacter) {
  EditGrid g;
  struct Case {
    Word key;
    WPARAM flags;
    const char* text;
  } cases[] = {{'A', 0, "a"}, {'A', MK_SHIFT, "A"}, {VK_BACK, 0, ""}, {VK_NUMPAD5, 0, "5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    g.grid->SetFocusedColumn(1);
    g.grid->Perform(WM_KEYDOWN, c.key, static_cast<LPARAM>(c.flags));
    ASSERT_TRUE(g.grid->IsEditing());
    auto* edit = dynamic_cast<TQVRNTEdit*>(g.grid->activeEditor_);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->Text(), c.text);
    EXPECT_TRUE(edit->Modified);
    g.grid->CancelEditNode();
    EXPECT_FALSE(g.grid->IsEditing());
  }
  EXPECT_EQ(g.edited, 0);
  EXPECT_EQ(g.first()->GetAnsiString(1), "name 1");

  // Outside an editable column the keys stay with the tree.
  g.grid->SetFocusedColumn(0);
  g.grid->Perform(WM_KEYDOWN, 'A', 0);
  EXPECT_FALSE(g.grid->IsEditing());
}

TEST(DataSetListEdit, ReturnWritesOnlyAModifiedText) {
  EditGrid g;
  TWinControl* editor = g.edit(1);
  auto* edit = dynamic_cast<TQVRNTEdit*>(editor);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->Text(), "name 1");
  edit->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.edited, 0);

  edit = dynamic_cast<TQVRNTEdit*>(g.edit(1));
  ASSERT_NE(edit, nullptr);
  edit->SetText("renamed");
  edit->Modified = true;  // as the user's typing sets it
  edit->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.edited, 1);
  EXPECT_EQ(g.first()->GetAnsiString(1), "renamed");
  EXPECT_EQ(g.grid->Text(g.grid->GetFirst(), 1), u"renamed");

  // Escape writes nothing.
  edit = dynamic_cast<TQVRNTEdit*>(g.edit(1));
  edit->SetText("dropped");
  edit->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.first()->GetAnsiString(1), "renamed");
  // The released editors are freed by their posted release.
  QApplication::processEvents();
}

// The application's exception handler (a message box) for one test.
struct AppScope {
  AppScope() { InitializeApplication(); }
  ~AppScope() { FinalizeApplication(); }
};

// Left and Right leave the text editor where the caret stands at the text's
// start or end; the editor starts with its text selected and the caret at
// the end, so Right leaves at once and Left first moves the caret.
TEST(DataSetListEdit, LeftAndRightLeaveAtTheCaretsEnds) {
  EditGrid g;
  auto* edit = dynamic_cast<TQVRNTEdit*>(g.edit(1));
  ASSERT_NE(edit, nullptr);
  ASSERT_EQ(edit->SelLength(), 6);
  edit->Perform(WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_FALSE(g.grid->IsEditing());

  edit = dynamic_cast<TQVRNTEdit*>(g.edit(1));
  ASSERT_NE(edit, nullptr);
  edit->Perform(WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_TRUE(g.grid->IsEditing());
  edit->SetSelStart(3);
  edit->Perform(WM_KEYDOWN, VK_LEFT, 0);
  edit->Perform(WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_TRUE(g.grid->IsEditing());
  edit->SetSelStart(0);
  edit->Perform(WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.edited, 0);
}

TEST(DataSetListEdit, ARefusedTextKeepsTheEditorOpen) {
  AppScope app;
  EditGrid g;
  const Currency before = g.first()->GetCurrency(2);
  // The view leaves the field alone for a text that does not parse; a screen
  // that checks its entries refuses it by raising from the edited event.
  g.view->SetOnEdited([&](TMemRecord* rec, Integer) {
    ++g.edited;
    if (rec->GetCurrency(2) == before) throw EConvertError("Not an amount");
  });
  std::string shown;
  TMessageDlgHook old = SetMessageDlgHook([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    shown = text;
    return mrOk;
  });
  g.form.Show();
  auto* edit = dynamic_cast<TQVRNTEdit*>(g.edit(2));
  ASSERT_NE(edit, nullptr);
  edit->SetText("twelve");
  edit->Modified = true;
  // A real key: the failure stops at the event boundary with a message.
  key(edit->Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
  SetMessageDlgHook(old);
  EXPECT_EQ(shown, "Not an amount");
  EXPECT_TRUE(g.grid->IsEditing());
  EXPECT_TRUE(edit->Visible());
  EXPECT_EQ(g.grid->activeEditor_, edit);
  EXPECT_EQ(g.first()->GetCurrency(2), before);

  // Corrected, the same editor writes it.
  edit->SetText("12.5");
  edit->Modified = true;
  edit->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.first()->GetCurrency(2), Currency::FromDouble(12.5));
}

TEST(DataSetListEdit, TheComboWritesTheKeyOfTheChosenLookupRecord) {
  EditGrid g;
  auto* combo = dynamic_cast<TQVRNTCombo*>(g.edit(3));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->Items().Count(), 2);
  EXPECT_EQ(combo->ItemIndex(), 0);  // the cell's text, "coin"
  combo->SetItemIndex(1);
  combo->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.first()->GetInteger(3), 2);
  EXPECT_EQ(g.grid->Text(g.grid->GetFirst(), 3), u"note");
  EXPECT_EQ(g.edited, 1);

  // Without a choice nothing is written.
  combo = dynamic_cast<TQVRNTCombo*>(g.edit(3));
  ASSERT_NE(combo, nullptr);
  combo->SetItemIndex(-1);
  combo->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(g.grid->IsEditing());
  EXPECT_EQ(g.first()->GetInteger(3), 2);
  EXPECT_EQ(g.edited, 1);
}

TEST(DataSetListEdit, ANarrowRightAlignedColumnGetsAThirtyPixelEditorEndingAtItsRightEdge) {
  EditGrid g;
  TWinControl* editor = g.edit(4);
  ASSERT_NE(editor, nullptr);
  int32_t left = 0, right = 0;
  g.grid->Header().Columns().GetColumnBounds(4, left, right);
  EXPECT_EQ(right - left, 10);
  EXPECT_EQ(editor->Width(), 30);
  EXPECT_EQ(editor->BoundsRect().Right, g.grid->GetDisplayRect(g.grid->GetFirst(), 4, false).Right);
  EXPECT_LE(editor->BoundsRect().Right, right);
  g.grid->CancelEditNode();
}

TEST(DataSetListEdit, ARightToLeftGridMirrorsItsEditors) {
  EditGrid g;
  g.grid->SetBiDiMode(bdRightToLeft);
  // The narrow right-aligned column, last, stands at the window's right
  // edge: its editor keeps its width inside the window.
  TWinControl* editor = g.edit(4);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(g.grid->GetDisplayRect(g.grid->GetFirst(), 4, false).Right, g.grid->ClientWidth() - 1);
  EXPECT_EQ(editor->Width(), 30);
  EXPECT_EQ(editor->BoundsRect().Right, g.grid->ClientWidth());
  g.grid->CancelEditNode();
  // With the columns in reading order it stands at their left end, and its
  // editor reads from the other side: it starts at the cell's left edge and
  // grows to the right.
  g.grid->Options().SetAutoOptions(g.grid->Options().AutoOptions() + TNTAutoOptions{auBidiColumnOrdering});
  g.grid->Perform(CM_BIDIMODECHANGED, 0, 0);
  ASSERT_EQ(g.grid->Header().Columns().Items(4)->Position(), 0u);
  editor = g.edit(4);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->BiDiMode(), bdRightToLeft);
  EXPECT_EQ(editor->Width(), 30);
  EXPECT_EQ(editor->Left(), std::max(0, g.grid->GetDisplayRect(g.grid->GetFirst(), 4, true, true).Left));
  g.grid->CancelEditNode();
  // A left-aligned text column shows its text on the right.
  auto* edit = dynamic_cast<TQVRNTEdit*>(g.edit(1));
  ASSERT_NE(edit, nullptr);
  QLineEdit* line = edit->LineEdit();
  EXPECT_EQ(line->layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(QStyle::visualAlignment(line->layoutDirection(), line->alignment()) &
                  (Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter),
            Qt::AlignRight);
  g.grid->CancelEditNode();
  // The combo of a lookup column reads right to left too.
  TWinControl* combo = g.edit(3);
  ASSERT_NE(dynamic_cast<TQVRNTCombo*>(combo), nullptr);
  EXPECT_EQ(combo->BiDiMode(), bdRightToLeft);
  EXPECT_EQ(combo->Widget()->layoutDirection(), Qt::RightToLeft);
  g.grid->CancelEditNode();
  QApplication::processEvents();
}

TEST(DataSetListEdit, ReturnEndsTheEditAndLeavesTheDefaultButtonAlone) {
  AppScope app;
  {
    EditGrid g;
    auto* ok = CreateComponent<TButton>(&g.form);
    ok->SetParent(&g.form);
    ok->SetBounds(400, 210, 80, 25);
    ok->SetDefault(true);
    int clicks = 0;
    ok->OnClick = [&](TObject*) { ++clicks; };
    g.form.Show();
    QApplication::setActiveWindow(g.form.Widget());
    auto* edit = dynamic_cast<TQVRNTEdit*>(g.edit(1));
    ASSERT_NE(edit, nullptr);
    edit->SetFocus();
    EXPECT_EQ(edit->Perform(WM_GETDLGCODE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS);
    key(edit->Widget(), Qt::Key_X, Qt::NoModifier, "x");
    key(edit->Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_FALSE(g.grid->IsEditing());
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(g.edited, 1);
    // Without an edit, Return is the form's again.
    g.grid->SetFocus();
    key(g.grid->Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(clicks, 1);
  }
}

}  // namespace
}  // namespace px

namespace px {
namespace {

// Runs the event loop until the click timer has fired (or a generous limit).
void runUntilFired(TDataSetList& grid) {
  QElapsedTimer timer;
  timer.start();
  while (grid.ClickTimer().Enabled() && timer.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(DataSetListMouse, ClicksOnRowsComeAfterTheirChangeAndARightClickCarriesTheRecord) {
  EditGrid g;
  g.grid->SetClickDelay(60);
  g.grid->SetFocusedNode(nullptr);
  std::vector<std::string> events;
  auto name = [](TMemRecord* rec) { return rec ? rec->GetAnsiString(1) : std::string("nil"); };
  g.grid->OnChange = [&](TDataSetList*, TMemRecord* rec) { events.push_back("change " + name(rec)); };
  g.grid->OnClick = [&](TDataSetList*, TMemRecord* rec) { events.push_back("click " + name(rec)); };
  g.grid->OnRightClick = [&](TDataSetList*, TMemRecord* rec) { events.push_back("right " + name(rec)); };
  PNTNode second = g.grid->GetNextSibling(g.grid->GetFirst());
  TRect row = g.grid->GetDisplayRect(second, 1, false);
  const LPARAM at = MakeLParam(row.Left + 5, (row.Top + row.Bottom) / 2);
  for (int i = 0; i < 2; ++i) {
    g.grid->Perform(WM_LBUTTONDOWN, MK_LBUTTON, at);
    g.grid->Perform(WM_LBUTTONUP, 0, at);
  }
  EXPECT_TRUE(events.empty());
  runUntilFired(*g.grid);
  EXPECT_EQ(events, (std::vector<std::string>{"change name 2", "click name 2"}));

  events.clear();
  g.grid->SetClickDelay(0);
  TRect first = g.grid->GetDisplayRect(g.grid->GetFirst(), 1, false);
  const LPARAM firstAt = MakeLParam(first.Left + 5, (first.Top + first.Bottom) / 2);
  g.grid->Perform(WM_RBUTTONDOWN, MK_RBUTTON, firstAt);
  g.grid->Perform(WM_RBUTTONUP, 0, firstAt);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "right name 1");
  EXPECT_FALSE(g.grid->TreeStates().Contains(stRightButtonDown));
}

}  // namespace
}  // namespace px
