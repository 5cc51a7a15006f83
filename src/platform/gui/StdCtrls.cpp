#include "platform/gui/StdCtrls.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>

#include "platform/gui/ActnList.h"
#include "platform/gui/GuiInternal.h"

namespace px {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment value) {
  alignment_ = value;
  Invalidate();
}
void TLabel::SetLayout(TTextLayout value) {
  layout_ = value;
  Invalidate();
}
void TLabel::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  AdjustBounds();
  Invalidate();
}
void TLabel::SetAutoSize(bool value) {
  if (autoSize_ == value) return;
  autoSize_ = value;
  AdjustBounds();
}

uint32_t TLabel::drawFlags() const {
  uint32_t f = DT_EXPANDTABS;
  if (alignment_ == taCenter) f |= DT_CENTER;
  if (alignment_ == taRightJustify) f |= DT_RIGHT;
  if (wordWrap_) f |= DT_WORDBREAK;
  if (!ShowAccelChar) f |= DT_NOPREFIX;
  return f;
}

void TLabel::AdjustBounds() {
  if (!autoSize_) return;
  TBitmap scratch(1, 1);
  TCanvas& c = scratch.Canvas();
  c.Font().Assign(Font());
  std::string text = Caption().empty() ? std::string(" ") : Caption();
  TRect r = Rect(0, 0, wordWrap_ ? Width() : 0, 0);
  c.DrawText(text, r, drawFlags() | DT_CALCRECT);
  int32_t w = wordWrap_ ? Width() : r.Width();
  int32_t left = Left();
  // A right-aligned label keeps its right edge, a centred one its middle.
  if (!wordWrap_ && alignment_ == taRightJustify) left += Width() - w;
  if (!wordWrap_ && alignment_ == taCenter) left += (Width() - w) / 2;
  SetBounds(left, Top(), w, r.Height());
}

void TLabel::Changed(Cardinal cm) {
  TGraphicControl::Changed(cm);
  if (cm == CM_TEXTCHANGED || cm == CM_FONTCHANGED) AdjustBounds();
}

void TLabel::Paint() {
  TCanvas& c = Canvas();
  TRect r = Rect(0, 0, Width(), Height());
  if (!Transparent) {
    c.Brush().SetColor(Color());
    c.Brush().SetStyle(bsSolid);
    c.FillRect(r);
  }
  c.Brush().SetStyle(bsClear);
  if (!Enabled()) c.Font().SetColor(clGrayText);
  uint32_t flags = drawFlags();
  if (layout_ != tlTop) {
    TRect calc = r;
    c.DrawText(Caption(), calc, flags | DT_CALCRECT);
    int32_t free = r.Height() - calc.Height();
    r.Top += layout_ == tlCenter ? free / 2 : free;
  }
  c.DrawText(Caption(), r, flags);
}

// ---------------------------------------------------------------------------
// Wrapped controls

TWrappedControl::TWrappedControl(TComponent* owner, QWidget* widget, bool clicksFromWidget)
    : TWinControl(owner, widget), clicksFromWidget_(clicksFromWidget) {
  ownPaint_ = false;
  Widget()->setFont(ToQFont(Font().Data()));
}

void TWrappedControl::WndProc(TMessage& m) {
  if (clicksFromWidget_ && (m.Msg == WM_LBUTTONUP || m.Msg == WM_LBUTTONDOWN)) mouseCaptured_ = false;
  std::weak_ptr<char> alive = LifeToken();
  TWinControl::WndProc(m);
  // A handler may have freed the control.
  if (!alive.expired() && clicksFromWidget_ && m.Msg == WM_LBUTTONDOWN) mouseCaptured_ = false;
}

void TWrappedControl::Changed(Cardinal cm) {
  TWinControl::Changed(cm);
  if (cm == CM_FONTCHANGED) Widget()->setFont(ToQFont(Font().Data()));
  // Set on the widget itself, so that it never follows a parent's.
  if (cm == CM_BIDIMODECHANGED)
    Widget()->setLayoutDirection(UseRightToLeftReading() ? Qt::RightToLeft : Qt::LeftToRight);
}

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* owner) : TWrappedControl(owner, new QPushButton, true) {
  button_ = static_cast<QPushButton*>(Widget());
  button_->setAutoDefault(false);
  TabStop = true;
  QObject::connect(button_, &QPushButton::clicked, [this] { Guarded([this] { Click(); }); });
  SetBounds(0, 0, 75, 25);
}

void TButton::SetDefault(bool value) {
  default_ = value;
  button_->setDefault(value);
}

