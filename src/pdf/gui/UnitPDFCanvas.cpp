#include "pdf/gui/UnitPDFCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pdf/gui/UnitPDFFont.h"
#include "pdf/gui/UnitPDFImage.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/core/NumberConversion.h"

namespace px {

namespace {

constexpr int32_t kPrinterDpi = 600;
constexpr int32_t kScreenDpi = 96;
constexpr uint32_t kNoSlot = 2147483647u;
constexpr int32_t kNoColour = 0x1FFFFFFF;
constexpr int32_t kNoWidth = 2147483647;

// Object kinds of the object table.
enum TObjKind : int32_t { okEmpty = 0, okPen = 1, okBrush = 2, okFont = 3 };

struct TObjEntry {
  TObjKind Kind = okEmpty;
  int32_t Style = 0;
  int32_t WidthX = 0;
  int32_t WidthY = 0;
  int32_t Colour = 0;
  int32_t Hatch = 0;
  TLogFontW Font;
};

TLogFontW stockFont(const char* face, int32_t height) {
  TLogFontW f;
  f.lfHeight = height;
  f.lfWeight = FW_NORMAL;
  f.lfCharSet = DEFAULT_CHARSET;
  SetLogFontFaceName(f, face);
  return f;
}

// The fixed table of stock objects 0..19: brushes white, light grey, grey,
// dark grey, black and null; pens white, black and null; an empty slot; the
// fonts; the default palette (no kind here); the DC brush and pen.
const std::array<TObjEntry, pdfrec::StockCount>& stockObjects() {
  static const std::array<TObjEntry, pdfrec::StockCount> table = [] {
    std::array<TObjEntry, pdfrec::StockCount> t{};
    auto brush = [](int32_t style, TColor c) {
      TObjEntry e;
      e.Kind = okBrush;
      e.Style = style;
      e.Colour = c;
      return e;
    };
    auto pen = [](int32_t style, TColor c) {
      TObjEntry e;
      e.Kind = okPen;
      e.Style = style;
      e.WidthX = e.WidthY = 1;
      e.Colour = c;
      return e;
    };
    auto font = [](const char* face, int32_t height) {
      TObjEntry e;
      e.Kind = okFont;
      e.Font = stockFont(face, height);
      return e;
    };
    t[0] = brush(0, 0xFFFFFF);
    t[1] = brush(0, 0xC0C0C0);
    t[2] = brush(0, 0x808080);
    t[3] = brush(0, 0x404040);
    t[4] = brush(0, 0x000000);
    t[5] = brush(1, 0x000000);
    t[6] = pen(0, 0xFFFFFF);
    t[7] = pen(0, 0x000000);
    t[8] = pen(5, 0x000000);
    t[10] = font("DejaVu Sans Mono", 12);
    t[11] = font("DejaVu Sans Mono", 13);
    t[12] = font("Tahoma", 13);
    t[13] = font("Tahoma", 16);
    t[14] = font("Tahoma", 16);
    t[16] = font("DejaVu Sans Mono", 15);
    t[17] = font("Tahoma", -11);
    t[18] = brush(0, 0xFFFFFF);
    t[19] = pen(0, 0x000000);
    return t;
  }();
  return table;
}

int32_t penStyleCode(TPenStyle s) { return static_cast<int32_t>(s); }

void brushCodes(const TBrushData& b, int32_t& style, int32_t& hatch) {
  hatch = 0;
  switch (b.Style) {
    case bsSolid: style = 0; break;
    case bsClear: style = 1; break;
    default:
      style = 2;
      hatch = static_cast<int32_t>(b.Style) - static_cast<int32_t>(bsHorizontal);
      break;
  }
}

}  // namespace

TLogFontW LogFontOfFontData(const TFontData& font) {
  TLogFontW f;
  f.lfHeight = font.Height;
  f.lfEscapement = font.Orientation;
  f.lfOrientation = font.Orientation;
  f.lfWeight = font.Style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  f.lfItalic = font.Style.Contains(fsItalic) ? 1 : 0;
  f.lfUnderline = font.Style.Contains(fsUnderline) ? 1 : 0;
  f.lfStrikeOut = font.Style.Contains(fsStrikeOut) ? 1 : 0;
  f.lfCharSet = DEFAULT_CHARSET;
  SetLogFontFaceName(f, font.Name);
  return f;
}

// ---------------------------------------------------------------------------
// The recording device: every drawing call becomes records; the pen, brush
// and font the call needs are created and selected first when they differ
// from the selected ones.

class TPDFRecordingDevice : public TCanvasDevice {
 public:
  explicit TPDFRecordingDevice(TPDFCanvas& owner) : owner_(owner) {}

  std::vector<TPDFRecord> records;
  bool started = false;

  bool start() {
    if (started) return true;
    if (owner_.finished_ || owner_.pageWidth_ == 0 || owner_.pageHeight_ == 0) return false;
    started = true;
    TPDFRecord header;
    header.Type = pdfrec::Header;
    header.Values = {1};
    records.push_back(std::move(header));
    return true;
  }

  // The header carries the number of handles used.
  void close() {
    if (!records.empty() && records[0].Type == pdfrec::Header) records[0].Values = {handleCount_};
  }

  void add(TPDFRecord r) { records.push_back(std::move(r)); }
  void addValue(int32_t type, int32_t value) {
    TPDFRecord r;
    r.Type = type;
    r.Values = {value};
    add(std::move(r));
  }
  void addPoints(int32_t type, std::vector<TPoint> pts) {
    TPDFRecord r;
    r.Type = type;
    r.Points = std::move(pts);
    add(std::move(r));
  }
  void addSimple(int32_t type) {
    TPDFRecord r;
    r.Type = type;
    add(std::move(r));
  }

