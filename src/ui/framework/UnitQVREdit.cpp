#include "ui/framework/UnitQVREdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "platform/core/DateTimeFormat.h"
#include "platform/core/NumberConversion.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVREditComboContainer.h"

namespace px {

namespace {
constexpr Cardinal WM_CLEANUP = WM_USER;
constexpr Cardinal WM_CLOSEUP = WM_USER + 1;

QString qs(const std::string& s) { return QString::fromStdString(s); }

TRect intersect(const TRect& a, const TRect& b) {
  return Rect(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom));
}
}  // namespace

// ---------------------------------------------------------------------------
// Placement of the drop-down

TComboSizeInformation InitialComboSizeInformation(const TRect& area, const TRect& edit, TBiDiMode bidi,
                                                  bool resizable) {
  const TRect e = intersect(edit, area);
  const int32_t left = e.Right - area.Left, above = e.Top - area.Top, right = area.Right - e.Left,
                below = area.Bottom - e.Bottom;
  const int32_t g = resizable ? 13 : 2;
  TComboSizeInformation s;
  s.Direction = bidi == bdRightToLeft || bidi == bdRightToLeftNoAlign ? 2 : 3;
  s.MinWidth = 0;
  s.MinHeight = 0;
  s.Width = edit.Width() - 2;
  s.Height = 36;
  s.MaxWidth = std::max(right, left) - 2;
  s.MaxHeight = std::max(below, above) - g;
  return s;
}

TDropDownPlacement PlaceDropDown(const TRect& area, const TRect& edit, bool resizable, TComboSizeInformation s) {
  TDropDownPlacement p;
  const TRect e = intersect(edit, area);
  if (e.Left >= e.Right || e.Top >= e.Bottom) {
    p.Failed = true;
    return p;
  }
  const int32_t left = e.Right - area.Left, above = e.Top - area.Top, right = area.Right - e.Left,
                below = area.Bottom - e.Bottom;
  const int32_t maxW = std::max(right, left), maxH = std::max(below, above);
  const int32_t g = resizable ? 13 : 2;
  s.MaxWidth = std::min(s.MaxWidth + 2, maxW);
  s.MaxHeight = std::min(s.MaxHeight + g, maxH);
  s.Width = std::max(s.Width, s.MinWidth);
  s.Height = std::max(s.Height, s.MinHeight);
  s.Width = std::min(s.Width + 2, s.MaxWidth);
  s.Height = std::min(s.Height + g, s.MaxHeight);
  s.MinWidth = std::max(s.MinWidth + 2, 2);
  s.MinHeight = std::max(s.MinHeight + g, g);
  if (s.Width < s.MinWidth || s.Height < s.MinHeight) {
    p.Failed = true;
    return p;
  }
  Byte d = s.Direction & 3;
  if (left < s.Width) d = d == 0 ? 1 : d == 2 ? 3 : d;
  if (above < s.Height) d = d == 0 ? 2 : d == 1 ? 3 : d;
  if (right < s.Width) d = d == 1 ? 0 : d == 3 ? 2 : d;
  if (below < s.Height) d = d == 2 ? 0 : d == 3 ? 1 : d;
  p.Direction = d;
  int32_t x = 0, y = 0;
  switch (d) {
    case 0: x = e.Right - s.Width, y = e.Top - s.Height; break;
    case 1: x = e.Left, y = e.Top - s.Height; break;
    case 2: x = e.Right - s.Width, y = e.Bottom; break;
    default: x = e.Left, y = e.Bottom; break;
  }
  p.Bounds = Rect(x, y, x + s.Width, y + s.Height);
  p.MinWidth = s.MinWidth;
  p.MinHeight = s.MinHeight;
  p.MaxWidth = s.MaxWidth;
  p.MaxHeight = s.MaxHeight;
  p.Grip = resizable ? static_cast<Byte>(d + 1) : 0;
  return p;
}

// ---------------------------------------------------------------------------
// TCustomQVREdit

TCustomQVREdit::TCustomQVREdit(TComponent* owner)
    : TCustomEdit(owner), buttons_(std::make_unique<TQVRButtonList>(this)), imagesLink_(std::make_unique<TChangeLink>()) {
  // The frame is the edit's own.
  LineEdit()->setFrame(false);
  buttons_->OnChange = [this] { UpdateLayout(); };
  imagesLink_->OnChange = [this](TObject*) { UpdateEditRect(); };
  UpdateColors();
}

TCustomQVREdit::~TCustomQVREdit() {
  destroying_ = true;
  buttons_->OnChange = nullptr;
  if (images_) images_->UnRegisterChanges(imagesLink_.get());
  if (captionLabel_) {
    TLabel* l = captionLabel_;
    captionLabel_ = nullptr;
    l->RemoveFreeNotification(this);
    FreeObject(l);
  }
}

