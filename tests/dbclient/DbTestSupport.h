#pragma once
// The fixture most client tests start from: a fresh database file in a
// temporary folder, attached in ISO8859_1, with one transaction and one
// statement on it.
#include <gtest/gtest.h>

#include <string>

#include "dbclient/dbc.h"
#include "support/TempDir.h"

namespace px::test {

class DatabaseTest : public testing::Test {
 protected:
  // Creates the database file `name` in the folder and attaches to it.
  void CreateDatabase(const std::string& name) {
    path = dir.File(name);
    db = MakeObject<TDBCDataBase>(nullptr);
    db->SetDatabaseName(path);
    db->SetUserName("SYSDBA");
    db->SetCharacterSet(csISO8859_1);
    db->CreateDatabase(csISO8859_1, 4096);
    tr = MakeObject<TDBCTransaction>(nullptr);
    tr->SetDataBase(db.get());
    q = MakeObject<TDBCQuery>(nullptr);
    q->SetTransaction(tr.get());
  }
  // The statement and transaction go before the attachment they use.
  void TearDown() override {
    q.reset();
    tr.reset();
    db.reset();
  }
  void exec(const std::string& sql) {
    q->SetSQLText(sql);
    q->ExecSQL();
  }

  TempDir dir;
  std::string path;
  TObjectPtr<TDBCDataBase> db;
  TObjectPtr<TDBCTransaction> tr;
  TObjectPtr<TDBCQuery> q;
};

}  // namespace px::test
