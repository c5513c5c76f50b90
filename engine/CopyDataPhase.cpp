// The copy-data phase: the rows a producer exported for its copy list, carried to the client by
// each item's treatment. An item whose rows cannot be written as sound statements is refused at
// check with the reason, and nothing is queued for it; the other items are queued all the same.
#include <algorithm>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Paths.h"
#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/CatalogScope.h"
#include "engine/MoveWorkTable.h"
#include "engine/SchemaFiles.h"
#include "engine/uDm.h"

// One copy item, loaded and written out as the texts its statements are made of.
struct TCopyTable {
  struct Row {
    std::vector<std::string> keyLiterals;  // in the order of keyColumns
    std::string keyCondition;
    std::string values;  // the INSERT's literals
    std::string setList;  // empty when every copied column is left out of updates
  };
  std::string masterName;
  std::string clientSchema;  // the client's schema of the table, for the foreign-key drops
  std::string target;        // owner prefix + quoted master name
  std::string columns;       // the INSERT's quoted column list
  bool hasIdentity = false;
  bool conditional = false;  // the dialect writes conditional statements
  std::vector<std::string> keyColumns;
  std::vector<std::string> quotedKeys;
  // Consumed as their instructions are added, so that the rows and the instructions made of them
  // are not held in full at the same time.
  std::deque<Row> rows;
};

using catalog_scope::FilterKeeper;

namespace {

constexpr char kDataFilePrefix[] = "CPFP_";

// The refusal of one copy item: its reason, naming the table and, where one is at fault, the column.
class ECopyRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool IsBinary(ado::FieldType type) {
  return type == ado::FieldType::ftBytes || type == ado::FieldType::ftBlob;
}

// A column of the client that the server fills itself: SQL Server's row version ("timestamp"
// there; on other servers a timestamp is an ordinary date-time and is copied).
bool IsRowVersion(TDatabaseSpecific& dialect, const TOrvDataType* masterType) {
  if (dialect.DbType != dbtSqlServer || masterType == nullptr) return false;
  const TOrvDataType* clientType = dialect.FindDataType(masterType->GenericName, kFindByGenericName);
  return clientType != nullptr && text::SameText(clientType->NativeName, "timestamp");
}

// A dialect without conditional statements hands back the statement to run alone.
bool HasConditionalStatements(TDatabaseSpecific& dialect) {
  return dialect.GetConditionalSql(true, "*", "t", "k = 1", "s", "") != "s";
}

}  // namespace

bool Tdm::UpdateCopyData() {
  TOrvDbSchemaUpdater* updater = Updater;
  if (updater == nullptr || currentDialect_ == nullptr) return true;
  const TDbLanguageOptions& texts = updater->LanguageOptions();
  const FilterKeeper keeper(qColumns);
  if (qColumns.Active()) qColumns.SetFiltered(false);

  updater->WriteMessage(texts.msgCopyData + "...");
  updater->ProgressStepLevel0("Copy Data");
  const int count = Producer != nullptr ? Producer->CopyData.Count() : 0;
  updater->ProgressResetLevel2(count);
  bool ok = true;
  DropLeftoverWorkTable();
  if (count > 0) {
    ado::TDataSet primaryKeys;
    schema_files::Load(primaryKeys, vsiPrimaryKeys, updater->DirSchemas);
    for (int i = 0; i < count; ++i) {
      const TCopyDataElem& item = Producer->CopyData.Items(i);
      updater->ProgressStepLevel2("Copy Data from " + item.TableName);
      TCopyTable table;
      try {
        LoadCopyTable(item, primaryKeys, table);
      } catch (const ECopyRefused& e) {
        ReportError(dbcCheckDb, "Rows of table " + item.TableName + " are not copied", e.what());
        ok = false;
        continue;
      }
      const bool identityInsert = item.CopyAutoInc && table.hasIdentity;
      if (identityInsert) AddIdentityInsertOn(table.target);
      if (item.Treatment == cdtMove) {
        AddMoveDataInstructions(table, item.FieldToIncrement);
      } else {
        AddCopyDataInstructions(table, item.Treatment);
      }
      if (identityInsert) AddIdentityInsertOff(table.target);
    }
  }
  updater->WriteMessage(texts.msgCopyData + " " + texts.msgDone);
  return ok;
}