void TCustomQVREdit::repaintFrame() { Invalidate(); }

void TCustomQVREdit::SetHotColor(TColor v) {
  hotColor_ = v;
  repaintFrame();
}
void TCustomQVREdit::SetCoolColor(TColor v) {
  coolColor_ = v;
  repaintFrame();
}
void TCustomQVREdit::SetFocusColor(TColor v) {
  focusColor_ = v;
  repaintFrame();
}
void TCustomQVREdit::SetBorder(bool v) {
  border_ = v;
  UpdateEditRect();
}
void TCustomQVREdit::SetButtonsOutside(bool v) {
  buttonsOutside_ = v;
  UpdateEditRect();
}
void TCustomQVREdit::SetImageIndex(Integer v) {
  imageIndex_ = v;
  UpdateEditRect();
}
void TCustomQVREdit::SetImages(TCustomImageList* v) {
  if (v == images_) return;
  if (images_) {
    images_->UnRegisterChanges(imagesLink_.get());
    images_->RemoveFreeNotification(this);
  }
  images_ = v;
  if (v) {
    v->RegisterChanges(imagesLink_.get());
    v->FreeNotification(this);
  }
  UpdateEditRect();
}
void TCustomQVREdit::SetBorderRadius(Integer v) {
  borderRadius_ = v;
  Invalidate();
}
void TCustomQVREdit::SetHideComboButtonOnNoItems(bool v) {
  if (v == hideComboButtonOnNoItems_) return;
  hideComboButtonOnNoItems_ = v;
  UpdateEditRect();
}

void TCustomQVREdit::SetLocked(bool v) {
  SetReadOnly(v);
  // A locked box is read, not typed in: Tab passes it by, and a window
  // does not start with the focus in it (a click still puts the caret in
  // it, for copying).
  TabStop = !v;
  for (QWidget* w : {Widget(), static_cast<QWidget*>(LineEdit())})
    if (w) w->setFocusPolicy(v ? Qt::ClickFocus : Qt::StrongFocus);
  UpdateColors();
}

#define PX_COLOR_WRITER(Name, field) \
  void TCustomQVREdit::Set##Name(TColor v) { \
    field = v;                               \
    UpdateColors();                          \
  }
PX_COLOR_WRITER(LockColor, lockColor_)
PX_COLOR_WRITER(LockColorInvalid, lockColorInvalid_)
PX_COLOR_WRITER(LockFontColor, lockFontColor_)
PX_COLOR_WRITER(LockFontColorInvalid, lockFontColorInvalid_)
PX_COLOR_WRITER(UnlockColor, unlockColor_)
PX_COLOR_WRITER(UnlockColorInvalid, unlockColorInvalid_)
PX_COLOR_WRITER(UnlockFontColor, unlockFontColor_)
PX_COLOR_WRITER(UnlockFontColorInvalid, unlockFontColorInvalid_)
#undef PX_COLOR_WRITER

void TCustomQVREdit::SetLabelPosition(TLabelPosition v) {
  labelPosition_ = v;
  UpdateLabel();
}
void TCustomQVREdit::SetLabelDistance(Integer v) {
  labelDistance_ = v;
  UpdateLabel();
}
void TCustomQVREdit::SetLabelCaption(const std::string& v) {
  labelCaption_ = v;
  UpdateLabel();
}
void TCustomQVREdit::SetLabelColor(TColor v) {
  labelColor_ = v;
  UpdateLabel();
}

void TCustomQVREdit::SetValidationHint(const std::string& v) {
  validationHint_ = v;
  UpdateValidationImage();
}
void TCustomQVREdit::SetValidationAllowEmpty(bool v) {
  validationAllowEmpty_ = v;
  Revalidate();
}
void TCustomQVREdit::SetValidationImageList(TCustomImageList* v) {
  if (v == validationImageList_) return;
  if (validationImageList_) validationImageList_->RemoveFreeNotification(this);
  validationImageList_ = v;
  if (v) v->FreeNotification(this);
  UpdateValidationImage();
}
void TCustomQVREdit::SetValidationImageIndex(Integer v) {
  validationImageIndex_ = v;
  UpdateValidationImage();
}
void TCustomQVREdit::SetValidationType(TValidationMode v) {
  validationType_ = v;
  Revalidate();
}

void TCustomQVREdit::SetParent(TWinControl* parent) {
  TCustomEdit::SetParent(parent);
  UpdateEditRect();
  UpdateLabel();
  UpdateValidationImage();
}

void TCustomQVREdit::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  const bool sized = width != Width() || height != Height();
  const bool changed = sized || left != Left() || top != Top();
  TCustomEdit::SetBounds(left, top, width, height);
  if (sized) UpdateEditRect();
  if (changed) {
    UpdateLabel();
    UpdateValidationImage();
  }
}

void TCustomQVREdit::SetText(const std::string& value) { TCustomEdit::SetText(value); }

