// The check's first step: the master's schema files are read for what would make the comparison or
// the update go wrong (a row without its names or type, a size the client's server cannot take, a
// name it cannot take or that is no UTF-8 text, an unknown table type, a type code that contradicts
// the type's name, a table listed twice, a row of a table, column or index the package's lists
// lack), and a damaged package is refused before anything is compared or queued.
#include "engine/SchemaValidation.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/DataTypeTables.h"
#include "engine/CatalogScope.h"
#include "engine/EngineRun.h"
#include "engine/SchemaFiles.h"
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
  kIndex = 512,         // names an index, of the table named by the rule's `table` field
  kUnique = 1024,       // no two rows carried to the client hold it (case ignored)
  kOneOf = 2048,        // one of the rule's `values` (case ignored)
  kSize = 4096,         // the size (or scale) of the row's column: given, and in the range the
                        // connected server takes, wherever the column's type is written with one
  kTypeCode = 8192,     // when given, a code the master's server gives the type the row names
};

struct FieldRule {
  const char* field;
  unsigned checks;
  const char* table = nullptr;  // kColumn, kIndex: the field naming the table
  std::span<const std::string_view> values = {};  // kOneOf
};

// The table types the servers list: their own, and those of the schema rowset.
constexpr std::string_view kTableTypes[] = {
    "TABLE", "VIEW", "SYSTEM TABLE", "SYSTEM VIEW", "GBL TEMP", "SYSTEM GBL TEMP", "ACCESS TABLE", "LINK",
    "PASS-THROUGH", "ALIAS", "SYNONYM", "GLOBAL TEMPORARY", "LOCAL TEMPORARY"};

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
     {{"TABLE_NAME", kRequired | kName | kUnique},
      {"TABLE_TYPE", kRequired | kAlways | kOneOf, nullptr, kTableTypes},
      {"TABLE_SCHEMA", kName | kOwner}}},
    {vsiColumns, &Tdm::qColumns, Carried::kByTable, "TABLE_NAME",
     {{"TABLE_NAME", kRequired | kTable},
      {"COLUMN_NAME", kRequired | kName},
      {"COLUMN_TYPE_NAME", kRequired},
      {"COLUMN_TYPE", kNumber | kTypeCode},
      {"ORDINAL_POSITION", kCount},
      {"SIZE", kCount | kSize},
      {"SCALE", kCount | kSize},
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
      {"PK_NAME", kRequired | kName | kIndex, "TABLE_NAME"},
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

// The largest size each server takes for its types of bounded size: a length in characters or
// bytes, a decimal's precision. Other types (Access's ole) take whatever size they are given.
struct SizeLimit {
  TDbType server;
  std::initializer_list<std::string_view> types;
  int64_t largest;
};

const SizeLimit kSizeLimits[] = {
    {dbtSqlServer, {"char", "varchar", "binary", "varbinary"}, 8000},
    {dbtSqlServer, {"nchar", "nvarchar"}, 4000},
    {dbtSqlServer, {"decimal", "numeric"}, 38},
    {dbtAsa, {"char", "varchar", "binary", "varbinary"}, 32767},
    {dbtAsa, {"decimal", "numeric"}, 127},
    {dbtAccess, {"text"}, 255},
    {dbtAccess, {"binary"}, 510},
    {dbtAccess, {"decimal"}, 28},
};

// The largest size of the server's type; 0 when the type's size is not bounded.
int64_t LargestSize(TDbType server, std::string_view type) {
  for (const SizeLimit& limit : kSizeLimits) {
    for (const std::string_view bounded : limit.types) {
      if (limit.server == server && text::SameText(bounded, type)) return limit.largest;
    }
  }
  return 0;
}

bool IsDecimal(int genericOrdinal) { return genericOrdinal == gtDecimal || genericOrdinal == gtNumeric; }

// The fault of a number field's value, empty when it is sound; `number` receives the value.
std::string NumberFault(const ado::Variant& value, bool count, int64_t& number) {
  number = 0;
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
        std::error_code ec;
        if (!std::filesystem::is_regular_file(schema_files::PathOf(rule.kind, folder_), ec)) continue;
        schema_files::Load(scratch, rule.kind, folder_);
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
    const ado::TField* listedField = ListedField(rule.kind, set);
    int row = 0;
    for (set.First(); !set.Eof(); set.Next()) {
      ++row;
      const bool carried = IsCarried(rule.carried, tableField, typeField);
      for (size_t i = 0; i < fields.size(); ++i) {
        const FieldRule& check = *(rule.fields.begin() + i);
        const bool always = (check.checks & kAlways) != 0 ||
                            (rule.tableField != nullptr && std::string_view(check.field) == rule.tableField);
        if (fields[i] == nullptr || (!carried && !always)) continue;
        const std::string fault = FieldFault(check, *fields[i], set, row, carried);
        if (!fault.empty()) return Fail(file, row, check.field, fault);
      }
      if (rule.kind == vsiTables && tableField != nullptr) {
        tables_.emplace(text::Upper(tableField->AsString()), IsCreatedTable(typeField));
      } else if (listedField != nullptr && tableField != nullptr) {
        listed_[rule.kind].insert(MemberKey(tableField->AsString(), listedField->AsString()));
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

  // The fault of the field in the current row; empty when it is sound.
  std::string FieldFault(const FieldRule& check, const ado::TField& field, ado::TDataSet& set, int row,
                         bool carried) {
    const ado::Variant& value = field.Value();
    const TOrvDataType* sized = (check.checks & kSize) != 0 ? SizedType(check.field, set) : nullptr;
    const bool required = (check.checks & kRequired) != 0 ||
                          ((check.checks & kAsConstraint) != 0 && dm_.DefaultAsConstraint()) || sized != nullptr;
    const bool empty = value.IsNullOrEmpty() || (value.IfText() != nullptr && value.IfText()->empty());
    if (empty) return required ? "has no value" : std::string();
    if ((check.checks & (kCount | kNumber)) != 0) {
      int64_t number = 0;
      std::string fault = NumberFault(value, (check.checks & kCount) != 0, number);
      if (fault.empty() && sized != nullptr) fault = SizeFault(check.field, number, *sized);
      if (fault.empty() && (check.checks & kTypeCode) != 0) fault = TypeCodeFault(number, set);
      return fault;
    }
    const std::string text = value.AsString();
    if ((check.checks & kName) != 0 && carried && ((check.checks & kOwner) == 0 || dialect_.UseOwners)) {
      const size_t broken = text::Utf8Fault(text);
      if (broken != std::string::npos) {
        return "holds a byte (at " + std::to_string(broken + 1) + ") that is no UTF-8 text, which no name is";
      }
      const std::string fault = dialect_.NameFault(text);
      if (!fault.empty()) return fault;
    }
    if ((check.checks & kUnique) != 0 && carried) {
      const auto [first, added] = unique_.emplace(std::string(check.field) + '\n' + text::Upper(text), row);
      if (!added) return "holds " + Shown(text) + ", as row " + std::to_string(first->second) + " does";
    }
    if ((check.checks & kOneOf) != 0 && !IsOneOf(text, check.values)) {
      return "holds '" + Shown(text) + "', which is none of the values the servers write";
    }
    if ((check.checks & kTable) != 0 && tables_.find(text::Upper(text)) == tables_.end()) return TableFault(text);
    if ((check.checks & (kColumn | kIndex)) != 0) {
      const ado::TField* table = set.FindField(check.table);
      const std::string tableName = table != nullptr ? table->AsString() : std::string();
      return ListedFault((check.checks & kColumn) != 0 ? vsiColumns : vsiIndexes, tableName, text);
    }
    return {};
  }

  static bool IsOneOf(const std::string& text, std::span<const std::string_view> values) {
    for (const std::string_view value : values) {
      if (text::SameText(text, value)) return true;
    }
    return false;
  }

  // The client's type of the current vsiColumns row: the master's type as the connected server
  // writes it (a long text may become another type there); nullptr when it does not translate (the
  // tables phase reports that).
  const TOrvDataType* ClientType(ado::TDataSet& set) const {
    const TOrvDataType* master = dm_.FindMasterDataType(set);
    const TOrvDataType* client = master != nullptr ? dialect_.TranslateDataType(*master, set) : nullptr;
    return client != nullptr && !client->NativeName.empty() ? client : nullptr;
  }

  // The client's type of the current row's column when its definition writes the field (SIZE or
  // SCALE); nullptr when it does not.
  const TOrvDataType* SizedType(std::string_view field, ado::TDataSet& set) const {
    const TOrvDataType* type = ClientType(set);
    if (type == nullptr) return nullptr;
    const bool written = field == "SCALE" ? IsDecimal(type->GenericOrdinal)
                                          : !dialect_.GetSizeClause(type->GenericOrdinal, set).empty();
    return written ? type : nullptr;
  }

  // The fault of a SIZE the definition writes, for the client's type `type`.
  std::string SizeFault(std::string_view field, int64_t number, const TOrvDataType& type) const {
    if (field != "SIZE") return {};
    const int64_t largest = LargestSize(dialect_.DbType, type.NativeName);
    if (largest == 0 || (number >= 1 && number <= largest)) return {};
    return "holds " + std::to_string(number) + ", but the server takes " + type.NativeName + " of a size from 1 to " +
           std::to_string(largest);
  }

  // A type code contradicts the type's name when the master's server gives it to other types only.
  std::string TypeCodeFault(int64_t code, ado::TDataSet& set) const {
    const TDatabaseSpecific* master = dm_.DbSpecific(dialect_.MasterDbType);
    const ado::TField* nameField = set.FindField("COLUMN_TYPE_NAME");
    if (master == nullptr || nameField == nullptr) return {};
    const std::string name = nameField->AsString();
    std::string other;
    for (int i = 0; i < master->DataTypes.Count(); ++i) {
      const TOrvDataType& type = master->DataTypes.Object(i);
      if (type.NativeCode != code) continue;
      if (text::SameText(type.NativeName, name)) return {};
      other = type.NativeName;
    }
    if (other.empty()) return {};
    return "holds " + std::to_string(code) + ", the code of type " + other + ", but COLUMN_TYPE_NAME names " + Shown(name);
  }

  // The field whose names, with the row's table, later files may refer to.
  static const ado::TField* ListedField(TOrvSchemaInfo kind, ado::TDataSet& set) {
    if (kind == vsiColumns) return set.FindField("COLUMN_NAME");
    if (kind == vsiIndexes) return set.FindField("INDEX_NAME");
    return nullptr;
  }

  static std::string MemberKey(const std::string& table, const std::string& name) {
    return text::Upper(table) + '\n' + text::Upper(name);
  }

  std::string ListedFault(TOrvSchemaInfo kind, const std::string& table, const std::string& name) {
    const std::unordered_set<std::string>& listed = listed_[kind];
    if (listed.find(MemberKey(table, name)) != listed.end()) return {};
    return std::string("names the ") + (kind == vsiColumns ? "column " : "index ") + Shown(name) + ", which " +
           EnumName(kind) + ".xml lacks for table " + Shown(table);
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
  // By file (columns, indexes): upper-case table + "\n" + name of every row.
  std::unordered_map<int, std::unordered_set<std::string>> listed_;
  // Field + "\n" + upper-case value of each kUnique field -> the row that holds it first.
  std::unordered_map<std::string, int> unique_;
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
