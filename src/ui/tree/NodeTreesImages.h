#pragma once
// The shared pictures of all trees: image lists cut from the artwork strips
// (square images side by side, the colour at pixel (0, 0) transparent), the
// check images the style draws, and the splitter cursors.
#include <string>

#include "platform/gui/ImgList.h"

namespace px {

// Cuts the strip resource into the list; a missing or empty resource is an
// assertion failure naming it.
void LoadInternalImages(TCustomImageList& list, const std::string& resourceName);
// The shared list of a strip resource, loaded on first use.
TCustomImageList* SharedTreeImages(const std::string& resourceName);
// The check image list of a check image kind: 0-5 the artwork strips
// ("NT_CHECK_LIGHT", "NT_CHECK_DARK", "NT_TICK_LIGHT", "NT_TICK_DARK",
// "NT_FLAT", "NT_XP"), 7 and 8 the style's flat and normal check frames;
// nullptr for 6 (the tree's own images).
TCustomImageList* CheckImageListOfKind(int kind);
// Fills the cursor slots of the header and row splitters.
void LoadTreeCursors();

}  // namespace px
