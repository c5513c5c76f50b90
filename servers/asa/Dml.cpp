// INSERT, UPDATE and DELETE of the stand-in.
#include "common/Text.h"
#include "servers/core/StatementShape.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Session.h"

namespace servers::asa {

namespace {

void RefuseView(const AsaTable& t) {
  if (t.type == "VIEW" || t.creator == kSysUser) Fail(-192, "Update operation attempted on non-updatable query");
}

}  // namespace

int64_t Session::RunInsert(const InsertStmt& s) {
  AsaTable t = RequireTable(s.table);
  RefuseView(t);
  std::vector<std::string> cols = s.columns;
  if (cols.empty())
    for (const auto& c : t.columns) cols.push_back(c.name);
  std::string list;
  for (const auto& c : cols) {
    const AsaColumn* col = t.Column(c);
    if (!col) Fail(-143, "Column '" + c + "' not found");
    list += (list.empty() ? "" : ", ") + SqlIdent(col->name);
  }
  Translator tr = Tr();
  std::string sql = "INSERT INTO " + SqlIdent(DataTable(t)) + " (" + list + ") ";
  if (s.select) {
    sql += tr.Query(*s.select);
  } else {
    sql += "VALUES ";
    for (size_t r = 0; r < s.rows.size(); ++r) {
      if (s.rows[r].size() != cols.size()) Fail(-207, "Wrong number of values for INSERT");
      sql += r ? ", (" : "(";
      for (size_t i = 0; i < s.rows[r].size(); ++i) {
        const Expr& e = *s.rows[r][i];
        std::string value;
        if (e.kind == Expr::Default) {
          value = DefaultSql(t.Column(cols[i])->defaultText);  // autoincrement: NULL, numbered
          if (value.empty()) value = "NULL";
        } else {
          value = tr.Expression(e);
        }
        sql += (i ? ", " : "") + value;
      }
      sql += ")";
    }
  }
  ExecShaped(Db(), sql);
  return sqlite3_changes(Db());
}

int64_t Session::RunUpdate(const UpdateStmt& s) {
  AsaTable t = RequireTable(s.table);
  RefuseView(t);
  std::string physical = DataTable(t);
  Translator tr = Tr();
  tr.NumberRowsOf(physical, t.name);
  std::string sql = "UPDATE " + SqlIdent(physical) + " AS " + SqlIdent(t.name) + " SET ";
  for (size_t i = 0; i < s.sets.size(); ++i) {
    const AsaColumn* col = t.Column(s.sets[i].first);
    if (!col) Fail(-143, "Column '" + s.sets[i].first + "' not found");
    sql += (i ? ", " : "") + SqlIdent(col->name) + " = " + tr.Expression(*s.sets[i].second);
  }
  if (s.where) sql += " WHERE " + tr.Expression(*s.where);
  ExecShaped(Db(), sql);
  int64_t changed = sqlite3_changes(Db());
  // Values written into an autoincrement column move its numbering on.
  for (const auto& c : t.columns)
    if (c.autoincrement)
      ExecSql(Db(), "UPDATE SYSCOLUMN SET max_identity = max(max_identity, coalesce((SELECT max(" + SqlIdent(c.name) +
                        ") FROM " + SqlIdent(physical) + "), 0)) WHERE table_id = " + std::to_string(t.id) +
                        " AND column_id = " + std::to_string(c.id));
  return changed;
}

int64_t Session::RunDelete(const DeleteStmt& s) {
  AsaTable t = RequireTable(s.table);
  RefuseView(t);
  std::string sql = "DELETE FROM " + SqlIdent(DataTable(t)) + " AS " + SqlIdent(t.name);
  if (s.where) sql += " WHERE " + Tr().Expression(*s.where);
  ExecShaped(Db(), sql);
  return sqlite3_changes(Db());
}

}  // namespace servers::asa
