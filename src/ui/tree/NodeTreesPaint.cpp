// Painting of the tree: the control's Paint, PaintTree row by row into a row
// buffer, and the drawing steps of one cell (lines, buttons, check boxes,
// images, background, selection, focus, grid lines, drop mark).
#include <algorithm>
#include <cmath>
#include <memory>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

#include "platform/core/Fonts.h"
#include "platform/gui/ExtCtrls.h"
#include "ui/tree/NodeTrees.h"
#include "ui/tree/NodeTreesImages.h"
#include "ui/tree/NodeTreesSupport.h"

namespace px {

namespace {

constexpr int32_t kButtonSize = 9;

// The middle of an indentation level: halves round to even.
int32_t levelMiddle(int32_t x, int32_t indent) {
  int32_t half = indent / 2;
  if (indent % 2 != 0 && half % 2 != 0) ++half;
  return x + half;
}

// One-pixel dots on every other pixel, in the phase of absolute tree
// coordinates so that the pattern runs on across rows.
}  // namespace

// ---------------------------------------------------------------------------
// The line pattern: tree lines and grid lines are drawn through an 8 x 8
// pattern anchored at the window's corner, so that dots line up across rows.

void TBaseNodeTree::SetLineStyle(Byte value) {
  if (lineStyle_ == value) return;
  lineStyle_ = value;
  linePatternBuilt_ = false;
  if (!IsLoading()) InvalidateRect(nullptr, false);
}

const std::array<Word, 8>& TBaseNodeTree::linePattern() {
  if (!linePatternBuilt_) {
    switch (lineStyle_) {
      case 1:  // every other pixel, shifted by one on every row
        for (size_t y = 0; y < 8; ++y) linePattern_[y] = y % 2 == 0 ? 0x55 : 0xAA;
        break;
      case 2:
        linePattern_.fill(0xFF);
        break;
      default:
        linePattern_.fill(0);
        LinePatternQuery(linePattern_);
        break;
    }
    linePatternBuilt_ = true;
  }
  return linePattern_;
}

void TBaseNodeTree::patternV(TCanvas& c, int32_t x, int32_t top, int32_t bottom) {
  const std::array<Word, 8>& pattern = linePattern();
  const Word bit = static_cast<Word>(1u << (x & 7));
  if (std::all_of(pattern.begin(), pattern.end(), [bit](Word row) { return (row & bit) != 0; })) {
    if (top < bottom) c.FillRect(TRect(x, top, x + 1, bottom));
    return;
  }
  for (int32_t y = top; y < bottom; ++y)
    if (pattern[static_cast<size_t>(y & 7)] & bit) c.FillRect(TRect(x, y, x + 1, y + 1));
}

void TBaseNodeTree::patternH(TCanvas& c, int32_t y, int32_t left, int32_t right) {
  const Word row = linePattern()[static_cast<size_t>(y & 7)];
  if ((row & 0xFF) == 0xFF) {
    if (left < right) c.FillRect(TRect(left, y, right, y + 1));
    return;
  }
  for (int32_t x = left; x < right; ++x)
    if (row & (1u << (x & 7))) c.FillRect(TRect(x, y, x + 1, y + 1));
}

// ---------------------------------------------------------------------------
// Queries used by painting

TColor TBaseNodeTree::SelectionColor() const {
  const bool focused = Focused() || options_->PaintOptions().Contains(poPopupMode);
  return Colors().Get(focused ? TNTColors::FocusedSelectionColor : TNTColors::UnfocusedSelectionColor);
}

TColor TBaseNodeTree::SelectionBorderColor() const {
  const bool focused = Focused() || options_->PaintOptions().Contains(poPopupMode);
  return Colors().Get(focused ? TNTColors::FocusedSelectionBorderColor : TNTColors::UnfocusedSelectionBorderColor);
}

TCustomImageList* TBaseNodeTree::CheckImageList() const {
  if (checkImages_) return checkImages_;
  if (TCustomImageList* shared = CheckImageListOfKind(CheckImageKind)) return shared;
  return CheckImageListOfKind(8);
}

TScrollBarOptions& TBaseNodeTree::ScrollBarOptions() {
  if (!scrollBarOptions_) scrollBarOptions_ = std::make_unique<TScrollBarOptions>(this);
  return *scrollBarOptions_;
}

TClipboardFormats& TBaseNodeTree::ClipboardFormats() {
  if (!clipboardFormats_) clipboardFormats_ = std::make_unique<TClipboardFormats>(this);
  return *clipboardFormats_;
}

int32_t TBaseNodeTree::NodeVAlign(PNTNode node) const {
  const int32_t h = node->NodeHeight;
  switch (nodeAlignment_) {
    case 0: return std::clamp<int32_t>(h - node->Alignment, 0, h);  // from the bottom
    case 1: return std::clamp<int32_t>(node->Alignment, 0, h);      // from the top
    default: break;
  }
  // Proportional: the tallest thing that must stay inside the row (the image,
  // else the button) travels from the top (0 %) to the bottom (100 %) of it.
  const int32_t percent = std::min<int32_t>(node->Alignment, 100);
  int32_t base = 0;
  if (images_)
    base = images_->Height();
  else if (stateImages_)
    base = stateImages_->Height();
  else if (options_->PaintOptions().Contains(poShowButtons))
    base = kButtonSize;
  else
    return MulDiv(h, percent, 100);
  return MulDiv(h - base, percent, 100) + base / 2;
}

int32_t TBaseNodeTree::GetLineImages(PNTNode node, TNTLineImage& images) {
  const TNTPaintOptions po = options_->PaintOptions();
  const bool showRoot = po.Contains(poShowRoot);
  int32_t selectedAncestors = 0;
  Cardinal ancestors = 0;
  for (PNTNode run = node->Parent; run && run != root_; run = run->Parent) {
    ++ancestors;
    if (run->Has(nsSelected)) ++selectedAncestors;
  }
  const size_t count = ancestors + (showRoot ? 1 : 0);
  images.assign(count, ltNone);
  if (!po.Contains(poShowTreeLines) || (po.Contains(poHideTreeLinesIfThemed) && states_.Contains(stThemed)) ||
      count == 0)
    return selectedAncestors;
  const bool topLevel = node->Parent == root_;
  auto hasNext = [this](PNTNode n) { return GetNextVisibleSiblingNoInit(n) != nullptr; };
  auto hasPrev = [this](PNTNode n) { return GetPreviousVisibleSiblingNoInit(n) != nullptr; };
  if (po.Contains(poChildrenAbove)) {
    if (hasPrev(node))
      images[count - 1] = topLevel && !hasNext(node) ? ltTopRight : ltTopDownRight;
    else
      images[count - 1] = !topLevel || hasNext(node) ? ltBottomRight : ltRight;
    ptrdiff_t i = static_cast<ptrdiff_t>(count) - 2;
    for (PNTNode run = node->Parent; run != root_ && i >= 0; run = run->Parent, --i)
      images[static_cast<size_t>(i)] = hasPrev(run) ? ltTopDown : ltNone;
  } else {
    ptrdiff_t i = static_cast<ptrdiff_t>(count) - 1;
    PNTNode run = node;
    if (!topLevel) {
      images[static_cast<size_t>(i--)] = hasNext(node) ? ltTopDownRight : ltTopRight;
      for (run = node->Parent; run->Parent != root_ && i >= 0; run = run->Parent, --i)
        images[static_cast<size_t>(i)] = hasNext(run) ? ltTopDown : ltNone;
    }
    if (showRoot) {
      if (topLevel) {
        const bool first = !hasPrev(node), last = !hasNext(node);
        images[0] = first && last ? ltRight : first ? ltBottomRight : last ? ltTopRight : ltTopDownRight;
      } else {
        images[0] = hasNext(run) ? ltTopDown : ltNone;
      }
    }
  }
  if (states_.Contains(stExplorerThemed) && node->Has(nsHasChildren)) images[count - 1] = ltNone;
  return selectedAncestors;
}

int32_t TBaseNodeTree::GetCheckImageIndex(PNTNode node, TCheckType checkType, bool enabled, TCheckState checkState,
                                          bool hot) {
  if (node) {
    checkType = static_cast<TCheckType>(node->CheckType);
    checkState = static_cast<TCheckState>(node->CheckState);
    enabled = !node->Has(nsDisabled) && Enabled();
    hot = node == hotNode_;
  }
  if (checkType == ctNone) return -1;
  if (checkType == ctTriStateCheckBox) checkType = ctCheckBox;
  static constexpr int32_t table[3][6][4] = {
      {{12, 12, 9, 10}, {12, 12, 11, 11}, {16, 16, 13, 14}, {16, 16, 15, 15}, {20, 20, 17, 18}, {20, 20, 19, 19}},
      {{4, 4, 1, 2}, {4, 4, 3, 3}, {8, 8, 5, 6}, {8, 8, 7, 7}, {20, 20, 17, 18}, {20, 20, 19, 19}},
      {{24, 24, 21, 22}, {24, 24, 23, 23}, {24, 24, 21, 22}, {24, 24, 23, 23}, {20, 20, 17, 18}, {20, 20, 19, 19}},
  };
  const int kind = checkType == ctCheckBox ? 0 : checkType == ctRadioButton ? 1 : 2;
  const int state = std::clamp<int>(checkState, 0, 5);
  return table[kind][state][(enabled ? 2 : 0) + (hot ? 1 : 0)];
}

void TBaseNodeTree::GetImageInfo(TNTPaintInfo& info, TNTImageKind kind, TCustomImageList* defaultImages,
                                 TNTImageInfoIndex index) {
  TNTImageInfo& ii = info.ImageInfo[index];
  ii.Index = -1;
  ii.Ghosted = false;
  TCustomImageList* list = CellImageIndex(info.Node, kind, info.Column, ii.Ghosted, ii.Index);
  ii.Images = list ? list : defaultImages;
  if (!ii.Images) ii.Index = -1;
}

TSize TBaseNodeTree::ImageListSize(PNTNode) const {
  return images_ ? TSize{images_->Width(), images_->Height()} : TSize{0, 0};
}

void TBaseNodeTree::PlaceImageInRect(TCustomImageList* images, bool rightToLeft, int32_t vAlign, TRect& r,
                                     TNTImageInfo& info) {
  const int32_t w = images->Width(), h = images->Height();
  if (rightToLeft) {
    info.XPos = r.Right - w;
    r.Right -= w + 2;
  } else {
    info.XPos = r.Left;
    r.Left += w + 2;
  }
  info.YPos = vAlign + r.Top - h / 2;
}

// ---------------------------------------------------------------------------
// Drawing steps

namespace {

// Draws with a list's blending settings changed for the one call: lists are
// shared between trees, which blend in their own colours.
struct ListDrawSettings {
  TCustomImageList& list;
  TColor blendColor;
  TDrawingStyle style;
  explicit ListDrawSettings(TCustomImageList& l) : list(l), blendColor(l.BlendColor), style(l.DrawingStyle) {}
  ~ListDrawSettings() {
    list.BlendColor = blendColor;
    list.DrawingStyle = style;
  }
};

}  // namespace

void TBaseNodeTree::DrawCheckImage(TCanvas& canvas, const TNTImageInfo& info, bool selected) {
  if (!info.Images || info.Index < 0 || info.Index >= info.Images->Count()) return;
  // The list's own drawing style decides whether the box is blended; on a
  // selected row it blends with the selection colour.
  ListDrawSettings keep(*info.Images);
  if (selected && !info.Ghosted) info.Images->BlendColor = SelectionColor();
  info.Images->Draw(canvas, info.XPos, info.YPos, info.Index, true);
}

void TBaseNodeTree::DrawExpandButton(TCanvas& canvas, PNTNode node, bool rightToLeft, int32_t vAlign, int32_t buttonX,
                                     const TRect& r) {
  const int32_t x = rightToLeft ? r.Right - buttonX - kButtonSize : buttonX + r.Left;
  const int32_t y = vAlign + r.Top;
  const bool hot = options_->PaintOptions().Contains(poHotTrack) && node == hotNode_ && hotButton_;
  canvas.Draw(x, y, ButtonBitmap((hot ? 2 : 0) + (node->Has(nsExpanded) ? 1 : 0)));
}

void TBaseNodeTree::SetButtonStyle(Byte value) {
  if (buttonStyle_ == value) return;
  buttonStyle_ = value;
  buildButtonImages();
  InvalidateRect(nullptr, false);
}

void TBaseNodeTree::SetButtonFillMode(Byte value) {
  if (buttonFillMode_ == value) return;
  buttonFillMode_ = value;
  buildButtonImages();
  InvalidateRect(nullptr, false);
}

// The buttons are made once and again after colour, font, theme and style
// changes (which mark them stale), not per paint.
void TBaseNodeTree::buildButtonImages() {
  buttonsBuilt_ = false;
  linePatternBuilt_ = false;
}

void TBaseNodeTree::RebuildLineImages() { buildButtonImages(); }

const TBitmap& TBaseNodeTree::ButtonBitmap(int kind) {
  kind = std::clamp(kind, 0, 3);
  if (buttonsBuilt_) return *buttonBitmaps_[kind];
  const bool themed = states_.Contains(stThemed);
  const bool explorer = themed && states_.Contains(stExplorerThemed);
  // The key colour that the drawing leaves out. The style's glyphs are
  // smoothed against what lies under them, so they are drawn on the tree
  // colour (the explorer look: the main column's colour).
  TColor key = themed ? ColorToRGB(Color()) : clFuchsia;
  if (explorer) {
    key = ColorToRGB(Color());
    TNodeTreeColumns& columns = header_->Columns();
    const TColumnIndex main = header_->MainColumn();
    if (header_->UseColumns() && columns.IsValidColumn(main) &&
        !columns.Items(main)->Options().Contains(coParentColor))
      key = ColorToRGB(columns.Items(main)->Color());
  }
  for (int i = 0; i < 4; ++i) {
    auto b = std::make_unique<TBitmap>(kButtonSize, kButtonSize, pf32bit);
    const bool minus = i % 2 == 1;
    TCanvas& c = b->Canvas();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(key);
    c.FillRect(TRect(0, 0, kButtonSize, kButtonSize));
    if (themed) {
      // The style's branch glyph: closed or open, hot with the explorer look.
      QImage image(kButtonSize, kButtonSize, QImage::Format_RGB32);
      image.fill(QColor(GetRValue(key), GetGValue(key), GetBValue(key)));
      if (QStyle* style = QApplication::style()) {
        QPainter painter(&image);
        QStyleOption option;
        option.rect = QRect(0, 0, kButtonSize, kButtonSize);
        option.state = QStyle::State_Enabled | QStyle::State_Children;
        if (minus) option.state |= QStyle::State_Open;
        if (i >= 2 && explorer) option.state |= QStyle::State_MouseOver;
        option.palette.setColor(QPalette::Text, Qt::black);
        style->drawPrimitive(QStyle::PE_IndicatorBranch, &option, &painter);
      }
      b->FromQImage(image, pf32bit);
    } else if (buttonStyle_ == 1) {
      c.Brush().SetColor(clBlack);
      c.Pen().SetStyle(psSolid);
      c.Pen().SetColor(clBlack);
      if (minus)
        c.Polygon({{0, 2}, {8, 2}, {4, 6}});
      else
        c.Polygon({{2, 0}, {6, 4}, {2, 8}});
    } else if (buttonFillMode_ == 2) {
      SharedTreeImages(minus ? "NT_XPBUTTONMINUS" : "NT_XPBUTTONPLUS")->Draw(c, 0, 0, 0, true);
    } else {
      c.Pen().SetStyle(psSolid);
      c.Pen().SetColor(clGray);
      if (buttonFillMode_ == 3)
        c.Brush().SetStyle(bsClear);
      else
        c.Brush().SetColor(buttonFillMode_ == 1 ? clWindow : Color());
      c.Rectangle(TRect(0, 0, kButtonSize, kButtonSize));
      c.Brush().SetStyle(bsSolid);
      c.Brush().SetColor(clWindowText);
      c.FillRect(TRect(2, 4, kButtonSize - 2, 5));
      if (!minus) c.FillRect(TRect(4, 2, 5, kButtonSize - 2));
    }
    b->Transparent = true;
    b->TransparentColor = key;
    buttonBitmaps_[i] = std::move(b);
  }
  buttonsBuilt_ = true;
  return *buttonBitmaps_[kind];
}

void TBaseNodeTree::DrawNodeImage(TNTPaintInfo& info, TNTImageInfoIndex kind, bool doOverlay) {
  const TNTImageInfo& ii = info.ImageInfo[kind];
  if (!ii.Images || ii.Index < 0 || ii.Index >= ii.Images->Count()) return;
  const bool enabled = !info.Node->Has(nsDisabled) && Enabled();
  const bool cutPending = info.Node->Has(nsCutCopyMarked) && states_.Contains(stCutPending);
  int32_t overlay = -1;
  if (doOverlay) {
    GetImageInfo(info, ikOverlay, ii.Images, iiOverlay);
    overlay = info.ImageInfo[iiOverlay].Index;
  } else {
    info.ImageInfo[iiOverlay].Index = -1;
  }
  // Ghosted and cut images, and the image of a node selected without a
  // selection bar over the whole cell, are blended 25 % with the list's
  // blend colour.
  const TNTPaintOptions po = options_->PaintOptions();
  const TNTSelectionOptions so = options_->SelectionOptions();
  const bool selectedOnly = info.Node->Has(nsSelected) && !so.Contains(slFullRowSelect) &&
                            !options_->MiscOptions().Contains(moGridExtensions);
  const bool blend = (Focused() || po.Contains(poFocusRepaintsFocusedOnly)) && po.Contains(poUseBlendedImages) &&
                     (ii.Ghosted || selectedOnly || cutPending);
  TCustomImageList& list = *ii.Images;
  ListDrawSettings keep(list);
  list.DrawingStyle = blend ? dsFocus : dsTransparent;
  // Overlays 0 to 14 are the list's overlay slots, drawn over the image in
  // the same style; a higher index is an image of its own, drawn after.
  if (overlay >= 0 && overlay <= 14) {
    list.DrawOverlay(*info.Canvas, ii.XPos, ii.YPos, ii.Index, overlay, enabled);
  } else {
    list.Draw(*info.Canvas, ii.XPos, ii.YPos, ii.Index, enabled);
    if (overlay >= 15 && overlay < list.Count()) list.Draw(*info.Canvas, ii.XPos, ii.YPos, overlay, enabled);
  }
}

void TBaseNodeTree::DrawLineSegment(TCanvas& c, TNTLineType type, int32_t x, int32_t top, int32_t vAlign,
                                    int32_t height, bool rightToLeft) {
  const int32_t indent = static_cast<int32_t>(indent_);
  const int32_t m = rightToLeft ? x + indent - 1 - (levelMiddle(0, indent)) : levelMiddle(x, indent);
  const int32_t b = top + vAlign;
  const int32_t e = top + height;
  const int32_t edgeLeft = rightToLeft ? x : m;
  const int32_t edgeRight = rightToLeft ? m + 1 : x + indent;
  switch (type) {
    case ltBottomRight:
      patternV(c, m, b, e);
      patternH(c, b, edgeLeft, edgeRight);
      break;
    case ltTopDown:
      patternV(c, m, top, e);
      break;
    case ltTopDownRight:
      patternV(c, m, top, e);
      patternH(c, b, edgeLeft, edgeRight);
      break;
    case ltRight:
      patternH(c, b, edgeLeft, edgeRight);
      break;
    case ltTopRight:
      patternV(c, m, top, b);
      patternH(c, b, edgeLeft, edgeRight);
      break;
    case ltLeft:
      patternV(c, rightToLeft ? x + indent - 1 : x, top, e);
      break;
    case ltLeftBottom:
      patternV(c, rightToLeft ? x + indent - 1 : x, top, e);
      patternH(c, e - 1, x, x + indent);
      break;
    default:
      break;
  }
}

void TBaseNodeTree::DrawNodeLines(const TNTPaintInfo& info, int32_t vAlignment, int32_t indentSize,
                                  const TNTLineImage& lineImages) {
  TCanvas& c = *info.Canvas;
  const int32_t indent = static_cast<int32_t>(indent_);
  const bool rtl = info.RightToLeft;
  const bool showRoot = options_->PaintOptions().Contains(poShowRoot);
  const int32_t top = info.CellRect.Top;
  const int32_t height = info.Node->NodeHeight;
  const int32_t count = std::min<int32_t>(indentSize, static_cast<int32_t>(lineImages.size()));
  auto drawLevels = [&](const TNTLineImage& images, TColor color, bool hook) {
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color);
    int32_t x = rtl ? info.CellRect.Right - indent : info.CellRect.Left;
    for (int32_t i = 0; i < count; ++i) {
      int32_t pos = x;
      if (hook) LineImageDrawing(info.Node, i + (showRoot ? 0 : 1), pos);
      DrawLineSegment(c, images[static_cast<size_t>(i)], pos, top, vAlignment, height, rtl);
      x += rtl ? -indent : indent;
    }
  };
  if (LineMode != 1) {
    drawLevels(lineImages, Colors().Get(TNTColors::TreeLineColor), true);
    return;
  }
  // Bands: each level shows a stripe on its left edge, closed at the bottom
  // where a branch ends; an open node's band runs on into its children.
  if (!info.PaintOptions.Contains(peGridLines) || count == 0) return;
  TNTLineImage bands(static_cast<size_t>(count), ltNone);
  const bool open = info.Node->Has(nsExpanded) && !info.Node->Has(nsAllChildrenHidden);
  for (int32_t i = count - 1; i >= 0; --i) {
    const size_t at = static_cast<size_t>(i);
    if (open) {
      bands[at] = ltLeft;
      continue;
    }
    switch (lineImages[at]) {
      case ltNone:
      case ltTopDown:
        if (i == count - 1)
          bands[at] = ltLeft;
        else if (lineImages[at + 1] == ltNone || lineImages[at + 1] == ltTopRight)
          bands[at] = bands[at + 1];
        else
          bands[at] = ltLeft;
        break;
      case ltBottomRight:
      case ltTopDownRight:
      case ltRight:
      case ltTopRight:
        bands[at] = ltLeftBottom;
        break;
      default:
        break;
    }
  }
  drawLevels(bands, Colors().Get(TNTColors::GridLineColor), false);
}

