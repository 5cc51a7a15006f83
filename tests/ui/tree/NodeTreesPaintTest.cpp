// The tree as a widget: rendered offscreen and probed pixel by pixel, and
// driven through its window messages and scroll bars.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QStyleFactory>
#include <QWidget>
#include <QScrollBar>
#include <cstdlib>
#include <cstring>
#include <set>

#include "NodeTreesTestSupport.h"
#include "platform/gui/Forms.h"
#include "ui/tree/NodeTreesImages.h"
#include "ui/tree/NodeTreesSupport.h"

namespace px::test {
namespace {

// A tree that writes "Node <index>" into its cells and reports a fixed text
// width, like the string tree does with real texts.
class TextTree : public TBaseNodeTree {
 public:
  explicit TextTree(TComponent* owner) : TBaseNodeTree(owner) {}
  int32_t TextWidth = 40;
  UnicodeString Text;
  std::function<void(PNTNode)> OnPainted;
  int32_t NodeWidth(PNTNode, TColumnIndex, TCanvas*) override { return TextWidth; }
  UnicodeString NodeText(PNTNode, TColumnIndex) override { return Text; }
  void SetDropTarget(PNTNode node) { dropTargetNode_ = node; }
  void PaintNode(TNTPaintInfo& info) override {
    if (OnPainted) OnPainted(info.Node);
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
    // Without the frame, pixel positions of the picture are client positions.
    tree->SetBorderStyle(bsNone);
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

// Line images of a node for the cases that decide them.
TEST(TreeLines, LineImagesPerPosition) {
  HostedTree h;
  TBaseNodeTree& t = *h.tree;
  t.SetRootNodeCount(3);
  PNTNode a = t.GetFirst(), b = t.GetNextSibling(a), c = t.GetNextSibling(b);
  t.SetChildCount(a, 2);
  t.SetExpanded(a, true);
  PNTNode a0 = t.GetFirstChild(a), a1 = t.GetLastChild(a);
  struct Case {
    const char* name;
    TNTPaintOptions add, remove;
    PNTNode node;
    TNTLineImage expected;
  };
  const TNTPaintOptions none;
  const Case cases[] = {
      {"first top-level", none, none, a, {ltBottomRight}},
      {"middle top-level", none, none, b, {ltTopDownRight}},
      {"last top-level", none, none, c, {ltTopRight}},
      {"child with a next sibling", none, none, a0, {ltTopDown, ltTopDownRight}},
      {"last child", none, none, a1, {ltTopDown, ltTopRight}},
      {"no root lines: top-level", none, {poShowRoot}, a, {}},
      {"no root lines: child", none, {poShowRoot}, a1, {ltTopRight}},
      {"children above: first", {poChildrenAbove}, none, a, {ltBottomRight}},
      {"children above: last", {poChildrenAbove}, none, c, {ltTopRight}},
      {"children above: child", {poChildrenAbove}, none, a0, {ltNone, ltBottomRight}},
      {"children above: second child", {poChildrenAbove}, none, a1, {ltNone, ltTopDownRight}},
      {"no tree lines", none, {poShowTreeLines}, a0, {ltNone, ltNone}},
  };
  const TNTPaintOptions base = t.Options().PaintOptions();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    t.Options().SetPaintOptions((base + k.add) - k.remove);
    TNTLineImage images;
    t.GetLineImages(k.node, images);
    EXPECT_EQ(images, k.expected);
  }
  // The only top-level node stands alone.
  t.Options().SetPaintOptions(base);
  t.DeleteNode(c);
  t.DeleteNode(b);
  TNTLineImage images;
  t.GetLineImages(a, images);
  EXPECT_EQ(images, TNTLineImage{ltRight});
  // The answer counts the selected ancestors.
  t.SetSelected(a, true);
  EXPECT_EQ(t.GetLineImages(a1, images), 1);
}

// PaintTree of a window of the tree into a bitmap.
std::unique_ptr<TBitmap> paintWindow(TBaseNodeTree& t, const TRect& window, TNTPaintElements options) {
  auto b = std::make_unique<TBitmap>(window.Width(), window.Height(), pf32bit);
  b->Canvas().Brush().SetColor(clFuchsia);
  b->Canvas().FillRect(TRect(0, 0, b->Width(), b->Height()));
  t.PaintTree(b->Canvas(), window, {0, 0}, options);
  return b;
}

bool samePixels(const TBitmap& a, const TBitmap& b, const TRect& r) {
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    for (int32_t x = r.Left; x < r.Right; ++x)
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
  return true;
}

// The check box of the first row, compared pixel by pixel with image Index
// of the strip drawn on the tree colour.
void expectCheckImage(TBaseNodeTree& t, const TBitmap& painted, int32_t index) {
  TCustomImageList* strip = t.CheckImageList();
  // The check box sits right of the root level's indent and margin, centred
  // on the row.
  const int32_t x0 = static_cast<int32_t>(t.Indent()) + t.Margin(), y0 = 9 - 8;
  TBitmap expected(16, 16, pf32bit);
  expected.Canvas().Brush().SetColor(t.Color());
  expected.Canvas().FillRect(TRect(0, 0, 16, 16));
  strip->Draw(expected.Canvas(), 0, 0, index, true);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x)
      ASSERT_EQ(painted.GetPixel(x0 + x, y0 + y), expected.GetPixel(x, y)) << index << " at " << x << "," << y;
}

TEST(TreePaint, EveryCheckImageComesFromItsStripImage) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.Options().SetMiscOptions(t.Options().MiscOptions() + TNTMiscOptions{moCheckSupport});
  t.Options().SetPaintOptions(t.Options().PaintOptions() - TNTPaintOptions{poShowTreeLines});
  t.SetRootNodeCount(1);
  PNTNode n = t.GetFirst();
  TCustomImageList* strip = t.CheckImageList();
  ASSERT_GE(strip->Count(), 25);
  std::set<int32_t> seen;
  for (TCheckType type : {ctCheckBox, ctTriStateCheckBox, ctRadioButton, ctButton})
    for (int state = csUncheckedNormal; state <= csMixedPressed; ++state)
      for (bool enabled : {true, false}) {
        SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(state) + "/" + std::to_string(enabled));
        t.SetCheckType(n, type);
        n->CheckState = static_cast<Byte>(state);
        t.SetDisabled(n, !enabled);
        const int32_t index = t.GetCheckImageIndex(n, ctNone, true, csUncheckedNormal, false);
        EXPECT_EQ(index, t.GetCheckImageIndex(nullptr, type == ctTriStateCheckBox ? ctCheckBox : type, enabled,
                                              static_cast<TCheckState>(state), false));
        seen.insert(index);
        expectCheckImage(t, *paintWindow(t, TRect(0, 0, 100, 18), AllPaintElements), index);
      }
  // A disabled unchecked box shows image 12, hot or not; enabled and hot 10.
  EXPECT_EQ(t.GetCheckImageIndex(nullptr, ctCheckBox, false, csUncheckedNormal, true), 12);
  EXPECT_EQ(t.GetCheckImageIndex(nullptr, ctCheckBox, true, csUncheckedNormal, true), 10);
  EXPECT_EQ(t.GetCheckImageIndex(nullptr, ctNone, true, csCheckedNormal, false), -1);
  // Every enabled or disabled, not hot entry of the table was met.
  EXPECT_EQ(seen, (std::set<int32_t>{1, 3, 4, 5, 7, 8, 9, 11, 12, 13, 15, 16, 17, 19, 20, 21, 23, 24}));
}

TEST(TreePaint, LinesAndButtonsWhereTheLineImagesSayAndSelectionColours) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.SetRootNodeCount(3);
  PNTNode a = t.GetFirst();
  t.SetChildCount(a, 2);
  t.SetExpanded(a, true);
  const TColor line = ColorToRGB(t.Colors().Get(TNTColors::TreeLineColor));
  auto b = paintWindow(t, TRect(0, 0, 200, 5 * 18), AllPaintElements);
  auto inkAt = [&](int32_t x, int32_t y0, int32_t y1) {
    int n = 0;
    for (int32_t y = y0; y < y1; ++y) n += b->GetPixel(x, y) == line;
    return n;
  };
  // Level 0's middle is x 9; the first node's line starts at its button, the
  // last top-level node's ends at its middle.
  EXPECT_EQ(inkAt(9, 18, 36), 9);        // a0 row: the level-0 line runs through
  EXPECT_EQ(inkAt(9, 4 * 18 + 10, 5 * 18), 0);  // last node: nothing below its branch
  EXPECT_GT(inkAt(27, 18, 27), 3);        // a0's own line at level 1 from the top
  // The expanded first node shows a minus button: frame and bar, no stem.
  EXPECT_EQ(b->GetPixel(5, 5), ColorToRGB(clGray));
  EXPECT_EQ(b->GetPixel(9, 9), ColorToRGB(clWindowText));
  EXPECT_EQ(b->GetPixel(9, 7), ColorToRGB(t.Color()));

  // Selection: the node's width from the content start, in the unfocused
  // colour; with popup mode in the focused colour.
  t.SetSelected(t.GetNextSibling(a), true);
  const int32_t top = 3 * 18, left = static_cast<int32_t>(t.Indent()) + t.Margin();
  t.Colors().Set(TNTColors::UnfocusedSelectionColor, clYellow);
  t.Colors().Set(TNTColors::FocusedSelectionColor, clLime);
  b = paintWindow(t, TRect(0, 0, 200, 5 * 18), AllPaintElements);
  EXPECT_EQ(b->GetPixel(left + 30, top + 1), ColorToRGB(clYellow));
  EXPECT_EQ(b->GetPixel(left + t.TextWidth + 2, top + 5), ColorToRGB(t.Color()));
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poPopupMode});
  b = paintWindow(t, TRect(0, 0, 200, 5 * 18), AllPaintElements);
  EXPECT_EQ(b->GetPixel(left + 30, top + 1), ColorToRGB(clLime));
  // Without the selection element nothing is drawn.
  b = paintWindow(t, TRect(0, 0, 200, 5 * 18), AllPaintElements - TNTPaintElements{peSelection});
  EXPECT_EQ(b->GetPixel(left + 30, top + 1), ColorToRGB(t.Color()));
}

