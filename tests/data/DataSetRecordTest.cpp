// Records: typed access, nulls, conversions, comparison; calculated and
// lookup fields, sorting, natural order, cloning, enumeration, string set.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <random>

#include "DataTestSupport.h"
#include "data/UnitDataSet.h"

namespace px {
namespace {

using test::ErrorOf;

TEST(DataSetRecord, TypedAccessAndNulls) {
  IMemDataSet t = CreateMemDataSetFromSpec("R", "I:int;W:word#S:astr;U:ustr;G:guid;O:bool");
  t->AddField(mftDouble, "D", mffOptional);
  TMemRecord* r = t->AddRecord();
  for (int f = 0; f < t->GetFieldCount(); ++f) EXPECT_TRUE(r->IsNull(f)) << f;
  EXPECT_EQ(r->GetInteger(0), 0);
  EXPECT_EQ(r->GetAnsiString(2), "");
  EXPECT_FALSE(r->IsComplete());
  EXPECT_EQ(ErrorOf([&] { r->GetInteger(1); }),
            "Invalid field type. Dataset: [\"R\"] Field: [1,\"W\"] FieldType: [\"mftWord\"] Accessed as: [\"mftInteger\"]");
  EXPECT_EQ(ErrorOf([&] { r->GetInteger(99); }), "Field index out of range. Dataset: [\"R\"] FieldIndex: [99]");
  r->SetInteger(0, -7);
  r->SetWord(1, 65535);
  r->SetAnsiString(2, std::string("a\0b", 3));
  r->SetUnicodeString(3, u"\u20AC");
  r->SetGUID(4, TextToGUID("{B84BC84B-14FC-451F-A0BF-7C19BCFCB5C6}"));
  r->SetBoolean(5, true);
  EXPECT_TRUE(r->IsComplete());  // D is optional
  EXPECT_EQ(r->GetAnsiString(2), std::string("a\0b", 3));
  EXPECT_EQ(r->GetUnicodeString(3), u"\u20AC");
  EXPECT_EQ(r->GetAsString(3), "\x80");
  EXPECT_EQ(r->GetAsString(4), "{B84BC84B-14FC-451F-A0BF-7C19BCFCB5C6}");
  EXPECT_EQ(r->GetAsString(5), "True");
  EXPECT_EQ(r->GetAsString(6), "");
  // SetNull takes the record out of the index; SetNull(false) puts it back with 0.
  EXPECT_EQ(t->FindWord(0, 65535), r);
  r->SetNull(1, true);
  EXPECT_EQ(t->FindWord(0, 65535), nullptr);
  EXPECT_EQ(r->GetWord(1), 0);
  r->SetNull(1, false);
  EXPECT_EQ(t->FindWord(0, 0), r);
  r->SetNull(2, true);
  EXPECT_EQ(r->GetAnsiString(2), "");
  EXPECT_EQ(r->GetIntegerByName("I"), -7);
  EXPECT_EQ(ErrorOf([&] { r->GetIntegerByName("Nope"); }), "Field not found. Dataset: [\"R\"] Fieldname: [\"Nope\"]");
  // A duplicate keeps the old value and index entry.
  TMemRecord* r2 = t->AddRecord();
  r2->SetWord(1, 5);
  EXPECT_EQ(ErrorOf([&] { r2->SetWord(1, 0); }),
            "Duplicate value in unique index. Dataset: [\"R\"] Field: [1,\"W\"] Index: [0,\"W\"]");
  EXPECT_EQ(r2->GetWord(1), 5);
  EXPECT_EQ(t->FindWord(0, 5), r2);
  r2->SetNull(1, true);
  EXPECT_THROW(r2->SetNull(1, false), EDatasetException);  // 0 is r's
  EXPECT_TRUE(r2->IsNull(1));
}

TEST(DataSetRecord, Conversions) {
  IMemDataSet t = CreateMemDataSetFromSpec("C", "i:int;l:i64;s:astr;f:flt;d:dbl;c:curr;b:bool;w:word;y:byte;u:ustr");
  TMemRecord* r = t->AddRecord();
  struct Case {
    std::function<void()> set;
    int field;
    const char* text;
    Integer asInt;
    bool asBool;
  };
  const Case cases[] = {
      {[&] { r->SetInteger(0, -12); }, 0, "-12", -12, true},
      {[&] { r->SetInt64(1, 0x100000005LL); }, 1, "4294967301", 5, true},
      {[&] { r->SetAnsiString(2, "$1F"); }, 2, "$1F", 31, false},
      {[&] { r->SetAnsiString(2, "true"); }, 2, "true", 0, true},
      {[&] { r->SetAnsiString(2, "12x"); }, 2, "12x", 0, false},
      {[&] { r->SetSingle(3, 0.1f); }, 3, "0.100000001490116", 0, true},
      {[&] { r->SetDouble(4, 2.5); }, 4, "2.5", 2, true},
      {[&] { r->SetDouble(4, 3.5); }, 4, "3.5", 4, true},
      {[&] { r->SetDouble(4, -2.5); }, 4, "-2.5", -2, true},
      {[&] { r->SetCurrency(5, Currency::FromRaw(25000)); }, 5, "2.5", 2, true},
      {[&] { r->SetCurrency(5, Currency::FromRaw(35000)); }, 5, "3.5", 4, true},
      {[&] { r->SetCurrency(5, Currency::FromRaw(12345)); }, 5, "1.2345", 1, true},
      {[&] { r->SetBoolean(6, false); }, 6, "False", 0, false},
      {[&] { r->SetWord(7, 65535); }, 7, "65535", 65535, true},
      {[&] { r->SetByte(8, 0); }, 8, "0", 0, false},
      {[&] { r->SetUnicodeString(9, u"42"); }, 9, "42", 42, true},
  };
  for (const auto& c : cases) {
    c.set();
    EXPECT_EQ(r->GetAsString(c.field), c.text) << c.text;
    EXPECT_EQ(r->GetAsInteger(c.field), c.asInt) << c.text;
    EXPECT_EQ(r->GetAsBoolean(c.field), c.asBool) << c.text;
  }
  r->SetDouble(4, std::nan(""));
  EXPECT_THROW(r->GetAsInteger(4), EInvalidOp);
}

TEST(DataSetRecord, CompareAndMoveToFront) {
  IMemDataSet t = CreateMemDataSetFromSpec("C", "i:int;s:astr");
  TMemRecord* a = t->AddRecord();
  TMemRecord* b = t->AddRecord();
  TMemRecord* c = t->AddRecord();
  // Two nulls are equal both ways; a null sorts first; a nil record first of all.
  EXPECT_EQ(a->Compare(b, 0), 0);
  EXPECT_EQ(b->Compare(a, 0), 0);
  a->SetInteger(0, 1);
  EXPECT_EQ(a->Compare(b, 0), 1);
  EXPECT_EQ(b->Compare(a, 0), -1);
  EXPECT_EQ(TMemRecord::Compare(nullptr, b, 0), 0);
  EXPECT_EQ(TMemRecord::Compare(nullptr, a, 0), -1);
  b->SetInteger(0, 2);
  EXPECT_EQ(a->Compare(b, 0), -1);
  a->SetAnsiString(1, "a");
  b->SetAnsiString(1, "B");
  EXPECT_EQ(a->Compare(b, 1), -1);  // locale order: a before B
  IMemDataSet other = CreateMemDataSetFromSpec("O", "i:int");
  TMemRecord* o = other->AddRecord();
  o->SetInteger(0, 1);
  EXPECT_EQ(ErrorOf([&] { a->Compare(o, 0); }), "Error.");
  c->MoveToFront();
  EXPECT_EQ(t->First(), c);
  EXPECT_EQ(c->GetNext(), a);
  EXPECT_EQ(t->Last(), b);
  EXPECT_EQ(b->GetPrior(), a);
  EXPECT_EQ(t->GetRecordCount(), 3);
}

// Ranks must order exactly as Compare does, pair by pair: texts that differ
// only in case, accents, ignorable characters or a trailing or embedded NUL,
// Windows-1252 letters, surrogates, natural order, doubles, nulls and nil.
TEST(DataSetRecord, RanksOrderAsCompareDoes) {
  IMemDataSet t = CreateMemDataSetFromSpec("K", "a:astr;u:ustr");
  t->AddField(mftAnsiString, "n", mffNaturalOrder);
  t->AddField(mftDouble, "d", 0);
  const std::string ansi[] = {"",     "a",      "A",      "b",           "ab",   "a b",  "a-b",       "ab\x01",
                              "\x01ab", "\xE9",   "e",      "E",           "\xEB",  "\x80",  "\x8C",       "\x9C",
                              "ss",   "\xDF",   "ae",     "\xC6",         "10",   "9",    "x10",       "x9",
                              "a",    "\xE9",   std::string("a\0b", 3), std::string("a\0", 2), "z",  "Z",  "\xE4", "a\xAD"};
  const std::u16string unicode[] = {u"", u"e\u0301", u"\u00E9", u"\U0001F600", u"\uFFFF", std::u16string(u"a\0", 2),
                                    u"a", u"\xD800", u"\uFF21", u"A", u"\u00E9", u"\u0142", u"l"};
  std::mt19937 random(3);
  std::vector<TMemRecord*> records{nullptr};
  for (int i = 0; i < 160; ++i) {
    TMemRecord* r = t->AddRecord();
    records.push_back(r);
    if (i % 17 == 5) continue;  // every field null
    std::string a = ansi[random() % std::size(ansi)];
    if (i % 3 == 0) a += ansi[random() % std::size(ansi)];
    r->SetAnsiString(0, a);
    r->SetUnicodeString(1, unicode[random() % std::size(unicode)] + unicode[random() % std::size(unicode)]);
    r->SetAnsiString(2, ansi[random() % std::size(ansi)]);
    const double doubles[] = {1.5, -0.0, 0.0, std::nan(""), -3, 1.5};
    r->SetDouble(3, doubles[random() % std::size(doubles)]);
  }
  for (Integer field = 0; field < 4; ++field) {
    const std::vector<Int64> ranks = TMemRecord::RankByField(records, field);
    ASSERT_EQ(ranks.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
      for (size_t j = 0; j < records.size(); ++j) {
        const int expected = TMemRecord::Compare(records[i], records[j], field);
        const int got = (ranks[i] > ranks[j]) - (ranks[i] < ranks[j]);
        ASSERT_EQ(got, expected) << "field " << field << " records " << i << ", " << j;
      }
  }
  IMemDataSet other = CreateMemDataSetFromSpec("O", "a:astr");
  TMemRecord* o = other->AddRecord();
  o->SetAnsiString(0, "a");
  EXPECT_EQ(ErrorOf([&] { TMemRecord::RankByField({records[1], o}, 0); }), "Error.");
}

TEST(DataSetIndexes, OrderedFindsAndKeyOrders) {
  IMemDataSet t = CreateMemDataSetFromSpec("O", "k:int*n:int+s:astr*u:ustr*d:dbl*");
  const int keys[] = {10, 20, 30};
  for (int k : keys) t->AddRecord()->SetInteger(0, k);
  struct F {
    int key;
    Byte flags;
    int expect;  // 0 = nil
  } finds[] = {{15, mfAtOrAfter, 20}, {15, mfAtOrBefore, 10}, {5, mfAtOrBefore, 0}, {35, mfAtOrAfter, 0},
               {20, 0, 20},           {15, 0, 0},             {20, 3, 20}};
  for (const auto& f : finds) {
    TMemRecord* r = t->FindInteger(0, f.key, f.flags);
    EXPECT_EQ(r ? r->GetInteger(0) : 0, f.expect) << f.key << "/" << int(f.flags);
  }
  EXPECT_EQ(t->FindInt64(0, 2147483647LL), nullptr);
  EXPECT_EQ(ErrorOf([&] { t->FindInt64(0, 2147483648LL); }), "Value out of range.");
  EXPECT_EQ(ErrorOf([&] { t->FindWord(0, 1); }), "Invalid field/index type.");
  // Byte order of AnsiString keys, signed code units of UnicodeString keys.
  TMemRecord* r = t->First();
  r->SetAnsiString(2, "a");
  r->GetNext()->SetAnsiString(2, "B");
  r->GetNext()->GetNext()->SetAnsiString(2, "ab");
  std::string order;
  for (TMemRecord* x : t->SetEnumeratorIndex(2)) order += x->GetAnsiString(2) + ",";
  EXPECT_EQ(order, "B,a,ab,");
  r->SetUnicodeString(3, u"A");
  r->GetNext()->SetUnicodeString(3, std::u16string(1, char16_t(0xC4E0)));
  r->GetNext()->GetNext()->SetUnicodeString(3, std::u16string(1, char16_t(0x4E00)));
  EXPECT_EQ(t->FirstInIndex(3), r->GetNext());
  EXPECT_EQ(t->LastInIndex(3), r->GetNext()->GetNext());
  // NaN sorts after +infinity.
  r->SetDouble(4, std::nan(""));
  r->GetNext()->SetDouble(4, INFINITY);
  r->GetNext()->GetNext()->SetDouble(4, -1);
  EXPECT_EQ(t->LastInIndex(4), r);
  EXPECT_EQ(t->FindDouble(4, std::nan("")), r);
  t->CheckIndexIntegrity(4);
  // Non-unique: setting the same key again moves the record behind its equals.
  TMemRecord *a = t->First(), *b = a->GetNext(), *c = b->GetNext();
  for (TMemRecord* x : {a, b, c}) x->SetInteger(1, 7);
  b->SetInteger(1, 7);
  TMemRecordArray recs;
  t->GetRecords(1, 1, recs, 0);
  EXPECT_EQ(recs, (TMemRecordArray{a, c, b}));
  EXPECT_EQ(t->FindInteger(1, 7), a);
  EXPECT_EQ(t->FindInteger(1, 7, mfAtOrBefore), b);
}

TEST(DataSetIndexes, StaticIndexesAndHashSpecials) {
  IMemDataSet t = CreateMemDataSetFromSpec("S", "k:int;f:flt#y:byte#");
  TMemRecord* first = nullptr;
  for (int i = 0; i < 100; ++i) {
    TMemRecord* r = t->AddRecord();
    r->SetInteger(0, i % 10);
    if (i == 3) first = r;
  }
  const Integer s = t->AddIndex("st", 0, mitOrderedUniqueStatic);
  EXPECT_EQ(t->FindInteger(s, 3), first);  // equal keys: the earliest record first
  int n = 0;
  for (TMemRecord* r = t->FirstInIndex(s); r; r = r->NextInIndex(s)) ++n;
  EXPECT_EQ(n, 100);
  t->First()->SetNull(0, true);
  n = 0;
  for (TMemRecord* r : t->SetEnumeratorIndex(s)) {
    (void)r;
    ++n;
  }
  EXPECT_EQ(n, 99);
  // Hash: 0.0 and -0.0 are two keys; flags are ignored.
  t->First()->SetSingle(1, 0.0f);
  t->First()->GetNext()->SetSingle(1, -0.0f);
  EXPECT_EQ(t->FindSingle(0, -0.0f, mfAtOrAfter), t->First()->GetNext());
  // Byte keys: one record per value.
  t->First()->SetByte(2, 9);
  EXPECT_THROW(t->Last()->SetByte(2, 9), EDatasetException);
  EXPECT_EQ(t->FindByte(1, 9), t->First());
}

TEST(DataSetExtras, CalculatedAndLookupFields) {
  IMemDataSet src = CreateMemDataSetFromSpec("Src", "id:int#w:word#name:astr");
  for (int i = 1; i <= 3; ++i) {
    TMemRecord* r = src->AddRecord();
    r->SetInteger(0, i);
    r->SetWord(1, static_cast<Word>(i * 100));
    r->SetAnsiString(2, "N" + std::to_string(i));
  }
  IMemDataSet t = CreateMemDataSetFromSpec("T", "ref:int;wref:word");
  TMemRecord* a = t->AddRecord();
  TMemRecord* b = t->AddRecord();
  a->SetInteger(0, 2);
  a->SetWord(1, 300);
  b->SetInteger(0, 9);
  const Integer lk = t->AddLookupField("Name", src, 2, 0, 0);
  const Integer wk = t->AddLookupField("WName", src, 2, 1, 1);  // Word key: its own typed find
  EXPECT_EQ(t->GetFieldFlags(lk), mffOptional | mffCalculated);
  EXPECT_EQ(a->GetAnsiString(lk), "N2");
  EXPECT_FALSE(a->IsNull(lk));
  EXPECT_EQ(b->GetAnsiString(lk), "");
  EXPECT_TRUE(b->IsNull(lk));
  EXPECT_EQ(a->GetAnsiString(wk), "N3");
  EXPECT_TRUE(b->IsNull(wk));  // key null
  int calls = 0;
  const Integer c = t->AddCalculatedInt64Field("Twice", [&](TMemRecord& r, Integer, Int64& v, bool& isNull) {
    ++calls;
    isNull = r.IsNull(0);
    v = r.GetInteger(0) * 2LL;
  });
  EXPECT_EQ(a->GetInt64(c), 4);
  EXPECT_EQ(a->GetAsString(c), "4");
  EXPECT_GE(calls, 2);  // nothing cached
  EXPECT_EQ(ErrorOf([&] { a->SetInt64(c, 1); }), "Cannot set value of a calculated field. Dataset: [\"T\"] Field: [4,\"Twice\"]");
  EXPECT_EQ(ErrorOf([&] { t->AddCalculatedWordField("X", nullptr); }),
            "No event specified for field. Dataset: [\"T\"] Field: [5,\"X\"] FieldType: [\"mftWord\"]");
  EXPECT_EQ(ErrorOf([&] { t->AddLookupField("X", nullptr, 0, 0, 0); }),
            "Source dataset is not assigned for new lookup field. Dataset: [\"T\"] Field: [5,\"X\"]");
  EXPECT_EQ(ErrorOf([&] { t->AddLookupField("X", src, 0, 7, 0); }), "Index index out of range. Dataset: [\"T\"] IndexIndex: [7]");
  EXPECT_EQ(ErrorOf([&] { t->AddIndex("", c, mitOrderedUnique); }).substr(0, 20), "Cannot add fields, i");
  // FindByMany on single-field indexes.
  EXPECT_EQ(src->FindByMany(0, {2}), src->First()->GetNext());
  EXPECT_EQ(src->FindByMany(1, {70000}), nullptr);
  EXPECT_EQ(ErrorOf([&] { src->FindByMany(0, {1, 2}); }),
            "Invalid number of fields in multifield lookup (ByMany). Dataset: [\"Src\"] Expected: [1] Given: [2]");
  EXPECT_EQ(ErrorOf([&] { src->FindByMany(0, {"x"}); }), "Invalid field/index type.");
  IMemDataSet names = CreateMemDataSetFromSpec("N", "n:astr*");
  names->AddRecord()->SetAnsiString(0, "abc");
  EXPECT_EQ(names->FindByMany(0, {"abc"}), names->First());
  EXPECT_EQ(names->FindByMany(0, {AnsiString("abc")}), names->First());
  EXPECT_EQ(names->FindByMany(0, {char16_t(0x4E00)}, mfAtOrBefore), names->First());
  EXPECT_EQ(names->FindByMany(0, {char16_t(0x4E00)}), nullptr);
}

TEST(DataSetExtras, StableSortsAndExceptionSafety) {
  IMemDataSet t = CreateMemDataSetFromSpec("S", "k:int;s:astr;n:int");
  std::vector<TMemRecord*> recs;
  for (int i = 0; i < 200; ++i) {
    TMemRecord* r = t->AddRecord();
    r->SetInteger(0, (i * 7) % 5);
    r->SetInteger(2, i);
    if (i % 3) r->SetAnsiString(1, std::string(1, static_cast<char>('a' + i % 4)));
    recs.push_back(r);
  }
  auto check = [&](bool descending) {
    int prevKey = descending ? 99 : -1, prevN = -1;
    for (TMemRecord* r = t->First(); r; r = r->GetNext()) {
      const int k = r->GetInteger(0), n = r->GetInteger(2);
      if (k == prevKey) {
        EXPECT_GT(n, prevN);  // ties keep their order
      } else {
        EXPECT_TRUE(descending ? k < prevKey : k > prevKey);
      }
      prevKey = k;
      prevN = n;
    }
  };
  t->SortByField(0);
  check(false);
  t->SortByField(2);
  t->Sort([](TMemRecord* a, TMemRecord* b) { return a->GetInteger(0) >= b->GetInteger(0); });
  check(true);
  EXPECT_EQ(t->GetRecordCount(), 200);
  // Several fields: nulls first.
  t->SortByFields({"s", 2});
  EXPECT_TRUE(t->First()->IsNull(1));
  // An exception from the compare event leaves the list as it was.
  std::vector<TMemRecord*> before;
  for (TMemRecord* r = t->First(); r; r = r->GetNext()) before.push_back(r);
  int calls = 0;
  EXPECT_THROW(t->Sort([&](TMemRecord*, TMemRecord*) -> bool {
    if (++calls == 150) throw Exception("stop");
    return false;
  }),
               Exception);
  std::vector<TMemRecord*> after;
  for (TMemRecord* r = t->First(); r; r = r->GetNext()) after.push_back(r);
  EXPECT_EQ(after, before);
  std::vector<TMemRecord*> back;
  for (TMemRecord* r = t->Last(); r; r = r->GetPrior()) back.push_back(r);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, before);
  EXPECT_EQ(ErrorOf([&] { t->SortByFieldName("zz"); }), "Field index out of range. Dataset: [\"S\"] FieldIndex: [-1]");
}

TEST(DataSetExtras, NaturalOrder) {
  struct Case {
    const char* a;
    const char* b;
    int expect;
  } cases[] = {
      {"x9", "x10", -1},   {"x05", "x5", -1},     {"x5", "x05", 1},   {"A", "a", -1},       {"a", "A", 1},
      {"\xDF", "SS", 1},   {"\xDF", "ST", -1},    {"x19", "x100", -1}, {"\x8C", "\x9C", -1}, {"\x9C", "OE", 1},
      {"\xC9t\xE9", "ETE", 1}, {"abc", "abc", 0}, {"", "a", -1},      {"x1a", "x12", -1},   {"a2b10", "a2b9", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NaturalCompareAnsi(c.a, c.b), c.expect) << c.a << " vs " << c.b;
    EXPECT_EQ(NaturalCompareAnsi(c.b, c.a), -c.expect) << c.b << " vs " << c.a;
  }
  EXPECT_EQ(NaturalCompareUnicode(u"x9", u"x10"), -1);
  EXPECT_EQ(NaturalCompareUnicode(u"\u4E00", u"Y"), 1);  // folds as Y, then the code units decide
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftAnsiString, "n", mffNaturalOrder);
  for (const char* s : {"file10", "File9", "file1"}) t->AddRecord()->SetAnsiString(0, s);
  t->SortByFields({0, 0});
  EXPECT_EQ(t->First()->GetAnsiString(0), "file1");
  EXPECT_EQ(t->Last()->GetAnsiString(0), "file10");
}

TEST(DataSetExtras, CloneEnumerationAndStringSet) {
  IMemDataSet t = CreateMemDataSetFromSpec("C", "k:int#s:astr*", nullptr, 1.5);
  t->SetTag(4);
  t->SetFieldTag(1, 9);
  IMemDataSet c = t->Clone();
  EXPECT_TRUE(c->SameStructure(t));
  EXPECT_EQ(c->GetDoubleTag(), 1.5);
  EXPECT_EQ(c->GetTag(), 4);
  c->SetFieldTag(1, 10);
  EXPECT_EQ(t->GetFieldTag(1), 9);
  EXPECT_FALSE(c->SameStructure(t));
  for (int i = 0; i < 300; ++i) c->AddRecord()->SetInteger(0, i);
  EXPECT_EQ(c->FindInteger(0, 299)->GetInteger(0), 299);
  EXPECT_EQ(t->GetRecordCount(), 0);
  // Freeing the current record inside a loop goes on with the next one.
  int seen = 0;
  for (TMemRecord* r : c->SetEnumeratorIndex(0)) {
    ++seen;
    if (r->GetInteger(0) % 2) delete r;
  }
  EXPECT_EQ(seen, 300);
  EXPECT_EQ(c->GetRecordCount(), 150);
  std::vector<Integer> values;
  c->GetIntegerValues(0, -1, values, mgBackwards);
  EXPECT_EQ(values.front(), 298);
  EXPECT_EQ(values.size(), 150u);

  TAnsiStringSet set(false);
  AnsiString one = std::string("same") + "text", two = std::string("sam") + "etext";
  const std::string_view v1 = set.Intern(one);
  const std::string_view v2 = set.Intern(two);
  EXPECT_EQ(v1.data(), v2.data());
  EXPECT_EQ(two, "sametext");
  EXPECT_EQ(set.Count(), 1);
}

}  // namespace
}  // namespace px
