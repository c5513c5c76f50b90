// Statements of users' own scripts: transactions with savepoints, RAISERROR, CHECKPOINT and
// UPDATE STATISTICS, DBCC CHECKIDENT, GRANT / REVOKE / DENY (kept in sysprotects),
// SELECT ... INTO a new table, and the user data types of sp_addtype and sp_droptype.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "common/Text.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"
#include "servers/sqlserver/UserTypes.h"

namespace servers::sqlserver {

namespace {

using text::Lower;

// Databases made before the catalogue had sysprotects get it with their first permission.
const char* const kProtectsDdl =
    "CREATE TABLE IF NOT EXISTS sysprotects (id INTEGER, uid INTEGER, action INTEGER, "
    "protecttype INTEGER, columns BLOB, grantor INTEGER)";

// The action codes sysprotects records.
int ActionCode(const std::string& action) {
  static const std::map<std::string, int> codes = {
      {"REFERENCES", 26}, {"CREATE FUNCTION", 178}, {"SELECT", 193}, {"INSERT", 195},
      {"DELETE", 196}, {"UPDATE", 197}, {"CREATE TABLE", 198}, {"CREATE DATABASE", 203},
      {"CREATE VIEW", 207}, {"CREATE PROCEDURE", 222}, {"EXECUTE", 224}, {"BACKUP DATABASE", 228},
      {"CREATE DEFAULT", 233}, {"BACKUP LOG", 235}, {"CREATE RULE", 236}};
  auto it = codes.find(action);
  return it == codes.end() ? 0 : it->second;
}

// Fills RAISERROR's message as the server's printf-like formatting does: %s, %d, %i, %u, %x
// and %o take the arguments in turn (width and precision read and dropped), %% is a percent.
std::string FormatMessage(const std::string& format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    if (format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    size_t k = i + 1;
    while (k < format.size() && std::strchr("-+ #0123456789.*lhI", format[k])) ++k;
    if (k >= format.size() || !std::strchr("sdiuxXo", format[k])) {
      out += format[i];
      continue;
    }
    std::string value = next < args.size() ? args[next++] : std::string("(null)");
    if (format[k] == 'x' || format[k] == 'X' || format[k] == 'o') {
      char buf[32];
      long long n = std::atoll(value.c_str());
      const char* spec = format[k] == 'x' ? "%llx" : format[k] == 'X' ? "%llX" : "%llo";
      std::snprintf(buf, sizeof buf, spec, n);
      value = buf;
    }
    out += value;
    i = k;
  }
  return out;
}

// A declared SQLite column type ("varchar(20)", "decimal(10,2)", "int") as a server type.
TypeSpec SpecOfDecl(const std::string& decl) {
  TypeSpec t;
  size_t open = decl.find('(');
  t.name = Lower(decl.substr(0, open));
  if (open != std::string::npos) {
    int a = -1, b = -1;
    if (std::sscanf(decl.c_str() + open, "(%d,%d)", &a, &b) >= 1) {
      t.length = a;
      t.scale = b;
    }
  }
  return t;
}

// The tables in `r` whose columns an outer join may fill with NULL: the inner side of a LEFT or
// RIGHT join, both sides of a FULL one, and every table under such a side. A table named on both
// sides of a join is taken as left out.
void CollectNullSupplying(const TableRef& r, bool nulled, std::vector<const TableRef*>& out) {
  if (r.kind == TableRef::Named) {
    if (nulled) out.push_back(&r);
  } else if (r.kind == TableRef::Derived) {
    for (const auto& f : r.select->from) CollectNullSupplying(*f, nulled, out);
  } else {
    CollectNullSupplying(*r.left, nulled || r.joinType == "RIGHT" || r.joinType == "FULL", out);
    CollectNullSupplying(*r.right, nulled || r.joinType == "LEFT" || r.joinType == "FULL", out);
  }
}

}  // namespace

void Session::RunTransaction(const TranStmt& s) {
  switch (s.kind) {
    case Statement::kBeginTran:
      if (inTransaction_) return;  // nested BEGIN TRAN only counts on the real server
      BeginTrans();
      tranName_ = s.name;
      return;
    case Statement::kCommit:
      CommitTrans();
      return;
    case Statement::kSaveTran:
      if (!inTransaction_) Fail(628, "Cannot issue SAVE TRANSACTION when there is no active transaction.");
      ExecSql(Db(), "SAVEPOINT " + SqlIdent("schm_save_" + Lower(s.name)));
      savepoints_.push_back(Lower(s.name));
      return;
    default:
      break;
  }
  if (s.name.empty() || !inTransaction_ || text::SameText(s.name, tranName_)) {
    RollbackTrans();
    return;
  }
  // Back to the newest savepoint of that name; the later ones go with it, the transaction stays.
  for (size_t i = savepoints_.size(); i-- > 0;) {
    if (savepoints_[i] != Lower(s.name)) continue;
    ExecSql(Db(), "ROLLBACK TO " + SqlIdent("schm_save_" + savepoints_[i]));
    savepoints_.resize(i + 1);
    enforcement_.Forget();  // triggers made since the savepoint are gone with it
    return;
  }
  Fail(6401, "Cannot roll back " + s.name + ". No transaction or savepoint of that name was found.");
}

void Session::RunUserStatement(const Statement& s, std::vector<ado::StatementResult>& results) {
  switch (s.kind) {
    case Statement::kRaiserror:
      Raiserror(static_cast<const RaiserrorStmt&>(s), results);
      return;
    case Statement::kCheckIdent:
      CheckIdent(static_cast<const CheckIdentStmt&>(s), results);
      return;
    case Statement::kPermission:
      ChangePermissions(static_cast<const PermissionStmt&>(s));
      return;
    default: {
      // CHECKPOINT and UPDATE STATISTICS: nothing to write down, but the table must exist.
      const auto& simple = static_cast<const SimpleStmt&>(s);
      if (!simple.table.Empty()) RequireTable(simple.table);
      return;
    }
  }
}

void Session::Raiserror(const RaiserrorStmt& s, std::vector<ado::StatementResult>& results) {
  std::vector<std::string> values;
  for (const auto& a : s.args) values.push_back(EvalText(*a));
  int severity = std::atoi(values[1].c_str());
  int state = std::atoi(values[2].c_str());
  if (s.args[0]->kind == Expr::Number) {
    int number = std::atoi(values[0].c_str());
    if (number < 13000)
      Fail(2732, "Error number " + std::to_string(number) + " is invalid. The number must be from 13000 through 2147483647");
    Fail(2758, "RAISERROR could not locate entry for error " + std::to_string(number) + " in sysmessages.");
  }
  if (severity > 18 && !s.withLog)
    Fail(2754, "Error severity levels greater than 18 can only be specified by members of the sysadmin role, using the WITH LOG option.");
  std::string message = FormatMessage(values[0], std::vector<std::string>(values.begin() + 3, values.end()));
  if (severity <= 10) {
    ado::StatementResult r;
    r.Message = message;
    results.push_back(std::move(r));
    return;
  }
  FailGraded(50000, std::min(severity, 25), state < 0 ? 1 : state, message);
}

void Session::CheckIdent(const CheckIdentStmt& s, std::vector<ado::StatementResult>& results) {
  if (!s.table.db.empty() && Lower(s.table.db) != Lower(database_))
    Fail(2501, "Cannot find a table or object with the name '" + s.table.name + "'. Check the system catalog.");
  auto id = Resolve(s.table);
  auto t = id ? LoadTable(Db(), *id) : std::nullopt;
  if (!t || t->xtype != "U")
    Fail(2501, "Cannot find a table or object with the name '" + s.table.name + "'. Check the system catalog.");
  const ColumnInfo* idc = t->Identity();
  if (!idc) Fail(7997, "'" + t->name + "' does not contain an identity column.");
  Stmt q(Db(), "SELECT i.current, i.incr, (SELECT max(" + SqlIdent(idc->name) + ") FROM " +
                   SqlIdent(t->physical) + ") FROM schm_identity i WHERE i.id = ?");
  q.Bind(1, t->id);
  if (!q.Step()) Fail(7997, "'" + t->name + "' does not contain an identity column.");
  bool hasCurrent = !q.IsNull(0), hasRows = !q.IsNull(2);
  int64_t current = q.Int(0), incr = q.Int(1), column = q.Int(2);
  auto text = [](bool has, int64_t v) { return has ? std::to_string(v) : std::string("NULL"); };
  std::string message = "Checking identity information: current identity value '" + text(hasCurrent, current) +
                        "', current column value '";
  std::optional<int64_t> next;
  if (s.option == "RESEED" && s.value) {
    int64_t v = std::atoll(EvalText(*s.value).c_str());
    // Before any row was inserted the next row takes the new seed itself, afterwards one step on.
    next = hasCurrent ? v : v - incr;
    message += std::to_string(v) + "'.";
  } else if (s.option != "NORESEED" && hasRows &&
             (!hasCurrent || (incr > 0 ? column > current : column < current))) {
    next = column;
    message += std::to_string(column) + "'.";
  } else {
    message += text(hasRows, column) + "'.";
  }
  if (next) {
    Stmt u(Db(), "UPDATE schm_identity SET current = ? WHERE id = ?");
    u.Bind(1, *next).Bind(2, t->id);
    u.Step();
  }
  for (const std::string& m : {message, std::string("DBCC execution completed. If DBCC printed error messages, "
                                                    "contact your system administrator.")}) {
    ado::StatementResult r;
    r.Message = m;
    results.push_back(std::move(r));
  }
}

void Session::ChangePermissions(const PermissionStmt& s) {
  ExecSql(Db(), kProtectsDdl);
  int64_t objectId = 0;
  std::string xtype;
  if (!s.object.Empty()) {
    auto id = Resolve(s.object);
    if (!id) Fail(208, "Invalid object name '" + s.object.name + "'.");
    objectId = *id;
    xtype = ObjectType(Db(), objectId);
  }
  std::vector<std::string> actions;
  for (const auto& a : s.actions) {
    if (a != "ALL") {
      actions.push_back(a);
    } else if (objectId == 0) {
      for (const char* c : {"CREATE DATABASE", "CREATE DEFAULT", "CREATE FUNCTION", "CREATE PROCEDURE",
                            "CREATE RULE", "CREATE TABLE", "CREATE VIEW", "BACKUP DATABASE", "BACKUP LOG"})
        actions.push_back(c);
    } else if (xtype == "P" || xtype == "FN") {
      actions.push_back("EXECUTE");
    } else {
      for (const char* c : {"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"}) actions.push_back(c);
    }
  }
  // Columns: bit 0 stands for the whole table, bit n for column n.
  std::string columns;
  if (!s.columns.empty()) {
    auto t = LoadTable(Db(), objectId);
    if (!t) Fail(208, "Invalid object name '" + s.object.name + "'.");
    for (const auto& n : s.columns) {
      const ColumnInfo* c = t->Column(n);
      if (!c) Fail(207, "Invalid column name '" + n + "'.");
      size_t byte = static_cast<size_t>(c->colid / 8);
      if (columns.size() <= byte) columns.resize(byte + 1, '\0');
      columns[byte] = static_cast<char>(columns[byte] | (1 << (c->colid % 8)));
    }
  }
  int protect = s.verb == "DENY" ? 206 : s.withGrantOption ? 204 : 205;
  for (const auto& grantee : s.grantees) {
    int uid = text::SameText(grantee, "public") ? 0 : UserUid(grantee);
    if (uid < 0) Fail(4604, "There is no such user or group '" + grantee + "'.");
    for (const auto& a : actions) {
      int code = ActionCode(a);
      Stmt d(Db(), "DELETE FROM sysprotects WHERE id = ? AND uid = ? AND action = ?");
      d.Bind(1, objectId).Bind(2, int64_t{uid}).Bind(3, int64_t{code});
      d.Step();
      if (s.verb == "REVOKE") continue;
      bool wholeTable = columns.empty() && (code == 193 || code == 197 || code == 26);
      std::string bits = columns.empty() ? std::string(wholeTable ? 1 : 0, '\x01') : columns;
      Stmt ins(Db(), "INSERT INTO sysprotects (id, uid, action, protecttype, columns, grantor) VALUES (?, ?, ?, ?, ?, ?)");
      ins.Bind(1, objectId).Bind(2, int64_t{uid}).Bind(3, int64_t{code}).Bind(4, int64_t{protect});
      if (bits.empty()) ins.BindNull(5);
      else sqlite3_bind_blob(ins.Get(), 5, bits.data(), static_cast<int>(bits.size()), SQLITE_TRANSIENT);
      ins.Bind(6, int64_t{uid_});
      ins.Step();
    }
  }
}

void Session::RunSelectInto(const SelectStmt& s, std::vector<ado::StatementResult>& results) {
  const Select& sel = *s.select;
  Translator tr = Tr();
  std::string query = tr.Query(sel);
  for (size_t i = 0; i < sel.items.size(); ++i) {
    const Expr& e = *sel.items[i].expr;
    if (sel.items[i].alias.empty() && e.kind != Expr::Column && e.kind != Expr::Star)
      Fail(8155, "No column was specified for column " + std::to_string(i + 1) + " of '" + sel.into.name + "'.");
  }
  // Each column takes the type of the column it comes from; a computed one the type its values
  // have (text as varchar as long as the longest value).
  CreateTableStmt create;
  create.table = sel.into;
  create.line = s.line;
  // A column from a table an outer join may leave out takes NULL whatever its table says.
  std::set<std::string, text::LessText> nullSupplying;
  {
    std::vector<const TableRef*> refs;
    for (const auto& f : sel.from) CollectNullSupplying(*f, false, refs);
    for (const TableRef* r : refs) {
      if (r->function || (!r->name.db.empty() && !text::SameText(r->name.db, database_))) continue;
      if (auto id = Resolve(r->name))
        if (auto t = CachedTable(*id)) nullSupplying.insert(t->physical);
    }
  }
  {
    Stmt q(Db(), query);
    int n = sqlite3_column_count(q.Get());
    std::vector<int> kinds(static_cast<size_t>(n), SQLITE_NULL);
    std::vector<int> widths(static_cast<size_t>(n), 1);
    while (q.Step())
      for (int i = 0; i < n; ++i) {
        int k = sqlite3_column_type(q.Get(), i);
        if (k == SQLITE_NULL) continue;
        auto& kind = kinds[static_cast<size_t>(i)];
        kind = kind == SQLITE_NULL || kind == k ? k : (kind == SQLITE_BLOB || k == SQLITE_BLOB ? SQLITE_BLOB : SQLITE_TEXT);
        widths[static_cast<size_t>(i)] = std::max(widths[static_cast<size_t>(i)], sqlite3_column_bytes(q.Get(), i));
      }
    for (int i = 0; i < n; ++i) {
      ColumnDef c;
      c.name = sqlite3_column_name(q.Get(), i);
      const char* decl = sqlite3_column_decltype(q.Get(), i);
      const char* table = sqlite3_column_table_name(q.Get(), i);
      const char* origin = sqlite3_column_origin_name(q.Get(), i);
      if (decl && FindType(SpecOfDecl(decl).name)) {
        c.type = SpecOfDecl(decl);
      } else {
        int kind = kinds[static_cast<size_t>(i)];
        int width = std::min(widths[static_cast<size_t>(i)], 8000);
        c.type.name = kind == SQLITE_FLOAT ? "float" : kind == SQLITE_TEXT ? "varchar" : kind == SQLITE_BLOB ? "varbinary" : "int";
        if (kind == SQLITE_TEXT || kind == SQLITE_BLOB) c.type.length = width;
      }
      // Nullability and the identity property come along from a table column.
      if (table && origin)
        if (auto id = FindPhysical(Db(), table))
          if (auto t = LoadTable(Db(), *id))
            if (const ColumnInfo* from = t->Column(origin)) {
              c.nullable = from->nullable || nullSupplying.count(table) > 0;
              c.collation = from->collation == kDefaultCollation ? std::string() : from->collation;
              if (from->identity && sel.from.size() == 1 && sel.from[0]->kind == TableRef::Named &&
                  sel.groupBy.empty() && sel.unions.empty()) {
                Stmt idt(Db(), "SELECT seed, incr FROM schm_identity WHERE id = ?");
                idt.Bind(1, t->id);
                if (idt.Step()) {
                  c.identity = true;
                  c.seed = idt.Int(0);
                  c.increment = idt.Int(1);
                }
              }
            }
      create.columns.push_back(std::move(c));
    }
  }
  CreateTable(create);
  TableInfo target = RequireTable(sel.into);
  enforcement_.Prepare(Db(), database_, target.id);  // the copied identity values move the counter on
  std::string cols;
  for (const auto& c : target.columns) cols += (cols.empty() ? "" : ", ") + SqlIdent(c.name);
  ExecSql(Db(), "INSERT INTO " + SqlIdent(target.physical) + " (" + cols + ") " + query);
  ado::StatementResult r;
  r.RowsAffected = Changes();
  results.push_back(std::move(r));
}

bool Session::RunTypeProc(const std::string& name, const std::vector<std::string>& args,
                          const std::vector<bool>& isNull) {
  auto arg = [&](size_t i) { return i < args.size() && !isNull[i] ? args[i] : std::string(); };
  if (name == "sp_droptype") {
    Stmt q(Db(), "SELECT xusertype FROM systypes WHERE name = ? AND xusertype > 256");
    q.Bind(1, arg(0));
    if (!q.Step()) Fail(15010, "The data type '" + arg(0) + "' does not exist.");
    int64_t xusertype = q.Int(0);
    if (QueryInt(Db(), "SELECT count(*) FROM syscolumns WHERE xusertype = " + std::to_string(xusertype)))
      Fail(15180, "Cannot drop. The data type is being used.");
    ExecSql(Db(), "DELETE FROM systypes WHERE xusertype = " + std::to_string(xusertype));
    return true;
  }
  if (name != "sp_addtype") return false;
  std::string typeName = arg(0);
  if (typeName.empty()) Fail(15013, "Type name cannot be empty.");
  if (FindType(typeName) || FindUserType(Db(), typeName))
    Fail(15029, "The type '" + typeName + "' already exists in the database.");
  // The base type is written as in a column definition: "varchar(11)", "decimal (10, 2)".
  TypeSpec spec;
  try {
    auto parsed = ParseBatch("DECLARE @t " + arg(1));
    spec = static_cast<const VariableStmt&>(*parsed.at(0)).items.at(0).type;
  } catch (const ado::EOleException&) {
    Fail(15036, "The data type '" + arg(1) + "' does not exist.");
  }
  const SqlType* base = FindType(spec.name);
  if (!base || base->xtype == 189 || base->xusertype == 256)
    Fail(15036, "The data type '" + arg(1) + "' does not exist.");
  if (base->sized && spec.length > 8000 / base->length)
    Fail(131, "The size (" + std::to_string(spec.length) + ") given to the type '" + typeName +
                  "' exceeds the maximum allowed for any data type (8000).");
  std::string nulls = Lower(text::Trim(arg(2)));
  bool allowNulls = !(nulls == "not null" || nulls == "nonull");
  if (!nulls.empty() && nulls != "null" && allowNulls)
    Fail(15040, "Nulltype value must be 'NULL', 'NOT NULL' or 'NONULL'.");
  ColumnStorage st = StorageOf(*base, spec);
  int64_t xusertype = std::max<int64_t>(257, QueryInt(Db(), "SELECT max(xusertype) + 1 FROM systypes", 257));
  Stmt ins(Db(), "INSERT INTO systypes (name, xtype, status, xusertype, length, xprec, xscale, uid, collationid, "
                 "usertype, variable, allownulls, type, prec, scale, collation) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  ins.Bind(1, typeName).Bind(2, int64_t{base->xtype}).Bind(3, int64_t{allowNulls ? 0 : 1}).Bind(4, xusertype);
  ins.Bind(5, int64_t{st.length}).Bind(6, int64_t{base->decimal ? st.prec : base->prec}).Bind(7, int64_t{st.scale});
  ins.Bind(8, int64_t{uid_});
  if (base->character) ins.Bind(9, int64_t{872468488});
  else ins.BindNull(9);
  ins.Bind(10, xusertype).Bind(11, int64_t{base->sized ? 1 : 0}).Bind(12, int64_t{allowNulls ? 1 : 0});
  ins.Bind(13, int64_t{base->xtype}).Bind(14, int64_t{st.prec});
  if (base->decimal || base->xtype == 60 || base->xtype == 122) ins.Bind(15, int64_t{st.scale});
  else ins.BindNull(15);
  if (base->character) ins.Bind(16, std::string(kDefaultCollation));
  else ins.BindNull(16);
  ins.Step();
  return true;
}

}  // namespace servers::sqlserver
