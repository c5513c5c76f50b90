// Foreign keys on the three embedded servers and across them: a check adds the master's keys,
// re-creates changed ones, drops surplus ones and deletes the rows a new key refuses; run, the
// second check finds nothing to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "RoundTrip.h"
#include "common/Text.h"

namespace {

using round_trip::Server;

// How one server spells the scripts of the tests.
struct Spelling {
  Server server;
  std::string open, close;  // name quotes
};

const Spelling kSqlServer{Server::SqlServer, "[", "]"};
const Spelling kAsa{Server::Asa, "\"", "\""};
const Spelling kAccess{Server::Access, "[", "]"};

std::string Key(const Spelling& s, const std::string& table, const std::string& name, const std::string& columns,
                const std::string& parent, const std::string& parentColumns, const std::string& rules = {}) {
  return "ALTER TABLE " + table + " ADD CONSTRAINT " + s.open + name + s.close + " FOREIGN KEY (" + columns +
         ") REFERENCES " + parent + " (" + parentColumns + ")" + rules;
}

// The tables both sides share, with their keys.
std::vector<std::string> Tables(const std::string& int_) {
  return {"CREATE TABLE P (id " + int_ + " NOT NULL PRIMARY KEY, s varchar(10) NULL)",
          "CREATE TABLE P2 (a " + int_ + " NOT NULL, b " + int_ + " NOT NULL, CONSTRAINT PK_P2 PRIMARY KEY (a, b))",
          "CREATE TABLE C (id " + int_ + " NOT NULL PRIMARY KEY, pid " + int_ + " NULL, a " + int_ + " NULL, b " +
              int_ + " NULL)",
          "CREATE TABLE S (id " + int_ + " NOT NULL PRIMARY KEY, parent " + int_ + " NULL)",
          "CREATE TABLE Q (id " + int_ + " NOT NULL PRIMARY KEY, k " + int_ + " NULL)",
          "CREATE TABLE R (id " + int_ + " NOT NULL PRIMARY KEY, a " + int_ + " NULL, b " + int_ + " NULL)",
          "CREATE TABLE X (id " + int_ + " NOT NULL PRIMARY KEY, sid " + int_ + " NULL)"};
}

std::string IntType(const Spelling& s) { return s.server == Server::SqlServer ? "int" : "integer"; }

// The keys FK C P and FK_R cascade.
std::vector<std::string> MasterScript(const Spelling& s) {
  std::vector<std::string> script = Tables(IntType(s));
  script.push_back(Key(s, "C", "FK C P", "pid", "P", "id", " ON DELETE CASCADE"));
  script.push_back(Key(s, "C", "FK_C_P2", "a, b", "P2", "a, b"));
  script.push_back(Key(s, "Q", "FK_Q", "k", "P", "id"));
  script.push_back(Key(s, "R", "FK_R", "a", "P", "id", " ON UPDATE CASCADE ON DELETE CASCADE"));
  script.push_back(Key(s, "S", "FK_S_S", "parent", "S", "id"));
  return script;
}

// The client: no keys on C and S, FK_Q referencing another table, FK_R on two columns, a surplus
// FK_X_S; rows that the master's keys refuse.
std::vector<std::string> ClientScript(const Spelling& s) {
  std::vector<std::string> script = Tables(IntType(s));
  for (const char* row : {"INSERT INTO P VALUES (1, 'a')", "INSERT INTO P VALUES (2, 'b')", "INSERT INTO P2 VALUES (1, 1)",
                          "INSERT INTO P2 VALUES (1, 2)", "INSERT INTO S VALUES (1, NULL)", "INSERT INTO S VALUES (2, 1)",
                          "INSERT INTO S VALUES (3, 99)", "INSERT INTO S VALUES (4, 3)", "INSERT INTO S VALUES (5, 4)",
                          "INSERT INTO C VALUES (1, 1, 1, 1)", "INSERT INTO C VALUES (2, 9, 1, 1)",
                          "INSERT INTO C VALUES (3, NULL, 1, 2)", "INSERT INTO C VALUES (4, 1, 1, 9)",
                          "INSERT INTO C VALUES (5, 2, NULL, 9)", "INSERT INTO C VALUES (6, NULL, NULL, NULL)",
                          "INSERT INTO Q VALUES (1, 1)", "INSERT INTO R VALUES (1, 1, 1)", "INSERT INTO X VALUES (1, 1)"}) {
    script.push_back(row);
  }
  script.push_back(Key(s, "Q", "FK_Q", "k", "S", "id"));
  script.push_back(Key(s, "R", "FK_R", "a, b", "P2", "a, b"));
  script.push_back(Key(s, "X", "FK_X_S", "sid", "S", "id"));
  return script;
}

// The client's foreign keys as "table.name(columns)>parent rules", sorted.
std::vector<std::string> ClientKeys(const std::string& client) {
  ado::TConnection connection(client);
  connection.Open();
  ado::TDataSet set;
  set.SetConnection(&connection);
  connection.OpenSchema(ado::siForeignKeys, ado::Variant(), set);
  set.SetSort("FK_TABLE_NAME, FK_NAME, ORDINAL");
  std::vector<std::string> keys;
  std::string last;
  for (set.First(); !set.Eof(); set.Next()) {
    const std::string name = set.FieldByName("FK_TABLE_NAME").AsString() + "." + set.FieldByName("FK_NAME").AsString();
    if (name != last) keys.push_back(name + ">" + set.FieldByName("PK_TABLE_NAME").AsString() + " ");
    keys.back() += set.FieldByName("FK_COLUMN_NAME").AsString() + ",";
    last = name;
  }
  return keys;
}

// Extract, check, run, check again; returns the first check's statements.
std::vector<std::string> RoundTripKeys(const Spelling& master, const Spelling& client, const std::string& name) {
  SCOPED_TRACE(name);
  const std::string masterDb = round_trip::CreateDatabase(master.server, name + "M", MasterScript(master));
  const std::string clientDb = round_trip::CreateDatabase(client.server, name + "C", ClientScript(client));
  const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder(name));
  EXPECT_EQ(first.errors, std::vector<std::string>{});
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id FROM C ORDER BY id"),
            (std::vector<std::string>{"1", "3", "5", "6"}));
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id FROM S ORDER BY id"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id FROM Q"), std::vector<std::string>{"1"});
  EXPECT_EQ(ClientKeys(clientDb), (std::vector<std::string>{"C.FK C P>P pid,", "C.FK_C_P2>P2 a,b,", "Q.FK_Q>P k,",
                                                           "R.FK_R>P a,", "S.FK_S_S>S parent,"}));
  return round_trip::Texts(first.instructions);
}

