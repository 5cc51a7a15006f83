#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "platform/gui/ActnList.h"
#include "platform/gui/Forms.h"
#include "platform/gui/Menus.h"
#include "platform/gui/StdCtrls.h"

namespace px {
namespace {

void sendClick(QWidget* w, QPoint p = {5, 5}, Qt::MouseButton b = Qt::LeftButton) {
  QMouseEvent press(QEvent::MouseButtonPress, p, w->mapToGlobal(p), b, b, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), b, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

struct ActionForm {
  TForm form{nullptr};
  TActionList* list = CreateComponent<TActionList>(&form);
  TAction* save = CreateComponent<TAction>(&form);
  int executed = 0;
  bool allow = true;
  ActionForm() {
    save->SetActionList(list);
    save->SetCaption("&Save");
    save->SetHint("Save the file");
    save->OnExecute = [this](TObject*) { ++executed; };
    save->OnUpdate = [this](TObject*) { save->SetEnabled(allow); };
  }
};

TEST(Actions, ClientsFollowTheActionAndExecuteItOnce) {
  ActionForm f;
  auto* button = CreateComponent<TButton>(&f.form);
  button->SetParent(&f.form);
  button->SetAction(f.save);
  auto* menu = CreateComponent<TMainMenu>(&f.form);
  auto* file = CreateComponent<TMenuItem>(&f.form);
  file->SetCaption("&File");
  menu->Items()->Add(file);
  auto* item = CreateComponent<TMenuItem>(&f.form);
  item->SetAction(f.save);
  file->Add(item);
  f.form.SetMenu(menu);

  // Linking takes over the action's texts and state.
  EXPECT_EQ(button->Caption(), "&Save");
  EXPECT_EQ(button->Hint, "Save the file");
  EXPECT_EQ(static_cast<QPushButton*>(button->Widget())->text(), "&Save");
  EXPECT_EQ(item->QtAction()->text(), "&Save");

  // The idle update disables the action and with it every client.
  f.allow = false;
  UpdateActionLists();
  EXPECT_FALSE(f.save->Enabled());
  EXPECT_FALSE(button->Enabled());
  EXPECT_FALSE(button->Widget()->isEnabled());
  EXPECT_FALSE(item->QtAction()->isEnabled());
  item->QtAction()->trigger();
  EXPECT_EQ(f.executed, 0);

  f.allow = true;
  UpdateActionLists();
  EXPECT_TRUE(button->Widget()->isEnabled());
  f.save->SetCaption("Save &as");
  EXPECT_EQ(button->Caption(), "Save &as");
  EXPECT_EQ(item->Caption(), "Save &as");

  // A real mouse click on the button runs the action exactly once, although
  // both the widget and the message layer see the click.
  f.form.SetBounds(0, 0, 200, 100);
  f.form.Show();
  sendClick(button->Widget());
  EXPECT_EQ(f.executed, 1);
  item->QtAction()->trigger();
  EXPECT_EQ(f.executed, 2);

  // Hiding the action hides the clients.
  f.save->SetVisible(false);
  EXPECT_FALSE(button->Visible());
  EXPECT_FALSE(item->QtAction()->isVisible());
}

TEST(Actions, FreedActionLeavesItsClientsAlone) {
  TForm form(nullptr);
  auto* a = CreateComponent<TAction>(&form);
  auto* button = CreateComponent<TButton>(&form);
  auto* item = CreateComponent<TMenuItem>(&form);
  button->SetAction(a);
  item->SetAction(a);
  EXPECT_EQ(a->ClientCount(), 2);
  FreeObject(a);
  EXPECT_EQ(button->Action(), nullptr);
  EXPECT_EQ(item->Action(), nullptr);
  button->Click();  // nothing to run, nothing to crash
  item->Click();
  // A freed list frees its actions; a freed client unlinks itself.
  auto* list = CreateComponent<TActionList>(&form);
  auto* b = CreateComponent<TAction>(&form);
  b->SetActionList(list);
  button->SetAction(b);
  FreeObject(button);
  EXPECT_EQ(b->ClientCount(), 0);
  FreeObject(list);
  EXPECT_EQ(form.ComponentCount(), 1);  // only the menu item is left
}

TEST(Actions, CheckedGroupsAutoCheckAndListHandlers) {
  TForm form(nullptr);
  auto* list = CreateComponent<TActionList>(&form);
  std::vector<TAction*> radio;
  for (int i = 0; i < 3; ++i) {
    radio.push_back(CreateComponent<TAction>(&form));
    radio.back()->SetActionList(list);
    radio.back()->GroupIndex = 1;
  }
  radio[0]->SetChecked(true);
  radio[2]->SetChecked(true);
  EXPECT_FALSE(radio[0]->Checked());
  EXPECT_TRUE(radio[2]->Checked());

  auto* toggle = CreateComponent<TAction>(&form);
  toggle->SetActionList(list);
  toggle->AutoCheck = true;
  auto* box = CreateComponent<TCheckBox>(&form);
  int boxClicks = 0;
  box->SetAction(toggle);
  toggle->Execute();
  EXPECT_TRUE(toggle->Checked());
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(boxClicks, 0);

  // The list's handler comes first and may claim the execution.
  int own = 0, byList = 0;
  toggle->OnExecute = [&](TObject*) { ++own; };
  list->OnExecute = [&](TBasicAction* a, bool& handled) {
    ++byList;
    handled = a == toggle;
  };
  EXPECT_TRUE(toggle->Execute());
  EXPECT_EQ(byList, 1);
  EXPECT_EQ(own, 0);
  // A disabled action runs nothing and says so.
  toggle->SetEnabled(false);
  EXPECT_FALSE(toggle->Execute());
  EXPECT_EQ(byList, 1);
}

TEST(Actions, ShortCutsTextAndDispatchBeforeTheFocusedControl) {
  EXPECT_EQ(ShortCutToText(ShortCut('S', {ssCtrl})), "Ctrl+S");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_DELETE, {ssShift, ssCtrl})), "Shift+Ctrl+Del");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F5, {})), "F5");
  EXPECT_EQ(TextToShortCut("ctrl+shift+s"), ShortCut('S', {ssCtrl, ssShift}));
  EXPECT_EQ(TextToShortCut("F12"), ShortCut(VK_F12, {}));
  EXPECT_EQ(TextToShortCut("Hyper+Q"), scNone);

  ActionForm f;
  f.save->SetShortCut(ShortCut('S', {ssCtrl}));
  auto* edit = CreateComponent<TEdit>(&f.form);
  edit->SetParent(&f.form);
  f.form.Show();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier, "s");
  QApplication::sendEvent(edit->Widget(), &press);
  EXPECT_EQ(f.executed, 1);
  EXPECT_EQ(edit->Text(), "");
  // A disabled action lets the key through to the control.
  f.allow = false;
  QKeyEvent again(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier, "s");
  QApplication::sendEvent(edit->Widget(), &again);
  EXPECT_EQ(f.executed, 1);
}

