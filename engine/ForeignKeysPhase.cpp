// Foreign keys and default values: missing keys added after the keys they reference, changed ones
// re-created, surplus ones dropped, orphan rows deleted when asked, default constraints aligned.
// Keys and defaults are read once into plain records and matched by table and name, so that a
// key name used by two tables (foreign keys are named per table on some servers) is never taken
// for another table's key.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "components/DbSchemaUpdater.h"
#include "engine/CatalogScope.h"
#include "engine/EngineError.h"
#include "engine/SchemaFiles.h"
#include "engine/uDm.h"

namespace {

constexpr const char* kForeignKeysFile = "Schema file vsiForeignKeys.xml";
constexpr const char* kColumnsFile = "Schema file vsiColumns.xml";
constexpr const char* kClientForeignKeys = "The client's foreign keys";
constexpr const char* kClientDefaults = "The client's default values";
constexpr const char* kParentAlias = "ORV_PARENT";

struct KeyColumn {
  long long ordinal = 0;
  std::string column;    // of the referencing table
  std::string pkColumn;  // of the referenced table
};

// One foreign key, its columns in key order.
struct ForeignKey {
  std::string schema;
  std::string table;
  std::string name;
  std::string pkSchema;
  std::string pkTable;
  std::string updateRule;
  std::string deleteRule;
  std::vector<KeyColumn> columns;
  // 1 kept disabled (not enforced), 0 enabled, -1 not told (a server without the state).
  int disabled = -1;
};

// One default value of a column.
struct DefaultValue {
  std::string name;
  std::string schema;
  std::string table;
  std::string column;
  std::string text;
};

// A key of two names, case ignored.
std::string PairKey(const std::string& a, const std::string& b) { return text::Upper(a) + '\n' + text::Upper(b); }

const ado::TField& RequiredField(ado::TDataSet& set, const char* name, const std::string& source) {
  const ado::TField* field = set.FindField(name);
  if (field == nullptr) throw EEngineError(source + " has no field " + name);
  return *field;
}

// Walks every row of a set, filter removed; the filter and the cursor are restored at the end.
class WholeSetWalk : catalog_scope::CursorKeeper {
 public:
  explicit WholeSetWalk(ado::TDataSet& set) : CursorKeeper(set) {
    if (set.Active() && set.Filtered()) set.SetFiltered(false);
  }
};

// The foreign-key rows of a set grouped into keys (by table and name), columns in key order.
// aOnlyTable/aOnlyName, when given, read that one key.
std::vector<ForeignKey> ReadForeignKeys(ado::TDataSet& set, const std::string& source,
                                        const std::string& aOnlyTable = {},
                                        const std::string& aOnlyName = {}) {
  std::vector<ForeignKey> keys;
  if (!set.Active()) return keys;
  WholeSetWalk walk(set);
  const ado::TField& name = RequiredField(set, "fk_name", source);
  const ado::TField& ordinal = RequiredField(set, "ordinal", source);
  const ado::TField& table = RequiredField(set, "fk_table_name", source);
  const ado::TField& column = RequiredField(set, "fk_column_name", source);
  const ado::TField& pkTable = RequiredField(set, "pk_table_name", source);
  const ado::TField& pkSchema = RequiredField(set, "pk_table_schema", source);
  const ado::TField& pkColumn = RequiredField(set, "pk_column_name", source);
  const ado::TField& updateRule = RequiredField(set, "update_rule", source);
  const ado::TField& deleteRule = RequiredField(set, "delete_rule", source);
  const ado::TField* disabled = set.FindField("is_disabled");
  const ado::TField* schema = set.FindField("fktable_schema");
  if (schema == nullptr) schema = &RequiredField(set, "fk_table_schema", source);
  std::map<std::string, size_t> byTableAndName;
  for (set.First(); !set.Eof(); set.Next()) {
    const std::string keyName = name.AsString();
    const std::string keyTable = table.AsString();
    if (!aOnlyName.empty() && !(text::SameText(keyName, aOnlyName) && text::SameText(keyTable, aOnlyTable))) {
      continue;
    }
    const auto [it, added] = byTableAndName.emplace(PairKey(keyTable, keyName), keys.size());
    if (added) {
      keys.push_back({schema->AsString(), keyTable, keyName, pkSchema.AsString(), pkTable.AsString(),
                      updateRule.AsString(), deleteRule.AsString(), {},
                      disabled == nullptr || disabled->IsNull() ? -1 : (disabled->AsInteger() != 0 ? 1 : 0)});
    }
    keys[it->second].columns.push_back({ordinal.IsNull() ? 0 : ordinal.AsInteger(), column.AsString(),
                                        pkColumn.AsString()});
  }
  for (ForeignKey& key : keys) {
    std::stable_sort(key.columns.begin(), key.columns.end(),
                     [](const KeyColumn& a, const KeyColumn& b) { return a.ordinal < b.ordinal; });
  }
  return keys;
}

std::vector<DefaultValue> ReadDefaults(ado::TDataSet& set, const std::string& source) {
  std::vector<DefaultValue> defaults;
  if (!set.Active()) return defaults;
  WholeSetWalk walk(set);
  const ado::TField& name = RequiredField(set, "constraint_name", source);
  const ado::TField& schema = RequiredField(set, "table_schema", source);
  const ado::TField& table = RequiredField(set, "table_name", source);
  const ado::TField& column = RequiredField(set, "column_name", source);
  const ado::TField& textField = RequiredField(set, "text", source);
  for (set.First(); !set.Eof(); set.Next()) {
    defaults.push_back({name.AsString(), schema.AsString(), table.AsString(), column.AsString(),
                        textField.AsString()});
  }
  return defaults;
}

// The names of the system tables of a tables set.
std::set<std::string, text::LessText> SystemTables(ado::TDataSet& tables) {
  std::set<std::string, text::LessText> names;
  if (!tables.Active()) return names;
  WholeSetWalk walk(tables);
  const ado::TField* name = tables.FindField("table_name");
  const ado::TField* type = tables.FindField("table_type");
  if (name == nullptr || type == nullptr) return names;
  for (tables.First(); !tables.Eof(); tables.Next()) {
    const std::string kind = type->AsString();
    if (text::SameText(kind, "SYSTEM TABLE") || text::SameText(kind, "SYSTEM VIEW") ||
        text::SameText(kind, "SYSTEM GBL TEMP")) {
      names.insert(name->AsString());
    }
  }
  return names;
}

// A default's text without the parentheses that enclose all of it, and with a leading zero
// before a bare decimal point: "(0)" and "0", "((.5))" and "0.5" read the same.
std::string BareDefault(const std::string& value) {
  std::string t = text::Trim(value);
  for (;;) {
    if (t.size() < 2 || t.front() != '(' || t.back() != ')') break;
    // The first parenthesis must close at the very end, else "(1) + (2)" would lose its pair.
    int depth = 0;
    size_t close = std::string::npos;
    char quote = 0;
    for (size_t i = 0; i < t.size(); ++i) {
      const char c = t[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close != t.size() - 1) break;
    t = text::Trim(t.substr(1, t.size() - 2));
  }
  if (t.rfind('.', 0) == 0) t = "0" + t;
  if (t.rfind("-.", 0) == 0) t = "-0" + t.substr(1);
  return t;
}

std::string TableOfColumn(const std::string& qualified) {
  const size_t dot = qualified.rfind('.');
  return dot == std::string::npos ? std::string() : qualified.substr(0, dot);
}

std::string ColumnPart(const std::string& qualified) {
  const size_t dot = qualified.rfind('.');
  return dot == std::string::npos ? qualified : qualified.substr(dot + 1);
}

}  // namespace

// The work of the phase on one engine: both steps read the master and client rows once and then
// match them by table and name.
class ForeignKeysWork {
 public:
  explicit ForeignKeysWork(Tdm& dm) : dm_(dm), created_(dm.GetDatabaseCreated()) {}

