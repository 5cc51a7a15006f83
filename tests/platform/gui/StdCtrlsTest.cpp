#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <map>

#include "platform/gui/ComCtrls.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/FormTexts.h"
#include "platform/gui/StdCtrls.h"

namespace px {
namespace {

// A small dialog as screens build them: a title panel, a status bar, a
// labelled edit, a check box, a radio group, a combo box and an OK button.
struct Dialog {
  TForm form{nullptr};
  TPanel* title = CreateComponent<TPanel>(&form);
  TStatusBar* status = CreateComponent<TStatusBar>(&form);
  TLabel* label = CreateComponent<TLabel>(&form);
  TEdit* edit = CreateComponent<TEdit>(&form);
  TCheckBox* check = CreateComponent<TCheckBox>(&form);
  TRadioGroup* group = CreateComponent<TRadioGroup>(&form);
  TComboBox* combo = CreateComponent<TComboBox>(&form);
  TButton* ok = CreateComponent<TButton>(&form);
  Dialog() {
    form.SetBounds(0, 0, 400, 300);
    title->SetParent(&form);
    title->SetAlign(alTop);
    title->SetHeight(30);
    title->SetColor(clNavy);
    title->SetCaption("[Title]");
    status->SetParent(&form);
    status->Panels().Add().Width = 150;
    status->Panels().Add().Text = "[Ready]";
    label->SetParent(&form);
    label->SetBounds(10, 40, 10, 10);
    label->SetCaption("[Name]");
    edit->SetParent(&form);
    edit->SetBounds(100, 40, 120, 21);
    check->SetParent(&form);
    check->SetBounds(10, 70, 120, 17);
    check->SetCaption("[Check]");
    group->SetParent(&form);
    group->SetBounds(10, 95, 200, 100);
    group->SetCaption("[Language]");
    group->Items().Add("[Dutch]");
    group->Items().Add("[English]");
    group->Items().Add("German");
    combo->SetParent(&form);
    combo->SetBounds(220, 95, 120, 21);
    combo->SetStyle(csDropDownList);
    combo->Items().Add("[One]");
    combo->Items().Add("[Two]");
    ok->SetParent(&form);
    ok->SetBounds(300, 240, 75, 25);
    ok->SetCaption("OK");
    ok->SetAnchors({akRight, akBottom});
    ok->SetDefault(true);
    ok->ModalResult = mrOk;
  }
};

const std::map<std::string, std::string> kDutch = {
    {"[Title]", "Instellingen"}, {"[Ready]", "Gereed"}, {"[Name]", "Naam van de gebruiker"},
    {"[Check]", "Controle"},     {"[Language]", "Taal"}, {"[Dutch]", "Nederlands"},
    {"[English]", "Engels"},     {"[One]", "Een"},       {"[Two]", "Twee"}};

std::string translate(const std::string& s) {
  auto it = kDutch.find(s);
  return it == kDutch.end() ? s : it->second;
}

TEST(StdCtrls, SmallFormLaidOutTranslatedAndRendered) {
  Dialog d;
  d.group->SetItemIndex(1);
  d.combo->SetItemIndex(0);
  const int32_t labelWidth = d.label->Width();
  ASSERT_EQ(d.combo->ItemIndex(), 0);
  TranslateComponentTexts(&d.form, translate);
  for (Integer i = 0; i < d.form.ComponentCount(); ++i) TranslateComponentTexts(d.form.Components(i), translate);

  EXPECT_EQ(d.title->Caption(), "Instellingen");
  EXPECT_EQ(d.status->Panels()[1].Text, "Gereed");
  EXPECT_EQ(d.check->Caption(), "Controle");
  EXPECT_EQ(d.group->Items().Get(0), "Nederlands");
  EXPECT_EQ(d.group->Button(1)->text(), "Engels");
  EXPECT_EQ(d.group->ItemIndex(), 1);  // the choice survives the new texts
  EXPECT_TRUE(d.group->Button(1)->isChecked());
  EXPECT_EQ(d.combo->ComboBox()->itemText(1), "Twee");
  EXPECT_EQ(d.combo->ItemIndex(), 0);
  EXPECT_EQ(d.combo->Text(), "Een");
  // The auto-sized label grew with its longer text.
  EXPECT_EQ(d.label->Caption(), "Naam van de gebruiker");
  EXPECT_GT(d.label->Width(), labelWidth);

  // Layout: the title on top, the status bar at the bottom, the anchored
  // button following the corner on resize.
  EXPECT_EQ(d.title->BoundsRect(), Rect(0, 0, 400, 30));
  EXPECT_EQ(d.status->BoundsRect(), Rect(0, 300 - 19, 400, 300));
  d.form.SetBounds(0, 0, 500, 350);
  EXPECT_EQ(d.ok->BoundsRect(), Rect(400, 290, 475, 315));
  EXPECT_EQ(d.status->Top(), 350 - 19);
  EXPECT_EQ(d.status->PanelRect(1), Rect(150, 0, 500, 19));

  // Rendered: the panel's colour inside its bevel, the bevel's light edge,
  // the sunken frame of the second status panel.
  d.form.Show();
  TBitmap shot;
  PaintControlTo(d.form, shot);
  EXPECT_EQ(shot.GetPixel(3, 15), clNavy);
  EXPECT_EQ(shot.GetPixel(0, 15), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(shot.GetPixel(499, 15), ColorToRGB(clBtnShadow));
  EXPECT_EQ(shot.GetPixel(150, 350 - 19 + 5), ColorToRGB(clBtnShadow));
}

TEST(StdCtrls, EventsFromCodeAndFromTheUser) {
  Dialog d;
  d.form.Show();
  int editChanges = 0, checkClicks = 0, groupClicks = 0, comboChanges = 0;
  d.edit->OnChange = [&](TObject*) { ++editChanges; };
  d.check->OnClick = [&](TObject*) { ++checkClicks; };
  d.group->OnClick = [&](TObject*) { ++groupClicks; };
  d.combo->OnChange = [&](TObject*) { ++comboChanges; };

  d.edit->SetText("abc");
  EXPECT_EQ(editChanges, 1);
  EXPECT_EQ(d.edit->Text(), "abc");
  d.edit->SetMaxLength(2);  // cuts the text: a change
  EXPECT_EQ(d.edit->Text(), "ab");
  d.edit->SetText("wxyz");
  EXPECT_EQ(d.edit->Text(), "wx");
  EXPECT_EQ(editChanges, 3);
  // Text changed in the widget reaches the control and its OnChange.
  d.edit->SetMaxLength(0);
  d.edit->LineEdit()->end(false);
  d.edit->LineEdit()->insert("!");
  EXPECT_EQ(d.edit->Text(), "wx!");
  EXPECT_EQ(editChanges, 4);

  d.check->SetChecked(true);
  EXPECT_EQ(checkClicks, 1);
  d.check->SetChecked(true);
  EXPECT_EQ(checkClicks, 1);
  d.check->Widget()->setFocus();
  static_cast<QAbstractButton*>(d.check->Widget())->click();
  EXPECT_FALSE(d.check->Checked());
  EXPECT_EQ(checkClicks, 2);

  d.group->Button(2)->click();
  EXPECT_EQ(d.group->ItemIndex(), 2);
  EXPECT_EQ(groupClicks, 1);
  d.group->SetItemIndex(0);
  EXPECT_EQ(groupClicks, 2);
  EXPECT_FALSE(d.group->Button(2)->isChecked());
  d.group->SetItemIndex(-1);
  EXPECT_EQ(d.group->ItemIndex(), -1);
  EXPECT_FALSE(d.group->Button(0)->isChecked());

  // The combo box: code runs nothing, a choice by the user runs OnChange.
  d.combo->SetItemIndex(1);
  d.combo->SetText("[one]");
  EXPECT_EQ(d.combo->ItemIndex(), 0);
  EXPECT_EQ(comboChanges, 0);
  d.combo->ComboBox()->setCurrentIndex(1);
  emit d.combo->ComboBox()->activated(1);
  EXPECT_EQ(comboChanges, 1);
  EXPECT_EQ(d.combo->Text(), "[Two]");
  d.combo->Items().Clear();
  EXPECT_EQ(d.combo->ItemIndex(), -1);

  // Return in the edit presses the default button.
  d.form.ModalResult = mrNone;
  QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QApplication::sendEvent(d.edit->Widget(), &ret);
  EXPECT_EQ(d.form.ModalResult, mrOk);
}

TEST(StdCtrls, MemoLinesAndText) {
  TForm form(nullptr);
  auto* memo = CreateComponent<TMemo>(&form);
  memo->SetParent(&form);
  int changes = 0;
  memo->OnChange = [&](TObject*) { ++changes; };
  memo->Lines().Add("first");
  memo->Lines().Add("second");
  EXPECT_EQ(memo->Text(), "first\nsecond");
  EXPECT_EQ(memo->TextEdit()->toPlainText().toStdString(), "first\nsecond");
  memo->SetText("a\nb\nc");
  EXPECT_EQ(memo->Lines().Count(), 3);
  EXPECT_EQ(memo->Lines().Get(2), "c");
  memo->TextEdit()->appendPlainText("d");
  EXPECT_EQ(memo->Lines().Count(), 4);
  EXPECT_TRUE(memo->Modified);
  EXPECT_EQ(changes, 4);
}

// A memo shows the scroll bars it asks for always; a rich-text box only
// while its text is larger than the box.
TEST(StdCtrls, RichEditScrollBarsShowOnlyWhenNeeded) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto* memo = CreateComponent<TMemo>(&form);
  auto* rich = CreateComponent<TRichEdit>(&form);
  for (TCustomMemo* m : {static_cast<TCustomMemo*>(memo), static_cast<TCustomMemo*>(rich)}) {
    m->SetParent(&form);
    m->SetBounds(0, m == memo ? 0 : 150, 200, 100);
    m->SetWordWrap(false);
    m->SetScrollBars(ssBoth);
  }
  form.Show();
  auto bars = [](TCustomMemo* m) {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    return std::pair{m->TextEdit()->horizontalScrollBar()->isVisible(), m->TextEdit()->verticalScrollBar()->isVisible()};
  };
  EXPECT_EQ(bars(memo), std::pair(true, true));
  EXPECT_EQ(bars(rich), std::pair(false, false));
  rich->Lines().Add(std::string(80, 'W'));
  EXPECT_EQ(bars(rich), std::pair(true, false));
  for (int i = 0; i < 20; ++i) rich->Lines().Add("line");
  EXPECT_EQ(bars(rich), std::pair(true, true));
  rich->Lines().Clear();
  EXPECT_EQ(bars(rich), std::pair(false, false));
  // Bars it does not ask for stay away however long the text.
  rich->SetScrollBars(ssVertical);
  rich->Lines().Add(std::string(80, 'W'));
  EXPECT_EQ(bars(rich), std::pair(false, false));
}

int caretX(TEdit* edit) {
  return edit->LineEdit()->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
}

TEST(StdCtrls, EditFormattingRectMovesTheText) {
  TForm form(nullptr);
  auto* edit = CreateComponent<TEdit>(&form);
  edit->SetParent(&form);
  edit->SetBounds(0, 0, 120, 24);
  const TRect frame = edit->FormattingRect();
  EXPECT_GT(frame.Width(), 100);
  const int caretLeft = caretX(edit);
  // Inside the frame, and reaching past it on the left and at the top.
  for (TRect r : {Rect(6, 3, 110, 21), Rect(-1, -1, 118, 25)}) {
    edit->SetFormattingRect(r);
    EXPECT_EQ(edit->FormattingRect(), r);
    EXPECT_EQ(caretX(edit) - caretLeft, r.Left - frame.Left);
  }
}

TEST(StdCtrls, OnlyRightToLeftMirrorsAnEditsAlignment) {
  TForm form(nullptr);
  auto* edit = CreateComponent<TEdit>(&form);
  edit->SetParent(&form);
  struct Case {
    TBiDiMode mode;
    TAlignment alignment;
    Qt::Alignment seen;
  } cases[] = {{bdLeftToRight, taLeftJustify, Qt::AlignLeft},
               {bdRightToLeft, taLeftJustify, Qt::AlignRight},
               {bdRightToLeft, taRightJustify, Qt::AlignLeft},
               {bdRightToLeft, taCenter, Qt::AlignHCenter},
               {bdRightToLeftReadingOnly, taLeftJustify, Qt::AlignLeft},
               {bdRightToLeftNoAlign, taRightJustify, Qt::AlignRight},
               {bdLeftToRight, taRightJustify, Qt::AlignRight}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.alignment);
    edit->SetAlignment(c.alignment);
    edit->SetBiDiMode(c.mode);
    QLineEdit* line = edit->LineEdit();
    EXPECT_EQ(line->layoutDirection(), c.mode == bdLeftToRight ? Qt::LeftToRight : Qt::RightToLeft);
    EXPECT_EQ(QStyle::visualAlignment(line->layoutDirection(), line->alignment()) &
                  (Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter),
              c.seen);
    EXPECT_EQ(edit->UseRightToLeftReading(), c.mode != bdLeftToRight);
  }
}

TEST(ExtCtrls, ScrollBoxScrollsItsChildren) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 300);
  auto* box = CreateComponent<TScrollBox>(&form);
  box->SetParent(&form);
  box->SetBounds(0, 0, 200, 100);
  auto* near = CreateComponent<TPanel>(&form);
  near->SetBounds(0, 0, 50, 20);
  near->SetParent(box);
  EXPECT_EQ(box->VertRange(), 20);
  EXPECT_EQ(box->ClientRect(), Rect(0, 0, 200, 100));  // no bars needed
  auto* far = CreateComponent<TPanel>(&form);
  far->SetBounds(10, 500, 50, 40);
  far->SetParent(box);
  EXPECT_EQ(box->VertRange(), 540);
  EXPECT_LT(box->ClientRect().Width(), 200);  // the vertical bar takes room
  box->SetVertPosition(100);
  EXPECT_EQ(far->Top(), 400);
  EXPECT_EQ(near->Top(), -100);
  box->ScrollInView(far);
  EXPECT_EQ(far->Top() + far->Height(), box->ClientRect().Bottom);
  box->SetVertPosition(100000);  // clamped to the range
  EXPECT_EQ(box->VertPosition(), 540 - box->ClientRect().Height());
  box->SetVertPosition(0);
  EXPECT_EQ(far->Top(), 500);
}

}  // namespace
}  // namespace px

