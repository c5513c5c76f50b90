#include "servers/asa/StatementCache.h"

#include "servers/core/Rowsets.h"

namespace servers::asa {

Stmt& StatementCache::Lookup(const std::string& sql) {
  auto& slot = lookups_[sql];
  if (!slot) slot = std::make_unique<Stmt>(db_, sql);
  else slot->Reset();
  return *slot;
}

ado::RowSet StatementCache::Query(const std::string& sql) { return QueryRowSetShared(db_, sql); }

}  // namespace servers::asa
