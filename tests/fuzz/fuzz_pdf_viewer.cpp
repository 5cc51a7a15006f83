// libFuzzer target: the page viewer over a whole (small) PDF file: every
// page up to the eighth is shown and painted, the annotations under a grid
// of points are hovered and clicked, so that links, destinations (direct,
// by number, by name) and actions run; the document's open action is
// performed too. Nothing is ever opened outside: the shell hook swallows it.
#include <QApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFViewer.h"
#include "platform/gui/Forms.h"

namespace {

using namespace px;

constexpr int32_t ViewerWidth = 160, ViewerHeight = 120;

void click(TPDFViewer& viewer, int32_t x, int32_t y) {
  viewer.Perform(WM_MOUSEMOVE, 0, MakeLParam(x, y));
  viewer.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(x, y));
  viewer.Perform(WM_LBUTTONUP, 0, MakeLParam(x, y));
}

}  // namespace

// fontconfig keeps its configuration for the process on purpose; the leak
// check of an input must not count it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_pdf_viewer";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  SetShellOpenHook([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<TPDFReader> reader;
  try {
    reader = std::make_unique<TPDFReader>(TPDFBuffer(data, data + size));
  } catch (const Exception&) {
    return 0;
  }
  TObjectPtr<TForm> form = MakeObject<TForm>(nullptr);
  form->SetBounds(0, 0, ViewerWidth + 20, ViewerHeight + 20);
  TPDFViewer* viewer = CreateComponent<TPDFViewer>(form.get());
  viewer->SetParent(form.get());
  viewer->SetBounds(0, 0, ViewerWidth, ViewerHeight);
  viewer->SetZoom(25);
  viewer->SetInteractive(true);
  viewer->OnAnnotation = [](TObject*, TPDFDictionary*, TPDFAnnotationKind, bool&) {};
  try {
    viewer->SetDocument(reader.get(), false);
    const int32_t pages = std::min<int32_t>(static_cast<int32_t>(viewer->PageInfos().size()), 8);
    TBitmap shot;
    for (int32_t page = 1; page <= pages; ++page) {
      viewer->ShowPage(page);
      PaintControlTo(*viewer, shot);
      for (int32_t y = 4; y < ViewerHeight; y += 12)
        for (int32_t x = 4; x < ViewerWidth; x += 12)
          if (viewer->AnnotationAtPos(x, y)) {
            click(*viewer, x, y);
            viewer->ShowPage(page);
          }
    }
    TPDFDictionary* catalog = reader->GetCatalog();
    TPDFObject* open = catalog->GetObject(reader.get(), "OpenAction");
    if (auto* action = dynamic_cast<TPDFDictionary*>(open)) viewer->PerformAction(action);
    else viewer->FollowDestination(open);
  } catch (const Exception&) {
  }
  viewer->SetDocument(nullptr, false);
  return 0;
}