TEST(TreePaint, ChildrenAboveLinesByPixel) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poChildrenAbove});
  t.SetRootNodeCount(2);
  PNTNode a = t.GetFirst();
  t.SetChildCount(a, 1);
  t.SetExpanded(a, true);
  const TColor line = ColorToRGB(t.Colors().Get(TNTColors::TreeLineColor));
  auto b = paintWindow(t, TRect(0, 0, 200, 3 * 18), AllPaintElements);
  auto ink = [&](int32_t x, int32_t y0, int32_t y1) {
    int n = 0;
    for (int32_t y = y0; y < y1; ++y) n += b->GetPixel(x, y) == line;
    return n;
  };
  // Row 0 is the child, drawn above its parent: nothing at level 0, its own
  // line from its middle down at level 1.
  EXPECT_EQ(ink(9, 0, 18), 0);
  EXPECT_EQ(ink(27, 0, 8), 0);
  EXPECT_GT(ink(27, 10, 18), 3);
  // The parent (first top-level node) starts its line at its button.
  EXPECT_EQ(ink(9, 18, 22), 0);
  EXPECT_GT(ink(9, 32, 36), 1);
  // The last top-level node: from the top to its middle.
  EXPECT_GT(ink(9, 36, 44), 3);
  EXPECT_EQ(ink(9, 46, 54), 0);
}

// The button's frame top (its top-left corner is grey) by node alignment: 0
// counts the node's Alignment from the bottom, 1 from the top, 2 moves the
// button from the top (0 %) to the bottom (100 %) of the row.
TEST(TreePaint, NodeAlignmentPlacesTheButton) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.SetRootNodeCount(1);
  PNTNode a = t.GetFirst();
  t.SetChildCount(a, 1);
  struct Case {
    Byte mode, alignment;
    int32_t frameTop;
  } cases[] = {{0, 4, 14 - 4}, {1, 4, 4 - 4}, {2, 50, 9 - 4}, {2, 80, 7 + 4 - 4}, {2, 0, 4 - 4}, {2, 100, 9 + 4 - 4}};
  for (const Case& c : cases) {
    t.SetNodeAlignment(c.mode);
    a->Alignment = c.alignment;
    auto b = paintWindow(t, TRect(0, 0, 100, 18), AllPaintElements);
    int32_t top = -1;
    for (int32_t y = 0; y < 18 && top < 0; ++y)
      if (b->GetPixel(5, y) == ColorToRGB(clGray)) top = y;
    EXPECT_EQ(top, c.frameTop) << int(c.mode) << " " << int(c.alignment);
  }
}

// A 16 x 16 list: images 0 and 9 red, images 1 and 15 green in their
// top-left 4 x 4 pixels only.
std::unique_ptr<TImageList> redGreenList() {
  auto list = std::make_unique<TImageList>(nullptr, 16, 16);
  TBitmap strip(16 * 16, 16, pf32bit);
  strip.SetAlphaFormat(afDefined);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16 * 16; ++x) {
      const int32_t image = x / 16, ix = x % 16;
      Byte* p = strip.ScanLine(y) + x * 4;
      const bool green = (image == 1 || image == 15) && ix < 4 && y < 4;
      const bool red = image == 0 || image == 9;
      p[0] = 0;
      p[1] = green ? 255 : 0;
      p[2] = red ? 255 : 0;
      p[3] = red || green ? 255 : 0;
    }
  list->Add(strip);
  list->Overlay(1, 0);
  return list;
}

// Node images: ghosted, cut and selected images blend 25 % with the list's
// blend colour (with blended images on); overlays come from the list's
// overlay slots (0 to 14) or are images of their own (15 and up).
TEST(TreePaint, NodeImagesBlendAndCarryOverlays) {
  WidgetTree w;
  TextTree& t = *w.tree;
  std::unique_ptr<TImageList> list = redGreenList();
  list->BlendColor = clBlue;
  t.SetImages(list.get());
  t.SetRootNodeCount(2);
  bool ghosted = false;
  int32_t overlay = -1;
  t.OnImageIndexQuery = [&](TBaseNodeTree*, PNTNode, TNTImageKind kind, TColumnIndex, bool& g, int32_t& index) {
    if (kind == ikOverlay) {
      index = overlay;
      return;
    }
    index = 0;
    g = ghosted;
  };
  // Blending asks for focus, or for the option that stands in for it.
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poFocusRepaintsFocusedOnly});
  const int32_t x0 = static_cast<int32_t>(t.Indent()) + t.Margin(), y0 = 1;
  const TColor red = ColorToRGB(clRed);
  const TColor blended = RGB(192, 0, 63);  // 25 % blue over red
  auto centre = [&] { return paintWindow(t, TRect(0, 0, 100, 36), AllPaintElements)->GetPixel(x0 + 8, y0 + 8); };
  EXPECT_EQ(centre(), red);
  ghosted = true;
  EXPECT_EQ(centre(), blended);
  ghosted = false;
  t.SetSelected(t.GetFirst(), true);
  EXPECT_EQ(centre(), blended);
  t.Options().SetSelectionOptions(t.Options().SelectionOptions() + TNTSelectionOptions{slFullRowSelect});
  EXPECT_EQ(centre(), red);  // the bar covers the row: the image stays
  t.SetSelected(t.GetFirst(), false);
  t.GetFirst()->Include(nsCutCopyMarked);
  t.ChangeTreeState({stCutPending}, {});
  EXPECT_EQ(centre(), blended);
  t.Options().SetPaintOptions(t.Options().PaintOptions() - TNTPaintOptions{poUseBlendedImages});
  EXPECT_EQ(centre(), red);
  t.ChangeTreeState({}, {stCutPending});
  t.GetFirst()->Exclude(nsCutCopyMarked);
  // Overlays: slot 0 holds image 1; index 15 is image 15 itself.
  for (int32_t o : {0, 15}) {
    overlay = o;
    auto b = paintWindow(t, TRect(0, 0, 100, 36), AllPaintElements);
    EXPECT_EQ(b->GetPixel(x0 + 1, y0 + 1), ColorToRGB(clLime)) << o;
    EXPECT_EQ(b->GetPixel(x0 + 8, y0 + 8), red) << o;
  }
  t.SetImages(nullptr);
}

// On a selected row the check box blends with the selection colour when
// its list blends at all.
TEST(TreePaint, SelectedCheckImagesBlendWithTheSelectionColour) {
  WidgetTree w;
  TextTree& t = *w.tree;
  std::unique_ptr<TImageList> list = redGreenList();
  list->DrawingStyle = dsSelected;
  list->BlendColor = clBlue;
  t.SetCheckImages(list.get());
  t.Options().SetMiscOptions(t.Options().MiscOptions() + TNTMiscOptions{moCheckSupport});
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poPopupMode});
  t.Colors().Set(TNTColors::FocusedSelectionColor, clLime);
  t.SetRootNodeCount(2);
  for (PNTNode n = t.GetFirst(); n; n = t.GetNextSibling(n)) t.SetCheckType(n, ctCheckBox);
  t.SetSelected(t.GetFirst(), true);
  // Both rows show check image 9 of the list (unchecked, enabled): red.
  auto b = paintWindow(t, TRect(0, 0, 100, 36), AllPaintElements);
  const int32_t x = static_cast<int32_t>(t.Indent()) + t.Margin() + 8;
  EXPECT_EQ(b->GetPixel(x, 9), RGB(128, 127, 0));   // half lime over red
  EXPECT_EQ(b->GetPixel(x, 27), RGB(128, 0, 127));  // half blue over red
  EXPECT_EQ(list->DrawingStyle, dsSelected);
  EXPECT_EQ(list->BlendColor, clBlue);
  t.SetCheckImages(nullptr);
}

// Tree and grid lines follow the line style: dotted, solid, or the pattern
// the tree is asked for.
TEST(TreePaint, LineStyleDottedSolidOrAsked) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.SetRootNodeCount(3);
  const TColor line = ColorToRGB(t.Colors().Get(TNTColors::TreeLineColor));
  auto ink = [&] {
    auto b = paintWindow(t, TRect(0, 0, 100, 54), AllPaintElements);
    int n = 0;
    for (int32_t y = 18; y < 36; ++y) n += b->GetPixel(9, y) == line;  // the middle node's line runs through
    return n;
  };
  EXPECT_EQ(t.LineStyle(), 1);
  EXPECT_EQ(ink(), 9);
  t.SetLineStyle(2);
  EXPECT_EQ(ink(), 18);
  int asked = 0;
  t.OnLinePatternQuery = [&](TBaseNodeTree*, std::array<Word, 8>& pattern) {
    ++asked;
    pattern.fill(0);
    pattern[0] = 0xFF;  // one row in eight
  };
  t.SetLineStyle(0);
  EXPECT_EQ(ink(), 2);
  EXPECT_EQ(ink(), 2);
  EXPECT_EQ(asked, 1);  // the pattern is built once
  // A new line colour builds the line images again.
  t.Colors().Set(TNTColors::TreeLineColor, clRed);
  paintWindow(t, TRect(0, 0, 100, 54), AllPaintElements);
  EXPECT_EQ(asked, 2);
}