// The first check's statements on a client of the server (P the owner prefix).
std::vector<std::string> Expected(const std::string& p, const std::string& blankName) {
  const std::string selfOrphans = "DELETE FROM " + p + "S WHERE " + p + "S.parent NOT IN (SELECT " + p + "S.id FROM " +
                                  p + "S WHERE " + p + "S.id = " + p + "S.id) AND " + p + "S.parent IS NOT NULL";
  return {"DELETE FROM " + p + "C WHERE " + p + "C.pid NOT IN (SELECT " + p + "P.id FROM " + p + "P WHERE " + p +
              "P.id = " + p + "P.id) AND " + p + "C.pid IS NOT NULL",
          "ALTER TABLE " + p + "C ADD CONSTRAINT " + blankName + " FOREIGN KEY (pid) REFERENCES " + p + "P (id) ON DELETE CASCADE",
          "DELETE FROM " + p + "C WHERE " + p + "C.a IS NOT NULL AND " + p + "C.b IS NOT NULL AND NOT EXISTS (SELECT * FROM " +
              p + "P2 AS ORV_PARENT WHERE ORV_PARENT.a = " + p + "C.a AND ORV_PARENT.b = " + p + "C.b)",
          "ALTER TABLE " + p + "C ADD CONSTRAINT FK_C_P2 FOREIGN KEY (a, b) REFERENCES " + p + "P2 (a, b)",
          "ALTER TABLE " + p + "Q DROP CONSTRAINT FK_Q",
          "DELETE FROM " + p + "Q WHERE " + p + "Q.k NOT IN (SELECT " + p + "P.id FROM " + p + "P WHERE " + p + "P.id = " +
              p + "P.id) AND " + p + "Q.k IS NOT NULL",
          "ALTER TABLE " + p + "Q ADD CONSTRAINT FK_Q FOREIGN KEY (k) REFERENCES " + p + "P (id)",
          "ALTER TABLE " + p + "R DROP CONSTRAINT FK_R",
          "DELETE FROM " + p + "R WHERE " + p + "R.a NOT IN (SELECT " + p + "P.id FROM " + p + "P WHERE " + p + "P.id = " +
              p + "P.id) AND " + p + "R.a IS NOT NULL",
          "ALTER TABLE " + p + "R ADD CONSTRAINT FK_R FOREIGN KEY (a) REFERENCES " + p +
              "P (id) ON UPDATE CASCADE ON DELETE CASCADE",
          selfOrphans, selfOrphans, selfOrphans,
          "ALTER TABLE " + p + "S ADD CONSTRAINT FK_S_S FOREIGN KEY (parent) REFERENCES " + p + "S (id)",
          "ALTER TABLE " + p + "X DROP CONSTRAINT FK_X_S"};
}

}  // namespace

