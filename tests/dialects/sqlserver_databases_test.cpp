// The SQL Server dialect's database operations on the embedded server: existence, creation in
// chosen folders, backup, restore in place and as a new database, the failures as the dialect
// folds them, and names and folders that would break unescaped SQL.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DialectTestSupport.h"
#include "SqlServerTestDatabase.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "platform/data/Provider.h"

namespace {

namespace fs = std::filesystem;
using dialect_test::kServer;

// What reached the server: connection strings (passwords masked) and statements.
struct Traffic {
  std::vector<std::string> connections;
  std::vector<std::string> statements;
};

// A session that records each statement and hands it to the embedded server's session.
class WatchedSession : public ado::IProviderSession {
 public:
  WatchedSession(std::unique_ptr<ado::IProviderSession> inner, Traffic& traffic)
      : inner_(std::move(inner)), traffic_(traffic) {}
  std::vector<ado::StatementResult> Execute(const std::string& sql) override {
    traffic_.statements.push_back(sql);
    return inner_->Execute(sql);
  }
  void BeginTrans() override { inner_->BeginTrans(); }
  void CommitTrans() override { inner_->CommitTrans(); }
  void RollbackTrans() override { inner_->RollbackTrans(); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  ado::RowSet OpenSchema(ado::TSchemaInfo kind,
                         const std::vector<ado::Variant>& restrictions) override {
    return inner_->OpenSchema(kind, restrictions);
  }
  std::string CurrentDatabase() const override { return inner_->CurrentDatabase(); }

 private:
  std::unique_ptr<ado::IProviderSession> inner_;
  Traffic& traffic_;
};

// Stands in front of the embedded SQL Server and records what the dialect sends it.
class WatchingProvider : public ado::IProvider {
 public:
  WatchingProvider(ado::IProvider& inner, Traffic& traffic) : inner_(inner), traffic_(traffic) {}
  bool Accepts(const std::string& name) const override { return inner_.Accepts(name); }
  std::unique_ptr<ado::IProviderSession> Open(const ado::ConnectionString& cs) override {
    traffic_.connections.push_back(cs.ToStringWithoutPassword());
    return std::make_unique<WatchedSession>(inner_.Open(cs), traffic_);
  }

