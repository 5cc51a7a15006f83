#include "pdf/gui/UnitFontEmbedding.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <exception>

#include "pdf/UnitFontConstants.h"
#include "pdf/UnitFontInformation.h"
#include "platform/core/Debug.h"
#include "platform/gui/FontResources.h"

namespace px {

namespace {

std::atomic<uint32_t> gFaceCounter{0};

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, uint16_t(v >> 16));
  Put16(p + 2, uint16_t(v));
}

// The tables of a program being rebuilt: replaced tables keep their bytes here.
struct TTableStore {
  TTFontTables list;
  std::deque<TBytes> owned;

  std::span<const uint8_t> Get(std::string_view tag) const {
    int32_t i = FindTable(list, tag);
    if (i < 0) return {};
    return {list[size_t(i)].Data, list[size_t(i)].Length};
  }
  void Set(std::string_view tag, TBytes bytes) {
    owned.push_back(std::move(bytes));
    const TBytes& b = owned.back();
    int32_t i = FindTable(list, tag);
    if (i < 0) {
      AddTable(list, tag, uint32_t(b.size()), b.data());
    } else {
      list[size_t(i)].Length = uint32_t(b.size());
      list[size_t(i)].Data = b.data();
    }
  }
};

template <typename T>
TBytes Packed(const T& record, TFieldTemplate tmpl, size_t size) {
  TBytes out(size, 0);
  PackRecord(&record, out.data(), tmpl);
  return out;
}

}  // namespace

uint32_t EmbeddedFontCounter() { return gFaceCounter.load(); }

TEmbeddedFont::~TEmbeddedFont() {
  if (handle_) RemoveFontMemResourceEx(handle_);
}

void TEmbeddedFont::MakeFaceName(std::string_view family) {
  std::string name;
  for (char ch : family)
    if (uint8_t(ch) >= 32) name += ch;
  size_t plus = name.find('+');
  if (plus != std::string::npos) name.erase(0, plus + 1);
  name = "AAAAAA+" + name;
  if (name.size() > 31) name.resize(31);
  if (name.size() == 7) name += "Unknown";
  uint32_t c = ++gFaceCounter;
  for (int m = 0; m < 6; ++m) {
    name[size_t(m)] = char('A' + c % 26);
    c /= 26;
  }
  faceName_ = name;
}

bool TEmbeddedFont::Install(TBytes data) {
  handle_ = AddFontMemResourceEx(data.data(), data.size());
  if (!handle_) {
    OutputDebugString("Embedded font " + faceName_ + " was refused by the text engine.");
    return false;
  }
  fontData_ = std::move(data);
  return true;
}

bool TEmbeddedFont::FillLogFont(TLogFontA& font) const {
  if (!IsInstalled()) return false;
  size_t n = std::min(faceName_.size(), size_t(LF_FACESIZE - 1));
  std::memcpy(font.lfFaceName, faceName_.data(), n);
  font.lfFaceName[n] = 0;
  if (symbol_) font.lfCharSet = DEFAULT_CHARSET;
  if (italic_ != 0) font.lfItalic = italic_ == 2 ? 1 : 0;
  if (weight_ != 0) font.lfWeight = weight_;
  return true;
}

std::vector<uint16_t> TEmbeddedFont::GlyphNameToUnicode(std::string_view name, bool quiet) const {
  return px::GlyphNameToUnicode(name, quiet);
}

// ---------------------------------------------------------------------------
// TrueType

TEmbeddedTTFont::TEmbeddedTTFont(const TBytes& fontFile, bool allowSymbolic, std::string_view baseFontName) {
  try {
    if (!Rebuild(fontFile, allowSymbolic, baseFontName)) OutputDebugString("Unable to use embedded TrueType fontfile.");
  } catch (const std::exception& e) {
    OutputDebugString(std::string("Unable to use embedded TrueType fontfile: ") + e.what());
  }
}

