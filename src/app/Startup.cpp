#include "app/Startup.h"

#include <functional>
#include <vector>

#include "app/UnitSettings.h"
#include "data/UnitLocales.h"
#include "device/UnitHID.h"
#include "device/UnitVantorel7350.h"
#include "device/UnitVantorel9183.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/Version.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/framework/UnitTranslation.h"

namespace px {

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

void InitializeProgram(const TProgramSetup& setup) {
  try {
    // The user's date, time and number formats, before any screen shows one.
    step([] { FormatSettings = GetLocaleFormatSettings(ThreadLocaleName() == "C" ? "en_US" : ThreadLocaleName()); },
         [] {});
    step([] { InitializeApplication(); }, [] { FinalizeApplication(); });
    step([] { InitializeTranslations(); }, [] { FinalizeTranslations(); });
    step([] { InitializeQVRSystem(); }, [] { FinalizeQVRSystem(); });
    step([] { InitializeSettings(); }, [] { FinalizeSettings(); });
    step([&] { InitializeHIDDevices(setup.SysfsRoot, setup.DevRoot, setup.WatchHotPlug); },
         [] { FinalizeHIDDevices(); });
    // Subscribes before the list's first scan runs in the loop, so a scale
    // present at start is met as new.
    step([&] { InitializeVantorel7350(setup.Opener); }, [] { FinalizeVantorel7350(); });
    step([&] { TVantorel9183PrinterCapture::DefaultDevicePath = setup.ReceiptPort; },
         [] { TVantorel9183PrinterCapture::DefaultDevicePath.clear(); });
  } catch (...) {
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

int RunMainBlock() {
  Application->SetTitle(Translate("ApplicationTitle"));
  auto* form = Application->CreateForm<TForm>();
  form->SetCaption(ProgramName);
  form->SetBounds(0, 0, 1024, 720);
  Application->Run();
  // The forms and modules go while the registry and the devices they talk
  // to are still there.
  Application->DestroyComponents();
  return 0;
}

}  // namespace px
