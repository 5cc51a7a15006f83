#pragma once
// The printer: a document of pages drawn on a canvas over the printer's
// painting device. Coordinates are device pixels of the printable area
// (0, 0 is its top-left corner); GetDeviceCaps tells the resolution, the
// printable size and where the printable area lies on the sheet.
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"

class QPrinter;
class QPainter;

namespace px {

class TAtomicFileStream;

PX_DECLARE_EXCEPTION(EPrinter, Exception);

enum TPrinterOrientation { poPortrait, poLandscape };

// Device measurement indexes for GetDeviceCaps.
constexpr int HORZRES = 8, VERTRES = 10, LOGPIXELSX = 88, LOGPIXELSY = 90, PHYSICALWIDTH = 110,
              PHYSICALHEIGHT = 111, PHYSICALOFFSETX = 112, PHYSICALOFFSETY = 113;

class TPrinter {
 public:
  TPrinter();
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  // Names of the installed printers.
  std::vector<std::string> Printers() const;
  // -1: the default printer. Raises EPrinter "Printer index out of range"
  // for an index past the list, "Printing in progress" while printing.
  Integer PrinterIndex() const { return printerIndex_; }
  void SetPrinterIndex(Integer index);
  // Print to a PDF file instead of a printer (empty: the printer).
  void SetOutputFileName(const std::string& fileName);

  std::string Title;
  Integer Copies = 1;
  TPrinterOrientation Orientation() const;
  void SetOrientation(TPrinterOrientation value);
  // Sheet size in millimetres; both at least 1.
  void SetPageSizeMM(double width, double height);

  // Starts a document; raises EPrinter "Printing in progress" when one is
  // running and "Printer selected is not valid" when the device refuses.
  // Printed into a file, the document goes to a new file beside it, which
  // replaces the file only at EndDoc and only when the document is whole;
  // a file that cannot be written raises EFCreateError naming the file and
  // the reason, at BeginDoc or at EndDoc.
  void BeginDoc();
  // Raise EPrinter "Printer is not currently printing" without a document.
  void NewPage();
  void EndDoc();
  // Throws the document away (nothing when not printing); a document
  // printed into a file leaves the file as it was.
  void Abort();
  bool Printing() const { return printing_; }
  bool Aborted() const { return aborted_; }
  Integer PageNumber() const { return pageNumber_; }
  // Printable area in device pixels.
  int32_t PageWidth() const;
  int32_t PageHeight() const;
  int GetDeviceCaps(int index) const;
  // Draws on the current page (raises EPrinter when not printing).
  TCanvas& Canvas();

  QPrinter* QtPrinter() const { return printer_.get(); }
  // Takes over what a dialog changed on the Qt printer directly: the chosen
  // printer's index and the number of copies.
  void DeviceSettingsChanged();

 private:
  void checkPrinting() const;
  void commitFile(bool painted);
  void dropFile() noexcept;
  void renewEngine();
  EFCreateError unwrittenError() const;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<TAtomicFileStream> file_;
  std::string outputFileName_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<TCanvasDevice> device_;
  TCanvas canvas_;
  Integer printerIndex_ = -1;
  bool printing_ = false;
  bool aborted_ = false;
  Integer pageNumber_ = 0;
};

// The current printer, made on first use.
TPrinter* Printer();
// Puts another printer in place; answers the old one, which the caller frees.
TPrinter* SetPrinter(TPrinter* printer);

}  // namespace px