// The tree hears of changes of its image lists and of their end.
TEST(TreePaint, ImageListsTellTheTreeOfChangesAndTheirEnd) {
  HostedTree h;
  TBaseNodeTree& t = *h.tree;
  auto images = std::make_unique<TImageList>(nullptr, 16, 16);
  auto state = std::make_unique<TImageList>(nullptr, 16, 16);
  auto checks = std::make_unique<TImageList>(nullptr, 16, 16);
  t.SetImages(images.get());
  t.SetStateImages(state.get());
  t.SetCheckImages(checks.get());
  for (TImageList* list : {images.get(), state.get(), checks.get()}) {
    h.host.ClearCalls();
    list->Add(TBitmap(16, 16, pf32bit));
    EXPECT_FALSE(h.host.CallsOf(TRecordingNodeTreeHost::hcInvalidate).empty());
  }
  // A list the tree no longer uses does not repaint it.
  t.SetStateImages(nullptr);
  h.host.ClearCalls();
  state->Add(TBitmap(16, 16, pf32bit));
  EXPECT_TRUE(h.host.CallsOf(TRecordingNodeTreeHost::hcInvalidate).empty());
  images.reset();
  checks.reset();
  EXPECT_EQ(t.Images(), nullptr);
  EXPECT_EQ(t.CheckImages(), nullptr);
  paintWindow(t, TRect(0, 0, 100, 36), AllPaintElements);  // nothing left dangling
}

// Hint animation 3 follows the desktop's tooltip effects.
TEST(TreeHint, DesktopHintAnimationResolves) {
  HostedTree h;
  TBaseNodeTree& t = *h.tree;
  const bool general = QApplication::isEffectEnabled(Qt::UI_General);
  const bool animate = QApplication::isEffectEnabled(Qt::UI_AnimateTooltip);
  const bool fade = QApplication::isEffectEnabled(Qt::UI_FadeTooltip);
  QApplication::setEffectEnabled(Qt::UI_General, true);
  t.HintAnimation = 3;
  QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, false);
  EXPECT_EQ(t.EffectiveHintAnimation(), 0);
  QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, true);
  QApplication::setEffectEnabled(Qt::UI_FadeTooltip, true);
  EXPECT_EQ(t.EffectiveHintAnimation(), 1);
  QApplication::setEffectEnabled(Qt::UI_FadeTooltip, false);
  EXPECT_EQ(t.EffectiveHintAnimation(), 2);
  t.HintAnimation = 1;
  EXPECT_EQ(t.EffectiveHintAnimation(), 1);
  QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, animate);
  QApplication::setEffectEnabled(Qt::UI_FadeTooltip, fade);
  QApplication::setEffectEnabled(Qt::UI_General, general);
}

// Vertical grid lines end with the last node unless they run on below it.
TEST(TreePaint, FullVerticalGridLinesRunBelowTheLastNode) {
  WidgetTree w;
  TextTree& t = *w.tree;
  for (int i = 0; i < 2; ++i) t.Header().Columns().AddColumn()->SetWidth(60);
  t.SetRootNodeCount(2);
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poShowVertGridLines});
  const TColor grid = ColorToRGB(t.Colors().Get(TNTColors::GridLineColor));
  auto ink = [&](int32_t x) {
    auto b = paintWindow(t, TRect(0, 0, 300, 100), AllPaintElements);
    int n = 0;
    for (int32_t y = 40; y < 100; ++y) n += b->GetPixel(x, y) == grid;
    return n;
  };
  EXPECT_EQ(ink(59), 0);
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poFullVertGridLines});
  EXPECT_EQ(ink(59), 30);
  EXPECT_EQ(ink(119), 30);
  EXPECT_EQ(ink(100), 0);
  // The auto-resized last column draws no line at its right edge.
  t.Header().SetOptions(t.Header().Options() + THeaderOptions{hoAutoResize});
  auto rightEdge = [&](int i) {
    const TNodeTreeColumn* c = t.Header().Columns().Items(i);
    return c->Left() + c->Width() - 1;
  };
  ASSERT_LT(rightEdge(1), 300);
  EXPECT_EQ(ink(rightEdge(0)), 30);
  EXPECT_EQ(ink(rightEdge(1)), 0);
}

// Buffered rows take the pixel format asked for, unless blending needs the
// alpha channel.
TEST(TreePaint, RowsInTheAskedPixelFormat) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.SetRootNodeCount(2);
  t.SetSelected(t.GetFirst(), true);
  const TColor odd = RGB(200, 100, 50);
  t.Colors().Set(TNTColors::UnfocusedSelectionColor, odd);
  const int32_t x = static_cast<int32_t>(t.Indent()) + t.Margin() + 30;
  auto shown = [&](TPixelFormat format) {
    TBitmap b(100, 36, pf32bit);
    t.PaintTree(b.Canvas(), TRect(0, 0, 100, 36), {0, 0}, AllPaintElements, format);
    return b.GetPixel(x, 1);
  };
  EXPECT_EQ(shown(pfDevice), odd);
  EXPECT_EQ(shown(pf1bit), odd);  // blended images are on by default
  t.Options().SetPaintOptions(t.Options().PaintOptions() - TNTPaintOptions{poUseBlendedImages});
  const TColor mono = shown(pf1bit);
  EXPECT_TRUE(mono == RGB(0, 0, 0) || mono == RGB(255, 255, 255)) << std::hex << mono;
  EXPECT_EQ(shown(pf32bit), odd);
}

// Right to left, the rows put their columns where the header shows them and
// hit testing finds them: against the right edge of a wider window.
TEST(TreeWidget, RightToLeftRowsStandUnderTheirColumns) {
  WidgetTree w(300, 100);
  TextTree& t = *w.tree;
  TNodeTreeColumn* c = t.Header().Columns().AddColumn();
  c->SetWidth(100);
  c->SetColor(clYellow);
  t.Header().SetOptions(t.Header().Options() + THeaderOptions{hoVisible});
  t.SetRootNodeCount(1);
  t.SetBiDiMode(bdRightToLeft);
  const int32_t hh = t.Header().Height();
  ASSERT_EQ(t.RightToLeftShift(false), 200);
  TBitmap& b = w.render();
  EXPECT_EQ(b.GetPixel(250, hh + 9), ColorToRGB(clYellow));
  EXPECT_EQ(b.GetPixel(50, hh + 9), ColorToRGB(t.Color()));
  THitInfo hit;
  t.GetHitTestInfoAt(250, 9, true, hit);
  EXPECT_EQ(hit.HitColumn, 0);
  // Inside the cell the zones count from its right edge: the button, the
  // label, and the room left of it.
  t.SetChildCount(t.GetFirst(), 1);
  struct Zone {
    int32_t x;
    THitPosition zone;
  };
  for (Zone z : {Zone{295, hiOnItemButton}, Zone{250, hiOnItemLabel}, Zone{210, hiOnItemLeft}}) {
    t.GetHitTestInfoAt(z.x, 9, true, hit);
    EXPECT_TRUE(hit.HitPositions.Contains(z.zone)) << z.x;
  }
  // The cell's rectangle is where it is painted.
  const TRect cell = t.GetDisplayRect(t.GetFirst(), 0, false);
  EXPECT_EQ(cell.Left, 200);
  EXPECT_EQ(cell.Right, 299);
}

