#include "pdf/UnitFontConstants.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <mutex>

#include "data/UnitDataSetIO.h"
#include "platform/core/Debug.h"
#include "platform/core/Format.h"
#include "platform/core/Resources.h"

namespace px {

void RegisterPDFDataResources();  // generated at build time

namespace {

#include "pdf/UnitFontConstantsTables.inc"

const std::array<TBuildInFontInfo, 14> kStandardFonts = {{
    {"Courier", "Courier New", 400, 0, 0, 600, "StandardEncoding"},
    {"Courier-Bold", "Courier New", 700, 0, 0, 600, "StandardEncoding"},
    {"Courier-Oblique", "Courier New", 400, 1, 0, 600, "StandardEncoding"},
    {"Courier-BoldOblique", "Courier New", 700, 1, 0, 600, "StandardEncoding"},
    {"Helvetica", "Arial", 400, 0, 1, 0, "StandardEncoding"},
    {"Helvetica-Bold", "Arial", 700, 0, 2, 0, "StandardEncoding"},
    {"Helvetica-Oblique", "Arial", 400, 1, 4, 0, "StandardEncoding"},
    {"Helvetica-BoldOblique", "Arial", 700, 1, 3, 0, "StandardEncoding"},
    {"Times-Roman", "Times New Roman", 400, 0, 9, 0, "StandardEncoding"},
    {"Times-Bold", "Times New Roman", 700, 0, 6, 0, "StandardEncoding"},
    {"Times-Oblique", "Times New Roman", 400, 1, 8, 0, "StandardEncoding"},
    {"Times-BoldOblique", "Times New Roman", 700, 1, 7, 0, "StandardEncoding"},
    {"Symbol", "Arial Unicode MS", 400, 0, 5, 600, "SymbolEncoding"},
    {"ZapfDingbats", "ZapfDingbats", 400, 0, 10, 0, "1on1"},
}};

constexpr const char* kGlyphsError = "Invalid file format for resource pdfdata/glyphs";

struct FontData {
  std::vector<std::string> listA, listB;
};

std::vector<std::string> splitNames(const char* text, size_t size) {
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t i = 0; i < size; ++i)
    if (text[i] == '\0') {
      names.emplace_back(text + start, i - start);
      start = i + 1;
    }
  return names;
}

// Inflates a resource into at most `limit` bytes; more data is an error.
TBytes inflateResource(const TBytes& packed, size_t limit, const char* name) {
  TBytes out(limit + 1);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw Exception(std::string("Cannot inflate resource pdfdata/") + name);
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = uInt(packed.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  int rc = inflate(&z, Z_FINISH);
  size_t produced = z.total_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || produced > limit) throw Exception(std::string("Cannot inflate resource pdfdata/") + name);
  out.resize(produced);
  return out;
}

// Each table is built on its first use and on its own: drawing a page that
// asks for one encoding should not pay for inflating and indexing the width
// tables too, and a glyph name lookup by code needs neither record set.
TBytes readPacked(const char* name) {
  if (!FindResource("glyphs", "pdfdata") || !FindResource("widths", "pdfdata")) RegisterPDFDataResources();
  TResourceStream stream(name, "pdfdata");
  TBytes packed(size_t(stream.Size()));
  stream.ReadBuffer(packed.data(), Int64(packed.size()));
  return packed;
}

const FontData& glyphNames() {
  static FontData data;
  static std::once_flag once;
  std::call_once(once, [] {
    data.listA = splitNames(kGlyphNamesA, sizeof kGlyphNamesA - 1);
    data.listB = splitNames(kGlyphNamesB, sizeof kGlyphNamesB - 1);
  });
  return data;
}

const IMemDataSet& widthTables() {
  static IMemDataSet widths;
  static std::once_flag once;
  std::call_once(once, [] {
    TBytes plainData = inflateResource(readPacked("widths"), 1 << 20, "widths");
    TMemoryStream plain;
    plain.WriteBuffer(plainData.data(), Int64(plainData.size()));
    plain.SetPosition(0);
    LoadMemDataSetFromStream(&plain, 0, nullptr, widths);
  });
  return widths;
}

// The glyph list's own forms, below.
struct GlyphEntry;
const std::vector<GlyphEntry>& glyphTable();
TBytes glyphsResource();

const std::string& nameOfCode(uint16_t value, std::string& scratch) {
  if (value < 512) return StandardStringA(value);
  if (value < 768) return StandardStringB(value - 512);
  scratch = "a" + std::to_string(value - 768);
  return scratch;
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
  return s;
}

bool hexValue(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (char c : text) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    value = value * 16 + uint32_t(d);
  }
  return true;
}

}  // namespace

