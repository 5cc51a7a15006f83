// A "Node Tree Data" block as another program may put it on the clipboard:
// pasted into a string tree through the same data object view a paste
// uses. Whatever it holds, the tree's counts must agree with a fresh walk.
#include <QApplication>
#include <QMimeData>
#include <cstdint>
#include <cstdlib>

#include "platform/gui/DataObjects.h"
#include "ui/tree/NodeTreesString.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_tree_clipboard";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QMimeData mime;
  mime.setData("Node Tree Data", QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  px::TObjectPtr<px::TCustomNodeStringTree> tree = px::MakeObject<px::TCustomNodeStringTree>(nullptr);
  tree->AddChild(nullptr);
  try {
    tree->ProcessOLEData(nullptr, px::DataObjectOfMimeData(&mime), nullptr, px::amAddChildLast, false);
  } catch (const px::Exception&) {
  }
  px::Cardinal walked = 0;
  for (px::PNTNode n = tree->GetFirstNoInit(); n; n = tree->GetNextNoInit(n)) ++walked;
  if (walked + 1 != tree->RootNode()->SubtreeCount) std::abort();
  return 0;
}