void TBaseNodeTree::DrawCellBackground(TNTPaintInfo& info) {
  TCanvas& c = *info.Canvas;
  TNodeTreeColumns& columns = header_->Columns();
  const TNTSelectionOptions so = options_->SelectionOptions();
  const TNTMiscOptions mo = options_->MiscOptions();
  if (info.PaintOptions.Contains(peCellBackground) && columns.IsValidColumn(info.Column)) {
    const TNodeTreeColumn* col = columns.Items(info.Column);
    if (!col->Options().Contains(coParentColor)) {
      c.Brush().SetStyle(bsSolid);
      c.Brush().SetColor(col->Color());
      c.FillRect(info.CellRect);
    }
  }
  TRect content = info.ContentRect;
  BeforeCellPaint(c, info.Node, info.Column, cpmPaint, info.CellRect, content);
  TRect r = info.ContentRect;
  if (!mo.Contains(moGridExtensions) && info.NodeWidth < r.Width()) {
    switch (info.Alignment) {
      case taRightJustify: r.Left = r.Right - info.NodeWidth; break;
      case taCenter:
        r.Left += (r.Width() - info.NodeWidth) / 2;
        r.Right = r.Left + info.NodeWidth;
        break;
      default: r.Right = r.Left + info.NodeWidth; break;
    }
  }
  const bool focusedColumn = info.Column == focusedColumn_ || so.Contains(slFullRowSelect);
  if (focusedColumn && info.PaintOptions.Contains(peSelection)) {
    bool draw = false;
    if (info.Node == dropTargetNode_) {
      if (DropMode == dmOnNode || info.Node->Has(nsSelected)) {
        c.Brush().SetColor(Colors().Get(TNTColors::DropTargetColor));
        c.Pen().SetColor(Colors().Get(TNTColors::DropTargetBorderColor));
        draw = true;
      }
    } else if (info.Node->Has(nsSelected)) {
      c.Brush().SetColor(SelectionColor());
      c.Pen().SetColor(SelectionBorderColor());
      draw = true;
    }
    if (mo.Contains(moGridExtensions) || so.Contains(slFullRowSelect)) r = info.CellRect;
    if (draw && !r.IsEmpty() && options_->PaintOptions().Contains(poUseBlendedSelection)) {
      BlendRect(c, r, info.CellRect, c.Brush().Color(), SelectionBlendFactor);
    } else if (draw && !r.IsEmpty()) {
      c.Brush().SetStyle(bsSolid);
      c.Pen().SetStyle(psSolid);
      if (SelectionCurveRadius > 0)
        c.RoundRect(r, SelectionCurveRadius, SelectionCurveRadius);
      else
        c.Rectangle(r);
    }
  }
  const bool focusedNodeHere =
      info.Node == focusedNode_ && (info.Column == focusedColumn_ || !header_->UseColumns() ||
                                    (so.Contains(slFullRowSelect) && !so.Contains(slExtendedFocus)));
  if (focusedNodeHere && info.PaintOptions.Contains(peFocusRect) &&
      (Focused() || options_->PaintOptions().Contains(poPopupMode))) {
    TRect f = mo.Contains(moGridExtensions) ? info.CellRect : r;
    if (!f.IsEmpty()) {
      c.Font().SetColor(clWhite);
      c.Brush().SetColor(clBlack);
      c.DrawFocusRect(f);
    }
  }
}

