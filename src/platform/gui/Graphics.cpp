#include "platform/gui/Graphics.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPolygon>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/core/CodePages.h"
#include "platform/core/Fonts.h"
#include "platform/core/Streams.h"

namespace px {

// ---------------------------------------------------------------------------
// Colours

namespace {

QColor systemColor(int index) {
  QPalette pal = QGuiApplication::palette();
  switch (index) {
    case 0: return pal.color(QPalette::Mid);                         // scroll bar
    case 1: return pal.color(QPalette::Dark);                        // desktop
    case 2: return pal.color(QPalette::Active, QPalette::Highlight); // active caption
    case 3: return pal.color(QPalette::Inactive, QPalette::Mid);     // inactive caption
    case 4: return pal.color(QPalette::Window);                      // menu
    case 5: return pal.color(QPalette::Base);                        // window
    case 6: return pal.color(QPalette::Shadow);                      // window frame
    case 7: return pal.color(QPalette::WindowText);                  // menu text
    case 8: return pal.color(QPalette::Text);                        // window text
    case 9: return pal.color(QPalette::HighlightedText);             // caption text
    case 10: return pal.color(QPalette::Window);
    case 11: return pal.color(QPalette::Window);
    case 12: return pal.color(QPalette::Dark);
    case 13: return pal.color(QPalette::Active, QPalette::Highlight);
    case 14: return pal.color(QPalette::Active, QPalette::HighlightedText);
    case 15: return pal.color(QPalette::Button);
    case 16: return pal.color(QPalette::Dark);
    case 17: return pal.color(QPalette::Disabled, QPalette::Text);
    case 18: return pal.color(QPalette::ButtonText);
    case 19: return pal.color(QPalette::Inactive, QPalette::WindowText);
    case 20: return pal.color(QPalette::Light);
    case 21: return pal.color(QPalette::Shadow);
    case 22: return pal.color(QPalette::Midlight);
    case 23: return pal.color(QPalette::ToolTipText);
    case 24: return pal.color(QPalette::ToolTipBase);
    case 26: return pal.color(QPalette::Link);
    case 27: return pal.color(QPalette::Active, QPalette::Highlight).lighter(150);
    case 28: return pal.color(QPalette::Inactive, QPalette::Mid).lighter(130);
    case 29: return pal.color(QPalette::Active, QPalette::Highlight);
    case 30: return pal.color(QPalette::Window);
    default: return QColor(Qt::black);
  }
}

}  // namespace

TColor ColorToRGB(TColor color) {
  if (color == clNone || color == clDefault) return clBlack;
  if ((static_cast<uint32_t>(color) & 0xFF000000u) == 0xFF000000u) return FromQColor(systemColor(color & 0xFF));
  return color & 0x00FFFFFF;
}

QColor ToQColor(TColor color, int alpha) {
  TColor c = ColorToRGB(color);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c), alpha);
}

TColor FromQColor(const QColor& color) { return RGB(color.red(), color.green(), color.blue()); }

// ---------------------------------------------------------------------------
// Graphics objects

void TFont::SetData(const TFontData& data) {
  if (data_ == data) return;
  data_ = data;
  Changed();
}
void TFont::SetName(const std::string& v) {
  if (data_.Name == v) return;
  data_.Name = v;
  Changed();
}
void TFont::SetHeight(int32_t v) {
  if (data_.Height == v) return;
  data_.Height = v;
  Changed();
}
int32_t TFont::Size() const {
  int32_t ppi = data_.PixelsPerInch > 0 ? data_.PixelsPerInch : 96;
  return static_cast<int32_t>(std::lround(-static_cast<double>(data_.Height) * 72.0 / ppi));
}
void TFont::SetSize(int32_t points) {
  int32_t ppi = data_.PixelsPerInch > 0 ? data_.PixelsPerInch : 96;
  SetHeight(-static_cast<int32_t>(std::lround(points * ppi / 72.0)));
}
void TFont::SetColor(TColor v) {
  if (data_.Color == v) return;
  data_.Color = v;
  Changed();
}
void TFont::SetStyle(TFontStyles v) {
  if (data_.Style == v) return;
  data_.Style = v;
  Changed();
}
void TFont::SetOrientation(int32_t v) {
  if (data_.Orientation == v) return;
  data_.Orientation = v;
  Changed();
}
void TFont::SetPixelsPerInch(int32_t v) {
  if (data_.PixelsPerInch == v) return;
  data_.PixelsPerInch = v;
  Changed();
}

void TPen::Assign(const TPen& other) {
  if (data_ == other.data_) return;
  data_ = other.data_;
  Changed();
}
void TPen::SetColor(TColor v) {
  if (data_.Color == v) return;
  data_.Color = v;
  Changed();
}
void TPen::SetWidth(int32_t v) {
  if (v < 0) v = 0;
  if (data_.Width == v) return;
  data_.Width = v;
  Changed();
}
void TPen::SetStyle(TPenStyle v) {
  if (data_.Style == v) return;
  data_.Style = v;
  Changed();
}
void TBrush::Assign(const TBrush& other) {
  if (data_ == other.data_) return;
  data_ = other.data_;
  Changed();
}
void TBrush::SetColor(TColor v) {
  if (data_.Color == v) return;
  data_.Color = v;
  Changed();
}
void TBrush::SetStyle(TBrushStyle v) {
  if (data_.Style == v) return;
  data_.Style = v;
  Changed();
}

QFont ToQFont(const TFontData& font) {
  // Heights come from streams and files too: any 32-bit value may arrive.
  // Sizes past any page are pinned, as for the font programs drawn with.
  constexpr int64_t maxPixelSize = 4096;
  QFont f(QString::fromStdString(font.Name));
  int64_t px = 11;
  if (font.Height < 0) {
    px = -static_cast<int64_t>(font.Height);
  } else if (font.Height > 0) {
    // A positive height is the cell height; scale the em size to match it.
    QFont probe(f);
    probe.setPixelSize(100);
    int cell = QFontMetrics(probe).height();
    px = std::llround(font.Height * 100.0 / std::max(1, cell));
  }
  f.setPixelSize(static_cast<int>(std::clamp<int64_t>(px, 1, maxPixelSize)));
  if (font.Weight > 0) f.setWeight(static_cast<QFont::Weight>(std::clamp(font.Weight, 1, 1000)));
  else f.setBold(font.Style.Contains(fsBold));
  f.setItalic(font.Style.Contains(fsItalic));
  f.setUnderline(font.Style.Contains(fsUnderline));
  f.setStrikeOut(font.Style.Contains(fsStrikeOut));
  return f;
}

int32_t FontWeight(const TFontData& font) {
  if (font.Weight > 0) return std::min(font.Weight, 1000);
  return font.Style.Contains(fsBold) ? 700 : 400;
}

namespace {

// Font programs loaded for drawing, by face and pixel size. Loading parses
// the whole program, so pages drawn again reuse them.
struct RawFontCache {
  struct Entry {
    TFontFacePtr Face;
    int32_t PixelSize;
    QRawFont Font;
  };
  std::vector<Entry> Entries;
  QRawFont get(const TFontFacePtr& face, int32_t pixelSize) {
    for (size_t i = 0; i < Entries.size(); ++i)
      if (Entries[i].Face == face && Entries[i].PixelSize == pixelSize) {
        if (i > 0) std::swap(Entries[i], Entries[0]);
        return Entries[0].Font;
      }
    QRawFont font(QByteArray(reinterpret_cast<const char*>(face->Data->data()), qsizetype(face->Data->size())),
                  pixelSize, QFont::PreferNoHinting);
    Entries.insert(Entries.begin(), Entry{face, pixelSize, font});
    if (Entries.size() > 32) Entries.pop_back();
    return font;
  }
};

// The program for the font data, at its em size in pixels; invalid when no
// face can be found.
QRawFont rawFontFor(const TFontData& data) {
  // Never destroyed: font engines must not be freed from exit handlers,
  // after the application that owns their thread storage.
  static RawFontCache& cache = *new RawFontCache;
  TFontFacePtr face = ResolveFontFace(data.Name, FontWeight(data), data.Style.Contains(fsItalic));
  if (!face || !face->Data) return QRawFont();
  // Sizes past any page are pinned: glyphs that large only cost memory.
  const int32_t pixels = static_cast<int32_t>(std::clamp<int64_t>(std::abs(static_cast<int64_t>(data.Height)), 1, 4096));
  QRawFont font = cache.get(face, pixels);
  if (font.isValid() && data.Height > 0) {
    // A positive height is the cell height: ascent plus descent.
    const double cell = font.ascent() + font.descent();
    if (cell > 0) font = cache.get(face, std::clamp(static_cast<int32_t>(std::lround(pixels * pixels / cell)), 1, 4096));
  }
  return font;
}

}  // namespace

