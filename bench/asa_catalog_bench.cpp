// Catalogue reads of the Adaptive Server Anywhere stand-in beside the SQL Server stand-in's, each
// through its own dialect, on databases of 2,000 and 4,000 tables of 20 columns with a primary key
// and two indexes: vsiTables, vsiColumns and vsiIndexes (the Adaptive Server Anywhere dialect
// corrects the INDEXES rowset with two queries of its own per index). And a 100,000-row table
// rebuilt by a column change on each server. The stand-in should stay within twice the SQL Server
// stand-in's time, grow linearly with the tables (4,000 within 2.5 times 2,000), and rebuild within
// 1.5 times its time.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "BenchServers.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "platform/data/Provider.h"

namespace {

bench::ServerFolder& Folder() {
  static bench::ServerFolder folder("asa-catalog");
  return folder;
}

// A new database on the benchmark's Adaptive Server Anywhere; its connection string.
std::string NewAsaDatabase(const std::string& name) {
  bench::MakeServer("Provider=ASAProv.90;Eng=bench");
  auto server = ado::ProviderRegistry::Instance().Open("Provider=ASAProv.90;Eng=bench");
  server->Execute("CREATE DATABASE '" + Folder().dir + "/" + name + ".db'");
  server->Execute("START DATABASE '" + Folder().dir + "/" + name + ".db'");
  return "Provider=ASAProv.90;Eng=bench;dbn=" + name;
}

// The tables of both databases: an identity key, 19 more columns of three types, two indexes.
std::string CreateTableSql(bool asa, int t) {
  const std::string table = "T" + std::to_string(t);
  std::string sql = asa ? "CREATE TABLE dba." + table + " (Id integer IDENTITY NOT NULL"
                        : "CREATE TABLE [" + table + "] ([Id] int IDENTITY (1, 1) NOT NULL";
  for (int c = 1; c < 20; ++c) {
    const char* type = c % 3 == 0 ? (asa ? "integer" : "int") : c % 3 == 1 ? (asa ? "varchar (40)" : "nvarchar (40)")
                                                                            : (asa ? "timestamp" : "datetime");
    sql += ", C" + std::to_string(c) + " " + type + " NULL";
  }
  return sql + (asa ? ", PRIMARY KEY  CLUSTERED  (Id))" : ", CONSTRAINT [PK_" + table + "] PRIMARY KEY CLUSTERED ([Id]))");
}

// The connection string of the database of `tables` tables on one server, built once per run.
const std::string& Database(bool asa, int tables) {
  static std::map<std::pair<bool, int>, std::string> made;
  std::string& cs = made[{asa, tables}];
  if (!cs.empty()) return cs;
  const std::string name = std::string(asa ? "asa" : "mss") + std::to_string(tables);
  cs = asa ? NewAsaDatabase(name) : bench::NewSqlServerDatabase(name, "bench");
  auto session = ado::ProviderRegistry::Instance().Open(cs);
  session->BeginTrans();
  for (int t = 0; t < tables; ++t) {
    const std::string table = "T" + std::to_string(t), owner = asa ? "dba." : "";
    session->Execute(CreateTableSql(asa, t));
    session->Execute("CREATE INDEX IX_" + table + " ON " + owner + table + " (C1, C3)");
    session->Execute("CREATE INDEX IY_" + table + " ON " + owner + table + " (C2 DESC)");
  }
  session->CommitTrans();
  return cs;
}

// Reads one kind of the catalogue through the server's dialect, as the engine does.
void DialectRead(benchmark::State& state, bool asa, TOrvSchemaInfo kind) {
  Folder();
  const std::string& cs = Database(asa, static_cast<int>(state.range(0)));
  std::unique_ptr<TDatabaseSpecific> dialect;
  if (asa) dialect = std::make_unique<TAsaSpecific>();
  else dialect = std::make_unique<TSqlServerSpecific>();
  ado::TConnection connection(cs);
  connection.Open();
  ado::TDataSet data;
  data.SetConnection(&connection);
  for (auto _ : state) dialect->OpenSchema(kind, ado::Variant(), ado::Variant(), data);
  state.counters["rows"] = static_cast<double>(data.RecordCount());
}

void BM_AsaTables(benchmark::State& state) { DialectRead(state, true, vsiTables); }
void BM_SqlServerTables(benchmark::State& state) { DialectRead(state, false, vsiTables); }
void BM_AsaColumns(benchmark::State& state) { DialectRead(state, true, vsiColumns); }
void BM_SqlServerColumns(benchmark::State& state) { DialectRead(state, false, vsiColumns); }
void BM_AsaIndexes(benchmark::State& state) { DialectRead(state, true, vsiIndexes); }
void BM_SqlServerIndexes(benchmark::State& state) { DialectRead(state, false, vsiIndexes); }

// A 100,000-row table whose column changes type back and forth: each change rebuilds it.
void Rebuild(benchmark::State& state, bool asa) {
  Folder();
  static std::map<bool, std::unique_ptr<ado::IProviderSession>> sessions;
  auto& s = sessions[asa];
  if (!s) {
    s = ado::ProviderRegistry::Instance().Open(asa ? NewAsaDatabase("rebuild")
                                                   : bench::NewSqlServerDatabase("rebuild", "bench"));
    s->Execute(asa ? "CREATE TABLE dba.R (id integer NOT NULL, v varchar (40) NULL, n integer NULL, PRIMARY KEY (id))"
                   : "CREATE TABLE R (id int NOT NULL, v varchar (40) NULL, n int NULL, CONSTRAINT PK_R PRIMARY KEY (id))");
    s->BeginTrans();
    for (int i = 0; i < 100000; i += 200) {
      std::string sql = "INSERT INTO R ";
      for (int k = i; k < i + 200; ++k) {
        const std::string row = std::to_string(k) + ", 'row', " + std::to_string(k % 7);
        sql += asa ? (k > i ? ", (" : "VALUES (") + row + ")" : (k > i ? " UNION ALL SELECT " : "SELECT ") + row;
      }
      s->Execute(sql);
    }
    s->CommitTrans();
  }
  bool wide = false;
  for (auto _ : state) {
    const std::string width = wide ? "40" : "50";
    s->Execute(asa ? "ALTER TABLE dba.R MODIFY v varchar (" + width + ") NULL"
                   : "ALTER TABLE R ALTER COLUMN v varchar (" + width + ") NULL");
    wide = !wide;
  }
}

void BM_AsaRebuild100kRows(benchmark::State& state) { Rebuild(state, true); }
void BM_SqlServerRebuild100kRows(benchmark::State& state) { Rebuild(state, false); }

}  // namespace

BENCHMARK(BM_AsaTables)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerTables)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaColumns)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerColumns)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaIndexes)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerIndexes)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsaRebuild100kRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerRebuild100kRows)->Unit(benchmark::kMillisecond);