void TButton::SetText(const std::string& value) {
  TWrappedControl::SetText(value);
  button_->setText(qs(value));
}

void TButton::Click() {
  if (ModalResult != mrNone)
    if (TForm* form = GetParentForm(this)) form->ModalResult = ModalResult;
  TWrappedControl::Click();
}

// ---------------------------------------------------------------------------
// TCustomEdit

TCustomEdit::TCustomEdit(TComponent* owner) : TWrappedControl(owner, new QLineEdit, false) {
  edit_ = static_cast<QLineEdit*>(Widget());
  TabStop = true;
  QObject::connect(edit_, &QLineEdit::textEdited, [this](const QString&) { Modified = true; });
  QObject::connect(edit_, &QLineEdit::textChanged, [this](const QString& t) {
    Guarded([&] {
      TWinControl::SetText(t.toStdString());
      Change();
    });
  });
  SetBounds(0, 0, 121, 21);
}

void TCustomEdit::SetText(const std::string& value) {
  edit_->setText(qs(value));
  // The widget may have cut the text (MaxLength) or found it unchanged.
  TWinControl::SetText(edit_->text().toStdString());
}

bool TCustomEdit::ReadOnly() const { return edit_->isReadOnly(); }
void TCustomEdit::SetReadOnly(bool value) { edit_->setReadOnly(value); }

void TCustomEdit::SetMaxLength(Integer value) {
  maxLength_ = std::max<Integer>(0, value);
  edit_->setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
}

void TCustomEdit::SetPasswordChar(char value) {
  passwordChar_ = value;
  edit_->setEchoMode(value ? QLineEdit::Password : QLineEdit::Normal);
}

void TCustomEdit::SetAlignment(TAlignment value) {
  alignment_ = value;
  applyAlignment();
}

void TCustomEdit::applyAlignment() {
  Qt::Alignment a =
      alignment_ == taRightJustify ? Qt::AlignRight : alignment_ == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
  // Qt mirrors left and right in a right-to-left widget; only bdRightToLeft
  // mirrors the alignment, the reading-only modes keep it.
  if (!UseRightToLeftAlignment()) a |= Qt::AlignAbsolute;
  edit_->setAlignment(a | Qt::AlignVCenter);
}

void TCustomEdit::Changed(Cardinal cm) {
  TWrappedControl::Changed(cm);
  if (cm == CM_BIDIMODECHANGED) applyAlignment();
}

namespace {

// The area inside the edit's frame where Qt lays out the text before any
// text margins.
QRect lineEditContents(QLineEdit* edit) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.rect = edit->rect();
  option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
}

}  // namespace

