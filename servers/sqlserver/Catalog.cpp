#include "servers/sqlserver/Catalog.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "common/Text.h"
#include "servers/core/Physical.h"
#include "servers/sqlserver/Ast.h"
#include "servers/sqlserver/Enforcement.h"
#include "servers/sqlserver/Functions.h"
#include "servers/sqlserver/Passwords.h"
#include "servers/core/Sqlite.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"
#include "servers/sqlserver/UserTypes.h"

namespace servers::sqlserver {

const char* const kDefaultCollation = "SQL_Latin1_General_CP1_CI_AS";

namespace {

const char* const kCatalogDdl = R"SQL(
CREATE TABLE sysobjects (name nvarchar(128) COLLATE NOCASE, id INTEGER PRIMARY KEY, xtype char(2), uid INTEGER DEFAULT 1,
  info INTEGER DEFAULT 0, status INTEGER DEFAULT 0, base_schema_ver INTEGER DEFAULT 0, replinfo INTEGER DEFAULT 0,
  parent_obj INTEGER DEFAULT 0, crdate datetime, ftcatid INTEGER DEFAULT 0, schema_ver INTEGER DEFAULT 0,
  stats_schema_ver INTEGER DEFAULT 0, type char(2), userstat INTEGER DEFAULT 0, sysstat INTEGER DEFAULT 0,
  indexdel INTEGER DEFAULT 0, refdate datetime, version INTEGER DEFAULT 0, deltrig INTEGER DEFAULT 0,
  instrig INTEGER DEFAULT 0, updtrig INTEGER DEFAULT 0, seltrig INTEGER DEFAULT 0, category INTEGER DEFAULT 0,
  cache INTEGER DEFAULT 0);
CREATE INDEX sysobjects_name ON sysobjects(name);
CREATE INDEX sysobjects_parent ON sysobjects(parent_obj);
CREATE TABLE syscolumns (name nvarchar(128) COLLATE NOCASE, id INTEGER, xtype INTEGER, typestat INTEGER DEFAULT 0,
  xusertype INTEGER, length INTEGER, xprec INTEGER, xscale INTEGER, colid INTEGER, xoffset INTEGER DEFAULT 0,
  bitpos INTEGER DEFAULT 0, reserved INTEGER DEFAULT 0, colstat INTEGER DEFAULT 0, cdefault INTEGER DEFAULT 0,
  domain INTEGER DEFAULT 0, number INTEGER DEFAULT 0, colorder INTEGER, autoval BLOB, offset INTEGER DEFAULT 0,
  collationid INTEGER, language INTEGER DEFAULT 0, status INTEGER, type INTEGER, usertype INTEGER,
  printfmt varchar(255), prec INTEGER, scale INTEGER, iscomputed INTEGER DEFAULT 0, isoutparam INTEGER DEFAULT 0,
  isnullable INTEGER, collation nvarchar(128) COLLATE NOCASE);
CREATE UNIQUE INDEX syscolumns_id ON syscolumns(id, colid);
CREATE INDEX syscolumns_default ON syscolumns(cdefault);
CREATE TABLE syscomments (id INTEGER, number INTEGER DEFAULT 0, colid INTEGER, status INTEGER DEFAULT 0,
  ctext BLOB, texttype INTEGER DEFAULT 2, language INTEGER DEFAULT 0, encrypted INTEGER DEFAULT 0,
  compressed INTEGER DEFAULT 0, text nvarchar(4000));
CREATE INDEX syscomments_id ON syscomments(id, colid);
CREATE TABLE sysindexes (id INTEGER, status INTEGER DEFAULT 0, first BLOB, indid INTEGER, root BLOB,
  minlen INTEGER DEFAULT 0, keycnt INTEGER DEFAULT 0, groupid INTEGER DEFAULT 1, dpages INTEGER DEFAULT 0,
  reserved INTEGER DEFAULT 0, used INTEGER DEFAULT 0, rowcnt INTEGER DEFAULT 0, rowmodctr INTEGER DEFAULT 0,
  xmaxlen INTEGER DEFAULT 0, maxirow INTEGER DEFAULT 0, OrigFillFactor INTEGER DEFAULT 0,
  StatVersion INTEGER DEFAULT 0, impid INTEGER DEFAULT 0, lockflags INTEGER DEFAULT 0, pgmodctr INTEGER DEFAULT 0,
  keys BLOB, name nvarchar(128) COLLATE NOCASE, statblob BLOB, maxlen INTEGER DEFAULT 8000, rows INTEGER DEFAULT 0);
CREATE UNIQUE INDEX sysindexes_id ON sysindexes(id, indid);
CREATE TABLE sysindexkeys (id INTEGER, indid INTEGER, colid INTEGER, keyno INTEGER);
CREATE INDEX sysindexkeys_id ON sysindexkeys(id, indid, keyno);
CREATE TABLE systypes (name nvarchar(128) COLLATE NOCASE, xtype INTEGER, status INTEGER DEFAULT 0, xusertype INTEGER,
  length INTEGER, xprec INTEGER, xscale INTEGER, tdefault INTEGER DEFAULT 0, domain INTEGER DEFAULT 0,
  uid INTEGER DEFAULT 4, reserved INTEGER DEFAULT 0, collationid INTEGER, usertype INTEGER,
  variable INTEGER, allownulls INTEGER DEFAULT 1, type INTEGER, printfmt varchar(255), prec INTEGER, scale INTEGER,
  collation nvarchar(128));
CREATE TABLE sysusers (uid INTEGER PRIMARY KEY, status INTEGER DEFAULT 0, name nvarchar(128) COLLATE NOCASE, sid BLOB,
  roles BLOB, createdate datetime, updatedate datetime, altuid INTEGER, password BLOB, gid INTEGER DEFAULT 0,
  environ varchar(255), hasdbaccess INTEGER DEFAULT 0, islogin INTEGER DEFAULT 0, isntname INTEGER DEFAULT 0,
  isntgroup INTEGER DEFAULT 0, isntuser INTEGER DEFAULT 0, issqluser INTEGER DEFAULT 0,
  isaliased INTEGER DEFAULT 0, issqlrole INTEGER DEFAULT 0, isapprole INTEGER DEFAULT 0);
CREATE TABLE sysmembers (memberuid INTEGER, groupuid INTEGER);
CREATE TABLE sysfilegroups (groupid INTEGER PRIMARY KEY, allocpolicy INTEGER DEFAULT 0, status INTEGER DEFAULT 0,
  groupname nvarchar(128) COLLATE NOCASE);
CREATE TABLE sysfiles (fileid INTEGER PRIMARY KEY, groupid INTEGER, size INTEGER, maxsize INTEGER, growth INTEGER,
  status INTEGER, perf INTEGER DEFAULT 0, name nvarchar(128) COLLATE NOCASE, filename nvarchar(260));
CREATE TABLE sysproperties (id INTEGER, smallid INTEGER, type INTEGER, name nvarchar(128) COLLATE NOCASE, value nvarchar(4000));
CREATE INDEX sysproperties_id ON sysproperties(id, smallid);
CREATE TABLE sysforeignkeys (constid INTEGER, fkeyid INTEGER, rkeyid INTEGER, fkey INTEGER, rkey INTEGER,
  keyno INTEGER);
CREATE INDEX sysforeignkeys_const ON sysforeignkeys(constid);
CREATE INDEX sysforeignkeys_f ON sysforeignkeys(fkeyid);
CREATE INDEX sysforeignkeys_r ON sysforeignkeys(rkeyid);
CREATE TABLE sysreferences (constid INTEGER PRIMARY KEY, fkeyid INTEGER, rkeyid INTEGER, rkeyindid INTEGER,
  keycnt INTEGER, forkeys BLOB, refkeys BLOB, fkeydbid INTEGER DEFAULT 0, rkeydbid INTEGER DEFAULT 0,
  updatecascade INTEGER DEFAULT 0, deletecascade INTEGER DEFAULT 0);
CREATE TABLE sysconstraints (constid INTEGER, id INTEGER, colid INTEGER, spare1 INTEGER DEFAULT 0,
  status INTEGER, actions INTEGER DEFAULT 0, error INTEGER DEFAULT 0);
CREATE INDEX sysconstraints_id ON sysconstraints(id);
CREATE TABLE sysprotects (id INTEGER, uid INTEGER, action INTEGER, protecttype INTEGER, columns BLOB,
  grantor INTEGER);
CREATE TABLE schm_identity (id INTEGER PRIMARY KEY, colid INTEGER, seed INTEGER, incr INTEGER, current INTEGER);
CREATE INDEX sysreferences_f ON sysreferences(fkeyid);
CREATE INDEX sysreferences_r ON sysreferences(rkeyid);
CREATE TABLE schm_enforcement (version INTEGER);
INSERT INTO schm_enforcement VALUES (0);
CREATE TABLE schm_dbts (value INTEGER);
INSERT INTO schm_dbts VALUES (2000);
CREATE TABLE schm_quoted_off (id INTEGER PRIMARY KEY);
CREATE TABLE schm_ansi_nulls_off (id INTEGER PRIMARY KEY);
)SQL";

const char* const kMasterDdl = R"SQL(
CREATE TABLE syslogins (sid BLOB, status INTEGER DEFAULT 9, createdate datetime, updatedate datetime,
  accdate datetime, totcpu INTEGER DEFAULT 0, totio INTEGER DEFAULT 0, spacelimit INTEGER DEFAULT 0,
  timelimit INTEGER DEFAULT 0, resultlimit INTEGER DEFAULT 0, name nvarchar(128) COLLATE NOCASE, dbname nvarchar(128) COLLATE NOCASE,
  password nvarchar(128), language nvarchar(128), denylogin INTEGER DEFAULT 0, hasaccess INTEGER DEFAULT 1,
  isntname INTEGER DEFAULT 0, isntgroup INTEGER DEFAULT 0, isntuser INTEGER DEFAULT 0, sysadmin INTEGER DEFAULT 0,
  securityadmin INTEGER DEFAULT 0, serveradmin INTEGER DEFAULT 0, setupadmin INTEGER DEFAULT 0,
  processadmin INTEGER DEFAULT 0, diskadmin INTEGER DEFAULT 0, dbcreator INTEGER DEFAULT 0,
  bulkadmin INTEGER DEFAULT 0, loginname nvarchar(128) COLLATE NOCASE);
CREATE TABLE syslanguages (langid INTEGER, dateformat nchar(3), datefirst INTEGER, upgrade INTEGER DEFAULT 0,
  name nvarchar(128) COLLATE NOCASE, alias nvarchar(128) COLLATE NOCASE, months nvarchar(372), shortmonths nvarchar(132), days nvarchar(217), lcid INTEGER,
  msglangid INTEGER);
CREATE TABLE sysdatabases (name nvarchar(128) COLLATE NOCASE, dbid INTEGER PRIMARY KEY, sid BLOB, mode INTEGER DEFAULT 0,
  status INTEGER DEFAULT 16, status2 INTEGER DEFAULT 1090519040, crdate datetime, reserved datetime,
  category INTEGER DEFAULT 0, cmptlevel INTEGER DEFAULT 80, filename nvarchar(260), version INTEGER DEFAULT 539);
INSERT INTO syslanguages (langid, dateformat, datefirst, name, alias, months, shortmonths, days, lcid, msglangid)
  VALUES (0, 'mdy', 7, 'us_english', 'English',
  'January,February,March,April,May,June,July,August,September,October,November,December',
  'Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec',
  'Monday,Tuesday,Wednesday,Thursday,Friday,Saturday,Sunday', 1033, 1033);
INSERT INTO syslanguages (langid, dateformat, datefirst, name, alias, lcid, msglangid)
  VALUES (1, 'dmy', 1, 'Deutsch', 'German', 1031, 1031);
INSERT INTO syslanguages (langid, dateformat, datefirst, name, alias, lcid, msglangid)
  VALUES (6, 'dmy', 1, 'Italiano', 'Italian', 1040, 1040);
INSERT INTO syslanguages (langid, dateformat, datefirst, name, alias, lcid, msglangid)
  VALUES (23, 'dmy', 1, 'British', 'British English', 2057, 1033);
)SQL";

