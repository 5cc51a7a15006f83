#include <ostream>

#include "PxTool.h"
#include "pdf/UnitPDFStreams.h"
#include "pdf/UnitPDFUtilities.h"
#include "platform/core/Streams.h"

namespace px::pxtool {
namespace {

// pdf decode FILTER [PARMS] IN OUT: IN through one filter, named as in a PDF
// file, with decode parameters in PDF syntax.
int runDecode(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4 && args.size() != 5) return usageError(err);
  const std::string& filterName = args[1];
  const std::string& inName = args[args.size() - 2];
  const std::string& outName = args[args.size() - 1];
  std::unique_ptr<TPDFDictionary> parms;
  if (args.size() == 5) {
    TPDFBuffer text(args[2].begin(), args[2].end());
    int32_t pos = 0;
    SkipWhiteSpace(text, pos);
    parms = ParseDictionary(text, pos, true);
  }
  std::string input = ReadFileToString(inName);
  TPDFBuffer data(input.begin(), input.end());
  TPDFBuffer output;
  int32_t endPos = 0;
  FindStreamFilter(filterName)
      .Decode(data, 0, static_cast<int32_t>(data.size()), endPos, nullptr, nullptr, parms.get(), output);
  SaveFileAtomically(outName, [&](TStream& stream) {
    if (!output.empty()) stream.WriteBuffer(output.data(), static_cast<Int64>(output.size()));
  });
  out << output.size() << " bytes\n";
  return 0;
}

int runPdf(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "decode") return runDecode(args, out, err);
  return usageError(err);
}

const PxCommand pdfCommand("pdf", "pdf decode FILTER [PARMS] IN OUT", runPdf);

}  // namespace
}  // namespace px::pxtool