 private:
  ado::IProvider& inner_;
  Traffic& traffic_;
};

// The traffic of this program, emptied.
Traffic& Watch() {
  static Traffic traffic;
  static bool registered = false;
  if (!registered) {
    dialect_test::UseFreshServers();
    auto& registry = ado::ProviderRegistry::Instance();
    registry.Register(std::make_unique<WatchingProvider>(*registry.Find("SQLOLEDB"), traffic));
    registered = true;
  }
  traffic = {};
  return traffic;
}

// A new folder under the servers' temporary folder.
std::string NewFolder(const std::string& name) {
  const std::string path = std::string(std::getenv("SCHEMION_SERVERS")) + "/" + name;
  fs::create_directories(path);
  return path;
}

// Every row of the query, its values joined by "|".
std::vector<std::string> Rows(ado::TConnection& connection, const std::string& sql) {
  ado::TDataSet rows;
  rows.SetConnection(&connection);
  connection.Query(sql, rows);
  std::vector<std::string> out;
  for (rows.First(); !rows.Eof(); rows.Next()) {
    std::string row;
    for (int f = 0; f < rows.FieldCount(); ++f) {
      row += (f ? "|" : "") + rows.Fields(f).AsString();
    }
    out.push_back(row);
  }
  return out;
}

std::unique_ptr<ado::TConnection> Connect(const std::string& database) {
  auto connection = std::make_unique<ado::TConnection>(dialect_test::ConnectionStringFor(database));
  connection->Open();
  return connection;
}

// The database's files: logical name, file, size in pages, growth, growth in percent.
std::vector<std::string> Files(const std::string& database) {
  return Rows(*Connect(database),
              "select name, filename, size, growth, (status & 1048576) / 1048576 from sysfiles "
              "order by fileid");
}

// What a database holds: its user tables and the rows of Item.
std::vector<std::string> Content(ado::TConnection& connection) {
  std::vector<std::string> content =
      Rows(connection, "select name from sysobjects where xtype = 'U' order by name");
  for (const std::string& row : Rows(connection, "select id, label from Item order by id")) {
    content.push_back(row);
  }
  return content;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(SqlServerDatabases, CreationPutsTheFilesWhereAskedAndLoginKeysOnlyWhenGiven) {
  Traffic& traffic = Watch();
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  const std::string data = NewFolder("data v1.2");
  EXPECT_FALSE(dialect.DatabaseExists("Fresh", "", "", kServer));
  EXPECT_EQ(traffic.connections.back(),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Initial Catalog=master;Data Source=DialectTests");
  // A data folder ending in "\" and no log folder: both files there, one "\" before the name.
  EXPECT_EQ(dialect.CreateDatabaseInFolder("Fresh", data + "\\", "", " sa ", "", kServer), 2);
  EXPECT_EQ(traffic.connections.back(),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Initial Catalog=master;Data Source=DialectTests;User ID=sa");
  EXPECT_EQ(traffic.statements.back(),
            "CREATE DATABASE [Fresh] ON PRIMARY (NAME = N'Fresh_DATA',FILENAME = N'" + data +
                "\\Fresh_DATA.MDF', SIZE = 1, FILEGROWTH = 10 %) LOG ON (NAME = N'Fresh_LOG', "
                "FILENAME = N'" + data + "\\Fresh_Log.LDF', SIZE = 1, FILEGROWTH = 10 %) ");
  EXPECT_EQ(Files("Fresh"),
            (std::vector<std::string>{"Fresh_DATA|" + data + "\\Fresh_DATA.MDF|128|10|1",
                                      "Fresh_LOG|" + data + "\\Fresh_Log.LDF|128|10|1"}));
  EXPECT_TRUE(dialect.DatabaseExists("Fresh", "", "", kServer));

  traffic = {};
  EXPECT_EQ(dialect.CreateDatabaseInFolder("Fresh", data, "", "", "", kServer), 1);
  EXPECT_EQ(traffic.statements,
            (std::vector<std::string>{"select name from sysDatabases where name = 'Fresh'"}));

  // No data folder: the executable's; a log folder of its own.
  const std::string logs = NewFolder("logs");
  EXPECT_EQ(dialect.CreateDatabaseInFolder("Here", "", logs, "", "", kServer), 2);
  EXPECT_EQ(Files("Here"),
            (std::vector<std::string>{
                "Here_DATA|" + paths::ExecutableFolder() + "\\Here_DATA.MDF|128|10|1",
                "Here_LOG|" + logs + "\\Here_Log.LDF|128|10|1"}));

  // A password goes to the server only when given; this one is refused, which creation folds to 0.
  EXPECT_EQ(dialect.CreateDatabaseInFolder("Other", "", "", "sa", "wrong", kServer), 0);
  EXPECT_EQ(traffic.connections.back(),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Initial Catalog=master;Data Source=DialectTests;User ID=sa;password=*****");
  EXPECT_TRUE(dialect.DatabaseExists("Other", "sa", "wrong", kServer));  // unknown: exists
  EXPECT_EQ(traffic.connections.back(),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Initial Catalog=master;User ID=sa;password=*****;Data Source=DialectTests");
  EXPECT_TRUE(owner.errors.empty());
}

// Builds Item(id, label) with two rows in the database.
void FillShop(ado::TConnection& connection) {
  dialect_test::RunScript(
      connection, {"CREATE TABLE Item (id int NOT NULL PRIMARY KEY, label "
                   "varchar(20) NULL)",
                   "INSERT INTO Item VALUES (1, 'one')", "INSERT INTO Item VALUES (2, 'two')"});
}

// Changes the schema and the rows of a database filled by FillShop.
void ChangeShop(ado::TConnection& connection) {
  dialect_test::RunScript(
      connection,
      {"CREATE TABLE Added (b int NULL)", "ALTER TABLE Item ADD extra int NULL",
       "UPDATE Item SET label = 'changed' WHERE id = 1", "DELETE FROM Item WHERE id = 2",
       "INSERT INTO Item (id, label) VALUES (3, 'three')"});
}

TEST(SqlServerDatabases, BackupAndRestoreInPlaceAndAsANewDatabase) {
  Watch();
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  std::unique_ptr<ado::TConnection> shop = dialect_test::CreateAndConnect(dialect, "Shop");
  dialect.GetDatabaseName(*shop);
  FillShop(*shop);
  const std::vector<std::string> backedUp = Content(*shop);
  const std::string folder = NewFolder("backups v1.2");
  ASSERT_TRUE(dialect.BackupDatabase(*shop, "Shop.bak", folder + "\\"));
  const std::string backup = folder + "\\Shop.bak";
  ChangeShop(*shop);
  const std::vector<std::string> changed = Content(*shop);
  ASSERT_NE(changed, backedUp);

  ASSERT_TRUE(dialect.RestoreDatabase(*shop, backup, folder, folder));
  EXPECT_EQ(Rows(*shop, "select db_name()"), (std::vector<std::string>{"Shop"}));
  EXPECT_EQ(Content(*shop), backedUp);
  ChangeShop(*shop);

  std::string message;
  ASSERT_TRUE(
      dialect.RestoreAsNewDatabase("ShopCopy", backup, folder, folder, "", "", kServer, message));
  EXPECT_EQ(dialect.DatabaseName, "ShopCopy");
  EXPECT_EQ(Content(*Connect("ShopCopy")), backedUp);
  EXPECT_EQ(Content(*shop), changed);  // the original untouched
  // The copy's files carry its own name, in the folders given.
  EXPECT_EQ(Files("ShopCopy"),
            (std::vector<std::string>{"ShopCopy_DATA|" + folder + "\\ShopCopy_DATA.MDF|128|10|1",
                                      "ShopCopy_LOG|" + folder + "\\ShopCopy_LOG.LDF|128|10|1"}));

  // Onto an existing database: refused, nothing touched.
  Connect("ShopCopy")->Execute("INSERT INTO Item (id, label) VALUES (9, 'kept')");
  const std::vector<std::string> copy = Content(*Connect("ShopCopy"));
  EXPECT_FALSE(
      dialect.RestoreAsNewDatabase("ShopCopy", backup, folder, folder, "", "", kServer, message));
  EXPECT_EQ(Content(*Connect("ShopCopy")), copy);
  EXPECT_TRUE(owner.errors.empty());
}

TEST(SqlServerDatabases, FailuresAsTheDialectFoldsThem) {
  Watch();
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  // A server that cannot be reached: its folder is taken by a file.
  WriteFile(std::string(std::getenv("SCHEMION_SERVERS")) + "/unreachable", "not a server");
  EXPECT_TRUE(dialect.DatabaseExists("Any", "", "", "Unreachable"));
  EXPECT_EQ(dialect.CreateDatabaseInFolder("Any", "", "", "", "", "Unreachable"), 0);

  // A name the server refuses (longer than 128 characters): creation gives 0, and a restore as
  // a new database says it could not create it.
  const std::string tooLong(129, 'n');
  EXPECT_EQ(dialect.CreateDatabaseInFolder(tooLong, "", "", "", "", kServer), 0);
  std::string message;
  EXPECT_FALSE(dialect.RestoreAsNewDatabase(tooLong, "x.bak", "", "", "", "", kServer, message));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].context, dbcCheckDb);
  EXPECT_EQ(owner.errors[0].description, "Restore Database");
  EXPECT_EQ(owner.errors[0].message, "Unable to Create Database!");
  owner.errors.clear();

  std::unique_ptr<ado::TConnection> db = dialect_test::CreateAndConnect(dialect, "Failing");
  dialect.GetDatabaseName(*db);
  const std::string missing = NewFolder("present") + "/missing";
  EXPECT_FALSE(dialect.BackupDatabase(*db, "Failing.bak", missing));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].context, dbcUpdate);
  EXPECT_EQ(owner.errors[0].description,
            " *** BACKUP ERROR *** on file " + missing + "\\Failing.bak");
  EXPECT_NE(owner.errors[0].message.find("Cannot open backup device"), std::string::npos);
  // Regression: a failed backup left the connection working in master.
  EXPECT_EQ(Rows(*db, "select db_name()"), (std::vector<std::string>{"Failing"}));
  owner.errors.clear();

  // A failed restore reports the server's message and also leaves the connection where it was.
  EXPECT_FALSE(dialect.RestoreDatabase(*db, missing + "\\Failing.bak", missing, missing));
  ASSERT_EQ(owner.errors.size(), 1u);
  EXPECT_EQ(owner.errors[0].description, "Restore Database");
  EXPECT_NE(owner.errors[0].message.find("Cannot open backup device"), std::string::npos);
  EXPECT_EQ(Rows(*db, "select db_name()"), (std::vector<std::string>{"Failing"}));
}

TEST(SqlServerDatabases, HostileNamesAndFoldersStayInsideTheirLiterals) {
  Watch();
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  dialect_test::CreateAndConnect(dialect, "Victim");
  const std::string name = "O'Neil ]Zoë";
  const std::string folder = NewFolder("O'Neil ]Zoë's [files] v1.2");
  EXPECT_FALSE(dialect.DatabaseExists(name, "", "", kServer));
  ASSERT_EQ(dialect.CreateDatabaseInFolder(name, folder, "", "", "", kServer), 2);
  EXPECT_TRUE(dialect.DatabaseExists(name, "", "", kServer));
  EXPECT_EQ(dialect.CreateDatabaseInFolder(name, folder, "", "", "", kServer), 1);
  EXPECT_EQ(Files(name).front(), name + "_DATA|" + folder + "\\" + name + "_DATA.MDF|128|10|1");

  std::unique_ptr<ado::TConnection> db = Connect(name);
  dialect.GetDatabaseName(*db);
  ASSERT_EQ(dialect.DatabaseName, name);
  FillShop(*db);
  const std::vector<std::string> backedUp = Content(*db);
  ASSERT_TRUE(dialect.BackupDatabase(*db, name + ".bak", folder));
  ChangeShop(*db);
  ASSERT_TRUE(dialect.RestoreDatabase(*db, folder + "\\" + name + ".bak", folder, folder));
  EXPECT_EQ(Content(*db), backedUp);
  std::string message;
  ASSERT_TRUE(dialect.RestoreAsNewDatabase("Copy of " + name, folder + "\\" + name + ".bak", folder,
                                           folder, "", "", kServer, message));
  EXPECT_EQ(Content(*Connect("Copy of " + name)), backedUp);

  // A name crafted to close the statement creates a database of exactly that name.
  const std::string crafted = "x] DROP DATABASE [Victim";
  EXPECT_EQ(dialect.CreateDatabaseInFolder(crafted, "", "", "", "", kServer), 2);
  EXPECT_TRUE(dialect.DatabaseExists(crafted, "", "", kServer));
  EXPECT_TRUE(dialect.DatabaseExists("Victim", "", "", kServer));
  EXPECT_TRUE(owner.errors.empty());
}

TEST(SqlServerDatabases, RefusesForeignBackupTargetsAndBackupFiles) {
  Watch();
  TestOwner owner;
  TSqlServerSpecific dialect(&owner);
  std::unique_ptr<ado::TConnection> db = dialect_test::CreateAndConnect(dialect, "Guarded");
  dialect.GetDatabaseName(*db);
  FillShop(*db);
  const std::string folder = NewFolder("guarded");

  // A backup target that is another kind of file is refused and left as it was.
  WriteFile(folder + "/notes.txt", "the user's notes");
  EXPECT_FALSE(dialect.BackupDatabase(*db, "notes.txt", folder));
  EXPECT_EQ(FileText(folder + "/notes.txt"), "the user's notes");
  ASSERT_EQ(owner.errors.size(), 1u);
  owner.errors.clear();

  // A truncated backup and a foreign file are refused as backups; the database stays as it is.
  ASSERT_TRUE(dialect.BackupDatabase(*db, "Guarded.bak", folder));
  const std::string whole = FileText(folder + "/Guarded.bak");
  WriteFile(folder + "/truncated.bak", whole.substr(0, whole.size() / 2));
  ChangeShop(*db);
  const std::vector<std::string> current = Content(*db);
  for (const char* file : {"truncated.bak", "notes.txt"}) {
    EXPECT_FALSE(dialect.RestoreDatabase(*db, folder + "\\" + file, folder, folder)) << file;
    EXPECT_EQ(Content(*db), current) << file;
  }
  EXPECT_EQ(owner.errors.size(), 2u);
}

}  // namespace
