// The catalogue of an Adaptive Server Anywhere database: the SYS tables as real SQLite tables and
// the SYS views over them (SYSCATALOG, SYSCOLUMNS, SYSINDEXES, SYSTRIGGERS ...), what the
// executor reads of them, and the SQLite table behind each user table, rebuilt from them.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "servers/core/Ast.h"
#include "servers/core/Sqlite.h"

namespace servers::asa {

// Fixed user ids.
constexpr int kSysUser = 0;
constexpr int kDbaUser = 1;
constexpr int kPublicUser = 2;

// Creates the SYS tables, views and fixed rows in an empty database (DBA's password "SQL"); the
// SYS tables and views are described in SYSCOLUMN like any other.
void CreateCatalog(sqlite3* db);
// Adds to the catalogue of a database made before them the SYS tables of table checks and DUMMY
// and the SYSCOLUMN rows of the SYS tables, and puts hashes in place of passwords kept in clear;
// nothing when it has all that.
void CompleteCatalog(sqlite3* db);

// A password as SYSUSERPERM keeps it (36 bytes): a random 16-byte salt and the SHA-1 of the salt
// and the password; never the password itself.
std::string PasswordHash(const std::string& clear);
// Whether `stored`, a password SYSUSERPERM keeps, is the hash of `clear`.
bool PasswordMatches(const std::string& clear, const std::string& stored);
// Binds the hash of `clear` to the statement's parameter.
void BindPassword(Stmt& q, int index, const std::string& clear);
// Puts the hash of each password kept in clear in its place (inside the caller's transaction),
// overwriting the space the clear text held.
void HashClearPasswords(sqlite3* db);
// The SYSCOLUMN rows of the SYS tables and views that have none.
void DescribeSysTables(sqlite3* db);

// A native type: its domain, the user type it names (0 for none), its width and scale as the
// catalogue keeps them, and the declared SQLite type that types its values.
struct AsaType {
  int domain = 0;
  int userType = 0;
  int width = 0;
  int scale = 0;
  std::string declType;
};
// The type a column declaration names; nothing when the server knows no such type.
std::optional<AsaType> ResolveType(sqlite3* db, const TypeSpec& type);

struct AsaColumn {
  int id = 0;
  std::string name;
  bool nullable = true;
  bool pkey = false;
  bool autoincrement = false;
  std::string defaultText;  // as SYSCOLUMN."default" keeps it
  std::string declType;
};

struct AsaTable {
  int64_t id = 0;
  int creator = kDbaUser;
  std::string name;
  std::string type;  // BASE, VIEW, GBL TEMP
  std::vector<AsaColumn> columns;
  const AsaColumn* Column(const std::string& name) const;
};

// A column default's SQLite expression: literals as written, the server's special values
// (current date, current timestamp ...) as their functions; empty for none (autoincrement too).
std::string DefaultSql(const std::string& text);

// The SQLite table or view behind a user table.
std::string PhysicalName(int64_t tableId);
// The SQLite table of a connection's own rows of a global temporary table.
std::string TemporaryName(int64_t tableId);
// The table or view of that owner and name (case ignored), or nothing.
std::optional<int64_t> FindTable(sqlite3* db, int creator, const std::string& name);
std::optional<AsaTable> LoadTable(sqlite3* db, int64_t id);
// The user id of a user name, or -1.
int UserId(sqlite3* db, const std::string& name);

// Recreates the SQLite table behind a base table from the catalogue (see RebuildPhysicalTable),
// with its indexes and the trigger that numbers its autoincrement column.
void RebuildTable(sqlite3* db, int64_t tableId, const std::vector<std::string>& sourceColumns, bool exists);

// Remakes the triggers that keep every foreign key: a child row needs its parent's key (-194),
// a parent row whose key children hold is neither deleted nor given another key (-198).
void RefreshForeignKeys(sqlite3* db);

}  // namespace servers::asa
