// The Adaptive Server Anywhere dialect's database operations on a recording provider (the
// embedded server runs them in asa_databases_server_test): the statements and connection
// strings it sends, the log file it renames on disk after a restore, and the failures it reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DialectTestSupport.h"
#include "StatementRecorder.h"
#include "platform/data/Connection.h"

namespace {

namespace fs = std::filesystem;
using dialect_test::FreshRecording;
using dialect_test::kRecorderConnection;
using Statements = std::vector<std::string>;

TEST(AsaDatabases, CreationAndBackupSendTheServersStatements) {
  TestOwner owner;
  TAsaSpecific d(&owner);
  dialect_test::Recording& log = FreshRecording();
  EXPECT_EQ(d.CreateDatabaseInFolder("shop", "C:\\data\\", "", " dba ", "", "srv"), 2);
  EXPECT_EQ(log.connections.back(), "Provider=ASAProv.90;Eng=srv;User ID=dba");
  EXPECT_EQ(log.statements,
            (Statements{"CREATE DATABASE 'C:\\data\\shop'  LOG ON 'C:\\data\\shop' ",
                        "START DATABASE 'C:\\data\\shop' "}));
  // Regression: a quote in a folder closed the literal.
  log.Clear();
  EXPECT_EQ(d.CreateDatabaseInFolder("shop", "C:\\O'Neil", "D:\\l'og", "", "", "srv"), 2);
  EXPECT_EQ(log.statements,
            (Statements{"CREATE DATABASE 'C:\\O''Neil\\shop'  LOG ON 'D:\\l''og\\shop' ",
                        "START DATABASE 'C:\\O''Neil\\shop' "}));

  EXPECT_TRUE(d.DatabaseExists("shop", "", "", "srv"));
  EXPECT_EQ(log.connections.back(), "Provider=ASAProv.90;dbn=shop;eng=srv");
  log.refuse = true;  // a database that cannot be reached counts as missing
  EXPECT_FALSE(d.DatabaseExists("shop", "", "", "srv"));
  EXPECT_EQ(d.CreateDatabase("shop", "x", "", "", "", "srv"), 0);

  log.refuse = false;
  ado::TConnection connection(kRecorderConnection);
  connection.Open();
  EXPECT_TRUE(d.BackupDatabase(connection, "shop.bak", "C:\\O'Neil\\"));
  EXPECT_EQ(log.statements.back(), "BACKUP DATABASE TO 'C:\\O''Neil\\shop.bak'");
  log.failing = "BACKUP";
  EXPECT_FALSE(d.BackupDatabase(connection, "shop.bak", "C:\\backup"));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].context, dbcUpdate);
  EXPECT_EQ(owner.errors[0].description, " *** BACKUP ERROR *** on file C:\\backup\\shop.bak");
  EXPECT_NE(owner.errors[0].message.find("Statement refused"), std::string::npos);
}

// Folders for a restore: the data and log folders (a dot in each name) and the log file the
// restored database starts with, as the server reports it.
struct RestoreFolders {
  std::string root, data, logs, oldLog;
  RestoreFolders() {
    std::string pattern = (fs::temp_directory_path() / "schemion-asa-XXXXXX").string();
    root = mkdtemp(pattern.data());
    data = root + "/data v1.2";
    logs = root + "/logs v1.2";
    fs::create_directories(data);
    fs::create_directories(logs);
    oldLog = root + "/backed.log";
    std::ofstream(oldLog) << "log";
  }
  ~RestoreFolders() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  // sa_db_info's answer: another database, then `alias` with the old log.
  ado::RowSet DbInfo(const std::string& alias) const {
    return {
        {{"Alias", ado::FieldType::ftString, 128},
         {"File", ado::FieldType::ftString, 260},
         {"LogName", ado::FieldType::ftString, 260}},
        {{ado::Variant("other"), ado::Variant("other.db"), ado::Variant("other.log")},
         {ado::Variant(alias), ado::Variant(data + "\\" + alias + ".db"), ado::Variant(oldLog)}}};
  }
};

