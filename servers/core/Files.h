// Where the embedded servers keep their files: one folder per server under $SCHEMION_SERVERS
// (default "SchmServers" beside the executable), one SQLite file per database; and the file
// work every server's database statements share.
#pragma once

#include <string>

#include "servers/core/Sqlite.h"

namespace servers {

// The folder holding every server's folder.
std::string ServersRoot();
// A name made fit for a file name: lower case, characters a file name cannot hold become "_";
// an empty, "." or local-host name becomes "(local)".
std::string SafeName(const std::string& name);
// File of a database of the server in `folder`.
std::string DatabaseFile(const std::string& folder, const std::string& database);
// Opens a database file with the servers' settings and functions not yet registered.
SqliteDbPtr OpenDatabaseFile(const std::string& path, bool create);
// A path as a client composes it ("C:\Backup\db.bak") in this machine's terms: backslashes
// become slashes; a drive or relative path lands in the server's folder.
std::string LocalPath(const std::string& folder, const std::string& composed);
// Copies a whole database onto another connection's.
void CopyDatabase(sqlite3* from, sqlite3* to);
// A database file a server wrote: an SQLite file holding its catalogue table `markerTable`.
bool IsBackupFile(const std::string& path, const std::string& markerTable);

}  // namespace servers