// One-column, composite, self-referencing (orphans with children and grandchildren) and a name
// with a blank: added; a key now referencing another table, one with an extra column or other
// rules: re-created; a surplus key dropped; null keys kept. The composite key's orphans go in one
// statement at update time: C 4 goes, C 3 (a parent) and C 5 (a NULL key column) stay.
TEST(ForeignKeys, RoundTripOnEachServer) {
  EXPECT_EQ(RoundTripKeys(kSqlServer, kSqlServer, "FkSql"), Expected("dbo.", "[FK C P]"));
  EXPECT_EQ(RoundTripKeys(kAsa, kAsa, "FkAsa"), Expected("DBA.", "\"FK C P\""));
  EXPECT_EQ(RoundTripKeys(kAccess, kAccess, "FkAccess"), Expected("", "[FK C P]"));
}

TEST(ForeignKeys, RoundTripAcrossServers) {
  EXPECT_EQ(RoundTripKeys(kSqlServer, kAsa, "FkSqlAsa"), Expected("DBA.", "\"FK C P\""));
  EXPECT_EQ(RoundTripKeys(kAsa, kSqlServer, "FkAsaSql"), Expected("dbo.", "[FK C P]"));
  EXPECT_EQ(RoundTripKeys(kSqlServer, kAccess, "FkSqlAccess"), Expected("", "[FK C P]"));
  EXPECT_EQ(RoundTripKeys(kAccess, kSqlServer, "FkAccessSql"), Expected("dbo.", "[FK C P]"));
}

namespace {

// Rewrites a schema file of the folder: `edit` may change the rows; `dropColumn`, when given,
// leaves that column out.
void EditSchemaFile(const std::string& file, const std::function<void(ado::TDataSet&)>& edit,
                    const std::string& dropColumn = {}) {
  ado::TDataSet source;
  source.LoadFromFile(file);
  ado::TDataSet target;
  for (const ado::FieldDef& def : source.FieldDefs()) {
    if (!text::SameText(def.Name, dropColumn)) target.FieldDefs().push_back(def);
  }
  target.CreateDataSet();
  for (source.First(); !source.Eof(); source.Next()) {
    target.Append();
    for (int f = 0; f < target.FieldCount(); ++f) {
      target.Fields(f).SetValue(source.FieldByName(target.Fields(f).FieldName()).Value());
    }
    target.Post();
  }
  if (edit) edit(target);
  target.SaveToFile(file);
}

}  // namespace

