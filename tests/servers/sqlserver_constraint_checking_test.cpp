// NOCHECK / CHECK CONSTRAINT stop and restart the checking of foreign keys and CHECK
// constraints and the catalogue shows it; identity and foreign keys stay enforced across
// connections, rollbacks, rebuilds and database files of the earlier layout; defaults come and go
// with their constraints, also on tables of files that kept them in the SQLite table.
#include <filesystem>

#include "SqlServerFixture.h"
#include "servers/sqlserver/Sqlite.h"

namespace {

class ConstraintCheckingTest : public SqlServerTest {
 protected:
  // Parent P, child C with foreign key FK_C_P and a CHECK constraint CK_C_Qty.
  void MakeTables() {
    Db().Execute(
        "CREATE TABLE P (Id int NOT NULL CONSTRAINT PK_P PRIMARY KEY);"
        "CREATE TABLE C (Id int IDENTITY (1, 1) NOT NULL, PId int NULL, Qty int NOT NULL,"
        " CONSTRAINT FK_C_P FOREIGN KEY (PId) REFERENCES P (Id), CONSTRAINT CK_C_Qty CHECK (Qty > 0));"
        "INSERT INTO P (Id) VALUES (1); INSERT INTO C (PId, Qty) VALUES (1, 5)");
  }
  // The disabled bits of the constraint: CnstIsDisabled, sysobjects.status & 0x800 and
  // sysconstraints.status & 0x4000, as "p/o/c".
  std::string Disabled(const std::string& name) {
    auto rs = Rows("SELECT OBJECTPROPERTY(OBJECT_ID('" + name + "'), 'CnstIsDisabled'), o.status & 2048, "
                   "c.status & 16384 FROM sysobjects o JOIN sysconstraints c ON c.constid = o.id WHERE o.name = '" +
                   name + "'");
    if (rs.Rows.empty()) return "none";
    const auto& r = rs.Rows[0];
    return std::to_string(r[0].AsInt()) + "/" + std::to_string(r[1].AsInt() != 0) + "/" +
           std::to_string(r[2].AsInt() != 0);
  }
};

TEST_F(ConstraintCheckingTest, NocheckStopsForeignKeyCheckingUntilCheckRestartsIt) {
  MakeTables();
  EXPECT_EQ(Disabled("FK_C_P"), "0/0/0");
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (7, 1)"), 547);
  Db().Execute("ALTER TABLE C NOCHECK CONSTRAINT FK_C_P");
  EXPECT_EQ(Disabled("FK_C_P"), "1/1/1");
  EXPECT_EQ(Disabled("CK_C_Qty"), "0/0/0");
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (7, 1)"), 0);
  EXPECT_EQ(ErrorOf("DELETE FROM P WHERE Id = 1"), 0);
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (7, -1)"), 547);  // the CHECK still holds
  // DROP TABLE of the parent is refused all the same.
  EXPECT_EQ(ErrorOf("DROP TABLE P"), 3726);
  // Enabled again without WITH CHECK: the orphans stay, new ones are refused.
  Db().Execute("ALTER TABLE C CHECK CONSTRAINT FK_C_P");
  EXPECT_EQ(Disabled("FK_C_P"), "0/0/0");
  EXPECT_EQ(Count("C"), 2);
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (8, 1)"), 547);
  std::string message;
  EXPECT_EQ(ErrorOf("ALTER TABLE C WITH CHECK CHECK CONSTRAINT FK_C_P", &message), 547);
  EXPECT_NE(message.find("ALTER TABLE statement conflicted with COLUMN FOREIGN KEY constraint 'FK_C_P'. The "
                         "conflict occurred in database 'db', table 'P', column 'Id'."),
            std::string::npos)
      << message;
  Db().Execute("DELETE FROM C; ALTER TABLE C WITH CHECK CHECK CONSTRAINT FK_C_P");
  EXPECT_EQ(ErrorOf("ALTER TABLE C NOCHECK CONSTRAINT FK_Nothing"), 4917);
}

TEST_F(ConstraintCheckingTest, NocheckAllCoversCheckConstraintsToo) {
  MakeTables();
  Db().Execute("ALTER TABLE C NOCHECK CONSTRAINT ALL");
  EXPECT_EQ(Disabled("FK_C_P"), "1/1/1");
  EXPECT_EQ(Disabled("CK_C_Qty"), "1/1/1");
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (9, -3)"), 0);
  Db().Execute("ALTER TABLE C CHECK CONSTRAINT ALL");
  EXPECT_EQ(Disabled("CK_C_Qty"), "0/0/0");
  EXPECT_EQ(TextOf("SELECT count(*) FROM C WHERE Qty < 0"), "1");
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (1, -3)"), 547);
  std::string message;
  EXPECT_EQ(ErrorOf("ALTER TABLE C WITH CHECK CHECK CONSTRAINT CK_C_Qty", &message), 547);
  EXPECT_NE(message.find("TABLE CHECK constraint 'CK_C_Qty'"), std::string::npos) << message;
  // Both named at once.
  Db().Execute("ALTER TABLE C NOCHECK CONSTRAINT CK_C_Qty, FK_C_P");
  EXPECT_EQ(Disabled("CK_C_Qty") + Disabled("FK_C_P"), "1/1/11/1/1");
}

// Regression: a CHECK constraint added WITH NOCHECK over rows that break it was refused, the
// rebuilt table judging the old rows.
TEST_F(ConstraintCheckingTest, CheckAddedWithNocheckLeavesOldRowsAlone) {
  MakeTables();
  EXPECT_EQ(ErrorOf("ALTER TABLE C WITH NOCHECK ADD CONSTRAINT CK_C_Small CHECK (Qty < 3)"), 0);
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (1, 4)"), 547);
  EXPECT_EQ(ErrorOf("ALTER TABLE C ADD CONSTRAINT CK_C_Tiny CHECK (Qty < 2)"), 547);
}

TEST_F(ConstraintCheckingTest, ChangesByAnotherConnectionAndRollbacksReachTheTriggers) {
  MakeTables();
  auto other = Connect("db");
  // The other connection has changed C (its triggers exist) before this one changes the keys.
  other->Execute("INSERT INTO C (PId, Qty) VALUES (1, 1)");
  Db().Execute("ALTER TABLE C NOCHECK CONSTRAINT FK_C_P");
  EXPECT_NO_THROW(other->Execute("INSERT INTO C (PId, Qty) VALUES (5, 1)"));
  Db().Execute("DELETE FROM C WHERE PId = 5; ALTER TABLE C CHECK CONSTRAINT FK_C_P");
  EXPECT_THROW(other->Execute("INSERT INTO C (PId, Qty) VALUES (5, 1)"), ado::EOleException);
  Db().Execute("CREATE TABLE D (Id int NOT NULL, CId int NULL)");
  other->Execute("INSERT INTO D (Id, CId) VALUES (1, 99)");
  Db().Execute("DELETE FROM D; ALTER TABLE D ADD CONSTRAINT FK_D_P FOREIGN KEY (CId) REFERENCES P (Id)");
  EXPECT_THROW(other->Execute("INSERT INTO D (Id, CId) VALUES (2, 99)"), ado::EOleException);
  // Its triggers on a table this connection drops are left without their table.
  Db().Execute("DROP TABLE D");
  EXPECT_NO_THROW(other->Execute("INSERT INTO P (Id) VALUES (3)"));
  // A rollback and a refused statement do not leave this connection without its triggers.
  Db().BeginTrans();
  Db().Execute("INSERT INTO C (PId, Qty) VALUES (1, 1)");
  Db().RollbackTrans();
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (6, 1)"), 547);
  EXPECT_EQ(ErrorOf("INSERT INTO C (PId, Qty) VALUES (6, 1)"), 547);
  EXPECT_EQ(ErrorOf("DELETE FROM P WHERE Id = 1"), 547);
}

TEST_F(ConstraintCheckingTest, CascadesReachTablesNotChangedBefore) {
  Db().Execute(
      "CREATE TABLE A (Id int NOT NULL PRIMARY KEY);"
      "CREATE TABLE B (Id int NOT NULL PRIMARY KEY, AId int NULL,"
      " CONSTRAINT FK_B_A FOREIGN KEY (AId) REFERENCES A (Id) ON DELETE CASCADE);"
      "CREATE TABLE G (Id int NOT NULL, BId int NULL, CONSTRAINT FK_G_B FOREIGN KEY (BId) REFERENCES B (Id));"
      "INSERT INTO A VALUES (1); INSERT INTO A VALUES (2);"
      "INSERT INTO B VALUES (10, 1); INSERT INTO B VALUES (20, 2); INSERT INTO G VALUES (1, 10)");
  // A fresh connection whose first change is on A: B's own key to G must hold.
  auto other = Connect("db");
  try {
    other->Execute("DELETE FROM A WHERE Id = 1");
    ADD_FAILURE() << "the cascade deleted a row G references";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 547);
  }
  other->Execute("DELETE FROM A WHERE Id = 2");
  EXPECT_EQ(TextOf("SELECT count(*) FROM B"), "1");
}

