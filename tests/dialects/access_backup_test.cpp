// The Access dialect's backup of a database on the embedded server: the copy holds every row
// committed before it, opens as an Access database, and is refused inside a transaction; restores
// are refused and change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AccessTestDatabase.h"
#include "DialectTestSupport.h"

namespace {

namespace fs = std::filesystem;

// The rows of T as "id=s;" text, in key order.
std::string Rows(ado::TConnection& connection) {
  ado::TDataSet data;
  data.SetConnection(&connection);
  data.SetCommandText("SELECT id, s FROM T ORDER BY id");
  data.Open();
  std::string out;
  for (data.First(); !data.Eof(); data.Next())
    out += data.FieldByName("id").AsString() + "=" + data.FieldByName("s").AsString() + ";";
  return out;
}

// Regression: the file was copied while committed changes were still in the server's side log.
TEST(AccessBackup, TheCopyHoldsEveryCommittedRow) {
  TestOwner owner;
  TAccessSpecific d(&owner);
  auto connection = access_test::CreateAndConnect("shop.mdb");
  access_test::RunScript(*connection, {
      "CREATE TABLE T (id INTEGER NOT NULL PRIMARY KEY, s TEXT(50))",
      "CREATE INDEX IX_S ON T (s)",
  });
  connection->BeginTrans();
  for (int i = 1; i <= 300; ++i)
    connection->Execute("INSERT INTO T (id, s) VALUES (" + std::to_string(i) + ", 'row " +
                        std::to_string(i) + "')");
  connection->CommitTrans();
  connection->Execute("UPDATE T SET s = 'changed' WHERE id <= 10");
  connection->Execute("DELETE FROM T WHERE id > 250");
  const std::string expected = Rows(*connection);

  // Inside a transaction the file may hold what is not committed: refused, nothing written.
  const std::string backups = access_test::PathOf("backups");
  fs::create_directories(backups);
  connection->BeginTrans();
  connection->Execute("DELETE FROM T");
  EXPECT_FALSE(d.BackupDatabase(*connection, "", backups));
  EXPECT_EQ(owner.errors.size(), 1u);
  EXPECT_FALSE(fs::exists(backups + "/shop.mdb"));
  connection->RollbackTrans();

  ASSERT_TRUE(d.BackupDatabase(*connection, "", backups));
  EXPECT_EQ(owner.errors.size(), 1u);
  ado::TConnection copy("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + backups + "/shop.mdb");
  copy.Open();
  EXPECT_EQ(Rows(copy), expected);
  EXPECT_NE(access_test::KindText(d, copy, vsiIndexes).find("IX_S"), std::string::npos);

  // Neither restore touches the connected database or the backup.
  EXPECT_FALSE(d.RestoreDatabase(*connection, "shop.mdb", backups, backups));
  std::string message;
  EXPECT_FALSE(d.RestoreAsNewDatabase("copy", backups + "/shop.mdb", backups, backups, "", "", "",
                                      message));
  EXPECT_EQ(owner.errors.size(), 3u);
  EXPECT_EQ(Rows(*connection), expected);

  // The database goes on after its backup; the copy is a database of its own.
  connection->Execute("DELETE FROM T WHERE id = 1");
  EXPECT_EQ(Rows(copy), expected);
  EXPECT_TRUE(d.DatabaseExists("", "", "", ""));
  EXPECT_EQ(d.CreateDatabase("", "", "", "", "", ""), 1);
}

}  // namespace
