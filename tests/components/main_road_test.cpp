// The main road as a new user walks it, on each embedded server: the demonstration databases of
// examples/demo built by their scripts through the SQL client, and a larger pair built by script;
// the producer extracts the master, the updater checks the client (which stays as it was), then
// checks and updates it (the client gets the master's tables and columns, every row kept), and a
// last check finds nothing to do. Across servers, what the type tables translate.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../engine/RoundTrip.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"
#include "servers/client/SqlClient.h"

using round_trip::Server;

namespace {

std::string DemoFile(const std::string& name) {
  return std::string(SCHEMION_TEST_DATA_DIR) + "/../../examples/demo/" + name;
}

// Runs a script file through the SQL client as a user would; -n makes a new Access file first.
void RunScriptFile(const std::string& connectionString, const std::string& file, bool newDatabase = false) {
  std::vector<std::string> args = {"-b", "-c", connectionString, "-i", file};
  if (newDatabase) args.push_back("-n");
  std::istringstream in;
  std::ostringstream out, err;
  ASSERT_EQ(sqlclient::RunSqlClient(args, in, out, err), 0) << file << "\n" << out.str() << err.str();
}

// The demonstration master and client of a server, built from examples/demo.
struct DemoPair {
  std::string master, client;
};

DemoPair BuildDemo(Server server) {
  DemoPair pair;
  switch (server) {
    case Server::SqlServer: {
      dialect_test::UseFreshServers();
      const std::string onMaster = dialect_test::ConnectionStringFor("master");
      RunScriptFile(onMaster, DemoFile("master.sql"));
      RunScriptFile(onMaster, DemoFile("client.sql"));
      pair = {dialect_test::ConnectionStringFor("SchemionDemoMaster"),
              dialect_test::ConnectionStringFor("SchemionDemoClient")};
      break;
    }
    case Server::Asa:
      pair = {round_trip::CreateDatabase(server, "SchemionDemoMaster", {}),
              round_trip::CreateDatabase(server, "SchemionDemoClient", {})};
      RunScriptFile(pair.master, DemoFile("asa_master.sql"));
      RunScriptFile(pair.client, DemoFile("asa_client.sql"));
      break;
    case Server::Access: {
      const std::string prefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + round_trip::WorkFolder() + "/";
      pair = {prefix + "DemoMaster.mdb", prefix + "DemoClient.mdb"};
      RunScriptFile(pair.master, DemoFile("access_master.sql"), true);
      RunScriptFile(pair.client, DemoFile("access_client.sql"), true);
      break;
    }
  }
  return pair;
}

// The names of the database's views as its dialect reads them.
std::vector<std::string> Views(const std::string& database) {
  Tdm dm;
  dm.SetConnectionString(database, false);
  dm.SetConnected(true);
  ado::TDataSet views;
  dm.OpenSchemaOf(vsiViews, ado::Variant(), views);
  std::vector<std::string> names;
  if (!views.Active()) return names;
  for (views.First(); !views.Eof(); views.Next()) names.push_back(views.FieldByName("TABLE_NAME").AsString());
  return names;
}

// An updater of the schema folder, its instructions beside the schema files.
struct Updater {
  explicit Updater(const std::string& folder) {
    component.DirSchemas = folder;
    component.DirSql = folder;
    component.DirBackup = folder;
    EXPECT_TRUE(component.Initialize());
  }
  std::vector<std::string> Errors() const {
    std::vector<std::string> errors;
    for (const auto& e : component.Errors().Items()) errors.push_back(e->Description + " | " + e->EMessage);
    return errors;
  }
  TOrvDbSchemaUpdater component;
};

// The road on one pair: extraction, a check that leaves the client as it was and lists
// `expectedInstructions` among its instructions, then the update, the client read back against
// `expectedColumns`, the rows of `rowsQuery` kept, and a last check without instructions.
void WalkTheRoad(const std::string& master, const std::string& client, const std::string& folderName,
                 const std::string& rowsQuery, const std::vector<std::string>& expectedColumns, bool withTypes,
                 const std::vector<std::string>& expectedInstructions = {}) {
  const std::string folder = round_trip::NewFolder(folderName);
  round_trip::Produce(master, folder);
  const std::vector<std::string> clientColumns = round_trip::Columns(client);
  const std::vector<std::string> clientRows = round_trip::Rows(client, rowsQuery);
  EXPECT_FALSE(clientColumns.empty());
  EXPECT_FALSE(clientRows.empty());

  Updater updater(folder);
  ASSERT_TRUE(updater.component.CheckDb(client)) << testing::PrintToString(updater.Errors());
  EXPECT_EQ(updater.Errors(), std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::exists(folder + "/instructions.xml"));
  EXPECT_EQ(round_trip::Columns(client), clientColumns);
  EXPECT_EQ(round_trip::Rows(client, rowsQuery), clientRows);

  const std::vector<std::string> instructions = round_trip::Texts(round_trip::LoadInstructions(folder));
  EXPECT_NE(instructions.size(), 0u);
  // The tables and columns the master adds; the later phases' instructions come beside them.
  for (const std::string& expected : expectedInstructions) {
    EXPECT_NE(std::find(instructions.begin(), instructions.end(), expected), instructions.end())
        << expected << "\n  not among " << testing::PrintToString(instructions);
  }
  ASSERT_TRUE(updater.component.CheckAndUpdate(client)) << testing::PrintToString(updater.Errors());
  EXPECT_EQ(round_trip::Columns(client, withTypes), expectedColumns);
  EXPECT_EQ(round_trip::Rows(client, rowsQuery), clientRows);
  ASSERT_TRUE(updater.component.CheckDb(client)) << testing::PrintToString(updater.Errors());
  EXPECT_EQ(round_trip::Texts(round_trip::LoadInstructions(folder)), std::vector<std::string>{});
}

// A script-built pair of `tables` tables: the client lacks every third table, has every other
// table's text column narrower and lacks its last column; rows in every client table.
struct ScriptPair {
  std::vector<std::string> master, client;
};

ScriptPair LargerPair(Server server, int tables) {
  const bool access = server == Server::Access;
  const std::string integer = server == Server::SqlServer ? "int" : "integer";
  const std::string text = access ? "TEXT" : "varchar";
  ScriptPair pair;
  for (int t = 0; t < tables; ++t) {
    const std::string name = "T" + std::to_string(t);
    auto table = [&](int width, bool withLast) {
      std::string sql = "CREATE TABLE " + name + " (id " + integer + " NOT NULL PRIMARY KEY, code " + text + "(" +
                        std::to_string(width) + ") NULL, qty " + integer + " NULL";
      if (withLast) sql += ", note " + text + "(30) NULL";
      return sql + ")";
    };
    pair.master.push_back(table(40, true));
    if (t % 3 == 2) continue;
    pair.client.push_back(table(t % 2 == 0 ? 20 : 40, t % 2 == 1));
    pair.client.push_back("INSERT INTO " + name + " (id, code, qty) VALUES (1, 'c" + std::to_string(t) + "', " +
                          std::to_string(t) + ")");
  }
  return pair;
}

}  // namespace

