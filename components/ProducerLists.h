// The producer's lists: renamed tables and fields, tables to clear and the copy list of table
// data. They travel with the schema files inside DirectivesFromProducer.xml and in the producer's
// settings file, written and read under a given XML element.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

#include "common/SchemionTypes.h"

// One table of the copy list: whose rows are extracted and how the updater copies them.
class TCopyDataElem {
 public:
  std::string TableName;
  std::string condition;  // row filter of the extraction, appended after " where "
  TCopyDataTreatment Treatment = cdtUnchange;
  std::string FieldToIncrement;
  bool CopyAutoInc = false;
};

// The copy list. Copying a list copies its items.
class TCopyData {
 public:
  TCopyData() = default;
  TCopyData(const TCopyData& other) { *this = other; }
  TCopyData& operator=(const TCopyData& other);

  // A new item at the end, owned by the list.
  TCopyDataElem& Add();
  // The item at aIndex; an index outside the list raises std::out_of_range.
  TCopyDataElem& Items(int aIndex) { return *items_.at(static_cast<size_t>(aIndex)); }
  const TCopyDataElem& Items(int aIndex) const { return *items_.at(static_cast<size_t>(aIndex)); }
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TCopyDataElem>> items_;
};

// The four lists of a producer, and their elements under a parent element.
class TProducerLists {
 public:
  std::vector<std::string> RenamedTables;
  std::vector<std::string> RenamedFields;
  std::vector<std::string> ClearTables;
  TCopyData CopyData;

  // Appends "RenamedTables", "RenamedFields", "ClearTables" (children "Table0", "Field0" ...) and
  // "CopyData" (children "Table0" ... with Condition, TableName, FieldToIncrement,
  // CopyDataTreatment, CopyAutoInc) to aElement.
  void WriteProducerSettings(pugi::xml_node aElement) const;
  // Empties the lists and reads them back from aElement's children, in document order and
  // whatever the children's names; a missing element gives an empty list. An unknown treatment
  // reads as cdtUnchange; CopyAutoInc is True exactly for "YES" (case ignored).
  void ReadProducerSettings(pugi::xml_node aElement);
};
