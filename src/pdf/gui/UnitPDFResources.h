#pragma once
// Page resources: each named resource that the renderer uses gets an object
// that wraps its dictionary together with what was computed from it once
// (decoded bitmaps, box and matrix of forms, visibility of optional content).
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/UnitFontConstants.h"
#include "platform/core/Fonts.h"

#include "pdf/UnitPDFFunctions.h"
#include "pdf/UnitPDFParser.h"
#include "pdf/gui/UnitPDFColorSpaces.h"
#include "platform/gui/Graphics.h"

namespace px {

class TPDFResource : public TPDFAttachedObject {
 public:
  TPDFResource(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  // For inline images, which belong to no document.
  explicit TPDFResource(TPDFDictionary* dictionary);

  TPDFDictionary* Dictionary = nullptr;  // not owned
  TPDFCollection* Document = nullptr;    // not owned; nil for inline images
  // Bit 0: fonts ignore embedded font programs.
  uint8_t Flags = 0;
};

class TPDFResXObject : public TPDFResource {
 public:
  using TPDFResource::TPDFResource;
};

class TPDFResImage : public TPDFResXObject {
 public:
  TPDFResImage(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  // An inline image: its entries are taken as they stand; colorSpace may be nil.
  TPDFResImage(TPDFDictionary* dictionary, TPDFColorSpace* colorSpace);

  TBitmap* Bitmap() const { return bitmap_.get(); }
  // Replaces the bitmap (the old one is freed).
  void SetBitmap(std::unique_ptr<TBitmap> bitmap) { bitmap_ = std::move(bitmap); }

  TPDFObject* MaskEntry = nullptr;  // SMask or Mask; not owned
  std::unique_ptr<TPDFResImage> MaskImage;
  int32_t Width = 0, Height = 0;
  int32_t BitsPerComponent = 0;  // 1 for stencil masks
  bool ImageMask = false;
  bool Interpolate = false;
  uint32_t LastStencilColor = 0x1FFFFFFF;  // none yet

 private:
  // A mask is decoded as an image of its own, but without masks of its own.
  TPDFResImage(TPDFCollection* collection, TPDFDictionary* dictionary, bool withMask);
  void build(TPDFColorSpace* colorSpace, bool withMask);
  void applyMask();

  std::unique_ptr<TBitmap> bitmap_;
};

class TPDFResForm : public TPDFResXObject {
 public:
  TPDFResForm(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  std::array<float, 4> BBox{};
  std::array<float, 6> Matrix{};
  TPDFDictionary* Resources = nullptr;  // not owned
};

// Lets the renderer override a group's visibility from its own table.
using TPDFVisibilityCallback = void (*)(void* data, TPDFDictionary* dictionary, bool& visible);

class TPDFResProperties : public TPDFResource {
 public:
  using TPDFResource::TPDFResource;
  virtual bool IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data);
};

class TPDFResOptionalContentGroup : public TPDFResProperties {
 public:
  using TPDFResProperties::TPDFResProperties;
  bool IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data) override;
  bool State = true;
};

class TPDFResOptionalContentMembership : public TPDFResProperties {
 public:
  using TPDFResProperties::TPDFResProperties;
  bool IsVisible(uint8_t flags, TPDFVisibilityCallback callback, void* data) override;
};

class TPDFResPattern : public TPDFResource {
 public:
  using TPDFResource::TPDFResource;
};

class TPDFResShading : public TPDFResource {
 public:
  TPDFResShading(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  int32_t ShadingType = 0;  // 0 also marks a shading that failed validation
  bool HasBBox = false;
  std::array<float, 4> BBox{};
  TPDFColorSpace* ColorSpace = nullptr;  // not owned
  TPDFFunction* Function = nullptr;      // owned by its dictionary
  std::array<float, 4> Domain{};
  std::array<float, 4> Coords{};
  float T0 = 0, T1 = 1;
  std::vector<uint32_t> ColorTable;

 private:
  void validate(TPDFCollection* collection, TPDFDictionary* dictionary);
};

// ---------------------------------------------------------------------------
// Fonts

class TEmbeddedFont;

// A matrix [a b c d e f] mapping (x, y) to (a·x + c·y + e, b·x + d·y + f).
using TPDFMatrix = std::array<float, 6>;
constexpr TPDFMatrix PDFIdentityMatrix{1, 0, 0, 1, 0, 0};
// The matrix that applies first then second.
TPDFMatrix MultiplyPDFMatrix(const TPDFMatrix& first, const TPDFMatrix& second);

// The text state of a graphics state.
struct TPDFTextState {
  class TPDFResFont* Font = nullptr;  // not owned
  float Size = 0;
  uint8_t Mode = 2;  // the content interpreter's own mode bits
  float Tc = 0;      // character spacing
  float Tw = 0;      // word spacing
  float Tz = 100;    // horizontal scaling, percent
  float TL = 0;      // leading
  float Ts = 0;      // rise
  TPDFMatrix Tm = PDFIdentityMatrix;
  TPDFMatrix Tlm = PDFIdentityMatrix;
  int32_t BTCount = 0;
};

// The colour that places and advances glyphs without showing them.
constexpr uint32_t PDFInvisibleTextColor = 0x1FFFFFFF;

// Receives one glyph: UTF-16 units (or one glyph index when glyphIndex is set)
// at the device point (x, y) of its origin.
using TPDFGlyphOutputCallback = void (*)(void* data, const uint16_t* units, int32_t count, bool glyphIndex, float x,
                                         float y);
// Selects the font (and colour) for the glyphs that follow.
using TPDFFontSelectCallback = void (*)(void* data, const TLogFontA& font, uint32_t color);
// Draws a Type 3 glyph: the stream with its resources, the matrix to be
// concatenated with the CTM.
using TPDFFormDrawCallback = void (*)(void* data, TPDFDictionary* stream, TPDFDictionary* resources,
                                      const TPDFMatrix& matrix);

struct TPDFTextCallbacks {
  TPDFGlyphOutputCallback Glyph = nullptr;
  void* GlyphData = nullptr;
  TPDFFontSelectCallback Select = nullptr;
  void* SelectData = nullptr;
  TPDFFormDrawCallback Form = nullptr;
  void* FormData = nullptr;
};

class TPDFResFont : public TPDFResource {
 public:
  TPDFResFont(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);

