// The OLE DB schema rowsets the system asks providers for, with the columns (in order) and the
// restriction columns that OLE DB publishes for each.
#pragma once

#include <string>
#include <vector>

#include "platform/data/FieldDef.h"

namespace ado {

// ADO SchemaEnum values of the rowsets the system uses.
enum TSchemaInfo {
  siCatalogs = 1,
  siColumns = 4,
  siIndexes = 12,
  siProcedures = 16,
  siTables = 20,
  siPrimaryKeys = 28,
  siForeignKeys = 27,
  siTableConstraints = 10,
  siViews = 23,
};

// Column definitions of the rowset, in rowset order.
const FieldDefs& SchemaRowsetColumns(TSchemaInfo kind);
// Names of the restriction columns, in restriction-array order.
const std::vector<std::string>& SchemaRowsetRestrictions(TSchemaInfo kind);
// The rowset's name ("TABLES").
std::string SchemaRowsetName(TSchemaInfo kind);

}  // namespace ado