void TBaseNodeTree::DrawGridLineH(const TNTPaintInfo& info, int32_t left, int32_t right, int32_t top) {
  TCanvas& c = *info.Canvas;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(Colors().Get(TNTColors::GridLineColor));
  patternH(c, top, std::min(left, right), std::max(left, right) + 1);
}

void TBaseNodeTree::DrawGridLineV(const TNTPaintInfo& info, int32_t top, int32_t bottom, int32_t left,
                                  bool useSelectedBackground) {
  TCanvas& c = *info.Canvas;
  if (useSelectedBackground) {
    c.Brush().SetColor(SelectionColor());
    c.FillRect(TRect(left, std::min(top, bottom), left + 1, std::max(top, bottom) + 1));
  }
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(Colors().Get(TNTColors::GridLineColor));
  patternV(c, left, std::min(top, bottom), std::max(top, bottom) + 1);
}

void TBaseNodeTree::DrawDropMark(TCanvas& canvas, PNTNode, const TRect& r) {
  if (DropMode != dmAbove && DropMode != dmBelow) return;
  const TBrushData brush = canvas.Brush().Data();
  const TPenStyle penStyle = canvas.Pen().Style();
  canvas.Pen().SetStyle(psClear);
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(Colors().Get(TNTColors::DropMarkColor));
  const int32_t L = r.Left, R = r.Right, T = r.Top, B = r.Bottom;
  if (DropMode == dmAbove)
    canvas.Polygon({{L + 2, T}, {R - 2, T}, {R - 2, T + 6}, {R - 6, T + 2}, {L + 6, T + 2}, {L + 2, T + 6}});
  else
    canvas.Polygon({{L + 2, B - 1}, {R - 2, B - 1}, {R - 2, B - 8}, {R - 7, B - 3}, {L + 7, B - 3}, {L + 2, B - 8}});
  canvas.Brush().SetColor(brush.Color);
  canvas.Brush().SetStyle(brush.Style);
  canvas.Pen().SetStyle(penStyle);
}

