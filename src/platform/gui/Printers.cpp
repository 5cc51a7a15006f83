#include "platform/gui/Printers.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/core/Streams.h"

namespace px {

namespace {

// The last bytes of a file, at most count.
std::string tailOf(TStream& file, Int64 count) {
  const Int64 size = file.Seek(0, soEnd);
  const Int64 n = std::min(size, count);
  std::string tail(static_cast<size_t>(n), '\0');
  file.Seek(size - n, soBeginning);
  tail.resize(static_cast<size_t>(file.Read(tail.data(), n)));
  return tail;
}

// Why a document could not be written whole: the print engine keeps the
// error to itself, so the folder's free room is the best evidence.
int unwrittenReason(const std::string& fileName) {
  std::string folder = std::filesystem::path(fileName).parent_path().string();
  struct statvfs room;
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &room) == 0 && room.f_bavail == 0) return ENOSPC;
  return EIO;
}

}  // namespace

TPrinter::TPrinter() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

TPrinter::~TPrinter() {
  if (printing_) Abort();
}

std::vector<std::string> TPrinter::Printers() const {
  std::vector<std::string> names;
  for (const QString& n : QPrinterInfo::availablePrinterNames()) names.push_back(n.toStdString());
  return names;
}

void TPrinter::SetPrinterIndex(Integer index) {
  if (printing_) throw EPrinter("Printing in progress");
  std::vector<std::string> names = Printers();
  if (index < -1 || index >= static_cast<Integer>(names.size())) throw EPrinter("Printer index out of range");
  printerIndex_ = index;
  printer_->setOutputFormat(QPrinter::NativeFormat);
  printer_->setPrinterName(index < 0 ? QPrinterInfo::defaultPrinterName() : QString::fromStdString(names[index]));
}

void TPrinter::DeviceSettingsChanged() {
  Copies = std::max(1, printer_->copyCount());
  if (printer_->outputFormat() != QPrinter::NativeFormat) return;
  std::vector<std::string> names = Printers();
  const std::string name = printer_->printerName().toStdString();
  printerIndex_ = -1;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) printerIndex_ = static_cast<Integer>(i);
}

void TPrinter::SetOutputFileName(const std::string& fileName) {
  if (printing_) throw EPrinter("Printing in progress");
  if (!fileName.empty()) printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(QString::fromStdString(fileName));
}

TPrinterOrientation TPrinter::Orientation() const {
  return printer_->pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
}

