// The delete phase for tables and fields: removes client tables and fields the master no longer
// has, as far as the delete policy allows, each inside an undo-delete block of its own. Queues
// SQL text only.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "components/DbSchemaUpdater.h"
#include "engine/CatalogScope.h"
#include "engine/MoveWorkTable.h"
#include "engine/UndoDeleteBlocks.h"
#include "engine/uDm.h"

using catalog_scope::TextOf;

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@' || c == '#' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// The constraint text names the column as a whole word (case ignored).
bool TextNamesColumn(const std::string& aText, const std::string& aColumn) {
  if (aColumn.empty()) return false;
  const std::string haystack = text::Upper(aText);
  const std::string needle = text::Upper(aColumn);
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
    const bool startOk = at == 0 || !IsNameChar(haystack[at - 1]);
    const size_t end = at + needle.size();
    const bool endOk = end >= haystack.size() || !IsNameChar(haystack[end]);
    if (startOk && endOk) return true;
  }
  return false;
}

std::string DropKey(const std::string& aMasterTable, const std::string& aName) {
  return text::Upper(aMasterTable) + "." + text::Upper(aName);
}

// One client table of the deletion loop.
struct ClientTable {
  std::string name;
  std::string schema;
};

}  // namespace

// What the deletion of a client table or field needs to know of the client's keys, read once.
struct TDeletePhaseCache {
  struct ForeignKey {
    std::string fkTable, name, fkColumn, pkTable, pkColumn;
  };
  // Upper-case client table -> names of its keys and unique constraints.
  std::map<std::string, std::vector<std::string>> keys;
  // Upper-case client table + "." + upper-case index -> upper-case columns.
  std::map<std::string, std::vector<std::string>> indexColumns;
  // The same for the primary keys of the key rowset.
  std::map<std::string, std::vector<std::string>> keyColumns;
  // Upper-case client table -> the foreign-key rows it owns or is referenced by.
  std::map<std::string, std::vector<ForeignKey>> foreignKeys;
  // Upper-case client table -> its CHECK constraints (name, text), in rowset order.
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> checks;
};

namespace {

void DestroyDeletePhaseCache(TDeletePhaseCache* cache) { delete cache; }

}  // namespace

void Tdm::DropTable(const std::string& aSchema, const std::string& aClientTable,
                    const std::string& aMasterTable) {
  const auto names = DependentConstraintNames(aClientTable, std::string());
  std::vector<bool> before;
  for (const auto& name : names) before.push_back(IsConstraintDropped(name.first, name.second));
  DropDependentConstraints(aSchema, aClientTable, std::string(), aMasterTable);
  NoteBlockDrops(names, before);
  AddInstruction("DROP TABLE " + OwnedObjectName(aSchema, aMasterTable), false);
  droppedTables_.push_back(aClientTable);
}

// The move's work table on Access is the system's own, not the client's: a leftover is dropped by
// the copy-data phase, never offered for deletion.
bool Tdm::IsLeftoverWorkTable(const std::string& aClientTable) const {
  return currentDialect_ != nullptr && currentDialect_->DbType == dbtAccess &&
         text::SameText(aClientTable, move_work_table::kName);
}

bool Tdm::DeleteTables() {
  TOrvDbSchemaUpdater* updater = Updater;
  if (updater != nullptr) updater->ProgressStepLevel1("Delete Tables");
  const bool tables = DeleteAllowed("tables");
  const bool fields = DeleteAllowed("fields");
  if (GetDatabaseCreated() || (!tables && !fields) || !qDestTables.Active()) return true;

  // The candidates are read first: the drops below move the client sets' cursors.
  std::vector<ClientTable> candidates;
  const std::string oldFilter = qDestTables.Filter();
  const bool oldFiltered = qDestTables.Filtered();
  qDestTables.SetFilter("table_type = 'TABLE'");
  qDestTables.SetFiltered(true);
  for (qDestTables.First(); !qDestTables.Eof(); qDestTables.Next()) {
    candidates.push_back({TextOf(qDestTables, "table_name"), TextOf(qDestTables, "table_schema")});
  }
  qDestTables.SetFilter(oldFilter);
  qDestTables.SetFiltered(oldFiltered);
  qTables.SetFiltered(false);
  if (updater != nullptr) updater->ProgressResetLevel2(static_cast<int>(candidates.size()));

  for (const ClientTable& table : candidates) {
    if (updater != nullptr) updater->ProgressStepLevel2("Check for deletion table: " + table.name);
    const std::string masterTable = NewTableName(table.name);
    if (!LocateRecord(qTables, "table_name", ado::Variant(masterTable), ado::loCaseInsensitive)) {
      if (tables && !HasProtectedPrefix(masterTable) && !HasProtectedPrefix(table.name) &&
          !IsLeftoverWorkTable(table.name)) {
        AddBlockUndoDelete(masterTable, ikDropTable);
        BeginUndoDeleteBlock();
        DropTable(table.schema, table.name, masterTable);
        EndUndoDeleteBlock();
      }
    } else if (fields) {
      qColumns.SetFilter("table_name = " + SqlLiteral(masterTable));
      qColumns.SetFiltered(true);
      DeleteFields(table.schema, table.name, masterTable);
      qColumns.SetFiltered(false);
    }
  }
  return true;
}

