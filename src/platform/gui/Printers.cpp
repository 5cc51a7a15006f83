#include "platform/gui/Printers.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <filesystem>

namespace px {

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
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(printer_.get())) {
    painter_.reset();
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
  if (!printer_->newPage()) throw EPrinter("Printer selected is not valid");
  ++pageNumber_;
}

void TPrinter::EndDoc() {
  checkPrinting();
  canvas_.SetDevice(nullptr);
  bool ok = painter_->end();
  painter_.reset();
  device_.reset();
  printing_ = false;
  pageNumber_ = 0;
  if (!ok) throw EPrinter("Printer selected is not valid");
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
  // partial document is left behind.
  if (printer_->outputFormat() == QPrinter::PdfFormat && !printer_->outputFileName().isEmpty()) {
    std::error_code ec;
    std::filesystem::remove(printer_->outputFileName().toStdString(), ec);
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