TEST(AsaDatabases, RestoreAsNewDatabaseStartsItWithItsLogRenamed) {
  TestOwner owner;
  TAsaSpecific d(&owner);
  dialect_test::Recording& log = FreshRecording();
  const RestoreFolders folders;
  log.answer = folders.DbInfo("shop");
  log.refuseOpening = "dbn=";  // no database "shop" yet
  std::string message;
  ASSERT_TRUE(d.RestoreAsNewDatabase("shop", "C:\\b\\shop.bak", folders.data, folders.logs, "dba",
                                     "", "srv", message))
      << (owner.errors.empty() ? message : owner.errors[0].message);
  EXPECT_EQ(message, "");
  EXPECT_EQ(log.connections.back(), "Provider=ASAProv.90;Eng=srv;User ID=dba");
  const std::string dbFile = folders.data + "\\shop.db";
  const std::string newLog = folders.logs + "\\shop.log";
  EXPECT_EQ(log.statements,
            (Statements{"RESTORE DATABASE '" + dbFile + "' FROM 'C:\\b\\shop.bak'",
                        "START DATABASE '" + dbFile + "' ", "EXECUTE sa_db_info",
                        "STOP DATABASE \"shop\"",
                        "ALTER DATABASE '" + dbFile + "' MODIFY LOG ON '" + newLog + "'",
                        "START DATABASE '" + dbFile + "' "}));
  EXPECT_FALSE(fs::exists(folders.oldLog));
  EXPECT_TRUE(fs::exists(folders.logs + "/shop.log"));
  EXPECT_TRUE(owner.errors.empty());
}

TEST(AsaDatabases, RestoreFailuresAreReportedAndMakeItFalse) {
  TestOwner owner;
  TAsaSpecific d(&owner);
  dialect_test::Recording& log = FreshRecording();
  const RestoreFolders folders;
  std::string message;
  // Onto an existing database: nothing is sent.
  EXPECT_FALSE(d.RestoreAsNewDatabase("shop", "shop.bak", folders.data, folders.logs, "", "", "srv",
                                      message));
  EXPECT_EQ(message, "Database already exists!");
  EXPECT_TRUE(log.statements.empty());

  log.refuseOpening = "dbn=";
  // Regression: restore went on to report success after each of these errors.
  log.answer = folders.DbInfo("other name");
  EXPECT_FALSE(d.RestoreAsNewDatabase("shop", "shop.bak", folders.data, folders.logs, "", "", "srv",
                                      message));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].description, "Rename log file failed");
  EXPECT_EQ(owner.errors[0].message,
            "Database shop is not connected!\r\nUnable to rename log file");
  owner.errors.clear();

  log.answer = folders.DbInfo("shop");  // the log cannot move into a folder that is not there
  EXPECT_FALSE(d.RestoreAsNewDatabase("shop", "shop.bak", folders.data, folders.root + "/none",
                                      "", "", "srv", message));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].description, "FileRename failed");
  EXPECT_NE(owner.errors[0].message.find(folders.oldLog), std::string::npos);
  owner.errors.clear();

  log.failing = "RESTORE";
  ado::TConnection connection(kRecorderConnection);
  connection.Open();
  EXPECT_FALSE(d.RestoreDatabase(connection, "shop.bak", folders.data, folders.logs));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].description, "Restore Database");
  EXPECT_NE(owner.errors[0].message.find("Statement refused"), std::string::npos);
  owner.errors.clear();

  // The restore went through, but the database does not start again under its new log.
  std::ofstream(folders.oldLog) << "log";
  log.failing = "START DATABASE";
  log.failingPasses = 1;
  EXPECT_FALSE(d.RestoreAsNewDatabase("shop", "shop.bak", folders.data, folders.logs, "", "", "srv",
                                      message));
  EXPECT_EQ(message, "Unable to start database restored!");
  EXPECT_TRUE(owner.errors.empty());
}

}  // namespace
