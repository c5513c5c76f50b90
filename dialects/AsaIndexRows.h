// The Adaptive Server Anywhere dialect's correction of the OLE DB INDEXES rowset: the provider
// names a primary key "<table> (primary key)" and reports neither clustering nor descending
// columns, which the dialect reads from the catalogue.
#pragma once

#include <string>

namespace ado {
class TDataSet;
}  // namespace ado

// What the correction asks the catalogue about one index.
class IAsaIndexFacts {
 public:
  virtual ~IAsaIndexFacts() = default;
  virtual bool PrimaryKeyClustered(const std::string& table) = 0;
  virtual bool IndexClustered(const std::string& table, const std::string& index) = 0;
  // The index's column list as the catalogue keeps it ("a ASC,b DESC"); empty when unknown.
  virtual std::string IndexColumnNames(const std::string& table, const std::string& index) = 0;
};

// 1 (ascending) or 2 (descending) for `column` in a column list "a ASC,b DESC": the entry whose
// name is the column (case ignored) decides; 1 when no entry names it.
int AsaIndexCollation(const std::string& colNames, const std::string& column);

// `result` gets the fields of `source` (an open INDEXES rowset) and is created empty; every row
// of a non-system owner is copied and corrected (primary-key name and flag, CLUSTERED,
// COLLATION). The result is left on its first row.
void CorrectAsaIndexRows(ado::TDataSet& source, ado::TDataSet& result, IAsaIndexFacts& facts);
