#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Forms.h"
#include "ui/tree/NodeTreesString.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <map>
#include <vector>

namespace px {
namespace {

// A string tree of plain nodes; BeforeDestruction runs as an owner would.
struct StringTree {
  std::unique_ptr<TCustomNodeStringTree> tree = std::make_unique<TCustomNodeStringTree>(nullptr);
  StringTree() { tree->SetNodeDataSize(static_cast<int32_t>(sizeof(int32_t))); }
  ~StringTree() {
    tree->BeforeDestruction();
    tree.reset();
  }
  TCustomNodeStringTree* operator->() { return tree.get(); }
};

void useFont(TCanvas& canvas, const char* name, int32_t size) {
  canvas.Font().SetName(name);
  canvas.Font().SetSize(size);
}

TEST(StringTree, TextComesFromTheEventOrTheDefault) {
  StringTree t;
  PNTNode a = t->AddChild(nullptr);
  EXPECT_EQ(t->Text(a, NoColumn), u"Node");
  EXPECT_EQ(t->Text(a, 2), u"Node");
  EXPECT_EQ(t->StaticText(a, 0), u"");
  EXPECT_THROW(t->Text(nullptr, 0), EAssertionFailed);
  try {
    t->StaticText(nullptr, 0);
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), "Node must not be nil.");
  }

  t->OnGetText = [](TBaseNodeTree*, PNTNode, TColumnIndex column, TNTTextType type, UnicodeString& text) {
    text += (type == ttNormal ? u" normal " : u" static ") + Utf8ToUnicode(std::to_string(column));
  };
  EXPECT_EQ(t->Text(a, 1), u"Node normal 1");
  EXPECT_EQ(t->StaticText(a, 3), u" static 3");

  UnicodeString stored;
  TColumnIndex storedColumn = NoColumn;
  t->OnNewText = [&](TBaseNodeTree*, PNTNode, TColumnIndex column, const UnicodeString& text) {
    stored = text;
    storedColumn = column;
  };
  t->SetText(a, 4, u"edited");
  EXPECT_EQ(stored, u"edited");
  EXPECT_EQ(storedColumn, 4);
}

TEST(StringTree, ShortenedTextIsTheLongestFittingPrefixWithAnEllipsis) {
  TBitmap bitmap(1, 1);
  TCanvas& canvas = bitmap.Canvas();
  struct Case {
    const char* font;
    int32_t size;
    const char16_t* text;
  };
  const Case cases[] = {{"DejaVu Sans", 8, u"Denominations of the currency"},
                        {"Liberation Serif", 12, u"WWWWiiiiWWWW"},
                        {"Liberation Mono", 10, u"0123456789"}};
  for (const Case& c : cases) {
    useFont(canvas, c.font, c.size);
    const UnicodeString text = c.text;
    const int32_t full = canvas.TextExtent(text).cx;
    const int32_t dots = canvas.TextExtent(UnicodeString(u"...")).cx;
    for (int32_t width = -1; width <= full + 4; ++width) {
      // The longest prefix that fits, found by a plain walk.
      UnicodeString expected;
      if (width > 0 && dots < width) {
        size_t n = 0;
        while (n < text.size() && canvas.TextExtent(text.substr(0, n + 1)).cx + dots <= width) ++n;
        expected = text.substr(0, n) + u"...";
      }
      SCOPED_TRACE(std::string(c.font) + " width " + std::to_string(width));
      EXPECT_EQ(ShortenString(canvas, text, width), expected);
      EXPECT_EQ(ShortenString(canvas, text, width, dots), expected);
    }
  }
  EXPECT_EQ(ShortenString(canvas, u"", 100), u"");
}

