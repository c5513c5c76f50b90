// The engine's shared routines for SQL text: literals, default texts, rename lookups, owner and
// db-space clauses with the creations they prepend, column definitions through the dialect, table
// rebuilds through a temporary table, and small catalogue lookups.
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/Paths.h"
#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/DataTypeTables.h"
#include "engine/CatalogScope.h"
#include "engine/uDm.h"

using catalog_scope::CursorKeeper;
using catalog_scope::TextOf;

namespace {

constexpr std::string_view kTemporaryPrefix = "_ORV_TMP_TABLE_";

// The shortest text that reads back as the same double, with a point as decimal separator
// whatever the locale.
std::string ShortestDouble(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string CurrencyText(ado::Currency value) {
  const int64_t scaled = value.scaled;
  const uint64_t magnitude =
      scaled < 0 ? static_cast<uint64_t>(-(scaled + 1)) + 1 : static_cast<uint64_t>(scaled);
  std::string textValue = (scaled < 0 ? "-" : "") + std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction == 0) return textValue;
  std::string digits = std::to_string(fraction + 10000).substr(1);
  while (digits.back() == '0') digits.pop_back();
  return textValue + "." + digits;
}

// A number held in a float, currency or decimal field.
std::string NumberText(const ado::Variant& value) {
  switch (value.Type()) {
    case ado::VarType::Currency: return CurrencyText(value.AsCurrency());
    case ado::VarType::Float: return ShortestDouble(value.AsFloat());
    case ado::VarType::Int: return std::to_string(value.AsInt());
    default: {
      std::string textValue = value.AsString();
      const size_t comma = textValue.find(',');
      if (comma != std::string::npos) textValue[comma] = '.';
      return textValue;
    }
  }
}

void AppendDigits(std::string& out, int v, int width) {
  char buffer[16];
  int n = 0;
  unsigned u = static_cast<unsigned>(v < 0 ? -v : v);
  do {
    buffer[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0 && n < 15);
  if (v < 0) out += '-';
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += buffer[--n];
}

// The date part written by a short date pattern: runs of d, m and y (case ignored) are the day,
// month and year (one or two letters: at least that many digits; "yy" two year digits); every
// other character stands as it is.
void FormatDate(std::string& out, const std::string& pattern, int year, int month, int day) {
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    size_t run = 1;
    while (i + run < pattern.size() &&
           std::tolower(static_cast<unsigned char>(pattern[i + run])) == c) {
      ++run;
    }
    if (c == 'd') {
      AppendDigits(out, day, run >= 2 ? 2 : 1);
    } else if (c == 'm') {
      AppendDigits(out, month, run >= 2 ? 2 : 1);
    } else if (c == 'y') {
      if (run <= 2) {
        AppendDigits(out, year % 100, 2);
      } else {
        AppendDigits(out, year, 1);
      }
    } else {
      out.append(pattern, i, run);
    }
    i += run;
  }
}

const std::string& ShortDatePattern(const std::string& dateOrder) {
  static const std::string kDmy = "dd/mm/yyyy", kMdy = "mm/dd/yyyy", kYmd = "yyyy/mm/dd";
  if (text::SameText(dateOrder, "dmy")) return kDmy;
  if (text::SameText(dateOrder, "mdy")) return kMdy;
  if (text::SameText(dateOrder, "ymd") || dateOrder.empty()) return kYmd;
  return dateOrder;
}

// The date in the server's order and, when not midnight, the 24-hour time with seconds and, when
// present, milliseconds.
std::string DateTimeText(ado::DateTime value, const std::string& dateOrder) {
  int year, month, day, hour, minute, second, millisecond;
  ado::DecodeDateTime(value, year, month, day, hour, minute, second, millisecond);
  std::string out = "'";
  out.reserve(32);
  FormatDate(out, ShortDatePattern(dateOrder), year, month, day);
  if (hour != 0 || minute != 0 || second != 0 || millisecond != 0) {
    out += ' ';
    AppendDigits(out, hour, 2);
    out += ':';
    AppendDigits(out, minute, 2);
    out += ':';
    AppendDigits(out, second, 2);
    if (millisecond != 0) {
      out += '.';
      AppendDigits(out, millisecond, 3);
    }
  }
  // A pattern of the server's own may hold a quote.
  if (out.find('\'', 1) != std::string::npos) return SqlLiteral(out.substr(1));
  return out + "'";
}

std::string HexLiteral(const ado::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + bytes.size() * 2);
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Splits "name=value" at its first "="; both parts trimmed, viewing the entry. False without "=".
bool SplitEntry(std::string_view entry, std::string_view& name, std::string_view& value) {
  const size_t eq = entry.find('=');
  if (eq == std::string_view::npos) return false;
  name = TrimView(entry.substr(0, eq));
  value = TrimView(entry.substr(eq + 1));
  return true;
}

// Splits "table.field" at its first "."; both parts trimmed.
void SplitDotted(std::string_view dotted, std::string& table, std::string& field) {
  const size_t dot = dotted.find('.');
  if (dot == std::string_view::npos) {
    table.clear();
    field = std::string(TrimView(dotted));
    return;
  }
  table = std::string(TrimView(dotted.substr(0, dot)));
  field = std::string(TrimView(dotted.substr(dot + 1)));
}

// "table.field" equals the two parts, case ignored, without composing it.
bool SameDotted(std::string_view dotted, const std::string& table, const std::string& field) {
  return dotted.size() == table.size() + 1 + field.size() && dotted[table.size()] == '.' &&
         text::SameText(dotted.substr(0, table.size()), table) &&
         text::SameText(dotted.substr(table.size() + 1), field);
}

}  // namespace