  // Sets the text of a single-byte code from big-endian UTF-16 bytes; only a
  // font whose program could not be used takes it (the others draw through
  // their encoding).
  virtual void SetUnicode(int32_t code, std::string_view bytes);
  // Shows the string: selects the font, emits every glyph and advances the
  // text matrix of the text state. ctm is the graphics state's matrix.
  virtual void DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color,
                        TPDFTextState& text, const TPDFMatrix& ctm) = 0;

  // Moves the text matrix by dv, dh thousandths of the font size.
  void AdvanceText(TPDFTextState& text, float dv, float dh, bool charSpacing, bool wordSpacing) const;
  virtual bool Vertical() const { return false; }

  std::string BaseFont;
  TPDFDictionary* Descriptor = nullptr;  // not owned
  TLogFontA LogFont;
  TFontMapping Codes;
  TPDFDictionary* FontFile = nullptr;  // not owned
  bool HasProgram = false;
  bool ProgramUsable = false;
  int32_t DescriptorFlags = 0;
  bool HasWidths = false;
  TEmbeddedFont* Program = nullptr;  // owned by the font-file stream

 protected:
  void MapFont();
  void ApplyDescriptor();
  void LoadEmbeddedFont(bool allowSymbolic);
  void LoadEncoding(std::string_view defaultEncoding, const TEmbeddedFont* program, bool quiet);
  void MeasureWidths();
  void LoadToUnicode();
  void SelectTextFont(const TPDFTextCallbacks& callbacks, uint32_t color, const TPDFTextState& text,
                      const TPDFMatrix& ctm) const;
  void EmitGlyphs(const TPDFTextCallbacks& callbacks, uint32_t color, TPDFTextState& text, const TPDFMatrix& ctm,
                  const uint16_t* units, int32_t count, bool glyphIndex, float w0, float w1, float vx, float vy,
                  bool isSpace) const;
  // The entry's value, references resolved.
  TPDFObject* Entry(TPDFDictionary* dictionary, std::string_view key) const;
};

class TPDFResByteFont : public TPDFResFont {
 public:
  using TPDFResFont::TPDFResFont;
  void DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color, TPDFTextState& text,
                const TPDFMatrix& ctm) override;
};

class TPDFResFontType1 : public TPDFResByteFont {
 public:
  TPDFResFontType1(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
};

class TPDFResFontTypeTT : public TPDFResByteFont {
 public:
  TPDFResFontTypeTT(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
};

class TPDFResFontType3 : public TPDFResFont {
 public:
  TPDFResFontType3(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  void DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color, TPDFTextState& text,
                const TPDFMatrix& ctm) override;

  std::array<TPDFDictionary*, 256> CharProcs{};  // not owned
  TPDFMatrix FontMatrix{0.001f, 0, 0, 0.001f, 0, 0};
  TPDFDictionary* Resources = nullptr;  // not owned
};

// The metrics of one CID; a field not given by the font holds NaN until the
// record is used.
struct TCIDRecord {
  float w0, w1, Vx, Vy;
};

class TPDFResFontType0 : public TPDFResFont {
 public:
  TPDFResFontType0(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
  void DrawText(std::string_view bytes, const TPDFTextCallbacks& callbacks, uint32_t color, TPDFTextState& text,
                const TPDFMatrix& ctm) override;
  bool Vertical() const override { return IsVertical; }

  // The metrics of the CID with the defaults filled in.
  TCIDRecord Metrics(uint16_t cid) const;
  // The glyph index that draws the CID.
  uint16_t GlyphOf(uint16_t cid) const;

  bool IsVertical = false;
  float DefaultV = 880, DefaultW1 = -1000;
  TPDFDictionary* Descendant = nullptr;  // not owned
  float DefaultWidth = 1000;
  std::map<uint16_t, TCIDRecord> GIDSet;
  std::map<uint16_t, uint16_t> CIDToGID;

 private:
  void LoadCIDMetrics();
  TCIDRecord& record(int64_t cid);
};

// A new resource of the category ("Font", "XObject", "Properties", "Pattern",
// "Shading") for the object.
std::unique_ptr<TPDFResource> CreateResource(std::string_view category, TPDFCollection* collection, uint8_t flags,
                                             TPDFObject* object);
std::unique_ptr<TPDFResImage> CreateInlineImage(TPDFDictionary* dictionary, TPDFColorSpace* colorSpace);
std::unique_ptr<TPDFResource> CreateXObject(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);
std::unique_ptr<TPDFResProperties> CreateProperties(TPDFCollection* collection, uint8_t flags,
                                                    TPDFDictionary* dictionary);
std::unique_ptr<TPDFResFont> CreateFont(TPDFCollection* collection, uint8_t flags, TPDFDictionary* dictionary);

// The resource attached to the object's dictionary, or a new one that is
// attached to it (and owned by it from then on). Nothing is attached when the
// creation fails.
TPDFResource* AttachedResource(std::string_view category, TPDFCollection* collection, uint8_t flags,
                               TPDFObject* object);

}  // namespace px
