#include "app/AppTree.h"

#include <QMenuBar>
#include <QWidget>

#include <string>

#include "platform/core/CodePages.h"
#include "platform/gui/ActnList.h"
#include "platform/gui/CategoryButtons.h"
#include "platform/gui/Forms.h"
#include "platform/gui/Menus.h"
#include "ui/tree/NodeTreesString.h"

namespace px {

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

  void categoryBar(int depth, TCategoryButtons* bar, TPoint at) {
    for (Integer i = 0; i < bar->CategoryCount(); ++i) {
      TButtonCategory* cat = bar->Categories(i);
      const TRect cr = bar->CategoryRect(cat);
      line(depth, "", "TButtonCategory", cr, {at.X + cr.Left, at.Y + cr.Top}, true, true, cat->Caption());
      for (Integer j = 0; j < cat->Count(); ++j) {
        TButtonItem* b = cat->Items(j);
        const TRect br = bar->ButtonRect(b);
        const std::string name = b->Action() ? b->Action()->Name() : std::string();
        line(depth + 1, name, "TButtonItem", br, {at.X + br.Left, at.Y + br.Top}, true, b->Enabled(), b->Caption());
      }
    }
  }

  // Columns lie in the header strip at the grid's top, inside its frame,
  // rows below it; positions are to the grid's top-left.
  void grid(int depth, TCustomNodeStringTree* tree, TPoint at) {
    TNodeTreeColumns& columns = tree->Header().Columns();
    const int32_t strip = tree->HeaderStripHeight();
    const TRect frame = tree->FrameWidths();
    for (Integer i = 0; i < columns.Count(); ++i) {
      TNodeTreeColumn* c = columns.Items(i);
      int32_t left = 0, right = 0;
      columns.ColumnEdges(i, left, right);
      const TRect r = Bounds(frame.Left + left, frame.Top, c->Width(), strip);
      line(depth, "", "TNodeTreeColumn", r, {at.X + r.Left, at.Y + r.Top}, c->Options().Contains(coVisible), true,
           UnicodeToUtf8(c->Text()));
    }
    const std::vector<TColumnIndex> shown = columns.ShownColumns();
    for (PNTNode n = tree->GetFirst(); n; n = tree->GetNext(n)) {
      std::string text;
      if (shown.empty()) text = UnicodeToUtf8(tree->Text(n, NoColumn));
      for (size_t k = 0; k < shown.size(); ++k) {
        if (k) text += '\t';
        text += UnicodeToUtf8(tree->Text(n, shown[k]));
      }
      TRect r = tree->GetDisplayRect(n, NoColumn, false, true);
      r.Offset(frame.Left, frame.Top + strip);
      line(depth, "", "TNTNode", r, {at.X + r.Left, at.Y + r.Top}, tree->IsVisible(n), !tree->IsDisabled(n), text);
    }
  }

  void control(int depth, TControl* c) {
    const TPoint at = windowPos(c);
    line(depth, c->Name(), c->ClassName(), c->BoundsRect(), at, c->Visible(), c->Enabled(), c->Text());
    if (c == form && form->Menu()) menu(depth + 1, form->Menu()->Items(), true);
    if (auto* bar = dynamic_cast<TCategoryButtons*>(c)) categoryBar(depth + 1, bar, at);
    if (auto* tree = dynamic_cast<TCustomNodeStringTree*>(c)) grid(depth + 1, tree, at);
    if (auto* w = dynamic_cast<TWinControl*>(c))
      for (Integer i = 0; i < w->ControlCount(); ++i) control(depth + 1, w->Controls(i));
  }
};

}  // namespace

void PrintWindowTree(std::ostream& out, TForm* form) { Printer{out, form}.control(0, form); }

}  // namespace px
