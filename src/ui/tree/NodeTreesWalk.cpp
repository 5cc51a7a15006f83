// Node navigation and geometry: the walks over all nodes and over the
// displayed nodes (normal order and children shown above their parents),
// node levels and data, sorted snapshots, the node at a point, hit tests and
// display rectangles.
#include <algorithm>

#include "ui/tree/NodeTrees.h"

namespace px {

namespace {

constexpr const char* kRootAssert = "Node must not be the hidden root node.";

}  // namespace

// ---------------------------------------------------------------------------
// Tree order over all nodes

PNTNode TBaseNodeTree::FirstRaw(PNTNode node, bool init, bool childrenAbove) {
  if (!node) node = root_;
  if (init && node != root_) {
    InitIfNeeded(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  PNTNode result = node->FirstChild;
  if (!result) return nullptr;
  if (init) InitIfNeeded(result);
  if (childrenAbove) {
    while (true) {
      if (init && result->Has(nsHasChildren) && result->ChildCount == 0) InitChildren(result);
      if (!result->FirstChild) break;
      result = result->FirstChild;
      if (init) InitIfNeeded(result);
    }
  }
  return result;
}

PNTNode TBaseNodeTree::NextRaw(PNTNode node, bool init, bool childrenAbove) {
  PNTNode result;
  if (childrenAbove) {
    if (node->NextSibling) {
      result = node->NextSibling;
      if (init) InitIfNeeded(result);
      while (true) {
        if (init && result->Has(nsHasChildren) && result->ChildCount == 0) InitChildren(result);
        if (!result->FirstChild) break;
        result = result->FirstChild;
        if (init) InitIfNeeded(result);
      }
      return result;
    }
    return node->Parent == root_ ? nullptr : node->Parent;
  }
  if (init) {
    InitIfNeeded(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  if (node->FirstChild) {
    result = node->FirstChild;
  } else {
    result = nullptr;
    for (PNTNode run = node; run != root_; run = run->Parent) {
      if (run->NextSibling) {
        result = run->NextSibling;
        break;
      }
    }
  }
  if (result && init) InitIfNeeded(result);
  return result;
}

PNTNode TBaseNodeTree::PreviousRaw(PNTNode node, bool init, bool childrenAbove) {
  PNTNode result = nullptr;
  if (childrenAbove) {
    if (init) {
      InitIfNeeded(node);
      if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
    }
    if (node->LastChild) {
      result = node->LastChild;
    } else {
      for (PNTNode run = node; run != root_; run = run->Parent) {
        if (run->PrevSibling) {
          result = run->PrevSibling;
          break;
        }
      }
    }
    if (result && init) InitIfNeeded(result);
    return result;
  }
  if (node->PrevSibling) {
    result = node->PrevSibling;
    if (init) InitIfNeeded(result);
    while (true) {
      if (init && result->Has(nsHasChildren) && result->ChildCount == 0) InitChildren(result);
      if (!result->LastChild) break;
      result = result->LastChild;
      if (init) InitIfNeeded(result);
    }
    return result;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

PNTNode TBaseNodeTree::LastRaw(PNTNode node, bool init, bool childrenAbove) {
  if (!node) node = root_;
  if (init && node != root_) {
    InitIfNeeded(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  PNTNode result = node->LastChild;
  if (!result) return nullptr;
  if (init) InitIfNeeded(result);
  if (!childrenAbove) {
    while (true) {
      if (init && result->Has(nsHasChildren) && result->ChildCount == 0) InitChildren(result);
      if (!result->LastChild) break;
      result = result->LastChild;
      if (init) InitIfNeeded(result);
    }
  }
  return result;
}

PNTNode TBaseNodeTree::GetFirst(bool considerChildrenAbove) {
  return FirstRaw(nullptr, true, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetFirstNoInit(bool considerChildrenAbove) {
  return FirstRaw(nullptr, false, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetNext(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return NextRaw(node, true, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetNextNoInit(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return NextRaw(node, false, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetPrevious(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return PreviousRaw(node, true, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetPreviousNoInit(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return PreviousRaw(node, false, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetLast(PNTNode node, bool considerChildrenAbove) {
  return LastRaw(node, true, ChildrenAbove(considerChildrenAbove));
}
PNTNode TBaseNodeTree::GetLastNoInit(PNTNode node, bool considerChildrenAbove) {
  return LastRaw(node, false, ChildrenAbove(considerChildrenAbove));
}

PNTNode TBaseNodeTree::GetFirstChild(PNTNode node) {
  if (!node) node = root_;
  if (node != root_) {
    InitIfNeeded(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  PNTNode result = node->FirstChild;
  InitIfNeeded(result);
  return result;
}
PNTNode TBaseNodeTree::GetFirstChildNoInit(PNTNode node) const { return (node ? node : root_)->FirstChild; }
PNTNode TBaseNodeTree::GetLastChild(PNTNode node) {
  if (!node) node = root_;
  if (node != root_) {
    InitIfNeeded(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  PNTNode result = node->LastChild;
  InitIfNeeded(result);
  return result;
}
PNTNode TBaseNodeTree::GetLastChildNoInit(PNTNode node) const { return (node ? node : root_)->LastChild; }

PNTNode TBaseNodeTree::GetNextSibling(PNTNode node) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node->NextSibling;
  InitIfNeeded(result);
  return result;
}
PNTNode TBaseNodeTree::GetNextSiblingNoInit(PNTNode node) const {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  return node->NextSibling;
}
PNTNode TBaseNodeTree::GetPreviousSibling(PNTNode node) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node->PrevSibling;
  InitIfNeeded(result);
  return result;
}
PNTNode TBaseNodeTree::GetPreviousSiblingNoInit(PNTNode node) const {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  return node->PrevSibling;
}

// ---------------------------------------------------------------------------
// Display order over the displayed nodes

namespace {

struct DisplayWalk {
  TBaseNodeTree* tree;
  bool init;

  void prepareChildren(PNTNode node) const {
    if (init && node != tree->RootNode() && node->Has(nsHasChildren) && node->ChildCount == 0)
      tree->InitChildren(node);
  }
  bool visible(PNTNode node) const {
    if (init && node != tree->RootNode() && !node->Has(nsInitialized)) tree->InitNode(node);
    return node->Has(nsVisible);
  }
  PNTNode firstChild(PNTNode node) const {
    prepareChildren(node);
    for (PNTNode c = node->FirstChild; c; c = c->NextSibling)
      if (visible(c)) return c;
    return nullptr;
  }
  PNTNode lastChild(PNTNode node) const {
    prepareChildren(node);
    for (PNTNode c = node->LastChild; c; c = c->PrevSibling)
      if (visible(c)) return c;
    return nullptr;
  }
  PNTNode nextSibling(PNTNode node) const {
    for (PNTNode s = node->NextSibling; s; s = s->NextSibling)
      if (visible(s)) return s;
    return nullptr;
  }
  PNTNode previousSibling(PNTNode node) const {
    for (PNTNode s = node->PrevSibling; s; s = s->PrevSibling)
      if (visible(s)) return s;
    return nullptr;
  }
  // Deepest first (last) displayed descendant of a displayed node.
  PNTNode descendFirst(PNTNode node) const {
    while (node->Has(nsExpanded)) {
      PNTNode c = firstChild(node);
      if (!c) break;
      node = c;
    }
    return node;
  }
  PNTNode descendLast(PNTNode node) const {
    while (node->Has(nsExpanded)) {
      PNTNode c = lastChild(node);
      if (!c) break;
      node = c;
    }
    return node;
  }
  // The node displayed after a displayed node.
  PNTNode next(PNTNode node, bool childrenAbove) const {
    PNTNode root = tree->RootNode();
    if (childrenAbove) {
      if (PNTNode s = nextSibling(node)) return descendFirst(s);
      return node->Parent == root ? nullptr : node->Parent;
    }
    if (node->Has(nsExpanded))
      if (PNTNode c = firstChild(node)) return c;
    for (PNTNode run = node; run != root; run = run->Parent)
      if (PNTNode s = nextSibling(run)) return s;
    return nullptr;
  }
  PNTNode previous(PNTNode node, bool childrenAbove) const {
    PNTNode root = tree->RootNode();
    if (childrenAbove) {
      if (node->Has(nsExpanded))
        if (PNTNode c = lastChild(node)) return c;
      for (PNTNode run = node; run != root; run = run->Parent)
        if (PNTNode s = previousSibling(run)) return s;
      return nullptr;
    }
    if (PNTNode s = previousSibling(node)) return descendLast(s);
    return node->Parent == root ? nullptr : node->Parent;
  }
  // First / last displayed node of the subtree below node.
  PNTNode first(PNTNode node, bool childrenAbove) const {
    PNTNode c = firstChild(node);
    if (!c) return nullptr;
    return childrenAbove ? descendFirst(c) : c;
  }
  PNTNode last(PNTNode node, bool childrenAbove) const {
    PNTNode c = lastChild(node);
    if (!c) return nullptr;
    return childrenAbove ? c : descendLast(c);
  }
};

}  // namespace

PNTNode TBaseNodeTree::NextVisibleRaw(PNTNode node, bool init, bool childrenAbove) {
  DisplayWalk walk{this, init};
  PNTNode result;
  if (!FullyVisible(node)) {
    // Continue behind the hidden branch that holds node: from its nearest
    // displayed ancestor.
    PNTNode anchor = node->Parent;
    PNTNode child = node;
    while (anchor != root_ && !FullyVisible(anchor)) {
      child = anchor;
      anchor = anchor->Parent;
    }
    if (childrenAbove) {
      if (anchor->Has(nsExpanded) && child->Parent == anchor) {
        PNTNode s = walk.nextSibling(child);
        result = s ? walk.descendFirst(s) : (anchor == root_ ? nullptr : anchor);
      } else {
        result = anchor == root_ ? nullptr : anchor;
      }
    } else {
      PNTNode from = anchor->Has(nsExpanded) ? child : anchor;
      result = nullptr;
      if (from != root_) {
        for (PNTNode run = from; run != root_; run = run->Parent)
          if (PNTNode s = walk.nextSibling(run)) {
            result = s;
            break;
          }
      }
    }
  } else {
    result = walk.next(node, childrenAbove);
  }
  while (result && IsHiddenByFilter(result)) result = walk.next(result, childrenAbove);
  return result;
}

PNTNode TBaseNodeTree::PreviousVisibleRaw(PNTNode node, bool init, bool childrenAbove) {
  DisplayWalk walk{this, init};
  PNTNode result;
  if (!FullyVisible(node)) {
    PNTNode anchor = node->Parent;
    PNTNode child = node;
    while (anchor != root_ && !FullyVisible(anchor)) {
      child = anchor;
      anchor = anchor->Parent;
    }
    if (childrenAbove) {
      PNTNode from = anchor->Has(nsExpanded) ? child : anchor;
      result = nullptr;
      for (PNTNode run = from; run != root_; run = run->Parent)
        if (PNTNode s = walk.previousSibling(run)) {
          result = s;
          break;
        }
    } else if (anchor->Has(nsExpanded) && child->Parent == anchor) {
      PNTNode s = walk.previousSibling(child);
      result = s ? walk.descendLast(s) : (anchor == root_ ? nullptr : anchor);
    } else {
      result = anchor == root_ ? nullptr : anchor;
    }
  } else {
    result = walk.previous(node, childrenAbove);
  }
  while (result && IsHiddenByFilter(result)) result = walk.previous(result, childrenAbove);
  return result;
}

namespace {

// The first (or last) displayed node below node, skipping nodes hidden by
// the filter unless includeFiltered.
PNTNode visibleEdge(TBaseNodeTree& tree, PNTNode node, bool childrenAbove, bool includeFiltered, bool init,
                    bool last) {
  DisplayWalk walk{&tree, init};
  if (!node) node = tree.RootNode();
  PNTNode result = last ? walk.last(node, childrenAbove) : walk.first(node, childrenAbove);
  while (result && !includeFiltered && tree.IsHiddenByFilter(result)) {
    result = last ? walk.previous(result, childrenAbove) : walk.next(result, childrenAbove);
    if (result && node != tree.RootNode() && !tree.HasAsParent(result, node)) return nullptr;
  }
  return result;
}

}  // namespace

PNTNode TBaseNodeTree::GetFirstVisible(PNTNode node, bool considerChildrenAbove, bool includeFiltered) {
  return visibleEdge(*this, node, ChildrenAbove(considerChildrenAbove), includeFiltered, true, false);
}

PNTNode TBaseNodeTree::GetFirstVisibleNoInit(PNTNode node, bool considerChildrenAbove, bool includeFiltered) {
  return visibleEdge(*this, node, ChildrenAbove(considerChildrenAbove), includeFiltered, false, false);
}

PNTNode TBaseNodeTree::GetNextVisible(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return NextVisibleRaw(node, true, ChildrenAbove(considerChildrenAbove));
}

PNTNode TBaseNodeTree::GetNextVisibleNoInit(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return NextVisibleRaw(node, false, ChildrenAbove(considerChildrenAbove));
}

PNTNode TBaseNodeTree::GetPreviousVisible(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return PreviousVisibleRaw(node, true, ChildrenAbove(considerChildrenAbove));
}

PNTNode TBaseNodeTree::GetPreviousVisibleNoInit(PNTNode node, bool considerChildrenAbove) {
  if (!node) return nullptr;
  Assert(node != root_, kRootAssert);
  return PreviousVisibleRaw(node, false, ChildrenAbove(considerChildrenAbove));
}

PNTNode TBaseNodeTree::GetLastVisible(PNTNode node, bool considerChildrenAbove, bool includeFiltered) {
  return visibleEdge(*this, node, ChildrenAbove(considerChildrenAbove), includeFiltered, true, true);
}

PNTNode TBaseNodeTree::GetLastVisibleNoInit(PNTNode node, bool considerChildrenAbove, bool includeFiltered) {
  return visibleEdge(*this, node, ChildrenAbove(considerChildrenAbove), includeFiltered, false, true);
}

PNTNode TBaseNodeTree::GetFirstVisibleChild(PNTNode node, bool includeFiltered) {
  PNTNode result = GetFirstChild(node);
  if (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))))
    result = GetNextVisibleSibling(result, includeFiltered);
  return result;
}

PNTNode TBaseNodeTree::GetFirstVisibleChildNoInit(PNTNode node, bool includeFiltered) {
  PNTNode result = GetFirstChildNoInit(node);
  if (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))))
    result = GetNextVisibleSiblingNoInit(result, includeFiltered);
  return result;
}

PNTNode TBaseNodeTree::GetLastVisibleChild(PNTNode node, bool includeFiltered) {
  PNTNode result = GetLastChild(node);
  if (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))))
    result = GetPreviousVisibleSibling(result, includeFiltered);
  return result;
}

PNTNode TBaseNodeTree::GetNextVisibleSibling(PNTNode node, bool includeFiltered) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node;
  do {
    result = GetNextSibling(result);
  } while (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))));
  return result;
}

PNTNode TBaseNodeTree::GetNextVisibleSiblingNoInit(PNTNode node, bool includeFiltered) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node;
  do {
    result = result->NextSibling;
  } while (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))));
  return result;
}

PNTNode TBaseNodeTree::GetPreviousVisibleSibling(PNTNode node, bool includeFiltered) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node;
  do {
    result = GetPreviousSibling(result);
  } while (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))));
  return result;
}

PNTNode TBaseNodeTree::GetPreviousVisibleSiblingNoInit(PNTNode node, bool includeFiltered) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node;
  do {
    result = result->PrevSibling;
  } while (result && (!result->Has(nsVisible) || (!includeFiltered && IsHiddenByFilter(result))));
  return result;
}

PNTNode TBaseNodeTree::GetVisibleParent(PNTNode node, bool includeFiltered) {
  Assert(node != nullptr && node != root_, "Invalid parameter.");
  PNTNode result = node->Parent;
  while (result != root_ && (!FullyVisible(result) || (!includeFiltered && IsHiddenByFilter(result))))
    result = result->Parent;
  return result;
}

bool TBaseNodeTree::HasVisibleNextSibling(PNTNode node) {
  return node && node != root_ && GetNextVisibleSiblingNoInit(node) != nullptr;
}

bool TBaseNodeTree::HasVisiblePreviousSibling(PNTNode node) {
  return node && node != root_ && GetPreviousVisibleSiblingNoInit(node) != nullptr;
}

bool TBaseNodeTree::IsFirstVisibleChild(PNTNode parent, PNTNode node) {
  return node && GetFirstVisibleChildNoInit(parent) == node;
}

bool TBaseNodeTree::IsLastVisibleChild(PNTNode parent, PNTNode node) {
  if (!node) return false;
  PNTNode last = GetLastChildNoInit(parent);
  if (last && (!last->Has(nsVisible) || IsHiddenByFilter(last))) last = GetPreviousVisibleSiblingNoInit(last);
  return last == node;
}

// ---------------------------------------------------------------------------
// Filtered walks without initialisation

namespace {

template <class Pred>
PNTNode walkUntil(TBaseNodeTree& tree, PNTNode node, bool ca, Pred pred) {
  while (node && !pred(node)) node = tree.GetNextNoInit(node, ca);
  return node;
}

}  // namespace

PNTNode TBaseNodeTree::GetFirstChecked(TCheckState state, bool considerChildrenAbove) {
  return walkUntil(*this, GetFirstNoInit(considerChildrenAbove), considerChildrenAbove,
                   [state](PNTNode n) { return n->CheckState == state; });
}
PNTNode TBaseNodeTree::GetNextChecked(PNTNode node, TCheckState state, bool considerChildrenAbove) {
  if (!node) return GetFirstChecked(state, considerChildrenAbove);
  return walkUntil(*this, GetNextNoInit(node, considerChildrenAbove), considerChildrenAbove,
                   [state](PNTNode n) { return n->CheckState == state; });
}
PNTNode TBaseNodeTree::GetFirstCutCopy(bool considerChildrenAbove) {
  if (!states_.Contains(stCutPending) && !states_.Contains(stCopyPending)) return nullptr;
  return walkUntil(*this, GetFirstNoInit(considerChildrenAbove), considerChildrenAbove,
                   [](PNTNode n) { return n->Has(nsCutCopyMarked); });
}
PNTNode TBaseNodeTree::GetNextCutCopy(PNTNode node, bool considerChildrenAbove) {
  if (!states_.Contains(stCutPending) && !states_.Contains(stCopyPending)) return nullptr;
  if (!node) return GetFirstCutCopy(considerChildrenAbove);
  return walkUntil(*this, GetNextNoInit(node, considerChildrenAbove), considerChildrenAbove,
                   [](PNTNode n) { return n->Has(nsCutCopyMarked); });
}
PNTNode TBaseNodeTree::GetFirstInitialized(bool considerChildrenAbove) {
  return walkUntil(*this, GetFirstNoInit(considerChildrenAbove), considerChildrenAbove,
                   [](PNTNode n) { return n->Has(nsInitialized); });
}
PNTNode TBaseNodeTree::GetNextInitialized(PNTNode node, bool considerChildrenAbove) {
  if (!node) return GetFirstInitialized(considerChildrenAbove);
  return walkUntil(*this, GetNextNoInit(node, considerChildrenAbove), considerChildrenAbove,
                   [](PNTNode n) { return n->Has(nsInitialized); });
}
PNTNode TBaseNodeTree::GetFirstSelected(bool considerChildrenAbove) {
  if (selectionCount_ == 0) return nullptr;
  return walkUntil(*this, GetFirstNoInit(considerChildrenAbove), considerChildrenAbove,
                   [](PNTNode n) { return n->Has(nsSelected); });
}
PNTNode TBaseNodeTree::GetNextSelected(PNTNode node, bool considerChildrenAbove) {
  if (selectionCount_ == 0) return nullptr;
  if (!node) return GetFirstSelected(considerChildrenAbove);
  return walkUntil(*this, GetNextNoInit(node, considerChildrenAbove), considerChildrenAbove,
                   [](PNTNode n) { return n->Has(nsSelected); });
}

// ---------------------------------------------------------------------------
// Other queries

Cardinal TBaseNodeTree::GetNodeLevel(PNTNode node) const {
  Cardinal level = 0;
  if (!node || node == root_) return 0;
  for (PNTNode run = node->Parent; run && run != root_; run = run->Parent) ++level;
  return level;
}

bool TBaseNodeTree::HasAsParent(PNTNode node, PNTNode potentialParent) const {
  if (!node || !potentialParent || node == potentialParent || node == root_) return false;
  if (potentialParent == root_) return true;
  for (PNTNode run = node->Parent; run && run != root_; run = run->Parent)
    if (run == potentialParent) return true;
  return false;
}

PNTNode TBaseNodeTree::NodeParent(PNTNode node) const {
  if (!node || node == root_ || !node->Parent || node->Parent == root_) return nullptr;
  return node->Parent;
}

int TBaseNodeTree::CompareNodePositions(PNTNode node1, PNTNode node2, bool considerChildrenAbove) {
  Assert(node1 != nullptr && node2 != nullptr, "Nodes must never be nil.");
  if (node1 == node2) return 0;
  bool ca = ChildrenAbove(considerChildrenAbove);
  if (HasAsParent(node1, node2)) return ca ? -1 : 1;
  if (HasAsParent(node2, node1)) return ca ? 1 : -1;
  Cardinal level1 = GetNodeLevel(node1);
  Cardinal level2 = GetNodeLevel(node2);
  while (level1 > level2) {
    node1 = node1->Parent;
    --level1;
  }
  while (level2 > level1) {
    node2 = node2->Parent;
    --level2;
  }
  while (node1->Parent != node2->Parent) {
    node1 = node1->Parent;
    node2 = node2->Parent;
  }
  if (node1->Index == node2->Index) return 0;
  return node1->Index < node2->Index ? -1 : 1;
}

namespace {

TNodeArray collectInOrder(TBaseNodeTree& tree, bool resolve, TNTNodeStates mark) {
  TNodeArray result;
  PNTNode root = tree.RootNode();
  PNTNode run = tree.GetFirstNoInit();
  while (run) {
    if (run->Has(mark)) {
      result.push_back(run);
      if (resolve) {
        // Skip the descendants of an included node.
        PNTNode next = nullptr;
        for (PNTNode up = run; up != root; up = up->Parent)
          if (up->NextSibling) {
            next = up->NextSibling;
            break;
          }
        run = next;
        continue;
      }
    }
    run = tree.GetNextNoInit(run);
  }
  return result;
}

}  // namespace

TNodeArray TBaseNodeTree::GetSortedSelection(bool resolve) {
  if (selectionCount_ == 0) return {};
  return collectInOrder(*this, resolve, nsSelected);
}

TNodeArray TBaseNodeTree::GetSortedCutCopySet(bool resolve) { return collectInOrder(*this, resolve, nsCutCopyMarked); }

// ---------------------------------------------------------------------------
// Geometry

// While the cache is built in slices, a lookup past the part built so far
// would walk on from its last entry, on every call: a scroll far down right
// after a large change walked hundreds of thousands of nodes per frame. The
// lookup builds the cache on up to its target instead (node, or position when
// node is null), the same walk, kept for the lookups after it.
void TBaseNodeTree::ExtendPositionCache(PNTNode node, Cardinal position) {
  if (!states_.Contains(stValidating) || states_.Contains(stStopValidation)) return;
  while (cacheValidCount_ > 0) {
    const TCacheEntry& last = positionCache_[cacheValidCount_ - 1];
    if (node ? CompareNodePositions(last.Node, node, true) > 0 : last.AbsoluteTop > position) return;
    const Cardinal before = cacheValidCount_;
    if (BuildPositionCacheSlice(8 * CacheThreshold)) {
      // Built to the end: finish as the timer's last slice would, except
      // where finishing updates the scroll bars (variable heights), which is
      // left to the timer rather than done from inside a lookup.
      if (!options_->MiscOptions().Contains(moVariableNodeHeight)) ContinueValidation();
      return;
    }
    if (cacheValidCount_ <= before) return;
  }
}

Cardinal TBaseNodeTree::GetNodeTop(PNTNode node) {
  Cardinal position = 0;
  PNTNode run = FindInPositionCache(node, position);
  if (states_.Contains(stValidating)) {
    ExtendPositionCache(node, 0);
    run = FindInPositionCache(node, position);
  }
  if (!run) {
    run = GetFirstVisibleNoInit(nullptr, true);
    position = 0;
  }
  while (run && run != node) {
    position += run->NodeHeight;
    run = GetNextVisibleNoInit(run, true);
  }
  return position;
}

PNTNode TBaseNodeTree::GetNodeAt(int32_t x, int32_t y) {
  int32_t dummy = 0;
  return GetNodeAt(x, y, true, dummy);
}

PNTNode TBaseNodeTree::GetNodeAt(int32_t x, int32_t y, bool relative, int32_t& nodeTop) {
  (void)x;
  if (y < 0) y = 0;
  int64_t absY = relative ? static_cast<int64_t>(y) - offsetY_ : y;
  if (absY < 0) absY = 0;
  Cardinal position = 0;
  const Cardinal target = static_cast<Cardinal>(std::min<int64_t>(absY, UINT32_MAX));
  PNTNode run = FindInPositionCache(target, position);
  if (states_.Contains(stValidating)) {
    ExtendPositionCache(nullptr, target);
    run = FindInPositionCache(target, position);
  }
  if (!run) {
    run = GetFirstVisibleNoInit(nullptr, true);
    position = 0;
  }
  while (run) {
    if (absY < static_cast<int64_t>(position) + run->NodeHeight) break;
    position += run->NodeHeight;
    run = GetNextVisibleNoInit(run, true);
  }
  nodeTop = run ? static_cast<int32_t>(relative ? static_cast<int64_t>(position) + offsetY_ : position) : 0;
  return run;
}

void TBaseNodeTree::GetHitTestInfoAt(int32_t x, int32_t y, bool relative, THitInfo& hitInfo) {
  hitInfo = THitInfo{};
  if (x < 0) hitInfo.HitPositions.Include(hiToLeft);
  if (x > std::max(ClientWidth(), rangeX_)) hitInfo.HitPositions.Include(hiToRight);
  if (y < 0) hitInfo.HitPositions.Include(hiAbove);
  if (y > std::max(ClientHeight(), rangeY_)) hitInfo.HitPositions.Include(hiBelow);
  if (relative) {
    // Into tree coordinates, as the rows are painted: the fixed columns do
    // not scroll, and right to left both take the shift against the right
    // edge.
    x = x >= header_->Columns().FixedAreaWidth() ? ClientToTreeX(x) : x - ColumnsShift();
    y -= offsetY_;
  }
  if (!hitInfo.HitPositions.Empty()) return;
  int32_t nodeTop = 0;
  PNTNode node = GetNodeAt(x, y, false, nodeTop);
  if (!node) {
    hitInfo.HitPositions.Include(hiNowhere);
    return;
  }
  InitIfNeeded(node);
  hitInfo.HitNode = node;
  TColumnIndex column = NoColumn;
  if (header_->UseColumns()) {
    int32_t left = 0, right = 0;
    column = header_->Columns().GetColumnAndBounds(x, left, right);
    if (column == NoColumn) {
      hitInfo.HitNode = nullptr;
      hitInfo.HitPositions.Include(hiNowhere);
      return;
    }
  }
  hitInfo.HitColumn = column;
  hitInfo.HitPositions.Include(hiOnItem);
  if (options_->MiscOptions().Contains(moNodeHeightResize)) {
    if (y <= nodeTop + 1) hitInfo.HitPositions.Include(hiUpperSplitter);
    if (y >= nodeTop + node->NodeHeight - 3) hitInfo.HitPositions.Include(hiLowerSplitter);
  }
  // Where inside the cell: relative to its left edge, mirrored for
  // right-to-left reading.
  int32_t cellLeft = 0, cellRight = std::max(ClientWidth(), rangeX_);
  TAlignment alignment = alignment_;
  bool rtl = UseRightToLeftAlignment();
  if (header_->UseColumns()) {
    TNodeTreeColumns& columns = header_->Columns();
    // An empty cell that the text of a cell to its left runs into belongs
    // to that cell, as painted.
    if (options_->AutoOptions().Contains(auSpanColumns) && !rtl) {
      for (TColumnIndex run = column; columns.IsValidColumn(run) &&
                                      columns.Items(run)->BiDiMode() == bdLeftToRight && CanSpanColumn(node, run);) {
        const TColumnIndex previous = columns.PreviousShownColumn(run);
        if (!columns.IsValidColumn(previous) || columns.Items(previous)->BiDiMode() != bdLeftToRight) break;
        run = previous;
        if (!CanSpanColumn(node, run)) {
          column = run;
          break;
        }
      }
      hitInfo.HitColumn = column;
    }
    columns.GetColumnBounds(column, cellLeft, cellRight);
    TNodeTreeColumn* c = columns.Items(column);
    alignment = c->Alignment();
    rtl = c->BiDiMode() != bdLeftToRight;
    SpanCell(node, column, cellRight, rtl);
  }
  if (rtl)
    LocateHitInNodeRTL(hitInfo, x - cellLeft, cellRight - cellLeft, alignment);
  else
    LocateHitInNodeLTR(hitInfo, x - cellLeft, cellRight - cellLeft, alignment);
}

TRect TBaseNodeTree::GetDisplayRect(PNTNode node, TColumnIndex column, bool textOnly, bool unclipped,
                                    bool applyCellContentMargin) {
  Assert(node != nullptr, "Node must not be nil.");
  Assert(node != root_, kRootAssert);
  InitIfNeeded(node);
  bool mainColumn = column == NoColumn || column == header_->MainColumn();
  if (!IsShownNode(node) || !FullyVisible(node)) return TRect{};
  int32_t indent = 0;
  if (!options_->PaintOptions().Contains(poFixedIndent) && mainColumn)
    indent = static_cast<int32_t>(GetNodeLevel(node) * indent_);
  int32_t top = static_cast<int32_t>(GetNodeTop(node));
  TRect result;
  TNodeTreeColumns& columns = header_->Columns();
  if (column == NoColumn || !columns.IsValidColumn(column)) {
    result = Rect(0, top, std::max(ClientWidth(), rangeX_), top + node->NodeHeight);
    result.Offset(-effectiveOffsetX_, offsetY_);
  } else {
    // The cell where it is shown: scrolled unless fixed, and right to left
    // shifted against the right edge.
    int32_t left = 0, right = 0;
    columns.ColumnEdges(column, left, right);
    result = Rect(left, top, right - 1, top + node->NodeHeight);
    result.Offset(0, offsetY_);
  }
  if (!textOnly) return result;
  if (applyCellContentMargin) {
    TPoint inset;
    result.Left += CellContentInset(node, column, inset, Canvas(), 1).X;
    result.Right -= CellContentInset(node, column, inset, Canvas(), 2).X;
  }

  int32_t shift = margin_ + indent;
  if (mainColumn) {
    if (options_->PaintOptions().Contains(poShowRoot)) shift += static_cast<int32_t>(indent_);
    if (options_->MiscOptions().Contains(moCheckSupport) && node->CheckType != ctNone)
      shift += CheckImageList()->Width() + 2;
    if (stateImages_ && HasImage(node, ikState, column)) shift += stateImages_->Width() + 2;
    if (images_ && HasImage(node, ikNormal, column)) shift += images_->Width() + 2;
  }
  bool rtl = UseRightToLeftAlignment();
  if (rtl)
    result.Right -= shift;
  else
    result.Left += shift;
  int32_t textWidth = NodeWidth(node, column, nullptr);
  TAlignment align = columns.IsValidColumn(column) ? columns.Items(column)->Alignment() : alignment_;
  int32_t cellWidth = result.Width();
  if (textWidth > cellWidth) {
    if (unclipped) {
      // A right-aligned text runs out of its cell on the left, as it is drawn.
      if (rtl || align == taRightJustify)
        result.Left = result.Right - textWidth;
      else
        result.Right = result.Left + textWidth - 1;
    }
    return result;
  }
  switch (align) {
    case taRightJustify:
      result.Left = result.Right - textWidth;
      break;
    case taCenter:
      result.Left += (cellWidth - textWidth) / 2;
      result.Right = result.Left + textWidth;
      break;
    default:
      result.Right = result.Left + textWidth - (unclipped ? 1 : 0);
      break;
  }
  return result;
}

PNTNode TBaseNodeTree::TopNode() {
  int32_t top = 0;
  return GetNodeAt(0, 0, true, top);
}

PNTNode TBaseNodeTree::BottomNode() {
  int32_t top = 0;
  return GetNodeAt(0, ClientHeight() - 1, true, top);
}

void TBaseNodeTree::SetTopNode(PNTNode node) {
  if (!node || node == root_) return;
  for (PNTNode run = node->Parent; run != root_; run = run->Parent)
    if (!run->Has(nsExpanded)) ToggleNode(run);
  TRect r = GetDisplayRect(node, header_->MainColumn(), true);
  SetOffsetY(offsetY_ - r.Top);
}

void TBaseNodeTree::SetBottomNode(PNTNode node) {
  if (!node || node == root_) return;
  for (PNTNode run = node->Parent; run != root_; run = run->Parent)
    if (!run->Has(nsExpanded)) ToggleNode(run);
  TRect r = GetDisplayRect(node, header_->MainColumn(), true);
  SetOffsetY(ClientHeight() + offsetY_ - r.Top - node->NodeHeight);
}

}  // namespace px
