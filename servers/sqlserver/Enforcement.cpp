#include "servers/sqlserver/Enforcement.h"

#include <vector>

#include "servers/sqlserver/Catalog.h"
#include "servers/sqlserver/Types.h"
#include "servers/core/Sqlite.h"

namespace servers::sqlserver {

namespace {

// Constraint status bit of a constraint that ALTER TABLE ... NOCHECK disabled.
constexpr int64_t kDisabled = 0x800;

struct FkInfo {
  int64_t constid = 0;
  std::string name;
  int64_t fkeyid = 0, rkeyid = 0;
  std::string child, parent;                  // as messages name them
  std::string childPhysical, parentPhysical;  // the SQLite tables
  std::vector<std::string> fcols, rcols;
  bool updateCascade = false, deleteCascade = false;
  bool disabled = false;
};

// The foreign keys with the table at either end (`constid` 0), or the one foreign key `constid`.
std::vector<FkInfo> ForeignKeys(sqlite3* db, int64_t tableId, int64_t constid) {
  std::vector<FkInfo> out;
  Stmt q(db, std::string("SELECT r.constid, o.name, r.fkeyid, r.rkeyid, fo.name, ro.name, r.updatecascade, "
                         "r.deletecascade, fo.uid, ro.uid, o.status FROM sysreferences r "
                         "JOIN sysobjects o ON o.id = r.constid JOIN sysobjects fo ON fo.id = r.fkeyid "
                         "JOIN sysobjects ro ON ro.id = r.rkeyid WHERE ") +
                 (constid ? "r.constid = ?2" : "r.fkeyid = ?1 OR r.rkeyid = ?1"));
  q.Bind(1, tableId).Bind(2, constid);
  while (q.Step()) {
    FkInfo f;
    f.constid = q.Int(0);
    f.name = q.Text(1);
    f.fkeyid = q.Int(2);
    f.rkeyid = q.Int(3);
    f.child = q.Text(4);
    f.parent = q.Text(5);
    f.updateCascade = q.Int(6) != 0;
    f.deleteCascade = q.Int(7) != 0;
    f.childPhysical = PhysicalName(static_cast<int>(q.Int(8)), f.child);
    f.parentPhysical = PhysicalName(static_cast<int>(q.Int(9)), f.parent);
    f.disabled = (q.Int(10) & kDisabled) != 0;
    out.push_back(f);
  }
  Stmt k(db, "SELECT fc.name, rc.name FROM sysforeignkeys k JOIN syscolumns fc ON fc.id = k.fkeyid "
             "AND fc.colid = k.fkey JOIN syscolumns rc ON rc.id = k.rkeyid AND rc.colid = k.rkey "
             "WHERE k.constid = ? ORDER BY k.keyno");
  for (auto& f : out) {
    k.Reset();
    k.Bind(1, f.constid);
    while (k.Step()) {
      f.fcols.push_back(k.Text(0));
      f.rcols.push_back(k.Text(1));
    }
  }
  return out;
}

std::string RaiseText(int number, const std::string& message) {
  std::string coded = std::to_string(number) + "|" + message;
  return "SELECT RAISE(ABORT, " + SqlLiteral(coded) + ");";
}

std::string FkMessage(const std::string& statement, bool reference, const FkInfo& f,
                      const std::string& database) {
  bool single = f.fcols.size() == 1;
  std::string kind = std::string(single ? "COLUMN " : "TABLE ") + (reference ? "REFERENCE" : "FOREIGN KEY");
  std::string table = reference ? f.child : f.parent;
  std::string column = reference ? f.fcols[0] : f.rcols[0];
  return statement + " statement conflicted with " + kind + " constraint '" + f.name +
         "'. The conflict occurred in database '" + database + "', table '" + table + "'" +
         (single ? ", column '" + column + "'" : std::string()) + ".";
}

// "a = NEW.b AND ..." matching a child row to its parent (`childRow`) or a parent row to its
// children, the other row's columns prefixed by `rowPrefix`.
std::string Match(const FkInfo& f, const std::string& rowPrefix, bool childRow) {
  std::string cond;
  for (size_t i = 0; i < f.fcols.size(); ++i) {
    if (i) cond += " AND ";
    if (childRow)
      cond += SqlIdent(f.rcols[i]) + " = " + rowPrefix + SqlIdent(f.fcols[i]);
    else
      cond += SqlIdent(f.fcols[i]) + " = " + rowPrefix + SqlIdent(f.rcols[i]);
  }
  return cond;
}

// The connection's own trigger: the body's unqualified names find the database's tables.
std::string TriggerHead(const std::string& name, const std::string& timing, const std::string& table) {
  return "CREATE TEMP TRIGGER " + SqlIdent(name) + " " + timing + " ON main." + SqlIdent(table);
}

// The triggers on the child that refuse a row without its parent.
void CreateChildTriggers(sqlite3* db, const FkInfo& f, const std::string& database) {
  std::string base = "schm_fk_" + std::to_string(f.constid);
  std::string parentQ = SqlIdent(f.parentPhysical);
  std::string notNull, fcolList;
  for (size_t i = 0; i < f.fcols.size(); ++i) {
    notNull += (i ? " AND NEW." : "NEW.") + SqlIdent(f.fcols[i]) + " IS NOT NULL";
    fcolList += (i ? ", " : "") + SqlIdent(f.fcols[i]);
  }
  std::string orphan = " WHEN " + notNull + " AND NOT EXISTS (SELECT 1 FROM " + parentQ + " WHERE " +
                       Match(f, "NEW.", true) + ") BEGIN ";
  ExecSql(db, TriggerHead(base + "_ci", "BEFORE INSERT", f.childPhysical) + orphan +
                  RaiseText(547, FkMessage("INSERT", false, f, database)) + " END");
  ExecSql(db, TriggerHead(base + "_cu", "BEFORE UPDATE OF " + fcolList, f.childPhysical) + orphan +
                  RaiseText(547, FkMessage("UPDATE", false, f, database)) + " END");
}

// The triggers on the parent that refuse, or cascade to, the children of a changed row.
void CreateParentTriggers(sqlite3* db, const FkInfo& f, const std::string& database) {
  std::string base = "schm_fk_" + std::to_string(f.constid);
  std::string childQ = SqlIdent(f.childPhysical);
  std::string rcolList, changed;
  for (size_t i = 0; i < f.rcols.size(); ++i) {
    rcolList += (i ? ", " : "") + SqlIdent(f.rcols[i]);
    changed += (i ? " OR NEW." : "NEW.") + SqlIdent(f.rcols[i]) + " IS NOT OLD." + SqlIdent(f.rcols[i]);
  }
  if (f.deleteCascade) {
    ExecSql(db, TriggerHead(base + "_pd", "AFTER DELETE", f.parentPhysical) + " BEGIN DELETE FROM " + childQ +
                    " WHERE " + Match(f, "OLD.", false) + "; END");
  } else {
    ExecSql(db, TriggerHead(base + "_pd", "BEFORE DELETE", f.parentPhysical) + " WHEN EXISTS (SELECT 1 FROM " +
                    childQ + " WHERE " + Match(f, "OLD.", false) + ") BEGIN " +
                    RaiseText(547, FkMessage("DELETE", true, f, database)) + " END");
  }
  if (f.updateCascade) {
    std::string sets;
    for (size_t i = 0; i < f.fcols.size(); ++i)
      sets += (i ? ", " : "") + SqlIdent(f.fcols[i]) + " = NEW." + SqlIdent(f.rcols[i]);
    ExecSql(db, TriggerHead(base + "_pu", "AFTER UPDATE OF " + rcolList, f.parentPhysical) + " WHEN " +
                    changed + " BEGIN UPDATE " + childQ + " SET " + sets + " WHERE " + Match(f, "OLD.", false) +
                    "; END");
  } else {
    ExecSql(db, TriggerHead(base + "_pu", "BEFORE UPDATE OF " + rcolList, f.parentPhysical) + " WHEN (" +
                    changed + ") AND EXISTS (SELECT 1 FROM " + childQ + " WHERE " + Match(f, "OLD.", false) +
                    ") BEGIN " + RaiseText(547, FkMessage("UPDATE", true, f, database)) + " END");
  }
}

// The triggers that number the rows of a table with an identity column and keep its current
// value.
void CreateIdentityTriggers(sqlite3* db, const TableInfo& t, const ColumnInfo& idc) {
  std::string q = SqlIdent(t.physical), c = SqlIdent(idc.name), id = std::to_string(t.id);
  ExecSql(db, TriggerHead("schm_id_" + id + "_a", "AFTER INSERT", t.physical) + " WHEN NEW." + c +
                  " IS NULL BEGIN UPDATE schm_identity SET current = CASE WHEN current IS NULL THEN seed "
                  "ELSE current + incr END WHERE id = " + id + "; UPDATE " + q + " SET " + c +
                  " = (SELECT current FROM schm_identity WHERE id = " + id + ") WHERE rowid = NEW.rowid; END");
  ExecSql(db, TriggerHead("schm_id_" + id + "_b", "AFTER INSERT", t.physical) + " WHEN NEW." + c +
                  " IS NOT NULL BEGIN UPDATE schm_identity SET current = NEW." + c + " WHERE id = " + id +
                  " AND (current IS NULL OR (incr > 0 AND NEW." + c + " > current) OR (incr < 0 AND NEW." + c +
                  " < current)); END");
}

// The trigger body's statements that take the database's next timestamp value (@@DBTS) and give
// it to the row `rowid` (an SQL expression) of the table's timestamp column.
std::string NextRowVersion(const std::string& physical, const std::string& column, const std::string& rowid) {
  return "UPDATE schm_dbts SET value = value + 1; UPDATE " + SqlIdent(physical) + " SET " + SqlIdent(column) +
         " = tsql_rowversion((SELECT value FROM schm_dbts)) WHERE rowid = " + rowid + ";";
}

// The triggers that give each inserted or updated row of a table with a timestamp column the
// database's next timestamp value. The update trigger watches every other column but the
// identity, so that neither its own change nor the numbering of a new row's identity fires it.
void CreateTimestampTriggers(sqlite3* db, const TableInfo& t, const ColumnInfo& ts) {
  std::string id = std::to_string(t.id);
  std::string body = " BEGIN " + NextRowVersion(t.physical, ts.name, "NEW.rowid") + " END";
  ExecSql(db, TriggerHead("schm_ts_" + id + "_i", "AFTER INSERT", t.physical) + body);
  std::string watched;
  for (const ColumnInfo& c : t.columns)
    if (&c != &ts && !c.identity) watched += (watched.empty() ? "" : ", ") + SqlIdent(c.name);
  if (!watched.empty())
    ExecSql(db, TriggerHead("schm_ts_" + id + "_u", "AFTER UPDATE OF " + watched, t.physical) + body);
}

void DropTemporaryTriggers(sqlite3* db) {
  std::vector<std::string> names;
  {
    Stmt q(db, "SELECT name FROM sqlite_temp_master WHERE type = 'trigger' AND name LIKE 'schm\\_%' ESCAPE '\\'");
    while (q.Step()) names.push_back(q.Text(0));
  }
  for (const auto& n : names) ExecSql(db, "DROP TRIGGER IF EXISTS temp." + SqlIdent(n));
}

bool HasTable(sqlite3* db, const char* name) {
  return sqlite3_table_column_metadata(db, "main", name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ==
         SQLITE_OK;
}

}  // namespace

void Enforcement::Prepare(sqlite3* db, const std::string& database, int64_t tableId) {
  int64_t version = QueryInt(db, "SELECT version FROM schm_enforcement", 0);
  if (!sqlite3_get_autocommit(db)) madeInTransaction_ = true;
  if (!valid_ || version != version_) {
    DropTemporaryTriggers(db);
    ready_.clear();
    version_ = version;
    valid_ = true;
  }
  std::set<int64_t> cascaded{tableId};
  try {
    while (!cascaded.empty()) {
      int64_t id = *cascaded.begin();
      cascaded.erase(cascaded.begin());
      if (ready_.insert(id).second) PrepareTable(db, database, id, cascaded);
    }
  } catch (...) {
    valid_ = false;  // a table may have part of its triggers
    throw;
  }
}

void Enforcement::PrepareTable(sqlite3* db, const std::string& database, int64_t tableId,
                               std::set<int64_t>& cascaded) {
  auto t = LoadTable(db, tableId);
  if (!t || t->xtype != "U") return;
  if (const ColumnInfo* idc = t->Identity()) CreateIdentityTriggers(db, *t, *idc);
  for (const ColumnInfo& c : t->columns)
    if (c.xtype == kTimestampType) CreateTimestampTriggers(db, *t, c);
  for (const auto& f : ForeignKeys(db, tableId, 0)) {
    if (f.disabled || f.fcols.empty()) continue;
    if (f.fkeyid == tableId) CreateChildTriggers(db, f, database);
    if (f.rkeyid == tableId) {
      CreateParentTriggers(db, f, database);
      // A cascade changes the child's rows, whose own triggers must then be there too.
      if (f.deleteCascade || f.updateCascade) cascaded.insert(f.fkeyid);
    }
  }
}

void EnforcementChanged(sqlite3* db) {
  ExecSql(db, "UPDATE schm_enforcement SET version = version + 1");
  DropTemporaryTriggers(db);
}

void NumberRowVersions(sqlite3* db, const std::string& physical, const std::string& column) {
  std::string table = SqlIdent(physical);
  ExecSql(db, "UPDATE " + table + " SET " + SqlIdent(column) +
                  " = tsql_rowversion((SELECT value FROM schm_dbts) + q.n) FROM (SELECT rowid AS r, "
                  "row_number() OVER (ORDER BY rowid) AS n FROM " + table + ") AS q WHERE " + table +
                  ".rowid = q.r; UPDATE schm_dbts SET value = value + (SELECT count(*) FROM " + table + ")");
}

void UpgradeStorage(sqlite3* db) {
  if (!HasTable(db, "sysobjects")) return;
  // Modules of a folder made before the setting was kept were all created with it on.
  for (const char* setting : {"schm_quoted_off", "schm_ansi_nulls_off"})
    if (!HasTable(db, setting))
      ExecSql(db, std::string("CREATE TABLE IF NOT EXISTS main.") + setting + " (id INTEGER PRIMARY KEY)");
  const bool enforcement = HasTable(db, "schm_enforcement"), dbts = HasTable(db, "schm_dbts");
  if (enforcement && dbts) return;
  ExecSql(db, "BEGIN IMMEDIATE");
  try {
    if (!dbts)
      ExecSql(db, "CREATE TABLE IF NOT EXISTS main.schm_dbts (value INTEGER);"
                  "INSERT INTO main.schm_dbts SELECT 2000 WHERE NOT EXISTS (SELECT 1 FROM main.schm_dbts)");
    if (enforcement) {
      ExecSql(db, "COMMIT");
      return;
    }
    std::vector<std::string> old;
    {
      Stmt q(db, "SELECT name FROM main.sqlite_master WHERE type = 'trigger' AND (name LIKE 'schm\\_fk\\_%' "
                 "ESCAPE '\\' OR name LIKE 'schm\\_id\\_%' ESCAPE '\\')");
      while (q.Step()) old.push_back(q.Text(0));
    }
    for (const auto& n : old) ExecSql(db, "DROP TRIGGER IF EXISTS main." + SqlIdent(n));
    ExecSql(db,
            "CREATE TABLE IF NOT EXISTS main.schm_enforcement (version INTEGER);"
            "INSERT INTO main.schm_enforcement SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM main.schm_enforcement);"
            "CREATE INDEX IF NOT EXISTS main.sysreferences_f ON sysreferences(fkeyid);"
            "CREATE INDEX IF NOT EXISTS main.sysreferences_r ON sysreferences(rkeyid);"
            "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::string ForeignKeyConflict(sqlite3* db, int64_t constid, const std::string& database) {
  auto keys = ForeignKeys(db, 0, constid);
  if (keys.empty() || keys[0].fcols.empty()) return std::string();
  const FkInfo& f = keys[0];
  std::string cond, notNull;
  for (size_t i = 0; i < f.fcols.size(); ++i) {
    notNull += (i ? " AND c." : "c.") + SqlIdent(f.fcols[i]) + " IS NOT NULL";
    cond += (i ? " AND p." : "p.") + SqlIdent(f.rcols[i]) + " = c." + SqlIdent(f.fcols[i]);
  }
  Stmt q(db, "SELECT 1 FROM " + SqlIdent(f.childPhysical) + " AS c WHERE " + notNull + " AND NOT EXISTS (SELECT 1 FROM " +
                 SqlIdent(f.parentPhysical) + " AS p WHERE " + cond + ") LIMIT 1");
  if (!q.Step()) return std::string();
  return FkMessage("ALTER TABLE", false, f, database);
}

}  // namespace servers::sqlserver
