#pragma once
// Font programs embedded in a PDF made usable for text drawing. A TrueType
// program is repaired and renamed; the rebuilt font is installed privately
// for this process under a unique face name and removed when the object is
// freed. An object whose program cannot be used exists but is not installed;
// the caller then draws with a substitute font.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Fonts.h"
#include "platform/core/Types.h"

namespace px {

class TEmbeddedFont {
 public:
  virtual ~TEmbeddedFont();
  TEmbeddedFont(const TEmbeddedFont&) = delete;
  TEmbeddedFont& operator=(const TEmbeddedFont&) = delete;

  bool IsInstalled() const { return handle_ != 0; }
  // Completes a logical font so that it selects the installed face.
  bool FillLogFont(TLogFontA& font) const;
  // One glyph name per byte code; empty when the program does not name them.
  virtual std::vector<std::string> GetGlyphNames() const { return {}; }
  virtual std::vector<uint16_t> GlyphNameToUnicode(std::string_view name, bool quiet) const;

  const std::string& FaceName() const { return faceName_; }
  // The bytes that were installed (empty when nothing was).
  const TBytes& FontData() const { return fontData_; }
  uint8_t ItalicState() const { return italic_; }  // 0 unknown, 1 upright, 2 italic
  bool Symbolic() const { return symbol_; }
  int32_t Weight() const { return weight_; }

 protected:
  TEmbeddedFont() = default;
  // Makes the unique face name "XXXXXX+Family" from the family of the program.
  void MakeFaceName(std::string_view family);
  // Installs the rebuilt bytes; false (with a debug line) when refused.
  bool Install(TBytes data);

  uint32_t handle_ = 0;
  std::string faceName_;
  uint8_t italic_ = 0;
  bool symbol_ = false;
  int32_t weight_ = 0;
  TBytes fontData_;
};

// The face-name counter: the value the next installed font will take minus one.
uint32_t EmbeddedFontCounter();

enum class TEmbeddedCMapKind : uint8_t { None, Unicode, Symbol };

class TEmbeddedTTFont : public TEmbeddedFont {
 public:
  // Never raises for bad data: the object is then not installed.
  TEmbeddedTTFont(const TBytes& fontFile, bool allowSymbolic, std::string_view baseFontName);

  TEmbeddedCMapKind CMapKind() const { return kind_; }
  uint16_t FirstCode() const { return firstCode_; }
  uint16_t LastCode() const { return lastCode_; }

 private:
  bool Rebuild(const TBytes& fontFile, bool allowSymbolic, std::string_view baseFontName);

  TEmbeddedCMapKind kind_ = TEmbeddedCMapKind::None;
  uint16_t firstCode_ = 1;
  uint16_t lastCode_ = 255;
  std::array<uint8_t, 256> byteMap_{};
};

// A CFF program (Type 2 charstrings) wrapped unchanged into an OpenType font
// whose other tables are generated from its DICTs and charstrings. Glyph names
// without a character get private code points from 0xE000 on.
class TEmbeddedCFFFont : public TEmbeddedFont {
 public:
  // Never raises: a program that cannot be used leaves the object not installed.
  TEmbeddedCFFFont(const TBytes& fontFile, bool unused, std::string_view baseFontName);

  std::vector<std::string> GetGlyphNames() const override;
  std::vector<uint16_t> GlyphNameToUnicode(std::string_view name, bool quiet) const override;

  uint16_t GlyphCount() const { return uint16_t(widths_.size()); }
  const std::vector<uint16_t>& Widths() const { return widths_; }
  uint16_t UnitsPerEm() const { return unitsPerEm_; }
  bool CIDKeyed() const { return cidKeyed_; }
  // CID to glyph index (CID-keyed programs only).
  const std::map<uint16_t, uint16_t>& CIDGlyphs() const { return cidGlyphs_; }

 private:
  struct TState;
  bool Rebuild(const TBytes& fontFile, std::string_view baseFontName);

  std::vector<std::string> glyphNames_;  // by glyph
  std::array<uint16_t, 256> encoding_{};  // code to glyph
  std::vector<uint16_t> widths_;
  uint16_t unitsPerEm_ = 1000;
  bool cidKeyed_ = false;
  std::map<uint16_t, uint16_t> cidGlyphs_;
  std::map<std::string, uint16_t, std::less<>> privateMap_;
};

}  // namespace px
