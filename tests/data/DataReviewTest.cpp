// Faults found in review of the data library, each pinned by a test.
#include <gtest/gtest.h>

#include "data/UnitCrc.h"
#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "data/UnitList.h"
#include "platform/core/CodePages.h"

namespace px {
namespace {

// A Boolean field can be part of an index over several fields; setting it
// must move the record in that index like any other key change.
TEST(DataReview, BooleanInMultiFieldIndexMovesTheRecord) {
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftBoolean, "B", 0);
  t->AddField(mftInteger, "I", 0);
  const Integer ix = t->AddMultiFieldIndex({0, 1}, mitOrderedUnique);
  TMemRecord* a = t->AddRecord();
  a->SetInteger(1, 1);
  a->SetBoolean(0, true);  // enters the index here: both fields hold values now
  TMemRecord* b = t->AddRecord();
  b->SetBoolean(0, false);
  b->SetInteger(1, 2);
  t->CheckIndexIntegrity(ix);
  EXPECT_EQ(t->FirstInIndex(ix), b);
  EXPECT_EQ(t->LastInIndex(ix), a);
  a->SetBoolean(0, false);  // (false,1) now sorts before (false,2)
  t->CheckIndexIntegrity(ix);
  EXPECT_EQ(t->FirstInIndex(ix), a);
  TMemRecord* c = t->AddRecord();
  c->SetInteger(1, 1);
  c->SetBoolean(0, true);
  EXPECT_THROW(c->SetBoolean(0, false), EDatasetException);  // (false,1) is a's
  EXPECT_TRUE(c->GetBoolean(0));
  t->CheckIndexIntegrity(ix);
  EXPECT_EQ(t->FirstInIndex(ix), a);
  c->Free();
  a->Free();
  b->Free();
  t->CheckIndexIntegrity(ix);
}

// Moving an item whose name the target list already holds is refused
// before anything changes: the item stays with the list that owns it
// instead of being left in no list at all.
TEST(DataReview, NameListMoveRefusedByNameKeepsTheItemOwned) {
  TNameList one, two;
  two.Options = loTakeFromOtherList;
  TNameItem* a = one.Add(std::make_unique<TNameItem>("a"));
  TNameItem* other = two.Add(std::make_unique<TNameItem>("a"));
  EXPECT_THROW(two.Add(a), EListException);
  EXPECT_EQ(a->List(), &one);
  EXPECT_EQ(one.Find("a"), a);
  EXPECT_EQ(two.Count(), 1);
  EXPECT_EQ(two.Find("a"), other);
  // With replacing on, the move goes through and the present item is freed.
  two.Options = loTakeFromOtherList | loReplaceSameName;
  two.Add(a);
  EXPECT_EQ(a->List(), &two);
  EXPECT_EQ(one.Count(), 0);
  EXPECT_EQ(two.Count(), 1);
  EXPECT_EQ(two.Find("a"), a);
}

// A name list reached through its base class keeps its hash chains: a named
// item is hashed and found, an item without a name is refused.
TEST(DataReview, NameListAddedToThroughItsBaseClass) {
  TNameList names;
  TBaseList& base = names;
  auto* named = new TNameItem("n");
  base.Add(named);
  EXPECT_EQ(names.Find("n"), named);
  EXPECT_EQ(named->Hash(), CRC32OfString("n"));
  auto plain = std::make_unique<TBaseItem>();
  EXPECT_THROW(base.Add(plain.get()), EListException);
  EXPECT_EQ(plain->List(), nullptr);
  for (int i = 0; i < 40; ++i) names.Add(std::make_unique<TNameItem>("x" + std::to_string(i)));  // rehashes
  EXPECT_EQ(names.Find("n"), named);
  names.Remove(named);
  delete named;
}

// The image offset is added with 32-bit wrap-around, as the integer
// arithmetic of the original does, instead of overflowing a signed int.
TEST(DataReview, ImageOffsetNearTheIntegerLimit) {
  IMemDataSet t = CreateMemDataSetFromSpec("T", "Img:int");
  TMemRecord* r = t->AddRecord();
  r->SetInteger(0, INT32_MAX);
  IMemDataView v = CreateMemDataView(t, 1);
  TMemViewColumn* col = v->AddColumn();
  col->SetFieldIndex(0);
  col->ImageField = 0;
  col->ImageOffset = 2;
  EXPECT_EQ(v->GetInteger(r, 0), INT32_MIN + 1);
  r->SetInteger(0, 5);
  EXPECT_EQ(v->GetInteger(r, 0), 7);
}

// A FILETIME before 1899-12-30 is shown on its own day: a TDateTime there
// counts days backwards but the time of day forwards, which one division
// of the ticks gets wrong (1601-01-01 06:00 showed as 1601-01-02 18:00).
TEST(DataReview, FileTimesBeforeTheDateTimeEpoch) {
  IMemDataSet t = CreateMemDataSetFromSpec("T", "F:i64");
  TMemRecord* r = t->AddRecord();
  TMemViewColumn col;
  col.Locale = Locales().LocaleEnUS;
  col.Flags = mvfFileTime;
  constexpr Int64 hour = 36000000000, day = 24 * hour;
  const struct {
    Int64 ticks;
    const char* text;
  } cases[] = {
      {6 * hour, "1/1/1601 6:00:00 AM"},
      {109204 * day + 18 * hour, "12/29/1899 6:00:00 PM"},
      {109205 * day + 18 * hour, "12/30/1899 6:00:00 PM"},
      {134774 * day + 12 * hour + 30 * 60 * 10000000LL, "1/1/1970 12:30:00 PM"},
  };
  for (const auto& c : cases) {
    r->SetInt64(0, c.ticks);
    EXPECT_EQ(UnicodeToUtf8(FormatViewValue(r, 0, col)), c.text) << c.ticks;
  }
}

}  // namespace
}  // namespace px
