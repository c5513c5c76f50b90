#include "servers/core/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/data/DataErrors.h"

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

std::string ServerFolderOf(const std::string& name) { return (fs::path(ServersRoot()) / SafeName(name)).string(); }

void CreateServerFolder(const std::string& name, const std::string& marker,
                        const std::function<void(const std::string& folder)>& make) {
  const std::string folder = ServerFolderOf(name);
  std::error_code ec;
  if (fs::exists(fs::path(folder) / marker, ec)) throw ado::EOleException("The server '" + name + "' exists already.");
  fs::create_directories(folder, ec);
  if (ec) throw ado::EOleException("Cannot create the server's folder " + folder + ": " + ec.message());
  make(folder);
}

FolderLock::FolderLock(const std::string& folder)
    : fd_(::open((fs::path(folder) / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
  if (fd_ < 0) throw ESqliteError("cannot open the server's lock file: " + folder, SQLITE_CANTOPEN);
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      throw ESqliteError("cannot lock the server's folder: " + folder, SQLITE_BUSY);
    }
  }
}

FolderLock::~FolderLock() { ::close(fd_); }

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

SqliteDbPtr OpenDatabaseFileForChange(const std::string& path) {
  auto db = OpenSqlite(path, false);
  // Only a write-ahead file keeps a change safely outside the file: any other gets the servers'
  // usual settings.
  {
    Stmt mode(db.get(), "PRAGMA journal_mode");
    if (!mode.Step() || mode.Text(0) != "wal") return OpenDatabaseFile(path, false);
  }
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  ExecSql(db.get(), "PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=0; PRAGMA foreign_keys=OFF; "
                    "PRAGMA recursive_triggers=OFF");
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

namespace {

constexpr size_t kHeaderSize = 100;

// A file descriptor closed when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void FailIo(const std::string& what, const std::string& path) {
  throw ESqliteError(what + ": " + path, SQLITE_IOERR);
}

uint32_t Read32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// The file SQLite holds open for the connection's main database. A database file that may be
// open anywhere in this process is read through this handle only: a lock on a file belongs to the
// process, and closing any other descriptor of the file would drop every lock the process's
// connections hold on it, letting another process write (or delete the log) under them.
sqlite3_file* MainFile(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods)
    throw ESqliteError("cannot read the database file", SQLITE_IOERR);
  return file;
}

sqlite3_int64 SizeOf(sqlite3_file* file) {
  sqlite3_int64 size = 0;
  if (file->pMethods->xFileSize(file, &size) != SQLITE_OK) throw ESqliteError("cannot read the database file", SQLITE_IOERR);
  return size;
}

// The first 100 bytes of a database file; false when the file is shorter or no database file.
bool ReadHeader(sqlite3_file* file, std::array<unsigned char, kHeaderSize>& header) {
  if (SizeOf(file) < static_cast<sqlite3_int64>(kHeaderSize) ||
      file->pMethods->xRead(file, header.data(), static_cast<int>(kHeaderSize), 0) != SQLITE_OK)
    return false;
  static const char kMagic[] = "SQLite format 3";
  return std::equal(kMagic, kMagic + sizeof kMagic, header.begin());
}

// False when the header counts more pages than the file holds: a file cut short. Only a file
// that is no write-ahead database and has no rollback journal pending keeps its count current.
bool HoldsAllPages(const std::string& path, sqlite3_file* file, const std::array<unsigned char, kHeaderSize>& header) {
  std::error_code ec;
  const bool countCurrent = header[18] == 1 && Read32(&header[24]) == Read32(&header[92]) &&
                            !fs::exists(path + "-journal", ec);
  if (!countCurrent) return true;
  const uint32_t pageSize = header[16] == 0 && header[17] == 1 ? 65536u : (uint32_t{header[16]} << 8) | header[17];
  return static_cast<uint64_t>(SizeOf(file)) >= uint64_t{pageSize} * Read32(&header[28]);
}

// Copies the database file `from` (open in SQLite) whole into a new file `to`.
void CopyFileBytes(sqlite3_file* from, const std::string& to) {
  const sqlite3_int64 size = SizeOf(from);
  FileHandle out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.Get() < 0) FailIo("cannot create file", to);
  std::vector<char> buffer(1 << 20);
  for (sqlite3_int64 at = 0; at < size;) {
    const int n = static_cast<int>(std::min<sqlite3_int64>(static_cast<sqlite3_int64>(buffer.size()), size - at));
    if (from->pMethods->xRead(from, buffer.data(), n, at) != SQLITE_OK ||
        ::pwrite(out.Get(), buffer.data(), static_cast<size_t>(n), static_cast<off_t>(at)) != n)
      FailIo("cannot copy database file", to);
    at += n;
  }
}

}  // namespace

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FileHandle out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.Get() < 0) FailIo("cannot create file", path);
  for (size_t at = 0; at < bytes.size();) {
    ssize_t n = ::pwrite(out.Get(), bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
    if (n <= 0) FailIo("cannot write file", path);
    at += static_cast<size_t>(n);
  }
}

