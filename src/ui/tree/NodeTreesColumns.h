#pragma once
// The columns of a tree: the column item, the column set with its two
// numberings (index and on-screen position), width limits, the auto-size and
// spring rules, hit testing along the header, the click rules, the column
// stream records and the painting of the header cells.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Sets.h"
#include "platform/core/Streams.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/StdCtrls.h"
#include "ui/tree/NodeTreesTypes.h"

namespace px {

class TNTHeader;
class TNodeTreeColumns;

enum TNTColumnOption {
  coAllowClick,
  coDraggable,
  coEnabled,
  coParentBidiMode,
  coParentColor,
  coResizable,
  coShowDropMark,
  coVisible,
  coAutoSpring,
  coFixed,
  coSmartResize,
  coAllowFocus,
  coDisableAnimatedResize,
  coWrapCaption,
  coUseCaptionAlignment,
  coEditable,
};
using TNTColumnOptions = TSet<TNTColumnOption>;
constexpr uint64_t DefaultColumnOptions = 0x88FF;

enum TNodeTreeColumnStyle { vsText, vsOwnerDraw };
enum TNTHeaderColumnLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
using TColumnPosition = uint32_t;
using TImageIndex = int32_t;

// What a header click hit.
enum TColumnHitPart { chpNowhere, chpOnColumn, chpOnGlyph, chpOnCheckBox };
using TColumnHitParts = TSet<TColumnHitPart>;

struct TColumnHitInfo {
  int32_t X = 0;
  int32_t Y = 0;  // tree client coordinates, counted from the top of the header
  TMouseButton Button = mbLeft;
  TShiftState Shift;
  TColumnIndex Column = NoColumn;
  TColumnHitParts HitParts;
};

// Parts of a header cell that the application may paint itself.
enum TColumnPaintPart { cppBackground, cppDropMark, cppGlyph, cppSortGlyph, cppText };
using TColumnPaintParts = TSet<TColumnPaintPart>;

enum TNTDropMarkMode { dmmNone, dmmLeft, dmmRight };

class TNodeTreeColumn;

// Everything known about one header cell while it is painted.
struct THeaderPaintInfo {
  TCanvas* TargetCanvas = nullptr;
  TNodeTreeColumn* Column = nullptr;  // nullptr: the background strip
  TRect PaintRectangle;
  TRect TextRectangle;
  bool IsHoverIndex = false;
  bool IsDownIndex = false;
  bool IsEnabled = true;
  bool ShowHeaderGlyph = false;
  bool ShowSortGlyph = false;
  bool ShowRightBorder = true;
  TNTDropMarkMode DropMark = dmmNone;
  TPoint GlyphPos;
  TPoint SortGlyphPos;
  TSize SortGlyphSize;
};

class TNodeTreeColumn : public TCollectionItem {
 public:
  explicit TNodeTreeColumn(TCollection* collection);
  void BeforeDestruction() override;
  void Assign(const TPersistent* source) override;
  std::string DisplayName() const override;

  TNodeTreeColumns* Owner() const;
  TNTHeader* Header() const;

  // Caption and hint.
  const UnicodeString& Text() const { return text_; }
  void SetText(const UnicodeString& value);
  const UnicodeString& Hint() const { return hint_; }
  void SetHint(const UnicodeString& value) { hint_ = value; }
  // The caption as last laid out (wrapped with line feeds under coWrapCaption).
  const UnicodeString& CaptionText() const { return captionText_; }