// ---- Literals and texts ----

std::string Tdm::VariantToSql(const ado::Variant& aValue, ado::FieldType aType,
                              const std::string& aFieldName) const {
  using ado::FieldType;
  if (aValue.IsNullOrEmpty()) return "null";
  const TDatabaseSpecific* dialect = CurrentDialect();
  switch (aType) {
    case FieldType::ftString:
    case FieldType::ftMemo:
    case FieldType::ftGuid:
      if (const std::string* textValue = aValue.IfText()) return SqlLiteral(*textValue);
      return SqlLiteral(aValue.AsString());
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftLargeint:
    case FieldType::ftByte: return std::to_string(aValue.AsInt());
    case FieldType::ftBoolean:
      return dialect != nullptr ? currentDialect_->BoolToSql(aValue.AsBool())
                                : (aValue.AsBool() ? "1" : "0");
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
    case FieldType::ftBCD: return NumberText(aValue);
    case FieldType::ftDateTime:
      return DateTimeText(aValue.AsDateTime(), dialect != nullptr ? dialect->DateFormat : "");
    case FieldType::ftBytes:
    case FieldType::ftBlob:
      if (dialect != nullptr && dialect->DbType != dbtAccess) return HexLiteral(aValue.AsBytes());
      break;
  }
  throw EEngineError("No SQL literal for the value of field " + aFieldName);
}

std::string Tdm::FieldToSql(const ado::TField& aField) const {
  return VariantToSql(aField.Value(), aField.DataType(), aField.FieldName());
}

bool Tdm::SameDefault(const std::string& a, const std::string& b) const {
  auto normal = [](const std::string& value) {
    std::string t = text::Trim(value);
    if (t.rfind("(.", 0) == 0) t = "(0." + t.substr(2);
    if (text::SameText(t, "autoincrement")) t.clear();
    return t;
  };
  return normal(a) == normal(b);
}

namespace {

// Whether the text's first character opens a parenthesis that its last character closes.
bool Enclosed(const std::string& aText) {
  if (aText.size() < 2 || aText.front() != '(' || aText.back() != ')') return false;
  int depth = 0;
  for (size_t i = 0; i + 1 < aText.size(); ++i) {
    if (aText[i] == '(') ++depth;
    if (aText[i] == ')' && --depth == 0) return false;
  }
  return true;
}

// The default's words: outer parentheses gone, lower case, blanks single, "_" a blank.
std::string DefaultWords(const std::string& aText) {
  std::string t = text::Trim(aText);
  while (Enclosed(t)) t = text::Trim(t.substr(1, t.size() - 2));
  std::string words;
  for (char c : t) {
    c = c == '_' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == ' ' && (words.empty() || words.back() == ' ')) continue;
    words += c;
  }
  return words;
}

