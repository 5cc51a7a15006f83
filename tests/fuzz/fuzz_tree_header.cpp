// The tree header's stream block (columns and header values), read into the
// header of a fresh tree; what reads is written and read back.
#include <QApplication>
#include <cstdint>
#include <cstdlib>

#include "platform/core/Streams.h"
#include "ui/tree/NodeTrees.h"

// fontconfig keeps its configuration for the process on purpose; the leak
// check of an input must not count it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_tree_header";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  px::TObjectPtr<px::TBaseNodeTree> tree = px::MakeObject<px::TBaseNodeTree>(nullptr);
  px::TBytesStream in(px::TBytes(data, data + size));
  try {
    tree->Header().LoadFromStream(in);
  } catch (const px::Exception&) {
    return 0;
  }
  px::TBytesStream out;
  tree->Header().SaveToStream(out);
  out.SetPosition(0);
  px::TObjectPtr<px::TBaseNodeTree> again = px::MakeObject<px::TBaseNodeTree>(nullptr);
  again->Header().LoadFromStream(out);
  return 0;
}
