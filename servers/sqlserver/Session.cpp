#include "servers/sqlserver/Session.h"

#include <strings.h>

#include <cstdio>
#include <filesystem>

#include "servers/sqlserver/Server.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string AfterColon(const std::string& m, const std::string& prefix) {
  return m.substr(prefix.size());
}

ado::FieldType FieldTypeOf(const std::string& decl) {
  std::string d = Lower(decl);
  if (d == "int") return ado::FieldType::ftInteger;
  if (d == "smallint") return ado::FieldType::ftSmallint;
  if (d == "tinyint") return ado::FieldType::ftByte;
  if (d == "bigint") return ado::FieldType::ftLargeint;
  if (d == "bit") return ado::FieldType::ftBoolean;
  if (d == "float" || d == "real") return ado::FieldType::ftFloat;
  if (d == "money" || d == "smallmoney") return ado::FieldType::ftCurrency;
  if (d == "decimal" || d == "numeric") return ado::FieldType::ftBCD;
  if (d == "datetime" || d == "smalldatetime") return ado::FieldType::ftDateTime;
  if (d == "text" || d == "ntext") return ado::FieldType::ftMemo;
  if (d == "image") return ado::FieldType::ftBlob;
  if (d == "binary" || d == "varbinary" || d == "timestamp") return ado::FieldType::ftBytes;
  if (d == "uniqueidentifier") return ado::FieldType::ftGuid;
  return ado::FieldType::ftString;
}

ado::Variant ToDateTime(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) >= 3 && y > 0)
    return ado::EncodeDateTime(y, mo, d, h, mi, s, ms);
  return text;
}

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

}  // namespace

Session::Session(const ado::ConnectionString& cs) {
  serverName_ = cs.Get("Data Source");
  if (serverName_.empty()) serverName_ = cs.Get("Server");
  if (serverName_.empty()) serverName_ = "(local)";
  try {
    folder_ = ServerFolder(serverName_);
    EnsureMaster(folder_);
    db_ = OpenDatabaseFile(DatabaseFile(folder_, "master"), false);
    database_ = "master";
    functions_ = RegisterFunctions(Db(), *this);
  } catch (const ESqliteError& e) {
    Fail(17, "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.");
  }
  std::string user = cs.Get("User ID");
  if (user.empty()) user = cs.Get("UID");
  bool integrated = !cs.Get("Integrated Security").empty() && user.empty();
  std::string defaultDb = "master";
  if (!user.empty()) {
    Stmt q(Db(), "SELECT password, dbname FROM syslogins WHERE name = ?");
    q.Bind(1, user);
    if (q.Step()) {
      std::string password = cs.Get("Password");
      if (password.empty()) password = cs.Get("PWD");
      if (q.Text(0) != password) Fail(18456, "Login failed for user '" + user + "'.");
      defaultDb = q.Text(1);
      login_ = user;
    } else {
      login_ = user;
    }
  } else if (integrated) {
    login_ = "sa";
  }
  std::string initial = cs.Get("Initial Catalog");
  if (initial.empty()) initial = cs.Get("Database");
  if (initial.empty()) initial = defaultDb;
  if (Lower(initial) != "master") {
    try {
      UseDatabase(initial);
    } catch (const ado::EOleException&) {
      Fail(4060, "Cannot open database requested in login '" + initial + "'. Login fails.");
    }
  }
}

