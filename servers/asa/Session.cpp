#include "servers/asa/Session.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "servers/asa/Errors.h"
#include "servers/core/Files.h"
#include "servers/core/Rowsets.h"
#include "servers/core/StatementShape.h"
#include "servers/core/Statements.h"

namespace servers::asa {

namespace fs = std::filesystem;

std::string EngineFolder(const std::string& engine) { return ServerFolderOf(engine); }

namespace {

std::string FirstOf(const ado::ConnectionString& cs, std::initializer_list<const char*> keys) {
  for (const char* k : keys) {
    std::string v = text::Trim(cs.Get(k));
    if (!v.empty()) return v;
  }
  return {};
}

// The statements that commit automatically: data definition, users and db spaces.
bool CommitsAutomatically(Statement::Kind kind) {
  switch (kind) {
    case Statement::kCreateTable:
    case Statement::kAlterTable:
    case Statement::kDrop:
    case Statement::kCreateIndex:
    case Statement::kAlterIndex:
    case Statement::kCreateModule:
    case Statement::kComment:
    case Statement::kCreateDbSpace:
    case Statement::kDropDbSpace:
    case Statement::kGrantConnect:
    case Statement::kGrantAuthority:
    case Statement::kRevokeConnect:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string EngineOf(const ado::ConnectionString& cs) { return FirstOf(cs, {"Eng", "EngineName", "ServerName", "Data Source"}); }

std::string StartedDatabaseFile(const std::string& folder, const std::string& name);

Session::Session(const ado::ConnectionString& cs) {
  engine_ = EngineOf(cs);
  folder_ = EngineFolder(engine_);
  if (!EngineExists(folder_)) Fail(-100, "Database server not found");
  database_ = FirstOf(cs, {"dbn", "DatabaseName"});
  std::string user = FirstOf(cs, {"UID", "User ID", "UserID"});
  std::string password = FirstOf(cs, {"PWD", "Password"});
  if (database_.empty()) return;  // the server itself: its database statements only
  std::string file = StartedDatabaseFile(folder_, database_);
  if (file.empty()) Fail(-83, "Specified database not found");
  try {
    db_ = OpenDatabaseFile(file, false);
    cache_ = std::make_unique<StatementCache>(db_.get());
    RegisterCoreFunctions(db_.get(), *this);
    CompleteCatalog(db_.get());
    ExecSql(db_.get(), "CREATE TEMP TABLE asa_gtt (table_id INTEGER PRIMARY KEY, signature TEXT NOT NULL, "
                       "delete_rows INTEGER NOT NULL)");
  } catch (const ESqliteError& e) {
    // A database another connection holds longer than the wait is locked, not invalid.
    FailIfLocked(e);
    Fail(-84, "Specified database is invalid");
  }
  LogIn(user.empty() ? "DBA" : user, user.empty() ? "SQL" : password);
  watch_.Watch(Db());
}

bool Session::IsCatalogue(const char* table) {
  // The SYS* tables and the server's own asa_* tables but the rows of tables (asa_t<id>, asa_g<id>).
  const bool rows = strncasecmp(table, "asa_", 4) == 0 && (table[4] == 't' || table[4] == 'g') &&
                    std::isdigit(static_cast<unsigned char>(table[5]));
  return strncasecmp(table, "sys", 3) == 0 || (strncasecmp(table, "asa_", 4) == 0 && !rows);
}

Session::~Session() {
  if (!db_) return;
  watch_.Stop();
}

sqlite3* Session::Db() const {
  if (!db_) Fail(-101, "Not connected to a database");
  return db_.get();
}

StatementCache& Session::Cache() {
  Db();
  return *cache_;
}

void Session::LogIn(const std::string& user, const std::string& password) {
  Stmt q(Db(), "SELECT user_id, user_name, password FROM SYSUSERPERM WHERE user_name = ?");
  q.Bind(1, user);
  // Passwords compare with case; SYS and PUBLIC (no password) never connect.
  if (!q.Step() || q.IsNull(2) || !PasswordMatches(password, q.Text(2))) Fail(-103, "Invalid user ID or password");
  uid_ = static_cast<int>(q.Int(0));
  user_ = q.Text(1);
}

std::vector<ado::StatementResult> Session::Execute(const std::string& sql) {
  std::vector<StatementPtr> statements = ParseBatch(sql);
  std::vector<ado::StatementResult> results;
  batch_ = &sql;
  for (const auto& s : statements) RunGuarded(*s, results);
  batch_ = nullptr;
  return results;
}

void Session::BeginTrans() {
  if (inTransaction_) return;
  ExecSql(Db(), "BEGIN IMMEDIATE");
  inTransaction_ = true;
}

void Session::CommitTrans() {
  if (!inTransaction_) return;
  ExecSql(Db(), "COMMIT");
  inTransaction_ = false;
  DeleteCommittedRows();
}

void Session::RollbackTrans() {
  if (!inTransaction_) return;
  sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  inTransaction_ = false;
  syncedSchema_ = -1;
  catalogChanged_ = true;
}

void Session::RunGuarded(const Statement& s, std::vector<ado::StatementResult>& results) {
  switch (s.kind) {
    case Statement::kBegin:
      return BeginTrans();
    case Statement::kCommit:
      return CommitTrans();
    case Statement::kRollback:
      return RollbackTrans();
    case Statement::kIf:
    case Statement::kBlock: {
      const auto& i = static_cast<const IfStmt&>(s);
      bool holds = true;
      if (s.kind == Statement::kIf) {
        try {
          CatalogSeen();
          holds = Condition(*i.condition);
        } catch (const std::exception& e) {
          Rethrow(e, s);
        }
      }
      for (const auto& b : holds ? i.then : i.otherwise) RunGuarded(*b, results);
      return;
    }
    case Statement::kCreateDatabase:
    case Statement::kStartDatabase:
    case Statement::kStopDatabase:
    case Statement::kRestore:
    case Statement::kAlterDatabase:
    case Statement::kBackup:
      try {
        return RunNamed(static_cast<const NamedStmt&>(s));
      } catch (const std::exception& e) {
        Rethrow(e, s);
      }
    case Statement::kCall:
      try {
        return Call(static_cast<const NamedStmt&>(s), results);
      } catch (const std::exception& e) {
        Rethrow(e, s);
      }
    default:
      break;
  }
  size_t resultCount = results.size();
  const auto undo = [&] {
    results.resize(resultCount);
    syncedSchema_ = -1;
    tables_.clear();  // a statement undone to its savepoint may have read the catalogue midway
  };
  if (s.kind == Statement::kSelect) {
    // A query reads one snapshot, taken when the catalogue is checked.
    try {
      RunAtomically(Db(), false, depth_, [&] {
        CatalogSeen();
        Run(s, results);
      }, undo);
      return;
    } catch (const std::exception& e) {
      Rethrow(e, s);
    }
  }
  // Data definition commits the open transaction before it runs and its own work after; the
  // statements that follow it start a new transaction.
  const bool commits = CommitsAutomatically(s.kind);
  const bool reopen = commits && inTransaction_;
  if (reopen) {
    try {
      CommitTrans();
    } catch (const std::exception& e) {
      Rethrow(e, s);
    }
  }
  struct Reopen {
    Session* session;
    ~Reopen() {
      try {
        if (session) session->BeginTrans();
      } catch (const std::exception&) {
        // the database stays locked by another connection: the next statements commit alone
      }
    }
  } again{reopen ? this : nullptr};
  bool own = !inTransaction_ && depth_ == 0;
  bool definition = s.kind == Statement::kCreateTable || s.kind == Statement::kAlterTable || s.kind == Statement::kDrop;
  if (own) {
    try {
      ExecSql(Db(), "BEGIN IMMEDIATE");
    } catch (const ESqliteError& e) {
      Rethrow(e, s);
    }
  }
  try {
    RunAtomically(Db(), own, depth_,
                  [&] {
                    // Only now, the statement's lock held, is another connection's last commit known.
                    CatalogSeen();
                    // Whatever else a statement does may change the catalogue this connection has read.
                    catalogChanged_ = true;
                    Run(s, results);
                    if (definition) {
                      RefreshForeignKeys(Db());
                      SyncTemporaryTables();
                    }
                  },
                  undo);
  } catch (const std::exception& e) {
    Rethrow(e, s);
  }
  if (own) DeleteCommittedRows();
}

void Session::Run(const Statement& s, std::vector<ado::StatementResult>& results) {
  ado::StatementResult r;
  switch (s.kind) {
    case Statement::kSelect: {
      r.HasRows = true;
      r.Rows = Cache().Query(Tr().Query(*static_cast<const SelectStmt&>(s).select));
      results.push_back(std::move(r));
      return;
    }
    case Statement::kInsert:
      r.RowsAffected = RunInsert(static_cast<const InsertStmt&>(s));
      break;
    case Statement::kUpdate:
      r.RowsAffected = RunUpdate(static_cast<const UpdateStmt&>(s));
      break;
    case Statement::kDelete:
      r.RowsAffected = RunDelete(static_cast<const DeleteStmt&>(s));
      break;
    case Statement::kCreateTable:
      return CreateTable(static_cast<const CreateTableStmt&>(s));
    case Statement::kAlterTable:
      return AlterTable(static_cast<const AlterTableStmt&>(s));
    case Statement::kCreateIndex:
      return CreateIndex(static_cast<const CreateIndexStmt&>(s));
    case Statement::kAlterIndex: {
      const auto& a = static_cast<const AlterIndexStmt&>(s);
      AsaTable t = RequireTable(a.table);
      ExecSql(Db(), "DELETE FROM SYSATTRIBUTE WHERE object_id = " + std::to_string(t.id) + " AND object_type = 'T'");
      if (a.clustered) Cluster(t, 0);
      return;
    }
    case Statement::kDrop:
      return Drop(static_cast<const DropStmt&>(s));
    case Statement::kComment:
      return Comment(static_cast<const CommentStmt&>(s));
    case Statement::kCreateModule:
      return CreateModule(static_cast<const CreateModuleStmt&>(s));
    case Statement::kSetOption:
      return SetOption(static_cast<const SetOptionStmt&>(s));
    default:
      return RunNamed(static_cast<const NamedStmt&>(s));
  }
  results.push_back(std::move(r));
}

bool Session::Condition(const Expr& e) {
  // Conditions that differ only in the values they compare with share one kept statement.
  return QueryIntShared(Db(), "SELECT CASE WHEN " + Tr().Expression(e) + " THEN 1 ELSE 0 END") != 0;
}

std::string Session::Property(const std::string& name) {
  if (name != "date_format") return {};
  Stmt q(Db(), "SELECT setting FROM SYSOPTION WHERE \"option\" = 'date_format' AND user_id IN (?, 2) "
               "ORDER BY user_id = 2");
  q.Bind(1, int64_t{uid_});
  return q.Step() ? q.Text(0) : std::string("YYYY-MM-DD");
}

Translator Session::Tr() {
  return Translator(database_, user_, [this](const ObjectName& n) { return TableSql(n); },
                    [this](const std::string& p) { return Property(p); });
}

int Session::CachedUserId(const std::string& name) {
  Stmt& q = Cache().Lookup("SELECT user_id FROM SYSUSERPERM WHERE user_name = ?");
  q.Bind(1, name);
  int id = q.Step() ? static_cast<int>(q.Int(0)) : -1;
  q.Reset();  // a statement left on a row would keep the database read-locked
  return id;
}

std::optional<int64_t> Session::CachedFindTable(int creator, const std::string& name) {
  Stmt& q = Cache().Lookup("SELECT table_id FROM SYSTABLE WHERE creator = ? AND table_name = ?");
  q.Bind(1, int64_t{creator}).Bind(2, name);
  std::optional<int64_t> id;
  if (q.Step()) id = q.Int(0);
  q.Reset();
  return id;
}

int Session::OwnerFor(const ObjectName& name) {
  if (name.owner.empty()) return uid_;
  int id = CachedUserId(name.owner);
  if (id < 0) Fail(-140, "User ID '" + name.owner + "' does not exist");
  return id;
}

void Session::CatalogSeen() {
  watch_.CheckOtherConnections();
  if (!catalogChanged_) return;
  tableSql_.clear();
  SyncTemporaryTables();
  catalogChanged_ = false;
}

int64_t Session::ResolveTable(const ObjectName& n) {
  std::optional<int64_t> id;
  if (!n.owner.empty()) {
    int owner = CachedUserId(n.owner);
    if (owner >= 0) id = CachedFindTable(owner, n.name);
  } else {
    id = CachedFindTable(uid_, n.name);
    if (!id) id = CachedFindTable(kSysUser, n.name);
    if (!id) {
      Stmt& q = Cache().Lookup("SELECT t.table_id FROM SYSTABLE t JOIN SYSGROUP g ON g.group_id = t.creator WHERE "
                               "g.group_member = ? AND t.table_name = ? ORDER BY t.creator LIMIT 1");
      q.Bind(1, int64_t{uid_}).Bind(2, n.name);
      if (q.Step()) id = q.Int(0);
      q.Reset();
    }
  }
  if (!id) Fail(-141, "Table '" + n.name + "' not found");
  return *id;
}

std::string Session::TableSql(const ObjectName& n) {
  std::string key = text::Lower(n.owner) + "." + text::Lower(n.name) + (sharedNames_ ? "/shared" : "");
  auto known = tableSql_.find(key);
  if (known != tableSql_.end()) return known->second;
  std::string sql = LookUpTableSql(n);
  tableSql_.emplace(key, sql);
  return sql;
}

std::string Session::LookUpTableSql(const ObjectName& n) {
  int64_t id = ResolveTable(n);
  Stmt& q = Cache().Lookup("SELECT creator, table_name, table_type FROM SYSTABLE WHERE table_id = ?");
  q.Bind(1, id);
  std::string sql = SqlIdent(PhysicalName(id));
  if (q.Step()) {
    if (q.Int(0) == kSysUser) sql = SqlIdent(text::Upper(q.Text(1)));
    else if (q.Text(2) == "GBL TEMP" && !sharedNames_) sql = SqlIdent(TemporaryName(id));
  }
  q.Reset();
  return sql;
}

AsaTable Session::RequireTable(const ObjectName& name) {
  const int64_t id = ResolveTable(name);
  if (auto found = tables_.find(id); found != tables_.end()) return found->second;
  AsaTable t = *LoadTable(Db(), id);
  tables_.emplace(id, t);
  return t;
}

void Session::FailUnique(const SqliteFailure& f) {
  // An index names itself ("asa_ix_<table>_<index>", "asa_pk_<table>"), or SQLite names the
  // columns ("asa_t12.a, asa_t12.b"): the key with those columns.
  long long table = 0, index = 0;
  std::vector<std::string> cols;
  if (f.kind == SqliteFailure::UniqueIndex) {
    if (std::sscanf(f.name.c_str(), "asa_ix_%lld_%lld", &table, &index) != 2)
      std::sscanf(f.name.c_str(), "asa_pk_%lld", &table);
  } else {
    std::sscanf(f.name.c_str(), "asa_%*[tg]%lld", &table);
    size_t p = 0;
    while (p < f.name.size()) {
      size_t comma = f.name.find(", ", p);
      std::string part = f.name.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
      cols.push_back(text::Lower(part.substr(part.find('.') + 1)));
      if (comma == std::string::npos) break;
      p = comma + 2;
    }
    Stmt q(Db(), "SELECT i.index_id, (SELECT group_concat(lower(c.column_name), ',') FROM (SELECT c.column_name FROM "
                 "SYSIXCOL x JOIN SYSCOLUMN c ON c.table_id = x.table_id AND c.column_id = x.column_id WHERE "
                 "x.table_id = i.table_id AND x.index_id = i.index_id ORDER BY x.sequence) c) FROM SYSINDEX i WHERE "
                 "i.table_id = ? AND i.\"unique\" <> 'N'");
    q.Bind(1, static_cast<int64_t>(table));
    std::string wanted;
    for (const auto& c : cols) wanted += (wanted.empty() ? "" : ",") + c;
    while (q.Step())
      if (q.Text(1) == wanted) index = q.Int(0);
  }
  auto t = LoadTable(Db(), table);
  std::string name = t ? t->name : f.name;
  if (index) {
    Stmt q(Db(), "SELECT index_name FROM SYSINDEX WHERE table_id = ? AND index_id = ?");
    q.Bind(1, static_cast<int64_t>(table)).Bind(2, static_cast<int64_t>(index));
    if (q.Step()) Fail(-196, "Index '" + q.Text(0) + "' for table '" + name + "' would not be unique");
  }
  Fail(-193, "Primary key for table '" + name + "' is not unique");
}

void Session::FailTableCheck(int64_t tableId, int64_t constraintId) {
  auto t = LoadTable(Db(), tableId);
  Stmt q(Db(), "SELECT check_defn FROM SYSCHECK WHERE check_id = ?");
  q.Bind(1, constraintId);
  std::string condition = q.Step() ? q.Text(0) : std::string();
  std::string table = t ? t->name : std::string();
  // The refusal names the first of the table's columns the condition uses.
  if (t)
    for (const auto& c : t->columns)
      if (MentionsName(condition, c.name))
        Fail(-209, "Invalid value for column '" + c.name + "' in table '" + table + "'");
  Fail(-209, "Invalid value for column '' in table '" + table + "'");
}

void Session::FailIfLocked(const ESqliteError& e) const {
  const int code = e.Code() & 0xFF;
  if (code == SQLITE_BUSY || code == SQLITE_LOCKED) Fail(-210, "User '" + user_ + "' has the row in '' locked");
}

void Session::Rethrow(const std::exception& e, const Statement& s) {
  if (auto* ole = dynamic_cast<const ado::EOleException*>(&e)) throw *ole;
  SqliteFailure f = ReadSqliteFailure(e.what());
  auto tableOf = [&](const std::string& physical) {
    long long id = 0;
    std::sscanf(physical.c_str(), "asa_%*[a-z]%lld", &id);
    auto t = LoadTable(Db(), id);
    return t ? t->name : physical;
  };
  switch (f.kind) {
    case SqliteFailure::Coded:
      if (f.number == 194 || f.number == 195 || f.number == 198) Fail(-f.number, f.text);
      if (f.number == 8134) Fail(-628, "Division by zero");
      if (f.number == 8115) Fail(-158, "Value out of range for destination");
      Fail(-157, "Cannot convert to a numeric or date value: " + f.text.substr(0, 80));
    case SqliteFailure::NoTable:
      Fail(-141, "Table '" + f.name + "' not found");
    case SqliteFailure::NoColumn:
      Fail(-143, "Column '" + f.name + "' not found");
    case SqliteFailure::AmbiguousColumn:
      Fail(-144, "Column '" + f.name + "' found in more than one table -- need a correlation name");
    case SqliteFailure::NoFunction:
      Fail(-148, "Unknown function '" + f.name + "'");
    case SqliteFailure::NotNull: {
      size_t dot = f.name.find('.');
      Fail(-195, "Column '" + f.name.substr(dot + 1) + "' in table '" + tableOf(f.name.substr(0, dot)) +
                     "' cannot be NULL");
    }
    case SqliteFailure::UniqueIndex:
    case SqliteFailure::Unique:
      FailUnique(f);
    case SqliteFailure::Check: {
      long long table = 0, column = 0;
      if (std::sscanf(f.name.c_str(), "asa_tk_%lld_%lld", &table, &column) == 2) FailTableCheck(table, column);
      std::sscanf(f.name.c_str(), "asa_ck_%lld_%lld", &table, &column);
      Stmt q(Db(), "SELECT c.column_name, t.table_name FROM SYSCOLUMN c JOIN SYSTABLE t ON t.table_id = c.table_id "
                   "WHERE c.table_id = ? AND c.column_id = ?");
      q.Bind(1, static_cast<int64_t>(table)).Bind(2, static_cast<int64_t>(column));
      if (q.Step()) Fail(-209, "Invalid value for column '" + q.Text(0) + "' in table '" + q.Text(1) + "'");
      Fail(-209, "Invalid value for column '" + f.name + "'");
    }
    default:
      break;
  }
  if (auto* sq = dynamic_cast<const ESqliteError*>(&e)) {
    FailIfLocked(*sq);
    if ((sq->Code() & 0xFF) == SQLITE_FULL) Fail(-304, "Disk full '" + database_ + "' -- transaction rolled back");
  }
  std::string what = e.what();
  if (what.find("misuse of aggregate") != std::string::npos) Fail(-150, "Invalid use of an aggregate function");
  std::string near = batch_ ? batch_->substr(s.begin, std::min<size_t>(s.end - s.begin, 30)) : std::string();
  FailSyntax(near, s.line);
}

}  // namespace servers::asa
