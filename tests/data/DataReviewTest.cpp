// Faults found in review of the data library, each pinned by a test.
#include <gtest/gtest.h>

#include "data/UnitCrc.h"
#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "data/UnitList.h"

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

}  // namespace
}  // namespace px
