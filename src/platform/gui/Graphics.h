#pragma once
// Colours, graphics objects, the canvas and its drawing devices, bitmaps and
// pictures.
//
// TCanvas keeps the drawing state (pen, brush, font, pen position, origin) and
// turns every call into a call on a TCanvasDevice with device coordinates and
// the resolved state. The device over QPainter draws into widgets, bitmaps and
// printers; other devices (a recorder for PDF page content, a call log in
// tests) implement the same interface, so drawing code never knows its target.
//
// Rectangles exclude their right and bottom edges: FillRect(0,0,10,10) paints
// pixels 0..9, and Rectangle(0,0,10,10) draws its one-pixel outline on
// columns 0 and 9 and rows 0 and 9.
//
// Texts are UTF-8 std::strings (UnicodeString overloads take UTF-16).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Geometry.h"
#include "platform/core/Sets.h"
#include "platform/core/Types.h"

class QPainter;
class QImage;
class QColor;
class QFont;

namespace px {

PX_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// ---------------------------------------------------------------------------
// Colours: 0x00BBGGRR for plain colours; 0xFF0000nn names system colour nn;
// 0x02BBGGRR is a palette-relative plain colour.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clHotLight = clSystemColor | 26;
constexpr TColor clGradientActiveCaption = clSystemColor | 27;
constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
constexpr TColor clMenuHighlight = clSystemColor | 29;
constexpr TColor clMenuBar = clSystemColor | 30;

// The plain 0x00BBGGRR value of a colour: system colours resolved through the
// application palette, the palette-relative flag dropped. clNone and clDefault
// resolve to black (callers test for them first).
TColor ColorToRGB(TColor color);
constexpr Byte GetRValue(TColor c) { return static_cast<Byte>(c & 0xFF); }
constexpr Byte GetGValue(TColor c) { return static_cast<Byte>((c >> 8) & 0xFF); }
constexpr Byte GetBValue(TColor c) { return static_cast<Byte>((c >> 16) & 0xFF); }
constexpr TColor RGB(Byte r, Byte g, Byte b) { return r | (g << 8) | (b << 16); }
QColor ToQColor(TColor color, int alpha = 255);
TColor FromQColor(const QColor& color);

// ---------------------------------------------------------------------------
// Graphics objects. Each holds plain data and calls OnChange after a change.
enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
using enum TFontStyle;

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
using enum TPenStyle;
enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
using enum TBrushStyle;

struct TFontData {
  std::string Name = "Tahoma";
  int32_t Height = -11;  // negative: character height in pixels; positive: cell height
  TColor Color = clWindowText;
  TFontStyles Style;
  int32_t Orientation = 0;  // tenths of a degree, counter-clockwise
  int32_t PixelsPerInch = 96;
  // 1..1000 as in a logical font; 0 takes it from the style (700 bold, 400
  // otherwise).
  int32_t Weight = 0;
  bool operator==(const TFontData&) const = default;
};
enum class TPenEndCap : uint8_t { pecFlat, pecRound, pecSquare };
using enum TPenEndCap;
enum class TPenJoin : uint8_t { pjMiter, pjRound, pjBevel };
using enum TPenJoin;

struct TPenData {
  TColor Color = clBlack;
  int32_t Width = 1;
  TPenStyle Style = psSolid;
  // A geometric pen draws its width (in device pixels, 0 the thinnest line)
  // with the ends and joins asked for; a cosmetic pen keeps the flat ends and
  // miter joins of plain line drawing.
  bool Geometric = false;
  TPenEndCap EndCap = pecFlat;
  TPenJoin Join = pjMiter;
  float MiterLimit = 10;
  bool operator==(const TPenData&) const = default;
};
struct TBrushData {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
  bool operator==(const TBrushData&) const = default;
};

class TGraphicsObject {
 public:
  virtual ~TGraphicsObject() = default;
  std::function<void(TGraphicsObject*)> OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

class TFont : public TGraphicsObject {
 public:
  const TFontData& Data() const { return data_; }
  void Assign(const TFont& other) { SetData(other.data_); }
  void SetData(const TFontData& data);
  const std::string& Name() const { return data_.Name; }
  void SetName(const std::string& v);
  int32_t Height() const { return data_.Height; }
  void SetHeight(int32_t v);
  // Point size; setting it keeps the pixel height consistent with PixelsPerInch.
  int32_t Size() const;
  void SetSize(int32_t points);
  TColor Color() const { return data_.Color; }
  void SetColor(TColor v);
  TFontStyles Style() const { return data_.Style; }
  void SetStyle(TFontStyles v);
  int32_t Orientation() const { return data_.Orientation; }
  void SetOrientation(int32_t v);
  int32_t PixelsPerInch() const { return data_.PixelsPerInch; }
  void SetPixelsPerInch(int32_t v);

