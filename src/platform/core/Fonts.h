#pragma once
// Logical fonts and the font registry.
//
// A logical font (face name, weight, italic, height) is resolved to the bytes
// of one face of a font file: first among the faces the process registered
// from memory, then among the installed fonts that fontconfig knows. Only
// TrueType and CFF-flavoured faces are ever chosen, so a Type 1 copy of a
// family never stands in for it. Measuring (text metrics, font tables) and
// drawing ask the same resolver and so see the same bytes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/Types.h"

namespace px {

constexpr int32_t LF_FACESIZE = 32;

// Weights, character sets, precisions.
constexpr int32_t FW_DONTCARE = 0;
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_BOLD = 700;
constexpr Byte ANSI_CHARSET = 0;
constexpr Byte DEFAULT_CHARSET = 1;
constexpr Byte SYMBOL_CHARSET = 2;
constexpr Byte OUT_DEFAULT_PRECIS = 0;
constexpr Byte OUT_TT_ONLY_PRECIS = 7;

// Pitch-and-family bits of the text metrics. TMPF_FIXED_PITCH set means the
// font is NOT monospaced.
constexpr Byte TMPF_FIXED_PITCH = 0x01;
constexpr Byte TMPF_VECTOR = 0x02;
constexpr Byte TMPF_TRUETYPE = 0x04;
constexpr Byte TMPF_DEVICE = 0x08;

// Font types handed to an enumeration callback.
constexpr uint32_t RASTER_FONTTYPE = 0x1;
constexpr uint32_t DEVICE_FONTTYPE = 0x2;
constexpr uint32_t TRUETYPE_FONTTYPE = 0x4;

// The error value of GetFontData.
constexpr uint32_t GDI_ERROR = 0xFFFFFFFFu;

struct TLogFontA {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  Byte lfItalic = 0;
  Byte lfUnderline = 0;
  Byte lfStrikeOut = 0;
  Byte lfCharSet = 0;
  Byte lfOutPrecision = 0;
  Byte lfClipPrecision = 0;
  Byte lfQuality = 0;
  Byte lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};  // Windows-1252, NUL-terminated
};

struct TLogFontW {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  Byte lfItalic = 0;
  Byte lfUnderline = 0;
  Byte lfStrikeOut = 0;
  Byte lfCharSet = 0;
  Byte lfOutPrecision = 0;
  Byte lfClipPrecision = 0;
  Byte lfQuality = 0;
  Byte lfPitchAndFamily = 0;
  char16_t lfFaceName[LF_FACESIZE] = {};  // NUL-terminated
};

// number x numerator / denominator with a 64-bit product, rounded half away
// from zero; -1 for a zero denominator or a result outside 32 bits.
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

// Face names of logical fonts. Setting one cuts it to 31 characters.
std::string LogFontFaceName(const TLogFontA& font);  // UTF-8
std::string LogFontFaceName(const TLogFontW& font);  // UTF-8
void SetLogFontFaceName(TLogFontA& font, std::string_view utf8);
void SetLogFontFaceName(TLogFontW& font, std::string_view utf8);
TLogFontW LogFontAToW(const TLogFontA& font);
TLogFontA LogFontWToA(const TLogFontW& font);

struct TTextMetric {
  int32_t tmHeight = 0;
  int32_t tmAscent = 0;
  int32_t tmDescent = 0;
  int32_t tmInternalLeading = 0;
  int32_t tmExternalLeading = 0;
  int32_t tmAveCharWidth = 0;
  int32_t tmMaxCharWidth = 0;
  int32_t tmWeight = 0;
  int32_t tmOverhang = 0;
  int32_t tmDigitizedAspectX = 96;
  int32_t tmDigitizedAspectY = 96;
  char16_t tmFirstChar = 0;
  char16_t tmLastChar = 0;
  char16_t tmDefaultChar = 0;
  char16_t tmBreakChar = 0;
  Byte tmItalic = 0;
  Byte tmUnderlined = 0;
  Byte tmStruckOut = 0;
  Byte tmPitchAndFamily = 0;
  Byte tmCharSet = 0;
};