Session::~Session() {
  if (inTransaction_ && db_) sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Session::InMaster() const { return Lower(database_) == "master"; }

void Session::UseDatabase(const std::string& name) {
  if (Lower(name) == Lower(database_)) return;
  if (inTransaction_)
    Fail(3906, "USE statement is not allowed inside a transaction.");
  std::string canonical = name;
  {
    Stmt q(Db(), std::string("SELECT name FROM ") + (InMaster() ? "" : "master.") + "sysdatabases WHERE name = ?");
    q.Bind(1, name);
    if (!q.Step())
      Fail(911, "Could not locate entry in sysdatabases for database '" + name +
                    "'. No entry found with that name. Make sure that the name is entered correctly.");
    canonical = q.Text(0);
  }
  std::string path = DatabaseFile(folder_, canonical);
  if (!fs::exists(path)) Fail(911, "Could not locate entry in sysdatabases for database '" + name + "'.");
  auto next = OpenDatabaseFile(path, false);
  auto nextFunctions = RegisterFunctions(next.get(), *this);
  if (Lower(canonical) != "master")
    ExecSql(next.get(), "ATTACH DATABASE " + SqlLiteral(DatabaseFile(folder_, "master")) + " AS master");
  functions_.reset();
  db_ = std::move(next);
  functions_ = std::move(nextFunctions);
  database_ = canonical;
  identityInsert_.clear();
}

void Session::BeginTrans() {
  if (inTransaction_) return;
  try {
    ExecSql(Db(), "BEGIN IMMEDIATE");
  } catch (const ESqliteError& e) {
    Fail(1205, std::string("Transaction could not begin: ") + e.what());
  }
  inTransaction_ = true;
}

void Session::CommitTrans() {
  if (!inTransaction_)
    Fail(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  try {
    ExecSql(Db(), "COMMIT");
  } catch (const ESqliteError& e) {
    Fail(3902, std::string("The transaction could not be committed: ") + e.what());
  }
  inTransaction_ = false;
}

void Session::RollbackTrans() {
  if (!inTransaction_)
    Fail(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  inTransaction_ = false;
  identityInsert_.clear();
}

std::vector<ado::StatementResult> Session::Execute(const std::string& sql) {
  std::vector<StatementPtr> statements = ParseBatch(sql);
  std::vector<ado::StatementResult> results;
  const std::string* saved = batch_;
  batch_ = &sql;
  try {
    for (const auto& s : statements) RunGuarded(*s, results);
  } catch (...) {
    batch_ = saved;
    throw;
  }
  batch_ = saved;
  return results;
}

void Session::RunGuarded(const Statement& s, std::vector<ado::StatementResult>& results) {
  switch (s.kind) {
    case Statement::kBeginTran:
      BeginTrans();
      return;
    case Statement::kCommit:
      CommitTrans();
      return;
    case Statement::kRollback:
      RollbackTrans();
      return;
    case Statement::kUse:
      UseDatabase(static_cast<const UseStmt&>(s).db);
      return;
    case Statement::kCreateDatabase:
    case Statement::kDropDatabase:
    case Statement::kBackup:
    case Statement::kRestore:
    case Statement::kRestoreFileList:
      try {
        Run(s, results);
      } catch (const std::exception& e) {
        Rethrow(e, s);
      }
      return;
    default:
      break;
  }
  std::string sp = "schm_stmt" + std::to_string(depth_++);
  ExecSql(Db(), "SAVEPOINT " + sp);
  auto savedIdentity = identityInsert_;
  size_t resultCount = results.size();
  try {
    Run(s, results);
    ExecSql(Db(), "RELEASE " + sp);
    --depth_;
  } catch (const std::exception& e) {
    sqlite3_exec(Db(), ("ROLLBACK TO " + sp + "; RELEASE " + sp).c_str(), nullptr, nullptr, nullptr);
    --depth_;
    identityInsert_ = savedIdentity;
    results.resize(resultCount);
    Rethrow(e, s);
  }
}

void Session::Rethrow(const std::exception& e, const Statement& s) {
  if (auto* ole = dynamic_cast<const ado::EOleException*>(&e)) throw *ole;
  std::string m = e.what();
  // Errors the catalogue's triggers and functions raise carry "number|message".
  size_t bar = m.find('|');
  if (bar != std::string::npos && bar > 0 && bar < 6 &&
      m.substr(0, bar).find_first_not_of("0123456789") == std::string::npos)
    Fail(std::atoi(m.substr(0, bar).c_str()), m.substr(bar + 1));
  const std::string noTable = "no such table: ";
  const std::string noColumn = "no such column: ";
  const std::string ambiguous = "ambiguous column name: ";
  const std::string notNull = "NOT NULL constraint failed: ";
  const std::string unique = "UNIQUE constraint failed: ";
  const std::string check = "CHECK constraint failed: ";
  const std::string noFunction = "no such function: ";
  auto lastPart = [](const std::string& n) {
    size_t dot = n.rfind('.');
    return dot == std::string::npos ? n : n.substr(dot + 1);
  };
  if (m.rfind(noTable, 0) == 0) Fail(208, "Invalid object name '" + lastPart(AfterColon(m, noTable)) + "'.");
  if (m.rfind(noColumn, 0) == 0) Fail(207, "Invalid column name '" + lastPart(AfterColon(m, noColumn)) + "'.");
  if (m.rfind(ambiguous, 0) == 0) Fail(209, "Ambiguous column name '" + lastPart(AfterColon(m, ambiguous)) + "'.");
  if (m.rfind(noFunction, 0) == 0)
    Fail(195, "'" + AfterColon(m, noFunction).substr(0, AfterColon(m, noFunction).find(' ')) +
                  "' is not a recognized function name.");
  std::string verb = s.kind == Statement::kUpdate ? "UPDATE" : s.kind == Statement::kAlterTable ? "ALTER TABLE" : "INSERT";
  if (m.rfind(notNull, 0) == 0) {
    std::string what = AfterColon(m, notNull);
    size_t dot = what.find('.');
    std::string table = what.substr(0, dot), column = dot == std::string::npos ? what : what.substr(dot + 1);
    Fail(515, "Cannot insert the value NULL into column '" + column + "', table '" + database_ +
                  ".dbo." + table + "'; column does not allow nulls. " +
                  (s.kind == Statement::kInsert ? "INSERT" : "UPDATE") + " fails.");
  }
  if (m.rfind(unique, 0) == 0) {
    std::string what = AfterColon(m, unique);
    std::string table = what.substr(0, what.find('.'));
    std::vector<std::string> cols;
    size_t p = 0;
    while (p < what.size()) {
      size_t comma = what.find(", ", p);
      std::string part = what.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
      cols.push_back(Lower(lastPart(part)));
      if (comma == std::string::npos) break;
      p = comma + 2;
    }
    // Find the index with those columns.
    Stmt q(Db(), "SELECT i.name, i.status, i.indid FROM sysindexes i JOIN sysobjects o ON o.id = i.id "
                 "WHERE o.name = ? AND i.indid BETWEEN 1 AND 254 AND (i.status & 2) = 2");
    q.Bind(1, table);
    while (q.Step()) {
      Stmt k(Db(), "SELECT lower(c.name) FROM sysindexkeys k JOIN syscolumns c ON c.id = k.id AND "
                   "c.colid = k.colid JOIN sysobjects o ON o.id = k.id WHERE o.name = ? AND k.indid = ? ORDER BY k.keyno");
      k.Bind(1, table).Bind(2, q.Int(2));
      std::vector<std::string> keys;
      while (k.Step()) keys.push_back(k.Text(0));
      if (keys != cols) continue;
      int64_t status = q.Int(1);
      if (status & 0x800)
        Fail(2627, "Violation of PRIMARY KEY constraint '" + q.Text(0) +
                       "'. Cannot insert duplicate key in object '" + table + "'.");
      if (status & 0x1000)
        Fail(2627, "Violation of UNIQUE KEY constraint '" + q.Text(0) +
                       "'. Cannot insert duplicate key in object '" + table + "'.");
      Fail(2601, "Cannot insert duplicate key row in object '" + table + "' with unique index '" +
                     q.Text(0) + "'.");
    }
    Fail(2601, "Cannot insert duplicate key row in object '" + table + "'.");
  }
  if (m.rfind(check, 0) == 0) {
    std::string name = AfterColon(m, check);
    Fail(547, verb + " statement conflicted with COLUMN CHECK constraint '" + name +
                  "'. The conflict occurred in database '" + database_ + "'.");
  }
  if (m.find("syntax error") != std::string::npos || m.find("near \"") != std::string::npos)
    Fail(170, "Line " + std::to_string(s.line) + ": Incorrect syntax near '" +
                  (batch_ ? batch_->substr(s.begin, std::min<size_t>(s.end - s.begin, 30)) : std::string()) + "'.");
  Fail(50000, m);
}

int64_t Session::Changes() const { return sqlite3_changes(Db()); }

ado::RowSet Session::Query(const std::string& sql) {
  Stmt q(Db(), sql);
  ado::RowSet rs;
  sqlite3_stmt* st = q.Get();
  int n = sqlite3_column_count(st);
  std::vector<std::string> decl(static_cast<size_t>(n));
  std::vector<bool> declared(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    ado::FieldDef f;
    f.Name = sqlite3_column_name(st, i);
    const char* d = sqlite3_column_decltype(st, i);
    declared[static_cast<size_t>(i)] = d != nullptr;
    decl[static_cast<size_t>(i)] = d ? Lower(d) : "";
    f.Type = d ? FieldTypeOf(d) : ado::FieldType::ftString;
    if (d && (Lower(d) == "integer")) f.Type = ado::FieldType::ftInteger;
    rs.Fields.push_back(f);
  }
  std::vector<int> seen(static_cast<size_t>(n), 0);  // bit 1 int, 2 float, 4 text, 8 blob
  while (q.Step()) {
    ado::Row row;
    row.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      size_t k = static_cast<size_t>(i);
      int t = sqlite3_column_type(st, i);
      const std::string& d = decl[k];
      switch (t) {
        case SQLITE_NULL:
          row.push_back(ado::Variant::Null());
          break;
        case SQLITE_INTEGER: {
          int64_t v = sqlite3_column_int64(st, i);
          seen[k] |= 1;
          if (d == "bit") row.emplace_back(v != 0);
          else if (d == "money" || d == "smallmoney") row.emplace_back(ado::Currency{v * 10000});
          else row.emplace_back(static_cast<long long>(v));
          break;
        }
        case SQLITE_FLOAT: {
          double v = sqlite3_column_double(st, i);
          seen[k] |= 2;
          if (d == "money" || d == "smallmoney")
            row.emplace_back(ado::Currency{static_cast<int64_t>(v * 10000 + (v < 0 ? -0.5 : 0.5))});
          else row.emplace_back(v);
          break;
        }
        case SQLITE_TEXT: {
          std::string v(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                        static_cast<size_t>(sqlite3_column_bytes(st, i)));
          seen[k] |= 4;
          if (d == "datetime" || d == "smalldatetime") row.push_back(ToDateTime(v));
          else {
            if (static_cast<int>(v.size()) > rs.Fields[k].Size) rs.Fields[k].Size = static_cast<int>(v.size());
            row.emplace_back(std::move(v));
          }
          break;
        }
        default: {
          const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, i));
          seen[k] |= 8;
          row.emplace_back(ado::Bytes(p, p + sqlite3_column_bytes(st, i)));
        }
      }
    }
    rs.Rows.push_back(std::move(row));
  }
  for (size_t k = 0; k < rs.Fields.size(); ++k) {
    auto& f = rs.Fields[k];
    if (!declared[k]) {
      if (seen[k] == 1) f.Type = ado::FieldType::ftInteger;
      else if (seen[k] && (seen[k] & ~3) == 0) f.Type = ado::FieldType::ftFloat;
      else if (seen[k] == 8) f.Type = ado::FieldType::ftBlob;
      else f.Type = ado::FieldType::ftString;
      if (f.Type == ado::FieldType::ftInteger) {
        for (const auto& r : rs.Rows)
          if (r[k].Type() == ado::VarType::Int && (r[k].AsInt() > INT32_MAX || r[k].AsInt() < INT32_MIN))
            f.Type = ado::FieldType::ftLargeint;
      }
      if (f.Type == ado::FieldType::ftString) {
        // Mixed columns come back as text.
        for (auto& r : rs.Rows)
          if (!r[k].IsNullOrEmpty() && r[k].Type() != ado::VarType::Text) r[k] = r[k].AsString();
      }
    }
    if (f.Type == ado::FieldType::ftString && f.Size > 4000) f.Type = ado::FieldType::ftMemo;
    if (f.Type == ado::FieldType::ftString && f.Size == 0) f.Size = 1;
  }
  return rs;
}

