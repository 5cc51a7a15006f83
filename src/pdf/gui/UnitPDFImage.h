#pragma once
// Bitmaps drawn on a PDF page become image XObjects; the same bitmap drawn
// again (a logo on every page) is stored once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitPDFParser.h"
#include "pdf/UnitPDFParserWriter.h"
#include "platform/gui/Graphics.h"

namespace px {

class TPDFImageInfo {
 public:
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitsPerPixel = 0;
  // 0 grey, 1 colour (RGB), 2 indexed.
  int32_t ColourKind = 0;
  std::string Palette;  // red, green, blue per entry
  bool Interpolate = false;
  std::string Name;
  int32_t ObjectNumber = 0;
  int32_t PaletteObjectNumber = 0;
  // Sample rows, top row first.
  const TPDFBuffer& Pixels() const { return pixels_; }

  void AddToResources(TPDFDictionary* resources) const;

 private:
  friend class TPDFImageCollection;
  TPDFBuffer pixels_;
  std::unique_ptr<TPDFDictionary> dictionary_;  // until handed to the writer
  std::unique_ptr<TPDFDictionary> paletteStream_;
};

class TPDFImageCollection {
 public:
  explicit TPDFImageCollection(TPDFWriter* writer);
  ~TPDFImageCollection();
  TPDFImageCollection(const TPDFImageCollection&) = delete;
  TPDFImageCollection& operator=(const TPDFImageCollection&) = delete;

  // The image for the bitmap: an earlier one with the same pixels, palette
  // and interpolation, or a new one written to the document.
  TPDFImageInfo* AddImage(const TBitmap& bitmap, bool interpolate);
  int32_t Count() const { return static_cast<int32_t>(images_.size()); }

 private:
  TPDFWriter* writer_;
  std::vector<std::unique_ptr<TPDFImageInfo>> images_;
  int32_t counter_ = 0;
};

}  // namespace px
