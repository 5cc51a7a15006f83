#pragma once
// TBaseNodeTree: a tree/grid control that holds no captions of its own. It
// keeps a linked structure of small node blocks, each with a user data area
// of a size fixed once per tree, and asks its owner (through virtual
// dispatchers and events) for everything else: initial states, child counts,
// heights, check approval, text.
//
// The control reaches its window only through an INodeTreeHost (see
// NodeTreesHost.h); drawing goes only through the platform canvas.
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Streams.h"
#include "platform/gui/Controls.h"
#include "platform/gui/ExtCtrls.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/ScrollBars.h"
#include "platform/gui/StdCtrls.h"
#include "ui/tree/NodeTreesClipboard.h"
#include "ui/tree/NodeTreesHeader.h"
#include "ui/tree/NodeTreesHost.h"
#include "ui/tree/NodeTreesTypes.h"

namespace px {

class TBaseNodeTree;
class TPopupMenu;
struct TColumnHitInfo;
struct THeaderPaintInfo;
class INTDragManager;
class TNTDragManager;
class TNTDragImage;
struct TNTHintData;

// Drag kinds, operations and picture kinds.
enum TNTDragType { dtOLE, dtVCL };
enum TDragOperation { doCopy, doMove, doLink };
using TDragOperations = TSet<TDragOperation>;
enum TNTDragImageKind { diComplete, diMainColumnOnly, diNoImage };


// How a cell is asked for its pre-paint: to paint it or to measure it.
enum TNTCellPaintMode { cpmPaint, cpmGetContentMargin };

// Row erase actions of the node-erasing event.
enum TItemEraseAction { eaColor, eaDefault, eaNone };

enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum TNTDropMode { dmNowhere, dmAbove, dmOnNode, dmBelow };


// ---------------------------------------------------------------------------
// Option sets of a tree
class TCustomNodeTreeOptions : public TPersistent {
 public:
  explicit TCustomNodeTreeOptions(TBaseNodeTree* owner) : owner_(owner) {}
  TBaseNodeTree* Owner() const { return owner_; }

  TNTPaintOptions PaintOptions() const { return paintOptions_; }
  TNTAnimationOptions AnimationOptions() const { return animationOptions_; }
  TNTAutoOptions AutoOptions() const { return autoOptions_; }
  TNTSelectionOptions SelectionOptions() const { return selectionOptions_; }
  TNTMiscOptions MiscOptions() const { return miscOptions_; }
  void SetPaintOptions(TNTPaintOptions value);
  void SetAnimationOptions(TNTAnimationOptions value) { animationOptions_ = value; }
  void SetAutoOptions(TNTAutoOptions value);
  void SetSelectionOptions(TNTSelectionOptions value);
  void SetMiscOptions(TNTMiscOptions value);
  // 0 all nodes, 1 checked only, 2 unchecked only.
  Byte ExportFilter = 0;

  void Assign(const TPersistent* source) override;

