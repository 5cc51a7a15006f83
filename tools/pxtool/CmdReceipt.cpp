// pxtool receipt parse FILE
// Feeds the file's bytes to the receipt printer capture as if they had come
// from the printer line and prints the receipt table in the text form of
// "pxtool dataset dump", or the capture's error and a non-zero exit.
#include <QCoreApplication>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>

#include "DataSetText.h"
#include "PxTool.h"
#include "device/UnitVantorel9183.h"
#include "platform/core/Exceptions.h"

namespace px::pxtool {
namespace {

int runReceipt(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2 || args[0] != "parse") return usageError(err);
  std::ifstream in(args[1], std::ios::binary);
  if (!in) {
    err << "Cannot open file \"" << args[1] << "\".\n";
    return 1;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();

  // The capture watches for serial ports coming and going through Qt's
  // socket notifier, which needs an application object; without one Qt
  // writes a warning to stderr on every run. No event loop runs here, so no
  // port is ever opened.
  int argc = 1;
  char name[] = "pxtool";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

  auto capture = MakeObject<TVantorel9183PrinterCapture>();
  IMemDataSet result;
  bool failed = false;
  capture->OnResult = [&](TObject*) {
    if (!result) result = capture->Receipt();
  };
  capture->OnError = [&](TObject*) { failed = true; };
  try {
    capture->FeedText(bytes.str());
  } catch (const Exception& e) {
    err << e.Message() << "\n";
    return 1;
  }
  if (failed && !result) {
    err << "Receipt rejected: a row or the totals do not add up, or a line is malformed\n";
    return 1;
  }
  if (!result) {
    err << "No complete receipt found\n";
    return 1;
  }
  dstext::WriteTable(out, *result);
  return 0;
}

const PxCommand receiptCommand("receipt", "receipt parse FILE", runReceipt);

}  // namespace
}  // namespace px::pxtool
