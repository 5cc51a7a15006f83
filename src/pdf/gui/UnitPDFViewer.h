#pragma once
// TPDFViewer shows every page of a PDF document one below the other in the
// scrolling base control. Pages are rendered when a strip of them is first
// painted and kept in a cache: the four most recently used parts as bitmaps,
// older ones compressed with the fast compressor within CacheSize bytes, the
// least recently used freed beyond that. Link annotations are followed
// (GoTo and URI actions, named destinations) and the document can be printed.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "pdf/UnitPDFParser.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "pdf/gui/UnitViewer.h"
#include "platform/core/Streams.h"

namespace px {

class TPDFPrinting;

enum TPDFZoomMode {
  zmPercentage,
  zmFitWholePage,
  zmFitPageWidth,
  zmFitPageHeight,
  zmFitWholedBoundingBox,
  zmFitBoundingBoxWidth,
  zmFitBoundingBoxHeight
};

enum TPDFAnnotationKind { akMouseEnter, akMouseLeave, akMouseDown, akMouseUp, akMouseClick };

using TPDFAnnotationEvent =
    std::function<void(TObject* sender, TPDFDictionary* annotation, TPDFAnnotationKind kind, bool& handled)>;
using TPDFActionEvent = std::function<void(TObject* sender, TPDFDictionary* action, bool& handled)>;
using TPDFURIActionEvent = std::function<void(TObject* sender, const std::string& uri, bool& handled)>;
using TPDFPrintEvent = std::function<void(TObject* sender, TPDFPrinting* printing)>;

// One rendered piece of a page: its key (the 0-based page index), the page
// box in PDF units and its rectangle in document pixels.
struct TPDFPagePart {
  int32_t Key = 0;
  float Left = 0, Bottom = 0, Right = 0, Top = 0;
  TRect Rect;
};
using TPDFPageParts = std::vector<TPDFPagePart>;

struct TPDFPageInfo {
  TRect Frame;  // the page rectangle grown by one pixel each side
  TPDFPageParts Parts;
};
using TPDFPageInfos = std::vector<TPDFPageInfo>;

// A record of the part cache: a bitmap while the part is among the most
// recently used, otherwise its compressed pixels.
class TPDFPagePartCacheItem : public TMemRecord {
 public:
  ~TPDFPagePartCacheItem() override;
  int32_t Width = 0;
  int32_t Height = 0;
  TBitmap* Bitmap = nullptr;  // owned, freed with the record
  TBytes Compressed;
};

class TPDFViewer : public TBaseViewer {
 public:
  explicit TPDFViewer(TComponent* owner);
  ~TPDFViewer() override;

  // Reads a document from the stream's position to its end; the viewer owns
  // the reader.
  void LoadFromStream(TStream& stream);
  void SetDocument(TPDFCollection* collection, bool owned);
  TPDFCollection* Document() const { return document_; }
  void Clear();

  float Zoom() const { return zoom_; }
  // Values of 0 or less are ignored. The zoom is held so that no page is
  // larger than an A4 page at 400 %.
  void SetZoom(float value);
  TPDFZoomMode ZoomMode() const { return zoomMode_; }
  void SetZoomMode(TPDFZoomMode value);
  int32_t CacheSize() const { return cacheSize_; }
  void SetCacheSize(int32_t value);
  bool Interactive() const { return interactive_; }
  void SetInteractive(bool value) { interactive_ = value; }

  // Scrolls page n (from 1) to the top.
  void ShowPage(int32_t n);
  // The page (from 1) under a client point and the point in PDF units.
  bool PageAtPos(int32_t x, int32_t y, int32_t& page, double& pdfX, double& pdfY);
  // The first annotation under a client point, or nil.
  TPDFDictionary* AnnotationAtPos(int32_t x, int32_t y);
  // Prints through TPDFPrinting; true when a page was printed.
  bool Print(int32_t fromPage, int32_t toPage, int32_t copies, bool collate);

  // Link handling, also reachable from outside.
  void PerformAction(TPDFDictionary* action);
  void FollowDestination(TPDFObject* destination);

  const TPDFPageInfos& PageInfos() const { return pages_; }
  // The part cache in order of use, most recent first; its byte count.
  TMemDataSet* Cache() const { return cache_.get(); }
  int64_t CacheBytes() const { return cacheBytes_; }
  TPDFDictionary* HoveredAnnotation() const { return hovered_; }

  TPDFAnnotationEvent OnAnnotation;
  TPDFActionEvent OnAction;
  // Kept for the application; URI actions open through the shell.
  TPDFURIActionEvent OnURIAction;
  TPDFPrintEvent OnPrint;
  TNotifyEvent OnCollectionChange;

 protected:
  void PaintBackground(const TRect& rect) override;
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

 private:
  void freeDocument();
  void buildLayout();
  float zoomLimit() const;
  TBitmap* partBitmap(const TPDFPagePart& part);
  void renderPart(const TPDFPagePart& part, TBitmap& bitmap);
  void compressItem(TPDFPagePartCacheItem& item);
  void decompressItem(TPDFPagePartCacheItem& item);
  void trimCache(const TMemRecord* keep);
  void hover(int32_t x, int32_t y);
  static void guarded(const std::function<void()>& work);
  void activate(TPDFDictionary* annotation);
  void openURI(const std::string& uri);

  std::unique_ptr<TPDFRenderer> renderer_;
  TPDFCollection* document_ = nullptr;
  bool owned_ = false;
  TPDFPageInfos pages_;
  IMemDataSet cache_;
  Integer cacheIndex_ = 0;
  int64_t cacheBytes_ = 0;
  int32_t cacheSize_ = 4000000;
  float zoom_ = 100;
  TPDFZoomMode zoomMode_ = zmPercentage;
  bool interactive_ = false;
  TPDFDictionary* hovered_ = nullptr;
  TPDFDictionary* pressed_ = nullptr;
};

}  // namespace px