 private:
  TFontData data_;
};

class TPen : public TGraphicsObject {
 public:
  const TPenData& Data() const { return data_; }
  void Assign(const TPen& other);
  TColor Color() const { return data_.Color; }
  void SetColor(TColor v);
  int32_t Width() const { return data_.Width; }
  void SetWidth(int32_t v);
  TPenStyle Style() const { return data_.Style; }
  void SetStyle(TPenStyle v);

 private:
  TPenData data_;
};

class TBrush : public TGraphicsObject {
 public:
  const TBrushData& Data() const { return data_; }
  void Assign(const TBrush& other);
  TColor Color() const { return data_.Color; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return data_.Style; }
  void SetStyle(TBrushStyle v);

 private:
  TBrushData data_;
};

// A Qt font for the font data (pixel-sized, with style and family).
QFont ToQFont(const TFontData& font);
// The weight of the font data, 1..1000.
int32_t FontWeight(const TFontData& font);

// ---------------------------------------------------------------------------
// DrawText flags.
constexpr uint32_t DT_TOP = 0x0;
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_VCENTER = 0x4;
constexpr uint32_t DT_BOTTOM = 0x8;
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_SINGLELINE = 0x20;
constexpr uint32_t DT_EXPANDTABS = 0x40;
constexpr uint32_t DT_NOCLIP = 0x100;
constexpr uint32_t DT_CALCRECT = 0x400;
constexpr uint32_t DT_NOPREFIX = 0x800;
constexpr uint32_t DT_EDITCONTROL = 0x2000;
constexpr uint32_t DT_PATH_ELLIPSIS = 0x4000;
constexpr uint32_t DT_END_ELLIPSIS = 0x8000;
constexpr uint32_t DT_RTLREADING = 0x20000;
constexpr uint32_t DT_WORD_ELLIPSIS = 0x40000;

// ExtTextOut options.
constexpr uint32_t ETO_OPAQUE = 0x2;
constexpr uint32_t ETO_CLIPPED = 0x4;
// The text holds glyph numbers of the font instead of characters.
constexpr uint32_t ETO_GLYPH_INDEX = 0x10;

// Poly-fill modes: which parts of a self-overlapping polygon are inside.
constexpr int32_t ALTERNATE = 1;  // even-odd
constexpr int32_t WINDING = 2;    // non-zero

// Stretch modes; HALFTONE asks for smoothing when bitmaps are scaled.
constexpr int32_t BLACKONWHITE = 1;
constexpr int32_t WHITEONBLACK = 2;
constexpr int32_t COLORONCOLOR = 3;
constexpr int32_t HALFTONE = 4;

// Text alignment: where the reference point of a text lies.
constexpr uint32_t TA_NOUPDATECP = 0;
constexpr uint32_t TA_UPDATECP = 1;  // text starts at the pen position
constexpr uint32_t TA_LEFT = 0;
constexpr uint32_t TA_RIGHT = 2;
constexpr uint32_t TA_CENTER = 6;
constexpr uint32_t TA_TOP = 0;
constexpr uint32_t TA_BOTTOM = 8;
constexpr uint32_t TA_BASELINE = 24;

class TBitmap;

// How a bitmap is combined with the target.
struct TBlendMode {
  bool UseSourceAlpha = false;  // per-pixel alpha of a 32-bit source
  bool Premultiplied = false;   // with UseSourceAlpha: colours already multiplied by alpha
  Byte ConstantAlpha = 255;     // applied on top of the per-pixel alpha
  TColor TransparentColor = clNone;  // pixels of this colour are not drawn
};

struct TTextMetrics {
  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t Height = 0;  // Ascent + Descent
  int32_t InternalLeading = 0;
  int32_t ExternalLeading = 0;
  int32_t AveCharWidth = 0;
};

// The drawing state handed to every device call. Colours are already plain
// RGB values; coordinates are device coordinates (the canvas origin applied).
struct TDeviceState {
  TPenData Pen;
  TBrushData Brush;
  TFontData Font;
  bool TransparentText = false;  // text background left alone
  int32_t PolyFillMode = ALTERNATE;
  int32_t StretchMode = BLACKONWHITE;
  uint32_t TextAlign = TA_TOP | TA_LEFT;
  bool AntiAlias = false;  // paths filled and stroked with smoothed edges
  // What rounding took from a text's origin (-0.5 to 0.5 pixels): devices
  // that place text finer than a pixel add it back.
  double TextOffsetX = 0, TextOffsetY = 0;
};

// What a canvas draws on. Shapes use the pen for the outline and the brush
// for the inside; a clear pen or brush skips that part.
class TCanvasDevice {
 public:
  virtual ~TCanvasDevice() = default;

