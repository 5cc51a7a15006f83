// The column set's stream record, the animated resize, the header cell
// layout and the painting of the header cells.
#include <algorithm>
#include <numeric>

#include "platform/gui/ExtCtrls.h"
#include "ui/tree/NodeTreesColumns.h"
#include "ui/tree/NodeTreesHeader.h"
#include "ui/tree/NodeTreesHeaderTheme.h"
#include "ui/tree/NodeTreesHeaderTree.h"

namespace px {

namespace ht = headertree;

namespace {
TBaseNodeTree* treeOf(const TNodeTreeColumns* columns) { return columns->Header()->Treeview(); }
[[noreturn]] void raiseReadError() { throw EReadError("Stream read error"); }

// Smallest column record: two empty strings and twelve integers.
constexpr Int64 MinColumnRecordSize = 14 * 4;
}  // namespace

// ---------------------------------------------------------------------------
// Column set record

void TNodeTreeColumns::ReadFromStream(TStream& s, int32_t version) {
  Clear();
  const int32_t count = s.ReadValue<int32_t>();
  if (count < 0) raiseReadError();
  if (count > 0) {
    // Each column needs its record and its map entry: a count the stream
    // cannot hold is refused before any column is made.
    const Int64 left = s.Size() - s.Position();
    if (static_cast<Int64>(count) * (MinColumnRecordSize + 4) > left) raiseReadError();
    BeginUpdate();
    try {
      for (int32_t i = 0; i < count; ++i) AddColumn()->ReadFromStream(s, version);
      std::vector<int32_t> map(static_cast<size_t>(count));
      s.ReadBuffer(map.data(), static_cast<Int64>(count) * 4);
      // Only a permutation of the indexes is a map; anything else would show
      // one column twice and another never.
      std::vector<bool> seen(static_cast<size_t>(count), false);
      bool valid = true;
      for (int32_t index : map) {
        if (index < 0 || index >= count || seen[static_cast<size_t>(index)]) {
          valid = false;
          break;
        }
        seen[static_cast<size_t>(index)] = true;
      }
      if (!valid) std::iota(map.begin(), map.end(), 0);
      positionMap_ = std::move(map);
      positionsPending_ = false;
      RecomputeLefts(true);
    } catch (...) {
      // Keep the columns read so far usable: a map of the right size.
      fitPositionMap();
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  if (version > 4) NewColumnWidth = s.ReadValue<int32_t>();
}

void TNodeTreeColumns::WriteToStream(TStream& s) const {
  s.WriteValue<int32_t>(Count());
  if (Count() > 0) {
    for (TColumnIndex i = 0; i < Count(); ++i) Items(i)->WriteToStream(s);
    for (TColumnIndex p = 0; p < Count(); ++p) {
      int32_t index = static_cast<size_t>(p) < positionMap_.size() ? positionMap_[static_cast<size_t>(p)] : p;
      s.WriteValue<int32_t>(index);
    }
  }
  s.WriteValue<int32_t>(NewColumnWidth);
}

// ---------------------------------------------------------------------------
// Animated resize

void TNodeTreeColumns::SlideToWidth(TColumnIndex index, int32_t width) {
  if (!IndexInRange(index)) return;
  TNodeTreeColumn* c = Items(index);
  width = std::min(std::max(width, c->minWidth_), c->maxWidth_);
  if (width == c->width_) return;
  header_->finishSlide();
  TBaseNodeTree* tree = treeOf(this);
  const int32_t step = (width - c->width_) / 32;
  if (!header_->options_.Contains(hoDisableAnimatedResize) && !c->options_.Contains(coDisableAnimatedResize) &&
      step != 0 && ht::HandleAllocated(tree)) {
    // The window contents right of the column slide in 32 steps, one per
    // tick of the slide timer, so the event loop keeps running meanwhile;
    // the last tick sets the width.
    header_->slide_ = {true, index, width, step, 0, c->ScrolledLeft() + c->width_};
    ht::StartTimer(tree, HeaderSlideTimer, 1);
    return;
  }
  c->SetWidth(width);
}

// ---------------------------------------------------------------------------
// Caption helpers

namespace {

int32_t textWidth(TCanvas& canvas, const UnicodeString& text) { return canvas.TextExtent(text).cx; }

// Width of a wrapped-candidate line as DrawText measures it.
int32_t lineWidth(TCanvas& canvas, const UnicodeString& line, uint32_t drawFormat) {
  TRect r(0, 0, 0, 0);
  canvas.DrawText(line, r, (drawFormat | DT_CALCRECT | DT_SINGLELINE) & ~DT_WORDBREAK);
  return r.Width();
}

}  // namespace

UnicodeString WrapCaption(TCanvas& canvas, const UnicodeString& text, const TRect& r, bool rightToLeft,
                          uint32_t drawFormat) {
  // Trim, then cut into words at single spaces.
  size_t b = text.find_first_not_of(u' ');
  if (b == UnicodeString::npos) return {};
  size_t e = text.find_last_not_of(u' ');
  const UnicodeString trimmed = text.substr(b, e - b + 1);
  std::vector<UnicodeString> words;
  size_t start = 0;
  for (;;) {
    size_t sp = trimmed.find(u' ', start);
    words.push_back(trimmed.substr(start, sp == UnicodeString::npos ? UnicodeString::npos : sp - start));
    if (sp == UnicodeString::npos) break;
    start = sp + 1;
  }
  // Right to left, lines are filled from the last word so that they read in
  // order from the right.
  if (rightToLeft) std::reverse(words.begin(), words.end());
  const int32_t width = r.Width();
  std::vector<UnicodeString> lines;
  UnicodeString line;
  auto join = [rightToLeft](const UnicodeString& a, const UnicodeString& w) {
    if (a.empty()) return w;
    return rightToLeft ? w + u' ' + a : a + u' ' + w;
  };
  for (size_t i = 0; i < words.size(); ++i) {
    UnicodeString word = words[i];
    UnicodeString candidate = join(line, word);
    if (lineWidth(canvas, candidate, drawFormat) <= width) {
      line = candidate;
      continue;
    }
    if (!line.empty()) {
      lines.push_back(line);
      line.clear();
      if (lineWidth(canvas, word, drawFormat) <= width) {
        line = word;
        continue;
      }
    }
    // A word wider than an empty line is split: its longest leading part
    // that fits (at least one character) stays, the rest continues.
    while (!word.empty() && lineWidth(canvas, word, drawFormat) > width) {
      size_t n = 1;
      while (n < word.size() && lineWidth(canvas, word.substr(0, n + 1), drawFormat) <= width) ++n;
      lines.push_back(word.substr(0, n));
      word = word.substr(n);
    }
    line = word;
  }
  if (!line.empty()) lines.push_back(line);
  UnicodeString result;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) result += u'\n';
    result += lines[i];
  }
  return result;
}

UnicodeString ShortenCaption(TCanvas& canvas, const UnicodeString& text, int32_t width) {
  const UnicodeString ellipsis = u"...";
  const int32_t ellipsisWidth = textWidth(canvas, ellipsis);
  if (text.empty() || width <= 0 || width <= ellipsisWidth) return {};
  int32_t low = 0, high = static_cast<int32_t>(text.size()) - 1;
  while (low < high) {
    int32_t mid = (low + high + 1) / 2;
    if (textWidth(canvas, text.substr(0, static_cast<size_t>(mid))) + ellipsisWidth <= width)
      low = mid;
    else
      high = mid - 1;
  }
  return text.substr(0, static_cast<size_t>(low)) + ellipsis;
}

// ---------------------------------------------------------------------------
// Layout of a header cell

TNodeTreeColumn::TCellLayout TNodeTreeColumn::LayoutHeaderCell(TCanvas& canvas, const TRect& client,
                                                               uint32_t drawFormat, bool showSortGlyph,
                                                               bool showGlyph) {
  TCellLayout out;
  TNTHeader* header = Header();
  TBaseNodeTree* tree = header->Treeview();
  const TSize cs{client.Width(), client.Height()};
  const bool hasText = !text_.empty();
  if (!hasText && !showGlyph && !showSortGlyph) return out;
  const bool rtl = bidiMode_ != bdLeftToRight;
  TAlignment alignment = CaptionAlignment();
  if (rtl) {
    if (alignment == taLeftJustify)
      alignment = taRightJustify;
    else if (alignment == taRightJustify)
      alignment = taLeftJustify;
  }

  TSize is{0, 0};
  if (showGlyph) {
    if (checkBox_)
      is = ht::CheckImageSize(tree);
    else if (header->Images() != nullptr)
      is = {header->Images()->Width(), header->Images()->Height()};
  }
  TSize ss{0, 0};
  if (showSortGlyph) ss = SortGlyphSize(ht::ExplorerThemed(tree));
  out.SortGlyphSize = ss;
  TPoint sortPos{0, (cs.cy - ss.cy) / 2};

  TSize ts{0, 0};
  if (hasText) {
    if (options_.Contains(coWrapCaption)) {
      if (captionText_.empty()) captionText_ = WrapCaption(canvas, text_, client, rtl, drawFormat);
      TRect r(0, 0, cs.cx, 0);
      canvas.DrawText(captionText_, r, drawFormat | DT_CALCRECT | DT_WORDBREAK);
      ts = {cs.cx, r.Height()};
    } else {
      captionText_ = text_;
      TSize e = canvas.TextExtent(text_);
      ts = {e.cx + 2, e.cy};
    }
  }
  const int32_t tsp = hasText ? spacing_ : 0;
  const int32_t sp = spacing_;
  TPoint glyphPos{0, 0};
  TPoint textPos{0, 0};

  if (!hasText && !showGlyph) {
    // Only a sort glyph: centred both ways.
    sortPos = {(cs.cx - ss.cx) / 2, (cs.cy - ss.cy) / 2};
    out.SortGlyphPos = {sortPos.X + client.Left, sortPos.Y + client.Top};
    return out;
  }

  const bool side = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  if (side || !showGlyph) {
    glyphPos.Y = (cs.cy - is.cy) / 2;
    textPos.Y = std::max((cs.cy - ts.cy) / 2, -5);
  } else {
    const int32_t b = (cs.cy - is.cy - ts.cy - tsp) / 2;
    if (layout_ == blGlyphTop) {
      glyphPos.Y = b;
      textPos.Y = b + is.cy + sp;
    } else {
      textPos.Y = b;
      glyphPos.Y = b + ts.cy + sp;
    }
  }

  const int32_t isx = showGlyph ? is.cx : 0;
  switch (alignment) {
    case taLeftJustify: {
      int32_t l = margin_;
      if (showSortGlyph && rtl) {
        sortPos.X = l;
        l += ss.cx + sp;
      }
      int32_t r = 0;
      if (side || !showGlyph) {
        if (layout_ == blGlyphLeft && showGlyph) {
          glyphPos.X = l;
          l += is.cx + sp;
        }
        textPos.X = l;
        r = l + ts.cx + tsp;
        if (layout_ == blGlyphRight && showGlyph) {
          glyphPos.X = r;
          r += is.cx + sp;
        }
      } else {
        textPos.X = l;
        glyphPos.X = std::max(l, (cs.cx - is.cx) / 2);
        r = std::max(glyphPos.X + is.cx + sp, textPos.X + ts.cx + tsp);
      }
      if (showSortGlyph && !rtl) sortPos.X = r;
      break;
    }
    case taCenter: {
      if (side || !showGlyph) {
        int32_t d = (cs.cx - isx - tsp - ts.cx) / 2;
        if (layout_ == blGlyphLeft && showGlyph) {
          glyphPos.X = d;
          d += tsp + is.cx;
        }
        textPos.X = d;
        if (layout_ == blGlyphRight && showGlyph) glyphPos.X = d + tsp + ts.cx;
      } else {
        glyphPos.X = (cs.cx - is.cx) / 2;
        textPos.X = (cs.cx - ts.cx) / 2;
        if (showSortGlyph) textPos.X -= ss.cx / 2;
      }
      int32_t lo = textPos.X, hi = textPos.X + ts.cx;
      if (showGlyph) {
        lo = std::min(glyphPos.X, textPos.X);
        hi = std::max(glyphPos.X + is.cx, textPos.X + ts.cx);
      }
      if (showSortGlyph) sortPos.X = rtl ? lo - sp - ss.cx : hi + sp;
      break;
    }
    case taRightJustify: {
      int32_t r = cs.cx - margin_;
      if (showSortGlyph && !rtl) {
        r -= ss.cx;
        sortPos.X = r;
        r -= sp;
      }
      if (side || !showGlyph) {
        if (layout_ == blGlyphRight && showGlyph) {
          glyphPos.X = r - is.cx;
          r = glyphPos.X - sp;
        }
        textPos.X = r - ts.cx;
        r -= ts.cx + tsp;
        if (layout_ == blGlyphLeft && showGlyph) {
          glyphPos.X = r - is.cx;
          r = glyphPos.X - sp;
        }
      } else {
        textPos.X = r - ts.cx;
        glyphPos.X = (cs.cx - is.cx) / 2;
        if (glyphPos.X + is.cx > r - sp) glyphPos.X = r - is.cx - sp;
        r = std::min(textPos.X - tsp, glyphPos.X - sp);
      }
      if (showSortGlyph && rtl) sortPos.X = r - ss.cx;
      break;
    }
  }

  // Final limits.
  int32_t l = margin_;
  int32_t r = cs.cx - margin_;
  if (showSortGlyph) {
    if (!rtl) {
      if (sortPos.X + ss.cx > r) sortPos.X = r - ss.cx;
      r = sortPos.X - sp;
    }
    sortPos.X = std::max(sortPos.X, margin_);
    if (rtl) l = sortPos.X + ss.cx + sp;
  }
  if (showGlyph) {
    if (glyphPos.X + is.cx > r) glyphPos.X = r - is.cx;
    if (layout_ == blGlyphRight) r = glyphPos.X - sp;
    glyphPos.X = std::max(glyphPos.X, l);
    if (layout_ == blGlyphLeft) l = glyphPos.X + is.cx + sp;
    if (checkBox_ || Index() != header->MainColumn()) glyphPos.X -= 2;
  }
  textPos.X = std::max(textPos.X, l);
  TRect textRect(textPos.X, textPos.Y, textPos.X + ts.cx, textPos.Y + ts.cy);
  if (textRect.Right > r) textRect.Right = r;
  textRect.Offset(client.Left, client.Top);
  out.TextRect = textRect;
  out.GlyphPos = {glyphPos.X + client.Left, glyphPos.Y + client.Top};
  out.SortGlyphPos = {sortPos.X + client.Left, sortPos.Y + client.Top};
  if (hasText && options_.Contains(coWrapCaption))
    captionText_ = WrapCaption(canvas, text_, textRect, rtl, drawFormat);
  return out;
}

// ---------------------------------------------------------------------------
// Painting

void TNodeTreeColumns::PaintCaption(TCanvas& canvas, const UnicodeString& caption, TRect r, bool wrapped,
                                    uint32_t drawFormat, bool hot, bool enabled) {
  UnicodeString text = caption;
  if (!wrapped && canvas.TextExtent(text).cx > r.Width()) text = ShortenCaption(canvas, text, r.Width());
  if (text.empty()) return;
  const uint32_t format = drawFormat | (wrapped ? DT_WORDBREAK : DT_SINGLELINE);
  const TBrushStyle savedStyle = canvas.Brush().Style();
  const TColor savedColor = canvas.Font().Color();
  canvas.Brush().SetStyle(bsClear);
  if (enabled) {
    canvas.Font().SetColor(hot ? ht::HeaderHotColor(treeOf(this)) : header_->font_.Color());
    canvas.DrawText(text, r, format);
  } else {
    TRect shifted = r;
    shifted.Offset(1, 1);
    canvas.Font().SetColor(clBtnHighlight);
    canvas.DrawText(text, shifted, format);
    canvas.Font().SetColor(clBtnShadow);
    canvas.DrawText(text, r, format);
  }
  canvas.Font().SetColor(savedColor);
  canvas.Brush().SetStyle(savedStyle);
}

void TNodeTreeColumns::PaintInto(TCanvas& target, const TRect& r, int32_t hOffset) {
  TBaseNodeTree* tree = treeOf(this);
  const int32_t height = header_->Height();
  const int32_t width = std::max(r.Width(), header_->HeaderRect().Right);
  if (width <= 0 || height <= 0) return;
  if (paintBuffer_->Width() < width || paintBuffer_->Height() != height) paintBuffer_->SetSize(width, height);
  TCanvas& c = paintBuffer_->Canvas();
  const int32_t fixed = FixedShownWidth();
  const bool rtl = ht::UseRightToLeftAlignment(tree);
  const int32_t rtlShift = rtl ? ht::RightToLeftShift(tree) : 0;
  // The scrolled columns right of the fixed area first, then the fixed ones
  // over the left of the strip.
  const int32_t scrolledLeft = std::max(r.Left, fixed);
  if (scrolledLeft < r.Right)
    PaintCells(c, TRect(scrolledLeft + hOffset, 0, r.Right + hOffset, height), Point(scrolledLeft, 0), rtlShift);
  if (fixed > 0 && r.Left < fixed)
    PaintCells(c, TRect(r.Left, 0, std::min(r.Right, fixed), height), Point(r.Left, 0), rtlShift);
  target.CopyRect(TRect(r.Left, r.Top, r.Right, r.Top + height), *paintBuffer_, TRect(r.Left, 0, r.Right, height));
}

void TNodeTreeColumns::paintBackgroundStrip(TCanvas& canvas, const TRect& strip, bool advanced) {
  TBaseNodeTree* tree = treeOf(this);
  THeaderPaintInfo info;
  info.TargetCanvas = &canvas;
  info.PaintRectangle = strip;
  TColumnPaintParts parts;
  if (advanced) ht::HeaderElementsQuery(tree, info, parts);
  if (parts.Contains(cppBackground)) {
    canvas.Save();
    ht::HeaderDrawElements(tree, info, {cppBackground});
    canvas.Restore();
  } else if (ht::Themed(tree)) {
    DrawThemedHeaderItem(canvas, strip, thsBackground);
  } else {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(header_->background_);
    canvas.FillRect(strip);
  }
}

void TNodeTreeColumns::PaintCells(TCanvas& canvas, const TRect& r, TPoint target, int32_t rtlOffset) {
  if (r.IsEmpty()) return;
  TBaseNodeTree* tree = treeOf(this);
  const bool designing = ht::Designing(tree);
  const bool ownerDrawOption = header_->options_.Contains(hoOwnerDraw) && !designing;
  const bool advanced = ownerDrawOption && ht::HasAdvancedHeaderDraw(tree);
  const bool ownerDraw = ownerDrawOption && !advanced && ht::HasHeaderCellDraw(tree);
  const int32_t height = header_->Height();
  canvas.Font().Assign(header_->font_);
  paintBackgroundStrip(canvas, TRect(target.X, target.Y, target.X + r.Width(), target.Y + height), advanced);

  // Right to left the columns stand rtlOffset further right (against the
  // right edge of a wider window), where hit testing finds them.
  TRect cut = r;
  cut.Left = std::max(cut.Left, rtlOffset);
  cut.Right = std::min(cut.Right, ShownExtent() + rtlOffset);
  cut.Top = std::max(cut.Top, 0);
  cut.Bottom = std::min(cut.Bottom, height);
  if (cut.IsEmpty()) return;
  // Cells stay inside the strip asked for.
  const TRect area(target.X, target.Y, target.X + r.Width(), target.Y + height);
  TColumnIndex index = ColumnAt(Point(cut.Left, 0), false);
  if (index < 0) index = FirstShownColumn();
  while (index >= 0) {
    const TNodeTreeColumn* c = Items(index);
    const int32_t left = c->left_ + rtlOffset - r.Left + target.X;
    TRect cell(left, target.Y, left + c->width_, target.Y + height);
    if (cell.Left >= target.X + r.Width()) break;
    TRect clip;
    if (IntersectRect(clip, cell, area)) {
      canvas.Save();
      canvas.IntersectClipRect(clip);
      paintCell(canvas, index, cell, advanced, ownerDraw);
      canvas.Restore();
    }
    index = NextShownColumn(index);
  }
}

void TNodeTreeColumns::paintCell(TCanvas& canvas, TColumnIndex index, const TRect& cell, bool advanced,
                                 bool ownerDraw) {
  TBaseNodeTree* tree = treeOf(this);
  TNodeTreeColumn* c = Items(index);
  const THeaderOptions ho = header_->options_;
  THeaderPaintInfo info;
  info.TargetCanvas = &canvas;
  info.Column = c;
  info.PaintRectangle = cell;
  info.IsHoverIndex = index == HotIndex && ho.Contains(hoHotTrack) && c->options_.Contains(coEnabled);
  info.IsDownIndex = index == PressedIndex && !PressedOnCheckBox;
  if (c->options_.Contains(coShowDropMark) && index == DropTargetIndex && index != DraggedIndex)
    info.DropMark = DropOnLeftSide ? dmmLeft : dmmRight;
  info.IsEnabled = c->options_.Contains(coEnabled) && ht::Enabled(tree);
  info.ShowHeaderGlyph =
      ho.Contains(hoShowImages) && ((header_->images_ != nullptr && c->imageIndex_ >= 0) || c->checkBox_);
  info.ShowSortGlyph = index == header_->sortColumn_ && ho.Contains(hoShowSortGlyphs);
  const bool lastColumn = index == Count() - 1;
  info.ShowRightBorder =
      !(header_->style_ != hsThickButtons && ho.Contains(hoAutoResize) && ht::HasBevel(tree) && lastColumn);

  if (ownerDraw && c->style_ == vsOwnerDraw) {
    ht::HeaderCellDraw(tree, canvas, c, cell, info.IsHoverIndex, info.IsDownIndex, info.DropMark);
    return;
  }
  TColumnPaintParts parts;
  if (advanced) ht::HeaderElementsQuery(tree, info, parts);

  // Background.
  if (parts.Contains(cppBackground)) {
    // Painted by the application with the rest below.
  } else if (ht::Themed(tree)) {
    DrawThemedHeaderItem(canvas, cell,
                         info.IsDownIndex ? thsPressed : (info.IsHoverIndex ? thsHot : thsNormal));
  } else {
    uint32_t edge = 0, flags = 0;
    switch (header_->style_) {
      case hsThickButtons:
        if (info.IsDownIndex) {
          edge = EDGE_RAISED;
          flags = 0x780F;
        } else {
          edge = EDGE_RAISED;
          flags = 0x380B;
        }
        break;
      case hsFlatButtons:
        if (info.IsDownIndex) {
          edge = BDR_SUNKENOUTER;
          flags = 0x280F;
        } else {
          edge = BDR_RAISEDINNER;
          flags = 0x280B;
        }
        break;
      case hsPlates:
        if (info.IsDownIndex) {
          edge = BDR_SUNKENOUTER;
          flags = 0x280F;
        } else if (info.IsHoverIndex && c->options_.ContainsAll({coAllowClick, coEnabled})) {
          edge = BDR_RAISEDINNER;
          flags = 0x280B;
        } else {
          edge = BDR_RAISEDINNER;
          flags = 0x380F;
        }
        break;
    }
    if (!info.IsDownIndex && info.ShowRightBorder) flags |= BF_RIGHT;
    TRect r = cell;
    // A plain fill first: the edges leave the middle alone for some styles.
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(header_->background_);
    canvas.FillRect(r);
    DrawEdge(canvas, r, edge, flags);
  }

  TRect content = cell;
  content.Inflate(-2, -2);
  uint32_t format = DT_NOPREFIX;
  const TAlignment ca = c->CaptionAlignment();
  if (ca == taCenter) format |= DT_CENTER;
  if (ca == taRightJustify) format |= DT_RIGHT;
  if (c->bidiMode_ != bdLeftToRight) format |= DT_RTLREADING;
  TNodeTreeColumn::TCellLayout layout =
      c->LayoutHeaderCell(canvas, content, format, info.ShowSortGlyph, info.ShowHeaderGlyph);
  if (info.IsDownIndex) {
    layout.TextRect.Offset(1, 1);
    layout.GlyphPos = layout.GlyphPos + Point(1, 1);
    layout.SortGlyphPos = layout.SortGlyphPos + Point(1, 1);
  }
  info.TextRectangle = layout.TextRect;
  info.GlyphPos = layout.GlyphPos;
  info.SortGlyphPos = layout.SortGlyphPos;
  info.SortGlyphSize = layout.SortGlyphSize;
  c->glyphShown_ = false;

  // Glyph: an image or a check box, unless it would run into the sort glyph.
  if (info.ShowHeaderGlyph && !parts.Contains(cppGlyph) &&
      (!info.ShowSortGlyph || c->bidiMode_ != bdLeftToRight || layout.SortGlyphPos.X >= layout.GlyphPos.X)) {
    TSize size{0, 0};
    if (c->checkBox_) {
      size = ht::CheckImageSize(tree);
      ht::PaintCheckImage(tree, canvas, layout.GlyphPos, c->checkType_, c->checkState_, info.IsEnabled);
    } else {
      size = {header_->images_->Width(), header_->images_->Height()};
      header_->images_->Draw(canvas, layout.GlyphPos.X, layout.GlyphPos.Y, c->imageIndex_, info.IsEnabled);
    }
    c->glyphRect_ = TRect(layout.GlyphPos.X, layout.GlyphPos.Y, layout.GlyphPos.X + size.cx,
                          layout.GlyphPos.Y + size.cy);
    c->glyphShown_ = true;
  }
  // Caption.
  if (!parts.Contains(cppText) && !c->text_.empty()) {
    const bool wrapped = c->options_.Contains(coWrapCaption);
    PaintCaption(canvas, wrapped ? c->captionText_ : c->text_, layout.TextRect, wrapped, format,
                 info.IsHoverIndex && ho.Contains(hoHotTrack) && !ht::Themed(tree), info.IsEnabled);
  }
  // Sort glyph.
  if (info.ShowSortGlyph && !parts.Contains(cppSortGlyph))
    DrawSortGlyph(canvas, layout.SortGlyphPos, header_->sortDirection_, ht::ExplorerThemed(tree), ht::Themed(tree));
  // Drop mark.
  if (info.DropMark != dmmNone && !parts.Contains(cppDropMark)) {
    const TSize ms = DropMarkSize();
    const int32_t y = (cell.Top + cell.Bottom - ms.cy) / 2;
    DrawDropMark(canvas, info.DropMark == dmmLeft ? Point(cell.Left, y) : Point(cell.Right - 16, y),
                 info.DropMark == dmmLeft);
  }
  if (!parts.Empty()) {
    canvas.Save();
    ht::HeaderDrawElements(tree, info, parts);
    canvas.Restore();
  }
}

}  // namespace px
