// Font resources: a PDF font dictionary turned into a logical font, a code
// table (simple fonts) or CID metrics (composite fonts), and the placing of
// every glyph of a string.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFFontMapper.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitFontEmbedding.h"
#include "pdf/gui/UnitPDFResources.h"
#include "platform/core/Debug.h"

namespace px {

namespace {

// An installed (or refused) program, owned by its font-file stream so that
// every font dictionary naming the stream shares it.
class TFontProgramHolder : public TPDFAttachedObject {
 public:
  explicit TFontProgramHolder(std::unique_ptr<TEmbeddedFont> font) : Font(std::move(font)) {}
  std::unique_ptr<TEmbeddedFont> Font;
};

constexpr int32_t SymbolicFlag = 4;

int32_t roundInt(long double value) {
  if (!(value > -2147483648.0L)) return std::numeric_limits<int32_t>::min();
  if (!(value < 2147483647.0L)) return std::numeric_limits<int32_t>::max();
  return int32_t(std::lround(value));
}

TPDFNumeric* numeric(TPDFObject* object) { return dynamic_cast<TPDFNumeric*>(object); }

std::string textOf(const TPDFObject* object) {
  if (!object) return "null";
  std::string text = AsPDFText(*object);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::vector<uint16_t> unitsOf(std::string_view bytes) {
  std::vector<uint16_t> units;
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) units.push_back(uint16_t(uint8_t(bytes[k]) << 8 | uint8_t(bytes[k + 1])));
  return units;
}

// Decodes a stream; false when the object is no stream or its filters fail.
bool decodeStream(TPDFCollection* collection, TPDFDictionary* stream) {
  if (!stream || stream->StreamState() == 0) return false;
  try {
    stream->SetStreamState(2, collection);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

TPDFMatrix MultiplyPDFMatrix(const TPDFMatrix& m, const TPDFMatrix& n) {
  return {m[0] * n[0] + m[1] * n[2],        m[0] * n[1] + m[1] * n[3],        m[2] * n[0] + m[3] * n[2],
          m[2] * n[1] + m[3] * n[3],        m[4] * n[0] + m[5] * n[2] + n[4], m[4] * n[1] + m[5] * n[3] + n[5]};
}

// ---------------------------------------------------------------------------
// Factory

std::unique_ptr<TPDFResFont> CreateFont(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary) {
  if (TPDFObject* type = dictionary->GetObject(collection, "Type")) {
    auto* name = dynamic_cast<TPDFName*>(type);
    if (!name || name->Name != "Font") throw EPDFException("TPDFResFont: Not a font dictionary.");
  }
  if (TPDFObject* subtype = dictionary->GetObject(collection, "Subtype")) {
    auto* name = dynamic_cast<TPDFName*>(subtype);
    const std::string kind = name ? name->Name : textOf(subtype);
    if (kind == "TrueType") return std::make_unique<TPDFResFontTypeTT>(collection, flags, dictionary);
    if (kind == "Type1" || kind == "MMType1") return std::make_unique<TPDFResFontType1>(collection, flags, dictionary);
    if (kind == "Type0") return std::make_unique<TPDFResFontType0>(collection, flags, dictionary);
    if (kind == "Type3") return std::make_unique<TPDFResFontType3>(collection, flags, dictionary);
    throw EPDFException("Fonttype not supported: " + kind);
  }
  collection->Warning("No fonttype specified. Going to guess...");
  if (dictionary->GetObject(collection, "CharProcs"))
    return std::make_unique<TPDFResFontType3>(collection, flags, dictionary);
  if (dynamic_cast<TPDFArray*>(dictionary->GetObject(collection, "DescendantFonts")))
    return std::make_unique<TPDFResFontType0>(collection, flags, dictionary);
  auto* descriptor = dynamic_cast<TPDFDictionary*>(dictionary->GetObject(collection, "FontDescriptor"));
  if (descriptor && descriptor->GetObject(collection, "FontFile2"))
    return std::make_unique<TPDFResFontTypeTT>(collection, flags, dictionary);
  return std::make_unique<TPDFResFontType1>(collection, flags, dictionary);
}

// ---------------------------------------------------------------------------
// Common steps

TPDFResFont::TPDFResFont(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResource(collection, flags, dictionary) {
  TPDFObject* name = Entry(dictionary, "BaseFont");
  if (auto* n = dynamic_cast<TPDFName*>(name))
    BaseFont = n->Name;
  else if (auto* s = dynamic_cast<TPDFString*>(name))
    BaseFont = s->Data;
  if (BaseFont.empty()) BaseFont = "Anonymous";
  Descriptor = dynamic_cast<TPDFDictionary*>(Entry(dictionary, "FontDescriptor"));
}

TPDFObject* TPDFResFont::Entry(TPDFDictionary* dictionary, std::string_view key) const {
  return dictionary ? dictionary->GetObject(Document, key) : nullptr;
}

void TPDFResFont::SetUnicode(int32_t code, std::string_view bytes) {
  if (code < 0 || code > 255 || !HasProgram || ProgramUsable) return;
  Codes[size_t(code)].Unicode = unitsOf(bytes);
}

void TPDFResFont::MapFont() {
  std::string_view name = BaseFont;
  // A subset tag ("ABCDEF+") names no installed font.
  if (name.size() >= 8 && name[6] == '+') name.remove_prefix(7);
  LogFont = PDFFontMapper().Lookup(name);
  LogFont.lfUnderline = 0;
  LogFont.lfStrikeOut = 0;
  LogFont.lfCharSet = 1;
  LogFont.lfOutPrecision = 8;
  LogFont.lfClipPrecision = 0;
  LogFont.lfQuality = 0;
  LogFont.lfPitchAndFamily = 0;
}

void TPDFResFont::ApplyDescriptor() {
  if (!Descriptor) return;
  if (auto* weight = numeric(Entry(Descriptor, "FontWeight"))) LogFont.lfWeight = roundInt(weight->AsFloat());
  auto* angle = numeric(Descriptor->GetRequiredObject(Document, "ItalicAngle"));
  if (angle && angle->AsFloat() != 0) LogFont.lfItalic = 1;
  if (auto* flags = numeric(Entry(Descriptor, "Flags"))) DescriptorFlags = roundInt(flags->AsFloat());
}

void TPDFResFont::LoadEmbeddedFont(bool allowSymbolic) {
  if (!Descriptor) return;
  auto* file2 = dynamic_cast<TPDFDictionary*>(Entry(Descriptor, "FontFile2"));
  auto* file3 = dynamic_cast<TPDFDictionary*>(Entry(Descriptor, "FontFile3"));
  auto* file1 = dynamic_cast<TPDFDictionary*>(Entry(Descriptor, "FontFile"));
  HasProgram = file1 || file2 || file3;
  if (!HasProgram || (Flags & 1)) return;
  FontFile = file2 ? file2 : file3 ? file3 : file1;
  if (auto* holder = dynamic_cast<TFontProgramHolder*>(FontFile->AttachedObject.get())) {
    Program = holder->Font.get();
  } else if (file2 || file3) {
    const char* kind = file2 ? "TrueType" : "CFF";
    if (!decodeStream(Document, FontFile)) {
      Document->Warning(std::string("Unable to use embedded ") + kind + " fontfile (corrupt font stream): " + BaseFont);
      return;
    }
    std::unique_ptr<TEmbeddedFont> font;
    if (file2)
      font = std::make_unique<TEmbeddedTTFont>(FontFile->StreamData(), allowSymbolic, BaseFont);
    else
      font = std::make_unique<TEmbeddedCFFFont>(FontFile->StreamData(), allowSymbolic, BaseFont);
    Program = font.get();
    FontFile->AttachedObject = std::make_unique<TFontProgramHolder>(std::move(font));
    if (!Program->IsInstalled()) Document->Warning(std::string("Unable to use embedded ") + kind + " fontfile: " + BaseFont);
  } else {
    if (!decodeStream(Document, FontFile))
      Document->Warning("Unable to use embedded T1 fontfile (corrupt font stream): " + BaseFont);
    else
      Document->Warning("Unable to use embedded type1 fontfile: " + BaseFont);
    return;
  }
  if (Program && Program->IsInstalled()) ProgramUsable = Program->FillLogFont(LogFont);
}

void TPDFResFont::LoadEncoding(std::string_view defaultEncoding, const TEmbeddedFont* program, bool quiet) {
  TPDFObject* encoding = Entry(Dictionary, "Encoding");
  if (!encoding) {
    std::vector<std::string> names;
    if (program) names = program->GetGlyphNames();
    if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return !n.empty(); })) {
      Codes = TFontMapping{};
      for (size_t c = 0; c < 256 && c < names.size(); ++c) {
        if (names[c].empty()) continue;
        Codes[c].Unicode = program->GlyphNameToUnicode(names[c], true);
        Codes[c].Name = names[c];
      }
    } else {
      Codes = GetEncoding((DescriptorFlags & SymbolicFlag) ? std::string_view("1on1") : defaultEncoding);
    }
  } else if (auto* name = dynamic_cast<TPDFName*>(encoding)) {
    Codes = GetEncoding(name->Name);
  } else if (auto* dictionary = dynamic_cast<TPDFDictionary*>(encoding)) {
    auto* base = dynamic_cast<TPDFName*>(Entry(dictionary, "BaseEncoding"));
    Codes = GetEncoding(base ? std::string_view(base->Name) : defaultEncoding);
    if (auto* differences = dynamic_cast<TPDFArray*>(Entry(dictionary, "Differences"))) {
      int64_t code = -1;
      for (int32_t k = 0; k < differences->Count(); ++k) {
        TPDFObject* item = differences->GetObject(Document, k);
        if (auto* number = dynamic_cast<TPDFInteger*>(item)) {
          code = number->Value;
          continue;
        }
        auto* glyph = dynamic_cast<TPDFName*>(item);
        if (!glyph) throw EPDFException("TPDFRenderer: Font encoding differences array invalid (1).");
        if (code < 0 || code > 255) throw EPDFException("TPDFRenderer: Font encoding differences array invalid (2).");
        TEncodingPoint& point = Codes[size_t(code++)];
        if (program) {
          point.Unicode = program->GlyphNameToUnicode(glyph->Name, quiet);
          point.Name = glyph->Name;
        } else {
          std::string stored;
          point.Unicode = GlyphNameToUnicode(glyph->Name, quiet, &stored);
          point.Name = stored.empty() ? glyph->Name : stored;
        }
      }
    }
  } else {
    // Neither a name nor a dictionary: the text still shows through the
    // encoding the font would have had without the entry.
    Codes = GetEncoding(defaultEncoding);
  }

  if (auto* missing = dynamic_cast<TPDFInteger*>(Entry(Descriptor, "MissingWidth")))
    for (TEncodingPoint& point : Codes) point.Width = float(missing->Value);

  auto* firstChar = dynamic_cast<TPDFInteger*>(Entry(Dictionary, "FirstChar"));
  auto* widths = dynamic_cast<TPDFArray*>(Entry(Dictionary, "Widths"));
  if (firstChar && widths) {
    HasWidths = true;
    for (int32_t k = 0; k < widths->Count(); ++k) {
      // A negative FirstChar would write before the table.
      const int64_t index = int64_t(firstChar->Value) + k;
      if (index < 0 || index > 255) throw EPDFException("Font widths array incorrect.");
      if (auto* width = numeric(widths->GetObject(Document, k))) Codes[size_t(index)].Width = float(width->AsFloat());
    }
  }
  auto* subtype = dynamic_cast<TPDFName*>(Entry(Dictionary, "Subtype"));
  if (!HasWidths && subtype && subtype->Name == "Type1") {
    TBuildInFontInfo info;
    // Only a standard font has widths of its own: the others keep theirs to
    // be measured.
    if (FindStandardFont(BaseFont, info)) {
      ApplyStandardWidths(BaseFont, Codes);
      HasWidths = true;
    }
  }
}

void TPDFResFont::MeasureWidths() {
  try {
    TFontInformation info(LogFont, fiWidths);
    for (TEncodingPoint& point : Codes)
      if (!point.Unicode.empty()) point.Width = float(info.CharWidth(point.Unicode[0], 1000));
  } catch (const Exception& e) {
    // A face that cannot be measured leaves the widths the font gave.
    OutputDebugString(std::string("Font widths not measured: ") + e.Message());
  }
}

void TPDFResFont::LoadToUnicode() {
  auto* stream = dynamic_cast<TPDFDictionary*>(Entry(Dictionary, "ToUnicode"));
  if (!decodeStream(Document, stream)) return;
  const TPDFBuffer& data = stream->StreamData();
  const int32_t size = int32_t(std::min<size_t>(data.size(), size_t(std::numeric_limits<int32_t>::max())));
  int32_t pos = 0, state = 0, low = 0, high = 0, code = 0;
  while (pos < size) {
    const uint8_t c = data[size_t(pos)];
    if (IsPDFWhiteSpace(c) || c == ']' || c == '{' || c == '}' || (c == '[' && state != 5)) {
      ++pos;
      continue;
    }
    if ((c == '<' || c == '>') && pos + 1 < size && data[size_t(pos) + 1] == c) {
      pos += 2;
      continue;
    }
    if (c == '%') {
      while (pos < size && data[size_t(pos)] != '\n' && data[size_t(pos)] != '\r') ++pos;
      continue;
    }
    const int32_t start = pos;
    std::unique_ptr<TPDFObject> token;
    try {
      token = ParseContentToken(data, pos, false);
    } catch (const Exception&) {
      // A token this reader does not know is passed over byte by byte.
      pos = start + 1;
      state = 0;
      continue;
    }
    if (pos <= start) pos = start + 1;
    auto* command = dynamic_cast<TPDFCommand*>(token.get());
    auto* string = dynamic_cast<TPDFString*>(token.get());
    switch (state) {
      case 0:
        if (command && command->Text == "beginbfchar")
          state = 1;
        else if (command && command->Text == "beginbfrange")
          state = 3;
        else if (auto* name = dynamic_cast<TPDFName*>(token.get()); name && name->Name == "CMapName")
          while (pos < size && data[size_t(pos)] != '\n' && data[size_t(pos)] != '\r') ++pos;
        break;
      case 1:
        if (string && string->Data.size() == 1) {
          code = uint8_t(string->Data[0]);
          state = 2;
        } else {
          state = 0;
        }
        break;
      case 2:
        if (string && string->Data.size() % 2 == 0) {
          SetUnicode(code, string->Data);
          state = 1;
        } else {
          state = 0;
        }
        break;
      case 3:
        if (string && string->Data.size() == 1) {
          low = uint8_t(string->Data[0]);
          state = 4;
        } else {
          state = 0;
        }
        break;
      case 4:
        if (string && string->Data.size() == 1) {
          high = uint8_t(string->Data[0]);
          state = 5;
        } else {
          state = 0;
        }
        break;
      case 5:
        state = 0;
        if (string && string->Data.size() % 2 == 0) {
          std::string text = string->Data;
          for (int32_t k = low; k <= high; ++k) {
            SetUnicode(k, text);
            if (text.size() >= 2) {
              const uint16_t unit = uint16_t((uint8_t(text[0]) << 8 | uint8_t(text[1])) + 1);
              text[0] = char(unit >> 8);
              text[1] = char(unit & 0xFF);
            }
          }
          state = 3;
        } else if (auto* array = dynamic_cast<TPDFArray*>(token.get()); array && array->Count() == high - low + 1) {
          state = 3;
          for (int32_t k = 0; k < array->Count(); ++k) {
            auto* item = dynamic_cast<TPDFString*>(array->GetItem(k));
            if (!item) {
              state = 0;
              break;
            }
            SetUnicode(low + k, item->Data);
          }
        }
        break;
    }
    // "endbfchar" and "endbfrange" close their block whatever was expected.
    if (command && (command->Text == "endbfchar" || command->Text == "endbfrange")) state = 0;
  }
}

// ---------------------------------------------------------------------------
// Placing glyphs

void TPDFResFont::SelectTextFont(const TPDFTextCallbacks& callbacks, uint32_t color, const TPDFTextState& text,
                                 const TPDFMatrix& ctm) const {
  const TPDFMatrix m = MultiplyPDFMatrix(text.Tm, ctm);
  TLogFontA font = LogFont;
  font.lfHeight = -roundInt(std::sqrt(double(m[2]) * m[2] + double(m[3]) * m[3]) * text.Size);
  font.lfWidth = 0;
  font.lfEscapement = -roundInt(std::atan2(double(m[1]), double(m[0])) * 1800 / std::numbers::pi);
  font.lfOrientation = font.lfEscapement;
  if (callbacks.Select) callbacks.Select(callbacks.SelectData, font, color);
}

void TPDFResFont::AdvanceText(TPDFTextState& text, float dv, float dh, bool charSpacing, bool wordSpacing) const {
  float ty = dv / 1000 * text.Size, tx = dh / 1000 * text.Size;
  float& along = Vertical() ? ty : tx;
  if (charSpacing) along += text.Tc;
  if (wordSpacing) along += text.Tw;
  tx = tx * text.Tz / 100;
  TPDFMatrix& m = text.Tm;
  m[4] += m[0] * tx + m[2] * ty;
  m[5] += m[1] * tx + m[3] * ty;
}

void TPDFResFont::EmitGlyphs(const TPDFTextCallbacks& callbacks, uint32_t color, TPDFTextState& text,
                             const TPDFMatrix& ctm, const uint16_t* units, int32_t count, bool glyphIndex, float w0,
                             float w1, float vx, float vy, bool isSpace) const {
  AdvanceText(text, -vy, -vx, false, false);
  if (count > 0 && color != PDFInvisibleTextColor && callbacks.Glyph) {
    const TPDFMatrix& m = text.Tm;
    const float x = m[2] * text.Ts + m[4], y = m[3] * text.Ts + m[5];
    callbacks.Glyph(callbacks.GlyphData, units, count, glyphIndex, ctm[0] * x + ctm[2] * y + ctm[4],
                    ctm[1] * x + ctm[3] * y + ctm[5]);
  }
  AdvanceText(text, w1, w0, true, isSpace);
  AdvanceText(text, vy, vx, false, false);
}

// ---------------------------------------------------------------------------
// Simple fonts

void TPDFResByteFont::DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color,
                               TPDFTextState& text, const TPDFMatrix& ctm) {
  SelectTextFont(callbacks, color, text, ctm);
  for (const char byte : bytes) {
    const TEncodingPoint& point = Codes[uint8_t(byte)];
    EmitGlyphs(callbacks, color, text, ctm, point.Unicode.data(), int32_t(point.Unicode.size()), false, point.Width, 0,
               0, 0, byte == ' ');
  }
}

TPDFResFontType1::TPDFResFontType1(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResByteFont(collection, flags, dictionary) {
  TBuildInFontInfo standard;
  const bool isStandard = FindStandardFont(BaseFont, standard);
  if (isStandard) {
    const size_t length = std::min<size_t>(standard.WindowsFace.size(), LF_FACESIZE - 1);
    std::copy_n(standard.WindowsFace.data(), length, LogFont.lfFaceName);
    LogFont.lfFaceName[length] = 0;
    LogFont.lfWeight = standard.Weight;
    LogFont.lfItalic = standard.Italic;
  } else {
    MapFont();
    ApplyDescriptor();
  }
  LoadEmbeddedFont(false);
  LoadEncoding(isStandard ? std::string_view(standard.Encoding) : std::string_view(), Program, false);
  if (!HasWidths) MeasureWidths();
  LoadToUnicode();
}

TPDFResFontTypeTT::TPDFResFontTypeTT(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResByteFont(collection, flags, dictionary) {
  MapFont();
  ApplyDescriptor();
  LoadEmbeddedFont(false);
  const bool symbol = Program && Program->IsInstalled() && Program->Symbolic();
  LoadEncoding(symbol ? "1on1" : "StandardEncoding", Program, false);
  if (DescriptorFlags & SymbolicFlag)
    for (size_t c = 0; c < 256; ++c) Codes[c].Unicode = {uint16_t(c)};
  if (!HasWidths) MeasureWidths();
  LoadToUnicode();
}

// ---------------------------------------------------------------------------
// Type 3

TPDFResFontType3::TPDFResFontType3(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResFont(collection, flags, dictionary) {
  LoadEncoding("StandardEncoding", nullptr, true);
  if (!HasWidths) MeasureWidths();
  if (auto* procs = dynamic_cast<TPDFDictionary*>(Entry(dictionary, "CharProcs")))
    for (size_t c = 0; c < 256; ++c)
      if (!Codes[c].Name.empty()) CharProcs[c] = dynamic_cast<TPDFDictionary*>(Entry(procs, Codes[c].Name));
  if (auto* matrix = dynamic_cast<TPDFArray*>(Entry(dictionary, "FontMatrix")); matrix && matrix->Count() == 6)
    for (int32_t k = 0; k < 6; ++k)
      if (auto* value = numeric(matrix->GetObject(collection, k))) FontMatrix[size_t(k)] = float(value->AsFloat());
  Resources = dynamic_cast<TPDFDictionary*>(Entry(dictionary, "Resources"));
  LoadToUnicode();
}

void TPDFResFontType3::DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color,
                                TPDFTextState& text, const TPDFMatrix&) {
  for (const char byte : bytes) {
    const size_t code = uint8_t(byte);
    if (CharProcs[code] && color != PDFInvisibleTextColor && callbacks.Form) {
      const TPDFMatrix size{text.Size * text.Tz / 100, 0, 0, text.Size, 0, text.Ts};
      // Glyph space goes to text space first: the rise is a text-space
      // distance and must not be scaled by the font matrix.
      const TPDFMatrix glyph = MultiplyPDFMatrix(MultiplyPDFMatrix(FontMatrix, size), text.Tm);
      callbacks.Form(callbacks.FormData, CharProcs[code], Resources, glyph);
    }
    AdvanceText(text, 0, FontMatrix[0] * 1000 * Codes[code].Width, true, false);
  }
}

// ---------------------------------------------------------------------------
// Type 0

TPDFResFontType0::TPDFResFontType0(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary)
    : TPDFResFont(collection, flags, dictionary) {
  auto* descendants = dynamic_cast<TPDFArray*>(Entry(dictionary, "DescendantFonts"));
  if (descendants && descendants->Count() == 1)
    Descendant = dynamic_cast<TPDFDictionary*>(descendants->GetObject(collection, 0));
  if (!Descendant) throw EPDFException("Type 0 font needs exactly one descendant font.");
  LoadCIDMetrics();
  Descriptor = dynamic_cast<TPDFDictionary*>(Entry(Descendant, "FontDescriptor"));

  TPDFObject* encoding = Entry(dictionary, "Encoding");
  if (!encoding) {
    collection->Warning("No Type 0 Encoding specified.");
  } else {
    auto* name = dynamic_cast<TPDFName*>(encoding);
    if (name && name->Name == "Identity-V")
      IsVertical = true;
    else if (!name || name->Name != "Identity-H")
      collection->Warning("Unsupported Type 0 Encoding: " + textOf(encoding));
  }

  MapFont();
  ApplyDescriptor();
  LoadEmbeddedFont(true);
  if (ProgramUsable)
    if (auto* cff = dynamic_cast<TEmbeddedCFFFont*>(Program)) {
      // A CFF program draws by its own glyph order: a CID-keyed one finds
      // the glyph of a CID in its charset, another one takes CIDs as glyphs.
      CIDToGID.clear();
      if (cff->CIDKeyed()) CIDToGID = cff->CIDGlyphs();
    }
}

TCIDRecord& TPDFResFontType0::record(int64_t cid) {
  constexpr float empty = std::numeric_limits<float>::quiet_NaN();
  return GIDSet.try_emplace(uint16_t(cid), TCIDRecord{empty, empty, empty, empty}).first->second;
}

void TPDFResFontType0::LoadCIDMetrics() {
  if (auto* dw = numeric(Entry(Descendant, "DW"))) DefaultWidth = float(dw->AsFloat());
  // CIDs are 16-bit: ranges are cut to 0..65535 so that a wild range costs
  // no more than the whole table.
  auto inRange = [](int64_t cid) { return cid >= 0 && cid <= 0xFFFF; };
  auto integer = [this](TPDFArray* array, int32_t k, int64_t& value) {
    auto* item = dynamic_cast<TPDFInteger*>(array->GetObject(Document, k));
    if (item) value = item->Value;
    return item != nullptr;
  };

  if (auto* w = dynamic_cast<TPDFArray*>(Entry(Descendant, "W"))) {
    int32_t k = 0;
    int64_t first = 0, last = 0;
    while (k + 1 < w->Count() && integer(w, k, first)) {
      TPDFObject* second = w->GetObject(Document, k + 1);
      if (auto* widths = dynamic_cast<TPDFArray*>(second)) {
        for (int32_t j = 0; j < widths->Count(); ++j)
          if (auto* value = numeric(widths->GetObject(Document, j)); value && inRange(first + j))
            record(first + j).w0 = float(value->AsFloat());
        k += 2;
      } else if (dynamic_cast<TPDFInteger*>(second) && k + 2 < w->Count()) {
        integer(w, k + 1, last);
        if (auto* value = numeric(w->GetObject(Document, k + 2)))
          for (int64_t cid = std::max<int64_t>(first, 0); cid <= std::min<int64_t>(last, 0xFFFF); ++cid)
            record(cid).w0 = float(value->AsFloat());
        k += 3;
      } else {
        break;
      }
    }
  }

  if (auto* dw2 = dynamic_cast<TPDFArray*>(Entry(Descendant, "DW2"))) {
    TPDFNumeric* v = dw2->Count() == 2 ? numeric(dw2->GetObject(Document, 0)) : nullptr;
    TPDFNumeric* w1 = dw2->Count() == 2 ? numeric(dw2->GetObject(Document, 1)) : nullptr;
    if (v && w1) {
      DefaultV = float(v->AsFloat());
      DefaultW1 = float(w1->AsFloat());
    } else {
      Document->Warning("Type 0 font contains invalid DW2 array.");
    }
  }

  if (auto* w2 = dynamic_cast<TPDFArray*>(Entry(Descendant, "W2"))) {
    auto triple = [this](TPDFArray* array, int32_t k, TCIDRecord& metrics) {
      TPDFNumeric* values[3];
      for (int32_t j = 0; j < 3; ++j)
        if (!(values[j] = numeric(array->GetObject(Document, k + j)))) return false;
      metrics.w1 = float(values[0]->AsFloat());
      metrics.Vx = float(values[1]->AsFloat());
      metrics.Vy = float(values[2]->AsFloat());
      return true;
    };
    int32_t k = 0;
    int64_t first = 0, last = 0;
    while (w2->Count() - k >= 2) {
      if (!integer(w2, k, first)) {
        Document->Warning("Invalid W2 array in font. (1)");
        break;
      }
      TPDFObject* second = w2->GetObject(Document, k + 1);
      if (auto* values = dynamic_cast<TPDFArray*>(second)) {
        for (int32_t j = 0; j + 2 < values->Count(); j += 3) {
          TCIDRecord metrics{};
          if (inRange(first + j / 3) && triple(values, j, metrics)) {
            TCIDRecord& r = record(first + j / 3);
            r.w1 = metrics.w1, r.Vx = metrics.Vx, r.Vy = metrics.Vy;
          }
        }
        k += 2;
      } else if (dynamic_cast<TPDFInteger*>(second)) {
        if (k + 5 > w2->Count()) {
          Document->Warning("Invalid W2 array in font. (2)");
          break;
        }
        integer(w2, k + 1, last);
        TCIDRecord metrics{};
        if (triple(w2, k + 2, metrics))
          for (int64_t cid = std::max<int64_t>(first, 0); cid <= std::min<int64_t>(last, 0xFFFF); ++cid) {
            TCIDRecord& r = record(cid);
            r.w1 = metrics.w1, r.Vx = metrics.Vx, r.Vy = metrics.Vy;
          }
        k += 5;
      } else {
        Document->Warning("Invalid W2 array in font. (1)");
        break;
      }
    }
  }

  if (auto* map = dynamic_cast<TPDFDictionary*>(Entry(Descendant, "CIDToGIDMap")); decodeStream(Document, map)) {
    const TPDFBuffer& data = map->StreamData();
    for (size_t cid = 0; cid <= 0xFFFF && 2 * cid + 1 < data.size(); ++cid)
      if (const uint16_t gid = uint16_t(data[2 * cid] << 8 | data[2 * cid + 1]); gid != 0) CIDToGID[uint16_t(cid)] = gid;
  }
}

TCIDRecord TPDFResFontType0::Metrics(uint16_t cid) const {
  constexpr float empty = std::numeric_limits<float>::quiet_NaN();
  TCIDRecord r{empty, empty, empty, empty};
  if (auto it = GIDSet.find(cid); it != GIDSet.end()) r = it->second;
  if (std::isnan(r.w0)) r.w0 = DefaultWidth;
  if (std::isnan(r.w1)) r.w1 = DefaultW1;
  if (std::isnan(r.Vx)) r.Vx = r.w0 / 2;
  if (std::isnan(r.Vy)) r.Vy = DefaultV;
  return r;
}

uint16_t TPDFResFontType0::GlyphOf(uint16_t cid) const {
  auto it = CIDToGID.find(cid);
  return it != CIDToGID.end() ? it->second : cid;
}

void TPDFResFontType0::DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color,
                                TPDFTextState& text, const TPDFMatrix& ctm) {
  SelectTextFont(callbacks, color, text, ctm);
  // Glyphs of a program that could not be installed would land on the
  // substitute's unrelated glyph indexes: such text only advances.
  const bool emit = !HasProgram || ProgramUsable;
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    const uint16_t cid = uint16_t(uint8_t(bytes[k]) << 8 | uint8_t(bytes[k + 1]));
    const TCIDRecord m = Metrics(cid);
    const uint16_t glyph = GlyphOf(cid);
    if (IsVertical)
      EmitGlyphs(callbacks, color, text, ctm, &glyph, emit ? 1 : 0, true, 0, m.w1, m.Vx, m.Vy, false);
    else
      EmitGlyphs(callbacks, color, text, ctm, &glyph, emit ? 1 : 0, true, m.w0, 0, 0, 0, false);
  }
}

}  // namespace px
