#include "servers/core/Translator.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <set>

#include "servers/core/Functions.h"
#include "servers/core/Sqlite.h"

namespace servers {

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A literal that the server would read as a date when the other side is a datetime:
// "12/31/2020", "2020-12-31 10:00:00", "20201231 10:00", "Mar 15 2004 9:30AM" and the like (out
// of range or not in every date order, but written as a date).
bool DateShaped(const std::string& t) {
  if (t.size() < 6 || t.size() > 40) return false;
  std::string converted;
  const int error = ConvertDateTime(t, "mdy", converted);
  return error == 0 || error == 242;
}

// "0x0102" is binary, two bytes; "0x" an empty binary; an odd digit count gets a leading 0.
std::string NumberLiteral(const std::string& text) {
  if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return text;
  std::string digits = text.substr(2);
  if (digits.size() % 2) digits.insert(digits.begin(), '0');
  return "X'" + digits + "'";
}

bool IsHex(const Expr& e) {
  return e.kind == Expr::Number && e.text.size() >= 2 && (e.text[1] == 'x' || e.text[1] == 'X');
}

// An expression whose value is a number by its form: a decimal literal, or arithmetic.
bool NumericShaped(const Expr& e) {
  static const std::set<std::string> arithmetic = {"&", "|", "^", "-", "*", "/", "%", "+"};
  if (e.kind == Expr::Number) return !IsHex(e);
  if (e.kind == Expr::Paren || e.kind == Expr::Unary) return NumericShaped(*e.args[0]);
  if (e.kind == Expr::Binary && arithmetic.count(e.text))
    return e.text != "+" || NumericShaped(*e.args[0]) || NumericShaped(*e.args[1]);
  return false;
}

// A binary literal where a number is wanted (an operand of "&", or compared with "status &
// 0x80") converts to that number, as the server converts it.
std::string HexAsInteger(const std::string& text) {
  if (text.size() > 18) return NumberLiteral(text);  // past 8 bytes: no integer holds it
  return text.size() > 2 ? text : std::string("0");
}

bool TextOperand(const Expr& e) {
  return e.kind == Expr::String || e.kind == Expr::Variable ||
         (e.kind == Expr::Paren && TextOperand(*e.args[0]));
}

bool ColumnOperand(const Expr& e) {
  return e.kind == Expr::Column || (e.kind == Expr::Paren && ColumnOperand(*e.args[0]));
}

// " COLLATE TSQL_CI" when neither side is a column, whose own collation then decides.
std::string CollateOfValues(const Expr& l, const Expr& r) {
  if (ColumnOperand(l) || ColumnOperand(r)) return {};
  return std::string(" COLLATE ") + kCaseInsensitiveCollation;
}


}  // namespace

std::string CastTarget(const std::string& typeName) {
  std::string t = Lower(typeName);
  if (t == "int" || t == "bigint" || t == "smallint" || t == "tinyint" || t == "bit")
    return "INTEGER";
  if (t == "float" || t == "real" || t == "money" || t == "smallmoney" || t == "decimal" ||
      t == "numeric")
    return "REAL";
  if (t == "binary" || t == "varbinary" || t == "image") return "BLOB";
  return "TEXT";
}


