// Queries and data changes as users and the engine write them: joins, grouping, sub-queries,
// unions, TOP, UPDATE and DELETE with FROM, INSERT ... SELECT, dates in the server's order.
#include "SampleDatabase.h"
#include "SqlServerFixture.h"
#include "TwoSessions.h"

class QueriesTest : public SqlServerTest {
 protected:
  void SetUp() override {
    SqlServerTest::SetUp();
    sample_db::Build(Db());
    Db().Execute("INSERT INTO Orders (OrderId, CustId, Amount, B) VALUES (3, 10, 4, 3) "
                 "INSERT INTO Orders (OrderId, CustId, Amount, SD, B) VALUES (4, 15, 1, '12/31/2020', 4)");
  }
};

TEST_F(QueriesTest, JoinsGroupingSubqueriesAndUnions) {
  auto g = Rows("SELECT c.Name, count(*) AS n, sum(o.Amount) AS total FROM Customers c INNER JOIN Orders o "
                "ON o.CustId = c.CustId GROUP BY c.Name HAVING count(*) > 1 ORDER BY c.Name");
  ASSERT_EQ(g.Rows.size(), 2u);
  EXPECT_EQ(g.Rows[0][0].AsString(), "O'Brien");
  EXPECT_EQ(g.Rows[0][1].AsInt(), 2);
  EXPECT_DOUBLE_EQ(g.Rows[0][2].AsFloat(), 6.5);
  EXPECT_EQ(Value("SELECT TOP 1 OrderId FROM Orders ORDER BY Amount DESC").AsInt(), 2);
  EXPECT_EQ(Value("SELECT count(*) FROM Customers WHERE CustId IN (SELECT CustId FROM Orders WHERE Amount > 5)").AsInt(), 1);
  EXPECT_EQ(Value("SELECT count(*) FROM Customers c WHERE NOT EXISTS (SELECT * FROM Orders o WHERE o.CustId = c.CustId)").AsInt(), 0);
  EXPECT_EQ(Rows("SELECT Name FROM Customers UNION SELECT 'zz' UNION ALL SELECT 'zz'").Rows.size(), 4u);
  auto left = Rows("SELECT c.Name, o.OrderId FROM Customers AS c LEFT OUTER JOIN Orders AS o ON o.CustId = c.CustId AND o.Amount > 100");
  EXPECT_EQ(left.Rows.size(), 2u);
  EXPECT_TRUE(left.Rows[0][1].IsNull());
  EXPECT_EQ(Value("SELECT CASE WHEN Amount BETWEEN 2 AND 3 THEN 'mid' ELSE 'out' END FROM Orders WHERE OrderId = 1").AsString(), "mid");
  EXPECT_EQ(Value("SELECT Name FROM Customers WHERE Name LIKE 'ro%'").AsString(), "Rossi");
  EXPECT_EQ(Value("SELECT upper(substring(Name, 1, 3)) + '-' + convert(varchar(10), CustId) FROM Customers WHERE CustId = 15").AsString(), "ROS-15");
  EXPECT_EQ(Value("SELECT isnull(Rate, -1) FROM Customers WHERE CustId = 15").AsInt(), -1);
  EXPECT_EQ(Value("SELECT OrderId FROM Orders WHERE SD = '12/31/2020'").AsInt(), 4);
  EXPECT_EQ(Value("SELECT year(SD) FROM Orders WHERE OrderId = 4").AsInt(), 2020);
  // Names are case-insensitive, in identifiers and in compared text.
  EXPECT_EQ(Value("select NAME from CUSTOMERS where name = 'ROSSI'").AsString(), "Rossi");
}

