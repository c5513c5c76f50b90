// Data statements of the session: SELECT, INSERT, UPDATE and DELETE (with FROM), translated
// to SQLite over the user tables with the server's conversions and identity rules.
#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "common/Text.h"
#include "servers/core/StatementShape.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"
#include "servers/sqlserver/UserTypes.h"

namespace servers::sqlserver {

namespace {

using text::Lower;

// The FROM item that names `target` (by alias, or by table name when it has none), searched
// through joins; nullptr when none does.
const TableRef* FindTarget(const TableRef& t, const std::string& target, bool byTableName) {
  if (t.kind == TableRef::Named) {
    if (!t.alias.empty()) {
      if (strcasecmp(t.alias.c_str(), target.c_str()) == 0) return &t;
      return byTableName && strcasecmp(t.name.name.c_str(), target.c_str()) == 0 ? &t : nullptr;
    }
    return strcasecmp(t.name.name.c_str(), target.c_str()) == 0 ? &t : nullptr;
  }
  if (t.kind == TableRef::Join) {
    if (auto* l = FindTarget(*t.left, target, byTableName)) return l;
    return FindTarget(*t.right, target, byTableName);
  }
  return nullptr;
}

const TableRef* FindTarget(const std::vector<std::unique_ptr<TableRef>>& from, const std::string& target) {
  for (const auto& f : from)
    if (auto* r = FindTarget(*f, target, false)) return r;
  for (const auto& f : from)
    if (auto* r = FindTarget(*f, target, true)) return r;
  return nullptr;
}

// The value in column `col` of the current row as an SQL literal.
std::string LiteralOf(sqlite3_stmt* st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_NULL:
      return "NULL";
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, col));
      return buf;
    }
    case SQLITE_TEXT:
      return SqlLiteral(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                                    static_cast<size_t>(sqlite3_column_bytes(st, col))));
    default: {
      const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, col));
      std::string hex = "X'";
      static const char* const kHex = "0123456789ABCDEF";
      for (int i = 0; i < sqlite3_column_bytes(st, col); ++i) {
        hex += kHex[p[i] >> 4];
        hex += kHex[p[i] & 15];
      }
      return hex + "'";
    }
  }
}

}  // namespace

void Session::RunVariables(const VariableStmt& s) {
  Translator tr = Tr();
  for (const auto& item : s.items) {
    if (s.kind == Statement::kDeclare) {
      if (variableTypes_.count(item.name))
        Fail(134, "The variable name '" + item.name + "' has already been declared. Variable names must be unique within a query batch or stored procedure.");
      TypeSpec type = item.type;
      if (!FindType(type.name)) {
        // A user data type stands for its base type.
        auto user = type.length < 0 ? FindUserType(Db(), type.name) : std::nullopt;
        if (!user) Fail(2715, "Column or parameter #1: Cannot find data type " + item.type.name + ".");
        type = user->spec;
      }
      variableTypes_[item.name] = type;
      variables_[item.name] = "NULL";
    } else if (!variableTypes_.count(item.name)) {
      Fail(137, "Must declare the variable '" + item.name + "'.");
    }
    if (item.value) {
      Stmt q(Db(), "SELECT " + tr.Expression(*item.value));
      std::string value = q.Step() ? LiteralOf(q.Get(), 0) : "NULL";
      variables_[item.name] = AssignValue(variableTypes_[item.name], value);
    }
  }
}

std::string Session::AssignValue(const TypeSpec& type, const std::string& literal) {
  const SqlType* t = FindType(type.name);
  // A whole number put into a character variable becomes its text.
  if (t && t->character && !literal.empty() &&
      literal.find_first_not_of("0123456789", literal[0] == '-' ? 1 : 0) == std::string::npos)
    return SqlLiteral(literal);
  if (!t || t->character || literal == "NULL") return literal;
  ColumnInfo c;
  c.xtype = t->xtype;
  c.xusertype = t->xusertype;
  c.typeName = t->name;
  ColumnStorage st = StorageOf(*t, type);
  c.prec = st.prec;
  c.length = st.length;
  Stmt q(Db(), "SELECT " + StoredValue(c, literal));
  q.Step();
  return LiteralOf(q.Get(), 0);
}

