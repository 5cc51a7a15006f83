// Mouse input of the tree: where inside a node a point lies, what presses,
// releases, double clicks and moves do (focus, selection, expand buttons,
// check boxes, the rubber band, node-height tracking, starting an edit), the
// hot node, automatic scrolling near the edges and wheel panning.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRegion>
#include <QWidget>

#include "platform/gui/Forms.h"
#include "ui/tree/NodeTrees.h"

namespace px {

namespace {

// Pixels the mouse moves before a press counts as a drag (the system's
// threshold).
constexpr int32_t SystemDragThreshold = 4;
// Pixels of the scroll steps of the automatic scrolling.
constexpr int32_t AutoScrollIncrement = 20;
// Width of the expand button bitmaps.
constexpr int32_t ButtonWidth = 9;

uint64_t nowMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

TRect normalized(const TRect& r) {
  return Rect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
              std::max(r.Top, r.Bottom));
}

bool overlaps(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

// The panning artwork, drawn once: arrow heads around a centre on a
// clFuchsia (transparent) ground.
constexpr int32_t PanSize = 32;

void drawArrowHead(TCanvas& c, int32_t dx, int32_t dy) {
  const int32_t m = PanSize / 2;
  const TPoint tip{m + dx * 14, m + dy * 14};
  const TPoint base{m + dx * 8, m + dy * 8};
  // Perpendicular to the direction, 5 pixels to each side.
  const int32_t px = -dy, py = dx;
  const int32_t side = (dx != 0 && dy != 0) ? 4 : 5;
  c.Polygon({tip, {base.X + px * side, base.Y + py * side}, {base.X - px * side, base.Y - py * side}});
}

TBitmap* newPanBitmap() {
  auto* b = new TBitmap(PanSize, PanSize, TPixelFormat::pf32bit);
  TCanvas& c = b->Canvas();
  c.Brush().SetColor(clFuchsia);
  c.FillRect(TRect(0, 0, PanSize, PanSize));
  c.Pen().SetColor(clBlack);
  c.Brush().SetColor(clWhite);
  return b;
}

// The window image: a disc with the directions that can be scrolled.
TBitmap* newPanWindowImage(bool horizontal, bool vertical) {
  TBitmap* b = newPanBitmap();
  TCanvas& c = b->Canvas();
  c.Ellipse(0, 0, PanSize, PanSize);
  c.Brush().SetColor(clBlack);
  c.Ellipse(PanSize / 2 - 2, PanSize / 2 - 2, PanSize / 2 + 3, PanSize / 2 + 3);
  if (vertical) {
    drawArrowHead(c, 0, -1);
    drawArrowHead(c, 0, 1);
  }
  if (horizontal) {
    drawArrowHead(c, -1, 0);
    drawArrowHead(c, 1, 0);
  }
  return b;
}

// Registers the panning cursors in the cursor slots (once).
void registerPanningCursors() {
  static bool done = false;
  if (done) return;
  done = true;
  struct Shape {
    TCursor id;
    std::vector<TPoint> arrows;
  } shapes[] = {
      {crNTMoveAll, {{0, -1}, {0, 1}, {-1, 0}, {1, 0}}},
      {crNTMoveEW, {{-1, 0}, {1, 0}}},
      {crNTMoveNS, {{0, -1}, {0, 1}}},
      {crNTMoveN, {{0, -1}}},
      {crNTMoveS, {{0, 1}}},
      {crNTMoveE, {{1, 0}}},
      {crNTMoveW, {{-1, 0}}},
      {crNTMoveNE, {{1, -1}}},
      {crNTMoveNW, {{-1, -1}}},
      {crNTMoveSE, {{1, 1}}},
      {crNTMoveSW, {{-1, 1}}},
  };
  for (const Shape& s : shapes) {
    std::unique_ptr<TBitmap> b(newPanBitmap());
    TCanvas& c = b->Canvas();
    c.Brush().SetColor(clBlack);
    c.Ellipse(PanSize / 2 - 3, PanSize / 2 - 3, PanSize / 2 + 4, PanSize / 2 + 4);
    for (TPoint d : s.arrows) drawArrowHead(c, d.X, d.Y);
    SetCursorImage(s.id, *b, {PanSize / 2, PanSize / 2});
  }
}

}  // namespace

TCheckState PressedCheckState(TCheckState state);
TCheckState ReleasedCheckState(TCheckState state);

// ---------------------------------------------------------------------------
// Hit positions

int32_t TBaseNodeTree::CheckImageWidth() const { return CheckImageList()->Width(); }

void TBaseNodeTree::LocateHitInNodeLTR(THitInfo& hitInfo, int32_t x, int32_t right, TAlignment alignment) {
  PNTNode node = hitInfo.HitNode;
  if (!node) return;
  const TNTPaintOptions paint = options_->PaintOptions();
  const TNTMiscOptions misc = options_->MiscOptions();
  const bool main = !header_->UseColumns() || hitInfo.HitColumn == header_->MainColumn();
  int32_t indent = 0;
  if (main) {
    if (paint.Contains(poFixedIndent))
      indent = static_cast<int32_t>(indent_);
    else
      indent = static_cast<int32_t>(GetNodeLevel(node) * indent_ + (paint.Contains(poShowRoot) ? indent_ : 0));
  }
  if (main && x < indent + margin_) {
    // The button sits in the indent column of the node's own level; the
    // glyph is centred in it, where the painting puts it.
    const int32_t levelLeft = indent - static_cast<int32_t>(indent_);
    if (paint.Contains(poShowButtons) && node->Has(nsHasChildren) && levelLeft >= 0 && x >= levelLeft) {
      hitInfo.HitPositions.Include(hiOnItemButton);
      int32_t half = static_cast<int32_t>(indent_) / 2;
      if (indent_ % 2 != 0 && half % 2 != 0) ++half;
      const int32_t glyph = levelLeft + half - ButtonWidth / 2;
      if (x >= glyph && x < glyph + ButtonWidth) hitInfo.HitPositions.Include(hiOnItemButtonExact);
    } else {
      hitInfo.HitPositions.Include(hiOnItemIndent);
    }
    return;
  }
  if (!main && misc.Contains(moNodeOnMainColumnOnly)) return;
  int32_t c = indent + margin_;
  if (main && misc.Contains(moCheckSupport) && node->CheckType != ctNone) {
    c += CheckImageWidth() + 2;
    if (x < c) {
      hitInfo.HitPositions.Include(hiOnItemCheckbox);
      return;
    }
  }
  if (stateImages_ && HasImage(node, ikState, hitInfo.HitColumn)) {
    c += stateImages_->Width() + 2;
    if (x < c) {
      hitInfo.HitPositions.Include(hiOnStateIcon);
      return;
    }
  }
  if (images_ && HasImage(node, ikNormal, hitInfo.HitColumn)) {
    c += images_->Width() + 2;
    if (x < c) {
      hitInfo.HitPositions.Include(hiOnNormalIcon);
      return;
    }
  }
  const int32_t width = NodeWidth(node, hitInfo.HitColumn, nullptr);
  if (right - c < width) {
    hitInfo.HitPositions.Include(hiOnItemLabel);
    return;
  }
  switch (alignment) {
    case taRightJustify:
      hitInfo.HitPositions.Include(x >= right - width ? hiOnItemLabel : hiOnItemLeft);
      break;
    case taCenter: {
      int32_t g = (c + right - width) / 2;
      hitInfo.HitPositions.Include(x < g ? hiOnItemLeft : x >= g + width ? hiOnItemRight : hiOnItemLabel);
      break;
    }
    default:
      hitInfo.HitPositions.Include(x < c + width ? hiOnItemLabel : hiOnItemRight);
      break;
  }
}

void TBaseNodeTree::LocateHitInNodeRTL(THitInfo& hitInfo, int32_t x, int32_t right, TAlignment alignment) {
  // The mirror image: everything measured from the cell's right edge, where
  // a left-aligned text of right-to-left reading starts.
  LocateHitInNodeLTR(hitInfo, right - 1 - x, right, alignment);
  const bool left = hitInfo.HitPositions.Contains(hiOnItemLeft);
  const bool rightOf = hitInfo.HitPositions.Contains(hiOnItemRight);
  hitInfo.HitPositions.Exclude(hiOnItemLeft);
  hitInfo.HitPositions.Exclude(hiOnItemRight);
  if (left) hitInfo.HitPositions.Include(hiOnItemRight);
  if (rightOf) hitInfo.HitPositions.Include(hiOnItemLeft);
}

// ---------------------------------------------------------------------------
// Check states

TCheckState TBaseNodeTree::NextCheckStateOf(TCheckType checkType, TCheckState checkState) {
  switch (checkType) {
    case ctTriStateCheckBox:
    case ctCheckBox: return checkState == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton: return csCheckedNormal;
    case ctButton: return csUncheckedNormal;
    default: return csMixedNormal;
  }
}

bool TBaseNodeTree::ParentCheckStateFor(PNTNode node, TCheckState newCheckState) {
  return CheckParentCheckState(node, newCheckState);
}

// ---------------------------------------------------------------------------
// Messages

TShiftState TBaseNodeTree::MouseShift(const TMessage& message) { return ShiftStateOfFlags(message.WParam); }

namespace {
TPoint messagePoint(const TMessage& m) { return {LoWordSigned(m.LParam), HiWordSigned(m.LParam)}; }
}  // namespace

void TBaseNodeTree::HandleMouseDownMessage(TMessage& message) {
  THitInfo hit;
  TPoint p = messagePoint(message);
  GetHitTestInfoAt(p.X, p.Y, true, hit);
  MouseButtonDown(message, hit);
}

void TBaseNodeTree::HandleMouseUpMessage(TMessage& message) {
  THitInfo hit;
  TPoint p = messagePoint(message);
  GetHitTestInfoAt(p.X, p.Y, true, hit);
  MouseButtonUp(message, hit);
}

void TBaseNodeTree::HandleMouseDblClkMessage(TMessage& message) {
  THitInfo hit;
  TPoint p = messagePoint(message);
  GetHitTestInfoAt(p.X, p.Y, true, hit);
  MouseButtonDblClick(message, hit);
}

void TBaseNodeTree::WMMouseMove(TMessage& message) { TCustomControl::WndProc(message); }

void TBaseNodeTree::WMLButtonDown(TMessage& message) {
  ChangeTreeState({stLeftButtonDown}, {});
  std::weak_ptr<char> alive = LifeToken();
  TCustomControl::WndProc(message);
  if (alive.expired()) return;
  HandleMouseDownMessage(message);
}

void TBaseNodeTree::WMLButtonUp(TMessage& message) {
  ChangeTreeState({}, {stNodeHeightTracking, stNodeHeightTrackPending, stLeftButtonDown});
  HandleMouseUpMessage(message);
  TCustomControl::WndProc(message);
}

void TBaseNodeTree::WMLButtonDblClk(TMessage& message) {
  ChangeTreeState({stLeftDblClick}, {});
  std::weak_ptr<char> alive = LifeToken();
  TCustomControl::WndProc(message);
  if (alive.expired()) return;
  HandleMouseDblClkMessage(message);
  ChangeTreeState({}, {stLeftDblClick});
}

void TBaseNodeTree::WMRButtonDown(TMessage& message) {
  ChangeTreeState({stRightButtonDown}, {});
  if (!header_->States().Empty()) return;
  TCustomControl::WndProc(message);
  if (options_->SelectionOptions().Contains(slRightClickSelect)) HandleMouseDownMessage(message);
}

void TBaseNodeTree::WMRButtonUp(TMessage& message) {
  ChangeTreeState({}, {stRightButtonDown, stPopupShown});
  if (!header_->States().Empty()) return;
  if (Application) Application->CancelHint();
  if (PopupMenu() && (states_.Contains(stDrawSelPending) || states_.Contains(stDrawSelecting))) {
    ChangeTreeState({}, {stDrawSelPending, stDrawSelecting});
    InvalidateRect(nullptr, false);
  }
  TCustomControl::WndProc(message);
  THitInfo hit;
  TPoint p = messagePoint(message);
  GetHitTestInfoAt(p.X, p.Y, true, hit);
  if (options_->SelectionOptions().Contains(slRightClickSelect)) MouseButtonUp(message, hit);
  if (!PopupMenu()) ShowNodePopupMenu(hit.HitNode, hit.HitColumn, p);
}

void TBaseNodeTree::WMRButtonDblClk(TMessage& message) {
  ChangeTreeState({stRightDblClick}, {});
  TCustomControl::WndProc(message);
  if (options_->SelectionOptions().Contains(slRightClickSelect)) HandleMouseDblClkMessage(message);
  ChangeTreeState({}, {stRightDblClick});
}

void TBaseNodeTree::WMMButtonDown(TMessage& message) {
  ChangeTreeState({stMiddleButtonDown}, {});
  if (!header_->States().Empty()) return;
  TCustomControl::WndProc(message);
  const bool wheel = states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling);
  if (options_->MiscOptions().Contains(moWheelPanning) && !wheel &&
      (rangeX_ > ClientWidth() || rangeY_ > ClientHeight())) {
    BeginPanning(messagePoint(message));
    return;
  }
  EndPanning();
  if (options_->SelectionOptions().Contains(slMiddleClickSelect)) HandleMouseDownMessage(message);
}

