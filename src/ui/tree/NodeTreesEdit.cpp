// In-place editing: the edit link is asked for by the create-editor
// dispatcher, attached to the focused cell, placed over it, and ended or
// cancelled. Every call into a link holds its own reference: a link may end
// the edit from inside its method (it tells the tree), which drops the tree's
// reference while the method still runs.
#include <algorithm>

#include "platform/gui/Forms.h"
#include "ui/tree/NodeTrees.h"

namespace px {

namespace {

// Marks a call into the edit link for the time it runs; the tree ignores
// end and cancel requests the link sends back meanwhile.
struct LinkCall {
  bool& flag;
  explicit LinkCall(bool& f) : flag(f) { flag = true; }
  ~LinkCall() { flag = false; }
};

}  // namespace

void TBaseNodeTree::BeginCellEdit() {
  if (Application) Application->CancelHint();
  StopTimer(ScrollTimer);
  StopTimer(EditTimer);
  ChangeTreeState({}, {stEditPending});
  if (focusedNode_ && !focusedNode_->Has(nsDisabled) && !options_->MiscOptions().Contains(moReadOnly) &&
      !editLink_) {
    TNTEditLinkRef link = CreateCellEditor(focusedNode_, editColumn_);
    if (link) {
      ChangeTreeState({stEditing}, {stToggleOnRelease, stClearPending, stDrawSelPending, stDrawSelecting,
                                    stMouseCheckPending, stOLEDragging, stOLEDragPending, stScrollPending,
                                    stScrolling});
      // Scrolling places the editor over its cell; this one is not attached
      // to its cell yet, so the tree takes it only afterwards.
      ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(slCenterScrollIntoView),
                     !options_->AutoOptions().Contains(auNoHorzScrollOnEdit));
      editLink_ = link;
      PNTNode node = focusedNode_;
      if (link->PrepareForCell(this, node, editColumn_) && states_.Contains(stEditing)) {
        UpdateCellEditBounds();
        InvalidateNode(node);
        if (!link->ShowEditor()) ChangeTreeState({}, {stEditing});
      } else {
        ChangeTreeState({}, {stEditing});
      }
    }
  }
  if (!states_.Contains(stEditing)) editLink_.reset();
}

bool TBaseNodeTree::EndCellEdit() {
  StopTimer(EditTimer);
  bool result = false;
  if (states_.Contains(stEditing) && editLink_ && !inLinkCall_) {
    TNTEditLinkRef link = editLink_;
    bool accepted = false;
    {
      LinkCall call(inLinkCall_);
      accepted = link->AcceptEditing();
    }
    // False means the link had already stopped (accepted or cancelled by
    // itself): the edit is over either way.
    (void)accepted;
    if (states_.Contains(stEditing) && editLink_ == link) {
      ChangeTreeState({}, {stEditing});
      editLink_.reset();
      EndCellEdit(focusedNode_, editColumn_);
    }
    result = true;
  }
  ChangeTreeState({}, {stEditPending});
  return result;
}

bool TBaseNodeTree::CancelCellEdit() {
  StopTimer(EditTimer);
  ChangeTreeState({}, {stEditPending});
  if (!states_.Contains(stEditing) || !editLink_ || inLinkCall_) return false;
  TNTEditLinkRef link = editLink_;
  {
    LinkCall call(inLinkCall_);
    link->CancelEditing();
  }
  if (states_.Contains(stEditing) && editLink_ == link) {
    ChangeTreeState({}, {stEditing});
    CancelCellEdit(editColumn_);
    if (!IsBeingDestroyed()) editLink_.reset();
  }
  return true;
}

void TBaseNodeTree::CancelCellEditAndNotify() { CancelCellEdit(); }

void TBaseNodeTree::AbandonEditIfAny() {
  if (states_.Contains(stEditing) || states_.Contains(stEditPending)) CancelEditNode();
}

void TBaseNodeTree::UpdateCellEditBounds() {
  if (!states_.Contains(stEditing) || !focusedNode_ || !editLink_) return;
  TNodeTreeColumns& columns = header_->Columns();
  if (editColumn_ >= columns.Count()) return;
  TNTEditLinkRef link = editLink_;
  const bool multiline = focusedNode_->Has(nsMultiline);
  TRect r = GetDisplayRect(focusedNode_, editColumn_, true, !multiline);
  if (options_->MiscOptions().Contains(moGridExtensions)) {
    TRect cell = GetDisplayRect(focusedNode_, editColumn_, false);
    TAlignment alignment = columns.IsValidColumn(editColumn_) ? columns.Items(editColumn_)->Alignment() : alignment_;
    bool rtl = columns.IsValidColumn(editColumn_) ? columns.Items(editColumn_)->BiDiMode() != bdLeftToRight
                                                  : UseRightToLeftAlignment();
    if (rtl && alignment != taCenter) alignment = alignment == taLeftJustify ? taRightJustify : taLeftJustify;
    switch (alignment) {
      case taRightJustify: r.Left = cell.Left; break;
      case taCenter:
        r.Left = cell.Left;
        r.Right = cell.Right;
        break;
      default: r.Right = cell.Right; break;
    }
  }
  if (options_->PaintOptions().Contains(poShowHorzGridLines)) --r.Bottom;
  TRect bounds = link->GetEditorBounds();
  r.Bottom = r.Top + std::max(r.Height(), bounds.Height());
  link->SetEditorBounds(r);
}

}  // namespace px