bool Tdm::DeleteFields(const std::string& aSchema, const std::string& aClientTable,
                       const std::string& aMasterTable) {
  if (!qDestColumns.Active()) return true;
  std::vector<std::string> columns;
  qDestColumns.SetFilter("table_name = " + SqlLiteral(aClientTable));
  qDestColumns.SetFiltered(true);
  for (qDestColumns.First(); !qDestColumns.Eof(); qDestColumns.Next()) {
    columns.push_back(TextOf(qDestColumns, "column_name"));
  }
  qDestColumns.SetFiltered(false);

  const std::string prefix = GetDestTableSchemaPrefix(aSchema, aClientTable);
  for (const std::string& column : columns) {
    std::string masterColumn, ignoredTable;
    NewFieldName(aClientTable, column, masterColumn, ignoredTable);
    if (HasProtectedPrefix(column)) continue;
    const bool masterHas =
        LocateRecord(qColumns, "table_name;column_name",
                     ado::Variant(ado::VariantArray{aMasterTable, masterColumn}), ado::loCaseInsensitive);
    if (masterHas) continue;
    AddBlockUndoDelete(aMasterTable + "." + masterColumn, ikDropField);
    BeginUndoDeleteBlock();
    const auto names = DependentConstraintNames(aClientTable, column);
    std::vector<bool> before;
    for (const auto& name : names) before.push_back(IsConstraintDropped(name.first, name.second));
    DropDependentConstraintsOf(aSchema, aClientTable, std::string(), column, aMasterTable);
    NoteBlockDrops(names, before);
    DropIndexesAndChecksOf(aSchema, prefix, aClientTable, column, aMasterTable);
    AddInstruction("ALTER TABLE " + prefix + QuoteName(aMasterTable) + currentDialect_->DropColumnKeyword +
                       QuoteName(masterColumn),
                   false);
    droppedFields_.push_back(aClientTable + "." + column);
    EndUndoDeleteBlock();
  }
  return true;
}

void Tdm::DropIndexesAndChecksOf(const std::string& aSchema, const std::string& aPrefix,
                                 const std::string& aClientTable, const std::string& aColumn,
                                 const std::string& aMasterTable) {
  // Plain indexes over the column, through the tables phase's drop (which records them for the
  // index phase); one another field's block dropped already is a drop both deletions need.
  std::vector<std::string> indexes;
  TDeletePhaseCache& cache = DeletePhaseCache();
  const std::string tablePrefix = text::Upper(aClientTable) + ".";
  for (auto it = cache.indexColumns.lower_bound(tablePrefix);
       it != cache.indexColumns.end() && it->first.rfind(tablePrefix, 0) == 0; ++it) {
    const auto& [key, columns] = *it;
    for (const std::string& column : columns) {
      if (column == text::Upper(aColumn)) indexes.push_back(key.substr(aClientTable.size() + 1));
    }
  }
  std::vector<bool> before;
  for (const std::string& index : indexes) before.push_back(IsIndexDropped(aMasterTable, index));
  DropPlainIndexesOf(aSchema, aClientTable, aColumn, aMasterTable);
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (before[i] ? dropBlocks_.count(DropKey(aMasterTable, indexes[i])) > 0
                  : IsIndexDropped(aMasterTable, indexes[i])) {
      NoteDropInBlock(aMasterTable, indexes[i]);
    }
  }

  // CHECK constraints whose text names the column.
  std::vector<std::string> checks;
  if (const auto found = cache.checks.find(text::Upper(aClientTable)); found != cache.checks.end()) {
    for (const auto& [name, checkText] : found->second) {
      if (!TextNamesColumn(checkText, aColumn)) continue;
      if (!name.empty() && !IsConstraintDropped(aMasterTable, name)) checks.push_back(name);
    }
  }
  for (const std::string& check : checks) {
    if (!IsCheckDropped(aMasterTable, check)) {
      AddInstruction("ALTER TABLE " + aPrefix + QuoteName(aMasterTable) + " DROP CONSTRAINT " + QuoteName(check),
                     false);
      droppedChecks_.push_back(DropKey(aMasterTable, check));
    }
    NoteDropInBlock(aMasterTable, check);
  }
}