void Tdm::DropLeftoverWorkTable() {
  if (currentDialect_->DbType != dbtAccess || !qDestTables.Active()) return;
  const std::string name(move_work_table::kName);
  const FilterKeeper keepTables(qDestTables);
  qDestTables.SetFiltered(false);
  if (LocateRecord(qDestTables, "table_name", ado::Variant(name), ado::loCaseInsensitive)) {
    AddInstruction("DROP TABLE " + QuoteName(name), false);
  }
}

void Tdm::LoadCopyTable(const TCopyDataElem& aItem, ado::TDataSet& aPrimaryKeys, TCopyTable& aTable) {
  TDatabaseSpecific& dialect = *currentDialect_;
  const std::string& table = aItem.TableName;
  aTable.masterName = table;

  if (table.find('/') != std::string::npos || table.find('\\') != std::string::npos ||
      table.find("..") != std::string::npos) {
    throw ECopyRefused("Table name " + table + " cannot name a data file in the schema folder");
  }

  // The master's key columns, in file order.
  std::string schema;
  for (aPrimaryKeys.First(); !aPrimaryKeys.Eof(); aPrimaryKeys.Next()) {
    if (!text::SameText(aPrimaryKeys.FieldByName("table_name").AsString(), table)) continue;
    schema = aPrimaryKeys.FieldByName("table_schema").AsString();
    aTable.keyColumns.push_back(aPrimaryKeys.FieldByName("column_name").AsString());
  }
  if (aTable.keyColumns.empty()) {
    throw ECopyRefused("Table " + table + " has no primary key: no client row can be matched to a copied row");
  }
  if (aItem.Treatment == cdtMove && !text::ContainsText(aTable.keyColumns, aItem.FieldToIncrement)) {
    throw ECopyRefused("Field to increment \"" + aItem.FieldToIncrement + "\" of table " + table +
                       " is not a column of its primary key");
  }

  // The identity columns: left out of every INSERT unless copied, out of every SET list always.
  // SQL Server fills its row-version column itself: it is neither inserted nor set.
  std::vector<std::string> identity, serverFilled;
  for (qColumns.First(); !qColumns.Eof(); qColumns.Next()) {
    if (!text::SameText(qColumns.FieldByName("table_name").AsString(), table)) continue;
    const std::string column = qColumns.FieldByName("column_name").AsString();
    const ado::TField& isIdentity = qColumns.FieldByName("is_identity");
    if (!isIdentity.IsNull() && isIdentity.AsInteger() == 1) identity.push_back(column);
    if (IsRowVersion(dialect, FindMasterDataType(qColumns))) serverFilled.push_back(column);
  }
  aTable.hasIdentity = !identity.empty();

  ado::TDataSet data;
  data.LoadFromFile(paths::ResolveFolder(
      SchemaFolderFile(Updater->DirSchemas, std::string(kDataFilePrefix) + table + ".xml")));
  // The client's table keeps its owner; a table this run creates gets the master's.
  const std::string clientName = OldTableName(table);
  aTable.target = GetDestTableSchemaPrefix(schema, clientName) + QuoteName(table);
  aTable.clientSchema = schema;
  if (qDestTables.Active()) {
    const FilterKeeper keepTables(qDestTables);
    qDestTables.SetFiltered(false);
    if (LocateRecord(qDestTables, "table_name", ado::Variant(clientName), ado::loCaseInsensitive)) {
      aTable.clientSchema = qDestTables.FieldByName("table_schema").AsString();
    }
  }

  // Which fields of the data file each statement carries.
  std::vector<int> keyFields, insertFields, setFields;
  for (const std::string& column : aTable.keyColumns) {
    const ado::TField* field = data.FindField(column);
    if (field == nullptr) {
      throw ECopyRefused("Key column " + column + " of table " + table + " is missing from its data file");
    }
    keyFields.push_back(field->Index());
  }
  for (int f = 0; f < data.FieldCount(); ++f) {
    const ado::TField& field = data.Fields(f);
    const std::string& name = field.FieldName();
    if (text::ContainsText(serverFilled, name)) continue;
    if (dialect.DbType == dbtAccess && IsBinary(field.DataType())) {
      throw ECopyRefused("Column " + name + " of table " + table +
                         " is binary: an Access database takes no binary literal");
    }
    const bool isIdentity = text::ContainsText(identity, name);
    if (!isIdentity || aItem.CopyAutoInc) insertFields.push_back(f);
    if (!isIdentity) setFields.push_back(f);
  }

  // Names are quoted once, and each value written once per row.
  std::vector<std::string> quoted(static_cast<size_t>(data.FieldCount()));
  for (int f = 0; f < data.FieldCount(); ++f) quoted[static_cast<size_t>(f)] = QuoteName(data.Fields(f).FieldName());
  for (const std::string& column : aTable.keyColumns) aTable.quotedKeys.push_back(QuoteName(column));
  for (int f : insertFields) {
    aTable.columns += (aTable.columns.empty() ? "" : ", ") + quoted[static_cast<size_t>(f)];
  }
  aTable.conditional = HasConditionalStatements(dialect);
  std::vector<std::string> literals(static_cast<size_t>(data.FieldCount()));
  std::vector<int> written = insertFields;  // the fields whose values a statement carries
  for (int f : keyFields) {
    if (std::find(written.begin(), written.end(), f) == written.end()) written.push_back(f);
  }
  for (int f : setFields) {
    if (std::find(written.begin(), written.end(), f) == written.end()) written.push_back(f);
  }
  try {
    for (data.First(); !data.Eof(); data.Next()) {
      for (int f : written) literals[static_cast<size_t>(f)] = FieldToSql(data.Fields(f));
      TCopyTable::Row row;
      for (size_t k = 0; k < keyFields.size(); ++k) {
        row.keyLiterals.push_back(literals[static_cast<size_t>(keyFields[k])]);
        row.keyCondition += (k == 0 ? "" : " and ") + aTable.quotedKeys[k] + " = " + row.keyLiterals[k];
      }
      for (int f : insertFields) row.values += (row.values.empty() ? "" : ", ") + literals[static_cast<size_t>(f)];
      for (int f : setFields) {
        row.setList += (row.setList.empty() ? "" : ", ") + quoted[static_cast<size_t>(f)] + " = " +
                       literals[static_cast<size_t>(f)];
      }
      aTable.rows.push_back(std::move(row));
    }
  } catch (const EEngineError& e) {
    throw ECopyRefused(std::string(e.what()) + " in table " + table);
  }
}

