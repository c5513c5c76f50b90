// Detection of the tables whose primary key differs between master and client, the objects that
// describe each such change, and the index definition comparison they rest on.
#include <memory>
#include <string>
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

// Positions the set on the visible row of (table, index, ordinal); false when there is none.
bool LocateIndexColumn(ado::TDataSet& set, const std::string& table, const std::string& index, int ordinal) {
  return Tdm::LocateRecord(set, "table_name;index_name;ordinal_position",
                           ado::Variant(ado::VariantArray{table, index, ordinal}), ado::loCaseInsensitive);
}

// The column names of an index, in ordinal order, from its visible rows (ordinals 1, 2, ...).
std::vector<std::string> IndexColumns(ado::TDataSet& set, const std::string& table, const std::string& index) {
  std::vector<std::string> columns;
  for (int ordinal = 1; LocateIndexColumn(set, table, index, ordinal); ++ordinal) {
    columns.push_back(TextOf(set, "column_name"));
  }
  return columns;
}

bool SameField(ado::TDataSet& a, ado::TDataSet& b, const char* field) {
  const ado::TField* fa = a.FindField(field);
  const ado::TField* fb = b.FindField(field);
  if (fa == nullptr || fb == nullptr) return fa == fb;
  return Tdm::sameValue(fa->Value(), fb->Value());
}

}  // namespace

bool Tdm::SameIndexDefinition(ado::TDataSet& aMasterSet, ado::TDataSet& aClientSet, const std::string& aClientName,
                              const std::string& aMasterName, const std::string& aMasterTable,
                              const std::string& aClientTable, const std::string& /*aSchema*/) {
  if (!aMasterSet.Active()) return true;
  const std::string clientName = aClientName.empty() ? aMasterName : aClientName;
  SortKeeper masterKeeper(aMasterSet);
  SortKeeper clientKeeper(aClientSet);
  if (!LocateIndexColumn(aMasterSet, aMasterTable, aMasterName, 1) &&
      !LocateRecord(aMasterSet, "table_name;index_name", ado::Variant(ado::VariantArray{aMasterTable, aMasterName}),
                    ado::loCaseInsensitive)) {
    return true;
  }
  if (!aClientSet.Active()) return false;
  // Across server kinds only what every server keeps alike is compared (uniqueness, order):
  // nulls, clustering, type and auto-update are each server's own, and a client could never
  // take the master's.
  const bool sameKind = currentDialect_ == nullptr || currentDialect_->MasterDbType == dbtNone ||
                        currentDialect_->MasterDbType == currentDialect_->DbType;
  static const std::vector<const char*> kSameKind = {"unique", "nulls", "clustered", "type", "collation", "auto_update"};
  static const std::vector<const char*> kAcrossKinds = {"unique", "collation"};
  int ordinal = 1;
  for (; LocateIndexColumn(aMasterSet, aMasterTable, aMasterName, ordinal); ++ordinal) {
    if (!LocateIndexColumn(aClientSet, aClientTable, clientName, ordinal)) return false;
    std::string oldField, oldTable;
    OldFieldName(aMasterTable, TextOf(aMasterSet, "column_name"), oldField, oldTable);
    if (!text::SameText(oldField, TextOf(aClientSet, "column_name"))) return false;
    for (const char* field : sameKind ? kSameKind : kAcrossKinds) {
      if (!SameField(aMasterSet, aClientSet, field)) return false;
    }
  }
  // A master index whose rows do not number from 1 is compared by the rows found; a client index
  // with more columns than the master's differs.
  if (ordinal == 1) return false;
  return !LocateIndexColumn(aClientSet, aClientTable, clientName, ordinal);
}

void Tdm::ApplyPkChangedTreatment() {
  switch (GetPKChangedTreatment()) {
    case pctNone: ClearPkTablesChange(); break;
    case pctList:
      ClearPkTablesChange();
      DetectPkChanges();
      break;
    default: break;  // the listed tables stay as the driver filled them
  }
}