  void FillRect(const TDeviceState& s, const TRect& r) override {
    if (!start() || s.Brush.Style == bsClear) return;
    selectBrush(s.Brush);
    selectStock(okPen, 8);
    addPoints(pdfrec::Rectangle, {{r.Left, r.Top}, {r.Right, r.Bottom}});
  }
  void Rectangle(const TDeviceState& s, const TRect& r) override {
    if (!shape(s)) return;
    addPoints(pdfrec::Rectangle, {{r.Left, r.Top}, {r.Right, r.Bottom}});
  }
  void RoundRect(const TDeviceState& s, const TRect& r, int32_t cw, int32_t ch) override {
    if (!shape(s)) return;
    TPDFRecord rec;
    rec.Type = pdfrec::RoundRect;
    rec.Points = {{r.Left, r.Top}, {r.Right, r.Bottom}};
    rec.Values = {cw, ch};
    add(std::move(rec));
  }
  void Ellipse(const TDeviceState& s, const TRect& r) override {
    if (!shape(s)) return;
    addPoints(pdfrec::Ellipse, {{r.Left, r.Top}, {r.Right, r.Bottom}});
  }
  void Arc(const TDeviceState& s, TArcKind kind, const TRect& r, TPoint a, TPoint b) override {
    if (!shape(s)) return;
    int32_t type = kind == TArcKind::Arc ? pdfrec::Arc : kind == TArcKind::Chord ? pdfrec::Chord : pdfrec::Pie;
    addPoints(type, {{r.Left, r.Top}, {r.Right, r.Bottom}, a, b});
  }
  void Polyline(const TDeviceState& s, const std::vector<TPoint>& p) override {
    if (!shape(s)) return;
    addPoints(pdfrec::Polyline, p);
  }
  void Polygon(const TDeviceState& s, const std::vector<TPoint>& p) override {
    if (!shape(s)) return;
    addPoints(pdfrec::Polygon, p);
  }
  void PolyBezier(const TDeviceState& s, const std::vector<TPoint>& p) override {
    if (!shape(s)) return;
    addPoints(pdfrec::PolyBezier, p);
  }
  void MoveTo(const TDeviceState&, TPoint p) override {
    if (!start()) return;
    addPoints(pdfrec::MoveTo, {p});
  }
  void LineTo(const TDeviceState& s, TPoint p) override {
    if (!shape(s)) return;
    addPoints(pdfrec::LineTo, {p});
  }
  void BeginPath() override {
    if (start()) addSimple(pdfrec::BeginPath);
  }
  void EndPath() override {
    if (start()) addSimple(pdfrec::EndPath);
  }
  void CloseFigure() override {
    if (start()) addSimple(pdfrec::CloseFigure);
  }
  void FillPath(const TDeviceState& s) override {
    if (shape(s)) addSimple(pdfrec::FillPath);
  }
  void StrokePath(const TDeviceState& s) override {
    if (shape(s)) addSimple(pdfrec::StrokePath);
  }
  void StrokeAndFillPath(const TDeviceState& s) override {
    if (shape(s)) addSimple(pdfrec::StrokeAndFillPath);
  }

  void TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect*, const UnicodeString& text,
               const int32_t* advances) override {
    if (!start()) return;
    selectFont(s.Font);
    setValue(pdfrec::SetTextColor, textColour_, s.Font.Color);
    if (s.Brush.Style != bsClear) setValue(pdfrec::SetBkColor, bkColour_, s.Brush.Color);
    setValue(pdfrec::SetTextAlign, textAlign_, static_cast<int32_t>(s.TextAlign));
    TPDFRecord r;
    r.Type = pdfrec::TextOut;
    r.Points = {{x, y}};
    r.Values = {static_cast<int32_t>(options)};
    r.Text = text;
    if (advances) r.Advances.assign(advances, advances + text.size());
    else r.Advances = PDFTextAdvances(LogFontOfFontData(s.Font), text, (options & ETO_GLYPH_INDEX) != 0);
    add(std::move(r));
  }

  TSize TextExtent(const TFontData& font, const UnicodeString& text) override {
    TLogFontW f = LogFontOfFontData(font);
    int32_t w = 0;
    for (int32_t a : PDFTextAdvances(f, text, false)) w += a;
    return {w, PDFTextMetrics(f).Height};
  }
  TTextMetrics TextMetrics(const TFontData& font) override { return PDFTextMetrics(LogFontOfFontData(font)); }

  void DrawBitmap(const TDeviceState& s, const TRect& d, const TBitmap& src, const TRect& sr,
                  const TBlendMode& blend) override {
    if (!start() || d.IsEmpty() || src.Empty() || sr.IsEmpty()) return;
    setValue(pdfrec::SetStretchMode, stretchMode_, s.StretchMode);
    TPDFRecord r;
    // A constant alpha cannot be written; such a blend is recorded as what
    // it is and skipped on replay. Transparency keys become a masked
    // transfer, whose mask is not used.
    r.Type = blend.ConstantAlpha != 255            ? pdfrec::AlphaBlend
             : blend.TransparentColor != clNone ? pdfrec::MaskBlt
                                                : pdfrec::StretchBlt;
    r.Points = {{d.Left, d.Top}, {d.Right, d.Bottom}};
    r.Bitmap = cropped(src, sr);
    add(std::move(r));
  }

  TColor GetPixel(int32_t, int32_t) override { return clNone; }
  void SetPixel(int32_t x, int32_t y, TColor c) override {
    TDeviceState s;
    s.Brush.Color = c;
    FillRect(s, {x, y, x + 1, y + 1});
  }
  // Clipping is not carried into the page content.
  void SetClipRect(const TRect*) override {}
  void IntersectClipRect(const TRect&) override {}
  void SaveState() override {
    if (start()) addSimple(pdfrec::SaveState);
  }
  void RestoreState() override {
    if (!start()) return;
    TPDFRecord r;
    r.Type = pdfrec::RestoreState;
    r.Values = {-1};
    add(std::move(r));
    // The replay brings back the selection of the saved state; the device
    // selects afresh.
    selectedPen_.reset();
    selectedBrush_.reset();
    selectedFont_.reset();
    penHandle_ = brushHandle_ = fontHandle_ = 0;
    textColour_ = bkColour_ = textAlign_ = polyFill_ = stretchMode_ = -1;
  }
  int32_t PixelsPerInch() const override { return owner_.ResolutionX(); }

 private:
  // Selects pen and brush for a shape; answers whether there is a recording.
  bool shape(const TDeviceState& s) {
    if (!start()) return false;
    selectPen(s.Pen);
    selectBrush(s.Brush);
    setValue(pdfrec::SetPolyFillMode, polyFill_, s.PolyFillMode);
    return true;
  }

  void setValue(int32_t type, int32_t& current, int32_t value) {
    if (current == value) return;
    current = value;
    addValue(type, value);
  }

  uint32_t newHandle() {
    for (uint32_t i = 1; i < used_.size(); ++i)
      if (!used_[i]) {
        used_[i] = true;
        return i;
      }
    used_.push_back(true);
    handleCount_ = static_cast<int32_t>(used_.size());
    return static_cast<uint32_t>(used_.size() - 1);
  }

  void replace(uint32_t& handle, uint32_t fresh) {
    TPDFRecord sel;
    sel.Type = pdfrec::SelectObject;
    sel.Handle = fresh;
    add(std::move(sel));
    if (handle != 0 && !(handle & pdfrec::StockFlag)) {
      TPDFRecord del;
      del.Type = pdfrec::DeleteObject;
      del.Handle = handle;
      add(std::move(del));
      used_[handle] = false;
    }
    handle = fresh;
  }