TEST_F(ConstraintCheckingTest, IdentityContinuesAfterTheTableIsRebuiltOrRenamed) {
  MakeTables();
  Db().Execute("INSERT INTO C (PId, Qty) VALUES (1, 1)");
  Db().Execute("ALTER TABLE C ADD Note nvarchar(10) NULL");
  Db().Execute("INSERT INTO C (PId, Qty) VALUES (1, 1)");
  EXPECT_EQ(TextOf("SELECT max(Id) FROM C"), "3");
  EXPECT_EQ(TextOf("SELECT @@IDENTITY"), "3");
  Db().Execute("EXEC sp_rename 'C', 'C2'");
  Db().Execute("INSERT INTO C2 (PId, Qty) VALUES (1, 1)");
  EXPECT_EQ(TextOf("SELECT max(Id) FROM C2"), "4");
  EXPECT_EQ(ErrorOf("INSERT INTO C2 (PId, Qty) VALUES (3, 1)"), 547);
}

// A database file of the earlier layout kept its triggers in the file: opening converts it.
TEST_F(ConstraintCheckingTest, FileOfTheEarlierLayoutIsConvertedOnOpen) {
  MakeTables();
  session_.reset();
  std::string file = root_ + "/testsrv/db.sqlite";
  ASSERT_TRUE(std::filesystem::exists(file));
  {
    auto raw = servers::OpenSqlite(file, false);
    servers::ExecSql(raw.get(),
                     "DROP TABLE schm_enforcement; DROP TABLE schm_quoted_off; DROP INDEX sysreferences_f; "
                     "DROP INDEX sysreferences_r;"
                     "CREATE TRIGGER schm_fk_1_ci BEFORE INSERT ON C BEGIN SELECT RAISE(ABORT, '547|old'); END");
  }
  auto s = Connect("db");
  EXPECT_NO_THROW(s->Execute("INSERT INTO C (PId, Qty) VALUES (1, 1)"));
  EXPECT_THROW(s->Execute("INSERT INTO C (PId, Qty) VALUES (4, 1)"), ado::EOleException);
  EXPECT_EQ(TextOf(*s, "SELECT max(Id) FROM C"), "2");
  s->Execute("SET QUOTED_IDENTIFIER OFF");
  s->Execute("CREATE PROCEDURE POff AS SELECT \"x\"");
  EXPECT_EQ(TextOf(*s, "SELECT OBJECTPROPERTY(OBJECT_ID('POff'), 'ExecIsQuotedIdentOn')"), "0");
  auto raw = servers::OpenSqlite(file, false);
  EXPECT_EQ(servers::QueryInt(raw.get(), "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), 0);
}

// Files made before the server filled in defaults itself keep them in the SQLite table: a dropped
// DEFAULT constraint must not live on there.
TEST_F(ConstraintCheckingTest, DefaultsFollowTheirConstraintsAlsoInFilesOfTheEarlierLayout) {
  Db().Execute("CREATE TABLE D (Id int NOT NULL, V int NULL CONSTRAINT DF_D_V DEFAULT 7, "
               "W int NOT NULL CONSTRAINT DF_D_W DEFAULT 1); INSERT INTO D (Id) VALUES (1)");
  session_.reset();
  {
    auto raw = servers::OpenSqlite(root_ + "/testsrv/db.sqlite", false);
    servers::ExecSql(raw.get(), "ALTER TABLE D RENAME TO D_old; CREATE TABLE D (Id int NOT NULL, "
                                "V int DEFAULT (7), W int NOT NULL DEFAULT (1)); INSERT INTO D SELECT * FROM D_old; "
                                "DROP TABLE D_old");
  }
  auto s = Connect("db");
  s->Execute("INSERT INTO D (Id) VALUES (2); ALTER TABLE D DROP CONSTRAINT DF_D_V; INSERT INTO D (Id) VALUES (3); "
             "ALTER TABLE D ADD CONSTRAINT DF_D_V9 DEFAULT 9 FOR V; INSERT INTO D (Id, W) SELECT 4, 5; "
             "ALTER TABLE D ADD X int NOT NULL CONSTRAINT DF_D_X DEFAULT 3; ALTER TABLE D DROP CONSTRAINT DF_D_W");
  try {
    s->Execute("INSERT INTO D (Id) VALUES (5)");
    ADD_FAILURE() << "W took the dropped default";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 515);
  }
  EXPECT_EQ(TextOf(*s, "SELECT count(*) FROM D WHERE X = 3"), "4");
  auto rows = Rows(*s, "SELECT Id, V, W FROM D ORDER BY Id");
  std::string seen;
  for (const auto& r : rows.Rows)
    for (const auto& v : r) seen += (v.IsNull() ? "null" : v.AsString()) + " ";
  EXPECT_EQ(seen, "1 7 1 2 7 1 3 null 1 4 9 5 ");
  s->Execute("CREATE TABLE E (Id int IDENTITY (1, 1) NOT NULL, V int NULL DEFAULT 6); INSERT INTO E DEFAULT VALUES");
  EXPECT_EQ(TextOf(*s, "SELECT V FROM E WHERE Id = 1"), "6");
}

}  // namespace
