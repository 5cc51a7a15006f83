// The framework edit and its drop-down on a real X server (px_with_xserver, the xcb
// platform), against other X clients: xclip owns the clipboard and the
// primary selection, xdotool moves and clicks the pointer, and the input focus
// goes to the root window to take it from this application.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include "platform/gui/Forms.h"
#include "support/ServeWhile.h"
#include "ui/framework/UnitQVREdit.h"
#include "ui/framework/UnitQVREditComboContainer.h"

namespace px {
namespace {

using test::waitFor;
using test::run;

std::string targets(const char* selection) {
  std::string out;
  run(std::string("xclip -o -selection ") + selection + " -t TARGETS", &out);
  return out;
}

// xclip takes the selection and serves it from the background until another
// client takes it over.
void offer(const char* selection, const std::string& printfText) {
  ASSERT_EQ(run("printf '" + printfText + "' | xclip -selection " + selection + " -i >/dev/null 2>&1"), 0);
  ASSERT_TRUE(waitFor([&] { return targets(selection).find("UTF8_STRING") != std::string::npos; }));
}

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers mods) {
  QKeyEvent press(QEvent::KeyPress, k, mods);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods);
  QApplication::sendEvent(w, &release);
}

void showAndWait(QWidget* w) {
  w->show();
  ASSERT_TRUE(waitFor([&] { return w->windowHandle() && w->windowHandle()->isExposed(); }));
}

std::string at(QWidget* w, int x, int y) {
  const QPoint g = w->mapToGlobal(QPoint(x, y));
  return std::to_string(g.x()) + " " + std::to_string(g.y());
}

struct EditForm {
  TForm form{nullptr};
  TQVREdit* edit = CreateComponent<TQVREdit>(&form);
  EditForm() {
    form.SetBounds(40, 40, 400, 300);
    edit->SetParent(&form);
    edit->SetBounds(20, 20, 200, 21);
    showAndWait(form.Widget());
  }
};

