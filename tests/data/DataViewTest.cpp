#include <gtest/gtest.h>

#include <time.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DataTestSupport.h"
#include "data/UnitDataView.h"
#include "platform/core/CodePages.h"
#include "platform/core/StringList.h"
#include "support/TempDir.h"

namespace px {
namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }

 private:
  void set(const char* value) {
    if (value)
      setenv(name_.c_str(), value, 1);
    else
      unsetenv(name_.c_str());
    tzset();
  }
  std::string name_;
  std::optional<std::string> old_;
};

using test::ErrorOf;

std::string u8(const UnicodeString& s) { return UnicodeToUtf8(s); }

// A table with one field of every type and a primary key on field 0.
IMemDataSet allTypes() {
  return CreateMemDataSetFromSpec(
      "All", "Id:int*Big:i64;Name:astr;Wide:ustr;Sgl:flt;Dbl:dbl;Money:curr;Flag:bool;Id2:guid;W:word;B:byte");
}

TEST(DataView, CreationAndKey) {
  EXPECT_EQ(ErrorOf([] { CreateMemDataView(nullptr); }), "DataView: No dataset");

  IMemDataSet t = allTypes();
  ASSERT_EQ(t->GetPrimaryIndex(), 0);
  IMemDataView v = CreateMemDataView(t);
  EXPECT_EQ(v->GetKeyType(), mftInteger);
  EXPECT_EQ(v->GetKeyField(), 0);
  EXPECT_EQ(v->GetRecordStates()->GetName(), "RecordStates");
  EXPECT_EQ(v->GetRecordStates()->GetFieldCount(), 2);
  EXPECT_EQ(v->GetRecordStates()->GetIndexType(0), mitUnorderedUnique);

  IMemDataView noKey = CreateMemDataView(t, 1);
  EXPECT_EQ(noKey->GetKeyType(), mftNone);
  EXPECT_EQ(noKey->GetKeyField(), -1);
  EXPECT_EQ(noKey->GetRecordStates()->GetFieldCount(), 0);
  EXPECT_EQ(ErrorOf([&] { noKey->SetStateByInteger(1, 3); }), "Wrong index type");
  EXPECT_EQ(ErrorOf([&] { v->GetColumn(0); }), "Index out of range");
}

class DataViewFormat : public ::testing::Test {
 protected:
  DataViewFormat() : t(allTypes()), v(CreateMemDataView(t)), rec(t->AddRecord()) { rec->SetInteger(0, 1); }
  // Text of field `field` with the given flags and format, in `locale`.
  std::string text(Integer field, Cardinal flags = 0, const char* format = "", TLocale* locale = nullptr) {
    TMemViewColumn col;
    col.SetFieldIndex(field);
    col.Flags = flags;
    col.Format = format;
    col.Locale = locale ? locale : locales.LocaleEnUS;
    return u8(FormatViewValue(rec, field, col));
  }
  TLocales locales{"en"};
  IMemDataSet t;
  IMemDataView v;
  TMemRecord* rec;
};

