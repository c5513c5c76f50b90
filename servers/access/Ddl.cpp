// The Access stand-in's definition statements: tables, columns, keys, indexes, relationships,
// views and procedures, kept in the catalogue and made in SQLite.
#include <strings.h>

#include "servers/access/JetError.h"
#include "servers/access/Session.h"
#include "servers/access/Translator.h"
#include "servers/core/Physical.h"
#include "servers/core/Rowsets.h"
#include "servers/core/Statements.h"

namespace servers::access {

namespace {

bool Same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const auto& n : names)
    if (Same(n, name)) return true;
  return false;
}

bool SameSet(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (const auto& n : a)
    if (!Contains(b, n)) return false;
  return true;
}

const JetIndex* FindIndex(const JetTable& t, const std::string& name) {
  for (const auto& ix : t.indexes)
    if (Same(ix.name, name)) return &ix;
  return nullptr;
}

[[noreturn]] void NoField(const JetTable& t, const std::string& column) {
  JetFail(3381, "There is no field named '" + column + "' in table '" + t.name + "'.");
}

[[noreturn]] void InRelationship() {
  JetFail(3281, "Cannot delete this index or table.  It is either the current index or is used in a relationship.");
}

std::string PhysicalIndexName(const std::string& table, const std::string& index) {
  return "jet_ix_" + table + "_" + index;
}

// True when a relationship uses the index's keys on its table (as the referenced key).
bool IndexInRelationship(sqlite3* db, const JetTable& t, const JetIndex& ix) {
  for (const auto& r : Relations(db))
    if (Same(r.refTable, t.name) && SameSet(r.refColumns, ix.keys)) return true;
  return false;
}

// The column SELECT ... INTO makes for a result column of the query.
JetColumn IntoColumn(const ado::FieldDef& f) {
  JetColumn c;
  c.name = f.Name;
  switch (f.Type) {
    case ado::FieldType::ftString:
      c.type = f.Size > 255 ? "memo" : "text";
      c.length = f.Size > 0 && f.Size <= 255 ? f.Size : 255;
      break;
    case ado::FieldType::ftMemo: c.type = "memo"; break;
    case ado::FieldType::ftSmallint: c.type = "smallint"; break;
    case ado::FieldType::ftInteger: c.type = "int"; break;
    case ado::FieldType::ftByte: c.type = "tinyint"; break;
    case ado::FieldType::ftBoolean: c.type = "bit"; break;
    case ado::FieldType::ftLargeint:
    case ado::FieldType::ftFloat: c.type = "float"; break;
    case ado::FieldType::ftCurrency: c.type = "money"; break;
    case ado::FieldType::ftBCD:
      c.type = "decimal";
      c.length = f.Precision > 0 ? f.Precision : 18;
      c.scale = f.Scale > 0 ? f.Scale : 0;
      break;
    case ado::FieldType::ftDateTime: c.type = "datetime"; break;
    case ado::FieldType::ftBytes:
      c.type = "binary";
      c.length = f.Size > 0 ? f.Size : 510;
      break;
    case ado::FieldType::ftBlob: c.type = "ole"; break;
    case ado::FieldType::ftGuid: c.type = "uniqueidentifier"; break;
  }
  return c;
}

}  // namespace

int64_t Session::SelectInto(const JetStatement& s) {
  const Select& query = *s.select;
  if (!query.into.owner.empty() || !query.into.db.empty())
    JetFail(3075, "Syntax error (missing operator) in query expression '" + s.text + "'.");
  CheckNewName(query.into.name);
  JetTranslator tr(Db());
  const std::string rowsSql = tr.Query(query);
  const ado::RowSet rows = QueryRowSet(Db(), rowsSql);
  JetTable t;
  t.name = query.into.name;
  std::string columns;
  int unnamed = 1000;  // Jet names an unnamed computed column Expr1000, Expr1001 ...
  for (size_t i = 0; i < rows.Fields.size(); ++i) {
    JetColumn c = IntoColumn(rows.Fields[i]);
    if (rows.Fields.size() == query.items.size() && query.items[i].alias.empty() &&
        query.items[i].expr->kind != Expr::Column)
      c.name = "Expr" + std::to_string(unnamed++);
    RefuseInvalidName(c.name);
    if (t.Find(c.name)) JetFail(3380, "Field '" + c.name + "' already exists in table '" + t.name + "'.");
    columns += (columns.empty() ? "" : ", ") + SqlIdent(c.name);
    t.columns.push_back(c);
  }
  AddObject(Db(), t.name, "TABLE", s.text);
  SaveTable(Db(), t);
  BuildPhysical(Db(), t, {}, false);
  ExecSql(Db(), "INSERT INTO " + SqlIdent(t.name) + " (" + columns + ") " + rowsSql);
  return sqlite3_changes(Db());
}