bool Session::Condition(const Expr& e) {
  Translator tr(database_, InMaster());
  Stmt q(Db(), "SELECT CASE WHEN " + tr.Expression(e) + " THEN 1 ELSE 0 END");
  return q.Step() && q.Int(0) == 1;
}

std::string Session::EvalText(const Expr& e) {
  Translator tr(database_, InMaster());
  Stmt q(Db(), "SELECT " + tr.Expression(e));
  if (!q.Step()) return {};
  return q.Text(0);
}

void Session::Run(const Statement& s, std::vector<ado::StatementResult>& results) {
  switch (s.kind) {
    case Statement::kSelect:
      RunSelect(static_cast<const SelectStmt&>(s), results);
      return;
    case Statement::kInsert: {
      ado::StatementResult r;
      r.RowsAffected = RunInsert(static_cast<const InsertStmt&>(s));
      results.push_back(std::move(r));
      return;
    }
    case Statement::kUpdate: {
      ado::StatementResult r;
      r.RowsAffected = RunUpdate(static_cast<const UpdateStmt&>(s));
      results.push_back(std::move(r));
      return;
    }
    case Statement::kDelete: {
      ado::StatementResult r;
      r.RowsAffected = RunDelete(static_cast<const DeleteStmt&>(s));
      results.push_back(std::move(r));
      return;
    }
    case Statement::kCreateTable:
      CreateTable(static_cast<const CreateTableStmt&>(s));
      return;
    case Statement::kAlterTable:
      AlterTable(static_cast<const AlterTableStmt&>(s));
      return;
    case Statement::kDropTable:
      for (const auto& n : static_cast<const DropStmt&>(s).names) DropTable(n);
      return;
    case Statement::kCreateIndex:
      CreateIndex(static_cast<const CreateIndexStmt&>(s));
      return;
    case Statement::kDropIndex:
      for (const auto& [table, index] : static_cast<const DropStmt&>(s).indexes) DropIndex(table, index);
      return;
    case Statement::kCreateModule:
      CreateModule(static_cast<const CreateModuleStmt&>(s));
      return;
    case Statement::kDropModule:
      DropModule(static_cast<const DropStmt&>(s));
      return;
    case Statement::kIf: {
      const auto& i = static_cast<const IfStmt&>(s);
      if (Condition(*i.condition)) Run(*i.then, results);
      else if (i.otherwise) Run(*i.otherwise, results);
      return;
    }
    case Statement::kBlock:
      for (const auto& b : static_cast<const BlockStmt&>(s).body) Run(*b, results);
      return;
    case Statement::kExecText: {
      std::string text = EvalText(*static_cast<const ExecTextStmt&>(s).text);
      auto inner = ParseBatch(text);
      const std::string* saved = batch_;
      batch_ = &text;
      try {
        for (const auto& st : inner) Run(*st, results);
      } catch (...) {
        batch_ = saved;
        throw;
      }
      batch_ = saved;
      return;
    }
    case Statement::kExecProc:
      RunProc(static_cast<const ExecProcStmt&>(s), results);
      return;
    case Statement::kSetIdentityInsert: {
      const auto& set = static_cast<const SetStmt&>(s);
      TableInfo t = RequireTable(set.table);
      if (!t.Identity())
        Fail(8106, "Table '" + t.name + "' does not have the identity property. Cannot perform SET operation.");
      if (set.on) identityInsert_.insert(t.id);
      else identityInsert_.erase(t.id);
      return;
    }
    case Statement::kSetOption:
    case Statement::kPrint:
      return;
    case Statement::kTruncate: {
      TableInfo t = RequireTable(static_cast<const SimpleStmt&>(s).table);
      ExecSql(Db(), "DELETE FROM " + SqlIdent(t.name));
      ExecSql(Db(), "UPDATE schm_identity SET current = NULL WHERE id = " + std::to_string(t.id));
      return;
    }
    case Statement::kCreateDatabase:
      CreateDatabase(static_cast<const DatabaseStmt&>(s));
      return;
    case Statement::kAlterDatabase:
      AlterDatabase(static_cast<const DatabaseStmt&>(s));
      return;
    case Statement::kDropDatabase:
      DropDatabase(static_cast<const DatabaseStmt&>(s));
      return;
    case Statement::kBackup:
      Backup(static_cast<const DatabaseStmt&>(s));
      return;
    case Statement::kRestoreFileList:
      RestoreFileList(static_cast<const DatabaseStmt&>(s), results);
      return;
    case Statement::kRestore:
      Restore(static_cast<const DatabaseStmt&>(s));
      return;
    case Statement::kUse:
      UseDatabase(static_cast<const UseStmt&>(s).db);
      return;
    case Statement::kBeginTran:
    case Statement::kCommit:
    case Statement::kRollback:
      Fail(3902, "Transaction statements are not allowed here.");
  }
}

