#include "servers/access/Catalog.h"

#include <strings.h>

#include "servers/core/Physical.h"
#include "servers/core/Sqlite.h"

namespace servers::access {

namespace {

std::string Lit(const std::string& s) { return SqlLiteral(s); }

// A message of a trigger's refusal: "<number>|<text>" as an SQL literal.
std::string Raise(int number, const std::string& text) {
  return "SELECT RAISE(ABORT, " + Lit(std::to_string(number) + "|" + text) + ");";
}

std::string PhysicalIndexName(const std::string& table, const std::string& index) {
  return "jet_ix_" + table + "_" + index;
}

// "a = b AND c = d" over the pairs of columns, each side with its prefix.
std::string Pairs(const std::vector<std::string>& left, const std::string& lp, const std::vector<std::string>& right,
                  const std::string& rp) {
  std::string out;
  for (size_t i = 0; i < left.size() && i < right.size(); ++i)
    out += (i ? " AND " : "") + lp + SqlIdent(left[i]) + " = " + rp + SqlIdent(right[i]);
  return out;
}

}  // namespace

const JetColumn* JetTable::Find(const std::string& column) const {
  for (const auto& c : columns)
    if (strcasecmp(c.name.c_str(), column.c_str()) == 0) return &c;
  return nullptr;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) out += (i ? "\t" : "") + names[i];
  return out;
}