// Adaptive Server Anywhere names foreign keys per table: a key of one table is never taken for
// another table's key of the same name (the second table's key was skipped, the third's kept).
TEST(ForeignKeys, KeysOfTheSameNameOnTwoTables) {
  const std::vector<std::string> tables = {"CREATE TABLE P (id integer NOT NULL PRIMARY KEY)",
                                           "CREATE TABLE A (id integer NOT NULL PRIMARY KEY, p integer NULL)",
                                           "CREATE TABLE B (id integer NOT NULL PRIMARY KEY, p integer NULL)",
                                           "CREATE TABLE D (id integer NOT NULL PRIMARY KEY, p integer NULL)",
                                           "INSERT INTO P VALUES (1)", "INSERT INTO B VALUES (1, 1)"};
  std::vector<std::string> master = tables, client = tables;
  master.push_back("ALTER TABLE A ADD CONSTRAINT FK_P FOREIGN KEY (p) REFERENCES P (id)");
  master.push_back("ALTER TABLE B ADD CONSTRAINT FK_P FOREIGN KEY (p) REFERENCES P (id)");
  client.push_back("ALTER TABLE A ADD CONSTRAINT FK_P FOREIGN KEY (p) REFERENCES P (id)");
  client.push_back("ALTER TABLE D ADD CONSTRAINT FK_P FOREIGN KEY (p) REFERENCES P (id)");
  const std::string masterDb = round_trip::CreateDatabase(Server::Asa, "FkRolesM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::Asa, "FkRolesC", client);
  const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder("FkRoles"));
  EXPECT_EQ(round_trip::Texts(first.instructions),
            (std::vector<std::string>{"DELETE FROM DBA.B WHERE DBA.B.p NOT IN (SELECT DBA.P.id FROM DBA.P WHERE DBA.P.id = "
                                      "DBA.P.id) AND DBA.B.p IS NOT NULL",
                                      "ALTER TABLE DBA.B ADD CONSTRAINT FK_P FOREIGN KEY (p) REFERENCES DBA.P (id)",
                                      "ALTER TABLE DBA.D DROP CONSTRAINT FK_P"}));
  EXPECT_EQ(ClientKeys(clientDb), (std::vector<std::string>{"A.FK_P>P p,", "B.FK_P>P p,"}));
}

// fpdNone: no orphan deletion, the server refuses the key with its orphan message and, stopping at
// the first error, the update leaves the client as it was; a database
// created in this run gets its keys without orphan or surplus steps; surplus keys go even with
// deletions forbidden, outside undo-delete blocks, but stay for a protected table or column.
TEST(ForeignKeys, PendingDataCreatedDatabaseAndProtectedKeys) {
  const std::vector<std::string> tables = {
      "CREATE TABLE P (id int NOT NULL PRIMARY KEY)", "CREATE TABLE C (id int NOT NULL PRIMARY KEY, p int NULL)",
      "CREATE TABLE ZZ_T (id int NOT NULL PRIMARY KEY, p int NULL)",
      "CREATE TABLE U (id int NOT NULL PRIMARY KEY, zz_p int NULL, p int NULL)", "INSERT INTO P VALUES (1)"};
  std::vector<std::string> master = tables, client = tables;
  master.push_back("ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES P (id)");
  for (const char* sql : {"ALTER TABLE ZZ_T ADD CONSTRAINT FK_ZZ FOREIGN KEY (p) REFERENCES P (id)",
                          "ALTER TABLE U ADD CONSTRAINT FK_U_ZZ FOREIGN KEY (zz_p) REFERENCES P (id)",
                          "ALTER TABLE U ADD CONSTRAINT FK_U FOREIGN KEY (p) REFERENCES P (id)",
                          "INSERT INTO C VALUES (1, 1)", "INSERT INTO C VALUES (2, 7)"}) {
    client.push_back(sql);
  }
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "FkPendM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "FkPendC", client);
  const std::string folder = round_trip::NewFolder("FkPend");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().FkPendingData = fpdNone;
    producer.UpdaterDirectives().ErrorManager = demStopOnFirstError;
  });
  const auto forbid = [](TOrvDbSchemaUpdater& updater) {
    TDeletePolicy& policy = updater.UpdaterDirectives().DeletePolicy;
    policy.Enabled = policy.DeleteTables = policy.DeleteFields = policy.DeleteIndexes = beNo;
    policy.PrefixesList = {"ZZ_"};
  };
  const round_trip::CheckResult check = round_trip::Check(clientDb, folder, forbid);
  EXPECT_EQ(round_trip::Texts(check.instructions),
            (std::vector<std::string>{"ALTER TABLE dbo.C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES dbo.P (id)",
                                      "ALTER TABLE dbo.U DROP CONSTRAINT FK_U"}));
  for (const round_trip::Instruction& row : check.instructions) EXPECT_EQ(row.block, 0) << row.sql;
  // The update stops at the refused key and leaves the client as it was.
  const std::vector<std::string> keysBefore = ClientKeys(clientDb);
  TOrvDbSchemaUpdater updater;
  ASSERT_TRUE(round_trip::Connect(updater, clientDb, folder));
  EXPECT_FALSE(updater.dm()->UpdateDb(true));
  ASSERT_FALSE(updater.Errors().Items().empty());
  EXPECT_NE(updater.Errors().Items()[0]->EMessage.find("FK_C"), std::string::npos)
      << updater.Errors().Items()[0]->EMessage;
  EXPECT_EQ(updater.Errors().Items()[0]->SqlText, check.instructions[0].sql);
  updater.SetConnected(false);
  EXPECT_EQ(ClientKeys(clientDb), keysBefore);
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, p FROM C ORDER BY id"), (std::vector<std::string>{"1|1", "2|7"}));

  const std::string createdFolder = round_trip::NewFolder("FkPendCreated");
  round_trip::Produce(masterDb, createdFolder);
  const round_trip::CheckResult created = round_trip::Check(
      clientDb, createdFolder, [](TOrvDbSchemaUpdater& updater) { updater.DatabaseCreated = true; });
  std::vector<std::string> keyStatements;
  for (const std::string& sql : round_trip::Texts(created.instructions)) {
    if (sql.find("FOREIGN KEY") != std::string::npos || sql.find("DELETE") != std::string::npos ||
        sql.find("DROP CONSTRAINT") != std::string::npos) {
      keyStatements.push_back(sql);
    }
  }
  EXPECT_EQ(keyStatements,
            std::vector<std::string>{"ALTER TABLE dbo.C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES dbo.P (id)"});
}

