// Owner prefixes as the server keeps them: objects recorded under the database user that owns
// them, two owners' objects of one name side by side, and names without an owner found as the
// connected user's object before dbo's.
#include "Snapshot.h"
#include "SqlServerFixture.h"
#include "platform/data/SchemaRowsets.h"

class OwnersTest : public SqlServerTest {
 protected:
  // Database "db" with the login fred mapped to the user fred, and a table T under dbo and fred.
  void SetUp() override {
    SqlServerTest::SetUp();
    auto& db = Db();
    db.Execute("exec sp_addlogin 'fred', 'pw', 'db'");
    db.Execute("exec sp_grantdbaccess 'fred'");
    db.Execute("create table T (x int not null primary key, note varchar(10) null)");
    db.Execute("create table fred.T (a int not null, b varchar(10) null)");
    db.Execute("insert into T values (1, 'dbo')");
    db.Execute("insert into fred.T (a, b) values (10, 'fred')");
  }
};

TEST_F(OwnersTest, OwnersAreUsersAndEachKeepsItsOwnObjects) {
  EXPECT_EQ(TextOf("select user_id('fred')"), "5");
  EXPECT_EQ(TextOf("select count(*) from sysobjects where name = 'T' and xtype = 'U'"), "2");
  EXPECT_EQ(TextOf("select uid from sysobjects where name = 'T' and user_name(uid) = 'fred'"), "5");
  // Each owner's table has its own columns and rows.
  EXPECT_EQ(TextOf("select count(*) from syscolumns c join sysobjects o on o.id = c.id where o.name = 'T' and o.uid = 5"), "2");
  EXPECT_EQ(TextOf("select b from fred.T where fred.T.a = 10"), "fred");
  EXPECT_EQ(TextOf("select note from dbo.T"), "dbo");
  EXPECT_EQ(TextOf("select note from db.dbo.T"), "dbo");
  EXPECT_EQ(TextOf("select note from T"), "dbo");  // sa is dbo

  std::string message;
  EXPECT_EQ(ErrorOf("create table nobody.T (a int)", &message), 2760);
  EXPECT_NE(message.find("Specified owner name 'nobody' either does not exist or you do not have permission to use it."),
            std::string::npos);
  EXPECT_EQ(ErrorOf("create table fred.T (z int)"), 2714);
  EXPECT_EQ(ErrorOf("create view fred.T as select 1 as one"), 2714);
  EXPECT_EQ(ErrorOf("select * from nobody.T"), 208);

  // Data statements reach the owner written.
  Db().Execute("update fred.T set b = 'changed' where T.a = 10");
  Db().Execute("insert into fred.T select x * 100, note from dbo.T");
  EXPECT_EQ(TextOf("select count(*) from fred.T"), "2");
  EXPECT_EQ(TextOf("select note from T"), "dbo");
  Db().Execute("delete from fred.T where fred.T.a = 100");
  Db().Execute("update t set t.note = f.b from dbo.T t join fred.T f on f.a = t.x * 10");
  EXPECT_EQ(TextOf("select note from dbo.T"), "changed");
  Db().Execute("delete d from dbo.T d join fred.T f on f.a = d.x");
  EXPECT_EQ(TextOf("select count(*) from dbo.T"), "1");

  // Constraints, indexes and views of the same name under each owner.
  Db().Execute("create table fred.K (id int not null constraint PK_K primary key, tid int null, "
               "constraint FK_K foreign key (tid) references fred.K (id))");
  Db().Execute("create table K (id int not null constraint PK_K primary key)");
  EXPECT_EQ(TextOf("select count(*) from sysobjects where name = 'PK_K'"), "2");
  EXPECT_EQ(TextOf("select user_name(uid) from sysobjects where name = 'FK_K'"), "fred");
  EXPECT_EQ(ErrorOf("insert into fred.K values (1, 2)"), 547);
  Db().Execute("insert into fred.K values (1, null)");
  Db().Execute("insert into fred.K values (2, 1)");
  Db().Execute("insert into K values (1)");
  EXPECT_EQ(ErrorOf("insert into K values (1)"), 2627);
  Db().Execute("create index IX_T on fred.T (b)");
  Db().Execute("create index IX_T on T (note)");
  Db().Execute("drop index fred.T.IX_T");
  EXPECT_EQ(TextOf("select count(*) from sysindexes where name = 'IX_T'"), "1");
  Db().Execute("create view fred.V as select a from fred.T");
  Db().Execute("create view V as select x from dbo.T");
  EXPECT_EQ(TextOf("select a from fred.V"), "10");
  EXPECT_EQ(TextOf("select x from V"), "1");

  Db().Execute("create trigger trT on fred.T for insert as select 1");
  Db().Execute("create trigger dbo.trT on dbo.T for insert as select 2");
  EXPECT_EQ(TextOf("select count(*) from sysobjects where name = 'trT' and xtype = 'TR'"), "2");
  EXPECT_EQ(TextOf("select user_name(uid) from sysobjects where name = 'trT' and parent_obj = object_id('fred.T')"), "fred");
  Db().Execute("drop trigger fred.trT");
  EXPECT_EQ(TextOf("select user_name(uid) from sysobjects where name = 'trT'"), "dbo");
  Db().Execute("exec sp_rename 'fred.PK_K', 'PK_K2'");
  EXPECT_EQ(TextOf("select user_name(uid) from sysobjects where name = 'PK_K2'"), "fred");
  EXPECT_EQ(TextOf("select count(*) from sysindexes where name = 'PK_K'"), "1");

  // ALTER, sp_rename and DROP change only the named owner's object.
  Db().Execute("alter table fred.T add c int null");
  EXPECT_EQ(TextOf("select count(*) from syscolumns where id = object_id('fred.T')"), "3");
  EXPECT_EQ(TextOf("select count(*) from syscolumns where id = object_id('dbo.T')"), "2");
  Db().Execute("exec sp_rename 'fred.T', 'T2'");
  EXPECT_EQ(TextOf("select a from fred.T2"), "10");
  EXPECT_EQ(TextOf("select x from T"), "1");
  Db().Execute("exec sp_rename 'fred.T2.c', 'd', 'COLUMN'");
  EXPECT_EQ(TextOf("select count(*) from syscolumns where id = object_id('fred.T2') and name = 'd'"), "1");
  Db().Execute("if exists (select * from sysobjects where name = 'V' and user_name(uid) = 'fred') drop view fred.V");
  EXPECT_EQ(TextOf("select x from V"), "1");
  EXPECT_EQ(ErrorOf("select * from fred.V"), 208);
  Db().Execute("drop table fred.T2");
  EXPECT_EQ(TextOf("select x from T"), "1");
  EXPECT_EQ(ErrorOf("drop table fred.T2"), 3701);

  // Names that look like the server's own storage stay apart from it and from other owners.
  Db().Execute("create table [schm_u5.K] (s int null)");
  Db().Execute("create table schm_identity (s int null)");
  Db().Execute("insert into [schm_u5.K] values (8)");
  Db().Execute("insert into schm_identity values (9)");
  EXPECT_EQ(TextOf("select s from [schm_u5.K]"), "8");
  EXPECT_EQ(TextOf("select s from dbo.schm_identity"), "9");
  EXPECT_EQ(TextOf("select count(*) from fred.K"), "2");

  // The OLE DB rowsets name each owner.
  auto tables = Db().OpenSchema(ado::siTables, {ado::Variant::Null(), ado::Variant("fred")});
  std::string names;
  for (const auto& row : tables.Rows) names += row[2].AsString() + ",";
  EXPECT_EQ(names, "K,");
}

