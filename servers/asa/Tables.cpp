// Definition statements of the stand-in: tables, columns, keys, indexes, views, procedures,
// functions and triggers, each kept in the SYS tables and the SQLite tables behind them.
#include <strings.h>

#include <cctype>
#include <cmath>
#include <exception>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "servers/asa/Errors.h"
#include "servers/asa/Session.h"
#include "servers/core/Physical.h"
#include "servers/core/Statements.h"

namespace servers::asa {

namespace {

int64_t NextId(sqlite3* db, const std::string& sql, int64_t floor) {
  return std::max(QueryInt(db, sql, 0) + 1, floor);
}

// Runs one statement binding the numbers first, then the texts.
void Exec(sqlite3* db, const std::string& sql, std::initializer_list<std::string> texts,
          std::initializer_list<int64_t> ints = {}) {
  Stmt q(db, sql);
  int i = 1;
  for (int64_t v : ints) q.Bind(i++, v);
  for (const auto& t : texts) q.Bind(i++, t);
  q.Step();
}

// A condition with every whole-word use of a column's name (case ignored, quoted texts left
// alone) changed to its new name.
std::string RenameInCondition(const std::string& condition, const std::string& from, const std::string& to) {
  auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  std::string out;
  size_t i = 0;
  while (i < condition.size()) {
    char c = condition[i];
    if (c == '\'') {
      size_t end = condition.find('\'', i + 1);
      while (end != std::string::npos && end + 1 < condition.size() && condition[end + 1] == '\'')
        end = condition.find('\'', end + 2);
      end = end == std::string::npos ? condition.size() : end + 1;
      out += condition.substr(i, end - i);
      i = end;
      continue;
    }
    if (word(c) && (i == 0 || !word(condition[i - 1]))) {
      size_t end = i;
      while (end < condition.size() && word(condition[end])) ++end;
      std::string name = condition.substr(i, end - i);
      out += strcasecmp(name.c_str(), from.c_str()) == 0 ? to : name;
      i = end;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

// -127 for a column of the primary key, an index, a unique constraint or a foreign key (of the
// table's own or one referencing it).
void RefuseIndexedColumn(sqlite3* db, const AsaTable& t, const AsaColumn& c) {
  const std::string tid = std::to_string(t.id), cid = std::to_string(c.id);
  if (c.pkey || QueryInt(db, "SELECT count(*) FROM SYSIXCOL WHERE table_id = " + tid + " AND column_id = " + cid) ||
      QueryInt(db, "SELECT count(*) FROM SYSFKCOL k JOIN SYSFOREIGNKEY f ON f.foreign_table_id = "
                   "k.foreign_table_id AND f.foreign_key_id = k.foreign_key_id WHERE (k.foreign_table_id = " +
                       tid + " AND k.foreign_column_id = " + cid + ") OR (f.primary_table_id = " + tid +
                       " AND k.primary_column_id = " + cid + ")"))
    Fail(-127, "Cannot alter a column in an index");
}

}  // namespace

int Session::DbSpaceId(const std::string& name) {
  if (name.empty()) return 0;
  Stmt q(Db(), "SELECT file_id FROM SYSFILE WHERE dbspace_name = ?");
  q.Bind(1, name);
  if (!q.Step()) Fail(-138, "Dbspace '" + name + "' not found");
  return static_cast<int>(q.Int(0));
}

void Session::CreateTable(const CreateTableStmt& s) {
  int owner = OwnerFor(s.table);
  if (FindTable(Db(), owner, s.table.name)) Fail(-110, "Item '" + s.table.name + "' already exists");
  int64_t id = NextId(Db(), "SELECT max(table_id) FROM SYSTABLE", 100);
  // A temporary table's last_page says what a commit does to its rows: 1 deletes them.
  Exec(Db(), "INSERT INTO SYSTABLE (table_id, file_id, creator, last_page, table_type, table_name) VALUES "
             "(?, ?, ?, ?, ?, ?)",
       {s.globalTemporary ? "GBL TEMP" : "BASE", s.table.name},
       {id, DbSpaceId(s.dbspace), owner, s.globalTemporary && !s.preserveRows ? 1 : 0});
  AsaTable t;
  t.id = id;
  t.creator = owner;
  t.name = s.table.name;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    for (size_t j = 0; j < i; ++j)
      if (strcasecmp(s.columns[j].name.c_str(), s.columns[i].name.c_str()) == 0)
        Fail(-110, "Item '" + s.columns[i].name + "' already exists");
    AddColumn(t, s.columns[i], static_cast<int>(i) + 1);
  }
  t = *LoadTable(Db(), id);
  int primaryKeys = 0;
  auto add = [&](const KeyDef& k) {
    if (k.kind == KeyDef::PrimaryKey && ++primaryKeys > 1) Fail(-126, "Table cannot have two primary keys");
    AddKey(t, k, true);
    t = *LoadTable(Db(), id);
  };
  for (const auto& c : s.columns)
    for (const auto& k : c.keys) add(k);
  for (const auto& k : s.keys) add(k);
  RebuildTable(Db(), id, {}, false);
}

void Session::AddColumn(const AsaTable& t, const ColumnDef& c, int columnId) {
  auto type = ResolveType(Db(), c.type);
  if (!type) Fail(-613, "User-defined type '" + c.type.name + "' not found");
  std::string def = c.identity ? std::string("autoincrement") : c.defaultText;
  // An autoincrement column always holds a value.
  bool nullable = !c.identity && c.nullable.value_or(true);
  Stmt q(Db(), "INSERT INTO SYSCOLUMN (table_id, column_id, domain_id, nulls, width, scale, column_name, \"default\", "
               "user_type) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  q.Bind(1, t.id).Bind(2, int64_t{columnId}).Bind(3, int64_t{type->domain}).Bind(4, std::string(nullable ? "Y" : "N"));
  q.Bind(5, int64_t{type->width}).Bind(6, int64_t{type->scale}).Bind(7, c.name);
  if (def.empty()) q.BindNull(8);
  else q.Bind(8, def);
  if (type->userType) q.Bind(9, int64_t{type->userType});
  else q.BindNull(9);
  q.Step();
}

void Session::RefuseDuplicateKeys(const AsaTable& t, const std::vector<std::string>& cols, const std::string& index) {
  if (!FirstDuplicateKey(Db(), PhysicalName(t.id), cols)) return;
  if (index.empty()) Fail(-193, "Primary key for table '" + t.name + "' is not unique");
  Fail(-196, "Index '" + index + "' for table '" + t.name + "' would not be unique");
}

void Session::NumberRows(const AsaTable& t, const AsaColumn& c) {
  const std::string table = SqlIdent(DataTable(t)), column = SqlIdent(c.name);
  ExecSql(Db(), "UPDATE " + table + " SET " + column + " = n.number FROM (SELECT rowid AS id, row_number() OVER "
                "(ORDER BY rowid) AS number FROM " + table + ") n WHERE n.id = " + table + ".rowid;"
                "UPDATE SYSCOLUMN SET max_identity = (SELECT count(*) FROM " + table + ") WHERE table_id = " +
                std::to_string(t.id) + " AND column_id = " + std::to_string(c.id));
}

void Session::AddKey(const AsaTable& t, const KeyDef& k, bool creating) {
  std::vector<std::string> cols;
  for (const auto& name : k.columns) {
    const AsaColumn* c = t.Column(name);
    if (!c) Fail(-143, "Column '" + name + "' not found");
    cols.push_back(c->name);
  }
  std::string tid = std::to_string(t.id);
  switch (k.kind) {
    case KeyDef::PrimaryKey: {
      for (const auto& c : t.columns)
        if (c.pkey) Fail(creating ? -126 : -112, creating ? "Table cannot have two primary keys" : "Table already has a primary key");
      if (!creating) RefuseDuplicateKeys(t, cols, "");
      for (const auto& c : cols)
        Exec(Db(), "UPDATE SYSCOLUMN SET pkey = 'Y', nulls = 'N' WHERE table_id = ? AND column_name = ?", {c}, {t.id});
      if (!k.name.empty())
        Exec(Db(), "INSERT INTO SYSCONSTRAINT (constraint_id, table_id, constraint_type, constraint_name) VALUES "
                   "((SELECT coalesce(max(constraint_id), 0) + 1 FROM SYSCONSTRAINT), ?, 'P', ?)", {k.name}, {t.id});
      if (k.clustered.value_or(false)) Cluster(t, 0);
      return;
    }
    case KeyDef::Unique: {
      // The columns of a unique constraint may not hold NULL (a unique index's may).
      for (const auto& n : cols)
        if (t.Column(n)->nullable) Fail(-195, "Column '" + n + "' in table '" + t.name + "' cannot be NULL");
      std::string name = k.name.empty() ? t.name + "_UNIQUE" + std::to_string(QueryInt(Db(), "SELECT count(*) + 1 FROM SYSINDEX WHERE table_id = " + tid)) : k.name;
      if (!creating) RefuseDuplicateKeys(t, cols, name);
      int64_t index = AddIndex(t, name, cols, k.descending, "U", 0);
      if (k.clustered.value_or(false)) Cluster(t, index);
      return;
    }
    case KeyDef::ForeignKey: {
      AsaTable parent = RequireTable(k.refTable);
      std::vector<int> parentCols;
      if (k.refColumns.empty()) {
        for (const auto& c : parent.columns)
          if (c.pkey) parentCols.push_back(c.id);
        if (parentCols.empty()) Fail(-118, "Table '" + parent.name + "' has no primary key");
      } else {
        for (const auto& n : k.refColumns) {
          const AsaColumn* c = parent.Column(n);
          if (!c) Fail(-143, "Column '" + n + "' not found");
          parentCols.push_back(c->id);
        }
      }
      if (parentCols.size() != cols.size()) Fail(-131, "Syntax error near 'REFERENCES' on line 1");
      std::string role = k.name.empty() ? parent.name : k.name;
      Stmt dup(Db(), "SELECT 1 FROM SYSFOREIGNKEY WHERE foreign_table_id = ? AND role = ?");
      dup.Bind(1, t.id).Bind(2, role);
      if (dup.Step())
        Fail(-251, "Foreign key '" + role + "' for table '" + t.name + "' duplicates an existing foreign key");
      int64_t fkid = NextId(Db(), "SELECT max(foreign_key_id) FROM SYSFOREIGNKEY WHERE foreign_table_id = " + tid, 1);
      Exec(Db(), "INSERT INTO SYSFOREIGNKEY (foreign_table_id, foreign_key_id, primary_table_id, role) VALUES (?, ?, ?, ?)",
           {role}, {t.id, fkid, parent.id});
      std::string allSet, match;
      for (size_t i = 0; i < cols.size(); ++i) {
        Exec(Db(), "INSERT INTO SYSFKCOL VALUES (?, ?, ?, ?)", {},
             {t.id, fkid, int64_t{t.Column(cols[i])->id}, int64_t{parentCols[i]}});
        std::string parentCol;
        for (const auto& c : parent.columns)
          if (c.id == parentCols[i]) parentCol = c.name;
        allSet += (i ? " AND c." : "c.") + SqlIdent(cols[i]) + " IS NOT NULL";
        match += (i ? " AND p." : "p.") + SqlIdent(parentCol) + " = c." + SqlIdent(cols[i]);
      }
      // A referential action other than restrict is a system trigger of the referenced table.
      for (const auto& [event, action] : {std::pair{"U", k.updateAction}, std::pair{"D", k.deleteAction}}) {
        if (action == 'R') continue;
        Exec(Db(), "INSERT INTO SYSTRIGGER (trigger_id, table_id, foreign_table_id, foreign_key_id, event, "
                   "referential_action, trigger_time, trigger_defn) VALUES ((SELECT coalesce(max(trigger_id), 0) + 1 "
                   "FROM SYSTRIGGER), ?, ?, ?, ?, ?, 'A', '')",
             {event, std::string(1, action)}, {parent.id, t.id, fkid});
      }
      // Rows already there must have their parents.
      if (!creating && QueryInt(Db(), "SELECT EXISTS (SELECT 1 FROM " + SqlIdent(PhysicalName(t.id)) + " c WHERE " +
                                          allSet + " AND NOT EXISTS (SELECT 1 FROM " +
                                          SqlIdent(PhysicalName(parent.id)) + " p WHERE " + match + "))"))
        Fail(-194, "No primary key value for foreign key '" + role + "' in table '" + t.name + "'");
      return;
    }
    case KeyDef::Check: {
      // A column's condition is kept in SYSCOLUMN, a table's in SYSCHECK under its constraint
      // (named "ASA" + its number when the statement names none); the table checks both.
      if (!k.name.empty()) {
        Stmt dup(Db(), "SELECT 1 FROM SYSCONSTRAINT WHERE table_id = ? AND constraint_name = ?");
        dup.Bind(1, t.id).Bind(2, k.name);
        if (dup.Step()) Fail(-110, "Item '" + k.name + "' already exists");
      }
      int64_t id = NextId(Db(), "SELECT max(constraint_id) FROM SYSCONSTRAINT", 1);
      std::string name = k.name.empty() ? "ASA" + std::to_string(id) : k.name;
      if (cols.size() == 1) {
        int64_t column = t.Column(cols[0])->id;
        Exec(Db(), "UPDATE SYSCOLUMN SET \"check\" = ?3 WHERE table_id = ?1 AND column_id = ?2", {k.checkText},
             {t.id, column});
        if (!k.name.empty())
          Exec(Db(), "INSERT INTO SYSCONSTRAINT (constraint_id, table_id, column_id, constraint_type, "
                     "constraint_name) VALUES (?, ?, ?, 'C', ?)", {name}, {id, t.id, column});
        return;
      }
      Exec(Db(), "INSERT INTO SYSCONSTRAINT (constraint_id, table_id, constraint_type, constraint_name) VALUES "
                 "(?, ?, 'T', ?)", {name}, {id, t.id});
      Exec(Db(), "INSERT INTO SYSCHECK (check_id, check_defn) VALUES (?, ?)", {k.checkText}, {id});
      return;
    }
  }
}

int64_t Session::AddIndex(const AsaTable& t, const std::string& name, const std::vector<std::string>& cols,
                          const std::vector<bool>& desc, const char* unique, int fileId) {
  Stmt dup(Db(), "SELECT 1 FROM SYSINDEX WHERE table_id = ? AND index_name = ?");
  dup.Bind(1, t.id).Bind(2, name);
  if (dup.Step()) Fail(-111, "Index name '" + name + "' not unique");
  int64_t index = NextId(Db(), "SELECT max(index_id) FROM SYSINDEX WHERE table_id = " + std::to_string(t.id), 1);
  Exec(Db(), "INSERT INTO SYSINDEX (table_id, index_id, file_id, creator, \"unique\", index_name) VALUES (?, ?, ?, ?, ?, ?)",
       {unique, name}, {t.id, index, fileId, t.creator});
  for (size_t i = 0; i < cols.size(); ++i) {
    const AsaColumn* c = t.Column(cols[i]);
    if (!c) Fail(-143, "Column '" + cols[i] + "' not found");
    Exec(Db(), "INSERT INTO SYSIXCOL VALUES (?, ?, ?, ?, ?)", {i < desc.size() && desc[i] ? "D" : "A"},
         {t.id, index, static_cast<int64_t>(i), int64_t{c->id}});
  }
  return index;
}

void Session::Cluster(const AsaTable& t, int64_t indexId) {
  ExecSql(Db(), "DELETE FROM SYSATTRIBUTE WHERE object_id = " + std::to_string(t.id) + " AND object_type = 'T'");
  Exec(Db(), "INSERT INTO SYSATTRIBUTE VALUES (?, 'T', 1, ?)", {}, {t.id, indexId});
}

void Session::CreateIndex(const CreateIndexStmt& s) {
  AsaTable t = RequireTable(s.table);
  if (t.type == "VIEW") Fail(-141, "Table '" + t.name + "' not found");
  if (s.unique) RefuseDuplicateKeys(t, s.columns, s.name);
  int64_t index = AddIndex(t, s.name, s.columns, s.descending, s.unique ? "Y" : "N", DbSpaceId(s.dbspace));
  if (s.clustered) Cluster(t, index);
  PhysicalIndex ix;
  ix.name = "asa_ix_" + std::to_string(t.id) + "_" + std::to_string(index);
  ix.unique = s.unique;
  for (size_t i = 0; i < s.columns.size(); ++i)
    ix.keys.push_back(SqlIdent(t.Column(s.columns[i])->name) +
                      (i < s.descending.size() && s.descending[i] ? " DESC" : ""));
  CreatePhysicalIndex(Db(), PhysicalName(t.id), ix);
}

void Session::Rebuild(const AsaTable& before, const std::vector<std::string>& sources) {
  RebuildTable(Db(), before.id, sources, true);
}

void Session::AlterTable(const AlterTableStmt& s) {
  for (const auto& a : s.clauses) {
    AsaTable t = RequireTable(s.table);
    if (t.type == "VIEW" || t.creator == kSysUser) Fail(-141, "Table '" + s.table.name + "' not found");
    std::vector<std::string> same = KeptColumns(t.columns);
    std::string tid = std::to_string(t.id);
    switch (a.kind) {
      case AlterClause::AddColumn: {
        if (t.Column(a.column.name)) Fail(-110, "Item '" + a.column.name + "' already exists");
        AddColumn(t, a.column, static_cast<int>(t.columns.size()) + 1);
        Rebuild(t, same);
        AsaTable after = *LoadTable(Db(), t.id);
        // The rows there take their numbers in their order, before a key over them is checked.
        if (a.column.identity) NumberRows(after, *after.Column(a.column.name));
        if (a.column.keys.empty()) break;
        for (const auto& k : a.column.keys) AddKey(after, k, false);
        same.push_back(SqlIdent(a.column.name));
        Rebuild(after, same);
        break;
      }
      case AlterClause::AddKey:
        AddKey(t, a.key, false);
        Rebuild(t, same);
        break;
      case AlterClause::Modify:
        Modify(t, a);
        Rebuild(t, same);
        break;
      case AlterClause::RenameColumn: {
        const AsaColumn* c = t.Column(a.name);
        if (!c) Fail(-143, "Column '" + a.name + "' not found");
        if (t.Column(a.newName)) Fail(-110, "Item '" + a.newName + "' already exists");
        Stmt q(Db(), "UPDATE SYSCOLUMN SET column_name = ? WHERE table_id = ? AND column_id = ?");
        q.Bind(1, a.newName).Bind(2, t.id).Bind(3, int64_t{c->id});
        q.Step();
        RenameInChecks(t, c->name, a.newName);
        Rebuild(t, same);
        break;
      }
      case AlterClause::RenameTable:
        if (FindTable(Db(), t.creator, a.newName)) Fail(-110, "Item '" + a.newName + "' already exists");
        {
          Stmt q(Db(), "UPDATE SYSTABLE SET table_name = ? WHERE table_id = ?");
          q.Bind(1, a.newName).Bind(2, t.id);
          q.Step();
        }
        RebindViews();
        break;
      case AlterClause::DropColumn: {
        const AsaColumn* c = t.Column(a.name);
        if (!c) Fail(-143, "Column '" + a.name + "' not found");
        std::string cid = std::to_string(c->id);
        RefuseIndexedColumn(Db(), t, *c);
        if (t.columns.size() == 1) Fail(-124, "Dropping all columns from table '" + t.name + "' is not allowed");
        ExecSql(Db(), "DELETE FROM SYSCOLUMN WHERE table_id = " + tid + " AND column_id = " + cid + ";"
                      "UPDATE SYSCOLUMN SET column_id = column_id - 1 WHERE table_id = " + tid + " AND column_id > " + cid + ";"
                      "UPDATE SYSIXCOL SET column_id = column_id - 1 WHERE table_id = " + tid + " AND column_id > " + cid + ";"
                      "DELETE FROM SYSCONSTRAINT WHERE table_id = " + tid + " AND column_id = " + cid + " AND "
                      "constraint_type = 'C';"
                      "UPDATE SYSCONSTRAINT SET column_id = column_id - 1 WHERE table_id = " + tid + " AND column_id > " + cid + ";"
                      "UPDATE SYSFKCOL SET foreign_column_id = foreign_column_id - 1 WHERE foreign_table_id = " + tid +
                      " AND foreign_column_id > " + cid + ";"
                      "UPDATE SYSFKCOL SET primary_column_id = primary_column_id - 1 WHERE primary_column_id > " + cid +
                      " AND EXISTS (SELECT 1 FROM SYSFOREIGNKEY f WHERE f.foreign_table_id = SYSFKCOL.foreign_table_id "
                      "AND f.foreign_key_id = SYSFKCOL.foreign_key_id AND f.primary_table_id = " + tid + ")");
        std::vector<std::string> sources;
        for (const auto& col : t.columns)
          if (col.id != c->id) sources.push_back(SqlIdent(col.name));
        Rebuild(t, sources);
        break;
      }
      case AlterClause::DropPrimaryKey:
        if (QueryInt(Db(), "SELECT count(*) FROM SYSCOLUMN WHERE pkey = 'Y' AND table_id = " + tid) == 0)
          Fail(-118, "Table '" + t.name + "' has no primary key");
        ExecSql(Db(), "UPDATE SYSCOLUMN SET pkey = 'N' WHERE table_id = " + tid + ";"
                      "DELETE FROM SYSCONSTRAINT WHERE table_id = " + tid + " AND constraint_type = 'P';"
                      "DELETE FROM SYSATTRIBUTE WHERE object_id = " + tid + " AND attribute_value = 0");
        Rebuild(t, same);
        break;
      case AlterClause::DropConstraint: {
        Stmt ix(Db(), "SELECT index_id FROM SYSINDEX WHERE table_id = ? AND index_name = ? AND \"unique\" = 'U'");
        ix.Bind(1, t.id).Bind(2, a.name);
        Stmt fk(Db(), "SELECT foreign_key_id FROM SYSFOREIGNKEY WHERE foreign_table_id = ? AND role = ?");
        fk.Bind(1, t.id).Bind(2, a.name);
        Stmt pk(Db(), "SELECT 1 FROM SYSCONSTRAINT WHERE table_id = ? AND constraint_name = ? AND constraint_type = 'P'");
        pk.Bind(1, t.id).Bind(2, a.name);
        Stmt ck(Db(), "SELECT constraint_id, constraint_type, column_id FROM SYSCONSTRAINT WHERE table_id = ? AND "
                      "constraint_name = ? AND constraint_type IN ('C', 'T')");
        ck.Bind(1, t.id).Bind(2, a.name);
        if (ck.Step()) {
          std::string id = std::to_string(ck.Int(0));
          if (ck.Text(1) == "C")
            ExecSql(Db(), "UPDATE SYSCOLUMN SET \"check\" = NULL WHERE table_id = " + tid + " AND column_id = " +
                              std::to_string(ck.Int(2)));
          ExecSql(Db(), "DELETE FROM SYSCHECK WHERE check_id = " + id + ";DELETE FROM SYSCONSTRAINT WHERE "
                        "constraint_id = " + id);
        } else if (ix.Step()) {
          std::string id = std::to_string(ix.Int(0));
          ExecSql(Db(), "DELETE FROM SYSINDEX WHERE table_id = " + tid + " AND index_id = " + id + ";"
                        "DELETE FROM SYSIXCOL WHERE table_id = " + tid + " AND index_id = " + id + ";"
                        "DELETE FROM SYSATTRIBUTE WHERE object_id = " + tid + " AND attribute_value = " + id);
        } else if (fk.Step()) {
          std::string id = std::to_string(fk.Int(0));
          ExecSql(Db(), "DELETE FROM SYSFOREIGNKEY WHERE foreign_table_id = " + tid + " AND foreign_key_id = " + id + ";"
                        "DELETE FROM SYSFKCOL WHERE foreign_table_id = " + tid + " AND foreign_key_id = " + id + ";"
                        "DELETE FROM SYSTRIGGER WHERE foreign_table_id = " + tid + " AND foreign_key_id = " + id);
        } else if (pk.Step()) {
          ExecSql(Db(), "UPDATE SYSCOLUMN SET pkey = 'N' WHERE table_id = " + tid + ";"
                        "DELETE FROM SYSCONSTRAINT WHERE table_id = " + tid + " AND constraint_type = 'P';"
                        "DELETE FROM SYSATTRIBUTE WHERE object_id = " + tid + " AND attribute_value = 0");
        } else {
          Fail(-145, "Foreign key name '" + a.name + "' not found");
        }
        Rebuild(t, same);
        break;
      }
    }
  }
}

void Session::RenameInChecks(const AsaTable& t, const std::string& from, const std::string& to) {
  std::vector<std::pair<int64_t, std::string>> columns, tables;
  {
    Stmt q(Db(), "SELECT column_id, \"check\" FROM SYSCOLUMN WHERE table_id = ? AND \"check\" IS NOT NULL");
    q.Bind(1, t.id);
    while (q.Step()) columns.emplace_back(q.Int(0), q.Text(1));
    Stmt k(Db(), "SELECT k.check_id, k.check_defn FROM SYSCHECK k JOIN SYSCONSTRAINT c ON c.constraint_id = "
                 "k.check_id WHERE c.table_id = ?");
    k.Bind(1, t.id);
    while (k.Step()) tables.emplace_back(k.Int(0), k.Text(1));
  }
  for (const auto& [id, text] : columns)
    Exec(Db(), "UPDATE SYSCOLUMN SET \"check\" = ?3 WHERE table_id = ?1 AND column_id = ?2",
         {RenameInCondition(text, from, to)}, {t.id, id});
  for (const auto& [id, text] : tables)
    Exec(Db(), "UPDATE SYSCHECK SET check_defn = ?2 WHERE check_id = ?1", {RenameInCondition(text, from, to)}, {id});
}

// A column that becomes decimal or numeric must hold every value in its new precision: the
// first value with more whole digits is refused.
void Session::RefuseValuesPastPrecision(const AsaTable& t, const AsaColumn& c, const TypeSpec& spec) {
  const auto type = ResolveType(Db(), spec);
  if (!type || (type->domain != 3 && type->domain != 27)) return;
  const std::string column = SqlIdent(c.name);
  Stmt q(Db(), "SELECT CAST(" + column + " AS TEXT) FROM " + SqlIdent(DataTable(t)) + " WHERE abs(round(" + column +
                   ", ?1)) >= " + std::to_string(std::pow(10.0, type->width - type->scale)) + " LIMIT 1");
  q.Bind(1, int64_t{type->scale});
  if (q.Step()) Fail(-158, "Value " + q.Text(0) + " out of range for destination");
}

void Session::Modify(const AsaTable& t, const AlterClause& a) {
  const AsaColumn* c = t.Column(a.column.name);
  if (!c) Fail(-143, "Column '" + a.column.name + "' not found");
  if (a.typeWritten) RefuseValuesPastPrecision(t, *c, a.column.type);
  Stmt q(Db(), "UPDATE SYSCOLUMN SET nulls = coalesce(?, nulls), \"default\" = CASE WHEN ? THEN ? ELSE \"default\" END "
               "WHERE table_id = ? AND column_id = ?");
  if (a.column.nullable) q.Bind(1, std::string(*a.column.nullable ? "Y" : "N"));
  else q.BindNull(1);
  bool newDefault = a.column.identity || !a.column.defaultText.empty();
  q.Bind(2, int64_t{newDefault ? 1 : 0});
  q.Bind(3, a.column.identity ? std::string("autoincrement") : a.column.defaultText);
  q.Bind(4, t.id).Bind(5, int64_t{c->id});
  q.Step();
  if (a.typeWritten) {
    RefuseIndexedColumn(Db(), t, *c);
    auto type = ResolveType(Db(), a.column.type);
    if (!type) Fail(-613, "User-defined type '" + a.column.type.name + "' not found");
    Stmt u(Db(), "UPDATE SYSCOLUMN SET domain_id = ?, width = ?, scale = ?, user_type = ? WHERE table_id = ? AND "
                 "column_id = ?");
    u.Bind(1, int64_t{type->domain}).Bind(2, int64_t{type->width}).Bind(3, int64_t{type->scale});
    if (type->userType) u.Bind(4, int64_t{type->userType});
    else u.BindNull(4);
    u.Bind(5, t.id).Bind(6, int64_t{c->id});
    u.Step();
  }
}

void Session::Drop(const DropStmt& s) {
  if (s.what == "table" || s.what == "view") {
    AsaTable t = RequireTable(s.name);
    if ((s.what == "view") != (t.type == "VIEW") || t.creator == kSysUser)
      Fail(-141, "Table '" + s.name.name + "' not found");
    std::string tid = std::to_string(t.id);
    // A table other tables' foreign keys reference stays until those keys are dropped.
    if (QueryInt(Db(), "SELECT count(*) FROM SYSFOREIGNKEY WHERE primary_table_id = " + tid +
                           " AND foreign_table_id <> " + tid))
      Fail(-198, "Primary key for row in table '" + t.name + "' is referenced in another table");
    ExecSql(Db(), "DELETE FROM SYSTABLE WHERE table_id = " + tid + ";DELETE FROM SYSCOLUMN WHERE table_id = " + tid +
                      ";DELETE FROM SYSINDEX WHERE table_id = " + tid + ";DELETE FROM SYSIXCOL WHERE table_id = " + tid +
                      ";DELETE FROM SYSFKCOL WHERE foreign_table_id = " + tid +
                      " OR EXISTS (SELECT 1 FROM SYSFOREIGNKEY f WHERE f.foreign_table_id = SYSFKCOL.foreign_table_id "
                      "AND f.foreign_key_id = SYSFKCOL.foreign_key_id AND f.primary_table_id = " + tid + ")"
                      ";DELETE FROM SYSFOREIGNKEY WHERE foreign_table_id = " + tid + " OR primary_table_id = " + tid +
                      ";DELETE FROM SYSTRIGGER WHERE table_id = " + tid + " OR foreign_table_id = " + tid +
                      ";DELETE FROM SYSATTRIBUTE WHERE object_id = " +
                      tid + ";DELETE FROM SYSCHECK WHERE check_id IN (SELECT constraint_id FROM SYSCONSTRAINT "
                      "WHERE table_id = " + tid + ");DELETE FROM SYSCONSTRAINT WHERE table_id = " + tid + ";DROP " +
                      (t.type == "VIEW" ? "VIEW " : "TABLE ") + SqlIdent(PhysicalName(t.id)));
    return;
  }
  if (s.what == "procedure" || s.what == "function") {
    Stmt q(Db(), "SELECT proc_id FROM SYSPROCEDURE WHERE proc_name = ? AND (? = '' OR creator = (SELECT user_id FROM "
                 "SYSUSERPERM WHERE user_name = ?))");
    q.Bind(1, s.name.name).Bind(2, s.name.owner).Bind(3, s.name.owner);
    if (!q.Step()) Fail(-265, "Procedure '" + s.name.name + "' not found");
    ExecSql(Db(), "DELETE FROM SYSPROCEDURE WHERE proc_id = " + std::to_string(q.Int(0)));
    return;
  }
  if (s.what == "trigger") {
    Stmt q(Db(), "SELECT trigger_id FROM SYSTRIGGER WHERE trigger_name = ?");
    q.Bind(1, s.name.name);
    if (!q.Step()) Fail(-268, "Trigger '" + s.name.name + "' not found");
    ExecSql(Db(), "DELETE FROM SYSTRIGGER WHERE trigger_id = " + std::to_string(q.Int(0)));
    return;
  }
  // DROP INDEX [[owner.]table.]index
  Stmt q(Db(), "SELECT i.table_id, i.index_id FROM SYSINDEX i JOIN SYSTABLE t ON t.table_id = i.table_id JOIN "
               "SYSUSERPERM u ON u.user_id = t.creator WHERE i.index_name = ? AND (? = '' OR t.table_name = ?) AND "
               "(? = '' OR u.user_name = ?) AND i.\"unique\" <> 'U'");
  q.Bind(1, s.name.name).Bind(2, s.table).Bind(3, s.table).Bind(4, s.name.owner).Bind(5, s.name.owner);
  if (!q.Step()) Fail(-183, "Cannot find index named '" + s.name.name + "'");
  const int64_t tableId = q.Int(0);
  std::string tid = std::to_string(tableId), id = std::to_string(q.Int(1));
  ExecSql(Db(), "DELETE FROM SYSINDEX WHERE table_id = " + tid + " AND index_id = " + id +
                    ";DELETE FROM SYSIXCOL WHERE table_id = " + tid + " AND index_id = " + id +
                    ";DELETE FROM SYSATTRIBUTE WHERE object_id = " + tid + " AND attribute_value = " + id);
  if (!DropPhysicalIndex(Db(), PhysicalName(tableId), "asa_ix_" + tid + "_" + id)) {
    RebuildTable(Db(), tableId, KeptColumns(LoadTable(Db(), tableId)->columns), true);
  }
}

void Session::Comment(const CommentStmt& s) {
  const AsaTable t = RequireTable(s.table);
  const AsaColumn* c = s.column ? t.Column(s.columnName) : nullptr;
  if (s.column && !c) Fail(-143, "Column '" + s.columnName + "' not found");
  Stmt q(Db(), c ? "UPDATE SYSCOLUMN SET remarks = ?1 WHERE table_id = ?2 AND column_id = ?3"
                 : "UPDATE SYSTABLE SET remarks = ?1 WHERE table_id = ?2");
  if (s.text) q.Bind(1, *s.text);
  else q.BindNull(1);
  q.Bind(2, t.id);
  if (c) q.Bind(3, int64_t{c->id});
  q.Step();
}

void Session::RebindViews() {
  std::vector<std::pair<int64_t, std::string>> views;
  {
    Stmt q(Db(), "SELECT table_id, view_def FROM SYSTABLE WHERE table_type = 'VIEW' AND view_def IS NOT NULL");
    while (q.Step()) views.emplace_back(q.Int(0), q.Text(1));
  }
  for (const auto& [id, text] : views) {
    std::string query;
    sharedNames_ = true;
    try {
      const auto statements = ParseBatch(text);
      const auto* view = statements.size() == 1 && statements[0]->kind == Statement::kCreateModule
                             ? static_cast<const CreateModuleStmt*>(statements[0].get())
                             : nullptr;
      if (view != nullptr && view->select) query = Tr().Query(*view->select);
    } catch (const std::exception&) {
      query.clear();
    }
    sharedNames_ = false;
    if (query.empty()) continue;
    const std::string physical = SqlIdent(PhysicalName(id));
    ExecSql(Db(), "DROP VIEW IF EXISTS " + physical + ";CREATE VIEW " + physical + " AS " + query);
  }
}

void Session::CreateModule(const CreateModuleStmt& s) {
  int owner = OwnerFor(s.name);
  if (s.what == "view") {
    if (FindTable(Db(), owner, s.name.name)) Fail(-110, "Item '" + s.name.name + "' already exists");
    int64_t id = QueryInt(Db(), "SELECT max(table_id) FROM SYSTABLE", 0) + 1;
    id = std::max<int64_t>(id, 100);
    // A view reads a temporary table through its shared name: the definition outlives this
    // connection's rows.
    sharedNames_ = true;
    std::string query;
    try {
      query = Tr().Query(*s.select);
    } catch (...) {
      sharedNames_ = false;
      throw;
    }
    sharedNames_ = false;
    Stmt ins(Db(), "INSERT INTO SYSTABLE (table_id, creator, table_name, table_type, view_def) VALUES (?, ?, ?, 'VIEW', ?)");
    ins.Bind(1, id).Bind(2, int64_t{owner}).Bind(3, s.name.name).Bind(4, s.text);
    ins.Step();
    ExecSql(Db(), "CREATE VIEW " + SqlIdent(PhysicalName(id)) + " AS " + query);
    // Its columns, typed from what the query gives.
    Stmt cols(Db(), "SELECT name, lower(type) FROM pragma_table_info(?)");
    cols.Bind(1, PhysicalName(id));
    int colid = 0;
    while (cols.Step()) {
      std::string decl = cols.Text(1);
      TypeSpec spec;
      spec.name = decl.rfind("varchar", 0) == 0 ? "varchar" : decl == "int" ? "integer" : decl == "datetime" ? "timestamp"
                  : decl.rfind("numeric", 0) == 0 || decl.rfind("decimal", 0) == 0 ? "numeric" : "long varchar";
      if (spec.name == "varchar") spec.length = std::atoi(decl.c_str() + 8);
      auto type = ResolveType(Db(), spec);
      Stmt c(Db(), "INSERT INTO SYSCOLUMN (table_id, column_id, domain_id, width, scale, column_name) VALUES (?, ?, ?, ?, ?, ?)");
      c.Bind(1, id).Bind(2, int64_t{++colid}).Bind(3, int64_t{type->domain}).Bind(4, int64_t{type->width});
      c.Bind(5, int64_t{type->scale}).Bind(6, cols.Text(0));
      c.Step();
    }
    return;
  }
  if (s.what == "trigger") {
    AsaTable t = RequireTable(s.table);
    Stmt dup(Db(), "SELECT 1 FROM SYSTRIGGER WHERE trigger_name = ?");
    dup.Bind(1, s.name.name);
    if (dup.Step()) Fail(-110, "Item '" + s.name.name + "' already exists");
    std::string event = s.event.empty() ? "I" : std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(s.event[0]))));
    Stmt ins(Db(), "INSERT INTO SYSTRIGGER (trigger_id, table_id, event, trigger_time, trigger_name, trigger_defn) "
                   "VALUES ((SELECT coalesce(max(trigger_id), 0) + 1 FROM SYSTRIGGER), ?, ?, ?, ?, ?)");
    ins.Bind(1, t.id).Bind(2, event).Bind(3, std::string(text::Upper(s.time) == "BEFORE" ? "B" : "A"));
    ins.Bind(4, s.name.name).Bind(5, s.text);
    ins.Step();
    return;
  }
  Stmt dup(Db(), "SELECT 1 FROM SYSPROCEDURE WHERE creator = ? AND proc_name = ?");
  dup.Bind(1, int64_t{owner}).Bind(2, s.name.name);
  if (dup.Step()) Fail(-110, "Item '" + s.name.name + "' already exists");
  Stmt ins(Db(), "INSERT INTO SYSPROCEDURE (proc_id, creator, proc_name, proc_defn) VALUES ((SELECT coalesce(max(proc_id), "
                 "0) + 1 FROM SYSPROCEDURE), ?, ?, ?)");
  ins.Bind(1, int64_t{owner}).Bind(2, s.name.name).Bind(3, s.text);
  ins.Step();
}

}  // namespace servers::asa
