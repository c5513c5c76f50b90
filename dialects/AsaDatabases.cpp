// Adaptive Server Anywhere dialect: telling whether a database exists, creating and starting
// one on a server, backing the connected database up and restoring a backup as a database of
// its own, through the server's own statements.
#include <filesystem>
#include <system_error>

#include "common/Paths.h"
#include "common/Text.h"
#include "dialects/DatabaseOperations.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

using dialect_databases::FoldPath;
using dialect_databases::OptionalKey;

namespace {

namespace fs = std::filesystem;

constexpr const char* kProvider = "Provider=ASAProv.90;";
constexpr const char* kRestoreTitle = "Restore Database";
// The server's error number for a user id or password it does not accept.
constexpr int kInvalidLogin = -103;
constexpr int kServerNotFound = -100;

// Connection string of the server itself, with no database named.
std::string ServerConnectionString(const TDatabaseSpecific& dialect, const std::string& userId,
                                   const std::string& password, const std::string& server) {
  return kProvider + dialect.ServerKey + text::Trim(server) + OptionalKey("User ID", userId) +
         OptionalKey("password", password);
}

// The name the server gives a database it starts from a file: the file's name without folder
// and extension (a dot in a folder's name is no extension).
std::string AliasOfFile(const std::string& file) {
  const size_t slash = file.find_last_of("\\/");
  std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

// A database name written as a quoted identifier, an inner '"' doubled.
std::string QuotedIdentifier(const std::string& name) {
  return "\"" + text::ReplaceAll(name, "\"", "\"\"") + "\"";
}

// The log file of the started database `alias` as sa_db_info reports it; false when no started
// database has that alias. `shared` tells whether another started database writes that log (a
// restored copy names the log of the database it was backed up from).
bool FindLogFile(ado::TConnection& connection, const std::string& alias, std::string& logFile,
                 bool& shared) {
  ado::TDataSet info;
  info.SetConnection(&connection);
  connection.Query("EXECUTE sa_db_info", info);
  if (!info.Locate("alias", ado::Variant(alias), 0)) return false;
  logFile = info.FieldByName("logName").AsString();
  shared = false;
  for (info.First(); !info.Eof(); info.Next()) {
    shared = shared || (info.FieldByName("alias").AsString() != alias &&
                        info.FieldByName("logName").AsString() == logFile);
  }
  return true;
}

}  // namespace

bool TAsaSpecific::DatabaseExists(const std::string& name, const std::string& userId,
                                  const std::string& password, const std::string& server) {
  try {
    ado::TConnection connection(kProvider + DatabaseKey + name + OptionalKey("User ID", userId) +
                                OptionalKey("password", password) + OptionalKey("eng", server));
    connection.Open();
    return true;
  } catch (const ado::EOleException& e) {
    // A refused login comes from the database itself: it exists, and the updater's connection
    // then reports the refusal instead of creating the database over it. Nor is a database of a
    // server that cannot be found missing: the connection reports the server.
    return e.NativeError() == kInvalidLogin || e.NativeError() == kServerNotFound;
  } catch (const ado::EDataError&) {
    return false;  // a database that cannot be reached counts as missing
  }
}

int TAsaSpecific::CreateDatabase(const std::string&, const std::string& dataFile,
                                 const std::string& logFile, const std::string& userId,
                                 const std::string& password, const std::string& server) {
  try {
    ado::TConnection connection(ServerConnectionString(*this, userId, password, server));
    connection.Open();
    std::string sql = "CREATE DATABASE " + SqlLiteral(dataFile) + " ";
    if (!logFile.empty()) sql += " LOG ON " + SqlLiteral(logFile) + " ";
    connection.Execute(sql);
    connection.Execute("START DATABASE " + SqlLiteral(dataFile) + " ");
    return 2;
  } catch (const ado::EDataError&) {
    return 0;
  }
}

bool TAsaSpecific::BackupDatabase(ado::TConnection& connection, const std::string& fileName,
                                  const std::string& folder) {
  const std::string path = FoldPath(folder + "\\" + fileName);
  try {
    connection.Execute("BACKUP DATABASE TO " + SqlLiteral(path));
    return true;
  } catch (const ado::EDataError& e) {
    ReportBackupError(path, e.what());
    return false;
  }
}

bool TAsaSpecific::RestoreDatabase(ado::TConnection& connection, const std::string& backupFile,
                                   const std::string& dataFolder, const std::string& logFolder) {
  const std::string dbFile = FoldPath(dataFolder + "\\" + DatabaseName + ".db");
  const std::string newLog = FoldPath(logFolder + "\\" + DatabaseName + ".log");
  const std::string alias = AliasOfFile(dbFile);
  std::string oldLog;
  bool shared = false;
  try {
    connection.Execute("RESTORE DATABASE " + SqlLiteral(dbFile) + " FROM " +
                       SqlLiteral(backupFile));
    // Started once so that the server tells which log the restored database writes.
    connection.Execute("START DATABASE " + SqlLiteral(dbFile) + " ");
    if (!FindLogFile(connection, alias, oldLog, shared)) {
      if (Owner != nullptr) {
        Owner->ReportError(dbcUnknown, "Rename log file failed",
                           "Database " + alias + " is not connected!\r\nUnable to rename log file");
      }
      return false;
    }
    // Stopped, the database is pointed at its new log; the caller starts it again.
    connection.Execute("STOP DATABASE " + QuotedIdentifier(alias));
    connection.Execute("ALTER DATABASE " + SqlLiteral(dbFile) + " MODIFY LOG ON " +
                       SqlLiteral(newLog));
  } catch (const ado::EDataError& e) {
    if (Owner != nullptr) Owner->ReportError(dbcUnknown, kRestoreTitle, e.what());
    return false;
  }
  // Another database's log, or none left on disk, is not moved: the server starts the restored
  // database with a new log under the new name.
  std::error_code ec;
  if (oldLog.empty() || oldLog == newLog || shared ||
      !fs::exists(paths::ToNativePath(oldLog), ec)) {
    return true;
  }
  fs::rename(paths::ToNativePath(oldLog), paths::ToNativePath(newLog), ec);
  if (ec) {
    if (Owner != nullptr) {
      Owner->ReportError(dbcUnknown, "FileRename failed",
                         "Cannot rename " + oldLog + " to " + newLog + ": " + ec.message());
    }
    return false;
  }
  return true;
}

bool TAsaSpecific::RestoreAsNewDatabase(const std::string& name, const std::string& backupFile,
                                        const std::string& dataFolder,
                                        const std::string& logFolder, const std::string& userId,
                                        const std::string& password, const std::string& server,
                                        std::string& message) {
  message.clear();
  if (DatabaseExists(name, userId, password, server)) {
    message = "Database already exists!";
    return false;
  }
  try {
    ado::TConnection connection(ServerConnectionString(*this, userId, password, server));
    connection.Open();
    DatabaseName = name;
    if (!RestoreDatabase(connection, backupFile, dataFolder, logFolder)) return false;
    try {
      connection.Execute("START DATABASE " +
                         SqlLiteral(FoldPath(dataFolder + "\\" + name + ".db")) + " ");
    } catch (const ado::EDataError&) {
      message = "Unable to start database restored!";
      return false;
    }
    return true;
  } catch (const ado::EDataError& e) {
    message = e.what();
    return false;
  }
}
