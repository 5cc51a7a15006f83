#include "app/Startup.h"

#include <unistd.h>

#include <functional>
#include <vector>

#include "app/UnitCountFrame.h"
#include "app/UnitData.h"
#include "app/UnitDatasets.h"
#include "app/UnitHistoryFrame.h"
#include "app/UnitInformationFrame.h"
#include "app/UnitMain.h"
#include "app/UnitMainFormActions.h"
#include "app/UnitSettings.h"
#include "app/UnitSettingsFrame.h"
#include "app/UnitStatusFrame.h"
#include "app/UnitUsersFrame.h"
#include "data/UnitLocales.h"
#include "device/UnitHID.h"
#include "device/UnitVantorel7350.h"
#include "device/UnitVantorel9183.h"
#include "platform/core/Debug.h"
#include "platform/core/FormatSettings.h"
#include "ui/framework/UnitImage.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

// The image strips compiled into the program (generated at build time).
void RegisterAppImages();

namespace {

// The finalizations of the units initialized so far, run last first.
std::vector<std::function<void()>>& finalizers() {
  static std::vector<std::function<void()>> list;
  return list;
}

void step(const std::function<void()>& initialize, std::function<void()> finalize) {
  initialize();
  finalizers().push_back(std::move(finalize));
}

}  // namespace

std::string ExecutableFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string p(path, static_cast<size_t>(n));
  return p.substr(0, p.rfind('/') + 1);
}

void InitializeProgram(const TProgramSetup& setup) {
  try {
    // The user's date, time and number formats, before any screen shows one.
    step([] {
      const std::string locale = ThreadLocaleName();
      FormatSettings = GetLocaleFormatSettings(locale == "C" || locale == "POSIX" ? "en_US" : locale);
    }, [] {});
    step([] { InitializeApplication(); }, [] { FinalizeApplication(); });
    step([&] {
      InitializeTranslations(setup.TranslationFile.empty() ? TTranslations::DefaultFileName() : setup.TranslationFile);
    }, [] { FinalizeTranslations(); });
    step([] { InitializeQVRSystem(); }, [] { FinalizeQVRSystem(); });
    step([] {
      RegisterAppImages();
      InitializeImages();
    }, [] { FinalizeImages(); });
    step([] { InitializeSettings(); }, [] { FinalizeSettings(); });
    step([] { InitializeDatabaseModule(); }, [] { FinalizeDatabaseModule(); });
    step([&] {
      InitializeHIDDevices(setup.SysfsRoot, setup.DevRoot, setup.WatchHotPlug);
      // The devices present now are known before the scale object subscribes,
      // so a scale already there connects without the arrival tones.
      try {
        HIDDevices->Refresh();
      } catch (const Exception& e) {
        OutputDebugString(std::string("HID devices: ") + e.what());
      }
    }, [] { FinalizeHIDDevices(); });
    // Subscribes before the list's first scan runs in the loop, so a scale
    // present at start is met as new.
    step([&] { InitializeVantorel7350(setup.Opener); }, [] { FinalizeVantorel7350(); });
    step([&] { TVantorel9183PrinterCapture::DefaultDevicePath = setup.ReceiptPort; },
         [] { TVantorel9183PrinterCapture::DefaultDevicePath.clear(); });
    step([] { InitializeSettingsFrame(); }, [] { FinalizeSettingsFrame(); });
    step([] { InitializeStatusFrame(); }, [] { FinalizeStatusFrame(); });
    step([] { InitializeInformationFrame(); }, [] { FinalizeInformationFrame(); });
    step([] { InitializeCountFrame(); }, [] { FinalizeCountFrame(); });
    step([] { InitializeUsersFrame(); }, [] { FinalizeUsersFrame(); });
    step([] { InitializeHistoryFrame(); }, [] { FinalizeHistoryFrame(); });
    step([&] { InitializeDataSets(setup.ShippedFolder.empty() ? ExecutableFolder() : setup.ShippedFolder); },
         [] { FinalizeDataSets(); });
  } catch (const std::exception& e) {
    // Start-up stops before the main window exists; the user learns why.
    if (Application) MessageDlg(e.what(), mtError, TMsgDlgButtons{mbOK});
    FinalizeProgram();
    throw;
  }
}

void FinalizeProgram() {
  auto& list = finalizers();
  while (!list.empty()) {
    auto finalize = std::move(list.back());
    list.pop_back();
    finalize();
  }
}

TForm* CreateMainBlock(bool show) {
  Application->SetTitle(Translate("ApplicationTitle"));
  TQVRSystem::CreateFramework<TdmMainFormFiller>(Application);
  auto* form = TQVRSystem::CreateFramework<TfrmMain>(Application);
  Application->SetMainForm(form);
  if (show) form->Show();
  return form;
}

int RunMainBlock() {
  try {
    CreateMainBlock(false);
    Application->Run();
  } catch (...) {
    Application->DestroyComponents();
    throw;
  }
  // The forms and modules go while the registry and the devices they talk
  // to are still there.
  Application->DestroyComponents();
  return 0;
}

}  // namespace px