  // ---- Foreign keys ----

  bool UpdateForeignKeys() {
    TOrvSchemion& component = Component();
    const TDbLanguageOptions& texts = component.LanguageOptions();
    std::vector<ForeignKey> master = ReadForeignKeys(dm_.qForeignKeys, kForeignKeysFile);
    std::vector<ForeignKey> client = ReadForeignKeys(dm_.qDestForeignKeys, kClientForeignKeys);
    std::sort(master.begin(), master.end(), [](const ForeignKey& a, const ForeignKey& b) {
      const int byName = text::CompareText(a.name, b.name);
      return byName != 0 ? byName < 0 : text::CompareText(a.table, b.table) < 0;
    });
    std::map<std::string, const ForeignKey*> clientByKey;
    for (const ForeignKey& key : client) clientByKey.emplace(PairKey(key.table, key.name), &key);
    const auto masterSystem = SystemTables(dm_.qTables);

    component.ProgressResetLevel1(2);
    component.ProgressStepLevel1(texts.msgUpdating);
    std::set<std::string> handled;
    for (const ForeignKey& key : master) {
      component.ProgressStepLevel2("Name: " + key.name + " - Table: " + key.table);
      if (masterSystem.count(key.table) > 0) continue;
      if (!handled.insert(PairKey(key.table, key.name)).second) continue;
      if (!CanHold(key)) {
        // Created enabled, the key would refuse (or, asked to, delete) the rows the master keeps
        // without parent: the client's server goes without it.
        component.WriteMessage("Foreign key " + key.name + " of table " + key.table +
                               " is disabled on the master and is not carried to the client's server");
        continue;
      }
      const std::string clientTable = dm_.OldTableName(key.table);
      const auto found = clientByKey.find(PairKey(clientTable, key.name));
      const ForeignKey* current = found == clientByKey.end() ? nullptr : found->second;
      const bool dropped = IsDropped(key.table, key.name);
      const auto alterTable = [&] {
        return "ALTER TABLE " + dm_.GetDestTableSchemaPrefix(key.schema, clientTable) + dm_.QuoteName(key.table);
      };
      if (!dropped && !created_ && current != nullptr && SameKey(key, *current)) {
        // The same key in another state is switched on or off where it stands.
        if (key.disabled >= 0 && current->disabled >= 0 && key.disabled != current->disabled) {
          dm_.AddInstruction(alterTable() + StateClause(key), false);
        }
        continue;
      }
      if (!dropped && !created_ && current != nullptr) {
        dm_.AddInstruction(alterTable() + " DROP CONSTRAINT " + dm_.QuoteName(key.name), false);
      }
      AddKey(key, key.schema, clientTable);
      Forget(key.table, key.name);
    }

    if (!created_) DropSurplusKeys(master, client);
    return true;
  }

