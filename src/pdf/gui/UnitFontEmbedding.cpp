#include "pdf/gui/UnitFontEmbedding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <atomic>
#include <cstring>
#include <deque>
#include <exception>

#include "pdf/UnitFontConstants.h"
#include "pdf/UnitFontInformation.h"
#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Format.h"
#include "platform/core/NumberConversion.h"
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

// ---------------------------------------------------------------------------
// CFF

namespace px {

namespace {

struct TCFFParsedIndex {
  struct Item {
    size_t Start = 0, Length = 0;
  };
  std::vector<Item> Items;
  size_t End = 0;  // first byte after the INDEX
};

// Every offset is checked: out of order or outside the data refuses the font.
bool ParseIndex(std::span<const uint8_t> d, size_t pos, TCFFParsedIndex& index) {
  index = {};
  if (pos + 2 > d.size()) return false;
  uint32_t count = Get16(d.data() + pos);
  if (count == 0) {
    index.End = pos + 2;
    return true;
  }
  if (pos + 3 > d.size()) return false;
  uint32_t offSize = d[pos + 2];
  if (offSize < 1 || offSize > 4) throw Exception(Format("Unsupported offset size: %d.", int(offSize)));
  size_t offsets = pos + 3;
  if (offsets + (size_t(count) + 1) * offSize > d.size()) return false;
  size_t base = offsets + (size_t(count) + 1) * offSize - 1;
  auto offsetAt = [&](uint32_t i) {
    uint32_t v = 0;
    for (uint32_t k = 0; k < offSize; ++k) v = v << 8 | d[offsets + size_t(i) * offSize + k];
    return size_t(v);
  };
  size_t previous = offsetAt(0);
  if (previous != 1) return false;
  for (uint32_t i = 1; i <= count; ++i) {
    size_t next = offsetAt(i);
    if (next < previous || base + next > d.size()) return false;
    index.Items.push_back({base + previous, next - previous});
    previous = next;
  }
  index.End = base + previous;
  return true;
}

struct TDictValue {
  double Value = 0;
  bool Real = false;
};
using TDict = std::map<int, std::vector<TDictValue>>;  // 12 x operators as 1200 + x

TDict ParseDict(std::span<const uint8_t> d) {
  TDict dict;
  std::vector<TDictValue> operands;
  size_t i = 0;
  while (i < d.size()) {
    uint8_t b0 = d[i];
    if (b0 <= 21) {
      int op = b0;
      ++i;
      if (b0 == 12) {
        if (i >= d.size()) break;
        op = 1200 + d[i++];
      }
      switch (op) {
        case 0: case 1: case 2: case 3: case 4: case 5: case 13: case 15: case 16: case 17: case 18: case 19:
        case 20: case 21: case 1200: case 1201: case 1202: case 1203: case 1204: case 1207: case 1221: case 1222:
        case 1230: case 1234: case 1236: case 1237:
          dict[op] = operands;
          break;
        case 1231: OutputDebugString("CIDFontVersion"); break;
        case 1232: OutputDebugString("CIDFontRevision"); break;
        case 1233: OutputDebugString("CIDFontType"); break;
        default:
          if ((op >= 6 && op <= 11) || op == 14 || (op >= 1209 && op <= 1215) || op == 1217 || op == 1235 || op == 1238)
            break;
          OutputDebugString(op >= 1200 ? Format("Operand 12 %d", op - 1200) : Format("Operand %d", op));
      }
      operands.clear();
      continue;
    }
    if (operands.size() >= 48) throw Exception("CFF DICT holds more than 48 operands.");
    if (b0 == 28 && i + 3 <= d.size()) {
      operands.push_back({double(int16_t(Get16(d.data() + i + 1))), false});
      i += 3;
    } else if (b0 == 29 && i + 5 <= d.size()) {
      operands.push_back({double(int32_t(Get32(d.data() + i + 1))), false});
      i += 5;
    } else if (b0 == 30) {
      std::string text;
      ++i;
      bool done = false;
      while (i < d.size() && !done) {
        uint8_t byte = d[i++];
        for (uint8_t nibble : {uint8_t(byte >> 4), uint8_t(byte & 15)}) {
          if (done) break;
          if (nibble <= 9) text += char('0' + nibble);
          else if (nibble == 0xA) text += '.';
          else if (nibble == 0xB) text += "E";
          else if (nibble == 0xC) text += "E-";
          else if (nibble == 0xE) text += "-";
          else if (nibble == 0xF) done = true;
        }
      }
      // The format's decimal point is a point in every locale; a real that
      // is no number or too large for a double counts as 0.
      double v = 0;
      if (!TryInvariantStrToFloat(text, v)) v = 0;
      operands.push_back({v, true});
    } else if (b0 >= 32 && b0 <= 246) {
      operands.push_back({double(b0 - 139), false});
      ++i;
    } else if (b0 >= 247 && b0 <= 250 && i + 2 <= d.size()) {
      operands.push_back({double((b0 - 247) * 256 + d[i + 1] + 108), false});
      i += 2;
    } else if (b0 >= 251 && b0 <= 254 && i + 2 <= d.size()) {
      operands.push_back({double(-(b0 - 251) * 256 - d[i + 1] - 108), false});
      i += 2;
    } else {
      break;  // 31, 255, reserved or cut short: the DICT ends here
    }
  }
  return dict;
}

// A value the font uses as a whole number. The format lets any number stand
// there, and writers put reals into the widths (333.3333333333), so a real
// is rounded rather than refused.
int32_t DictInt(const TDict& dict, int op, int32_t fallback, size_t index = 0) {
  auto it = dict.find(op);
  if (it == dict.end() || index >= it->second.size()) return fallback;
  const double value = it->second[index].Value;
  if (!it->second[index].Real) return int32_t(value);
  if (!(value == value)) return fallback;
  return int32_t(std::lround(std::clamp(value, double(INT32_MIN), double(INT32_MAX))));
}

double DictReal(const TDict& dict, int op, double fallback, size_t index = 0) {
  auto it = dict.find(op);
  if (it == dict.end() || index >= it->second.size()) return fallback;
  return it->second[index].Value;
}

// The advance of a Type 2 charstring: the extra first operand of the first
// operator that clears the stack, else the default width. Subroutines are
// followed (to a bounded depth), since subset writers often move a glyph's
// first hints into one.
struct TWidthScan {
  std::span<const uint8_t> data;
  std::vector<TCFFParsedIndex::Item> local, global;
  std::vector<double> stack;
  int32_t width = 0;
  bool done = false;

