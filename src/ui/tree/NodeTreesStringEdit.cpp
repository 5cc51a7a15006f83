// The string tree's default in-place editor: an edit over the cell that
// grows with its text, with its link.
#include <algorithm>

#include "platform/core/CodePages.h"
#include "ui/tree/NodeTreesString.h"

namespace px {

TNTEdit::TNTEdit(TComponent* owner, std::shared_ptr<TStringEditLink> link)
    : TCustomEdit(owner), link_(std::move(link)) {
  SetVisible(false);
  ShowHint = false;
}

TNTEdit::~TNTEdit() {
  // Destroyed while the edit was still open: an accepted-on-exit text that
  // was changed is not lost.
  try {
    if (std::shared_ptr<TStringEditLink> link = link_; link && !link->Stopped()) {
      TCustomNodeStringTree* tree = link->Tree();
      if (tree && tree->StringTreeOptions().StringOptions().Contains(toAutoAcceptEditChange) && Modified) {
        link->SetStopped();
        tree->SetText(link->Node(), link->Column(), Utf8ToUnicode(Text()));
      }
    }
  } catch (...) {
  }
  link_.reset();
}

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

void TNTEdit::WndProc(TMessage& message) {
  if (!HandleEditorMessage(*this, message)) TCustomEdit::WndProc(message);
}

void TNTEdit::DoExit() {
  TCustomEdit::DoExit();
  std::shared_ptr<TStringEditLink> link = link_;
  if (!link || link->Stopped() || !link->Tree()) return;
  if (link->Tree()->StringTreeOptions().StringOptions().Contains(toAutoAcceptEditChange))
    link->Tree()->EndEditNode();
  else
    link->Tree()->CancelEditNode();
}

void TNTEdit::KeyDown(Word& key, TShiftState shift) {
  std::shared_ptr<TStringEditLink> link = link_;
  if (!link || !link->Tree()) {
    TCustomEdit::KeyDown(key, shift);
    return;
  }
  TCustomNodeStringTree* tree = link->Tree();
  const bool multiLine = tree->MultiLine(link->Node());
  switch (key) {
    case VK_TAB: {
      // End the edit and go on in the same column of the next node.
      TColumnIndex column = link->Column();
      PNTNode next = tree->GetNextVisible(link->Node());
      key = 0;
      tree->EndEditNode();
      if (next) {
        tree->SetFocusedNode(next);
        if (tree->CanEdit(next, column)) tree->EditNode(next, column);
      }
      return;
    }
    case VK_RETURN:
      key = 0;
      if (!multiLine || shift.Contains(ssCtrl)) {
        tree->RepaintNode(link->Node());
        if (tree->EndEditNode() && tree->CanFocus()) tree->SetFocus();
      }
      return;
    case VK_ESCAPE:
      key = 0;
      tree->CancelEditNode();
      if (tree->CanFocus()) tree->SetFocus();
      return;
    case VK_UP:
      if (!multiLine) key = VK_LEFT;
      break;
    case VK_DOWN:
      if (!multiLine) key = VK_RIGHT;
      break;
    case 'A':
      if (shift == TShiftState{ssCtrl}) {
        SelectAll();
        key = 0;
        return;
      }
      break;
  }
  TCustomEdit::KeyDown(key, shift);
}

void TNTEdit::KeyPress(char16_t& key) {
  if (!SwallowEditorChar(key)) TCustomEdit::KeyPress(key);
}

void TNTEdit::Change() {
  TCustomEdit::Change();
  if (link_ && link_->Tree() && !link_->Tree()->MultiLine(link_->Node())) AutoAdjustSize();
}

void TNTEdit::AutoAdjustSize() {
  std::shared_ptr<TStringEditLink> link = link_;
  if (!link || !link->Tree() || link->Tree()->MultiLine(link->Node())) return;
  TCustomNodeStringTree* tree = link->Tree();
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

// ---------------------------------------------------------------------------

std::shared_ptr<TStringEditLink> TStringEditLink::Create(TComponent* owner) {
  auto link = std::make_shared<TStringEditLink>();
  link->edit_ = CreateComponent<TNTEdit>(owner, link);
  return link;
}

TStringEditLink::~TStringEditLink() {
  if (edit_) {
    edit_->SetVisible(false);
    PostMessage(edit_->Handle(), CM_RELEASE, 0, 0);
  }
}

bool TStringEditLink::ShowEditor() {
  if (stopped_) return false;
  edit_->SetVisible(true);
  edit_->SetFocus();
  edit_->SelectAll();
  edit_->AutoAdjustSize();
  return true;
}

bool TStringEditLink::CancelEditing() {
  if (stopped_) return false;
  stopped_ = true;
  edit_->SetVisible(false);
  if (tree_) tree_->CancelEditNode();
  edit_->Detach();
  return true;
}

bool TStringEditLink::AcceptEditing() {
  if (stopped_) return false;
  stopped_ = true;
  try {
    if (edit_->Modified && tree_) tree_->SetText(node_, column_, Utf8ToUnicode(edit_->Text()));
  } catch (...) {
    stopped_ = false;
    throw;
  }
  edit_->SetVisible(false);
  edit_->Detach();
  return true;
}

bool TStringEditLink::PrepareForCell(TBaseNodeTree* tree, PNTNode node, TColumnIndex column) {
  tree_ = dynamic_cast<TCustomNodeStringTree*>(tree);
  if (!tree_) return false;
  node_ = node;
  column_ = column;
  TFont font;
  font.Assign(tree_->Font());
  TRect r;
  UnicodeString text;
  tree_->GetTextInfo(node, column, font, r, text);
  font.SetColor(clWindowText);
  edit_->Font().Assign(font);
  edit_->SetParent(tree_);
  edit_->SetText(UnicodeToUtf8(text));
  edit_->Modified = false;
  TNodeTreeColumns& columns = tree_->Header().Columns();
  alignment_ = columns.IsValidColumn(column) ? columns.Items(column)->Alignment() : tree_->GetControlsAlignment();
  edit_->SetAlignment(alignment_);
  return true;
}

TRect TStringEditLink::GetEditorBounds() { return edit_->BoundsRect(); }

void TStringEditLink::RelayMessage(TMessage& message) { edit_->WndProc(message); }

void TStringEditLink::SetEditorBounds(TRect r) {
  if (stopped_) return;
  r.Left = std::max(r.Left, -1);
  r.Top = std::max(r.Top, -1);
  edit_->SetBounds(r.Left, r.Top, r.Width(), r.Height());
  edit_->AutoAdjustSize();
}

}  // namespace px
