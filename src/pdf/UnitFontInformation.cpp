#include "pdf/UnitFontInformation.h"

#include <algorithm>
#include <cstring>

namespace px {

namespace {

constexpr const char* kBasicError = "TFontInformation: Error while reading truetype basic information";
constexpr const char* kNamesError = "TFontInformation: Error while reading truetype name information";
constexpr const char* kCMapError = "TFontInformation: Error while reading truetype cmap information";
constexpr const char* kKerningError = "TFontInformation: Error while reading truetype kerning information";
constexpr const char* kWidthsError = "TFontInformation: Error while reading truetype width information";
constexpr const char* kLocaError = "GetGlyph: Truetype loca table corrupt.";

// Composite glyphs nest only a few levels in real fonts.
constexpr int kMaxComponentDepth = 16;

uint16_t be16(const TBytes& b, size_t at) { return uint16_t(b[at] << 8 | b[at + 1]); }
uint32_t be32(const TBytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// value x units / unitsPerEm rounded as MulDiv does, for running totals that
// may leave 32 bits.
int64_t scaleRounded(int64_t value, int32_t units, int32_t unitsPerEm) {
  if (unitsPerEm == 0) return 0;
  __int128 p = __int128(value) * units;
  __int128 q = unitsPerEm;
  bool negative = (p < 0) != (q < 0);
  if (p < 0) p = -p;
  if (q < 0) q = -q;
  __int128 r = (p + q / 2) / q;
  return int64_t(negative ? -r : r);
}

}  // namespace

TFontInformation::TFontInformation(std::string_view faceName, int32_t weight, bool italic, uint32_t flags) {
  Assert(faceName.size() < size_t(LF_FACESIZE), "Face name too long");
  TLogFontW lf;
  lf.lfWeight = weight;
  lf.lfItalic = italic ? 1 : 0;
  SetLogFontFaceName(lf, faceName);
  dc_ = std::make_shared<TFontContext>(lf);
  load(flags);
}

TFontInformation::TFontInformation(const TLogFontW& logFont, uint32_t flags) {
  dc_ = std::make_shared<TFontContext>(logFont);
  load(flags);
}

TFontInformation::TFontInformation(const TLogFontA& logFont, uint32_t flags) {
  dc_ = std::make_shared<TFontContext>(logFont);
  load(flags);
}

void TFontInformation::load(uint32_t flags) {
  if (flags & (fiWidths | fiMetrics)) flags |= fiBasic;
  if (flags & (fiWidths | fiKerning | fiMetrics)) flags |= fiCMap;
  TTextMetric tm;
  if (!dc_->Valid() || !GetTextMetrics(*dc_, tm)) throw ENoTrueTypeFont("TFontInformation: Font is not a TrueType font");
  if (!(tm.tmPitchAndFamily & TMPF_TRUETYPE)) {
    bool vector = (tm.tmPitchAndFamily & TMPF_VECTOR) != 0;
    bool readable = vector && GetTable("head", 0, 54).size() == 54 && GetTable("OS/2", 0, 78).size() == 78 &&
                    GetTable("post", 0, 32).size() == 32 && GetTable("hhea", 0, 36).size() == 36 &&
                    GetTable("maxp", 0, 6).size() == 6;
    if (!readable) throw ENoTrueTypeFont("TFontInformation: Font is not a TrueType font");
  }
  if (flags & fiBasic) loadBasic();
  if (flags & fiNames) loadNames();
  if (flags & fiCMap) loadCMap();
  if (flags & fiKerning) loadKerning();
  if (flags & fiWidths) loadWidths();
  if (flags & fiMetrics) loadMetrics();
}

TBytes TFontInformation::GetTable(uint32_t tag, uint32_t offset, uint32_t size) const {
  if (size == 0) {
    uint32_t full = GetFontData(*dc_, tag, 0, nullptr, 0);
    if (full == GDI_ERROR || offset >= full) return {};
    size = full - offset;
  }
  TBytes bytes(size);
  if (GetFontData(*dc_, tag, offset, bytes.data(), size) != size) return {};
  return bytes;
}

TBytes TFontInformation::GetTable(std::string_view tag, uint32_t offset, uint32_t size) const {
  auto t = TTTag(tag);
  return GetTable(FontTableTag(char(t[0]), char(t[1]), char(t[2]), char(t[3])), offset, size);
}

void TFontInformation::loadBasic() {
  TBytes head = GetTable("head", 0, 54), os2 = GetTable("OS/2", 0, 78), post = GetTable("post", 0, 32),
         hhea = GetTable("hhea", 0, 36), maxp = GetTable("maxp", 0, 6);
  if (head.size() != 54 || os2.size() != 78 || post.size() != 32 || hhea.size() != 36 || maxp.size() != 6)
    throw EFontInformationException(kBasicError);
  UnpackRecord(head, 0, 54, &Head, tplHead);
  UnpackRecord(os2, 0, 78, &OS2, tplOS2);
  UnpackRecord(post, 0, 32, &Post, tplPost);
  UnpackRecord(hhea, 0, 36, &Hhea, tplHhea);
  UnpackRecord(maxp, 0, 6, &Maxp, tplMaxpShort);
  // Every scaled figure divides by the em size.
  if (Head.unitsPerEm == 0) throw EFontInformationException(kBasicError);
  UnitsPerEm = Head.unitsPerEm;
  IndexToLocFormat = Head.indexToLocFormat;
  NumberOfHMetrics = Hhea.numberOfHMetrics;
  NumGlyphs = Maxp.numGlyphs;
  if (OS2.version >= 2) {
    TBytes tail = GetTable("OS/2", 86, 10);
    if (tail.size() == 10) UnpackRecord(tail, 0, 10, &OS2Version2, tplOS2Version2);
  }
}

void TFontInformation::loadNames() {
  TBytes name = GetTable("name", 0, 0);
  if (name.size() < 6) throw EFontInformationException(kNamesError);
  uint16_t count = be16(name, 2);
  size_t strings = be16(name, 4);
  if (size_t(count) * 12 > name.size() - 6) throw EFontInformationException(kNamesError);
  for (uint16_t i = 0; i < count; ++i) {
    TTNameRecord r;
    UnpackRecord(name, 6 + size_t(i) * 12, 12, &r, tplNameRecord);
    if (r.platformID != 3 || (r.encodingID != 1 && r.encodingID != 0) || r.nameID > 6) continue;
    if (!Names[r.nameID].empty()) continue;
    size_t at = strings + r.offset;
    if (at > name.size() || r.length > name.size() - at) throw EFontInformationException(kNamesError);
    UnicodeString s;
    for (size_t k = 0; k + 1 < r.length; k += 2) s.push_back(char16_t(be16(name, at + k)));
    Names[r.nameID] = std::move(s);
  }
  if (Names[1].empty() || Names[6].empty()) throw EFontInformationException(kNamesError);
}

void TFontInformation::loadCMap() {
  TBytes cmap = GetTable("cmap", 0, 0);
  if (cmap.size() <= 3 || be16(cmap, 0) != 0) throw EFontInformationException(kCMapError);
  uint16_t count = be16(cmap, 2);
  for (uint16_t i = 0; i < count; ++i) {
    size_t rec = 4 + size_t(i) * 8;
    if (rec + 8 > cmap.size()) throw EFontInformationException(kCMapError);
    TTCmapEncoding e;
    UnpackRecord(cmap, rec, 8, &e, tplCmapEncoding);
    if (e.platformID != 3 || (e.encodingID != 1 && e.encodingID != 0)) continue;
    if (e.offset > cmap.size() || cmap.size() - e.offset < 6) throw EFontInformationException(kCMapError);
    TTCmapSubtableHead h;
    UnpackRecord(cmap, e.offset, 6, &h, tplCmapSubtableHead);
    if (h.format != 4) continue;
    if (h.length < 14 || h.length > cmap.size() - e.offset) throw EFontInformationException(kCMapError);
    size_t words = (h.length - 14) / 2;
    SegCount = be16(cmap, e.offset + 6) / 2;
    if (words < size_t(4 * SegCount + 1)) throw EFontInformationException(kCMapError);
    CMapWords.resize(words);
    for (size_t k = 0; k < words; ++k) CMapWords[k] = be16(cmap, e.offset + 14 + 2 * k);
    StartCodeIndex = SegCount + 1;
    IdDeltaIndex = 2 * SegCount + 1;
    IdRangeOffsetIndex = 3 * SegCount + 1;
    return;
  }
  throw EFontInformationException(kCMapError);
}

void TFontInformation::loadKerning() {
  KerningPairs.clear();
  TBytes kern = GetTable("kern", 0, 0);
  if (kern.size() <= 3 || be16(kern, 0) != 0) return;
  uint16_t count = be16(kern, 2);
  size_t at = 4;
  for (uint16_t i = 0; i < count; ++i) {
    if (at > kern.size() || kern.size() - at < 6) throw EFontInformationException(kKerningError);
    TTKernSubtableHeader h;
    UnpackRecord(kern, at, 6, &h, tplKernSubtableHeader);
    // A subtable shorter than its own header would keep the walk in place.
    if (h.length < 6) throw EFontInformationException(kKerningError);
    if (h.version == 0 && h.coverage == 1) {
      if (kern.size() - at < 14) throw EFontInformationException(kKerningError);
      TTKernFormat0Head f;
      UnpackRecord(kern, at + 6, 8, &f, tplKernFormat0Head);
      // The 16-bit length of a large subtable wraps, so the pairs are checked
      // against the table instead.
      if (size_t(f.nPairs) * 6 > kern.size() - at - 14) throw EFontInformationException(kKerningError);
      KerningPairs.resize(f.nPairs);
      for (size_t k = 0; k < f.nPairs; ++k) {
        TTKernPair p;
        UnpackRecord(kern, at + 14 + 6 * k, 6, &p, tplKernPair);
        KerningPairs[k] = {p.left, p.right, p.value};
      }
    }
    at += h.length;
  }
  // Lookups search by (left, right); a font that lists its pairs out of order
  // still finds them.
  std::stable_sort(KerningPairs.begin(), KerningPairs.end(), [](const TKerningPair& a, const TKerningPair& b) {
    return a.Left != b.Left ? a.Left < b.Left : a.Right < b.Right;
  });
}

void TFontInformation::loadWidths() {
  AdvanceWidths.clear();
  if (NumberOfHMetrics == 0) return;
  TBytes hmtx = GetTable("hmtx", 0, uint32_t(NumberOfHMetrics) * 4);
  if (hmtx.size() != size_t(NumberOfHMetrics) * 4) throw EFontInformationException(kWidthsError);
  AdvanceWidths.resize(NumberOfHMetrics);
  for (size_t i = 0; i < NumberOfHMetrics; ++i) AdvanceWidths[i] = be16(hmtx, 4 * i);
}

void TFontInformation::loadMetrics() {
  bool outlines = GetFontData(*dc_, FontTableTag('g', 'l', 'y', 'f'), 0, nullptr, 0) != GDI_ERROR &&
                  GetFontData(*dc_, FontTableTag('l', 'o', 'c', 'a'), 0, nullptr, 0) != GDI_ERROR;
  if (!outlines) {
    // CFF outlines: the heights the font states (0 before OS/2 version 2); no stems.
    CapHeight = OS2Version2.sCapHeight;
    XHeight = OS2Version2.sxHeight;
    StemV = StemH = 0;
    return;
  }
  int32_t limit = 4 * int32_t(UnitsPerEm);
  TGlyphEvaluator l(GlyphOutline(GlyphIndex(u'l')), geHorizontal, limit);
  StemV = l.HorizontalStem;
  TGlyphEvaluator e(GlyphOutline(GlyphIndex(u'E')), geVertical, limit);
  StemH = e.VerticalStem;
  CapHeight = e.MaxY;
  TGlyphEvaluator x(GlyphOutline(GlyphIndex(u'x')), 0, limit);
  XHeight = x.MaxY;
}

// ---------------------------------------------------------------------------

uint16_t TFontInformation::GlyphIndex(uint16_t code) const {
  if (SegCount == 0 || CMapWords.empty()) return 0;
  size_t lo = 0, hi = size_t(SegCount);
  while (lo < hi) {  // first segment whose endCode is not below the code
    size_t mid = (lo + hi) / 2;
    if (CMapWords[mid] < code) lo = mid + 1;
    else hi = mid;
  }
  if (lo >= size_t(SegCount)) return 0;
  uint16_t start = CMapWords[size_t(StartCodeIndex) + lo];
  if (code < start) return 0;
  uint16_t delta = CMapWords[size_t(IdDeltaIndex) + lo];
  uint16_t rangeOffset = CMapWords[size_t(IdRangeOffsetIndex) + lo];
  if (rangeOffset == 0) return uint16_t(code + delta);
  size_t index = size_t(IdRangeOffsetIndex) + lo + rangeOffset / 2 + (code - start);
  if (index >= CMapWords.size()) return 0;
  uint16_t glyph = CMapWords[index];
  return glyph == 0 ? 0 : uint16_t(glyph + delta);
}

int32_t TFontInformation::GlyphWidth(uint32_t glyph, int32_t units) const {
  if (AdvanceWidths.empty()) return 0;
  uint16_t advance = AdvanceWidths[std::min<size_t>(glyph, AdvanceWidths.size() - 1)];
  return MulDiv(advance, units, UnitsPerEm);
}

int32_t TFontInformation::CharWidth(uint16_t code, int32_t units) const { return GlyphWidth(GlyphIndex(code), units); }

int16_t TFontInformation::Kerning(uint16_t left, uint16_t right) const {
  auto it = std::lower_bound(KerningPairs.begin(), KerningPairs.end(), std::make_pair(left, right),
                             [](const TKerningPair& p, const std::pair<uint16_t, uint16_t>& k) {
                               return p.Left != k.first ? p.Left < k.first : p.Right < k.second;
                             });
  return it != KerningPairs.end() && it->Left == left && it->Right == right ? it->Value : 0;
}

std::vector<int32_t> TFontInformation::TextAdvances(std::u16string_view text, int32_t units, int32_t extra) const {
  std::vector<int32_t> result(text.size());
  if (text.empty()) return result;
  size_t lastAdvance = AdvanceWidths.empty() ? 0 : AdvanceWidths.size() - 1;
  int64_t total = 0, previous = 0;
  uint16_t glyph = GlyphIndex(text[0]);
  for (size_t i = 0; i < text.size(); ++i) {
    if (!AdvanceWidths.empty()) total += AdvanceWidths[std::min<size_t>(glyph, lastAdvance)];
    uint16_t next = 0;
    if (i + 1 < text.size()) {
      next = GlyphIndex(text[i + 1]);
      if (!KerningPairs.empty()) total += Kerning(glyph, next);
    }
    int64_t position = scaleRounded(total, units, UnitsPerEm);
    result[i] = int32_t(position - previous + extra);
    previous = position;
    glyph = next;
  }
  return result;
}

TBytes TFontInformation::GetGlyph(uint32_t glyph) const {
  if (glyph >= NumGlyphs) return {};
  uint32_t offset = 0, next = 0;
  if (IndexToLocFormat == 0) {
    TBytes loca = GetTable("loca", glyph * 2, 4);
    if (loca.size() != 4) throw EFontInformationException(kLocaError);
    offset = uint32_t(be16(loca, 0)) * 2;
    next = uint32_t(be16(loca, 2)) * 2;
  } else if (IndexToLocFormat == 1) {
    TBytes loca = GetTable("loca", glyph * 4, 8);
    if (loca.size() != 8) throw EFontInformationException(kLocaError);
    offset = be32(loca, 0);
    next = be32(loca, 4);
  } else {
    throw EFontInformationException("GetGlyph: Truetype head table corrupt.");
  }
  // Offsets run forwards; one below its predecessor would make a huge length.
  if (next < offset) throw EFontInformationException(kLocaError);
  if (next == offset) return {};
  TBytes data = GetTable("glyf", offset, next - offset);
  if (data.size() != next - offset) throw EFontInformationException(kLocaError);
  return data;
}

TEvaluatedGlyph TFontInformation::GlyphOutline(uint32_t glyph) const {
  TEvaluatedGlyph out;
  TGlyphInformation top = ParseGlyph(GetGlyph(glyph));
  out.XMin = top.Header.xMin;
  out.YMin = top.Header.yMin;
  out.XMax = top.Header.xMax;
  out.YMax = top.Header.yMax;
  std::vector<uint32_t> path;
  emitOutline(glyph, 0, 0, 0, path, out);
  return out;
}

void TFontInformation::emitOutline(uint32_t glyph, int32_t dx, int32_t dy, int depth, std::vector<uint32_t>& path,
                                   TEvaluatedGlyph& out) const {
  // A composite that contains itself, directly or through others, would never end.
  if (depth > kMaxComponentDepth || std::find(path.begin(), path.end(), glyph) != path.end())
    throw EFontInformationException("GlyphOutline: Truetype composite glyph nested too deeply or cyclic.");
  TGlyphInformation g = ParseGlyph(GetGlyph(glyph));
  if (g.Composite()) {
    path.push_back(glyph);
    for (const TGlyphComponent& c : g.Components) {
      if (!(c.Flags & 2))
        throw EFontInformationException("GlyphOutline: Truetype components positioned by points are not supported.");
      emitOutline(c.GlyphIndex, dx + c.Argument1, dy + c.Argument2, depth + 1, path, out);
    }
    path.pop_back();
    return;
  }
  size_t contours = g.ContourStarts.empty() ? 0 : g.ContourStarts.size() - 1;
  for (size_t k = 0; k < contours; ++k) {
    size_t s = size_t(g.ContourStarts[k]), e = size_t(g.ContourStarts[k + 1]) - 1;
    TEvaluatedContour c;
    auto on = [&](size_t i) { return (g.Flags[i] & 1) != 0; };
    auto point = [&](size_t i) { return TEvaluatedPoint{g.X[i] + dx, g.Y[i] + dy, uint8_t(g.Flags[i] & 1)}; };
    auto mid = [&](size_t a, size_t b) {
      return TEvaluatedPoint{(g.X[a] + g.X[b]) / 2 + dx, (g.Y[a] + g.Y[b]) / 2 + dy, 1};
    };
    bool startsWithEnd = false;
    if (!on(s)) {
      if (on(e)) {
        c.push_back(point(e));
        startsWithEnd = true;
      } else {
        c.push_back(mid(s, e));
      }
    }
    for (size_t j = s; j < e; ++j) {
      c.push_back(point(j));
      if (!on(j) && !on(j + 1)) c.push_back(mid(j, j + 1));
    }
    c.push_back(point(e));
    if (!startsWithEnd) c.push_back(c.front());
    out.Contours.push_back(std::move(c));
  }
}

}  // namespace px