// The message loops sleep while there is nothing to do (a busy loop makes
// hundreds of thousands of passes a second), and the idle time still brings
// the actions up to date.
TEST(MessageLoop, IdleLoopsSleepAndActionsStillUpdate) {
  InitializeApplication();
  // A modal form's loop, and then the application's.
  TForm dialog(nullptr);
  dialog.SetBounds(0, 0, 120, 80);
  QTimer::singleShot(1000, [&] { dialog.ModalResult = mrOk; });
  Cardinal before = MessageLoopPasses();
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_LT(MessageLoopPasses() - before, 100u);
  EXPECT_GE(MessageLoopPasses() - before, 1u);

  ActionForm f;
  int updates = 0;
  f.save->OnUpdate = [&](TObject*) {
    ++updates;
    f.save->SetEnabled(f.allow);
  };
  QTimer::singleShot(300, [&] { f.allow = false; });
  // An application object of its own: the program's one stays unterminated
  // for the tests after this one.
  TApplication app(nullptr);
  QTimer::singleShot(1300, [&] { app.Terminate(); });
  before = MessageLoopPasses();
  app.Run();
  EXPECT_LT(MessageLoopPasses() - before, 100u);
  EXPECT_GE(updates, 3);
  EXPECT_FALSE(f.save->Enabled());
}

TEST(Menus, TreeSeparatorsAndClickDispatch) {
  TForm form(nullptr);
  auto* menu = CreateComponent<TMainMenu>(&form);
  form.SetMenu(menu);
  auto add = [&](TMenuItem* parent, const std::string& caption) {
    auto* i = CreateComponent<TMenuItem>(&form);
    i->SetCaption(caption);
    parent->Add(i);
    return i;
  };
  TMenuItem* file = add(menu->Items(), "&File");
  TMenuItem* open = add(file, "&Open");
  add(file, "-");
  TMenuItem* wrap = add(file, "&Wrap");
  wrap->AutoCheck = true;
  TMenuItem* help = add(menu->Items(), "&Help");
  std::vector<std::string> clicks;
  open->OnClick = [&](TObject* s) { clicks.push_back(static_cast<TMenuItem*>(s)->Caption()); };

  QMenuBar* bar = form.MenuBar();
  ASSERT_EQ(bar->actions().size(), 2);
  EXPECT_EQ(bar->actions()[0]->text(), "&File");
  QMenu* fileMenu = bar->actions()[0]->menu();
  ASSERT_NE(fileMenu, nullptr);
  ASSERT_EQ(fileMenu->actions().size(), 3);
  EXPECT_TRUE(fileMenu->actions()[1]->isSeparator());
  EXPECT_EQ(bar->actions()[1]->menu(), nullptr);  // no children, no menu

  fileMenu->actions()[0]->trigger();
  EXPECT_EQ(clicks, std::vector<std::string>{"&Open"});
  open->SetEnabled(false);
  fileMenu->actions()[0]->trigger();
  EXPECT_EQ(clicks.size(), 1u);

  // AutoCheck flips the item; Qt's own toggle does not count twice.
  fileMenu->actions()[2]->trigger();
  EXPECT_TRUE(wrap->Checked());
  EXPECT_TRUE(fileMenu->actions()[2]->isChecked());
  fileMenu->actions()[2]->trigger();
  EXPECT_FALSE(wrap->Checked());
  EXPECT_FALSE(fileMenu->actions()[2]->isChecked());

  EXPECT_EQ(menu->Items()->Find("help"), help);
  EXPECT_EQ(menu->Items()->Find("File"), file);
  EXPECT_EQ(StripHotkey("Save && &quit"), "Save & quit");
  EXPECT_THROW(file->Add(open), EMenuError);
  EXPECT_THROW(open->Add(file), EMenuError);

  // Shortcut of an item, pressed anywhere in the form.
  open->SetEnabled(true);
  open->SetShortCut(ShortCut('O', {ssCtrl}));
  EXPECT_EQ(fileMenu->actions()[0]->text(), "&Open\tCtrl+O");
  EXPECT_TRUE(form.IsShortCut('O', {ssCtrl}));
  EXPECT_EQ(clicks.size(), 2u);

  // Freeing an item takes it out of the Qt menu; freeing the parent frees the rest.
  FreeObject(open);
  EXPECT_EQ(fileMenu->actions().size(), 2);
  FreeObject(file);
  EXPECT_EQ(bar->actions().size(), 1);
  FreeObject(menu);
  EXPECT_EQ(form.Menu(), nullptr);
  EXPECT_TRUE(bar->actions().isEmpty());
}