void TBaseNodeTree::WMMButtonUp(TMessage& message) {
  ChangeTreeState({}, {stMiddleButtonDown});
  if (states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling)) {
    // A click and release keeps panning until the next click.
    if (states_.Contains(stWheelScrolling))
      ChangeTreeState({}, {stWheelPanning});
    else
      EndPanning();
    return;
  }
  if (!header_->States().Empty()) return;
  TCustomControl::WndProc(message);
  if (options_->SelectionOptions().Contains(slMiddleClickSelect)) HandleMouseUpMessage(message);
}

void TBaseNodeTree::WMMButtonDblClk(TMessage& message) {
  ChangeTreeState({stMiddleDblClick}, {});
  TCustomControl::WndProc(message);
  if (options_->SelectionOptions().Contains(slMiddleClickSelect)) HandleMouseDblClkMessage(message);
  ChangeTreeState({}, {stMiddleDblClick});
}

// ---------------------------------------------------------------------------
// Press, release, double click

void TBaseNodeTree::PressCheckBox(PNTNode node) {
  // The new state is applied at the release over the same node.
  if (states_.Contains(stCheckPropagation) || node->Has(nsDisabled)) return;
  TCheckState next =
      NextCheckStateOf(static_cast<TCheckType>(node->CheckType), static_cast<TCheckState>(node->CheckState));
  if (!CheckingQuery(node, next)) return;
  ChangeTreeState({stMouseCheckPending}, {});
  checkNode_ = node;
  pendingCheckState_ = next;
  node->CheckState = PressedCheckState(static_cast<TCheckState>(node->CheckState));
  InvalidateNode(node);
}

