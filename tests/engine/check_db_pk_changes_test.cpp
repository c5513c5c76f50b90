// Detection of the tables whose primary key changes, on the embedded servers: the treatments, the
// objects describing each change and the rewritten list entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CheckDbSupport.h"

namespace {

using round_trip::Server;

const std::vector<std::string> kMaster = {
    "CREATE TABLE Orders (OrderId int NOT NULL, Line int NOT NULL, Note varchar (10) NULL, "
    "CONSTRAINT PK_Orders PRIMARY KEY (OrderId, Line))",
    "CREATE TABLE Items (Id int NOT NULL, CONSTRAINT PK_Items PRIMARY KEY (Id))",
    "CREATE TABLE Wide (A int NOT NULL, B int NOT NULL, C int NOT NULL, CONSTRAINT PK_Wide PRIMARY KEY (A, B))",
};
const std::vector<std::string> kClient = {
    "CREATE TABLE Orders (OrderId int NOT NULL, Batch int NOT NULL, Ln int NOT NULL, "
    "CONSTRAINT PK_OC PRIMARY KEY (OrderId, Batch, Ln))",
    "CREATE TABLE Items (Id int NOT NULL, CONSTRAINT PK_ItemsC PRIMARY KEY (Id))",
    "CREATE TABLE Wide (A int NOT NULL, B int NOT NULL, C int NOT NULL, CONSTRAINT PK_Wide PRIMARY KEY (A, B, C))",
};

struct Entry {
  std::string name;
  std::vector<std::string> masterKey, removed;
  std::string clientPk, masterPk;
};

// The engine's list after one check of the pair with the given producer set-up.
std::vector<Entry> Detected(const std::string& test, const std::function<void(TOrvDbSchemaProducer&)>& produce,
                            const std::function<void(TOrvDbSchemaUpdater&)>& check = {}) {
  static int databases = 0;
  const std::string name = test + std::to_string(++databases);
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, name + "M", kMaster);
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, name + "C", kClient);
  const std::string folder = round_trip::NewFolder(name);
  round_trip::Produce(master, folder, produce);
  auto updater = check_db_test::ConnectedUpdater(client, folder, check);
  EXPECT_TRUE(updater->dm()->CheckDb(true));
  std::vector<Entry> entries;
  const TOwnedStringList<TPkTablesChange>& list = TdmStateProbe(*updater->dm()).PkTablesChange();
  for (int i = 0; i < list.Count(); ++i) {
    const TPkTablesChange& change = list.Object(i);
    EXPECT_EQ(change.TempName, "PKC_TMP_" + change.MasterTable);
    EXPECT_EQ(change.ClientSchema, "dbo");
    EXPECT_EQ(change.MasterSchema, "dbo");
    entries.push_back({list.Name(i), change.MasterKeyColumns, change.RemovedKeyColumns, change.ClientPkName,
                       change.MasterPkName});
  }
  return entries;
}

std::vector<std::string> Names(const std::vector<Entry>& entries) {
  std::vector<std::string> names;
  for (const Entry& entry : entries) names.push_back(entry.name);
  return names;
}

void ListTreatment(TOrvDbSchemaProducer& producer) {
  producer.UpdaterDirectives().PKChangedTreatment = pctList;
  producer.SetRenamedFields({"Orders.Ln=Orders.Line"});
}

}  // namespace

TEST(CheckDbPkChanges, TheListTreatmentDetectsChangedKeysAfterRenames) {
  const std::vector<Entry> entries = Detected("PkList", ListTreatment);
  // Items: another name, the same columns: unchanged. Wide: a client key with a column more
  // (regression: columns beyond the master's were not examined).
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"Orders=OrderId; Batch; Line; ", "Wide=A; B; C; "}));
  EXPECT_EQ(entries[0].masterKey, (std::vector<std::string>{"OrderId", "Line"}));
  EXPECT_EQ(entries[0].removed, std::vector<std::string>{"Batch"});
  EXPECT_EQ(entries[0].clientPk, "PK_OC");
  EXPECT_EQ(entries[0].masterPk, "PK_Orders");
  EXPECT_EQ(entries[1].removed, std::vector<std::string>{"C"});
}

