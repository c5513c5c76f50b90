// SQL Server dialect: the catalogue readers (system-table queries and the rowsets built in
// memory from them) and the connection values read from the server.
#include <map>
#include <set>
#include <utility>

#include "common/Text.h"
#include "dialects/DataSetAccess.h"
#include "dialects/SchemaCriteria.h"
#include "dialects/SqlServerQueries.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

using namespace sqlserver_queries;
using dialect_data::FieldText;
using dialect_data::FieldValue;

namespace {

ado::FieldDef Str(const char* name, int size) { return {name, ado::FieldType::ftString, size}; }
ado::FieldDef Memo(const char* name) { return {name, ado::FieldType::ftMemo, 0}; }
ado::FieldDef Int(const char* name) { return {name, ado::FieldType::ftInteger, 0}; }
ado::FieldDef Date(const char* name) { return {name, ado::FieldType::ftDateTime, 0}; }

// Views and procedures end with QUOTED_IDENTIFIER, the setting each object was created under (1
// or 0): whether its double quotes name objects or enclose strings.
const ado::FieldDefs& ViewFields() {
  static const ado::FieldDefs fields = {
      Str("TABLE_CATALOG", 50), Str("TABLE_SCHEMA", 50), Str("TABLE_NAME", 100),
      Memo("VIEW_DEFINITION"),  Str("CHECK_OPTION", 5),  Int("IS_UPDATABLE"),
      Str("DESCRIPTION", 4000), Date("DATE_CREATED"),    Date("DATE_MODIFIED"),
      Int("QUOTED_IDENTIFIER")};
  return fields;
}

const ado::FieldDefs& ProcedureFields() {
  static const ado::FieldDefs fields = {
      Str("PROCEDURE_CATALOG", 50), Str("PROCEDURE_SCHEMA", 50), Str("PROCEDURE_NAME", 100),
      Str("PROCEDURE_TYPE", 5),     Memo("PROCEDURE_DEFINITION"), Str("DESCRIPTION", 4000),
      Int("ENCRYPTED"),             Date("DATE_CREATED"),         Date("DATE_MODIFIED"),
      Int("QUOTED_IDENTIFIER")};
  return fields;
}

const ado::FieldDefs& PrimaryKeyFields() {
  static const ado::FieldDefs fields = {
      Str("TABLE_CATALOG", 50), Str("TABLE_SCHEMA", 50), Str("TABLE_NAME", 50),
      Str("COLUMN_NAME", 50),   Str("COLUMN_GUID", 50),  Int("COLUMN_PROPID"),
      Int("ORDINAL"),           Str("PK_NAME", 50)};
  return fields;
}

const ado::FieldDefs& ClusterIndexFields() {
  static const ado::FieldDefs fields = {Str("TABLE_CATALOG", 50), Str("TABLE_SCHEMA", 50),
                                        Str("TABLE_NAME", 50),    Str("INDEX_CATALOG", 50),
                                        Str("INDEX_SCHEMA", 50),  Str("INDEX_NAME", 50)};
  return fields;
}

// The values of the current row, in field order, for `count` fields.
ado::Row CurrentRow(ado::TDataSet& dataSet, int count) {
  ado::Row row;
  row.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) row.push_back(dialect_data::FieldValueAt(dataSet, i));
  return row;
}

