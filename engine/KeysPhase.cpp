// Primary keys, unique constraints and indexes: changed ones rebuilt, missing ones created,
// surplus ones dropped as the delete policy allows; and the constraints phase that runs the key
// steps before the foreign keys and default values.
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "components/DbSchemaUpdater.h"
#include "engine/CatalogScope.h"
#include "engine/uDm.h"

using catalog_scope::FilterScope;
using catalog_scope::SortKeeper;
using catalog_scope::TextOf;

namespace {

// One index or key, as the first of its column rows names it.
struct IndexRef {
  std::string table, schema, name;
  std::vector<std::string> columns;
};

// Table and name together, case ignored: two tables may hold indexes of the same name.
std::string HandledKey(const std::string& table, const std::string& name) {
  return text::Upper(table) + '\x1f' + text::Upper(name);
}

// The indexes of a set in its current view, each once, with its columns.
std::vector<IndexRef> DistinctIndexes(ado::TDataSet& set) {
  std::vector<IndexRef> result;
  std::unordered_map<std::string, size_t> positions;  // by HandledKey
  for (set.First(); !set.Eof(); set.Next()) {
    const std::string table = TextOf(set, "table_name");
    const std::string name = TextOf(set, "index_name");
    auto [at, added] = positions.emplace(HandledKey(table, name), result.size());
    if (added) result.push_back({table, TextOf(set, "table_schema"), name, {}});
    result[at->second].columns.push_back(TextOf(set, "column_name"));
  }
  return result;
}

// The constraints of a set in its current view, each once: (table, schema, name).
std::vector<IndexRef> DistinctConstraints(ado::TDataSet& set) {
  std::vector<IndexRef> result;
  std::set<std::string> handled;
  for (set.First(); !set.Eof(); set.Next()) {
    const std::string table = TextOf(set, "table_name");
    const std::string name = TextOf(set, "constraint_name");
    if (handled.insert(HandledKey(table, name)).second) {
      result.push_back({table, TextOf(set, "table_schema"), name, {}});
    }
  }
  return result;
}

ado::Variant Pair(const std::string& a, const std::string& b) {
  return ado::Variant(ado::VariantArray{ado::Variant(a), ado::Variant(b)});
}

// The dialect's drop-constraint clause with the name in place of its "%s".
std::string DropConstraintClause(const TDatabaseSpecific& dialect, const std::string& quotedName) {
  std::string clause = dialect.DropConstraintFormat;
  const size_t at = clause.find("%s");
  if (at != std::string::npos) clause.replace(at, 2, quotedName);
  return clause;
}

}  // namespace

// ---- Shared by the steps ----

void Tdm::RecordDroppedIndex(const std::string& aMasterTable, const std::string& aName) {
  if (!IsIndexDropped(aMasterTable, aName)) droppedIndexes_.push_back(aMasterTable + "_" + aName);
}

bool Tdm::IsClientTableGone(const std::string& aClientTable) const {
  int count = 0;
  for (const std::string& table : droppedTables_) {
    if (text::SameText(table, aClientTable)) ++count;
  }
  // A queued rename puts the old name on the list once; a drop or a rebuild adds it again.
  const bool renamed = !text::SameText(NewTableName(aClientTable), aClientTable);
  return count > (renamed ? 1 : 0);
}

void Tdm::AddIndexSql(const std::string& aColumnText, const std::string& aSchema, bool aUnique,
                      bool aPrimaryKey, const std::string& aIndexName, const std::string& aMasterTable) {
  if (currentDialect_ == nullptr) return;
  const std::string prefix = GetDestTableSchemaPrefix(aSchema, OldTableName(aMasterTable));
  const bool clustered = LocateClusterIndex(aMasterTable, aIndexName, true);
  const bool constraint =
      aPrimaryKey || LocateRecord(qConstraints, "constraint_name;table_name", Pair(aIndexName, aMasterTable),
                                  ado::loCaseInsensitive);
  // A master whose server names its primary keys itself names each after its table, a name
  // that another server's tables already hold: the key is named after the table instead.
  const std::string name = aPrimaryKey && AutoPrimaryKeyName() ? FitName("PK_", aMasterTable) : aIndexName;
  AddInstruction(constraint ? currentDialect_->GetAddKeyConstraintSql(prefix, aMasterTable, name,
                                                                      aPrimaryKey, clustered, aColumnText)
                            : currentDialect_->GetCreateIndexSql(prefix, aMasterTable, aIndexName,
                                                                 aUnique, clustered, aColumnText),
                 false);
}