  virtual void FillRect(const TDeviceState& s, const TRect& r) = 0;  // brush only
  virtual void Rectangle(const TDeviceState& s, const TRect& r) = 0;
  virtual void RoundRect(const TDeviceState& s, const TRect& r, int32_t cornerW, int32_t cornerH) = 0;
  virtual void Ellipse(const TDeviceState& s, const TRect& r) = 0;
  enum class TArcKind { Arc, Chord, Pie };
  virtual void Arc(const TDeviceState& s, TArcKind kind, const TRect& r, TPoint start, TPoint end) = 0;
  virtual void Polyline(const TDeviceState& s, const std::vector<TPoint>& points) = 0;
  virtual void Polygon(const TDeviceState& s, const std::vector<TPoint>& points) = 0;
  virtual void PolyBezier(const TDeviceState& s, const std::vector<TPoint>& points) = 0;
  // The device keeps its own current position: MoveTo sets it, LineTo draws
  // from it with the pen and moves it. Inside a path bracket both add to
  // the path.
  virtual void MoveTo(const TDeviceState& s, TPoint p) = 0;
  virtual void LineTo(const TDeviceState& s, TPoint p) = 0;

  // Path bracket: between BeginPath and EndPath shapes add to the path instead
  // of painting; then one of the path painters uses it.
  virtual void BeginPath() = 0;
  virtual void EndPath() = 0;
  virtual void CloseFigure() = 0;
  virtual void FillPath(const TDeviceState& s) = 0;
  virtual void StrokePath(const TDeviceState& s) = 0;
  virtual void StrokeAndFillPath(const TDeviceState& s) = 0;
  // Inside the bracket: a cubic curve from the current position, which ends
  // at p. Devices that cannot record curves ignore it.
  virtual void BezierTo(const TDeviceState&, TPoint, TPoint, TPoint) {}
  // Narrows the clip to the inside of the path (by the state's PolyFillMode)
  // and empties the path. RestoreState brings the wider clip back.
  virtual void ClipPath(const TDeviceState&) {}

