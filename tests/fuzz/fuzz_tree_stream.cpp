// Node streams read into a string tree (multi-select, so stored selections
// are taken over); what loads is saved and loaded again.
#include <QApplication>
#include <cstdint>
#include <cstdlib>

#include "platform/core/Streams.h"
#include "ui/tree/NodeTreesString.h"

namespace {

void loadSaveLoad(const uint8_t* data, size_t size) {
  px::TObjectPtr<px::TCustomNodeStringTree> tree = px::MakeObject<px::TCustomNodeStringTree>(nullptr);
  tree->Options().SetSelectionOptions({px::slMultiSelect});
  px::TBytesStream in(px::TBytes(data, data + size));
  try {
    tree->LoadFromStream(in);
  } catch (const px::Exception&) {
  }
  px::TBytesStream out;
  tree->SaveToStream(out);
  out.SetPosition(0);
  px::TObjectPtr<px::TCustomNodeStringTree> again = px::MakeObject<px::TCustomNodeStringTree>(nullptr);
  again->LoadFromStream(out);
}

}  // namespace

// fontconfig keeps its configuration for the process on purpose; the leak
// check of an input must not count it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_tree_stream";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  // One stream of one node, read once before fuzzing, so that what the
  // string tree sets up once is in place.
  px::TObjectPtr<px::TCustomNodeStringTree> tree = px::MakeObject<px::TCustomNodeStringTree>(nullptr);
  tree->AddChild(nullptr);
  px::TBytesStream seed;
  tree->SaveToStream(seed);
  loadSaveLoad(seed.Bytes().data(), seed.Bytes().size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  loadSaveLoad(data, size);
  return 0;
}
