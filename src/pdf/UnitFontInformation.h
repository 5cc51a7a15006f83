#pragma once
// TrueType font information: the tables of a realised font turned into the
// metrics a PDF producer needs (advances, kerning, character map, names,
// header figures, measured stems and heights), glyph parsing and outlines,
// the glyph evaluator that measures an outline, and the byte-level toolkit
// that reads table directories and assembles font files.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Fonts.h"
#include "platform/core/Types.h"

namespace px {

class TCanvas;

PX_DECLARE_EXCEPTION(EFontInformationException, Exception);
PX_DECLARE_EXCEPTION(ENoTrueTypeFont, EFontInformationException);

// Load flags. Widths or measured metrics imply basic information; widths,
// kerning or measured metrics imply the character map.
constexpr uint32_t fiBasic = 1;
constexpr uint32_t fiNames = 2;
constexpr uint32_t fiWidths = 4;
constexpr uint32_t fiCMap = 8;
constexpr uint32_t fiKerning = 16;
constexpr uint32_t fiMetrics = 32;
constexpr uint32_t fiAll = 63;

// ---------------------------------------------------------------------------
// Records of the TrueType tables. Each is packed and read or written through
// its field-size template (a list of field widths in bytes); multi-byte fields
// are big-endian in the file.
#pragma pack(push, 1)
struct TTTableDirectory {
  uint32_t sfntVersion;
  uint16_t numTables, searchRange, entrySelector, rangeShift;
};
struct TTTableDirEntry {
  uint8_t tag[4];
  uint32_t checkSum, offset, length;
};
struct TTHeadTable {
  uint32_t version, fontRevision, checkSumAdjustment, magicNumber;
  uint16_t flags, unitsPerEm;
  int64_t created, modified;
  int16_t xMin, yMin, xMax, yMax;
  uint16_t macStyle, lowestRecPPEM;
  int16_t fontDirectionHint, indexToLocFormat, glyphDataFormat;
};
struct TTOS2Table {
  uint16_t version;
  int16_t xAvgCharWidth;
  uint16_t usWeightClass, usWidthClass, fsType;
  int16_t ySubscriptXSize, ySubscriptYSize, ySubscriptXOffset, ySubscriptYOffset;
  int16_t ySuperscriptXSize, ySuperscriptYSize, ySuperscriptXOffset, ySuperscriptYOffset;
  int16_t yStrikeoutSize, yStrikeoutPosition, sFamilyClass;
  uint8_t panose[10];
  uint32_t ulUnicodeRange1, ulUnicodeRange2, ulUnicodeRange3, ulUnicodeRange4;
  uint8_t achVendID[4];
  uint16_t fsSelection, usFirstCharIndex, usLastCharIndex;
  int16_t sTypoAscender, sTypoDescender, sTypoLineGap;
  uint16_t usWinAscent, usWinDescent;
};
struct TTOS2CodePages {
  uint32_t ulCodePageRange1, ulCodePageRange2;
};
struct TTOS2Version2 {
  int16_t sxHeight, sCapHeight;
  uint16_t usDefaultChar, usBreakChar, usMaxContext;
};
struct TTPostTable {
  uint32_t format;
  int32_t italicAngle;
  int16_t underlinePosition, underlineThickness;
  uint32_t isFixedPitch, minMemType42, maxMemType42, minMemType1, maxMemType1;
};
struct TTHheaTable {
  uint32_t version;
  int16_t ascender, descender, lineGap;
  uint16_t advanceWidthMax;
  int16_t minLeftSideBearing, minRightSideBearing, xMaxExtent, caretSlopeRise, caretSlopeRun, caretOffset;
  int16_t reserved[4];
  int16_t metricDataFormat;
  uint16_t numberOfHMetrics;
};
struct TTMaxpShort {
  uint32_t version;
  uint16_t numGlyphs;
};
struct TTMaxpTable {
  uint32_t version;
  uint16_t numGlyphs, maxPoints, maxContours, maxCompositePoints, maxCompositeContours, maxZones,
      maxTwilightPoints, maxStorage, maxFunctionDefs, maxInstructionDefs, maxStackElements, maxSizeOfInstructions,
      maxComponentElements, maxComponentDepth;
};
struct TTGlyphHeader {
  int16_t numberOfContours, xMin, yMin, xMax, yMax;
};
struct TTHmtxEntry {
  uint16_t advanceWidth;
  int16_t leftSideBearing;
};
struct TTCmapHeader {  // also the kern table's header
  uint16_t version, count;
};
struct TTCmapEncoding {
  uint16_t platformID, encodingID;
  uint32_t offset;
};
struct TTCmapSubtableHead {
  uint16_t format, length, language;
};
struct TTFormat4Head {
  uint16_t segCountX2, searchRange, entrySelector, rangeShift;
};
struct TTKernSubtableHeader {
  uint16_t version, length, coverage;
};
struct TTKernFormat0Head {
  uint16_t nPairs, searchRange, entrySelector, rangeShift;
};
struct TTKernPair {
  uint16_t left, right;
  int16_t value;
};
struct TTNameRecord {
  uint16_t platformID, encodingID, languageID, nameID, length, offset;
};
#pragma pack(pop)

using TFieldTemplate = std::span<const uint8_t>;
extern const uint8_t tplTableDirectory[5];
extern const uint8_t tplTableDirEntry[7];
extern const uint8_t tplHead[17];
extern const uint8_t tplOS2[42];
extern const uint8_t tplOS2CodePages[2];
extern const uint8_t tplOS2Version2[5];
extern const uint8_t tplPost[9];
extern const uint8_t tplHhea[17];
extern const uint8_t tplMaxpShort[2];
extern const uint8_t tplMaxp[15];
extern const uint8_t tplGlyphHeader[5];
extern const uint8_t tplHmtx[2];
extern const uint8_t tplCmapHeader[2];
extern const uint8_t tplCmapEncoding[3];
extern const uint8_t tplCmapSubtableHead[3];
extern const uint8_t tplFormat4Head[4];
extern const uint8_t tplKernSubtableHeader[3];
extern const uint8_t tplKernFormat0Head[4];
extern const uint8_t tplKernPair[3];
extern const uint8_t tplNameRecord[6];

// Writes the record's fields big-endian; returns the bytes written.
size_t PackRecord(const void* record, uint8_t* dest, TFieldTemplate tmpl);
// Reads Size bytes at Offset of Bytes big-endian into the record. Size is at
// most 255 and at least the template's total; the bytes must hold them.
void UnpackRecord(std::span<const uint8_t> bytes, size_t offset, size_t size, void* record, TFieldTemplate tmpl);
// Reverses each field in place (widths 1, 2, 4, 8).
void SwapRecord(void* record, TFieldTemplate tmpl);

// ---------------------------------------------------------------------------
// Table lists

struct TTFontTable {
  std::array<uint8_t, 4> Tag{};  // in file order
  uint32_t Length = 0;
  const uint8_t* Data = nullptr;  // not owned
};
using TTFontTables = std::vector<TTFontTable>;

// The tag "glyf" as file-order bytes.
std::array<uint8_t, 4> TTTag(std::string_view tag);

// Entries point into FontBytes. An empty list for data shorter than 12 bytes,
// another sfntVersion than 0x00010000 or "true", or a directory that does not
// fit; entries whose table lies outside the data are dropped.
TTFontTables ParseTableDirectory(std::span<const uint8_t> fontBytes);
int32_t FindTable(const TTFontTables& list, std::string_view tag);  // from the end; -1 when absent
int32_t AddTable(TTFontTables& list, std::string_view tag, uint32_t length, const uint8_t* data);
void KeepEmbeddingTables(TTFontTables& list, bool keepCMap);

// Big-endian words of a format-0 name table.
std::vector<uint16_t> BuildNameTable(std::string_view family, std::string_view style, std::string_view copyright,
                                     uint32_t revision, bool symbolic);

enum class TCMapKind { ckUnicode, ckSymbol };
struct TBuiltCMap {
  std::vector<uint16_t> Words;  // big-endian table as 16-bit words
  TCMapKind Kind = TCMapKind::ckSymbol;
  uint16_t FirstCode = 0;
  uint16_t LastCode = 0;
};
TBuiltCMap BuildSymbolCMap(uint32_t glyphCount);
TBuiltCMap BuildByteCMap(const std::array<uint8_t, 256>& map);

// A complete font file with table checksums and checkSumAdjustment. Raises
// Exception "BuildTTFontData: Missing or malformed head table." without a
// 54-byte head table.
TBytes BuildTTFontData(const TTFontTables& tables, bool isCFF);

// Converts a words table (as the builders make) to bytes.
TBytes WordsToBytes(const std::vector<uint16_t>& words);

// ---------------------------------------------------------------------------
// Glyphs

struct TGlyphComponent {
  uint16_t Flags = 0;
  uint16_t GlyphIndex = 0;
  int32_t Argument1 = 0;
  int32_t Argument2 = 0;
  std::array<int16_t, 4> Scale{0x4000, 0, 0, 0x4000};  // F2Dot14: x, 01, 10, y
};

struct TGlyphInformation {
  TTGlyphHeader Header{};
  std::vector<int32_t> ContourStarts;  // numberOfContours + 1 entries
  TBytes Instructions;
  TBytes Flags;  // one per point
  std::vector<int32_t> X, Y;  // absolute coordinates
  std::vector<TGlyphComponent> Components;
  bool Composite() const { return Header.numberOfContours < 0; }
};

// Parses glyph data as GetGlyph returns it; empty data gives an empty glyph.
// Raises EFontInformationException "GlyphOutline: Truetype glyph data corrupt."
// when the data ends early or is inconsistent.
TGlyphInformation ParseGlyph(std::span<const uint8_t> data);

struct TEvaluatedPoint {
  int32_t X = 0;
  int32_t Y = 0;
  uint8_t OnCurve = 0;
};
using TPointDynArray = std::vector<TEvaluatedPoint>;
using TEvaluatedContour = TPointDynArray;
struct TEvaluatedGlyph {
  int16_t XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  std::vector<TEvaluatedContour> Contours;
};

// ---------------------------------------------------------------------------
// The glyph evaluator: bounds and median stroke widths of one outline.

constexpr uint32_t geHorizontal = 2;
constexpr uint32_t geVertical = 4;

class TGlyphEvaluator {
 public:
  // An outline wider or taller than maxExtent units is not scanned: its stems
  // stay 0 (corrupt coordinates would otherwise size the scan lists).
  // A scan that would record more than MaxCrossings crossings (a few hundred
  // segments zig-zagging over the whole height) raises
  // EFontInformationException "GlyphEvaluator: Glyph outline too complex."
  // before it starts: real glyphs stay far below it.
  static constexpr int64_t MaxCrossings = int64_t(1) << 21;
  TGlyphEvaluator(const TEvaluatedGlyph& outline, uint32_t flags, int32_t maxExtent = 65536);
  int32_t MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
  int32_t HorizontalStem = 0;  // median horizontal span
  int32_t VerticalStem = 0;    // median vertical span

