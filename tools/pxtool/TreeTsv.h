#pragma once
// A string tree built from tab-separated text, for the tree commands.
//
// The first line holds the column captions (an empty line: no columns);
// every other line is one node: its level, optionally "c" or "u" (a check
// box, checked or not), then its cells. "\t", "\n" and "\\" stand for a tab,
// a line feed and a backslash inside a field. Every node is selected and
// expanded.
#include <iosfwd>
#include <string>
#include <vector>

#include "ui/tree/NodeTreesString.h"

namespace px::pxtool {

class TTsvTree : public TCustomNodeStringTree {
 public:
  TTsvTree();
  // Raises EConvertError for a line that is not a node.
  void LoadTsv(const std::string& text);
  // The cells of each node (index kept in the node's data, 0 for none).
  std::vector<std::vector<UnicodeString>> Cells;

 private:
  int32_t& rowOf(PNTNode node) { return *GetNodeData<int32_t>(node); }
};

// The escapes of the TSV fields and of dumped captions.
std::string EscapeTsvField(const std::string& text);

}  // namespace px::pxtool

namespace px::pxtool {
// pxtool tree dump FILE, tree export FORMAT TSV.
int runTreeTransfer(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// pxtool tree clip copy TSV, tree clip paste.
int runTreeClip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// One line per node in tree order: level, child count, height, states (4 hex
// digits), alignment, check state, check type, escaped caption.
void DumpTsvTree(TTsvTree& tree, std::ostream& out);
// The whole file as bytes.
std::string ReadTextFile(const std::string& path);
// Prints "ENodeTreeError <code>: <message>" and answers the exit code 1.
int ReportTreeError(const ENodeTreeError& e, std::ostream& out, std::ostream& err);
}  // namespace px::pxtool
