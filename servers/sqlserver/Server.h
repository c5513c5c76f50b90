// Where a SQL Server stand-in keeps its files: its folder among the servers', one SQLite file
// per database, master among them. A new server starts with master alone.
#pragma once

#include <string>

#include "servers/core/Files.h"

namespace servers::sqlserver {

// Folder of the server named by "Data Source" (not created).
std::string ServerFolder(const std::string& dataSource);
// True when the server in `folder` was made: its master database is there.
bool ServerExists(const std::string& folder);
// Makes the new server named by "Data Source", with master alone; raises ado::EOleException when
// it exists already.
void CreateServer(const std::string& dataSource);
using servers::DatabaseFile;
using servers::OpenDatabaseFile;

// Creates master in the folder when it does not exist yet.
void EnsureMaster(const std::string& folder);

}  // namespace servers::sqlserver