const char* const kSystemTables[] = {
    "sysobjects", "sysindexes", "syscolumns", "systypes", "syscomments", "sysfiles1",
    "syspermissions", "sysusers", "sysproperties", "sysdepends", "sysreferences", "sysfulltextcatalogs",
    "sysindexkeys", "sysforeignkeys", "sysmembers", "sysprotects", "sysfulltextnotify",
    "sysfiles", "sysfilegroups"};

}  // namespace

void CreateCatalog(sqlite3* db, bool isMaster) {
  ExecSql(db, kCatalogDdl);
  std::string now = NowText();
  {
    Stmt ins(db, "INSERT INTO systypes (name, xtype, xusertype, length, xprec, xscale, collationid, "
                 "usertype, variable, type, prec, scale, collation) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
    for (const auto& t : SystemTypes()) {
      ins.Reset();
      ins.Bind(1, std::string(t.name)).Bind(2, int64_t{t.xtype}).Bind(3, int64_t{t.xusertype});
      int length = t.sized ? 8000 : t.xusertype == 256 ? 256 : t.decimal ? 17 : t.length;
      int prec = t.sized ? (t.length == 2 ? 4000 : 8000) : t.decimal ? 38 : t.prec;
      ins.Bind(4, int64_t{length}).Bind(5, int64_t{prec}).Bind(6, int64_t{t.scale});
      if (t.character) ins.Bind(7, int64_t{872468488});
      else ins.BindNull(7);
      ins.Bind(8, int64_t{t.xusertype == 256 ? 18 : t.xtype});
      ins.Bind(9, int64_t{t.sized || t.xusertype == 256 ? 1 : 0});
      ins.Bind(10, int64_t{t.xtype});
      ins.Bind(11, int64_t{prec});
      if (t.decimal || t.xtype == 60 || t.xtype == 122) ins.Bind(12, int64_t{t.scale});
      else ins.BindNull(12);
      if (t.character) ins.Bind(13, std::string(kDefaultCollation));
      else ins.BindNull(13);
      ins.Step();
    }
  }
  std::string users =
      "INSERT INTO sysusers (uid, status, name, sid, createdate, updatedate, gid, hasdbaccess, islogin, "
      "issqluser, issqlrole) VALUES "
      "(0, 0, 'public', NULL, '" + now + "', '" + now + "', 0, 0, 0, 0, 1),"
      "(1, 2, 'dbo', X'01', '" + now + "', '" + now + "', 0, 1, 1, 1, 0),"
      "(2, 0, 'guest', X'00', '" + now + "', '" + now + "', 0, 0, 1, 1, 0),"
      "(3, 0, 'INFORMATION_SCHEMA', NULL, '" + now + "', '" + now + "', 0, 0, 1, 1, 0),"
      "(4, 0, 'system_function_schema', NULL, '" + now + "', '" + now + "', 0, 0, 1, 1, 0),"
      "(16384, 0, 'db_owner', NULL, '" + now + "', '" + now + "', 16384, 0, 0, 0, 1),"
      "(16385, 0, 'db_accessadmin', NULL, '" + now + "', '" + now + "', 16385, 0, 0, 0, 1),"
      "(16386, 0, 'db_securityadmin', NULL, '" + now + "', '" + now + "', 16386, 0, 0, 0, 1),"
      "(16387, 0, 'db_ddladmin', NULL, '" + now + "', '" + now + "', 16387, 0, 0, 0, 1),"
      "(16389, 0, 'db_backupoperator', NULL, '" + now + "', '" + now + "', 16389, 0, 0, 0, 1),"
      "(16390, 0, 'db_datareader', NULL, '" + now + "', '" + now + "', 16390, 0, 0, 0, 1),"
      "(16391, 0, 'db_datawriter', NULL, '" + now + "', '" + now + "', 16391, 0, 0, 0, 1),"
      "(16392, 0, 'db_denydatareader', NULL, '" + now + "', '" + now + "', 16392, 0, 0, 0, 1),"
      "(16393, 0, 'db_denydatawriter', NULL, '" + now + "', '" + now + "', 16393, 0, 0, 0, 1);"
      "INSERT INTO sysmembers VALUES (1, 16384);"
      "INSERT INTO sysfilegroups (groupid, allocpolicy, status, groupname) VALUES (1, 0, 16, 'PRIMARY');";
  ExecSql(db, users);
  Stmt obj(db, "INSERT INTO sysobjects (name, id, xtype, uid, crdate, type, refdate, status) "
               "VALUES (?, ?, 'S', 1, ?, 'S', ?, -1073741823)");
  int64_t id = 1;
  for (const char* t : kSystemTables) {
    obj.Reset();
    obj.Bind(1, std::string(t)).Bind(2, id++).Bind(3, now).Bind(4, now);
    obj.Step();
  }
  if (isMaster) {
    ExecSql(db, kMasterDdl);
    for (const char* t : {"syslogins", "syslanguages", "sysdatabases"}) {
      obj.Reset();
      obj.Bind(1, std::string(t)).Bind(2, id++).Bind(3, now).Bind(4, now);
      obj.Step();
    }
    Stmt login(db, "INSERT INTO syslogins (sid, createdate, updatedate, accdate, name, dbname, password, "
                   "language, sysadmin, loginname) VALUES (X'01', ?, ?, ?, 'sa', 'master', ?, "
                   "'us_english', 1, 'sa')");
    login.Bind(1, now).Bind(2, now).Bind(3, now);
    const std::string hash = PwdEncrypt("");  // sa starts with the empty password
    sqlite3_bind_blob(login.Get(), 4, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
    login.Step();
  }
}

const ColumnInfo* TableInfo::Column(const std::string& n) const {
  for (const auto& c : columns)
    if (strcasecmp(c.name.c_str(), n.c_str()) == 0) return &c;
  return nullptr;
}

const ColumnInfo* TableInfo::Identity() const {
  for (const auto& c : columns)
    if (c.identity) return &c;
  return nullptr;
}

bool IsCatalogueTable(const char* physical) {
  // The tables the server's own definitions make.
  static const std::set<std::string, text::LessText> tables = [] {
    std::set<std::string, text::LessText> out;
    for (const std::string ddl : {kCatalogDdl, kMasterDdl}) {
      const std::string create = "CREATE TABLE ";
      for (size_t at = ddl.find(create); at != std::string::npos; at = ddl.find(create, at + 1)) {
        const size_t name = at + create.size();
        out.insert(ddl.substr(name, ddl.find_first_of(" (", name) - name));
      }
    }
    return out;
  }();
  return tables.count(physical) > 0;
}

std::string PhysicalName(int uid, const std::string& name) {
  if (uid == 1 && strncasecmp(name.c_str(), "schm_", 5) != 0) return name;
  return "schm_u" + std::to_string(uid) + "." + name;
}

size_t PhysicalPrefix(const std::string& physical) {
  if (strncasecmp(physical.c_str(), "schm_u", 6) != 0) return 0;
  size_t digits = physical.find_first_not_of("0123456789", 6);
  if (digits == 6 || digits == std::string::npos || physical[digits] != '.') return 0;
  return digits + 1;
}

std::optional<int64_t> FindPhysical(sqlite3* db, const std::string& physical) {
  size_t prefix = PhysicalPrefix(physical);
  int uid = prefix ? std::atoi(physical.c_str() + 6) : 1;
  return FindObject(db, physical.substr(prefix), uid);
}

std::optional<int64_t> FindObject(sqlite3* db, const std::string& name, int uid) {
  Stmt q(db, "SELECT id FROM sysobjects WHERE name = ? AND uid = ? ORDER BY (xtype IN ('U','V','P','FN','IF','TF','TR','S')) DESC LIMIT 1");
  q.Bind(1, name).Bind(2, int64_t{uid});
  if (!q.Step()) return std::nullopt;
  return q.Int(0);
}

std::string ObjectType(sqlite3* db, int64_t id) {
  Stmt q(db, "SELECT rtrim(xtype) FROM sysobjects WHERE id = ?");
  q.Bind(1, id);
  return q.Step() ? q.Text(0) : std::string();
}

std::optional<TableInfo> LoadTable(sqlite3* db, int64_t id) {
  Stmt q(db, "SELECT id, name, rtrim(xtype), uid FROM sysobjects WHERE id = ? AND xtype IN ('U', 'S', 'V')");
  q.Bind(1, id);
  if (!q.Step()) return std::nullopt;
  TableInfo t;
  t.id = q.Int(0);
  t.name = q.Text(1);
  t.xtype = q.Text(2);
  t.uid = static_cast<int>(q.Int(3));
  t.physical = PhysicalName(t.uid, t.name);
  Stmt c(db, "SELECT c.name, c.colid, c.xtype, c.xusertype, c.length, c.prec, c.xscale, c.isnullable, "
             "c.status, c.cdefault, c.collation, t.name FROM syscolumns c LEFT JOIN systypes t ON "
             "t.xusertype = CASE WHEN c.xusertype > 256 THEN c.xtype ELSE c.xusertype END "
             "WHERE c.id = ? ORDER BY c.colid");
  c.Bind(1, t.id);
  while (c.Step()) {
    ColumnInfo col;
    col.name = c.Text(0);
    col.colid = static_cast<int>(c.Int(1));
    col.xtype = static_cast<int>(c.Int(2));
    col.xusertype = static_cast<int>(c.Int(3));
    col.length = static_cast<int>(c.Int(4));
    col.prec = static_cast<int>(c.Int(5));
    col.scale = static_cast<int>(c.Int(6));
    col.nullable = c.Int(7) != 0;
    col.identity = (c.Int(8) & 0x80) != 0;
    col.cdefault = c.Int(9);
    col.collation = c.Text(10);
    col.typeName = c.Text(11);
    t.columns.push_back(col);
  }
  return t;
}

int64_t NewObjectId(sqlite3* db) {
  int64_t last = QueryInt(db, "SELECT max(id) FROM sysobjects", 0);
  return last < 1977058000 ? 1977058079 : last + 16;
}

std::string AutoName(const std::string& prefix, const std::string& table, const std::string& column,
                     int64_t id) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(id) & 0xFFFFFFFFULL);
  std::string out = prefix + "__" + std::string(text::Utf8Start(table, 16)) + "__";
  if (!column.empty()) out += std::string(text::Utf8Start(column, 12)) + "__";
  return out + hex;
}

