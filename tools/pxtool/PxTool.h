#pragma once
// pxtool command registry. A command group ("dataset", "pdf", ...) is one
// function that receives the words after its name and returns the exit code.
// Groups register themselves with a static PxCommand object in their Cmd*.cpp.
#include <iosfwd>
#include <string>
#include <vector>

namespace px::pxtool {

using Args = std::vector<std::string>;
using CommandFn = int (*)(const Args& args, std::ostream& out, std::ostream& err);

struct PxCommand {
  PxCommand(const char* name, const char* usage, CommandFn fn);
};

// Prints the usage lines of every group to err and returns the exit code 2.
int usageError(std::ostream& err);

}  // namespace px::pxtool
