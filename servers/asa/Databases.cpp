// The server's database statements: CREATE, START, STOP and ALTER DATABASE, BACKUP and RESTORE,
// and sa_db_info. The server keeps the databases it has started, by name, in its folder; a
// database's files are named as the client writes them, placed as LocalPath places them.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "common/Text.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Session.h"
#include "servers/core/Files.h"
#include "servers/core/Rowsets.h"

namespace servers::asa {

namespace fs = std::filesystem;

namespace {

std::string RegistryFile(const std::string& folder) { return (fs::path(folder) / "asa_databases.txt").string(); }

// The log a database file names (as written), or its default: the file with ".log".
std::string LogOf(const std::string& path) {
  std::string log;
  try {
    auto db = OpenSqlite(path, false);
    Stmt q(db.get(), "SELECT log_name FROM asa_database");
    if (q.Step() && !q.IsNull(0)) log = q.Text(0);
  } catch (const ESqliteError&) {
  }
  return log;
}

// A started database: its name, its file and the log it writes (as the file names it).
struct StartedDatabase {
  std::string name, file, log;
};

// The started databases, one per line: name, file and log, tabs between. A line without the log
// (written before the log was kept there) gets it from the file.
std::vector<StartedDatabase> Started(const std::string& folder) {
  std::vector<StartedDatabase> out;
  std::ifstream in(RegistryFile(folder));
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const size_t second = line.find('\t', tab + 1);
    StartedDatabase d{line.substr(0, tab), line.substr(tab + 1, second - tab - 1), {}};
    d.log = second == std::string::npos ? LogOf(d.file) : line.substr(second + 1);
    out.push_back(std::move(d));
  }
  return out;
}

void SaveStarted(const std::string& folder, const std::vector<StartedDatabase>& list) {
  std::string temp = RegistryFile(folder) + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& d : list) out << d.name << '\t' << d.file << '\t' << d.log << '\n';
  }
  fs::rename(temp, RegistryFile(folder));
}

bool SameName(const std::string& a, const std::string& b) { return text::Lower(a) == text::Lower(b); }

void TouchFile(const std::string& path) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (!fs::exists(path, ec)) std::ofstream(path).flush();
}

// The file's name without its extension (a dot in a folder's name is no extension).
std::string WithoutExtension(const std::string& written) {
  size_t slash = written.find_last_of("\\/");
  size_t dot = written.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? written.substr(0, dot) : written;
}

std::string DefaultLog(const std::string& written) { return WithoutExtension(written) + ".log"; }

// A file written without extension gets the given one (".db" for a database, ".log" for a log).
std::string WithExtension(const std::string& written, const char* extension) {
  return WithoutExtension(written) == written ? written + extension : written;
}

// The identity and last change of a database file and its write-ahead log: any write to either,
// or another file put in its place, gives another stamp.
std::string FileStamp(const std::string& path) {
  std::string stamp;
  for (const std::string& file : {path, path + "-wal"}) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
      stamp += "-;";
      continue;
    }
    stamp += std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
             std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ";";
  }
  return stamp;
}

}  // namespace

bool EngineExists(const std::string& folder) {
  std::error_code ec;
  return fs::is_regular_file(RegistryFile(folder), ec);
}

void CreateEngine(const std::string& engine) {
  CreateServerFolder(engine, fs::path(RegistryFile("")).filename().string(),
                     [](const std::string& folder) { SaveStarted(folder, {}); });
}

std::string StartedDatabaseFile(const std::string& folder, const std::string& name) {
  for (const auto& d : Started(folder))
    if (SameName(d.name, name)) return d.file;
  return {};
}

void Session::CreateDatabase(const NamedStmt& s) {
  const FolderLock lock(folder_);
  const std::string written = WithExtension(s.name, ".db");
  std::string path = LocalPath(folder_, written);
  std::error_code ec;
  if (fs::exists(path, ec)) Fail(-82, "Unable to start specified database: the file '" + written + "' already exists");
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::string log = s.value.empty() ? DefaultLog(written) : WithExtension(s.value, ".log");
  {
    auto db = OpenDatabaseFile(path, true);
    ExecSql(db.get(), "BEGIN");
    CreateCatalog(db.get());
    Stmt f(db.get(), "UPDATE SYSFILE SET file_name = ? WHERE file_id = 0");
    f.Bind(1, written);
    f.Step();
    Stmt l(db.get(), "UPDATE asa_database SET log_name = ?");
    l.Bind(1, log);
    l.Step();
    ExecSql(db.get(), "COMMIT");
  }
  TouchFile(LocalPath(folder_, log));
}

void Session::StartDatabase(const NamedStmt& s) {
  const FolderLock lock(folder_);
  std::string path = LocalPath(folder_, WithExtension(s.name, ".db"));
  std::error_code ec;
  if (!fs::exists(path, ec)) Fail(-82, "Unable to start specified database: '" + s.name + "' not found");
  std::string name = s.as.empty() ? fs::path(path).stem().string() : s.as;
  auto list = Started(folder_);
  for (const auto& d : list) {
    if (SameName(d.name, name)) Fail(-77, "Database name not unique");
    if (d.file == path) Fail(-816, "Specified database file already in use");
  }
  const auto known = knownLogs_.find(path);
  const std::string log =
      known != knownLogs_.end() && known->second.stamp == FileStamp(path) ? known->second.log : LogOf(path);
  list.push_back({name, path, log});
  SaveStarted(folder_, list);
  // A database started without its log gets a new one.
  if (!log.empty()) TouchFile(LocalPath(folder_, log));
}

