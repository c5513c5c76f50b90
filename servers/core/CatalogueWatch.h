// Tells a session when what it keeps of its catalogue may be outdated: a row of a catalogue table
// written on its connection, a rollback, or a commit by another connection since its last look.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>

namespace servers {

class CatalogueWatch {
 public:
  // `isCatalogue` tells the server's catalogue tables by name; `forget` drops what the session kept.
  CatalogueWatch(bool (*isCatalogue)(const char* table), std::function<void()> forget)
      : isCatalogue_(isCatalogue), forget_(std::move(forget)) {}
  CatalogueWatch(const CatalogueWatch&) = delete;
  CatalogueWatch& operator=(const CatalogueWatch&) = delete;

  // Watches `db`, the session's connection now, and forgets what was kept. A connection watched
  // before is left as it is (it may be closed already).
  void Watch(sqlite3* db);
  // Stops watching: a session calls it before its members go, since the hooks reach them.
  void Stop();
  // Forgets what was kept when another connection committed since the last look. Called at the
  // start of every statement inside its transaction, its snapshot (and for a writer its lock)
  // held: a commit that came while the statement waited is then seen, and none can come after.
  void CheckOtherConnections();

 private:
  sqlite3* db_ = nullptr;
  bool (*isCatalogue_)(const char*);
  std::function<void()> forget_;
  int64_t dataVersion_ = -1;
};

}  // namespace servers
