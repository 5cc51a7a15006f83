// pxtool counting: the database module of the application.
//   counting init DBFILE   opens the database, creating a missing local file
//                          with its schema; prints nothing.
#include <ostream>

#include "PxTool.h"
#include "app/UnitData.h"

namespace px::pxtool {
namespace {

// The engine's message without carriage returns or trailing line breaks.
std::string messageText(const std::string& message) {
  std::string out;
  for (char c : message)
    if (c != '\r') out += c;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

int runInit(const Args& args, std::ostream&, std::ostream& err) {
  if (args.size() != 1) return usageError(err);
  TObjectPtr<TdmDatabase> dm = MakeObject<TdmDatabase>(nullptr);
  dm->DB->SetDatabaseName(args[0]);
  dm->OpenDatabase();
  return 0;
}

int runCounting(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usageError(err);
  const Args rest(args.begin() + 1, args.end());
  try {
    if (args[0] == "init") return runInit(rest, out, err);
  } catch (const Exception& e) {
    err << messageText(e.Message()) << "\n";
    return 1;
  }
  return usageError(err);
}

const PxCommand countingCommand("counting", "counting init DBFILE", runCounting);

}  // namespace
}  // namespace px::pxtool