// The columns of the dark pixels of a bitmap row band.
std::pair<int32_t, int32_t> inkSpan(TBitmap& bitmap, int32_t top, int32_t bottom) {
  int32_t first = -1, last = -1;
  for (int32_t x = 0; x < bitmap.Width(); ++x)
    for (int32_t y = top; y < bottom; ++y) {
      TColor c = bitmap.GetPixel(x, y);
      if (((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) < 3 * 160) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  return {first, last};
}

TEST(StringTree, PaintedTextIsShortenedAndKeepsItsAlignment) {
  StringTree t;
  t->Font().SetName("DejaVu Sans");
  t->Font().SetSize(9);
  t->Header().Columns().AddColumn();
  PNTNode node = t->AddChild(nullptr);
  UnicodeString text = u"A long text that cannot fit";
  t->OnGetText = [&](TBaseNodeTree*, PNTNode, TColumnIndex, TNTTextType type, UnicodeString& s) {
    if (type == ttNormal) s = text;
  };
  UnicodeString drawn;
  t->OnDrawText = [&](TBaseNodeTree*, TCanvas&, PNTNode, TColumnIndex, const UnicodeString& s, const TRect&,
                      bool&) { drawn = s; };
  const TRect cell{20, 0, 100, 18};
  int32_t width = t->NodeWidth(node, 0, nullptr);
  for (TAlignment alignment : {taLeftJustify, taRightJustify}) {
    TBitmap bitmap(140, 18);
    bitmap.Canvas().Brush().SetColor(clWhite);
    bitmap.Canvas().FillRect(TRect{0, 0, 140, 18});
    t->PaintCellText(bitmap.Canvas(), node, 0, cell, width, alignment, false);
    bitmap.Canvas().Font().Assign(t->Font());
    EXPECT_EQ(drawn, ShortenString(bitmap.Canvas(), text, cell.Width() - 2 * t->TextMargin()));
    EXPECT_TRUE(drawn.ends_with(u"...")) << UnicodeToUtf8(drawn);
    auto [first, last] = inkSpan(bitmap, 0, 18);
    ASSERT_GE(first, 0);
    if (alignment == taLeftJustify) {
      EXPECT_LE(first, cell.Left + t->TextMargin() + 2);
    } else {
      // The ellipsis ends at the right edge less the text margin.
      EXPECT_GE(last, cell.Right - t->TextMargin() - 3);
      EXPECT_LT(last, cell.Right - t->TextMargin());
    }
  }
  // A column narrower than the ellipsis shows nothing.
  TBitmap narrow(20, 18);
  t->PaintCellText(narrow.Canvas(), node, 0, TRect{0, 0, 2 * t->TextMargin() + 3, 18}, width, taLeftJustify,
                   false);
  EXPECT_EQ(drawn, u"");
}

// With auto-span a text runs on into the empty cells right of it, painted
// and hit as one cell; a cell with text of its own stops it.
TEST(StringTree, TextSpansIntoEmptyNeighbours) {
  TRecordingNodeTreeHost host(180, 100);  // outlives the tree
  StringTree t;
  t->SetHost(&host);
  t->Font().SetName("DejaVu Sans");
  t->Font().SetSize(9);
  for (int i = 0; i < 3; ++i) t->Header().Columns().AddColumn()->SetWidth(60);
  PNTNode node = t->AddChild(nullptr);
  const UnicodeString text = u"A long text that runs on";
  t->OnGetText = [&](TBaseNodeTree*, PNTNode, TColumnIndex column, TNTTextType, UnicodeString& s) {
    s = column == 0 ? text : column == 2 ? u"x" : u"";
  };
  std::map<TColumnIndex, UnicodeString> drawn;
  t->OnDrawText = [&](TBaseNodeTree*, TCanvas&, PNTNode, TColumnIndex column, const UnicodeString& s, const TRect&,
                      bool&) { drawn[column] = s; };
  auto paint = [&] {
    drawn.clear();
    TBitmap b(180, 18, pf32bit);
    t->PaintTree(b.Canvas(), TRect(0, 0, 180, 18), {0, 0}, AllPaintElements);
  };
  auto hitColumn = [&](int32_t x) {
    THitInfo hit;
    t->GetHitTestInfoAt(x, 9, true, hit);
    return hit.HitColumn;
  };
  paint();
  const UnicodeString alone = drawn[0];
  EXPECT_TRUE(alone.ends_with(u"...")) << UnicodeToUtf8(alone);
  EXPECT_EQ(hitColumn(90), 1);
  t->Options().SetAutoOptions(t->Options().AutoOptions() + TNTAutoOptions{auSpanColumns});
  paint();
  // Shortened to two columns' width, not to one.
  EXPECT_GT(drawn[0].size(), alone.size() + 5) << UnicodeToUtf8(drawn[0]);
  EXPECT_EQ(drawn.count(1), 0u);  // the empty cell is part of the first
  EXPECT_EQ(drawn[2], u"x");
  EXPECT_EQ(hitColumn(90), 0);
  EXPECT_EQ(hitColumn(150), 2);
}

// A right-to-left column mirrors its alignment: a left-aligned text starts
// at the cell's right edge.
TEST(StringTree, RightToLeftCellsMirrorTheirAlignment) {
  TRecordingNodeTreeHost host(200, 100);  // outlives the tree
  StringTree t;
  t->SetHost(&host);
  t->Font().SetName("DejaVu Sans");
  t->Font().SetSize(9);
  t->Options().SetPaintOptions(t->Options().PaintOptions() - TNTPaintOptions{poShowRoot, poShowTreeLines});
  TNodeTreeColumn* c = t->Header().Columns().AddColumn();
  c->SetWidth(200);
  t->AddChild(nullptr);
  t->OnGetText = [](TBaseNodeTree*, PNTNode, TColumnIndex, TNTTextType, UnicodeString& s) { s = u"abc"; };
  auto ink = [&] {
    TBitmap b(200, 18, pf32bit);
    b.Canvas().Brush().SetColor(clWhite);
    b.Canvas().FillRect(TRect(0, 0, 200, 18));
    t->PaintTree(b.Canvas(), TRect(0, 0, 200, 18), {0, 0}, AllPaintElements);
    return inkSpan(b, 0, 18);
  };
  EXPECT_LT(ink().second, 60);
  c->SetBiDiMode(bdRightToLeft);
  EXPECT_GT(ink().first, 140);
}

TEST(StringTree, AFontChangeClearsTheCachedWidths) {
  StringTree t;
  t->Font().SetName("DejaVu Sans");
  t->Font().SetSize(8);
  PNTNode a = t->AddChild(nullptr);
  PNTNode b = t->AddChild(a);
  t->OnGetText = [](TBaseNodeTree*, PNTNode, TColumnIndex, TNTTextType, UnicodeString& s) { s = u"Measured text"; };
  const int32_t smallHeight = t->TextHeight();
  const int32_t small = t->NodeWidth(a, NoColumn, nullptr);
  t->NodeWidth(b, NoColumn, nullptr);
  EXPECT_EQ(*t->CachedWidth(a), small);
  EXPECT_NE(*t->CachedWidth(b), 0);
  EXPECT_EQ(t->CachedWidth(t->RootNode()), nullptr);

  t->Font().SetSize(16);
  EXPECT_EQ(*t->CachedWidth(a), 0);
  EXPECT_EQ(*t->CachedWidth(b), 0);
  EXPECT_GT(t->TextHeight(), smallHeight);
  EXPECT_GT(t->NodeWidth(a, NoColumn, nullptr), small);

  // Invalidating or reinitialising a node forgets its width alone.
  t->NodeWidth(a, NoColumn, nullptr);
  t->NodeWidth(b, NoColumn, nullptr);
  t->ReinitNode(a, false);
  EXPECT_EQ(*t->CachedWidth(a), 0);
  EXPECT_NE(*t->CachedWidth(b), 0);
}

TEST(StringTree, IncrementalSearchMatchesACaseSensitivePrefix) {
  StringTree t;
  PNTNode a = t->AddChild(nullptr);
  t->OnGetText = [](TBaseNodeTree*, PNTNode, TColumnIndex, TNTTextType, UnicodeString& s) { s = u"Banknotes"; };
  struct Case {
    const char16_t* search;
    int expected;
  } cases[] = {{u"Bank", 0}, {u"", 0}, {u"Banknotes", 0}, {u"bank", 1}, {u"notes", 1}, {u"Banknotes!", 1}};
  for (const Case& c : cases) EXPECT_EQ(t->SearchCompare(a, c.search), c.expected) << UnicodeToUtf8(c.search);
}

TEST(StringTree, StaticTextIsMeasuredOnlyWhereItIsShown) {
  StringTree t;
  PNTNode a = t->AddChild(nullptr);
  t->OnGetText = [](TBaseNodeTree*, PNTNode, TColumnIndex, TNTTextType type, UnicodeString& s) {
    if (type == ttStatic) s = u"(static)";
  };
  EXPECT_EQ(t->NodeExtraWidth(a, NoColumn, nullptr), 0);
  t->StringTreeOptions().SetStringOptions(TNTStringOptions{toShowStaticText});
  EXPECT_GT(t->NodeExtraWidth(a, NoColumn, nullptr), t->TextMargin());
  t->SetMultiline(a, true);
  EXPECT_EQ(t->NodeExtraWidth(a, NoColumn, nullptr), 0);
}

// A tree whose nodes carry a pointer to their text, rebuilt from a list of
// texts the way a screen reloads its data.
struct RebuiltTree {
  StringTree t;
  std::vector<std::unique_ptr<UnicodeString>> texts;
  explicit RebuiltTree(TNTSelectionOptions selection) {
    t->SetNodeDataSize(static_cast<int32_t>(sizeof(UnicodeString*)));
    t->Options().SetSelectionOptions(selection);
    t->OnGetText = [](TBaseNodeTree* sender, PNTNode node, TColumnIndex, TNTTextType, UnicodeString& s) {
      s = **static_cast<UnicodeString**>(sender->GetNodeData(node));
    };
  }
  void build(std::initializer_list<const char16_t*> items) {
    t->Clear();
    texts.clear();
    for (const char16_t* item : items) {
      texts.push_back(std::make_unique<UnicodeString>(item));
      t->AddChild(nullptr, texts.back().get());
    }
  }
  PNTNode node(const char16_t* text) {
    for (PNTNode run = t->GetFirst(); run; run = t->GetNext(run))
      if (t->Text(run, 0) == text) return run;
    return nullptr;
  }
  std::vector<UnicodeString> selected() {
    std::vector<UnicodeString> result;
    for (PNTNode run = t->GetFirst(); run; run = t->GetNext(run))
      if (t->Selected(run)) result.push_back(t->Text(run, 0));
    return result;
  }
};

TEST(StringTree, ARebuiltTreeSelectsTheRowsWithTheSameTextsAgain) {
  RebuiltTree r({slMultiSelect, slRestoreSelection});
  r.build({u"Alpha", u"beta", u"Gamma", u"Delta"});
  r.t->SetSelected(r.node(u"beta"), true);
  r.t->SetSelected(r.node(u"Delta"), true);
  // Another order, other letter case, one row gone and one new.
  r.build({u"Epsilon", u"DELTA", u"Alpha", u"Beta"});
  EXPECT_EQ(r.selected(), (std::vector<UnicodeString>{u"DELTA", u"Beta"}));
  EXPECT_EQ(r.t->SelectedCount(), 2u);

  // A row the user deselects is not selected again.
  r.t->SetSelected(r.node(u"Beta"), false);
  r.build({u"beta", u"Delta"});
  EXPECT_EQ(r.selected(), std::vector<UnicodeString>{u"Delta"});

  // A new single selection replaces the remembered one, also after the
  // whole selection was cleared.
  r.t->ClearSelection();
  r.t->SetSelected(r.node(u"beta"), true);
  r.t->SelectAll(false);
  r.t->ClearSelection();
  r.t->SetSelected(r.node(u"Delta"), true);
  r.build({u"beta", u"Delta"});
  EXPECT_EQ(r.selected(), std::vector<UnicodeString>{u"Delta"});

  // Rebuilt inside an update bracket, by deleting the rows one by one.
  r.t->BeginUpdate();
  while (PNTNode first = r.t->GetFirst()) r.t->DeleteNode(first);
  r.texts.clear();
  for (const char16_t* item : {u"Delta", u"beta"}) {
    r.texts.push_back(std::make_unique<UnicodeString>(item));
    r.t->AddChild(nullptr, r.texts.back().get());
  }
  r.t->EndUpdate();
  EXPECT_EQ(r.selected(), std::vector<UnicodeString>{u"Delta"});
}

TEST(StringTree, SelectionIsRestoredOnlyWithTheOption) {
  RebuiltTree r({slMultiSelect});
  r.build({u"Alpha", u"beta"});
  r.t->SetSelected(r.node(u"beta"), true);
  r.build({u"Alpha", u"beta"});
  EXPECT_TRUE(r.selected().empty());

  RebuiltTree single({slRestoreSelection});
  single.build({u"Alpha", u"beta", u"Gamma"});
  single.t->SetSelected(single.node(u"Alpha"), true);
  single.t->SetSelected(single.node(u"Gamma"), true);
  single.build({u"Gamma", u"Alpha"});
  EXPECT_EQ(single.selected(), std::vector<UnicodeString>{u"Gamma"});
}

}  // namespace
}  // namespace px