// Right to left the view is the mirror of left to right: the columns in
// reverse order, the offset counted from the right edge, the scroll bar at
// the position of what is shown, hit testing, cell rectangles and scrolling
// a column into view alike.
TEST(TreeWidget, RightToLeftScrolledIsTheMirrorOfLeftToRight) {
  const TColor colors[] = {clYellow, clAqua, clLime, clFuchsia};
  auto make = [&](WidgetTree& w, bool rtl) {
    TextTree& t = *w.tree;
    for (TColor color : colors) {
      TNodeTreeColumn* c = t.Header().Columns().AddColumn();
      c->SetWidth(150);
      c->SetColor(color);
    }
    t.Header().SetOptions(t.Header().Options() + THeaderOptions{hoVisible});
    t.Options().SetAutoOptions(t.Options().AutoOptions() + TNTAutoOptions{auBidiColumnOrdering});
    t.SetRootNodeCount(1);
    if (rtl) t.SetBiDiMode(bdRightToLeft);
  };
  WidgetTree ltrForm(300, 100), rtlForm(300, 100);
  make(ltrForm, false);
  make(rtlForm, true);
  TextTree& ltr = *ltrForm.tree;
  TextTree& rtl = *rtlForm.tree;
  ASSERT_EQ(rtl.ClientWidth(), 300);
  ASSERT_EQ(rtl.RangeX(), 600);
  EXPECT_EQ(rtl.Header().Columns().Items(0)->Position(), 3u);
  EXPECT_EQ(rtl.Header().Columns().Items(3)->Position(), 0u);
  // At the start the right end is shown, the bar at its right end.
  EXPECT_EQ(rtl.OffsetX(), 0);
  EXPECT_EQ(rtl.EffectiveOffsetX(), 300);
  EXPECT_EQ(rtl.ScrollBarControl(sbHorizontal)->Position(), 300);

  std::vector<int32_t> moved;
  rtl.OnScrolled = [&](TBaseNodeTree*, int32_t dx, int32_t) { moved.push_back(dx); };
  ltr.SetOffsetX(-100);
  rtl.SetOffsetX(-100);
  // The picture moves right: more of the left comes into view.
  EXPECT_EQ(moved, std::vector<int32_t>{100});
  EXPECT_EQ(ltr.EffectiveOffsetX(), 100);
  EXPECT_EQ(rtl.EffectiveOffsetX(), 200);
  EXPECT_EQ(ltr.ScrollBarControl(sbHorizontal)->Position(), 100);
  EXPECT_EQ(rtl.ScrollBarControl(sbHorizontal)->Position(), 200);

  // Below the row each column shows its colour: the bands mirror.
  const int32_t y = rtl.Header().Height() + 30;
  ASSERT_LT(y - rtl.Header().Height(), rtl.ClientHeight());
  TBitmap a;
  a.Assign(ltrForm.render("rtl-mirror-ltr"));
  TBitmap& b = rtlForm.render("rtl-mirror-rtl");
  int mismatches = 0;
  for (int32_t x = 0; x < 300; ++x) mismatches += a.GetPixel(x, y) != b.GetPixel(299 - x, y);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(b.GetPixel(50, y), ColorToRGB(clLime));
  EXPECT_EQ(b.GetPixel(200, y), ColorToRGB(clAqua));
  EXPECT_EQ(b.GetPixel(280, y), ColorToRGB(clYellow));

  // Hit testing and cell rectangles agree with the picture.
  for (int32_t x : {10, 120, 280}) {
    THitInfo l, r;
    ltr.GetHitTestInfoAt(299 - x, 9, true, l);
    rtl.GetHitTestInfoAt(x, 9, true, r);
    EXPECT_EQ(r.HitColumn, l.HitColumn) << x;
  }
  for (TColumnIndex c = 0; c < 4; ++c) {
    const TRect l = ltr.GetDisplayRect(ltr.GetFirst(), c, false);
    const TRect r = rtl.GetDisplayRect(rtl.GetFirst(), c, false);
    EXPECT_EQ(r.Left, 299 - l.Right) << c;
    EXPECT_EQ(r.Right, 299 - l.Left) << c;
  }

  // Bringing a column into view, or into the middle, takes the same offset.
  for (TextTree* t : {&ltr, &rtl}) {
    t->ScrollIntoView(TColumnIndex{3}, false);
    EXPECT_EQ(t->OffsetX(), -300);
    t->SetOffsetX(-100);
    t->ScrollIntoView(TColumnIndex{2}, true);
    EXPECT_EQ(t->OffsetX(), -225);
  }
  EXPECT_EQ(rtl.EffectiveOffsetX(), 75);
  EXPECT_EQ(rtl.ScrollBarControl(sbHorizontal)->Position(), 75);

  // The bar drives the offset, its ends included.
  rtl.ScrollBarControl(sbHorizontal)->QtScrollBar()->setSliderPosition(0);
  EXPECT_EQ(rtl.OffsetX(), -300);
  rtl.Perform(WM_HSCROLL, SB_RIGHT, 0);
  EXPECT_EQ(rtl.OffsetX(), 0);
  EXPECT_EQ(rtl.ScrollBarControl(sbHorizontal)->Position(), 300);
  rtl.Perform(WM_HSCROLL, SB_LEFT, 0);
  EXPECT_EQ(rtl.EffectiveOffsetX(), 0);
  rtl.Perform(WM_HSCROLL, SB_LINERIGHT, 0);
  EXPECT_EQ(rtl.EffectiveOffsetX(), rtl.HorizontalIncrement);

  // A wider column keeps the view where it stands against the right edge.
  rtl.SetOffsetX(-100);
  rtl.Header().Columns().Items(0)->SetWidth(200);
  EXPECT_EQ(rtl.OffsetX(), -100);
  EXPECT_EQ(rtl.EffectiveOffsetX(), 250);
  EXPECT_EQ(rtl.ScrollBarControl(sbHorizontal)->Position(), 250);
  // Back to left to right the offset keeps its distance from the start.
  rtl.SetBiDiMode(bdLeftToRight);
  EXPECT_EQ(rtl.Header().Columns().Items(0)->Position(), 0u);
  EXPECT_EQ(rtl.EffectiveOffsetX(), 100);
  EXPECT_EQ(rtl.ScrollBarControl(sbHorizontal)->Position(), 100);

  // A fixed column stays first, at the left where it does not scroll; the
  // others turn round.
  TNodeTreeColumn* first = rtl.Header().Columns().Items(0);
  first->SetOptions(first->Options() + TNTColumnOptions{coFixed});
  rtl.SetBiDiMode(bdRightToLeft);
  const std::vector<int32_t> order{0, 3, 2, 1};
  EXPECT_EQ(rtl.Header().Columns().PositionMap(), order);
  rtl.SetOffsetX(-100);
  THitInfo hit;
  rtl.GetHitTestInfoAt(10, 9, true, hit);
  EXPECT_EQ(hit.HitColumn, 0);
}

TEST(TreePaint, WidestCellOfAColumn) {
  TextTree t(nullptr);
  TRecordingNodeTreeHost host(300, 200);
  t.SetHost(&host);
  for (int i = 0; i < 2; ++i) t.Header().Columns().AddColumn()->SetWidth(100);
  t.SetRootNodeCount(2);
  t.SetChildCount(t.GetFirst(), 1);
  t.SetExpanded(t.GetFirst(), true);
  const int32_t indent = static_cast<int32_t>(t.Indent());
  const int32_t columnMargin = t.Header().Columns().Items(0)->Margin();
  // The main column adds the indent of the deepest node (one more level for
  // the root lines); the others only margins and the node width.
  EXPECT_EQ(t.GetMaxColumnWidth(0, false), 2 * indent + t.Margin() + t.TextWidth + columnMargin);
  EXPECT_EQ(t.GetMaxColumnWidth(1, false), t.Margin() + t.TextWidth + columnMargin);
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poShowVertGridLines});
  EXPECT_EQ(t.GetMaxColumnWidth(1, false), t.Margin() + t.TextWidth + columnMargin + 1);
  t.OnColumnWidthMeasured = [](TNTHeader*, TColumnIndex, int32_t& width) { width = 7; };
  EXPECT_EQ(t.GetMaxColumnWidth(1, false), 7);
  t.BeforeDestruction();
}

TEST(TreePaint, DropMarksAboveAndBelowOnly) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.SetRootNodeCount(3);
  PNTNode n = t.GetNextSibling(t.GetFirst());
  t.Colors().Set(TNTColors::DropMarkColor, clRed);
  t.Colors().Set(TNTColors::DropTargetColor, clBlue);
  t.SetDropTarget(n);
  const TColor red = ColorToRGB(clRed);
  struct Case {
    TNTDropMode mode;
    bool top, bottom;
  };
  for (Case c : {Case{dmAbove, true, false}, Case{dmBelow, false, true}, Case{dmOnNode, false, false}}) {
    SCOPED_TRACE(c.mode);
    t.DropMode = c.mode;
    auto b = paintWindow(t, TRect(0, 0, 200, 54), AllPaintElements);
    EXPECT_EQ(b->GetPixel(100, 18) == red, c.top);
    EXPECT_EQ(b->GetPixel(100, 34) == red, c.bottom);
  }
}

TEST(TreePaint, BufferedUnbufferedAndTheWidgetAgree) {
  WidgetTree w(300, 200);
  TextTree& t = *w.tree;
  t.Options().SetMiscOptions(t.Options().MiscOptions() + TNTMiscOptions{moCheckSupport});
  t.SetRootNodeCount(20);
  PNTNode a = t.GetFirst();
  t.SetChildCount(a, 3);
  t.SetExpanded(a, true);
  t.SetCheckType(t.GetFirstChild(a), ctCheckBox);
  t.SetSelected(t.GetNextSibling(a), true);
  t.SetOffsetY(-7);
  TRect window = t.ClientRect();
  window.Offset(t.EffectiveOffsetX(), -t.OffsetY());
  auto buffered = paintWindow(t, window, AllPaintElements);
  auto unbuffered = paintWindow(t, window, AllPaintElements + TNTPaintElements{peUnbuffered});
  TBitmap& widget = w.render();
  const TRect client = t.ClientRect();
  EXPECT_TRUE(samePixels(*buffered, *unbuffered, client));
  EXPECT_TRUE(samePixels(*buffered, widget, client));
}

TEST(TreeWidget, HeaderStripAboveAndFixedColumnsStayWhileTheRestScrolls) {
  WidgetTree w(300, 200);
  TextTree& t = *w.tree;
  TNTHeader& h = t.Header();
  for (int i = 0; i < 3; ++i) h.Columns().AddColumn()->SetWidth(150);
  TNodeTreeColumn* fixed = h.Columns().Items(0);
  fixed->SetOptions(fixed->Options() + TNTColumnOptions{coFixed});
  h.SetOptions(h.Options() + THeaderOptions{hoVisible});
  h.SetBackground(clYellow);
  t.SetRootNodeCount(5);
  TBitmap& before = w.render("fixed-before");
  const int32_t hh = h.Height();
  ASSERT_GT(hh, 0);
  EXPECT_EQ(t.ClientHeight(), 200 - hh - t.Host().ScrollBarSize(sbHorizontal));
  // The first row starts right below the header strip.
  EXPECT_EQ(before.GetPixel(60, hh + 2), ColorToRGB(t.Color()));
  EXPECT_NE(before.GetPixel(60, hh - 3), ColorToRGB(t.Color()));
  TBitmap left;
  left.Assign(before);
  t.SetOffsetX(-100);
  EXPECT_EQ(t.EffectiveOffsetX(), 100);
  TBitmap& after = w.render("fixed-after");
  // The fixed column is unchanged, rows and header alike; what lies right
  // of it moved 100 pixels to the left.
  EXPECT_TRUE(samePixels(left, after, TRect(0, 0, 150, 200 - 20)));
  bool moved = true;
  for (int32_t y = 0; y < 5 * 18 + hh; ++y)
    for (int32_t x = 150; x < 190; ++x)
      if (left.GetPixel(x + 100, y) != after.GetPixel(x, y)) moved = false;
  EXPECT_TRUE(moved);
  // The fixed column is in view however far the rest scrolled.
  EXPECT_TRUE(t.ScrollIntoView(TColumnIndex{0}, false));
  EXPECT_EQ(t.OffsetX(), -100);
}

