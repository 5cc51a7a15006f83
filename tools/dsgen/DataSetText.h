#pragma once
// A table as tab-separated text, for pxtool and the build's generators: a
// first line of field-spec items (Name:astr, ID:int#) joined by tabs, then
// one line per record. Null values are empty; integers decimal; Single and
// Double in shortest round-trip form; Currency with four decimals; Boolean
// True/False; GUIDs braced; text as UTF-8 with \t, \n and \\ escaped.
#include <iosfwd>
#include <string>
#include <string_view>

#include "data/UnitDataSet.h"

namespace px::dstext {

void WriteTable(std::ostream& out, const TMemDataSet& table);
// A text as one field of that format: \t, \n and \\ escaped.
std::string Escape(std::string_view text);
// Raises EConvertError "Line <n>: <reason>" for malformed text.
IMemDataSet ReadTable(std::istream& in, const std::string& name = {});

}  // namespace px::dstext
