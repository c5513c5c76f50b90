// The backup and the restore as a new database of a database of 100,000 rows on the embedded SQL
// Server and Adaptive Server Anywhere, each beside a plain copy of the database's file (with its
// write-ahead companion, where most freshly written rows still sit) in the same run: the backup
// and the restore should stay within 2x of the copy. A restore must also put the new database on
// disk before it replaces the old one, so the copy followed by that one flush is timed too: the
// least any restore that survives a crash can cost.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "servers/EmbeddedServers.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 100000;
constexpr int kRestores = 10;
const char* const kSqlServer = "BackupBench";
const char* const kAsaEngine = "BackupBenchAsa";

// The bench's folder, under which the servers keep their files; removed last.
struct Folder {
  std::string path;
  Folder() {
    char tmpl[] = "/tmp/schm_database_backup_bench_XXXXXX";
    path = mkdtemp(tmpl);
    fs::create_directories(path + "/servers");
    setenv("SCHEMION_SERVERS", (path + "/servers").c_str(), 1);
    servers::RegisterEmbeddedServers();
    ado::ProviderRegistry::Instance().CreateServer(std::string("Provider=SQLOLEDB.1;Data Source=") + kSqlServer);
    ado::ProviderRegistry::Instance().CreateServer(std::string("Provider=ASAProv.90;Eng=") + kAsaEngine);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string Make(const std::string& name) const {
    fs::create_directories(path + "/" + name);
    return path + "/" + name;
  }
};

void Fill(ado::TConnection& connection, const std::string& textType) {
  connection.Execute("CREATE TABLE T (id INTEGER NOT NULL PRIMARY KEY, name " + textType +
                     ", n INTEGER)");
  connection.BeginTrans();
  for (int i = 0; i < kRows; ++i)
    connection.Execute("INSERT INTO T (id, name, n) VALUES (" + std::to_string(i) + ", 'name " +
                       std::to_string(i) + "', " + std::to_string(i % 97) + ")");
  connection.CommitTrans();
}

std::string SqlServerConnectionString(const std::string& database) {
  return std::string("Provider=SQLOLEDB;User ID=sa;Password=;Initial Catalog=") + database +
         ";Data Source=" + kSqlServer;
}

// Both databases, connected, with a backup of each to restore from; the connections close before
// the folder goes.
struct BenchDatabases {
  Folder folder;
  std::string data, backups, restores, copies;
  TSqlServerSpecific sqlServer;
  TAsaSpecific asa;
  std::unique_ptr<ado::TConnection> sqlServerConnection, asaConnection;
  int backupCount = 0, restoreCount = 0;