SqliteDbPtr ClaimDatabaseFile(const std::string& path) {
  auto db = OpenSqlite(path, false);
  sqlite3_busy_timeout(db.get(), 0);
  // Whatever the file holds is about to be replaced: closing must not write its log into it.
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  ExecSql(db.get(), "PRAGMA locking_mode=EXCLUSIVE");
  // Reads the header alone: the lock without loading the file's catalogue.
  QueryInt(db.get(), "PRAGMA schema_version");
  return db;
}

namespace {

// Removes the log, shared-memory and journal files beside a database file.
void RemoveCompanions(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"-wal", "-shm", "-journal"}) fs::remove(path + suffix, ec);
}

}  // namespace

void RemoveDatabaseFile(const std::string& path) {
  RemoveCompanions(path);
  std::error_code ec;
  fs::remove(path, ec);
}

void SealDatabaseFile(const std::string& path, JournalKind journal) {
  FileHandle file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (file.Get() < 0) FailIo("cannot open file", path);
  // The file format's write and read versions tell the journal kind.
  const unsigned char versions[] = {static_cast<unsigned char>(journal), static_cast<unsigned char>(journal)};
  std::array<unsigned char, kHeaderSize> header;
  const bool isDatabase = ::pread(file.Get(), header.data(), kHeaderSize, 0) == static_cast<ssize_t>(kHeaderSize);
  if (isDatabase && ::pwrite(file.Get(), versions, 2, 18) != 2) FailIo("cannot write file", path);
  if (::fdatasync(file.Get()) != 0) FailIo("cannot write file", path);
}

bool IsBackupFile(const std::string& path, const std::string& markerTable) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  try {
    auto db = OpenSqlite(path, false);
    std::array<unsigned char, kHeaderSize> header;
    if (!ReadHeader(MainFile(db.get()), header) || !HoldsAllPages(path, MainFile(db.get()), header)) return false;
    return QueryInt(db.get(), "SELECT count(*) FROM sqlite_master WHERE name = " + SqlLiteral(markerTable)) != 0;
  } catch (const ESqliteError&) {
    return false;
  }
}

void BackupDatabaseFile(const std::string& source, const std::string& target) {
  const std::string temp = target + ".part";
  std::error_code ec;
  fs::remove(temp, ec);
  try {
    auto db = OpenSqlite(source, false);
    // Rows still in the write-ahead log go into the file first, so that the file alone holds the
    // database; a reader that keeps the log busy leaves it as it is.
    sqlite3_busy_timeout(db.get(), 0);
    try {
      ExecSql(db.get(), "PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const ESqliteError&) {
      // another connection checkpoints or writes just now: the copy takes the log's rows too
    }
    // The read waits for other connections as any session does (one opening the file may be
    // reading its log just now). A read transaction begun over an empty log keeps every checkpoint
    // out of the file.
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    ExecSql(db.get(), "BEGIN");
    QueryInt(db.get(), "SELECT count(*) FROM sqlite_master");
    if (fs::file_size(source + "-wal", ec) == 0 || ec) {
      CopyFileBytes(MainFile(db.get()), temp);
    } else {
      auto to = OpenSqlite(temp, true);
      ExecSql(to.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
      CopyDatabase(db.get(), to.get());
    }  // closed before it is sealed
    SealDatabaseFile(temp, JournalKind::kRollback);
    ExecSql(db.get(), "COMMIT");
  } catch (const std::exception& e) {
    fs::remove(temp, ec);
    throw ESqliteError(e.what(), SQLITE_IOERR);
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    FailIo("cannot write file", target);
  }
}

void RestoreDatabaseFile(const std::string& backup, const std::string& target,
                         const std::function<void(sqlite3*)>& adjust) {
  const std::string temp = target + ".restoring";
  std::error_code ec;
  // The file is held until its copy is in its place: no connection opens it meanwhile and writes
  // a log that the copy would then read as its own.
  SqliteDbPtr claim;
  try {
    CopyFileBytes(MainFile(OpenSqlite(backup, false).get()), temp);
    if (adjust) {
      auto db = OpenSqlite(temp, false);
      // The copy is thrown away on any failure: it needs no journal of its own.
      ExecSql(db.get(), "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; BEGIN");
      adjust(db.get());
      ExecSql(db.get(), "COMMIT");
    }
    SealDatabaseFile(temp, JournalKind::kWriteAhead);
    if (fs::exists(target, ec)) claim = ClaimDatabaseFile(target);
  } catch (...) {
    fs::remove(temp, ec);
    throw;
  }
  RemoveCompanions(target);
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    FailIo("cannot write file", target);
  }
}

}  // namespace servers
