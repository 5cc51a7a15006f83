#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWidget>

#include "platform/gui/CategoryButtons.h"
#include "platform/gui/Forms.h"

namespace px {
namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPoint p) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, p, w->mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void click(QWidget* w, TPoint p) {
  sendMouse(w, QEvent::MouseButtonPress, {p.X, p.Y});
  sendMouse(w, QEvent::MouseButtonRelease, {p.X, p.Y});
}
TPoint middle(const TRect& r) { return Point((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }

// The main window's bar: full-size 80 x 80 buttons in a 92-pixel column.
struct Bar {
  TForm form{nullptr};
  TActionList* list = CreateComponent<TActionList>(&form);
  TAction* settings = CreateComponent<TAction>(&form);
  TAction* count = CreateComponent<TAction>(&form);
  TCategoryButtons* bar = CreateComponent<TCategoryButtons>(&form);
  int executed = 0;
  Bar() {
    form.SetBounds(0, 0, 200, 400);
    bar->SetParent(&form);
    bar->SetBounds(0, 0, 92, 400);
    bar->SetBorderStyle(bsNone);
    bar->SetButtonWidth(80);
    bar->SetButtonHeight(80);
    bar->SetButtonOptions({boFullSize, boUsePlusMinus, boShowCaptions});
    bar->SetRegularButtonColor(clWhite);
    bar->SetSelectedButtonColor(static_cast<TColor>(0xE6E6E6));
    for (TAction* a : {settings, count}) {
      a->SetActionList(list);
      a->OnExecute = [this](TObject*) { ++executed; };
    }
    settings->SetCaption("Settings");
    settings->SetHint("Change the settings");
    count->SetCaption("Count");
  }
  TButtonItem* add(const std::string& category, TAction* action) {
    TButtonCategory* c = bar->FindCategory(category);
    if (!c) {
      c = bar->AddCategory();
      c->SetCaption(category);
      c->SetColor(clBtnFace);
    }
    TButtonItem* item = c->Add();
    item->SetAction(action);
    return item;
  }
};

TEST(CategoryButtons, LayoutStacksCategoriesAndTheirButtons) {
  Bar b;
  TButtonItem* s = b.add("General", b.settings);
  TButtonItem* c = b.add("General", b.count);
  TButtonItem* other = b.add("Other", b.count);
  ASSERT_EQ(b.bar->CategoryCount(), 2);
  EXPECT_EQ(b.bar->Categories(0)->Count(), 2);
  EXPECT_THROW(b.bar->Categories(2), EListError);

  const int32_t h = b.bar->CategoryHeaderHeight();
  EXPECT_GT(h, 6);
  EXPECT_EQ(b.bar->CategoryRect(b.bar->Categories(0)), Rect(0, 0, 92, h));
  EXPECT_EQ(b.bar->ButtonRect(s), Rect(0, h, 92, h + 80));
  EXPECT_EQ(b.bar->ButtonRect(c), Rect(0, h + 80, 92, h + 160));
  EXPECT_EQ(b.bar->CategoryRect(b.bar->Categories(1)), Rect(0, h + 160, 92, 2 * h + 160));
  EXPECT_EQ(b.bar->ButtonRect(other), Rect(0, 2 * h + 160, 92, 2 * h + 240));
  EXPECT_EQ(b.bar->GetButtonAt(5, h + 100), c);
  EXPECT_EQ(b.bar->GetButtonAt(5, 2), nullptr);

  // Collapsed: the buttons leave the layout and the next category moves up.
  b.bar->Categories(0)->SetCollapsed(true);
  EXPECT_TRUE(b.bar->ButtonRect(s).IsEmpty());
  EXPECT_EQ(b.bar->CategoryRect(b.bar->Categories(1)), Rect(0, h, 92, 2 * h));

  // Fixed-size buttons fill rows of as many as fit.
  b.bar->Categories(0)->SetCollapsed(false);
  b.bar->SetButtonOptions({boShowCaptions});
  b.bar->SetButtonWidth(40);
  b.bar->SetButtonHeight(30);
  EXPECT_EQ(b.bar->ButtonRect(s), Rect(0, h, 40, h + 30));
  EXPECT_EQ(b.bar->ButtonRect(c), Rect(40, h, 80, h + 30));
  EXPECT_EQ(b.bar->CategoryRect(b.bar->Categories(1)), Rect(0, h + 30, 92, 2 * h + 30));
}

TEST(CategoryButtons, ClicksRunActionsAndCollapseCategories) {
  Bar b;
  TButtonItem* s = b.add("General", b.settings);
  TButtonItem* c = b.add("General", b.count);
  int collapsed = 0, clicked = 0;
  // The main window keeps its categories open.
  b.bar->OnCategoryCollapase = [&](TObject*, TButtonCategory* cat) {
    ++collapsed;
    cat->SetCollapsed(false);
  };
  b.bar->OnButtonClicked = [&](TObject*) { ++clicked; };
  b.form.Show();
  QWidget* w = b.bar->Widget();

  EXPECT_EQ(s->Caption(), "Settings");
  EXPECT_EQ(s->Hint(), "Change the settings");
  click(w, middle(b.bar->ButtonRect(s)));
  EXPECT_EQ(b.executed, 1);
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(b.bar->SelectedItem(), s);

  // Pressed on one button, released on another: nothing runs.
  sendMouse(w, QEvent::MouseButtonPress, {5, b.bar->ButtonRect(s).Top + 5});
  sendMouse(w, QEvent::MouseButtonRelease, {5, b.bar->ButtonRect(c).Top + 5});
  EXPECT_EQ(b.executed, 1);

  // A disabled action's button does nothing.
  b.count->SetEnabled(false);
  click(w, middle(b.bar->ButtonRect(c)));
  EXPECT_EQ(b.executed, 1);
  EXPECT_EQ(b.bar->SelectedItem(), s);

  // Collapsing the header fires the event, whose handler reopens it.
  click(w, middle(b.bar->CategoryRect(b.bar->Categories(0))));
  EXPECT_EQ(collapsed, 1);
  EXPECT_FALSE(b.bar->Categories(0)->Collapsed());
  EXPECT_FALSE(b.bar->ButtonRect(s).IsEmpty());

  // An item's own OnClick comes before its action; a freed action is dropped.
  int own = 0;
  s->OnClick = [&](TObject*) { ++own; };
  click(w, middle(b.bar->ButtonRect(s)));
  EXPECT_EQ(own, 1);
  EXPECT_EQ(b.executed, 1);
  FreeObject(b.settings);
  EXPECT_EQ(s->Action(), nullptr);
  EXPECT_EQ(s->Caption(), "");

  // Deleting the selected button leaves no selection behind.
  b.bar->Categories(0)->Delete(0);
  EXPECT_EQ(b.bar->SelectedItem(), nullptr);
  b.bar->DeleteCategory(0);
  EXPECT_EQ(b.bar->CategoryCount(), 0);
}

// Buttons below the bar's bottom are reached through a vertical scroll bar
// (or the wheel), which narrows the buttons while it shows.
TEST(CategoryButtons, ScrollsButtonsThatDoNotFit) {
  Bar b;
  TAction* users = CreateComponent<TAction>(&b.form);
  users->SetActionList(b.list);
  int usersRun = 0;
  users->OnExecute = [&](TObject*) { ++usersRun; };
  b.add("General", b.settings);
  b.add("General", b.count);
  b.bar->SetBounds(0, 0, 92, 400);
  b.form.Show();
  QScrollBar* vbar = b.bar->VertScrollBar();
  EXPECT_FALSE(vbar->isVisible());
  EXPECT_EQ(b.bar->ClientWidth(), 92);

  // A third button no longer fits 160 pixels.
  TButtonItem* last = b.add("General", users);
  b.bar->SetBounds(0, 0, 92, 160);
  const int32_t h = b.bar->CategoryHeaderHeight();
  ASSERT_TRUE(vbar->isVisible());
  const int32_t bw = vbar->width();
  EXPECT_GT(bw, 5);
  EXPECT_EQ(vbar->geometry(), QRect(92 - bw, 0, bw, 160));
  EXPECT_EQ(b.bar->ClientWidth(), 92 - bw);
  EXPECT_EQ(b.bar->ButtonRect(last), Rect(0, h + 160, 92 - bw, h + 240));
  EXPECT_EQ(vbar->maximum(), h + 240 - 160);

  // The wheel scrolls one button a notch, no further than the end.
  b.bar->Perform(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(-120)) << 16, 0);
  EXPECT_EQ(b.bar->ScrollPosition(), 80);
  EXPECT_EQ(vbar->value(), 80);
  b.bar->Perform(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(-120)) << 16, 0);
  EXPECT_EQ(b.bar->ScrollPosition(), h + 80);
  EXPECT_EQ(b.bar->ButtonRect(last), Rect(0, 80, 92 - bw, 160));
  // Painted and hit where it now shows.
  TBitmap bmp;
  PaintControlTo(*b.bar, bmp);
  EXPECT_EQ(bmp.Canvas().Pixel(3, 83), clWhite);
  EXPECT_NE(bmp.Canvas().Pixel(91, 83), clWhite);  // the bar covers the right edge
  click(b.bar->Widget(), middle(b.bar->ButtonRect(last)));
  EXPECT_EQ(usersRun, 1);

  // Moving the bar scrolls too; the bar leaves once everything fits again.
  vbar->setValue(10);
  EXPECT_EQ(b.bar->ScrollPosition(), 10);
  b.bar->SetBounds(0, 0, 92, 400);
  EXPECT_FALSE(vbar->isVisible());
  EXPECT_EQ(b.bar->ScrollPosition(), 0);
  EXPECT_EQ(b.bar->ButtonRect(last), Rect(0, h + 160, 92, h + 240));
  b.bar->Perform(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(-120)) << 16, 0);
  EXPECT_EQ(b.bar->ScrollPosition(), 0);
}

