// Catalogue reads of the SQL Server stand-in on databases of 2,000 and 4,000 tables of 20
// columns with keys and indexes: the dialect's table and column queries and the OLE DB INDEXES
// rowset. The time per query should grow linearly with the number of tables. And rows written to
// tables of dbo and of another owner, which should cost the same.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"

namespace {

const char* const kTablesQuery =
    "select  CASE WHEN idx.groupId is null THEN 'PRIMARY'     ELSE fileGroup_Name(idx.groupid) END as "
    "TABLE_DBSPACE,  user_name(obj.uid) as TABLE_SCHEMA,  obj.name as TABLE_NAME,  case obj.xtype    when 'S' "
    "then 'SYSTEM TABLE'    when 'U' then 'TABLE'    when 'V' then      (case obj.category WHEN 0 THEN 'VIEW' "
    "WHEN 2 THEN 'SYSTEM VIEW' END)  end as TABLE_TYPE,  NULL as TABLE_GUID,  convert(nVarChar, prp.value) as "
    "DESCRIPTION,  NULL as TABLE_PROPID,  crDate as DATE_CREATED,  refDate as DATE_MODIFIED  from sysObjects obj  "
    "left outer join sysIndexes idx on idx.id = obj.id and    (idx.indId = 0 or idx.indId = 1)  left outer join "
    "sysProperties prp on prp.id = obj.id  and prp.name = 'MS_description' and prp.smallId = 0 where obj.xType "
    "in ('S', 'U', 'V') and  permissions(obj.id) <> 0";

const char* const kColumnsQuery =
    "select db_name() as DATABASE_NAME,  user_name(obj.uid) as TABLE_SCHEMA,  obj.name as TABLE_NAME,  col.name "
    "as COLUMN_NAME,  col.colId as ORDINAL_POSITION,  com.text as COLUMN_DEFAULT, col.isNullable as IS_NULLABLE,  "
    "col.xUserType as COLUMN_TYPE, typ.name as COLUMN_TYPE_NAME,  col.prec as SIZE, col.xscale as SCALE,  CASE "
    "WHEN (col.status & 0x80) = 0x80 then 1 ELSE 0 END AS IS_IDENTITY,  CASE WHEN (obj.xType = 'U') THEN "
    "IDENT_SEED(obj.name) ELSE 1 END as IDENTITY_SEED,  CASE WHEN (obj.xType = 'U') THEN IDENT_INCR(obj.name) "
    "ELSE 1 END as IDENTITY_INCR,  col.collation as COLLATION_NAME,  convert(nVarChar, prp.value) as DESCRIPTION  "
    "from sysColumns col  inner join sysObjects obj on obj.id = col.id  inner join sysTypes typ on typ.xUserType "
    "= col.xUserType  LEFT OUTER join sysproperties prp on prp.id = obj.id    and prp.smallId = col.colId and "
    "prp.name = 'MS_description'  LEFT OUTER JOIN syscomments com    ON col.cdefault = com.id AND com.colid = 1  "
    "where obj.xtype IN ('U', 'V')  AND permissions(obj.id, col.name) != 0 ";

// The bench's server folder and its open databases. Members go in reverse order: the databases
// close first, then the folder is removed with everything in it.
struct BenchServer {
  struct Folder {
    std::string path;
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } folder;
  std::map<int, std::unique_ptr<ado::IProviderSession>> sessions;

  BenchServer() {
    char tmpl[] = "/tmp/schm_bench_XXXXXX";
    folder.path = mkdtemp(tmpl);
    setenv("SCHEMION_SERVERS", folder.path.c_str(), 1);
    servers::RegisterEmbeddedServers();
    ado::ProviderRegistry::Instance().CreateServer("Provider=SQLOLEDB.1;Data Source=bench");
  }
};

// One database per size, built once per run.
ado::IProviderSession& Database(int tables) {
  static BenchServer server;
  auto& s = server.sessions[tables];
  if (s) return *s;
  std::string name = "bench" + std::to_string(tables);
  auto master = ado::ProviderRegistry::Instance().Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=bench;Initial Catalog=master");
  master->Execute("CREATE DATABASE [" + name + "]");
  s = ado::ProviderRegistry::Instance().Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=bench;Initial Catalog=" + name);
  s->BeginTrans();
  for (int t = 0; t < tables; ++t) {
    std::string table = "T" + std::to_string(t);
    std::string sql = "CREATE TABLE [" + table + "] ([Id] int IDENTITY (1, 1) NOT NULL";
    for (int c = 1; c < 20; ++c)
      sql += ", [C" + std::to_string(c) + "] " + (c % 3 == 0 ? "int NULL" : c % 3 == 1 ? "nvarchar (40) NULL" : "datetime NULL");
    sql += ", CONSTRAINT [PK_" + table + "] PRIMARY KEY CLUSTERED ([Id]))";
    s->Execute(sql);
    s->Execute("CREATE INDEX [IX_" + table + "] ON [" + table + "] ([C1], [C3])");
  }
  s->CommitTrans();
  return *s;
}

// Times rowsOf over the database of state.range(0) tables; reports the rows it gives.
template <class RowsOf>
void TimeRows(benchmark::State& state, RowsOf rowsOf) {
  auto& s = Database(static_cast<int>(state.range(0)));
  size_t rows = 0;
  for (auto _ : state) rows = rowsOf(s);
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_TablesQuery(benchmark::State& state) {
  TimeRows(state, [](auto& s) { return s.Execute(kTablesQuery).at(0).Rows.Rows.size(); });
}

void BM_ColumnsQuery(benchmark::State& state) {
  TimeRows(state, [](auto& s) { return s.Execute(kColumnsQuery).at(0).Rows.Rows.size(); });
}

void BM_IndexesRowset(benchmark::State& state) {
  TimeRows(state, [](auto& s) { return s.OpenSchema(ado::siIndexes, {}).Rows.size(); });
}

// 2,000 single-row INSERTs, in one transaction, into a table of dbo (0) or of another owner (1),
// whose SQLite name begins as the server's own tables' do: writing a user's rows never drops what
// the session keeps of the catalogue, whoever owns the table.
void BM_InsertRows(benchmark::State& state) {
  auto& s = Database(100);
  if (s.Execute("SELECT count(*) FROM sysusers WHERE name = 'writer'").at(0).Rows.Rows.at(0)[0].AsInt() == 0) {
    ado::ProviderRegistry::Instance()
        .Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=bench;Initial Catalog=master")
        ->Execute("EXEC sp_addlogin 'writer', 'pw'");
    s.Execute("EXEC sp_grantdbaccess 'writer'");
    s.Execute("CREATE TABLE [dbo].[R] (a int NOT NULL PRIMARY KEY, b nvarchar (20) NULL)");
    s.Execute("CREATE TABLE [writer].[R] (a int NOT NULL PRIMARY KEY, b nvarchar (20) NULL)");
  }
  const std::string table = state.range(0) ? "[writer].[R]" : "[dbo].[R]";
  for (auto _ : state) {
    state.PauseTiming();
    s.Execute("DELETE FROM " + table);
    state.ResumeTiming();
    s.BeginTrans();
    for (int i = 0; i < 2000; ++i)
      s.Execute("INSERT INTO " + table + " (a, b) VALUES (" + std::to_string(i) + ", N'row')");
    s.CommitTrans();
  }
}

}  // namespace

BENCHMARK(BM_InsertRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TablesQuery)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColumnsQuery)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexesRowset)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
