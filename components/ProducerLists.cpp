#include "components/ProducerLists.h"

#include "common/Text.h"
#include "components/XmlNodes.h"
#include "platform/xml/XmlDocument.h"

TCopyData& TCopyData::operator=(const TCopyData& other) {
  if (this == &other) return *this;
  std::vector<std::unique_ptr<TCopyDataElem>> items;
  items.reserve(other.items_.size());
  for (const auto& item : other.items_) items.push_back(std::make_unique<TCopyDataElem>(*item));
  items_ = std::move(items);
  return *this;
}

TCopyDataElem& TCopyData::Add() { return *items_.emplace_back(std::make_unique<TCopyDataElem>()); }

void TProducerLists::WriteProducerSettings(pugi::xml_node aElement) const {
  xmlnodes::WriteList(aElement, "RenamedTables", "Table", RenamedTables);
  xmlnodes::WriteList(aElement, "RenamedFields", "Field", RenamedFields);
  xmlnodes::WriteList(aElement, "ClearTables", "Table", ClearTables);
  // A list written twice stays one list: readers take the first element of the name.
  while (pugi::xml_node old = aElement.child("CopyData")) xmldoc::RemoveSubtree(old);
  pugi::xml_node copyData = aElement.append_child("CopyData");
  for (int i = 0; i < CopyData.Count(); ++i) {
    const TCopyDataElem& item = CopyData.Items(i);
    pugi::xml_node table = copyData.append_child(("Table" + std::to_string(i)).c_str());
    table.append_child("Condition").text().set(item.condition.c_str());
    table.append_child("TableName").text().set(item.TableName.c_str());
    table.append_child("FieldToIncrement").text().set(item.FieldToIncrement.c_str());
    table.append_child("CopyDataTreatment").text().set(EnumName(item.Treatment).c_str());
    table.append_child("CopyAutoInc").text().set(item.CopyAutoInc ? "YES" : "NO");
  }
}

void TProducerLists::ReadProducerSettings(pugi::xml_node aElement) {
  RenamedTables = xmlnodes::ReadList(aElement, "RenamedTables");
  RenamedFields = xmlnodes::ReadList(aElement, "RenamedFields");
  ClearTables = xmlnodes::ReadList(aElement, "ClearTables");
  CopyData.Clear();
  for (pugi::xml_node table : aElement.child("CopyData").children()) {
    if (table.type() != pugi::node_element) continue;
    TCopyDataElem& item = CopyData.Add();
    item.condition = xmlnodes::ChildText(table, "Condition");
    item.TableName = xmlnodes::ChildText(table, "TableName");
    item.FieldToIncrement = xmlnodes::ChildText(table, "FieldToIncrement");
    item.Treatment = xmlnodes::ReadEnum(table, "CopyDataTreatment", cdtUnchange);
    item.CopyAutoInc = text::SameText(xmlnodes::ChildText(table, "CopyAutoInc"), "YES");
  }
}