TEST(TreeRanges, BarsRangesAndScrollCodes) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(3);
  EXPECT_EQ(t.RangeY(), 54);
  EXPECT_FALSE(t.ScrollBarControl(sbVertical)->Visible());
  EXPECT_FALSE(t.ScrollBarControl(sbHorizontal)->Visible());
  // Always visible: shown although everything fits (and no exception for a
  // page beyond the range).
  t.AlwaysVisibleScrollBars = true;
  t.UpdateScrollBars(true);
  EXPECT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  t.AlwaysVisibleScrollBars = false;
  t.UpdateScrollBars(true);
  EXPECT_FALSE(t.ScrollBarControl(sbVertical)->Visible());

  t.SetRootNodeCount(100);
  EXPECT_EQ(t.RangeY(), 1800);
  ASSERT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  t.Perform(WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(t.OffsetY(), t.ClientHeight() - 1800);
  EXPECT_EQ(t.ScrollBarControl(sbVertical)->Position(), 1800 - t.ClientHeight());
  t.Perform(WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(t.OffsetY(), 0);
  t.Perform(WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(t.OffsetY(), -t.ClientHeight());
  t.Perform(WM_VSCROLL, SB_LINEUP, 0);
  EXPECT_EQ(t.OffsetY(), -t.ClientHeight() + t.VerticalIncrement);
  // Through the scroll bar itself.
  t.ScrollBarControl(sbVertical)->QtScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(t.OffsetY(), 0);
  t.ScrollBarControl(sbVertical)->QtScrollBar()->setSliderPosition(500);
  EXPECT_EQ(t.OffsetY(), -500);
  // A wheel notch scrolls down by three default node heights.
  t.Perform(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(-120)) << 16, 0);
  EXPECT_EQ(t.OffsetY(), -500 - 3 * 18);
}

// Showing the header, or making it taller, takes room from the rows: the
// vertical bar appears, and its page follows, without waiting for a resize.
TEST(TreeRanges, TheHeaderStripResizesTheClientAreaAtOnce) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(5);  // 90 pixels: fits without the header
  TNTHeader& h = t.Header();
  h.Columns().AddColumn()->SetWidth(150);
  ASSERT_FALSE(t.ScrollBarControl(sbVertical)->Visible());
  h.SetOptions(h.Options() + THeaderOptions{hoVisible});
  EXPECT_EQ(t.ClientHeight(), 100 - h.Height());
  ASSERT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  EXPECT_EQ(t.Host().GetScrollInfo(sbVertical).Page, static_cast<uint32_t>(t.ClientHeight() + 1));
  h.SetHeight(h.Height() + 10);
  EXPECT_EQ(t.ClientHeight(), 100 - h.Height());
  EXPECT_EQ(t.Host().GetScrollInfo(sbVertical).Page, static_cast<uint32_t>(t.ClientHeight() + 1));
  h.SetOptions(h.Options() - THeaderOptions{hoVisible});
  EXPECT_FALSE(t.ScrollBarControl(sbVertical)->Visible());
  EXPECT_EQ(t.ClientHeight(), 100);
}

// The tree's scroll bar options are its own settings: bars appear and go at
// once, and a line scroll steps by the increment.
TEST(TreeRanges, ScrollBarOptionsDriveTheBars) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  TScrollBarOptions& o = t.ScrollBarOptions();
  EXPECT_EQ(o.ScrollBars(), ssBoth);
  t.SetRootNodeCount(3);
  ASSERT_FALSE(t.ScrollBarControl(sbVertical)->Visible());
  o.SetAlwaysVisible(true);
  EXPECT_TRUE(t.AlwaysVisibleScrollBars);
  EXPECT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  o.SetAlwaysVisible(false);
  EXPECT_FALSE(t.ScrollBarControl(sbVertical)->Visible());
  t.SetRootNodeCount(100);
  ASSERT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  o.SetScrollBars(ssHorizontal);
  EXPECT_FALSE(t.ScrollBarControl(sbVertical)->Visible());
  EXPECT_EQ(t.ClientWidth(), 200);
  o.SetScrollBars(ssBoth);
  EXPECT_TRUE(t.ScrollBarControl(sbVertical)->Visible());
  o.SetVerticalIncrement(7);
  t.Perform(WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(t.OffsetY(), -7);
  // Assign copies them between trees.
  TextTree other(nullptr);
  other.ScrollBarOptions().Assign(&o);
  EXPECT_EQ(other.VerticalIncrement, 7);
  other.BeforeDestruction();
}

TEST(TreeRanges, AWheelNotchOnFittingContentScrollsSideways) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  for (int i = 0; i < 8; ++i) t.Header().Columns().AddColumn()->SetWidth(50);
  t.SetRootNodeCount(2);
  ASSERT_GT(t.RangeX(), t.ClientWidth());
  ASSERT_GE(t.ClientHeight(), t.RangeY());
  t.Perform(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(-120)) << 16, 0);
  EXPECT_EQ(t.OffsetY(), 0);
  // Three lines of the columns' step, their mean width.
  EXPECT_EQ(t.OffsetX(), -3 * 50);
}

TEST(TreeWidget, APartialUpdateRepaintsOnlyItsRectangle) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(5);
  w.form.Show();
  QApplication::processEvents();
  std::vector<Cardinal> painted;
  t.OnPainted = [&](PNTNode n) { painted.push_back(n->Index); };
  t.InvalidateNode(t.GetNextSibling(t.GetNextSibling(t.GetFirst())));
  for (int i = 0; i < 5 && painted.empty(); ++i) QApplication::processEvents();
  EXPECT_EQ(painted, std::vector<Cardinal>{2});
  w.form.Close();
}

TEST(TreeWidget, SelectionInTheFocusedColourWhileFocused) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(3);
  t.SetSelected(t.GetFirst(), true);
  t.Colors().Set(TNTColors::UnfocusedSelectionColor, clYellow);
  t.Colors().Set(TNTColors::FocusedSelectionColor, clLime);
  w.form.Show();
  QApplication::setActiveWindow(w.form.Widget());
  t.SetFocus();
  for (int i = 0; i < 20 && !t.Focused(); ++i) QApplication::processEvents();
  ASSERT_TRUE(t.Focused());
  const int32_t x = static_cast<int32_t>(t.Indent()) + t.Margin() + 30;
  EXPECT_EQ(w.render().GetPixel(x, 1), ColorToRGB(clLime));
  w.form.Close();
}

TEST(TreeMessages, DialogCodesAndQueries) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  EXPECT_EQ(t.Perform(WM_GETDLGCODE, 0, 0), 0x81);
  t.WantTabs = true;
  EXPECT_EQ(t.Perform(WM_GETDLGCODE, 0, 0), 0x83);
  EXPECT_EQ(t.Perform(CM_AUTOADJUST, 0, 0), 1);
  t.SetRootNodeCount(3);
  PNTNode first = t.GetFirst();
  EXPECT_EQ(reinterpret_cast<PNTNode>(t.Perform(TVM_GETNEXTITEM, TVGN_ROOT, 0)), first);
  EXPECT_EQ(reinterpret_cast<PNTNode>(t.Perform(TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(first))),
            t.GetNextSibling(first));
  EXPECT_EQ(t.Perform(TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(first)), 0);
  EXPECT_EQ(t.Perform(TVM_GETNEXTITEM, TVGN_NEXT, 0), 0);
  EXPECT_EQ(t.Perform(TVM_GETNEXTITEM, 99, reinterpret_cast<LPARAM>(first)), 0);
  // The state message enters and leaves states from 4-bit sets.
  t.Perform(WM_CHANGESTATE, 1 | 2, 0);
  EXPECT_TRUE(t.TreeStates().Contains(stClearPending));
  EXPECT_TRUE(t.TreeStates().Contains(stEditPending));
  t.Perform(WM_CHANGESTATE, 0, 2);
  EXPECT_FALSE(t.TreeStates().Contains(stEditPending));
  // TVM_GETITEM copies at most size - 1 characters; a buffer of size 0 gets
  // nothing at all.
  t.Text = u"Hello";
  char buffer[8] = "xxxxxxx";
  TTVItem item;
  item.Mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
  item.Item = first;
  item.Text = buffer;
  item.TextMax = 4;
  t.SetSelected(first, true);
  EXPECT_EQ(t.Perform(TVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)), 1);
  EXPECT_STREQ(buffer, "Hel");
  EXPECT_EQ(item.State & 0x02, 0x02u);
  std::memcpy(buffer, "xxxxxxx", 8);
  item.TextMax = 0;
  t.Perform(TVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(buffer, "xxxxxxx");
}

TEST(TreeSupport, BlendingModesAndClippingToBothBitmaps) {
  auto filled = [](int32_t w, int32_t h, TColor c, Byte alpha) {
    auto b = std::make_unique<TBitmap>(w, h, pf32bit);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        b->SetPixelColor(x, y, c);
        b->ScanLine(y)[x * 4 + 3] = alpha;
      }
    return b;
  };
  auto source = filled(4, 4, RGB(200, 100, 0), 128);
  struct Case {
    int mode, alpha, bias;
    TColor expected;
  };
  const Case cases[] = {
      {0, 0, 0, RGB(10, 20, 30)},       // nothing changes
      {0, 255, 0, RGB(199, 99, 0)},     // the source, less one unit of rounding
      {1, 0, 0, RGB(105, 60, 15)},      // the source's alpha 128: half way
      {2, 255, 0, RGB(105, 60, 15)},    // 255 * 128 >> 8 = 127
      {0, 0, 10, RGB(20, 30, 40)},      // the bias is added
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode * 1000 + c.alpha);
    auto dest = filled(4, 4, RGB(10, 20, 30), 255);
    BlendDIBPixels(source.get(), *dest, TRect(0, 0, 4, 4), {0, 0}, c.mode, c.alpha, c.bias);
    const TColor got = dest->GetPixel(1, 1);
    EXPECT_NEAR(GetRValue(got), GetRValue(c.expected), 1);
    EXPECT_NEAR(GetGValue(got), GetGValue(c.expected), 1);
    EXPECT_NEAR(GetBValue(got), GetBValue(c.expected), 1);
  }
  // Mode 3 tints the destination with the colour passed as bias.
  auto tinted = filled(4, 4, RGB(0, 0, 0), 255);
  BlendDIBPixels(nullptr, *tinted, TRect(1, 1, 3, 3), {}, 3, 128, static_cast<int>(RGB(255, 0, 0)));
  EXPECT_EQ(GetRValue(tinted->GetPixel(1, 1)), 127);
  EXPECT_EQ(tinted->GetPixel(0, 0), RGB(0, 0, 0));
  // Rectangles reaching outside either bitmap are clipped to both (the
  // address sanitizer would see a write outside).
  auto small = filled(3, 3, RGB(10, 20, 30), 255);
  BlendDIBPixels(source.get(), *small, TRect(-1, -1, 40, 40), {-2, 0}, 0, 255, 0);
  EXPECT_NEAR(GetRValue(small->GetPixel(0, 1)), 199, 1);  // source (1, 0) lands at (0, 1)
  EXPECT_NEAR(GetRValue(small->GetPixel(1, 0)), 10, 1);   // above the target: untouched
  BlendDIBPixels(source.get(), *small, TRect(2, 2, 9, 9), {2, 2}, 0, 255, 0);
  EXPECT_NEAR(GetRValue(small->GetPixel(2, 2)), 199, 1);
  EXPECT_EQ(OrderRect(TRect(10, 10, 0, 0)), TRect(0, 0, 10, 10));
}