TEST_F(DataViewFormat, EveryTypeAndKind) {
  TLocale* nl = locales.LocaleNlNL;
  for (Integer f = 1; f < t->GetFieldCount(); ++f) EXPECT_EQ(text(f), "") << "null field " << f;

  rec->SetInteger(0, 0);
  EXPECT_EQ(text(0), "0");
  EXPECT_EQ(text(0, mvfBlankZero), "");
  rec->SetInteger(0, -1234);
  EXPECT_EQ(text(0), "-1234");
  EXPECT_EQ(text(0, 0, "%6d"), " -1234");
  EXPECT_EQ(text(0, mvfBlankZero), "-1234");
  rec->SetInteger(0, 1500);
  EXPECT_EQ(text(0, mvfCents), "$15.00");
  EXPECT_EQ(text(0, mvfCents, "", nl), "€ 15,00");
  EXPECT_EQ(text(0, mvfCents, "%.1m", nl), "€ 15,0");
  rec->SetInteger(0, 86400);
  EXPECT_EQ(text(0, mvfDateTime), "1/2/1970");
  EXPECT_EQ(text(0, mvfDateTime, "", nl), "02-01-1970");
  rec->SetInteger(0, 86400 + 3600 + 61);
  EXPECT_EQ(text(0, mvfDateTime), "1/2/1970 1:01:01 AM");
  EXPECT_EQ(text(0, mvfDateTime, "yyyy-mm-dd hh:nn"), "1970-01-02 01:01");

  rec->SetInt64(1, 0);
  EXPECT_EQ(text(1, mvfBlankZero), "");
  rec->SetInt64(1, -9000000000000000000LL);
  EXPECT_EQ(text(1), "-9000000000000000000");
  EXPECT_EQ(text(1, 0, "<%d>"), "<-9000000000000000000>");
  // 2024-03-05 14:07:09.5 UTC as a FILETIME.
  rec->SetInt64(1, (1709647629LL + 11644473600LL) * 10000000LL + 5000000);
  EXPECT_EQ(text(1, mvfFileTime, "", nl), "05-03-2024 14:07:09");
  EXPECT_EQ(text(1, mvfFileTime, "hh:nn:ss.zzz"), "14:07:09.500");
  // A FILETIME far beyond year 9999 shows as a number instead of failing.
  rec->SetInt64(1, 0x7FFFFFFFFFFFFFFFLL);
  EXPECT_EQ(text(1, mvfFileTime | mvfFileTimeUTC), "10565994.1167301");

  rec->SetAnsiString(2, "Caf\xE9");
  EXPECT_EQ(text(2), "Café");
  EXPECT_EQ(text(2, 0, "[%s]"), "[Café]");
  rec->SetUnicodeString(3, u"\u0416\u20AC");
  EXPECT_EQ(text(3), "Ж€");
  EXPECT_EQ(text(3, 0, "%-4s|"), "Ж€  |");

  rec->SetSingle(4, 0);
  EXPECT_EQ(text(4, mvfBlankZero), "");
  rec->SetSingle(4, 1.1f);
  EXPECT_EQ(text(4), "1.1");
  EXPECT_EQ(text(4, 0, "", nl), "1,1");
  EXPECT_EQ(text(4, 0, "%.3f"), "1.100");
  rec->SetDouble(5, 1.0 / 3);
  EXPECT_EQ(text(5), "0.333333333333333");
  EXPECT_EQ(text(5, 0, "%.2n", nl), "0,33");
  rec->SetDouble(5, 0);
  EXPECT_EQ(text(5, mvfBlankZero | mvfDateTime), "");
  EXPECT_EQ(text(5, mvfDateTime), "12/30/1899");
  rec->SetDouble(5, 45000.5);
  EXPECT_EQ(text(5, mvfDateTime), "3/15/2023 12:00:00 PM");
  EXPECT_EQ(text(5, mvfDateTime, "dddd d mmmm", nl), "woensdag 15 maart");

  rec->SetCurrency(6, Currency::FromRaw(0));
  EXPECT_EQ(text(6, mvfBlankZero), "");
  rec->SetCurrency(6, Currency::FromRaw(-12345000));
  EXPECT_EQ(text(6), "-$1,234.50");
  EXPECT_EQ(text(6, 0, "", nl), "€ -1.234,50");
  EXPECT_EQ(text(6, 0, "%.0m"), "-$1,235");

  rec->SetBoolean(7, true);
  EXPECT_EQ(text(7), "1");
  rec->SetBoolean(7, false);
  EXPECT_EQ(text(7), "0");

  rec->SetGUID(8, TGUID::FromString("{43520FBC-CB50-498C-A7ED-676D406133DC}"));
  EXPECT_EQ(text(8), "{43520FBC-CB50-498C-A7ED-676D406133DC}");

  rec->SetWord(9, 65535);
  EXPECT_EQ(text(9), "65535");
  EXPECT_EQ(text(9, 0, "%x"), "FFFF");
  rec->SetWord(9, 0);
  EXPECT_EQ(text(9, mvfBlankZero), "");
  rec->SetByte(10, 200);
  EXPECT_EQ(text(10), "200");
  EXPECT_EQ(text(10, 0, "%4d"), " 200");
}

