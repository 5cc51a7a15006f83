#pragma once
// The data model of the tree control: the node block, the node and tree state
// sets, the option sets, the position cache and the small records the tree's
// operations pass around.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Geometry.h"
#include "platform/core/Sets.h"
#include "platform/core/Types.h"

namespace px {

class TBaseNodeTree;

// ---------------------------------------------------------------------------
// Node states (16 bits, kept in the node block)
using TNTNodeStates = uint16_t;
enum TNTNodeState : uint16_t {
  nsInitialized = 0x0001,
  nsChecking = 0x0002,
  nsCutCopyMarked = 0x0004,
  nsDisabled = 0x0008,
  nsDeleting = 0x0010,
  nsExpanded = 0x0020,
  nsHasChildren = 0x0040,
  nsVisible = 0x0080,
  nsSelected = 0x0100,
  nsDataSet = 0x0200,
  nsAllChildrenHidden = 0x0400,
  nsClearingChildren = 0x0800,
  nsMultiline = 0x1000,
  nsHeightMeasured = 0x2000,
  nsToggling = 0x4000,
  nsFilteredOut = 0x8000,
};

enum TCheckState : uint8_t {
  csUncheckedNormal,
  csUncheckedPressed,
  csCheckedNormal,
  csCheckedPressed,
  csMixedNormal,
  csMixedPressed
};
enum TCheckType : uint8_t { ctNone, ctTriStateCheckBox, ctCheckBox, ctRadioButton, ctButton };

// One block per node, zero-filled when allocated. The fixed part is followed
// by the internal areas of derived trees and then the user data, which starts
// on a boundary suitable for any object.
struct TNTNode {
  Cardinal Index;          // position among the siblings, 0-based
  Cardinal ChildCount;     // number of child blocks that exist
  Word NodeHeight;         // pixels
  TNTNodeStates States;
  Byte Alignment;          // button/line position, percent of the height
  Byte CheckState;         // TCheckState
  Byte CheckType;          // TCheckType
  Byte Dummy;
  Cardinal SubtreeCount;   // 1 + all descendants
  Cardinal SubtreeHeight;  // own height + visible children's, while expanded
  TNTNode* Parent;
  TNTNode* PrevSibling;
  TNTNode* NextSibling;
  TNTNode* FirstChild;
  TNTNode* LastChild;

