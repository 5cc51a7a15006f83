#pragma once
// TPDFRenderer draws pages of a document onto a drawing device: it maps the
// page box onto a target rectangle, runs the page contents and the annotation
// appearances through its content interpreter, and draws images and forms.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/UnitDataSet.h"
#include "pdf/UnitPDFParser.h"
#include "pdf/gui/UnitPDFResources.h"
#include "platform/core/Fonts.h"
#include "platform/gui/Graphics.h"

namespace px {

// An affine map x' = a·x + c·y + e, y' = b·x + d·y + f. Computed in double
// so that the large or tiny factors of untrusted files do not lose the page.
struct TPDFRenderMatrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  // This map followed by m (the product this × m of row-vector matrices).
  TPDFRenderMatrix operator*(const TPDFRenderMatrix& m) const {
    return {a * m.a + b * m.c,       a * m.b + b * m.d,       c * m.a + d * m.c,
            c * m.b + d * m.d,       e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
  }
  bool operator==(const TPDFRenderMatrix&) const = default;
};

// Bits of the internal text mode.
constexpr uint8_t PDFTextStroke = 1;
constexpr uint8_t PDFTextFill = 2;
constexpr uint8_t PDFTextClip = 4;



struct TPDFGraphicState {
  TPDFRenderMatrix CTM;  // user space to device pixels
  // This level narrowed the clip; the device holds the wider clip of the
  // level below in its saved state.
  bool OwnClip = false;
  TPDFColorSpace* StrokeColorSpace = nullptr;  // not owned
  uint32_t StrokeColor = 0;
  TPDFColorSpace* FillColorSpace = nullptr;  // not owned
  uint32_t FillColor = 0;
  float LineWidth = 1;
  int32_t LineCap = 0;
  int32_t LineJoin = 0;
  float MiterLimit = 10;
  float StrokeAlpha = 1;
  float FillAlpha = 1;
  TPDFTextState Text;  // of the font resources
};

// A page box in the order of the document's box lookup; Left = Right or
// Bottom = Top counts as no box.
using TPDFPageBox = TPDFBox;

// Pages rendered with supersampling use a bitmap of at most this many
// pixels; the factor drops until it fits.
constexpr int64_t MaxPDFRenderPixels = int64_t(1) << 26;

// One collected path element; points are device pixels.
struct TPDFPathEntry {
  enum : uint8_t { MoveTo, LineTo, CurveTo, Close, GlyphRun };
  uint8_t Kind = MoveTo;
  TPoint Points[3];
  bool GlyphIndex = false;
  uint8_t UnitCount = 0;
  char16_t Units[3] = {};
};

class TPDFRenderer {
 public:
  TPDFRenderer();
  ~TPDFRenderer();
  TPDFRenderer(const TPDFRenderer&) = delete;
  TPDFRenderer& operator=(const TPDFRenderer&) = delete;

  // Sets the document and forgets every optional-content state.
  void SetCollection(TPDFCollection* collection);
  TPDFCollection* Collection() const { return collection_; }

  int32_t PageNumber = 0;         // from 1
  TCanvasDevice* DC = nullptr;    // not owned
  uint32_t Options = 0;           // bit 0: fonts ignore embedded programs

  // Optional-content states that override a group's own: field 0 the group's
  // object number (low half) and generation (high half), field 1 the state
  // (1 on, 2 off).
  IMemDataSet OCStates;

  // The page's size in device pixels at the zoom (percent); 0 × 0 without a
  // document or page.
  void GetPageSizeInPixels(int32_t zoomPercent, int32_t& width, int32_t& height);
  // Draws page PageNumber into rect (device pixels) with the page's own
  // rotation, at up to 4 × 4 samples a pixel; box: no box for the page's.
  void Render(const TPDFPageBox& box, const TRect& rect, int32_t supersampling);
  // rotation: quarter turns clockwise.
  void RenderRotated(const TPDFPageBox& box, const TRect& rect, int32_t rotation);

  // The content interpreter, also for tests.
  void ExecuteContent(const TPDFBuffer& data, TPDFDictionary* contentDictionary);
  void PushGraphicState();
  void PopGraphicState();
  int32_t GraphicLevel() const { return level_; }
  const TPDFGraphicState& GraphicState() const { return states_[level_]; }
  const std::vector<TPDFPathEntry>& Path() const { return path_; }
  bool Visible() const { return visible_; }
  // How often inline images were decoded (the cache avoids it).
  int32_t InlineImagesDecoded() const { return inlineImagesDecoded_; }

  // The resource of the category and name, from the innermost Resources
  // dictionary that holds it; made once and attached to its dictionary.
  TPDFResource* FindResource(std::string_view category, std::string_view name);

 private:
  struct InlineImageCache;
  using Handler = void (TPDFRenderer::*)();

  void resetGraphicState();
  void renderPageContent();
  void setupPageMatrix(const TPDFPageBox& box, const TRect& rect, int32_t rotation);
  void drawAnnotations();
  void popToLevel0();
  void clearOperands() { operands_.clear(); }
  void pushResources(TPDFDictionary* resources);
  void popResources();
  TPDFObject* findResourceObject(std::string_view category, std::string_view name);
  void warning(const std::string& text);

