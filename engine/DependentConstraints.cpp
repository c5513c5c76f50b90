// Removal of what depends on a client table or column before it is altered or dropped: primary
// key, foreign keys both ways, unique constraints and default constraints, each drop recorded in
// the registry so that the constraint phases create it again.
#include <string>
#include <vector>

#include "common/Text.h"
#include "engine/CatalogScope.h"
#include "engine/uDm.h"

using catalog_scope::FilterScope;
using catalog_scope::ReadRows;

namespace {

// The dialect's drop-constraint clause with the quoted name in place of its "%s" (a clause
// without one, " DROP PRIMARY KEY ", is used as it stands).
std::string DropClause(const std::string& format, const std::string& quotedName) {
  std::string clause = format.empty() ? std::string(" DROP CONSTRAINT %s") : format;
  const size_t at = clause.find("%s");
  if (at != std::string::npos) clause.replace(at, 2, quotedName);
  return clause;
}

bool KindWanted(const std::string& kind, std::initializer_list<const char*> names) {
  if (kind.empty()) return true;
  for (const char* name : names) {
    if (text::SameText(kind, name)) return true;
  }
  return false;
}

}  // namespace

void Tdm::DropDependentConstraints(const std::string& aSchema, const std::string& aClientTable,
                                   const std::string& aKind, const std::string& aMasterTable) {
  DropDependentConstraintsOf(aSchema, aClientTable, aKind, std::string(), aMasterTable);
}

void Tdm::DropDependentConstraintsOf(const std::string& aSchema, const std::string& aClientTable,
                                     const std::string& aKind, const std::string& aColumn,
                                     const std::string& aMasterTable) {
  if (KindWanted(aKind, {"PRIMARY_KEY", "PRIMARY KEY"})) {
    DropPrimaryKeyOf(aSchema, aClientTable, aColumn, aMasterTable);
  }
  if (KindWanted(aKind, {"FOREIGN_KEY", "FOREIGN KEY"})) {
    DropForeignKeysOf(aSchema, aClientTable, 0, aColumn, aMasterTable);
  }
  if (KindWanted(aKind, {"UNIQUE"})) DropUniqueConstraintsOf(aSchema, aClientTable, aColumn, aMasterTable);
  if (KindWanted(aKind, {"DEFAULT", "DEFAULT VALUE"}) && currentDialect_ != nullptr &&
      currentDialect_->DefaultAsConstraint) {
    DropDefaultsOf(aSchema, aClientTable, aColumn, aMasterTable);
  }
}

void Tdm::DropPrimaryKeyOf(const std::string& aSchema, const std::string& aClientTable,
                           const std::string& aColumn, const std::string& aMasterTable) {
  if (currentDialect_ == nullptr || !qDestPrimaryKeys.Active()) return;
  std::string filter = "table_name = " + SqlLiteral(aClientTable);
  if (!aColumn.empty()) filter += " and column_name = " + SqlLiteral(aColumn);
  std::string keyName;
  {
    FilterScope scope(qDestPrimaryKeys, filter);
    if (qDestPrimaryKeys.Eof()) return;
    keyName = qDestPrimaryKeys.FieldByName("PK_NAME").AsString();
  }
  if (IsConstraintDropped(aMasterTable, keyName)) return;
  // The foreign keys that reference the key go first: the server keeps a referenced key.
  DropForeignKeysOf(aSchema, aClientTable, 2, std::string(), aMasterTable);
  droppedConstraints_.emplace_back(aMasterTable, keyName);
  AddInstruction("ALTER TABLE " + GetDestTableSchemaPrefix(aSchema, aClientTable) + QuoteName(aMasterTable) +
                     DropClause(currentDialect_->DropConstraintFormat, QuoteName(keyName)),
                 false);
}