 private:
  enum class Pass { Bounds, Rows, Columns };
  void walk(Pass pass);
  void moveTo(int32_t x, int32_t y);
  void lineTo(int32_t x, int32_t y);
  int32_t median();

  const TEvaluatedGlyph& outline_;
  Pass pass_ = Pass::Bounds;
  int32_t cx_ = 0, cy_ = 0;
  std::vector<std::vector<int32_t>> crossings_;
  int32_t lineBase_ = 0;  // coordinate of crossings_[0]
  int64_t rowCrossings_ = 0, columnCrossings_ = 0;  // counted by the bounds pass
  std::vector<uint32_t> histogram_;
};

// ---------------------------------------------------------------------------

struct TKerningPair {
  uint16_t Left = 0;
  uint16_t Right = 0;
  int16_t Value = 0;
};

class TFontInformation {
 public:
  TFontInformation(std::string_view faceName, int32_t weight, bool italic, uint32_t flags);
  TFontInformation(const TLogFontW& logFont, uint32_t flags);
  TFontInformation(const TLogFontA& logFont, uint32_t flags);
  // Reads the canvas's font; the canvas keeps it.
  TFontInformation(TCanvas* canvas, uint32_t flags);

  uint16_t GlyphIndex(uint16_t code) const;
  int32_t GlyphWidth(uint32_t glyph, int32_t units) const;
  int32_t CharWidth(uint16_t code, int32_t units) const;
  std::vector<int32_t> TextAdvances(std::u16string_view text, int32_t units, int32_t extra) const;
  // The kerning value of a glyph pair; 0 when absent.
  int16_t Kerning(uint16_t left, uint16_t right) const;
  TBytes GetGlyph(uint32_t glyph) const;
  TEvaluatedGlyph GlyphOutline(uint32_t glyph) const;
  TBytes GetTable(uint32_t tag, uint32_t offset, uint32_t size) const;
  TBytes GetTable(std::string_view tag, uint32_t offset = 0, uint32_t size = 0) const;

