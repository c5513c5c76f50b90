// Refusals the server makes from a statement's form before it runs: text, ntext and image
// values compared, grouped or sorted (306) or made distinct (8163), and explicit values for a
// timestamp column (273).
#include <algorithm>
#include <functional>
#include <optional>

#include "common/Text.h"
#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

namespace {

// A table of a FROM list and the name its columns are qualified by; its columns are read
// only when a comparison needs them.
struct Source {
  std::string qualifier;
  ObjectName name;
  bool loaded = false;
  std::optional<TableInfo> table;
};

using TableLoader = std::function<std::optional<TableInfo>(const ObjectName&)>;

class LongComparisons {
 public:
  explicit LongComparisons(TableLoader load) : load_(std::move(load)) {}

  void Add(const ObjectName& name, const std::string& alias) {
    sources_.push_back({alias.empty() ? name.name : alias, name, false, std::nullopt});
  }

  void AddFrom(const TableRef& t) {
    if (t.kind == TableRef::Named) Add(t.name, t.alias);
    if (t.kind == TableRef::Join) {
      AddFrom(*t.left);
      AddFrom(*t.right);
    }
  }

  // `unionDistinct`: the query is a branch of a UNION without ALL.
  void Check(const Select& s, bool unionDistinct = false) {
    const size_t outer = sources_.size();  // a subquery also sees the tables around it
    for (const auto& f : s.from) AddFrom(*f);
    for (const auto& f : s.from) CheckJoins(*f);
    // A UNION without ALL makes every branch distinct.
    const bool distinctUnion = std::any_of(s.unions.begin(), s.unions.end(), [](const auto& u) { return !u.all; });
    if (s.distinct || unionDistinct || distinctUnion) CheckDistinct(s, outer);
    for (const auto& item : s.items) Check(item.expr.get());
    Check(s.where.get());
    Check(s.having.get());
    // Nor are they grouped or sorted.
    for (const auto& g : s.groupBy)
      if (IsLong(*g)) Refuse();
    for (const auto& o : s.orderBy)
      if (!IsAlias(*o.expr, s) && IsLong(*o.expr)) Refuse();
    for (const auto& u : s.unions) {
      sources_.resize(outer);
      Check(*u.select, distinctUnion);
    }
    sources_.resize(outer);
  }

  void Check(const Expr* e) {
    if (!e) return;
    if (e->kind == Expr::Binary && IsComparison(e->text) && (IsLong(*e->args[0]) || IsLong(*e->args[1])))
      Refuse();
    if ((e->kind == Expr::InList || e->kind == Expr::Between) && !e->args.empty() && e->args[0] &&
        IsLong(*e->args[0]))
      Refuse();
    for (const auto& a : e->args) Check(a.get());
    if (e->select) Check(*e->select);
  }

 private:
  [[noreturn]] static void Refuse() {
    Fail(306, "The text, ntext, and image data types cannot be compared or sorted, except when using IS NULL or LIKE operator.");
  }

  // Refuses a text, ntext or image column among the items of a query whose rows are made
  // distinct; `first` is the first of the query's own tables.
  void CheckDistinct(const Select& s, size_t first) {
    for (const auto& item : s.items) {
      if (item.expr->kind == Expr::Star ? StarHasLong(*item.expr, first) : IsLong(*item.expr))
        Fail(8163, "The text, ntext, or image data type cannot be selected as DISTINCT.");
    }
  }

  // True when `*` or `t.*` takes a text, ntext or image column of the query's own tables.
  bool StarHasLong(const Expr& star, size_t first) {
    const std::string qualifier = star.names.empty() ? "" : star.names.back();
    for (size_t i = first; i < sources_.size(); ++i) {
      Source& s = sources_[i];
      if (!qualifier.empty() && !text::SameText(qualifier, s.qualifier)) continue;
      if (const TableInfo* t = Load(s))
        for (const ColumnInfo& c : t->columns)
          if (IsLongType(c.xtype)) return true;
    }
    return false;
  }

  // The source's table, read once; nullptr when it is none.
  const TableInfo* Load(Source& s) {
    if (!s.loaded) {
      s.table = load_(s.name);
      s.loaded = true;
    }
    return s.table ? &*s.table : nullptr;
  }

  // True for a plain name that one of the query's columns is given as its alias: ORDER BY
  // means that column.
  static bool IsAlias(const Expr& e, const Select& s) {
    if (e.kind != Expr::Column || e.names.size() != 1) return false;
    for (const auto& item : s.items)
      if (text::SameText(item.alias, e.names[0])) return true;
    return false;
  }

  static bool IsComparison(const std::string& op) {
    return op == "=" || op == "<>" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=";
  }

  void CheckJoins(const TableRef& t) {
    if (t.kind != TableRef::Join) return;
    CheckJoins(*t.left);
    CheckJoins(*t.right);
    Check(t.on.get());
  }

  // True for a column of a text, ntext or image type of one of the FROM list's tables.
  bool IsLong(const Expr& e) {
    if (e.kind == Expr::Paren && !e.args.empty()) return IsLong(*e.args[0]);
    if (e.kind != Expr::Column || e.names.empty()) return false;
    const std::string qualifier = e.names.size() > 1 ? e.names[e.names.size() - 2] : "";
    for (auto s = sources_.rbegin(); s != sources_.rend(); ++s) {
      if (!qualifier.empty() && !text::SameText(qualifier, s->qualifier)) continue;
      const TableInfo* t = Load(*s);
      if (!t) continue;
      if (const ColumnInfo* c = t->Column(e.names.back())) return IsLongType(c->xtype);
    }
    return false;
  }

  TableLoader load_;
  std::vector<Source> sources_;
};

}  // namespace

void Session::RefuseLongComparisons(const Statement& s) {
  LongComparisons check([this](const ObjectName& name) -> std::optional<TableInfo> {
    if (!name.db.empty() && !text::SameText(name.db, database_)) return std::nullopt;
    auto id = Resolve(name);
    return id ? CachedTable(*id) : std::nullopt;
  });
  switch (s.kind) {
    case Statement::kSelect:
      check.Check(*static_cast<const SelectStmt&>(s).select);
      return;
    case Statement::kUpdate: {
      const auto& u = static_cast<const UpdateStmt&>(s);
      check.Add(u.table, "");
      for (const auto& f : u.from) check.AddFrom(*f);
      for (const auto& set : u.sets) check.Check(set.second.get());
      check.Check(u.where.get());
      return;
    }
    case Statement::kInsert:
      if (const auto& i = static_cast<const InsertStmt&>(s); i.select) check.Check(*i.select);
      return;
    case Statement::kDelete: {
      const auto& d = static_cast<const DeleteStmt&>(s);
      check.Add(d.table, "");
      for (const auto& f : d.from) check.AddFrom(*f);
      check.Check(d.where.get());
      return;
    }
    default:
      return;
  }
}

void Session::RefuseTimestampValues(const InsertStmt& s, const std::vector<const ColumnInfo*>& columns) {
  auto refuse = [] {
    Fail(273, "Cannot insert a non-null value into a timestamp column. Use INSERT with a column list or with a default of NULL for the timestamp column.");
  };
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i]->xtype != kTimestampType) continue;
    for (const auto& row : s.values)
      if (i < row.size() && row[i]->kind != Expr::Null && row[i]->kind != Expr::Default) refuse();
    if (s.select && (i >= s.select->items.size() || s.select->items[i].expr->kind != Expr::Null)) refuse();
  }
}

}  // namespace servers::sqlserver
