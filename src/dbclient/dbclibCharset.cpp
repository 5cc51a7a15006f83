#include "dbclient/dbclibCharset.h"

#include <atomic>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"

namespace px {

namespace {

const TCharacterSetInfo characterSets[CharacterSetCount] = {
    {"NONE", 0, 1},          {"ASCII", 20127, 1},    {"BIG_5", 950, 2},      {"CYRL", 1251, 1},
    {"DOS437", 437, 1},      {"DOS850", 850, 1},     {"DOS852", 852, 1},     {"DOS857", 857, 1},
    {"DOS860", 860, 1},      {"DOS861", 861, 1},     {"DOS863", 863, 1},     {"DOS865", 865, 1},
    {"EUCJ_0208", 20932, 2}, {"GB_2312", 936, 2},    {"ISO8859_1", 28591, 1}, {"ISO8859_2", 28592, 1},
    {"KSC_5601", 949, 2},    {"NEXT", 0, 1},         {"OCTETS", 0, 1},       {"SJIS_0208", 932, 2},
    {"UNICODE_FSS", 65001, 3}, {"UTF8", 65001, 3},   {"WIN1250", 1250, 1},   {"WIN1251", 1251, 1},
    {"WIN1252", 1252, 1},    {"WIN1253", 1253, 1},   {"WIN1254", 1254, 1},
};

std::atomic<Word> legacyCodePage{1252};

// iconv's name of a code page; nullptr for those handled without iconv.
const char* iconvName(Word codePage) {
  switch (codePage) {
    case 20127: return "ASCII";
    case 20932: return "EUC-JP";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 936: return "GBK";
    case 950: return "BIG5";
    case 949: return "CP949";
    case 932: return "CP932";
    default: break;
  }
  static thread_local char name[16];
  snprintf(name, sizeof name, "CP%u", static_cast<unsigned>(codePage));
  return name;
}

Word effective(Word codePage) { return codePage == 0 ? GetLegacyCodePage() : codePage; }

}  // namespace

const TCharacterSetInfo& CharacterSetInfo(TCharacterSet cs) {
  int i = static_cast<int>(cs);
  return characterSets[i >= 0 && i < CharacterSetCount ? i : 0];
}

TCharacterSet FindCharacterSet(std::string_view Name) {
  if (Name.empty()) return csNONE;
  for (int i = 0; i < CharacterSetCount; ++i)
    if (SameText(Name, characterSets[i].Name)) return static_cast<TCharacterSet>(i);
  throw Exception("CharacterSet " + std::string(Name) + " not found.");
}

Word GetLegacyCodePage() { return legacyCodePage.load(); }
void SetLegacyCodePage(Word CodePage) { legacyCodePage.store(CodePage); }

TCharacterSet CharacterSetOfCodePage(Word CodePage) {
  switch (CodePage) {
    case 437: return csDOS437;
    case 850: return csDOS850;
    case 852: return csDOS852;
    case 857: return csDOS857;
    case 860: return csDOS860;
    case 861: return csDOS861;
    case 863: return csDOS863;
    case 865: return csDOS865;
    case 932: return csSJIS_0208;
    case 936: return csGB_2312;
    case 949: return csKSC_5601;
    case 950: return csBIG_5;
    case 1250: return csWIN1250;
    case 1251: return csWIN1251;
    case 1252: return csWIN1252;
    case 1253: return csWIN1253;
    case 1254: return csWIN1254;
    case 20127: return csASCII;
    case 20932: return csEUCJ_0208;
    case 28591: return csISO8859_1;
    case 28592: return csISO8859_2;
    default: return csNONE;
  }
}

TCharacterSet CharacterSetOfACP() { return CharacterSetOfCodePage(GetLegacyCodePage()); }
TCharacterSet DefaultCharacterSet() { return CharacterSetOfACP(); }

std::string WideToCodePage(std::u16string_view Text, Word CodePage) {
  if (Text.empty()) return {};
  Word cp = effective(CodePage);
  if (cp == 1252) return UnicodeToAnsi(Text);
  if (cp == 65001) return UnicodeToUtf8(Text);
  std::string_view bytes(reinterpret_cast<const char*>(Text.data()), Text.size() * 2);
  try {
    return ConvertCharset(bytes, "UTF-16LE", iconvName(cp));
  } catch (const EEncodingError&) {
    // A code page iconv does not know: every character becomes "?".
    return std::string(Text.size(), '?');
  }
}

UnicodeString CodePageToWide(std::string_view Text, Word CodePage) {
  if (Text.empty()) return {};
  Word cp = effective(CodePage);
  if (cp == 1252) return AnsiToUnicode(Text);
  if (cp == 65001) return Utf8ToUnicode(Text);
  std::string wide;
  try {
    wide = ConvertCharset(Text, iconvName(cp), "UTF-16LE");
  } catch (const EEncodingError&) {
    return UnicodeString(Text.size(), u'\uFFFD');
  }
  UnicodeString out(wide.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(wide[2 * i]) |
                                   (static_cast<unsigned char>(wide[2 * i + 1]) << 8));
  return out;
}

}  // namespace px
