#include <ostream>

#include "PxTool.h"
#include "platform/core/Version.h"

namespace px::pxtool {
namespace {

int runVersion(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) return usageError(err);
  out << "pxtool " << px::ProgramVersion << "\n";
  return 0;
}

const PxCommand versionCommand("version", "version", runVersion);

}  // namespace
}  // namespace px::pxtool