// A rule the client's server lacks (SET NULL on SQL Server) writes no clause and is not re-created
// at every check; a schema file lacking a column is an error naming file and column.
TEST(ForeignKeys, RulesTheClientLacksAndBrokenSchemaFiles) {
  const std::vector<std::string> tables = {"CREATE TABLE P (id int NOT NULL PRIMARY KEY)",
                                           "CREATE TABLE C (id int NOT NULL PRIMARY KEY, p int NULL)"};
  std::vector<std::string> master = tables;
  master.push_back("ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES P (id)");
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "FkRuleM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "FkRuleC", tables);
  const std::string folder = round_trip::NewFolder("FkRule");
  round_trip::Produce(masterDb, folder);
  EditSchemaFile(folder + "/vsiForeignKeys.xml", [](ado::TDataSet& keys) {
    for (keys.First(); !keys.Eof(); keys.Next()) {
      keys.Edit();
      keys.FieldByName("DELETE_RULE").SetAsString("SET NULL");
      keys.FieldByName("UPDATE_RULE").SetAsString("SET DEFAULT");
      keys.Post();
    }
  });
  const round_trip::CheckResult first = round_trip::Check(clientDb, folder);
  EXPECT_EQ(round_trip::Texts(first.instructions).back(),
            "ALTER TABLE dbo.C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES dbo.P (id)");
  round_trip::Execute(clientDb, folder);
  EXPECT_EQ(round_trip::Texts(round_trip::Check(clientDb, folder).instructions), std::vector<std::string>{});

  // Adaptive Server Anywhere has SET NULL: written, kept, not re-created.
  const std::vector<std::string> asaTables = {"CREATE TABLE P (id integer NOT NULL PRIMARY KEY)",
                                              "CREATE TABLE C (id integer NOT NULL PRIMARY KEY, p integer NULL)"};
  std::vector<std::string> asaMaster = asaTables;
  asaMaster.push_back("ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES P (id) ON DELETE SET NULL");
  const round_trip::CheckResult asa = round_trip::RoundTrip(round_trip::CreateDatabase(Server::Asa, "FkRuleAsaM", asaMaster),
                                                            round_trip::CreateDatabase(Server::Asa, "FkRuleAsaC", asaTables),
                                                            round_trip::NewFolder("FkRuleAsa"));
  EXPECT_EQ(round_trip::Texts(asa.instructions).back(),
            "ALTER TABLE DBA.C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES DBA.P (id) ON DELETE SET NULL");

  for (const auto& [file, column] : std::vector<std::pair<std::string, std::string>>{
           {"vsiDefaultValues.xml", "TEXT"}, {"vsiForeignKeys.xml", "PK_TABLE_NAME"}}) {
    EditSchemaFile(folder + "/" + file, {}, column);
    try {
      round_trip::Check(clientDb, folder);
      ADD_FAILURE() << "a check read " << file << " without " << column;
    } catch (const std::exception& e) {
      EXPECT_TRUE(text::EndsWithText(e.what(), "/" + file + " has no field " + column)) << e.what();
      EXPECT_TRUE(text::StartsWithText(e.what(), "Schema file ")) << e.what();
    }
  }
}

