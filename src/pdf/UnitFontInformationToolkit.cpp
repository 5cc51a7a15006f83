// Field templates, table lists and the builders of name tables, cmaps and
// whole font files.
#include <algorithm>
#include <cstring>

#include "pdf/UnitFontInformation.h"
#include "platform/core/Format.h"

namespace px {

const uint8_t tplTableDirectory[5] = {4, 2, 2, 2, 2};
const uint8_t tplTableDirEntry[7] = {1, 1, 1, 1, 4, 4, 4};
const uint8_t tplHead[17] = {4, 4, 4, 4, 2, 2, 8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2};
const uint8_t tplOS2[42] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1,
                            1, 1, 1, 1, 1, 4, 4, 4, 4, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2};
const uint8_t tplOS2CodePages[2] = {4, 4};
const uint8_t tplOS2Version2[5] = {2, 2, 2, 2, 2};
const uint8_t tplPost[9] = {4, 4, 2, 2, 4, 4, 4, 4, 4};
const uint8_t tplHhea[17] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
const uint8_t tplMaxpShort[2] = {4, 2};
const uint8_t tplMaxp[15] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
const uint8_t tplGlyphHeader[5] = {2, 2, 2, 2, 2};
const uint8_t tplHmtx[2] = {2, 2};
const uint8_t tplCmapHeader[2] = {2, 2};
const uint8_t tplCmapEncoding[3] = {2, 2, 4};
const uint8_t tplCmapSubtableHead[3] = {2, 2, 2};
const uint8_t tplFormat4Head[4] = {2, 2, 2, 2};
const uint8_t tplKernSubtableHeader[3] = {2, 2, 2};
const uint8_t tplKernFormat0Head[4] = {2, 2, 2, 2};
const uint8_t tplKernPair[3] = {2, 2, 2};
const uint8_t tplNameRecord[6] = {2, 2, 2, 2, 2, 2};

static_assert(sizeof(TTTableDirectory) == 12 && sizeof(TTTableDirEntry) == 16 && sizeof(TTHeadTable) == 54);
static_assert(sizeof(TTOS2Table) == 78 && sizeof(TTOS2CodePages) == 8 && sizeof(TTOS2Version2) == 10);
static_assert(sizeof(TTPostTable) == 32 && sizeof(TTHheaTable) == 36 && sizeof(TTMaxpShort) == 6);
static_assert(sizeof(TTMaxpTable) == 32 && sizeof(TTGlyphHeader) == 10 && sizeof(TTKernPair) == 6);

namespace {

size_t templateSize(TFieldTemplate tmpl) {
  size_t n = 0;
  for (uint8_t w : tmpl) {
    Assert(w == 1 || w == 2 || w == 4 || w == 8, "Field width must be 1, 2, 4 or 8");
    n += w;
  }
  return n;
}

// The machine is little-endian; a field is reversed on its own.
void copyReversed(const uint8_t* from, uint8_t* to, size_t width) {
  for (size_t i = 0; i < width; ++i) to[i] = from[width - 1 - i];
}

}  // namespace

size_t PackRecord(const void* record, uint8_t* dest, TFieldTemplate tmpl) {
  const uint8_t* src = static_cast<const uint8_t*>(record);
  size_t at = 0;
  for (uint8_t w : tmpl) {
    Assert(w == 1 || w == 2 || w == 4 || w == 8, "Field width must be 1, 2, 4 or 8");
    copyReversed(src + at, dest + at, w);
    at += w;
  }
  return at;
}

void UnpackRecord(std::span<const uint8_t> bytes, size_t offset, size_t size, void* record, TFieldTemplate tmpl) {
  Assert(size <= 255, "Record longer than 255 bytes");
  size_t need = templateSize(tmpl);
  Assert(need <= size, "Record template longer than its data");
  Assert(offset <= bytes.size() && size <= bytes.size() - offset, "Record outside its data");
  uint8_t* dst = static_cast<uint8_t*>(record);
  size_t at = 0;
  for (uint8_t w : tmpl) {
    copyReversed(bytes.data() + offset + at, dst + at, w);
    at += w;
  }
}

void SwapRecord(void* record, TFieldTemplate tmpl) {
  uint8_t* p = static_cast<uint8_t*>(record);
  for (uint8_t w : tmpl) {
    Assert(w == 1 || w == 2 || w == 4 || w == 8, "Field width must be 1, 2, 4 or 8");
    std::reverse(p, p + w);
    p += w;
  }
}

// ---------------------------------------------------------------------------

std::array<uint8_t, 4> TTTag(std::string_view tag) {
  std::array<uint8_t, 4> t{' ', ' ', ' ', ' '};
  for (size_t i = 0; i < 4 && i < tag.size(); ++i) t[i] = uint8_t(tag[i]);
  return t;
}