  void AddForeignKey(ado::TDataSet& set, const std::string& schema, const std::string& name,
                     const std::string& masterTable, const std::string& clientTable) {
    const std::vector<ForeignKey> keys = ReadForeignKeys(set, kForeignKeysFile, masterTable, name);
    if (!keys.empty()) AddKey(keys.front(), schema, clientTable);
  }

  bool SameForeignKeyDefinition(ado::TDataSet& masterSet, ado::TDataSet& clientSet) {
    if (!masterSet.Active() || masterSet.Eof() || !clientSet.Active() || clientSet.Eof()) return false;
    const std::vector<ForeignKey> master =
        ReadForeignKeys(masterSet, kForeignKeysFile, masterSet.FieldByName("fk_table_name").AsString(),
                        masterSet.FieldByName("fk_name").AsString());
    const std::vector<ForeignKey> client =
        ReadForeignKeys(clientSet, kClientForeignKeys, clientSet.FieldByName("fk_table_name").AsString(),
                        clientSet.FieldByName("fk_name").AsString());
    return !master.empty() && !client.empty() && SameKey(master.front(), client.front());
  }

  void DeleteOrphanRows(const std::vector<std::string>& fk, const std::vector<std::string>& pk, int rounds) {
    if (fk.empty() || fk.size() != pk.size()) return;
    const std::string fkTable = TableOfColumn(fk.front());
    const std::string pkTable = TableOfColumn(pk.front());
    std::string sql;
    if (fk.size() == 1) {
      // The IS NOT NULL keeps a row without key when the referenced table is empty.
      sql = "DELETE FROM " + fkTable + " WHERE " + fk[0] + " NOT IN (SELECT " + pk[0] + " FROM " + pkTable +
            " WHERE " + pk[0] + " = " + pk[0] + ") AND " + fk[0] + " IS NOT NULL";
    } else {
      // One statement that finds the orphans when the update runs, not one DELETE per orphan row
      // read at check time: a row whose parent arrives earlier in the same update (a copied row,
      // a key value changed) is no orphan then and stays. A row with a NULL key column references
      // nothing and stays too.
      std::string notNull, match;
      for (size_t i = 0; i < fk.size(); ++i) {
        notNull += fk[i] + " IS NOT NULL AND ";
        match += (i > 0 ? " AND " : "") + std::string(kParentAlias) + "." + ColumnPart(pk[i]) + " = " + fk[i];
      }
      sql = "DELETE FROM " + fkTable + " WHERE " + notNull + "NOT EXISTS (SELECT * FROM " + pkTable + " AS " +
            kParentAlias + " WHERE " + match + ")";
    }
    for (int round = 0; round < std::max(rounds, 1); ++round) dm_.AddInstruction(sql, false);
  }

