#include "pdf/UnitPDFFontMapper.h"

#include <memory>
#include <mutex>

#include "pdf/UnitFontConstants.h"
#include "pdf/UnitFontInformation.h"
#include "platform/core/CodePages.h"

namespace px {

namespace {

std::string replaceCommas(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c == ',') c = '-';
  return s;
}

TLogFontA standardLogFont(std::string_view face, int32_t weight, bool italic) {
  TLogFontA lf;
  lf.lfWeight = weight;
  lf.lfItalic = italic ? 1 : 0;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  SetLogFontFaceName(lf, face);
  return lf;
}

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }

void dropEnding(std::string& s) {
  for (const char* ending : {"PSMT", "PS", "MT"}) {
    const std::string_view e(ending);
    if (s.size() > e.size() && s.ends_with(e)) {
      s.resize(s.size() - e.size());
      return;
    }
  }
}

}  // namespace

TPostScriptNameParts SplitPostScriptName(std::string_view baseFont) {
  std::string name = replaceCommas(baseFont);
  dropEnding(name);
  TPostScriptNameParts parts;
  const size_t dash = name.find('-');
  std::string family = name.substr(0, dash);
  const std::string style = dash == std::string::npos ? std::string() : name.substr(dash + 1);
  dropEnding(family);
  // "TimesNewRoman" is the family "Times New Roman", "ITCAvantGarde" the
  // family "ITC Avant Garde".
  for (size_t i = 0; i < family.size(); ++i) {
    const char c = family[i];
    if (i > 0 && isUpper(c) && family[i - 1] != ' ' &&
        (isLower(family[i - 1]) || (isUpper(family[i - 1]) && i + 1 < family.size() && isLower(family[i + 1]))))
      parts.Family += ' ';
    parts.Family += c;
  }
  parts.Bold = style.find("Bold") != std::string::npos;
  parts.Italic = style.find("Italic") != std::string::npos || style.find("Oblique") != std::string::npos;
  return parts;
}

TPDFFontMapper::TPDFFontMapper() {
  table_ = CreateMemDataSetFromSpec("FontMapper", "Name:astr#", MemRecordClass<TPDFFontMapping>());
  EnumFontFamilies([this](const TLogFontA& font, const TTextMetric&, uint32_t fontType) {
    if (!(fontType & (DEVICE_FONTTYPE | TRUETYPE_FONTTYPE))) return true;
    if (font.lfCharSet != ANSI_CHARSET && font.lfCharSet != SYMBOL_CHARSET) return true;
    TLogFontA lf = font;
    lf.lfItalic = 0;
    lf.lfWeight = FW_NORMAL;
    UnicodeString name = PostScriptName(lf);
    if (name.empty()) {
      RegisterWithStyles(lf, AnsiToUnicode(lf.lfFaceName));
      return true;
    }
    RegisterWithStyles(lf, name);
    for (auto [italic, weight] : {std::pair{1, FW_NORMAL}, {0, FW_BOLD}, {1, FW_BOLD}}) {
      TLogFontA variant = lf;
      variant.lfItalic = Byte(italic);
      variant.lfWeight = weight;
      UnicodeString variantName = PostScriptName(variant);
      if (!variantName.empty()) RegisterWithStyles(variant, variantName);
    }
    return true;
  });
  for (const TBuildInFontInfo& f : StandardFonts())
    Register(f.PDFName, standardLogFont(f.WindowsFace, f.Weight, f.Italic != 0));
}

TLogFontA TPDFFontMapper::Lookup(std::string_view baseFont) const {
  std::string name = replaceCommas(baseFont);
  if (auto* r = static_cast<TPDFFontMapping*>(table_->FindAnsiString(0, name))) return r->LogFont;
  // A name the installed fonts do not answer to, split into family and style,
  // reaches the system's font configuration, whose aliases know the common
  // faces (TimesNewRomanPSMT is a regular Times New Roman).
  const TPostScriptNameParts parts = SplitPostScriptName(baseFont);
  if (!parts.Family.empty() && IsFontFamilyAvailable(parts.Family))
    return standardLogFont(parts.Family, parts.Bold ? FW_BOLD : FW_NORMAL, parts.Italic);
  bool bold = baseFont.find("Bold") != std::string_view::npos;
  bool italic = baseFont.find("Italic") != std::string_view::npos || baseFont.find("Oblique") != std::string_view::npos;
  return standardLogFont("Arial", bold ? FW_BOLD : FW_NORMAL, italic);
}

void TPDFFontMapper::Register(std::string_view name, const TLogFontA& logFont) {
  if (table_->FindAnsiString(0, name)) return;
  auto* r = static_cast<TPDFFontMapping*>(table_->AddRecord());
  r->SetAnsiString(0, std::string(name));
  r->LogFont = logFont;
}

void TPDFFontMapper::RegisterWithStyles(const TLogFontA& logFont, std::u16string_view name) {
  Register(UnicodeToUtf8(name), logFont);
  std::string base;
  for (char c : LogFontFaceName(logFont))
    if (c != '\0' && c != '\t' && c != '\n' && c != '\f' && c != '\r' && c != ' ') base += c;
  std::vector<std::string> suffixes;
  bool bold = logFont.lfWeight > 500, italic = logFont.lfItalic != 0;
  if (!bold && !italic) {
    Register(base, logFont);
    if (!base.ends_with("Regular")) suffixes = {"-Regular", ",Regular"};
  } else if (!bold) {
    suffixes = {"-Italic", ",Italic", "-Oblique", ",Oblique"};
  } else if (!italic) {
    suffixes = {"-Bold", ",Bold"};
  } else {
    suffixes = {"-BoldItalic", ",BoldItalic", "-ItalicBold", ",ItalicBold",
                "-BoldOblique", ",BoldOblique", "-ObliqueBold", ",ObliqueBold"};
  }
  for (const std::string& s : suffixes) Register(base + s, logFont);
}

UnicodeString TPDFFontMapper::PostScriptName(const TLogFontA& logFont) {
  try {
    return TFontInformation(logFont, fiNames).PostScriptName();
  } catch (const Exception&) {
    return {};
  }
}

TPDFFontMapper& PDFFontMapper() {
  static std::unique_ptr<TPDFFontMapper> mapper;
  static std::once_flag once;
  std::call_once(once, [] { mapper = std::make_unique<TPDFFontMapper>(); });
  return *mapper;
}

}  // namespace px
