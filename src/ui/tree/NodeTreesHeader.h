#pragma once
// The header of a tree and its columns, as far as the node model needs them.
//
// What the tree asks of its header: the column set (count, validity, bounds,
// visibility, focusability, editability, alignment, the column at an x
// position, the visible order, the total and the fixed width), the main
// column, the sort column and direction, whether columns are in use, the
// header height and a repaint of the header. Without columns the tree works
// as a plain tree: main column NoColumn, no fixed area, range X from the
// nodes.
#include <memory>
#include <vector>

#include "platform/core/Sets.h"
#include "platform/gui/StdCtrls.h"
#include "ui/tree/NodeTreesTypes.h"

namespace px {

class TNTHeader;

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

enum THeaderOption {
  hoAutoResize,
  hoColumnResize,
  hoDblClickResize,
  hoDrag,
  hoHotTrack,
  hoOwnerDraw,
  hoRestrictDrag,
  hoShowHint,
  hoShowImages,
  hoShowSortGlyphs,
  hoVisible,
  hoAutoSpring,
  hoFullRepaintOnResize,
  hoDisableAnimatedResize,
  hoHeightResize,
  hoHeightDblClickResize,
  hoHeaderClickAutoSort,
};
using THeaderOptions = TSet<THeaderOption>;

class TNodeTreeColumn {
 public:
  TNodeTreeColumn() = default;
  virtual ~TNodeTreeColumn() = default;
  int32_t Left() const { return left_; }
  int32_t Width() const { return width_; }
  TNTColumnOptions Options() const { return options_; }
  TAlignment Alignment() const { return alignment_; }

 protected:
  int32_t left_ = 0;
  int32_t width_ = 50;
  TNTColumnOptions options_ = TNTColumnOptions::FromMask(DefaultColumnOptions);
  TAlignment alignment_ = taLeftJustify;
};

class TNodeTreeColumns {
 public:
  explicit TNodeTreeColumns(TNTHeader* header) : header_(header) {}
  virtual ~TNodeTreeColumns() = default;
  TNTHeader* Header() const { return header_; }

  Integer Count() const { return static_cast<Integer>(items_.size()); }
  bool IsValidColumn(TColumnIndex column) const { return column >= 0 && column < Count(); }
  TNodeTreeColumn* Items(TColumnIndex column) const { return items_[column].get(); }
  // Left and right edge of a column in unscrolled tree coordinates.
  void GetColumnBounds(TColumnIndex column, int32_t& left, int32_t& right) const;
  // The visible column at x (unscrolled tree coordinates) with its edges;
  // NoColumn outside every column.
  TColumnIndex GetColumnAndBounds(int32_t x, int32_t& left, int32_t& right) const;
  // Visible columns in display order; InvalidColumn when there is none.
  TColumnIndex GetFirstVisibleColumn(bool considerAllowFocus = false) const;
  TColumnIndex GetNextVisibleColumn(TColumnIndex column, bool considerAllowFocus = false) const;
  TColumnIndex GetPreviousVisibleColumn(TColumnIndex column, bool considerAllowFocus = false) const;
  // Sum of the widths of the visible columns.
  int32_t TotalWidth() const;
  // Width of the fixed columns at the left edge (they do not scroll).
  int32_t FixedAreaWidth() const;

 protected:
  TNTHeader* header_;
  std::vector<std::unique_ptr<TNodeTreeColumn>> items_;
};

class TNTHeader {
 public:
  explicit TNTHeader(TBaseNodeTree* owner);
  virtual ~TNTHeader();
  TBaseNodeTree* Treeview() const { return owner_; }
  TNodeTreeColumns& Columns() const { return *columns_; }

  // The column holding the tree structure; NoColumn without columns.
  TColumnIndex MainColumn() const;
  void SetMainColumn(TColumnIndex value) { mainColumn_ = value; }
  // True when the header is shown and has columns.
  bool UseColumns() const { return Options.Contains(hoVisible) && columns_->Count() > 0; }
  int32_t Height() const { return height_; }
  // Repaints the header (one column, or all with NoColumn).
  virtual void Invalidate(TColumnIndex column = NoColumn) { (void)column; }
  virtual void Assign(const TNTHeader& source);

  THeaderOptions Options = {hoColumnResize, hoDrag, hoShowSortGlyphs};
  TColumnIndex SortColumn = NoColumn;
  TSortDirection SortDirection = sdAscending;

 protected:
  TBaseNodeTree* owner_;
  std::unique_ptr<TNodeTreeColumns> columns_;
  TColumnIndex mainColumn_ = 0;
  int32_t height_ = 19;
};

}  // namespace px
