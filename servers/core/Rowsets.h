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

// The query with each single-quoted text that follows "= " or opens a function's arguments, and
// with `numbers` each whole number that follows "= ", replaced by a numbered parameter, and those
// values in order; the query as it stands when it has none.
std::string ParameterizedQuery(const std::string& sql, std::vector<ado::Variant>& values, bool numbers = false);
// Takes the digits at `p` of `sql`: a whole number standing alone (at most 15 digits, not followed by
// a name character or a decimal point) goes to `out` as the next numbered parameter, its value to
// `values`; other digits are copied as they stand. Returns the position after the digits.
size_t TakeWholeNumber(const std::string& sql, size_t p, std::string& out, std::vector<ado::Variant>& values);
// Takes the single-quoted text from `p` to `end` (past its closing quote) of `sql`: its value, each
// doubled quote standing for one, to `values`, and the next numbered parameter to `out`.
void TakeQuotedText(const std::string& sql, size_t p, size_t end, std::string& out, std::vector<ado::Variant>& values);
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