namespace px {
namespace {

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, k, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods, text);
  QApplication::sendEvent(w, &release);
}

void type(QWidget* w, const char* text) {
  for (const char* c = text; *c; ++c) key(w, static_cast<Qt::Key>(Qt::Key_A + (*c - 'a')), Qt::NoModifier, QString(*c));
}

// An editable string tree on a form whose texts live in a list.
struct EditTree {
  TForm form{nullptr};
  TCustomNodeStringTree* tree = CreateComponent<TCustomNodeStringTree>(&form);
  std::vector<UnicodeString> texts;
  int stores = 0;
  explicit EditTree(std::vector<UnicodeString> items) : texts(std::move(items)) {
    form.SetBounds(0, 0, 340, 220);
    tree->SetNodeDataSize(0);
    tree->SetParent(&form);
    tree->SetBounds(0, 0, 300, 200);
    TNTMiscOptions misc = tree->Options().MiscOptions();
    misc.Include(moEditable);
    tree->Options().SetMiscOptions(misc);
    tree->SetRootNodeCount(static_cast<Cardinal>(texts.size()));
    tree->OnGetText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex, TNTTextType, UnicodeString& s) {
      s = texts[node->Index];
    };
    tree->OnNewText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex, const UnicodeString& s) {
      ++stores;
      texts[node->Index] = s;
    };
  }
  TStringEditLink* edit(PNTNode node, TColumnIndex column) {
    tree->SetFocusedNode(node);
    EXPECT_TRUE(tree->EditNode(node, column));
    return dynamic_cast<TStringEditLink*>(tree->EditLink());
  }
};