TEST(CheckDbPkChanges, TheAllTreatmentTakesTheListedTables) {
  // The producer's list when it gives one: an unchanged key still gets its object.
  std::vector<Entry> entries = Detected("PkAll", [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().PrimaryKeysChanged = {"Items", " Missing "};
  });
  ASSERT_EQ(Names(entries), std::vector<std::string>{"Items=Id; "});
  EXPECT_EQ(entries[0].masterKey, std::vector<std::string>{"Id"});
  EXPECT_EQ(entries[0].removed, std::vector<std::string>{});
  // Else the updater's own.
  entries = Detected("PkAllUpd", {}, [](TOrvDbSchemaUpdater& updater) {
    updater.UpdaterDirectives().PrimaryKeysChanged = {"Wide"};
  });
  EXPECT_EQ(Names(entries), std::vector<std::string>{"Wide=A; B; C; "});
  // No treatment: nothing, whatever is listed.
  entries = Detected("PkNone", [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().PKChangedTreatment = pctNone;
    producer.UpdaterDirectives().PrimaryKeysChanged = {"Items"};
  });
  EXPECT_EQ(Names(entries), std::vector<std::string>{});
}

TEST(CheckDbPkChanges, AccessKeysOfOneNameStayWithTheirTables) {
  // Regression: every Access key is named PrimaryKey, and the key columns were gathered by name
  // alone, so a table got the columns of every table's key.
  const std::string master = round_trip::CreateDatabase(
      Server::Access, "PkAccM",
      {"CREATE TABLE A (x integer NOT NULL PRIMARY KEY)",
       "CREATE TABLE B (y integer NOT NULL, z integer NOT NULL, CONSTRAINT PrimaryKey PRIMARY KEY (y, z))"});
  const std::string client = round_trip::CreateDatabase(
      Server::Access, "PkAccC",
      {"CREATE TABLE A (x integer NOT NULL PRIMARY KEY)",
       "CREATE TABLE B (y integer NOT NULL, z integer NOT NULL, CONSTRAINT PrimaryKey PRIMARY KEY (y))"});
  const std::string folder = round_trip::NewFolder("PkAcc");
  round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().PKChangedTreatment = pctList;
  });
  auto updater = check_db_test::ConnectedUpdater(client, folder);
  ASSERT_TRUE(updater->dm()->CheckDb(true));
  const TOwnedStringList<TPkTablesChange>& list = TdmStateProbe(*updater->dm()).PkTablesChange();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Name(0), "B=y; ");
  EXPECT_EQ(list.Object(0).MasterKeyColumns, (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(list.Object(0).RemovedKeyColumns, std::vector<std::string>{});
}

TEST(CheckDbPkChanges, AdaptiveServerAnywhereKeysAreFoundByTheirTables) {
  const std::string master = round_trip::CreateDatabase(
      Server::Asa, "PkAsaM",
      {"CREATE TABLE Wide (A integer NOT NULL, B integer NOT NULL, C integer NOT NULL, PRIMARY KEY (A, B))",
       "CREATE TABLE Same (A integer NOT NULL PRIMARY KEY)"});
  const std::string client = round_trip::CreateDatabase(
      Server::Asa, "PkAsaC",
      {"CREATE TABLE Wide (A integer NOT NULL, B integer NOT NULL, C integer NOT NULL, PRIMARY KEY (A, C))",
       "CREATE TABLE Same (A integer NOT NULL PRIMARY KEY)"});
  const std::string folder = round_trip::NewFolder("PkAsa");
  round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().PKChangedTreatment = pctList;
  });
  auto updater = check_db_test::ConnectedUpdater(client, folder);
  ASSERT_TRUE(updater->dm()->CheckDb(true));
  const TOwnedStringList<TPkTablesChange>& list = TdmStateProbe(*updater->dm()).PkTablesChange();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Name(0), "Wide=A; C; ");
  EXPECT_EQ(list.Object(0).MasterKeyColumns, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(list.Object(0).RemovedKeyColumns, std::vector<std::string>{"C"});
  EXPECT_EQ(list.Object(0).ClientSchema, "DBA");
}
