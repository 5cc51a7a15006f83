// Options, property setters, check states, expanding and collapsing, moving,
// reinitialising, editing entry points, repaint requests, sorting, ranges,
// scroll bars and scrolling.
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/gui/Forms.h"
#include "ui/tree/NodeTrees.h"

namespace px {

// ---------------------------------------------------------------------------
// Option sets

void TCustomNodeTreeOptions::SetPaintOptions(TNTPaintOptions value) {
  if (value.Contains(poFixedIndent) && !paintOptions_.Contains(poFixedIndent)) value.Include(poShowRoot);
  if (value == paintOptions_) return;
  TNTPaintOptions old = paintOptions_;
  paintOptions_ = value;
  if (owner_ && !owner_->IsLoading()) owner_->PaintOptionsChanged(old, value);
}

void TCustomNodeTreeOptions::SetAutoOptions(TNTAutoOptions value) {
  if (value == autoOptions_) return;
  TNTAutoOptions old = autoOptions_;
  autoOptions_ = value;
  if (owner_ && !owner_->IsLoading()) owner_->AutoOptionsChanged(old, value);
}

void TCustomNodeTreeOptions::SetSelectionOptions(TNTSelectionOptions value) {
  if (value == selectionOptions_) return;
  TNTSelectionOptions old = selectionOptions_;
  selectionOptions_ = value;
  if (owner_) owner_->SelectionOptionsChanged(old, value);
}

void TCustomNodeTreeOptions::SetMiscOptions(TNTMiscOptions value) {
  if (value == miscOptions_) return;
  TNTMiscOptions old = miscOptions_;
  miscOptions_ = value;
  if (owner_ && !owner_->IsLoading()) owner_->MiscOptionsChanged(old, value);
}

void TCustomNodeTreeOptions::Assign(const TPersistent* source) {
  if (auto* other = dynamic_cast<const TCustomNodeTreeOptions*>(source)) {
    SetPaintOptions(other->paintOptions_);
    SetAnimationOptions(other->animationOptions_);
    SetAutoOptions(other->autoOptions_);
    SetSelectionOptions(other->selectionOptions_);
    SetMiscOptions(other->miscOptions_);
    ExportFilter = other->ExportFilter;
    return;
  }
  TPersistent::Assign(source);
}

void TBaseNodeTree::PaintOptionsChanged(TNTPaintOptions oldOptions, TNTPaintOptions newOptions) {
  if (oldOptions.Contains(poShowFilteredNodes) != newOptions.Contains(poShowFilteredNodes)) {
    // Filtered nodes join or leave the display: their own heights and their
    // places in the visible count follow.
    InterruptValidation();
    bool show = newOptions.Contains(poShowFilteredNodes);
    BeginUpdate();
    try {
      for (PNTNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) {
        if (!run->Has(nsFilteredOut)) continue;
        if (FullyVisible(run)) {
          if (show)
            ++visibleCount_;
          else
            --visibleCount_;
        }
        AdjustTotalHeight(run, show ? run->NodeHeight : -static_cast<int64_t>(run->NodeHeight), true);
      }
      states_.Include(stVisibilityChanged);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  if (HandleAllocated() && (oldOptions.Contains(poUseThemes) != newOptions.Contains(poUseThemes) ||
                            oldOptions.Contains(poExplorerTheme) != newOptions.Contains(poExplorerTheme))) {
    // The style draws buttons (and the explorer look) only while themes are
    // asked for; the button pictures follow.
    if (newOptions.Contains(poUseThemes))
      ChangeTreeState({stThemed}, {});
    else
      ChangeTreeState({}, {stThemed});
    if (states_.Contains(stThemed) && newOptions.Contains(poExplorerTheme))
      ChangeTreeState({stExplorerThemed}, {});
    else
      ChangeTreeState({}, {stExplorerThemed});
    buildButtonImages();
  }
  if (oldOptions.Contains(poChildrenAbove) != newOptions.Contains(poChildrenAbove)) {
    InvalidateCache();
    if (!IsUpdating()) ValidateCache();
  }
  if (HandleAllocated()) Invalidate();
}

void TBaseNodeTree::AutoOptionsChanged(TNTAutoOptions oldOptions, TNTAutoOptions newOptions) {
  if (oldOptions.Contains(auSpanColumns) != newOptions.Contains(auSpanColumns) && HandleAllocated()) Invalidate();
}

void TBaseNodeTree::SelectionOptionsChanged(TNTSelectionOptions oldOptions, TNTSelectionOptions newOptions) {
  if (oldOptions.Contains(slMultiSelect) != newOptions.Contains(slMultiSelect) ||
      (newOptions.Contains(slLevelSelectConstraint) && !oldOptions.Contains(slLevelSelectConstraint)) ||
      (newOptions.Contains(slSiblingSelectConstraint) && !oldOptions.Contains(slSiblingSelectConstraint)))
    ClearSelection();
  if (!newOptions.Contains(slExtendedFocus)) {
    TColumnIndex main = header_->MainColumn();
    if (focusedColumn_ > 0 && oldOptions.Contains(slExtendedFocus)) {
      focusedColumn_ = main;
      Invalidate();
    }
    focusedColumn_ = main;
  }
}

void TBaseNodeTree::MiscOptionsChanged(TNTMiscOptions oldOptions, TNTMiscOptions newOptions) {
  if (oldOptions.Contains(moCheckSupport) != newOptions.Contains(moCheckSupport)) Invalidate();
  if (oldOptions.Contains(moAcceptOLEDrop) != newOptions.Contains(moAcceptOLEDrop)) UpdateOLEDropRegistration();
}

// ---------------------------------------------------------------------------
// Simple setters

void TBaseNodeTree::SetDefaultNodeHeight(Cardinal value) {
  if (value == 0) value = 18;
  value = std::min<Cardinal>(value, 65535);
  if (value == defaultNodeHeight_) return;
  int64_t diff = static_cast<int64_t>(value) - defaultNodeHeight_;
  defaultNodeHeight_ = value;
  root_->NodeHeight = static_cast<Word>(value);
  AdjustTotalHeight(root_, diff, true);
  InvalidateCache();
  if (!IsUpdating() && HandleAllocated() && !IsLoading()) {
    ValidateCache();
    UpdateScrollBars(true);
    if (focusedNode_)
      ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(slCenterScrollIntoView), true);
    Invalidate();
  }
}

void TBaseNodeTree::SetIndent(Cardinal value) {
  if (value == indent_) return;
  indent_ = value;
  if (!IsLoading() && !IsUpdating() && HandleAllocated()) {
    UpdateScrollBars(true);
    Invalidate();
  }
}

void TBaseNodeTree::SetMargin(int32_t value) {
  if (value == margin_) return;
  margin_ = value;
  if (HandleAllocated() && !IsLoading()) Invalidate();
}

void TBaseNodeTree::SetNodeAlignment(Byte value) {
  if (value == nodeAlignment_) return;
  nodeAlignment_ = value;
  if (HandleAllocated() && !IsLoading()) Invalidate();
}

void TBaseNodeTree::SetBottomSpace(int32_t value) {
  if (value == bottomSpace_) return;
  bottomSpace_ = std::max(value, 0);
  UpdateVerticalScrollBar(true);
}

void TBaseNodeTree::SetNodeDataSize(int32_t value) {
  if (value < -1) value = -1;
  if (value == nodeDataSize_) return;
  if (IsLoading() || ComponentState().Contains(csDesigning)) {
    nodeDataSize_ = value;
    return;
  }
  Cardinal count = root_->ChildCount;
  Clear();
  nodeDataSize_ = value;
  SetRootNodeCount(count);
}

void TBaseNodeTree::attachImageList(TCustomImageList*& slot, TChangeLink& link, TCustomImageList* value) {
  if (slot) {
    slot->UnRegisterChanges(&link);
    slot->RemoveFreeNotification(this);
  }
  slot = value;
  if (value) {
    if (!link.OnChange)
      link.OnChange = [this](TObject*) {
        if (!IsBeingDestroyed()) InvalidateRect(nullptr, false);
      };
    value->RegisterChanges(&link);
    value->FreeNotification(this);
  }
}

void TBaseNodeTree::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != opRemove || !component) return;
  // A list going away leaves no dangling slot behind.
  bool lost = false;
  for (TCustomImageList** slot : {&images_, &stateImages_, &checkImages_})
    if (*slot && static_cast<TComponent*>(*slot) == component) {
      *slot = nullptr;
      lost = true;
    }
  if (lost && !IsBeingDestroyed()) InvalidateRect(nullptr, false);
}

