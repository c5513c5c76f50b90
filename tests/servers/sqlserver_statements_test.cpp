// The statement forms the engine writes, run end to end and read back from the catalogue.
#include "SampleDatabase.h"
#include "SqlServerFixture.h"

class StatementsTest : public SqlServerTest {
 protected:
  void SetUp() override {
    SqlServerTest::SetUp();
    sample_db::Build(Db());
  }
  int64_t Int(const std::string& sql) { return Value(sql).AsInt(); }
};

TEST_F(StatementsTest, CopyDataConditionalsAndIdentityInsert) {
  Db().Execute("IF EXISTS (SELECT * FROM [Customers] WHERE CustId = 10 ) EXEC ('UPDATE [Customers] SET [Name] = ''Upd''''s'' WHERE CustId = 10') "
               "ELSE EXEC ('INSERT INTO [Customers] ([Name]) VALUES (''new'')')");
  EXPECT_EQ(TextOf("select Name from Customers where CustId = 10"), "Upd's");
  Db().Execute("IF NOT EXISTS (SELECT * FROM [Customers] WHERE CustId = 77 ) EXEC ('INSERT INTO [Customers] ([Name], [Code], [Created]) VALUES (''seventy'', ''C70'', ''03/04/2021 10:11:12'')')");
  EXPECT_EQ(TextOf("select convert(nvarchar, Created) from Customers where Name = 'seventy'"), "2021-03-04 10:11:12.000");
  Db().Execute("set IDENTITY_INSERT [Customers] ON");
  Db().Execute("INSERT INTO [Customers] ([CustId], [Name], [Code]) VALUES (1000, 'explicit', 'C1000')");
  Db().Execute("set IDENTITY_INSERT [Customers] OFF");
  Db().Execute("INSERT INTO [Customers] ([Name], [Code]) VALUES ('after', 'C1005')");
  EXPECT_EQ(Int("select CustId from Customers where Name = 'after'"), 1005);
  EXPECT_EQ(Int("select IDENT_CURRENT('Customers')"), 1005);
  EXPECT_EQ(Int("select @@IDENTITY"), 1005);
  EXPECT_EQ(Int("select SCOPE_IDENTITY()"), 1005);
  // Move: renumber within the key group.
  Db().Execute("CREATE TABLE Seqs (Grp int NOT NULL, Seq int NOT NULL, V nvarchar(5) NULL, CONSTRAINT PK_Seqs PRIMARY KEY (Grp, Seq))");
  Db().Execute("INSERT INTO Seqs VALUES (1, 1, 'a') INSERT INTO Seqs VALUES (1, 2, 'b')");
  Db().Execute("IF EXISTS (SELECT * FROM [Seqs] WHERE Grp = 1 and Seq = 1 ) EXEC ('UPDATE [Seqs] SET [Seq] = (SELECT max([Seq]) FROM [Seqs] WHERE Grp = 1) + 1 WHERE Grp = 1 and Seq = 1')");
  Db().Execute("INSERT INTO [Seqs] ([Grp], [Seq], [V]) VALUES (1, 1, 'm')");
  EXPECT_EQ(TextOf("select V from Seqs where Grp = 1 and Seq = 3"), "a");
  EXPECT_EQ(TextOf("select V from Seqs where Grp = 1 and Seq = 1"), "m");
  // Columns added to rows that exist: identity numbers them, a NOT NULL default fills them,
  // a nullable column with a default leaves them NULL.
  Db().Execute("ALTER TABLE Seqs ADD Num int IDENTITY (100, 10) NOT NULL, Flag bit NOT NULL CONSTRAINT DF_Seqs_Flag DEFAULT (1), "
               "Opt int NULL CONSTRAINT DF_Seqs_Opt DEFAULT (7)");
  auto added = Rows("select Num, Flag, Opt from Seqs order by Num");
  ASSERT_EQ(added.Rows.size(), 3u);
  EXPECT_EQ(added.Rows[0][0].AsInt(), 100);
  EXPECT_EQ(added.Rows[2][0].AsInt(), 120);
  EXPECT_TRUE(added.Rows[1][1].AsBool());
  EXPECT_TRUE(added.Rows[1][2].IsNull());
  Db().Execute("INSERT INTO Seqs (Grp, Seq) VALUES (2, 1)");
  EXPECT_EQ(Int("select Num from Seqs where Grp = 2"), 130);
  EXPECT_EQ(Int("select Opt from Seqs where Grp = 2"), 7);
  // A default does not stop a change of size or nullability, only of type.
  EXPECT_EQ(ErrorOf("ALTER TABLE Seqs ALTER COLUMN Opt int NOT NULL"), 515);
  Db().Execute("UPDATE Seqs SET Opt = 0 WHERE Opt IS NULL");
  Db().Execute("ALTER TABLE Seqs ALTER COLUMN Opt int NOT NULL");
  EXPECT_EQ(Int("select isnullable from syscolumns where id = object_id('Seqs') and name = 'Opt'"), 0);
  EXPECT_EQ(TextOf("select 'a' + NULL"), "<null>");
  EXPECT_EQ(Int("select 1 + '2'"), 3);
}

