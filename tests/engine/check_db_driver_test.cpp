// The CheckDb driver on the embedded servers: its steps in order with their texts, what it saves
// when it ends or fails, bad master files, the holder producer, the client's users, and the
// client's database file left byte for byte as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CheckDbSupport.h"

namespace {

using round_trip::Server;

struct Pair {
  Server server;
  std::vector<std::string> master, client;
};

const Pair kPairs[] = {
    {Server::SqlServer,
     {"CREATE TABLE Customers (Id int NOT NULL, Line int NOT NULL, FullName varchar (40) NULL, "
      "CONSTRAINT PK_Customers PRIMARY KEY (Id, Line))"},
     {"CREATE TABLE Clients (Id int NOT NULL, Line int NOT NULL, Name varchar (40) NULL, "
      "CONSTRAINT PK_Clients PRIMARY KEY (Id))",
      "INSERT INTO Clients VALUES (1, 1, 'Ann')"}},
    {Server::Asa,
     {"CREATE TABLE Customers (Id integer NOT NULL, Line integer NOT NULL, FullName varchar(40) NULL, "
      "PRIMARY KEY (Id, Line))"},
     {"CREATE TABLE Clients (Id integer NOT NULL, Line integer NOT NULL, Name varchar(40) NULL, PRIMARY KEY (Id))",
      "INSERT INTO Clients VALUES (1, 1, 'Ann')"}},
    {Server::Access,
     {"CREATE TABLE Customers (Id integer NOT NULL, Line integer NOT NULL, FullName varchar(40) NULL, "
      "CONSTRAINT PrimaryKey PRIMARY KEY (Id, Line))"},
     {"CREATE TABLE Customers (Id integer NOT NULL, Line integer NOT NULL, Name varchar(40) NULL, "
      "CONSTRAINT PrimaryKey PRIMARY KEY (Id))",
      "INSERT INTO Customers VALUES (1, 1, 'Ann')"}},
};

// Every list the check prepares, the key treatment that detects, and the delete policy open.
void Everything(TOrvDbSchemaProducer& producer) {
  producer.SetRenamedTables({"Clients=Customers"});
  producer.SetRenamedFields({"Clients.Name=Customers.FullName"});
  producer.SetClearTables({"Customers=Id = 1"});
  producer.UpdaterDirectives().PKChangedTreatment = pctList;
  TDeletePolicy& policy = producer.UpdaterDirectives().DeletePolicy;
  policy.DeleteTables = policy.DeleteFields = policy.DeleteIndexes = policy.DeleteViews = policy.DeleteProcedures = beYes;
}

std::vector<std::string> Between(const std::vector<std::string>& log, const std::string& first, const std::string& last) {
  auto from = std::find(log.begin(), log.end(), first);
  auto to = std::find(from, log.end(), last);
  return to == log.end() ? std::vector<std::string>{} : std::vector<std::string>(from, to + 1);
}

bool Has(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

}  // namespace

TEST(CheckDbDriver, TheCheckNeverChangesTheClient) {
  for (const Pair& pair : kPairs) {
    SCOPED_TRACE(round_trip::ServerName(pair.server));
    const std::string name = std::string("Still") + round_trip::ServerName(pair.server);
    const std::string master = round_trip::CreateDatabase(pair.server, name + "M", pair.master);
    const std::string client = round_trip::CreateDatabase(pair.server, name + "C", pair.client);
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(master, folder, Everything);
    const auto before = check_db_test::DatabaseFiles();
    {
      auto updater = check_db_test::ConnectedUpdater(client, folder);
      EXPECT_TRUE(updater->dm()->CheckDb(true));
      EXPECT_EQ(TdmStateProbe(*updater->dm()).PkTablesChange().Count(), 1);
    }
    EXPECT_FALSE(round_trip::LoadInstructions(folder).empty());
    EXPECT_EQ(check_db_test::Changed(before, check_db_test::DatabaseFiles()), std::vector<std::string>{});
    // A check failing halfway leaves the client as it was too.
    std::filesystem::remove(std::filesystem::path(folder) / "vsiForeignKeys.xml");
    {
      auto updater = check_db_test::ConnectedUpdater(client, folder);
      EXPECT_THROW(updater->dm()->CheckDb(true), std::exception);
    }
    EXPECT_EQ(check_db_test::Changed(before, check_db_test::DatabaseFiles()), std::vector<std::string>{});
  }
}

TEST(CheckDbDriver, StepsInOrderWithTheirTexts) {
  const Pair& pair = kPairs[0];
  const std::string master = round_trip::CreateDatabase(pair.server, "OrderM", pair.master);
  const std::string client = round_trip::CreateDatabase(pair.server, "OrderC", pair.client);
  const std::string folder = round_trip::NewFolder("Order");
  round_trip::Produce(master, folder);
  auto updater = check_db_test::ConnectedUpdater(client, folder);
  ASSERT_TRUE(updater->dm()->CheckDb(true));
  const std::vector<std::string> start(updater->log.begin(), updater->log.begin() + 27);
  EXPECT_EQ(start, (std::vector<std::string>{
                       "begin 16", "message Start checking CLIENT database", "message Initialize data for checking",
                       "level0 INITIALIZE", "reset1 22", "level1 Load Parameters", "level1 Load Tables",
                       "level1 Load Columns", "level1 Load Indexes", "level1 Load Table Constraints",
                       "level1 Load Primary Keys", "level1 Load Foreign Keys", "level1 Load Store procedures",
                       "level1 Load SERVER DbSpaces", "level1 Load Source user information",
                       "level1 Load Source Cluster Indexes", "level1 Load Dest. Tables schema",
                       "level1 Load Dest. Indexes Schema", "level1 Load Dest. Columns schema",
                       "level1 Load Dest. Constraints schema", "level1 Load Dest. Primary Keys schema",
                       "level1 Load Dest. Foreign Keys schema", "level1 Load Dest. Store Procedures schema",
                       "level1 Load Dest. User schema", "level1 Load Dest. Cluster Indexes",
                       "level1 Load CLIENT DbSpaces", "level1 Load SERVER Users"}));
  EXPECT_EQ(Between(updater->log, "message Rename table", "message PK CHANGED Done"),
            (std::vector<std::string>{"message Rename table", "level0 Rename table", "reset1 0",
                                      "message Rename table Done", "message Rename fields", "level0 Rename fields",
                                      "reset1 0", "message Rename fields Done", "message Clear table",
                                      "level0 Clear table", "reset1 0", "message Clear table Done",
                                      "message PK CHANGED", "level0 PK CHANGED", "reset1 0",
                                      "message PK CHANGED Done"}));
  EXPECT_TRUE(Has(updater->log, "level0 Tables"));
  EXPECT_TRUE(Has(updater->log, "level0 Unique Constraints"));
  EXPECT_EQ(updater->log.back(), "message CheckDb Done");
  EXPECT_EQ(updater->dm()->CurrentDialect()->MasterDbType, dbtSqlServer);

  // Switched-off phases are skipped; without a holder the master kind read before is forgotten.
  updater->log.clear();
  updater->dm()->SetPhaseSwitches(false, true, true, true, false, true);
  ASSERT_TRUE(updater->dm()->CheckDb(false));
  EXPECT_FALSE(Has(updater->log, "level0 Tables"));
  EXPECT_FALSE(Has(updater->log, "level0 Unique Constraints"));
  EXPECT_EQ(updater->dm()->CurrentDialect()->MasterDbType, dbtNone);
  EXPECT_FALSE(updater->dm()->CurrentDialect()->CanUpdateViews());
}

TEST(CheckDbDriver, AMissingOrBadMasterFileSavesNothingAndFreesTheHolder) {
  const Pair& pair = kPairs[0];
  const std::string master = round_trip::CreateDatabase(pair.server, "BadM", pair.master);
  const std::string client = round_trip::CreateDatabase(pair.server, "BadC", pair.client);
  struct Damage {
    std::string file;
    std::string content;  // empty: the file is removed
  };
  const Damage damages[] = {
      {"vsiColumns.xml", ""},
      {"vsiIndexes.xml", "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882'><s:Schema id='RowsetSchema'>"},
      {"vsiTables.xml", "not a recordset at all"},
      {"vsiTableConstraints.xml", ""},  // filled below with the users' file: another shape
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.file);
    const std::string folder = round_trip::NewFolder("Bad");
    round_trip::Produce(master, folder, Everything);
    const std::filesystem::path file = std::filesystem::path(folder) / damage.file;
    std::filesystem::remove(file);
    if (damage.file == "vsiTableConstraints.xml") {
      std::filesystem::copy_file(std::filesystem::path(folder) / "vsiUsers.xml", file);
    } else if (!damage.content.empty()) {
      std::ofstream(file) << damage.content;
    }
    auto updater = check_db_test::ConnectedUpdater(client, folder);
    try {
      updater->dm()->CheckDb(true);
      ADD_FAILURE() << "the check went through";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(damage.file), std::string::npos) << e.what();
    }
    // Regression: the holder stayed the engine's producer after a check that raised.
    EXPECT_EQ(updater->dm()->Producer, nullptr);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "instructions.xml"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "BlockUndoDelete.xml"));
    EXPECT_FALSE(Has(updater->log, "message CheckDb Done"));
  }
}

