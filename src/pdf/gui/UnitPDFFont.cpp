#include "pdf/gui/UnitPDFFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFFontMapper.h"
#include "platform/core/CodePages.h"

namespace px {

namespace {

constexpr uint8_t kEmbed = 2;
constexpr uint8_t kSubset = 4;

std::unique_ptr<TPDFName> name(const std::string& n) { return std::make_unique<TPDFName>(n); }
std::unique_ptr<TPDFInteger> integer(int32_t v) { return std::make_unique<TPDFInteger>(v); }
std::unique_ptr<TPDFReference> ref(int32_t n) { return std::make_unique<TPDFReference>(n, 0); }

std::string hex4(uint32_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%4.4X", v & 0xFFFF);
  return buf;
}

// The em height in pixels of a logical font whose height is in pixels.
int32_t emPixels(const TFontInformation& info, int32_t height) {
  if (height < 0) return -height;
  if (height == 0) return 16;
  const int32_t cell = info.OS2.usWinAscent + info.OS2.usWinDescent;
  return cell > 0 ? MulDiv(height, info.UnitsPerEm, cell) : height;
}

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
void put16(TBytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}
void put32(TBytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 24);
  b[at + 1] = static_cast<uint8_t>(v >> 16);
  b[at + 2] = static_cast<uint8_t>(v >> 8);
  b[at + 3] = static_cast<uint8_t>(v);
}

}  // namespace

uint8_t WinAnsiCode(char16_t c) {
  if (c < 256) return static_cast<uint8_t>(c);
  if (c >= 0xF000 && c <= 0xF2FF) return static_cast<uint8_t>(c & 0xFF);
  switch (c) {
    case 0x0152: return 140;
    case 0x0153: return 156;
    case 0x0160: return 138;
    case 0x0161: return 154;
    case 0x0178: return 159;
    case 0x017D: return 142;
    case 0x017E: return 158;
    case 0x0192: return 131;
    case 0x02C6: return 136;
    case 0x02DC: return 152;
    case 0x2013: return 150;
    case 0x2014: return 151;
    case 0x2018: return 145;
    case 0x2019: return 146;
    case 0x201A: return 130;
    case 0x201C: return 147;
    case 0x201D: return 148;
    case 0x201E: return 132;
    case 0x2020: return 134;
    case 0x2021: return 135;
    case 0x2022: return 149;
    case 0x2026: return 133;
    case 0x2030: return 137;
    case 0x2039: return 139;
    case 0x203A: return 155;
    case 0x20AC: return 128;
    case 0x2122: return 153;
    default: return '?';
  }
}

std::string PDFSubsetTag(int32_t objectNumber) {
  std::string tag;
  for (int32_t n = objectNumber, i = 0; i < 6; ++i, n /= 26) tag.insert(tag.begin(), static_cast<char>('A' + n % 26));
  return tag;
}

std::string PDFFontKey(const TLogFontW& font, bool composite) {
  std::string key = LogFontFaceName(font);
  key += font.lfWeight >= 600 ? "B" : "b";
  key += font.lfItalic ? "I" : "i";
  if (composite) key += "0";
  return key;
}

// ---------------------------------------------------------------------------
// Measuring

namespace {

struct TInfoCache {
  std::mutex lock;
  std::unordered_map<std::string, std::shared_ptr<const TFontInformation>> fonts;
};

TInfoCache& infoCache() {
  static TInfoCache cache;
  return cache;
}

}  // namespace

