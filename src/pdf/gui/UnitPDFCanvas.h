#pragma once
// TPDFCanvas: the drawing surface of one PDF page. It is an ordinary TCanvas;
// a recording device takes every drawing call down as a numbered record
// (our own display list, shaped after the records of an enhanced metafile),
// and once the page is finished the records are replayed into PDF page
// content: fonts go to the document's font collection, bitmaps to its image
// collection, and both are entered in the page resources.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "pdf/UnitPDFParser.h"
#include "platform/core/Fonts.h"
#include "platform/gui/Graphics.h"

namespace px {

class TPDFFontCollection;
class TPDFImageCollection;
class TPDFPrinter;
class TFontRef;

// Record types of the recording.
namespace pdfrec {
constexpr int32_t Header = 1;
constexpr int32_t PolyBezier = 2;
constexpr int32_t Polygon = 3;
constexpr int32_t Polyline = 4;
constexpr int32_t PolyBezierTo = 5;
constexpr int32_t PolylineTo = 6;
constexpr int32_t PolyPolyline = 7;
constexpr int32_t PolyPolygon = 8;
constexpr int32_t SetWindowOrg = 10;
constexpr int32_t SetBrushOrg = 13;
constexpr int32_t EndOfFile = 14;
constexpr int32_t SetMapMode = 17;
constexpr int32_t SetBkMode = 18;
constexpr int32_t SetPolyFillMode = 19;
constexpr int32_t SetROP2 = 20;
constexpr int32_t SetStretchMode = 21;
constexpr int32_t SetTextAlign = 22;
constexpr int32_t SetTextColor = 24;
constexpr int32_t SetBkColor = 25;
constexpr int32_t MoveTo = 27;
constexpr int32_t SetMetaRegion = 28;
constexpr int32_t ExcludeClipRect = 29;
constexpr int32_t IntersectClipRect = 30;
constexpr int32_t SaveState = 33;
constexpr int32_t RestoreState = 34;
constexpr int32_t SetWorldTransform = 35;
constexpr int32_t ModifyWorldTransform = 36;
constexpr int32_t SelectObject = 37;
constexpr int32_t CreatePen = 38;
constexpr int32_t CreateBrush = 39;
constexpr int32_t DeleteObject = 40;
constexpr int32_t Ellipse = 42;
constexpr int32_t Rectangle = 43;
constexpr int32_t RoundRect = 44;
constexpr int32_t Arc = 45;
constexpr int32_t Chord = 46;
constexpr int32_t Pie = 47;
constexpr int32_t SelectPalette = 48;
constexpr int32_t CreatePalette = 49;
constexpr int32_t RealizePalette = 52;
constexpr int32_t LineTo = 54;
constexpr int32_t PolyDraw = 56;
constexpr int32_t SetArcDirection = 57;
constexpr int32_t SetMiterLimit = 58;
constexpr int32_t BeginPath = 59;
constexpr int32_t EndPath = 60;
constexpr int32_t CloseFigure = 61;
constexpr int32_t FillPath = 62;
constexpr int32_t StrokeAndFillPath = 63;
constexpr int32_t StrokePath = 64;
constexpr int32_t SelectClipPath = 67;
constexpr int32_t AbortPath = 68;
constexpr int32_t Comment = 70;
constexpr int32_t SelectClipRegion = 75;
constexpr int32_t BitBlt = 76;
constexpr int32_t StretchBlt = 77;
constexpr int32_t MaskBlt = 78;
constexpr int32_t PlgBlt = 79;
constexpr int32_t CreateFont = 82;
constexpr int32_t TextOut = 84;
constexpr int32_t PolyBezier16 = 85;
constexpr int32_t Polygon16 = 86;
constexpr int32_t Polyline16 = 87;
constexpr int32_t PolyBezierTo16 = 88;
constexpr int32_t PolylineTo16 = 89;
constexpr int32_t PolyPolyline16 = 90;
constexpr int32_t PolyPolygon16 = 91;
constexpr int32_t PolyDraw16 = 92;
constexpr int32_t CreateExtPen = 95;
constexpr int32_t AlphaBlend = 114;
constexpr int32_t AlphaDibBlend = 115;
constexpr int32_t TransparentBlt = 116;
constexpr int32_t GradientFill = 118;

// Stock objects are selected by handle values with the high bit set.
constexpr uint32_t StockFlag = 0x80000000u;
constexpr int32_t StockCount = 20;
}  // namespace pdfrec

// One record. Which fields a type uses:
// - Header: Values[0] the number of object handles.
// - poly records: Points; poly-poly records also Values (the member counts).
// - Ellipse, Rectangle: Points[0], Points[1] the box corners; RoundRect also
//   Values[0], Values[1] the corner size; Arc, Chord, Pie: Points[0..1] the
//   box, Points[2] the start point, Points[3] the end point.
// - MoveTo, LineTo: Points[0].
// - mode and colour records: Values[0].
// - SelectObject, DeleteObject: Handle (StockFlag | n for a stock object).
// - CreatePen: Handle and Values {style, width x, width y, colour};
//   CreateExtPen: Handle and Values {style, width, colour}; CreateBrush:
//   Handle and Values {style, colour, hatch}; CreateFont: Handle and Font.
// - SetWorldTransform: Transform; ModifyWorldTransform: Transform, Values[0]
//   the mode.
// - Comment: Data.
// - TextOut: Points[0] the reference point, Values[0] the options, Text and
//   Advances (one per UTF-16 unit, logical units).
// - BitBlt, StretchBlt, MaskBlt: Points[0] the destination's top-left,
//   Points[1] its bottom-right; PlgBlt: Points[0..2] the destination's
//   top-left, top-right and bottom-left; Bitmap the source (null: no source).
struct TPDFRecord {
  int32_t Type = 0;
  uint32_t Handle = 0;
  std::vector<int32_t> Values;
  std::vector<TPoint> Points;
  std::array<float, 6> Transform{1, 0, 0, 1, 0, 0};
  TLogFontW Font;
  UnicodeString Text;
  std::vector<int32_t> Advances;
  std::string Data;
  std::shared_ptr<const TBitmap> Bitmap;
};

class TPDFRecordingDevice;

class TPDFCanvas : public TCanvas {
 public:
  TPDFCanvas();
  ~TPDFCanvas() override;

