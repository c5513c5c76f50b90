// Tables, columns and their constraints: CREATE, ALTER and DROP TABLE kept in step in the
// catalogue and in SQLite.
#include <algorithm>
#include <set>

#include "common/Text.h"
#include "servers/core/Statements.h"
#include "servers/sqlserver/Enforcement.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"
#include "servers/sqlserver/UserTypes.h"

namespace servers::sqlserver {

using text::Lower;

void Session::TouchObject(int64_t id) {
  Stmt u(Db(), "UPDATE sysobjects SET schema_ver = schema_ver + 16 WHERE id = ?");
  u.Bind(1, id);
  u.Step();
}

void Session::CreateTable(const CreateTableStmt& s) {
  if (!s.table.db.empty() && Lower(s.table.db) != Lower(database_))
    Fail(2702, "Database '" + s.table.db + "' does not exist.");
  int uid = OwnerForCreate(s.table);
  if (FindObject(Db(), s.table.name, uid)) DuplicateObject(s.table.name);
  if (s.columns.empty()) FailSyntax(s.line, ")");
  int groupid = PlacementGroupId(Db(), s.fileGroup);
  int textGroup = s.textImageGroup.empty() ? groupid : PlacementGroupId(Db(), s.textImageGroup);
  int64_t id = NewObjectId(Db());
  std::string now = NowText();
  {
    Stmt ins(Db(), "INSERT INTO sysobjects (name, id, xtype, uid, parent_obj, crdate, type, refdate, "
                   "status, sysstat, category) VALUES (?, ?, 'U', ?, 0, ?, 'U', ?, 1610612736, 3, 0)");
    ins.Bind(1, s.table.name).Bind(2, id).Bind(3, int64_t{uid}).Bind(4, now).Bind(5, now);
    ins.Step();
  }
  TableInfo t;
  t.id = id;
  t.name = s.table.name;
  t.xtype = "U";
  t.uid = uid;
  t.physical = PhysicalName(uid, t.name);
  // Key columns are NOT NULL unless declared NULL, which the server refuses.
  std::set<std::string> keyColumns;
  for (const auto& c : s.constraints)
    if (c.kind == ConstraintDef::PrimaryKey)
      for (const auto& k : c.columns) keyColumns.insert(Lower(k));
  for (const auto& col : s.columns)
    for (const auto& c : col.constraints)
      if (c.kind == ConstraintDef::PrimaryKey) keyColumns.insert(Lower(col.name));
  int64_t nextId = id + 1;
  int colid = 1;
  for (const auto& col : s.columns) {
    for (const auto& other : t.columns)
      if (text::SameText(other.name, col.name))
        Fail(2705, "Column names in each table must be unique. Column name '" + col.name +
                       "' in table '" + t.name + "' is specified more than once.");
    if (keyColumns.count(Lower(col.name))) {
      if (col.nullable && *col.nullable)
        Fail(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + t.name + "'.");
    }
    AddColumn(t, col, colid++);
    if (keyColumns.count(Lower(col.name))) {
      t.columns.back().nullable = false;
      Stmt u(Db(), "UPDATE syscolumns SET isnullable = 0, status = status & ~8 WHERE id = ? AND colid = ?");
      u.Bind(1, id).Bind(2, int64_t{t.columns.back().colid});
      u.Step();
    }
  }
  {
    Stmt heap(Db(), "INSERT INTO sysindexes (id, status, indid, groupid, name, keycnt) VALUES (?, 0, 0, ?, ?, 0)");
    heap.Bind(1, id).Bind(2, int64_t{groupid}).Bind(3, t.name);
    heap.Step();
  }
  RefreshTextImageEntry(t, textGroup);
  // Keys first: a foreign key of the table may reference its own key.
  for (int pass = 0; pass < 2; ++pass) {
    auto wanted = [&](const ConstraintDef& c) {
      bool key = c.kind == ConstraintDef::PrimaryKey || c.kind == ConstraintDef::Unique;
      return pass == 0 ? key : !key;
    };
    for (const auto& col : s.columns)
      for (const auto& c : col.constraints)
        if (wanted(c)) AddConstraint(t, c, col.name, nextId, true, true);
    for (const auto& c : s.constraints)
      if (wanted(c)) AddConstraint(t, c, "", nextId, true, true);
  }
  RebuildPhysical(Db(), database_, id, {}, false);
  // The parents of its foreign keys need triggers for them; its id may be a dropped table's.
  EnforcementChanged(Db());
}

void Session::RefreshTextImageEntry(const TableInfo& t, int groupid) {
  bool hasLong = false;
  for (const auto& c : t.columns) hasLong |= IsLongType(c.xtype);
  int64_t existing = QueryInt(Db(), "SELECT count(*) FROM sysindexes WHERE id = " + std::to_string(t.id) + " AND indid = 255");
  if (hasLong && !existing) {
    if (groupid <= 0)
      groupid = static_cast<int>(QueryInt(Db(), "SELECT groupid FROM sysindexes WHERE id = " + std::to_string(t.id) + " AND indid IN (0, 1)", 1));
    Stmt ins(Db(), "INSERT INTO sysindexes (id, status, indid, groupid, name, keycnt) VALUES (?, 0, 255, ?, ?, 0)");
    ins.Bind(1, t.id).Bind(2, int64_t{groupid}).Bind(3, "t" + t.name);
    ins.Step();
  } else if (!hasLong && existing) {
    ExecSql(Db(), "DELETE FROM sysindexes WHERE id = " + std::to_string(t.id) + " AND indid = 255");
  }
}

namespace {

// A character or binary column longer than a row holds: 131.
void CheckSize(const SqlType& type, const TypeSpec& spec, const std::string& column) {
  if (type.sized && spec.length > 8000 / type.length)
    Fail(131, "The size (" + std::to_string(spec.length) + ") given to the column '" + column +
                  "' exceeds the maximum allowed for any data type (8000).");
}

// The types whose syscolumns.scale holds a number: exact numerics and money; the others' is NULL.
bool HasScale(const SqlType& type) {
  return type.decimal || type.xtype == 60 || type.xtype == 122 || type.xtype == 48 || type.xtype == 52 ||
         type.xtype == 56 || type.xtype == 127;
}

}  // namespace

void Session::AddColumn(TableInfo& t, const ColumnDef& col, int colid) {
  const SqlType* type = FindType(col.type.name);
  // A user type stands for its base type with the size it was made with.
  std::optional<UserType> userType;
  if (!type && col.type.length < 0 && (userType = FindUserType(Db(), col.type.name))) type = userType->base;
  if (!type) Fail(2715, "Column or parameter #" + std::to_string(colid) + ": Cannot find data type " + col.type.name + ".");
  const TypeSpec& spec = userType ? userType->spec : col.type;
  const int xusertype = userType ? userType->xusertype : type->xusertype;
  if (col.identity) {
    if (t.Identity())
      Fail(2744, "Multiple identity columns specified for table '" + t.name + "'. Only one identity column per table is allowed.");
    bool integral = type->xtype == 48 || type->xtype == 52 || type->xtype == 56 || type->xtype == 127 ||
                    ((type->xtype == 106 || type->xtype == 108) && spec.scale <= 0);
    if (!integral)
      Fail(2749, "Identity column '" + col.name + "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
    if (col.increment == 0) Fail(2751, "The increment for identity column '" + col.name + "' must be non-zero.");
  }
  ColumnStorage st = StorageOf(*type, spec);
  CheckSize(*type, spec, col.name);
  bool nullable = col.identity ? false : col.nullable.value_or(userType ? userType->allowNulls : true);
  if (col.identity && col.nullable && *col.nullable)
    Fail(8147, "Could not create IDENTITY attribute on nullable column '" + col.name + "', table '" + t.name + "'.");
  int status = (nullable ? 8 : 0) | (col.identity ? 0x80 : 0);
  std::string collation = type->character ? (col.collation.empty() ? kDefaultCollation : col.collation) : "";
  if (!col.collation.empty() && !type->character)
    Fail(447, "Expression type " + std::string(type->name) + " is invalid for COLLATE clause.");
  Stmt ins(Db(), "INSERT INTO syscolumns (name, id, xtype, xusertype, length, xprec, xscale, colid, colorder, "
                 "cdefault, collationid, status, type, usertype, prec, scale, isnullable, collation, typestat) "
                 "VALUES (?,?,?,?,?,?,?,?,?,0,?,?,?,?,?,?,?,?,?)");
  ins.Bind(1, col.name).Bind(2, t.id).Bind(3, int64_t{type->xtype}).Bind(4, int64_t{xusertype});
  ins.Bind(5, int64_t{st.length}).Bind(6, int64_t{type->decimal ? st.prec : type->prec}).Bind(7, int64_t{st.scale});
  ins.Bind(8, int64_t{colid}).Bind(9, int64_t{colid});
  if (type->character) ins.Bind(10, int64_t{872468488});
  else ins.BindNull(10);
  ins.Bind(11, int64_t{status}).Bind(12, int64_t{type->xtype})
      .Bind(13, int64_t{userType ? xusertype : type->xusertype == 256 ? 18 : type->xtype});
  ins.Bind(14, int64_t{st.prec});
  if (HasScale(*type))
    ins.Bind(15, int64_t{st.scale});
  else
    ins.BindNull(15);
  ins.Bind(16, int64_t{nullable ? 1 : 0});
  if (type->character) ins.Bind(17, collation);
  else ins.BindNull(17);
  ins.Bind(18, int64_t{type->sized ? 2 : 0});
  ins.Step();
  if (col.identity) {
    Stmt idt(Db(), "INSERT OR REPLACE INTO schm_identity (id, colid, seed, incr, current) VALUES (?, ?, ?, ?, NULL)");
    idt.Bind(1, t.id).Bind(2, int64_t{colid}).Bind(3, col.seed).Bind(4, col.increment);
    idt.Step();
  }
  ColumnInfo info;
  info.name = col.name;
  info.colid = colid;
  info.xtype = type->xtype;
  info.xusertype = xusertype;
  info.length = st.length;
  info.prec = st.prec;
  info.scale = st.scale;
  info.nullable = nullable;
  info.identity = col.identity;
  info.collation = collation;
  info.typeName = type->name;
  t.columns.push_back(info);
}

void Session::AddConstraint(const TableInfo& t, const ConstraintDef& c, const std::string& column,
                            int64_t& nextId, bool creating, bool check) {
  std::string name = c.name;
  int64_t id = std::max(nextId, NewObjectId(Db()));
  nextId = id + 1;
  static const char* const kPrefix[] = {"PK", "UQ", "FK", "CK", "DF"};
  std::string col = !c.forColumn.empty() ? c.forColumn : column;
  if (name.empty()) name = AutoName(kPrefix[c.kind], t.name, c.kind == ConstraintDef::PrimaryKey ? "" : col, id);
  if (FindObject(Db(), name, t.uid)) DuplicateObject(name);
  static const char* const kXtype[] = {"PK", "UQ", "F", "C", "D"};
  static const char* const kType[] = {"K", "K", "F", "C", "D"};
  std::string now = NowText();
  int colid = 0;
  if (!col.empty()) {
    const ColumnInfo* ci = t.Column(col);
    if (!ci) Fail(1911, "Column name '" + col + "' does not exist in the target table.");
    colid = ci->colid;
  }
  auto insertObject = [&]() {
    Stmt ins(Db(), "INSERT INTO sysobjects (name, id, xtype, uid, parent_obj, crdate, type, refdate, status, category) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 0)");
    ins.Bind(1, name).Bind(2, id).Bind(3, std::string(kXtype[c.kind])).Bind(4, int64_t{t.uid}).Bind(5, t.id);
    ins.Bind(6, now).Bind(7, std::string(kType[c.kind])).Bind(8, now);
    ins.Step();
    static const int kStatus[] = {1, 2, 3, 4, 5};
    Stmt sc(Db(), "INSERT INTO sysconstraints (constid, id, colid, status) VALUES (?, ?, ?, ?)");
    sc.Bind(1, id).Bind(2, t.id).Bind(3, int64_t{colid}).Bind(4, int64_t{kStatus[c.kind] | (colid ? 16 : 32)});
    sc.Step();
  };
  switch (c.kind) {
    case ConstraintDef::PrimaryKey:
    case ConstraintDef::Unique: {
      bool pk = c.kind == ConstraintDef::PrimaryKey;
      if (pk && QueryInt(Db(), "SELECT count(*) FROM sysindexes WHERE id = " + std::to_string(t.id) + " AND (status & 2048) <> 0"))
        Fail(1779, "Table '" + t.name + "' already has a primary key defined on it.");
      if (pk && !creating)
        for (const auto& k : c.columns)
          if (const ColumnInfo* ci = t.Column(k); ci && ci->nullable)
            Fail(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + t.name + "'.");
      bool clustered = c.clustered.value_or(pk && !QueryInt(Db(), "SELECT count(*) FROM sysindexes WHERE id = " + std::to_string(t.id) + " AND indid = 1"));
      insertObject();
      int group = c.fileGroup.empty() ? 0 : PlacementGroupId(Db(), c.fileGroup);
      try {
        CreateIndexEntry(t, name, c.columns, c.descending, true, clustered, pk ? 0x800 : 0x1000, group);
      } catch (const ado::EOleException& e) {
        if (e.NativeError() == 1505)
          Fail(1505, std::string(e.what()) + "\nCould not create constraint. See previous errors.");
        throw;
      }
      return;
    }
    case ConstraintDef::ForeignKey: {
      auto parentId = Resolve(c.refTable);
      auto parent = parentId ? LoadTable(Db(), *parentId) : std::nullopt;
      if (!parent || parent->xtype != "U")
        Fail(1767, "Foreign key '" + name + "' references invalid table '" + c.refTable.name + "'.");
      std::vector<std::string> refCols = c.refColumns;
      int64_t rkeyindid = 0;
      if (refCols.empty()) {
        Stmt q(Db(), "SELECT c.name, i.indid FROM sysindexes i JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
                     "JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE i.id = ? AND (i.status & 2048) <> 0 ORDER BY k.keyno");
        q.Bind(1, parent->id);
        while (q.Step()) {
          refCols.push_back(q.Text(0));
          rkeyindid = q.Int(1);
        }
      }
      if (refCols.size() != c.columns.size() || refCols.empty())
        Fail(8139, "Number of referencing columns in foreign key differs from number of referenced columns, table '" + t.name + "'.");
      // The referenced columns must be a primary key or unique constraint of the parent.
      if (!rkeyindid) {
        Stmt q(Db(), "SELECT indid FROM sysindexes WHERE id = ? AND indid BETWEEN 1 AND 254 AND (status & 2) <> 0");
        q.Bind(1, parent->id);
        std::vector<std::string> want;
        for (const auto& r : refCols) want.push_back(Lower(r));
        std::sort(want.begin(), want.end());
        while (q.Step() && !rkeyindid) {
          Stmt k(Db(), "SELECT lower(c.name) FROM sysindexkeys k JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE k.id = ? AND k.indid = ?");
          k.Bind(1, parent->id).Bind(2, q.Int(0));
          std::vector<std::string> have;
          while (k.Step()) have.push_back(k.Text(0));
          std::sort(have.begin(), have.end());
          if (have == want) rkeyindid = q.Int(0);
        }
      }
      if (!rkeyindid)
        Fail(1776, "There are no primary or candidate keys in the referenced table '" + parent->name +
                       "' that match the referencing column list in the foreign key '" + name + "'.\nCould not create constraint. See previous errors.");
      std::vector<const ColumnInfo*> fcols, rcols;
      for (size_t i = 0; i < c.columns.size(); ++i) {
        const ColumnInfo* fc = t.Column(c.columns[i]);
        if (!fc) Fail(1769, "Foreign key '" + name + "' references invalid column '" + c.columns[i] + "' in referencing table '" + t.name + "'.");
        const ColumnInfo* rc = parent->Column(refCols[i]);
        if (!rc) Fail(1770, "Foreign key '" + name + "' references invalid column '" + refCols[i] + "' in referenced table '" + parent->name + "'.");
        if (fc->xtype != rc->xtype)  // a user type matches its base type
          Fail(1778, "Column '" + parent->name + "." + rc->name + "' is not the same data type as referencing column '" + t.name + "." + fc->name + "' in foreign key '" + name + "'.");
        fcols.push_back(fc);
        rcols.push_back(rc);
      }
      if (!creating && check) {
        std::string cond, notNull;
        for (size_t i = 0; i < fcols.size(); ++i) {
          notNull += (i ? " AND c." : "c.") + SqlIdent(fcols[i]->name) + " IS NOT NULL";
          cond += (i ? " AND p." : "p.") + SqlIdent(rcols[i]->name) + " = c." + SqlIdent(fcols[i]->name);
        }
        Stmt q(Db(), "SELECT 1 FROM " + SqlIdent(t.physical) + " AS c WHERE " + notNull + " AND NOT EXISTS (SELECT 1 FROM " +
                         SqlIdent(parent->physical) + " AS p WHERE " + cond + ") LIMIT 1");
        if (q.Step())
          Fail(547, std::string("ALTER TABLE statement conflicted with ") + (fcols.size() == 1 ? "COLUMN" : "TABLE") +
                        " FOREIGN KEY constraint '" + name + "'. The conflict occurred in database '" + database_ +
                        "', table '" + parent->name + "'" + (fcols.size() == 1 ? ", column '" + rcols[0]->name + "'" : std::string()) + ".");
      }
      insertObject();
      Stmt ref(Db(), "INSERT INTO sysreferences (constid, fkeyid, rkeyid, rkeyindid, keycnt, updatecascade, deletecascade) VALUES (?,?,?,?,?,?,?)");
      ref.Bind(1, id).Bind(2, t.id).Bind(3, parent->id).Bind(4, rkeyindid).Bind(5, static_cast<int64_t>(fcols.size()));
      ref.Bind(6, int64_t{c.updateCascade ? 1 : 0}).Bind(7, int64_t{c.deleteCascade ? 1 : 0});
      ref.Step();
      Stmt fk(Db(), "INSERT INTO sysforeignkeys (constid, fkeyid, rkeyid, fkey, rkey, keyno) VALUES (?,?,?,?,?,?)");
      for (size_t i = 0; i < fcols.size(); ++i) {
        fk.Reset();
        fk.Bind(1, id).Bind(2, t.id).Bind(3, parent->id).Bind(4, int64_t{fcols[i]->colid}).Bind(5, int64_t{rcols[i]->colid}).Bind(6, static_cast<int64_t>(i + 1));
        fk.Step();
      }
      if (!creating) EnforcementChanged(Db());
      return;
    }
    case ConstraintDef::Check: {
      Translator tr = Tr();
      std::string cond = tr.Expression(*c.expr);
      if (!creating && check) {
        Stmt q(Db(), "SELECT 1 FROM " + SqlIdent(t.physical) + " WHERE NOT (" + cond + ") LIMIT 1");
        if (q.Step())
          Fail(547, "ALTER TABLE statement conflicted with COLUMN CHECK constraint '" + name +
                        "'. The conflict occurred in database '" + database_ + "', table '" + t.name + "'" +
                        (col.empty() ? std::string() : ", column '" + col + "'") + ".");
      }
      insertObject();
      StoreText(Db(), id, c.exprText, false);
      if (!creating) Rebuild(t, {});
      return;
    }
    case ConstraintDef::Default: {
      if (col.empty()) FailSyntax(1, "DEFAULT");
      const ColumnInfo* ci = t.Column(col);
      if (ci->cdefault)
        Fail(1781, "Column already has a DEFAULT bound to it.\nCould not create constraint. See previous errors.");
      if (ci->identity)
        Fail(1754, "Defaults cannot be created on columns with an IDENTITY attribute. Table '" + t.name + "', column '" + ci->name + "'.");
      {
        Translator tr = Tr();
        tr.Expression(*c.expr);  // refuses what the server cannot evaluate
      }
      insertObject();
      StoreText(Db(), id, c.exprText, false);
      Stmt u(Db(), "UPDATE syscolumns SET cdefault = ? WHERE id = ? AND colid = ?");
      u.Bind(1, id).Bind(2, t.id).Bind(3, int64_t{ci->colid});
      u.Step();
      // The server fills in defaults itself: the SQLite table stays as it is.
      const_cast<ColumnInfo*>(ci)->cdefault = id;
      return;
    }
  }
}

void Session::Rebuild(const TableInfo& before, const std::vector<std::string>& sources) {
  std::vector<std::string> src = sources;
  if (src.empty()) {
    auto now = LoadTable(Db(), before.id);
    if (!now) return;
    src = KeptColumns(now->columns);
  }
  RebuildPhysical(Db(), database_, before.id, src, true);
  TouchObject(before.id);
}

void Session::CheckNoDependents(const TableInfo& t, const ColumnInfo& c, const char* action, bool widening) {
  std::string id = std::to_string(t.id), colid = std::to_string(c.colid);
  auto refuse = [&](const std::string& object) {
    Fail(5074, "The object '" + object + "' is dependent on column '" + c.name + "'.\nALTER TABLE " +
                   action + " " + c.name + " failed because one or more objects access this column.");
  };
  {
    Stmt q(Db(), "SELECT i.name FROM sysindexes i JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
                 "WHERE i.id = ? AND k.colid = ? AND i.indid BETWEEN 1 AND 254 AND (? = 0 OR (i.status & 2048) <> 0)");
    q.Bind(1, t.id).Bind(2, int64_t{c.colid}).Bind(3, int64_t{widening ? 1 : 0});
    if (q.Step()) refuse(q.Text(0));
  }
  {
    Stmt q(Db(), "SELECT o.name FROM sysforeignkeys k JOIN sysobjects o ON o.id = k.constid "
                 "WHERE (k.fkeyid = ?1 AND k.fkey = ?2) OR (k.rkeyid = ?1 AND k.rkey = ?2)");
    q.Bind(1, t.id).Bind(2, int64_t{c.colid});
    if (q.Step()) refuse(q.Text(0));
  }
  if (c.cdefault) {
    Stmt q(Db(), "SELECT name FROM sysobjects WHERE id = ?");
    q.Bind(1, c.cdefault);
    if (q.Step()) refuse(q.Text(0));
  }
  if (widening) return;  // checks only remain, and they allow it
  {
    Stmt q(Db(), "SELECT o.name FROM sysconstraints s JOIN sysobjects o ON o.id = s.constid WHERE s.id = ? AND s.colid = ? AND (s.status & 15) = 4");
    q.Bind(1, t.id).Bind(2, int64_t{c.colid});
    if (q.Step()) refuse(q.Text(0));
  }
  {
    // Table-level checks that name the column.
    Stmt q(Db(), "SELECT o.name, m.text FROM sysobjects o JOIN syscomments m ON m.id = o.id WHERE o.parent_obj = ? AND o.xtype = 'C'");
    q.Bind(1, t.id);
    while (q.Step())
      if (MentionsName(q.Text(1), c.name)) refuse(q.Text(0));
  }
}

void Session::AlterTable(const AlterTableStmt& s) {
  TableInfo t = RequireTable(s.table);
  int64_t nextId = NewObjectId(Db());
  switch (s.action) {
    case AlterTableStmt::AddItems: {
      std::vector<std::string> sources = KeptColumns(t.columns);
      int colid = static_cast<int>(QueryInt(Db(), "SELECT max(colid) FROM syscolumns WHERE id = " + std::to_string(t.id), 0)) + 1;
      for (const auto& col : s.columns) {
        if (t.Column(col.name))
          Fail(2705, "Column names in each table must be unique. Column name '" + col.name + "' in table '" + t.name + "' is specified more than once.");
        bool hasDefault = false;
        for (const auto& c : col.constraints) hasDefault |= c.kind == ConstraintDef::Default;
        if (col.nullable && !*col.nullable && !hasDefault && !col.identity)
          Fail(4901, "ALTER TABLE only allows columns to be added that can contain nulls or have a DEFAULT definition specified. Column '" +
                         col.name + "' cannot be added to table '" + t.name + "' because it does not allow nulls and does not specify a DEFAULT definition.");
        AddColumn(t, col, colid++);
        // Existing rows: NULL for a nullable column, the default otherwise.
        sources.push_back(t.columns.back().nullable ? "NULL" : "");
        if (col.identity) sources.back() = "NULL";
      }
      for (const auto& col : s.columns)
        for (const auto& c : col.constraints) {
          if (c.kind == ConstraintDef::Default) AddConstraint(t, c, col.name, nextId, true, true);
        }
      RefreshTextImageEntry(t, 0);
      if (!s.columns.empty()) {
        RebuildPhysical(Db(), database_, t.id, sources, true);
        // A new identity column numbers the rows already there, in their order.
        if (const ColumnInfo* idc = t.Identity(); idc && std::any_of(s.columns.begin(), s.columns.end(),
                                                                  [&](const ColumnDef& c) { return text::SameText(c.name, idc->name); })) {
          std::string table = SqlIdent(t.physical), col = SqlIdent(idc->name), id = std::to_string(t.id);
          ExecSql(Db(), "UPDATE " + table + " SET " + col + " = (SELECT seed FROM schm_identity WHERE id = " + id +
                            ") + (q.n - 1) * (SELECT incr FROM schm_identity WHERE id = " + id +
                            ") FROM (SELECT rowid AS r, row_number() OVER (ORDER BY rowid) AS n FROM " + table +
                            ") AS q WHERE " + table + ".rowid = q.r");
          ExecSql(Db(), "UPDATE schm_identity SET current = (SELECT CASE WHEN count(*) = 0 THEN NULL ELSE "
                        "seed + (count(*) - 1) * incr END FROM " + table + ") WHERE id = " + id);
        }
        // A new timestamp column gives the rows already there their values.
        for (const auto& col : s.columns)
          if (const ColumnInfo* c = t.Column(col.name); c && c->xtype == kTimestampType)
            NumberRowVersions(Db(), t.physical, c->name);
      }
      for (const auto& col : s.columns)
        for (const auto& c : col.constraints)
          if (c.kind != ConstraintDef::Default) AddConstraint(t, c, col.name, nextId, false, !s.withNoCheck);
      for (const auto& c : s.constraints) {
        auto fresh = LoadTable(Db(), t.id);
        AddConstraint(*fresh, c, "", nextId, false, !s.withNoCheck);
      }
      TouchObject(t.id);
      return;
    }
    case AlterTableStmt::AlterColumn: {
      const ColumnDef& def = s.columns[0];
      const ColumnInfo* old = t.Column(def.name);
      if (!old)
        Fail(4924, "ALTER TABLE ALTER COLUMN failed because column '" + def.name + "' does not exist in table '" + t.name + "'.");
      struct { TypeSpec type; std::optional<bool> nullable; std::string collation; } d{def.type, def.nullable, def.collation};
      // Long and timestamp columns are never altered, nor does a column become one.
      if (IsLongType(old->xtype) || old->xtype == 189)
        Fail(4928, "Cannot alter column '" + old->name + "' because it is '" + old->typeName + "'.");
      const SqlType* type = FindType(d.type.name);
      if (!type) Fail(2715, "Column or parameter #" + std::to_string(old->colid) + ": Cannot find data type " + d.type.name + ".");
      if (IsLongType(type->xtype) || type->xtype == 189)
        Fail(4927, "Cannot alter column '" + old->name + "' to be data type " + type->name + ".");
      CheckSize(*type, d.type, old->name);
      bool typeChanged = type->xusertype != old->xusertype;
      // Keys, foreign keys, checks and indexes hold the column; a default only a change of type.
      // A varchar, nvarchar or varbinary column that only grows stays free of its indexes,
      // checks and unique constraints.
      ColumnInfo probe = *old;
      if (!typeChanged) probe.cdefault = 0;
      bool variable = old->xtype == 167 || old->xtype == 231 || old->xtype == 165;
      bool widening = !typeChanged && variable && StorageOf(*type, d.type).length >= old->length;
      CheckNoDependents(t, probe, "ALTER COLUMN", widening);
      ColumnStorage st = StorageOf(*type, d.type);
      bool nullable = old->identity ? false : d.nullable.value_or(true);
      if (!nullable) {
        Stmt q(Db(), "SELECT 1 FROM " + SqlIdent(t.physical) + " WHERE " + SqlIdent(old->name) + " IS NULL LIMIT 1");
        if (q.Step())
          Fail(515, "Cannot insert the value NULL into column '" + old->name + "', table '" + database_ + ".dbo." +
                        t.name + "'; column does not allow nulls. UPDATE fails.");
      }
      if (type->sized && d.type.length >= 0 && d.type.length < old->prec && (old->xtype == type->xtype)) {
        Stmt q(Db(), "SELECT 1 FROM " + SqlIdent(t.physical) + " WHERE length(" + SqlIdent(old->name) + ") > " + std::to_string(d.type.length) + " LIMIT 1");
        if (q.Step()) Fail(8152, "String or binary data would be truncated.");
      }
      std::string collation = type->character ? (d.collation.empty() ? kDefaultCollation : d.collation) : "";
      const PhysicalTable was = PhysicalTableOf(Db(), database_, t.id);
      Stmt u(Db(), "UPDATE syscolumns SET xtype = ?, xusertype = ?, length = ?, xprec = ?, xscale = ?, type = ?, usertype = ?, "
                   "prec = ?, scale = ?, isnullable = ?, status = (status & ~8) | ?, collation = ?, collationid = ?, typestat = ? "
                   "WHERE id = ? AND colid = ?");
      u.Bind(1, int64_t{type->xtype}).Bind(2, int64_t{type->xusertype}).Bind(3, int64_t{st.length});
      u.Bind(4, int64_t{type->decimal ? st.prec : type->prec}).Bind(5, int64_t{st.scale}).Bind(6, int64_t{type->xtype});
      u.Bind(7, int64_t{type->xusertype == 256 ? 18 : type->xtype}).Bind(8, int64_t{st.prec});
      if (HasScale(*type)) u.Bind(9, int64_t{st.scale});
      else u.BindNull(9);
      u.Bind(10, int64_t{nullable ? 1 : 0}).Bind(11, int64_t{nullable ? 8 : 0});
      if (type->character) u.Bind(12, collation).Bind(13, int64_t{872468488});
      else u.BindNull(12).BindNull(13);
      u.Bind(14, int64_t{type->sized ? 2 : 0}).Bind(15, t.id).Bind(16, int64_t{old->colid});
      u.Step();
      // The rows move over converted as the server converts them; what does not convert refuses.
      auto fresh = LoadTable(Db(), t.id);
      std::vector<std::string> sources;
      for (const auto& c : fresh->columns) {
        std::string src = SqlIdent(c.name);
        if (c.colid == old->colid) src = StoredValue(c, src);
        sources.push_back(src);
      }
      RefreshTextImageEntry(*fresh, 0);
      // A change the SQLite table does not see (a collation that compares the same, the same
      // definition again) is the catalogue's alone: its rows are stored as the new definition
      // stores them already.
      if (PhysicalTableOf(Db(), database_, t.id) == was) {
        EnforcementChanged(Db());
        TouchObject(t.id);
        return;
      }
      Rebuild(t, sources);
      return;
    }
    case AlterTableStmt::DropColumns: {
      std::vector<int> dropped;
      for (const auto& n : s.names) {
        const ColumnInfo* c = t.Column(n);
        if (!c) Fail(4924, "ALTER TABLE DROP COLUMN failed because column '" + n + "' does not exist in table '" + t.name + "'.");
        CheckNoDependents(t, *c, "DROP COLUMN");
        dropped.push_back(c->colid);
      }
      if (dropped.size() >= t.columns.size())
        Fail(4923, "ALTER TABLE DROP COLUMN failed because '" + s.names.back() + "' is the only data column in table '" + t.name + "'. A table must have at least one data column.");
      std::vector<std::string> sources;
      for (const auto& c : t.columns)
        if (std::find(dropped.begin(), dropped.end(), c.colid) == dropped.end()) sources.push_back(SqlIdent(c.name));
      for (int colid : dropped) {
        std::string where = " WHERE id = " + std::to_string(t.id) + " AND colid = " + std::to_string(colid);
        ExecSql(Db(), "DELETE FROM syscolumns" + where);
        ExecSql(Db(), "DELETE FROM sysproperties WHERE id = " + std::to_string(t.id) + " AND smallid = " + std::to_string(colid));
        ExecSql(Db(), "DELETE FROM schm_identity WHERE id = " + std::to_string(t.id) + " AND colid = " + std::to_string(colid));
      }
      auto fresh = LoadTable(Db(), t.id);
      RefreshTextImageEntry(*fresh, 0);
      Rebuild(t, sources);
      return;
    }
    case AlterTableStmt::DropConstraints: {
      for (const auto& n : s.names) {
        Stmt q(Db(), "SELECT id, rtrim(xtype) FROM sysobjects WHERE name = ? AND parent_obj = ? AND xtype IN ('PK', 'UQ', 'F', 'C', 'D')");
        q.Bind(1, n).Bind(2, t.id);
        if (!q.Step())
          Fail(3728, "'" + n + "' is not a constraint.\nCould not drop constraint. See previous errors.");
        int64_t id = q.Int(0);
        std::string xtype = q.Text(1);
        std::string sid = std::to_string(id), tid = std::to_string(t.id);
        if (xtype == "PK" || xtype == "UQ") {
          Stmt ix(Db(), "SELECT indid, groupid FROM sysindexes WHERE id = ? AND name = ?");
          ix.Bind(1, t.id).Bind(2, n);
          int64_t indid = 0, group = 1;
          if (ix.Step()) {
            indid = ix.Int(0);
            group = ix.Int(1);
          }
          Stmt fk(Db(), "SELECT o.name, p.name FROM sysreferences r JOIN sysobjects o ON o.id = r.constid "
                        "JOIN sysobjects p ON p.id = r.fkeyid WHERE r.rkeyid = ? AND r.rkeyindid = ?");
          fk.Bind(1, t.id).Bind(2, indid);
          if (fk.Step())
            Fail(3725, "The constraint '" + n + "' is being referenced by table '" + fk.Text(1) +
                           "', foreign key constraint '" + fk.Text(0) + "'.\nCould not drop constraint. See previous errors.");
          ExecSql(Db(), "DELETE FROM sysindexes WHERE id = " + tid + " AND indid = " + std::to_string(indid));
          ExecSql(Db(), "DELETE FROM sysindexkeys WHERE id = " + tid + " AND indid = " + std::to_string(indid));
          DropPhysicalIndex(Db(), database_, t.id, t.physical, indid);
          if (indid == 1) {
            Stmt heap(Db(), "INSERT INTO sysindexes (id, status, indid, groupid, name, keycnt) VALUES (?, 0, 0, ?, ?, 0)");
            heap.Bind(1, t.id).Bind(2, group).Bind(3, t.name);
            heap.Step();
          }
          DropObject(id);
        } else if (xtype == "F") {
          DropObject(id);
        } else {
          if (xtype == "D") ExecSql(Db(), "UPDATE syscolumns SET cdefault = 0 WHERE cdefault = " + sid);
          DropObject(id);
          if (xtype == "C") Rebuild(t, {});
        }
      }
      TouchObject(t.id);
      return;
    }
    case AlterTableStmt::CheckConstraints:
      CheckConstraints(t, s);
      return;
  }
}

void Session::DropObject(int64_t id) {
  std::string sid = std::to_string(id);
  // Foreign keys: both tables lose their triggers for it.
  std::vector<int64_t> related;
  {
    Stmt q(Db(), "SELECT fkeyid, rkeyid FROM sysreferences WHERE constid = ?");
    q.Bind(1, id);
    if (q.Step()) {
      related.push_back(q.Int(0));
      related.push_back(q.Int(1));
    }
  }
  ExecSql(Db(), "DELETE FROM sysreferences WHERE constid = " + sid + "; DELETE FROM sysforeignkeys WHERE constid = " + sid +
                    "; DELETE FROM syscomments WHERE id = " + sid + "; DELETE FROM sysconstraints WHERE constid = " + sid +
                    "; DELETE FROM sysproperties WHERE id = " + sid + "; DELETE FROM sysobjects WHERE id = " + sid);
  if (!related.empty()) EnforcementChanged(Db());
}

void Session::DropTable(const ObjectName& name) {
  auto id = Resolve(name);
  auto t = id ? LoadTable(Db(), *id) : std::nullopt;
  if (!t || t->xtype != "U")
    Fail(3701, "Cannot drop the table '" + name.name + "', because it does not exist in the system catalog.");
  {
    Stmt q(Db(), "SELECT o.name FROM sysreferences r JOIN sysobjects o ON o.id = r.constid WHERE r.rkeyid = ? AND r.fkeyid <> ?");
    q.Bind(1, t->id).Bind(2, t->id);
    if (q.Step())
      Fail(3726, "Could not drop object '" + t->name + "' because it is referenced by a FOREIGN KEY constraint.");
  }
  std::vector<int64_t> children;
  {
    Stmt q(Db(), "SELECT id FROM sysobjects WHERE parent_obj = ?");
    q.Bind(1, t->id);
    while (q.Step()) children.push_back(q.Int(0));
  }
  std::string sid = std::to_string(t->id);
  for (int64_t c : children) {
    std::string cid = std::to_string(c);
    ExecSql(Db(), "DELETE FROM sysreferences WHERE constid = " + cid + "; DELETE FROM sysforeignkeys WHERE constid = " + cid +
                      "; DELETE FROM syscomments WHERE id = " + cid + "; DELETE FROM sysconstraints WHERE constid = " + cid +
                      "; DELETE FROM sysproperties WHERE id = " + cid + "; DELETE FROM sysobjects WHERE id = " + cid);
  }
  ExecSql(Db(), "DELETE FROM syscolumns WHERE id = " + sid + "; DELETE FROM sysindexes WHERE id = " + sid +
                    "; DELETE FROM sysindexkeys WHERE id = " + sid + "; DELETE FROM sysproperties WHERE id = " + sid +
                    "; DELETE FROM schm_identity WHERE id = " + sid + "; DELETE FROM sysconstraints WHERE id = " + sid +
                    "; DELETE FROM sysobjects WHERE id = " + sid);
  ExecSql(Db(), "DROP TABLE " + SqlIdent(t->physical));
  // Its parents' triggers name it; its id may come back for a new table.
  EnforcementChanged(Db());
}

}  // namespace servers::sqlserver
