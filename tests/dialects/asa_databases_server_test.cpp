// The Adaptive Server Anywhere dialect's database operations on the embedded server: creation in
// chosen folders, backup, restore in place and as a new database with the log under its new
// name, names and folders that would break unescaped SQL, and files that are no backup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"
#include "common/Text.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
const char* const kEngine = dialect_test::kAsaServer;

// A new folder under the servers' temporary folder.
std::string NewFolder(const std::string& name) {
  dialect_test::UseFreshServers();
  const std::string path = std::string(std::getenv("SCHEMION_SERVERS")) + "/" + name;
  fs::create_directories(path);
  return path;
}

std::unique_ptr<ado::TConnection> Connect(const std::string& extra) {
  auto connection =
      std::make_unique<ado::TConnection>(std::string("Provider=ASAProv.90;Eng=") + kEngine + extra);
  connection->Open();
  return connection;
}

Strings Rows(ado::TConnection& connection, const std::string& sql) {
  ado::TDataSet rows;
  rows.SetConnection(&connection);
  connection.Query(sql, rows);
  Strings out;
  for (rows.First(); !rows.Eof(); rows.Next()) {
    std::string row;
    for (int f = 0; f < rows.FieldCount(); ++f) row += (f ? "|" : "") + rows.Fields(f).AsString();
    out.push_back(row);
  }
  return out;
}

// What a database holds: its tables, the columns of Item and the rows of Item.
Strings Content(const std::string& database) {
  auto connection = Connect(";dbn=" + database);
  Strings content = Rows(*connection, "SELECT tname FROM SYSCATALOG WHERE creator = 'DBA' ORDER BY tname");
  for (const auto& column : Rows(*connection, "SELECT cname FROM SYSCOLUMNS WHERE tname = 'Item' ORDER BY cname"))
    content.push_back(column);
  for (const auto& row : Rows(*connection, "SELECT id, label FROM Item ORDER BY id")) content.push_back(row);
  return content;
}

void RunOn(const std::string& database, const Strings& script) {
  dialect_test::RunScript(*Connect(";dbn=" + database), script);
}

TEST(AsaDatabasesOnServer, CreationPutsTheFilesAsGivenWithTheirExtensions) {
  TestOwner owner;
  TAsaSpecific dialect(&owner);
  // A dot, a quote and blanks in the folder; a quote and a blank in the name.
  for (const std::string name : {"shop", "O'Brien x"}) {
    const std::string data = NewFolder("data v1.2 O'Neil " + name);
    EXPECT_FALSE(dialect.DatabaseExists(name, "", "", kEngine)) << name;
    // A data folder ending in "\" and no log folder: one path for both, two files.
    EXPECT_EQ(dialect.CreateDatabaseInFolder(name, data + "\\", "", "", "", kEngine), 2) << name;
    EXPECT_TRUE(fs::is_regular_file(data + "/" + name + ".db")) << name;
    EXPECT_TRUE(fs::is_regular_file(data + "/" + name + ".log")) << name;
    EXPECT_TRUE(dialect.DatabaseExists(name, "", "", kEngine)) << name;
  }
  EXPECT_TRUE(owner.errors.empty());
}

TEST(AsaDatabasesOnServer, BackupAndRestoreBringTheBackedUpDatabaseBack) {
  TestOwner owner;
  TAsaSpecific dialect(&owner);
  const std::string data = NewFolder("shop data v1.2"), logs = NewFolder("shop logs v1.2"),
                    backups = NewFolder("backups O'Neil");
  ASSERT_EQ(dialect.CreateDatabaseInFolder("Item's", data, "", "", "", kEngine), 2);
  RunOn("Item's", {"CREATE TABLE Item (id integer NOT NULL PRIMARY KEY, label varchar(20) NULL)",
                 "INSERT INTO Item VALUES (1, 'one')", "INSERT INTO Item VALUES (2, 'two')"});
  const Strings backedUp = Content("Item's");
  ASSERT_EQ(backedUp, (Strings{"Item", "id", "label", "1|one", "2|two"}));
  {
    auto connection = Connect(";dbn=Item's");
    ASSERT_TRUE(dialect.BackupDatabase(*connection, "shop.bak", backups));
  }
  const std::string backup = backups + "\\shop.bak";
  RunOn("Item's", {"CREATE TABLE Added (b integer NULL)", "ALTER TABLE Item ADD extra integer NULL",
                 "UPDATE Item SET label = 'changed' WHERE id = 1", "DELETE FROM Item WHERE id = 2"});
  const Strings changed = Content("Item's");
  ASSERT_NE(changed, backedUp);

  // As a new database: equal to the backup, its log under its new name, the original untouched.
  std::string message;
  EXPECT_TRUE(dialect.RestoreAsNewDatabase("Copy 1", backup, data, logs, "", "", kEngine, message))
      << message;
  EXPECT_EQ(Content("Copy 1"), backedUp);
  EXPECT_TRUE(fs::is_regular_file(logs + "/Copy 1.log"));
  EXPECT_EQ(Content("Item's"), changed);
  EXPECT_TRUE(fs::is_regular_file(data + "/Item's.log"));
  EXPECT_FALSE(dialect.RestoreAsNewDatabase("Copy 1", backup, data, logs, "", "", kEngine, message));
  EXPECT_EQ(message, "Database already exists!");
  EXPECT_EQ(Content("Copy 1"), backedUp);

  // In place, once the database is stopped; the server then starts it again on its new log.
  auto server = Connect("");
  server->Execute("STOP DATABASE \"Item's\"");
  dialect.DatabaseName = "Item's";
  EXPECT_TRUE(dialect.RestoreDatabase(*server, backup, data, logs));
  server->Execute("START DATABASE '" + data + "\\Item''s.db'");
  EXPECT_EQ(Content("Item's"), backedUp);
  EXPECT_TRUE(fs::is_regular_file(logs + "/Item's.log"));
  EXPECT_TRUE(owner.errors.empty());
}