bool TBaseNodeTree::NodeEdgeResizable(TPoint p, PNTNode node, TColumnIndex column) {
  if (!options_->MiscOptions().Contains(moNodeHeightResize) || !node || node == root_) return false;
  TNodeTreeColumns& columns = header_->Columns();
  if (columns.IsValidColumn(column) && !columns.Items(column)->Options().Contains(coFixed)) return false;
  return NodeEdgeResizeQuery(p, node, column);
}

bool TBaseNodeTree::DragAllowed(const THitInfo& hitInfo) {
  return hitInfo.HitNode && DragQuery(hitInfo.HitNode, hitInfo.HitColumn);
}

void TBaseNodeTree::MouseButtonDown(TMessage& message, THitInfo& hitInfo) {
  if (states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling)) {
    EndPanning();
    return;
  }
  if (states_.Contains(stEditPending)) {
    StopTimer(EditTimer);
    ChangeTreeState({}, {stEditPending});
  }
  if (states_.Contains(stEditing)) EndEditNode();
  const TPoint p = messagePoint(message);
  if (!Focused() && CanFocus()) {
    SetFocus();
    GetHitTestInfoAt(p.X, p.Y, true, hitInfo);
  }
  TNodeTreeColumns& columns = header_->Columns();
  columns.ClickedIndex = hitInfo.HitColumn;
  const TNTSelectionOptions selection = options_->SelectionOptions();
  const TNTMiscOptions misc = options_->MiscOptions();
  const THitPositions& at = hitInfo.HitPositions;
  PNTNode node = hitInfo.HitNode;
  const bool onLabelOrImage = at.Contains(hiOnItemLabel) || at.Contains(hiOnNormalIcon);

  TColumnIndex newColumn = focusedColumn_;
  bool columnChange = false;
  if (onLabelOrImage || selection.Contains(slFullRowSelect) || misc.Contains(moGridExtensions)) {
    newColumn = selection.Contains(slExtendedFocus) ? hitInfo.HitColumn : header_->MainColumn();
    if (!header_->UseColumns()) newColumn = NoColumn;
    columnChange = newColumn != focusedColumn_;
    if (columnChange && header_->UseColumns() && !ColumnTakesFocus(newColumn)) {
      newColumn = focusedColumn_;
      columnChange = false;
    }
  }
  TShiftState shift = MouseShift(message);
  const bool alt = shift.Contains(ssAlt);
  shift.Exclude(ssAlt);
  const bool noModifier = !shift.Contains(ssShift) && !shift.Contains(ssCtrl);
  const bool multi = selection.Contains(slMultiSelect);
  const bool cellHit = !alt && !selection.Contains(slSelectionOverNodes) && onLabelOrImage;
  const bool rowHit = !alt && !cellHit && node && !at.Contains(hiOnItemButton) && !at.Contains(hiOnItemCheckbox) &&
                      (selection.Contains(slFullRowSelect) ||
                       (misc.Contains(moGridExtensions) && hitInfo.HitColumn > NoColumn));
  const bool leftButton = message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK;

  // Node height tracking from the edge of a row.
  if (leftButton && node && (at.Contains(hiUpperSplitter) || at.Contains(hiLowerSplitter))) {
    PNTNode edgeNode = at.Contains(hiUpperSplitter) ? GetPreviousVisible(node, true) : node;
    if (NodeEdgeResizable(p, edgeNode, hitInfo.HitColumn)) {
      heightTrackNode_ = edgeNode;
      heightTrackColumn_ = hitInfo.HitColumn;
      TRect r = GetDisplayRect(edgeNode, NoColumn, false);
      heightTrackPoint_ = {r.Left, r.Top};
      ChangeTreeState({stNodeHeightTrackPending}, {});
      return;
    }
  }
  if (node && at.Contains(hiOnItemButton) && HasChildren(node)) {
    ToggleNode(node);
    return;
  }
  if (node && at.Contains(hiOnItemCheckbox)) {
    if (leftButton) PressCheckBox(node);
    return;
  }
  if ((root_->ChildCount > 0 && noModifier) || selectionCount_ == 0) {
    PNTNode levelNode = node ? node : GetFirstVisible(nullptr, true);
    lastSelectionLevel_ = levelNode ? static_cast<int32_t>(GetNodeLevel(levelNode)) : -1;
  }
  const bool dragPossible = DragAllowed(hitInfo);
  const bool nodeSelected = node && node->Has(nsSelected);
  if (multi && noModifier && nodeSelected && dragPossible) ChangeTreeState({stClearPending}, {});

  const bool mayRubberBand = !selection.Contains(slDisableDrawSelection) && !cellHit && multi;
  if (mayRubberBand && !rowHit) {
    host_->SetCapture();
    ChangeTreeState({stDrawSelPending}, {});
    drawSelShiftState_ = shift;
    SelectionRect = Rect(ClientToTreeX(p.X), p.Y - offsetY_, ClientToTreeX(p.X), p.Y - offsetY_);
    OldSelectionRect = SelectionRect;
  }

  if (!SelectionLocked) {
    const bool freeClick = !cellHit && !rowHit && multi && noModifier;
    const bool nodeClick = (cellHit || rowHit) && (!nodeSelected || !dragPossible) && (noModifier || !multi);
    if (freeClick || nodeClick) {
      Assert(!states_.Contains(stClearPending), "Pending and direct clearance are mutual exclusive!");
      const bool altOnMainLabel = alt && at.Contains(hiOnItemLabel) &&
                                  (!header_->UseColumns() || hitInfo.HitColumn == header_->MainColumn());
      if (node && (nodeSelected || altOnMainLabel)) {
        const bool many = selectionCount_ > 1;
        InternalClearSelection();
        InternalAddNodeToSelection(node, false);
        if (many) {
          InvalidateRect(nullptr, false);
          DoChange(nullptr);
        }
      } else {
        ClearSelection();
      }
    }
  }
  if (node && node == focusedNode_ && (at.Contains(hiOnItemLabel) || (misc.Contains(moGridExtensions))) &&
      node->Has(nsSelected) && !columnChange && noModifier)
    ChangeTreeState({stEditPending}, {});

  if (mayRubberBand && (!rowHit || at.Contains(hiNowhere))) return;
  lastClickPos_ = p;

  if ((cellHit || rowHit) && node && RememberFocusingRecord(focusedNode_, node, focusedColumn_, newColumn)) {
    PNTNode lastFocused = focusedNode_;
    if (columnChange) {
      InvalidateColumn(focusedColumn_);
      InvalidateColumn(newColumn);
      focusedColumn_ = newColumn;
    }
    const bool nodeChange = node != focusedNode_;
    if (nodeChange) FocusNode(node, false);
    if (!multi || noModifier) {
      if (noModifier) rangeAnchor_ = node;
      if (!node->Has(nsSelected)) AddToSelection(node);
    } else {
      HandleClickSelection(lastFocused, node, shift, dragPossible);
    }
    if (nodeChange || columnChange) {
      ScrollIntoView(node, selection.Contains(slCenterScrollIntoView),
                     !options_->AutoOptions().Contains(auNoScrollOnFocus) && !selection.Contains(slFullRowSelect));
      FocusMoved(focusedNode_, focusedColumn_);
    }
  }
  if (dragPossible && (cellHit || rowHit) && !states_.Contains(stEditing) && !states_.Contains(stDrawSelPending))
    BeginDragOperation(p);
}