  int32_t Left() const { return left_; }  // same as AbsoluteLeft (the node model's name)
  int32_t AbsoluteLeft() const { return left_; }
  int32_t Width() const { return width_; }
  void SetWidth(int32_t value);
  TColumnPosition Position() const { return position_; }
  void SetPosition(TColumnPosition value);
  int32_t MinWidth() const { return minWidth_; }
  void SetMinWidth(int32_t value);
  int32_t MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(int32_t value);
  TNodeTreeColumnStyle Style() const { return style_; }
  void SetStyle(TNodeTreeColumnStyle value);
  TImageIndex ImageIndex() const { return imageIndex_; }
  void SetImageIndex(TImageIndex value);
  TBiDiMode BiDiMode() const { return bidiMode_; }
  void SetBiDiMode(TBiDiMode value);
  TNTHeaderColumnLayout Layout() const { return layout_; }
  void SetLayout(TNTHeaderColumnLayout value);
  int32_t Margin() const { return margin_; }
  void SetMargin(int32_t value);
  int32_t Spacing() const { return spacing_; }
  void SetSpacing(int32_t value);
  TNTColumnOptions Options() const { return options_; }
  void SetOptions(TNTColumnOptions value);
  int64_t Tag() const { return tag_; }
  void SetTag(int64_t value) { tag_ = value; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TAlignment CaptionAlignment() const;
  void SetCaptionAlignment(TAlignment value);
  int32_t PreviousWidth() const { return previousWidth_; }
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  bool CheckBox() const { return checkBox_; }
  void SetCheckBox(bool value);
  TCheckType CheckType() const { return checkType_; }
  void SetCheckType(TCheckType value);
  TCheckState CheckState() const { return checkState_; }
  void SetCheckState(TCheckState value);
  TSortDirection DefaultSortDirection = sdAscending;
  // Where the glyph (image or check box) was last painted, header canvas coordinates.
  TRect GlyphRect() const { return glyphRect_; }
  bool GlyphShown() const { return glyphShown_; }

  // Used by the header's width distribution and spring resize.
  bool DistributionToggle = false;
  float SpringRemainder = 0;

  // The column's rectangle in tree window coordinates.
  virtual TRect HeaderCellRect() const;
  int32_t ScrolledLeft() const;
  void AbsoluteEdges(int32_t& left, int32_t& right) const;
  void RestorePreviousWidth();
  bool SameAs(const TNodeTreeColumn& other) const;
  void SyncBiDiModeFromTree();
  void SyncColorFromTree();
  bool IsFixed() const { return options_.ContainsAll({coFixed, coVisible}); }

  // Places glyph, caption and sort glyph inside a header cell.
  struct TCellLayout {
    TRect TextRect;
    TPoint GlyphPos;
    TPoint SortGlyphPos;
    TSize SortGlyphSize;
  };
  TCellLayout LayoutHeaderCell(TCanvas& canvas, const TRect& client, uint32_t drawFormat, bool showSortGlyph,
                               bool showGlyph);

  void ReadFromStream(TStream& stream, int32_t version);
  void WriteToStream(TStream& stream) const;

 protected:
  void changed() { Changed(false); }

 private:
  friend class TNodeTreeColumns;
  friend class TNTHeader;
  void applyWidth(int32_t value);  // the width field without rules
  UnicodeString text_;
  UnicodeString hint_;
  int32_t left_ = 0;
  int32_t width_ = 50;
  TColumnPosition position_ = 0;
  int32_t minWidth_ = 10;
  int32_t maxWidth_ = 10000;
  TNodeTreeColumnStyle style_ = vsText;
  TImageIndex imageIndex_ = -1;
  TBiDiMode bidiMode_ = bdLeftToRight;
  TNTHeaderColumnLayout layout_ = blGlyphLeft;
  int32_t margin_ = 4;
  int32_t spacing_ = 3;
  TNTColumnOptions options_ = TNTColumnOptions::FromMask(DefaultColumnOptions);
  int64_t tag_ = 0;
  TAlignment alignment_ = taLeftJustify;
  TAlignment storedCaptionAlignment_ = taLeftJustify;
  int32_t previousWidth_ = 50;
  TColor color_ = clWindow;
  UnicodeString captionText_;
  bool checkBox_ = false;
  TCheckType checkType_ = ctCheckBox;
  TCheckState checkState_ = csUncheckedNormal;
  TRect glyphRect_;
  bool glyphShown_ = false;
};

class TNodeTreeColumns : public TCollectionOf<TNodeTreeColumn> {
 public:
  explicit TNodeTreeColumns(TNTHeader* header);
  ~TNodeTreeColumns() override;
  void Assign(const TPersistent* source) override;

  TNTHeader* Header() const { return header_; }
  virtual TNodeTreeColumn* AddColumn() { return Add(); }
  virtual void Clear();
  bool IndexInRange(TColumnIndex index) const { return index >= 0 && index < Count(); }
  bool IsValidColumn(TColumnIndex index) const { return IndexInRange(index); }

  // Tracking state of the mouse over the header.
  TColumnIndex HotIndex = NoColumn;
  TColumnIndex PressedIndex = NoColumn;
  TColumnIndex SizingIndex = NoColumn;
  TColumnIndex ClickedIndex = NoColumn;
  bool PressedOnCheckBox = false;
  TColumnIndex DraggedIndex = NoColumn;
  TColumnIndex DropTargetIndex = NoColumn;
  bool DropOnLeftSide = false;

  const std::vector<int32_t>& PositionMap() const { return positionMap_; }
  int32_t NewColumnWidth = 50;
  bool PositionsPending() const { return positionsPending_; }
  bool ClearingColumns() const { return clearing_; }
  TBitmap& PaintBuffer() { return *paintBuffer_; }

