// Helpers of the dialect tests: an owner standing in for the engine, and a dialect whose type
// table is swapped for another server's (the other servers' dialect classes come later; their
// type tables are already here).
#pragma once

#include <string>
#include <vector>

#include "dialects/DataTypeTables.h"
#include "dialects/uDbSpecific.h"

struct ReportedError {
  TDbContext context;
  std::string description;
  std::string message;
};

class TestOwner : public IDialectOwner {
 public:
  TDatabaseSpecific* current = nullptr;
  std::vector<ReportedError> errors;

  TDatabaseSpecific* CurrentDialect() const override { return current; }
  void ReportError(TDbContext context, const std::string& description,
                   const std::string& message) override {
    errors.push_back({context, description, message});
  }
  std::string BackupErrorText() const override { return " *** BACKUP ERROR *** on file %s"; }
};

// A dialect object carrying the Adaptive Server Anywhere or Access type table and quote
// characters, for translation and quoting tests.
inline void UseAsaTypesAndQuotes(TDatabaseSpecific& dialect) {
  FillAsaDataTypes(dialect);
  dialect.QuoteOpen = "\"";
  dialect.QuoteClose = "\"";
  dialect.DbType = dbtAsa;
}

inline void UseAccessTypes(TDatabaseSpecific& dialect) {
  FillAccessDataTypes(dialect);
  dialect.DbType = dbtAccess;
}
