#include "servers/sqlserver/Translator.h"

#include <strings.h>

#include <cctype>
#include <set>

#include "servers/core/Sqlite.h"
#include "servers/sqlserver/InformationSchema.h"
#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsUnicodeType(const std::string& type) { return type == "nchar" || type == "nvarchar" || type == "ntext"; }

bool IsMasterOnly(const std::string& name) {
  static const std::set<std::string> tables = {"syslogins", "syslanguages", "sysdatabases",
                                               "sysxlogins", "sysservers"};
  return tables.count(Lower(name)) > 0;
}

}  // namespace

void Translator::Refuse(Refusal what, const std::string& name) const {
  switch (what) {
    case Refusal::DefaultValue:
      Fail(170, "Line 1: Incorrect syntax near the keyword 'DEFAULT'.");
    case Refusal::OrderInUnion:
      Fail(156, "Incorrect syntax near the keyword 'ORDER'.");
    case Refusal::UnknownFunctionTable:
      break;
  }
  Fail(208, "Invalid object name '" + name + "'.");
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

std::string Translator::Variable(const Expr& e) const {
    std::string v = Lower(e.text);
    if (v == "@@language") return "tsql_language()";
    if (v == "@@version")
      return "'Microsoft SQL Server  2000 - 8.00.2039 (Schemion embedded server)'";
    if (v == "@@servername") return "tsql_servername()";
    if (v == "@@trancount") return "tsql_trancount()";
    if (v == "@@identity") return "tsql_identity()";
    if (v == "@@dbts") return "tsql_rowversion((SELECT value FROM schm_dbts))";
    if (v == "@@rowcount") return "changes()";
    if (v == "@@error") return "tsql_error()";
    if (v == "@@spid") return "tsql_spid()";
    if (variables_) {
      auto it = variables_->find(v);
      if (it != variables_->end()) return it->second;
    }
    Fail(137, "Must declare the variable '" + e.text + "'.");
}

Translator::DateKind Translator::FunctionDateKind(const Expr& e) const {
  if (e.names.size() > 1) return DateKind::Unknown;  // a user's function: its type is its own
  static const std::set<std::string> dates = {"getdate", "getutcdate", "current_timestamp", "dateadd"};
  static const std::set<std::string> ofFirstArgument = {"isnull", "coalesce", "nullif", "min", "max"};
  const std::string f = Lower(e.text);
  if (dates.count(f)) return DateKind::Date;
  if (ofFirstArgument.count(f) && !e.args.empty()) return DateKindOf(*e.args[0]);
  return DateKind::NotDate;
}

bool Translator::Unicode(const Expr& e) const {
  switch (e.kind) {
    case Expr::String:
      return e.national;
    case Expr::Paren:
      return Unicode(*e.args[0]);
    case Expr::Cast:
      return IsUnicodeType(Lower(e.text));
    case Expr::Column:
      return IsUnicodeType(ColumnType(e));
    default:
      return false;
  }
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
    return "tsql_indexkey_property(" + a[0] + ", " + a[1] + ", " + a[2] + ", " + a[3] + ")";
  }
  if (f == "col_length") {
    arity(2, 2);
    return "tsql_col_length(" + a[0] + ", " + a[1] + ")";
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
    // Unicode text takes two bytes a character; bytes kept in such a column (a login's password
    // hash) count as they are.
    if (Unicode(*e.args[0]))
      return "(CASE WHEN typeof(" + a[0] + ") = 'blob' THEN length(" + a[0] + ") ELSE 2 * length(" + a[0] + ") END)";
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

}  // namespace servers::sqlserver
