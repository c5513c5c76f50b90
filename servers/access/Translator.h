// Jet's expressions and queries written as SQLite SQL: tables by the catalogue (an unknown one
// is Jet's 3078), Jet's functions, no variables.
#pragma once

#include <sqlite3.h>

#include <string>

#include "servers/core/Translator.h"

namespace servers::access {

class JetTranslator : public QueryTranslator {
 public:
  explicit JetTranslator(sqlite3* db) : QueryTranslator(""), db_(db) {}
  std::string Table(const ObjectName& name) const override;

 protected:
  [[noreturn]] void Refuse(Refusal what, const std::string& name) const override;
  std::string Function(const Expr& e) const override;
  std::string Variable(const Expr& e) const override;
  std::string Operator(const Expr& e) const override;

 private:
  sqlite3* db_;
};

}  // namespace servers::access
