// The duplicate-key resolver: before a primary key or unique index is created it queues the
// statements that remove the rows which would break it, keeping one row of each duplicate group
// and pointing the rows that reference the others at the kept one. The engine data module owns one.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/data/Connection.h"
#include "platform/data/FieldDef.h"
#include "platform/data/Variant.h"

class Tdm;

// One column value of a row, with the type of the field it was read from (for its literal).
struct TNameValue {
  std::string Name;
  ado::Variant Value;
  ado::FieldType Type = ado::FieldType::ftString;
};

// One row of a duplicate group: its column values by name, case ignored. Adding a column that is
// already present does nothing.
class TSostCancElem {
 public:
  void Add(const std::string& aName, const ado::Variant& aValue, ado::FieldType aType);
  // nullptr when the row has no such column.
  const TNameValue* Find(const std::string& aName) const;
  void Clear() { values_.clear(); }

 private:
  std::vector<TNameValue> values_;  // sorted by upper-cased name
};

// The rows of the current group that are to be re-pointed from and deleted.
using TSostCancElemKo = std::vector<TSostCancElem>;

class TSostCanc {
 public:
  explicit TSostCanc(Tdm& owner) : Owner(owner) {}
  TSostCanc(const TSostCanc&) = delete;
  TSostCanc& operator=(const TSostCanc&) = delete;

  // Reads the client table `aClientTable` on `aConnection` and appends, for every group of rows
  // sharing the values of `aKeyColumns` (client names, key order), the statements that point the
  // rows referencing the group's other rows at its first row and delete the others. The
  // statements name the table and columns as they are when they run (`aMasterTable`, the
  // renamed columns). Nothing is queued without duplicates, or when a key column or the table is
  // missing in the client. Referencing tables of `aDroppedTables` that the master no longer has
  // are left alone.
  void Execute(ado::TConnection& aConnection, const std::string& aClientTable,
               const std::string& aMasterTable, bool aPrimaryKey,
               const std::vector<std::string>& aKeyColumns,
               const std::vector<std::string>& aDroppedTables);
  // Empties the kept row, the scratch row and the rows to delete.
  void Clear();
  // A check starts: no row is queued for deletion yet. Rows an earlier key of the same check
  // deletes take no part in a later key's groups (they neither stay nor make a group).
  void BeginCheck() { deletedRows_.clear(); }

  Tdm& Owner;  // the engine that made this resolver

 private:
  TSostCancElem kept_;
  TSostCancElem scratch_;
  TSostCancElemKo toDelete_;
  std::set<std::string> deletedRows_;  // table and identifying condition of each deleted row
};