std::shared_ptr<const TFontInformation> PDFFontInformation(const TLogFontW& logFont) {
  const TLogFontW font = PDFMappedLogFont(logFont);
  const std::string key = PDFFontKey(font, false);
  TInfoCache& cache = infoCache();
  std::lock_guard guard(cache.lock);
  auto it = cache.fonts.find(key);
  if (it != cache.fonts.end()) return it->second;
  TLogFontW plain;
  plain.lfWeight = font.lfWeight;
  plain.lfItalic = font.lfItalic;
  std::copy(std::begin(font.lfFaceName), std::end(font.lfFaceName), std::begin(plain.lfFaceName));
  // Documents embed TrueType programs only: a face with CFF outlines would be
  // written without its program, which other readers draw wrongly. The
  // nearest TrueType face takes its place, for measuring as for writing.
  if (TFontFacePtr face = ResolveFontFace(plain); face && face->Format != "TrueType")
    if (TFontFacePtr trueType = ResolveTrueTypeFontFace(LogFontFaceName(plain), plain.lfWeight, plain.lfItalic != 0)) {
      const TLogFontW chosen = LogFontForFace(*trueType);
      if (TFontFacePtr again = ResolveFontFace(chosen);
          again && again->Format == "TrueType" && again->File == trueType->File && again->Index == trueType->Index &&
          again->Family == trueType->Family && again->Style == trueType->Style)
        plain = chosen;
    }
  auto info = std::make_shared<const TFontInformation>(plain, fiAll);
  cache.fonts.emplace(key, info);
  return info;
}

std::vector<int32_t> PDFTextAdvances(const TLogFontW& font, const UnicodeString& text, bool glyphNumbers) {
  auto info = PDFFontInformation(font);
  const int32_t em = emPixels(*info, font.lfHeight);
  if (!glyphNumbers) return info->TextAdvances(text, em, 0);
  // Glyph numbers: their advances without kerning, rounded on the running
  // total so that errors do not add up.
  std::vector<int32_t> out(text.size());
  int64_t total = 0;
  int32_t previous = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    total += info->GlyphWidth(text[i], info->UnitsPerEm);
    const int32_t position = MulDiv(static_cast<int32_t>(total), em, info->UnitsPerEm);
    out[i] = position - previous;
    previous = position;
  }
  return out;
}

TLogFontW PDFMappedLogFont(const TLogFontW& font) {
  const std::string face = LogFontFaceName(font);
  const bool tagged = face.size() > 7 && face[6] == '+' &&
                      std::all_of(face.begin(), face.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; });
  if (!tagged) return font;
  const TLogFontA mapped = PDFFontMapper().Lookup(face.substr(7));
  TLogFontW out = font;
  out.lfWeight = mapped.lfWeight;
  out.lfItalic = mapped.lfItalic;
  SetLogFontFaceName(out, LogFontFaceName(mapped));
  return out;
}

TTextMetrics PDFTextMetrics(const TLogFontW& logFont) {
  const TLogFontW font = PDFMappedLogFont(logFont);
  TTextMetric tm;
  TFontContext dc(font);
  TTextMetrics m;
  if (!dc.Valid() || !GetTextMetrics(dc, tm)) return m;
  m.Ascent = tm.tmAscent;
  m.Descent = tm.tmDescent;
  m.Height = tm.tmHeight;
  m.InternalLeading = tm.tmInternalLeading;
  m.ExternalLeading = tm.tmExternalLeading;
  m.AveCharWidth = tm.tmAveCharWidth;
  return m;
}

// ---------------------------------------------------------------------------
// TFontRef

TFontRef::TFontRef() = default;
TFontRef::~TFontRef() = default;

uint16_t TFontRef::glyphOf(char16_t c) const { return info_->GlyphIndex(c); }

int32_t TFontRef::widthOfGlyph(uint16_t glyph) const { return info_->GlyphWidth(glyph, 1000); }

int32_t TFontRef::kerning(uint16_t left, uint16_t right) const {
  const int16_t v = info_->Kerning(left, right);
  return v == 0 ? 0 : MulDiv(v, 1000, info_->UnitsPerEm);
}

