// Databases and their file groups: creation, file groups in use, dropping, and the errors the
// server gives for each.
#include <filesystem>

#include "SqlServerFixture.h"

TEST_F(SqlServerTest, FileGroupsAndDatabasesComeAndGo) {
  Db().Execute("ALTER DATABASE db ADD FILEGROUP [FG1]");
  EXPECT_EQ(ErrorOf("ALTER DATABASE db ADD FILEGROUP [fg1]"), 1828);
  Db().Execute("ALTER DATABASE db ADD FILE (NAME = N'db_fg1', FILENAME = N'C:\\Data\\db_fg1.NDF', SIZE = 2MB) TO FILEGROUP [FG1]");
  EXPECT_EQ(Value("SELECT size FROM sysfiles WHERE name = 'db_fg1'").AsInt(), 256);
  Db().Execute("CREATE TABLE OnFg (a int NOT NULL) ON [FG1]");
  EXPECT_EQ(ErrorOf("ALTER DATABASE db REMOVE FILEGROUP [FG1]"), 5042);
  Db().Execute("DROP TABLE OnFg");
  EXPECT_EQ(ErrorOf("ALTER DATABASE db REMOVE FILEGROUP [FG1]"), 5042);  // still has its file
  Db().Execute("ALTER DATABASE db REMOVE FILE db_fg1");
  Db().Execute("ALTER DATABASE db REMOVE FILEGROUP [FG1]");
  EXPECT_EQ(Value("SELECT count(*) FROM sysfilegroups").AsInt(), 1);
  EXPECT_EQ(ErrorOf("ALTER DATABASE db MODIFY FILE (NAME = 'nothere', NEWNAME = 'x')"), 5041);
  EXPECT_EQ(ErrorOf("ALTER DATABASE nodb ADD FILEGROUP [X]"), 911);

  auto master = Connect();
  EXPECT_EQ(ErrorOf("DROP DATABASE db"), 3702);  // in use by this session
  const std::string before = TextOf(*master, "SELECT getdate()");
  master->Execute("CREATE DATABASE [Temp]");
  {
    // A new database's system objects and users are dated when it was made, not when the server
    // made its first database.
    auto temp = Connect("Temp");
    EXPECT_EQ(TextOf(*temp, "SELECT count(*) FROM sysobjects WHERE crdate < '" + before + "'"), "0");
    EXPECT_EQ(TextOf(*temp, "SELECT count(*) FROM sysusers WHERE createdate < '" + before + "'"), "0");
    // Nor is a database another session works in dropped under it.
    try {
      master->Execute("DROP DATABASE [Temp]");
      ADD_FAILURE() << "dropped while in use";
    } catch (const ado::EOleException& e) {
      EXPECT_EQ(e.NativeError(), 3702);
    }
    EXPECT_EQ(TextOf(*temp, "SELECT count(*) FROM sysobjects WHERE name = 'sysobjects'"), "1");
  }
  EXPECT_THROW(master->Execute("CREATE DATABASE [TEMP]"), ado::EOleException);
  master->Execute("DROP DATABASE [Temp]");
  EXPECT_FALSE(std::filesystem::exists(root_ + "/testsrv/temp.sqlite"));
  EXPECT_THROW(Connect("Temp"), ado::EOleException);
  EXPECT_THROW(master->Execute("DROP DATABASE [Temp]"), ado::EOleException);
  master->BeginTrans();
  try {
    master->Execute("CREATE DATABASE [InTx]");
    FAIL();
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 226);
  }
  master->RollbackTrans();
  // The OLE DB CATALOGS rowset lists what sysdatabases holds.
  auto cats = master->OpenSchema(ado::siCatalogs, {});
  EXPECT_EQ(cats.Rows.size(), 2u);
}
