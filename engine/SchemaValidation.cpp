// The check's first step: the master's schema files are read for what would make the comparison or
// the update go wrong (a row without its names or type, a size that is no number, a name the
// connected server cannot take, a row of a table the table list lacks), and a damaged package is
// refused before anything is compared or queued.
#include "engine/SchemaValidation.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/Paths.h"
#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/CatalogScope.h"
#include "engine/EngineRun.h"
#include "engine/uDm.h"

namespace {

// Checks of a field, combined with "|".
enum : unsigned {
  kRequired = 1,        // neither missing nor empty
  kName = 2,            // a name the connected server can take (in the rows carried to it)
  kCount = 4,           // when given, a whole number not below zero
  kNumber = 8,          // when given, a whole number
  kTable = 16,          // names a table of the master's table list
  kColumn = 32,         // names a column, of the table named by the rule's `table` field
  kAlways = 64,         // checked in every row, not only in the rows the check carries to the client
  kAsConstraint = 128,  // required when the master keeps its defaults as named constraints
  kOwner = 256,         // an owner's name: a name only where the connected server has owners
};

struct FieldRule {
  const char* field;
  unsigned checks;
  const char* table = nullptr;  // kColumn: the field naming the column's table
};

// Which rows of a file the check carries to the client: those are checked whole; of the others,
// only the table field (for its value, not as a name) and the kAlways fields.
enum class Carried { kTables, kByTable, kViews, kProcedures };

struct FileRule {
  TOrvSchemaInfo kind;
  ado::TDataSet Tdm::*set;  // nullptr: the file is read here
  Carried carried;
  const char* tableField;   // the field naming the row's table; nullptr when there is none
  std::initializer_list<FieldRule> fields;
};

// In this order: the table list and the columns first, which the later files are checked against.
// Fields a server legitimately leaves empty (owners on Access, Adaptive Server Anywhere's default
// names, the text of an encrypted view) are not required.
const FileRule kFileRules[] = {
    {vsiTables, &Tdm::qTables, Carried::kTables, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kName}, {"TABLE_TYPE", kRequired | kAlways}, {"TABLE_SCHEMA", kName | kOwner}}},
    {vsiColumns, &Tdm::qColumns, Carried::kByTable, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kTable},
      {"COLUMN_NAME", kRequired | kName},
      {"COLUMN_TYPE_NAME", kRequired},
      {"ORDINAL_POSITION", kCount},
      {"SIZE", kCount},
      {"SCALE", kCount},
      {"IS_IDENTITY", kCount},
      {"IDENTITY_SEED", kNumber},
      {"IDENTITY_INCR", kNumber}}},
    {vsiIndexes, &Tdm::qIndexes, Carried::kByTable, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kTable},
      {"INDEX_NAME", kRequired | kName},
      {"COLUMN_NAME", kRequired | kColumn, "TABLE_NAME"},
      {"ORDINAL_POSITION", kCount}}},
    {vsiTableConstraints, &Tdm::qConstraints, Carried::kByTable, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kTable}, {"CONSTRAINT_NAME", kRequired | kName}, {"CONSTRAINT_TYPE", kRequired}}},
    {vsiPrimaryKeys, &Tdm::qPrimaryKeys, Carried::kByTable, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kTable},
      {"COLUMN_NAME", kRequired | kColumn, "TABLE_NAME"},
      {"PK_NAME", kRequired | kName},
      {"ORDINAL", kCount}}},
    {vsiForeignKeys, &Tdm::qForeignKeys, Carried::kByTable, "FK_TABLE_NAME",
     {{"FK_TABLE_NAME", kRequired | kTable},
      {"PK_TABLE_NAME", kRequired | kTable},
      {"FK_NAME", kRequired | kName},
      {"FK_COLUMN_NAME", kRequired | kColumn, "FK_TABLE_NAME"},
      {"PK_COLUMN_NAME", kRequired | kColumn, "PK_TABLE_NAME"},
      {"ORDINAL", kCount}}},
    {vsiDefaultValues, nullptr, Carried::kByTable, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kTable},
      {"COLUMN_NAME", kRequired | kColumn, "TABLE_NAME"},
      {"CONSTRAINT_NAME", kAsConstraint | kName}}},
    {vsiViews, nullptr, Carried::kViews, nullptr, {{"TABLE_NAME", kRequired | kName}}},
    {vsiProcedures, &Tdm::qProcedures, Carried::kProcedures, nullptr, {{"PROCEDURE_NAME", kRequired | kName}}},
};

