#include "servers/sqlserver/SqlError.h"

#include <initializer_list>
#include <map>

#include "servers/core/Sqlite.h"

namespace servers::sqlserver {

namespace {

const char* const kSource = "Microsoft OLE DB Provider for SQL Server";

bool In(int number, std::initializer_list<int> numbers) {
  for (int n : numbers)
    if (n == number) return true;
  return false;
}

}  // namespace

int SeverityOf(int number) {
  // The message table's severities of the errors this server raises; the rest are 16.
  if (In(number, {102, 103, 105, 109, 110, 111, 113, 137, 141, 154, 156, 164, 170, 174, 191, 195})) return 15;
  if (In(number, {229, 230, 916, 1505, 2601, 2627, 17142, 18452, 18456})) return 14;
  if (In(number, {1205, 1222, 3902, 3903, 3906})) return 13;
  if (In(number, {2727, 3701, 4060, 4902, 7202, 15224, 15225, 15248, 15249, 15253, 15333, 15335, 15401,
                  15409, 15410, 15413}))
    return 11;
  if (In(number, {701, 1105, 1807, 9002})) return 17;
  if (number == 823) return 24;
  return 16;
}

void Fail(int number, const std::string& message) {
  FailGraded(number, SeverityOf(number), 1, message);
}

void FailGraded(int number, int severity, int state, const std::string& message) {
  ado::EOleException e(message, number, kSource);
  e.SetGrade(severity, state);
  throw e;
}

void FailSyntax(int line, const std::string& nearText) {
  Fail(170, "Line " + std::to_string(line) + ": Incorrect syntax near '" + nearText + "'.");
}

void DuplicateObject(const std::string& name) {
  Fail(2714, "There is already an object named '" + name + "' in the database.");
}

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The number of arguments of the functions the server passes to SQLite under their own names.
std::string Arguments(const std::string& function) {
  static const std::map<std::string, const char*> kCounts = {
      {"upper", "1"}, {"lower", "1"}, {"ltrim", "1"}, {"rtrim", "1"}, {"abs", "1"}, {"char", "1"},
      {"unicode", "1"}, {"count", "1"}, {"sum", "1"}, {"avg", "1"}, {"min", "1"}, {"max", "1"},
      {"replace", "3"}, {"round", "2"}, {"nullif", "2"}, {"coalesce", "2"}, {"substr", "3"}};
  auto it = kCounts.find(function);
  return it == kCounts.end() ? "1" : it->second;
}

}  // namespace

void FailStorage(int sqliteCode, const std::string& database) {
  switch (sqliteCode) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      Fail(1222, "Lock request time out period exceeded.");
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG:
      Fail(701, "There is insufficient system memory to run this query.");
    case SQLITE_FULL:
      Fail(9002, "The log file for database '" + database +
                     "' is full. Back up the transaction log for the database to free up some log space.");
    case SQLITE_READONLY:
      Fail(3906, "Could not run BEGIN TRANSACTION in database '" + database + "' because the database is read-only.");
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      Fail(823, "I/O error detected during read or write of a file of database '" + database + "'.");
    default:
      Fail(8624, "Internal SQL Server error.");
  }
}

void FailUnmapped(const std::exception& e, int line, const std::string& nearText, const std::string& database) {
  const auto* engine = dynamic_cast<const ESqliteError*>(&e);
  if (!engine) Fail(8624, "Internal SQL Server error.");
  const std::string m = e.what();
  if (engine->Code() != SQLITE_ERROR) FailStorage(engine->Code(), database);
  if (Has(m, "syntax error") || Has(m, "near \"") || Has(m, "unrecognized token") || Has(m, "incomplete input"))
    FailSyntax(line, nearText);
  if (Has(m, "integer overflow"))
    Fail(8115, "Arithmetic overflow error converting expression to data type bigint.");
  if (Has(m, "GROUP BY clause") || Has(m, "GROUP BY term"))
    Fail(164, "Each GROUP BY expression must contain at least one column that is not an outer reference.");
  if (Has(m, "misuse of aggregate") || Has(m, "aggregate functions are not allowed"))
    Fail(130, "Cannot perform an aggregate function on an expression containing an aggregate or a subquery.");
  if (Has(m, "do not have the same number of result columns"))
    Fail(205, "All queries in an SQL statement containing a UNION operator must have an equal number of "
              "expressions in their target lists.");
  if (Has(m, "sub-select returns") || Has(m, "row value misused"))
    Fail(116, "Only one expression can be specified in the select list when the subquery is not introduced with EXISTS.");
  if (Has(m, "no tables specified")) Fail(263, "Must specify table to select from.");
  if (Has(m, "HAVING clause")) Fail(8121, "Column is invalid in the HAVING clause because it is not contained in an "
                                          "aggregate function and there is no GROUP BY clause.");
  const std::string wrongCount = "wrong number of arguments to function ";
  if (m.rfind(wrongCount, 0) == 0) {
    std::string function = m.substr(wrongCount.size());
    function = function.substr(0, function.find('('));
    Fail(174, "The " + function + " function requires " + Arguments(function) + " arguments.");
  }
  if (Has(m, "too many columns in result set"))
    Fail(1056, "The number of elements in the select list exceeds the maximum allowed number of elements.");
  if (Has(m, "too many columns on"))
    Fail(1702, "CREATE TABLE failed because a column exceeds the maximum number of columns in a table.");
  if (Has(m, "too many") || Has(m, "too complex") || Has(m, "too large") || Has(m, "too big") || Has(m, "too deep"))
    Fail(191, "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
  Fail(8624, "Internal SQL Server error.");
}

}  // namespace servers::sqlserver