  static int32_t Bias(size_t count) { return count < 1240 ? 107 : count < 33900 ? 1131 : 32768; }

  void Run(std::span<const uint8_t> cs, int depth, int32_t nominalWidth) {
    size_t i = 0;
    while (i < cs.size() && !done) {
      uint8_t b0 = cs[i];
      if (b0 == 28 && i + 3 <= cs.size()) {
        stack.push_back(int16_t(Get16(cs.data() + i + 1)));
        i += 3;
      } else if (b0 >= 32 && b0 <= 246) {
        stack.push_back(b0 - 139);
        ++i;
      } else if (b0 >= 247 && b0 <= 250 && i + 2 <= cs.size()) {
        stack.push_back((b0 - 247) * 256 + cs[i + 1] + 108);
        i += 2;
      } else if (b0 >= 251 && b0 <= 254 && i + 2 <= cs.size()) {
        stack.push_back(-(b0 - 251) * 256 - cs[i + 1] - 108);
        i += 2;
      } else if (b0 == 255 && i + 5 <= cs.size()) {
        stack.push_back(int32_t(Get32(cs.data() + i + 1)) / 65536.0);
        i += 5;
      } else {
        ++i;
        bool odd = stack.size() % 2 == 1;
        switch (b0) {
          case 1: case 3: case 18: case 23: case 19: case 20: case 21: case 14: case 5: case 6: case 7:
            if (odd) width = int32_t(std::lround(stack.front())) + nominalWidth;
            done = true;
            return;
          case 22: case 4:
            if (stack.size() == 2) width = int32_t(std::lround(stack.front())) + nominalWidth;
            done = true;
            return;
          case 10: case 29: {
            const auto& subrs = b0 == 10 ? local : global;
            if (stack.empty() || depth >= 10) {
              done = true;
              return;
            }
            int64_t k = int64_t(std::lround(stack.back())) + Bias(subrs.size());
            stack.pop_back();
            if (k < 0 || size_t(k) >= subrs.size()) {
              done = true;
              return;
            }
            Run(data.subspan(subrs[size_t(k)].Start, subrs[size_t(k)].Length), depth + 1, nominalWidth);
            break;
          }
          case 11:  // return
            return;
          default:
            done = true;
            return;
        }
      }
      if (stack.size() > 48) done = true;
    }
  }
};

uint32_t SecondsSince1904() {
  return uint32_t(int64_t(std::time(nullptr)) + 2082844800LL);
}

}  // namespace

TEmbeddedCFFFont::TEmbeddedCFFFont(const TBytes& fontFile, bool, std::string_view baseFontName) {
  try {
    if (!Rebuild(fontFile, baseFontName)) OutputDebugString("Unable to use embedded CFF fontfile.");
  } catch (const std::exception& e) {
    OutputDebugString(std::string("Unable to use embedded CFF fontfile: ") + e.what());
  }
}

bool TEmbeddedCFFFont::Rebuild(const TBytes& fontFile, std::string_view baseFontName) {
  std::span<const uint8_t> d(fontFile);
  std::string_view family = baseFontName, style = "Regular";
  size_t split = baseFontName.find(',');
  if (split == std::string_view::npos) split = baseFontName.find('-');
  if (split != std::string_view::npos) {
    family = baseFontName.substr(0, split);
    style = baseFontName.substr(split + 1);
  }

  if (d.size() < 4 || d[0] != 1 || d[2] < 4) {
    OutputDebugString("CFF fontfile has an unknown header.");
    return false;
  }
  TCFFParsedIndex names, tops, strings, globals;
  if (!ParseIndex(d, d[2], names) || !ParseIndex(d, names.End, tops) || !ParseIndex(d, tops.End, strings) ||
      !ParseIndex(d, strings.End, globals) || names.Items.size() != 1 || tops.Items.size() != 1 ||
      tops.Items[0].Length == 0) {
    OutputDebugString("CFF fontfile has a damaged INDEX.");
    return false;
  }
  auto sub = [&](size_t start, size_t length) { return d.subspan(start, length); };
  TDict top = ParseDict(sub(tops.Items[0].Start, tops.Items[0].Length));
  auto stringOf = [&](int32_t sid) -> std::string {
    if (sid >= 0 && sid < 391) return StandardStringA(sid);
    size_t k = size_t(sid) - 391;
    if (sid < 0 || k >= strings.Items.size()) return {};
    auto s = sub(strings.Items[k].Start, strings.Items[k].Length);
    return std::string(s.begin(), s.end());
  };
  std::string notice = top.count(1200) ? stringOf(DictInt(top, 1200, 0)) : stringOf(DictInt(top, 1, -1));
  std::string weight = stringOf(DictInt(top, 4, -1));
  const bool cid = top.count(1230) != 0;

  TDict priv;
  int64_t privateOffset = 0;
  if (cid) {
    TCFFParsedIndex fds;
    int32_t fdArray = DictInt(top, 1236, 0);
    if (fdArray <= 0 || !ParseIndex(d, size_t(fdArray), fds) || fds.Items.empty()) {
      OutputDebugString("CID font has more than one DICT ");
      return false;
    }
    for (const auto& item : fds.Items) {
      TDict fd = ParseDict(sub(item.Start, item.Length));
      int32_t size = DictInt(fd, 18, 0, 0), offset = DictInt(fd, 18, 0, 1);
      if (size > 0 && offset > 0 && size_t(offset) + size_t(size) <= d.size() && priv.empty()) {
        priv = ParseDict(sub(size_t(offset), size_t(size)));
        privateOffset = offset;
      }
    }
    int32_t fdSelect = DictInt(top, 1237, 0);
    if (fdSelect > 0 && size_t(fdSelect) < d.size() && d[size_t(fdSelect)] == 0)
      OutputDebugString("Support FDSelect format 0");
  } else {
    int32_t size = DictInt(top, 18, 0, 0), offset = DictInt(top, 18, 0, 1);
    if (size > 0 && offset > 0 && size_t(offset) + size_t(size) <= d.size()) {
      priv = ParseDict(sub(size_t(offset), size_t(size)));
      privateOffset = offset;
    }
  }
  const int32_t defaultWidth = DictInt(priv, 20, 0), nominalWidth = DictInt(priv, 21, 0);

  TCFFParsedIndex charStrings;
  int32_t csOffset = DictInt(top, 17, 0);
  if (csOffset <= 0 || !ParseIndex(d, size_t(csOffset), charStrings)) {
    OutputDebugString("CFF fontfile has no usable CharStrings.");
    return false;
  }
  const size_t n = charStrings.Items.size();
  if (n < 2) {
    OutputDebugString("Font has no glyphs. (except possibly .notdef)");
    return false;
  }

  // charset: glyph to string identifier (or CID)
  std::vector<uint16_t> charset(n, 0);
  int32_t charsetOffset = DictInt(top, 15, 0);
  if (charsetOffset == 0) {
    for (size_t g = 1; g < n && g <= 228; ++g) charset[g] = uint16_t(g);
  } else if (charsetOffset == 1) {
    OutputDebugString("Implement Expert charset in CFF font.");
    return false;
  } else if (charsetOffset == 2) {
    OutputDebugString("Implement ExpertSubset charset in CFF font.");
    return false;
  } else {
    size_t p = size_t(charsetOffset);
    if (p >= d.size()) return false;
    uint8_t format = d[p++];
    size_t g = 1;
    if (format == 0) {
      for (; g < n && p + 2 <= d.size(); ++g, p += 2) charset[g] = Get16(d.data() + p);
    } else if (format == 1 || format == 2) {
      size_t rec = format == 1 ? 3 : 4;
      while (g < n && p + rec <= d.size()) {
        uint32_t first = Get16(d.data() + p);
        uint32_t left = format == 1 ? d[p + 2] : Get16(d.data() + p + 2);
        for (uint32_t k = 0; k <= left && g < n; ++k) charset[g++] = uint16_t(first + k);
        p += rec;
      }
    } else {
      OutputDebugString("Implement other custom subsets in CFF font.");
      return false;
    }
  }
  glyphNames_.assign(n, std::string());
  cidKeyed_ = cid;
  if (cid)
    for (size_t g = n; g-- > 1;) cidGlyphs_[charset[g]] = uint16_t(g);
  if (!cid)
    for (size_t g = 0; g < n; ++g) glyphNames_[g] = g == 0 ? ".notdef" : stringOf(charset[g]);

  // Encoding: code to glyph.
  if (!cid) {
    std::map<uint16_t, uint16_t> glyphOfSid;
    for (size_t g = n; g-- > 1;) glyphOfSid[charset[g]] = uint16_t(g);
    int32_t encodingOffset = DictInt(top, 16, 0);
    if (encodingOffset == 0 || encodingOffset == 1) {
      TFontMapping standard = GetEncoding(encodingOffset == 0 ? "StandardEncoding" : "MacExpertEncoding");
      std::map<std::string, uint16_t, std::less<>> glyphOfName;
      for (size_t g = n; g-- > 1;) glyphOfName[glyphNames_[g]] = uint16_t(g);
      for (size_t c = 0; c < 256; ++c)
        if (auto it = glyphOfName.find(standard[c].Name); !standard[c].Name.empty() && it != glyphOfName.end())
          encoding_[c] = it->second;
    } else if (size_t p = size_t(encodingOffset); p < d.size()) {
      uint8_t format = d[p++];
      if ((format & 0x7F) == 0 && p < d.size()) {
        uint32_t codes = d[p++];
        for (uint32_t k = 0; k < codes && p < d.size() && k + 1 < n; ++k) encoding_[d[p++]] = uint16_t(k + 1);
      } else if ((format & 0x7F) == 1 && p < d.size()) {
        uint32_t ranges = d[p++];
        uint32_t g = 1;
        for (uint32_t r = 0; r < ranges && p + 2 <= d.size(); ++r, p += 2)
          for (uint32_t k = 0; k <= d[p + 1] && g < n; ++k) encoding_[(d[p] + k) & 0xFF] = uint16_t(g++);
      }
      if ((format & 0x80) && p < d.size()) {
        uint32_t sups = d[p++];
        for (uint32_t k = 0; k < sups && p + 3 <= d.size(); ++k, p += 3)
          if (auto it = glyphOfSid.find(Get16(d.data() + p + 1)); it != glyphOfSid.end()) encoding_[d[p]] = it->second;
      }
    }
  }

  // Advances
  TWidthScan scan;
  scan.data = d;
  for (const auto& item : globals.Items) scan.global.push_back(item);
  if (int32_t subrs = DictInt(priv, 19, 0); subrs > 0 && privateOffset > 0) {
    TCFFParsedIndex local;
    if (ParseIndex(d, size_t(privateOffset) + size_t(subrs), local)) scan.local = local.Items;
  }
  widths_.resize(n);
  uint16_t largest = 0;
  for (size_t g = 0; g < n; ++g) {
    scan.stack.clear();
    scan.done = false;
    scan.width = defaultWidth;
    scan.Run(sub(charStrings.Items[g].Start, charStrings.Items[g].Length), 0, nominalWidth);
    int32_t w = scan.width;
    widths_[g] = uint16_t(std::clamp(w, 0, 0x7FFF));
    largest = std::max(largest, widths_[g]);
  }

  // Top DICT figures
  double matrix3 = DictReal(top, 1207, 0.001, 3);
  double upem = matrix3 != 0 ? std::round(1 / matrix3) : 0;
  unitsPerEm_ = upem >= 16 && upem <= 16384 ? uint16_t(upem) : 1000;
  int16_t bbox[4] = {-300, -300, 1300, 1300};
  for (size_t k = 0; k < 4; ++k)
    bbox[k] = int16_t(std::clamp<long>(std::lround(DictReal(top, 5, bbox[k], k)), -32768, 32767));
  const int32_t italicAngle = int32_t(std::lround(std::clamp(DictReal(top, 1202, 0), -90.0, 90.0)));
  const int16_t underlinePos = int16_t(std::clamp(DictReal(top, 1203, -100), -32768.0, 32767.0));
  const int16_t underlineThick = int16_t(std::clamp(DictReal(top, 1204, 50), -32768.0, 32767.0));
  const bool bold = weight == "Bold" || weight == "Black";
  const bool italic = italicAngle != 0;

  // Character map: code point to glyph.
  std::map<uint16_t, uint16_t> cmap;
  uint16_t nextPrivate = 0xE000;
  for (size_t g = 1; g < n; ++g) {
    if (charset[g] == 0) continue;
    if (cid) {
      cmap.emplace(uint16_t(g), uint16_t(g));
      continue;
    }
    std::vector<uint16_t> cps = px::GlyphNameToUnicode(glyphNames_[g], true);
    if (cps.empty()) {
      if (nextPrivate == 0xF8FF) continue;
      cps = {nextPrivate};
      privateMap_.emplace(glyphNames_[g], nextPrivate++);
    }
    if (cps.size() == 1) cmap.emplace(cps[0], uint16_t(g));
  }
  if (cmap.empty()) {
    OutputDebugString("CFF fontfile has no character to map.");
    return false;
  }
  std::vector<uint16_t> words = {0, 3, 0, 3, 0, 290, 1, 0, 0, 28, 3, 1, 0, 290, 0, 262, 0};
  {
    std::array<uint8_t, 256> bytes{};
    for (auto [cp, g] : cmap)
      if (cp < 256 && g < 256) bytes[cp] = uint8_t(g);
    for (size_t k = 0; k < 256; k += 2) words.push_back(uint16_t(bytes[k] << 8 | bytes[k + 1]));
  }
  struct Segment {
    uint16_t start, end, delta;
  };
  std::vector<Segment> segments;
  for (auto [cp, g] : cmap) {
    if (!segments.empty() && segments.back().end + 1 == cp && uint16_t(segments.back().delta + cp) == g)
      segments.back().end = cp;
    else
      segments.push_back({cp, cp, uint16_t(g - cp)});
  }
  if (segments.back().end != 0xFFFF) segments.push_back({0xFFFF, 0xFFFF, 1});
  const uint16_t segCount = uint16_t(segments.size());
  uint16_t power = 1, entrySelector = 0;
  while (power * 2 <= segCount) power = uint16_t(power * 2), ++entrySelector;
  const uint16_t searchRange = uint16_t(2 * power);
  words.insert(words.end(), {4, uint16_t(16 + 8 * segCount), 0, uint16_t(segCount * 2), searchRange, entrySelector,
                             uint16_t(segCount * 2 - searchRange)});
  for (const Segment& s : segments) words.push_back(s.end);
  words.push_back(0);
  for (const Segment& s : segments) words.push_back(s.start);
  for (const Segment& s : segments) words.push_back(s.delta);
  for (size_t k = 0; k < segments.size(); ++k) words.push_back(0);
  const uint16_t firstCode = cmap.begin()->first, lastCode = cmap.rbegin()->first;

  MakeFaceName(family);

  TTableStore t;
  TTHeadTable head{};
  head.version = 0x00010000;
  head.fontRevision = 0x00010000;
  head.magicNumber = 0x5F0F3CF5;
  head.flags = 11;
  head.unitsPerEm = unitsPerEm_;
  head.created = head.modified = SecondsSince1904();
  head.xMin = bbox[0], head.yMin = bbox[1], head.xMax = bbox[2], head.yMax = bbox[3];
  head.macStyle = uint16_t((bold ? 1 : 0) | (italic ? 2 : 0));
  head.lowestRecPPEM = 10;
  head.fontDirectionHint = 2;
  t.Set("head", Packed(head, tplHead, 54));
  TTMaxpShort maxp{0x00005000, uint16_t(n)};
  t.Set("maxp", Packed(maxp, tplMaxpShort, 6));
  t.Set("cmap", WordsToBytes(words));
  TTHheaTable hhea{};
  hhea.version = 0x00010000;
  hhea.ascender = bbox[3];
  hhea.descender = bbox[1];
  hhea.lineGap = int16_t(-bbox[1]);
  hhea.advanceWidthMax = largest;
  hhea.xMaxExtent = int16_t(largest);
  hhea.caretSlopeRise = 100;
  hhea.caretSlopeRun = int16_t(std::lround(std::tan(-italicAngle * 3.1416 / 180) * 100));
  hhea.numberOfHMetrics = uint16_t(n);
  t.Set("hhea", Packed(hhea, tplHhea, 36));
  TTOS2Table os2{};
  os2.version = 3;
  os2.xAvgCharWidth = int16_t(unitsPerEm_ / 2);
  os2.usWeightClass = bold ? 700 : 400;
  os2.usWidthClass = 5;
  os2.ySubscriptXSize = os2.ySubscriptYSize = os2.ySuperscriptXSize = os2.ySuperscriptYSize =
      int16_t(MulDiv(unitsPerEm_, 2, 3));
  os2.yStrikeoutPosition = int16_t(MulDiv(unitsPerEm_, 1, 3));
  os2.panose[0] = 2;
  os2.panose[2] = 6;
  os2.panose[3] = 3;
  os2.ulUnicodeRange1 = 1;
  os2.fsSelection = uint16_t((bold ? 0x20 : 0) | (italic ? 1 : 0));
  os2.usFirstCharIndex = firstCode;
  os2.usLastCharIndex = lastCode;
  os2.sTypoAscender = int16_t(unitsPerEm_ * 8 / 10);
  os2.sTypoDescender = int16_t(unitsPerEm_ * 8 / 10 - unitsPerEm_);
  os2.sTypoLineGap = int16_t(unitsPerEm_ / 4);
  os2.usWinAscent = unitsPerEm_;
  os2.usWinDescent = uint16_t(-bbox[1]);
  TTOS2CodePages pages{1, 0};
  TTOS2Version2 v2{int16_t(unitsPerEm_ / 2), 0, 32, 32, 0};
  {
    TBytes out(96, 0);
    PackRecord(&os2, out.data(), tplOS2);
    PackRecord(&pages, out.data() + 78, tplOS2CodePages);
    PackRecord(&v2, out.data() + 86, tplOS2Version2);
    t.Set("OS/2", std::move(out));
  }
  {
    TBytes hmtx(4 * n, 0);
    for (size_t g = 0; g < n; ++g) Put16(hmtx.data() + 4 * g, widths_[g]);
    t.Set("hmtx", std::move(hmtx));
  }
  TTPostTable post{};
  post.format = 0x00030000;
  post.italicAngle = italicAngle * 65536;
  post.underlinePosition = underlinePos;
  post.underlineThickness = underlineThick;
  t.Set("post", Packed(post, tplPost, 32));
  std::string_view nameStyle = bold && italic ? "BoldItalic" : bold ? "Bold" : italic ? (style == "Oblique" ? "Oblique" : "Italic") : "Regular";
  t.Set("name", WordsToBytes(BuildNameTable(faceName_, nameStyle, notice, 0x00010000, false)));
  t.Set("CFF ", TBytes(fontFile.begin(), fontFile.end()));

  italic_ = italic ? 2 : 1;
  weight_ = bold ? 700 : 400;
  return Install(BuildTTFontData(t.list, true));
}

std::vector<std::string> TEmbeddedCFFFont::GetGlyphNames() const {
  std::vector<std::string> names(256);
  if (glyphNames_.empty()) return names;
  for (size_t c = 0; c < 256; ++c)
    if (encoding_[c] != 0 && encoding_[c] < glyphNames_.size()) names[c] = glyphNames_[encoding_[c]];
  return names;
}

std::vector<uint16_t> TEmbeddedCFFFont::GlyphNameToUnicode(std::string_view name, bool quiet) const {
  if (auto it = privateMap_.find(name); it != privateMap_.end()) return {it->second};
  return px::GlyphNameToUnicode(name, quiet);
}

}  // namespace px
