// The Access backup of a database of 100,000 rows on the embedded server beside a plain copy of
// the same file in the same run: the backup should stay within 2x of the copy.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 100000;

// The bench's folder with the database, connected, and the two target folders; the connection
// closes before the folder goes.
struct BenchDatabase {
  struct Folder {
    std::string path;
    ~Folder() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } folder;
  std::unique_ptr<ado::TConnection> connection;

  BenchDatabase() {
    char tmpl[] = "/tmp/schm_access_backup_bench_XXXXXX";
    folder.path = mkdtemp(tmpl);
    servers::RegisterEmbeddedServers();
    const std::string cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + File();
    ado::ProviderRegistry::Instance().CreateDatabase(cs);
    connection = std::make_unique<ado::TConnection>(cs);
    connection->Open();
    connection->Execute("CREATE TABLE T (id INTEGER NOT NULL PRIMARY KEY, name TEXT(40), n INTEGER)");
    connection->BeginTrans();
    for (int i = 0; i < kRows; ++i)
      connection->Execute("INSERT INTO T (id, name, n) VALUES (" + std::to_string(i) + ", 'name " +
                          std::to_string(i) + "', " + std::to_string(i % 97) + ")");
    connection->CommitTrans();
    fs::create_directories(folder.path + "/backups");
    fs::create_directories(folder.path + "/copies");
  }
  std::string File() const { return folder.path + "/shop.mdb"; }
};

BenchDatabase& Database() {
  static BenchDatabase database;
  return database;
}

void BM_AccessBackup(benchmark::State& state) {
  BenchDatabase& db = Database();
  TAccessSpecific dialect;
  for (auto _ : state) {
    if (!dialect.BackupDatabase(*db.connection, "", db.folder.path + "/backups")) {
      state.SkipWithError("the backup failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(db.File())));
}

void BM_CopyDatabaseFile(benchmark::State& state) {
  BenchDatabase& db = Database();
  for (auto _ : state)
    fs::copy_file(db.File(), db.folder.path + "/copies/shop.mdb", fs::copy_options::overwrite_existing);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(db.File())));
}

BENCHMARK(BM_AccessBackup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyDatabaseFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
