// Writes parsed expressions and queries as SQLite SQL over a server's catalogue and user tables:
// names are requoted, "+" becomes the add-or-concatenate function, conversions and date
// comparisons go through the shared functions, TOP becomes LIMIT. Each server names its tables,
// its functions and its variables, and gives its own refusals.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "servers/core/Ast.h"

namespace servers {

class QueryTranslator {
 public:
  explicit QueryTranslator(std::string database) : database_(std::move(database)) {}
  virtual ~QueryTranslator() = default;

  // The SQLite query of an inline table-valued function called with these arguments (SQLite
  // expressions); empty when there is no such function.
  using FunctionResolver = std::function<std::string(const ObjectName&, const std::vector<std::string>&)>;
  void SetFunctionResolver(FunctionResolver resolver) { functionResolver_ = std::move(resolver); }

  std::string Expression(const Expr& e) const;
  // An expression of an UPDATE or DELETE, whose columns are those of its target and FROM list.
  std::string StatementExpression(const Expr& e, const ObjectName& target,
                                  const std::vector<std::unique_ptr<TableRef>>& from) const;
  std::string Query(const Select& s) const;
  std::string From(const TableRef& t) const;
  // The SQLite name of a table or view, quoted.
  virtual std::string Table(const ObjectName& name) const = 0;

  // The type a table's column holds (as the server names it, lower case); empty when unknown.
  using ColumnTypeResolver = std::function<std::string(const ObjectName& table, const std::string& column)>;
  void SetColumnTypeResolver(ColumnTypeResolver resolver) { columnType_ = std::move(resolver); }
  // The type a variable holds (name lower case, as the server names types); empty when unknown.
  using VariableTypeResolver = std::function<std::string(const std::string& variable)>;
  void SetVariableTypeResolver(VariableTypeResolver resolver) { variableType_ = std::move(resolver); }
  // SET ANSI_NULLS: while off, "= NULL" and "<> NULL" test for NULL.
  void SetAnsiNulls(bool on) { ansiNulls_ = on; }

 protected:
  // What the shared translation refuses: DEFAULT used as a value, ORDER BY or TOP inside a
  // UNION's member, an unknown table-valued function (named).
  enum class Refusal { DefaultValue, OrderInUnion, UnknownFunctionTable };
  // Raises the server's error; never returns.
  virtual void Refuse(Refusal what, const std::string& name) const = 0;
  // A call of a function in the server's terms.
  virtual std::string Function(const Expr& e) const = 0;
  // The value of a variable (@x) or a global (@@x).
  virtual std::string Variable(const Expr& e) const = 0;

  [[noreturn]] void Refused(Refusal what, const std::string& name) const {
    Refuse(what, name);
    std::terminate();  // a server's Refuse always raises
  }

  // Whether a value is of a date type: known to be, known not to be, or known only at run time.
  enum class DateKind { Date, NotDate, Unknown };
  DateKind DateKindOf(const Expr& e) const;
  // The same for a function call, by the server's functions.
  virtual DateKind FunctionDateKind(const Expr&) const { return DateKind::Unknown; }
  // A binary operator of the server's own meaning, written; empty where the shared one holds.
  virtual std::string Operator(const Expr&) const { return {}; }
  // A chain of one operator (a & b & c ...) as one call of `function` with every operand.
  std::string Chained(const Expr& e, const std::string& function) const;

  // The type of the column a reference reads, found among the tables of the query being written
  // (its own first, then the enclosing ones'); empty when unknown.
  std::string ColumnType(const Expr& column) const;

  std::string database_;

 private:
  std::string CompareSide(const Expr& x, const Expr& other) const;
  std::string NullComparison(const Expr& l, const Expr& r, bool equal) const;
  // `side` (one of the operands of the arithmetic `operation`) written.
  std::string ArithmeticSide(const Expr& operation, const Expr& side) const;

  std::string Core(const Select& s) const;
  std::string WrapJoin(const TableRef& t) const;
  FunctionResolver functionResolver_;
  ColumnTypeResolver columnType_;
  VariableTypeResolver variableType_;
  bool ansiNulls_ = true;
  // The FROM lists of the queries being written, outermost first.
  using Scope = std::vector<std::unique_ptr<TableRef>>;
  mutable std::vector<const Scope*> scopes_;
  // Keeps `scope` in scope while it lives.
  struct InScope {
    InScope(std::vector<const Scope*>& scopes, const Scope& scope) : scopes_(scopes) { scopes_.push_back(&scope); }
    ~InScope() { scopes_.pop_back(); }
    InScope(const InScope&) = delete;
    InScope& operator=(const InScope&) = delete;
    std::vector<const Scope*>& scopes_;
  };
};

// The tables and views a FROM item names, joins walked (not derived tables or table-valued
// functions), in order.
void NamedTables(const TableRef& t, std::vector<const TableRef*>& out);

// SQLite column type for a cast target.
std::string CastTarget(const std::string& typeName);

}  // namespace servers