namespace {

// The statements of one row, spelled for the connected dialect.
class RowStatements {
 public:
  RowStatements(TDatabaseSpecific& dialect, const TCopyTable& table, const TCopyTable::Row& row)
      : dialect_(dialect), table_(table), row_(row), conditional_(table.conditional) {}

  std::string Insert() const {
    return "INSERT INTO " + table_.target + " (" + table_.columns + ") VALUES (" + row_.values + ")";
  }
  // Empty when no copied column may be set.
  std::string Update() const {
    if (row_.setList.empty()) return {};
    return "UPDATE " + table_.target + " SET " + row_.setList + " WHERE " + row_.keyCondition;
  }
  std::string Delete() const { return "DELETE from " + table_.target + " WHERE " + row_.keyCondition; }
  // The statement run only when a client row has (aExists) or lacks the row's key; without
  // conditional statements, the statement alone.
  std::string When(bool aExists, const std::string& aThen, const std::string& aElse = {}) const {
    return dialect_.GetConditionalSql(aExists, "*", table_.target, row_.keyCondition, aThen, aElse);
  }
  // The INSERT run only when no client row has the key. A server without conditional
  // statements decides it inside the INSERT: its one-row source counts the rows with the key.
  std::string InsertWhenMissing() const {
    if (conditional_) return When(false, Insert());
    return "INSERT INTO " + table_.target + " (" + table_.columns + ") SELECT " + row_.values +
           " FROM (SELECT count(*) AS ORV_ROWS FROM " + table_.target + " WHERE " + row_.keyCondition +
           ") AS ORV_KEY WHERE ORV_ROWS = 0";
  }
  bool Conditional() const { return conditional_; }

