// The CheckDb driver: loads the master schema files and the client's catalogue, runs the
// preparatory steps and the comparison phases in their order, and saves the instruction list and
// the undo-delete blocks. Nothing here changes the client.
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Paths.h"
#include "common/Text.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/CatalogScope.h"
#include "engine/EngineError.h"
#include "engine/EngineRun.h"
#include "engine/SchemaFiles.h"
#include "engine/uDm.h"

namespace {

using engine_run::HolderProducer;
using engine_run::RequireDialect;
using engine_run::RequireUpdater;

constexpr int kCheckSteps = 16;
constexpr int kInitializeSteps = 22;

struct SchemaLoad {
  const char* caption;
  TOrvSchemaInfo kind;
  ado::TDataSet Tdm::*set;
  // The fields the check reads from a master file of this kind.
  std::initializer_list<const char*> fields = {};
};

// The master files, in the order the driver loads them.
constexpr SchemaLoad kMasterLoads[] = {
    {"Load Tables", vsiTables, &Tdm::qTables, {"table_schema", "table_name"}},
    {"Load Columns", vsiColumns, &Tdm::qColumns, {"table_schema", "table_name", "column_name"}},
    {"Load Indexes", vsiIndexes, &Tdm::qIndexes,
     {"table_name", "index_name", "primary_key", "ordinal_position", "column_name"}},
    {"Load Table Constraints", vsiTableConstraints, &Tdm::qConstraints,
     {"table_schema", "table_name", "constraint_name", "constraint_type"}},
    {"Load Primary Keys", vsiPrimaryKeys, &Tdm::qPrimaryKeys, {"table_name", "column_name"}},
    {"Load Foreign Keys", vsiForeignKeys, &Tdm::qForeignKeys, {"FK_NAME", "FK_TABLE_NAME", "PK_TABLE_NAME"}},
    {"Load Store procedures", vsiProcedures, &Tdm::qProcedures, {"PROCEDURE_NAME"}},
    {"Load SERVER DbSpaces", vsiDbSpaces, &Tdm::qDbSpaces},
    {"Load Source user information", vsiUsers, &Tdm::qUsers, {"user_name"}},
    {"Load Source Cluster Indexes", vsiClusterIndexes, &Tdm::qClusterIdxSrc, {"table_name", "index_name"}},
};

// The client's catalogue, read through the dialect in this order.
constexpr SchemaLoad kClientLoads[] = {
    {"Load Dest. Tables schema", vsiTables, &Tdm::qDestTables},
    {"Load Dest. Indexes Schema", vsiIndexes, &Tdm::qDestIndexes},
    {"Load Dest. Columns schema", vsiColumns, &Tdm::qDestColumns},
    {"Load Dest. Constraints schema", vsiTableConstraints, &Tdm::qDestConstraints},
    {"Load Dest. Primary Keys schema", vsiPrimaryKeys, &Tdm::qDestPrimaryKeys},
    {"Load Dest. Foreign Keys schema", vsiForeignKeys, &Tdm::qDestForeignKeys},
    {"Load Dest. Store Procedures schema", vsiProcedures, &Tdm::qDestProcedures},
    {"Load Dest. User schema", vsiUsers, &Tdm::qDestUsers},
    {"Load Dest. Cluster Indexes", vsiClusterIndexes, &Tdm::qDestClusterIdx},
};

}  // namespace

std::string Tdm::SchemaFolderFile(const std::string& aFolder, const std::string& aName) {
  return paths::FoldBackslashes(aFolder + "\\" + aName);
}

void Tdm::SetPhaseSwitches(bool aTables, bool aViews, bool aProcedures, bool aIndexes,
                           bool aConstraints, bool aTriggers) {
  updateTables_ = aTables;
  updateViews_ = aViews;
  updateProcedures_ = aProcedures;
  updateIndexes_ = aIndexes;
  updateConstraints_ = aConstraints;
  updateTriggers_ = aTriggers;
}

void Tdm::LoadMasterSchema() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  for (const SchemaLoad& load : kMasterLoads) {
    updater.ProgressStepLevel1(load.caption);
    ado::TDataSet& set = this->*load.set;
    set.Close();
    const std::string file = schema_files::Load(set, load.kind, updater.DirSchemas);
    // A file of another kind would fail later on a field, naming no file.
    for (const char* field : load.fields) {
      if (set.FindField(field) == nullptr) {
        set.Close();
        throw EEngineError("Schema file " + file + " has no field " + field);
      }
    }
  }
}