// A name or value as a message shows it: a long one is cut.
std::string Shown(const std::string& text) { return text::Shown(text, 64); }

// The fault of a number field's value; empty when it is sound.
std::string NumberFault(const ado::Variant& value, bool count) {
  int64_t number = 0;
  switch (value.Type()) {
    case ado::VarType::Int:
      number = value.AsInt();
      break;
    case ado::VarType::Float: {
      // A column declared as a decimal or floating type holds whole numbers too.
      const double real = value.AsFloat();
      if (!(real == std::trunc(real) && std::fabs(real) < 9.0e18)) {
        return "holds '" + Shown(value.AsString()) + "', which is not a whole number";
      }
      number = static_cast<int64_t>(real);
      break;
    }
    case ado::VarType::Text: {
      const std::string trimmed = text::Trim(*value.IfText());
      const char* first = trimmed.data();
      const char* last = first + trimmed.size();
      if (first != last && *first == '+') ++first;
      const auto [end, error] = std::from_chars(first, last, number);
      if (trimmed.empty() || error != std::errc() || end != last) {
        return "holds '" + Shown(*value.IfText()) + "', which is not a whole number";
      }
      break;
    }
    default:
      return "holds '" + Shown(value.AsString()) + "', which is not a whole number";
  }
  if (count && number < 0) return "holds " + std::to_string(number) + ", which is negative";
  return {};
}

// True for a table list row of a table the check creates and compares (TABLE, GBL TEMP).
bool IsCreatedTable(const ado::TField* typeField) {
  const std::string type = typeField != nullptr ? typeField->AsString() : std::string();
  return text::SameText(type, "TABLE") || text::SameText(type, "GBL TEMP");
}

std::string ColumnKey(const std::string& table, const std::string& column) {
  return text::Upper(table) + '\n' + text::Upper(column);
}

// One pass over the master's files; the first fault found ends it.
class Validation {
 public:
  Validation(Tdm& dm, TDatabaseSpecific& dialect, const std::string& folder)
      : dm_(dm), dialect_(dialect), folder_(folder) {}

