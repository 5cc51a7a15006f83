// The string tree's default in-place editors: an edit over the cell that
// grows with its text for single-line nodes, a memo for multi-line nodes,
// and the link that serves both.
#include <algorithm>

#include "platform/core/CodePages.h"
#include "ui/tree/NodeTreesString.h"

namespace px {

namespace {

constexpr int32_t MinEditorWidth = 30;

}  // namespace

bool HandleEditorMessage(TWinControl& editor, TMessage& message) {
  switch (message.Msg) {
    case WM_GETDLGCODE:
      message.Result = DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
      return true;
    case CM_RELEASE:
      FreeObject(&editor);
      return true;
    default:
      return false;
  }
}

bool SwallowEditorChar(char16_t& key) {
  if (key != u'\t' && key != u'\r' && key != u'\n' && key != 0x1B) return false;
  key = 0;
  return true;
}

TNTEditorLayout EditorLayoutOf(TBaseNodeTree& tree, TColumnIndex column) {
  TNTEditorLayout layout;
  TNodeTreeColumns& columns = tree.Header().Columns();
  if (columns.IsValidColumn(column)) {
    layout.BiDiMode = columns.Items(column)->BiDiMode();
    layout.Alignment = columns.Items(column)->Alignment();
  } else {
    layout.BiDiMode = tree.BiDiMode();
    layout.Alignment = tree.GetControlsAlignment();
  }
  if (layout.BiDiMode != bdLeftToRight) ChangeBiDiModeAlignment(layout.Alignment);
  return layout;
}

void ApplyEditorLayout(TWinControl& editor, const TNTEditorLayout& layout) {
  editor.SetBiDiMode(layout.BiDiMode);
  // An edit mirrors its own alignment when it mirrors at all; the layout's
  // alignment is the side the text is seen on.
  if (auto* edit = dynamic_cast<TCustomEdit*>(&editor)) {
    TAlignment alignment = layout.Alignment;
    if (edit->UseRightToLeftAlignment()) ChangeBiDiModeAlignment(alignment);
    edit->SetAlignment(alignment);
  }
}

TRect FitEditorBounds(TRect r, TAlignment alignment, int32_t clientWidth) {
  if (r.Left < 0) r.Left = 0;
  if (r.Width() < MinEditorWidth) {
    if (alignment == taRightJustify) {
      r.Left = r.Right - MinEditorWidth;
    } else {
      r.Right = r.Left + MinEditorWidth;
      // A narrow cell at the window's right edge (right to left, where the
      // columns stand against it) keeps its editor's width inside the window.
      if (r.Right > clientWidth) r.Offset(-std::min(r.Left, r.Right - clientWidth), 0);
    }
  }
  r.Right = std::min(r.Right, clientWidth);
  return r;
}

// ---------------------------------------------------------------------------
// The editors

template <class Base>
TNTStringEditor<Base>::TNTStringEditor(TComponent* owner, std::shared_ptr<TStringEditLink> link)
    : Base(owner), link_(std::move(link)) {
  this->SetVisible(false);
  this->ShowHint = false;
}

template <class Base>
TNTStringEditor<Base>::~TNTStringEditor() {
  if (std::shared_ptr<TStringEditLink> link = link_) link->EditorDestroyed(this->Modified, this->Text());
  link_.reset();
}

template <class Base>
void TNTStringEditor<Base>::WndProc(TMessage& message) {
  if (!HandleEditorMessage(*this, message)) Base::WndProc(message);
}

template <class Base>
void TNTStringEditor<Base>::DoExit() {
  Base::DoExit();
  if (std::shared_ptr<TStringEditLink> link = link_) link->EditorExit();
}

template <class Base>
void TNTStringEditor<Base>::KeyDown(Word& key, TShiftState shift) {
  if (std::shared_ptr<TStringEditLink> link = link_; link && link->EditorKeyDown(key, shift)) return;
  Base::KeyDown(key, shift);
}

template class TNTStringEditor<TCustomEdit>;
template class TNTStringEditor<TCustomMemo>;

void TNTEdit::KeyPress(char16_t& key) {
  if (!SwallowEditorChar(key)) TNTStringEditor::KeyPress(key);
}

void TNTEdit::Change() {
  TNTStringEditor::Change();
  AutoAdjustSize();
}

void TNTEdit::AutoAdjustSize() {
  std::shared_ptr<TStringEditLink> link = link_;
  if (!link || !link->Tree() || link->Tree()->MultiLine(link->Node())) return;
  TCustomNodeStringTree* tree = link->Tree();
  // With grid extensions the tree gives the editor the whole cell.
  if (tree->Options().MiscOptions().Contains(moGridExtensions)) return;
  TBitmap measure(1, 1);
  measure.Canvas().Font().Assign(Font());
  TSize size = measure.Canvas().TextExtent(Utf8ToUnicode(Text() + "yG"));
  const int32_t width = size.cx + 2 * tree->TextMargin();
  const int32_t height = std::max(Height(), size.cy + 2 * tree->TextMargin());
  const int32_t oldWidth = Width();
  if (link->Alignment() == taRightJustify)
    SetBounds(Left() + Width() - width, Top(), width, height);
  else
    SetBounds(Left(), Top(), width, height);
  if (width < oldWidth) tree->Invalidate();
}

TNTMemo::TNTMemo(TComponent* owner, std::shared_ptr<TStringEditLink> link)
    : TNTStringEditor(owner, std::move(link)) {
  // Lines wrap at the cell's width and scroll vertically only.
  SetWordWrap(true);
  SetScrollBars(ssVertical);
  // The cell gives the size; the tree keeps an editor at least as high as
  // it already is.
  SetBounds(0, 0, 0, 0);
}

void TNTMemo::KeyPress(char16_t& key) {
  // Return reaches the text: it breaks the line.
  if (key == u'\t' || key == 0x1B)
    key = 0;
  else
    TNTStringEditor::KeyPress(key);
}

// ---------------------------------------------------------------------------
// TStringEditLink

std::shared_ptr<TStringEditLink> TStringEditLink::Create(TComponent* owner) {
  auto link = std::make_shared<TStringEditLink>();
  link->owner_ = owner;
  link->edit_ = CreateComponent<TNTEdit>(owner, link);
  return link;
}

TStringEditLink::~TStringEditLink() {
  // The editor may still be inside one of its own handlers: it frees itself
  // when the posted release arrives.
  if (TWinControl* editor = Editor()) {
    editor->SetVisible(false);
    PostMessage(editor->Handle(), CM_RELEASE, 0, 0);
  }
}

TWinControl* TStringEditLink::Editor() const {
  if (memo_) return memo_;
  return edit_;
}

bool TStringEditLink::editorModified() const { return memo_ ? memo_->Modified : edit_->Modified; }

void TStringEditLink::selectAllText() {
  if (memo_)
    memo_->SelectAll();
  else
    edit_->SelectAll();
}

void TStringEditLink::useMemo() {
  if (memo_) return;
  memo_ = CreateComponent<TNTMemo>(owner_, shared_from_this());
  // The edit made with the link was never shown: it goes at once.
  edit_->Detach();
  FreeObject(edit_);
  edit_ = nullptr;
}

bool TStringEditLink::ShowEditor() {
  if (stopped_) return false;
  TWinControl* editor = Editor();
  editor->SetVisible(true);
  editor->SetFocus();
  selectAllText();
  if (edit_) edit_->AutoAdjustSize();
  return true;
}

bool TStringEditLink::CancelEditing() {
  if (stopped_) return false;
  stopped_ = true;
  Editor()->SetVisible(false);
  if (tree_) tree_->CancelEditNode();
  if (memo_)
    memo_->Detach();
  else
    edit_->Detach();
  return true;
}

bool TStringEditLink::AcceptEditing() {
  if (stopped_) return false;
  stopped_ = true;
  try {
    if (editorModified() && tree_) tree_->SetText(node_, column_, Utf8ToUnicode(Editor()->Text()));
  } catch (...) {
    stopped_ = false;
    throw;
  }
  Editor()->SetVisible(false);
  if (memo_)
    memo_->Detach();
  else
    edit_->Detach();
  return true;
}

bool TStringEditLink::PrepareForCell(TBaseNodeTree* tree, PNTNode node, TColumnIndex column) {
  tree_ = dynamic_cast<TCustomNodeStringTree*>(tree);
  if (!tree_) return false;
  node_ = node;
  column_ = column;
  if (tree_->MultiLine(node)) useMemo();
  TWinControl* editor = Editor();
  TFont font;
  font.Assign(tree_->Font());
  UnicodeString text;
  tree_->GetTextInfo(node, column, font, textBounds_, text);
  font.SetColor(clWindowText);
  editor->Font().Assign(font);
  editor->SetParent(tree_);
  editor->SetText(UnicodeToUtf8(text));
  if (memo_)
    memo_->Modified = false;
  else
    edit_->Modified = false;
  const TNTEditorLayout layout = EditorLayoutOf(*tree_, column);
  alignment_ = layout.Alignment;
  ApplyEditorLayout(*editor, layout);
  return true;
}

TRect TStringEditLink::GetEditorBounds() { return Editor()->BoundsRect(); }

void TStringEditLink::RelayMessage(TMessage& message) { Editor()->WndProc(message); }

void TStringEditLink::SetEditorBounds(TRect r) {
  if (stopped_) return;
  r = FitEditorBounds(r, alignment_, tree_ ? tree_->ClientWidth() : r.Right);
  Editor()->SetBounds(r.Left, r.Top, r.Width(), r.Height());
  if (!edit_ || !tree_) return;
  // The text of a single line stays where the cell showed it: the edit's
  // border and the tree's text margin taken out at the sides, the line
  // moved to the height of the cell's text.
  const int32_t offset = tree_->TreeStates().Contains(stThemed) ? 3 : 2;
  TRect f = edit_->ClientRect();
  f.Left -= offset - tree_->TextMargin();
  f.Right += offset - tree_->TextMargin();
  f.Top -= offset;
  f.Bottom += offset;
  f.Offset(0, textBounds_.Top - edit_->Top());
  f.Top = std::max(-1, f.Top);
  f.Left = std::max(-1, f.Left);
  edit_->SetFormattingRect(f);
  edit_->AutoAdjustSize();
}

bool TStringEditLink::EditorKeyDown(Word& key, TShiftState shift) {
  // The tree may release this link while ending the edit.
  std::shared_ptr<TStringEditLink> self = shared_from_this();
  TCustomNodeStringTree* tree = tree_;
  if (!tree) return false;
  const bool multiLine = tree->MultiLine(node_);
  switch (key) {
    case VK_TAB: {
      // End the edit and go on in the same column of the next node.
      const TColumnIndex column = column_;
      PNTNode next = tree->GetNextVisible(node_);
      key = 0;
      tree->EndEditNode();
      if (next) {
        tree->SetFocusedNode(next);
        if (tree->CanEdit(next, column)) tree->EditNode(next, column);
      }
      return true;
    }
    case VK_RETURN:
      // Return breaks the line of a multi-line node; Ctrl+Return ends there.
      if (multiLine && !shift.Contains(ssCtrl)) return false;
      key = 0;
      tree->RepaintNode(node_);
      if (tree->EndEditNode() && tree->CanFocus()) tree->SetFocus();
      return true;
    case VK_ESCAPE:
      key = 0;
      tree->CancelEditNode();
      if (tree->CanFocus()) tree->SetFocus();
      return true;
    case VK_UP:
      if (!multiLine) key = VK_LEFT;
      return false;
    case VK_DOWN:
      if (!multiLine) key = VK_RIGHT;
      return false;
    case 'A':
      if (shift != TShiftState{ssCtrl}) return false;
      selectAllText();
      key = 0;
      return true;
    default:
      return false;
  }
}

void TStringEditLink::EditorExit() {
  if (stopped_ || !tree_) return;
  std::shared_ptr<TStringEditLink> self = shared_from_this();
  if (tree_->StringTreeOptions().StringOptions().Contains(toAutoAcceptEditChange))
    tree_->EndEditNode();
  else
    tree_->CancelEditNode();
}

void TStringEditLink::EditorDestroyed(bool modified, const std::string& text) noexcept {
  try {
    if (!stopped_ && tree_ && modified &&
        tree_->StringTreeOptions().StringOptions().Contains(toAutoAcceptEditChange)) {
      stopped_ = true;
      tree_->SetText(node_, column_, Utf8ToUnicode(text));
    }
  } catch (...) {
  }
}

}  // namespace px