void TBaseNodeTree::SetImages(TCustomImageList* value) {
  if (value == images_) return;
  attachImageList(images_, imagesLink_, value);
  if (!IsLoading()) Invalidate();
}

void TBaseNodeTree::SetStateImages(TCustomImageList* value) {
  if (value == stateImages_) return;
  attachImageList(stateImages_, stateImagesLink_, value);
  if (!IsLoading()) Invalidate();
}

void TBaseNodeTree::SetCheckImages(TCustomImageList* value) {
  if (value == checkImages_) return;
  attachImageList(checkImages_, checkImagesLink_, value);
  if (!IsLoading()) Invalidate();
}

// ---------------------------------------------------------------------------
// Node properties

bool TBaseNodeTree::HasChildren(PNTNode node) const { return (node ? node : root_)->Has(nsHasChildren); }

void TBaseNodeTree::SetHasChildren(PNTNode node, bool value) {
  if (!node || node == root_) return;
  if (value) {
    node->Include(nsHasChildren);
    if (node->ChildCount == 0) node->Exclude(nsAllChildrenHidden);
  } else if (node->ChildCount == 0) {
    node->Exclude(nsHasChildren | nsAllChildrenHidden);
  } else {
    DeleteChildren(node, true);
  }
  InvalidateNode(node);
}

void TBaseNodeTree::SetExpanded(PNTNode node, bool value) {
  if (node && node != root_ && node->Has(nsExpanded) != value) ToggleNode(node);
}

bool TBaseNodeTree::IsVisible(PNTNode node) {
  if (!node) node = root_;
  InitIfNeeded(node);
  return node->Has(nsVisible);
}

void TBaseNodeTree::SetVisible(PNTNode node, bool value) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  if (node->Has(nsVisible) == value) return;
  PNTNode parent = node->Parent;
  bool parentShows = parent == root_ || (FullyVisible(parent) && parent->Has(nsExpanded));
  InterruptValidation();
  if (value) {
    node->Include(nsVisible);
    if (parent->Has(nsExpanded)) AdjustTotalHeight(parent, node->SubtreeHeight, true);
    if (parentShows) visibleCount_ += CountVisibleDescendants(node) + (IsHiddenByFilter(node) ? 0 : 1);
  } else {
    if (parentShows) visibleCount_ -= CountVisibleDescendants(node) + (IsHiddenByFilter(node) ? 0 : 1);
    if (parent->Has(nsExpanded)) AdjustTotalHeight(parent, -static_cast<int64_t>(node->SubtreeHeight), true);
    node->Exclude(nsVisible);
  }
  if (IsUpdating())
    states_.Include(stVisibilityChanged);
  else
    UpdateAllChildrenHidden(parent);
  InvalidateCache();
  if (!IsUpdating()) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
}

void TBaseNodeTree::SetFiltered(PNTNode node, bool value) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  if (node->Has(nsFilteredOut) == value) return;
  bool hides = !options_->PaintOptions().Contains(poShowFilteredNodes);
  bool fullyVisible = FullyVisible(node);
  InterruptValidation();
  if (value)
    node->Include(nsFilteredOut);
  else
    node->Exclude(nsFilteredOut);
  if (hides) {
    AdjustTotalHeight(node, value ? -static_cast<int64_t>(node->NodeHeight) : node->NodeHeight, true);
    if (fullyVisible) {
      if (value)
        --visibleCount_;
      else
        ++visibleCount_;
    }
    if (IsUpdating())
      states_.Include(stVisibilityChanged);
    else
      UpdateAllChildrenHidden(node->Parent);
  }
  InvalidateCache();
  if (!IsUpdating()) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
}

void TBaseNodeTree::SetDisabled(PNTNode node, bool value) {
  if (!node || node == root_ || node->Has(nsDisabled) == value) return;
  if (value)
    node->Include(nsDisabled);
  else
    node->Exclude(nsDisabled);
  InvalidateNode(node);
}

void TBaseNodeTree::SetMultiline(PNTNode node, bool value) {
  if (!node || node == root_ || node->Has(nsMultiline) == value) return;
  if (value)
    node->Include(nsMultiline);
  else
    node->Exclude(nsMultiline);
  node->Exclude(nsHeightMeasured);
  InvalidateNode(node);
}

void TBaseNodeTree::SetNodeParent(PNTNode node, PNTNode value) {
  if (node && node != root_) MoveTo(node, value, amAddChildLast, false);
}

Cardinal TBaseNodeTree::NodeHeight(PNTNode node) {
  if (!node || node == root_) return 0;
  if (options_->MiscOptions().Contains(moVariableNodeHeight) && !node->Has(nsDeleting)) {
    InitIfNeeded(node);
    MeasureItemHeight(Canvas(), node);
  }
  return node->NodeHeight;
}

void TBaseNodeTree::SetNodeHeight(PNTNode node, int64_t value) {
  if (!node || node == root_ || options_->MiscOptions().Contains(moReadOnly)) return;
  // The block keeps 16 bits: clamp before the ancestors move by the difference.
  value = std::clamp<int64_t>(value, 0, 65535);
  if (value == node->NodeHeight) return;
  int64_t diff = value - node->NodeHeight;
  node->NodeHeight = static_cast<Word>(value);
  if (IsHiddenByFilter(node)) return;
  AdjustTotalHeight(node, diff, true);
  InvalidateCache();
  if (!states_.Contains(stValidating) && FullyVisible(node) && !IsUpdating() && !states_.Contains(stPainting) &&
      !states_.Contains(stSizing)) {
    ValidateCache();
    InvalidateToBottom(node);
    UpdateScrollBars(true);
  }
}

