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

}  // namespace

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
