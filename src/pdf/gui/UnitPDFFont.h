#pragma once
// Fonts of a produced PDF document: one TFontRef per installed face and kind
// (a simple TrueType font with WinAnsiEncoding, or a composite Type0 font
// over glyph numbers), with its dictionaries, descriptor and embedded program,
// the text-showing operators, the record of what was used, and the widths and
// subset written when the document is finished.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "pdf/UnitPDFParser.h"
#include "pdf/UnitPDFParserWriter.h"
#include "platform/core/Fonts.h"
#include "platform/gui/Graphics.h"

namespace px {

class TFontInformation;
class TPDFFontCollection;

// The value of a position that is not given.
constexpr int32_t NoTextPosition = INT32_MIN;

class TFontRef : public TMemRecord {
 public:
  TFontRef();
  ~TFontRef() override;

  const std::string& Key() const { return key_; }
  const std::string& ResourceName() const { return resourceName_; }
  bool Composite() const { return composite_; }
  const TFontInformation& Information() const { return *info_; }

  // The showing operator for Text with the wanted positions (thousandths of
  // the size from the run start; NoTextPosition for none) and the tolerance
  // below which a difference is not adjusted.
  std::string ShowString(const UnicodeString& text, const std::vector<int32_t>& positions, int32_t tolerance);
  // Each character replaced by its glyph number.
  UnicodeString CharsToGlyphs(const UnicodeString& text) const;
  // Records which characters glyph-number text stood for, so that the text
  // can be extracted again (the glyph numbers' own characters otherwise).
  void NoteGlyphText(const UnicodeString& glyphs, const UnicodeString& chars);
  void AddToResources(TPDFDictionary* resources) const;

  int32_t LineHeight(int32_t size) const;
  int32_t TopOffset(int32_t size);
  int32_t UnderlineOffset(int32_t size) const;
  int32_t StrikeOutOffset(int32_t size) const;
  int32_t UnderlineWidth(int32_t size) const;

  int32_t FontObjectNumber() const { return fontNumber_; }

 private:
  friend class TPDFFontCollection;
  void build(TPDFFontCollection& owner, const std::string& key, const TLogFontW& font, bool composite);
  void finish(TPDFWriter& writer);
  void subset(TPDFWriter& writer);
  void writeToUnicode(TPDFWriter& writer);
  int32_t kerning(uint16_t left, uint16_t right) const;
  uint16_t glyphOf(char16_t c) const;
  // The glyph a WinAnsiEncoding code shows.
  uint16_t codeGlyph(int32_t code) const;
  int32_t widthOfGlyph(uint16_t glyph) const;

  std::string key_;
  std::string resourceName_;
  bool composite_ = false;
  TLogFontW logFont_;
  std::shared_ptr<const TFontInformation> info_;  // shared with every document
  TPDFDictionary* program_ = nullptr;  // owned by the writer once added
  std::shared_ptr<const TBytes> programBytes_;
  TPDFDictionary* descriptor_ = nullptr;
  TPDFDictionary* font_ = nullptr;
  TPDFDictionary* descendant_ = nullptr;
  int32_t fontNumber_ = 0;
  int32_t descendantNumber_ = 0;
  int32_t descriptorNumber_ = 0;
  std::vector<bool> usedCodes_ = std::vector<bool>(256, false);
  // Used glyphs of the composite kind: glyph -> width in thousandths of an em.
  std::map<uint16_t, int32_t> usedGlyphs_;
  // The characters each used glyph was drawn for.
  std::map<uint16_t, std::u16string> glyphText_;
  int32_t topSize_ = INT32_MIN;
  int32_t topResult_ = 0;
};

class TPDFFontCollection {
 public:
  explicit TPDFFontCollection(TPDFWriter* writer);
  ~TPDFFontCollection();
  TPDFFontCollection(const TPDFFontCollection&) = delete;
  TPDFFontCollection& operator=(const TPDFFontCollection&) = delete;

  TFontRef* FontFromLogFontW(const TLogFontW& font, bool composite);
  TFontRef* FontFromLogFontA(const TLogFontA& font, bool composite);
  // True when the text holds a character above 255 outside U+F000..U+F2FF.
  static bool NeedsUnicodeFont(const UnicodeString& text);
  void FinishFonts();
  int32_t Count() const;
  TFontRef* Font(int32_t index) const;
  TPDFWriter* Writer() const { return writer_; }

 private:
  TPDFWriter* writer_;
  IMemDataSet table_;
  std::map<std::string, TFontRef*> byKey_;
};

// The font key: UTF-8 face name, "B"/"b" for the weight, "I"/"i" for the
// italic flag, and "0" for the composite kind.
std::string PDFFontKey(const TLogFontW& font, bool composite);

// The six capital letters that mark a subset, made from the object number
// of the font dictionary.
std::string PDFSubsetTag(int32_t objectNumber);

// WinAnsiEncoding code of a character ("?" for characters it lacks).
uint8_t WinAnsiCode(char16_t c);

// The font a logical font stands for in a document: a face name with a
// subset tag ("ABCDEF+Helvetica-Bold") names a font of a PDF document, whose
// base-font name after the tag goes through the font mapper; any other
// logical font stands for itself. Measuring and writing both go through it.
TLogFontW PDFMappedLogFont(const TLogFontW& font);

// Measuring at a device resolution through the font's own tables (cached per
// face, weight and italic for the life of the process). The font's height is
// in device pixels: negative the em height, positive the cell height.
std::vector<int32_t> PDFTextAdvances(const TLogFontW& font, const UnicodeString& text, bool glyphNumbers);
TTextMetrics PDFTextMetrics(const TLogFontW& font);
std::shared_ptr<const TFontInformation> PDFFontInformation(const TLogFontW& font);

}  // namespace px
