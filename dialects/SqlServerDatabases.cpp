// SQL Server dialect: creating a missing database, telling whether one exists, backing the
// connected database up and restoring it, through the server's own statements on master.
#include "common/Text.h"
#include "dialects/DatabaseOperations.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

namespace {

using dialect_databases::BracketName;
using dialect_databases::FoldPath;
using dialect_databases::NLiteral;
using dialect_databases::OptionalKey;

constexpr const char* kIntegratedSecurity =
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;";

std::string ExistsQuery(const std::string& name) {
  return "select name from sysDatabases where name = " + SqlLiteral(name);
}

// True when the query returns at least one row.
bool HasRows(ado::TConnection& connection, const std::string& sql) {
  ado::TDataSet query;
  query.SetConnection(&connection);
  connection.Query(sql, query);
  return !query.IsEmpty();
}

// Connection string of the server's master database, as database creation and restore use it.
std::string MasterConnectionString(const TDatabaseSpecific& dialect, const std::string& userId,
                                   const std::string& password, const std::string& server) {
  return std::string(kIntegratedSecurity) + dialect.DatabaseKey + "master;" + dialect.ServerKey +
         text::Trim(server) + OptionalKey("User ID", userId) + OptionalKey("password", password);
}

// Connection string of the existence test: every optional key left out when empty.
std::string ExistsConnectionString(const TDatabaseSpecific& dialect, const std::string& userId,
                                   const std::string& password, const std::string& server) {
  return std::string(kIntegratedSecurity) + dialect.DatabaseKey + "master" +
         OptionalKey("User ID", userId) + OptionalKey("password", password) +
         OptionalKey("Data Source", server);
}

// The statement that creates the database with one data and one log file of 1 MB growing by 10 %.
std::string CreateDatabaseSql(const std::string& name, const std::string& dataFile,
                              const std::string& logFile) {
  return "CREATE DATABASE " + BracketName(name) +
         " ON PRIMARY (NAME = " + NLiteral(name + "_DATA") +
         ",FILENAME = " + NLiteral(dataFile + "_DATA.MDF") + ", " +
         "SIZE = 1, FILEGROWTH = 10 %) LOG ON (NAME = " + NLiteral(name + "_LOG") +
         ", FILENAME = " + NLiteral(logFile + "_Log.LDF") + ", " + "SIZE = 1, FILEGROWTH = 10 %) ";
}

// Takes the connection back to `database` after a statement that began with "USE master" failed,
// so that the caller does not go on working in master. A failure here changes nothing more.
void ReturnToDatabase(ado::TConnection& connection, const std::string& database) {
  try {
    connection.Execute("USE " + BracketName(database) + " ");
  } catch (const ado::EDataError&) {
  }
}

}  // namespace

bool TSqlServerSpecific::DatabaseExists(const std::string& name, const std::string& userId,
                                        const std::string& password, const std::string& server) {
  try {
    ado::TConnection connection(ExistsConnectionString(*this, userId, password, server));
    connection.Open();
    return HasRows(connection, ExistsQuery(name));
  } catch (const ado::EDataError&) {
    return true;  // unknown: the updater must not try to create it
  }
}

int TSqlServerSpecific::CreateDatabase(const std::string& name, const std::string& dataFile,
                                       const std::string& logFile, const std::string& userId,
                                       const std::string& password, const std::string& server) {
  try {
    ado::TConnection connection(MasterConnectionString(*this, userId, password, server));
    connection.Open();
    if (HasRows(connection, ExistsQuery(name))) return 1;
    connection.Execute(CreateDatabaseSql(name, dataFile, logFile));
    return 2;
  } catch (const ado::EDataError&) {
    return 0;
  }
}