 private:
  TDatabaseSpecific& dialect_;
  const TCopyTable& table_;
  const TCopyTable::Row& row_;
  bool conditional_;
};

}  // namespace

void Tdm::AddCopyDataInstructions(TCopyTable& aTable, TCopyDataTreatment aTreatment) {
  Updater->ProgressStepLevel1(Updater->LanguageOptions().msgCopyData + " - NAME: " + aTable.masterName);
  if (aTreatment != cdtUnchange) {
    DropForeignKeysOf(aTable.clientSchema, OldTableName(aTable.masterName), 0, "", aTable.masterName);
  }
  for (; !aTable.rows.empty(); aTable.rows.pop_front()) {
    const TCopyTable::Row& row = aTable.rows.front();
    const RowStatements statements(*currentDialect_, aTable, row);
    const std::string update = statements.Update();
    switch (aTreatment) {
      case cdtUnchange:
        AddInstruction(statements.InsertWhenMissing(), false);
        break;
      case cdtUpdate:
        if (update.empty()) {
          AddInstruction(statements.InsertWhenMissing(), false);
        } else if (statements.Conditional()) {
          AddInstruction(statements.When(true, update, statements.Insert()), false);
        } else {
          AddInstruction(update, false);
          AddInstruction(statements.InsertWhenMissing(), false);
        }
        break;
      case cdtChange:
        if (!update.empty()) AddInstruction(statements.When(true, update), false);
        break;
      case cdtMove:  // queued by AddMoveDataInstructions
        break;
      case cdtDelete:
        AddInstruction(statements.When(true, statements.Delete()), false);
        AddInstruction(statements.Insert(), false);
        break;
    }
  }
}

void Tdm::AddMoveDataInstructions(TCopyTable& aTable, const std::string& aFieldToIncrement) {
  DropForeignKeysOf(aTable.clientSchema, OldTableName(aTable.masterName), 0, "", aTable.masterName);
  const std::string field = QuoteName(aFieldToIncrement);
  // Jet updates no row from an aggregate: there the next number is first put in a one-row work
  // table, which the UPDATE joins, and the work table is dropped again.
  const bool workTable = currentDialect_->DbType == dbtAccess;
  const std::string next = QuoteName(std::string(move_work_table::kName));
  for (; !aTable.rows.empty(); aTable.rows.pop_front()) {
    const TCopyTable::Row& row = aTable.rows.front();
    std::string group;
    for (size_t k = 0; k < aTable.keyColumns.size(); ++k) {
      if (text::SameText(aTable.keyColumns[k], aFieldToIncrement)) continue;
      group += (group.empty() ? "" : " and ") + aTable.quotedKeys[k] + " = " + row.keyLiterals[k];
    }
    const std::string where = group.empty() ? "" : " WHERE " + group;
    const RowStatements statements(*currentDialect_, aTable, row);
    if (workTable) {
      AddInstruction("SELECT max(" + field + ") + 1 AS ORV_NEXT INTO " + next + " FROM " + aTable.target + where,
                     false);
      AddInstruction("UPDATE " + aTable.target + ", " + next + " SET " + aTable.target + "." + field + " = " +
                         next + ".ORV_NEXT WHERE " + row.keyCondition,
                     false);
      AddInstruction("DROP TABLE " + next, false);
    } else {
      const std::string update = "UPDATE " + aTable.target + " SET " + field + " = (SELECT max(" + field +
                                 ") FROM " + aTable.target + where + ") + 1 WHERE " + row.keyCondition;
      AddInstruction(statements.When(true, update), false);
    }
    AddInstruction(statements.Insert(), false);
  }
}