// The text of a string literal in double quotes ("" a quote) as one in single quotes.
std::string SingleQuoted(const std::string& aInner) {
  std::string quoted = "'";
  for (size_t i = 0; i < aInner.size(); ++i) {
    if (aInner[i] == '"' && i + 1 < aInner.size() && aInner[i + 1] == '"') ++i;
    if (aInner[i] == '\'') quoted += '\'';
    quoted += aInner[i];
  }
  return quoted + "'";
}

}  // namespace

std::string Tdm::ClientDefaultText(const std::string& aMasterText) const {
  if (currentDialect_ == nullptr || currentDialect_->MasterDbType == dbtNone ||
      currentDialect_->MasterDbType == currentDialect_->DbType) {
    return aMasterText;
  }
  const std::string words = DefaultWords(aMasterText);
  if (currentDialect_->MasterDbType == dbtAccess) {
    // Access's own literals: the Yes/No words and strings in double quotes.
    if (words == "true" || words == "yes" || words == "on") return "1";
    if (words == "false" || words == "no" || words == "off") return "0";
    const std::string t = text::Trim(aMasterText);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return SingleQuoted(t.substr(1, t.size() - 2));
  }
  const bool now = words == "getdate()" || words == "now()" || words == "now(*)" || words == "current timestamp";
  const bool today = words == "date()" || words == "today()" || words == "today(*)" || words == "current date";
  if (!now && !today) return aMasterText;
  switch (currentDialect_->DbType) {
    case dbtSqlServer: return now ? "(getdate())" : "(convert(datetime, convert(char(8), getdate(), 112)))";
    case dbtAsa: return now ? "current timestamp" : "current date";
    case dbtAccess: return now ? "now()" : "date()";
    case dbtNone: break;
  }
  return aMasterText;
}

std::string Tdm::StripTrailingCrLf(const std::string& aText) const {
  std::string result = aText;
  while (result.size() >= 2 && result.compare(result.size() - 2, 2, "\r\n") == 0) {
    result.resize(result.size() - 2);
  }
  return result;
}

std::string Tdm::GetTypeDefaultText(ado::TDataSet& aRow) {
  if (currentDialect_ == nullptr || !GetDefaultValueFromDataType()) return {};
  const TOrvDataType* type =
      currentDialect_->FindDataType(TextOf(aRow, "column_type_name"), kFindByNativeName);
  if (type == nullptr) return {};
  switch (type->GenericOrdinal) {
    case gtBigint: case gtBinary: case gtBit: case gtDecimal: case gtDouble: case gtFloat:
    case gtInt: case gtLongBinary: case gtMoney: case gtNumeric: case gtReal: case gtSmallint:
    case gtSmallmoney: case gtTinyint: case gtUnsignedBigint: case gtUnsignedInt:
    case gtUnsignedSmallint: case gtVarbinary:
      return "(0)";
    case gtChar: case gtLongVarchar: case gtNchar: case gtNtext: case gtNvarchar: case gtText:
    case gtVarchar:
      return "('')";
    case gtDate: case gtDatetime: case gtSmalldatetime: case gtTime: case gtTimestamp:
      return currentDialect_->GetCurrentDateDefault();
    default: return {};
  }
}

// ---- Names ----

std::string Tdm::OldTableName(const std::string& aMasterName) const {
  if (Producer != nullptr) {
    std::string_view name, value;
    for (const std::string& entry : Producer->RenamedTables) {
      if (SplitEntry(entry, name, value) && text::SameText(value, aMasterName)) {
        return std::string(name);
      }
    }
  }
  return aMasterName;
}

std::string Tdm::NewTableName(const std::string& aClientName) const {
  if (Producer != nullptr) {
    std::string_view name, value;
    for (const std::string& entry : Producer->RenamedTables) {
      if (SplitEntry(entry, name, value) && text::SameText(name, aClientName)) {
        return std::string(value);
      }
    }
  }
  return aClientName;
}