void Tdm::TranslateMasterDefaults() {
  if (!qColumns.Active() || qColumns.FindField("column_default") == nullptr) return;
  for (qColumns.First(); !qColumns.Eof(); qColumns.Next()) {
    ado::TField& field = qColumns.FieldByName("column_default");
    if (field.IsNull()) continue;
    const std::string text = field.AsString();
    const std::string translated = ClientDefaultText(text);
    if (translated == text) continue;
    qColumns.Edit();
    field.SetAsString(translated);
    qColumns.Post();
  }
  qColumns.First();
}

void Tdm::LoadClientSchema() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_, "check");
  for (const SchemaLoad& load : kClientLoads) {
    updater.ProgressStepLevel1(load.caption);
    ado::TDataSet& set = this->*load.set;
    set.Close();
    set.SetConnection(&ac);
    OpenSchemaOf(load.kind, ado::Variant(), set);
  }
  updater.ProgressStepLevel1("Load CLIENT DbSpaces");
  dialect.LoadDbSpaces(ac);
  updater.ProgressStepLevel1("Load SERVER Users");
  // The dialect knows the client's users from here on: an owner the client has gets no
  // create-user statement, and the users of an earlier check count no more.
  dialect.ClearUsers();
  for (const std::vector<std::string>& row :
       catalog_scope::ReadRows(qDestUsers, {"USER_NAME", "GROUP_NAME", "LOGIN_NAME", "USER_ID"})) {
    if (row[0].empty() || dialect.UserExists(row[0])) continue;
    auto user = std::make_unique<TUserElem>();
    user->UserName = row[0];
    user->GroupName = row[1];
    user->LoginName = row[2];
    user->UserId = row[3].empty() ? -1 : std::atoi(row[3].c_str());
    dialect.Users.Add(row[0], std::move(user));
  }
  qDestUsers.First();
}

bool Tdm::CheckDb(bool aHolder) {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  TDatabaseSpecific& dialect = RequireDialect(currentDialect_, "check");
  const TDbLanguageOptions& texts = updater.LanguageOptions();

  droppedTables_.clear();
  droppedFields_.clear();
  updater.ProgressBeginCheckDb(kCheckSteps);
  updater.WriteMessage(texts.msgStartCheckDb);
  droppedConstraints_.clear();
  droppedIndexes_.clear();
  dialect.SetMasterDbType(dbtNone);
  updater.WriteMessage(texts.msgInitializeCheckDb);

  updater.ProgressStepLevel0("INITIALIZE");
  updater.ProgressResetLevel1(kInitializeSteps);
  updater.ProgressStepLevel1("Load Parameters");
  HolderProducer holder(*this, aHolder, "check");
  if (aHolder) LoadParameters();

  RestartInstructionList();
  LoadMasterSchema();
  // A damaged package is refused before the client is read: nothing is queued.
  if (!ValidateMasterSchema()) {
    SaveCheckResults();
    return false;
  }
  TranslateMasterDefaults();
  LoadDefaultDbSpace();
  LoadClientSchema();

  bool ok = false;
  try {
    renameRefused_ = false;
    RenameTables();
    RenameFields();
    ClearTables();
    ok = PreparePkChanges();
    // Past a rename left undone the phases would take the old table or column for surplus and
    // drop it with its rows: the check fails here.
    ok = ok && !renameRefused_;
    if (ok && updateTables_) ok = UpdateTables();
    if (ok) {
      // A refused copy item fails the check once the later phases have run.
      const bool copied = UpdateCopyData();
      if (ok && updateIndexes_) ok = UpdateIndexes();
      if (ok && updateConstraints_) ok = UpdateConstraints();
      if (ok && updateViews_ && dialect.CanUpdateViews()) ok = UpdateViews();
      if (ok && updateProcedures_ && dialect.CanUpdateProcedures()) ok = UpdateProcedures() && UpdateFunctions();
      if (ok && updateTriggers_ && dialect.CanUpdateTriggers()) ok = UpdateTriggers();
      ok = ok && copied;
    }
  } catch (...) {
    // A schema or data file a phase needs is missing or unreadable: like a missing master file,
    // the check leaves at once and saves no list of half a comparison.
    CloseMasterSets();
    qInstructions.Close();
    qBlockUndoDelete.Close();
    throw;
  }
  SaveCheckResults();
  if (ok) updater.WriteMessage("CheckDb " + texts.msgDone);
  return ok;
}

void Tdm::CloseMasterSets() {
  for (ado::TDataSet* set : {&qTables, &qColumns, &qIndexes, &qConstraints, &qForeignKeys}) set->Close();
}

void Tdm::SaveCheckResults() {
  CloseMasterSets();
  SaveInstructionFile();
  qInstructions.Close();
  SaveBlockUndoDeleteFile();
  qBlockUndoDelete.Close();
}