TEST(TreePaint, HotCheckImagesComeFromTheirStripImages) {
  WidgetTree w;
  TextTree& t = *w.tree;
  t.Options().SetMiscOptions(t.Options().MiscOptions() + TNTMiscOptions{moCheckSupport});
  t.Options().SetPaintOptions(t.Options().PaintOptions() - TNTPaintOptions{poShowTreeLines});
  // The artwork strip draws hot boxes in a colour of their own.
  t.CheckImageKind = 1;
  t.SetRootNodeCount(2);
  PNTNode n = t.GetFirst();
  const int32_t checkX = static_cast<int32_t>(t.Indent()) + t.Margin() + 8;
  std::set<int32_t> seen;
  for (TCheckType type : {ctCheckBox, ctRadioButton, ctButton})
    for (int state = csUncheckedNormal; state <= csMixedPressed; ++state) {
      SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(state));
      t.SetCheckType(n, type);
      n->CheckState = static_cast<Byte>(state);
      // The mouse over the check box makes the node hot; away from the
      // rows it is not.
      t.Perform(WM_MOUSEMOVE, 0, MakeLParam(checkX, 9));
      ASSERT_EQ(t.HotNode(), n);
      const int32_t hot = t.GetCheckImageIndex(n, ctNone, true, csUncheckedNormal, false);
      EXPECT_EQ(hot, t.GetCheckImageIndex(nullptr, type, true, static_cast<TCheckState>(state), true));
      seen.insert(hot);
      expectCheckImage(t, *paintWindow(t, TRect(0, 0, 100, 18), AllPaintElements), hot);
      t.Perform(WM_MOUSEMOVE, 0, MakeLParam(checkX, 150));
      ASSERT_EQ(t.HotNode(), nullptr);
      const int32_t cold = t.GetCheckImageIndex(n, ctNone, true, csUncheckedNormal, false);
      expectCheckImage(t, *paintWindow(t, TRect(0, 0, 100, 18), AllPaintElements), cold);
      if (state % 2 == 0) EXPECT_NE(hot, cold);  // normal states have a hot image of their own
    }
  EXPECT_EQ(seen, (std::set<int32_t>{2, 3, 6, 7, 10, 11, 14, 15, 18, 19, 22, 23}));
}

// The row buffer's pixels blended with the colour at alpha: what the
// selection and the rubber band leave on a plain background.
TColor blendOf(TColor under, TColor over, int alpha) {
  auto mix = [&](int d, int c) { return (c * alpha + d * (256 - alpha)) >> 8; };
  under = ColorToRGB(under);
  over = ColorToRGB(over);
  return RGB(mix(GetRValue(under), GetRValue(over)), mix(GetGValue(under), GetGValue(over)),
             mix(GetBValue(under), GetBValue(over)));
}

TEST(TreeLook, BlendedSelectionAndRubberBand) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetColor(clWhite);
  t.SetRootNodeCount(5);
  t.SetSelected(t.GetNextSibling(t.GetFirst()), true);
  t.Colors().Set(TNTColors::UnfocusedSelectionColor, clBlue);
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poUseBlendedSelection});
  t.SelectionBlendFactor = 100;
  const int32_t left = static_cast<int32_t>(t.Indent()) + t.Margin();
  const TRect window(0, 0, 200, 90);
  auto b = paintWindow(t, window, AllPaintElements);
  // Inside the selection (away from the text) the tree colour shows
  // through; right of the node width nothing is blended.
  EXPECT_EQ(b->GetPixel(left + 30, 18 + 1), blendOf(clWhite, clBlue, 100));
  EXPECT_EQ(b->GetPixel(left + t.TextWidth + 3, 18 + 1), ColorToRGB(clWhite));
  // Unbuffered the canvas blends: the same within rounding.
  auto u = paintWindow(t, window, AllPaintElements + TNTPaintElements{peUnbuffered});
  const TColor ub = u->GetPixel(left + 30, 18 + 1);
  EXPECT_NEAR(GetRValue(ub), GetRValue(blendOf(clWhite, clBlue, 100)), 2);
  EXPECT_NEAR(GetBValue(ub), 255, 2);

  // The rubber band: blended with its own colour and framed; the dotted
  // mode leaves the inside alone.
  t.SetSelected(t.GetNextSibling(t.GetFirst()), false);
  t.Colors().Set(TNTColors::SelectionRectangleBlendColor, clLime);
  t.Colors().Set(TNTColors::SelectionRectangleBorderColor, clRed);
  t.SelectionRect = TRect(150, 60, 110, 20);  // drawn from the bottom right: normalised
  t.ChangeTreeState({stDrawSelecting, stLeftButtonDown}, {});
  struct Case {
    TNTDrawSelectionMode mode;
    TColor inside, edge;
  };
  for (Case c : {Case{smBlendedRectangle, blendOf(clWhite, clLime, 100), ColorToRGB(clRed)},
                 Case{smDottedRectangle, ColorToRGB(clWhite), clNone}}) {
    SCOPED_TRACE(c.mode);
    t.DrawSelectionMode = c.mode;
    b = paintWindow(t, window, AllPaintElements);
    EXPECT_EQ(b->GetPixel(130, 40), c.inside);
    EXPECT_EQ(b->GetPixel(130, 36), c.inside);  // across a row boundary
    EXPECT_EQ(b->GetPixel(160, 40), ColorToRGB(clWhite));
    if (c.edge != clNone) {
      EXPECT_EQ(b->GetPixel(110, 40), c.edge);
      EXPECT_EQ(b->GetPixel(130, 20), c.edge);
      EXPECT_EQ(b->GetPixel(130, 59), c.edge);
    }
  }
  if (std::getenv("PX_TREE_PNG_DIR")) {
    t.DrawSelectionMode = smBlendedRectangle;
    t.SetSelected(t.GetFirst(), true);
    w.render("blended-selection-rubber-band");
  }
  t.ChangeTreeState({}, {stDrawSelecting, stLeftButtonDown});
}

TEST(TreeLook, ButtonStylesAndFillModes) {
  WidgetTree w(200, 60);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(2);
  t.SetChildCount(t.GetFirst(), 1);
  t.SetChildCount(t.GetNextSibling(t.GetFirst()), 1);
  t.SetExpanded(t.GetFirst(), true);
  // The rows show red where the buttons leave them.
  t.OnNodeErasing = [](TBaseNodeTree*, TCanvas&, PNTNode, const TRect&, TItemEraseAction& action, TColor& color) {
    action = eaColor;
    color = clRed;
  };
  TBitmap xp;
  xp.SetSize(9, 9);
  xp.Canvas().Brush().SetColor(clRed);
  xp.Canvas().FillRect(TRect(0, 0, 9, 9));
  SharedTreeImages("NT_XPBUTTONPLUS")->Draw(xp.Canvas(), 0, 0, 0, true);
  t.SetColor(clYellow);
  // The collapsed second node (third row) has its button at (5, 36 + 5).
  const int32_t bx = 5, by = 2 * 18 + 5;
  struct Case {
    const char* name;
    Byte style, fill;
    TPoint probe;
    TColor expected;
  };
  const Case cases[] = {
      {"square, tree colour", 0, 0, {2, 2}, ColorToRGB(t.Color())},
      {"square, frame", 0, 0, {0, 4}, ColorToRGB(clGray)},
      {"square, plus stem", 0, 0, {4, 2}, ColorToRGB(clWindowText)},
      {"square, window colour", 0, 1, {2, 2}, ColorToRGB(clWindow)},
      {"square, see-through", 0, 3, {2, 2}, ColorToRGB(clRed)},
      {"triangle, right-pointing", 1, 0, {3, 4}, ColorToRGB(clBlack)},
      {"triangle, outside", 1, 0, {8, 1}, ColorToRGB(clRed)},
      {"artwork", 0, 2, {1, 1}, xp.GetPixel(1, 1)},
      {"artwork, corner", 0, 2, {4, 4}, xp.GetPixel(4, 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    t.SetButtonStyle(c.style);
    t.SetButtonFillMode(c.fill);
    auto b = paintWindow(t, TRect(0, 0, 200, 54), AllPaintElements);
    EXPECT_EQ(b->GetPixel(bx + c.probe.X, by + c.probe.Y), c.expected);
    if (std::getenv("PX_TREE_PNG_DIR")) w.render(std::string("buttons-") + c.name);
  }
  // The down-pointing minus triangle of the open first node.
  auto b = paintWindow(t, TRect(0, 0, 200, 54), AllPaintElements);
  t.SetButtonStyle(1);
  b = paintWindow(t, TRect(0, 0, 200, 54), AllPaintElements);
  EXPECT_EQ(b->GetPixel(5 + 4, 5 + 3), ColorToRGB(clBlack));
  EXPECT_EQ(b->GetPixel(5 + 1, 5 + 6), ColorToRGB(clRed));
  // Themes on: the style's branch glyphs, open and closed differ.
  t.SetButtonStyle(0);
  t.Options().SetPaintOptions(t.Options().PaintOptions() - TNTPaintOptions{poUseThemes});
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poUseThemes});
  ASSERT_TRUE(t.TreeStates().Contains(stThemed));
  const TBitmap& plus = t.ButtonBitmap(0);
  const TBitmap& minus = t.ButtonBitmap(1);
  EXPECT_FALSE(samePixels(plus, minus, TRect(0, 0, 9, 9)));
  b = paintWindow(t, TRect(0, 0, 200, 54), AllPaintElements);
  int dark = 0;
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x) dark += GetRValue(b->GetPixel(bx + x, by + y)) < 128;
  EXPECT_GT(dark, 2);
  if (std::getenv("PX_TREE_PNG_DIR")) w.render("buttons-themed");
  t.Options().SetPaintOptions(t.Options().PaintOptions() - TNTPaintOptions{poUseThemes});
  EXPECT_FALSE(t.TreeStates().Contains(stThemed));
}