TRect TCustomEdit::FormattingRect() const {
  QRect r = lineEditContents(edit_).marginsRemoved(edit_->textMargins());
  return Rect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

void TCustomEdit::SetFormattingRect(const TRect& r) {
  QRect c = lineEditContents(edit_);
  edit_->setTextMargins(r.Left - c.left(), r.Top - c.top(), c.left() + c.width() - r.Right,
                        c.top() + c.height() - r.Bottom);
}

Integer TCustomEdit::SelStart() const {
  return edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
}
void TCustomEdit::SetSelStart(Integer value) { edit_->setCursorPosition(value); }
Integer TCustomEdit::SelLength() const { return static_cast<Integer>(edit_->selectedText().size()); }
void TCustomEdit::SetSelLength(Integer value) { edit_->setSelection(SelStart(), value); }
std::string TCustomEdit::SelText() const { return edit_->selectedText().toStdString(); }
void TCustomEdit::SelectAll() { edit_->selectAll(); }

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TCustomMemo

TCustomMemo::TCustomMemo(TComponent* owner)
    : TWrappedControl(owner, new QPlainTextEdit, false), lines_(std::make_unique<TStringList>()) {
  edit_ = static_cast<QPlainTextEdit*>(Widget());
  TabStop = true;
  lines_->OnChange = [this](TObject*) {
    if (!syncing_) Guarded([this] { pushLines(); });
  };
  QObject::connect(edit_, &QPlainTextEdit::textChanged, [this] {
    if (!syncing_) Guarded([this] {
      Modified = true;
      pullText();
    });
  });
  SetScrollBars(ssNone);
  SetBounds(0, 0, 185, 89);
}

TCustomMemo::~TCustomMemo() { lines_->OnChange = nullptr; }

void TCustomMemo::pushLines() {
  std::string joined;
  for (Integer i = 0; i < lines_->Count(); ++i) {
    if (i) joined += '\n';
    joined += lines_->Get(i);
  }
  syncing_ = true;
  edit_->setPlainText(qs(joined));
  syncing_ = false;
  TWinControl::SetText(joined);
  Change();
}

void TCustomMemo::pullText() {
  std::string t = edit_->toPlainText().toStdString();
  syncing_ = true;
  try {
    lines_->SetText(t);
  } catch (...) {
    syncing_ = false;
    throw;
  }
  syncing_ = false;
  TWinControl::SetText(t);
  Change();
}

void TCustomMemo::SetText(const std::string& value) {
  syncing_ = true;
  edit_->setPlainText(qs(value));
  syncing_ = false;
  pullText();
}

bool TCustomMemo::ReadOnly() const { return edit_->isReadOnly(); }
void TCustomMemo::SetReadOnly(bool value) { edit_->setReadOnly(value); }

void TCustomMemo::SetWordWrap(bool value) {
  wordWrap_ = value;
  edit_->setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TCustomMemo::SetScrollBars(TScrollStyle value) {
  scrollBars_ = value;
  bool h = value == ssHorizontal || value == ssBoth, v = value == ssVertical || value == ssBoth;
  const Qt::ScrollBarPolicy on = whenNeeded_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
  edit_->setHorizontalScrollBarPolicy(h ? on : Qt::ScrollBarAlwaysOff);
  edit_->setVerticalScrollBarPolicy(v ? on : Qt::ScrollBarAlwaysOff);
}

void TCustomMemo::SetScrollBarsWhenNeeded(bool value) {
  whenNeeded_ = value;
  SetScrollBars(scrollBars_);
}

void TCustomMemo::SelectAll() { edit_->selectAll(); }

void TCustomMemo::Change() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* owner) : TWrappedControl(owner, new QCheckBox, true) {
  box_ = static_cast<QCheckBox*>(Widget());
  TabStop = true;
  QObject::connect(box_, &QCheckBox::stateChanged, [this](int s) {
    if (syncing_) return;
    Guarded([&] {
      state_ = s == Qt::Checked ? cbChecked : s == Qt::PartiallyChecked ? cbGrayed : cbUnchecked;
      Click();
    });
  });
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetState(TCheckBoxState value) {
  if (value == state_) return;
  if (value == cbGrayed && !allowGrayed_) box_->setTristate(true);
  state_ = value;
  syncing_ = true;
  box_->setCheckState(value == cbChecked ? Qt::Checked : value == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
  syncing_ = false;
  Click();
}

void TCheckBox::SetAllowGrayed(bool value) {
  allowGrayed_ = value;
  box_->setTristate(value);
}

void TCheckBox::SetText(const std::string& value) {
  TWrappedControl::SetText(value);
  box_->setText(qs(value));
}

void TCheckBox::ActionChange(TBasicAction* sender) {
  TWrappedControl::ActionChange(sender);
  if (auto* a = dynamic_cast<TCustomAction*>(sender)) {
    // Following the action is no click of the box.
    TCheckBoxState s = a->Checked() ? cbChecked : cbUnchecked;
    if (s != state_) {
      state_ = s;
      syncing_ = true;
      box_->setCheckState(a->Checked() ? Qt::Checked : Qt::Unchecked);
      syncing_ = false;
    }
  }
}

// ---------------------------------------------------------------------------
// TRadioButton

TRadioButton::TRadioButton(TComponent* owner) : TWrappedControl(owner, new QRadioButton, true) {
  button_ = static_cast<QRadioButton*>(Widget());
  TabStop = true;
  QObject::connect(button_, &QRadioButton::toggled, [this](bool on) {
    if (syncing_) return;
    Guarded([&] {
      checked_ = on;
      if (on) Click();
    });
  });
  SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  syncing_ = true;
  // Qt refuses to uncheck the checked button of an exclusive group.
  button_->setAutoExclusive(value);
  button_->setChecked(value);
  button_->setAutoExclusive(true);
  syncing_ = false;
  if (value) Click();
}

void TRadioButton::SetText(const std::string& value) {
  TWrappedControl::SetText(value);
  button_->setText(qs(value));
}

void TRadioButton::ActionChange(TBasicAction* sender) {
  TWrappedControl::ActionChange(sender);
  if (auto* a = dynamic_cast<TCustomAction*>(sender)) {
    if (a->Checked() != checked_) {
      checked_ = a->Checked();
      syncing_ = true;
      button_->setAutoExclusive(checked_);
      button_->setChecked(checked_);
      button_->setAutoExclusive(true);
      syncing_ = false;
    }
  }
}

// ---------------------------------------------------------------------------
// TCustomGroupBox

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TWrappedControl(owner, new QGroupBox, false) {
  box_ = static_cast<QGroupBox*>(Widget());
  SetBounds(0, 0, 185, 105);
}

void TCustomGroupBox::SetText(const std::string& value) {
  TWrappedControl::SetText(value);
  box_->setTitle(qs(value));
}

void TCustomGroupBox::AdjustClientRect(TRect& rect) const {
  // Below the caption, inside the frame.
  rect.Top += QFontMetrics(box_->font()).height();
  rect.Left += 2;
  rect.Top += 2;
  rect.Right -= 2;
  rect.Bottom -= 2;
}

// ---------------------------------------------------------------------------
// TCustomComboBox

namespace {
class PxComboBox : public QComboBox {
 public:
  std::function<void()> onShow, onHide;
  void showPopup() override {
    if (onShow) onShow();
    QComboBox::showPopup();
  }
  void hidePopup() override {
    QComboBox::hidePopup();
    if (onHide) onHide();
  }
};
}  // namespace

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWrappedControl(owner, new PxComboBox, false), items_(std::make_unique<TStringList>()) {
  combo_ = static_cast<QComboBox*>(Widget());
  TabStop = true;
  auto* pc = static_cast<PxComboBox*>(combo_);
  pc->onShow = [this] { Guarded([this] { if (OnDropDown) OnDropDown(this); }); };
  pc->onHide = [this] { Guarded([this] { if (OnCloseUp) OnCloseUp(this); }); };
  items_->OnChange = [this](TObject*) {
    if (!syncing_) Guarded([this] { pushItems(); });
  };
  QObject::connect(combo_, &QComboBox::activated, [this](int) {
    if (syncing_) return;
    Guarded([this] {
      TWinControl::SetText(combo_->currentText().toStdString());
      Click();
      Select();
    });
  });
  SetStyle(csDropDown);
  SetBounds(0, 0, 145, 21);
}

TCustomComboBox::~TCustomComboBox() { items_->OnChange = nullptr; }

void TCustomComboBox::pushItems() {
  syncing_ = true;
  combo_->clear();
  for (Integer i = 0; i < items_->Count(); ++i) combo_->addItem(qs(items_->Get(i)));
  combo_->setCurrentIndex(-1);
  if (combo_->isEditable()) combo_->setEditText(qs(Text()));
  else TWinControl::SetText(std::string());
  syncing_ = false;
}

Integer TCustomComboBox::ItemIndex() const {
  int i = combo_->currentIndex();
  // Text typed over a choice leaves the list without one.
  if (i >= 0 && combo_->isEditable() && combo_->itemText(i) != combo_->currentText()) return -1;
  return i;
}

void TCustomComboBox::SetItemIndex(Integer value) {
  if (value < -1 || value >= items_->Count()) value = -1;
  syncing_ = true;
  combo_->setCurrentIndex(value);
  if (value < 0 && combo_->isEditable()) combo_->setEditText(QString());
  syncing_ = false;
  TWinControl::SetText(value >= 0 ? items_->Get(value) : std::string());
}

void TCustomComboBox::SetStyle(TComboBoxStyle value) {
  style_ = value;
  syncing_ = true;
  combo_->setEditable(value != csDropDownList);
  syncing_ = false;
  if (QLineEdit* le = combo_->lineEdit()) {
    QObject::connect(le, &QLineEdit::textEdited, [this](const QString& t) {
      if (syncing_) return;
      Guarded([&] {
        TWinControl::SetText(t.toStdString());
        Change();
      });
    });
  }
}

void TCustomComboBox::SetText(const std::string& value) {
  syncing_ = true;
  if (combo_->isEditable()) {
    int i = combo_->findText(qs(value), Qt::MatchExactly);
    combo_->setCurrentIndex(i);
    combo_->setEditText(qs(value));
    syncing_ = false;
    TWinControl::SetText(value);
    return;
  }
  int i = combo_->findText(qs(value), Qt::MatchFixedString);
  combo_->setCurrentIndex(i);
  syncing_ = false;
  TWinControl::SetText(i >= 0 ? combo_->itemText(i).toStdString() : std::string());
}

Integer TCustomComboBox::DropDownCount() const { return combo_->maxVisibleItems(); }
void TCustomComboBox::SetDropDownCount(Integer value) { combo_->setMaxVisibleItems(std::max<Integer>(1, value)); }
bool TCustomComboBox::DroppedDown() const { return combo_->view() && combo_->view()->isVisible(); }
void TCustomComboBox::SetDroppedDown(bool value) {
  if (value) combo_->showPopup();
  else combo_->hidePopup();
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
  else Change();
}

}  // namespace px
