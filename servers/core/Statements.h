// What every embedded server does around one statement: running it atomically (all or nothing,
// in its own transaction when none is open), reading SQLite's refusals as causes a server words
// in its own terms, and the checks several statements share.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace servers {

// Runs `body` inside a savepoint (numbered by `depth`, which counts the statements running);
// `own` says the caller began a transaction for this statement alone, committed with it. On
// failure rolls the savepoint (and that transaction) back, calls `undo` to restore what the
// session keeps outside SQLite, and raises the failure again.
void RunAtomically(sqlite3* db, bool own, int& depth, const std::function<void()>& body,
                   const std::function<void()>& undo);

// A refusal of SQLite read as its cause.
struct SqliteFailure {
  enum Kind {
    Coded,          // a function's or trigger's "<number>|<message>": number, text
    NoTable,        // name (its last part)
    NoColumn,       // name (its last part)
    AmbiguousColumn,  // name (its last part)
    NoFunction,     // name, without the servers' "tsql_" prefix
    NotNull,        // name: "table.column" as SQLite writes it (owner prefix included)
    UniqueIndex,    // name: the SQLite index of expressions; text: "index 'name'"
    Unique,         // name: "table.col, table.col2"
    Check,          // name: the constraint
    OrderByTerm,    // number: the term's position
    Other
  };
  Kind kind = Other;
  int number = 0;
  std::string name;
  std::string text;
};
SqliteFailure ReadSqliteFailure(const std::string& message);

// The first key value (of the first column) holding more than one row of `columns` in the
// SQLite table, "NULL" for a null one; nothing when every key is unique.
std::optional<std::string> FirstDuplicateKey(sqlite3* db, const std::string& physical,
                                             const std::vector<std::string>& columns);

// True when `text` names `name` as a whole word (case ignored): a condition using a column.
bool MentionsName(const std::string& text, const std::string& name);

}  // namespace servers
