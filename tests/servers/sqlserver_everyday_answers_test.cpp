// Everyday statements of users' checks and scripts, answered as SQL Server 2000 answers them:
// date strings meeting datetime values, byte lengths of Unicode text, COL_LENGTH,
// INDEXKEY_PROPERTY over sysindexes, char against varchar, the catalogue after ALTER COLUMN,
// result columns without a name; and connections to a server never made.
#include "SqlServerFixture.h"

namespace {

// A statement and the first value of its first row set.
struct Answer {
  const char* sql;
  const char* answer;
};

class EverydayAnswers : public SqlServerTest {
 protected:
  // Runs the statements in order on the fixture's session.
  template <size_t N>
  void ExpectAnswers(const Answer (&cases)[N]) {
    for (const Answer& c : cases) EXPECT_EQ(TextOf(c.sql), c.answer) << c.sql;
  }
  void SetUp() override {
    SqlServerTest::SetUp();
    Db().Execute(
        "CREATE TABLE T (id int NOT NULL, d datetime NULL, c char (3) NULL, v varchar (3) NULL, "
        "n nvarchar (10) NULL, nc nchar (4) NULL, tx text NULL, x decimal (9, 2) NULL)");
    Db().Execute("INSERT INTO T (id, d, c, v, n, nc) VALUES (1, '20040315 09:30:00', 'N', 'N', N'abc', N'ab')");
    Db().Execute("INSERT INTO T (id, d, c, v) VALUES (2, 'Mar 15 2004 9:31AM', 'M', 'Q')");
    Db().Execute("INSERT INTO T (id, d) VALUES (3, '03/16/2004')");
    Db().Execute("CREATE TABLE K (a int NOT NULL, b varchar (10) NULL, m money NULL)");
    Db().Execute("CREATE INDEX K_ab ON K (a DESC, b)");
  }
};

TEST_F(EverydayAnswers, StatementsGetTheServersAnswer) {
  const Answer cases[] = {
      // Every string the server reads as a date meets a datetime as that date.
      {"SELECT count(*) FROM T WHERE d = '20040315 09:30:00'", "1"},
      {"SELECT count(*) FROM T WHERE d > '20040315 09:29:00'", "3"},
      {"SELECT count(*) FROM T WHERE d = '2004-03-15 09:31:00.000'", "1"},
      {"SELECT count(*) FROM T WHERE d = '2004-03-15T09:30:00'", "1"},
      {"SELECT count(*) FROM T WHERE d = 'Mar 16 2004'", "1"},
      {"SELECT count(*) FROM T WHERE d < '03/16/2004'", "2"},
      {"SELECT count(*) FROM T WHERE d IN ('20040316', '20040315 09:31')", "2"},
      {"SELECT count(*) FROM T WHERE d BETWEEN '20040315' AND '20040315 23:59'", "2"},
      {"SELECT CASE d WHEN '20040315 09:30' THEN 'first' END FROM T WHERE id = 1", "first"},
      {"SELECT count(*) FROM T a JOIN T b ON b.d > '20040315 09:30' AND a.id = b.id", "2"},
      {"SELECT TOP 1 id FROM T ORDER BY d DESC", "3"},
      {"DECLARE @d datetime SET @d = '20040316' SELECT count(*) FROM T WHERE d = @d", "1"},
      {"UPDATE T SET d = 'March 17, 2004' WHERE id = 3 SELECT count(*) FROM T WHERE d >= '20040317'", "1"},
      // Unicode text takes two bytes a character.
      {"SELECT datalength(N'abc')", "6"},
      {"SELECT datalength('abc')", "3"},
      {"SELECT datalength(n) FROM T WHERE id = 1", "6"},
      {"SELECT datalength(t.nc) FROM T t WHERE id = 1", "8"},
      {"SELECT datalength(CAST(v AS nvarchar (3))) FROM T WHERE id = 1", "2"},
      {"SELECT datalength(v) FROM T WHERE id = 1", "1"},
      // So do the n-type columns of the system tables: names are sysname, a module's text nvarchar.
      {"SELECT datalength(name) FROM sysobjects WHERE id = object_id('T')", "2"},
      {"SELECT sum(datalength(o.name)) FROM dbo.sysobjects o WHERE o.name IN ('T', 'K')", "4"},
      // The defined length in bytes.
      {"SELECT col_length('T', 'n')", "20"},
      {"SELECT col_length('T', 'id')", "4"},
      {"SELECT col_length('T', 'tx')", "16"},
      {"SELECT col_length('T', 'nope')", "<null>"},
      {"SELECT col_length('Nope', 'id')", "<null>"},
      // The caller's own columns as arguments.
      {"SELECT indexkey_property(object_id('K'), indid, 1, 'IsDescending') FROM sysindexes "
       "WHERE id = object_id('K') AND name = 'K_ab'", "1"},
      {"SELECT indexkey_property(object_id('K'), i.indid, 2, 'IsDescending') FROM sysindexes i "
       "WHERE i.id = object_id('K') AND i.name = 'K_ab'", "0"},
      // Trailing blanks do not count between char and varchar.
      {"SELECT count(*) FROM T a JOIN T b ON a.c = b.v", "1"},
      {"SELECT count(*) FROM T a, T b WHERE b.v = a.c", "1"},
      {"SELECT count(*) FROM T a JOIN T b ON a.c = upper(lower(b.v))", "1"},
  };
  ExpectAnswers(cases);
}

TEST_F(EverydayAnswers, AlterColumnLeavesTheCatalogueAsCreateTableWritesIt) {
  const std::string catalogue =
      "SELECT count(*) FROM syscolumns c JOIN syscolumns d ON d.name = c.name WHERE c.id = object_id('K') AND "
      "d.id = object_id('Made') AND isnull(c.prec, -1) = isnull(d.prec, -1) AND isnull(c.scale, -1) = "
      "isnull(d.scale, -1) AND c.length = d.length AND c.typestat = d.typestat";
  Db().Execute("DROP INDEX K.K_ab");
  Db().Execute("ALTER TABLE K ALTER COLUMN a int NULL");
  Db().Execute("ALTER TABLE K ALTER COLUMN b nvarchar (20) NULL");
  Db().Execute("ALTER TABLE K ALTER COLUMN m decimal (12, 3) NULL");
  Db().Execute("CREATE TABLE Made (a int NULL, b nvarchar (20) NULL, m decimal (12, 3) NULL)");
  EXPECT_EQ(TextOf(catalogue), "3");
  EXPECT_EQ(TextOf("SELECT scale FROM syscolumns WHERE id = object_id('K') AND name = 'a'"), "0");
}

TEST_F(EverydayAnswers, RefusalsCarryTheServersNumber) {
  struct Case {
    const char* sql;
    int error;
    const char* message;
  } cases[] = {
      {"ALTER TABLE K ALTER COLUMN b varchar (9000) NULL", 131,
       "The size (9000) given to the column 'b' exceeds the maximum allowed for any data type (8000)."},
      {"ALTER TABLE K ALTER COLUMN b nvarchar (4001) NULL", 131,
       "The size (4001) given to the column 'b' exceeds the maximum allowed for any data type (8000)."},
  };
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(ErrorOf(c.sql, &message), c.error) << c.sql;
    EXPECT_EQ(message, c.message) << c.sql;
  }
  EXPECT_EQ(TextOf("SELECT length FROM syscolumns WHERE id = object_id('K') AND name = 'b'"), "10");
}

