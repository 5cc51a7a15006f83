// Node life: construction of the tree, node blocks, linking and unlinking with
// the counters kept right, initialisation on demand, child counts, deletion,
// the update bracket, change notifications and the position cache.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ui/tree/NodeTrees.h"
#include "ui/tree/NodeTreesTransfer.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define PX_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define PX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define PX_POISON(p, n) ((void)(p), (void)(n))
#define PX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace px {

namespace {

constexpr Cardinal alignUp(Cardinal value, Cardinal alignment) { return (value + alignment - 1) / alignment * alignment; }

bool tagged(PNTNode p) { return (reinterpret_cast<uintptr_t>(p) & 1) != 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Node block pool: blocks of one size cut from chunks, freed blocks kept on
// a list for reuse, the chunks returned once no block is in use. Freed
// blocks are poisoned for the address sanitizer, so a use after free is
// still caught.


struct TNodeBlockPool {
  size_t BlockSize = 0;
  size_t Live = 0;
  std::vector<std::unique_ptr<Byte[]>> Chunks;
  std::vector<size_t> ChunkBytes;
  size_t Current = 0;  // the chunk Next points into
  Byte* Next = nullptr;
  Byte* End = nullptr;
  void* FreeList = nullptr;
  static constexpr Byte kHeapBlock = 1;  // TNTNode::Dummy of a block outside the pool

  ~TNodeBlockPool() { release(); }

  // Returns the chunks to the heap.
  void release() {
    for (size_t i = 0; i < Chunks.size(); ++i) PX_UNPOISON(Chunks[i].get(), ChunkBytes[i]);
    Chunks.clear();
    ChunkBytes.clear();
    rewind();
  }

  // No block is in use: the chunks are kept and handed out again from the
  // start (a cleared tree filled anew touches no fresh memory).
  void rewind() {
    FreeList = nullptr;
    Current = 0;
    Next = Chunks.empty() ? nullptr : Chunks[0].get();
    End = Chunks.empty() ? nullptr : Next + ChunkBytes[0];
  }

  // A block is a few cache lines: plain 16-byte stores zero it without the
  // start-up cost of a general fill, which shows when a list of many rows is
  // made. Blocks are a multiple of 16 bytes long.
  static void zeroBlock(Byte* block, size_t size) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (size_t i = 0; i < size; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), zero);
#else
    std::memset(block, 0, size);
#endif
  }

  // A zeroed block.
  TNTNode* allocate(size_t size) {
    // Blocks side by side keep the alignment a heap block would have.
    size = (size + NodeDataAlignment - 1) / NodeDataAlignment * NodeDataAlignment;
    // The common case, the next block of the current chunk, kept small:
    // a list of many rows takes this path for each of them.
    if (size != BlockSize || FreeList || End - Next < static_cast<ptrdiff_t>(size)) [[unlikely]]
      return allocateElsewhere(size);
    Byte* block = Next;
    Next += size;
    PX_UNPOISON(block, size);
    zeroBlock(block, size);
    ++Live;
    return reinterpret_cast<TNTNode*>(block);
  }

  TNTNode* allocateElsewhere(size_t size) {
    if (size != BlockSize) {
      if (Live > 0) {
        // A block of another size while blocks of the old size live: an own
        // heap block.
        auto* node = static_cast<TNTNode*>(std::calloc(1, size));
        if (!node) throw std::bad_alloc();
        node->Dummy = kHeapBlock;
        return node;
      }
      release();
      BlockSize = size;
    }
    Byte* block;
    if (FreeList) {
      block = static_cast<Byte*>(FreeList);
      PX_UNPOISON(block, BlockSize);
      FreeList = *reinterpret_cast<void**>(block);
    } else {
      if (End - Next < static_cast<ptrdiff_t>(BlockSize)) {
        if (Current + 1 < Chunks.size() && Next != nullptr) {
          ++Current;
        } else {
          const size_t count = std::min<size_t>(size_t{64} << std::min<size_t>(Chunks.size(), 8), 16384);
          Chunks.push_back(std::unique_ptr<Byte[]>(new Byte[count * BlockSize]));
          ChunkBytes.push_back(count * BlockSize);
          PX_POISON(Chunks.back().get(), count * BlockSize);
          Current = Chunks.size() - 1;
        }
        Next = Chunks[Current].get();
        End = Next + ChunkBytes[Current];
      }
      block = Next;
      Next += BlockSize;
      PX_UNPOISON(block, BlockSize);
    }
    zeroBlock(block, size);
    ++Live;
    return reinterpret_cast<TNTNode*>(block);
  }

  // Frees every block at once; the caller knows that the pool's blocks are
  // all of its nodes and that none needs anything of its own.
  void releaseAll() {
    Live = 0;
    for (size_t i = 0; i < Chunks.size(); ++i) PX_POISON(Chunks[i].get(), ChunkBytes[i]);
    rewind();
  }

  void release(TNTNode* node) {
    if (node->Dummy == kHeapBlock) {
      std::free(node);
      return;
    }
    *reinterpret_cast<void**>(node) = FreeList;
    FreeList = node;
    PX_POISON(node, BlockSize);
    if (--Live == 0) {
      // Every block is free again: poison all and start over.
      for (size_t i = 0; i < Chunks.size(); ++i) PX_POISON(Chunks[i].get(), ChunkBytes[i]);
      rewind();
    }
  }
};

void ShowError(const std::string& msg, int helpContext) { throw ENodeTreeError(msg, helpContext); }

// ---------------------------------------------------------------------------
// Construction

TBaseNodeTree::TBaseNodeTree(TComponent* owner) : TCustomControl(owner), host_(&nullHost_) {
  SetBounds(Left(), Top(), 200, 100);
  SetColor(clWindow);
  options_ = CreateOptions();
  header_ = CreateHeader();
  CreateRootNode();
  registerLiveTree(this, true);
}

TBaseNodeTree::~TBaseNodeTree() {
  registerLiveTree(this, false);
  // Derived trees free their nodes in BeforeDestruction, where their own
  // dispatchers still run; whatever is left goes here.
  try {
    InterruptValidation();
    states_.Include(stUpdating);
    if (root_) {
      options_->miscOptions_.Exclude(moReadOnly);
      DeleteChildren(root_, true);
    }
  } catch (...) {
  }
  if (root_) std::free(root_);
  root_ = nullptr;
  ForgetNodeTree(this);
}

void TBaseNodeTree::AfterConstruction() {
  TCustomControl::AfterConstruction();
  if (!root_) CreateRootNode();
}