void TBaseNodeTree::DrawRubberBand(TCanvas& canvas, int32_t windowOrgX, const TRect& selectionRect,
                                   const TRect& targetRect) {
  TRect r = OrderRect(selectionRect);
  r.Offset(windowOrgX, 0);
  TRect clipped;
  if (!IntersectRect(clipped, r, targetRect)) return;
  const bool blended = DrawSelectionMode == smBlendedRectangle || states_.Contains(stThemed);
  // Blending works on the pixels under the canvas: before any saved state.
  if (blended)
    BlendRect(canvas, clipped, targetRect, Colors().Get(TNTColors::SelectionRectangleBlendColor),
              SelectionBlendFactor);
  canvas.Save();
  canvas.IntersectClipRect(targetRect);
  if (blended) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(Colors().Get(TNTColors::SelectionRectangleBorderColor));
    canvas.FrameRect(r);
  } else {
    canvas.Font().SetColor(clWhite);
    canvas.Brush().SetColor(clBlack);
    canvas.DrawFocusRect(r);
  }
  canvas.Restore();
}

void TBaseNodeTree::BlendRect(TCanvas& canvas, const TRect& r, const TRect& clip, TColor color, Byte alpha) {
  TRect area;
  if (!IntersectRect(area, r, clip)) return;
  if (paintSurface_ && &canvas == &paintSurface_->Canvas()) {
    // Straight on the row buffer's pixels.
    TRect device = area;
    device.Offset(canvas.Origin().X, canvas.Origin().Y);
    BlendDIBPixels(nullptr, *paintSurface_, device, {}, 3, alpha, static_cast<int>(ColorToRGB(color)));
    return;
  }
  // Any other surface: the canvas blends a one-pixel picture of the colour.
  TBitmap tint(1, 1, pf32bit);
  tint.SetPixelColor(0, 0, ColorToRGB(color));
  canvas.AlphaBlend(area, tint, TRect(0, 0, 1, 1), alpha, false);
}

void TBaseNodeTree::BackgroundChanged() { InvalidateRect(nullptr, false); }

