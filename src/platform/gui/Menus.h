#pragma once
// Menus: a tree of menu items shown in a form's menu bar (TMainMenu) or as
// a context menu (TPopupMenu). Each item is a Qt action; an item with
// children carries a Qt menu. Captions mark their accelerator with '&'
// ("&&" for a plain ampersand); the caption "-" makes a separator.
//
// An item is a component (usually owned by the form) and at the same time
// the child of another item: freeing an item takes it out of its parent,
// freeing a parent frees its children.
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/ActnList.h"

class QAction;
class QMenu;
class QMenuBar;

namespace px {

PX_DECLARE_EXCEPTION(EMenuError, Exception);

class TMenu;
class TMenuItem;
class TForm;

class TMenuActionLink : public TActionLink {
 public:
  explicit TMenuActionLink(TMenuItem* item);

 protected:
  void Change() override;

 private:
  TMenuItem* item_;
};

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& value);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut value);
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer value);
  bool RadioItem = false;
  bool AutoCheck = false;
  Byte GroupIndex = 0;
  // A separator: the caption "-".
  bool IsLine() const { return caption_ == "-"; }

  TBasicAction* Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }
  void SetAction(TBasicAction* action);

  // Children.
  Integer Count() const { return static_cast<Integer>(items_.size()); }
  // Raises EMenuError "Menu index out of range" outside 0..Count-1.
  TMenuItem* Items(Integer index) const;
  void Add(TMenuItem* item);
  void Insert(Integer index, TMenuItem* item);
  // Takes the child out without freeing it.
  void Remove(TMenuItem* item);
  // Frees child Index.
  void Delete(Integer index);
  // Frees all children.
  void Clear();
  Integer IndexOf(const TMenuItem* item) const;
  // The child whose caption, without '&', equals the text ignoring case.
  TMenuItem* Find(const std::string& caption) const;
  TMenuItem* Parent() const { return parent_; }
  // Position in the parent, -1 without one.
  Integer MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }
  // The menu whose tree holds this item, nullptr when none.
  TMenu* GetParentMenu() const;

  // Runs OnClick (else the action) when enabled; AutoCheck toggles Checked.
  virtual void Click();
  TNotifyEvent OnClick;

  // The Qt objects (for tests and the menu bar).
  QAction* QtAction() const { return action_; }
  QMenu* QtMenu() const { return qmenu_; }

 private:
  friend class TMenu;
  friend class TMenuActionLink;
  void actionChange(TBasicAction* sender);
  void updateQtAction();
  void childrenChanged();
  void rebuildQtMenu();
  std::string caption_;
  std::string hint_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  TShortCut shortCut_ = scNone;
  Integer imageIndex_ = -1;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TMenu* ownerMenu_ = nullptr;  // set on the root item of a menu
  QAction* action_ = nullptr;
  QMenu* qmenu_ = nullptr;
  std::unique_ptr<TMenuActionLink> actionLink_;
};

class TCustomImageList;

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  // The root item; its children are the menu's entries.
  TMenuItem* Items() const { return items_; }
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  // The item with this shortcut (enabled or not) anywhere in the tree.
  TMenuItem* FindItemByShortCut(TShortCut shortCut) const;
  // Clicks the enabled, visible item with this shortcut; false when none.
  bool IsShortCut(TShortCut shortCut);
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  friend class TMenuItem;
  // The top-level entries changed.
  virtual void ItemsChanged() {}

 private:
  TMenuItem* items_;
  TCustomImageList* images_ = nullptr;
};

// The menu bar of a form (TForm::SetMenu).
class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* owner) : TMenu(owner) {}
  ~TMainMenu() override;
  TForm* Form() const { return form_; }
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void ItemsChanged() override;

 private:
  friend class TForm;
  void attach(TForm* form);
  TForm* form_ = nullptr;
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner) : TMenu(owner) {}
  // Shows the menu at the screen point without waiting for a choice; a
  // chosen item runs its click later from the event loop.
  virtual void Popup(int32_t x, int32_t y);
  // Closes the menu if it is open.
  void CloseMenu();
  // The control the menu was last shown for; cleared when that control is
  // freed.
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* value);
  void Notification(TComponent* component, TOperation operation) override;
  bool AutoPopup = true;
  TNotifyEvent OnPopup;

 private:
  TComponent* popupComponent_ = nullptr;
};

// Drops every '&' that marks an accelerator ("&&" stays one '&').
std::string StripHotkey(const std::string& caption);

}  // namespace px