// ---- layout and painting ----

void TCustomQVREdit::UpdateEditRect() {
  if (!Parent()) return;
  const int32_t cw = ClientWidth(), ch = ClientHeight();
  TRect r = border_ ? Rect(2, 2, cw - 2, ch - 2) : Rect(0, 0, cw, ch);
  for (Integer i = buttons_->Count() - 1; i >= 0; --i) {
    TQVRButtonItem* b = buttons_->Items(i);
    b->ButtonRect = TRect{};
    if (b->IsSeparator() || !b->Visible()) continue;
    if (!border_) {
      b->ButtonRect = Rect(r.Right - ch, r.Top, r.Right, r.Bottom);
      r.Right -= ch;
    } else if (b->Width() != 0) {
      b->ButtonRect = Rect(r.Right - b->Width(), r.Top, r.Right, r.Bottom);
      r.Right -= b->Width();
    } else if (buttonsOutside_) {
      b->ButtonRect = Rect(r.Right - ch, r.Top - 2, r.Right + 2, r.Bottom + 2);
      r.Right -= ch;
    } else {
      b->ButtonRect = Rect(r.Right - ch + 1, r.Top - 1, r.Right + 1, r.Bottom + 1);
      r.Right -= ch - 2;
    }
  }
  if (!border_) borderRect_ = TRect{};
  else if (buttonsOutside_) borderRect_ = Rect(0, 0, r.Right + 2, ch);
  else borderRect_ = Rect(0, 0, cw, ch);
  TRect t = r;
  if (images_ && imageIndex_ >= 0) t.Left += images_->Width() + 2;
  t.Left += 2;
  if (buttons_->Count() > 0) t.Right -= 1;
  textRect_ = t;
  LineEdit()->setTextMargins(t.Left, t.Top, std::max(0, cw - t.Right), std::max(0, ch - t.Bottom));
  Invalidate();
}

void TCustomQVREdit::UpdateLayout() { UpdateEditRect(); }

void TCustomQVREdit::PaintBorder(TCanvas& c) {
  if (borderRadius_ < 0 || borderRect_.Width() <= 0) return;
  c.Pen().SetColor(Focused() ? focusColor_ : hot_ && Enabled() ? hotColor_ : coolColor_);
  c.Pen().SetStyle(psSolid);
  c.Brush().SetStyle(bsClear);
  if (borderRadius_ == 0) c.Rectangle(borderRect_);
  else c.RoundRect(borderRect_, borderRadius_, borderRadius_);
}

void TCustomQVREdit::PaintButton(TCanvas& c, Integer index) {
  Assert(index >= 0 && index < buttons_->Count(), "Button index out of range");
  TQVRButtonItem* b = buttons_->Items(index);
  if (!b->Visible() || b->ButtonRect.Width() <= 0) return;
  Byte state;
  if (index == hotButton_ && index == pressedButton_) state = bsDown;
  else if (index == hotButton_) state = bsHot;
  else state = Enabled() && b->Enabled() ? bsNormal : bsDisabled;
  b->State = state;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(ButtonColor);
  c.FillRect(b->ButtonRect);
  b->Draw(c, b->ButtonRect, ButtonColor, state, true, true, nullptr, nullptr, nullptr);
}

void TCustomQVREdit::PaintButtons(TCanvas& c) {
  for (Integer i = 0; i < buttons_->Count(); ++i) PaintButton(c, i);
}

void TCustomQVREdit::PaintFrame(TCanvas& c) {
  PaintBorder(c);
  PaintButtons(c);
  if (images_ && imageIndex_ >= 0) images_->Draw(c, 2, 1, imageIndex_);
}

// ---- buttons and mouse ----

TPoint TCustomQVREdit::cursorPos() const {
  QPoint p = Widget()->mapFromGlobal(QCursor::pos());
  return {p.x(), p.y()};
}

Integer TCustomQVREdit::ButtonAtPos(TPoint p) {
  for (Integer i = 0; i < buttons_->Count(); ++i) {
    TQVRButtonItem* b = buttons_->Items(i);
    if (b->Visible() && b->Enabled() && b->ButtonRect.Contains(p)) return i;
  }
  return -1;
}

void TCustomQVREdit::UpdateHotButton(TPoint p) {
  Integer i = hot_ ? ButtonAtPos(p) : -1;
  if (i != hotButton_) SetHotButton(i);
}

void TCustomQVREdit::SetHotButton(Integer index) {
  hotButton_ = index;
  TControl::SetCursor(index < 0 ? crIBeam : crArrow);
  Invalidate();
}

void TCustomQVREdit::DoMouseEnter() {
  hot_ = true;
  UpdateHotButton(cursorPos());
  Invalidate();
}

void TCustomQVREdit::DoMouseLeave() {
  hot_ = false;
  UpdateHotButton(cursorPos());
  Invalidate();
}

