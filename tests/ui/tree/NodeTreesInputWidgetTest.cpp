// The input on the real widget: hit zones against where an offscreen render
// paints the button, the check box and the text, and Qt mouse and key
// events reaching the tree through its window messages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleFactory>
#include <QWidget>
#include <cstdlib>

#include "NodeTreesTestSupport.h"
#include "platform/gui/Forms.h"
#include "platform/gui/ImgList.h"
#include "platform/gui/StdCtrls.h"

namespace px::test {
namespace {

// Writes "Node <index>" and answers the width of that text.
class NamedNodes : public TBaseNodeTree {
 public:
  using TBaseNodeTree::TBaseNodeTree;
  bool RightToLeft = false;
  bool UseRightToLeftAlignment() const override { return RightToLeft; }
  static std::string textOf(PNTNode node) { return "Node " + std::to_string(node->Index); }
  int32_t NodeWidth(PNTNode node, TColumnIndex, TCanvas*) override {
    TBitmap b;
    b.SetSize(1, 1);
    b.Canvas().Font().Assign(Font());
    return b.Canvas().TextWidth(textOf(node)) + 4;
  }
  void PaintNode(TNTPaintInfo& info) override {
    info.Canvas->Brush().SetStyle(bsClear);
    info.Canvas->Font().SetColor(clWindowText);
    // Right to left the text starts at the right edge of the content.
    const std::string text = textOf(info.Node);
    const int32_t x = info.RightToLeft ? info.ContentRect.Right - 2 - info.Canvas->TextWidth(text)
                                       : info.ContentRect.Left + 2;
    info.Canvas->TextOut(x, info.ContentRect.Top + 2, text);
  }
};

struct Widget {
  TForm form{nullptr};
  NamedNodes* tree;
  Widget() {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    form.SetBounds(0, 0, 320, 220);
    tree = new NamedNodes(&form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetBorderStyle(bsNone);  // pixel positions are client positions
    tree->Font().SetName("DejaVu Sans");
    tree->Font().SetHeight(-12);
    tree->SetParent(&form);
    tree->UseWindowHost();
  }
  QWidget* w() { return tree->Widget(); }
  void mouse(QEvent::Type type, int x, int y, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QPoint p(x, y);
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent e(type, p, w()->mapToGlobal(p), Qt::LeftButton, held, mods);
    QApplication::sendEvent(w(), &e);
  }
  void click(int x, int y, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    mouse(QEvent::MouseButtonPress, x, y, mods);
    mouse(QEvent::MouseButtonRelease, x, y, mods);
  }
  void key(int qtKey, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, qtKey, mods, text);
    QApplication::sendEvent(w(), &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, mods, text);
    QApplication::sendEvent(w(), &release);
  }
};

TEST(TreeInputWidget, HitZonesAgreeWithTheRender) {
  for (bool rtl : {false, true}) {
    Widget wt;
    NamedNodes& tree = *wt.tree;
    tree.RightToLeft = rtl;
    TNTPaintOptions paint = tree.Options().PaintOptions();
    paint.Exclude(poShowTreeLines);
    tree.Options().SetPaintOptions(paint);
    tree.Options().SetMiscOptions(tree.Options().MiscOptions() + TNTMiscOptions{moCheckSupport});
    tree.SetRootNodeCount(3);
    PNTNode first = tree.GetFirst();
    tree.SetChildCount(first, 2);
    tree.SetCheckType(first, ctCheckBox);
    // A state image and a normal image, each a filled square.
    TImageList states(nullptr), normal(nullptr);
    for (auto [list, color] : {std::pair{&states, clRed}, std::pair{&normal, clBlue}}) {
      list->SetSize(12, 12);
      TBitmap square(12, 12);
      square.Canvas().Brush().SetColor(color);
      square.Canvas().FillRect(TRect(0, 0, 12, 12));
      list->Add(square);
    }
    tree.SetStateImages(&states);
    tree.SetImages(&normal);
    tree.OnImageIndexQuery = [first](TBaseNodeTree*, PNTNode node, TNTImageKind kind, TColumnIndex, bool&,
                                     int32_t& index) {
      if (node == first && (kind == ikState || kind == ikNormal || kind == ikSelected)) index = 0;
    };
    QApplication::processEvents();
    TBitmap b;
    PaintControlTo(tree, b);
    if (const char* dir = std::getenv("PX_TREE_PNG_DIR"))
      b.ToQImage().save(QString::fromStdString(std::string(dir) + (rtl ? "/hitzones-rtl.png" : "/hitzones.png")));
    QImage image = b.ToQImage();
    const QRgb background = image.pixel(tree.ClientWidth() - 2, 9);
    // Every painted column of the first row lies in the zone of what is
    // painted there, in the order button, check box, text.
    std::vector<THitPosition> order;
    int painted = 0;
    for (int i = 0; i < tree.ClientWidth(); ++i) {
      const int x = rtl ? tree.ClientWidth() - 1 - i : i;
      bool ink = false;
      for (int y = 1; y < 17 && !ink; ++y) ink = image.pixel(x, y) != background;
      if (!ink) continue;
      ++painted;
      THitInfo hit;
      tree.GetHitTestInfoAt(x, 9, true, hit);
      ASSERT_EQ(hit.HitNode, first) << x;
      THitPosition zone = hit.HitPositions.Contains(hiOnItemButtonExact) ? hiOnItemButtonExact
                          : hit.HitPositions.Contains(hiOnItemCheckbox) ? hiOnItemCheckbox
                          : hit.HitPositions.Contains(hiOnStateIcon)    ? hiOnStateIcon
                          : hit.HitPositions.Contains(hiOnNormalIcon)   ? hiOnNormalIcon
                          : hit.HitPositions.Contains(hiOnItemLabel)    ? hiOnItemLabel
                                                                        : hiNowhere;
      ASSERT_NE(zone, hiNowhere) << "painted at x " << x << (rtl ? " (rtl)" : "");
      if (order.empty() || order.back() != zone) order.push_back(zone);
    }
    EXPECT_GT(painted, 30);
    EXPECT_EQ(order, (std::vector<THitPosition>{hiOnItemButtonExact, hiOnItemCheckbox, hiOnStateIcon, hiOnNormalIcon,
                                                hiOnItemLabel}));
  }
}

TEST(TreeInputWidget, QtEventsClickTypeAndNavigate) {
  Widget wt;
  NamedNodes& tree = *wt.tree;
  tree.Options().SetSelectionOptions(tree.Options().SelectionOptions() + TNTSelectionOptions{slMultiSelect});
  tree.SetRootNodeCount(30);
  wt.form.Show();
  QApplication::processEvents();
  const int label = 4 + 18 + 10;  // inside the text of a top-level row
  wt.click(label, 18 + 9);
  EXPECT_EQ(tree.FocusedNode(), tree.GetFirst()->NextSibling);
  wt.click(label, 3 * 18 + 9, Qt::ShiftModifier);
  EXPECT_EQ(tree.SelectedCount(), 3u);
  wt.key(Qt::Key_Down);
  EXPECT_EQ(tree.FocusedNode()->Index, 4u);
  EXPECT_EQ(tree.SelectedCount(), 1u);
  wt.key(Qt::Key_End);
  EXPECT_EQ(tree.FocusedNode(), tree.GetLast());
  EXPECT_LT(tree.OffsetY(), 0);  // scrolled into view
  // Typed text searches (node texts by index: "Node 7" answers "Node 7").
  tree.OnSearchCompare = [](TBaseNodeTree*, PNTNode node, const UnicodeString& text, int& result) {
    std::string t = NamedNodes::textOf(node);
    std::u16string wide(t.begin(), t.end());
    result = wide.compare(0, text.size(), text) == 0 ? 0 : 1;
  };
  tree.IncrementalSearchStart = 0;
  for (QChar c : QString("Node 7")) wt.key(c == ' ' ? Qt::Key_Space : c.isDigit() ? Qt::Key_0 + c.digitValue()
                                                                                   : Qt::Key_A + (c.toUpper().unicode() - 'A'),
                                           QString(c));
  EXPECT_EQ(tree.FocusedNode()->Index, 7u);
  EXPECT_EQ(tree.SearchBuffer(), u"Node 7");
}

TEST(TreeInputWidget, TabStaysWithWantTabsAndLeavesWithout) {
  // The form's dialog keys (Tab moving the focus) come with the application.
  InitializeApplication();
  struct Finalize {
    ~Finalize() { FinalizeApplication(); }
  } finalize;
  Widget wt;
  NamedNodes& tree = *wt.tree;
  TEdit* edit = CreateComponent<TEdit>(&wt.form);
  edit->SetParent(&wt.form);
  edit->SetBounds(0, 205, 100, 12);
  tree.TabStop = true;
  tree.Options().SetSelectionOptions(tree.Options().SelectionOptions() + TNTSelectionOptions{slExtendedFocus});
  for (int i = 0; i < 2; ++i) tree.Header().Columns().AddColumn()->SetWidth(100);
  tree.Header().SetOptions(tree.Header().Options() + THeaderOptions{hoVisible});
  tree.SetRootNodeCount(3);
  tree.SetFocusedNode(tree.GetFirst());
  tree.SetFocusedColumn(0);
  wt.form.Show();
  QApplication::setActiveWindow(wt.form.Widget());
  tree.SetFocus();
  ASSERT_EQ(QApplication::focusWidget(), tree.Widget());
  tree.WantTabs = true;
  wt.key(Qt::Key_Tab, "\t");
  EXPECT_EQ(QApplication::focusWidget(), tree.Widget());
  EXPECT_EQ(tree.FocusedColumn(), 1);
  tree.WantTabs = false;
  wt.key(Qt::Key_Tab, "\t");
  EXPECT_EQ(QApplication::focusWidget(), edit->Widget());
  EXPECT_EQ(tree.FocusedColumn(), 1);
}

}  // namespace
}  // namespace px::test
