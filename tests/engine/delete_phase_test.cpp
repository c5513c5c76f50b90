// The delete phase for tables and fields on the embedded servers: surplus client tables and
// fields dropped in undo-delete blocks as far as the delete policy allows, every row of the kept
// tables kept, and a second check finding nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "RoundTrip.h"

namespace {

using round_trip::Server;

struct ServerCase {
  Server server;
  std::vector<std::string> master;
  std::vector<std::string> client;
  std::vector<std::string> expected;  // the first check's instructions
  std::vector<std::string> blocks;
};

const char* kInsertT = "INSERT INTO T (id, s, a, b, KEEP_c) VALUES (1, 'one', 2, 3, 4)";
const char* kInsertX = "INSERT INTO X (id, v, yid) VALUES (1, 5, 5)";
const char* kInsertY = "INSERT INTO Y (id) VALUES (5)";

const ServerCase kServerCases[] = {
    {Server::SqlServer,
     {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (20) NULL)"},
     {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (20) NULL, a int NULL, "
      "b int NULL CONSTRAINT CK_b CHECK (b > 0), KEEP_c int NULL, d int NULL CONSTRAINT DF_d DEFAULT 0, "
      "u int NULL, CONSTRAINT UQ_u UNIQUE (u))",
      "CREATE INDEX IX_a ON T (a)", kInsertT, "CREATE TABLE Y (id int NOT NULL CONSTRAINT PK_Y PRIMARY KEY)", kInsertY,
      "CREATE TABLE X (id int NOT NULL CONSTRAINT PK_X PRIMARY KEY, v int NULL, yid int NULL, "
      "CONSTRAINT FK_XY FOREIGN KEY (yid) REFERENCES Y (id))",
      "CREATE INDEX IX_v ON X (v)", kInsertX, "CREATE TRIGGER TR_X ON X FOR INSERT AS SELECT 1",
      "CREATE TABLE Keep_Y (id int NULL)", "CREATE VIEW VX AS SELECT id FROM T"},
     {"DROP INDEX dbo.T.IX_a", "ALTER TABLE dbo.T DROP COLUMN a", "ALTER TABLE dbo.T DROP CONSTRAINT CK_b",
      "ALTER TABLE dbo.T DROP COLUMN b", "ALTER TABLE dbo.T DROP CONSTRAINT DF_d", "ALTER TABLE dbo.T DROP COLUMN d",
      "ALTER TABLE dbo.T DROP CONSTRAINT UQ_u", "ALTER TABLE dbo.T DROP COLUMN u",
      "ALTER TABLE dbo.X DROP CONSTRAINT FK_XY", "ALTER TABLE dbo.Y DROP CONSTRAINT PK_Y", "DROP TABLE dbo.Y",
      "ALTER TABLE dbo.X DROP CONSTRAINT PK_X", "DROP TABLE dbo.X"},
     {"T.a|ikDropField", "T.b|ikDropField", "T.d|ikDropField", "T.u|ikDropField", "Y|ikDropTable", "X|ikDropTable"}},
    {Server::Asa,
     {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)"},
     {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL, a integer NULL, b integer NULL, "
      "KEEP_c integer NULL, d integer NULL DEFAULT 0)",
      "CREATE INDEX IX_a ON T (a)", kInsertT, "CREATE TABLE Y (id integer NOT NULL PRIMARY KEY)", kInsertY,
      "CREATE TABLE X (id integer NOT NULL PRIMARY KEY, v integer NULL, yid integer NULL, "
      "CONSTRAINT FK_XY FOREIGN KEY (yid) REFERENCES Y (id))",
      "CREATE INDEX IX_v ON X (v)", kInsertX, "CREATE TABLE Keep_Y (id integer NULL)",
      "CREATE GLOBAL TEMPORARY TABLE G (id integer NULL)", "CREATE VIEW VX AS SELECT id FROM T"},
     {"DROP INDEX DBA.T.IX_a", "ALTER TABLE DBA.T DROP a", "ALTER TABLE DBA.T DROP b", "ALTER TABLE DBA.T DROP d",
      "ALTER TABLE DBA.X DROP CONSTRAINT FK_XY", "ALTER TABLE DBA.Y DROP PRIMARY KEY ", "DROP TABLE DBA.Y",
      "ALTER TABLE DBA.X DROP PRIMARY KEY ", "DROP TABLE DBA.X"},
     {"T.a|ikDropField", "T.b|ikDropField", "T.d|ikDropField", "Y|ikDropTable", "X|ikDropTable"}},
    {Server::Access,
     {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)"},
     {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL, a integer NULL, b integer NULL, "
      "KEEP_c integer NULL, d integer NULL DEFAULT 0, u integer NULL, CONSTRAINT UQ_u UNIQUE (u))",
      "CREATE INDEX IX_a ON T (a)", kInsertT, "CREATE TABLE Y (id integer NOT NULL PRIMARY KEY)", kInsertY,
      "CREATE TABLE X (id integer NOT NULL PRIMARY KEY, v integer NULL, yid integer NULL, "
      "CONSTRAINT FK_XY FOREIGN KEY (yid) REFERENCES Y (id))",
      "CREATE INDEX IX_v ON X (v)", kInsertX, "CREATE TABLE Keep_Y (id integer NULL)"},
     {"DROP INDEX IX_a ON T", "ALTER TABLE T DROP COLUMN a", "ALTER TABLE T DROP COLUMN b",
      "ALTER TABLE T DROP COLUMN d", "ALTER TABLE T DROP CONSTRAINT UQ_u", "ALTER TABLE T DROP COLUMN u",
      "ALTER TABLE X DROP CONSTRAINT PrimaryKey", "ALTER TABLE X DROP CONSTRAINT FK_XY", "DROP TABLE X",
      "ALTER TABLE Y DROP CONSTRAINT PrimaryKey", "DROP TABLE Y"},
     {"T.a|ikDropField", "T.b|ikDropField", "T.d|ikDropField", "T.u|ikDropField", "X|ikDropTable", "Y|ikDropTable"}},
};

// The updater's own policy allows every deletion: each case says what it allows.
void NothingAllowed(TOrvDbSchemaUpdater& updater) {
  TDeletePolicy& policy = updater.UpdaterDirectives().DeletePolicy;
  policy.DeleteTables = policy.DeleteFields = policy.DeleteIndexes = beNo;
  policy.DeleteViews = policy.DeleteProcedures = beNo;
}

void TablesAndFields(TOrvDbSchemaUpdater& updater) {
  NothingAllowed(updater);
  updater.UpdaterDirectives().DeletePolicy.DeleteTables = beYes;
  updater.UpdaterDirectives().DeletePolicy.DeleteFields = beYes;
  updater.UpdaterDirectives().DeletePolicy.PrefixesList = {"keep_"};
}

}  // namespace

