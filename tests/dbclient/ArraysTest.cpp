// Array columns against the real embedded engine. The client layer only
// reads arrays; the tests write them with the client's own slice call and
// hand the new array ids to INSERT as parameters. Element access in SQL
// (A[i]) checks what the engine stored, independent of our reader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DbTestSupport.h"
#include "dbclient/dbc.h"
#include "dbclient/dbclibResult.h"
#include "platform/core/Streams.h"
#include "support/TempDir.h"

namespace px {
namespace {

// Slices carry the elements of a VARCHAR(5) array as zero-terminated text
// in slots of the declared length + 2 bytes.
constexpr size_t VarElement = 5 + 2;

class Arrays : public test::DatabaseTest {
 protected:
  void SetUp() override {
    CreateDatabase("arrays.fdb");
    exec("CREATE TABLE T (ID INTEGER NOT NULL, IA INTEGER[1:3], VA VARCHAR(5)[0:1, 1:2])");
    tr->Commit();
  }
  // Stores a new array of the column through the client and returns its id;
  // Upper below 0 keeps the column's bounds, else the slice is [lower:Upper]
  // of the first dimension.
  ISC_QUAD putSlice(const char* column, std::vector<char> data, short upper = -1) {
    if (!tr->InTransaction()) tr->StartTransaction();
    TDBCLibrary& lib = db->Library();
    ISC_STATUS_ARRAY status{};
    ISC_ARRAY_DESC desc{};
    EXPECT_EQ(0, lib.isc_array_lookup_bounds(status, &db->DbHandle, &tr->TrHandle, "T", column, &desc));
    if (upper >= 0) desc.array_desc_bounds[0].array_bound_upper = upper;
    ISC_QUAD id{};
    ISC_LONG len = static_cast<ISC_LONG>(data.size());
    EXPECT_EQ(0, lib.isc_array_put_slice(status, &db->DbHandle, &tr->TrHandle, &id, &desc, data.data(), &len));
    return id;
  }
  static std::vector<char> ints(std::vector<int32_t> v) {
    std::vector<char> out(v.size() * 4);
    std::memcpy(out.data(), v.data(), out.size());
    return out;
  }
  static std::vector<char> texts(const std::vector<std::string>& v) {
    std::vector<char> out(v.size() * VarElement, 0);
    for (size_t i = 0; i < v.size(); ++i) std::memcpy(&out[i * VarElement], v[i].data(), v[i].size());
    return out;
  }
  void insert(Integer id, const std::vector<int32_t>* ia, const std::vector<std::string>* va) {
    q->SetSQLText("INSERT INTO T (ID, IA, VA) VALUES (:ID, :IA, :VA)");
    q->Prepare(true);
    q->Params().SetAsInteger(0, id);
    if (ia) q->Params().SetAsQuad(1, putSlice("IA", ints(*ia)));
    else q->Params().SetIsNull(1, true);
    if (va) q->Params().SetAsQuad(2, putSlice("VA", texts(*va)));
    else q->Params().SetIsNull(2, true);
    q->ExecSQL();
  }
  static std::vector<int32_t> readInts(TSQLResult& r, Word column) {
    std::vector<int32_t> v(3);
    const char* data = r.GetArrayData(column);
    if (!data) return {};
    std::memcpy(v.data(), data, 12);
    return v;
  }
  static std::vector<std::string> readTexts(TSQLResult& r, Word column) {
    std::vector<std::string> v;
    const char* data = r.GetArrayData(column);
    if (!data) return v;
    for (size_t i = 0; i < 4; ++i) {
      const char* e = data + i * VarElement;
      v.emplace_back(e, strnlen(e, VarElement));
    }
    return v;
  }
};

const std::vector<int32_t> ints1{10, -20, 2147483647};
const std::vector<int32_t> ints2{7, 0, -2147483647 - 1};
// Row-major: [0,1] [0,2] [1,1] [1,2].
const std::vector<std::string> texts1{"a", "", "h\xe9llo", "xyz"};
const std::vector<std::string> texts2{"12345", "b", "", "c d"};

TEST_F(Arrays, IntegerAndVarcharArraysReadBackAndMatchTheEnginesElements) {
  insert(1, &ints1, &texts1);
  insert(2, nullptr, nullptr);
  insert(3, &ints2, &texts2);
  tr->Commit();

  // What the engine stored, element by element.
  q->SetSQLText("SELECT IA[1], IA[2], IA[3], VA[0,1], VA[0,2], VA[1,1], VA[1,2] FROM T WHERE ID = 3");
  q->Open();
  EXPECT_EQ(7, q->Fields().GetAsInteger(0));
  EXPECT_EQ(0, q->Fields().GetAsInteger(1));
  EXPECT_EQ(-2147483647 - 1, q->Fields().GetAsInteger(2));
  for (Word i = 0; i < 4; ++i) EXPECT_EQ(texts2[i], q->Fields().GetAsString(3 + i)) << i;
  q->Close(etmStayIn);

  q->SetSQLText("SELECT ID, IA, VA FROM T ORDER BY ID");
  q->Open();
  TSQLResult& r = q->Fields();
  ASSERT_EQ(2, r.GetArrayCount());
  EXPECT_EQ(uftArray, r.GetFieldType(1));
  EXPECT_EQ("(Array)", r.GetAsString(1));
  EXPECT_EQ(ints1, readInts(r, 1));
  EXPECT_EQ(texts1, readTexts(r, 2));
  q->Next();
  EXPECT_EQ(2, r.GetAsInteger(0));
  EXPECT_TRUE(r.GetIsNull(1));
  EXPECT_EQ(nullptr, r.GetArrayData(1));
  EXPECT_EQ(nullptr, r.GetArrayData(2));
  q->Next();
  EXPECT_EQ(ints2, readInts(r, 1));
  EXPECT_EQ(texts2, readTexts(r, 2));
  q->Next();
  EXPECT_TRUE(q->Eof());
  // The cache keeps each row's arrays.
  r.SetCurrentRecord(0);
  EXPECT_EQ(ints1, readInts(r, 1));
  EXPECT_EQ(texts1, readTexts(r, 2));

  // The rows with their arrays survive the stream format.
  TMemoryStream stream;
  r.SaveToStream(stream);
  TSQLResult copy(csISO8859_1, 0, true, false, 10);
  stream.SetPosition(0);
  copy.LoadFromStream(stream);
  ASSERT_EQ(3, copy.GetRecordCount());
  ASSERT_EQ(2, copy.GetArrayCount());
  copy.SetCurrentRecord(2);
  EXPECT_EQ(ints2, readInts(copy, 1));
  EXPECT_EQ(texts2, readTexts(copy, 2));
  copy.SetCurrentRecord(1);
  EXPECT_TRUE(copy.GetIsNull(2));

  // isql shows no array values, only their elements.
  q->Close(etmStayIn);
  tr->Commit();
  db->SetConnected(false);
  std::string out;
  test::RunCommand("printf 'SET LIST ON; SELECT IA[3] AS I3, VA[1,1] AS V11 FROM T WHERE ID = 1;' | "
                   "isql-fb -q -ch ISO8859_1 '" + path + "' 2>&1",
                   &out);
  EXPECT_NE(std::string::npos, out.find("I3                              2147483647")) << out;
  EXPECT_NE(std::string::npos, out.find("V11                             h\xe9llo")) << out;
}

TEST_F(Arrays, RowsFetchedWithoutTheCacheEachGetTheirOwnArrays) {
  insert(1, &ints1, &texts1);
  insert(2, nullptr, nullptr);
  insert(3, &ints2, &texts2);
  tr->Commit();
  q->CachedFetch = false;
  q->SetSQLText("SELECT IA, VA, ID FROM T ORDER BY ID");
  q->Open();
  TSQLResult& r = q->Fields();
  EXPECT_EQ(ints1, readInts(r, 0));
  q->Next();
  EXPECT_EQ(nullptr, r.GetArrayData(0));
  q->Next();
  EXPECT_EQ(ints2, readInts(r, 0));
  EXPECT_EQ(texts2, readTexts(r, 1));
  EXPECT_EQ(3, r.GetAsInteger(2));
}

TEST_F(Arrays, ElementsAnArrayDoesNotHoldReadAsZeroNotAsThePreviousRows) {
  insert(1, &ints1, &texts1);
  q->SetSQLText("INSERT INTO T (ID, IA) VALUES (2, :IA)");
  q->Prepare(true);
  q->Params().SetAsQuad(0, putSlice("IA", ints({5}), 1));  // only IA[1]
  q->ExecSQL();
  tr->Commit();
  for (bool cached : {false, true}) {
    q->CachedFetch = cached;
    q->SetSQLText("SELECT IA, IA[2], IA[3] FROM T ORDER BY ID");
    q->Open();
    TSQLResult& r = q->Fields();
    EXPECT_EQ(ints1, readInts(r, 0));
    q->Next();
    EXPECT_EQ(0, r.GetAsInteger(1));
    EXPECT_EQ(0, r.GetAsInteger(2));
    EXPECT_EQ((std::vector<int32_t>{5, 0, 0}), readInts(r, 0)) << "cached " << cached;
    q->Close(etmStayIn);
  }
}

}  // namespace
}  // namespace px
