// Writes parsed T-SQL expressions and queries as SQLite SQL: the shared translation with the
// server's tables (master's, INFORMATION_SCHEMA, owners), its functions (lookups on the
// catalogue and the session) and its variables.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "servers/core/Translator.h"
#include "servers/sqlserver/Ast.h"

namespace servers::sqlserver {

using servers::CastTarget;

class Translator : public QueryTranslator {
 public:
  // `database` is the current database; master's tables are reached as "master".
  // `variables` (not owned, may be null) maps the batch's variables to their values as SQL
  // literals.
  Translator(std::string database, bool inMaster,
             const std::map<std::string, std::string>* variables = nullptr)
      : QueryTranslator(std::move(database)), inMaster_(inMaster), variables_(variables) {}

  // The SQLite table or view behind a table name under the session's owner rules; empty when
  // there is none (the name is then used as written).
  using TableResolver = std::function<std::string(const ObjectName&)>;
  void SetResolver(TableResolver resolver) { resolver_ = std::move(resolver); }

  // The SQLite name of a table or view; raises error 208 for another database.
  std::string Table(const ObjectName& name) const override;

 protected:
  [[noreturn]] void Refuse(Refusal what, const std::string& name) const override;
  std::string Function(const Expr& e) const override;
  std::string Variable(const Expr& e) const override;
  DateKind FunctionDateKind(const Expr& e) const override;

 private:
  // True for an expression whose value is Unicode text: an N'' literal, a conversion to nchar,
  // nvarchar or ntext, or such a column.
  bool Unicode(const Expr& e) const;

  bool inMaster_;
  const std::map<std::string, std::string>* variables_;
  TableResolver resolver_;
};

}  // namespace servers::sqlserver