void TBaseNodeTree::BeforeDestruction() {
  // A cut or copy still on the clipboard outlives the tree as rendered data.
  ReleaseClipboard(true);
  if (windowHost_) Perform(WM_NCDESTROY, 0, 0);
  InterruptValidation();
  EndPanning();
  options_->miscOptions_.Exclude(moReadOnly);
  CancelEditNode();
  Destroying();
  Clear();
  TCustomControl::BeforeDestruction();
}

std::unique_ptr<TCustomNodeTreeOptions> TBaseNodeTree::CreateOptions() {
  return std::make_unique<TCustomNodeTreeOptions>(this);
}

std::unique_ptr<TNTHeader> TBaseNodeTree::CreateHeader() { return std::make_unique<TNTHeader>(this); }

void TBaseNodeTree::SetHost(INodeTreeHost* host) { host_ = host ? host : &nullHost_; }

void TBaseNodeTree::InvalidateRect(const TRect* rect, bool erase) {
  if (HandleAllocated()) host_->InvalidateRect(rect, erase);
}

void TBaseNodeTree::StopTimer(int id) {
  if (HandleAllocated()) host_->StopTimer(id);
}

// ---------------------------------------------------------------------------
// Node blocks

void TBaseNodeTree::CreateRootNode() {
  Cardinal size = TreeNodeSize + alignUp(internalDataOffset_, NodeDataAlignment);
  auto* block = static_cast<TNTNode*>(std::calloc(1, size));
  if (!block) throw std::bad_alloc();
  block->NodeHeight = static_cast<Word>(defaultNodeHeight_);
  block->SubtreeHeight = defaultNodeHeight_;
  block->SubtreeCount = 1;
  block->States = nsInitialized | nsExpanded | nsHasChildren | nsVisible;
  block->Alignment = 50;
  block->PrevSibling = block;
  block->NextSibling = block;
  root_ = block;
}

void TBaseNodeTree::EnsureNodeDataSize() {
  if (nodeDataSize_ == -1 && !ComponentState().Contains(csDesigning)) {
    int32_t size = NodeDataSizeQuery();
    nodeDataSize_ = std::max(size, 0);
  }
}

PNTNode TBaseNodeTree::MakeNewNode() {
  if (nodeDataSize_ == -1) EnsureNodeDataSize();
  if (!nodePool_) [[unlikely]]
    nodePool_ = std::make_unique<TNodeBlockPool>();
  const size_t size = TreeNodeSize + alignUp(internalDataOffset_, NodeDataAlignment) +
                      static_cast<size_t>(std::max(nodeDataSize_, 0));
  TNTNode* node = nodePool_->allocate(size);
  node->NodeHeight = static_cast<Word>(defaultNodeHeight_);
  node->SubtreeHeight = defaultNodeHeight_;
  node->SubtreeCount = 1;
  node->States = nsVisible;
  node->Alignment = 50;
  return node;
}

void TBaseNodeTree::DeleteNodeBlock(PNTNode node) { nodePool_->release(node); }

Cardinal TBaseNodeTree::AllocateInternalDataArea(Cardinal size) {
  Assert(root_->ChildCount == 0 && root_->FirstChild == nullptr,
         "Internal data allocation must be done before any node is created.");
  Cardinal result = TreeNodeSize + internalDataOffset_;
  internalDataOffset_ += alignUp(size, 4);
  std::free(root_);
  root_ = nullptr;
  CreateRootNode();
  return result;
}

void* TBaseNodeTree::GetNodeData(PNTNode node) {
  if (!node || node == root_) return nullptr;
  if (nodeDataSize_ <= 0) {
    Assert(false, "NodeDataSize not initialized.");
    return nullptr;
  }
  // Written only when it changes: a read of every node's data (sorting,
  // painting) would otherwise dirty every node it passes.
  if (!node->Has(nsDataSet)) node->Include(nsDataSet);
  return node->Data() + alignUp(internalDataOffset_, NodeDataAlignment);
}

Cardinal TBaseNodeTree::TotalCount() const { return root_->SubtreeCount - 1; }

void TBaseNodeTree::FreeNode(PNTNode node) {
  // The free dispatcher forgets the node in every role first; the block is
  // released even when a handler raises.
  struct Release {
    TBaseNodeTree* tree;
    PNTNode node;
    ~Release() { tree->DeleteNodeBlock(node); }
  } release{this, node};
  ReleaseNodeText(node);
}

// ---------------------------------------------------------------------------
// Subtree bookkeeping

void TBaseNodeTree::AdjustTotalCount(PNTNode node, int64_t value, bool relative) {
  int64_t delta = relative ? value : value - static_cast<int64_t>(node->SubtreeCount);
  if (delta == 0) return;
  for (PNTNode run = node; run; run = run == root_ ? nullptr : run->Parent)
    run->SubtreeCount = static_cast<Cardinal>(static_cast<int64_t>(run->SubtreeCount) + delta);
}

void TBaseNodeTree::AdjustTotalHeight(PNTNode node, int64_t value, bool relative) {
  noteDisplayChange();
  int64_t delta = relative ? value : value - static_cast<int64_t>(node->SubtreeHeight);
  if (delta != 0) {
    PNTNode run = node;
    while (true) {
      run->SubtreeHeight = static_cast<Cardinal>(static_cast<int64_t>(run->SubtreeHeight) + delta);
      if (run == root_ || !run->Has(nsVisible) || !run->Parent->Has(nsExpanded)) break;
      run = run->Parent;
    }
  }
  UpdateVerticalRange();
}

void TBaseNodeTree::RecountSubtree(PNTNode node) {
  Cardinal count = 1;
  Cardinal height = (node == root_ || !IsHiddenByFilter(node)) ? node->NodeHeight : 0;
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling) {
    RecountSubtree(child);
    count += child->SubtreeCount;
    if (node->Has(nsExpanded) && child->Has(nsVisible)) height += child->SubtreeHeight;
  }
  node->SubtreeCount = count;
  node->SubtreeHeight = height;
}

Cardinal TBaseNodeTree::CountVisibleDescendants(PNTNode node) const {
  if (!node->Has(nsExpanded)) return 0;
  Cardinal count = 0;
  for (PNTNode child = node->FirstChild; child; child = child->NextSibling)
    if (child->Has(nsVisible))
      count += (child->Has(nsExpanded) ? CountVisibleDescendants(child) : 0) + (IsHiddenByFilter(child) ? 0 : 1);
  return count;
}

bool TBaseNodeTree::FullyVisible(PNTNode node) const {
  Assert(node != nullptr, "Invalid parameter.");
  if (node == root_) return true;
  if (!node->Has(nsVisible)) return false;
  for (PNTNode run = node->Parent; run != root_; run = run->Parent)
    if (!run->Has(nsExpanded) || !run->Has(nsVisible)) return false;
  return true;
}

