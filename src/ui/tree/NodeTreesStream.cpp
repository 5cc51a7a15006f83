// Node streams: writing and reading nodes as nested, size-prefixed chunks,
// whole trees with their header, the "Node Tree Data" block of the clipboard
// and drag, and moving nodes into another tree through a stream.
//
// Everything read is untrusted (files, clipboard blocks from other
// programs): each chunk must lie inside the chunk that encloses it and inside
// the stream, a child count must fit the bytes left for the children, and the
// nesting depth is bounded, so a forged size or count can neither loop, nor
// allocate without bound, nor exhaust the stack.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/core/Streams.h"
#include "ui/tree/NodeTrees.h"

namespace px {

namespace {

constexpr Word StreamHeaderWords[6] = {0x2045, 0x004E, 0x0054, 2, 0x0020, 0x2046};
constexpr int32_t StreamVersion = 2;

constexpr int32_t ChunkAnchor = 1;
constexpr int32_t ChunkBase = 2;
constexpr int32_t ChunkUserData = 4;

constexpr int32_t BaseBodySize1 = 12;
constexpr int32_t BaseBodySize2 = 17;
// The smallest complete child: its anchor header, base header and body.
constexpr Int64 MinNodeSize(int32_t version) { return 16 + (version < 2 ? BaseBodySize1 : BaseBodySize2); }

// States that describe an operation in progress, never a stored node:
// checking, cut/copy marked, deleting, data set and height measured are not
// written; clearing and toggling are dropped as well when read, since a node
// stuck in either would never toggle or unlink normally again.
constexpr TNTNodeStates TransientStatesWritten = 0x2216;
constexpr TNTNodeStates TransientStatesRead = 0x2216 | nsClearingChildren | nsToggling;

[[noreturn]] void raiseTooSmall() {
  ShowError("Unable to load tree structure, not enough data available.", hcTFStreamTooSmall);
}
[[noreturn]] void raiseAnchorMissing() {
  ShowError("Stream data corrupt. A node's anchor chunk is missing.", hcTFCorruptStream1);
}
[[noreturn]] void raiseBadEnd() {
  ShowError("Stream data corrupt. Unexpected data after node's end position.", hcTFCorruptStream2);
}

struct ChunkHeader {
  int32_t Type;
  int32_t Size;
};

void writeChunkHeader(TStream& stream, int32_t type) {
  const int32_t header[2] = {type, 0};
  stream.WriteBuffer(header, sizeof header);
}

// The next node of the subtree below top in tree order, nullptr past it.
PNTNode nextInSubtree(PNTNode run, PNTNode top) {
  if (run->FirstChild) return run->FirstChild;
  while (run != top && !run->NextSibling) run = run->Parent;
  return run == top ? nullptr : run->NextSibling;
}

// The trees alive in the process, for finding the tree a node belongs to.
std::mutex& liveTreesLock() {
  static std::mutex lock;
  return lock;
}
std::vector<TBaseNodeTree*>& liveTrees() {
  static std::vector<TBaseNodeTree*> trees;
  return trees;
}

// Keeps the reader's limit and depth for one nesting level.
struct ReadLevel {
  Int64& limit;
  int32_t& depth;
  Int64 savedLimit;
  ReadLevel(Int64& l, int32_t& d, Int64 newLimit) : limit(l), depth(d), savedLimit(l) {
    limit = newLimit;
    ++depth;
  }
  ~ReadLevel() {
    limit = savedLimit;
    --depth;
  }
  ReadLevel(const ReadLevel&) = delete;
  ReadLevel& operator=(const ReadLevel&) = delete;
};

}  // namespace

void TBaseNodeTree::registerLiveTree(TBaseNodeTree* tree, bool live) {
  std::lock_guard<std::mutex> guard(liveTreesLock());
  auto& trees = liveTrees();
  if (live)
    trees.push_back(tree);
  else
    trees.erase(std::remove(trees.begin(), trees.end(), tree), trees.end());
}

TBaseNodeTree* TBaseNodeTree::TreeOfNode(PNTNode node) {
  if (!node) return nullptr;
  PNTNode root = node;
  while (root->Parent) root = root->Parent;
  std::lock_guard<std::mutex> guard(liveTreesLock());
  for (TBaseNodeTree* tree : liveTrees())
    if (tree->root_ == root) return tree;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Writing

void TBaseNodeTree::PatchChunkSize(TStream& stream, Int64 startPos, Int64 endPos) {
  stream.SetPosition(startPos + 4);
  stream.WriteValue<int32_t>(static_cast<int32_t>(endPos - startPos - 8));
  stream.SetPosition(endPos);
}

void TBaseNodeTree::StreamWriteNode(TStream& stream, PNTNode node) {
  if (options_->MiscOptions().Contains(moInitOnSave)) {
    if (!node->Has(nsInitialized)) InitNode(node);
    if (node->Has(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  }
  const Int64 start = stream.Position();
  writeChunkHeader(stream, ChunkAnchor);
  StreamWriteNodeChunks(stream, node);
  PatchChunkSize(stream, start, stream.Position());
}

void TBaseNodeTree::StreamWriteNodeChunks(TStream& stream, PNTNode node) {
  const Int64 start = stream.Position();
  // Children are written for initialized nodes only; the count says how many
  // follow, so that a reader never takes the next sibling for a child.
  const bool withChildren = node->Has(nsInitialized);
  const Cardinal childCount = withChildren ? node->ChildCount : 0;
  Byte chunk[8 + BaseBodySize2] = {};
  const int32_t type = ChunkBase;
  const Cardinal height = node->NodeHeight;
  const TNTNodeStates states = static_cast<TNTNodeStates>(node->States & ~TransientStatesWritten);
  std::memcpy(chunk, &type, 4);
  std::memcpy(chunk + 8, &childCount, 4);
  std::memcpy(chunk + 12, &height, 4);
  std::memcpy(chunk + 16, &states, 2);
  chunk[18] = node->Alignment;
  chunk[19] = node->CheckState;
  chunk[20] = node->CheckType;
  stream.WriteBuffer(chunk, sizeof chunk);
  if (withChildren)
    for (PNTNode child = node->FirstChild; child; child = child->NextSibling) StreamWriteNode(stream, child);
  PatchChunkSize(stream, start, stream.Position());

  const Int64 userStart = stream.Position();
  writeChunkHeader(stream, ChunkUserData);
  SaveNodeData(node, stream);
  if (stream.Position() == userStart + 8) {
    // Nothing was written: the empty chunk goes again.
    stream.SetPosition(userStart);
    if (stream.Size() == userStart + 8) stream.SetSize(userStart);
  } else {
    PatchChunkSize(stream, userStart, stream.Position());
  }
}

void TBaseNodeTree::SaveToStream(TStream& stream, PNTNode node) {
  stream.WriteBuffer(StreamHeaderWords, sizeof StreamHeaderWords);
  if (node && node != root_) {
    stream.WriteValue<Cardinal>(1);
    StreamWriteNode(stream, node);
  } else {
    stream.WriteValue<Cardinal>(root_->ChildCount);
    for (PNTNode run = root_->FirstChild; run; run = run->NextSibling) StreamWriteNode(stream, run);
  }
  SaveTree(stream);
}

void TBaseNodeTree::WriteTreeDataNodes(TStream& stream, bool forClipboard) {
  const TNodeArray nodes = forClipboard ? GetSortedCutCopySet(true) : GetSortedSelection(true);
  for (PNTNode node : nodes) StreamWriteNode(stream, node);
}

std::string TBaseNodeTree::RenderTreeDataBlock(bool forClipboard) {
  TBytesStream stream;
  stream.WriteValue<Cardinal>(0);
  WriteTreeDataNodes(stream, forClipboard);
  const Int64 size = stream.Size();
  if (size == 4) return {};
  stream.SetPosition(0);
  stream.WriteValue<Cardinal>(static_cast<Cardinal>(size - 4));
  const TBytes& bytes = stream.Bytes();
  return std::string(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(size));
}

// ---------------------------------------------------------------------------
// Reading

void TBaseNodeTree::StreamReadNode(TStream& stream, int32_t version, PNTNode node) {
  const Int64 streamSize = stream.Size();
  const Int64 limit = streamReadDepth_ == 0 ? streamSize : streamReadLimit_;
  if (streamReadDepth_ >= MaxStreamDepth) raiseBadEnd();
  const Int64 start = stream.Position();
  if (limit - start < 8) {
    if (streamSize - start < 8) raiseTooSmall();
    raiseBadEnd();
  }
  ChunkHeader header;
  stream.ReadBuffer(&header, sizeof header);
  if (header.Type != ChunkAnchor) raiseAnchorMissing();
  if (header.Size < 0) raiseBadEnd();
  const Int64 end = start + 8 + header.Size;
  if (end > limit) {
    if (end > streamSize) raiseTooSmall();
    raiseBadEnd();
  }
  ReadLevel level(streamReadLimit_, streamReadDepth_, end);
  while (stream.Position() < end) {
    const Int64 chunkStart = stream.Position();
    if (end - chunkStart < 8) raiseBadEnd();
    ChunkHeader chunk;
    stream.ReadBuffer(&chunk, sizeof chunk);
    if (chunk.Size < 0 || chunk.Size > end - chunkStart - 8) raiseBadEnd();
    streamReadLimit_ = end;
    StreamReadChunk(stream, version, node, chunk.Type, chunk.Size);
    // A subclass's chunk handler is held to its chunk as well.
    if (stream.Position() != chunkStart + 8 + chunk.Size) stream.SetPosition(chunkStart + 8 + chunk.Size);
  }
  if (stream.Position() != end) raiseBadEnd();
}

bool TBaseNodeTree::StreamReadChunk(TStream& stream, int32_t version, PNTNode node, int32_t chunkType,
                                    int32_t chunkSize) {
  const Int64 chunkEnd = stream.Position() + chunkSize;
  switch (chunkType) {
    case ChunkBase: {
      const int32_t bodySize = version < 2 ? BaseBodySize1 : BaseBodySize2;
      if (chunkSize < bodySize) raiseBadEnd();
      Byte body[BaseBodySize2] = {};
      stream.ReadBuffer(body, bodySize);
      Cardinal declared;
      Cardinal height;
      std::memcpy(&declared, body, 4);
      std::memcpy(&height, body + 4, 4);
      TNTNodeStates states;
      int offset;
      if (version < 2) {
        const Byte b = body[8];
        states = static_cast<TNTNodeStates>(b + ((b & 0x80) ? nsSelected : nsVisible));
        offset = 9;
      } else {
        std::memcpy(&states, body + 8, 2);
        offset = 10;
      }
      node->States = static_cast<TNTNodeStates>(states & ~TransientStatesRead);
      node->NodeHeight = static_cast<Word>(height);
      node->SubtreeHeight = node->NodeHeight;
      node->Alignment = body[offset];
      // Out-of-range check values would index past the check images.
      node->CheckState = body[offset + 1] <= csMixedPressed ? body[offset + 1] : static_cast<Byte>(csUncheckedNormal);
      node->CheckType = body[offset + 2] <= ctButton ? body[offset + 2] : static_cast<Byte>(ctNone);
      node->ChildCount = 0;
      node->FirstChild = nullptr;
      node->LastChild = nullptr;
      if (declared > static_cast<Cardinal>((chunkEnd - stream.Position()) / MinNodeSize(version))) raiseBadEnd();
      if (declared > 0) node->Include(nsHasChildren);
      // The count grows with each child linked, so that a failure part-way
      // leaves a node whose count matches the children it has.
      for (Cardinal i = 0; i < declared; ++i) {
        PNTNode child = MakeNewNode();
        PNTNode last = node->LastChild;
        child->Parent = node;
        child->PrevSibling = last;
        child->Index = last ? last->Index + 1 : 0;
        if (last)
          last->NextSibling = child;
        else
          node->FirstChild = child;
        node->LastChild = child;
        ++node->ChildCount;
        streamReadLimit_ = chunkEnd;
        const Int64 childStart = stream.Position();
        try {
          StreamReadNode(stream, version, child);
        } catch (...) {
          // A child of which not even the base chunk could be read is no
          // node of the stream: it goes again.
          if (stream.Position() <= childStart + 8) {
            node->LastChild = last;
            if (last)
              last->NextSibling = nullptr;
            else
              node->FirstChild = nullptr;
            --node->ChildCount;
            noteDisplayChange();
            DeleteNodeBlock(child);
          }
          throw;
        }
      }
      return true;
    }
    case ChunkUserData: {
      if (chunkSize <= 0) return true;
      const Int64 start = stream.Position();
      LoadNodeData(node == root_ ? nullptr : node, stream);
      const bool handled = stream.Position() > start;
      if (stream.Position() != start + chunkSize) stream.SetPosition(start + chunkSize);
      return handled;
    }
    default:
      stream.SetPosition(chunkEnd);
      return false;
  }
}

void TBaseNodeTree::StreamSkipNode(TStream& stream) {
  const Int64 start = stream.Position();
  if (stream.Size() - start < 8) raiseTooSmall();
  ChunkHeader header;
  stream.ReadBuffer(&header, sizeof header);
  if (header.Type != ChunkAnchor) raiseAnchorMissing();
  if (header.Size < 0) raiseBadEnd();
  if (start + 8 + header.Size > stream.Size()) raiseTooSmall();
  stream.SetPosition(start + 8 + header.Size);
}

void TBaseNodeTree::LoadSubtreeFromStream(TStream& stream, int32_t version, PNTNode node) {
  Assert(node != nullptr && node != root_, "The root node cannot be loaded from stream.");
  PNTNode parent = node->Parent;
  auto shownRows = [this](PNTNode n) -> int64_t {
    return FullyVisible(n) ? CountVisibleDescendants(n) + (IsHiddenByFilter(n) ? 0 : 1) : 0;
  };
  auto heightInParent = [parent](PNTNode n) -> int64_t {
    return parent->Has(nsExpanded) && n->Has(nsVisible) ? n->SubtreeHeight : 0;
  };
  const int64_t rowsBefore = shownRows(node);
  const int64_t countBefore = node->SubtreeCount;
  const int64_t heightBefore = heightInParent(node);

  // Whatever was read stays, so the bookkeeping runs after a failure too.
  auto fixUp = [&] {
    RecountSubtree(node);
    AdjustTotalCount(parent, static_cast<int64_t>(node->SubtreeCount) - countBefore, true);
    const int64_t heightAfter = heightInParent(node);
    if (heightAfter != heightBefore) AdjustTotalHeight(parent, heightAfter - heightBefore, true);
    visibleCount_ = static_cast<Cardinal>(static_cast<int64_t>(visibleCount_) + shownRows(node) - rowsBefore);
    if (IsUpdating())
      states_.Include(stVisibilityChanged);
    else
      UpdateAllChildrenHidden(parent);

    TNodeArray selected;
    const bool multi = options_->SelectionOptions().Contains(slMultiSelect);
    for (PNTNode run = node; run; run = nextInSubtree(run, node)) {
      if (!run->Has(nsSelected)) continue;
      // A stored selection is not yet in the selection array; the array
      // takes the nodes over in one step.
      run->Exclude(nsSelected);
      if (multi) selected.push_back(run);
    }
    if (!selected.empty()) AddNodesToSelection(selected.data(), static_cast<int32_t>(selected.size()), true);
    InvalidateCache();
  };

  const bool outermost = streamReadDepth_ == 0;
  try {
    if (outermost) streamReadLimit_ = stream.Size();
    StreamReadNode(stream, version, node);
  } catch (...) {
    fixUp();
    throw;
  }
  fixUp();
}

PNTNode TBaseNodeTree::LoadNodeFromStream(TStream& stream, PNTNode target, TNTNodeAttachMode mode,
                                          int32_t version) {
  if (!target || target == root_) {
    target = root_;
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  }
  if (mode == amNoWhere) mode = amAddChildLast;
  PNTNode node = MakeNewNode();
  LinkNode(node, target, mode, this);
  const Int64 start = stream.Position();
  try {
    LoadSubtreeFromStream(stream, version, node);
  } catch (...) {
    // Nothing of the node was read: the tree keeps no empty stand-in.
    if (stream.Position() <= start + 8) DeleteNode(node, true);
    throw;
  }
  return node;
}

void TBaseNodeTree::LoadFromStream(TStream& stream) {
  if (options_->MiscOptions().Contains(moReadOnly)) return;
  // The header is checked before anything is cleared, so that a wrong file
  // leaves the tree as it was.
  const Int64 start = stream.Position();
  const Int64 available = stream.Size() - start;
  if (available < 12) raiseTooSmall();
  Word header[6];
  stream.ReadBuffer(header, sizeof header);
  if (header[0] != StreamHeaderWords[0] || header[1] != StreamHeaderWords[1] || header[2] != StreamHeaderWords[2] ||
      header[5] != StreamHeaderWords[5])
    ShowError("Unable to load tree structure, the format is wrong.", hcTFWrongStreamFormat);
  const int32_t version = header[3];
  if (version > StreamVersion)
    ShowError("Unable to load tree structure, the version is unknown.", hcTFWrongStreamVersion);
  Cardinal count = 0x7FFFFFFF;
  if (version >= 2) {
    if (available < 16) raiseTooSmall();
    count = stream.ReadValue<Cardinal>();
    if (count > static_cast<Cardinal>((available - 16) / MinNodeSize(version))) raiseTooSmall();
  }
  Clear();
  BeginUpdate();
  try {
    while (count > 0 && stream.Position() < stream.Size()) {
      LoadNodeFromStream(stream, root_, amAddChildLast, version);
      --count;
    }
    NodeCopied(nullptr);
    LoadTree(stream);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TBaseNodeTree::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

// ---------------------------------------------------------------------------
// Moving into another tree

void TBaseNodeTree::MoveTo(PNTNode source, TBaseNodeTree& targetTree, TNTNodeAttachMode mode, bool childrenOnly) {
  MoveTo(source, targetTree.RootNode(), mode, childrenOnly);
}

void TBaseNodeTree::moveIntoOtherTree(PNTNode source, TBaseNodeTree* targetTree, PNTNode target,
                                      TNTNodeAttachMode mode, bool childrenOnly) {
  // A read-only target would take nothing while the source lost its nodes.
  if (targetTree->Options().MiscOptions().Contains(moReadOnly)) return;
  PNTNode targetRoot = targetTree->RootNode();
  if (target == targetRoot) {
    if (mode == amInsertBefore) mode = amAddChildFirst;
    if (mode == amInsertAfter) mode = amAddChildLast;
  } else if (!target->Has(nsInitialized)) {
    targetTree->InitNode(target);
  } else if (target->Has(nsHasChildren) && target->ChildCount == 0) {
    targetTree->InitChildren(target);
  }
  if (!NodeMoving(source, target == targetRoot ? nullptr : target)) return;

  TNodeArray nodes;
  if (childrenOnly) {
    for (PNTNode child = source->FirstChild; child; child = child->NextSibling) nodes.push_back(child);
  } else {
    nodes.push_back(source);
  }
  if (nodes.empty()) return;
  TMemoryStream stream;
  for (PNTNode node : nodes) StreamWriteNode(stream, node);
  stream.SetPosition(0);

  targetTree->BeginUpdate();
  try {
    // The nodes keep their order: after the first, each goes behind the one
    // read before it where the mode would otherwise reverse them.
    PNTNode destination = target;
    TNTNodeAttachMode nextMode = mode;
    for (size_t i = 0; i < nodes.size(); ++i) {
      PNTNode added = targetTree->LoadNodeFromStream(stream, destination, nextMode);
      if (mode == amInsertAfter || mode == amAddChildFirst) {
        destination = added;
        nextMode = amInsertAfter;
      }
      NodeMoved(added);
    }
  } catch (...) {
    targetTree->EndUpdate();
    throw;
  }
  targetTree->EndUpdate();

  // Only nodes that arrived are taken from the source.
  BeginUpdate();
  try {
    if (childrenOnly)
      DeleteChildren(source, true);
    else
      DeleteNode(source, true);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  targetTree->InvalidateCache();
  if (!targetTree->IsUpdating()) {
    targetTree->ValidateCache();
    targetTree->UpdateScrollBars(true);
    targetTree->Invalidate();
  }
}

}  // namespace px
