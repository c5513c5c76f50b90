// The dialect base's work on data sets: the schema dispatcher and its OLE DB rowsets, the column
// builders that read a vsiColumns row, and the db-space list read from the catalogue.
#include "common/Text.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"
#include "dialects/DataSetAccess.h"
#include "dialects/DataTypeTables.h"
#include "dialects/SchemaCriteria.h"
#include "dialects/uDbSpecific.h"

using dialect_data::FieldText;
using dialect_data::FieldValue;

// ---- Schema rowsets ----

void TDatabaseSpecific::OpenSchema(TOrvSchemaInfo kind, const ado::Variant& criteria,
                                   const ado::Variant& schemaId, ado::TDataSet& dataSet) {
  dialect_data::Close(dataSet);
  switch (kind) {
    case vsiCatalogs: OpenCatalogs(criteria, schemaId, dataSet); break;
    case vsiTables: OpenTables(criteria, schemaId, dataSet); break;
    case vsiColumns: OpenColumns(criteria, schemaId, dataSet); break;
    case vsiViews: OpenViews(criteria, schemaId, dataSet); break;
    case vsiTableConstraints: OpenTableConstraints(criteria, schemaId, dataSet); break;
    case vsiIndexes: OpenIndexes(criteria, schemaId, dataSet); break;
    case vsiProcedures: OpenProcedures(criteria, schemaId, dataSet); break;
    case vsiForeignKeys: OpenForeignKeys(criteria, schemaId, dataSet); break;
    case vsiPrimaryKeys: OpenPrimaryKeys(criteria, schemaId, dataSet); break;
    case vsiDefaultValues: OpenDefaultValues(criteria, schemaId, dataSet); break;
    case vsiUsers: OpenUsers(criteria, schemaId, dataSet); break;
    case vsiDbSpaceIndexes: OpenDbSpaceIndexes(criteria, schemaId, dataSet); break;
    case vsiDbSpaceText: OpenDbSpaceText(criteria, schemaId, dataSet); break;
    case vsiClusterIndexes: OpenClusterIndexes(criteria, schemaId, dataSet); break;
    case vsiDbSpaces: OpenDbSpaces(criteria, schemaId, dataSet); break;
  }
}

void TDatabaseSpecific::OpenCatalogs(const ado::Variant& criteria, const ado::Variant&,
                                     ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siCatalogs, CheckedCriteria(criteria));
}

void TDatabaseSpecific::OpenTableConstraints(const ado::Variant& criteria, const ado::Variant&,
                                             ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siTableConstraints, CheckedCriteria(criteria));
}

void TDatabaseSpecific::OpenIndexes(const ado::Variant& criteria, const ado::Variant&,
                                    ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siIndexes, CheckedCriteria(criteria));
}

void TDatabaseSpecific::OpenViews(const ado::Variant& criteria, const ado::Variant&,
                                  ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siViews, CheckedCriteria(criteria));
}

void TDatabaseSpecific::OpenForeignKeys(const ado::Variant& criteria, const ado::Variant&,
                                        ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siForeignKeys, CheckedCriteria(criteria));
}

void TDatabaseSpecific::OpenPrimaryKeys(const ado::Variant& criteria, const ado::Variant&,
                                        ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siPrimaryKeys, CheckedCriteria(criteria));
}

void TDatabaseSpecific::OpenDbSpaceText(const ado::Variant&, const ado::Variant&,
                                        ado::TDataSet& dataSet) {
  dialect_data::Close(dataSet);
}

// ---- Column builders ----

std::string TDatabaseSpecific::GetSizeClause(int genericOrdinal, ado::TDataSet& row) {
  switch (genericOrdinal) {
    case gtBinary:
    case gtChar:
    case gtNchar:
    case gtNvarchar:
    case gtVarbinary:
    case gtVarchar: return " (" + FieldText(row, "size") + ") ";
    case gtDecimal:
    case gtNumeric: return " (" + FieldText(row, "size") + ", " + FieldText(row, "scale") + ") ";
    default: return {};
  }
}

std::string TDatabaseSpecific::GetNullClause(ado::TDataSet& row) {
  return FieldValue(row, "is_nullable").AsInt() == 0 ? " NOT NULL" : "";
}

std::string TDatabaseSpecific::GetDefaultText(ado::TDataSet& row) {
  return FieldText(row, "column_default");
}

std::string TDatabaseSpecific::GetColumnDefault(ado::TDataSet& first,
                                                ado::TDataSet* second) {
  std::string value = FieldText(first, "column_default");
  if (value.empty() && second != nullptr) value = FieldText(*second, "column_default");
  return value;
}

