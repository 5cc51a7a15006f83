// Both dataset stream formats against byte fixtures built with Python's
// struct (tests/fixtures/dataset/make_fixtures.py).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "data/UnitDataSetIO.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/CodePages.h"
#include "support/TempDir.h"

namespace px {
namespace {

std::string fixture(const std::string& name) { return test::ReadFileBytes(test::FixturesDir() / "dataset" / name); }

TBytesStream streamOf(const std::string& bytes) { return TBytesStream(TBytes(bytes.begin(), bytes.end())); }

std::string contentOf(TBytesStream& s) { return std::string(s.Bytes().begin(), s.Bytes().end()); }

struct OldRow {
  Integer id;
  std::string name;
  double value;
  int64_t amount;
};

const std::vector<OldRow>& oldRows() {
  static const std::vector<OldRow> rows = {
      {1, "One", 1.5, 15000},
      {-1, "", -2.25, -1},
      {63, "Z\xfcrich", 0.1, 0},
      {64, std::string(200, 'x'), 1e300, INT64_MAX},
      {-64, "tab\there", -0.0, INT64_MIN},
      {INT_MAX, "max", 5e-324, 123456789},
      {INT_MIN, "min", 3.0, -15000},
  };
  return rows;
}

IMemDataSet oldTable(bool withRecords) {
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftInteger, "ID", 0);
  t->AddField(mftAnsiString, "Name", mffOptional);
  t->AddField(mftDouble, "Value", 0);
  t->AddField(mftCurrency, "Amount", 0);
  if (withRecords)
    for (const OldRow& row : oldRows()) {
      TMemRecord* r = t->AddRecord();
      r->SetInteger(0, row.id);
      r->SetAnsiString(1, row.name);
      r->SetDouble(2, row.value);
      r->SetCurrency(3, Currency::FromRaw(row.amount));
    }
  return t;
}

void expectOldTable(const IMemDataSet& t) {
  ASSERT_EQ(t->GetFieldCount(), 4);
  EXPECT_EQ(t->GetFieldName(1), "Name");
  EXPECT_EQ(t->GetFieldType(3), mftCurrency);
  EXPECT_EQ(t->GetFieldFlags(1), mffOptional);
  ASSERT_EQ(t->GetRecordCount(), static_cast<Integer>(oldRows().size()));
  TMemRecord* r = t->First();
  for (const OldRow& row : oldRows()) {
    EXPECT_EQ(r->GetInteger(0), row.id);
    EXPECT_EQ(r->GetAnsiString(1), row.name);
    const double v = r->GetDouble(2);
    EXPECT_EQ(std::memcmp(&v, &row.value, 8), 0) << row.value;  // -0.0 kept
    EXPECT_EQ(r->GetCurrency(3).Raw(), row.amount);
    r = r->GetNext();
  }
}

TEST(OldDataSetStream, WritesTheFixtureBytesPlainAndWithBothPasswords) {
  const struct {
    const char* file;
    const char* password;
  } cases[] = {{"old_plain.dat", ""}, {"old_tovek.dat", OfficialDataPassword}, {"old_qjv.dat", CountingDataPassword}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TBytesStream out;
    SaveDataSetToStream(out, oldTable(true), c.password);
    EXPECT_EQ(contentOf(out), fixture(c.file));

    TBytesStream in = streamOf(fixture(c.file));
    IMemDataSet t;
    LoadDataSetFromStream(in, c.password, t);
    expectOldTable(t);
  }
}

TEST(OldDataSetStream, FieldsOnlyNoFieldsAndReaderOnlyTypes) {
  TBytesStream out;
  SaveDataSetToStream(out, oldTable(false), "");
  EXPECT_EQ(contentOf(out), fixture("old_fields_only.dat"));
  IMemDataSet t;
  TBytesStream in = streamOf(fixture("old_fields_only.dat"));
  LoadDataSetFromStream(in, "", t);
  EXPECT_EQ(t->GetFieldCount(), 4);
  EXPECT_EQ(t->GetRecordCount(), 0);
  EXPECT_EQ(in.Position(), in.Size());

  IMemDataSet empty = CreateMemDataSet();
  for (int i = 0; i < 3; ++i) empty->AddRecord();
  TBytesStream out2;
  SaveDataSetToStream(out2, empty, "");
  EXPECT_EQ(contentOf(out2), fixture("old_no_fields.dat"));
  TBytesStream in2 = streamOf(fixture("old_no_fields.dat"));
  LoadDataSetFromStream(in2, "", t);
  EXPECT_EQ(t->GetFieldCount(), 0);
  EXPECT_EQ(t->GetRecordCount(), 3);

  TBytesStream in3 = streamOf(fixture("old_read_only_types.dat"));
  LoadDataSetFromStream(in3, "", t);
  ASSERT_EQ(t->GetRecordCount(), 2);
  EXPECT_EQ(t->First()->GetInt64(0), -INT64_MAX);
  EXPECT_EQ(t->First()->GetUnicodeString(1), u"Caf\u00e9");
  EXPECT_EQ(t->First()->GetSingle(2), 0.5f);
  EXPECT_EQ(t->Last()->GetInt64(0), INT64_MAX);
}

std::string oneIntegerStream(Integer v) {
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftInteger, "I", 0);
  t->AddRecord()->SetInteger(0, v);
  TBytesStream out;
  SaveDataSetToStream(out, t, "");
  std::string all = contentOf(out);
  return all.substr(5 + 1 + 3 + 1 + 1);  // magic, F, descriptor, R
}