void Session::RunSelect(const SelectStmt& s, std::vector<ado::StatementResult>& results) {
  RefuseLongComparisons(s);
  if (!s.select->into.Empty()) {
    RunSelectInto(s, results);
    return;
  }
  Translator tr = Tr();
  size_t assignments = 0;
  for (const auto& item : s.select->items) assignments += !item.assignTo.empty();
  if (assignments) {
    if (assignments != s.select->items.size() || !s.select->unions.empty())
      Fail(141, "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval operations.");
    for (const auto& item : s.select->items)
      if (!variableTypes_.count(item.assignTo)) Fail(137, "Must declare the variable '" + item.assignTo + "'.");
    Stmt q(Db(), tr.Query(*s.select));
    std::vector<std::string> values(s.select->items.size());
    bool any = false;
    while (q.Step()) {
      any = true;
      for (size_t i = 0; i < values.size(); ++i) values[i] = LiteralOf(q.Get(), static_cast<int>(i));
    }
    if (any)
      for (size_t i = 0; i < values.size(); ++i) {
        const std::string& name = s.select->items[i].assignTo;
        variables_[name] = AssignValue(variableTypes_[name], values[i]);
      }
    return;
  }
  ado::StatementResult r;
  r.HasRows = true;
  r.Rows = Query(tr.Query(*s.select));
  NameResultColumns(*s.select, r.Rows);
  results.push_back(std::move(r));
}

// A result column is named by its alias or by the column it reads; any other expression
// (count(*), len(name), a literal) leaves it without a name.
void Session::NameResultColumns(const Select& select, ado::RowSet& rows) const {
  const auto& items = select.items;
  size_t stars = 0;
  for (const auto& item : items) stars += item.expr->kind == Expr::Star;
  if (stars > 1 || rows.Fields.size() + stars < items.size()) return;
  size_t field = 0;
  for (const auto& item : items) {
    if (item.expr->kind == Expr::Star) {
      field += rows.Fields.size() + 1 - items.size();
      continue;
    }
    const Expr* e = item.expr.get();
    while (e->kind == Expr::Paren) e = e->args[0].get();
    if (item.alias.empty() && e->kind != Expr::Column) rows.Fields[field].Name.clear();
    ++field;
  }
}

TableInfo Session::RequireTable(const ObjectName& name) {
  if (!name.db.empty() && Lower(name.db) != Lower(database_))
    Fail(208, "Invalid object name '" + name.db + "." + name.owner + "." + name.name + "'.");
  auto id = Resolve(name);
  auto t = id ? CachedTable(*id) : std::nullopt;
  if (t && t->xtype == "S")
    Fail(259, "Ad hoc updates to system catalogs are not enabled. The system administrator must reconfigure SQL Server to allow this.");
  if (!t || t->xtype != "U") Fail(208, "Invalid object name '" + name.name + "'.");
  return *t;
}

std::string Session::ValueFor(const ColumnInfo& c, const Expr& e, const TableInfo&) {
  Translator tr = Tr();
  if (e.kind == Expr::Default) {
    if (!c.cdefault) return "NULL";
    Stmt d(Db(), "SELECT text FROM syscomments WHERE id = ? ORDER BY colid");
    d.Bind(1, c.cdefault);
    std::string text;
    while (d.Step()) text += d.Text(0);
    auto stmts = ParseBatch("SELECT " + text);
    return PaddedDefault(c, tr.Expression(*static_cast<const SelectStmt&>(*stmts[0]).select->items[0].expr));
  }
  return StoredValue(c, tr.Expression(e));
}

