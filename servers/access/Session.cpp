#include "servers/access/Session.h"

#include <strings.h>

#include <filesystem>

#include "platform/data/DataErrors.h"
#include "servers/access/JetError.h"
#include "servers/access/Translator.h"
#include "servers/core/Files.h"
#include "servers/core/Rowsets.h"
#include "servers/core/StatementShape.h"
#include "servers/core/Statements.h"

namespace servers::access {

namespace fs = std::filesystem;

namespace {

// Opens a database file with a rollback journal rather than a side log: as with Jet, every
// committed transaction is then in the database file itself, so that the file copied between
// transactions (the Access backup) is the whole database. A file another connection still holds
// in the side-log mode stays in it (SQLite refuses the switch); its next sole opening switches it.
SqliteDbPtr OpenJetFile(const std::string& path) {
  auto db = OpenSqlite(path, false);
  try {
    ExecSql(db.get(), "PRAGMA journal_mode=DELETE");
  } catch (const ESqliteError&) {
  }
  ExecSql(db.get(), "PRAGMA synchronous=NORMAL; PRAGMA legacy_alter_table=ON; PRAGMA foreign_keys=OFF; "
                    "PRAGMA recursive_triggers=OFF; PRAGMA cache_size=-65536;");
  return db;
}

}  // namespace

Session::Session(const std::string& path) : path_(path) {
  std::error_code ec;
  if (fs::is_directory(path, ec))
    JetFail(3044, "'" + path +
                      "' is not a valid path. Make sure that the path name is spelled correctly and that "
                      "you are connected to the server on which the file resides.");
  if (!fs::exists(path, ec)) JetFail(3024, "Could not find file '" + path + "'.");
  if (!IsBackupFile(path, kMarkerTable)) JetFail(3343, "Unrecognized database format '" + path + "'.");
  try {
    db_ = OpenJetFile(path);
  } catch (const ESqliteError&) {
    JetFail(3343, "Unrecognized database format '" + path + "'.");
  }
  RegisterCoreFunctions(Db(), *this);
  watch_.Watch(Db());
}

Session::~Session() {
  if (inTransaction_) sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  watch_.Stop();
}

void Session::BeginTrans() {
  if (inTransaction_) return;
  try {
    ExecSql(Db(), "BEGIN IMMEDIATE");
  } catch (const ESqliteError&) {
    JetFail(3211,
            "The database engine could not lock table because it is already in use by another person or process.");
  }
  inTransaction_ = true;
}

void Session::CommitTrans() {
  if (!inTransaction_)
    JetFail(3034, "You tried to commit or rollback a transaction without first beginning a transaction.");
  ExecSql(Db(), "COMMIT");
  inTransaction_ = false;
}

void Session::RollbackTrans() {
  if (!inTransaction_)
    JetFail(3034, "You tried to commit or rollback a transaction without first beginning a transaction.");
  sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  inTransaction_ = false;
}

std::vector<ado::StatementResult> Session::Execute(const std::string& sql) {
  const JetStatement s = ParseJetStatement(sql);
  std::vector<ado::StatementResult> results;
  const bool own = !inTransaction_ && s.kind != JetStatement::Select;
  if (own) {
    try {
      ExecSql(Db(), "BEGIN IMMEDIATE");
    } catch (const ESqliteError&) {
      JetFail(3211,
              "The database engine could not lock table because it is already in use by another person or process.");
    }
  }
  try {
    RunAtomically(
        Db(), own, depth_,
        [&] {
          // Only now, the statement's snapshot held, is another connection's last commit known.
          watch_.CheckOtherConnections();
          Run(s, results);
        },
        [&] {
          results.clear();
          tables_.clear();  // a statement undone to its savepoint may have read the catalogue midway
        });
  } catch (const std::exception& e) {
    Rethrow(e, s);
  }
  return results;
}

void Session::Run(const JetStatement& s, std::vector<ado::StatementResult>& results) {
  ado::StatementResult r;
  switch (s.kind) {
    case JetStatement::Select: {
      if (!s.select->into.Empty()) {
        r.RowsAffected = SelectInto(s);
        break;
      }
      JetTranslator tr(Db());
      r.HasRows = true;
      r.Rows = QueryRowSet(Db(), tr.Query(*s.select));
      results.push_back(std::move(r));
      return;
    }
    case JetStatement::Insert:
      r.RowsAffected = Insert(s);
      break;
    case JetStatement::Update:
      r.RowsAffected = Update(s);
      break;
    case JetStatement::Delete:
      r.RowsAffected = Delete(s);
      break;
    case JetStatement::CreateTable:
      CreateTable(s);
      return;
    case JetStatement::AddColumn:
      AddColumn(s);
      return;
    case JetStatement::AlterColumn:
      AlterColumn(s);
      return;
    case JetStatement::DropColumn:
      DropColumn(s);
      return;
    case JetStatement::AddConstraint: {
      JetTable t = RequireTable(s.table);
      AddConstraint(t, s.constraints[0], false);
      return;
    }
    case JetStatement::DropConstraint:
      DropConstraint(s);
      return;
    case JetStatement::CreateIndex:
      CreateIndex(s);
      return;
    case JetStatement::DropIndex:
      DropIndex(s);
      return;
    case JetStatement::DropTable:
      DropTable(s);
      return;
    case JetStatement::CreateView:
    case JetStatement::CreateProcedure:
      CreateModule(s);
      return;
    case JetStatement::DropView:
    case JetStatement::DropProcedure:
      DropModule(s);
      return;
  }
  results.push_back(std::move(r));
}

JetTable Session::RequireTable(const std::string& name) {
  if (auto found = tables_.find(name); found != tables_.end()) return found->second;
  auto t = LoadTable(Db(), name);
  if (!t) NoInputTable(name);
  tables_.emplace(name, *t);
  return *t;
}

namespace {

// A value stored in a column: dates are read in Jet's forms ('2024-03-05 10:30:00',
// '03/05/2024', #...#) and kept in the stored form.
std::string Stored(const JetColumn& c, const Expr& e, const JetTranslator& tr) {
  std::string v = tr.Expression(e);
  if (c.type == "datetime" && e.kind != Expr::Null) return "tsql_datetime(" + v + ")";
  return v;
}

const JetColumn& ColumnOrFail(const JetTable& t, const std::string& name) {
  const JetColumn* c = t.Find(name);
  if (!c)
    JetFail(3127, "The INSERT INTO statement contains the following unknown field name: '" + name +
                      "'. Make sure you have typed the name correctly, and try the operation again.");
  return *c;
}

bool UsesAggregate(const Select& q);

// An aggregate function anywhere in the expression, its subqueries included.
bool UsesAggregate(const Expr& e) {
  static const char* const kAggregates[] = {"count", "sum", "min",   "max",    "avg", "first",
                                             "last",  "stdev", "stdevp", "var",   "varp"};
  if (e.kind == Expr::Func)
    for (const char* name : kAggregates)
      if (strcasecmp(e.text.c_str(), name) == 0) return true;
  for (const auto& arg : e.args)
    if (arg && UsesAggregate(*arg)) return true;
  return e.select && UsesAggregate(*e.select);
}

bool UsesAggregate(const TableRef& r) {
  if (r.select && UsesAggregate(*r.select)) return true;
  if (r.on && UsesAggregate(*r.on)) return true;
  return (r.left && UsesAggregate(*r.left)) || (r.right && UsesAggregate(*r.right));
}

// A grouping or an aggregate function in the query or in any query inside it.
bool UsesAggregate(const Select& q) {
  if (!q.groupBy.empty() || q.having) return true;
  for (const auto& item : q.items)
    if (item.expr && UsesAggregate(*item.expr)) return true;
  for (const auto& from : q.from)
    if (UsesAggregate(*from)) return true;
  if (q.where && UsesAggregate(*q.where)) return true;
  for (const auto& u : q.unions)
    if (UsesAggregate(*u.select)) return true;
  return false;
}

// Jet updates no row from a value that needs the rows grouped: an aggregate in a SET value, or
// in a query it reads, makes the whole UPDATE a query that cannot be updated.
void RefuseAggregateValues(const JetStatement& s) {
  for (const auto& set : s.sets)
    if (UsesAggregate(*set.second)) JetFail(3073, "Operation must use an updateable query.");
}

}  // namespace

int64_t Session::Insert(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  std::vector<std::string> names = s.insertColumns;
  if (names.empty())
    for (const auto& c : t.columns) names.push_back(c.name);
  JetTranslator tr(Db());
  std::string cols;
  for (const auto& n : names) cols += (cols.empty() ? "" : ", ") + SqlIdent(ColumnOrFail(t, n).name);
  std::string sql = "INSERT INTO " + SqlIdent(t.name) + " (" + cols + ") ";
  if (s.select) {
    // A selected value reaches a date column in the stored form, as the VALUES form's do.
    std::string source, selected;
    bool dates = false;
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string c = "jet_c" + std::to_string(i);
      source += (i ? ", " : "") + c;
      const bool date = ColumnOrFail(t, names[i]).type == "datetime";
      selected += (i ? ", " : "") + (date ? "tsql_datetime(" + c + ")" : c);
      dates = dates || date;
    }
    if (dates) {
      sql = "WITH jet_source (" + source + ") AS (" + tr.Query(*s.select) + ") " + sql + "SELECT " + selected +
            " FROM jet_source";
    } else {
      sql += tr.Query(*s.select);
    }
  } else {
    if (s.values.size() != names.size())
      JetFail(3346, "Number of query values and destination fields are not the same.");
    std::string vals;
    for (size_t i = 0; i < names.size(); ++i)
      vals += (i ? ", " : "") + Stored(ColumnOrFail(t, names[i]), *s.values[i], tr);
    sql += "VALUES (" + vals + ")";
  }
  ExecShaped(Db(), sql);
  return sqlite3_changes(Db());
}

