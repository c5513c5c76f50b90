#include "servers/sqlserver/Session.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>

#include "common/Text.h"
#include "servers/core/Rowsets.h"
#include "servers/core/StatementShape.h"
#include "servers/core/Statements.h"
#include "servers/sqlserver/Passwords.h"
#include "servers/sqlserver/Server.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

namespace fs = std::filesystem;

namespace {

using text::Lower;

// Runs a transaction statement; SQLite's refusal becomes the server's error for its cause.
void ExecOrFail(sqlite3* db, const char* sql, const std::string& database) {
  try {
    ExecSql(db, sql);
  } catch (const ESqliteError& e) {
    FailStorage(e.Code(), database);
  }
}

// "Integrated Security=SSPI" (or true, yes): the session logs in as the machine's administrator.
bool IntegratedSecurity(const ado::ConnectionString& cs) {
  std::string value = Lower(text::Trim(cs.Get("Integrated Security")));
  return value == "sspi" || value == "true" || value == "yes";
}


// True for the errors that the server follows with "The statement has been terminated." (3621):
// a duplicate key, a NULL in a NOT NULL column, a value too long, and a broken foreign key or
// CHECK constraint outside ALTER TABLE ... ADD CONSTRAINT.
bool EndsOnlyTheStatement(const ado::EOleException& e) {
  switch (e.NativeError()) {
    case 2627:
    case 2601:
    case 515:
    case 8152:
      return true;
    case 547:
      return std::string_view(e.what()).rfind("ALTER TABLE ", 0) != 0;
    default:
      return false;
  }
}

// A database file as a session works in it. The last session to close leaves the committed changes
// in the file's write-ahead log, as the server does between its checkpoints, instead of writing them
// into the file and flushing it at every disconnect: the next connection, a backup or the log's own
// checkpoint carries them in.
SqliteDbPtr OpenSessionDatabase(const std::string& path) {
  auto db = OpenDatabaseFile(path, false);
  sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  return db;
}

}  // namespace

Session::Session(const ado::ConnectionString& cs) {
  // User sessions are numbered from 51 on; sessions of other processes draw theirs too.
  std::random_device device;
  spid_ = std::uniform_int_distribution<int>(51, 32767)(device);
  serverName_ = cs.Get("Data Source");
  if (serverName_.empty()) serverName_ = cs.Get("Server");
  if (serverName_.empty()) serverName_ = "(local)";
  const char* const noServer = "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.";
  folder_ = ServerFolder(serverName_);
  // A server is made only by its own step: a name never made (a typo) reaches no server.
  if (!ServerExists(folder_)) Fail(17, noServer);
  try {
    db_ = OpenSessionDatabase(DatabaseFile(folder_, "master"));
    UpgradeStorage(Db());
    // A server folder from before passwords were hashed: hash them before anyone logs in.
    HashClearPasswords(Db());
    database_ = "master";
    functions_ = RegisterFunctions(Db(), *this);
    watch_.Watch(Db());
  } catch (const ESqliteError& e) {
    Fail(17, noServer);
  }
  std::string user = cs.Get("User ID");
  if (user.empty()) user = cs.Get("UID");
  std::string defaultDb = "master";
  if (user.empty() && IntegratedSecurity(cs)) {
    login_ = "sa";
  } else {
    std::string password = cs.Get("Password");
    if (password.empty()) password = cs.Get("PWD");
    try {
      LogIn(user, password, defaultDb);
    } catch (const ESqliteError&) {
      Fail(18456, "Login failed for user '" + user + "'.");
    }
  }
  std::string initial = cs.Get("Initial Catalog");
  if (initial.empty()) initial = cs.Get("Database");
  if (initial.empty()) initial = defaultDb;
  if (Lower(initial) != "master") {
    try {
      UseDatabase(initial);
    } catch (const std::exception&) {
      Fail(4060, "Cannot open database requested in login '" + initial + "'. Login fails.");
    }
  }
}

std::string Session::LanguageDateFormat(const std::string& language) {
  Stmt q(Db(), std::string("SELECT dateformat FROM ") + (InMaster() ? "" : "master.") +
                   "syslanguages WHERE name = ?1 OR alias = ?1");
  q.Bind(1, language);
  return q.Step() ? Lower(q.Text(0)) : std::string();
}