void TCustomQVREdit::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (!hot_) {
    hot_ = true;
    Invalidate();
  }
  UpdateHotButton({x, y});
  TCustomEdit::MouseMove(shift, x, y);
}

void TCustomQVREdit::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const Integer at = ButtonAtPos({x, y});
  if (at < 0) {
    TCustomEdit::MouseDown(button, shift, x, y);
    if (button == mbMiddle && !QGuiApplication::clipboard()->supportsSelection()) return;
    if (button == mbMiddle) KeepFromWidget();  // pasted on release, by this edit's rule
    return;
  }
  KeepFromWidget();  // a button click must not move the caret
  if (button == mbLeft) {
    hot_ = true;
    UpdateHotButton({x, y});
    pressedButton_ = hotButton_;
    Invalidate();
  }
}

void TCustomQVREdit::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  std::weak_ptr<char> alive = editLife_;
  TCustomEdit::MouseUp(button, shift, x, y);
  if (alive.expired()) return;
  if (button == mbMiddle && ButtonAtPos({x, y}) < 0) {
    if (QClipboard* cb = QGuiApplication::clipboard(); cb->supportsSelection()) {
      KeepFromWidget();
      if (!Locked() && !ListOnly) PasteText(cb->text(QClipboard::Selection).toStdString());
    }
    return;
  }
  UpdateHotButton({x, y});
  if (pressedButton_ < 0) return;
  KeepFromWidget();
  const Integer pressed = pressedButton_;
  pressedButton_ = -1;
  if (button == mbLeft && pressed == hotButton_) {
    executeButton(pressed);
    return;
  }
  Invalidate();
}

void TCustomQVREdit::executeButton(Integer index) {
  // The action may free this edit (a button that closes its frame): after
  // it, the edit is touched only while it lives, also when the action raises.
  std::weak_ptr<char> alive = editLife_;
  auto after = [&] {
    if (alive.expired()) return;
    UpdateHotButton(cursorPos());
    Invalidate();
  };
  try {
    TQVRButtonItem* b = buttons_->Items(index);
    TCustomAction* action = b->Action();
    bool handled = false;
    if (b->OnExecute) {
      auto fn = b->OnExecute;
      fn(b, handled);
    }
    if (!handled && action && !alive.expired()) action->Execute();
  } catch (...) {
    after();
    throw;
  }
  after();
}

// ---- keys and clipboard ----

void TCustomQVREdit::KeyPress(char16_t& key) {
  // Enter goes to the form (its default button) also from a box whose text
  // comes from its list only.
  if (key == 13) {
    if (TForm* form = GetParentForm(this)) {
      key = 0;
      form->Perform(CM_DIALOGKEY, EnterAsTab ? VK_TAB : VK_RETURN, 0);
      return;
    }
  }
  if (ListOnly) {
    key = 0;
    return;
  }
  if (key == 1) {
    SelectAll();
    key = 0;
    return;
  }
  TCustomEdit::KeyPress(key);
}

void TCustomQVREdit::KeyDown(Word& key, TShiftState shift) {
  if (ListOnly && key == VK_ESCAPE && shift.Empty()) {
    // Escape cancels the dialog the box stands in, as in any other edit;
    // only where no form takes it does it clear the box.
    if (TForm* form = GetParentForm(this); form && form->Perform(CM_DIALOGKEY, VK_ESCAPE, 0)) {
      key = 0;
      return;
    }
  }
  if (ListOnly && (key == VK_DELETE || key == VK_BACK || key == VK_ESCAPE)) {
    SetText("");
    Revalidate();
    ListOnlyCleared();
    Change();
    key = 0;
    return;
  }
  if (key == VK_DOWN && AutoExpand) {
    DropDown(true);
    key = 0;
    return;
  }
  const bool ctrl = shift.Contains(ssCtrl), sh = shift.Contains(ssShift);
  if ((ctrl && !sh && key == 'V') || (sh && !ctrl && key == VK_INSERT)) {
    PasteFromClipboard();
    key = 0;
    return;
  }
  if ((ctrl && !sh && key == 'X') || (sh && !ctrl && key == VK_DELETE)) {
    CutToClipboard();
    key = 0;
    return;
  }
  if (key == VK_ESCAPE && shift.Empty()) {
    // Escape still reaches the form's cancel button.
    if (TForm* form = GetParentForm(this); form && form->Perform(CM_DIALOGKEY, VK_ESCAPE, 0)) {
      key = 0;
      return;
    }
  }
  TCustomEdit::KeyDown(key, shift);
}

void TCustomQVREdit::PasteText(const std::string& text) {
  // Line breaks of a copied multi-line text become blanks; the clipboard
  // itself is left as it is.
  std::string flat;
  flat.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      flat += ' ';
      ++i;
    } else {
      flat += text[i];
    }
  }
  LineEdit()->insert(qs(flat));
}