void Session::PrepareEnforcement(const Statement& s) {
  const ObjectName* name = nullptr;
  if (s.kind == Statement::kInsert) {
    name = &static_cast<const InsertStmt&>(s).table;
  } else if (s.kind == Statement::kUpdate) {
    const auto& u = static_cast<const UpdateStmt&>(s);
    const TableRef* ref = FindTarget(u.from, u.table.name);
    name = ref ? &ref->name : &u.table;
  } else if (s.kind == Statement::kDelete) {
    const auto& d = static_cast<const DeleteStmt&>(s);
    const TableRef* ref = FindTarget(d.from, d.table.name);
    name = ref ? &ref->name : &d.table;
  } else if (s.kind == Statement::kTruncate) {
    name = &static_cast<const SimpleStmt&>(s).table;
  }
  if (!name || (!name->db.empty() && Lower(name->db) != Lower(database_))) return;
  try {
    auto id = Resolve(*name);
    if (id && ObjectType(Db(), *id) == "U") enforcement_.Prepare(Db(), database_, *id);
  } catch (const ESqliteError&) {
    // The statement makes them inside its transaction and reports what fails there.
  }
}

std::vector<std::vector<ExprPtr>> Session::ProcedureRows(const ExecProcStmt& s) {
  std::vector<ado::StatementResult> results;
  RunProc(s, results);
  std::vector<std::vector<ExprPtr>> rows;
  for (const auto& r : results) {
    if (!r.HasRows) continue;
    for (const auto& values : r.Rows.Rows) {
      auto& row = rows.emplace_back();
      for (const auto& v : values) {
        auto e = std::make_unique<Expr>();
        e->kind = v.IsNull() ? Expr::Null : Expr::String;
        if (!v.IsNull()) e->text = v.AsString();
        row.push_back(std::move(e));
      }
    }
    break;
  }
  return rows;
}

