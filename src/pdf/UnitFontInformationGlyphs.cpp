// Glyph parsing and the glyph evaluator.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "pdf/UnitFontInformation.h"

namespace px {

namespace {

[[noreturn]] void glyphCorrupt() { throw EFontInformationException("GlyphOutline: Truetype glyph data corrupt."); }

// A bounded big-endian reader over one glyph's data.
struct Reader {
  std::span<const uint8_t> d;
  size_t at = 0;
  void need(size_t n) const {
    if (n > d.size() - at) glyphCorrupt();
  }
  uint8_t u8() {
    need(1);
    return d[at++];
  }
  uint16_t u16() {
    need(2);
    uint16_t v = uint16_t(d[at] << 8 | d[at + 1]);
    at += 2;
    return v;
  }
  int16_t s16() { return int16_t(u16()); }
};

}  // namespace

TGlyphInformation ParseGlyph(std::span<const uint8_t> data) {
  TGlyphInformation g;
  if (data.empty()) return g;
  if (data.size() < 10) glyphCorrupt();
  UnpackRecord(data, 0, 10, &g.Header, tplGlyphHeader);
  Reader r{data, 10};
  if (g.Header.numberOfContours >= 0) {
    size_t contours = size_t(g.Header.numberOfContours);
    r.need(contours * 2);
    g.ContourStarts.assign(1, 0);
    int32_t previousEnd = -1;
    for (size_t i = 0; i < contours; ++i) {
      int32_t end = r.u16();
      // Contours end in increasing order; anything else would index points
      // that the point count does not cover.
      if (end <= previousEnd) glyphCorrupt();
      previousEnd = end;
      g.ContourStarts.push_back(end + 1);
    }
    uint16_t instructionLength = r.u16();
    r.need(instructionLength);
    g.Instructions.assign(data.begin() + std::ptrdiff_t(r.at), data.begin() + std::ptrdiff_t(r.at + instructionLength));
    r.at += instructionLength;
    size_t points = size_t(previousEnd + 1);
    // Every point takes at least one flag byte (or a share of a repeat), so
    // the point count is bounded by the data before anything is allocated.
    g.Flags.reserve(std::min(points, data.size()));
    while (g.Flags.size() < points) {
      uint8_t flag = r.u8();
      g.Flags.push_back(flag);
      if (flag & 8) {
        uint8_t repeat = r.u8();
        for (uint8_t k = 0; k < repeat && g.Flags.size() < points; ++k) g.Flags.push_back(flag);
      }
    }
    g.X.resize(points);
    g.Y.resize(points);
    int32_t v = 0;
    for (size_t i = 0; i < points; ++i) {
      uint8_t f = g.Flags[i];
      if (f & 2) v += (f & 16) ? r.u8() : -int32_t(r.u8());
      else if (!(f & 16)) v += r.s16();
      g.X[i] = v;
    }
    v = 0;
    for (size_t i = 0; i < points; ++i) {
      uint8_t f = g.Flags[i];
      if (f & 4) v += (f & 32) ? r.u8() : -int32_t(r.u8());
      else if (!(f & 32)) v += r.s16();
      g.Y[i] = v;
    }
    return g;
  }
  uint16_t flags = 0;
  do {
    TGlyphComponent c;
    flags = c.Flags = r.u16();
    c.GlyphIndex = r.u16();
    if (flags & 1) {
      c.Argument1 = r.s16();
      c.Argument2 = r.s16();
    } else {
      c.Argument1 = int8_t(r.u8());
      c.Argument2 = int8_t(r.u8());
    }
    if (flags & 8) {
      c.Scale[0] = c.Scale[3] = r.s16();
    } else if (flags & 64) {
      c.Scale[0] = r.s16();
      c.Scale[3] = r.s16();
    } else if (flags & 128) {
      for (auto& s : c.Scale) s = r.s16();
    }
    g.Components.push_back(c);
  } while (flags & 32);
  if (flags & 256) {
    uint16_t n = r.u16();
    r.need(n);
    g.Instructions.assign(data.begin() + std::ptrdiff_t(r.at), data.begin() + std::ptrdiff_t(r.at + n));
  }
  return g;
}

// ---------------------------------------------------------------------------

TGlyphEvaluator::TGlyphEvaluator(const TEvaluatedGlyph& outline, uint32_t flags, int32_t maxExtent)
    : outline_(outline) {
  MinX = MinY = INT32_MAX;
  MaxX = MaxY = INT32_MIN;
  walk(Pass::Bounds);
  if (MinX > MaxX) {  // nothing drawn
    MinX = MinY = MaxX = MaxY = 0;
    return;
  }
  if (int64_t(MaxX) - MinX > maxExtent || int64_t(MaxY) - MinY > maxExtent) return;
  if (((flags & geHorizontal) && rowCrossings_ > MaxCrossings) ||
      ((flags & geVertical) && columnCrossings_ > MaxCrossings))
    throw EFontInformationException("GlyphEvaluator: Glyph outline too complex.");
  if (flags & geHorizontal) {
    walk(Pass::Rows);
    HorizontalStem = median();
  }
  if (flags & geVertical) {
    walk(Pass::Columns);
    VerticalStem = median();
  }
}

void TGlyphEvaluator::walk(Pass pass) {
  pass_ = pass;
  crossings_.clear();
  histogram_.clear();
  if (pass == Pass::Rows) {
    lineBase_ = MinY;
    crossings_.resize(size_t(MaxY - MinY) + 1);
    histogram_.resize(size_t(MaxX - MinX) + 1);
  } else if (pass == Pass::Columns) {
    lineBase_ = MinX;
    crossings_.resize(size_t(MaxX - MinX) + 1);
    histogram_.resize(size_t(MaxY - MinY) + 1);
  }
  for (const TEvaluatedContour& c : outline_.Contours) {
    if (c.empty()) continue;
    moveTo(c[0].X, c[0].Y);
    size_t j = 0;
    size_t last = c.size() - 1;
    while (j < last) {
      Assert(c[j].OnCurve != 0, "Outline point must be on the curve");
      if (c[j + 1].OnCurve) {
        lineTo(c[j + 1].X, c[j + 1].Y);
        j += 1;
        continue;
      }
      Assert(j + 2 <= last && c[j + 2].OnCurve != 0, "Outline curve must end on the curve");
      int64_t x0 = c[j].X, y0 = c[j].Y, x1 = c[j + 1].X, y1 = c[j + 1].Y, x2 = c[j + 2].X, y2 = c[j + 2].Y;
      for (int64_t k = 1; k <= 8; ++k) {
        int64_t x = (64 * x0 + 16 * k * (x1 - x0) + k * k * (x0 - 2 * x1 + x2)) / 64;
        int64_t y = (64 * y0 + 16 * k * (y1 - y0) + k * k * (y0 - 2 * y1 + y2)) / 64;
        lineTo(int32_t(x), int32_t(y));
      }
      j += 2;
    }
  }
}

void TGlyphEvaluator::moveTo(int32_t x, int32_t y) {
  cx_ = x;
  cy_ = y;
  if (pass_ == Pass::Bounds) {
    MinX = std::min(MinX, x);
    MinY = std::min(MinY, y);
    MaxX = std::max(MaxX, x);
    MaxY = std::max(MaxY, y);
  }
}

void TGlyphEvaluator::lineTo(int32_t x, int32_t y) {
  if (x == cx_ && y == cy_) return;
  if (pass_ == Pass::Bounds) {
    // A line records one crossing per scan line it covers, one when it runs
    // along a scan line.
    rowCrossings_ += std::max<int64_t>(1, std::abs(int64_t(y) - cy_));
    columnCrossings_ += std::max<int64_t>(1, std::abs(int64_t(x) - cx_));
  } else {
    // Rows: lines are walked along y and cross at x; columns the other way round.
    bool rows = pass_ == Pass::Rows;
    int32_t a0 = rows ? cy_ : cx_, a1 = rows ? y : x;  // scan axis
    int32_t b0 = rows ? cx_ : cy_, b1 = rows ? x : y;  // crossing axis
    auto record = [&](int32_t line, int32_t value) {
      int64_t index = int64_t(line) - lineBase_;
      if (index >= 0 && index < int64_t(crossings_.size())) crossings_[size_t(index)].push_back(value);
    };
    if (a1 == a0) {
      record(a1, b1);
    } else {
      int32_t from = a1 > a0 ? a0 + 1 : a1;
      int32_t to = a1 > a0 ? a1 : a0 - 1;
      for (int32_t line = from; line <= to; ++line) record(line, b1 + MulDiv(line - a1, b0 - b1, a0 - a1));
    }
  }
  moveTo(x, y);
}

int32_t TGlyphEvaluator::median() {
  uint32_t pairs = 0;
  for (auto& list : crossings_) {
    if (list.size() % 2) continue;
    std::sort(list.begin(), list.end());
    for (size_t i = 0; i + 1 < list.size(); i += 2) {
      int64_t span = int64_t(list[i + 1]) - list[i];
      if (span >= 0 && span < int64_t(histogram_.size())) ++histogram_[size_t(span)];
      ++pairs;
    }
  }
  if (pairs == 0) return 0;
  int64_t half = pairs / 2;
  for (size_t length = 0; length < histogram_.size(); ++length) {
    half -= histogram_[length];
    if (half <= 0) return int32_t(length);
  }
  return int32_t(histogram_.size()) - 1;
}

}  // namespace px
