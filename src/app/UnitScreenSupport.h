#pragma once
// What the users and history screens share: the small pictures of their
// buttons, drawn in code (16 x 16 pieces of one strip, at the indexes the
// screens' actions name), and the opening and closing of a password-guarded
// screen with a grid whose column layout is kept in the settings; with the
// count screen, the file names of the reports they show.
#include <string>

#include "platform/gui/ImgList.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {

constexpr Integer imgEdit = 7;
constexpr Integer imgAdd = 8;
constexpr Integer imgDelete = 9;
constexpr Integer imgSaveCSV = 10;

// Fills the list with the strip; pieces without a picture stay transparent.
void DrawScreenImages(TImageList& list);

// Puts the grid's column layout kept as settings list value layoutList in
// place, then asks for the settings password: a refused one beeps (1000 Hz,
// 100 ms) and hides the screen.
void OpenGuardedScreen(TControl* screen, TDataSetList* grid, Integer layoutList);
// Keeps the grid's column layout as settings list value layoutList.
void KeepGridLayout(TDataSetList* grid, Integer layoutList);

// The employee drop-downs: the list opens rows rows high and as wide as its
// widest item needs (within the screen), so that long names show whole
// and no sideways scroll bar takes a row's room.
void FitDropDownToItems(TQVRComboBox* combo, Integer rows);

// A report's file name made of user text: path separators would name a
// folder, so they become "_".
std::string FileNameSafe(std::string text);

// The characters of a text that the program's single-byte (Windows-1252)
// texts cannot hold, each once, separated by blanks; empty when all fit.
std::string CharactersNotStored(const std::string& text);
// Names, drawers and the company are stored and printed as single-byte
// text, where such characters would become "?": shows them in a message
// box and answers true when the text holds any, so that nothing is stored.
bool RefuseCharactersNotStored(const std::string& text);

}  // namespace px