void TBaseNodeTree::paintBackgroundPicture(TCanvas& canvas, const TRect& r) {
  const TBitmap& picture = background_.Graphic()->AsBitmap();
  const int32_t w = picture.Width(), h = picture.Height();
  canvas.Save();
  canvas.IntersectClipRect(r);
  if (options_->PaintOptions().Contains(poStaticBackground) || picture.Transparent) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(Color());
    canvas.FillRect(r);
  }
  if (options_->PaintOptions().Contains(poStaticBackground)) {
    // Once, at the offsets from the window's corner, over the tree colour.
    canvas.Draw(ClientToTreeX(0) + BackgroundOffsetX, -offsetY_ + BackgroundOffsetY, picture);
  } else {
    // Tiles in tree coordinates, so that they scroll with the rows.
    auto firstTile = [](int32_t from, int32_t offset, int32_t size) {
      int32_t m = (from - offset) % size;
      if (m < 0) m += size;
      return from - m;
    };
    for (int32_t y = firstTile(r.Top, BackgroundOffsetY, h); y < r.Bottom; y += h)
      for (int32_t x = firstTile(r.Left, BackgroundOffsetX, w); x < r.Right; x += w) canvas.Draw(x, y, picture);
  }
  canvas.Restore();
}

void TBaseNodeTree::PaintRowBackground(TCanvas& canvas, PNTNode node, const TRect& r, TNTPaintElements options) {
  TColor color = Color();
  TItemEraseAction action = eaDefault;
  RowBackgroundColor(canvas, node, r, action, color);
  if (action == eaNone) {
    NodeErased(canvas, node, r);
    return;
  }
  if (action == eaDefault && options.Contains(peBackground) && showsBackgroundPicture()) {
    paintBackgroundPicture(canvas, r);
    NodeErased(canvas, node, r);
    return;
  }
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(color);
  canvas.FillRect(r);
  if (action == eaDefault && options.Contains(peSelection) &&
      options_->SelectionOptions().Contains(slFullRowSelect) && node->Has(nsSelected) &&
      !options_->PaintOptions().Contains(poUseBlendedSelection) && !states_.Contains(stExplorerThemed)) {
    TRect row = r;
    if (options_->PaintOptions().Contains(poShowHorzGridLines)) row.Bottom -= 1;
    canvas.Brush().SetColor(SelectionColor());
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetColor(SelectionBorderColor());
    if (SelectionCurveRadius > 0)
      canvas.RoundRect(row, SelectionCurveRadius, SelectionCurveRadius);
    else
      canvas.Rectangle(row);
  }
  NodeErased(canvas, node, r);
}

TPoint TBaseNodeTree::CellContentInset(PNTNode node, TColumnIndex column, TPoint& margin, TCanvas& canvas,
                                       int side) {
  margin = {0, 0};
  if (!OnCellPrePaint || !node || node == root_) return margin;
  // The handler is asked in measuring mode for the content rectangle of the
  // cell; what it takes off each side is the inset.
  const TRect cell = GetDisplayRect(node, column, false);
  TRect content = cell;
  BeforeCellPaint(canvas, node, column, cpmGetContentMargin, cell, content);
  const TPoint leading{content.Left - cell.Left, content.Top - cell.Top};
  const TPoint trailing{cell.Right - content.Right, cell.Bottom - content.Bottom};
  switch (side) {
    case 1: margin = leading; break;
    case 2: margin = trailing; break;
    default: margin = {leading.X + trailing.X, leading.Y + trailing.Y}; break;
  }
  return margin;
}

bool TBaseNodeTree::ToggleAnimationStep(TToggleAnimationData& data, Cardinal step, Cardinal stepSize) {
  (void)step;
  if (stepSize == 0 || !data.Surface) return true;
  TBitmap& surface = *data.Surface;
  // The strip a scroll uncovers: the background, or each column's colour
  // from the first visible column on while columns start inside the window.
  auto fillUncovered = [&](const TRect& strip) {
    TCanvas& c = surface.Canvas();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(Color());
    c.FillRect(strip);
    if (!header_->UseColumns()) return;
    TNodeTreeColumns& columns = header_->Columns();
    for (TColumnIndex i = columns.FirstShownColumn(); i >= 0; i = columns.NextShownColumn(i)) {
      const TNodeTreeColumn* col = columns.Items(i);
      const int32_t left = col->Options().Contains(coFixed) ? col->Left() + ColumnsShift() : TreeToClientX(col->Left());
      if (left >= ClientWidth()) break;
      if (col->Options().Contains(coParentColor)) continue;
      c.Brush().SetColor(col->Color());
      TRect r(left, strip.Top, left + col->Width(), strip.Bottom);
      TRect part;
      if (IntersectRect(part, r, strip)) c.FillRect(part);
    }
  };
  auto scrollRegion = [&](const TRect& region, TToggleAnimationMode mode, int32_t amount) {
    if (mode == tamNoScroll || amount <= 0 || region.IsEmpty()) return;
    amount = std::min(amount, region.Height());
    const int32_t kept = region.Height() - amount;
    if (kept > 0) {
      TBitmap moved(region.Width(), kept, pf32bit);
      const int32_t from = mode == tamScrollUp ? region.Top + amount : region.Top;
      const int32_t to = mode == tamScrollUp ? region.Top : region.Top + amount;
      moved.Canvas().CopyRect(TRect(0, 0, region.Width(), kept), surface,
                              TRect(region.Left, from, region.Right, from + kept));
      surface.Canvas().CopyRect(TRect(region.Left, to, region.Right, to + kept), moved,
                                TRect(0, 0, region.Width(), kept));
    }
    fillUncovered(mode == tamScrollUp ? TRect(region.Left, region.Bottom - amount, region.Right, region.Bottom)
                                      : TRect(region.Left, region.Top, region.Right, region.Top + amount));
  };
  const int32_t first = static_cast<int32_t>(stepSize);
  scrollRegion(data.R1, data.Mode1, first);
  int32_t second = first;
  if (data.Mode1 != tamNoScroll) {
    // The second region follows at its own speed; the rounding rest is
    // carried so that it lands where it should.
    if (data.ScaleFactor > 0) {
      const double exact = first * data.ScaleFactor + data.MissedSteps;
      second = static_cast<int32_t>(std::lround(exact));
      data.MissedSteps = exact - second;
    } else {
      second = 0;
      data.MissedSteps = 0;
    }
  }
  scrollRegion(data.R2, data.Mode2, second);
  return true;
}

void TBaseNodeTree::PaintNode(TNTPaintInfo&) {}

// ---------------------------------------------------------------------------
// PaintTree

