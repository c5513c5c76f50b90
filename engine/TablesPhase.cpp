// The tables and columns phase: missing tables created, columns added, altered and filled,
// long-type columns converted, tables whose identity changed rebuilt, and the children of
// changed primary keys re-pointed.
#include <cctype>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/DataTypeTables.h"
#include "engine/CatalogScope.h"
#include "engine/uDm.h"
#include "platform/ui/Application.h"

using catalog_scope::FilterKeeper;
using catalog_scope::TextOf;

namespace {

constexpr const char* kTemporaryColumnPrefix = "TMP_PRN_";

bool IsIdentity(ado::TDataSet& row) {
  const ado::TField* f = row.FindField("IS_IDENTITY");
  return f != nullptr && !f->IsNull() && f->AsInteger() == 1;
}

bool IsNullable(ado::TDataSet& row) {
  const ado::TField* f = row.FindField("is_nullable");
  return f == nullptr || f->IsNull() || f->AsInteger() != 0;
}

// The filter "field = 'value'" with inner quotes doubled.
std::string EqualsFilter(const char* field, const std::string& value) {
  return std::string(field) + " = " + SqlLiteral(value);
}

void SetFilter(ado::TDataSet& set, const std::string& filter) {
  set.SetFilter(filter);
  set.SetFiltered(true);
}

void ClearFilter(ado::TDataSet& set) {
  if (!set.Active()) return;
  set.SetFiltered(false);
  set.SetFilter("");
}

// Generic ordinals whose definition carries the size, and the scale: their columns compare by
// them. Every server gives these sizes in one unit (characters, or bytes for binary types).
bool WritesSize(int ordinal) {
  return ordinal == gtBinary || ordinal == gtChar || ordinal == gtDecimal || ordinal == gtNumeric ||
         ordinal == gtVarchar || ordinal == gtNchar || ordinal == gtNvarchar || ordinal == gtVarbinary;
}

bool WritesScale(int ordinal) { return ordinal == gtDecimal || ordinal == gtNumeric; }

// One master table of the loop, read before the loop so that the steps may move qTables.
struct MasterTable {
  std::string name;
  std::string schema;
  std::string dbSpace;
  bool globalTemporary = false;
};

}  // namespace

// ---- Comparison rules ----

bool Tdm::ColumnTypeChanged(ado::TDataSet& aMasterRow, ado::TDataSet& aClientRow) const {
  const TOrvDataType* master = FindMasterDataType(aMasterRow);
  const TOrvDataType* client = FindMasterDataType(aClientRow, true);
  // On a server whose only identity is one type, that type is a master identity column's own.
  const TOrvDataType* identity =
      currentDialect_ != nullptr && IsIdentity(aMasterRow) ? currentDialect_->IdentityDataType() : nullptr;
  if (identity != nullptr) return client == nullptr || client->GenericName != identity->GenericName;
  const std::string masterGeneric = master != nullptr ? master->GenericName : std::string();
  const std::string clientGeneric = client != nullptr ? client->GenericName : std::string();
  const bool sameSize = TextOf(aMasterRow, "size") == TextOf(aClientRow, "size");
  const bool sameScale = TextOf(aMasterRow, "scale") == TextOf(aClientRow, "scale");
  if (masterGeneric == clientGeneric) {
    return WritesSize(client != nullptr ? client->GenericOrdinal : 0) && !(sameSize && sameScale);
  }
  // Across servers a generic type may have no exact counterpart on the client's: the column is
  // unchanged when it has the type and size that the master's translates to there.
  if (master == nullptr || currentDialect_ == nullptr) return true;
  const TOrvDataType* translated = currentDialect_->TranslateDataType(*master, aMasterRow);
  if (translated == nullptr || translated->NativeName.empty() ||
      !text::SameText(translated->NativeName, TextOf(aClientRow, "column_type_name"))) {
    return true;
  }
  if (WritesSize(translated->GenericOrdinal) && !sameSize) return true;
  return WritesScale(translated->GenericOrdinal) && !sameScale;
}

bool Tdm::ColumnUnchanged(ado::TDataSet& aMasterRow, ado::TDataSet& aClientRow) const {
  return !ColumnTypeChanged(aMasterRow, aClientRow) &&
         SameDefault(TextOf(aMasterRow, "column_default"), TextOf(aClientRow, "column_default")) &&
         IsNullable(aMasterRow) == IsNullable(aClientRow);
}

bool Tdm::IsIndexDropped(const std::string& aMasterTable, const std::string& aName) const {
  return text::ContainsText(droppedIndexes_, aMasterTable + "_" + aName);
}

// ---- Table loop ----

bool Tdm::LocateDestTable(const std::string& aName) {
  const bool filtered = qDestTables.Filtered();
  if (filtered) qDestTables.SetFiltered(false);
  bool found = LocateRecord(qDestTables, "table_name", ado::Variant(aName), ado::loCaseInsensitive);
  if (filtered) {
    qDestTables.SetFiltered(true);
    if (found) found = LocateRecord(qDestTables, "table_name", ado::Variant(aName), ado::loCaseInsensitive);
  }
  return found;
}

