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
      // Regression: renamed Customers' column though the entry names one of Logs.
      "Logs.Sort=Customers.FullName",
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

TEST(CheckDbRenames, ClearsRecurAtEveryCheck) {
  for (const Pair& pair : kRenamePairs) {
    SCOPED_TRACE(round_trip::ServerName(pair.server));
    const std::string name = std::string("Clr") + round_trip::ServerName(pair.server);
    const std::string master = round_trip::CreateDatabase(pair.server, name + "M", pair.master);
    const std::string client = round_trip::CreateDatabase(pair.server, name + "C", pair.client);
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
      producer.SetRenamedTables({"Clients=Customers"});
      producer.SetRenamedFields({"Clients.Name=Customers.FullName", "Logs.Sort=Logs.Kind"});
      // A renamed table is cleared under its new name; an empty condition clears every row.
      producer.SetClearTables({"Customers = Id = 2 ", "Logs=", "Clients=", "Nowhere=1=1", "NoEqualsSign"});
    });
    const std::string owner = pair.server == Server::SqlServer ? "dbo." : "DBA.";
    const std::vector<std::string> clears = {"DELETE FROM " + owner + "Customers WHERE Id = 2",
                                             "DELETE FROM " + owner + "Logs"};
    const round_trip::CheckResult first = round_trip::Check(client, folder);
    ASSERT_EQ(first.instructions.size(), 5u);
    const std::vector<std::string> texts = round_trip::Texts(first.instructions);
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 3, texts.end()), clears);
    round_trip::Execute(client, folder);
    const round_trip::CheckResult second = round_trip::Check(client, folder);
    EXPECT_EQ(round_trip::Texts(second.instructions), clears);
    round_trip::Execute(client, folder);
    EXPECT_EQ(round_trip::Rows(client, "SELECT Id, FullName FROM Customers ORDER BY Id"),
              std::vector<std::string>{"1|Ann"});
    EXPECT_EQ(round_trip::Rows(client, "SELECT Id FROM Logs"), std::vector<std::string>{});
  }
}

TEST(CheckDbRenames, AccessReportsEachRenameAndQueuesNone) {
  // Regressions: the server has no rename statement, yet empty rename texts were queued and
  // refused when the list ran; then the check answered True, and with deletions allowed the old
  // table or column went as surplus, with its rows.
  const std::string masterDb = round_trip::CreateDatabase(
      Server::Access, "RenAccM", {"CREATE TABLE Customers (Id integer NOT NULL PRIMARY KEY, FullName varchar(40) NULL)"});
  const struct {
    const char* name;
    std::string table, error, query;
    std::vector<std::string> instructions;
  } clients[] = {
      {"RenAccC", "Clients", "Unable to rename table Clients to Customers | The server has no statement renaming a table",
       "SELECT Id, Name FROM Clients", {}},
      {"RenAccC2", "Customers",
       "Unable to rename field Customers.Name to Customers.FullName | The server has no statement renaming a column",
       "SELECT Id, Name FROM Customers", {"DELETE FROM Customers WHERE Id = 1"}},
  };
  const std::string folder = round_trip::NewFolder("RenAcc");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    producer.SetRenamedTables({"Clients=Customers"});
    producer.SetRenamedFields({"Customers.Name=Customers.FullName"});
    producer.SetClearTables({"Customers=Id = 1"});
  });
  const auto deletions = [](TOrvDbSchemaUpdater& updater) {
    TDeletePolicy& policy = updater.UpdaterDirectives().DeletePolicy;
    policy.Enabled = policy.DeleteTables = policy.DeleteFields = beYes;
    policy.ConfirmOnDelete = beNo;
  };
  for (const auto& c : clients) {
    SCOPED_TRACE(c.name);
    const std::string client = round_trip::CreateDatabase(
        Server::Access, c.name,
        {"CREATE TABLE " + c.table + " (Id integer NOT NULL PRIMARY KEY, Name varchar(40) NULL)",
         "INSERT INTO " + c.table + " VALUES (1, 'Ann')"});
    const round_trip::CheckResult check = round_trip::Check(client, folder, deletions);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.errors, std::vector<std::string>{c.error});
    EXPECT_EQ(round_trip::Texts(check.instructions), c.instructions);
    TOrvDbSchemaUpdater updater;
    updater.DirSchemas = updater.DirSql = updater.DirBackup = folder;
    updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
    updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
    deletions(updater);
    ASSERT_TRUE(updater.Initialize());
    EXPECT_FALSE(updater.CheckAndUpdate(client));
    EXPECT_EQ(round_trip::Rows(client, c.query), std::vector<std::string>{"1|Ann"});
  }
}

TEST(CheckDbRenames, ANewDatabaseGetsNoRenameClearOrKeyChange) {
  const Pair& pair = kRenamePairs[0];
  const std::string master = round_trip::CreateDatabase(pair.server, "NewDbM", pair.master);
  const std::string client = round_trip::CreateDatabase(pair.server, "NewDbC", pair.client);
  const std::string folder = round_trip::NewFolder("NewDb");
  round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
    producer.SetRenamedTables({"Clients=Customers"});
    producer.SetRenamedFields({"Logs.Sort=Logs.Kind"});
    producer.SetClearTables({"Logs="});
    producer.UpdaterDirectives().PrimaryKeysChanged = {"Logs"};
  });
  auto updater = check_db_test::ConnectedUpdater(client, folder, [](TOrvDbSchemaUpdater& u) { u.DatabaseCreated = true; });
  // Regression: the key step answered False on a new database, which stopped every phase.
  ASSERT_TRUE(updater->dm()->CheckDb(true));
  for (const std::string& text : round_trip::Texts(round_trip::LoadInstructions(folder))) {
    EXPECT_EQ(text.find("sp_rename"), std::string::npos) << text;
    EXPECT_EQ(text.find("DELETE FROM"), std::string::npos) << text;
  }
  EXPECT_EQ(TdmStateProbe(*updater->dm()).PkTablesChange().Count(), 0);
}

TEST(CheckDbRenames, QuotesInNamesAndChains) {
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "RenQuoteM",
      {"CREATE TABLE [O'Neil] (id int NOT NULL PRIMARY KEY, [it's] int NULL)", "CREATE TABLE B (id int NULL)",
       "CREATE TABLE C (id int NULL)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "RenQuoteC",
      {"CREATE TABLE [O'Brien] (id int NOT NULL PRIMARY KEY, [was'nt] int NULL)", "INSERT INTO [O'Brien] VALUES (1, 2)",
       "CREATE TABLE A (id int NULL)", "CREATE TABLE B (id int NULL)", "INSERT INTO B VALUES (5)"});
  const std::string folder = round_trip::NewFolder("RenQuote");
  round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
    // A=B: B is still the client's, so only B=C is carried out.
    producer.SetRenamedTables({"O'Brien=O'Neil", "A=B", "B=C"});
    producer.SetRenamedFields({"O'Brien.was'nt=O'Neil.it's"});
  });
  const round_trip::CheckResult result = round_trip::Check(client, folder);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.errors, std::vector<std::string>{});
  round_trip::Execute(client, folder);
  EXPECT_EQ(round_trip::Rows(client, "SELECT id, [it's] FROM [O'Neil]"), std::vector<std::string>{"1|2"});
  EXPECT_EQ(round_trip::Rows(client, "SELECT id FROM C"), std::vector<std::string>{"5"});
}
