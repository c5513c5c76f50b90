// The Access stand-in's catalogue: tables, columns, indexes and relationships, views and
// procedures kept as SQLite tables of the database file, and the SQLite tables, indexes and
// triggers (counters, relationships) made from it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace servers::access {

// The catalogue table whose presence marks a database file of this server.
constexpr const char* kMarkerTable = "msys_objects";

struct JetColumn {
  std::string name;
  std::string type;  // native name: text, memo, int, smallint, tinyint, real, float, money, bit ...
  int length = 0, scale = 0;
  bool required = false;
  bool counter = false;
  std::string defaultText;  // as written, empty for none
  std::string defaultSql;   // SQLite expression of the default
};

struct JetIndex {
  std::string name;
  bool primary = false, unique = false;
  bool constraint = false;  // made by a CONSTRAINT clause
  std::vector<std::string> keys;
  std::vector<bool> descending;
};

struct JetRelation {
  std::string name, table, refTable;
  std::vector<std::string> columns, refColumns;
  bool updateCascade = false, deleteCascade = false;
};

struct JetTable {
  std::string name;
  std::vector<JetColumn> columns;
  std::vector<JetIndex> indexes;
  const JetColumn* Find(const std::string& column) const;
};

// Creates the catalogue tables in a new database file.
void CreateCatalog(sqlite3* db);

// "table" or "view" or "procedure" for an object of the database (case ignored); empty when none.
std::string ObjectType(sqlite3* db, const std::string& name);
// The stored name (as created) of an object.
std::string StoredName(sqlite3* db, const std::string& name);
void AddObject(sqlite3* db, const std::string& name, const std::string& type, const std::string& definition);
void RemoveObject(sqlite3* db, const std::string& name);
void TouchObject(sqlite3* db, const std::string& name);

// The table with its columns and indexes; nothing when there is no such table.
std::optional<JetTable> LoadTable(sqlite3* db, const std::string& name);
// Writes the table's columns and indexes over those stored.
void SaveTable(sqlite3* db, const JetTable& t);

std::vector<JetRelation> Relations(sqlite3* db);
void SaveRelation(sqlite3* db, const JetRelation& r);
void RemoveRelation(sqlite3* db, const std::string& name);

// The SQLite declared type of a column (results are typed from it).
std::string DeclaredType(const JetColumn& c);

// Makes (or, when `exists`, remakes keeping its rows: `sources` gives each column's SQLite
// expression over the old table, empty for none) the SQLite table, its indexes and its triggers.
void BuildPhysical(sqlite3* db, const JetTable& t, const std::vector<std::string>& sources, bool exists);
// Remakes the triggers on the table: its counter, the checks of its relationships as child and
// as parent.
void RefreshTriggers(sqlite3* db, const std::string& table);

// Columns joined for storage and split back.
std::string JoinNames(const std::vector<std::string>& names);
std::vector<std::string> SplitNames(const std::string& joined);

}  // namespace servers::access
