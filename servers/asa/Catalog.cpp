#include "servers/asa/Catalog.h"

#include <strings.h>

#include <cctype>
#include <map>
#include <optional>

#include "common/Text.h"
#include "servers/asa/Ast.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Translator.h"
#include "servers/core/Physical.h"
#include "servers/core/Sqlite.h"

namespace servers::asa {

namespace {

// Names and texts of the catalogue compare without case, and without trailing blanks.
#define NAME " TEXT COLLATE TSQL_CI"

const char* const kTables =
    "CREATE TABLE SYSTABLE (table_id INTEGER PRIMARY KEY, file_id INTEGER NOT NULL DEFAULT 0, count INTEGER NOT NULL "
    "DEFAULT 0, first_page INTEGER NOT NULL DEFAULT 0, last_page INTEGER NOT NULL DEFAULT 0, primary_root INTEGER "
    "NOT NULL DEFAULT 0, creator INTEGER NOT NULL, first_ext_page INTEGER NOT NULL DEFAULT 0, last_ext_page INTEGER "
    "NOT NULL DEFAULT 0, table_page_count INTEGER NOT NULL DEFAULT 0, ext_page_count INTEGER NOT NULL DEFAULT 0, "
    "table_name" NAME " NOT NULL, table_type" NAME " NOT NULL DEFAULT 'BASE', view_def" NAME ", remarks" NAME
    ", replicate TEXT NOT NULL DEFAULT 'N', existing_obj TEXT, remote_location TEXT, remote_objtype TEXT, srvid "
    "INTEGER, server_type TEXT NOT NULL DEFAULT 'SA', primary_hash_limit INTEGER NOT NULL DEFAULT 0, page_map_start "
    "INTEGER NOT NULL DEFAULT 0, source TEXT);"
    "CREATE UNIQUE INDEX SYSTABLE_name ON SYSTABLE (creator, table_name);"
    "CREATE INDEX SYSTABLE_tname ON SYSTABLE (table_name);"
    "CREATE TABLE SYSCOLUMN (table_id INTEGER NOT NULL, column_id INTEGER NOT NULL, pkey TEXT NOT NULL DEFAULT 'N', "
    "domain_id INTEGER NOT NULL, nulls TEXT NOT NULL DEFAULT 'Y', width INTEGER NOT NULL DEFAULT 0, scale INTEGER NOT "
    "NULL DEFAULT 0, unused INTEGER NOT NULL DEFAULT 0, max_identity INTEGER NOT NULL DEFAULT 0, column_name" NAME
    " NOT NULL, remarks" NAME ", \"default\"" NAME ", \"check\"" NAME ", user_type INTEGER, format_str TEXT, "
    "column_type TEXT NOT NULL DEFAULT 'R', remote_name TEXT, remote_type INTEGER, PRIMARY KEY (table_id, column_id));"
    "CREATE TABLE SYSDOMAIN (domain_id INTEGER PRIMARY KEY, domain_name" NAME " NOT NULL, type_id INTEGER NOT NULL, "
    "\"precision\" INTEGER);"
    "CREATE TABLE SYSUSERTYPE (type_id INTEGER PRIMARY KEY, creator INTEGER NOT NULL, domain_id INTEGER NOT NULL, "
    "nulls TEXT NOT NULL DEFAULT 'U', width INTEGER NOT NULL, scale INTEGER NOT NULL, type_name" NAME " NOT NULL UNIQUE, "
    "\"default\"" NAME ", \"check\"" NAME ", format_str TEXT, super_type_id INTEGER);"
    "CREATE TABLE SYSINDEX (table_id INTEGER NOT NULL, index_id INTEGER NOT NULL, root INTEGER NOT NULL DEFAULT 0, "
    "file_id INTEGER NOT NULL DEFAULT 0, \"unique\" TEXT NOT NULL, creator INTEGER NOT NULL, index_name" NAME
    " NOT NULL, hash_limit INTEGER NOT NULL DEFAULT 0, index_owner TEXT NOT NULL DEFAULT 'SA', index_type TEXT NOT "
    "NULL DEFAULT 'SA', remarks" NAME ", PRIMARY KEY (table_id, index_id));"
    "CREATE INDEX SYSINDEX_name ON SYSINDEX (index_name);"
    "CREATE TABLE SYSIXCOL (table_id INTEGER NOT NULL, index_id INTEGER NOT NULL, sequence INTEGER NOT NULL, "
    "column_id INTEGER NOT NULL, \"order\" TEXT NOT NULL DEFAULT 'A', PRIMARY KEY (table_id, index_id, sequence));"
    "CREATE TABLE SYSFOREIGNKEY (foreign_table_id INTEGER NOT NULL, foreign_key_id INTEGER NOT NULL, "
    "primary_table_id INTEGER NOT NULL, root INTEGER NOT NULL DEFAULT 0, check_on_commit TEXT NOT NULL DEFAULT 'N', "
    "nulls TEXT NOT NULL DEFAULT 'Y', role" NAME " NOT NULL, remarks" NAME ", primary_index_id INTEGER NOT NULL "
    "DEFAULT 0, fk_not_enforced TEXT NOT NULL DEFAULT 'N', hash_limit INTEGER NOT NULL DEFAULT 0, "
    "PRIMARY KEY (foreign_table_id, foreign_key_id));"
    "CREATE TABLE SYSFKCOL (foreign_table_id INTEGER NOT NULL, foreign_key_id INTEGER NOT NULL, foreign_column_id "
    "INTEGER NOT NULL, primary_column_id INTEGER NOT NULL, PRIMARY KEY (foreign_table_id, foreign_key_id, "
    "foreign_column_id));"
    "CREATE TABLE SYSPROCEDURE (proc_id INTEGER PRIMARY KEY, creator INTEGER NOT NULL, proc_name" NAME " NOT NULL, "
    "proc_defn" NAME ", remarks" NAME ", replicate TEXT NOT NULL DEFAULT 'N', srvid INTEGER, source TEXT, avg_num_rows "
    "REAL, avg_cost REAL, stats BLOB);"
    "CREATE TABLE SYSTRIGGER (trigger_id INTEGER PRIMARY KEY, table_id INTEGER NOT NULL, event TEXT NOT NULL, "
    "trigger_time TEXT NOT NULL, trigger_order INTEGER, foreign_table_id INTEGER, foreign_key_id INTEGER, "
    "referential_action TEXT, trigger_name" NAME ", trigger_defn" NAME " NOT NULL, remarks" NAME ", source TEXT);"
    "CREATE TABLE SYSFILE (file_id INTEGER PRIMARY KEY, file_name" NAME " NOT NULL, dbspace_name" NAME " NOT NULL, "
    "store_type TEXT NOT NULL DEFAULT 'SA');"
    "CREATE TABLE SYSUSERPERM (user_id INTEGER PRIMARY KEY, user_name" NAME " NOT NULL UNIQUE, password TEXT, "
    "resourceauth TEXT NOT NULL DEFAULT 'N', dbaauth TEXT NOT NULL DEFAULT 'N', scheduleauth TEXT NOT NULL DEFAULT "
    "'N', publishauth TEXT NOT NULL DEFAULT 'N', remotedbaauth TEXT NOT NULL DEFAULT 'N', user_group TEXT NOT NULL "
    "DEFAULT 'N', remarks" NAME ");"
    "CREATE TABLE SYSGROUP (group_id INTEGER NOT NULL, group_member INTEGER NOT NULL, PRIMARY KEY (group_id, "
    "group_member));"
    "CREATE TABLE SYSATTRIBUTE (object_id INTEGER NOT NULL, object_type TEXT NOT NULL, attribute_id INTEGER NOT NULL, "
    "attribute_value INTEGER NOT NULL, PRIMARY KEY (object_id, object_type, attribute_id));"
    "CREATE TABLE SYSCONSTRAINT (constraint_id INTEGER PRIMARY KEY, table_id INTEGER NOT NULL, column_id INTEGER, "
    "index_id INTEGER, fkey_id INTEGER, constraint_type TEXT NOT NULL, constraint_name" NAME " NOT NULL);"
    "CREATE TABLE SYSOPTION (user_id INTEGER NOT NULL, \"option\"" NAME " NOT NULL, setting" NAME " NOT NULL, "
    "PRIMARY KEY (user_id, \"option\"));"
    "CREATE TABLE SYSDUMMY (dummy_col INTEGER NOT NULL);"
    "CREATE TABLE SYSCHECK (check_id INTEGER PRIMARY KEY, check_defn" NAME " NOT NULL);"
    "CREATE TABLE DUMMY (dummy_col INTEGER NOT NULL);INSERT INTO DUMMY VALUES (0);";

const char* const kViews =
    "CREATE VIEW SYSCATALOG AS SELECT u.user_name AS creator, t.table_name AS tname, f.dbspace_name AS dbspace, "
    "f.dbspace_name AS dbspacename, CASE t.table_type WHEN 'BASE' THEN 'TABLE' ELSE t.table_type END AS tabletype, "
    "(SELECT count(*) FROM SYSCOLUMN c WHERE c.table_id = t.table_id) AS ncols, CASE WHEN EXISTS (SELECT 1 FROM "
    "SYSCOLUMN c WHERE c.table_id = t.table_id AND c.pkey = 'Y') THEN 'Y' ELSE 'N' END AS primary_key, NULL AS "
    "\"check\", t.remarks AS remarks FROM SYSTABLE t JOIN SYSUSERPERM u ON u.user_id = t.creator LEFT JOIN SYSFILE f "
    "ON f.file_id = t.file_id;"
    "CREATE VIEW SYSCOLUMNS AS SELECT u.user_name AS creator, c.column_name AS cname, t.table_name AS tname, "
    "coalesce(ut.type_name, d.domain_name) AS coltype, c.nulls AS nulls, c.width AS length, c.scale AS syslength, "
    "c.pkey AS in_primary_key, c.column_id AS colno, c.\"default\" AS default_value, c.column_type AS column_kind, "
    "c.remarks AS remarks FROM SYSCOLUMN c JOIN SYSTABLE t ON t.table_id = c.table_id JOIN SYSUSERPERM u ON "
    "u.user_id = t.creator LEFT JOIN SYSDOMAIN d ON d.domain_id = c.domain_id LEFT JOIN SYSUSERTYPE ut ON "
    "ut.type_id = c.user_type;"
    "CREATE VIEW SYSINDEXES AS SELECT iu.user_name AS icreator, i.index_name AS iname, f.dbspace_name AS fname, "
    "u.user_name AS creator, t.table_name AS tname, CASE i.\"unique\" WHEN 'Y' THEN 'Unique' WHEN 'U' THEN "
    "'Unique constraint' ELSE 'Non-unique' END AS indextype, (SELECT group_concat(name, ',') FROM (SELECT "
    "c.column_name || CASE x.\"order\" WHEN 'D' THEN ' DESC' ELSE ' ASC' END AS name FROM SYSIXCOL x JOIN SYSCOLUMN c "
    "ON c.table_id = x.table_id AND c.column_id = x.column_id WHERE x.table_id = i.table_id AND x.index_id = "
    "i.index_id ORDER BY x.sequence)) AS colnames, 0 AS interval, 0 AS level_num FROM SYSINDEX i JOIN SYSTABLE t ON "
    "t.table_id = i.table_id JOIN SYSUSERPERM u ON u.user_id = t.creator JOIN SYSUSERPERM iu ON iu.user_id = "
    "i.creator LEFT JOIN SYSFILE f ON f.file_id = i.file_id;"
    "CREATE VIEW SYSTRIGGERS AS SELECT u.user_name AS owner, g.trigger_name AS trigname, t.table_name AS tname, "
    "CASE g.event WHEN 'I' THEN 'INSERT' WHEN 'U' THEN 'UPDATE' WHEN 'D' THEN 'DELETE' ELSE g.event END AS event, "
    "CASE g.trigger_time WHEN 'B' THEN 'BEFORE' ELSE 'AFTER' END AS trigtime, g.trigger_defn AS trigdefn FROM "
    "SYSTRIGGER g JOIN SYSTABLE t ON t.table_id = g.table_id JOIN SYSUSERPERM u ON u.user_id = t.creator "
    "WHERE g.trigger_name IS NOT NULL;"
    "CREATE VIEW SYSUSERPERMS AS SELECT user_id, user_name, resourceauth, dbaauth, scheduleauth, user_group, "
    "publishauth, remotedbaauth, remarks FROM SYSUSERPERM;";

// The SYS tables and views, in the order of their ids in SYSTABLE.
const char* const kSysTables[] = {"SYSTABLE", "SYSCOLUMN", "SYSDOMAIN", "SYSUSERTYPE", "SYSINDEX", "SYSIXCOL",
                                  "SYSFOREIGNKEY", "SYSFKCOL", "SYSPROCEDURE", "SYSTRIGGER", "SYSFILE",
                                  "SYSUSERPERM", "SYSGROUP", "SYSATTRIBUTE", "SYSCONSTRAINT", "SYSOPTION",
                                  "SYSDUMMY", "SYSCHECK", "DUMMY"};
const char* const kSysViews[] = {"SYSCATALOG", "SYSCOLUMNS", "SYSINDEXES", "SYSTRIGGERS", "SYSUSERPERMS"};

struct Domain {
  int id;
  const char* name;
  int odbcType;
  int precision;  // 0: none
  int width;      // storage width of the unsized types
  const char* declType;
};
const Domain kDomains[] = {
    {1, "smallint", 5, 5, 2, "smallint"},        {2, "integer", 4, 10, 4, "int"},
    {3, "numeric", 2, 0, 0, "numeric"},           {4, "float", 6, 15, 4, "float"},
    {5, "double", 8, 15, 8, "float"},             {6, "date", 9, 0, 4, "datetime"},
    {7, "char", 1, 0, 0, "varchar"},              {9, "varchar", 12, 0, 0, "varchar"},
    {10, "long varchar", -1, 0, 32767, "text"},   {11, "binary", -2, 0, 0, "varbinary"},
    {12, "long binary", -4, 0, 32767, "image"},   {13, "timestamp", 11, 0, 8, "datetime"},
    {14, "time", 10, 0, 8, "datetime"},           {19, "tinyint", -6, 3, 1, "tinyint"},
    {20, "bigint", -5, 20, 8, "bigint"},          {21, "unsigned int", 4, 10, 4, "bigint"},
    {22, "unsigned smallint", 5, 5, 2, "int"},    {23, "unsigned bigint", -5, 20, 8, "bigint"},
    {24, "bit", -7, 1, 1, "bit"},                 {27, "decimal", 3, 0, 0, "decimal"},
    {28, "varbinary", -3, 0, 0, "varbinary"}};

struct UserType {
  int id;
  const char* name;
  int domain;
  int width;
  int scale;
};
const UserType kUserTypes[] = {{101, "money", 3, 19, 4},         {102, "smallmoney", 3, 10, 4},
                               {103, "datetime", 13, 8, 0},      {104, "smalldatetime", 13, 8, 0},
                               {105, "text", 10, 32767, 0},      {106, "image", 12, 32767, 0},
                               {107, "oldbit", 19, 1, 0},        {108, "sysname", 9, 30, 0},
                               {109, "uniqueidentifier", 11, 16, 0}, {110, "uniqueidentifierstr", 7, 36, 0},
                               {111, "xml", 10, 32767, 0}};

const Domain* DomainById(int id) {
  for (const auto& d : kDomains)
    if (d.id == id) return &d;
  return nullptr;
}

// Lower case, blanks folded: "LONG  VARCHAR" -> "long varchar".
std::string TypeKey(const std::string& name) {
  std::string out;
  for (char c : text::Lower(name)) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The type a SYS table's column shows in SYSCOLUMN: its domain and width, drawn from the SQLite
// column that holds it.
struct SysColumnType {
  int domain;
  int width;
};
SysColumnType SysType(const std::string& column, const std::string& declType) {
  static const char* const kLong[] = {"view_def", "remarks", "default", "check", "source", "proc_defn",
                                      "trigger_defn", "remote_location", "check_defn", "file_name", "setting"};
  static const char* const kFlags[] = {"pkey", "nulls", "replicate", "existing_obj", "remote_objtype", "unique",
                                       "order", "check_on_commit", "fk_not_enforced", "resourceauth", "dbaauth",
                                       "scheduleauth", "publishauth", "remotedbaauth", "user_group", "column_type",
                                       "event", "trigger_time", "referential_action", "constraint_type",
                                       "object_type", "in_primary_key", "column_kind", "primary_key"};
  std::string type = text::Upper(declType);
  if (type.rfind("INTEGER", 0) == 0) return {2, 4};
  if (type.rfind("REAL", 0) == 0) return {5, 8};
  if (type.rfind("BLOB", 0) == 0) return {12, 32767};
  if (column == "password") return {11, 36};
  for (const char* name : kLong)
    if (strcasecmp(name, column.c_str()) == 0) return {10, 32767};
  for (const char* name : kFlags)
    if (strcasecmp(name, column.c_str()) == 0) return {7, 1};
  return {7, 128};
}

}  // namespace

void DescribeSysTables(sqlite3* db) {
  std::vector<std::pair<int64_t, std::string>> tables;
  {
    Stmt q(db, "SELECT table_id, table_name FROM SYSTABLE t WHERE creator = 0 AND NOT EXISTS (SELECT 1 FROM "
               "SYSCOLUMN c WHERE c.table_id = t.table_id) ORDER BY table_id");
    while (q.Step()) tables.emplace_back(q.Int(0), q.Text(1));
  }
  Stmt ins(db, "INSERT INTO SYSCOLUMN (table_id, column_id, domain_id, nulls, width, column_name) VALUES "
               "(?, ?, ?, ?, ?, ?)");
  for (const auto& [id, name] : tables) {
    Stmt info(db, "SELECT cid, name, type, \"notnull\" OR pk > 0 FROM pragma_table_info(?)");
    info.Bind(1, name);
    while (info.Step()) {
      SysColumnType type = SysType(info.Text(1), info.Text(2));
      ins.Bind(1, id).Bind(2, info.Int(0) + 1).Bind(3, int64_t{type.domain});
      ins.Bind(4, std::string(info.Int(3) ? "N" : "Y")).Bind(5, int64_t{type.width}).Bind(6, info.Text(1));
      ins.Step();
      ins.Reset();
    }
  }
}

namespace {

// What a database made by an earlier version of the server lacks.
struct CatalogGaps {
  bool checks, dummy, undescribed, clearPasswords;
  bool Any() const { return checks || dummy || undescribed || clearPasswords; }
};

CatalogGaps GapsOf(sqlite3* db) {
  return {QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'SYSCHECK'") == 0,
          QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'DUMMY'") == 0,
          QueryInt(db, "SELECT EXISTS (SELECT 1 FROM SYSTABLE t WHERE creator = 0 AND NOT EXISTS (SELECT 1 FROM "
                       "SYSCOLUMN c WHERE c.table_id = t.table_id))") != 0,
          QueryInt(db, "SELECT EXISTS (SELECT 1 FROM SYSUSERPERM WHERE typeof(password) = 'text')") != 0};
}

}  // namespace

void CompleteCatalog(sqlite3* db) {
  if (!GapsOf(db).Any()) return;
  // A SYS table added since the database was made takes the next id of the SYS tables.
  auto add = [&](const char* name, const std::string& create) {
    ExecSql(db, create + ";INSERT INTO SYSTABLE (table_id, creator, table_name, table_type) SELECT max(table_id) + 1, "
                "0, '" + name + "', 'BASE' FROM SYSTABLE WHERE table_id < 100 AND NOT EXISTS (SELECT 1 FROM "
                "SYSTABLE WHERE creator = 0 AND table_name = '" + name + "')");
  };
  ExecSql(db, "BEGIN IMMEDIATE");
  // Another connection may have completed it meanwhile: what lacks is read again under the lock.
  CatalogGaps gaps{};
  try {
    gaps = GapsOf(db);
    if (gaps.checks)
      add("SYSCHECK", "CREATE TABLE IF NOT EXISTS SYSCHECK (check_id INTEGER PRIMARY KEY, check_defn" NAME " NOT NULL)");
    if (gaps.dummy)
      add("DUMMY", "CREATE TABLE IF NOT EXISTS DUMMY (dummy_col INTEGER NOT NULL);INSERT INTO DUMMY VALUES (0)");
    DescribeSysTables(db);  // those just added too
    if (gaps.clearPasswords) HashClearPasswords(db);
    ExecSql(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  if (gaps.clearPasswords) ExecSql(db, "PRAGMA secure_delete = OFF");
}

void CreateCatalog(sqlite3* db) {
  ExecSql(db, kTables);
  ExecSql(db, kViews);
  Stmt t(db, "INSERT INTO SYSTABLE (table_id, creator, table_name, table_type) VALUES (?, 0, ?, ?)");
  int id = 1;
  for (const char* name : kSysTables) {
    t.Bind(1, int64_t{id++}).Bind(2, std::string(name)).Bind(3, std::string("BASE"));
    t.Step();
    t.Reset();
  }
  for (const char* name : kSysViews) {
    t.Bind(1, int64_t{id++}).Bind(2, std::string(name)).Bind(3, std::string("VIEW"));
    t.Step();
    t.Reset();
  }
  Stmt d(db, "INSERT INTO SYSDOMAIN VALUES (?, ?, ?, ?)");
  for (const auto& dom : kDomains) {
    d.Bind(1, int64_t{dom.id}).Bind(2, std::string(dom.name)).Bind(3, int64_t{dom.odbcType});
    if (dom.precision) d.Bind(4, int64_t{dom.precision});
    else d.BindNull(4);
    d.Step();
    d.Reset();
  }
  Stmt u(db, "INSERT INTO SYSUSERTYPE (type_id, creator, domain_id, width, scale, type_name) VALUES (?, 0, ?, ?, ?, ?)");
  for (const auto& ut : kUserTypes) {
    u.Bind(1, int64_t{ut.id}).Bind(2, int64_t{ut.domain}).Bind(3, int64_t{ut.width}).Bind(4, int64_t{ut.scale});
    u.Bind(5, std::string(ut.name));
    u.Step();
    u.Reset();
  }
  {
    Stmt users(db, "INSERT INTO SYSUSERPERM (user_id, user_name, password, resourceauth, dbaauth, user_group) VALUES "
                   "(0, 'SYS', NULL, 'Y', 'Y', 'Y'), (1, 'DBA', ?, 'Y', 'Y', 'N'), (2, 'PUBLIC', NULL, 'N', 'N', "
                   "'Y'), (3, 'dbo', NULL, 'Y', 'Y', 'Y')");
    BindPassword(users, 1, "SQL");
    users.Step();
  }
  ExecSql(db,
          "INSERT INTO SYSGROUP VALUES (0, 2), (0, 3), (2, 1), (2, 3);"
          "INSERT INTO SYSFILE VALUES (0, 'system.db', 'SYSTEM', 'SA'), (15, '', 'TEMPORARY', 'SA');"
          "INSERT INTO SYSOPTION VALUES (2, 'date_format', 'YYYY-MM-DD');"
          "INSERT INTO SYSDUMMY VALUES (0);"
          // The database's own settings outside the catalogue: its transaction log.
          "CREATE TABLE asa_database (log_name TEXT);INSERT INTO asa_database VALUES (NULL);"
          // The triggers that keep the foreign keys, remade together.
          "CREATE TABLE asa_fk_trigger (name TEXT PRIMARY KEY);");
  DescribeSysTables(db);
}

std::optional<AsaType> ResolveType(sqlite3* db, const TypeSpec& spec) {
  std::string key = TypeKey(spec.name);
  if (key == "int") key = "integer";
  if (key == "character") key = "char";
  if (key == "character varying" || key == "char varying") key = "varchar";
  if (key == "real") key = "float";
  if (key == "double precision") key = "double";
  if (key == "dec") key = "decimal";
  if (key == "unsigned integer") key = "unsigned int";
  AsaType t;
  int width = spec.length, scale = spec.scale;
  Stmt ut(db, "SELECT type_id, domain_id, width, scale FROM SYSUSERTYPE WHERE type_name = ?");
  ut.Bind(1, key);
  int domainId = 0;
  if (ut.Step()) {
    t.userType = static_cast<int>(ut.Int(0));
    domainId = static_cast<int>(ut.Int(1));
    if (width < 0) width = static_cast<int>(ut.Int(2));
    if (scale < 0) scale = static_cast<int>(ut.Int(3));
  } else {
    Stmt d(db, "SELECT domain_id FROM SYSDOMAIN WHERE domain_name = ?");
    d.Bind(1, key);
    if (!d.Step()) return std::nullopt;
    domainId = static_cast<int>(d.Int(0));
  }
  const Domain* dom = DomainById(domainId);
  if (!dom) return std::nullopt;
  t.domain = domainId;
  bool decimal = domainId == 3 || domainId == 27;
  bool sized = domainId == 7 || domainId == 9 || domainId == 11 || domainId == 28;
  if (decimal) {
    t.width = width < 0 ? 30 : width;
    t.scale = scale < 0 ? 6 : scale;
    t.declType = std::string(t.userType == 101 || t.userType == 102 ? "money" : dom->declType) +
                 (t.userType ? "" : "(" + std::to_string(t.width) + "," + std::to_string(t.scale) + ")");
  } else if (sized) {
    t.width = width < 0 ? 1 : width;
    t.declType = std::string(dom->declType) + "(" + std::to_string(t.width) + ")";
  } else {
    t.width = dom->width;
    t.declType = dom->declType;
  }
  if (t.userType == 103 || t.userType == 104) t.declType = "datetime";
  return t;
}

const AsaColumn* AsaTable::Column(const std::string& n) const {
  for (const auto& c : columns)
    if (strcasecmp(c.name.c_str(), n.c_str()) == 0) return &c;
  return nullptr;
}

std::string PhysicalName(int64_t tableId) { return "asa_t" + std::to_string(tableId); }

std::optional<int64_t> FindTable(sqlite3* db, int creator, const std::string& name) {
  Stmt q(db, "SELECT table_id FROM SYSTABLE WHERE creator = ? AND table_name = ?");
  q.Bind(1, int64_t{creator}).Bind(2, name);
  if (q.Step()) return q.Int(0);
  return std::nullopt;
}

int UserId(sqlite3* db, const std::string& name) {
  Stmt q(db, "SELECT user_id FROM SYSUSERPERM WHERE user_name = ?");
  q.Bind(1, name);
  return q.Step() ? static_cast<int>(q.Int(0)) : -1;
}

std::optional<AsaTable> LoadTable(sqlite3* db, int64_t id) {
  Stmt t(db, "SELECT creator, table_name, table_type FROM SYSTABLE WHERE table_id = ?");
  t.Bind(1, id);
  if (!t.Step()) return std::nullopt;
  AsaTable table;
  table.id = id;
  table.creator = static_cast<int>(t.Int(0));
  table.name = t.Text(1);
  table.type = t.Text(2);
  Stmt c(db, "SELECT column_id, column_name, nulls, pkey, \"default\", domain_id, user_type, width, scale FROM "
             "SYSCOLUMN WHERE table_id = ? ORDER BY column_id");
  c.Bind(1, id);
  while (c.Step()) {
    AsaColumn col;
    col.id = static_cast<int>(c.Int(0));
    col.name = c.Text(1);
    col.nullable = c.Text(2) == "Y";
    col.pkey = c.Text(3) == "Y";
    col.defaultText = c.IsNull(4) ? "" : c.Text(4);
    col.autoincrement = strcasecmp(col.defaultText.c_str(), "autoincrement") == 0;
    table.columns.push_back(col);
  }
  // Declared types: from the type tables, as when the column was made.
  for (auto& col : table.columns) {
    Stmt q(db, "SELECT d.domain_name, ut.type_name, c.width, c.scale FROM SYSCOLUMN c JOIN SYSDOMAIN d ON "
               "d.domain_id = c.domain_id LEFT JOIN SYSUSERTYPE ut ON ut.type_id = c.user_type WHERE c.table_id = ? "
               "AND c.column_id = ?");
    q.Bind(1, id).Bind(2, int64_t{col.id});
    if (!q.Step()) continue;
    TypeSpec spec;
    spec.name = q.IsNull(1) ? q.Text(0) : q.Text(1);
    spec.length = static_cast<int>(q.Int(2));
    spec.scale = static_cast<int>(q.Int(3));
    auto type = ResolveType(db, spec);
    col.declType = type ? type->declType : "text";
  }
  return table;
}

namespace {

// Whether the text's first character opens a parenthesis that its last character closes.
bool Enclosed(const std::string& text) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0 && i + 1 < text.size()) return false;
  }
  return depth == 0;
}

}  // namespace

std::string DefaultSql(const std::string& written) {
  if (TypeKey(written) == "(date)") return "date('now', 'localtime')";
  // A default may stand in parentheses, as a constant expression: "(1)", "('x')", "(getdate())".
  std::string text = text::Trim(written);
  while (Enclosed(text)) text = text::Trim(text.substr(1, text.size() - 2));
  std::string t = TypeKey(text);
  if (t.empty() || t == "autoincrement" || t == "null") return {};
  if (t == "current date" || t == "today()") return "date('now', 'localtime')";
  // TIMESTAMP and UTC TIMESTAMP give the time at insert (and at every update, which this store
  // does not keep up).
  if (t == "current timestamp" || t == "now()" || t == "getdate()" || t == "timestamp") return "tsql_getdate()";
  if (t == "current utc timestamp" || t == "utc timestamp") return "tsql_getutcdate()";
  if (t == "current time") return "time('now', 'localtime')";
  if (t == "newid()") return "tsql_newid()";
  if (text.front() == '\'' && text.back() == '\'' && text.size() >= 2) return text;
  bool number = text.find_first_not_of("0123456789.-+eE") == std::string::npos;
  return number ? text : std::string();
}

namespace {

// A column's CHECK condition as SQLite SQL over the table's own columns.
std::string CheckSql(const std::string& condition) {
  auto statements = ParseBatch("SELECT (" + condition + ")");
  const auto& select = static_cast<const SelectStmt&>(*statements.at(0));
  Translator tr(
      "", "", [](const ObjectName& n) -> std::string { Fail(-141, "Table '" + n.name + "' not found"); },
      [](const std::string&) { return std::string(); });
  return tr.Expression(*select.select->items.at(0).expr);
}

}  // namespace

void RebuildTable(sqlite3* db, int64_t tableId, const std::vector<std::string>& sourceColumns, bool exists) {
  auto table = LoadTable(db, tableId);
  if (!table || table->type == "VIEW") return;
  PhysicalTable p;
  p.name = PhysicalName(tableId);
  std::string collate = std::string(" COLLATE ") + kCaseInsensitiveCollation;
  for (const auto& c : table->columns) {
    PhysicalColumn pc;
    pc.name = c.name;
    pc.declType = c.declType;
    pc.notNull = !c.nullable && !c.autoincrement;
    pc.defaultSql = DefaultSql(c.defaultText);
    if (c.declType.rfind("varchar", 0) == 0 || c.declType == "text") pc.collate = collate;
    p.columns.push_back(pc);
  }
  {
    // Column checks, then table checks; a condition that no longer reads over the columns (one
    // naming a dropped column) is kept in the catalogue but checks nothing.
    std::string columns;
    for (const auto& c : table->columns) columns += (columns.empty() ? "NULL AS " : ", NULL AS ") + SqlIdent(c.name);
    auto add = [&](const std::string& name, const std::string& condition) {
      std::string sql = CheckSql(condition);
      sqlite3_stmt* probe = nullptr;
      int rc = sqlite3_prepare_v2(db, ("SELECT (" + sql + ") FROM (SELECT " + columns + ")").c_str(), -1, &probe,
                                  nullptr);
      sqlite3_finalize(probe);
      if (rc == SQLITE_OK) p.checks.push_back({name, sql});
    };
    std::string tid = std::to_string(tableId);
    Stmt ck(db, "SELECT column_id, \"check\" FROM SYSCOLUMN WHERE table_id = ? AND \"check\" IS NOT NULL");
    ck.Bind(1, tableId);
    while (ck.Step()) add("asa_ck_" + tid + "_" + std::to_string(ck.Int(0)), ck.Text(1));
    Stmt tk(db, "SELECT c.constraint_id, k.check_defn FROM SYSCONSTRAINT c JOIN SYSCHECK k ON k.check_id = "
                "c.constraint_id WHERE c.table_id = ? AND c.constraint_type = 'T' ORDER BY c.constraint_id");
    tk.Bind(1, tableId);
    while (tk.Step()) add("asa_tk_" + tid + "_" + std::to_string(tk.Int(0)), tk.Text(1));
  }
  std::vector<std::string> pk;
  for (const auto& c : table->columns)
    if (c.pkey) pk.push_back(SqlIdent(c.name));
  // Unique keys are over plain columns: the table declares them itself.
  if (!pk.empty()) p.indexes.push_back({"asa_pk_" + std::to_string(tableId), pk, true, true});
  Stmt ix(db, "SELECT index_id, \"unique\" FROM SYSINDEX WHERE table_id = ? ORDER BY index_id");
  ix.Bind(1, tableId);
  while (ix.Step()) {
    PhysicalIndex index;
    index.name = "asa_ix_" + std::to_string(tableId) + "_" + std::to_string(ix.Int(0));
    index.unique = index.inTable = ix.Text(1) != "N";
    Stmt k(db, "SELECT c.column_name, x.\"order\" FROM SYSIXCOL x JOIN SYSCOLUMN c ON c.table_id = x.table_id AND "
               "c.column_id = x.column_id WHERE x.table_id = ? AND x.index_id = ? ORDER BY x.sequence");
    k.Bind(1, tableId).Bind(2, ix.Int(0));
    while (k.Step()) index.keys.push_back(SqlIdent(k.Text(0)) + (k.Text(1) == "D" ? " DESC" : ""));
    p.indexes.push_back(index);
  }
  RebuildPhysicalTable(db, p, sourceColumns, exists);
  for (const auto& c : table->columns) {
    if (!c.autoincrement) continue;
    // Numbers the rows written without a value above every value the column has held; a value
    // written is kept and the numbering goes on above it.
    std::string t = SqlIdent(p.name), col = SqlIdent(c.name), where = "table_id = " + std::to_string(tableId) +
                                                                        " AND column_id = " + std::to_string(c.id);
    ExecSql(db, "CREATE TRIGGER " + SqlIdent("asa_ai_" + std::to_string(tableId)) + " AFTER INSERT ON " + t +
                    " BEGIN UPDATE " + t + " SET " + col + " = (SELECT max_identity + 1 FROM SYSCOLUMN WHERE " +
                    where + ") WHERE rowid = NEW.rowid AND NEW." + col + " IS NULL; UPDATE SYSCOLUMN SET "
                    "max_identity = max(max_identity, coalesce((SELECT " + col + " FROM " + t +
                    " WHERE rowid = NEW.rowid), 0)) WHERE " + where + "; END");
    // An insert leaves the column to the trigger above; an update may not empty it.
    if (!c.nullable)
      ExecSql(db, "CREATE TRIGGER " + SqlIdent("asa_an_" + std::to_string(tableId)) + " BEFORE UPDATE OF " + col +
                      " ON " + t + " WHEN NEW." + col + " IS NULL BEGIN SELECT RAISE(ABORT, " +
                      SqlLiteral("195|Column '" + c.name + "' in table '" + table->name + "' cannot be NULL") +
                      "); END");
  }
}

void RefreshForeignKeys(sqlite3* db) {
  // The listed triggers, with their text while they exist (a trigger goes with its table when
  // that is dropped or rebuilt). A trigger whose text is unchanged is kept: renewing every trigger
  // on every definition made a schema of thousands of keys slow to build.
  std::map<std::string, std::optional<std::string>> listed;
  {
    Stmt q(db, "SELECT t.name, m.sql FROM asa_fk_trigger t LEFT JOIN sqlite_master m ON m.type = 'trigger' AND "
               "m.name = t.name");
    while (q.Step()) listed.emplace(q.Text(0), q.IsNull(1) ? std::nullopt : std::optional(q.Text(1)));
  }
  Stmt made(db, "INSERT INTO asa_fk_trigger VALUES (?)");
  auto create = [&](const std::string& name, const std::string& sql) {
    const std::string statement = "CREATE TRIGGER " + SqlIdent(name) + sql;
    auto found = listed.find(name);
    const bool exists = found != listed.end() && found->second.has_value();
    if (!exists || *found->second != statement) {
      if (exists) ExecSql(db, "DROP TRIGGER " + SqlIdent(name));
      ExecSql(db, statement);
    }
    if (found != listed.end()) {
      listed.erase(found);
      return;
    }
    made.Bind(1, name);
    made.Step();
    made.Reset();
  };
  struct Key {
    int64_t child, parent, id;
    std::string role, childName, parentName;
    std::vector<std::pair<std::string, std::string>> cols;  // child column, parent column
  };
  std::vector<Key> keys;
  {
    Stmt q(db, "SELECT f.foreign_table_id, f.primary_table_id, f.foreign_key_id, f.role, ft.table_name, pt.table_name "
               "FROM SYSFOREIGNKEY f JOIN SYSTABLE ft ON ft.table_id = f.foreign_table_id JOIN SYSTABLE pt ON "
               "pt.table_id = f.primary_table_id");
    while (q.Step()) keys.push_back({q.Int(0), q.Int(1), q.Int(2), q.Text(3), q.Text(4), q.Text(5), {}});
  }
  Stmt c(db, "SELECT fc.column_name, pc.column_name FROM SYSFKCOL x JOIN SYSCOLUMN fc ON fc.table_id = "
             "x.foreign_table_id AND fc.column_id = x.foreign_column_id JOIN SYSCOLUMN pc ON pc.table_id = ? AND "
             "pc.column_id = x.primary_column_id WHERE x.foreign_table_id = ? AND x.foreign_key_id = ?");
  Stmt a(db, "SELECT event, referential_action FROM SYSTRIGGER WHERE foreign_table_id = ? AND foreign_key_id = ?");
  for (auto& k : keys) {
    c.Bind(1, k.parent).Bind(2, k.child).Bind(3, k.id);
    while (c.Step()) k.cols.emplace_back(c.Text(0), c.Text(1));
    c.Reset();
    if (k.cols.empty()) continue;
    std::string child = SqlIdent(PhysicalName(k.child)), parent = SqlIdent(PhysicalName(k.parent));
    std::string tag = std::to_string(k.child) + "_" + std::to_string(k.id);
    std::string allSet, match, oldMatch, keyChanged;
    for (const auto& [fc, pc] : k.cols) {
      allSet += (allSet.empty() ? "" : " AND ") + ("NEW." + SqlIdent(fc) + " IS NOT NULL");
      match += (match.empty() ? "" : " AND ") + ("p." + SqlIdent(pc) + " = NEW." + SqlIdent(fc));
      oldMatch += (oldMatch.empty() ? "" : " AND ") + ("c." + SqlIdent(fc) + " = OLD." + SqlIdent(pc));
      keyChanged += (keyChanged.empty() ? "" : " OR ") + ("NEW." + SqlIdent(pc) + " IS NOT OLD." + SqlIdent(pc));
    }
    std::string missing = SqlLiteral("194|No primary key value for foreign key '" + k.role + "' in table '" +
                                     k.childName + "'");
    std::string referenced = SqlLiteral("198|Primary key for row in table '" + k.parentName +
                                        "' is referenced in another table");
    for (const char* event : {"INSERT", "UPDATE"})
      create("asa_fk_" + tag + "_" + event, std::string(" BEFORE ") + event + " ON " + child + " WHEN " + allSet +
                                                " AND NOT EXISTS (SELECT 1 FROM " + parent + " p WHERE " + match +
                                                ") BEGIN SELECT RAISE(ABORT, " + missing + "); END");
    // The referential actions: cascade and set null act on the children; restrict (and set
    // default, not acted on) refuses while children exist.
    char onUpdate = 'R', onDelete = 'R';
    a.Bind(1, k.child).Bind(2, k.id);
    while (a.Step()) (a.Text(0) == "D" ? onDelete : onUpdate) = a.Text(1).empty() ? 'R' : a.Text(1)[0];
    a.Reset();
    std::string childOld, setNull, setNew;
    for (const auto& [fc, pc] : k.cols) {
      childOld += (childOld.empty() ? "" : " AND ") + (SqlIdent(fc) + " = OLD." + SqlIdent(pc));
      setNull += (setNull.empty() ? "" : ", ") + (SqlIdent(fc) + " = NULL");
      setNew += (setNew.empty() ? "" : ", ") + (SqlIdent(fc) + " = NEW." + SqlIdent(pc));
    }
    if (onDelete == 'C' || onDelete == 'N') {
      create("asa_fk_" + tag + "_pd", " AFTER DELETE ON " + parent + " BEGIN " +
                                          (onDelete == 'C' ? "DELETE FROM " + child : "UPDATE " + child + " SET " + setNull) +
                                          " WHERE " + childOld + "; END");
    } else {
      create("asa_fk_" + tag + "_pd", " BEFORE DELETE ON " + parent + " WHEN EXISTS (SELECT 1 FROM " + child +
                                          " c WHERE " + oldMatch + ") BEGIN SELECT RAISE(ABORT, " + referenced + "); END");
    }
    if (onUpdate == 'C' || onUpdate == 'N') {
      create("asa_fk_" + tag + "_pu", " AFTER UPDATE ON " + parent + " WHEN (" + keyChanged + ") BEGIN UPDATE " + child +
                                          " SET " + (onUpdate == 'C' ? setNew : setNull) + " WHERE " + childOld + "; END");
    } else {
      create("asa_fk_" + tag + "_pu", " BEFORE UPDATE ON " + parent + " WHEN (" + keyChanged +
                                          ") AND EXISTS (SELECT 1 FROM " + child + " c WHERE " + oldMatch +
                                          ") BEGIN SELECT RAISE(ABORT, " + referenced + "); END");
    }
  }
  // The triggers of keys that are gone.
  Stmt unlisted(db, "DELETE FROM asa_fk_trigger WHERE name = ?");
  for (const auto& [name, sql] : listed) {
    if (sql) ExecSql(db, "DROP TRIGGER " + SqlIdent(name));
    unlisted.Bind(1, name);
    unlisted.Step();
    unlisted.Reset();
  }
}

}  // namespace servers::asa
