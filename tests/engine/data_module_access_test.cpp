// The engine data module connected to an Access database on the embedded server: the dialect
// operations that follow a connection, failing connections, instructions run as written, and a
// leak-free life while connected.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../dialects/AccessTestDatabase.h"
#include "engine/uDm.h"
#include "WatchedDm.h"

namespace {

using access_test::ConnectionStringFor;

// Builds the database file the tests use, once per program: "engine.mdb" with a table.
void BuildDatabase() {
  static bool built = false;
  if (built) return;
  built = true;
  auto connection = access_test::CreateAndConnect("engine.mdb");
  access_test::RunScript(*connection, {"CREATE TABLE T (id INTEGER NOT NULL PRIMARY KEY, s TEXT(50))"});
}

using WatchedDm = engine_test::WatchedDm<TAccessSpecific, dbtAccess>;

}  // namespace

TEST(EngineAccessConnection, ConnectingSelectsTheDialectThenItsTwoReadsChangeNothing) {
  BuildDatabase();
  WatchedDm dm;
  ASSERT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine.mdb"), false));
  dm.SetConnected(true);
  // The dialect is selected (its DbType set) before the two reads, which come in this order.
  EXPECT_EQ(dm.calls, (std::vector<std::string>{"GetDatabaseName dbtAccess", "GetDateFormat"}));
  ASSERT_NE(dm.CurrentDialect(), nullptr);
  EXPECT_EQ(dm.CurrentDialect()->DbType, dbtAccess);
  EXPECT_EQ(dm.CurrentDialect()->DatabaseName, TAccessSpecific().DatabaseName);
  EXPECT_EQ(dm.CurrentDialect()->DateFormat, TAccessSpecific().DateFormat);
  EXPECT_TRUE(dm.ac.Connected());
}

TEST(EngineAccessConnection, FailingConnectionsReturnFalseWithTheReason) {
  BuildDatabase();
  const std::string notADatabase = access_test::PathOf("notes.mdb");
  std::ofstream(notADatabase) << "the user's notes, not a database";
  const std::vector<std::string> files = {
      access_test::PathOf("missing.mdb"),
      access_test::PathOf("no such folder/engine.mdb"),
      notADatabase,
      access_test::Folder(),
  };
  Tdm dm;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    bool result = true;
    EXPECT_NO_THROW(result = dm.SetConnectionString(
                        "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Password=Wrong9Secret;"
                        "Data Source=" + file, true));
    EXPECT_FALSE(result);
    EXPECT_FALSE(dm.ac.Connected());
    EXPECT_FALSE(dm.ConnectError().empty());
    EXPECT_EQ(dm.ConnectError().find("Wrong9Secret"), std::string::npos) << dm.ConnectError();
  }
  EXPECT_EQ(std::filesystem::file_size(notADatabase), 32u);
  EXPECT_FALSE(std::filesystem::exists(access_test::PathOf("missing.mdb")));
  EXPECT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine.mdb"), true));
  EXPECT_TRUE(dm.ConnectError().empty());
}

TEST(EngineAccessConnection, InstructionsRunAsWritten) {
  BuildDatabase();
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine.mdb"), true));
  const std::vector<std::string> values = {":name", "?", "@p", "a :b ? @c"};
  int id = 100;
  for (const std::string& value : values) {
    dm.cmdExec.CommandText = "INSERT INTO T (id, s) VALUES (" + std::to_string(++id) + ", '" + value + "')";
    dm.cmdExec.Execute();
    dm.aq.SetCommandText("SELECT s FROM T WHERE id = " + std::to_string(id));
    dm.aq.Open();
    EXPECT_EQ(dm.aq.FieldByName("s").AsString(), value);
    dm.aq.Close();
  }
}

TEST(EngineAccessConnection, CreatedAndDestroyedWhileConnected) {
  BuildDatabase();
  for (int i = 0; i < 10; ++i) {
    Tdm dm;
    ASSERT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine.mdb"), true));
    dm.SetConnected(true);
    dm.aq.SetCommandText("SELECT id FROM T");
    dm.aq.Open();
    dm.qExec.SetCommandText("SELECT count(*) AS n FROM T");
    dm.qExec.Open();
    dm.ac.BeginTrans();  // a transaction left open is rolled back by the destruction
    dm.cmdExec.CommandText = "INSERT INTO T (id) VALUES (" + std::to_string(1000 + i) + ")";
    dm.cmdExec.Execute();
  }
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine.mdb"), true));
  dm.aq.SetCommandText("SELECT count(*) AS n FROM T WHERE id >= 1000");
  dm.aq.Open();
  EXPECT_EQ(dm.aq.FieldByName("n").AsInteger(), 0);
}
