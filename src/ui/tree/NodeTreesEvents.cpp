// The event dispatchers: each presets the default answer, calls the handler
// when one is assigned and returns the answer; a few add fixed work.
#include "platform/core/CodePages.h"
#include "platform/gui/Menus.h"
#include "ui/tree/NodeTrees.h"

namespace px {

bool TBaseNodeTree::CanSpanColumn(PNTNode node, TColumnIndex column) {
  bool allowed = true;
  if (OnColumnSpanQuery) OnColumnSpanQuery(this, node, column, allowed);
  return allowed;
}

TColumnIndex TBaseNodeTree::SpanCell(PNTNode node, TColumnIndex column, int32_t& right, bool rightToLeft) {
  TNodeTreeColumns& columns = header_->Columns();
  TColumnIndex next = columns.NextShownColumn(column);
  if (!options_->AutoOptions().Contains(auSpanColumns) || rightToLeft || !columns.IsValidColumn(column) ||
      columns.Items(column)->BiDiMode() != bdLeftToRight)
    return next;
  while (columns.IsValidColumn(next)) {
    const TNodeTreeColumn* c = columns.Items(next);
    if (c->BiDiMode() != bdLeftToRight || !CanSpanColumn(node, next)) break;
    right = c->Left() + c->Width();
    next = columns.NextShownColumn(next);
  }
  return next;
}

void TBaseNodeTree::HeaderDrawElements(THeaderPaintInfo& info, TColumnPaintParts elements) {
  if (OnHeaderDrawElements) OnHeaderDrawElements(header_.get(), info, elements);
}

void TBaseNodeTree::PaintCellOverlay(TCanvas& canvas, PNTNode node, TColumnIndex column, const TRect& cellRect) {
  if (OnCellPainted) OnCellPainted(this, canvas, node, column, cellRect);
}

void TBaseNodeTree::NodeErased(TCanvas& canvas, PNTNode node, const TRect& rect) {
  if (OnNodeErased) OnNodeErased(this, canvas, node, rect);
}

void TBaseNodeTree::NodePainted(TCanvas& canvas, PNTNode node, const TRect& rect) {
  if (OnNodePainted) OnNodePainted(this, canvas, node, rect);
}

void TBaseNodeTree::TreePainted(TCanvas& canvas) {
  if (OnTreePainted) OnTreePainted(this, canvas);
}

bool TBaseNodeTree::DragQuery(PNTNode node, TColumnIndex column) {
  bool allowed = false;
  if (OnDragQuery) OnDragQuery(this, node, column, allowed);
  return allowed;
}

void TBaseNodeTree::BeforeCellPaint(TCanvas& canvas, PNTNode node, TColumnIndex column, TNTCellPaintMode mode,
                                    const TRect& cellRect, TRect& contentRect) {
  if (!OnCellPrePaint) return;
  canvas.Font().Assign(Font());
  OnCellPrePaint(this, canvas, node, column, mode, cellRect, contentRect);
}

void TBaseNodeTree::RowBackgroundColor(TCanvas& canvas, PNTNode node, const TRect& rect,
                                       TItemEraseAction& eraseMode, TColor& color) {
  if (OnNodeErasing) OnNodeErasing(this, canvas, node, rect, eraseMode, color);
}

bool TBaseNodeTree::NodePainting(TCanvas& canvas, PNTNode node, const TRect& rect) {
  bool handled = false;
  if (OnNodePainting) OnNodePainting(this, canvas, node, rect, handled);
  return handled;
}

void TBaseNodeTree::TreePainting(TCanvas& canvas) {
  if (OnTreePainting) OnTreePainting(this, canvas);
}

void TBaseNodeTree::CancelCellEdit(TColumnIndex column) {
  if (OnEditCancelled) OnEditCancelled(this, column);
}

bool TBaseNodeTree::EditQuery(PNTNode node, TColumnIndex column, bool allowed) {
  if (OnEditQuery) OnEditQuery(this, node, column, allowed);
  return allowed;
}

bool TBaseNodeTree::NodeEdgeResizeQuery(TPoint point, PNTNode node, TColumnIndex column) {
  bool allowed = false;
  if (OnNodeEdgeResizeQuery) OnNodeEdgeResizeQuery(this, point, node, column, allowed);
  return allowed;
}

void TBaseNodeTree::RestartClickTimer(PNTNode node) {
  StopTimer(ChangeTimer);
  struct Done {
    TBaseNodeTree* tree;
    ~Done() {
      tree->ChangeTreeState({}, {stChangePending});
      tree->lastChangedNode_ = nullptr;
    }
  } done{this};
  if (OnChangeNotify) OnChangeNotify(this, node);
}

void TBaseNodeTree::ApplyCheckState(PNTNode node, TCheckState state) {
  if (node->CheckState == state) return;
  node->CheckState = state;
  NotifyChecked(node);
}

void TBaseNodeTree::NotifyChecked(PNTNode node) {
  if (OnNodeChecked) OnNodeChecked(this, node);
}

bool TBaseNodeTree::CheckingQuery(PNTNode node, TCheckState& newState) {
  if (options_->MiscOptions().Contains(moReadOnly)) return false;
  bool allowed = true;
  if (OnNodeChecking) OnNodeChecking(this, node, newState, allowed);
  return allowed;
}

void TBaseNodeTree::NodeCollapsed(PNTNode node) {
  if (OnNodeCollapsed) OnNodeCollapsed(this, node);
  // The always-select rule: a selection hidden by the collapse moves to its
  // nearest visible ancestor.
  if (options_->SelectionOptions().Contains(slAlwaysSelectNode)) {
    PNTNode first = GetFirstSelected();
    if (first && !FullyVisible(first)) {
      PNTNode parent = GetVisibleParent(first);
      RemoveFromSelection(first);
      if (parent) AddToSelection(parent);
    }
    if (selectionCount_ == 0) EnsureNodeSelected();
  }
}

bool TBaseNodeTree::CollapsingQuery(PNTNode node) {
  bool allowed = true;
  if (OnNodeCollapsing) OnNodeCollapsing(this, node, allowed);
  return allowed;
}

void TBaseNodeTree::ColumnClicked(TColumnIndex column, TShiftState shift) {
  if (OnColumnClicked) OnColumnClicked(this, column, shift);
}

void TBaseNodeTree::ColumnFocused(TColumnIndex column, TShiftState shift) {
  if (OnColumnDblClicked) OnColumnDblClicked(this, column, shift);
}

void TBaseNodeTree::ColumnResized(TColumnIndex column) {
  if (IsLoading() || !HandleAllocated()) return;
  for (PNTNode run = GetFirstNoInit(); run; run = GetNextNoInit(run))
    if (run->Has(nsMultiline)) run->Exclude(nsHeightMeasured);
  UpdateHorizontalScrollBar(true);
  if (column >= 0 && header_->Columns().IsValidColumn(column)) {
    // What moved: the client area right of the column's left edge, or right
    // to left, where the columns stand against the right edge, left of its
    // right edge.
    int32_t left = 0, right = 0;
    header_->Columns().ColumnEdges(column, left, right);
    TRect r = ClientRect();
    if (UseRightToLeftAlignment())
      r.Right = right;
    else
      r.Left = left;
    InvalidateRect(&r, false);
    header_->Invalidate(column);
  }
  // While the user drags a column's edge (or the header distributes a width
  // change) the rows follow the edge at once, not at the next idle paint.
  const THeaderStates hs = header_->States();
  if (hs.Contains(hsColumnWidthTracking) || hs.Contains(hsResizing)) host_->UpdateWindow();
  if (OnColumnResized) OnColumnResized(header_.get(), column);
  // The editor sits over its cell, which has moved or changed its width.
  UpdateCellEditBounds();
}

int TBaseNodeTree::CompareRows(PNTNode node1, PNTNode node2, TColumnIndex column) {
  int result = 0;
  if (OnNodeCompare) OnNodeCompare(this, node1, node2, column, result);
  return result;
}

IDataObjectRef TBaseNodeTree::DataObjectCreate() {
  IDataObjectRef result;
  if (OnDataObjectCreate) OnDataObjectCreate(this, result);
  return result;
}

std::shared_ptr<INTDragManager> TBaseNodeTree::DragManagerCreate() {
  std::shared_ptr<INTDragManager> result;
  if (OnDragManagerCreate) OnDragManagerCreate(this, result);
  return result;
}

TNTEditLinkRef TBaseNodeTree::CreateCellEditor(PNTNode node, TColumnIndex column) {
  TNTEditLinkRef result;
  if (OnEditorCreate) OnEditorCreate(this, node, column, result);
  return result;
}

void TBaseNodeTree::LineImageDrawing(PNTNode node, int32_t level, int32_t& posX) {
  if (OnLineImageDrawing) OnLineImageDrawing(this, node, level, posX);
}

bool TBaseNodeTree::DragOverQuery(TObject* source, TShiftState shift, TDragState state, TPoint pt, TNTDropMode mode,
                                  int32_t& effect) {
  bool accept = false;
  if (OnDragOverQuery) OnDragOverQuery(this, source, shift, state, pt, mode, effect, accept);
  return accept;
}

void TBaseNodeTree::Dropped(TObject* source, IDataObject* dataObject, const std::vector<std::string>& formats,
                            TShiftState shift, TPoint pt, int32_t& effect, TNTDropMode mode) {
  if (OnDropped) OnDropped(this, source, dataObject, formats, shift, pt, effect, mode);
}

void TBaseNodeTree::EndCellEdit(PNTNode node, TColumnIndex column) {
  if (OnEdited) OnEdited(this, node, column);
}

void TBaseNodeTree::OperationEnded(TNTOperationKind kind) {
  if (OnOperationEnded) OnOperationEnded(this, kind);
}

void TBaseNodeTree::NodeExpanded(PNTNode node) {
  if (OnNodeExpanded) OnNodeExpanded(this, node);
}

bool TBaseNodeTree::ExpandingQuery(PNTNode node) {
  bool allowed = true;
  if (OnNodeExpanding) OnNodeExpanding(this, node, allowed);
  return allowed;
}

void TBaseNodeTree::FocusMoved(PNTNode node, TColumnIndex column) {
  if (OnFocusMoved) OnFocusMoved(this, node, column);
}

bool TBaseNodeTree::RememberFocusingRecord(PNTNode oldNode, PNTNode newNode, TColumnIndex oldColumn,
                                           TColumnIndex newColumn) {
  TNodeTreeColumns& columns = header_->Columns();
  bool allowed = oldColumn == newColumn || newColumn == NoColumn ||
                 (columns.IsValidColumn(newColumn) && columns.Items(newColumn)->Options().Contains(coAllowFocus));
  if (OnFocusMoving) OnFocusMoving(this, oldNode, newNode, oldColumn, newColumn, allowed);
  return allowed;
}

void TBaseNodeTree::ReleaseNodeText(PNTNode node) {
  // Forget the node in every role before anyone can reach it again.
  ForgetNodeRoles(node);
  if (OnNodeFree && (node->Has(nsDataSet) || node->Has(nsInitialized))) OnNodeFree(this, node);
}

void TBaseNodeTree::ForgetNodeRoles(PNTNode node) {
  ForgetInputNode(node);
  if (lastChangedNode_ == node) lastChangedNode_ = nullptr;
  if (lastStructureChangeNode_ == node) lastStructureChangeNode_ = nullptr;
  if (hotNode_ == node) hotNode_ = nullptr;
  if (currentHotNode_ == node) currentHotNode_ = nullptr;
  if (dropTargetNode_ == node) dropTargetNode_ = nullptr;
  if (lastSelected_ == node) lastSelected_ = nullptr;
  if (focusedNode_ == node) focusedNode_ = nullptr;
  if (rangeAnchor_ == node) rangeAnchor_ = nullptr;
}

void TBaseNodeTree::CursorQuery(TCursor& cursor) {
  if (OnCursorQuery) OnCursorQuery(this, cursor);
}

void TBaseNodeTree::HeaderCursorQuery(TCursor& cursor) {
  if (OnHeaderCursorQuery) OnHeaderCursorQuery(header_.get(), cursor);
}

TCustomImageList* TBaseNodeTree::CellImageIndex(PNTNode node, TNTImageKind kind, TColumnIndex column,
                                                bool& ghosted, int32_t& index) {
  TCustomImageList* result = nullptr;
  index = -1;
  if (OnImageIndexQueryEx)
    OnImageIndexQueryEx(this, node, kind, column, ghosted, index, result);
  else if (OnImageIndexQuery)
    OnImageIndexQuery(this, node, kind, column, ghosted, index);
  return result;
}

void TBaseNodeTree::LinePatternQuery(std::array<Word, 8>& pattern) {
  if (OnLinePatternQuery) OnLinePatternQuery(this, pattern);
}

void TBaseNodeTree::CellText(UnicodeString& text, int& kind) {
  text = Utf8ToUnicode(Hint);
  kind = 0;
}

void TBaseNodeTree::HeaderHintText(UnicodeString& text, int& kind) {
  text = Utf8ToUnicode(Hint);
  kind = 0;
}

int32_t TBaseNodeTree::NodeExtraWidth(PNTNode, TColumnIndex, TCanvas*) { return 0; }

int32_t TBaseNodeTree::NodeWidth(PNTNode, TColumnIndex, TCanvas*) { return 0; }

TPopupMenu* TBaseNodeTree::PopupMenuQuery(PNTNode node, TColumnIndex column, TPoint position) {
  TPopupMenu* menu = nullptr;
  if (!OnPopupMenuQuery) return nullptr;
  bool askParent = true;
  if (!node) {
    OnPopupMenuQuery(this, nullptr, NoColumn, position, askParent, menu);
    return menu;
  }
  for (PNTNode run = node; run && run != root_; run = run->Parent) {
    askParent = true;
    OnPopupMenuQuery(this, run, column, position, askParent, menu);
    if (menu || !askParent) break;
  }
  return menu;
}

void TBaseNodeTree::ClipboardFormatsQuery(std::vector<std::string>& formats) {
  if (OnClipboardFormatsQuery) OnClipboardFormatsQuery(this, formats);
}

void TBaseNodeTree::HeaderClicked(const TColumnHitInfo& hitInfo) {
  if (OnHeaderClicked) OnHeaderClicked(header_.get(), hitInfo);
}

void TBaseNodeTree::HeaderDblClicked(const TColumnHitInfo& hitInfo) {
  if (OnHeaderDblClicked) OnHeaderDblClicked(header_.get(), hitInfo);
}

void TBaseNodeTree::HeaderColumnMoved(TColumnIndex column, int32_t oldPosition) {
  if (OnHeaderColumnMoved) OnHeaderColumnMoved(header_.get(), column, oldPosition);
}

void TBaseNodeTree::HeaderColumnDroppedOutside(TColumnIndex column, TPoint dropPoint) {
  if (OnHeaderColumnDroppedOutside) OnHeaderColumnDroppedOutside(header_.get(), column, dropPoint);
}

bool TBaseNodeTree::HeaderColumnMoveQuery(TColumnIndex column) {
  bool allowed = true;
  if (OnHeaderColumnMoveQuery) OnHeaderColumnMoveQuery(header_.get(), column, allowed);
  return allowed;
}

void TBaseNodeTree::HeaderCellDraw(TCanvas& canvas, TColumnIndex column, const TRect& rect, bool hover,
                                   bool pressed, TNTDropMarkMode dropMark) {
  if (OnHeaderCellDraw) OnHeaderCellDraw(header_.get(), canvas, column, rect, hover, pressed, dropMark);
}

void TBaseNodeTree::HeaderElementsQuery(THeaderPaintInfo& info, TColumnPaintParts& elements) {
  if (OnHeaderElementsQuery) OnHeaderElementsQuery(header_.get(), info, elements);
}

void TBaseNodeTree::HeaderButtonDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (OnHeaderButtonDown) OnHeaderButtonDown(header_.get(), button, shift, x, y);
}

