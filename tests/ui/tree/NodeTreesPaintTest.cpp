// The tree as a widget: rendered offscreen and probed pixel by pixel, and
// driven through its window messages and scroll bars.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QStyleFactory>
#include <QWidget>
#include <cstdlib>

#include "NodeTreesTestSupport.h"
#include "platform/gui/Forms.h"

namespace px::test {
namespace {

// A tree that writes "Node <index>" into its cells and reports a fixed text
// width, like the string tree does with real texts.
class TextTree : public TBaseNodeTree {
 public:
  explicit TextTree(TComponent* owner) : TBaseNodeTree(owner) {}
  int32_t TextWidth = 40;
  int32_t NodeWidth(PNTNode, TColumnIndex, TCanvas*) override { return TextWidth; }
  void PaintNode(TNTPaintInfo& info) override {
    std::string text = "Node " + std::to_string(info.Node->Index);
    if (info.Column > 0) text += " / " + std::to_string(info.Column);
    info.Canvas->Brush().SetStyle(bsClear);
    info.Canvas->Font().SetColor(info.Node->Has(nsSelected) ? clHighlightText : clWindowText);
    info.Canvas->TextOut(info.ContentRect.Left + 2, info.ContentRect.Top + 2, text);
  }
};

// A form holding one tree of the given size.
struct WidgetTree {
  TForm form{nullptr};
  TextTree* tree;
  explicit WidgetTree(int32_t width = 300, int32_t height = 200) {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    form.SetBounds(0, 0, width + 20, height + 20);
    tree = new TextTree(&form);
    tree->SetBounds(0, 0, width, height);
    tree->Font().SetName("DejaVu Sans");
    tree->Font().SetHeight(-12);
    tree->SetParent(&form);
  }
  // The widget rendered as it shows; PX_TREE_PNG_DIR keeps a picture of it.
  TBitmap& render(const std::string& name = {}) {
    QApplication::processEvents();
    bitmap = std::make_unique<TBitmap>();
    PaintControlTo(*tree, *bitmap);
    if (const char* dir = std::getenv("PX_TREE_PNG_DIR")) {
      std::string file = name.empty() ? ::testing::UnitTest::GetInstance()->current_test_info()->name() : name;
      bitmap->ToQImage().save(QString::fromStdString(std::string(dir) + "/" + file + ".png"));
    }
    return *bitmap;
  }
  std::unique_ptr<TBitmap> bitmap;
};

TEST(TreeWidget, RendersRowsLinesButtonsAndChecks) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.Options().SetMiscOptions(t.Options().MiscOptions() + TNTMiscOptions{moCheckSupport});
  t.SetRootNodeCount(4);
  PNTNode first = t.GetFirst();
  t.SetChildCount(first, 3);
  t.SetExpanded(first, true);
  t.SetCheckType(t.GetFirstChild(first), ctCheckBox);
  t.SetCheckState(t.GetFirstChild(first), csCheckedNormal);
  t.SetChildCount(t.GetLastChild(first), 2);
  t.SetSelected(t.GetNextSibling(first), true);
  t.SetFocusedNode(t.GetNextSibling(first));
  TBitmap& b = w.render();
  EXPECT_EQ(b.Width(), 300);
  EXPECT_EQ(b.Height(), 200);
}

TEST(TreeWidget, HeaderColumnsAndScrollBars) {
  WidgetTree w(320, 200);
  TextTree& t = *w.tree;
  TNTHeader& h = t.Header();
  for (int i = 0; i < 3; ++i) {
    TNodeTreeColumn* c = h.Columns().AddColumn();
    c->SetWidth(150);
    c->SetText(u"Column");
  }
  h.SetOptions(h.Options() + THeaderOptions{hoVisible});
  t.SetRootNodeCount(100);
  t.SetFocus();
  t.SetSelected(t.GetFirst(), true);
  t.SetFocusedNode(t.GetFirst());
  TBitmap& b = w.render();
  EXPECT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  EXPECT_TRUE(t.ScrollBarControl(sbHorizontal)->Visible());
  (void)b;
}

}  // namespace
}  // namespace px::test
