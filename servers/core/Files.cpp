#include "servers/core/Files.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace servers {

namespace fs = std::filesystem;

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

std::string LocalPath(const std::string& folder, const std::string& composed) {
  std::string p;
  for (char c : composed) p += c == '\\' ? '/' : c;
  std::string folded;
  for (char c : p)
    if (!(c == '/' && !folded.empty() && folded.back() == '/')) folded += c;
  if (folded.size() >= 2 && std::isalpha(static_cast<unsigned char>(folded[0])) && folded[1] == ':')
    return (fs::path(folder) / folded.substr(0, 1) / folded.substr(2 + (folded.size() > 2 && folded[2] == '/'))).string();
  if (!folded.empty() && folded[0] == '/') return folded;
  return (fs::path(folder) / folded).string();
}

void CopyDatabase(sqlite3* from, sqlite3* to) {
  sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
  if (!b) throw ESqliteError(sqlite3_errmsg(to), sqlite3_errcode(to));
  int rc = sqlite3_backup_step(b, -1);
  sqlite3_backup_finish(b);
  if (rc != SQLITE_DONE) throw ESqliteError(sqlite3_errstr(rc), rc);
}

bool IsBackupFile(const std::string& path, const std::string& markerTable) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  try {
    auto db = OpenSqlite(path, false);
    return QueryInt(db.get(), "SELECT count(*) FROM sqlite_master WHERE name = " + SqlLiteral(markerTable)) != 0;
  } catch (const ESqliteError&) {
    return false;
  }
}

}  // namespace servers
