// Random operations on every index kind, checked after each step against
// plain std::multimap models.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "data/UnitDataSet.h"

namespace px {
namespace {

// Fields: 0 hash-unique, 1 tree-unique, 2 tree-non-unique, 3 static, 4 string tree-non-unique.
struct Fixture {
  IMemDataSet t = CreateMemDataSet();
  std::vector<TMemRecord*> recs;
  std::vector<std::multimap<int, TMemRecord*>> model{4};
  std::multimap<std::string, TMemRecord*> smodel;
  Fixture() {
    for (int i = 0; i < 4; ++i) t->AddField(mftInteger, "F" + std::to_string(i), 0);
    t->AddField(mftAnsiString, "S", 0);
    t->AddFieldIndex(0, mitUnorderedUnique);
    t->AddFieldIndex(1, mitOrderedUnique);
    t->AddFieldIndex(2, mitOrderedNonUnique);
    t->AddFieldIndex(3, mitOrderedNonUniqueStatic);
    t->AddFieldIndex(4, mitOrderedNonUnique);
  }
  static bool unique(int f) { return f < 2; }
  void eraseFrom(int f, TMemRecord* r) {
    auto& m = model[static_cast<size_t>(f)];
    for (auto it = m.begin(); it != m.end(); ++it)
      if (it->second == r) {
        m.erase(it);
        return;
      }
  }
  void eraseS(TMemRecord* r) {
    for (auto it = smodel.begin(); it != smodel.end(); ++it)
      if (it->second == r) {
        smodel.erase(it);
        return;
      }
  }
};

TEST(DataSetIndexModel, RandomOperationsMatchTheModel) {
  std::mt19937 rng(12345);
  Fixture fx;
  auto rnd = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int step = 0; step < 6000; ++step) {
    const int op = rnd(10);
    if (op < 2 || fx.recs.empty()) {
      fx.recs.push_back(fx.t->AddRecord());
    } else if (op < 6) {
      TMemRecord* r = fx.recs[static_cast<size_t>(rnd(static_cast<int>(fx.recs.size())))];
      const int f = rnd(5), key = rnd(60);
      if (f == 4) {
        const std::string s = "k" + std::to_string(key);
        fx.eraseS(r);
        r->SetAnsiString(4, s);
        fx.smodel.emplace(s, r);
        continue;
      }
      const bool wasNull = r->IsNull(f);
      const int old = r->GetInteger(f);
      const bool taken = Fixture::unique(f) && fx.model[static_cast<size_t>(f)].count(key) &&
                         !(fx.model[static_cast<size_t>(f)].find(key)->second == r);
      if (taken) {
        EXPECT_THROW(r->SetInteger(f, key), EDatasetException);
        EXPECT_EQ(r->IsNull(f), wasNull);
        EXPECT_EQ(r->GetInteger(f), old);
      } else {
        r->SetInteger(f, key);
        fx.eraseFrom(f, r);
        fx.model[static_cast<size_t>(f)].emplace(key, r);
      }
    } else if (op < 7) {
      TMemRecord* r = fx.recs[static_cast<size_t>(rnd(static_cast<int>(fx.recs.size())))];
      const int f = rnd(5);
      r->SetNull(f, true);
      if (f == 4)
        fx.eraseS(r);
      else
        fx.eraseFrom(f, r);
    } else if (op < 8) {
      const size_t i = static_cast<size_t>(rnd(static_cast<int>(fx.recs.size())));
      TMemRecord* r = fx.recs[i];
      for (int f = 0; f < 4; ++f) fx.eraseFrom(f, r);
      fx.eraseS(r);
      delete r;
      fx.recs.erase(fx.recs.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      // Finds with every flag on every integer index.
      const int key = rnd(64);
      for (int f = 0; f < 4; ++f) {
        const auto& m = fx.model[static_cast<size_t>(f)];
        for (Byte flags : {Byte(0), mfAtOrAfter, mfAtOrBefore}) {
          TMemRecord* got = fx.t->FindInteger(f, key, flags);
          if (f == 0 || flags == 0) {
            auto it = m.find(key);
            if (it == m.end()) {
              EXPECT_EQ(got, nullptr);
            } else {
              ASSERT_NE(got, nullptr);
              EXPECT_EQ(got->GetInteger(f), key);
              if (f == 2) {
                EXPECT_EQ(got, it->second);  // the first inserted of equal keys
              }
            }
          } else if (flags == mfAtOrAfter) {
            auto it = m.lower_bound(key);
            if (it == m.end()) {
              EXPECT_EQ(got, nullptr);
            } else {
              ASSERT_NE(got, nullptr);
              EXPECT_EQ(got->GetInteger(f), it->first);
            }
          } else {
            auto it = m.upper_bound(key);
            if (it == m.begin()) {
              EXPECT_EQ(got, nullptr);
            } else {
              --it;
              ASSERT_NE(got, nullptr);
              EXPECT_EQ(got->GetInteger(f), it->first);
              if (f == 2) {
                EXPECT_EQ(got, it->second);  // the last of equal keys
              }
            }
          }
        }
      }
    }
    for (int ix = 0; ix < 5; ++ix) fx.t->CheckIndexIntegrity(ix);
    if (step % 50 == 0) {
      // Ordered walks visit exactly the model's entries, in order; the
      // non-unique tree keeps equal keys in insertion order.
      for (int f = 1; f < 4; ++f) {
        std::vector<TMemRecord*> walked;
        for (TMemRecord* r = fx.t->FirstInIndex(f); r; r = r->NextInIndex(f)) walked.push_back(r);
        const auto& m = fx.model[static_cast<size_t>(f)];
        ASSERT_EQ(walked.size(), m.size());
        size_t i = 0;
        for (const auto& [k, r] : m) {
          EXPECT_EQ(walked[i]->GetInteger(f), k);
          if (f == 2) {
            EXPECT_EQ(walked[i], r);
          }
          ++i;
        }
        std::vector<TMemRecord*> back;
        for (TMemRecord* r = fx.t->LastInIndex(f); r; r = r->PriorInIndex(f)) back.push_back(r);
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(back, walked);
      }
      std::vector<std::string> ws;
      for (TMemRecord* r = fx.t->FirstInIndex(4); r; r = r->NextInIndex(4)) ws.push_back(r->GetAnsiString(4));
      std::vector<std::string> ms;
      for (const auto& [k, r] : fx.smodel) ms.push_back(k);
      EXPECT_EQ(ws, ms);
      EXPECT_EQ(fx.t->GetRecordCount(), static_cast<Integer>(fx.recs.size()));
    }
  }
}

TEST(DataSetIndexModel, DuplicateRollsBackAFieldWithTwoIndexes) {
  // Field A carries a non-unique tree (which accepts anything) and, with B,
  // a unique two-field tree that refuses the pair: the record must leave the
  // first index again and come back with its old value.
  IMemDataSet t = CreateNamedMemDataSet("T");
  t->AddField(mftInteger, "A", 0);
  t->AddField(mftInteger, "B", 0);
  t->AddFieldIndex(0, mitOrderedNonUnique);
  t->AddNamedMultiFieldIndex("AB", {"A", "B"}, mitOrderedUnique);
  TMemRecord* r1 = t->AddRecord();
  r1->SetInteger(0, 1);
  r1->SetInteger(1, 5);
  TMemRecord* r2 = t->AddRecord();
  r2->SetInteger(0, 2);
  r2->SetInteger(1, 5);
  TMemRecord* r3 = t->AddRecord();
  r3->SetInteger(1, 5);  // A stays null
  try {
    r2->SetInteger(0, 1);
    FAIL();
  } catch (const EDatasetException& e) {
    EXPECT_EQ(e.Message(), "Duplicate value in unique index. Dataset: [\"T\"] Field: [0,\"A\"] Index: [1,\"AB\"]");
  }
  EXPECT_THROW(r3->SetInteger(0, 2), EDatasetException);
  EXPECT_TRUE(r3->IsNull(0));
  EXPECT_EQ(r2->GetInteger(0), 2);
  EXPECT_EQ(t->FindInteger(0, 2), r2);
  EXPECT_EQ(t->FindInteger(0, 1), r1);
  std::vector<TMemRecord*> walk;
  for (TMemRecord* r : t->SetEnumeratorIndex(0)) walk.push_back(r);
  EXPECT_EQ(walk, (std::vector<TMemRecord*>{r1, r2}));
  EXPECT_EQ(t->FindByMany(1, {1, 5}), r1);
  EXPECT_EQ(t->FindByMany(1, {2, 5}), r2);
  EXPECT_EQ(t->FindByMany(1, {3, 5}), nullptr);
  t->CheckIndexIntegrity(0);
  t->CheckIndexIntegrity(1);
  // Once the pair is free, the same change goes through.
  r1->SetInteger(1, 6);
  r2->SetInteger(0, 1);
  EXPECT_EQ(t->FindByMany(1, {1, 5}), r2);
  EXPECT_EQ(t->FindByMany(1, {1, 6}), r1);
  EXPECT_THROW(t->FindByMany(1, {1}), EDatasetException);
}

}  // namespace
}  // namespace px
