#include "ui/tree/NodeTreesHeaderTheme.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>

namespace px {

namespace {

QStyle* currentStyle() { return QApplication::style(); }

// Renders a style element into a bitmap of the size and draws it at r.
template <class Paint>
void drawStyled(TCanvas& canvas, const TRect& r, Paint paint) {
  if (r.IsEmpty()) return;
  QImage image(r.Width(), r.Height(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    paint(painter, QRect(0, 0, r.Width(), r.Height()));
  }
  TBitmap bitmap;
  bitmap.FromQImage(image, pf32bit);
  bitmap.SetAlphaFormat(afDefined);
  canvas.AlphaBlend(r, bitmap, TRect(0, 0, r.Width(), r.Height()), 255, true);
}

}  // namespace

void DrawThemedHeaderItem(TCanvas& canvas, const TRect& r, TThemedHeaderState state) {
  QStyle* style = currentStyle();
  if (style == nullptr) return;
  drawStyled(canvas, r, [&](QPainter& painter, const QRect& rect) {
    QStyleOptionHeader option;
    option.rect = rect;
    option.state = QStyle::State_Enabled | QStyle::State_Horizontal;
    option.palette = QApplication::palette();
    if (state == thsHot) option.state |= QStyle::State_MouseOver;
    if (state == thsPressed) option.state |= QStyle::State_Sunken | QStyle::State_On;
    option.position = QStyleOptionHeader::Middle;
    style->drawControl(state == thsBackground ? QStyle::CE_HeaderEmptyArea : QStyle::CE_HeaderSection, &option,
                       &painter, nullptr);
    // Not every style marks a hovered section; a light wash of the highlight
    // colour keeps hot apart from normal everywhere.
    if (state == thsHot) {
      QColor wash = option.palette.color(QPalette::Highlight);
      wash.setAlpha(40);
      painter.fillRect(rect, wash);
    }
  });
}

TSize SortGlyphSize(bool explorerThemed) {
  if (explorerThemed && currentStyle() != nullptr) {
    int32_t extent = currentStyle()->pixelMetric(QStyle::PM_HeaderMarkSize);
    if (extent > 0) return {extent, extent / 2 + 1};
  }
  return {16, 16};
}

void DrawSortGlyph(TCanvas& canvas, TPoint pos, TSortDirection direction, bool explorerThemed, bool themed) {
  const TSize size = SortGlyphSize(explorerThemed);
  const TRect r(pos.X, pos.Y, pos.X + size.cx, pos.Y + size.cy);
  if (explorerThemed && currentStyle() != nullptr) {
    drawStyled(canvas, r, [&](QPainter& painter, const QRect& rect) {
      QStyleOptionHeader option;
      option.rect = rect;
      option.state = QStyle::State_Enabled;
      option.palette = QApplication::palette();
      option.sortIndicator =
          direction == sdAscending ? QStyleOptionHeader::SortUp : QStyleOptionHeader::SortDown;
      currentStyle()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &option, &painter, nullptr);
    });
    return;
  }
  // A small triangle in the middle of the 16 x 16 cell: point up for
  // ascending, down for descending; themed trees use the darker shadow.
  const TColor color = themed ? clBtnText : clBtnShadow;
  const int32_t cx = pos.X + 8, top = pos.Y + 6, bottom = pos.Y + 10;
  std::vector<TPoint> points;
  if (direction == sdAscending)
    points = {Point(cx - 4, bottom), Point(cx + 4, bottom), Point(cx, top)};
  else
    points = {Point(cx - 4, top), Point(cx + 4, top), Point(cx, bottom)};
  TPenData pen = canvas.Pen().Data();
  TBrushData brush = canvas.Brush().Data();
  canvas.Pen().SetColor(color);
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(color);
  canvas.Polygon(points);
  canvas.Pen().SetColor(pen.Color);
  canvas.Brush().SetColor(brush.Color);
  canvas.Brush().SetStyle(brush.Style);
}

TSize DropMarkSize() { return {16, 16}; }

void DrawDropMark(TCanvas& canvas, TPoint pos, bool left) {
  // A two-pixel bar at the edge with an arrow head pointing at it.
  TBrushData brush = canvas.Brush().Data();
  TPenData pen = canvas.Pen().Data();
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(clHighlight);
  canvas.Pen().SetColor(clHighlight);
  const int32_t x = left ? pos.X : pos.X + 14;
  canvas.FillRect(TRect(x, pos.Y, x + 2, pos.Y + 16));
  const int32_t tip = left ? pos.X + 2 : pos.X + 13;
  const int32_t base = left ? pos.X + 6 : pos.X + 9;
  canvas.Polygon({Point(tip, pos.Y + 8), Point(base, pos.Y + 4), Point(base, pos.Y + 12)});
  canvas.Brush().SetColor(brush.Color);
  canvas.Brush().SetStyle(brush.Style);
  canvas.Pen().SetColor(pen.Color);
}

}  // namespace px