TEST(CategoryButtons, PaintsButtonFacesAndHandsDrawingToTheEvents) {
  Bar b;
  TButtonItem* s = b.add("General", b.settings);
  TButtonItem* c = b.add("General", b.count);
  b.bar->SetSelectedItem(c);
  std::vector<std::pair<const TButtonItem*, TRect>> icons;
  int texts = 0;
  b.bar->OnDrawIcon = [&](TObject*, const TButtonItem* item, TCanvas& canvas, TRect r, TButtonDrawState) {
    icons.emplace_back(item, r);
    canvas.Brush().SetColor(clRed);
    canvas.FillRect(Bounds((r.Left + r.Right - 16) / 2, (r.Top + r.Bottom - 16) / 2, 16, 16));
  };
  b.bar->OnDrawText = [&](TObject*, const TButtonItem*, TCanvas&, TRect, TButtonDrawState state) {
    ++texts;
    (void)state;
  };
  TBitmap bmp;
  PaintControlTo(*b.bar, bmp);
  ASSERT_EQ(icons.size(), 2u);
  EXPECT_EQ(icons[0].first, s);
  EXPECT_EQ(icons[0].second, b.bar->ButtonRect(s));
  EXPECT_EQ(texts, 2);
  const TRect rs = b.bar->ButtonRect(s), rc = b.bar->ButtonRect(c);
  EXPECT_EQ(bmp.Canvas().Pixel(rs.Left + 3, rs.Top + 3), clWhite);
  EXPECT_EQ(bmp.Canvas().Pixel(rc.Left + 3, rc.Top + 3), static_cast<TColor>(0xE6E6E6));
  const TPoint m = middle(rs);
  EXPECT_EQ(bmp.Canvas().Pixel(m.X, m.Y), clRed);
  // Below the last button the bar shows its own colour.
  EXPECT_EQ(bmp.Canvas().Pixel(5, rc.Bottom + 5), ColorToRGB(clWindow));
}

}  // namespace
}  // namespace px
