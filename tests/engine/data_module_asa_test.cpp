// The engine data module connected to the embedded Adaptive Server Anywhere: the dialect
// operations that follow a connection and a database's own date format, failing connections,
// instructions run as written, and a leak-free life while connected.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../dialects/SqlServerTestDatabase.h"
#include "engine/uDm.h"
#include "WatchedDm.h"

namespace {

const char* const kEngine = dialect_test::kAsaServer;
const std::string kDatabase = std::string("Provider=ASAProv.90;Eng=") + kEngine + ";dbn=engine";

// Builds the database "engine" once per program: a table, the user hans, and a date format of
// its own.
void BuildDatabase() {
  static bool built = false;
  if (built) return;
  built = true;
  dialect_test::UseFreshServers();
  TAsaSpecific dialect;
  ASSERT_EQ(dialect.CreateDatabase("engine", "C:\\data\\engine.db", "", "", "", kEngine), 2);
  ado::TConnection connection(kDatabase);
  connection.Open();
  dialect_test::RunScript(connection, {
      "CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(50) NULL)",
      "GRANT CONNECT TO hans IDENTIFIED BY 'Geheim7'",
      "SET OPTION PUBLIC.date_format = 'DD/MM/YYYY'",
  });
}

using WatchedDm = engine_test::WatchedDm<TAsaSpecific, dbtAsa>;

}  // namespace

TEST(EngineOnAsa, ConnectingSelectsTheDialectThenReadsNameAndDateFormat) {
  BuildDatabase();
  WatchedDm dm;
  ASSERT_TRUE(dm.SetConnectionString(kDatabase, false)) << dm.ConnectError();
  dm.SetConnected(true);
  EXPECT_EQ(dm.calls, (std::vector<std::string>{"GetDatabaseName dbtAsa", "GetDateFormat"}));
  EXPECT_EQ(dm.GetDbType(), dbtAsa);
  ASSERT_EQ(dm.CurrentDialect(), dm.DbSpecific(dbtAsa));
  EXPECT_EQ(dm.CurrentDialect()->DatabaseName, "engine");
  EXPECT_EQ(dm.CurrentDialect()->DateFormat, "DD/MM/YYYY");
  dm.SetConnected(false);
  EXPECT_FALSE(dm.ac.Connected());
}

TEST(EngineOnAsa, FailingConnectionsReturnFalseWithTheReason) {
  BuildDatabase();
  const std::string server = std::string("Provider=ASAProv.90;Eng=") + kEngine;
  const std::vector<std::string> rows = {
      server + ";dbn=engine;User ID=hans;password=Wrong9Secret",
      server + ";dbn=engine;User ID=nobody;password=Wrong9Secret",
      "Provider=ASAProv.90;Eng=NoSuchServer;dbn=engine;User ID=dba;password=Wrong9Secret",
      server + ";dbn=nosuchdb;User ID=dba;password=Wrong9Secret",
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
  EXPECT_TRUE(dm.SetConnectionString(server + ";dbn=engine;User ID=hans;password=Geheim7", true))
      << dm.ConnectError();
}

TEST(EngineOnAsa, InstructionsRunAsWritten) {
  BuildDatabase();
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(kDatabase, true));
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

TEST(EngineOnAsa, CreatedAndDestroyedWhileConnected) {
  BuildDatabase();
  for (int i = 0; i < 5; ++i) {
    Tdm dm;
    ASSERT_TRUE(dm.SetConnectionString(kDatabase, true));
    dm.SetConnected(true);
    dm.aq.SetCommandText("SELECT id FROM T");
    dm.aq.Open();
    dm.ac.BeginTrans();  // a transaction left open is rolled back by the destruction
    dm.cmdExec.CommandText = "INSERT INTO T (id) VALUES (" + std::to_string(1000 + i) + ")";
    dm.cmdExec.Execute();
  }
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(kDatabase, true));
  dm.aq.SetCommandText("SELECT count(*) AS n FROM T WHERE id >= 1000");
  dm.aq.Open();
  EXPECT_EQ(dm.aq.FieldByName("n").AsInteger(), 0);
}