  // ---- Default values ----

  bool UpdateDefaultValues(bool byColumn) {
    TOrvSchemion& component = Component();
    const TDbLanguageOptions& texts = component.LanguageOptions();
    const std::vector<DefaultValue> master = MasterDefaults(byColumn);
    std::vector<DefaultValue> client = ClientDefaults();
    DefaultsByTable clientByTable;
    for (DefaultValue& value : client) clientByTable[value.table].push_back(&value);
    const auto masterSystem = SystemTables(dm_.qTables);

    component.ProgressResetLevel1(2);
    component.ProgressStepLevel1(texts.msgUpdating);
    for (const DefaultValue& value : master) {
      component.ProgressStepLevel2("Name: " + value.name + " - Field: " + value.column + " - Table: " + value.table);
      if (masterSystem.count(value.table) > 0) continue;
      if (byColumn) {
        UpdateDefaultByColumn(value, clientByTable);
      } else {
        UpdateDefaultByName(value, clientByTable);
      }
    }
    if (created_) return true;
    component.ProgressStepLevel1(texts.msgDeleting);
    std::set<std::string> masterKeys;
    for (const DefaultValue& value : master) {
      masterKeys.insert(byColumn ? PairKey(value.table, value.column) : PairKey(value.table, value.name));
    }
    for (const DefaultValue& value : client) {
      const std::string table = dm_.NewTableName(value.table);
      std::string column, ignored;
      dm_.NewFieldName(value.table, value.column, column, ignored);
      if (masterKeys.count(byColumn ? PairKey(table, column) : PairKey(table, value.name)) > 0) continue;
      if (IsDropped(table, value.name) || TableDroppedInRun(value.table)) continue;
      if (dm_.HasProtectedPrefix(table) || dm_.HasProtectedPrefix(column)) continue;
      DropConstraint(dm_.GetDestTableSchemaPrefix(value.schema, value.table), table, value.name);
    }
    return true;
  }

 private:
  TOrvSchemion& Component() const {
    TOrvSchemion* component = dm_.Component();
    if (component == nullptr) throw EEngineError("No updater registered for the check");
    return *component;
  }

  // A table of the client that this run drops (a renamed table lives on under its new name).
  bool TableDroppedInRun(const std::string& clientTable) const {
    return dm_.IsTableDropped(clientTable) && text::SameText(dm_.NewTableName(clientTable), clientTable);
  }

  std::string ClientColumn(const std::string& masterTable, const std::string& masterColumn) const {
    std::string column, table;
    dm_.OldFieldName(masterTable, masterColumn, column, table);
    return column;
  }

  std::string MasterColumn(const std::string& clientTable, const std::string& clientColumn) const {
    std::string column, table;
    dm_.NewFieldName(clientTable, clientColumn, column, table);
    return column;
  }

  // The rule as the client's server keeps it: SET NULL and SET DEFAULT only where the server has
  // them (Adaptive Server Anywhere), RESTRICT and no rule meaning NO ACTION.
  std::string EffectiveRule(const std::string& rule) const {
    const std::string upper = text::Upper(text::Trim(rule));
    if (upper == "CASCADE") return upper;
    const TDatabaseSpecific* dialect = dm_.CurrentDialect();
    if ((upper == "SET NULL" || upper == "SET DEFAULT") && dialect != nullptr && dialect->DbType == dbtAsa) {
      return upper;
    }
    return "NO ACTION";
  }

  std::string RuleClause(const char* action, const std::string& rule) const {
    const std::string effective = EffectiveRule(rule);
    return effective == "NO ACTION" ? std::string() : std::string(" ON ") + action + " " + effective;
  }