void TFontRef::build(TPDFFontCollection& owner, const std::string& key, const TLogFontW& font, bool composite) {
  TPDFWriter& writer = *owner.Writer();
  key_ = key;
  resourceName_ = "F" + std::to_string(owner.Count() + 1);
  composite_ = composite;
  logFont_ = font;
  info_ = PDFFontInformation(font);
  const TFontInformation& fi = *info_;
  if (const TFontFacePtr& face = fi.Face(); face && face->Format == "TrueType")
    if (TFontFacePtr asked = ResolveFontFace(font); asked && asked->Format != "TrueType")
      writer.Warning("Font " + key + " resolves to " + asked->Family + " " + asked->Style +
                     " with CFF outlines, which cannot be embedded; embedded the TrueType face " + face->Family + " " +
                     face->Style + " in its place");
  const int32_t upem = fi.UnitsPerEm;
  const std::string psName = UnicodeToUtf8(fi.PostScriptName());

  std::unique_ptr<TPDFDictionary> program;
  if (writer.Options & kEmbed) {
    // The program's bytes: the installed file itself when it holds just this
    // face (no copy), else the face taken out of its collection. The stream
    // gets them, or their subset, when the fonts are finished.
    const TFontFacePtr& face = fi.Face();
    if (face && face->Data && face->Offset == 0 && face->Index == 0) programBytes_ = face->Data;
    else programBytes_ = std::make_shared<const TBytes>(fi.GetTable(0u, 0, 0));
    const TBytes& data = *programBytes_;
    // A program with CFF outlines cannot go into FontFile2, which readers
    // take for TrueType outlines; such a font stays without its program.
    const bool cff = data.size() >= 4 && std::equal(data.begin(), data.begin() + 4, "OTTO");
    if (!data.empty() && !cff) {
      const auto size = static_cast<int32_t>(data.size());
      program = std::make_unique<TPDFDictionary>(TPDFBuffer());
      program->Add("Length1", integer(size));
      program->Add("Filter", name("FlateDecode"));
    } else {
      programBytes_.reset();
      writer.Warning("Could not embed font " + key);
    }
  }

  auto descriptor = std::make_unique<TPDFDictionary>("FontDescriptor");
  descriptor->Add("FontName", name(psName));
  if (program) {
    program_ = program.get();
    descriptor->Add("FontFile2", ref(writer.AddObject(std::move(program))));
  }
  descriptor->Add("Ascent", integer(MulDiv(fi.OS2.usWinAscent, 1000, upem)));
  descriptor->Add("Descent", integer(MulDiv(fi.OS2.usWinDescent, -1000, upem)));
  int32_t flags;
  switch (fi.OS2.panose[0]) {
    case 0:
    case 2: flags = 32; break;
    case 3: flags = 40; break;
    default: flags = 4; break;
  }
  if (fi.OS2.panose[1] > 1) flags += 2;
  if (fi.Post.italicAngle != 0) flags += 64;
  if (fi.Post.isFixedPitch != 0) flags += 1;
  descriptor->Add("Flags", integer(flags));
  if (flags & 32) {
    descriptor->Add("StemV", integer(MulDiv(fi.StemV, 1000, upem)));
    descriptor->Add("CapHeight", integer(MulDiv(fi.CapHeight, 1000, upem)));
  }
  descriptor->Add("ItalicAngle", integer(fi.Post.italicAngle / 65536));
  descriptor->Add("FontBBox", TPDFArray::Of(MulDiv(fi.Head.xMin, 1000, upem), MulDiv(fi.Head.yMin, 1000, upem),
                                            MulDiv(fi.Head.xMax, 1000, upem), MulDiv(fi.Head.yMax, 1000, upem)));
  descriptor_ = descriptor.get();

  if (composite) {
    auto dict = std::make_unique<TPDFDictionary>("Font");
    dict->Add("Subtype", name("Type0"));
    dict->Add("BaseFont", name(psName));
    dict->Add("Encoding", name("Identity-H"));
    auto desc = std::make_unique<TPDFDictionary>("Font");
    desc->Add("Subtype", name("CIDFontType2"));
    desc->Add("BaseFont", name(psName));
    auto info = std::make_unique<TPDFDictionary>();
    info->Add("Supplement", integer(0));
    info->Add("Ordering", std::make_unique<TPDFString>(std::string("Identity")));
    info->Add("Registry", std::make_unique<TPDFString>(std::string("Adobe")));
    desc->Add("CIDSystemInfo", std::move(info));
    desc->Add("W", std::make_unique<TPDFArray>());
    font_ = dict.get();
    descendant_ = desc.get();
    fontNumber_ = writer.AddObject(std::move(dict));
    descendantNumber_ = writer.AddObject(std::move(desc));
    descriptorNumber_ = writer.AddObject(std::move(descriptor));
    font_->Add("DescendantFonts", TPDFArray::Of(ref(descendantNumber_)));
    descendant_->Add("FontDescriptor", ref(descriptorNumber_));
  } else {
    int32_t first = fi.OS2.usFirstCharIndex, last = fi.OS2.usLastCharIndex;
    if (first >= 0xF000 && first <= 0xF0FF) {
      // Symbol fonts keep their characters at U+F000 and up; their codes
      // are the low bytes.
      first &= 0xFF;
      last = last >= 0xF000 && last <= 0xF0FF ? (last & 0xFF) : 255;
    }
    last = std::min(last, 255);
    auto dict = std::make_unique<TPDFDictionary>("Font");
    dict->Add("Subtype", name("TrueType"));
    dict->Add("BaseFont", name(psName));
    dict->Add("Encoding", name("WinAnsiEncoding"));
    dict->Add("FirstChar", integer(first));
    dict->Add("LastChar", integer(last));
    auto widths = std::make_unique<TPDFArray>();
    for (int32_t code = first; code <= last; ++code) widths->Add(integer(widthOfGlyph(codeGlyph(code))));
    dict->Add("Widths", std::move(widths));
    font_ = dict.get();
    fontNumber_ = writer.AddObject(std::move(dict));
    descriptorNumber_ = writer.AddObject(std::move(descriptor));
    font_->Add("FontDescriptor", ref(descriptorNumber_));
  }
}