TEST(TreeLook, BandsInTheGridLineColour) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(2);
  PNTNode a = t.GetFirst();
  t.SetChildCount(a, 2);
  t.SetExpanded(a, true);
  t.Colors().Set(TNTColors::GridLineColor, clRed);
  t.Colors().Set(TNTColors::TreeLineColor, clBlue);
  t.LineMode = 1;
  auto b = paintWindow(t, TRect(0, 0, 200, 72), AllPaintElements);
  auto count = [&](TColor color, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    int n = 0;
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) n += b->GetPixel(x, y) == ColorToRGB(color);
    return n;
  };
  // Rows: a (open), a0, a1 (its last child), b (last top-level node).
  EXPECT_EQ(count(clBlue, 0, 200, 0, 72), 0);          // no tree lines
  EXPECT_GT(count(clRed, 0, 1, 0, 18), 5);             // a: a band on the left edge
  EXPECT_EQ(count(clRed, 1, 18, 17, 18), 0);           // open: not closed below
  EXPECT_GT(count(clRed, 0, 1, 18, 36), 5);            // a0, level 0
  EXPECT_GT(count(clRed, 18, 19, 18, 36), 5);          // a0, level 1
  EXPECT_EQ(count(clRed, 1, 18, 35, 36), 0);           // level 0 runs on below a0
  EXPECT_GT(count(clRed, 19, 36, 35, 36), 5);          // a0's own level closes
  EXPECT_GT(count(clRed, 1, 18, 53, 54), 5);           // a1 closes both levels
  EXPECT_GT(count(clRed, 1, 18, 71, 72), 5);           // and so does b
  // Bands belong to the grid lines.
  b = paintWindow(t, TRect(0, 0, 200, 72), AllPaintElements - TNTPaintElements{peGridLines});
  EXPECT_EQ(count(clRed, 0, 200, 0, 72), 0);
  if (std::getenv("PX_TREE_PNG_DIR")) w.render("bands");
}

TEST(TreeLook, BackgroundPictureTiledScrollingAndStatic) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(3);
  auto graphic = std::make_unique<TBitmapGraphic>();
  graphic->bitmap.SetSize(8, 8);
  graphic->bitmap.Canvas().Brush().SetColor(clGreen);
  graphic->bitmap.Canvas().FillRect(TRect(0, 0, 8, 8));
  graphic->bitmap.SetPixelColor(0, 0, clRed);
  t.Background().SetGraphic(std::move(graphic));
  t.BackgroundOffsetX = 3;
  t.BackgroundOffsetY = 2;
  t.BackgroundChanged();
  const TColor red = ColorToRGB(clRed), green = ColorToRGB(clGreen);
  // Without the option the rows keep the tree colour.
  auto b = paintWindow(t, TRect(0, 0, 200, 100), AllPaintElements);
  EXPECT_EQ(b->GetPixel(190, 2), ColorToRGB(t.Color()));
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poShowBackground});
  // Tiled from the offsets in tree coordinates: a window further down sees
  // the tiles moved up by as much, in the rows and below them alike.
  for (int32_t top : {0, 5}) {
    SCOPED_TRACE(top);
    b = paintWindow(t, TRect(0, top, 200, top + 100), AllPaintElements);
    for (int32_t y : {2 - top + 16, 2 - top + 64, 2 - top + 88}) {
      EXPECT_EQ(b->GetPixel(3 + 8 * 20, y), red) << y;
      EXPECT_EQ(b->GetPixel(4 + 8 * 20, y), green) << y;
    }
  }
  // Static: once, at the offsets from the window's corner, wherever the rows
  // are scrolled.
  t.Options().SetPaintOptions(t.Options().PaintOptions() + TNTPaintOptions{poStaticBackground});
  w.tree->SetBounds(0, 0, 200, 40);
  t.SetOffsetY(-10);
  ASSERT_EQ(t.OffsetY(), -10);
  TBitmap& shown = w.render("background-static");
  EXPECT_EQ(shown.GetPixel(3, 2), red);
  EXPECT_EQ(shown.GetPixel(4, 3), green);
  EXPECT_EQ(shown.GetPixel(3 + 8, 2), ColorToRGB(t.Color()));
}

TEST(TreeLook, FrameBevelBorderAndTheHeaderRectangle) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetRootNodeCount(2);
  TNTHeader& h = t.Header();
  h.Columns().AddColumn()->SetWidth(120);
  h.SetOptions(h.Options() + THeaderOptions{hoVisible});
  const int32_t hh = h.Height();
  // A new tree has the single sunken frame.
  {
    TextTree fresh(nullptr);
    EXPECT_EQ(fresh.BorderStyle(), bsSingle);
    fresh.BeforeDestruction();
  }
  // Without a frame the header strip starts at the corner.
  EXPECT_EQ(t.ComputeHeaderRect(), TRect(0, 0, 200, hh));
  EXPECT_EQ(t.BorderInsets(), (TSize{0, 0}));
  struct Case {
    const char* name;
    TBorderStyle style;
    bool ctl3D;
    TBevelKind bevel;
    int32_t border;
    int32_t inset;  // frame thickness on every side
  };
  const Case cases[] = {
      {"sunken edge", bsSingle, true, bkNone, 0, 2},
      {"line", bsSingle, false, bkNone, 0, 1},
      {"edge, bevel and border", bsSingle, true, bkFlat, 3, 2 + 2 + 3},
      {"border only", bsNone, true, bkNone, 4, 4},
  };
  t.Colors().Set(TNTColors::BorderColor, clRed);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    t.SetBorderStyle(c.style);
    t.SetCtl3D(c.ctl3D);
    t.SetBevelKind(c.bevel);
    t.SetBorderWidth(c.border);
    const int32_t i = c.inset;
    EXPECT_EQ(t.ComputeHeaderRect(), TRect(i, i, 200 - i, i + hh));
    EXPECT_EQ(t.ClientWidth(), 200 - 2 * i);
    EXPECT_EQ(t.ClientHeight(), 100 - 2 * i - hh);
    TBitmap& b = w.render(std::string("frame-") + c.name);
    // The outermost ring: the edge's shadow, the line, or the border.
    const TColor outer = c.style == bsNone ? ColorToRGB(clRed) : c.ctl3D ? ColorToRGB(clBtnShadow)
                                                                          : ColorToRGB(clWindowFrame);
    EXPECT_EQ(b.GetPixel(50, 0), outer);
    if (c.border > 0) EXPECT_EQ(b.GetPixel(50, i - 1), ColorToRGB(clRed));
    // The first row starts right inside the frame, below the header.
    EXPECT_EQ(b.GetPixel(100, i + hh + 1), ColorToRGB(t.Color()));
    EXPECT_NE(b.GetPixel(100, i + hh - 1), ColorToRGB(t.Color()));
  }
  // A click inside the frame lands on the row below it.
  t.SetBorderStyle(bsSingle);
  t.SetCtl3D(true);
  t.SetBevelKind(bkNone);
  t.SetBorderWidth(0);
  int32_t nodeTop = 0;
  EXPECT_EQ(t.GetNodeAt(10, 20, true, nodeTop), t.GetNextSibling(t.GetFirst()));
}

TEST(TreeMessages, PrintNcDestroyCtl3DAndFocusLoss) {
  WidgetTree w(200, 100);
  TextTree& t = *w.tree;
  t.SetBorderStyle(bsSingle);
  TNTHeader& h = t.Header();
  h.Columns().AddColumn()->SetWidth(150);
  h.SetOptions(h.Options() + THeaderOptions{hoVisible});
  t.SetRootNodeCount(3);
  t.SetSelected(t.GetFirst(), true);
  // WM_PRINT paints frame, header and rows as the window shows them.
  TBitmap& shown = w.render();
  TBitmap printed(200, 100, pf32bit);
  printed.Canvas().Brush().SetColor(clFuchsia);
  printed.Canvas().FillRect(TRect(0, 0, 200, 100));
  t.Perform(WM_PRINT, reinterpret_cast<WPARAM>(&printed.Canvas()), PRF_CLIENT | PRF_NONCLIENT | PRF_CHECKVISIBLE);
  EXPECT_TRUE(samePixels(shown, printed, TRect(0, 0, 200, 100)));
  // Hidden, and asked to check: nothing.
  TBitmap untouched(200, 100, pf32bit);
  untouched.Canvas().Brush().SetColor(clFuchsia);
  untouched.Canvas().FillRect(TRect(0, 0, 200, 100));
  t.TControl::SetVisible(false);
  t.Perform(WM_PRINT, reinterpret_cast<WPARAM>(&untouched.Canvas()), PRF_CLIENT | PRF_CHECKVISIBLE);
  EXPECT_EQ(untouched.GetPixel(100, 50), ColorToRGB(clFuchsia));
  t.TControl::SetVisible(true);

  // The 3D look off: a one-pixel line instead of the two-pixel edge.
  const int32_t wide = t.ClientWidth();
  t.SetCtl3D(false);
  EXPECT_EQ(t.ClientWidth(), wide + 2);

  // Losing the focus ends an incremental search: the next one starts afresh.
  t.IncrementalSearch('N');
  ASSERT_FALSE(t.SearchBuffer().empty());
  t.Perform(WM_KILLFOCUS, 0, 0);
  EXPECT_TRUE(t.SearchBuffer().empty());
  EXPECT_EQ(t.LastSearchNode(), nullptr);

  // The window going away cancels a running animation.
  t.ChangeTreeState({stAnimating}, {});
  t.Perform(WM_NCDESTROY, 0, 0);
  EXPECT_TRUE(t.TreeStates().Contains(stCancelAnimation));
  t.ChangeTreeState({}, {stAnimating, stCancelAnimation});
}