void TBaseNodeTree::MouseButtonUp(TMessage& message, const THitInfo& hitInfo) {
  host_->ReleaseCapture();
  if (states_.Contains(stVCLDragPending)) return;
  if (states_.Contains(stDrawSelecting) || states_.Contains(stDrawSelPending)) {
    ChangeTreeState({}, {stDrawSelecting, stDrawSelPending});
    InvalidateRect(nullptr, false);
  }
  if (states_.Contains(stClearPending)) {
    PNTNode keep = focusedNode_ && focusedNode_->Has(nsSelected) ? focusedNode_ : nullptr;
    ClearSelection();
    if (keep) AddToSelection(keep);
  }
  if (states_.Contains(stToggleOnRelease) && focusedNode_) {
    if (focusedNode_->Has(nsSelected))
      RemoveFromSelection(focusedNode_);
    else
      AddToSelection(focusedNode_);
    InvalidateNode(focusedNode_);
  }
  ChangeTreeState({}, {stToggleOnRelease, stClearPending, stDrawSelPending, stOLEDragPending, stOLEDragging,
                       stScrolling, stScrollPending});
  StopTimer(ScrollTimer);
  if (states_.Contains(stMouseCheckPending)) {
    ChangeTreeState({}, {stMouseCheckPending});
    if (PNTNode node = checkNode_) {
      checkNode_ = nullptr;
      node->CheckState = ReleasedCheckState(static_cast<TCheckState>(node->CheckState));
      if (hitInfo.HitNode == node) DoCheckClick(node, pendingCheckState_);
      InvalidateNode(node);
    }
  }
  TNodeTreeColumns& columns = header_->Columns();
  if (header_->UseColumns() && columns.ClickedIndex != NoColumn && columns.ClickedIndex == hitInfo.HitColumn)
    ColumnClicked(hitInfo.HitColumn, MouseShift(message));
  if (hitInfo.HitNode) NodeClicked(hitInfo);
  if (states_.Contains(stEditPending)) {
    if (hitInfo.HitNode && hitInfo.HitNode == focusedNode_ && hitInfo.HitColumn == focusedColumn_ &&
        options_->MiscOptions().Contains(moEditOnClick) && CanEdit(focusedNode_, focusedColumn_)) {
      editColumn_ = focusedColumn_;
      if (HandleAllocated()) host_->StartTimer(EditTimer, EditDelay);
    } else {
      ChangeTreeState({}, {stEditPending});
    }
  }
}