// What the check of each demonstration client lists for its tables and columns.
struct DemoCase {
  Server server;
  std::vector<std::string> instructions;
};

const DemoCase kDemoCases[] = {
    {Server::SqlServer,
     {"ALTER TABLE dbo.Customers ALTER COLUMN Name varchar (80)  COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL",
      "ALTER TABLE dbo.Customers ADD City varchar (40)  COLLATE SQL_Latin1_General_CP1_CI_AS",
      "ALTER TABLE dbo.Customers ADD Notes text COLLATE SQL_Latin1_General_CP1_CI_AS",
      "CREATE TABLE dbo.Orders (OrderId int IDENTITY (1, 1)  NOT NULL, CustomerId int NOT NULL, "
      "OrderDate datetime NOT NULL, Amount money)"}},
    {Server::Asa,
     {"ALTER TABLE DBA.Customers MODIFY Name varchar (80)  NOT NULL", "ALTER TABLE DBA.Customers ADD City varchar (40) ",
      "ALTER TABLE DBA.Customers ADD Notes long varchar",
      "CREATE TABLE DBA.Orders (OrderId integer IDENTITY  NOT NULL, CustomerId integer NOT NULL, "
      "OrderDate timestamp NOT NULL DEFAULT current timestamp, Amount numeric (19, 4) )"}},
    {Server::Access,
     {"ALTER TABLE Customers ALTER COLUMN Name text (80)  NOT NULL", "ALTER TABLE Customers ADD City text (40) ",
      "ALTER TABLE Customers ADD Notes memo",
      "CREATE TABLE Orders (OrderId int IDENTITY  NOT NULL, CustomerId int NOT NULL, OrderDate datetime NOT NULL, "
      "Amount money)"}},
};

