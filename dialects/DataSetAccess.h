// The few data-set and connection operations the dialects use, in one place: reading a field of
// the current row, building an in-memory rowset, opening a query or an OLE DB schema rowset.
#pragma once

#include <memory>
#include <string>

#include "platform/data/FieldDef.h"
#include "platform/data/SchemaRowsets.h"
#include "platform/data/Variant.h"

namespace ado {
class TConnection;
class TDataSet;
}  // namespace ado

namespace dialect_data {

// Value of the field `name` (case ignored) of the current row; a missing field raises the data
// set's field-not-found error.
ado::Variant FieldValue(ado::TDataSet& row, const std::string& name);
std::string FieldText(ado::TDataSet& row, const std::string& name);
// Value of the field at `index`, in field order.
ado::Variant FieldValueAt(ado::TDataSet& row, int index);

// Closes the data set, replaces its field definitions and creates it empty.
void CreateEmpty(ado::TDataSet& dataSet, const ado::FieldDefs& fields);
// Appends and posts one row, values in field order.
void AppendRow(ado::TDataSet& dataSet, const ado::Row& values);

// Closes the data set, sets its command text and opens it on its connection.
void OpenQuery(ado::TDataSet& dataSet, const std::string& sql);
// Closes the data set and opens the OLE DB schema rowset `kind` into it; `criteria` is empty or
// a variant array of restrictions.
void OpenOleDbSchema(ado::TDataSet& dataSet, ado::TSchemaInfo kind, const ado::Variant& criteria);
// A new closed data set on the same connection as `dataSet`.
std::unique_ptr<ado::TDataSet> NewDataSetLike(ado::TDataSet& dataSet);
// A new closed data set on `connection`.
std::unique_ptr<ado::TDataSet> NewDataSetOn(ado::TConnection& connection);

bool IsOpen(ado::TDataSet& dataSet);
void Close(ado::TDataSet& dataSet);
void First(ado::TDataSet& dataSet);
void Next(ado::TDataSet& dataSet);
bool Eof(ado::TDataSet& dataSet);
void Sort(ado::TDataSet& dataSet, const std::string& fields);

}  // namespace dialect_data
