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

}  // namespace

std::string NullAsValueKey(const std::string& quotedColumn, const std::string& collate) {
  return "ifnull(" + quotedColumn + ", X'FFFE')" + collate;
}

void CreatePhysicalIndex(sqlite3* db, const std::string& table, const PhysicalIndex& index) {
  std::string cols;
  for (const auto& k : index.keys) cols += (cols.empty() ? "" : ", ") + k;
  if (cols.empty()) return;
  ExecSql(db, std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " + SqlIdent(index.name) +
                  " ON " + SqlIdent(table) + " (" + cols + ")");
}

void RebuildPhysicalTable(sqlite3* db, const PhysicalTable& t, const std::vector<std::string>& sourceColumns,
                          bool tableExists) {
  std::string target = tableExists ? kRebuildPrefix + t.name : t.name;
  std::string ddl = "CREATE TABLE " + SqlIdent(target) + " (";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const PhysicalColumn& c = t.columns[i];
    if (i) ddl += ", ";
    ddl += SqlIdent(c.name) + " " + c.declType;
    if (c.notNull) ddl += " NOT NULL";
    if (!c.defaultSql.empty()) ddl += " DEFAULT (" + c.defaultSql + ")";
    ddl += c.collate;
  }
  for (const auto& ck : t.checks) ddl += ", CONSTRAINT " + SqlIdent(ck.name) + " CHECK (" + ck.sql + ")";
  ddl += ")";
  ExecSql(db, ddl);
  if (tableExists) {
    std::string cols, exprs;
    for (size_t i = 0; i < t.columns.size() && i < sourceColumns.size(); ++i) {
      if (sourceColumns[i].empty()) continue;
      if (!cols.empty()) {
        cols += ", ";
        exprs += ", ";
      }
      cols += SqlIdent(t.columns[i].name);
      exprs += sourceColumns[i];
    }
    // The rows were accepted before: a CHECK constraint enabled again without WITH CHECK, or
    // added WITH NOCHECK, does not judge them.
    IgnoreChecks ignore(db);
    if (!cols.empty())
      ExecSql(db, "INSERT INTO " + SqlIdent(target) + " (" + cols + ") SELECT " + exprs + " FROM " + SqlIdent(t.name));
    ExecSql(db, "DROP TABLE " + SqlIdent(t.name));
    ExecSql(db, "ALTER TABLE " + SqlIdent(target) + " RENAME TO " + SqlIdent(t.name));
  }
  for (const auto& ix : t.indexes) CreatePhysicalIndex(db, t.name, ix);
}

}  // namespace servers