  const UnicodeString& PostScriptName() const { return Names[6]; }
  const UnicodeString& FamilyName() const { return Names[1]; }
  // The face the font resolved to.
  const TFontFacePtr& Face() const { return dc_->Face(); }

  // Measured metrics, in font units.
  int32_t XHeight = 0;
  int32_t CapHeight = 0;
  int32_t StemV = 0;  // vertical stem width: median horizontal span of "l"
  int32_t StemH = 0;  // horizontal stem width: median vertical span of "E"

  std::vector<TKerningPair> KerningPairs;
  // The format-4 map: the subtable's words from endCode on.
  std::vector<uint16_t> CMapWords;
  int32_t SegCount = 0;
  int32_t StartCodeIndex = 0, IdDeltaIndex = 0, IdRangeOffsetIndex = 0;
  std::vector<uint16_t> AdvanceWidths;

  TTHeadTable Head{};
  TTOS2Table OS2{};
  TTOS2Version2 OS2Version2{};  // zero before OS/2 version 2
  TTPostTable Post{};
  TTHheaTable Hhea{};
  TTMaxpShort Maxp{};
  uint16_t UnitsPerEm = 0;
  int16_t IndexToLocFormat = 0;
  uint16_t NumberOfHMetrics = 0;
  uint16_t NumGlyphs = 0;
  std::array<UnicodeString, 7> Names;

 private:
  void load(uint32_t flags);
  void loadBasic();
  void loadNames();
  void loadCMap();
  void loadKerning();
  void loadWidths();
  void loadMetrics();
  void emitOutline(uint32_t glyph, int32_t dx, int32_t dy, int depth, std::vector<uint32_t>& path,
                   TEvaluatedGlyph& out) const;

  std::shared_ptr<TFontContext> dc_;
};

}  // namespace px