int64_t Session::Update(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  RefuseAggregateValues(s);
  JetTranslator tr(Db());
  std::string sets;
  for (const auto& [name, e] : s.sets) {
    const JetColumn* c = t.Find(name);
    if (!c) JetFail(3061, "No value given for one or more required parameters.");
    sets += (sets.empty() ? "" : ", ") + SqlIdent(c->name) + " = " + Stored(*c, *e, tr);
  }
  std::string sql = "UPDATE " + SqlIdent(t.name);
  if (!s.alias.empty()) sql += " AS " + SqlIdent(s.alias);
  sql += " SET " + sets;
  if (!s.joinTable.empty()) {
    // The rows of the first table that meet a row of the second, as SQLite's UPDATE ... FROM.
    JetTable joined = RequireTable(s.joinTable);
    sql += " FROM " + SqlIdent(joined.name);
    if (!s.joinAlias.empty()) sql += " AS " + SqlIdent(s.joinAlias);
    std::string condition = s.joinOn ? "(" + tr.Expression(*s.joinOn) + ")" : "";
    if (s.where) condition += (condition.empty() ? "(" : " AND (") + tr.Expression(*s.where) + ")";
    if (!condition.empty()) sql += " WHERE " + condition;
  } else if (s.where) {
    sql += " WHERE " + tr.Expression(*s.where);
  }
  ExecShaped(Db(), sql);
  return sqlite3_changes(Db());
}