void Session::StopDatabase(const NamedStmt& s) {
  const FolderLock lock(folder_);
  auto list = Started(folder_);
  size_t before = list.size();
  std::erase_if(list, [&](const StartedDatabase& d) { return SameName(d.name, s.name); });
  if (list.size() == before) Fail(-83, "Specified database not found");
  SaveStarted(folder_, list);
}

// The backup goes to exactly the file named, in a folder that must exist; only an earlier backup
// is replaced, never a file of another kind.
void Session::Backup(const NamedStmt& s) {
  Db();  // only a connection to a database backs one up
  std::string path = LocalPath(folder_, s.value);
  std::error_code ec;
  if (!fs::is_directory(fs::path(path).parent_path(), ec))
    Fail(-697, "Error during backup/restore: cannot create file '" + s.value + "'");
  if (fs::exists(path, ec) && !IsBackupFile(path, "SYSTABLE"))
    Fail(-697, "Error during backup/restore: '" + s.value + "' is no backup and is not replaced");
  try {
    BackupDatabaseFile(StartedDatabaseFile(folder_, database_), path);
  } catch (const ESqliteError&) {
    Fail(-697, "Error during backup/restore: cannot create file '" + s.value + "'");
  }
}

void Session::Restore(const NamedStmt& s) {
  const FolderLock lock(folder_);
  std::string backup = LocalPath(folder_, s.value), path = LocalPath(folder_, WithExtension(s.name, ".db"));
  if (!IsBackupFile(backup, "SYSTABLE")) Fail(-82, "Unable to start specified database: '" + s.value + "' is no backup");
  for (const auto& d : Started(folder_))
    if (d.file == path) Fail(-816, "Specified database file already in use");
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  // The restored database's log is read from the copy while it is open anyway, so that starting
  // the database need not open it again.
  std::optional<std::string> log;
  auto readLog = [&](sqlite3* copy) {
    try {
      Stmt q(copy, "SELECT log_name FROM asa_database");
      log = q.Step() && !q.IsNull(0) ? q.Text(0) : std::string();
    } catch (const ESqliteError&) {
      log.reset();  // a catalogue without it: starting reads the file itself
    }
  };
  knownLogs_.erase(path);
  try {
    RestoreDatabaseFile(backup, path, readLog);
    if (log) knownLogs_[path] = {*log, FileStamp(path)};
  } catch (const ESqliteError& e) {
    if (e.Code() == SQLITE_BUSY || e.Code() == SQLITE_LOCKED) Fail(-816, "Specified database file already in use");
    Fail(-697, "Error during backup/restore: cannot create file '" + s.name + "'");
  }
}

void Session::AlterDatabase(const NamedStmt& s) {
  const FolderLock lock(folder_);
  std::string path = LocalPath(folder_, WithExtension(s.name, ".db"));
  for (const auto& d : Started(folder_))
    if (d.file == path) Fail(-664, "Database is active");
  std::error_code ec;
  if (!fs::exists(path, ec)) Fail(-82, "Unable to start specified database: '" + s.name + "' not found");
  const std::string log = WithExtension(s.value, ".log");
  knownLogs_.erase(path);
  {
    // A stopped database: the change waits in its write-ahead log for the next connection to it.
    auto db = OpenDatabaseFileForChange(path);
    Stmt l(db.get(), "UPDATE asa_database SET log_name = ?");
    l.Bind(1, log);
    l.Step();
  }
  knownLogs_[path] = {log, FileStamp(path)};
}

void Session::Call(const NamedStmt& s, std::vector<ado::StatementResult>& results) {
  if (!SameName(s.name, "sa_db_info")) Fail(-265, "Procedure '" + s.name + "' not found");
  std::string sql;
  int number = 0;
  for (const auto& d : Started(folder_)) {
    sql += std::string(sql.empty() ? "SELECT " : " UNION ALL SELECT ") + std::to_string(number++) + " AS Number, " +
           SqlLiteral(d.name) + " AS Alias, " + SqlLiteral(d.file) + " AS File, 0 AS ConnCount, 4096 AS PageSize, " +
           SqlLiteral(d.log.empty() ? std::string() : LocalPath(folder_, d.log)) + " AS LogName";
  }
  if (sql.empty()) sql = "SELECT 0 AS Number, '' AS Alias, '' AS File, 0 AS ConnCount, 0 AS PageSize, '' AS LogName LIMIT 0";
  auto memory = OpenSqlite(":memory:", true);
  ado::StatementResult r;
  r.HasRows = true;
  r.Rows = QueryRowSet(memory.get(), sql);
  results.push_back(std::move(r));
}

}  // namespace servers::asa
