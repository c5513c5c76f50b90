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
#include "servers/core/Sqlite.h"

namespace servers::asa {

class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}

  // The statement of a fixed text, reset and unbound; prepared on first use. Valid until the
  // next call with the same text.
  Stmt& Lookup(const std::string& sql);
  // Runs a SQLite query and returns its rows as QueryRowSet does. A text compared with "=" is
  // bound as a parameter, so that queries differing only in such texts share one statement;
  // a query whose column names would show a parameter is prepared as written.
  ado::RowSet Query(const std::string& sql);

 private:
  sqlite3* db_;
  std::map<std::string, std::unique_ptr<Stmt>> lookups_;
  std::map<std::string, std::unique_ptr<Stmt>> queries_;
};

// The query with each single-quoted text that follows "= " replaced by a numbered parameter,
// and those texts in order; the query as it stands when it has none.
std::string ParameterizedQuery(const std::string& sql, std::vector<std::string>& texts);

}  // namespace servers::asa