int FileGroupId(sqlite3* db, const std::string& group) {
  if (group.empty()) return 1;
  Stmt q(db, "SELECT groupid FROM sysfilegroups WHERE groupname = ?");
  q.Bind(1, group);
  if (!q.Step()) Fail(1921, "Invalid filegroup '" + group + "' specified.");
  return static_cast<int>(q.Int(0));
}

int PlacementGroupId(sqlite3* db, const std::string& group) {
  int id = FileGroupId(db, group);
  if (QueryInt(db, "SELECT count(*) FROM sysfiles WHERE groupid = " + std::to_string(id)) == 0)
    Fail(1922, "Filegroup '" + group + "' has no files assigned to it. Tables, indexes, and text, "
               "ntext, and image columns cannot be created on this filegroup.");
  return id;
}

void StoreText(sqlite3* db, int64_t id, const std::string& text, bool encrypted) {
  Stmt del(db, "DELETE FROM syscomments WHERE id = ?");
  del.Bind(1, id);
  del.Step();
  Stmt ins(db, "INSERT INTO syscomments (id, number, colid, status, ctext, texttype, encrypted, text) "
               "VALUES (?, 0, ?, ?, ?, ?, ?, ?)");
  // Rows of at most 4000 characters; never split a UTF-8 sequence.
  size_t pos = 0;
  int colid = 1;
  do {
    size_t len = std::min<size_t>(4000, text.size() - pos);
    while (pos + len < text.size() && len > 0 &&
           (static_cast<unsigned char>(text[pos + len]) & 0xC0) == 0x80)
      --len;
    std::string part = text.substr(pos, len);
    ins.Reset();
    ins.Bind(1, id).Bind(2, int64_t{colid++}).Bind(3, int64_t{encrypted ? 1 : 0});
    sqlite3_bind_blob(ins.Get(), 4, part.data(), static_cast<int>(part.size()), SQLITE_TRANSIENT);
    ins.Bind(5, int64_t{encrypted ? 6 : 2}).Bind(6, int64_t{encrypted ? 1 : 0});
    if (encrypted) {
      // The server keeps only an obfuscated text; nobody reads it back.
      std::string hidden(part.size(), '?');
      ins.Bind(7, hidden);
    } else {
      ins.Bind(7, part);
    }
    ins.Step();
    pos += len;
  } while (pos < text.size());
}