void Tdm::DetectPkChanges() {
  if (!qTables.Active() || !qConstraints.Active() || !qDestConstraints.Active() || !qDestIndexes.Active() ||
      !qDestTables.Active()) {
    return;
  }
  std::vector<std::string> tables;
  for (const std::vector<std::string>& row : catalog_scope::ReadRows(qTables, {"table_name"})) {
    tables.push_back(row[0]);
  }
  FilterScope clientIndexes(qDestIndexes, "primary_key = true");
  FilterScope clientConstraints(qDestConstraints, "CONSTRAINT_TYPE = 'PRIMARY KEY'");
  FilterScope masterConstraints(qConstraints, "constraint_type = 'PRIMARY KEY'");
  qDestTables.SetFiltered(false);
  for (const std::string& masterTable : tables) {
    if (text::SameText(masterTable, "DTPROPERTIES") || pkTablesChange_.IndexOf(masterTable) >= 0) continue;
    const std::string clientTable = OldTableName(masterTable);
    if (!LocateRecord(qDestTables, "table_name", ado::Variant(clientTable), ado::loCaseInsensitive)) continue;
    if (!LocateRecord(qConstraints, "table_name", ado::Variant(masterTable), ado::loCaseInsensitive)) continue;
    const std::string masterKey = TextOf(qConstraints, "constraint_name");
    if (!LocateRecord(qDestConstraints, "TABLE_NAME", ado::Variant(clientTable), ado::loCaseInsensitive)) continue;
    const std::string clientKey = TextOf(qDestConstraints, "constraint_name");
    if (!LocateRecord(qIndexes, "table_name;index_name", ado::Variant(ado::VariantArray{masterTable, masterKey}),
                      ado::loCaseInsensitive) ||
        !LocateRecord(qDestIndexes, "table_name;index_name", ado::Variant(ado::VariantArray{clientTable, clientKey}),
                      ado::loCaseInsensitive)) {
      continue;
    }
    if (!SameIndexDefinition(qIndexes, qDestIndexes, clientKey, masterKey, masterTable, clientTable,
                             TextOf(qConstraints, "table_schema"))) {
      pkTablesChange_.Add(masterTable, std::make_unique<TPkTablesChange>());
    }
  }
}

bool Tdm::BuildPkTablesChanges() {
  aq.Close();
  qDestConstraints.SetFiltered(false);
  qDestIndexes.SetFiltered(false);
  TOwnedStringList<TPkTablesChange> built;
  // Each key is looked up by its table and name together: Access names every key PrimaryKey.
  FilterScope masterKeys(qIndexes, "primary_key = true");
  FilterScope clientKeys(qDestIndexes, "primary_key = true");
  const int count = pkTablesChange_.Count();
  for (int i = 0; i < count; ++i) {
    const std::string master = pkTablesChange_.Name(i);
    const std::string old = OldTableName(master);
    if (!LocateRecord(qConstraints, "constraint_type;table_name", ado::Variant(ado::VariantArray{"PRIMARY KEY", master}),
                      ado::loCaseInsensitive) ||
        !LocateRecord(qDestConstraints, "CONSTRAINT_TYPE;TABLE_NAME", ado::Variant(ado::VariantArray{"PRIMARY KEY", old}),
                      ado::loCaseInsensitive)) {
      continue;
    }
    auto change = std::make_unique<TPkTablesChange>();
    change->ClientTable = old;
    change->ClientSchema = TextOf(qDestConstraints, "TABLE_SCHEMA");
    change->MasterTable = master;
    change->MasterSchema = TextOf(qConstraints, "table_schema");
    change->ClientPkName = TextOf(qDestConstraints, "constraint_name");
    change->MasterPkName = TextOf(qConstraints, "constraint_name");
    change->TempName = FitName("PKC_TMP_", master);
    change->MasterKeyColumns = IndexColumns(qIndexes, master, change->MasterPkName);
    for (const std::string& column : IndexColumns(qDestIndexes, old, change->ClientPkName)) {
      std::string newField, newTable;
      NewFieldName(old, column, newField, newTable);
      change->ClientKeyColumns.push_back(newField);
      bool inMaster = false;
      for (const std::string& key : change->MasterKeyColumns) inMaster = inMaster || text::SameText(key, newField);
      if (!inMaster) change->RemovedKeyColumns.push_back(newField);
    }
    built.Add(master, std::move(change));
  }
  pkTablesChange_ = std::move(built);
  return true;
}
