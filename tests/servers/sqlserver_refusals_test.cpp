// The server's refusals: each comes with SQL Server's error number and text and leaves schema
// and rows as they were; the session stays usable.
#include "SampleDatabase.h"
#include "Snapshot.h"
#include "SqlServerFixture.h"

class RefusalsTest : public SqlServerTest {
 protected:
  void SetUp() override {
    SqlServerTest::SetUp();
    sample_db::Build(Db());
    Db().Execute("CREATE TABLE Loose (k int NULL, v nvarchar(10) NULL)");
    Db().Execute("INSERT INTO Loose (k, v) VALUES (1, 'a') INSERT INTO Loose (k, v) VALUES (1, NULL)");
  }
  // Runs the statement, expects the error, and checks nothing changed.
  void ExpectRefused(const std::string& sql, int number, const std::string& text) {
    std::string before = Snapshot(Db());
    int64_t customers = Count("Customers");
    std::string message;
    EXPECT_EQ(ErrorOf(sql, &message), number) << sql << "\n" << message;
    EXPECT_NE(message.find(text), std::string::npos) << sql << "\n" << message;
    EXPECT_EQ(Snapshot(Db()), before) << sql;
    EXPECT_EQ(Count("Customers"), customers);  // still usable
  }
};

TEST_F(RefusalsTest, ColumnsThatConstraintsDependOn) {
  ExpectRefused("ALTER TABLE Customers DROP COLUMN Created", 5074,
                "The object 'DF_Customers_Created' is dependent on column 'Created'.");
  ExpectRefused("ALTER TABLE Customers DROP COLUMN Code", 5074,
                "The object 'UQ_Customers_Code' is dependent on column 'Code'.");
  ExpectRefused("ALTER TABLE Customers DROP COLUMN CustId", 5074, "is dependent on column 'CustId'.");
  ExpectRefused("ALTER TABLE Orders DROP COLUMN CustId", 5074, "is dependent on column 'CustId'.");
  ExpectRefused("ALTER TABLE Customers DROP COLUMN Rate", 5074,
                "The object 'CK_Customers_Rate' is dependent on column 'Rate'.");
  ExpectRefused("ALTER TABLE Customers ALTER COLUMN Code char (20) NULL", 5074,
                "ALTER TABLE ALTER COLUMN Code failed because one or more objects access this column.");
  ExpectRefused("ALTER TABLE Orders ALTER COLUMN Amount int NULL", 5074, "IX_Orders_Amount");
}

TEST_F(RefusalsTest, DuplicateKeysOrphansAndNulls) {
  ExpectRefused("ALTER TABLE Loose ADD CONSTRAINT PK_Loose PRIMARY KEY (k)", 8111,
                "Cannot define PRIMARY KEY constraint on nullable column in table 'Loose'.");
  ExpectRefused("ALTER TABLE Loose ADD CONSTRAINT UQ_Loose UNIQUE (k)", 1505,
                "CREATE UNIQUE INDEX terminated because a duplicate key was found");
  ExpectRefused("CREATE UNIQUE INDEX IX_Loose ON Loose (k)", 1505, "Most significant primary key is '1'.");
  ExpectRefused("ALTER TABLE Loose ALTER COLUMN v nvarchar (10) NOT NULL", 515,
                "Cannot insert the value NULL into column 'v', table 'db.dbo.Loose'; column does not allow nulls.");
  Db().Execute("INSERT INTO Loose (k, v) VALUES (99, 'x')");
  ExpectRefused("ALTER TABLE Loose ADD CONSTRAINT FK_Loose FOREIGN KEY (k) REFERENCES Customers (CustId)", 547,
                "ALTER TABLE statement conflicted with COLUMN FOREIGN KEY constraint 'FK_Loose'.");
  ExpectRefused("INSERT INTO Customers (Name, Code) VALUES ('dup', 'C1')", 2627,
                "Violation of UNIQUE KEY constraint 'UQ_Customers_Code'. Cannot insert duplicate key in object 'Customers'.");
  ExpectRefused("INSERT INTO Orders (OrderId, CustId) VALUES (1, 10)", 2627,
                "Violation of PRIMARY KEY constraint 'PK_Orders'.");
  ExpectRefused("INSERT INTO Orders (OrderId, CustId) VALUES (5, 999)", 547,
                "INSERT statement conflicted with COLUMN FOREIGN KEY constraint 'FK_Orders_Customers'.");
  ExpectRefused("INSERT INTO Customers (Code) VALUES ('C9')", 515, "Cannot insert the value NULL into column 'Name'");
  ExpectRefused("INSERT INTO Customers (Name, Rate) VALUES ('neg', -1)", 547, "CK_Customers_Rate");
  // A unique key holds one NULL, and compares text with case ignored.
  Db().Execute("INSERT INTO Customers (Name) VALUES ('no code')");
  ExpectRefused("INSERT INTO Customers (Name) VALUES ('no code either')", 2627, "UQ_Customers_Code");
  ExpectRefused("INSERT INTO Customers (Name, Code) VALUES ('case', 'c1')", 2627, "UQ_Customers_Code");
  ExpectRefused("INSERT INTO Orders (OrderId, CustId, B, S) VALUES (7, 10, 1, 1)", 2601,
                "Cannot insert duplicate key row in object 'Orders' with unique index 'IX_Orders_B'.");
}