// Each key is addressed through its own table's schema and name, so the schema and master name of
// the table asked about are not needed here.
void Tdm::DropForeignKeysOf(const std::string& /*aSchema*/, const std::string& aClientTable, int aDirection,
                            const std::string& aColumn, const std::string& /*aMasterTable*/) {
  if (!qDestForeignKeys.Active()) return;
  for (const bool own : {true, false}) {
    if ((own && aDirection == 2) || (!own && aDirection == 1)) continue;
    std::string filter = (own ? "FK_TABLE_NAME = " : "PK_TABLE_NAME = ") + SqlLiteral(aClientTable);
    if (!aColumn.empty()) filter += (own ? " and FK_COLUMN_NAME = " : " and PK_COLUMN_NAME = ") + SqlLiteral(aColumn);
    std::vector<std::vector<std::string>> rows;
    {
      FilterScope scope(qDestForeignKeys, filter);
      rows = ReadRows(qDestForeignKeys, {"FK_NAME", "FK_TABLE_NAME", "FK_TABLE_SCHEMA"});
    }
    for (const std::vector<std::string>& row : rows) {
      const std::string& keyName = row[0];
      const std::string& clientTable = row[1];
      const std::string masterTable = NewTableName(clientTable);
      if (IsConstraintDropped(masterTable, keyName)) continue;
      droppedConstraints_.emplace_back(masterTable, keyName);
      AddInstruction("ALTER TABLE " + GetDestTableSchemaPrefix(row[2], clientTable) + QuoteName(masterTable) +
                         " DROP CONSTRAINT " + QuoteName(keyName),
                     false);
    }
  }
}

void Tdm::DropUniqueConstraintsOf(const std::string& aSchema, const std::string& aClientTable,
                                  const std::string& aColumn, const std::string& aMasterTable) {
  if (!qDestConstraints.Active()) return;
  std::vector<std::vector<std::string>> constraints;
  {
    FilterScope scope(qDestConstraints,
                      "TABLE_NAME = " + SqlLiteral(aClientTable) + " and CONSTRAINT_TYPE = 'UNIQUE'");
    constraints = ReadRows(qDestConstraints, {"constraint_name"});
  }
  std::vector<std::string> involved;  // unique indexes of the table over the column
  if (!aColumn.empty()) {
    if (!qDestIndexes.Active()) return;
    FilterScope scope(qDestIndexes, "table_name = " + SqlLiteral(aClientTable) +
                                        " and (primary_key = False) and (column_name = " + SqlLiteral(aColumn) + ")");
    for (const std::vector<std::string>& row : ReadRows(qDestIndexes, {"index_name"})) involved.push_back(row[0]);
  }
  for (const std::vector<std::string>& row : constraints) {
    const std::string& name = row[0];
    if (!aColumn.empty()) {
      bool uses = false;
      for (const std::string& index : involved) uses = uses || text::SameText(index, name);
      if (!uses) continue;
    }
    if (IsConstraintDropped(aMasterTable, name)) continue;
    droppedConstraints_.emplace_back(aMasterTable, name);
    AddInstruction("ALTER TABLE " + GetDestTableSchemaPrefix(aSchema, aClientTable) + QuoteName(aMasterTable) +
                       " DROP CONSTRAINT " + QuoteName(name),
                   false);
  }
}

void Tdm::DropDefaultsOf(const std::string& aSchema, const std::string& aClientTable,
                         const std::string& aColumn, const std::string& aMasterTable) {
  if (currentDialect_ == nullptr || !currentDialect_->DefaultAsConstraint) return;
  // A work set of its own: a caller may be walking aq.
  ado::TDataSet defaults;
  defaults.SetConnection(&ac);
  OpenSchemaOf(vsiDefaultValues,
               ado::Variant(ado::VariantArray{ado::Variant::Null(), ado::Variant::Null(), ado::Variant(aClientTable),
                                              ado::Variant::Null()}),
               defaults);
  if (!defaults.Active()) return;
  std::vector<std::vector<std::string>> rows;
  if (aColumn.empty()) {
    rows = ReadRows(defaults, {"constraint_name"});
  } else {
    FilterScope scope(defaults, "column_name = " + SqlLiteral(aColumn));
    rows = ReadRows(defaults, {"constraint_name"});
  }
  for (const std::vector<std::string>& row : rows) {
    const std::string& name = row[0];
    if (name.empty() || IsConstraintDropped(aMasterTable, name)) continue;
    AddInstruction("ALTER TABLE " + GetDestTableSchemaPrefix(aSchema, aClientTable) + QuoteName(aMasterTable) +
                       " DROP CONSTRAINT " + QuoteName(name),
                   false);
    droppedConstraints_.emplace_back(aMasterTable, name);
  }
}

bool Tdm::IsConstraintDropped(const std::string& aMasterTable, const std::string& aName) const {
  for (const auto& [table, name] : droppedConstraints_) {
    if (text::SameText(table, aMasterTable) && text::SameText(name, aName)) return true;
  }
  return false;
}

void Tdm::ForgetDroppedConstraint(const std::string& aMasterTable, const std::string& aName) {
  std::erase_if(droppedConstraints_, [&](const std::pair<std::string, std::string>& entry) {
    return text::SameText(entry.first, aMasterTable) && text::SameText(entry.second, aName);
  });
}