int64_t Session::Delete(const JetStatement& s) {
  JetTable t = RequireTable(s.table);
  JetTranslator tr(Db());
  std::string sql = "DELETE FROM " + SqlIdent(t.name);
  if (s.where) sql += " WHERE " + tr.Expression(*s.where);
  ExecShaped(Db(), sql);
  return sqlite3_changes(Db());
}

void Session::Rethrow(const std::exception& e, const JetStatement& s) {
  if (dynamic_cast<const ado::EOleException*>(&e)) throw;
  const auto* se = dynamic_cast<const ESqliteError*>(&e);
  if (!se) JetFail(3075, "Syntax error (missing operator) in query expression '" + s.text + "'.");
  if (se->Code() == SQLITE_BUSY || se->Code() == SQLITE_LOCKED)
    JetFail(3211,
            "The database engine could not lock table because it is already in use by another person or process.");
  if (se->Code() == SQLITE_READONLY) JetFail(3027, "Cannot update. Database or object is read-only.");
  const SqliteFailure f = ReadSqliteFailure(se->what());
  switch (f.kind) {
    case SqliteFailure::Coded:
      if (f.number == 241 || f.number == 242) JetFail(3421, "Data type conversion error.");
      JetFail(f.number, f.text);
    case SqliteFailure::NoTable:
      NoInputTable(f.name);
    case SqliteFailure::NoColumn:
    case SqliteFailure::AmbiguousColumn:
      JetFail(3061, "No value given for one or more required parameters.");
    case SqliteFailure::NoFunction:
      JetFail(3085, "Undefined function '" + f.name + "' in expression.");
    case SqliteFailure::NotNull:
      JetFail(3314, "The field '" + f.name +
                        "' cannot contain a Null value because the Required property for this "
                        "field is set to True.  Enter a value in this field.");
    case SqliteFailure::Check:
      JetFail(3163,
              "The field is too small to accept the amount of data you attempted to add. Try inserting or "
              "pasting less data.");
    case SqliteFailure::UniqueIndex:
    case SqliteFailure::Unique:
      DuplicateValues();
    default:
      break;
  }
  if (std::string(se->what()).find("datatype mismatch") != std::string::npos)
    JetFail(3421, "Data type conversion error.");
  JetFail(3075, "Syntax error (missing operator) in query expression '" + s.text + "'.");
}

}  // namespace servers::access
