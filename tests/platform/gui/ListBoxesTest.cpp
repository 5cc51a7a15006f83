#include <gtest/gtest.h>

#include <QListWidget>

#include "platform/gui/Forms.h"
#include "platform/gui/ListBoxes.h"

namespace px {
namespace {

TEST(ListBoxes, ChoiceByUserRunsOnClickChoiceInCodeDoesNot) {
  TForm form(nullptr);
  auto* list = CreateComponent<TListBox>(&form);
  list->SetParent(&form);
  int clicks = 0;
  list->OnClick = [&](TObject*) { ++clicks; };
  list->Items().Add("25%");
  list->Items().Add("50%");
  list->Items().Add("100%");
  ASSERT_EQ(list->ListWidget()->count(), 3);
  EXPECT_EQ(list->ListWidget()->item(2)->text(), "100%");
  EXPECT_EQ(list->ItemIndex(), -1);

  list->SetItemIndex(1);
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(clicks, 0);
  for (Integer bad : {3, -2}) {
    list->SetItemIndex(bad);
    EXPECT_EQ(list->ItemIndex(), -1);
  }
  EXPECT_EQ(clicks, 0);

  // What the user does reaches the widget as a change of its current row.
  list->ListWidget()->setCurrentRow(2);
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(clicks, 1);

  // Focus makes the first row current without choosing it; choosing that
  // row afterwards is a click.
  list->SetItemIndex(-1);
  list->ListWidget()->selectionModel()->setCurrentIndex(list->ListWidget()->model()->index(0, 0),
                                                         QItemSelectionModel::NoUpdate);
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(clicks, 1);
  list->ListWidget()->selectionModel()->select(list->ListWidget()->model()->index(0, 0),
                                               QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(list->ItemIndex(), 0);
  EXPECT_EQ(clicks, 2);

  // New items drop the choice.
  list->Items().Add("200%");
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(clicks, 2);

  list->SetItemHeight(31);
  form.Show();
  EXPECT_EQ(list->ListWidget()->visualItemRect(list->ListWidget()->item(1)).height(), 31);
}

TEST(ListBoxes, CheckListTicks) {
  TForm form(nullptr);
  auto* list = CreateComponent<TCheckListBox>(&form);
  list->SetParent(&form);
  std::vector<std::string> events;
  list->OnClickCheck = [&](TObject*) { events.push_back("check"); };
  list->OnClick = [&](TObject*) { events.push_back("click"); };
  list->Items().Add("EUR");
  list->Items().Add("USD");
  list->SetChecked(1, true);
  EXPECT_FALSE(list->Checked(0));
  EXPECT_TRUE(list->Checked(1));
  EXPECT_TRUE(events.empty());

  // A tick by the user.
  list->ListWidget()->item(0)->setCheckState(Qt::Checked);
  EXPECT_TRUE(list->Checked(0));
  EXPECT_EQ(events, (std::vector<std::string>{"check", "click"}));

  EXPECT_THROW(list->Checked(2), EListError);
  EXPECT_THROW(list->SetChecked(-1, true), EListError);
  try {
    list->Checked(5);
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (5)");
  }

  // New items come unticked.
  list->Items().Add("GBP");
  for (Integer i = 0; i < 3; ++i) EXPECT_FALSE(list->Checked(i)) << i;
}

}  // namespace
}  // namespace px
