// Statements the SQL Server dialect spells: renames, conditional and existence tests, identity
// insert, encryption, collation, user and db-space statements, and their recognition.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"
#include "platform/data/Connection.h"

namespace {

TEST(SqlServerDialect, ConstructorSetsTheServersValues) {
  TSqlServerSpecific d;
  EXPECT_EQ(d.QuoteOpen, "[");
  EXPECT_EQ(d.QuoteClose, "]");
  EXPECT_TRUE(d.DefaultAsConstraint);
  EXPECT_TRUE(d.IdentityOptions->IdentityAddPlain);
  EXPECT_FALSE(d.IdentityOptions->IdentityNullClause);
  EXPECT_TRUE(d.IdentityOptions->WriteIdentitySeed);
  EXPECT_TRUE(d.IdentityOptions->WriteIdentityIncrement);
  EXPECT_TRUE(d.FillNullsOnAlter);
  EXPECT_TRUE(d.CreateKeepsNullable);
  ASSERT_EQ(d.LongTypes.Count(), 3);
  EXPECT_TRUE(d.LongTypes.Contains("NTEXT"));
  EXPECT_TRUE(d.UseDbSpaces);
  EXPECT_TRUE(d.UseOwners);
  EXPECT_FALSE(d.AutoPrimaryKeyName);
  EXPECT_FALSE(d.GlobalTempTables);
  EXPECT_EQ(d.AlterColumnKeyword, " ALTER COLUMN ");
  EXPECT_EQ(d.DropColumnKeyword, " DROP COLUMN ");
  EXPECT_EQ(d.DropConstraintFormat, " DROP CONSTRAINT %s");
  // The base words, VALUE, and every keyword of the server.
  EXPECT_EQ(d.ReservedWords.Count(), 175);
  for (const char* word : {"VALUE", "User", "Key", "Percent", "Plan", "Top", "Desc", "lineno", "writetext"})
    EXPECT_EQ(d.QuoteName(word), std::string("[") + word + "]") << word;
  EXPECT_EQ(d.QuoteName("Username"), "Username");
  EXPECT_EQ(d.ServerKey, "Data Source=");
  EXPECT_EQ(d.DatabaseKey, "Initial Catalog=");
  EXPECT_EQ(d.DbType, dbtNone);
  EXPECT_EQ(d.MasterDbType, dbtNone);
  EXPECT_EQ(d.GetCurrentDateDefault(), "(getDate())");
  EXPECT_EQ(d.BoolToSql(true), "1");
  EXPECT_EQ(d.BoolToSql(false), "0");
  EXPECT_EQ(d.GetRenumberSql("dbo", "t", "c"), "");
  EXPECT_EQ(d.GetClusterPrimaryKeySql("dbo.", "t", true), "");
  EXPECT_EQ(d.AdaptViewDefinition("create view v as select 1"), "create view v as select 1");
}

TEST(SqlServerDialect, RenameStatements) {
  TSqlServerSpecific d;
  EXPECT_EQ(d.GetRenameTableSql("dbo", "Old", "New"),
            "EXECUTE sp_rename N'dbo.Old', N'New', 'OBJECT'");
  EXPECT_EQ(d.GetRenameTableSql("", "Old", "New"), "EXECUTE sp_rename N'.Old', N'New', 'OBJECT'");
  EXPECT_EQ(d.GetRenameTableSql("dbo", "Order", "My Orders"),
            "EXECUTE sp_rename N'dbo.[Order]', N'My Orders', 'OBJECT'");
  EXPECT_EQ(d.GetRenameColumnSql("dbo", "T", "a", "b"),
            "EXECUTE sp_rename N'dbo.T.[a]', N'b', 'COLUMN'");
  EXPECT_EQ(d.GetRenameColumnSql("", "T", "my col", "b"),
            "EXECUTE sp_rename N'T.[my col]', N'b', 'COLUMN'");
  EXPECT_EQ(d.GetRenameColumnSql("dbo", "T", "Key]x", "b"),
            "EXECUTE sp_rename N'dbo.T.[Key]]x]', N'b', 'COLUMN'");
  // A quote inside a name stays inside the literal; the name is bracketed, as a quote would end
  // it outside one.
  EXPECT_EQ(d.GetRenameTableSql("dbo", "O'Brien", "Obrien"),
            "EXECUTE sp_rename N'dbo.[O''Brien]', N'Obrien', 'OBJECT'");
}

TEST(SqlServerDialect, ConditionalAndExistenceStatements) {
  TSqlServerSpecific d;
  EXPECT_EQ(d.GetConditionalSql(true, "*", "T", "id = 1", "UPDATE T SET a = 'x' WHERE id = 1", ""),
            "IF EXISTS (SELECT * FROM T WHERE id = 1 ) EXEC ('UPDATE T SET a = ''x'' WHERE id = 1')");
  EXPECT_EQ(d.GetConditionalSql(false, "id", "T", "id = 1", "INSERT INTO T VALUES (1)",
                                "UPDATE T SET a = 1"),
            "IF NOT EXISTS (SELECT id FROM T WHERE id = 1 ) EXEC ('INSERT INTO T VALUES (1)')"
            " ELSE EXEC ('UPDATE T SET a = 1')");
  EXPECT_EQ(d.GetObjectExistsSql("pr'x", "P"),
            "IF EXISTS (SELECT name FROM SysObjects WHERE name = 'pr''x' and type = 'P') ");
  EXPECT_EQ(d.GetIdentityInsertOnSql("dbo.[My T]"), "set IDENTITY_INSERT dbo.[My T] ON");
  EXPECT_EQ(d.GetIdentityInsertOffSql("T"), "set IDENTITY_INSERT T OFF");
}

TEST(SqlServerDialect, EncryptionAndCollation) {
  TSqlServerSpecific d;
  EXPECT_EQ(d.AddEncryption("CREATE PROCEDURE p AS SELECT 1 AS x"),
            "CREATE PROCEDURE p WITH ENCRYPTION AS SELECT 1 AS x");
  EXPECT_EQ(d.AddEncryption("create procedure p as select 1"), "create procedure p as select 1");
  // A trigger's options come before its events.
  EXPECT_EQ(d.AddEncryption("CREATE TRIGGER t ON [For Sale]\nFOR INSERT AS SELECT 1"),
            "CREATE TRIGGER t ON [For Sale] WITH ENCRYPTION FOR INSERT AS SELECT 1");
  EXPECT_EQ(d.AddEncryption("CREATE PROCEDURE p\nAS\nSELECT 1"), "CREATE PROCEDURE p\nAS\nSELECT 1");
  EXPECT_EQ(d.GetCollateClause("  Latin1_General_CI_AS "), " COLLATE Latin1_General_CI_AS");
  EXPECT_EQ(d.GetCollateClause("   "), "");
  EXPECT_EQ(d.GetCollateClause(""), "");
}

TEST(SqlServerDialect, DbSpaceStatementRecognition) {
  TSqlServerSpecific d;
  TInstructionKind kind = ikUnknown;
  std::string name = "x", second = "y";
  EXPECT_TRUE(d.IsDbSpaceStatement("alter database add filegroup  [Fg 1] ", kind, name, second));
  EXPECT_EQ(kind, ikCreateDbSpace);
  EXPECT_EQ(name, "[Fg 1]");
  EXPECT_EQ(second, "");
  EXPECT_TRUE(d.IsDbSpaceStatement("ALTER DATABASE DROP FILEGROUP Fg2", kind, name, second));
  EXPECT_EQ(kind, ikDropDbSpace);
  EXPECT_EQ(name, "Fg2");
  // The statement the dialect writes names the database and is not recognised.
  kind = ikUnknown;
  EXPECT_FALSE(d.IsDbSpaceStatement("ALTER DATABASE Sales ADD FILEGROUP Fg", kind, name, second));
  EXPECT_FALSE(d.IsDbSpaceStatement("ALTER", kind, name, second));
  EXPECT_EQ(kind, ikUnknown);
}

TEST(SqlServerDialect, UserStatementRecognition) {
  TSqlServerSpecific d;
  TInstructionKind kind = ikUnknown;
  std::string user, second;
  EXPECT_TRUE(d.IsUserStatement("sp_addLogin 'bob', 'pw;1'; sp_grantDbAccess 'bob', 'Bobby'", kind,
                                user, second));
  EXPECT_EQ(kind, ikCreateUser);
  EXPECT_EQ(user, "'Bobby'");
  EXPECT_EQ(second, "'bob'");
  EXPECT_TRUE(d.IsUserStatement("EXEC SP_GRANTDBACCESS  'o''neil' ,'on' ; select 1", kind, user,
                                second));
  EXPECT_EQ(user, "'on'");
  EXPECT_EQ(second, "'o''neil'");
  EXPECT_TRUE(d.IsUserStatement("sp_grantdbaccess 'solo'", kind, user, second));
  EXPECT_EQ(user, "'solo'");
  EXPECT_EQ(second, "'solo'");
  EXPECT_TRUE(d.IsUserStatement("sp_revokeDbAccess 'bob'", kind, user, second));
  EXPECT_EQ(kind, ikDropUser);
  EXPECT_EQ(user, "'bob'");
  EXPECT_EQ(second, "");
  EXPECT_FALSE(d.IsUserStatement("CREATE TABLE grants (a int)", kind, user, second));
}

// A dialect whose login list is fixed.
class FixedLoginsSqlServer : public TSqlServerSpecific {
 public:
  bool LoginExists(ado::TConnection&, const std::string& login) override { return login == "sa"; }
};

TEST(SqlServerDialect, CreateUserStatementsForTheConnectedServer) {
  FixedLoginsSqlServer d;
  ado::TConnection unused;
  d.SetDbType(dbtSqlServer);
  d.SetMasterDbType(dbtSqlServer);
  EXPECT_EQ(d.GetCreateUserSql(unused, "bob", "", "s'cret"),
            "EXEC sp_addLogin 'bob', 's''cret'; EXEC sp_grantDbAccess 'bob', 'bob'");
  EXPECT_EQ(d.GetCreateUserSql(unused, "anna", "annaLogin", ""),
            "EXEC sp_addLogin 'annaLogin'; EXEC sp_grantDbAccess 'annaLogin', 'anna'");
  EXPECT_EQ(d.GetCreateUserSql(unused, "admin", "sa", "x"), "EXEC sp_grantDbAccess 'sa', 'admin'");
  ASSERT_EQ(d.Users.Count(), 3);
  EXPECT_TRUE(d.UserExists("BOB"));
  EXPECT_EQ(d.Users.Object(1).LoginName, "annaLogin");
  EXPECT_EQ(d.Users.Object(1).UserId, -1);
  EXPECT_EQ(d.Users.Object(1).GroupName, "");

  // Regression: the statement was spelled for the master's server, which the client refuses.
  d.SetMasterDbType(dbtAsa);
  EXPECT_EQ(d.GetCreateUserSql(unused, "carl", "", "p'w"),
            "EXEC sp_addLogin 'carl', 'p''w'; EXEC sp_grantDbAccess 'carl', 'carl'");
  TAccessSpecific access;
  access.SetDbType(dbtAccess);
  access.SetMasterDbType(dbtSqlServer);
  EXPECT_EQ(access.GetCreateUserSql(unused, "eve", "", ""), "");
  EXPECT_FALSE(access.UserExists("eve"));
  EXPECT_EQ(d.Users.Count(), 4);
  d.ClearUsers();
  EXPECT_FALSE(d.UserExists("bob"));
}

TEST(SqlServerDialect, CreateDbSpaceStatementsForTheConnectedServer) {
  TSqlServerSpecific d;
  d.DatabaseName = "Sales";
  d.SetDbType(dbtSqlServer);
  d.SetMasterDbType(dbtSqlServer);
  EXPECT_EQ(d.GetCreateDbSpaceSql("Fg1", "f.ndf"), "ALTER DATABASE Sales ADD FILEGROUP Fg1");
  EXPECT_EQ(d.GetCreateDbSpaceSql("Fg1", "f.ndf"), "ALTER DATABASE Sales ADD FILEGROUP Fg1");
  EXPECT_EQ(d.GetCreateDbSpaceSql("Fg two", ""), "ALTER DATABASE Sales ADD FILEGROUP [Fg two]");
  EXPECT_TRUE(d.DbSpaceExists("fg1"));
  EXPECT_EQ(d.DbSpaces.Count(), 3);
  EXPECT_EQ(d.DbSpaces.Object(0).FileName, "f.ndf");
  EXPECT_EQ(d.DbSpaces.Object(0).FileId, -1);
  EXPECT_FALSE(d.DbSpaces.Object(0).IsDefault);

  // Whatever the master's server, the statement is this server's.
  d.SetMasterDbType(dbtAsa);
  EXPECT_EQ(d.GetCreateDbSpaceSql("space2", ""), "ALTER DATABASE Sales ADD FILEGROUP space2");
  TAsaSpecific asa;
  asa.SetDbType(dbtAsa);
  asa.SetMasterDbType(dbtSqlServer);
  EXPECT_EQ(asa.GetCreateDbSpaceSql("space2", ""), "CREATE DBSPACE space2 AS space2.DB");
  EXPECT_EQ(asa.DbSpaces.Object(0).FileName, "space2.DB");
  EXPECT_EQ(asa.GetCreateDbSpaceSql("index", "my file.db"), "CREATE DBSPACE \"index\" AS \"my file.db\"");
  TAccessSpecific access;
  access.SetDbType(dbtAccess);
  EXPECT_EQ(access.GetCreateDbSpaceSql("acc", ""), "");
  EXPECT_FALSE(access.DbSpaceExists("acc"));
  d.ClearDbSpaces();
  EXPECT_EQ(d.DbSpaces.Count(), 0);
}

}  // namespace
