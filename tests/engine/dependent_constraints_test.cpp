// Removal of dependent constraints on the embedded servers: the drops queued before a column is
// altered or a table dropped, in their order and once each, and the server then accepting the
// change it refused before.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

// An updater connected to `client` with the client's catalogue loaded and an empty instruction
// list, as the check has them when its phases run.
class Engine {
 public:
  explicit Engine(const std::string& client) {
    updater_.DirSchemas = round_trip::NewFolder("dependent-schemas");
    updater_.DirSql = updater_.DirSchemas;
    updater_.SetConnectionString(client);
    EXPECT_TRUE(updater_.Initialize());
    updater_.SetConnected(true);
    dm().RestartInstructionList();
    dm().LoadClientSchema();
  }
  Tdm& dm() { return *updater_.dm(); }
  // The instructions queued so far, in order.
  std::vector<std::string> Queued() {
    std::vector<std::string> texts;
    for (dm().qInstructions.First(); !dm().qInstructions.Eof(); dm().qInstructions.Next()) {
      texts.push_back(dm().qInstructions.FieldByName("instruction").AsString());
    }
    return texts;
  }

 private:
  TOrvDbSchemaUpdater updater_;
};

// Runs the statements on the database in one transaction; returns the first refusal ("" when
// every statement ran).
std::string RunAll(const std::string& database, const std::vector<std::string>& statements) {
  ado::TConnection connection(database);
  connection.Open();
  connection.BeginTrans();
  for (const std::string& sql : statements) {
    try {
      connection.Execute(sql);
    } catch (const std::exception& e) {
      connection.RollbackTrans();
      return sql + ": " + e.what();
    }
  }
  connection.CommitTrans();
  return {};
}

// Whether the server refuses the statement (tried in a transaction that is rolled back).
bool Refused(const std::string& database, const std::string& sql) {
  ado::TConnection connection(database);
  connection.Open();
  connection.BeginTrans();
  bool refused = false;
  try {
    connection.Execute(sql);
  } catch (const std::exception&) {
    refused = true;
  }
  connection.RollbackTrans();
  return refused;
}

struct Case {
  Server server;
  std::vector<std::string> script;
  std::string owner;            // the prefix the statements address the tables with
  std::string dropPrimaryKey;   // the key's drop clause after the table
  std::string alterColumn;      // a change of P.a the server refuses while the key holds
  std::string dropColumn;       // the drop of P.b, refused while the key holds
  std::vector<std::string> tableDrops;  // the drops before DROP TABLE P, after the foreign keys
};

const Case kCases[] = {
    {Server::SqlServer,
     {"CREATE TABLE P (a int NOT NULL, b int NOT NULL, c int NULL, d int NULL CONSTRAINT DF_P_d DEFAULT 5, "
      "CONSTRAINT PK_P PRIMARY KEY (a, b), CONSTRAINT UQ_P UNIQUE (c))",
      "CREATE TABLE C1 (id int NOT NULL PRIMARY KEY, a int NULL, b int NULL, "
      "CONSTRAINT FK_C1 FOREIGN KEY (a, b) REFERENCES P (a, b))",
      "CREATE TABLE C2 (id int NOT NULL PRIMARY KEY, a int NULL, b int NULL, "
      "CONSTRAINT FK_C2 FOREIGN KEY (a, b) REFERENCES P (a, b))",
      "INSERT INTO P VALUES (1, 1, 1, 1)", "INSERT INTO C1 VALUES (1, 1, 1)"},
     "dbo.",
     " DROP CONSTRAINT PK_P",
     "ALTER TABLE P ALTER COLUMN a bigint NOT NULL", "ALTER TABLE P DROP COLUMN b",
     {"ALTER TABLE dbo.P DROP CONSTRAINT PK_P", "ALTER TABLE dbo.P DROP CONSTRAINT UQ_P",
      "ALTER TABLE dbo.P DROP CONSTRAINT DF_P_d"}},
    {Server::Asa,
     // The server's unique constraints take no column that allows NULL.
     {"CREATE TABLE P (a integer NOT NULL, b integer NOT NULL, c integer NOT NULL, d integer NULL DEFAULT 5, "
      "PRIMARY KEY (a, b), CONSTRAINT UQ_P UNIQUE (c))",
      "CREATE TABLE C1 (id integer NOT NULL PRIMARY KEY, a integer NULL, b integer NULL, "
      "CONSTRAINT FK_C1 FOREIGN KEY (a, b) REFERENCES P (a, b))",
      "CREATE TABLE C2 (id integer NOT NULL PRIMARY KEY, a integer NULL, b integer NULL, "
      "CONSTRAINT FK_C2 FOREIGN KEY (a, b) REFERENCES P (a, b))",
      "INSERT INTO P VALUES (1, 1, 1, 1)", "INSERT INTO C1 VALUES (1, 1, 1)"},
     "DBA.",
     " DROP PRIMARY KEY ",
     "ALTER TABLE P MODIFY a bigint NOT NULL", "ALTER TABLE P DROP b",
     {"ALTER TABLE DBA.P DROP PRIMARY KEY ", "ALTER TABLE DBA.P DROP CONSTRAINT UQ_P"}},
    {Server::Access,
     {"CREATE TABLE P (a integer NOT NULL, b integer NOT NULL, c integer NULL, d integer NULL, "
      "CONSTRAINT PrimaryKey PRIMARY KEY (a, b), CONSTRAINT UQ_P UNIQUE (c))",
      "CREATE TABLE C1 (id integer NOT NULL PRIMARY KEY, a integer NULL, b integer NULL, "
      "CONSTRAINT FK_C1 FOREIGN KEY (a, b) REFERENCES P (a, b))",
      "CREATE TABLE C2 (id integer NOT NULL PRIMARY KEY, a integer NULL, b integer NULL, "
      "CONSTRAINT FK_C2 FOREIGN KEY (a, b) REFERENCES P (a, b))",
      "INSERT INTO P VALUES (1, 1, 1, 1)", "INSERT INTO C1 VALUES (1, 1, 1)"},
     "",
     " DROP CONSTRAINT PrimaryKey",
     "ALTER TABLE P ALTER COLUMN a double NOT NULL", "ALTER TABLE P DROP COLUMN b",
     {"ALTER TABLE P DROP CONSTRAINT PrimaryKey", "ALTER TABLE P DROP CONSTRAINT UQ_P"}},
};

}  // namespace