 protected:
  friend class TBaseNodeTree;
  TBaseNodeTree* owner_;
  TNTPaintOptions paintOptions_ = TNTPaintOptions::FromMask(DefaultPaintOptions);
  TNTAnimationOptions animationOptions_ = TNTAnimationOptions::FromMask(DefaultAnimationOptions);
  TNTAutoOptions autoOptions_ = TNTAutoOptions::FromMask(DefaultAutoOptions);
  TNTSelectionOptions selectionOptions_ = TNTSelectionOptions::FromMask(DefaultSelectionOptions);
  TNTMiscOptions miscOptions_ = TNTMiscOptions::FromMask(DefaultMiscOptions);
};

// ---------------------------------------------------------------------------
// Events. Tree events are raised with the tree as sender, header events with
// the header.
using TNTNodeEvent = std::function<void(TBaseNodeTree* sender, PNTNode node)>;
using TNTNodeQueryEvent = std::function<void(TBaseNodeTree* sender, PNTNode node, bool& allowed)>;
using TNTNodeColumnQueryEvent =
    std::function<void(TBaseNodeTree* sender, PNTNode node, TColumnIndex column, bool& allowed)>;
using TNTNodeTargetQueryEvent =
    std::function<void(TBaseNodeTree* sender, PNTNode node, PNTNode target, bool& allowed)>;
using TNTCanvasNodeRectEvent =
    std::function<void(TBaseNodeTree* sender, TCanvas& canvas, PNTNode node, const TRect& rect)>;
using TNTCanvasEvent = std::function<void(TBaseNodeTree* sender, TCanvas& canvas)>;
using TNTStreamEvent = std::function<void(TBaseNodeTree* sender, PNTNode node, TStream& stream)>;
using TNTTreeStreamEvent = std::function<void(TBaseNodeTree* sender, TStream& stream)>;
using TNTHitInfoEvent = std::function<void(TBaseNodeTree* sender, const THitInfo& hitInfo)>;
using TNTColumnShiftEvent = std::function<void(TBaseNodeTree* sender, TColumnIndex column, TShiftState shift)>;
using TNTHeaderHitEvent = std::function<void(TNTHeader* sender, const TColumnHitInfo& hitInfo)>;
using TNTHeaderMouseEvent =
    std::function<void(TNTHeader* sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TNTHeaderMouseMoveEvent = std::function<void(TNTHeader* sender, TShiftState shift, int32_t x, int32_t y)>;
using TNTOperationEvent = std::function<void(TBaseNodeTree* sender, TNTOperationKind kind)>;
using TNTCursorEvent = std::function<void(TBaseNodeTree* sender, TCursor& cursor)>;

// ---------------------------------------------------------------------------
// Painting: what one pass paints, and the record of one cell being painted.
enum TNTPaintElement {
  peBackground,      // the tree's own background below and beside the rows
  peCellBackground,  // cells filled with their column's colour
  peFocusRect,
  peSelection,
  peDropMark,
  peGridLines,
  peMainColumnOnly,
  peSelectedOnly,
  peUnbuffered,      // painted straight onto the target, no row buffer
};
using TNTPaintElements = TSet<TNTPaintElement>;
// What the control paints for itself.
inline const TNTPaintElements AllPaintElements{peBackground, peCellBackground, peFocusRect,
                                               peSelection, peDropMark, peGridLines};

// Line segments of one indentation level.
enum TNTLineType { ltNone, ltBottomRight, ltTopDown, ltTopDownRight, ltRight, ltTopRight, ltLeft, ltLeftBottom };
using TNTLineImage = std::vector<TNTLineType>;

struct TNTImageInfo {
  int32_t Index = -1;
  int32_t XPos = 0;
  int32_t YPos = 0;
  bool Ghosted = false;
  TCustomImageList* Images = nullptr;
};
enum TNTImageInfoIndex { iiNormal, iiState, iiCheck, iiOverlay };

struct TNTPaintInfo {
  TCanvas* Canvas = nullptr;
  TNTPaintElements PaintOptions;
  PNTNode Node = nullptr;
  TColumnIndex Column = NoColumn;
  TRect CellRect;
  TRect ContentRect;
  int32_t NodeWidth = 0;
  TAlignment Alignment = taLeftJustify;
  bool RightToLeft = false;
  int32_t VAlign = 0;  // button and line height inside the row
  std::array<TNTImageInfo, 4> ImageInfo;
};

// How the rubber band is drawn.
enum TNTDrawSelectionMode { smDottedRectangle, smBlendedRectangle };
// Bevels of the tree's frame.
enum TBevelKind { bkNone, bkTile, bkSoft, bkFlat };
enum TBevelEdge { beLeft, beTop, beRight, beBottom };
using TBevelEdges = TSet<TBevelEdge>;
constexpr Cardinal CM_CTL3DCHANGED = 0xB010;
// WM_PRINT flags (LParam).
constexpr LPARAM PRF_CHECKVISIBLE = 0x01, PRF_NONCLIENT = 0x02, PRF_CLIENT = 0x04;

// One request of the smooth scrolling of a toggle: up to two regions of the
// surface, each scrolled up or down (or not at all); the second moves by the
// first one's step times ScaleFactor.
enum TToggleAnimationMode { tamNoScroll, tamScrollUp, tamScrollDown };
struct TToggleAnimationData {
  TBitmap* Surface = nullptr;
  TRect R1;
  TRect R2;
  TToggleAnimationMode Mode1 = tamNoScroll;
  TToggleAnimationMode Mode2 = tamNoScroll;
  double ScaleFactor = 0;
  double MissedSteps = 0;  // the rounding rest carried to the next step
};

// Codes of WM_HSCROLL/WM_VSCROLL (low word of WParam).
constexpr WPARAM SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
                 SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5,
                 SB_TOP = 6, SB_LEFT = 6, SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;
// The tree's private messages.
constexpr Cardinal WM_CHANGESTATE = 0x8020;  // WParam: states to enter, LParam: to leave (4-bit sets)
constexpr Cardinal CM_AUTOADJUST = 0xB7D0;   // answered 1
// Tree-view queries.
constexpr Cardinal TVM_GETITEMRECT = 0x1104;
constexpr Cardinal TVM_GETNEXTITEM = 0x110A;
constexpr Cardinal TVM_GETITEM = 0x110C;
// TVM_GETNEXTITEM codes (WParam).
constexpr WPARAM TVGN_ROOT = 0, TVGN_NEXT = 1, TVGN_PREVIOUS = 2, TVGN_PARENT = 3, TVGN_CHILD = 4,
                 TVGN_FIRSTVISIBLE = 5, TVGN_NEXTVISIBLE = 6, TVGN_PREVIOUSVISIBLE = 7, TVGN_DROPHILITE = 8,
                 TVGN_CARET = 9, TVGN_LASTVISIBLE = 10;
// TVM_GETITEM request (LParam points to it).
constexpr uint32_t TVIF_TEXT = 0x01, TVIF_IMAGE = 0x02, TVIF_STATE = 0x08, TVIF_HANDLE = 0x10,
                   TVIF_SELECTEDIMAGE = 0x20, TVIF_CHILDREN = 0x40;
struct TTVItem {
  uint32_t Mask = 0;
  PNTNode Item = nullptr;
  uint32_t State = 0;
  uint32_t StateMask = 0;
  char* Text = nullptr;
  int32_t TextMax = 0;  // buffer size in bytes, terminator included
  int32_t Image = 0;
  int32_t SelectedImage = 0;
  int32_t Children = 0;
};

// ---------------------------------------------------------------------------
// Input: the in-place editor link. The tree asks its create-editor
// dispatcher for one when a cell is to be edited and talks to the editor only
// through it. Links are shared: the tree keeps one for the edit and holds an
// extra reference across every call, since a link may end the edit (and so
// drop the tree's reference) from inside its own method.
class INTEditLink {
 public:
  virtual ~INTEditLink() = default;
  // Shows the editor and focuses it; false when the link has stopped.
  virtual bool ShowEditor() = 0;
  // Ends without storing; true when it acted.
  virtual bool CancelEditing() = 0;
  // Stores the result and ends; true when it acted.
  virtual bool AcceptEditing() = 0;
  // Attaches the link to a cell; false when it cannot edit that cell.
  virtual bool PrepareForCell(TBaseNodeTree* tree, PNTNode node, TColumnIndex column) = 0;
  virtual TRect GetEditorBounds() = 0;
  virtual void RelayMessage(TMessage& message) = 0;
  virtual void SetEditorBounds(TRect r) = 0;
};
using TNTEditLinkRef = std::shared_ptr<INTEditLink>;

// The pressed and the normal form of a check state.
TCheckState PressedCheckState(TCheckState state);
TCheckState ReleasedCheckState(TCheckState state);

// Directions of the automatic scrolling.
enum TNTScrollDirection { sdLeft, sdUp, sdRight, sdDown };
using TNTScrollDirections = TSet<TNTScrollDirection>;

// Cursor slots of the wheel-panning cursors ("NT_MOVE*").
enum TNTPanningCursor : TCursor {
  crNTMoveAll = 70,
  crNTMoveEW,
  crNTMoveNS,
  crNTMoveN,
  crNTMoveS,
  crNTMoveE,
  crNTMoveW,
  crNTMoveNE,
  crNTMoveNW,
  crNTMoveSE,
  crNTMoveSW,
};

class TBaseNodeTree : public TCustomControl {
 public:
  explicit TBaseNodeTree(TComponent* owner);
  ~TBaseNodeTree() override;
  void AfterConstruction() override;
  void BeforeDestruction() override;

  // ---- window host
  void SetHost(INodeTreeHost* host);
  INodeTreeHost& Host() const { return *host_; }
  bool HandleAllocated() const { return host_->HandleAllocated(); }
  int32_t ClientWidth() const { return host_->ClientSize().cx; }
  int32_t ClientHeight() const { return host_->ClientSize().cy; }
  TRect ClientRect() const override { return Rect(0, 0, ClientWidth(), ClientHeight()); }
  // A timer of the window ran out.
  virtual void TimerFired(int id);
  void WndProc(TMessage& message) override;
  // Makes the tree's own window its host (the null host until then).
  void UseWindowHost();

  // ---- structure and options
  PNTNode RootNode() const { return root_; }
  TCustomNodeTreeOptions& Options() const { return *options_; }
  TNTHeader& Header() const { return *header_; }
  TNTTreeStates TreeStates() const { return states_; }
  Cardinal UpdateCount() const { return updateCount_; }
  Cardinal VisibleCount() const { return visibleCount_; }
  Cardinal TotalCount() const;
  int32_t NodeDataSize() const { return nodeDataSize_; }
  void SetNodeDataSize(int32_t value);
  Cardinal InternalDataOffset() const { return internalDataOffset_; }
  Cardinal DefaultNodeHeight() const { return defaultNodeHeight_; }
  void SetDefaultNodeHeight(Cardinal value);
  Cardinal Indent() const { return indent_; }
  void SetIndent(Cardinal value);
  int32_t Margin() const { return margin_; }
  void SetMargin(int32_t value);
  int32_t TextMargin() const { return textMargin_; }
  Byte NodeAlignment() const { return nodeAlignment_; }
  void SetNodeAlignment(Byte value);
  Cardinal ChangeDelay = 0;
  int32_t BottomSpace() const { return bottomSpace_; }
  void SetBottomSpace(int32_t value);
  Cardinal AnimationDuration = 200;

  Cardinal RootNodeCount() const { return root_->ChildCount; }
  void SetRootNodeCount(Cardinal value);
  Cardinal ChildCount(PNTNode node) const { return node ? node->ChildCount : root_->ChildCount; }
  void SetChildCount(PNTNode node, Cardinal newChildCount);
  bool HasChildren(PNTNode node) const;
  void SetHasChildren(PNTNode node, bool value);
  bool Expanded(PNTNode node) const { return node && node->Has(nsExpanded); }
  void SetExpanded(PNTNode node, bool value);
  bool Selected(PNTNode node) const { return node && node->Has(nsSelected); }
  void SetSelected(PNTNode node, bool value);
  bool IsVisible(PNTNode node);
  void SetVisible(PNTNode node, bool value);
  bool FullyVisible(PNTNode node) const;
  bool IsFiltered(PNTNode node) const { return node && node->Has(nsFilteredOut); }
  void SetFiltered(PNTNode node, bool value);
  bool IsDisabled(PNTNode node) const { return node && node->Has(nsDisabled); }
  void SetDisabled(PNTNode node, bool value);
  bool MultiLine(PNTNode node) const { return node && node->Has(nsMultiline); }
  void SetMultiline(PNTNode node, bool value);
  Cardinal NodeHeight(PNTNode node);
  void SetNodeHeight(PNTNode node, int64_t value);
  TCheckState CheckState(PNTNode node) const { return static_cast<TCheckState>(node->CheckState); }
  void SetCheckState(PNTNode node, TCheckState value) { DoSetCheckState(node, value); }
  TCheckType CheckType(PNTNode node) const { return static_cast<TCheckType>(node->CheckType); }
  void SetCheckType(PNTNode node, TCheckType value);
  PNTNode NodeParent(PNTNode node) const;
  void SetNodeParent(PNTNode node, PNTNode value);
  bool IsHiddenByFilter(PNTNode node) const {
    return node && node->Has(nsFilteredOut) && !options_->PaintOptions().Contains(poShowFilteredNodes);
  }
  bool IsShownNode(PNTNode node) const { return node && node->Has(nsVisible) && !IsHiddenByFilter(node); }

  // ---- focus and selection
  PNTNode FocusedNode() const { return focusedNode_; }
  void SetFocusedNode(PNTNode node);
  TColumnIndex FocusedColumn() const { return focusedColumn_; }
  void SetFocusedColumn(TColumnIndex column);
  PNTNode HotNode() const { return hotNode_; }
  PNTNode DropTargetNode() const { return dropTargetNode_; }
  PNTNode RangeAnchor() const { return rangeAnchor_; }
  Cardinal SelectedCount() const { return selectionCount_; }
  const TNodeArray& Selection() const { return selection_; }
  bool SelectionLocked = false;
  virtual void AddToSelection(PNTNode node);
  virtual void RemoveFromSelection(PNTNode node);
  void ClearSelection();
  void SelectAll(bool visibleOnly);
  TNodeArray GetSortedSelection(bool resolve);
  TNodeArray GetSortedCutCopySet(bool resolve);

  // ==== Input: selection, focus, incremental search, editing, keys, mouse
  // ---- selection kept sorted by node address
  // Binary search between Low and High (negative: the whole array); Index is
  // the position found or the insertion position.
  bool FindInSelection(PNTNode node, int32_t& index, int32_t high = -1, int32_t low = -1) const;
  // Adds a batch in one sort and merge; Force skips the level, sibling and
  // disabled checks. True when something was added.
  bool InternalAddToSelection(const PNTNode* newItems, int32_t count, bool force);
  bool InternalAddNodeToSelection(PNTNode node, bool force);
  void AddNodesToSelection(const PNTNode* newItems, int32_t count, bool force);
  void AddToTempBuffer(PNTNode node);
  void ClearTempBuffer();
  const TNodeArray& TempNodeBuffer() const { return tempNodeCache_; }
  void ResetRangeAnchor();
  void SelectNodeRange(PNTNode startNode, PNTNode endNode, bool addOnly);
  void ToggleSelectionRange(PNTNode startNode, PNTNode endNode);
  void UnselectNodeRange(PNTNode startNode, PNTNode endNode);
  void MarkCutCopy();
  void FocusCell(PNTNode node, TColumnIndex column);
  void EnsureFocusedNode();
  void EnsureNodeSelected();
  // The selection step of a click with modifiers.
  void HandleClickSelection(PNTNode lastFocused, PNTNode newNode, TShiftState shift, bool deferToggle);
  PNTNode NextNodeToSelect() const { return nextNodeToSelect_; }
  int32_t LastSelectionLevel() const { return lastSelectionLevel_; }

  // ---- incremental search
  // 0 all nodes, 1 off, 2 all nodes from an initialized start, 3 visible only.
  Byte IncrementalSearchMode = 0;
  // 0 from the first node, 1 from the last match, 2 from the focused node.
  Byte IncrementalSearchStart = 2;
  // 0 forward, 1 backward.
  Byte IncrementalSearchDirection = 0;
  Cardinal IncrementalSearchTimeout = 1000;
  const UnicodeString& SearchBuffer() const { return searchBuffer_; }
  PNTNode LastSearchNode() const { return lastSearchNode_; }
  virtual void IncrementalSearch(Word charCode);
  // The search time-out ran out (timer 7).
  void StopIncrementalSearch();

  // ---- in-place editing
  Cardinal EditDelay = 1000;
  TColumnIndex EditColumn() const { return editColumn_; }
  INTEditLink* EditLink() const { return editLink_.get(); }
  virtual void BeginCellEdit();
  virtual bool EndCellEdit();
  virtual bool CancelCellEdit();
  virtual void CancelCellEditAndNotify();
  virtual void UpdateCellEditBounds();
  // Cancels a running or pending edit.
  void AbandonEditIfAny();

  // ---- keyboard
  PNTNode KeyCheckNode() const { return keyCheckNode_; }
  // Asked by F1 for the focused node and then its ancestors until one
  // answers a help context.
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, int32_t&)> OnHelpContextQuery;
  // Whether a column may take the focus (no column when there are none).
  bool ColumnTakesFocus(TColumnIndex column) const;

  // ---- mouse
  // In-node hit positions of a point on HitInfo's row; X relative to the
  // cell, Right the cell's width.
  virtual void LocateHitInNodeLTR(THitInfo& hitInfo, int32_t x, int32_t right, TAlignment alignment);
  virtual void LocateHitInNodeRTL(THitInfo& hitInfo, int32_t x, int32_t right, TAlignment alignment);
  virtual TCheckState NextCheckStateOf(TCheckType checkType, TCheckState checkState);
  virtual bool ParentCheckStateFor(PNTNode node, TCheckState newCheckState);
  virtual void MouseButtonDown(TMessage& message, THitInfo& hitInfo);
  virtual void MouseButtonDblClick(TMessage& message, const THitInfo& hitInfo);
  virtual void MouseButtonUp(TMessage& message, const THitInfo& hitInfo);
  virtual void UpdateHotTrack(int32_t x, int32_t y);
  virtual TNTScrollDirections ComputeScrollDirections(int32_t x, int32_t y);
  virtual void CheckAutoScroll(int32_t x, int32_t y);
  virtual void AutoScrollStep();
  virtual bool AutoScrollApplies();
  virtual void BeginPanning(TPoint position);
  virtual void EndPanning();
  virtual void UpdatePanningCursor(int32_t x, int32_t y);
  virtual bool NodeEdgeResizable(TPoint p, PNTNode node, TColumnIndex column);
  virtual bool UpdateSelectionRect(int32_t x, int32_t y);
  // Reselects the nodes under the rubber band; true when that changed the
  // selection.
  virtual bool HandleDrawSelection(const TRect& oldRect, const TRect& newRect);
  // Steps of the data transfer; nothing happens here until it exists.
  virtual bool DragAllowed(const THitInfo& hitInfo);
  virtual void BeginDragOperation(TPoint p);
  virtual bool DragManagerReportsDragOver();
  Cardinal AutoScrollDelay = 200;
  Word AutoScrollInterval = 1;
  Cardinal AutoExpandDelay = 1000;
  // Pixels the mouse moves before a press turns into a drag.
  int32_t DragThreshold = 4;
  TRect OldSelectionRect;  // the rubber band before the last move
  TNTScrollDirections ScrollDirections() const { return scrollDirections_; }
  PNTNode CheckNode() const { return checkNode_; }
  PNTNode HeightTrackNode() const { return heightTrackNode_; }
  bool HotButton() const { return hotButton_; }
  TColumnIndex HotColumn() const { return hotColumn_; }
  TCursor PanningCursor() const { return panningCursor_; }
  // The small window at the panning centre while wheel panning runs.
  QWidget* PanningWindow() const { return panningWindow_; }
  TPoint PanningCenter() const { return lastClickPos_; }

 protected:
  void DoEnter() override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  // The width of the check images (the default strips without a list).
  int32_t CheckImageWidth() const;
  // A Space press waiting for its release goes back to the normal image.
  void ReleaseKeyCheck();
  bool TabToCell(bool backward);
  // A press on a check box shows the pressed image; the release applies.
  void PressCheckBox(PNTNode node);
  // The node is being freed: forget it in the input's roles.
  void ForgetInputNode(PNTNode node);
  // The shift state of a mouse message (Alt included).
  static TShiftState MouseShift(const TMessage& message);
  void HandleMouseDownMessage(TMessage& message);
  void HandleMouseUpMessage(TMessage& message);
  void HandleMouseDblClkMessage(TMessage& message);
  void selectionChangeNotify(Cardinal added);
  TRect rubberBandRect() const;
  TNTEditLinkRef editLink_;
  bool inLinkCall_ = false;  // a call into the edit link runs
  PNTNode nextNodeToSelect_ = nullptr;
  int32_t lastSelectionLevel_ = -1;
  UnicodeString searchBuffer_;
  PNTNode lastSearchNode_ = nullptr;
  PNTNode keyCheckNode_ = nullptr;
  TCheckState pendingKeyCheckState_ = csUncheckedNormal;
  PNTNode checkNode_ = nullptr;
  TCheckState pendingCheckState_ = csUncheckedNormal;
  PNTNode heightTrackNode_ = nullptr;
  TColumnIndex heightTrackColumn_ = NoColumn;
  TPoint heightTrackPoint_;
  TColumnIndex hotColumn_ = NoColumn;
  bool hotButton_ = false;
  TPoint lastClickPos_;
  TShiftState drawSelShiftState_;
  TNTScrollDirections scrollDirections_;
  uint64_t autoScrollStart_ = 0;
  bool autoScrollStarted_ = false;
  TCursor panningCursor_ = crDefault;
  QWidget* panningWindow_ = nullptr;

 public:

  // ---- node operations
  // Virtual so that a derived tree can look at each node it adds.
  virtual PNTNode AddChild(PNTNode parent, void* userData = nullptr);
  PNTNode InsertNode(PNTNode node, TNTNodeAttachMode mode, void* userData = nullptr);
  void DeleteNode(PNTNode node, bool reindex = true);
  void DeleteChildren(PNTNode node, bool resetHasChildren = false);
  void DeleteSelectedNodes();
  virtual void Clear();
  void MoveTo(PNTNode source, PNTNode target, TNTNodeAttachMode mode, bool childrenOnly);
  void BeginUpdate();
  void EndUpdate();
  virtual void FullExpand(PNTNode node = nullptr);
  virtual void FullCollapse(PNTNode node = nullptr);
  virtual void ToggleNode(PNTNode node);
  virtual void ReinitNode(PNTNode node, bool recursive);
  virtual void ReinitChildren(PNTNode node, bool recursive);
  virtual void ResetNode(PNTNode node);
  void ValidateNode(PNTNode node, bool recursive);
  void ValidateChildren(PNTNode node, bool recursive);
  void CancelCutOrCopy();
  void FinishCutOrCopy();
  virtual bool CanEdit(PNTNode node, TColumnIndex column);
  virtual bool EditNode(PNTNode node, TColumnIndex column);
  virtual bool EndEditNode();
  virtual bool CancelEditNode();
  bool IsEditing() const { return states_.Contains(stEditing); }
  bool IsMouseSelecting() const { return states_.Contains(stDrawSelPending) || states_.Contains(stDrawSelecting); }
  bool Dragging() const;
  virtual TRect InvalidateNode(PNTNode node);
  void RepaintNode(PNTNode node);
  void InvalidateToBottom(PNTNode node);
  void InvalidateColumn(TColumnIndex column);
  void InvalidateChildren(PNTNode node, bool recursive);
  virtual void AutoScale();
  void MeasureItemHeight(TCanvas& canvas, PNTNode node);
  void Assign(const TPersistent* source) override;

  // ---- node streams (NodeTreesStream.cpp)
  // A tree or one subtree is a 12-byte header (version 2), a 32-bit count of
  // top-level nodes and one node anchor chunk per node; each anchor nests a
  // base chunk (structure and the child anchors), optional user data and,
  // in a string tree, the caption. Every chunk carries its size, so unknown
  // chunk types are skipped.
  void SaveToStream(TStream& stream, PNTNode node = nullptr);
  // Replaces the content. The header is checked before anything is cleared;
  // a read-only tree loads nothing. Bad data raises ENodeTreeError 2002 to
  // 2006; the nodes read up to the error stay, with correct counts.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  // Writes one node anchor chunk for node and its initialized subtree.
  virtual void StreamWriteNode(TStream& stream, PNTNode node);
  // The chunks inside a node's anchor; subclasses append their own.
  virtual void StreamWriteNodeChunks(TStream& stream, PNTNode node);
  // Fills in the size field of the chunk that starts at startPos.
  static void PatchChunkSize(TStream& stream, Int64 startPos, Int64 endPos);
  // Reads one anchor chunk into an existing, linked node, creating its
  // children; the chunk must lie inside the enclosing chunk (the stream at
  // the top).
  virtual void StreamReadNode(TStream& stream, int32_t version, PNTNode node);
  // One chunk inside an anchor, its header already read; true when handled.
  virtual bool StreamReadChunk(TStream& stream, int32_t version, PNTNode node, int32_t chunkType,
                               int32_t chunkSize);
  void StreamSkipNode(TStream& stream);
  // Reads a node the caller has just created and linked, then brings the
  // counts, heights, visible count and selection up to date (also when the
  // reading raises).
  void LoadSubtreeFromStream(TStream& stream, int32_t version, PNTNode node);
  // Creates a node at target (nil: the root) with mode and reads it with
  // LoadSubtreeFromStream; answers the new node.
  PNTNode LoadNodeFromStream(TStream& stream, PNTNode target, TNTNodeAttachMode mode, int32_t version = 2);
  // The nodes of the "Node Tree Data" format, one anchor each in tree order:
  // the cut/copy set for the clipboard, else the selection.
  void WriteTreeDataNodes(TStream& stream, bool forClipboard);
  // The "Node Tree Data" block: a 32-bit byte count and the nodes above;
  // empty when there is nothing to write (the medium then fails).
  std::string RenderTreeDataBlock(bool forClipboard);
  // MoveTo with a tree's root as target.
  void MoveTo(PNTNode source, TBaseNodeTree& targetTree, TNTNodeAttachMode mode, bool childrenOnly);
  // The live tree a node belongs to (nullptr when none).
  static TBaseNodeTree* TreeOfNode(PNTNode node);
  // Deepest nesting a stream may have: the tree's own walks recurse per
  // level, so deeper streams are refused rather than left to exhaust the
  // stack.
  static constexpr int32_t MaxStreamDepth = 2000;

  // ---- data transfer: clipboard, drag and drop (NodeTreesTransfer.cpp,
  // NodeTreesDragDrop.cpp)
  // Put a data object for the selection on the clipboard and mark the
  // nodes; a cut deletes them once they were pasted elsewhere.
  virtual void CopyToClipboard();
  virtual void CutToClipboard();
  // Inserts the clipboard's nodes at the focused node with DefaultPasteMode;
  // false when the clipboard holds no nodes (or the tree is read-only).
  virtual bool PasteFromClipboard();
  // Inserts the nodes a data object offers; optimized moves them from a
  // source tree of this process instead of copying their stream.
  virtual bool ProcessOLEData(TBaseNodeTree* source, const IDataObjectRef& dataObject, PNTNode targetNode,
                              TNTNodeAttachMode mode, bool optimized);
  // Renders a format for a data object of this tree: the tree's own nodes
  // for "Node Tree Data", the render-data dispatcher for anything else.
  virtual HRESULT RenderTreeData(const TFormatEtc& formatEtc, TStgMedium& medium, bool forClipboard);
  // The tree of this process a data object came from (nullptr when none).
  TBaseNodeTree* SourceTreeOfDataObject(const IDataObjectRef& dataObject);
  // The formats a data object of this tree offers: those registered for
  // its class and listed in ClipboardFormats, then the formats-query event's.
  std::vector<TFormatEtc> GetNativeClipboardFormats();
  INTDragManager* DragManager();
  TNTDragImage& DragImage();
  TNTNodeAttachMode DefaultPasteMode = amAddChildLast;
  TDragOperations DragOperations{doCopy, doMove};
  TNTDragType DragType = dtOLE;
  TNTDragImageKind DragImageKind = diComplete;
  int32_t DragWidth = 200;
  int32_t DragHeight = 350;
  bool DragImageEnabled() const { return DragImageKind != diNoImage; }
  virtual TNTDropMode DetermineDropPosition(TPoint p, THitInfo& hitInfo, TRect& nodeRect);
  virtual int32_t ProposeDropEffect(TObject* source, TShiftState shift, TPoint pt, int32_t allowedEffects);
  // Drop target steps; points are screen coordinates.
  virtual HRESULT OLEDragEnter(int32_t keyState, TPoint pt, int32_t& effect);
  virtual HRESULT OLEDragOver(TObject* source, int32_t keyState, TDragState state, TPoint pt, int32_t& effect);
  virtual void OLEDragLeave();
  virtual HRESULT OLEDrop(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect);
  // Timer 1: expands a collapsed drop target.
  virtual void ExpandDropTarget();
  // Runs a whole drag of the selection (p: client point of the press).
  virtual void StartOLEDrag(TPoint p);
  virtual void RunOLEDragLoop(int32_t allowedEffects, const IDataObjectRef& dataObject, int32_t& effect);
  // Starts the class library's or an OLE drag (threshold -1: the tree's).
  void BeginDrag(bool immediate, int32_t threshold = -1);
  // Ends the class library's drag: leaves its states and sends the button
  // release the drag swallowed.
  void FinishVCLDrag();
  // The selection in tree order while a drag of this tree runs.
  const TNodeArray& DragSelection() const { return dragSelection_; }
  // The tree is going away or cleared while its cut or copy is pending:
  // with flush the clipboard keeps a rendered copy, else it is emptied, and
  // either only while it still holds this tree's data.
  void ReleaseClipboard(bool flush);

 protected:
  // Renders the selection around the hot spot (client point) into the
  // drag image.
  void PrepareDragImage(TPoint hotSpot, const IDataObjectRef& dataObject);
  // Registers the drag manager as the window's drop target while
  // moAcceptOLEDrop is set.
  void UpdateOLEDropRegistration();
  TPoint ScreenToTreeClient(TPoint p) const;
  std::shared_ptr<INTDragManager> dragManager_;
  std::unique_ptr<TNTDragImage> dragImage_;
  TNodeArray dragSelection_;
  int32_t lastDropEffect_ = 0;
  PNTNode lastVCLDropTarget_ = nullptr;

 public:
  // ---- hints (NodeTreesHint.cpp)
  // The hint text of a cell, and the text the tooltip hint mode shows; the
  // string tree answers its own. lineBreakStyle: 0 default, 1 single line,
  // 2 multi-line.
  virtual UnicodeString NodeHint(PNTNode node, TColumnIndex column, Byte& lineBreakStyle);
  virtual UnicodeString NodeTooltip(PNTNode node, TColumnIndex column, Byte& lineBreakStyle);
  // The cell area the shown hint belongs to (client coordinates).
  TRect LastHintRect() const { return lastHintRect_; }
  // 0 none, 1 fade, 2 slide in, 3 as the desktop animates its tooltips.
  Byte HintAnimation = 0;
  // HintAnimation with the desktop's setting (3) resolved to 0, 1 or 2.
  Byte EffectiveHintAnimation() const;

 protected:
  TRect lastHintRect_;
  std::shared_ptr<TNTHintData> hintData_;

 public:
  // ---- navigation and geometry
  PNTNode GetFirst(bool considerChildrenAbove = false);
  PNTNode GetFirstNoInit(bool considerChildrenAbove = false);
  PNTNode GetNext(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetNextNoInit(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetPrevious(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetPreviousNoInit(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetLast(PNTNode node = nullptr, bool considerChildrenAbove = false);
  PNTNode GetLastNoInit(PNTNode node = nullptr, bool considerChildrenAbove = false);
  PNTNode GetFirstChild(PNTNode node);
  PNTNode GetFirstChildNoInit(PNTNode node) const;
  PNTNode GetLastChild(PNTNode node);
  PNTNode GetLastChildNoInit(PNTNode node) const;
  PNTNode GetNextSibling(PNTNode node);
  PNTNode GetNextSiblingNoInit(PNTNode node) const;
  PNTNode GetPreviousSibling(PNTNode node);
  PNTNode GetPreviousSiblingNoInit(PNTNode node) const;
  PNTNode GetFirstVisible(PNTNode node = nullptr, bool considerChildrenAbove = true, bool includeFiltered = false);
  PNTNode GetFirstVisibleNoInit(PNTNode node = nullptr, bool considerChildrenAbove = true,
                                bool includeFiltered = false);
  PNTNode GetNextVisible(PNTNode node, bool considerChildrenAbove = true);
  PNTNode GetNextVisibleNoInit(PNTNode node, bool considerChildrenAbove = true);
  PNTNode GetPreviousVisible(PNTNode node, bool considerChildrenAbove = true);
  PNTNode GetPreviousVisibleNoInit(PNTNode node, bool considerChildrenAbove = true);
  PNTNode GetLastVisible(PNTNode node = nullptr, bool considerChildrenAbove = true, bool includeFiltered = false);
  PNTNode GetLastVisibleNoInit(PNTNode node = nullptr, bool considerChildrenAbove = true,
                               bool includeFiltered = false);
  PNTNode GetFirstVisibleChild(PNTNode node, bool includeFiltered = false);
  PNTNode GetFirstVisibleChildNoInit(PNTNode node, bool includeFiltered = false);
  PNTNode GetLastVisibleChild(PNTNode node, bool includeFiltered = false);
  PNTNode GetNextVisibleSibling(PNTNode node, bool includeFiltered = false);
  PNTNode GetNextVisibleSiblingNoInit(PNTNode node, bool includeFiltered = false);
  PNTNode GetPreviousVisibleSibling(PNTNode node, bool includeFiltered = false);
  PNTNode GetPreviousVisibleSiblingNoInit(PNTNode node, bool includeFiltered = false);
  PNTNode GetFirstChecked(TCheckState state = csCheckedNormal, bool considerChildrenAbove = false);
  PNTNode GetNextChecked(PNTNode node, TCheckState state = csCheckedNormal, bool considerChildrenAbove = false);
  PNTNode GetFirstCutCopy(bool considerChildrenAbove = false);
  PNTNode GetNextCutCopy(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetFirstInitialized(bool considerChildrenAbove = false);
  PNTNode GetNextInitialized(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetFirstSelected(bool considerChildrenAbove = false);
  PNTNode GetNextSelected(PNTNode node, bool considerChildrenAbove = false);
  PNTNode GetVisibleParent(PNTNode node, bool includeFiltered = false);
  Cardinal GetNodeLevel(PNTNode node) const;
  // The node's user data; nullptr for nil, the root or a tree without data.
  void* GetNodeData(PNTNode node);
  template <class T>
  T* GetNodeData(PNTNode node) {
    return static_cast<T*>(GetNodeData(node));
  }
  bool HasAsParent(PNTNode node, PNTNode potentialParent) const;
  int CompareNodePositions(PNTNode node1, PNTNode node2, bool considerChildrenAbove = false);
  PNTNode GetNodeAt(int32_t x, int32_t y);
  PNTNode GetNodeAt(int32_t x, int32_t y, bool relative, int32_t& nodeTop);
  void GetHitTestInfoAt(int32_t x, int32_t y, bool relative, THitInfo& hitInfo);
  TRect GetDisplayRect(PNTNode node, TColumnIndex column, bool textOnly, bool unclipped = false,
                       bool applyCellContentMargin = false);
  PNTNode TopNode();
  void SetTopNode(PNTNode node);
  PNTNode BottomNode();
  void SetBottomNode(PNTNode node);
  bool HasVisibleNextSibling(PNTNode node);
  bool HasVisiblePreviousSibling(PNTNode node);
  bool IsFirstVisibleChild(PNTNode parent, PNTNode node);
  bool IsLastVisibleChild(PNTNode parent, PNTNode node);
  TAlignment GetControlsAlignment() const { return alignment_; }

  // ---- sorting, ranges and scrolling
  virtual void Sort(PNTNode node, TColumnIndex column, TSortDirection direction, bool doInit = true);
  virtual void SortTree(TColumnIndex column, TSortDirection direction, bool doInit = true);
  int32_t OffsetX() const { return offsetX_; }
  int32_t OffsetY() const { return offsetY_; }
  void SetOffsetX(int32_t value);
  void SetOffsetY(int32_t value);
  void SetOffsetXY(TPoint value);
  int32_t EffectiveOffsetX() const { return effectiveOffsetX_; }
  int32_t RangeX() const { return rangeX_; }
  int32_t RangeY() const { return rangeY_; }
  virtual void UpdateHorizontalRange();
  void UpdateVerticalRange();
  void UpdateRanges();
  virtual void UpdateHorizontalScrollBar(bool doRepaint);
  virtual void UpdateVerticalScrollBar(bool doRepaint);
  void UpdateScrollBars(bool doRepaint);
  // Sets one bar from the client extent, range and offset; answers the
  // offset kept in range.
  int32_t UpdateScrollBar(TScrollBarKind bar, int32_t client, int32_t range, int32_t offset, bool doRepaint);
  virtual bool ScrollIntoView(PNTNode node, bool center, bool horizontally = false);
  virtual bool ScrollIntoView(TColumnIndex column, bool center);
  TSet<TScrollBarKind> ScrollBars = {sbHorizontal, sbVertical};
  bool AlwaysVisibleScrollBars = false;
  // The same settings as a persistent object; changing which bars show
  // lays the window out again at once.
  TScrollBarOptions& ScrollBarOptions();

  // ---- position cache
  const TCache& PositionCache() const { return positionCache_; }
  Cardinal CacheValidCount() const { return cacheValidCount_; }
  virtual void ValidateCache();
  virtual void InvalidateCache();
  // Nodes walked per slice of the cache build; slices after the first run
  // from the window's timer (ValidateTimer), so lookups meanwhile use the
  // entries built so far and walk on.
  Cardinal CacheSliceNodes = 100000;

  // ---- long operations
  void BeginOperation(TNTOperationKind kind);
  void EndOperation(TNTOperationKind kind);
  bool OperationCanceled() const { return operationCanceled_ && operationCount_ > 0; }
  void CancelOperation() { operationCanceled_ = operationCount_ > 0; }
  bool IsUpdating() const { return updateCount_ > 0 || states_.Contains(stUpdating); }

  // ---- images
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* value);
  TCustomImageList* StateImages() const { return stateImages_; }
  void SetStateImages(TCustomImageList* value);
  TCustomImageList* CheckImages() const { return checkImages_; }
  void SetCheckImages(TCustomImageList* value);
  void Notification(TComponent* component, TOperation operation) override;

  // ---- events
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, bool&)> OnColumnSpanQuery;
  std::function<void(TNTHeader*, THeaderPaintInfo&, TColumnPaintParts)> OnHeaderDrawElements;
  std::function<void(TBaseNodeTree*, TCanvas&, PNTNode, TColumnIndex, const TRect&)> OnCellPainted;
  TNTCanvasNodeRectEvent OnNodeErased;
  TNTCanvasNodeRectEvent OnNodePainted;
  TNTCanvasEvent OnTreePainted;
  TNTNodeColumnQueryEvent OnDragQuery;
  std::function<void(TBaseNodeTree*, TCanvas&, PNTNode, TColumnIndex, TNTCellPaintMode, const TRect&, TRect&)>
      OnCellPrePaint;
  std::function<void(TBaseNodeTree*, TCanvas&, PNTNode, const TRect&, TItemEraseAction&, TColor&)> OnNodeErasing;
  std::function<void(TBaseNodeTree*, TCanvas&, PNTNode, const TRect&, bool&)> OnNodePainting;
  TNTCanvasEvent OnTreePainting;
  std::function<void(TBaseNodeTree*, TColumnIndex)> OnEditCancelled;
  TNTNodeColumnQueryEvent OnEditQuery;
  std::function<void(TBaseNodeTree*, TPoint, PNTNode, TColumnIndex, bool&)> OnNodeEdgeResizeQuery;
  TNTNodeEvent OnChangeNotify;
  TNTNodeEvent OnNodeChecked;
  std::function<void(TBaseNodeTree*, PNTNode, TCheckState&, bool&)> OnNodeChecking;
  TNTNodeEvent OnNodeCollapsed;
  TNTNodeQueryEvent OnNodeCollapsing;
  TNTColumnShiftEvent OnColumnClicked;
  TNTColumnShiftEvent OnColumnDblClicked;
  std::function<void(TNTHeader*, TColumnIndex)> OnColumnResized;
  std::function<void(TBaseNodeTree*, PNTNode, PNTNode, TColumnIndex, int&)> OnNodeCompare;
  std::function<void(TBaseNodeTree*, IDataObjectRef&)> OnDataObjectCreate;
  std::function<void(TBaseNodeTree*, std::shared_ptr<INTDragManager>&)> OnDragManagerCreate;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, TNTEditLinkRef&)> OnEditorCreate;
  std::function<void(TBaseNodeTree*, PNTNode, int32_t, int32_t&)> OnLineImageDrawing;
  std::function<void(TBaseNodeTree*, TObject*, TShiftState, TDragState, TPoint, TNTDropMode, int32_t&, bool&)>
      OnDragOverQuery;
  std::function<void(TBaseNodeTree*, TObject*, IDataObject*, const std::vector<std::string>&, TShiftState, TPoint,
                     int32_t&, TNTDropMode)>
      OnDropped;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex)> OnEdited;
  TNTOperationEvent OnOperationEnded;
  TNTNodeEvent OnNodeExpanded;
  TNTNodeQueryEvent OnNodeExpanding;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex)> OnFocusMoved;
  std::function<void(TBaseNodeTree*, PNTNode, PNTNode, TColumnIndex, TColumnIndex, bool&)> OnFocusMoving;
  TNTNodeEvent OnNodeFree;
  TNTCursorEvent OnCursorQuery;
  std::function<void(TNTHeader*, TCursor&)> OnHeaderCursorQuery;
  std::function<void(TBaseNodeTree*, PNTNode, TNTImageKind, TColumnIndex, bool&, int32_t&, TCustomImageList*&)>
      OnImageIndexQueryEx;
  std::function<void(TBaseNodeTree*, PNTNode, TNTImageKind, TColumnIndex, bool&, int32_t&)> OnImageIndexQuery;
  std::function<void(TBaseNodeTree*, std::array<Word, 8>&)> OnLinePatternQuery;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, TPoint, bool&, TPopupMenu*&)> OnPopupMenuQuery;
  std::function<void(TBaseNodeTree*, std::vector<std::string>&)> OnClipboardFormatsQuery;
  TNTHeaderHitEvent OnHeaderClicked;
  TNTHeaderHitEvent OnHeaderDblClicked;
  std::function<void(TNTHeader*, TColumnIndex, int32_t)> OnHeaderColumnMoved;
  std::function<void(TNTHeader*, TColumnIndex, TPoint)> OnHeaderColumnDroppedOutside;
  std::function<void(TNTHeader*, TColumnIndex, bool&)> OnHeaderColumnMoveQuery;
  std::function<void(TNTHeader*, TCanvas&, TColumnIndex, const TRect&, bool, bool, TNTDropMarkMode)>
      OnHeaderCellDraw;
  std::function<void(TNTHeader*, THeaderPaintInfo&, TColumnPaintParts&)> OnHeaderElementsQuery;
  TNTHeaderMouseEvent OnHeaderButtonDown;
  TNTHeaderMouseMoveEvent OnHeaderPointerMove;
  TNTHeaderMouseEvent OnHeaderButtonUp;
  std::function<void(TBaseNodeTree*, PNTNode, PNTNode)> OnHotNodeChanged;
  std::function<void(TBaseNodeTree*, PNTNode, const UnicodeString&, int&)> OnSearchCompare;
  std::function<void(TBaseNodeTree*, PNTNode, Cardinal&)> OnChildrenInit;
  std::function<void(TBaseNodeTree*, PNTNode, PNTNode, TNTNodeInitStates&)> OnNodeInit;
  std::function<void(TBaseNodeTree*, Word&, TShiftState&, bool&)> OnKeyPreview;
  TNTStreamEvent OnLoadNodeData;
  std::function<void(TBaseNodeTree*, TCanvas&, PNTNode, int32_t&)> OnNodeMeasure;
  TNotifyEvent OnPointerEntered;
  TNotifyEvent OnPointerLeft;
  TNTNodeEvent OnNodesInserted;
  TNTNodeTargetQueryEvent OnNodeInsertQuery;
  TNTHitInfoEvent OnNodeClicked;
  TNTHitInfoEvent OnNodeDblClicked;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, TShiftState, TPoint, bool&)> OnNodeHeightResetQuery;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, TShiftState, TPoint&, TPoint, bool&)>
      OnNodeHeightTrack;
  TNTNodeEvent OnNodeTransferred;
  TNTNodeTargetQueryEvent OnNodeTransferQuery;
  std::function<void(TBaseNodeTree*, TCanvas&, const TRect&, bool&)> OnBackgroundPaint;
  TNTNodeEvent OnNodeDeselected;
  std::function<void(TBaseNodeTree*, const TFormatEtc&, TStgMedium&, bool, HRESULT&)> OnDataRender;
  TNTNodeEvent OnNodeReset;
  TNTStreamEvent OnSaveNodeData;
  std::function<void(TBaseNodeTree*, int32_t, int32_t)> OnScrolled;
  std::function<void(TBaseNodeTree*, TScrollBarKind, bool)> OnScrollBarShow;
  TNTOperationEvent OnOperationStarted;
  std::function<void(TBaseNodeTree*, TNTTreeStates, TNTTreeStates)> OnTreeStateChange;
  std::function<void(TBaseNodeTree*, PNTNode, TChangeReason)> OnStructureChanged;
  std::function<void(TBaseNodeTree*, TNTUpdateState)> OnUpdateStateChanged;
  TNTNodeEvent OnNodeSelected;
  std::function<void(TBaseNodeTree*, int32_t&)> OnNodeDataSizeQuery;
  // Events of the whole-tree operations.
  TNTNodeTargetQueryEvent OnNodeMoving;
  TNTNodeEvent OnNodeMoved;
  TNTNodeTargetQueryEvent OnNodeCopying;
  TNTNodeEvent OnNodeCopied;
  TNTTreeStreamEvent OnSaveTree;
  TNTTreeStreamEvent OnLoadTree;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, int&)> OnHintKindQuery;
  std::function<void(TBaseNodeTree*, TCanvas&, PNTNode, const TRect&, TColumnIndex)> OnHintDraw;
  std::function<void(TBaseNodeTree*, PNTNode, TColumnIndex, TRect&)> OnHintSizeQuery;
  std::function<void(TNTHeader*, TColumnIndex, bool&)> OnColumnWidthMeasuring;
  std::function<void(TNTHeader*, TColumnIndex, int32_t&)> OnColumnWidthMeasured;

  // ---- dispatchers (raise the events above; descendants override them)
  virtual bool CanSpanColumn(PNTNode node, TColumnIndex column);
  // With auSpanColumns, a left-to-right cell reaches over the following
  // shown columns whose cells are empty (CanSpanColumn): moves right to the
  // end of the span and answers the first shown column after it.
  TColumnIndex SpanCell(PNTNode node, TColumnIndex column, int32_t& right, bool rightToLeft);
  virtual void HeaderDrawElements(THeaderPaintInfo& info, TColumnPaintParts elements);
  virtual void PaintCellOverlay(TCanvas& canvas, PNTNode node, TColumnIndex column, const TRect& cellRect);
  virtual void NodeErased(TCanvas& canvas, PNTNode node, const TRect& rect);
  virtual void NodePainted(TCanvas& canvas, PNTNode node, const TRect& rect);
  virtual void TreePainted(TCanvas& canvas);
  virtual bool DragQuery(PNTNode node, TColumnIndex column);
  virtual void BeforeCellPaint(TCanvas& canvas, PNTNode node, TColumnIndex column, TNTCellPaintMode mode,
                               const TRect& cellRect, TRect& contentRect);
  virtual void RowBackgroundColor(TCanvas& canvas, PNTNode node, const TRect& rect, TItemEraseAction& eraseMode,
                                  TColor& color);
  virtual bool NodePainting(TCanvas& canvas, PNTNode node, const TRect& rect);
  virtual void TreePainting(TCanvas& canvas);
  virtual void CancelCellEdit(TColumnIndex column);
  virtual bool EditQuery(PNTNode node, TColumnIndex column, bool allowed);
  virtual bool NodeEdgeResizeQuery(TPoint point, PNTNode node, TColumnIndex column);
  virtual void RestartClickTimer(PNTNode node);
  virtual void ApplyCheckState(PNTNode node, TCheckState state);
  virtual void NotifyChecked(PNTNode node);
  virtual bool CheckingQuery(PNTNode node, TCheckState& newState);
  virtual void NodeCollapsed(PNTNode node);
  virtual bool CollapsingQuery(PNTNode node);
  virtual void ColumnClicked(TColumnIndex column, TShiftState shift);
  virtual void ColumnFocused(TColumnIndex column, TShiftState shift);
  virtual void ColumnResized(TColumnIndex column);
  virtual int CompareRows(PNTNode node1, PNTNode node2, TColumnIndex column);
  virtual IDataObjectRef DataObjectCreate();
  virtual std::shared_ptr<INTDragManager> DragManagerCreate();
  virtual TNTEditLinkRef CreateCellEditor(PNTNode node, TColumnIndex column);
  virtual void LineImageDrawing(PNTNode node, int32_t level, int32_t& posX);
  virtual bool DragOverQuery(TObject* source, TShiftState shift, TDragState state, TPoint pt, TNTDropMode mode,
                             int32_t& effect);
  virtual void Dropped(TObject* source, IDataObject* dataObject, const std::vector<std::string>& formats,
                       TShiftState shift, TPoint pt, int32_t& effect, TNTDropMode mode);
  virtual void EndCellEdit(PNTNode node, TColumnIndex column);
  virtual void OperationEnded(TNTOperationKind kind);
  virtual void NodeExpanded(PNTNode node);
  virtual bool ExpandingQuery(PNTNode node);
  virtual void FocusMoved(PNTNode node, TColumnIndex column);
  virtual bool RememberFocusingRecord(PNTNode oldNode, PNTNode newNode, TColumnIndex oldColumn,
                                      TColumnIndex newColumn);
  // Frees what the tree keeps for the node; a class whose override releases
  // something of the node's own answers false from NodesReleaseInBulk.
  virtual void ReleaseNodeText(PNTNode node);
  // True when freeing a node asks nothing of this class beyond forgetting the
  // node's roles (no payload of its own to release): a whole flat list of
  // rows can then be freed without visiting each row. The base tree keeps
  // nothing per node; what a handler keeps, OnNodeFree frees (a tree with a
  // handler is never freed in bulk).
  virtual bool NodesReleaseInBulk() const { return true; }
  // Forgets the node in every role the tree keeps (focus, hot, input, ...).
  void ForgetNodeRoles(PNTNode node);
  // Adds children to a node one at a time, as a larger child count does, but
  // with the counting and the notification done once, in Finish: a list of
  // many rows is made while its source is read, each row filled as it is
  // made. Left without Finish (an exception), the counts are still set right.
  class TChildAppender {
   public:
    TChildAppender(TBaseNodeTree& tree, PNTNode parent);  // nil: the root
    TChildAppender(const TChildAppender&) = delete;
    TChildAppender& operator=(const TChildAppender&) = delete;
    ~TChildAppender();
    PNTNode Append();  // a new last child
    // A new last child whose user data the caller fills at once: answers the
    // data area, marked as set as GetNodeData marks it.
    void* AppendData();
    // The counts, heights and cache after the appended children, and the
    // automatic sort; Finish adds the repaint and the structure change.
    void Settle();
    void Finish();

   private:
    void count();  // the counts and heights of the appended children
    TBaseNodeTree& tree_;
    PNTNode parent_;
    Cardinal added_ = 0;
    Cardinal index_ = 0;
    uint64_t heights_ = 0;
    uint64_t top_ = 0;  // display position of the next child in a list made from nothing
    bool settled_ = false;
  };
  virtual void CursorQuery(TCursor& cursor);
  virtual void HeaderCursorQuery(TCursor& cursor);
  virtual TCustomImageList* CellImageIndex(PNTNode node, TNTImageKind kind, TColumnIndex column, bool& ghosted,
                                           int32_t& index);
  virtual void LinePatternQuery(std::array<Word, 8>& pattern);
  virtual void CellText(UnicodeString& text, int& kind);
  virtual void HeaderHintText(UnicodeString& text, int& kind);
  virtual int32_t NodeExtraWidth(PNTNode node, TColumnIndex column, TCanvas* canvas);
  virtual int32_t NodeWidth(PNTNode node, TColumnIndex column, TCanvas* canvas);
  virtual TPopupMenu* PopupMenuQuery(PNTNode node, TColumnIndex column, TPoint position);
  virtual void ClipboardFormatsQuery(std::vector<std::string>& formats);
  virtual void HeaderClicked(const TColumnHitInfo& hitInfo);
  virtual void HeaderDblClicked(const TColumnHitInfo& hitInfo);
  virtual void HeaderColumnMoved(TColumnIndex column, int32_t oldPosition);
  virtual void HeaderColumnDroppedOutside(TColumnIndex column, TPoint dropPoint);
  virtual bool HeaderColumnMoveQuery(TColumnIndex column);
  virtual void HeaderCellDraw(TCanvas& canvas, TColumnIndex column, const TRect& rect, bool hover, bool pressed,
                              TNTDropMarkMode dropMark);
  virtual void HeaderElementsQuery(THeaderPaintInfo& info, TColumnPaintParts& elements);
  virtual void HeaderButtonDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void HeaderPointerMove(TShiftState shift, int32_t x, int32_t y);
  virtual void HeaderButtonUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void HotNodeChanged(PNTNode oldNode, PNTNode newNode);
  virtual int SearchCompare(PNTNode node, const UnicodeString& text);
  virtual bool ChildrenInit(PNTNode node, Cardinal& childCount);
  virtual void NodeInit(PNTNode parent, PNTNode node, TNTNodeInitStates& initStates);
  virtual bool KeyPreview(Word& charCode, TShiftState& shift);
  virtual void LoadNodeData(PNTNode node, TStream& stream);
  virtual void NodeMeasure(TCanvas& canvas, PNTNode node, int32_t& nodeHeight);
  virtual void PointerEntered();
  virtual void PointerLeft();
  virtual void NodesInserted(PNTNode node);
  virtual bool NodeInsertQuery(PNTNode node, PNTNode target);
  virtual void NodeClicked(const THitInfo& hitInfo);
  virtual void NodeDblClicked(const THitInfo& hitInfo);
  virtual bool NodeHeightResetQuery(PNTNode node, TColumnIndex column, TShiftState shift, TPoint point);
  virtual bool NodeHeightTrack(PNTNode node, TColumnIndex column, TShiftState shift, TPoint& trackPoint,
                               TPoint point);
  virtual void NodeTransferred(PNTNode node);
  virtual bool NodeTransferQuery(PNTNode node, PNTNode target);
  virtual bool BackgroundPaint(TCanvas& canvas, const TRect& rect);
  virtual void ShowNodePopupMenu(PNTNode node, TColumnIndex column, TPoint position);
  virtual void NodeDeselected(PNTNode node);
  virtual HRESULT DataRender(const TFormatEtc& formatEtc, TStgMedium& medium, bool forClipboard);
  virtual void NodeReset(PNTNode node);
  virtual void SaveNodeData(PNTNode node, TStream& stream);
  virtual void Scrolled(int32_t deltaX, int32_t deltaY);
  virtual void ScrollBarShow(TScrollBarKind bar, bool show);
  virtual void OperationStarted(TNTOperationKind kind);
  virtual void ChangeTreeState(TNTTreeStates enter, TNTTreeStates leave);
  virtual void StructureChanged(PNTNode node, TChangeReason reason);
  virtual void UpdateStateChanged(TNTUpdateState state);
  virtual void NodeSelected(PNTNode node);
  // Runs once per batch of nodes that joined the selection, after the
  // selection count includes them.
  virtual void NodesAddedToSelection(const TNodeArray& added) { (void)added; }
  virtual int32_t NodeDataSizeQuery();
  virtual bool NodeMoving(PNTNode node, PNTNode target);
  virtual void NodeMoved(PNTNode node);
  virtual bool NodeCopying(PNTNode node, PNTNode target);
  virtual void NodeCopied(PNTNode node);
  virtual void SaveTree(TStream& stream);
  virtual void LoadTree(TStream& stream);
  virtual int HintKindQuery(PNTNode node, TColumnIndex column);
  virtual void HintDraw(TCanvas& canvas, PNTNode node, const TRect& rect, TColumnIndex column);
  virtual void HintSizeQuery(PNTNode node, TColumnIndex column, TRect& rect);
  virtual void ColumnWidthMeasuring(TColumnIndex column, bool& useSmartColumnWidth);
  virtual void ColumnWidthMeasured(TColumnIndex column, int32_t& maxWidth);

  // ---- header support
  // The widest content of a column over the nodes (smart: the displayed
  // ones only), between the column-width measuring and measured events.
  virtual int32_t GetMaxColumnWidth(TColumnIndex column, bool useSmartColumnWidth);
  // The header's main column changed.
  virtual void MainColumnChanged();
  // The tree's colour set.
  TNTColors& Colors() const;

  // ---- node life (protected in spirit; public so that helpers and tests
  // of derived trees can reach them)
  virtual PNTNode MakeNewNode();
  virtual void LinkNode(PNTNode node, PNTNode destination, TNTNodeAttachMode mode, TBaseNodeTree* target);
  virtual PNTNode UnlinkNode(PNTNode node, bool keepFocus, bool reindex);
  virtual void InitNode(PNTNode node);
  virtual void InitChildren(PNTNode node);
  Cardinal AllocateInternalDataArea(Cardinal size);
  virtual void NoteChange(bool structure, PNTNode node, TChangeReason reason = crIgnore);
  virtual void DoChange(PNTNode node);
  virtual void DoStructureChange(PNTNode node, TChangeReason reason);
  Cardinal CountVisibleDescendants(PNTNode node) const;
  void UpdateAllChildrenHidden(PNTNode node);
  void UpdateAllChildrenHiddenForAll();
  int LevelDifference(PNTNode node1, PNTNode node2) const;
  virtual bool BuildPositionCache();
  // Walks up to budget more nodes from the last valid entry; true when the
  // closing entry was written.
  bool BuildPositionCacheSlice(Cardinal budget);
  void ContinueValidation();
  virtual void InterruptValidation();
  virtual bool SetScrollOffset(TPoint value, TScrollUpdateOptions options = DefaultScrollUpdateFlags,
                               const TRect* clipRect = nullptr);
  using TAnimateCallback = std::function<bool(void* data, Cardinal step, Cardinal stepSize)>;
  void Animate(Cardinal steps, Cardinal duration, const TAnimateCallback& callback, void* data);
  bool HasImage(PNTNode node, TNTImageKind kind, TColumnIndex column);
  bool HasPopupMenu(PNTNode node, TColumnIndex column, TPoint pos);
  int32_t RightToLeftShift(bool ignoreScrollBar) const;
  // The horizontal scroll model. OffsetX (0 or negative) counts from the
  // edge the reading starts at: the left edge left to right, the right edge
  // right to left. EffectiveOffsetX is the scroll bar's position: the tree x
  // shown at the client's left edge.
  int32_t EffectiveOffsetFor(int32_t offsetX) const;
  int32_t OffsetForEffective(int32_t effectiveOffset) const;
  // Tree x (where the columns' AbsoluteLeft lives) of a client x in the
  // scrolled area, and back; right to left this takes in the shift that puts
  // columns narrower than the window against its right edge.
  int32_t ClientToTreeX(int32_t x) const;
  int32_t TreeToClientX(int32_t x) const;
  // The shift the rows and the header take right to left (0 left to right
  // or without columns).
  int32_t ColumnsShift() const;
  void GetClipboardFormatsList(std::vector<std::string>& formats);
  void NotifyDesigner() {}
  virtual void AdjustTotalCount(PNTNode node, int64_t value, bool relative = false);
  virtual void AdjustTotalHeight(PNTNode node, int64_t value, bool relative = false);
  void FreeNode(PNTNode node);
  // Focuses a node (nil or the root: none); with Ask the focus-changing
  // dispatcher may refuse.
  virtual void FocusNode(PNTNode node, bool ask = true);
  bool DoSetCheckState(PNTNode node, TCheckState value);
  virtual bool CheckParentCheckState(PNTNode node, TCheckState newCheckState);
  // Sets the check state and, when it changed, fires the checked dispatcher
  // (the way clicks, the Space key and propagation change check states).
  virtual bool DoCheckClick(PNTNode node, TCheckState newCheckState);
  void InternalRemoveFromSelection(PNTNode node);
  void InternalClearSelection();
  int32_t PackSelection();
  bool IsBeingDestroyed() const { return ComponentState().Contains(csDestroying); }
  bool IsLoading() const { return ComponentState().Contains(csLoading); }
  // Recomputes SubtreeCount and SubtreeHeight of the subtree from scratch
  // (the node's own height seeds its SubtreeHeight).
  void RecountSubtree(PNTNode node);
  Cardinal GetNodeTop(PNTNode node);

  // Called when a paint, auto, selection or misc option set changed.
  virtual void PaintOptionsChanged(TNTPaintOptions oldOptions, TNTPaintOptions newOptions);
  virtual void SelectionOptionsChanged(TNTSelectionOptions oldOptions, TNTSelectionOptions newOptions);
  virtual void MiscOptionsChanged(TNTMiscOptions oldOptions, TNTMiscOptions newOptions);
  virtual void AutoOptionsChanged(TNTAutoOptions oldOptions, TNTAutoOptions newOptions);


  // ---- window: messages, layout, scroll bars and painting
  // Each message the tree handles goes to the handler named after it.
  virtual void WMPaint(TMessage& message);
  virtual void WMSize(TMessage& message);
  virtual void WMSetFocus(TMessage& message);
  virtual void WMKillFocus(TMessage& message);
  virtual void WMEnable(TMessage& message);
  virtual void WMEraseBkgnd(TMessage& message);
  virtual void WMSetCursor(TMessage& message);
  virtual void WMGetObject(TMessage& message);
  virtual void WMContextMenu(TMessage& message);
  virtual void WMGetDlgCode(TMessage& message);
  virtual void WMHScroll(TMessage& message);
  virtual void WMVScroll(TMessage& message);
  virtual void WMTimer(TMessage& message);
  virtual void WMCancelMode(TMessage& message);
  virtual void WMChangeState(TMessage& message);
  virtual void WMPrintClient(TMessage& message);
  virtual void WMThemeChanged(TMessage& message);
  virtual void CMMouseWheel(TMessage& message);
  virtual void CMMouseEnter(TMessage& message);
  virtual void CMMouseLeave(TMessage& message);
  virtual void CMColorChanged(TMessage& message);
  virtual void CMFontChanged(TMessage& message);
  virtual void CMEnabledChanged(TMessage& message);
  virtual void CMSysColorChange(TMessage& message);
  virtual void CMBiDiModeChanged(TMessage& message);
  virtual void CMHintShowPause(TMessage& message);
  virtual void CMHintShow(TMessage& message);
  virtual void TVMGetItemRect(TMessage& message);
  virtual void TVMGetNextItem(TMessage& message);
  virtual void TVMGetItem(TMessage& message);
  // Key and mouse-button messages; the input handling fills them in.
  virtual void WMKeyDown(TMessage& message);
  virtual void WMKeyUp(TMessage& message);
  virtual void WMChar(TMessage& message);
  virtual void WMMouseMove(TMessage& message);
  virtual void WMLButtonDown(TMessage& message);
  virtual void WMLButtonUp(TMessage& message);
  virtual void WMLButtonDblClk(TMessage& message);
  virtual void WMRButtonDown(TMessage& message);
  virtual void WMRButtonUp(TMessage& message);
  virtual void WMRButtonDblClk(TMessage& message);
  virtual void WMMButtonDown(TMessage& message);
  virtual void WMMButtonUp(TMessage& message);
  virtual void WMMButtonDblClk(TMessage& message);
  // WM_CUT, WM_COPY, WM_PASTE and CM_DRAG (the data transfer fills them in).
  virtual void WMCut(TMessage& message);
  virtual void WMCopy(TMessage& message);
  virtual void WMPaste(TMessage& message);
  virtual void CMDrag(TMessage& message);
  // Sets the bounds of the scroll bar children and the header strip from the
  // control's size and which bars are shown.
  void LayoutWindow();
  // Placed on a parent the tree becomes a window of its own (UseWindowHost).
  void SetParent(TWinControl* parent) override;
  // The height of the header strip above the client area (0 when hidden).
  int32_t HeaderStripHeight() const;
  // The scroll bar children (nullptr without the window host).
  TScrollBar* ScrollBarControl(TScrollBarKind bar) const;
  // The client size the window leaves for the rows.
  TSize WindowClientSize() const;
  WPARAM WantedDialogCodes() const;
  bool WantTabs = false;
  Word HorizontalIncrement = 20;
  Word VerticalIncrement = 20;
  // Lines scrolled per wheel notch (the system's setting).
  int WheelScrollLines = 3;
  TCursor HotCursor = crDefault;
  Byte HintMode = 0;
  UnicodeString EmptyListMessage;

  // Paints the part Window (tree coordinates) of the tree at Target of the
  // canvas.
  virtual void PaintTree(TCanvas& target, const TRect& window, TPoint targetPos, TNTPaintElements options,
                         TPixelFormat pixelFormat = TPixelFormat::pfDevice);
  // The text of a node in a column, for queries from outside (the string
  // tree answers its text; the base has none).
  virtual UnicodeString NodeText(PNTNode node, TColumnIndex column);
  // The cell content (text) of one cell; the string tree paints its text here.
  virtual void PaintNode(TNTPaintInfo& info);
  // Fills the line-image array of a node; answers the number of its
  // ancestors that are selected.
  virtual int32_t GetLineImages(PNTNode node, TNTLineImage& images);
  virtual int32_t GetCheckImageIndex(PNTNode node, TCheckType checkType, bool enabled, TCheckState checkState,
                                     bool hot);
  // The check image list in use: the tree's own images (kind 6, or any kind
  // when set) or the shared list of CheckImageKind.
  TCustomImageList* CheckImageList() const;
  Byte CheckImageKind = 8;
  // The tree class as the clipboard format list knows it.
  virtual const TNodeTreeClass* TreeClass() const { return &BaseNodeTreeClass; }
  // The clipboard format names this tree offers.
  TClipboardFormats& ClipboardFormats();
  virtual void GetImageInfo(TNTPaintInfo& info, TNTImageKind kind, TCustomImageList* defaultImages,
                            TNTImageInfoIndex index);
  TSize ImageListSize(PNTNode node) const;
  void PlaceImageInRect(TCustomImageList* images, bool rightToLeft, int32_t vAlign, TRect& r, TNTImageInfo& info);
  virtual void DrawCheckImage(TCanvas& canvas, const TNTImageInfo& info, bool selected);
  virtual void DrawExpandButton(TCanvas& canvas, PNTNode node, bool rightToLeft, int32_t vAlign, int32_t buttonX,
                                const TRect& r);
  virtual void DrawNodeImage(TNTPaintInfo& info, TNTImageInfoIndex kind, bool doOverlay);
  virtual void DrawNodeLines(const TNTPaintInfo& info, int32_t vAlignment, int32_t indentSize,
                             const TNTLineImage& lineImages);
  virtual void DrawLineSegment(TCanvas& canvas, TNTLineType type, int32_t x, int32_t top, int32_t vAlign,
                               int32_t height, bool rightToLeft);
  virtual void DrawCellBackground(TNTPaintInfo& info);
  virtual void DrawGridLineH(const TNTPaintInfo& info, int32_t left, int32_t right, int32_t top);
  virtual void DrawGridLineV(const TNTPaintInfo& info, int32_t top, int32_t bottom, int32_t left,
                             bool useSelectedBackground);
  virtual void DrawDropMark(TCanvas& canvas, PNTNode node, const TRect& r);
  virtual void DrawRubberBand(TCanvas& canvas, int32_t windowOrgX, const TRect& selectionRect,
                              const TRect& targetRect);
  // The row background of a node (colour or full-row selection).
  virtual void PaintRowBackground(TCanvas& canvas, PNTNode node, const TRect& r, TNTPaintElements options);
  int32_t WidestNodeWidth();
  // The vertical position of buttons and lines inside a row of the node.
  int32_t NodeVAlign(PNTNode node) const;
  TNTDropMode DropMode = dmNowhere;
  TRect SelectionRect;  // the rubber band, tree coordinates
  Byte SelectionBlendFactor = 128;
  int32_t SelectionCurveRadius = 0;
  TColor SelectionColor() const;
  TColor SelectionBorderColor() const;

  // ---- look: background picture, buttons, tree lines, rubber band, frame
  // The picture behind the rows (poShowBackground): tiled from the offsets
  // and scrolling with the rows, or with poStaticBackground once at the
  // offsets of the window. Call BackgroundChanged after changing it.
  TPicture& Background() { return background_; }
  void BackgroundChanged();
  int32_t BackgroundOffsetX = 0;
  int32_t BackgroundOffsetY = 0;
  // 0 framed squares, 1 triangles.
  Byte ButtonStyle() const { return buttonStyle_; }
  void SetButtonStyle(Byte value);
  // Framed squares filled with 0 the tree colour, 1 the window colour, 3
  // nothing; 2 the "NT_XPBUTTON*" artwork.
  Byte ButtonFillMode() const { return buttonFillMode_; }
  void SetButtonFillMode(Byte value);
  // The button bitmaps: 0 plus, 1 minus, 2 hot plus, 3 hot minus.
  const TBitmap& ButtonBitmap(int kind);
  // 0 dotted tree lines, 1 bands in the grid line colour.
  Byte LineMode = 0;
  // The pattern of tree and grid lines: 1 dotted, 2 solid, any other value
  // asks LinePatternQuery for an 8 x 8 pattern (bit x of row y).
  Byte LineStyle() const { return lineStyle_; }
  void SetLineStyle(Byte value);
  // Drops the button bitmaps and the line pattern (after a change of the
  // line colour, the font or the theme); the next paint makes them again.
  void RebuildLineImages();
  TNTDrawSelectionMode DrawSelectionMode = smDottedRectangle;
  // The frame: a sunken edge (bsSingle with Ctl3D) or a line (without), the
  // bevels and a border of BorderWidth pixels in the border colour.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool value);
  TBevelKind BevelKind() const { return bevelKind_; }
  void SetBevelKind(TBevelKind value) { bevelKind_ = value; FrameChanged(); }
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value) { bevelInner_ = value; FrameChanged(); }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value) { bevelOuter_ = value; FrameChanged(); }
  TBevelEdges BevelEdges() const { return bevelEdges_; }
  void SetBevelEdges(TBevelEdges value) { bevelEdges_ = value; FrameChanged(); }
  int32_t BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int32_t value) { bevelWidth_ = std::max(1, value); FrameChanged(); }
  int32_t BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int32_t value) { borderWidth_ = std::max(0, value); FrameChanged(); }
  // The window frame changed: lay out and repaint.
  void FrameChanged();
  // The system frame (sunken edge or line) as negative insets.
  virtual TSize BorderInsets() const;
  // Thickness of the whole frame on each side (system frame, bevels, border).
  TRect FrameWidths() const;
  // Paints bevels and border (the system frame first) in window coordinates.
  virtual void DrawBorder(TCanvas& canvas);
  // The header strip in window coordinates; empty without width.
  virtual TRect ComputeHeaderRect() const;
  // How far the before-cell-paint step moves the content of a cell in:
  // side 0 both sides added, 1 left/top, 2 right/bottom.
  virtual TPoint CellContentInset(PNTNode node, TColumnIndex column, TPoint& margin, TCanvas& canvas, int side);
  // One step of a toggle's smooth scrolling on the request's surface;
  // always asks to go on.
  virtual bool ToggleAnimationStep(TToggleAnimationData& data, Cardinal step, Cardinal stepSize);
  // Blends r (tree canvas coordinates, clipped to clip) of the surface being
  // painted in the colour; a dotted or plain fallback when the surface is
  // not a 32-bit bitmap.
  void BlendRect(TCanvas& canvas, const TRect& r, const TRect& clip, TColor color, Byte alpha);
  virtual void WMNCDestroy(TMessage& message);
  virtual void WMPrint(TMessage& message);
  virtual void CMCtl3DChanged(TMessage& message);
 protected:
  // Class slots of the owned objects.
  virtual std::unique_ptr<TCustomNodeTreeOptions> CreateOptions();
  virtual std::unique_ptr<TNTHeader> CreateHeader();
  void InvalidateRect(const TRect* rect, bool erase);
  void StopTimer(int id);
  void EnsureNodeDataSize();
  void CreateRootNode();
  void DeleteNodeBlock(PNTNode node);
  PNTNode FindInPositionCache(PNTNode node, Cardinal& curPos);
  PNTNode FindInPositionCache(Cardinal position, Cardinal& curPos);
  void ExtendPositionCache(PNTNode node, Cardinal position);
  void ToggleCallback(PNTNode node);
  bool IsEffectivelyVisible(PNTNode node) const { return IsShownNode(node); }
  PNTNode NextVisibleRaw(PNTNode node, bool init, bool childrenAbove);
  PNTNode PreviousVisibleRaw(PNTNode node, bool init, bool childrenAbove);
  PNTNode NextRaw(PNTNode node, bool init, bool childrenAbove);
  PNTNode PreviousRaw(PNTNode node, bool init, bool childrenAbove);
  PNTNode LastRaw(PNTNode node, bool init, bool childrenAbove);
  PNTNode FirstRaw(PNTNode node, bool init, bool childrenAbove);
  bool ChildrenAbove(bool consider) const {
    return consider && options_->PaintOptions().Contains(poChildrenAbove);
  }
  void SetChildCountInternal(PNTNode node, Cardinal newChildCount);
  void InitIfNeeded(PNTNode node) {
    if (node && node != root_ && !node->Has(nsInitialized)) InitNode(node);
  }

  INodeTreeHost* host_;
  TNullNodeTreeHost nullHost_;
  std::unique_ptr<TNodeTreeWindowHost> windowHost_;
  // While a toggle is animated, the window shows this picture of the rows.
  TBitmap* animationSurface_ = nullptr;
  // Slides the rows below (children above: above) the node by change
  // pixels, down when expanding, up when collapsing, over AnimationDuration.
  void animateToggle(PNTNode node, int64_t change, bool expanding);
  std::unique_ptr<TCustomNodeTreeOptions> options_;
  std::unique_ptr<TNTHeader> header_;
  PNTNode root_ = nullptr;
  Cardinal defaultNodeHeight_ = 18;
  Cardinal indent_ = 18;
  int32_t margin_ = 4;
  int32_t textMargin_ = 4;
  Byte nodeAlignment_ = 2;
  Cardinal updateCount_ = 0;
  int32_t nodeDataSize_ = -1;
  Cardinal internalDataOffset_ = 0;
  TNTTreeStates states_;
  PNTNode focusedNode_ = nullptr;
  TColumnIndex focusedColumn_ = NoColumn;
  PNTNode hotNode_ = nullptr;
  PNTNode dropTargetNode_ = nullptr;
  PNTNode rangeAnchor_ = nullptr;
  PNTNode lastChangedNode_ = nullptr;
  PNTNode lastStructureChangeNode_ = nullptr;
  TChangeReason lastStructureChangeReason_ = crIgnore;
  PNTNode lastSelected_ = nullptr;
  PNTNode currentHotNode_ = nullptr;
  TColumnIndex editColumn_ = NoColumn;
  TCache positionCache_;
  Cardinal visibleCount_ = 0;
  Cardinal cacheValidCount_ = 0;
  // Every change that could move a displayed node (an invalidation of the
  // cache, a height change, a node linked, unlinked or freed) is counted, so
  // that what was worked out at one count is known to hold until the next.
  uint64_t displayChanges_ = 0;
  void noteDisplayChange() {
    ++displayChanges_;
    presetCacheState_ = TPresetCache::None;
  }
  // The position cache of a flat list that TChildAppender made under an
  // empty root, recorded while the rows were appended (their places are
  // known then), so that building the cache needs no walk over the rows.
  // Recording stops, and a recorded cache is dropped, on any display change.
  // Taken: the position cache holds it, and the build's slices take its
  // entries instead of walking.
  enum class TPresetCache : Byte { None, Recording, Ready, Taken };
  TCache presetCache_;
  TPresetCache presetCacheState_ = TPresetCache::None;
  bool takePresetCache(Cardinal regular);
  // The displayed descendants of the node expanded last, counted while it
  // was expanded and valid while displayChanges_ stays at the mark: its
  // collapse then needs no second pass over a large branch.
  PNTNode expandedNode_ = nullptr;
  Cardinal expandedShown_ = 0;
  uint64_t expandedMark_ = 0;
  TNodeArray selection_;
  Cardinal selectionCount_ = 0;
  TNodeArray tempNodeCache_;
  Cardinal checkChangeCount_ = 0;
  int32_t offsetX_ = 0;
  int32_t offsetY_ = 0;
  int32_t effectiveOffsetX_ = 0;
  int32_t rangeX_ = 0;
  int32_t rangeY_ = 0;
  int32_t bottomSpace_ = 0;
  TAlignment alignment_ = taLeftJustify;
  Cardinal operationCount_ = 0;
  bool operationCanceled_ = false;
  std::unique_ptr<TScrollBarOptions> scrollBarOptions_;
  TCustomImageList* images_ = nullptr;
  TCustomImageList* stateImages_ = nullptr;
  TCustomImageList* checkImages_ = nullptr;
  // Changes of the three lists repaint the tree; their destruction clears
  // the slot (free notification).
  TChangeLink imagesLink_, stateImagesLink_, checkImagesLink_;
  void attachImageList(TCustomImageList*& slot, TChangeLink& link, TCustomImageList* value);
  Byte lineStyle_ = 1;
  std::array<Word, 8> linePattern_{};
  bool linePatternBuilt_ = false;
  const std::array<Word, 8>& linePattern();
  void patternV(TCanvas& c, int32_t x, int32_t top, int32_t bottom);
  void patternH(TCanvas& c, int32_t y, int32_t left, int32_t right);
  mutable std::unique_ptr<TNTColors> colors_;

  // Window and painting state.
  TPoint clientOffsetForChildren() const override;
  void Paint() override;
  void paintHeaderStrip(TCanvas& canvas);
  void scrollBarScrolled(TScrollBarKind bar, TScrollCode code, Integer& pos);
  TScrollBar* scrollBars_[2] = {nullptr, nullptr};
  std::unique_ptr<TBitmap> rowBuffer_;
  std::unique_ptr<TClipboardFormats> clipboardFormats_;
  // Node blocks come from chunks of many blocks rather than one heap
  // allocation each.
  std::unique_ptr<struct TNodeBlockPool> nodePool_;
  TBitmap* buttonImages_[4] = {nullptr, nullptr, nullptr, nullptr};
  std::unique_ptr<TBitmap> buttonBitmaps_[4];
  void buildButtonImages();
  int32_t paintDepth_ = 0;
  TPicture background_;
  Byte buttonStyle_ = 0;
  Byte buttonFillMode_ = 0;
  bool buttonsBuilt_ = false;
  TBorderStyle borderStyle_ = bsSingle;
  bool ctl3D_ = true;
  TBevelKind bevelKind_ = bkNone;
  TBevelCut bevelInner_ = bvRaised;
  TBevelCut bevelOuter_ = bvLowered;
  TBevelEdges bevelEdges_ = {beLeft, beTop, beRight, beBottom};
  int32_t bevelWidth_ = 1;
  int32_t borderWidth_ = 0;
  // The 32-bit bitmap under the canvas PaintTree draws on (blending works on
  // its pixels), nullptr when unbuffered.
  TBitmap* paintSurface_ = nullptr;
  void paintBackgroundPicture(TCanvas& canvas, const TRect& r);
  bool showsBackgroundPicture() const {
    return options_->PaintOptions().Contains(poShowBackground) && background_.Graphic() &&
           !background_.Graphic()->Empty();
  }

 private:
  friend class TCustomNodeTreeOptions;
  // Node stream reading: the end of the innermost enclosing chunk and the
  // nesting depth (0 outside a read).
  Int64 streamReadLimit_ = 0;
  int32_t streamReadDepth_ = 0;
  static void registerLiveTree(TBaseNodeTree* tree, bool live);
  void moveIntoOtherTree(PNTNode source, TBaseNodeTree* targetTree, PNTNode target, TNTNodeAttachMode mode,
                         bool childrenOnly);
};

}  // namespace px