TEST_F(StatementsTest, DuplicateKeyAndOrphanStatements) {
  Db().Execute("CREATE TABLE Dups (a int NULL, b nvarchar(5) NULL)");
  Db().Execute("INSERT INTO Dups VALUES (1, 'x') INSERT INTO Dups VALUES (1, 'x') INSERT INTO Dups VALUES (2, 'y')");
  auto groups = Rows("select count(*) as totali, a, b from Dups group by a, b having count(*) > 1");
  ASSERT_EQ(groups.Rows.size(), 1u);
  EXPECT_EQ(groups.Rows[0][0].AsInt(), 2);
  Db().Execute("CREATE TABLE Kids (k int NULL, p int NULL)");
  Db().Execute("INSERT INTO Kids VALUES (1, 10) INSERT INTO Kids VALUES (2, 99)");
  Db().Execute("DELETE FROM Kids WHERE p NOT IN (SELECT CustId FROM Customers WHERE CustId = CustId)");
  EXPECT_EQ(Count("Kids"), 1);
  auto orphans = Rows("SELECT distinct Kids.p FROM Kids LEFT OUTER JOIN Customers ON Kids.p = Customers.CustId where Customers.CustId IS NULL");
  EXPECT_EQ(orphans.Rows.size(), 0u);
  EXPECT_EQ(Int("select count(*) as totale from [dbo].[Kids]"), 1);
  // Re-point children, then delete the surplus rows.
  Db().Execute("update Kids set p = 15 where (p=10)");
  EXPECT_EQ(Int("select p from Kids"), 15);
  Db().Execute("UPDATE DTL SET DTL.[p] = MST.[CustId] FROM [Kids] AS DTL, [Customers] AS MST WHERE DTL.[p] = MST.[CustId] AND MST.Name = 'Rossi'");
  EXPECT_EQ(Int("select p from Kids"), 15);
}