TEST_F(RefusalsTest, TablesIdentityAndNames) {
  ExpectRefused("DROP TABLE Customers", 3726,
                "Could not drop object 'Customers' because it is referenced by a FOREIGN KEY constraint.");
  ExpectRefused("INSERT INTO Customers (CustId, Name) VALUES (500, 'x')", 544,
                "Cannot insert explicit value for identity column in table 'Customers' when IDENTITY_INSERT is set to OFF.");
  ExpectRefused("CREATE TABLE customers (a int)", 2714, "There is already an object named 'customers' in the database.");
  ExpectRefused("ALTER TABLE Orders ADD CONSTRAINT PK_Customers UNIQUE (B)", 2714, "PK_Customers");
  ExpectRefused("DROP TABLE Nothing", 3701, "Cannot drop the table 'Nothing'");
  ExpectRefused("DROP INDEX Customers.PK_Customers", 3723, "An explicit DROP INDEX is not allowed on index 'Customers.PK_Customers'.");
  ExpectRefused("ALTER TABLE Customers DROP CONSTRAINT PK_Customers", 3725,
                "The constraint 'PK_Customers' is being referenced by table 'Orders', foreign key constraint 'FK_Orders_Customers'.");
  ExpectRefused("ALTER TABLE Customers ADD Extra int NOT NULL", 4901, "ALTER TABLE only allows columns to be added");
}

TEST_F(RefusalsTest, ValuesThatDoNotFitTheirColumns) {
  Db().Execute("CREATE TABLE Fit (i int NULL, t tinyint NULL, s nvarchar (3) NULL, c char (2) NULL, v nvarchar (10) NULL)");
  Db().Execute("INSERT INTO Fit (i, t, s, c, v) VALUES ('42', 255, 'abc', 'x', 'abc')");
  ExpectRefused("INSERT INTO Fit (i) VALUES ('abc')", 245, "Syntax error converting the varchar value 'abc' to a column of data type int.");
  ExpectRefused("INSERT INTO Fit (t) VALUES (300)", 8115, "Arithmetic overflow error converting expression to data type tinyint.");
  ExpectRefused("UPDATE Fit SET s = 'abcd'", 8152, "String or binary data would be truncated.");
  ExpectRefused("INSERT INTO Fit (c) VALUES ('xyz')", 8152, "String or binary data would be truncated.");
  ExpectRefused("ALTER TABLE Fit ALTER COLUMN v int NULL", 245, "to a column of data type int.");
  ExpectRefused("ALTER TABLE Fit ALTER COLUMN s nvarchar (2) NULL", 8152, "String or binary data would be truncated.");
  EXPECT_EQ(Value("SELECT i + 1 FROM Fit").AsInt(), 43);
  EXPECT_EQ(Value("SELECT c FROM Fit").AsString(), "x ");
  Db().Execute("UPDATE Fit SET v = '17'");
  Db().Execute("ALTER TABLE Fit ALTER COLUMN v int NULL");
  EXPECT_EQ(Value("SELECT v * 2 FROM Fit").AsInt(), 34);
}

TEST_F(RefusalsTest, BadInputNamesThePlace) {
  ExpectRefused("CREATE TABLE X (a int,, b int)", 170, "Line 1: Incorrect syntax near ','.");
  ExpectRefused("SELECT * FROM Customers WHERE", 156, "Line 1: Incorrect syntax near the keyword 'WHERE'.");
  ExpectRefused("INSERT INTO Customers (Name) VALUES ('open", 105, "Unclosed quotation mark");
  ExpectRefused("SELECT * FROM Nowhere", 208, "Invalid object name 'Nowhere'.");
  ExpectRefused("SELECT Nope FROM Customers", 207, "Invalid column name 'Nope'.");
  ExpectRefused("UPDATE Customers SET Nope = 1", 207, "Invalid column name 'Nope'.");
  ExpectRefused("FROBNICATE the database", 170, "Incorrect syntax near 'FROBNICATE'.");
  ExpectRefused("SELECT 1\nSELECT * FROM Customers ORDER BY", 156, "Line 2: Incorrect syntax near the keyword 'BY'.");
  // A batch fails as a whole when it does not parse: the first statement does not run either.
  ExpectRefused("INSERT INTO Loose (k) VALUES (7) SELECT FROM", 156, "Incorrect syntax near the keyword 'FROM'.");
  ExpectRefused("SELECT CustId FROM Customers WHERE CustId = = 1", 170, "Line 1: Incorrect syntax near '='.");
}