void TBaseNodeTree::HeaderPointerMove(TShiftState shift, int32_t x, int32_t y) {
  if (OnHeaderPointerMove) OnHeaderPointerMove(header_.get(), shift, x, y);
}

void TBaseNodeTree::HeaderButtonUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (OnHeaderButtonUp) OnHeaderButtonUp(header_.get(), button, shift, x, y);
}

void TBaseNodeTree::HotNodeChanged(PNTNode oldNode, PNTNode newNode) {
  if (OnHotNodeChanged) OnHotNodeChanged(this, oldNode, newNode);
}

int TBaseNodeTree::SearchCompare(PNTNode node, const UnicodeString& text) {
  int result = 0;
  if (OnSearchCompare) OnSearchCompare(this, node, text, result);
  return result;
}

bool TBaseNodeTree::ChildrenInit(PNTNode node, Cardinal& childCount) {
  if (!OnChildrenInit) return false;
  OnChildrenInit(this, node, childCount);
  return true;
}

void TBaseNodeTree::NodeInit(PNTNode parent, PNTNode node, TNTNodeInitStates& initStates) {
  if (OnNodeInit) OnNodeInit(this, parent, node, initStates);
}

bool TBaseNodeTree::KeyPreview(Word& charCode, TShiftState& shift) {
  bool doDefault = true;
  if (OnKeyPreview) OnKeyPreview(this, charCode, shift, doDefault);
  return doDefault;
}