void TPrinter::SetOrientation(TPrinterOrientation value) {
  if (printing_) throw EPrinter("Printing in progress");
  printer_->setPageOrientation(value == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TPrinter::SetPageSizeMM(double width, double height) {
  if (printing_) throw EPrinter("Printing in progress");
  if (!(width >= 1 && height >= 1 && width <= 10000 && height <= 10000)) throw EPrinter("Invalid page size");
  printer_->setPageSize(QPageSize(QSizeF(width, height), QPageSize::Millimeter));
}

void TPrinter::BeginDoc() {
  if (printing_) throw EPrinter("Printing in progress");
  printer_->setDocName(QString::fromStdString(Title));
  printer_->setCopyCount(std::max<Integer>(1, Copies));
  if (printer_->outputFormat() == QPrinter::PdfFormat && !printer_->outputFileName().isEmpty()) {
    // Printed into a file: a new file beside it takes the document, so that
    // a job that fails (a full disk, an abort) leaves the old file as it was
    // and no partial document behind. A folder that cannot be written is
    // named here with its reason.
    outputFileName_ = printer_->outputFileName().toStdString();
    file_ = std::make_unique<TAtomicFileStream>(outputFileName_);
    printer_->setOutputFileName(QString::fromStdString(file_->TemporaryFileName()));
  }
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(printer_.get())) {
    painter_.reset();
    dropFile();
    throw EPrinter("Printer selected is not valid");
  }
  const int ppi = printer_->logicalDpiY();
  device_ = std::make_unique<TQtPainterDevice>(painter_.get(), ppi);
  canvas_.SetDevice(device_.get());
  canvas_.Font().SetPixelsPerInch(ppi);
  canvas_.SetOrigin({0, 0});
  printing_ = true;
  aborted_ = false;
  pageNumber_ = 1;
}

void TPrinter::checkPrinting() const {
  if (!printing_) throw EPrinter("Printer is not currently printing");
}

void TPrinter::NewPage() {
  checkPrinting();
  if (!printer_->newPage()) {
    // Into a file, the engine refuses a page once its writes have failed.
    if (file_) throw unwrittenError();
    throw EPrinter("Printer selected is not valid");
  }
  ++pageNumber_;
}

EFCreateError TPrinter::unwrittenError() const {
  return EFCreateError("Cannot create file \"" + outputFileName_ + "\". " +
                       std::system_category().message(unwrittenReason(outputFileName_)));
}

void TPrinter::EndDoc() {
  checkPrinting();
  canvas_.SetDevice(nullptr);
  bool ok = painter_->end();
  painter_.reset();
  device_.reset();
  printing_ = false;
  pageNumber_ = 0;
  commitFile(ok);
  if (!ok) throw EPrinter("Printer selected is not valid");
}

void TPrinter::commitFile(bool painted) {
  if (!file_) return;
  try {
    // The print engine does not report a failed write: a document it could
    // not write whole lacks its end-of-file marker.
    if (painted && tailOf(*file_, 64).find("%%EOF") == std::string::npos) throw unwrittenError();
    if (painted) file_->Commit();
  } catch (...) {
    dropFile();
    renewEngine();
    throw;
  }
  dropFile();
}

void TPrinter::renewEngine() {
  // Qt's PDF engine keeps its stream's error once a write has failed, so
  // every later document of this printer would come out empty. A new Qt
  // printer with the same settings has a new engine.
  auto fresh = std::make_unique<QPrinter>(QPrinter::HighResolution);
  fresh->setOutputFormat(printer_->outputFormat());
  if (printer_->outputFormat() == QPrinter::NativeFormat) fresh->setPrinterName(printer_->printerName());
  fresh->setOutputFileName(printer_->outputFileName());
  fresh->setPageLayout(printer_->pageLayout());
  fresh->setCopyCount(printer_->copyCount());
  fresh->setCollateCopies(printer_->collateCopies());
  fresh->setDocName(printer_->docName());
  fresh->setFullPage(printer_->fullPage());
  fresh->setColorMode(printer_->colorMode());
  fresh->setDuplex(printer_->duplex());
  fresh->setPrintRange(printer_->printRange());
  fresh->setFromTo(printer_->fromPage(), printer_->toPage());
  printer_ = std::move(fresh);
}

void TPrinter::dropFile() noexcept {
  if (!file_) return;
  file_.reset();
  printer_->setOutputFileName(QString::fromStdString(outputFileName_));
  outputFileName_.clear();
}

void TPrinter::Abort() {
  if (!printing_) return;
  printer_->abort();
  canvas_.SetDevice(nullptr);
  if (painter_->isActive()) painter_->end();
  painter_.reset();
  device_.reset();
  printing_ = false;
  aborted_ = true;
  pageNumber_ = 0;
  // A job printed into a file is thrown away as a printer drops it: no
  // partial document is left behind, and the file keeps what it held. The
  // job may have ended because the engine could not write.
  if (file_) {
    dropFile();
    renewEngine();
  }
}

int32_t TPrinter::PageWidth() const { return GetDeviceCaps(HORZRES); }
int32_t TPrinter::PageHeight() const { return GetDeviceCaps(VERTRES); }

int TPrinter::GetDeviceCaps(int index) const {
  QRectF paper = printer_->paperRect(QPrinter::DevicePixel);
  QRectF page = printer_->pageRect(QPrinter::DevicePixel);
  switch (index) {
    case HORZRES: return static_cast<int>(page.width());
    case VERTRES: return static_cast<int>(page.height());
    case LOGPIXELSX: return printer_->logicalDpiX();
    case LOGPIXELSY: return printer_->logicalDpiY();
    case PHYSICALWIDTH: return static_cast<int>(paper.width());
    case PHYSICALHEIGHT: return static_cast<int>(paper.height());
    case PHYSICALOFFSETX: return static_cast<int>(page.left() - paper.left());
    case PHYSICALOFFSETY: return static_cast<int>(page.top() - paper.top());
    default: return 0;
  }
}

TCanvas& TPrinter::Canvas() {
  checkPrinting();
  return canvas_;
}

namespace {
TPrinter*& currentPrinter() {
  static TPrinter* p = nullptr;
  return p;
}
}  // namespace

TPrinter* Printer() {
  if (!currentPrinter()) currentPrinter() = new TPrinter;
  return currentPrinter();
}

TPrinter* SetPrinter(TPrinter* printer) {
  TPrinter* old = currentPrinter();
  currentPrinter() = printer;
  return old;
}

}  // namespace px
