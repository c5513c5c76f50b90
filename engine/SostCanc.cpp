// The duplicate-key resolver. It reads the client directly (catalogue and rows) and only appends
// instructions: per duplicate group, the updates that point referencing rows at the row kept, then
// the delete of the other rows.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/Text.h"
#include "engine/CatalogScope.h"
#include "engine/uDm.h"

// ---- Rows ----

using catalog_scope::TextOf;

namespace {

bool NameLess(const TNameValue& value, const std::string& upperName) {
  return text::Upper(value.Name) < upperName;
}

}  // namespace

void TSostCancElem::Add(const std::string& aName, const ado::Variant& aValue, ado::FieldType aType) {
  const std::string upper = text::Upper(aName);
  const auto at = std::lower_bound(values_.begin(), values_.end(), upper, NameLess);
  if (at != values_.end() && text::Upper(at->Name) == upper) return;
  values_.insert(at, TNameValue{aName, aValue, aType});
}

const TNameValue* TSostCancElem::Find(const std::string& aName) const {
  const std::string upper = text::Upper(aName);
  const auto at = std::lower_bound(values_.begin(), values_.end(), upper, NameLess);
  return at != values_.end() && text::Upper(at->Name) == upper ? &*at : nullptr;
}

void TSostCanc::Clear() {
  kept_.Clear();
  scratch_.Clear();
  toDelete_.clear();
}

// ---- One run ----

namespace {

struct ClientColumn {
  std::string name;
  bool comparable = true;  // a long type cannot stand in a WHERE comparison on every server
  bool identity = false;
};

// A foreign key of another (or the same) client table that references the resolved table.
struct Referencing {
  std::string schema, table, name;
  std::vector<std::pair<std::string, std::string>> columns;  // fk column, referenced column
};

// The prefix of the key columns the joined read of the duplicate rows adds.
constexpr const char* kDuplicateKey = "orv_dup_key_";

const ClientColumn* FindColumn(const std::vector<ClientColumn>& columns, const std::string& name) {
  for (const ClientColumn& column : columns) {
    if (text::SameText(column.name, name)) return &column;
  }
  return nullptr;
}

class Resolver {
 public:
  Resolver(Tdm& dm, ado::TConnection& connection, const std::string& clientTable,
           const std::string& masterTable)
      : dm_(dm), connection_(connection), clientTable_(clientTable), masterTable_(masterTable) {}

  // False when the table or a key column is missing in the client.
  bool ReadTable(const std::vector<std::string>& keyColumns);
  // The duplicate groups: one row per group, its key values.
  void OpenGroups(ado::TDataSet& groups, const std::vector<std::string>& keyColumns);
  void ReadIdentifyingColumns();
  void ReadReferencing(const std::vector<std::string>& droppedTables);
  // The rows of the group the groups set stands on, all columns, in the server's order.
  void OpenGroupRows(ado::TDataSet& rows, ado::TDataSet& groups,
                     const std::vector<std::string>& keyColumns);
  // Every row of every group without a null key value in one read: all columns, after the
  // group's own key values as kDuplicateKey + position.
  void OpenDuplicateRows(ado::TDataSet& rows, const std::vector<std::string>& keyColumns);
  // The key values of the current row of a set (fields by name, or kDuplicateKey + position),
  // as one text telling groups apart exactly; `hasNull` tells whether one of them is null.
  std::string GroupKey(ado::TDataSet& set, const std::vector<std::string>& keyColumns, bool joined,
                       bool& hasNull) const;
  // The statements of one group, appended together or (when a value has no literal on the
  // client's server) not at all; the failure is then reported and the server will refuse the key.
  bool QueueGroup(const TSostCancElem& kept, const TSostCancElemKo& toDelete);
  // The table and the condition that tells the row apart, as the deleted rows are remembered.
  std::string Identity(const TSostCancElem& row) const {
    return text::Upper(masterTable_) + '\x1f' + RowCondition(row, identifying_);
  }

  const std::vector<ClientColumn>& Columns() const { return columns_; }

