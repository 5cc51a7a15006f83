#include "ui/tree/NodeTreesString.h"
namespace px {
std::string TCustomNodeStringTree::ContentToHTML(TNTExportSource, const UnicodeString&) { return {}; }
std::string TCustomNodeStringTree::ContentToCFHTML(TNTExportSource) { return {}; }
std::string TCustomNodeStringTree::ContentToRTF(TNTExportSource) { return {}; }
AnsiString TCustomNodeStringTree::ContentToText(TNTExportSource, const AnsiString&) { return {}; }
UnicodeString TCustomNodeStringTree::ContentToUnicode(TNTExportSource, const UnicodeString&) { return {}; }
AnsiString TCustomNodeStringTree::ContentToCSV(TNTExportSource) { return {}; }
}
