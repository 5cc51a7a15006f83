// Mouse input of the tree.
#include "ui/tree/NodeTrees.h"

namespace px {

void TBaseNodeTree::WMMouseMove(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMLButtonDown(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMLButtonUp(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMLButtonDblClk(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMRButtonDown(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMRButtonUp(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMRButtonDblClk(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMMButtonDown(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMMButtonUp(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMMButtonDblClk(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::LocateHitInNodeLTR(THitInfo&, int32_t, int32_t, TAlignment) {}
void TBaseNodeTree::LocateHitInNodeRTL(THitInfo&, int32_t, int32_t, TAlignment) {}

TCheckState TBaseNodeTree::NextCheckStateOf(TCheckType checkType, TCheckState checkState) {
  switch (checkType) {
    case ctTriStateCheckBox:
    case ctCheckBox: return checkState == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton: return csCheckedNormal;
    case ctButton: return csUncheckedNormal;
    default: return csMixedNormal;
  }
}

bool TBaseNodeTree::ParentCheckStateFor(PNTNode node, TCheckState newCheckState) {
  return CheckParentCheckState(node, newCheckState);
}
void TBaseNodeTree::MouseButtonDown(TMessage&, THitInfo&) {}
void TBaseNodeTree::MouseButtonDblClick(TMessage&, const THitInfo&) {}
void TBaseNodeTree::MouseButtonUp(TMessage&, const THitInfo&) {}
void TBaseNodeTree::UpdateHotTrack(int32_t, int32_t) {}
TNTScrollDirections TBaseNodeTree::ComputeScrollDirections(int32_t, int32_t) { return {}; }
void TBaseNodeTree::CheckAutoScroll(int32_t, int32_t) {}
void TBaseNodeTree::AutoScrollStep() { StopTimer(ScrollTimer); }
bool TBaseNodeTree::AutoScrollApplies() { return false; }
void TBaseNodeTree::BeginPanning(TPoint) {}
void TBaseNodeTree::EndPanning() {}
void TBaseNodeTree::UpdatePanningCursor(int32_t, int32_t) {}
bool TBaseNodeTree::NodeEdgeResizable(TPoint, PNTNode, TColumnIndex) { return false; }
bool TBaseNodeTree::UpdateSelectionRect(int32_t, int32_t) { return false; }
bool TBaseNodeTree::HandleDrawSelection(const TRect&, const TRect&) { return false; }
bool TBaseNodeTree::DragAllowed(const THitInfo&) { return false; }
void TBaseNodeTree::BeginDragOperation(TPoint) {}
TShiftState TBaseNodeTree::MouseShift(const TMessage&) { return {}; }
void TBaseNodeTree::HandleMouseDownMessage(TMessage&) {}
void TBaseNodeTree::HandleMouseUpMessage(TMessage&) {}
void TBaseNodeTree::HandleMouseDblClkMessage(TMessage&) {}
void TBaseNodeTree::selectionChangeNotify(Cardinal) {}
TRect TBaseNodeTree::rubberBandRect() const { return SelectionRect; }

}  // namespace px
