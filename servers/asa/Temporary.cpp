// Global temporary tables: the definition is the database's (SYSTABLE, SYSCOLUMN and the empty
// SQLite table behind it), the rows are each connection's own. A connection keeps them in a copy
// of that table in its own temporary schema, made again whenever the definition changes, and
// empties the copies of tables created ON COMMIT DELETE ROWS at every commit.
#include <strings.h>

#include <map>
#include <set>

#include "servers/asa/Session.h"
#include "servers/core/Physical.h"

namespace servers::asa {

namespace {

// The SQL of one definition with the table's shared name changed to the connection's copy and
// the object made in the temporary schema; the index or trigger `name` is renamed with it, so
// that no name of the shared schema is shadowed.
std::string CopySql(std::string sql, const std::string& type, const std::string& name, int64_t id) {
  auto replaceAll = [&](const std::string& from, const std::string& to) {
    for (size_t p = sql.find(from); p != std::string::npos; p = sql.find(from, p + to.size()))
      sql.replace(p, from.size(), to);
  };
  replaceAll(SqlIdent(PhysicalName(id)), SqlIdent(TemporaryName(id)));
  std::string create = type == "table" ? "CREATE TABLE " : type == "trigger" ? "CREATE TRIGGER " : "";
  if (!create.empty() && sql.rfind(create, 0) == 0) sql.replace(0, create.size(), "CREATE TEMP " + create.substr(7));
  if (type != "table") {
    size_t p = sql.find(SqlIdent(name));
    if (p != std::string::npos)
      sql.replace(p, SqlIdent(name).size(), (type == "index" ? "temp." : "") + SqlIdent(name + "_g"));
  }
  return sql;
}

struct Definition {
  std::string signature;
  std::string tableSql;
  std::vector<std::pair<std::string, std::string>> parts;  // indexes and triggers: SQL of the copy
  bool deleteRows = false;
};

std::vector<std::string> ColumnNames(sqlite3* db, const std::string& schema, const std::string& table) {
  std::vector<std::string> names;
  Stmt q(db, "SELECT name FROM pragma_table_info(?, ?)");
  q.Bind(1, table).Bind(2, schema);
  while (q.Step()) names.push_back(q.Text(0));
  return names;
}

}  // namespace

std::string TemporaryName(int64_t tableId) { return "asa_g" + std::to_string(tableId); }

std::string Session::DataTable(const AsaTable& t) const {
  return t.type == "GBL TEMP" && !sharedNames_ ? TemporaryName(t.id) : PhysicalName(t.id);
}

void Session::SyncTemporaryTables() {
  Stmt& schema = Cache().Lookup("PRAGMA main.schema_version");
  int64_t version = schema.Step() ? schema.Int(0) : -1;
  schema.Reset();
  if (version == syncedSchema_) return;
  std::map<int64_t, Definition> wanted;
  {
    Stmt q(Db(), "SELECT t.table_id, t.last_page, m.type, m.name, m.sql FROM SYSTABLE t JOIN main.sqlite_master m ON "
                 "m.tbl_name = 'asa_t' || t.table_id WHERE t.table_type = 'GBL TEMP' AND m.sql IS NOT NULL ORDER BY "
                 "t.table_id, m.type DESC, m.name");
    while (q.Step()) {
      Definition& d = wanted[q.Int(0)];
      d.deleteRows = q.Int(1) == 1;
      std::string type = q.Text(2), sql = CopySql(q.Text(4), type, q.Text(3), q.Int(0));
      d.signature += sql + ";" + (d.deleteRows ? "D" : "P") + ";";
      if (type == "table") d.tableSql = sql;
      else d.parts.emplace_back(type, sql);
    }
  }
  std::map<int64_t, std::string> have;
  {
    Stmt q(Db(), "SELECT table_id, signature FROM temp.asa_gtt");
    while (q.Step()) have[q.Int(0)] = q.Text(1);
  }
  for (const auto& [id, signature] : have) {
    auto w = wanted.find(id);
    if (w != wanted.end() && w->second.signature == signature) continue;
    if (w == wanted.end()) ExecSql(Db(), "DROP TABLE IF EXISTS temp." + SqlIdent(TemporaryName(id)));
    ExecSql(Db(), "DELETE FROM temp.asa_gtt WHERE table_id = " + std::to_string(id));
  }
  for (const auto& [id, d] : wanted) {
    auto h = have.find(id);
    if (h != have.end() && h->second == d.signature) continue;
    MakeTemporaryCopy(id, d.tableSql, d.parts, h != have.end());
    Stmt ins(Db(), "INSERT INTO temp.asa_gtt VALUES (?, ?, ?)");
    ins.Bind(1, id).Bind(2, d.signature).Bind(3, int64_t{d.deleteRows ? 1 : 0});
    ins.Step();
  }
  syncedSchema_ = version;
}

void Session::MakeTemporaryCopy(int64_t id, const std::string& tableSql,
                                const std::vector<std::pair<std::string, std::string>>& parts, bool exists) {
  const std::string name = TemporaryName(id), building = kRebuildPrefix + name;
  std::string sql = tableSql;
  sql.replace(sql.find(SqlIdent(name)), SqlIdent(name).size(), SqlIdent(building));
  ExecSql(Db(), sql);
  if (exists) {
    // The rows of the columns both definitions have move to the new copy.
    std::set<std::string, bool (*)(const std::string&, const std::string&)> old(
        [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    for (const auto& c : ColumnNames(Db(), "temp", name)) old.insert(c);
    std::string cols;
    for (const auto& c : ColumnNames(Db(), "temp", building))
      if (old.count(c)) cols += (cols.empty() ? "" : ", ") + SqlIdent(c);
    if (!cols.empty())
      ExecSql(Db(), "INSERT INTO temp." + SqlIdent(building) + " (" + cols + ") SELECT " + cols + " FROM temp." +
                        SqlIdent(name));
    ExecSql(Db(), "DROP TABLE temp." + SqlIdent(name));
  }
  ExecSql(Db(), "ALTER TABLE temp." + SqlIdent(building) + " RENAME TO " + SqlIdent(name));
  for (const auto& part : parts) ExecSql(Db(), part.second);
}

void Session::DeleteCommittedRows() {
  if (!db_) return;
  std::vector<int64_t> ids;
  Stmt& q = Cache().Lookup("SELECT table_id FROM temp.asa_gtt WHERE delete_rows = 1");
  while (q.Step()) ids.push_back(q.Int(0));
  q.Reset();
  for (int64_t id : ids) ExecSql(Db(), "DELETE FROM temp." + SqlIdent(TemporaryName(id)));
}

}  // namespace servers::asa