void Session::CheckNewName(const std::string& name) {
  RefuseInvalidName(name);
  const std::string type = ObjectType(Db(), name);
  if (type == "TABLE") JetFail(3010, "Table '" + name + "' already exists.");
  if (!type.empty()) JetFail(3012, "Object '" + name + "' already exists.");
}

JetColumn Session::ColumnOf(const JetColumnDef& d) {
  RefuseInvalidName(d.name);
  JetColumn c;
  c.name = d.name;
  c.type = d.type;
  c.counter = d.counter;
  c.required = d.notNull;
  if (c.type == "text") {
    // A text field holds 0 to 255 characters; longer text is a memo.
    if (d.length > 255) JetFail(3382, "The size of field '" + d.name + "' is too long.");
    c.length = d.length > 0 ? d.length : 255;
  }
  else if (c.type == "binary")
    c.length = d.length > 0 ? d.length : 510;
  else if (c.type == "decimal") {
    c.length = d.length > 0 ? d.length : 18;
    c.scale = d.scale > 0 ? d.scale : 0;
  }
  if (d.defaultExpr) {
    JetTranslator tr(Db());
    c.defaultText = d.defaultText;
    c.defaultSql = tr.Expression(*d.defaultExpr);
    if (c.type == "datetime") c.defaultSql = "tsql_datetime(" + c.defaultSql + ")";
  }
  return c;
}

void Session::CheckUnique(const JetTable& t, const JetIndex& ix) {
  if (ix.primary) {
    std::string anyNull;
    for (const auto& k : ix.keys) anyNull += (anyNull.empty() ? "" : " OR ") + SqlIdent(k) + " IS NULL";
    if (QueryInt(Db(), "SELECT count(*) FROM " + SqlIdent(t.name) + " WHERE " + anyNull) > 0)
      JetFail(3058, "Index or primary key cannot contain a Null value.");
  }
  if ((ix.primary || ix.unique) && FirstDuplicateKey(Db(), t.name, ix.keys)) DuplicateValues();
}

void Session::Rebuild(const JetTable& t, const std::vector<std::string>& sources) {
  SaveTable(Db(), t);
  BuildPhysical(Db(), t, sources, true);
  TouchObject(Db(), t.name);
}

void Session::CreateTable(const JetStatement& s) {
  CheckNewName(s.table);
  JetTable t;
  t.name = s.table;
  for (const auto& d : s.columns) {
    if (t.Find(d.name)) JetFail(3380, "Field '" + d.name + "' already exists in table '" + t.name + "'.");
    t.columns.push_back(ColumnOf(d));
  }
  AddObject(Db(), t.name, "TABLE", s.text);
  for (const auto& d : s.columns)
    for (const auto& k : d.constraints) AddConstraint(t, k, true);
  for (const auto& k : s.constraints) AddConstraint(t, k, true);
  SaveTable(Db(), t);
  BuildPhysical(Db(), t, {}, false);
}

