// Reads arbitrary bytes as an INI file and checks that what it reads is
// stable: the written form reads back to the same text, and every entry can
// be written back without changing it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/IniFiles.h"
#include "platform/core/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  TMemIniFile ini;
  ini.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string text = ini.FileText();

  TMemIniFile again;
  again.LoadFromString(text);
  if (again.FileText() != text) __builtin_trap();

  TStringList sections, values;
  ini.ReadSections(sections);
  for (Integer i = 0; i < sections.Count(); ++i) {
    std::string section = sections[i];
    if (!ini.SectionExists(section)) __builtin_trap();
    ini.ReadSectionValues(section, values);
    for (Integer j = 0; j < values.Count(); ++j) {
      std::string name = values.Names(j);
      std::string value = values.ValueFromIndex(j);
      if (ini.ReadString(section, name, "\n") != value) __builtin_trap();
      (void)ini.ReadInteger(section, name, 0);
      (void)ini.ReadFloat(section, name, 0);
      again.WriteString(section, name, value);
    }
  }
  if (again.FileText() != text) __builtin_trap();
  return 0;
}
