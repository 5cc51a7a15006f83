#pragma once
// The pictures of the header that come from the platform's visual style
// (themed header items, sort arrows) or are drawn by the header itself
// (plain sort glyphs, drop marks). Themed parts are rendered by the Qt style
// into a bitmap that is then drawn on the canvas, so every device gets them.
#include "platform/gui/Graphics.h"
#include "ui/tree/NodeTreesTypes.h"

namespace px {

enum TThemedHeaderState { thsNormal, thsHot, thsPressed, thsBackground };

void DrawThemedHeaderItem(TCanvas& canvas, const TRect& r, TThemedHeaderState state);
// Size of the sort glyph: the style's arrow when explorer-themed, else the
// plain 16 x 16 glyph.
TSize SortGlyphSize(bool explorerThemed);
void DrawSortGlyph(TCanvas& canvas, TPoint pos, TSortDirection direction, bool explorerThemed, bool themed);
TSize DropMarkSize();
// The mark at a cell's left edge (left) or right edge.
void DrawDropMark(TCanvas& canvas, TPoint pos, bool left);

}  // namespace px