TEST_F(DataViewFormat, Lookups) {
  IMemDataSet names = CreateMemDataSetFromSpec("Names", "Id:int*Name:astr;Code:word");
  Integer byCode = names->AddFieldIndex(2, mitOrderedUnique);
  for (Integer i = 1; i <= 3; ++i) {
    TMemRecord* r = names->AddRecord();
    r->SetInteger(0, i);
    r->SetAnsiString(1, "name" + std::to_string(i));
    r->SetWord(2, static_cast<Word>(100 + i));
  }
  TMemViewColumn col;
  col.Locale = locales.LocaleEnUS;
  col.LookupDataSet = names;
  col.LookupIndex = 0;
  col.LookupField = 1;
  rec->SetInteger(0, 2);
  EXPECT_EQ(u8(FormatViewValue(rec, 0, col)), "name2");
  rec->SetInteger(0, 9);
  EXPECT_EQ(u8(FormatViewValue(rec, 0, col)), "");
  // The found value is formatted with the column's format.
  col.Format = "<%s>";
  rec->SetInteger(0, 3);
  EXPECT_EQ(u8(FormatViewValue(rec, 0, col)), "<name3>");
  col.Format = "";

  // Bytes and words search a Word key by its own type; numbers beyond it find nothing.
  col.LookupIndex = byCode;
  rec->SetByte(10, 101);
  EXPECT_EQ(u8(FormatViewValue(rec, 10, col)), "name1");
  rec->SetInteger(0, 65536 + 101);
  EXPECT_EQ(u8(FormatViewValue(rec, 0, col)), "");

  // A byte looked up in an index of text keys is a programming error.
  IMemDataSet byText = CreateMemDataSetFromSpec("T", "Key:astr*Value:astr");
  col.LookupDataSet = byText;
  col.LookupIndex = 0;
  EXPECT_THROW(FormatViewValue(rec, 10, col), EAssertionFailed);
  TMemRecord* tr = byText->AddRecord();
  tr->SetAnsiString(0, "k");
  tr->SetAnsiString(1, "value of k");
  rec->SetAnsiString(2, "k");
  EXPECT_EQ(u8(FormatViewValue(rec, 2, col)), "value of k");

  // A table that looks itself up: a value pointing to its own record is
  // shown once, not followed for ever.
  IMemDataSet tree = CreateMemDataSetFromSpec("Tree", "Id:int*Parent:int");
  TMemRecord* self = tree->AddRecord();
  self->SetInteger(0, 5);
  self->SetInteger(1, 5);
  TMemViewColumn parent;
  parent.Locale = locales.LocaleEnUS;
  parent.LookupDataSet = tree;
  parent.LookupIndex = 0;
  parent.LookupField = 1;
  EXPECT_EQ(u8(FormatViewValue(self, 1, parent)), "5");
}

// Unix seconds, FILETIME and UTC date-times under a real time zone, against
// Python's zoneinfo.
TEST_F(DataViewFormat, TimeZoneAgainstPython) {
  ScopedEnv tz("TZ", "Europe/Amsterdam");
  const std::vector<long long> seconds = {0,          86399,      1700000000, 1711846799, 1711846800,
                                          1729990799, 1729990800, 2147483647, -31536000, 951825600};
  std::string args;
  for (long long s : seconds) args += " " + std::to_string(s);
  const std::string script =
      "import sys, datetime, zoneinfo\n"
      "ams = zoneinfo.ZoneInfo('Europe/Amsterdam')\n"
      "def show(d):\n"
      "    t = '' if (d.hour, d.minute, d.second) == (0, 0, 0) else d.strftime(' %H:%M:%S')\n"
      "    return d.strftime('%d-%m-%Y') + t\n"
      "for a in sys.argv[1:]:\n"
      "    u = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc) + datetime.timedelta(seconds=int(a))\n"
      "    print(show(u) + '|' + show(u.astimezone(ams)))\n";
  test::TempDir dir;
  test::WriteFileBytes(dir.Path() / "tz.py", script);
  std::string out;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 " + dir.File("tz.py") + args, &out), 0);
  std::istringstream lines(out);
  TLocale* nl = locales.LocaleNlNL;
  for (long long s : seconds) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const std::string utc = line.substr(0, line.find('|')), local = line.substr(line.find('|') + 1);
    SCOPED_TRACE(std::to_string(s) + " " + line);
    rec->SetInteger(0, static_cast<Integer>(s));
    EXPECT_EQ(text(0, mvfDateTime, "", nl), utc);  // Unix seconds are shown as they are
    rec->SetInt64(1, (s + 11644473600LL) * 10000000LL);
    EXPECT_EQ(text(1, mvfFileTime, "", nl), utc);
    EXPECT_EQ(text(1, mvfFileTimeUTC, "", nl), local);
    rec->SetDouble(5, static_cast<double>(s) / 86400 + 25569);
    EXPECT_EQ(text(5, mvfDateTime, "", nl), utc);
    EXPECT_EQ(text(5, mvfDateTimeUTC, "", nl), local);
  }
}