// One face of a font file, as the registry found it.
struct TFontFace {
  std::shared_ptr<const TBytes> Data;  // the whole file (a collection stays whole)
  uint32_t Index = 0;                  // the face within a collection
  uint32_t Offset = 0;                 // where the face's table directory starts
  std::string File;                    // path; empty for a face registered from memory
  std::string Family;                  // name ID 1 (UTF-8)
  std::string Style;                   // name ID 2 (UTF-8)
  std::string Format;                  // "TrueType" or "CFF"
  int32_t Weight = FW_NORMAL;          // OS/2 usWeightClass
  bool Italic = false;
  bool Symbol = false;                 // the face has a (3,0) cmap
  bool Latin = false;                  // it covers the letters of Windows-1252
  bool FixedPitch = false;
};
using TFontFacePtr = std::shared_ptr<const TFontFace>;

// The face a logical font selects: a face registered from memory whose family
// is the face name (case-insensitive; the nearest in italic, then weight), else
// fontconfig's best TrueType or CFF match. The face name is cut to 31
// characters. nullptr only when no usable font is installed at all.
TFontFacePtr ResolveFontFace(std::string_view faceUtf8, int32_t weight, bool italic);
TFontFacePtr ResolveFontFace(const TLogFontA& font);
TFontFacePtr ResolveFontFace(const TLogFontW& font);

// The nearest face with TrueType outlines, found as ResolveFontFace finds a
// face but passing over faces with CFF outlines (for writers that can embed
// TrueType programs only). nullptr when no TrueType face is usable at all.
TFontFacePtr ResolveTrueTypeFontFace(std::string_view faceUtf8, int32_t weight, bool italic);

// Whether the system has the family: a face registered from memory under it,
// or an installed face that fontconfig picks for it by name or through an
// alias of its configuration (not through its generic fallback).
bool IsFontFamilyAvailable(std::string_view familyUtf8);

// The logical font that selects the face: its family, weight and italic flag.
TLogFontW LogFontForFace(const TFontFace& face);

// Faces registered from memory, private to the process. The result is a handle
// (0 when the data holds no usable face) and the number of faces added; the
// bytes are copied. Removing drops every face the handle added.
uint32_t AddFontMemResource(const void* data, size_t size, uint32_t* faceCount = nullptr);
bool RemoveFontMemResource(uint32_t handle);
// Counts the changes of the faces registered from memory, so that a cache of
// resolved faces knows when to look again.
uint64_t FontRegistryGeneration();

// A logical font realised on a device: the logical font and its face, as a
// font selected into a device context is.
class TFontContext {
 public:
  explicit TFontContext(const TLogFontW& font);
  explicit TFontContext(const TLogFontA& font);
  const TLogFontW& LogFont() const { return logFont_; }
  const TFontFacePtr& Face() const { return face_; }
  bool Valid() const { return face_ != nullptr; }

 private:
  TLogFontW logFont_;
  TFontFacePtr face_;
};

// Reads font data of the selected face: Table is the tag's four bytes in file
// order as a 32-bit number (the first character in the low byte); Table 0 is
// the whole file (a face of a collection as a standalone file). With Buffer
// null or Size 0 the result is the size of the table; otherwise the number of
// bytes copied from Offset on (at most Size). GDI_ERROR for a missing table or
// an Offset beyond it.
uint32_t GetFontData(const TFontContext& dc, uint32_t table, uint32_t offset, void* buffer, uint32_t size);
// The tag of a table as GetFontData takes it.
constexpr uint32_t FontTableTag(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

// Text metrics of the selected font in pixels: a negative lfHeight is the em
// height, a positive one the cell height (win ascent + win descent); 0 asks
// for the default of 16 pixels to the em.
bool GetTextMetrics(const TFontContext& dc, TTextMetric& metrics);

// Calls back once per installed or registered family (name ID 1) with a
// logical font of its regular face, its text metrics and its font type. The
// character set is SYMBOL_CHARSET for a face with a (3,0) cmap, ANSI_CHARSET
// when it covers the letters of Windows-1252, DEFAULT_CHARSET otherwise.
// Returning false from the callback stops the enumeration.
using TFontFamilyProc = std::function<bool(const TLogFontA& font, const TTextMetric& metrics, uint32_t fontType)>;
void EnumFontFamilies(const TFontFamilyProc& proc);

// Every usable face: the registered ones first, then the installed ones.
std::vector<TFontFacePtr> ListFontFaces();

// Parses a font file (a single face or a collection) into faces without
// registering them; an empty list when the data holds no usable face.
std::vector<TFontFacePtr> ParseFontFaces(std::shared_ptr<const TBytes> data, std::string file = {});

}  // namespace px