namespace {

uint32_t tagNumber(const std::array<uint8_t, 4>& t) {
  return uint32_t(t[0]) << 24 | uint32_t(t[1]) << 16 | uint32_t(t[2]) << 8 | t[3];
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

TTFontTables ParseTableDirectory(std::span<const uint8_t> fontBytes) {
  TTFontTables list;
  if (fontBytes.size() < 12) return list;
  TTTableDirectory dir;
  UnpackRecord(fontBytes, 0, 12, &dir, tplTableDirectory);
  if (dir.sfntVersion != 0x00010000u && dir.sfntVersion != 0x74727565u) return list;
  if (fontBytes.size() < size_t(dir.numTables) * 16 + 12) return list;
  list.reserve(dir.numTables);
  for (uint16_t i = 0; i < dir.numTables; ++i) {
    TTTableDirEntry e;
    UnpackRecord(fontBytes, 12 + size_t(i) * 16, 16, &e, tplTableDirEntry);
    // A table outside the data is left out instead of pointing past it.
    if (e.offset > fontBytes.size() || e.length > fontBytes.size() - e.offset) continue;
    TTFontTable t;
    std::copy(std::begin(e.tag), std::end(e.tag), t.Tag.begin());
    t.Length = e.length;
    t.Data = fontBytes.data() + e.offset;
    list.push_back(t);
  }
  return list;
}

int32_t FindTable(const TTFontTables& list, std::string_view tag) {
  auto t = TTTag(tag);
  for (size_t i = list.size(); i-- > 0;)
    if (list[i].Tag == t) return int32_t(i);
  return -1;
}

int32_t AddTable(TTFontTables& list, std::string_view tag, uint32_t length, const uint8_t* data) {
  TTFontTable entry{TTTag(tag), length, data};
  int32_t at = FindTable(list, tag);
  if (at >= 0) {
    list[size_t(at)] = entry;
    return at;
  }
  uint32_t key = tagNumber(entry.Tag);
  size_t i = 0;
  while (i < list.size() && tagNumber(list[i].Tag) < key) ++i;
  list.insert(list.begin() + std::ptrdiff_t(i), entry);
  return int32_t(i);
}

void KeepEmbeddingTables(TTFontTables& list, bool keepCMap) {
  static const char* const kept[] = {"cvt ", "OS/2", "loca", "hhea", "head", "glyf", "fpgm", "prep", "maxp", "post", "hmtx"};
  std::erase_if(list, [&](const TTFontTable& t) {
    if (keepCMap && t.Tag == TTTag("cmap")) return false;
    for (const char* k : kept)
      if (t.Tag == TTTag(k)) return false;
    return true;
  });
}

// ---------------------------------------------------------------------------

std::vector<uint16_t> BuildNameTable(std::string_view family, std::string_view style, std::string_view copyright,
                                     uint32_t revision, bool symbolic) {
  std::string fam(family), sty(style);
  std::vector<std::pair<uint16_t, std::string>> strings;
  if (!copyright.empty()) strings.emplace_back(0, std::string(copyright));
  strings.emplace_back(1, fam);
  strings.emplace_back(2, sty);
  strings.emplace_back(3, fam + sty);
  strings.emplace_back(4, sty == "Regular" ? fam : fam + " " + sty);
  strings.emplace_back(5, Format("Version %d.%3.3d", int32_t(revision >> 16), MulDiv(int32_t(revision & 0xFFFF), 1000, 65536)));
  strings.emplace_back(6, fam + "-" + sty);
  uint16_t count = uint16_t(strings.size() * 2);
  std::vector<uint16_t> records;
  TBytes storage;
  for (auto& [id, s] : strings) {  // Macintosh: the bytes as they are, padded to an even length
    records.insert(records.end(), {1, 0, 0, id, uint16_t(s.size()), uint16_t(storage.size())});
    storage.insert(storage.end(), s.begin(), s.end());
    if (storage.size() % 2) storage.push_back(0);
  }
  for (auto& [id, s] : strings) {  // Windows: each byte widened to a UTF-16BE unit
    records.insert(records.end(), {3, uint16_t(symbolic ? 0 : 1), 1033, id, uint16_t(s.size() * 2), uint16_t(storage.size())});
    for (char c : s) {
      storage.push_back(0);
      storage.push_back(uint8_t(c));
    }
  }
  std::vector<uint16_t> words{0, count, uint16_t((3 + 6 * count) * 2)};
  words.insert(words.end(), records.begin(), records.end());
  for (size_t i = 0; i < storage.size(); i += 2) words.push_back(uint16_t(storage[i] << 8 | storage[i + 1]));
  return words;
}

TBuiltCMap BuildSymbolCMap(uint32_t glyphCount) {
  uint16_t n = uint16_t(std::min<uint32_t>(glyphCount, 255));
  TBuiltCMap r;
  r.Words = {0, 2, 1, 0, 0, 20, 3, 0, 0, 20,
             // format 4, length 32, language 0, segCountX2 4, searchRange 4, entrySelector 1, rangeShift 0
             4, 32, 0, 4, 4, 1, 0,
             uint16_t(0xF000 + n), 0xFFFF, 0, 0xF001, 0xFFFF, 0x1000, 1, 0, 0};
  r.FirstCode = 0xF001;
  r.LastCode = uint16_t(0xF000 + n);
  return r;
}

TBuiltCMap BuildByteCMap(const std::array<uint8_t, 256>& map) {
  uint16_t n = 0;
  for (int c = 255; c > 0; --c)
    if (map[size_t(c)] != 0) {
      n = uint16_t(c);
      break;
    }
  TBuiltCMap r;
  r.Words = {0, 2, 1, 0, 0, 20, 3, 0, 0, 282, 0, 262, 0};
  for (size_t i = 0; i < 256; i += 2) r.Words.push_back(uint16_t(map[i] << 8 | map[i + 1]));
  r.Words.insert(r.Words.end(), {4, uint16_t(32 + 2 * n), 0, 4, 4, 1, 0, uint16_t(0xF000 + n), 0xFFFF, 0, 0xF001, 0xFFFF, 0,
                                 1, 4, 0});
  for (uint16_t c = 1; c <= n; ++c) r.Words.push_back(map[c]);
  r.FirstCode = 0xF001;
  r.LastCode = uint16_t(0xF000 + n);
  return r;
}

TBytes WordsToBytes(const std::vector<uint16_t>& words) {
  TBytes b(words.size() * 2);
  for (size_t i = 0; i < words.size(); ++i) {
    b[2 * i] = uint8_t(words[i] >> 8);
    b[2 * i + 1] = uint8_t(words[i]);
  }
  return b;
}

namespace {

uint32_t tableChecksum(const uint8_t* p, size_t paddedLength) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= paddedLength; i += 4) sum += be32(p + i);
  return sum;
}

void putBE(uint8_t* p, uint64_t v, size_t width) {
  for (size_t i = 0; i < width; ++i) p[i] = uint8_t(v >> (8 * (width - 1 - i)));
}

}  // namespace