void TBaseNodeTree::PaintTree(TCanvas& target, const TRect& window, TPoint targetPos, TNTPaintElements options,
                              TPixelFormat pixelFormat) {
  if (window.IsEmpty() || !root_) return;
  ChangeTreeState({stPainting}, {});
  ++paintDepth_;
  struct Leave {
    TBaseNodeTree* tree;
    ~Leave() {
      if (--tree->paintDepth_ == 0) tree->ChangeTreeState({}, {stPainting});
    }
  } leave{this};
  TreePainting(target);

  const TNTPaintOptions po = options_->PaintOptions();
  if (po.Contains(poAlwaysHideSelection) || (!Focused() && po.Contains(poHideSelection)))
    options.Exclude(peSelection);
  if (po.Contains(poHideFocusRect)) options.Exclude(peFocusRect);
  const bool buffered = !options.Contains(peUnbuffered);
  const bool rtl = UseRightToLeftAlignment();
  TNodeTreeColumns& columns = header_->Columns();
  const bool useColumns = header_->UseColumns();
  const TColumnIndex mainColumn = useColumns ? header_->MainColumn() : NoColumn;
  const int32_t paintWidth = std::max(ClientWidth(), rangeX_);
  const int32_t indent = static_cast<int32_t>(indent_);
  const bool showRoot = po.Contains(poShowRoot);
  const TCustomImageList* checkList = CheckImageList();
  // The band runs from where the drag started to the mouse, in any
  // direction: only its ordered form says whether it is empty.
  const bool drawSelectionRect = IsMouseSelecting() && !OrderRect(SelectionRect).IsEmpty() &&
                                 states_.Contains(stLeftButtonDown);

  // Rows go into a bitmap one row high and as wide as the window, then onto
  // the target; unbuffered they go straight onto the target.
  TCanvas* canvas = &target;
  struct Surface {
    TBitmap*& slot;
    TBitmap* saved;
    ~Surface() { slot = saved; }
  } surface{paintSurface_, paintSurface_};
  if (buffered) {
    if (!rowBuffer_) rowBuffer_ = std::make_unique<TBitmap>();
    // Blending needs the alpha channel; otherwise the rows take the format
    // asked for (the device's is 32 bits).
    const bool blends = po.Contains(poUseBlendedSelection) || po.Contains(poUseBlendedImages);
    const TPixelFormat rowFormat = blends || pixelFormat == pfDevice ? pf32bit : pixelFormat;
    if (rowBuffer_->PixelFormat() != rowFormat) rowBuffer_->SetPixelFormat(rowFormat);
    canvas = &rowBuffer_->Canvas();
    canvas->Font().Assign(Font());
    paintSurface_ = rowBuffer_.get();
  } else {
    target.Save();
    paintSurface_ = nullptr;
  }
  const TPoint targetOrigin = target.Origin();
  auto beginRow = [&](int32_t top, int32_t height) -> TCanvas& {
    if (buffered) {
      // The buffer only grows: a tall strip (the area below the last node, a
      // tall row) between short rows, or a window that gains and loses its
      // scroll bar, reallocated and cleared megabytes twice a frame. A row
      // painted in a larger buffer is clipped to itself.
      if (rowBuffer_->Width() < window.Width() || rowBuffer_->Height() < height)
        rowBuffer_->SetSize(std::max(rowBuffer_->Width(), window.Width()), std::max(rowBuffer_->Height(), height));
      canvas->SetOrigin({-window.Left, -top});
      canvas->ClearClipRect();
      if (rowBuffer_->Width() > window.Width() || rowBuffer_->Height() > height)
        canvas->IntersectClipRect(TRect(window.Left, top, window.Right, top + height));
    } else {
      target.Restore();
      target.Save();
      target.SetOrigin(targetOrigin + TPoint{targetPos.X - window.Left, targetPos.Y - window.Top});
      target.IntersectClipRect(TRect(window.Left, std::max(top, window.Top), window.Right,
                                     std::min(top + height, window.Bottom)));
    }
    return *canvas;
  };
  auto endRow = [&](int32_t top, int32_t height) {
    if (!buffered) return;
    const int32_t from = std::max(top, window.Top);
    const int32_t to = std::min(top + height, window.Bottom);
    if (to <= from) return;
    target.CopyRect(TRect(targetPos.X, targetPos.Y + from - window.Top, targetPos.X + window.Width(),
                          targetPos.Y + to - window.Top),
                    *rowBuffer_, TRect(0, from - top, window.Width(), to - top));
  };

  int32_t nodeTop = 0;
  PNTNode node = GetNodeAt(0, std::max(0, window.Top), false, nodeTop);
  TNTLineImage lineImages;
  TNTPaintInfo info;
  while (node && nodeTop < window.Bottom) {
    InitIfNeeded(node);
    const int32_t height = node->NodeHeight;
    const int32_t selectedLevel = GetLineImages(node, lineImages);
    if (options.Contains(peSelectedOnly) && !node->Has(nsSelected) && selectedLevel == 0) {
      nodeTop += height;
      node = GetNextVisibleNoInit(node, true);
      continue;
    }
    TCanvas& c = beginRow(nodeTop, height);
    const TRect rowRect(window.Left, nodeTop, window.Right, nodeTop + height);
    if (!NodePainting(c, node, rowRect)) {
      PaintRowBackground(c, node, TRect(std::min(window.Left, 0), nodeTop, std::max(window.Right, paintWidth),
                                        nodeTop + height),
                         options);
      const int32_t vAlign = NodeVAlign(node);
      TColumnIndex column = useColumns ? columns.FirstShownColumn() : NoColumn;
      while (true) {
        TRect cell;
        TColumnIndex nextColumn = NoColumn;
        if (useColumns) {
          if (column < 0) break;
          const TNodeTreeColumn* col = columns.Items(column);
          cell = TRect(col->Left(), nodeTop, col->Left() + col->Width(), nodeTop + height);
          // Text runs on into empty neighbours: one cell over all of them.
          nextColumn = SpanCell(node, column, cell.Right, rtl);
        } else {
          cell = TRect(0, nodeTop, paintWidth, nodeTop + height);
        }
        const bool isMain = !useColumns || column == mainColumn;
        if (cell.Right > window.Left && cell.Left < window.Right &&
            (!options.Contains(peMainColumnOnly) || isMain)) {
          info = TNTPaintInfo{};
          info.Canvas = &c;
          info.Node = node;
          info.Column = column;
          info.CellRect = cell;
          info.RightToLeft = rtl;
          info.VAlign = vAlign;
          info.PaintOptions = options;
          if (useColumns && columns.Items(column)->Options().Contains(coParentColor))
            info.PaintOptions.Exclude(peCellBackground);
          if (!useColumns) info.PaintOptions.Exclude(peCellBackground);
          if (options_->SelectionOptions().Contains(slFullRowSelect) && node->Has(nsSelected) &&
              options.Contains(peSelection))
            info.PaintOptions.Exclude(peCellBackground);
          const bool editing = states_.Contains(stEditing) && node == focusedNode_ && column == editColumn_;
          if (editing) info.PaintOptions.Exclude(peSelection);
          info.Alignment = useColumns ? columns.Items(column)->Alignment() : alignment_;
          // A right-to-left cell mirrors its alignment: "left" is where its
          // reading starts.
          const bool cellRtl = useColumns ? columns.Items(column)->BiDiMode() != bdLeftToRight : rtl;
          if (cellRtl && info.Alignment != taCenter)
            info.Alignment = info.Alignment == taLeftJustify ? taRightJustify : taLeftJustify;
          TRect content = cell;
          const int32_t levels = isMain ? (po.Contains(poFixedIndent) ? (showRoot ? 1 : 0)
                                                                      : static_cast<int32_t>(lineImages.size()))
                                        : 0;
          if (rtl) {
            content.Right -= levels * indent + margin_;
          } else {
            content.Left += levels * indent + margin_;
          }
          if (isMain) {
            if (options_->MiscOptions().Contains(moCheckSupport) && node->CheckType != ctNone) {
              TNTImageInfo& ci = info.ImageInfo[iiCheck];
              ci.Images = const_cast<TCustomImageList*>(checkList);
              ci.Index = GetCheckImageIndex(node, ctNone, true, csUncheckedNormal, false);
              PlaceImageInRect(ci.Images, rtl, vAlign, content, ci);
            }
            if (stateImages_) {
              GetImageInfo(info, ikState, stateImages_, iiState);
              if (info.ImageInfo[iiState].Index >= 0)
                PlaceImageInRect(info.ImageInfo[iiState].Images, rtl, vAlign, content, info.ImageInfo[iiState]);
            }
          }
          if (images_) {
            GetImageInfo(info, node->Has(nsSelected) ? ikSelected : ikNormal, images_, iiNormal);
            if (info.ImageInfo[iiNormal].Index < 0 && node->Has(nsSelected))
              GetImageInfo(info, ikNormal, images_, iiNormal);
            if (info.ImageInfo[iiNormal].Index >= 0)
              PlaceImageInRect(info.ImageInfo[iiNormal].Images, rtl, vAlign, content, info.ImageInfo[iiNormal]);
          }
          info.ContentRect = content;
          info.NodeWidth = NodeWidth(node, column, &c);

          if (info.PaintOptions.Contains(peGridLines) && po.Contains(poShowHorzGridLines)) {
            int32_t left = cell.Left;
            if (isMain && !(options_->SelectionOptions().Contains(slFullRowSelect) &&
                            info.PaintOptions.Contains(peSelection)))
              left += levels * indent;
            DrawGridLineH(info, left, cell.Right - 1, cell.Bottom - 1);
          }
          DrawCellBackground(info);
          if (isMain && po.Contains(poShowTreeLines)) DrawNodeLines(info, vAlign, levels, lineImages);
          if (isMain && po.Contains(poShowButtons) && levels > 0 && node->Has(nsHasChildren) &&
              !(node->Has(nsAllChildrenHidden) && options_->AutoOptions().Contains(auSort) && false)) {
            const bool canShow = !(node->Has(nsAllChildrenHidden));
            if (canShow) {
              const int32_t levelLeft = (levels - 1) * indent;
              const int32_t buttonX = levelMiddle(levelLeft, indent) - kButtonSize / 2;
              DrawExpandButton(c, node, rtl, nodeTop + vAlign - kButtonSize / 2 - cell.Top, buttonX, cell);
            }
          }
          if (info.ImageInfo[iiCheck].Index >= 0) DrawCheckImage(c, info.ImageInfo[iiCheck], node->Has(nsSelected));
          if (info.ImageInfo[iiState].Index >= 0) DrawNodeImage(info, iiState, false);
          if (info.ImageInfo[iiNormal].Index >= 0) DrawNodeImage(info, iiNormal, true);
          if (!editing) {
            c.Save();
            c.IntersectClipRect(cell);
            c.Font().Assign(Font());
            PaintNode(info);
            c.Restore();
          }
          if (info.PaintOptions.Contains(peGridLines) && po.Contains(poShowVertGridLines) && useColumns &&
              (!header_->Options().Contains(hoAutoResize) || column != columns.LastShownColumn()))
            DrawGridLineV(info, cell.Top, cell.Bottom - 1, cell.Right - 1, false);
          PaintCellOverlay(c, node, column, cell);
        }
        if (!useColumns) break;
        if (cell.Left >= window.Right) break;
        column = nextColumn;
      }
      NodePainted(c, node, rowRect);
      if (node == dropTargetNode_ && po.Contains(poShowDropmark) && options.Contains(peDropMark))
        DrawDropMark(c, node, TRect(window.Left, nodeTop, window.Right, nodeTop + height));
      if (drawSelectionRect) DrawRubberBand(c, 0, SelectionRect, rowRect);
    }
    endRow(nodeTop, height);
    nodeTop += height;
    node = GetNextVisibleNoInit(node, true);
  }

  // Below the last node.
  if (nodeTop < window.Bottom) {
    const int32_t top = std::max(nodeTop, window.Top);
    const int32_t height = window.Bottom - top;
    TCanvas& c = beginRow(top, height);
    const TRect area(window.Left, top, window.Right, window.Bottom);
    if (BackgroundPaint(c, area)) {
    } else if (options.Contains(peBackground) && showsBackgroundPicture()) {
      paintBackgroundPicture(c, area);
    } else {
      c.Brush().SetStyle(bsSolid);
      c.Brush().SetColor(Color());
      c.FillRect(area);
      if (useColumns && options.Contains(peCellBackground)) {
        for (TColumnIndex column = columns.FirstShownColumn(); column >= 0; column = columns.NextShownColumn(column)) {
          const TNodeTreeColumn* col = columns.Items(column);
          if (col->Options().Contains(coParentColor)) continue;
          c.Brush().SetColor(col->Color());
          c.FillRect(TRect(col->Left(), top, col->Left() + col->Width(), window.Bottom));
        }
      }
      if (useColumns && options.Contains(peGridLines) && po.Contains(poShowVertGridLines) &&
          po.Contains(poFullVertGridLines)) {
        TNTPaintInfo lines;
        lines.Canvas = &c;
        lines.PaintOptions = options;
        const TColumnIndex last = columns.LastShownColumn();
        for (TColumnIndex column = columns.FirstShownColumn(); column >= 0; column = columns.NextShownColumn(column)) {
          if (header_->Options().Contains(hoAutoResize) && column == last) break;
          const TNodeTreeColumn* col = columns.Items(column);
          DrawGridLineV(lines, top, window.Bottom - 1, col->Left() + col->Width() - 1, false);
        }
      }
    }
    if (drawSelectionRect) DrawRubberBand(c, 0, SelectionRect, area);
    if (root_->ChildCount == 0 && !EmptyListMessage.empty() && window.Left <= 2 && window.Top <= 2) {
      c.Brush().SetStyle(bsClear);
      c.Font().Assign(Font());
      c.Font().SetColor(clGrayText);
      c.TextOut(2, 2, EmptyListMessage);
      c.Brush().SetStyle(bsSolid);
    }
    endRow(top, height);
  }
  if (!buffered) target.Restore();
  TreePainted(target);
}