TEST(DependentConstraints, AColumnOfAReferencedKeyLosesTheReferencesThenTheKey) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(round_trip::ServerName(c.server));
    const std::string client =
        round_trip::CreateDatabase(c.server, std::string("DepColumn") + round_trip::ServerName(c.server), c.script);
    EXPECT_TRUE(Refused(client, c.alterColumn)) << "the server must refuse the change while the key holds";
    EXPECT_TRUE(Refused(client, c.dropColumn));
    Engine engine(client);
    engine.dm().DropDependentConstraintsOf("", "P", "", "a", "P");
    // A second column of the same key queues nothing more: each constraint is dropped once.
    engine.dm().DropDependentConstraintsOf("", "P", "", "b", "P");
    const std::vector<std::string> expected = {
        "ALTER TABLE " + c.owner + "C1 DROP CONSTRAINT FK_C1",
        "ALTER TABLE " + c.owner + "C2 DROP CONSTRAINT FK_C2",
        "ALTER TABLE " + c.owner + "P" + c.dropPrimaryKey,
    };
    std::vector<std::string> queued = engine.Queued();
    EXPECT_EQ(queued, expected);
    EXPECT_TRUE(engine.dm().IsConstraintDropped("C1", "FK_C1"));
    EXPECT_TRUE(engine.dm().IsConstraintDropped("p", "pk_p") || c.server != Server::SqlServer);
    queued.push_back(c.alterColumn);
    queued.push_back(c.dropColumn);
    EXPECT_EQ(RunAll(client, queued), "");
  }
}

TEST(DependentConstraints, ATableLosesEveryDependantAndCanBeDropped) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(round_trip::ServerName(c.server));
    const std::string client =
        round_trip::CreateDatabase(c.server, std::string("DepTable") + round_trip::ServerName(c.server), c.script);
    EXPECT_TRUE(Refused(client, "DROP TABLE P")) << "the server must keep a referenced table";
    Engine engine(client);
    // A column the unique constraint does not cover keeps it.
    engine.dm().DropUniqueConstraintsOf("", "P", "d", "P");
    EXPECT_EQ(engine.Queued(), std::vector<std::string>{});
    engine.dm().DropDependentConstraints("", "P", "", "P");
    std::vector<std::string> expected = {"ALTER TABLE " + c.owner + "C1 DROP CONSTRAINT FK_C1",
                                         "ALTER TABLE " + c.owner + "C2 DROP CONSTRAINT FK_C2"};
    expected.insert(expected.end(), c.tableDrops.begin(), c.tableDrops.end());
    std::vector<std::string> queued = engine.Queued();
    EXPECT_EQ(queued, expected);
    queued.push_back("DROP TABLE P");
    EXPECT_EQ(RunAll(client, queued), "");
  }
}

