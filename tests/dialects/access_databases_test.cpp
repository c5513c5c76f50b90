// The Access dialect's database operations on a plain file the test makes: the backup copies the
// database file under its own name and guards what it would replace; restores are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "DialectTestSupport.h"
#include "platform/data/Connection.h"

namespace {

namespace fs = std::filesystem;

const std::string kDatabaseHeader("SQLite format 3\0", 16);

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A database file in a folder whose name holds a dot, and a backup folder beside it.
struct AccessFiles {
  std::string root, database, backups;
  AccessFiles() {
    std::string pattern = (fs::temp_directory_path() / "schemion-access-XXXXXX").string();
    root = mkdtemp(pattern.data());
    fs::create_directories(root + "/db v1.2");
    database = root + "/db v1.2/shop.mdb";
    WriteFile(database, kDatabaseHeader + "first content");
    backups = root + "/backups";
    fs::create_directories(backups);
  }
  ~AccessFiles() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

std::string ConnectionStringFor(const std::string& database) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + database;
}

// Regression: the backup succeeded without writing a file.
TEST(AccessDatabases, BackupCopiesTheDatabaseFileUnderItsOwnName) {
  TestOwner owner;
  TAccessSpecific d(&owner);
  const AccessFiles files;
  ado::TConnection connection(ConnectionStringFor(files.database));
  // The engine hands over no file name: the database's own is taken.
  ASSERT_TRUE(d.BackupDatabase(connection, "", files.backups + "\\"));
  EXPECT_EQ(FileText(files.backups + "/shop.mdb"), FileText(files.database));

  // An earlier backup is replaced; a path written with "\" reaches the same file.
  WriteFile(files.database, kDatabaseHeader + "second content");
  ado::TConnection composed(ConnectionStringFor(files.root + "\\db v1.2\\shop.mdb"));
  ASSERT_TRUE(d.BackupDatabase(composed, "", files.backups));
  EXPECT_EQ(FileText(files.backups + "/shop.mdb"), FileText(files.database));
  EXPECT_TRUE(owner.errors.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(files.backups), fs::directory_iterator()), 1);

  EXPECT_TRUE(d.DatabaseExists("any", "", "", ""));
  EXPECT_EQ(d.CreateDatabase("any", "a", "b", "", "", ""), 1);
}

TEST(AccessDatabases, BackupRefusesWhatItMustNotReplace) {
  TestOwner owner;
  TAccessSpecific d(&owner);
  const AccessFiles files;
  const std::string original = FileText(files.database);
  ado::TConnection connection(ConnectionStringFor(files.database));

  // A missing folder: the backup error with the path, in the update's context.
  EXPECT_FALSE(d.BackupDatabase(connection, "", files.root + "/missing"));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].context, dbcUpdate);
  EXPECT_EQ(owner.errors[0].description,
            " *** BACKUP ERROR *** on file " + files.root + "/missing\\shop.mdb");
  EXPECT_FALSE(owner.errors[0].message.empty());

  // A file of another kind, a folder, and the database file itself are left as they are.
  WriteFile(files.backups + "/shop.mdb", "the user's notes");
  EXPECT_FALSE(d.BackupDatabase(connection, "", files.backups));
  EXPECT_EQ(FileText(files.backups + "/shop.mdb"), "the user's notes");
  fs::remove(files.backups + "/shop.mdb");
  fs::create_directories(files.backups + "/shop.mdb");
  EXPECT_FALSE(d.BackupDatabase(connection, "", files.backups));
  EXPECT_FALSE(d.BackupDatabase(connection, "", files.root + "/db v1.2"));
  EXPECT_EQ(FileText(files.database), original);

  ado::TConnection noFile("Provider=Microsoft.Jet.OLEDB.4.0");
  EXPECT_FALSE(d.BackupDatabase(noFile, "", files.backups));
  EXPECT_EQ(owner.errors.size(), 5u);
  EXPECT_EQ(std::distance(fs::directory_iterator(files.backups), fs::directory_iterator()), 1);
}

// Regression: both restores answered true without doing anything.
TEST(AccessDatabases, RestoresAreRefusedWithAnError) {
  TestOwner owner;
  TAccessSpecific d(&owner);
  const AccessFiles files;
  ado::TConnection connection(ConnectionStringFor(files.database));
  EXPECT_FALSE(d.RestoreDatabase(connection, files.database, files.backups, files.backups));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].description, "Restore Database");
  std::string message;
  EXPECT_FALSE(d.RestoreAsNewDatabase("copy", files.database, files.backups, files.backups, "",
                                      "", "", message));
  EXPECT_FALSE(message.empty());
  ASSERT_EQ(owner.errors.size(), 2u);
  EXPECT_EQ(owner.errors[1].context, dbcCheckDb);
  EXPECT_EQ(owner.errors[1].description, "Restore Database");
  EXPECT_EQ(std::distance(fs::directory_iterator(files.backups), fs::directory_iterator()), 0);
}

}  // namespace