void Session::AddConstraint(JetTable& t, const JetConstraint& k, bool creating) {
  RefuseInvalidName(k.name);
  for (const auto& c : k.columns)
    if (!t.Find(c)) JetFail(3409, "Invalid field definition '" + c + "' in definition of index or relationship.");
  if (k.kind != JetConstraint::ForeignKey) {
    JetIndex ix;
    ix.primary = k.kind == JetConstraint::PrimaryKey;
    ix.unique = true;
    ix.constraint = true;
    ix.name = !k.name.empty() ? k.name : ix.primary ? "PrimaryKey" : "Index_" + JoinNames(k.columns);
    ix.keys = k.columns;
    ix.descending.assign(k.columns.size(), false);
    if (FindIndex(t, ix.name)) JetFail(3375, "Table '" + t.name + "' already has an index named '" + ix.name + "'.");
    if (ix.primary)
      for (const auto& other : t.indexes)
        if (other.primary) JetFail(3283, "Primary key already exists.");
    t.indexes.push_back(ix);
    if (creating) return;
    CheckUnique(t, ix);
    SaveTable(Db(), t);
    PhysicalIndex pi{PhysicalIndexName(t.name, ix.name), {}, true};
    for (const auto& key : ix.keys) pi.keys.push_back(SqlIdent(key));
    CreatePhysicalIndex(Db(), t.name, pi);
    TouchObject(Db(), t.name);
    return;
  }
  JetRelation r;
  r.table = t.name;
  r.columns = k.columns;
  r.updateCascade = k.updateCascade;
  r.deleteCascade = k.deleteCascade;
  std::optional<JetTable> parent = Same(k.refTable, t.name) ? std::optional<JetTable>(t) : LoadTable(Db(), k.refTable);
  if (!parent) NoInputTable(k.refTable);
  r.refTable = parent->name;
  r.refColumns = k.refColumns;
  if (r.refColumns.empty()) {
    for (const auto& ix : parent->indexes)
      if (ix.primary) r.refColumns = ix.keys;
    if (r.refColumns.empty())
      JetFail(3373, "Cannot create relationship. Referenced table '" + parent->name + "' does not have a primary key.");
  }
  if (r.refColumns.size() != r.columns.size())
    JetFail(3368, "Relationship must be on the same number of fields with the same data types.");
  bool indexed = false;
  for (const auto& ix : parent->indexes)
    if ((ix.primary || ix.unique) && SameSet(ix.keys, r.refColumns)) indexed = true;
  if (!indexed) JetFail(3374, "The specified fields are not uniquely indexed in table '" + parent->name + "'.");
  r.name = !k.name.empty() ? k.name : parent->name + t.name;
  for (const auto& other : Relations(Db()))
    if (Same(other.name, r.name))
      JetFail(3378, "There is already a relationship named '" + r.name + "' in the current database.");
  if (!creating) {
    std::string notNull, match;
    for (size_t i = 0; i < r.columns.size(); ++i) {
      notNull += "C." + SqlIdent(r.columns[i]) + " IS NOT NULL AND ";
      match += (i ? " AND " : "") + std::string("P.") + SqlIdent(r.refColumns[i]) + " = C." + SqlIdent(r.columns[i]);
    }
    if (QueryInt(Db(), "SELECT count(*) FROM " + SqlIdent(t.name) + " C WHERE " + notNull +
                           "NOT EXISTS (SELECT 1 FROM " + SqlIdent(parent->name) + " P WHERE " + match + ")") > 0)
      JetFail(3379, "Cannot create relationships to enforce referential integrity. Existing data in table '" + t.name +
                        "' violates referential integrity rules in table '" + parent->name + "'.");
  }
  SaveRelation(Db(), r);
  if (creating) return;
  RefreshTriggers(Db(), r.table);
  RefreshTriggers(Db(), r.refTable);
  TouchObject(Db(), t.name);
}

void Session::DropConstraint(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    if (!Same(t.indexes[i].name, s.name)) continue;
    if (IndexInRelationship(Db(), t, t.indexes[i])) InRelationship();
    const std::string physical = PhysicalIndexName(t.name, t.indexes[i].name);
    t.indexes.erase(t.indexes.begin() + static_cast<long>(i));
    SaveTable(Db(), t);
    if (!DropPhysicalIndex(Db(), t.name, physical)) BuildPhysical(Db(), t, KeptColumns(t.columns), true);
    TouchObject(Db(), t.name);
    return;
  }
  for (const auto& r : Relations(Db())) {
    if (!Same(r.name, s.name) || !Same(r.table, t.name)) continue;
    RemoveRelation(Db(), r.name);
    RefreshTriggers(Db(), r.table);
    RefreshTriggers(Db(), r.refTable);
    TouchObject(Db(), t.name);
    return;
  }
  JetFail(3371, "Cannot find table or constraint.");
}

void Session::CreateIndex(const JetStatement& s) {
  RefuseInvalidName(s.name);
  JetTable t = RequireTable(s.table);
  for (const auto& c : s.keys)
    if (!t.Find(c)) JetFail(3409, "Invalid field definition '" + c + "' in definition of index or relationship.");
  if (FindIndex(t, s.name)) JetFail(3375, "Table '" + t.name + "' already has an index named '" + s.name + "'.");
  JetIndex ix;
  ix.name = s.name;
  ix.primary = s.primary;
  ix.unique = s.unique || s.primary;
  ix.keys = s.keys;
  ix.descending = s.descending;
  ix.descending.resize(ix.keys.size(), false);
  if (ix.primary)
    for (const auto& other : t.indexes)
      if (other.primary) JetFail(3283, "Primary key already exists.");
  t.indexes.push_back(ix);
  CheckUnique(t, ix);
  SaveTable(Db(), t);
  PhysicalIndex pi{PhysicalIndexName(t.name, ix.name), {}, ix.unique};
  for (size_t k = 0; k < ix.keys.size(); ++k)
    pi.keys.push_back(SqlIdent(ix.keys[k]) + (ix.descending[k] ? " DESC" : ""));
  CreatePhysicalIndex(Db(), t.name, pi);
  TouchObject(Db(), t.name);
}