namespace {

// The declared SQLite type keeps the server's type with its size: results are typed from it.
std::string DeclType(const ColumnInfo& c) {
  if (c.typeName.empty()) return "sql_variant";
  const SqlType* t = BaseTypeOf(c.xtype, c.xusertype);
  if (t && t->sized) return c.typeName + "(" + std::to_string(c.prec) + ")";
  if (t && t->decimal) return c.typeName + "(" + std::to_string(c.prec) + "," + std::to_string(c.scale) + ")";
  return c.typeName;
}

// Translates a stored default or check text to SQLite; an expression outside what the server
// translates raises its error.
std::string TranslateStoredExpr(const std::string& text, const std::string& database) {
  auto stmts = ParseBatch("SELECT " + text);
  const auto& sel = static_cast<const SelectStmt&>(*stmts.at(0));
  Translator tr(database, false);
  return tr.Expression(*sel.select->items.at(0).expr);
}

}  // namespace

// Character columns compare as their collation says: case ignored unless it is case-sensitive,
// trailing blanks ignored always.
std::string CollateClause(const std::string& collation) {
  return std::string(" COLLATE ") +
         (collation.find("_CS") != std::string::npos || collation.find("_BIN") != std::string::npos
              ? kCaseSensitiveCollation : kCaseInsensitiveCollation);
}