  BenchDatabases()
      : data(folder.Make("data")), backups(folder.Make("backups")),
        restores(folder.Make("restores")), copies(folder.Make("copies")) {
    if (sqlServer.CreateDatabaseInFolder("Shop", data, data, "sa", "", kSqlServer) != 2)
      throw std::runtime_error("the SQL Server database was not created");
    sqlServerConnection = std::make_unique<ado::TConnection>(SqlServerConnectionString("Shop"));
    sqlServerConnection->Open();
    sqlServer.GetDatabaseName(*sqlServerConnection);
    if (!sqlServer.BackupDatabase(*sqlServerConnection, "Empty.bak", backups))
      throw std::runtime_error("the SQL Server backup failed");
    Fill(*sqlServerConnection, "varchar(40)");
    if (!sqlServer.BackupDatabase(*sqlServerConnection, "Shop.bak", backups))
      throw std::runtime_error("the SQL Server backup failed");

    if (asa.CreateDatabaseInFolder("shop", data, "", "", "", kAsaEngine) != 2)
      throw std::runtime_error("the Adaptive Server Anywhere database was not created");
    asaConnection = std::make_unique<ado::TConnection>(std::string("Provider=ASAProv.90;Eng=") +
                                                       kAsaEngine + ";dbn=shop");
    asaConnection->Open();
    asa.GetDatabaseName(*asaConnection);
    if (!asa.BackupDatabase(*asaConnection, "empty.bak", backups))
      throw std::runtime_error("the Adaptive Server Anywhere backup failed");
    Fill(*asaConnection, "varchar(40)");
    if (!asa.BackupDatabase(*asaConnection, "shop.bak", backups))
      throw std::runtime_error("the Adaptive Server Anywhere backup failed");
  }
  // The SQL Server keeps a database's rows in its own folder, under the server's name.
  std::string SqlServerFile() const {
    return folder.path + "/servers/" + ServerFolderName() + "/shop.sqlite";
  }
  static std::string ServerFolderName() {
    std::string name = kSqlServer;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  }
  std::string AsaFile() const { return data + "/shop.db"; }
  std::string NextBackup() { return "b" + std::to_string(++backupCount) + ".bak"; }
  std::string NextRestore() { return "Copy" + std::to_string(++restoreCount); }
};

BenchDatabases& Databases() {
  static BenchDatabases databases;
  return databases;
}

// The database's file and its write-ahead companion, where there is one.
std::vector<std::string> FilesOf(const std::string& file) {
  std::vector<std::string> files{file};
  if (fs::exists(file + "-wal")) files.push_back(file + "-wal");
  return files;
}

int64_t SizeOf(const std::string& file) {
  int64_t size = 0;
  for (const std::string& f : FilesOf(file)) size += static_cast<int64_t>(fs::file_size(f));
  return size;
}

void Backup(benchmark::State& state, TDatabaseSpecific& dialect, ado::TConnection& connection,
            const std::string& file) {
  BenchDatabases& db = Databases();
  for (auto _ : state) {
    const std::string name = db.NextBackup();
    if (!dialect.BackupDatabase(connection, name, db.backups)) {
      state.SkipWithError("the backup failed");
      break;
    }
    state.PauseTiming();
    fs::remove(db.backups + "/" + name);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

void Restore(benchmark::State& state, TDatabaseSpecific& dialect, const std::string& backup,
             const std::string& server, const std::string& userId, const std::string& file) {
  BenchDatabases& db = Databases();
  for (auto _ : state) {
    std::string message;
    if (!dialect.RestoreAsNewDatabase(db.NextRestore(), db.backups + "/" + backup, db.restores,
                                      db.restores, userId, "", server, message)) {
      state.SkipWithError(("the restore failed: " + message).c_str());
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

void Copy(benchmark::State& state, const std::string& file) {
  BenchDatabases& db = Databases();
  const std::vector<std::string> files = FilesOf(file);
  for (auto _ : state)
    for (const std::string& f : files)
      fs::copy_file(f, db.copies + "/" + fs::path(f).filename().string(),
                    fs::copy_options::overwrite_existing);
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

// The copy, then the copied database file put on disk.
void CopyAndFlush(benchmark::State& state, const std::string& file) {
  BenchDatabases& db = Databases();
  const std::string target = db.copies + "/" + fs::path(file).filename().string();
  for (auto _ : state) {
    fs::copy_file(file, target, fs::copy_options::overwrite_existing);
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::fdatasync(fd) != 0) state.SkipWithError("the copy could not be flushed");
    if (fd >= 0) ::close(fd);
  }
  state.SetBytesProcessed(state.iterations() * SizeOf(file));
}

void BM_SqlServerBackup(benchmark::State& state) {
  BenchDatabases& db = Databases();
  Backup(state, db.sqlServer, *db.sqlServerConnection, db.SqlServerFile());
}

void BM_SqlServerRestoreAsNewDatabase(benchmark::State& state) {
  BenchDatabases& db = Databases();
  Restore(state, db.sqlServer, "Shop.bak", kSqlServer, "sa", db.SqlServerFile());
}

void BM_SqlServerRestoreEmptyAsNewDatabase(benchmark::State& state) {
  BenchDatabases& db = Databases();
  Restore(state, db.sqlServer, "Empty.bak", kSqlServer, "sa", db.backups + "/Empty.bak");
}

void BM_SqlServerCopyDatabaseFile(benchmark::State& state) {
  Copy(state, Databases().SqlServerFile());
}

void BM_SqlServerCopyAndFlushDatabaseFile(benchmark::State& state) {
  CopyAndFlush(state, Databases().SqlServerFile());
}

void BM_AsaBackup(benchmark::State& state) {
  BenchDatabases& db = Databases();
  Backup(state, db.asa, *db.asaConnection, db.AsaFile());
}

void BM_AsaRestoreAsNewDatabase(benchmark::State& state) {
  BenchDatabases& db = Databases();
  Restore(state, db.asa, "shop.bak", kAsaEngine, "", db.AsaFile());
}

void BM_AsaRestoreEmptyAsNewDatabase(benchmark::State& state) {
  BenchDatabases& db = Databases();
  Restore(state, db.asa, "empty.bak", kAsaEngine, "", db.backups + "/empty.bak");
}

void BM_AsaCopyDatabaseFile(benchmark::State& state) { Copy(state, Databases().AsaFile()); }

BENCHMARK(BM_SqlServerBackup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerRestoreAsNewDatabase)->Iterations(kRestores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerRestoreEmptyAsNewDatabase)->Iterations(kRestores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerCopyDatabaseFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerCopyAndFlushDatabaseFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaBackup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaRestoreAsNewDatabase)->Iterations(kRestores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaRestoreEmptyAsNewDatabase)->Iterations(kRestores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaCopyDatabaseFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