namespace {

// The client server's type of the master's column, or nullptr.
const TOrvDataType* TranslatedType(Tdm& dm, ado::TDataSet& row) {
  const TDatabaseSpecific* dialect = dm.CurrentDialect();
  const TOrvDataType* master = dm.FindMasterDataType(row);
  return master != nullptr && dialect != nullptr ? dialect->TranslateDataType(*master, row) : nullptr;
}

// The master's column type that has no counterpart on the client's server, or empty when the
// column's type translates.
std::string UntranslatableType(Tdm& dm, ado::TDataSet& row) {
  const TOrvDataType* translated = TranslatedType(dm, row);
  if (translated != nullptr && !translated->NativeName.empty() && translated->NativeName != "<?\?\?>") return {};
  const std::string type = TextOf(row, "column_type_name");
  return type.empty() ? std::string("(none)") : type;
}

// The first function the default text calls that is not among `known`, or empty: a word
// followed by "(" outside quoted text.
std::string UnknownFunction(const std::string& defaultText, const TWordList& known) {
  const std::string& t = defaultText;
  size_t i = 0;
  while (i < t.size()) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (c == '\'' || c == '"') {
      const size_t end = t.find(static_cast<char>(c), i + 1);
      i = end == std::string::npos ? t.size() : end + 1;
    } else if (std::isalpha(c) != 0 || c == '_') {
      size_t end = i;
      while (end < t.size() && (std::isalnum(static_cast<unsigned char>(t[end])) != 0 || t[end] == '_')) ++end;
      size_t next = end;
      while (next < t.size() && std::isspace(static_cast<unsigned char>(t[next])) != 0) ++next;
      const std::string word = t.substr(i, end - i);
      if (next < t.size() && t[next] == '(' && !known.Contains(word)) return word + "()";
      i = end;
    } else {
      ++i;
    }
  }
  return {};
}

// The value that fills the rows of a column from its default. Some Adaptive Server Anywhere
// defaults are special values, not expressions: their expression counterparts fill the rows.
std::string FillValue(const Tdm& dm, const std::string& defaultText) {
  if (dm.CurrentDialect() == nullptr || dm.CurrentDialect()->DbType != dbtAsa) return defaultText;
  static const std::pair<const char*, const char*> kSpecials[] = {
      {"TIMESTAMP", "CURRENT TIMESTAMP"}, {"UTC TIMESTAMP", "CURRENT UTC TIMESTAMP"}, {"LAST USER", "CURRENT USER"}};
  const std::string word = text::Trim(defaultText);
  for (const auto& [special, expression] : kSpecials) {
    if (text::SameText(word, special)) return expression;
  }
  return defaultText;
}

// Whether the master's column becomes a column of one of the client server's long types, which
// that server never alters.
bool AddsLongColumn(Tdm& dm, ado::TDataSet& row) {
  const TOrvDataType* translated = TranslatedType(dm, row);
  return translated != nullptr && dm.CurrentDialect()->LongTypes.Contains(translated->NativeName);
}

// The value a new long column of the row's type starts with when nothing else is given.
std::string EmptyLongValue(Tdm& dm, ado::TDataSet& row) {
  const TOrvDataType* master = dm.FindMasterDataType(row);
  const bool binary = master != nullptr && (master->GenericOrdinal == gtImage || master->GenericOrdinal == gtLongBinary);
  return binary ? "(0x)" : "('')";
}

// The name of the default constraint that carries a new NOT NULL long column's first value.
std::string FirstValueConstraint(const Tdm& dm, const std::string& table, const std::string& column) {
  return dm.FitName(std::string(kTemporaryColumnPrefix) + "DF_", table + "_" + column);
}

// A NOT NULL long column cannot be added nullable and altered afterwards: it is added NOT NULL
// with a default constraint that gives the rows already there `fill`, and the constraint is
// dropped again at once (the default phase adds the master's own). Without a fill value a new
// column is added NOT NULL as it stands, which the server refuses on a filled table; a column
// whose values move in from a temporary column (`moving`) starts empty, and the move refuses the
// rows that hold no value.
void AddLongNotNullColumn(Tdm& dm, ado::TDataSet& row, const std::string& schema, const std::string& table,
                          const std::string& column, const std::string& fill, bool moving) {
  if (fill.empty() && !moving) {
    dm.AddInstruction(dm.GetAddColumnSql(row, schema, true, false), false);
    return;
  }
  const std::string name = dm.QuoteName(FirstValueConstraint(dm, table, column));
  dm.AddInstruction(dm.GetAddColumnSql(row, schema, true, false) + " CONSTRAINT " + name + " DEFAULT " +
                        (fill.empty() ? EmptyLongValue(dm, row) : fill),
                    false);
  const std::string prefix = schema.empty() ? std::string() : schema + ".";
  dm.AddInstruction("ALTER TABLE " + prefix + dm.QuoteName(table) + " DROP CONSTRAINT " + name, false);
}

}  // namespace