TEST(DeletePhase, SurplusTablesAndFieldsAreDroppedAndKeptRowsStay) {
  for (const ServerCase& c : kServerCases) {
    SCOPED_TRACE(round_trip::ServerName(c.server));
    const std::string name = std::string("Del") + round_trip::ServerName(c.server);
    const std::string master = round_trip::CreateDatabase(c.server, name + "M", c.master);
    const std::string client = round_trip::CreateDatabase(c.server, name + "C", c.client);
    const round_trip::CheckResult first =
        round_trip::RoundTrip(master, client, round_trip::NewFolder(name), {}, TablesAndFields);
    EXPECT_EQ(round_trip::Texts(first.instructions), c.expected);
    EXPECT_EQ(first.blocks, c.blocks);
    for (const round_trip::Instruction& instruction : first.instructions) {
      EXPECT_NE(instruction.block, 0) << instruction.sql << " outside any block";
    }
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, s, KEEP_c FROM T"), std::vector<std::string>{"1|one|4"});
  }
}

TEST(DeletePhase, PolicyPrefixesRenamesAndCreationDecide) {
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "DelPolicyM",
      {"CREATE TABLE T (id int NULL)", "CREATE TABLE Renamed (id int NULL)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "DelPolicyC",
      {"CREATE TABLE T (id int NULL, a int NULL, Prot_c int NULL)", "CREATE TABLE Old (id int NULL, z int NULL)",
       "CREATE TABLE X (id int NULL, w int NULL)", "CREATE TABLE Prot_X (id int NULL)"});
  const std::string folder = round_trip::NewFolder("DelPolicy");
  // The producer renamed Old to Renamed and protects "PROT_".
  round_trip::Produce(master, folder, [](TOrvDbSchemaProducer& producer) {
    producer.SetRenamedTables({"Old=Renamed"});
    producer.UpdaterDirectives().DeletePolicy.PrefixesList = {"PROT_"};
  });
  using SetUp = std::function<void(TOrvDbSchemaUpdater&)>;
  struct PolicyCase {
    const char* what;
    SetUp setUp;
    std::vector<std::string> expected;
  };
  const std::vector<PolicyCase> cases = {
      {"fields allowed, tables not: X stays, its fields unexamined",
       [](TOrvDbSchemaUpdater& u) { u.UpdaterDirectives().DeletePolicy.DeleteFields = beYes; },
       {"ALTER TABLE dbo.T DROP COLUMN a", "ALTER TABLE dbo.Renamed DROP COLUMN z"}},
      {"tables allowed, fields not",
       [](TOrvDbSchemaUpdater& u) { u.UpdaterDirectives().DeletePolicy.DeleteTables = beYes; },
       {"DROP TABLE dbo.X"}},
      {"Enabled yes allows all",
       [](TOrvDbSchemaUpdater& u) { u.UpdaterDirectives().DeletePolicy.Enabled = beYes; },
       {"ALTER TABLE dbo.T DROP COLUMN a", "ALTER TABLE dbo.Renamed DROP COLUMN z", "DROP TABLE dbo.X"}},
      {"Enabled no forbids both",
       [](TOrvDbSchemaUpdater& u) {
         u.UpdaterDirectives().DeletePolicy.Enabled = beNo;
         u.UpdaterDirectives().DeletePolicy.DeleteTables = beYes;
       },
       {}},
      {"the updater's prefixes add to the producer's",
       [](TOrvDbSchemaUpdater& u) {
         u.UpdaterDirectives().DeletePolicy.Enabled = beYes;
         u.UpdaterDirectives().DeletePolicy.PrefixesList = {"x"};
       },
       {"ALTER TABLE dbo.T DROP COLUMN a", "ALTER TABLE dbo.Renamed DROP COLUMN z"}},
      {"nothing after a database creation in this run",
       [](TOrvDbSchemaUpdater& u) {
         u.UpdaterDirectives().DeletePolicy.Enabled = beYes;
         u.DatabaseCreated = true;
       },
       {}},
  };
  for (const PolicyCase& c : cases) {
    SCOPED_TRACE(c.what);
    const round_trip::CheckResult result = round_trip::Check(client, folder, [&](TOrvDbSchemaUpdater& u) {
      NothingAllowed(u);
      c.setUp(u);
    });
    std::vector<std::string> drops;
    for (const std::string& text : round_trip::Texts(result.instructions)) {
      if (text.find("DROP") != std::string::npos) drops.push_back(text);
    }
    EXPECT_EQ(drops, c.expected);
  }
}