bool TEmbeddedTTFont::Rebuild(const TBytes& fontFile, bool allowSymbolic, std::string_view baseFontName) {
  TTableStore t;
  t.list = ParseTableDirectory(fontFile);
  auto headBytes = t.Get("head");
  auto maxpBytes = t.Get("maxp");
  if (headBytes.size() < 54 || maxpBytes.size() < 32) {
    OutputDebugString("TrueType fontfile lacks a usable head or maxp table.");
    return false;
  }
  TTHeadTable head{};
  UnpackRecord(headBytes, 0, 54, &head, tplHead);
  TTMaxpShort maxp{};
  UnpackRecord(maxpBytes, 0, 6, &maxp, tplMaxpShort);
  const uint32_t numGlyphs = maxp.numGlyphs;

  // Character map: a Windows Unicode or symbol subtable is kept; a Macintosh
  // byte map found before it is rebuilt as a symbol cmap.
  auto cmap = t.Get("cmap");
  bool haveByteMap = false;
  bool usable = false;
  if (cmap.size() >= 4) {
    uint32_t count = Get16(cmap.data() + 2);
    for (uint32_t i = 0; i < count && 4 + (i + 1) * 8 <= cmap.size(); ++i) {
      const uint8_t* rec = cmap.data() + 4 + i * 8;
      uint16_t platform = Get16(rec), encoding = Get16(rec + 2);
      uint64_t off = Get32(rec + 4);
      if (off + 6 > cmap.size()) continue;
      const uint8_t* sub = cmap.data() + off;
      uint64_t room = cmap.size() - off;
      uint16_t format = Get16(sub);
      if (platform == 3 && format == 4 && (encoding == 0 || encoding == 1)) {
        uint64_t length = Get16(sub + 2);
        if (length > room || length < 14) continue;
        uint32_t segX2 = Get16(sub + 6);
        if (segX2 < 2 || 16 + 2ull * segX2 > length) continue;
        uint32_t segs = segX2 / 2;
        uint16_t first = 0xFFFF, last = 0;
        for (uint32_t s = 0; s + 1 < segs; ++s) {
          uint16_t end = Get16(sub + 14 + 2 * s);
          uint16_t start = Get16(sub + 16 + segX2 + 2 * s);
          first = std::min(first, start);
          last = std::max(last, end);
        }
        if (first > last) first = last = 0;
        kind_ = encoding == 1 ? TEmbeddedCMapKind::Unicode : TEmbeddedCMapKind::Symbol;
        firstCode_ = first;
        lastCode_ = last;
        usable = true;
        break;
      }
      if (platform == 1 && format == 0 && room >= 262) {
        std::copy(sub + 6, sub + 262, byteMap_.begin());
        haveByteMap = true;
      } else if (platform == 1 && format == 6 && room >= 10) {
        uint32_t firstCode = Get16(sub + 6), entries = Get16(sub + 8);
        if (10 + 2ull * entries > room) continue;
        byteMap_.fill(0);
        for (uint32_t e = 0; e < entries && firstCode + e < 256; ++e) {
          uint16_t glyph = Get16(sub + 10 + 2 * e);
          byteMap_[firstCode + e] = glyph < 256 ? uint8_t(glyph) : 0;
        }
        haveByteMap = true;
      }
    }
  }
  if (!usable) {
    TBuiltCMap built;
    if (haveByteMap) {
      built = BuildByteCMap(byteMap_);
    } else if (allowSymbolic) {
      // Also taken when a cmap exists but none of its subtables can be used.
      built = BuildSymbolCMap(numGlyphs);
    } else {
      OutputDebugString("TrueType fontfile has no usable cmap.");
      return false;
    }
    kind_ = TEmbeddedCMapKind::Symbol;
    firstCode_ = built.FirstCode;
    lastCode_ = built.LastCode;
    t.Set("cmap", WordsToBytes(built.Words));
  }

  // Names: the unique face name, the style after the first comma.
  std::string_view family = baseFontName, style = "Regular";
  if (size_t comma = baseFontName.find(','); comma != std::string_view::npos) {
    family = baseFontName.substr(0, comma);
    style = baseFontName.substr(comma + 1);
  }
  MakeFaceName(family);
  t.Set("name", WordsToBytes(BuildNameTable(faceName_, style, "", head.fontRevision,
                                            kind_ == TEmbeddedCMapKind::Symbol)));

  auto post = t.Get("post");
  if (post.size() < 32) {
    TTPostTable p{};
    p.format = 0x00030000;
    t.Set("post", Packed(p, tplPost, 32));
    italic_ = 1;
  } else {
    italic_ = Get32(post.data() + 4) != 0 ? 2 : 1;
  }

  auto hheaBytes = t.Get("hhea");
  if (hheaBytes.size() < 36) {
    OutputDebugString("TrueType fontfile lacks a usable hhea table.");
    return false;
  }
  TTHheaTable hhea{};
  UnpackRecord(hheaBytes, 0, 36, &hhea, tplHhea);

  // OS/2: read what is there, generate what is missing, mend the rest.
  TTOS2Table os2{};
  TTOS2CodePages pages{};
  TTOS2Version2 v2{};
  auto os2Bytes = t.Get("OS/2");
  if (os2Bytes.size() < 78) {
    os2.usWidthClass = 5;
  } else {
    UnpackRecord(os2Bytes, 0, 78, &os2, tplOS2);
    if (os2Bytes.size() < 86) {
      os2.version = 0;
    } else {
      UnpackRecord(os2Bytes, 78, 8, &pages, tplOS2CodePages);
      if (os2Bytes.size() < 96) {
        os2.version = 1;
      } else {
        os2.version = std::min<uint16_t>(os2.version, 4);
        UnpackRecord(os2Bytes, 86, 10, &v2, tplOS2Version2);
      }
    }
  }
  os2.fsType = 0;
  if (kind_ == TEmbeddedCMapKind::Symbol) {
    os2.panose[0] = 5;
    os2.panose[2] = 1;
    os2.panose[4] = 1;
    os2.ulUnicodeRange1 = os2.ulUnicodeRange2 = os2.ulUnicodeRange3 = os2.ulUnicodeRange4 = 0;
    pages.ulCodePageRange1 = 0x80000000u;
    pages.ulCodePageRange2 = 0;
    if (os2.version < 3) {
      os2.version = 3;
      v2 = {};
    }
  }
  os2.fsSelection = uint16_t((os2.fsSelection & ~0x21u) | ((head.macStyle & 1) ? 0x20 : 0) |
                             ((head.macStyle & 2) ? 0x01 : 0));
  const int32_t upem = head.unitsPerEm;
  if (os2.usWinAscent == 0 && os2.usWinDescent == 0) {
    os2.usWinAscent = uint16_t(upem);
    os2.usWinDescent = uint16_t(-hhea.descender);
  }
  if (os2.sTypoAscender == 0 && os2.sTypoDescender == 0) {
    os2.sTypoAscender = int16_t(upem * 8 / 10);
    os2.sTypoDescender = int16_t(upem * 8 / 10 - upem);
  }
  for (int16_t* size : {&os2.ySubscriptXSize, &os2.ySubscriptYSize, &os2.ySuperscriptXSize, &os2.ySuperscriptYSize})
    if (*size == 0) *size = int16_t(MulDiv(upem, 2, 3));
  if (os2.yStrikeoutPosition == 0) os2.yStrikeoutPosition = int16_t(MulDiv(upem, 1, 3));
  if (os2.xAvgCharWidth == 0) os2.xAvgCharWidth = int16_t(MulDiv(upem, 1, 2));
  os2.usFirstCharIndex = firstCode_;
  os2.usLastCharIndex = lastCode_;
  {
    size_t size = os2.version == 0 ? 78 : os2.version == 1 ? 86 : 96;
    TBytes out(size, 0);
    PackRecord(&os2, out.data(), tplOS2);
    if (size >= 86) PackRecord(&pages, out.data() + 78, tplOS2CodePages);
    if (size >= 96) PackRecord(&v2, out.data() + 86, tplOS2Version2);
    t.Set("OS/2", std::move(out));
  }
  if (os2.usWeightClass >= 1 && os2.usWeightClass <= 1000) weight_ = os2.usWeightClass;

  // hmtx must hold every metric the header promises.
  {
    auto hmtx = t.Get("hmtx");
    size_t need = 2ull * numGlyphs + 2ull * hhea.numberOfHMetrics;
    if (hmtx.size() < need) {
      TBytes out(need, 0);
      std::copy(hmtx.begin(), hmtx.end(), out.begin());
      t.Set("hmtx", std::move(out));
    }
  }

  // loca: required; made monotonic and kept inside glyf.
  auto loca = t.Get("loca");
  auto glyf = t.Get("glyf");
  const bool longLoca = head.indexToLocFormat != 0;
  const size_t entry = longLoca ? 4 : 2;
  if (loca.size() < (size_t(numGlyphs) + 1) * entry) {
    OutputDebugString("TrueType fontfile lacks a usable loca table.");
    return false;
  }
  TBytes newLoca(loca.begin(), loca.end());
  uint64_t previous = 0;
  bool haveBounds = false;
  int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  for (uint32_t g = 0; g <= numGlyphs; ++g) {
    uint8_t* p = newLoca.data() + g * entry;
    uint64_t off = longLoca ? Get32(p) : uint64_t(Get16(p)) * 2;
    off = std::clamp<uint64_t>(off, previous, glyf.size());
    if (longLoca) Put32(p, uint32_t(off)); else Put16(p, uint16_t(off / 2));
    if (g > 0 && off - previous >= 10) {
      const uint8_t* gh = glyf.data() + previous;
      int16_t b[4] = {int16_t(Get16(gh + 2)), int16_t(Get16(gh + 4)), int16_t(Get16(gh + 6)), int16_t(Get16(gh + 8))};
      if (!haveBounds) {
        xMin = b[0], yMin = b[1], xMax = b[2], yMax = b[3];
        haveBounds = true;
      } else {
        xMin = std::min(xMin, b[0]), yMin = std::min(yMin, b[1]);
        xMax = std::max(xMax, b[2]), yMax = std::max(yMax, b[3]);
      }
    }
    // Odd offsets of the short format cannot be written back; keep them even.
    previous = longLoca ? off : off & ~uint64_t(1);
  }
  t.Set("loca", std::move(newLoca));
  if (haveBounds) {
    head.xMin = xMin, head.yMin = yMin, head.xMax = xMax, head.yMax = yMax;
  }
  if ((head.flags & 0x10) && (t.Get("hdmx").empty() || t.Get("LTSH").empty())) head.flags &= uint16_t(~0x10u);
  t.Set("head", Packed(head, tplHead, 54));

  if (!Install(BuildTTFontData(t.list, false))) return false;
  symbol_ = kind_ == TEmbeddedCMapKind::Symbol;
  return true;
}

}  // namespace px
