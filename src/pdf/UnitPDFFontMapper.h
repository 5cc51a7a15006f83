#pragma once
// Maps the PostScript base-font names of PDF documents ("Helvetica-Bold",
// "Arial,BoldItalic") to installed fonts, described as single-byte logical fonts.
#include <string>
#include <string_view>

#include "data/UnitDataSet.h"
#include "platform/core/Fonts.h"

namespace px {

class TPDFFontMapping : public TMemRecord {
 public:
  TLogFontA LogFont;
};

// A PostScript font name as family and style: "TimesNewRomanPS-BoldMT" is
// the family "Times New Roman", bold. The endings "PSMT", "PS" and "MT" go;
// the style follows the first "-" (or ","); inner capitals start words.
struct TPostScriptNameParts {
  std::string Family;
  bool Bold = false;
  bool Italic = false;
};
TPostScriptNameParts SplitPostScriptName(std::string_view baseFont);

class TPDFFontMapper {
 public:
  // Registers every installed family (ANSI or symbol character set) under its
  // PostScript names and their style aliases, then the fourteen standard names.
  TPDFFontMapper();

  // The mapping of a base-font name ("," read as "-"); a name not registered
  // is split into family and style and gets that family when the system has
  // it (by name or alias), else Arial; the weight and slant are those its
  // name suggests.
  TLogFontA Lookup(std::string_view baseFont) const;
  // Adds a mapping unless the name is present: the first registration wins.
  void Register(std::string_view name, const TLogFontA& logFont);
  // Registers the name and the style aliases of the font's face name.
  void RegisterWithStyles(const TLogFontA& logFont, std::u16string_view name);
  // The PostScript name of the font the logical font selects; empty when its
  // font information cannot be read.
  static UnicodeString PostScriptName(const TLogFontA& logFont);

  IMemDataSet Table() const { return table_; }

 private:
  IMemDataSet table_;
};

// The process's mapper, built on first use from the fonts installed then.
TPDFFontMapper& PDFFontMapper();

}  // namespace px