// OBJECTPROPERTY answers what the catalogue knows of each object, so the guard generated
// scripts put before a re-create fires; NULL for a property it does not know or no object.
TEST_F(EverydayAnswers, ObjectPropertyAnswersFromTheCatalogue) {
  Db().Execute(
      "CREATE TABLE P (id int IDENTITY NOT NULL CONSTRAINT PK_P PRIMARY KEY, u int NULL CONSTRAINT UQ_P UNIQUE, "
      "q int NULL CONSTRAINT DF_P_q DEFAULT 0 CONSTRAINT CK_P_q CHECK (q >= 0))");
  Db().Execute("CREATE TABLE F (pid int NULL CONSTRAINT FK_F_P REFERENCES P (id))");
  Db().Execute("ALTER TABLE F NOCHECK CONSTRAINT FK_F_P");
  Db().Execute("CREATE PROCEDURE pr AS SELECT 1");
  Db().Execute("CREATE VIEW vw AS SELECT id FROM P");
  Db().Execute("CREATE FUNCTION fs () RETURNS int AS BEGIN RETURN 1 END");
  Db().Execute("CREATE FUNCTION fi () RETURNS TABLE AS RETURN (SELECT id FROM P)");
  Db().Execute("CREATE TRIGGER tr ON P FOR INSERT AS SELECT 1");
  Db().Execute("SET QUOTED_IDENTIFIER OFF SET ANSI_NULLS OFF");
  Db().Execute("CREATE PROCEDURE pr_off AS SELECT 1");
  struct Case {
    const char* object;
    const char* property;
    const char* answer;
  } cases[] = {
      {"pr", "IsProcedure", "1"}, {"P", "IsProcedure", "0"}, {"P", "IsUserTable", "1"},
      {"sysobjects", "IsUserTable", "0"}, {"sysobjects", "IsMSShipped", "1"}, {"P", "IsMSShipped", "0"},
      {"vw", "IsView", "1"}, {"tr", "IsTrigger", "1"}, {"pr", "IsTrigger", "0"},
      {"fs", "IsScalarFunction", "1"}, {"fi", "IsTableFunction", "1"}, {"fi", "IsInlineFunction", "1"},
      {"fs", "IsInlineFunction", "0"}, {"PK_P", "IsConstraint", "1"}, {"PK_P", "IsPrimaryKey", "1"},
      {"FK_F_P", "IsForeignKey", "1"}, {"DF_P_q", "IsDefaultCnst", "1"}, {"CK_P_q", "IsCheckCnst", "1"},
      {"UQ_P", "IsUniqueCnst", "1"}, {"UQ_P", "isprimarykey", "0"}, {"FK_F_P", "CnstIsDisabled", "1"},
      {"CK_P_q", "CnstIsDisabled", "0"}, {"P", "CnstIsDisabled", "<null>"}, {"P", "TableHasPrimaryKey", "1"},
      {"F", "TableHasPrimaryKey", "0"}, {"pr", "TableHasPrimaryKey", "<null>"}, {"P", "TableHasIdentity", "1"},
      {"F", "TableHasIdentity", "0"}, {"pr", "ExecIsQuotedIdentOn", "1"}, {"pr", "ExecIsAnsiNullsOn", "1"},
      {"pr_off", "ExecIsQuotedIdentOn", "0"}, {"pr_off", "ExecIsAnsiNullsOn", "0"}, {"P", "ExecIsAnsiNullsOn", "<null>"},
      {"P", "NoSuchProperty", "<null>"}, {"nothing", "IsProcedure", "<null>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TextOf(std::string("SELECT OBJECTPROPERTY(OBJECT_ID('") + c.object + "'), '" + c.property + "')"),
              c.answer)
        << c.object << " " << c.property;
  // The guard before a re-create drops the procedure, so the CREATE succeeds.
  const std::string recreate =
      "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[pr]') and "
      "OBJECTPROPERTY(id, N'IsProcedure') = 1) drop procedure [dbo].[pr]";
  Db().Execute(recreate);
  Db().Execute("CREATE PROCEDURE pr AS SELECT 2");
  EXPECT_EQ(TextOf("SELECT count(*) FROM sysobjects WHERE name = 'pr'"), "1");
}

// The idioms of real installation scripts, run in order on one session (settings carry on).
TEST_F(EverydayAnswers, ScriptIdiomsRunAsOnTheServer) {
  const Answer cases[] = {
      {"SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED SELECT 1", "1"},
      {"SET TRANSACTION ISOLATION LEVEL READ COMMITTED SELECT 2", "2"},
      {"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ SELECT 3", "3"},
      {"SET TRANSACTION ISOLATION LEVEL SERIALIZABLE SELECT 4", "4"},
      // ANSI_NULLS off: "= NULL" finds the NULLs, "<> NULL" the others, and so does a NULL variable.
      {"SELECT count(*) FROM T WHERE c = NULL", "0"},
      {"SET ANSI_NULLS OFF SELECT count(*) FROM T WHERE c = NULL", "1"},
      {"SELECT count(*) FROM T WHERE c <> NULL", "2"},
      {"DECLARE @v char (3) SELECT count(*) FROM T WHERE c = @v", "1"},
      {"DECLARE @v char (3) SET @v = 'N' SELECT count(*) FROM T WHERE c <> @v", "1"},
      {"DECLARE @v char (3) SELECT count(*) FROM T WHERE @v <> c", "2"},
      // Several options in one SET each take the value.
      {"SET QUOTED_IDENTIFIER, ANSI_NULLS ON SELECT count(*) FROM T WHERE c = NULL", "0"},
      {"SET ANSI_NULLS, QUOTED_IDENTIFIER OFF SELECT \"text\"", "text"},
      {"SET NOCOUNT, QUOTED_IDENTIFIER ON SELECT \"v\" FROM T WHERE id = 1", "N"},
      {"SELECT count(*) FROM T WHERE c = NULL", "1"},
  };
  ExpectAnswers(cases);
  // Long chains of one operator are no deeper than short ones.
  std::string joined = "n", expected = "abc", difference = "1000", product = "1";
  for (int i = 0; i < 60; ++i) {
    joined += " + '|' + n";
    expected += "|abc";
    difference += " - 1";
    product += " * 1";
  }
  EXPECT_EQ(TextOf("SELECT " + joined + " FROM T WHERE id = 1"), expected);
  EXPECT_EQ(TextOf("SELECT " + difference + ", " + product), "940");
  // Added from the left: text joins until a number meets it.
  EXPECT_EQ(TextOf("SELECT '1' + '2' + 3 + 0x01"), "16");
  EXPECT_EQ(ErrorOf("SELECT 1 + 2 + 'x' + 'y'"), 245);
  // A procedure's text measured as scripts measure it: two bytes a character.
  Db().Execute("CREATE PROCEDURE measured AS SELECT 1");
  EXPECT_EQ(TextOf("SELECT SUM(DATALENGTH(text)) FROM syscomments WHERE id = object_id('measured')"),
            std::to_string(2 * std::string("CREATE PROCEDURE measured AS SELECT 1").size()));
}

// sp_helpindex answers with the indexes of a table, and INSERT ... EXEC keeps its rows.
TEST_F(EverydayAnswers, HelpIndexAnswersAndFillsATable) {
  Db().Execute("CREATE TABLE H (a int NOT NULL CONSTRAINT PK_H PRIMARY KEY, b int NULL CONSTRAINT UQ_H UNIQUE, c int NULL)");
  Db().Execute("CREATE INDEX H_cb ON H (c DESC, b)");
  Db().Execute("CREATE PROCEDURE user_proc AS SELECT 1, 2, 3");
  const ado::RowSet rows = Rows("EXEC sp_helpindex 'H'");
  ASSERT_EQ(rows.Fields.size(), 3u);
  EXPECT_EQ(rows.Fields[0].Name, "index_name");
  std::string answer;
  for (const auto& r : rows.Rows) answer += r[0].AsString() + "|" + r[1].AsString() + "|" + r[2].AsString() + "\n";
  EXPECT_EQ(answer,
            "H_cb|nonclustered located on PRIMARY|c(-), b\n"
            "PK_H|clustered, unique, primary key located on PRIMARY|a\n"
            "UQ_H|nonclustered, unique, unique key located on PRIMARY|b\n");
  Db().Execute("CREATE TABLE #ix (index_name sysname, index_description varchar (210), index_keys nvarchar (2078))");
  Db().Execute("INSERT INTO #ix EXEC sp_helpindex 'dbo.H'");
  EXPECT_EQ(TextOf("SELECT count(*) FROM #ix WHERE index_keys = 'c(-), b'"), "1");
  EXPECT_EQ(TextOf("SELECT count(*) FROM #ix"), "3");
  // A table without indexes gives no rows; a user procedure's body stays unrun.
  Db().Execute("INSERT INTO #ix EXEC sp_helpindex 'T'");
  Db().Execute("INSERT INTO #ix EXEC user_proc");
  EXPECT_EQ(TextOf("SELECT count(*) FROM #ix"), "3");
  EXPECT_EQ(ErrorOf("EXEC sp_helpindex 'Nothing'"), 15009);
}

// Result columns were named by their expression's text ("count(*)").
TEST_F(EverydayAnswers, AResultColumnWithoutANameHasNone) {
  const ado::RowSet rows = Rows("SELECT count(*), id, (v), len(v) AS lv, *, 'x' FROM T WHERE id = 1");
  std::vector<std::string> names;
  for (const auto& f : rows.Fields) names.push_back(f.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"", "id", "v", "lv", "id", "d", "c", "v", "n", "nc", "tx", "x", ""}));
}