TEST_F(QueriesTest, ChangesWithFromInsertSelectAndSelfReference) {
  Db().Execute("UPDATE o SET o.Amount = o.Amount * 10 FROM Orders o INNER JOIN Customers c ON c.CustId = o.CustId WHERE c.Name = 'Rossi'");
  EXPECT_EQ(Value("SELECT sum(Amount) FROM Orders WHERE CustId = 15").AsInt(), 80);
  Db().Execute("DELETE FROM Orders FROM Orders o JOIN Customers c ON c.CustId = o.CustId WHERE c.Name = 'Rossi'");
  EXPECT_EQ(Count("Orders"), 2);
  auto r = Db().Execute("DELETE Orders WHERE OrderId = 999");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].RowsAffected, 0);
  Db().Execute("CREATE TABLE Archive (Id int IDENTITY (1, 1) NOT NULL, OrderId int NULL, Amount float NULL)");
  r = Db().Execute("INSERT INTO Archive (OrderId, Amount) SELECT OrderId, Amount FROM Orders ORDER BY OrderId");
  EXPECT_EQ(r[0].RowsAffected, 2);
  EXPECT_EQ(Value("SELECT max(Id) FROM Archive").AsInt(), 2);
  Db().Execute("CREATE TABLE Stamps (D datetime NULL, C char(3) NULL, B bit NULL)");
  Db().Execute("INSERT INTO Stamps (D, C, B) SELECT '01/02/2003', 'x', 5");
  auto st = Rows("SELECT convert(varchar(30), D), C, B FROM Stamps");
  EXPECT_EQ(st.Rows[0][0].AsString(), "2003-01-02 00:00:00.000");
  EXPECT_EQ(st.Rows[0][1].AsString(), "x  ");
  EXPECT_EQ(st.Rows[0][2].AsBool(), true);
  EXPECT_EQ(ErrorOf("INSERT INTO Stamps (D, C) SELECT '01/02/2003'"), 120);

  Db().Execute("CREATE TABLE Tree (Id int NOT NULL, Parent int NULL, CONSTRAINT FK_Tree FOREIGN KEY (Parent) "
               "REFERENCES Tree (Id), CONSTRAINT PK_Tree PRIMARY KEY (Id))");
  Db().Execute("INSERT INTO Tree VALUES (1, NULL) INSERT INTO Tree VALUES (2, 1)");
  EXPECT_THROW(Db().Execute("INSERT INTO Tree VALUES (3, 7)"), ado::EOleException);
  EXPECT_THROW(Db().Execute("DELETE FROM Tree WHERE Id = 1"), ado::EOleException);
  // Several statements in one batch give one result each.
  auto many = Db().Execute("SELECT 1; UPDATE Tree SET Parent = NULL; SELECT count(*) FROM Tree");
  ASSERT_EQ(many.size(), 3u);
  EXPECT_EQ(many[1].RowsAffected, 2);
  EXPECT_EQ(many[2].Rows.Rows[0][0].AsInt(), 2);
}

TEST_F(QueriesTest, ResultFieldsCarryTheServersTypes) {
  auto rs = Rows("SELECT c.Name, c.Code, c.Notes, c.Created, c.Balance, c.Rate, o.Flag, o.OrderId, o.Amount, "
                 "o.IM, (SELECT count(*) FROM Orders) AS n, o.VC + 'x' AS joined FROM Customers c "
                 "JOIN Orders o ON o.CustId = c.CustId");  // long values are not grouped (306)
  ASSERT_EQ(rs.Fields.size(), 12u);
  using ado::FieldType;
  EXPECT_EQ(rs.Fields[0].Type, FieldType::ftString);
  EXPECT_EQ(rs.Fields[0].Size, 50);
  EXPECT_EQ(rs.Fields[1].Size, 8);
  EXPECT_EQ(rs.Fields[2].Type, FieldType::ftMemo);
  EXPECT_EQ(rs.Fields[3].Type, FieldType::ftDateTime);
  EXPECT_EQ(rs.Fields[4].Type, FieldType::ftCurrency);
  EXPECT_EQ(rs.Fields[5].Type, FieldType::ftBCD);
  EXPECT_EQ(rs.Fields[5].Precision, 10);
  EXPECT_EQ(rs.Fields[5].Scale, 3);
  EXPECT_EQ(rs.Fields[6].Type, FieldType::ftBoolean);
  EXPECT_EQ(rs.Fields[7].Type, FieldType::ftInteger);
  EXPECT_EQ(rs.Fields[8].Type, FieldType::ftFloat);
  EXPECT_EQ(rs.Fields[9].Type, FieldType::ftBlob);
  EXPECT_EQ(rs.Fields[10].Type, FieldType::ftInteger);
  EXPECT_EQ(rs.Fields[10].Name, "n");
  EXPECT_EQ(rs.Fields[11].Type, FieldType::ftString);
  auto cat = Rows("SELECT name, xtype FROM sysobjects WHERE name = 'Customers'");
  EXPECT_EQ(cat.Fields[0].Type, FieldType::ftString);
  EXPECT_EQ(cat.Fields[0].Size, 128);
  EXPECT_EQ(cat.Rows[0][1].AsString(), "U");
}

