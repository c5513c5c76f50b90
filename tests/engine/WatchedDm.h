// An engine whose dialect of one server notes the dialect operations the engine calls on it, so
// tests can check their order on each server.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/SchemionTypes.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDm.h"

namespace engine_test {

template <class Dialect>
class WatchedDialect : public Dialect {
 public:
  WatchedDialect(IDialectOwner* owner, std::vector<std::string>& calls) : Dialect(owner), calls_(calls) {}
  void GetDatabaseName(ado::TConnection& connection) override {
    calls_.push_back("GetDatabaseName " + EnumName(this->DbType));
    Dialect::GetDatabaseName(connection);
  }
  void GetDateFormat(ado::TConnection& connection) override {
    calls_.push_back("GetDateFormat");
    Dialect::GetDateFormat(connection);
  }

 private:
  std::vector<std::string>& calls_;
};

template <class Dialect, TDbType kKind>
class WatchedDm : public Tdm {
 public:
  std::vector<std::string> calls;
  WatchedDm() { ReplaceDialect(kKind, std::make_unique<WatchedDialect<Dialect>>(this, calls)); }
};

}  // namespace engine_test