bool Tdm::RefuseColumn(ado::TDataSet& aMasterRow, const std::string& aTable, const std::string& aColumn) {
  const std::string type = UntranslatableType(*this, aMasterRow);
  if (!type.empty()) {
    ReportError(dbcCheckDb, "No type of the client's server for column " + aTable + "." + aColumn + " of type " + type,
                "");
    columnTypeRefused_ = true;
    return true;
  }
  // A master of another kind may call functions in a default that the client's server lacks; the
  // current-date defaults were translated when the master's files were read.
  const TDatabaseSpecific* dialect = currentDialect_;
  if (dialect == nullptr || dialect->DefaultFunctions.Count() == 0 || dialect->MasterDbType == dialect->DbType ||
      IsIdentity(aMasterRow)) {
    return false;
  }
  const std::string defaultText = TextOf(aMasterRow, "column_default");
  const std::string function = UnknownFunction(defaultText, dialect->DefaultFunctions);
  if (function.empty()) return false;
  ReportError(dbcCheckDb, "No function " + function + " on the client's server for the default of column " + aTable +
                              "." + aColumn + ": " + text::Trim(defaultText),
              "");
  columnTypeRefused_ = true;
  return true;
}

void Tdm::RefuseNullableUniqueKeys() {
  // A master of the same kind holds only what its server, and so the client's, takes.
  if (currentDialect_ == nullptr || currentDialect_->UniqueKeysAllowNulls ||
      currentDialect_->MasterDbType == currentDialect_->DbType || !qConstraints.Active() || !qIndexes.Active()) {
    return;
  }
  // Upper-case table + "\n" + upper-case index name -> the index's columns, in the file's order.
  const auto indexKey = [](const std::string& table, const std::string& index) {
    return text::Upper(table) + '\n' + text::Upper(index);
  };
  std::unordered_map<std::string, std::vector<std::string>> indexColumns;
  for (std::vector<std::string>& column :
       catalog_scope::ReadRows(qIndexes, {"table_name", "index_name", "column_name"})) {
    indexColumns[indexKey(column[0], column[1])].push_back(std::move(column[2]));
  }
  for (const std::vector<std::string>& key :
       catalog_scope::ReadRows(qConstraints, {"table_name", "constraint_name", "constraint_type"})) {
    if (!text::SameText(key[2], "UNIQUE") ||
        !LocateRecord(qTables, "table_name", ado::Variant(key[0]), ado::loCaseInsensitive)) {
      continue;
    }
    const auto columns = indexColumns.find(indexKey(key[0], key[1]));
    if (columns == indexColumns.end()) continue;
    for (const std::string& column : columns->second) {
      if (!LocateRecord(qColumns, "table_name;column_name", ado::Variant(ado::VariantArray{key[0], column}),
                        ado::loCaseInsensitive) ||
          !IsNullable(qColumns)) {
        continue;
      }
      ReportError(dbcCheckDb, "No unique constraint of the client's server over a column that allows NULL: " +
                                  key[1] + " on column " + key[0] + "." + column, "");
      columnTypeRefused_ = true;
    }
  }
}

