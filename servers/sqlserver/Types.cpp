#include "servers/sqlserver/Types.h"

#include "servers/sqlserver/Catalog.h"

#include <strings.h>

namespace servers::sqlserver {

const std::vector<SqlType>& SystemTypes() {
  static const std::vector<SqlType> types = {
      {"image", 34, 34, 16, 2147483647, 0, false, false, false, 205},
      {"text", 35, 35, 16, 2147483647, 0, false, false, true, 201},
      {"uniqueidentifier", 36, 36, 16, 16, 0, false, false, false, 72},
      {"tinyint", 48, 48, 1, 3, 0, false, false, false, 17},
      {"smallint", 52, 52, 2, 5, 0, false, false, false, 2},
      {"int", 56, 56, 4, 10, 0, false, false, false, 3},
      {"smalldatetime", 58, 58, 4, 16, 0, false, false, false, 135},
      {"real", 59, 59, 4, 24, 0, false, false, false, 4},
      {"money", 60, 60, 8, 19, 4, false, false, false, 6},
      {"datetime", 61, 61, 8, 23, 3, false, false, false, 135},
      {"float", 62, 62, 8, 53, 0, false, false, false, 5},
      {"sql_variant", 98, 98, 8016, 0, 0, false, false, false, 12},
      {"ntext", 99, 99, 16, 1073741823, 0, false, false, true, 203},
      {"bit", 104, 104, 1, 1, 0, false, false, false, 11},
      {"decimal", 106, 106, 9, 18, 0, false, true, false, 131},
      {"numeric", 108, 108, 9, 18, 0, false, true, false, 131},
      {"smallmoney", 122, 122, 4, 10, 4, false, false, false, 6},
      {"bigint", 127, 127, 8, 19, 0, false, false, false, 20},
      {"varbinary", 165, 165, 1, 0, 0, true, false, false, 204},
      {"varchar", 167, 167, 1, 0, 0, true, false, true, 200},
      {"binary", 173, 173, 1, 0, 0, true, false, false, 128},
      {"char", 175, 175, 1, 0, 0, true, false, true, 129},
      {"timestamp", 189, 189, 8, 8, 0, false, false, false, 128},
      {"nvarchar", 231, 231, 2, 0, 0, true, false, true, 202},
      {"nchar", 239, 239, 2, 0, 0, true, false, true, 130},
      {"sysname", 231, 256, 2, 128, 0, false, false, true, 202},
  };
  return types;
}

const SqlType* FindType(const std::string& name) {
  std::string n = name;
  if (strcasecmp(n.c_str(), "rowversion") == 0) n = "timestamp";
  for (const auto& t : SystemTypes())
    if (strcasecmp(t.name, n.c_str()) == 0) return &t;
  return nullptr;
}

const SqlType* FindTypeByUserType(int xusertype) {
  for (const auto& t : SystemTypes())
    if (t.xusertype == xusertype) return &t;
  return nullptr;
}

ColumnStorage StorageOf(const SqlType& type, const TypeSpec& spec) {
  ColumnStorage s;
  if (type.xusertype == 256) {
    s.length = 256;
    s.prec = 128;
    return s;
  }
  if (type.sized) {
    int n = spec.length > 0 ? spec.length : 1;
    if (spec.max) n = 8000 / type.length;
    s.length = n * type.length;
    s.prec = n;
    return s;
  }
  if (type.decimal) {
    int p = spec.length > 0 ? spec.length : 18;
    int sc = spec.scale >= 0 ? spec.scale : 0;
    s.prec = p;
    s.scale = sc;
    s.length = p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17;
    return s;
  }
  s.length = type.length;
  s.prec = type.prec;
  s.scale = type.scale;
  if (type.xtype == 62 && spec.length > 0 && spec.length <= 24) {  // float(n) small is real
    s.length = 4;
    s.prec = 24;
  }
  return s;
}

std::string StoredValue(const ColumnInfo& c, const std::string& v) {
  switch (c.xtype) {
    case 61:
    case 58:
      return "tsql_datetime(" + v + ")";
    case 104:
      return "tsql_bit(" + v + ")";
    case 48:
      return "tsql_tonum(" + v + ", 'tinyint')";
    case 52:
      return "tsql_tonum(" + v + ", 'smallint')";
    case 56:
      return "tsql_tonum(" + v + ", 'int')";
    case 127:
      return "tsql_tonum(" + v + ", 'bigint')";
    case 106:
    case 108:
      if (c.prec > 0) {
        return "tsql_tonum(" + v + ", 'numeric', " + std::to_string(c.prec) + ", " + std::to_string(c.scale) + ")";
      }
      return "tsql_tonum(" + v + ", 'numeric')";
    case 59:
    case 62:
    case 60:
    case 122:
      return "tsql_tonum(" + v + ", '" + (c.typeName.empty() ? std::string("float") : c.typeName) + "')";
    case 175:
    case 239:
    case 173:
      return "tsql_fit(" + v + ", " + std::to_string(c.prec) + ", 1)";
    case 167:
    case 231:
    case 165:
      return "tsql_fit(" + v + ", " + std::to_string(c.prec > 0 ? c.prec : c.length) + ", 0)";
    default:
      return v;
  }
}

std::string PaddedDefault(const ColumnInfo& c, const std::string& value) {
  return c.xtype == 175 || c.xtype == 239 || c.xtype == 173 ? StoredValue(c, value) : value;
}

bool IsLongType(int xtype) { return xtype == 34 || xtype == 35 || xtype == 99; }

}  // namespace servers::sqlserver