  void selectStock(TObjKind kind, uint32_t index) {
    uint32_t& handle = kind == okPen ? penHandle_ : brushHandle_;
    if (handle == (pdfrec::StockFlag | index)) return;
    if (kind == okPen) selectedPen_.reset();
    else selectedBrush_.reset();
    replace(handle, pdfrec::StockFlag | index);
  }

  void selectPen(const TPenData& pen) {
    if (selectedPen_ && *selectedPen_ == pen && !(penHandle_ & pdfrec::StockFlag)) return;
    selectedPen_ = pen;
    TPDFRecord r;
    r.Type = pdfrec::CreatePen;
    r.Handle = newHandle();
    r.Values = {penStyleCode(pen.Style), pen.Width, pen.Width, pen.Color};
    uint32_t h = r.Handle;
    add(std::move(r));
    replace(penHandle_, h);
  }

  void selectBrush(const TBrushData& brush) {
    if (selectedBrush_ && *selectedBrush_ == brush && !(brushHandle_ & pdfrec::StockFlag)) return;
    selectedBrush_ = brush;
    int32_t style, hatch;
    brushCodes(brush, style, hatch);
    TPDFRecord r;
    r.Type = pdfrec::CreateBrush;
    r.Handle = newHandle();
    r.Values = {style, brush.Color, hatch};
    uint32_t h = r.Handle;
    add(std::move(r));
    replace(brushHandle_, h);
  }

  void selectFont(const TFontData& font) {
    TFontData key = font;
    key.Color = 0;  // the text colour is a record of its own
    if (selectedFont_ && *selectedFont_ == key) return;
    selectedFont_ = key;
    TPDFRecord r;
    r.Type = pdfrec::CreateFont;
    r.Handle = newHandle();
    r.Font = LogFontOfFontData(font);
    uint32_t h = r.Handle;
    add(std::move(r));
    replace(fontHandle_, h);
  }

  // The part of the source that is drawn, as a bitmap of its own.
  static std::shared_ptr<const TBitmap> cropped(const TBitmap& src, const TRect& sr) {
    auto copy = std::make_shared<TBitmap>();
    copy->Assign(src);
    if (sr.Left == 0 && sr.Top == 0 && sr.Right == src.Width() && sr.Bottom == src.Height()) return copy;
    TRect r = sr.Normalized();
    r.Left = std::clamp(r.Left, 0, src.Width());
    r.Right = std::clamp(r.Right, 0, src.Width());
    r.Top = std::clamp(r.Top, 0, src.Height());
    r.Bottom = std::clamp(r.Bottom, 0, src.Height());
    auto part = std::make_shared<TBitmap>(std::max(1, r.Width()), std::max(1, r.Height()), src.PixelFormat());
    if (src.BitsPerPixel() <= 8) part->SetPalette(src.Palette());
    const int32_t bpp = src.BitsPerPixel();
    for (int32_t y = 0; y < part->Height() && r.Top + y < src.Height(); ++y) {
      const Byte* in = src.ScanLine(r.Top + y);
      Byte* out = part->ScanLine(y);
      for (int32_t x = 0; x < part->Width() && r.Left + x < src.Width(); ++x) {
        const int32_t sx = r.Left + x;
        if (bpp >= 8) {
          const int32_t n = bpp / 8;
          std::memcpy(out + x * n, in + sx * n, static_cast<size_t>(n));
        } else {
          const int32_t perByte = 8 / bpp, mask = (1 << bpp) - 1;
          int32_t v = (in[sx / perByte] >> ((perByte - 1 - sx % perByte) * bpp)) & mask;
          int32_t shift = (perByte - 1 - x % perByte) * bpp;
          out[x / perByte] = static_cast<Byte>((out[x / perByte] & ~(mask << shift)) | (v << shift));
        }
      }
    }
    return part;
  }

  TPDFCanvas& owner_;
  std::vector<bool> used_{true};  // handle 0 stands for the recording itself
  int32_t handleCount_ = 1;
  uint32_t penHandle_ = 0, brushHandle_ = 0, fontHandle_ = 0;
  std::optional<TPenData> selectedPen_;
  std::optional<TBrushData> selectedBrush_;
  std::optional<TFontData> selectedFont_;
  // What the replay starts with: black text on white, top-left alignment,
  // alternate filling, no smoothing.
  int32_t textColour_ = 0;
  int32_t bkColour_ = 0xFFFFFF;
  int32_t textAlign_ = 0;
  int32_t polyFill_ = ALTERNATE;
  int32_t stretchMode_ = BLACKONWHITE;
};

// ---------------------------------------------------------------------------
// The replay: records to page content.

struct TPDFCanvas::Replay {
  struct GState {
    std::array<uint32_t, 4> Slots{kNoSlot, kNoSlot, kNoSlot, kNoSlot};
    int32_t TextColour = 0;
    int32_t BkColour = 0xFFFFFF;
    TPoint Pos;
    int32_t ArcDirection = 1;
    bool Alternate = true;
    std::array<float, 6> Transform{1, 0, 0, 1, 0, 0};
    uint32_t TextAlign = 0;
    float MiterLimit = 10.0f;
  };

  TPDFCanvas& canvas;
  std::string out;
  std::string pathOut;  // path segments wait here for their painting operator
  std::vector<TObjEntry> objects;
  GState g;
  std::vector<GState> saved;
  int32_t mapMode = 1;
  int32_t pathFlags = 0;
  int32_t strokeCache = kNoColour;
  int32_t widthCache = kNoWidth;
  int32_t fillCache = kNoColour;
  bool interpolate = false;
  int32_t dpiX, dpiY;
  // Text state.
  bool inText = false;
  TPoint lastTd;
  std::string curFont;
  int32_t curSize = -1;
  UnicodeString runText;
  TPoint runStart;
  TFontRef* runFont = nullptr;
  int32_t runSize = 0;
  std::vector<int32_t> runPositions;

  // The recording starts with the pen at the logical origin, the top-left
  // corner of the page.
  Replay(TPDFCanvas& c) : canvas(c), dpiX(c.ResolutionX()), dpiY(c.ResolutionY()) { g.Pos = {0, c.pageHeight_}; }

  bool inPath() const { return (pathFlags & 1) != 0; }
  std::string& sink() { return inPath() ? pathOut : out; }

