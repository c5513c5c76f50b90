// The prepared statements a connection of the stand-in runs again and again: its own catalogue
// look-ups, and queries that differ only in the texts they compare with (the catalogue queries a
// dialect sends per table or index), prepared once with those texts as parameters.
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/Provider.h"
#include "servers/core/Rowsets.h"
#include "servers/core/Sqlite.h"

namespace servers::asa {

class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}

  // The statement of a fixed text, reset and unbound; prepared on first use. Valid until the
  // next call with the same text.
  Stmt& Lookup(const std::string& sql);
  // Runs a SQLite query and returns its rows as QueryRowSetShared does.
  ado::RowSet Query(const std::string& sql);

 private:
  sqlite3* db_;
  std::map<std::string, std::unique_ptr<Stmt>> lookups_;
};

}  // namespace servers::asa