namespace {

// The SQLite index behind catalogue index `indid` of the table when made by a statement of its own.
std::string PhysicalIndexName(int64_t tableId, int64_t indid) {
  return "schm_ix_" + std::to_string(tableId) + "_" + std::to_string(indid);
}

// The catalogue index `indid` of the table as the SQLite index behind it.
PhysicalIndex IndexOf(sqlite3* db, int64_t tableId, int64_t indid, bool unique) {
  PhysicalIndex ix;
  ix.name = PhysicalIndexName(tableId, indid);
  ix.unique = unique;
  // A key over columns without NULLs is declared by the SQLite table itself.
  ix.inTable = unique;
  Stmt k(db, "SELECT c.name, c.isnullable, c.collation, hex(substr(i.keys, k.keyno, 1)) = '01' FROM sysindexkeys k "
             "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid JOIN sysindexes i ON i.id = k.id AND "
             "i.indid = k.indid WHERE k.id = ? AND k.indid = ? ORDER BY k.keyno");
  k.Bind(1, tableId).Bind(2, indid);
  while (k.Step()) {
    std::string col = SqlIdent(k.Text(0));
    // The server counts NULL as one value in a unique index: a second NULL is a duplicate.
    if (unique && k.Int(1)) {
      col = NullAsValueKey(col, k.IsNull(2) ? std::string() : CollateClause(k.Text(2)));
      ix.inTable = false;  // SQLite declares no key over an expression in a table
    }
    if (k.Int(3)) col += " DESC";
    ix.keys.push_back(col);
  }
  return ix;
}

// The table as its SQLite table: columns, enabled CHECK constraints and indexes. The SQLite table
// holds no defaults (INSERT names every column, a default as its value): a column's default is
// translated only where `sources` (of a rebuild) leaves the column to its default.
PhysicalTable PhysicalOf(sqlite3* db, const std::string& database, const TableInfo& t,
                         const std::vector<std::string>* sources) {
  PhysicalTable p;
  p.name = t.physical;
  p.defaultsInTable = false;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnInfo& c = t.columns[i];
    PhysicalColumn pc;
    pc.name = c.name;
    pc.declType = DeclType(c);
    pc.notNull = !c.nullable && !c.identity && c.xtype != kTimestampType;
    if (c.cdefault && sources && i < sources->size() && (*sources)[i].empty()) {
      Stmt d(db, "SELECT text FROM syscomments WHERE id = ? ORDER BY colid");
      d.Bind(1, c.cdefault);
      std::string text;
      while (d.Step()) text += d.Text(0);
      if (!text.empty()) pc.defaultSql = PaddedDefault(c, TranslateStoredExpr(text, database));
    }
    const SqlType* st = BaseTypeOf(c.xtype, c.xusertype);
    if (st && st->character) pc.collate = CollateClause(c.collation);
    p.columns.push_back(std::move(pc));
  }
  Stmt ck(db, "SELECT o.name, c.text FROM sysobjects o JOIN syscomments c ON c.id = o.id "
              "WHERE o.parent_obj = ? AND o.xtype = 'C' AND (o.status & 2048) = 0 ORDER BY o.id, c.colid");
  ck.Bind(1, t.id);
  std::map<std::string, std::string> checks;
  std::vector<std::string> order;
  while (ck.Step()) {
    std::string n = ck.Text(0);
    if (!checks.count(n)) order.push_back(n);
    checks[n] += ck.Text(1);
  }
  for (const auto& n : order) p.checks.push_back({n, TranslateStoredExpr(checks[n], database)});
  Stmt ix(db, "SELECT indid, status FROM sysindexes WHERE id = ? AND indid BETWEEN 1 AND 254");
  ix.Bind(1, t.id);
  std::vector<std::pair<int64_t, int64_t>> indexes;
  while (ix.Step()) indexes.emplace_back(ix.Int(0), ix.Int(1));
  for (auto [indid, status] : indexes) p.indexes.push_back(IndexOf(db, t.id, indid, (status & 2) != 0));
  return p;
}

}  // namespace

