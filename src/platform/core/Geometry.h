#pragma once
// Points, sizes and rectangles in integer device or logical units. A rectangle
// includes its left and top edges and excludes its right and bottom edges, so
// Width = Right - Left and a rectangle with Right <= Left is empty.
#include <algorithm>
#include <cstdint>

namespace px {

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int32_t x, int32_t y) : X(x), Y(y) {}
  constexpr bool operator==(const TPoint&) const = default;
  constexpr TPoint operator+(const TPoint& o) const { return {X + o.X, Y + o.Y}; }
  constexpr TPoint operator-(const TPoint& o) const { return {X - o.X, Y - o.Y}; }
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  constexpr bool operator==(const TSize&) const = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int32_t l, int32_t t, int32_t r, int32_t b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr TRect(TPoint topLeft, TPoint bottomRight)
      : Left(topLeft.X), Top(topLeft.Y), Right(bottomRight.X), Bottom(bottomRight.Y) {}
  constexpr bool operator==(const TRect&) const = default;

  constexpr int32_t Width() const { return Right - Left; }
  constexpr int32_t Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  constexpr void Offset(int32_t dx, int32_t dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
  constexpr void Inflate(int32_t dx, int32_t dy) { Left -= dx; Right += dx; Top -= dy; Bottom += dy; }
  constexpr TRect Normalized() const {
    return {std::min(Left, Right), std::min(Top, Bottom), std::max(Left, Right), std::max(Top, Bottom)};
  }
};

constexpr TPoint Point(int32_t x, int32_t y) { return {x, y}; }
constexpr TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return {l, t, r, b}; }
constexpr TRect Bounds(int32_t l, int32_t t, int32_t w, int32_t h) { return {l, t, l + w, t + h}; }
constexpr bool PtInRect(const TRect& r, TPoint p) { return r.Contains(p); }
constexpr bool IsRectEmpty(const TRect& r) { return r.IsEmpty(); }

// The common part of a and b; false with an all-zero result when they do not overlap.
constexpr bool IntersectRect(TRect& result, const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) {
    result = TRect{};
    return false;
  }
  result = r;
  return true;
}

// The smallest rectangle holding both; an empty operand does not count.
constexpr bool UnionRect(TRect& result, const TRect& a, const TRect& b) {
  if (a.IsEmpty()) result = b;
  else if (b.IsEmpty()) result = a;
  else result = TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
  return !result.IsEmpty();
}

}  // namespace px