std::string Session::LanguageName(const std::string& language) {
  Stmt q(Db(), std::string("SELECT name FROM ") + (InMaster() ? "" : "master.") +
                   "syslanguages WHERE name = ?1 OR alias = ?1");
  q.Bind(1, language);
  return q.Step() ? q.Text(0) : std::string();
}

void Session::SetOption(const SetStmt& s) {
  std::string value = s.value;
  if (value.size() >= 2 && (value[0] == '\'' || value[0] == '[' || value[0] == '"'))
    value = value.substr(1, value.size() - 2);
  if (s.option == "dateformat") {
    if (!value.empty() && value[0] == '@') {
      auto it = variables_.find(Lower(value));
      if (it == variables_.end()) Fail(137, "Must declare the variable '" + value + "'.");
      value = it->second;
      if (value.size() >= 2 && value[0] == '\'') value = value.substr(1, value.size() - 2);
    }
    if (!IsDateOrder(Lower(value))) Fail(2741, "SET DATEFORMAT date order '" + value + "' is invalid.");
    dateFormat_ = Lower(value);
  } else if (s.option == "language") {
    std::string order = LanguageDateFormat(value);
    if (order.empty()) Fail(2738, "A language entry for the language '" + value + "' could not be found in sysLanguages.");
    dateFormat_ = order;
    language_ = LanguageName(value);
  } else {
    // ON or OFF for each option named.
    const bool on = s.value == "ON";
    std::vector<std::string> options = s.more;
    options.push_back(s.option);
    for (const std::string& option : options) {
      if (option == "nocount") noCount_ = on;
      else if (option == "quoted_identifier") quotedIdentifier_ = on;
      else if (option == "ansi_nulls") ansiNulls_ = on;
    }
  }
}

Session::~Session() {
  if (!db_) return;
  if (inTransaction_) sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  watch_.Stop();
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
  auto next = OpenSessionDatabase(path);
  UpgradeStorage(next.get());
  auto nextFunctions = RegisterFunctions(next.get(), *this);
  if (Lower(canonical) != "master")
    ExecSql(next.get(), "ATTACH DATABASE " + SqlLiteral(DatabaseFile(folder_, "master")) + " AS master");
  functions_.reset();
  db_ = std::move(next);
  functions_ = std::move(nextFunctions);
  enforcement_ = Enforcement();
  watch_.Watch(Db());
  database_ = canonical;
  identityInsert_.clear();
  uid_ = UserOfLogin();
}

int Session::UserOfLogin() {
  // sa and the system administrators are dbo in every database; another login is the user
  // that sp_grantDbAccess made for it, or dbo's stand-in when it has none.
  Stmt q(Db(), std::string("SELECT u.uid FROM ") + (InMaster() ? "" : "master.") +
                   "syslogins l JOIN sysusers u ON u.sid = l.sid WHERE l.name = ? AND l.sysadmin = 0 "
                   "AND u.uid > 4 AND u.uid < 16384");
  q.Bind(1, login_);
  return q.Step() ? static_cast<int>(q.Int(0)) : 1;
}

int Session::UserUid(const std::string& user) {
  if (auto found = tables_.users.find(user); found != tables_.users.end()) return found->second;
  Stmt q(Db(), "SELECT uid FROM sysusers WHERE name = ?");
  q.Bind(1, user);
  const int uid = q.Step() ? static_cast<int>(q.Int(0)) : -1;
  tables_.users.emplace(user, uid);
  return uid;
}

int Session::OwnerForCreate(const ObjectName& name) {
  if (name.owner.empty()) return uid_;
  int uid = UserUid(name.owner);
  if (uid < 0)
    Fail(2760, "Specified owner name '" + name.owner + "' either does not exist or you do not have permission to use it.");
  return uid;
}

std::optional<int64_t> Session::Resolve(const ObjectName& name) {
  if (!name.owner.empty()) {
    int uid = UserUid(name.owner);
    if (uid < 0) return std::nullopt;
    return CachedObject(name.name, uid);
  }
  if (uid_ != 1)
    if (auto id = CachedObject(name.name, uid_)) return id;
  return CachedObject(name.name, 1);
}