  // --- numbers
  static void coord(std::string& s, int64_t v) {
    if (v < 0) {
      s += '-';
      v = -v;
    }
    s += std::to_string(v / 100);
    int64_t r = v % 100;
    if (r != 0) {
      s += '.';
      if (r % 10 == 0) s += std::to_string(r / 10);
      else if (r > 9) s += std::to_string(r);
      else s += "0" + std::to_string(r);
    }
    s += ' ';
  }
  static void fraction(std::string& s, double x, double tolerance, int decimals) {
    double n = std::round(x);
    if (std::fabs(x - n) < tolerance) s += std::to_string(static_cast<int64_t>(n));
    else s += InvariantFloatToStr(x, decimals);
    s += ' ';
  }
  static void colour(std::string& s, int32_t c, bool stroke) {
    const int r = c & 0xFF, gr = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    if (r == gr && gr == b) {
      fraction(s, r / 255.0, 0.0005, 3);
      s += stroke ? "G\n" : "g\n";
    } else {
      fraction(s, r / 255.0, 0.0005, 3);
      fraction(s, gr / 255.0, 0.0005, 3);
      fraction(s, b / 255.0, 0.0005, 3);
      s += stroke ? "RG\n" : "rg\n";
    }
  }
  void point(std::string& s, TPoint p) {
    coord(s, p.X);
    coord(s, p.Y);
  }

  // --- coordinates
  int32_t units(int64_t v) const {
    switch (mapMode) {
      case 1: return static_cast<int32_t>(v * 7200 / dpiX);
      case 2: return static_cast<int32_t>(v * 3600 / 127);
      case 3: return static_cast<int32_t>(v * 360 / 127);
      case 4: return static_cast<int32_t>(v * 72);
      case 5: return static_cast<int32_t>(v * 72 / 10);
      case 6: return static_cast<int32_t>(v * 5);
      default: throw Exception("Mapmode not supported!");
    }
  }
  TPoint page(TPoint p) const {
    const auto& m = g.Transform;
    const double x = p.X * static_cast<double>(m[0]) + p.Y * static_cast<double>(m[2]) + m[4];
    const double y = p.X * static_cast<double>(m[1]) + p.Y * static_cast<double>(m[3]) + m[5];
    const int64_t tx = std::llround(x), ty = std::llround(y);
    const int32_t X = units(tx);
    const int32_t uy = units(ty);
    return {X, mapMode == 1 ? canvas.pageHeight_ - uy : canvas.pageHeight_ + uy};
  }

  // --- objects
  const TObjEntry* resolve(int32_t kind) const {
    uint32_t slot = g.Slots[static_cast<size_t>(kind)];
    if (slot == kNoSlot) return nullptr;
    const TObjEntry* e = nullptr;
    if (slot & pdfrec::StockFlag) e = &stockObjects()[slot & 0x7FFFFFFF];
    else if (slot < objects.size()) e = &objects[slot];
    if (!e || e->Kind != kind) return nullptr;
    return e;
  }
  bool activateStroke() {
    const TObjEntry* pen = resolve(okPen);
    if (!pen || pen->Style == 5) return false;
    if (pen->Colour != strokeCache) {
      colour(out, pen->Colour, true);
      strokeCache = pen->Colour;
    }
    int32_t w = units(pen->WidthX);
    if (w != widthCache) {
      coord(out, w);
      out += "w\n";
      widthCache = w;
    }
    return true;
  }
  bool activateFill() {
    const TObjEntry* brush = resolve(okBrush);
    if (!brush || brush->Style == 1) return false;
    setFill(brush->Colour);
    return true;
  }
  void setFill(int32_t c) {
    if (c == fillCache) return;
    colour(out, c, false);
    fillCache = c;
  }
  // Outside a path, activates pen and (when the shape can be filled) brush;
  // false when the shape would paint nothing.
  bool startShape(bool& stroke, bool& fill, bool fillable) {
    if (inPath()) return true;
    stroke = activateStroke();
    fill = fillable && activateFill();
    return stroke || fill;
  }
  const char* paintOp(bool stroke, bool fill, bool close) const {
    if (!stroke && !fill) return "n\n";
    if (stroke && !fill) return close ? "s\n" : "S\n";
    if (!stroke) return g.Alternate ? "f*\n" : "f\n";
    if (g.Alternate) return close ? "b*\n" : "B*\n";
    return close ? "b\n" : "B\n";
  }
  // Writes the waiting path and its painting operator.
  void paint(bool stroke, bool fill, bool close) {
    out += pathOut;
    pathOut.clear();
    out += paintOp(stroke, fill, close);
  }

  // --- text objects
  void flushTextRun() {
    if (runText.empty()) return;
    coord(out, static_cast<int64_t>(runStart.X) - lastTd.X);
    coord(out, static_cast<int64_t>(runStart.Y) - lastTd.Y);
    out += "Td\n";
    lastTd = runStart;
    out += runFont->ShowString(runText, runPositions, 7200 / dpiY + 12);
    runText.clear();
    runPositions.clear();
  }
  void beginTextObject() {
    if (inText) return;
    out += "BT\n";
    lastTd = {0, 0};
    curFont.clear();
    curSize = -1;
    inText = true;
  }
  void endTextObject() {
    flushTextRun();
    if (!inText) return;
    out += "ET\n";
    inText = false;
  }

  // --- shapes
  void rectangle(const TPDFRecord& r) {
    endTextObject();
    TPoint a = page(r.Points.at(0)), b = page(r.Points.at(1));
    const int32_t x = std::min(a.X, b.X), y = std::min(a.Y, b.Y);
    const int32_t w = std::abs(b.X - a.X), h = std::abs(b.Y - a.Y);
    if (inPath()) {
      coord(pathOut, x);
      coord(pathOut, y);
      coord(pathOut, w);
      coord(pathOut, h);
      pathOut += "re\n";
      pathFlags |= 8;
      return;
    }
    bool stroke = activateStroke(), fill = activateFill();
    if (!stroke && !fill) return;
    coord(out, x);
    coord(out, y);
    coord(out, w);
    coord(out, h);
    out += "re ";
    out += paintOp(stroke, fill, false);
  }

  void curve(std::string& s, TPoint a, TPoint b, TPoint c, const char* end) {
    point(s, a);
    point(s, b);
    point(s, c);
    s += end;
  }

