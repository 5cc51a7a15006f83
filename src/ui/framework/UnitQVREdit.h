#pragma once
// The framework's single-line edit and the combo box built on it.
//
// The edit draws a thin frame in three state colours (cool, hot under the
// mouse, focus), a row of buttons inside its right edge, an image at the
// left, an attached caption label, validates its text by type (with an image
// beside it and colours for valid and invalid text, locked and unlocked),
// refuses typing in list-only mode, and opens a drop-down container under or
// over itself. The combo box fills that container with a list.
#include <functional>
#include <memory>
#include <string>

#include "platform/core/StringList.h"
#include "platform/gui/ListBoxes.h"
#include "platform/gui/StdCtrls.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitQVRControls.h"

class QMenu;

namespace px {

class TComboContainer;

namespace UnitQVREdit {
enum TLabelPosition { lpNone, lpAbove, lpLeft };
}
enum TEditComboCleanupMethod { cmNone, cmUnParent, cmFree };
enum TValidationMode { vtNone, vtIdent, vtInteger, vtIntegerPositive, vtFloat, vtFloatPositive, vtDateTime, vtDate, vtTime };

// Sizes of the drop-down's client area, handed to BeforeExpanding. Direction:
// 0 above extending left from the edit's right edge, 1 above extending right
// from its left edge, 2 below and to the left, 3 below and to the right.
struct TComboSizeInformation {
  Byte Direction = 3;
  Integer MinWidth = 0, MinHeight = 0, Width = 0, Height = 0, MaxWidth = 0, MaxHeight = 0;
};

// Where the drop-down goes: window bounds, track limits and grip (0 none,
// 1 top-left, 2 top-right, 3 bottom-left, 4 bottom-right); Failed when there
// is no room or the edit lies off the monitor.
struct TDropDownPlacement {
  bool Failed = false;
  Byte Direction = 3;
  TRect Bounds;
  Integer MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
  Byte Grip = 0;
};

// The starting size information for an edit at `edit` on a monitor `area`
// (screen coordinates).
TComboSizeInformation InitialComboSizeInformation(const TRect& area, const TRect& edit, TBiDiMode bidi,
                                                  bool resizable);
// Places the drop-down from the size information the owner settled on.
TDropDownPlacement PlaceDropDown(const TRect& area, const TRect& edit, bool resizable, TComboSizeInformation size);

using TBeforeExpandEvent = std::function<void(TObject* sender, TComboSizeInformation& sizeInformation)>;
using TValidationEvent = std::function<void(TObject* sender, bool& isValid)>;

class TCustomQVREdit : public TCustomEdit {
 public:
  using TLabelPosition = UnitQVREdit::TLabelPosition;

  explicit TCustomQVREdit(TComponent* owner);
  ~TCustomQVREdit() override;