void TBaseNodeTree::MouseButtonDblClick(TMessage& message, const THitInfo& hitInfo) {
  const TNTMiscOptions misc = options_->MiscOptions();
  const bool editOnDblClick = misc.Contains(moEditOnDblClick) && !states_.Contains(stEditing);
  StopTimer(EditTimer);
  ChangeTreeState({}, {stEditPending});
  if (states_.Contains(stEditing) && !EndEditNode()) return;
  const THitPositions& at = hitInfo.HitPositions;
  PNTNode node = hitInfo.HitNode;
  TNodeTreeColumns& columns = header_->Columns();
  const TShiftState shift = MouseShift(message);
  if (header_->UseColumns() && columns.ClickedIndex != NoColumn && columns.ClickedIndex == hitInfo.HitColumn)
    ColumnFocused(hitInfo.HitColumn, shift);
  if (node) NodeDblClicked(hitInfo);
  const TPoint p = messagePoint(message);
  if (node && (at.Contains(hiUpperSplitter) || at.Contains(hiLowerSplitter))) {
    PNTNode edgeNode = at.Contains(hiUpperSplitter) ? GetPreviousVisible(node, true) : node;
    const bool fixedColumn = !columns.IsValidColumn(hitInfo.HitColumn) ||
                             columns.Items(hitInfo.HitColumn)->Options().Contains(coFixed);
    if (edgeNode && fixedColumn && misc.Contains(moNodeHeightDblClickReset) &&
        NodeHeightResetQuery(edgeNode, hitInfo.HitColumn, shift, p)) {
      SetNodeHeight(edgeNode, defaultNodeHeight_);
      host_->UpdateWindow();
      return;
    }
  }
  if (node && at.Contains(hiOnItemCheckbox)) {
    if (message.Msg == WM_LBUTTONDBLCLK) PressCheckBox(node);
    return;
  }
  const bool toggleHit =
      at.Contains(hiOnItemButton) ||
      (misc.Contains(moToggleOnDblClick) &&
       (at.Contains(hiOnItemLabel) || at.Contains(hiOnNormalIcon) || at.Contains(hiOnStateIcon) ||
        (options_->SelectionOptions().Contains(slFullRowSelect) && at.Contains(hiOnItem))));
  if (node && toggleHit) {
    ToggleNode(node);
    return;
  }
  if (editOnDblClick && node && node == focusedNode_ && hitInfo.HitColumn == focusedColumn_ &&
      CanEdit(node, focusedColumn_)) {
    ChangeTreeState({stEditPending}, {});
    editColumn_ = focusedColumn_;
    if (HandleAllocated()) host_->StartTimer(EditTimer, EditDelay);
  }
}

// ---------------------------------------------------------------------------
// Moves