bool Tdm::UpdateTablesAndColumns() {
  TOrvDbSchemaUpdater* updater = Updater;
  const bool created = GetDatabaseCreated();
  columnTypeRefused_ = false;
  SetFilter(qTables, "table_type = 'TABLE' or table_type = 'GBL TEMP'");
  if (updater != nullptr) {
    updater->ProgressStepLevel1("Update Tables");
    updater->ProgressResetLevel2(qTables.RecordCount());
  }
  auto endPhase = [this](bool result) {
    ClearFilter(qTables);
    ClearFilter(qColumns);
    ClearFilter(qDestColumns);
    return result;
  };
  auto missing = [&](const std::string& table) {
    ReportError(dbcCheckDb, "Table of the primary key change list not found: " + table, "");
    return endPhase(false);
  };

  // Every server gives a table at least one column: a master table listed without any comes
  // from a damaged schema file, and comparing with it would drop every column of the client's.
  // One walk over the columns: a filter per table would read them all once per table.
  ClearFilter(qColumns);
  std::set<std::string> tablesWithColumns;
  for (qColumns.First(); !qColumns.Eof(); qColumns.Next()) {
    tablesWithColumns.insert(text::Lower(TextOf(qColumns, "table_name")));
  }
  for (qTables.First(); !qTables.Eof(); qTables.Next()) {
    const std::string name = TextOf(qTables, "table_name");
    if (!tablesWithColumns.contains(text::Lower(name)) && !text::SameText(name, "DTPROPERTIES")) {
      ReportError(dbcCheckDb, "Master table without columns: " + name, "");
      return endPhase(false);
    }
  }

  RefuseNullableUniqueKeys();
  if (!created) {
    for (int i = 0; i < pkTablesChange_.Count(); ++i) {
      const std::string& entry = pkTablesChange_.Name(i);
      const std::string name = text::Trim(entry.substr(0, entry.find('=')));
      if (updater != nullptr) updater->ProgressStepLevel2("Updating table: " + name);
      if (!LocateRecord(qTables, "table_name", ado::Variant(name), ado::loCaseInsensitive)) return missing(name);
      const std::string schema = TextOf(qTables, "table_schema");
      const std::string client = OldTableName(name);
      SetFilter(qColumns, EqualsFilter("table_name", name));
      if (!LocateDestTable(client)) return missing(name);
      SetFilter(qDestColumns, EqualsFilter("table_name", client));
      CheckIdentityChanges(schema, client, name);
      UpdateColumns(schema, client, name);
      UpdateIdentityColumns(schema, client, name);
      ClearFilter(qDestColumns);
    }
  }

  std::vector<MasterTable> tables;
  for (qTables.First(); !qTables.Eof(); qTables.Next()) {
    tables.push_back({TextOf(qTables, "table_name"), TextOf(qTables, "table_schema"),
                      TextOf(qTables, "TABLE_DBSPACE"), text::SameText(TextOf(qTables, "table_type"), "GBL TEMP")});
  }
  for (const MasterTable& table : tables) {
    if (text::SameText(table.name, "DTPROPERTIES")) continue;
    if (!created && IsPkTableChanged(table.name)) continue;
    ui::ProcessPendingMessages();
    if (updater != nullptr) updater->ProgressStepLevel2("Updating table: " + table.name);
    const std::string client = OldTableName(table.name);
    SetFilter(qColumns, EqualsFilter("table_name", table.name));
    if (!created && LocateDestTable(client)) {
      SetFilter(qDestColumns, EqualsFilter("table_name", client));
      CheckIdentityChanges(table.schema, client, table.name);
      UpdateColumns(table.schema, client, table.name);
      UpdateIdentityColumns(table.schema, client, table.name);
      ClearFilter(qDestColumns);
    } else if (!table.globalTemporary || (currentDialect_ != nullptr && currentDialect_->GlobalTempTables)) {
      CreateTable(table.dbSpace, table.schema, qColumns, table.globalTemporary, table.name);
    }
  }
  return endPhase(!columnTypeRefused_);
}

// ---- Per-table steps ----

namespace {

// The schema of the client table whose columns qDestColumns holds.
std::string ClientSchema(ado::TDataSet& clientColumns) {
  clientColumns.First();
  return clientColumns.Eof() ? std::string() : TextOf(clientColumns, "table_schema");
}

}  // namespace

void Tdm::CheckIdentityChanges(const std::string&, const std::string& aClientTable,
                               const std::string& aMasterTable) {
  // Cleared whatever the table holds, so that no earlier table's columns count here.
  identityChanged_.clear();
  identityType_.clear();
  if (qDestColumns.IsEmpty()) return;
  // Only a server that reports seed and increment can differ from the master in them.
  const bool seedReported =
      currentDialect_ != nullptr && currentDialect_->IdentityOptions->WriteIdentitySeed;
  for (qColumns.First(); !qColumns.Eof(); qColumns.Next()) {
    std::string column, table;
    OldFieldName(aMasterTable, TextOf(qColumns, "column_name"), column, table);
    if (!LocateRecord(qDestColumns, "table_name;column_name",
                      ado::Variant(ado::VariantArray{aClientTable, column}), ado::loCaseInsensitive)) {
      continue;
    }
    const bool masterIdentity = IsIdentity(qColumns);
    const bool clientIdentity = IsIdentity(qDestColumns);
    if (masterIdentity && clientIdentity) {
      if (seedReported && (TextOf(qColumns, "IDENTITY_SEED") != TextOf(qDestColumns, "IDENTITY_SEED") ||
                           TextOf(qColumns, "IDENTITY_INCR") != TextOf(qDestColumns, "IDENTITY_INCR"))) {
        identityChanged_.push_back(column);
      }
    } else if (masterIdentity) {
      (ColumnTypeChanged(qColumns, qDestColumns) ? identityType_ : identityChanged_).push_back(column);
    } else if (clientIdentity) {
      identityChanged_.push_back(column);
    }
  }
  if (identityChanged_.empty() && identityType_.empty()) return;
  FilterKeeper keeper(qDestColumns, false);
  SetFilter(qDestColumns, EqualsFilter("table_name", aClientTable));
  RebuildTable(qDestColumns);
}