void TBaseNodeTree::LoadNodeData(PNTNode node, TStream& stream) {
  if (OnLoadNodeData) OnLoadNodeData(this, node, stream);
}

void TBaseNodeTree::NodeMeasure(TCanvas& canvas, PNTNode node, int32_t& nodeHeight) {
  if (OnNodeMeasure) OnNodeMeasure(this, canvas, node, nodeHeight);
}

void TBaseNodeTree::PointerEntered() {
  if (OnPointerEntered) OnPointerEntered(this);
}

void TBaseNodeTree::PointerLeft() {
  if (OnPointerLeft) OnPointerLeft(this);
}

void TBaseNodeTree::NodesInserted(PNTNode node) {
  if (OnNodesInserted) OnNodesInserted(this, node);
}

bool TBaseNodeTree::NodeInsertQuery(PNTNode node, PNTNode target) {
  bool allowed = true;
  if (OnNodeInsertQuery) OnNodeInsertQuery(this, node, target, allowed);
  return allowed;
}

void TBaseNodeTree::NodeClicked(const THitInfo& hitInfo) {
  if (OnNodeClicked) OnNodeClicked(this, hitInfo);
}

void TBaseNodeTree::NodeDblClicked(const THitInfo& hitInfo) {
  if (OnNodeDblClicked) OnNodeDblClicked(this, hitInfo);
}

