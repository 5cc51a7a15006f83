#include "PxTool.h"

#include <clocale>
#include <iostream>
#include <map>

#include "platform/core/Exceptions.h"

namespace px::pxtool {
namespace {

struct Entry {
  std::string usage;
  CommandFn fn;
};

std::map<std::string, Entry>& registry() {
  static std::map<std::string, Entry> commands;
  return commands;
}

}  // namespace

PxCommand::PxCommand(const char* name, const char* usage, CommandFn fn) {
  registry()[name] = Entry{usage, fn};
}

int usageError(std::ostream& err) {
  err << "usage:\n";
  for (const auto& [name, entry] : registry()) err << "  pxtool " << entry.usage << "\n";
  return 2;
}

}  // namespace px::pxtool

int main(int argc, char** argv) {
  using namespace px::pxtool;
  // The user's locale, as the program's toolkit sets it: what the tool writes
  // and reads for other programs must not change with it.
  std::setlocale(LC_ALL, "");
  if (argc < 2) return usageError(std::cerr);
  auto it = registry().find(argv[1]);
  if (it == registry().end()) return usageError(std::cerr);
  Args args(argv + 2, argv + argc);
  try {
    return it->second.fn(args, std::cout, std::cerr);
  } catch (const px::Exception& e) {
    std::cerr << e.Message() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