void TCustomQVREdit::PasteFromClipboard() {
  if (Locked() || ListOnly) return;
  PasteText(QGuiApplication::clipboard()->text().toStdString());
}

void TCustomQVREdit::CutToClipboard() {
  if (Locked()) {
    LineEdit()->copy();
    return;
  }
  if (ListOnly) {
    if (SelStart() == 0 && SelLength() == static_cast<Integer>(LineEdit()->text().size())) LineEdit()->cut();
    else LineEdit()->copy();
    return;
  }
  LineEdit()->cut();
}

std::unique_ptr<QMenu> TCustomQVREdit::CreateContextMenu() {
  std::unique_ptr<QMenu> menu(LineEdit()->createStandardContextMenu());
  // The standard entries are known by their shortcuts (older Qt names no
  // action); they get their names here.
  const QString pasteKey = "\t" + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
  const QString cutKey = "\t" + QKeySequence(QKeySequence::Cut).toString(QKeySequence::NativeText);
  for (QAction* a : menu->actions()) {
    if (a->objectName().isEmpty() && a->text().endsWith(pasteKey)) a->setObjectName("edit-paste");
    if (a->objectName().isEmpty() && a->text().endsWith(cutKey)) a->setObjectName("edit-cut");
    if (a->objectName() == "edit-paste") {
      QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
      a->setEnabled(!Locked() && !ListOnly);
      QObject::connect(a, &QAction::triggered, [this] { PasteFromClipboard(); });
    } else if (a->objectName() == "edit-cut") {
      QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
      a->setEnabled(LineEdit()->hasSelectedText());
      QObject::connect(a, &QAction::triggered, [this] { CutToClipboard(); });
    }
  }
  return menu;
}

// ---- validation, colours, label ----

bool TCustomQVREdit::IsValid() {
  const std::string text = Text();
  bool ok = true;
  if (text.empty()) {
    ok = validationAllowEmpty_;
  } else {
    int32_t i = 0;
    double d = 0;
    TDateTime t = 0;
    switch (validationType_) {
      case vtNone: ok = true; break;
      case vtIdent: ok = IsValidIdent(text); break;
      case vtInteger: ok = TryStrToInt(text, i); break;
      case vtIntegerPositive: ok = TryStrToInt(text, i) && i >= 0; break;
      case vtFloat: ok = TryStrToFloat(text, d); break;
      case vtFloatPositive: ok = TryStrToFloat(text, d) && d >= 0; break;
      case vtDateTime: ok = TryStrToDateTime(text, t); break;
      case vtDate: ok = TryStrToDate(text, t); break;
      case vtTime: ok = TryStrToTime(text, t); break;
    }
  }
  if (OnValidate) OnValidate(this, ok);
  return ok;
}

void TCustomQVREdit::Revalidate() {
  valid_ = IsValid();
  UpdateValidationImage();
}

void TCustomQVREdit::UpdateColors() {
  const bool locked = Locked();
  TColor back = locked ? (valid_ ? lockColor_ : lockColorInvalid_) : (valid_ ? unlockColor_ : unlockColorInvalid_);
  TColor fore = locked ? (valid_ ? lockFontColor_ : lockFontColorInvalid_)
                       : (valid_ ? unlockFontColor_ : unlockFontColorInvalid_);
  if (back == clDefault) back = locked ? clBtnFace : clWindow;
  if (fore == clDefault) fore = clWindowText;
  SetColor(back);
  Font().SetColor(fore);
  QPalette pal = LineEdit()->palette();
  pal.setColor(QPalette::Base, ToQColor(back));
  pal.setColor(QPalette::Window, ToQColor(back));
  pal.setColor(QPalette::Text, ToQColor(fore));
  // The colours above are those of a usable edit; a disabled one greys its
  // text like every other control, whatever its font colour.
  pal.setColor(QPalette::Disabled, QPalette::Text, ToQColor(clGrayText));
  LineEdit()->setPalette(pal);
}

void TCustomQVREdit::UpdateLabel() {
  if (destroying_) return;
  TLabel* l = PlaceCaptionLabel(this, captionLabel_, labelPosition_ != UnitQVREdit::lpNone, labelCaption_,
                                labelPosition_ == UnitQVREdit::lpAbove, labelDistance_);
  if (!l) return;
  if (labelColor_ != clDefault) l->SetColor(labelColor_);
  l->Transparent = true;
}