TEST(MainRoad, DemonstrationDatabases) {
  for (const DemoCase& c : kDemoCases) {
    const Server server = c.server;
    SCOPED_TRACE(round_trip::ServerName(server));
    const DemoPair demo = BuildDemo(server);
    // The master's tables and columns, and its view where the master's rowset marks it updatable
    // (not on Access).
    std::vector<std::string> expected;
    for (const std::string& column : round_trip::Columns(demo.master)) {
      if (server != Server::Access || !column.starts_with("CustomerOrders.")) expected.push_back(column);
    }
    WalkTheRoad(demo.master, demo.client, std::string("demo-") + round_trip::ServerName(server),
                "SELECT CustomerId, Name FROM Customers ORDER BY CustomerId", expected, true, c.instructions);
  }
}

TEST(MainRoad, LargerScriptBuiltPairs) {
  for (Server server : {Server::SqlServer, Server::Asa, Server::Access}) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const std::string name = std::string("Large") + round_trip::ServerName(server);
    const ScriptPair script = LargerPair(server, 30);
    const std::string master = round_trip::CreateDatabase(server, name + "M", script.master);
    const std::string client = round_trip::CreateDatabase(server, name + "C", script.client);
    WalkTheRoad(master, client, "large-" + std::string(round_trip::ServerName(server)),
                "SELECT id, code, qty FROM T1", round_trip::Columns(master), true);
  }
}

TEST(MainRoad, AcrossServers) {
  // A SQL Server master with Adaptive Server Anywhere and Access clients, and an Adaptive Server
  // Anywhere master with a SQL Server client: the tables and columns arrive, their types as the
  // type tables translate them; the master's view is left alone across kinds.
  auto tablesOnly = [](const std::vector<std::string>& columns) {
    std::vector<std::string> tables;
    for (const std::string& column : columns) {
      if (!column.starts_with("V1.")) tables.push_back(column);
    }
    return tables;
  };
  const ScriptPair sqlServer = LargerPair(Server::SqlServer, 6);
  std::vector<std::string> masterScript = sqlServer.master;
  masterScript.push_back("CREATE VIEW V1 AS SELECT id, code FROM T0");
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "CrossM", masterScript);
  for (Server server : {Server::Asa, Server::Access}) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const std::string client = round_trip::CreateDatabase(server, std::string("CrossC") + round_trip::ServerName(server),
                                                          LargerPair(server, 6).client);
    WalkTheRoad(master, client, std::string("cross-") + round_trip::ServerName(server), "SELECT id, code, qty FROM T1",
                tablesOnly(round_trip::Columns(master, false)), false);
    EXPECT_EQ(Views(client), std::vector<std::string>{});
  }
  EXPECT_EQ(Views(master), std::vector<std::string>{"V1"});
  std::vector<std::string> asaScript = LargerPair(Server::Asa, 6).master;
  asaScript.push_back("CREATE VIEW V1 AS SELECT id, code FROM T0");
  const std::string asaMaster = round_trip::CreateDatabase(Server::Asa, "CrossAsaM", asaScript);
  const std::string sqlClient = round_trip::CreateDatabase(Server::SqlServer, "CrossSqlC", sqlServer.client);
  WalkTheRoad(asaMaster, sqlClient, "cross-back", "SELECT id, code, qty FROM T1",
              tablesOnly(round_trip::Columns(asaMaster, false)), false);
  EXPECT_EQ(Views(sqlClient), std::vector<std::string>{});
}