namespace {

// Marks the blocks of these objects cancelled in BlockUndoDelete.xml, as the delete window does.
void CancelBlocks(const std::string& folder, const std::vector<std::string>& objects) {
  ado::TDataSet blocks;
  blocks.LoadFromFile(folder + "/BlockUndoDelete.xml");
  for (blocks.First(); !blocks.Eof(); blocks.Next()) {
    for (const std::string& object : objects) {
      if (blocks.FieldByName("ObjectName").AsString() == object) {
        blocks.Edit();
        blocks.FieldByName("undoDelete").SetAsBoolean(true);
        blocks.Post();
      }
    }
  }
  blocks.SaveToFile(folder + "/BlockUndoDelete.xml", ado::pfXML);
}

struct ConsoleUpdater : TOrvDbSchemaUpdater {
  std::vector<std::string> lines;
  void WriteMessage(const std::string& aText) override {
    lines.push_back(aText);
    TOrvDbSchemaUpdater::WriteMessage(aText);
  }
};

struct CancelServer {
  Server server;
  std::string table;    // CREATE TABLE T ... with the surplus fields a, b, c
  std::string integer;  // the server's integer type
};

const CancelServer kCancelServers[] = {
    {Server::SqlServer, "CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar (20) NULL, a int NULL, b int NULL, c int NULL)",
     "int"},
    {Server::Asa, "CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL, a integer NULL, b integer NULL, "
                  "c integer NULL)",
     "integer"},
    {Server::Access, "CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL, a integer NULL, b integer NULL, "
                     "c integer NULL)",
     "integer"},
};

}  // namespace

