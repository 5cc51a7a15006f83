// Key and mouse-button messages of the tree. Until the input handling (hit
// positions, selection, keyboard navigation) replaces these bodies they keep
// the button states the rest of the tree reads and hand the message to the
// inherited handling, which raises the control's key and mouse events.
#include "ui/tree/NodeTrees.h"

namespace px {

void TBaseNodeTree::WMKeyDown(TMessage& m) { TCustomControl::WndProc(m); }
void TBaseNodeTree::WMKeyUp(TMessage& m) { TCustomControl::WndProc(m); }
void TBaseNodeTree::WMChar(TMessage& m) { TCustomControl::WndProc(m); }
void TBaseNodeTree::WMMouseMove(TMessage& m) { TCustomControl::WndProc(m); }

void TBaseNodeTree::WMLButtonDown(TMessage& m) {
  ChangeTreeState({stLeftButtonDown}, {});
  if (CanFocus() && !Focused()) SetFocus();
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMLButtonUp(TMessage& m) {
  ChangeTreeState({}, {stNodeHeightTracking, stNodeHeightTrackPending, stLeftButtonDown});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMLButtonDblClk(TMessage& m) {
  ChangeTreeState({stLeftDblClick}, {});
  TCustomControl::WndProc(m);
  ChangeTreeState({}, {stLeftDblClick});
}

void TBaseNodeTree::WMRButtonDown(TMessage& m) {
  ChangeTreeState({stRightButtonDown}, {});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMRButtonUp(TMessage& m) {
  ChangeTreeState({}, {stRightButtonDown, stPopupShown});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMRButtonDblClk(TMessage& m) {
  ChangeTreeState({stRightDblClick}, {});
  TCustomControl::WndProc(m);
  ChangeTreeState({}, {stRightDblClick});
}

void TBaseNodeTree::WMMButtonDown(TMessage& m) {
  ChangeTreeState({stMiddleButtonDown}, {});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMMButtonUp(TMessage& m) {
  ChangeTreeState({}, {stMiddleButtonDown});
  TCustomControl::WndProc(m);
}

void TBaseNodeTree::WMMButtonDblClk(TMessage& m) {
  ChangeTreeState({stMiddleDblClick}, {});
  TCustomControl::WndProc(m);
  ChangeTreeState({}, {stMiddleDblClick});
}

}  // namespace px
