// pxtool app tree [--frame N]
//   Runs the program's start-up offscreen (in the current home: settings and
//   data folder as the program itself would use them), shows frame N through
//   the main-form filler when given, and prints the main window's components:
//   two blanks per depth, then tab-separated name, class, left,top,width,height
//   (to the parent), x,y (to the window's top-left, menu bar included),
//   visible 1/0, enabled 1/0 and text (escaped as in dataset dump). Menu
//   items and category buttons are listed under their menu and bar, a grid's
//   header columns and rows under the grid (see app/AppTree.h).
#include <QApplication>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "PxTool.h"
#include "app/AppTree.h"
#include "app/Startup.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px::pxtool {
namespace {

int runApp(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] != "tree") return usageError(err);
  Integer frame = -1;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--frame" && i + 1 < args.size()) frame = std::atoi(args[++i].c_str());
    else return usageError(err);
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::unique_ptr<QApplication> app;
  if (!QApplication::instance()) {
    static int argc = 1;
    static char name[] = "pxtool";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
  }
  TProgramSetup setup;
  setup.ShippedFolder = std::string(PX_APP_DATA_DIR) + "/";
  setup.TranslationFile = setup.ShippedFolder + "Pondarix7350.lang";
  // Message boxes would wait for a user who is not there: their text goes
  // to the error output and they answer OK.
  SetMessageDlgHook([&err](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    err << text << "\n";
    return mrOk;
  });
  int rc = 0;
  try {
    InitializeProgram(setup);
    try {
      TForm* form = CreateMainBlock(true);
      if (frame >= 0)
        if (auto filler = QVRSystem->GetService<IMainFormFiller>()) filler->ShowFrame(frame);
      Application->ProcessMessages();
      PrintWindowTree(out, form);
    } catch (const Exception& e) {
      err << e.Message() << "\n";
      rc = 1;
    }
    Application->DestroyComponents();
    FinalizeProgram();
  } catch (const Exception& e) {
    err << e.Message() << "\n";
    rc = 1;
  }
  SetMessageDlgHook(nullptr);
  return rc;
}

const PxCommand appCommand("app", "app tree [--frame N]", runApp);

}  // namespace
}  // namespace px::pxtool