TEST_F(QueriesTest, VariablesLiveForTheirBatch) {
  auto r = Db().Execute(
      "DECLARE @n int, @name nvarchar(50) = 'Ros' + 'si', @when datetime "
      "SELECT @n = count(*) FROM Orders WHERE CustId = 15 "
      "SET @when = '12/31/2020' "
      "SELECT @n AS n, @name AS name, CustId FROM Customers WHERE Name = @name "
      "SELECT OrderId FROM Orders WHERE SD = @when");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].Rows.Rows[0][0].AsInt(), 2);
  EXPECT_EQ(r[0].Rows.Rows[0][1].AsString(), "Rossi");
  EXPECT_EQ(r[1].Rows.Rows[0][0].AsInt(), 4);
  EXPECT_EQ(ErrorOf("SELECT @n"), 137);  // gone with its batch
  EXPECT_EQ(ErrorOf("DECLARE @a int DECLARE @a int"), 134);
  EXPECT_EQ(ErrorOf("DECLARE @a int SET @a = 'x'"), 245);
  EXPECT_EQ(ErrorOf("DECLARE @a int SELECT @a = 1, Name FROM Customers"), 141);
  EXPECT_EQ(ErrorOf("DECLARE @a int EXEC ('SELECT @a')"), 137);
}

// Rows written by statements of one shape keep their own values, and a table another connection
// made anew is written as it is now.
TEST_F(QueriesTest, RowStatementsOfOneShapeWriteTheirOwnValuesIntoTheTableAsItIs) {
  Db().Execute("CREATE TABLE S (k int NOT NULL PRIMARY KEY, v varchar(10) NULL)");
  Db().Execute("INSERT INTO S (k, v) VALUES (1, 'a')");
  Db().Execute("INSERT INTO S (k, v) VALUES (2, 'it''s')");
  Db().Execute("IF NOT EXISTS (SELECT * FROM S WHERE k = 2) INSERT INTO S (k, v) VALUES (2, 'no')");
  Db().Execute("UPDATE S SET v = 'b' WHERE k = 1");
  EXPECT_EQ(ErrorOf("INSERT INTO S (k, v) VALUES ('x', 'c')"), 245);  // the value's own conversion error
  const ado::RowSet rs = Rows("SELECT k, v FROM S ORDER BY k");
  ASSERT_EQ(rs.Rows.size(), 2u);
  EXPECT_EQ(rs.Rows[0][1].AsString(), "b");
  EXPECT_EQ(rs.Rows[1][1].AsString(), "it's");
  auto other = Connect("db");
  other->Execute("DROP TABLE S");
  other->Execute("CREATE TABLE S (w int NULL, k int NOT NULL PRIMARY KEY, v varchar(10) NULL)");
  Db().Execute("INSERT INTO S (k, v) VALUES (3, 'c')");
  const ado::RowSet now = Rows("SELECT w, k, v FROM S");
  ASSERT_EQ(now.Rows.size(), 1u);
  EXPECT_TRUE(now.Rows[0][0].IsNull());
  EXPECT_EQ(now.Rows[0][2].AsString(), "c");
}

// Statements kept for reuse: the same texts run again, by this and another connection, still
// describe the tables as they are after another connection changed them.
TEST_F(QueriesTest, RepeatedTextsFollowChangesOfAnotherConnection) {
  Db().Execute("CREATE TABLE K (a int NULL)");
  Db().Execute("INSERT INTO K (a) VALUES (1)");
  for (int run = 0; run < 3; ++run) EXPECT_EQ(Rows("SELECT * FROM K WHERE a = 1").Fields.size(), 1u);
  auto other = Connect("db");
  other->Execute("ALTER TABLE K ADD b int NULL");
  other->Execute("UPDATE K SET b = 7");
  const ado::RowSet rs = Rows("SELECT * FROM K WHERE a = 1");
  ASSERT_EQ(rs.Fields.size(), 2u);
  EXPECT_EQ(rs.Rows.at(0).at(1).AsInt(), 7);
  EXPECT_EQ(TextOf("SELECT index_col('dbo.K', 1, 1)"), "<null>");
  // Names found (or not found) before are looked up again after the other connection's change.
  EXPECT_EQ(ErrorOf("SELECT * FROM M"), 208);
  other->Execute("DROP TABLE K");
  other->Execute("CREATE TABLE K (c int NULL, d int NULL, e int NULL)");
  other->Execute("CREATE TABLE M (a int NULL)");
  EXPECT_EQ(Rows("SELECT * FROM K WHERE c = 1").Fields.size(), 3u);
  EXPECT_EQ(Rows("SELECT * FROM M").Fields.size(), 1u);
}

