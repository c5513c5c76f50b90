// Dialects for the classifier tests: an owner that answers one current dialect, and the dialect
// of each server kind.
#pragma once

#include <memory>

#include "dialects/uDbSpecific.h"

namespace classifier_test {

class OneDialectOwner : public IDialectOwner {
 public:
  TDatabaseSpecific* Dialect = nullptr;
  TDatabaseSpecific* CurrentDialect() const override { return Dialect; }
  void ReportError(TDbContext, const std::string&, const std::string&) override {}
  std::string BackupErrorText() const override { return {}; }
};

inline std::unique_ptr<TDatabaseSpecific> MakeDialect(TDbType kind, IDialectOwner* owner) {
  switch (kind) {
    case dbtAsa: return std::make_unique<TAsaSpecific>(owner);
    case dbtAccess: return std::make_unique<TAccessSpecific>(owner);
    default: return std::make_unique<TSqlServerSpecific>(owner);
  }
}

}  // namespace classifier_test
