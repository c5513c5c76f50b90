// Backup and restore while other connections use the database: a backup holds only committed
// rows; a restore that is refused or fails leaves the database as it was.
#include <string>

#include "Snapshot.h"
#include "SqlServerFixture.h"

TEST_F(SqlServerTest, BackupAndRestoreBesideOtherConnections) {
  auto master = Connect();
  master->Execute("CREATE DATABASE [Client]");
  auto client = Connect("Client");
  client->Execute("CREATE TABLE T (id int NOT NULL PRIMARY KEY, s varchar(20) NULL)");
  for (int i = 0; i < 50; ++i) client->Execute("INSERT INTO T VALUES (" + std::to_string(i) + ", 'row')");
  const std::string committed = Snapshot(*client);

  // A transaction open on the database keeps its rows out of the backup.
  client->Execute("BEGIN TRANSACTION INSERT INTO T VALUES (99, 'open')");
  const std::string bak = root_ + "/Client.bak";
  master->Execute("BACKUP DATABASE [Client] TO DISK = '" + bak + "'");
  client->Execute("COMMIT TRANSACTION");
  master->Execute("RESTORE DATABASE [Copy] FROM DISK = '" + bak + "' WITH REPLACE");
  auto copy = Connect("Copy");
  EXPECT_EQ(Snapshot(*copy), committed);
  copy.reset();

  // Refused while another connection uses the database, and a restore whose file move fails:
  // the database stays as it is.
  const std::string current = Snapshot(*client);
  auto failureOf = [&](const std::string& sql) {
    try {
      master->Execute(sql);
    } catch (const ado::EOleException& e) {
      return e.NativeError();
    }
    return 0;
  };
  EXPECT_EQ(failureOf("RESTORE DATABASE [Client] FROM DISK = '" + bak + "' WITH REPLACE"), 3101);
  client.reset();
  EXPECT_EQ(failureOf("RESTORE DATABASE [Client] FROM DISK = '" + bak + "' WITH REPLACE, MOVE 'NoSuch' TO 'x.mdf'"),
            3234);
  EXPECT_EQ(Snapshot(*Connect("Client")), current);
}

// A rename of the files of a database nobody uses waits in that database's write-ahead log: a
// backup must hold it, a restore over the database must drop it, the next connection must see it.
TEST_F(SqlServerTest, FileRenamesOfAnUnusedDatabaseReachBackupRestoreAndNextConnection) {
  auto master = Connect();
  master->Execute("CREATE DATABASE [Client]");
  const std::string bak = root_ + "/Client.bak", renamed = root_ + "/Renamed.bak";
  master->Execute("BACKUP DATABASE [Client] TO DISK = '" + bak + "'");
  auto rename = [&](const std::string& from, const std::string& to) {
    master->Execute("ALTER DATABASE [Client] MODIFY FILE (NAME = '" + from + "', NEWNAME = '" + to + "')");
  };
  auto dataName = [&] { return TextOf(*Connect("Client"), "SELECT name FROM sysfiles WHERE fileid = 1"); };

  rename("Client", "Client_DATA");
  master->Execute("BACKUP DATABASE [Client] TO DISK = '" + renamed + "'");
  EXPECT_EQ(TextOf(*master, "RESTORE FILELISTONLY FROM DISK = '" + renamed + "'"), "Client_DATA");

  rename("Client_DATA", "Stale");
  master->Execute("RESTORE DATABASE [Client] FROM DISK = '" + bak + "' WITH REPLACE");
  EXPECT_EQ(dataName(), "Client");

  rename("Client", "Client_DATA");
  EXPECT_EQ(dataName(), "Client_DATA");
}