// ---------------------------------------------------------------------------
// The QPainter device

struct TQtPainterDevice::PathState {
  bool open = false;
  QPainterPath path;
};

// The Qt font and metrics of the last font text was drawn in: a window
// paints all its texts in one or two fonts, and resolving a font (family
// lookup, font engine, metrics) for every string cost as much as drawing it.
struct TQtPainterDevice::TextFont {
  TFontData data;
  QFont font;
  QFontMetrics metrics;
  explicit TextFont(const TFontData& d) : data(d), font(ToQFont(d)), metrics(font) {}
  // What the Qt font is made of (colour and orientation are applied apart).
  bool Fits(const TFontData& d) const {
    return d.Name == data.Name && d.Height == data.Height && d.Style == data.Style && d.Weight == data.Weight;
  }
};

// The font program of the last font text was drawn in: a page of a
// document draws glyph by glyph, mostly in one font, and resolving the face
// for every glyph cost more than drawing it. Registering or removing faces
// makes it look again.
struct TQtPainterDevice::RawFont {
  TFontData data;
  uint64_t generation = 0;
  QRawFont font;
  bool Fits(const TFontData& d) const {
    return generation == FontRegistryGeneration() && d.Name == data.Name && d.Height == data.Height &&
           d.Style == data.Style && d.Weight == data.Weight;
  }
};

TQtPainterDevice::TQtPainterDevice(QPainter* painter, int32_t pixelsPerInch)
    : painter_(painter), ppi_(pixelsPerInch), path_(std::make_unique<PathState>()) {}
TQtPainterDevice::~TQtPainterDevice() = default;

namespace {

Qt::PenStyle qtPenStyle(TPenStyle s) {
  switch (s) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

Qt::BrushStyle qtBrushStyle(TBrushStyle s) {
  switch (s) {
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
  }
}

QRect outlineRect(const TRect& r) {
  // The outline runs on the first and last pixel rows and columns inside r.
  return QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
}

QPolygon toPolygon(const std::vector<TPoint>& pts) {
  QPolygon p;
  p.reserve(static_cast<int>(pts.size()));
  for (auto& pt : pts) p << QPoint(pt.X, pt.Y);
  return p;
}

}  // namespace

void TQtPainterDevice::applyPen(const TDeviceState& s) {
  if (s.Pen.Style == psClear) {
    painter_->setPen(Qt::NoPen);
    return;
  }
  QPen pen(ToQColor(s.Pen.Color));
  pen.setStyle(qtPenStyle(s.Pen.Style));
  if (s.Pen.Geometric) {
    // Width 0 is Qt's one-pixel cosmetic line, the thinnest line there is.
    pen.setWidth(std::max(0, s.Pen.Width));
    pen.setCapStyle(s.Pen.EndCap == pecRound    ? Qt::RoundCap
                    : s.Pen.EndCap == pecSquare ? Qt::SquareCap
                                                : Qt::FlatCap);
    pen.setJoinStyle(s.Pen.Join == pjRound ? Qt::RoundJoin : s.Pen.Join == pjBevel ? Qt::BevelJoin : Qt::MiterJoin);
    // Qt measures the miter limit in half line widths, the device in widths.
    float limit = s.Pen.MiterLimit;
    pen.setMiterLimit(std::isfinite(limit) && limit >= 1 ? std::min(limit, 1000.0f) * 0.5 : 0.5);
    painter_->setPen(pen);
    return;
  }
  pen.setWidth(std::max(1, s.Pen.Width));
  // A flat cap leaves out the end point of a line, as the class library's
  // line drawing does.
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  painter_->setPen(pen);
}

void TQtPainterDevice::applyBrush(const TDeviceState& s) {
  if (s.Brush.Style == bsClear) {
    painter_->setBrush(Qt::NoBrush);
    return;
  }
  painter_->setBrush(QBrush(ToQColor(s.Brush.Color), qtBrushStyle(s.Brush.Style)));
}

void TQtPainterDevice::FillRect(const TDeviceState& s, const TRect& r) {
  if (r.IsEmpty() || s.Brush.Style == bsClear) return;
  painter_->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()),
                     QBrush(ToQColor(s.Brush.Color), qtBrushStyle(s.Brush.Style)));
}

void TQtPainterDevice::Rectangle(const TDeviceState& s, const TRect& r0) {
  TRect r = r0.Normalized();
  if (path_->open) {
    path_->path.addRect(r.Left, r.Top, r.Width(), r.Height());
    return;
  }
  if (r.IsEmpty()) return;
  FillRect(s, r);
  if (s.Pen.Style != psClear) {
    applyPen(s);
    painter_->setBrush(Qt::NoBrush);
    painter_->drawRect(outlineRect(r));
  }
}

void TQtPainterDevice::RoundRect(const TDeviceState& s, const TRect& r0, int32_t cw, int32_t ch) {
  TRect r = r0.Normalized();
  QRectF rect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
  if (path_->open) {
    path_->path.addRoundedRect(rect, cw / 2.0, ch / 2.0);
    return;
  }
  applyPen(s);
  applyBrush(s);
  painter_->drawRoundedRect(rect, cw / 2.0, ch / 2.0);
}