TEST(DeletePhase, AnyMixOfCancelledBlocksRunsAndKeepsTheirObjectsWhole) {
  struct Mix {
    std::vector<std::string> cancelled;
    std::vector<std::string> proposedAgain;  // the blocks of the next check
  };
  // IX_ab over the surplus fields a and b is a drop both their deletions need; so is the foreign
  // key from the surplus table X to the surplus table W.
  const std::vector<Mix> mixes = {
      {{"T.a"}, {"T.a|ikDropField", "T.b|ikDropField"}},
      {{"T.b"}, {"T.a|ikDropField", "T.b|ikDropField"}},
      {{"T.c"}, {"T.c|ikDropField"}},
      {{"X"}, {"W|ikDropTable", "X|ikDropTable"}},
      {{"W"}, {"W|ikDropTable", "X|ikDropTable"}},
      {{"T.b", "T.c", "X"}, {"T.a|ikDropField", "T.b|ikDropField", "T.c|ikDropField", "W|ikDropTable", "X|ikDropTable"}},
  };
  for (const CancelServer& s : kCancelServers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const std::string name = std::string("Cancel") + round_trip::ServerName(s.server);
    const std::string master = round_trip::CreateDatabase(
        s.server, name + "M", {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, s varchar(20) NULL)"});
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(master, folder);
    // Each block alone on one server; the shared drop and a mix on every server.
    const std::vector<size_t> run =
        s.server == Server::SqlServer ? std::vector<size_t>{0, 1, 2, 3, 4, 5} : std::vector<size_t>{1, 4, 5};
    for (size_t m : run) {
      SCOPED_TRACE("mix " + std::to_string(m));
      const std::string client = round_trip::CreateDatabase(
          s.server, name + "C" + std::to_string(m),
          {s.table, "CREATE INDEX IX_ab ON T (a, b)", "INSERT INTO T (id, s, a, b, c) VALUES (1, 'one', 2, 3, 4)",
           "CREATE TABLE W (id " + s.integer + " NOT NULL PRIMARY KEY)", "INSERT INTO W (id) VALUES (5)",
           "CREATE TABLE X (id " + s.integer + " NOT NULL PRIMARY KEY, pid " + s.integer +
               " NULL, CONSTRAINT FK_XW FOREIGN KEY (pid) REFERENCES W (id))",
           "INSERT INTO X (id, pid) VALUES (7, 5)"});
      const round_trip::CheckResult first = round_trip::Check(client, folder, TablesAndFields);
      ASSERT_EQ(first.blocks, (std::vector<std::string>{"T.a|ikDropField", "T.b|ikDropField", "T.c|ikDropField",
                                                        "W|ikDropTable", "X|ikDropTable"}));
      CancelBlocks(folder, mixes[m].cancelled);
      EXPECT_EQ(round_trip::Update(client, folder), std::vector<std::string>{});
      EXPECT_EQ(round_trip::Rows(client, "SELECT id, s FROM T"), std::vector<std::string>{"1|one"});
      const round_trip::CheckResult next = round_trip::Check(client, folder, TablesAndFields);
      EXPECT_EQ(next.blocks, mixes[m].proposedAgain);
      if (!mixes[m].proposedAgain.empty() && mixes[m].proposedAgain.back() == "X|ikDropTable") {
        EXPECT_EQ(round_trip::Rows(client, "SELECT id, pid FROM X"), std::vector<std::string>{"7|5"});
      }
    }
  }
}

TEST(DeletePhase, ABlockSkippedForASharedDropSaysWhy) {
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "SharedM",
                                                        {"CREATE TABLE T (id int NULL)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "SharedC", {"CREATE TABLE T (id int NULL, a int NULL, b int NULL)", "CREATE INDEX IX_ab ON T (a, b)"});
  const std::string folder = round_trip::NewFolder("Shared");
  round_trip::Produce(master, folder);
  round_trip::Check(client, folder, TablesAndFields);
  CancelBlocks(folder, {"T.b"});
  ConsoleUpdater updater;
  updater.DirSql = folder;
  ASSERT_TRUE(updater.Initialize());
  updater.dm()->LoadBlockUndoDeleteFile();
  ado::TDataSet blocks;
  blocks.LoadFromFile(folder + "/BlockUndoDelete.xml");
  blocks.First();
  const int first = static_cast<int>(blocks.FieldByName("id").AsInteger());
  EXPECT_TRUE(updater.dm()->IsUndoDelete(first));
  EXPECT_TRUE(updater.dm()->IsUndoDelete(first));
  EXPECT_TRUE(updater.dm()->IsUndoDelete(first + 1));
  std::vector<std::string> why;
  for (const std::string& line : updater.lines) {
    if (line.find("shares a drop") != std::string::npos) why.push_back(line);
  }
  EXPECT_EQ(why, std::vector<std::string>{"Deletion of T.a (block " + std::to_string(first) +
                                          ") kept: it shares a drop with the cancelled deletion of T.b (block " +
                                          std::to_string(first + 1) + ")"});
}

// Regression: a key a field's block dropped was created again outside that block, so cancelling
// the deletion got the new key refused over the old one.
TEST(DeletePhase, AKeyDroppedInAFieldsBlockComesBackInThatBlock) {
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "RecreateM", {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, g int NULL, CONSTRAINT UQ_T UNIQUE (g))"});
  const std::string folder = round_trip::NewFolder("Recreate");
  round_trip::Produce(master, folder);
  for (const bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "cancelled" : "run");
    const std::string client = round_trip::CreateDatabase(
        Server::SqlServer, std::string("RecreateC") + (cancel ? "1" : "2"),
        {"CREATE TABLE T (id int NOT NULL PRIMARY KEY, f int NULL, g int NULL, CONSTRAINT UQ_T UNIQUE (f, g))",
         "INSERT INTO T VALUES (1, 2, 3)"});
    const round_trip::CheckResult first = round_trip::Check(client, folder, TablesAndFields);
    ASSERT_EQ(first.blocks, std::vector<std::string>{"T.f|ikDropField"});
    if (cancel) CancelBlocks(folder, {"T.f"});
    EXPECT_EQ(round_trip::Update(client, folder), std::vector<std::string>{});
    EXPECT_EQ(round_trip::Rows(client, "SELECT id, g FROM T"), std::vector<std::string>{"1|3"});
    const round_trip::CheckResult next = round_trip::Check(client, folder, TablesAndFields);
    EXPECT_EQ(next.blocks, cancel ? std::vector<std::string>{"T.f|ikDropField"} : std::vector<std::string>{});
    EXPECT_EQ(round_trip::Texts(next.instructions).empty(), !cancel);
  }
}