void TCustomQVREdit::UpdateValidationImage() {
  if (destroying_) return;
  if (Parent() && Visible() && validationImageList_ && validationImageIndex_ >= 0 && !valid_) {
    if (!validationImage_) {
      validationImage_ = CreateComponent<TQVRBackgroundImage>(this);
      validationImage_->FreeNotification(this);
    }
    TQVRBackgroundImage* img = validationImage_;
    img->SetParent(Parent());
    img->SetImageList(validationImageList_);
    img->SetImageIndex(validationImageIndex_);
    img->SetBounds(Left() + Width() + 4, Top() + (Height() - img->Height()) / 2, img->Width(), img->Height());
    img->Hint = validationHint_;
    img->ShowHint = !validationHint_.empty();
  } else if (validationImage_) {
    TQVRBackgroundImage* img = validationImage_;
    validationImage_ = nullptr;
    img->RemoveFreeNotification(this);
    FreeObject(img);
  }
  UpdateColors();
}

void TCustomQVREdit::Change() {
  Invalidate();
  TCustomEdit::Change();
  Revalidate();
}

void TCustomQVREdit::Notification(TComponent* component, TOperation operation) {
  TCustomEdit::Notification(component, operation);
  if (operation != opRemove || destroying_) return;
  if (component == images_) images_ = nullptr;
  if (component == validationImageList_) validationImageList_ = nullptr;
  if (component == captionLabel_) captionLabel_ = nullptr;
  if (component == validationImage_) validationImage_ = nullptr;
  if (component == container_) container_ = nullptr;
  for (Integer i = buttons_->Count() - 1; i >= 0; --i)
    if (buttons_->Items(i)->Action() == component) buttons_->Delete(i);
}

// ---- drop-down ----

bool TCustomQVREdit::DroppedDown() const { return container_ && container_->Visible(); }

void TCustomQVREdit::DropDown(bool value) {
  if (value == DroppedDown()) return;
  if (value) Expand();
  else Collapse(false);
}

void TCustomQVREdit::CloseUp(bool deferred) {
  if (deferred) PostMessage(Handle(), WM_CLOSEUP, 0, 0);
  else DropDown(false);
}

void TCustomQVREdit::AddComboButton() {
  TQVRButtonItem* b = buttons_->Add();
  b->OnGetVisible = [this](TQVRButtonItem*, bool& v) { v = CanExpand() || !hideComboButtonOnNoItems_; };
  b->OnGetEnabled = [this](TQVRButtonItem*, bool& e) { e = Enabled(); };
  b->OnDrawButton = [](TQVRButtonItem* s, bool& handled) {
    DrawEditButton(*s->PaintCanvas(), s->PaintRect(), s->PaintColor(), egArrow, s->PaintState());
    handled = true;
  };
  b->OnExecute = [this](TQVRButtonItem*, bool& handled) {
    handled = true;
    if (DroppedDown()) CloseUp(false);
    else DropDown(true);
  };
  UpdateEditRect();
}

void TCustomQVREdit::Expand() {
  if (ReadOnly()) return;
  if (!Focused() && CanFocus()) SetFocus();
  std::weak_ptr<char> alive = editLife_;
  if (container_ && container_->Visible()) {
    // Hiding runs the clean-up, which frees the container: the one to show
    // is fetched (or made) only after it.
    container_->HideContainer();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    if (alive.expired()) return;
  }
  if (!container_) {
    container_ = CreateComponent<TComboContainer>(this);
    container_->FreeNotification(this);
    container_->OnVisibleChanged = [this](bool v) { comboVisibilityChanged(v); };
  }
  TRect area;
  TForm* form = GetParentForm(this);
  QScreen* screen = form ? form->Widget()->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    QRect g = screen->geometry();
    area = Rect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height());
  }
  TPoint o = ClientToScreen({0, 0});
  const TRect edit = Rect(o.X, o.Y, o.X + Width(), o.Y + Height());
  TComboSizeInformation size = InitialComboSizeInformation(area, edit, BiDiMode, ComboResizeable);
  const TRect clipped = intersect(edit, area);
  if (clipped.Left >= clipped.Right || clipped.Top >= clipped.Bottom) {
    DoExpandFailure();
    return;
  }
  DoBeforeExpanding(size);
  if (alive.expired() || !container_) return;
  TDropDownPlacement p = PlaceDropDown(area, edit, ComboResizeable, size);
  if (p.Failed) {
    DoExpandFailure();
    return;
  }
  TComboContainer* c = container_;
  c->SetGrip(p.Grip);
  c->MinWidth = p.MinWidth;
  c->MinHeight = p.MinHeight;
  c->MaxWidth = p.MaxWidth;
  c->MaxHeight = p.MaxHeight;
  c->ApplyTrackLimits();
  c->SetBoundsRect(p.Bounds);
  c->Widget()->setGeometry(p.Bounds.Left, p.Bounds.Top, p.Bounds.Width(), p.Bounds.Height());
  c->ShowContainer();
  if (!alive.expired() && container_ == c) c->Widget()->activateWindow();
}

void TCustomQVREdit::Collapse(bool deferred) {
  Assert(container_ != nullptr, "The drop-down container must exist");
  if (deferred) PostMessage(Handle(), WM_CLOSEUP, 0, 0);
  else container_->HideContainer();
}