  // A key kept disabled reaches only a server that can keep it so.
  bool CanHold(const ForeignKey& key) const {
    const TDatabaseSpecific* dialect = dm_.CurrentDialect();
    return key.disabled != 1 || (dialect != nullptr && dialect->DisabledForeignKeys);
  }

  // " CHECK CONSTRAINT name" or " NOCHECK CONSTRAINT name", by the key's state.
  std::string StateClause(const ForeignKey& key) const {
    return (key.disabled == 1 ? " NOCHECK CONSTRAINT " : " CHECK CONSTRAINT ") + dm_.QuoteName(key.name);
  }

  // The master key (master names) against the client's (client names).
  bool SameKey(const ForeignKey& master, const ForeignKey& client) const {
    if (!text::SameText(dm_.OldTableName(master.table), client.table)) return false;
    if (!text::SameText(dm_.OldTableName(master.pkTable), client.pkTable)) return false;
    if (master.columns.size() != client.columns.size()) return false;
    for (size_t i = 0; i < master.columns.size(); ++i) {
      const KeyColumn& m = master.columns[i];
      const KeyColumn& c = client.columns[i];
      if (m.ordinal != c.ordinal) return false;
      if (!text::SameText(ClientColumn(master.table, m.column), c.column)) return false;
      if (!text::SameText(ClientColumn(master.pkTable, m.pkColumn), c.pkColumn)) return false;
    }
    return EffectiveRule(master.updateRule) == EffectiveRule(client.updateRule) &&
           EffectiveRule(master.deleteRule) == EffectiveRule(client.deleteRule);
  }

  void AddKey(const ForeignKey& key, const std::string& schema, const std::string& clientTable) {
    if (!CanHold(key)) return;
    const std::string prefix = dm_.GetDestTableSchemaPrefix(schema, clientTable);
    const std::string clientPkTable = dm_.OldTableName(key.pkTable);
    const std::string pkPrefix = dm_.GetDestTableSchemaPrefix(key.pkSchema, clientPkTable);
    std::string fkText, pkText;
    std::vector<std::string> fkColumns, pkColumns;
    for (const KeyColumn& column : key.columns) {
      fkText += dm_.QuoteName(column.column) + ", ";
      pkText += dm_.QuoteName(column.pkColumn) + ", ";
      fkColumns.push_back(prefix + dm_.QuoteName(key.table) + "." + dm_.QuoteName(column.column));
      pkColumns.push_back(pkPrefix + dm_.QuoteName(key.pkTable) + "." + dm_.QuoteName(column.pkColumn));
    }
    if (fkText.size() >= 2) fkText.resize(fkText.size() - 2);
    if (pkText.size() >= 2) pkText.resize(pkText.size() - 2);
    // A disabled key judges none of the rows there: they stay, parent or not.
    const bool disabled = key.disabled == 1;
    const std::string table = "ALTER TABLE " + prefix + dm_.QuoteName(key.table);
    const std::string sql = table + (disabled ? " WITH NOCHECK" : "") + " ADD CONSTRAINT " +
                            dm_.QuoteName(key.name) + " FOREIGN KEY (" + fkText + ")" + " REFERENCES " + pkPrefix +
                            dm_.QuoteName(key.pkTable) + " (" + pkText + ")" + RuleClause("UPDATE", key.updateRule) +
                            RuleClause("DELETE", key.deleteRule);
    // A key a deletion's block dropped comes back in that block (cancelled with it).
    const int previousBlock = dm_.BeginRecreateBlock(key.table, key.name);
    if (!created_ && !disabled && dm_.GetFkPendingData() == fpdDelete) {
      const int rounds = text::SameText(key.table, key.pkTable) ? SelfReferenceRounds(key, clientTable) : 1;
      DeleteOrphanRows(fkColumns, pkColumns, rounds);
    }
    dm_.AddInstruction(sql, false);
    if (disabled) dm_.AddInstruction(table + StateClause(key), false);
    dm_.EndRecreateBlock(previousBlock);
  }

