// Table definition: field-spec strings, layout, refusals, GUID text.
#include <gtest/gtest.h>

#include "DataTestSupport.h"
#include "data/UnitDataSet.h"

namespace px {
namespace {

using test::ErrorOf;

TEST(DataSetSpec, Parser) {
  struct Case {
    const char* spec;
    const char* fields;   // name:type,...
    const char* indexes;  // name:kind:field,...
  } cases[] = {
      {"Name:astr#Char:word", "Name:2,Char:9", "Name:1:0"},
      {"GID:word#SID:word;UnicodeCP:word*", "GID:9,SID:9,UnicodeCP:9", "GID:1:0,UnicodeCP:2:2"},
      {"GID:word#w0:flt;w1:flt;Vx:flt;Vy:flt;Uc:word;Us:ustr", "GID:9,w0:4,w1:4,Vx:4,Vy:4,Uc:9,Us:3", "GID:1:0"},
      {"a:int;b:i64;c:str;d:dbl;e:curr;f:bool;g:guid;h:byte", "a:0,b:1,c:2,d:5,e:6,f:7,g:8,h:10", ""},
      {"word", ":9", ""},
      {"x:int+y:int", "x:0,y:0", "x:3:0"},
  };
  for (const auto& c : cases) {
    IMemDataSet t = CreateMemDataSetFromSpec("S", c.spec);
    std::string fields, indexes;
    for (int i = 0; i < t->GetFieldCount(); ++i)
      fields += (i ? "," : "") + t->GetFieldName(i) + ":" + std::to_string(t->GetFieldType(i));
    for (int i = 0; i < t->GetIndexCount(); ++i)
      indexes += (i ? "," : "") + t->GetIndexName(i) + ":" + std::to_string(t->GetIndexType(i)) + ":" +
                 std::to_string(t->GetIndexField(i));
    EXPECT_EQ(fields, c.fields) << c.spec;
    EXPECT_EQ(indexes, c.indexes) << c.spec;
    EXPECT_EQ(t->GetName(), "S");
  }
  struct Bad {
    const char* spec;
    const char* message;
  } bad[] = {
      {"a:int64", "Unknown datatype: [int64], [373]"},  // matched by text, not by its hash
      {"a:uni", "Unknown datatype: [uni], [117]"},
      {"a:long", "Unknown datatype: [long], [370]"},
      {"a:", "Unknown datatype: []"},
      {"a:int#;b:int", "Unknown datatype: []"},
      {"a:Int", "Unknown datatype: [Int], [341]"},
  };
  for (const auto& b : bad) EXPECT_EQ(ErrorOf([&] { CreateMemDataSetFromSpec("S", b.spec); }), b.message) << b.spec;
}

TEST(DataSetDefinition, LayoutPacksSmallValuesIntoHoles) {
  IMemDataSet t = CreateMemDataSet();
  const Integer base = t->RecordSize();
  EXPECT_EQ(base % 8, 0);
  t->AddField(mftByte, "b", 0);
  // The byte and its null flags share the first 8 bytes after the record part.
  EXPECT_EQ(t->RecordSize(), base + 8);
  t->AddField(mftWord, "w", 0);
  t->AddField(mftInteger, "i", 0);
  EXPECT_EQ(t->RecordSize(), base + 8);  // both fit the holes
  t->AddField(mftInteger, "j", 0);
  EXPECT_EQ(t->RecordSize(), base + 16);
  for (int f = 0; f < 4; ++f) {
    TMemRecord* r = t->AddRecord();
    r->SetByte(0, 0xAB);
    r->SetWord(1, 0xCDEF);
    r->SetInteger(2, -5);
    r->SetInteger(3, 77);
    EXPECT_EQ(r->GetByte(0), 0xAB);
    EXPECT_EQ(r->GetWord(1), 0xCDEF);
    EXPECT_EQ(r->GetInteger(2), -5);
    EXPECT_EQ(r->GetInteger(3), 77);
  }
}

TEST(DataSetDefinition, Refusals) {
  IMemDataSet t = CreateNamedMemDataSet("D");
  t->AddField(mftInteger, "A", 0);
  t->AddField(mftAnsiString, "B", 0);
  EXPECT_EQ(ErrorOf([&] { t->AddField(mftWord, "A", 0); }), "Fieldname already in use. Dataset: [\"D\"] Field: [0,\"A\"]");
  EXPECT_EQ(ErrorOf([&] { t->AddField(mftWord, "X", mffCalculated); }),
            "Invalid field flags. Dataset: [\"D\"] Field: [2,\"X\"]");
  EXPECT_EQ(ErrorOf([&] { t->SetRecordClass(MemRecordClass<TMemRecord>()); }),
            "Cannot add fields, indexes, set record class or clone when dataset contains records. Dataset: [\"D\"]");
  EXPECT_EQ(ErrorOf([&] { t->AddIndex("I", 5, mitOrderedUnique); }),
            "Field index out of range. Dataset: [\"D\"] FieldIndex: [5]");
  EXPECT_EQ(ErrorOf([&] { t->AddIndex("I", 0, mitNone); }), "Invalid field/index type.");
  t->AddField(mftBoolean, "C", 0);
  t->AddField(mftGUID, "G", 0);
  EXPECT_EQ(ErrorOf([&] { t->AddIndex("I", 2, mitUnorderedUnique); }),
            "Invalid index type for given field type. Dataset: [\"D\"] Index: [\"I\"] Type: [\"mitUnorderedUnique\"] "
            "Field: [2,\"C\"]");
  EXPECT_NE(ErrorOf([&] { t->AddIndex("I", 3, mitOrderedUniqueStatic); }).find("Invalid index type"), std::string::npos);
  t->AddIndex("I", 0, mitUnorderedUnique);
  EXPECT_NE(ErrorOf([&] { t->AddIndex("J", 0, mitOrderedUnique); }).find("Cannot add fields"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { t->FieldIndexByName("Q"); }), "Field not found. Dataset: [\"D\"] Fieldname: [\"Q\"]");
  EXPECT_EQ(ErrorOf([&] { t->GetIndexName(-1); }), "Index index out of range. Dataset: [\"D\"] IndexIndex: [-1]");
  EXPECT_EQ(t->IndexOfField(""), -1);
  EXPECT_EQ(t->IndexOfField("b"), -1);  // case-sensitive
  EXPECT_EQ(t->FieldIndexByName("B"), 1);
  EXPECT_EQ(t->GetPrimaryIndex(), 0);
  EXPECT_EQ(t->FindIndexOnFieldName("A"), 0);

  // With records: stored fields and hash/tree indexes are refused; calculated
  // fields and static indexes are accepted.
  for (int i = 0; i < 100; ++i) t->AddRecord()->SetInteger(0, 100 - i);
  EXPECT_NE(ErrorOf([&] { t->AddField(mftWord, "W", 0); }).find("Cannot add fields"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { t->AddIndex("T", 1, mitOrderedUnique); }).find("Cannot add fields"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { t->Clone(); }).find("Cannot add fields"), std::string::npos);
  const Integer calc = t->AddCalculatedIntegerField("Calc", [](TMemRecord& r, Integer, Integer& v, bool&) { v = r.GetInteger(0) * 2; });
  EXPECT_EQ(t->First()->GetInteger(calc), 200);
  const Integer s = t->AddIndex("S", 1, mitOrderedNonUniqueStatic);
  EXPECT_EQ(t->FirstInIndex(s), nullptr);  // all B values are null
  t->Clear();
  EXPECT_EQ(t->GetRecordCount(), 0);
  EXPECT_EQ(t->First(), nullptr);
  EXPECT_EQ(t->FindInteger(0, 50), nullptr);
}

TEST(DataSetDefinition, InsertRecordRefusesARecordOfAnotherTable) {
  IMemDataSet a = CreateMemDataSet(), b = CreateMemDataSet();
  TMemRecord* ra = a->AddRecord();
  EXPECT_EQ(ErrorOf([&] { b->InsertRecord(ra); }), "Error.");
  EXPECT_EQ(b->GetRecordCount(), 0);
  TMemRecord* r0 = a->InsertRecord(ra);
  TMemRecord* r2 = a->InsertRecord(nullptr);
  EXPECT_EQ(a->First(), r0);
  EXPECT_EQ(r0->GetNext(), ra);
  EXPECT_EQ(ra->GetNext(), r2);
  EXPECT_EQ(a->Last(), r2);
  TMemRecordArray recs;
  a->GetRecords(-1, -1, recs, mgBackwards);
  EXPECT_EQ(recs, (TMemRecordArray{r2, ra, r0}));
}

struct CountingRecord : TMemRecord {
  static inline int destroyed = 0;
  std::string own = "owned text that is long enough to live on the heap";
  ~CountingRecord() override { ++destroyed; }
  bool IsComplete() const override { return false; }
};

TEST(DataSetDefinition, RecordSubclassesAreBuiltAndDestroyed) {
  CountingRecord::destroyed = 0;
  {
    IMemDataSet t = CreateMemDataSetFromSpec("R", "K:int#V:astr", MemRecordClass<CountingRecord>());
    EXPECT_EQ(t->GetRecordClass(), MemRecordClass<CountingRecord>());
    for (int i = 0; i < 10; ++i) {
      auto* r = static_cast<CountingRecord*>(t->AddRecord());
      EXPECT_EQ(r->own.size(), 50u);
      r->SetInteger(0, i);
      r->SetAnsiString(1, std::string(40, 'x'));
      EXPECT_FALSE(r->IsComplete());
      EXPECT_EQ(r->GetDataSet(), t);
    }
    delete t->FindInteger(0, 3);
    EXPECT_EQ(CountingRecord::destroyed, 1);
    EXPECT_EQ(t->FindInteger(0, 3), nullptr);
    EXPECT_EQ(t->GetRecordCount(), 9);
  }
  EXPECT_EQ(CountingRecord::destroyed, 10);
}

TEST(DataSetDefinition, GuidText) {
  const TGUID g = TextToGUID("{B84BC84B-14FC-451F-A0BF-7C19BCFCB5C6}");
  EXPECT_EQ(g.D1, 0xB84BC84Bu);
  EXPECT_EQ(g.D4[0], 0xA0);
  EXPECT_EQ(GUIDToText(g), "{B84BC84B-14FC-451F-A0BF-7C19BCFCB5C6}");
  EXPECT_EQ(TextToGUID("{b84bc84b-14fc-451f-a0bf-7c19bcfcb5c6}"), g);
  for (const char* bad : {"{B84BC84B-14FC-451F-A0BF-7C19BCFCB5C}", "{B84BC84B-14FC-451F-A0BF-7C19BCFCB5C66}",
                          "B84BC84B-14FC-451F-A0BF-7C19BCFCB5C6}", "{B84BC84B-14FC-451F-A0BF-7C19BCFCB5CG}",
                          "{B84BC84B+14FC-451F-A0BF-7C19BCFCB5C6}"}) {
    EXPECT_EQ(ErrorOf([&] { TextToGUID(bad); }), "String is not a valid GUID") << bad;
  }
}

}  // namespace
}  // namespace px
