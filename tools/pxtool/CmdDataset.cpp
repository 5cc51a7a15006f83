#include <fstream>
#include <ostream>

#include "DataSetText.h"
#include "PxTool.h"
#include "PxToolCommon.h"
#include "data/UnitDataSetIO.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"

namespace px::pxtool {
namespace {

// Splits "[--key KEY] A [B]" into the key and the remaining words.
bool parseArgs(const Args& args, size_t from, std::string& key, Args& rest) {
  for (size_t i = from; i < args.size(); ++i) {
    if (args[i] == "--key") {
      if (++i == args.size()) return false;
      key = args[i];
    } else {
      rest.push_back(args[i]);
    }
  }
  return true;
}

int runDataset(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usageError(err);
  std::string key;
  Args rest;
  if (!parseArgs(args, 1, key, rest)) return usageError(err);
  try {
    if (args[0] == "dump" && rest.size() == 1) {
      dstext::WriteTable(out, *loadDatasetFile(rest[0], key));
      return 0;
    }
    if (args[0] == "write" && rest.size() == 2) {
      std::ifstream text(rest[0], std::ios::binary);
      if (!text) throw EFOpenError("Cannot open file \"" + rest[0] + "\".");
      SaveDataSetToFile(rest[1], dstext::ReadTable(text), key);
      return 0;
    }
  } catch (const Exception& e) {
    err << e.Message() << "\n";
    return 1;
  }
  return usageError(err);
}

const PxCommand datasetCommand("dataset", "dataset dump [--key KEY] FILE | dataset write [--key KEY] IN.tsv OUT",
                               runDataset);

}  // namespace
}  // namespace px::pxtool