// A batch that waited for another session's transaction reads the catalogue as that session
// committed it: the statement that waited and those after it in the batch.
TEST_F(QueriesTest, ABatchThatWaitedForAnotherSessionSeesItsCommittedDefinitions) {
  Db().Execute("CREATE TABLE t3 (a int NOT NULL, c varchar(10) NULL)");
  Db().Execute("INSERT INTO t3 (a, c) VALUES (1, 'x')");
  EXPECT_EQ(Value("SELECT COL_LENGTH('t3', 'c')").AsInt(), 10);
  auto other = Connect("db");
  other->BeginTrans();
  other->Execute("ALTER TABLE t3 ALTER COLUMN c varchar(20) NULL");
  other->Execute("ALTER TABLE t3 ADD d int NOT NULL DEFAULT 7");
  std::string failure;
  const auto r = RunWhileAnotherCommits(Db(), *other, "INSERT INTO t3 (a) VALUES (2) SELECT COL_LENGTH('t3', 'c')",
                                        failure);
  EXPECT_EQ(failure, "");
  ASSERT_FALSE(r.empty());
  EXPECT_EQ(r.back().Rows.Rows.at(0).at(0).AsInt(), 20);
  EXPECT_EQ(Value("SELECT d FROM t3 WHERE a = 2").AsInt(), 7);
}

// The catalogue functions' answers, kept between rows and statements, follow a change by this
// connection, by another one, and a rollback; ident_current follows every insert.
TEST_F(QueriesTest, CatalogueFunctionAnswersFollowTheCatalogue) {
  Db().Execute("CREATE TABLE I (a int IDENTITY (5, 2) NOT NULL, b int NULL)");
  EXPECT_EQ(Value("SELECT ident_seed('I')").AsInt(), 5);
  Db().Execute("DROP TABLE I CREATE TABLE I (a int IDENTITY (7, 3) NOT NULL, b int NULL)");
  EXPECT_EQ(Value("SELECT ident_incr('I')").AsInt(), 3);
  auto other = Connect("db");
  other->Execute("DROP TABLE I CREATE TABLE I (a int IDENTITY (9, 1) NOT NULL, b int NULL)");
  EXPECT_EQ(Value("SELECT ident_seed('I')").AsInt(), 9);
  Db().BeginTrans();
  Db().Execute("DROP TABLE I CREATE TABLE I (a int IDENTITY (11, 1) NOT NULL, b int NULL)");
  EXPECT_EQ(Value("SELECT ident_seed('I')").AsInt(), 11);
  Db().RollbackTrans();
  EXPECT_EQ(Value("SELECT ident_seed('I')").AsInt(), 9);
  Db().Execute("INSERT INTO I (b) VALUES (1)");
  EXPECT_EQ(Value("SELECT ident_current('I')").AsInt(), 9);
  Db().Execute("INSERT INTO I (b) VALUES (1)");
  EXPECT_EQ(Value("SELECT ident_current('I')").AsInt(), 10);
  // Asked for many rows, the identities of all tables are read at once, and followed as well.
  std::string names = "CREATE TABLE Names (n varchar(10) NULL)";
  for (int i = 0; i < 40; ++i) names += " INSERT INTO Names (n) VALUES ('i')";
  Db().Execute(names + " INSERT INTO Names (n) VALUES ('dbo.I') INSERT INTO Names (n) VALUES ('Names')");
  EXPECT_EQ(Value("SELECT sum(ident_seed(n)) FROM Names").AsInt(), 41 * 9);
  other->Execute("DROP TABLE I CREATE TABLE I (a int IDENTITY (2, 5) NOT NULL)");
  EXPECT_EQ(Value("SELECT sum(ident_incr(n)) FROM Names").AsInt(), 41 * 5);
}

// A statement undone inside a transaction takes back what it wrote to the catalogue: what it
// read of the catalogue midway is no answer to the statements after it.
TEST_F(QueriesTest, AFailedStatementLeavesNoCatalogueAnswerItReadMidway) {
  Db().Execute("CREATE TABLE F (a int NOT NULL, c varchar(10) NULL) INSERT INTO F (a, c) VALUES (1, 'x')");
  struct Case {
    const char* failing;  // writes the catalogue, reads it back, then fails
    int error;
    const char* question;  // asked afterwards, in the same transaction
  } const cases[] = {
      // The later column's check reads the catalogue with the first column added.
      {"ALTER TABLE F ADD d int NOT NULL DEFAULT 7, e int NULL CONSTRAINT ck_e CHECK (COL_LENGTH('F', 'd') IS NULL)",
       547, "SELECT COL_LENGTH('F', 'd')"},
      // The rows are copied into the table once it is made; a value computed then fails.
      {"SELECT a, 1 / CASE WHEN OBJECT_ID('G') IS NULL THEN 1 ELSE 0 END AS q INTO G FROM F", 8134,
       "SELECT OBJECT_ID('G')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    Db().BeginTrans();
    EXPECT_EQ(ErrorOf(c.failing), c.error);
    EXPECT_EQ(TextOf(c.question), "<null>");
    Db().RollbackTrans();
  }
  EXPECT_EQ(Rows("SELECT * FROM F").Fields.size(), 2u);
}
