#pragma once
// What the header and its columns ask of their tree, in one place: the tree's
// state and geometry, its window (through the tree's host), its events and
// the few operations the column rules start. Internal to the header files.
#include <string>

#include "platform/gui/Controls.h"
#include "platform/gui/Graphics.h"
#include "platform/gui/Menus.h"
#include "platform/gui/ScrollBars.h"
#include "ui/tree/NodeTreesColumns.h"

namespace px {

class TBaseNodeTree;
class TNTHeader;

namespace headertree {

// Component states.
bool Loading(const TBaseNodeTree* tree);
bool Designing(const TBaseNodeTree* tree);
bool Destroying(const TBaseNodeTree* tree);
bool ReadingOrWriting(const TBaseNodeTree* tree);
bool Updating(const TBaseNodeTree* tree);  // the tree's update count is above 0
bool WindowCreating(const TBaseNodeTree* tree);
bool Themed(const TBaseNodeTree* tree);
bool ExplorerThemed(const TBaseNodeTree* tree);

// Geometry.
bool HandleAllocated(const TBaseNodeTree* tree);
int32_t ClientWidth(const TBaseNodeTree* tree);
int32_t ClientHeight(const TBaseNodeTree* tree);
int32_t ControlWidth(const TBaseNodeTree* tree);
int32_t EffectiveOffsetX(const TBaseNodeTree* tree);
int32_t RangeX(const TBaseNodeTree* tree);
int32_t RangeY(const TBaseNodeTree* tree);
int32_t Indent(const TBaseNodeTree* tree);
bool UseRightToLeftAlignment(const TBaseNodeTree* tree);
int32_t RightToLeftShift(const TBaseNodeTree* tree);
int32_t VerticalScrollBarWidth(const TBaseNodeTree* tree);
bool HasBevel(const TBaseNodeTree* tree);
TPoint ClientToScreen(const TBaseNodeTree* tree, TPoint p);

// Looks.
TBiDiMode BiDiMode(const TBaseNodeTree* tree);
TColor Color(const TBaseNodeTree* tree);
bool Enabled(const TBaseNodeTree* tree);
const TFont& Font(const TBaseNodeTree* tree);
const TFont& HeaderFont(const TBaseNodeTree* tree);
TColor HeaderHotColor(const TBaseNodeTree* tree);
bool AutoSort(const TBaseNodeTree* tree);
bool HeaderHeightFromFont(const TBaseNodeTree* tree);
bool ExtendedFocus(const TBaseNodeTree* tree);
// Check images of the tree: size, and painting one (type, enabled, state).
TSize CheckImageSize(const TBaseNodeTree* tree);
void PaintCheckImage(TBaseNodeTree* tree, TCanvas& canvas, TPoint pos, TCheckType type, TCheckState state,
                     bool enabled);

// Window (through the tree's host).
void InvalidateWindowRect(TBaseNodeTree* tree, const TRect& r);  // window coordinates: header above y 0
void InvalidateTree(TBaseNodeTree* tree);
void UpdateWindow(TBaseNodeTree* tree);
void StartTimer(TBaseNodeTree* tree, int id, Cardinal ms);
void StopTimer(TBaseNodeTree* tree, int id);
void SetCapture(TBaseNodeTree* tree);
void ReleaseCapture(TBaseNodeTree* tree);
void SetCursor(TBaseNodeTree* tree, TCursor cursor);
TCursor TreeCursor(const TBaseNodeTree* tree);
bool CursorPos(const TBaseNodeTree* tree, TPoint& p);
// Scrolls the strip r of the window by dx (the animated column resize).
void ScrollWindowStrip(TBaseNodeTree* tree, int32_t dx, const TRect& r);
void FillWindowStrip(TBaseNodeTree* tree, const TRect& r, TColor color);
void RecreateWindow(TBaseNodeTree* tree);
// The tree's scroll bar settings, which its scroll bar options show.
struct TScrollSettingsRef {
  TSet<TScrollBarKind>& Bars;
  bool& AlwaysVisible;
  Word& HorizontalIncrement;
  Word& VerticalIncrement;
};
TScrollSettingsRef ScrollSettings(const TBaseNodeTree* tree);
void RedrawFrame(TBaseNodeTree* tree);
void RebuildLineImages(TBaseNodeTree* tree);

// Operations.
void CancelEdit(TBaseNodeTree* tree);
TColumnIndex FocusedColumn(const TBaseNodeTree* tree);
void SetFocusedColumn(TBaseNodeTree* tree, TColumnIndex column);
void MainColumnChanged(TBaseNodeTree* tree);
void RefreshHorzScrollBar(TBaseNodeTree* tree);
void ColumnResized(TBaseNodeTree* tree, TColumnIndex column);
void NotifyDesigner(TBaseNodeTree* tree);
void Sort(TBaseNodeTree* tree, TColumnIndex column, TSortDirection direction);
void UpdateHeaderRect(TBaseNodeTree* tree);
void ToggleColumnCheckState(TBaseNodeTree* tree, TNodeTreeColumn* column);
int32_t GetMaxColumnWidth(TBaseNodeTree* tree, TColumnIndex column, bool smart);
void BeginOperation(TBaseNodeTree* tree);
void EndOperation(TBaseNodeTree* tree);
bool OperationCanceled(const TBaseNodeTree* tree);
void CancelHints(TBaseNodeTree* tree);
void StopScrollAndEditTimers(TBaseNodeTree* tree);
void ShowHint(TBaseNodeTree* tree, TPoint p);
void ShowPopupMenu(TBaseNodeTree* tree, TPopupMenu* menu, TPoint screenPoint);
int32_t DragThreshold(const TBaseNodeTree* tree);

// Events (each does nothing, or answers the default, without a handler).
void HeaderClicked(TBaseNodeTree* tree, const TColumnHitInfo& info);
void HeaderDblClicked(TBaseNodeTree* tree, const TColumnHitInfo& info);
bool ColumnSizingQuery(TBaseNodeTree* tree, TPoint p, TColumnIndex column, bool allowed);
bool HasHeaderCellDraw(const TBaseNodeTree* tree);
bool HasAdvancedHeaderDraw(const TBaseNodeTree* tree);
void HeaderCellDraw(TBaseNodeTree* tree, TCanvas& canvas, TNodeTreeColumn* column, const TRect& r, bool hover,
                    bool pressed, TNTDropMarkMode dropMark);
void HeaderElementsQuery(TBaseNodeTree* tree, THeaderPaintInfo& info, TColumnPaintParts& parts);
void HeaderDrawElements(TBaseNodeTree* tree, THeaderPaintInfo& info, TColumnPaintParts parts);
void HeaderColumnMoved(TBaseNodeTree* tree, TColumnIndex column, TColumnPosition oldPosition);
void HeaderColumnDroppedOutside(TBaseNodeTree* tree, TColumnIndex column, TPoint screenPoint);
bool HeaderColumnMoveQuery(TBaseNodeTree* tree, TColumnIndex column);
void HeaderButtonDown(TBaseNodeTree* tree, TMouseButton button, TShiftState shift, int32_t x, int32_t y);
void HeaderButtonUp(TBaseNodeTree* tree, TMouseButton button, TShiftState shift, int32_t x, int32_t y);
void HeaderPointerMove(TBaseNodeTree* tree, TShiftState shift, int32_t x, int32_t y);
void HeaderCursorQuery(TBaseNodeTree* tree, TCursor& cursor);

// The header hooks' events.
void AfterAutoFitColumn(TBaseNodeTree* tree, TColumnIndex column);
void AfterAutoFitColumns(TBaseNodeTree* tree);
void AfterColumnWidthTracking(TBaseNodeTree* tree, TColumnIndex column);
void AfterHeightTracking(TBaseNodeTree* tree);
bool BeforeAutoFitColumn(TBaseNodeTree* tree, TColumnIndex column, int& smartType);
void BeforeAutoFitColumns(TBaseNodeTree* tree, int& smartType);
void BeforeColumnWidthTracking(TBaseNodeTree* tree, TColumnIndex column, TShiftState shift);
void BeforeHeightTracking(TBaseNodeTree* tree, TShiftState shift);
void CanSplitterResize(TBaseNodeTree* tree, TPoint p, bool& allowed);
bool ColumnWidthDblClickResize(TBaseNodeTree* tree, TColumnIndex column, TShiftState shift, TPoint p);
bool ColumnWidthTracking(TBaseNodeTree* tree, TColumnIndex column, TShiftState shift, TPoint& trackPoint, TPoint p);
TPopupMenu* GetPopupMenu(TBaseNodeTree* tree, TColumnIndex column, TPoint p);
bool HeightTracking(TBaseNodeTree* tree, TPoint& p, TShiftState shift);
bool HeightDblClickResize(TBaseNodeTree* tree, TPoint& p, TShiftState shift);

}  // namespace headertree
}  // namespace px