bool Tdm::UpdateTables() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgUpdateTables);
  updater.ProgressStepLevel0("Tables");
  updater.ProgressResetLevel1(3);
  bool ok = UpdateTablesAndColumns();
  if (ok) ok = UpdatePkChildren();
  if (ok) ok = DeleteTables();
  if (ok) updater.WriteMessage(texts.msgUpdateTables + " " + texts.msgDone);
  return ok;
}

// ---- Preparatory steps ----

namespace {

// Splits "name=value" at its first "="; both parts trimmed. False without "=".
bool SplitEntry(const std::string& entry, std::string& name, std::string& value) {
  const size_t eq = entry.find('=');
  if (eq == std::string::npos) return false;
  name = text::Trim(std::string_view(entry).substr(0, eq));
  value = text::Trim(std::string_view(entry).substr(eq + 1));
  return true;
}

// Splits "table.field" at its first "."; both parts trimmed. False without ".".
bool SplitDotted(const std::string& dotted, std::string& table, std::string& field) {
  const size_t dot = dotted.find('.');
  if (dot == std::string::npos) return false;
  table = text::Trim(std::string_view(dotted).substr(0, dot));
  field = text::Trim(std::string_view(dotted).substr(dot + 1));
  return true;
}

}  // namespace

void Tdm::RenameTables() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgRenameTables);
  updater.ProgressStepLevel0(texts.msgRenameTables);
  if (Producer == nullptr || currentDialect_ == nullptr) return;
  std::vector<std::string>& list = Producer->RenamedTables;
  updater.ProgressResetLevel1(static_cast<int>(list.size()));
  if (!GetDatabaseCreated() && !list.empty()) {
    qDestTables.SetFiltered(false);
    std::vector<std::string> kept, oldNames, newNames;
    for (const std::string& entry : list) {
      std::string oldName, newName;
      const bool split = SplitEntry(entry, oldName, newName);
      updater.ProgressStepLevel1(texts.msgRenameTables + ": " + oldName + "/" + newName);
      // Entries that cannot be carried out are left out: no name, a rename onto itself, a table
      // renamed twice or two tables renamed to one name.
      if (!split || oldName.empty() || newName.empty() || text::SameText(oldName, newName) ||
          text::ContainsText(oldNames, oldName) || text::ContainsText(newNames, newName)) {
        continue;
      }
      if (!LocateRecord(qTables, "table_name", ado::Variant(newName), ado::loCaseInsensitive)) continue;
      if (LocateRecord(qDestTables, "table_name", ado::Variant(newName), ado::loCaseInsensitive)) continue;
      if (!LocateRecord(qDestTables, "table_name", ado::Variant(oldName), ado::loCaseInsensitive)) continue;
      const std::string schema = qDestTables.FieldByName("table_schema").AsString();
      if (currentDialect_->GetRenameTableSql(schema, oldName, newName).empty()) {
        ReportError(dbcCheckDb, "Unable to rename table " + oldName + " to " + newName,
                    "The server has no statement renaming a table");
        renameRefused_ = true;
        continue;
      }
      droppedTables_.push_back(oldName);
      AddRenameTable(schema, oldName, newName);
      kept.push_back(entry);
      oldNames.push_back(oldName);
      newNames.push_back(newName);
    }
    list = std::move(kept);
  }
  updater.WriteMessage(texts.msgRenameTables + " " + texts.msgDone);
}

void Tdm::RenameFields() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgRenameFields);
  updater.ProgressStepLevel0(texts.msgRenameFields);
  if (Producer == nullptr || currentDialect_ == nullptr) return;
  std::vector<std::string>& list = Producer->RenamedFields;
  updater.ProgressResetLevel1(static_cast<int>(list.size()));
  if (!GetDatabaseCreated() && !list.empty()) {
    qDestColumns.SetFiltered(false);
    std::vector<std::string> kept, sources, targets;
    for (const std::string& entry : list) {
      std::string name, value, oldTable, oldField, newTable, newField;
      const bool split = SplitEntry(entry, name, value);
      updater.ProgressStepLevel1(texts.msgRenameFields + ": " + name + "/" + value);
      if (!split || !SplitDotted(name, oldTable, oldField) || !SplitDotted(value, newTable, newField) ||
          oldTable.empty() || oldField.empty() || newTable.empty() || newField.empty()) {
        continue;
      }
      // The rename addresses the table by its new name: that is the old table only when the
      // names agree or a rename of the old table to it was queued; otherwise it would rename a
      // column of another table.
      if (!text::SameText(oldTable, newTable) && !text::SameText(NewTableName(oldTable), newTable)) continue;
      const std::string source = oldTable + "." + oldField;
      const std::string target = newTable + "." + newField;
      if (text::ContainsText(sources, source) || text::ContainsText(targets, target)) continue;
      if (!LocateRecord(qColumns, "table_name;column_name", ado::Variant(ado::VariantArray{newTable, newField}),
                        ado::loCaseInsensitive)) {
        continue;
      }
      if (LocateRecord(qDestColumns, "table_name;column_name", ado::Variant(ado::VariantArray{oldTable, newField}),
                       ado::loCaseInsensitive)) {
        continue;
      }
      if (!LocateRecord(qDestColumns, "table_name;column_name", ado::Variant(ado::VariantArray{oldTable, oldField}),
                        ado::loCaseInsensitive)) {
        continue;
      }
      const std::string schema = qDestColumns.FieldByName("table_schema").AsString();
      if (currentDialect_->GetRenameColumnSql(schema, newTable, oldField, newField).empty()) {
        ReportError(dbcCheckDb, "Unable to rename field " + source + " to " + target,
                    "The server has no statement renaming a column");
        renameRefused_ = true;
        continue;
      }
      AddRenameColumn(schema, newTable, oldField, newField);
      kept.push_back(entry);
      sources.push_back(source);
      targets.push_back(target);
    }
    list = std::move(kept);
  }
  updater.WriteMessage(texts.msgRenameFields + " " + texts.msgDone);
}

