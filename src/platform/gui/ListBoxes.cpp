#include "platform/gui/ListBoxes.h"

#include <QFrame>
#include <QListWidget>
#include <QStyledItemDelegate>

#include "platform/core/Format.h"
#include "platform/gui/GuiInternal.h"

namespace px {

namespace {

// Gives every row the list box's ItemHeight.
class RowHeightDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  int height = 0;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    if (height > 0) s.setHeight(height);
    return s;
  }
};

}  // namespace

TCustomListBox::TCustomListBox(TComponent* owner)
    : TWrappedControl(owner, new QListWidget, false), items_(std::make_unique<TStringList>()) {
  list_ = static_cast<QListWidget*>(Widget());
  list_->setItemDelegate(new RowHeightDelegate(list_));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  TabStop = true;
  items_->OnChange = [this](TObject*) {
    if (!syncing_) Guarded([this] { pushItems(); });
  };
  // The user's choice is a change of the selection. The current row alone
  // moves without a choice: a list without one makes its first row current
  // when it gets the focus, and a click on that row must still count.
  QObject::connect(list_, &QListWidget::itemSelectionChanged, [this] {
    if (!syncing_) Guarded([this] { Click(); });
  });
  SetBounds(0, 0, 121, 97);
}

TCustomListBox::~TCustomListBox() { items_->OnChange = nullptr; }

void TCustomListBox::pushItems() {
  syncing_ = true;
  list_->clear();
  for (Integer i = 0; i < items_->Count(); ++i) list_->addItem(QString::fromStdString(items_->Get(i)));
  list_->setCurrentRow(-1);
  ItemsPushed();
  syncing_ = false;
}

Integer TCustomListBox::ItemIndex() const {
  QListWidgetItem* item = list_->currentItem();
  return item && item->isSelected() ? list_->row(item) : -1;
}

void TCustomListBox::SetItemIndex(Integer value) {
  if (value < -1 || value >= items_->Count()) value = -1;
  syncing_ = true;
  list_->setCurrentRow(value);
  if (value < 0) list_->clearSelection();
  syncing_ = false;
}

void TCustomListBox::SetItemHeight(int32_t value) {
  itemHeight_ = std::max(0, value);
  static_cast<RowHeightDelegate*>(list_->itemDelegate())->height = itemHeight_;
  list_->doItemsLayout();
}

void TCustomListBox::SetBorderStyle(TBorderStyle value) {
  borderStyle_ = value;
  list_->setFrameShape(value == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

// ---------------------------------------------------------------------------

TCheckListBox::TCheckListBox(TComponent* owner) : TCustomListBox(owner) {
  QObject::connect(list_, &QListWidget::itemChanged, [this](QListWidgetItem*) {
    if (syncing_) return;
    Guarded([this] {
      if (OnClickCheck) OnClickCheck(this);
      Click();
    });
  });
}

void TCheckListBox::ItemsPushed() {
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

bool TCheckListBox::Checked(Integer index) const {
  if (index < 0 || index >= list_->count()) throw EListError(Format("List index out of bounds (%d)", index));
  return list_->item(index)->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(Integer index, bool value) {
  if (index < 0 || index >= list_->count()) throw EListError(Format("List index out of bounds (%d)", index));
  syncing_ = true;
  list_->item(index)->setCheckState(value ? Qt::Checked : Qt::Unchecked);
  syncing_ = false;
}

}  // namespace px
