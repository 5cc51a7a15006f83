// The tree as drop target and drag source: where a drop goes, which effect
// to suggest, the drag manager that receives the platform's drag calls,
// starting a drag of the selection, and the class library's own drag.
#include <QPixmap>
#include <algorithm>

#include "platform/gui/ClipboardFormats.h"
#include "platform/gui/Forms.h"
#include "ui/tree/NodeTrees.h"
#include "ui/tree/NodeTreesTransfer.h"

namespace px {

namespace {

TShiftState shiftOfKeyState(int32_t keyState, const TNTTreeStates& states) {
  TShiftState shift;
  if (keyState & MK_SHIFT) shift.Include(ssShift);
  if (keyState & MK_CONTROL) shift.Include(ssCtrl);
  if (keyState & MK_ALT) shift.Include(ssAlt);
  if (states.Contains(stLeftButtonDown)) shift.Include(ssLeft);
  if (states.Contains(stMiddleButtonDown)) shift.Include(ssMiddle);
  if (states.Contains(stRightButtonDown)) shift.Include(ssRight);
  return shift;
}

}  // namespace

// ---------------------------------------------------------------------------
// TNTDragManager

TNTDragManager::TNTDragManager(TBaseNodeTree* tree) : ownerId_(NodeTreeId(tree)) {}

TNTDragManager::~TNTDragManager() = default;

HRESULT TNTDragManager::DragEnter(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) {
  dataObject_ = dataObject;
  isDropTarget_ = true;
  TBaseNodeTree* tree = Owner();
  if (!tree) {
    effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
  dragSourceId_ = NodeTreeId(tree->SourceTreeOfDataObject(dataObject));
  return tree->OLEDragEnter(keyState, pt, effect);
}

HRESULT TNTDragManager::DragOver(int32_t keyState, TPoint pt, int32_t& effect) {
  TBaseNodeTree* tree = Owner();
  if (!tree) {
    effect = DROPEFFECT_NONE;
    return E_UNEXPECTED;
  }
  return tree->OLEDragOver(GetDragSource(), keyState, dsDragMove, pt, effect);
}

HRESULT TNTDragManager::DragLeave() {
  if (TBaseNodeTree* tree = Owner()) tree->OLEDragLeave();
  isDropTarget_ = false;
  dragSourceId_ = 0;
  dataObject_ = nullptr;
  return S_OK;
}

HRESULT TNTDragManager::Drop(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) {
  TBaseNodeTree* tree = Owner();
  HRESULT result = E_UNEXPECTED;
  if (tree) result = tree->OLEDrop(dataObject, keyState, pt, effect);
  isDropTarget_ = false;
  dataObject_ = nullptr;
  return result;
}

HRESULT TNTDragManager::QueryContinueDrag(bool escapePressed, int32_t keyState) {
  const bool left = keyState & MK_LBUTTON, right = keyState & MK_RBUTTON;
  if (escapePressed || (left && right)) return DRAGDROP_S_CANCEL;
  if (!left && !right) return DRAGDROP_S_DROP;
  return S_OK;
}

HRESULT TNTDragManager::GiveFeedback(int32_t) { return DRAGDROP_S_USEDEFAULTCURSORS; }

IDataObjectRef TNTDragManager::GetDataObject() {
  if (dataObject_) return dataObject_;
  TBaseNodeTree* tree = Owner();
  if (!tree) return nullptr;
  if (IDataObjectRef custom = tree->DataObjectCreate()) return custom;
  return std::make_shared<TNTDataObject>(tree, false);
}

// ---------------------------------------------------------------------------
// The tree

INTDragManager* TBaseNodeTree::DragManager() {
  if (!dragManager_) {
    dragManager_ = DragManagerCreate();
    if (!dragManager_) dragManager_ = std::make_shared<TNTDragManager>(this);
  }
  return dragManager_.get();
}

TNTDragImage& TBaseNodeTree::DragImage() {
  if (!dragImage_) {
    dragImage_ = std::make_unique<TNTDragImage>(this);
    dragImage_->Fade = true;
    dragImage_->Transparency = 200;
  }
  return *dragImage_;
}

bool TBaseNodeTree::DragManagerReportsDragOver() {
  return dragManager_ && dragManager_->GetIsDropTarget();
}

void TBaseNodeTree::UpdateOLEDropRegistration() {
  QWidget* w = Widget();
  if (!w || !windowHost_) return;
  if (options_->MiscOptions().Contains(moAcceptOLEDrop)) {
    DragManager();
    if (auto target = std::dynamic_pointer_cast<IDropTarget>(dragManager_))
      RegisterDragDrop(w, target);
  } else {
    RevokeDragDrop(w);
  }
}

TPoint TBaseNodeTree::ScreenToTreeClient(TPoint p) const { return ScreenToClient(p) - clientOffsetForChildren(); }

TNTDropMode TBaseNodeTree::DetermineDropPosition(TPoint p, THitInfo& hitInfo, TRect& nodeRect) {
  const TNTMiscOptions misc = options_->MiscOptions();
  const THitPositions& at = hitInfo.HitPositions;
  const bool rowHit = at.Contains(hiOnItem) &&
                      (misc.Contains(moFullRowDrop) || options_->SelectionOptions().Contains(slFullRowSelect));
  const bool labelOrImage = at.Contains(hiOnItemLabel) || at.Contains(hiOnNormalIcon) || at.Contains(hiOnStateIcon);
  if (misc.Contains(moNodeOnMainColumnOnly) && !rowHit &&
      (!labelOrImage || hitInfo.HitColumn != header_->MainColumn()))
    hitInfo.HitNode = nullptr;
  if (!hitInfo.HitNode) return dmNowhere;
  if (!labelOrImage && options_->PaintOptions().Contains(poShowDropmark))
    return p.Y < (nodeRect.Top + nodeRect.Bottom) / 2 ? dmAbove : dmBelow;
  return dmOnNode;
}

int32_t TBaseNodeTree::ProposeDropEffect(TObject* source, TShiftState shift, TPoint, int32_t allowedEffects) {
  int32_t d = allowedEffects;
  if (source == this) {
    if (allowedEffects & DROPEFFECT_MOVE) d = DROPEFFECT_MOVE;
  } else if (allowedEffects & DROPEFFECT_COPY) {
    d = DROPEFFECT_COPY;
  }
  auto pick = [&](int32_t wanted) { return (allowedEffects & wanted) ? wanted : d; };
  const bool ctrl = shift.Contains(ssCtrl), sh = shift.Contains(ssShift), alt = shift.Contains(ssAlt);
  if (ctrl && sh) return pick(DROPEFFECT_LINK);
  if (ctrl) return pick(DROPEFFECT_COPY);
  if (sh) return pick(DROPEFFECT_MOVE);
  if (alt) return pick(DROPEFFECT_LINK);
  return d;
}

HRESULT TBaseNodeTree::OLEDragEnter(int32_t keyState, TPoint pt, int32_t& effect) {
  try {
    autoScrollStarted_ = false;
    autoScrollStart_ = 0;
    const TShiftState shift = shiftOfKeyState(keyState, states_);
    const TPoint p = ScreenToTreeClient(pt);
    TBaseNodeTree* source = DragManager()->GetDragSource();
    effect = ProposeDropEffect(source, shift, p, effect);
    if (DragOverQuery(source, shift, dsDragEnter, p, DropMode, effect)) {
      THitInfo hit;
      GetHitTestInfoAt(p.X, p.Y, true, hit);
      if (hit.HitNode) {
        dropTargetNode_ = hit.HitNode;
        const TRect r = GetDisplayRect(hit.HitNode, header_->MainColumn(), false);
        const bool onNode = hit.HitPositions.Contains(hiOnItemLabel) ||
                            (hit.HitPositions.Contains(hiOnItem) &&
                             (options_->MiscOptions().Contains(moFullRowDrop) ||
                              options_->SelectionOptions().Contains(slFullRowSelect)));
        DropMode = onNode ? dmOnNode : p.Y < (r.Top + r.Bottom) / 2 ? dmAbove : dmBelow;
      } else {
        DropMode = dmNowhere;
      }
    } else {
      effect = DROPEFFECT_NONE;
    }
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT TBaseNodeTree::OLEDragOver(TObject* source, int32_t keyState, TDragState state, TPoint pt,
                                   int32_t& effect) {
  try {
    const TPoint p = ScreenToTreeClient(pt);
    // The drag picture travels with the drag (the drag manager's helper), so
    // scrolling may update the whole window.
    const TNTScrollDirections directions = ComputeScrollDirections(p.X, p.Y);
    int32_t dx = 0, dy = 0;
    if (directions.Contains(sdUp) && offsetY_ < 0) dy = std::min<int32_t>(VerticalIncrement, ClientHeight());
    if (directions.Contains(sdDown) && ClientHeight() - offsetY_ < rangeY_)
      dy = -std::min<int32_t>(VerticalIncrement, ClientHeight());
    if (directions.Contains(sdLeft) && effectiveOffsetX_ > 0) dx = HorizontalIncrement;
    if (directions.Contains(sdRight) && ClientWidth() + effectiveOffsetX_ < rangeX_) dx = -HorizontalIncrement;
    // A larger offset shows more of the left right to left.
    if (UseRightToLeftAlignment()) dx = -dx;
    bool scrolled = false;
    if (dx != 0 || dy != 0) scrolled = SetScrollOffset({offsetX_ + dx, offsetY_ + dy}, DefaultScrollUpdateFlags);

    const TShiftState shift = shiftOfKeyState(keyState, states_);
    THitInfo hit;
    GetHitTestInfoAt(p.X, p.Y, true, hit);
    TRect r = hit.HitNode ? GetDisplayRect(hit.HitNode, NoColumn, false) : TRect{};
    const TNTDropMode newMode = DetermineDropPosition(p, hit, r);
    if (hit.HitNode != dropTargetNode_ || newMode != DropMode) {
      DropMode = newMode;
      if (hit.HitNode == dropTargetNode_) {
        if (hit.HitNode) InvalidateNode(hit.HitNode);
      } else {
        StopTimer(ExpandTimer);
        PNTNode old = dropTargetNode_;
        dropTargetNode_ = hit.HitNode;
        if (focusedColumn_ < 0) focusedColumn_ = header_->MainColumn();
        if (old) InvalidateNode(old);
        if (dropTargetNode_) InvalidateNode(dropTargetNode_);
        if (dropTargetNode_ && options_->AutoOptions().Contains(auDropExpand) &&
            dropTargetNode_->Has(nsHasChildren) && HandleAllocated())
          host_->StartTimer(ExpandTimer, AutoExpandDelay);
      }
    }
    if (HandleAllocated()) host_->UpdateWindow();
    effect = ProposeDropEffect(source, shift, p, effect);
    if (!DragOverQuery(source, shift, state, p, newMode, effect)) effect = DROPEFFECT_NONE;
    if (scrolled) effect |= DROPEFFECT_SCROLL;
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

void TBaseNodeTree::OLEDragLeave() {
  StopTimer(ExpandTimer);
  if (dropTargetNode_) InvalidateNode(dropTargetNode_);
  dropTargetNode_ = nullptr;
  if (HandleAllocated()) host_->UpdateWindow();
  int32_t effect = DROPEFFECT_NONE;
  DragOverQuery(nullptr, {}, dsDragLeave, {0, 0}, DropMode, effect);
}

HRESULT TBaseNodeTree::OLEDrop(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) {
  HRESULT result = S_OK;
  StopTimer(ExpandTimer);
  StopTimer(ScrollTimer);
  ChangeTreeState({}, {stScrollPending, stScrolling});
  TBaseNodeTree* source = DragManager()->GetDragSource();
  if (Failed(OLEDragOver(source, keyState, dsDragMove, pt, effect))) {
    result = E_FAIL;
  } else {
    effect &= ~DROPEFFECT_SCROLL;
    if (effect != DROPEFFECT_NONE) {
      try {
        const TShiftState shift = shiftOfKeyState(keyState, states_);
        const TPoint p = ScreenToTreeClient(pt);
        std::vector<std::string> formats;
        IEnumFORMATETCRef e;
        if (dataObject && dataObject->EnumFormatEtc(DATADIR_GET, e) == S_OK && e) {
          e->Reset();
          TFormatEtc etc;
          uint32_t fetched = 0;
          while (e->Next(1, &etc, &fetched) == S_OK && fetched == 1)
            formats.push_back(GetClipboardFormatName(etc.cfFormat));
        }
        Dropped(source, dataObject.get(), formats, shift, p, effect, DropMode);
      } catch (const std::exception& ex) {
        if (Application) Application->HandleException(ex);
        result = E_UNEXPECTED;
      }
    }
    if (result == S_OK && effect == DROPEFFECT_NONE) result = E_FAIL;
  }
  if (dropTargetNode_) InvalidateNode(dropTargetNode_);
  dropTargetNode_ = nullptr;
  return result;
}

void TBaseNodeTree::ExpandDropTarget() {
  StopTimer(ExpandTimer);
  if (dropTargetNode_ && HasChildren(dropTargetNode_) && !dropTargetNode_->Has(nsExpanded)) {
    ToggleNode(dropTargetNode_);
    if (HandleAllocated()) host_->UpdateWindow();
  }
}

void TBaseNodeTree::PrepareDragImage(TPoint hotSpot, const IDataObjectRef& dataObject) {
  if (!DragImageEnabled()) return;
  const int32_t w = std::max(1, DragWidth), h = std::max(1, DragHeight);
  // The drag size centred on the hot spot, in tree coordinates; what lies
  // before the tree's origin stays empty in the image.
  TRect source = Rect(ClientToTreeX(hotSpot.X) - w / 2, hotSpot.Y - offsetY_ - h / 2, 0, 0);
  source.Right = source.Left + w;
  source.Bottom = source.Top + h;
  TPoint clipped{0, 0};
  if (source.Left < 0) clipped.X = -source.Left, source.Left = 0;
  if (source.Top < 0) clipped.Y = -source.Top, source.Top = 0;
  TBitmap image(w, h, pf32bit);
  image.Canvas().Brush().SetColor(Color());
  image.Canvas().FillRect(Rect(0, 0, w, h));
  TNTPaintElements options{peSelectedOnly, peSelection};
  if (DragImageKind == diMainColumnOnly) options.Include(peMainColumnOnly);
  PaintTree(image.Canvas(), source, clipped, options, pf32bit);
  TNTDragImage& dragImage = DragImage();
  dragImage.ColorKey = Color();
  const TPoint imageHot{w / 2, h / 2};
  dragImage.PrepareDrag(image, ClientToScreen(hotSpot + clientOffsetForChildren()) - imageHot, imageHot, dataObject);
}

void TBaseNodeTree::StartOLEDrag(TPoint p) {
  CancelCellEdit();
  if (hotNode_) {
    InvalidateNode(hotNode_);
    hotNode_ = nullptr;
  }
  if (focusedNode_ && !focusedNode_->Has(nsSelected)) {
    InternalAddNodeToSelection(focusedNode_, false);
    InvalidateNode(focusedNode_);
  }
  if (HandleAllocated()) host_->UpdateWindow();
  dragSelection_ = GetSortedSelection(true);
  ChangeTreeState({stOLEDragging}, {stClearPending, stOLEDragPending});
  int32_t effect = DROPEFFECT_NONE;
  auto finish = [&] {
    if (dragImage_) dragImage_->EndDrag();
    if (effect == DROPEFFECT_MOVE && options_->AutoOptions().Contains(auDeleteMovedNodes)) DeleteSelectedNodes();
    ChangeTreeState({}, {stOLEDragging});
    dragSelection_.clear();
  };
  try {
    IDataObjectRef dataObject = DragManager()->GetDataObject();
    PrepareDragImage(p, dataObject);
    DropMode = dmOnNode;
    int32_t allowed = 0;
    if (DragOperations.Contains(doCopy)) allowed |= DROPEFFECT_COPY;
    if (DragOperations.Contains(doMove)) allowed |= DROPEFFECT_MOVE;
    if (DragOperations.Contains(doLink)) allowed |= DROPEFFECT_LINK;
    if (allowed == 0) allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    RunOLEDragLoop(allowed, dataObject, effect);
    DragManager()->ForceHelperLeave();
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TBaseNodeTree::RunOLEDragLoop(int32_t allowedEffects, const IDataObjectRef& dataObject, int32_t& effect) {
  effect = DROPEFFECT_NONE;
  QWidget* w = Widget();
  if (!w || !windowHost_) return;
  DragManager();
  auto dropSource = std::dynamic_pointer_cast<IDropSource>(dragManager_);
  QPixmap picture;
  TPoint hotSpot{0, 0};
  if (dragImage_ && dragImage_->States() & disPrepared) {
    picture = QPixmap::fromImage(dragImage_->ComposedImage());
    hotSpot = dragImage_->HotSpot();
  }
  DoDragDrop(w, dataObject, dropSource.get(), allowedEffects, effect, picture.isNull() ? nullptr : &picture, hotSpot);
}

void TBaseNodeTree::BeginDrag(bool immediate, int32_t threshold) {
  if (DragType == dtVCL) {
    if (threshold >= 0) DragThreshold = threshold;
    ChangeTreeState({immediate ? stVCLDragging : stVCLDragPending}, {});
    return;
  }
  if (states_.Contains(stOLEDragPending) || states_.Contains(stOLEDragging)) return;
  if (threshold >= 0) DragThreshold = threshold;
  if (immediate) {
    TPoint p = lastClickPos_;
    host_->CursorPos(p);
    StartOLEDrag(p);
  } else {
    ChangeTreeState({stOLEDragPending}, {});
  }
}

void TBaseNodeTree::BeginDragOperation(TPoint p) {
  if (states_.Contains(stOLEDragPending))
    StartOLEDrag(p);
  else
    BeginDrag(false);
}

// ---------------------------------------------------------------------------
// The class library's drag

void TBaseNodeTree::FinishVCLDrag() {
  if (!states_.Contains(stOLEDragging) && !states_.Contains(stVCLDragging) && !states_.Contains(stVCLDragPending) &&
      !states_.Contains(stVCLDragFinished))
    return;
  const bool right = states_.Contains(stRightButtonDown), middle = states_.Contains(stMiddleButtonDown);
  ChangeTreeState({}, {stDragObjectGiven, stVCLDragging, stVCLDragPending, stVCLDragFinished});
  TPoint p{0, 0};
  host_->CursorPos(p);
  TMessage up{right ? WM_RBUTTONUP : middle ? WM_MBUTTONUP : WM_LBUTTONUP, 0,
              static_cast<LPARAM>((static_cast<uint32_t>(static_cast<uint16_t>(p.Y)) << 16) |
                                  static_cast<uint16_t>(p.X)),
              0};
  Perform(up.Msg, up.WParam, up.LParam);
}

void TBaseNodeTree::CMDrag(TMessage& m) {
  auto* rec = reinterpret_cast<TDragRec*>(m.LParam);
  if (!rec || rec->Docking) {
    TCustomControl::WndProc(m);
    return;
  }
  const TPoint p = ScreenToTreeClient(rec->Pos);
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) shift.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) shift.Include(ssAlt);
  switch (static_cast<TDragMessage>(m.WParam)) {
    case dmDragEnter:
    case dmDragLeave:
    case dmDragMove: {
      const auto message = static_cast<TDragMessage>(m.WParam);
      TDragState state = dsDragMove;
      if (message == dmDragEnter) {
        ChangeTreeState({stVCLDragging}, {});
        state = dsDragEnter;
      } else if (message == dmDragLeave) {
        ChangeTreeState({stVCLDragFinished}, {stVCLDragging});
        state = dsDragLeave;
      } else {
        CheckAutoScroll(p.X, p.Y);
      }
      int32_t effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
      THitInfo hit;
      GetHitTestInfoAt(p.X, p.Y, true, hit);
      TRect r = hit.HitNode ? GetDisplayRect(hit.HitNode, NoColumn, false) : TRect{};
      const TNTDropMode mode = state == dsDragLeave ? dmNowhere : DetermineDropPosition(p, hit, r);
      const bool accepted = DragOverQuery(rec->Source, shift, state, p, mode, effect);
      if (hit.HitNode != dropTargetNode_) {
        if (dropTargetNode_) InvalidateNode(dropTargetNode_);
        dropTargetNode_ = state == dsDragLeave ? nullptr : hit.HitNode;
        if (dropTargetNode_) InvalidateNode(dropTargetNode_);
      }
      DropMode = mode;
      lastVCLDropTarget_ = dropTargetNode_;
      lastDropEffect_ = accepted ? effect : DROPEFFECT_NONE;
      if (state == dsDragLeave) {
        if (dropTargetNode_) InvalidateNode(dropTargetNode_);
        dropTargetNode_ = nullptr;
      }
      m.Result = lastDropEffect_ != DROPEFFECT_NONE ? 1 : 0;
      break;
    }
    case dmDragDrop: {
      if (dropTargetNode_) InvalidateNode(dropTargetNode_);
      dropTargetNode_ = lastVCLDropTarget_;
      auto clear = [&] {
        if (dropTargetNode_) InvalidateNode(dropTargetNode_);
        dropTargetNode_ = nullptr;
        lastVCLDropTarget_ = nullptr;
      };
      try {
        int32_t effect = lastDropEffect_;
        Dropped(rec->Source, nullptr, {}, shift, p, effect, DropMode);
      } catch (...) {
        clear();
        throw;
      }
      clear();
      break;
    }
    case dmFindTarget:
      m.Result = reinterpret_cast<LRESULT>(static_cast<TControl*>(this));
      if (states_.Contains(stVCLDragPending))
        ChangeTreeState({stVCLDragging}, {stClearPending, stEditPending, stVCLDragPending});
      break;
    default:
      TCustomControl::WndProc(m);
      break;
  }
}

}  // namespace px
