#include "dialects/DataTypeTables.h"

#include <array>

#include "dialects/uDbSpecific.h"

namespace {

constexpr std::array<const char*, 37> kGenericNames = {
    "<?\?\?>",         "bigint",           "binary",         "bit",
    "char",          "date",             "datetime",       "decimal",
    "double",        "float",            "image",          "int",
    "long binary",   "long varchar",     "money",          "nchar",
    "ntext",         "numeric",          "nvarchar",       "real",
    "smalldatetime", "smallint",         "smallmoney",     "sql_variant",
    "",              "text",             "time",           "timestamp",
    "tinyint",       "uniqueidentifier", "unsigned bigint", "unsigned int",
    "unsigned smallint", "varbinary",    "varchar",        "uniqueidentifierstr",
    "xml"};

struct SameNameRow {
  const char* name;
  uint16_t code;
  uint16_t ordinal;
};

struct Row {
  const char* nativeName;
  uint16_t code;
  uint16_t ordinal;
  const char* genericName;
};

void AddSameNameRows(TDatabaseSpecific& dialect, std::initializer_list<SameNameRow> rows) {
  for (const SameNameRow& r : rows) dialect.AddDataType(r.code, r.ordinal, r.name, r.name);
}

void AddRows(TDatabaseSpecific& dialect, std::initializer_list<Row> rows) {
  for (const Row& r : rows) dialect.AddDataType(r.code, r.ordinal, r.nativeName, r.genericName);
}

}  // namespace

std::string GenericTypeName(int ordinal) {
  if (ordinal < 0 || ordinal >= static_cast<int>(kGenericNames.size())) return {};
  return kGenericNames[static_cast<size_t>(ordinal)];
}

void FillSqlServerDataTypes(TDatabaseSpecific& dialect) {
  dialect.ClearDataTypes();
  AddSameNameRows(dialect, {{"image", 34, 10},      {"text", 35, 25},
                            {"uniqueidentifier", 36, 29}, {"tinyint", 48, 28},
                            {"smallint", 52, 21},   {"int", 56, 11},
                            {"smalldatetime", 58, 20}, {"real", 59, 19},
                            {"money", 60, 14},      {"datetime", 61, 6},
                            {"float", 62, 9},       {"sql_variant", 98, 23},
                            {"ntext", 99, 16},      {"bit", 104, 3},
                            {"decimal", 106, 7},    {"numeric", 108, 17},
                            {"smallmoney", 122, 22}, {"bigint", 127, 1},
                            {"varbinary", 165, 33}, {"varchar", 167, 34},
                            {"binary", 173, 2},     {"char", 175, 4},
                            {"timestamp", 189, 27}, {"nvarchar", 231, 18},
                            {"nchar", 239, 15}});
  // Generic types the server lacks, mapped to the nearest native type.
  AddRows(dialect, {{"smalldatetime", 58, 5, "date"},
                    {"real", 59, 8, "double"},
                    {"varbinary", 165, 12, "long binary"},
                    {"nvarchar", 231, 13, "long varchar"},
                    {"timestamp", 189, 26, "time"},
                    {"bigint", 127, 30, "unsigned bigint"},
                    {"int", 56, 31, "unsigned int"},
                    {"smallint", 52, 32, "unsigned smallint"},
                    {"uniqueidentifier", 36, 35, "uniqueidentifierstr"},
                    {"text", 35, 36, "xml"}});
}

void FillAsaDataTypes(TDatabaseSpecific& dialect) {
  dialect.ClearDataTypes();
  AddSameNameRows(dialect, {{"text", 105, 25},         {"tinyint", 19, 28},
                            {"smallint", 1, 21}});
  AddRows(dialect, {{"integer", 2, 11, "int"}});
  AddSameNameRows(dialect, {{"smalldatetime", 104, 20}, {"double", 5, 8},
                            {"money", 101, 14},         {"datetime", 103, 6},
                            {"float", 4, 9},            {"bit", 24, 3},
                            {"decimal", 27, 7},         {"numeric", 3, 17},
                            {"smallmoney", 102, 22},    {"bigint", 20, 1},
                            {"varbinary", 28, 33},      {"varchar", 9, 34},
                            {"binary", 11, 2},          {"char", 7, 4},
                            {"timestamp", 13, 27},      {"date", 6, 5},
                            {"long binary", 12, 12},    {"long varchar", 10, 13},
                            {"time", 14, 26},           {"unsigned bigint", 23, 30},
                            {"unsigned int", 21, 31},   {"unsigned smallint", 22, 32},
                            {"image", 106, 10},         {"uniqueidentifier", 109, 29}});
  AddRows(dialect, {{"uniqueidentifierstr", 110, 35, "uniqueidentifier"},
                    {"xml", 111, 36, "xml"},
                    {"varchar", 65535, 18, "nvarchar"},
                    {"text", 105, 16, "ntext"},
                    {"<?\?\?>", 0, 23, "sql_variant"},
                    {"oldbit", 107, 3, "bit"},
                    {"sysname", 108, 0, "<?\?\?>"},
                    {"double", 8, 19, "real"}});
}

void FillAccessDataTypes(TDatabaseSpecific& dialect) {
  dialect.ClearDataTypes();
  AddSameNameRows(dialect, {{"smallint", 2, 21},  {"int", 3, 11},      {"real", 4, 19},
                            {"float", 5, 9},      {"money", 6, 14},    {"bit", 11, 3},
                            {"datetime", 61, 6},  {"tinyint", 17, 28}, {"uniqueidentifier", 72, 29},
                            {"decimal", 131, 7}});
  AddRows(dialect, {{"text", 202, 34, "varchar"},
                    {"memo", 203, 25, "text"},
                    {"ole", 205, 2, "binary"},
                    {"ole", 205, 10, "image"},
                    {"datetime", 61, 20, "smalldatetime"},
                    {"memo", 203, 16, "ntext"},
                    {"decimal", 131, 17, "numeric"},
                    {"money", 6, 22, "smallmoney"},
                    {"decimal", 131, 1, "bigint"},
                    {"binary", 205, 33, "varbinary"},
                    {"text", 202, 4, "char"},
                    {"datetime", 61, 27, "timestamp"},
                    {"text", 202, 18, "nvarchar"},
                    {"text", 202, 15, "nchar"},
                    {"datetime", 131, 5, "date"},
                    {"real", 4, 8, "double"},
                    {"binary", 205, 12, "long binary"},
                    {"text", 202, 13, "long varchar"},
                    {"datetime", 131, 26, "time"},
                    {"decimal", 131, 30, "unsigned bigint"},
                    {"int", 3, 31, "unsigned int"},
                    {"smallint", 2, 32, "unsigned smallint"},
                    {"", 0, 23, "sql_variant"},
                    {"", 0, 35, "uniqueidentifierstr"},
                    {"", 0, 36, "xml"}});
}
