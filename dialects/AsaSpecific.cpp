// Adaptive Server Anywhere dialect: field values, statement builders and statement recognition.
// The catalogue readers are in AsaCatalog.cpp, database operations in AsaDatabases.cpp.
#include <string_view>

#include "common/Text.h"
#include "dialects/DataTypeTables.h"
#include "dialects/ReservedWords.h"
#include "dialects/uDbSpecific.h"

TAsaSpecific::TAsaSpecific(IDialectOwner* owner) : TDatabaseSpecific(owner) {
  QuoteOpen = "\"";
  QuoteClose = "\"";
  FillAsaDataTypes(*this);
  DefaultAsConstraint = false;
  CreateKeepsNullable = false;
  IdentityOptions->IdentityAddPlain = false;
  IdentityOptions->IdentityNullClause = true;
  IdentityOptions->WriteIdentitySeed = false;
  IdentityOptions->WriteIdentityIncrement = false;
  AlterColumnKeyword = " MODIFY ";
  // Written between the table and the column: "ALTER TABLE dba.T DROP c".
  DropColumnKeyword = " DROP ";
  DropConstraintFormat = " DROP PRIMARY KEY ";
  AutoPrimaryKeyName = true;
  GlobalTempTables = true;
  UniqueKeysAllowNulls = false;
  IdentifierLengthInBytes = true;
  AddAsaReservedWords(ReservedWords);
  IdentifierFirstCharacters = "_@#$";
  IdentifierCharacters = "_@#$";
  ServerKey = "Eng=";
  DatabaseKey = "dbn=";
}

namespace {

// quote(owner) + "." when the owner is given, else nothing.
std::string OwnerDot(const TDatabaseSpecific& dialect, const std::string& owner) {
  return owner.empty() ? std::string() : dialect.QuoteName(owner) + ".";
}

}  // namespace

std::string TAsaSpecific::GetRenameTableSql(const std::string& owner, const std::string& oldName,
                                            const std::string& newName) {
  return "ALTER TABLE " + OwnerDot(*this, owner) + QuoteName(oldName) + " RENAME " +
         QuoteName(newName);
}

std::string TAsaSpecific::GetRenameColumnSql(const std::string& owner, const std::string& table,
                                             const std::string& oldName,
                                             const std::string& newName) {
  return "ALTER TABLE " + OwnerDot(*this, owner) + QuoteName(table) + " RENAME " +
         QuoteName(oldName) + " TO " + QuoteName(newName);
}

std::string TAsaSpecific::GetRenumberSql(const std::string& owner, const std::string& table,
                                         const std::string& column) {
  // The server numbers the rows 1, 2, 3 ...
  return "update " + OwnerDot(*this, owner) + QuoteName(table) + " set " + QuoteName(column) +
         " = number(*)";
}

std::string TAsaSpecific::GetClusterPrimaryKeySql(const std::string& prefix,
                                                  const std::string& table, bool clustered) {
  return "ALTER INDEX PRIMARY KEY ON " + prefix + QuoteName(table) + " " +
         (clustered ? "CLUSTERED" : "NONCLUSTERED");
}

std::string TAsaSpecific::GetCurrentDateDefault() { return "(date)"; }

std::string TAsaSpecific::GetConditionalSql(bool exists, const std::string& fields,
                                            const std::string& table, const std::string& where,
                                            const std::string& thenSql,
                                            const std::string& elseSql) {
  std::string sql = exists ? "IF EXISTS " : "IF NOT EXISTS ";
  sql += "(SELECT " + fields + " FROM " + table + " WHERE " + where + ")" + thenSql;
  if (!elseSql.empty()) sql += " ELSE " + elseSql;
  return sql;
}

std::string TAsaSpecific::GetObjectExistsSql(const std::string& name, const std::string& type) {
  if (type == "P" || type == "FN") {
    return "IF EXISTS (select proc_name from sys.sysProcedure where proc_name = " +
           SqlLiteral(name) + ") ";
  }
  return "IF EXISTS (select trigName from sys.sysTriggers where trigName = " + SqlLiteral(name) +
         ") ";
}

// ---- Statement recognition ----

namespace {

// The db-space name at the start of `rest`: up to the first blank, or a whole double-quoted name.
std::string LeadingName(const std::string& rest) {
  size_t end = rest.find(' ');
  if (!rest.empty() && rest[0] == '"') {
    const size_t close = rest.find('"', 1);
    if (close != std::string::npos) end = close + 1;
  }
  return text::Trim(std::string_view(rest).substr(0, end));
}

// Position of the file clause of a CREATE DBSPACE: " AS " (as the dialect writes it) or " AT ",
// whichever comes first, case ignored; npos when there is none.
size_t FileClause(const std::string& rest) {
  const size_t as = text::FindText(rest, " AS ");
  const size_t at = text::FindText(rest, " AT ");
  return as < at ? as : at;
}

}  // namespace

bool TAsaSpecific::IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind,
                                      std::string& name, std::string& second) {
  static constexpr std::string_view kCreate = "CREATE DBSPACE";
  static constexpr std::string_view kDrop = "DROP DBSPACE";
  if (text::StartsWithText(sql, kCreate)) {
    kind = ikCreateDbSpace;
    const std::string rest = text::Trim(std::string_view(sql).substr(kCreate.size()));
    name = LeadingName(rest);
    const size_t clause = FileClause(rest);
    second = clause == std::string::npos ? std::string() : text::Trim(rest.substr(clause + 4));
    return true;
  }
  if (text::StartsWithText(sql, kDrop)) {
    kind = ikDropDbSpace;
    name = text::Trim(std::string_view(sql).substr(kDrop.size()));
    second.clear();
    return true;
  }
  return false;
}

bool TAsaSpecific::IsUserStatement(const std::string& sql, TInstructionKind& kind,
                                   std::string& user, std::string& second) {
  static constexpr std::string_view kGrant = "GRANT CONNECT TO";
  static constexpr std::string_view kRevoke = "REVOKE CONNECT FROM";
  static constexpr std::string_view kIdentified = "IDENTIFIED BY";
  if (text::StartsWithText(sql, kGrant)) {
    kind = ikCreateUser;
    const std::string_view rest = std::string_view(sql).substr(kGrant.size());
    const size_t p = text::FindText(rest, kIdentified);
    if (p == std::string::npos) {
      user = text::Trim(rest);
      second.clear();
    } else {
      user = text::Trim(rest.substr(0, p));
      second = text::Trim(rest.substr(p + kIdentified.size()));  // the password, quotes kept
    }
    return true;
  }
  if (text::StartsWithText(sql, kRevoke)) {
    kind = ikDropUser;
    user = text::Trim(std::string_view(sql).substr(kRevoke.size()));
    second.clear();
    return true;
  }
  return false;
}
