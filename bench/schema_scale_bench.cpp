// Scale of the embedded SQL Server's DDL on generated schemas (bench/GeneratedSchema.h):
// - the load of a schema's script through schemion-sql against the same DDL run by SQLite itself,
//   statement by statement in the same run (goal: within 10x at 2,000 tables);
// - the apply (UpdateDb) of the instructions the check writes for a client differing in a tenth
//   of its tables (goal: ten times the tables for at most twelve times the time).
// CPU time; each iteration loads into a new database.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchServers.h"
#include "GeneratedSchema.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"
#include "servers/client/SqlClient.h"

namespace {

namespace fs = std::filesystem;

bench::ServerFolder& Root() {
  static bench::ServerFolder root("scale");
  return root;
}

int serial = 0;

// A new database loaded with the script; its connection string, empty on failure.
std::string Load(const std::string& name, const std::string& script) {
  Root();
  const std::string cs = bench::NewSqlServerDatabase(name + "_" + std::to_string(serial++), "Scale");
  if (cs.empty()) return {};
  std::istringstream in(script);
  std::ostringstream out, err;
  if (sqlclient::RunSqlClient({"-c", cs}, in, out, err) != 0) return {};
  return cs;
}

void BM_LoadThroughSchemionSql(benchmark::State& state) {
  const std::string script = bench::SchemaScript({static_cast<int>(state.range(0))});
  for (auto _ : state) {
    if (Load("Load", script).empty()) state.SkipWithError("the script failed");
  }
}

void BM_LoadThroughSqlite(benchmark::State& state) {
  const std::string script = bench::SchemaScript({static_cast<int>(state.range(0)), false, true});
  for (auto _ : state) {
    const std::string file = Root().dir + "/plain" + std::to_string(serial++) + ".db";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    // The storage settings of the servers' files.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      state.SkipWithError(sqlite3_errmsg(db));
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix);
  }
}

// The master's schema files and the client's script of `tables` tables, with the instruction
// list the check writes; made once.
struct Apply {
  std::string folder, clientScript;
};

const Apply& ApplyOf(int tables) {
  static std::map<int, Apply> made;
  if (auto found = made.find(tables); found != made.end()) return found->second;
  Apply a;
  a.folder = Root().dir + "/apply" + std::to_string(tables);
  fs::create_directories(a.folder);
  a.clientScript = bench::SchemaScript({tables, true});
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = a.folder;
  producer.SetConnectionString(Load("Master", bench::SchemaScript({tables})));
  producer.Initialize();
  producer.SetConnected(true);
  producer.ExtractSchema();
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = updater.DirSql = a.folder;
  updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater.SetConnectionString(Load("Client", a.clientScript));
  updater.Initialize();
  updater.SetConnected(true);
  updater.dm()->CheckDb(true);
  return made[tables] = a;
}

void BM_ApplyDifference(benchmark::State& state) {
  const Apply& a = ApplyOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    TOrvDbSchemaUpdater updater;
    updater.DirSchemas = updater.DirSql = updater.DirBackup = a.folder;
    updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
    updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
    updater.SetConnectionString(Load("Client", a.clientScript));
    updater.Initialize();
    updater.SetConnected(true);
    state.ResumeTiming();
    if (!updater.dm()->UpdateDb(false)) state.SkipWithError("the update failed");
  }
}

}  // namespace

BENCHMARK(BM_LoadThroughSqlite)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadThroughSchemionSql)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplyDifference)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