void Tdm::CreateTableIndexes(ado::TDataSet& aIndexSet, const std::string& aSchema,
                             const std::string& aClientTable, const std::string& aMasterTable,
                             const std::string& aIndexName) {
  SortKeeper order(aIndexSet);
  aIndexSet.SetSort("table_name;index_name;ordinal_position");
  if (!LocateRecord(aIndexSet, "table_name;index_name", Pair(aMasterTable, aIndexName),
                    ado::loCaseInsensitive)) {
    return;
  }
  const bool primaryKey = aIndexSet.FieldByName("primary_key").AsBoolean();
  const bool unique = aIndexSet.FieldByName("unique").AsBoolean();
  const bool clustered = aIndexSet.FieldByName("clustered").AsBoolean();
  std::vector<std::string> columns, clientColumns;
  for (; !aIndexSet.Eof() && text::SameText(TextOf(aIndexSet, "table_name"), aMasterTable) &&
         text::SameText(TextOf(aIndexSet, "index_name"), aIndexName);
       aIndexSet.Next()) {
    const std::string column = TextOf(aIndexSet, "column_name");
    const ado::TField* collation = aIndexSet.FindField("collation");
    const bool descending = collation != nullptr && !collation->IsNull() && collation->AsInteger() == 2;
    columns.push_back(QuoteName(column) + (descending ? " DESC" : ""));
    std::string clientColumn, clientTable;
    OldFieldName(aMasterTable, column, clientColumn, clientTable);
    clientColumns.push_back(clientColumn);
  }
  // A key or index a deletion's block dropped comes back in that block: cancelling the deletion
  // keeps the old one, and the new one is not created over it.
  const int previousBlock = BeginRecreateBlock(aMasterTable, aIndexName);
  if ((primaryKey && GetAutoRecoverPrimaryKeys()) || (!primaryKey && unique && GetAutoRecoverUniqueIndexes())) {
    sostCanc_->Execute(ac, aClientTable, aMasterTable, primaryKey, clientColumns, droppedTables_);
  }
  AddIndexSql(text::Join(columns, ", "), aSchema, unique, primaryKey, aIndexName, aMasterTable);
  if (primaryKey && currentDialect_ != nullptr) {
    const std::string prefix = GetDestTableSchemaPrefix(aSchema, aClientTable);
    const std::string cluster = currentDialect_->GetClusterPrimaryKeySql(prefix, aMasterTable, clustered);
    if (!cluster.empty()) AddInstruction(cluster, false);
  }
  EndRecreateBlock(previousBlock);
}

// ---- Indexes phase ----

namespace {

bool IsSkippedTable(Tdm& dm, ado::TDataSet& tables, const std::string& table) {
  return text::SameText(table, "DTPROPERTIES") || dm.IsSystemTable(tables, table);
}

// A client table the master lacks is the delete phase's to keep or drop, with what it holds.
bool MasterHasTable(Tdm& dm, const std::string& masterTable) {
  return Tdm::LocateRecord(dm.qTables, "table_name", ado::Variant(masterTable), ado::loCaseInsensitive);
}

}  // namespace

bool Tdm::UpdateIndexes() {
  TOrvSchemion& component = *Component();
  const TDbLanguageOptions& texts = component.LanguageOptions();
  component.WriteMessage(texts.msgUpdateIndexes);
  component.ProgressStepLevel0("Indexes");
  sostCanc_->BeginCheck();
  FilterScope clientFilter(qDestIndexes, "primary_key = false", false);
  component.ProgressStepLevel1("Update Indexes");
  const bool created = GetDatabaseCreated();
  for (const IndexRef& index : DistinctIndexes(qIndexes)) {
    component.ProgressStepLevel2("Check index: " + index.name + " on table: " + index.table);
    if (IsSkippedTable(*this, qTables, index.table)) continue;
    LocateRecord(qIndexes, "table_name;index_name", Pair(index.table, index.name), ado::loCaseInsensitive);
    if (qIndexes.FieldByName("primary_key").AsBoolean()) continue;
    if (LocateRecord(qConstraints, "constraint_name;table_name", Pair(index.name, index.table),
                     ado::loCaseInsensitive)) {
      continue;  // keys are the constraints phase's
    }
    const std::string clientTable = OldTableName(index.table);
    std::string clientName;
    // A client index that a rebuild or an earlier drop has already removed is created again.
    const bool clientHas = !created && !IsClientTableGone(clientTable) &&
                           !IsIndexDropped(index.table, index.name) &&
                           LocateIndex(qDestIndexes, clientTable, index.name, 0, false, false, clientName);
    if (clientHas) {
      if (SameIndexDefinition(qIndexes, qDestIndexes, clientName, index.name, index.table, clientTable,
                              index.schema)) {
        continue;
      }
      const std::string prefix = GetDestTableSchemaPrefix(index.schema, clientTable);
      const bool clientConstraint =
          LocateRecord(qDestConstraints, "table_name;constraint_name", Pair(clientTable, clientName),
                       ado::loCaseInsensitive);
      AddInstruction(clientConstraint ? "ALTER TABLE " + prefix + QuoteName(index.table) + " DROP CONSTRAINT " +
                                            QuoteName(clientName)
                                      : currentDialect_->GetDropIndexSql(prefix, index.table, clientName),
                     false);
    }
    CreateTableIndexes(qIndexes, index.schema, clientTable, index.table, index.name);
  }
  component.ProgressStepLevel1("Delete Indexes");
  if (!created && DeleteAllowed("indexes")) DeleteSurplusIndexes();
  component.WriteMessage(texts.msgUpdateIndexes + " " + texts.msgDone);
  return true;
}

