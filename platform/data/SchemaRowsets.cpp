#include "platform/data/SchemaRowsets.h"

#include <map>

namespace ado {

namespace {

// Column of a schema rowset by OLE DB type indicator.
FieldDef W(const char* name, int size = 128) { return {name, FieldType::ftString, size, 0, 0, false}; }
FieldDef Memo(const char* name) { return {name, FieldType::ftMemo, 0, 0, 0, false}; }
FieldDef Guid(const char* name) { return {name, FieldType::ftGuid, 38, 0, 0, false}; }
FieldDef UI4(const char* name) { return {name, FieldType::ftLargeint, 0, 0, 0, false}; }
FieldDef I4(const char* name) { return {name, FieldType::ftInteger, 0, 0, 0, false}; }
FieldDef I2(const char* name) { return {name, FieldType::ftSmallint, 0, 0, 0, false}; }
FieldDef UI2(const char* name) { return {name, FieldType::ftInteger, 0, 0, 0, false}; }
FieldDef UI8(const char* name) { return {name, FieldType::ftLargeint, 0, 0, 0, false}; }
FieldDef Bool(const char* name) { return {name, FieldType::ftBoolean, 0, 0, 0, false}; }
FieldDef Date(const char* name) { return {name, FieldType::ftDateTime, 0, 0, 0, false}; }

struct RowsetShape {
  std::string name;
  FieldDefs columns;
  std::vector<std::string> restrictions;
};

const std::map<TSchemaInfo, RowsetShape>& Shapes() {
  static const std::map<TSchemaInfo, RowsetShape> shapes = {
      {siCatalogs, {"CATALOGS", {W("CATALOG_NAME"), W("DESCRIPTION")}, {"CATALOG_NAME"}}},
      {siTables,
       {"TABLES",
        {W("TABLE_CATALOG"), W("TABLE_SCHEMA"), W("TABLE_NAME"), W("TABLE_TYPE"), Guid("TABLE_GUID"),
         W("DESCRIPTION", 4000), UI4("TABLE_PROPID"), Date("DATE_CREATED"), Date("DATE_MODIFIED")},
        {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}}},
      {siColumns,
       {"COLUMNS",
        {W("TABLE_CATALOG"), W("TABLE_SCHEMA"), W("TABLE_NAME"), W("COLUMN_NAME"), Guid("COLUMN_GUID"),
         UI4("COLUMN_PROPID"), UI4("ORDINAL_POSITION"), Bool("COLUMN_HASDEFAULT"),
         Memo("COLUMN_DEFAULT"), UI4("COLUMN_FLAGS"), Bool("IS_NULLABLE"), UI2("DATA_TYPE"),
         Guid("TYPE_GUID"), UI4("CHARACTER_MAXIMUM_LENGTH"), UI4("CHARACTER_OCTET_LENGTH"),
         UI2("NUMERIC_PRECISION"), I2("NUMERIC_SCALE"), UI4("DATETIME_PRECISION"),
         W("CHARACTER_SET_CATALOG"), W("CHARACTER_SET_SCHEMA"), W("CHARACTER_SET_NAME"),
         W("COLLATION_CATALOG"), W("COLLATION_SCHEMA"), W("COLLATION_NAME"), W("DOMAIN_CATALOG"),
         W("DOMAIN_SCHEMA"), W("DOMAIN_NAME"), W("DESCRIPTION", 4000)},
        {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME"}}},
      {siIndexes,
       {"INDEXES",
        {W("TABLE_CATALOG"), W("TABLE_SCHEMA"), W("TABLE_NAME"), W("INDEX_CATALOG"),
         W("INDEX_SCHEMA"), W("INDEX_NAME"), Bool("PRIMARY_KEY"), Bool("UNIQUE"), Bool("CLUSTERED"),
         UI2("TYPE"), I4("FILL_FACTOR"), I4("INITIAL_SIZE"), I4("NULLS"), Bool("SORT_BOOKMARKS"),
         Bool("AUTO_UPDATE"), I4("NULL_COLLATION"), UI4("ORDINAL_POSITION"), W("COLUMN_NAME"),
         Guid("COLUMN_GUID"), UI4("COLUMN_PROPID"), I2("COLLATION"), UI8("CARDINALITY"),
         I4("PAGES"), W("FILTER_CONDITION"), Bool("INTEGRATED")},
        {"TABLE_CATALOG", "TABLE_SCHEMA", "INDEX_NAME", "TYPE", "TABLE_NAME"}}},
      {siForeignKeys,
       {"FOREIGN_KEYS",
        {W("PK_TABLE_CATALOG"), W("PK_TABLE_SCHEMA"), W("PK_TABLE_NAME"), W("PK_COLUMN_NAME"),
         Guid("PK_COLUMN_GUID"), UI4("PK_COLUMN_PROPID"), W("FK_TABLE_CATALOG"), W("FK_TABLE_SCHEMA"),
         W("FK_TABLE_NAME"), W("FK_COLUMN_NAME"), Guid("FK_COLUMN_GUID"), UI4("FK_COLUMN_PROPID"),
         UI4("ORDINAL"), W("UPDATE_RULE"), W("DELETE_RULE"), W("PK_NAME"), W("FK_NAME"),
         I2("DEFERRABILITY")},
        {"PK_TABLE_CATALOG", "PK_TABLE_SCHEMA", "PK_TABLE_NAME", "FK_TABLE_CATALOG",
         "FK_TABLE_SCHEMA", "FK_TABLE_NAME"}}},
      {siPrimaryKeys,
       {"PRIMARY_KEYS",
        {W("TABLE_CATALOG"), W("TABLE_SCHEMA"), W("TABLE_NAME"), W("COLUMN_NAME"), Guid("COLUMN_GUID"),
         UI4("COLUMN_PROPID"), UI4("ORDINAL"), W("PK_NAME")},
        {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}}},
      {siViews,
       {"VIEWS",
        {W("TABLE_CATALOG"), W("TABLE_SCHEMA"), W("TABLE_NAME"), Memo("VIEW_DEFINITION"),
         Bool("CHECK_OPTION"), Bool("IS_UPDATABLE"), W("DESCRIPTION", 4000), Date("DATE_CREATED"),
         Date("DATE_MODIFIED")},
        {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME"}}},
      {siProcedures,
       {"PROCEDURES",
        {W("PROCEDURE_CATALOG"), W("PROCEDURE_SCHEMA"), W("PROCEDURE_NAME"), I2("PROCEDURE_TYPE"),
         Memo("PROCEDURE_DEFINITION"), W("DESCRIPTION", 4000), Date("DATE_CREATED"),
         Date("DATE_MODIFIED")},
        {"PROCEDURE_CATALOG", "PROCEDURE_SCHEMA", "PROCEDURE_NAME", "PROCEDURE_TYPE"}}},
      {siTableConstraints,
       {"TABLE_CONSTRAINTS",
        {W("CONSTRAINT_CATALOG"), W("CONSTRAINT_SCHEMA"), W("CONSTRAINT_NAME"), W("TABLE_CATALOG"),
         W("TABLE_SCHEMA"), W("TABLE_NAME"), W("CONSTRAINT_TYPE"), Bool("IS_DEFERRABLE"),
         Bool("INITIALLY_DEFERRED"), W("DESCRIPTION", 4000)},
        {"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "TABLE_CATALOG",
         "TABLE_SCHEMA", "TABLE_NAME", "CONSTRAINT_TYPE"}}},
  };
  return shapes;
}

const RowsetShape& Shape(TSchemaInfo kind) {
  static const RowsetShape empty;
  auto it = Shapes().find(kind);
  return it == Shapes().end() ? empty : it->second;
}

}  // namespace

const FieldDefs& SchemaRowsetColumns(TSchemaInfo kind) { return Shape(kind).columns; }

const std::vector<std::string>& SchemaRowsetRestrictions(TSchemaInfo kind) {
  return Shape(kind).restrictions;
}

std::string SchemaRowsetName(TSchemaInfo kind) { return Shape(kind).name; }

}  // namespace ado
