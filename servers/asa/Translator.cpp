#include "servers/asa/Translator.h"

#include <set>

#include "common/Text.h"
#include "servers/asa/Errors.h"
#include "servers/core/Sqlite.h"

namespace servers::asa {

void Translator::Refuse(Refusal what, const std::string& name) const {
  switch (what) {
    case Refusal::DefaultValue:
      FailSyntax("DEFAULT", 1);
    case Refusal::OrderInUnion:
      FailSyntax("ORDER", 1);
    case Refusal::UnknownFunctionTable:
      break;
  }
  Fail(-141, "Table '" + name + "' not found");
}

std::string Translator::Variable(const Expr& e) const { Fail(-143, "Column '" + e.text + "' not found"); }

std::string Translator::Function(const Expr& e) const {
  std::string f = text::Lower(e.text);
  std::vector<std::string> a;
  for (const auto& arg : e.args)
    if (arg->kind != Expr::Star) a.push_back(Expression(*arg));
  auto arity = [&](size_t lo, size_t hi) {
    if (a.size() < lo || a.size() > hi) Fail(-154, "Wrong number of parameters to function '" + e.text + "'");
  };
  auto call = [&](const std::string& name) {
    std::string out = name + "(";
    if (e.distinct) out += "DISTINCT ";
    for (size_t i = 0; i < a.size(); ++i) out += (i ? ", " : "") + a[i];
    return out + ")";
  };
  if (f == "user_name" || f == "current user") {
    arity(0, 1);
    if (a.empty()) return SqlLiteral(user_);
    return "(SELECT user_name FROM SYSUSERPERM WHERE user_id = " + a[0] + ")";
  }
  if (f == "db_name" || f == "current database") {
    arity(0, 1);
    return SqlLiteral(database_);
  }
  if (f == "connection_property" || f == "property") {
    arity(1, 1);
    if (e.args[0]->kind != Expr::String) return "NULL";
    return SqlLiteral(property_(text::Lower(e.args[0]->text)));
  }
  if (f == "number") {
    if (!numbered_.empty())
      return "(SELECT count(*) FROM " + SqlIdent(numbered_) + " schm_n WHERE schm_n.rowid <= " + SqlIdent(alias_) +
             ".rowid)";
    return "row_number() OVER ()";
  }
  if (f == "substr" || f == "substring") {
    arity(2, 3);
    return call("substr");
  }
  if (f == "count" && e.args.size() == 1 && e.args[0]->kind == Expr::Star) return "count(*)";
  if (f == "isnull" || f == "ifnull") {
    arity(2, 2);
    return call("ifnull");
  }
  if (f == "length" || f == "char_length") {
    arity(1, 1);
    return call("length");
  }
  if (f == "left") {
    arity(2, 2);
    return "substr(" + a[0] + ", 1, " + a[1] + ")";
  }
  if (f == "right") {
    arity(2, 2);
    return "tsql_right(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "now" || f == "getdate" || f == "current timestamp") return "tsql_getdate()";
  if (f == "current utc timestamp") return "tsql_getutcdate()";
  if (f == "today" || f == "current date") return "date('now', 'localtime')";
  if (f == "newid") {
    arity(0, 0);
    return "tsql_newid()";
  }
  if (f == "current time") return "time('now', 'localtime')";
  if (f == "string") {
    std::string out;
    for (size_t i = 0; i < a.size(); ++i) out += (i ? " || " : "") + ("ifnull(" + a[i] + ", '')");
    return a.empty() ? "''" : out;
  }
  static const std::set<std::string> same = {"count", "sum", "avg", "min", "max", "upper", "lower", "ltrim",
                                             "rtrim", "trim", "abs", "round", "coalesce", "nullif", "replace",
                                             "ucase", "lcase"};
  if (same.count(f)) {
    if (f == "ucase") return call("upper");
    if (f == "lcase") return call("lower");
    return call(f);
  }
  Fail(-148, "Unknown function '" + e.text + "'");
}

}  // namespace servers::asa