bool Tdm::HasProtectedColumn(const std::string& aClientTable, const std::vector<std::string>& aColumns) const {
  for (const std::string& column : aColumns) {
    std::string newColumn, newTable;
    NewFieldName(aClientTable, column, newColumn, newTable);
    if (HasProtectedPrefix(newColumn)) return true;
  }
  return false;
}

void Tdm::DeleteSurplusIndexes() {
  SortKeeper order(qDestIndexes);
  qDestIndexes.SetSort("table_schema;index_name");
  for (const IndexRef& index : DistinctIndexes(qDestIndexes)) {
    const std::string masterTable = NewTableName(index.table);
    if (!MasterHasTable(*this, masterTable) ||
        LocateRecord(qDestConstraints, "table_name;constraint_name", Pair(index.table, index.name),
                     ado::loCaseInsensitive) ||
        IsTableDropped(index.table) || IsSystemTable(qDestTables, index.table) ||
        HasProtectedPrefix(index.name) || HasProtectedPrefix(masterTable) ||
        IsIndexDropped(masterTable, index.name) ||
        LocateRecord(qIndexes, "table_name;index_name", Pair(masterTable, index.name), ado::loCaseInsensitive) ||
        HasProtectedColumn(index.table, index.columns)) {
      continue;
    }
    AddBlockUndoDelete(masterTable + "." + index.name, ikDropIndex);
    BeginUndoDeleteBlock();
    AddInstruction(currentDialect_->GetDropIndexSql(GetDestTableSchemaPrefix(index.schema, index.table),
                                                    masterTable, index.name),
                   false);
    EndUndoDeleteBlock();
  }
}

// ---- Key constraints ----

void Tdm::DropClientKey(bool aPrimaryKey, const std::string& aSchema, const std::string& aClientTable,
                        const std::string& aMasterTable, const std::string& aClientName) {
  const std::string table = GetDestTableSchemaPrefix(aSchema, aClientTable) + QuoteName(aMasterTable);
  if (aPrimaryKey) {
    AddInstruction("ALTER TABLE " + table + DropConstraintClause(*currentDialect_, QuoteName(aClientName)), false);
    return;
  }
  if (!LocateRecord(qDestConstraints, "table_name;constraint_name", Pair(aClientTable, aClientName),
                    ado::loCaseInsensitive)) {
    // A unique index of the client standing where the master has a unique constraint.
    AddInstruction(currentDialect_->GetDropIndexSql(GetDestTableSchemaPrefix(aSchema, aClientTable),
                                                    aMasterTable, aClientName),
                   false);
    return;
  }
  AddInstruction("ALTER TABLE " + table + " DROP CONSTRAINT " + QuoteName(aClientName), false);
}

