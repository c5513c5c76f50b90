#include "engine/SchemaFiles.h"

#include <map>

#include "common/Paths.h"
#include "engine/SchemaValidation.h"
#include "engine/uDm.h"
#include "platform/data/DataSet.h"
#include "platform/data/SchemaRowsets.h"

namespace schema_files {

namespace {

struct KindShape {
  TOrvSchemaInfo kind;
  // The schema rowset whose columns a server may write for the kind; 0 when there is none.
  int rowset;
  // The columns the dialects add to it or write in its place.
  std::vector<std::string> own;
};

const KindShape kShapes[] = {
    {vsiCatalogs, ado::siCatalogs, {}},
    {vsiTables, ado::siTables, {"TABLE_DBSPACE"}},
    {vsiColumns, ado::siColumns,
     {"DATABASE_NAME", "COLUMN_TYPE", "COLUMN_TYPE_NAME", "SIZE", "SCALE", "IS_IDENTITY", "IDENTITY_SEED",
      "IDENTITY_INCR"}},
    {vsiViews, ado::siViews, {"QUOTED_IDENTIFIER"}},
    {vsiTableConstraints, ado::siTableConstraints, {"TEXT"}},
    {vsiIndexes, ado::siIndexes, {}},
    {vsiProcedures, ado::siProcedures, {"ENCRYPTED", "QUOTED_IDENTIFIER"}},
    {vsiForeignKeys, ado::siForeignKeys, {"IS_DISABLED"}},
    {vsiPrimaryKeys, ado::siPrimaryKeys, {}},
    {vsiDefaultValues, 0,
     {"CONSTRAINT_NAME", "ID", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "COLUMN_TYPE", "COLUMN_TYPE_NAME", "TEXT"}},
    {vsiUsers, 0, {"GROUP_NAME", "LOGIN_NAME", "USER_NAME", "USER_ID"}},
    {vsiDbSpaceIndexes, 0, {"INDEX_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME", "INDEX_NAME"}},
    {vsiDbSpaceText, 0, {"TEXT_DBSPACE", "TABLE_SCHEMA", "TABLE_NAME"}},
    {vsiClusterIndexes, 0,
     {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "INDEX_CATALOG", "INDEX_SCHEMA", "INDEX_NAME"}},
    {vsiDbSpaces, 0, {"FILE_ID", "DBSPACE_NAME", "FILE_NAME", "DBSPACE_DEFAULT"}},
};

}  // namespace

const std::vector<std::string>& KindFields(TOrvSchemaInfo kind) {
  static const std::map<TOrvSchemaInfo, std::vector<std::string>> fields = [] {
    std::map<TOrvSchemaInfo, std::vector<std::string>> all;
    for (const KindShape& shape : kShapes) {
      std::vector<std::string>& names = all[shape.kind];
      if (shape.rowset != 0) {
        for (const ado::FieldDef& def : ado::SchemaRowsetColumns(static_cast<ado::TSchemaInfo>(shape.rowset))) {
          names.push_back(def.Name);
        }
      }
      names.insert(names.end(), shape.own.begin(), shape.own.end());
    }
    return all;
  }();
  return fields.at(kind);
}

std::string PathOf(TOrvSchemaInfo kind, const std::string& folder) {
  return paths::ResolveFolder(Tdm::SchemaFolderFile(folder, EnumName(kind) + ".xml"));
}

std::string Load(ado::TDataSet& set, TOrvSchemaInfo kind, const std::string& folder) {
  const std::string path = PathOf(kind, folder);
  ado::PersistedLoad rules;
  rules.maxValueBytes = schema_validation::kMaxFieldBytes;
  rules.fields = KindFields(kind);
  rules.refuseDocumentType = true;
  set.LoadFromFile(path, rules);
  return path;
}

}  // namespace schema_files