void TBaseNodeTree::UpdateAllChildrenHidden(PNTNode node) {
  if (!node || node == root_) return;
  if (node->ChildCount > 0) {
    bool anyShown = false;
    for (PNTNode child = node->FirstChild; child && !anyShown; child = child->NextSibling)
      anyShown = IsShownNode(child);
    if (anyShown)
      node->Exclude(nsAllChildrenHidden);
    else
      node->Include(nsAllChildrenHidden);
  } else if (node->Has(nsHasChildren)) {
    node->Exclude(nsAllChildrenHidden);
  } else {
    node->Include(nsAllChildrenHidden);
  }
}

void TBaseNodeTree::UpdateAllChildrenHiddenForAll() {
  for (PNTNode run = GetFirstNoInit(); run; run = GetNextNoInit(run)) UpdateAllChildrenHidden(run);
}

int TBaseNodeTree::LevelDifference(PNTNode node1, PNTNode node2) const {
  Assert(node1 != nullptr && node2 != nullptr, "Both nodes must be Assigned.");
  return static_cast<int>(GetNodeLevel(node2)) - static_cast<int>(GetNodeLevel(node1));
}

// ---------------------------------------------------------------------------
// Linking

void TBaseNodeTree::LinkNode(PNTNode node, PNTNode destination, TNTNodeAttachMode mode, TBaseNodeTree* target) {
  (void)target;
  if (mode == amNoWhere) return;
  noteDisplayChange();
  PNTNode parent;
  switch (mode) {
    case amInsertBefore: {
      parent = destination->Parent;
      node->Parent = parent;
      node->NextSibling = destination;
      node->PrevSibling = destination->PrevSibling;
      if (destination->PrevSibling)
        destination->PrevSibling->NextSibling = node;
      else
        parent->FirstChild = node;
      destination->PrevSibling = node;
      node->Index = destination->Index;
      for (PNTNode run = destination; run; run = run->NextSibling) ++run->Index;
      break;
    }
    case amInsertAfter: {
      parent = destination->Parent;
      node->Parent = parent;
      node->PrevSibling = destination;
      node->NextSibling = destination->NextSibling;
      if (destination->NextSibling)
        destination->NextSibling->PrevSibling = node;
      else
        parent->LastChild = node;
      destination->NextSibling = node;
      Cardinal index = destination->Index;
      for (PNTNode run = node; run; run = run->NextSibling) run->Index = ++index;
      break;
    }
    case amAddChildFirst: {
      parent = destination;
      node->Parent = parent;
      node->PrevSibling = nullptr;
      node->NextSibling = parent->FirstChild;
      if (parent->FirstChild)
        parent->FirstChild->PrevSibling = node;
      else
        parent->LastChild = node;
      parent->FirstChild = node;
      Cardinal index = 0;
      for (PNTNode run = node; run; run = run->NextSibling) run->Index = index++;
      break;
    }
    default: {  // amAddChildLast
      parent = destination;
      node->Parent = parent;
      node->NextSibling = nullptr;
      node->PrevSibling = parent->LastChild;
      if (parent->LastChild) {
        parent->LastChild->NextSibling = node;
        node->Index = parent->LastChild->Index + 1;
      } else {
        parent->FirstChild = node;
        node->Index = 0;
      }
      parent->LastChild = node;
      break;
    }
  }
  ++parent->ChildCount;
  parent->Include(nsHasChildren);

  AdjustTotalCount(parent, node->SubtreeCount, true);
  // The heights grow under the same condition under which UnlinkNode shrinks
  // them, so that linking and unlinking inside a collapsed branch balance.
  if (parent->Has(nsExpanded) && node->Has(nsVisible)) AdjustTotalHeight(parent, node->SubtreeHeight, true);
  if (FullyVisible(node)) {
    visibleCount_ += CountVisibleDescendants(node) + (IsHiddenByFilter(node) ? 0 : 1);
    if (IsUpdating()) states_.Include(stVisibilityChanged);
  }
  node->Exclude(nsChecking | nsCutCopyMarked | nsDeleting | nsClearingChildren);

  if (parent != root_) {
    if (IsShownNode(node))
      parent->Exclude(nsAllChildrenHidden);
    else if (parent->ChildCount == 1)
      parent->Include(nsAllChildrenHidden);
  }
}

PNTNode TBaseNodeTree::UnlinkNode(PNTNode node, bool keepFocus, bool reindex) {
  Assert(node != nullptr && node != root_, "Node must neither be nil nor the root node.");
  noteDisplayChange();
  PNTNode parent = node->Parent;
  PNTNode result = node->NextSibling ? node->NextSibling : (parent == root_ ? nullptr : parent);
  if (!keepFocus && node == focusedNode_) {
    FocusNode(nullptr, false);
    FocusMoved(nullptr, focusedColumn_);
  }
  if (node == rangeAnchor_) rangeAnchor_ = nullptr;
  if (node->Has(nsDeleting)) return result;

  node->Exclude(nsChecking);
  bool fullyVisible = FullyVisible(node);
  if (fullyVisible) {
    visibleCount_ -= CountVisibleDescendants(node) + (IsHiddenByFilter(node) ? 0 : 1);
    if (IsUpdating()) states_.Include(stVisibilityChanged);
  }
  AdjustTotalCount(parent, -static_cast<int64_t>(node->SubtreeCount), true);
  if (parent->Has(nsExpanded) && node->Has(nsVisible))
    AdjustTotalHeight(parent, -static_cast<int64_t>(node->SubtreeHeight), true);

  if (node->PrevSibling)
    node->PrevSibling->NextSibling = node->NextSibling;
  else
    parent->FirstChild = node->NextSibling;
  if (node->NextSibling) {
    node->NextSibling->PrevSibling = node->PrevSibling;
    if (reindex) {
      Cardinal index = node->Index;
      for (PNTNode run = node->NextSibling; run; run = run->NextSibling) run->Index = index++;
    }
  } else {
    parent->LastChild = node->PrevSibling;
  }
  --parent->ChildCount;
  if (parent->ChildCount == 0) {
    parent->Exclude(nsHasChildren | nsAllChildrenHidden);
    if (parent != root_ && parent->Has(nsExpanded)) {
      // A collapsed node keeps its own height only.
      parent->Exclude(nsExpanded);
    }
  }
  // A parent left without children has lost both flags above; recomputing
  // would call it a node whose children are all hidden.
  if (!parent->Has(nsClearingChildren) && parent->ChildCount > 0) {
    if (IsUpdating())
      states_.Include(stVisibilityChanged);
    else
      UpdateAllChildrenHidden(parent);
  }
  node->Parent = nullptr;
  node->PrevSibling = nullptr;
  node->NextSibling = nullptr;
  return result;
}

