// Drops through Qt's drag events, the drop positions and effects, starting a
// drag, the drag picture and the hint window, on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QWidget>
#include <cmath>

#include "CaptionTreeSupport.h"
#include "ui/tree/NodeTreesHint.h"
#include "ui/tree/NodeTreesTransfer.h"

namespace px::test {
namespace {

// A string tree in a window of its own that accepts drops, answers every
// drag-over with the effect proposed to it and inserts dropped nodes at the
// drop target.
struct DropWindow {
  TForm form{nullptr};
  CaptionTree* tree;
  TNTDropMode lastMode = dmNowhere;
  TObject* lastSource = nullptr;
  int drops = 0;
  bool accept = true;
  DropWindow() {
    form.SetBounds(0, 0, 320, 220);
    tree = new CaptionTree(&form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetBorderStyle(bsNone);  // window positions are client positions
    tree->Font().SetName("DejaVu Sans");
    tree->Font().SetHeight(-12);
    tree->SetParent(&form);
    tree->UseWindowHost();
    tree->OnDragOverQuery = [this](TBaseNodeTree*, TObject* source, TShiftState, TDragState state, TPoint,
                                   TNTDropMode mode, int32_t&, bool& accepted) {
      if (state == dsDragLeave) return;
      lastMode = mode;
      lastSource = source;
      accepted = accept;
    };
    tree->OnDropped = [this](TBaseNodeTree* sender, TObject* source, IDataObject* dataObject,
                             const std::vector<std::string>&, TShiftState, TPoint, int32_t& effect, TNTDropMode mode) {
      ++drops;
      const TNTNodeAttachMode attach = mode == dmAbove   ? amInsertBefore
                                       : mode == dmBelow ? amInsertAfter
                                                         : amAddChildLast;
      auto* from = dynamic_cast<TBaseNodeTree*>(source);
      sender->ProcessOLEData(from, std::dynamic_pointer_cast<IDataObject>(dataObject->shared_from_this()),
                             sender->DropTargetNode(), attach, effect == DROPEFFECT_MOVE && from != nullptr);
    };
  }
  ~DropWindow() { tree->BeforeDestruction(); }
  QWidget* w() { return tree->Widget(); }
  // One drag over the tree at (x, y) and, with drop, the drop there; answers
  // the action Qt is told.
  Qt::DropAction drag(QMimeData* mime, int x, int y, Qt::KeyboardModifiers mods, bool drop,
                      Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) {
    const QPoint p(x, y);
    QDragEnterEvent enter(p, actions, mime, Qt::LeftButton, mods);
    QApplication::sendEvent(w(), &enter);
    QDragMoveEvent move(p, actions, mime, Qt::LeftButton, mods);
    QApplication::sendEvent(w(), &move);
    if (!move.isAccepted()) {
      QDragLeaveEvent leave;
      QApplication::sendEvent(w(), &leave);
      return Qt::IgnoreAction;
    }
    if (!drop) {
      QDragLeaveEvent leave;
      QApplication::sendEvent(w(), &leave);
      return move.dropAction();
    }
    QDropEvent dropEvent(QPointF(p), actions, mime, Qt::LeftButton, mods);
    QApplication::sendEvent(w(), &dropEvent);
    return dropEvent.isAccepted() ? dropEvent.dropAction() : Qt::IgnoreAction;
  }
};

std::unique_ptr<QMimeData> mimeOf(TBaseNodeTree* tree) {
  return std::unique_ptr<QMimeData>(NewMimeDataFor(std::make_shared<TNTDataObject>(tree, false)));
}

TEST(TreeDragDrop, EffectFollowsSourceAndModifiers) {
  DropWindow target;
  target.tree->Add(nullptr, "t");
  OwnedTree other;
  other->AddToSelection(other->Add(nullptr, "o"));
  struct Case {
    bool fromSelf;
    Qt::KeyboardModifiers mods;
    Qt::DropActions allowed;
    Qt::DropAction expected;
  } cases[] = {
      {true, Qt::NoModifier, Qt::CopyAction | Qt::MoveAction, Qt::MoveAction},
      {false, Qt::NoModifier, Qt::CopyAction | Qt::MoveAction, Qt::CopyAction},
      {false, Qt::NoModifier, Qt::MoveAction, Qt::MoveAction},
      {false, Qt::ShiftModifier, Qt::CopyAction | Qt::MoveAction, Qt::MoveAction},
      {true, Qt::ControlModifier, Qt::CopyAction | Qt::MoveAction, Qt::CopyAction},
      {false, Qt::ControlModifier | Qt::ShiftModifier, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction,
       Qt::LinkAction},
      {false, Qt::ControlModifier | Qt::ShiftModifier, Qt::CopyAction | Qt::MoveAction, Qt::CopyAction},
      {true, Qt::AltModifier, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::LinkAction},
  };
  for (const Case& c : cases) {
    auto mime = mimeOf(c.fromSelf ? static_cast<TBaseNodeTree*>(target.tree) : other.tree.get());
    EXPECT_EQ(target.drag(mime.get(), 150, 9, c.mods, false, c.allowed), c.expected)
        << "self " << c.fromSelf << " mods " << int(c.mods);
    EXPECT_EQ(target.lastSource, c.fromSelf ? static_cast<TObject*>(target.tree) : other.tree.get());
  }
  // A drag-over handler that refuses makes the drop impossible; no drop
  // reaches the tree.
  target.accept = false;
  auto mime = mimeOf(other.tree.get());
  EXPECT_EQ(target.drag(mime.get(), 150, 9, Qt::NoModifier, true), Qt::IgnoreAction);
  EXPECT_EQ(target.drops, 0);
  EXPECT_EQ(target.tree->DropTargetNode(), nullptr);
}

TEST(TreeDragDrop, DropPositionByRowHalfLabelAndDropMark) {
  DropWindow target;
  target.tree->Add(nullptr, "first");
  target.tree->Add(nullptr, "second");
  OwnedTree other;
  auto mime = mimeOf(other.tree.get());
  struct Case {
    int x, y;
    bool dropMark;
    TNTDropMode expected;
  } cases[] = {
      {250, 19, true, dmAbove},    // upper half of the second row, right of its text
      {250, 33, true, dmBelow},    // lower half
      {250, 33, false, dmOnNode},  // without the drop mark: onto the node
      {30, 27, true, dmOnNode},    // on the text
      {250, 150, true, dmNowhere}, // below the rows
  };
  for (const Case& c : cases) {
    TNTPaintOptions paint = target.tree->Options().PaintOptions();
    if (c.dropMark)
      paint.Include(poShowDropmark);
    else
      paint.Exclude(poShowDropmark);
    target.tree->Options().SetPaintOptions(paint);
    target.drag(mime.get(), c.x, c.y, Qt::NoModifier, false);
    EXPECT_EQ(target.lastMode, c.expected) << c.x << "," << c.y;
  }
}

TEST(TreeDragDrop, DropInsertsAtTheTargetAndMovesFromATreeOfThisProcess) {
  DropWindow target;
  target.tree->Add(nullptr, "first");
  target.tree->Add(nullptr, "second");
  OwnedTree other;
  other->Add(other->Add(nullptr, "o"), "o1");
  other->AddToSelection(other->Find("o"));
  // Copy onto the second node's text: a child of it.
  auto mime = mimeOf(other.tree.get());
  EXPECT_EQ(target.drag(mime.get(), 30, 27, Qt::NoModifier, true), Qt::CopyAction);
  EXPECT_EQ(target.drops, 1);
  EXPECT_EQ(target.tree->Outline(), "first second(o(o1))");
  EXPECT_EQ(other->Outline(), "o(o1)");
  EXPECT_EQ(target.tree->DropTargetNode(), nullptr);
  // A move from a tree of this process moves its marked nodes over, above
  // the first row.
  other->CutToClipboard();
  EXPECT_EQ(target.drag(mime.get(), 250, 2, Qt::NoModifier, true, Qt::MoveAction), Qt::MoveAction);
  EXPECT_EQ(target.tree->Outline(), "o(o1) first second(o(o1))");
  EXPECT_EQ(other->Outline(), "");
}

TEST(TreeDragDrop, HoveringExpandsACollapsedTargetAfterTheDelay) {
  DropWindow target;
  PNTNode parent = target.tree->Add(nullptr, "p");
  target.tree->Add(parent, "child");
  target.tree->Add(nullptr, "q");
  target.tree->Options().SetAutoOptions(target.tree->Options().AutoOptions() + TNTAutoOptions{auDropExpand});
  target.tree->AutoExpandDelay = 30;
  ASSERT_FALSE(target.tree->Expanded(parent));
  OwnedTree other;
  auto mime = mimeOf(other.tree.get());
  // Entering over another node, then resting on the collapsed one.
  QDragEnterEvent enter(QPoint(30, 27), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target.w(), &enter);
  const QPoint p(30, 9);
  QDragMoveEvent move(p, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target.w(), &move);
  EXPECT_FALSE(target.tree->Expanded(parent));
  QElapsedTimer clock;
  clock.start();
  while (!target.tree->Expanded(parent) && clock.elapsed() < 30000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(target.tree->Expanded(parent));
  QDragLeaveEvent leave;
  QApplication::sendEvent(target.w(), &leave);
}

TEST(TreeDragDrop, DragManagerAnswersTheDropSourceQuestions) {
  OwnedTree t;
  TNTDragManager manager(t.tree.get());
  struct Case {
    bool escape;
    int32_t keys;
    HRESULT expected;
  } cases[] = {
      {true, MK_LBUTTON, DRAGDROP_S_CANCEL},
      {false, MK_LBUTTON | MK_RBUTTON, DRAGDROP_S_CANCEL},
      {false, 0, DRAGDROP_S_DROP},
      {false, MK_LBUTTON, S_OK},
      {false, MK_RBUTTON | MK_SHIFT, S_OK},
  };
  for (const Case& c : cases) EXPECT_EQ(manager.QueryContinueDrag(c.escape, c.keys), c.expected);
  EXPECT_EQ(manager.GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  EXPECT_TRUE(manager.GetDropTargetHelperSupported());
  EXPECT_NE(dynamic_cast<TNTDataObject*>(manager.GetDataObject().get()), nullptr);
}

TEST(TreeDragDrop, StartingADragReturnsOffscreenWithNothingDeleted) {
  DropWindow source;
  source.tree->Options().SetAutoOptions(source.tree->Options().AutoOptions() + TNTAutoOptions{auDeleteMovedNodes});
  source.tree->AddToSelection(source.tree->Add(nullptr, "a"));
  source.tree->DragOperations = {};
  source.tree->StartOLEDrag({20, 9});
  EXPECT_EQ(source.tree->Outline(), "a");
  EXPECT_FALSE(source.tree->TreeStates().Contains(stOLEDragging));
  EXPECT_TRUE(source.tree->DragSelection().empty());
  // The picture ended with the drag.
  EXPECT_EQ(source.tree->DragImage().States() & (disPrepared | disInUse), 0);
}

TEST(TreeDragDrop, DragPictureFadesFromTheCentreAndKeysOut) {
  const TColor key = clFuchsia;
  TBitmap picture(200, 100, pf32bit);
  picture.Canvas().Brush().SetColor(clNavy);
  picture.Canvas().FillRect(Rect(0, 0, 200, 100));
  picture.SetPixelColor(10, 10, key);
  TNTDragImage image(nullptr);
  image.ColorKey = key;
  image.Fade = true;
  image.Transparency = 200;
  image.PrepareDrag(picture, {500, 400}, {100, 50}, nullptr);
  ASSERT_NE(image.DragImageBitmap(), nullptr);
  const TBitmap& b = *image.DragImageBitmap();
  EXPECT_EQ(b.GetAlpha(100, 50), 255);
  EXPECT_EQ(b.GetAlpha(0, 50), static_cast<int>(std::lround(255 * std::exp(-4.0))));  // 5
  EXPECT_EQ(b.GetAlpha(0, 50), 5);
  EXPECT_EQ(b.GetAlpha(10, 10), 0);
  EXPECT_EQ(b.GetPixel(100, 50), clNavy);
  // What Qt shows: the transparency over the per-pixel alpha.
  const QImage shown = image.ComposedImage();
  EXPECT_EQ(qAlpha(shown.pixel(100, 50)), 200 * 255 >> 8);
  EXPECT_EQ(qAlpha(shown.pixel(10, 10)), 0);
  shown.save("/tmp/xclip-dragimage.png");

  EXPECT_FALSE(image.Visible());
  image.ShowDragImage();
  EXPECT_TRUE(image.Visible());
  // Restricted to horizontal moves, vertical movement does nothing.
  image.Restriction = dmrHorizontalOnly;
  EXPECT_FALSE(image.DragTo({100, 80}, false));
  EXPECT_EQ(image.ImagePosition(), (TPoint{500, 400}));
  EXPECT_TRUE(image.DragTo({130, 90}, false));
  EXPECT_EQ(image.ImagePosition(), (TPoint{530, 400}));
  image.EndDrag();
  EXPECT_EQ(image.States() & (disPrepared | disInUse), 0);
  EXPECT_FALSE(image.Visible());
}

TEST(TreeHint, TooltipOfATruncatedCellShowsItsText) {
  DropWindow w;
  w.tree->SetBounds(0, 0, 120, 100);
  w.tree->HintMode = 3;
  w.tree->ShowHint = true;
  PNTNode shortNode = w.tree->Add(nullptr, "short");
  w.tree->Add(nullptr, "a caption much too long for the window");
  (void)shortNode;
  auto ask = [&](int x, int y, THintInfo& info) {
    info = THintInfo{};
    info.HintControl = w.tree;
    info.CursorPos = {x, y};
    info.CursorRect = w.tree->ClientRect();
    w.tree->LastHintRect();
    return w.tree->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  };
  THintInfo info;
  EXPECT_EQ(ask(20, 9, info), 1);  // the whole text fits
  EXPECT_EQ(ask(60, 27, info), 0);
  EXPECT_EQ(info.HintStr, " ");
  ASSERT_NE(info.HintData, nullptr);
  EXPECT_TRUE(w.tree->TreeStates().Contains(stHintShown));

  // The hint window sizes and draws the node's text on the hint colours.
  TNodeTreeHintWindow window(nullptr);
  TRect r = window.CalcHintRect(400, info.HintStr, info.HintData);
  ASSERT_FALSE(r.IsEmpty());
  EXPECT_GT(r.Width(), 120);
  r.Offset(40 - r.Left, 40 - r.Top);
  window.ActivateHintData(r, info.HintStr, nullptr);
  EXPECT_EQ(window.HintData().HintText, u"a caption much too long for the window");
  const QImage shown = window.Widget()->grab().toImage();
  shown.save("/tmp/xclip-hint.png");
  EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::black));
  const TColor infoBk = ColorToRGB(clInfoBk);
  EXPECT_EQ(shown.pixelColor(2, r.Height() - 2),
            QColor(infoBk & 0xFF, (infoBk >> 8) & 0xFF, (infoBk >> 16) & 0xFF));
  int dark = 0;
  for (int x = 4; x < r.Width() - 4; ++x)
    for (int y = 3; y < r.Height() - 3; ++y) dark += qGray(shown.pixel(x, y)) < 100;
  EXPECT_GT(dark, 40);
  window.ReleaseHandle();
}

TEST(TreeHint, PlainHintIsMeasuredWithTheMargins) {
  OwnedTree t;
  TNTHintData data;
  data.Tree = t.tree.get();
  data.DefaultHint = u"Hint";
  TNodeTreeHintWindow window(nullptr);
  const TRect r = window.CalcHintRect(300, " ", &data);
  EXPECT_EQ(r.Top, 0);
  EXPECT_EQ(r.Height(), window.TextHeight() + 6);
  EXPECT_EQ(window.CalcHintRect(300, " ", nullptr), TRect{});
  data.DefaultHint.clear();
  EXPECT_TRUE(window.CalcHintRect(300, " ", &data).IsEmpty());
}

}  // namespace
}  // namespace px::test
