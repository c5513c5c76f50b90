// Where a SQL Server stand-in keeps its files: one folder per server under $SCHEMION_SERVERS
// (default "SchmServers" beside the executable), one SQLite file per database, master among
// them. A new server starts with master alone.
#pragma once

#include <string>

#include "servers/sqlserver/Sqlite.h"

namespace servers::sqlserver {

// Folder of the server named by "Data Source" (created when missing).
std::string ServerFolder(const std::string& dataSource);
// File of a database of that server.
std::string DatabaseFile(const std::string& folder, const std::string& database);
// Opens a database file with the server's settings and functions not yet registered.
SqliteDbPtr OpenDatabaseFile(const std::string& path, bool create);
// Creates master in the folder when it does not exist yet.
void EnsureMaster(const std::string& folder);

}  // namespace servers::sqlserver
