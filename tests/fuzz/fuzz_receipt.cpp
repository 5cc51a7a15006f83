// libFuzzer target: receipt text through the printer capture's line machine.
// The input is fed in two parts (split where its first byte says) so that
// lines also arrive cut in the middle.
#include <cstddef>
#include <cstdint>
#include <string>

#include <QCoreApplication>

#include "device/UnitVantorel9183.h"

// The capture watches the serial ports through a Qt socket notifier, which
// wants an application object (Qt warns on every input without one). It is
// never destroyed: at exit, Qt's own globals may already be gone.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(*argc, *argv);
  (void)app;
  return 0;
}

namespace {

void feed(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t cut = text.empty() ? 0 : (data[0] * text.size()) / 256;
  auto capture = px::MakeObject<px::TVantorel9183PrinterCapture>();
  int results = 0;
  capture->OnResult = [&](px::TObject*) {
    ++results;
    // The table a result hands over ends with the sum row.
    px::TMemRecord* last = capture->Receipt()->Last();
    if (!last || last->GetAnsiString(0) != "<SUM>") __builtin_trap();
  };
  capture->OnError = [](px::TObject*) {};
  capture->FeedText(text.substr(0, cut));
  capture->FeedText(text.substr(cut));
  if (capture->State() < 0 || capture->State() > 3) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  feed(data, size);
  // No event loop runs here: what the capture posted (its window's first
  // device-change message, objects deleted later) would pile up from input
  // to input. Its window is gone by now, so delivering them does nothing.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return 0;
}
