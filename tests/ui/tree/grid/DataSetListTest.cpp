#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "data/UnitLocales.h"
#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/Controls.h"
#include "ui/tree/UnitDataSetList.h"

namespace px {
namespace {

// A grid with an owner's teardown.
struct Grid {
  std::unique_ptr<TDataSetList> grid = std::make_unique<TDataSetList>(nullptr);
  ~Grid() {
    grid->BeforeDestruction();
    grid.reset();
  }
  TDataSetList* operator->() { return grid.get(); }
  TDataSetList& operator*() { return *grid; }
};

// Id (key), Name, Amount (currency), When (date-time), Kind (lookup), Value.
struct Fixture {
  TLocales locales{"en"};
  IMemDataSet kinds = CreateMemDataSetFromSpec("Kinds", "KindId:int*KindName:astr");
  IMemDataSet table = CreateMemDataSetFromSpec("T", "Id:int*Name:astr;Amount:curr;When:dbl;Kind:int;Value:int");
  IMemDataView view;

  Fixture() {
    for (auto [id, name] : {std::pair{1, "coin"}, std::pair{2, "note"}}) {
      TMemRecord* k = kinds->AddRecord();
      k->SetInteger(0, id);
      k->SetAnsiString(1, name);
    }
    view = makeView();
  }
  IMemDataView makeView() {
    IMemDataView v = CreateMemDataView(table);
    const char* captions[] = {"Id", "Name", "Amount", "When", "Kind", "Value"};
    for (Integer f = 0; f < 6; ++f) {
      TMemViewColumn* c = v->AddColumn();
      c->SetFieldIndex(f);
      c->Caption = captions[f];
      c->Locale = locales.LocaleEnUS;
    }
    v->GetColumn(3)->Flags = mvfDateTime;
    v->GetColumn(3)->Format = "yyyy-mm-dd hh:nn";
    v->GetColumn(4)->LookupDataSet = kinds;
    v->GetColumn(4)->LookupIndex = 0;
    v->GetColumn(4)->LookupField = 1;
    return v;
  }
  TMemRecord* add(Integer id, const char* name, Integer value = 0) {
    TMemRecord* r = table->AddRecord();
    r->SetInteger(0, id);
    r->SetAnsiString(1, name);
    r->SetCurrency(2, Currency::FromInt64(id * 12345));
    r->SetDouble(3, 46000.5 + id);
    r->SetInteger(4, 1 + id % 2);
    r->SetInteger(5, value);
    return r;
  }
};

std::vector<std::string> column(TDataSetList& grid, TColumnIndex c) {
  std::vector<std::string> out;
  for (PNTNode n = grid.GetFirst(); n; n = grid.GetNextSibling(n)) out.push_back(UnicodeToUtf8(grid.Text(n, c)));
  return out;
}

void clickHeader(TDataSetList& grid, TColumnIndex c) {
  TColumnHitInfo hit;
  hit.Column = c;
  hit.Button = mbLeft;
  grid.HeaderClicked(hit);
}

TEST(DataSetList, ShowsTheViewsTextsWithOneNodePerRecord) {
  Fixture f;
  f.add(2, "beta");
  f.add(1, "alpha");
  Grid g;
  g->SetView(f.view);
  ASSERT_EQ(g->Header().Columns().Count(), 6);
  EXPECT_EQ(g->RootNodeCount(), 2u);
  PNTNode first = g->GetFirst();
  std::vector<std::string> texts;
  for (TColumnIndex c = 0; c < 6; ++c) texts.push_back(UnicodeToUtf8(g->Text(first, c)));
  std::vector<std::string> expected;
  for (Integer c = 0; c < 6; ++c) expected.push_back(UnicodeToUtf8(f.view->GetText(f.table->First(), c)));
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(texts[1], "beta");
  EXPECT_EQ(texts[4], "coin");
  EXPECT_EQ(UnicodeToUtf8(g->Header().Columns().Items(1)->Text()), "Name");
  EXPECT_EQ(g->EditorText(first, 1), u"beta");

  // Without grid columns the grid stays empty though the table has records.
  IMemDataView none = CreateMemDataView(f.table);
  none->AddColumn()->Flags = mvfNotInGrid;
  g->SetView(none);
  EXPECT_EQ(g->Header().Columns().Count(), 0);
  EXPECT_EQ(g->RootNodeCount(), 0u);
}

TEST(DataSetList, KeysOfEveryTypeFindTheirRecords) {
  // A string key lives in the node and is destroyed with it (the leak
  // checker of the test build sees a missed one). One grid shows each view in
  // turn: its rows change their size with the key type.
  Grid g;
  for (const char* spec : {"K:int*N:astr", "K:word*N:astr", "K:i64*N:astr", "K:astr*N:astr", "K:guid*N:astr"}) {
    IMemDataSet t = CreateMemDataSetFromSpec("T", spec);
    std::vector<TMemRecord*> records;
    for (int i = 0; i < 3; ++i) {
      TMemRecord* r = t->AddRecord();
      switch (t->GetFieldType(0)) {
        case mftInteger:
          r->SetInteger(0, 10 + i);
          break;
        case mftWord:
          r->SetWord(0, static_cast<Word>(10 + i));
          break;
        case mftInt64:
          r->SetInt64(0, (Int64{1} << 40) + i);
          break;
        case mftAnsiString:
          r->SetAnsiString(0, "a long key that is not stored inline " + std::to_string(i));
          break;
        default: {
          TGUID g{};
          g.D1 = static_cast<uint32_t>(i + 1);
          r->SetGUID(0, g);
        }
      }
      records.push_back(r);
    }
    IMemDataView v = CreateMemDataView(t);
    v->AddColumn()->SetFieldIndex(std::string("N"));
    g->SetView(v);
    std::vector<TMemRecord*> found;
    for (PNTNode n = g->GetFirst(); n; n = g->GetNextSibling(n)) found.push_back(g->GetNodeRecord(n));
    EXPECT_EQ(found, records) << spec;
    g->Refresh(records[1], false);
    EXPECT_EQ(g->GetFocusedRecord(), records[1]) << spec;
  }
  IMemDataSet t = CreateMemDataSetFromSpec("T", "K:int*N:astr");
  IMemDataView v = CreateMemDataView(t);
  EXPECT_THROW(v->AddColumn()->SetFieldIndex(std::string("Missing")), Exception);
}

TEST(DataSetList, RefreshKeepsFocusAndFiresChangeOnlyWhenTheFocusMoved) {
  Fixture f;
  TMemRecord* r1 = f.add(1, "a");
  TMemRecord* r2 = f.add(2, "b");
  f.add(3, "c");
  Grid g;
  std::vector<TMemRecord*> changes;
  g->OnChange = [&](TDataSetList*, TMemRecord* rec) { changes.push_back(rec); };
  g->SetView(f.view);
  EXPECT_TRUE(changes.empty());  // no record to focus: no change

  g->Refresh(r2, false);
  EXPECT_EQ(g->GetFocusedRecord(), r2);
  EXPECT_EQ(changes, std::vector<TMemRecord*>{r2});

  changes.clear();
  g->Refresh(nullptr, false);  // the focused record stays focused
  EXPECT_EQ(g->GetFocusedRecord(), r2);
  g->Refresh(r2, false);
  EXPECT_TRUE(changes.empty());

  // A record no longer in the view fires the change.
  f.view->SetOnFilter([&](TMemRecord* rec, bool& accept) { accept = rec != r1; });
  g->Refresh(r1, false);
  EXPECT_EQ(changes.size(), 1u);
  EXPECT_EQ(g->RootNodeCount(), 2u);

  g->FocusRecordByKey(3);
  EXPECT_EQ(UnicodeToUtf8(g->Text(g->FocusedNode(), 1)), "c");

  // A row the tree still names (the one to select next) is forgotten when
  // the rows are made anew.
  g->ClearSelection();
  g->SetSelected(g->GetFirst(), true);
  g->SetSelected(g->GetFirst(), false);
  ASSERT_NE(g->NextNodeToSelect(), nullptr);
  g->Refresh(nullptr, false);
  EXPECT_EQ(g->NextNodeToSelect(), nullptr);
}

TEST(DataSetList, ANestedRefreshRaisesAndTheOuterOneCompletes) {
  Fixture f;
  f.add(1, "a");
  TMemRecord* r2 = f.add(2, "b");
  Grid g;
  g->SetView(f.view);
  std::string nested;
  int calls = 0;
  g->OnChange = [&](TDataSetList* sender, TMemRecord*) {
    ++calls;
    try {
      sender->Refresh(nullptr, true);
    } catch (const Exception& e) {
      nested = e.Message();
    }
  };
  // The change runs after the refresh ends; a refresh from inside it is a
  // fresh one. Inside the refresh the view's filter runs.
  f.view->SetOnFilter([&](TMemRecord*, bool& accept) {
    accept = true;
    try {
      g->Refresh(nullptr, false);
    } catch (const Exception& e) {
      nested = e.Message();
    }
  });
  g->Refresh(r2, false);
  EXPECT_EQ(nested, "Cannot update view while updating!");
  EXPECT_EQ(g->RootNodeCount(), 2u);
  EXPECT_EQ(g->GetFocusedRecord(), r2);
  EXPECT_GE(calls, 1);
}

// A filter that raises stops the refresh; the rows made until then are
// counted, and the next refresh makes the whole list.
TEST(DataSetList, AFilterThatRaisesLeavesTheRowsMadeSoFarCounted) {
  Fixture f;
  for (int i = 1; i <= 5; ++i) f.add(i, "row");
  Grid g;
  g->SetView(f.view);
  int seen = 0;
  f.view->SetOnFilter([&](TMemRecord*, bool& accept) {
    accept = true;
    if (++seen == 3) throw Exception("filter failed");
  });
  EXPECT_THROW(g->Refresh(nullptr, false), Exception);
  EXPECT_EQ(g->RootNodeCount(), 2u);
  EXPECT_EQ(g->TotalCount(), 2u);
  EXPECT_EQ(g->VisibleCount(), 2u);
  EXPECT_EQ(column(*g, 0), (std::vector<std::string>{"1", "2"}));
  f.view->SetOnFilter(nullptr);
  g->Refresh(nullptr, false);
  EXPECT_EQ(g->TotalCount(), 5u);
  EXPECT_EQ(g->VisibleCount(), 5u);
}

TEST(DataSetList, SetViewWithTheSameColumnsKeepsWidthsAndOrder) {
  Fixture f;
  f.add(1, "a");
  Grid g;
  g->SetView(f.view);
  TNodeTreeColumns& columns = g->Header().Columns();
  columns.Items(1)->SetWidth(140);
  columns.Items(3)->SetPosition(0);
  std::string layout = g->GetColumnLayout();
  g->SetView(f.makeView());
  EXPECT_EQ(g->GetColumnLayout(), layout);
  EXPECT_EQ(g->RootNodeCount(), 1u);

  IMemDataView other = f.makeView();
  other->GetColumn(0)->Caption = "Key";
  g->SetView(other);
  EXPECT_EQ(columns.Items(1)->Width(), 75);
  EXPECT_EQ(columns.Items(3)->Position(), 3);
}

// Runs the event loop until the condition holds (or a generous limit).
template <class F>
void runUntil(F done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(DataSetList, ClicksWithinTheDelayComeAfterOneChange) {
  Fixture f;
  f.add(1, "a");
  f.add(2, "b");
  Grid g;
  g->SetView(f.view);
  std::vector<std::string> events;
  g->OnChange = [&](TDataSetList*, TMemRecord* rec) { events.push_back("change " + rec->GetAnsiString(1)); };
  g->OnClick = [&](TDataSetList*, TMemRecord* rec) { events.push_back("click " + rec->GetAnsiString(1)); };
  g->OnDblClick = [&](TDataSetList*, TMemRecord* rec) { events.push_back("dblclick " + rec->GetAnsiString(1)); };
  g->SetClickDelay(40);

  g->SetFocusedNode(g->GetLast());
  g->Click();
  g->Click();
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(g->ClickTimer().Enabled());
  runUntil([&] { return !g->ClickTimer().Enabled(); });
  EXPECT_EQ(events, (std::vector<std::string>{"change b", "click b"}));

  // Without a running timer a click fires at once.
  events.clear();
  g->Click();
  EXPECT_EQ(events, std::vector<std::string>{"click b"});

  // Delay 0: the change fires at once, and so does the click after it.
  events.clear();
  g->SetClickDelay(0);
  g->SetFocusedNode(g->GetFirst());
  g->DblClick();
  EXPECT_EQ(events, (std::vector<std::string>{"change a", "dblclick a"}));
}

TEST(DataSetList, HeaderClicksSortThroughTheView) {
  Fixture f;
  // Values with ties; names tell the original order.
  const std::pair<const char*, int> rows[] = {{"e", 3}, {"a", 1}, {"D", 3}, {"b", 2}, {"c", 1}};
  int id = 1;
  for (auto [name, value] : rows) f.add(id++, name, value);
  IMemDataView v = f.makeView();
  // A text-event column: the name upper-cased, compared without case.
  TMemViewColumn* upper = v->AddColumn();
  upper->Caption = "Upper";
  upper->SetFieldIndex(1);
  upper->OnGetText = [](TMemViewColumn*, TMemRecord* rec, UnicodeString& text) {
    text = Utf8ToUnicode(UpperCase(rec ? rec->GetAnsiString(1) : std::string()));
  };
  v->GetColumn(0)->Flags |= mvfNotSortable;
  v->GetColumn(2)->Flags |= mvfDescending;
  Grid g;
  g->SetView(v);

  clickHeader(*g, 5);  // Value, ties in table order
  EXPECT_EQ(column(*g, 1), (std::vector<std::string>{"a", "c", "b", "e", "D"}));
  clickHeader(*g, 5);  // reversed; ties keep their order
  EXPECT_EQ(column(*g, 1), (std::vector<std::string>{"e", "D", "b", "a", "c"}));
  clickHeader(*g, 5);
  EXPECT_EQ(column(*g, 1), (std::vector<std::string>{"a", "c", "b", "e", "D"}));
  EXPECT_EQ(g->Header().SortDirection(), sdAscending);

  clickHeader(*g, 1);  // Name: the record store's comparison
  std::vector<std::string> byName = column(*g, 1);
  std::vector<std::string> sorted = byName;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&](const std::string& a, const std::string& b) { return AnsiCompareStr(a, b) < 0; });
  EXPECT_EQ(byName, sorted);