  void ellipse(const TPDFRecord& r) {
    endTextObject();
    TPoint a = page(r.Points.at(0)), b = page(r.Points.at(1));
    const int32_t cx = (a.X + b.X) / 2, cy = (a.Y + b.Y) / 2;
    const int32_t rx = std::abs(b.X - cx), ry = std::abs(b.Y - cy);
    const int32_t kx = static_cast<int32_t>(std::lround(rx * 0.551784)), ky = static_cast<int32_t>(std::lround(ry * 0.551784));
    bool stroke = false, fill = false;
    if (!startShape(stroke, fill, true)) return;
    std::string& s = sink();
    point(s, {cx, cy + ry});
    s += "m\n";
    curve(s, {cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy}, "c\n");
    curve(s, {cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry}, "c\n");
    curve(s, {cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy}, "c\n");
    curve(s, {cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry}, inPath() ? "c\n" : "c ");
    if (!inPath()) out += paintOp(stroke, fill, true);
  }

  void roundRect(const TPDFRecord& r) {
    endTextObject();
    TPoint a = page(r.Points.at(0)), b = page(r.Points.at(1));
    const int32_t x1 = std::min(a.X, b.X), x2 = std::max(a.X, b.X), y1 = std::min(a.Y, b.Y), y2 = std::max(a.Y, b.Y);
    const int32_t w = x2 - x1, h = y2 - y1;
    int32_t rx = units(r.Values.at(0)) / 2, ry = units(r.Values.at(1)) / 2;
    if (w < 2 * rx) rx = w / 2;
    if (h < 2 * ry) ry = h / 2;
    bool stroke = false, fill = false;
    if (!startShape(stroke, fill, true)) return;
    std::string& s = sink();
    if (rx <= 0 || ry <= 0) {
      coord(s, x1);
      coord(s, y1);
      coord(s, w);
      coord(s, h);
      if (inPath()) {
        s += "re\n";
      } else {
        s += "re ";
        s += paintOp(stroke, fill, true);
      }
      return;
    }
    const int32_t kx = static_cast<int32_t>(std::lround(rx * 0.551784)), ky = static_cast<int32_t>(std::lround(ry * 0.551784));
    point(s, {x1 + rx, y1});
    s += "m\n";
    if (2 * rx < w) {
      point(s, {x2 - rx, y1});
      s += "l\n";
    }
    curve(s, {x2 + kx - rx, y1}, {x2, y1 + ry - ky}, {x2, y1 + ry}, "c\n");
    if (2 * ry < h) {
      point(s, {x2, y2 - ry});
      s += "l\n";
    }
    curve(s, {x2, y2 + ky - ry}, {x2 + kx - rx, y2}, {x2 - rx, y2}, "c\n");
    if (2 * rx < w) {
      point(s, {x1 + rx, y2});
      s += "l\n";
    }
    curve(s, {x1 + rx - kx, y2}, {x1, y2 + ky - ry}, {x1, y2 - ry}, "c\n");
    if (2 * ry < h) {
      point(s, {x1, y1 + ry});
      s += "l\n";
    }
    curve(s, {x1, y1 + ry - ky}, {x1 + rx - kx, y1}, {x1 + rx, y1}, "c\n");
    if (!inPath()) out += paintOp(stroke, fill, true);
  }

  static double angleOf(double dx, double dy, double rx, double ry) {
    if (dx == 0) return dy >= 0 ? M_PI / 2 : 3 * M_PI / 2;
    if (dy == 0) return dx < 0 ? M_PI : 0.0;
    double a = std::atan((dy / dx) * (rx / ry));
    if (dx < 0) a += M_PI;
    else if (dy < 0) a += 2 * M_PI;
    return a;
  }

  void arc(const TPDFRecord& r) {
    endTextObject();
    TPoint a = page(r.Points.at(0)), b = page(r.Points.at(1));
    TPoint ps = page(r.Points.at(2)), pe = page(r.Points.at(3));
    const int32_t cx = (a.X + b.X) / 2, cy = (a.Y + b.Y) / 2;
    const int32_t rx = std::abs(cx - a.X), ry = std::abs(cy - a.Y);
    if (rx == 0 || ry == 0) return;
    bool stroke = false, fill = false;
    if (!startShape(stroke, fill, r.Type != pdfrec::Arc)) return;
    double start = angleOf(ps.X - cx, ps.Y - cy, rx, ry);
    double end = angleOf(pe.X - cx, pe.Y - cy, rx, ry);
    if (end <= start) end += 2 * M_PI;
    const double sweep = end - start;
    const int n = static_cast<int>(std::trunc(sweep / (M_PI / 2) + 0.999999));
    const double step = sweep / n;
    const double k = (1 - std::cos(step / 2)) * 4 / 3 / std::sin(step / 2);
    auto P = [&](double t, double th) {
      return TPoint{static_cast<int32_t>(std::lround(cx + rx * (std::cos(th) - t * std::sin(th)))),
                    static_cast<int32_t>(std::lround(cy + ry * (std::sin(th) + t * std::cos(th))))};
    };
    std::string& s = sink();
    if (r.Type == pdfrec::Pie) {
      point(s, {cx, cy});
      s += "m\n";
      point(s, P(0, start));
      s += "l\n";
    } else {
      point(s, P(0, start));
      s += "m\n";
    }
    double th = start;
    for (int i = 0; i < n; ++i) {
      curve(s, P(k, th), P(-k, th + step), P(0, th + step), "c\n");
      th += step;
    }
    if (!inPath()) out += paintOp(stroke, fill, r.Type != pdfrec::Arc);
  }

  void poly(const std::vector<TPoint>& pts, bool polygon, bool from) {
    endTextObject();
    std::vector<TPoint> all;
    if (from) all.push_back(g.Pos);
    for (const TPoint& p : pts) all.push_back(page(p));
    if (from && !pts.empty()) g.Pos = all.back();
    if (all.size() < 2) return;
    bool stroke = false, fill = false;
    if (!startShape(stroke, fill, polygon)) return;
    std::string& s = sink();
    point(s, all[0]);
    s += "m\n";
    for (size_t i = 1; i < all.size(); ++i) {
      point(s, all[i]);
      s += "l\n";
    }
    if (inPath()) {
      if (polygon) s += "h\n";
      pathFlags |= 4;
    } else {
      out += paintOp(stroke, fill, polygon);
    }
  }

  void polyPoly(const TPDFRecord& r, bool polygon) {
    size_t at = 0;
    for (int32_t count : r.Values) {
      if (count < 0 || at + static_cast<size_t>(count) > r.Points.size()) break;
      poly(std::vector<TPoint>(r.Points.begin() + at, r.Points.begin() + at + count), polygon, false);
      at += static_cast<size_t>(count);
    }
  }

