// Where the embedded servers keep their files: one folder per server under $SCHEMION_SERVERS
// (default "SchmServers" beside the executable), one SQLite file per database; and the file
// work every server's database statements share.
#pragma once

#include <functional>
#include <string>

#include "servers/core/Sqlite.h"

namespace servers {

// The folder holding every server's folder.
std::string ServersRoot();
// A name made fit for a file name: lower case, characters a file name cannot hold become "_";
// an empty, "." or local-host name becomes "(local)".
std::string SafeName(const std::string& name);
// The folder of the server `name` under ServersRoot() (not created).
std::string ServerFolderOf(const std::string& name);
// Makes the folder of the new server `name` and, through `make`, the file `marker` in it that
// shows the server exists; raises ado::EOleException when that file is there already.
void CreateServerFolder(const std::string& name, const std::string& marker,
                        const std::function<void(const std::string& folder)>& make);
// The lock of a server's folder, held while it lives: the file work of the server's database
// statements (its list of databases read and written again, a database's file made, replaced or
// removed) runs in one session at a time, whichever process it is in.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};
// File of a database of the server in `folder`.
std::string DatabaseFile(const std::string& folder, const std::string& database);
// Opens a database file with the servers' settings and functions not yet registered.
SqliteDbPtr OpenDatabaseFile(const std::string& path, bool create);
// Opens a database file that no session works in, for a small change of its catalogue. The
// change stays in the file's write-ahead log, as any committed change does until a checkpoint:
// the file's next connection carries it into the file, so a statement that only renames or
// re-points the database's files neither checkpoints nor flushes the whole database.
SqliteDbPtr OpenDatabaseFileForChange(const std::string& path);
// A path as a client composes it ("C:\Backup\db.bak") in this machine's terms: backslashes
// become slashes; a drive or relative path lands in the server's folder.
std::string LocalPath(const std::string& folder, const std::string& composed);
// Copies a whole database onto another connection's.
void CopyDatabase(sqlite3* from, sqlite3* to);
// A database file a server wrote: an SQLite file holding its catalogue table `markerTable`, whole
// (a file cut short of the pages its header counts is none).
bool IsBackupFile(const std::string& path, const std::string& markerTable);
// Writes `bytes` as the whole content of the file `path`, created or emptied first; raises
// ESqliteError on failure.
void WriteFileBytes(const std::string& path, const std::string& bytes);
// How a database file keeps its journal, as its header records it.
enum class JournalKind { kRollback = 1, kWriteAhead = 2 };
// Marks the database file `path` (not open elsewhere) as keeping the given journal and puts it on
// disk; raises ESqliteError on failure.
void SealDatabaseFile(const std::string& path, JournalKind journal);
// Writes the committed state of the database file `source` to `target` as a plain database file
// (no write-ahead log beside it). The copy goes to a temporary file that replaces `target` only
// when complete; raises ESqliteError on failure, `target` then untouched.
void BackupDatabaseFile(const std::string& source, const std::string& target);
// Holds the database file `path` for this connection alone until it is closed, its log kept out
// of the file; raises ESqliteError with SQLITE_BUSY when another connection has the file open.
SqliteDbPtr ClaimDatabaseFile(const std::string& path);
// Removes the database file `path` (held by ClaimDatabaseFile, or open nowhere) with its companion
// files.
void RemoveDatabaseFile(const std::string& path);
// Replaces the database file `target` (which need not exist) with a copy of the backup file
// `backup`, after `adjust` (when given) changed the copy inside one transaction. Raises
// ESqliteError on failure, with SQLITE_BUSY when another connection has `target` open; `target`
// is then untouched.
void RestoreDatabaseFile(const std::string& backup, const std::string& target,
                         const std::function<void(sqlite3*)>& adjust);

}  // namespace servers
