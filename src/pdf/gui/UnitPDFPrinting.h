#pragma once
// TPDFPrinting prints pages of a read document on the current printer
// (Printer()), each page drawn by the renderer over the whole physical sheet,
// turned a quarter when its orientation differs from the sheet's.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/Classes.h"
#include "platform/gui/Printers.h"

namespace px {

class TPDFCollection;
class TPDFRenderer;

// The device measurements of the last printed sheet, in device pixels.
struct TPDFPrintingDevice {
  int32_t OffsetX = 0, OffsetY = 0;            // PHYSICALOFFSETX/Y
  int32_t MarginRight = 0, MarginBottom = 0;   // unprintable right and bottom
  int32_t ResolutionX = 0, ResolutionY = 0;    // LOGPIXELSX/Y
  int32_t PrintableWidth = 0, PrintableHeight = 0;  // HORZRES, VERTRES
  int32_t PhysicalWidth = 0, PhysicalHeight = 0;    // PHYSICALWIDTH/HEIGHT
};

class TPDFPrinting : public TObject {
 public:
  TPDFPrinting();
  ~TPDFPrinting() override;

  TPDFCollection* Document() const { return document_; }
  void SetDocument(TPDFCollection* document);
  TPDFRenderer& Renderer() { return *renderer_; }
  int32_t PageNumber() const { return pageNumber_; }
  // The sheets the last Print started.
  int32_t Sheets() const { return sheets_; }
  const TPDFPrintingDevice& Device() const { return device_; }

  // Prints pages FromPage..ToPage (0: the first, the last) Copies times,
  // collated or each page's copies in a row; true when a page was printed.
  // Raises Exception "TPDFPrinting: No PDF document assigned." without a
  // document. A failure aborts the job and passes on.
  bool Print(const std::string& title, int32_t fromPage, int32_t toPage, int32_t copies, bool collate);

 private:
  void printPage(TPrinter& printer);

  std::unique_ptr<TPDFRenderer> renderer_;
  TPDFCollection* document_ = nullptr;
  int32_t pageNumber_ = 0;
  int32_t sheets_ = 0;
  TPDFPrintingDevice device_;
};

}  // namespace px
