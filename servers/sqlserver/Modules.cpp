// Views, procedures, functions and triggers kept by their text, and sp_rename.
#include <algorithm>

#include "common/Text.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Tokenizer.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

namespace {

using text::Lower;

// The parts of a written multi-part name as the server's procedures parse it: "[dbo].[T]" ->
// {"dbo", "T"}; inside [brackets] "]]" stands for "]", inside "quotes" '""' for '"'. Raises
// error 15253 for a name that does not parse (an unclosed bracket, "[[a b]]", five parts).
std::vector<std::string> SplitName(const std::string& written) {
  auto refuse = [&] { Fail(15253, "Syntax error parsing SQL identifier '" + written + "'."); };
  std::vector<std::string> parts;
  size_t i = 0;
  for (;;) {
    std::string part;
    if (i < written.size() && (written[i] == '[' || written[i] == '"')) {
      const char close = written[i] == '[' ? ']' : '"';
      for (++i;; ++i) {
        if (i >= written.size()) refuse();
        if (written[i] != close) {
          part += written[i];
        } else if (i + 1 < written.size() && written[i + 1] == close) {
          part += close;
          ++i;
        } else {
          ++i;
          break;
        }
      }
    } else {
      while (i < written.size() && written[i] != '.') part += written[i++];
    }
    parts.push_back(part);
    if (i >= written.size()) break;
    if (written[i] != '.') refuse();
    ++i;
  }
  if (parts.size() > 4) refuse();
  return parts;
}

// The condition text with every name token `from` (case ignored, not after a dot) written as
// `to`: a check constraint follows its column through a rename.
std::string RenameInCondition(const std::string& condition, const std::string& from, const std::string& to) {
  std::string out;
  size_t copied = 0;
  std::vector<Token> tokens = Tokenize(condition);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    bool name = t.kind == TokenKind::Name || t.kind == TokenKind::QuotedName;
    if (!name || !text::SameText(t.text, from) || (i > 0 && tokens[i - 1].IsSymbol("."))) continue;
    bool plain = t.kind == TokenKind::Name && !to.empty() &&
                 std::all_of(to.begin(), to.end(), [](char c) {
                   return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                 }) && !std::isdigit(static_cast<unsigned char>(to[0]));
    out += condition.substr(copied, t.begin - copied);
    out += plain ? to : "[" + text::ReplaceAll(to, "]", "]]") + "]";
    copied = t.end;
  }
  return out + condition.substr(copied);
}

// The object named by the first `count` parts of a split name: the last is the name, the one
// before it the owner.
ObjectName NameOf(const std::vector<std::string>& parts, size_t count) {
  ObjectName n;
  if (count >= 1 && count <= parts.size()) n.name = parts[count - 1];
  if (count >= 2 && count <= parts.size()) n.owner = parts[count - 2];
  return n;
}

}  // namespace

