// Keyboard input of the tree: the key-action hook, Space checking on
// release, the numeric-pad commands, help, F2, navigation with its range and
// clearing rules, Tab across focusable columns, and the characters of the
// incremental search.
#include <algorithm>

#include "platform/gui/Forms.h"
#include "ui/tree/NodeTrees.h"

namespace px {

namespace {

TShiftState keyShift(LPARAM keyData) {
  return ShiftStateOfFlags(static_cast<WPARAM>(keyData) & (MK_SHIFT | MK_CONTROL | MK_ALT));
}

TCheckState releasedVariant(TCheckState state) {
  switch (state) {
    case csUncheckedPressed: return csUncheckedNormal;
    case csCheckedPressed: return csCheckedNormal;
    case csMixedPressed: return csMixedNormal;
    default: return state;
  }
}

TCheckState pressedVariant(TCheckState state) {
  switch (state) {
    case csUncheckedNormal: return csUncheckedPressed;
    case csCheckedNormal: return csCheckedPressed;
    case csMixedNormal: return csMixedPressed;
    default: return state;
  }
}

}  // namespace

TCheckState PressedCheckState(TCheckState state) { return pressedVariant(state); }
TCheckState ReleasedCheckState(TCheckState state) { return releasedVariant(state); }

bool TBaseNodeTree::ColumnTakesFocus(TColumnIndex column) const {
  TNodeTreeColumns& columns = header_->Columns();
  if (!header_->UseColumns()) return column == NoColumn;
  return columns.IsValidColumn(column) && columns.Items(column)->Options().ContainsAll({coVisible, coAllowFocus});
}

void TBaseNodeTree::ReleaseKeyCheck() {
  if (!states_.Contains(stKeyCheckPending)) return;
  ChangeTreeState({}, {stKeyCheckPending});
  if (PNTNode node = keyCheckNode_) {
    keyCheckNode_ = nullptr;
    node->CheckState = releasedVariant(static_cast<TCheckState>(node->CheckState));
    RepaintNode(node);
  }
}

// Moves the focus to the next (or previous) focusable column of the focused
// node, on to the following nodes past the last column; the focus-changing
// dispatcher may refuse a cell, then the one after it is tried.
bool TBaseNodeTree::TabToCell(bool backward) {
  TNodeTreeColumns& columns = header_->Columns();
  PNTNode node = focusedNode_ ? focusedNode_ : GetFirstVisible(nullptr, true);
  TColumnIndex column = focusedNode_ ? focusedColumn_ : NoColumn;
  while (node) {
    if (column == NoColumn)
      column = backward ? columns.LastShownColumn(true) : columns.FirstShownColumn(true);
    else
      column = backward ? columns.PreviousShownColumn(column, true) : columns.NextShownColumn(column, true);
    if (column == NoColumn || column == InvalidColumn) {
      node = backward ? GetPreviousVisible(node, true) : GetNextVisible(node, true);
      column = NoColumn;
      continue;
    }
    if (node == focusedNode_ && column == focusedColumn_) return false;
    if (RememberFocusingRecord(focusedNode_, node, focusedColumn_, column)) {
      FocusCell(node, column);
      return focusedNode_ == node;
    }
  }
  return false;
}

void TBaseNodeTree::WMKeyDown(TMessage& message) {
  TCustomControl::WndProc(message);
  Word key = static_cast<Word>(message.WParam);
  if (key == 0) return;
  TShiftState shift = keyShift(message.LParam);
  if (!KeyPreview(key, shift)) return;
  if (states_.Contains(stKeyCheckPending) && key != VK_SPACE) ReleaseKeyCheck();

  const TNTSelectionOptions selection = options_->SelectionOptions();
  const TNTMiscOptions misc = options_->MiscOptions();
  const bool navigation = key == VK_BACK || key == VK_TAB || (key >= VK_PRIOR && key <= VK_DOWN);
  if (!navigation || root_->ChildCount == 0) {
    const bool searching = states_.Contains(stIncrementalSearching);
    switch (key) {
      case VK_ESCAPE:
        if (states_.Contains(stDrawSelPending) || states_.Contains(stDrawSelecting)) {
          ChangeTreeState({}, {stDrawSelPending, stDrawSelecting});
          InvalidateRect(nullptr, false);
        } else {
          AbandonEditIfAny();
        }
        return;
      case VK_SPACE:
        if (misc.Contains(moCheckSupport) && focusedNode_ && focusedNode_->CheckType != ctNone) {
          if (states_.Contains(stKeyCheckPending) || states_.Contains(stMouseCheckPending)) {
            message.Result = 1;
            return;
          }
          if (!focusedNode_->Has(nsDisabled)) {
            TCheckState next = NextCheckStateOf(static_cast<TCheckType>(focusedNode_->CheckType),
                                                static_cast<TCheckState>(focusedNode_->CheckState));
            if (CheckingQuery(focusedNode_, next)) {
              ChangeTreeState({stKeyCheckPending}, {});
              keyCheckNode_ = focusedNode_;
              pendingKeyCheckState_ = next;
              focusedNode_->CheckState = pressedVariant(static_cast<TCheckState>(focusedNode_->CheckState));
              RepaintNode(focusedNode_);
            }
          }
          // The key goes no further: no search character.
          message.Result = 1;
          return;
        }
        break;
      case VK_MULTIPLY:
      case VK_ADD:
      case VK_SUBTRACT:
      case VK_DIVIDE: {
        if (searching) break;
        const bool ctrl = shift.Contains(ssCtrl);
        const bool nodesNotColumns = shift.Contains(ssShift) && !misc.Contains(moCtrlShiftKeysOnColumns);
        if (key == VK_MULTIPLY) {
          if (focusedNode_) FullExpand(focusedNode_);
        } else if (key == VK_DIVIDE) {
          if (focusedNode_) FullCollapse(focusedNode_);
        } else if (key == VK_ADD) {
          if (ctrl && nodesNotColumns)
            FullExpand(nullptr);
          else if (ctrl)
            header_->AutoFitColumns(true, 2);
          else if (focusedNode_ && !focusedNode_->Has(nsExpanded))
            ToggleNode(focusedNode_);
        } else {
          if (ctrl && nodesNotColumns) {
            FullCollapse(nullptr);
          } else if (ctrl) {
            TNodeTreeColumns& columns = header_->Columns();
            for (TColumnIndex c : columns.ShownColumns()) {
              TNodeTreeColumn* column = columns.Items(c);
              if (column->Options().Contains(coResizable)) column->RestorePreviousWidth();
            }
          } else if (focusedNode_ && focusedNode_->Has(nsExpanded)) {
            ToggleNode(focusedNode_);
          }
        }
        message.Result = 1;
        return;
      }
      case VK_F1: {
        if (!Application) return;
        int32_t context = 0;
        if (OnHelpContextQuery) {
          TColumnIndex column = focusedColumn_ >= 0 ? focusedColumn_ : 0;
          for (PNTNode run = focusedNode_; run && run != root_ && context == 0; run = run->Parent)
            OnHelpContextQuery(this, run, column, context);
        }
        if (context == 0)
          for (TControl* c = this; c && context == 0; c = c->Parent()) context = c->HelpContext;
        if (context != 0) Application->ContextHelp(context);
        return;
      }
      case VK_F2:
        if (shift.Empty() && focusedNode_ && CanEdit(focusedNode_, focusedColumn_)) {
          editColumn_ = focusedColumn_;
          BeginCellEdit();
        }
        return;
      case VK_APPS:
        if (focusedNode_) {
          TRect r = GetDisplayRect(focusedNode_, focusedColumn_, true);
          TRect cell = header_->UseColumns() ? GetDisplayRect(focusedNode_, focusedColumn_, false) : ClientRect();
          r.Right = std::min(r.Right, cell.Right);
          ShowNodePopupMenu(focusedNode_, focusedColumn_, {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2});
        }
        return;
      default:
        break;
    }
    if (key == 'A' && shift == TShiftState{ssCtrl}) {
      SelectAll(true);
      return;
    }
    if (shift.Contains(ssCtrl) || shift.Contains(ssAlt) || key < 32) return;
    ChangeTreeState({stIncrementalSearchPending}, {});
    return;
  }

  // Navigation.
  const bool multi = selection.Contains(slMultiSelect);
  const bool gridExtensions = misc.Contains(moGridExtensions);
  const bool rangeSelect = shift.Contains(ssShift) && multi && !states_.Contains(stEditing);
  const bool keyRange = rangeSelect && (key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME);
  bool repaintAll = keyRange || selectionCount_ > 1;
  const bool clearSelection = !(!shift.Empty() && (!gridExtensions || shift.Contains(ssShift)) && multi &&
                                key != VK_BACK && key != VK_TAB);
  PNTNode formerFocus = focusedNode_;
  PNTNode oldFocus = focusedNode_ ? focusedNode_ : (!shift.Empty() ? GetFirstVisible(nullptr, true) : nullptr);
  if (!rangeAnchor_) rangeAnchor_ = GetFirstSelected() ? GetFirstSelected() : GetFirst();
  if (UseRightToLeftAlignment()) {
    if (key == VK_LEFT)
      key = VK_RIGHT;
    else if (key == VK_RIGHT)
      key = VK_LEFT;
  }
  const bool centered = selection.Contains(slCenterScrollIntoView);
  TNodeTreeColumns& columns = header_->Columns();
  bool rangeStep = keyRange;
  auto focusTo = [&](PNTNode node) {
    if (node) SetFocusedNode(node);
  };
  switch (key) {
    case VK_BACK:
      if (states_.Contains(stIncrementalSearching)) {
        ChangeTreeState({stIncrementalSearchPending}, {});
        return;
      }
      if (focusedNode_ && focusedNode_->Parent != root_) focusTo(focusedNode_->Parent);
      break;
    case VK_TAB:
      if (selection.Contains(slExtendedFocus) && header_->UseColumns()) TabToCell(shift.Contains(ssShift));
      break;
    case VK_PRIOR:
    case VK_NEXT: {
      const bool up = key == VK_PRIOR;
      if (shift.ContainsAll({ssShift, ssCtrl})) {
        // Left for PageUp: right to left a larger offset shows more of the
        // left.
        const int32_t left = (up ? 1 : -1) * (UseRightToLeftAlignment() ? -1 : 1);
        SetOffsetX(offsetX_ + left * ClientWidth());
      } else if (shift.ContainsAll({ssShift, ssAlt}) && header_->UseColumns()) {
        TColumnIndex column = focusedColumn_;
        int32_t width = 0;
        for (TColumnIndex c = column; c != NoColumn && c != InvalidColumn;) {
          TColumnIndex n = up ? columns.PreviousShownColumn(c, true) : columns.NextShownColumn(c, true);
          if (n == NoColumn || n == InvalidColumn || columns.Items(n)->Options().Contains(coFixed)) break;
          width += columns.Items(c)->Width();
          if (width > ClientWidth()) break;
          column = n;
          c = n;
        }
        if (column != focusedColumn_) FocusCell(focusedNode_, column);
      } else if (shift.Contains(ssCtrl)) {
        SetOffsetY(offsetY_ + (up ? 1 : -1) * ClientHeight());
      } else {
        PNTNode target = nullptr;
        if (!focusedNode_) {
          target = up ? GetFirstVisible(nullptr, true) : GetLastVisible(nullptr, true);
        } else {
          target = focusedNode_;
          int32_t height = 0;
          for (PNTNode run = up ? GetPreviousVisible(focusedNode_, true) : GetNextVisible(focusedNode_, true); run;
               run = up ? GetPreviousVisible(run, true) : GetNextVisible(run, true)) {
            height += static_cast<int32_t>(NodeHeight(run));
            if (height >= ClientHeight()) break;
            target = run;
          }
        }
        focusTo(target);
      }
      break;
    }
    case VK_HOME:
    case VK_END: {
      bool home = key == VK_HOME;
      const bool rtl = UseRightToLeftAlignment();
      PNTNode target = home ? GetFirstVisible(nullptr, true) : GetLastVisible(nullptr, true);
      TColumnIndex column = NoColumn;
      if (header_->UseColumns()) {
        bool first = home != rtl;
        column = first ? columns.FirstShownColumn(true) : columns.LastShownColumn(true);
        while (column != NoColumn && column != InvalidColumn &&
               !RememberFocusingRecord(focusedNode_, target, focusedColumn_, column))
          column = first ? columns.NextShownColumn(column, true) : columns.PreviousShownColumn(column, true);
      }
      if (shift == TShiftState{ssCtrl} && !gridExtensions) {
        ScrollIntoView(target, centered, !options_->AutoOptions().Contains(auNoScrollOnFocus));
        // The offset counts from the edge the reading starts at: Home goes
        // there, End to the far end, as the column Home picks stands there.
        SetOffsetX(home ? 0 : -rangeX_);
      } else {
        if (!gridExtensions || shift.Contains(ssCtrl)) focusTo(target);
        if (gridExtensions && !selection.Contains(slFullRowSelect) && column != NoColumn && column != InvalidColumn)
          FocusCell(focusedNode_, column);
      }
      break;
    }
    case VK_LEFT:
    case VK_RIGHT: {
      const bool left = key == VK_LEFT;
      if (shift.Contains(ssCtrl)) {
        SetOffsetX(offsetX_ + (left ? 1 : -1) * columns.AverageFreeWidth());
      } else if (selection.Contains(slExtendedFocus) && gridExtensions && header_->UseColumns()) {
        TColumnIndex c = left ? columns.PreviousShownColumn(focusedColumn_, true)
                              : columns.NextShownColumn(focusedColumn_, true);
        if (c != NoColumn && c != InvalidColumn) FocusCell(focusedNode_, c);
      } else if (focusedNode_) {
        const bool expanded = focusedNode_->Has(nsExpanded);
        if (HasChildren(focusedNode_) && shift.Empty() && (left ? expanded : !expanded)) {
          ToggleNode(focusedNode_);
        } else if (left) {
          PNTNode parent = focusedNode_->Parent;
          if (parent != root_) {
            if (rangeSelect) {
              if (GetPreviousVisibleSibling(focusedNode_))
                rangeStep = true;
              else if (rangeAnchor_ && CompareNodePositions(parent, rangeAnchor_, true) > 0)
                RemoveFromSelection(focusedNode_);
            }
            focusTo(parent);
          }
        } else if (PNTNode child = GetFirstVisibleChild(focusedNode_)) {
          if (rangeSelect) rangeStep = true;
          focusTo(child);
        }
      }
      break;
    }
    case VK_UP:
    case VK_DOWN: {
      const bool up = key == VK_UP;
      if (shift.Contains(ssCtrl)) {
        SetOffsetY(offsetY_ + (up ? 1 : -1) * static_cast<int32_t>(defaultNodeHeight_));
        break;
      }
      PNTNode target = focusedNode_ ? (up ? GetPreviousVisible(focusedNode_, true) : GetNextVisible(focusedNode_, true))
                                    : GetFirstVisible(nullptr, true);
      if (!target) {
        RepaintNode(focusedNode_);
        break;
      }
      EndEditNode();
      if (rangeSelect && oldFocus && rangeAnchor_ && focusedNode_) {
        int order = CompareNodePositions(oldFocus, rangeAnchor_, true);
        if (up ? order > 0 : order < 0) RemoveFromSelection(focusedNode_);
      }
      if (focusedColumn_ < 0 && header_->UseColumns()) focusedColumn_ = header_->MainColumn();
      focusTo(target);
      break;
    }
    default:
      break;
  }

  const bool focusMoved = focusedNode_ != formerFocus;
  bool cleared = false;
  if (clearSelection && (focusMoved || selectionCount_ > 1)) {
    if (selectionCount_ > 1) repaintAll = true;
    ClearSelection();
    cleared = true;
  }
  if (shift.Empty()) {
    rangeAnchor_ = focusedNode_;
    lastSelectionLevel_ = focusedNode_ ? static_cast<int32_t>(GetNodeLevel(focusedNode_)) : -1;
  }
  if (focusedNode_) {
    if (rangeStep && oldFocus) SelectNodeRange(oldFocus, focusedNode_, true);
    if (cleared || focusMoved) AddToSelection(focusedNode_);
  }
  if (repaintAll) InvalidateRect(nullptr, false);
}

void TBaseNodeTree::WMKeyUp(TMessage& message) {
  TCustomControl::WndProc(message);
  const Word key = static_cast<Word>(message.WParam);
  if (key == VK_TAB) {
    if (!focusedNode_) SetFocusedNode(GetFirstVisible(nullptr, true));
  } else if (key == VK_SPACE && states_.Contains(stKeyCheckPending)) {
    ChangeTreeState({}, {stKeyCheckPending});
    PNTNode node = keyCheckNode_;
    keyCheckNode_ = nullptr;
    if (node) {
      node->CheckState = releasedVariant(static_cast<TCheckState>(node->CheckState));
      // Only when the focus stayed on the node (a key or click moved it away
      // meanwhile: nothing changes).
      if (node == focusedNode_) DoCheckClick(node, pendingKeyCheckState_);
      RepaintNode(node);
    }
  }
}

void TBaseNodeTree::WMChar(TMessage& message) {
  if (states_.Contains(stIncrementalSearchPending)) {
    IncrementalSearch(static_cast<Word>(message.WParam));
    ChangeTreeState({}, {stIncrementalSearchPending});
  }
  TCustomControl::WndProc(message);
}

}  // namespace px
