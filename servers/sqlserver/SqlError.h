// The SQL Server stand-in's refusals: each carries the real server's error number, severity and
// message text, raised as the data-access layer's provider exception.
#pragma once

#include <string>

#include "platform/data/DataErrors.h"

namespace servers::sqlserver {

// Raises ado::EOleException with the server's message, error number and that number's severity.
[[noreturn]] void Fail(int number, const std::string& message);
// Raises the error with the severity and state given (RAISERROR).
[[noreturn]] void FailGraded(int number, int severity, int state, const std::string& message);
// "Line n: Incorrect syntax near 'token'." (error 170).
[[noreturn]] void FailSyntax(int line, const std::string& nearText);
// "There is already an object named 'name' in the database." (error 2714).
[[noreturn]] void DuplicateObject(const std::string& name);
// The severity the server gives its error `number` (16 when none is recorded here).
int SeverityOf(int number);

// The server's error for a failure of the storage itself, by SQLite's result code: lock time-out,
// memory, a full disk, a read-only or unreadable file; error 8624 for any other code. `database`
// is the session's database.
[[noreturn]] void FailStorage(int sqliteCode, const std::string& database);
// The server's error for a failure the more specific refusals did not name: SQLite's own
// refusals of the SQL the server ran, in the server's words (syntax near `nearText` on `line`,
// overflow, aggregates, unions, subqueries, argument counts, limits), else FailStorage. The text
// of SQLite or of the C++ library never reaches the client.
[[noreturn]] void FailUnmapped(const std::exception& e, int line, const std::string& nearText,
                               const std::string& database);

}  // namespace servers::sqlserver