void Tdm::UpdateColumns(const std::string&, const std::string& aClientTable,
                        const std::string& aMasterTable) {
  const std::string schema = ClientSchema(qDestColumns);
  for (qColumns.First(); !qColumns.Eof(); qColumns.Next()) {
    ui::ProcessPendingMessages();
    const std::string masterColumn = TextOf(qColumns, "column_name");
    std::string column, table;
    OldFieldName(aMasterTable, masterColumn, column, table);
    if (text::ContainsText(identityChanged_, column) || text::ContainsText(identityType_, column) ||
        IsIdentity(qColumns)) {
      continue;
    }
    if (!LocateRecord(qDestColumns, "table_name;column_name",
                      ado::Variant(ado::VariantArray{aClientTable, column}), ado::loCaseInsensitive)) {
      AddMissingColumn(qColumns, schema, aMasterTable, masterColumn);
    } else if (!IsIdentity(qDestColumns)) {
      AlterChangedColumn(qColumns, qDestColumns, schema, aClientTable, aMasterTable, column, masterColumn);
    }
  }
}

void Tdm::UpdateIdentityColumns(const std::string&, const std::string& aClientTable,
                                const std::string& aMasterTable) {
  if (currentDialect_ == nullptr) return;
  const TIdentityOptions& options = *currentDialect_->IdentityOptions;
  const std::string schema = ClientSchema(qDestColumns);
  for (qColumns.First(); !qColumns.Eof(); qColumns.Next()) {
    const std::string masterColumn = TextOf(qColumns, "column_name");
    std::string column, table;
    OldFieldName(aMasterTable, masterColumn, column, table);
    const bool found = LocateRecord(qDestColumns, "table_name;column_name",
                                    ado::Variant(ado::VariantArray{aClientTable, column}), ado::loCaseInsensitive);
    const bool masterIdentity = IsIdentity(qColumns);
    if (!masterIdentity && !(found && IsIdentity(qDestColumns))) continue;
    if (!found) {
      if (RefuseColumn(qColumns, aMasterTable, masterColumn)) continue;
      if (options.IdentityAddPlain || !IsNullable(qColumns) || !options.IdentityNullClause ||
          IsTableEmpty(schema, aClientTable)) {
        AddInstruction(GetAddColumnSql(qColumns, schema, true, true), false);
      } else {
        // A nullable identity column on a filled table: added empty, numbered, then altered.
        AddInstruction(GetAddColumnSql(qColumns, schema, false, true), false);
        AddRenumberColumn(schema, aMasterTable, masterColumn);
        AddInstruction(GetAlterColumnSql(qColumns, schema, true), false);
      }
    } else if (masterIdentity && IsIdentity(qDestColumns)) {
      AlterChangedColumn(qColumns, qDestColumns, schema, aClientTable, aMasterTable, column, masterColumn);
    }
  }
}

// ---- Columns ----

void Tdm::AddMissingColumn(ado::TDataSet& aMasterRow, const std::string& aSchema, const std::string& aTable,
                           const std::string& aColumn, bool aDeferNotNull) {
  if (currentDialect_ == nullptr || RefuseColumn(aMasterRow, aTable, aColumn)) return;
  std::string defaultText = TextOf(aMasterRow, "column_default");
  const bool notNull = !IsNullable(aMasterRow);
  // The UPDATE names the table as the ADD beside it does.
  const std::string prefix = aSchema.empty() ? std::string() : aSchema + ".";
  const std::string fill = "UPDATE " + prefix + QuoteName(aTable) + " set " + QuoteName(aColumn) + " = ";
  const std::string where = " where " + QuoteName(aColumn) + " is null";
  if (currentDialect_->FillNullsOnAlter) {
    if (!notNull && defaultText.empty()) {
      AddInstruction(GetAddColumnSql(aMasterRow, aSchema, true, false), false);
      return;
    }
    if (defaultText.empty()) defaultText = GetTypeDefaultText(aMasterRow);
    if (notNull && AddsLongColumn(*this, aMasterRow)) {
      AddLongNotNullColumn(*this, aMasterRow, aSchema, aTable, aColumn, defaultText, aDeferNotNull);
      return;
    }
    AddInstruction(GetAddColumnSql(aMasterRow, aSchema, false, false), false);
    if (!defaultText.empty()) AddInstruction(fill + FillValue(*this, defaultText) + where, false);
    if (notNull && !aDeferNotNull) AddInstruction(GetAlterColumnSql(aMasterRow, aSchema, true), false);
    return;
  }
  // The rows already there of a new NOT NULL column take the default its type implies, as on
  // the servers that fill NULLs on ALTER: added NOT NULL at once, the server refuses them.
  if (defaultText.empty() && notNull) defaultText = GetTypeDefaultText(aMasterRow);
  if (defaultText.empty()) {
    AddInstruction(GetAddColumnSql(aMasterRow, aSchema, !aDeferNotNull, false), false);
    return;
  }
  AddInstruction(GetAddColumnSql(aMasterRow, aSchema, false, false), false);
  AddInstruction(fill + FillValue(*this, defaultText) + where, false);
  if (notNull && !aDeferNotNull) AddInstruction(GetAlterColumnSql(aMasterRow, aSchema, true), false);
}

