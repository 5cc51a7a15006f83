// pxtool app tree [--frame N]
//   Runs the program's start-up offscreen (in the current home: settings and
//   data folder as the program itself would use them), shows frame N through
//   the main-form filler when given, and prints the main window's components:
//   two blanks per depth, then tab-separated name, class, left,top,width,height
//   (to the parent), x,y (to the window's top-left, menu bar included),
//   visible 1/0, enabled 1/0 and text (escaped as in dataset dump). Menu
//   items and category buttons are listed under their menu and bar.
#include <QApplication>
#include <QMenuBar>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "PxTool.h"
#include "app/Startup.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/CategoryButtons.h"
#include "platform/gui/Forms.h"
#include "platform/gui/Menus.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px::pxtool {
namespace {

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

struct Printer {
  std::ostream& out;
  TForm* form;

  TPoint windowPos(const TControl* c) const {
    const TPoint p = c->ClientToScreen({0, 0});
    const QPoint origin = form->Widget()->mapToGlobal(QPoint(0, 0));
    return {p.X - origin.x(), p.Y - origin.y()};
  }

  void line(int depth, const std::string& name, const std::string& cls, const TRect& r, TPoint at, bool visible,
            bool enabled, const std::string& text) {
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << name << '\t' << cls << '\t' << r.Left << ',' << r.Top
        << ',' << r.Width() << ',' << r.Height() << '\t' << at.X << ',' << at.Y << '\t' << (visible ? 1 : 0) << '\t'
        << (enabled ? 1 : 0) << '\t' << escape(text) << '\n';
  }

  void menu(int depth, TMenuItem* item, bool topLevel) {
    for (Integer i = 0; i < item->Count(); ++i) {
      TMenuItem* m = item->Items(i);
      TRect r = Rect(0, 0, 0, 0);
      TPoint at{0, 0};
      if (topLevel && form->Menu()) {
        const QRect g = form->MenuBar()->actionGeometry(m->QtAction());
        r = Bounds(g.x(), g.y(), g.width(), g.height());
        at = {g.x(), g.y()};
      }
      line(depth, m->Name(), m->ClassName(), r, at, m->Visible(), m->Enabled(), m->Caption());
      menu(depth + 1, m, false);
    }
  }

  void control(int depth, TControl* c) {
    const TPoint at = windowPos(c);
    line(depth, c->Name(), c->ClassName(), c->BoundsRect(), at, c->Visible(), c->Enabled(), c->Text());
    if (c == form && form->Menu()) menu(depth + 1, form->Menu()->Items(), true);
    if (auto* bar = dynamic_cast<TCategoryButtons*>(c)) {
      for (Integer i = 0; i < bar->CategoryCount(); ++i) {
        TButtonCategory* cat = bar->Categories(i);
        const TRect cr = bar->CategoryRect(cat);
        line(depth + 1, "", "TButtonCategory", cr, {at.X + cr.Left, at.Y + cr.Top}, true, true, cat->Caption());
        for (Integer j = 0; j < cat->Count(); ++j) {
          TButtonItem* b = cat->Items(j);
          const TRect br = bar->ButtonRect(b);
          const std::string name = b->Action() ? b->Action()->Name() : std::string();
          line(depth + 2, name, "TButtonItem", br, {at.X + br.Left, at.Y + br.Top}, true, b->Enabled(), b->Caption());
        }
      }
    }
    if (auto* w = dynamic_cast<TWinControl*>(c))
      for (Integer i = 0; i < w->ControlCount(); ++i) control(depth + 1, w->Controls(i));
  }
};

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
      Printer{out, form}.control(0, form);
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