bool TBaseNodeTree::NodeHeightResetQuery(PNTNode node, TColumnIndex column, TShiftState shift, TPoint point) {
  bool allowed = true;
  if (OnNodeHeightResetQuery) OnNodeHeightResetQuery(this, node, column, shift, point, allowed);
  return allowed;
}

bool TBaseNodeTree::NodeHeightTrack(PNTNode node, TColumnIndex column, TShiftState shift, TPoint& trackPoint,
                                    TPoint point) {
  bool allowed = true;
  if (OnNodeHeightTrack) OnNodeHeightTrack(this, node, column, shift, trackPoint, point, allowed);
  return allowed;
}

void TBaseNodeTree::NodeTransferred(PNTNode node) {
  if (OnNodeTransferred) OnNodeTransferred(this, node);
}

bool TBaseNodeTree::NodeTransferQuery(PNTNode node, PNTNode target) {
  bool allowed = true;
  if (OnNodeTransferQuery) OnNodeTransferQuery(this, node, target, allowed);
  return allowed;
}

bool TBaseNodeTree::BackgroundPaint(TCanvas& canvas, const TRect& rect) {
  bool handled = false;
  if (OnBackgroundPaint) OnBackgroundPaint(this, canvas, rect, handled);
  return handled;
}

void TBaseNodeTree::ShowNodePopupMenu(PNTNode node, TColumnIndex column, TPoint position) {
  TPopupMenu* menu = PopupMenuQuery(node, column, position);
  if (!menu) return;
  ChangeTreeState({stPopupShown}, {});
  StopTimer(EditTimer);
  menu->SetPopupComponent(this);
  TPoint screen = ClientToScreen(position);
  menu->Popup(screen.X, screen.Y);
}