// ---------------------------------------------------------------------------
// The control's own paint

void TBaseNodeTree::paintHeaderStrip(TCanvas& canvas) {
  const TRect r = ComputeHeaderRect();
  if (r.IsEmpty()) return;
  canvas.Save();
  canvas.SetOrigin(canvas.Origin() + TPoint{r.Left, r.Top});
  canvas.IntersectClipRect(TRect(0, 0, r.Width(), r.Height()));
  if (header_->UseColumns()) {
    header_->Columns().PaintInto(canvas, TRect(0, 0, r.Width(), r.Height()), effectiveOffsetX_);
  } else {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(header_->Background());
    canvas.FillRect(TRect(0, 0, r.Width(), r.Height()));
  }
  canvas.Restore();
}

void TBaseNodeTree::animateToggle(PNTNode node, int64_t change, bool expanding) {
  if (!options_->AnimationOptions().Contains(aoAnimatedToggle) || !windowHost_ || !HandleAllocated() || !Widget() ||
      IsUpdating() || states_.Contains(stToggling) || states_.Contains(stAnimating) || AnimationDuration == 0 ||
      change <= 0 || !Widget()->isVisible())
    return;
  const int32_t width = ClientWidth(), height = ClientHeight();
  const TRect row = GetDisplayRect(node, NoColumn, false);
  if (width <= 0 || height <= 0 || row.IsEmpty() || row.Bottom <= 0 || row.Top >= height) return;
  TToggleAnimationData data;
  Cardinal steps = 0;
  // A tree scrolled to its end comes down by what a collapse removes (as
  // far as it is scrolled): with the advanced animation the rows above the
  // node slide down that far, and those below the children up by the rest.
  const int32_t scrolled = -offsetY_;
  const bool atEnd = scrolled > 0 && offsetY_ <= height - rangeY_;
  if (!expanding && atEnd && options_->AnimationOptions().Contains(aoAdvancedAnimatedToggle) &&
      !options_->PaintOptions().Contains(poChildrenAbove)) {
    const int32_t down = static_cast<int32_t>(std::min<int64_t>(change, scrolled));
    const int32_t split = std::clamp(row.Bottom + down, 0, height);
    data.R1 = TRect(0, 0, width, split);
    data.Mode1 = tamScrollDown;
    data.R2 = TRect(0, split, width, height);
    data.Mode2 = tamScrollUp;
    data.ScaleFactor = static_cast<double>(change - down) / down;
    steps = static_cast<Cardinal>(down);
  } else {
    if (options_->PaintOptions().Contains(poChildrenAbove)) {
      data.R1 = TRect(0, 0, width, std::max(0, row.Top));
      data.Mode1 = expanding ? tamScrollUp : tamScrollDown;
    } else {
      data.R1 = TRect(0, row.Bottom, width, height);
      data.Mode1 = expanding ? tamScrollDown : tamScrollUp;
    }
    steps = static_cast<Cardinal>(std::min<int64_t>(change, data.R1.Height()));
  }
  if (data.R1.IsEmpty() || steps == 0) return;
  // The rows as they stand, in client coordinates.
  TBitmap surface(width, height, pf32bit);
  const int32_t fixed = header_->UseColumns() ? header_->Columns().FixedAreaWidth() : 0;
  const int32_t shift = ColumnsShift();
  auto pass = [&](int32_t left, int32_t right, int32_t hOffset) {
    if (right <= left) return;
    PaintTree(surface.Canvas(), TRect(left + hOffset - shift, -offsetY_, right + hOffset - shift, height - offsetY_),
              {left, 0}, AllPaintElements);
  };
  if (fixed > 0) {
    pass(0, std::min(width, fixed), 0);
    pass(fixed, width, effectiveOffsetX_);
  } else {
    pass(0, width, effectiveOffsetX_);
  }
  data.Surface = &surface;
  animationSurface_ = &surface;
  struct Done {
    TBitmap*& slot;
    ~Done() { slot = nullptr; }
  } done{animationSurface_};
  Animate(steps, AnimationDuration,
          [this, &data](void*, Cardinal step, Cardinal stepSize) {
            if (!ToggleAnimationStep(data, step, stepSize)) return false;
            if (stepSize > 0 && Widget()) Widget()->repaint();
            return true;
          },
          nullptr);
}