namespace {

// Whether SQL Server alters the column in place while a plain index uses it: only a varchar,
// nvarchar or varbinary column that keeps its type and nullability and does not shrink.
bool AltersUnderIndex(Tdm& dm, ado::TDataSet& masterRow, ado::TDataSet& clientRow) {
  const TOrvDataType* master = dm.FindMasterDataType(masterRow);
  const TOrvDataType* client = dm.FindMasterDataType(clientRow, true);
  if (master == nullptr || client == nullptr || master->GenericName != client->GenericName) return false;
  if (client->GenericOrdinal != gtVarchar && client->GenericOrdinal != gtNvarchar &&
      client->GenericOrdinal != gtVarbinary) {
    return false;
  }
  if (IsNullable(masterRow) != IsNullable(clientRow)) return false;
  return masterRow.FieldByName("size").AsInteger() >= clientRow.FieldByName("size").AsInteger();
}

}  // namespace

void Tdm::AlterChangedColumn(ado::TDataSet& aMasterRow, ado::TDataSet& aClientRow, const std::string& aClientSchema,
                             const std::string& aClientTable, const std::string& aMasterTable,
                             const std::string& aClientColumn, const std::string& aMasterColumn) {
  TDatabaseSpecific* dialect = currentDialect_;
  if (dialect == nullptr || ColumnUnchanged(aMasterRow, aClientRow) ||
      RefuseColumn(aMasterRow, aMasterTable, aMasterColumn)) {
    return;
  }
  const std::string schemaPrefix = aClientSchema.empty() ? std::string() : QuoteName(aClientSchema) + ".";
  const std::string table = schemaPrefix + QuoteName(aMasterTable);
  const std::string column = QuoteName(aMasterColumn);
  const bool masterNotNull = !IsNullable(aMasterRow);
  const bool typeChanged = ColumnTypeChanged(aMasterRow, aClientRow);
  const bool nullabilityChanged = IsNullable(aMasterRow) != IsNullable(aClientRow);
  auto dropDependants = [&] {
    DropDependentConstraintsOf(aClientSchema, aClientTable, "", aClientColumn, aMasterTable);
  };
  auto nullableDefault = [&] {
    if (masterNotNull || TextOf(aMasterRow, "column_default").empty()) return;
    AddInstruction(dialect->GetAlterColumnNullSql(aMasterRow, FindMasterDataType(aMasterRow),
                                                  GetOwnerName(aClientSchema), aMasterTable, aMasterColumn),
                   false);
  };

  if (IsLongDataType(aClientRow) || AddsLongColumn(*this, aMasterRow)) {
    // A column cannot be altered from or to a long type: the values move through a new column.
    const std::string temporary = FitName(kTemporaryColumnPrefix, aMasterColumn);
    dropDependants();
    AddRenameColumn(aClientSchema, aMasterTable, aMasterColumn, temporary);
    AddMissingColumn(aMasterRow, aClientSchema, aMasterTable, aMasterColumn, true);
    // A NOT NULL long column without a fill value takes every row's value, so that the server
    // refuses the rows that hold none.
    const bool longNotNull = masterNotNull && AddsLongColumn(*this, aMasterRow);
    const bool everyRow = longNotNull && TextOf(aMasterRow, "column_default").empty() &&
                          GetTypeDefaultText(aMasterRow).empty();
    AddInstruction("UPDATE " + table + " SET " + column + " = " + QuoteName(temporary) +
                       (everyRow ? std::string() : " WHERE " + QuoteName(temporary) + " IS NOT NULL"),
                   false);
    AddInstruction("ALTER TABLE " + table + dialect->DropColumnKeyword + QuoteName(temporary), false);
    // NOT NULL only once the old values are in.
    if (masterNotNull && !longNotNull) {
      AddInstruction(GetAlterColumnSql(aMasterRow, aClientSchema, true), false);
    }
    return;
  }
  const std::string defaultText = dialect->GetColumnDefault(aClientRow, &aMasterRow);
  auto fillWith = [&](const std::string& value) {
    return "UPDATE " + table + " set " + column + " = " + FillValue(*this, value) + " where " + column + " is null";
  };
  // Adaptive Server Anywhere alters no column an index holds; SQL Server only some.
  const bool asa = dialect->DbType == dbtAsa;
  if (typeChanged) {
    dropDependants();
    if (asa || (dialect->DbType == dbtSqlServer && !AltersUnderIndex(*this, aMasterRow, aClientRow))) {
      DropPlainIndexesOf(aClientSchema, aClientTable, aClientColumn, aMasterTable);
    }
    // Rows without a value take the default, else the one the column's type implies.
    const std::string value = defaultText.empty() ? GetTypeDefaultText(aMasterRow) : defaultText;
    if (nullabilityChanged && masterNotNull && !value.empty()) {
      AddInstruction(GetAlterColumnSql(aMasterRow, aClientSchema, false), false);
      AddInstruction(fillWith(value), false);
      AddInstruction(GetAlterColumnSql(aMasterRow, aClientSchema, true), false);
      return;
    }
    AddInstruction(GetAlterColumnSql(aMasterRow, aClientSchema, true), false);
    nullableDefault();
    return;
  }
  if (nullabilityChanged) {
    dropDependants();
    if (asa || dialect->DbType == dbtSqlServer) {
      DropPlainIndexesOf(aClientSchema, aClientTable, aClientColumn, aMasterTable);
    }
    // Rows without a value take the default, else the one the column's type implies, as the
    // rows of a new NOT NULL column do.
    const std::string value = defaultText.empty() ? GetTypeDefaultText(aMasterRow) : defaultText;
    if (masterNotNull && !value.empty()) AddInstruction(fillWith(value), false);
    AddInstruction(GetAlterColumnSql(aMasterRow, aClientSchema, true), false);
    nullableDefault();
    return;
  }
  if (dialect->DefaultAsConstraint) return;
  if (TextOf(aMasterRow, "column_default") != TextOf(aClientRow, "column_default")) {
    // The statement carries the column's type, which ASA refuses for a column an index holds.
    if (asa) {
      dropDependants();
      DropPlainIndexesOf(aClientSchema, aClientTable, aClientColumn, aMasterTable);
    }
    AddInstruction(GetAlterColumnSql(aMasterRow, aClientSchema, true), false);
    nullableDefault();
  }
}