TEST(TreeLook, CellContentInsetFromTheMeasuringPrePaint) {
  TextTree t(nullptr);
  TRecordingNodeTreeHost host(300, 200);
  t.SetHost(&host);
  for (int i = 0; i < 2; ++i) t.Header().Columns().AddColumn()->SetWidth(100);
  t.SetRootNodeCount(2);
  PNTNode n = t.GetFirst();
  TPoint margin;
  EXPECT_EQ(t.CellContentInset(n, 1, margin, t.Canvas(), 0), (TPoint{0, 0}));
  const int32_t plain = t.GetMaxColumnWidth(1, false);
  int measured = 0;
  t.OnCellPrePaint = [&](TBaseNodeTree*, TCanvas&, PNTNode, TColumnIndex, TNTCellPaintMode mode, const TRect& cell,
                         TRect& content) {
    if (mode != cpmGetContentMargin) return;
    ++measured;
    content = TRect(cell.Left + 5, cell.Top + 1, cell.Right - 7, cell.Bottom - 2);
  };
  EXPECT_EQ(t.CellContentInset(n, 1, margin, t.Canvas(), 0), (TPoint{12, 3}));
  EXPECT_EQ(margin, (TPoint{12, 3}));
  EXPECT_EQ(t.CellContentInset(n, 1, margin, t.Canvas(), 1), (TPoint{5, 1}));
  EXPECT_EQ(t.CellContentInset(n, 1, margin, t.Canvas(), 2), (TPoint{7, 2}));
  EXPECT_EQ(t.GetMaxColumnWidth(1, false), plain + 12);
  EXPECT_GT(measured, 0);
  // The text rectangle with the inset applied starts that much further in.
  const TRect text = t.GetDisplayRect(n, 1, true);
  const TRect inset = t.GetDisplayRect(n, 1, true, false, true);
  EXPECT_EQ(inset.Left, text.Left + 5);
  t.BeforeDestruction();
}

// A tree that keeps what the window shows at every step of an animation.
class AnimatedTree : public TextTree {
 public:
  using TextTree::TextTree;
  std::vector<TColor> Shown;  // at the probe point, after each step
  TPoint Probe;
  bool ToggleAnimationStep(TToggleAnimationData& data, Cardinal step, Cardinal stepSize) override {
    const bool result = TextTree::ToggleAnimationStep(data, step, stepSize);
    if (stepSize > 0) Shown.push_back(data.Surface->GetPixel(Probe.X, Probe.Y));
    return result;
  }
};

// With animated toggling the rows below a node slide down as it expands and
// up as it collapses, in the window, step by step; inside an update bracket
// or without the option nothing is animated.
TEST(TreeLook, TogglingSlidesTheRowsBelow) {
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  TForm form(nullptr);
  form.SetBounds(0, 0, 320, 220);
  auto* t = new AnimatedTree(&form);
  t->SetBounds(0, 0, 300, 200);
  t->SetBorderStyle(bsNone);
  t->SetParent(&form);
  form.Show();
  t->SetRootNodeCount(6);
  PNTNode first = t->GetFirst();
  t->SetChildCount(first, 3);
  t->AnimationDuration = 100;
  // The second row (y 18 to 36) is selected: its colour shows where it is.
  t->Options().SetPaintOptions(t->Options().PaintOptions() + TNTPaintOptions{poPopupMode});
  t->Options().SetSelectionOptions(t->Options().SelectionOptions() + TNTSelectionOptions{slFullRowSelect});
  t->SetSelected(t->GetNextSibling(first), true);
  t->Colors().Set(TNTColors::FocusedSelectionColor, clLime);
  t->Colors().Set(TNTColors::FocusedSelectionBorderColor, clLime);
  t->Probe = {150, 36};  // just below the selected row
  t->ToggleNode(first);
  EXPECT_TRUE(t->Expanded(first));
  EXPECT_TRUE(t->Shown.empty());
  t->ToggleNode(first);
  t->Options().SetAnimationOptions({aoAnimatedToggle});
  // Expanding: the first step already moves the selected row down over the
  // probe.
  t->ToggleNode(first);
  EXPECT_TRUE(t->Expanded(first));
  ASSERT_FALSE(t->Shown.empty());
  EXPECT_EQ(t->Shown.front(), ColorToRGB(clLime));
  // Collapsing: the row (now 72 to 90) moves up off its last pixel line.
  t->Shown.clear();
  t->Probe = {150, 89};
  t->ToggleNode(first);
  EXPECT_FALSE(t->Expanded(first));
  ASSERT_FALSE(t->Shown.empty());
  EXPECT_NE(t->Shown.front(), ColorToRGB(clLime));
  t->Shown.clear();
  t->BeginUpdate();
  t->ToggleNode(first);
  t->EndUpdate();
  EXPECT_TRUE(t->Shown.empty());
  form.Close();
}

// Collapsing in a tree scrolled to its end: with the advanced animation the
// rows above the node come down, as the view will; without it the rows
// below go up.
TEST(TreeLook, AdvancedCollapseAtTheEndSlidesTheRowsAbove) {
  for (bool advanced : {false, true}) {
    SCOPED_TRACE(advanced);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    TForm form(nullptr);
    form.SetBounds(0, 0, 320, 220);
    auto* t = new AnimatedTree(&form);
    t->SetBounds(0, 0, 300, 200);
    t->SetBorderStyle(bsNone);
    t->SetParent(&form);
    form.Show();
    t->SetRootNodeCount(20);
    PNTNode node = t->GetFirst();
    for (int i = 0; i < 14; ++i) node = t->GetNextSibling(node);
    t->SetChildCount(node, 3);
    t->SetExpanded(node, true);
    t->SetOffsetY(-10000);
    ASSERT_EQ(t->OffsetY(), t->ClientHeight() - 23 * 18);
    const TRect row = t->GetDisplayRect(node, NoColumn, false);
    t->Options().SetPaintOptions(t->Options().PaintOptions() + TNTPaintOptions{poPopupMode});
    t->Options().SetSelectionOptions(t->Options().SelectionOptions() + TNTSelectionOptions{slFullRowSelect});
    t->SetSelected(t->GetPreviousSibling(node), true);
    t->Colors().Set(TNTColors::FocusedSelectionColor, clLime);
    t->Colors().Set(TNTColors::FocusedSelectionBorderColor, clLime);
    t->AnimationDuration = 100;
    t->Options().SetAnimationOptions(advanced ? TNTAnimationOptions{aoAnimatedToggle, aoAdvancedAnimatedToggle}
                                              : TNTAnimationOptions{aoAnimatedToggle});
    t->Probe = {150, row.Top};  // the node's top line, right under the selected row
    t->ToggleNode(node);
    ASSERT_FALSE(t->Shown.empty());
    EXPECT_EQ(t->Shown.front() == ColorToRGB(clLime), advanced);
    form.Close();
  }
}

TEST(TreeLook, SmoothScrollStepMovesRegionsAndFillsWhatItUncovers) {
  TextTree t(nullptr);
  TRecordingNodeTreeHost host(100, 60);
  t.SetHost(&host);
  t.SetColor(clWhite);
  TBitmap surface(100, 60, pf32bit);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 100; ++x) surface.SetPixelColor(x, y, RGB(y, 0, 0));  // each row its own colour
  TToggleAnimationData data;
  data.Surface = &surface;
  data.R1 = TRect(0, 0, 100, 30);
  data.Mode1 = tamScrollUp;
  data.R2 = TRect(0, 30, 100, 60);
  data.Mode2 = tamScrollDown;
  data.ScaleFactor = 0.5;
  EXPECT_TRUE(t.ToggleAnimationStep(data, 0, 4));
  EXPECT_EQ(surface.GetPixel(10, 0), RGB(4, 0, 0));      // moved up by 4
  EXPECT_EQ(surface.GetPixel(10, 25), RGB(29, 0, 0));
  EXPECT_EQ(surface.GetPixel(10, 26), ColorToRGB(clWhite));  // the uncovered strip
  EXPECT_EQ(surface.GetPixel(10, 32), RGB(30, 0, 0));    // the second region moved down by 2
  EXPECT_EQ(surface.GetPixel(10, 31), ColorToRGB(clWhite));
  // Rounding rests carry over: 3 * 0.5 = 1.5 rounds to 2, the next 1.5 -
  // 0.5 gives 1.
  t.ToggleAnimationStep(data, 1, 3);
  EXPECT_DOUBLE_EQ(data.MissedSteps, -0.5);
  t.ToggleAnimationStep(data, 2, 3);
  EXPECT_DOUBLE_EQ(data.MissedSteps, 0);
  EXPECT_EQ(surface.GetPixel(10, 35), RGB(30, 0, 0));    // 2 + 2 + 1
  // A step of 0 does nothing; with columns the strip takes their colours.
  TNodeTreeColumn* c = t.Header().Columns().AddColumn();
  c->SetWidth(40);
  c->SetColor(clYellow);
  t.Header().SetOptions(t.Header().Options() + THeaderOptions{hoVisible});
  data = TToggleAnimationData{&surface, TRect(0, 0, 100, 30), {}, tamScrollUp, tamNoScroll, 0, 0};
  t.ToggleAnimationStep(data, 0, 0);
  EXPECT_EQ(surface.GetPixel(10, 29), ColorToRGB(clWhite));
  t.ToggleAnimationStep(data, 0, 2);
  EXPECT_EQ(surface.GetPixel(10, 29), ColorToRGB(clYellow));
  EXPECT_EQ(surface.GetPixel(60, 29), ColorToRGB(clWhite));
  t.BeforeDestruction();
}

}  // namespace
}  // namespace px::test
