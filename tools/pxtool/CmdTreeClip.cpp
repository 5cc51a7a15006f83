// pxtool tree clip copy TSV
//   Builds a string tree from the TSV file (see TreeTsv.h), copies its nodes
//   to the clipboard, prints the MIME types the clipboard offers (one per
//   line) and serves them until another program takes the clipboard over;
//   then prints "released". On a display-less platform nothing else can take
//   the clipboard: it prints the types and ends.
// pxtool tree clip paste
//   Pastes the clipboard into an empty string tree: "pasted N" (the nodes the
//   tree then holds) or "refused", then the dump of the tree (as tree dump).
// A stream error prints "ENodeTreeError <code>: <message>" and exits with 1.
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "PxTool.h"
#include "PxToolCommon.h"
#include "TreeTsv.h"
#include "platform/core/Streams.h"

namespace px::pxtool {

namespace {

// The clipboard belongs to the display: with one, use it.
void clipboardApplication() {
  if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "xcb", 1);
  guiApplication();
}

}  // namespace

int runTreeClip(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const bool copy = args.size() == 3 && args[1] == "copy";
  const bool paste = args.size() == 2 && args[1] == "paste";
  if (!copy && !paste) return usageError(err);
  clipboardApplication();
  TObjectPtr<TTsvTree> tree = MakeObject<TTsvTree>();
  tree->ClipboardFormats().Add("Node Tree Data");
  tree->ClipboardFormats().Add("HTML Format");
  tree->ClipboardFormats().Add("Rich Text Format");
  tree->ClipboardFormats().Add("CSV");
  tree->ClipboardFormats().Add("Unicode text");
  tree->ClipboardFormats().Add("Plain text");
  try {
    if (copy) {
      tree->LoadTsv(ReadTextFile(args[2]));
      tree->CopyToClipboard();
      if (const QMimeData* m = QGuiApplication::clipboard()->mimeData())
        for (const QString& type : m->formats()) out << type.toStdString() << "\n";
      out.flush();
      if (QGuiApplication::platformName() == "offscreen") return 0;
      while (tree->TreeStates().Contains(stCopyPending)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
      }
      out << "released\n";
    } else {
      const bool pasted = tree->PasteFromClipboard();
      Cardinal count = 0;
      for (PNTNode n = tree->GetFirstNoInit(); n; n = tree->GetNextNoInit(n)) ++count;
      if (pasted)
        out << "pasted " << count << "\n";
      else
        out << "refused\n";
      DumpTsvTree(*tree, out);
    }
  } catch (const ENodeTreeError& e) {
    if (paste) DumpTsvTree(*tree, out);
    return ReportTreeError(e, out, err);
  }
  out.flush();
  return 0;
}

}  // namespace px::pxtool