// ---------------------------------------------------------------------------
// Initialisation

void TBaseNodeTree::InitNode(PNTNode node) {
  TNTNodeInitStates initStates;
  if (node->Has(nsInitialized)) initStates.Include(isReInit);
  node->Include(nsInitialized);
  PNTNode parent = node->Parent == root_ ? nullptr : node->Parent;
  NodeInit(parent, node, initStates);
  if (initStates.Contains(isDisabled)) node->Include(nsDisabled);
  if (initStates.Contains(isHasChildren)) node->Include(nsHasChildren);
  if (initStates.Contains(isSelected) && !node->Has(nsSelected)) InternalAddNodeToSelection(node, true);
  if (initStates.Contains(isMultiline)) node->Include(nsMultiline);
  if (initStates.Contains(isFilteredOut) && !node->Has(nsFilteredOut)) {
    bool wasShown = FullyVisible(node) && !IsHiddenByFilter(node);
    node->Include(nsFilteredOut);
    if (!options_->PaintOptions().Contains(poShowFilteredNodes)) {
      AdjustTotalHeight(node, -static_cast<int64_t>(node->NodeHeight), true);
      if (wasShown) --visibleCount_;
      if (node->Parent != root_ && node->Parent->Has(nsHasChildren)) UpdateAllChildrenHidden(node->Parent);
      InvalidateCache();
      if (!IsUpdating()) UpdateScrollBars(true);
    }
  }
  if (initStates.Contains(isExpanded) != node->Has(nsExpanded)) {
    if (initStates.Contains(isExpanded)) ToggleNode(node);
  } else if (node->Has(nsHasChildren)) {
    InitChildren(node);
  }
}

void TBaseNodeTree::InitChildren(PNTNode node) {
  if (!node || node == root_ || !node->Has(nsHasChildren)) return;
  Cardinal count = node->ChildCount;
  if (ChildrenInit(node, count)) {
    SetChildCount(node, count);
    if (count == 0) node->Exclude(nsHasChildren);
  }
}

// ---------------------------------------------------------------------------
// Child counts

