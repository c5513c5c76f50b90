#include "servers/core/StatementShape.h"

#include <memory>

#include "servers/core/Rowsets.h"
#include "servers/core/Sqlite.h"

namespace servers {

void ExecShaped(sqlite3* db, const std::string& sql) {
  std::vector<ado::Variant> values;
  const std::string shape = ParameterizedQuery(sql, values, Literals::Every);
  if (shape.empty()) return ExecSql(db, sql);
  std::unique_ptr<Stmt> q = PrepareBound(db, shape, values);
  if (!q) return ExecSql(db, sql);
  ReleaseReads(db, q->Get());
  while (q->Step()) {
  }
}

int64_t QueryIntShared(sqlite3* db, const std::string& sql) {
  std::vector<ado::Variant> values;
  std::unique_ptr<Stmt> q = PrepareBound(db, ParameterizedQuery(sql, values, Literals::ComparedAndNumbers), values);
  if (!q) q = std::make_unique<Stmt>(db, sql);
  return q->Step() ? q->Int(0) : 0;
}

}  // namespace servers
