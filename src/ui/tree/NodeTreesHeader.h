#pragma once
// The header of a tree: it owns the columns, lives in a strip above the
// tree's client area (its messages arrive with y < 0 there), and handles
// header mouse input (click, column drag, width and height tracking,
// double-click auto-fit, popup menu), the header height with its limits,
// spring and auto-fit sizing, the sort column and its own stream block. The
// tree's small persistent companions live here too: the fixed-area
// constraints, the scroll bar options and the colour set.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/Classes.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/Menus.h"
#include "platform/gui/ScrollBars.h"
#include "ui/tree/NodeTreesColumns.h"

namespace px {

class TBaseNodeTree;
class TNTHeader;

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
constexpr uint64_t DefaultHeaderOptions = 522;  // hoColumnResize, hoDrag, hoShowSortGlyphs

enum TNTHeaderStyle { hsThickButtons, hsFlatButtons, hsPlates };

enum THeaderState {
  hsAutoSizing,
  hsDragging,
  hsDragPending,
  hsLoading,
  hsColumnWidthTracking,
  hsColumnWidthTrackPending,
  hsHeightTracking,
  hsHeightTrackPending,
  hsResizing,
  hsRecalculating,
  hsNeedsRecalc,
};
using THeaderStates = TSet<THeaderState>;

using TNTConstraintPercent = Byte;

enum TFontPitch { fpDefault, fpVariable, fpFixed };

// Cursors of the header's splitters (the tree's window maps them to its own).
constexpr TCursor crNTVertSplit = 62;
constexpr TCursor crNTHeaderSplit = 63;

// Timer ids of the header: hover tracking, and the steps of an animated
// column resize.
constexpr int HeaderHoverTimer = 3;
constexpr int HeaderSlideTimer = 8;

// Percentages of the tree size that bound the header height and the width of
// the fixed columns. A maximum below its minimum pulls the minimum down; a
// minimum above a non-zero maximum pushes the maximum up.
class TNTFixedAreaConstraints : public TPersistent {
 public:
  explicit TNTFixedAreaConstraints(TNTHeader* owner) : owner_(owner) {}
  void Assign(const TPersistent* source) override;
  TNTConstraintPercent MaxHeightPercent() const { return values_[0]; }
  TNTConstraintPercent MaxWidthPercent() const { return values_[1]; }
  TNTConstraintPercent MinHeightPercent() const { return values_[2]; }
  TNTConstraintPercent MinWidthPercent() const { return values_[3]; }
  void SetMaxHeightPercent(TNTConstraintPercent v) { setConstraints(0, v); }
  void SetMaxWidthPercent(TNTConstraintPercent v) { setConstraints(1, v); }
  void SetMinHeightPercent(TNTConstraintPercent v) { setConstraints(2, v); }
  void SetMinWidthPercent(TNTConstraintPercent v) { setConstraints(3, v); }
  TNotifyEvent OnChange;

 private:
  friend class TNTHeader;
  void setConstraints(int index, TNTConstraintPercent value);
  void change();
  TNTHeader* owner_;
  TNTConstraintPercent values_[4] = {0, 0, 0, 0};
};

enum TScrollBarStyle { sbmRegular, sbm3D };
using TNTScrollIncrement = Word;

// The scroll bar settings of a tree: which bars it has, whether they show
// when everything fits, and the steps of a line scroll. With an owner the
// values live in the tree, which scrolls by them.
class TScrollBarOptions : public TPersistent {
 public:
  explicit TScrollBarOptions(TBaseNodeTree* owner) : owner_(owner) {}
  void Assign(const TPersistent* source) override;
  bool AlwaysVisible() const;
  void SetAlwaysVisible(bool value);
  TScrollStyle ScrollBars() const;
  void SetScrollBars(TScrollStyle value);
  TScrollBarStyle ScrollBarStyle = sbmRegular;  // only stored
  TNTScrollIncrement HorizontalIncrement() const;
  void SetHorizontalIncrement(TNTScrollIncrement value);
  TNTScrollIncrement VerticalIncrement() const;
  void SetVerticalIncrement(TNTScrollIncrement value);

 private:
  void recreate();
  TBaseNodeTree* owner_;
  // Without an owner.
  bool alwaysVisible_ = false;
  TScrollStyle scrollBars_ = ssBoth;
  TNTScrollIncrement horizontalIncrement_ = 20;
  TNTScrollIncrement verticalIncrement_ = 20;
};

class TNTColors : public TPersistent {
 public:
  explicit TNTColors(TBaseNodeTree* owner);
  void Assign(const TPersistent* source) override;
  enum TIndex {
    DisabledColor,
    DropMarkColor,
    DropTargetColor,
    FocusedSelectionColor,
    GridLineColor,
    TreeLineColor,
    UnfocusedSelectionColor,
    BorderColor,
    HotColor,
    FocusedSelectionBorderColor,
    UnfocusedSelectionBorderColor,
    DropTargetBorderColor,
    SelectionRectangleBlendColor,
    SelectionRectangleBorderColor,
    HeaderHotColor,
    SelectionTextColor,
  };
  TColor Get(TIndex index) const { return colors_[index]; }
  void Set(TIndex index, TColor value);
  TColor BackgroundColor() const;
  TColor HeaderFontColor() const;
  TColor NodeFontColor() const;

