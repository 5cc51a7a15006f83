#pragma once
// The component tree of the main window as text, one line a component, for
// `pxtool app tree`: two blanks per depth, then tab-separated name, class,
// left,top,width,height (to the parent), x,y (to the window's top-left, menu
// bar included), visible 1/0, enabled 1/0 and text (tabs, line feeds and
// backslashes escaped as \t, \n and \\). Menu items and category buttons are
// listed under their menu and bar; a grid (a string tree) lists its header
// columns (caption, width, visible) and then its rows (the texts of the shown
// columns in position order, tab-separated), placed to the grid's top-left.
#include <ostream>

namespace px {

class TForm;

void PrintWindowTree(std::ostream& out, TForm* form);

}  // namespace px
