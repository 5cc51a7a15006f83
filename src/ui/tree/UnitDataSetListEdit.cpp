// The grid's cell editors: a text edit and a drop-down list of lookup
// records, each reached by the tree only through its edit link.
#include <QLineEdit>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {

namespace {

LPARAM keyFlagsOf(TShiftState shift) {
  return static_cast<LPARAM>((shift.Contains(ssShift) ? MK_SHIFT : 0) | (shift.Contains(ssCtrl) ? MK_CONTROL : 0) |
                             (shift.Contains(ssAlt) ? MK_ALT : 0));
}

}  // namespace

// ---------------------------------------------------------------------------
// TQVRNTLink

TQVRNTLink::TQVRNTLink(TDataSetList* grid) : grid_(grid) {
  Assert(grid != nullptr, "A grid link needs its grid (src/ui/tree/UnitDataSetListEdit.cpp)");
}

TQVRNTLink::~TQVRNTLink() {
  // The editor may still be inside one of its own handlers: it frees itself
  // when the posted release arrives.
  if (editor_) {
    if (grid_->activeEditor_ == editor_) grid_->activeEditor_ = nullptr;
    editor_->SetVisible(false);
    PostMessage(editor_->Handle(), CM_RELEASE, 0, 0);
  }
}

bool TQVRNTLink::ShowEditor() {
  if (stopped_) return false;
  editor_->SetVisible(true);
  editor_->SetFocus();
  return true;
}

bool TQVRNTLink::CancelEditing() {
  if (stopped_) return false;
  stopped_ = true;
  editor_->SetVisible(false);
  grid_->CancelEditNode();
  DetachEditor();
  return true;
}

bool TQVRNTLink::AcceptEditing() {
  if (stopped_) return false;
  stopped_ = true;
  try {
    StoreResult();
  } catch (...) {
    // The user corrects the entry in the editor that stays open.
    stopped_ = false;
    throw;
  }
  editor_->SetVisible(false);
  DetachEditor();
  return true;
}

bool TQVRNTLink::PrepareForCell(TBaseNodeTree* tree, PNTNode node, TColumnIndex column) {
  node_ = node;
  column_ = column;
  TFont font;
  font.Assign(grid_->Font());
  TRect r;
  UnicodeString text;
  grid_->GetTextInfo(node, column, font, r, text);
  font.SetColor(clWindowText);
  editor_->Font().Assign(font);
  editor_->SetParent(tree);
  const IMemDataView& view = grid_->View();
  if (!view) return false;
  const TNTEditorLayout layout = EditorLayoutOf(*grid_, column);
  alignment_ = layout.Alignment;
  ApplyEditorLayout(*editor_, layout);
  grid_->activeEditor_ = editor_;
  return FillEditor(grid_->GetNodeRecord(node), grid_->ViewColumnIndex(column), text);
}

TRect TQVRNTLink::GetEditorBounds() { return editor_->BoundsRect(); }

void TQVRNTLink::RelayMessage(TMessage& message) { editor_->Perform(message.Msg, message.WParam, message.LParam); }

