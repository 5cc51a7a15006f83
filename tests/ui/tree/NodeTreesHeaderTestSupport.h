#pragma once
// A tree with columns on a recording host, for the header and column tests.
#include <vector>

#include "NodeTreesTestSupport.h"

namespace px::test {

struct ColumnsTree : HostedTree {
  TNTHeader& header = tree->Header();
  TNodeTreeColumns& columns = header.Columns();
  ColumnsTree(int count, int32_t clientWidth, int32_t clientHeight) {
    host.SetClientSize(clientWidth, clientHeight);
    for (int i = 0; i < count; ++i) columns.AddColumn();
  }
  std::vector<int32_t> widths() const {
    std::vector<int32_t> w;
    for (TColumnIndex i = 0; i < columns.Count(); ++i) w.push_back(columns.Items(i)->Width());
    return w;
  }
};

}  // namespace px::test