  // Text at the reference point (x, y), placed by the state's TextAlign
  // (top-left by default). Text at the baseline and text of glyph numbers
  // (ETO_GLYPH_INDEX) is drawn with the font program that the font
  // registry resolves for the font data, faces registered by the process
  // first. Inside a path bracket the glyph outlines join the path. With ETO_OPAQUE the rectangle is filled with the
  // brush colour first; with ETO_CLIPPED the text is clipped to it. advances,
  // when given, holds one distance per UTF-16 unit of text from its start to
  // the start of the next one; without it the font's own advances apply.
  virtual void TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect* rect,
                       const UnicodeString& text, const int32_t* advances = nullptr) = 0;
  virtual TSize TextExtent(const TFontData& font, const UnicodeString& text) = 0;
  virtual TTextMetrics TextMetrics(const TFontData& font) = 0;

  // The state's StretchMode HALFTONE smooths a scaled bitmap.
  virtual void DrawBitmap(const TDeviceState& s, const TRect& dest, const TBitmap& source, const TRect& sourceRect,
                          const TBlendMode& blend) = 0;
  // The whole bitmap onto the parallelogram whose top-left, top-right and
  // bottom-left corners are p[0], p[1], p[2] (mirrored or turned as they
  // lie). The plain device draws it into the bounding rectangle.
  virtual void DrawBitmapPlg(const TDeviceState& s, const TPoint (&p)[3], const TBitmap& source,
                             const TBlendMode& blend);

  virtual TColor GetPixel(int32_t x, int32_t y) = 0;  // clNone when unknown
  virtual void SetPixel(int32_t x, int32_t y, TColor color) = 0;

  // Clipping in device coordinates; Save/Restore keep clipping and paths.
  virtual void SetClipRect(const TRect* r) = 0;  // nullptr: no clipping
  virtual void IntersectClipRect(const TRect& r) = 0;
  virtual void SaveState() = 0;
  virtual void RestoreState() = 0;
  virtual int32_t PixelsPerInch() const = 0;
};

// A device over a QPainter. It either borrows a painter (widget paint events,
// printers) or opens one on a QImage it is given.
class TQtPainterDevice : public TCanvasDevice {
 public:
  explicit TQtPainterDevice(QPainter* painter, int32_t pixelsPerInch = 96);
  ~TQtPainterDevice() override;
  QPainter* Painter() const { return painter_; }

  void FillRect(const TDeviceState& s, const TRect& r) override;
  void Rectangle(const TDeviceState& s, const TRect& r) override;
  void RoundRect(const TDeviceState& s, const TRect& r, int32_t cornerW, int32_t cornerH) override;
  void Ellipse(const TDeviceState& s, const TRect& r) override;
  void Arc(const TDeviceState& s, TArcKind kind, const TRect& r, TPoint start, TPoint end) override;
  void Polyline(const TDeviceState& s, const std::vector<TPoint>& points) override;
  void Polygon(const TDeviceState& s, const std::vector<TPoint>& points) override;
  void PolyBezier(const TDeviceState& s, const std::vector<TPoint>& points) override;
  void MoveTo(const TDeviceState& s, TPoint p) override;
  void LineTo(const TDeviceState& s, TPoint p) override;
  void BeginPath() override;
  void EndPath() override;
  void CloseFigure() override;
  void FillPath(const TDeviceState& s) override;
  void StrokePath(const TDeviceState& s) override;
  void StrokeAndFillPath(const TDeviceState& s) override;
  void BezierTo(const TDeviceState& s, TPoint c1, TPoint c2, TPoint p) override;
  void ClipPath(const TDeviceState& s) override;
  void TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect* rect,
               const UnicodeString& text, const int32_t* advances = nullptr) override;
  TSize TextExtent(const TFontData& font, const UnicodeString& text) override;
  TTextMetrics TextMetrics(const TFontData& font) override;
  void DrawBitmap(const TDeviceState& s, const TRect& dest, const TBitmap& source, const TRect& sourceRect,
                  const TBlendMode& blend) override;
  void DrawBitmapPlg(const TDeviceState& s, const TPoint (&p)[3], const TBitmap& source,
                     const TBlendMode& blend) override;
  TColor GetPixel(int32_t x, int32_t y) override;
  void SetPixel(int32_t x, int32_t y, TColor color) override;
  void SetClipRect(const TRect* r) override;
  void IntersectClipRect(const TRect& r) override;
  void SaveState() override;
  void RestoreState() override;
  int32_t PixelsPerInch() const override { return ppi_; }

