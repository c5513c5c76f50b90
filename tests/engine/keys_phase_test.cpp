// The keys and indexes phase on the three embedded servers: primary keys, unique constraints,
// unique indexes that are not constraints and plain indexes created when missing, rebuilt when
// changed and dropped when surplus as the delete policy allows; a round trip ends with a check
// that finds nothing more to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RoundTrip.h"
#include "UpdateDbSupport.h"
#include "common/Text.h"

namespace {

using round_trip::Server;
using Texts = std::vector<std::string>;

constexpr Server kServers[] = {Server::SqlServer, Server::Asa, Server::Access};

// Set once the CheckDb driver's index definition comparison is in the engine: the cases of
// changed keys and indexes then run.
constexpr bool kIndexComparisonReady = true;

// a and c take unique constraints, which Adaptive Server Anywhere allows over NOT NULL columns only.
const char* kTable = "CREATE TABLE T (id integer NOT NULL, a integer NOT NULL, b varchar(20) NULL, c integer NOT NULL";

// "ObjectName Kind" of every undo-delete block of the last check.
Texts Blocks(const std::string& folder) {
  ado::TDataSet set;
  set.LoadFromFile(folder + "/BlockUndoDelete.xml");
  Texts blocks;
  for (set.First(); !set.Eof(); set.Next()) {
    blocks.push_back(set.FieldByName("ObjectName").AsString() + " " + set.FieldByName("Kind").AsString());
  }
  return blocks;
}

std::string Name(const char* test, Server server) { return std::string(test) + round_trip::ServerName(server); }

struct CaseRun {
  round_trip::CheckResult first;
  Texts blocks;  // of the first check
  std::string client;
};

// Master and client of one case on one server, then the round trip: extract, check, run, check
// again (which must find nothing to do).
CaseRun RoundTripOf(const char* test, Server server, const Texts& master, const Texts& client,
                const std::function<void(TOrvDbSchemaProducer&)>& produce = {},
                const std::function<void(TOrvDbSchemaUpdater&)>& check = {}) {
  const std::string name = Name(test, server);
  CaseRun run;
  const std::string m = round_trip::CreateDatabase(server, name + "M", master);
  run.client = round_trip::CreateDatabase(server, name + "C", client);
  const std::string folder = round_trip::NewFolder(name);
  round_trip::Produce(m, folder, produce);
  run.first = round_trip::Check(run.client, folder, check);
  EXPECT_TRUE(run.first.ok);
  run.blocks = Blocks(folder);
  round_trip::Execute(run.client, folder);
  const round_trip::CheckResult second = round_trip::Check(run.client, folder, check);
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(round_trip::Texts(second.instructions), Texts{}) << "the second check still finds work";
  return run;
}

}  // namespace

TEST(KeysPhase, MissingKeysAndIndexesAreCreatedWithEachServersText) {
  const Texts master = {std::string(kTable) + ", CONSTRAINT PK_T PRIMARY KEY (id), CONSTRAINT UQ_T UNIQUE (a))",
                        "CREATE UNIQUE INDEX UX_T ON T (b DESC)", "CREATE INDEX IX_T ON T (c, b DESC)"};
  const Texts client = {std::string(kTable) + ")", "INSERT INTO T VALUES (1, 1, 'x', 1)",
                        "INSERT INTO T VALUES (2, 2, 'y', 1)"};
  // Adaptive Server Anywhere names a primary key after its table; a new one is named PK_ + table.
  const std::pair<Server, Texts> expected[] = {
      {Server::SqlServer,
       {"CREATE  UNIQUE  NONCLUSTERED  INDEX UX_T ON dbo.T (b DESC)", "CREATE  INDEX IX_T ON dbo.T (c, b DESC)",
        "ALTER TABLE dbo.T ADD CONSTRAINT UQ_T UNIQUE  NONCLUSTERED  (a)",
        "ALTER TABLE dbo.T ADD CONSTRAINT PK_T PRIMARY KEY  CLUSTERED  (id)"}},
      {Server::Asa,
       {"CREATE  INDEX IX_T ON DBA.T (c, b DESC)", "CREATE  UNIQUE  NONCLUSTERED  INDEX UX_T ON DBA.T (b DESC)",
        "ALTER TABLE DBA.T ADD CONSTRAINT UQ_T UNIQUE  NONCLUSTERED  (a)",
        "ALTER TABLE DBA.T ADD CONSTRAINT PK_T PRIMARY KEY  NONCLUSTERED  (id)",
        "ALTER INDEX PRIMARY KEY ON DBA.T NONCLUSTERED"}},
      {Server::Access,
       {"CREATE UNIQUE INDEX UX_T ON T (b DESC)", "CREATE INDEX IX_T ON T (c, b DESC)",
        "ALTER TABLE T ADD CONSTRAINT UQ_T UNIQUE (a)", "ALTER TABLE T ADD CONSTRAINT PK_T PRIMARY KEY (id)"}},
  };
  for (const auto& [server, texts] : expected) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const CaseRun run = RoundTripOf("Missing", server, master, client);
    EXPECT_EQ(round_trip::Texts(run.first.instructions), texts);
    EXPECT_EQ(run.first.errors, Texts{});
  }
}

