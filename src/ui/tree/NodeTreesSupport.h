#pragma once
// Small routines the tree parts share: rectangle ordering and pixel blending
// of 32-bit bitmaps.
#include "platform/core/Geometry.h"
#include "platform/gui/Graphics.h"

namespace px {

// The rectangle with Left <= Right and Top <= Bottom.
TRect OrderRect(const TRect& r);

// Blends the rectangle r of source onto dest at target, both 32-bit bitmaps
// (an assertion failure otherwise). Per channel: D = clamp(((D * (256 - A) +
// S * A) >> 8) + bias, 0, 255) with A by mode: 0 the constant alpha, 1 the
// source pixel's alpha, 2 constant * source alpha >> 8. Mode 3 needs no
// source: r of dest is tinted with the colour given as bias (A = the constant
// alpha). The rectangle is clipped to both bitmaps.
void BlendDIBPixels(const TBitmap* source, TBitmap& dest, TRect r, TPoint target, int mode, int constantAlpha,
                    int bias);

}  // namespace px