void TQtPainterDevice::Ellipse(const TDeviceState& s, const TRect& r0) {
  TRect r = r0.Normalized();
  if (path_->open) {
    path_->path.addEllipse(QRectF(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
    return;
  }
  if (r.IsEmpty()) return;
  applyPen(s);
  applyBrush(s);
  painter_->drawEllipse(outlineRect(r));
}

void TQtPainterDevice::Arc(const TDeviceState& s, TArcKind kind, const TRect& r0, TPoint start, TPoint end) {
  TRect r = r0.Normalized();
  if (r.IsEmpty()) return;
  double cx = (r.Left + r.Right) / 2.0, cy = (r.Top + r.Bottom) / 2.0;
  // Angles run counter-clockwise from the start point to the end point; Qt
  // measures them in sixteenths of a degree with y pointing up.
  double a0 = std::atan2(-(start.Y - cy), start.X - cx) * 180.0 / M_PI;
  double a1 = std::atan2(-(end.Y - cy), end.X - cx) * 180.0 / M_PI;
  double span = a1 - a0;
  if (span <= 0) span += 360.0;
  QRectF rect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
  int qa = static_cast<int>(std::lround(a0 * 16)), qs = static_cast<int>(std::lround(span * 16));
  if (path_->open) {
    path_->path.arcMoveTo(rect, a0);
    path_->path.arcTo(rect, a0, span);
    return;
  }
  applyPen(s);
  if (kind == TArcKind::Arc) {
    painter_->setBrush(Qt::NoBrush);
    painter_->drawArc(rect, qa, qs);
  } else {
    applyBrush(s);
    if (kind == TArcKind::Chord) painter_->drawChord(rect, qa, qs);
    else painter_->drawPie(rect, qa, qs);
  }
}

void TQtPainterDevice::Polyline(const TDeviceState& s, const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  if (path_->open) {
    path_->path.moveTo(points[0].X, points[0].Y);
    for (size_t i = 1; i < points.size(); ++i) path_->path.lineTo(points[i].X, points[i].Y);
    return;
  }
  if (s.Pen.Style == psClear) return;
  applyPen(s);
  painter_->setBrush(Qt::NoBrush);
  painter_->drawPolyline(toPolygon(points));
}

void TQtPainterDevice::Polygon(const TDeviceState& s, const std::vector<TPoint>& points) {
  if (points.size() < 2) return;
  if (path_->open) {
    path_->path.addPolygon(QPolygonF(toPolygon(points)));
    path_->path.closeSubpath();
    return;
  }
  applyPen(s);
  applyBrush(s);
  painter_->drawPolygon(toPolygon(points), s.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
}

void TQtPainterDevice::PolyBezier(const TDeviceState& s, const std::vector<TPoint>& points) {
  if (points.size() < 4) return;
  QPainterPath p;
  p.moveTo(points[0].X, points[0].Y);
  for (size_t i = 1; i + 2 < points.size(); i += 3)
    p.cubicTo(points[i].X, points[i].Y, points[i + 1].X, points[i + 1].Y, points[i + 2].X, points[i + 2].Y);
  if (path_->open) {
    path_->path.addPath(p);
    return;
  }
  if (s.Pen.Style == psClear) return;
  applyPen(s);
  painter_->setBrush(Qt::NoBrush);
  painter_->drawPath(p);
}

void TQtPainterDevice::MoveTo(const TDeviceState&, TPoint p) {
  pos_ = p;
  if (path_->open) path_->path.moveTo(p.X, p.Y);
}

void TQtPainterDevice::LineTo(const TDeviceState& s, TPoint p) {
  TPoint from = pos_;
  pos_ = p;
  if (path_->open) {
    path_->path.lineTo(p.X, p.Y);
    return;
  }
  if (s.Pen.Style == psClear) return;
  applyPen(s);
  painter_->setBrush(Qt::NoBrush);
  painter_->drawPolyline(toPolygon({from, p}));
}

void TQtPainterDevice::BeginPath() {
  path_->open = true;
  path_->path = QPainterPath();
}
void TQtPainterDevice::EndPath() { path_->open = false; }
void TQtPainterDevice::CloseFigure() {
  if (path_->open) path_->path.closeSubpath();
}
namespace {

// Smoothed edges for the one drawing call that asks for them.
class AntiAliasing {
 public:
  AntiAliasing(QPainter* painter, bool on) : painter_(on ? painter : nullptr) {
    if (painter_) painter_->setRenderHint(QPainter::Antialiasing, true);
  }
  ~AntiAliasing() {
    if (painter_) painter_->setRenderHint(QPainter::Antialiasing, false);
  }
  AntiAliasing(const AntiAliasing&) = delete;
  AntiAliasing& operator=(const AntiAliasing&) = delete;

 private:
  QPainter* painter_;
};

}  // namespace

void TQtPainterDevice::FillPath(const TDeviceState& s) {
  path_->path.setFillRule(s.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  if (s.Brush.Style != bsClear) {
    AntiAliasing smooth(painter_, s.AntiAlias);
    painter_->fillPath(path_->path, QBrush(ToQColor(s.Brush.Color), qtBrushStyle(s.Brush.Style)));
  }
  path_->path = QPainterPath();
}
void TQtPainterDevice::StrokePath(const TDeviceState& s) {
  applyPen(s);
  painter_->setBrush(Qt::NoBrush);
  {
    AntiAliasing smooth(painter_, s.AntiAlias);
    painter_->drawPath(path_->path);
  }
  path_->path = QPainterPath();
}
void TQtPainterDevice::StrokeAndFillPath(const TDeviceState& s) {
  path_->path.setFillRule(s.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  applyPen(s);
  applyBrush(s);
  {
    AntiAliasing smooth(painter_, s.AntiAlias);
    painter_->drawPath(path_->path);
  }
  path_->path = QPainterPath();
}

void TQtPainterDevice::BezierTo(const TDeviceState&, TPoint c1, TPoint c2, TPoint p) {
  pos_ = p;
  if (path_->open) path_->path.cubicTo(c1.X, c1.Y, c2.X, c2.Y, p.X, p.Y);
}

void TQtPainterDevice::ClipPath(const TDeviceState& s) {
  path_->path.setFillRule(s.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  painter_->setClipPath(path_->path, painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  path_->path = QPainterPath();
}

bool TQtPainterDevice::rawTextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options,
                                  const UnicodeString& text, const int32_t* advances) {
  if (!rawFont_ || !rawFont_->Fits(s.Font)) {
    if (!rawFont_) rawFont_ = std::make_unique<RawFont>();
    rawFont_->generation = FontRegistryGeneration();
    rawFont_->data = s.Font;
    rawFont_->font = rawFontFor(s.Font);
  }
  const QRawFont& raw = rawFont_->font;
  if (!raw.isValid()) return false;
  QList<quint32> glyphs;
  if (options & ETO_GLYPH_INDEX) {
    for (char16_t u : text) glyphs.append(u);
  } else {
    glyphs = raw.glyphIndexesForString(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
  }
  QList<QPointF> positions;
  const QList<QPointF> own = raw.advancesForGlyphIndexes(glyphs);
  double at = 0;
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    positions.append(QPointF(at, 0));
    at += advances && i < static_cast<qsizetype>(text.size()) ? advances[i] : own[i].x();
  }
  if (s.TextAlign & TA_UPDATECP) {
    x = pos_.X;
    y = pos_.Y;
  }
  QTransform t;
  t.translate(x + s.TextOffsetX, y + s.TextOffsetY);
  if (s.Font.Orientation != 0) t.rotate(-s.Font.Orientation / 10.0);
  double dx = 0, dy = 0;
  if ((s.TextAlign & TA_CENTER) == TA_CENTER) dx = -at / 2;
  else if (s.TextAlign & TA_RIGHT) dx = -at;
  if ((s.TextAlign & TA_BASELINE) != TA_BASELINE) dy = (s.TextAlign & TA_BOTTOM) ? -raw.descent() : raw.ascent();
  t.translate(dx, dy);
  if (path_->open) {
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
      QPainterPath glyph = raw.pathForGlyph(glyphs[i]);
      glyph.translate(positions[i]);
      path_->path.addPath(t.map(glyph));
    }
  } else {
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    // The transform and pen put back by hand: saving the whole painter state
    // for every glyph cost more than the glyph.
    const QTransform world = painter_->worldTransform();
    const QPen pen = painter_->pen();
    painter_->setWorldTransform(t, true);
    painter_->setPen(ToQColor(s.Font.Color));
    painter_->drawGlyphRun(QPointF(0, 0), run);
    painter_->setPen(pen);
    painter_->setWorldTransform(world);
  }
  if (s.TextAlign & TA_UPDATECP) pos_.X += static_cast<int32_t>(std::lround(at));
  return true;
}

void TQtPainterDevice::TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect* rect,
                               const UnicodeString& text, const int32_t* advances) {
  if (((options & ETO_GLYPH_INDEX) || (s.TextAlign & TA_BASELINE) == TA_BASELINE) && !(options & ETO_OPAQUE) &&
      rawTextOut(s, x, y, options, text, advances))
    return;
  if (!textFont_ || !textFont_->Fits(s.Font)) textFont_ = std::make_unique<TextFont>(s.Font);
  const QFont& font = textFont_->font;
  const QFontMetrics& fm = textFont_->metrics;
  QString qs = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  // Glyph numbers need the font program itself; plain devices draw only the
  // background for them.
  const bool glyphs = (options & ETO_GLYPH_INDEX) != 0;
  const bool filled = !s.TransparentText && !(options & ETO_OPAQUE) && s.Brush.Style != bsClear;
  // Measuring shapes the whole text once more: only when something uses the
  // width (centred or right alignment, the background cell, the current
  // position moving on).
  const bool widthUsed =
      (s.TextAlign & TA_CENTER) == TA_CENTER || (s.TextAlign & TA_RIGHT) || (s.TextAlign & TA_UPDATECP) || filled;
  int32_t width = 0;
  if (advances) {
    for (size_t i = 0; i < text.size(); ++i) width += advances[i];
  } else if (!glyphs && widthUsed) {
    width = fm.horizontalAdvance(qs);
  }
  if (s.TextAlign & TA_UPDATECP) {
    x = pos_.X;
    y = pos_.Y;
  }
  painter_->save();
  if (rect && (options & ETO_OPAQUE))
    painter_->fillRect(QRect(rect->Left, rect->Top, rect->Width(), rect->Height()), ToQColor(s.Brush.Color));
  if (rect && (options & ETO_CLIPPED))
    painter_->setClipRect(QRect(rect->Left, rect->Top, rect->Width(), rect->Height()), Qt::IntersectClip);
  painter_->translate(x, y);
  if (s.Font.Orientation != 0) painter_->rotate(-s.Font.Orientation / 10.0);
  // The reference point relative to the top-left of the text cell.
  int32_t dx = 0, dy = 0;
  if ((s.TextAlign & TA_CENTER) == TA_CENTER) dx = -width / 2;
  else if (s.TextAlign & TA_RIGHT) dx = -width;
  if ((s.TextAlign & TA_BASELINE) == TA_BASELINE) dy = -fm.ascent();
  else if (s.TextAlign & TA_BOTTOM) dy = -fm.height();
  painter_->translate(dx, dy);
  if (filled) painter_->fillRect(QRect(0, 0, width, fm.height()), ToQColor(s.Brush.Color));
  if (!glyphs) {
    painter_->setFont(font);
    painter_->setPen(ToQColor(s.Font.Color));
    if (!advances) {
      painter_->drawText(0, fm.ascent(), qs);
    } else {
      // Each character (a surrogate pair as one) at its own place.
      int32_t at = 0;
      for (size_t i = 0; i < text.size();) {
        size_t n = (i + 1 < text.size() && QChar::isHighSurrogate(text[i]) && QChar::isLowSurrogate(text[i + 1])) ? 2 : 1;
        painter_->drawText(at, fm.ascent(), QString::fromUtf16(text.data() + i, static_cast<qsizetype>(n)));
        for (size_t k = 0; k < n; ++k) at += advances[i + k];
        i += n;
      }
    }
  }
  painter_->restore();
  if (s.TextAlign & TA_UPDATECP) pos_.X += width;
}

namespace {

// What a measurement depends on: the font's face, size and styles, not its
// colour or direction.
struct MeasureFont {
  std::string Name;
  int32_t Height = 0;
  uint64_t Style = 0;
  int32_t Weight = 0;
  explicit MeasureFont(const TFontData& f) : Name(f.Name), Height(f.Height), Style(f.Style.Mask()), Weight(f.Weight) {}
  bool operator==(const MeasureFont&) const = default;
  size_t hash() const {
    size_t h = std::hash<std::string>()(Name);
    for (uint64_t v : {static_cast<uint64_t>(static_cast<uint32_t>(Height)), Style, static_cast<uint64_t>(Weight)})
      h = h * 1000003u ^ std::hash<uint64_t>()(v);
    return h;
  }
};

struct MeasureKey {
  MeasureFont Font;
  UnicodeString Text;
  bool operator==(const MeasureKey&) const = default;
};

struct MeasureHash {
  size_t operator()(const MeasureFont& f) const { return f.hash(); }
  size_t operator()(const MeasureKey& k) const { return k.Font.hash() * 31u ^ std::hash<UnicodeString>()(k.Text); }
};

// Measured widths and font metrics, by font (and text). A list that is
// painted again (hot tracking, a selection, scrolling back) measures the same
// cells every time, and every measurement shapes the text anew; the faces
// of the system do not change while the program runs, so a measurement stays
// right. One cache per thread; a full cache starts afresh.
struct MeasureCache {
  static constexpr size_t kMaxTexts = 8192;
  std::unordered_map<MeasureKey, TSize, MeasureHash> Texts;
  std::unordered_map<MeasureFont, TTextMetrics, MeasureHash> Metrics;
  MeasureKey Probe{MeasureFont(TFontData{}), {}};
};

MeasureCache& measureCache() {
  thread_local MeasureCache cache;
  return cache;
}

TTextMetrics measureTextMetrics(const TFontData& font) {
  QFont f = ToQFont(font);
  QFontMetrics fm(f);
  TTextMetrics m;
  m.Ascent = fm.ascent();
  m.Descent = fm.descent();
  m.Height = fm.height();
  m.InternalLeading = std::max(0, fm.height() - f.pixelSize());
  m.ExternalLeading = std::max(0, fm.leading());
  m.AveCharWidth = fm.averageCharWidth();
  return m;
}

}  // namespace

TSize TQtPainterDevice::TextExtent(const TFontData& font, const UnicodeString& text) {
  MeasureCache& cache = measureCache();
  // The probe key is reused, so that a hit allocates nothing.
  MeasureKey& probe = cache.Probe;
  if (!(probe.Font == MeasureFont(font))) probe.Font = MeasureFont(font);
  probe.Text.assign(text);
  if (auto it = cache.Texts.find(probe); it != cache.Texts.end()) return it->second;
  QFontMetrics fm(ToQFont(font));
  QString qs = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  const TSize size{fm.horizontalAdvance(qs), fm.height()};
  if (cache.Texts.size() >= MeasureCache::kMaxTexts) cache.Texts.clear();
  cache.Texts.emplace(probe, size);
  return size;
}

TTextMetrics TQtPainterDevice::TextMetrics(const TFontData& font) {
  MeasureCache& cache = measureCache();
  MeasureFont key(font);
  if (auto it = cache.Metrics.find(key); it != cache.Metrics.end()) return it->second;
  const TTextMetrics m = measureTextMetrics(font);
  if (cache.Metrics.size() >= 256) cache.Metrics.clear();
  cache.Metrics.emplace(std::move(key), m);
  return m;
}

namespace {

// Pixels of the transparent colour become fully transparent.
void keyOut(QImage& img, TColor transparent) {
  const QRgb key = ToQColor(transparent).rgb() & 0xFFFFFF;
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((line[x] & 0xFFFFFF) == key) line[x] = 0;
  }
}

// The bitmap as the Qt image that the blend mode asks for.
QImage blendImage(const TBitmap& source, const TBlendMode& blend) {
  QImage img = source.ToQImage();
  if (!blend.UseSourceAlpha) {
    // Opaque: bitmaps without alpha come out with every pixel opaque.
    if (source.PixelFormat() == pf32bit) img = img.convertToFormat(QImage::Format_RGB32);
    else img.reinterpretAsFormat(QImage::Format_RGB32);
  } else if (blend.Premultiplied) {
    img.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
  }
  if (blend.TransparentColor != clNone) {
    img = img.convertToFormat(QImage::Format_ARGB32);
    keyOut(img, blend.TransparentColor);
  }
  return img;
}

}  // namespace

void TCanvasDevice::DrawBitmapPlg(const TDeviceState& s, const TPoint (&p)[3], const TBitmap& source,
                                  const TBlendMode& blend) {
  const int32_t x3 = p[1].X + p[2].X - p[0].X, y3 = p[1].Y + p[2].Y - p[0].Y;
  TRect r{std::min({p[0].X, p[1].X, p[2].X, x3}), std::min({p[0].Y, p[1].Y, p[2].Y, y3}),
          std::max({p[0].X, p[1].X, p[2].X, x3}), std::max({p[0].Y, p[1].Y, p[2].Y, y3})};
  DrawBitmap(s, r, source, TRect{0, 0, source.Width(), source.Height()}, blend);
}

void TQtPainterDevice::DrawBitmapPlg(const TDeviceState& s, const TPoint (&p)[3], const TBitmap& source,
                                     const TBlendMode& blend) {
  if (source.Empty()) return;
  const double w = source.Width(), h = source.Height();
  QTransform t((p[1].X - p[0].X) / w, (p[1].Y - p[0].Y) / w, (p[2].X - p[0].X) / h, (p[2].Y - p[0].Y) / h, p[0].X,
               p[0].Y);
  if (!t.isInvertible()) return;
  QImage img = blendImage(source, blend);
  painter_->save();
  painter_->setOpacity(blend.ConstantAlpha / 255.0);
  painter_->setRenderHint(QPainter::SmoothPixmapTransform, s.StretchMode == HALFTONE);
  painter_->setTransform(t, true);
  painter_->drawImage(QPointF(0, 0), img);
  painter_->restore();
}

void TQtPainterDevice::DrawBitmap(const TDeviceState& s, const TRect& dest, const TBitmap& source,
                                  const TRect& sourceRect, const TBlendMode& blend) {
  if (dest.IsEmpty() || sourceRect.IsEmpty() || source.Empty()) return;
  QRect from(sourceRect.Left, sourceRect.Top, sourceRect.Width(), sourceRect.Height());
  QImage img;
  if (source.PixelFormat() == pf32bit && !blend.Premultiplied) {
    // A 32-bit bitmap is drawn straight from its bits, limited to the source
    // rectangle: no copy of the whole bitmap on every call.
    img = source.PixelView(blend.UseSourceAlpha);
    if (blend.TransparentColor != clNone) {
      img = img.copy(from).convertToFormat(QImage::Format_ARGB32);
      keyOut(img, blend.TransparentColor);
      from = QRect(0, 0, img.width(), img.height());
    }
  } else {
    img = blendImage(source, blend);
  }
  painter_->save();
  painter_->setOpacity(blend.ConstantAlpha / 255.0);
  painter_->setRenderHint(QPainter::SmoothPixmapTransform, s.StretchMode == HALFTONE);
  painter_->drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), img, from);
  painter_->restore();
}

TColor TQtPainterDevice::GetPixel(int32_t x, int32_t y) {
  if (!image_ || x < 0 || y < 0 || x >= image_->width() || y >= image_->height()) return clNone;
  return FromQColor(QColor(image_->pixel(x, y)));
}

void TQtPainterDevice::SetPixel(int32_t x, int32_t y, TColor color) {
  painter_->fillRect(QRect(x, y, 1, 1), ToQColor(color));
}

void TQtPainterDevice::SetClipRect(const TRect* r) {
  if (!r) painter_->setClipping(false);
  else painter_->setClipRect(QRect(r->Left, r->Top, r->Width(), r->Height()), Qt::ReplaceClip);
}
void TQtPainterDevice::IntersectClipRect(const TRect& r) {
  painter_->setClipRect(QRect(r.Left, r.Top, r.Width(), r.Height()),
                        painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}
void TQtPainterDevice::SaveState() { painter_->save(); }
void TQtPainterDevice::RestoreState() { painter_->restore(); }

// ---------------------------------------------------------------------------
// Canvas

TCanvas::TCanvas() = default;
TCanvas::TCanvas(TCanvasDevice* device) : device_(device) {}
TCanvas::~TCanvas() = default;

TCanvasDevice* TCanvas::Device() { return device_; }

TDeviceState TCanvas::state() const {
  TDeviceState s;
  s.Pen = pen_.Data();
  s.Pen.Color = ColorToRGB(s.Pen.Color);
  s.Brush = brush_.Data();
  s.Brush.Color = ColorToRGB(s.Brush.Color);
  s.Font = font_.Data();
  s.Font.Color = ColorToRGB(s.Font.Color);
  s.TransparentText = brush_.Style() == bsClear;
  s.PolyFillMode = polyFillMode_;
  s.StretchMode = stretchMode_;
  s.TextAlign = textAlign_;
  return s;
}

TRect TCanvas::toDevice(const TRect& r) const {
  TRect d = r;
  d.Offset(origin_.X, origin_.Y);
  return d;
}
TPoint TCanvas::toDevice(TPoint p) const { return p + origin_; }

TPoint TCanvas::PenPos() const {
  settlePenPos();
  return penPos_;
}

void TCanvas::settlePenPos() const {
  if (!penText_ || !penText_->pending) return;
  penText_->pending = false;
  penPos_ = {penText_->at.X + (device_ ? device_->TextExtent(penText_->font, penText_->text).cx : 0), penText_->at.Y};
}

void TCanvas::syncDevicePos() {
  settlePenPos();
  TPoint d = toDevice(penPos_);
  if (devicePosKnown_ && devicePos_ == d) return;
  device_->MoveTo(state(), d);
  devicePos_ = d;
  devicePosKnown_ = true;
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
  penPos_ = {x, y};
  dropTextPen();
  if (!device_) return;
  Changing();
  devicePosKnown_ = false;
  syncDevicePos();
}

void TCanvas::LineTo(int32_t x, int32_t y) {
  if (device_) {
    Changing();
    syncDevicePos();
    TPoint d = toDevice(TPoint{x, y});
    device_->LineTo(state(), d);
    devicePos_ = d;
  }
  penPos_ = {x, y};
  dropTextPen();
}

void TCanvas::FillRect(const TRect& r) {
  if (device_) {
    Changing();
    device_->FillRect(state(), toDevice(r));
  }
}

void TCanvas::FrameRect(const TRect& r0) {
  TRect r = r0.Normalized();
  if (!device_ || r.IsEmpty()) return;
  Changing();
  TDeviceState s = state();
  TRect d = toDevice(r);
  device_->FillRect(s, {d.Left, d.Top, d.Right, d.Top + 1});
  device_->FillRect(s, {d.Left, d.Bottom - 1, d.Right, d.Bottom});
  device_->FillRect(s, {d.Left, d.Top, d.Left + 1, d.Bottom});
  device_->FillRect(s, {d.Right - 1, d.Top, d.Right, d.Bottom});
}

void TCanvas::Rectangle(const TRect& r) {
  if (device_) {
    Changing();
    device_->Rectangle(state(), toDevice(r));
  }
}
void TCanvas::RoundRect(const TRect& r, int32_t cw, int32_t ch) {
  if (device_) {
    Changing();
    device_->RoundRect(state(), toDevice(r), cw, ch);
  }
}
void TCanvas::Ellipse(const TRect& r) {
  if (device_) {
    Changing();
    device_->Ellipse(state(), toDevice(r));
  }
}
void TCanvas::Arc(const TRect& r, TPoint start, TPoint end) {
  if (device_) {
    Changing();
    device_->Arc(state(), TCanvasDevice::TArcKind::Arc, toDevice(r), toDevice(start), toDevice(end));
  }
}
void TCanvas::Chord(const TRect& r, TPoint start, TPoint end) {
  if (device_) {
    Changing();
    device_->Arc(state(), TCanvasDevice::TArcKind::Chord, toDevice(r), toDevice(start), toDevice(end));
  }
}
void TCanvas::Pie(const TRect& r, TPoint start, TPoint end) {
  if (device_) {
    Changing();
    device_->Arc(state(), TCanvasDevice::TArcKind::Pie, toDevice(r), toDevice(start), toDevice(end));
  }
}

namespace {
std::vector<TPoint> offsetPoints(const std::vector<TPoint>& pts, TPoint o) {
  std::vector<TPoint> out(pts);
  for (auto& p : out) p = p + o;
  return out;
}
}  // namespace

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (device_) {
    Changing();
    device_->Polyline(state(), offsetPoints(points, origin_));
  }
  if (!points.empty()) {
    penPos_ = points.back();
    dropTextPen();
  }
}
void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (device_) {
    Changing();
    device_->Polygon(state(), offsetPoints(points, origin_));
  }
}
void TCanvas::PolyBezier(const std::vector<TPoint>& points) {
  if (device_) {
    Changing();
    device_->PolyBezier(state(), offsetPoints(points, origin_));
  }
}