TEST(KeysPhase, SurplusKeysGoAsThePolicyAllowsEachInItsBlock) {
  const Texts master = {std::string(kTable) + ", KEEP_d integer NULL)", "CREATE TABLE KEEP_T (id integer NOT NULL)"};
  const Texts client = {std::string(kTable) + ", KEEP_d integer NULL, CONSTRAINT PK_T PRIMARY KEY (id), "
                                              "CONSTRAINT UQ_T UNIQUE (a))",
                        "CREATE INDEX IX_T ON T (c)", "CREATE INDEX KEEP_IX ON T (c)",
                        "CREATE INDEX IX_D ON T (c, KEEP_d)",
                        "CREATE TABLE KEEP_T (id integer NOT NULL PRIMARY KEY)", "CREATE INDEX IX_K ON KEEP_T (id)",
                        // A table the master lacks keeps its key and indexes while the table stays.
                        "CREATE TABLE X (id integer NOT NULL PRIMARY KEY, a integer NULL)", "CREATE INDEX IX_X ON X (a)"};
  const auto policy = [](bool indexes) {
    return [indexes](TOrvDbSchemaUpdater& updater) {
      updater.UpdaterDirectives().DeletePolicy.DeleteIndexes = indexes ? beYes : beNo;
      updater.UpdaterDirectives().DeletePolicy.DeleteTables = beNo;
      updater.UpdaterDirectives().DeletePolicy.PrefixesList = {"KEEP_"};
    };
  };
  // Per server: the table as statements name it, the client key's drop and an index's drop.
  const struct {
    Server server;
    std::string key, dropKey, dropIndex;
  } servers[] = {
      {Server::SqlServer, "T.PK_T", "ALTER TABLE dbo.T DROP CONSTRAINT PK_T", "DROP INDEX dbo.T.IX_T"},
      {Server::Asa, "T.T", "ALTER TABLE DBA.T DROP PRIMARY KEY ", "DROP INDEX DBA.T.IX_T"},
      {Server::Access, "T.PK_T", "ALTER TABLE T DROP CONSTRAINT PK_T", "DROP INDEX IX_T ON T"},
  };
  for (const auto& s : servers) {
    SCOPED_TRACE(round_trip::ServerName(s.server));
    const CaseRun pkOnly = RoundTripOf("SurplusPk", s.server, master, client, {}, policy(false));
    EXPECT_EQ(round_trip::Texts(pkOnly.first.instructions), Texts{s.dropKey});
    EXPECT_EQ(pkOnly.blocks, Texts{s.key + " ikDropConstraint"});
    // KEEP_IX, IX_D and IX_K stay: protected by their name, a column's or their table's.
    const CaseRun all = RoundTripOf("SurplusAll", s.server, master, client, {}, policy(true));
    const std::string table = s.dropKey.substr(0, s.dropKey.find(" DROP "));
    EXPECT_EQ(round_trip::Texts(all.first.instructions),
              (Texts{s.dropIndex, table + " DROP CONSTRAINT UQ_T", s.dropKey}));
    EXPECT_EQ(all.blocks, (Texts{"T.IX_T ikDropIndex", "T.UQ_T ikDropConstraint", s.key + " ikDropConstraint"}));
  }
}