const std::array<TBuildInFontInfo, 14>& StandardFonts() { return kStandardFonts; }

void InitFontConstants() {
  glyphNames();
  glyphTable();
  widthTables();
}

IMemDataSet GlyphListDataSet() {
  static IMemDataSet glyphs;
  static std::once_flag once;
  std::call_once(once, [] { glyphs = ParseGlyphList(glyphsResource()); });
  return glyphs;
}
IMemDataSet WidthsDataSet() { return widthTables(); }

const std::string& StandardStringA(int32_t index) {
  const auto& list = glyphNames().listA;
  Assert(index >= 0 && size_t(index) < list.size(), "Standard string index out of range");
  return list[size_t(index)];
}

const std::string& StandardStringB(int32_t index) {
  const auto& list = glyphNames().listB;
  Assert(index >= 0 && size_t(index) < list.size(), "Standard string index out of range");
  return list[size_t(index)];
}

namespace {

// Walks the entries of a glyphs resource: each name with its 1 to 4 code
// points. Every read is checked against the data's length.
template <class Visit>
void decodeGlyphList(const TBytes& data, Visit visit) {
  if (data.size() < 3 || data[0] != 1) throw Exception(kGlyphsError);
  std::string previous;
  size_t at = 1;
  auto need = [&](size_t n) {
    if (n > data.size() - at) throw Exception(kGlyphsError);
  };
  while (at < data.size() && data[at] != 0) {
    uint8_t head = data[at++];
    size_t length = head / 4, points = head % 4 + 1;
    if (length == 0) throw Exception(kGlyphsError);
    need(1);
    std::string name;
    if (data[at] > 31) {
      need(length);
      name.assign(reinterpret_cast<const char*>(data.data() + at), length);
      at += length;
    } else {
      size_t shared = data[at++];
      if (shared > length || shared > previous.size()) throw Exception(kGlyphsError);
      need(length - shared);
      name = previous.substr(0, shared);
      name.append(reinterpret_cast<const char*>(data.data() + at), length - shared);
      at += length - shared;
    }
    need(points * 2);
    uint16_t codes[4] = {};
    for (size_t k = 0; k < points; ++k) codes[k] = uint16_t(data[at + 2 * k] | data[at + 2 * k + 1] << 8);
    at += points * 2;
    visit(name, codes, points);
    previous = std::move(name);
  }
}

TBytes glyphsResource() {
  TBytes data = inflateResource(readPacked("glyphs"), 0x20000, "glyphs");
  Assert(!data.empty() && data.size() <= 0x1FFFF, "Glyph list resource size");
  return data;
}

struct GlyphEntry {
  std::string Name;
  std::array<uint16_t, 4> Codes;
  uint8_t Count;
};

// The glyph list for lookups by name: a sorted table answers the same as the
// record set's index (names compared byte by byte) at a small part of the
// cost of building the record set, which only GlyphListDataSet needs.
const std::vector<GlyphEntry>& glyphTable() {
  static std::vector<GlyphEntry> table;
  static std::once_flag once;
  std::call_once(once, [] {
    std::vector<GlyphEntry> entries;
    entries.reserve(4700);
    decodeGlyphList(glyphsResource(), [&](std::string& name, const uint16_t* codes, size_t count) {
      entries.push_back({name, {codes[0], codes[1], codes[2], codes[3]}, uint8_t(count)});
    });
    // The resource comes sorted; stable otherwise, so that of two equal
    // names the first one is found.
    auto byName = [](const GlyphEntry& a, const GlyphEntry& b) { return a.Name < b.Name; };
    if (!std::is_sorted(entries.begin(), entries.end(), byName))
      std::stable_sort(entries.begin(), entries.end(), byName);
    table = std::move(entries);
  });
  return table;
}

const GlyphEntry* findGlyph(std::string_view name) {
  const std::vector<GlyphEntry>& table = glyphTable();
  auto it = std::lower_bound(table.begin(), table.end(), name,
                             [](const GlyphEntry& e, std::string_view key) { return std::string_view(e.Name) < key; });
  return it != table.end() && it->Name == name ? &*it : nullptr;
}

}  // namespace