uint16_t TFontRef::codeGlyph(int32_t code) const {
  // Symbol fonts map their codes at U+F000; the others through the
  // Windows-1252 character the code stands for.
  if (info_->OS2.usFirstCharIndex >= 0xF000) return glyphOf(static_cast<char16_t>(0xF000 + code));
  const char byte = static_cast<char>(code);
  UnicodeString c = AnsiToUnicode(std::string_view(&byte, 1));
  return glyphOf(c.empty() ? static_cast<char16_t>(code) : c[0]);
}

UnicodeString TFontRef::CharsToGlyphs(const UnicodeString& text) const {
  UnicodeString out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char16_t>(glyphOf(text[i]));
  return out;
}

void TFontRef::NoteGlyphText(const UnicodeString& glyphs, const UnicodeString& chars) {
  for (size_t i = 0; i < glyphs.size(); ++i) {
    auto& slot = glyphText_[glyphs[i]];
    if (slot.empty() && i < chars.size()) slot = chars.substr(i, 1);
  }
}

std::string TFontRef::ShowString(const UnicodeString& text, const std::vector<int32_t>& positions,
                                 int32_t tolerance) {
  Assert(text.size() == positions.size(), "TFontRef.ShowString: text and positions differ in length");
  std::string body;
  bool adjusted = false;
  int64_t s = 0;
  uint16_t previousGlyph = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    uint16_t glyph;
    uint8_t code = 0;
    if (composite_) {
      glyph = c;
    } else {
      code = WinAnsiCode(c);
      glyph = codeGlyph(code);
    }
    const int32_t p = positions[i];
    if (p != NoTextPosition) {
      int64_t d = p - s;
      if (std::llabs(d) > tolerance) {
        if (i > 0) {
          const int32_t k = kerning(previousGlyph, glyph);
          if (k != 0 && std::llabs(d - k) < tolerance) d = k;
        }
        body += composite_ ? ">" : ")";
        body += std::to_string(-d);
        body += composite_ ? "<" : "(";
        adjusted = true;
        s += d;
      }
    }
    if (composite_) {
      body += hex4(glyph);
      auto it = usedGlyphs_.find(glyph);
      if (it == usedGlyphs_.end()) it = usedGlyphs_.emplace(glyph, widthOfGlyph(glyph)).first;
      s += it->second;
    } else {
      usedCodes_[code] = true;
      switch (code) {
        case 8: body += "\\b"; break;
        case 9: body += "\\t"; break;
        case 10: body += "\\n"; break;
        case 12: body += "\\f"; break;
        case 13: body += "\\r"; break;
        case '(':
        case ')':
        case '<':
        case '>':
        case '\\':
          body += '\\';
          body += static_cast<char>(code);
          break;
        default: body += static_cast<char>(code); break;
      }
      s += widthOfGlyph(glyph);
    }
    previousGlyph = glyph;
  }
  const char* open = composite_ ? "<" : "(";
  const char* close = composite_ ? ">" : ")";
  if (adjusted) return std::string("[") + open + body + close + "]TJ\n";
  return open + body + close + "Tj\n";
}

