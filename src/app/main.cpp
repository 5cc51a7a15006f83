// Program entry. Start-up is an explicit sequence, torn down in reverse.
// Until the application's own main window lands this shows an empty form
// with the program's title.
#include <QApplication>

#include "device/UnitHID.h"
#include "device/UnitVantorel7350.h"
#include "platform/core/Version.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/framework/UnitTranslation.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  px::InitializeApplication();
  px::InitializeTranslations();
  px::InitializeQVRSystem();
  px::InitializeHIDDevices();    // posts itself the first scan, run once the loop starts
  px::InitializeVantorel7350();  // subscribes before that scan, so a scale present at start is new
  int rc = 0;
  {
    px::Application->SetTitle(px::ProgramName);
    auto* form = px::Application->CreateForm<px::TForm>();
    form->SetCaption(px::ProgramName);
    form->SetBounds(0, 0, 1024, 720);
    px::Application->Run();
  }
  px::FinalizeApplication();  // frees the forms before the registry goes
  px::FinalizeVantorel7350();
  px::FinalizeHIDDevices();
  px::FinalizeQVRSystem();
  px::FinalizeTranslations();
  return rc;
}
