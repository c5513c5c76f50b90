// The catalogue of one database: the SQL Server 2000 system tables as real SQLite tables, what
// the executor reads of them, and the physical SQLite table behind each user table, rebuilt
// from the catalogue whenever its definition changes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "servers/core/Physical.h"

namespace servers::sqlserver {

// Creates the system tables and their fixed rows in an empty database; `isMaster` adds
// syslogins, syslanguages and sysdatabases.
void CreateCatalog(sqlite3* db, bool isMaster);

struct ColumnInfo {
  std::string name;
  int colid = 0;
  int xtype = 0, xusertype = 0, length = 0, prec = 0, scale = 0;
  bool nullable = true;
  bool identity = false;
  int64_t cdefault = 0;
  std::string collation;
  std::string typeName;
};

struct TableInfo {
  int64_t id = 0;
  std::string name;
  std::string xtype;
  int uid = 1;
  std::string physical;  // the SQLite table or view behind it
  std::vector<ColumnInfo> columns;
  const ColumnInfo* Column(const std::string& name) const;
  const ColumnInfo* Identity() const;
};

// The SQLite name of an owner's table or view: the name itself for dbo's, "schm_u<uid>.<name>"
// for every other owner's and for dbo names beginning with "schm_", so that two owners' objects
// never meet, nor a user's object the server's own tables.
std::string PhysicalName(int uid, const std::string& name);
// True for a table of the server's catalogue (sysobjects, schm_identity ...), false for a user's
// table, also one whose SQLite name begins as theirs do ("schm_u5.T", a dbo table "system_log").
bool IsCatalogueTable(const char* physical);
// The table or view behind a SQLite name ("T", "schm_u5.T"), or nothing.
std::optional<int64_t> FindPhysical(sqlite3* db, const std::string& physical);
// Length of the owner prefix a SQLite name begins with ("schm_u5." -> 8), 0 for none.
size_t PhysicalPrefix(const std::string& physical);
// The object of that name (case ignored) and owner in sysobjects, or nothing.
std::optional<int64_t> FindObject(sqlite3* db, const std::string& name, int uid);
// The object's xtype ("U", "V", "PK" ...), empty when absent.
std::string ObjectType(sqlite3* db, int64_t id);
// The table, view or system table with that id and its columns, or nothing.
std::optional<TableInfo> LoadTable(sqlite3* db, int64_t id);
// A fresh object id.
int64_t NewObjectId(sqlite3* db);
// Name the server gives a constraint without one: "PK__table__1A2B3C4D".
std::string AutoName(const std::string& prefix, const std::string& table, const std::string& column,
                     int64_t id);
// Group id of a file group ("PRIMARY" when empty); raises the server's error when unknown.
int FileGroupId(sqlite3* db, const std::string& group);
// The same for a group that is to hold a table, index or long columns: a group without files
// is refused.
int PlacementGroupId(sqlite3* db, const std::string& group);
// Splits a source text over syscomments rows of at most 4000 characters.
void StoreText(sqlite3* db, int64_t id, const std::string& text, bool encrypted);
// Collation name the catalogue gives character columns without COLLATE.
extern const char* const kDefaultCollation;

// Recreates the SQLite table behind the user table from the catalogue, copying the rows:
// `sourceColumns[i]` is the SQLite expression (over the old table) for the i-th catalogue
// column, or empty for none (the column takes its default); the rows keep their values
// without being judged by the CHECK constraints. Also recreates the table's indexes; leaves out
// the CHECK constraints that NOCHECK disabled. Raises ESqliteError when rows do not fit the new
// definition.
void RebuildPhysical(sqlite3* db, const std::string& database, int64_t tableId,
                     const std::vector<std::string>& sourceColumns, bool tableExists);
// The SQLite table the catalogue describes for the user table now.
PhysicalTable PhysicalTableOf(sqlite3* db, const std::string& database, int64_t tableId);
// Creates the SQLite index behind catalogue index `indid` of the table.
void CreatePhysicalIndex(sqlite3* db, int64_t tableId, const std::string& physical, int64_t indid, bool unique);
// Drops the SQLite index behind catalogue index `indid` of the table, whose catalogue rows are
// gone already; a key the SQLite table declares itself goes by a rebuild of the table.
void DropPhysicalIndex(sqlite3* db, const std::string& database, int64_t tableId, const std::string& physical,
                       int64_t indid);
// " COLLATE TSQL_CI" or " COLLATE TSQL_CS" for a column of that collation.
std::string CollateClause(const std::string& collation);

}  // namespace servers::sqlserver