void TBaseNodeTree::NodeDeselected(PNTNode node) {
  if (OnNodeDeselected) OnNodeDeselected(this, node);
}

HRESULT TBaseNodeTree::DataRender(const TFormatEtc& formatEtc, TStgMedium& medium, bool forClipboard) {
  HRESULT result = E_FAIL;
  if (OnDataRender) OnDataRender(this, formatEtc, medium, forClipboard, result);
  return result;
}

void TBaseNodeTree::NodeReset(PNTNode node) {
  if (OnNodeReset) OnNodeReset(this, node);
}

void TBaseNodeTree::SaveNodeData(PNTNode node, TStream& stream) {
  if (OnSaveNodeData) OnSaveNodeData(this, node, stream);
}

void TBaseNodeTree::Scrolled(int32_t deltaX, int32_t deltaY) {
  if (OnScrolled) OnScrolled(this, deltaX, deltaY);
}

void TBaseNodeTree::ScrollBarShow(TScrollBarKind bar, bool show) {
  if (HandleAllocated()) host_->ShowScrollBar(bar, show);
  if (OnScrollBarShow) OnScrollBarShow(this, bar, show);
}

void TBaseNodeTree::OperationStarted(TNTOperationKind kind) {
  if (OnOperationStarted) OnOperationStarted(this, kind);
}