 private:
  void Query(ado::TDataSet& set, const std::string& sql) {
    set.Close();
    set.SetConnection(&connection_);
    set.SetCommandText(sql);
    set.Open();
  }
  std::string Literal(const TNameValue& value) const {
    return dm_.VariantToSql(value.Value, value.Type, value.Name);
  }
  // name = literal, or name IS NULL.
  std::string Condition(const std::string& quotedName, const TNameValue& value) const {
    if (value.Value.IsNullOrEmpty()) return quotedName + " IS NULL";
    return quotedName + " = " + Literal(value);
  }
  // The columns' condition for one row, columns under the names they have when it runs.
  std::string RowCondition(const TSostCancElem& row, const std::vector<std::string>& columns) const;
  std::string NewColumn(const std::string& table, const std::string& column) const {
    std::string newColumn, newTable;
    dm_.NewFieldName(table, column, newColumn, newTable);
    return dm_.QuoteName(newColumn);
  }
  void QueueRepoint(const Referencing& key, const TSostCancElem& kept, const TSostCancElemKo& toDelete);
  void QueueReinsert(const TSostCancElem& kept);
  std::string Target() const { return prefix_ + dm_.QuoteName(masterTable_); }

  Tdm& dm_;
  ado::TConnection& connection_;
  const std::string clientTable_, masterTable_;
  std::string prefix_;
  std::vector<ClientColumn> columns_;
  std::vector<std::string> identifying_;
  std::vector<std::string> pending_;  // the current group's statements
  std::vector<Referencing> referencing_;
};

bool Resolver::ReadTable(const std::vector<std::string>& keyColumns) {
  ado::TDataSet set;
  set.SetConnection(&connection_);
  const ado::Variant restriction(ado::VariantArray{ado::Variant::Null(), ado::Variant::Null(), clientTable_});
  dm_.OpenSchemaOf(vsiTables, restriction, set);
  if (!set.Active() || set.IsEmpty()) return false;
  const std::string schema = TextOf(set, "table_schema");
  prefix_ = schema.empty() ? std::string() : dm_.QuoteName(schema) + ".";
  dm_.OpenSchemaOf(vsiColumns, restriction, set);
  for (set.First(); set.Active() && !set.Eof(); set.Next()) {
    if (!text::SameText(TextOf(set, "table_name"), clientTable_)) continue;
    ClientColumn column;
    column.name = TextOf(set, "column_name");
    column.comparable = !dm_.IsLongDataType(set);
    column.identity = TextOf(set, "is_identity") == "1";
    columns_.push_back(column);
  }
  for (const std::string& key : keyColumns) {
    if (FindColumn(columns_, key) == nullptr) return false;
  }
  return true;
}

void Resolver::OpenGroups(ado::TDataSet& groups, const std::vector<std::string>& keyColumns) {
  std::vector<std::string> quoted;
  for (const std::string& key : keyColumns) quoted.push_back(dm_.QuoteName(key));
  const std::string list = text::Join(quoted, ", ");
  Query(groups, "select count(*) as totali, " + list + " from " + prefix_ +
                    dm_.QuoteName(clientTable_) + " group by " + list + " having count(*) > 1");
}

void Resolver::ReadIdentifyingColumns() {
  // The client's current primary key tells rows apart; without one (or over a long column) every
  // comparable column does, and rows equal in all of them are told apart by count.
  ado::TDataSet keys;
  keys.SetConnection(&connection_);
  dm_.OpenSchemaOf(vsiPrimaryKeys, ado::Variant(), keys);
  std::vector<std::pair<int64_t, std::string>> primary;
  for (keys.First(); keys.Active() && !keys.Eof(); keys.Next()) {
    if (!text::SameText(TextOf(keys, "table_name"), clientTable_)) continue;
    primary.emplace_back(keys.FieldByName("ordinal").AsInteger(), TextOf(keys, "column_name"));
  }
  std::sort(primary.begin(), primary.end());
  bool usable = !primary.empty();
  for (const auto& entry : primary) {
    const ClientColumn* column = FindColumn(columns_, entry.second);
    usable = usable && column != nullptr && column->comparable;
  }
  if (usable) {
    for (const auto& entry : primary) identifying_.push_back(entry.second);
    return;
  }
  for (const ClientColumn& column : columns_) {
    if (column.comparable) identifying_.push_back(column.name);
  }
}

void Resolver::ReadReferencing(const std::vector<std::string>& droppedTables) {
  ado::TDataSet keys;
  keys.SetConnection(&connection_);
  dm_.OpenSchemaOf(vsiForeignKeys, ado::Variant(), keys);
  if (!keys.Active()) return;
  keys.SetSort("fk_table_name;fk_name;ordinal");
  for (keys.First(); !keys.Eof(); keys.Next()) {
    if (!text::SameText(TextOf(keys, "pk_table_name"), clientTable_)) continue;
    const std::string table = TextOf(keys, "fk_table_name");
    // A referencing table dropped in this check has no rows left to point anywhere; one that is
    // rebuilt (or renamed) is in the same list but keeps its rows under the master's name.
    if (text::ContainsText(droppedTables, table) &&
        !Tdm::LocateRecord(dm_.qTables, "table_name", ado::Variant(dm_.NewTableName(table)),
                           ado::loCaseInsensitive)) {
      continue;
    }
    const std::string name = TextOf(keys, "fk_name");
    if (referencing_.empty() || !text::SameText(referencing_.back().table, table) ||
        !text::SameText(referencing_.back().name, name)) {
      referencing_.push_back({TextOf(keys, "fk_table_schema"), table, name, {}});
    }
    referencing_.back().columns.emplace_back(TextOf(keys, "fk_column_name"), TextOf(keys, "pk_column_name"));
  }
}

void Resolver::OpenGroupRows(ado::TDataSet& rows, ado::TDataSet& groups,
                             const std::vector<std::string>& keyColumns) {
  std::vector<std::string> conditions, all;
  for (const std::string& key : keyColumns) {
    const ado::TField& field = groups.FieldByName(key);
    conditions.push_back(Condition(dm_.QuoteName(key), TNameValue{key, field.Value(), field.DataType()}));
  }
  for (const ClientColumn& column : columns_) all.push_back(dm_.QuoteName(column.name));
  Query(rows, "select " + text::Join(all, ", ") + " from " + prefix_ + dm_.QuoteName(clientTable_) +
                  " where " + text::Join(conditions, " and "));
}

void Resolver::OpenDuplicateRows(ado::TDataSet& rows, const std::vector<std::string>& keyColumns) {
  std::vector<std::string> keys, on, all;
  for (size_t i = 0; i < keyColumns.size(); ++i) {
    const std::string column = dm_.QuoteName(keyColumns[i]);
    keys.push_back(column);
    on.push_back("t." + column + " = d." + column);
    all.push_back("d." + column + " as " + kDuplicateKey + std::to_string(i + 1));
  }
  for (const ClientColumn& column : columns_) all.push_back("t." + dm_.QuoteName(column.name));
  const std::string table = prefix_ + dm_.QuoteName(clientTable_);
  const std::string list = text::Join(keys, ", ");
  Query(rows, "select " + text::Join(all, ", ") + " from " + table + " as t inner join (select " + list +
                  " from " + table + " group by " + list + " having count(*) > 1) as d on " +
                  text::Join(on, " and "));
}

std::string Resolver::GroupKey(ado::TDataSet& set, const std::vector<std::string>& keyColumns, bool joined,
                               bool& hasNull) const {
  std::string key;
  hasNull = false;
  for (size_t i = 0; i < keyColumns.size(); ++i) {
    const ado::TField& field =
        joined ? set.FieldByName(kDuplicateKey + std::to_string(i + 1)) : set.FieldByName(keyColumns[i]);
    hasNull = hasNull || field.IsNull();
    key += (field.IsNull() ? std::string("null") : dm_.VariantToSql(field.Value(), field.DataType(), keyColumns[i]));
    key += '\x1f';
  }
  return key;
}

std::string Resolver::RowCondition(const TSostCancElem& row, const std::vector<std::string>& columns) const {
  std::vector<std::string> parts;
  for (const std::string& column : columns) {
    const TNameValue* value = row.Find(column);
    if (value != nullptr) parts.push_back(Condition(NewColumn(clientTable_, column), *value));
  }
  return "(" + text::Join(parts, " and ") + ")";
}

void Resolver::QueueRepoint(const Referencing& key, const TSostCancElem& kept,
                            const TSostCancElemKo& toDelete) {
  std::vector<std::string> sets, conditions;
  for (const auto& [fkColumn, pkColumn] : key.columns) {
    const TNameValue* value = kept.Find(pkColumn);
    if (value == nullptr || value->Value.IsNullOrEmpty()) return;
    sets.push_back(NewColumn(key.table, fkColumn) + " = " + Literal(*value));
  }
  for (const TSostCancElem& row : toDelete) {
    std::vector<std::string> parts;
    bool differs = false;
    for (const auto& [fkColumn, pkColumn] : key.columns) {
      const TNameValue* value = row.Find(pkColumn);
      // A row without a value there is referenced by no row.
      if (value == nullptr || value->Value.IsNullOrEmpty()) {
        parts.clear();
        break;
      }
      differs = differs || Literal(*value) != Literal(*kept.Find(pkColumn));
      parts.push_back(NewColumn(key.table, fkColumn) + " = " + Literal(*value));
    }
    const std::string condition = "(" + text::Join(parts, " and ") + ")";
    if (differs && !parts.empty() &&
        std::find(conditions.begin(), conditions.end(), condition) == conditions.end()) {
      conditions.push_back(condition);
    }
  }
  if (conditions.empty()) return;
  const std::string prefix = key.schema.empty() ? std::string() : dm_.QuoteName(key.schema) + ".";
  pending_.push_back("update " + prefix + dm_.QuoteName(dm_.NewTableName(key.table)) + " set " +
                     text::Join(sets, ", ") + " where " + text::Join(conditions, " or "));
}

void Resolver::QueueReinsert(const TSostCancElem& kept) {
  // Rows equal to the kept one in every identifying column cannot be told apart: all of them go
  // and the kept row is written back as it was read.
  std::vector<std::string> names, values;
  bool identity = false;
  for (const ClientColumn& column : columns_) {
    const TNameValue* value = kept.Find(column.name);
    if (value == nullptr) continue;
    identity = identity || column.identity;
    names.push_back(NewColumn(clientTable_, column.name));
    values.push_back(value->Value.IsNullOrEmpty() ? std::string("null") : Literal(*value));
  }
  TDatabaseSpecific* dialect = dm_.CurrentDialect();
  const std::string on = identity && dialect != nullptr ? dialect->GetIdentityInsertOnSql(Target()) : std::string();
  const std::string off = identity && dialect != nullptr ? dialect->GetIdentityInsertOffSql(Target()) : std::string();
  pending_.push_back("delete from " + Target() + " where " + RowCondition(kept, identifying_));
  if (!on.empty()) pending_.push_back(on);
  pending_.push_back("insert into " + Target() + " (" + text::Join(names, ", ") + ") values (" +
                     text::Join(values, ", ") + ")");
  if (!off.empty()) pending_.push_back(off);
}

bool Resolver::QueueGroup(const TSostCancElem& kept, const TSostCancElemKo& toDelete) {
  pending_.clear();
  try {
    for (const Referencing& key : referencing_) QueueRepoint(key, kept, toDelete);
    const std::string keptCondition = RowCondition(kept, identifying_);
    std::vector<std::string> conditions;
    bool twinOfKept = false;
    for (const TSostCancElem& row : toDelete) {
      const std::string condition = RowCondition(row, identifying_);
      if (condition == keptCondition) {
        twinOfKept = true;
      } else if (std::find(conditions.begin(), conditions.end(), condition) == conditions.end()) {
        conditions.push_back(condition);
      }
    }
    if (!conditions.empty()) {
      pending_.push_back("delete from " + Target() + " where " + text::Join(conditions, " or "));
    }
    if (twinOfKept) QueueReinsert(kept);
  } catch (const EEngineError& e) {
    dm_.ReportError(dbcCheckDb, "Duplicate rows of table " + clientTable_ + " left as they are", e.what());
    return false;
  }
  for (const std::string& sql : pending_) dm_.AddInstruction(sql, false);
  return true;
}

void FillRow(TSostCancElem& row, ado::TDataSet& rows) {
  row.Clear();
  for (int f = 0; f < rows.FieldCount(); ++f) {
    const ado::TField& field = rows.Fields(f);
    if (field.FieldName().rfind(kDuplicateKey, 0) == 0) continue;
    row.Add(field.FieldName(), field.Value(), field.DataType());
  }
}

// One duplicate group: its rows in the server's order.
struct Group {
  std::vector<TSostCancElem> rows;
  bool joined = false;  // its rows come from the one joined read
  bool usable = true;   // its key values have literals
};

}  // namespace

