#include "servers/sqlserver/Server.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "servers/sqlserver/Catalog.h"
#include "servers/sqlserver/Functions.h"

namespace servers::sqlserver {

namespace fs = std::filesystem;

namespace {

std::string ServersRoot() {
  if (const char* env = std::getenv("SCHEMION_SERVERS"); env && *env) return env;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "SchmServers";
  return (exe.parent_path() / "SchmServers").string();
}

std::string SafeName(const std::string& name) {
  std::string out;
  for (char c : name) {
    bool bad = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
               c == '>' || c == '|' || static_cast<unsigned char>(c) < 0x20;
    out += bad ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (out.empty() || out == "." || out == "..") out = "(local)";
  if (out == "localhost" || out == "." || out == "127.0.0.1") out = "(local)";
  return out;
}

}  // namespace

std::string ServerFolder(const std::string& dataSource) {
  std::string name = dataSource.empty() ? "(local)" : dataSource;
  if (name == "." || name == "localhost") name = "(local)";
  fs::path folder = fs::path(ServersRoot()) / SafeName(name);
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder.string();
}

std::string DatabaseFile(const std::string& folder, const std::string& database) {
  return (fs::path(folder) / (SafeName(database) + ".sqlite")).string();
}

SqliteDbPtr OpenDatabaseFile(const std::string& path, bool create) {
  auto db = OpenSqlite(path, create);
  ExecSql(db.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA legacy_alter_table=ON; "
                    "PRAGMA foreign_keys=OFF; PRAGMA recursive_triggers=OFF; "
                    "PRAGMA cache_size=-65536;");
  return db;
}

void EnsureMaster(const std::string& folder) {
  std::string path = DatabaseFile(folder, "master");
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
  fs::rename(temp, path, ec);  // another session may have won the race; either file is whole
  fs::remove(temp, ec);
}

}  // namespace servers::sqlserver
