#include "ui/tree/NodeTreesHeaderTree.h"

#include <algorithm>
#include <utility>

#include "ui/tree/NodeTrees.h"

namespace px {

void TBaseNodeTree::MainColumnChanged() {
  if (HandleAllocated()) host_->InvalidateRect(nullptr, false);
}

TNTColors& TBaseNodeTree::Colors() const {
  if (!colors_) colors_ = std::make_unique<TNTColors>(const_cast<TBaseNodeTree*>(this));
  return *colors_;
}

}  // namespace px

namespace px::headertree {

namespace {

// The tree's focused column is set directly when columns go away: the
// setter would ask the focus hooks, which refuse "no column".
struct FocusAccess : TBaseNodeTree {
  static constexpr TColumnIndex TBaseNodeTree::*Focused = &FocusAccess::focusedColumn_;
};

TNTHeader& headerOf(const TBaseNodeTree* tree) { return tree->Header(); }

}  // namespace

bool Loading(const TBaseNodeTree* tree) { return tree->ComponentState().Contains(csLoading); }
bool Designing(const TBaseNodeTree* tree) { return tree->ComponentState().Contains(csDesigning); }
bool Destroying(const TBaseNodeTree* tree) { return tree->ComponentState().Contains(csDestroying); }
bool ReadingOrWriting(const TBaseNodeTree* tree) {
  return tree->ComponentState().Contains(csReading) || tree->ComponentState().Contains(csWriting);
}
bool Updating(const TBaseNodeTree* tree) { return tree->UpdateCount() > 0; }
bool WindowCreating(const TBaseNodeTree* tree) { return tree->TreeStates().Contains(stWindowCreating); }
bool Themed(const TBaseNodeTree* tree) { return tree->TreeStates().Contains(stThemed); }
bool ExplorerThemed(const TBaseNodeTree* tree) { return tree->TreeStates().Contains(stExplorerThemed); }

bool HandleAllocated(const TBaseNodeTree* tree) { return tree->HandleAllocated(); }
int32_t ClientWidth(const TBaseNodeTree* tree) { return tree->ClientWidth(); }
int32_t ClientHeight(const TBaseNodeTree* tree) { return tree->ClientHeight(); }
int32_t ControlWidth(const TBaseNodeTree* tree) { return tree->Width(); }
int32_t EffectiveOffsetX(const TBaseNodeTree* tree) { return tree->EffectiveOffsetX(); }
int32_t RangeX(const TBaseNodeTree* tree) { return tree->RangeX(); }
int32_t RangeY(const TBaseNodeTree* tree) { return tree->RangeY(); }
int32_t Indent(const TBaseNodeTree* tree) { return static_cast<int32_t>(tree->Indent()); }
bool UseRightToLeftAlignment(const TBaseNodeTree* tree) { return tree->UseRightToLeftAlignment(); }
int32_t RightToLeftShift(const TBaseNodeTree* tree) { return tree->RightToLeftShift(false); }
int32_t VerticalScrollBarWidth(const TBaseNodeTree* tree) { return tree->Host().ScrollBarSize(sbVertical); }
bool HasBevel(const TBaseNodeTree*) { return false; }
TPoint ClientToScreen(const TBaseNodeTree* tree, TPoint p) { return tree->ClientToScreen(p); }

TBiDiMode BiDiMode(const TBaseNodeTree* tree) {
  return tree->UseRightToLeftAlignment() ? bdRightToLeft : bdLeftToRight;
}
TColor Color(const TBaseNodeTree* tree) { return tree->Color(); }
bool Enabled(const TBaseNodeTree* tree) { return tree->Enabled(); }
const TFont& Font(const TBaseNodeTree* tree) { return const_cast<TBaseNodeTree*>(tree)->Font(); }
const TFont& HeaderFont(const TBaseNodeTree* tree) { return headerOf(tree).Font(); }
TColor HeaderHotColor(const TBaseNodeTree* tree) { return tree->Colors().Get(TNTColors::HeaderHotColor); }
bool AutoSort(const TBaseNodeTree* tree) { return tree->Options().AutoOptions().Contains(auSort); }
bool HeaderHeightFromFont(const TBaseNodeTree* tree) {
  return tree->Options().AutoOptions().Contains(auHeaderHeightFromFont);
}
bool ExtendedFocus(const TBaseNodeTree* tree) {
  return tree->Options().SelectionOptions().Contains(slExtendedFocus);
}

TSize CheckImageSize(const TBaseNodeTree* tree) {
  if (const TCustomImageList* images = tree->CheckImages()) return {images->Width(), images->Height()};
  return {16, 16};
}

void PaintCheckImage(TBaseNodeTree* tree, TCanvas& canvas, TPoint pos, TCheckType type, TCheckState state,
                     bool enabled) {
  (void)tree;
  // A plain box (round for radio buttons) with a tick, a dot or a mixed mark.
  const TSize size{16, 16};
  TRect box(pos.X + 2, pos.Y + 2, pos.X + size.cx - 2, pos.Y + size.cy - 2);
  const TBrushData brush = canvas.Brush().Data();
  const TPenData pen = canvas.Pen().Data();
  canvas.Pen().SetColor(enabled ? clWindowText : clGrayText);
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(enabled ? clWindow : clBtnFace);
  if (type == ctRadioButton)
    canvas.Ellipse(box);
  else
    canvas.Rectangle(box);
  const bool checked = state == csCheckedNormal || state == csCheckedPressed;
  const bool mixed = state == csMixedNormal || state == csMixedPressed;
  canvas.Brush().SetColor(enabled ? clWindowText : clGrayText);
  if (checked && type == ctRadioButton) {
    canvas.Ellipse(TRect(box.Left + 3, box.Top + 3, box.Right - 3, box.Bottom - 3));
  } else if (checked) {
    canvas.MoveTo(box.Left + 2, box.Top + 6);
    canvas.LineTo(box.Left + 5, box.Bottom - 3);
    canvas.LineTo(box.Right - 2, box.Top + 2);
  } else if (mixed) {
    canvas.FillRect(TRect(box.Left + 3, box.Top + 3, box.Right - 3, box.Bottom - 3));
  }
  canvas.Brush().SetColor(brush.Color);
  canvas.Brush().SetStyle(brush.Style);
  canvas.Pen().SetColor(pen.Color);
}

void InvalidateWindowRect(TBaseNodeTree* tree, const TRect& r) {
  if (tree->HandleAllocated()) tree->Host().InvalidateRect(&r, false);
}
void InvalidateTree(TBaseNodeTree* tree) {
  if (tree->HandleAllocated()) tree->Host().InvalidateRect(nullptr, false);
}
void UpdateWindow(TBaseNodeTree* tree) {
  if (tree->HandleAllocated()) tree->Host().UpdateWindow();
}
void StartTimer(TBaseNodeTree* tree, int id, Cardinal ms) { tree->Host().StartTimer(id, ms); }
void StopTimer(TBaseNodeTree* tree, int id) { tree->Host().StopTimer(id); }
void SetCapture(TBaseNodeTree* tree) { tree->Host().SetCapture(); }
void ReleaseCapture(TBaseNodeTree* tree) { tree->Host().ReleaseCapture(); }
void SetCursor(TBaseNodeTree* tree, TCursor cursor) { tree->Host().SetCursor(cursor); }
TCursor TreeCursor(const TBaseNodeTree* tree) { return tree->Cursor(); }
bool CursorPos(const TBaseNodeTree* tree, TPoint& p) { return tree->Host().CursorPos(p); }
void ScrollWindowStrip(TBaseNodeTree* tree, int32_t dx, const TRect& r) { tree->Host().ScrollContents(dx, 0, &r); }
void FillWindowStrip(TBaseNodeTree* tree, const TRect& r, TColor) { tree->Host().InvalidateRect(&r, false); }
// The frame, the header strip or the scroll bars changed: the client area is
// measured again, and the scroll bars follow its new size at once.
void FrameChanged(TBaseNodeTree* tree) {
  if (!tree->HandleAllocated()) return;
  tree->FrameChanged();
  InvalidateTree(tree);
}
void RecreateWindow(TBaseNodeTree* tree) { FrameChanged(tree); }
TScrollSettingsRef ScrollSettings(const TBaseNodeTree* tree) {
  auto* t = const_cast<TBaseNodeTree*>(tree);
  return {t->ScrollBars, t->AlwaysVisibleScrollBars, t->HorizontalIncrement, t->VerticalIncrement};
}
void RedrawFrame(TBaseNodeTree* tree) { FrameChanged(tree); }
void RebuildLineImages(TBaseNodeTree* tree) { tree->RebuildLineImages(); }

void CancelEdit(TBaseNodeTree* tree) { tree->CancelEditNode(); }
TColumnIndex FocusedColumn(const TBaseNodeTree* tree) { return tree->FocusedColumn(); }
void SetFocusedColumn(TBaseNodeTree* tree, TColumnIndex column) {
  if (column < 0)
    tree->*FocusAccess::Focused = column;
  else
    tree->SetFocusedColumn(column);
}
void MainColumnChanged(TBaseNodeTree* tree) { tree->MainColumnChanged(); }
void RefreshHorzScrollBar(TBaseNodeTree* tree) { tree->UpdateHorizontalScrollBar(false); }
void ColumnResized(TBaseNodeTree* tree, TColumnIndex column) { tree->ColumnResized(column); }
void NotifyDesigner(TBaseNodeTree* tree) { tree->NotifyDesigner(); }
void Sort(TBaseNodeTree* tree, TColumnIndex column, TSortDirection direction) {
  tree->SortTree(column, direction, true);
}
void UpdateHeaderRect(TBaseNodeTree* tree) { FrameChanged(tree); }

void ToggleColumnCheckState(TBaseNodeTree*, TNodeTreeColumn* column) {
  // Boxes flip between checked and unchecked (a mixed box becomes checked),
  // a radio button becomes checked, a button stays as it is.
  const TCheckState s = column->CheckState();
  const bool checked = s == csCheckedNormal || s == csCheckedPressed;
  switch (column->CheckType()) {
    case ctCheckBox:
    case ctTriStateCheckBox:
      column->SetCheckState(checked ? csUncheckedNormal : csCheckedNormal);
      break;
    case ctRadioButton:
      column->SetCheckState(csCheckedNormal);
      break;
    default:
      break;
  }
}

int32_t GetMaxColumnWidth(TBaseNodeTree* tree, TColumnIndex column, bool smart) {
  return tree->GetMaxColumnWidth(column, smart);
}
void BeginOperation(TBaseNodeTree* tree) { tree->BeginOperation(okAutoFitColumns); }
void EndOperation(TBaseNodeTree* tree) { tree->EndOperation(okAutoFitColumns); }
bool OperationCanceled(const TBaseNodeTree* tree) { return tree->OperationCanceled(); }
void CancelHints(TBaseNodeTree*) {
  if (Application) Application->CancelHint();
}
void StopScrollAndEditTimers(TBaseNodeTree* tree) {
  tree->Host().StopTimer(ScrollTimer);
  tree->Host().StopTimer(EditTimer);
  tree->ChangeTreeState({}, {stScrollPending, stScrolling, stEditPending});
}
// The application's hint cycle takes over, as over any control: the tree
// answers its hint questions for the header's columns.
void ShowHint(TBaseNodeTree* tree, TPoint p) {
  if (Application) Application->HintMouseMessage(tree, p);
}
void ShowPopupMenu(TBaseNodeTree* tree, TPopupMenu* menu, TPoint screenPoint) {
  menu->SetPopupComponent(tree);
  menu->Popup(screenPoint.X, screenPoint.Y);
}
int32_t DragThreshold(const TBaseNodeTree*) { return 4; }

void HeaderClicked(TBaseNodeTree* tree, const TColumnHitInfo& info) { tree->HeaderClicked(info); }
void HeaderDblClicked(TBaseNodeTree* tree, const TColumnHitInfo& info) { tree->HeaderDblClicked(info); }
bool ColumnSizingQuery(TBaseNodeTree* tree, TPoint p, TColumnIndex column, bool allowed) {
  TNTHeader& h = headerOf(tree);
  if (h.OnColumnSizingQuery) h.OnColumnSizingQuery(&h, p, column, allowed);
  return allowed;
}
bool HasHeaderCellDraw(const TBaseNodeTree* tree) { return static_cast<bool>(tree->OnHeaderCellDraw); }
bool HasAdvancedHeaderDraw(const TBaseNodeTree* tree) {
  return tree->OnHeaderElementsQuery && tree->OnHeaderDrawElements;
}
void HeaderCellDraw(TBaseNodeTree* tree, TCanvas& canvas, TNodeTreeColumn* column, const TRect& r, bool hover,
                    bool pressed, TNTDropMarkMode dropMark) {
  tree->HeaderCellDraw(canvas, column->Index(), r, hover, pressed, dropMark);
}
void HeaderElementsQuery(TBaseNodeTree* tree, THeaderPaintInfo& info, TColumnPaintParts& parts) {
  tree->HeaderElementsQuery(info, parts);
}
void HeaderDrawElements(TBaseNodeTree* tree, THeaderPaintInfo& info, TColumnPaintParts parts) {
  tree->HeaderDrawElements(info, parts);
}
void HeaderColumnMoved(TBaseNodeTree* tree, TColumnIndex column, TColumnPosition oldPosition) {
  tree->HeaderColumnMoved(column, static_cast<int32_t>(oldPosition));
}
void HeaderColumnDroppedOutside(TBaseNodeTree* tree, TColumnIndex column, TPoint screenPoint) {
  tree->HeaderColumnDroppedOutside(column, screenPoint);
}
bool HeaderColumnMoveQuery(TBaseNodeTree* tree, TColumnIndex column) { return tree->HeaderColumnMoveQuery(column); }
void HeaderButtonDown(TBaseNodeTree* tree, TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  tree->HeaderButtonDown(button, shift, x, y);
}
void HeaderButtonUp(TBaseNodeTree* tree, TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  tree->HeaderButtonUp(button, shift, x, y);
}
void HeaderPointerMove(TBaseNodeTree* tree, TShiftState shift, int32_t x, int32_t y) {
  tree->HeaderPointerMove(shift, x, y);
}
void HeaderCursorQuery(TBaseNodeTree* tree, TCursor& cursor) { tree->HeaderCursorQuery(cursor); }

// The header hooks' events live on the header.
namespace {

template <class Event, class... Args>
void raise(TBaseNodeTree* tree, Event TNTHeader::*event, Args&&... args) {
  TNTHeader& h = headerOf(tree);
  if (h.*event) (h.*event)(&h, std::forward<Args>(args)...);
}

// Events whose last parameter is the answer, preset to "allowed".
template <class Event, class... Args>
bool ask(TBaseNodeTree* tree, Event TNTHeader::*event, Args&&... args) {
  bool allowed = true;
  raise(tree, event, std::forward<Args>(args)..., allowed);
  return allowed;
}

}  // namespace

void AfterAutoFitColumn(TBaseNodeTree* tree, TColumnIndex column) {
  raise(tree, &TNTHeader::OnAfterAutoFitColumn, column);
}
void AfterAutoFitColumns(TBaseNodeTree* tree) { raise(tree, &TNTHeader::OnAfterAutoFitColumns); }
void AfterColumnWidthTracking(TBaseNodeTree* tree, TColumnIndex column) {
  raise(tree, &TNTHeader::OnAfterColumnWidthTracking, column);
}
void AfterHeightTracking(TBaseNodeTree* tree) { raise(tree, &TNTHeader::OnAfterHeightTracking); }
bool BeforeAutoFitColumn(TBaseNodeTree* tree, TColumnIndex column, int& smartType) {
  return ask(tree, &TNTHeader::OnBeforeAutoFitColumn, column, smartType);
}
void BeforeAutoFitColumns(TBaseNodeTree* tree, int& smartType) {
  raise(tree, &TNTHeader::OnBeforeAutoFitColumns, smartType);
}
void BeforeColumnWidthTracking(TBaseNodeTree* tree, TColumnIndex column, TShiftState shift) {
  raise(tree, &TNTHeader::OnBeforeColumnWidthTracking, column, shift);
}
void BeforeHeightTracking(TBaseNodeTree* tree, TShiftState shift) {
  raise(tree, &TNTHeader::OnBeforeHeightTracking, shift);
}
void CanSplitterResize(TBaseNodeTree* tree, TPoint p, bool& allowed) {
  raise(tree, &TNTHeader::OnCanSplitterResize, p, allowed);
}
bool ColumnWidthDblClickResize(TBaseNodeTree* tree, TColumnIndex column, TShiftState shift, TPoint p) {
  return ask(tree, &TNTHeader::OnColumnWidthDblClickResize, column, shift, p);
}
bool ColumnWidthTracking(TBaseNodeTree* tree, TColumnIndex column, TShiftState shift, TPoint& trackPoint,
                         TPoint p) {
  return ask(tree, &TNTHeader::OnColumnWidthTracking, column, shift, trackPoint, p);
}
TPopupMenu* GetPopupMenu(TBaseNodeTree* tree, TColumnIndex column, TPoint p) {
  TPopupMenu* menu = nullptr;
  raise(tree, &TNTHeader::OnGetPopupMenu, column, p, menu);
  return menu;
}
bool HeightTracking(TBaseNodeTree* tree, TPoint& p, TShiftState shift) {
  return ask(tree, &TNTHeader::OnHeightTracking, p, shift);
}
bool HeightDblClickResize(TBaseNodeTree* tree, TPoint& p, TShiftState shift) {
  return ask(tree, &TNTHeader::OnHeightDblClickResize, p, shift);
}

}  // namespace px::headertree