std::string QueryTranslator::Expression(const Expr& e) const {
  switch (e.kind) {
    case Expr::String:
      return SqlLiteral(e.text);
    case Expr::Number:
      return NumberLiteral(e.text);
    case Expr::Null:
      return "NULL";
    case Expr::Default:
      Refused(Refusal::DefaultValue, "");
    case Expr::Column: {
      // Keep the last two parts: alias or table, and column.
      const auto& p = e.names;
      if (p.size() == 1) return SqlIdent(p[0]);
      return SqlIdent(p[p.size() - 2]) + "." + SqlIdent(p.back());
    }
    case Expr::Star:
      if (e.names.empty()) return "*";
      return SqlIdent(e.names.back()) + ".*";
    case Expr::Variable:
      return Variable(e);
    case Expr::Unary:
      if (e.text == "NOT") return "NOT " + Expression(*e.args[0]);
      return e.text + Expression(*e.args[0]);
    case Expr::Binary: {
      static const std::set<std::string> compare = {"=", "<>", "!=", "<", ">", "<=", ">="};
      const Expr& l = *e.args[0];
      const Expr& r = *e.args[1];
      if (compare.count(e.text)) {
        if (!ansiNulls_ && (e.text == "=" || e.text == "<>" || e.text == "!=")) {
          std::string loose = NullComparison(l, r, e.text == "=");
          if (!loose.empty()) return loose;
        }
        // Without a column to lend its collation, text compares by the server's default one.
        std::string collate = TextOperand(l) || TextOperand(r) ? CollateOfValues(l, r) : std::string();
        return "(" + CompareSide(l, r) + " " + e.text + " " + CompareSide(r, l) + collate + ")";
      }
      if (std::string own = Operator(e); !own.empty()) return own;
      if (e.text == "+") return Chained(e, "tsql_add");
      // Parenthesised as parsed: the server's precedence, not SQLite's, and shallow trees stay so.
      // A chain of one operator (a - b - c ...) nests no parentheses: SQLite groups it from the
      // left too.
      std::string left = ArithmeticSide(e, l);
      if (l.kind == Expr::Binary && l.text == e.text) left = left.substr(1, left.size() - 2);
      const std::string right = ArithmeticSide(e, r);
      if (e.text == "/" || e.text == "%") return "(" + left + " " + e.text + " tsql_nonzero(" + right + "))";
      return "(" + left + " " + e.text + " " + right + ")";
    }
    case Expr::Paren:
      return "(" + Expression(*e.args[0]) + ")";
    case Expr::Func:
      return Function(e);
    case Expr::Case: {
      std::string out = "CASE";
      if (e.args[0]) out += " " + Expression(*e.args[0]);
      size_t pairsEnd = e.args.size() - (e.hasElse ? 1 : 0);
      for (size_t i = 1; i + 1 < pairsEnd + 1 && i < pairsEnd; i += 2)
        out += " WHEN " + (e.args[0] ? CompareSide(*e.args[i], *e.args[0]) : Expression(*e.args[i])) + " THEN " +
               Expression(*e.args[i + 1]);
      if (e.hasElse) out += " ELSE " + Expression(*e.args.back());
      return out + " END";
    }
    case Expr::Cast: {
      std::string t = Lower(e.text);
      std::string inner = Expression(*e.args[0]);
      if (t == "datetime" || t == "smalldatetime") {
        if (e.args.size() > 1) return "tsql_datetime_style(" + inner + ", " + Expression(*e.args[1]) + ")";
        return "tsql_datetime(" + inner + ")";
      }
      if (t == "bit") return "tsql_bit(" + inner + ")";
      // Text that is no number fails the conversion (245), and integers must fit (8115).
      if (CastTarget(t) == "INTEGER" || CastTarget(t) == "REAL")
        return "tsql_tonum(" + inner + ", " + SqlLiteral(t) + ")";
      if (CastTarget(t) == "TEXT" && e.args.size() > 1)
        return "tsql_datestyle(tsql_str(" + inner + "), " + Expression(*e.args[1]) + ")";
      if (CastTarget(t) == "TEXT") return "tsql_str(" + inner + ")";
      return "CAST(" + inner + " AS " + CastTarget(t) + ")";
    }
    case Expr::Subquery:
      return "(" + Query(*e.select) + ")";
    case Expr::Exists:
      return "EXISTS (" + Query(*e.select) + ")";
    case Expr::InList: {
      std::string out = Expression(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (");
      for (size_t i = 1; i < e.args.size(); ++i) {
        if (i > 1) out += ", ";
        out += CompareSide(*e.args[i], *e.args[0]);
      }
      return out + ")";
    }
    case Expr::InSelect:
      return Expression(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (") + Query(*e.select) + ")";
    case Expr::Between:
      return Expression(*e.args[0]) + (e.negated ? " NOT BETWEEN " : " BETWEEN ") +
             CompareSide(*e.args[1], *e.args[0]) + " AND " + CompareSide(*e.args[2], *e.args[0]);
    case Expr::Like: {
      // Bracket sets ("[0-9]", "[^a]") are the server's own: such patterns, and patterns not
      // known until run time, match through tsql_like.
      if (e.args[1]->kind != Expr::String || e.args[1]->text.find('[') != std::string::npos) {
        std::string out = "tsql_like(" + Expression(*e.args[0]) + ", " + Expression(*e.args[1]);
        if (e.args.size() > 2) out += ", " + Expression(*e.args[2]);
        return std::string(e.negated ? "NOT " : "") + out + ")";
      }
      std::string out = Expression(*e.args[0]) + (e.negated ? " NOT LIKE " : " LIKE ") +
                        Expression(*e.args[1]);
      if (e.args.size() > 2) out += " ESCAPE " + Expression(*e.args[2]);
      return out;
    }
    case Expr::IsNull:
      return Expression(*e.args[0]) + (e.negated ? " IS NOT NULL" : " IS NULL");
  }
  return "NULL";
}

// A chain of one operator (a + b + c ..., taken from the left) as one call of the function that
// does its work, so that a long chain nests no deeper than a short one.
std::string QueryTranslator::Chained(const Expr& e, const std::string& function) const {
  std::vector<const Expr*> chain;  // the operations of the chain, last first
  for (const Expr* x = &e; x->kind == Expr::Binary && x->text == e.text; x = x->args[0].get()) chain.push_back(x);
  std::string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it == chain.rbegin()) out = ArithmeticSide(**it, *(*it)->args[0]);
    out += ", " + ArithmeticSide(**it, *(*it)->args[1]);
  }
  return function + "(" + out + ")";
}

// A binary literal is a number where the other side of its + is one, and for other operators.
std::string QueryTranslator::ArithmeticSide(const Expr& operation, const Expr& side) const {
  const bool numeric =
      operation.text != "+" || NumericShaped(*operation.args[0]) || NumericShaped(*operation.args[1]);
  return numeric && IsHex(side) ? HexAsInteger(side.text) : Expression(side);
}

// With ANSI_NULLS off, "= NULL" finds the NULLs and "<> NULL" the others, and so does a
// comparison with a variable that is NULL; empty when neither side is such an operand.
std::string QueryTranslator::NullComparison(const Expr& l, const Expr& r, bool equal) const {
  auto loose = [](const Expr& x) { return x.kind == Expr::Null || x.kind == Expr::Variable; };
  if (!loose(l) && !loose(r)) return {};
  const Expr& value = loose(r) ? l : r;
  const Expr& other = loose(r) ? r : l;
  const std::string v = Expression(value);
  if (other.kind == Expr::Null) return "(" + v + (equal ? " IS NULL)" : " IS NOT NULL)");
  const std::string o = Expression(other);
  if (equal) return "(" + v + " IS " + o + ")";
  return "(CASE WHEN " + o + " IS NULL THEN " + v + " IS NOT NULL ELSE " + v + " <> " + o + " END)";
}

// A date-shaped literal compared with a value of a date type converts to datetime, in the
// session's date order, as the server converts it; against text it stays text.
std::string QueryTranslator::CompareSide(const Expr& x, const Expr& other) const {
  if (IsHex(x) && NumericShaped(other)) return HexAsInteger(x.text);
  // Compared with a column, the literal takes the column's kind: a number for a number.
  if (IsHex(x) && ColumnOperand(other))
    return "CASE WHEN typeof(" + Expression(other) + ") IN ('integer', 'real') THEN " + HexAsInteger(x.text) +
           " ELSE " + NumberLiteral(x.text) + " END";
  if (x.kind != Expr::String || !DateShaped(x.text)) return Expression(x);
  switch (DateKindOf(other)) {
    case DateKind::Date:
      return "tsql_datetime(" + SqlLiteral(x.text) + ")";
    case DateKind::Unknown:
      // Known only at run time: the value's stored form tells.
      return "tsql_comparedate(" + Expression(other) + ", " + SqlLiteral(x.text) + ")";
    case DateKind::NotDate:
      break;
  }
  return Expression(x);
}

namespace {

bool DateTypeName(const std::string& type) {
  const std::string t = Lower(type);
  return t == "datetime" || t == "smalldatetime";
}

}  // namespace

QueryTranslator::DateKind QueryTranslator::DateKindOf(const Expr& e) const {
  // The kind of a value of the type named; Unknown when no type is known.
  auto ofType = [](const std::string& type) {
    if (type.empty()) return DateKind::Unknown;
    return DateTypeName(type) ? DateKind::Date : DateKind::NotDate;
  };
  switch (e.kind) {
    case Expr::Paren:
      return DateKindOf(*e.args[0]);
    case Expr::Column:
      return ofType(ColumnType(e));
    case Expr::Cast:
      return DateTypeName(e.text) ? DateKind::Date : DateKind::NotDate;
    case Expr::Variable:
      return ofType(variableType_ ? variableType_(Lower(e.text)) : std::string());
    case Expr::Func:
      return FunctionDateKind(e);
    case Expr::String:
    case Expr::Number:
    case Expr::Null:
      return DateKind::NotDate;
    default:
      return DateKind::Unknown;
  }
}

std::string QueryTranslator::From(const TableRef& t) const {
  switch (t.kind) {
    case TableRef::Named: {
      if (t.function) {
        std::vector<std::string> args;
        for (const auto& a : t.args) args.push_back(Expression(*a));
        std::string query = functionResolver_ ? functionResolver_(t.name, args) : std::string();
        if (query.empty()) Refused(Refusal::UnknownFunctionTable, t.name.name);
        return "(" + query + ") AS " + SqlIdent(t.alias.empty() ? t.name.name : t.alias);
      }
      std::string out = Table(t.name);
      // Columns qualified by the table's own name still find it under its SQLite name.
      if (!t.alias.empty()) out += " AS " + SqlIdent(t.alias);
      else if (out != SqlIdent(t.name.name)) out += " AS " + SqlIdent(t.name.name);
      return out;
    }
    case TableRef::Derived:
      return "(" + Query(*t.select) + ") AS " + SqlIdent(t.alias.empty() ? "schm_derived" : t.alias);
    case TableRef::Join: {
      std::string out = From(*t.left);
      if (t.joinType == "CROSS") return out + " CROSS JOIN " + WrapJoin(*t.right);
      if (t.joinType == "RIGHT" || t.joinType == "FULL")
        out += " " + t.joinType + " OUTER JOIN ";
      else if (t.joinType == "LEFT")
        out += " LEFT OUTER JOIN ";
      else
        out += " INNER JOIN ";
      return out + WrapJoin(*t.right) + " ON " + Expression(*t.on);
    }
  }
  return {};
}

std::string QueryTranslator::WrapJoin(const TableRef& t) const {
  if (t.kind == TableRef::Join) return "(" + From(t) + ")";
  return From(t);
}

void NamedTables(const TableRef& t, std::vector<const TableRef*>& out) {
  if (t.kind == TableRef::Named && !t.function) out.push_back(&t);
  if (t.kind == TableRef::Join) {
    NamedTables(*t.left, out);
    NamedTables(*t.right, out);
  }
}

std::string QueryTranslator::ColumnType(const Expr& column) const {
  if (!columnType_ || column.kind != Expr::Column || column.names.empty()) return {};
  const std::string& name = column.names.back();
  const std::string qualifier = column.names.size() > 1 ? column.names[column.names.size() - 2] : std::string();
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
    std::vector<const TableRef*> tables;
    for (const auto& t : **scope) NamedTables(*t, tables);
    for (const TableRef* t : tables) {
      const std::string& seen = t->alias.empty() ? t->name.name : t->alias;
      if (!qualifier.empty() && strcasecmp(seen.c_str(), qualifier.c_str()) != 0) continue;
      std::string type = columnType_(t->name, name);
      if (!type.empty()) return type;
    }
  }
  return {};
}

