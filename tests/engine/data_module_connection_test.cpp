// The engine data module connected to the embedded SQL Server: the dialect operations that follow
// a connection, the server's date order of a login, failing connections, instructions run as
// written, and a leak-free life while connected.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../dialects/SqlServerTestDatabase.h"
#include "engine/uDm.h"
#include "WatchedDm.h"

namespace {

using dialect_test::ConnectionStringFor;

// Builds the databases the tests use, once per program: "engine" with a table and the login
// hans, whose language reads dates day first.
void BuildDatabase() {
  static bool built = false;
  if (built) return;
  built = true;
  TSqlServerSpecific dialect;
  auto connection = dialect_test::CreateAndConnect(dialect, "engine");
  dialect_test::RunScript(*connection, {
      "create table T (id int not null primary key, s varchar(50) null)",
      "exec sp_addlogin 'hans', 'Geheim7', 'engine', 'Deutsch'",
      "exec sp_grantdbaccess 'hans'",
  });
}

using WatchedDm = engine_test::WatchedDm<TSqlServerSpecific, dbtSqlServer>;

std::string LoginString(const std::string& user, const std::string& password) {
  return "Provider=SQLOLEDB.1;User ID=" + user + ";Password=" + password +
         ";Initial Catalog=engine;Data Source=" + dialect_test::kServer;
}

}  // namespace

TEST(EngineConnection, ConnectingSelectsTheDialectThenReadsNameAndDateOrder) {
  BuildDatabase();
  WatchedDm dm;
  ASSERT_TRUE(dm.SetConnectionString(LoginString("sa", ""), false));
  dm.SetConnected(true);
  EXPECT_EQ(dm.calls, (std::vector<std::string>{"GetDatabaseName dbtSqlServer", "GetDateFormat"}));
  ASSERT_NE(dm.CurrentDialect(), nullptr);
  EXPECT_EQ(dm.CurrentDialect()->DatabaseName, "engine");
  EXPECT_EQ(dm.CurrentDialect()->DateFormat, "mdy");
  dm.SetConnected(false);
  EXPECT_FALSE(dm.ac.Connected());

  // A login whose language reads dates day first.
  ASSERT_TRUE(dm.SetConnectionString(LoginString("hans", "Geheim7"), false));
  dm.calls.clear();
  dm.SetConnected(true);
  EXPECT_EQ(dm.calls.size(), 2u);
  EXPECT_EQ(dm.CurrentDialect()->DateFormat, "dmy");
}

TEST(EngineConnection, UnknownProviderCallsNoDialect) {
  BuildDatabase();
  WatchedDm dm;
  dm.SetConnectionString("Provider=MSDASQL.1;Data Source=" + std::string(dialect_test::kServer), false);
  EXPECT_ANY_THROW(dm.SetConnected(true));
  EXPECT_TRUE(dm.calls.empty());
  EXPECT_EQ(dm.CurrentDialect(), nullptr);
  EXPECT_EQ(dm.GetDatabaseName(), "");
}

TEST(EngineConnection, FailingConnectionsReturnFalseWithTheReason) {
  BuildDatabase();
  const std::vector<std::string> rows = {
      LoginString("hans", "Wrong9Secret"),
      LoginString("nobody", "Wrong9Secret"),
      "Provider=SQLOLEDB.1;User ID=sa;Password=Wrong9Secret;Initial Catalog=engine;Data Source=NoSuchServer",
      "Provider=SQLOLEDB.1;User ID=sa;Password=Wrong9Secret;Initial Catalog=nosuchdb;Data Source=" +
          std::string(dialect_test::kServer),
      "Provider=NoSuch.1;User ID=sa;Password=Wrong9Secret;Data Source=x",
  };
  Tdm dm;
  for (const std::string& connectionString : rows) {
    SCOPED_TRACE(connectionString);
    bool result = true;
    EXPECT_NO_THROW(result = dm.SetConnectionString(connectionString, true));
    EXPECT_FALSE(result);
    EXPECT_FALSE(dm.ac.Connected());
    EXPECT_FALSE(dm.ConnectError().empty());
    EXPECT_EQ(dm.ConnectError().find("Wrong9Secret"), std::string::npos) << dm.ConnectError();
  }
  EXPECT_TRUE(dm.SetConnectionString(LoginString("sa", ""), true));
  EXPECT_TRUE(dm.ConnectError().empty());
}

TEST(EngineConnection, InstructionsRunAsWritten) {
  BuildDatabase();
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(LoginString("sa", ""), true));
  const std::vector<std::string> values = {":name", "?", "@p", "a :b ? @c"};
  int id = 100;
  for (const std::string& value : values) {
    dm.cmdExec.CommandText = "INSERT INTO T (id, s) VALUES (" + std::to_string(++id) + ", '" + value + "')";
    dm.cmdExec.Execute();
    dm.aq.SetCommandText("select s from T where id = " + std::to_string(id));
    dm.aq.Open();
    EXPECT_EQ(dm.aq.FieldByName("s").AsString(), value);
    dm.aq.Close();
  }
}

TEST(EngineConnection, CreatedAndDestroyedWhileConnected) {
  BuildDatabase();
  for (int i = 0; i < 10; ++i) {
    Tdm dm;
    ASSERT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine"), true));
    dm.SetConnected(true);
    dm.aq.SetCommandText("select id from T");
    dm.aq.Open();
    dm.qExec.SetCommandText("select count(*) as n from T");
    dm.qExec.Open();
    dm.ac.BeginTrans();  // a transaction left open is rolled back by the destruction
    dm.cmdExec.CommandText = "insert into T (id) values (" + std::to_string(1000 + i) + ")";
    dm.cmdExec.Execute();
  }
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(ConnectionStringFor("engine"), true));
  dm.aq.SetCommandText("select count(*) as n from T where id >= 1000");
  dm.aq.Open();
  EXPECT_EQ(dm.aq.FieldByName("n").AsInteger(), 0);
}