// The catalogue keeps a long source text in consecutive rows of one object. Builds one row per
// object, its text the rows' texts joined; an encrypted object gives one row without text.
// Objects are told apart by owner and name (case ignored), so that two owners' objects of the
// same name never share a text.
void FillJoinedTextRowset(ado::TDataSet& result, const ado::FieldDefs& fields,
                          const std::string& sql, const char* schemaField, const char* nameField,
                          int textIndex, int encryptedIndex) {
  dialect_data::CreateEmpty(result, fields);
  std::unique_ptr<ado::TDataSet> source = dialect_data::NewDataSetLike(result);
  dialect_data::OpenQuery(*source, sql);

  const int count = static_cast<int>(fields.size());
  ado::Row pending;
  bool havePending = false;
  bool pendingEncrypted = false;
  std::string lastSchema;
  std::string lastName;
  for (dialect_data::First(*source); !dialect_data::Eof(*source); dialect_data::Next(*source)) {
    const std::string schema = FieldText(*source, schemaField);
    const std::string name = FieldText(*source, nameField);
    const bool encrypted =
        encryptedIndex >= 0 && dialect_data::FieldValueAt(*source, encryptedIndex).AsInt() == 1;
    if (havePending && text::SameText(schema, lastSchema) && text::SameText(name, lastName)) {
      if (!pendingEncrypted) {
        pending[static_cast<size_t>(textIndex)] =
            pending[static_cast<size_t>(textIndex)].AsString() +
            dialect_data::FieldValueAt(*source, textIndex).AsString();
      }
      continue;
    }
    if (havePending) dialect_data::AppendRow(result, pending);
    pending = CurrentRow(*source, count);
    if (encrypted) {
      pending[static_cast<size_t>(textIndex)] = ado::Variant::Null();
      pending[static_cast<size_t>(encryptedIndex)] = 1;
    }
    havePending = true;
    pendingEncrypted = encrypted;
    lastSchema = schema;
    lastName = name;
  }
  if (havePending) dialect_data::AppendRow(result, pending);
  dialect_data::Close(*source);
  dialect_data::First(result);
}

// Code of a TABLE_TYPE value in sysobjects.xtype, with the clause that tells views apart.
std::string TableTypeClause(const std::string& tableType) {
  std::string code;
  std::string extra;
  if (tableType == "SYSTEM TABLE") {
    code = "S";
  } else if (tableType == "TABLE") {
    code = "U";
  } else if (tableType == "VIEW") {
    code = "V";
    extra = " and obj.category = 0";
  } else if (tableType == "SYSTEM VIEW") {
    code = "V";
    extra = " and obj.category = 2";
  }
  return " and obj.xType = " + SqlLiteral(code) + extra;
}

std::string ConstraintTypeClause(const std::string& constraintType) {
  if (constraintType == "PRIMARY KEY") return " and so1.xType = 'PK' ";
  if (constraintType == "FOREIGN KEY") return " and so1.xType = 'F' ";
  if (constraintType == "CHECK") return " and so1.xType = 'C' ";
  if (constraintType == "UNIQUE") return " and so1.xType = 'UQ' ";
  return " and so1.xType = '' ";  // no constraint has another type
}

// Key positions 1 to keyCount of one table's primary key, one parenthesized select per position.
std::string PrimaryKeyColumnsQuery(const std::string& owner, const std::string& table,
                                   int64_t keyCount) {
  std::string sql;
  for (int64_t k = 1; k <= keyCount; ++k) {
    const std::string position = std::to_string(k);
    if (!sql.empty()) sql += " UNION ";
    sql += "(select db_name() as TABLE_CATALOG, user_name(o.uid) as TABLE_SCHEMA,"
           " o.name as TABLE_NAME, c.name as COLUMN_NAME,"
           " convert(uniqueidentifier, null) as COLUMN_GUID, convert(int, null) as COLUMN_PROPID, " +
           position + " as ORDINAL, i.name as PK_NAME"
           " from sysindexes i, syscolumns c, sysobjects o"
           " where o.type = 'U' and o.id = c.id and o.id = i.id"
           " and (i.status & 0x800) = 0x800 and permissions(o.id) <> 0"
           " and c.name = index_col(" + SqlLiteral(owner + "." + table) + ", i.indid, " +
           position + ") and o.name = " + SqlLiteral(table) +
           " and user_name(o.uid) = " + SqlLiteral(owner) + ")";
  }
  return sql;
}