bool Tdm::UpdateKeyConstraints(const std::string& aKind) {
  TOrvSchemion& component = *Component();
  const TDbLanguageOptions& texts = component.LanguageOptions();
  const bool primaryKey = aKind == "PRIMARY KEY";
  FilterScope clientFilter(qDestIndexes, primaryKey ? "primary_key = true" : "primary_key = false", false);
  FilterScope masterFilter(qConstraints, primaryKey ? "constraint_type = 'PRIMARY KEY'" : "constraint_type = 'UNIQUE'",
                           false);
  const bool created = GetDatabaseCreated();
  component.ProgressStepLevel1(texts.msgUpdating);
  for (const IndexRef& key : DistinctConstraints(qConstraints)) {
    if (IsSkippedTable(*this, qTables, key.table)) continue;
    component.ProgressStepLevel2("Name: " + key.name + " - Table: " + key.table);
    std::string masterIndex;
    if (!LocateIndex(qIndexes, key.table, key.name, 0, false, primaryKey, masterIndex)) continue;
    const std::string clientTable = OldTableName(key.table);
    bool queue = created || IsConstraintDropped(key.table, key.name) || IsClientTableGone(clientTable);
    std::string clientName;
    if (!queue) {
      if (!LocateIndex(qDestIndexes, clientTable, key.name, 0, false, primaryKey, clientName)) {
        queue = true;
      } else if (primaryKey && IsConstraintDropped(key.table, clientName)) {
        // Dropped for a column change under the client's own name, which may differ from the
        // master's: it is gone, and the master's key takes its place.
        queue = true;
      } else if (!SameIndexDefinition(qIndexes, qDestIndexes, clientName, masterIndex, key.table, clientTable,
                                      key.schema)) {
        queue = true;
        if (!IsConstraintDropped(key.table, clientName)) {
          // The server refuses to drop a key that foreign keys reference: they go first, and the
          // foreign-key phase creates them again.
          if (primaryKey) DropForeignKeysOf(key.schema, clientTable, 2, "", key.table);
          DropClientKey(primaryKey, key.schema, clientTable, key.table, clientName);
        }
      }
    }
    if (!queue) continue;
    CreateTableIndexes(qIndexes, key.schema, clientTable, key.table, masterIndex);
    ForgetDroppedConstraint(key.table, key.name);
  }
  if (!created && (primaryKey || DeleteAllowed("indexes"))) {
    component.ProgressStepLevel1(texts.msgDeleting);
    DeleteSurplusKeys(primaryKey);
  }
  return true;
}

void Tdm::DeleteSurplusKeys(bool aPrimaryKey) {
  SortKeeper order(qDestIndexes);
  qDestIndexes.SetSort("table_schema;index_name");
  for (const IndexRef& key : DistinctIndexes(qDestIndexes)) {
    const std::string masterTable = NewTableName(key.table);
    if (!MasterHasTable(*this, masterTable) || IsTableDropped(key.table) || IsSystemTable(qDestTables, key.table) ||
        text::SameText(key.table, "DTPROPERTIES") || HasProtectedPrefix(masterTable)) {
      continue;
    }
    if (!aPrimaryKey && !LocateRecord(qDestConstraints, "table_name;constraint_name", Pair(key.table, key.name),
                                      ado::loCaseInsensitive)) {
      continue;
    }
    // The master's key of a table may carry another name than the client's: a primary key is
    // surplus only when the master table has none.
    std::string masterName;
    if (aPrimaryKey ? LocateIndex(qIndexes, masterTable, key.name, 0, false, true, masterName)
                    : LocateRecord(qIndexes, "table_name;index_name", Pair(masterTable, key.name),
                                   ado::loCaseInsensitive)) {
      continue;
    }
    if (IsConstraintDropped(masterTable, key.name) || HasProtectedColumn(key.table, key.columns)) continue;
    if (aPrimaryKey) DropForeignKeysOf(key.schema, key.table, 2, "", masterTable);
    AddBlockUndoDelete(masterTable + "." + key.name, ikDropConstraint);
    BeginUndoDeleteBlock();
    DropClientKey(aPrimaryKey, key.schema, key.table, masterTable, key.name);
    EndUndoDeleteBlock();
  }
}

bool Tdm::UpdateConstraints() {
  TOrvSchemion& updater = *Component();
  const TDbLanguageOptions& texts = updater.LanguageOptions();
  updater.WriteMessage(texts.msgUpdateConstraints);
  if (!updateIndexes_) sostCanc_->BeginCheck();  // else the indexes phase began it
  updater.ProgressStepLevel0("Unique Constraints");
  bool ok = UpdateKeyConstraints("UNIQUE");
  if (ok) {
    updater.ProgressStepLevel0("Primary keys");
    ok = UpdateKeyConstraints("PRIMARY KEY");
  }
  if (ok) {
    updater.ProgressStepLevel0("Foreign keys");
    ok = UpdateForeignKeys();
  }
  if (ok) {
    updater.ProgressStepLevel0("Default values");
    ok = UpdateDefaultValues();
  }
  if (ok) updater.WriteMessage(texts.msgUpdateConstraints + " " + texts.msgDone);
  return ok;
}
