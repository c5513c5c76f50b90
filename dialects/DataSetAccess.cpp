#include "dialects/DataSetAccess.h"

#include <algorithm>

#include "platform/data/Connection.h"
#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

namespace dialect_data {

namespace {

ado::TConnection& ConnectionOf(ado::TDataSet& dataSet) {
  ado::TConnection* connection = dataSet.Connection();
  if (connection == nullptr) throw ado::EDatabaseError("Data set has no connection");
  return *connection;
}

}  // namespace

ado::Variant FieldValue(ado::TDataSet& row, const std::string& name) {
  return row.FieldByName(name).Value();
}

std::string FieldText(ado::TDataSet& row, const std::string& name) {
  return row.FieldByName(name).AsString();
}

ado::Variant FieldValueAt(ado::TDataSet& row, int index) { return row.Fields(index).Value(); }

void CreateEmpty(ado::TDataSet& dataSet, const ado::FieldDefs& fields) {
  dataSet.Close();
  dataSet.FieldDefs() = fields;
  dataSet.CreateDataSet();
}

void AppendRow(ado::TDataSet& dataSet, const ado::Row& values) {
  dataSet.Append();
  const int count = std::min(dataSet.FieldCount(), static_cast<int>(values.size()));
  for (int i = 0; i < count; ++i) {
    if (!values[static_cast<size_t>(i)].IsNullOrEmpty()) {
      dataSet.Fields(i).SetValue(values[static_cast<size_t>(i)]);
    }
  }
  dataSet.Post();
}

void OpenQuery(ado::TDataSet& dataSet, const std::string& sql) {
  dataSet.Close();
  dataSet.SetCommandText(sql);
  dataSet.Open();
}

void OpenOleDbSchema(ado::TDataSet& dataSet, ado::TSchemaInfo kind, const ado::Variant& criteria) {
  dataSet.Close();
  ConnectionOf(dataSet).OpenSchema(kind, criteria, dataSet);
}

std::unique_ptr<ado::TDataSet> NewDataSetLike(ado::TDataSet& dataSet) {
  auto result = std::make_unique<ado::TDataSet>();
  result->SetConnection(&ConnectionOf(dataSet));
  return result;
}

std::unique_ptr<ado::TDataSet> NewDataSetOn(ado::TConnection& connection) {
  auto result = std::make_unique<ado::TDataSet>();
  result->SetConnection(&connection);
  return result;
}

bool IsOpen(ado::TDataSet& dataSet) { return dataSet.Active(); }
void Close(ado::TDataSet& dataSet) { dataSet.Close(); }
void First(ado::TDataSet& dataSet) { dataSet.First(); }
void Next(ado::TDataSet& dataSet) { dataSet.Next(); }
bool Eof(ado::TDataSet& dataSet) { return dataSet.Eof(); }
void Sort(ado::TDataSet& dataSet, const std::string& fields) { dataSet.SetSort(fields); }

}  // namespace dialect_data