TEST(KeysPhase, ADatabaseCreatedInThisRunGetsEveryKeyAndIndexUncompared) {
  const Texts master = {std::string(kTable) + ", CONSTRAINT PK_T PRIMARY KEY (id))", "CREATE INDEX IX_T ON T (c)"};
  const std::string m = round_trip::CreateDatabase(Server::SqlServer, "CreatedM", master);
  const std::string c = round_trip::CreateDatabase(Server::SqlServer, "CreatedC", {});
  const std::string folder = round_trip::NewFolder("Created");
  round_trip::Produce(m, folder);
  const round_trip::CheckResult check =
      round_trip::Check(c, folder, [](TOrvDbSchemaUpdater& updater) { updater.DatabaseCreated = true; });
  // After the tables phase's CREATE TABLE.
  const Texts texts = round_trip::Texts(check.instructions);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(Texts(texts.begin() + 1, texts.end()),
            (Texts{"CREATE  INDEX IX_T ON dbo.T (c)", "ALTER TABLE dbo.T ADD CONSTRAINT PK_T PRIMARY KEY  CLUSTERED  (id)"}));
  round_trip::Execute(c, folder);
  EXPECT_EQ(round_trip::Texts(round_trip::Check(c, folder).instructions), Texts{});
}

TEST(KeysPhase, SameNamedIndexesOfTwoTablesAreEachExamined) {
  // Regression: the handled names held no table, so the second table's index was never created.
  // Access names every unnamed primary key "PrimaryKey"; Adaptive Server Anywhere allows an index
  // name once per owner.
  const std::pair<Server, Texts> cases[] = {
      {Server::SqlServer, {"CREATE TABLE A (id integer NOT NULL, a integer NULL)", "CREATE INDEX IX ON A (a)",
                           "CREATE TABLE B (id integer NOT NULL, b integer NULL)", "CREATE INDEX IX ON B (b)"}},
      {Server::Access, {"CREATE TABLE A (id integer NOT NULL PRIMARY KEY, a integer NULL)", "CREATE INDEX IX ON A (a)",
                        "CREATE TABLE B (id integer NOT NULL PRIMARY KEY, b integer NULL)", "CREATE INDEX IX ON B (b)"}},
  };
  for (const auto& [server, master] : cases) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const CaseRun run = RoundTripOf("SameNames", server, master,
                                    {"CREATE TABLE A (id integer NOT NULL, a integer NULL)",
                                     "CREATE TABLE B (id integer NOT NULL, b integer NULL)"});
    EXPECT_EQ(run.first.instructions.size(), server == Server::Access ? 4u : 2u);
  }
}

TEST(KeysPhase, AClientKeyNamedByTheServerWithTheMastersColumnsStays) {
  for (Server server : kServers) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const CaseRun run = RoundTripOf("ServerNamed", server, {std::string(kTable) + ", CONSTRAINT PK_T PRIMARY KEY (id))"},
                                    {"CREATE TABLE T (id integer NOT NULL PRIMARY KEY, a integer NOT NULL, "
                                     "b varchar(20) NULL, c integer NOT NULL)"});
    EXPECT_EQ(round_trip::Texts(run.first.instructions), Texts{});
  }
}

TEST(KeysPhase, ACancelledBlockKeepsItsKeyOrIndexThroughTheUpdate) {
  for (Server server : kServers) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const std::string name = Name("Cancelled", server);
    const std::string master = round_trip::CreateDatabase(server, name + "M", {std::string(kTable) + ")"});
    const std::string client = round_trip::CreateDatabase(
        server, name + "C", {std::string(kTable) + ", CONSTRAINT UQ_T UNIQUE (a))", "CREATE INDEX IX_T ON T (c)"});
    const std::string folder = round_trip::NewFolder(name);
    round_trip::Produce(master, folder);
    const Texts drops = round_trip::Texts(round_trip::Check(client, folder).instructions);
    ASSERT_EQ(drops.size(), 2u);
    ado::TDataSet blocks;
    blocks.LoadFromFile(folder + "/BlockUndoDelete.xml");
    for (blocks.First(); !blocks.Eof(); blocks.Next()) {
      blocks.Edit();
      blocks.FieldByName("undoDelete").SetAsBoolean(true);
      blocks.Post();
    }
    blocks.SaveToFile(folder + "/BlockUndoDelete.xml");
    EXPECT_EQ(round_trip::Update(client, folder), Texts{});
    EXPECT_EQ(round_trip::Texts(round_trip::Check(client, folder).instructions), drops);
  }
}