namespace px {
namespace {

// Each row: edge, flags, the expected colours of the outer ring's top-left and
// bottom-right, of the inner ring's top-left, and the rect left after drawing.
TEST(ExtCtrls, DrawEdgeRingsColoursAndAdjust) {
  struct Case {
    uint32_t edge, flags;
    TColor outerTL, outerBR, innerTL, inside;
    TRect after;
  };
  const TColor none = clWhite;
  const Case cases[] = {
      {EDGE_RAISED, BF_RECT, cl3DLight, cl3DDkShadow, clBtnHighlight, none, Rect(1, 1, 11, 11)},
      {EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST, clBtnHighlight, cl3DDkShadow, cl3DLight, none, Rect(3, 3, 9, 9)},
      {EDGE_SUNKEN, BF_RECT | BF_MIDDLE, clBtnShadow, clBtnHighlight, cl3DDkShadow, clBtnFace, Rect(1, 1, 11, 11)},
      {BDR_RAISEDINNER, BF_RECT | BF_FLAT | BF_MIDDLE | BF_ADJUST, clBtnFace, clBtnFace, clBtnFace, clBtnFace,
       Rect(2, 2, 10, 10)},
      {EDGE_RAISED, BF_RECT | BF_FLAT, clBtnShadow, clBtnShadow, clBtnFace, none, Rect(1, 1, 11, 11)},
  };
  for (const Case& c : cases) {
    TBitmap bmp(12, 12, pf24bit);
    bmp.Canvas().Brush().SetColor(clWhite);
    bmp.Canvas().FillRect(Rect(0, 0, 12, 12));
    TRect r = Rect(1, 1, 11, 11);
    EXPECT_TRUE(DrawEdge(bmp.Canvas(), r, c.edge, c.flags));
    SCOPED_TRACE(testing::Message() << "edge " << c.edge << " flags " << c.flags);
    EXPECT_EQ(bmp.GetPixel(5, 1), ColorToRGB(c.outerTL));
    EXPECT_EQ(bmp.GetPixel(1, 5), ColorToRGB(c.outerTL));
    EXPECT_EQ(bmp.GetPixel(5, 10), ColorToRGB(c.outerBR));
    EXPECT_EQ(bmp.GetPixel(10, 5), ColorToRGB(c.outerBR));
    EXPECT_EQ(bmp.GetPixel(5, 2), ColorToRGB(c.innerTL));
    EXPECT_EQ(bmp.GetPixel(5, 5), ColorToRGB(c.inside));
    EXPECT_EQ(bmp.GetPixel(0, 0), ColorToRGB(clWhite));  // outside untouched
    EXPECT_EQ(r, c.after);
  }
}

TEST(ExtCtrls, DrawEdgeOnlyOnTheAskedSides) {
  TBitmap bmp(10, 10, pf24bit);
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, 10, 10));
  TRect r = Rect(0, 0, 10, 10);
  // The header's normal thick button: no right side.
  EXPECT_TRUE(DrawEdge(bmp.Canvas(), r, EDGE_RAISED, 0x380B));
  EXPECT_EQ(r, Rect(2, 2, 10, 8));
  EXPECT_EQ(bmp.GetPixel(9, 5), ColorToRGB(clBtnFace));  // middle filled up to the edge
  EXPECT_EQ(bmp.GetPixel(5, 9), ColorToRGB(cl3DDkShadow));
  TRect empty = Rect(0, 0, 10, 10);
  EXPECT_FALSE(DrawEdge(bmp.Canvas(), empty, 0, BF_RECT));
}

}  // namespace
}  // namespace px
