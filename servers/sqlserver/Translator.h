// Writes parsed T-SQL expressions and queries as SQLite SQL over the catalogue and user tables:
// names are requoted, server functions become SQLite functions or sub-queries on the
// catalogue, "+" becomes the server's add-or-concatenate, TOP becomes LIMIT.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "servers/sqlserver/Ast.h"

namespace servers::sqlserver {

class Translator {
 public:
  // `database` is the current database; master's tables are reached as "master".
  // `variables` (not owned, may be null) maps the batch's variables to their values as SQL
  // literals.
  Translator(std::string database, bool inMaster,
             const std::map<std::string, std::string>* variables = nullptr)
      : database_(std::move(database)), inMaster_(inMaster), variables_(variables) {}

  // The SQLite table or view behind a table name under the session's owner rules; empty when
  // there is none (the name is then used as written).
  using TableResolver = std::function<std::string(const ObjectName&)>;
  void SetResolver(TableResolver resolver) { resolver_ = std::move(resolver); }
  // The SQLite query of an inline table-valued function called with these arguments (SQLite
  // expressions); empty when there is no such function.
  using FunctionResolver = std::function<std::string(const ObjectName&, const std::vector<std::string>&)>;
  void SetFunctionResolver(FunctionResolver resolver) { functionResolver_ = std::move(resolver); }

  std::string Expression(const Expr& e) const;
  std::string Query(const Select& s) const;
  // The SQLite name of a table or view; raises error 208 for another database.
  std::string Table(const ObjectName& name) const;
  std::string From(const TableRef& t) const;

 private:
  std::string Function(const Expr& e) const;
  std::string CompareSide(const Expr& x, const Expr& other) const;
  std::string Core(const Select& s) const;
  std::string WrapJoin(const TableRef& t) const;
  std::string database_;
  bool inMaster_;
  const std::map<std::string, std::string>* variables_;
  TableResolver resolver_;
  FunctionResolver functionResolver_;
};

// SQLite column type for a cast target.
std::string CastTarget(const std::string& typeName);

}  // namespace servers::sqlserver