TEST(DependentConstraints, TheRegistryKeepsTableAndNameApart) {
  // Regression: "A_B" + "_" + "C" and "A" + "_" + "B_C" were one entry, so one drop hid the other.
  Tdm dm;
  EXPECT_FALSE(dm.IsConstraintDropped("A_B", "C"));
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "DepRegistry",
      {"CREATE TABLE A (id int NOT NULL, CONSTRAINT B_C PRIMARY KEY (id))",
       "CREATE TABLE A_B (id int NOT NULL, CONSTRAINT C PRIMARY KEY (id))"});
  Engine engine(client);
  engine.dm().DropPrimaryKeyOf("", "A_B", "", "A_B");
  engine.dm().DropPrimaryKeyOf("", "A", "", "A");
  EXPECT_EQ(engine.Queued(), (std::vector<std::string>{"ALTER TABLE dbo.A_B DROP CONSTRAINT C",
                                                        "ALTER TABLE dbo.A DROP CONSTRAINT B_C"}));
  EXPECT_TRUE(engine.dm().IsConstraintDropped("A", "B_C"));
  engine.dm().ForgetDroppedConstraint("A", "B_C");
  EXPECT_FALSE(engine.dm().IsConstraintDropped("A", "B_C"));
  EXPECT_TRUE(engine.dm().IsConstraintDropped("A_B", "C"));
}

TEST(DependentConstraints, ACheckWidensAReferencedKeyColumnAndTheListRuns) {
  struct Widen {
    Server server;
    std::vector<std::string> master, client;
  };
  const Widen cases[] = {
      {Server::SqlServer,
       {"CREATE TABLE P (a bigint NOT NULL, CONSTRAINT PK_P PRIMARY KEY (a))",
        "CREATE TABLE C1 (id int NOT NULL PRIMARY KEY, a bigint NULL CONSTRAINT FK_C1 REFERENCES P (a))",
        "CREATE TABLE C2 (id int NOT NULL PRIMARY KEY, a bigint NULL CONSTRAINT FK_C2 REFERENCES P (a))"},
       {"CREATE TABLE P (a int NOT NULL, CONSTRAINT PK_P PRIMARY KEY (a))",
        "CREATE TABLE C1 (id int NOT NULL PRIMARY KEY, a int NULL CONSTRAINT FK_C1 REFERENCES P (a))",
        "CREATE TABLE C2 (id int NOT NULL PRIMARY KEY, a int NULL CONSTRAINT FK_C2 REFERENCES P (a))",
        "INSERT INTO P VALUES (1)", "INSERT INTO C1 VALUES (1, 1)"}},
      {Server::Asa,
       {"CREATE TABLE P (a bigint NOT NULL PRIMARY KEY)",
        "CREATE TABLE C1 (id integer NOT NULL PRIMARY KEY, a bigint NULL, CONSTRAINT FK_C1 FOREIGN KEY (a) REFERENCES P (a))",
        "CREATE TABLE C2 (id integer NOT NULL PRIMARY KEY, a bigint NULL, CONSTRAINT FK_C2 FOREIGN KEY (a) REFERENCES P (a))"},
       {"CREATE TABLE P (a integer NOT NULL PRIMARY KEY)",
        "CREATE TABLE C1 (id integer NOT NULL PRIMARY KEY, a integer NULL, CONSTRAINT FK_C1 FOREIGN KEY (a) REFERENCES P (a))",
        "CREATE TABLE C2 (id integer NOT NULL PRIMARY KEY, a integer NULL, CONSTRAINT FK_C2 FOREIGN KEY (a) REFERENCES P (a))",
        "INSERT INTO P VALUES (1)", "INSERT INTO C1 VALUES (1, 1)"}},
  };
  for (const Widen& c : cases) {
    SCOPED_TRACE(round_trip::ServerName(c.server));
    const std::string name = std::string("DepWiden") + round_trip::ServerName(c.server);
    const std::string master = round_trip::CreateDatabase(c.server, name + "M", c.master);
    const std::string client = round_trip::CreateDatabase(c.server, name + "C", c.client);
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(master, folder);
    const round_trip::CheckResult result = round_trip::Check(client, folder);
    EXPECT_TRUE(result.ok);
    const std::vector<std::string> texts = round_trip::Texts(result.instructions);
    for (const char* key : {"FK_C1", "FK_C2"}) {
      EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                              [&](const std::string& t) { return t.find("DROP CONSTRAINT " + std::string(key)) != std::string::npos; }),
                1)
          << key << " is dropped once: " << testing::PrintToString(texts);
    }
    // The whole list runs: the foreign keys come back after the key they reference.
    round_trip::Execute(client, folder);
    EXPECT_EQ(round_trip::Rows(client, "SELECT a FROM C1"), std::vector<std::string>{"1"});
  }
}
