// The framework edit, its drop-down placement and container, and the combo
// box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include "data/UnitLocales.h"
#include "platform/core/FormatSettings.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/framework/UnitQVREditComboContainer.h"

namespace px {
namespace {

TColor rgb(TColor c) { return ColorToRGB(c) & 0xFFFFFF; }

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods, text);
  QApplication::sendEvent(w, &release);
}

void mouse(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::LeftButton) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : button;
  QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), type == QEvent::MouseMove ? Qt::NoButton : button,
                held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void processEvents() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Locale settings for one test.
struct LocaleScope {
  TFormatSettings saved = FormatSettings;
  explicit LocaleScope(const char* icu) { FormatSettings = GetLocaleFormatSettings(icu); }
  ~LocaleScope() { FormatSettings = saved; }
};

struct EditForm {
  TForm form{nullptr};
  TQVREdit* edit = CreateComponent<TQVREdit>(&form);
  EditForm() {
    form.SetBounds(50, 50, 400, 300);
    edit->SetParent(&form);
    edit->SetBounds(100, 100, 150, 21);
  }
};

// ---------------------------------------------------------------------------

TEST(QVREdit, IsValidPerValidationType) {
  EditForm f;
  TQVREdit& e = *f.edit;
  struct Case {
    TValidationMode type;
    const char* text;
    bool us, nl;
  } cases[] = {
      {vtNone, "anything", true, true},       {vtIdent, "Name_1", true, true},
      {vtIdent, "1Name", false, false},       {vtInteger, "$1F", true, true},
      {vtInteger, "-1", true, true},          {vtInteger, "1e3", false, false},
      {vtInteger, "99999999999", false, false}, {vtIntegerPositive, "-1", false, false},
      {vtIntegerPositive, "0", true, true},   {vtIntegerPositive, "abc", false, false},
      {vtFloat, "1e3", true, true},           {vtFloat, "1.5", true, false},
      {vtFloat, "1,5", false, true},          {vtFloatPositive, "-0.5", false, false},
      {vtFloatPositive, "0", true, true},     {vtDate, "12/31/2024", true, false},
      {vtDate, "31-12-2024", false, true},    {vtTime, "13:45", true, true},
      {vtTime, "25:00", false, false},        {vtDateTime, "12/31/2024 13:45", true, false},
      {vtDateTime, "31-12-2024 13:45", false, true},
  };
  for (const char* icu : {"en_US", "nl_NL"}) {
    LocaleScope locale(icu);
    const bool us = std::string(icu) == "en_US";
    for (const Case& c : cases) {
      e.SetValidationType(c.type);
      e.SetText(c.text);
      EXPECT_EQ(e.IsValid(), us ? c.us : c.nl) << icu << " " << c.type << " '" << c.text << "'";
      EXPECT_EQ(e.Valid(), e.IsValid());
    }
  }
  // Empty text follows ValidationAllowEmpty; OnValidate has the last word.
  e.SetValidationType(vtInteger);
  e.SetText("");
  EXPECT_TRUE(e.Valid());
  e.SetValidationAllowEmpty(false);
  EXPECT_FALSE(e.Valid());
  e.OnValidate = [](TObject*, bool& ok) { ok = !ok; };
  e.Revalidate();
  EXPECT_TRUE(e.Valid());
}

TEST(QVREdit, ColoursForLockedAndValid) {
  EditForm f;
  TQVREdit& e = *f.edit;
  e.SetValidationType(vtInteger);
  struct Case {
    bool locked;
    const char* text;
    TColor back, font;
  } defaults[] = {{false, "1", clWindow, clWindowText},
                  {false, "x", clWindow, clWindowText},
                  {true, "1", clBtnFace, clWindowText},
                  {true, "x", clBtnFace, clWindowText}};
  for (const Case& c : defaults) {
    e.SetLocked(c.locked);
    e.SetText(c.text);
    EXPECT_EQ(e.Color(), c.back) << c.locked << c.text;
    EXPECT_EQ(e.Font().Color(), c.font);
  }
  e.SetLockColor(0x000001);
  e.SetLockColorInvalid(0x000002);
  e.SetUnlockColor(0x000003);
  e.SetUnlockColorInvalid(0x000004);
  e.SetLockFontColor(0x000011);
  e.SetLockFontColorInvalid(0x000012);
  e.SetUnlockFontColor(0x000013);
  e.SetUnlockFontColorInvalid(0x000014);
  Case set[] = {{false, "1", 0x3, 0x13}, {false, "x", 0x4, 0x14}, {true, "1", 0x1, 0x11}, {true, "x", 0x2, 0x12}};
  for (const Case& c : set) {
    e.SetLocked(c.locked);
    e.SetText(c.text);
    EXPECT_EQ(e.Color(), c.back) << c.locked << c.text;
    EXPECT_EQ(e.Font().Color(), c.font);
  }
}