void Tdm::OldFieldName(const std::string& aTable, const std::string& aField,
                       std::string& aOldField, std::string& aOldTable) const {
  aOldField = aField;
  aOldTable = aTable;
  if (Producer == nullptr) return;
  std::string_view name, value;
  for (const std::string& entry : Producer->RenamedFields) {
    if (SplitEntry(entry, name, value) && SameDotted(value, aTable, aField)) {
      SplitDotted(name, aOldTable, aOldField);
      return;
    }
  }
}

void Tdm::NewFieldName(const std::string& aTable, const std::string& aField,
                       std::string& aNewField, std::string& aNewTable) const {
  aNewField = aField;
  aNewTable = aTable;
  if (Producer == nullptr) return;
  std::string_view name, value;
  for (const std::string& entry : Producer->RenamedFields) {
    if (SplitEntry(entry, name, value) && SameDotted(name, aTable, aField)) {
      SplitDotted(value, aNewTable, aNewField);
      return;
    }
  }
}

std::string Tdm::QuoteName(const std::string& aName) const {
  return currentDialect_ != nullptr ? currentDialect_->QuoteName(aName) : aName;
}

namespace {

// A 32-bit FNV-1a hash: stable across runs and builds, so that a saved list names what it made.
uint32_t NameHash(std::string_view name) {
  uint32_t hash = 2166136261u;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

std::string Tdm::FitName(const std::string& aPrefix, const std::string& aName) const {
  const size_t limit = currentDialect_ != nullptr ? currentDialect_->MaxIdentifierLength : 128;
  const bool bytes = currentDialect_ != nullptr && currentDialect_->IdentifierLengthInBytes;
  if (text::Utf8Length(aPrefix, bytes) + text::Utf8Length(aName, bytes) <= limit) return aPrefix + aName;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string suffix = "_";
  const uint32_t hash = NameHash(aName);
  for (int shift = 28; shift >= 0; shift -= 4) suffix += kDigits[(hash >> shift) & 0xF];
  const size_t used = text::Utf8Length(aPrefix, bytes) + suffix.size();
  return aPrefix + std::string(text::Utf8Start(aName, limit > used ? limit - used : 0, bytes)) + suffix;
}

std::string Tdm::GetDestTableSchemaPrefix(const std::string& aSchema, const std::string& aTable) {
  if (qDestTables.Active()) {
    CursorKeeper keeper(qDestTables);
    qDestTables.SetFiltered(false);
    if (LocateRecord(qDestTables, "table_name", ado::Variant(aTable), ado::loCaseInsensitive)) {
      const std::string schema = qDestTables.FieldByName("table_schema").AsString();
      return schema.empty() ? std::string() : QuoteName(schema) + ".";
    }
  }
  return GetOwnerName(aSchema);
}

std::string Tdm::GetOwnerName(const std::string& aSchema) {
  TDatabaseSpecific* dialect = currentDialect_;
  if (dialect == nullptr || !dialect->UseOwners) return {};
  const std::string defaultOwner = QuoteName(dialect->GetDefaultOwner(0)) + ".";
  if (dialect->IsDefaultOwner(aSchema, 1)) return defaultOwner;
  if (dialect->UserExists(aSchema)) return QuoteName(aSchema) + ".";
  if (GetUseDefaultOwner()) return defaultOwner;
  // A user both the Users directive and the master users know is created before it is used.
  std::string password;
  bool listed = false;
  if (Producer != nullptr) {
    std::string_view name, value;
    for (const std::string& entry : Producer->UpdaterDirectives().Users) {
      if (SplitEntry(entry, name, value) && name == aSchema) {
        password = entry.substr(entry.find('=') + 1);  // a password keeps its blanks
        listed = true;
        break;
      }
    }
  }
  if (listed && LocateRecord(qUsers, "user_name", ado::Variant(aSchema), ado::loCaseInsensitive)) {
    const std::string login = qUsers.FieldByName("login_name").AsString();
    AddInstruction(dialect->GetCreateUserSql(ac, aSchema, login, password), true);
    return QuoteName(aSchema) + ".";
  }
  return defaultOwner;
}

namespace {

// Whether a non-default db space keeps its clause: only when the update places objects in db
// spaces of their own; it is then created first unless the client has it or it is scheduled.
bool KeepDbSpace(Tdm& dm, TDatabaseSpecific& dialect, const std::string& dbSpace) {
  if (dm.GetUseDefaultDbSpace()) return false;
  if (!dialect.DbSpaceExists(dbSpace)) {
    dm.AddInstruction(dialect.GetCreateDbSpaceSql(dbSpace, ""), true);
  }
  return true;
}

}  // namespace

std::string Tdm::GetDbSpaceClause(const std::string& aDbSpace) {
  TDatabaseSpecific* dialect = currentDialect_;
  if (aDbSpace.empty() || dialect == nullptr || !dialect->UseDbSpaces ||
      aDbSpace == defaultDbSpace_) {
    return {};
  }
  if (!dialect->IsDefaultDbSpace(aDbSpace) && !KeepDbSpace(*this, *dialect, aDbSpace)) return {};
  return " ON " + QuoteName(aDbSpace);
}

std::string Tdm::GetTextImageClause(const std::string& aTable) {
  TDatabaseSpecific* dialect = currentDialect_;
  const TOrvSchemion* component = Component();
  if (dialect == nullptr || !dialect->UseDbSpaces || component == nullptr) return {};
  const std::string fileName =
      paths::ResolveFolder(paths::FoldBackslashes(component->DirSchemas + "\\vsiDbSpaceText.xml"));
  std::error_code missing;
  if (!std::filesystem::exists(fileName, missing)) return {};
  ado::TDataSet texts;
  texts.LoadFromFile(fileName);
  if (!LocateRecord(texts, "table_name", ado::Variant(aTable), ado::loCaseInsensitive)) return {};
  const std::string space = texts.FieldByName("text_dbspace").AsString();
  if (space.empty() || text::SameText(space, defaultDbSpace_)) return {};
  if (!dialect->IsDefaultDbSpace(space) && !KeepDbSpace(*this, *dialect, space)) return {};
  // The server reads the name inside the literal as it stands: a bracketed name is no group.
  return " TEXTIMAGE_ON " + SqlLiteral(space) + " ";
}

void Tdm::LoadDefaultDbSpace() {
  defaultDbSpace_.clear();
  if (LocateRecord(qDbSpaces, "dbSpace_default", ado::Variant(1), 0)) {
    defaultDbSpace_ = qDbSpaces.FieldByName("dbSpace_name").AsString();
  }
}

// ---- Statements appended as instructions ----

void Tdm::AddRenameTable(const std::string& aSchema, const std::string& aOldName,
                         const std::string& aNewName) {
  if (currentDialect_ == nullptr) return;
  AddInstruction(currentDialect_->GetRenameTableSql(aSchema, aOldName, aNewName), false);
}

void Tdm::AddRenameColumn(const std::string& aSchema, const std::string& aTable,
                          const std::string& aOldName, const std::string& aNewName) {
  if (currentDialect_ == nullptr) return;
  AddInstruction(currentDialect_->GetRenameColumnSql(aSchema, aTable, aOldName, aNewName), false);
}

void Tdm::AddRenumberColumn(const std::string& aSchema, const std::string& aTable,
                            const std::string& aColumn) {
  if (currentDialect_ == nullptr) return;
  const std::string sql = currentDialect_->GetRenumberSql(aSchema, aTable, aColumn);
  if (!sql.empty()) AddInstruction(sql, false);
}

void Tdm::AddIdentityInsertOn(const std::string& aTable) {
  if (currentDialect_ == nullptr) return;
  const std::string sql = currentDialect_->GetIdentityInsertOnSql(aTable);
  if (!sql.empty()) AddInstruction(sql, false);
}

void Tdm::AddIdentityInsertOff(const std::string& aTable) {
  if (currentDialect_ == nullptr) return;
  const std::string sql = currentDialect_->GetIdentityInsertOffSql(aTable);
  if (!sql.empty()) AddInstruction(sql, false);
}

namespace {

std::string SchemaPrefix(const Tdm& dm, const std::string& schema) {
  return schema.empty() ? std::string() : dm.QuoteName(schema) + ".";
}

// Whether the connected server renames tables and columns by statement: where it does not, a
// queued rename leaves the old names in place.
bool DialectRenames(TDatabaseSpecific& dialect) {
  return !dialect.GetRenameTableSql("", "a", "b").empty();
}

}  // namespace

void Tdm::AddCopyTableRows(const std::string& aSchema, const std::string& aTable,
                           ado::TDataSet& aRows, const std::string& aTarget) {
  const bool renamed = currentDialect_ != nullptr && DialectRenames(*currentDialect_);
  std::vector<std::string> targetColumns, sourceColumns;
  for (aRows.First(); !aRows.Eof(); aRows.Next()) {
    const std::string column = aRows.FieldByName("column_name").AsString();
    std::string newColumn, newTable;
    NewFieldName(aTable, column, newColumn, newTable);
    targetColumns.push_back(QuoteName(newColumn));
    sourceColumns.push_back(QuoteName(renamed ? newColumn : column));
  }
  const std::string source = renamed ? NewTableName(aTable) : aTable;
  const std::string prefix = SchemaPrefix(*this, aSchema);
  AddInstruction("INSERT INTO " + prefix + QuoteName(aTarget) + " (" +
                     text::Join(targetColumns, ", ") + ") SELECT " +
                     text::Join(sourceColumns, ", ") + " FROM " + prefix + QuoteName(source),
                 false);
}

namespace {

// The definition of a rebuilt table's column; `identity` tells whether it has the identity
// property in the new table.
struct RebuiltColumn {
  std::string definition;
  bool identity = false;
};

bool IsIdentityRow(ado::TDataSet& row) {
  const ado::TField* f = row.FindField("is_identity");
  return f != nullptr && !f->IsNull() && f->AsInteger() == 1;
}

// Cuts the trailing " DEFAULT " + default that a column definition ends with.
std::string WithoutDefault(std::string definition, ado::TDataSet& row) {
  const std::string tail = " DEFAULT " + TextOf(row, "column_default");
  if (definition.size() > tail.size() &&
      definition.compare(definition.size() - tail.size(), tail.size(), tail) == 0) {
    definition.resize(definition.size() - tail.size());
  }
  return definition;
}

}  // namespace

void Tdm::RebuildTable(ado::TDataSet& aRows) {
  TDatabaseSpecific* dialect = currentDialect_;
  if (dialect == nullptr) return;
  aRows.First();
  if (aRows.Eof()) return;
  const std::string schema = aRows.FieldByName("table_schema").AsString();
  const std::string table = aRows.FieldByName("table_name").AsString();
  const std::string newTable = NewTableName(table);
  const std::string temporary = FitName(std::string(kTemporaryPrefix), newTable);
  const std::string prefix = SchemaPrefix(*this, schema);

  std::vector<std::string> definitions, newColumns;
  bool hasIdentity = false;
  for (aRows.First(); !aRows.Eof(); aRows.Next()) {
    const std::string column = aRows.FieldByName("column_name").AsString();
    std::string newColumn, ignoredTable;
    NewFieldName(table, column, newColumn, ignoredTable);
    newColumns.push_back(QuoteName(newColumn));
    const bool masterHas =
        LocateRecord(qColumns, "table_name;column_name",
                     ado::Variant(ado::VariantArray{newTable, newColumn}), ado::loCaseInsensitive);
    RebuiltColumn rebuilt;
    if (!text::ContainsText(identityChanged_, column) && !text::ContainsText(identityType_, column)) {
      rebuilt.definition = GetColumnDefinition(aRows, true, true, newColumn, true);
      rebuilt.identity = IsIdentityRow(aRows);
    } else if (text::ContainsText(identityType_, column) && masterHas) {
      rebuilt.definition = GetColumnDefinition(qColumns, true, true, newColumn, false);
      rebuilt.identity = IsIdentityRow(qColumns);
    } else {
      // The identity property follows the master: kept, gained or given its seed, or lost.
      rebuilt.definition =
          WithoutDefault(GetColumnDefinition(aRows, true, false, newColumn, true), aRows);
      if (masterHas && IsIdentityRow(qColumns) && !dialect->IdentityOptions->WriteIdentitySeed) {
        // Without seed and increment the identity clause stands where the dialect writes it,
        // right after the type: Jet refuses it after NOT NULL.
        rebuilt.identity = true;
        rebuilt.definition = GetColumnDefinition(qColumns, true, true, newColumn, false);
      } else if (masterHas && IsIdentityRow(qColumns)) {
        rebuilt.identity = true;
        rebuilt.definition += " IDENTITY ";
        if (dialect->IdentityOptions->WriteIdentitySeed) {
          rebuilt.definition += "(" + TextOf(qColumns, "identity_seed") + ", " +
                                TextOf(qColumns, "identity_incr") + ")";
        }
      }
    }
    hasIdentity = hasIdentity || rebuilt.identity;
    definitions.push_back(rebuilt.definition);
  }
  const std::string columnList = " (" + text::Join(definitions, ", ") + ")";
  AddInstruction("CREATE TABLE " + prefix + QuoteName(temporary) + columnList, false);
  if (hasIdentity) AddIdentityInsertOn(prefix + QuoteName(temporary));
  AddCopyTableRows(schema, table, aRows, temporary);
  if (hasIdentity) AddIdentityInsertOff(prefix + QuoteName(temporary));
  const bool renames = DialectRenames(*dialect);
  DropTable(schema, table, renames ? newTable : table);
  if (renames) {
    AddRenameTable(schema, temporary, newTable);
    return;
  }
  // A server that cannot rename gets its rows copied back under the table's own name.
  const std::string columns = text::Join(newColumns, ", ");
  AddInstruction("CREATE TABLE " + prefix + QuoteName(newTable) + columnList, false);
  if (hasIdentity) AddIdentityInsertOn(prefix + QuoteName(newTable));
  AddInstruction("INSERT INTO " + prefix + QuoteName(newTable) + " (" + columns + ") SELECT " +
                     columns + " FROM " + prefix + QuoteName(temporary),
                 false);
  if (hasIdentity) AddIdentityInsertOff(prefix + QuoteName(newTable));
  AddInstruction("DROP TABLE " + prefix + QuoteName(temporary), false);
}

// ---- Column definitions ----

TOrvDataType* Tdm::FindMasterDataType(ado::TDataSet& aRow, bool aClientRow) const {
  if (currentDialect_ == nullptr) return nullptr;
  const TDatabaseSpecific* table =
      aClientRow ? currentDialect_ : DbSpecific(currentDialect_->MasterDbType);
  if (table == nullptr) return nullptr;
  return table->FindDataType(TextOf(aRow, "column_type_name"), kFindByNativeName);
}

std::string Tdm::GetColumnDefinition(ado::TDataSet& aRow, bool aWithNullClause,
                                     bool aWithIdentity, const std::string& aName,
                                     bool aClientRow) {
  if (currentDialect_ == nullptr) return {};
  return currentDialect_->GetColumnDefinition(aRow, FindMasterDataType(aRow, aClientRow),
                                              aWithNullClause, aWithIdentity, aName);
}

std::string Tdm::GetAddColumnSql(ado::TDataSet& aRow, const std::string& aSchema,
                                 bool aWithNullClause, bool aWithIdentity) {
  if (currentDialect_ == nullptr) return {};
  return currentDialect_->GetAddColumnSql(aRow, FindMasterDataType(aRow), aSchema,
                                          aWithNullClause, aWithIdentity);
}

std::string Tdm::GetAlterColumnSql(ado::TDataSet& aRow, const std::string& aSchema,
                                   bool aWithNullClause) {
  if (currentDialect_ == nullptr) return {};
  return currentDialect_->GetAlterColumnSql(aRow, FindMasterDataType(aRow), aSchema,
                                            aWithNullClause);
}

// ---- Lookups ----

void Tdm::OpenSchemaOf(TOrvSchemaInfo aKind, const ado::Variant& aCriteria,
                       ado::TDataSet& aDataSet) {
  if (aDataSet.Connection() == nullptr) aDataSet.SetConnection(&ac);
  if (currentDialect_ != nullptr) currentDialect_->OpenSchema(aKind, aCriteria, ado::Variant(), aDataSet);
}

bool Tdm::IsPkTableChanged(const std::string& aTable) const {
  // Entries read "table=column; column; " once the check has detected the client's key.
  for (int i = 0; i < pkTablesChange_.Count(); ++i) {
    const std::string& entry = pkTablesChange_.Name(i);
    if (text::SameText(std::string_view(entry).substr(0, entry.find('=')), aTable)) return true;
  }
  return false;
}

bool Tdm::IsTableDropped(const std::string& aTable) const {
  return text::ContainsText(droppedTables_, aTable);
}

void Tdm::ClearPkTablesChange() { pkTablesChange_.Clear(); }

bool Tdm::IsLongDataType(ado::TDataSet& aRow) const {
  if (currentDialect_ == nullptr) return false;
  const TOrvDataType* type =
      currentDialect_->FindDataType(TextOf(aRow, "column_type_name"), kFindByNativeName);
  return type != nullptr && currentDialect_->LongTypes.Contains(type->NativeName);
}

bool Tdm::IsSystemTable(ado::TDataSet& aTables, const std::string& aName) const {
  if (!LocateRecord(aTables, "table_name", ado::Variant(aName), ado::loCaseInsensitive)) {
    return false;
  }
  const std::string type = TextOf(aTables, "table_type");
  return text::SameText(type, "SYSTEM TABLE") || text::SameText(type, "SYSTEM VIEW") ||
         text::SameText(type, "SYSTEM GBL TEMP");
}

bool Tdm::IsViewUpdatable(ado::TDataSet& aRow) const { return TextOf(aRow, "is_updatable") == "1"; }

bool Tdm::sameValue(const ado::Variant& a, const ado::Variant& b) {
  if (a.IsNullOrEmpty() || b.IsNullOrEmpty()) return a.IsNullOrEmpty() && b.IsNullOrEmpty();
  return ado::CompareVariants(a, b, false) == 0;
}

bool Tdm::LocateClusterIndex(const std::string& aTable, const std::string& aIndex, bool aMaster) {
  return LocateRecord(aMaster ? qClusterIdxSrc : qDestClusterIdx, "table_name;index_name",
                      ado::Variant(ado::VariantArray{aTable, aIndex}), ado::loCaseInsensitive);
}

bool Tdm::LocateIndex(ado::TDataSet& aIndexes, const std::string& aTable, const std::string& aName,
                      int aPosition, bool aByPosition, bool aPrimary, std::string& aIndexName) {
  bool found = false;
  if (aByPosition) {
    found = LocateRecord(aIndexes, "table_name;index_name;ordinal_position",
                         ado::Variant(ado::VariantArray{aTable, aName, aPosition}),
                         ado::loCaseInsensitive);
  } else if (aPrimary) {
    found = LocateRecord(aIndexes, "table_name;primary_key",
                         ado::Variant(ado::VariantArray{aTable, true}), ado::loCaseInsensitive);
  } else {
    found = LocateRecord(aIndexes, "table_name;index_name",
                         ado::Variant(ado::VariantArray{aTable, aName}), ado::loCaseInsensitive);
  }
  if (found) aIndexName = aIndexes.FieldByName("index_name").AsString();
  return found;
}

void Tdm::ForeignKeyRuleText(const std::string& aUpdateRule, const std::string& aDeleteRule,
                             std::string& aUpdateText, std::string& aDeleteText) const {
  auto ruleText = [](const std::string& rule) -> std::string {
    if (rule == "0") return "CASCADE";
    if (rule == "1") return "NO ACTION";
    return {};
  };
  aUpdateText = ruleText(aUpdateRule);
  aDeleteText = ruleText(aDeleteRule);
}

bool Tdm::IsTableEmpty(const std::string& aSchema, const std::string& aTable) {
  ado::TDataSet count;
  count.SetConnection(&ac);
  count.SetCommandText("select count(*) as totale from " + SchemaPrefix(*this, aSchema) +
                       QuoteName(aTable));
  count.Open();
  return count.FieldByName("totale").AsInteger() == 0;
}
