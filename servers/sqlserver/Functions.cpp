#include "servers/sqlserver/Functions.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Text.h"
#include "servers/sqlserver/Passwords.h"
#include "servers/sqlserver/ScriptFunctions.h"

namespace servers::sqlserver {

// The catalogue lookups of the server functions, with their statements prepared once per
// connection, and their answers kept by lookup and arguments until the catalogue changes: a query
// over every column of every table asks for the same table's identity, or the same owner's name,
// once per row.
struct CatalogLookup {
  sqlite3* db = nullptr;
  IFunctionHost* host = nullptr;
  std::map<std::string, sqlite3_stmt*> statements;
  std::unordered_map<std::string, sqlite3_value*> answers;
  // The identity seeds and increments of every table, by name in lower case (the catalogue's NOCASE
  // collation ignores the case of ASCII letters only, as text::Lower does), read at once when
  // statements ask for many tables' (a query over every column of every table): asking the
  // catalogue table by table would cost a lookup per table.
  struct Identity {
    int64_t uid = 0;
    sqlite3_value* seed = nullptr;
    sqlite3_value* incr = nullptr;
  };
  std::unordered_map<std::string, std::vector<Identity>> identities;
  bool identitiesRead = false;
  int identityLookups = 0;  // since the catalogue last changed
  ~CatalogLookup() {
    Forget();
    for (auto& [sql, st] : statements) sqlite3_finalize(st);
  }
  void Forget() {
    for (auto& [key, value] : answers) sqlite3_value_free(value);  // null for no answer
    answers.clear();
    for (auto& [name, tables] : identities)
      for (Identity& t : tables) {
        sqlite3_value_free(t.seed);
        sqlite3_value_free(t.incr);
      }
    identities.clear();
    identitiesRead = false;
    identityLookups = 0;
  }
  bool ReadIdentities() {
    sqlite3_stmt* st = Prepare("SELECT o.name, o.uid, i.seed, i.incr FROM schm_identity i JOIN sysobjects o ON o.id = i.id "
                               "WHERE o.xtype = 'U'");
    if (!st) return false;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      identities[text::Lower(name ? name : "")].push_back(
          {sqlite3_column_int64(st, 1), sqlite3_value_dup(sqlite3_column_value(st, 2)),
           sqlite3_value_dup(sqlite3_column_value(st, 3))});
    }
    sqlite3_reset(st);
    identitiesRead = rc == SQLITE_DONE;
    if (!identitiesRead) Forget();
    return identitiesRead;
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    auto it = statements.find(sql);
    if (it != statements.end()) {
      sqlite3_reset(it->second);
      sqlite3_clear_bindings(it->second);
      return it->second;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return nullptr;
    statements[sql] = st;
    return st;
  }
};

namespace {

CatalogLookup& Lookup(sqlite3_context* ctx) { return *static_cast<CatalogLookup*>(sqlite3_user_data(ctx)); }
IFunctionHost& Host(sqlite3_context* ctx) { return *Lookup(ctx).host; }

// The key of a lookup's answer: the lookup, the connected user (the owner rules depend on it) and
// each argument's type and value.
std::string AnswerKey(const char* sql, int uid, int argc, sqlite3_value** argv) {
  std::string key(reinterpret_cast<const char*>(&sql), sizeof sql);
  key.append(reinterpret_cast<const char*>(&uid), sizeof uid);
  for (int i = 0; i < argc; ++i) {
    const int type = sqlite3_value_type(argv[i]);
    key += static_cast<char>(type);
    if (type == SQLITE_INTEGER) {
      const sqlite3_int64 v = sqlite3_value_int64(argv[i]);
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (type == SQLITE_FLOAT) {
      const double v = sqlite3_value_double(argv[i]);
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else {
      const auto* bytes = static_cast<const char*>(type == SQLITE_BLOB ? sqlite3_value_blob(argv[i]) : sqlite3_value_text(argv[i]));
      const int n = sqlite3_value_bytes(argv[i]);
      key.append(reinterpret_cast<const char*>(&n), sizeof n);
      if (bytes) key.append(bytes, static_cast<size_t>(n));
    }
  }
  return key;
}

// Runs `sql` with the arguments bound in order and returns its first value (null when none);
// with `keep`, the answer is kept until the catalogue changes.
void LookupResult(sqlite3_context* ctx, const char* sql, int argc, sqlite3_value** argv, bool nameFirst,
                  bool keep = true) {
  constexpr size_t kMaxAnswers = 1 << 16;
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  CatalogLookup& l = Lookup(ctx);
  std::string key;
  if (keep) {
    key = AnswerKey(sql, Host(ctx).CurrentUid(), argc, argv);
    if (auto found = l.answers.find(key); found != l.answers.end())
      return found->second ? sqlite3_result_value(ctx, found->second) : sqlite3_result_null(ctx);
  }
  sqlite3_stmt* st = l.Prepare(sql);
  if (!st) return sqlite3_result_error(ctx, sqlite3_errmsg(l.db), -1);
  for (int i = 0; i < argc; ++i) {
    if (i == 0 && nameFirst) {
      // The object's owner: the one written, else the connected user before dbo.
      auto [owner, n] = SplitOwner(ArgText(argv[0]));
      sqlite3_bind_text(st, 1, n.data(), static_cast<int>(n.size()), SQLITE_TRANSIENT);
      int named = sqlite3_bind_parameter_index(st, ":owner");
      if (named) sqlite3_bind_text(st, named, owner.data(), static_cast<int>(owner.size()), SQLITE_TRANSIENT);
      named = sqlite3_bind_parameter_index(st, ":me");
      if (named) sqlite3_bind_int(st, named, Host(ctx).CurrentUid());
    } else {
      sqlite3_bind_value(st, i + 1, argv[i]);
    }
  }
  const int rc = sqlite3_step(st);
  sqlite3_value* answer = rc == SQLITE_ROW ? sqlite3_value_dup(sqlite3_column_value(st, 0)) : nullptr;
  sqlite3_reset(st);
  keep = keep && (rc == SQLITE_ROW || rc == SQLITE_DONE);
  if (answer) sqlite3_result_value(ctx, answer);
  else sqlite3_result_null(ctx);
  if (!keep) return sqlite3_value_free(answer);
  if (l.answers.size() >= kMaxAnswers) l.Forget();
  l.answers.emplace(std::move(key), answer);  // no answer is kept too (a table without identity)
}

void UserNameFunc(sqlite3_context* c, int n, sqlite3_value** v) { LookupResult(c, "SELECT name FROM sysusers WHERE uid = ?", n, v, false); }
void UserIdFunc(sqlite3_context* c, int n, sqlite3_value** v) { LookupResult(c, "SELECT uid FROM sysusers WHERE name = ?", n, v, false); }
void FileGroupNameFunc(sqlite3_context* c, int n, sqlite3_value** v) { LookupResult(c, "SELECT groupname FROM sysfilegroups WHERE groupid = ?", n, v, false); }
void FileGroupIdFunc(sqlite3_context* c, int n, sqlite3_value** v) { LookupResult(c, "SELECT groupid FROM sysfilegroups WHERE groupname = ?", n, v, false); }
void ObjectNameFunc(sqlite3_context* c, int n, sqlite3_value** v) { LookupResult(c, "SELECT name FROM sysobjects WHERE id = ?", n, v, false); }
// Restricts `o` to the owner written, else orders the connected user's object before dbo's.
#define SCHM_OWNER " AND (CASE WHEN :owner = '' THEN o.uid IN (:me, 1) ELSE o.uid = (SELECT uid FROM sysusers WHERE name = :owner) END)"
#define SCHM_OWNER_ORDER " ORDER BY o.uid = :me DESC"
void ObjectIdFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  LookupResult(c, "SELECT o.id FROM sysobjects o WHERE o.name = ?1" SCHM_OWNER
                  " ORDER BY o.uid = :me DESC, (o.xtype IN ('U','V','P','FN','IF','TF','TR','S')) DESC LIMIT 1", n, v, true);
}
void ColNameFunc(sqlite3_context* c, int n, sqlite3_value** v) { LookupResult(c, "SELECT name FROM syscolumns WHERE id = ? AND colid = ?", n, v, false); }
// A table's identity seed or increment: after a few lookups since the catalogue last changed,
// from every table's read at once; a name with its owner written asks the catalogue.
void IdentityResult(sqlite3_context* c, const char* sql, int n, sqlite3_value** v, bool incr) {
  constexpr int kLookupsBeforeReadingAll = 32;
  CatalogLookup& l = Lookup(c);
  if (!l.identitiesRead && ++l.identityLookups > kLookupsBeforeReadingAll) l.ReadIdentities();
  if (l.identitiesRead && sqlite3_value_type(v[0]) != SQLITE_NULL) {
    auto [owner, name] = SplitOwner(ArgText(v[0]));
    if (owner.empty()) {
      // The connected user's table before dbo's.
      const int64_t me = Host(c).CurrentUid();
      const CatalogLookup::Identity* found = nullptr;
      auto tables = l.identities.find(text::Lower(name));
      if (tables != l.identities.end())
        for (const auto& t : tables->second)
          if (t.uid == me || (t.uid == 1 && !found)) found = &t;
      if (!found) return sqlite3_result_null(c);
      return sqlite3_result_value(c, incr ? found->incr : found->seed);
    }
  }
  LookupResult(c, sql, n, v, true);
}
void IdentSeedFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  IdentityResult(c, "SELECT i.seed FROM schm_identity i JOIN sysobjects o ON o.id = i.id WHERE o.name = ?1 AND o.xtype = 'U'" SCHM_OWNER SCHM_OWNER_ORDER, n, v, false);
}
void IdentIncrFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  IdentityResult(c, "SELECT i.incr FROM schm_identity i JOIN sysobjects o ON o.id = i.id WHERE o.name = ?1 AND o.xtype = 'U'" SCHM_OWNER SCHM_OWNER_ORDER, n, v, true);
}
void IdentCurrentFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  // The current value moves with every insert: read each time.
  LookupResult(c, "SELECT coalesce(i.current, i.seed) FROM schm_identity i JOIN sysobjects o ON o.id = i.id WHERE o.name = ?1 AND o.xtype = 'U'" SCHM_OWNER SCHM_OWNER_ORDER, n, v, true, false);
}
// The index keys of the objects a name means, in the order the owner rules try them. A query
// that names one object calls index_col once for every row it joins: the keys are read once per
// run of the statement and kept with its constant argument.
struct IndexKeys {
  std::string name;
  int uid = 0;
  std::vector<std::map<std::pair<int64_t, int64_t>, std::string>> objects;
};

void IndexColFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  for (int i = 0; i < n; ++i)
    if (sqlite3_value_type(v[i]) == SQLITE_NULL) return sqlite3_result_null(c);
  const std::string name = ArgText(v[0]);
  const int uid = Host(c).CurrentUid();
  auto* keys = static_cast<IndexKeys*>(sqlite3_get_auxdata(c, 0));
  const bool kept = keys && keys->name == name && keys->uid == uid;
  std::unique_ptr<IndexKeys> read;
  if (!kept) {
    read = std::make_unique<IndexKeys>();
    read->name = name;
    read->uid = uid;
    CatalogLookup& l = Lookup(c);
    sqlite3_stmt* objects = l.Prepare("SELECT o.id FROM sysobjects o WHERE o.name = ?1 AND o.xtype IN ('U', 'V', 'S')"
                                      SCHM_OWNER SCHM_OWNER_ORDER);
    sqlite3_stmt* columns = l.Prepare("SELECT k.indid, k.keyno, c.name FROM sysindexkeys k JOIN syscolumns c ON "
                                      "c.id = k.id AND c.colid = k.colid WHERE k.id = ?");
    if (!objects || !columns) return sqlite3_result_error(c, sqlite3_errmsg(l.db), -1);
    auto [owner, object] = SplitOwner(name);
    sqlite3_bind_text(objects, 1, object.data(), static_cast<int>(object.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(objects, sqlite3_bind_parameter_index(objects, ":owner"), owner.data(),
                      static_cast<int>(owner.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(objects, sqlite3_bind_parameter_index(objects, ":me"), uid);
    std::vector<int64_t> ids;
    while (sqlite3_step(objects) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(objects, 0));
    sqlite3_reset(objects);
    for (int64_t id : ids) {
      auto& byKey = read->objects.emplace_back();
      sqlite3_reset(columns);
      sqlite3_bind_int64(columns, 1, id);
      while (sqlite3_step(columns) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(columns, 2));
        byKey.emplace(std::make_pair(sqlite3_column_int64(columns, 0), sqlite3_column_int64(columns, 1)),
                      text ? text : "");
      }
      sqlite3_reset(columns);
    }
    keys = read.get();
  }
  const auto key = std::make_pair(sqlite3_value_int64(v[1]), sqlite3_value_int64(v[2]));
  const std::string* found = nullptr;
  for (const auto& byKey : keys->objects) {
    auto it = byKey.find(key);
    if (it != byKey.end()) {
      found = &it->second;
      break;
    }
  }
  if (found) sqlite3_result_text(c, found->data(), static_cast<int>(found->size()), SQLITE_TRANSIENT);
  else sqlite3_result_null(c);
  // Last: SQLite may drop the data at once when the argument is no constant.
  if (read) sqlite3_set_auxdata(c, 0, read.release(), [](void* p) { delete static_cast<IndexKeys*>(p); });
}
// The defined length in bytes of a table's or view's column.
void ColLengthFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  LookupResult(c, "SELECT c.length FROM sysobjects o JOIN syscolumns c ON c.id = o.id WHERE o.name = ?1 AND "
                  "o.xtype IN ('U', 'V', 'S') AND c.name = ?2" SCHM_OWNER SCHM_OWNER_ORDER, n, v, true);
}
#undef SCHM_OWNER
// ColumnId: the column of an index's key; IsDescending: 1 for a key DESC orders (marked in
// sysindexes.keys, one byte per key).
void IndexKeyPropertyFunc(sqlite3_context* c, int n, sqlite3_value** v) {
  LookupResult(c, "SELECT CASE lower(?4) WHEN 'columnid' THEN k.colid WHEN 'isdescending' THEN "
                  "hex(substr(i.keys, k.keyno, 1)) = '01' END FROM sysindexkeys k JOIN sysindexes i "
                  "ON i.id = k.id AND i.indid = k.indid WHERE k.id = ?1 AND k.indid = ?2 AND k.keyno = ?3", n, v, false);
}
// The properties OBJECTPROPERTY answers, each as the value it reads from the object's row `o` of
// sysobjects: Is... properties answer 1 or 0 for any object; the others NULL for an object they do
// not apply to (a table's for another object, a module's for a table). Kept by lower-case name.
const std::unordered_map<std::string, std::string>& ObjectProperties() {
  static const std::unordered_map<std::string, std::string> properties = [] {
    const std::string table = "CASE WHEN rtrim(o.xtype) = 'U' THEN ";
    const std::string module = "CASE WHEN rtrim(o.xtype) IN ('V', 'P', 'FN', 'IF', 'TF', 'TR') THEN ";
    const std::string child = " EXISTS (SELECT 1 FROM sysobjects k WHERE k.parent_obj = o.id AND rtrim(k.xtype) ";
    const std::pair<const char*, std::string> written[] = {
        {"isprocedure", "rtrim(o.xtype) IN ('P', 'X', 'RF')"},
        {"isextendedproc", "rtrim(o.xtype) = 'X'"},
        {"isusertable", "rtrim(o.xtype) = 'U'"},
        {"issystemtable", "rtrim(o.xtype) = 'S'"},
        {"istable", "rtrim(o.xtype) IN ('U', 'S')"},
        {"isview", "rtrim(o.xtype) = 'V'"},
        {"istrigger", "rtrim(o.xtype) = 'TR'"},
        {"isscalarfunction", "rtrim(o.xtype) = 'FN'"},
        {"istablefunction", "rtrim(o.xtype) IN ('TF', 'IF')"},
        {"isinlinefunction", "rtrim(o.xtype) = 'IF'"},
        {"isconstraint", "rtrim(o.xtype) IN ('C', 'D', 'F', 'PK', 'UQ')"},
        {"isprimarykey", "rtrim(o.xtype) = 'PK'"},
        {"isforeignkey", "rtrim(o.xtype) = 'F'"},
        {"isdefaultcnst", "rtrim(o.xtype) = 'D' AND o.parent_obj <> 0"},
        {"isdefault", "rtrim(o.xtype) = 'D' AND o.parent_obj = 0"},
        {"isrule", "rtrim(o.xtype) = 'R'"},
        {"ischeckcnst", "rtrim(o.xtype) = 'C'"},
        {"isuniquecnst", "rtrim(o.xtype) = 'UQ'"},
        {"isexecuted", "rtrim(o.xtype) IN ('P', 'X', 'RF', 'FN', 'IF', 'TF', 'TR', 'V')"},
        {"ismsshipped", "rtrim(o.xtype) = 'S'"},
        {"isencrypted", "CASE WHEN rtrim(o.xtype) IN ('V', 'P', 'FN', 'IF', 'TF', 'TR') THEN (o.status & 4) <> 0 END"},
        {"ownerid", "o.uid"},
        // A foreign key or CHECK constraint that ALTER TABLE ... NOCHECK disabled.
        {"cnstisdisabled", "CASE WHEN rtrim(o.xtype) IN ('C', 'F') THEN (o.status & 2048) <> 0 END"},
        {"tablehasprimarykey", table + child + "= 'PK') END"},
        {"tablehasforeignkey", table + child + "= 'F') END"},
        {"tablehascheckcnst", table + child + "= 'C') END"},
        {"tablehasdefaultcnst", table + child + "= 'D') END"},
        {"tablehasuniquecnst", table + child + "= 'UQ') END"},
        {"tablehasforeignref", table + "EXISTS (SELECT 1 FROM sysreferences r WHERE r.rkeyid = o.id) END"},
        {"tablehasidentity", table + "EXISTS (SELECT 1 FROM schm_identity i WHERE i.id = o.id) END"},
        // The settings a module was created under; only "off" is noted.
        {"execisquotedidenton", module + "NOT EXISTS (SELECT 1 FROM schm_quoted_off q WHERE q.id = o.id) END"},
        {"execisansinullson", module + "NOT EXISTS (SELECT 1 FROM schm_ansi_nulls_off q WHERE q.id = o.id) END"},
    };
    std::unordered_map<std::string, std::string> out;
    for (const auto& [name, value] : written)
      out.emplace(name, "SELECT " + value + " FROM sysobjects o WHERE o.id = ?1");
    return out;
  }();
  return properties;
}

// OBJECTPROPERTY(id, property): NULL for a property it does not know or an id of no object.
void ObjectPropertyFunc(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[1]) == SQLITE_NULL) return sqlite3_result_null(c);
  const auto& properties = ObjectProperties();
  auto found = properties.find(text::Lower(ArgText(v[1])));
  if (found == properties.end()) return sqlite3_result_null(c);
  LookupResult(c, found->second.c_str(), 1, v, false, false);
}
#undef SCHM_OWNER_ORDER