std::string QueryTranslator::StatementExpression(const Expr& e, const ObjectName& target,
                                                 const std::vector<std::unique_ptr<TableRef>>& from) const {
  Scope named;
  named.push_back(std::make_unique<TableRef>());
  named.back()->name = target;
  InScope outer(scopes_, named);
  InScope inner(scopes_, from);
  return Expression(e);
}

std::string QueryTranslator::Core(const Select& s) const {
  // The query's tables are in scope while its expressions are written.
  InScope scope(scopes_, s.from);
  std::string out = "SELECT ";
  if (s.distinct) out += "DISTINCT ";
  for (size_t i = 0; i < s.items.size(); ++i) {
    if (i) out += ", ";
    out += Expression(*s.items[i].expr);
    if (!s.items[i].alias.empty()) out += " AS " + SqlIdent(s.items[i].alias);
  }
  if (!s.from.empty()) {
    out += " FROM ";
    for (size_t i = 0; i < s.from.size(); ++i) {
      if (i) out += ", ";
      out += From(*s.from[i]);
    }
  }
  if (s.where) out += " WHERE " + Expression(*s.where);
  if (!s.groupBy.empty()) {
    out += " GROUP BY ";
    for (size_t i = 0; i < s.groupBy.size(); ++i) out += (i ? ", " : "") + Expression(*s.groupBy[i]);
  }
  if (s.having) out += " HAVING " + Expression(*s.having);
  return out;
}

std::string QueryTranslator::Query(const Select& s) const {
  std::string out = Core(s);
  for (const auto& u : s.unions) {
    out += u.all ? " UNION ALL " : " UNION ";
    if (!u.select->orderBy.empty() || u.select->top) Refused(Refusal::OrderInUnion, "");
    out += Core(*u.select);
    for (const auto& inner : u.select->unions) {
      out += inner.all ? " UNION ALL " : " UNION ";
      out += Core(*inner.select);
    }
  }
  if (!s.orderBy.empty()) {
    out += " ORDER BY ";
    for (size_t i = 0; i < s.orderBy.size(); ++i) {
      if (i) out += ", ";
      out += Expression(*s.orderBy[i].expr);
      if (s.orderBy[i].desc) out += " DESC";
    }
  }
  if (s.top) {
    if (s.topPercent)
      out = "SELECT * FROM (" + out + ") LIMIT (SELECT (count(*) * " + Expression(*s.top) +
            " + 99) / 100 FROM (" + out + "))";
    else
      out += " LIMIT " + Expression(*s.top);
  }
  return out;
}

}  // namespace servers