void TSostCanc::Execute(ado::TConnection& aConnection, const std::string& aClientTable,
                        const std::string& aMasterTable, bool aPrimaryKey,
                        const std::vector<std::string>& aKeyColumns,
                        const std::vector<std::string>& aDroppedTables) {
  (void)aPrimaryKey;  // both kinds are told apart by the client's current key, when it has one
  Clear();
  if (!aConnection.Connected() || aClientTable.empty() || aMasterTable.empty() || aKeyColumns.empty()) {
    return;
  }
  Resolver resolver(Owner, aConnection, aClientTable, aMasterTable);
  if (!resolver.ReadTable(aKeyColumns)) return;
  ado::TDataSet groups, rows;
  resolver.OpenGroups(groups, aKeyColumns);
  if (groups.IsEmpty()) return;
  resolver.ReadIdentifyingColumns();
  resolver.ReadReferencing(aDroppedTables);
  std::vector<Group> list;
  std::unordered_map<std::string, size_t> byKey;
  bool anyJoined = false;
  for (groups.First(); !groups.Eof(); groups.Next()) {
    Group group;
    try {
      bool hasNull = false;
      const std::string key = resolver.GroupKey(groups, aKeyColumns, false, hasNull);
      // A null never matches in a join: such a group is read on its own.
      group.joined = !hasNull;
      if (group.joined) byKey.emplace(key, list.size());
    } catch (const EEngineError& e) {
      group.usable = false;
      Owner.ReportError(dbcCheckDb, "Duplicate rows of table " + aClientTable + " left as they are", e.what());
    }
    anyJoined = anyJoined || group.joined;
    list.push_back(std::move(group));
  }
  if (anyJoined) {
    try {
      resolver.OpenDuplicateRows(rows, aKeyColumns);
      for (rows.First(); !rows.Eof(); rows.Next()) {
        bool hasNull = false;
        const auto found = byKey.find(resolver.GroupKey(rows, aKeyColumns, true, hasNull));
        if (found == byKey.end()) continue;
        FillRow(scratch_, rows);
        list[found->second].rows.push_back(scratch_);
      }
    } catch (const std::exception&) {
      // A server without that read: every group is read on its own.
      for (Group& group : list) {
        group.joined = false;
        group.rows.clear();
      }
    }
  }
  size_t index = 0;
  for (groups.First(); !groups.Eof(); groups.Next(), ++index) {
    Group& group = list[index];
    if (!group.usable) continue;
    if (!group.joined) {
      resolver.OpenGroupRows(rows, groups, aKeyColumns);
      for (rows.First(); !rows.Eof(); rows.Next()) {
        FillRow(scratch_, rows);
        group.rows.push_back(scratch_);
      }
    }
    try {
      std::erase_if(group.rows, [&](const TSostCancElem& row) { return deletedRows_.count(resolver.Identity(row)) > 0; });
    } catch (const EEngineError&) {
      continue;  // reported with the group's key
    }
    if (group.rows.size() < 2) continue;
    Clear();
    kept_ = group.rows.front();
    toDelete_.assign(group.rows.begin() + 1, group.rows.end());
    if (!resolver.QueueGroup(kept_, toDelete_)) continue;
    for (const TSostCancElem& row : toDelete_) deletedRows_.insert(resolver.Identity(row));
  }
  Clear();
}
