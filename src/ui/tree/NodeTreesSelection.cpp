// Selection kept as an array sorted by node address (membership is a binary
// search, a batch is one sort and one merge), the focus of a node or cell with
// the veto and notification steps, the always-select rule and the
// incremental search.
#include <algorithm>
#include <functional>

#include "platform/core/Debug.h"
#include "ui/tree/NodeTrees.h"

namespace px {

namespace {

uintptr_t addressOf(PNTNode p) { return reinterpret_cast<uintptr_t>(p) & ~uintptr_t{1}; }
bool marked(PNTNode p) { return (reinterpret_cast<uintptr_t>(p) & 1) != 0; }
PNTNode markedEntry(PNTNode p) { return reinterpret_cast<PNTNode>(reinterpret_cast<uintptr_t>(p) | 1); }

}  // namespace

// ---------------------------------------------------------------------------
// The array

bool TBaseNodeTree::FindInSelection(PNTNode node, int32_t& index, int32_t high, int32_t low) const {
  index = 0;
  if (!node || selection_.empty()) return false;
  if (high < 0 || high >= static_cast<int32_t>(selection_.size())) high = static_cast<int32_t>(selection_.size()) - 1;
  if (low < 0) low = 0;
  const uintptr_t key = reinterpret_cast<uintptr_t>(node);
  // Lower bound: the first entry not below the key, so equal entries are
  // found at their leftmost place.
  int32_t lo = low, hi = high + 1;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (addressOf(selection_[static_cast<size_t>(mid)]) < key)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = lo;
  for (int32_t i = lo; i <= high && addressOf(selection_[static_cast<size_t>(i)]) == key; ++i)
    if (!marked(selection_[static_cast<size_t>(i)])) {
      index = i;
      return true;
    }
  return false;
}

bool TBaseNodeTree::InternalAddToSelection(const PNTNode* newItems, int32_t count, bool force) {
  if (!newItems || count <= 0) return false;
  TNodeArray items(newItems, newItems + count);
  const TNTSelectionOptions options = options_->SelectionOptions();
  const bool levelConstraint = !force && options.Contains(slLevelSelectConstraint);
  const bool siblingConstraint = !force && options.Contains(slSiblingSelectConstraint);
  if (levelConstraint && lastSelectionLevel_ < 0) lastSelectionLevel_ = static_cast<int32_t>(GetNodeLevel(items[0]));
  if (siblingConstraint && !rangeAnchor_) rangeAnchor_ = items[0];
  for (PNTNode& item : items) {
    // An already selected node (also a repeat inside the batch) would sit in
    // the array twice; Force lifts the rules, never that one.
    bool drop = !item || item == root_ || item->Has(nsSelected);
    if (!drop && !force) {
      drop = item->Has(nsDisabled) ||
             (levelConstraint && static_cast<int32_t>(GetNodeLevel(item)) != lastSelectionLevel_) ||
             (siblingConstraint && rangeAnchor_ && item->Parent != rangeAnchor_->Parent);
    }
    if (drop) {
      item = markedEntry(item);
      continue;
    }
    item->Include(nsSelected);
    NodeSelected(item);
  }
  items.erase(std::remove_if(items.begin(), items.end(), marked), items.end());
  if (items.empty()) return false;
  std::sort(items.begin(), items.end(), std::less<PNTNode>());
  // Removed entries still marked in the array go first, so that a node
  // selected again is not found twice.
  if (selection_.size() != selectionCount_) PackSelection();
  size_t oldCount = selection_.size();
  selection_.resize(oldCount + items.size());
  // Merge from the back: existing entries above the current new item move
  // right, each new item lands below them.
  size_t write = selection_.size();
  size_t read = oldCount;
  for (size_t i = items.size(); i-- > 0;) {
    while (read > 0 && std::less<PNTNode>()(items[i], selection_[read - 1])) selection_[--write] = selection_[--read];
    selection_[--write] = items[i];
  }
  selectionCount_ += static_cast<Cardinal>(items.size());
  NodesAddedToSelection(items);
  return true;
}

bool TBaseNodeTree::InternalAddNodeToSelection(PNTNode node, bool force) {
  Assert(node != nullptr, "Node must not be nil!");
  return InternalAddToSelection(&node, 1, force);
}

void TBaseNodeTree::AddToSelection(PNTNode node) {
  if (SelectionLocked) return;
  Assert(node != nullptr, "Node must not be nil!");
  if (InternalAddNodeToSelection(node, false)) {
    InvalidateNode(node);
    DoChange(node);
  }
}

void TBaseNodeTree::AddNodesToSelection(const PNTNode* newItems, int32_t count, bool force) {
  if (SelectionLocked || !InternalAddToSelection(newItems, count, force)) return;
  if (count == 1) {
    InvalidateNode(newItems[0]);
    DoChange(newItems[0]);
  } else {
    InvalidateRect(nullptr, false);
    DoChange(nullptr);
  }
}

void TBaseNodeTree::InternalRemoveFromSelection(PNTNode node) {
  int32_t index = 0;
  if (!FindInSelection(node, index)) return;
  node->Exclude(nsSelected);
  selection_[static_cast<size_t>(index)] = markedEntry(node);
  --selectionCount_;
  NodeDeselected(node);
  NoteChange(false, node);
}

void TBaseNodeTree::RemoveFromSelection(PNTNode node) {
  if (SelectionLocked) return;
  Assert(node != nullptr, "Node must not be nil!");
  if (!node->Has(nsSelected)) return;
  node->Exclude(nsSelected);
  int32_t index = 0;
  if (FindInSelection(node, index)) {
    selection_.erase(selection_.begin() + index);
    --selectionCount_;
  }
  if (selectionCount_ == 0) ResetRangeAnchor();
  if (selectionCount_ <= 1) {
    if (node->NextSibling)
      nextNodeToSelect_ = node->NextSibling;
    else if (node->PrevSibling)
      nextNodeToSelect_ = node->PrevSibling;
    else if (node->Parent && node->Parent != root_)
      nextNodeToSelect_ = node->Parent;
    else
      nextNodeToSelect_ = GetFirstNoInit();
    if (nextNodeToSelect_ == node) nextNodeToSelect_ = nullptr;
  }
  NodeDeselected(node);
  DoChange(node);
}

void TBaseNodeTree::InternalClearSelection() {
  if (IsUpdating()) PackSelection();
  for (size_t i = selection_.size(); i-- > 0;) {
    PNTNode node = selection_[i];
    if (marked(node)) continue;
    node->Exclude(nsSelected);
    NodeDeselected(node);
  }
  selection_.clear();
  selection_.shrink_to_fit();
  selectionCount_ = 0;
  ResetRangeAnchor();
  ChangeTreeState({}, {stClearPending});
}

void TBaseNodeTree::AddToTempBuffer(PNTNode node) {
  if (tempNodeCache_.size() == tempNodeCache_.capacity()) {
    size_t n = tempNodeCache_.size();
    tempNodeCache_.reserve(n < 100 ? 100 : n + n / 10);
  }
  tempNodeCache_.push_back(node);
}

void TBaseNodeTree::ClearTempBuffer() {
  tempNodeCache_.clear();
  tempNodeCache_.shrink_to_fit();
}

void TBaseNodeTree::ResetRangeAnchor() {
  rangeAnchor_ = focusedNode_;
  lastSelectionLevel_ = -1;
}

// ---------------------------------------------------------------------------
// Ranges

void TBaseNodeTree::SelectNodeRange(PNTNode startNode, PNTNode endNode, bool addOnly) {
  Assert(endNode != nullptr, "EndNode must not be nil!");
  if (SelectionLocked) return;
  if (!startNode || startNode == root_ || !FullyVisible(startNode) || IsHiddenByFilter(startNode)) {
    PNTNode next = startNode && startNode != root_ ? GetNextVisibleNoInit(startNode, true) : nullptr;
    startNode = next ? next : GetFirstVisibleNoInit(nullptr, true);
  }
  if (!startNode) return;
  if (CompareNodePositions(startNode, endNode, true) > 0) std::swap(startNode, endNode);
  PNTNode anchor = rangeAnchor_;
  bool changed = false;
  if (!addOnly && selectionCount_ > 0) {
    InternalClearSelection();
    changed = true;
  }
  ClearTempBuffer();
  for (PNTNode run = startNode; run; run = GetNextVisibleNoInit(run, true)) {
    AddToTempBuffer(run);
    if (run == endNode) break;
  }
  if (InternalAddToSelection(tempNodeCache_.data(), static_cast<int32_t>(tempNodeCache_.size()), false)) changed = true;
  ClearTempBuffer();
  if (anchor && anchor->Has(nsSelected)) rangeAnchor_ = anchor;
  if (changed) {
    InvalidateRect(nullptr, false);
    DoChange(nullptr);
  }
}

void TBaseNodeTree::ToggleSelectionRange(PNTNode startNode, PNTNode endNode) {
  Assert(endNode != nullptr, "EndNode must not be nil!");
  if (SelectionLocked) return;
  if (!startNode || startNode == root_)
    startNode = GetFirstChildNoInit(nullptr);
  else if (!FullyVisible(startNode) || IsHiddenByFilter(startNode))
    startNode = GetNextVisibleNoInit(startNode, true);
  if (!startNode) return;
  int cmp = CompareNodePositions(startNode, endNode, true);
  if (cmp == 0) return;
  if (cmp > 0) std::swap(startNode, endNode);
  PNTNode anchor = rangeAnchor_;
  ClearTempBuffer();
  for (PNTNode run = startNode; run; run = GetNextVisibleNoInit(run, true)) {
    bool toggle = true;
    if (run == startNode) toggle = anchor && CompareNodePositions(startNode, anchor, true) < 0;
    if (run == endNode) toggle = anchor && CompareNodePositions(endNode, anchor, true) > 0;
    if (toggle) {
      if (run->Has(nsSelected))
        InternalRemoveFromSelection(run);
      else
        AddToTempBuffer(run);
    }
    if (run == endNode) break;
  }
  PackSelection();
  if (anchor && !anchor->Has(nsSelected)) AddToTempBuffer(anchor);
  InternalAddToSelection(tempNodeCache_.data(), static_cast<int32_t>(tempNodeCache_.size()), false);
  ClearTempBuffer();
  InvalidateRect(nullptr, false);
  DoChange(nullptr);
}

void TBaseNodeTree::UnselectNodeRange(PNTNode startNode, PNTNode endNode) {
  Assert(endNode != nullptr, "EndNode must not be nil!");
  if (SelectionLocked) return;
  if (!startNode || startNode == root_) startNode = GetFirstVisibleNoInit(nullptr, true);
  if (!startNode) return;
  if (CompareNodePositions(startNode, endNode, true) > 0) std::swap(startNode, endNode);
  for (PNTNode run = startNode; run; run = GetNextVisibleNoInit(run, true)) {
    InternalRemoveFromSelection(run);
    if (run == endNode) break;
  }
  PackSelection();
  if (selectionCount_ == 0) ResetRangeAnchor();
  InvalidateRect(nullptr, false);
}

void TBaseNodeTree::MarkCutCopy() {
  // Every selected node, also one inside a selected parent: the text formats
  // list the marked rows. Only the node stream leaves such children out,
  // as their parent carries them.
  for (PNTNode node : GetSortedSelection(false))
    if (!node->Has(nsDisabled)) node->Include(nsCutCopyMarked);
}

void TBaseNodeTree::HandleClickSelection(PNTNode lastFocused, PNTNode newNode, TShiftState shift, bool deferToggle) {
  (void)lastFocused;
  if (!newNode) return;
  if (shift.Contains(ssCtrl)) {
    if (shift.Contains(ssShift)) {
      SelectNodeRange(rangeAnchor_, newNode, true);
    } else {
      if (!options_->SelectionOptions().Contains(slSiblingSelectConstraint)) rangeAnchor_ = newNode;
      if (deferToggle)
        ChangeTreeState({stToggleOnRelease}, {});
      else if (newNode->Has(nsSelected))
        RemoveFromSelection(newNode);
      else
        AddToSelection(newNode);
    }
    InvalidateRect(nullptr, false);
  } else if (shift.Contains(ssShift)) {
    PNTNode anchor = rangeAnchor_ ? rangeAnchor_ : root_->FirstChild;
    SelectNodeRange(anchor, newNode, false);
  } else {
    if (!newNode->Has(nsSelected)) {
      AddToSelection(newNode);
      InvalidateNode(newNode);
    }
    rangeAnchor_ = newNode;
  }
}

// ---------------------------------------------------------------------------
// Focus

void TBaseNodeTree::FocusNode(PNTNode node, bool ask) {
  // A focus change ends a running edit; an edit that will not end keeps the
  // focus where it is.
  if (states_.Contains(stEditing) && !EndEditNode()) return;
  if (node == root_) node = nullptr;
  if (node != focusedNode_ && (!ask || RememberFocusingRecord(focusedNode_, node, focusedColumn_, focusedColumn_))) {
    PNTNode old = focusedNode_;
    if (old && node && options_->AutoOptions().Contains(auExpand) && node->Parent == old->Parent &&
        old->Has(nsExpanded))
      ToggleNode(old);
    else if (old)
      InvalidateNode(old);
    focusedNode_ = node;
  }
  if (focusedNode_) {
    TNodeTreeColumns& columns = header_->Columns();
    if (header_->UseColumns() &&
        (!columns.IsValidColumn(focusedColumn_) || !columns.Items(focusedColumn_)->Options().Contains(coVisible)))
      focusedColumn_ = header_->MainColumn();
    InvalidateNode(focusedNode_);
    if (!IsUpdating() && !options_->AutoOptions().Contains(auNoScrollOnFocus))
      ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(slCenterScrollIntoView),
                     !options_->SelectionOptions().Contains(slFullRowSelect));
  }
  if (selectionCount_ == 0) ResetRangeAnchor();
}

