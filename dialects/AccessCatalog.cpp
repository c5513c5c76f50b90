// Access dialect: the catalogue readers. Tables, columns and procedures come from the
// provider's rowsets; tables and columns gain the columns the engine reads of every server.
// Kinds Access does not have answer with a constant one-row rowset or a closed data set.
#include <memory>

#include "dialects/AccessRows.h"
#include "dialects/DataSetAccess.h"
#include "dialects/SchemaCriteria.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/DataSet.h"

using dialect_data::FieldValue;

namespace {

// Column flags of the provider's COLUMNS rowset.
constexpr int64_t kFlagWrite = 0x4;
constexpr int64_t kFlagWriteUnknown = 0x8;
constexpr int64_t kFlagIsLong = 0x80;

// Type indicators of the provider's COLUMNS rowset, and the data-type values of fields that
// some providers report in their place.
constexpr int64_t kIndicatorBytes = 128;
constexpr int64_t kIndicatorWideText = 130;
constexpr int64_t kIndicatorDate = 7;
constexpr int64_t kVarWChar = 202;
constexpr int64_t kLongVarWChar = 203;
constexpr int64_t kVarBinary = 204;
constexpr int64_t kLongVarBinary = 205;

// The native name the indicator stands for, before the type table is asked.
std::string IndicatorName(int64_t dataType, int64_t flags) {
  const bool isLong = (flags & kFlagIsLong) != 0;
  switch (dataType) {
    case kIndicatorWideText:
    case kVarWChar: return isLong ? "memo" : "text";
    case kLongVarWChar: return "memo";
    case kIndicatorBytes:
    case kVarBinary: return isLong ? "ole" : "binary";
    case kLongVarBinary: return "ole";
    case kIndicatorDate: return "datetime";
    default: return {};
  }
}

int64_t IntOr(const ado::Variant& value, int64_t fallback) {
  return value.IsNullOrEmpty() ? fallback : value.AsInt();
}

constexpr const char* kCatalogsQuery = "SELECT  '' AS CATALOG_NAME,  '' AS DESCRIPTION ";
constexpr const char* kUsersQuery =
    "SELECT  '' as GROUP_NAME,  '' AS LOGIN_NAME,  '' AS USER_NAME,  0 AS USER_ID ";
constexpr const char* kDbSpaceIndexesQuery =
    "select  '' INDEX_DBSPACE,  '' as TABLE_SCHEMA,  '' as TABLE_NAME,  '' as INDEX_NAME ";
constexpr const char* kDbSpaceTextQuery =
    "select  '' as TEXT_DBSPACE,  '' as TABLE_SCHEMA,  '' as TABLE_NAME ";
constexpr const char* kDbSpacesQuery =
    "select  0 as FILE_ID,  '' as DBSPACE_NAME,  ''  as FILE_NAME,  0 AS DBSPACE_DEFAULT ";

}  // namespace

std::string AccessTypeName(const TDatabaseSpecific& dialect, int64_t dataType, int64_t flags) {
  const std::string byIndicator = IndicatorName(dataType, flags);
  if (!byIndicator.empty()) {
    const TOrvDataType* type = dialect.FindDataType(byIndicator, kFindByNativeName);
    return type == nullptr ? std::string() : type->NativeName;
  }
  for (int i = 0; i < dialect.DataTypes.Count(); ++i) {
    const TOrvDataType& type = dialect.DataTypes.Object(i);
    if (type.NativeCode == dataType && !type.NativeName.empty()) return type.NativeName;
  }
  return {};
}

bool IsAccessCounter(int64_t dataType, int64_t flags) {
  return dataType == 3 && (flags & kFlagWrite) == 0 && (flags & kFlagWriteUnknown) != 0;
}