std::optional<int64_t> Session::CachedObject(const std::string& name, int uid) {
  auto key = std::make_pair(name, uid);
  if (auto found = tables_.objects.find(key); found != tables_.objects.end()) return found->second;
  auto id = FindObject(Db(), name, uid);
  tables_.objects.emplace(std::move(key), id);
  return id;
}

Translator Session::Tr(const std::map<std::string, std::string>* variables) {
  Translator tr(database_, InMaster(), variables ? variables : &variables_);
  tr.SetResolver([this](const ObjectName& n) -> std::string {
    auto id = Resolve(n);
    auto t = id ? CachedTable(*id) : std::nullopt;
    return t ? t->physical : std::string();
  });
  tr.SetColumnTypeResolver([this](const ObjectName& n, const std::string& column) -> std::string {
    auto id = Resolve(n);
    if (!id) return std::string();
    Stmt q(Db(), "SELECT t.name FROM syscolumns c JOIN systypes t ON t.xtype = c.xtype AND t.xusertype = t.xtype "
                 "WHERE c.id = ? AND c.name = ?");
    q.Bind(1, *id);
    q.Bind(2, column);
    if (q.Step()) return Lower(q.Text(0));
    // The system tables' columns are those their tables declare: "nvarchar(128)" is nvarchar.
    if (ObjectType(Db(), *id) != "S") return std::string();
    Stmt declared(Db(), "SELECT type FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE");
    declared.Bind(1, n.name);
    declared.Bind(2, column);
    return declared.Step() ? Lower(declared.Text(0).substr(0, declared.Text(0).find('('))) : std::string();
  });
  tr.SetAnsiNulls(ansiNulls_);
  if (!variables) {
    tr.SetVariableTypeResolver([this](const std::string& name) -> std::string {
      auto found = variableTypes_.find(name);
      return found != variableTypes_.end() ? found->second.name : std::string();
    });
  }
  tr.SetFunctionResolver([this](const ObjectName& n, const std::vector<std::string>& args) {
    return InlineFunctionQuery(n, args);
  });
  return tr;
}

void Session::BeginTrans() {
  if (inTransaction_) return;
  ExecOrFail(Db(), "BEGIN IMMEDIATE", database_);
  inTransaction_ = true;
}

