// Result rows on hand-built descriptors: the row layout, the paged cache and
// its walking flags, blob access rules and the stream format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "dbclient/dbclibResult.h"
#include "platform/core/Streams.h"

namespace px {
namespace {

TEST(PoolStream, PagesHoldWholeItemsAndNeverMove) {
  TPoolStream pool(1000, 52);
  EXPECT_EQ(52000, pool.PageSize());
  void* first = pool.Add();
  for (int i = 1; i < 1000; ++i) pool.Add();
  EXPECT_EQ(1, pool.PageCount());
  char* second = static_cast<char*>(pool.Add());
  EXPECT_EQ(2, pool.PageCount());
  EXPECT_EQ(first, pool.Get(0));
  EXPECT_EQ(second, pool.Get(1000));
  // Reads and writes cross page boundaries.
  std::string bytes(200, 'x');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i);
  pool.Seek(52000 - 100, soBeginning);
  EXPECT_EQ(200, pool.Write(bytes.data(), 200));
  std::string back(200, 0);
  pool.Seek(-200, soCurrent);
  EXPECT_EQ(200, pool.Read(back.data(), 200));
  EXPECT_EQ(bytes, back);
  pool.SetSize(52 * 10);
  EXPECT_EQ(1, pool.PageCount());
  EXPECT_EQ(10, pool.ItemCount());
  EXPECT_EQ(520, pool.Position());
  EXPECT_EQ(0, pool.Read(back.data(), 1));
  EXPECT_THROW(TPoolStream(0, 4), EAssertionFailed);
}

// A result laid out like the describe step would: ID INTEGER NOT NULL,
// V VARCHAR(5), B BLOB SUB_TYPE 1.
class Result : public testing::Test {
 protected:
  void describe(TSQLResult& r) {
    r.SetAllocatedFields(3);
    auto set = [&](Word i, short type, short len, short subtype, const char* name) {
      XSQLVAR& v = r.Var(i);
      v.sqltype = type;
      v.sqllen = len;
      v.sqlsubtype = subtype;
      v.sqlname_length = v.aliasname_length = static_cast<short>(std::strlen(name));
      std::memcpy(v.sqlname, name, std::strlen(name));
      std::memcpy(v.aliasname, name, std::strlen(name));
      v.relname_length = 1;
      v.relname[0] = 'T';
    };
    set(0, SQL_LONG, 4, 0, "ID");
    set(1, SQL_VARYING | 1, 5, 0, "V");
    set(2, SQL_BLOB | 1, 8, 1, "B");
    r.AllocateDataBuffer();
  }
  // A fetched row as the fetch would leave it; the blob contents are owned
  // by the row.
  void addRow(TSQLResult& r, int id, const char* text, const char* blob) {
    r.SetAsInteger(0, id);
    if (text) r.SetAsString(1, text);
    else r.SetIsNull(1, true);
    if (blob) {
      r.SetAsQuad(2, ISC_QUAD{1, 1});
      size_t n = std::strlen(blob);
      void* data = n ? std::malloc(n) : nullptr;
      if (n) std::memcpy(data, blob, n);
      r.WriteBlobRecord(2, {static_cast<Integer>(n), data});
    } else {
      r.SetIsNull(2, true);
      r.WriteBlobRecord(2, {0, nullptr});
    }
    r.AddCurrentRecord();
  }
};

TEST_F(Result, WalkingTheCacheSetsAndClearsTheEndFlags) {
  TSQLResult r(csISO8859_1, 0, true, true, 1000);
  describe(r);
  EXPECT_FALSE(r.GetIsNullable(0));
  EXPECT_TRUE(r.GetIsNullable(1));
  for (int i = 0; i < 3; ++i) addRow(r, i, "abc", "x");
  r.SetEndOfRows(true);
  r.SetEndOfScroll(true);
  EXPECT_TRUE(r.GetEof());
  r.SetCurrentRecord(0);
  EXPECT_FALSE(r.GetEof());
  EXPECT_TRUE(r.GetBof());
  r.Next();
  r.Next();
  EXPECT_EQ(2, r.GetCurrentRecord());
  EXPECT_EQ(2, r.GetAsInteger(0));
  EXPECT_FALSE(r.GetEof());
  r.Next();
  EXPECT_TRUE(r.GetEof());
  r.SetCurrentRecord(2);  // the same record: nothing copied, end of scroll cleared
  EXPECT_FALSE(r.GetEof());
  EXPECT_EQ("T", r.GetUniqueRelationName());
  r.Var(1).relname[0] = 'U';
  EXPECT_EQ("", r.GetUniqueRelationName());
}

TEST_F(Result, WithoutCacheThereIsNoRecord) {
  TSQLResult r(csISO8859_1, 0, false, false, 1000);
  describe(r);
  EXPECT_EQ(0, r.GetRecordCount());
  EXPECT_EQ(-1, r.GetCurrentRecord());
  EXPECT_TRUE(r.GetBof());
  r.SetAsQuad(2, ISC_QUAD{1, 1});
  std::string s;
  try {
    r.ReadBlobAsString(2, s);
    FAIL();
  } catch (const EDBCConvertError&) {
    FAIL() << "wrong class";
  } catch (const Exception& e) {
    EXPECT_EQ("FetchBlob property must be set to use this method.", e.Message());
  }
  EXPECT_THROW(r.GetAsString(2), Exception);
  EXPECT_THROW(r.GetBlobData(0), EDBCConvertError);
  try {
    r.GetArrayDescriptor(0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ("Index out of bound (0)", e.Message());
  }
}

TEST_F(Result, BlobReaders) {
  TSQLResult r(csISO8859_1, 0, true, true, 10);
  describe(r);
  addRow(r, 1, "a", "caf\xE9");
  EXPECT_EQ("caf\xE9", r.GetAsString(2));
  EXPECT_EQ(u"caf\u00E9", r.GetAsWideString(2));
  EXPECT_EQ(4, r.GetBlobSize(2));
  TMemoryStream ms;
  ms.WriteBuffer("0123456789", 10);
  r.ReadBlobToStream(2, ms);
  EXPECT_EQ(0, ms.Position());
  EXPECT_EQ(10, ms.Size());  // not truncated
  TVariant v = r.GetAsVariant(2);
  EXPECT_EQ(varString, v.VarType());
  r.Var(2).sqlsubtype = 0;
  r.ReadBlobAsVariant(2, v);
  EXPECT_EQ(varByteArray, v.VarType());
  addRow(r, 2, "b", nullptr);
  EXPECT_EQ("", r.GetAsString(2));
  EXPECT_TRUE(r.GetAsVariant(2).IsNull());
}

TEST_F(Result, StreamRoundTripKeepsRowsAndFullLengthText) {
  TSQLResult r(csISO8859_1, 0, true, true, 1000);
  describe(r);
  addRow(r, 1, "abcde", "");
  addRow(r, 2, nullptr, nullptr);
  std::string big(70000, 'q');
  addRow(r, 3, "", big.c_str());
  r.SetCurrentRecord(1);
  TMemoryStream ms;
  r.SaveToStream(ms);
  EXPECT_EQ(1, r.GetCurrentRecord());
  EXPECT_EQ(ms.Position(), ms.Size());

  TSQLResult back(csISO8859_1, 0, false, false, 1);
  ms.SetPosition(0);
  back.LoadFromStream(ms);
  ASSERT_EQ(3, back.GetRecordCount());
  EXPECT_TRUE(back.CachedFetch);
  EXPECT_TRUE(back.FetchBlobs);
  EXPECT_EQ("V", back.GetSqlName(1));
  back.SetCurrentRecord(0);
  EXPECT_EQ("abcde", back.GetAsString(1));
  EXPECT_FALSE(back.GetIsNull(2));
  EXPECT_EQ(0, back.GetBlobSize(2));
  back.SetCurrentRecord(1);
  EXPECT_TRUE(back.GetIsNull(1));
  EXPECT_TRUE(back.GetIsNull(2));
  back.SetCurrentRecord(2);
  EXPECT_EQ(3, back.GetAsInteger(0));
  EXPECT_EQ(big, back.GetAsString(2));
}

// Saving walks the cache but must leave the walk where it was: a result
// read to its end stays at its end.
TEST_F(Result, SavingLeavesTheEndOfTheWalkAsItWas) {
  TSQLResult r(csISO8859_1, 0, true, true, 1000);
  describe(r);
  for (int i = 0; i < 3; ++i) addRow(r, i, "abc", "x");
  r.SetEndOfRows(true);
  r.Next();
  ASSERT_TRUE(r.GetEof());
  TMemoryStream ms;
  r.SaveToStream(ms);
  EXPECT_TRUE(r.GetEof());
  EXPECT_EQ(2, r.GetCurrentRecord());
  r.SetCurrentRecord(0);
  r.SaveToStream(ms);
  EXPECT_FALSE(r.GetEof());
  EXPECT_EQ(0, r.GetCurrentRecord());
}

TEST_F(Result, LoadingRejectsSizesTheStreamCannotHold) {
  TSQLResult r(csISO8859_1, 0, true, true, 1000);
  describe(r);
  addRow(r, 1, "abc", "blob");
  TMemoryStream ms;
  r.SaveToStream(ms);
  std::string good(static_cast<size_t>(ms.Size()), '\0');
  ms.SetPosition(0);
  ms.ReadBuffer(good.data(), ms.Size());
  // Offsets: flags 2, count 2, then 144 bytes per column (4 × 2 + 4 × 34).
  const size_t columns = 4, arrays = columns + 3 * 144, rows = arrays + 4;
  const size_t firstRow = rows + 4;
  const size_t blobSize = firstRow + 1 + 4 + 1 + 7 + 1;  // ID, V (flag + 7 bytes), B flag
  struct Case {
    const char* what;
    size_t at;
    std::string bytes;
  } cases[] = {
      {"name length beyond 32", columns + 8, std::string("\x21\x00", 2)},
      {"negative text length", columns + 6 + 144, std::string("\xFF\xFF", 2)},
      {"integer of the wrong size", columns + 6, std::string("\x02\x00", 2)},
      {"array list longer than the columns", arrays, std::string("\x09\x00\x00\x00", 4)},
      {"row count beyond the bytes left", rows, std::string("\xFF\xFF\x00\x00", 4)},
      {"blob size beyond the bytes left", blobSize, std::string("\xFF\xFF\xFF\x7F", 4)},
      {"bad NULL flag", firstRow, std::string("\x05", 1)},
  };
  for (const Case& c : cases) {
    std::string bad = good;
    bad.replace(c.at, c.bytes.size(), c.bytes);
    TMemoryStream in;
    in.WriteBuffer(bad);
    in.SetPosition(0);
    TSQLResult back(csISO8859_1, 0, true, true, 1);
    EXPECT_THROW(back.LoadFromStream(in), Exception) << c.what;
    EXPECT_EQ(0, back.GetRecordCount()) << c.what;
  }
  // Rows whose stream says "not cached": the cache still owns their blobs,
  // and the row buffer's copies of the last row's pointers are not freed twice.
  {
    std::string uncached = good;
    uncached[0] = 0;
    TMemoryStream in;
    in.WriteBuffer(uncached);
    in.SetPosition(0);
    TSQLResult back(csISO8859_1, 0, true, true, 1);
    back.LoadFromStream(in);
    EXPECT_FALSE(back.CachedFetch);
    EXPECT_EQ("blob", back.GetAsString(2));
    back.ClearRecords();
    EXPECT_EQ("", back.GetAsString(2));
  }
  // Cut short anywhere: an error, never a crash or a leak.
  for (size_t n = 0; n < good.size(); n += 7) {
    TMemoryStream in;
    in.WriteBuffer(good.substr(0, n));
    in.SetPosition(0);
    TSQLResult back(csISO8859_1, 0, true, true, 1);
    EXPECT_THROW(back.LoadFromStream(in), Exception) << n;
  }
}

}  // namespace
}  // namespace px
