#include "TransferTestSupport.h"

#include "platform/core/CodePages.h"

namespace px::test {

CellTree::CellTree() {
  tree->SetNodeDataSize(static_cast<int32_t>(sizeof(int32_t)));
  tree->OnGetText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex column, TNTTextType type,
                           UnicodeString& text) {
    if (type != ttNormal) return;
    const int32_t row = *tree->GetNodeData<int32_t>(node);
    const size_t cell = column < 0 ? 0 : static_cast<size_t>(column);
    text = row > 0 && cell < cells[row - 1].size() ? cells[row - 1][cell] : UnicodeString();
  };
  tree->OnNewText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex column, const UnicodeString& text) {
    int32_t& row = *tree->GetNodeData<int32_t>(node);
    if (row == 0) {
      cells.emplace_back();
      row = static_cast<int32_t>(cells.size());
    }
    const size_t cell = column < 0 ? 0 : static_cast<size_t>(column);
    if (cells[row - 1].size() <= cell) cells[row - 1].resize(cell + 1);
    cells[row - 1][cell] = text;
  };
}

CellTree::~CellTree() {
  tree->BeforeDestruction();
  tree.reset();
}

PNTNode CellTree::Add(PNTNode parent, std::vector<UnicodeString> nodeCells) {
  PNTNode node = tree->AddChild(parent);
  cells.push_back(std::move(nodeCells));
  *tree->GetNodeData<int32_t>(node) = static_cast<int32_t>(cells.size());
  return node;
}

std::string CellTree::Captions() {
  std::string out;
  for (PNTNode n = tree->GetFirstNoInit(); n; n = tree->GetNextNoInit(n)) {
    if (n != tree->GetFirstNoInit()) out += "|";
    out += UnicodeToUtf8(tree->Text(n, tree->Header().MainColumn()));
  }
  return out;
}

void CellTree::AddColumns(const std::vector<UnicodeString>& captions) {
  for (const UnicodeString& c : captions) tree->Header().Columns().AddColumn()->SetText(c);
}

namespace {

struct Walk {
  Cardinal count = 0;
  Cardinal height = 0;
};

Walk walkSubtree(TBaseNodeTree& tree, PNTNode node, Cardinal& visible, bool shown) {
  Walk w{1, node->NodeHeight};
  Cardinal children = 0;
  for (PNTNode c = node->FirstChild; c; c = c->NextSibling) {
    ++children;
    EXPECT_EQ(c->Parent, node);
    const bool childShown = shown && node->Has(nsExpanded) && c->Has(nsVisible);
    if (childShown) ++visible;
    Walk cw = walkSubtree(tree, c, visible, childShown);
    w.count += cw.count;
    if (node->Has(nsExpanded) && c->Has(nsVisible)) w.height += cw.height;
  }
  EXPECT_EQ(node->ChildCount, children);
  EXPECT_EQ(node->SubtreeCount, w.count);
  EXPECT_EQ(node->SubtreeHeight, w.height);
  return w;
}

}  // namespace

void ExpectCountsMatchWalk(TBaseNodeTree& tree) {
  Cardinal visible = 0;
  Walk w = walkSubtree(tree, tree.RootNode(), visible, true);
  EXPECT_EQ(tree.TotalCount(), w.count - 1);
  EXPECT_EQ(tree.VisibleCount(), visible);
}

}  // namespace px::test