void Session::RunSelect(const SelectStmt& s, std::vector<ado::StatementResult>& results) {
  Translator tr(database_, InMaster());
  ado::StatementResult r;
  r.HasRows = true;
  r.Rows = Query(tr.Query(*s.select));
  results.push_back(std::move(r));
}

TableInfo Session::RequireTable(const ObjectName& name) {
  if (!name.db.empty() && Lower(name.db) != Lower(database_))
    Fail(208, "Invalid object name '" + name.db + "." + name.owner + "." + name.name + "'.");
  auto t = LoadTable(Db(), name.name);
  if (t && t->xtype == "S")
    Fail(259, "Ad hoc updates to system catalogs are not enabled. The system administrator must reconfigure SQL Server to allow this.");
  if (!t || t->xtype != "U") Fail(208, "Invalid object name '" + name.name + "'.");
  return *t;
}

std::string Session::ValueFor(const ColumnInfo& c, const Expr& e, const TableInfo&) {
  Translator tr(database_, InMaster());
  if (e.kind == Expr::Default) {
    if (!c.cdefault) return "NULL";
    Stmt d(Db(), "SELECT text FROM syscomments WHERE id = ? ORDER BY colid");
    d.Bind(1, c.cdefault);
    std::string text;
    while (d.Step()) text += d.Text(0);
    auto stmts = ParseBatch("SELECT " + text);
    return tr.Expression(*static_cast<const SelectStmt&>(*stmts[0]).select->items[0].expr);
  }
  std::string v = tr.Expression(e);
  if (c.xtype == 61 || c.xtype == 58) return "tsql_datetime(" + v + ")";
  if (c.xtype == 104) return "tsql_bit(" + v + ")";
  if (c.xtype == 175 || c.xtype == 239) return "tsql_pad(" + v + ", " + std::to_string(c.prec) + ")";
  return v;
}

