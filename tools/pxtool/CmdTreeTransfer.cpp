// pxtool tree dump FILE
//   Loads a node stream into a string tree and prints one line per node in
//   tree order: level, child count, height, states (4 hex digits), alignment,
//   check state, check type and the caption, tab-separated.
// pxtool tree export html|cfhtml|rtf|text|unicode|csv|stream|block TSV
//   Builds a string tree from the TSV file (see TreeTsv.h) and writes the
//   library's bytes of the export of its (selected) nodes.
// A stream error prints "ENodeTreeError <code>: <message>" (after the dump of
// the nodes read up to it) and exits with 1.
#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>

#include "PxTool.h"
#include "PxToolCommon.h"
#include "TreeTsv.h"
#include "platform/core/CodePages.h"
#include "platform/core/Streams.h"

namespace px::pxtool {

namespace {

std::string exportTree(TTsvTree& tree, const std::string& format) {
  if (format == "html") return tree.ContentToHTML(tstSelected);
  if (format == "cfhtml") return tree.ContentToCFHTML(tstSelected);
  if (format == "rtf") return tree.ContentToRTF(tstSelected);
  if (format == "text") return tree.ContentToText(tstSelected, "\t");
  if (format == "csv") return tree.ContentToCSV(tstSelected);
  if (format == "unicode") {
    const UnicodeString text = tree.ContentToUnicode(tstSelected, u"\t");
    return std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size());
  }
  if (format == "block") return tree.RenderTreeDataBlock(false);
  TStringStream stream;
  tree.SaveToStream(stream);
  return stream.DataString();
}

}  // namespace

std::string ReadTextFile(const std::string& path) {
  TFileStream file(path, fmOpenRead);
  TStringStream text;
  text.CopyFrom(file, 0);
  return text.DataString();
}

int ReportTreeError(const ENodeTreeError& e, std::ostream& out, std::ostream& err) {
  out.flush();
  err << "ENodeTreeError " << e.HelpContext << ": " << e.Message() << "\n";
  return 1;
}

void DumpTsvTree(TTsvTree& tree, std::ostream& out) {
  char states[8];
  const TColumnIndex main = tree.Header().MainColumn();
  for (PNTNode node = tree.GetFirstNoInit(); node; node = tree.GetNextNoInit(node)) {
    std::snprintf(states, sizeof states, "%04X", node->States);
    out << tree.GetNodeLevel(node) << '\t' << node->ChildCount << '\t' << node->NodeHeight << '\t' << states << '\t'
        << int(node->Alignment) << '\t' << int(node->CheckState) << '\t' << int(node->CheckType) << '\t'
        << EscapeTsvField(UnicodeToUtf8(tree.Text(node, main))) << '\n';
  }
}

int runTreeTransfer(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  static const char* formats[] = {"html", "cfhtml", "rtf", "text", "unicode", "csv", "stream", "block"};
  const bool dump = args.size() == 2 && args[0] == "dump";
  bool known = false;
  if (args.size() == 3 && args[0] == "export")
    for (const char* f : formats) known = known || args[1] == f;
  if (!dump && !known) return usageError(err);
  guiApplication();
  TObjectPtr<TTsvTree> tree = MakeObject<TTsvTree>();
  try {
    if (dump) {
      tree->LoadFromFile(args[1]);
      DumpTsvTree(*tree, out);
    } else {
      tree->LoadTsv(ReadTextFile(args[2]));
      out << exportTree(*tree, args[1]);
    }
  } catch (const ENodeTreeError& e) {
    // The nodes read before the error stay in the tree; they are shown.
    if (dump) DumpTsvTree(*tree, out);
    return ReportTreeError(e, out, err);
  }
  out.flush();
  return 0;
}

}  // namespace px::pxtool
