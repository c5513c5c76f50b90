// Results of the embedded servers as the data layer's rowsets: a query's rows typed from the
// declared types of its columns (or, for computed columns, from the values), and the schema
// rowsets' restrictions.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/data/Provider.h"
#include "servers/core/Sqlite.h"

namespace servers {

// Runs the SQLite query and returns its rows: columns declared with a server type ("int",
// "nvarchar(50)", "decimal(10,3)", "datetime", "money" ...) take that type, size and precision.
// Raises ESqliteError on failure.
ado::RowSet QueryRowSet(sqlite3* db, const std::string& sql);
// The same over a statement prepared (and bound) by the caller, stepped from where it stands.
ado::RowSet QueryRowSet(Stmt& q);

// Which literals a statement's shape takes out as parameters. A whole number is one of at most 15
// digits standing alone (not after or before a name character or a decimal point).
enum class Literals {
  // Single-quoted texts that follow "= " or open a function's arguments.
  Compared,
  // Those, and whole numbers that follow "= ".
  ComparedAndNumbers,
  // Every single-quoted text and whole number; no shape at all (empty) where a value could change
  // the meaning (ORDER BY, GROUP BY, LIMIT, OFFSET, COLLATE), or for a blob literal, a parameter,
  // a comment, a second statement or an unclosed quote.
  Every,
};
// The statement with the literals `which` names replaced by numbered parameters, and their values
// appended to `values` in order (each doubled quote of a text standing for one); quoted names stay
// as written.
std::string ParameterizedQuery(const std::string& sql, std::vector<ado::Variant>& values,
                               Literals which = Literals::Compared);
// The statement of a query made by ParameterizedQuery (or another such shape), its values bound;
// none when SQLite refuses it (the text as written then decides the outcome).
std::unique_ptr<Stmt> PrepareBound(sqlite3* db, const std::string& shape, const std::vector<ado::Variant>& values);
// QueryRowSet, with those texts bound as parameters: queries that differ only in
// them (a catalogue query per table or index) share one kept statement. A query whose column
// names would show a parameter, or that SQLite refuses so, runs as written.
ado::RowSet QueryRowSetShared(sqlite3* db, const std::string& sql);

// Keeps the rows whose restriction columns equal the given values (case ignored, as the
// servers compare names); empty restrictions keep every row.
void RestrictRowset(ado::RowSet& rs, ado::TSchemaInfo kind, const std::vector<ado::Variant>& restrictions);

}  // namespace servers
