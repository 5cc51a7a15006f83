#pragma once
// The standard controls: thin wrappers of the matching Qt widgets (labels
// paint themselves). Each keeps the common properties and events of
// TControl; what the user changes in the widget comes back as the
// control's events (OnChange, OnClick).
#include <memory>
#include <string>

#include "platform/core/StringList.h"
#include "platform/core/Types.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Forms.h"

class QPushButton;
class QLineEdit;
class QPlainTextEdit;
class QCheckBox;
class QRadioButton;
class QGroupBox;
class QComboBox;

namespace px {

enum TTextLayout { tlTop, tlCenter, tlBottom };

// A text painted on its parent. With AutoSize the label takes the size of
// its text (the width stays with WordWrap).
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  // Without Transparent the label fills its rectangle with Color first.
  bool Transparent = true;
  // '&' marks the accelerator (shown underlined) unless this is off.
  bool ShowAccelChar = true;
  // The control that gets the focus through the label's accelerator.
  TWinControl* FocusControl = nullptr;
  // Resizes to the text now (AutoSize does it on every change).
  void AdjustBounds();

 protected:
  void Paint() override;
  void Changed(Cardinal cm) override;

 private:
  uint32_t drawFlags() const;
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool wordWrap_ = false;
  bool autoSize_ = true;
};

// Base of the wrapped Qt controls: keeps the widget's font and colours in
// step with the control's.
class TWrappedControl : public TWinControl {
 public:
  void WndProc(TMessage& message) override;

 protected:
  // clicksFromWidget: the widget reports its own clicks (buttons), so mouse
  // messages do not click the control a second time.
  TWrappedControl(TComponent* owner, QWidget* widget, bool clicksFromWidget);
  void Changed(Cardinal cm) override;

 private:
  bool clicksFromWidget_;
};

class TButton : public TWrappedControl {
 public:
  explicit TButton(TComponent* owner);
  // Return in the form clicks the default button, Escape the cancel button.
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel = false;
  // Clicking sets the form's ModalResult to this (mrNone: nothing).
  TModalResult ModalResult = mrNone;
  void Click() override;
  void SetText(const std::string& value) override;

 private:
  QPushButton* button_;
  bool default_ = false;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

class TCustomEdit : public TWrappedControl {
 public:
  explicit TCustomEdit(TComponent* owner);
  void SetText(const std::string& value) override;
  bool ReadOnly() const;
  void SetReadOnly(bool value);
  // 0: no limit (in characters).
  Integer MaxLength() const { return maxLength_; }
  void SetMaxLength(Integer value);
  // Non-zero: every character is shown masked.
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  // Selection in characters.
  Integer SelStart() const;
  void SetSelStart(Integer value);
  Integer SelLength() const;
  void SetSelLength(Integer value);
  std::string SelText() const;
  void SelectAll();
  void Clear() { SetText(std::string()); }
  // The rectangle, in client coordinates, that the text is laid out in; by
  // default the area inside the edit's frame. It may reach past the frame.
  TRect FormattingRect() const;
  void SetFormattingRect(const TRect& r);
  // Set by every change of the text, by the user or in code.
  bool Modified = false;
  TNotifyEvent OnChange;
  QLineEdit* LineEdit() const { return edit_; }

 protected:
  virtual void Change();
  void Changed(Cardinal cm) override;

 private:
  void applyAlignment();
  QLineEdit* edit_;
  Integer maxLength_ = 0;
  char passwordChar_ = 0;
  TAlignment alignment_ = taLeftJustify;
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line edit. Lines and Text show the same content.
class TCustomMemo : public TWrappedControl {
 public:
  explicit TCustomMemo(TComponent* owner);
  ~TCustomMemo() override;
  TStrings& Lines() { return *lines_; }
  void SetText(const std::string& value) override;
  bool ReadOnly() const;
  void SetReadOnly(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  void SelectAll();
  bool Modified = false;
  TNotifyEvent OnChange;
  QPlainTextEdit* TextEdit() const { return edit_; }

 protected:
  virtual void Change();
  // The scroll bars ScrollBars names show only while the text needs them
  // (a memo shows them always).
  void SetScrollBarsWhenNeeded(bool value);

 private:
  void pushLines();
  void pullText();
  QPlainTextEdit* edit_;
  std::unique_ptr<TStringList> lines_;
  bool syncing_ = false;
  bool wordWrap_ = true;
  TScrollStyle scrollBars_ = ssNone;
  bool whenNeeded_ = false;
};

class TMemo : public TCustomMemo {
 public:
  explicit TMemo(TComponent* owner) : TCustomMemo(owner) {}
};

// A rich-text box, holding plain lines here. Unlike a memo's, its scroll
// bars show only while the text is larger than the box.
class TRichEdit : public TCustomMemo {
 public:
  explicit TRichEdit(TComponent* owner) : TCustomMemo(owner) { SetScrollBarsWhenNeeded(true); }
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box; OnClick runs on every change of its state, by the user or in
// code.
class TCheckBox : public TWrappedControl {
 public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const { return state_ == cbChecked; }
  void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState value);
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool value);
  void SetText(const std::string& value) override;

 protected:
  void ActionChange(TBasicAction* sender) override;

 private:
  QCheckBox* box_;
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  bool syncing_ = false;
};

// Radio buttons with the same parent exclude each other. OnClick runs when
// the button becomes checked.
class TRadioButton : public TWrappedControl {
 public:
  explicit TRadioButton(TComponent* owner);
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  void SetText(const std::string& value) override;

 protected:
  void ActionChange(TBasicAction* sender) override;

 private:
  QRadioButton* button_;
  bool checked_ = false;
  bool syncing_ = false;
};

// A framed box with a caption; children align below the caption.
class TCustomGroupBox : public TWrappedControl {
 public:
  explicit TCustomGroupBox(TComponent* owner);
  void SetText(const std::string& value) override;
  void AdjustClientRect(TRect& rect) const override;

 protected:
  QGroupBox* box_;
};

class TGroupBox : public TCustomGroupBox {
 public:
  explicit TGroupBox(TComponent* owner) : TCustomGroupBox(owner) {}
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

// A combo box. OnChange runs when the user edits the text, and on a choice
// from the list when there is no OnSelect; setting ItemIndex or Text in
// code runs nothing.
class TCustomComboBox : public TWrappedControl {
 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  TStrings& Items() { return *items_; }
  Integer ItemIndex() const;
  // -1 clears the choice; an index out of range does too.
  void SetItemIndex(Integer value);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  void SetText(const std::string& value) override;
  Integer DropDownCount() const;
  void SetDropDownCount(Integer value);
  bool DroppedDown() const;
  void SetDroppedDown(bool value);
  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  QComboBox* ComboBox() const { return combo_; }

 protected:
  virtual void Change();
  virtual void Select();

 private:
  void pushItems();
  QComboBox* combo_;
  std::unique_ptr<TStringList> items_;
  TComboBoxStyle style_ = csDropDown;
  bool syncing_ = false;
};

class TComboBox : public TCustomComboBox {
 public:
  explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
};

}  // namespace px