 private:
  TBaseNodeTree* owner_;
  TColor colors_[16];
};

// Shows a picture of the dragged column cell that follows the mouse.
class TNTHeaderDragImage {
 public:
  TNTHeaderDragImage();
  virtual ~TNTHeaderDragImage();
  // Takes the picture; hotSpot is the mouse position inside it.
  virtual void Prepare(const TBitmap& picture, TPoint hotSpot);
  // Shows the picture (if hidden) with its hot spot at the screen point.
  virtual void DragTo(TPoint screenPoint);
  virtual void Hide();
  bool Visible() const { return visible_; }
  TPoint Position() const { return position_; }
  bool RestrictHorizontal = false;

 private:
  struct Window;
  std::unique_ptr<Window> window_;
  std::unique_ptr<TBitmap> picture_;
  TPoint hotSpot_;
  TPoint position_;
  TPoint start_;
  bool started_ = false;
  bool visible_ = false;
};

class TNTHeader : public TPersistent {
 public:
  explicit TNTHeader(TBaseNodeTree* owner);
  ~TNTHeader() override;
  void Assign(const TPersistent* source) override;
  virtual void Assign(const TNTHeader& source) { Assign(static_cast<const TPersistent*>(&source)); }

  TBaseNodeTree* Treeview() const { return owner_; }
  TNodeTreeColumns& Columns() const { return *columns_; }

