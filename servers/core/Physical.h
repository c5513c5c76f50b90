// The SQLite table behind a user table, made from a neutral description that each server draws
// from its own catalogue: columns with their declared types, defaults and collations, CHECK
// constraints and indexes. A change of definition recreates the table and copies its rows.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "servers/core/Sqlite.h"

namespace servers {

struct PhysicalColumn {
  std::string name;
  std::string declType;    // the declared SQLite type (results are typed from it)
  std::string defaultSql;  // SQLite expression of the default, empty for none
  std::string collate;     // " COLLATE X" or empty
  bool notNull = false;

  bool operator==(const PhysicalColumn&) const = default;
};

struct PhysicalCheck {
  std::string name;
  std::string sql;  // the condition as SQLite SQL

  bool operator==(const PhysicalCheck&) const = default;
};

struct PhysicalIndex {
  std::string name;               // the SQLite index's name
  std::vector<std::string> keys;  // key expressions, " DESC" appended for descending keys
  bool unique = false;
  // A unique index over plain columns that the table declares itself (a UNIQUE constraint of its
  // CREATE TABLE): made with the table in one statement, under a name SQLite gives it; none
  // without `unique`.
  bool inTable = false;

  bool operator==(const PhysicalIndex&) const = default;
};

struct PhysicalTable {
  std::string name;  // the SQLite table
  std::vector<PhysicalColumn> columns;
  std::vector<PhysicalCheck> checks;
  std::vector<PhysicalIndex> indexes;
  // False when the server fills in defaults itself: the SQLite table then holds none, so that a
  // default comes and goes without remaking the table.
  bool defaultsInTable = true;

  bool operator==(const PhysicalTable&) const = default;
};

// The name of the temporary table that holds a table's rows while it is rebuilt: the rebuild prefix +
// its own physical name (ReadSqliteFailure strips the prefix from a name in a refusal).
inline constexpr const char* kRebuildPrefix = "schm_rebuild_";

// Creates the SQLite table (when `tableExists`, recreates it, copying the rows): `sourceColumns[i]`
// is the SQLite expression (over the old table) for the i-th column, or empty for none (the
// column takes its default); the rows keep their values without being judged by the CHECK
// constraints. Then creates the indexes the table does not declare itself. Raises ESqliteError
// when rows do not fit. No table is renamed, so SQLite reads no more of its schema than the
// table's own entries.
void RebuildPhysicalTable(sqlite3* db, const PhysicalTable& table, const std::vector<std::string>& sourceColumns,
                          bool tableExists);
// The source expressions that keep every column as it is: each column's own name.
template <class Columns>
std::vector<std::string> KeptColumns(const Columns& columns) {
  std::vector<std::string> sources;
  for (const auto& c : columns) sources.push_back(SqlIdent(c.name));
  return sources;
}
// Creates one index of the table under its name, declared in the table or not; an index without
// keys is skipped.
void CreatePhysicalIndex(sqlite3* db, const std::string& table, const PhysicalIndex& index);
// Drops the SQLite index `index` of the SQLite table `table`. False when there is none but the
// table declares unique keys itself: one of them goes only by rebuilding the table.
bool DropPhysicalIndex(sqlite3* db, const std::string& table, const std::string& index);
// The key expression of a column in a unique index where NULL counts as one value, so that a
// second NULL is a duplicate: ifnull(column, X'FFFE') with its collation.
std::string NullAsValueKey(const std::string& quotedColumn, const std::string& collate);

}  // namespace servers
