#include "servers/access/Translator.h"

#include "common/Text.h"
#include "servers/access/Catalog.h"
#include "servers/access/JetError.h"
#include "servers/core/Sqlite.h"

namespace servers::access {

std::string JetTranslator::Table(const ObjectName& name) const {
  // The kind and the name as stored, in one look-up.
  Stmt q(db_, "SELECT type, name FROM msys_objects WHERE name = ?");
  q.Bind(1, name.name);
  const std::string type = q.Step() ? q.Text(0) : std::string();
  if (type != "TABLE" && type != "VIEW") NoInputTable(name.name);
  return SqlIdent(q.Text(1));
}

void JetTranslator::Refuse(Refusal, const std::string& name) const {
  JetFail(3075, "Syntax error (missing operator) in query expression '" + name + "'.");
}

// "&" joins texts, a Null taken as an empty text (Null only when both are).
std::string JetTranslator::Operator(const Expr& e) const {
  if (e.text == "&") return Chained(e, "jet_concat");
  return {};
}

std::string JetTranslator::Function(const Expr& e) const {
  const std::string f = text::Lower(e.text);
  std::vector<std::string> a;
  for (const auto& arg : e.args) a.push_back(Expression(*arg));
  auto arity = [&](size_t n) {
    if (a.size() != n)
      JetFail(3075, "Wrong number of arguments used with function in query expression '" + e.text + "'.");
  };
  if (f == "now") {
    arity(0);
    return "tsql_getdate()";
  }
  if (f == "date") {
    arity(0);
    return "(substr(tsql_getdate(), 1, 10) || ' 00:00:00.000')";
  }
  if (f == "ucase" || f == "lcase") {
    arity(1);
    return (f == "ucase" ? "upper(" : "lower(") + a[0] + ")";
  }
  if (f == "len") {
    arity(1);
    return "length(" + a[0] + ")";
  }
  if (f == "trim" || f == "ltrim" || f == "rtrim") {
    arity(1);
    return f + "(" + a[0] + ")";
  }
  if (f == "iif") {
    arity(3);
    return "(CASE WHEN " + a[0] + " THEN " + a[1] + " ELSE " + a[2] + " END)";
  }
  if (f == "nz") {
    if (a.size() == 1) return "ifnull(" + a[0] + ", 0)";
    arity(2);
    return "ifnull(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "abs") {
    arity(1);
    return "abs(" + a[0] + ")";
  }
  if (f == "isnull") {
    arity(1);
    return "(" + a[0] + " IS NULL)";
  }
  if (f == "count" || f == "sum" || f == "min" || f == "max" || f == "avg") {
    if (e.args.size() == 1 && e.args[0]->kind == Expr::Star) return f + "(*)";
    arity(1);
    return f + "(" + std::string(e.distinct ? "DISTINCT " : "") + a[0] + ")";
  }
  JetFail(3085, "Undefined function '" + e.text + "' in expression.");
}

std::string JetTranslator::Variable(const Expr& e) const {
  JetFail(3075, "Syntax error (missing operator) in query expression '" + e.text + "'.");
}

}  // namespace servers::access