  // How many times the orphan deletion of a self-referencing key must run for the children of
  // deleted rows to go too: read from the client's rows as they are now (one round when the
  // client lacks the table or its columns yet).
  int SelfReferenceRounds(const ForeignKey& key, const std::string& clientTable) {
    {
      WholeSetWalk walk(dm_.qDestTables);
      if (!Tdm::LocateRecord(dm_.qDestTables, "table_name", ado::Variant(clientTable), ado::loCaseInsensitive)) {
        return 1;
      }
    }
    const std::string prefix = dm_.GetDestTableSchemaPrefix(key.schema, clientTable);
    std::string columns;
    for (const KeyColumn& column : key.columns) {
      columns += dm_.QuoteName(ClientColumn(key.table, column.pkColumn)) + ", ";
    }
    for (const KeyColumn& column : key.columns) {
      columns += dm_.QuoteName(ClientColumn(key.table, column.column)) + ", ";
    }
    columns.resize(columns.size() - 2);
    const size_t width = key.columns.size();
    {
      WholeSetWalk walk(dm_.qDestColumns);
      for (const KeyColumn& column : key.columns) {
        for (const std::string& name : {ClientColumn(key.table, column.pkColumn), ClientColumn(key.table, column.column)}) {
          if (!Tdm::LocateRecord(dm_.qDestColumns, "table_name;column_name",
                                 ado::Variant(ado::VariantArray{clientTable, name}), ado::loCaseInsensitive)) {
            return 1;
          }
        }
      }
    }
    ado::TDataSet rows;
    rows.SetConnection(&dm_.ac);
    rows.SetCommandText("SELECT " + columns + " FROM " + prefix + dm_.QuoteName(clientTable));
    rows.Open();
    struct Row {
      std::string own, parent;
      bool hasParent;
    };
    std::vector<Row> all;
    std::multiset<std::string> present;
    for (rows.First(); !rows.Eof(); rows.Next()) {
      Row row{{}, {}, true};
      bool ownComplete = true;
      for (size_t i = 0; i < width; ++i) {
        ownComplete = ownComplete && !rows.Fields(static_cast<int>(i)).IsNull();
        row.own += rows.Fields(static_cast<int>(i)).AsString() + '\x1f';
        const ado::TField& parent = rows.Fields(static_cast<int>(width + i));
        row.hasParent = row.hasParent && !parent.IsNull();
        row.parent += parent.AsString() + '\x1f';
      }
      if (ownComplete) present.insert(row.own);
      if (!ownComplete) row.own.clear();
      all.push_back(std::move(row));
    }
    int rounds = 0;
    for (;;) {
      std::vector<size_t> orphans;
      for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].hasParent && present.count(all[i].parent) == 0) orphans.push_back(i);
      }
      if (orphans.empty()) break;
      ++rounds;
      for (size_t i : orphans) {
        all[i].hasParent = false;
        if (!all[i].own.empty()) present.erase(present.find(all[i].own));
      }
    }
    return std::max(rounds, 1);
  }

  void DropSurplusKeys(const std::vector<ForeignKey>& master, std::vector<ForeignKey>& client) {
    Component().ProgressStepLevel1(Component().LanguageOptions().msgDeleting);
    std::set<std::string> masterKeys;
    for (const ForeignKey& key : master) masterKeys.insert(PairKey(key.table, key.name));
    const auto clientSystem = SystemTables(dm_.qDestTables);
    std::sort(client.begin(), client.end(), [](const ForeignKey& a, const ForeignKey& b) {
      if (const int c = text::CompareText(a.schema, b.schema); c != 0) return c < 0;
      if (const int c = text::CompareText(a.table, b.table); c != 0) return c < 0;
      return text::CompareText(a.name, b.name) < 0;
    });
    for (const ForeignKey& key : client) {
      const std::string table = dm_.NewTableName(key.table);
      const std::string pkTable = dm_.NewTableName(key.pkTable);
      if (clientSystem.count(key.table) > 0 || clientSystem.count(key.pkTable) > 0) continue;
      if (TableDroppedInRun(key.table) || TableDroppedInRun(key.pkTable)) continue;
      if (masterKeys.count(PairKey(table, key.name)) > 0) continue;
      const bool protectedColumn = std::any_of(key.columns.begin(), key.columns.end(), [&](const KeyColumn& c) {
        return dm_.HasProtectedPrefix(MasterColumn(key.table, c.column)) ||
               dm_.HasProtectedPrefix(MasterColumn(key.pkTable, c.pkColumn));
      });
      const bool kept = dm_.HasProtectedPrefix(table) || dm_.HasProtectedPrefix(pkTable) || protectedColumn;
      if (IsDropped(table, key.name)) {
        // Dropped earlier in this check (a copy of rows, a column change) though the master lacks
        // it: a key this step keeps comes back as the client had it.
        if (kept) RecreateClientKey(key, table, pkTable);
        continue;
      }
      if (kept) continue;
      DropConstraint(dm_.GetDestTableSchemaPrefix(key.schema, key.table), table, key.name);
    }
  }

  // A client key the master lacks, created again under the names its tables have after this
  // check's renames; it leaves the registry.
  void RecreateClientKey(const ForeignKey& clientKey, const std::string& table, const std::string& pkTable) {
    ForeignKey key = clientKey;
    key.table = table;
    key.pkTable = pkTable;
    AddKey(key, key.schema, clientKey.table);
    Forget(table, key.name);
  }

  // Queues the drop and records it in the registry.
  void DropConstraint(const std::string& prefix, const std::string& masterTable, const std::string& name) {
    dm_.AddInstruction("ALTER TABLE " + prefix + dm_.QuoteName(masterTable) + " DROP CONSTRAINT " + dm_.QuoteName(name),
                       false);
    if (!dm_.IsConstraintDropped(masterTable, name)) dm_.droppedConstraints_.emplace_back(masterTable, name);
  }

  // The dropped-constraint registry.
  bool IsDropped(const std::string& masterTable, const std::string& name) const {
    return dm_.IsConstraintDropped(masterTable, name);
  }

  void Forget(const std::string& masterTable, const std::string& name) { dm_.ForgetDroppedConstraint(masterTable, name); }

  // The master's defaults: the schema file's rows ("autoincrement" is an identity, no default);
  // by column also the columns' own defaults where the file has no row (a master that keeps no
  // default constraints lists none).
  std::vector<DefaultValue> MasterDefaults(bool byColumn) {
    const TOrvDbSchemaUpdater* updater = dm_.Updater;
    if (updater == nullptr) throw EEngineError("No updater registered for the check");
    ado::TDataSet set;
    const std::string file = schema_files::Load(set, vsiDefaultValues, updater->DirSchemas);
    std::vector<DefaultValue> values;
    std::set<std::string> columns;
    for (DefaultValue& value : ReadDefaults(set, "Schema file " + file)) {
      columns.insert(PairKey(value.table, value.column));
      if (text::SameText(text::Trim(value.text), "autoincrement") || text::Trim(value.text).empty()) continue;
      value.text = dm_.ClientDefaultText(value.text);
      values.push_back(std::move(value));
    }
    if (!byColumn || !dm_.qColumns.Active()) return values;
    WholeSetWalk walk(dm_.qColumns);
    const ado::TField& schema = RequiredField(dm_.qColumns, "table_schema", kColumnsFile);
    const ado::TField& table = RequiredField(dm_.qColumns, "table_name", kColumnsFile);
    const ado::TField& column = RequiredField(dm_.qColumns, "column_name", kColumnsFile);
    const ado::TField& defaultText = RequiredField(dm_.qColumns, "column_default", kColumnsFile);
    const ado::TField* identity = dm_.qColumns.FindField("is_identity");
    for (dm_.qColumns.First(); !dm_.qColumns.Eof(); dm_.qColumns.Next()) {
      const std::string value = text::Trim(defaultText.AsString());
      if (value.empty() || text::SameText(value, "autoincrement")) continue;
      if (identity != nullptr && !identity->IsNull() && identity->AsInteger() == 1) continue;
      if (columns.count(PairKey(table.AsString(), column.AsString())) > 0) continue;
      values.push_back({{}, schema.AsString(), table.AsString(), column.AsString(), value});
    }
    return values;
  }

  std::vector<DefaultValue> ClientDefaults() {
    ado::TDataSet set;
    set.SetConnection(&dm_.ac);
    dm_.OpenSchemaOf(vsiDefaultValues, ado::Variant(), set);
    return ReadDefaults(set, kClientDefaults);
  }

  bool SameDefaultText(const std::string& a, const std::string& b) const {
    return dm_.SameDefault(BareDefault(a), BareDefault(b));
  }

  // The client's defaults by table (case ignored), each table's in the order read.
  using DefaultsByTable = std::map<std::string, std::vector<DefaultValue*>, text::LessText>;

  DefaultValue* ClientDefaultOn(const DefaultsByTable& client, const std::string& table,
                                const std::string& column, const std::string& name = {}) {
    auto found = client.find(table);
    if (found == client.end()) return nullptr;
    for (DefaultValue* value : found->second) {
      if (name.empty() ? text::SameText(value->column, column) : text::SameText(value->name, name)) return value;
    }
    return nullptr;
  }

  void AddDefault(const DefaultValue& value, const std::string& name, const std::string& clientTable,
                  bool dropFirst) {
    const std::string prefix = dm_.GetDestTableSchemaPrefix(value.schema, clientTable);
    if (dropFirst) DropConstraint(prefix, value.table, name);
    dm_.AddInstruction("ALTER TABLE " + prefix + dm_.QuoteName(value.table) + " ADD CONSTRAINT " + dm_.QuoteName(name) +
                           " DEFAULT " + text::Trim(value.text) + " FOR " + dm_.QuoteName(value.column),
                       false);
    Forget(value.table, name);
  }

  // By the master's constraint name; another default on the column is dropped first.
  void UpdateDefaultByName(const DefaultValue& value, const DefaultsByTable& client) {
    const std::string clientTable = dm_.OldTableName(value.table);
    const std::string clientColumn = ClientColumn(value.table, value.column);
    if (IsDropped(value.table, value.name) || created_) {
      AddDefault(value, value.name, clientTable, false);
      return;
    }
    if (const DefaultValue* current = ClientDefaultOn(client, clientTable, clientColumn, value.name)) {
      if (!SameDefaultText(current->text, value.text)) AddDefault(value, value.name, clientTable, true);
      return;
    }
    const DefaultValue* other = ClientDefaultOn(client, clientTable, clientColumn);
    if (other != nullptr && !IsDropped(value.table, other->name)) {
      DropConstraint(other->schema.empty() ? std::string() : dm_.QuoteName(other->schema) + ".", value.table,
                     other->name);
    }
    AddDefault(value, value.name, clientTable, false);
  }

  // By column: a changed default keeps the client's constraint name; a new one takes the
  // master's, or "DF_" + table + "_" + column fitted to the server.
  void UpdateDefaultByColumn(const DefaultValue& value, const DefaultsByTable& client) {
    const std::string clientTable = dm_.OldTableName(value.table);
    const std::string clientColumn = ClientColumn(value.table, value.column);
    const std::string newName = value.name.empty() ? dm_.FitName("DF_", value.table + "_" + value.column) : value.name;
    const DefaultValue* current = created_ ? nullptr : ClientDefaultOn(client, clientTable, clientColumn);
    if (current == nullptr || IsDropped(value.table, current->name)) {
      AddDefault(value, newName, clientTable, false);
    } else if (!SameDefaultText(current->text, value.text)) {
      AddDefault(value, current->name, clientTable, true);
    }
  }

  Tdm& dm_;
  const bool created_;
};

