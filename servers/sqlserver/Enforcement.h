// Identity, timestamp values and foreign keys are kept by SQLite triggers that each connection
// creates for itself, in its temporary schema, when it first changes a table's rows. The database file holds no
// trigger, so opening a database parses only its tables and indexes, and a schema change never
// rewrites the triggers of other tables: it only tells every connection to remake its own.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <set>
#include <string>

namespace servers::sqlserver {

// The triggers one connection has made.
class Enforcement {
 public:
  // Makes sure the connection has the triggers that keep the identity, the timestamp and the
  // enabled foreign keys of the table, and of every table its cascades change; `database` names
  // the database in their messages. Raises ESqliteError when SQLite refuses.
  void Prepare(sqlite3* db, const std::string& database, int64_t tableId);
  // After a rollback: the triggers made inside the transaction are gone.
  void Forget() {
    if (madeInTransaction_) valid_ = false;
    madeInTransaction_ = false;
  }

 private:
  void PrepareTable(sqlite3* db, const std::string& database, int64_t tableId, std::set<int64_t>& cascaded);

  bool valid_ = false;
  bool madeInTransaction_ = false;
  int64_t version_ = 0;
  std::set<int64_t> ready_;
};

// Records in the database that an identity or a foreign key changed (added, dropped, disabled,
// its table rebuilt or renamed): every connection drops its triggers before its next change
// of data. Drops this connection's at once.
void EnforcementChanged(sqlite3* db);

// Gives every row of the table a new timestamp value in `column`, in row order (a timestamp
// column added to a table that has rows).
void NumberRowVersions(sqlite3* db, const std::string& physical, const std::string& column);

// Brings a database file of an earlier layout to the current one: drops the triggers such a
// file kept for identity and foreign keys and adds what the current layout needs. Does nothing
// to a file already current or to one that holds no catalogue.
void UpgradeStorage(sqlite3* db);

// The 547 message when existing rows break the foreign key (ALTER TABLE wording), else empty.
std::string ForeignKeyConflict(sqlite3* db, int64_t constid, const std::string& database);

}  // namespace servers::sqlserver