// Keys between tables of different owners name each table with its own owner.
TEST(ForeignKeys, KeysBetweenOwners) {
  const std::vector<std::string> tables = {
      "exec sp_grantdbaccess 'fksales'", "CREATE TABLE P (id int NOT NULL PRIMARY KEY)",
      "CREATE TABLE fksales.O (id int NOT NULL PRIMARY KEY, pid int NULL)",
      "CREATE TABLE L (id int NOT NULL PRIMARY KEY, oid int NULL)"};
  std::vector<std::string> master = {"exec sp_addlogin 'fksales', 'pw', 'FkOwnersM'"};
  master.insert(master.end(), tables.begin(), tables.end());
  master.push_back("ALTER TABLE fksales.O ADD CONSTRAINT FK_SO FOREIGN KEY (pid) REFERENCES dbo.P (id)");
  master.push_back("ALTER TABLE L ADD CONSTRAINT FK_LO FOREIGN KEY (oid) REFERENCES fksales.O (id)");
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "FkOwnersM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "FkOwnersC", tables);
  const round_trip::CheckResult first = round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder("FkOwners"));
  EXPECT_EQ(round_trip::Texts(first.instructions),
            (std::vector<std::string>{
                "DELETE FROM dbo.L WHERE dbo.L.oid NOT IN (SELECT fksales.O.id FROM fksales.O WHERE fksales.O.id = "
                "fksales.O.id) AND dbo.L.oid IS NOT NULL",
                "ALTER TABLE dbo.L ADD CONSTRAINT FK_LO FOREIGN KEY (oid) REFERENCES fksales.O (id)",
                "DELETE FROM fksales.O WHERE fksales.O.pid NOT IN (SELECT dbo.P.id FROM dbo.P WHERE dbo.P.id = dbo.P.id) "
                "AND fksales.O.pid IS NOT NULL",
                "ALTER TABLE fksales.O ADD CONSTRAINT FK_SO FOREIGN KEY (pid) REFERENCES dbo.P (id)"}));
}

// A key whose referenced table the master's table list lacks (the file names a table nobody has):
// the check refuses the package naming the file, row and field, and no row is lost.
TEST(ForeignKeys, ReferencedTableMissingLosesNothing) {
  const std::vector<std::string> tables = {"CREATE TABLE P (id int NOT NULL PRIMARY KEY)",
                                           "CREATE TABLE C (id int NOT NULL PRIMARY KEY, p int NULL)"};
  std::vector<std::string> master = tables, client = tables;
  master.push_back("ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES P (id)");
  client.push_back("INSERT INTO C VALUES (1, 5)");
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "FkMissingM", master);
  const std::string clientDb = round_trip::CreateDatabase(Server::SqlServer, "FkMissingC", client);
  const std::string folder = round_trip::NewFolder("FkMissing");
  round_trip::Produce(masterDb, folder, [](TOrvDbSchemaProducer& producer) {
    producer.UpdaterDirectives().ErrorManager = demStopOnFirstError;
  });
  EditSchemaFile(folder + "/vsiForeignKeys.xml", [](ado::TDataSet& keys) {
    for (keys.First(); !keys.Eof(); keys.Next()) {
      keys.Edit();
      keys.FieldByName("PK_TABLE_NAME").SetAsString("Nowhere");
      keys.Post();
    }
  });
  // The package is refused at the check: nothing is queued.
  const round_trip::CheckResult check = round_trip::Check(clientDb, folder);
  EXPECT_FALSE(check.ok);
  EXPECT_TRUE(check.instructions.empty());
  ASSERT_FALSE(check.errors.empty());
  EXPECT_NE(check.errors[0].find("vsiForeignKeys.xml, row 1, field PK_TABLE_NAME names the table Nowhere"),
            std::string::npos)
      << check.errors[0];
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, p FROM C"), std::vector<std::string>{"1|5"});
}

