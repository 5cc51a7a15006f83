#include "ui/tree/NodeTreesSupport.h"

#include <algorithm>

#include "platform/core/Exceptions.h"

namespace px {

TRect OrderRect(const TRect& r) {
  return TRect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
               std::max(r.Top, r.Bottom));
}

void BlendDIBPixels(const TBitmap* source, TBitmap& dest, TRect r, TPoint target, int mode, int constantAlpha,
                    int bias) {
  if (r.IsEmpty()) return;
  const bool tint = mode == 3;
  if (!tint) Assert(source != nullptr, "Alpha blending DC error: no bitmap available.");
  Assert(dest.PixelFormat() == TPixelFormat::pf32bit && (tint || source->PixelFormat() == TPixelFormat::pf32bit),
         "Alpha blending error: bitmap must use 32 bpp.");
  // The tint works on dest itself: r is the rectangle in dest.
  if (tint) target = {r.Left, r.Top};
  const int32_t srcW = tint ? dest.Width() : source->Width();
  const int32_t srcH = tint ? dest.Height() : source->Height();
  // Clip to the source, moving the target along.
  if (r.Left < 0) {
    target.X -= r.Left;
    r.Left = 0;
  }
  if (r.Top < 0) {
    target.Y -= r.Top;
    r.Top = 0;
  }
  r.Right = std::min(r.Right, srcW);
  r.Bottom = std::min(r.Bottom, srcH);
  // Then to the destination.
  if (target.X < 0) {
    r.Left -= target.X;
    target.X = 0;
  }
  if (target.Y < 0) {
    r.Top -= target.Y;
    target.Y = 0;
  }
  r.Right = std::min(r.Right, r.Left + dest.Width() - target.X);
  r.Bottom = std::min(r.Bottom, r.Top + dest.Height() - target.Y);
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  const int32_t w = r.Width();
  const int a0 = std::clamp(constantAlpha, 0, 255);
  // The tint colour in the bitmap's blue, green, red order.
  const int tintChannel[4] = {(bias >> 16) & 0xFF, (bias >> 8) & 0xFF, bias & 0xFF, 0};
  for (int32_t i = 0; i < r.Height(); ++i) {
    Byte* d = dest.ScanLine(target.Y + i) + static_cast<size_t>(target.X) * 4;
    const Byte* s = tint ? nullptr : source->ScanLine(r.Top + i) + static_cast<size_t>(r.Left) * 4;
    for (int32_t x = 0; x < w; ++x, d += 4) {
      if (tint) {
        for (int c = 0; c < 4; ++c) d[c] = static_cast<Byte>((tintChannel[c] * a0 + d[c] * (256 - a0)) >> 8);
        continue;
      }
      int a = a0;
      if (mode == 1) a = s[3];
      if (mode == 2) a = (a0 * s[3]) >> 8;
      for (int c = 0; c < 4; ++c)
        d[c] = static_cast<Byte>(std::clamp(((d[c] * (256 - a) + s[c] * a) >> 8) + bias, 0, 255));
      s += 4;
    }
  }
}

}  // namespace px
