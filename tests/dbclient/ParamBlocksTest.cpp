#include <gtest/gtest.h>

#include "dbclient/dbclib.h"

namespace px {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(DatabaseParams, Items) {
  const std::string long300(300, 'p');
  struct Case {
    std::string text;
    std::string block;
  } cases[] = {
      {"", bytes({1})},
      {"  User_Name =  SYSDBA  ", bytes({1, 28, 6}) + "SYSDBA"},
      {"USER_NAME=a b", bytes({1, 28, 3}) + "a b"},
      {"page_size=0", bytes({1})},
      {"page_size=x", bytes({1})},
      {"page_size=-5", bytes({1})},
      {"page_size=4096", bytes({1, 4, 2, 0x00, 0x10})},
      {"num_buffers=300", bytes({1, 5, 2, 0x2C, 0x01})},
      {"num_buffers=255", bytes({1, 5, 1, 255})},
      {"num_buffers=65535", bytes({1, 5, 2, 0xFF, 0xFF})},
      {"num_buffers=65536", bytes({1, 5, 4, 0x00, 0x00, 0x01, 0x00})},
      {"password=" + long300, bytes({1, 29, 255}) + std::string(255, 'p')},
      {"password=", bytes({1})},
      {"online", bytes({1, 51, 0})},
      {"gstat_attach=anything", bytes({1, 67, 0})},
      {"allocation=5", bytes({1})},  // ignored kind
      {"no_such_name=5", bytes({1})},
      {"sql_dialect=3", bytes({1, 63, 1, 3})},
      {"lc_ctype=ISO8859_1", bytes({1, 48, 9}) + "ISO8859_1"},
      {"a=b=c", bytes({1})},
  };
  for (const Case& c : cases) EXPECT_EQ(c.block, BuildDatabaseParams(c.text, '\r')) << c.text;
  // Several items; empty items between separators are skipped.
  EXPECT_EQ(bytes({1, 28, 1, 'u', 29, 1, 'p', 63, 1, 3}),
            BuildDatabaseParams("user_name=u\r\rpassword=p\rsql_dialect=3\r", '\r'));
  EXPECT_EQ(bytes({1, 28, 1, 'u', 29, 1, 'p'}), BuildDatabaseParams("user_name=u;password=p", ';'));
}

TEST(TransactionParams, Blocks) {
  EXPECT_EQ("", BuildTransactionParams(TransParamSet(tpConcurrency, tpWait, tpWrite), "", ""));
  EXPECT_EQ(bytes({3, 2, 6, 9, 10, 1, 'A', 10, 1, 'B'}),
            BuildTransactionParams(TransParamSet(tpConcurrency, tpWait, tpWrite, tpLockRead), "A;B", "C"));
  EXPECT_EQ(bytes({3, 7, 8, 15, 17}),
            BuildTransactionParams(TransParamSet(tpNowait, tpRead, tpReadCommitted, tpRecVersion), "", ""));
  EXPECT_EQ(bytes({3, 9, 11, 3, 'T', 'A', 'B', 20}),
            BuildTransactionParams(TransParamSet(tpWrite, tpLockWrite, tpNoAutoUndo), "X", ";TAB;;"));
  EXPECT_EQ(bytes({3}), BuildTransactionParams(0, "", ""));
}

TEST(BlobParams, Blocks) {
  EXPECT_EQ("", BuildBlobParams(""));
  EXPECT_EQ(bytes({1, 1, 2, 1, 0, 2, 2, 0xFF, 0xFF}), BuildBlobParams("source_type=1;target_type=-1"));
  EXPECT_EQ(bytes({1, 3, 2, 127, 0, 5, 2, 0x80, 0xFF}), BuildBlobParams("TYPE = 127; target_interp=-128"));
  EXPECT_EQ(bytes({1}), BuildBlobParams("source_interp=128;type=-129;filter_parameter=1;other=1;type=x"));
}

}  // namespace
}  // namespace px