void TBaseNodeTree::FocusCell(PNTNode node, TColumnIndex column) {
  if (!ColumnTakesFocus(column)) column = focusedColumn_;
  PNTNode oldNode = focusedNode_;
  TColumnIndex oldColumn = focusedColumn_;
  focusedColumn_ = column;
  FocusNode(node, true);
  if (focusedNode_ == node) {
    AbandonEditIfAny();
    if (node != oldNode || column != oldColumn) FocusMoved(node, column);
  } else {
    focusedColumn_ = oldColumn;
  }
}

void TBaseNodeTree::EnsureFocusedNode() {
  if (!focusedNode_) SetFocusedNode(GetFirstVisible(nullptr, true));
}

void TBaseNodeTree::EnsureNodeSelected() {
  if (!options_->SelectionOptions().Contains(slAlwaysSelectNode) || selectionCount_ > 0 || SelectionLocked) return;
  if (nextNodeToSelect_)
    SetSelected(nextNodeToSelect_, true);
  else if (Focused())
    if (PNTNode first = GetFirstVisible(nullptr, true)) SetSelected(first, true);
}

void TBaseNodeTree::DoEnter() {
  TCustomControl::DoEnter();
  EnsureNodeSelected();
}

void TBaseNodeTree::ForgetInputNode(PNTNode node) {
  // A node freed while the input still remembers it (a list refreshed while
  // a search, a key or button press or a height drag waits) must not be
  // touched later.
  if (node == focusedNode_ && (states_.Contains(stEditing) || states_.Contains(stEditPending))) CancelEditNode();
  if (nextNodeToSelect_ == node) nextNodeToSelect_ = nullptr;
  if (lastSearchNode_ == node) lastSearchNode_ = nullptr;
  if (keyCheckNode_ == node) {
    keyCheckNode_ = nullptr;
    ChangeTreeState({}, {stKeyCheckPending});
  }
  if (checkNode_ == node) {
    checkNode_ = nullptr;
    ChangeTreeState({}, {stMouseCheckPending});
  }
  if (heightTrackNode_ == node) {
    heightTrackNode_ = nullptr;
    ChangeTreeState({}, {stNodeHeightTracking, stNodeHeightTrackPending});
  }
}