// A 100 x 50 panel at (10, 10) of the form that opens the popup menu.
TCustomControl* panelWithPopup(TForm& form, TPopupMenu* popup) {
  auto* panel = CreateComponent<TCustomControl>(&form);
  panel->SetBounds(10, 10, 100, 50);
  panel->SetParent(&form);
  panel->SetPopupMenu(popup);
  return panel;
}

TEST(Menus, PopupMenuOnRightClickOfItsControl) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 100);
  auto* popup = CreateComponent<TPopupMenu>(&form);
  auto* item = CreateComponent<TMenuItem>(&form);
  item->SetCaption("Copy");
  popup->Items()->Add(item);
  int popups = 0;
  popup->OnPopup = [&](TObject*) { ++popups; };
  auto* panel = panelWithPopup(form, popup);
  form.Show();
  sendClick(panel->Widget(), {5, 5}, Qt::RightButton);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(popup->PopupComponent(), panel);
  ASSERT_NE(popup->Items()->QtMenu(), nullptr);
  EXPECT_TRUE(popup->Items()->QtMenu()->isVisible());
  popup->CloseMenu();
  popup->AutoPopup = false;
  sendClick(panel->Widget(), {5, 5}, Qt::RightButton);
  EXPECT_EQ(popups, 1);
}

// A menu and its controls may be freed in any order, by different owners;
// whichever goes first is forgotten by the other (ASan catches a dangling one).
TEST(Menus, PopupMenuAndControlForgetEachOtherWhenFreed) {
  struct Case {
    const char* name;
    bool menuOwnedByForm;  // else by a second, unrelated owner
  };
  for (const Case& c : {Case{"same owner", true}, Case{"other owner", false}}) {
    SCOPED_TRACE(c.name);
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 100);
    TComponent other(nullptr);
    auto* popup = CreateComponent<TPopupMenu>(c.menuOwnedByForm ? static_cast<TComponent*>(&form) : &other);
    int popups = 0;
    popup->OnPopup = [&](TObject*) { ++popups; };
    auto* panel = panelWithPopup(form, popup);
    form.Show();
    sendClick(panel->Widget(), {5, 5}, Qt::RightButton);
    EXPECT_EQ(popups, 1);

    FreeObject(popup);
    EXPECT_EQ(panel->PopupMenu(), nullptr);
    // A right click after the menu went away shows nothing and touches nothing.
    sendClick(panel->Widget(), {5, 5}, Qt::RightButton);
    QApplication::processEvents();
  }
}

TEST(Menus, FreedControlIsNoLongerThePopupComponent) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 100);
  TComponent other(nullptr);
  auto* popup = CreateComponent<TPopupMenu>(&other);
  auto* panel = panelWithPopup(form, popup);
  auto* second = CreateComponent<TCustomControl>(&form);
  second->SetPopupMenu(popup);
  form.Show();
  sendClick(panel->Widget(), {5, 5}, Qt::RightButton);
  EXPECT_EQ(popup->PopupComponent(), panel);
  popup->CloseMenu();
  FreeObject(panel);
  EXPECT_EQ(popup->PopupComponent(), nullptr);
  // Replacing the menu drops the old link: the old menu's end leaves the
  // control alone, and the new one still works.
  auto* replacement = CreateComponent<TPopupMenu>(&other);
  second->SetPopupMenu(replacement);
  FreeObject(popup);
  EXPECT_EQ(second->PopupMenu(), replacement);
  second->SetPopupMenu(nullptr);
  FreeObject(replacement);
  EXPECT_EQ(second->PopupMenu(), nullptr);
}

}  // namespace
}  // namespace px
