#include "servers/sqlserver/Server.h"

#include <filesystem>

#include "servers/sqlserver/Catalog.h"
#include "servers/sqlserver/Functions.h"

namespace servers::sqlserver {

namespace fs = std::filesystem;


std::string ServerFolder(const std::string& dataSource) { return ServerFolderOf(dataSource); }

bool ServerExists(const std::string& folder) {
  std::error_code ec;
  return fs::is_regular_file(DatabaseFile(folder, "master"), ec);
}

void CreateServer(const std::string& dataSource) {
  CreateServerFolder(dataSource, fs::path(DatabaseFile("", "master")).filename().string(), EnsureMaster);
}

void EnsureMaster(const std::string& folder) {
  std::string path = DatabaseFile(folder, "master");
  const FolderLock lock(folder);
  if (fs::exists(path)) return;
  std::string temp = path + ".new";
  fs::remove(temp);
  {
    auto db = OpenSqlite(temp, true);
    ExecSql(db.get(), "BEGIN");
    CreateCatalog(db.get(), true);
    std::string now = NowText();
    ExecSql(db.get(), "INSERT INTO sysdatabases (name, dbid, sid, crdate, reserved, filename) VALUES "
                      "('master', 1, X'01', '" + now + "', '" + now + "', " + SqlLiteral(path) + ");"
                      "INSERT INTO sysfiles (fileid, groupid, size, maxsize, growth, status, name, filename) "
                      "VALUES (1, 1, 1536, -1, 10, 1048578, 'master', " + SqlLiteral(path) + "),"
                      "(2, 0, 128, -1, 10, 1048642, 'mastlog', " + SqlLiteral(path + ".ldf") + ");");
    ExecSql(db.get(), "COMMIT");
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
}

}  // namespace servers::sqlserver
