// Keyboard input of the tree.
#include "ui/tree/NodeTrees.h"

namespace px {

void TBaseNodeTree::WMKeyDown(TMessage& message) { TCustomControl::WndProc(message); }
void TBaseNodeTree::WMKeyUp(TMessage& message) { TCustomControl::WndProc(message); }

void TBaseNodeTree::WMChar(TMessage& message) {
  if (states_.Contains(stIncrementalSearchPending)) {
    IncrementalSearch(static_cast<Word>(message.WParam));
    ChangeTreeState({}, {stIncrementalSearchPending});
  }
  TCustomControl::WndProc(message);
}

}  // namespace px