void TBaseNodeTree::MeasureItemHeight(TCanvas& canvas, PNTNode node) {
  if (!node || node == root_ || node->Has(nsHeightMeasured)) return;
  node->Include(nsHeightMeasured);
  if (options_->MiscOptions().Contains(moVariableNodeHeight)) {
    int32_t height = node->NodeHeight;
    NodeMeasure(canvas, node, height);
    SetNodeHeight(node, height);
  }
}

// ---------------------------------------------------------------------------
// Check states

void TBaseNodeTree::SetCheckType(PNTNode node, TCheckType value) {
  if (!node || node == root_ || node->CheckType == value || options_->MiscOptions().Contains(moReadOnly)) return;
  node->CheckType = value;
  if (value != ctTriStateCheckBox && (node->CheckState == csMixedNormal || node->CheckState == csMixedPressed))
    node->CheckState = csUncheckedNormal;
  if (options_->AutoOptions().Contains(auTristateTracking) && (value == ctTriStateCheckBox || value == ctCheckBox)) {
    PNTNode parent = node->Parent;
    if (parent != root_) {
      InitIfNeeded(parent);
      if (parent->CheckType == ctTriStateCheckBox &&
          (parent->CheckState == csUncheckedNormal || parent->CheckState == csCheckedNormal))
        DoCheckClick(node, static_cast<TCheckState>(parent->CheckState));
    }
  }
  InvalidateNode(node);
}

bool TBaseNodeTree::DoCheckClick(PNTNode node, TCheckState newCheckState) {
  if (!CheckingQuery(node, newCheckState)) return false;
  if (!DoSetCheckState(node, newCheckState)) return false;
  NotifyChecked(node);
  return true;
}