void TBaseNodeTree::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (states_.Contains(stNodeHeightTrackPending)) {
    if (Application) Application->CancelHint();
    EndPanning();
    for (int id : {ExpandTimer, EditTimer, HeaderTimer, ScrollTimer, SearchTimer}) StopTimer(id);
    StopIncrementalSearch();
    ChangeTreeState({stNodeHeightTracking}, {stEditPending, stNodeHeightTrackPending, stIncrementalSearching,
                                             stOLEDragPending, stScrolling, stScrollPending});
  }
  if (!states_.Contains(stDrawSelPending)) {
    if (states_.Contains(stNodeHeightTracking)) {
      if (PNTNode node = heightTrackNode_) {
        TPoint track = heightTrackPoint_;
        if (NodeHeightTrack(node, heightTrackColumn_, shift, track, {x, y})) {
          int32_t top = GetDisplayRect(node, NoColumn, false).Top;
          SetNodeHeight(node, std::max(y, top + 1) - top);
        }
      }
      return;
    }
    if (std::abs(x - lastClickPos_.X) >= SystemDragThreshold || std::abs(y - lastClickPos_.Y) >= SystemDragThreshold)
      ChangeTreeState({}, {stClearPending});
    if (states_.Contains(stOLEDragPending) &&
        (std::abs(x - lastClickPos_.X) >= DragThreshold || std::abs(y - lastClickPos_.Y) >= DragThreshold)) {
      BeginDragOperation(lastClickPos_);
      return;
    }
    if (AutoScrollApplies()) CheckAutoScroll(x, y);
    if (states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling)) UpdatePanningCursor(x, y);
    if (!states_.Contains(stDrawSelecting)) {
      UpdateHotTrack(x, y);
      TCustomControl::MouseMove(shift, x, y);
    } else if (UpdateSelectionRect(x, y)) {
      if (HandleDrawSelection(OldSelectionRect, SelectionRect)) {
        InvalidateRect(nullptr, false);
      } else {
        TRect r = normalized(OldSelectionRect);
        TRect n = normalized(SelectionRect);
        TRect u = Rect(std::min(r.Left, n.Left), std::min(r.Top, n.Top), std::max(r.Right, n.Right) + 1,
                       std::max(r.Bottom, n.Bottom) + 1);
        u.Offset(TreeToClientX(0), offsetY_);
        InvalidateRect(&u, false);
      }
      host_->UpdateWindow();
    }
    return;
  }
  if (UpdateSelectionRect(x, y)) {
    TRect n = normalized(SelectionRect);
    n.Offset(TreeToClientX(0), offsetY_);
    n.Right += 1;
    n.Bottom += 1;
    InvalidateRect(&n, false);
    host_->UpdateWindow();
  }
  TRect band = normalized(SelectionRect);
  if (band.Width() > SystemDragThreshold || band.Height() > SystemDragThreshold) {
    if (states_.Contains(stClearPending)) {
      ChangeTreeState({}, {stClearPending});
      ClearSelection();
    }
    ChangeTreeState({stDrawSelecting}, {stDrawSelPending});
    if (header_->UseColumns()) focusedColumn_ = header_->MainColumn();
    TRect start = Rect(SelectionRect.Left, SelectionRect.Top, SelectionRect.Left, SelectionRect.Top);
    if (HandleDrawSelection(start, SelectionRect)) InvalidateRect(nullptr, false);
    OldSelectionRect = SelectionRect;
  }
}

bool TBaseNodeTree::UpdateSelectionRect(int32_t x, int32_t y) {
  if (states_.Contains(stDrawSelecting)) OldSelectionRect = SelectionRect;
  const TRect before = SelectionRect;
  int32_t right = std::clamp(ClientToTreeX(x), 0, std::max(ClientWidth(), rangeX_));
  int32_t bottom = std::clamp(y - offsetY_, 0, std::max(ClientHeight(), rangeY_));
  SelectionRect.Right = right;
  SelectionRect.Bottom = bottom;
  return !(before == SelectionRect) || !(OldSelectionRect == SelectionRect);
}

bool TBaseNodeTree::HandleDrawSelection(const TRect& oldRect, const TRect& newRect) {
  if (root_->ChildCount == 0) return false;
  const TRect oldBand = normalized(oldRect);
  const TRect newBand = normalized(newRect);
  const int32_t top = std::min(oldBand.Top, newBand.Top);
  const int32_t bottom = std::max(oldBand.Bottom, newBand.Bottom);
  TNodeTreeColumns& columns = header_->Columns();
  const TColumnIndex main = header_->UseColumns() ? header_->MainColumn() : NoColumn;
  int32_t cellLeft = 0, cellRight = std::max(ClientWidth(), rangeX_);
  TAlignment alignment = alignment_;
  bool rtl = UseRightToLeftAlignment();
  if (columns.IsValidColumn(main)) {
    columns.GetColumnBounds(main, cellLeft, cellRight);
    alignment = columns.Items(main)->Alignment();
    rtl = columns.Items(main)->BiDiMode() != bdLeftToRight;
  }
  const TNTPaintOptions paint = options_->PaintOptions();
  const bool fullRow = options_->SelectionOptions().Contains(slFullRowSelect) ||
                       options_->MiscOptions().Contains(moGridExtensions);
  const bool invert = drawSelShiftState_.Contains(ssCtrl);
  bool changed = false;
  ClearTempBuffer();
  int32_t nodeTop = 0;
  PNTNode run = GetNodeAt(0, top, false, nodeTop);
  while (run && nodeTop < bottom) {
    const int32_t height = static_cast<int32_t>(run->NodeHeight);
    TRect box = Rect(cellLeft, nodeTop, cellRight, nodeTop + height);
    if (!fullRow) {
      int32_t shift = margin_ + static_cast<int32_t>(paint.Contains(poFixedIndent)
                                                         ? indent_
                                                         : GetNodeLevel(run) * indent_ +
                                                               (paint.Contains(poShowRoot) ? indent_ : 0));
      if (options_->MiscOptions().Contains(moCheckSupport) && run->CheckType != ctNone) shift += CheckImageWidth() + 2;
      if (stateImages_ && HasImage(run, ikState, main)) shift += stateImages_->Width() + 2;
      if (images_ && HasImage(run, ikNormal, main)) shift += images_->Width() + 2;
      const int32_t width = NodeWidth(run, main, nullptr);
      TAlignment a = alignment;
      if (rtl) ChangeBiDiModeAlignment(a);
      int32_t left = rtl ? cellLeft : cellLeft + shift;
      int32_t right = rtl ? cellRight - shift : cellRight;
      switch (a) {
        case taRightJustify: box.Left = std::max(left, right - width); box.Right = right; break;
        case taCenter:
          box.Left = left + std::max(0, (right - left - width) / 2);
          box.Right = std::min(right, box.Left + width);
          break;
        default: box.Left = left; box.Right = std::min(right, left + width); break;
      }
    }
    const bool inNew = overlaps(box, newBand);
    if (inNew != overlaps(box, oldBand)) {
      if (invert ? run->Has(nsSelected) : !inNew) {
        if (run->Has(nsSelected)) {
          InternalRemoveFromSelection(run);
          changed = true;
        }
      } else if (!run->Has(nsSelected)) {
        AddToTempBuffer(run);
      }
    }
    nodeTop += height;
    run = GetNextVisibleNoInit(run, true);
  }
  PackSelection();
  if (InternalAddToSelection(tempNodeCache_.data(), static_cast<int32_t>(tempNodeCache_.size()), false))
    changed = true;
  ClearTempBuffer();
  if (changed) DoChange(nullptr);
  return changed;
}

