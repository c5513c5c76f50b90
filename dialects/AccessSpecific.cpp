// Access dialect: field values and statement builders in Jet's forms. The catalogue readers are
// in AccessCatalog.cpp, the database operations in AccessDatabases.cpp.
#include <cstdint>

#include "common/AccessNames.h"
#include "dialects/DataTypeTables.h"
#include "dialects/ReservedWords.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/DataSet.h"

TAccessSpecific::TAccessSpecific(IDialectOwner* owner) : TDatabaseSpecific(owner) {
  QuoteOpen = "[";
  QuoteClose = "]";
  FillAccessDataTypes(*this);
  DefaultAsConstraint = false;
  IdentityOptions->IdentityAddPlain = true;
  IdentityOptions->IdentityNullClause = false;
  IdentityOptions->WriteIdentitySeed = false;
  IdentityOptions->WriteIdentityIncrement = false;
  IdentityOptions->IdentityTypeName = "int";
  FillNullsOnAlter = true;
  CreateKeepsNullable = true;
  AlterColumnKeyword = " ALTER COLUMN ";
  // Written between the table and the column: "ALTER TABLE T DROP COLUMN c".
  DropColumnKeyword = " DROP COLUMN ";
  DropConstraintFormat = " DROP CONSTRAINT %s";
  UseDbSpaces = false;
  UseOwners = false;
  AutoPrimaryKeyName = false;
  MaxIdentifierLength = access_names::kMaxLength;
  // Jet refuses these in any name, bracketed or not.
  NameRefusedCharacters = std::string(access_names::kForbiddenCharacters);
  AddAccessReservedWords(ReservedWords);
  DefaultFunctions = {"now", "date"};
}

// Access cannot rename tables or columns by statement.
std::string TAccessSpecific::GetRenameTableSql(const std::string&, const std::string&,
                                               const std::string&) {
  return {};
}

std::string TAccessSpecific::GetRenameColumnSql(const std::string&, const std::string&,
                                                const std::string&, const std::string&) {
  return {};
}

std::string TAccessSpecific::GetCurrentDateDefault() { return "(now())"; }

// The connected database's name and date order are not read: both keep their values.
void TAccessSpecific::GetDatabaseName(ado::TConnection&) {}
void TAccessSpecific::GetDateFormat(ado::TConnection&) {}

// ---- Jet's forms of key, index and column statements ----

std::string TAccessSpecific::GetAddKeyConstraintSql(const std::string& prefix,
                                                    const std::string& table,
                                                    const std::string& name, bool primaryKey,
                                                    bool, const std::string& columns) {
  return "ALTER TABLE " + prefix + QuoteName(table) + " ADD CONSTRAINT " + QuoteName(name) +
         (primaryKey ? " PRIMARY KEY" : " UNIQUE") + " (" + columns + ")";
}

std::string TAccessSpecific::GetCreateIndexSql(const std::string& prefix,
                                               const std::string& table, const std::string& name,
                                               bool unique, bool, const std::string& columns) {
  return std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + QuoteName(name) +
         " ON " + prefix + QuoteName(table) + " (" + columns + ")";
}

std::string TAccessSpecific::GetDropIndexSql(const std::string& prefix, const std::string& table,
                                             const std::string& name) {
  return "DROP INDEX " + QuoteName(name) + " ON " + prefix + QuoteName(table);
}

std::string TAccessSpecific::GetAlterColumnNullSql(ado::TDataSet& row,
                                                   const TOrvDataType* masterType,
                                                   const std::string& prefix,
                                                   const std::string& table,
                                                   const std::string& column) {
  // Jet alters a column only with its type: the whole definition, nullable.
  return "ALTER TABLE " + prefix + QuoteName(table) + AlterColumnKeyword +
         GetColumnDefinition(row, masterType, false, false, column);
}

namespace {

// The longest text column Jet holds, in characters.
constexpr int64_t kMaxTextLength = 255;

}  // namespace

const TOrvDataType* TAccessSpecific::TranslateDataType(const TOrvDataType& masterType, ado::TDataSet& row) const {
  const uint16_t generic = masterType.GenericOrdinal;
  const bool character = generic == gtChar || generic == gtVarchar || generic == gtNchar || generic == gtNvarchar ||
                         generic == gtLongVarchar;
  const ado::TField* size = row.FindField("size");
  if (character && size != nullptr && !size->IsNull() && size->AsInteger() > kMaxTextLength) {
    return FindDataType("memo", kFindByNativeName);
  }
  return TDatabaseSpecific::TranslateDataType(masterType, row);
}
