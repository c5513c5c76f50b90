// Adaptive Server Anywhere dialect: telling whether a database exists, creating and starting
// one on a server, and backing the connected database up, through the server's own statements.
#include "common/Text.h"
#include "dialects/DatabaseOperations.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"

using dialect_databases::FoldPath;
using dialect_databases::OptionalKey;

namespace {

constexpr const char* kProvider = "Provider=ASAProv.90;";

}  // namespace

bool TAsaSpecific::DatabaseExists(const std::string& name, const std::string& userId,
                                  const std::string& password, const std::string& server) {
  try {
    ado::TConnection connection(kProvider + DatabaseKey + name + OptionalKey("User ID", userId) +
                                OptionalKey("password", password) + OptionalKey("eng", server));
    connection.Open();
    return true;
  } catch (const ado::EDataError&) {
    return false;  // a database that cannot be reached counts as missing
  }
}

int TAsaSpecific::CreateDatabase(const std::string&, const std::string& dataFile,
                                 const std::string& logFile, const std::string& userId,
                                 const std::string& password, const std::string& server) {
  try {
    ado::TConnection connection(kProvider + ServerKey + text::Trim(server) +
                                OptionalKey("User ID", userId) + OptionalKey("password", password));
    connection.Open();
    std::string sql = "CREATE DATABASE '" + dataFile + "' ";
    if (!logFile.empty()) sql += " LOG ON '" + logFile + "' ";
    connection.Execute(sql);
    connection.Execute("START DATABASE '" + dataFile + "' ");
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

bool TAsaSpecific::RestoreDatabase(ado::TConnection&, const std::string&, const std::string&,
                                   const std::string&) {
  throw EDbSpecificError("Restoring an Adaptive Server Anywhere database is not available");
}

bool TAsaSpecific::RestoreAsNewDatabase(const std::string&, const std::string&,
                                        const std::string&, const std::string&,
                                        const std::string&, const std::string&,
                                        const std::string&, std::string&) {
  throw EDbSpecificError("Restoring an Adaptive Server Anywhere database is not available");
}