  // The image painted on, when the device was made for one (for GetPixel).
  void SetTargetImage(QImage* image) { image_ = image; }

 private:
  struct PathState;
  // Text drawn with the resolved font program; false when there is none.
  bool rawTextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const UnicodeString& text,
                  const int32_t* advances);
  void applyPen(const TDeviceState& s);
  void applyBrush(const TDeviceState& s);
  QPainter* painter_;
  QImage* image_ = nullptr;
  int32_t ppi_;
  TPoint pos_;
  std::unique_ptr<PathState> path_;
  struct TextFont;
  std::unique_ptr<TextFont> textFont_;
  struct RawFont;
  std::unique_ptr<RawFont> rawFont_;
};

// ---------------------------------------------------------------------------
class TCanvas {
 public:
  TCanvas();
  explicit TCanvas(TCanvasDevice* device);
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TFont& Font() { return font_; }
  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  TPoint PenPos() const;
  void SetPenPos(TPoint p) {
    penPos_ = p;
    dropTextPen();
  }
  // The logical point that maps to device (0, 0) is -Origin.
  TPoint Origin() const { return origin_; }
  void SetOrigin(TPoint p) { origin_ = p; }
  // Text drawn by TextOut/TextRect/DrawText leaves its background alone when
  // the brush is clear, as the class library does.
  TCanvasDevice* Device();
  // Replaces the device (not owned). A canvas without one draws nothing.
  void SetDevice(TCanvasDevice* device) {
    settlePenPos();
    device_ = device;
    devicePosKnown_ = false;
  }

  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  // Device settings carried in the state of every call.
  int32_t PolyFillMode() const { return polyFillMode_; }
  void SetPolyFillMode(int32_t mode) { polyFillMode_ = mode; }
  int32_t StretchBltMode() const { return stretchMode_; }
  void SetStretchBltMode(int32_t mode) { stretchMode_ = mode; }
  uint32_t TextAlign() const { return textAlign_; }
  void SetTextAlign(uint32_t flags) { textAlign_ = flags; }
  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);  // one pixel in the brush colour
  void Rectangle(const TRect& r);
  void Rectangle(int32_t l, int32_t t, int32_t r, int32_t b) { Rectangle(TRect{l, t, r, b}); }
  void RoundRect(const TRect& r, int32_t cornerW, int32_t cornerH);
  void Ellipse(const TRect& r);
  void Ellipse(int32_t l, int32_t t, int32_t r, int32_t b) { Ellipse(TRect{l, t, r, b}); }
  void Arc(const TRect& r, TPoint start, TPoint end);
  void Chord(const TRect& r, TPoint start, TPoint end);
  void Pie(const TRect& r, TPoint start, TPoint end);
  void Polyline(const std::vector<TPoint>& points);
  void Polygon(const std::vector<TPoint>& points);
  void PolyBezier(const std::vector<TPoint>& points);
  void DrawFocusRect(const TRect& r);

  void BeginPath();
  void EndPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();

  void TextOut(int32_t x, int32_t y, const std::string& text);
  void TextOut(int32_t x, int32_t y, const UnicodeString& text);
  // advances: one distance per UTF-16 unit (see TCanvasDevice::TextOut).
  void ExtTextOut(int32_t x, int32_t y, uint32_t options, const TRect* r, const UnicodeString& text,
                  const int32_t* advances = nullptr);
  void TextRect(const TRect& r, int32_t x, int32_t y, const std::string& text);
  TSize TextExtent(const std::string& text);
  TSize TextExtent(const UnicodeString& text);
  int32_t TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int32_t TextHeight(const std::string& text) { return TextExtent(text).cy; }
  TTextMetrics TextMetrics();
  // Lays out text in r by the DT_ flags; answers the height of the text.
  // With DT_CALCRECT nothing is drawn and r is set to the text's bounds.
  int32_t DrawText(const std::string& text, TRect& r, uint32_t flags);
  int32_t DrawText(const UnicodeString& text, TRect& r, uint32_t flags);

  void Draw(int32_t x, int32_t y, const TBitmap& bitmap);
  void StretchDraw(const TRect& dest, const TBitmap& bitmap);
  void CopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect);
  // Blends sourceRect of the bitmap onto dest: constant alpha times, with
  // useSourceAlpha, the per-pixel alpha of a 32-bit bitmap.
  void AlphaBlend(const TRect& dest, const TBitmap& source, const TRect& sourceRect, Byte constantAlpha,
                  bool useSourceAlpha);

  TColor Pixel(int32_t x, int32_t y);
  void SetPixel(int32_t x, int32_t y, TColor color);

  void SetClipRect(const TRect& r);
  void ClearClipRect();
  void IntersectClipRect(const TRect& r);
  // Saves clipping, origin, pen, brush and font; Restore brings them back.
  void Save();
  void Restore();

 protected:
  // Called before every call that reaches the device, drawing or measuring,
  // so that a derived canvas can bring its objects up to date first.
  virtual void Changing() {}
  TDeviceState state() const;
  TRect toDevice(const TRect& r) const;
  TPoint toDevice(TPoint p) const;

 private:
  struct Saved {
    TPoint origin;
    TPenData pen;
    TBrushData brush;
    TFontData font;
  };
  TCanvasDevice* device_ = nullptr;
  TFont font_;
  TPen pen_;
  TBrush brush_;
  // Sends the pen position to the device when the device does not have it
  // (shapes, texts and a new device move it without telling the device).
  void syncDevicePos();
  mutable TPoint penPos_;
  // TextOut leaves the pen behind the text. Measuring the text shapes it a
  // second time, which cost as much as drawing it, and the position is rarely
  // read: it is measured when asked for, in the font the text was drawn in.
  struct TextPen {
    bool pending = false;
    TPoint at;
    UnicodeString text;
    TFontData font;
  };
  mutable std::unique_ptr<TextPen> penText_;
  void settlePenPos() const;
  void dropTextPen() {
    if (penText_) penText_->pending = false;
  }
  TPoint origin_;
  bool devicePosKnown_ = false;
  TPoint devicePos_;
  int32_t polyFillMode_ = ALTERNATE;
  int32_t stretchMode_ = BLACKONWHITE;
  uint32_t textAlign_ = TA_TOP | TA_LEFT;
  std::vector<Saved> saved_;
};