TEST_F(StatementsTest, ColumnsKeysIndexesAndDefaultsChange) {
  Db().Execute("ALTER TABLE [dbo].[Orders] ADD [Note] nvarchar (20) NULL");
  Db().Execute("UPDATE [Orders] set [Note] = ('') where [Note] is null");
  Db().Execute("ALTER TABLE [dbo].[Orders] ALTER COLUMN [Note] nvarchar (40) NOT NULL");
  EXPECT_EQ(Int("select isnullable from syscolumns where name = 'Note'"), 0);
  EXPECT_EQ(Int("select prec from syscolumns where name = 'Note'"), 40);
  Db().Execute("ALTER TABLE [dbo].[Orders] ADD CONSTRAINT [DF_Orders_Note] DEFAULT ('none') FOR [Note]");
  Db().Execute("INSERT INTO Orders (OrderId, CustId) VALUES (3, 10)");
  EXPECT_EQ(TextOf("select Note from Orders where OrderId = 3"), "none");
  EXPECT_EQ(TextOf("select c.text from syscomments c join sysobjects o on o.id = c.id where o.name = 'DF_Orders_Note'"), "('none')");
  Db().Execute("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [DF_Orders_Note]");
  Db().Execute("ALTER TABLE [Orders] ALTER COLUMN [Note] nvarchar (40) NULL");
  EXPECT_EQ(Int("select isnullable from syscolumns where name = 'Note'"), 1);
  Db().Execute("ALTER TABLE [dbo].[Orders] DROP COLUMN [Note]");
  EXPECT_EQ(Int("select count(*) from syscolumns where name = 'Note'"), 0);

  Db().Execute("DROP INDEX [dbo].[Orders].[IX_Orders_Amount]");
  Db().Execute("CREATE  UNIQUE  CLUSTERED  INDEX [IX_Orders_Amount] ON [dbo].[Orders] ([Amount]) ON [FG_DATA]");
  EXPECT_EQ(Int("select indid from sysindexes where name = 'IX_Orders_Amount'"), 1);
  EXPECT_EQ(Int("select count(*) from sysindexes where id = object_id('Orders') and indid = 0"), 0);
  Db().Execute("ALTER TABLE [Orders] DROP CONSTRAINT [FK_Orders_Customers]");
  Db().Execute("ALTER TABLE [Customers] DROP CONSTRAINT [PK_Customers]");
  Db().Execute("ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [PK_Customers] PRIMARY KEY  NONCLUSTERED  ([CustId])");
  EXPECT_EQ(Int("select status & 0x812 from sysindexes where name = 'PK_Customers'"), 0x802);
  Db().Execute("ALTER TABLE [dbo].[Orders] ADD CONSTRAINT [FK_Orders_Customers] FOREIGN KEY ([CustId]) REFERENCES [dbo].[Customers] ([CustId])");
  EXPECT_THROW(Db().Execute("DELETE FROM Customers WHERE CustId = 10"), ado::EOleException);
  EXPECT_THROW(Db().Execute("UPDATE Customers SET CustId = 11 WHERE CustId = 10"), ado::EOleException);
  Db().Execute("CREATE TABLE P (k int NOT NULL CONSTRAINT PK_P PRIMARY KEY)");
  Db().Execute("CREATE TABLE C (k int NULL CONSTRAINT FK_C_P REFERENCES P (k) ON UPDATE CASCADE)");
  Db().Execute("INSERT INTO P VALUES (1) INSERT INTO C VALUES (1) INSERT INTO C VALUES (NULL)");
  Db().Execute("UPDATE P SET k = 2");
  EXPECT_EQ(Int("select count(*) from C where k = 2"), 1);
}