bool TBaseNodeTree::DoSetCheckState(PNTNode node, TCheckState value) {
  if (!node || node == root_ || node->Has(nsChecking)) return false;
  node->Include(nsChecking);
  struct ClearChecking {
    PNTNode node;
    ~ClearChecking() { node->Exclude(nsChecking); }
  } clearChecking{node};
  if (!node->Has(nsInitialized))
    InitNode(node);
  else if (node->CheckState == value)
    return false;
  if (checkChangeCount_ == 0) ChangeTreeState({stCheckPropagation}, {});
  ++checkChangeCount_;
  struct Propagation {
    TBaseNodeTree* tree;
    ~Propagation() {
      if (--tree->checkChangeCount_ == 0) tree->ChangeTreeState({}, {stCheckPropagation});
    }
  } propagation{this};

  bool tracking = options_->AutoOptions().Contains(auTristateTracking);
  TCheckState newValue = value;
  if (node->CheckType == ctTriStateCheckBox && tracking &&
      (value == csUncheckedNormal || value == csCheckedNormal) && node->ChildCount > 0) {
    Cardinal unchecked = 0, checked = 0, mixed = 0;
    for (PNTNode child = node->FirstChild; child; child = child->NextSibling) {
      if (child->CheckType != ctTriStateCheckBox && child->CheckType != ctCheckBox) continue;
      if (child->CheckState != value && !child->Has(nsDisabled)) DoCheckClick(child, value);
      switch (child->CheckState) {
        case csUncheckedNormal:
        case csUncheckedPressed:
          ++unchecked;
          break;
        case csCheckedNormal:
        case csCheckedPressed:
          ++checked;
          break;
        default:
          ++mixed;
          break;
      }
    }
    if (mixed > 0 || (checked > 0 && unchecked > 0))
      newValue = csMixedNormal;
    else if (checked > 0)
      newValue = csCheckedNormal;
  }
  if (node->CheckType == ctRadioButton && value == csCheckedNormal) {
    for (PNTNode sibling = node->Parent->FirstChild; sibling; sibling = sibling->NextSibling)
      if (sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
    Invalidate();
  }
  node->CheckState = newValue;
  PNTNode parent = node->Parent;
  InitIfNeeded(parent);
  bool result = true;
  if (tracking && parent != root_ && !parent->Has(nsChecking) && !parent->Has(nsDisabled) &&
      (node->CheckType == ctTriStateCheckBox || node->CheckType == ctCheckBox) &&
      parent->CheckType == ctTriStateCheckBox)
    result = CheckParentCheckState(node, newValue);
  InvalidateNode(node);
  return result;
}

bool TBaseNodeTree::CheckParentCheckState(PNTNode node, TCheckState newCheckState) {
  (void)newCheckState;
  PNTNode parent = node->Parent;
  Cardinal unchecked = 0, checked = 0, mixed = 0;
  for (PNTNode child = parent->FirstChild; child; child = child->NextSibling) {
    if (child->CheckType != ctTriStateCheckBox && child->CheckType != ctCheckBox) continue;
    switch (child->CheckState) {
      case csUncheckedNormal:
      case csUncheckedPressed:
        ++unchecked;
        break;
      case csCheckedNormal:
      case csCheckedPressed:
        ++checked;
        break;
      default:
        ++mixed;
        break;
    }
  }
  TCheckState state;
  if (mixed > 0 || (checked > 0 && unchecked > 0))
    state = csMixedNormal;
  else if (checked > 0)
    state = csCheckedNormal;
  else
    state = csUncheckedNormal;
  if (parent->CheckState == state) return true;
  if (!CheckingQuery(parent, state)) return false;
  // The parent's own state follows its children: no propagation downwards.
  parent->CheckState = state;
  NotifyChecked(parent);
  InvalidateNode(parent);
  PNTNode grand = parent->Parent;
  if (grand != root_ && !grand->Has(nsChecking) && !grand->Has(nsDisabled) && grand->CheckType == ctTriStateCheckBox)
    return CheckParentCheckState(parent, state);
  return true;
}

// ---------------------------------------------------------------------------
// Expanding and collapsing

void TBaseNodeTree::ToggleNode(PNTNode node) {
  Assert(node != nullptr, "Node must not be nil.");
  if (node == root_ || node->Has(nsToggling) || node->Has(nsDeleting)) return;
  node->Include(nsToggling);
  struct Done {
    PNTNode node;
    ~Done() { node->Exclude(nsToggling); }
  } done{node};
  int64_t ownHeight = IsHiddenByFilter(node) ? 0 : node->NodeHeight;
  int64_t expandedBy = 0;
  if (node->Has(nsExpanded)) {
    if (!CollapsingQuery(node)) return;
    int64_t removed = static_cast<int64_t>(node->SubtreeHeight) - ownHeight;
    bool fullyVisible = FullyVisible(node);
    if (fullyVisible) animateToggle(node, removed, false);
    if (fullyVisible)
      visibleCount_ -= node == expandedNode_ && displayChanges_ == expandedMark_ ? expandedShown_
                                                                                : CountVisibleDescendants(node);
    node->Exclude(nsExpanded);
    AdjustTotalHeight(node, -removed, true);
    if (fullyVisible && IsUpdating()) states_.Include(stVisibilityChanged);
    NodeCollapsed(node);
    if (options_->AutoOptions().Contains(auFreeOnCollapse)) {
      DeleteChildren(node, false);
      node->Include(nsHasChildren);
    }
    InvalidateCache();
  } else {
    if (!ExpandingQuery(node)) return;
    if (!node->Has(nsInitialized)) InitNode(node);
    if (node->Has(nsExpanded)) return;  // the init step expanded it
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
    int64_t growth = 0;
    // The nodes shown by the expansion are counted in the same pass over the
    // children: a second pass over a large branch cost as much as this one.
    Cardinal shown = 0;
    TCanvas& canvas = Canvas();
    const uint64_t changesBefore = displayChanges_;
    for (PNTNode child = node->FirstChild; child; child = child->NextSibling) {
      InitIfNeeded(child);
      if (!child->Has(nsVisible)) continue;
      if (!child->Has(nsHeightMeasured)) MeasureItemHeight(canvas, child);
      growth += child->SubtreeHeight;
      shown += (child->Has(nsExpanded) ? CountVisibleDescendants(child) : 0) + (IsHiddenByFilter(child) ? 0 : 1);
    }
    // The count holds while nothing else changes the display: not the
    // children's init handlers, nor the expanded handler below. Sorting only
    // reorders the children.
    const bool counted = displayChanges_ == changesBefore;
    if (options_->AutoOptions().Contains(auSort) && header_->SortColumn() > InvalidColumn)
      Sort(node, header_->SortColumn(), header_->SortDirection(), false);
    if (FullyVisible(node)) animateToggle(node, growth, true);
    node->Include(nsExpanded);
    AdjustTotalHeight(node, growth, true);
    expandedBy = growth;
    if (FullyVisible(node)) {
      visibleCount_ += shown;
      if (IsUpdating()) states_.Include(stVisibilityChanged);
    }
    const uint64_t changesBeforeHandler = displayChanges_;
    NodeExpanded(node);
    InvalidateCache();
    expandedNode_ = nullptr;
    if (counted && displayChanges_ == changesBeforeHandler + 1) {
      expandedNode_ = node;
      expandedShown_ = shown;
      expandedMark_ = displayChanges_;
    }
  }
  if (IsUpdating()) {
    UpdateRanges();
    return;
  }
  ValidateCache();
  if (node->ChildCount > 0) {
    UpdateRanges();
    UpdateScrollBars(true);
    if (node->Has(nsExpanded) && options_->AutoOptions().Contains(auScrollOnExpand) &&
        !states_.Contains(stToggling) && HandleAllocated() && FullyVisible(node)) {
      if (options_->PaintOptions().Contains(poChildrenAbove)) {
        // The children open above the node: scrolling by what they take
        // keeps the node where it was, its children right above it.
        if (expandedBy > 0) SetOffsetY(offsetY_ - static_cast<int32_t>(std::min<int64_t>(expandedBy, INT32_MAX)));
      } else {
        // Bring the last child into view without moving the node off the top.
        int32_t nodeTop = static_cast<int32_t>(GetNodeTop(node)) + offsetY_;
        int32_t bottom = nodeTop + static_cast<int32_t>(node->SubtreeHeight);
        if (bottom > ClientHeight()) {
          int32_t delta = std::min(bottom - ClientHeight(), nodeTop);
          if (delta > 0) SetOffsetY(offsetY_ - delta);
        }
      }
    }
    InvalidateToBottom(node);
  } else {
    InvalidateNode(node);
  }
}

void TBaseNodeTree::FullExpand(PNTNode node) {
  if (root_->ChildCount == 0) return;
  BeginUpdate();
  ChangeTreeState({stToggling}, {});
  try {
    PNTNode stop = nullptr;
    if (node) {
      for (PNTNode run = node; run != root_; run = run->Parent)
        if (run->NextSibling) {
          stop = run->NextSibling;
          break;
        }
    }
    PNTNode run = node ? node : GetFirst();
    while (run && run != stop) {
      InitIfNeeded(run);
      if (!run->Has(nsExpanded) && run->Has(nsHasChildren)) ToggleNode(run);
      run = GetNext(run);
    }
  } catch (...) {
    ChangeTreeState({}, {stToggling});
    EndUpdate();
    throw;
  }
  ChangeTreeState({}, {stToggling});
  EndUpdate();
}

void TBaseNodeTree::FullCollapse(PNTNode node) {
  if (root_->ChildCount == 0) return;
  BeginUpdate();
  ChangeTreeState({stToggling}, {});
  try {
    PNTNode run = GetLastVisibleNoInit(node, false, true);
    while (run && run != node) {
      PNTNode previous = GetPreviousVisibleNoInit(run, false);
      if (run->Has(nsExpanded) && run->Has(nsHasChildren)) ToggleNode(run);
      run = previous;
      if (run && node && !HasAsParent(run, node)) break;
    }
    if (node && node != root_ && node->Has(nsExpanded) && node->Has(nsHasChildren)) ToggleNode(node);
  } catch (...) {
    ChangeTreeState({}, {stToggling});
    EndUpdate();
    throw;
  }
  ChangeTreeState({}, {stToggling});
  EndUpdate();
}

// ---------------------------------------------------------------------------
// Moving

void TBaseNodeTree::MoveTo(PNTNode source, PNTNode target, TNTNodeAttachMode mode, bool childrenOnly) {
  if (!source || source == root_ || mode == amNoWhere || options_->MiscOptions().Contains(moReadOnly)) return;
  PNTNode top = source;
  while (top->Parent && top->Parent != root_) top = top->Parent;
  Assert(top->Parent == root_, "The source tree must contain the source node.");
  if (target == source && !(childrenOnly && (mode == amInsertBefore || mode == amInsertAfter))) return;
  if (TBaseNodeTree* targetTree = target ? TreeOfNode(target) : this; targetTree && targetTree != this) {
    moveIntoOtherTree(source, targetTree, target, mode, childrenOnly);
    return;
  }
  if (!target) {
    target = root_;
    mode = amAddChildFirst;
  }
  if (target == root_) {
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  }
  if (target != root_) {
    if (!target->Has(nsInitialized))
      InitNode(target);
    else if (target->Has(nsHasChildren) && target->ChildCount == 0)
      InitChildren(target);
  }
  if (!NodeMoving(source, target == root_ ? nullptr : target)) return;
  if (HasAsParent(target, source))
    ShowError("Target node cannot be a child node of the node to be moved.", hcTFWrongMoveError);
  InterruptValidation();
  if (!childrenOnly) {
    UnlinkNode(source, true, true);
    LinkNode(source, target, mode, this);
    NodeMoved(source);
  } else if (mode == amAddChildFirst) {
    for (PNTNode child = source->LastChild; child;) {
      PNTNode previous = child->PrevSibling;
      UnlinkNode(child, true, false);
      LinkNode(child, target, mode, this);
      NodeMoved(child);
      child = previous;
    }
  } else {
    PNTNode destination = target;
    for (PNTNode child = source->FirstChild; child;) {
      PNTNode next = child->NextSibling;
      UnlinkNode(child, true, false);
      LinkNode(child, destination, mode, this);
      // Each following child goes behind the one moved before it.
      if (mode == amInsertAfter) destination = child;
      NodeMoved(child);
      child = next;
    }
  }
  InvalidateCache();
  if (!IsUpdating()) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
  DoStructureChange(source, crNodeMoved);
}

// ---------------------------------------------------------------------------
// Reinitialising and validating

void TBaseNodeTree::ReinitNode(PNTNode node, bool recursive) {
  if (!node) return;
  if (node != root_) {
    node->Exclude(nsChecking | nsCutCopyMarked | nsDeleting | nsHeightMeasured);
    InitNode(node);
  }
  if (recursive) ReinitChildren(node, true);
}

void TBaseNodeTree::ReinitChildren(PNTNode node, bool recursive) {
  if (!node) node = root_;
  if (node != root_) InitChildren(node);
  for (PNTNode child = node->FirstChild; child;) {
    PNTNode next = child->NextSibling;
    ReinitNode(child, recursive);
    child = next;
  }
}

void TBaseNodeTree::ResetNode(PNTNode node) {
  CancelEditNode();
  if (!node || node == root_) {
    Clear();
    return;
  }
  NodeReset(node);
  ReleaseNodeText(node);
  DeleteChildren(node, false);
  node->Exclude(nsInitialized | nsChecking | nsCutCopyMarked | nsDeleting | nsExpanded | nsHasChildren |
                nsHeightMeasured);
  InvalidateNode(node);
}

void TBaseNodeTree::ValidateNode(PNTNode node, bool recursive) {
  if (!node) node = root_;
  if (node != root_) InitIfNeeded(node);
  if (!recursive) return;
  if (node != root_ && node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) ValidateNode(child, true);
}

void TBaseNodeTree::ValidateChildren(PNTNode node, bool recursive) {
  if (!node) node = root_;
  if (node != root_) {
    InitIfNeeded(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) ValidateNode(child, recursive);
}

// ---------------------------------------------------------------------------
// Cut and copy, editing

void TBaseNodeTree::CancelCutOrCopy() {
  if (!states_.Contains(stCutPending) && !states_.Contains(stCopyPending)) return;
  for (PNTNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) run->Exclude(nsCutCopyMarked);
  ChangeTreeState({}, {stCutPending, stCopyPending});
  Invalidate();
}

void TBaseNodeTree::FinishCutOrCopy() {
  if (states_.Contains(stCutPending)) {
    TNodeArray marked = GetSortedCutCopySet(true);
    BeginUpdate();
    try {
      for (size_t i = marked.size(); i-- > 0;) DeleteNode(marked[i], true);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    ChangeTreeState({}, {stCutPending});
  } else if (states_.Contains(stCopyPending)) {
    CancelCutOrCopy();
  }
}

bool TBaseNodeTree::CanEdit(PNTNode node, TColumnIndex column) {
  TNodeTreeColumns& columns = header_->Columns();
  bool allowed = options_->MiscOptions().Contains(moEditable) && Enabled() &&
                 !options_->MiscOptions().Contains(moReadOnly) &&
                 (column == NoColumn ||
                  (columns.IsValidColumn(column) && columns.Items(column)->Options().Contains(coEditable)));
  return EditQuery(node, column, allowed);
}

bool TBaseNodeTree::EditNode(PNTNode node, TColumnIndex column) {
  Assert(node != nullptr, "Node must not be nil.");
  Assert(column >= NoColumn && column < header_->Columns().Count(),
         "Column must be a valid column index (-1 if no header is shown).");
  if (IsEditing() || options_->MiscOptions().Contains(moReadOnly)) return IsEditing();
  if (node != focusedNode_ || !CanEdit(node, column)) return false;
  editColumn_ = column;
  InitIfNeeded(node);
  BeginCellEdit();
  return IsEditing();
}

bool TBaseNodeTree::EndEditNode() {
  if (!states_.Contains(stEditing) && !states_.Contains(stEditPending)) return true;
  return EndCellEdit();
}

bool TBaseNodeTree::CancelEditNode() {
  if (!states_.Contains(stEditing) && !states_.Contains(stEditPending)) return true;
  return CancelCellEdit();
}

bool TBaseNodeTree::Dragging() const {
  return states_.Contains(stOLEDragging) || states_.Contains(stOLEDragPending) || states_.Contains(stVCLDragging);
}

// ---------------------------------------------------------------------------
// Repaint requests

TRect TBaseNodeTree::InvalidateNode(PNTNode node) {
  if (!node || node == root_ || IsUpdating() || !HandleAllocated()) return TRect{};
  if (!IsShownNode(node) || !FullyVisible(node)) return TRect{};
  TRect r = GetDisplayRect(node, NoColumn, false);
  if (!r.IsEmpty()) InvalidateRect(&r, true);
  return r;
}

void TBaseNodeTree::RepaintNode(PNTNode node) {
  if (!node || node == root_ || !HandleAllocated()) return;
  if (!IsShownNode(node) || !FullyVisible(node)) return;
  TRect r = GetDisplayRect(node, NoColumn, false);
  if (r.IsEmpty()) return;
  host_->InvalidateRect(&r, true);
  host_->UpdateWindow();
}

void TBaseNodeTree::InvalidateToBottom(PNTNode node) {
  if (IsUpdating() || !HandleAllocated()) return;
  if (!node || node == root_) {
    InvalidateRect(nullptr, false);
    return;
  }
  if (!node->Has(nsInitialized) || !IsShownNode(node) || !FullyVisible(node)) return;
  TRect r = GetDisplayRect(node, NoColumn, false);
  if (ChildrenAbove(true) && node->Has(nsExpanded))
    r.Top -= static_cast<int32_t>(node->SubtreeHeight) - node->NodeHeight;
  if (r.Top < ClientHeight()) {
    r = Rect(0, std::max(r.Top, 0), ClientWidth(), ClientHeight());
    InvalidateRect(&r, false);
  }
}

void TBaseNodeTree::InvalidateColumn(TColumnIndex column) {
  if (IsUpdating() || !HandleAllocated()) return;
  TNodeTreeColumns& columns = header_->Columns();
  if (!columns.IsValidColumn(column) || !columns.Items(column)->Options().Contains(coVisible)) return;
  int32_t left = 0, right = 0;
  columns.ColumnEdges(column, left, right);
  TRect r = Rect(left, 0, right, ClientHeight());
  InvalidateRect(&r, false);
}

void TBaseNodeTree::InvalidateChildren(PNTNode node, bool recursive) {
  if (!node) node = root_;
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) {
    InvalidateNode(child);
    if (recursive) InvalidateChildren(child, true);
  }
}

void TBaseNodeTree::AutoScale() {
  if (!options_->AutoOptions().Contains(auChangeScale)) return;
  TSize extent = Canvas().TextExtent("Tg");
  if (extent.cy > static_cast<int32_t>(defaultNodeHeight_)) SetDefaultNodeHeight(static_cast<Cardinal>(extent.cy));
}

void TBaseNodeTree::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TBaseNodeTree*>(source);
  if (!other || options_->MiscOptions().Contains(moReadOnly)) {
    TCustomControl::Assign(source);
    return;
  }
  auto* from = const_cast<TBaseNodeTree*>(other);
  // The control's settings.
  alignment_ = other->alignment_;
  SetAnchors(other->Anchors());
  SetBevelEdges(other->bevelEdges_);
  SetBevelInner(other->bevelInner_);
  SetBevelKind(other->bevelKind_);
  SetBevelOuter(other->bevelOuter_);
  SetBevelWidth(other->bevelWidth_);
  SetBiDiMode(other->BiDiMode());
  SetBorderStyle(other->borderStyle_);
  SetBorderWidth(other->borderWidth_);
  SetColor(other->Color());
  Constraints().SetMinWidth(from->Constraints().MinWidth());
  Constraints().SetMinHeight(from->Constraints().MinHeight());
  Constraints().SetMaxWidth(from->Constraints().MaxWidth());
  Constraints().SetMaxHeight(from->Constraints().MaxHeight());
  SetCtl3D(other->ctl3D_);
  DragType = other->DragType;
  DragImageKind = other->DragImageKind;
  DragOperations = other->DragOperations;
  DragWidth = other->DragWidth;
  DragHeight = other->DragHeight;
  SetEnabled(other->Enabled());
  Font().Assign(from->Font());
  SetPopupMenu(other->PopupMenu());
  Hint = other->Hint;
  ShowHint = other->ShowHint;
  TabStop = other->TabStop;
  TCustomControl::SetVisible(other->Visible());
  // The tree's own.
  ChangeDelay = other->ChangeDelay;
  EditDelay = other->EditDelay;
  AutoScrollDelay = other->AutoScrollDelay;
  AutoExpandDelay = other->AutoExpandDelay;
  AnimationDuration = other->AnimationDuration;
  BackgroundOffsetX = other->BackgroundOffsetX;
  BackgroundOffsetY = other->BackgroundOffsetY;
  Colors().Assign(&other->Colors());
  CheckImageKind = other->CheckImageKind;
  SetCheckImages(other->checkImages_);
  SetDefaultNodeHeight(other->defaultNodeHeight_);
  DefaultPasteMode = other->DefaultPasteMode;
  header_->Assign(*other->header_);
  HintMode = other->HintMode;
  HintAnimation = other->HintAnimation;
  IncrementalSearchMode = other->IncrementalSearchMode;
  IncrementalSearchStart = other->IncrementalSearchStart;
  IncrementalSearchDirection = other->IncrementalSearchDirection;
  IncrementalSearchTimeout = other->IncrementalSearchTimeout;
  SetImages(other->images_);
  SetStateImages(other->stateImages_);
  SetIndent(other->indent_);
  SetMargin(other->margin_);
  SetNodeAlignment(other->nodeAlignment_);
  SetNodeDataSize(other->nodeDataSize_);
  options_->Assign(other->options_.get());
  SetRootNodeCount(other->RootNodeCount());
  ScrollBarOptions().Assign(&from->ScrollBarOptions());
  DrawSelectionMode = other->DrawSelectionMode;
  SelectionBlendFactor = other->SelectionBlendFactor;
  SelectionCurveRadius = other->SelectionCurveRadius;
  SetLineStyle(other->lineStyle_);
  EmptyListMessage = other->EmptyListMessage;
  InvalidateRect(nullptr, false);
}

// ---------------------------------------------------------------------------
// Sorting

namespace {

// Starts loading a node and its user data (at dataOffset) into the cache.
inline void fetchNode(PNTNode node, size_t dataOffset) {
  __builtin_prefetch(node);
  __builtin_prefetch(node->Data() + dataOffset);
}

// Stable merge sort of sibling pointers; before(a, b): a goes strictly before
// b. Compare handlers read the nodes' data, which lie all over memory once a
// branch has been sorted or grown: with the library's sort nearly every
// compare of a large branch waited for memory. Merging reads both runs front
// to back, so the nodes a few places ahead in each run are fetched early and
// the handler finds them in the cache.
template <class Before>
void sortNodes(TNodeArray& nodes, Before before, size_t dataOffset) {
  const size_t n = nodes.size();
  // Short runs by insertion: neighbours in sibling order lie close together.
  constexpr size_t kRun = 16;
  for (size_t lo = 0; lo < n; lo += kRun) {
    const size_t hi = std::min(n, lo + kRun);
    for (size_t i = lo + 1; i < hi; ++i) {
      PNTNode x = nodes[i];
      size_t j = i;
      for (; j > lo && before(x, nodes[j - 1]); --j) nodes[j] = nodes[j - 1];
      nodes[j] = x;
    }
  }
  if (n <= kRun) return;
  TNodeArray buffer(n);
  PNTNode* from = nodes.data();
  PNTNode* to = buffer.data();
  constexpr size_t kAhead = 8;
  for (size_t width = kRun; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(n, lo + width), hi = std::min(n, lo + 2 * width);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        if (i + kAhead < mid) fetchNode(from[i + kAhead], dataOffset);
        if (j + kAhead < hi) fetchNode(from[j + kAhead], dataOffset);
        // The right run's node goes first only when strictly before: ties
        // keep their order.
        if (before(from[j], from[i]))
          to[k++] = from[j++];
        else
          to[k++] = from[i++];
      }
      k = std::copy(from + i, from + mid, to + k) - to;
      std::copy(from + j, from + hi, to + k);
    }
    std::swap(from, to);
  }
  if (from != nodes.data()) std::copy(from, from + n, nodes.data());
}

}  // namespace