// A key dropped because its column changes comes back once, and is not dropped twice.
TEST(ForeignKeys, KeyDroppedByAColumnChangeComesBack) {
  const std::string key = "ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES P (id)";
  const std::string masterDb = round_trip::CreateDatabase(
      Server::SqlServer, "FkColumnM",
      {"CREATE TABLE P (id int NOT NULL PRIMARY KEY)", "CREATE TABLE C (id int NOT NULL PRIMARY KEY, p int NULL)", key});
  const std::string clientDb = round_trip::CreateDatabase(
      Server::SqlServer, "FkColumnC",
      {"CREATE TABLE P (id int NOT NULL PRIMARY KEY)", "CREATE TABLE C (id int NOT NULL PRIMARY KEY, p int NOT NULL)", key,
       "INSERT INTO P VALUES (1)", "INSERT INTO C VALUES (1, 1)"});
  const std::vector<std::string> texts =
      round_trip::Texts(round_trip::RoundTrip(masterDb, clientDb, round_trip::NewFolder("FkColumn")).instructions);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "ALTER TABLE dbo.C DROP CONSTRAINT FK_C"), 1)
      << ::testing::PrintToString(texts);
  EXPECT_EQ(texts.back(), "ALTER TABLE dbo.C ADD CONSTRAINT FK_C FOREIGN KEY (p) REFERENCES dbo.P (id)");
  EXPECT_EQ(ClientKeys(clientDb), std::vector<std::string>{"C.FK_C>P p,"});
  EXPECT_EQ(round_trip::Rows(clientDb, "SELECT id, p FROM C"), std::vector<std::string>{"1|1"});
}

namespace {

// The foreign keys of a SQL Server database with their state, "name=1" for a disabled one.
std::vector<std::string> KeyStates(const std::string& database) {
  return round_trip::Rows(database, "SELECT name + '=' + CONVERT(varchar(1), OBJECTPROPERTY(id, 'CnstIsDisabled')) "
                                    "FROM sysobjects WHERE xtype = 'F' ORDER BY name");
}

// An updater that notes the check's messages about disabled keys.
class DisabledKeyNotes : public TOrvDbSchemaUpdater {
 public:
  std::vector<std::string> lines;
  void WriteMessage(const std::string& aText) override {
    if (aText.find("disabled") != std::string::npos) lines.push_back(aText);
    TOrvDbSchemaUpdater::WriteMessage(aText);
  }
};

}  // namespace