TEST(KeysPhase, IndexesOfARebuiltTableOrDroppedBeforeAnAlterAreCreatedAgainWithoutADrop) {
  // Regression: the client rowset still lists them, so they counted as present and were lost.
  const Texts script = {"CREATE TABLE T (id integer NOT NULL, a integer NULL)", "CREATE INDEX IX_T ON T (a)",
                        "CREATE TABLE U (id integer NOT NULL, a integer NULL)", "CREATE INDEX IX_U ON U (a)",
                        "CREATE TABLE V (id integer NOT NULL, a integer NULL)", "CREATE INDEX IX_V ON V (a)"};
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "GoneM", script);
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "GoneC", script);
  const std::string folder = round_trip::NewFolder("Gone");
  round_trip::Produce(master, folder);

  TOrvDbSchemaProducer producer;
  Tdm dm;
  ASSERT_TRUE(dm.SetConnectionString(client, false));
  dm.SetConnected(true);
  dm.CurrentDialect()->SetMasterDbType(dbtSqlServer);
  dm.Producer = &producer;
  dm.RestartInstructionList();
  for (auto [set, kind] : {std::pair{&dm.qTables, "vsiTables"}, {&dm.qIndexes, "vsiIndexes"},
                           {&dm.qConstraints, "vsiTableConstraints"}, {&dm.qClusterIdxSrc, "vsiClusterIndexes"}}) {
    set->LoadFromFile(folder + "/" + kind + ".xml");
  }
  for (auto [set, kind] : {std::pair{&dm.qDestTables, vsiTables}, {&dm.qDestIndexes, vsiIndexes},
                           {&dm.qDestConstraints, vsiTableConstraints}}) {
    dm.OpenSchemaOf(kind, ado::Variant(), *set);
  }
  dm.DropTable("dbo", "T", "T");  // as a rebuild does, before the copy is renamed back
  dm.RecordDroppedIndex("U", "IX_U");
  ASSERT_TRUE(dm.UpdateIndexes());
  Texts texts;
  for (dm.qInstructions.First(); !dm.qInstructions.Eof(); dm.qInstructions.Next()) {
    texts.push_back(dm.qInstructions.FieldByName("instruction").AsString());
  }
  EXPECT_EQ(texts, (Texts{"DROP TABLE dbo.T", "CREATE  INDEX IX_T ON dbo.T (a)", "CREATE  INDEX IX_U ON dbo.U (a)"}));
}