void TBaseNodeTree::Sort(PNTNode node, TColumnIndex column, TSortDirection direction, bool doInit) {
  InterruptValidation();
  if (states_.Contains(stEditPending)) {
    StopTimer(EditTimer);
    ChangeTreeState({}, {stEditPending});
  }
  if (states_.Contains(stEditing) && !EndEditNode()) return;
  if (!node) node = root_;
  if (!node->Has(nsHasChildren)) return;
  if (doInit) {
    if (node != root_ && node->ChildCount == 0) InitChildren(node);
    for (PNTNode child = node->FirstChild; child; child = child->NextSibling) InitIfNeeded(child);
  }
  if (node->ChildCount <= 1) return;
  // The children are sorted in an array and relinked only afterwards, so a
  // compare handler that raises leaves the sibling list as it was.
  TNodeArray children;
  children.reserve(node->ChildCount);
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) children.push_back(child);
  BeginOperation(okSortNode);
  try {
    // Merge sort: the later node goes first only when it compares strictly
    // before the earlier one, so ties keep their order in both directions.
    const size_t dataOffset = (internalDataOffset_ + NodeDataAlignment - 1) / NodeDataAlignment * NodeDataAlignment;
    sortNodes(
        children,
        [&](PNTNode later, PNTNode earlier) {
          if (OperationCanceled()) return false;
          int r = CompareRows(earlier, later, column);
          return direction == sdAscending ? r > 0 : r < 0;
        },
        dataOffset);
  } catch (...) {
    EndOperation(okSortNode);
    // The order stayed as it was; the cache stopped at the start is built
    // again rather than left for every lookup to walk around.
    InvalidateCache();
    if (updateCount_ == 0) ValidateCache();
    throw;
  }
  EndOperation(okSortNode);
  PNTNode previous = nullptr;
  Cardinal index = 0;
  const size_t count = children.size();
  for (size_t i = 0; i < count; ++i) {
    PNTNode child = children[i];
    if (i + 8 < count) __builtin_prefetch(children[i + 8], 1);
    child->PrevSibling = previous;
    child->Index = index++;
    if (previous)
      previous->NextSibling = child;
    else
      node->FirstChild = child;
    previous = child;
  }
  previous->NextSibling = nullptr;
  node->LastChild = previous;
  InvalidateCache();
  if (updateCount_ == 0) {
    ValidateCache();
    Invalidate();
  }
}