void TBaseNodeTree::UpdateHotTrack(int32_t x, int32_t y) {
  THitInfo hit;
  GetHitTestInfoAt(x, y, true, hit);
  const THitPositions& at = hit.HitPositions;
  const TNTPaintOptions paint = options_->PaintOptions();
  PNTNode node = nullptr;
  if (hit.HitNode &&
      (at.Contains(hiOnItemLabel) || at.Contains(hiOnItemCheckbox) ||
       (at.Contains(hiOnItemButtonExact) && states_.Contains(stExplorerThemed)) ||
       (options_->SelectionOptions().Contains(slFullRowSelect) && !at.Contains(hiNowhere))))
    node = hit.HitNode;
  const bool tracks = paint.Contains(poHotTrack) || options_->MiscOptions().Contains(moCheckSupport);
  if (node != hotNode_ || hit.HitColumn != hotColumn_) {
    PNTNode old = hotNode_;
    HotNodeChanged(old, node);
    if (tracks && old) InvalidateNode(old);
    hotNode_ = node;
    hotColumn_ = hit.HitColumn;
    if (tracks && node) InvalidateNode(node);
  }
  const bool button = at.Contains(hiOnItemButtonExact) && paint.Contains(poHotTrack);
  if (button != hotButton_) {
    hotButton_ = button;
    if (hotNode_) InvalidateNode(hotNode_);
  }
}

// ---------------------------------------------------------------------------
// Automatic scrolling and wheel panning

bool TBaseNodeTree::AutoScrollApplies() {
  const bool wheel = states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling);
  const THeaderStates tracking = header_->States() * THeaderStates{hsColumnWidthTracking, hsHeightTracking,
                                                                   hsDragging};
  return (wheel || options_->AutoOptions().Contains(auScroll)) && tracking.Empty() &&
         (DragManagerReportsDragOver() || states_.Contains(stDrawSelPending) || states_.Contains(stDrawSelecting) ||
          states_.Contains(stVCLDragging) || wheel);
}

TNTScrollDirections TBaseNodeTree::ComputeScrollDirections(int32_t x, int32_t y) {
  TNTScrollDirections result;
  if (!AutoScrollApplies()) return result;
  if (states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling)) {
    if (x < lastClickPos_.X - 8) result.Include(sdLeft);
    if (x > lastClickPos_.X + 8) result.Include(sdRight);
    if (y < lastClickPos_.Y - 8) result.Include(sdUp);
    if (y > lastClickPos_.Y + 8) result.Include(sdDown);
  } else {
    const int32_t zone = static_cast<int32_t>(defaultNodeHeight_);
    if (x < zone && effectiveOffsetX_ > 0) result.Include(sdLeft);
    if (x > ClientWidth() - zone && ClientWidth() + effectiveOffsetX_ < rangeX_) result.Include(sdRight);
    if (y < zone && offsetY_ < 0) result.Include(sdUp);
    if (y > ClientHeight() - zone && ClientHeight() - offsetY_ < rangeY_) result.Include(sdDown);
  }
  if (result.Empty()) return result;
  // Over another control (a drag on its way elsewhere) the tree scrolls at
  // once; over itself only after the delay.
  bool overSelf = true;
  if (QWidget* w = Widget(); w && w->isVisible()) {
    QWidget* under = QApplication::widgetAt(w->mapToGlobal(QPoint(x, y)));
    overSelf = under == w || (under && w->isAncestorOf(under));
  }
  if (!overSelf) return result;
  const uint64_t now = nowMs();
  if (!autoScrollStarted_) {
    autoScrollStarted_ = true;
    autoScrollStart_ = now;
  }
  if (now - autoScrollStart_ < AutoScrollDelay) result = {};
  return result;
}

void TBaseNodeTree::CheckAutoScroll(int32_t x, int32_t y) {
  scrollDirections_ = ComputeScrollDirections(x, y);
  if (!scrollDirections_.Empty()) {
    if (!states_.Contains(stScrollPending) && !states_.Contains(stScrolling)) {
      ChangeTreeState({stScrollPending}, {});
      if (HandleAllocated()) host_->StartTimer(ScrollTimer, AutoScrollDelay);
    }
  } else {
    if (!states_.Contains(stDrawSelPending) && !states_.Contains(stDrawSelecting) &&
        !states_.Contains(stWheelPanning) && !states_.Contains(stWheelScrolling))
      autoScrollStarted_ = false;
    if (states_.Contains(stScrolling) || states_.Contains(stScrollPending)) {
      StopTimer(ScrollTimer);
      ChangeTreeState({}, {stScrollPending, stScrolling});
    }
  }
}