void Tdm::DropPlainIndexesOf(const std::string& aSchema, const std::string& aClientTable,
                             const std::string& aColumn, const std::string& aMasterTable) {
  if (currentDialect_ == nullptr || !qDestIndexes.Active()) return;
  std::vector<std::string> names;
  {
    FilterKeeper keeper(qDestIndexes, false);
    SetFilter(qDestIndexes, EqualsFilter("table_name", aClientTable) + " and " + EqualsFilter("column_name", aColumn));
    for (qDestIndexes.First(); !qDestIndexes.Eof(); qDestIndexes.Next()) {
      const ado::TField& primary = qDestIndexes.FieldByName("primary_key");
      if (!primary.IsNull() && primary.AsBoolean()) continue;
      const std::string name = TextOf(qDestIndexes, "index_name");
      if (!text::ContainsText(names, name)) names.push_back(name);
    }
  }
  const std::string prefix = aSchema.empty() ? std::string() : QuoteName(aSchema) + ".";
  for (const std::string& name : names) {
    // A unique constraint is dropped with the dependent constraints.
    if (LocateRecord(qDestConstraints, "TABLE_NAME;constraint_name",
                     ado::Variant(ado::VariantArray{aClientTable, name}), ado::loCaseInsensitive)) {
      continue;
    }
    if (IsIndexDropped(aMasterTable, name)) continue;
    droppedIndexes_.push_back(aMasterTable + "_" + name);
    AddInstruction(currentDialect_->GetDropIndexSql(prefix, aMasterTable, name), false);
  }
}

// ---- New tables ----

void Tdm::CreateTable(const std::string& aDbSpace, const std::string& aSchema, ado::TDataSet& aColumns,
                      bool aGlobalTemporary, const std::string& aTable) {
  if (currentDialect_ == nullptr || aColumns.IsEmpty()) return;
  std::vector<std::string> definitions;
  bool refused = false;
  for (aColumns.First(); !aColumns.Eof(); aColumns.Next()) {
    const std::string column = TextOf(aColumns, "column_Name");
    if (RefuseColumn(aColumns, aTable, column)) {
      refused = true;
      continue;
    }
    definitions.push_back(GetColumnDefinition(aColumns, true, true, column));
  }
  if (refused) return;
  const std::string owner = GetOwnerName(aSchema);
  std::string sql = (aGlobalTemporary ? "CREATE GLOBAL TEMPORARY TABLE " : "CREATE TABLE ") + owner +
                    QuoteName(aTable) + " (" + text::Join(definitions, ", ") + ")";
  sql += GetDbSpaceClause(aDbSpace);
  sql += GetTextImageClause(aTable);
  AddInstruction(sql, false);
  if (currentDialect_->CreateKeepsNullable) return;
  for (aColumns.First(); !aColumns.Eof(); aColumns.Next()) {
    if (!IsNullable(aColumns) || TextOf(aColumns, "column_default").empty()) continue;
    AddInstruction(currentDialect_->GetAlterColumnNullSql(aColumns, FindMasterDataType(aColumns), owner, aTable,
                                                          TextOf(aColumns, "column_name")),
                   false);
  }
}

// ---- Children of changed primary keys ----

