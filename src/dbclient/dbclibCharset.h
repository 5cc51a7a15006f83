#pragma once
// The server's character sets with their code pages and bytes per character,
// and the text conversions between 8-bit column data and wide strings.
#include <string>
#include <string_view>

#include "platform/core/Types.h"

namespace px {

enum TCharacterSet {
  csNONE,
  csASCII,
  csBIG_5,
  csCYRL,
  csDOS437,
  csDOS850,
  csDOS852,
  csDOS857,
  csDOS860,
  csDOS861,
  csDOS863,
  csDOS865,
  csEUCJ_0208,
  csGB_2312,
  csISO8859_1,
  csISO8859_2,
  csKSC_5601,
  csNEXT,
  csOCTETS,
  csSJIS_0208,
  csUNICODE_FSS,
  csUTF8,
  csWIN1250,
  csWIN1251,
  csWIN1252,
  csWIN1253,
  csWIN1254
};
constexpr int CharacterSetCount = 27;

struct TCharacterSetInfo {
  const char* Name;  // as the server names it
  Word CodePage;     // 0: no table named, the legacy code page applies
  Byte BytesPerChar;
};

const TCharacterSetInfo& CharacterSetInfo(TCharacterSet cs);
inline const char* CharacterSetName(TCharacterSet cs) { return CharacterSetInfo(cs).Name; }
inline Word CharacterSetCodePage(TCharacterSet cs) { return CharacterSetInfo(cs).CodePage; }
inline Byte CharacterSetBytesPerChar(TCharacterSet cs) { return CharacterSetInfo(cs).BytesPerChar; }

// By server name, ignoring case; "" gives csNONE. Raises Exception
// "CharacterSet %s not found.".
TCharacterSet FindCharacterSet(std::string_view Name);

// The single-byte code page that stands for the system's ANSI code page
// (Windows-1252 unless configured otherwise).
Word GetLegacyCodePage();
void SetLegacyCodePage(Word CodePage);

// Character set of a code page as the ANSI code page (csNONE when none fits).
TCharacterSet CharacterSetOfCodePage(Word CodePage);
// Character set of the legacy code page.
TCharacterSet CharacterSetOfACP();
TCharacterSet DefaultCharacterSet();

// Conversions; code page 0 means the legacy code page. Input that is not
// valid in the source never raises: it becomes U+FFFD in wide text and "?"
// in 8-bit text.
std::string WideToCodePage(std::u16string_view Text, Word CodePage);
UnicodeString CodePageToWide(std::string_view Text, Word CodePage);

}  // namespace px
