// The check's preparatory steps on the embedded servers: the producer's table and field renames
// and table clears, queued once, run, and found done by the next check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CheckDbSupport.h"

namespace {

using round_trip::Server;

struct Pair {
  Server server;
  std::vector<std::string> master, client;
};

const Pair kRenamePairs[] = {
    {Server::SqlServer,
     {"CREATE TABLE Customers (Id int NOT NULL PRIMARY KEY, FullName varchar (40) NULL)",
      "CREATE TABLE Logs (Id int NOT NULL PRIMARY KEY, Kind int NULL)"},
     {"CREATE TABLE Clients (Id int NOT NULL PRIMARY KEY, Name varchar (40) NULL)",
      "CREATE TABLE Logs (Id int NOT NULL PRIMARY KEY, Sort int NULL)", "INSERT INTO Clients VALUES (1, 'Ann')",
      "INSERT INTO Clients VALUES (2, 'Bob')", "INSERT INTO Logs VALUES (7, 3)"}},
    {Server::Asa,
     {"CREATE TABLE Customers (Id integer NOT NULL PRIMARY KEY, FullName varchar(40) NULL)",
      "CREATE TABLE Logs (Id integer NOT NULL PRIMARY KEY, Kind integer NULL)"},
     {"CREATE TABLE Clients (Id integer NOT NULL PRIMARY KEY, Name varchar(40) NULL)",
      "CREATE TABLE Logs (Id integer NOT NULL PRIMARY KEY, Sort integer NULL)", "INSERT INTO Clients VALUES (1, 'Ann')",
      "INSERT INTO Clients VALUES (2, 'Bob')", "INSERT INTO Logs VALUES (7, 3)"}},
};

// The producer's lists of the rename cases: the two good entries among the edge cases, which
// all generate nothing.
void RenameLists(TOrvDbSchemaProducer& producer) {
  producer.SetRenamedTables({
      " Clients = Customers ",  // queued (names trimmed)
      "Gone=Logs",              // the old table is missing in the client
      "Logs=Customers",         // the new table already exists in the client (Logs)
      "Clients=Nowhere",        // the new table is not in the master
      "NoEqualsSign", "=Customers", "Clients=", "Logs=Logs",
  });
  producer.SetRenamedFields({
      "Clients.Name=Customers.FullName",  // queued: on the renamed table
      "Logs.Sort=Logs.Kind",              // queued: within one table
      "Logs.Id=Logs.Kind",                // Logs.Kind is renamed to already
      "Logs.Sort=Customers.FullName",     // another table's column: Logs is not renamed to Customers
      "Logs.Missing=Logs.Kind", "LogsSort=Logs.Kind", "Logs.Sort=LogsKind", ".Sort=Logs.Kind", "Logs.=Logs.Kind",
  });
}

}  // namespace

TEST(CheckDbRenames, RenamesRunOnceAndKeepEveryRow) {
  for (const Pair& pair : kRenamePairs) {
    SCOPED_TRACE(round_trip::ServerName(pair.server));
    const std::string name = std::string("Ren") + round_trip::ServerName(pair.server);
    const std::string master = round_trip::CreateDatabase(pair.server, name + "M", pair.master);
    const std::string client = round_trip::CreateDatabase(pair.server, name + "C", pair.client);
    const round_trip::CheckResult first =
        round_trip::RoundTrip(master, client, round_trip::NewFolder(name), RenameLists);
    EXPECT_EQ(first.instructions.size(), 3u) << testing::PrintToString(round_trip::Texts(first.instructions));
    EXPECT_EQ(first.errors, std::vector<std::string>{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT Id, FullName FROM Customers ORDER BY Id"),
              (std::vector<std::string>{"1|Ann", "2|Bob"}));
    EXPECT_EQ(round_trip::Rows(client, "SELECT Id, Kind FROM Logs"), std::vector<std::string>{"7|3"});
  }
}

TEST(CheckDbRenames, TheQueuedTextsOnSqlServer) {
  const Pair& pair = kRenamePairs[0];
  const std::string master = round_trip::CreateDatabase(pair.server, "RenTextM", pair.master);
  const std::string client = round_trip::CreateDatabase(pair.server, "RenTextC", pair.client);
  const std::string folder = round_trip::NewFolder("RenText");
  round_trip::Produce(master, folder, RenameLists);
  auto updater = check_db_test::ConnectedUpdater(client, folder);
  ASSERT_TRUE(updater->dm()->CheckDb(true));
  EXPECT_EQ(round_trip::Texts(round_trip::LoadInstructions(folder)),
            (std::vector<std::string>{"EXECUTE sp_rename N'dbo.Clients', N'Customers', 'OBJECT'",
                                      "EXECUTE sp_rename N'dbo.Customers.[Name]', N'FullName', 'COLUMN'",
                                      "EXECUTE sp_rename N'dbo.Logs.[Sort]', N'Kind', 'COLUMN'"}));
  EXPECT_EQ(TdmStateProbe(*updater->dm()).DroppedTables(), std::vector<std::string>{"Clients"});
}
