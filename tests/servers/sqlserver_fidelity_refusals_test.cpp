// Where SQL Server 2000 accepts or refuses a statement, so does the stand-in: widening a column
// that an index or check holds and renaming a column a check uses are accepted; keywords as
// names, statements out of their place in the batch, changes to long and timestamp columns,
// comparisons of long values, a second identity insert and empty file groups are refused with
// the server's number and text, changing nothing.
#include "Snapshot.h"
#include "SqlServerFixture.h"

namespace {

struct Refusal {
  std::string sql;
  int number;
  std::string text;
};

class FidelityRefusals : public SqlServerTest {
 protected:
  void SetUp() override {
    SqlServerTest::SetUp();
    Db().Execute(
        "CREATE TABLE W (id int NOT NULL PRIMARY KEY, v varchar (10) NULL, n nvarchar (10) NULL,"
        " b varbinary (10) NULL, c char (10) NULL, CONSTRAINT CK_W_v CHECK (v <> 'x'),"
        " CONSTRAINT UQ_W_n UNIQUE (n))");
    Db().Execute("CREATE INDEX IX_W_b ON W (b) CREATE INDEX IX_W_c ON W (c)");
    Db().Execute("INSERT INTO W (id, v, n, b, c) VALUES (1, 'a', N'a', 0x01, 'a')");
    Db().Execute(
        "CREATE TABLE L (id int IDENTITY (1, 1) NOT NULL, tx text NULL, nt ntext NULL, im image NULL,"
        " ts timestamp NULL, v varchar (10) NULL)");
    Db().Execute("CREATE TABLE L2 (id int IDENTITY (1, 1) NOT NULL, v varchar (10) NULL)");
    Db().Execute("INSERT INTO L (tx, v) VALUES ('t', 'a')");
  }
  // Each statement fails with the number and text, and leaves schema and rows as they were.
  void ExpectRefused(const std::vector<Refusal>& refusals) {
    for (const Refusal& r : refusals) {
      const std::string before = Snapshot(Db());
      std::string message;
      EXPECT_EQ(ErrorOf(r.sql, &message), r.number) << r.sql << "\n" << message;
      EXPECT_NE(message.find(r.text), std::string::npos) << r.sql << "\n" << message;
      EXPECT_EQ(Snapshot(Db()), before) << r.sql;
    }
  }
  int64_t Int(const std::string& sql) { return Value(sql).AsInt(); }
};

TEST_F(FidelityRefusals, WideningAColumnAndRenamingAChecksColumnAreAccepted) {
  Db().Execute("ALTER TABLE W ALTER COLUMN v varchar (20) NULL");     // CK_W_v holds it
  Db().Execute("ALTER TABLE W ALTER COLUMN n nvarchar (20) NULL");    // UQ_W_n holds it
  Db().Execute("ALTER TABLE W ALTER COLUMN b varbinary (20) NULL");   // IX_W_b holds it
  Db().Execute("ALTER TABLE W ALTER COLUMN b varbinary (20) NULL");   // the same size
  EXPECT_EQ(Int("select length from syscolumns where id = object_id('W') and name = 'v'"), 20);
  EXPECT_EQ(Int("select length from syscolumns where id = object_id('W') and name = 'n'"), 40);
  EXPECT_EQ(Int("select length from syscolumns where id = object_id('W') and name = 'b'"), 20);
  EXPECT_EQ(Int("select count(*) from sysindexes where id = object_id('W') and name in ('IX_W_b', 'UQ_W_n')"), 2);
  EXPECT_EQ(TextOf("select v from W"), "a");
  ExpectRefused({
      {"INSERT INTO W (id, v) VALUES (2, 'x')", 547, "CK_W_v"},
      {"INSERT INTO W (id, n) VALUES (2, N'a')", 2627, "UQ_W_n"},
      // Narrower, another type, a fixed-length type or a key column: still held.
      {"ALTER TABLE W ALTER COLUMN v varchar (5) NULL", 5074, "The object 'CK_W_v' is dependent on column 'v'."},
      {"ALTER TABLE W ALTER COLUMN n varchar (30) NULL", 5074, "The object 'UQ_W_n' is dependent on column 'n'."},
      {"ALTER TABLE W ALTER COLUMN c char (20) NULL", 5074, "The object 'IX_W_c' is dependent on column 'c'."},
      {"ALTER TABLE W ALTER COLUMN id bigint NOT NULL", 5074, "is dependent on column 'id'."},
  });

  // The check goes with its column to the new name.
  Db().Execute("EXEC sp_rename 'W.v', 'label', 'COLUMN'");
  EXPECT_EQ(TextOf("select c.text from syscomments c join sysobjects o on o.id = c.id where o.name = 'CK_W_v'"),
            "(label <> 'x')");
  ExpectRefused({{"INSERT INTO W (id, label) VALUES (2, 'x')", 547, "CK_W_v"}});
  Db().Execute("INSERT INTO W (id, label) VALUES (2, 'y')");
  EXPECT_EQ(Count("W"), 2);
}

TEST_F(FidelityRefusals, StatementFormsTheServerRefuses) {
  ExpectRefused({
      {"ALTER TABLE W ALTER COLUMN v NULL", 156, "Incorrect syntax near the keyword 'NULL'."},
      {"EXEC sp_addlogin 'p1'\nsp_grantdbaccess 'p1'", 170, "Line 2: Incorrect syntax near 'sp_grantdbaccess'."},
      {"SELECT 1\nCREATE VIEW V1 AS SELECT 1 AS x", 111, "'CREATE VIEW' must be the first statement in a query batch."},
      {"PRINT 'a' CREATE PROCEDURE P1 AS SELECT 1", 111, "'CREATE PROCEDURE' must be the first statement in a query batch."},
      {"SELECT 1 CREATE FUNCTION F1 () RETURNS int AS BEGIN RETURN 1 END", 111, "'CREATE FUNCTION' must be the first"},
      {"IF 1 = 1 CREATE TRIGGER T1 ON W FOR INSERT AS SELECT 1", 111, "'CREATE TRIGGER' must be the first"},
      {"CREATE TRIGGER T2 ON W FOR INSERT WITH ENCRYPTION AS SELECT 1", 156, "Incorrect syntax near the keyword 'WITH'."},
      // The server's reserved words are names only when quoted.
      {"CREATE TABLE User (a int)", 156, "Incorrect syntax near the keyword 'User'."},
      {"CREATE TABLE K (Key int)", 156, "Incorrect syntax near the keyword 'Key'."},
      {"CREATE TABLE K (a int, Percent int)", 156, "Incorrect syntax near the keyword 'Percent'."},
      {"SELECT Plan FROM W", 156, "Incorrect syntax near the keyword 'Plan'."},
      {"SELECT v AS Top FROM W", 156, "Incorrect syntax near the keyword 'Top'."},
      {"CREATE INDEX Desc ON W (v)", 156, "Incorrect syntax near the keyword 'Desc'."},
      {"ALTER TABLE W ADD Current int NULL", 156, "Incorrect syntax near the keyword 'Current'."},
      {"UPDATE W SET File = 1", 156, "Incorrect syntax near the keyword 'File'."},
      // sp_rename parses its names as the server does.
      {"EXEC sp_rename N'W.[[v]]', N'v2', 'COLUMN'", 15253, "Syntax error parsing SQL identifier 'W.[[v]]'."},
      {"EXEC sp_rename N'W.v', N'n', 'COLUMN'", 15335,
       "Error: The @newname value 'n' is already in use as a column name and would cause a duplicate that is not permitted."},
  });
  EXPECT_EQ(Int("select count(*) from master..syslogins where name = 'p1'"), 0);  // nothing ran

  // The accepted forms: a call first in its batch, a module alone, options before events,
  // keywords quoted, and the new name of sp_rename taken as written.
  Db().Execute("sp_addlogin 'p2'");
  EXPECT_EQ(Int("select count(*) from master..syslogins where name = 'p2'"), 1);
  Db().Execute("/* leading comment */ CREATE VIEW V1 AS SELECT 1 AS x");
  Db().Execute("CREATE TRIGGER T2 ON W WITH ENCRYPTION FOR INSERT AS SELECT 1");
  EXPECT_EQ(Int("select count(*) from syscomments c join sysobjects o on o.id = c.id where o.name = 'T2' and c.encrypted = 1"), 1);
  Db().Execute("CREATE TABLE [User] ([Key] int NULL, \"Percent\" int NULL)");
  EXPECT_EQ(Int("select count(*) from syscolumns where id = object_id('[User]') and name in ('Key', 'Percent')"), 2);
  Db().Execute("EXEC sp_rename N'V1', N'[V x]'");
  EXPECT_EQ(Int("select count(*) from sysobjects where name = '[V x]'"), 1);
}

TEST_F(FidelityRefusals, LongTimestampAndIdentityInsertRules) {
  ExpectRefused({
      {"ALTER TABLE L ALTER COLUMN tx text NULL", 4928, "Cannot alter column 'tx' because it is 'text'."},
      {"ALTER TABLE L ALTER COLUMN nt nvarchar (10) NULL", 4928, "Cannot alter column 'nt' because it is 'ntext'."},
      {"ALTER TABLE L ALTER COLUMN im varbinary (10) NULL", 4928, "Cannot alter column 'im' because it is 'image'."},
      {"ALTER TABLE L ALTER COLUMN ts binary (8) NULL", 4928, "Cannot alter column 'ts' because it is 'timestamp'."},
      {"ALTER TABLE L ALTER COLUMN v text NULL", 4927, "Cannot alter column 'v' to be data type text."},
      {"INSERT INTO L (v, ts) VALUES ('b', 0x01)", 273, "Cannot insert a non-null value into a timestamp column."},
      {"INSERT INTO L (v, ts) SELECT v, 0x01 FROM W", 273, "Use INSERT with a column list or with a default of NULL"},
      {"SELECT v FROM L WHERE tx = 't'", 306,
       "The text, ntext, and image data types cannot be compared or sorted, except when using IS NULL or LIKE operator."},
      {"SELECT x.v FROM L x JOIN L y ON x.nt <> y.nt", 306, "cannot be compared"},
      {"UPDATE L SET v = 'c' WHERE im = 0x01", 306, "cannot be compared"},
      {"DELETE FROM L WHERE v IN (SELECT v FROM L WHERE (tx) = 'x')", 306, "cannot be compared"},
      {"SELECT v FROM L ORDER BY nt", 306, "cannot be compared or sorted"},
      {"SELECT count(*) FROM L GROUP BY L.tx", 306, "cannot be compared or sorted"},
  });
  Db().Execute("INSERT INTO L (v, ts) VALUES ('b', NULL)");
  EXPECT_EQ(Count("L"), 2);
  EXPECT_EQ(Int("select count(*) from L where tx like 't%' or tx is null"), 2);
  EXPECT_EQ(TextOf("select convert(varchar (10), tx) as tx from L order by tx desc"), "t");

  Db().Execute("SET IDENTITY_INSERT L ON");
  Db().Execute("SET IDENTITY_INSERT L ON");  // the same table again
  ExpectRefused({{"SET IDENTITY_INSERT L2 ON", 8107,
                  "IDENTITY_INSERT is already ON for table 'db.dbo.L'. Cannot perform SET operation for table 'L2'."}});
  Db().Execute("SET IDENTITY_INSERT L OFF SET IDENTITY_INSERT L2 ON");
  Db().Execute("INSERT INTO L2 (id, v) VALUES (7, 'x')");
  EXPECT_EQ(Int("select id from L2"), 7);
}

TEST_F(FidelityRefusals, FileGroupsWithoutFilesHoldNothing) {
  Db().Execute("ALTER DATABASE db ADD FILEGROUP FG_EMPTY");
  const std::string text = "Filegroup 'FG_EMPTY' has no files assigned to it. Tables, indexes, and text, "
                           "ntext, and image columns cannot be created on this filegroup.";
  ExpectRefused({
      {"CREATE TABLE E (a int NULL) ON FG_EMPTY", 1922, text},
      {"CREATE TABLE E (a int NULL, t text NULL) TEXTIMAGE_ON FG_EMPTY", 1922, text},
      {"CREATE INDEX IX_W_v ON W (v) ON FG_EMPTY", 1922, text},
      {"ALTER TABLE L2 ADD CONSTRAINT PK_L2 PRIMARY KEY (id) ON FG_EMPTY", 1922, text},
  });
  Db().Execute("ALTER DATABASE db ADD FILE (NAME = N'db_empty', FILENAME = N'db_empty.ndf') TO FILEGROUP FG_EMPTY");
  Db().Execute("CREATE TABLE E (a int NULL) ON FG_EMPTY");
  EXPECT_EQ(TextOf("select fileGroup_Name(groupid) from sysindexes where id = object_id('E') and indid = 0"), "FG_EMPTY");
}

}  // namespace