void TBaseNodeTree::Paint() {
  TCanvas& canvas = Canvas();
  DrawBorder(canvas);
  paintHeaderStrip(canvas);
  TRect update;
  if (!IntersectRect(update, PaintRect(), ClientRect())) return;
  if (animationSurface_) {
    // A toggle is being animated: its picture of the rows stands in.
    const TPoint o = clientOffsetForChildren();
    canvas.Save();
    canvas.IntersectClipRect(TRect(o.X, o.Y, o.X + ClientWidth(), o.Y + ClientHeight()));
    canvas.Draw(o.X, o.Y, *animationSurface_);
    canvas.Restore();
    return;
  }
  canvas.Save();
  canvas.SetOrigin(canvas.Origin() + clientOffsetForChildren());
  canvas.IntersectClipRect(ClientRect());
  const int32_t fixed = header_->UseColumns() ? header_->Columns().FixedAreaWidth() : 0;
  // Right to left, the columns stand at the right edge of the window, as
  // the header shows them and hit testing finds them.
  const int32_t shift = ColumnsShift();
  auto pass = [&](TRect r, int32_t hOffset) {
    if (r.IsEmpty()) return;
    TRect window = r;
    window.Offset(hOffset - shift, -offsetY_);
    PaintTree(canvas, window, {r.Left, r.Top}, AllPaintElements);
  };
  if (fixed > 0) {
    pass(TRect(update.Left, update.Top, std::min(update.Right, fixed), update.Bottom), 0);
    if (update.Right > fixed)
      pass(TRect(std::max(update.Left, fixed), update.Top, update.Right, update.Bottom), effectiveOffsetX_);
  } else {
    pass(update, effectiveOffsetX_);
  }
  canvas.Restore();
  // The corner between the two scroll bars.
  TScrollBar* v = scrollBars_[sbVertical];
  TScrollBar* h = scrollBars_[sbHorizontal];
  if (v && h && v->Visible() && h->Visible()) {
    const TPoint o = clientOffsetForChildren();
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clBtnFace);
    canvas.FillRect(TRect(o.X + ClientWidth(), o.Y + ClientHeight(), o.X + ClientWidth() + v->Width(),
                          o.Y + ClientHeight() + h->Height()));
  }
}

int32_t TBaseNodeTree::WidestNodeWidth() {
  const bool showRoot = options_->PaintOptions().Contains(poShowRoot);
  int32_t widest = 0;
  int32_t top = 0;
  PNTNode run = GetNodeAt(0, 0, true, top);
  while (run && top < ClientHeight()) {
    InitIfNeeded(run);
    int32_t w = static_cast<int32_t>((GetNodeLevel(run) + (showRoot ? 1 : 0)) * indent_);
    if (stateImages_ && HasImage(run, ikState, NoColumn)) w += stateImages_->Width() + 2;
    if (images_ && HasImage(run, ikNormal, NoColumn)) w += images_->Width() + 2;
    if (options_->MiscOptions().Contains(moCheckSupport) && run->CheckType != ctNone)
      w += CheckImageList()->Width() + 2;
    w += NodeWidth(run, NoColumn, nullptr) + NodeExtraWidth(run, NoColumn, nullptr);
    widest = std::max(widest, w);
    top += run->NodeHeight;
    run = GetNextVisibleNoInit(run, true);
  }
  return widest + margin_;
}

int32_t TBaseNodeTree::GetMaxColumnWidth(TColumnIndex column, bool useSmartColumnWidth) {
  if (OperationCanceled()) {
    TNodeTreeColumns& columns = header_->Columns();
    return columns.IsValidColumn(column) ? columns.Items(column)->Width() : 0;
  }
  BeginOperation(okGetMaxColumnWidth);
  struct End {
    TBaseNodeTree* tree;
    ~End() { tree->EndOperation(okGetMaxColumnWidth); }
  } end{this};
  ColumnWidthMeasuring(column, useSmartColumnWidth);
  const TNTPaintOptions po = options_->PaintOptions();
  const bool main = column == header_->MainColumn() || !header_->UseColumns();
  PNTNode run = nullptr;
  PNTNode stop = nullptr;
  if (useSmartColumnWidth) {
    run = TopNode();
    if (PNTNode bottom = BottomNode()) stop = GetNextVisibleNoInit(bottom, true);
  } else {
    run = GetFirstVisible(nullptr, true);
  }
  int32_t widest = 0;
  bool hadImage = false;
  int32_t cellMargin = 0;
  if (header_->Columns().IsValidColumn(column)) cellMargin = header_->Columns().Items(column)->Margin();
  while (run && run != stop && !OperationCanceled()) {
    InitIfNeeded(run);
    int32_t w = 0;
    if (main) {
      if (po.Contains(poFixedIndent))
        w = static_cast<int32_t>(indent_);
      else
        w = static_cast<int32_t>((GetNodeLevel(run) + (po.Contains(poShowRoot) ? 1 : 0)) * indent_);
      if (options_->MiscOptions().Contains(moCheckSupport) && run->CheckType != ctNone)
        w += CheckImageList()->Width() + 2;
    }
    w += margin_;
    if (images_ && HasImage(run, ikNormal, column)) hadImage = true;
    if (hadImage && images_) w += images_->Width() + 2;
    if (main && stateImages_ && HasImage(run, ikState, column)) w += stateImages_->Width() + 2;
    TPoint inset;
    w += NodeWidth(run, column, nullptr) + NodeExtraWidth(run, column, nullptr) + cellMargin +
         CellContentInset(run, column, inset, Canvas(), 0).X;
    widest = std::max(widest, w);
    run = GetNextVisibleNoInit(run, true);
  }
  if (po.Contains(poShowVertGridLines)) ++widest;
  ColumnWidthMeasured(column, widest);
  return widest;
}

}  // namespace px