  int32_t Height() const { return height_; }
  void SetHeight(int32_t value);
  TFont& Font() { return font_; }
  void SetFont(const TFont& value);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);
  THeaderOptions Options() const { return options_; }
  void SetOptions(THeaderOptions value);
  TNTHeaderStyle Style() const { return style_; }
  void SetStyle(TNTHeaderStyle value);
  TColor Background() const { return background_; }
  void SetBackground(TColor value);
  TColumnIndex AutoSizeIndex() const { return autoSizeIndex_; }
  void SetAutoSizeIndex(TColumnIndex value);
  TPopupMenu* PopupMenu = nullptr;
  TColumnIndex MainColumn() const;
  void SetMainColumn(TColumnIndex value);
  int32_t MaxHeight() const { return maxHeight_; }
  void SetMaxHeight(int32_t value);
  int32_t MinHeight() const { return minHeight_; }
  void SetMinHeight(int32_t value);
  int32_t DefaultHeight() const { return defaultHeight_; }
  void SetDefaultHeight(int32_t value);
  TNTFixedAreaConstraints& FixedAreaConstraints() { return constraints_; }
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* value);
  TColumnIndex SortColumn() const { return sortColumn_; }
  void SetSortColumn(TColumnIndex value);
  TSortDirection SortDirection() const { return sortDirection_; }
  void SetSortDirection(TSortDirection value);
  THeaderStates States() const { return states_; }
  TFontPitch FontPitch = fpDefault;
  // The version of the block LoadFromStream read last (-1: an old block
  // without version, 6: the current one).
  int32_t StreamVersion() const { return streamVersion_; }
  int32_t LastWidth() const { return lastWidth_; }
  TNTHeaderDragImage& DragImage() { return *dragImage_; }
  void SetDragImage(std::unique_ptr<TNTHeaderDragImage> image);

  bool UseColumns() const { return columns_->Count() > 0; }
  bool IsFontStored() const { return !parentFont_; }
  // Repaints a header cell (NoColumn: the whole header).
  virtual void Invalidate(TColumnIndex column = NoColumn, bool expandToBorder = false);
  virtual void RecalculateHeader();
  void RescaleHeader();
  int32_t ResizeColumns(int32_t changeBy, TColumnIndex rangeStart, TColumnIndex rangeEnd, TNTColumnOptions options);
  // Spreads a change of the header width over the spring columns.
  void SpringResize(int32_t headerWidth);
  virtual void AutoFitColumns(bool animated = true, int smartType = 2, TColumnIndex rangeStart = NoColumn,
                              TColumnIndex rangeEnd = NoColumn);
  virtual void ChangeScale(int32_t m, int32_t d);
  virtual bool DetermineSplitterIndex(TPoint p);
  virtual bool InHeader(TPoint p) const;
  virtual bool InHeaderSplitterArea(TPoint p) const;
  virtual bool HandleHeaderMessage(TMessage& message);
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  // The tree's font changed (ParentFont) or its bidi mode changed.
  void ParentFontChanged();
  void BiDiModeChanged();
  // Keeps the header height in step with the font (auHeaderHeightFromFont).
  void FontChanged();
  // The header's rectangle in tree client coordinates (above y 0).
  TRect HeaderRect() const;
  static TShiftState GetShiftState();
  // The column being width-tracked; NoColumn when none.
  TColumnIndex TrackIndex() const { return columns_->SizingIndex; }
  TPoint TrackPos() const { return trackPos_; }

  // Events of the header's hooks (sender: the header). Without a handler
  // fitting, tracking and double-click resizing are allowed and no popup
  // menu is shown.
  std::function<void(TNTHeader*, TPoint, TColumnIndex, bool&)> OnColumnSizingQuery;
  std::function<void(TNTHeader*, int&)> OnBeforeAutoFitColumns;
  std::function<void(TNTHeader*, TColumnIndex, int&, bool&)> OnBeforeAutoFitColumn;
  std::function<void(TNTHeader*, TColumnIndex)> OnAfterAutoFitColumn;
  std::function<void(TNTHeader*)> OnAfterAutoFitColumns;
  std::function<void(TNTHeader*, TColumnIndex, TShiftState)> OnBeforeColumnWidthTracking;
  std::function<void(TNTHeader*, TColumnIndex, TShiftState, TPoint&, TPoint, bool&)> OnColumnWidthTracking;
  std::function<void(TNTHeader*, TColumnIndex)> OnAfterColumnWidthTracking;
  std::function<void(TNTHeader*, TShiftState)> OnBeforeHeightTracking;
  std::function<void(TNTHeader*, TPoint&, TShiftState, bool&)> OnHeightTracking;
  std::function<void(TNTHeader*)> OnAfterHeightTracking;
  std::function<void(TNTHeader*, TColumnIndex, TShiftState, TPoint, bool&)> OnColumnWidthDblClickResize;
  std::function<void(TNTHeader*, TPoint&, TShiftState, bool&)> OnHeightDblClickResize;
  std::function<void(TNTHeader*, TPoint, bool&)> OnCanSplitterResize;
  std::function<void(TNTHeader*, TColumnIndex, TPoint, TPopupMenu*&)> OnGetPopupMenu;

  // Hooks that raise the events above; overridable by derived headers.
  virtual void DoAfterAutoFitColumn(TColumnIndex column);
  virtual void DoAfterColumnWidthTracking(TColumnIndex column);
  virtual void DoAfterHeightTracking();
  virtual bool DoBeforeAutoFitColumn(TColumnIndex column, int smartType);
  virtual void DoBeforeColumnWidthTracking(TColumnIndex column, TShiftState shift);
  virtual void DoBeforeHeightTracking(TShiftState shift);
  virtual void DoCanSplitterResize(TPoint p, bool& allowed);
  virtual bool DoColumnWidthDblClickResize(TColumnIndex column, TPoint p, TShiftState shift);
  virtual bool DoColumnWidthTracking(TColumnIndex column, TShiftState shift, TPoint& trackPoint, TPoint p);
  virtual TPopupMenu* DoGetPopupMenu(TColumnIndex column, TPoint p);
  virtual bool DoHeightTracking(TPoint& p, TShiftState shift);
  virtual bool DoHeightDblClickResize(TPoint& p, TShiftState shift);
  virtual void DoSetSortColumn(TColumnIndex value);

 protected:
  TPersistent* GetOwner() const override;

 private:
  friend class TNodeTreeColumns;
  friend class TNodeTreeColumn;
  friend class TNTFixedAreaConstraints;
  friend class TNTHeaderDragImage;
  void enterStates(THeaderStates s) { states_ += s; }
  void leaveStates(THeaderStates s) { states_ -= s; }
  void sortTree();
  void constraintsChanged();
  void fixedAreaChanged();
  bool overDivider(TPoint p);
  void endDrag(TPoint p, bool dropAllowed);
  void cancelTracking();
  void finishSlide();
  void slideStep();
  struct TSlide {
    bool Active = false;
    TColumnIndex Column = NoColumn;
    int32_t Target = 0;
    int32_t Step = 0;
    int32_t Done = 0;
    int32_t Edge = 0;  // the column's right edge when the slide began (client x)
  };
  TSlide slide_;
  int32_t streamVersion_ = 6;

  TBaseNodeTree* owner_;
  std::unique_ptr<TNodeTreeColumns> columns_;
  int32_t height_ = 19;
  TFont font_;
  bool parentFont_ = false;
  THeaderOptions options_ = THeaderOptions::FromMask(DefaultHeaderOptions);
  TNTHeaderStyle style_ = hsThickButtons;
  TColor background_ = clBtnFace;
  TColumnIndex autoSizeIndex_ = 0;
  TColumnIndex mainColumn_ = NoColumn;
  int32_t maxHeight_ = 10000;
  int32_t minHeight_ = 10;
  int32_t defaultHeight_ = 19;
  TNTFixedAreaConstraints constraints_;
  TCustomImageList* images_ = nullptr;
  TChangeLink imageLink_;
  TColumnIndex sortColumn_ = NoColumn;
  TSortDirection sortDirection_ = sdAscending;
  std::unique_ptr<TNTHeaderDragImage> dragImage_;
  int32_t lastWidth_ = 0;
  THeaderStates states_;
  TPoint dragStart_;
  TPoint trackStart_;
  TPoint trackPos_;
  bool fontChanging_ = false;
};

}  // namespace px