void TCanvas::DrawFocusRect(const TRect& r0) {
  // A dotted frame: every other pixel of the outline in the inverse of what
  // lies below is not available on every device, so draw it in grey dots.
  TRect r = r0.Normalized();
  if (!device_ || r.IsEmpty()) return;
  Changing();
  TDeviceState s = state();
  s.Pen = {ColorToRGB(clGray), 1, psDot};
  s.Brush.Style = bsClear;
  device_->Rectangle(s, toDevice(r));
}

void TCanvas::BeginPath() {
  if (device_) {
    Changing();
    device_->BeginPath();
  }
}
void TCanvas::EndPath() {
  if (device_) {
    Changing();
    device_->EndPath();
  }
}
void TCanvas::CloseFigure() {
  if (device_) {
    Changing();
    device_->CloseFigure();
  }
}
void TCanvas::FillPath() {
  if (device_) {
    Changing();
    device_->FillPath(state());
  }
}
void TCanvas::StrokePath() {
  if (device_) {
    Changing();
    device_->StrokePath(state());
  }
}
void TCanvas::StrokeAndFillPath() {
  if (device_) {
    Changing();
    device_->StrokeAndFillPath(state());
  }
}

void TCanvas::TextOut(int32_t x, int32_t y, const std::string& text) { TextOut(x, y, Utf8ToUnicode(text)); }