void TBaseNodeTree::SortTree(TColumnIndex column, TSortDirection direction, bool doInit) {
  if (root_->SubtreeCount <= 2) return;
  ++updateCount_;
  struct Level {
    TBaseNodeTree* tree;
    ~Level() { --tree->updateCount_; }
  } level{this};
  bool bracket = column >= NoColumn;
  if (bracket) BeginOperation(okSortTree);
  struct Op {
    TBaseNodeTree* tree;
    bool on;
    ~Op() {
      if (on) tree->EndOperation(okSortTree);
    }
  } op{this, bracket};
  std::function<void(PNTNode)> sortLevel = [&](PNTNode node) {
    Sort(node, column, direction, doInit);
    for (PNTNode child = node->FirstChild; child && !OperationCanceled(); child = child->NextSibling) {
      if (doInit) InitIfNeeded(child);
      if (!child->Has(nsInitialized)) continue;
      if (options_->AutoOptions().Contains(auSort) && !child->Has(nsExpanded)) continue;
      sortLevel(child);
    }
  };
  sortLevel(root_);
  InvalidateCache();
  if (updateCount_ == 1) {
    ValidateCache();
    Invalidate();
  }
}

// ---------------------------------------------------------------------------
// Ranges, scroll bars and scrolling

void TBaseNodeTree::UpdateVerticalRange() {
  if (root_->SubtreeHeight < defaultNodeHeight_) root_->SubtreeHeight = defaultNodeHeight_;
  rangeY_ = static_cast<int32_t>(std::min<int64_t>(
      static_cast<int64_t>(root_->SubtreeHeight) + bottomSpace_ - root_->NodeHeight, INT32_MAX));
}