void FillAccessColumnRows(ado::TDataSet& source, ado::TDataSet& result,
                          const TDatabaseSpecific& dialect) {
  ado::FieldDefs fields = source.FieldDefs();
  const int sourceCount = static_cast<int>(fields.size());
  const size_t nullable = static_cast<size_t>(source.FieldByName("IS_NULLABLE").Index());
  fields[nullable].Type = ado::FieldType::ftInteger;  // 1 or 0, as every dialect gives it
  fields[nullable].Size = 0;
  fields.push_back({"COLUMN_TYPE_NAME", ado::FieldType::ftString, 50});
  for (const char* name : {"SIZE", "SCALE", "IS_IDENTITY", "IDENTITY_SEED", "IDENTITY_INCR"})
    fields.push_back({name, ado::FieldType::ftLargeint, 0});
  dialect_data::CreateEmpty(result, fields);

  for (dialect_data::First(source); !dialect_data::Eof(source); dialect_data::Next(source)) {
    ado::Row row;
    for (int i = 0; i < sourceCount; ++i) row.push_back(dialect_data::FieldValueAt(source, i));
    const bool isNullable = !row[nullable].IsNullOrEmpty() && row[nullable].AsBool();
    row[nullable] = ado::Variant(isNullable ? 1 : 0);
    const int64_t dataType = IntOr(FieldValue(source, "DATA_TYPE"), 0);
    const int64_t flags = IntOr(FieldValue(source, "COLUMN_FLAGS"), 0);
    const ado::Variant length = FieldValue(source, "CHARACTER_MAXIMUM_LENGTH");
    const int64_t size =
        length.IsNullOrEmpty() ? IntOr(FieldValue(source, "NUMERIC_PRECISION"), 0) : length.AsInt();
    const long long identity = IsAccessCounter(dataType, flags) ? 1 : 0;
    const long long scale = IntOr(FieldValue(source, "NUMERIC_SCALE"), 0);
    // Access counters start at 1 and step by 1.
    const ado::Row added = {ado::Variant(AccessTypeName(dialect, dataType, flags)),
                            ado::Variant(static_cast<long long>(size)), ado::Variant(scale),
                            ado::Variant(identity), ado::Variant(1), ado::Variant(1)};
    row.insert(row.end(), added.begin(), added.end());
    dialect_data::AppendRow(result, row);
  }
  dialect_data::First(result);
}

void FillAccessTableRows(ado::TDataSet& source, ado::TDataSet& result) {
  ado::FieldDefs fields = source.FieldDefs();
  const int sourceCount = static_cast<int>(fields.size());
  fields.push_back({"TABLE_DBSPACE", ado::FieldType::ftString, 50});
  dialect_data::CreateEmpty(result, fields);
  for (dialect_data::First(source); !dialect_data::Eof(source); dialect_data::Next(source)) {
    ado::Row row;
    for (int i = 0; i < sourceCount; ++i) row.push_back(dialect_data::FieldValueAt(source, i));
    row.push_back(std::string());
    dialect_data::AppendRow(result, row);
  }
  dialect_data::First(result);
}

namespace {

// Opens the provider's rowset `kind` on a second data set and fills `result` from it.
template <typename Fill>
void OpenExtended(ado::TDataSet& result, ado::TSchemaInfo kind, const ado::Variant& criteria,
                  Fill fill) {
  std::unique_ptr<ado::TDataSet> source = dialect_data::NewDataSetLike(result);
  dialect_data::OpenOleDbSchema(*source, kind, CheckedCriteria(criteria));
  fill(*source);
  dialect_data::Close(*source);
}

}  // namespace

void TAccessSpecific::OpenCatalogs(const ado::Variant& criteria, const ado::Variant&,
                                   ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kCatalogsQuery);
}

void TAccessSpecific::OpenColumns(const ado::Variant& criteria, const ado::Variant&,
                                  ado::TDataSet& dataSet) {
  OpenExtended(dataSet, ado::siColumns, criteria,
               [&](ado::TDataSet& source) { FillAccessColumnRows(source, dataSet, *this); });
}

void TAccessSpecific::OpenTables(const ado::Variant& criteria, const ado::Variant&,
                                 ado::TDataSet& dataSet) {
  OpenExtended(dataSet, ado::siTables, criteria,
               [&](ado::TDataSet& source) { FillAccessTableRows(source, dataSet); });
}

void TAccessSpecific::OpenProcedures(const ado::Variant& criteria, const ado::Variant&,
                                     ado::TDataSet& dataSet) {
  dialect_data::OpenOleDbSchema(dataSet, ado::siProcedures, CheckedCriteria(criteria));
}

void TAccessSpecific::OpenDefaultValues(const ado::Variant&, const ado::Variant&,
                                        ado::TDataSet& dataSet) {
  dialect_data::Close(dataSet);
}

void TAccessSpecific::OpenUsers(const ado::Variant& criteria, const ado::Variant&,
                                ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kUsersQuery);
}

void TAccessSpecific::OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant&,
                                         ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpaceIndexesQuery);
}

void TAccessSpecific::OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant&,
                                      ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpaceTextQuery);
}

void TAccessSpecific::OpenDbSpaces(const ado::Variant& criteria, const ado::Variant&,
                                   ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpacesQuery);
}

void TAccessSpecific::OpenClusterIndexes(const ado::Variant&, const ado::Variant&,
                                         ado::TDataSet&) {
  // Access has no clustered indexes: the data set stays closed as OpenSchema left it.
}
