#include "servers/sqlserver/UserTypes.h"

#include "servers/core/Sqlite.h"

namespace servers::sqlserver {

std::optional<UserType> FindUserType(sqlite3* db, const std::string& name) {
  Stmt q(db, "SELECT xtype, xusertype, prec, scale, allownulls FROM systypes WHERE name = ? AND xusertype > 256");
  q.Bind(1, name);
  if (!q.Step()) return std::nullopt;
  UserType u;
  u.base = FindTypeByUserType(static_cast<int>(q.Int(0)));
  if (!u.base) return std::nullopt;
  u.spec.name = u.base->name;
  if (u.base->sized) u.spec.length = static_cast<int>(q.Int(2));
  if (u.base->decimal) {
    u.spec.length = static_cast<int>(q.Int(2));
    u.spec.scale = static_cast<int>(q.Int(3));
  }
  u.xusertype = static_cast<int>(q.Int(1));
  u.allowNulls = q.Int(4) != 0;
  return u;
}

const SqlType* BaseTypeOf(int xtype, int xusertype) {
  if (const SqlType* t = FindTypeByUserType(xusertype)) return t;
  return FindTypeByUserType(xtype);
}

}  // namespace servers::sqlserver
