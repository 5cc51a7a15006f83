#pragma once
// The small pictures of the users and history screens' buttons, drawn in
// code: 16 x 16 pieces of one strip, at the indexes the screens' actions
// name.
#include "platform/gui/ImgList.h"

namespace px {

constexpr Integer imgEdit = 7;
constexpr Integer imgAdd = 8;
constexpr Integer imgDelete = 9;
constexpr Integer imgSaveCSV = 10;

// Fills the list with the strip; pieces without a picture stay transparent.
void DrawScreenImages(TImageList& list);

}  // namespace px