void TQVRNTLink::SetEditorBounds(TRect r) {
  if (stopped_) return;
  r = FitEditorBounds(r, alignment_, grid_->ClientWidth());
  editor_->SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

bool TQVRNTLink::HandleKey(Word& key, TShiftState shift, bool upDownLeave, bool leftLeaves, bool rightLeaves) {
  std::shared_ptr<TQVRNTLink> self = shared_from_this();
  const bool leaves = key == VK_TAB || ((key == VK_UP || key == VK_DOWN) && upDownLeave) ||
                      (key == VK_LEFT && leftLeaves) || (key == VK_RIGHT && rightLeaves);
  if (leaves) {
    const Word passed = key;
    key = 0;
    AcceptAndPass(passed, shift);
    return true;
  }
  if (key == VK_RETURN) {
    key = 0;
    if (!grid_->MultiLine(node_) || shift.Contains(ssCtrl)) AcceptAndFocusTree();
    return true;
  }
  if (key == VK_ESCAPE) {
    key = 0;
    CancelAndFocusTree();
    return true;
  }
  return false;
}

void TQVRNTLink::AcceptAndPass(Word key, TShiftState shift) {
  // The tree may release this link while ending the edit.
  std::shared_ptr<TQVRNTLink> self = shared_from_this();
  TDataSetList* grid = grid_;
  grid->RepaintNode(node_);
  if (!grid->EndEditNode()) return;
  grid->Perform(WM_KEYDOWN, key, keyFlagsOf(shift));
  if (grid->CanFocus()) grid->SetFocus();
}

void TQVRNTLink::AcceptAndFocusTree() {
  std::shared_ptr<TQVRNTLink> self = shared_from_this();
  TDataSetList* grid = grid_;
  grid->RepaintNode(node_);
  if (grid->EndEditNode() && grid->CanFocus()) grid->SetFocus();
}

void TQVRNTLink::CancelAndFocusTree() {
  std::shared_ptr<TQVRNTLink> self = shared_from_this();
  TDataSetList* grid = grid_;
  grid->CancelEditNode();
  if (grid->CanFocus()) grid->SetFocus();
}

void TQVRNTLink::FocusLost() {
  if (stopped_) return;
  std::shared_ptr<TQVRNTLink> self = shared_from_this();
  grid_->EndEditNode();
}

// ---------------------------------------------------------------------------
// The text editor

TQVRNTEdit::TQVRNTEdit(TComponent* owner, std::shared_ptr<TQVRNTLink> link)
    : TCustomEdit(owner), link_(std::move(link)) {
  SetVisible(false);
}

void TQVRNTEdit::WndProc(TMessage& message) {
  if (HandleEditorMessage(*this, message)) return;
  switch (message.Msg) {
    case CM_EDITORCHAR: {
      char16_t ch = static_cast<char16_t>(message.WParam);
      SetText(ch ? UnicodeToUtf8(std::u16string(1, ch)) : std::string());
      SetSelStart(ch ? 1 : 0);
      SetSelLength(0);
      Modified = true;
      return;
    }
    default:
      TCustomEdit::WndProc(message);
  }
}

void TQVRNTEdit::KeyDown(Word& key, TShiftState shift) {
  if (std::shared_ptr<TQVRNTLink> link = link_) {
    // The caret, not the selection, decides: right after the editor selected
    // its whole text the caret stands at the end, so Right leaves at once.
    const Integer length = static_cast<Integer>(Utf8ToUnicode(Text()).size());
    const Integer caret = LineEdit()->cursorPosition();
    const bool caretAtStart = caret == 0;
    const bool caretAtEnd = caret == length;
    if (link->HandleKey(key, shift, true, caretAtStart, caretAtEnd)) return;
  }
  TCustomEdit::KeyDown(key, shift);
}

void TQVRNTEdit::KeyPress(char16_t& key) {
  if (!SwallowEditorChar(key)) TCustomEdit::KeyPress(key);
}

void TQVRNTEdit::DoExit() {
  TCustomEdit::DoExit();
  if (std::shared_ptr<TQVRNTLink> link = link_) link->FocusLost();
}

// ---------------------------------------------------------------------------
// The drop-down list of lookup records

TQVRNTCombo::TQVRNTCombo(TComponent* owner, std::shared_ptr<TQVRNTLink> link)
    : TCustomComboBox(owner), link_(std::move(link)) {
  SetStyle(csDropDownList);
  SetVisible(false);
}

void TQVRNTCombo::WndProc(TMessage& message) {
  if (!HandleEditorMessage(*this, message)) TCustomComboBox::WndProc(message);
}

void TQVRNTCombo::KeyDown(Word& key, TShiftState shift) {
  // A list without free text: Left always leaves, Right when nothing is
  // chosen; Up and Down stay with the list.
  if (std::shared_ptr<TQVRNTLink> link = link_) {
    const bool atEnd = ItemIndex() < 0 || Text().empty();
    if (link->HandleKey(key, shift, false, true, atEnd)) return;
  }
  TCustomComboBox::KeyDown(key, shift);
}

void TQVRNTCombo::KeyPress(char16_t& key) {
  if (!SwallowEditorChar(key)) TCustomComboBox::KeyPress(key);
}

void TQVRNTCombo::DoExit() {
  TCustomComboBox::DoExit();
  if (std::shared_ptr<TQVRNTLink> link = link_) link->FocusLost();
}

// ---------------------------------------------------------------------------
// The links

std::shared_ptr<TQVRNTEditLink> TQVRNTEditLink::Create(TDataSetList* grid) {
  auto link = std::make_shared<TQVRNTEditLink>(grid);
  link->createEditor(CreateComponent<TQVRNTEdit>(grid, link));
  return link;
}

bool TQVRNTEditLink::ShowEditor() {
  if (!TQVRNTLink::ShowEditor()) return false;
  Edit()->SelectAll();
  return true;
}

bool TQVRNTEditLink::FillEditor(TMemRecord* rec, Integer viewColumn, const UnicodeString& cellText) {
  TQVRNTEdit* edit = Edit();
  edit->SetText(UnicodeToUtf8(cellText));
  if (rec && viewColumn >= 0) {
    edit->SetText(UnicodeToUtf8(grid_->View()->GetCellText(rec, viewColumn)));
    edit->SetMaxLength(grid_->View()->GetColumn(viewColumn)->MaxLength);
  }
  edit->Modified = false;
  return true;
}

void TQVRNTEditLink::StoreResult() {
  grid_->StoreEditedText(node_, column_, Utf8ToUnicode(Edit()->Text()), Edit()->Modified);
}

std::shared_ptr<TQVRNTComboLink> TQVRNTComboLink::Create(TDataSetList* grid) {
  auto link = std::make_shared<TQVRNTComboLink>(grid);
  link->createEditor(CreateComponent<TQVRNTCombo>(grid, link));
  return link;
}

bool TQVRNTComboLink::ShowEditor() {
  if (!TQVRNTLink::ShowEditor()) return false;
  Combo()->SetDroppedDown(true);
  return true;
}

bool TQVRNTComboLink::FillEditor(TMemRecord* rec, Integer viewColumn, const UnicodeString& cellText) {
  TQVRNTCombo* combo = Combo();
  combo->Items().Clear();
  if (viewColumn >= 0) grid_->View()->GetColumn(viewColumn)->FillLookupList(&combo->Items());
  (void)rec;
  const std::string text = UnicodeToUtf8(cellText);
  combo->SetItemIndex(combo->Items().IndexOf(text));
  return true;
}

void TQVRNTComboLink::StoreResult() {
  TQVRNTCombo* combo = Combo();
  Integer index = combo->ItemIndex();
  if (index < 0) return;
  auto* rec = static_cast<TMemRecord*>(combo->Items().Objects(index));
  if (!rec) return;
  grid_->StoreEditedText(node_, column_, AnsiToUnicode(rec->GetAsString(0)), true);
}

}  // namespace px
