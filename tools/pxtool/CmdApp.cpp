// pxtool app tree [--frame N] [--feed-receipt FILE] [--size WxH]
//   Runs the program's start-up offscreen (in the current home: settings and
//   data folder as the program itself would use them), shows frame N through
//   the main-form filler when given, and prints the main window's components:
//   two blanks per depth, then tab-separated name, class, left,top,width,height
//   (to the parent), x,y (to the window's top-left, menu bar included),
//   visible 1/0, enabled 1/0 and text (escaped as in dataset dump). Menu
//   items and category buttons are listed under their menu and bar, a grid's
//   header columns and rows under the grid (see app/AppTree.h).
//   --feed-receipt hands FILE's text to the count screen's receipt capture
//   (frame 5) before the tree is printed, as if it had come from the
//   scale's printer line. --size lays the window out in its normal state, W x
//   H pixels large (menu bar included, as an X server reports the window),
//   instead of maximized.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>

#include "PxTool.h"
#include "app/AppTree.h"
#include "app/UnitHistoryFrame.h"
#include "app/UnitCountFrame.h"
#include "app/Startup.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px::pxtool {
namespace {

int runApp(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] != "tree") return usageError(err);
  Integer frame = -1;
  std::string receiptFile;
  int width = 0, height = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--frame" && i + 1 < args.size()) frame = std::atoi(args[++i].c_str());
    else if (args[i] == "--feed-receipt" && i + 1 < args.size()) receiptFile = args[++i];
    else if (args[i] == "--size" && i + 1 < args.size()) {
      char x = 0;
      char rest = 0;
      if (std::sscanf(args[++i].c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 || x != 'x' || width <= 0 ||
          height <= 0 || width > 10000 || height > 10000)
        return usageError(err);
    }
    else return usageError(err);
  }
  std::string receipt;
  if (!receiptFile.empty()) {
    std::ifstream in(receiptFile, std::ios::binary);
    if (!in) {
      err << "Cannot open file \"" << receiptFile << "\"\n";
      return 1;
    }
    receipt.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
      if (width > 0) {
        form->SetWindowState(wsNormal);
        form->SetBounds(form->Left(), form->Top(), width, height);
      }
      IQVRLink* shown = nullptr;
      if (frame >= 0)
        if (auto filler = QVRSystem->GetService<IMainFormFiller>()) shown = filler->ShowFrame(frame);
      if (!receiptFile.empty()) {
        auto* count = shown ? dynamic_cast<TfraCount*>(shown->GetComponent()) : nullptr;
        if (!count) throw Exception("--feed-receipt needs the count screen (--frame 5)");
        count->Capture().FeedText(receipt);
      }
      Application->ProcessMessages();
      // The history screen lists its countings only at its first refresh;
      // an outside check wants the filtered list, not the empty one.
      if (auto* history = shown ? dynamic_cast<TfraHistory*>(shown->GetComponent()) : nullptr)
        history->WaitForRefresh();
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

const PxCommand appCommand("app", "app tree [--frame N] [--feed-receipt FILE] [--size WxH]", runApp);

}  // namespace
}  // namespace px::pxtool