TEST(AsaDatabasesOnServer, HostileNamesAndFoldersStayInsideTheirLiterals) {
  TestOwner owner;
  TAsaSpecific dialect(&owner);
  const std::string name = "O'Neil ]Zoë";
  const std::string folder = NewFolder("O'Neil ]Zoë's [files] v1.2"), logs = NewFolder("jürnal ]logs");
  EXPECT_FALSE(dialect.DatabaseExists(name, "", "", kEngine));
  ASSERT_EQ(dialect.CreateDatabaseInFolder(name, folder, "", "", "", kEngine), 2);
  EXPECT_TRUE(dialect.DatabaseExists(name, "", "", kEngine));
  RunOn(name, {"CREATE TABLE Item (id integer NOT NULL PRIMARY KEY, label varchar(20) NULL)",
               "INSERT INTO Item VALUES (1, 'één')"});
  const Strings backedUp = Content(name);
  {
    auto connection = Connect(";dbn=" + name);
    ASSERT_TRUE(dialect.BackupDatabase(*connection, name + ".bak", folder));
  }
  const std::string backup = folder + "\\" + name + ".bak";
  RunOn(name, {"UPDATE Item SET label = 'changed'"});

  std::string message;
  EXPECT_TRUE(dialect.RestoreAsNewDatabase("Copy ]ö", backup, folder, logs, "", "", kEngine, message)) << message;
  EXPECT_EQ(Content("Copy ]ö"), backedUp);
  EXPECT_TRUE(fs::is_regular_file(logs + "/Copy ]ö.log"));

  auto server = Connect("");
  server->Execute("STOP DATABASE \"" + name + "\"");
  dialect.DatabaseName = name;
  EXPECT_TRUE(dialect.RestoreDatabase(*server, backup, folder, logs));
  server->Execute("START DATABASE '" + text::ReplaceAll(folder + "\\" + name, "'", "''") + ".db'");
  EXPECT_EQ(Content(name), backedUp);
  EXPECT_TRUE(owner.errors.empty());
}

TEST(AsaDatabasesOnServer, FilesThatAreNoBackupAreRefusedAndChangeNothing) {
  TestOwner owner;
  TAsaSpecific dialect(&owner);
  const std::string data = NewFolder("refusals"), logs = NewFolder("refusals logs");
  ASSERT_EQ(dialect.CreateDatabaseInFolder("kept", data, "", "", "", kEngine), 2);
  RunOn("kept", {"CREATE TABLE Item (id integer NOT NULL PRIMARY KEY, label varchar(20) NULL)",
               "INSERT INTO Item VALUES (1, 'one')"});
  const Strings before = Content("kept");
  auto connection = Connect(";dbn=kept");
  ASSERT_TRUE(dialect.BackupDatabase(*connection, "kept.bak", data));
  std::ifstream in(data + "/kept.bak", std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), {});

  // A backup target that is another kind of file: refused, the file untouched.
  std::ofstream(data + "/notes.txt") << "notes";
  EXPECT_FALSE(dialect.BackupDatabase(*connection, "notes.txt", data));
  std::ifstream notes(data + "/notes.txt");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(notes)), {}), "notes");
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].context, dbcUpdate);
  EXPECT_EQ(owner.errors[0].description, " *** BACKUP ERROR *** on file " + data + "\\notes.txt");

  // A truncated backup and a foreign file: refused, the stopped database unchanged.
  std::ofstream(data + "/truncated.bak", std::ios::binary) << image.substr(0, image.size() / 3);
  connection.reset();
  auto server = Connect("");
  server->Execute("STOP DATABASE kept");
  dialect.DatabaseName = "kept";
  for (const std::string bad : {"truncated.bak", "notes.txt"}) {
    owner.errors.clear();
    EXPECT_FALSE(dialect.RestoreDatabase(*server, data + "\\" + bad, data, logs)) << bad;
    EXPECT_EQ(owner.errors.size(), 1u) << bad;
  }
  server->Execute("START DATABASE '" + data + "\\kept.db'");
  EXPECT_EQ(Content("kept"), before);
}

}  // namespace