void TBaseNodeTree::UpdateHorizontalRange() {
  if (header_->UseColumns()) {
    rangeX_ = header_->Columns().TotalWidth();
    return;
  }
  // Without columns: the widest extent of the nodes in view.
  int32_t widest = 0;
  int32_t top = 0;
  PNTNode run = GetNodeAt(0, 0, true, top);
  int32_t rootIndent = options_->PaintOptions().Contains(poShowRoot) ? static_cast<int32_t>(indent_) : 0;
  while (run && top < ClientHeight()) {
    int32_t extent = static_cast<int32_t>(GetNodeLevel(run) * indent_) + rootIndent + 2 * margin_ +
                     NodeWidth(run, NoColumn, nullptr) + NodeExtraWidth(run, NoColumn, nullptr);
    widest = std::max(widest, extent);
    top += run->NodeHeight;
    run = GetNextVisibleNoInit(run, true);
  }
  rangeX_ = widest;
}

void TBaseNodeTree::UpdateRanges() {
  UpdateVerticalRange();
  UpdateHorizontalRange();
}

int32_t TBaseNodeTree::UpdateScrollBar(TScrollBarKind bar, int32_t client, int32_t range, int32_t offset,
                                       bool doRepaint) {
  if (!ScrollBars.Contains(bar)) {
    if (host_->GetScrollInfo(bar).Visible) ScrollBarShow(bar, false);
    return offset;
  }
  if (client < range || AlwaysVisibleScrollBars) {
    TNTScrollInfo info;
    info.Min = 0;
    info.Max = range;
    info.Page = static_cast<uint32_t>(std::max(client + 1, 0));
    offset = std::clamp(offset, std::min(0, client - range), 0);
    info.Pos = -offset;
    info.DisableNoScroll = AlwaysVisibleScrollBars;
    host_->SetScrollInfo(bar, info, doRepaint);
    if (!host_->GetScrollInfo(bar).Visible) ScrollBarShow(bar, true);
    return offset;
  }
  host_->SetScrollInfo(bar, TNTScrollInfo{}, doRepaint);
  if (host_->GetScrollInfo(bar).Visible) ScrollBarShow(bar, false);
  return 0;
}

void TBaseNodeTree::UpdateVerticalScrollBar(bool doRepaint) {
  UpdateVerticalRange();
  if (states_.Contains(stUpdating) || states_.Contains(stDeferScrollBars) || !HandleAllocated()) return;
  int32_t newY = UpdateScrollBar(sbVertical, ClientHeight(), rangeY_, offsetY_, doRepaint);
  if (newY != offsetY_) {
    offsetY_ = newY;
    Invalidate();
  }
}

void TBaseNodeTree::UpdateHorizontalScrollBar(bool doRepaint) {
  UpdateHorizontalRange();
  // Right to left the position depends on the range: a new range keeps the
  // view where it stands against the right edge.
  effectiveOffsetX_ = EffectiveOffsetFor(offsetX_);
  if (states_.Contains(stUpdating) || states_.Contains(stDeferScrollBars) || !HandleAllocated()) return;
  // The bar takes the effective offset as its position; the offset follows
  // from where the bar settles.
  const int32_t position = -UpdateScrollBar(sbHorizontal, ClientWidth(), rangeX_, -effectiveOffsetX_, doRepaint);
  const int32_t newX = OffsetForEffective(position);
  effectiveOffsetX_ = EffectiveOffsetFor(newX);
  if (newX != offsetX_) {
    offsetX_ = newX;
    Invalidate();
  }
}

int32_t TBaseNodeTree::EffectiveOffsetFor(int32_t offsetX) const {
  return std::max(0, UseRightToLeftAlignment() ? rangeX_ + offsetX - ClientWidth() : -offsetX);
}

int32_t TBaseNodeTree::OffsetForEffective(int32_t effectiveOffset) const {
  const int32_t x = UseRightToLeftAlignment() ? ClientWidth() + effectiveOffset - rangeX_ : -effectiveOffset;
  return std::clamp(x, std::min(0, ClientWidth() - rangeX_), 0);
}

int32_t TBaseNodeTree::ColumnsShift() const {
  return header_->UseColumns() && UseRightToLeftAlignment() ? RightToLeftShift(false) : 0;
}

int32_t TBaseNodeTree::ClientToTreeX(int32_t x) const { return x + effectiveOffsetX_ - ColumnsShift(); }
int32_t TBaseNodeTree::TreeToClientX(int32_t x) const { return x - effectiveOffsetX_ + ColumnsShift(); }

void TBaseNodeTree::UpdateScrollBars(bool doRepaint) {
  if (!HandleAllocated() || states_.Contains(stDeferScrollBars)) return;
  UpdateVerticalScrollBar(doRepaint);
  UpdateHorizontalScrollBar(doRepaint);
}

void TBaseNodeTree::SetOffsetX(int32_t value) { SetScrollOffset({value, offsetY_}); }
void TBaseNodeTree::SetOffsetY(int32_t value) { SetScrollOffset({offsetX_, value}); }
void TBaseNodeTree::SetOffsetXY(TPoint value) { SetScrollOffset(value); }