  // The first fault, "" when the files are sound.
  std::string Run() {
    for (const FileRule& rule : kFileRules) {
      ado::TDataSet scratch;
      ado::TDataSet* set = rule.set != nullptr ? &(dm_.*rule.set) : nullptr;
      const std::string file = EnumName(rule.kind) + ".xml";
      if (set == nullptr) {
        // Views and default values are read by their phases; a file that is not there is left to them.
        const std::string path = paths::ResolveFolder(Tdm::SchemaFolderFile(folder_, file));
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) continue;
        scratch.LoadFromFile(path, schema_validation::kMaxFieldBytes);
        set = &scratch;
      }
      if (!CheckFile(rule, file, *set)) return fault_;
    }
    CheckCopyItems();
    return fault_;
  }

 private:
  bool Fail(const std::string& file, int row, const std::string& field, const std::string& what) {
    fault_ = "Damaged package: " + file + ", row " + std::to_string(row) + ", field " + field + " " + what;
    return false;
  }

  bool CheckFile(const FileRule& rule, const std::string& file, ado::TDataSet& set) {
    if (!set.Active() || set.FieldCount() == 0) return true;
    catalog_scope::FilterKeeper filter(set, false);
    catalog_scope::SortKeeper sort(set);
    if (set.Filtered()) set.SetFiltered(false);
    if (!set.Sort().empty()) set.SetSort(std::string());
    std::vector<const ado::TField*> fields;
    for (const FieldRule& field : rule.fields) {
      const ado::TField* found = set.FindField(field.field);
      if (found == nullptr && (field.checks & kRequired) != 0 && !set.IsEmpty()) {
        return Fail(file, 1, field.field, "is missing: the file has no such field");
      }
      fields.push_back(found);
    }
    const ado::TField* typeField = rule.kind == vsiTables ? set.FindField("TABLE_TYPE") : nullptr;
    const ado::TField* tableField = rule.tableField != nullptr ? set.FindField(rule.tableField) : nullptr;
    int row = 0;
    for (set.First(); !set.Eof(); set.Next()) {
      ++row;
      const bool carried = IsCarried(rule.carried, tableField, typeField);
      for (size_t i = 0; i < fields.size(); ++i) {
        const FieldRule& check = *(rule.fields.begin() + i);
        const bool always = (check.checks & kAlways) != 0 ||
                            (rule.tableField != nullptr && std::string_view(check.field) == rule.tableField);
        if (fields[i] == nullptr || (!carried && !always)) continue;
        if (!CheckField(check, *fields[i], set, file, row, carried)) return false;
      }
      if (rule.kind == vsiTables && tableField != nullptr) {
        tables_.emplace(text::Upper(tableField->AsString()), IsCreatedTable(typeField));
      } else if (rule.kind == vsiColumns && tableField != nullptr && fields[1] != nullptr) {
        // fields[1]: the column rule's COLUMN_NAME.
        columns_.insert(ColumnKey(tableField->AsString(), fields[1]->AsString()));
      }
    }
    return true;
  }

  bool IsCarried(Carried carried, const ado::TField* tableField, const ado::TField* typeField) const {
    switch (carried) {
      case Carried::kTables:
        return IsCreatedTable(typeField) ||
               (typeField != nullptr && text::SameText(typeField->AsString(), "VIEW") && dialect_.CanUpdateViews());
      case Carried::kByTable: {
        if (tableField == nullptr) return false;
        const auto found = tables_.find(text::Upper(tableField->AsString()));
        return found != tables_.end() && found->second;
      }
      case Carried::kViews: return dialect_.CanUpdateViews();
      case Carried::kProcedures: return dialect_.CanUpdateProcedures();
    }
    return false;
  }

  bool CheckField(const FieldRule& check, const ado::TField& field, ado::TDataSet& set, const std::string& file,
                  int row, bool carried) {
    const ado::Variant& value = field.Value();
    const bool required =
        (check.checks & kRequired) != 0 || ((check.checks & kAsConstraint) != 0 && dm_.DefaultAsConstraint());
    const bool empty = value.IsNullOrEmpty() || (value.IfText() != nullptr && value.IfText()->empty());
    if (empty) return required ? Fail(file, row, check.field, "has no value") : true;
    if ((check.checks & (kCount | kNumber)) != 0) {
      const std::string fault = NumberFault(value, (check.checks & kCount) != 0);
      return fault.empty() ? true : Fail(file, row, check.field, fault);
    }
    const std::string text = value.AsString();
    if ((check.checks & kName) != 0 && carried && ((check.checks & kOwner) == 0 || dialect_.UseOwners)) {
      const std::string fault = dialect_.NameFault(text);
      if (!fault.empty()) return Fail(file, row, check.field, fault);
    }
    if ((check.checks & kTable) != 0 && tables_.find(text::Upper(text)) == tables_.end()) {
      return Fail(file, row, check.field, TableFault(text));
    }
    if ((check.checks & kColumn) != 0) {
      const ado::TField* table = set.FindField(check.table);
      const std::string tableName = table != nullptr ? table->AsString() : std::string();
      if (columns_.find(ColumnKey(tableName, text)) == columns_.end()) {
        return Fail(file, row, check.field,
                    "names the column " + Shown(text) + ", which vsiColumns.xml lacks for table " + Shown(tableName));
      }
    }
    return true;
  }

  std::string TableFault(const std::string& table) const {
    if (tables_.empty()) return "names the table " + Shown(table) + ", but vsiTables.xml lists no table";
    return "names the table " + Shown(table) + ", which vsiTables.xml lacks";
  }

  void CheckCopyItems() {
    if (!fault_.empty() || dm_.Producer == nullptr) return;
    const TCopyData& items = dm_.Producer->CopyData;
    for (int i = 0; i < items.Count(); ++i) {
      const std::string& table = items.Items(i).TableName;
      if (tables_.find(text::Upper(table)) == tables_.end()) {
        Fail("DirectivesFromProducer.xml", i + 1, "TableName",
             table.empty() ? std::string("has no value") : TableFault(table));
        return;
      }
    }
  }

  Tdm& dm_;
  TDatabaseSpecific& dialect_;
  const std::string& folder_;
  // Upper-case master table name -> the check creates and compares the table (TABLE, GBL TEMP).
  std::unordered_map<std::string, bool> tables_;
  // Upper-case table + "\n" + column of every master column.
  std::unordered_set<std::string> columns_;
  std::string fault_;
};

}  // namespace

bool Tdm::ValidateMasterSchema() {
  TOrvDbSchemaUpdater& updater = engine_run::RequireUpdater(Updater, "check");
  TDatabaseSpecific& dialect = engine_run::RequireDialect(currentDialect_, "check");
  const std::string fault = Validation(*this, dialect, updater.DirSchemas).Run();
  if (fault.empty()) return true;
  ReportError(dbcCheckDb, fault, "");
  return false;
}
