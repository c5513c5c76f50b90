// SQL Server dialect: field values, statement builders and statement recognition. The
// catalogue readers are in SqlServerCatalog.cpp.
#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "dialects/DataTypeTables.h"
#include "dialects/ReservedWords.h"
#include "dialects/uDbSpecific.h"

TSqlServerSpecific::TSqlServerSpecific(IDialectOwner* owner) : TDatabaseSpecific(owner) {
  QuoteOpen = "[";
  QuoteClose = "]";
  FillSqlServerDataTypes(*this);
  DefaultAsConstraint = true;
  IdentityOptions->IdentityAddPlain = true;
  IdentityOptions->IdentityNullClause = false;
  IdentityOptions->WriteIdentitySeed = true;
  IdentityOptions->WriteIdentityIncrement = true;
  FillNullsOnAlter = true;
  CreateKeepsNullable = true;
  LongTypes = {"text", "ntext", "image"};
  UseDbSpaces = true;
  UseOwners = true;
  AutoPrimaryKeyName = false;
  GlobalTempTables = false;
  DisabledForeignKeys = true;
  AlterColumnKeyword = " ALTER COLUMN ";
  DropColumnKeyword = " DROP COLUMN ";
  DropConstraintFormat = " DROP CONSTRAINT %s";
  ReservedWords.Add("VALUE");
  ReservedWords.Add("PUBLIC");
  ReservedWords.Add("DATABASE");
  // Every other keyword the server reserves: a name spelled like one is quoted.
  AddSqlServerReservedWords(ReservedWords);
  IdentifierFirstCharacters = "_";
  IdentifierCharacters = "_@#$";
  ServerKey = "Data Source=";
  DatabaseKey = "Initial Catalog=";
}

std::string TSqlServerSpecific::GetCollateClause(const std::string& collation) {
  const std::string trimmed = text::Trim(collation);
  return trimmed.empty() ? std::string() : " COLLATE " + trimmed;
}

namespace {

// Text inside an N'...' literal: inner single quotes doubled so that a name holding one cannot
// end the literal early.
std::string InLiteral(const std::string& s) { return text::ReplaceAll(s, "'", "''"); }

}  // namespace

std::string TSqlServerSpecific::GetRenameTableSql(const std::string& owner,
                                                  const std::string& oldName,
                                                  const std::string& newName) {
  std::string sql = "EXECUTE sp_rename N'";
  if (!owner.empty()) sql += InLiteral(QuoteName(owner));
  // The new name is taken literally by the server: it is never bracketed.
  sql += "." + InLiteral(QuoteName(oldName)) + "', N'" + InLiteral(newName) + "', 'OBJECT'";
  return sql;
}

std::string TSqlServerSpecific::GetRenameColumnSql(const std::string& owner,
                                                   const std::string& table,
                                                   const std::string& oldName,
                                                   const std::string& newName) {
  std::string sql = "EXECUTE sp_rename N'";
  if (!owner.empty()) sql += InLiteral(QuoteName(owner)) + ".";
  // The old column name is bracketed once, a closing bracket in it doubled.
  sql += InLiteral(QuoteName(table)) + "." + QuoteOpen +
         InLiteral(text::ReplaceAll(oldName, QuoteClose, QuoteClose + QuoteClose)) + QuoteClose +
         "', N'" + InLiteral(newName) + "', 'COLUMN'";
  return sql;
}

std::string TSqlServerSpecific::GetCurrentDateDefault() { return "(getDate())"; }

std::string TSqlServerSpecific::GetConditionalSql(bool exists, const std::string& fields,
                                                  const std::string& table,
                                                  const std::string& where,
                                                  const std::string& thenSql,
                                                  const std::string& elseSql) {
  std::string sql = exists ? "IF EXISTS " : "IF NOT EXISTS ";
  sql += "(SELECT " + fields + " FROM " + table + " WHERE " + where + " )" + " EXEC (" +
         SqlLiteral(thenSql) + ")";
  if (!elseSql.empty()) sql += " ELSE EXEC (" + SqlLiteral(elseSql) + ")";
  return sql;
}

std::string TSqlServerSpecific::GetObjectExistsSql(const std::string& name,
                                                   const std::string& type) {
  return "IF EXISTS (SELECT name FROM SysObjects WHERE name = " + SqlLiteral(name) +
         " and type = " + SqlLiteral(type) + ") ";
}

std::string TSqlServerSpecific::GetIdentityInsertOnSql(const std::string& table) {
  return "set IDENTITY_INSERT " + table + " ON";
}

