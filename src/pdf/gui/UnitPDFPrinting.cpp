#include "pdf/gui/UnitPDFPrinting.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "pdf/UnitPDFParser.h"
#include "pdf/gui/UnitPDFRenderer.h"

namespace px {

TPDFPrinting::TPDFPrinting() : renderer_(std::make_unique<TPDFRenderer>()) {}

TPDFPrinting::~TPDFPrinting() = default;

void TPDFPrinting::SetDocument(TPDFCollection* document) {
  document_ = document;
  renderer_->SetCollection(document);
}

bool TPDFPrinting::Print(const std::string& title, int32_t fromPage, int32_t toPage, int32_t copies, bool collate) {
  if (!document_) throw Exception("TPDFPrinting: No PDF document assigned.");
  TPrinter& printer = *Printer();
  printer.Title = title;
  printer.SetOrientation(poPortrait);

  std::vector<int32_t> pages;
  const int32_t count = document_->GetPageCount();
  for (int32_t j = 1; j <= count; ++j)
    if (!(fromPage != 0 && j < fromPage) && !(toPage != 0 && j > toPage)) pages.push_back(j);
  std::vector<int32_t> order;
  if (collate) {
    for (int32_t copy = 0; copy < copies; ++copy) order.insert(order.end(), pages.begin(), pages.end());
  } else {
    for (int32_t j : pages) order.insert(order.end(), static_cast<size_t>(std::max(copies, 0)), j);
  }

  bool started = false;
  sheets_ = 0;
  try {
    for (int32_t j : order) {
      pageNumber_ = j;
      if (!started) {
        printer.BeginDoc();
        started = true;
      } else {
        printer.NewPage();
      }
      ++sheets_;
      printPage(printer);
    }
    if (started) printer.EndDoc();
  } catch (...) {
    if (printer.Printing()) printer.Abort();
    throw;
  }
  return started;
}

void TPDFPrinting::printPage(TPrinter& printer) {
  Assert(document_ && printer.Printing(), "TPDFPrinting: no document or not printing");
  TPDFBox box;
  if (!document_->GetCropBox(pageNumber_, box)) document_->GetMediaBox(pageNumber_, box);

  TPDFPrintingDevice& d = device_;
  d.OffsetX = printer.GetDeviceCaps(PHYSICALOFFSETX);
  d.OffsetY = printer.GetDeviceCaps(PHYSICALOFFSETY);
  d.ResolutionX = printer.GetDeviceCaps(LOGPIXELSX);
  d.ResolutionY = printer.GetDeviceCaps(LOGPIXELSY);
  d.PrintableWidth = printer.GetDeviceCaps(HORZRES);
  d.PrintableHeight = printer.GetDeviceCaps(VERTRES);
  d.PhysicalWidth = printer.GetDeviceCaps(PHYSICALWIDTH);
  d.PhysicalHeight = printer.GetDeviceCaps(PHYSICALHEIGHT);
  d.MarginRight = d.PhysicalWidth - d.PrintableWidth - d.OffsetX;
  d.MarginBottom = d.PhysicalHeight - d.PrintableHeight - d.OffsetY;
  Assert(d.ResolutionX >= 1 && d.ResolutionY >= 1, "TPDFPrinting: printer without a resolution");

  const double sheetWidth = d.PhysicalWidth * 72.0 / d.ResolutionX;
  const double sheetHeight = d.PhysicalHeight * 72.0 / d.ResolutionY;
  const double pageWidth = std::abs(double(box.Right) - box.Left);
  const double pageHeight = std::abs(double(box.Top) - box.Bottom);
  const bool pageWide = pageWidth >= pageHeight, sheetWide = sheetWidth >= sheetHeight;

  renderer_->DC = printer.Canvas().Device();
  renderer_->PageNumber = pageNumber_;
  try {
    renderer_->RenderRotated(box, Rect(-d.OffsetX, -d.OffsetY, d.PhysicalWidth - d.OffsetX, d.PhysicalHeight - d.OffsetY),
                             pageWide != sheetWide ? 1 : 0);
  } catch (...) {
    renderer_->DC = nullptr;
    throw;
  }
  renderer_->DC = nullptr;
}

}  // namespace px