TEST(OldDataSetStream, SignedVarintCodes) {
  const struct {
    Integer v;
    const char* hex;
  } cases[] = {{0, "00"},   {1, "02"},       {-1, "03"},           {2, "04"},
               {-2, "05"},  {63, "7e"},      {64, "8001"},         {-64, "8101"},
               {INT_MAX, "feffffff0f"},      {INT_MIN, "8180808010"}};
  for (const auto& c : cases) {
    const std::string bytes = oneIntegerStream(c.v);
    std::string hex;
    for (unsigned char b : bytes) {
      char buf[3];
      std::snprintf(buf, sizeof buf, "%02x", b);
      hex += buf;
    }
    EXPECT_EQ(hex, c.hex) << c.v;
  }
  // The code 1 is never written and reads back as 0.
  std::string s = fixture("old_no_fields.dat").substr(0, 5) + std::string("\x01\x00\x00\x01I\x01\x01", 7);
  TBytesStream in = streamOf(s);
  IMemDataSet t;
  LoadDataSetFromStream(in, "", t);
  EXPECT_EQ(t->First()->GetInteger(0), 0);
}

void expectLoadFails(const std::string& bytes, const char* message, const AnsiString& password = "") {
  TBytesStream in = streamOf(bytes);
  IMemDataSet t;
  try {
    LoadDataSetFromStream(in, password, t);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), message);
  }
  EXPECT_NE(t, nullptr);  // the new, partly filled table
}

TEST(OldDataSetStream, MalformedInputIsAFormatError) {
  const std::string magic = fixture("old_no_fields.dat").substr(0, 5);
  const std::string intField = std::string("\x01\x00\x00\x01I", 5);
  // A wrong magic, e.g. a wrong password.
  expectLoadFails(fixture("old_tovek.dat"), "Cannot load dataset", "wrong");
  expectLoadFails(fixture("old_tovek.dat"), "Cannot load dataset");
  // Varints longer than five bytes.
  expectLoadFails(magic + "\x80\x80\x80\x80\x80\x00", "Cannot load dataset");
  expectLoadFails(magic + intField + "\x01" + "\x80\x80\x80\x80\x80\x00", "Cannot load dataset");
  // Integer codes past -2147483648 and 2147483647.
  expectLoadFails(magic + intField + "\x01" + "\x83\x80\x80\x80\x10", "Cannot load dataset");
  expectLoadFails(magic + intField + "\x01" + "\x80\x80\x80\x80\x10", "Cannot load dataset");
  // A string of 4 GiB - 1 announced by five bytes: refused before allocating.
  expectLoadFails(magic + std::string("\x01\x02\x00\x01S\x01\xff\xff\xff\xff\x0f", 11), "Cannot load dataset");
  // 2^32 - 1 records of one byte each, and a million records of no fields.
  expectLoadFails(magic + intField + "\xff\xff\xff\xff\x0f" + "\x02", "Cannot load dataset");
  expectLoadFails(magic + std::string("\x00\x80\x89\x7a", 4), "Cannot load dataset");
  // A million fields in a few bytes; an unknown field type.
  expectLoadFails(magic + "\x80\x89\x7a\x00\x00\x00", "Cannot load dataset");
  expectLoadFails(magic + std::string("\x01\x0b\x00\x01X\x00", 6), "Cannot load dataset");
}

