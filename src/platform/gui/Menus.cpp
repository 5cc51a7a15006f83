#include "platform/gui/Menus.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QString>
#include <algorithm>

#include "platform/gui/Forms.h"
#include "platform/gui/GuiInternal.h"
#include "platform/gui/ImgList.h"

namespace px {

std::string StripHotkey(const std::string& caption) {
  std::string r;
  r.reserve(caption.size());
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        r += '&';
        ++i;
      }
      continue;
    }
    r += caption[i];
  }
  return r;
}

// ---------------------------------------------------------------------------

TMenuActionLink::TMenuActionLink(TMenuItem* item) : TActionLink(item), item_(item) {}

void TMenuActionLink::Change() {
  item_->actionChange(action_);
  TActionLink::Change();
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {
  action_ = new QAction(nullptr);
  QObject::connect(action_, &QAction::triggered, [this] { Guarded([this] { Click(); }); });
}

TMenuItem::~TMenuItem() {
  actionLink_.reset();
  if (parent_) parent_->Remove(this);
  while (!items_.empty()) {
    TMenuItem* c = items_.back();
    items_.pop_back();
    c->parent_ = nullptr;
    FreeObject(c);
  }
  delete qmenu_;
  qmenu_ = nullptr;
  delete action_;
  action_ = nullptr;
}

void TMenuItem::SetCaption(const std::string& value) {
  if (value == caption_) return;
  caption_ = value;
  updateQtAction();
}

void TMenuItem::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  updateQtAction();
  if (value && RadioItem && parent_) {
    for (TMenuItem* s : parent_->items_)
      if (s != this && s->RadioItem && s->GroupIndex == GroupIndex) s->SetChecked(false);
  }
}

void TMenuItem::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  updateQtAction();
}

void TMenuItem::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  updateQtAction();
}

void TMenuItem::SetHint(const std::string& value) {
  hint_ = value;
  updateQtAction();
}

void TMenuItem::SetShortCut(TShortCut value) {
  shortCut_ = value;
  updateQtAction();
}

void TMenuItem::SetImageIndex(Integer value) {
  imageIndex_ = value;
  updateQtAction();
}

void TMenuItem::SetAction(TBasicAction* action) {
  if (!action) {
    actionLink_.reset();
    return;
  }
  if (!actionLink_) actionLink_ = std::make_unique<TMenuActionLink>(this);
  actionLink_->SetAction(action);
}

void TMenuItem::actionChange(TBasicAction* sender) {
  auto* a = dynamic_cast<TCustomAction*>(sender);
  if (!a) return;
  caption_ = a->Caption();
  checked_ = a->Checked();
  enabled_ = a->Enabled();
  visible_ = a->Visible();
  hint_ = a->Hint();
  imageIndex_ = a->ImageIndex();
  shortCut_ = a->ShortCut();
  updateQtAction();
}

void TMenuItem::updateQtAction() {
  if (!action_) return;
  action_->setSeparator(IsLine());
  QString text = QString::fromStdString(caption_);
  // The text after a tab is shown as the item's key; the key itself is
  // handled by the form, so that it works the same with and without a menu.
  if (shortCut_ != scNone) text += QLatin1Char('\t') + QString::fromStdString(ShortCutToText(shortCut_));
  action_->setText(text);
  action_->setCheckable(checked_ || AutoCheck || RadioItem);
  action_->setChecked(checked_);
  action_->setEnabled(enabled_);
  action_->setVisible(visible_);
  action_->setStatusTip(QString::fromStdString(hint_));
  QIcon icon;
  TMenu* m = GetParentMenu();
  if (m && m->Images() && imageIndex_ >= 0 && imageIndex_ < m->Images()->Count()) {
    TBitmap b;
    m->Images()->GetBitmap(imageIndex_, b);
    icon = QIcon(QPixmap::fromImage(b.ToQImage()));
  }
  action_->setIcon(icon);
}

TMenuItem* TMenuItem::Items(Integer index) const {
  if (index < 0 || index >= Count()) throw EMenuError("Menu index out of range");
  return items_[static_cast<size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(Integer index, TMenuItem* item) {
  Assert(item != nullptr, "Menu item is nil");
  if (item->parent_) throw EMenuError("Menu inserted twice");
  if (index < 0 || index > Count()) throw EMenuError("Menu index out of range");
  for (TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw EMenuError("Menu inserted twice");
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  item->updateQtAction();
  childrenChanged();
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) throw EMenuError("Sub-menu is not in menu");
  items_.erase(it);
  item->parent_ = nullptr;
  childrenChanged();
}

void TMenuItem::Delete(Integer index) {
  TMenuItem* c = Items(index);
  Remove(c);
  FreeObject(c);
}

void TMenuItem::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

Integer TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<Integer>(it - items_.begin());
}

TMenuItem* TMenuItem::Find(const std::string& caption) const {
  QString wanted = QString::fromStdString(StripHotkey(caption));
  for (TMenuItem* c : items_)
    if (QString::fromStdString(StripHotkey(c->caption_)).compare(wanted, Qt::CaseInsensitive) == 0) return c;
  return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->parent_) i = i->parent_;
  return i->ownerMenu_;
}

