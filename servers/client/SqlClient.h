// The command-line SQL client of the embedded servers (schemion-sql): runs a script or a statement
// on a connection opened through the data-access layer and prints each result set as a table.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sqlclient {

// Runs the client with the program's arguments (without the program name):
//   -c "<connection string>" [-i script.sql] [-q "statement"] [-b] [-n] [-s]
// -n first makes the new database the connection string names (an Access database file); -s first
// makes the new server it names (SQL Server's "Data Source=", Adaptive Server Anywhere's "Eng=").
// Reads standard input (`in`) when neither -i nor -q is given, except with -s. Returns the exit status: 0 when
// every batch succeeded, 1 when any failed, 2 for bad arguments or a connection that won't open.
int RunSqlClient(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err);

}  // namespace sqlclient
