// libFuzzer target: the input is the settings file (registry.ini). It is read
// the ways the program reads it: the settings object's load, the grids'
// column layouts from the list values, and a walk over every value of the
// settings key by its stored type (str:, int:, hex:, percent decoding).
// What the settings object loaded is saved and loads again unchanged.
#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/UnitSettings.h"
#include "data/UnitDataView.h"
#include "platform/core/Registry.h"
#include "platform/core/StringList.h"
#include "platform/gui/Forms.h"
#include "ui/tree/UnitDataSetList.h"

namespace {

using namespace px;

std::filesystem::path& settingsFile() {
  static std::filesystem::path file;
  return file;
}

bool sameSettings(const TSettings& a, const TSettings& b) {
  return a.Datasets == b.Datasets && a.Company == b.Company && a.LogoFile == b.LogoFile && a.Database == b.Database &&
         a.Language == b.Language && a.Password == b.Password && a.InitialDrawer == b.InitialDrawer &&
         a.MustEmployee == b.MustEmployee && a.MustDrawer == b.MustDrawer && a.Device == b.Device;
}

void walkValues() {
  TRegistry reg;
  TStringList keys, names;
  if (reg.OpenKeyReadOnly("\\Software\\Pondarix")) reg.GetKeyNames(keys);
  if (!reg.OpenKeyReadOnly(TSettings::KeyPath)) return;
  reg.GetValueNames(names);
  for (Integer i = 0; i < names.Count(); ++i) {
    const std::string name = names[i];
    const Integer size = reg.GetDataSize(name);
    try {
      switch (reg.GetDataType(name)) {
        case rdString:
        case rdExpandString: (void)reg.ReadString(name); break;
        case rdInteger: (void)reg.ReadInteger(name); break;
        case rdBinary: {
          if (size < 0 || size > (1 << 20)) __builtin_trap();
          std::string buffer(static_cast<size_t>(size), '\0');
          if (reg.ReadBinaryData(name, buffer.data(), size) != size) __builtin_trap();
          break;
        }
        case rdUnknown: break;
      }
    } catch (const ERegistryException&) {
    }
  }
}

}  // namespace

// fontconfig keeps its configuration for the process on purpose; the leak
// check of an input must not count it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "fuzz_settings";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  // A settings folder of this process only, in memory where there is such a
  // file system: every save is synced to its disk.
  std::string folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  folder += "/fuzz_settings.XXXXXX";
  if (!mkdtemp(folder.data())) std::abort();
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  settingsFile() = TRegistry::RegistryFileName();
  std::filesystem::create_directories(settingsFile().parent_path());
  static std::string root = folder;
  std::atexit([] { std::filesystem::remove_all(root); });
  // A value of the wrong type is reported in a message box: answered here.
  SetMessageDlgHook([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(settingsFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TSettings loaded;
  loaded.Load();

  // The grids' layouts: three columns, as the settings screen's lists have.
  static IMemDataSet table = CreateMemDataSetFromSpec("T", "A:int*B:astr;C:int");
  IMemDataView view = CreateMemDataView(table);
  for (Integer i = 0; i < 3; ++i) view->AddColumn()->SetFieldIndex(i);
  {
    auto grid = std::make_unique<TDataSetList>(nullptr);
    grid->SetView(view);
    for (Integer n = 0; n < 4; ++n) {
      const std::string layout = loaded.ReadList(n);
      grid->SetColumnLayout(layout);
      (void)grid->GetColumnLayout();
    }
    grid->BeforeDestruction();
  }

  walkValues();

  loaded.Save();
  TSettings again;
  again.Load();
  if (!sameSettings(loaded, again)) __builtin_trap();
  return 0;
}