void TFontRef::AddToResources(TPDFDictionary* resources) const {
  if (!resources) return;
  auto* procSet = resources->GetObject<TPDFArray>(nullptr, "ProcSet");
  if (!procSet) {
    resources->Add("ProcSet", TPDFArray::Of(name("PDF")));
    procSet = resources->GetObject<TPDFArray>(nullptr, "ProcSet");
  }
  if (!procSet->FindName("Text")) procSet->Add(name("Text"));
  auto* fonts = resources->GetObject<TPDFDictionary>(nullptr, "Font");
  if (!fonts) {
    resources->Add("Font", std::make_unique<TPDFDictionary>());
    fonts = resources->GetObject<TPDFDictionary>(nullptr, "Font");
  }
  if (!fonts->Find(resourceName_)) fonts->Add(resourceName_, ref(fontNumber_));
}

int32_t TFontRef::LineHeight(int32_t size) const {
  return MulDiv(size, info_->OS2.usWinAscent + info_->OS2.usWinDescent, info_->UnitsPerEm);
}

int32_t TFontRef::TopOffset(int32_t size) {
  if (size == topSize_) return topResult_;
  TLogFontW f = logFont_;
  f.lfHeight = size;
  f.lfEscapement = f.lfOrientation = 0;
  TFontContext dc(f);
  TTextMetric tm;
  int32_t result = 0;
  if (dc.Valid() && GetTextMetrics(dc, tm) && tm.tmHeight != 0)
    result = static_cast<int32_t>(std::lround((tm.tmAscent + tm.tmInternalLeading) * static_cast<double>(size) / tm.tmHeight));
  topSize_ = size;
  topResult_ = result;
  return result;
}

int32_t TFontRef::UnderlineOffset(int32_t size) const {
  return MulDiv(size, -info_->Post.underlinePosition, info_->UnitsPerEm);
}
int32_t TFontRef::StrikeOutOffset(int32_t size) const { return MulDiv(size, info_->XHeight / 2, info_->UnitsPerEm); }
int32_t TFontRef::UnderlineWidth(int32_t size) const {
  return MulDiv(size, info_->Post.underlineThickness, info_->UnitsPerEm);
}