void TCustomQVREdit::comboVisibilityChanged(bool visible) {
  if (visible) DoAfterExpanding();
  else DoAfterCollapsing();
}

void TCustomQVREdit::DoBeforeExpanding(TComboSizeInformation& s) {
  if (BeforeExpanding) BeforeExpanding(this, s);
}

void TCustomQVREdit::DoAfterExpanding() {
  if (AfterExpanding) AfterExpanding(this);
}

void TCustomQVREdit::DoAfterCollapsing() {
  UpdateHotButton(cursorPos());
  PostMessage(Handle(), WM_CLEANUP, 0, 0);
  std::weak_ptr<char> alive = editLife_;
  if (AfterCollapsing) AfterCollapsing(this);
  if (alive.expired()) return;
  TForm* form = GetParentForm(this);
  if (form && form->Visible() && form->Enabled() && CanFocus()) SetFocus();
}

void TCustomQVREdit::DoExpandFailure() {
  if (OnExpandFailure) OnExpandFailure(this);
}

void TCustomQVREdit::cleanup() {
  // A second clean-up (the container already gone) has nothing to do.
  if (!container_) return;
  std::weak_ptr<char> alive = editLife_;
  if (OnComboCleanup) OnComboCleanup(this);
  if (alive.expired() || !container_) return;
  TComboContainer* c = container_;
  if (c->Visible()) return;  // shown again meanwhile
  if (ComboCleanup == cmUnParent) {
    while (c->ControlCount() > 0) c->Controls(c->ControlCount() - 1)->SetParent(nullptr);
  } else if (ComboCleanup == cmFree) {
    while (c->ControlCount() > 0) {
      TControl* child = c->Controls(c->ControlCount() - 1);
      child->SetParent(nullptr);
      FreeObject(child);
    }
  }
  container_ = nullptr;
  c->RemoveFreeNotification(this);
  FreeObject(c);
}

void TCustomQVREdit::DoFocusChanged(bool focussed) {
  Invalidate();
  if (OnFocusChanged) OnFocusChanged(this, focussed);
}

void TCustomQVREdit::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_GETDLGCODE:
      // Return reaches the edit, which hands it to the form itself.
      m.Result = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_WANTALLKEYS;
      return;
    case WM_PAINT:
      TCustomEdit::WndProc(m);
      if (paintCanvas_) PaintFrame(*paintCanvas_);
      return;
    case WM_CHAR:
      if ((m.LParam & KF_KEYPAD) && (m.WParam == '.' || m.WParam == ',') && !ListOnly && !ReadOnly()) {
        // The keypad's decimal key types the locale's separator.
        LineEdit()->insert(qs(FormatSettings.DecimalSeparator));
        m.Result = 1;
        return;
      }
      break;
    case WM_CONTEXTMENU: {
      std::unique_ptr<QMenu> menu = CreateContextMenu();
      menu->exec(QPoint(LoWordSigned(m.LParam), HiWordSigned(m.LParam)));
      m.Result = 1;
      return;
    }
    case WM_SETFOCUS:
      DoFocusChanged(true);
      break;
    case WM_KILLFOCUS: {
      if (container_ && container_->Visible()) {
        QWidget* w = QApplication::focusWidget();
        bool inContainer = false;
        for (; w; w = w->parentWidget())
          if (w == container_->Widget()) inContainer = true;
        if (QApplication::focusWidget() && !inContainer) CloseUp(false);
      }
      DoFocusChanged(false);
      break;
    }
    case CM_ENTER: {
      TCustomEdit::WndProc(m);
      if (AutoSelect && GetKeyState(VK_LBUTTON) >= 0) SelectAll();
      return;
    }
    case CM_MOUSEENTER:
      TCustomEdit::WndProc(m);
      DoMouseEnter();
      return;
    case CM_MOUSELEAVE:
      TCustomEdit::WndProc(m);
      DoMouseLeave();
      return;
    case CM_ENABLEDCHANGED:
    case CM_VISIBLECHANGED:
      TCustomEdit::WndProc(m);
      UpdateLabel();
      UpdateValidationImage();
      Invalidate();
      return;
    case WM_CLEANUP: cleanup(); return;
    case WM_CLOSEUP: DropDown(false); return;
    default: break;
  }
  TCustomEdit::WndProc(m);
}

// ---------------------------------------------------------------------------
// TCustomQVRComboBox

TCustomQVRComboBox::TCustomQVRComboBox(TComponent* owner)
    : TCustomQVREdit(owner), items_(std::make_unique<TStringList>()) {
  items_->OnChange = [this](TObject*) { itemsChanged(); };
  SetButtonsOutside(false);
  ComboCleanup = cmFree;
  ListOnly = true;
  AddComboButton();
}

TCustomQVRComboBox::~TCustomQVRComboBox() { items_->OnChange = nullptr; }

