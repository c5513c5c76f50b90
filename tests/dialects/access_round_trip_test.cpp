// Master and client Access files built by scripts; a script of the statements
// the engine writes for Access (through the Access dialect's builders where it
// has them) brings the client to the master in one transaction: both then agree
// in the 15 schema kinds and every client row and counter value is kept. Rolled
// back, the client is as before.
#include <gtest/gtest.h>

#include "AccessTestDatabase.h"
#include "DialectTestSupport.h"

namespace {

const std::vector<std::string> kMaster = {
    "CREATE TABLE P (id COUNTER NOT NULL, name text (50) NOT NULL, CONSTRAINT "
    "pk_P PRIMARY KEY (id))",
    "CREATE UNIQUE INDEX ix_P_name ON P (name DESC)",
    "CREATE TABLE C (id int IDENTITY NOT NULL, pid int, note text (100) NOT "
    "NULL, added datetime NOT NULL,"
    " CONSTRAINT pk_C PRIMARY KEY (id),"
    " CONSTRAINT fk_C_P FOREIGN KEY (pid) REFERENCES P (id) ON UPDATE CASCADE "
    "ON DELETE CASCADE)",
    "CREATE TABLE Items (id COUNTER NOT NULL, a text (10), b bit)",
    "CREATE TABLE [New Table] (id int NOT NULL, v money DEFAULT 0, CONSTRAINT "
    "pk_New PRIMARY KEY (id))",
    "CREATE VIEW vP AS SELECT id, name FROM P",
    "CREATE PROCEDURE pP AS SELECT * FROM P WHERE id = 1",
};

const std::vector<std::string> kClient = {
    "CREATE TABLE P (id COUNTER NOT NULL, name text (30) NOT NULL, old text "
    "(10),"
    " CONSTRAINT pk_P PRIMARY KEY (id), CONSTRAINT uq_P_old UNIQUE (old))",
    "CREATE INDEX ix_old ON P (old)",
    "CREATE TABLE C (id int IDENTITY NOT NULL, pid int, CONSTRAINT pk_C "
    "PRIMARY KEY (id))",
    "CREATE TABLE Items (id COUNTER NOT NULL, a text (10))",
    "CREATE VIEW vOld AS SELECT id FROM P",
    "INSERT INTO P (name, old) VALUES ('a', 'x')",
    "INSERT INTO P (name, old) VALUES ('b', 'y')",
    "INSERT INTO C (pid) VALUES (1)",
    "INSERT INTO C (pid) VALUES (2)",
    "INSERT INTO C (pid) VALUES (7)",
    "INSERT INTO C (pid) VALUES (2)",
    "DELETE FROM C WHERE id = 4",
    "INSERT INTO Items (a) VALUES ('one')",
    "INSERT INTO Items (a) VALUES ('two')",
    "INSERT INTO Items (a) VALUES ('three')",
    "DELETE FROM Items WHERE id = 2",
};

// The engine's statements for the client, in its order of phases.
std::vector<std::string> UpdateScript(TAccessSpecific &d) {
  return {
      d.GetDropIndexSql("", "P", "ix_old"),
      "ALTER TABLE P" + std::string(" DROP CONSTRAINT uq_P_old"),
      "ALTER TABLE P" + d.DropColumnKeyword + "old",
      "ALTER TABLE P ALTER COLUMN name text (50)  NOT NULL",
      "ALTER TABLE C ADD note text (100)  NULL",
      "ALTER TABLE C ADD added datetime  NULL",
      "UPDATE C set note = '' where note is null",
      "UPDATE C set added = (now()) where added is null",
      "ALTER TABLE C ALTER COLUMN note text (100)  NOT NULL",
      "ALTER TABLE C ALTER COLUMN added datetime  NOT NULL",
      "CREATE TABLE _ORV_TMP_TABLE_Items (id int IDENTITY  NOT NULL, a text "
      "(10)  NULL, b bit  NULL)",
      "INSERT INTO _ORV_TMP_TABLE_Items (id, a) SELECT id, a FROM Items",
      "DROP TABLE Items",
      "CREATE TABLE Items (id COUNTER NOT NULL, a text (10), b bit)",
      "INSERT INTO Items (id, a, b) SELECT id, a, b FROM _ORV_TMP_TABLE_Items",
      "DROP TABLE _ORV_TMP_TABLE_Items",
      "CREATE TABLE [New Table] (id int NOT NULL, v money DEFAULT 0)",
      d.GetAddKeyConstraintSql("", "New Table", "pk_New", true, true, "id"),
      "DELETE FROM C WHERE C.pid NOT IN (SELECT P.id FROM P WHERE P.id = P.id)",
      "ALTER TABLE C ADD CONSTRAINT fk_C_P FOREIGN KEY (pid) REFERENCES P (id) "
      "ON UPDATE CASCADE ON DELETE CASCADE",
      d.GetCreateIndexSql("", "P", "ix_P_name", true, true, "name DESC"),
      "drop view vOld",
      "CREATE VIEW vP AS SELECT id, name FROM P",
      "CREATE PROCEDURE pP AS SELECT * FROM P WHERE id = 1",
  };
}

// Every user table's rows, by key.
std::string Rows(ado::TConnection &connection) {
  std::string out;
  for (const char *sql : {"SELECT id, name FROM P ORDER BY id",
                          "SELECT id, pid FROM C ORDER BY id",
                          "SELECT id, a FROM Items ORDER BY id"}) {
    ado::TDataSet data;
    data.SetConnection(&connection);
    data.SetCommandText(sql);
    data.Open();
    for (data.First(); !data.Eof(); data.Next()) {
      for (int i = 0; i < data.FieldCount(); ++i)
        out += data.Fields(i).AsString() + "|";
      out += "\n";
    }
  }
  return out;
}

class AccessRoundTrip : public ::testing::Test {
protected:
  void SetUp() override { owner_.current = &dialect_; }
  TestOwner owner_;
  TAccessSpecific dialect_{&owner_};
};

TEST_F(AccessRoundTrip,
       EngineFormsBringTheClientToTheMasterKeepingRowsAndCounters) {
  auto master = access_test::CreateAndConnect("master.mdb");
  access_test::RunScript(*master, kMaster);
  auto client = access_test::CreateAndConnect("client.mdb");
  access_test::RunScript(*client, kClient);

  client->BeginTrans();
  access_test::RunScript(*client, UpdateScript(dialect_));
  client->CommitTrans();

  EXPECT_EQ(access_test::AllKinds(dialect_, *client),
            access_test::AllKinds(dialect_, *master));
  // The orphan (pid 7) went; the other rows and their counter values stayed.
  EXPECT_EQ(Rows(*client), "1|a|\n2|b|\n1|1|\n2|2|\n1|one|\n3|three|\n");
  // Numbering goes on above the values kept.
  client->Execute("INSERT INTO Items (a) VALUES ('four')");
  client->Execute(
      "INSERT INTO C (pid, note, added) VALUES (1, 'n', '03/05/2024')");
  EXPECT_EQ(Rows(*client),
            "1|a|\n2|b|\n1|1|\n2|2|\n5|1|\n1|one|\n3|three|\n4|four|\n");
}

TEST_F(AccessRoundTrip, RolledBackTheClientIsAsBefore) {
  auto client = access_test::CreateAndConnect("rolled-back.mdb");
  access_test::RunScript(*client, kClient);
  const std::string kinds = access_test::AllKinds(dialect_, *client);
  const std::string rows = Rows(*client);

  client->BeginTrans();
  access_test::RunScript(*client, UpdateScript(dialect_));
  client->RollbackTrans();

  EXPECT_EQ(access_test::AllKinds(dialect_, *client), kinds);
  EXPECT_EQ(Rows(*client), rows);
  client->Execute("INSERT INTO Items (a) VALUES ('four')");
  EXPECT_EQ(Rows(*client), rows + "4|four|\n");
}

} // namespace
