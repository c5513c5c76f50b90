// Views: the queryable SQLite view behind a view's text, its sources checked as the server
// checks them, and its columns recorded in syscolumns with the types they carry.
#include <strings.h>

#include <functional>
#include <optional>

#include "servers/sqlserver/Session.h"
#include "servers/sqlserver/SqlError.h"
#include "servers/sqlserver/Tokenizer.h"
#include "servers/sqlserver/Translator.h"
#include "servers/sqlserver/Types.h"

namespace servers::sqlserver {

namespace {

// Every table named in the query, sub-queries included.
void CollectTables(const Select& s, std::vector<const TableRef*>& out);

void CollectTables(const Expr& e, std::vector<const TableRef*>& out) {
  for (const auto& a : e.args)
    if (a) CollectTables(*a, out);
  if (e.select) CollectTables(*e.select, out);
}

void CollectTables(const TableRef& t, std::vector<const TableRef*>& out) {
  if (t.kind == TableRef::Named) out.push_back(&t);
  if (t.select) CollectTables(*t.select, out);
  if (t.left) CollectTables(*t.left, out);
  if (t.right) CollectTables(*t.right, out);
  if (t.on) CollectTables(*t.on, out);
  for (const auto& a : t.args)
    if (a) CollectTables(*a, out);
}

void CollectTables(const Select& s, std::vector<const TableRef*>& out) {
  for (const auto& f : s.from) CollectTables(*f, out);
  for (const auto& i : s.items)
    if (i.expr) CollectTables(*i.expr, out);
  if (s.where) CollectTables(*s.where, out);
  if (s.having) CollectTables(*s.having, out);
  for (const auto& u : s.unions) CollectTables(*u.select, out);
}

ViewColumn FromType(const SqlType& type, const TypeSpec& spec, bool nullable) {
  ViewColumn c;
  ColumnStorage st = StorageOf(type, spec);
  c.xtype = type.xtype;
  c.xusertype = type.xusertype;
  c.length = st.length;
  c.prec = st.prec;
  c.scale = st.scale;
  c.nullable = nullable;
  if (type.character) c.collation = kDefaultCollation;
  return c;
}

// The type the server gives an expression of the select list, where its form tells it.
std::optional<ViewColumn> ExpressionType(const Expr& e) {
  TypeSpec spec;
  switch (e.kind) {
    case Expr::String:
      spec.length = std::max<int>(1, static_cast<int>(e.text.size()));
      return FromType(*FindType("varchar"), spec, false);
    case Expr::Number:
      if (e.text.size() > 1 && (e.text[1] == 'x' || e.text[1] == 'X')) {
        spec.length = std::max<int>(1, static_cast<int>(e.text.size() - 1) / 2);
        return FromType(*FindType("varbinary"), spec, false);
      }
      if (e.text.find_first_of(".eE") != std::string::npos) return FromType(*FindType("float"), spec, false);
      return FromType(*FindType("int"), spec, false);
    case Expr::Paren:
      return ExpressionType(*e.args[0]);
    case Expr::Cast: {
      const SqlType* t = FindType(e.text);
      if (!t) return std::nullopt;
      if (t->sized) spec.length = 30;
      return FromType(*t, spec, true);
    }
    case Expr::Func: {
      std::string f = e.text;
      if (strcasecmp(f.c_str(), "count") == 0) return FromType(*FindType("int"), spec, false);
      if (strcasecmp(f.c_str(), "getdate") == 0) return FromType(*FindType("datetime"), spec, false);
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

// The declared result type of a scalar function's text: "RETURNS varchar(20)".
std::optional<TypeSpec> ReturnType(const std::string& text) {
  std::vector<Token> toks;
  try {
    toks = Tokenize(text);
  } catch (const ado::EOleException&) {
    return std::nullopt;
  }
  int depth = 0;
  for (size_t i = 0; i + 1 < toks.size(); ++i) {
    if (toks[i].IsSymbol("(")) ++depth;
    if (toks[i].IsSymbol(")")) --depth;
    if (depth != 0 || !toks[i].Is("RETURNS") || toks[i + 1].kind != TokenKind::Name) continue;
    TypeSpec spec;
    spec.name = toks[i + 1].text;
    if (i + 3 < toks.size() && toks[i + 2].IsSymbol("(") && toks[i + 3].kind == TokenKind::Number) {
      spec.length = std::atoi(toks[i + 3].text.c_str());
      if (i + 5 < toks.size() && toks[i + 4].IsSymbol(",") && toks[i + 5].kind == TokenKind::Number)
        spec.scale = std::atoi(toks[i + 5].text.c_str());
    }
    return spec;
  }
  return std::nullopt;
}

// A table or view of a view's FROM list, under the name its columns are qualified by.
struct ViewSource {
  std::string alias;
  TableInfo table;
};

// The tables and views of the FROM list, found by `resolve`.
std::vector<ViewSource> SourcesOf(sqlite3* db, const Select& select,
                                  const std::function<std::optional<int64_t>(const ObjectName&)>& resolve) {
  std::vector<ViewSource> sources;
  std::vector<const TableRef*> named;
  for (const auto& f : select.from) NamedTables(*f, named);
  for (const TableRef* t : named) {
    auto tid = resolve(t->name);
    if (auto table = tid ? LoadTable(db, *tid) : std::nullopt)
      sources.push_back({t->alias.empty() ? t->name.name : t->alias, *table});
  }
  return sources;
}

// A view column: its name, and the catalogue column it copies (fromId 0: `type` describes it).
struct OutColumn {
  std::string name;
  int64_t fromId = 0;
  int fromColid = 0;
  ViewColumn type;
};

const char* const kCopyColumn =
    "INSERT INTO syscolumns (name, id, xtype, typestat, xusertype, length, xprec, xscale, colid, colorder, cdefault, "
    "collationid, status, type, usertype, prec, scale, isnullable, collation) SELECT ?1, ?2, xtype, typestat, xusertype, "
    "length, xprec, xscale, ?3, ?3, 0, collationid, status & ~128, type, usertype, prec, scale, isnullable, collation "
    "FROM syscolumns WHERE id = ?4 AND ";

std::optional<OutColumn> SourceColumn(const std::vector<ViewSource>& sources, const std::string& qualifier,
                                      const std::string& column) {
  for (const auto& src : sources) {
    if (!qualifier.empty() && strcasecmp(qualifier.c_str(), src.alias.c_str()) != 0) continue;
    if (const ColumnInfo* c = src.table.Column(column)) return OutColumn{c->name, src.table.id, c->colid, {}};
  }
  return std::nullopt;
}

// The declared result type of the scalar function with that id.
std::optional<ViewColumn> FunctionResultType(sqlite3* db, int64_t id) {
  std::string text;
  Stmt q(db, "SELECT text FROM syscomments WHERE id = ? ORDER BY colid");
  q.Bind(1, id);
  while (q.Step()) text += q.Text(0);
  auto spec = ReturnType(text);
  const SqlType* type = spec ? FindType(spec->name) : nullptr;
  if (!type) return std::nullopt;
  return FromType(*type, *spec, true);
}

}  // namespace


void Session::RecordUntranslatedViewColumns(int64_t id, const CreateModuleStmt& s) {
  const Select& select = *s.viewSelect;
  std::vector<ViewSource> sources = SourcesOf(Db(), select, [this](const ObjectName& n) { return Resolve(n); });
  std::vector<OutColumn> out;
  for (const auto& item : select.items) {
    const Expr& e = *item.expr;
    if (e.kind == Expr::Star) {
      for (const auto& src : sources)
        if (e.names.empty() || strcasecmp(e.names.back().c_str(), src.alias.c_str()) == 0)
          for (const auto& c : src.table.columns) out.push_back({c.name, src.table.id, c.colid, {}});
      continue;
    }
    OutColumn o;
    if (e.kind == Expr::Column) {
      std::string qualifier = e.names.size() > 1 ? e.names[e.names.size() - 2] : std::string();
      if (auto found = SourceColumn(sources, qualifier, e.names.back())) o = *found;
      o.name = e.names.back();
    } else if (e.kind == Expr::Func && e.names.size() == 2) {
      ObjectName fn;
      fn.owner = e.names[0];
      fn.name = e.names[1];
      auto fid = Resolve(fn);
      if (auto type = fid ? FunctionResultType(Db(), *fid) : std::nullopt) o.type = *type;
    } else if (auto typed = ExpressionType(e)) {
      o.type = *typed;
    }
    if (!item.alias.empty()) o.name = item.alias;
    out.push_back(o);
  }
  for (size_t i = 0; i < out.size() && i < s.viewColumns.size(); ++i) out[i].name = s.viewColumns[i];
  Stmt copy(Db(), std::string(kCopyColumn) + "colid = ?5");
  for (size_t i = 0; i < out.size(); ++i) {
    int colid = static_cast<int>(i + 1);
    if (!out[i].fromId) {
      InsertViewColumn(id, colid, out[i].name, out[i].type);
      continue;
    }
    copy.Reset();
    copy.Bind(1, out[i].name).Bind(2, id).Bind(3, int64_t{colid}).Bind(4, out[i].fromId).Bind(5, int64_t{out[i].fromColid});
    copy.Step();
  }
}

void Session::CreateView(const CreateModuleStmt& s, int64_t id, const std::string& physical) {
  if (!s.viewSelect) return;
  CheckViewSources(*s.viewSelect);
  std::string body;
  try {
    body = Tr().Query(*s.viewSelect);
  } catch (const ado::EOleException&) {
    // The view stays a text (its query reaches what the server cannot translate, such as a
    // scalar function's body); its columns are still recorded.
    RecordUntranslatedViewColumns(id, s);
    return;
  }
  std::string columns;
  for (const auto& c : s.viewColumns) columns += (columns.empty() ? " (" : ", ") + SqlIdent(c);
  if (!columns.empty()) columns += ")";
  ExecSql(Db(), "SAVEPOINT schm_view");
  try {
    ExecSql(Db(), "CREATE VIEW " + SqlIdent(physical) + columns + " AS " + body);
    RecordViewColumns(id, physical, s.viewSelect.get());
    ExecSql(Db(), "RELEASE schm_view");
  } catch (const ESqliteError& e) {
    sqlite3_exec(Db(), "ROLLBACK TO schm_view; RELEASE schm_view", nullptr, nullptr, nullptr);
    // A column that no source has is refused (207, 209), as the server refuses it.
    std::string m = e.what();
    if (m.rfind("no such column: ", 0) == 0 || m.rfind("ambiguous column name: ", 0) == 0) throw;
    RecordUntranslatedViewColumns(id, s);
  }
}

std::string Session::InlineFunctionQuery(const ObjectName& name, const std::vector<std::string>& args) {
  auto id = Resolve(name);
  if (!id || ObjectType(Db(), *id) != "IF") return {};
  if (functionDepth_ >= 32)
    Fail(217, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
  std::string text;
  {
    Stmt q(Db(), "SELECT text FROM syscomments WHERE id = ? AND encrypted = 0 ORDER BY colid");
    q.Bind(1, *id);
    while (q.Step()) text += q.Text(0);
  }
  const bool quotedIdentifier = QueryInt(Db(), "SELECT count(*) FROM schm_quoted_off WHERE id = " + std::to_string(*id), 0) == 0;
  std::vector<StatementPtr> stmts;
  try {
    stmts = ParseBatch(text, quotedIdentifier);
  } catch (const ado::EOleException&) {
    return {};
  }
  for (const auto& st : stmts) {
    if (st->kind != Statement::kCreateModule) continue;
    const auto& m = static_cast<const CreateModuleStmt&>(*st);
    if (!m.viewSelect || m.parameters.size() != args.size()) return {};
    std::map<std::string, std::string> values;
    for (size_t i = 0; i < args.size(); ++i) values[m.parameters[i]] = args[i];
    ++functionDepth_;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{functionDepth_};
    return Tr(&values).Query(*m.viewSelect);
  }
  return {};
}

void Session::CheckViewSources(const Select& s) {
  std::vector<const TableRef*> tables;
  CollectTables(s, tables);
  Translator tr = Tr();
  for (const TableRef* t : tables) {
    if (!t->name.db.empty() || t->function) continue;
    if (Resolve(t->name)) continue;
    if (tr.Table(t->name).rfind("master.", 0) == 0) continue;  // master's own tables
    std::string written = t->name.owner.empty() ? t->name.name : t->name.owner + "." + t->name.name;
    Fail(208, "Invalid object name '" + written + "'.");
  }
}

void Session::RecordViewColumns(int64_t id, const std::string& physical, const Select* select) {
  Stmt cols(Db(), "SELECT * FROM " + SqlIdent(physical) + " LIMIT 0");
  int n = sqlite3_column_count(cols.Get());
  // The select list's expressions match the columns one to one when it has no star.
  bool itemsMatch = select && static_cast<int>(select->items.size()) == n && select->unions.empty();
  if (itemsMatch)
    for (const auto& i : select->items) itemsMatch &= i.expr->kind != Expr::Star;
  Stmt copy(Db(), std::string(kCopyColumn) + "name = ?5");
  Stmt copyColid(Db(), std::string(kCopyColumn) + "colid = ?5");
  std::vector<ViewSource> sources;
  if (itemsMatch) sources = SourcesOf(Db(), *select, [this](const ObjectName& n) { return Resolve(n); });
  for (int i = 0; i < n; ++i) {
    std::string name = sqlite3_column_name(cols.Get(), i);
    const char* table = sqlite3_column_table_name(cols.Get(), i);
    const char* origin = sqlite3_column_origin_name(cols.Get(), i);
    const char* schema = sqlite3_column_database_name(cols.Get(), i);
    if (table && origin && schema && strcasecmp(schema, "main") == 0) {
      if (auto source = FindPhysical(Db(), table)) {
        copy.Reset();
        copy.Bind(1, name).Bind(2, id).Bind(3, int64_t{i + 1}).Bind(4, *source).Bind(5, std::string(origin));
        copy.Step();
        if (Changes()) continue;
      }
    }
    ViewColumn c;
    if (itemsMatch) {
      const Expr& e = *select->items[static_cast<size_t>(i)].expr;
      // A column of a view that is no table's column: the view's own catalogue row.
      std::optional<OutColumn> from;
      if (e.kind == Expr::Column)
        from = SourceColumn(sources, e.names.size() > 1 ? e.names[e.names.size() - 2] : "", e.names.back());
      if (from) {
        copyColid.Reset();
        copyColid.Bind(1, name).Bind(2, id).Bind(3, int64_t{i + 1}).Bind(4, from->fromId).Bind(5, int64_t{from->fromColid});
        copyColid.Step();
        continue;
      }
      if (auto typed = ExpressionType(e)) c = *typed;
    }
    InsertViewColumn(id, i + 1, name, c);
  }
}

void Session::InsertViewColumn(int64_t id, int colid, const std::string& name, const ViewColumn& c) {
  const SqlType* type = FindTypeByUserType(c.xusertype);
  Stmt made(Db(), "INSERT INTO syscolumns (name, id, xtype, xusertype, length, xprec, xscale, colid, colorder, cdefault, "
                  "collationid, status, type, usertype, prec, scale, isnullable, collation) "
                  "VALUES (?,?,?,?,?,?,?,?,?,0,?,?,?,?,?,?,?,?)");
  made.Bind(1, name).Bind(2, id).Bind(3, int64_t{c.xtype}).Bind(4, int64_t{c.xusertype}).Bind(5, int64_t{c.length});
  made.Bind(6, int64_t{type && type->decimal ? c.prec : type ? type->prec : 0}).Bind(7, int64_t{c.scale});
  made.Bind(8, int64_t{colid}).Bind(9, int64_t{colid});
  if (!c.collation.empty()) made.Bind(10, int64_t{872468488});
  else made.BindNull(10);
  made.Bind(11, int64_t{c.nullable ? 8 : 0}).Bind(12, int64_t{c.xtype}).Bind(13, int64_t{c.xtype});
  made.Bind(14, int64_t{c.prec}).Bind(15, int64_t{c.scale}).Bind(16, int64_t{c.nullable ? 1 : 0});
  if (!c.collation.empty()) made.Bind(17, c.collation);
  else made.BindNull(17);
  made.Step();
}

}  // namespace servers::sqlserver