void ServerNameFunc(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, Host(ctx).ServerName()); }
void LoginFunc(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, Host(ctx).LoginName()); }
void TranCountFunc(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, Host(ctx).TranCount()); }
void CurrentUidFunc(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, Host(ctx).CurrentUid()); }
void LanguageFunc(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, Host(ctx).Language()); }
void ErrorFunc(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, Host(ctx).LastError()); }
void SpidFunc(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, Host(ctx).Spid()); }
void IdentityFunc(sqlite3_context* ctx, int, sqlite3_value**) {
  int64_t v = 0;
  if (Host(ctx).LastIdentity(v)) sqlite3_result_int64(ctx, v);
  else sqlite3_result_null(ctx);
}

// A timestamp value: the counter as 8 bytes, most significant first.
void RowVersionFunc(sqlite3_context* ctx, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  auto n = static_cast<uint64_t>(sqlite3_value_int64(v[0]));
  unsigned char bytes[8];
  for (int i = 7; i >= 0; --i, n >>= 8) bytes[i] = static_cast<unsigned char>(n & 0xFF);
  sqlite3_result_blob(ctx, bytes, sizeof bytes, SQLITE_TRANSIENT);
}

}  // namespace

void CatalogLookupDeleter::operator()(CatalogLookup* lookup) const { delete lookup; }