void TCanvas::TextOut(int32_t x, int32_t y, const UnicodeString& text) {
  penPos_ = {x, y};
  dropTextPen();
  if (!device_) return;
  Changing();
  TPoint d = toDevice(TPoint{x, y});
  const TDeviceState s = state();
  device_->TextOut(s, d.X, d.Y, 0, nullptr, text);
  if (!penText_) penText_ = std::make_unique<TextPen>();
  penText_->pending = true;
  penText_->at = {x, y};
  penText_->text = text;
  penText_->font = s.Font;
}

void TCanvas::ExtTextOut(int32_t x, int32_t y, uint32_t options, const TRect* r, const UnicodeString& text,
                         const int32_t* advances) {
  if (!device_) return;
  Changing();
  TPoint d = toDevice(TPoint{x, y});
  TRect dr;
  if (r) dr = toDevice(*r);
  device_->TextOut(state(), d.X, d.Y, options, r ? &dr : nullptr, text, advances);
}

void TCanvas::TextRect(const TRect& r, int32_t x, int32_t y, const std::string& text) {
  uint32_t options = ETO_CLIPPED;
  if (brush_.Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOut(x, y, options, &r, Utf8ToUnicode(text));
}

TSize TCanvas::TextExtent(const std::string& text) { return TextExtent(Utf8ToUnicode(text)); }
TSize TCanvas::TextExtent(const UnicodeString& text) {
  if (!device_) return {};
  Changing();
  return device_->TextExtent(state().Font, text);
}
TTextMetrics TCanvas::TextMetrics() {
  if (!device_) return {};
  Changing();
  return device_->TextMetrics(state().Font);
}

int32_t TCanvas::DrawText(const std::string& text, TRect& r, uint32_t flags) {
  return DrawText(Utf8ToUnicode(text), r, flags);
}

int32_t TCanvas::DrawText(const UnicodeString& text0, TRect& r, uint32_t flags) {
  if (!device_) return 0;
  Changing();
  // Prefix characters: "&&" shows one ampersand, a single "&" vanishes.
  UnicodeString text;
  for (size_t i = 0; i < text0.size(); ++i) {
    char16_t c = text0[i];
    if (!(flags & DT_NOPREFIX) && c == u'&') {
      if (i + 1 < text0.size() && text0[i + 1] == u'&') {
        text += u'&';
        ++i;
      }
      continue;
    }
    if (c == u'\t' && (flags & DT_EXPANDTABS)) {
      text += u"        ";
      continue;
    }
    text += c;
  }
  TFontData font = state().Font;
  auto width = [&](const UnicodeString& s) { return device_->TextExtent(font, s).cx; };
  std::vector<UnicodeString> lines;
  if (flags & DT_SINGLELINE) {
    UnicodeString one;
    for (char16_t c : text)
      if (c != u'\r' && c != u'\n') one += c;
    lines.push_back(one);
  } else {
    UnicodeString cur;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' || text[i] == u'\n') {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        lines.push_back(cur);
        cur.clear();
      } else {
        cur += text[i];
      }
    }
    lines.push_back(cur);
  }
  const int32_t avail = r.Width();
  if ((flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE)) {
    std::vector<UnicodeString> wrapped;
    for (const auto& line : lines) {
      UnicodeString cur;
      size_t i = 0;
      if (line.empty()) wrapped.push_back(line);
      while (i < line.size()) {
        size_t j = i;
        while (j < line.size() && line[j] != u' ') ++j;
        UnicodeString word = line.substr(i, j - i);
        UnicodeString candidate = cur.empty() ? word : cur + u' ' + word;
        if (!cur.empty() && width(candidate) > avail) {
          wrapped.push_back(cur);
          cur = word;
        } else {
          cur = candidate;
        }
        i = j;
        while (i < line.size() && line[i] == u' ') ++i;
        if (i >= line.size()) wrapped.push_back(cur);
      }
    }
    lines = wrapped;
  }
  if (flags & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
    for (auto& line : lines) {
      if (width(line) <= avail) continue;
      UnicodeString cut = line;
      while (!cut.empty() && width(cut + u"...") > avail) cut.pop_back();
      line = cut + u"...";
    }
  }
  const int32_t lineHeight = device_->TextMetrics(font).Height;
  const int32_t total = lineHeight * static_cast<int32_t>(lines.size());
  if (flags & DT_CALCRECT) {
    int32_t maxW = 0;
    for (const auto& l : lines) maxW = std::max(maxW, width(l));
    r.Right = r.Left + maxW;
    r.Bottom = r.Top + total;
    return total;
  }
  int32_t y = r.Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = r.Top + (r.Height() - total) / 2;
    else if (flags & DT_BOTTOM) y = r.Bottom - total;
  }
  TDeviceState s = state();
  TRect clip = toDevice(r);
  for (const auto& line : lines) {
    // Only a centred or right-aligned line needs its width.
    int32_t x = r.Left;
    if (flags & DT_CENTER) x = r.Left + (avail - width(line)) / 2;
    else if (flags & DT_RIGHT) x = r.Right - width(line);
    TPoint d = toDevice(TPoint{x, y});
    device_->TextOut(s, d.X, d.Y, (flags & DT_NOCLIP) ? 0 : ETO_CLIPPED, (flags & DT_NOCLIP) ? nullptr : &clip, line);
    y += lineHeight;
  }
  return total;
}

