// Faults found in review of the data library, each pinned by a test.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

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

// A number beyond a Single's range searched for in a Single key is not
// converted (that is undefined): it equals no stored key and sits between the
// largest finite key and infinity. NaN finds the stored NaN.
TEST(DataReview, FindByManyBeyondTheRangeOfASingleKey) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  for (const char* spec : {"k:flt*", "k:flt#"}) {
    SCOPED_TRACE(spec);
    const bool hashed = spec[5] == '#';
    IMemDataSet t = CreateMemDataSetFromSpec("F", spec);
    auto add = [&](float v) {
      TMemRecord* r = t->AddRecord();
      r->SetSingle(0, v);
      return r;
    };
    TMemRecord* negInf = add(-inf);
    TMemRecord* negMax = add(-FLT_MAX);
    TMemRecord* mid = add(1.5f);
    TMemRecord* posMax = add(FLT_MAX);
    TMemRecord* posInf = add(inf);
    TMemRecord* aNaN = add(nan);
    struct Case {
      double key;
      Byte flags;
      TMemRecord* tree;
      TMemRecord* hash;
    } cases[] = {
        {1e39, 0, nullptr, nullptr},
        {1e39, mfAtOrAfter, posInf, nullptr},
        {1e39, mfAtOrBefore, posMax, nullptr},
        {DBL_MAX, mfAtOrBefore, posMax, nullptr},
        {-1e39, 0, nullptr, nullptr},
        {-1e39, mfAtOrAfter, negMax, nullptr},
        {-DBL_MAX, mfAtOrBefore, negInf, nullptr},
        {std::nextafter(static_cast<double>(FLT_MAX), DBL_MAX), 0, nullptr, nullptr},
        {static_cast<double>(FLT_MAX), 0, posMax, posMax},
        {std::numeric_limits<double>::infinity(), 0, posInf, posInf},
        {-std::numeric_limits<double>::infinity(), 0, negInf, negInf},
        {std::numeric_limits<double>::quiet_NaN(), 0, aNaN, aNaN},
        {1.5, 0, mid, mid},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.key << " flags " << int(c.flags));
      EXPECT_EQ(t->FindByMany(0, {c.key}, c.flags), hashed ? c.hash : c.tree);
    }
  }
  // The same for a Double key given a long double beyond its range, and a
  // Currency key refuses such a value instead of converting it.
  IMemDataSet d = CreateMemDataSetFromSpec("D", "k:dbl*");
  TMemRecord* dMax = d->AddRecord();
  dMax->SetDouble(0, DBL_MAX);
  d->AddRecord()->SetDouble(0, std::numeric_limits<double>::infinity());
  EXPECT_EQ(d->FindByMany(0, {1e400L}), nullptr);
  EXPECT_EQ(d->FindByMany(0, {1e400L}, mfAtOrBefore), dMax);
  IMemDataSet c = CreateMemDataSetFromSpec("C", "k:curr*");
  c->AddRecord()->SetCurrency(0, Currency::FromInt64(1));
  EXPECT_THROW(c->FindByMany(0, {1e400L}), EOverflow);
}

}  // namespace
}  // namespace px