  void bezier(const std::vector<TPoint>& pts, bool from) {
    endTextObject();
    std::vector<TPoint> all;
    if (from) all.push_back(g.Pos);
    for (const TPoint& p : pts) all.push_back(page(p));
    if (from && !pts.empty()) g.Pos = all.back();
    if (inPath()) {
      size_t i = 1;
      if (!from && !all.empty()) {
        point(pathOut, all[0]);
        pathOut += "m\n";
      }
      for (; i + 2 < all.size(); i += 3) curve(pathOut, all[i], all[i + 1], all[i + 2], "c\n");
      return;
    }
    if (all.size() < 4 || !activateStroke()) return;
    point(out, all[0]);
    out += "m\n";
    for (size_t i = 1; i + 2 < all.size(); i += 3) curve(out, all[i], all[i + 1], all[i + 2], "c\n");
    out += paintOp(true, false, false);
  }

  void lineTo(const TPDFRecord& r) {
    endTextObject();
    TPoint p = page(r.Points.at(0));
    if (inPath()) {
      point(pathOut, p);
      pathOut += "l\n";
      pathFlags |= 4;
    } else if (activateStroke()) {
      point(out, g.Pos);
      out += "m\n";
      point(out, p);
      out += "l S\n";
    }
    g.Pos = p;
  }

  void moveTo(const TPDFRecord& r) {
    TPoint p = page(r.Points.at(0));
    g.Pos = p;
    if (inPath()) {
      point(pathOut, p);
      pathOut += "m\n";
      pathFlags |= 2;
    }
  }

  // --- images
  void image(const TPDFRecord& r) {
    endTextObject();
    if (!r.Bitmap || r.Bitmap->Empty()) return;
    TPoint T, U, V;
    if (r.Type == pdfrec::PlgBlt) {
      if (r.Points.size() < 3) return;
      T = page(r.Points[0]);
      TPoint tr = page(r.Points[1]), bl = page(r.Points[2]);
      U = {tr.X - T.X, tr.Y - T.Y};
      V = {bl.X - T.X, bl.Y - T.Y};
    } else {
      T = page(r.Points.at(0));
      U = {units(static_cast<int64_t>(r.Points.at(1).X) - r.Points[0].X), 0};
      V = {0, -units(static_cast<int64_t>(r.Points[1].Y) - r.Points[0].Y)};
    }
    Assert(canvas.ImageCollection != nullptr, "TPDFCanvas: no image collection");
    TPDFImageInfo* info = canvas.ImageCollection->AddImage(*r.Bitmap, interpolate);
    info->AddToResources(canvas.PageResources);
    out += "q\n";
    coord(out, U.X);
    coord(out, U.Y);
    coord(out, -static_cast<int64_t>(V.X));
    coord(out, -static_cast<int64_t>(V.Y));
    coord(out, static_cast<int64_t>(T.X) + V.X);
    coord(out, static_cast<int64_t>(T.Y) + V.Y);
    out += "cm\n/" + info->Name + " Do\nQ\n";
  }

  // --- comments
  void comment(const TPDFRecord& r) {
    const std::string& d = r.Data;
    if (d.size() <= 4) return;
    if (d.compare(0, 4, std::string("PDF\0", 4)) == 0) {
      // A comment is no drawing, but what it writes must not land inside a
      // text object that started before it.
      endTextObject();
      out.append(d, 4, std::string::npos);
    } else if (d.compare(0, 5, "LAYER") == 0) {
      endTextObject();
      int32_t n = -1;
      std::string digits = d.substr(5);
      try {
        size_t used = 0;
        long v = std::stol(digits, &used);
        if (used == digits.size() && v >= INT32_MIN && v <= INT32_MAX) n = static_cast<int32_t>(v);
      } catch (...) {
        n = -1;
      }
      if (n < 0) {
        out += "EMC\n";
      } else {
        out += "/OC /O" + std::to_string(n) + " BDC\n";
        if (!canvas.OnAddLayerToResource) throw Exception("Invalid hookup: AddLayerToResource");
        canvas.OnAddLayerToResource(n);
      }
    }
  }

  // --- text
  void text(const TPDFRecord& r);

  static TObjEntry penOrBrush(TObjKind kind, int32_t style, int32_t widthX, int32_t widthY, int32_t colour,
                              int32_t hatch) {
    TObjEntry e;
    e.Kind = kind;
    e.Style = style;
    e.WidthX = widthX;
    e.WidthY = widthY;
    e.Colour = colour;
    e.Hatch = hatch;
    return e;
  }

  void storeObject(const TPDFRecord& r, TObjEntry e) {
    Assert(r.Handle < objects.size(), "Object index out of range");
    objects[r.Handle] = std::move(e);
  }

  void dispatch(const TPDFRecord& r);
};