TEST(QVREdit, EditRectForBorderWidthAndButtonsOutside) {
  struct Case {
    bool border, outside;
    int width;  // of the button item
    TRect button, borderRect, text;
  } cases[] = {
      // Client 150 x 21.
      {true, true, 0, Rect(127, 0, 150, 21), Rect(0, 0, 129, 21), Rect(4, 2, 126, 19)},
      {true, false, 0, Rect(128, 1, 149, 20), Rect(0, 0, 150, 21), Rect(4, 2, 128, 19)},
      {true, true, 30, Rect(118, 2, 148, 19), Rect(0, 0, 120, 21), Rect(4, 2, 117, 19)},
      {false, true, 30, Rect(129, 0, 150, 21), TRect{}, Rect(2, 0, 128, 21)},
      {false, false, 0, Rect(129, 0, 150, 21), TRect{}, Rect(2, 0, 128, 21)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.border) + std::to_string(c.outside) + std::to_string(c.width));
    EditForm f;
    TQVREdit& e = *f.edit;
    e.SetBorder(c.border);
    e.SetButtonsOutside(c.outside);
    TQVRButtonItem* b = e.Buttons().Add();
    b->SetWidth(c.width);
    b->OnGetVisible = [](TQVRButtonItem*, bool& v) { v = true; };
    e.UpdateEditRect();
    EXPECT_EQ(b->ButtonRect, c.button);
    EXPECT_EQ(e.BorderRect(), c.borderRect);
    EXPECT_EQ(e.TextRect(), c.text);
    QMargins m = e.LineEdit()->textMargins();
    EXPECT_EQ(m.left(), c.text.Left);
    EXPECT_EQ(m.right(), 150 - c.text.Right);
  }
  // An image moves the text right by its width + 2.
  EditForm f;
  auto* images = CreateComponent<TImageList>(&f.form, 16, 16);
  f.edit->SetImages(images);
  f.edit->SetImageIndex(0);
  EXPECT_EQ(f.edit->TextRect().Left, 2 + 16 + 2 + 2);
}

TEST(QVREdit, CaptionLabelAboveLeftAndTaller) {
  EditForm f;
  TQVREdit& e = *f.edit;
  e.SetLabelCaption("Amount");
  e.SetLabelPosition(UnitQVREdit::lpAbove);
  TLabel* l = e.CaptionLabel();
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->Caption(), "Amount");
  EXPECT_EQ(l->Left(), 100);
  EXPECT_EQ(l->Top(), 85);
  e.SetLabelPosition(UnitQVREdit::lpLeft);
  e.SetLabelDistance(60);
  EXPECT_EQ(l->Left(), 40);
  EXPECT_EQ(l->Top(), 100 + (21 - l->Height()) / 2);
  e.SetHeight(6);
  EXPECT_LT(l->Top(), 100);
  EXPECT_EQ(l->Top(), 100 + (6 - l->Height()) / 2);
  e.SetLabelColor(clRed);
  EXPECT_EQ(l->Color(), clRed);
  e.SetLabelPosition(UnitQVREdit::lpNone);
  EXPECT_EQ(e.CaptionLabel(), nullptr);
}

// ---------------------------------------------------------------------------
// Placement