int64_t Session::RunInsert(const InsertStmt& s) {
  TableInfo t = RequireTable(s.table);
  const ColumnInfo* idc = t.Identity();
  bool idInsert = idc && identityInsert_.count(t.id);
  std::vector<const ColumnInfo*> cols;
  if (s.columns.empty()) {
    if (idInsert)
      Fail(8101, "An explicit value for the identity column in table '" + t.name +
                     "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
    for (const auto& c : t.columns)
      if (!c.identity && c.xtype != 189) cols.push_back(&c);
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
  std::string colList;
  for (size_t i = 0; i < cols.size(); ++i) colList += (i ? ", " : "") + SqlIdent(cols[i]->name);
  std::string sql = "INSERT INTO " + SqlIdent(t.name);
  if (s.defaultValues) {
    sql += " DEFAULT VALUES";
  } else if (s.select) {
    Translator tr(database_, InMaster());
    // Values bound for dates, bits and fixed-length text are converted as the server stores them.
    bool convert = false;
    for (auto* c : cols) convert |= c->xtype == 61 || c->xtype == 58 || c->xtype == 104 || c->xtype == 175 || c->xtype == 239;
    if (!convert) {
      sql += " (" + colList + ") " + tr.Query(*s.select);
    } else {
      std::string names, values;
      for (size_t i = 0; i < cols.size(); ++i) {
        std::string n = "c" + std::to_string(i);
        names += (i ? ", " : "") + n;
        std::string v = n;
        if (cols[i]->xtype == 61 || cols[i]->xtype == 58) v = "tsql_datetime(" + n + ")";
        else if (cols[i]->xtype == 104) v = "tsql_bit(" + n + ")";
        else if (cols[i]->xtype == 175 || cols[i]->xtype == 239) v = "tsql_pad(" + n + ", " + std::to_string(cols[i]->prec) + ")";
        values += (i ? ", " : "") + v;
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
            ") SELECT " + values + " FROM schm_source";
    }
  } else {
    sql += " (" + colList + ") VALUES ";
    for (size_t r = 0; r < s.values.size(); ++r) {
      const auto& row = s.values[r];
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
      sql += ")";
    }
  }
  ExecSql(Db(), sql);
  return Changes();
}

int64_t Session::RunUpdate(const UpdateStmt& s) {
  Translator tr(database_, InMaster());
  // The target may be an alias of a FROM item, also inside a join.
  const TableRef* targetRef = FindTarget(s.from, s.table.name);
  size_t targetIndex = s.from.size();
  for (size_t i = 0; i < s.from.size(); ++i)
    if (s.from[i].get() == targetRef) targetIndex = i;
  TableInfo t = RequireTable(targetRef ? targetRef->name : s.table);
  std::string sql = "UPDATE " + SqlIdent(t.name);
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
  std::string where = s.where ? tr.Expression(*s.where) : "";
  std::vector<std::string> sets;
  for (const auto& [parts, expr] : s.sets) {
    const std::string& colName = parts.back();
    const ColumnInfo* c = t.Column(colName);
    if (!c) Fail(207, "Invalid column name '" + colName + "'.");
    if (c->identity) Fail(8102, "Cannot update identity column '" + c->name + "'.");
    sets.push_back(SqlIdent(c->name) + " = " + ValueFor(*c, *expr, t));
  }
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
  ExecSql(Db(), sql);
  return Changes();
}

int64_t Session::RunDelete(const DeleteStmt& s) {
  Translator tr(database_, InMaster());
  const TableRef* ref = FindTarget(s.from, s.table.name);
  TableInfo t = RequireTable(ref ? ref->name : s.table);
  std::string sql = "DELETE FROM " + SqlIdent(t.name);
  if (!s.from.empty()) {
    std::string from;
    for (size_t i = 0; i < s.from.size(); ++i) from += (i ? ", " : "") + tr.From(*s.from[i]);
    std::string source = ref ? (ref->alias.empty() ? ref->name.name : ref->alias) : s.table.name;
    sql += " WHERE rowid IN (SELECT " + SqlIdent(source) + ".rowid FROM " + from +
           (s.where ? " WHERE " + tr.Expression(*s.where) : "") + ")";
  } else if (s.where) {
    sql += " WHERE " + tr.Expression(*s.where);
  }
  ExecSql(Db(), sql);
  return Changes();
}

}  // namespace servers::sqlserver