TEST(OldDataSetStream, TypeWithoutEncodingNamesTheCheck) {
  const std::string magic = fixture("old_no_fields.dat").substr(0, 5);
  TBytesStream in = streamOf(magic + std::string("\x01\x07\x00\x01" "B\x01\x01", 7));
  IMemDataSet t;
  try {
    LoadDataSetFromStream(in, "", t);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), "NOT.IMPLEMENTED.YET");
  }
  EXPECT_EQ(t->GetRecordCount(), 0);  // the record in progress is freed
}

TEST(OldDataSetStream, EveryPrefixFailsCleanlyKeepingCompleteRecords) {
  for (const char* name : {"old_plain.dat", "old_tovek.dat", "old_qjv.dat", "old_fields_only.dat", "old_no_fields.dat",
                           "old_read_only_types.dat"}) {
    const std::string full = fixture(name);
    const AnsiString password = std::string(name) == "old_tovek.dat" ? "tovek" : std::string(name) == "old_qjv.dat" ? "qjv" : "";
    for (size_t n = 0; n < full.size(); ++n) {
      TBytesStream in = streamOf(full.substr(0, n));
      IMemDataSet t;
      EXPECT_THROW(LoadDataSetFromStream(in, password, t), Exception) << name << " prefix " << n;
      ASSERT_NE(t, nullptr);
      // The records kept are the complete ones, equal to the first rows.
      if (t->GetFieldCount() == 4) {
        size_t i = 0;
        for (TMemRecord* r = t->First(); r; r = r->GetNext(), ++i) {
          ASSERT_LT(i, oldRows().size());
          EXPECT_EQ(r->GetInteger(0), oldRows()[i].id);
          EXPECT_EQ(r->GetCurrency(3).Raw(), oldRows()[i].amount);
        }
      }
    }
  }
}

TEST(OldDataSetStream, PlainReadStartsAtThePositionEncipheredAtTheStart) {
  const std::string plain = fixture("old_plain.dat");
  TBytesStream in = streamOf("junk" + plain + "tail");
  in.SetPosition(4);
  IMemDataSet t;
  LoadDataSetFromStream(in, "", t);
  expectOldTable(t);
  EXPECT_EQ(in.Position(), static_cast<Int64>(4 + plain.size()));

  TBytesStream before = streamOf("junk" + fixture("old_tovek.dat"));
  before.SetPosition(4);
  EXPECT_THROW(LoadDataSetFromStream(before, "tovek", t), Exception);

  // Writing goes to the current position.
  TBytesStream out = streamOf("head");
  out.SetPosition(4);
  SaveDataSetToStream(out, oldTable(true), "qjv");
  EXPECT_EQ(contentOf(out), "head" + fixture("old_qjv.dat"));
}

TEST(OldDataSetStream, CalculatedFieldsAreWrittenAsPlainValues) {
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftInteger, "A", 0);
  t->AddCalculatedIntegerField("Twice", [](TMemRecord& r, Integer, Integer& v, bool&) { v = r.GetInteger(0) * 2; });
  t->AddRecord()->SetInteger(0, 21);
  TBytesStream out;
  SaveDataSetToStream(out, t, "");
  out.SetPosition(0);
  IMemDataSet back;
  LoadDataSetFromStream(out, "", back);
  EXPECT_EQ(back->GetFieldFlags(1) & mffCalculated, 0);
  EXPECT_EQ(back->First()->GetInteger(1), 42);
}