  TColor HotColor() const { return hotColor_; }
  void SetHotColor(TColor v);
  TColor CoolColor() const { return coolColor_; }
  void SetCoolColor(TColor v);
  TColor FocusColor() const { return focusColor_; }
  void SetFocusColor(TColor v);
  bool EnterAsTab = false;
  bool Border() const { return border_; }
  void SetBorder(bool v);
  bool ButtonsOutside() const { return buttonsOutside_; }
  void SetButtonsOutside(bool v);
  TQVRButtonList& Buttons() { return *buttons_; }
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer v);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* v);
  TBeforeExpandEvent BeforeExpanding;
  TNotifyEvent AfterExpanding;
  TNotifyEvent AfterCollapsing;
  TEditComboCleanupMethod ComboCleanup = cmNone;
  TNotifyEvent OnComboCleanup;
  bool AutoExpand = false;
  bool ComboResizeable = false;
  TNotifyEvent OnExpandFailure;
  TFocusEvent OnFocusChanged;
  TBiDiMode BiDiMode = bdLeftToRight;
  bool AutoSelect = true;

  bool Locked() const { return ReadOnly(); }
  void SetLocked(bool v);
  TColor LockColor() const { return lockColor_; }
  void SetLockColor(TColor v);
  TColor LockColorInvalid() const { return lockColorInvalid_; }
  void SetLockColorInvalid(TColor v);
  TColor LockFontColor() const { return lockFontColor_; }
  void SetLockFontColor(TColor v);
  TColor LockFontColorInvalid() const { return lockFontColorInvalid_; }
  void SetLockFontColorInvalid(TColor v);
  TColor UnlockColor() const { return unlockColor_; }
  void SetUnlockColor(TColor v);
  TColor UnlockColorInvalid() const { return unlockColorInvalid_; }
  void SetUnlockColorInvalid(TColor v);
  TColor UnlockFontColor() const { return unlockFontColor_; }
  void SetUnlockFontColor(TColor v);
  TColor UnlockFontColorInvalid() const { return unlockFontColorInvalid_; }
  void SetUnlockFontColorInvalid(TColor v);

  TLabelPosition LabelPosition() const { return labelPosition_; }
  void SetLabelPosition(TLabelPosition v);
  Integer LabelDistance() const { return labelDistance_; }
  void SetLabelDistance(Integer v);
  const std::string& LabelCaption() const { return labelCaption_; }
  void SetLabelCaption(const std::string& v);
  TColor LabelColor() const { return labelColor_; }
  void SetLabelColor(TColor v);
  TLabel* CaptionLabel() const { return captionLabel_; }

  const std::string& ValidationHint() const { return validationHint_; }
  void SetValidationHint(const std::string& v);
  bool ValidationAllowEmpty() const { return validationAllowEmpty_; }
  void SetValidationAllowEmpty(bool v);
  TCustomImageList* ValidationImageList() const { return validationImageList_; }
  void SetValidationImageList(TCustomImageList* v);
  Integer ValidationImageIndex() const { return validationImageIndex_; }
  void SetValidationImageIndex(Integer v);
  TValidationMode ValidationType() const { return validationType_; }
  void SetValidationType(TValidationMode v);
  TValidationEvent OnValidate;
  TQVRBackgroundImage* ValidationImage() const { return validationImage_; }
  bool Valid() const { return valid_; }

  bool ListOnly = false;
  bool HideComboButtonOnNoItems() const { return hideComboButtonOnNoItems_; }
  void SetHideComboButtonOnNoItems(bool v);
  Integer BorderRadius() const { return borderRadius_; }
  void SetBorderRadius(Integer v);
  // Kept and never used to mask the text.
  char16_t PasswordChar = 0;
  TColor ButtonColor = clBtnFace;

  bool IsValid();
  void Revalidate();
  void UpdateColors();
  bool DroppedDown() const;
  void DropDown(bool value);
  void CloseUp(bool deferred);
  void AddComboButton();
  TComboContainer* GetContainer() const { return container_; }

  // Layout results: the frame, the text rectangle given to the widget, the
  // hot and pressed buttons.
  TRect BorderRect() const { return borderRect_; }
  TRect TextRect() const { return textRect_; }
  Integer HotButton() const { return hotButton_; }
  Integer PressedButton() const { return pressedButton_; }
  // The edit's context menu with the paste and cut entries following this
  // edit's rules.
  std::unique_ptr<QMenu> CreateContextMenu();
  // The paste and cut of every path (keys, menu, middle click).
  void PasteText(const std::string& text);
  void PasteFromClipboard();
  void CutToClipboard();

  void SetParent(TWinControl* parent) override;
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void SetText(const std::string& value) override;
  void Notification(TComponent* component, TOperation operation) override;
  void WndProc(TMessage& message) override;

  virtual void UpdateEditRect();
  virtual bool CanExpand() { return true; }
  virtual void Expand();
  virtual void Collapse(bool deferred);

 protected:
  virtual void DoMouseEnter();
  virtual void DoMouseLeave();
  virtual void PaintBorder(TCanvas& canvas);
  virtual void PaintFrame(TCanvas& canvas);
  virtual void UpdateLayout();
  virtual void UpdateHotButton(TPoint p);
  virtual void SetHotButton(Integer index);
  virtual Integer ButtonAtPos(TPoint p);
  virtual void PaintButton(TCanvas& canvas, Integer index);
  virtual void PaintButtons(TCanvas& canvas);
  virtual void DoBeforeExpanding(TComboSizeInformation& sizeInformation);
  virtual void DoAfterExpanding();
  virtual void DoAfterCollapsing();
  virtual void DoExpandFailure();
  virtual void DoFocusChanged(bool focussed);
  virtual void UpdateLabel();
  virtual void UpdateValidationImage();
  // List-only Delete, Backspace and Escape emptied the text.
  virtual void ListOnlyCleared() {}

  void KeyPress(char16_t& key) override;
  void KeyDown(Word& key, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void Change() override;

  // The edit as the combo box's owner of its list.
  std::shared_ptr<char> editLife_ = std::make_shared<char>();

 private:
  void comboVisibilityChanged(bool visible);
  void cleanup();
  void repaintFrame();
  TPoint cursorPos() const;
  void executeButton(Integer index);

  bool hot_ = false;
  TColor hotColor_ = clHighlight, coolColor_ = clGrayText, focusColor_ = clBtnText;
  std::unique_ptr<TQVRButtonList> buttons_;
  Integer hotButton_ = -1, pressedButton_ = -1;
  TRect borderRect_, textRect_;
  TComboContainer* container_ = nullptr;
  Integer imageIndex_ = -1;
  TCustomImageList* images_ = nullptr;
  std::unique_ptr<TChangeLink> imagesLink_;
  bool valid_ = true;
  TColor lockColor_ = clDefault, lockColorInvalid_ = clDefault, lockFontColor_ = clDefault,
         lockFontColorInvalid_ = clDefault;
  TColor unlockColor_ = clDefault, unlockColorInvalid_ = clDefault, unlockFontColor_ = clDefault,
         unlockFontColorInvalid_ = clDefault;
  TLabelPosition labelPosition_ = UnitQVREdit::lpNone;
  Integer labelDistance_ = 15;
  std::string labelCaption_;
  TColor labelColor_ = clDefault;
  TLabel* captionLabel_ = nullptr;
  bool buttonsOutside_ = true;
  bool validationAllowEmpty_ = true;
  Integer validationImageIndex_ = -1;
  std::string validationHint_;
  TCustomImageList* validationImageList_ = nullptr;
  TValidationMode validationType_ = vtNone;
  TQVRBackgroundImage* validationImage_ = nullptr;
  bool hideComboButtonOnNoItems_ = false;
  bool border_ = true;
  Integer borderRadius_ = 0;
  bool destroying_ = false;
};