void TBaseNodeTree::AutoScrollStep() {
  TPoint p;
  if (!host_->CursorPos(p)) p = lastClickPos_;
  const bool wheel = states_.Contains(stWheelPanning) || states_.Contains(stWheelScrolling);
  TNTScrollDirections dirs = wheel ? ComputeScrollDirections(p.X, p.Y) : scrollDirections_;
  const bool inside = ClientRect().Contains(p);
  const int32_t vStep = std::min(AutoScrollIncrement, ClientHeight());
  int32_t dx = 0, dy = 0;
  if (dirs.Contains(sdUp)) {
    dy = wheel ? lastClickPos_.Y - p.Y - 8 : inside ? vStep : vStep * std::max(1, -p.Y);
    if (offsetY_ == 0) dirs.Exclude(sdUp), dy = 0;
  }
  if (dirs.Contains(sdDown)) {
    dy = wheel ? lastClickPos_.Y - p.Y + 8 : inside ? -vStep : -vStep * std::max(1, p.Y - ClientHeight());
    if (ClientHeight() - offsetY_ >= rangeY_) dirs.Exclude(sdDown), dy = 0;
  }
  if (dirs.Contains(sdLeft)) {
    dx = wheel ? lastClickPos_.X - p.X - 8 : inside ? AutoScrollIncrement : AutoScrollIncrement * std::max(1, -p.X);
    if (effectiveOffsetX_ == 0) dirs.Exclude(sdLeft), dx = 0;
  }
  if (dirs.Contains(sdRight)) {
    dx = wheel ? lastClickPos_.X - p.X + 8
               : inside ? -AutoScrollIncrement : -AutoScrollIncrement * std::max(1, p.X - ClientWidth());
    if (ClientWidth() + effectiveOffsetX_ >= rangeX_) dirs.Exclude(sdRight), dx = 0;
  }
  if (UseRightToLeftAlignment()) dx = -dx;
  if (dx != 0 || dy != 0) {
    if (states_.Contains(stDrawSelecting) || states_.Contains(stDrawSelPending)) {
      SetScrollOffset({offsetX_ + dx, offsetY_ + dy}, DefaultScrollUpdateFlags);
      if (UpdateSelectionRect(p.X, p.Y) && states_.Contains(stDrawSelecting) &&
          HandleDrawSelection(OldSelectionRect, SelectionRect))
        InvalidateRect(nullptr, false);
      else
        InvalidateRect(nullptr, false);
    } else if (!DragManagerReportsDragOver() || wheel || states_.Contains(stVCLDragging)) {
      SetScrollOffset({offsetX_ + dx, offsetY_ + dy}, DefaultScrollUpdateFlags);
    }
  }
  host_->UpdateWindow();
  if (dirs.Empty() && !wheel) {
    StopTimer(ScrollTimer);
    ChangeTreeState({}, {stScrollPending, stScrolling});
  }
}

void TBaseNodeTree::BeginPanning(TPoint position) {
  StopTimer(ScrollTimer);
  ChangeTreeState({stWheelPanning, stWheelScrolling}, {});
  lastClickPos_ = position;
  registerPanningCursors();
  // A frameless tool window at the centre, shaped by the image, shown
  // without taking the focus.
  delete panningWindow_;
  panningWindow_ = nullptr;
  const bool horizontal = rangeX_ > ClientWidth();
  const bool vertical = rangeY_ > ClientHeight();
  std::unique_ptr<TBitmap> image(newPanWindowImage(horizontal, vertical || !horizontal));
  Assert(!image->Empty(), "Invalid wheel panning image.");
  QImage picture = image->ToQImage();
  auto* window = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  window->setAttribute(Qt::WA_ShowWithoutActivating);
  window->setObjectName("NTPanningWindow");
  auto* face = new QLabel(window);
  face->setPixmap(QPixmap::fromImage(picture));
  face->setGeometry(0, 0, PanSize, PanSize);
  window->resize(PanSize, PanSize);
  // The shape: the runs of pixels that are not clFuchsia, row by row.
  QRegion shape;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width();) {
      if ((picture.pixel(x, y) & 0xFFFFFF) == 0xFF00FF) {
        ++x;
        continue;
      }
      int run = x;
      while (run < picture.width() && (picture.pixel(run, y) & 0xFFFFFF) != 0xFF00FF) ++run;
      shape += QRect(x, y, run - x, 1);
      x = run;
    }
  }
  window->setMask(shape);
  const TPoint screen = ClientToScreen(position);
  window->move(screen.X - PanSize / 2, screen.Y - PanSize / 2);
  window->show();
  panningWindow_ = window;
  autoScrollStarted_ = false;
  panningCursor_ = crDefault;
  UpdatePanningCursor(position.X, position.Y);
  host_->UpdateWindow();
  host_->SetCapture();
  if (HandleAllocated()) host_->StartTimer(ScrollTimer, 20);
}

void TBaseNodeTree::EndPanning() {
  if (!states_.Contains(stWheelPanning) && !states_.Contains(stWheelScrolling)) return;
  StopTimer(ScrollTimer);
  host_->ReleaseCapture();
  ChangeTreeState({}, {stWheelPanning, stWheelScrolling});
  delete panningWindow_;
  panningWindow_ = nullptr;
  panningCursor_ = crDefault;
  host_->SetCursor(Cursor());
}

void TBaseNodeTree::UpdatePanningCursor(int32_t x, int32_t y) {
  const bool horizontal = rangeX_ > ClientWidth();
  const bool vertical = rangeY_ > ClientHeight();
  const int32_t dx = x - lastClickPos_.X, dy = y - lastClickPos_.Y;
  TCursor cursor;
  if (std::abs(dx) <= 7 && std::abs(dy) <= 7) {
    cursor = horizontal && vertical ? crNTMoveAll : horizontal ? crNTMoveEW : crNTMoveNS;
  } else if (horizontal && vertical) {
    if (dx < -8)
      cursor = dy < -8 ? crNTMoveNW : dy < 9 ? crNTMoveW : crNTMoveSW;
    else if (dx < 9)
      cursor = dy < 0 ? crNTMoveN : crNTMoveS;
    else
      cursor = dy < -8 ? crNTMoveNE : dy < 9 ? crNTMoveE : crNTMoveSE;
  } else if (horizontal) {
    cursor = dx < 0 ? crNTMoveW : crNTMoveE;
  } else {
    cursor = dy < 0 ? crNTMoveN : crNTMoveS;
  }
  if (cursor == panningCursor_) return;
  panningCursor_ = cursor;
  host_->SetCursor(cursor);
}

}  // namespace px