TEST(QVREditX11, PasteLeavesAnotherProgramsClipboardAsItWas) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  EditForm f;
  offer("clipboard", "a\\r\\nb");
  const std::string offered = targets("clipboard");
  key(f.edit->Widget(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(f.edit->Text(), "a b");
  std::string bytes;
  ASSERT_EQ(run("xclip -o -selection clipboard", &bytes), 0);
  EXPECT_EQ(bytes, "a\r\nb");
  EXPECT_EQ(targets("clipboard"), offered);
}

TEST(QVREditX11, MiddleClickPastesThePrimarySelectionOnce) {
  EditForm f;
  TQVREdit& e = *f.edit;
  int middleUps = 0;
  e.OnMouseUp = [&](TObject*, TMouseButton b, TShiftState, int32_t, int32_t) { middleUps += b == mbMiddle; };
  struct Case {
    const char* name;
    bool locked, listOnly;
    const char* text;
  } cases[] = {{"editable", false, false, "a b"}, {"locked", true, false, ""}, {"list-only", false, true, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e.SetLocked(c.locked);
    e.ListOnly = c.listOnly;
    e.SetText("");
    offer("primary", "a\\r\\nb");
    const int before = middleUps;
    ASSERT_EQ(run("xdotool mousemove " + at(e.Widget(), 30, 10) + " click 2"), 0);
    ASSERT_TRUE(waitFor([&] { return middleUps > before; }));
    QCoreApplication::processEvents();
    // Pasted by the edit's rule only: the line edit's own middle-click paste
    // would add the raw text a second time.
    EXPECT_EQ(e.Text(), c.text);
    std::string bytes;
    ASSERT_EQ(run("xclip -o -selection primary", &bytes), 0);
    EXPECT_EQ(bytes, "a\r\nb");
  }
}

struct ComboForm {
  TForm form{nullptr};
  TQVRComboBox* combo = CreateComponent<TQVRComboBox>(&form);
  explicit ComboForm(int items) {
    form.SetBounds(40, 40, 400, 300);
    combo->SetParent(&form);
    combo->SetBounds(20, 20, 150, 21);
    for (int i = 0; i < items; ++i) combo->Items().Add("Item " + std::to_string(i));
    showAndWait(form.Widget());
  }
};

TEST(QVRComboBoxX11, GripDragResizesWithinTheTrackLimits) {
  ComboForm f(20);
  f.combo->ComboResizeable = true;
  f.combo->DropDown(true);
  ASSERT_TRUE(f.combo->DroppedDown());
  TComboContainer* box = f.combo->GetContainer();
  QWidget* w = box->Widget();
  ASSERT_TRUE(waitFor([&] { return w->windowHandle() && w->windowHandle()->isExposed(); }));
  const int row = f.combo->ClientHeight();
  ASSERT_EQ(box->Height(), 8 * row + 13);
  ASSERT_EQ(box->Grip(), 4);
  const int width = box->Width();

  // Pressing the bottom-right grip and dragging far down and right: the
  // height stops at all 20 rows, the width at the track limit.
  struct Drag {
    const char* name;
    int dx, dy, height, width;
  } drags[] = {
      {"longer", 0, 3 * row, 11 * row + 13, width},
      {"past the last row", 0, 2000, 20 * row + 13, width},
      {"shorter than a row", 0, -600, row + 13, width},
      {"wider", 40, 0, row + 13, width + 40},
      {"narrower than the edit", -100, 0, row + 13, box->MinWidth},
  };
  for (const Drag& d : drags) {
    SCOPED_TRACE(d.name);
    const int gx = box->Width() - 4, gy = box->Height() - 4;
    ASSERT_EQ(box->HitTest({gx, gy}), HTBOTTOMRIGHT);
    const QPoint from = w->mapToGlobal(QPoint(gx, gy));
    const std::string to = std::to_string(from.x() + d.dx) + " " + std::to_string(from.y() + d.dy);
    ASSERT_EQ(run("xdotool mousemove " + at(w, gx, gy) + " mousedown 1 mousemove " + to + " mouseup 1"), 0);
    EXPECT_TRUE(waitFor([&] { return box->Height() == d.height && box->Width() == d.width; }))
        << box->Width() << " x " << box->Height();
    EXPECT_EQ(w->height(), box->Height());
    EXPECT_TRUE(box->Visible());
  }
  // The top-left corner stays where it was placed.
  EXPECT_EQ(w->mapToGlobal(QPoint(0, 0)), f.combo->Widget()->mapToGlobal(QPoint(0, f.combo->Height())));
  EXPECT_LE(box->MaxHeight, 20 * row + 13);
  f.combo->CloseUp(false);
  QCoreApplication::processEvents();
}

TEST(QVREditX11, ApplicationDeactivationClosesTheContainer) {
  // The container holds nothing that takes the focus, so only its own watch
  // over the application's state can close it.
  EditForm f;
  f.form.Widget()->activateWindow();
  ASSERT_TRUE(waitFor([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));
  f.edit->BeforeExpanding = [](TObject*, TComboSizeInformation& s) { s.Height = 60; };
  f.edit->DropDown(true);
  ASSERT_TRUE(f.edit->DroppedDown());
  QWidget* w = f.edit->GetContainer()->Widget();
  ASSERT_TRUE(waitFor([&] { return w->windowHandle() && w->windowHandle()->isExposed(); }));
  QCoreApplication::processEvents();
  ASSERT_TRUE(f.edit->DroppedDown());
  // Another client gives the input focus to the root window.
  ASSERT_EQ(run("xdotool windowfocus --sync $(xdotool search --maxdepth 0 '' | head -1)"), 0);
  EXPECT_TRUE(waitFor([&] { return !f.edit->DroppedDown(); }));
  EXPECT_NE(QGuiApplication::applicationState(), Qt::ApplicationActive);
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace px