PhysicalTable PhysicalTableOf(sqlite3* db, const std::string& database, int64_t tableId) {
  auto table = LoadTable(db, tableId);
  return table ? PhysicalOf(db, database, *table, nullptr) : PhysicalTable();
}

void CreatePhysicalIndex(sqlite3* db, int64_t tableId, const std::string& physical, int64_t indid, bool unique) {
  servers::CreatePhysicalIndex(db, physical, IndexOf(db, tableId, indid, unique));
}

void RebuildPhysical(sqlite3* db, const std::string& database, int64_t tableId,
                     const std::vector<std::string>& sourceColumns, bool tableExists) {
  auto table = LoadTable(db, tableId);
  if (!table) return;
  PhysicalTable p = PhysicalOf(db, database, *table, tableExists ? &sourceColumns : nullptr);
  if (tableExists) EnforcementChanged(db);
  RebuildPhysicalTable(db, p, sourceColumns, tableExists);
}

void DropPhysicalIndex(sqlite3* db, const std::string& database, int64_t tableId, const std::string& physical,
                       int64_t indid) {
  if (servers::DropPhysicalIndex(db, physical, PhysicalIndexName(tableId, indid))) return;
  if (auto table = LoadTable(db, tableId)) RebuildPhysical(db, database, tableId, KeptColumns(table->columns), true);
}

}  // namespace servers::sqlserver
