#include "servers/core/Physical.h"

#include "servers/core/Sqlite.h"

namespace servers {

namespace {

// CHECK constraints left unchecked while it lives (a flag of the connection).
class IgnoreChecks {
 public:
  explicit IgnoreChecks(sqlite3* db) : db_(db) { ExecSql(db_, "PRAGMA ignore_check_constraints = ON"); }
  ~IgnoreChecks() { sqlite3_exec(db_, "PRAGMA ignore_check_constraints = OFF", nullptr, nullptr, nullptr); }
  IgnoreChecks(const IgnoreChecks&) = delete;
  IgnoreChecks& operator=(const IgnoreChecks&) = delete;

 private:
  sqlite3* db_;
};

// The index's key expressions, separated by commas.
std::string KeyList(const PhysicalIndex& index) {
  std::string cols;
  for (const auto& k : index.keys) cols += (cols.empty() ? "" : ", ") + k;
  return cols;
}

}  // namespace

std::string NullAsValueKey(const std::string& quotedColumn, const std::string& collate) {
  return "ifnull(" + quotedColumn + ", X'FFFE')" + collate;
}

void CreatePhysicalIndex(sqlite3* db, const std::string& table, const PhysicalIndex& index) {
  const std::string cols = KeyList(index);
  if (cols.empty()) return;
  ExecSql(db, std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " + SqlIdent(index.name) +
                  " ON " + SqlIdent(table) + " (" + cols + ")");
}

bool DropPhysicalIndex(sqlite3* db, const std::string& table, const std::string& index) {
  Stmt q(db, "SELECT ifnull(max(name = ?), 0), ifnull(max(origin = 'u'), 0) FROM pragma_index_list(?, 'main')");
  q.Bind(1, index).Bind(2, table);
  const bool own = q.Step() && q.Int(0), declared = q.Int(1);
  q.Reset();
  if (own) ExecSql(db, "DROP INDEX " + SqlIdent(index));
  return own || !declared;
}

namespace {

// The CREATE TABLE statement of the table under `name`.
std::string CreateTableSql(const PhysicalTable& t, const std::string& name) {
  std::string ddl = "CREATE TABLE " + SqlIdent(name) + " (";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const PhysicalColumn& c = t.columns[i];
    if (i) ddl += ", ";
    ddl += SqlIdent(c.name) + " " + c.declType;
    if (c.notNull) ddl += " NOT NULL";
    if (t.defaultsInTable && !c.defaultSql.empty()) ddl += " DEFAULT (" + c.defaultSql + ")";
    ddl += c.collate;
  }
  for (const auto& ck : t.checks) ddl += ", CONSTRAINT " + SqlIdent(ck.name) + " CHECK (" + ck.sql + ")";
  // Each index made by a statement of its own makes SQLite read its whole schema once more.
  for (const auto& ix : t.indexes)
    if (ix.unique && ix.inTable && !ix.keys.empty()) ddl += ", UNIQUE (" + KeyList(ix) + ")";
  return ddl + ")";
}

}  // namespace

void RebuildPhysicalTable(sqlite3* db, const PhysicalTable& t, const std::vector<std::string>& sourceColumns,
                          bool tableExists) {
  if (tableExists) {
    // The rows wait in a temporary table while the table is made anew under its own name: renaming
    // a table makes SQLite read and rewrite the whole schema, a temporary table touches none of it.
    std::string cols, exprs, held;
    for (size_t i = 0; i < t.columns.size() && i < sourceColumns.size(); ++i) {
      std::string source = sourceColumns[i];
      if (source.empty() && !t.defaultsInTable) source = t.columns[i].defaultSql;
      if (source.empty()) continue;
      const std::string sep = cols.empty() ? "" : ", ";
      cols += sep + SqlIdent(t.columns[i].name);
      exprs += sep + source;
      held += sep + "c" + std::to_string(i);
    }
    const std::string holder = "temp." + SqlIdent(kRebuildPrefix + t.name);
    const bool rows = !cols.empty() && QueryInt(db, "SELECT 1 FROM " + SqlIdent(t.name) + " LIMIT 1") != 0;
    if (rows) {
      ExecSql(db, "DROP TABLE IF EXISTS " + holder + "; CREATE TABLE " + holder + " (" + held + ")");
      ExecSql(db, "INSERT INTO " + holder + " SELECT " + exprs + " FROM " + SqlIdent(t.name));
    }
    ExecSql(db, "DROP TABLE " + SqlIdent(t.name));
    ExecSql(db, CreateTableSql(t, t.name));
    if (rows) {
      // The rows were accepted before: a CHECK constraint enabled again without WITH CHECK, or
      // added WITH NOCHECK, does not judge them.
      IgnoreChecks ignore(db);
      ExecSql(db, "INSERT INTO " + SqlIdent(t.name) + " (" + cols + ") SELECT " + held + " FROM " + holder);
      ExecSql(db, "DROP TABLE " + holder);
    }
  } else {
    ExecSql(db, CreateTableSql(t, t.name));
  }
  for (const auto& ix : t.indexes)
    if (!ix.unique || !ix.inTable) CreatePhysicalIndex(db, t.name, ix);
}

}  // namespace servers