void TBaseNodeTree::ChangeTreeState(TNTTreeStates enter, TNTTreeStates leave) {
  if (OnTreeStateChange && !((enter - states_) + (states_ * leave)).Empty()) OnTreeStateChange(this, enter, leave);
  states_ = (states_ + enter) - leave;
}

void TBaseNodeTree::StructureChanged(PNTNode node, TChangeReason reason) {
  StopTimer(StructureChangeTimer);
  struct Done {
    TBaseNodeTree* tree;
    ~Done() {
      tree->ChangeTreeState({}, {stStructureChangePending});
      tree->lastStructureChangeNode_ = nullptr;
      tree->lastStructureChangeReason_ = crIgnore;
    }
  } done{this};
  if (OnStructureChanged) OnStructureChanged(this, node, reason);
}

void TBaseNodeTree::UpdateStateChanged(TNTUpdateState state) {
  if (OnUpdateStateChanged) OnUpdateStateChanged(this, state);
}

void TBaseNodeTree::NodeSelected(PNTNode node) {
  if (OnNodeSelected) OnNodeSelected(this, node);
}

int32_t TBaseNodeTree::NodeDataSizeQuery() {
  // Room for one pointer: what AddChild stores when it is given user data.
  int32_t size = static_cast<int32_t>(sizeof(void*));
  if (OnNodeDataSizeQuery) OnNodeDataSizeQuery(this, size);
  return size;
}

bool TBaseNodeTree::NodeMoving(PNTNode node, PNTNode target) {
  bool allowed = true;
  if (OnNodeMoving) OnNodeMoving(this, node, target, allowed);
  return allowed;
}

void TBaseNodeTree::NodeMoved(PNTNode node) {
  if (OnNodeMoved) OnNodeMoved(this, node);
}

bool TBaseNodeTree::NodeCopying(PNTNode node, PNTNode target) {
  bool allowed = true;
  if (OnNodeCopying) OnNodeCopying(this, node, target, allowed);
  return allowed;
}

void TBaseNodeTree::NodeCopied(PNTNode node) {
  if (OnNodeCopied) OnNodeCopied(this, node);
}

void TBaseNodeTree::SaveTree(TStream& stream) {
  if (OnSaveTree) OnSaveTree(this, stream);
}

void TBaseNodeTree::LoadTree(TStream& stream) {
  if (OnLoadTree) OnLoadTree(this, stream);
}

int TBaseNodeTree::HintKindQuery(PNTNode node, TColumnIndex column) {
  int kind = 0;
  if (OnHintKindQuery) OnHintKindQuery(this, node, column, kind);
  return kind;
}

void TBaseNodeTree::HintDraw(TCanvas& canvas, PNTNode node, const TRect& rect, TColumnIndex column) {
  if (OnHintDraw) OnHintDraw(this, canvas, node, rect, column);
}

void TBaseNodeTree::HintSizeQuery(PNTNode node, TColumnIndex column, TRect& rect) {
  if (OnHintSizeQuery) OnHintSizeQuery(this, node, column, rect);
}

void TBaseNodeTree::ColumnWidthMeasuring(TColumnIndex column, bool& useSmartColumnWidth) {
  if (OnColumnWidthMeasuring) OnColumnWidthMeasuring(header_.get(), column, useSmartColumnWidth);
}

void TBaseNodeTree::ColumnWidthMeasured(TColumnIndex column, int32_t& maxWidth) {
  if (OnColumnWidthMeasured) OnColumnWidthMeasured(header_.get(), column, maxWidth);
}

void TBaseNodeTree::BeginOperation(TNTOperationKind kind) {
  ++operationCount_;
  OperationStarted(kind);
  if (operationCount_ == 1) operationCanceled_ = false;
}

void TBaseNodeTree::EndOperation(TNTOperationKind kind) {
  Assert(operationCount_ > 0, "EndOperation must not be called when no operation in progress.");
  --operationCount_;
  OperationEnded(kind);
}

}  // namespace px