bool TBaseNodeTree::SetScrollOffset(TPoint value, TScrollUpdateOptions options, const TRect* clipRect) {
  int32_t x = std::clamp(value.X, std::min(0, ClientWidth() - rangeX_), 0);
  int32_t y = std::clamp(value.Y, std::min(0, ClientHeight() - rangeY_), 0);
  // How far the picture moves: right to left a larger offset shows more of
  // the left, so the picture moves the other way.
  int32_t dx = UseRightToLeftAlignment() ? offsetX_ - x : x - offsetX_;
  int32_t dy = y - offsetY_;
  if (dx == 0 && dy == 0) return false;
  offsetX_ = x;
  offsetY_ = y;
  effectiveOffsetX_ = EffectiveOffsetFor(x);
  ChangeTreeState({}, {stHintShown});
  if (HandleAllocated()) {
    if ((options & suoScrollClientArea) && !states_.Contains(stSuspendScroll)) {
      int32_t fixed = header_->UseColumns() ? header_->Columns().FixedAreaWidth() : 0;
      if (dx != 0 && fixed > 0) {
        TRect r = ClientRect();
        r.Left = fixed;
        host_->ScrollContents(dx, 0, &r);
        if (dy != 0) host_->ScrollContents(0, dy, nullptr);
      } else {
        host_->ScrollContents(dx, dy, clipRect);
      }
    }
    if (options & suoUpdateNCArea) {
      bool repaint = (options & suoRepaintScrollBars) != 0;
      if (dx != 0) {
        if ((options & suoRepaintHeader) && header_->Options().Contains(hoVisible)) header_->Invalidate();
        if (!states_.Contains(stSizing) && ScrollBars.Contains(sbHorizontal)) UpdateHorizontalScrollBar(repaint);
      }
      if (dy != 0 && !states_.Contains(stSizing) && !states_.Contains(stThumbTracking)) {
        UpdateVerticalScrollBar(repaint);
        if (!header_->UseColumns() && !states_.Contains(stDrawSelecting)) UpdateHorizontalScrollBar(repaint);
      }
    }
    TPoint mouse;
    if (host_->CursorPos(mouse) && ClientRect().Contains(mouse)) {
      PNTNode hot = GetNodeAt(mouse.X, mouse.Y);
      if (hot != hotNode_) {
        PNTNode old = hotNode_;
        hotNode_ = hot;
        HotNodeChanged(old, hot);
      }
    }
    // The editor moves with its cell.
    UpdateCellEditBounds();
  }
  Scrolled(dx, dy);
  return true;
}

bool TBaseNodeTree::ScrollIntoView(PNTNode node, bool center, bool horizontally) {
  if (!node || node == root_) return false;
  std::vector<PNTNode> collapsed;
  for (PNTNode run = node->Parent; run != root_; run = run->Parent)
    if (!run->Has(nsExpanded)) collapsed.push_back(run);
  for (size_t i = collapsed.size(); i-- > 0;) ToggleNode(collapsed[i]);
  TColumnIndex column = header_->Columns().IsValidColumn(focusedColumn_) ? focusedColumn_ : NoColumn;
  TRect r = GetDisplayRect(node, column, false);
  if (r.IsEmpty()) return false;
  bool scrolled = false;
  int32_t client = ClientHeight();
  if (r.Top < 0) {
    int32_t target = center ? client / 2 : 0;
    scrolled = SetScrollOffset({offsetX_, offsetY_ - r.Top + target});
  } else if (r.Bottom > client || center) {
    int32_t target = center ? client / 2 : client;
    int32_t extra = 0;
    if (!header_->UseColumns() && rangeX_ > ClientWidth() && !host_->GetScrollInfo(sbHorizontal).Visible)
      extra = host_->ScrollBarSize(sbHorizontal);
    scrolled = SetScrollOffset({offsetX_, offsetY_ - (r.Bottom - target) - extra});
  }
  if (horizontally) scrolled = ScrollIntoView(focusedColumn_, center) || scrolled;
  return scrolled;
}

bool TBaseNodeTree::ScrollIntoView(TColumnIndex column, bool center) {
  TNodeTreeColumns& columns = header_->Columns();
  if (!header_->UseColumns() || !columns.IsValidColumn(column)) return false;
  // A fixed column does not scroll: it is always in view.
  if (columns.Items(column)->IsFixed()) return true;
  // Where the column is shown, and the scroll bar position that brings it
  // in; the offset follows from that position in either reading order.
  int32_t left = 0, right = 0;
  columns.ColumnEdges(column, left, right);
  const int32_t fixed = columns.FixedAreaWidth();
  int32_t position = effectiveOffsetX_;
  if (center)
    position = effectiveOffsetX_ + left + (right - left) / 2 - fixed / 2 - ClientWidth() / 2;
  else if (right > ClientWidth())
    position = effectiveOffsetX_ + (right - ClientWidth());
  else if (left < fixed)
    position = effectiveOffsetX_ - (fixed - left);
  if (position == effectiveOffsetX_) return true;
  const int32_t newOffset = OffsetForEffective(std::max(0, position));
  if (newOffset == offsetX_) return true;
  return SetScrollOffset({newOffset, offsetY_});
}

void TBaseNodeTree::Animate(Cardinal steps, Cardinal duration, const TAnimateCallback& callback, void* data) {
  if (states_.Contains(stAnimating) || duration == 0) return;
  ChangeTreeState({stAnimating}, {});
  struct Done {
    TBaseNodeTree* tree;
    ~Done() { tree->ChangeTreeState({}, {stAnimating, stCancelAnimation}); }
  } done{this};
  using Clock = std::chrono::steady_clock;
  Cardinal stepSize = static_cast<Cardinal>(std::max(1.0, static_cast<double>(steps) / duration) + 0.5);
  if (stepSize == 0) stepSize = 1;
  Cardinal remaining = steps / stepSize;
  Cardinal step = 0;
  auto terminating = [] { return Application && Application->Terminated(); };
  while (remaining > 0 && duration > 0 && !terminating() && !states_.Contains(stCancelAnimation)) {
    auto t0 = Clock::now();
    if (!callback(data, step, stepSize)) break;
    Cardinal slice = duration / remaining;
    while (std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count() < slice)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto elapsed = static_cast<Cardinal>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
    if (elapsed > duration) {
      duration = 0;
      remaining = 0;
    } else {
      duration -= elapsed;
      --remaining;
    }
    while (remaining > 0 && duration / remaining == 0) {
      ++stepSize;
      remaining = duration / stepSize;
    }
    step = steps - remaining;
  }
  if (!terminating()) callback(data, 0, 0);
}

bool TBaseNodeTree::HasImage(PNTNode node, TNTImageKind kind, TColumnIndex column) {
  InitIfNeeded(node);
  bool ghosted = false;
  int32_t index = -1;
  CellImageIndex(node, kind, column, ghosted, index);
  return index >= 0;
}

bool TBaseNodeTree::HasPopupMenu(PNTNode node, TColumnIndex column, TPoint pos) {
  return PopupMenu() != nullptr || PopupMenuQuery(node, column, pos) != nullptr;
}

int32_t TBaseNodeTree::RightToLeftShift(bool) const {
  // The vertical bar stands at the right edge in both reading orders and the
  // header strip above the client area starts where the client area starts,
  // so no room is made for a bar on the left: columns narrower than the
  // client area end at its right edge, wider ones scroll from its left edge.
  return std::max(0, ClientWidth() - rangeX_);
}

void TBaseNodeTree::GetClipboardFormatsList(std::vector<std::string>& formats) { ClipboardFormatsQuery(formats); }

}  // namespace px
