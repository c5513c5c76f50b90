// The parsed form of the queries and expressions the embedded servers understand: expressions,
// SELECT with its tables, joins and unions. Each server's parser builds it; its executor walks it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace servers {

struct Select;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum Kind {
    String, Number, Null, Column, Star, Variable, Unary, Binary, Func, Case, Cast, Subquery,
    Exists, InList, InSelect, Between, Like, IsNull, Paren, Default
  };
  Kind kind = Null;
  std::string text;                // literal value, operator, function name, cast type
  std::vector<std::string> names;  // column parts; qualifier of a star
  std::vector<ExprPtr> args;       // operands (CASE: operand or null, when/then pairs, else)
  std::unique_ptr<Select> select;
  bool negated = false;
  bool distinct = false;  // count(distinct x)
  bool hasElse = false;
  bool national = false;  // N'...': a Unicode string
  size_t begin = 0, end = 0;  // source span
};

struct TypeSpec {
  std::string name;  // lower case: int, nvarchar ...
  int length = -1;   // first argument or -1
  int scale = -1;    // second argument or -1
  bool max = false;
};

struct ObjectName {
  std::string server, db, owner, name;
  bool Empty() const { return name.empty(); }
};

struct TableRef {
  enum Kind { Named, Derived, Join };
  Kind kind = Named;
  ObjectName name;
  std::string alias;
  std::unique_ptr<Select> select;
  std::unique_ptr<TableRef> left, right;
  std::string joinType;  // "INNER", "LEFT", "RIGHT", "FULL", "CROSS"
  ExprPtr on;
  bool function = false;       // a table-valued function called in FROM
  std::vector<ExprPtr> args;   // its arguments
};

struct SelectItem {
  ExprPtr expr;
  std::string alias;
  std::string assignTo;  // SELECT @x = expression: the variable
};

struct OrderItem {
  ExprPtr expr;
  bool desc = false;
};

struct Select {
  bool distinct = false;
  ExprPtr top;
  bool topPercent = false;
  std::vector<SelectItem> items;
  std::vector<std::unique_ptr<TableRef>> from;
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
  struct Union {
    bool all = false;
    std::unique_ptr<Select> select;
  };
  std::vector<Union> unions;
  std::vector<OrderItem> orderBy;
  ObjectName into;  // SELECT ... INTO new_table
};

}  // namespace servers
