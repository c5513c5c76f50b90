#include "servers/sqlserver/Translator.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <set>

#include "servers/sqlserver/Functions.h"
#include "servers/sqlserver/InformationSchema.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Sqlite.h"

namespace servers::sqlserver {

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A literal that the server would read as a date when the other side is a datetime:
// "12/31/2020", "2020-12-31 10:00:00", "20201231" and the like.
bool DateShaped(const std::string& t) {
  if (t.size() < 6 || t.size() > 40 || !std::isdigit(static_cast<unsigned char>(t[0]))) return false;
  if (t.find_first_not_of("0123456789-/.: TAPMapm") != std::string::npos) return false;
  return t.find_first_of("-/.") != std::string::npos || t.find_first_not_of("0123456789") == std::string::npos;
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

bool IsMasterOnly(const std::string& name) {
  static const std::set<std::string> tables = {"syslogins", "syslanguages", "sysdatabases",
                                               "sysxlogins", "sysservers"};
  return tables.count(Lower(name)) > 0;
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

std::string Translator::Table(const ObjectName& n) const {
  std::string db = Lower(n.db);
  if (!db.empty() && db != Lower(database_)) {
    if (db == "master" && !inMaster_) return "master." + SqlIdent(n.name);
    Fail(208, "Invalid object name '" + (n.db + "." + (n.owner.empty() ? "" : n.owner) + "." + n.name) + "'.");
  }
  if (strcasecmp(n.owner.c_str(), "INFORMATION_SCHEMA") == 0) return InformationSchemaView(n.name, database_);
  if (!inMaster_ && IsMasterOnly(n.name)) return "master." + SqlIdent(n.name);
  if (resolver_) {
    std::string physical = resolver_(n);
    if (!physical.empty()) return SqlIdent(physical);
    if (!n.owner.empty()) Fail(208, "Invalid object name '" + n.owner + "." + n.name + "'.");
  }
  return SqlIdent(n.name);
}

std::string Translator::Expression(const Expr& e) const {
  switch (e.kind) {
    case Expr::String:
      return SqlLiteral(e.text);
    case Expr::Number:
      return NumberLiteral(e.text);
    case Expr::Null:
      return "NULL";
    case Expr::Default:
      Fail(170, "Line 1: Incorrect syntax near the keyword 'DEFAULT'.");
    case Expr::Column: {
      // Keep the last two parts: alias or table, and column.
      const auto& p = e.names;
      if (p.size() == 1) return SqlIdent(p[0]);
      return SqlIdent(p[p.size() - 2]) + "." + SqlIdent(p.back());
    }
    case Expr::Star:
      if (e.names.empty()) return "*";
      return SqlIdent(e.names.back()) + ".*";
    case Expr::Variable: {
      std::string v = Lower(e.text);
      if (v == "@@language") return "tsql_language()";
      if (v == "@@version")
        return "'Microsoft SQL Server  2000 - 8.00.2039 (Schemion embedded server)'";
      if (v == "@@servername") return "tsql_servername()";
      if (v == "@@trancount") return "tsql_trancount()";
      if (v == "@@identity") return "tsql_identity()";
      if (v == "@@rowcount") return "changes()";
      if (v == "@@error") return "0";
      if (v == "@@spid") return "51";
      if (variables_) {
        auto it = variables_->find(v);
        if (it != variables_->end()) return it->second;
      }
      Fail(137, "Must declare the variable '" + e.text + "'.");
    }
    case Expr::Unary:
      if (e.text == "NOT") return "NOT " + Expression(*e.args[0]);
      return e.text + Expression(*e.args[0]);
    case Expr::Binary: {
      static const std::set<std::string> compare = {"=", "<>", "!=", "<", ">", "<=", ">="};
      const Expr& l = *e.args[0];
      const Expr& r = *e.args[1];
      if (compare.count(e.text)) {
        // Without a column to lend its collation, text compares by the server's default one.
        std::string collate = TextOperand(l) || TextOperand(r) ? CollateOfValues(l, r) : std::string();
        return "(" + CompareSide(l, r) + " " + e.text + " " + CompareSide(r, l) + collate + ")";
      }
      bool numeric = e.text != "+" || NumericShaped(l) || NumericShaped(r);
      auto side = [&](const Expr& x) {
        return numeric && IsHex(x) ? HexAsInteger(x.text) : Expression(x);
      };
      if (e.text == "+") return "tsql_add(" + side(l) + ", " + side(r) + ")";
      if (e.text == "/" || e.text == "%")
        return "(" + side(l) + " " + e.text + " tsql_nonzero(" + side(r) + "))";
      // Parenthesised as parsed: the server's precedence, not SQLite's, and shallow trees stay so.
      return "(" + side(l) + " " + e.text + " " + side(r) + ")";
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
        out += " WHEN " + Expression(*e.args[i]) + " THEN " + Expression(*e.args[i + 1]);
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
        out += Expression(*e.args[i]);
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

// A date-shaped literal compared with a column or a value converts to datetime when that value
// is one, in the session's date order, as the server converts it.
std::string Translator::CompareSide(const Expr& x, const Expr& other) const {
  if (IsHex(x) && NumericShaped(other)) return HexAsInteger(x.text);
  // Compared with a column, the literal takes the column's kind: a number for a number.
  if (IsHex(x) && ColumnOperand(other))
    return "CASE WHEN typeof(" + Expression(other) + ") IN ('integer', 'real') THEN " + HexAsInteger(x.text) +
           " ELSE " + NumberLiteral(x.text) + " END";
  if (x.kind == Expr::String && other.kind != Expr::String && other.kind != Expr::Number &&
      other.kind != Expr::Null && DateShaped(x.text))
    return "tsql_comparedate(" + Expression(other) + ", " + SqlLiteral(x.text) + ")";
  return Expression(x);
}

std::string Translator::Function(const Expr& e) const {
  std::string f = Lower(e.text);
  std::vector<std::string> a;
  for (const auto& arg : e.args) a.push_back(Expression(*arg));
  auto arity = [&](size_t lo, size_t hi) {
    if (a.size() < lo || a.size() > hi)
      Fail(174, "The " + e.text + " function requires " + std::to_string(lo) + " arguments.");
  };
  if (e.names.size() > 1 && !(e.names.size() == 2 && Lower(e.names[0]) == "dbo"))
    Fail(195, "'" + e.text + "' is not a recognized function name.");
  if (f == "db_name") {
    arity(0, 1);
    if (a.empty()) return SqlLiteral(database_);
    return "tsql_db_name(" + a[0] + ")";
  }
  if (f == "user_name") {
    arity(0, 1);
    if (a.empty()) return "tsql_user_name(tsql_current_uid())";
    return "tsql_user_name(" + a[0] + ")";
  }
  if (f == "suser_sname" || f == "suser_name" || f == "system_user") return "tsql_login()";
  if (f == "user_id") {
    if (a.empty()) return "tsql_current_uid()";
    return "tsql_user_id(" + a[0] + ")";
  }
  static const std::set<std::string> lookups = {"filegroup_name", "filegroup_id", "object_name", "object_id",
                                                "ident_seed", "ident_incr", "ident_current"};
  if (lookups.count(f)) {
    arity(1, 1);
    return "tsql_" + f + "(" + a[0] + ")";
  }
  if (f == "col_name") {
    arity(2, 2);
    return "tsql_col_name(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "index_col") {
    arity(3, 3);
    return "tsql_index_col(" + a[0] + ", " + a[1] + ", " + a[2] + ")";
  }
  if (f == "indexkey_property") {
    arity(4, 4);
    // DESC keys are marked in sysindexes.keys, one byte per key.
    // Aliases of its own, so that the arguments' outer aliases stay visible.
    return "(SELECT CASE lower(" + a[3] + ") WHEN 'columnid' THEN schm_k.colid WHEN 'isdescending' THEN "
           "hex(substr(schm_i.keys, schm_k.keyno, 1)) = '01' END FROM sysindexkeys schm_k JOIN sysindexes schm_i "
           "ON schm_i.id = schm_k.id AND schm_i.indid = schm_k.indid WHERE schm_k.id = " + a[0] +
           " AND schm_k.indid = " + a[1] + " AND schm_k.keyno = " + a[2] + ")";
  }
  if (f == "objectproperty") {
    arity(2, 2);
    return "tsql_objectproperty(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "permissions") {
    arity(0, 2);
    return "4095";
  }
  if (f == "pwdencrypt") {
    arity(1, 1);
    return "tsql_pwdencrypt(" + a[0] + ")";
  }
  if (f == "pwdcompare") {
    arity(2, 3);  // the third argument names an older hash form; the hash itself tells
    return "tsql_pwdcompare(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "serverproperty") {
    arity(1, 1);
    std::string name = e.args[0]->kind == Expr::String ? Lower(e.args[0]->text) : "";
    if (name == "servername" || name == "machinename") return "tsql_servername()";
    return "tsql_serverproperty(" + a[0] + ")";
  }
  if (f == "getdate" || f == "current_timestamp") return "tsql_getdate()";
  if (f == "scope_identity") return "tsql_identity()";
  if (f == "getutcdate") return "tsql_getutcdate()";
  if (f == "newid") return "tsql_newid()";
  if (f == "isnull") {
    arity(2, 2);
    return "ifnull(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "len") {
    arity(1, 1);
    return "length(rtrim(" + a[0] + "))";
  }
  if (f == "datalength") {
    arity(1, 1);
    return "length(CAST(" + a[0] + " AS BLOB))";
  }
  if (f == "substring") {
    arity(3, 3);
    return "substr(" + a[0] + ", " + a[1] + ", " + a[2] + ")";
  }
  if (f == "left") {
    arity(2, 2);
    return "substr(" + a[0] + ", 1, " + a[1] + ")";
  }
  if (f == "right") {
    arity(2, 2);
    return "tsql_right(" + a[0] + ", " + a[1] + ")";
  }
  if (f == "charindex") {
    arity(2, 3);
    if (a.size() == 3) return "tsql_charindex(" + a[0] + ", " + a[1] + ", " + a[2] + ")";
    return "instr(" + a[1] + ", " + a[0] + ")";
  }
  if (f == "ceiling") return "tsql_ceiling(" + (a.empty() ? std::string("NULL") : a[0]) + ")";
  if (f == "floor") return "tsql_floor(" + (a.empty() ? std::string("NULL") : a[0]) + ")";
  if (f == "str") return "tsql_str(" + (a.empty() ? std::string("NULL") : a[0]) + ")";
  if (f == "year" || f == "month" || f == "day") {
    arity(1, 1);
    return "tsql_datepart('" + f + "', " + a[0] + ")";
  }
  if (f == "datepart" || f == "datediff" || f == "dateadd" || f == "datename") {
    // The first argument is a date-part word, not an expression.
    std::string part = e.args.empty() ? "" : (e.args[0]->kind == Expr::Column
                                                   ? Lower(e.args[0]->names.back())
                                                   : Lower(e.args[0]->text));
    std::string rest;
    for (size_t i = 1; i < a.size(); ++i) rest += ", " + a[i];
    return "tsql_" + f + "('" + part + "'" + rest + ")";
  }
  static const std::set<std::string> same = {
      "count", "sum", "avg", "min", "max", "upper", "lower", "ltrim", "rtrim", "replace", "abs",
      "round", "coalesce", "nullif", "sign", "power", "sqrt", "char", "ascii", "unicode",
      "replicate", "reverse", "space", "stuff", "patindex", "isnumeric", "isdate", "nchar"};
  if (same.count(f)) {
    std::string name = f;
    if (f == "char" || f == "nchar") name = "char";
    if (f == "ascii" || f == "unicode") name = "unicode";
    if (f == "replicate" || f == "reverse" || f == "space" || f == "stuff" || f == "patindex" ||
        f == "isnumeric" || f == "isdate" || f == "power" || f == "sqrt" || f == "sign")
      name = "tsql_" + f;
    std::string out = name + "(";
    if (e.distinct) out += "DISTINCT ";
    for (size_t i = 0; i < a.size(); ++i) out += (i ? ", " : "") + a[i];
    if (a.empty() && f == "count") out += "*";
    return out + ")";
  }
  Fail(195, "'" + e.text + "' is not a recognized function name.");
}

std::string Translator::From(const TableRef& t) const {
  switch (t.kind) {
    case TableRef::Named: {
      if (t.function) {
        std::vector<std::string> args;
        for (const auto& a : t.args) args.push_back(Expression(*a));
        std::string query = functionResolver_ ? functionResolver_(t.name, args) : std::string();
        if (query.empty()) Fail(208, "Invalid object name '" + t.name.name + "'.");
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

std::string Translator::WrapJoin(const TableRef& t) const {
  if (t.kind == TableRef::Join) return "(" + From(t) + ")";
  return From(t);
}

std::string Translator::Core(const Select& s) const {
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

std::string Translator::Query(const Select& s) const {
  std::string out = Core(s);
  for (const auto& u : s.unions) {
    out += u.all ? " UNION ALL " : " UNION ";
    if (!u.select->orderBy.empty() || u.select->top) Fail(156, "Incorrect syntax near the keyword 'ORDER'.");
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

}  // namespace servers::sqlserver