  // Operands.
  void needOperands(size_t count);
  double number(size_t index);
  int32_t integer(size_t index);
  const std::string& name(size_t index);
  TPDFString* string(size_t index);

  // Paths and painting.
  TPoint toDevice(double x, double y) const;
  void addEntry(const TPDFPathEntry& entry);
  void addMoveTo(TPoint p);
  void requireStart(const char* op);
  void closePath();
  void buildDevicePath();
  void paintPath(uint32_t flags);
  void clipPath(bool evenOdd);
  TDeviceState deviceState() const;

  // Colour.
  TPDFColorSpace* colorSpaceByName(const std::string& name);
  uint32_t evaluateColor(TPDFColorSpace* space);

  // Text.
  void showString(const std::string& bytes);
  void nextLine(double tx, double ty);
  void flushTextPath(bool evenOddClip);
  static void glyphOutput(void* data, const uint16_t* units, int32_t count, bool glyphIndex, float x, float y);
  static void fontSelect(void* data, const TLogFontA& font, uint32_t color);
  static void formDraw(void* data, TPDFDictionary* stream, TPDFDictionary* resources, const TPDFMatrix& matrix);

  // Images, forms, optional content.
  void drawImage(TPDFResImage* image);
  void keepThinImageVisible(TPoint (&corners)[3]) const;
  void drawForm(TPDFDictionary* dictionary, TPDFDictionary* resources, const TPDFRenderMatrix& matrix);
  bool optionalContentVisible(TPDFDictionary* ocDictionary);
  static void ocStateLookup(void* data, TPDFDictionary* dictionary, bool& visible);
  void inlineImage();

  // Operators.
  static const std::unordered_map<std::string, Handler>& operatorTable();
  void opPush();
  void opPop();
  void opConcat();
  void opLineWidth();
  void opLineCap();
  void opLineJoin();
  void opMiterLimit();
  void opIgnore();
  void opIgnoreOne();
  void opExtGState();
  void opMoveTo();
  void opLineTo();
  void opCurveTo();
  void opCurveToV();
  void opCurveToY();
  void opClose();
  void opRectangle();
  void opStroke();
  void opCloseStroke();
  void opFill();
  void opFillEvenOdd();
  void opFillStroke();
  void opFillStrokeEvenOdd();
  void opCloseFillStroke();
  void opCloseFillStrokeEvenOdd();
  void opEndPath();
  void opClip();
  void opClipEvenOdd();
  void opStrokeColorSpace();
  void opFillColorSpace();
  void opStrokeColor();
  void opFillColor();
  void opStrokeGray();
  void opFillGray();
  void opStrokeRGB();
  void opFillRGB();
  void opStrokeCMYK();
  void opFillCMYK();
  void opBeginText();
  void opEndText();
  void opCharSpacing();
  void opWordSpacing();
  void opHorizontalScaling();
  void opLeading();
  void opFont();
  void opTextMode();
  void opRise();
  void opTextMove();
  void opTextMoveLeading();
  void opTextMatrix();
  void opNextLine();
  void opShow();
  void opShowArray();
  void opNextLineShow();
  void opNextLineSpacingShow();
  void opXObject();
  void opInlineImage();
  void opBeginMarkedContentProps();
  void opBeginMarkedContent();
  void opEndMarkedContent();
  void opShading();

  TPDFCollection* collection_ = nullptr;
  TPDFDictionary* page_ = nullptr;
  TPDFDictionary* contentDictionary_ = nullptr;
  TPDFRenderMatrix pageMatrix_;
  std::array<TPDFGraphicState, 30> states_;
  int32_t level_ = 0;
  std::vector<std::unique_ptr<TPDFObject>> operands_;
  std::vector<TPDFPathEntry> path_;
  std::vector<TPDFDictionary*> resources_;
  std::vector<bool> visibilityStack_;
  bool visible_ = true;
  // The operator being run and, for inline images, the content and position.
  std::string op_;
  const TPDFBuffer* data_ = nullptr;
  int32_t* pos_ = nullptr;
  // The font last selected for glyphs on this page.
  bool haveLogFont_ = false;
  TLogFontA lastLogFont_;
  TFontData deviceFont_;
  // Inline images of each content stream, kept beside its dictionary.
  std::unordered_map<const TPDFDictionary*, std::unique_ptr<InlineImageCache>> inlineImages_;
  int32_t inlineImagesDecoded_ = 0;
  // Device pixels to one target pixel: the supersampling factor while a
  // supersampled page is drawn, else 1.
  int32_t pixelSize_ = 1;
  // The supersampled page and its shrunk copy, kept for the next page.
  std::unique_ptr<TBitmap> supersampled_, shrunk_;
};

// Reduces a 24-bit bitmap in place: every 2 × 2 (N × N) block becomes the
// rounded mean of its pixels; a last partial row or column is dropped.
void HalveBitmap(TBitmap& bitmap);
void ShrinkBitmap(TBitmap& bitmap, int32_t n);
// The 24 or 32-bit source (its alpha ignored) shrunk by n (2 to 4) into
// target, an opaque 32-bit bitmap of the result's size.
void ShrinkBitmapInto(const TBitmap& source, int32_t n, TBitmap& target);

}  // namespace px
