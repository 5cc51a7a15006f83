#pragma once
// The description of a simulated scale in a text file, for the program's
// --simulated-scale option. One statement a line; "#" starts a comment:
//   variant 2              product id: 1 (no results) or 2
//   protocol 4             protocol version (package slots need 4)
//   table 1 EUR            currency table 1, 2 or 3; the slots below fill it
//   slot 1 200 0 85000     slot number, value in hundredths, slot type
//                          (0 coin, 1 banknote, 2 coin package, 3 banknote
//                          package), weight in 1/10000 g, optional pieces per
//                          package and version
//   current EUR            the currency of the counting result
//   count 1 12             pieces counted in a slot of the current currency
// resources/scale-sample.txt is a complete example.
#include <string>

#include "device/scalesim/ScaleSimulator.h"

namespace px {

struct TScaleFile {
  Integer Variant = 2;
  Cardinal Protocol = 4;
  TScaleSimulator::Table Tables[3];
  std::string Current = "EUR";
  Integer Counts[64] = {};
};

// Raises EConvertError "<file>:<line>: <reason>" for a malformed line and
// EFOpenError when the file cannot be read.
TScaleFile ReadScaleFile(const std::string& fileName);
// Puts tables, current currency and counts into the simulator.
void ApplyScaleFile(const TScaleFile& file, TScaleSimulator& scale);

}  // namespace px