void TCanvas::Draw(int32_t x, int32_t y, const TBitmap& bitmap) {
  if (!device_ || bitmap.Empty()) return;
  Changing();
  TBlendMode blend;
  blend.UseSourceAlpha = bitmap.PixelFormat() == pf32bit && bitmap.AlphaFormat() == afDefined;
  if (bitmap.Transparent) blend.TransparentColor = bitmap.TransparentColor == clNone
      ? bitmap.GetPixel(0, bitmap.Height() - 1) : bitmap.TransparentColor;
  device_->DrawBitmap(state(), toDevice(Bounds(x, y, bitmap.Width(), bitmap.Height())), bitmap,
                      Rect(0, 0, bitmap.Width(), bitmap.Height()), blend);
}

void TCanvas::StretchDraw(const TRect& dest, const TBitmap& bitmap) {
  if (!device_ || bitmap.Empty()) return;
  Changing();
  TBlendMode blend;
  blend.UseSourceAlpha = bitmap.PixelFormat() == pf32bit && bitmap.AlphaFormat() == afDefined;
  if (bitmap.Transparent) blend.TransparentColor = bitmap.TransparentColor == clNone
      ? bitmap.GetPixel(0, bitmap.Height() - 1) : bitmap.TransparentColor;
  device_->DrawBitmap(state(), toDevice(dest), bitmap, Rect(0, 0, bitmap.Width(), bitmap.Height()), blend);
}

void TCanvas::CopyRect(const TRect& dest, const TBitmap& source, const TRect& sourceRect) {
  if (device_) {
    Changing();
    device_->DrawBitmap(state(), toDevice(dest), source, sourceRect, TBlendMode{});
  }
}

void TCanvas::AlphaBlend(const TRect& dest, const TBitmap& source, const TRect& sourceRect, Byte constantAlpha,
                         bool useSourceAlpha) {
  if (!device_) return;
  Changing();
  TBlendMode blend;
  blend.ConstantAlpha = constantAlpha;
  blend.UseSourceAlpha = useSourceAlpha && source.PixelFormat() == pf32bit;
  device_->DrawBitmap(state(), toDevice(dest), source, sourceRect, blend);
}

TColor TCanvas::Pixel(int32_t x, int32_t y) {
  if (!device_) return clNone;
  Changing();
  TPoint d = toDevice(TPoint{x, y});
  return device_->GetPixel(d.X, d.Y);
}
void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
  if (!device_) return;
  Changing();
  TPoint d = toDevice(TPoint{x, y});
  device_->SetPixel(d.X, d.Y, ColorToRGB(color));
}

void TCanvas::SetClipRect(const TRect& r) {
  if (!device_) return;
  Changing();
  TRect d = toDevice(r);
  device_->SetClipRect(&d);
}
void TCanvas::ClearClipRect() {
  if (device_) {
    Changing();
    device_->SetClipRect(nullptr);
  }
}
void TCanvas::IntersectClipRect(const TRect& r) {
  if (device_) {
    Changing();
    device_->IntersectClipRect(toDevice(r));
  }
}
void TCanvas::Save() {
  saved_.push_back({origin_, pen_.Data(), brush_.Data(), font_.Data()});
  if (device_) {
    Changing();
    device_->SaveState();
  }
}
void TCanvas::Restore() {
  if (saved_.empty()) return;
  Saved s = saved_.back();
  saved_.pop_back();
  origin_ = s.origin;
  TPen p;
  p.SetColor(s.pen.Color);
  p.SetWidth(s.pen.Width);
  p.SetStyle(s.pen.Style);
  pen_.Assign(p);
  TBrush b;
  b.SetColor(s.brush.Color);
  b.SetStyle(s.brush.Style);
  brush_.Assign(b);
  font_.SetData(s.font);
  if (device_) {
    Changing();
    device_->RestoreState();
  }
}

// ---------------------------------------------------------------------------
// Bitmap

// The canvas device of a bitmap: opens a painter on the pixels when drawing
// starts and closes it before anyone reads or reshapes the pixels.
class TBitmap::Device : public TCanvasDevice {
 public:
  explicit Device(TBitmap& owner) : owner_(owner) {}
  ~Device() override { finish(); }

  void finish() {
    if (!painter_) return;
    inner_.reset();
    painter_->end();
    painter_.reset();
    if (converted_) {
      // Indexed bitmaps were painted on a full-colour copy; map it back.
      QImage img = std::move(surface_);
      owner_.FromQImage(img, owner_.format_);
      converted_ = false;
    }
    surface_ = QImage();
  }

  TQtPainterDevice& dev() {
    if (!inner_) {
      TBitmap& b = owner_;
      converted_ = false;
      if (b.format_ == pf32bit) {
        surface_ = QImage(b.bits_.data(), b.width_, b.height_, b.stride_, QImage::Format_ARGB32);
      } else if (b.format_ == pf24bit) {
        surface_ = QImage(b.bits_.data(), b.width_, b.height_, b.stride_, QImage::Format_BGR888);
      } else {
        surface_ = b.ToQImage();
        converted_ = true;
      }
      painter_ = std::make_unique<QPainter>(&surface_);
      inner_ = std::make_unique<TQtPainterDevice>(painter_.get());
      inner_->SetTargetImage(&surface_);
    }
    return *inner_;
  }

  bool usable() const { return owner_.width_ > 0 && owner_.height_ > 0; }

