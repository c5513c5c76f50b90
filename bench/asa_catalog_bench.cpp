// Catalogue reads of the Adaptive Server Anywhere stand-in beside the SQL Server stand-in's, on
// databases of 2,000 and 4,000 tables of 20 columns with a key and an index: the dialect's table
// and column queries and the OLE DB INDEXES rowset; and a 100,000-row table rebuilt by a column
// change on each server. The stand-in should stay within twice the SQL Server stand-in's time,
// grow linearly with the tables, and rebuild within 1.5 times its time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "dialects/AsaQueries.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"

namespace {

// The bench's servers folder and its open databases; the sessions close before the folder goes.
struct BenchServers {
  struct Folder {
    std::string path;
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } folder;
  std::map<int, std::unique_ptr<ado::IProviderSession>> sessions;

  BenchServers() {
    char tmpl[] = "/tmp/schm_asa_bench_XXXXXX";
    folder.path = mkdtemp(tmpl);
    setenv("SCHEMION_SERVERS", folder.path.c_str(), 1);
    servers::RegisterEmbeddedServers();
  }
};

BenchServers& Servers() {
  static BenchServers servers;
  return servers;
}

std::unique_ptr<ado::IProviderSession> NewDatabase(const std::string& name) {
  auto& registry = ado::ProviderRegistry::Instance();
  auto server = registry.Open("Provider=ASAProv.90;Eng=bench");
  server->Execute("CREATE DATABASE '" + Servers().folder.path + "/" + name + ".db'");
  server->Execute("START DATABASE '" + Servers().folder.path + "/" + name + ".db'");
  return registry.Open("Provider=ASAProv.90;Eng=bench;dbn=" + name);
}

// One database per size (key: tables; 0 for the rebuild table), built once per run.
ado::IProviderSession& Database(int tables) {
  auto& s = Servers().sessions[tables];
  if (s) return *s;
  s = NewDatabase("bench" + std::to_string(tables));
  s->BeginTrans();
  for (int t = 0; t < tables; ++t) {
    std::string table = "T" + std::to_string(t);
    std::string sql = "CREATE TABLE dba." + table + " (Id integer IDENTITY NOT NULL";
    for (int c = 1; c < 20; ++c)
      sql += ", C" + std::to_string(c) + " " + (c % 3 == 0 ? "integer NULL" : c % 3 == 1 ? "varchar (40) NULL" : "timestamp NULL");
    s->Execute(sql + ", PRIMARY KEY  CLUSTERED  (Id))");
    s->Execute("CREATE INDEX IX_" + table + " ON dba." + table + " (C1, C3)");
  }
  s->CommitTrans();
  return *s;
}

template <class RowsOf>
void TimeRows(benchmark::State& state, RowsOf rowsOf) {
  auto& s = Database(static_cast<int>(state.range(0)));
  size_t rows = 0;
  for (auto _ : state) rows = rowsOf(s);
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_AsaTablesQuery(benchmark::State& state) {
  TimeRows(state, [](auto& s) { return s.Execute(asa_queries::kTablesQuery).at(0).Rows.Rows.size(); });
}

void BM_AsaColumnsQuery(benchmark::State& state) {
  TimeRows(state, [](auto& s) { return s.Execute(asa_queries::kColumnsQuery).at(0).Rows.Rows.size(); });
}

void BM_AsaIndexesRowset(benchmark::State& state) {
  TimeRows(state, [](auto& s) { return s.OpenSchema(ado::siIndexes, {}).Rows.size(); });
}

// vsiIndexes through the dialect, which corrects the rowset with queries of its own per index.
void BM_AsaDialectIndexes(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  Database(tables);
  TAsaSpecific dialect;
  ado::TConnection connection("Provider=ASAProv.90;Eng=bench;dbn=bench" + std::to_string(tables));
  connection.Open();
  ado::TDataSet data;
  data.SetConnection(&connection);
  for (auto _ : state) dialect.OpenSchema(vsiIndexes, ado::Variant(), ado::Variant(), data);
  state.counters["rows"] = static_cast<double>(data.RecordCount());
}

// A 100,000-row table whose column changes type back and forth: each change rebuilds it.
void BM_AsaRebuild100kRows(benchmark::State& state) {
  auto& s = Servers().sessions[-1];
  if (!s) {
    s = NewDatabase("rebuild");
    s->Execute("CREATE TABLE dba.R (id integer NOT NULL, v varchar (40) NULL, n integer NULL, PRIMARY KEY (id))");
    s->BeginTrans();
    for (int i = 0; i < 100000; i += 1000) {
      std::string sql = "INSERT INTO dba.R VALUES ";
      for (int k = i; k < i + 1000; ++k) sql += (k > i ? ", (" : "(") + std::to_string(k) + ", 'row', " + std::to_string(k % 7) + ")";
      s->Execute(sql);
    }
    s->CommitTrans();
  }
  bool wide = false;
  for (auto _ : state) {
    s->Execute(std::string("ALTER TABLE dba.R MODIFY v varchar (") + (wide ? "40" : "50") + ") NULL");
    wide = !wide;
  }
}

// The same rebuild on the SQL Server stand-in.
void BM_SqlServerRebuild100kRows(benchmark::State& state) {
  auto& s = Servers().sessions[-2];
  auto& registry = ado::ProviderRegistry::Instance();
  if (!s) {
    registry.Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=bench;Initial Catalog=master")
        ->Execute("CREATE DATABASE [rebuild]");
    s = registry.Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=bench;Initial Catalog=rebuild");
    s->Execute("CREATE TABLE R (id int NOT NULL, v varchar (40) NULL, n int NULL, CONSTRAINT PK_R PRIMARY KEY (id))");
    s->BeginTrans();
    for (int i = 0; i < 100000; i += 200) {
      std::string sql = "INSERT INTO R SELECT " + std::to_string(i) + ", 'row', " + std::to_string(i % 7);
      for (int k = i + 1; k < i + 200; ++k)
        sql += " UNION ALL SELECT " + std::to_string(k) + ", 'row', " + std::to_string(k % 7);
      s->Execute(sql);
    }
    s->CommitTrans();
  }
  bool wide = false;
  for (auto _ : state) {
    s->Execute(std::string("ALTER TABLE R ALTER COLUMN v varchar (") + (wide ? "40" : "50") + ") NULL");
    wide = !wide;
  }
}

}  // namespace

BENCHMARK(BM_AsaTablesQuery)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaColumnsQuery)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaIndexesRowset)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaDialectIndexes)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaRebuild100kRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerRebuild100kRows)->Unit(benchmark::kMillisecond);