TEST(KeysPhase, ChangedKeysAndIndexesAreDroppedAndCreatedAgain) {
  // Changes of columns, order, DESC and uniqueness; the client's rows stay.
  const Texts master = {std::string(kTable) + ", CONSTRAINT PK_T PRIMARY KEY (id DESC), CONSTRAINT UQ_T UNIQUE (a, c))",
                        "CREATE INDEX UX_T ON T (b)", "CREATE INDEX IX_T ON T (b, c)",
                        "CREATE UNIQUE INDEX IX_U ON T (c)"};
  const Texts client = {std::string(kTable) + ", CONSTRAINT PK_T PRIMARY KEY (id), CONSTRAINT UQ_T UNIQUE (a))",
                        "CREATE UNIQUE INDEX UX_T ON T (b DESC)", "CREATE INDEX IX_T ON T (c, b DESC)",
                        "CREATE INDEX IX_U ON T (c)", "INSERT INTO T VALUES (1, 1, 'x', 1)",
                        "INSERT INTO T VALUES (2, 2, 'y', 2)"};
  if (!kIndexComparisonReady) GTEST_SKIP() << "waits for the index definition comparison of the CheckDb driver";
  // Adaptive Server Anywhere and Access report a primary key's columns ascending.
  const std::pair<Server, Texts> expected[] = {
      {Server::SqlServer,
       {"DROP INDEX dbo.T.UX_T", "CREATE  INDEX UX_T ON dbo.T (b)", "DROP INDEX dbo.T.IX_T",
        "CREATE  INDEX IX_T ON dbo.T (b, c)", "DROP INDEX dbo.T.IX_U", "CREATE  UNIQUE  NONCLUSTERED  INDEX IX_U ON dbo.T (c)",
        "ALTER TABLE dbo.T DROP CONSTRAINT UQ_T", "ALTER TABLE dbo.T ADD CONSTRAINT UQ_T UNIQUE  NONCLUSTERED  (a, c)",
        "ALTER TABLE dbo.T DROP CONSTRAINT PK_T", "ALTER TABLE dbo.T ADD CONSTRAINT PK_T PRIMARY KEY  CLUSTERED  (id DESC)"}},
      {Server::Asa,
       {"DROP INDEX DBA.T.IX_T", "CREATE  INDEX IX_T ON DBA.T (b, c)", "DROP INDEX DBA.T.IX_U",
        "CREATE  UNIQUE  NONCLUSTERED  INDEX IX_U ON DBA.T (c)", "DROP INDEX DBA.T.UX_T", "CREATE  INDEX UX_T ON DBA.T (b)",
        "ALTER TABLE DBA.T DROP CONSTRAINT UQ_T", "ALTER TABLE DBA.T ADD CONSTRAINT UQ_T UNIQUE  NONCLUSTERED  (a, c)"}},
      {Server::Access,
       {"DROP INDEX UX_T ON T", "CREATE INDEX UX_T ON T (b)", "DROP INDEX IX_T ON T", "CREATE INDEX IX_T ON T (b, c)",
        "DROP INDEX IX_U ON T", "CREATE UNIQUE INDEX IX_U ON T (c)", "ALTER TABLE T DROP CONSTRAINT UQ_T",
        "ALTER TABLE T ADD CONSTRAINT UQ_T UNIQUE (a, c)"}},
  };
  for (const auto& [server, texts] : expected) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const CaseRun run = RoundTripOf("Changed", server, master, client);
    EXPECT_EQ(round_trip::Texts(run.first.instructions), texts);
    EXPECT_EQ(round_trip::Rows(run.client, "SELECT id, a, b, c FROM T ORDER BY id"), (Texts{"1|1|x|1", "2|2|y|2"}));
  }
}

TEST(KeysPhase, AChangedPrimaryKeyThatForeignKeysReferenceGoesAfterThem) {
  // Regression: the key was dropped directly and the server refused while a foreign key
  // referenced it.
  const auto script = [](const char* key) {
    return Texts{"CREATE TABLE T (id integer NOT NULL, CONSTRAINT PK_T PRIMARY KEY (" + std::string(key) + "))",
                 "CREATE TABLE C (cid integer NOT NULL, tid integer NULL, CONSTRAINT FK_C FOREIGN KEY (tid) "
                 "REFERENCES T (id))"};
  };
  Texts client = script("id");
  client.insert(client.end(), {"INSERT INTO T VALUES (1)", "INSERT INTO C VALUES (10, 1)"});
  const CaseRun run = RoundTripOf("PkReferenced", Server::SqlServer, script("id DESC"), client);
  const Texts texts = round_trip::Texts(run.first.instructions);
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(Texts(texts.begin(), texts.begin() + 3),
            (Texts{"ALTER TABLE dbo.C DROP CONSTRAINT FK_C", "ALTER TABLE dbo.T DROP CONSTRAINT PK_T",
                   "ALTER TABLE dbo.T ADD CONSTRAINT PK_T PRIMARY KEY  CLUSTERED  (id DESC)"}));
  EXPECT_EQ(round_trip::Rows(run.client, "SELECT cid, tid FROM C"), Texts{"10|1"});
}

namespace {

// The client's primary key of the table: its name and columns.
std::string PrimaryKeyOf(const std::string& client, const std::string& table) {
  ado::TConnection connection(client);
  connection.Open();
  ado::TDataSet set;
  set.SetConnection(&connection);
  connection.OpenSchema(ado::siPrimaryKeys, ado::Variant(), set);
  std::string key;
  for (set.First(); !set.Eof(); set.Next()) {
    if (!text::SameText(set.FieldByName("TABLE_NAME").AsString(), table)) continue;
    key += (key.empty() ? set.FieldByName("PK_NAME").AsString() + " " : ",") + set.FieldByName("COLUMN_NAME").AsString();
  }
  return key;
}

}  // namespace