// ---------------------------------------------------------------------------
// Incremental search

void TBaseNodeTree::IncrementalSearch(Word charCode) {
  StopTimer(SearchTimer);
  if (IncrementalSearchMode == 1) return;
  struct Restart {
    TBaseNodeTree* tree;
    ~Restart() {
      if (tree->HandleAllocated()) tree->host_->StartTimer(SearchTimer, tree->IncrementalSearchTimeout);
    }
  } restart{this};
  const char16_t ch = static_cast<char16_t>(charCode);
  ChangeTreeState({stIncrementalSearching}, {});
  if (ch == 8 && searchBuffer_.empty()) return;

  PNTNode start = nullptr;
  if (IncrementalSearchStart == 1)
    start = lastSearchNode_;
  else if (IncrementalSearchStart == 2)
    start = focusedNode_;
  if (start && IncrementalSearchMode == 2 && !start->Has(nsInitialized)) start = nullptr;
  if (start && IncrementalSearchMode == 3 && (!FullyVisible(start) || start->Has(nsFilteredOut))) start = nullptr;

  const bool backward = ch == 8 || IncrementalSearchDirection == 1;
  auto step = [&](PNTNode n) -> PNTNode {
    PNTNode r = nullptr;
    switch (IncrementalSearchMode) {
      case 2: r = backward ? GetPrevious(n) : GetNext(n); break;
      case 3: r = backward ? GetPreviousVisibleNoInit(n, true) : GetNextVisibleNoInit(n, true); break;
      default: r = backward ? GetPreviousNoInit(n) : GetNextNoInit(n); break;
    }
    return r;
  };
  auto wrapped = [&]() -> PNTNode {
    switch (IncrementalSearchMode) {
      case 2: return backward ? GetLast() : GetFirst();
      case 3: return backward ? GetLastVisibleNoInit(nullptr, true) : GetFirstVisibleNoInit(nullptr, true);
      default: return backward ? GetLastNoInit() : GetFirstNoInit();
    }
  };
  auto next = [&](PNTNode n) {
    PNTNode r = step(n);
    return r ? r : wrapped();
  };

  UnicodeString doubled = searchBuffer_ + ch;
  const bool repeat =
      searchBuffer_.size() == 1 && searchBuffer_[0] == ch && !(start && SearchCompare(start, doubled) == 0);
  UnicodeString text;
  if (repeat)
    text = searchBuffer_;
  else if (ch == 8)
    text = searchBuffer_.substr(0, searchBuffer_.size() - 1);
  else
    text = doubled;

  PNTNode candidate = start;
  if (!start || searchBuffer_.empty() || repeat || ch == 8) candidate = start ? next(start) : wrapped();
  // One full round at most: back at the start node, or, without one, back at
  // the first candidate.
  PNTNode stop = start ? start : candidate;
  PNTNode found = nullptr;
  for (PNTNode run = candidate; run;) {
    if (SearchCompare(run, text) == 0) {
      found = run;
      break;
    }
    run = next(run);
    if (run == stop) break;
  }
  if (found) {
    ClearSelection();
    searchBuffer_ = text;
    lastSearchNode_ = found;
    SetFocusedNode(found);
    SetSelected(found, true);
  } else if (!start || SearchCompare(start, text) != 0) {
    Beep();
  }
}

void TBaseNodeTree::StopIncrementalSearch() {
  StopTimer(SearchTimer);
  ChangeTreeState({}, {stIncrementalSearching});
  searchBuffer_.clear();
  lastSearchNode_ = nullptr;
}

}  // namespace px