void Session::CommitTrans() {
  if (!inTransaction_)
    Fail(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  ExecOrFail(Db(), "COMMIT", database_);
  inTransaction_ = false;
  tranName_.clear();
  savepoints_.clear();
}

void Session::RollbackTrans() {
  if (!inTransaction_)
    Fail(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  sqlite3_exec(Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  inTransaction_ = false;
  identityInsert_.clear();
  enforcement_.Forget();
  tranName_.clear();
  savepoints_.clear();
}

void Session::ForgetCatalogue() {
  tables_.clear();
  if (functions_) ForgetLookups(*functions_);
}

std::optional<TableInfo> Session::CachedTable(int64_t id) {
  if (auto found = tables_.byId.find(id); found != tables_.byId.end()) return found->second;
  auto t = LoadTable(Db(), id);
  if (t) tables_.byId.emplace(id, *t);
  return t;
}

std::vector<ado::StatementResult> Session::Execute(const std::string& sql) {
  std::vector<StatementPtr> statements;
  try {
    statements = ParseBatch(sql, quotedIdentifier_);
  } catch (ado::EOleException& e) {
    // Syntax errors name their line in the text: "Line 3: Incorrect syntax near ...".
    int line = 0;
    if (std::sscanf(e.what(), "Line %d:", &line) == 1) e.SetLine(line);
    throw;
  } catch (const std::exception& e) {
    FailUnmapped(e, 1, std::string(), database_);
  }
  std::vector<ado::StatementResult> results;
  const std::string* saved = batch_;
  batch_ = &sql;
  variables_.clear();
  variableTypes_.clear();
  terminated_.reset();
  try {
    for (const auto& s : statements) RunContinuing(*s, results);
  } catch (ado::EOleException& e) {
    batch_ = saved;
    if (!e.Line()) e.SetLine(line_);
    // The client reads the batch's first error.
    if (terminated_) {
      ado::EOleException first = std::move(*terminated_);
      terminated_.reset();
      throw first;
    }
    throw;
  } catch (...) {
    batch_ = saved;
    terminated_.reset();
    throw;
  }
  batch_ = saved;
  if (terminated_) {
    ado::EOleException first = std::move(*terminated_);
    terminated_.reset();
    throw first;
  }
  return results;
}

void Session::RunContinuing(const Statement& s, std::vector<ado::StatementResult>& results) {
  try {
    RunGuarded(s, results);
    lastError_ = 0;
  } catch (ado::EOleException& e) {
    lastError_ = e.NativeError();
    if (!EndsOnlyTheStatement(e)) throw;
    if (!e.Line()) e.SetLine(line_);
    e.AddMessage("The statement has been terminated.");
    if (!terminated_) terminated_ = e;
  }
}

void Session::RunGuarded(const Statement& s, std::vector<ado::StatementResult>& results) {
  line_ = s.line;
  switch (s.kind) {
    case Statement::kBeginTran:
    case Statement::kCommit:
    case Statement::kRollback:
    case Statement::kSaveTran:
      ForgetCatalogue();
      RunTransaction(static_cast<const TranStmt&>(s));
      return;
    case Statement::kUse:
      try {
        UseDatabase(static_cast<const UseStmt&>(s).db);
      } catch (const ESqliteError& e) {
        FailStorage(e.Code(), static_cast<const UseStmt&>(s).db);
      }
      return;
    case Statement::kIf: {
      // The branches' statements run one by one as the batch's own do, so that a transaction
      // statement or a savepoint in them acts on the session's transaction.
      const auto& i = static_cast<const IfStmt&>(s);
      bool holds = false;
      try {
        watch_.CheckOtherConnections();
        holds = Condition(*i.condition);
      } catch (const std::exception& e) {
        Rethrow(e, s);
      }
      if (holds) RunGuarded(*i.then, results);
      else if (i.otherwise) RunGuarded(*i.otherwise, results);
      return;
    }
    case Statement::kBlock:
      for (const auto& b : static_cast<const BlockStmt&>(s).body) RunContinuing(*b, results);
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
  // A statement that may write takes the write lock up front, so that it waits for other
  // writers instead of failing when its read snapshot turns stale.
  bool own = !inTransaction_ && depth_ == 0 && s.kind != Statement::kSelect;
  if (own) PrepareEnforcement(s);
  if (own) {
    try {
      ExecSql(Db(), "BEGIN IMMEDIATE");
    } catch (const ESqliteError& e) {
      FailStorage(e.Code(), database_);
    }
  }
  auto savedIdentity = identityInsert_;
  size_t resultCount = results.size();
  try {
    RunAtomically(Db(), own, depth_,
                  [&] {
                    // Only now, the statement's snapshot held, is another connection's last commit
                    // known.
                    watch_.CheckOtherConnections();
                    Run(s, results);
                  },
                  [&] {
                    ForgetCatalogue();  // a statement undone to its savepoint may have read the catalogue midway
                    enforcement_.Forget();
                    identityInsert_ = savedIdentity;
                    results.resize(resultCount);
                  });
  } catch (const std::exception& e) {
    Rethrow(e, s);
  }
  DropRowCounts(results, resultCount);
}

void Session::Rethrow(const std::exception& e, const Statement& s) {
  if (auto* ole = dynamic_cast<const ado::EOleException*>(&e)) throw *ole;
  SqliteFailure f = ReadSqliteFailure(e.what());
  std::string verb = s.kind == Statement::kUpdate ? "UPDATE" : s.kind == Statement::kAlterTable ? "ALTER TABLE" : "INSERT";
  switch (f.kind) {
    case SqliteFailure::Coded:
      Fail(f.number, f.text);
    case SqliteFailure::NoTable:
      Fail(208, "Invalid object name '" + f.name + "'.");
    case SqliteFailure::NoColumn:
      Fail(207, "Invalid column name '" + f.name + "'.");
    case SqliteFailure::AmbiguousColumn:
      Fail(209, "Ambiguous column name '" + f.name + "'.");
    case SqliteFailure::NoFunction:
      Fail(195, "'" + f.name + "' is not a recognized function name.");
    case SqliteFailure::NotNull:
      FailNotNull(f.name, s);
    case SqliteFailure::UniqueIndex:
      FailUniqueIndex(f.name);
      FailUnique(f.text);
    case SqliteFailure::Unique:
      FailUnique(f.name);
    case SqliteFailure::Check:
      Fail(547, verb + " statement conflicted with COLUMN CHECK constraint '" + f.name +
                    "'. The conflict occurred in database '" + database_ + "'.");
    case SqliteFailure::OrderByTerm:
      if (s.kind == Statement::kSelect) {
        // The position written there.
        int term = f.number;
        const auto& order = static_cast<const SelectStmt&>(s).select->orderBy;
        std::string position = term >= 1 && static_cast<size_t>(term) <= order.size() &&
                                       order[static_cast<size_t>(term) - 1].expr->kind == Expr::Number
                                   ? order[static_cast<size_t>(term) - 1].expr->text
                                   : std::to_string(term);
        Fail(108, "The ORDER BY position number " + position + " is out of range of the number of items in the select list.");
      }
      break;
    case SqliteFailure::Other:
      break;
  }
  FailUnmapped(e, s.line, batch_ ? batch_->substr(s.begin, std::min<size_t>(s.end - s.begin, 30)) : std::string(),
               database_);
}

void Session::FailNotNull(std::string what, const Statement& s) {
  size_t prefix = PhysicalPrefix(what);
  std::string owner = "dbo";
  if (prefix) {
    Stmt u(Db(), "SELECT name FROM sysusers WHERE uid = ?");
    u.Bind(1, int64_t{std::atoi(what.c_str() + 6)});
    if (u.Step()) owner = u.Text(0);
  }
  what = what.substr(prefix);
  size_t dot = what.find('.');
  std::string table = what.substr(0, dot), column = dot == std::string::npos ? what : what.substr(dot + 1);
  Fail(515, "Cannot insert the value NULL into column '" + column + "', table '" + database_ +
                "." + owner + "." + table + "'; column does not allow nulls. " +
                (s.kind == Statement::kInsert ? "INSERT" : "UPDATE") + " fails.");
}

void Session::FailUniqueIndex(const std::string& index) {
  // An index over expressions names itself: "schm_ix_<table id>_<index id>".
  long long tableId = 0, indid = 0;
  if (std::sscanf(index.c_str(), "schm_ix_%lld_%lld", &tableId, &indid) != 2) return;
  Stmt q(Db(), "SELECT i.name, i.status, o.name FROM sysindexes i JOIN sysobjects o ON o.id = i.id WHERE i.id = ? AND i.indid = ?");
  q.Bind(1, static_cast<int64_t>(tableId)).Bind(2, static_cast<int64_t>(indid));
  if (!q.Step()) return;
  std::string table = q.Text(2);
  int64_t status = q.Int(1);
  if (status & 0x800)
    Fail(2627, "Violation of PRIMARY KEY constraint '" + q.Text(0) + "'. Cannot insert duplicate key in object '" + table + "'.");
  if (status & 0x1000)
    Fail(2627, "Violation of UNIQUE KEY constraint '" + q.Text(0) + "'. Cannot insert duplicate key in object '" + table + "'.");
  Fail(2601, "Cannot insert duplicate key row in object '" + table + "' with unique index '" + q.Text(0) + "'.");
}

void Session::FailUnique(std::string what) {
  auto lastPart = [](const std::string& n) {
    size_t dot = n.rfind('.');
    return dot == std::string::npos ? n : n.substr(dot + 1);
  };
  size_t prefix = PhysicalPrefix(what);
  int64_t tableId = FindPhysical(Db(), what.substr(0, what.find('.', prefix))).value_or(0);
  what = what.substr(prefix);
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
  Stmt q(Db(), "SELECT i.name, i.status, i.indid FROM sysindexes i "
               "WHERE i.id = ? AND i.indid BETWEEN 1 AND 254 AND (i.status & 2) = 2");
  q.Bind(1, tableId);
  while (q.Step()) {
    Stmt k(Db(), "SELECT lower(c.name) FROM sysindexkeys k JOIN syscolumns c ON c.id = k.id AND "
                 "c.colid = k.colid WHERE k.id = ? AND k.indid = ? ORDER BY k.keyno");
    k.Bind(1, tableId).Bind(2, q.Int(2));
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

void Session::DropRowCounts(std::vector<ado::StatementResult>& results, size_t first) const {
  if (!noCount_) return;
  auto counts = std::remove_if(results.begin() + static_cast<std::ptrdiff_t>(first), results.end(),
                               [](const ado::StatementResult& r) { return !r.HasRows && r.Message.empty(); });
  results.erase(counts, results.end());
  for (size_t i = first; i < results.size(); ++i) results[i].Counted = false;
}

int64_t Session::Changes() const { return sqlite3_changes(Db()); }

ado::RowSet Session::Query(const std::string& sql) { return QueryRowSetShared(Db(), sql); }

bool Session::Condition(const Expr& e) {
  Translator tr = Tr();
  // Conditions that differ only in the values they compare with share one kept statement.
  return QueryIntShared(Db(), "SELECT CASE WHEN " + tr.Expression(e) + " THEN 1 ELSE 0 END") == 1;
}

std::string Session::EvalText(const Expr& e) {
  // A text as written is its own value (the statement text of EXEC ('...')).
  if (e.kind == Expr::String) return e.text;
  if (e.kind == Expr::Paren && e.args.size() == 1 && e.args[0]->kind == Expr::String) return e.args[0]->text;
  Translator tr = Tr();
  Stmt q(Db(), "SELECT " + tr.Expression(e));
  if (!q.Step()) return {};
  return q.Text(0);
}

void Session::Run(const Statement& s, std::vector<ado::StatementResult>& results) {
  line_ = s.line;
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
      auto inner = ParseBatch(text, quotedIdentifier_);
      const std::string* saved = batch_;
      batch_ = &text;
      // The text runs as a batch of its own: the caller's variables are not in it.
      auto savedVariables = std::move(variables_);
      auto savedTypes = std::move(variableTypes_);
      variables_.clear();
      variableTypes_.clear();
      auto restore = [&] {
        batch_ = saved;
        variables_ = std::move(savedVariables);
        variableTypes_ = std::move(savedTypes);
      };
      try {
        for (const auto& st : inner) Run(*st, results);
      } catch (...) {
        restore();
        throw;
      }
      restore();
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
      // One table per session at a time (a table dropped meanwhile no longer counts).
      for (int64_t id : std::set<int64_t>(identityInsert_)) {
        if (!set.on || id == t.id) continue;
        auto other = LoadTable(Db(), id);
        if (!other) {
          identityInsert_.erase(id);
          continue;
        }
        Stmt owner(Db(), "SELECT name FROM sysusers WHERE uid = ?");
        owner.Bind(1, int64_t{other->uid});
        std::string ownerName = owner.Step() ? owner.Text(0) : "dbo";
        Fail(8107, "IDENTITY_INSERT is already ON for table '" + database_ + "." + ownerName + "." +
                       other->name + "'. Cannot perform SET operation for table '" + t.name + "'.");
      }
      if (set.on) identityInsert_.insert(t.id);
      else identityInsert_.erase(t.id);
      return;
    }
    case Statement::kSetOption:
      SetOption(static_cast<const SetStmt&>(s));
      return;
    case Statement::kPrint: {
      ado::StatementResult r;
      r.Message = EvalText(*static_cast<const SimpleStmt&>(s).expr);
      results.push_back(std::move(r));
      return;
    }
    case Statement::kRaiserror:
    case Statement::kNoOp:
    case Statement::kCheckIdent:
    case Statement::kPermission:
      RunUserStatement(s, results);
      return;
    case Statement::kDeclare:
    case Statement::kSetVariable:
      RunVariables(static_cast<const VariableStmt&>(s));
      return;
    case Statement::kTruncate: {
      TableInfo t = RequireTable(static_cast<const SimpleStmt&>(s).table);
      enforcement_.Prepare(Db(), database_, t.id);
      ExecSql(Db(), "DELETE FROM " + SqlIdent(t.physical));
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
      Fail(154, "a USE database statement is not allowed in a procedure, function or trigger.");
    case Statement::kBeginTran:
    case Statement::kCommit:
    case Statement::kRollback:
    case Statement::kSaveTran:
      Fail(3902, "Transaction statements are not allowed here.");
  }
}

}  // namespace servers::sqlserver