class DataViewCells : public ::testing::Test {
 protected:
  DataViewCells() {
    t = CreateMemDataSetFromSpec("People", "Id:int*Name:astr;Nick:astr;Age:word;Small:byte;Img:int;Score:dbl");
    v = CreateMemDataView(t);
    for (Integer i = 1; i <= 10; ++i) {
      TMemRecord* r = t->AddRecord();
      r->SetInteger(0, i);
      r->SetAnsiString(1, "P" + std::to_string(i));
    }
    r1 = t->First();
  }
  TLocales locales{"en"};
  IMemDataSet t;
  IMemDataView v;
  TMemRecord* r1;
};

TEST_F(DataViewCells, TextOfColumns) {
  TMemViewColumn* c = v->AddColumn();
  c->Locale = locales.LocaleEnUS;
  c->FieldIndexes = {2, 1, -1, 0};
  EXPECT_EQ(u8(v->GetText(nullptr, 0)), "*NO RECORD*");
  EXPECT_EQ(ErrorOf([&] { v->GetText(r1, 1); }), "Index out of range");
  EXPECT_EQ(u8(v->GetText(r1, 0)), "P1");  // field 2 is null
  r1->SetAnsiString(2, "nick");
  EXPECT_EQ(u8(v->GetCellText(r1, 0)), "nick");
  c->FieldIndexes = {3, -1, 0};  // the list ends at the first negative entry
  EXPECT_EQ(u8(v->GetText(r1, 0)), "");
  c->OnGetText = [](TMemViewColumn*, TMemRecord* r, UnicodeString& s) { s = u"custom " + AnsiToUnicode(r->GetAnsiString(1)); };
  EXPECT_EQ(u8(v->GetText(r1, 0)), "custom P1");

  // Plain text: TextField, else with the fallback flag the first field.
  TMemViewColumn* a = v->AddColumn();
  a->Locale = locales.LocaleEnUS;
  a->SetFieldIndex(0);
  EXPECT_EQ(ErrorOf([&] { v->GetAnsiText(nullptr, 1); }), "DataView: No record");
  EXPECT_EQ(v->GetAnsiText(r1, 1), "");
  a->Flags = mvfAnsiTextFallback;
  EXPECT_EQ(v->GetAnsiText(r1, 1), "1");
  a->TextField = 1;
  r1->SetAnsiString(1, "Z\xFCrich");
  EXPECT_EQ(v->GetAnsiText(r1, 1), "Z\xFCrich");
}

TEST_F(DataViewCells, ImagesColoursAndDrawing) {
  TMemViewColumn* c = v->AddColumn();
  c->SetFieldIndex(5);
  EXPECT_EQ(v->GetInteger(r1, 0), -1);  // no image index
  c->ImageIndex = 4;
  EXPECT_EQ(v->GetInteger(r1, 0), -1);  // first field null
  r1->SetInteger(5, 0);
  EXPECT_EQ(v->GetInteger(r1, 0), 4);
  c->ImageField = 5;
  c->ImageOffset = 10;
  r1->SetInteger(5, 3);
  EXPECT_EQ(v->GetInteger(r1, 0), 13);
  r1->SetInteger(5, -2);
  EXPECT_EQ(v->GetInteger(r1, 0), -2);
  c->OnGetImageIndex = [](TMemViewColumn*, TMemRecord*, Integer& i) { i = 77; };
  EXPECT_EQ(v->GetInteger(r1, 0), 77);

  EXPECT_EQ(v->GetCellColor(r1, 0, clViewNone), clViewNone);
  c->OnGetColor = [](TMemViewColumn*, TMemRecord* r, TViewColor& col) { col = r->GetInteger(0) * 2; };
  EXPECT_EQ(v->GetCellColor(r1, 0, clViewNone), 2);

  EXPECT_FALSE(v->CustomDrawCell(nullptr, 0, TRect(0, 0, 5, 5), nullptr));
  TRect seen;
  c->OnCustomDraw = [&](TMemViewColumn*, void*, const TRect& r, void*) { seen = r; };
  EXPECT_TRUE(v->CustomDrawCell(nullptr, 0, TRect(1, 2, 3, 4), nullptr));
  EXPECT_EQ(seen, TRect(1, 2, 3, 4));
}

