// The server's data types as the catalogue records them: systypes codes, storage length,
// precision and scale of a declared column type.
#pragma once

#include <string>
#include <vector>

#include "servers/sqlserver/Ast.h"

namespace servers::sqlserver {

struct SqlType {
  const char* name;
  int xtype;
  int xusertype;
  int length;      // fixed storage length (for sized types: bytes per unit)
  int prec;        // fixed precision (sized types: from the declaration)
  int scale;
  bool sized;      // takes (n)
  bool decimal;    // takes (p, s)
  bool character;  // has a collation
  int adoType;     // OLE DB / ADO data type
};

// Every system type, in systypes order.
const std::vector<SqlType>& SystemTypes();
// The type of that name (case ignored), or nullptr.
const SqlType* FindType(const std::string& name);
const SqlType* FindTypeByUserType(int xusertype);

// Catalogue values of a declared column type.
struct ColumnStorage {
  int length = 0, prec = 0, scale = 0;
};
ColumnStorage StorageOf(const SqlType& type, const TypeSpec& spec);

// The SQLite expression that stores `value` in a column of that kind as the server would:
// dates normalised, bits 0/1, numbers converted and range-checked, text fitted to its length.
struct ColumnInfo;
std::string StoredValue(const ColumnInfo& column, const std::string& value);

// A default's SQLite expression for the column: char(n), nchar(n) and binary(n) defaults are
// padded to n like any value stored there.
std::string PaddedDefault(const ColumnInfo& column, const std::string& value);

// The systypes code of timestamp (rowversion): a column the server fills itself.
constexpr int kTimestampType = 189;

// True for text, ntext and image: kept apart by the server (sysindexes entry 255).
bool IsLongType(int xtype);

}  // namespace servers::sqlserver