// A column of a user data type (sp_addtype) reads as the system type it is built on; its size
// is already the column's own, so its definition can be written on any server.
void ReadUserTypesAsBaseTypes(ado::TDataSet& columns) {
  bool any = false;
  for (dialect_data::First(columns); !dialect_data::Eof(columns); dialect_data::Next(columns))
    any |= FieldValue(columns, "COLUMN_TYPE").AsInt() > 256;
  dialect_data::First(columns);
  if (!any) return;
  std::map<int64_t, std::pair<int64_t, std::string>> bases;
  {
    auto types = dialect_data::NewDataSetLike(columns);
    dialect_data::OpenQuery(*types,
                            "select u.xusertype as USER_TYPE, b.xusertype as BASE_TYPE, b.name as BASE_NAME "
                            "from systypes u inner join systypes b on b.xusertype = u.xtype "
                            "where u.xusertype > 256");
    for (; !dialect_data::Eof(*types); dialect_data::Next(*types))
      bases[FieldValue(*types, "USER_TYPE").AsInt()] = {FieldValue(*types, "BASE_TYPE").AsInt(),
                                                        FieldText(*types, "BASE_NAME")};
  }
  for (dialect_data::First(columns); !dialect_data::Eof(columns); dialect_data::Next(columns)) {
    auto it = bases.find(FieldValue(columns, "COLUMN_TYPE").AsInt());
    if (it == bases.end()) continue;
    columns.Edit();
    columns.FieldByName("COLUMN_TYPE").SetAsInteger(it->second.first);
    columns.FieldByName("COLUMN_TYPE_NAME").SetAsString(it->second.second);
    columns.Post();
  }
  dialect_data::First(columns);
}

}  // namespace

void TSqlServerSpecific::OpenTables(const ado::Variant& criteria, const ado::Variant&,
                                    ado::TDataSet& dataSet) {
  std::string sql = kTablesQuery + CriteriaClauses(criteria, {" and db_name() = ",
                                                              " and user_name(obj.uid) = ",
                                                              " and obj.name = "});
  if (HasCriteriaElement(criteria, 3)) sql += TableTypeClause(CriteriaElement(criteria, 3).AsString());
  dialect_data::OpenQuery(dataSet, sql);
}

void TSqlServerSpecific::OpenColumns(const ado::Variant& criteria, const ado::Variant&,
                                     ado::TDataSet& dataSet) {
  std::string sql = kColumnsQuery + CriteriaClauses(criteria, {" and db_name() = ",
                                                               " and user_name(obj.uid) = ",
                                                               " and obj.name = ",
                                                               " and col.name = "});
  if (HasCriteriaElement(criteria, 4)) {
    const ado::Variant identity = CriteriaElement(criteria, 4);
    const bool identityOnly = text::Trim(identity.AsString()) == "1";
    sql += identityOnly ? " and (col.status & 128) = 128 " : " and (col.status & 128) <> 128 ";
  }
  dialect_data::OpenQuery(dataSet, sql);
  ReadUserTypesAsBaseTypes(dataSet);
}

void TSqlServerSpecific::OpenTableConstraints(const ado::Variant& criteria, const ado::Variant&,
                                              ado::TDataSet& dataSet) {
  std::string sql =
      kTableConstraintsQuery + CriteriaClauses(criteria, {" and db_name() = ",
                                                          " and user_name(so1.uid) = ",
                                                          " and so1.name = ",
                                                          " and db_name() = ",
                                                          " and user_name(so2.uid) = ",
                                                          " and so2.name = "});
  if (HasCriteriaElement(criteria, 6)) {
    sql += ConstraintTypeClause(CriteriaElement(criteria, 6).AsString());
  }
  dialect_data::OpenQuery(dataSet, sql);
}

void TSqlServerSpecific::OpenDefaultValues(const ado::Variant& criteria, const ado::Variant&,
                                           ado::TDataSet& dataSet) {
  dialect_data::OpenQuery(dataSet, kDefaultValuesQuery +
                                       CriteriaClauses(criteria, {" and so1.name = ",
                                                                  " and user_name(so2.uid) = ",
                                                                  " and so2.name = ",
                                                                  " and sc1.name = "}));
}

void TSqlServerSpecific::OpenUsers(const ado::Variant& criteria, const ado::Variant&,
                                   ado::TDataSet& dataSet) {
  dialect_data::OpenQuery(dataSet, kUsersQuery + CriteriaClauses(criteria, {" and usg.name = ",
                                                                            " and lo.loginname = ",
                                                                            " and usu.name = "}));
}

void TSqlServerSpecific::OpenDbSpaceIndexes(const ado::Variant& criteria, const ado::Variant&,
                                            ado::TDataSet& dataSet) {
  dialect_data::OpenQuery(dataSet,
                          kDbSpaceIndexesQuery +
                              CriteriaClauses(criteria, {" and fileGroup_name(idx.groupId) = ",
                                                         " and user_name(obj.uid) = ",
                                                         " and obj.name = ", " and idx.name = "}));
}

