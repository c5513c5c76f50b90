// Opening sessions: provider names, server folders, logins, databases; creation, backup and
// restore of databases as the dialect writes them.
#include <filesystem>

#include "SampleDatabase.h"
#include "Snapshot.h"
#include "SqlServerFixture.h"

TEST_F(SqlServerTest, ProviderNamesLoginsAndDatabases) {
  auto& reg = ado::ProviderRegistry::Instance();
  ASSERT_NE(reg.Find("SQLOLEDB"), nullptr);
  EXPECT_NE(reg.Find("SQLOLEDB.1"), nullptr);
  EXPECT_NE(reg.Find("sqloledb.12"), nullptr);
  EXPECT_EQ(reg.Find("SQLOLEDBX"), nullptr);

  auto master = Connect();
  EXPECT_EQ(master->CurrentDatabase(), "master");
  EXPECT_TRUE(std::filesystem::exists(root_ + "/testsrv/master.sqlite"));
  // sa with an empty password exists on a new server.
  EXPECT_NO_THROW(Connect("master", ";User ID=sa;Password="));
  try {
    Connect("master", ";User ID=sa;Password=wrong");
    FAIL() << "wrong password accepted";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 18456);
    EXPECT_STREQ(e.what(), "Login failed for user 'sa'.");
  }
  master->Execute("sp_addLogin 'luca', 'secret'");
  EXPECT_NO_THROW(Connect("master", ";User ID=luca;Password=secret"));
  EXPECT_THROW(Connect("master", ";User ID=luca;Password=nope"), ado::EOleException);
  try {
    Connect("missing");
    FAIL() << "missing database opened";
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 4060);
  }
  // A second server is a second folder with its own master.
  server_test::MakeSqlServer("OTHER\\INST");
  auto other = reg.Open("Provider=SQLOLEDB;Data Source=OTHER\\INST;Initial Catalog=master;Integrated Security=SSPI");
  EXPECT_EQ(Rows(*other, "select count(*) from syslogins").Rows[0][0].AsInt(), 1);
  // USE switches the session's database.
  master->Execute("CREATE DATABASE [Shop]");
  master->Execute("USE Shop");
  EXPECT_EQ(master->CurrentDatabase(), "Shop");
  EXPECT_EQ(Rows(*master, "select db_name()").Rows[0][0].AsString(), "Shop");
  EXPECT_THROW(master->Execute("CREATE DATABASE [shop]"), ado::EOleException);
}

TEST_F(SqlServerTest, CreateBackupChangeRestore) {
  auto master = Connect();
  master->Execute(
      "CREATE DATABASE [Client] ON PRIMARY (NAME = N'Client_DATA',FILENAME = N'C:\\Data\\Client_DATA.MDF', SIZE = 1, "
      "FILEGROWTH = 10 %) LOG ON (NAME = N'Client_LOG', FILENAME = N'C:\\Data\\Client_Log.LDF', SIZE = 1, FILEGROWTH = 10 %) ");
  EXPECT_EQ(Rows(*master, "select name from sysDatabases where name = 'Client'").Rows.size(), 1u);
  auto client = Connect("Client");
  auto files = Rows(*client, "select name, filename, size, growth, status & 0x100000 from sysfiles order by fileid");
  ASSERT_EQ(files.Rows.size(), 2u);
  EXPECT_EQ(files.Rows[0][0].AsString(), "Client_DATA");
  EXPECT_EQ(files.Rows[0][1].AsString(), "C:\\Data\\Client_DATA.MDF");
  EXPECT_EQ(files.Rows[0][2].AsInt(), 128);
  EXPECT_EQ(files.Rows[0][3].AsInt(), 10);
  EXPECT_NE(files.Rows[0][4].AsInt(), 0);
  sample_db::Build(*client);
  std::string before = Snapshot(*client);

  std::string bak = root_ + "/Client.bak";
  client->Execute("USE master BACKUP DATABASE [Client] TO DISK = '" + bak + "' USE [Client] ");
  EXPECT_EQ(client->CurrentDatabase(), "Client");
  ASSERT_TRUE(std::filesystem::exists(bak));
  client->Execute("DROP TABLE Orders");
  client->Execute("UPDATE Customers SET Name = 'changed'");
  EXPECT_NE(Snapshot(*client), before);
  client.reset();

  auto list = Rows(*master, "use master RESTORE FILELISTONLY FROM DISK = '" + bak + "'");
  ASSERT_EQ(list.Rows.size(), 4u);  // data, log and the sample's two file-group files
  EXPECT_EQ(list.Rows[0][Field(list, "logicalName")].AsString(), "Client_DATA");
  EXPECT_EQ(list.Rows[0][Field(list, "type")].AsString(), "D");
  EXPECT_EQ(list.Rows[1][Field(list, "type")].AsString(), "L");
  master->Execute("USE MASTER RESTORE DATABASE [Client] FROM DISK = '" + bak + "' WITH FILE = 1, NOUNLOAD, REPLACE, RECOVERY ");
  master->Execute("USE [Client] ");
  EXPECT_EQ(Snapshot(*master), before);
  master->Execute("USE MASTER RESTORE DATABASE [Client] FROM DISK = '" + bak +
                  "' WITH FILE = 1, NOUNLOAD, REPLACE, RECOVERY , MOVE 'Client_DATA' TO 'D:\\New\\Client_DATA.MDF', "
                  "MOVE 'Client_LOG' TO 'D:\\New\\Client_LOG.LDF'");
  master->Execute("ALTER DATABASE [Client] MODIFY FILE (NAME = 'Client_DATA', NEWNAME = 'Client_DATA')");
  master->Execute("USE [Client] ");
  EXPECT_EQ(Rows(*master, "select filename from sysfiles where fileid = 1").Rows[0][0].AsString(), "D:\\New\\Client_DATA.MDF");
  EXPECT_EQ(ErrorOf("UPDATE sysfiles SET name = 'x'"), 259);
  master->Execute("USE master");
  // A backup into a folder that does not exist fails with the server's error.
  try {
    master->Execute("BACKUP DATABASE [Client] TO DISK = '/nonexistent/dir/x.bak'");
    FAIL();
  } catch (const ado::EOleException& e) {
    EXPECT_EQ(e.NativeError(), 3201);
  }
  EXPECT_THROW(master->Execute("RESTORE FILELISTONLY FROM DISK = '" + root_ + "/none.bak'"), ado::EOleException);
}