class TQVREdit : public TCustomQVREdit {
 public:
  using TCustomQVREdit::TCustomQVREdit;
};

// The single-choice drop-down list: a choice by the user runs OnClick.
class TMyListBox : public TListBox {
 public:
  using TListBox::TListBox;
};

class TCustomQVRComboBox : public TCustomQVREdit {
 public:
  explicit TCustomQVRComboBox(TComponent* owner);
  ~TCustomQVRComboBox() override;

  TStringList& Items() { return *items_; }
  // Takes the index of the current text in the new list.
  void SetItems(const TStrings& items);
  Integer ItemIndex() const { return itemIndex_; }
  // The published writer: -1 .. Count-1, else Exception
  // "ItemIndex out of range error.".
  void SetItemIndexChecked(Integer index);
  // The same for values in range; others are ignored.
  virtual void SetItemIndex(Integer index);
  Integer DropDownCount = 8;
  bool MultiSelect = false;
  char16_t MultiSeparator = u';';
  // Kept and unused.
  char16_t NameValueSeparator = u'=';

  bool IsItemTicked(Integer index) const;
  void TakeTickedItems();
  void ListSelected();
  bool CanExpand() override { return items_->Count() > 0; }
  void WndProc(TMessage& message) override;
  // The list in the container while dropped down.
  TCustomListBox* List() const { return list_; }

 protected:
  void DoBeforeExpanding(TComboSizeInformation& sizeInformation) override;
  void KeyDown(Word& key, TShiftState shift) override;
  void ListOnlyCleared() override { itemIndex_ = -1; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void itemsChanged();
  std::unique_ptr<TStringList> items_;
  Integer itemIndex_ = -1;
  TCustomListBox* list_ = nullptr;
};

class TQVRComboBox : public TCustomQVRComboBox {
 public:
  using TCustomQVRComboBox::TCustomQVRComboBox;
};

}  // namespace px
