#pragma once
// Font knowledge that needs no font file: the named single-byte encodings of
// PDF, glyph names to Unicode, the fourteen standard fonts with the faces
// that stand in for them and their glyph widths.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/UnitDataSet.h"

namespace px {

struct TEncodingPoint {
  std::vector<uint16_t> Unicode;  // empty when the code has no character
  std::string Name;               // glyph name; empty when none
  float Width = 0;                // glyph units per 1000 em; 0 unless filled from the standard widths
};
using TFontMapping = std::array<TEncodingPoint, 256>;

struct TBuildInFontInfo {
  std::string PDFName;
  std::string WindowsFace;
  int32_t Weight = 400;
  uint8_t Italic = 0;
  uint8_t WidthsColumn = 0;  // 0: none
  int32_t DefaultWidth = 0;  // per 1000 em
  std::string Encoding;
};

// The fourteen standard fonts in table order.
const std::array<TBuildInFontInfo, 14>& StandardFonts();

// Loads the glyph list and the widths from the "pdfdata" resources (once; later
// calls do nothing). Every routine below calls it on first use.
void InitFontConstants();

// "StandardEncoding", "MacRomanEncoding", "WinAnsiEncoding",
// "MacExpertEncoding", "SymbolEncoding", "ZapfDingbatsEncoding"; "1on1",
// "Identity-H" and "Identity-V" map each code to itself without a name; any
// other name gives StandardEncoding.
TFontMapping GetEncoding(std::string_view name);

// The code points of a glyph name (ligatures "f_f_i", suffixes "A.sc", the glyph
// list, "uniXXXX..." and "xHH"); *storedName receives the name an encoding
// entry keeps. Unknown names give nothing and, unless quiet, a debug line.
std::vector<uint16_t> GlyphNameToUnicode(std::string_view name, bool quiet, std::string* storedName = nullptr);

// Finds a standard font after normalising the name ("," to "-", "Italic" to
// "Oblique", "ObliqueBold" to "BoldOblique").
bool FindStandardFont(std::string_view name, TBuildInFontInfo& info);
// Gives every entry the font's default width, then each named glyph its width.
void ApplyStandardWidths(std::string_view fontName, TFontMapping& mapping);

// Glyph-name lists: A holds indexes 0..390, B 0..145.
const std::string& StandardStringA(int32_t index);
const std::string& StandardStringB(int32_t index);

// The loaded record sets (for tools and tests): the glyph list (name, then up
// to four code points) and the widths (name, then ten columns).
IMemDataSet GlyphListDataSet();
IMemDataSet WidthsDataSet();

// Parses a decompressed glyph-list resource. Raises Exception "Invalid file
// format for resource pdfdata/glyphs" for another version, too little data or
// an entry that does not fit.
IMemDataSet ParseGlyphList(const TBytes& data);

}  // namespace px