  clickHeader(*g, 6);  // the text event, without case
  EXPECT_EQ(column(*g, 1), (std::vector<std::string>{"a", "b", "c", "D", "e"}));

  clickHeader(*g, 2);  // flagged descending: the first click sorts descending
  EXPECT_EQ(g->Header().SortDirection(), sdDescending);
  EXPECT_EQ(column(*g, 0), (std::vector<std::string>{"5", "4", "3", "2", "1"}));

  std::vector<std::string> before = column(*g, 1);
  clickHeader(*g, 0);  // not sortable: nothing changes
  EXPECT_EQ(g->Header().SortColumn(), 2);
  EXPECT_EQ(column(*g, 1), before);
}

TEST(DataSetList, TextSortPutsNullsFirstAndKeepsTiesBothWays) {
  Fixture f;
  for (auto [id, name] : {std::pair{1, "b"}, {2, "a"}, {3, "B"}, {4, "a"}, {5, "x"}}) f.add(id, name);
  f.table->FindInteger(0, 5)->SetNull(1);
  Grid g;
  g->SetView(f.view);
  clickHeader(*g, 1);
  EXPECT_EQ(column(*g, 0), (std::vector<std::string>{"5", "2", "4", "1", "3"}));
  clickHeader(*g, 1);
  EXPECT_EQ(column(*g, 0), (std::vector<std::string>{"3", "1", "2", "4", "5"}));
}

// Lists long enough that the grid finds the rows' records in one walk over
// the key index: keys of every number type, in no order, ties in the sorted
// column, negatives first, and a row whose record went away (it has no record
// and sorts first, as a lookup gives).
TEST(DataSetList, LongListsSortByTheRecordsOfTheirKeys) {
  for (const char* spec : {"K:int*V:int", "K:word*V:int", "K:i64*V:int"}) {
    IMemDataSet t = CreateMemDataSetFromSpec("T", spec);
    std::vector<std::pair<int, std::string>> expected;  // value, key text, in table order
    for (int i = 0; i < 300; ++i) {
      TMemRecord* r = t->AddRecord();
      const int key = (i * 7919) % 1000;
      const int value = (i * 37) % 23 - 11;
      if (t->GetFieldType(0) == mftInteger) r->SetInteger(0, key - 500);
      if (t->GetFieldType(0) == mftWord) r->SetWord(0, static_cast<Word>(key));
      if (t->GetFieldType(0) == mftInt64) r->SetInt64(0, (Int64{key} << 36) - 7);
      r->SetInteger(1, value);
      expected.emplace_back(value, r->GetAsString(0));
    }
    IMemDataView v = CreateMemDataView(t);
    v->AddColumn()->SetFieldIndex(0);
    v->AddColumn()->SetFieldIndex(1);
    Grid g;
    g->SetView(v);
    auto keysShown = [&] { return column(*g, 0); };
    auto keysBy = [&](bool descending) {
      std::vector<std::pair<int, std::string>> sorted = expected;
      std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
        return descending ? a.first > b.first : a.first < b.first;
      });
      std::vector<std::string> keys;
      for (const auto& e : sorted) keys.push_back(e.second);
      return keys;
    };
    clickHeader(*g, 1);
    EXPECT_EQ(keysShown(), keysBy(false)) << spec;
    clickHeader(*g, 1);
    EXPECT_EQ(keysShown(), keysBy(true)) << spec;