bool TSqlServerSpecific::BackupDatabase(ado::TConnection& connection, const std::string& fileName,
                                        const std::string& folder) {
  const std::string path = FoldPath(folder + "\\" + fileName);
  try {
    connection.Execute("USE master BACKUP DATABASE " + BracketName(DatabaseName) +
                       " TO DISK = " + SqlLiteral(path));
    connection.Execute("USE " + BracketName(DatabaseName) + " ");
    return true;
  } catch (const ado::EDataError& e) {
    ReturnToDatabase(connection, DatabaseName);
    ReportBackupError(path, e.what());
    return false;
  }
}

bool TSqlServerSpecific::RestoreDatabase(ado::TConnection& connection,
                                         const std::string& backupFile,
                                         const std::string& dataFolder,
                                         const std::string& logFolder) {
  // The data file and the log file: each is moved to its folder and renamed after the database.
  struct DatabaseFile {
    const char* type;  // "D" or "L" in the backup's file list
    std::string path;
    const char* suffix;
    std::string logicalName;  // as the backup names it; empty when the backup has no such file
  };
  DatabaseFile dbFiles[] = {
      {"D", FoldPath(dataFolder + "\\" + DatabaseName + "_DATA.MDF"), "_DATA", {}},
      {"L", FoldPath(logFolder + "\\" + DatabaseName + "_LOG.LDF"), "_LOG", {}}};
  try {
    ado::TDataSet files;
    files.SetConnection(&connection);
    connection.Query("use master RESTORE FILELISTONLY FROM DISK = " + SqlLiteral(backupFile),
                     files);
    std::string moves;
    for (DatabaseFile& f : dbFiles) {
      if (!files.Locate("type", ado::Variant(f.type), 0)) continue;
      f.logicalName = files.FieldByName("logicalName").AsString();
      moves += ", MOVE " + SqlLiteral(f.logicalName) + " TO " + SqlLiteral(f.path);
    }
    files.Close();
    connection.Execute("USE MASTER RESTORE DATABASE " + BracketName(DatabaseName) + " " +
                       "FROM DISK = " + SqlLiteral(backupFile) +
                       " WITH FILE = 1, NOUNLOAD, REPLACE, RECOVERY " + moves);
    for (const DatabaseFile& f : dbFiles) {
      if (f.logicalName.empty()) continue;
      connection.Execute("ALTER DATABASE " + BracketName(DatabaseName) + " " +
                         "MODIFY FILE (NAME = " + SqlLiteral(f.logicalName) +
                         ", NEWNAME = " + SqlLiteral(DatabaseName + f.suffix) + ")");
    }
    connection.Execute("USE " + BracketName(DatabaseName) + " ");
    return true;
  } catch (const ado::EDataError& e) {
    ReturnToDatabase(connection, DatabaseName);
    if (Owner != nullptr) Owner->ReportError(dbcUnknown, "Restore Database", e.what());
    return false;
  }
}

bool TSqlServerSpecific::RestoreAsNewDatabase(const std::string& name,
                                              const std::string& backupFile,
                                              const std::string& dataFolder,
                                              const std::string& logFolder,
                                              const std::string& userId,
                                              const std::string& password,
                                              const std::string& server, std::string& message) {
  message.clear();
  if (DatabaseExists(name, userId, password, server)) return false;
  const std::string data = dataFolder.empty() ? std::string(".") : dataFolder;
  const std::string log = logFolder.empty() ? std::string(".") : logFolder;
  const int created = CreateDatabaseInFolder(name, data, log, userId, password, server);
  DatabaseName = name;
  if (created != 2) {
    if (Owner != nullptr) {
      Owner->ReportError(dbcCheckDb, "Restore Database", "Unable to Create Database!");
    }
    return false;
  }
  try {
    ado::TConnection connection(MasterConnectionString(*this, userId, password, server));
    connection.Open();
    const bool restored = RestoreDatabase(connection, backupFile, data, log);
    connection.Close();
    return restored;
  } catch (const ado::EDataError& e) {
    message = e.what();
    if (Owner != nullptr) Owner->ReportError(dbcCheckDb, "Restore Database", e.what());
    return false;
  }
}