TEST_F(OwnersTest, NamesWithoutOwnerFindTheConnectedUsersObjectFirst) {
  Db().Execute("create procedure P as select 'dbo''s'");
  Db().Execute("create procedure fred.P as select 'fred''s'");
  Db().Execute("create table OnlyDbo (v int null)");
  Db().Execute("insert into OnlyDbo values (7)");
  auto fred = Connect("db", ";User ID=fred;Password=pw");
  EXPECT_EQ(TextOf(*fred, "select user_name()"), "fred");
  EXPECT_EQ(TextOf(*fred, "select a from T"), "10");
  EXPECT_EQ(TextOf(*fred, "select x from dbo.T"), "1");
  EXPECT_EQ(TextOf(*fred, "select v from OnlyDbo"), "7");  // dbo's when fred has none
  EXPECT_EQ(TextOf(*fred, "select object_id('T') = object_id('fred.T')"), "1");
  // Objects created without an owner belong to the connected user.
  fred->Execute("create table Mine (m int null)");
  fred->Execute("insert into Mine values (3)");
  EXPECT_EQ(TextOf("select user_name(uid) from sysobjects where name = 'Mine'"), "fred");
  EXPECT_EQ(ErrorOf("select * from Mine"), 208);  // dbo does not see it without the owner
  EXPECT_EQ(TextOf("select m from fred.Mine"), "3");
  fred->Execute("drop procedure P");
  EXPECT_EQ(TextOf("select user_name(uid) from sysobjects where name = 'P'"), "dbo");
  EXPECT_NE(TextOf("select text from syscomments where id = object_id('dbo.P')").find("dbo''s"), std::string::npos);
  fred->Execute("drop table T");
  EXPECT_EQ(TextOf(*fred, "select x from T"), "1");

  // Nothing of one owner leaks into the other's rows when a transaction rolls back.
  std::string before = Snapshot(Db());
  Db().BeginTrans();
  Db().Execute("create table fred.T (a int null)");
  Db().Execute("insert into fred.T values (5)");
  Db().Execute("drop table dbo.T");
  Db().RollbackTrans();
  EXPECT_EQ(Snapshot(Db()), before);
}