void TFontRef::finish(TPDFWriter& writer) {
  if (composite_) {
    // The default width is the most frequent one (the smaller on a tie).
    std::map<int32_t, int32_t> counts;
    for (const auto& [glyph, width] : usedGlyphs_) ++counts[width];
    int32_t dw = 0, best = 0;
    for (const auto& [width, count] : counts)
      if (count > best) {
        best = count;
        dw = width;
      }
    if (!usedGlyphs_.empty()) descendant_->Add("DW", integer(dw));
    auto* w = descendant_->GetObject<TPDFArray>(nullptr, "W");
    int32_t lastGlyph = -2;
    TPDFArray* inner = nullptr;
    for (const auto& [glyph, width] : usedGlyphs_) {
      if (width == dw) continue;
      if (inner && glyph == lastGlyph + 1) {
        inner->Add(integer(width));
      } else {
        w->Add(integer(glyph));
        auto a = TPDFArray::Of(width);
        inner = a.get();
        w->Add(std::move(a));
      }
      lastGlyph = glyph;
    }
    writeToUnicode(writer);
  } else {
    auto* firstObj = font_->GetObject<TPDFInteger>(nullptr, "FirstChar");
    auto* lastObj = font_->GetObject<TPDFInteger>(nullptr, "LastChar");
    int32_t first = firstObj->Value, last = lastObj->Value;
    while (first < last && !usedCodes_[static_cast<size_t>(first)]) ++first;
    while (last > first && !usedCodes_[static_cast<size_t>(last)]) --last;
    firstObj->Value = first;
    lastObj->Value = last;
    auto* widths = font_->GetObject<TPDFArray>(nullptr, "Widths");
    widths->Clear();
    for (int32_t code = first; code <= last; ++code)
      widths->Add(integer(usedCodes_[static_cast<size_t>(code)] ? widthOfGlyph(codeGlyph(code)) : 0));
  }
  subset(writer);
}