    // Negatives first: the negative rows of the ascending order, reversed, on top.
    v->GetColumn(1)->Flags |= mvfNegativesFirst;
    clickHeader(*g, 1);
    std::vector<std::string> ascending = keysBy(false), negativesFirst;
    std::vector<std::pair<int, std::string>> sorted = expected;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
      if (it->first < 0) negativesFirst.push_back(it->second);
    for (const auto& e : sorted)
      if (e.first >= 0) negativesFirst.push_back(e.second);
    EXPECT_EQ(keysShown(), negativesFirst) << spec;
    v->GetColumn(1)->Flags &= ~mvfNegativesFirst;

    // The record of the row now third goes away; the row stays until the next
    // refresh, without a record, and sorts first.
    PNTNode third = g->GetNextSibling(g->GetNextSibling(g->GetFirst()));
    TMemRecord* gone = g->GetNodeRecord(third);
    ASSERT_NE(gone, nullptr);
    const std::string goneKey = gone->GetAsString(0);
    expected.erase(std::find(expected.begin(), expected.end(), std::pair{gone->GetInteger(1), goneKey}));
    gone->Free();
    clickHeader(*g, 0);  // by key: ties of the next sort keep this order
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return std::stoll(a.second) < std::stoll(b.second); });
    clickHeader(*g, 1);
    std::vector<std::string> shown = keysShown();
    ASSERT_EQ(shown.size(), 300u) << spec;
    EXPECT_EQ(shown.front(), "") << spec;
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 1, shown.end()), keysBy(false)) << spec;
  }
}