  // Starts recording a page of Width x Height (1/7200 inch). The recording
  // itself begins with the first drawing call.
  void StartPage(int32_t width, int32_t height);
  void FinishRecording();
  // Replays the finished recording as page content into stream. Raises
  // Exception "Cannot collect metadata when not finalized." before
  // FinishRecording.
  void WriteContent(TStream& stream);
  // Marks the start of drawing on optional-content layer Layer (0-based), or
  // on no layer for -1.
  void SetLayer(int32_t layer);
  // Places text verbatim into the page content at this point of the drawing.
  void InsertRawContent(const std::string& text);
  void ReleaseRecording();

  int32_t PageWidth() const { return pageWidth_; }
  int32_t PageHeight() const { return pageHeight_; }
  // The frame in hundredths of a millimetre.
  TRect FrameRect() const { return frame_; }
  bool Finished() const { return finished_; }
  int32_t Layer() const { return layer_; }
  // The resolution the page is recorded at: 600 dpi against the printer
  // reference, 96 against the screen.
  int32_t ResolutionX() const;
  int32_t ResolutionY() const;

  // The records so far (empty before the first drawing call). Records
  // appended here are replayed like recorded ones.
  std::vector<TPDFRecord>& Records();
  // Starts the recording when it has not started (nothing for a page of
  // size 0); answers whether there is one.
  bool EnsureRecording();

  bool UsePrinterReference = false;
  // Set by the producer for each page.
  TPDFFontCollection* FontCollection = nullptr;
  TPDFImageCollection* ImageCollection = nullptr;
  TPDFDictionary* PageResources = nullptr;
  std::function<int32_t()> OnLayerCount;
  std::function<void(int32_t)> OnAddLayerToResource;
  TPDFPrinter* Printer = nullptr;

 protected:
  // Re-bases the font to the recording resolution, keeping its point size.
  void Changing() override;

 private:
  friend class TPDFRecordingDevice;
  struct Replay;
  void appendComment(const std::string& data);

  std::unique_ptr<TPDFRecordingDevice> device_;
  int32_t pageWidth_ = 0;
  int32_t pageHeight_ = 0;
  TRect frame_;
  bool finished_ = false;
  int32_t layer_ = -1;
};

// The logical font a device state's font stands for: the em height when the
// height is negative, the cell height when positive.
TLogFontW LogFontOfFontData(const TFontData& font);

}  // namespace px