TEST_F(DataViewCells, SetTextParsesAndMarks) {
  std::vector<Integer> edited;
  v->SetOnEdited([&](TMemRecord*, Integer col) { edited.push_back(col); });
  TMemViewColumn* id = v->AddColumn();
  id->SetFieldIndex(5);
  TMemViewColumn* age = v->AddColumn();
  age->SetFieldIndex(3);
  TMemViewColumn* small = v->AddColumn();
  small->SetFieldIndex(4);
  TMemViewColumn* score = v->AddColumn();
  score->SetFieldIndex(6);
  TMemViewColumn* name = v->AddColumn();
  name->SetFieldIndex(1);

  r1->SetInteger(5, 9);
  v->SetText(r1, 0, u"abc");
  EXPECT_EQ(r1->GetInteger(5), 9);
  EXPECT_EQ(edited.size(), 1u);
  EXPECT_EQ(v->GetRecordState(r1), rsPresent);

  v->SetText(r1, 0, u"42");
  EXPECT_EQ(r1->GetInteger(5), 42);
  EXPECT_EQ(v->GetRecordState(r1), rsEdited);

  // Out-of-range words and bytes are refused, not cut to their low bits.
  TMemRecord* r2 = r1->GetNext();
  struct Case {
    Integer column;
    const char16_t* text;
    bool stored;
    Integer value;
  } cases[] = {{1, u"70000", false, 0}, {1, u"-1", false, 0},  {1, u"65535", true, 65535},
               {2, u"256", false, 0},   {2, u"255", true, 255}, {2, u"$10", true, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(u8(c.text));
    v->ClearStates();
    const Integer field = c.column == 1 ? 3 : 4;
    r2->SetNull(field);
    v->SetText(r2, c.column, c.text);
    EXPECT_EQ(!r2->IsNull(field), c.stored);
    if (c.stored) {
      EXPECT_EQ(r2->GetAsInteger(field), c.value);
    }
    EXPECT_EQ(v->GetRecordState(r2), c.stored ? rsEdited : rsPresent);
  }

  v->SetText(r2, 3, u"1.5e3");
  EXPECT_EQ(r2->GetDouble(6), 1500);
  {
    TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = ",";
    v->SetText(r2, 3, u"2,25");
    FormatSettings = saved;
  }
  EXPECT_EQ(r2->GetDouble(6), 2.25);
  v->SetText(r2, 3, u"");
  EXPECT_TRUE(r2->IsNull(6));
  v->SetText(r2, 4, u"");
  EXPECT_FALSE(r2->IsNull(1));  // an empty text is a value for text fields
  v->SetText(r2, 4, u"\u00C9t\u00E9");
  EXPECT_EQ(r2->GetAnsiString(1), "\xC9t\xE9");

  // State 5 stays as it is.
  v->SetRecordState(r2, rsKeep);
  v->SetText(r2, 0, u"3");
  EXPECT_EQ(v->GetRecordState(r2), rsKeep);

  EXPECT_EQ(ErrorOf([&] { v->SetText(nullptr, 0, u"1"); }), "DataView: No record");
  EXPECT_EQ(ErrorOf([&] { v->SetText(r1, 9, u"1"); }), "Index out of range");
  IMemDataSet b = CreateMemDataSetFromSpec("B", "Flag:bool");
  IMemDataView bv = CreateMemDataView(b);
  bv->AddColumn()->SetFieldIndex(0);
  EXPECT_THROW(bv->SetText(b->AddRecord(), 0, u"1"), EAssertionFailed);
}

TEST_F(DataViewCells, RecordStates) {
  EXPECT_EQ(v->GetStateByInteger(7), rsPresent);
  EXPECT_EQ(v->GetStateByInteger(70), rsNone);
  v->SetStateByInteger(7, 3);
  EXPECT_EQ(v->GetStateByInteger(7), 3);
  v->SetStateByInteger(7, 0);
  EXPECT_EQ(v->GetStateByInteger(7), rsPresent);
  EXPECT_EQ(v->GetRecordStates()->GetRecordCount(), 0);
  EXPECT_EQ(v->GetStateByInt64(7), rsNone);  // another key type
  EXPECT_EQ(ErrorOf([&] { v->SetStateByAnsiString("x", 3); }), "Wrong index type");
  EXPECT_EQ(ErrorOf([&] { v->SetRecordState(nullptr, 3); }), "DataView: No record");
  EXPECT_EQ(v->GetRecordState(nullptr), rsNone);
  EXPECT_EQ(v->FindRecordByInteger(4)->GetInteger(0), 4);
  EXPECT_EQ(v->FindRecordByAnsiString("P4"), nullptr);

  // Walk the marked records in the order they were marked; a state whose
  // record has gone is passed over.
  v->SetStateByInteger(9, 3);
  v->SetStateByInteger(50, 3);
  v->SetStateByInteger(2, 4);
  v->SetStateByInteger(5, 3);
  v->SetStateByInteger(6, 9);
  std::vector<Integer> walk;
  for (TMemRecord* r = v->GetStateRecord(nullptr, 1 << 3); r; r = v->GetStateRecord(r, 1 << 3))
    walk.push_back(r->GetInteger(0));
  EXPECT_EQ(walk, (std::vector<Integer>{9, 5}));
  EXPECT_EQ(v->GetStateRecord(nullptr, (1 << 3) | (1 << 4))->GetInteger(0), 9);
  EXPECT_EQ(v->GetStateRecord(v->FindRecordByInteger(9), 1 << 4)->GetInteger(0), 2);
  EXPECT_EQ(v->GetStateRecord(r1, 0xFF), nullptr);  // record 1 has no entry
  EXPECT_EQ(v->GetStateRecord(nullptr, 1 << 1), nullptr);
  v->ClearStates();
  EXPECT_EQ(v->GetStateRecord(nullptr, 0xFF), nullptr);
}

TEST(DataView, StatesByOtherKeyTypes) {
  IMemDataSet s = CreateMemDataSetFromSpec("S", "Code:astr*Big:i64");
  TMemRecord* a = s->AddRecord();
  a->SetAnsiString(0, "a");
  IMemDataView v = CreateMemDataView(s);
  EXPECT_EQ(v->GetKeyType(), mftAnsiString);
  v->SetRecordState(a, 6);
  EXPECT_EQ(v->GetStateByAnsiString("a"), 6);
  EXPECT_EQ(v->GetStateRecord(nullptr, 1 << 6), a);

  IMemDataSet g = CreateMemDataSetFromSpec("G", "Id:guid*");
  TMemRecord* gr = g->AddRecord();
  const TGUID id = TGUID::FromString("{43520FBC-CB50-498C-A7ED-676D406133DC}");
  gr->SetGUID(0, id);
  IMemDataView gv = CreateMemDataView(g);
  EXPECT_EQ(gv->FindRecordByGUID(id), gr);
  EXPECT_EQ(gv->GetStateByGUID(id), rsPresent);
  gv->SetStateByGUID(id, 3);
  EXPECT_EQ(gv->GetRecordState(gr), 3);

  // Word keys: found through the Integer search, but they keep no states.
  IMemDataSet w = CreateMemDataSetFromSpec("W", "Id:word*");
  TMemRecord* wr = w->AddRecord();
  wr->SetWord(0, 40000);
  IMemDataView wv = CreateMemDataView(w);
  EXPECT_EQ(wv->FindRecordByInteger(40000), wr);
  EXPECT_EQ(wv->FindRecordByInteger(40000 + 65536), nullptr);
  EXPECT_EQ(wv->GetRecordState(wr), rsNone);
  EXPECT_EQ(ErrorOf([&] { wv->SetRecordState(wr, 3); }), "Wrong index type");
}

TEST_F(DataViewCells, ForEachWithFilter) {
  v->SetOnFilter([](TMemRecord* r, bool& accept) { accept = r->GetInteger(0) % 2 == 0; });
  std::vector<Integer> seen;
  int data = 0;
  v->ForEach(
      [&](void* d, TMemRecord* r, bool&) {
        EXPECT_EQ(d, &data);
        seen.push_back(r->GetInteger(0));
      },
      &data);
  EXPECT_EQ(seen, (std::vector<Integer>{2, 4, 6, 8, 10}));
  EXPECT_EQ(v->GetVisibleCount(), 5);
  EXPECT_TRUE(v->IsFiltered());

  v->SetOnFilter(nullptr);
  v->ForEach([](void*, TMemRecord* r, bool& goOn) { goOn = r->GetInteger(0) < 4; }, nullptr);
  EXPECT_EQ(v->GetVisibleCount(), 3);  // the record that stops the walk is not counted
  v->ForEach([](void*, TMemRecord* r, bool&) { delete r; }, nullptr);  // freeing as it walks
  EXPECT_EQ(t->GetRecordCount(), 0);
  EXPECT_EQ(v->GetVisibleCount(), 10);
}

TEST_F(DataViewCells, ColumnsAndTables) {
  v->AddDefaultColumns();
  ASSERT_EQ(v->GetColumnCount(), 7);
  EXPECT_EQ(v->GetColumn(1)->Caption, "Name");
  EXPECT_EQ(v->GetColumn(1)->FieldIndexes, std::vector<Integer>{1});
  EXPECT_EQ(v->GetColumn(1)->Width, 75);

  IMemDataView other = CreateMemDataView(t);
  EXPECT_FALSE(v->SameColumns(nullptr));
  EXPECT_FALSE(v->SameColumns(other));
  other->AddDefaultColumns();
  EXPECT_TRUE(v->SameColumns(other));
  other->GetColumn(6)->GridText1 = "not compared";
  other->GetColumn(6)->OnGetText = [](TMemViewColumn*, TMemRecord*, UnicodeString&) {};
  EXPECT_TRUE(v->SameColumns(other));
  other->GetColumn(6)->GridText3 = "compared";
  EXPECT_FALSE(v->SameColumns(other));

  // Same fields, the key elsewhere: the view takes its key from the new table.
  IMemDataSet same = CreateMemDataSetFromSpec("People2", "Id:int;Name:astr#Nick:astr;Age:word;Small:byte;Img:int;Score:dbl;Extra:int");
  TMemRecord* p = same->AddRecord();
  p->SetAnsiString(1, "key");
  v->SetStateByInteger(3, 4);
  EXPECT_FALSE(v->MatchesDataSet(nullptr));
  EXPECT_FALSE(v->MatchesDataSet(CreateMemDataSetFromSpec("X", "Id:int;Name:ustr;Nick:astr;Age:word;Small:byte;Img:int;Score:dbl")));
  EXPECT_FALSE(v->MatchesDataSet(CreateMemDataSetFromSpec("X", "Id:int")));
  ASSERT_TRUE(v->MatchesDataSet(same));
  EXPECT_EQ(v->GetDataSet(), same);
  EXPECT_EQ(v->GetKeyType(), mftAnsiString);
  EXPECT_EQ(v->GetKeyField(), 1);
  EXPECT_EQ(v->GetKeyIndex(), 0);
  EXPECT_EQ(v->GetRecordStates()->GetRecordCount(), 0);
  EXPECT_EQ(v->FindRecordByAnsiString("key"), p);
  v->SetRecordState(p, 3);
  EXPECT_EQ(v->GetStateByAnsiString("key"), 3);
}

TEST(DataView, FillLookupList) {
  TLocales locales("en");
  IMemDataSet names = CreateMemDataSetFromSpec("Names", "Id:int*Name:astr");
  for (const char* n : {"b\xE9ta", "alpha"}) names->AddRecord()->SetAnsiString(1, n);
  names->First()->SetInteger(0, 1);
  names->Last()->SetInteger(0, 2);
  TMemViewColumn col;
  col.Locale = locales.LocaleEnUS;
  TStringList list;
  EXPECT_FALSE(col.FillLookupList(&list));
  col.LookupDataSet = names;
  col.LookupIndex = 0;
  col.LookupField = 1;
  EXPECT_FALSE(col.FillLookupList(nullptr));
  list.Add("old");
  ASSERT_TRUE(col.FillLookupList(&list));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(0), "béta");
  EXPECT_EQ(list.GetObject(1), names->Last());
}

TEST(DataView, ColumnsUnderAnUnknownLocale) {
  ScopedEnv lcAll("LC_ALL", nullptr);
  ScopedEnv lcMessages("LC_MESSAGES", nullptr);
  ScopedEnv lang("LANG", "xx_QQ.UTF-8");
  IMemDataView v = CreateMemDataView(CreateMemDataSetFromSpec("T", "Money:curr"));
  TMemViewColumn* c = nullptr;
  ASSERT_NO_THROW(c = v->AddColumn());
  EXPECT_EQ(c->Locale->LCID(), 1033);
}

}  // namespace
}  // namespace px