TBytes BuildTTFontData(const TTFontTables& tables, bool isCFF) {
  static const char* const trueTypeOrder[] = {"head", "hhea", "maxp", "OS/2", "hmtx", "cmap", "fpgm",
                                              "prep", "cvt ", "loca", "glyf", "kern", "name", "post"};
  static const char* const cffOrder[] = {"head", "hhea", "maxp", "OS/2", "name", "cmap", "post", "CFF "};
  size_t numTables = tables.size();
  size_t size = numTables * 16 + 12;
  for (auto& t : tables) size += (size_t(t.Length) + 3) & ~size_t(3);
  TBytes out(size, 0);
  putBE(out.data(), isCFF ? 0x4F54544Fu : 0x00010000u, 4);
  uint32_t selector = 0;
  while (numTables > 0 && (size_t(2) << selector) <= numTables) ++selector;
  uint32_t searchRange = (1u << selector) * 16;
  putBE(out.data() + 4, numTables, 2);
  putBE(out.data() + 6, searchRange, 2);
  putBE(out.data() + 8, selector, 2);
  putBE(out.data() + 10, uint16_t(numTables * 16 - searchRange), 2);

  // Lay the tables out in the fixed order, then the rest in list order.
  std::vector<size_t> order;
  std::vector<bool> placed(numTables, false);
  auto place = [&](size_t i) {
    if (!placed[i]) {
      placed[i] = true;
      order.push_back(i);
    }
  };
  for (const char* tag : isCFF ? std::span<const char* const>(cffOrder) : std::span<const char* const>(trueTypeOrder)) {
    for (size_t i = 0; i < numTables; ++i)
      if (tables[i].Tag == TTTag(tag)) place(i);
  }
  for (size_t i = 0; i < numTables; ++i) place(i);

  struct Entry {
    std::array<uint8_t, 4> tag;
    uint32_t checkSum, offset, length;
  };
  std::vector<Entry> entries;
  size_t at = numTables * 16 + 12;
  size_t headAt = 0;
  bool haveHead = false;
  for (size_t i : order) {
    const TTFontTable& t = tables[i];
    if (t.Length) std::memcpy(out.data() + at, t.Data, t.Length);
    if (t.Tag == TTTag("head") && t.Length == 54) {
      putBE(out.data() + at + 8, 0, 4);
      headAt = at;
      haveHead = true;
    }
    size_t padded = (size_t(t.Length) + 3) & ~size_t(3);
    entries.push_back({t.Tag, tableChecksum(out.data() + at, padded), uint32_t(at), t.Length});
    at += padded;
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return tagNumber(a.tag) < tagNumber(b.tag); });
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* e = out.data() + 12 + 16 * i;
    std::copy(entries[i].tag.begin(), entries[i].tag.end(), e);
    putBE(e + 4, entries[i].checkSum, 4);
    putBE(e + 8, entries[i].offset, 4);
    putBE(e + 12, entries[i].length, 4);
  }
  if (!haveHead) throw Exception("BuildTTFontData: Missing or malformed head table.");
  putBE(out.data() + headAt + 8, 0xB1B0AFBAu - tableChecksum(out.data(), out.size()), 4);
  return out;
}

}  // namespace px