bool Tdm::IsCheckDropped(const std::string& aMasterTable, const std::string& aName) const {
  const std::string key = DropKey(aMasterTable, aName);
  for (const std::string& dropped : droppedChecks_) {
    if (dropped == key) return true;
  }
  return false;
}

// ---- Blocks that share a drop, and re-creations inside the dropping block ----

TDeletePhaseCache& Tdm::DeletePhaseCache() {
  if (deletePhaseCache_) return *deletePhaseCache_;
  deletePhaseCache_ = {new TDeletePhaseCache(), &DestroyDeletePhaseCache};
  TDeletePhaseCache& cache = *deletePhaseCache_;
  if (qDestConstraints.Active()) {
    qDestConstraints.SetFiltered(false);
    for (qDestConstraints.First(); !qDestConstraints.Eof(); qDestConstraints.Next()) {
      const std::string type = text::Trim(TextOf(qDestConstraints, "constraint_type"));
      if (text::SameText(type, "PRIMARY KEY") || text::SameText(type, "UNIQUE")) {
        cache.keys[text::Upper(TextOf(qDestConstraints, "table_name"))].push_back(
            TextOf(qDestConstraints, "constraint_name"));
      } else if (text::SameText(type, "CHECK")) {
        cache.checks[text::Upper(TextOf(qDestConstraints, "table_name"))].emplace_back(
            TextOf(qDestConstraints, "constraint_name"), TextOf(qDestConstraints, "text"));
      }
    }
  }
  if (qDestPrimaryKeys.Active()) {
    // The key's name as the dependent-constraint removal records it, with its columns.
    qDestPrimaryKeys.SetFiltered(false);
    for (qDestPrimaryKeys.First(); !qDestPrimaryKeys.Eof(); qDestPrimaryKeys.Next()) {
      const std::string table = TextOf(qDestPrimaryKeys, "table_name");
      const std::string name = TextOf(qDestPrimaryKeys, "pk_name");
      std::vector<std::string>& keys = cache.keys[text::Upper(table)];
      bool known = false;
      for (const std::string& key : keys) known = known || text::SameText(key, name);
      if (!known) keys.push_back(name);
      cache.keyColumns[DropKey(table, name)].push_back(text::Upper(TextOf(qDestPrimaryKeys, "column_name")));
    }
  }
  if (qDestIndexes.Active()) {
    qDestIndexes.SetFiltered(false);
    for (qDestIndexes.First(); !qDestIndexes.Eof(); qDestIndexes.Next()) {
      cache.indexColumns[DropKey(TextOf(qDestIndexes, "table_name"), TextOf(qDestIndexes, "index_name"))]
          .push_back(text::Upper(TextOf(qDestIndexes, "column_name")));
    }
  }
  if (qDestForeignKeys.Active()) {
    qDestForeignKeys.SetFiltered(false);
    for (qDestForeignKeys.First(); !qDestForeignKeys.Eof(); qDestForeignKeys.Next()) {
      const TDeletePhaseCache::ForeignKey key{
          TextOf(qDestForeignKeys, "fk_table_name"), TextOf(qDestForeignKeys, "fk_name"),
          TextOf(qDestForeignKeys, "fk_column_name"), TextOf(qDestForeignKeys, "pk_table_name"),
          TextOf(qDestForeignKeys, "pk_column_name")};
      cache.foreignKeys[text::Upper(key.fkTable)].push_back(key);
      if (!text::SameText(key.pkTable, key.fkTable)) cache.foreignKeys[text::Upper(key.pkTable)].push_back(key);
    }
  }
  return cache;
}

