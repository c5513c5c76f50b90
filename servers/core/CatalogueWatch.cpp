#include "servers/core/CatalogueWatch.h"

#include "servers/core/Sqlite.h"

namespace servers {

void CatalogueWatch::Watch(sqlite3* db) {
  db_ = db;
  dataVersion_ = -1;
  forget_();
  sqlite3_update_hook(
      db,
      [](void* self, int, const char*, const char* table, sqlite3_int64) {
        auto* watch = static_cast<CatalogueWatch*>(self);
        if (watch->isCatalogue_(table)) watch->forget_();
      },
      this);
  sqlite3_rollback_hook(db, [](void* self) { static_cast<CatalogueWatch*>(self)->forget_(); }, this);
}

void CatalogueWatch::Stop() {
  if (!db_) return;
  sqlite3_update_hook(db_, nullptr, nullptr);
  sqlite3_rollback_hook(db_, nullptr, nullptr);
  db_ = nullptr;
}

void CatalogueWatch::CheckOtherConnections() {
  Stmt q(db_, "PRAGMA data_version");
  const int64_t version = q.Step() ? q.Int(0) : -1;
  if (version != dataVersion_) forget_();
  dataVersion_ = version;
}

}  // namespace servers
