#pragma once
// What several command groups share: the GUI application of the commands
// that need widgets, and the reading of a dataset file in either format.
#include <string>

#include "data/UnitDataSet.h"

class QApplication;

namespace px::pxtool {

// The one application of the run; offscreen unless the caller asked for a
// platform. Qt's own notes stay off stderr, which carries only the
// command's messages.
QApplication& guiApplication();

// A dataset file in the current stream format (found by its magic, when no
// key is given) or the old one, deciphered with key when given.
IMemDataSet loadDatasetFile(const std::string& file, const std::string& key);

}  // namespace px::pxtool