void Session::CreateModule(const CreateModuleStmt& s) {
  bool isAlter = s.alter;
  std::string xtype = s.what == "VIEW" ? "V" : s.what == "PROCEDURE" ? "P" : s.what == "TRIGGER" ? "TR"
                      : s.inlineFunction ? "IF" : s.tableFunction ? "TF" : "FN";
  int64_t parent = 0;
  int uid = 0;
  if (s.what == "TRIGGER") {
    // A trigger belongs to its table's owner unless another is written.
    TableInfo table = RequireTable(s.parentTable);
    parent = table.id;
    uid = s.name.owner.empty() ? table.uid : OwnerForCreate(s.name);
  } else {
    uid = OwnerForCreate(s.name);
  }
  std::string physical = PhysicalName(uid, s.name.name);
  auto existing = FindObject(Db(), s.name.name, uid);
  int64_t id;
  std::string crdate = NowText();
  if (existing) {
    if (!isAlter) DuplicateObject(s.name.name);
    id = *existing;
    Stmt c(Db(), "SELECT crdate FROM sysobjects WHERE id = ?");
    c.Bind(1, id);
    if (c.Step()) crdate = c.Text(0);
    ExecSql(Db(), "DELETE FROM syscomments WHERE id = " + std::to_string(id) + "; DELETE FROM syscolumns WHERE id = " +
                      std::to_string(id) + "; DELETE FROM sysobjects WHERE id = " + std::to_string(id));
    if (s.what == "VIEW") ExecSql(Db(), "DROP VIEW IF EXISTS " + SqlIdent(physical));
  } else {
    if (isAlter) Fail(208, "Invalid object name '" + s.name.name + "'.");
    id = NewObjectId(Db());
  }
  Stmt ins(Db(), "INSERT INTO sysobjects (name, id, xtype, uid, parent_obj, crdate, type, refdate, status, category) "
                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");
  ins.Bind(1, s.name.name).Bind(2, id).Bind(3, xtype).Bind(4, int64_t{uid}).Bind(5, parent).Bind(6, crdate).Bind(7, xtype).Bind(8, NowText());
  ins.Bind(9, int64_t{s.encrypted ? 0x20000000 | 0x4 : 0});
  ins.Step();
  StoreText(Db(), id, s.text, s.encrypted);
  // The object keeps the QUOTED_IDENTIFIER and ANSI_NULLS settings it was created under; only
  // "off" is noted.
  const std::string at = std::to_string(id);
  ExecSql(Db(), "DELETE FROM schm_quoted_off WHERE id = " + at + "; DELETE FROM schm_ansi_nulls_off WHERE id = " + at);
  if (!quotedIdentifier_) ExecSql(Db(), "INSERT INTO schm_quoted_off (id) VALUES (" + at + ")");
  if (!ansiNulls_) ExecSql(Db(), "INSERT INTO schm_ansi_nulls_off (id) VALUES (" + at + ")");
  if (s.what == "VIEW") CreateView(s, id, physical);
}

void Session::DropModule(const DropStmt& s) {
  for (const auto& n : s.names) {
    std::string want = s.what == "VIEW" ? "V" : s.what == "PROCEDURE" ? "P" : s.what == "TRIGGER" ? "TR"
                       : s.what == "DEFAULT" ? "D" : s.what == "RULE" ? "R" : "FN";
    // The owner written, else the connected user's object before dbo's.
    std::vector<int> owners;
    if (!n.owner.empty()) owners.push_back(UserUid(n.owner));
    else owners = {uid_, 1};
    bool found = false;
    int64_t id = 0;
    int uid = 1;
    for (int owner : owners) {
      Stmt q(Db(), "SELECT id, rtrim(xtype) FROM sysobjects WHERE name = ? AND uid = ?");
      q.Bind(1, n.name).Bind(2, int64_t{owner});
      while (!found && q.Step()) {
        std::string x = q.Text(1);
        if (x == want || (want == "FN" && (x == "FN" || x == "TF" || x == "IF"))) {
          found = true;
          id = q.Int(0);
          uid = owner;
        }
      }
      if (found) break;
    }
    std::string what = Lower(s.what);
    if (!found)
      Fail(3701, "Cannot drop the " + what + " '" + n.name + "', because it does not exist in the system catalog.");
    ExecSql(Db(), "DELETE FROM syscomments WHERE id = " + std::to_string(id) + "; DELETE FROM syscolumns WHERE id = " +
                      std::to_string(id) + "; DELETE FROM sysproperties WHERE id = " + std::to_string(id) +
                      "; DELETE FROM schm_quoted_off WHERE id = " + std::to_string(id) +
                      "; DELETE FROM schm_ansi_nulls_off WHERE id = " + std::to_string(id) +
                      "; DELETE FROM sysobjects WHERE id = " + std::to_string(id));
    if (want == "V") ExecSql(Db(), "DROP VIEW IF EXISTS " + SqlIdent(PhysicalName(uid, n.name)));
  }
}

void Session::Rename(const std::vector<std::string>& args) {
  if (args.size() < 2) Fail(201, "Procedure 'sp_rename' expects parameter '@newname', which was not supplied.");
  std::string kind = args.size() > 2 ? Lower(args[2]) : "object";
  std::vector<std::string> parts = SplitName(args[0]);
  // Taken as written ("[x]" names an object with brackets), cut to a sysname's 128 characters
  // as the server cuts every argument longer than its parameter.
  std::string newName(text::Utf8Start(args[1], 128));
  if (newName.empty()) Fail(15223, "Error: The new name '' is invalid.");
  auto ambiguous = [&]() {
    Fail(15248, "Either the parameter @objname is ambiguous or the claimed @objtype (" + kind + ") is wrong.");
  };
  if (kind == "column") {
    if (parts.size() < 2) ambiguous();
    std::string column = parts.back();
    auto t = LoadTable(Db(), Resolve(NameOf(parts, parts.size() - 1)).value_or(0));
    if (!t || t->xtype != "U") ambiguous();
    const ColumnInfo* c = t->Column(column);
    if (!c) ambiguous();
    if (t->Column(newName) && !text::SameText(newName, column))
      Fail(15335, "Error: The @newname value '" + newName + "' is already in use as a column name and would cause a duplicate that is not permitted.");
    std::vector<std::string> sources;
    for (const auto& col : t->columns) sources.push_back(SqlIdent(col.name));
    Stmt u(Db(), "UPDATE syscolumns SET name = ? WHERE id = ? AND colid = ?");
    u.Bind(1, newName).Bind(2, t->id).Bind(3, int64_t{c->colid});
    u.Step();
    // The table's checks go on holding the column under its new name.
    Stmt checks(Db(), "SELECT o.id FROM sysobjects o WHERE o.parent_obj = ? AND o.xtype = 'C'");
    checks.Bind(1, t->id);
    while (checks.Step()) {
      int64_t check = checks.Int(0);
      Stmt text(Db(), "SELECT text FROM syscomments WHERE id = ? ORDER BY colid");
      text.Bind(1, check);
      std::string condition;
      while (text.Step()) condition += text.Text(0);
      StoreText(Db(), check, RenameInCondition(condition, column, newName), false);
    }
    Rebuild(*t, sources);
    return;
  }
  std::string oldName = parts.back();
  if (kind == "index") {
    if (parts.size() < 2) ambiguous();
    auto t = LoadTable(Db(), Resolve(NameOf(parts, parts.size() - 1)).value_or(0));
    if (!t) ambiguous();
    Stmt u(Db(), "UPDATE sysindexes SET name = ? WHERE id = ? AND name = ? AND indid BETWEEN 1 AND 254");
    u.Bind(1, newName).Bind(2, t->id).Bind(3, oldName);
    u.Step();
    if (!Changes()) ambiguous();
    return;
  }
  auto id = Resolve(NameOf(parts, parts.size()));
  if (!id) ambiguous();
  int uid = static_cast<int>(QueryInt(Db(), "SELECT uid FROM sysobjects WHERE id = " + std::to_string(*id), 1));
  if (auto other = FindObject(Db(), newName, uid); other && *other != *id)
    Fail(15335, "Error: The @newname value '" + newName + "' is already in use as a object name and would cause a duplicate that is not permitted.");
  std::string xtype = ObjectType(Db(), *id);
  Stmt u(Db(), "UPDATE sysobjects SET name = ? WHERE id = ?");
  u.Bind(1, newName).Bind(2, *id);
  u.Step();
  if (xtype == "U") {
    Stmt h(Db(), "UPDATE sysindexes SET name = ? WHERE id = ? AND indid = 0");
    h.Bind(1, newName).Bind(2, *id);
    h.Step();
    Stmt ti(Db(), "UPDATE sysindexes SET name = ? WHERE id = ? AND indid = 255");
    ti.Bind(1, "t" + newName).Bind(2, *id);
    ti.Step();
    ExecSql(Db(), "ALTER TABLE " + SqlIdent(PhysicalName(uid, oldName)) + " RENAME TO " +
                      SqlIdent(PhysicalName(uid, newName)));
    RebuildPhysical(Db(), database_, *id, KeptColumns(LoadTable(Db(), *id)->columns), true);
  } else if (xtype == "PK" || xtype == "UQ") {
    Stmt p(Db(), "UPDATE sysindexes SET name = ? WHERE name = ? AND id = (SELECT parent_obj FROM sysobjects WHERE id = ?)");
    p.Bind(1, newName).Bind(2, oldName).Bind(3, *id);
    p.Step();
  } else if (xtype == "F") {
    Stmt p(Db(), "SELECT fkeyid FROM sysreferences WHERE constid = ?");
    p.Bind(1, *id);
    if (p.Step()) EnforcementChanged(Db());
  } else if (xtype == "V") {
    // SQLite views cannot be renamed: the queryable view is written again under the new name.
    std::string sql;
    std::string oldPhysical = PhysicalName(uid, oldName);
    if (QueryInt(Db(), "SELECT count(*) FROM sqlite_master WHERE type = 'view' AND name = " + SqlLiteral(oldPhysical) + " COLLATE NOCASE")) {
      Stmt v(Db(), "SELECT sql FROM sqlite_master WHERE type = 'view' AND name = ? COLLATE NOCASE");
      v.Bind(1, oldPhysical);
      if (v.Step()) sql = v.Text(0);
      // The text after the name: the column list, if any, and the query.
      std::string quoted = SqlIdent(oldPhysical);
      size_t at = Lower(sql).find(Lower(quoted));
      ExecSql(Db(), "DROP VIEW " + SqlIdent(oldPhysical));
      if (at != std::string::npos)
        ExecSql(Db(), "CREATE VIEW " + SqlIdent(PhysicalName(uid, newName)) + sql.substr(at + quoted.size()));
    }
  }
}

}  // namespace servers::sqlserver