void TPDFCanvas::Replay::text(const TPDFRecord& r) {
  const size_t n = r.Text.size();
  if (n == 0) return;
  const uint32_t options = r.Values.empty() ? 0u : static_cast<uint32_t>(r.Values[0]);
  const bool glyphIndex = (options & ETO_GLYPH_INDEX) != 0;
  const bool unicode = glyphIndex || TPDFFontCollection::NeedsUnicodeFont(r.Text);
  const TObjEntry* fontEntry = resolve(okFont);
  if (!fontEntry) return;
  Assert(canvas.FontCollection != nullptr, "TPDFCanvas: no font collection");
  const TLogFontW& lf = fontEntry->Font;
  // A face name with a subset tag goes through the font mapper.
  TFontRef* font = canvas.FontCollection->FontFromLogFontW(PDFMappedLogFont(lf), unicode);
  int32_t size = lf.lfHeight <= 0 ? -lf.lfHeight : MulDiv(lf.lfHeight, 1000, font->LineHeight(1000));
  size = units(size);
  if (size <= 0) return;
  UnicodeString content = r.Text;
  if (unicode && !glyphIndex) {
    content = font->CharsToGlyphs(r.Text);
    font->NoteGlyphText(content, r.Text);
  } else if (glyphIndex) {
    font->NoteGlyphText(content, UnicodeString());
  }
  TPoint p = (g.TextAlign & TA_UPDATECP) ? g.Pos : page(r.Points.at(0));
  const bool rotated = lf.lfEscapement != 0;
  double ca = 1, sa = 0;
  if (rotated) {
    endTextObject();
    const double a = lf.lfEscapement * M_PI / 1800;
    ca = std::cos(a);
    sa = std::sin(a);
    out += "q\n";
    fraction(out, ca, 0.00005, 4);
    fraction(out, sa, 0.00005, 4);
    fraction(out, -sa, 0.00005, 4);
    fraction(out, ca, 0.00005, 4);
    out += "0 0 cm\n";
    p = {static_cast<int32_t>(std::lround(p.X * ca + p.Y * sa)), static_cast<int32_t>(std::lround(p.Y * ca - p.X * sa))};
  }
  std::vector<int32_t> positions(n);
  int64_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    positions[i] = MulDiv(static_cast<int32_t>(total), 1000, size);
    total += units(i < r.Advances.size() ? r.Advances[i] : 0);
  }
  if (options & ETO_OPAQUE) {
    endTextObject();
    setFill(g.BkColour);
    const int32_t L = font->LineHeight(size);
    coord(out, p.X);
    coord(out, static_cast<int64_t>(p.Y) - L);
    coord(out, total);
    coord(out, L);
    out += "re f\n";
  }
  if (g.TextColour != fillCache) {
    flushTextRun();
    colour(out, g.TextColour, false);
    fillCache = g.TextColour;
  }
  beginTextObject();
  font->AddToResources(canvas.PageResources);
  if (font->ResourceName() != curFont || size != curSize) {
    flushTextRun();
    out += "/" + font->ResourceName() + " ";
    coord(out, size);
    out += "Tf\n";
    curFont = font->ResourceName();
    curSize = size;
  }
  const uint32_t horizontal = g.TextAlign & TA_CENTER;
  Assert(horizontal == TA_LEFT, "Only left-aligned text can be written");
  if ((g.TextAlign & TA_BASELINE) == TA_BASELINE) {
    // the reference point is on the baseline already
  } else if (g.TextAlign & TA_BOTTOM) {
    // Bottom alignment: the baseline lies the font's descent above the
    // reference point.
    p.Y += font->LineHeight(size) - font->TopOffset(size);
  } else {
    p.Y -= font->TopOffset(size);
  }
  if (!runText.empty() && runStart.Y == p.Y && runSize == size && runFont == font) {
    const int32_t shift = MulDiv(p.X - runStart.X, 1000, size);
    runText += content;
    for (int32_t pos : positions) runPositions.push_back(pos + shift);
  } else {
    flushTextRun();
    runText = content;
    runStart = p;
    runFont = font;
    runSize = size;
    runPositions = positions;
  }
  auto decoration = [&](int32_t o) {
    endTextObject();
    const int32_t w = font->UnderlineWidth(size);
    if (w != widthCache) {
      coord(out, w);
      out += "w\n";
      widthCache = w;
    }
    if (g.TextColour != strokeCache) {
      colour(out, g.TextColour, true);
      strokeCache = g.TextColour;
    }
    point(out, {p.X, p.Y - o});
    out += "m\n";
    point(out, {static_cast<int32_t>(p.X + total), p.Y - o});
    out += "l S\n";
  };
  if (lf.lfUnderline) decoration(font->UnderlineOffset(size));
  if (lf.lfStrikeOut) decoration(-font->StrikeOutOffset(size));
  if (rotated) {
    endTextObject();
    out += "Q\n";
  }
}

void TPDFCanvas::Replay::dispatch(const TPDFRecord& r) {
  auto value = [&](size_t i = 0) { return i < r.Values.size() ? r.Values[i] : 0; };
  switch (r.Type) {
    case pdfrec::Header:
      objects.assign(static_cast<size_t>(std::max(0, value())), TObjEntry{});
      pathFlags = 0;
      break;
    case pdfrec::PolyBezier:
    case pdfrec::PolyBezier16: bezier(r.Points, false); break;
    case pdfrec::Polygon:
    case pdfrec::Polygon16: poly(r.Points, true, false); break;
    case pdfrec::Polyline:
    case pdfrec::Polyline16: poly(r.Points, false, false); break;
    case pdfrec::PolyBezierTo:
    case pdfrec::PolyBezierTo16: bezier(r.Points, true); break;
    case pdfrec::PolylineTo:
    case pdfrec::PolylineTo16: poly(r.Points, false, true); break;
    case pdfrec::PolyPolyline:
    case pdfrec::PolyPolyline16: polyPoly(r, false); break;
    case pdfrec::PolyPolygon:
    case pdfrec::PolyPolygon16: polyPoly(r, true); break;
    case pdfrec::SetWindowOrg: endTextObject(); break;
    case pdfrec::SetBrushOrg:
    case pdfrec::EndOfFile:
    case pdfrec::SetBkMode:
    case pdfrec::SelectPalette:
    case pdfrec::CreatePalette:
    case pdfrec::RealizePalette:
    case pdfrec::SelectClipRegion:
    case pdfrec::SetMetaRegion: break;
    case pdfrec::SetMapMode:
      endTextObject();
      mapMode = value();
      break;
    case pdfrec::SetPolyFillMode:
      if (value() == 1) g.Alternate = true;
      else if (value() == 2) g.Alternate = false;
      break;
    case pdfrec::SetROP2:
      if (value() != 13) OutputDebugString("ROP2 unknown");
      break;
    case pdfrec::SetStretchMode: interpolate = value() == HALFTONE; break;
    case pdfrec::SetTextAlign: g.TextAlign = static_cast<uint32_t>(value()); break;
    case pdfrec::SetTextColor:
      if (value() != g.TextColour) {
        flushTextRun();
        g.TextColour = value();
      }
      break;
    case pdfrec::SetBkColor:
      if (value() != g.BkColour) {
        flushTextRun();
        g.BkColour = value();
      }
      break;
    case pdfrec::MoveTo: moveTo(r); break;
    case pdfrec::ExcludeClipRect: OutputDebugString("EMR: EMR_EXCLUDECLIPRECT"); break;
    case pdfrec::IntersectClipRect: OutputDebugString("EMR: EMR_INTERSECTCLIPRECT"); break;
    case pdfrec::SaveState:
      endTextObject();
      saved.push_back(g);
      break;
    case pdfrec::RestoreState:
      endTextObject();
      if (!saved.empty()) {
        g = saved.back();
        saved.pop_back();
      }
      break;
    case pdfrec::SetWorldTransform: g.Transform = r.Transform; break;
    case pdfrec::ModifyWorldTransform:
      if (value() == 1) g.Transform = {1, 0, 0, 1, 0, 0};
      else if (value() == 2) OutputDebugString("MWT_LEFTMULTIPLY");
      else if (value() == 3) OutputDebugString("MWT_RIGHTMULTIPLY");
      break;
    case pdfrec::SelectObject:
      if (r.Handle & pdfrec::StockFlag) {
        const uint32_t index = r.Handle & 0x7FFFFFFF;
        Assert(index < static_cast<uint32_t>(pdfrec::StockCount), "Stock object index out of range");
        const TObjKind kind = stockObjects()[index].Kind;
        if (kind != okEmpty) g.Slots[kind] = r.Handle;
      } else {
        Assert(r.Handle < objects.size(), "Object index out of range");
        const TObjKind kind = objects[r.Handle].Kind;
        if (kind != okEmpty) g.Slots[kind] = r.Handle;
      }
      break;
    case pdfrec::CreatePen: storeObject(r, penOrBrush(okPen, value(0), value(1), value(2), value(3), 0)); break;
    case pdfrec::CreateExtPen:
      storeObject(r, penOrBrush(okPen, value(0) & 0xF, value(1), value(1), value(2), 0));
      break;
    case pdfrec::CreateBrush: storeObject(r, penOrBrush(okBrush, value(0), 0, 0, value(1), value(2))); break;
    case pdfrec::CreateFont: {
      TObjEntry e;
      e.Kind = okFont;
      e.Font = r.Font;
      storeObject(r, e);
      break;
    }
    case pdfrec::DeleteObject:
      if (!(r.Handle & pdfrec::StockFlag) && r.Handle < objects.size()) {
        objects[r.Handle].Kind = okEmpty;
        for (auto& slot : g.Slots)
          if (slot == r.Handle) {
            slot = kNoSlot;
            break;
          }
      }
      break;
    case pdfrec::Ellipse: ellipse(r); break;
    case pdfrec::Rectangle: rectangle(r); break;
    case pdfrec::RoundRect: roundRect(r); break;
    case pdfrec::Arc:
    case pdfrec::Chord:
    case pdfrec::Pie: arc(r); break;
    case pdfrec::LineTo: lineTo(r); break;
    case pdfrec::PolyDraw: OutputDebugString("EnumPolyDraw"); break;
    case pdfrec::PolyDraw16: OutputDebugString("EnumPolyDraw16"); break;
    case pdfrec::SetArcDirection:
      if (value() == 1 || value() == 2) g.ArcDirection = value();
      break;
    case pdfrec::SetMiterLimit: g.MiterLimit = static_cast<float>(value()); break;
    case pdfrec::BeginPath:
      endTextObject();
      if (inPath()) {
        pathOut.clear();
        out += "n\n";
      }
      pathOut.clear();
      pathFlags = 1;
      break;
    case pdfrec::EndPath: break;
    case pdfrec::CloseFigure:
      endTextObject();
      sink() += "h\n";
      break;
    case pdfrec::FillPath: {
      bool fill = activateFill();
      paint(false, fill, false);
      pathFlags = 0;
      break;
    }
    case pdfrec::StrokeAndFillPath: {
      bool stroke = activateStroke();
      bool fill = activateFill();
      paint(stroke, fill, false);
      pathFlags = 0;
      break;
    }
    case pdfrec::StrokePath: {
      bool stroke = activateStroke();
      paint(stroke, false, false);
      pathFlags = 0;
      break;
    }
    case pdfrec::SelectClipPath: endTextObject(); break;
    case pdfrec::AbortPath:
      endTextObject();
      if (inPath()) {
        pathOut.clear();
        out += "n\n";
      }
      pathFlags = 0;
      break;
    case pdfrec::Comment: comment(r); break;
    case pdfrec::BitBlt:
    case pdfrec::StretchBlt:
    case pdfrec::MaskBlt:
    case pdfrec::PlgBlt: image(r); break;
    case pdfrec::TextOut: text(r); break;
    case pdfrec::AlphaBlend:
    case pdfrec::AlphaDibBlend: OutputDebugString("EMR: EMR_ALPHADIBBLEND or EMR_ALPHABLEND"); break;
    case pdfrec::TransparentBlt: OutputDebugString("EMR: TRANSPARENTBLT"); break;
    case pdfrec::GradientFill: OutputDebugString("EMR: EMR_GRADIENTFILL"); break;
    default: OutputDebugString("EMR: " + std::to_string(r.Type)); break;
  }
}

