#include "platform/gui/TraceDevice.h"

#include <cstdio>

namespace px {

namespace {

std::string colorText(TColor c) {
  const TColor rgb = (c == clNone || c == clDefault) ? clBlack : ColorToRGB(c);
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
  return text;
}

std::string point(const char* item, TPoint p) {
  return std::string(item) + " " + std::to_string(p.X) + " " + std::to_string(p.Y);
}

void append(std::string& path, const std::string& item) {
  if (!path.empty()) path += ' ';
  path += item;
}

std::string rectPath(const TRect& r) {
  return point("M", {r.Left, r.Top}) + " " + point("L", {r.Right, r.Top}) + " " + point("L", {r.Right, r.Bottom}) +
         " " + point("L", {r.Left, r.Bottom}) + " Z";
}

const char* const CapNames[] = {"flat", "round", "square"};
const char* const JoinNames[] = {"miter", "round", "bevel"};

}  // namespace

std::string TTraceDevice::units(bool glyphs, const UnicodeString& text) {
  std::string out;
  for (char16_t u : text) {
    if (!out.empty()) out += ' ';
    if (glyphs) {
      out += std::to_string(static_cast<unsigned>(u));
    } else {
      char item[8];
      std::snprintf(item, sizeof item, "U+%04X", static_cast<unsigned>(u));
      out += item;
    }
  }
  return out;
}

void TTraceDevice::paint(const char* kind, const TDeviceState& s) {
  std::string line = std::string("paint ") + kind + " " + (s.PolyFillMode == WINDING ? "nonzero" : "evenodd") + " " +
                     colorText(s.Brush.Color) + " " + colorText(s.Pen.Color) + " " + std::to_string(s.Pen.Width) +
                     " " + CapNames[static_cast<int>(s.Pen.EndCap) % 3] + " " +
                     JoinNames[static_cast<int>(s.Pen.Join) % 3] + " " + path_;
  Lines.push_back(line);
  path_.clear();
}

void TTraceDevice::FillRect(const TDeviceState& s, const TRect& r) {
  TDeviceState st = s;
  st.PolyFillMode = WINDING;
  path_ = rectPath(r);
  paint("fill", st);
}

void TTraceDevice::Rectangle(const TDeviceState& s, const TRect& r) {
  if (open_) {
    append(path_, rectPath(r));
    return;
  }
  path_ = rectPath(r);
  paint(s.Pen.Style == psClear ? "fill" : s.Brush.Style == bsClear ? "stroke" : "fillstroke", s);
}

void TTraceDevice::Polyline(const TDeviceState& s, const std::vector<TPoint>& points) {
  if (points.empty()) return;
  const bool wasOpen = open_;
  if (!wasOpen) path_.clear();
  append(path_, point("M", points[0]));
  for (size_t i = 1; i < points.size(); ++i) append(path_, point("L", points[i]));
  if (!wasOpen) paint("stroke", s);
}

void TTraceDevice::Polygon(const TDeviceState& s, const std::vector<TPoint>& points) {
  if (points.empty()) return;
  const bool wasOpen = open_;
  if (!wasOpen) path_.clear();
  append(path_, point("M", points[0]));
  for (size_t i = 1; i < points.size(); ++i) append(path_, point("L", points[i]));
  append(path_, "Z");
  if (!wasOpen) paint("fillstroke", s);
}

void TTraceDevice::PolyBezier(const TDeviceState& s, const std::vector<TPoint>& points) {
  if (points.size() < 4) return;
  const bool wasOpen = open_;
  if (!wasOpen) path_.clear();
  append(path_, point("M", points[0]));
  for (size_t i = 1; i + 2 < points.size(); i += 3)
    append(path_, point("C", points[i]) + " " + std::to_string(points[i + 1].X) + " " +
                      std::to_string(points[i + 1].Y) + " " + std::to_string(points[i + 2].X) + " " +
                      std::to_string(points[i + 2].Y));
  if (!wasOpen) paint("stroke", s);
}

void TTraceDevice::MoveTo(const TDeviceState&, TPoint p) {
  pos_ = p;
  if (open_) append(path_, point("M", p));
}

void TTraceDevice::LineTo(const TDeviceState& s, TPoint p) {
  if (open_) {
    append(path_, point("L", p));
  } else {
    path_ = point("M", pos_) + " " + point("L", p);
    paint("stroke", s);
  }
  pos_ = p;
}

void TTraceDevice::BezierTo(const TDeviceState&, TPoint c1, TPoint c2, TPoint p) {
  pos_ = p;
  if (!open_) return;
  append(path_, point("C", c1) + " " + std::to_string(c2.X) + " " + std::to_string(c2.Y) + " " +
                    std::to_string(p.X) + " " + std::to_string(p.Y));
}

void TTraceDevice::BeginPath() {
  open_ = true;
  path_.clear();
}

void TTraceDevice::CloseFigure() {
  if (open_) append(path_, "Z");
}

void TTraceDevice::ClipPath(const TDeviceState& s) {
  Lines.push_back(std::string("clip ") + (s.PolyFillMode == WINDING ? "nonzero" : "evenodd") + " " + path_);
  path_.clear();
}

void TTraceDevice::fontLine(const TFontData& f) {
  if (haveFont_ && f.Name == font_.Name && f.Height == font_.Height && f.Style == font_.Style &&
      f.Orientation == font_.Orientation && f.Weight == font_.Weight)
    return;
  haveFont_ = true;
  font_ = f;
  Lines.push_back("font \"" + f.Name + "\" " + std::to_string(FontWeight(f)) + " " +
                  (f.Style.Contains(fsItalic) ? "1" : "0") + " " + std::to_string(f.Height) + " " +
                  std::to_string(f.Orientation));
}

void TTraceDevice::TextOut(const TDeviceState& s, int32_t x, int32_t y, uint32_t options, const TRect*,
                           const UnicodeString& text, const int32_t*) {
  const bool glyphs = (options & ETO_GLYPH_INDEX) != 0;
  fontLine(s.Font);
  if (open_) {
    append(path_, point("T", {x, y}) + " " + units(glyphs, text));
    return;
  }
  Lines.push_back(std::string("text ") + (glyphs ? "gid " : "chr ") + std::to_string(x) + " " + std::to_string(y) +
                  " " + colorText(s.Font.Color) + " " + units(glyphs, text));
}

void TTraceDevice::DrawBitmap(const TDeviceState&, const TRect& dest, const TBitmap& source, const TRect&,
                              const TBlendMode& blend) {
  const TPoint p[3] = {{dest.Left, dest.Top}, {dest.Right, dest.Top}, {dest.Left, dest.Bottom}};
  DrawBitmapPlg(TDeviceState{}, p, source, blend);
}

void TTraceDevice::DrawBitmapPlg(const TDeviceState&, const TPoint (&p)[3], const TBitmap& source,
                                 const TBlendMode& blend) {
  const char* kind = blend.TransparentColor != clNone ? "stencil" : blend.UseSourceAlpha ? "alpha" : "opaque";
  std::string line = std::string("image ") + kind + " " + std::to_string(source.Width()) + " " +
                     std::to_string(source.Height());
  for (const TPoint& q : p) line += " " + std::to_string(q.X) + " " + std::to_string(q.Y);
  Lines.push_back(line);
}

void TTraceDevice::SetClipRect(const TRect* r) {
  Lines.push_back("clipreset");
  if (r) Lines.push_back("clip nonzero " + rectPath(*r));
}

void TTraceDevice::IntersectClipRect(const TRect& r) { Lines.push_back("clip nonzero " + rectPath(r)); }

void TTraceDevice::RestoreState() {
  if (depth_ > 0) --depth_;
  Lines.push_back("clipreset");
}

}  // namespace px