TEST(DropDownPlacement, DirectionSizesAndGrips) {
  const TRect area = Rect(0, 0, 1000, 800);
  struct Case {
    const char* name;
    TRect edit;
    TBiDiMode bidi;
    bool resizable;
    Byte direction, grip;
    TRect bounds;
  } cases[] = {
      {"room everywhere", Bounds(100, 100, 150, 21), bdLeftToRight, false, 3, 0, Bounds(100, 121, 150, 38)},
      {"right to left", Bounds(100, 100, 150, 21), bdRightToLeft, false, 2, 0, Bounds(100, 121, 150, 38)},
      {"no align", Bounds(100, 100, 150, 21), bdRightToLeftNoAlign, false, 2, 0, Bounds(100, 121, 150, 38)},
      {"reading only", Bounds(100, 100, 150, 21), bdRightToLeftReadingOnly, false, 3, 0, Bounds(100, 121, 150, 38)},
      {"room above only", Bounds(100, 770, 150, 21), bdLeftToRight, true, 1, 2, Bounds(100, 721, 150, 49)},
      {"room below only", Bounds(100, 0, 150, 21), bdLeftToRight, true, 3, 4, Bounds(100, 21, 150, 49)},
      {"room left only", Bounds(900, 100, 100, 21), bdLeftToRight, true, 2, 3, Bounds(850, 121, 150, 49)},
      {"left only, above", Bounds(900, 770, 100, 21), bdLeftToRight, true, 0, 1, Bounds(850, 721, 150, 49)},
      {"room right only", Bounds(0, 100, 100, 21), bdRightToLeft, false, 3, 0, Bounds(0, 121, 150, 38)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComboSizeInformation s = InitialComboSizeInformation(area, c.edit, c.bidi, c.resizable);
    s.Width = std::max(s.Width, 148);
    TDropDownPlacement p = PlaceDropDown(area, c.edit, c.resizable, s);
    ASSERT_FALSE(p.Failed);
    EXPECT_EQ(p.Direction, c.direction);
    EXPECT_EQ(p.Grip, c.grip);
    EXPECT_EQ(p.Bounds, c.bounds);
  }
  // Starting values and the margins added to them.
  TComboSizeInformation s = InitialComboSizeInformation(area, Bounds(100, 100, 150, 21), bdLeftToRight, false);
  EXPECT_EQ(s.Width, 148);
  EXPECT_EQ(s.Height, 36);
  EXPECT_EQ(s.MaxWidth, 900 - 2);
  EXPECT_EQ(s.MaxHeight, 679 - 2);
  TDropDownPlacement p = PlaceDropDown(area, Bounds(100, 100, 150, 21), false, s);
  EXPECT_EQ(p.MinWidth, 2);
  EXPECT_EQ(p.MinHeight, 2);
  EXPECT_EQ(p.MaxWidth, 900);
  EXPECT_EQ(p.MaxHeight, 679);

  // Off the monitor, no room, Min above Max: failures.
  EXPECT_TRUE(PlaceDropDown(area, Bounds(2000, 100, 150, 21), false,
                            InitialComboSizeInformation(area, Bounds(2000, 100, 150, 21), bdLeftToRight, false))
                  .Failed);
  TComboSizeInformation big = s;
  big.MinHeight = 900;
  EXPECT_TRUE(PlaceDropDown(area, Bounds(100, 100, 150, 21), false, big).Failed);
  TComboSizeInformation inverted = s;
  inverted.MinWidth = 500;
  inverted.MaxWidth = 100;
  EXPECT_TRUE(PlaceDropDown(area, Bounds(100, 100, 150, 21), false, inverted).Failed);
}

// ---------------------------------------------------------------------------
// Painting

TEST(QVREdit, FrameColoursRadiusArrowAndValidationImage) {
  EditForm f;
  TQVREdit& e = *f.edit;
  f.form.Show();
  auto pixel = [&](int x, int y) {
    TBitmap b;
    PaintControlTo(e, b);
    return b.GetPixel(x, y);
  };
  EXPECT_EQ(pixel(0, 10), rgb(clGrayText));  // cool
  e.Perform(CM_MOUSEENTER);
  EXPECT_EQ(pixel(0, 10), rgb(clHighlight));  // hot
  e.Perform(CM_MOUSELEAVE);
  QApplication::setActiveWindow(f.form.Widget());
  e.SetFocus();
  ASSERT_TRUE(e.Focused());
  EXPECT_EQ(pixel(0, 10), rgb(clBtnText));  // focused
  e.SetBorderRadius(8);
  EXPECT_NE(pixel(0, 0), rgb(clBtnText));  // rounded corner
  EXPECT_EQ(pixel(0, 10), rgb(clBtnText));
  e.SetBorderRadius(-1);
  EXPECT_EQ(pixel(0, 10), rgb(e.Color()));  // no frame

  // The drop-down arrow of a combo button, hot and pressed.
  TQVRComboBox* combo = CreateComponent<TQVRComboBox>(&f.form);
  combo->SetParent(&f.form);
  combo->SetBounds(100, 150, 150, 21);
  combo->Items().Add("A");
  combo->UpdateEditRect();
  TRect br = combo->Buttons().Items(0)->ButtonRect;
  const int cx = (br.Left + br.Right) / 2, cy = (br.Top + br.Bottom) / 2;
  auto comboPixel = [&](int x, int y) {
    TBitmap b;
    PaintControlTo(*combo, b);
    return b.GetPixel(x, y);
  };
  EXPECT_EQ(comboPixel(cx, cy), rgb(clBtnText));
  EXPECT_EQ(comboPixel(br.Left, br.Top), rgb(clBtnFace));
  combo->Perform(CM_MOUSEENTER);
  mouse(combo->Widget(), QEvent::MouseMove, cx, cy);
  EXPECT_EQ(combo->HotButton(), 0);
  EXPECT_EQ(comboPixel(br.Left, br.Top), rgb(ScaleColor(clBtnFace, 0.5)));
  mouse(combo->Widget(), QEvent::MouseButtonPress, cx, cy);
  EXPECT_EQ(combo->PressedButton(), 0);
  EXPECT_EQ(comboPixel(br.Left, br.Top), rgb(ScaleColor(clBtnFace, 2)));

  // The validation image beside an invalid edit, with its hint.
  auto* marks = CreateComponent<TImageList>(&f.form, 12, 12);
  TBitmap red(12, 12, pf24bit);
  red.Canvas().Brush().SetColor(clRed);
  red.Canvas().FillRect(Rect(0, 0, 12, 12));
  marks->Add(red);
  e.SetValidationImageList(marks);
  e.SetValidationImageIndex(0);
  e.SetValidationHint("Numbers only");
  e.SetValidationType(vtInteger);
  e.SetText("1");
  EXPECT_EQ(e.ValidationImage(), nullptr);
  e.SetText("x");
  ASSERT_NE(e.ValidationImage(), nullptr);
  EXPECT_EQ(e.ValidationImage()->BoundsRect(), Bounds(254, 104, 12, 12));
  EXPECT_EQ(e.ValidationImage()->Hint, "Numbers only");
  EXPECT_TRUE(e.ValidationImage()->ShowHint);
  TBitmap shot;
  PaintControlTo(f.form, shot);
  EXPECT_EQ(shot.GetPixel(258, 108), rgb(clRed));
  e.SetText("2");
  EXPECT_EQ(e.ValidationImage(), nullptr);
}

// A disabled edit or combo box draws its text grey, as the date pickers
// beside it do, and black again once enabled; the background stays.
TEST(QVREdit, DisabledTextIsGrey) {
  EditForm f;
  TQVRComboBox* combo = CreateComponent<TQVRComboBox>(&f.form);
  combo->SetParent(&f.form);
  combo->SetBounds(100, 150, 150, 21);
  combo->Items().Add("WWWWWW");
  combo->SetItemIndex(0);
  f.edit->SetText("WWWWWW");
  f.form.Show();
  // The darkest pixel of the text and a background pixel left of it.
  auto look = [](TCustomQVREdit& e) {
    TBitmap b;
    PaintControlTo(e, b);
    int darkest = 255;
    for (int y = 4; y < 17; ++y)
      for (int x = 4; x < 60; ++x) darkest = std::min(darkest, qGray(ToQColor(b.GetPixel(x, y)).rgb()));
    return std::pair{darkest, b.GetPixel(2, 10)};
  };
  for (TCustomQVREdit* e : {static_cast<TCustomQVREdit*>(f.edit), static_cast<TCustomQVREdit*>(combo)}) {
    const auto [enabledDark, enabledBack] = look(*e);
    EXPECT_LT(enabledDark, 60);
    e->SetEnabled(false);
    const auto [disabledDark, disabledBack] = look(*e);
    EXPECT_GT(disabledDark, 110);
    EXPECT_LT(disabledDark, 230);  // grey, not gone
    EXPECT_EQ(disabledBack, enabledBack);
    // Colour changes while disabled (validation, locking) keep it grey.
    e->SetLocked(true);
    e->SetLocked(false);
    EXPECT_GT(look(*e).first, 110);
    e->SetEnabled(true);
    EXPECT_LT(look(*e).first, 60);
  }
}

// ---------------------------------------------------------------------------
// Keys

TEST(QVREdit, KeysListOnlyEnterAsTabCtrlAAndKeypadDecimal) {
  EditForm f;
  TQVREdit& e = *f.edit;
  auto* next = CreateComponent<TQVREdit>(&f.form);
  next->SetParent(&f.form);
  next->SetBounds(100, 150, 150, 21);
  auto* ok = CreateComponent<TButton>(&f.form);
  ok->SetParent(&f.form);
  ok->SetDefault(true);
  int clicks = 0;
  ok->OnClick = [&](TObject*) { ++clicks; };
  f.form.Show();
  QApplication::setActiveWindow(f.form.Widget());
  e.SetFocus();

  key(e.Widget(), Qt::Key_A, Qt::NoModifier, "a");
  EXPECT_EQ(e.Text(), "a");
  // Return: the default button, unless Enter works as Tab.
  key(e.Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
  EXPECT_EQ(clicks, 1);
  e.EnterAsTab = true;
  key(e.Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(next->Focused());
  e.SetFocus();
  // Ctrl+A selects everything.
  e.SetText("hello");
  e.SetSelStart(2);
  key(e.Widget(), Qt::Key_A, Qt::ControlModifier, QString(QChar(1)));
  EXPECT_EQ(e.SelLength(), 5);
  // The keypad's decimal key types the locale's separator.
  {
    LocaleScope nl("nl_NL");
    e.SetText("");
    key(e.Widget(), Qt::Key_1, Qt::NoModifier, "1");
    key(e.Widget(), Qt::Key_Period, Qt::KeypadModifier, ".");
    key(e.Widget(), Qt::Key_Period, Qt::NoModifier, ".");
    EXPECT_EQ(e.Text(), "1,.");
  }
  // List-only: characters refused, Backspace empties.
  e.ListOnly = true;
  e.SetText("fixed");
  key(e.Widget(), Qt::Key_B, Qt::NoModifier, "b");
  EXPECT_EQ(e.Text(), "fixed");
  key(e.Widget(), Qt::Key_Backspace);
  EXPECT_EQ(e.Text(), "");
}

TEST(QVRComboBox, UpDownBackspaceAndReadOnly) {
  TForm form(nullptr);
  auto* c = CreateComponent<TQVRComboBox>(&form);
  c->SetParent(&form);
  for (const char* s : {"A", "B", "C"}) c->Items().Add(s);
  EXPECT_EQ(c->ItemIndex(), -1);
  key(c->Widget(), Qt::Key_Up);
  EXPECT_EQ(c->ItemIndex(), 0);  // from -1 to the first
  EXPECT_EQ(c->Text(), "A");
  key(c->Widget(), Qt::Key_Up);
  EXPECT_EQ(c->ItemIndex(), 0);
  key(c->Widget(), Qt::Key_Down);
  key(c->Widget(), Qt::Key_Down);
  key(c->Widget(), Qt::Key_Down);
  EXPECT_EQ(c->ItemIndex(), 2);
  EXPECT_EQ(c->Text(), "C");
  key(c->Widget(), Qt::Key_Backspace);
  EXPECT_EQ(c->ItemIndex(), -1);
  EXPECT_EQ(c->Text(), "");
  c->SetReadOnly(true);
  key(c->Widget(), Qt::Key_Down);
  EXPECT_EQ(c->ItemIndex(), -1);
}

// ---------------------------------------------------------------------------
// Clipboard

TEST(QVREdit, PastePathsFlattenLineBreaksAndLeaveTheClipboard) {
  EditForm f;
  TQVREdit& e = *f.edit;
  QClipboard* cb = QGuiApplication::clipboard();
  auto pasteByMenu = [&] {
    std::unique_ptr<QMenu> menu = e.CreateContextMenu();
    for (QAction* a : menu->actions())
      if (a->objectName() == "edit-paste") a->trigger();
  };
  struct Path {
    const char* name;
    std::function<void()> paste;
  } paths[] = {
      {"Ctrl+V", [&] { key(e.Widget(), Qt::Key_V, Qt::ControlModifier); }},
      {"Shift+Insert", [&] { key(e.Widget(), Qt::Key_Insert, Qt::ShiftModifier); }},
      {"menu", pasteByMenu},
  };
  for (const Path& p : paths) {
    SCOPED_TRACE(p.name);
    cb->setText("a\r\nb");
    e.SetLocked(false);
    e.ListOnly = false;
    e.SetText("");
    ASSERT_EQ(cb->text().toStdString(), "a\r\nb");
    p.paste();
    EXPECT_EQ(e.Text(), "a b");
    EXPECT_EQ(cb->text().toStdString(), "a\r\nb");
    // Locked and list-only edits refuse every path.
    e.SetText("");
    e.SetLocked(true);
    p.paste();
    EXPECT_EQ(e.Text(), "");
    e.SetLocked(false);
    e.ListOnly = true;
    p.paste();
    EXPECT_EQ(e.Text(), "");
  }
}

TEST(QVREdit, CutRules) {
  EditForm f;
  TQVREdit& e = *f.edit;
  QClipboard* cb = QGuiApplication::clipboard();
  auto select = [&](int start, int length) {
    e.SetSelStart(start);
    e.SetSelLength(length);
  };
  // Locked: Ctrl+X copies and keeps the text.
  e.SetText("secret");
  e.SetLocked(true);
  select(0, 3);
  key(e.Widget(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(e.Text(), "secret");
  EXPECT_EQ(cb->text().toStdString(), "sec");
  // List-only: a partial selection is copied, the whole text cut.
  e.SetLocked(false);
  e.ListOnly = true;
  select(1, 2);
  key(e.Widget(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(e.Text(), "secret");
  EXPECT_EQ(cb->text().toStdString(), "ec");
  select(0, 6);
  key(e.Widget(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(e.Text(), "");
  EXPECT_EQ(cb->text().toStdString(), "secret");
  // Otherwise a normal cut.
  e.ListOnly = false;
  e.SetText("plain");
  select(0, 2);
  e.CutToClipboard();
  EXPECT_EQ(e.Text(), "ain");
  EXPECT_EQ(cb->text().toStdString(), "pl");
}

// ---------------------------------------------------------------------------
// Combo box and container

struct ComboForm {
  TForm form{nullptr};
  TQVRComboBox* combo = CreateComponent<TQVRComboBox>(&form);
  TQVREdit* other = CreateComponent<TQVREdit>(&form);
  explicit ComboForm(int items = 3) {
    form.SetBounds(0, 0, 400, 300);
    combo->SetParent(&form);
    combo->SetBounds(10, 10, 150, 21);
    other->SetParent(&form);
    other->SetBounds(10, 200, 150, 21);
    for (int i = 0; i < items; ++i) combo->Items().Add(std::string(1, static_cast<char>('A' + i % 26)) + (i >= 26 ? "x" : ""));
    form.Show();
  }
};

TEST(QVRComboBox, DropDownRowsAndResizing) {
  struct Case {
    int items, dropDownCount, rows;
  } cases[] = {{3, 8, 3}, {20, 8, 8}, {20, -1, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.items) + " " + std::to_string(c.dropDownCount));
    ComboForm f(c.items);
    f.combo->DropDownCount = c.dropDownCount;
    f.combo->ComboResizeable = true;
    f.combo->DropDown(true);
    ASSERT_TRUE(f.combo->DroppedDown());
    TComboContainer* box = f.combo->GetContainer();
    const int h = f.combo->ClientHeight();
    EXPECT_EQ(box->Height(), c.rows * h + 13);
    EXPECT_EQ(box->MaxHeight, std::min(c.items * h + 13, box->MaxHeight));
    EXPECT_EQ(box->Grip(), 4);
    EXPECT_EQ(box->MinWidth, 150 - 2 + 2);
    // The grip drags the height up to all rows.
    const int bottom = box->Height() - 5, right = box->Width() - 5;
    EXPECT_EQ(box->HitTest({right, bottom}), HTBOTTOMRIGHT);
    f.combo->CloseUp(false);
    processEvents();
  }
}

TEST(QVRComboBox, MultiSelectTicksAndText) {
  ComboForm f;
  f.combo->MultiSelect = true;
  f.combo->DropDown(true);
  auto* list = dynamic_cast<TCheckListBox*>(f.combo->List());
  ASSERT_NE(list, nullptr);
  list->SetChecked(2, true);
  list->SetChecked(0, true);
  f.combo->TakeTickedItems();
  EXPECT_EQ(f.combo->Text(), "A;C");
  f.combo->CloseUp(false);
  processEvents();
  EXPECT_EQ(f.combo->GetContainer(), nullptr);
  f.combo->DropDown(true);
  list = dynamic_cast<TCheckListBox*>(f.combo->List());
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->Checked(0));
  EXPECT_FALSE(list->Checked(1));
  EXPECT_TRUE(list->Checked(2));
  f.combo->CloseUp(false);
  processEvents();
  f.combo->SetText("A;CC");
  EXPECT_TRUE(f.combo->IsItemTicked(0));
  EXPECT_FALSE(f.combo->IsItemTicked(2));
  EXPECT_FALSE(f.combo->IsItemTicked(3));
}

TEST(QVRComboBox, ItemsAndItemIndex) {
  ComboForm f;
  TQVRComboBox& c = *f.combo;
  c.SetItemIndexChecked(1);
  EXPECT_EQ(c.Text(), "B");
  try {
    c.SetItemIndexChecked(3);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "ItemIndex out of range error.");
  }
  EXPECT_THROW(c.SetItemIndexChecked(-2), Exception);
  c.SetItemIndex(7);  // the virtual writer ignores it
  EXPECT_EQ(c.ItemIndex(), 1);
  // Assigned items select the item equal to the text.
  TStringList other;
  for (const char* s : {"X", "B", "Y"}) other.Add(s);
  c.SetItemIndex(-1);
  c.SetText("Y");
  c.SetItems(other);
  EXPECT_EQ(c.ItemIndex(), 2);
  // A text that is no item keeps the index.
  c.SetText("nothing");
  EXPECT_EQ(c.ItemIndex(), 2);
  c.SetText("X");
  EXPECT_EQ(c.ItemIndex(), 0);
}

TEST(QVRComboBox, ClicksOutsideCloseTheListAndStillArrive) {
  ComboForm f;
  f.combo->MultiSelect = true;  // a tick does not close the list
  f.combo->DropDown(true);
  ASSERT_TRUE(f.combo->DroppedDown());
  TComboContainer* box = f.combo->GetContainer();
  EXPECT_TRUE(box->HookInstalled());
  // A click in the list keeps it open.
  mouse(f.combo->List()->ListWidget()->viewport(), QEvent::MouseButtonPress, 5, 5);
  EXPECT_TRUE(box->Visible());
  // A click on another control closes it and still reaches that control.
  int downs = 0;
  f.other->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int32_t, int32_t) { ++downs; };
  mouse(f.other->Widget(), QEvent::MouseButtonPress, 5, 5);
  mouse(f.other->Widget(), QEvent::MouseButtonRelease, 5, 5);
  EXPECT_EQ(downs, 1);
  EXPECT_FALSE(f.combo->DroppedDown());
  processEvents();
  EXPECT_EQ(f.combo->GetContainer(), nullptr);  // cleaned up

  // The application going inactive closes it too.
  f.combo->DropDown(true);
  ASSERT_TRUE(f.combo->DroppedDown());
  QEvent state(QEvent::ApplicationStateChange);
  QApplication::sendEvent(qApp, &state);  // the state itself is not active offscreen
  if (QGuiApplication::applicationState() != Qt::ApplicationActive) {
    EXPECT_FALSE(f.combo->DroppedDown());
  }
  processEvents();
}

TEST(QVREdit, CleanupMethods) {
  for (TEditComboCleanupMethod method : {cmNone, cmUnParent, cmFree}) {
    SCOPED_TRACE(method);
    TForm form(nullptr);
    form.Show();
    auto* e = CreateComponent<TQVREdit>(&form);
    e->SetParent(&form);
    e->SetBounds(10, 10, 150, 21);
    e->ComboCleanup = method;
    TControl* child = nullptr;
    TComboContainer* seen = nullptr;
    int cleanups = 0;
    e->BeforeExpanding = [&](TObject*, TComboSizeInformation&) {
      child = CreateComponent<TQVREdit>(&form);
      child->SetParent(e->GetContainer());
      seen = e->GetContainer();
    };
    e->OnComboCleanup = [&](TObject*) { ++cleanups; };
    e->DropDown(true);
    ASSERT_TRUE(e->DroppedDown());
    ASSERT_EQ(child->Parent(), seen);
    e->CloseUp(false);
    processEvents();
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(e->GetContainer(), nullptr);
    if (method == cmUnParent) {
      EXPECT_EQ(form.ComponentCount(), 2);
      EXPECT_EQ(child->Parent(), nullptr);
    } else {
      // cmFree frees the controls; with cmNone they go with the container.
      EXPECT_EQ(form.ComponentCount(), 1);
    }
  }
}

TEST(QVREdit, SecondExpandNestedContainersAndButtonsThatFreeTheEdit) {
  // A second Expand while visible shows a fresh container.
  {
    ComboForm f;
    f.combo->DropDown(true);
    f.combo->Expand();
    EXPECT_TRUE(f.combo->DroppedDown());
    f.combo->CloseUp(false);
    processEvents();
    EXPECT_EQ(f.combo->GetContainer(), nullptr);
  }
  // Two containers (the second edit inside the first one's) hidden out of
  // order: each takes away only its own filter.
  {
    TForm form(nullptr);
    form.Show();
    auto* outer = CreateComponent<TQVREdit>(&form);
    outer->SetParent(&form);
    outer->SetBounds(10, 10, 150, 21);
    TQVREdit* inner = nullptr;
    outer->BeforeExpanding = [&](TObject*, TComboSizeInformation& s) {
      inner = CreateComponent<TQVREdit>(outer);
      inner->SetParent(outer->GetContainer());
      inner->SetBounds(0, 0, 100, 21);
      s.Height = 100;
    };
    outer->DropDown(true);
    ASSERT_NE(inner, nullptr);
    inner->DropDown(true);
    ASSERT_TRUE(inner->DroppedDown());
    outer->GetContainer()->HideContainer();
    EXPECT_FALSE(outer->GetContainer()->HookInstalled());
    EXPECT_TRUE(inner->GetContainer()->HookInstalled());
    inner->CloseUp(false);
    processEvents();
    mouse(form.Widget(), QEvent::MouseButtonPress, 300, 300);
    mouse(form.Widget(), QEvent::MouseButtonRelease, 300, 300);
  }
  // A button whose action frees its edit; and one that raises.
  {
    TForm form(nullptr);
    auto* e = CreateComponent<TQVREdit>(&form);
    e->SetParent(&form);
    e->SetBounds(10, 10, 150, 21);
    TQVRButtonItem* b = e->Buttons().Add();
    b->OnGetVisible = [](TQVRButtonItem*, bool& v) { v = true; };
    b->OnGetEnabled = [](TQVRButtonItem*, bool& v) { v = true; };
    bool raise = true;
    b->OnExecute = [&](TQVRButtonItem*, bool& handled) {
      handled = true;
      if (raise) throw Exception("refused");
      FreeObject(e);
    };
    e->UpdateEditRect();
    TRect r = b->ButtonRect;
    QWidget* w = e->Widget();
    e->Perform(CM_MOUSEENTER);
    mouse(w, QEvent::MouseMove, r.Left + 3, r.Top + 3);
    mouse(w, QEvent::MouseButtonPress, r.Left + 3, r.Top + 3);
    std::string shown;
    auto old = SetMessageDlgHook([&](const std::string& t, TMsgDlgType, TMsgDlgButtons) {
      shown = t;
      return mrOk;
    });
    mouse(w, QEvent::MouseButtonRelease, r.Left + 3, r.Top + 3);
    EXPECT_EQ(shown, "refused");
    EXPECT_EQ(e->PressedButton(), -1);
    raise = false;
    mouse(w, QEvent::MouseMove, r.Left + 3, r.Top + 3);
    mouse(w, QEvent::MouseButtonPress, r.Left + 3, r.Top + 3);
    mouse(w, QEvent::MouseButtonRelease, r.Left + 3, r.Top + 3);
    EXPECT_EQ(form.ComponentCount(), 0);
    SetMessageDlgHook(old);
    processEvents();
  }
}

}  // namespace
}  // namespace px