std::vector<std::string> SplitNames(const std::string& joined) {
  std::vector<std::string> out;
  if (joined.empty()) return out;
  size_t start = 0;
  for (;;) {
    size_t tab = joined.find('\t', start);
    out.push_back(joined.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return out;
}

void CreateCatalog(sqlite3* db) {
  ExecSql(db,
          "CREATE TABLE msys_objects (name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, type TEXT NOT NULL, "
          "definition TEXT, created TEXT, modified TEXT);"
          "CREATE TABLE msys_columns (tbl TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE, "
          "ordinal INTEGER, type TEXT, length INTEGER, scale INTEGER, required INTEGER, counter INTEGER, "
          "next_value INTEGER, default_text TEXT, default_sql TEXT, PRIMARY KEY (tbl, name));"
          "CREATE TABLE msys_indexes (tbl TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE, "
          "ordinal INTEGER, is_primary INTEGER, is_unique INTEGER, is_constraint INTEGER, keys TEXT, descs TEXT, "
          "PRIMARY KEY (tbl, name));"
          "CREATE TABLE msys_relations (name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY, tbl TEXT COLLATE NOCASE, "
          "columns TEXT, ref_tbl TEXT COLLATE NOCASE, ref_columns TEXT, upd INTEGER, del INTEGER);");
}

std::string ObjectType(sqlite3* db, const std::string& name) {
  Stmt q(db, "SELECT type FROM msys_objects WHERE name = ?");
  q.Bind(1, name);
  return q.Step() ? q.Text(0) : std::string();
}

std::string StoredName(sqlite3* db, const std::string& name) {
  Stmt q(db, "SELECT name FROM msys_objects WHERE name = ?");
  q.Bind(1, name);
  return q.Step() ? q.Text(0) : name;
}

void AddObject(sqlite3* db, const std::string& name, const std::string& type, const std::string& definition) {
  Stmt q(db,
         "INSERT INTO msys_objects (name, type, definition, created, modified) "
         "VALUES (?, ?, ?, tsql_getdate(), tsql_getdate())");
  q.Bind(1, name).Bind(2, type).Bind(3, definition);
  q.Step();
}

void RemoveObject(sqlite3* db, const std::string& name) {
  Stmt q(db, "DELETE FROM msys_objects WHERE name = ?");
  q.Bind(1, name);
  q.Step();
}

void TouchObject(sqlite3* db, const std::string& name) {
  Stmt q(db, "UPDATE msys_objects SET modified = tsql_getdate() WHERE name = ?");
  q.Bind(1, name);
  q.Step();
}

std::optional<JetTable> LoadTable(sqlite3* db, const std::string& name) {
  Stmt o(db, "SELECT name FROM msys_objects WHERE name = ? AND type = 'TABLE'");
  o.Bind(1, name);
  if (!o.Step()) return std::nullopt;
  JetTable t;
  t.name = o.Text(0);
  Stmt c(db,
         "SELECT name, type, length, scale, required, counter, default_text, default_sql "
         "FROM msys_columns WHERE tbl = ? ORDER BY ordinal");
  c.Bind(1, t.name);
  while (c.Step()) {
    JetColumn col;
    col.name = c.Text(0);
    col.type = c.Text(1);
    col.length = static_cast<int>(c.Int(2));
    col.scale = static_cast<int>(c.Int(3));
    col.required = c.Int(4) != 0;
    col.counter = c.Int(5) != 0;
    col.defaultText = c.Text(6);
    col.defaultSql = c.Text(7);
    t.columns.push_back(col);
  }
  Stmt i(db,
         "SELECT name, is_primary, is_unique, is_constraint, keys, descs FROM msys_indexes WHERE tbl = ? "
         "ORDER BY ordinal");
  i.Bind(1, t.name);
  while (i.Step()) {
    JetIndex ix;
    ix.name = i.Text(0);
    ix.primary = i.Int(1) != 0;
    ix.unique = i.Int(2) != 0;
    ix.constraint = i.Int(3) != 0;
    ix.keys = SplitNames(i.Text(4));
    for (char d : i.Text(5)) ix.descending.push_back(d == '1');
    t.indexes.push_back(ix);
  }
  return t;
}

void SaveTable(sqlite3* db, const JetTable& t) {
  // Counters keep their numbering across a change of definition.
  Stmt nextValues(db, "SELECT name, next_value FROM msys_columns WHERE tbl = ?");
  nextValues.Bind(1, t.name);
  std::vector<std::pair<std::string, int64_t>> next;
  while (nextValues.Step()) next.emplace_back(nextValues.Text(0), nextValues.Int(1));
  Stmt dc(db, "DELETE FROM msys_columns WHERE tbl = ?");
  dc.Bind(1, t.name);
  dc.Step();
  Stmt di(db, "DELETE FROM msys_indexes WHERE tbl = ?");
  di.Bind(1, t.name);
  di.Step();
  Stmt ic(db,
          "INSERT INTO msys_columns (tbl, name, ordinal, type, length, scale, required, counter, next_value, "
          "default_text, default_sql) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  int ordinal = 0;
  for (const auto& c : t.columns) {
    int64_t nextValue = 1;
    for (const auto& [name, value] : next)
      if (strcasecmp(name.c_str(), c.name.c_str()) == 0) nextValue = value;
    ic.Reset();
    ic.Bind(1, t.name).Bind(2, c.name).Bind(3, ++ordinal).Bind(4, c.type).Bind(5, c.length).Bind(6, c.scale);
    ic.Bind(7, c.required ? 1 : 0).Bind(8, c.counter ? 1 : 0).Bind(9, nextValue).Bind(10, c.defaultText);
    ic.Bind(11, c.defaultSql);
    ic.Step();
  }
  Stmt ii(db,
          "INSERT INTO msys_indexes (tbl, name, ordinal, is_primary, is_unique, is_constraint, keys, descs) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  ordinal = 0;
  for (const auto& ix : t.indexes) {
    std::string descs;
    for (bool d : ix.descending) descs += d ? '1' : '0';
    ii.Reset();
    ii.Bind(1, t.name).Bind(2, ix.name).Bind(3, ++ordinal).Bind(4, ix.primary ? 1 : 0).Bind(5, ix.unique ? 1 : 0);
    ii.Bind(6, ix.constraint ? 1 : 0).Bind(7, JoinNames(ix.keys)).Bind(8, descs);
    ii.Step();
  }
}

std::vector<JetRelation> Relations(sqlite3* db) {
  std::vector<JetRelation> out;
  Stmt q(db, "SELECT name, tbl, columns, ref_tbl, ref_columns, upd, del FROM msys_relations ORDER BY name");
  while (q.Step()) {
    JetRelation r;
    r.name = q.Text(0);
    r.table = q.Text(1);
    r.columns = SplitNames(q.Text(2));
    r.refTable = q.Text(3);
    r.refColumns = SplitNames(q.Text(4));
    r.updateCascade = q.Int(5) != 0;
    r.deleteCascade = q.Int(6) != 0;
    out.push_back(r);
  }
  return out;
}

void SaveRelation(sqlite3* db, const JetRelation& r) {
  Stmt q(db,
         "INSERT INTO msys_relations (name, tbl, columns, ref_tbl, ref_columns, upd, del) "
         "VALUES (?, ?, ?, ?, ?, ?, ?)");
  q.Bind(1, r.name).Bind(2, r.table).Bind(3, JoinNames(r.columns)).Bind(4, r.refTable);
  q.Bind(5, JoinNames(r.refColumns)).Bind(6, r.updateCascade ? 1 : 0).Bind(7, r.deleteCascade ? 1 : 0);
  q.Step();
}

void RemoveRelation(sqlite3* db, const std::string& name) {
  Stmt q(db, "DELETE FROM msys_relations WHERE name = ?");
  q.Bind(1, name);
  q.Step();
}

std::string DeclaredType(const JetColumn& c) {
  if (c.type == "text") return "nvarchar(" + std::to_string(c.length > 0 ? c.length : 255) + ")";
  if (c.type == "memo") return "ntext";
  if (c.type == "ole") return "image";
  if (c.type == "binary") return "varbinary(" + std::to_string(c.length > 0 ? c.length : 510) + ")";
  if (c.type == "decimal")
    return "decimal(" + std::to_string(c.length > 0 ? c.length : 18) + "," + std::to_string(c.scale > 0 ? c.scale : 0) +
           ")";
  return c.type;
}

void BuildPhysical(sqlite3* db, const JetTable& t, const std::vector<std::string>& sources, bool exists) {
  PhysicalTable p;
  p.name = t.name;
  for (const auto& c : t.columns) {
    PhysicalColumn pc;
    pc.name = c.name;
    pc.declType = DeclaredType(c);
    pc.defaultSql = c.defaultSql;
    if (c.type == "text" || c.type == "memo") pc.collate = std::string(" COLLATE ") + kCaseInsensitiveCollation;
    pc.notNull = c.required && !c.counter;  // a counter is numbered after its row is stored
    p.columns.push_back(pc);
    if (c.type == "text")
      p.checks.push_back({"jet_size_" + c.name, "length(" + SqlIdent(c.name) + ") <= " + std::to_string(c.length)});
  }
  for (const auto& ix : t.indexes) {
    PhysicalIndex pi;
    pi.name = PhysicalIndexName(t.name, ix.name);
    // Keys are over plain columns: the table declares its unique ones itself.
    pi.unique = pi.inTable = ix.unique || ix.primary;
    for (size_t k = 0; k < ix.keys.size(); ++k)
      pi.keys.push_back(SqlIdent(ix.keys[k]) + (k < ix.descending.size() && ix.descending[k] ? " DESC" : ""));
    p.indexes.push_back(pi);
  }
  RebuildPhysicalTable(db, p, sources, exists);
  RefreshTriggers(db, t.name);
}

void RefreshTriggers(sqlite3* db, const std::string& table) {
  std::vector<std::string> old;
  {
    Stmt q(db, "SELECT name FROM sqlite_master WHERE type = 'trigger' AND tbl_name = ? COLLATE NOCASE");
    q.Bind(1, table);
    while (q.Step()) old.push_back(q.Text(0));
  }
  for (const auto& name : old) ExecSql(db, "DROP TRIGGER " + SqlIdent(name));
  auto t = LoadTable(db, table);
  if (!t) return;
  const std::string T = SqlIdent(t->name);
  int seq = 0;
  auto name = [&] { return SqlIdent("jet_" + t->name + "#" + std::to_string(++seq)); };
  for (const auto& c : t->columns) {
    if (!c.counter) continue;
    const std::string where = "tbl = " + Lit(t->name) + " AND name = " + Lit(c.name);
    ExecSql(db, "CREATE TRIGGER " + name() + " AFTER INSERT ON " + T + " BEGIN UPDATE " + T + " SET " +
                    SqlIdent(c.name) + " = (SELECT next_value FROM msys_columns WHERE " + where +
                    ") WHERE rowid = NEW.rowid AND NEW." + SqlIdent(c.name) +
                    " IS NULL; "
                    "UPDATE msys_columns SET next_value = max(next_value, (SELECT " +
                    SqlIdent(c.name) + " FROM " + T + " WHERE rowid = NEW.rowid) + 1) WHERE " + where + "; END");
  }
  for (const auto& r : Relations(db)) {
    if (strcasecmp(r.table.c_str(), t->name.c_str()) == 0) {
      std::string notNull;
      for (const auto& c : r.columns) notNull += "NEW." + SqlIdent(c) + " IS NOT NULL AND ";
      const std::string when = " WHEN " + notNull + "NOT EXISTS (SELECT 1 FROM " + SqlIdent(r.refTable) + " WHERE " +
                               Pairs(r.refColumns, "", r.columns, "NEW.") + ")";
      const std::string body = " BEGIN " +
                               Raise(3201,
                                     "You cannot add or change a record because a related record "
                                     "is required in table '" +
                                         r.refTable + "'.") +
                               " END";
      std::string cols;
      for (const auto& c : r.columns) cols += (cols.empty() ? "" : ", ") + SqlIdent(c);
      ExecSql(db, "CREATE TRIGGER " + name() + " BEFORE INSERT ON " + T + when + body);
      ExecSql(db, "CREATE TRIGGER " + name() + " BEFORE UPDATE OF " + cols + " ON " + T + when + body);
    }
    if (strcasecmp(r.refTable.c_str(), t->name.c_str()) == 0) {
      const std::string C = SqlIdent(r.table);
      const std::string match = Pairs(r.columns, "", r.refColumns, "OLD.");
      const std::string related = "EXISTS (SELECT 1 FROM " + C + " WHERE " + match + ")";
      const std::string refuse = " BEGIN " +
                                 Raise(3200, "The record cannot be deleted or changed because table '" + r.table +
                                                 "' includes related records.") +
                                 " END";
      if (r.deleteCascade)
        ExecSql(db, "CREATE TRIGGER " + name() + " AFTER DELETE ON " + T + " BEGIN DELETE FROM " + C + " WHERE " +
                        match + "; END");
      else
        ExecSql(db, "CREATE TRIGGER " + name() + " BEFORE DELETE ON " + T + " WHEN " + related + refuse);
      std::string cols, changed, sets;
      for (size_t i = 0; i < r.refColumns.size() && i < r.columns.size(); ++i) {
        const std::string k = SqlIdent(r.refColumns[i]);
        cols += (i ? ", " : "") + k;
        changed += (i ? " OR " : "") + std::string("NEW.") + k + " IS NOT OLD." + k;
        sets += (i ? ", " : "") + SqlIdent(r.columns[i]) + " = NEW." + k;
      }
      if (r.updateCascade)
        ExecSql(db, "CREATE TRIGGER " + name() + " AFTER UPDATE OF " + cols + " ON " + T + " WHEN " + changed +
                        " BEGIN UPDATE " + C + " SET " + sets + " WHERE " + match + "; END");
      else
        ExecSql(db, "CREATE TRIGGER " + name() + " BEFORE UPDATE OF " + cols + " ON " + T + " WHEN (" + changed +
                        ") AND " + related + refuse);
    }
  }
}

}  // namespace servers::access