  void FillRect(const TDeviceState& s, const TRect& r) override { if (usable()) dev().FillRect(s, r); }
  void Rectangle(const TDeviceState& s, const TRect& r) override { if (usable()) dev().Rectangle(s, r); }
  void RoundRect(const TDeviceState& s, const TRect& r, int32_t w, int32_t h) override {
    if (usable()) dev().RoundRect(s, r, w, h);
  }
  void Ellipse(const TDeviceState& s, const TRect& r) override { if (usable()) dev().Ellipse(s, r); }
  void Arc(const TDeviceState& s, TArcKind k, const TRect& r, TPoint a, TPoint b) override {
    if (usable()) dev().Arc(s, k, r, a, b);
  }
  void Polyline(const TDeviceState& s, const std::vector<TPoint>& p) override { if (usable()) dev().Polyline(s, p); }
  void Polygon(const TDeviceState& s, const std::vector<TPoint>& p) override { if (usable()) dev().Polygon(s, p); }
  void PolyBezier(const TDeviceState& s, const std::vector<TPoint>& p) override {
    if (usable()) dev().PolyBezier(s, p);
  }
  void MoveTo(const TDeviceState& s, TPoint p) override { if (usable()) dev().MoveTo(s, p); }
  void LineTo(const TDeviceState& s, TPoint p) override { if (usable()) dev().LineTo(s, p); }
  void BeginPath() override { if (usable()) dev().BeginPath(); }
  void EndPath() override { if (usable()) dev().EndPath(); }
  void CloseFigure() override { if (usable()) dev().CloseFigure(); }
  void FillPath(const TDeviceState& s) override { if (usable()) dev().FillPath(s); }
  void StrokePath(const TDeviceState& s) override { if (usable()) dev().StrokePath(s); }
  void StrokeAndFillPath(const TDeviceState& s) override { if (usable()) dev().StrokeAndFillPath(s); }
  void BezierTo(const TDeviceState& s, TPoint c1, TPoint c2, TPoint p) override {
    if (usable()) dev().BezierTo(s, c1, c2, p);
  }
  void ClipPath(const TDeviceState& s) override { if (usable()) dev().ClipPath(s); }
  void DrawBitmapPlg(const TDeviceState& s, const TPoint (&p)[3], const TBitmap& src, const TBlendMode& b) override {
    if (!usable()) return;
    if (&src == &owner_) {
      finish();
      TBitmap copy;
      copy.Assign(src);
      dev().DrawBitmapPlg(s, p, copy, b);
      return;
    }
    dev().DrawBitmapPlg(s, p, src, b);
  }
  void TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t o, const TRect* r, const UnicodeString& t,
               const int32_t* advances) override {
    if (usable()) dev().TextOut(s, x, y, o, r, t, advances);
  }
  TSize TextExtent(const TFontData& f, const UnicodeString& t) override { return measure_.TextExtent(f, t); }
  TTextMetrics TextMetrics(const TFontData& f) override { return measure_.TextMetrics(f); }
  void DrawBitmap(const TDeviceState& s, const TRect& d, const TBitmap& src, const TRect& sr,
                  const TBlendMode& b) override {
    if (!usable()) return;
    if (&src == &owner_) {
      // Drawing a bitmap onto itself: take a copy of the source first.
      finish();
      TBitmap copy;
      copy.Assign(src);
      dev().DrawBitmap(s, d, copy, sr, b);
      return;
    }
    dev().DrawBitmap(s, d, src, sr, b);
  }
  TColor GetPixel(int32_t x, int32_t y) override {
    finish();
    if (x < 0 || y < 0 || x >= owner_.width_ || y >= owner_.height_) return clNone;
    return owner_.GetPixel(x, y);
  }
  void SetPixel(int32_t x, int32_t y, TColor c) override {
    finish();
    if (x < 0 || y < 0 || x >= owner_.width_ || y >= owner_.height_) return;
    owner_.SetPixelColor(x, y, c);
  }
  void SetClipRect(const TRect* r) override { if (usable()) dev().SetClipRect(r); }
  void IntersectClipRect(const TRect& r) override { if (usable()) dev().IntersectClipRect(r); }
  void SaveState() override { if (usable()) dev().SaveState(); }
  void RestoreState() override { if (usable()) dev().RestoreState(); }
  int32_t PixelsPerInch() const override { return 96; }

 private:
  TBitmap& owner_;
  QImage surface_;
  bool converted_ = false;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<TQtPainterDevice> inner_;
  // Text measuring needs no painter.
  TQtPainterDevice measure_{nullptr};
};

namespace {

int bppOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf24bit: return 24;
    default: return 32;
  }
}

std::vector<TColor> defaultPalette(TPixelFormat f) {
  if (f == pf1bit) return {clBlack, clWhite};
  if (f == pf4bit)
    return {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray,
            clSilver, clRed, clLime, clYellow, clBlue, clFuchsia, clAqua, clWhite};
  if (f == pf8bit) {
    std::vector<TColor> p;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) p.push_back(RGB(r * 51, g * 51, b * 51));
    for (int i = 0; p.size() < 256; ++i) p.push_back(RGB(i * 6 + 8, i * 6 + 8, i * 6 + 8));
    return p;
  }
  return {};
}

}  // namespace

TBitmap::TBitmap() = default;
TBitmap::TBitmap(int32_t width, int32_t height, TPixelFormat format) {
  allocate(width, height, format == pfDevice ? pf32bit : format);
}
TBitmap::~TBitmap() {
  canvas_.reset();
  device_.reset();
}

void TBitmap::finishDrawing() const {
  if (device_) device_->finish();
}

int32_t TBitmap::BitsPerPixel() const { return bppOf(format_); }

void TBitmap::allocate(int32_t w, int32_t h, TPixelFormat f) {
  finishDrawing();
  if (w < 0 || h < 0) throw EInvalidGraphic("Invalid bitmap size");
  // Bound the allocation: a corrupt header must not ask for gigabytes.
  const int64_t stride = ((static_cast<int64_t>(w) * bppOf(f) + 31) / 32) * 4;
  if (stride * h > (int64_t{1} << 30)) throw EOutOfMemory("Bitmap too large");
  width_ = w;
  height_ = h;
  format_ = f;
  stride_ = static_cast<int32_t>(stride);
  bits_.assign(static_cast<size_t>(stride * h), 0);
  if (bppOf(f) <= 8) {
    if (palette_.size() != (size_t{1} << bppOf(f))) palette_ = defaultPalette(f);
  } else {
    palette_.clear();
  }
}

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  other.finishDrawing();
  finishDrawing();
  width_ = other.width_;
  height_ = other.height_;
  format_ = other.format_;
  alphaFormat_ = other.alphaFormat_;
  stride_ = other.stride_;
  bits_ = other.bits_;
  palette_ = other.palette_;
  Transparent = other.Transparent;
  TransparentColor = other.TransparentColor;
}

void TBitmap::SetSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return;
  finishDrawing();
  std::vector<Byte> old = std::move(bits_);
  int32_t oldW = width_, oldH = height_, oldStride = stride_;
  allocate(width, height, format_);
  const int32_t rows = std::min(oldH, height_);
  const int32_t bytes = std::min<int32_t>((std::min(oldW, width_) * BitsPerPixel() + 7) / 8, stride_);
  for (int32_t y = 0; y < rows && oldStride > 0; ++y)
    std::copy_n(old.data() + static_cast<size_t>(y) * oldStride, std::min(bytes, oldStride),
                bits_.data() + static_cast<size_t>(y) * stride_);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == pfDevice) format = pf32bit;
  if (format == format_) return;
  finishDrawing();
  QImage img = ToQImage();
  palette_.clear();
  FromQImage(img, format);
}

void TBitmap::SetPalette(const std::vector<TColor>& colors) {
  finishDrawing();
  palette_ = colors;
  palette_.resize(size_t{1} << std::min(8, BitsPerPixel()), clBlack);
}

Byte* TBitmap::ScanLine(int32_t y) {
  finishDrawing();
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range");
  return bits_.data() + static_cast<size_t>(y) * stride_;
}
const Byte* TBitmap::ScanLine(int32_t y) const {
  finishDrawing();
  if (y < 0 || y >= height_) throw ERangeError("Scan line index out of range");
  return bits_.data() + static_cast<size_t>(y) * stride_;
}