const TOrvDataType* TDatabaseSpecific::TranslateDataType(const TOrvDataType& masterType, ado::TDataSet&) const {
  return FindDataType(masterType.GenericName, kFindByGenericName);
}

const TOrvDataType* TDatabaseSpecific::IdentityDataType() const {
  const std::string& name = IdentityOptions->IdentityTypeName;
  return name.empty() ? nullptr : FindDataType(name, kFindByNativeName);
}

std::string TDatabaseSpecific::GetColumnDefinition(ado::TDataSet& row,
                                                   const TOrvDataType* masterType,
                                                   bool withNullClause, bool withIdentity,
                                                   const std::string& name) {
  if (masterType == nullptr) return {};
  const bool isIdentity = FieldValue(row, "is_identity").AsInt() == 1;
  const TOrvDataType* type = withIdentity && isIdentity && IdentityDataType() != nullptr
                                 ? IdentityDataType()
                                 : TranslateDataType(*masterType, row);
  if (type == nullptr) return {};

  const std::string columnName = name.empty() ? FieldText(row, "column_name") : name;
  std::string sql = QuoteName(columnName) + " " + type->NativeName +
                    GetSizeClause(type->GenericOrdinal, row);

  if (withIdentity && isIdentity) {
    sql += " IDENTITY ";
    if (IdentityOptions->WriteIdentitySeed) {
      std::string seed = FieldText(row, "IDENTITY_SEED");
      sql += "(" + (seed.empty() ? std::string("1") : seed);
      if (IdentityOptions->WriteIdentityIncrement) {
        std::string increment = FieldText(row, "IDENTITY_INCR");
        sql += ", " + (increment.empty() ? std::string("1") : increment) + ") ";
      } else {
        sql += ") ";
      }
    }
  }

  sql += GetCollateClause(FieldText(row, "collation_name"));

  if (!isIdentity || IdentityOptions->IdentityNullClause) {
    sql += withNullClause ? GetNullClause(row) : std::string(" NULL");
  } else {
    sql += " NOT NULL";
  }

  if (FieldValue(row, "is_identity").AsInt() == 0 && !DefaultAsConstraint) {
    const std::string defaultText = FieldText(row, "column_default");
    if (!defaultText.empty()) sql += " DEFAULT " + defaultText;
  }
  return sql;
}

namespace {

// "ALTER TABLE " with the owner, when given, and the quoted table name of the columns row.
std::string AlterTableHead(const TDatabaseSpecific& dialect, ado::TDataSet& row,
                           const std::string& owner) {
  std::string sql = "ALTER TABLE ";
  if (!owner.empty()) sql += owner + ".";
  return sql + dialect.QuoteName(FieldText(row, "table_name"));
}

}  // namespace

std::string TDatabaseSpecific::GetAddColumnSql(ado::TDataSet& row,
                                               const TOrvDataType* masterType,
                                               const std::string& owner, bool withNullClause,
                                               bool withIdentity) {
  return AlterTableHead(*this, row, owner) + " ADD " +
         GetColumnDefinition(row, masterType, withNullClause, withIdentity);
}

std::string TDatabaseSpecific::GetAlterColumnSql(ado::TDataSet& row,
                                                 const TOrvDataType* masterType,
                                                 const std::string& owner, bool withNullClause) {
  return AlterTableHead(*this, row, owner) + AlterColumnKeyword +
         GetColumnDefinition(row, masterType, withNullClause, false);
}

// ---- Db spaces ----

void TDatabaseSpecific::LoadDbSpaces(ado::TConnection& connection) {
  DbSpaces.Clear();
  std::unique_ptr<ado::TDataSet> dataSet = dialect_data::NewDataSetOn(connection);
  try {
    OpenSchema(vsiDbSpaces, ado::Variant(), ado::Variant(), *dataSet);
  } catch (const ado::EDataError&) {
    return;  // no db spaces can be read: the list stays empty
  }
  if (!dialect_data::IsOpen(*dataSet)) return;
  for (dialect_data::First(*dataSet); !dialect_data::Eof(*dataSet); dialect_data::Next(*dataSet)) {
    const std::string name = FieldText(*dataSet, "DBSPACE_NAME");
    if (DbSpaceExists(name)) continue;
    auto elem = std::make_unique<TDbSpaceElem>();
    elem->FileId = static_cast<int>(FieldValue(*dataSet, "FILE_ID").AsInt());
    elem->FileName = FieldText(*dataSet, "FILE_NAME");
    elem->DbSpaceName = name;
    elem->IsDefault = FieldValue(*dataSet, "DBSPACE_DEFAULT").AsInt() != 0;
    DbSpaces.Add(name, std::move(elem));
  }
  dialect_data::Close(*dataSet);
}