std::string TSqlServerSpecific::GetIdentityInsertOffSql(const std::string& table) {
  return "set IDENTITY_INSERT " + table + " OFF";
}

std::string TSqlServerSpecific::GetAlterColumnNullSql(ado::TDataSet& row, const TOrvDataType* masterType,
                                                      const std::string& prefix, const std::string& table,
                                                      const std::string& column) {
  // The server alters a column only with its type: the whole definition, nullable.
  return "ALTER TABLE " + prefix + QuoteName(table) + AlterColumnKeyword +
         GetColumnDefinition(row, masterType, false, false, column);
}

namespace {

// Offsets of the blank-separated words of `text`, each with its length.
std::vector<std::pair<size_t, size_t>> Words(std::string_view text) {
  std::vector<std::pair<size_t, size_t>> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const size_t begin = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > begin) words.emplace_back(begin, i - begin);
  }
  return words;
}

// Where a trigger's options go in the head of its definition (the text before AS): before the
// FOR / AFTER / INSTEAD OF clause, since the server refuses them after it. npos for a
// definition that is not a trigger's.
size_t TriggerOptionsPlace(std::string_view head) {
  const auto words = Words(head);
  auto word = [&](size_t i) { return head.substr(words[i].first, words[i].second); };
  if (words.size() < 2 || !text::SameText(word(0), "CREATE") || !text::SameText(word(1), "TRIGGER"))
    return std::string_view::npos;
  for (size_t i = 2; i < words.size(); ++i) {
    if (text::SameText(word(i), "FOR") || text::SameText(word(i), "AFTER") ||
        text::SameText(word(i), "INSTEAD"))
      return words[i].first - 1;  // the blank before the clause
  }
  return std::string_view::npos;
}

}  // namespace

std::string TSqlServerSpecific::AddEncryption(const std::string& definition) {
  size_t p = definition.find(" AS ");
  if (p == std::string::npos) return definition;
  const size_t trigger = TriggerOptionsPlace(std::string_view(definition).substr(0, p));
  if (trigger != std::string_view::npos) p = trigger;
  return definition.substr(0, p) + " WITH ENCRYPTION " + definition.substr(p + 1);
}

// ---- Statement recognition ----

bool TSqlServerSpecific::IsDbSpaceStatement(const std::string& sql, TInstructionKind& kind,
                                            std::string& name, std::string& second) {
  static constexpr struct {
    std::string_view prefix;
    TInstructionKind kind;
  } kStatements[] = {{"ALTER DATABASE ADD FILEGROUP", ikCreateDbSpace},
                     {"ALTER DATABASE DROP FILEGROUP", ikDropDbSpace}};
  for (const auto& statement : kStatements) {
    if (!text::StartsWithText(sql, statement.prefix)) continue;
    kind = statement.kind;
    name = text::Trim(std::string_view(sql).substr(statement.prefix.size()));
    second.clear();
    return true;
  }
  return false;
}

namespace {

// The arguments of the procedure call that starts at `from`: the text up to the first ";"
// outside quotes, split on commas outside quotes, each trimmed with its quotes kept.
std::vector<std::string> CallArguments(const std::string& sql, size_t from) {
  std::vector<std::string> args;
  std::string current;
  bool inQuote = false;
  size_t i = from;
  for (; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'') {
      inQuote = !inQuote;
    } else if (!inQuote && (c == ';' || c == ',')) {
      args.push_back(text::Trim(current));
      current.clear();
      if (c == ';') break;
      continue;
    }
    current += c;
  }
  if (i >= sql.size()) args.push_back(text::Trim(current));
  while (!args.empty() && args.back().empty()) args.pop_back();
  return args;
}

}  // namespace

bool TSqlServerSpecific::IsUserStatement(const std::string& sql, TInstructionKind& kind,
                                         std::string& user, std::string& second) {
  static constexpr std::string_view kGrant = "SP_GRANTDBACCESS";
  static constexpr std::string_view kRevoke = "SP_REVOKEDBACCESS";
  size_t p = text::FindText(sql, kGrant);
  if (p != std::string::npos) {
    kind = ikCreateUser;
    const std::vector<std::string> args = CallArguments(sql, p + kGrant.size());
    second = args.empty() ? std::string() : args[0];
    // Without a second argument the server names the user after the login.
    user = args.size() > 1 ? args[1] : second;
    return true;
  }
  p = text::FindText(sql, kRevoke);
  if (p != std::string::npos) {
    kind = ikDropUser;
    const std::vector<std::string> args = CallArguments(sql, p + kRevoke.size());
    user = args.empty() ? std::string() : args[0];
    second.clear();
    return true;
  }
  return false;
}