// ---------------------------------------------------------------------------
// The canvas

TPDFCanvas::TPDFCanvas() = default;

TPDFCanvas::~TPDFCanvas() { ReleaseRecording(); }

int32_t TPDFCanvas::ResolutionX() const { return UsePrinterReference ? kPrinterDpi : kScreenDpi; }
int32_t TPDFCanvas::ResolutionY() const { return ResolutionX(); }

void TPDFCanvas::StartPage(int32_t width, int32_t height) {
  ReleaseRecording();
  pageWidth_ = width;
  pageHeight_ = height;
  frame_ = {0, 0, MulDiv(width, 127, 360), MulDiv(height, 127, 360)};
  layer_ = -1;
  device_ = std::make_unique<TPDFRecordingDevice>(*this);
  SetDevice(device_.get());
}

bool TPDFCanvas::EnsureRecording() { return device_ && device_->start(); }

std::vector<TPDFRecord>& TPDFCanvas::Records() {
  static std::vector<TPDFRecord> none;
  if (!device_) {
    none.clear();
    return none;
  }
  return device_->records;
}

void TPDFCanvas::Changing() {
  const int32_t res = ResolutionY();
  TFont& f = Font();
  if (res != 0 && f.PixelsPerInch() != res) {
    const int32_t size = f.Size();
    f.SetPixelsPerInch(res);
    f.SetSize(size);
  }
}

void TPDFCanvas::FinishRecording() {
  if (finished_) return;
  SetLayer(-1);
  finished_ = true;
  if (device_) {
    SetDevice(nullptr);
    device_->close();
  }
}

void TPDFCanvas::ReleaseRecording() {
  if (Device() == device_.get()) SetDevice(nullptr);
  device_.reset();
  pageWidth_ = pageHeight_ = 0;
  frame_ = {};
  finished_ = false;
}

void TPDFCanvas::appendComment(const std::string& data) {
  if (!EnsureRecording()) return;
  TPDFRecord r;
  r.Type = pdfrec::Comment;
  r.Data = data;
  device_->add(std::move(r));
}

void TPDFCanvas::SetLayer(int32_t layer) {
  if (finished_) throw Exception("Cannot set layer when finalizing PDF page recording.");
  if (layer == layer_) return;
  if (layer < -1 || !OnLayerCount || layer >= OnLayerCount()) throw Exception("Invalid Layer value.");
  appendComment("LAYER" + std::to_string(layer));
  layer_ = layer;
}

void TPDFCanvas::InsertRawContent(const std::string& text) { appendComment(std::string("PDF\0", 4) + text); }

void TPDFCanvas::WriteContent(TStream& stream) {
  if (!finished_) throw Exception("Cannot collect metadata when not finalized.");
  Replay replay(*this);
  if (device_) {
    for (const TPDFRecord& r : device_->records) replay.dispatch(r);
  }
  replay.endTextObject();
  if (!replay.out.empty()) stream.WriteBuffer(replay.out.data(), static_cast<Int64>(replay.out.size()));
}

}  // namespace px