IMemDataSet ParseGlyphList(const TBytes& data) {
  IMemDataSet set = CreateMemDataSetFromSpec("glyphs", "Name:astr*U1:word;U2:word;U3:word;U4:word");
  decodeGlyphList(data, [&](const std::string& name, const uint16_t* codes, size_t count) {
    TMemRecord* r = set->AddRecord();
    r->SetAnsiString(0, name);
    for (size_t k = 0; k < 4; ++k) {
      if (k < count) r->SetWord(Integer(k + 1), codes[k]);
      else r->SetNull(Integer(k + 1));
    }
  });
  return set;
}

std::vector<uint16_t> GlyphNameToUnicode(std::string_view name, bool quiet, std::string* storedName) {
  if (storedName) *storedName = std::string(name);
  std::vector<uint16_t> result;
  if (name.find('_') != std::string_view::npos) {
    size_t start = 0;
    while (true) {
      size_t end = name.find('_', start);
      auto part = GlyphNameToUnicode(name.substr(start, end == std::string_view::npos ? end : end - start), quiet);
      if (part.empty()) return {};
      result.insert(result.end(), part.begin(), part.end());
      if (end == std::string_view::npos) return result;
      start = end + 1;
    }
  }
  std::string_view base = name;
  size_t dot = name.find('.', 1);
  if (dot != std::string_view::npos) base = name.substr(0, dot);
  if (base.empty() || base == ".notdef" || base == ".null") return result;
  if (const GlyphEntry* entry = findGlyph(base)) {
    result.assign(entry->Codes.begin(), entry->Codes.begin() + entry->Count);
    return result;
  }
  if (base.starts_with("uni")) {
    std::string_view rest = base.substr(3);
    if (rest.size() % 4 == 0) {
      for (size_t i = 0; i < rest.size(); i += 4) {
        uint32_t v = 0;
        result.push_back(hexValue(rest.substr(i, 4), v) ? uint16_t(v) : 0);
      }
      return result;
    }
    if (!quiet) OutputDebugString(Format("Character not supported yet: \"%s\"", std::string(name)));
    return result;
  }
  uint32_t v = 0;
  if (base.starts_with("x") && hexValue(base.substr(1), v) && v <= 0xFF) return {uint16_t(v)};
  if (!quiet) OutputDebugString(Format("Character not recognized: \"%s\"", std::string(name)));
  return result;
}

TFontMapping GetEncoding(std::string_view name) {
  TFontMapping m;
  if (name == "1on1" || name == "Identity-H" || name == "Identity-V") {
    for (size_t i = 0; i < 256; ++i) m[i].Unicode = {uint16_t(i)};
    return m;
  }
  const uint16_t* table = kStandardEncoding;
  if (name == "MacRomanEncoding") table = kMacRomanEncoding;
  else if (name == "WinAnsiEncoding") table = kWinAnsiEncoding;
  else if (name == "MacExpertEncoding") table = kMacExpertEncoding;
  else if (name == "SymbolEncoding") table = kSymbolEncoding;
  else if (name == "ZapfDingbatsEncoding") table = kZapfDingbatsEncoding;
  std::string scratch;
  for (size_t i = 0; i < 256; ++i) {
    if (table[i] == 0) continue;
    const std::string& glyph = nameOfCode(table[i], scratch);
    m[i].Unicode = GlyphNameToUnicode(glyph, false, &m[i].Name);
  }
  return m;
}

bool FindStandardFont(std::string_view name, TBuildInFontInfo& info) {
  std::string n = replaceAll(std::string(name), ",", "-");
  n = replaceAll(n, "Italic", "Oblique");
  n = replaceAll(n, "ObliqueBold", "BoldOblique");
  for (const TBuildInFontInfo& f : kStandardFonts)
    if (f.PDFName == n) {
      info = f;
      return true;
    }
  return false;
}

void ApplyStandardWidths(std::string_view fontName, TFontMapping& mapping) {
  TBuildInFontInfo info;
  if (!FindStandardFont(fontName, info)) return;
  for (TEncodingPoint& p : mapping) p.Width = float(info.DefaultWidth);
  if (info.WidthsColumn == 0) return;
  const IMemDataSet& widths = widthTables();
  for (TEncodingPoint& p : mapping) {
    if (p.Name.empty()) continue;
    TMemRecord* r = widths->FindAnsiString(0, p.Name);
    if (r && !r->IsNull(info.WidthsColumn)) p.Width = float(r->GetWord(info.WidthsColumn));
  }
}

}  // namespace px