  bool Has(TNTNodeStates s) const { return (States & s) != 0; }
  void Include(TNTNodeStates s) { States = static_cast<TNTNodeStates>(States | s); }
  void Exclude(TNTNodeStates s) { States = static_cast<TNTNodeStates>(States & ~s); }
  // The start of the node's data areas (internal areas, then user data).
  Byte* Data() { return reinterpret_cast<Byte*>(this + 1); }
};
using PNTNode = TNTNode*;

// Alignment of the user data; also the granularity of the fixed part.
constexpr size_t NodeDataAlignment = alignof(std::max_align_t);
static_assert(sizeof(TNTNode) % NodeDataAlignment == 0, "node fixed part must keep the data aligned");
constexpr Cardinal TreeNodeSize = static_cast<Cardinal>(sizeof(TNTNode));

// Initial states answered by the init event.
enum TNTNodeInitState { isDisabled, isExpanded, isHasChildren, isMultiline, isSelected, isFilteredOut, isReInit };
using TNTNodeInitStates = TSet<TNTNodeInitState>;

// ---------------------------------------------------------------------------
// Tree states (64 bits)
enum TNTTreeState {
  stCancelAnimation = 0,
  stChangePending = 1,
  stCheckPropagation = 2,
  stCollapsing = 3,
  stToggleOnRelease = 4,
  stClearPending = 5,
  stClipboardFlushing = 6,  // the tree is releasing the clipboard itself
  stCopyPending = 7,
  stCutPending = 8,
  stDrawSelPending = 9,
  stDrawSelecting = 10,
  stEditing = 11,
  stEditPending = 12,
  stExpanding = 13,
  stNodeHeightTracking = 14,
  stNodeHeightTrackPending = 15,
  stHintShown = 16,
  stAnimating = 17,
  stIncrementalSearching = 18,
  stIncrementalSearchPending = 19,
  stIterating = 20,
  stKeyCheckPending = 21,
  stLeftButtonDown = 22,
  stLeftDblClick = 23,
  stMouseCheckPending = 24,
  stMiddleButtonDown = 25,
  stMiddleDblClick = 26,
  stNeedRootCountUpdate = 27,
  stOLEDragging = 28,
  stOLEDragPending = 29,
  stPainting = 30,
  stRightButtonDown = 31,
  stRightDblClick = 32,
  stPopupShown = 33,
  stScrolling = 34,
  stScrollPending = 35,
  stSizing = 36,
  stStopValidation = 37,
  stStructureChangePending = 38,
  stChangeImmediate = 39,
  stThumbTracking = 40,
  stSuspendScroll = 41,        // SetScrollOffset leaves the window contents alone
  stUpdating = 42,             // inside an update bracket
  stDeferScrollBars = 43,      // scroll bar updates are skipped
  stCacheValid = 44,
  stDragObjectGiven = 45,
  stThemed = 46,
  stValidating = 47,
  stToggling = 48,             // full expand/collapse: no animation, no per-node repaint
  stValidationNeeded = 49,
  stVCLDragging = 50,
  stVCLDragPending = 51,
  stVCLDragFinished = 52,
  stWheelPanning = 53,
  stWheelScrolling = 54,
  stWindowCreating = 55,
  stExplorerThemed = 56,
  stVisibilityChanged = 57,    // node visibility changed inside an update bracket
  stClearing = 58,             // the selection is being cleared
};
using TNTTreeStates = TSet<TNTTreeState>;

// ---------------------------------------------------------------------------
// Options
enum TTreePaintOption {
  poHideFocusRect,
  poHideSelection,
  poHotTrack,
  poPopupMode,
  poShowBackground,
  poShowButtons,
  poShowDropmark,
  poShowHorzGridLines,
  poShowRoot,
  poShowTreeLines,
  poShowVertGridLines,
  poUseThemes,
  poUseBlendedImages,
  poFocusRepaintsFocusedOnly,
  poAlwaysHideSelection,
  poHotIgnoresSelection,
  poUseBlendedSelection,
  poStaticBackground,
  poChildrenAbove,
  poFixedIndent,
  poExplorerTheme,
  poHideTreeLinesIfThemed,
  poShowFilteredNodes,
  // With poShowVertGridLines: the column lines run on below the last node.
  poFullVertGridLines,
};
using TNTPaintOptions = TSet<TTreePaintOption>;

enum TTreeAnimationOption { aoAnimatedToggle, aoAdvancedAnimatedToggle };
using TNTAnimationOptions = TSet<TTreeAnimationOption>;

enum TTreeAutoOption {
  auDropExpand,
  auExpand,
  auScroll,
  auScrollOnExpand,
  auSort,
  auSpanColumns,
  auTristateTracking,
  auChangeScale,
  auDeleteMovedNodes,
  auNoScrollOnFocus,
  auHeaderHeightFromFont,
  auFreeOnCollapse,
  auNoHorzScrollOnEdit,
  auBidiColumnOrdering,
};
using TNTAutoOptions = TSet<TTreeAutoOption>;

enum TTreeSelectionOption {
  slDisableDrawSelection,
  slExtendedFocus,
  slFullRowSelect,
  slLevelSelectConstraint,
  slMiddleClickSelect,
  slMultiSelect,
  slRightClickSelect,
  slSiblingSelectConstraint,
  slCenterScrollIntoView,
  slSelectionOverNodes,
  slAlwaysSelectNode,
  // A string tree remembers the texts of its selected nodes and selects
  // nodes with those texts again as they are added after a rebuild.
  slRestoreSelection,
};
using TNTSelectionOptions = TSet<TTreeSelectionOption>;

enum TTreeMiscOption {
  moAcceptOLEDrop,
  moCheckSupport,
  moEditable,
  moFullRepaintOnResize,
  moGridExtensions,
  moInitOnSave,
  moNodeOnMainColumnOnly,
  moToggleOnDblClick,
  moWheelPanning,
  moReadOnly,
  moVariableNodeHeight,
  moFullRowDrop,
  moNodeHeightResize,
  moNodeHeightDblClickReset,
  moEditOnClick,
  moEditOnDblClick,
  moCtrlShiftKeysOnColumns,
};
using TNTMiscOptions = TSet<TTreeMiscOption>;

constexpr uint64_t DefaultPaintOptions = 0x1B60;
constexpr uint64_t DefaultAnimationOptions = 0;
constexpr uint64_t DefaultAutoOptions = 0x0559;
constexpr uint64_t DefaultSelectionOptions = 0;
constexpr uint64_t DefaultMiscOptions = 0x41A9;

// ---------------------------------------------------------------------------
// Columns, hits, caches, notifications

using TColumnIndex = int32_t;
constexpr TColumnIndex NoColumn = -1;
constexpr TColumnIndex InvalidColumn = -2;

enum TSortDirection { sdAscending, sdDescending };

// Where a point lies relative to the nodes.
enum THitPosition {
  hiAbove,
  hiBelow,
  hiNowhere,
  hiOnItem,
  hiOnItemButton,
  hiOnItemButtonExact,
  hiOnItemCheckbox,
  hiOnItemIndent,
  hiOnItemLabel,
  hiOnItemLeft,
  hiOnItemRight,
  hiOnNormalIcon,
  hiOnStateIcon,
  hiToLeft,
  hiToRight,
  hiUpperSplitter,
  hiLowerSplitter,
};
using THitPositions = TSet<THitPosition>;

struct THitInfo {
  PNTNode HitNode = nullptr;
  THitPositions HitPositions;
  TColumnIndex HitColumn = NoColumn;
  THitPositions HitPositionsColumn;
};

// Node linking modes.
enum TNTNodeAttachMode : Byte { amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast };

// Reasons of a structure change.
enum TChangeReason : Byte {
  crIgnore = 0,
  crAccumulated = 1,
  crChildAdded = 2,
  crChildDeleted = 3,
  crNodeAdded = 4,
  crNodeCopied = 5,
  crNodeMoved = 6,
};

// States passed to the updating event.
enum TNTUpdateState : Byte { usBegin = 0, usBeginSynch = 1, usSynch = 2, usUpdate = 3, usEnd = 4, usEndSynch = 5 };

// Scroll update options of SetScrollOffset.
enum TScrollUpdateOption : Byte {
  suoRepaintHeader = 1,
  suoRepaintScrollBars = 2,
  suoScrollClientArea = 4,
  suoUpdateNCArea = 8,
};
using TScrollUpdateOptions = Byte;
constexpr TScrollUpdateOptions DefaultScrollUpdateFlags = 15;

enum TNTOperationKind : Byte { okAutoFitColumns = 1, okGetMaxColumnWidth = 1, okSortNode = 2, okSortTree = 3 };

enum TNTImageKind { ikNormal, ikSelected, ikState, ikOverlay };

struct TCacheEntry {
  PNTNode Node = nullptr;
  Cardinal AbsoluteTop = 0;
};
using TCache = std::vector<TCacheEntry>;
using TNodeArray = std::vector<PNTNode>;

// One cache entry for every CacheThreshold-th visible node.
constexpr Cardinal CacheThreshold = 2000;

// Timers of the tree (ids as the window knows them).
enum TNTTimer : int {
  ExpandTimer = 1,
  EditTimer = 2,
  HeaderTimer = 3,
  ScrollTimer = 4,
  ChangeTimer = 5,
  StructureChangeTimer = 6,
  SearchTimer = 7,
  ThemeChangeTimer = 8,
  ValidateTimer = 9,  // the next slice of the position cache build
};

// ---------------------------------------------------------------------------
// Errors

class ENodeTreeError : public Exception {
 public:
  ENodeTreeError(std::string message, int helpContext) : Exception(std::move(message)), HelpContext(helpContext) {}
  int HelpContext;
};

constexpr int hcTFEditLinkIsNil = 2000;
constexpr int hcTFWrongMoveError = 2001;
constexpr int hcTFWrongStreamFormat = 2002;
constexpr int hcTFWrongStreamVersion = 2003;
constexpr int hcTFStreamTooSmall = 2004;
constexpr int hcTFCorruptStream1 = 2005;
constexpr int hcTFCorruptStream2 = 2006;
constexpr int hcTFClipboardFailed = 2007;
constexpr int hcTFCannotSetUserData = 2008;

// Raises ENodeTreeError with the message and the number as help context.
[[noreturn]] void ShowError(const std::string& msg, int helpContext);

}  // namespace px
