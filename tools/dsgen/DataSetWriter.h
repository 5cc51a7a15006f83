#pragma once
// Writer of the current binary dataset stream format, for tables made at
// build time. The program itself only reads the format.
#include <string>

#include "data/UnitDataSet.h"

namespace px::dsgen {

std::string EncodeDataSet(const TMemDataSet& table);

}  // namespace px::dsgen