void TBaseNodeTree::SetRootNodeCount(Cardinal value) {
  if (IsLoading()) {
    root_->ChildCount = value;
    ChangeTreeState({stNeedRootCountUpdate}, {});
    return;
  }
  if (root_->ChildCount == value) return;
  BeginUpdate();
  try {
    InterruptValidation();
    SetChildCount(root_, value);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TBaseNodeTree::SetChildCount(PNTNode node, Cardinal newChildCount) {
  if (!node) node = root_;
  if (options_->MiscOptions().Contains(moReadOnly)) return;
  SetChildCountInternal(node, newChildCount);
}

TBaseNodeTree::TChildAppender::TChildAppender(TBaseNodeTree& tree, PNTNode parent)
    : tree_(tree), parent_(parent ? parent : tree.root_) {}

TBaseNodeTree::TChildAppender::~TChildAppender() {
  if (settled_ || added_ == 0) return;
  // Raised out of the middle: the children made are counted, nothing else.
  try {
    count();
    tree_.InvalidateCache();
  } catch (...) {
  }
}

void TBaseNodeTree::TChildAppender::count() {
  settled_ = true;
  if (parent_->Has(nsExpanded)) {
    tree_.AdjustTotalHeight(parent_, static_cast<int64_t>(heights_), true);
    if (tree_.FullyVisible(parent_)) tree_.visibleCount_ += added_;
  }
  tree_.AdjustTotalCount(parent_, added_, true);
}

void* TBaseNodeTree::TChildAppender::AppendData() {
  PNTNode child = Append();
  if (tree_.nodeDataSize_ <= 0) return tree_.GetNodeData(child);
  child->Include(nsDataSet);
  return child->Data() + alignUp(tree_.internalDataOffset_, NodeDataAlignment);
}

PNTNode TBaseNodeTree::TChildAppender::Append() {
  PNTNode node = parent_;
  if (added_ == 0) {
    tree_.InterruptValidation();
    if (!node->FirstChild) node->Include(nsHasChildren);
    node->Exclude(nsAllChildrenHidden | nsHeightMeasured);
    index_ = node->LastChild ? node->LastChild->Index + 1 : 0;
    // Rows under an empty root: their places are known as they are made.
    if (node == tree_.root_ && !node->FirstChild) {
      tree_.presetCache_.clear();
      tree_.presetCacheState_ = TPresetCache::Recording;
    }
  }
  PNTNode child = tree_.MakeNewNode();
  // A new leaf shows no children: what the end of an update would work out
  // for it, set here so that growing needs no walk over the tree.
  if (!child->Has(nsHasChildren)) child->Include(nsAllChildrenHidden);
  if (tree_.presetCacheState_ == TPresetCache::Recording) {
    if (index_ % CacheThreshold == 0) tree_.presetCache_.push_back({child, static_cast<Cardinal>(top_)});
    top_ += child->NodeHeight;
  }
  child->Index = index_++;
  child->Parent = node;
  child->PrevSibling = node->LastChild;
  if (node->LastChild)
    node->LastChild->NextSibling = child;
  else
    node->FirstChild = child;
  node->LastChild = child;
  ++node->ChildCount;
  heights_ += child->SubtreeHeight;
  ++added_;
  return child;
}

void TBaseNodeTree::TChildAppender::Settle() {
  if (settled_ || added_ == 0) return;
  // Recording still on: no change since the first row could have moved one.
  const bool recorded = tree_.presetCacheState_ == TPresetCache::Recording;
  count();
  bool sorted = false;
  if (!tree_.IsUpdating() && tree_.options_->AutoOptions().Contains(auSort) &&
      tree_.header_->SortColumn() > InvalidColumn) {
    tree_.Sort(parent_, tree_.header_->SortColumn(), tree_.header_->SortDirection(), true);
    sorted = true;
  }
  tree_.InvalidateCache();
  if (recorded && !sorted) {
    tree_.presetCache_.push_back({parent_->LastChild, static_cast<Cardinal>(top_)});
    tree_.presetCacheState_ = TPresetCache::Ready;
  }
}

void TBaseNodeTree::TChildAppender::Finish() {
  if (settled_ || added_ == 0) return;
  Settle();
  if (!tree_.IsUpdating()) {
    tree_.ValidateCache();
    tree_.UpdateScrollBars(true);
    tree_.Invalidate();
  }
  tree_.DoStructureChange(parent_ == tree_.root_ ? nullptr : parent_, crChildAdded);
}

void TBaseNodeTree::SetChildCountInternal(PNTNode node, Cardinal newChildCount) {
  PNTNode reported = node == root_ ? nullptr : node;
  if (newChildCount == 0) {
    DeleteChildren(node, false);
    return;
  }
  Cardinal oldCount = node->ChildCount;
  if (newChildCount == oldCount) return;
  InterruptValidation();
  if (newChildCount > oldCount) {
    TChildAppender appender(*this, node);
    for (Cardinal i = oldCount; i < newChildCount; ++i) appender.Append();
    appender.Settle();
  } else {
    while (node->ChildCount > newChildCount) DeleteNode(node->LastChild, true);
  }
  if (!IsUpdating()) {
    ValidateCache();
    UpdateScrollBars(true);
    Invalidate();
  }
  DoStructureChange(reported, crChildAdded);
}

// ---------------------------------------------------------------------------
// Adding and deleting

PNTNode TBaseNodeTree::AddChild(PNTNode parent, void* userData) {
  if (options_->MiscOptions().Contains(moReadOnly)) return nullptr;
  CancelEditNode();
  if (!parent) parent = root_;
  InitIfNeeded(parent);
  ++updateCount_;
  PNTNode result;
  try {
    SetChildCount(parent, parent->ChildCount + 1);
    parent->Exclude(nsAllChildrenHidden);
    result = parent->LastChild;
  } catch (...) {
    --updateCount_;
    throw;
  }
  --updateCount_;
  if (userData) {
    if (nodeDataSize_ < static_cast<int32_t>(sizeof(void*)))
      ShowError("Cannot set initial user data because there is not enough user data space allocated.",
                hcTFCannotSetUserData);
    std::memcpy(GetNodeData(result), &userData, sizeof(void*));
    result->Include(nsDataSet);
  }
  InvalidateCache();
  if (updateCount_ == 0) {
    ValidateCache();
    if (states_.Contains(stStructureChangePending)) DoStructureChange(parent == root_ ? nullptr : parent, crChildAdded);
    if (options_->AutoOptions().Contains(auSort) && header_->SortColumn() > InvalidColumn)
      Sort(parent, header_->SortColumn(), header_->SortDirection(), true);
    InvalidateToBottom(parent);
    UpdateScrollBars(true);
  }
  return result;
}

PNTNode TBaseNodeTree::InsertNode(PNTNode node, TNTNodeAttachMode mode, void* userData) {
  if (mode == amNoWhere || options_->MiscOptions().Contains(moReadOnly)) return nullptr;
  if (!node) node = root_;
  if (node == root_) {
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  }
  CancelEditNode();
  if (mode == amAddChildFirst || mode == amAddChildLast) InitIfNeeded(node);
  PNTNode result = MakeNewNode();
  LinkNode(result, node, mode, this);
  if (userData) {
    if (nodeDataSize_ < static_cast<int32_t>(sizeof(void*)))
      ShowError("Cannot set initial user data because there is not enough user data space allocated.",
                hcTFCannotSetUserData);
    std::memcpy(GetNodeData(result), &userData, sizeof(void*));
    result->Include(nsDataSet);
  }
  InvalidateCache();
  PNTNode parent = result->Parent == root_ ? nullptr : result->Parent;
  if (updateCount_ == 0) {
    ValidateCache();
    InvalidateToBottom(parent);
    UpdateScrollBars(true);
  }
  DoStructureChange(parent, crChildAdded);
  return result;
}

void TBaseNodeTree::DeleteNode(PNTNode node, bool reindex) {
  if (!node || node == root_ || options_->MiscOptions().Contains(moReadOnly)) return;
  Assert(!states_.Contains(stIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  // An edit of the node or of a node below it ends without storing: the
  // cell it would write to goes away.
  if (focusedNode_ && (states_.Contains(stEditing) || states_.Contains(stEditPending)) &&
      (focusedNode_ == node || HasAsParent(focusedNode_, node)))
    CancelEditNode();
  PNTNode parent = node->Parent;
  bool parentClearing = parent->Has(nsClearingChildren);
  if (!parentClearing) DoStructureChange(parent == root_ ? nullptr : parent, crChildDeleted);
  int32_t oldX = offsetX_, oldY = offsetY_;
  if (node->Has(nsSelected)) {
    if (updateCount_ > 0) {
      InternalRemoveFromSelection(node);
    } else {
      RemoveFromSelection(node);
      InvalidateToBottom(parent);
    }
  } else if (!parentClearing) {
    InvalidateToBottom(parent);
  }
  ChangeTreeState({}, {stHintShown});
  if (!parentClearing) InterruptValidation();
  DeleteChildren(node, false);
  UnlinkNode(node, false, reindex);
  FreeNode(node);
  if (!IsUpdating()) EnsureNodeSelected();
  if (!parentClearing) {
    // A parent left without children was cleared by the unlinking.
    if (parent->ChildCount > 0) UpdateAllChildrenHidden(parent);
    InvalidateCache();
    if (updateCount_ == 0) {
      ValidateCache();
      UpdateScrollBars(true);
      if (oldX != offsetX_ || oldY != offsetY_) Invalidate();
    }
  }
}

void TBaseNodeTree::DeleteChildren(PNTNode node, bool resetHasChildren) {
  if (!node) node = root_;
  if (node->ChildCount == 0 || !node->FirstChild) {
    if (resetHasChildren) node->Exclude(nsHasChildren);
    return;
  }
  if (options_->MiscOptions().Contains(moReadOnly) && !IsBeingDestroyed()) return;
  Assert(!states_.Contains(stIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  noteDisplayChange();
  ++updateCount_;
  try {
    InterruptValidation();
    int32_t oldX = offsetX_, oldY = offsetY_;
    bool parentVisible = node == root_ || (FullyVisible(node) && node->Has(nsExpanded));
    node->Include(nsClearingChildren);
    ChangeTreeState({}, {stHintShown});
    // An edit inside the cleared branch ends without storing.
    if (focusedNode_ && (states_.Contains(stEditing) || states_.Contains(stEditPending)) &&
        (node == root_ || HasAsParent(focusedNode_, node)))
      CancelEditNode();
    // The root's children all leaves, none focused or selected, nothing to
    // release per node, and they are the only blocks of the pool: the roles
    // that still name one of them are forgotten and the blocks go together.
    // Clearing a list of many rows then costs no walk over them.
    const bool bulk = node == root_ && root_->SubtreeCount == root_->ChildCount + 1 && !focusedNode_ &&
                      selection_.empty() && !OnNodeFree && nodePool_ && nodePool_->Live == root_->ChildCount &&
                      NodesReleaseInBulk();
    if (bulk) {
      for (PNTNode role : {nextNodeToSelect_, lastSearchNode_, keyCheckNode_, checkNode_, heightTrackNode_,
                           lastChangedNode_, lastStructureChangeNode_, hotNode_, currentHotNode_, dropTargetNode_,
                           lastSelected_, rangeAnchor_})
        if (role && role != root_) ForgetNodeRoles(role);
      visibleCount_ = 0;
      nodePool_->releaseAll();
      node->FirstChild = node->LastChild = nullptr;
    }
    // The whole sibling list goes at once: each child only has to leave its
    // roles and be freed, not be unlinked one by one.
    PNTNode child = node->LastChild;
    while (child) {
      PNTNode previous = child->PrevSibling;
      if (parentVisible && IsShownNode(child)) {
        visibleCount_ -= 1;
      }
      child->Include(nsDeleting);
      // Detached first, so that a raising handler leaves no freed node linked.
      if (previous) previous->NextSibling = nullptr;
      node->LastChild = previous;
      if (!previous) node->FirstChild = nullptr;
      if (child->FirstChild) DeleteChildren(child, false);
      if (child->Has(nsSelected)) InternalRemoveFromSelection(child);
      if (child == focusedNode_) {
        FocusNode(nullptr, false);
        FocusMoved(nullptr, focusedColumn_);
      }
      if (child == rangeAnchor_) rangeAnchor_ = nullptr;
      FreeNode(child);
      child = previous;
    }
    // Below a cleared root no node is left whose children-hidden mark could
    // be stale, so the end of the update need not walk the tree for it.
    if (parentVisible && node != root_) states_.Include(stVisibilityChanged);
    node->Exclude(nsClearingChildren);
    if (resetHasChildren) node->Exclude(nsHasChildren);
    if (node != root_) node->Exclude(nsExpanded);
    node->ChildCount = 0;
    node->FirstChild = nullptr;
    node->LastChild = nullptr;
    if (node == root_ || node->Has(nsDeleting)) {
      node->SubtreeHeight = node == root_ ? node->NodeHeight : defaultNodeHeight_ + node->NodeHeight;
      node->SubtreeCount = 1;
      if (node == root_) UpdateVerticalRange();
    } else {
      AdjustTotalHeight(node, IsHiddenByFilter(node) ? 0 : node->NodeHeight, false);
      AdjustTotalCount(node, 1, false);
    }
    --updateCount_;
    InvalidateCache();
    if (updateCount_ == 0) {
      states_.Exclude(stVisibilityChanged);
      PackSelection();
      ValidateCache();
      UpdateScrollBars(true);
      if (oldX != offsetX_ || oldY != offsetY_)
        Invalidate();
      else
        InvalidateToBottom(node);
    }
  } catch (...) {
    node->Exclude(nsClearingChildren);
    if (updateCount_ > 0) --updateCount_;
    throw;
  }
  if (!node->Has(nsDeleting)) DoStructureChange(node == root_ ? nullptr : node, crChildDeleted);
}

void TBaseNodeTree::DeleteSelectedNodes() {
  if (selectionCount_ == 0 || options_->MiscOptions().Contains(moReadOnly)) return;
  BeginUpdate();
  try {
    TNodeArray nodes = GetSortedSelection(true);
    for (size_t i = nodes.size(); i-- > 1;)
      DeleteNode(nodes[i], nodes[i]->Parent != nodes[i - 1]->Parent);
    if (!nodes.empty()) DeleteNode(nodes[0], true);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TBaseNodeTree::Clear() {
  if (options_->MiscOptions().Contains(moReadOnly) && !IsBeingDestroyed()) return;
  BeginUpdate();
  try {
    InterruptValidation();
    CancelEditNode();
    ReleaseClipboard(false);
    ClearSelection();
    focusedNode_ = nullptr;
    hotNode_ = nullptr;
    currentHotNode_ = nullptr;
    dropTargetNode_ = nullptr;
    lastChangedNode_ = nullptr;
    lastStructureChangeNode_ = nullptr;
    lastSelected_ = nullptr;
    rangeAnchor_ = nullptr;
    DeleteChildren(root_, true);
    offsetX_ = 0;
    offsetY_ = 0;
    effectiveOffsetX_ = 0;
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ---------------------------------------------------------------------------
// Selection (plain form)

int32_t TBaseNodeTree::PackSelection() {
  if (selection_.empty()) return -1;
  selection_.erase(std::remove_if(selection_.begin(), selection_.end(), [](PNTNode p) { return tagged(p); }),
                   selection_.end());
  selection_.shrink_to_fit();
  selectionCount_ = static_cast<Cardinal>(selection_.size());
  return static_cast<int32_t>(selectionCount_);
}

void TBaseNodeTree::ClearSelection() {
  if (states_.Contains(stClearing) || selectionCount_ == 0 || IsBeingDestroyed()) return;
  ChangeTreeState({stClearing}, {});
  try {
    if (!IsUpdating() && HandleAllocated() && visibleCount_ > 0) {
      Cardinal remaining = selectionCount_;
      int32_t top = 0;
      PNTNode run = GetNodeAt(0, 0, true, top);
      while (run && remaining > 0 && top < ClientHeight()) {
        if (run->Has(nsSelected)) {
          InvalidateNode(run);
          --remaining;
        }
        top += run->NodeHeight;
        run = GetNextVisibleNoInit(run, true);
      }
    }
    InternalClearSelection();
  } catch (...) {
    ChangeTreeState({}, {stClearing});
    throw;
  }
  ChangeTreeState({}, {stClearing});
  DoChange(nullptr);
}

void TBaseNodeTree::SelectAll(bool visibleOnly) {
  if (!options_->SelectionOptions().Contains(slMultiSelect) || states_.Contains(stClearing) || SelectionLocked)
    return;
  tempNodeCache_.clear();
  PNTNode run = visibleOnly ? GetFirstVisibleNoInit(nullptr, true) : GetFirstNoInit();
  while (run) {
    if (!run->Has(nsSelected)) tempNodeCache_.push_back(run);
    run = visibleOnly ? GetNextVisibleNoInit(run, true) : GetNextNoInit(run);
  }
  if (InternalAddToSelection(tempNodeCache_.data(), static_cast<int32_t>(tempNodeCache_.size()), false))
    DoChange(nullptr);
  tempNodeCache_.clear();
  Invalidate();
}

void TBaseNodeTree::SetSelected(PNTNode node, bool value) {
  if (SelectionLocked || !node || node == root_ || node->Has(nsSelected) == value) return;
  if (value) {
    if (selectionCount_ == 0) rangeAnchor_ = node;
    if (!options_->SelectionOptions().Contains(slMultiSelect)) ClearSelection();
    AddToSelection(node);
    TNodeTreeColumns& columns = header_->Columns();
    TColumnIndex main = header_->MainColumn();
    bool focusedShown = columns.IsValidColumn(focusedColumn_) &&
                        columns.Items(focusedColumn_)->Options().Contains(coVisible);
    if (!focusedShown && columns.IsValidColumn(main)) {
      TNTColumnOptions o = columns.Items(main)->Options();
      if (o.Contains(coVisible) && o.Contains(coAllowFocus))
        focusedColumn_ = main;
      else
        focusedColumn_ = columns.GetFirstVisibleColumn(true);
    }
    if (!rangeAnchor_) rangeAnchor_ = node;
  } else {
    RemoveFromSelection(node);
    if (selectionCount_ == 0) rangeAnchor_ = nullptr;
  }
  if (FullyVisible(node) && !IsHiddenByFilter(node)) InvalidateNode(node);
}

void TBaseNodeTree::SetFocusedNode(PNTNode node) {
  PNTNode old = focusedNode_;
  FocusNode(node);
  if (focusedNode_ != old) FocusMoved(focusedNode_, focusedColumn_);
}

void TBaseNodeTree::SetFocusedColumn(TColumnIndex column) {
  if (column == focusedColumn_) return;
  if (!RememberFocusingRecord(focusedNode_, focusedNode_, focusedColumn_, column)) return;
  CancelEditNode();
  InvalidateColumn(focusedColumn_);
  InvalidateColumn(column);
  focusedColumn_ = column;
  if (focusedNode_ && !options_->AutoOptions().Contains(auNoScrollOnFocus))
    ScrollIntoView(focusedNode_, options_->SelectionOptions().Contains(slCenterScrollIntoView), true);
  else if (focusedNode_)
    InvalidateNode(focusedNode_);
  if (dropTargetNode_) InvalidateNode(dropTargetNode_);
  FocusMoved(focusedNode_, focusedColumn_);
}

// ---------------------------------------------------------------------------
// Update bracket and notifications

void TBaseNodeTree::BeginUpdate() {
  if (!IsBeingDestroyed()) {
    UpdateStateChanged(updateCount_ > 0 ? usUpdate : usBegin);
    if (updateCount_ == 0 && HandleAllocated()) host_->SetRedraw(false);
  }
  ++updateCount_;
  states_.Include(stUpdating);
}

void TBaseNodeTree::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  if (IsBeingDestroyed()) return;
  if (updateCount_ == 0 && states_.Contains(stUpdating)) {
    struct RedrawOn {
      TBaseNodeTree* tree;
      ~RedrawOn() {
        if (tree->HandleAllocated()) {
          tree->host_->SetRedraw(true);
          tree->host_->InvalidateRect(nullptr, true);
        }
      }
    } redrawOn{this};
    if (states_.Contains(stVisibilityChanged)) UpdateAllChildrenHiddenForAll();
    states_.Exclude(stVisibilityChanged);
    states_.Exclude(stUpdating);
    PackSelection();
    // Every change made in the update invalidated the cache itself; this
    // invalidation only makes sure, so it leaves a list made from nothing in
    // the update (and unchanged since) its recorded cache.
    const TPresetCache preset = presetCacheState_;
    InvalidateCache();
    presetCacheState_ = preset;
    ValidateCache();
    if (HandleAllocated()) UpdateScrollBars(false);
    if (states_.Contains(stStructureChangePending))
      DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
    if (states_.Contains(stChangePending)) DoChange(lastChangedNode_);
    if (options_->AutoOptions().Contains(auSort) && header_->SortColumn() >= 0)
      SortTree(header_->SortColumn(), header_->SortDirection(), true);
  }
  UpdateStateChanged(updateCount_ == 0 ? usEnd : usUpdate);
}

void TBaseNodeTree::NoteChange(bool structure, PNTNode node, TChangeReason reason) {
  if (structure) {
    if (states_.Contains(stStructureChangePending))
      StopTimer(StructureChangeTimer);
    else
      ChangeTreeState({stStructureChangePending}, {});
    lastStructureChangeNode_ = node;
    if (lastStructureChangeReason_ == crIgnore)
      lastStructureChangeReason_ = reason;
    else if (reason != crIgnore && reason != lastStructureChangeReason_)
      lastStructureChangeReason_ = crAccumulated;
  } else {
    if (states_.Contains(stChangePending))
      StopTimer(ChangeTimer);
    else
      ChangeTreeState({stChangePending}, {});
    lastChangedNode_ = node;
  }
}

void TBaseNodeTree::DoChange(PNTNode node) {
  NoteChange(false, node);
  if (IsUpdating()) return;
  if (ChangeDelay > 0 && !states_.Contains(stChangeImmediate) && HandleAllocated())
    host_->StartTimer(ChangeTimer, ChangeDelay);
  else
    RestartClickTimer(node);
}

void TBaseNodeTree::DoStructureChange(PNTNode node, TChangeReason reason) {
  NoteChange(true, node, reason);
  if (IsUpdating()) return;
  if (ChangeDelay > 0 && !states_.Contains(stChangeImmediate) && HandleAllocated())
    host_->StartTimer(StructureChangeTimer, ChangeDelay);
  else
    StructureChanged(lastStructureChangeNode_, lastStructureChangeReason_);
}

// ---------------------------------------------------------------------------
// Position cache

void TBaseNodeTree::InterruptValidation() {
  ChangeTreeState({stStopValidation}, {stCacheValid});
  if (states_.Contains(stValidating)) {
    ChangeTreeState({}, {stValidating});
    StopTimer(ValidateTimer);
    cacheValidCount_ = 0;
    InvalidateCache();
  }
}

void TBaseNodeTree::InvalidateCache() {
  noteDisplayChange();
  // A build in slices that already passed the change would end stale.
  if (states_.Contains(stValidating)) InterruptValidation();
  ChangeTreeState({stValidationNeeded}, {stCacheValid});
}

void TBaseNodeTree::ValidateCache() {
  // A valid cache stays as it is: only a pending rebuild interrupts it.
  if (!states_.Contains(stValidationNeeded)) return;
  InterruptValidation();
  cacheValidCount_ = 0;
  if (visibleCount_ > CacheThreshold) {
    ChangeTreeState({stValidating}, {stStopValidation});
    ContinueValidation();
  }
}

void TBaseNodeTree::ContinueValidation() {
  if (!states_.Contains(stValidating)) return;
  // Without a window there is no event loop to run the next slices.
  bool done;
  try {
    done = BuildPositionCacheSlice(HandleAllocated() ? std::max(CacheSliceNodes, 2 * CacheThreshold) : UINT32_MAX);
  } catch (...) {
    ChangeTreeState({}, {stValidating});
    cacheValidCount_ = 0;
    throw;
  }
  if (!done) {
    host_->StartTimer(ValidateTimer, 0);
    return;
  }
  StopTimer(ValidateTimer);
  ChangeTreeState({stCacheValid}, {stValidationNeeded, stValidating});
  // Variable heights: the ranges follow the heights measured meanwhile.
  if (options_->MiscOptions().Contains(moVariableNodeHeight)) UpdateScrollBars(true);
}

bool TBaseNodeTree::BuildPositionCache() {
  cacheValidCount_ = 0;
  return BuildPositionCacheSlice(UINT32_MAX);
}

bool TBaseNodeTree::BuildPositionCacheSlice(Cardinal budget) {
  if (states_.Contains(stStopValidation)) return false;
  Cardinal regular = visibleCount_ < 2 ? 0 : (visibleCount_ + CacheThreshold - 1) / CacheThreshold;
  PNTNode node;
  Cardinal position;
  Cardinal walked;
  const bool fresh = cacheValidCount_ == 0 || positionCache_.size() != regular + 1;
  if (fresh) presetCacheState_ = takePresetCache(regular) ? TPresetCache::Taken : TPresetCache::None;
  if (presetCacheState_ == TPresetCache::Taken) {
    // The entries were recorded when the rows were made: a slice takes as
    // many as its walk would have written, and ends where the walk would.
    const uint64_t perSlice = (static_cast<uint64_t>(budget) + CacheThreshold - 1) / CacheThreshold;
    const uint64_t last = (fresh ? 0 : cacheValidCount_ - 1) + perSlice;
    if (last < regular) {
      cacheValidCount_ = static_cast<Cardinal>(last + 1);
      return false;
    }
    cacheValidCount_ = regular;
    return true;
  }
  if (fresh) {
    // Room for the regular entries and the closing entry.
    positionCache_.assign(regular + 1, TCacheEntry{});
    cacheValidCount_ = 0;
    node = GetFirstVisibleNoInit(nullptr, true);
    position = 0;
    walked = 0;
  } else {
    // Resume at the last valid entry, which is stored again.
    --cacheValidCount_;
    node = positionCache_[cacheValidCount_].Node;
    position = positionCache_[cacheValidCount_].AbsoluteTop;
    walked = cacheValidCount_ * CacheThreshold;
  }
  PNTNode last = nullptr;
  Cardinal steps = 0;
  // From a displayed leaf to a next sibling that is a shown leaf the display
  // order goes straight on, whatever the order of children and parents:
  // such steps, all of them in a flat list or an expanded branch of leaves,
  // skip the general walk.
  auto next = [this](PNTNode n) {
    PNTNode s = n->NextSibling;
    if (!n->FirstChild && s && !s->FirstChild && s->Has(nsVisible) && !IsHiddenByFilter(s)) return s;
    return GetNextVisibleNoInit(n, true);
  };
  for (; node; node = next(node)) {
    if (walked % CacheThreshold == 0) {
      if (cacheValidCount_ >= regular) break;  // more nodes than counted: leave the rest uncached
      positionCache_[cacheValidCount_++] = {node, position};
      if (steps >= budget) return false;
    }
    last = node;
    position += node->NodeHeight;
    ++walked;
    ++steps;
  }
  if (last) positionCache_[cacheValidCount_] = {last, position};
  return walked > 1 && !states_.Contains(stStopValidation);
}

bool TBaseNodeTree::takePresetCache(Cardinal regular) {
  if (presetCacheState_ != TPresetCache::Ready) return false;
  // What the walk would find: a flat list, every row shown, the recorded
  // rows still at their places (a flat list keeps its rows' indexes in
  // display order) and the heights they were made with.
  const Cardinal count = root_->ChildCount;
  if (count < 2 || root_->SubtreeCount != count + 1 || visibleCount_ != count || presetCache_.size() != regular + 1)
    return false;
  const TCacheEntry& closing = presetCache_.back();
  if (closing.Node != root_->LastChild || closing.AbsoluteTop != root_->SubtreeHeight - root_->NodeHeight)
    return false;
  for (Cardinal k = 0; k < regular; ++k) {
    const PNTNode node = presetCache_[k].Node;
    if (node->Parent != root_ || node->Index != k * CacheThreshold) return false;
  }
  positionCache_.swap(presetCache_);
  return true;
}

PNTNode TBaseNodeTree::FindInPositionCache(PNTNode node, Cardinal& curPos) {
  // A cache that was invalidated and not rebuilt since is rebuilt on use;
  // while it is built in slices the entries so far are valid.
  if (!states_.Contains(stCacheValid) && !states_.Contains(stValidating) && !IsUpdating()) ValidateCache();
  if ((!states_.Contains(stCacheValid) && !states_.Contains(stValidating)) || cacheValidCount_ == 0) {
    curPos = 0;
    return nullptr;
  }
  Cardinal low = 0, high = cacheValidCount_;
  // The last entry that is not after node.
  while (low < high) {
    Cardinal mid = (low + high) / 2;
    if (CompareNodePositions(positionCache_[mid].Node, node, true) <= 0)
      low = mid + 1;
    else
      high = mid;
  }
  if (low == 0) {
    curPos = 0;
    return nullptr;
  }
  curPos = positionCache_[low - 1].AbsoluteTop;
  return positionCache_[low - 1].Node;
}

PNTNode TBaseNodeTree::FindInPositionCache(Cardinal position, Cardinal& curPos) {
  if (!states_.Contains(stCacheValid) && !states_.Contains(stValidating) && !IsUpdating()) ValidateCache();
  if ((!states_.Contains(stCacheValid) && !states_.Contains(stValidating)) || cacheValidCount_ == 0) {
    curPos = 0;
    return nullptr;
  }
  Cardinal low = 0, high = cacheValidCount_;
  while (low < high) {
    Cardinal mid = (low + high) / 2;
    if (positionCache_[mid].AbsoluteTop <= position)
      low = mid + 1;
    else
      high = mid;
  }
  if (low == 0) {
    curPos = 0;
    return nullptr;
  }
  curPos = positionCache_[low - 1].AbsoluteTop;
  return positionCache_[low - 1].Node;
}

}  // namespace px
