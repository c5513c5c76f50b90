// User-defined data types (sp_addtype): kept in systypes on a system base type, usable wherever
// a column type is written.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "servers/sqlserver/Ast.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

struct UserType {
  const SqlType* base = nullptr;  // the system type it is built on
  TypeSpec spec;                  // the base type as written, with its size
  int xusertype = 0;
  bool allowNulls = true;
};

// The user type of that name (case ignored) in the database, or nothing.
std::optional<UserType> FindUserType(sqlite3* db, const std::string& name);
// The system type of a catalogue column: its own, or for a user type the base it is built on.
const SqlType* BaseTypeOf(int xtype, int xusertype);

}  // namespace servers::sqlserver
