#pragma once
// List boxes over Qt's list widget: a single-choice list and a list whose
// items carry check boxes.
#include <memory>
#include <string>

#include "platform/core/StringList.h"
#include "platform/gui/ExtCtrls.h"

class QListWidget;

namespace px {

// OnClick runs when the user moves the choice (mouse or keys), not when
// ItemIndex is set in code. Changing Items clears the choice.
class TCustomListBox : public TWrappedControl {
 public:
  explicit TCustomListBox(TComponent* owner);
  ~TCustomListBox() override;
  TStrings& Items() { return *items_; }
  Integer ItemIndex() const;
  // -1 clears the choice; an index out of range does too.
  void SetItemIndex(Integer value);
  // Row height in pixels; 0 keeps the style's height.
  int32_t ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int32_t value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  Integer Count() const { return items_->Count(); }
  QListWidget* ListWidget() const { return list_; }

 protected:
  // Items were copied into the widget again.
  virtual void ItemsPushed() {}
  void pushItems();
  QListWidget* list_;
  bool syncing_ = false;

 private:
  std::unique_ptr<TStringList> items_;
  int32_t itemHeight_ = 0;
  TBorderStyle borderStyle_ = bsSingle;
};

class TListBox : public TCustomListBox {
 public:
  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
};

// A list box with a check box on every item. A tick changed by the user runs
// OnClickCheck and then OnClick; ticks set in code run nothing. Changing
// Items clears every tick.
class TCheckListBox : public TCustomListBox {
 public:
  explicit TCheckListBox(TComponent* owner);
  // Raise EListError "List index out of bounds (%d)" outside 0..Count-1.
  bool Checked(Integer index) const;
  void SetChecked(Integer index, bool value);
  TNotifyEvent OnClickCheck;

 protected:
  void ItemsPushed() override;
};

}  // namespace px