// ---------------------------------------------------------------------------
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };
using enum TPixelFormat;
enum class TAlphaFormat { afIgnored, afDefined };
using enum TAlphaFormat;

// A bitmap in the memory layout of a device-independent bitmap: rows top to
// bottom, each padded to a multiple of four bytes; 24-bit pixels are B, G, R;
// 32-bit pixels are B, G, R, A; indexed pixels refer to Palette (1-bit: most
// significant bit first). pfDevice is stored as pf32bit.
class TBitmap {
 public:
  TBitmap();
  TBitmap(int32_t width, int32_t height, TPixelFormat format = pf32bit);
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  void Assign(const TBitmap& other);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  // Resizing keeps the top-left part of the old pixels; new ones are black
  // (index 0 for indexed formats), and for 32-bit fully transparent.
  void SetSize(int32_t width, int32_t height);
  void SetWidth(int32_t w) { SetSize(w, height_); }
  void SetHeight(int32_t h) { SetSize(width_, h); }
  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels to the new format (to an indexed one through the
  // nearest palette colour).
  void SetPixelFormat(TPixelFormat format);
  TAlphaFormat AlphaFormat() const { return alphaFormat_; }
  void SetAlphaFormat(TAlphaFormat f) { alphaFormat_ = f; }
  int32_t BitsPerPixel() const;
  int32_t BytesPerLine() const { return stride_; }

  // Palette of an indexed bitmap (2, 16 or 256 entries of plain TColor).
  const std::vector<TColor>& Palette() const { return palette_; }
  void SetPalette(const std::vector<TColor>& colors);

  // Row y (0 = top). Raises ERangeError "Scan line index out of range" for a
  // row outside the bitmap. Any open canvas drawing is finished first.
  Byte* ScanLine(int32_t y);
  const Byte* ScanLine(int32_t y) const;

  // Pixel as a plain colour, independent of the format.
  TColor GetPixel(int32_t x, int32_t y) const;
  void SetPixelColor(int32_t x, int32_t y, TColor c);
  // 32-bit only: alpha of a pixel.
  Byte GetAlpha(int32_t x, int32_t y) const;

  TCanvas& Canvas();

  // The pixels as a Qt image (ARGB32, straight alpha; opaque unless the
  // bitmap is 32-bit with afDefined alpha or transparency was asked for).
  QImage ToQImage() const;
  // A 32-bit bitmap's pixels as a read-only image over its own bits, valid
  // until the bitmap changes (other formats: a copy); without alpha every
  // pixel counts as opaque.
  QImage PixelView(bool withAlpha) const;
  void FromQImage(const QImage& image, TPixelFormat format = pf32bit);

  bool Transparent = false;
  TColor TransparentColor = clNone;  // clNone: the bottom-left pixel

 private:
  class Device;
  friend class Device;
  void finishDrawing() const;
  void allocate(int32_t w, int32_t h, TPixelFormat f);
  int32_t width_ = 0;
  int32_t height_ = 0;
  TPixelFormat format_ = pf32bit;
  TAlphaFormat alphaFormat_ = afIgnored;
  int32_t stride_ = 0;
  std::vector<Byte> bits_;
  std::vector<TColor> palette_;
  std::unique_ptr<Device> device_;
  std::unique_ptr<TCanvas> canvas_;
};

// ---------------------------------------------------------------------------
// Graphics that pictures hold. Readers of image formats register a factory
// for their file extension; TPicture picks it by the extension.
class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  virtual void Draw(TCanvas& canvas, const TRect& dest) const = 0;
  virtual void LoadFromBytes(const TBytes& data) = 0;
  // The graphic as a bitmap (a bitmap graphic answers its own).
  virtual const TBitmap& AsBitmap() const = 0;
};

// A graphic holding a TBitmap; reads any format the Qt image readers know.
class TBitmapGraphic : public TGraphic {
 public:
  int32_t Width() const override { return bitmap.Width(); }
  int32_t Height() const override { return bitmap.Height(); }
  void Draw(TCanvas& canvas, const TRect& dest) const override { canvas.StretchDraw(dest, bitmap); }
  // Raises EInvalidGraphic "Bitmap image is not valid" for unreadable data.
  void LoadFromBytes(const TBytes& data) override;
  const TBitmap& AsBitmap() const override { return bitmap; }
  TBitmap bitmap;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

class TPicture {
 public:
  // Extension without the dot, case-insensitive ("png").
  static void RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicFactory factory);
  static void UnregisterFileFormat(const std::string& extension);
  // Raises EInvalidGraphic "Unknown picture file extension (.xyz)" for an
  // extension no reader claims, and the reader's exception for bad content.
  void LoadFromFile(const std::string& path);
  void LoadFromBytes(const std::string& extension, const TBytes& data);
  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> g) { graphic_ = std::move(g); }
  int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
  int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }

 private:
  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace px