// A mistyped server name made a new empty server, and the statements ran there.
TEST_F(EverydayAnswers, AConnectionToAServerNeverMadeIsRefused) {
  struct Case {
    std::string connection;
    int error;
    const char* message;
  } cases[] = {
      {"Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=master;Data Source=TESTSRVX", 17,
       "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied."},
      {"Provider=SQLOLEDB.1;User ID=sa;Password=pw1;Server=(local)", 17,
       "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied."},
      {"Provider=ASAProv.90;Eng=TESTSRV", -100, "Database server not found"},
      {"Provider=ASAProv.90;Eng=Nowhere;dbn=db", -100, "Database server not found"},
  };
  for (const Case& c : cases) {
    try {
      ado::ProviderRegistry::Instance().Open(c.connection);
      ADD_FAILURE() << "connected: " << c.connection;
    } catch (const ado::EOleException& e) {
      EXPECT_EQ(e.NativeError(), c.error) << c.connection;
      EXPECT_EQ(std::string(e.what()), c.message) << c.connection;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(root_ + "/testsrvx"));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/nowhere"));
  // Made once, a server is there to connect to; made again, it is refused.
  server_test::MakeAsaServer("TESTSRV");
  EXPECT_NO_THROW(ado::ProviderRegistry::Instance().Open("Provider=ASAProv.90;Eng=TESTSRV"));
  EXPECT_THROW(server_test::MakeSqlServer("TESTSRV"), ado::EOleException);
  EXPECT_THROW(server_test::MakeAsaServer("TESTSRV"), ado::EOleException);
  EXPECT_EQ(TextOf("SELECT count(*) FROM T"), "3");
}

}  // namespace