void TFontRef::writeToUnicode(TPDFWriter& writer) {
  // Glyphs drawn by number carry no text of their own: the character map
  // read backwards gives them one.
  std::vector<uint16_t> missing;
  for (const auto& [glyph, width] : usedGlyphs_) {
    auto it = glyphText_.find(glyph);
    if (it == glyphText_.end() || it->second.empty()) missing.push_back(glyph);
  }
  if (!missing.empty()) {
    for (uint32_t c = 1; c < 0xFFFF; ++c) {
      const uint16_t g = info_->GlyphIndex(static_cast<uint16_t>(c));
      if (g == 0) continue;
      if (std::binary_search(missing.begin(), missing.end(), g)) {
        auto& slot = glyphText_[g];
        if (slot.empty()) slot = std::u16string(1, static_cast<char16_t>(c));
      }
    }
  }
  std::vector<std::pair<uint16_t, std::u16string>> entries;
  for (const auto& [glyph, width] : usedGlyphs_) {
    auto it = glyphText_.find(glyph);
    if (it != glyphText_.end() && !it->second.empty()) entries.emplace_back(glyph, it->second);
  }
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  for (size_t at = 0; at < entries.size(); at += 100) {
    const size_t n = std::min<size_t>(100, entries.size() - at);
    cmap += std::to_string(n) + " beginbfchar\n";
    for (size_t k = at; k < at + n; ++k) {
      cmap += "<" + hex4(entries[k].first) + "> <";
      for (char16_t u : entries[k].second) cmap += hex4(u);
      cmap += ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  auto stream = std::make_unique<TPDFDictionary>(TPDFBuffer(cmap.begin(), cmap.end()));
  stream->Add("Filter", name("FlateDecode"));
  font_->Add("ToUnicode", ref(writer.AddObject(std::move(stream))));
}

void TFontRef::subset(TPDFWriter& writer) {
  if (!program_ || !programBytes_) return;
  const TBytes& original = *programBytes_;
  // Without a subset the whole program goes in.
  auto whole = [&] { program_->SetStreamData(2, TPDFBuffer(original.begin(), original.end())); };
  if (!(writer.Options & kSubset) || original.empty() || (info_->OS2.fsType & 0x0100)) return whole();
  TTFontTables tables = ParseTableDirectory(std::span<const uint8_t>(original.data(), original.size()));
  if (tables.empty()) return whole();
  KeepEmbeddingTables(tables, !composite_);
  const int32_t locaAt = FindTable(tables, "loca"), glyfAt = FindTable(tables, "glyf");
  const int32_t hheaAt = FindTable(tables, "hhea"), hmtxAt = FindTable(tables, "hmtx");
  if (locaAt < 0 || glyfAt < 0 || hheaAt < 0 || hmtxAt < 0) return whole();
  const uint32_t glyphs = info_->NumGlyphs;
  const bool shortLoca = info_->IndexToLocFormat == 0;
  const TTFontTable loca = tables[static_cast<size_t>(locaAt)], glyf = tables[static_cast<size_t>(glyfAt)];
  if (glyphs <= 1 || loca.Length < (shortLoca ? 2 * glyphs + 2 : 4 * glyphs + 4)) return whole();
  if (tables[static_cast<size_t>(hheaAt)].Length < 36) return whole();
  auto offset = [&](uint32_t g) -> uint32_t {
    return shortLoca ? 2u * be16(loca.Data + 2 * g) : be32(loca.Data + 4 * g);
  };

  std::vector<uint8_t> marks(glyphs, 0);
  marks[0] = 2;
  if (composite_) {
    for (const auto& [glyph, width] : usedGlyphs_)
      if (glyph < glyphs) marks[glyph] = 2;
  } else {
    for (int32_t code = 0; code < 256; ++code)
      if (usedCodes_[static_cast<size_t>(code)]) {
        const uint16_t g = codeGlyph(code);
        if (g < glyphs) marks[g] = 2;
      }
  }
  for (bool again = true; again;) {
    again = false;
    for (uint32_t g = 0; g < glyphs; ++g) {
      if (marks[g] != 2) continue;
      const uint32_t start = offset(g), end = offset(g + 1);
      if (end < start || end > glyf.Length) {
        marks[g] = 0;
        continue;
      }
      marks[g] = 1;
      try {
        TGlyphInformation parsed = ParseGlyph(std::span<const uint8_t>(glyf.Data + start, end - start));
        for (const TGlyphComponent& c : parsed.Components)
          if (c.GlyphIndex < glyphs && marks[c.GlyphIndex] == 0) {
            marks[c.GlyphIndex] = 2;
            again = true;
          }
      } catch (const Exception&) {
        marks[g] = 0;
      }
    }
  }

  TBytes newGlyf, newLoca((shortLoca ? 2 : 4) * (static_cast<size_t>(glyphs) + 1), 0);
  for (uint32_t g = 0; g <= glyphs; ++g) {
    const size_t at = newGlyf.size();
    if (shortLoca) {
      Assert(at % 2 == 0, "TFontRef: odd short loca offset");
      put16(newLoca, 2 * g, static_cast<uint16_t>(at / 2));
    } else {
      put32(newLoca, 4 * g, static_cast<uint32_t>(at));
    }
    if (g == glyphs || marks[g] != 1) continue;
    const uint32_t start = offset(g), end = offset(g + 1);
    newGlyf.insert(newGlyf.end(), glyf.Data + start, glyf.Data + end);
  }
  const TTFontTable hhea = tables[static_cast<size_t>(hheaAt)];
  TBytes newHhea(hhea.Data, hhea.Data + 36);
  const uint16_t hMetrics = std::min<uint32_t>(be16(newHhea.data() + 34), glyphs);
  put16(newHhea, 34, hMetrics);
  const TTFontTable hmtx = tables[static_cast<size_t>(hmtxAt)];
  const uint16_t fontHMetrics = info_->NumberOfHMetrics;
  TBytes newHmtx;
  size_t at = 0;
  for (uint32_t g = 0; g < glyphs; ++g) {
    const size_t need = g < fontHMetrics ? 4 : 2;
    if (at + need > hmtx.Length) break;
    const size_t before = newHmtx.size();
    newHmtx.insert(newHmtx.end(), hmtx.Data + at, hmtx.Data + at + need);
    if (marks[g] != 1) std::fill(newHmtx.begin() + static_cast<std::ptrdiff_t>(before), newHmtx.end(), 0);
    at += need;
  }
  TBytes newPost(32, 0);
  put32(newPost, 0, 0x00030000);
  put32(newPost, 4, static_cast<uint32_t>(info_->Post.italicAngle));
  put16(newPost, 8, static_cast<uint16_t>(info_->Post.underlinePosition));
  put16(newPost, 10, static_cast<uint16_t>(info_->Post.underlineThickness));
  put32(newPost, 12, info_->Post.isFixedPitch);
  AddTable(tables, "glyf", static_cast<uint32_t>(newGlyf.size()), newGlyf.data());
  AddTable(tables, "loca", static_cast<uint32_t>(newLoca.size()), newLoca.data());
  AddTable(tables, "hhea", static_cast<uint32_t>(newHhea.size()), newHhea.data());
  AddTable(tables, "hmtx", static_cast<uint32_t>(newHmtx.size()), newHmtx.data());
  AddTable(tables, "post", static_cast<uint32_t>(newPost.size()), newPost.data());
  TBytes file = BuildTTFontData(tables, false);
  program_->SetStreamData(2, TPDFBuffer(file.begin(), file.end()));
  if (auto* length1 = program_->GetObject<TPDFInteger>(nullptr, "Length1")) length1->Value = static_cast<int32_t>(file.size());

  const std::string tag = PDFSubsetTag(fontNumber_);
  auto retag = [&](TPDFDictionary* d, const char* key) {
    if (auto* nm = d->GetObject<TPDFName>(nullptr, key)) nm->Name = tag + "+" + nm->Name;
  };
  retag(descriptor_, "FontName");
  // The composite font's own BaseFont carries the tag as well, so that
  // readers see the font as the subset it is.
  retag(font_, "BaseFont");
  if (composite_) retag(descendant_, "BaseFont");
}

// ---------------------------------------------------------------------------
// TPDFFontCollection

TPDFFontCollection::TPDFFontCollection(TPDFWriter* writer) : writer_(writer) {
  Assert(writer != nullptr, "TPDFFontCollection: nil writer");
  table_ = CreateMemDataSetFromSpec("Fonts", "Key:astr", MemRecordClass<TFontRef>());
  table_->AddFieldIndex(0, mitUnorderedUnique);
}

TPDFFontCollection::~TPDFFontCollection() = default;

int32_t TPDFFontCollection::Count() const { return table_->GetRecordCount(); }

TFontRef* TPDFFontCollection::Font(int32_t index) const {
  int32_t i = 0;
  for (TMemRecord* r = table_->First(); r; r = r->GetNext(), ++i)
    if (i == index) return static_cast<TFontRef*>(r);
  return nullptr;
}

TFontRef* TPDFFontCollection::FontFromLogFontW(const TLogFontW& font, bool composite) {
  const std::string key = PDFFontKey(font, composite);
  auto it = byKey_.find(key);
  if (it != byKey_.end()) return it->second;
  auto* rec = static_cast<TFontRef*>(table_->AddRecord());
  try {
    rec->SetAnsiString(0, key);
    rec->build(*this, key, font, composite);
  } catch (...) {
    rec->Free();
    throw;
  }
  byKey_[key] = rec;
  return rec;
}

TFontRef* TPDFFontCollection::FontFromLogFontA(const TLogFontA& font, bool composite) {
  return FontFromLogFontW(LogFontAToW(font), composite);
}

bool TPDFFontCollection::NeedsUnicodeFont(const UnicodeString& text) {
  for (char16_t c : text)
    if (c > 255 && (c < 0xF000 || c > 0xF2FF)) return true;
  return false;
}

void TPDFFontCollection::FinishFonts() {
  for (TMemRecord* r = table_->First(); r; r = r->GetNext()) static_cast<TFontRef*>(r)->finish(*writer_);
}

}  // namespace px