void TSqlServerSpecific::OpenDbSpaceText(const ado::Variant& criteria, const ado::Variant&,
                                         ado::TDataSet& dataSet) {
  dialect_data::OpenQuery(dataSet,
                          kDbSpaceTextQuery +
                              CriteriaClauses(criteria, {" and fileGroup_name(idx.groupId) = ",
                                                         " and user_name(obj.uid) = ",
                                                         " and obj.name = "}));
}

void TSqlServerSpecific::OpenDbSpaces(const ado::Variant& criteria, const ado::Variant&,
                                      ado::TDataSet& dataSet) {
  CheckedCriteria(criteria);
  dialect_data::OpenQuery(dataSet, kDbSpacesQuery);
}

void TSqlServerSpecific::OpenProcedures(const ado::Variant& criteria, const ado::Variant&,
                                        ado::TDataSet& dataSet) {
  const std::string sql =
      kProceduresQuery + CriteriaClauses(criteria, {" and db_name() = ",
                                                    " and user_name(obj.uid) = ",
                                                    " and obj.name = ", " and obj.xType = "});
  FillJoinedTextRowset(dataSet, ProcedureFields(), sql, "PROCEDURE_SCHEMA", "PROCEDURE_NAME",
                       4, 6);
}

void TSqlServerSpecific::OpenViews(const ado::Variant& criteria, const ado::Variant&,
                                   ado::TDataSet& dataSet) {
  const std::string sql =
      kViewsQuery + CriteriaClauses(criteria, {" and db_name() = ", " and user_name(obj.uid) = ",
                                               " and obj.name = "});
  FillJoinedTextRowset(dataSet, ViewFields(), sql, "TABLE_SCHEMA", "TABLE_NAME", 3, -1);
}

void TSqlServerSpecific::OpenPrimaryKeys(const ado::Variant& criteria, const ado::Variant&,
                                         ado::TDataSet& dataSet) {
  const std::string tablesSql =
      kPrimaryKeyTablesQuery +
      CriteriaClauses(criteria,
                      {" and db_name() = ", " and user_name(o.uid) = ", " and o.name = "}) +
      kPrimaryKeyTablesOrder;
  dialect_data::CreateEmpty(dataSet, PrimaryKeyFields());
  std::unique_ptr<ado::TDataSet> tables = dialect_data::NewDataSetLike(dataSet);
  dialect_data::OpenQuery(*tables, tablesSql);
  std::unique_ptr<ado::TDataSet> keys = dialect_data::NewDataSetLike(dataSet);
  const int count = static_cast<int>(PrimaryKeyFields().size());
  for (dialect_data::First(*tables); !dialect_data::Eof(*tables); dialect_data::Next(*tables)) {
    const int64_t keyCount = FieldValue(*tables, "KEY_COUNT").AsInt();
    if (keyCount <= 0) continue;
    dialect_data::OpenQuery(*keys, PrimaryKeyColumnsQuery(FieldText(*tables, "TABLE_SCHEMA"),
                                                          FieldText(*tables, "TABLE_NAME"),
                                                          keyCount));
    for (dialect_data::First(*keys); !dialect_data::Eof(*keys); dialect_data::Next(*keys)) {
      dialect_data::AppendRow(dataSet, CurrentRow(*keys, count));
    }
    dialect_data::Close(*keys);
  }
  dialect_data::Close(*tables);
  dialect_data::First(dataSet);
}