namespace {

// One foreign-key column and the key column it points at.
struct KeyPair {
  std::string foreignKey;
  std::string key;
};

// Pairs each foreign-key row of `set` with the position of its PK_COLUMN_NAME in `keys`; with
// `table` given, both column names are first taken under their names after the renames. False
// when a key column is not in `keys`.
bool PairKeys(const Tdm& dm, ado::TDataSet& set, const std::string& table, const std::vector<std::string>& keys,
              std::vector<KeyPair>& pairs) {
  pairs.assign(keys.size(), KeyPair());
  for (set.First(); !set.Eof(); set.Next()) {
    std::string key = TextOf(set, "PK_COLUMN_NAME"), foreignKey = TextOf(set, "FK_COLUMN_NAME"), ignored;
    if (!table.empty()) {
      dm.NewFieldName(table, TextOf(set, "PK_COLUMN_NAME"), key, ignored);
      dm.NewFieldName(table, TextOf(set, "FK_COLUMN_NAME"), foreignKey, ignored);
    }
    size_t i = 0;
    while (i < keys.size() && !text::SameText(keys[i], key)) ++i;
    if (i == keys.size()) return false;
    pairs[i] = {foreignKey, keys[i]};
  }
  return true;
}

// "left.fk = right.key" for each pair, joined by `separator`.
std::string PairList(const Tdm& dm, const std::vector<KeyPair>& pairs, const std::string& left,
                     const std::string& right, const char* separator) {
  std::vector<std::string> items;
  for (const KeyPair& pair : pairs) {
    if (pair.foreignKey.empty()) continue;
    items.push_back(left + dm.QuoteName(pair.foreignKey) + " = " + right + dm.QuoteName(pair.key));
  }
  return text::Join(items, separator);
}

// The statement that points the foreign-key columns of the new pairing at the new key of the row
// their old pairing pointed at, on a table that references itself, in a form the server accepts.
std::string PkChildrenSql(const Tdm& dm, TDbType server, const std::string& prefix, const std::string& name,
                          const std::vector<KeyPair>& newPairs, const std::vector<KeyPair>& oldPairs) {
  const std::string table = prefix + name;
  if (server == dbtAccess) {
    return "UPDATE " + table + " AS DTL INNER JOIN " + table + " AS MST ON " +
           PairList(dm, oldPairs, "DTL.", "MST.", " AND ") + " SET " + PairList(dm, newPairs, "DTL.", "MST.", ", ");
  }
  if (server == dbtAsa) {
    // Correlated subqueries: the outer table is named by its own name, the inner one is MST.
    const std::string outer = name + ".";
    const std::string match =
        " FROM " + table + " AS MST WHERE " + PairList(dm, oldPairs, outer, "MST.", " AND ");
    std::vector<std::string> sets;
    for (const KeyPair& pair : newPairs) {
      if (pair.foreignKey.empty()) continue;
      sets.push_back(dm.QuoteName(pair.foreignKey) + " = (SELECT MST." + dm.QuoteName(pair.key) + match + ")");
    }
    return "UPDATE " + table + " SET " + text::Join(sets, ", ") + " WHERE EXISTS (SELECT *" + match + ")";
  }
  return "UPDATE DTL SET " + PairList(dm, newPairs, "DTL.", "MST.", ", ") + " FROM " + table + " AS DTL, " + table +
         " AS MST WHERE " + PairList(dm, oldPairs, "DTL.", "MST.", " AND ");
}

}  // namespace

bool Tdm::UpdatePkChildren() {
  if (Updater != nullptr) Updater->ProgressStepLevel1("Update PK Child");
  if (GetDatabaseCreated() || currentDialect_ == nullptr) return true;
  for (int i = 0; i < pkTablesChange_.Count(); ++i) {
    const TPkTablesChange& change = pkTablesChange_.Object(i);
    if (Updater != nullptr) Updater->ProgressStepLevel2("Master table: " + change.MasterTable);
    // The client's foreign keys of the table that reference its own primary key.
    SetFilter(qDestForeignKeys, EqualsFilter("PK_NAME", change.ClientPkName) + " and " +
                                    EqualsFilter("FK_TABLE_NAME", change.ClientTable) + " and " +
                                    EqualsFilter("PK_TABLE_NAME", change.ClientTable));
    qDestForeignKeys.First();
    if (qDestForeignKeys.Eof()) continue;
    const std::string child = TextOf(qDestForeignKeys, "FK_TABLE_NAME");
    const std::string childSchema = TextOf(qDestForeignKeys, "FK_TABLE_SCHEMA");
    const std::string masterChild = NewTableName(child);
    SetFilter(qForeignKeys, EqualsFilter("PK_TABLE_NAME", change.MasterTable) + " and " +
                                EqualsFilter("FK_TABLE_NAME", masterChild));
    qForeignKeys.First();
    if (qForeignKeys.Eof()) continue;
    std::vector<KeyPair> oldPairs, newPairs;
    if (!PairKeys(*this, qDestForeignKeys, child, change.ClientKeyColumns, oldPairs) ||
        !PairKeys(*this, qForeignKeys, "", change.MasterKeyColumns, newPairs)) {
      continue;
    }
    const std::string prefix = childSchema.empty() ? std::string() : QuoteName(childSchema) + ".";
    AddInstruction(PkChildrenSql(*this, currentDialect_->DbType, prefix, QuoteName(masterChild), newPairs, oldPairs),
                   false);
  }
  ClearFilter(qDestForeignKeys);
  ClearFilter(qForeignKeys);
  return true;
}
