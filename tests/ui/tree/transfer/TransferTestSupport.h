#pragma once
// A string tree that keeps the cells of its nodes, for the stream and export
// tests; and a check that a tree's counts match a fresh walk.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/tree/NodeTreesString.h"

namespace px::test {

struct CellTree {
  std::unique_ptr<TCustomNodeStringTree> tree = std::make_unique<TCustomNodeStringTree>(nullptr);
  std::vector<std::vector<UnicodeString>> cells;

  CellTree();
  ~CellTree();
  TCustomNodeStringTree* operator->() { return tree.get(); }
  // Adds a node with its cells below parent (nil: top level).
  PNTNode Add(PNTNode parent, std::vector<UnicodeString> nodeCells);
  // The main-column texts in tree order, joined by "|" (UTF-8).
  std::string Captions();
  void AddColumns(const std::vector<UnicodeString>& captions);
};

// Child counts, subtree counts and heights, the total and the visible count
// of the tree equal what a walk of its nodes gives.
void ExpectCountsMatchWalk(TBaseNodeTree& tree);

}  // namespace px::test