TEST_F(StatementsTest, RenamesRebuildsAndProgrammableObjects) {
  Db().Execute("EXECUTE sp_rename N'[dbo].[Customers]', N'Clients', 'OBJECT'");
  EXPECT_EQ(Int("select count(*) from Clients"), 2);
  EXPECT_EQ(TextOf("select object_name(rkeyid) from sysreferences"), "Clients");
  EXPECT_THROW(Db().Execute("INSERT INTO Orders (OrderId, CustId) VALUES (8, 4242)"), ado::EOleException);
  Db().Execute("EXECUTE sp_rename N'.[Clients]', N'Customers', 'OBJECT'");
  Db().Execute("EXECUTE sp_rename N'dbo.Customers.[Name]', N'FullName', 'COLUMN'");
  EXPECT_EQ(TextOf("select FullName from Customers where CustId = 15"), "Rossi");
  Db().Execute("EXECUTE sp_rename N'Orders.[CustId]', N'ClientId', 'COLUMN'");
  Db().Execute("DELETE FROM Customers WHERE CustId = 15");  // cascade through the renamed column
  EXPECT_EQ(Count("Orders"), 1);

  // A rebuild through a temporary table, as the engine writes it.
  Db().Execute("CREATE TABLE [dbo].[_ORV_TMP_TABLE_Seq] ([Id] int IDENTITY (1, 1) NOT NULL, [Name] nvarchar (10) NULL)");
  Db().Execute("CREATE TABLE Seq (Name nvarchar (10) NULL)");
  Db().Execute("INSERT INTO Seq (Name) VALUES ('x') INSERT INTO Seq (Name) VALUES ('y')");
  Db().Execute("INSERT INTO [dbo].[_ORV_TMP_TABLE_Seq] ([Name]) SELECT [Name] FROM [dbo].[Seq]");
  Db().Execute("DROP TABLE [dbo].[Seq]");
  Db().Execute("EXECUTE sp_rename N'[dbo].[_ORV_TMP_TABLE_Seq]', N'Seq', 'OBJECT'");
  EXPECT_EQ(Int("select max(Id) from Seq"), 2);

  Db().Execute("IF EXISTS (SELECT name FROM SysObjects WHERE name = 'pLong' and type = 'P') DROP PROCEDURE pLong");
  EXPECT_EQ(Int("select count(*) from sysobjects where name = 'pLong'"), 0);
  EXPECT_EQ(Int("select count(*) from syscomments c where not exists (select 1 from sysobjects o where o.id = c.id)"), 0);
  Db().Execute("CREATE FUNCTION fTwice (@x int) RETURNS int WITH ENCRYPTION AS BEGIN RETURN @x * 2 END");
  EXPECT_EQ(TextOf("select xtype from sysobjects where name = 'fTwice'"), "FN");
  EXPECT_EQ(Int("select encrypted from syscomments where id = object_id('fTwice')"), 1);
  Db().Execute("drop view vCustomers");
  Db().Execute("CREATE VIEW vOrders AS SELECT OrderId, Amount FROM Orders");
  EXPECT_EQ(Count("vOrders"), 1);
  Db().Execute("DROP TRIGGER trOrders");
  Db().Execute("EXEC pSecret");  // bodies are kept, not run
  EXPECT_THROW(Db().Execute("EXEC pMissing"), ado::EOleException);
}

TEST_F(StatementsTest, UsersAndFileGroups) {
  Db().Execute("EXEC sp_addLogin 'anna'; EXEC sp_grantDbAccess 'anna', 'anna_user'");
  EXPECT_EQ(Int("select count(*) from sysusers where name = 'anna_user' and hasdbaccess = 1"), 1);
  EXPECT_THROW(Db().Execute("sp_grantDbAccess 'anna', 'anna_user'"), ado::EOleException);
  Db().Execute("EXEC sp_revokedbaccess 'anna_user'");
  EXPECT_EQ(Int("select count(*) from sysusers where name = 'anna_user'"), 0);
  Db().Execute("ALTER DATABASE db ADD FILEGROUP [FG_NEW]");
  Db().Execute("ALTER DATABASE db ADD FILE (NAME = N'db_new', FILENAME = N'db_new.ndf') TO FILEGROUP [FG_NEW]");
  Db().Execute("CREATE TABLE Placed (a int NOT NULL, t text NULL) ON [FG_NEW] TEXTIMAGE_ON 'FG_TEXT'");
  EXPECT_EQ(TextOf("select fileGroup_Name(groupid) from sysindexes where id = object_id('Placed') and indid = 0"), "FG_NEW");
  EXPECT_EQ(TextOf("select fileGroup_Name(groupid) from sysindexes where id = object_id('Placed') and indid = 255"), "FG_TEXT");
  EXPECT_THROW(Db().Execute("CREATE TABLE Bad (a int) ON [NO_SUCH_GROUP]"), ado::EOleException);
}