void ForgetLookups(CatalogLookup& lookup) { lookup.Forget(); }

FunctionState RegisterFunctions(sqlite3* db, IFunctionHost& host) {
  RegisterCoreFunctions(db, host);
  RegisterPasswordFunctions(db);
  RegisterScriptFunctions(db);
  FunctionState state(new CatalogLookup);
  CatalogLookup* lookup = state.get();
  lookup->db = db;
  lookup->host = &host;
  sqlite3_create_function_v2(db, "tsql_rowversion", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, RowVersionFunc,
                             nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "tsql_servername", 0, SQLITE_UTF8, lookup, ServerNameFunc, nullptr, nullptr, nullptr);
  struct Lookup {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  static const Lookup lookups[] = {
      {"tsql_login", 0, LoginFunc}, {"tsql_trancount", 0, TranCountFunc}, {"tsql_identity", 0, IdentityFunc},
      {"tsql_current_uid", 0, CurrentUidFunc}, {"tsql_language", 0, LanguageFunc},
      {"tsql_error", 0, ErrorFunc}, {"tsql_spid", 0, SpidFunc},
      {"tsql_user_name", 1, UserNameFunc}, {"tsql_user_id", 1, UserIdFunc},
      {"tsql_filegroup_name", 1, FileGroupNameFunc}, {"tsql_filegroup_id", 1, FileGroupIdFunc},
      {"tsql_object_name", 1, ObjectNameFunc}, {"tsql_object_id", 1, ObjectIdFunc},
      {"tsql_col_name", 2, ColNameFunc}, {"tsql_ident_seed", 1, IdentSeedFunc},
      {"tsql_ident_incr", 1, IdentIncrFunc}, {"tsql_ident_current", 1, IdentCurrentFunc},
      {"tsql_col_length", 2, ColLengthFunc}, {"tsql_indexkey_property", 4, IndexKeyPropertyFunc},
      {"tsql_index_col", 3, IndexColFunc}, {"tsql_objectproperty", 2, ObjectPropertyFunc}};
  for (const auto& l : lookups)
    sqlite3_create_function_v2(db, l.name, l.args, SQLITE_UTF8, lookup, l.fn, nullptr, nullptr, nullptr);
  return state;
}

}  // namespace servers::sqlserver