  // Hit testing; P in tree client coordinates with the header rows at y 0
  // to the header height.
  virtual TColumnIndex ColumnAt(TPoint p, bool relative = true) const;
  TColumnIndex ColumnAndEdgesAt(TPoint p, int32_t& left, int32_t& right, bool relative = true) const;
  virtual TColumnIndex IndexOfPosition(TColumnPosition position) const;
  void ColumnEdges(TColumnIndex index, int32_t& left, int32_t& right) const;

  // Walking by position.
  TColumnIndex FirstShownColumn(bool considerAllowFocus = false) const;
  TColumnIndex LastShownColumn(bool considerAllowFocus = false) const;
  TColumnIndex NextByPosition(TColumnIndex index) const;
  TColumnIndex PreviousByPosition(TColumnIndex index) const;
  TColumnIndex NextShownColumn(TColumnIndex index, bool considerAllowFocus = false) const;
  TColumnIndex PreviousShownColumn(TColumnIndex index, bool considerAllowFocus = false) const;
  std::vector<TColumnIndex> ShownColumns() const;

  // Widths.
  int32_t FixedShownWidth() const;
  int32_t ShownExtent() const;
  int32_t AverageFreeWidth() const;
  // The sum of the visible columns' widths.
  int32_t TotalWidth() const;
  void FitAutoSizeColumn(bool force);
  void SlideToWidth(TColumnIndex index, int32_t width);
  bool AllowsSizingAt(TPoint p, TColumnIndex index) const;
  // Asks the tree whether the column may be sized at the point.
  virtual bool QuerySizing(TPoint p, TColumnIndex index) const;

  // Mouse rules.
  virtual void ProcessHeaderClick(TPoint p, TMouseButton button, bool dblClick, bool force);
  TColumnIndex PressColumnAt(TPoint p);
  bool UpdateHotColumn(TPoint p);

  void SetPositionOrder(bool rightToLeft);
  void RecomputeLefts(bool force);
  void RebuildPositionMap();
  bool SameColumnsAs(const TNodeTreeColumns& other) const;

  // Painting into the header.
  virtual void PaintInto(TCanvas& target, const TRect& r, int32_t hOffset);
  virtual void PaintCells(TCanvas& canvas, const TRect& r, TPoint target, int32_t rtlOffset);
  void PaintCaption(TCanvas& canvas, const UnicodeString& caption, TRect r, bool wrapped, uint32_t drawFormat,
                    bool hot, bool enabled);

  void ReadFromStream(TStream& stream, int32_t version);
  void WriteToStream(TStream& stream) const;

  // The node model's names for the position walks.
  TColumnIndex GetFirstVisibleColumn(bool considerAllowFocus = false) const {
    return FirstShownColumn(considerAllowFocus);
  }
  TColumnIndex GetNextVisibleColumn(TColumnIndex c, bool considerAllowFocus = false) const {
    return NextShownColumn(c, considerAllowFocus);
  }
  TColumnIndex GetPreviousVisibleColumn(TColumnIndex c, bool considerAllowFocus = false) const {
    return PreviousShownColumn(c, considerAllowFocus);
  }
  int32_t FixedAreaWidth() const { return FixedShownWidth(); }
  void GetColumnBounds(TColumnIndex column, int32_t& left, int32_t& right) const;
  TColumnIndex GetColumnAndBounds(int32_t x, int32_t& left, int32_t& right) const;

 protected:
  void Update(TCollectionItem* item) override;
  void Notify(TCollectionItem* item, TCollectionNotification action) override;
  // Makes the map hold Count entries.
  void fitPositionMap();
  std::vector<int32_t> positionMap_;

 private:
  friend class TNodeTreeColumn;
  friend class TNTHeader;
  void moveToPosition(TNodeTreeColumn* column, TColumnPosition position);
  void removeFromPositionMap(TColumnIndex index);
  void paintCell(TCanvas& canvas, TColumnIndex index, const TRect& cell, bool advanced, bool ownerDraw);
  void paintBackgroundStrip(TCanvas& canvas, const TRect& strip, bool advanced);
  void repaintCell(TColumnIndex index);

  TNTHeader* header_;
  std::unique_ptr<TBitmap> paintBuffer_;
  bool positionsPending_ = false;
  bool clearing_ = false;
};

// Caption helpers, measured on the canvas's current font.
UnicodeString WrapCaption(TCanvas& canvas, const UnicodeString& text, const TRect& r, bool rightToLeft,
                          uint32_t drawFormat);
UnicodeString ShortenCaption(TCanvas& canvas, const UnicodeString& text, int32_t width);

}  // namespace px