void TSqlServerSpecific::OpenForeignKeys(const ado::Variant& criteria, const ado::Variant&,
                                         ado::TDataSet& dataSet) {
  // Upper-case owner + "\n" + upper-case name of each disabled key.
  const auto keyOf = [](const std::string& owner, const std::string& name) {
    return text::Upper(owner) + '\n' + text::Upper(name);
  };
  std::set<std::string> disabled;
  std::unique_ptr<ado::TDataSet> read = dialect_data::NewDataSetLike(dataSet);
  dialect_data::OpenQuery(*read, kForeignKeyStatesQuery);
  for (dialect_data::First(*read); !dialect_data::Eof(*read); dialect_data::Next(*read)) {
    if (FieldValue(*read, "IS_DISABLED").AsInt() != 0) {
      disabled.insert(keyOf(FieldText(*read, "KEY_SCHEMA"), FieldText(*read, "KEY_NAME")));
    }
  }
  dialect_data::Close(*read);
  std::unique_ptr<ado::TDataSet> keys = dialect_data::NewDataSetLike(dataSet);
  dialect_data::OpenOleDbSchema(*keys, ado::siForeignKeys, CheckedCriteria(criteria));
  ado::FieldDefs fields = keys->FieldDefs();
  const int count = static_cast<int>(fields.size());
  fields.push_back(Int("IS_DISABLED"));
  dialect_data::CreateEmpty(dataSet, fields);
  for (dialect_data::First(*keys); !dialect_data::Eof(*keys); dialect_data::Next(*keys)) {
    ado::Row row = CurrentRow(*keys, count);
    row.push_back(disabled.count(keyOf(FieldText(*keys, "FK_TABLE_SCHEMA"), FieldText(*keys, "FK_NAME"))) > 0 ? 1 : 0);
    dialect_data::AppendRow(dataSet, row);
  }
  dialect_data::Close(*keys);
  dialect_data::First(dataSet);
}

void TSqlServerSpecific::OpenClusterIndexes(const ado::Variant& criteria, const ado::Variant&,
                                            ado::TDataSet& dataSet) {
  dialect_data::CreateEmpty(dataSet, ClusterIndexFields());
  std::unique_ptr<ado::TDataSet> indexes = dialect_data::NewDataSetLike(dataSet);
  dialect_data::OpenOleDbSchema(*indexes, ado::siIndexes, CheckedCriteria(criteria));
  dialect_data::Sort(*indexes, "table_name; index_name");
  bool haveLast = false;
  std::string lastTable;
  std::string lastIndex;
  for (dialect_data::First(*indexes); !dialect_data::Eof(*indexes);
       dialect_data::Next(*indexes)) {
    const std::string table = FieldText(*indexes, "TABLE_NAME");
    const std::string index = FieldText(*indexes, "INDEX_NAME");
    if (haveLast && text::SameText(table, lastTable) && text::SameText(index, lastIndex)) continue;
    haveLast = true;
    lastTable = table;
    lastIndex = index;
    if (!FieldValue(*indexes, "CLUSTERED").AsBool()) continue;
    dialect_data::AppendRow(dataSet, {FieldValue(*indexes, "TABLE_CATALOG"),
                                      FieldValue(*indexes, "TABLE_SCHEMA"),
                                      FieldValue(*indexes, "TABLE_NAME"),
                                      FieldValue(*indexes, "INDEX_CATALOG"),
                                      FieldValue(*indexes, "INDEX_SCHEMA"),
                                      FieldValue(*indexes, "INDEX_NAME")});
  }
  dialect_data::Close(*indexes);
  dialect_data::First(dataSet);
}

// ---- Connection values ----

void TSqlServerSpecific::GetDatabaseName(ado::TConnection& connection) {
  DatabaseName.clear();
  try {
    std::unique_ptr<ado::TDataSet> query = dialect_data::NewDataSetOn(connection);
    dialect_data::OpenQuery(*query, kDatabaseNameQuery);
    if (!dialect_data::Eof(*query)) DatabaseName = FieldText(*query, "database_name");
  } catch (const ado::EDataError&) {
    DatabaseName.clear();  // no name: the connection string's database is used instead
  }
}

void TSqlServerSpecific::GetDateFormat(ado::TConnection& connection) {
  DateFormat = "mdy";
  std::unique_ptr<ado::TDataSet> query = dialect_data::NewDataSetOn(connection);
  dialect_data::OpenQuery(*query, kDateFormatQuery);
  if (!dialect_data::Eof(*query)) DateFormat = FieldText(*query, "dateFormat");
}

bool TSqlServerSpecific::LoginExists(ado::TConnection& connection, const std::string& login) {
  try {
    std::unique_ptr<ado::TDataSet> query = dialect_data::NewDataSetOn(connection);
    dialect_data::OpenQuery(*query, kLoginsQuery);
    for (dialect_data::First(*query); !dialect_data::Eof(*query); dialect_data::Next(*query)) {
      if (text::SameText(text::Trim(FieldText(*query, "loginName")), login)) return true;
    }
  } catch (const ado::EDataError&) {
    return false;
  }
  return false;
}