// Regression: a key dropped for a column change and named otherwise than the master's never came back.
TEST(KeysPhase, AKeyDroppedForAColumnChangeUnderAnotherNameIsCreatedAgain) {
  const std::string sqlMaster = "CREATE TABLE t (id bigint NOT NULL, v varchar(10) NULL, CONSTRAINT PK_t PRIMARY KEY (id))";
  const std::string sqlClient = "CREATE TABLE t (id int NOT NULL, v varchar(10) NULL, CONSTRAINT t_key PRIMARY KEY (id))";
  // Adaptive Server Anywhere names a key after its table.
  const std::string asaMaster = "CREATE TABLE t (id bigint NOT NULL, v varchar(10) NULL, PRIMARY KEY (id))";
  const std::string asaClient = "CREATE TABLE t (id integer NOT NULL, v varchar(10) NULL, PRIMARY KEY (id))";
  const struct {
    const char* name;
    Server master, client;
    std::string masterScript, clientScript, key;
  } cases[] = {
      {"PkNameSql", Server::SqlServer, Server::SqlServer, sqlMaster, sqlClient, "PK_t id"},
      {"PkNameSqlAsa", Server::SqlServer, Server::Asa, sqlMaster, asaClient, "t id"},
      {"PkNameAsaSql", Server::Asa, Server::SqlServer, asaMaster, sqlClient, "PK_t id"},
      {"PkNameAsa", Server::Asa, Server::Asa, asaMaster, asaClient, "t id"},
      {"PkNameSqlAcc", Server::SqlServer, Server::Access,
       "CREATE TABLE t (id int NOT NULL, v varchar(10) NULL, CONSTRAINT PK_t PRIMARY KEY (id))",
       "CREATE TABLE t (id smallint NOT NULL, v varchar(10) NULL, CONSTRAINT t_key PRIMARY KEY (id))", "PK_t id"},
  };
  for (const auto& c : cases) {
    const std::string client =
        round_trip::RunRoad({c.name, c.master, c.client, {c.masterScript},
                             {c.clientScript, "INSERT INTO t VALUES (1, 'a')", "INSERT INTO t VALUES (2, NULL)"},
                             {}, "SELECT id, v FROM t ORDER BY id", {"1|a", "2|<null>"}});
    EXPECT_EQ(PrimaryKeyOf(client, "t"), c.key) << c.name;
  }
}

// Regression: a clustered index that is not unique was created nonclustered, and never settled.
TEST(KeysPhase, AClusteredIndexThatIsNotUniqueIsCreatedClustered) {
  const Texts table = {std::string(kTable) + ", CONSTRAINT PK_T PRIMARY KEY NONCLUSTERED (id))"};
  Texts master = table, client = table;
  master.push_back("CREATE CLUSTERED INDEX IX_T ON T (a, c)");
  client.insert(client.end(), {"INSERT INTO T VALUES (1, 2, 'x', 3)", "INSERT INTO T VALUES (2, 1, 'y', 1)"});
  for (const auto& [server, owner] : {std::pair{Server::SqlServer, "dbo."}, std::pair{Server::Asa, "DBA."}}) {
    SCOPED_TRACE(round_trip::ServerName(server));
    const CaseRun run = RoundTripOf("ClusteredIx", server, master, client);
    EXPECT_EQ(round_trip::Texts(run.first.instructions),
              Texts{"CREATE  CLUSTERED  INDEX IX_T ON " + std::string(owner) + "T (a, c)"});
    // The client's own extraction lists the index among its clustered ones.
    const std::string folder = round_trip::NewFolder(Name("ClusteredIxClient", server));
    round_trip::Produce(run.client, folder);
    ado::TDataSet clustered;
    clustered.LoadFromFile(folder + "/vsiClusterIndexes.xml");
    Texts names;
    for (clustered.First(); !clustered.Eof(); clustered.Next()) {
      names.push_back(clustered.FieldByName("table_name").AsString() + "." + clustered.FieldByName("index_name").AsString());
    }
    EXPECT_EQ(names, Texts{"T.IX_T"});
    EXPECT_EQ(round_trip::Rows(run.client, "SELECT id, a, b, c FROM T ORDER BY id"), (Texts{"1|2|x|3", "2|1|y|1"}));
  }
}
