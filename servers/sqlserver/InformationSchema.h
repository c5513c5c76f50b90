// The INFORMATION_SCHEMA views of a database (TABLES, COLUMNS, VIEWS, ROUTINES,
// TABLE_CONSTRAINTS, KEY_COLUMN_USAGE, REFERENTIAL_CONSTRAINTS) with the columns SQL Server 2000
// gives them, as SQLite sub-queries over the catalogue.
#pragma once

#include <string>

namespace servers::sqlserver {

// "(SELECT ...)" for the view of that name (case ignored) in `database`; raises error 208 for a
// name that is no INFORMATION_SCHEMA view.
std::string InformationSchemaView(const std::string& name, const std::string& database);

}  // namespace servers::sqlserver