void Tdm::ClearTables() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgClearTables);
  updater.ProgressStepLevel0(texts.msgClearTables);
  if (Producer == nullptr) return;
  std::vector<std::string>& list = Producer->ClearTables;
  updater.ProgressResetLevel1(static_cast<int>(list.size()));
  if (!GetDatabaseCreated() && !list.empty()) {
    qDestTables.SetFiltered(false);
    std::vector<std::string> kept;
    for (const std::string& entry : list) {
      std::string table, condition;
      const bool split = SplitEntry(entry, table, condition);
      updater.ProgressStepLevel1(texts.msgClearTables + ": " + table);
      if (!split || table.empty()) continue;
      if (!LocateRecord(qTables, "table_name", ado::Variant(table), ado::loCaseInsensitive)) continue;
      const std::string masterSchema = qTables.FieldByName("table_schema").AsString();
      const std::string clientTable = OldTableName(table);
      if (!LocateRecord(qDestTables, "table_name", ado::Variant(clientTable), ado::loCaseInsensitive)) continue;
      // The table is reached by its new name (a rename is queued before) in the client's schema.
      std::string sql = "DELETE FROM " + GetDestTableSchemaPrefix(masterSchema, clientTable) + QuoteName(table);
      if (!condition.empty()) sql += " WHERE " + condition;
      AddInstruction(sql, false);
      kept.push_back(entry);
    }
    list = std::move(kept);
  }
  updater.WriteMessage(texts.msgClearTables + " " + texts.msgDone);
}

bool Tdm::PreparePkChanges() {
  TOrvDbSchemaUpdater& updater = RequireUpdater(Updater, "check");
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage("PK CHANGED");
  updater.ProgressStepLevel0("PK CHANGED");
  // Every check starts from the listed tables: the producer's list when it gives one, else the
  // updater's. Only the "all" treatment keeps them (ApplyPkChangedTreatment).
  ClearPkTablesChange();
  const std::vector<std::string>* listed = nullptr;
  if (Producer != nullptr && !Producer->UpdaterDirectives().PrimaryKeysChanged.empty()) {
    listed = &Producer->UpdaterDirectives().PrimaryKeysChanged;
  } else {
    listed = &updater.UpdaterDirectives().PrimaryKeysChanged;
  }
  for (const std::string& table : *listed) {
    const std::string name = text::Trim(table);
    if (!name.empty() && pkTablesChange_.IndexOf(name) < 0) {
      pkTablesChange_.Add(name, std::make_unique<TPkTablesChange>());
    }
  }
  ApplyPkChangedTreatment();
  updater.ProgressResetLevel1(pkTablesChange_.Count());
  bool ok = true;
  if (GetDatabaseCreated()) {
    // A new database has no key to change: every table is created whole.
    ClearPkTablesChange();
  } else {
    ok = BuildPkTablesChanges();
    TOwnedStringList<TPkTablesChange> rewritten;
    for (int i = 0; i < pkTablesChange_.Count(); ++i) {
      TPkTablesChange& change = pkTablesChange_.Object(i);
      if (change.ClientKeyColumns.empty()) continue;
      std::string columns;
      for (const std::string& column : change.ClientKeyColumns) columns += column + "; ";
      rewritten.Add(pkTablesChange_.Name(i) + "=" + columns, std::make_unique<TPkTablesChange>(std::move(change)));
    }
    pkTablesChange_ = std::move(rewritten);
  }
  updater.WriteMessage("PK CHANGED " + texts.msgDone);
  return ok;
}