TEST(OldDataSetStream, UnwritableTypeFailsBeforeWritingAndKeepsTheFile) {
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftInteger, "A", 0);
  t->AddField(mftBoolean, "B", 0);
  TBytesStream out;
  SaveDataSetToStream(out, t, "");  // no records: the field list is written
  IMemDataSet back;
  out.SetPosition(0);
  LoadDataSetFromStream(out, "", back);
  EXPECT_EQ(back->GetFieldType(1), mftBoolean);

  t->AddRecord()->SetInteger(0, 1);
  TBytesStream none;
  try {
    SaveDataSetToStream(none, t, "");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), "NOTIMPLEMENTEDYET");
  }
  EXPECT_EQ(none.Size(), 0);

  test::TempDir dir;
  const std::string file = dir.File("Denominations.dat");
  SaveDataSetToFile(file, oldTable(true), "");
  EXPECT_THROW(SaveDataSetToFile(file, t, ""), EAssertionFailed);
  const std::string longPassword(257, 'p');
  EXPECT_THROW(SaveDataSetToFile(file, oldTable(true), longPassword), EArgumentOutOfRangeException);
  EXPECT_EQ(test::ReadFileBytes(file), fixture("old_plain.dat"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  IMemDataSet loaded;
  LoadDataSetFromFile(file, "", loaded);
  expectOldTable(loaded);
  EXPECT_THROW(LoadDataSetFromFile(dir.File("missing.dat"), "", loaded), EFOpenError);
}

TEST(OldDataSetStream, ReadsThroughAFileStreamInBlocks) {
  // More than one read-ahead block, through a stream that is not in memory.
  IMemDataSet t = CreateMemDataSet();
  t->AddField(mftInteger, "I", 0);
  t->AddField(mftAnsiString, "S", 0);
  for (Integer i = 0; i < 20000; ++i) {
    TMemRecord* r = t->AddRecord();
    r->SetInteger(0, i * 7919 - 50000);
    r->SetAnsiString(1, std::string(static_cast<size_t>(i % 13), static_cast<char>('a' + i % 26)));
  }
  test::TempDir dir;
  SaveDataSetToFile(dir.File("big.dat"), t, "qjv");
  IMemDataSet back;
  LoadDataSetFromFile(dir.File("big.dat"), "qjv", back);
  ASSERT_EQ(back->GetRecordCount(), 20000);
  Integer i = 0;
  for (TMemRecord* r = back->First(); r; r = r->GetNext(), ++i) {
    ASSERT_EQ(r->GetInteger(0), i * 7919 - 50000);
    ASSERT_EQ(r->GetAnsiString(1).size(), static_cast<size_t>(i % 13));
  }
  SaveDataSetToFile(dir.File("plain.dat"), t, "");
  TFileStream file(dir.File("plain.dat"), fmOpenRead);
  LoadDataSetFromStream(file, "", back);
  EXPECT_EQ(back->GetRecordCount(), 20000);
  EXPECT_EQ(file.Position(), file.Size());
}

// ---------------------------------------------------------------------------
// New format

TEST(NewDataSetStream, ReadsTheFixture) {
  TBytesStream in = streamOf(fixture("new_table.dat"));
  IMemDataSet t;
  LoadMemDataSetFromStream(&in, 0, nullptr, t);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(in.Position(), in.Size());
  EXPECT_EQ(t->GetName(), "Tabl\u00e9");
  EXPECT_EQ(t->GetTag(), -7);
  EXPECT_EQ(t->GetDoubleTag(), 2.5);
  ASSERT_EQ(t->GetFieldCount(), 11);
  EXPECT_EQ(t->GetFieldName(3), "Wide");
  EXPECT_EQ(t->GetFieldType(8), mftGUID);
  EXPECT_EQ(t->GetFieldTag(0), 1);
  EXPECT_EQ(t->GetFieldTag(10), -5);
  EXPECT_EQ(t->GetFieldFlags(10), mffOptional);
  ASSERT_EQ(t->GetIndexCount(), 2);
  EXPECT_EQ(t->GetIndexType(0), mitUnorderedUnique);
  EXPECT_EQ(t->GetIndexName(1), "ByText");
  EXPECT_EQ(t->GetIndexType(1), mitOrderedUnique);
  ASSERT_EQ(t->GetRecordCount(), 3);

  TMemRecord* r = t->First();
  EXPECT_EQ(r->GetInteger(0), 1);
  EXPECT_EQ(r->GetInt64(1), INT64_MIN);
  EXPECT_EQ(r->GetAnsiString(2), "abc");
  EXPECT_EQ(r->GetUnicodeString(3), u"\u00e9\u20ac");
  EXPECT_EQ(r->GetSingle(4), 1.25f);
  EXPECT_EQ(r->GetDouble(5), -3.5);
  EXPECT_EQ(r->GetCurrency(6).Raw(), -15000);
  EXPECT_TRUE(r->GetBoolean(7));
  EXPECT_EQ(GUIDToText(r->GetGUID(8)), "{01234567-89AB-CDEF-0001-020304050607}");
  EXPECT_EQ(r->GetWord(9), 65535);
  EXPECT_EQ(r->GetByte(10), 255);

  r = r->GetNext();
  EXPECT_EQ(r->GetInteger(0), -1);
  for (Integer f = 1; f < 11; ++f) EXPECT_TRUE(r->IsNull(f)) << f;

  r = r->GetNext();
  EXPECT_EQ(r->GetInteger(0), INT_MAX);
  EXPECT_EQ(r->GetInt64(1), INT64_MAX);
  EXPECT_FALSE(r->IsNull(2));
  EXPECT_FALSE(r->GetBoolean(7));
  EXPECT_FALSE(r->IsNull(7));

  // The indexes work on the loaded records.
  EXPECT_EQ(t->FindInteger(0, INT_MAX), r);
  EXPECT_EQ(t->FindAnsiString(1, "abc"), t->First());
}

std::string newHeader(const std::string& fields) {
  // Magic, empty name, tag 0, double tag 0, empty reserved text.
  return std::string("\xC0\xE0\x80\x81\x01\x00\x00", 7) + std::string(8, '\0') + std::string(1, '\0') + fields;
}

TEST(NewDataSetStream, BitBlockAndZigzagCodes) {
  // Three fields: Integer, Integer (null), Boolean True: bits 0,1,0,1 = 0x0A.
  const std::string fields = std::string("\x03", 1) + std::string("\x00\x00\x00\x00", 4) +
                             std::string("\x00\x00\x00\x00", 4) + std::string("\x07\x00\x00\x00", 4);
  const std::string bytes = newHeader(fields) + std::string("\x00\x02\x0A\x01\x0A\x02", 6);
  TBytesStream in = streamOf(bytes);
  IMemDataSet t;
  LoadMemDataSetFromStream(&in, 0, nullptr, t);
  ASSERT_EQ(t->GetRecordCount(), 2);
  EXPECT_EQ(t->First()->GetInteger(0), -1);
  EXPECT_TRUE(t->First()->IsNull(1));
  EXPECT_TRUE(t->First()->GetBoolean(2));
  EXPECT_EQ(t->Last()->GetInteger(0), 1);
}

TEST(NewDataSetStream, FlagsStaticMappingFromStartAndNoExceptions) {
  // One Integer field "A" (name L = -1), an ordered unique index on it.
  const std::string fields = std::string("\x01\x00\x01" "A" "\x00\x00", 6) + std::string("\x01\x02\x00\x00", 4) +
                             std::string("\x02\x00\x02\x00\x04", 5);
  const std::string bytes = newHeader(fields);
  TBytesStream in = streamOf(bytes);
  in.SetPosition(3);
  IMemDataSet t;
  LoadMemDataSetFromStream(&in, dsioMapToStatic | dsioFromStart, nullptr, t);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->GetIndexType(0), mitOrderedUniqueStatic);
  EXPECT_EQ(t->GetFieldName(0), "A");
  EXPECT_EQ(t->FindInteger(0, 2), t->Last());

  // A name stored as L = -3, C3 A9 61.
  const std::string named = std::string("\xC0\xE0\x80\x81\x01\x05\xC3\xA9\x61", 9) + std::string(1, '\0') +
                            std::string(8, '\0') + std::string("\x00\x00\x00\x00", 4);
  TBytesStream n = streamOf(named);
  LoadMemDataSetFromStream(&n, 0, nullptr, t);
  EXPECT_EQ(Utf8ToUnicode(t->GetName()), u"\u00e9a");

  TBytesStream cut = streamOf(bytes.substr(0, bytes.size() - 1));
  t = CreateMemDataSet();
  LoadMemDataSetFromStream(&cut, dsioNoExceptions, nullptr, t);
  EXPECT_EQ(t, nullptr);
  EXPECT_THROW(LoadMemDataSetFromStream(&cut, dsioFromStart, nullptr, t), EReadError);

  try {
    LoadMemDataSetFromStream(nullptr, 0, nullptr, t);
    FAIL();
  } catch (const EDataSetIOException& e) {
    EXPECT_EQ(e.Message(), "Cannot load dataset from stream: stream not assigned");
  }
  LoadMemDataSetFromStream(nullptr, dsioNoExceptions, nullptr, t);
  EXPECT_EQ(t, nullptr);
}

