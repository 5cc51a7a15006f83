#pragma once
// Shared fixture pieces of the tree tests: a tree on a recording host and a
// brute-force recount of everything the tree keeps incrementally.
#include <gtest/gtest.h>

#include <memory>

#include "ui/tree/NodeTrees.h"

namespace px::test {

// A tree whose window is a recording host.
struct HostedTree {
  TRecordingNodeTreeHost host{200, 100};
  std::unique_ptr<TBaseNodeTree> tree = std::make_unique<TBaseNodeTree>(nullptr);
  HostedTree() { tree->SetHost(&host); }
  ~HostedTree() {
    tree->BeforeDestruction();
    tree.reset();
  }
};

// Checks links, indexes, counts, subtree heights, the visible count, the
// position cache and the node/position lookups against a recount.
void ExpectConsistent(TBaseNodeTree& tree);

}  // namespace px::test