TEST(DataSetList, NegativesFirstPutsNegativeRowsOnTopInReverseOrder) {
  Fixture f;
  f.add(1, "zero", 0);
  f.add(2, "minus two", -2);
  f.add(3, "five", 5);
  f.add(4, "minus one", -1);
  IMemDataView v = f.makeView();
  v->GetColumn(5)->Flags |= mvfNegativesFirst | mvfDefaultSort;
  Grid g;
  g->SetView(v);
  // Sorted ascending: -2, -1, 0, 5; the negatives then move up one by one.
  EXPECT_EQ(column(*g, 5), (std::vector<std::string>{"-1", "-2", "0", "5"}));
  clickHeader(*g, 5);
  EXPECT_EQ(column(*g, 5), (std::vector<std::string>{"-2", "-1", "5", "0"}));
  g->Refresh(nullptr, false);  // the sort column survives a refresh
  EXPECT_EQ(column(*g, 5), (std::vector<std::string>{"-2", "-1", "5", "0"}));
}

TEST(DataSetList, LayoutStringRoundTrips) {
  IMemDataSet t = CreateMemDataSetFromSpec("T", "A:int*B:int;C:int;D:int;E:int");
  IMemDataView three = CreateMemDataView(t);
  for (Integer i = 0; i < 3; ++i) three->AddColumn()->SetFieldIndex(i);
  {
    Grid g;
    g->SetView(three);
    g->SetColumnLayout("A000500001000750010001500021");
    TNodeTreeColumns& c = g->Header().Columns();
    EXPECT_EQ(c.Items(0)->Width(), 50);
    EXPECT_EQ(c.Items(1)->Width(), 75);
    EXPECT_EQ(c.Items(2)->Width(), 150);
    EXPECT_FALSE(c.Items(1)->Options().Contains(coVisible));
    EXPECT_FALSE(g->HeaderPopup().Items()->Items(1)->Checked());
    EXPECT_EQ(g->GetColumnLayout(), "A000500001000750010001500021");
    for (const char* wrong : {"A00050000100075001000150002", "A0005000010007500100015000211",
                              "B000990001000990010009900021"}) {
      g->SetColumnLayout(wrong);
      EXPECT_EQ(g->GetColumnLayout(), "A000500001000750010001500021") << wrong;
    }
    // A part that does not parse keeps the current value (the third
    // column's position; the first moving to the end moves it down).
    g->SetColumnLayout("A00x50002100075001000150x001");
    EXPECT_EQ(g->GetColumnLayout(), "A000500021000750000001500011");
  }

  // Every order of five columns, with hidden columns, comes back from a
  // freshly built grid.
  IMemDataView five = CreateMemDataView(t);
  for (Integer i = 0; i < 5; ++i) five->AddColumn()->SetFieldIndex(i);
  std::vector<int> order(5);
  std::iota(order.begin(), order.end(), 0);
  int checked = 0;
  do {
    std::string layout = "A";
    for (int i = 0; i < 5; ++i) {
      char part[16];
      std::snprintf(part, sizeof part, "%5.5d%3.3d%c", 40 + 10 * i, order[i], (order[i] + i) % 3 ? '1' : '0');
      layout += part;
    }
    Grid g;
    g->SetView(five);
    g->SetColumnLayout(layout);
    ASSERT_EQ(g->GetColumnLayout(), layout);
    ++checked;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(checked, 120);
}

TEST(DataSetList, StateColoursFillTheCellsOfAPaintedGrid) {
  Fixture f;
  for (int i = 0; i <= 6; ++i) f.add(i, "r");
  Grid g;
  g->SetBounds(0, 0, 500, 200);
  g->UseWindowHost();
  g->SetView(f.view);
  for (int i = 0; i <= 6; ++i) f.view->SetStateByInteger(i, i);
  const TColor background = ColorToRGB(g->Color());
  const TColor expected[] = {background, background, 0xB0FFFF, 0xB0FFB0, 0x8080FF, 0xFFB0B0, 0xB0B0FF};
  const int32_t headerHeight = g->Header().Height();
  const int32_t rowHeight = static_cast<int32_t>(g->DefaultNodeHeight());
  for (bool use : {true, false}) {
    g->UseStateColors = use;
    TBitmap bitmap;
    PaintControlTo(*g, bitmap);
    for (int i = 0; i <= 6; ++i) {
      // Right of the text in the second column, and in the last column.
      const int32_t y = headerHeight + i * rowHeight + rowHeight / 2;
      const TColor want = use ? expected[i] : background;
      EXPECT_EQ(bitmap.GetPixel(140, y) & 0xFFFFFF, want & 0xFFFFFF) << "state " << i << " use " << use;
      EXPECT_EQ(bitmap.GetPixel(445, y) & 0xFFFFFF, want & 0xFFFFFF) << "state " << i << " use " << use;
    }
  }
}

TEST(DataSetList, PopupItemsShowAndHideColumns) {
  Fixture f;
  IMemDataView v = f.makeView();
  v->GetColumn(2)->Flags |= mvfHidden;
  v->GetColumn(3)->Flags |= mvfNotInGrid;
  Grid g;
  g->SetView(v);
  TNodeTreeColumns& c = g->Header().Columns();
  ASSERT_EQ(c.Count(), 5);
  TMenuItem* items = g->HeaderPopup().Items();
  ASSERT_EQ(items->Count(), 5);
  EXPECT_FALSE(c.Items(2)->Options().Contains(coVisible));
  EXPECT_FALSE(items->Items(2)->Checked());
  EXPECT_EQ(c.Items(3)->Tag(), 4);  // the view column behind the header column

  items->Items(2)->Click();
  EXPECT_TRUE(c.Items(2)->Options().Contains(coVisible));
  EXPECT_EQ(c.Items(2)->Position(), 4);
  items->Items(0)->Click();
  EXPECT_FALSE(c.Items(0)->Options().Contains(coVisible));
  EXPECT_FALSE(items->Items(0)->Checked());
}

TEST(DataSetList, TypingKeysPassTheirCharacter) {
  struct Case {
    Word key;
    TShiftState shift;
    bool typing;
    char16_t character;
  } cases[] = {{'A', {}, true, u'a'},          {'A', {ssShift}, true, u'A'},     {VK_BACK, {}, true, 0},
               {VK_DELETE, {}, true, 0},       {VK_NUMPAD0 + 5, {}, true, u'5'}, {'7', {}, true, u'7'},
               {VK_SPACE, {}, true, u' '},     {'A', {ssCtrl}, false, 0},        {VK_F2, {}, false, 0},
               {VK_RETURN, {}, false, 0},      {'Z', {ssAlt}, false, 0}};
  for (const Case& c : cases) {
    char16_t character = 0xFFFF;
    EXPECT_EQ(TDataSetList::TypingKeyCharacter(c.key, c.shift, character), c.typing) << c.key;
    if (c.typing) EXPECT_EQ(character, c.character) << c.key;
  }
}

}  // namespace
}  // namespace px