void TCustomQVRComboBox::SetItems(const TStrings& items) {
  Integer index = items.IndexOf(Text());
  items_->Assign(&items);
  if (!ReadOnly() && index >= 0 && index != itemIndex_) SetItemIndexChecked(index);
}

void TCustomQVRComboBox::SetItemIndexChecked(Integer index) {
  if (index < -1 || index >= items_->Count()) throw Exception("ItemIndex out of range error.");
  SetItemIndex(index);
}

void TCustomQVRComboBox::SetItemIndex(Integer index) {
  if (index < -1 || index >= items_->Count()) return;
  itemIndex_ = index;
  SetText(index < 0 ? std::string() : items_->Get(index));
}

void TCustomQVRComboBox::itemsChanged() {
  if (HideComboButtonOnNoItems()) UpdateEditRect();
  if (itemIndex_ >= 0 && itemIndex_ < items_->Count() && items_->Get(itemIndex_) == Text()) return;
  itemIndex_ = items_->IndexOf(Text());
}

bool TCustomQVRComboBox::IsItemTicked(Integer index) const {
  if (index < 0 || index >= items_->Count()) return false;
  std::string sep;
  sep += static_cast<char>(MultiSeparator);
  const std::string hay = sep + Text() + sep;
  return hay.find(sep + items_->Get(index) + sep) != std::string::npos;
}

void TCustomQVRComboBox::TakeTickedItems() {
  auto* check = dynamic_cast<TCheckListBox*>(list_);
  if (!check) return;
  std::string text;
  for (Integer i = 0; i < check->Count(); ++i)
    if (check->Checked(i)) {
      if (!text.empty()) text += static_cast<char>(MultiSeparator);
      text += check->Items().Get(i);
    }
  SetText(text);
}

void TCustomQVRComboBox::ListSelected() {
  if (!list_) return;
  if (dynamic_cast<TCheckListBox*>(list_)) TakeTickedItems();
  else SetItemIndex(list_->ItemIndex());
  if (DroppedDown()) CloseUp(false);
}

void TCustomQVRComboBox::Notification(TComponent* component, TOperation operation) {
  TCustomQVREdit::Notification(component, operation);
  if (operation == opRemove && component == list_) list_ = nullptr;
}

void TCustomQVRComboBox::DoBeforeExpanding(TComboSizeInformation& s) {
  TCustomQVREdit::DoBeforeExpanding(s);
  TComboContainer* c = GetContainer();
  if (!c) return;
  TCustomListBox* list;
  if (MultiSelect) {
    auto* check = CreateComponent<TCheckListBox>(this);
    check->OnClick = [this](TObject*) { TakeTickedItems(); };
    check->OnClickCheck = [this](TObject*) { TakeTickedItems(); };
    list = check;
  } else {
    auto* single = CreateComponent<TMyListBox>(this);
    single->OnClick = [this](TObject*) { ListSelected(); };
    list = single;
  }
  list_ = list;
  list->FreeNotification(this);
  list->SetBorderStyle(bsNone);
  list->SetItemHeight(ClientHeight());
  list->OnExit = [this](TObject*) { ListSelected(); };
  list->Font().Assign(Font());
  list->SetAlign(alClient);
  list->SetParent(c);
  list->Items().Assign(items_.get());
  list->SetItemIndex(itemIndex_);
  if (auto* check = dynamic_cast<TCheckListBox*>(list))
    for (Integer i = 0; i < items_->Count(); ++i)
      if (IsItemTicked(i)) check->SetChecked(i, true);
  const Integer count = items_->Count();
  const Integer rows = DropDownCount < 0 || DropDownCount > count ? count : DropDownCount;
  const Integer h = ClientHeight();
  s.Height = std::max(rows, 1) * h;
  s.MaxHeight = count * h;
  s.MinHeight = h;
  s.MinWidth = Width() - 2;
}

void TCustomQVRComboBox::KeyDown(Word& key, TShiftState shift) {
  TCustomQVREdit::KeyDown(key, shift);
  if (key != VK_UP && key != VK_DOWN) return;
  if (items_->Count() == 0) return;
  Integer index = key == VK_UP ? std::max(itemIndex_ - 1, 0) : std::min(itemIndex_ + 1, items_->Count() - 1);
  if (!ReadOnly() && index >= 0 && index != itemIndex_) SetItemIndexChecked(index);
  key = 0;
}

void TCustomQVRComboBox::WndProc(TMessage& m) {
  TCustomQVREdit::WndProc(m);
  if (m.Msg != CM_TEXTCHANGED) return;
  if (itemIndex_ >= 0 && itemIndex_ < items_->Count() && items_->Get(itemIndex_) == Text()) return;
  Integer i = items_->IndexOf(Text());
  if (i >= 0) itemIndex_ = i;
}

}  // namespace px