// Regression: a key the master keeps disabled (so that a blog outlives its deleted user) deleted
// the client's blogs without user and was added enabled; a client key in the other state got no
// instruction. The key comes WITH NOCHECK and disabled, no row is deleted for it, a state alone is
// switched where the key stands; a client server without disabled keys goes without the key and
// the check says so once.
TEST(ForeignKeys, AKeyTheMasterKeepsDisabledKeepsTheRowsWithoutParent) {
  // The client's rows: blog 2 has lost its user.
  const auto tables = [](const std::string& int_, bool rows = true) {
    std::vector<std::string> script = {
        "CREATE TABLE Users (id " + int_ + " NOT NULL PRIMARY KEY)",
        "CREATE TABLE Blogs (id " + int_ + " NOT NULL PRIMARY KEY, userId " + int_ + " NULL)",
        "CREATE TABLE Posts (id " + int_ + " NOT NULL PRIMARY KEY, blogId " + int_ + " NULL)"};
    if (rows) {
      for (const char* sql : {"INSERT INTO Users VALUES (1)", "INSERT INTO Blogs VALUES (1, 1)",
                              "INSERT INTO Blogs VALUES (2, 99)", "INSERT INTO Posts VALUES (1, 2)"}) {
        script.push_back(sql);
      }
    }
    return script;
  };
  const std::string blogKey = "ALTER TABLE Blogs ADD CONSTRAINT FK_Blog_Blogs_Users FOREIGN KEY (userId) "
                              "REFERENCES Users (id)";
  const std::string postKey = "ALTER TABLE Posts ADD CONSTRAINT FK_Posts_Blogs FOREIGN KEY (blogId) REFERENCES Blogs (id)";
  std::vector<std::string> master = tables("int", false);
  for (const std::string& sql : {blogKey, postKey, std::string("ALTER TABLE Blogs NOCHECK CONSTRAINT FK_Blog_Blogs_Users")}) {
    master.push_back(sql);
  }
  const std::string masterDb = round_trip::CreateDatabase(Server::SqlServer, "FkOffM", master);
  EXPECT_EQ(KeyStates(masterDb), (std::vector<std::string>{"FK_Blog_Blogs_Users=1", "FK_Posts_Blogs=0"}));
  const std::vector<std::string> blogRows = {"1|1", "2|99"};

  // A client without the keys.
  const std::string bare = round_trip::CreateDatabase(Server::SqlServer, "FkOffC1", tables("int"));
  const round_trip::CheckResult added = round_trip::RoundTrip(masterDb, bare, round_trip::NewFolder("FkOff1"));

  EXPECT_EQ(round_trip::Texts(added.instructions),
            (std::vector<std::string>{
                "ALTER TABLE dbo.Blogs WITH NOCHECK ADD CONSTRAINT FK_Blog_Blogs_Users FOREIGN KEY (userId) "
                "REFERENCES dbo.Users (id)",
                "ALTER TABLE dbo.Blogs NOCHECK CONSTRAINT FK_Blog_Blogs_Users",
                "DELETE FROM dbo.Posts WHERE dbo.Posts.blogId NOT IN (SELECT dbo.Blogs.id FROM dbo.Blogs WHERE "
                "dbo.Blogs.id = dbo.Blogs.id) AND dbo.Posts.blogId IS NOT NULL",
                "ALTER TABLE dbo.Posts ADD CONSTRAINT FK_Posts_Blogs FOREIGN KEY (blogId) REFERENCES dbo.Blogs (id)"}));
  EXPECT_EQ(round_trip::Rows(bare, "SELECT id, userId FROM Blogs ORDER BY id"), blogRows);
  EXPECT_EQ(KeyStates(bare), (std::vector<std::string>{"FK_Blog_Blogs_Users=1", "FK_Posts_Blogs=0"}));

  // A client holding both keys, each in the other state.
  std::vector<std::string> held = tables("int");
  for (const std::string& sql : {std::string("ALTER TABLE Blogs WITH NOCHECK ") + blogKey.substr(18),
                                 std::string("ALTER TABLE Posts WITH NOCHECK ") + postKey.substr(18),
                                 std::string("ALTER TABLE Posts NOCHECK CONSTRAINT FK_Posts_Blogs")}) {
    held.push_back(sql);
  }
  const std::string heldDb = round_trip::CreateDatabase(Server::SqlServer, "FkOffC2", held);
  const round_trip::CheckResult switched = round_trip::RoundTrip(masterDb, heldDb, round_trip::NewFolder("FkOff2"));
  EXPECT_EQ(round_trip::Texts(switched.instructions),
            (std::vector<std::string>{"ALTER TABLE dbo.Blogs NOCHECK CONSTRAINT FK_Blog_Blogs_Users",
                                      "ALTER TABLE dbo.Posts CHECK CONSTRAINT FK_Posts_Blogs"}));
  EXPECT_EQ(round_trip::Rows(heldDb, "SELECT id, userId FROM Blogs ORDER BY id"), blogRows);
  EXPECT_EQ(KeyStates(heldDb), (std::vector<std::string>{"FK_Blog_Blogs_Users=1", "FK_Posts_Blogs=0"}));

  // An Adaptive Server Anywhere client: no disabled keys there.
  const std::string asa = round_trip::CreateDatabase(Server::Asa, "FkOffC3", tables("integer"));
  const std::string folder = round_trip::NewFolder("FkOff3");
  const round_trip::CheckResult carried = round_trip::RoundTrip(masterDb, asa, folder);
  EXPECT_EQ(carried.errors, std::vector<std::string>{});
  EXPECT_EQ(round_trip::Rows(asa, "SELECT id, userId FROM Blogs ORDER BY id"), blogRows);
  EXPECT_EQ(ClientKeys(asa), std::vector<std::string>{"Posts.FK_Posts_Blogs>Blogs blogId,"});
  DisabledKeyNotes notes;
  ASSERT_TRUE(round_trip::Connect(notes, asa, folder));
  EXPECT_TRUE(notes.dm()->CheckDb(true));
  EXPECT_EQ(notes.lines, std::vector<std::string>{"Foreign key FK_Blog_Blogs_Users of table Blogs is disabled on the "
                                                  "master and is not carried to the client's server"});
}