TEST(CheckDbDriver, TheDialectKnowsTheClientsUsersOnly) {
  // Regression: the dialect's users were never read from the client, and users of an earlier
  // check stayed, so owners the client had got create-user statements and new ones none.
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "UsersM", {"CREATE TABLE T (id int NULL)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "UsersC",
      {"CREATE TABLE T (id int NULL)", "EXEC sp_addLogin 'Sam'", "EXEC sp_grantDbAccess 'Sam', 'Sam'"});
  const std::string folder = round_trip::NewFolder("Users");
  round_trip::Produce(master, folder);
  auto updater = check_db_test::ConnectedUpdater(client, folder);
  TDatabaseSpecific& dialect = *updater->dm()->CurrentDialect();
  dialect.Users.Add("Ghost", std::make_unique<TUserElem>());
  ASSERT_TRUE(updater->dm()->CheckDb(true));
  EXPECT_FALSE(dialect.UserExists("Ghost"));
  EXPECT_TRUE(dialect.UserExists("Sam"));
  EXPECT_TRUE(dialect.UserExists("dbo"));
}

TEST(CheckDbDriver, APhaseAnsweringFalseStopsTheRestButBothFilesAreSaved) {
  // A master folder whose tables file lacks a table its constraints file keys: the tables phase
  // cannot find a table of the key change list and answers False.
  const std::vector<std::string> script = {"CREATE TABLE T (id int NOT NULL, CONSTRAINT PK_T PRIMARY KEY (id))",
                                           "CREATE TABLE U (id int NULL)"};
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "FalseM", script);
  const std::string other = round_trip::CreateDatabase(Server::SqlServer, "FalseO", {script[1]});
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "FalseC", script);
  const std::string folder = round_trip::NewFolder("False");
  const std::string otherFolder = round_trip::NewFolder("FalseOther");
  round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().PrimaryKeysChanged = {"T"};
  });
  round_trip::Produce(other, otherFolder);
  std::filesystem::copy_file(std::filesystem::path(otherFolder) / "vsiTables.xml",
                             std::filesystem::path(folder) / "vsiTables.xml",
                             std::filesystem::copy_options::overwrite_existing);
  auto updater = check_db_test::ConnectedUpdater(client, folder);
  EXPECT_FALSE(updater->dm()->CheckDb(true));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "instructions.xml"));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "BlockUndoDelete.xml"));
  EXPECT_FALSE(Has(updater->log, "level0 Unique Constraints"));
  EXPECT_FALSE(Has(updater->log, "message CheckDb Done"));
  EXPECT_EQ(updater->dm()->Producer, nullptr);
}
