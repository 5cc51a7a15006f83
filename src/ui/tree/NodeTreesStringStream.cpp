// The string tree's chunk in node streams: the main column's text.
#include "ui/tree/NodeTreesString.h"

namespace px {

namespace {
constexpr int32_t ChunkCaption = 3;
}

void TCustomNodeStringTree::StreamWriteNodeChunks(TStream& stream, PNTNode node) {
  TBaseNodeTree::StreamWriteNodeChunks(stream, node);
  if (!StringTreeOptions().StringOptions().Contains(toSaveCaptions) || node == root_ ||
      !node->Has(nsInitialized))
    return;
  const UnicodeString caption = Text(node, header_->MainColumn());
  if (caption.empty()) return;
  const int32_t header[2] = {ChunkCaption, static_cast<int32_t>(2 * caption.size())};
  stream.WriteBuffer(header, sizeof header);
  stream.WriteBuffer(caption.data(), static_cast<Int64>(2 * caption.size()));
}

bool TCustomNodeStringTree::StreamReadChunk(TStream& stream, int32_t version, PNTNode node, int32_t chunkType,
                                            int32_t chunkSize) {
  if (chunkType != ChunkCaption) return TBaseNodeTree::StreamReadChunk(stream, version, node, chunkType, chunkSize);
  // The size was checked against the enclosing chunk, so it is bounded by
  // the stream; an odd last byte is skipped by the reader.
  UnicodeString caption(static_cast<size_t>(chunkSize / 2), u'\0');
  if (!caption.empty()) stream.ReadBuffer(caption.data(), static_cast<Int64>(2 * caption.size()));
  StoreNewText(node, header_->MainColumn(), caption);
  InvalidateNode(node);
  return true;
}

}  // namespace px