int64_t Session::RunInsert(const InsertStmt& s) {
  TableInfo t = RequireTable(s.table);
  enforcement_.Prepare(Db(), database_, t.id);
  const ColumnInfo* idc = t.Identity();
  bool idInsert = idc && identityInsert_.count(t.id);
  std::vector<const ColumnInfo*> cols;
  if (s.columns.empty()) {
    if (idInsert)
      Fail(8101, "An explicit value for the identity column in table '" + t.name +
                     "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
    for (const auto& c : t.columns)
      if (!c.identity && c.xtype != kTimestampType) cols.push_back(&c);
  } else {
    for (const auto& n : s.columns) {
      const ColumnInfo* c = t.Column(n);
      if (!c) Fail(207, "Invalid column name '" + n + "'.");
      if (c->identity && !idInsert)
        Fail(544, "Cannot insert explicit value for identity column in table '" + t.name +
                      "' when IDENTITY_INSERT is set to OFF.");
      cols.push_back(c);
    }
  }
  if (idInsert && idc) {
    bool listed = false;
    for (auto* c : cols) listed |= c == idc;
    if (!listed)
      Fail(545, "Explicit value must be specified for identity column in table '" + t.name +
                    "' when IDENTITY_INSERT is set to ON.");
  }
  RefuseTimestampValues(s, cols);
  RefuseLongComparisons(s);
  std::vector<std::vector<ExprPtr>> produced;
  if (s.exec) produced = ProcedureRows(static_cast<const ExecProcStmt&>(*s.exec));
  const auto& rows = s.exec ? produced : s.values;
  if (s.exec && rows.empty()) return 0;
  // The SQLite table holds no defaults: every column the statement leaves out is named with its
  // default, or NULL. Identity and timestamp columns get theirs from their triggers.
  std::string omitted, omittedValues;
  {
    Expr def;
    def.kind = Expr::Default;
    for (const auto& c : t.columns) {
      if (c.identity || c.xtype == kTimestampType) continue;
      if (!s.defaultValues && std::find(cols.begin(), cols.end(), &c) != cols.end()) continue;
      omitted += ", " + SqlIdent(c.name);
      omittedValues += ", " + ValueFor(c, def, t);
    }
  }
  std::string colList;
  for (size_t i = 0; i < cols.size(); ++i) colList += (i ? ", " : "") + SqlIdent(cols[i]->name);
  std::string sql = "INSERT INTO " + SqlIdent(t.physical);
  if (s.defaultValues) {
    sql += omitted.empty() ? " DEFAULT VALUES" : " (" + omitted.substr(2) + ") VALUES (" + omittedValues.substr(2) + ")";
  } else if (s.select) {
    Translator tr = Tr();
    // Values bound for dates, bits and fixed-length text are converted as the server stores them.
    bool convert = !omitted.empty();
    for (auto* c : cols) convert |= StoredValue(*c, "v") != "v";
    if (!convert) {
      sql += " (" + colList + ") " + tr.Query(*s.select);
    } else {
      std::string names, values;
      for (size_t i = 0; i < cols.size(); ++i) {
        std::string n = "c" + std::to_string(i);
        names += (i ? ", " : "") + n;
        std::string v = n;
        values += (i ? ", " : "") + StoredValue(*cols[i], n);
      }
      size_t produced = 0;
      {
        Stmt probe(Db(), "SELECT * FROM (" + tr.Query(*s.select) + ") LIMIT 0");
        produced = static_cast<size_t>(sqlite3_column_count(probe.Get()));
      }
      if (produced != cols.size())
        Fail(s.columns.empty() ? 213 : 120,
             s.columns.empty() ? "Insert Error: Column name or number of supplied values does not match table definition."
                               : "The select list for the INSERT statement contains fewer items than the insert list. The number of SELECT values must match the number of INSERT columns.");
      sql = "WITH schm_source(" + names + ") AS (" + tr.Query(*s.select) + ") " + sql + " (" + colList +
            omitted + ") SELECT " + values + omittedValues + " FROM schm_source";
    }
  } else {
    sql += " (" + colList + omitted + ") VALUES ";
    for (size_t r = 0; r < rows.size(); ++r) {
      const auto& row = rows[r];
      if (row.size() != cols.size()) {
        if (s.columns.empty())
          Fail(213, "Insert Error: Column name or number of supplied values does not match table definition.");
        Fail(row.size() > cols.size() ? 110 : 109,
             row.size() > cols.size()
                 ? "There are fewer columns in the INSERT statement than values specified in the VALUES clause. The number of values in the VALUES clause must match the number of columns specified in the INSERT statement."
                 : "There are more columns in the INSERT statement than values specified in the VALUES clause. The number of values in the VALUES clause must match the number of columns specified in the INSERT statement.");
      }
      sql += r ? ", (" : "(";
      for (size_t i = 0; i < row.size(); ++i) sql += (i ? ", " : "") + ValueFor(*cols[i], *row[i], t);
      sql += omittedValues + ")";
    }
  }
  ExecShaped(Db(), sql);
  int64_t changes = Changes();
  if (idc && changes > 0) {
    Stmt q(Db(), "SELECT current FROM schm_identity WHERE id = ?");
    q.Bind(1, t.id);
    if (q.Step() && !q.IsNull(0)) {
      lastIdentity_ = q.Int(0);
      hasIdentity_ = true;
    }
  }
  return changes;
}

int64_t Session::RunUpdate(const UpdateStmt& s) {
  RefuseLongComparisons(s);
  Translator tr = Tr();
  // The target may be an alias of a FROM item, also inside a join.
  const TableRef* targetRef = FindTarget(s.from, s.table.name);
  size_t targetIndex = s.from.size();
  for (size_t i = 0; i < s.from.size(); ++i)
    if (s.from[i].get() == targetRef) targetIndex = i;
  TableInfo t = RequireTable(targetRef ? targetRef->name : s.table);
  enforcement_.Prepare(Db(), database_, t.id);
  std::string sql = "UPDATE " + SqlIdent(t.physical);
  std::string alias;
  std::string rowidJoin;
  if (targetRef && targetIndex < s.from.size()) {
    // A FROM item of its own: it becomes the target.
    alias = targetRef->alias;
  } else if (targetRef || !s.from.empty()) {
    // Named inside a join (or not at all): match the FROM rows to the target by rowid.
    alias = "schm_target";
    std::string ref = targetRef ? (targetRef->alias.empty() ? targetRef->name.name : targetRef->alias) : t.name;
    rowidJoin = SqlIdent(alias) + ".rowid = " + SqlIdent(ref) + ".rowid";
  }
  std::string from;
  for (size_t i = 0; i < s.from.size(); ++i) {
    if (i == targetIndex) continue;
    from += (from.empty() ? "" : ", ") + tr.From(*s.from[i]);
  }
  std::string where = s.where ? tr.StatementExpression(*s.where, s.table, s.from) : "";
  std::vector<std::string> sets;
  for (const auto& [parts, expr] : s.sets) {
    const std::string& colName = parts.back();
    const ColumnInfo* c = t.Column(colName);
    if (!c) Fail(207, "Invalid column name '" + colName + "'.");
    if (c->identity) Fail(8102, "Cannot update identity column '" + c->name + "'.");
    if (c->xtype == kTimestampType) Fail(272, "Cannot update a timestamp column.");
    sets.push_back(SqlIdent(c->name) + " = " + ValueFor(*c, *expr, t));
  }
  // Columns qualified by the table's own name still find it under its SQLite name.
  if (alias.empty() && t.physical != t.name) alias = targetRef ? targetRef->name.name : s.table.name;
  if (!alias.empty()) sql += " AS " + SqlIdent(alias);
  sql += " SET ";
  if (rowidJoin.empty()) {
    for (size_t i = 0; i < sets.size(); ++i) sql += (i ? ", " : "") + sets[i];
    if (!from.empty()) sql += " FROM " + from;
    if (!where.empty()) sql += " WHERE " + where;
  } else {
    // SQLite's UPDATE ... FROM hides the rowids of joined tables: each value comes from the
    // joined row of the target through a correlated sub-query.
    std::string match = " FROM " + from + " WHERE " + rowidJoin + (where.empty() ? "" : " AND (" + where + ")");
    for (size_t i = 0; i < sets.size(); ++i) {
      size_t eq = sets[i].find(" = ");
      sql += (i ? ", " : "") + sets[i].substr(0, eq) + " = (SELECT " + sets[i].substr(eq + 3) + match + " LIMIT 1)";
    }
    sql += " WHERE EXISTS (SELECT 1" + match + ")";
  }
  ExecShaped(Db(), sql);
  return Changes();
}

int64_t Session::RunDelete(const DeleteStmt& s) {
  RefuseLongComparisons(s);
  Translator tr = Tr();
  const TableRef* ref = FindTarget(s.from, s.table.name);
  TableInfo t = RequireTable(ref ? ref->name : s.table);
  enforcement_.Prepare(Db(), database_, t.id);
  std::string sql = "DELETE FROM " + SqlIdent(t.physical);
  if (t.physical != t.name && s.from.empty()) sql += " AS " + SqlIdent(s.table.name);
  if (!s.from.empty()) {
    std::string from;
    for (size_t i = 0; i < s.from.size(); ++i) from += (i ? ", " : "") + tr.From(*s.from[i]);
    std::string source = ref ? (ref->alias.empty() ? ref->name.name : ref->alias) : s.table.name;
    sql += " WHERE rowid IN (SELECT " + SqlIdent(source) + ".rowid FROM " + from +
           (s.where ? " WHERE " + tr.StatementExpression(*s.where, s.table, s.from) : "") + ")";
  } else if (s.where) {
    sql += " WHERE " + tr.StatementExpression(*s.where, s.table, s.from);
  }
  ExecShaped(Db(), sql);
  return Changes();
}

}  // namespace servers::sqlserver
