#pragma once
// TPDFPrinter produces a whole PDF document in memory with the life cycle of
// a printer: BeginDoc, draw each page on Canvas, NewPage, EndDoc, and the
// finished file as a memory stream from Document.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitPDFParser.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/gui/UnitPDFCanvas.h"
#include "platform/core/Streams.h"

namespace px {

PX_DECLARE_EXCEPTION(EPDFPrinterException, EPDFException);

class TPDFFontCollection;
class TPDFImageCollection;
class TPDFLinkedDocument;

class TPDFPrinter {
 public:
  TPDFPrinter();
  ~TPDFPrinter();
  TPDFPrinter(const TPDFPrinter&) = delete;
  TPDFPrinter& operator=(const TPDFPrinter&) = delete;

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  TPDFCanvas& Canvas();
  // The recording device (the page's recording starts if it has not).
  TCanvasDevice* Handle();
  int32_t PixelsPerInch();
  int32_t LayerCount() const { return static_cast<int32_t>(layers_.size()); }
  int32_t AddLayer(const std::string& name, bool visible);
  void AddLayerToResource(int32_t index);
  // Draws page PageIndex (0-based) of the read document Source at this
  // point of the current page's drawing. Source is not owned; it must live
  // until EndDoc.
  void DrawLinkedPage(TPDFCollection* source, int32_t pageIndex);
  // What the last DrawLinkedPage added: source objects copied and the
  // resource names "X<FirstName>" up to before "X<NextName>".
  struct TLinkedPageImport {
    int32_t Objects = 0;
    int32_t FirstName = 1;
    int32_t NextName = 1;
  };
  TLinkedPageImport LastImport;
  // The last finished document; nullptr before the first or after Abort.
  TMemoryStream* Document();
  void SetOptions(uint8_t value);
  uint8_t Options() const { return options_; }
  bool Printing() const { return printing_; }
  int32_t PageCount() const { return pageCount_; }

  // Texts of the information dictionary (Windows-1252; empty: absent).
  AnsiString Title, Author, Subject, Keywords;
  int32_t PageWidth = 59527;
  int32_t PageHeight = 84189;
  uint8_t OutputFormat = 0;
  uint8_t MetadataMode = 0;
  std::string OwnerPassword, UserPassword;
  int32_t Permissions = 0;
  uint8_t EncryptionKind = 0;

 private:
  void needPrinting() const;
  void needIdle() const;
  void startPage();
  void finishPageContents();

  std::unique_ptr<TPDFCanvas> canvas_;
  uint8_t options_ = 0;
  std::string id1_, id2_;
  std::unique_ptr<TPDFWriter> writer_;
  std::unique_ptr<TPDFFontCollection> fonts_;
  std::unique_ptr<TPDFImageCollection> images_;
  TPDFDictionary* catalog_ = nullptr;
  TPDFDictionary* pages_ = nullptr;
  int32_t pagesNumber_ = 0;
  TPDFDictionary* page_ = nullptr;
  TPDFDictionary* resources_ = nullptr;
  int32_t pageCount_ = 0;
  // One per source document, so that its objects are copied once.
  std::vector<std::unique_ptr<TPDFLinkedDocument>> linked_;
  // Names of imported resources ("X1", "X2", ...) count from 1 on each page.
  int32_t resourceCounter_ = 1;
  std::vector<int32_t> layers_;
  bool printing_ = false;
  bool aborted_ = false;
  std::unique_ptr<TMemoryStream> result_;
};

}  // namespace px