bool Tdm::UpdateForeignKeys() { return ForeignKeysWork(*this).UpdateForeignKeys(); }

void Tdm::AddForeignKey(ado::TDataSet& aFkSet, const std::string& aSchema, const std::string& aFkName,
                        const std::string& aMasterTable, const std::string& aClientTable) {
  ForeignKeysWork(*this).AddForeignKey(aFkSet, aSchema, aFkName, aMasterTable, aClientTable);
}

void Tdm::DeleteOrphanRows(const std::vector<std::string>& aFkColumns, const std::vector<std::string>& aPkColumns,
                           int aRounds) {
  ForeignKeysWork(*this).DeleteOrphanRows(aFkColumns, aPkColumns, aRounds);
}

bool Tdm::SameForeignKeyDefinition(ado::TDataSet& aMasterSet, ado::TDataSet& aClientSet) {
  return ForeignKeysWork(*this).SameForeignKeyDefinition(aMasterSet, aClientSet);
}

bool Tdm::UpdateDefaultValues() {
  if (currentDialect_ == nullptr || !currentDialect_->DefaultAsConstraint) return true;
  if (!DefaultAsConstraint()) return UpdateDefaultValuesNamed();
  return ForeignKeysWork(*this).UpdateDefaultValues(false);
}

bool Tdm::UpdateDefaultValuesNamed() {
  if (currentDialect_ == nullptr || !currentDialect_->DefaultAsConstraint) return true;
  return ForeignKeysWork(*this).UpdateDefaultValues(true);
}