void TMenuItem::Click() {
  if (!enabled_) {
    updateQtAction();
    return;
  }
  if (AutoCheck) SetChecked(!checked_);
  // Qt flips a checkable action on its own; the item's state decides.
  updateQtAction();
  if (OnClick) OnClick(this);
  else if (actionLink_) actionLink_->Execute(this);
}

void TMenuItem::childrenChanged() {
  rebuildQtMenu();
  if (ownerMenu_) ownerMenu_->ItemsChanged();
}

void TMenuItem::rebuildQtMenu() {
  if (items_.empty() && !ownerMenu_) {
    if (qmenu_) {
      action_->setMenu(static_cast<QMenu*>(nullptr));
      delete qmenu_;
      qmenu_ = nullptr;
    }
    return;
  }
  if (!qmenu_) {
    qmenu_ = new QMenu;
    QObject::connect(qmenu_, &QMenu::aboutToShow, [this] {
      // Actions decide their items' state just before the menu opens.
      Guarded([this] {
        for (TMenuItem* c : std::vector<TMenuItem*>(items_))
          if (c->actionLink_) c->actionLink_->Update();
      });
    });
    if (!ownerMenu_) action_->setMenu(qmenu_);
  }
  qmenu_->clear();
  for (TMenuItem* c : items_) qmenu_->addAction(c->action_);
}

// ---------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) { items_->ownerMenu_ = this; }

TMenu::~TMenu() {
  items_->ownerMenu_ = nullptr;
  FreeObject(items_);
  items_ = nullptr;
}

void TMenu::SetImages(TCustomImageList* images) {
  if (images_ == images) return;
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images_) images_->FreeNotification(this);
  std::function<void(TMenuItem*)> walk = [&](TMenuItem* i) {
    i->updateQtAction();
    for (Integer k = 0; k < i->Count(); ++k) walk(i->Items(k));
  };
  walk(items_);
}

void TMenu::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == images_) SetImages(nullptr);
}

TMenuItem* TMenu::FindItemByShortCut(TShortCut shortCut) const {
  if (shortCut == scNone) return nullptr;
  std::function<TMenuItem*(TMenuItem*)> walk = [&](TMenuItem* i) -> TMenuItem* {
    for (Integer k = 0; k < i->Count(); ++k) {
      TMenuItem* c = i->Items(k);
      if (c->ShortCut() == shortCut) return c;
      if (TMenuItem* f = walk(c)) return f;
    }
    return nullptr;
  };
  return walk(items_);
}

bool TMenu::IsShortCut(TShortCut shortCut) {
  TMenuItem* item = FindItemByShortCut(shortCut);
  if (!item) return false;
  if (auto* a = item->Action()) a->Update();
  for (TMenuItem* p = item; p && p != items_; p = p->Parent())
    if (!p->Enabled() || !p->Visible()) return false;
  item->Click();
  return true;
}

TMainMenu::~TMainMenu() {
  if (form_) form_->SetMenu(nullptr);
}

void TMainMenu::Notification(TComponent* component, TOperation operation) {
  TMenu::Notification(component, operation);
  if (operation == opRemove && component == form_) form_ = nullptr;
}

void TMainMenu::attach(TForm* form) {
  form_ = form;
  ItemsChanged();
}

void TMainMenu::ItemsChanged() {
  if (!form_) return;
  QMenuBar* bar = form_->MenuBar();
  bar->clear();
  for (Integer i = 0; i < Items()->Count(); ++i) bar->addAction(Items()->Items(i)->QtAction());
}

void TPopupMenu::Popup(int32_t x, int32_t y) {
  for (Integer i = 0; i < Items()->Count(); ++i)
    if (auto* a = Items()->Items(i)->Action()) a->Update();
  if (OnPopup) OnPopup(this);
  if (Items()->Count() == 0 || !Items()->QtMenu()) return;
  Items()->QtMenu()->popup(QPoint(x, y));
}

void TPopupMenu::SetPopupComponent(TComponent* value) {
  if (value == popupComponent_) return;
  if (popupComponent_) popupComponent_->RemoveFreeNotification(this);
  popupComponent_ = value;
  if (value) value->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
  TMenu::Notification(component, operation);
  if (operation == opRemove && component == popupComponent_) popupComponent_ = nullptr;
}

void TPopupMenu::CloseMenu() {
  if (Items()->QtMenu()) Items()->QtMenu()->close();
}

}  // namespace px