std::vector<std::pair<std::string, std::string>> Tdm::DependentConstraintNames(const std::string& aClientTable,
                                                                               const std::string& aColumn) {
  TDeletePhaseCache& cache = DeletePhaseCache();
  std::vector<std::pair<std::string, std::string>> names;
  auto add = [&names](const std::string& table, const std::string& name) {
    if (name.empty()) return;
    for (const auto& known : names) {
      if (text::SameText(known.first, table) && text::SameText(known.second, name)) return;
    }
    names.emplace_back(table, name);
  };
  const std::string masterTable = NewTableName(aClientTable);
  // Keys and unique constraints: those over the column when one is given.
  if (const auto keys = cache.keys.find(text::Upper(aClientTable)); keys != cache.keys.end()) {
    for (const std::string& key : keys->second) {
      bool holds = aColumn.empty();
      for (const auto* map : {&cache.indexColumns, &cache.keyColumns}) {
        if (const auto columns = map->find(DropKey(aClientTable, key)); !holds && columns != map->end()) {
          for (const std::string& column : columns->second) holds = holds || column == text::Upper(aColumn);
        }
      }
      if (holds) add(masterTable, key);
    }
  }
  // Foreign keys both ways.
  if (const auto keys = cache.foreignKeys.find(text::Upper(aClientTable)); keys != cache.foreignKeys.end()) {
    for (const TDeletePhaseCache::ForeignKey& key : keys->second) {
      const bool own = text::SameText(key.fkTable, aClientTable) &&
                       (aColumn.empty() || text::SameText(key.fkColumn, aColumn));
      const bool referencing = text::SameText(key.pkTable, aClientTable) &&
                               (aColumn.empty() || text::SameText(key.pkColumn, aColumn));
      if (own || referencing) add(NewTableName(key.fkTable), key.name);
    }
  }
  return names;
}

void Tdm::NoteBlockDrops(const std::vector<std::pair<std::string, std::string>>& aNames,
                         const std::vector<bool>& aDroppedBefore) {
  for (size_t i = 0; i < aNames.size(); ++i) {
    const std::string key = DropKey(aNames[i].first, aNames[i].second);
    if (aDroppedBefore[i]) {
      // A drop queued outside any block runs whatever the user cancels: nothing to link.
      if (dropBlocks_.count(key) > 0) NoteDropInBlock(aNames[i].first, aNames[i].second);
    } else if (IsConstraintDropped(aNames[i].first, aNames[i].second)) {
      NoteDropInBlock(aNames[i].first, aNames[i].second);
    }
  }
}

void Tdm::NoteDropInBlock(const std::string& aMasterTable, const std::string& aName) {
  if (currentBlockUndoDeleteId_ == 0) return;
  const auto [it, added] = dropBlocks_.emplace(DropKey(aMasterTable, aName), currentBlockUndoDeleteId_);
  // Dropped by another block already: this deletion needs that drop too, so both go together.
  if (!added && it->second != currentBlockUndoDeleteId_) {
    undo_delete::LinkBlocks(qBlockUndoDelete, it->second, currentBlockUndoDeleteId_);
  }
}

int Tdm::BeginRecreateBlock(const std::string& aMasterTable, const std::string& aName) {
  const int previous = currentBlockUndoDeleteId_;
  if (previous != 0) return previous;
  const auto it = dropBlocks_.find(DropKey(aMasterTable, aName));
  currentBlockUndoDeleteId_ = it != dropBlocks_.end() ? it->second : 0;
  return previous;
}

void Tdm::AnnounceLinkedUndoDelete(int aBlockId, int aCause) {
  for (int announced : announcedLinkedBlocks_) {
    if (announced == aBlockId) return;
  }
  announcedLinkedBlocks_.push_back(aBlockId);
  TOrvSchemion* component = Component();
  if (component == nullptr) return;
  auto objectOf = [this](int id) {
    return LocateRecord(qBlockUndoDelete, "id", ado::Variant(static_cast<long long>(id)), 0)
               ? TextOf(qBlockUndoDelete, "ObjectName")
               : std::string();
  };
  const std::string object = objectOf(aBlockId);
  const std::string cause = objectOf(aCause);
  component->WriteMessage("Deletion of " + object + " (block " + std::to_string(aBlockId) +
                          ") kept: it shares a drop with the cancelled deletion of " + cause + " (block " +
                          std::to_string(aCause) + ")");
}