TEST(StringTreeEdit, TheDefaultEditorWritesOnlyAModifiedTextAndTabMovesOn) {
  EditTree t({u"one", u"two"});
  PNTNode first = t.tree->GetFirst();
  TStringEditLink* link = t.edit(first, NoColumn);
  ASSERT_NE(link, nullptr);
  TNTEdit* edit = link->Edit();
  EXPECT_EQ(edit->Text(), "one");
  edit->Perform(WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(t.tree->IsEditing());
  EXPECT_EQ(t.stores, 0);

  edit = t.edit(first, NoColumn)->Edit();
  edit->SetText("first");
  edit->Modified = true;  // as the user's typing sets it
  edit->Perform(WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(t.stores, 1);
  EXPECT_EQ(t.texts[0], u"first");
  // Tab goes on editing the next node.
  EXPECT_TRUE(t.tree->IsEditing());
  EXPECT_EQ(t.tree->FocusedNode(), t.tree->GetNextSibling(first));
  edit = dynamic_cast<TStringEditLink*>(t.tree->EditLink())->Edit();
  EXPECT_EQ(edit->Text(), "two");
  edit->SetText("dropped");
  edit->Modified = true;
  edit->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(t.tree->IsEditing());
  EXPECT_EQ(t.texts[1], u"two");
  QApplication::processEvents();
}

TEST(StringTreeEdit, AMultiLineNodeIsEditedInAMemoWhereReturnBreaksTheLine) {
  EditTree t({u"first line", u"single"});
  PNTNode multi = t.tree->GetFirst();
  t.tree->SetMultiline(multi, true);
  TStringEditLink* link = t.edit(multi, NoColumn);
  ASSERT_NE(link, nullptr);
  TNTMemo* memo = link->Memo();
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(link->Edit(), nullptr);
  EXPECT_EQ(memo->ScrollBars(), ssVertical);
  EXPECT_TRUE(memo->WordWrap());
  EXPECT_EQ(memo->Text(), "first line");
  EXPECT_EQ(memo->Perform(WM_GETDLGCODE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS);
  QWidget* w = memo->Widget();
  key(w, Qt::Key_End, Qt::ControlModifier);
  key(w, Qt::Key_Return, Qt::NoModifier, "\r");
  type(w, "second");
  EXPECT_TRUE(t.tree->IsEditing());
  EXPECT_EQ(memo->Text(), "first line\nsecond");
  EXPECT_EQ(t.stores, 0);
  key(w, Qt::Key_Return, Qt::ControlModifier, "\r");
  EXPECT_FALSE(t.tree->IsEditing());
  EXPECT_EQ(t.stores, 1);
  EXPECT_EQ(t.texts[0], u"first line\nsecond");

  // Escape in the memo drops the change.
  link = t.edit(multi, NoColumn);
  ASSERT_NE(link->Memo(), nullptr);
  type(link->Memo()->Widget(), "x");
  key(link->Memo()->Widget(), Qt::Key_Escape, Qt::NoModifier, "\x1b");
  EXPECT_FALSE(t.tree->IsEditing());
  EXPECT_EQ(t.texts[0], u"first line\nsecond");

  // A single-line node keeps the edit, where Return ends the edit.
  link = t.edit(t.tree->GetNextSibling(multi), NoColumn);
  ASSERT_NE(link->Edit(), nullptr);
  EXPECT_EQ(link->Memo(), nullptr);
  type(link->Edit()->Widget(), "x");
  key(link->Edit()->Widget(), Qt::Key_Return, Qt::NoModifier, "\r");
  EXPECT_FALSE(t.tree->IsEditing());
  EXPECT_EQ(t.texts[1], u"x");
  QApplication::processEvents();
}

TEST(StringTreeEdit, TheEditFollowsItsTextUnlessGridExtensionsGiveItTheCell) {
  for (bool grid : {false, true}) {
    SCOPED_TRACE(grid);
    EditTree t({u"abc"});
    t.tree->Header().Columns().AddColumn()->SetWidth(200);
    THeaderOptions options = t.tree->Header().Options();
    options.Include(hoVisible);
    t.tree->Header().SetOptions(options);
    TNTMiscOptions misc = t.tree->Options().MiscOptions();
    if (grid) misc.Include(moGridExtensions);
    t.tree->Options().SetMiscOptions(misc);
    PNTNode node = t.tree->GetFirst();
    TNTEdit* edit = t.edit(node, 0)->Edit();
    ASSERT_NE(edit, nullptr);
    const TRect cell = t.tree->GetDisplayRect(node, 0, false);
    if (grid) {
      EXPECT_EQ(edit->BoundsRect().Right, cell.Right);
    } else {
      EXPECT_LT(edit->Width(), cell.Width() / 2);
    }
    t.tree->CancelEditNode();
  }
  QApplication::processEvents();
}

Qt::Alignment seenAlignment(TCustomEdit& edit) {
  QLineEdit* line = edit.LineEdit();
  return QStyle::visualAlignment(line->layoutDirection(), line->alignment()) &
                  (Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter);
}

TEST(StringTreeEdit, ARightToLeftCellMirrorsItsEditor) {
  struct Case {
    bool columns;
    TBiDiMode mode;
    TColumnIndex column;
    TAlignment side;
  } cases[] = {{false, bdLeftToRight, NoColumn, taLeftJustify}, {false, bdRightToLeft, NoColumn, taRightJustify},
               {true, bdLeftToRight, 0, taLeftJustify},         {true, bdRightToLeft, 0, taRightJustify},
               {true, bdLeftToRight, 1, taRightJustify},        {true, bdRightToLeft, 1, taLeftJustify}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.columns << " " << c.mode << " " << c.column);
    EditTree t({u"alpha", u"beta"});
    if (c.columns) {
      TNodeTreeColumns& columns = t.tree->Header().Columns();
      columns.AddColumn()->SetWidth(150);
      TNodeTreeColumn* narrow = columns.AddColumn();
      narrow->SetWidth(10);
      narrow->SetAlignment(taRightJustify);
      THeaderOptions options = t.tree->Header().Options();
      options.Include(hoVisible);
      t.tree->Header().SetOptions(options);
    }
    t.tree->SetBiDiMode(c.mode);
    // The columns follow the tree's reading order.
    if (c.columns) {
      EXPECT_EQ(t.tree->Header().Columns().Items(c.column)->BiDiMode(), c.mode);
    }
    PNTNode node = t.tree->GetFirst();
    TStringEditLink* link = t.edit(node, c.column);
    ASSERT_NE(link, nullptr);
    TNTEdit* edit = link->Edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->BiDiMode(), c.mode);
    EXPECT_EQ(link->Alignment(), c.side);
    EXPECT_EQ(seenAlignment(*edit), c.side == taRightJustify ? Qt::AlignRight : Qt::AlignLeft);
    // The editor grows with its text away from the side the text keeps.
    TRect cell = t.tree->GetDisplayRect(node, c.column, true, true);
    cell.Left = std::max(cell.Left, 0);
    cell.Right = std::min(cell.Right, t.tree->ClientWidth());
    if (c.side == taRightJustify) {
      EXPECT_EQ(edit->BoundsRect().Right, cell.Right);
    } else {
      EXPECT_EQ(edit->BoundsRect().Left, cell.Left);
    }
    EXPECT_GE(edit->Width(), 30);
    t.tree->CancelEditNode();
  }
  QApplication::processEvents();
}

}  // namespace
}  // namespace px