TColor TBitmap::GetPixel(int32_t x, int32_t y) const {
  finishDrawing();
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clNone;
  const Byte* row = bits_.data() + static_cast<size_t>(y) * stride_;
  switch (format_) {
    case pf1bit: return palette_[(row[x / 8] >> (7 - x % 8)) & 1];
    case pf4bit: return palette_[(x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0xF)];
    case pf8bit: return palette_[row[x]];
    case pf24bit: return RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    default: return RGB(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
  }
}

Byte TBitmap::GetAlpha(int32_t x, int32_t y) const {
  finishDrawing();
  if (format_ != pf32bit || x < 0 || y < 0 || x >= width_ || y >= height_) return 255;
  return bits_[static_cast<size_t>(y) * stride_ + x * 4 + 3];
}

namespace {
int nearestIndex(const std::vector<TColor>& palette, TColor c) {
  int best = 0;
  int64_t bestD = INT64_MAX;
  for (size_t i = 0; i < palette.size(); ++i) {
    int dr = GetRValue(palette[i]) - GetRValue(c), dg = GetGValue(palette[i]) - GetGValue(c),
        db = GetBValue(palette[i]) - GetBValue(c);
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}
}  // namespace

void TBitmap::SetPixelColor(int32_t x, int32_t y, TColor c0) {
  finishDrawing();
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  TColor c = ColorToRGB(c0);
  Byte* row = bits_.data() + static_cast<size_t>(y) * stride_;
  switch (format_) {
    case pf1bit: {
      int i = nearestIndex(palette_, c);
      Byte mask = static_cast<Byte>(0x80 >> (x % 8));
      row[x / 8] = static_cast<Byte>(i ? (row[x / 8] | mask) : (row[x / 8] & ~mask));
      break;
    }
    case pf4bit: {
      int i = nearestIndex(palette_, c);
      Byte& b = row[x / 2];
      b = (x % 2 == 0) ? static_cast<Byte>((b & 0x0F) | (i << 4)) : static_cast<Byte>((b & 0xF0) | i);
      break;
    }
    case pf8bit: row[x] = static_cast<Byte>(nearestIndex(palette_, c)); break;
    case pf24bit:
      row[x * 3] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
      break;
    default:
      row[x * 4] = GetBValue(c);
      row[x * 4 + 1] = GetGValue(c);
      row[x * 4 + 2] = GetRValue(c);
      row[x * 4 + 3] = 255;
      break;
  }
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) {
    device_ = std::make_unique<Device>(*this);
    canvas_ = std::make_unique<TCanvas>(device_.get());
  }
  return *canvas_;
}

QImage TBitmap::PixelView(bool withAlpha) const {
  finishDrawing();
  if (Empty() || format_ != pf32bit) return ToQImage();
  return QImage(bits_.data(), width_, height_, stride_, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

QImage TBitmap::ToQImage() const {
  finishDrawing();
  if (Empty()) return QImage();
  QImage img(width_, height_, QImage::Format_ARGB32);
  // Row by row per format: images of documents pass through here every time
  // they are drawn.
  std::array<QRgb, 256> colors{};
  for (size_t i = 0; i < palette_.size() && i < colors.size(); ++i)
    colors[i] = qRgb(GetRValue(palette_[i]), GetGValue(palette_[i]), GetBValue(palette_[i]));
  for (int32_t y = 0; y < height_; ++y) {
    auto* out = reinterpret_cast<QRgb*>(img.scanLine(y));
    const Byte* row = bits_.data() + static_cast<size_t>(y) * stride_;
    switch (format_) {
      case pf1bit:
        for (int32_t x = 0; x < width_; ++x) out[x] = colors[(row[x / 8] >> (7 - x % 8)) & 1];
        break;
      case pf4bit:
        for (int32_t x = 0; x < width_; ++x) out[x] = colors[(x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0xF)];
        break;
      case pf8bit:
        for (int32_t x = 0; x < width_; ++x) out[x] = colors[row[x]];
        break;
      case pf24bit:
        for (int32_t x = 0; x < width_; ++x, row += 3) out[x] = qRgb(row[2], row[1], row[0]);
        break;
      default:
        if constexpr (std::endian::native == std::endian::little) {
          std::memcpy(out, row, static_cast<size_t>(width_) * 4);  // B, G, R, A: ARGB32 in memory
        } else {
          for (int32_t x = 0; x < width_; ++x) out[x] = qRgba(row[x * 4 + 2], row[x * 4 + 1], row[x * 4], row[x * 4 + 3]);
        }
        break;
    }
  }
  return img;
}

void TBitmap::FromQImage(const QImage& image0, TPixelFormat format) {
  if (format == pfDevice) format = pf32bit;
  QImage image = image0.convertToFormat(QImage::Format_ARGB32);
  std::vector<TColor> keepPalette = palette_;
  allocate(image.width(), image.height(), format);
  if (keepPalette.size() == palette_.size() && !keepPalette.empty()) palette_ = keepPalette;
  for (int32_t y = 0; y < height_; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    Byte* row = bits_.data() + static_cast<size_t>(y) * stride_;
    for (int32_t x = 0; x < width_; ++x) {
      if (format_ == pf32bit) {
        row[x * 4] = static_cast<Byte>(qBlue(in[x]));
        row[x * 4 + 1] = static_cast<Byte>(qGreen(in[x]));
        row[x * 4 + 2] = static_cast<Byte>(qRed(in[x]));
        row[x * 4 + 3] = static_cast<Byte>(qAlpha(in[x]));
      } else {
        SetPixelColor(x, y, RGB(qRed(in[x]), qGreen(in[x]), qBlue(in[x])));
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Pictures

namespace {

uint32_t leWord(const TBytes& d, size_t at) { return d[at] | (uint32_t{d[at + 1]} << 8); }
uint32_t leLong(const TBytes& d, size_t at) { return leWord(d, at) | (leWord(d, at + 2) << 16); }

// Qt's reader fills the rows a BMP file cut short never delivered with
// black; such a file is damaged, not a picture with black rows. Answers
// false for a BMP whose header or uncompressed pixel rows are not whole
// (other files and compressed rows are the decoder's to judge).
bool bmpIsWhole(const TBytes& d) {
  if (d.size() < 2 || d[0] != 'B' || d[1] != 'M') return true;
  if (d.size() < 18) return false;
  const uint64_t offBits = leLong(d, 10);
  const uint32_t infoSize = leLong(d, 14);
  int64_t width = 0, height = 0;
  uint32_t bitCount = 0, compression = 0;
  if (infoSize == 12) {  // the old core header: 16-bit sizes
    if (d.size() < 26) return false;
    width = leWord(d, 18);
    height = leWord(d, 20);
    bitCount = leWord(d, 24);
  } else {
    if (infoSize < 40 || d.size() < 14 + uint64_t{infoSize}) return false;
    width = static_cast<int32_t>(leLong(d, 18));
    height = static_cast<int32_t>(leLong(d, 22));
    bitCount = leWord(d, 28);
    compression = leLong(d, 30);
  }
  // Uncompressed and bit-field rows have a fixed size; RLE, JPEG and PNG
  // data end themselves.
  if (compression != 0 && compression != 3 && compression != 6) return true;
  if (width <= 0 || bitCount == 0 || bitCount > 32) return true;  // the decoder refuses these
  const uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  if (rows != 0 && stride > (uint64_t{1} << 62) / rows) return false;  // more than any file holds
  return offBits + stride * rows <= d.size();
}

}  // namespace

void TBitmapGraphic::LoadFromBytes(const TBytes& data) {
  QImage img;
  if (data.empty() || !bmpIsWhole(data) || !img.loadFromData(data.data(), static_cast<int>(data.size())))
    throw EInvalidGraphic("Bitmap image is not valid");
  bitmap.FromQImage(img, img.hasAlphaChannel() ? pf32bit : pf24bit);
  if (img.hasAlphaChannel()) bitmap.SetAlphaFormat(afDefined);
}

namespace {
struct FormatEntry {
  std::string description;
  TGraphicFactory factory;
};
std::mutex& formatsLock() {
  static std::mutex m;
  return m;
}
std::map<std::string, FormatEntry>& formats() {
  static std::map<std::string, FormatEntry> f;
  return f;
}
std::string lowerExt(std::string e) {
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  for (auto& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}
}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  TGraphicFactory factory) {
  std::lock_guard lock(formatsLock());
  formats()[lowerExt(extension)] = {description, std::move(factory)};
}

void TPicture::UnregisterFileFormat(const std::string& extension) {
  std::lock_guard lock(formatsLock());
  formats().erase(lowerExt(extension));
}

void TPicture::LoadFromBytes(const std::string& extension, const TBytes& data) {
  std::string ext = lowerExt(extension);
  TGraphicFactory factory;
  {
    std::lock_guard lock(formatsLock());
    auto it = formats().find(ext);
    if (it != formats().end()) factory = it->second.factory;
  }
  if (!factory) {
    if (ext == "bmp" || ext == "jpg" || ext == "jpeg")
      factory = [] { return std::make_unique<TBitmapGraphic>(); };
    else
      throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  }
  std::unique_ptr<TGraphic> g = factory();
  g->LoadFromBytes(data);
  graphic_ = std::move(g);
}

void TPicture::LoadFromFile(const std::string& path) {
  auto dot = path.find_last_of('.');
  auto slash = path.find_last_of('/');
  std::string ext = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : path.substr(dot + 1);
  std::string content = ReadFileToString(path);
  LoadFromBytes(ext, TBytes(content.begin(), content.end()));
}

}  // namespace px