void Session::DropIndex(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  const JetIndex* ix = FindIndex(t, s.name);
  if (!ix) JetFail(3372, "No such index '" + s.name + "' on table '" + t.name + "'.");
  JetStatement drop;
  drop.table = t.name;
  drop.name = ix->name;
  DropConstraint(drop);
}

void Session::DropTable(const JetStatement& s) {
  auto t = LoadTable(Db(), s.table);
  if (!t) JetFail(3376, "Table '" + s.table + "' does not exist.");
  for (const auto& r : Relations(Db()))
    if (Same(r.refTable, t->name) || Same(r.table, t->name)) InRelationship();
  for (const char* sql : {"DELETE FROM msys_columns WHERE tbl = ?", "DELETE FROM msys_indexes WHERE tbl = ?"}) {
    Stmt q(Db(), sql);
    q.Bind(1, t->name);
    q.Step();
  }
  RemoveObject(Db(), t->name);
  ExecSql(Db(), "DROP TABLE " + SqlIdent(t->name));
}

void Session::AddColumn(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  const JetColumnDef& d = s.columns[0];
  if (t.Find(d.name)) JetFail(3380, "Field '" + d.name + "' already exists in table '" + t.name + "'.");
  std::vector<std::string> sources = KeptColumns(t.columns);
  JetColumn c = ColumnOf(d);
  t.columns.push_back(c);
  sources.push_back(c.counter ? "rowid" : "");
  for (const auto& k : d.constraints) AddConstraint(t, k, true);
  Rebuild(t, sources);
  if (c.counter)
    ExecSql(Db(), "UPDATE msys_columns SET next_value = (SELECT ifnull(max(" + SqlIdent(c.name) + "), 0) + 1 FROM " +
                      SqlIdent(t.name) + ") WHERE tbl = " + SqlLiteral(t.name) + " AND name = " + SqlLiteral(c.name));
}

void Session::AlterColumn(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  const JetColumnDef& d = s.columns[0];
  const JetColumn* old = t.Find(d.name);
  if (!old) NoField(t, d.name);
  for (const auto& r : Relations(Db()))
    if ((Same(r.table, t.name) && Contains(r.columns, d.name)) ||
        (Same(r.refTable, t.name) && Contains(r.refColumns, d.name)))
      JetFail(3720, "Cannot change field '" + old->name + "'. It is part of one or more relationships.");
  JetColumn c = ColumnOf(d);
  c.name = old->name;
  for (auto& col : t.columns)
    if (Same(col.name, c.name)) col = c;
  Rebuild(t, KeptColumns(t.columns));
}

void Session::DropColumn(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  const JetColumn* old = t.Find(s.name);
  if (!old) NoField(t, s.name);
  for (const auto& r : Relations(Db()))
    if ((Same(r.table, t.name) && Contains(r.columns, s.name)) ||
        (Same(r.refTable, t.name) && Contains(r.refColumns, s.name)))
      JetFail(3383, "Cannot delete field '" + old->name + "'. It is part of one or more relationships.");
  for (const auto& ix : t.indexes)
    if (Contains(ix.keys, s.name))
      JetFail(3280, "Cannot delete a field that is part of an index or is needed by the system.");
  std::vector<std::string> sources;
  std::vector<JetColumn> kept;
  for (const auto& c : t.columns) {
    if (Same(c.name, s.name)) continue;
    kept.push_back(c);
    sources.push_back(SqlIdent(c.name));
  }
  t.columns = kept;
  ExecSql(Db(), "DELETE FROM msys_columns WHERE tbl = " + SqlLiteral(t.name) + " AND name = " + SqlLiteral(s.name));
  Rebuild(t, sources);
}

void Session::CreateModule(const JetStatement& s) {
  CheckNewName(s.table);
  const bool view = s.kind == JetStatement::CreateView;
  if (view) {
    JetTranslator tr(Db());
    ExecSql(Db(), "CREATE VIEW " + SqlIdent(s.table) + " AS " + tr.Query(*s.select));
  }
  AddObject(Db(), s.table, view ? "VIEW" : "PROCEDURE", s.text);
}

void Session::DropModule(const JetStatement& s) {
  const bool view = s.kind == JetStatement::DropView;
  if (ObjectType(Db(), s.table) != (view ? "VIEW" : "PROCEDURE")) JetFail(3371, "Cannot find table or constraint.");
  const std::string name = StoredName(Db(), s.table);
  if (view) ExecSql(Db(), "DROP VIEW IF EXISTS " + SqlIdent(name));
  RemoveObject(Db(), name);
}

}  // namespace servers::access
