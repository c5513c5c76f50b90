// ALTER TABLE ... CHECK / NOCHECK CONSTRAINT: a disabled foreign key or CHECK constraint stops
// being enforced until it is enabled again; the catalogue's status bits show it.
#include <algorithm>
#include <vector>

#include "common/Text.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"

namespace servers::sqlserver {

namespace {

// Status bits of a disabled constraint: sysobjects.status and sysconstraints.status.
constexpr int64_t kObjectDisabled = 0x800;
constexpr int64_t kConstraintDisabled = 0x4000;

struct Target {
  int64_t id = 0;
  std::string name;
  std::string xtype;
  int64_t colid = 0;
};

}  // namespace

void Session::CheckConstraints(const TableInfo& t, const AlterTableStmt& s) {
  std::vector<Target> targets;
  {
    Stmt q(Db(), "SELECT o.id, o.name, rtrim(o.xtype), coalesce(c.colid, 0) FROM sysobjects o "
                 "LEFT JOIN sysconstraints c ON c.id = o.parent_obj AND c.constid = o.id WHERE o.parent_obj = ? AND o.xtype IN ('C', 'F') "
                 "ORDER BY o.id");
    q.Bind(1, t.id);
    while (q.Step()) targets.push_back({q.Int(0), q.Text(1), q.Text(2), q.Int(3)});
  }
  if (!s.names.empty()) {
    std::vector<Target> named;
    for (const auto& n : s.names) {
      auto it = std::find_if(targets.begin(), targets.end(), [&](const Target& c) { return text::SameText(c.name, n); });
      if (it == targets.end()) Fail(4917, "Constraint '" + n + "' does not exist.");
      named.push_back(*it);
    }
    targets = std::move(named);
  }
  bool validate = s.enableConstraints && s.withCheck;
  bool checks = false, keys = false;
  for (const auto& c : targets) {
    if (validate && c.xtype == "F") {
      std::string conflict = ForeignKeyConflict(Db(), c.id, database_);
      if (!conflict.empty()) Fail(547, conflict);
    }
    if (validate && c.xtype == "C") {
      Stmt d(Db(), "SELECT text FROM syscomments WHERE id = ? ORDER BY colid");
      d.Bind(1, c.id);
      std::string text;
      while (d.Step()) text += d.Text(0);
      auto parsed = ParseBatch("SELECT " + text);
      Translator tr = Tr();
      std::string cond = tr.Expression(*static_cast<const SelectStmt&>(*parsed.at(0)).select->items.at(0).expr);
      Stmt q(Db(), "SELECT 1 FROM " + SqlIdent(t.physical) + " WHERE NOT (" + cond + ") LIMIT 1");
      if (q.Step()) {
        const ColumnInfo* col = nullptr;
        for (const auto& ci : t.columns)
          if (ci.colid == c.colid) col = &ci;
        Fail(547, std::string("ALTER TABLE statement conflicted with ") + (col ? "COLUMN" : "TABLE") +
                      " CHECK constraint '" + c.name + "'. The conflict occurred in database '" + database_ +
                      "', table '" + t.name + "'" + (col ? ", column '" + col->name + "'" : std::string()) + ".");
      }
    }
    Stmt o(Db(), "UPDATE sysobjects SET status = CASE WHEN ?2 THEN status & ~?3 ELSE status | ?3 END WHERE id = ?1");
    o.Bind(1, c.id).Bind(2, int64_t{s.enableConstraints}).Bind(3, kObjectDisabled);
    o.Step();
    Stmt k(Db(), "UPDATE sysconstraints SET status = CASE WHEN ?2 THEN status & ~?3 ELSE status | ?3 END "
                 "WHERE id = ?4 AND constid = ?1");
    k.Bind(4, t.id).Bind(1, c.id).Bind(2, int64_t{s.enableConstraints}).Bind(3, kConstraintDisabled);
    k.Step();
    (c.xtype == "C" ? checks : keys) = true;
  }
  // A CHECK constraint lives in the SQLite table; a foreign key in the connections' triggers.
  if (checks) Rebuild(t, {});
  else if (keys) TouchObject(t.id);
  if (keys) EnforcementChanged(Db());
}

}  // namespace servers::sqlserver