void expectNewFails(const std::string& bytes, const char* message) {
  TBytesStream in = streamOf(bytes);
  IMemDataSet t = CreateMemDataSet();
  try {
    LoadMemDataSetFromStream(&in, 0, nullptr, t);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), message);
  }
  EXPECT_EQ(t, nullptr);
}

TEST(NewDataSetStream, MalformedInput) {
  expectNewFails(fixture("old_plain.dat"), "MemDataSet: Invalid file format: unknown version.");
  expectNewFails("", "Stream read error");
  // Field type 11, index type 6, an index on a missing field.
  expectNewFails(newHeader(std::string("\x01\x0B\x00\x00\x00\x00", 6)), "MemDataSet: Invalid file format.");
  const std::string intField = std::string("\x01\x00\x00\x00\x00", 5);
  expectNewFails(newHeader(intField + std::string("\x01\x06\x00\x00", 4)), "MemDataSet: Invalid file format.");
  expectNewFails(newHeader(intField + std::string("\x01\x01\x00\x05", 4)), "MemDataSet: Invalid file format.");
  // A name of -(-2147483648) bytes, one of 2^30 UTF-16 units, a 4 GiB AnsiString.
  expectNewFails(std::string("\xC0\xE0\x80\x81\x01\xFF\xFF\xFF\xFF\x0F", 10), "MemDataSet: Invalid file format.");
  expectNewFails(std::string("\xC0\xE0\x80\x81\x01\x80\x80\x80\x80\x08", 10), "MemDataSet: Invalid file format.");
  const std::string strField = std::string("\x01\x02\x00\x00\x00", 5);
  expectNewFails(newHeader(strField + std::string("\x00\x01\x00\xFF\xFF\xFF\xFF\x0F", 8)),
                 "MemDataSet: Invalid file format.");
  // Many records in a few bytes; a million records without fields.
  expectNewFails(newHeader(intField + std::string("\x00\xFF\xFF\xFF\x7F\x00", 6)), "MemDataSet: Invalid file format.");
  expectNewFails(newHeader(std::string("\x00\x00\x80\x89\x7A", 5)), "MemDataSet: Invalid file format.");
  // Varints past their width.
  expectNewFails(newHeader(intField + std::string("\x00\x01\x00\x80\x80\x80\x80\x80\x01", 9)),
                 "MemDataSet: Invalid file format.");
  // A count above 2147483647 reads nothing.
  TBytesStream in = streamOf(newHeader(std::string("\x80\x80\x80\x80\x08\x00\x00", 7)));
  IMemDataSet t;
  LoadMemDataSetFromStream(&in, 0, nullptr, t);
  EXPECT_EQ(t->GetFieldCount(), 0);
}

TEST(NewDataSetStream, EveryPrefixFailsCleanly) {
  const std::string full = fixture("new_table.dat");
  for (size_t n = 0; n < full.size(); ++n) {
    TBytesStream in = streamOf(full.substr(0, n));
    IMemDataSet t;
    EXPECT_THROW(LoadMemDataSetFromStream(&in, 0, nullptr, t), Exception) << n;
    EXPECT_EQ(t, nullptr);
    TBytesStream again = streamOf(full.substr(0, n));
    LoadMemDataSetFromStream(&again, dsioNoExceptions, nullptr, t);
    EXPECT_EQ(t, nullptr);
  }
}

}  // namespace
}  // namespace px
