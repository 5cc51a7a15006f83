// libFuzzer target: the input is a whole PDF file; its first page is drawn
// on the trace device and on a small image through the Qt device.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "platform/gui/TraceDevice.h"

namespace {

using namespace px;

// The application lives until the process ends: destroying it from an exit
// handler, after libFuzzer's own clean-up, crashes inside Qt.
void ensureApplication() {
  static QGuiApplication* application = nullptr;
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "fuzz_pdf_render";
  static char* argv[] = {name, nullptr};
  application = new QGuiApplication(argc, argv);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ensureApplication();
  std::unique_ptr<TPDFReader> reader;
  try {
    reader = std::make_unique<TPDFReader>(TPDFBuffer(data, data + size));
    if (reader->GetPageCount() < 1) return 0;
  } catch (const Exception&) {
    return 0;
  }
  TPDFRenderer renderer;
  renderer.SetCollection(reader.get());
  renderer.PageNumber = 1;
  try {
    TTraceDevice trace(72);
    renderer.DC = &trace;
    renderer.Render(TPDFBox{}, TRect{0, 0, 120, 160}, 1);
  } catch (const Exception&) {
  }
  try {
    QImage image(120, 160, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TQtPainterDevice device(&painter, 72);
    renderer.DC = &device;
    renderer.Render(TPDFBox{}, TRect{0, 0, 120, 160}, 2);
  } catch (const Exception&) {
  }
  return 0;
}
